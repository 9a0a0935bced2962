#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "primitives/jpeg/sampling/sampling.h"
#include "tests/support/path_harness.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Calls a row form on its own exact-size copies of the inputs, so reading past
// a row's end is caught by the address sanitizer.
Bytes upRow(int path, const Bytes& s) {
    std::unique_ptr<uint8_t[]> src(new uint8_t[s.size()]);
    std::copy(s.begin(), s.end(), src.get());
    Bytes d(2 * s.size());
    EXPECT_EQ(upsampleRowH2V1TriangleTable[path](src.get(), static_cast<int32_t>(s.size()), d.data()), 0);
    return d;
}
Bytes upRow2(int path, const Bytes& nearRow, const Bytes& farRow) {
    std::unique_ptr<uint8_t[]> n(new uint8_t[nearRow.size()]), f(new uint8_t[farRow.size()]);
    std::copy(nearRow.begin(), nearRow.end(), n.get());
    std::copy(farRow.begin(), farRow.end(), f.get());
    Bytes d(2 * nearRow.size());
    EXPECT_EQ(upsampleRowH2V2TriangleTable[path](n.get(), f.get(), static_cast<int32_t>(nearRow.size()), d.data()), 0);
    return d;
}
Bytes downRow(int path, const Bytes& s) {
    std::unique_ptr<uint8_t[]> src(new uint8_t[s.size()]);
    std::copy(s.begin(), s.end(), src.get());
    Bytes d((s.size() + 1) / 2);
    EXPECT_EQ(downsampleRowH2V1Table[path](src.get(), static_cast<int32_t>(s.size()), d.data()), 0);
    return d;
}
Bytes downRow2(int path, const Bytes& u, const Bytes& l) {
    std::unique_ptr<uint8_t[]> a(new uint8_t[u.size()]), b(new uint8_t[l.size()]);
    std::copy(u.begin(), u.end(), a.get());
    std::copy(l.begin(), l.end(), b.get());
    Bytes d((u.size() + 1) / 2);
    EXPECT_EQ(downsampleRowH2V2Table[path](a.get(), b.get(), static_cast<int32_t>(u.size()), d.data()), 0);
    return d;
}
// Region form over a tightly packed source of the given size.
Bytes region(SampleRegionFn fn, const Bytes& src, PrimSize srcSize, PrimSize dstSize) {
    std::unique_ptr<uint8_t[]> s(new uint8_t[src.size()]);
    std::copy(src.begin(), src.end(), s.get());
    Bytes d(dstSize.width * dstSize.height);
    EXPECT_EQ(fn(s.get(), srcSize.width, srcSize, d.data(), dstSize.width, dstSize), 0);
    return d;
}

TEST(JpegSampling, HandCasesOnEveryPath) {
    for (int p : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(p));
        EXPECT_EQ(upRow(p, {0, 255}), (Bytes{0, 64, 191, 255}));
        EXPECT_EQ(upRow(p, {2, 0, 2}), (Bytes{2, 2, 0, 1, 1, 2}));
        EXPECT_EQ(upRow2(p, {0, 255}, {0, 255}), (Bytes{0, 64, 191, 255}));
        EXPECT_EQ(upRow(p, Bytes(37, 77)), Bytes(74, 77));
        EXPECT_EQ(upRow2(p, Bytes(37, 77), Bytes(37, 77)), Bytes(74, 77));

        EXPECT_EQ(downRow(p, {10, 11}), (Bytes{10}));
        EXPECT_EQ(downRow(p, {10, 11, 10, 11}), (Bytes{10, 11}));
        EXPECT_EQ(downRow2(p, {0, 1, 1, 0}, {0, 1, 1, 0}), (Bytes{0, 1}));  // sums 2 and 2
        EXPECT_EQ(downRow2(p, {0, 1, 1, 0}, {0, 0, 0, 0}), (Bytes{0, 0}));  // sums 1 and 1
        EXPECT_EQ(downRow2(p, {1, 1, 1, 1}, {1, 0, 0, 1}), (Bytes{1, 1}));  // sums 3 and 3

        auto box1 = downsampleH2V1BoxTable[p];
        EXPECT_EQ(region(box1, {0, 1, 254, 255, 255, 255}, {6, 1}, {3, 1}), (Bytes{1, 255, 255}));
        auto box2 = downsampleH2V2BoxTable[p];
        EXPECT_EQ(region(box2, {0, 0, 0, 1}, {2, 2}, {1, 1}), (Bytes{1}));
        EXPECT_EQ(region(box2, {1, 1, 1, 1}, {2, 2}, {1, 1}), (Bytes{1}));
        EXPECT_EQ(region(box2, {1, 1, 1, 2}, {2, 2}, {1, 1}), (Bytes{2}));
        EXPECT_EQ(region(box2, {255, 255, 255, 255}, {2, 2}, {1, 1}), (Bytes{255}));

        // Region triangle form: s[-1] = 10, s = 20, 30, 40.
        const uint8_t row[4] = {10, 20, 30, 40};
        uint8_t d[4];
        EXPECT_EQ(upsampleH2V1TriangleTable[p](row + 1, 4, PrimSize{1, 1}, d, 4, PrimSize{4, 1}), 0);
        EXPECT_EQ(Bytes(d, d + 4), (Bytes{17, 23, 27, 33}));
        // W = 3 ends with the left output of s[1] and does not read s[2]:
        // the source here ends at s[1].
        std::unique_ptr<uint8_t[]> three(new uint8_t[3]{10, 20, 30});
        uint8_t d3[3];
        EXPECT_EQ(upsampleH2V1TriangleTable[p](three.get() + 1, 1, PrimSize{1, 1}, d3, 3, PrimSize{3, 1}), 0);
        EXPECT_EQ(Bytes(d3, d3 + 3), (Bytes{17, 23, 27}));
    }
}

