// Four-channel colour: the generic forms against the JPEG library's own YCCK
// converters (reached through its internal module interface), the processor
// paths against the generic forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <jpeglib.h>
#include <jpegint.h>

#include "primitives/jpeg/color/color.h"
#include "tests/support/path_harness.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Px { int a, b, c, d; };
bool same(Px x, Px y) { return x.a == y.a && x.b == y.b && x.c == y.c && x.d == y.d; }

// One YCCK pixel placed at column x of a row of `width` (other pixels grey).
Px cmykAt(int path, Px ycck, int x, int width) {
    Bytes p[4] = {Bytes(width, 128), Bytes(width, 128), Bytes(width, 128), Bytes(width, 0)};
    const int v[4] = {ycck.a, ycck.b, ycck.c, ycck.d};
    for (int k = 0; k < 4; ++k) p[k][x] = static_cast<uint8_t>(v[k]);
    const uint8_t* planes[4] = {p[0].data(), p[1].data(), p[2].data(), p[3].data()};
    Bytes out(4 * width);
    EXPECT_EQ(ycckPlanesToCmykPixelsTable[path](planes, width, out.data(), 4 * width, PrimSize{width, 1}), 0);
    return {out[4 * x], out[4 * x + 1], out[4 * x + 2], out[4 * x + 3]};
}

Px ycckAt(int path, Px cmyk, int x, int width) {
    Bytes in(4 * width, 0);
    const int v[4] = {cmyk.a, cmyk.b, cmyk.c, cmyk.d};
    for (int k = 0; k < 4; ++k) in[4 * x + k] = static_cast<uint8_t>(v[k]);
    Bytes p[4] = {Bytes(width), Bytes(width), Bytes(width), Bytes(width)};
    uint8_t* planes[4] = {p[0].data(), p[1].data(), p[2].data(), p[3].data()};
    EXPECT_EQ(cmykPixelsToYcckPlanesTable[path](in.data(), 4 * width, planes, width, PrimSize{width, 1}), 0);
    return {p[0][x], p[1][x], p[2][x], p[3][x]};
}

TEST(JpegCmyk, HandCases) {
    // channel: the ink compared (-1 all four); ref from the tables, kernel
    // from the 14-bit weights of the processor paths.
    struct Case { Px in; int channel; Px ref; Px kernel; };
    const Case ycck[] = {
        {{100, 128, 179, 7}, -1, {83, 191, 155, 7}, {84, 191, 155, 7}},  // red offset at Cr = 179
        {{220, 16, 128, 0}, 2, {0, 0, 233, 0}, {0, 0, 234, 0}},          // blue offset at Cb = 16
        {{100, 14, 3, 0}, 1, {0, 26, 0, 0}, {0, 27, 0, 0}},              // the one lower green offset
        {{77, 128, 128, 200}, -1, {178, 178, 178, 200}, {178, 178, 178, 200}},
    };
    auto match = [](Px got, const Case& c, Px want) {
        if (c.channel < 0) return same(got, want);
        const int g[4] = {got.a, got.b, got.c, got.d}, w[4] = {want.a, want.b, want.c, want.d};
        return g[c.channel] == w[c.channel];
    };
    for (const Case& c : ycck) {
        SCOPED_TRACE(c.in.a);
        EXPECT_TRUE(match(cmykAt(0, c.in, 0, 8), c, c.ref));
        for (int path : vqtest::supportedPaths()) {
            SCOPED_TRACE(vqtest::pathName(path));
            EXPECT_TRUE(match(cmykAt(path, c.in, 0, 8), c, c.kernel));   // a group of eight
            EXPECT_TRUE(match(cmykAt(path, c.in, 9, 12), c, c.kernel));  // a group of four
            EXPECT_TRUE(match(cmykAt(path, c.in, 12, 13), c, c.ref));    // the width mod 4 tail
            for (int width = 1; width <= 3; ++width)
                EXPECT_TRUE(match(cmykAt(path, c.in, width - 1, width), c, c.ref));
        }
    }
    struct Case2 { Px in; Px out; };
    const Case2 cmyk[] = {
        {{0, 0, 0, 9}, {255, 128, 128, 9}},
        {{255, 255, 255, 250}, {0, 128, 128, 250}},
        {{255, 255, 0, 0}, {29, 255, 107, 0}},  // pure blue; 256 saturates on the paths
    };
    for (const Case2& c : cmyk)
        for (int path : vqtest::allPaths())
            for (int x : {0, 7, 8, 12, 14}) {
                EXPECT_TRUE(same(ycckAt(path, c.in, x, 15), c.out)) << vqtest::pathName(path) << " " << x;
            }
}

