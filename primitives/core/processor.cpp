#include "primitives/core/processor.h"

#include <cstdlib>
#include <cstring>

#include "platform/cpu.h"
#include "primitives/core/dispatch.h"

int32_t processorDispatchIndex = 0;

namespace {

constexpr uint32_t KiB = 1024, MiB = 1024 * 1024;

// Cached feature mask (two words and a flag) and cached cache size.
uint32_t featureMaskLow = 0, featureMaskHigh = 0;
bool featureMaskComputed = false;
int32_t cacheStatus = 1;  // 1: not computed yet
int32_t cacheSize = 0;

bool bit(uint32_t word, int n) { return (word >> n) & 1u; }

// Path from a feature mask: first matching rule wins.
int32_t pathFromMask(uint64_t m) {
    if ((m & cpuAVX) && (m & cpuAvxEnabledByOs))
        return 5;
    if (m & cpuSSE41)
        return 4;
    if (m & cpuSSSE3)
        return 3;
    if (m & cpuSSE3)
        return 2;
    if (m & cpuSSE2)
        return 1;
    return 0;
}

// VQ_MAX_PATH=n caps the path, so tests and benchmarks can run lower paths.
int32_t applyPathCap(int32_t path) {
    const char* cap = std::getenv("VQ_MAX_PATH");
    if (cap && *cap >= '0' && *cap <= '5' && cap[1] == '\0') {
        const int32_t n = *cap - '0';
        if (n < path)
            return n;
    }
    return path;
}

int32_t featureRuleType(const CpuSignature& s) {
    if (s.hasAvx) return 70;
    if (s.hasSse42) return 69;
    if (s.hasSse41) return 68;
    if (s.hasSsse3) return 67;
    if (s.hasSse3) return 66;
    if (s.hasSse2) return 65;
    if (s.hasSse) return 64;
    if (s.has64BitExtensions) return 96;
    return 0;
}

// Model rules for the reference vendor; 0 when no rule applies.
int32_t vendorModelType(int32_t f, int32_t m, const CpuSignature& s) {
    if (f == 5) {
        if (m == 1 || m == 2) return 1;
        if (m == 4) return 2;
        return 0;
    }
    if (f == 6) {
        switch (m) {
        case 1: return 3;
        case 3: case 5: case 6: return 4;
        case 7: case 8: case 10: case 11: return 5;
        case 9: case 13: return 9;
        case 14: return s.coreCount > 1 ? 11 : 10;
        case 15: return s.hasSsse3 ? (s.coreCount > 2 ? 34 : 33) : 0;
        case 23: return s.hasSse41 ? 35 : 0;
        case 26: return s.hasAvx ? 70 : (s.hasSse42 ? 37 : 0);
        case 28: return (s.hasSsse3 && s.hasMovbe) ? 36 : 0;
        default: return 0;
        }
    }
    if (f == 15) {
        if (s.hasSse3) return s.has64BitExtensions ? 32 : 8;
        return s.hasHyperThreading ? 7 : 6;
    }
    return 0;
}

} // namespace