// Sizes and counts the text leaves to the implementation: reads stay inside
// the data and the edge sample is repeated.
TEST(JpegSampling, EdgesStayInsideTheData) {
    for (int p : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(p));
        EXPECT_EQ(upRow(p, {90}), (Bytes{90, 90}));
        EXPECT_EQ(upRow2(p, {90}, {10}), (Bytes{70, 70}));  // vertical blend, horizontal repeat
        EXPECT_EQ(downRow(p, {10, 11, 50}), (Bytes{10, 50}));
        EXPECT_EQ(downRow2(p, {10, 11, 50}, {10, 11, 50}), (Bytes{10, 50}));

        // A 3 x 3 source halved to 2 x 2: the last column and row repeat.
        const Bytes src = {1, 2, 3, 4, 5, 6, 7, 8, 200};
        EXPECT_EQ(region(downsampleH2V2BoxTable[p], src, {3, 3}, {2, 2}),
                  (Bytes{(1 + 2 + 4 + 5 + 3) >> 2, (3 + 3 + 6 + 6 + 3) >> 2, (7 + 8 + 7 + 8 + 3) >> 2,
                         (200 * 4 + 3) >> 2}));
        EXPECT_EQ(region(downsampleH2V1BoxTable[p], src, {3, 3}, {2, 3}),
                  (Bytes{2, 3, 5, 6, 8, 200}));
        // A 1 x 1 source serves any destination size without being left.
        EXPECT_EQ(region(downsampleH2V2BoxTable[p], {9}, {1, 1}, {3, 2}), Bytes(6, 9));
        // Wide rows: the vector part and the repeated last column agree.
        Bytes wide(33);
        for (int i = 0; i < 33; ++i) wide[i] = static_cast<uint8_t>(i * 7);
        Bytes got = region(downsampleH2V1BoxTable[p], wide, {33, 1}, {17, 1});
        for (int j = 0; j < 16; ++j) EXPECT_EQ(got[j], (wide[2 * j] + wide[2 * j + 1] + 1) >> 1);
        EXPECT_EQ(got[16], wide[32]);
    }
}

TEST(JpegSampling, ArgumentChecks) {
    uint8_t b[64] = {};
    for (int p : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(p));
        for (SampleRegionFn fn : {downsampleH2V1BoxTable[p], downsampleH2V2BoxTable[p], upsampleH2V1TriangleTable[p]}) {
            EXPECT_EQ(fn(nullptr, 0, PrimSize{0, 0}, nullptr, 0, PrimSize{0, 0}), primErrNullPtr);
            EXPECT_EQ(fn(b + 1, 0, PrimSize{0, 0}, nullptr, 0, PrimSize{0, 0}), primErrStep);
            EXPECT_EQ(fn(b + 1, 4, PrimSize{0, 1}, nullptr, 0, PrimSize{0, 0}), primErrSize);
            EXPECT_EQ(fn(b + 1, 4, PrimSize{1, 1}, nullptr, 0, PrimSize{1, 1}), primErrNullPtr);
            EXPECT_EQ(fn(b + 1, 4, PrimSize{1, 1}, b, 0, PrimSize{1, 1}), primErrStep);
            EXPECT_EQ(fn(b + 1, 4, PrimSize{1, 1}, b, 4, PrimSize{1, 0}), primErrSize);
        }
        for (SampleRowFn fn : {downsampleRowH2V1Table[p], upsampleRowH2V1TriangleTable[p]}) {
            EXPECT_EQ(fn(nullptr, 0, b), primErrNullPtr);
            EXPECT_EQ(fn(b, 4, nullptr), primErrNullPtr);
            EXPECT_EQ(fn(b, 0, b + 8), primErrSize);
        }
        for (SampleTwoRowsFn fn : {downsampleRowH2V2Table[p], upsampleRowH2V2TriangleTable[p]}) {
            EXPECT_EQ(fn(b, nullptr, 0, b), primErrNullPtr);
            EXPECT_EQ(fn(b, b, 2, nullptr), primErrNullPtr);
            EXPECT_EQ(fn(b, b, -1, b + 8), primErrSize);
        }
    }
}