TEST(JpegCmyk, ArgumentChecks) {
    uint8_t buf[64] = {};
    const uint8_t* planes[4] = {buf, buf, buf, buf};
    const uint8_t* noK[4] = {buf, buf, buf, nullptr};
    uint8_t* outPlanes[4] = {buf, buf, buf, buf};
    uint8_t* outNoK[4] = {buf, buf, buf, nullptr};
    for (int path : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        auto toCmyk = ycckPlanesToCmykPixelsTable[path];
        EXPECT_EQ(toCmyk(noK, 4, buf, 16, PrimSize{1, 1}), primErrNullPtr);
        EXPECT_EQ(toCmyk(noK, 0, buf, 16, PrimSize{0, 1}), primErrNullPtr);  // pointers before steps and sizes
        EXPECT_EQ(toCmyk(nullptr, 4, buf, 16, PrimSize{1, 1}), primErrNullPtr);
        EXPECT_EQ(toCmyk(planes, 4, nullptr, 16, PrimSize{1, 1}), primErrNullPtr);
        EXPECT_EQ(toCmyk(planes, 4, buf, 0, PrimSize{0, 1}), primErrStep);
        EXPECT_EQ(toCmyk(planes, 4, buf, 16, PrimSize{1, 0}), primErrSize);
        auto toYcck = cmykPixelsToYcckPlanesTable[path];
        EXPECT_EQ(toYcck(buf, 16, outNoK, 4, PrimSize{1, 1}), primErrNullPtr);
        EXPECT_EQ(toYcck(buf, -1, outPlanes, 4, PrimSize{1, 1}), primErrStep);
        EXPECT_EQ(toYcck(buf, 16, outPlanes, 4, PrimSize{-2, 1}), primErrSize);
    }
    // Nothing was written by any failing call.
    for (uint8_t b : buf) EXPECT_EQ(b, 0);
}

// The library's YCCK-to-CMYK converter, set up by starting the decompression
// of a small YCCK file and then called on rows of our own.
class LibraryYcckToCmyk {
public:
    explicit LibraryYcckToCmyk(int width) {
        // A YCCK file of the given width, made by the library.
        jpeg_compress_struct c;
        jpeg_error_mgr cerr;
        c.err = jpeg_std_error(&cerr);
        jpeg_create_compress(&c);
        unsigned char* mem = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&c, &mem, &size);
        c.image_width = static_cast<JDIMENSION>(width);
        c.image_height = 1;
        c.input_components = 4;
        c.in_color_space = JCS_CMYK;
        jpeg_set_defaults(&c);
        jpeg_set_colorspace(&c, JCS_YCCK);
        jpeg_start_compress(&c, TRUE);
        Bytes row(4 * width, 50);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        file_.assign(mem, mem + size);
        std::free(mem);

        d_.err = jpeg_std_error(&derr_);
        jpeg_create_decompress(&d_);
        jpeg_mem_src(&d_, file_.data(), file_.size());
        jpeg_read_header(&d_, TRUE);
        EXPECT_EQ(d_.jpeg_color_space, JCS_YCCK);
        d_.out_color_space = JCS_CMYK;
        jpeg_start_decompress(&d_);
    }
    ~LibraryYcckToCmyk() { jpeg_destroy_decompress(&d_); }
    // One row of `width` pixels.
    void convert(const uint8_t* const planes[4], uint8_t* out) {
        JSAMPROW rows[4] = {const_cast<uint8_t*>(planes[0]), const_cast<uint8_t*>(planes[1]),
                            const_cast<uint8_t*>(planes[2]), const_cast<uint8_t*>(planes[3])};
        JSAMPARRAY image[4] = {&rows[0], &rows[1], &rows[2], &rows[3]};
        JSAMPROW outRow[1] = {out};
        d_.cconvert->color_convert(&d_, image, 0, outRow, 1);
    }

private:
    Bytes file_;
    jpeg_decompress_struct d_;
    jpeg_error_mgr derr_;
};

