#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "platform/cpu.h"
#include "primitives/core/dispatch.h"
#include "primitives/core/processor.h"

namespace {

// A processor described by its CPUID answers.
class FakeCpu : public vq::platform::CpuidSource {
public:
    bool present = true;
    uint64_t xcr0 = 0x7;
    std::map<std::pair<uint32_t, uint32_t>, vq::platform::CpuidResult> leaves;

    bool hasCpuid() override { return present; }
    vq::platform::CpuidResult cpuid(uint32_t leaf, uint32_t sub) override {
        auto it = leaves.find({leaf, sub});
        if (it == leaves.end())
            it = leaves.find({leaf, 0});
        return it == leaves.end() ? vq::platform::CpuidResult{} : it->second;
    }
    uint64_t xgetbv(uint32_t) override { return xcr0; }

    void vendor(const char* v12, uint32_t maxLeaf) {
        vq::platform::CpuidResult r;
        r.eax = maxLeaf;
        std::memcpy(&r.ebx, v12, 4);
        std::memcpy(&r.edx, v12 + 4, 4);
        std::memcpy(&r.ecx, v12 + 8, 4);
        leaves[{0, 0}] = r;
    }
    // family/model in leaf 1 EAX; feature words in ECX/EDX.
    void leaf1(uint32_t family, uint32_t model, uint32_t ecx, uint32_t edx, uint32_t extModel = 0,
               uint32_t extFamily = 0, uint32_t ebx = 0) {
        vq::platform::CpuidResult r;
        r.eax = (extFamily << 20) | (extModel << 16) | (family << 8) | (model << 4);
        r.ebx = ebx;
        r.ecx = ecx;
        r.edx = edx;
        leaves[{1, 0}] = r;
    }
};

constexpr uint32_t EDX_MMX = 1u << 23, EDX_SSE = 1u << 25, EDX_SSE2 = 1u << 26, EDX_HTT = 1u << 28;
constexpr uint32_t ECX_SSE3 = 1u << 0, ECX_SSSE3 = 1u << 9, ECX_SSE41 = 1u << 19, ECX_SSE42 = 1u << 20,
                   ECX_MOVBE = 1u << 22, ECX_OSXSAVE = 1u << 27, ECX_AVX = 1u << 28;
constexpr uint32_t BASE_EDX = EDX_MMX | EDX_SSE | EDX_SSE2;

class ProcessorTest : public ::testing::Test {
protected:
    FakeCpu cpu;
    int32_t savedIndex = 0;
    void SetUp() override {
        savedIndex = processorDispatchIndex;
        unsetenv("VQ_MAX_PATH");
        vq::platform::setCpuidSource(&cpu);
        resetProcessorCaches();
    }
    void TearDown() override {
        vq::platform::setCpuidSource(nullptr);
        resetProcessorCaches();
        processorDispatchIndex = savedIndex;
    }
};

TEST_F(ProcessorTest, PathSelectionTable) {
    struct Case {
        const char* name;
        const char* vendor;
        uint32_t ecx, edx;
        uint64_t xcr0;
        int32_t path, status;
    };
    const Case cases[] = {
        {"avx with os state", "GenuineIntel", ECX_SSE3 | ECX_SSSE3 | ECX_SSE41 | ECX_OSXSAVE | ECX_AVX, BASE_EDX, 7, 5, 0},
        {"avx without os state", "GenuineIntel", ECX_SSE3 | ECX_SSSE3 | ECX_SSE41 | ECX_OSXSAVE | ECX_AVX, BASE_EDX, 1, 4, 0},
        {"avx without osxsave", "GenuineIntel", ECX_SSE3 | ECX_SSSE3 | ECX_SSE41 | ECX_AVX, BASE_EDX, 7, 4, 0},
        {"ssse3 with movbe", "GenuineIntel", ECX_SSE3 | ECX_SSSE3 | ECX_MOVBE, BASE_EDX, 7, 3, 0},
        {"ssse3 without movbe", "GenuineIntel", ECX_SSE3 | ECX_SSSE3, BASE_EDX, 7, 3, 0},
        {"other vendor sse3", "AuthenticAMD", ECX_SSE3, BASE_EDX, 7, 2, 20},
        {"other vendor sse4.1", "AuthenticAMD", ECX_SSE3 | ECX_SSSE3 | ECX_SSE41, BASE_EDX, 7, 4, 20},
        {"sse2 only", "GenuineIntel", 0, BASE_EDX, 7, 1, 0},
        {"no sse2", "GenuineIntel", 0, EDX_MMX | EDX_SSE, 7, 0, 0},
        {"sse4.2 alone does not count", "GenuineIntel", ECX_SSE42, BASE_EDX, 7, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cpu.leaves.clear();
        resetProcessorCaches();
        cpu.vendor(c.vendor, 4);
        cpu.leaf1(6, 0, c.ecx, c.edx);
        cpu.xcr0 = c.xcr0;
        EXPECT_EQ(initProcessorDispatch(), c.status);
        EXPECT_EQ(processorDispatchIndex, c.path);
    }
}

TEST_F(ProcessorTest, NoCpuid) {
    cpu.present = false;
    processorDispatchIndex = 3;
    uint64_t mask = 0xDEAD;
    EXPECT_EQ(getCpuFeatures(&mask, nullptr), 36);
    EXPECT_EQ(mask, 0xDEADu);
    EXPECT_EQ(initProcessorDispatch(), 20);
    EXPECT_EQ(processorDispatchIndex, 0);
    EXPECT_EQ(getProcessorType(), 0);
    int32_t size = -1;
    EXPECT_EQ(getMaxCacheSize(&size), 36);
    EXPECT_EQ(size, 0);
}

TEST_F(ProcessorTest, FeatureMaskBitsAndNullPointer) {
    cpu.vendor("GenuineIntel", 1);
    cpu.leaf1(6, 0, ECX_SSE3 | ECX_SSSE3 | ECX_MOVBE | ECX_SSE41 | ECX_SSE42 | ECX_OSXSAVE | ECX_AVX | (1u << 25) | (1u << 1),
              BASE_EDX);
    uint64_t mask = 0;
    CpuidRegisters regs{};
    ASSERT_EQ(getCpuFeatures(&mask, &regs), 0);
    EXPECT_EQ(mask, 0xFFFu);
    EXPECT_EQ(regs.edx, BASE_EDX);
    EXPECT_EQ(getCpuFeatures(nullptr, nullptr), -8);
    // The mask is cached: a changed processor is not seen again.
    cpu.leaf1(6, 0, 0, BASE_EDX);
    ASSERT_EQ(getCpuFeatures(&mask, nullptr), 0);
    EXPECT_EQ(mask, 0xFFFu);
}

TEST_F(ProcessorTest, TypeToPathTable) {
    const std::pair<int32_t, int32_t> known[] = {
        {-1, 0}, {0, 0}, {1, 0}, {5, 0}, {16, 0}, {64, 0}, {96, 0}, {6, 1}, {7, 1}, {9, 1}, {17, 1}, {65, 1},
        {8, 2}, {10, 2}, {11, 2}, {32, 2}, {66, 2}, {33, 3}, {34, 3}, {36, 3}, {67, 3}, {35, 4}, {37, 4},
        {38, 4}, {68, 4}, {69, 4}, {70, 5},
    };
    for (auto [type, path] : known) {
        processorDispatchIndex = 9;
        EXPECT_EQ(initProcessorDispatchForType(type), 0) << type;
        EXPECT_EQ(processorDispatchIndex, path) << type;
    }
    processorDispatchIndex = 2;
    EXPECT_EQ(initProcessorDispatchForType(12), 21);
    EXPECT_EQ(processorDispatchIndex, 2);
    EXPECT_EQ(initProcessorDispatchForType(71), 21);
    EXPECT_EQ(processorDispatchIndex, 2);
}

TEST_F(ProcessorTest, ProcessorTypeTable) {
    struct Case {
        const char* name;
        const char* vendor;
        uint32_t family, model, extModel, extFamily, ecx, edx, ebx;
        uint32_t coreField;  // leaf 4 EAX bits 31-26
        int32_t type;
    };
    const Case cases[] = {
        {"p5 m2", "GenuineIntel", 5, 2, 0, 0, 0, EDX_MMX, 0, 0, 1},
        {"p5 m4", "GenuineIntel", 5, 4, 0, 0, 0, EDX_MMX, 0, 0, 2},
        {"p6 m1", "GenuineIntel", 6, 1, 0, 0, 0, 0, 0, 0, 3},
        {"p6 m5", "GenuineIntel", 6, 5, 0, 0, 0, EDX_MMX, 0, 0, 4},
        {"p6 m8", "GenuineIntel", 6, 8, 0, 0, 0, EDX_MMX | EDX_SSE, 0, 0, 5},
        {"p6 m13", "GenuineIntel", 6, 13, 0, 0, 0, BASE_EDX, 0, 0, 9},
        {"p6 m14 one core", "GenuineIntel", 6, 14, 0, 0, ECX_SSE3, BASE_EDX, 0, 0, 10},
        {"p6 m14 two cores", "GenuineIntel", 6, 14, 0, 0, ECX_SSE3, BASE_EDX, 0, 1, 11},
        {"p6 m15 ssse3 4 cores", "GenuineIntel", 6, 15, 0, 0, ECX_SSE3 | ECX_SSSE3, BASE_EDX, 0, 3, 34},
        {"p6 m15 ssse3 2 cores", "GenuineIntel", 6, 15, 0, 0, ECX_SSE3 | ECX_SSSE3, BASE_EDX, 0, 1, 33},
        {"p6 m23 sse4.1", "GenuineIntel", 6, 7, 1, 0, ECX_SSE3 | ECX_SSSE3 | ECX_SSE41, BASE_EDX, 0, 0, 35},
        {"p6 m26 avx", "GenuineIntel", 6, 10, 1, 0, ECX_SSE41 | ECX_SSE42 | ECX_AVX, BASE_EDX, 0, 0, 70},
        {"p6 m26 sse4.2", "GenuineIntel", 6, 10, 1, 0, ECX_SSE41 | ECX_SSE42, BASE_EDX, 0, 0, 37},
        {"p6 m26 sse4.1 only", "GenuineIntel", 6, 10, 1, 0, ECX_SSE3 | ECX_SSE41, BASE_EDX, 0, 0, 68},
        {"p6 m28 atom", "GenuineIntel", 6, 12, 1, 0, ECX_SSE3 | ECX_SSSE3 | ECX_MOVBE, BASE_EDX, 0, 0, 36},
        {"p6 m28 no movbe", "GenuineIntel", 6, 12, 1, 0, ECX_SSE3 | ECX_SSSE3, BASE_EDX, 0, 0, 67},
        {"netburst sse3 no 64", "GenuineIntel", 15, 3, 0, 0, ECX_SSE3, BASE_EDX, 0, 0, 8},
        {"netburst ht", "GenuineIntel", 15, 2, 0, 0, 0, BASE_EDX | EDX_HTT, 2u << 16, 0, 7},
        {"netburst ht one logical", "GenuineIntel", 15, 2, 0, 0, 0, BASE_EDX | EDX_HTT, 1u << 16, 0, 6},
        {"other vendor avx", "AuthenticAMD", 6, 10, 1, 0, ECX_SSE41 | ECX_AVX, BASE_EDX, 0, 0, 70},
        {"other vendor sse2", "AuthenticAMD", 15, 0, 0, 1, 0, BASE_EDX, 0, 0, 65},
        {"sse only", "AuthenticAMD", 6, 0, 0, 0, 0, EDX_SSE, 0, 0, 64},
        {"nothing", "AuthenticAMD", 4, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cpu.leaves.clear();
        cpu.vendor(c.vendor, 4);
        cpu.leaf1(c.family, c.model, c.ecx, c.edx, c.extModel, c.extFamily, c.ebx);
        vq::platform::CpuidResult l4;
        l4.eax = c.coreField << 26;
        cpu.leaves[{4, 0}] = l4;
        EXPECT_EQ(getProcessorType(), c.type);
    }
}

TEST_F(ProcessorTest, NetBurstWith64BitExtensions) {
    cpu.vendor("GenuineIntel", 2);
    cpu.leaf1(15, 4, ECX_SSE3, BASE_EDX);
    cpu.leaves[{0x80000000u, 0}] = {0x80000008u, 0, 0, 0};
    cpu.leaves[{0x80000001u, 0}] = {0, 0, 0, 1u << 29};
    EXPECT_EQ(getProcessorType(), 32);
}

TEST_F(ProcessorTest, CacheSizeFromLeaf4IgnoresInstructionCaches) {
    cpu.vendor("GenuineIntel", 4);
    cpu.leaf1(6, 0, 0, BASE_EDX);
    auto cache = [](uint32_t type, uint32_t ways, uint32_t line, uint32_t sets) {
        return vq::platform::CpuidResult{type, ((ways - 1) << 22) | ((line - 1)), sets - 1, 0};
    };
    cpu.leaves[{4, 0}] = cache(1, 8, 64, 64);          // 32 KiB data
    cpu.leaves[{4, 1}] = cache(2, 16, 64, 8192);       // 8 MiB instruction: ignored
    cpu.leaves[{4, 2}] = cache(3, 16, 64, 1024);       // 1 MiB unified
    cpu.leaves[{4, 3}] = vq::platform::CpuidResult{};  // end of list
    int32_t size = 0;
    EXPECT_EQ(getMaxCacheSize(&size), 0);
    EXPECT_EQ(size, 1 << 20);
    // Cached: the same answer after the processor changes.
    cpu.leaves[{4, 2}] = cache(3, 16, 64, 4096);
    size = 0;
    EXPECT_EQ(getMaxCacheSize(&size), 0);
    EXPECT_EQ(size, 1 << 20);
    EXPECT_EQ(getMaxCacheSize(nullptr), -8);
}

TEST_F(ProcessorTest, CacheSizeStatusTable) {
    struct Case {
        const char* name;
        const char* vendor;
        uint32_t maxLeaf;
        vq::platform::CpuidResult leaf2;
        int32_t status, size;
    };
    const Case cases[] = {
        {"descriptors 0x2C and 0x7D", "GenuineIntel", 2, {0x00007D01u, 0x0000002Cu, 0, 0}, 0, 2 << 20},
        {"largest named wins", "GenuineIntel", 3, {0x00304301u, 0, 0, 0x00000029u}, 0, 4 << 20},
        {"no known descriptor", "GenuineIntel", 2, {0x00000201u, 0x000000F0u, 0, 0}, 37, 0},
        {"bit 31 words hold nothing", "GenuineIntel", 2, {0x00000001u, 0x8000007Du, 0, 0}, 37, 0},
        {"two queries needed", "GenuineIntel", 2, {0x00007D02u, 0, 0, 0}, 37, 0},
        {"highest leaf below 2", "GenuineIntel", 1, {0x00007D01u, 0, 0, 0}, 36, 0},
        {"other vendor", "AuthenticAMD", 4, {0x00007D01u, 0, 0, 0}, 36, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cpu.leaves.clear();
        resetProcessorCaches();
        cpu.vendor(c.vendor, c.maxLeaf);
        cpu.leaf1(6, 0, 0, BASE_EDX);
        cpu.leaves[{2, 0}] = c.leaf2;
        int32_t size = -1;
        EXPECT_EQ(getMaxCacheSize(&size), c.status);
        EXPECT_EQ(size, c.size);
        size = -1;
        EXPECT_EQ(getMaxCacheSize(&size), c.status) << "second call answers from the cache";
        EXPECT_EQ(size, c.size);
    }
}

TEST_F(ProcessorTest, DescriptorTableIsOrderedAndComplete) {
    int n = 0;
    for (const CacheDescriptor* e = cacheDescriptorTable; e->descriptor; ++e, ++n)
        if (n > 0) {
            EXPECT_LE(e->size, (e - 1)->size) << n;
        }
    EXPECT_EQ(n, 55);
}

TEST_F(ProcessorTest, MaxPathEnvironmentCapsThePath) {
    cpu.vendor("GenuineIntel", 4);
    cpu.leaf1(6, 0, ECX_SSE3 | ECX_SSSE3 | ECX_SSE41 | ECX_OSXSAVE | ECX_AVX, BASE_EDX);
    setenv("VQ_MAX_PATH", "2", 1);
    EXPECT_EQ(initProcessorDispatch(), 0);
    EXPECT_EQ(processorDispatchIndex, 2);
    setenv("VQ_MAX_PATH", "0", 1);
    initProcessorDispatch();
    EXPECT_EQ(processorDispatchIndex, 0);
    unsetenv("VQ_MAX_PATH");
    initProcessorDispatch();
    EXPECT_EQ(processorDispatchIndex, 5);
}

TEST(FloatControl, SseRoundingModeIsSetAndRestored) {
    const uint32_t before = vq::platform::readMxcsr();
    for (uint32_t mode : {0x0000u, 0x2000u, 0x4000u, 0x6000u}) {
        const uint32_t saved = setSseRoundingMode(mode);
        EXPECT_EQ(saved, before);
        EXPECT_EQ(vq::platform::readMxcsr() & 0x6000u, mode);
        EXPECT_EQ(vq::platform::readMxcsr() & ~0x6000u, before & ~0x6000u) << "other bits kept";
        restoreSseControl(saved);
        EXPECT_EQ(vq::platform::readMxcsr(), before);
    }
}

TEST(FloatControl, TruncateToIntLeavesControlWordsAlone) {
    const uint16_t cw = vq::platform::readX87ControlWord();
    const uint32_t csr = vq::platform::readMxcsr();
    // The values reach the conversion through memory the compiler cannot see:
    // an optimising build would otherwise fold the conversion of a constant
    // at build time, with its own result for values out of range instead of
    // the processor's.
    struct Case {
        double value;
        int32_t expected;
    };
    const Case cases[] = {{2.9, 2},          {-2.9, -2},         {-0.5, 0}, {2147483647.0, 2147483647},
                          {3e9, INT32_MIN}, {-3e9, INT32_MIN}, {__builtin_nan(""), INT32_MIN}};
    for (const Case& c : cases) {
        volatile double hidden = c.value;
        EXPECT_EQ(truncateToInt(hidden), c.expected) << c.value;
    }
    EXPECT_EQ(vq::platform::readX87ControlWord(), cw);
    EXPECT_EQ(vq::platform::readMxcsr() & ~0x3Fu, csr & ~0x3Fu) << "control bits unchanged (status flags may be raised)";
    // The x87 control word round-trips through our accessors.
    vq::platform::writeX87ControlWord(static_cast<uint16_t>((cw & ~0x0C00) | 0x0C00));
    EXPECT_EQ(vq::platform::readX87ControlWord() & 0x0C00, 0x0C00);
    vq::platform::writeX87ControlWord(cw);
    EXPECT_EQ(vq::platform::readX87ControlWord(), cw);
}

TEST(Dispatch, RealProcessorChoosesASupportedPath) {
    const int32_t saved = processorDispatchIndex;
    unsetenv("VQ_MAX_PATH");
    initProcessorDispatch();
    EXPECT_EQ(processorDispatchIndex, hardwareProcessorPath());
    EXPECT_GE(processorDispatchIndex, 1) << "every x86-64 processor has SSE2";
    processorDispatchIndex = saved;
}

} // namespace