const CacheDescriptor cacheDescriptorTable[56] = {
    {0xEC, 24 * MiB}, {0xEB, 18 * MiB}, {0x4D, 16 * MiB},
    {0xEA, 12 * MiB}, {0x4C, 12 * MiB},
    {0xE4, 8 * MiB}, {0xDE, 8 * MiB}, {0x4B, 8 * MiB}, {0x47, 8 * MiB},
    {0x4E, 6 * MiB}, {0x4A, 6 * MiB},
    {0xE3, 4 * MiB}, {0xDD, 4 * MiB}, {0xD8, 4 * MiB}, {0x49, 4 * MiB}, {0x29, 4 * MiB}, {0x46, 4 * MiB},
    {0x48, 3 * MiB},
    {0xE2, 2 * MiB}, {0xDC, 2 * MiB}, {0xD7, 2 * MiB}, {0xD2, 2 * MiB}, {0x25, 2 * MiB}, {0x7D, 2 * MiB},
    {0x85, 2 * MiB}, {0x45, 2 * MiB},
    {0xD6, 1 * MiB}, {0xD1, 1 * MiB}, {0x23, 1 * MiB}, {0x87, 1 * MiB}, {0x7C, 1 * MiB}, {0x78, 1 * MiB},
    {0x84, 1 * MiB}, {0x44, 1 * MiB},
    {0xD0, 512 * KiB}, {0x22, 512 * KiB}, {0x7B, 512 * KiB}, {0x80, 512 * KiB}, {0x86, 512 * KiB},
    {0x3E, 512 * KiB}, {0x7F, 512 * KiB}, {0x83, 512 * KiB}, {0x43, 512 * KiB},
    {0x3D, 384 * KiB},
    {0x21, 256 * KiB}, {0x7A, 256 * KiB}, {0x82, 256 * KiB}, {0x3C, 256 * KiB}, {0x3F, 256 * KiB}, {0x42, 256 * KiB},
    {0x3A, 192 * KiB},
    {0x79, 128 * KiB}, {0x39, 128 * KiB}, {0x3B, 128 * KiB}, {0x41, 128 * KiB},
    {0, 0},
};

int32_t hasCpuid() { return vq::platform::cpuidSource().hasCpuid() ? 1 : 0; }

void cpuidQuery(CpuidRegisters* regs, uint32_t leaf, uint32_t subLeaf) {
    const auto r = vq::platform::cpuidSource().cpuid(leaf, subLeaf);
    regs->eax = r.eax;
    regs->ebx = r.ebx;
    regs->ecx = r.ecx;
    regs->edx = r.edx;
}

uint32_t getMaxCpuidLeaf() {
    CpuidRegisters r;
    cpuidQuery(&r, 0, 0);
    return r.eax;
}

int32_t isExpectedCpuVendor() {
    if (!hasCpuid())
        return 0;
    CpuidRegisters r;
    cpuidQuery(&r, 0, 0);
    char vendor[12];
    std::memcpy(vendor, &r.ebx, 4);
    std::memcpy(vendor + 4, &r.edx, 4);
    std::memcpy(vendor + 8, &r.ecx, 4);
    return std::memcmp(vendor, kReferenceVendor, 12) == 0 ? 1 : 0;
}

int32_t readCpuFeatureMask(uint64_t* mask) {
    if (!hasCpuid())
        return 0;
    if (!featureMaskComputed) {
        CpuidRegisters r;
        cpuidQuery(&r, 1, 0);
        uint32_t m = 0;
        if (bit(r.edx, 23)) m |= cpuMMX;
        if (bit(r.edx, 25)) m |= cpuSSE;
        if (bit(r.edx, 26)) m |= cpuSSE2;
        if (bit(r.ecx, 0)) m |= cpuSSE3;
        if (bit(r.ecx, 9)) m |= cpuSSSE3;
        if (bit(r.ecx, 22)) m |= cpuMOVBE;
        if (bit(r.ecx, 19)) m |= cpuSSE41;
        if (bit(r.ecx, 20)) m |= cpuSSE42;
        if (bit(r.ecx, 28)) m |= cpuAVX;
        if (bit(r.ecx, 27) && bit(r.ecx, 28)) {
            const uint64_t xcr0 = vq::platform::cpuidSource().xgetbv(0);
            if ((xcr0 & 6) == 6)
                m |= cpuAvxEnabledByOs;
        }
        if (bit(r.ecx, 25)) m |= cpuAES;
        if (bit(r.ecx, 1)) m |= cpuCLMUL;
        featureMaskLow = m;
        featureMaskHigh = 0;
        featureMaskComputed = true;
    }
    *mask = (uint64_t(featureMaskHigh) << 32) | featureMaskLow;
    return 1;
}

int32_t getCpuFeatures(uint64_t* mask, CpuidRegisters* leaf1) {
    uint64_t m;
    if (!readCpuFeatureMask(&m))
        return primWrnNoCpuid;
    if (!mask)
        return primErrNullPtr;
    *mask = m;
    if (leaf1)
        cpuidQuery(leaf1, 1, 0);
    return primNoErr;
}