// The library's CMYK-to-YCCK converter of a compression set up for YCCK.
class LibraryCmykToYcck {
public:
    explicit LibraryCmykToYcck(int width) {
        c_.err = jpeg_std_error(&cerr_);
        jpeg_create_compress(&c_);
        jpeg_mem_dest(&c_, &mem_, &size_);
        c_.image_width = static_cast<JDIMENSION>(width);
        c_.image_height = 1;
        c_.input_components = 4;
        c_.in_color_space = JCS_CMYK;
        jpeg_set_defaults(&c_);
        jpeg_set_colorspace(&c_, JCS_YCCK);
        jpeg_start_compress(&c_, TRUE);
    }
    ~LibraryCmykToYcck() {
        jpeg_destroy_compress(&c_);
        std::free(mem_);
    }
    void convert(const uint8_t* in, uint8_t* const planes[4]) {
        JSAMPROW inRow[1] = {const_cast<uint8_t*>(in)};
        JSAMPROW rows[4] = {planes[0], planes[1], planes[2], planes[3]};
        JSAMPARRAY image[4] = {&rows[0], &rows[1], &rows[2], &rows[3]};
        c_.cconvert->color_convert(&c_, inRow, image, 0, 1);
    }

private:
    jpeg_compress_struct c_;
    jpeg_error_mgr cerr_;
    unsigned char* mem_ = nullptr;
    unsigned long size_ = 0;
};

// Every (Cb, Cr) pair, one row per Cr with Cb along the row; Y and K vary.
TEST(JpegCmyk, YcckToCmykGenericEqualsLibrary) {
    const int w = 256;
    LibraryYcckToCmyk lib(w);
    Bytes p[4] = {Bytes(w), Bytes(w), Bytes(w), Bytes(w)};
    Bytes ours(4 * w), theirs(4 * w);
    const uint8_t* planes[4] = {p[0].data(), p[1].data(), p[2].data(), p[3].data()};
    for (int pass = 0; pass < 3; ++pass)
        for (int cr = 0; cr < 256; ++cr) {
            for (int x = 0; x < w; ++x) {
                p[0][x] = static_cast<uint8_t>(pass == 0 ? 0 : (pass == 1 ? 255 : x * 7 + cr * 13));
                p[1][x] = static_cast<uint8_t>(x);
                p[2][x] = static_cast<uint8_t>(cr);
                p[3][x] = static_cast<uint8_t>(x ^ cr);
            }
            lib.convert(planes, theirs.data());
            ASSERT_EQ(ycckPlanesToCmykPixelsTable[0](planes, w, ours.data(), 4 * w, PrimSize{w, 1}), 0);
            ASSERT_EQ(ours, theirs) << "pass " << pass << " Cr " << cr;
        }
}

// Every (C, M, yellow) triple; K along the row.
TEST(JpegCmyk, CmykToYcckGenericEqualsLibrary) {
    const int w = 4096;
    LibraryCmykToYcck lib(w);
    Bytes in(4 * w);
    Bytes a[4] = {Bytes(w), Bytes(w), Bytes(w), Bytes(w)}, b[4] = {Bytes(w), Bytes(w), Bytes(w), Bytes(w)};
    uint8_t* ours[4] = {a[0].data(), a[1].data(), a[2].data(), a[3].data()};
    uint8_t* theirs[4] = {b[0].data(), b[1].data(), b[2].data(), b[3].data()};
    for (int row = 0; row < 4096; ++row) {
        for (int x = 0; x < w; ++x) {
            const int v = row * w + x;
            in[4 * x] = static_cast<uint8_t>(v >> 16);
            in[4 * x + 1] = static_cast<uint8_t>(v >> 8);
            in[4 * x + 2] = static_cast<uint8_t>(v);
            in[4 * x + 3] = static_cast<uint8_t>(x * 3 + row);
        }
        lib.convert(in.data(), theirs);
        ASSERT_EQ(cmykPixelsToYcckPlanesTable[0](in.data(), 4 * w, ours, w, PrimSize{w, 1}), 0);
        for (int k = 0; k < 4; ++k) ASSERT_EQ(a[k], b[k]) << "row " << row << " plane " << k;
    }
}

