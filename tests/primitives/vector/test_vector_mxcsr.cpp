// Every public vector primitive, on every path, under a caller whose SSE
// control register rounds toward +infinity and reads denormals as zero: the
// control bits are as the caller left them after every call, and the
// conversions, which run under a register of their own, also give back the
// caller's sticky flags.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "primitives/vector/add_sub.h"
#include "primitives/vector/const_shift.h"
#include "primitives/vector/convert.h"
#include "vector_harness.h"

namespace {

using vqtest::CallerMxcsr;

constexpr uint32_t kFlags = 0x3F;

TEST(VectorMxcsr, EveryPrimitiveLeavesTheCallersRegister) {
    const float f[9] = {1.5f, -2.5f, NAN, INFINITY, 3e9f, 1e-40f, 0.1f, -0.0f, 7.0f};
    const int32_t i32[9] = {1, -2, INT32_MAX, INT32_MIN, 0, 5, 1 << 30, -7, 99};
    const int16_t i16[9] = {1, -2, 32767, -32768, 0, 5, 300, -7, 99};
    float fo[9];
    int32_t io[9];
    int16_t so[9];
    struct Call {
        const char* name;
        bool exact;  // the whole register, flags included, comes back
        std::function<int32_t(int path)> run;
    };
    const Call calls[] = {
        {"addVector16sScaled", false, [&](int p) { return addVector16sScaledTable[p](i16, i16, so, 9, 1); }},
        {"subVectorInPlace32sScaled", false, [&](int p) { return subVectorInPlace32sScaledTable[p](i32, io, 9, -3); }},
        {"addVector32f", false, [&](int p) { return addVector32fTable[p](f, f, fo, 9); }},
        {"mulVectorConst32f", false, [&](int p) { return mulVectorConst32fTable[p](f, 0.3f, fo, 9); }},
        {"addVectorConst32sScaled", false, [&](int p) { return addVectorConst32sScaledTable[p](i32, 5, io, 9, 2); }},
        {"shiftRightVectorConst16s", false, [&](int p) { return shiftRightVectorConst16sTable[p](i16, 3, so, 9); }},
        {"convertVector32sTo32f", false, [&](int p) { return convertVector32sTo32fTable[p](i32, fo, 9, 3); }},
        {"convertVector32sTo16s", false, [&](int p) { return convertVector32sTo16sTable[p](i32, so, 9); }},
        {"clampVectorMinInPlace32s", false, [&](int p) { return clampVectorMinInPlace32sTable[p](io, 9, 0); }},
        {"convertVector32fTo32s mode 0", true, [&](int p) { return convertVector32fTo32sTable[p](f, io, 9, 0, 2); }},
        {"convertVector32fTo32s mode 1", true, [&](int p) { return convertVector32fTo32sTable[p](f, io, 9, 1, -4); }},
        {"convertVector32fTo32s mode 2", true, [&](int p) { return convertVector32fTo32sTable[p](f, io, 9, 2, 0); }},
    };
    for (const Call& c : calls)
        for (int path : vqtest::allPaths())
            for (uint32_t csr : {CallerMxcsr::kUnusual, CallerMxcsr::kUnusual | 0x01u}) {
                uint32_t after;
                {
                    CallerMxcsr caller(csr);
                    std::copy(i32, i32 + 9, io);
                    ASSERT_EQ(c.run(path), primNoErr) << c.name;
                    after = CallerMxcsr::readCsr();
                }
                EXPECT_EQ(after & ~kFlags, csr & ~kFlags) << c.name << " " << vqtest::pathName(path);
                if (c.exact && path != 0) {
                    EXPECT_EQ(after, csr) << c.name << " " << vqtest::pathName(path);
                }
            }
}

} // namespace