void readCpuSignature(CpuSignature* s) {
    std::memset(s, 0, sizeof *s);
    CpuidRegisters r0, r1;
    cpuidQuery(&r0, 0, 0);
    cpuidQuery(&r1, 1, 0);
    const uint32_t maxLeaf = r0.eax;
    s->family = (r1.eax >> 8) & 0xF;
    s->stepping = r1.eax & 0xF;
    s->model = (r1.eax >> 4) & 0xF;
    s->extendedModel = (r1.eax >> 16) & 0xF;
    s->extendedFamily = (r1.eax >> 20) & 0xFF;
    s->featureEdx = static_cast<int32_t>(r1.edx);
    if (maxLeaf >= 2) {
        CpuidRegisters r2;
        cpuidQuery(&r2, 2, 0);
        s->leaf2First = static_cast<int32_t>(r2.eax);
        s->leaf2Last = static_cast<int32_t>(r2.edx);
    }
    s->hasMmx = bit(r1.edx, 23);
    s->hasSse = bit(r1.edx, 25);
    s->hasSse2 = bit(r1.edx, 26);
    s->hasHyperThreading = bit(r1.edx, 28) && ((r1.ebx >> 16) & 0xFF) > 1;
    s->hasSse3 = bit(r1.ecx, 0);
    CpuidRegisters rx;
    cpuidQuery(&rx, 0x80000000u, 0);
    if (rx.eax >= 0x80000001u) {
        CpuidRegisters rx1;
        cpuidQuery(&rx1, 0x80000001u, 0);
        s->has64BitExtensions = bit(rx1.edx, 29);
    }
    s->hasSsse3 = bit(r1.ecx, 9);
    s->hasSse41 = bit(r1.ecx, 19);
    s->hasSse42 = bit(r1.ecx, 20);
    s->hasMovbe = bit(r1.ecx, 22);
    s->hasAvx = bit(r1.ecx, 28);
    s->hasOsxsave = bit(r1.ecx, 27);
    s->coreCount = 1;
    if (maxLeaf >= 4) {
        CpuidRegisters r4;
        cpuidQuery(&r4, 4, 0);
        s->coreCount = static_cast<int32_t>((r4.eax >> 26) & 0x3F) + 1;
    }
}

int32_t getProcessorType() {
    if (!hasCpuid())
        return 0;
    CpuSignature s;
    readCpuSignature(&s);
    int32_t f = s.family, m = s.model;
    if (f == 6 || f == 15)
        m = s.extendedModel * 16 + s.model;
    if (f == 15)
        f = 15 + s.extendedFamily;
    if (isExpectedCpuVendor()) {
        const int32_t t = vendorModelType(f, m, s);
        if (t)
            return t;
    }
    return featureRuleType(s);
}

int32_t initProcessorDispatch() {
    uint64_t mask = 0;
    int32_t path = 0;
    const bool cpuid = getCpuFeatures(&mask, nullptr) == primNoErr;
    if (cpuid)
        path = pathFromMask(mask);
    processorDispatchIndex = applyPathCap(path);
    return cpuid && isExpectedCpuVendor() ? primNoErr : primWrnOtherVendor;
}

int32_t initProcessorDispatchForType(int32_t type) {
    int32_t path;
    switch (type) {
    case -1: case 0: case 1: case 2: case 3: case 4: case 5: case 16: case 64: case 96: path = 0; break;
    case 6: case 7: case 9: case 17: case 65: path = 1; break;
    case 8: case 10: case 11: case 32: case 66: path = 2; break;
    case 33: case 34: case 36: case 67: path = 3; break;
    case 35: case 37: case 38: case 68: case 69: path = 4; break;
    case 70: path = 5; break;
    default: return primWrnUnknownType;
    }
    processorDispatchIndex = applyPathCap(path);
    return primNoErr;
}