// The colour offset a YCCK-to-CMYK conversion adds to Y for each ink, read
// back from two runs with Y = 0 and Y = 255 so that clamping hides nothing.
std::vector<int> inkOffsets(int path) {
    const int n = 256 * 256;
    Bytes cb(n), cr(n), k(n, 0);
    for (int i = 0; i < n; ++i) {
        cb[i] = static_cast<uint8_t>(i >> 8);
        cr[i] = static_cast<uint8_t>(i & 255);
    }
    Bytes out[2];
    for (int run = 0; run < 2; ++run) {
        Bytes y(n, run == 0 ? 0 : 255);
        const uint8_t* planes[4] = {y.data(), cb.data(), cr.data(), k.data()};
        out[run].resize(4 * n);
        EXPECT_EQ(ycckPlanesToCmykPixelsTable[path](planes, n, out[run].data(), 4 * n, PrimSize{n, 1}), 0);
    }
    std::vector<int> off(3 * n);
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c) {
            const int low = 255 - out[0][4 * i + c], high = 255 - out[1][4 * i + c];
            off[3 * i + c] = low > 0 ? low : high - 255;
        }
    return off;
}

TEST(JpegCmyk, YcckToCmykKernelDiffersOnlyWhereExpected) {
    const std::vector<int> ref = inkOffsets(0);
    const std::vector<int> blueCb = {16, 38, 60, 95, 117, 152, 174, 209, 231, 253};
    for (int path : vqtest::supportedPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        const std::vector<int> off = inkOffsets(path);
        int rDiff = 0, bDiff = 0, gUp = 0, gDown = 0;
        for (int i = 0; i < 256 * 256; ++i) {
            const int cb = i >> 8, cr = i & 255;
            const int dr = off[3 * i] - ref[3 * i], dg = off[3 * i + 1] - ref[3 * i + 1];
            const int db = off[3 * i + 2] - ref[3 * i + 2];
            if (dr) {
                ++rDiff;
                EXPECT_EQ(cr, 179);
                EXPECT_EQ(dr, -1);
            }
            if (db) {
                ++bDiff;
                EXPECT_NE(std::find(blueCb.begin(), blueCb.end(), cb), blueCb.end()) << cb;
                EXPECT_EQ(db, -1);
            }
            if (dg == 1) ++gUp;
            if (dg == -1) {
                ++gDown;
                EXPECT_EQ(cb, 14);
                EXPECT_EQ(cr, 3);
            }
            ASSERT_LE(std::abs(dg), 1);
        }
        EXPECT_EQ(rDiff, 256);
        EXPECT_EQ(bDiff, 2560);
        EXPECT_EQ(gUp, 435);
        EXPECT_EQ(gDown, 1);
    }
}

// Over all colours the 14-bit weights differ from the tables by one at most,
// at a fixed number of triples per plane; K is copied. One processor path is
// swept (the paths equal one another, which PathsAgainstGeneric checks).
TEST(JpegCmyk, CmykToYcckKernelDiffersOnlyWhereExpected) {
    const int w = 4096;
    Bytes in(4 * w);
    const std::vector<int> paths = vqtest::supportedPaths();
    if (paths.empty()) GTEST_SKIP() << "no processor path beside the generic one";
    for (int path : {paths.back()}) {
        SCOPED_TRACE(vqtest::pathName(path));
        Bytes a[4] = {Bytes(w), Bytes(w), Bytes(w), Bytes(w)}, b[4] = {Bytes(w), Bytes(w), Bytes(w), Bytes(w)};
        uint8_t* ref[4] = {a[0].data(), a[1].data(), a[2].data(), a[3].data()};
        uint8_t* got[4] = {b[0].data(), b[1].data(), b[2].data(), b[3].data()};
        long diffs[3] = {0, 0, 0}, far = 0;
        for (int row = 0; row < 4096; ++row) {
            for (int x = 0; x < w; ++x) {
                const int v = row * w + x;
                in[4 * x] = static_cast<uint8_t>(v >> 16);
                in[4 * x + 1] = static_cast<uint8_t>(v >> 8);
                in[4 * x + 2] = static_cast<uint8_t>(v);
                in[4 * x + 3] = static_cast<uint8_t>(x + row);
            }
            ASSERT_EQ(cmykPixelsToYcckPlanesTable[0](in.data(), 4 * w, ref, w, PrimSize{w, 1}), 0);
            ASSERT_EQ(cmykPixelsToYcckPlanesTable[path](in.data(), 4 * w, got, w, PrimSize{w, 1}), 0);
            ASSERT_EQ(a[3], b[3]);
            for (int k = 0; k < 3; ++k)
                for (int x = 0; x < w; ++x) {
                    const int d = b[k][x] - a[k][x];
                    diffs[k] += d != 0;
                    far += d > 1 || d < -1;
                }
        }
        EXPECT_EQ(far, 0);
        EXPECT_EQ(diffs[0], 39135);
        EXPECT_EQ(diffs[1], 59903);
        EXPECT_EQ(diffs[2], 69375);
    }
}