// Every path gives the generic bytes for random data, sizes, alignments and
// row gaps, and writes nothing outside the destination region.
TEST(JpegSampling, RegionFormsAgainstGeneric) {
    std::mt19937 rng(14103);
    struct Form { const char* name; const SampleRegionFn* table; int xScale, yScale; bool border; };
    const Form forms[] = {
        {"downsampleH2V1Box", downsampleH2V1BoxTable, 2, 1, false},
        {"downsampleH2V2Box", downsampleH2V2BoxTable, 2, 2, false},
        {"upsampleH2V1Triangle", upsampleH2V1TriangleTable, 1, 1, true},
    };
    for (const Form& f : forms)
        for (int path : vqtest::supportedPaths()) {
            SCOPED_TRACE(std::string(f.name) + " " + vqtest::pathName(path));
            for (const vqtest::SweepCase& c : vqtest::sweepCases(31, 50, 80)) {
                if (c.srcNegative || c.dstNegative) continue;
                SCOPED_TRACE(c.describe());
                const int W = c.width, H = c.height;
                // The source covers the destination or falls short of it by a
                // column and a row; the triangle form reads W / 2 + 2 columns.
                const int sw = f.border ? W / 2 + 2 : std::max(1, f.xScale * W - static_cast<int>(rng() % 2));
                const int sh = f.border ? H : std::max(1, f.yScale * H - static_cast<int>(rng() % 2));
                vqtest::GuardedImage src(sw, sh, c.srcAlign, c.srcGap);
                src.fillRandom(rng);
                const uint8_t* s = src.origin() + (f.border ? 1 : 0);
                const PrimSize srcSize{f.border ? 1 : sw, sh};
                vqtest::GuardedImage ref(W, H, c.dstAlign, c.dstGap), out(W, H, c.dstAlign, c.dstGap);
                out.copyAllFrom(ref);
                ASSERT_EQ(f.table[0](s, src.step(), srcSize, ref.origin(), ref.step(), PrimSize{W, H}), 0);
                ASSERT_EQ(f.table[path](s, src.step(), srcSize, out.origin(), out.step(), PrimSize{W, H}), 0);
                ASSERT_TRUE(out.sameAllAs(ref));
                ASSERT_TRUE(out.guardsIntact());
            }
        }
}

TEST(JpegSampling, RowFormsAgainstGeneric) {
    std::mt19937 rng(14104);
    for (int path : vqtest::supportedPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        for (int n = 1; n <= 100; ++n)
            for (int align = 0; align < 16; align += 5) {
                Bytes a(n + 32), b(n + 32);
                for (auto& v : a) v = static_cast<uint8_t>(rng());
                for (auto& v : b) v = static_cast<uint8_t>(rng());
                const uint8_t* s0 = a.data() + align;
                const uint8_t* s1 = b.data() + (align * 3) % 16;
                Bytes ref(2 * n + 32, 0xA5), out(2 * n + 32, 0xA5);
                const int dOff = (align * 7) % 16;
                auto check = [&](const char* what) {
                    ASSERT_EQ(out, ref) << what << " n=" << n << " align=" << align;
                    std::fill(ref.begin(), ref.end(), 0xA5);
                    std::fill(out.begin(), out.end(), 0xA5);
                };
                upsampleRowH2V1TriangleTable[0](s0, n, ref.data() + dOff);
                upsampleRowH2V1TriangleTable[path](s0, n, out.data() + dOff);
                check("upsampleRowH2V1Triangle");
                upsampleRowH2V2TriangleTable[0](s0, s1, n, ref.data() + dOff);
                upsampleRowH2V2TriangleTable[path](s0, s1, n, out.data() + dOff);
                check("upsampleRowH2V2Triangle");
                downsampleRowH2V1Table[0](s0, n, ref.data() + dOff);
                downsampleRowH2V1Table[path](s0, n, out.data() + dOff);
                check("downsampleRowH2V1");
                downsampleRowH2V2Table[0](s0, s1, n, ref.data() + dOff);
                downsampleRowH2V2Table[path](s0, s1, n, out.data() + dOff);
                check("downsampleRowH2V2");
            }
    }
}

// The row forms' bias pattern restarts with every call and does not depend on
// the destination's alignment.
TEST(JpegSampling, RowBiasPatternIndependentOfAlignment) {
    for (int path : vqtest::allPaths())
        for (int n = 2; n <= 40; n += 2)
            for (int off = 0; off < 16; off += 8) {
                Bytes s(n);
                for (int i = 0; i < n; ++i) s[i] = static_cast<uint8_t>(i % 2 == 0 ? 10 : 11);  // odd pair sums
                alignas(16) uint8_t d[64];
                downsampleRowH2V1Table[path](s.data(), n, d + off);
                for (int j = 0; j < n / 2; ++j) ASSERT_EQ(d[off + j], 10 + (j & 1)) << path << " " << n << " " << j;
            }
}

} // namespace
