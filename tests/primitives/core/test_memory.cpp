#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "primitives/core/dispatch.h"
#include "primitives/core/memory.h"

namespace {

bool aligned32(const void* p) { return (reinterpret_cast<uintptr_t>(p) & 31) == 0; }

TEST(Memory, ImageAllocatorTable) {
    struct Case {
        const char* name;
        void* (*alloc)(int32_t, int32_t, int32_t*);
        int32_t width, height, step;
    };
    auto c1 = [](int32_t w, int32_t h, int32_t* s) -> void* { return allocImage8uC1(w, h, s); };
    auto c3 = [](int32_t w, int32_t h, int32_t* s) -> void* { return allocImage8uC3(w, h, s); };
    auto c4 = [](int32_t w, int32_t h, int32_t* s) -> void* { return allocImage8uC4(w, h, s); };
    auto s1 = [](int32_t w, int32_t h, int32_t* s) -> void* { return allocImage16uC1(w, h, s); };
    auto s3 = [](int32_t w, int32_t h, int32_t* s) -> void* { return allocImage16uC3(w, h, s); };
    const Case cases[] = {
        {"8uC3 10x4", c3, 10, 4, 32}, {"8uC3 11x4", c3, 11, 4, 64}, {"16uC3 1x1", s3, 1, 1, 32},
        {"8uC1 32", c1, 32, 2, 32},   {"8uC1 33", c1, 33, 2, 64},   {"8uC4 9", c4, 9, 3, 64},
        {"16uC1 16", s1, 16, 5, 32},  {"16uC1 17", s1, 17, 5, 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int32_t step = -1;
        void* p = c.alloc(c.width, c.height, &step);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(step, c.step);
        EXPECT_TRUE(aligned32(p));
        std::memset(p, 0x5A, static_cast<size_t>(step) * c.height);  // the whole block is ours (ASan checks)
        freeImage(p);
    }
}

TEST(Memory, ImageAllocatorRefusals) {
    int32_t step = 77;
    EXPECT_EQ(allocImage8uC3(0, 4, &step), nullptr);
    EXPECT_EQ(step, 0);
    step = 77;
    EXPECT_EQ(allocImage16uC1(5, -1, &step), nullptr);
    EXPECT_EQ(step, 0);
    EXPECT_EQ(allocImage8uC1(5, 5, nullptr), nullptr);
    // A request whose byte count does not fit in 31 bits is refused, with the step stored.
    step = 0;
    EXPECT_EQ(allocImage8uC4(65536, 65536, &step), nullptr);
    EXPECT_EQ(step, 65536 * 4);
    // A row that alone exceeds the limit stores no step.
    step = 9;
    EXPECT_EQ(allocImage16uC3(INT32_MAX / 4, 1, &step), nullptr);
}

TEST(Memory, VectorsAndHugeSizes) {
    EXPECT_EQ(allocVector8u(0), nullptr);
    EXPECT_EQ(allocVector8u(-5), nullptr);
    EXPECT_EQ(allocVector16s(0), nullptr);
    EXPECT_EQ(allocVector32s(-1), nullptr);
    EXPECT_EQ(alignedMalloc(0), nullptr);
    EXPECT_EQ(alignedMalloc(-1), nullptr);
    EXPECT_EQ(alignedMalloc(INT32_MAX), nullptr) << "size plus overhead no longer fits";
    EXPECT_EQ(allocVector32s(INT32_MAX / 2), nullptr) << "4n overflows";
    EXPECT_EQ(allocVector16s(INT32_MAX / 2 + 1), nullptr) << "2n overflows";
    freeVector(nullptr);
    freeImage(nullptr);
    alignedFree(nullptr);

    for (int32_t n : {1, 31, 32, 33, 4095}) {
        uint8_t* v = allocVector8u(n);
        ASSERT_NE(v, nullptr);
        EXPECT_TRUE(aligned32(v));
        std::memset(v, 1, static_cast<size_t>(n));
        freeVector(v);
        int16_t* s = allocVector16s(n);
        ASSERT_NE(s, nullptr);
        EXPECT_TRUE(aligned32(s));
        s[n - 1] = 7;
        freeVector(s);
        int32_t* w = allocVector32s(n);
        ASSERT_NE(w, nullptr);
        w[n - 1] = 7;
        freeVector(w);
    }
}

TEST(Memory, ReleasesAcceptEachOthersBlocks) {
    int32_t step;
    freeImage(allocVector8u(100));
    freeVector(allocImage8uC4(7, 7, &step));
    alignedFree(allocImage16uC3(3, 3, &step));
    freeImage(alignedMalloc(64));
}

TEST(Memory, UnderlyingFailureGivesNull) {
    const auto saved = primUnderlyingAlloc;
    primUnderlyingAlloc = [](std::size_t) -> void* { return nullptr; };
    int32_t step = 0;
    EXPECT_EQ(allocImage8uC1(10, 10, &step), nullptr);
    EXPECT_EQ(step, 32) << "the step is stored even when the allocation fails";
    EXPECT_EQ(allocVector8u(10), nullptr);
    primUnderlyingAlloc = saved;
}

TEST(Memory, EveryPathIsOneBody) {
    for (int p = 0; p < kProcessorPathCount; ++p) {
        EXPECT_EQ(allocVector8uTable[p], allocVector8uTable[0]);
        EXPECT_EQ(freeVectorTable[p], freeImageTable[0]);
        EXPECT_EQ(allocImage8uC3Table[p], allocImage8uC3Table[0]);
        EXPECT_EQ(allocImage16uC3Table[p], allocImage16uC3Table[0]);
    }
}

TEST(Memory, ConcurrentAllocation) {
    // Worker threads allocate and release at once; ASan would see any sharing.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 1; i < 500; ++i) {
                int32_t step;
                uint8_t* p = allocImage8uC3(i, 2, &step);
                ASSERT_NE(p, nullptr);
                p[step * 2 - 1] = static_cast<uint8_t>(t);
                freeImage(p);
            }
        });
    for (auto& th : threads)
        th.join();
}

} // namespace