// Random regions with gaps and alignments: the paths write only the region,
// give the tables' bytes in the width mod 4 tail of YCCK to CMYK, and agree
// among themselves; the two conversions round-trip grey exactly.
TEST(JpegCmyk, PathsAgainstGeneric) {
    std::mt19937 rng(10202);
    for (const vqtest::SweepCase& c : vqtest::sweepCases(91, 50, 40)) {
        if (c.srcNegative || c.dstNegative) continue;  // these primitives take positive steps
        SCOPED_TRACE(c.describe());
        const int w = c.width, h = c.height;
        vqtest::GuardedImage planes[4] = {{w, h, c.srcAlign, c.srcGap}, {w, h, c.srcAlign, c.srcGap},
                                          {w, h, c.srcAlign, c.srcGap}, {w, h, c.srcAlign, c.srcGap}};
        for (auto& p : planes) p.fillRandom(rng);
        const uint8_t* src[4] = {planes[0].origin(), planes[1].origin(), planes[2].origin(), planes[3].origin()};
        vqtest::GuardedImage ref(4 * w, h, c.dstAlign, c.dstGap);
        ASSERT_EQ(ycckPlanesToCmykPixelsTable[0](src, planes[0].step(), ref.origin(), ref.step(), PrimSize{w, h}), 0);
        vqtest::GuardedImage pixels(4 * w, h, c.srcAlign, c.srcGap);
        pixels.fillRandom(rng);
        vqtest::GuardedImage yref[4] = {{w, h, c.dstAlign, c.dstGap}, {w, h, c.dstAlign, c.dstGap},
                                        {w, h, c.dstAlign, c.dstGap}, {w, h, c.dstAlign, c.dstGap}};
        uint8_t* yrefp[4] = {yref[0].origin(), yref[1].origin(), yref[2].origin(), yref[3].origin()};
        ASSERT_EQ(cmykPixelsToYcckPlanesTable[0](pixels.origin(), pixels.step(), yrefp, yref[0].step(), PrimSize{w, h}), 0);
        Bytes firstCmyk, firstYcck;
        for (int path : vqtest::supportedPaths()) {
            SCOPED_TRACE(vqtest::pathName(path));
            vqtest::GuardedImage out(4 * w, h, c.dstAlign, c.dstGap);
            ASSERT_EQ(ycckPlanesToCmykPixelsTable[path](src, planes[0].step(), out.origin(), out.step(), PrimSize{w, h}), 0);
            ASSERT_TRUE(out.guardsIntact());
            for (int r = 0; r < h; ++r)
                for (int x = 0; x < 4 * w; ++x) {
                    const int d = out.row(r)[x] - ref.row(r)[x];
                    if (x / 4 >= (w & ~3) || x % 4 == 3) {
                        ASSERT_EQ(d, 0) << x << "," << r;
                    }
                    ASSERT_LE(std::abs(d), 1) << x << "," << r;
                }
            vqtest::GuardedImage yo[4] = {{w, h, c.dstAlign, c.dstGap}, {w, h, c.dstAlign, c.dstGap},
                                          {w, h, c.dstAlign, c.dstGap}, {w, h, c.dstAlign, c.dstGap}};
            uint8_t* yop[4] = {yo[0].origin(), yo[1].origin(), yo[2].origin(), yo[3].origin()};
            ASSERT_EQ(cmykPixelsToYcckPlanesTable[path](pixels.origin(), pixels.step(), yop, yo[0].step(), PrimSize{w, h}), 0);
            Bytes ycck;
            for (int k = 0; k < 4; ++k) {
                ASSERT_TRUE(yo[k].guardsIntact());
                for (int r = 0; r < h; ++r)
                    for (int x = 0; x < w; ++x) {
                        const int d = yo[k].row(r)[x] - yref[k].row(r)[x];
                        ASSERT_LE(std::abs(d), k == 3 ? 0 : 1);
                    }
                const Bytes px = yo[k].pixels();
                ycck.insert(ycck.end(), px.begin(), px.end());
            }
            if (firstCmyk.empty()) {  // the first processor path; the others must equal it
                firstCmyk = out.pixels();
                firstYcck = ycck;
            } else {
                EXPECT_EQ(out.pixels(), firstCmyk);
                EXPECT_EQ(ycck, firstYcck);
            }
        }
    }
}

} // namespace