int32_t cacheSizeFromDescriptors(const CacheDescriptor* table) {
    CpuidRegisters r;
    cpuidQuery(&r, 2, 0);
    if ((r.eax & 0xFF) != 1)
        return -1;
    uint8_t bytes[15];
    int n = 0;
    const uint32_t words[4] = {r.eax, r.ebx, r.ecx, r.edx};
    for (int w = 0; w < 4; ++w) {
        const uint32_t v = (words[w] & 0x80000000u) ? 0 : words[w];
        if (v == 0)
            continue;
        for (int b = (w == 0 ? 1 : 0); b < 4; ++b) {
            const uint8_t d = static_cast<uint8_t>(v >> (8 * b));
            if (d)
                bytes[n++] = d;
        }
    }
    if (n == 0)
        return -1;
    for (const CacheDescriptor* e = table; e->descriptor != 0; ++e)
        for (int i = 0; i < n; ++i)
            if ((e->descriptor & 0xFF) == bytes[i])
                return static_cast<int32_t>(e->size);
    return -1;
}

int32_t getMaxCacheSize(int32_t* size) {
    if (!size)
        return primErrNullPtr;
    if (cacheStatus != 1) {
        *size = cacheSize;
        return cacheStatus;
    }
    if (!hasCpuid() || getMaxCpuidLeaf() < 2 || !isExpectedCpuVendor()) {
        cacheStatus = primWrnNoCpuid;
        *size = cacheSize;
        return cacheStatus;
    }
    int64_t largest = 0;
    if (getMaxCpuidLeaf() >= 4) {
        for (uint32_t sub = 0; sub < 32; ++sub) {
            CpuidRegisters r;
            cpuidQuery(&r, 4, sub);
            const uint32_t type = r.eax & 0x1F;
            if (type == 0)
                break;
            if (type == 2)
                continue;  // instruction cache
            const int64_t ways = ((r.ebx >> 22) & 0x3FF) + 1;
            const int64_t parts = ((r.ebx >> 12) & 0x3FF) + 1;
            const int64_t line = (r.ebx & 0xFFF) + 1;
            const int64_t sets = int64_t(r.ecx) + 1;
            const int64_t bytes = ways * parts * line * sets;
            if (bytes > largest)
                largest = bytes;
        }
        if (largest > INT32_MAX)
            largest = INT32_MAX;
    } else {
        const int32_t s = cacheSizeFromDescriptors(cacheDescriptorTable);
        largest = s < 0 ? 0 : s;
    }
    cacheSize = static_cast<int32_t>(largest);
    cacheStatus = largest == 0 ? primWrnNoCache : primNoErr;
    *size = cacheSize;
    return cacheStatus;
}

uint32_t setSseRoundingMode(uint32_t mode) {
    const uint32_t old = vq::platform::readMxcsr();
    if ((old & 0x6000u) != (mode & 0x6000u))
        vq::platform::writeMxcsr((old & ~0x6000u) | (mode & 0x6000u));
    return old;
}

void restoreSseControl(uint32_t saved) { vq::platform::writeMxcsr(saved); }

int32_t hardwareProcessorPath() {
    auto& hw = vq::platform::hardwareCpuidSource();
    const auto r = hw.cpuid(1, 0);
    uint64_t m = 0;
    if (bit(r.edx, 26)) m |= cpuSSE2;
    if (bit(r.ecx, 0)) m |= cpuSSE3;
    if (bit(r.ecx, 9)) m |= cpuSSSE3;
    if (bit(r.ecx, 19)) m |= cpuSSE41;
    if (bit(r.ecx, 28)) m |= cpuAVX;
    if (bit(r.ecx, 27) && bit(r.ecx, 28) && (hw.xgetbv(0) & 6) == 6)
        m |= cpuAvxEnabledByOs;
    return pathFromMask(m);
}

void resetProcessorCaches() {
    featureMaskLow = featureMaskHigh = 0;
    featureMaskComputed = false;
    cacheStatus = 1;
    cacheSize = 0;
}
