// The shift kernel sets of the processor paths, which no primitive calls:
// every kernel against the per-sample definition over widths, alignments
// of source and destination, in place and apart, and counts up to 1000;
// the fourth sample of AC4 layouts is the destination's own.
#include <gtest/gtest.h>

#include <cstring>

#include "primitives/image/image_harness.h"
#include "primitives/image/shift/shift_kernels.h"

namespace {

using vqtest::GuardedImage;

struct KernelCase {
    const char* name;
    int size;       // bytes per sample
    bool isSigned;  // arithmetic right shift
    bool left;
    int samples;    // per pixel
    int shifted;    // samples per pixel that are shifted (3 for AC4 layouts)
    bool oneCount;  // C1 and AC4OneCount: one count for all
    std::function<void(const ShiftKernelSet&, const void*, int32_t, void*, int32_t, int32_t, int32_t,
                       const uint32_t*)>
        run;
};

// C1 kernels take the count itself, the others the array.
template <class T>
void callKernel(void (*k)(const T*, int32_t, T*, int32_t, int32_t, int32_t, uint32_t), const T* s, int32_t ss, T* d,
                int32_t ds, int32_t w, int32_t h, const uint32_t* c) {
    k(s, ss, d, ds, w, h, c[0]);
}
template <class T>
void callKernel(void (*k)(const T*, int32_t, T*, int32_t, int32_t, int32_t, const uint32_t*), const T* s, int32_t ss,
                T* d, int32_t ds, int32_t w, int32_t h, const uint32_t* c) {
    k(s, ss, d, ds, w, h, c);
}

#define VQ_CASE(member, T, size, isSigned, left, samples, shifted, one)                                       \
    KernelCase {                                                                                               \
        #member, size, isSigned, left, samples, shifted, one,                                                  \
            [](const ShiftKernelSet& set, const void* s, int32_t ss, void* d, int32_t ds, int32_t w, int32_t h, \
               const uint32_t* c) {                                                                            \
                callKernel(set.member, static_cast<const T*>(s), ss, static_cast<T*>(d), ds, w, h, c);        \
            }                                                                                                  \
    }
#define VQ_FAMILY(dir, suffix, T, size, isSigned, left)                                              \
    VQ_CASE(dir##Roi##suffix##C1, T, size, isSigned, left, 1, 1, true),                              \
        VQ_CASE(dir##Roi##suffix##C3, T, size, isSigned, left, 3, 3, false),                         \
        VQ_CASE(dir##Roi##suffix##C4, T, size, isSigned, left, 4, 4, false),                         \
        VQ_CASE(dir##Roi##suffix##AC4, T, size, isSigned, left, 4, 3, false),                        \
        VQ_CASE(dir##Roi##suffix##AC4OneCount, T, size, isSigned, left, 4, 3, true)

const std::vector<KernelCase>& kernels() {
    static const std::vector<KernelCase> k = {
        VQ_FAMILY(shiftLeft, 8u, uint8_t, 1, false, true),     VQ_FAMILY(shiftLeft, 16u, uint16_t, 2, false, true),
        VQ_FAMILY(shiftLeft, 32s, int32_t, 4, true, true),     VQ_FAMILY(shiftRight, 8u, uint8_t, 1, false, false),
        VQ_FAMILY(shiftRight, 8s, int8_t, 1, true, false),     VQ_FAMILY(shiftRight, 16u, uint16_t, 2, false, false),
        VQ_FAMILY(shiftRight, 16s, int16_t, 2, true, false),   VQ_FAMILY(shiftRight, 32s, int32_t, 4, true, false),
    };
    return k;
}

// The sample as a number of its type, shifted, and back to its bits.
uint64_t expected(const KernelCase& k, uint64_t bits, uint32_t c) {
    const int width = 8 * k.size;
    const uint64_t all = width == 64 ? ~0ull : (1ull << width) - 1;
    if (c >= static_cast<uint32_t>(width)) {
        if (k.left || !k.isSigned)
            return 0;
        return (bits >> (width - 1)) & 1 ? all : 0;
    }
    if (k.left)
        return (bits << c) & all;
    if (!k.isSigned)
        return bits >> c;
    const int64_t v = (bits >> (width - 1)) & 1 ? int64_t(bits) - (int64_t(1) << width) : int64_t(bits);
    const int64_t d = int64_t(1) << c;
    const int64_t q = v >= 0 ? v / d : -((-v + d - 1) / d);
    return static_cast<uint64_t>(q) & all;
}

uint64_t bitsAt(const uint8_t* p, int size) {
    uint64_t v = 0;
    std::memcpy(&v, p, size);
    return v;
}

TEST(ImageShiftKernels, EveryKernelOnEveryPathAgainstTheDefinition) {
    const uint32_t countPool[] = {0, 1, 3, 7, 8, 9, 15, 16, 17, 31, 32, 40, 1000};
    int round = 0;
    for (int path : vqtest::supportedPaths()) {
        const ShiftKernelSet* set = shiftKernelSet(path);
        ASSERT_NE(set, nullptr);
        for (const KernelCase& k : kernels())
            for (int w = 1; w <= 21; ++w)
                for (int a = 0; a < 16; a += (w % 3) + 1) {
                    ++round;
                    const bool inPlace = round % 3 == 0;
                    const int rowBytes = w * k.samples * k.size, h = 2;
                    uint32_t counts[4];
                    for (int c = 0; c < 4; ++c)
                        counts[c] = countPool[(round * 7 + c * 5) % 13];
                    if (k.samples == 1)
                        counts[0] %= 32;  // C1 kernels take counts 0 to 31
                    GuardedImage src(rowBytes, h, a, (w + a) % 4), dst(rowBytes, h, (a * 3 + 5) % 16, 1 + w % 3);
                    std::mt19937 rng(static_cast<uint32_t>(round));
                    src.fillRandom(rng);
                    dst.fillRandom(rng);
                    const std::vector<uint8_t> in = src.pixels(), before = dst.pixels();
                    GuardedImage& out = inPlace ? src : dst;
                    k.run(*set, src.origin(), src.step(), out.origin(), out.step(), w, h, counts);
                    ASSERT_TRUE(src.guardsIntact() && dst.guardsIntact()) << k.name;
                    const std::vector<uint8_t> got = out.pixels();
                    const std::vector<uint8_t>& kept = inPlace ? in : before;
                    for (int i = 0; i < w * h * k.samples; ++i) {
                        const int ch = i % k.samples;
                        const uint64_t g = bitsAt(got.data() + i * k.size, k.size);
                        const uint64_t want = ch >= k.shifted
                                                  ? bitsAt(kept.data() + i * k.size, k.size)
                                                  : expected(k, bitsAt(in.data() + i * k.size, k.size),
                                                             counts[k.oneCount ? 0 : ch]);
                        ASSERT_EQ(g, want) << k.name << " on " << vqtest::pathName(path) << " width " << w
                                           << " align " << a << " sample " << i << " count "
                                           << counts[k.oneCount ? 0 : ch] << (inPlace ? " in place" : "");
                    }
                }
    }
    EXPECT_EQ(shiftKernelSet(0), nullptr);
}

TEST(ImageShiftKernels, WorkedValues) {
    for (int path : vqtest::supportedPaths()) {
        const ShiftKernelSet& set = *shiftKernelSet(path);
        uint8_t b = 0x81, o = 0;
        set.shiftLeftRoi8uC1(&b, 1, &o, 1, 1, 1, 1);
        EXPECT_EQ(o, 0x02);
        set.shiftRightRoi8uC1(&b, 1, &o, 1, 1, 1, 7);
        EXPECT_EQ(o, 0x01);
        int8_t sb = -128, so = 0;
        set.shiftRightRoi8sC1(&sb, 1, &so, 1, 1, 1, 7);
        EXPECT_EQ(so, -1);
        // 32-bit C4, counts 1, 31, 32, 40 on (5, 3, -1, 7).
        const int32_t px[4] = {5, 3, -1, 7};
        const uint32_t counts[4] = {1, 31, 32, 40};
        int32_t r[4];
        set.shiftLeftRoi32sC4(px, 16, r, 16, 1, 1, counts);
        EXPECT_EQ(r[0], 10);
        EXPECT_EQ(r[1], INT32_MIN);
        EXPECT_EQ(r[2], 0);
        EXPECT_EQ(r[3], 0);
        set.shiftRightRoi32sC4(px, 16, r, 16, 1, 1, counts);
        EXPECT_EQ(r[0], 2);
        EXPECT_EQ(r[1], 0);
        EXPECT_EQ(r[2], -1);
        EXPECT_EQ(r[3], 0);
    }
}

} // namespace
