// Forward and inverse DCT with quantisation against an exact DCT and against
// the JPEG library (cjpeg -dct int at quality 100, djpeg -dct int); a file
// made of our coefficients and Huffman coding decodes with djpeg; every
// processor path against the generic one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "primitives/jpeg/dct/dct.h"
#include "primitives/jpeg/huffman/huffman.h"
#include "tests/jpeg/jpeg_fixtures.h"
#include "tests/support/path_harness.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The exact T.81 forward DCT of level-shifted samples.
std::vector<double> exactForward(const uint8_t* s, int step) {
    std::vector<double> F(64);
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double sum = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    sum += (s[y * step + x] - 128.0) * std::cos((2 * x + 1) * u * M_PI / 16) *
                           std::cos((2 * y + 1) * v * M_PI / 16);
            F[8 * v + u] = 0.25 * (u ? 1 : M_SQRT1_2) * (v ? 1 : M_SQRT1_2) * sum;
        }
    return F;
}

std::vector<uint16_t> ones() {
    std::vector<uint8_t> q(64, 1);
    std::vector<uint16_t> r(64);
    EXPECT_EQ(quantForwardTablePrepare(q.data(), r.data()), 0);
    return r;
}

TEST(JpegDct, ForwardIsCloseToTheExactTransform) {
    std::mt19937 rng(14201);
    const std::vector<uint16_t> unit = ones();
    for (int path : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        double worst = 0;
        for (int b = 0; b < 300; ++b) {
            uint8_t s[64];
            const int spread = b % 3 == 0 ? 256 : 40;
            const int base = static_cast<int>(rng() % (257 - spread));
            for (uint8_t& v : s) v = static_cast<uint8_t>(base + rng() % spread);
            if (b == 0) std::fill(s, s + 64, 0);
            if (b == 1) std::fill(s, s + 64, 255);
            int16_t c[64];
            ASSERT_EQ(dctQuantForward8x8Table[path](s, 8, c, unit.data()), 0);
            const std::vector<double> F = exactForward(s, 8);
            for (int k = 0; k < 64; ++k) worst = std::max(worst, std::abs(c[k] - F[k]));
        }
        EXPECT_LT(worst, 0.75);
    }
}

// The checkerboard and flat blocks, on the forward transform alone.
TEST(JpegDct, ForwardHandCases) {
    int16_t board[64];
    for (int i = 0; i < 64; ++i) board[i] = ((i / 8 + i % 8) & 1) ? -128 : 127;
    for (int path : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        int16_t out[64];
        forwardDct8x8Table[path](board, out);
        const bool simd = path != 0;
        EXPECT_EQ(out[0], -4);
        EXPECT_EQ(out[8 * 1 + 5], simd ? 58 : 59);
        EXPECT_EQ(out[8 * 5 + 1], simd ? 58 : 59);
        EXPECT_EQ(out[8 * 7 + 3], simd ? 196 : 197);
        int16_t generic[64];
        forwardDct8x8Table[0](board, generic);
        int others = 0;
        for (int k = 0; k < 64; ++k) others += out[k] != generic[k];
        EXPECT_EQ(others, simd ? 3 : 0);
        for (int flat : {-128, 0, 127}) {
            int16_t blk[64];
            std::fill(blk, blk + 64, static_cast<int16_t>(flat));
            forwardDct8x8Table[path](blk, blk);  // in place
            EXPECT_EQ(blk[0], 8 * flat);
            EXPECT_EQ(std::count(blk + 1, blk + 64, 0), 63);
        }
    }
}

TEST(JpegDct, QuantisationTables) {
    for (int path : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        const int steps[] = {1, 2, 3, 5, 16, 48, 100, 255, 7};
        const int recips[] = {32768, 16384, 10923, 6554, 2048, 683, 328, 129, 4681};
        for (size_t i = 0; i < std::size(steps); ++i) {
            std::vector<uint8_t> q(64, static_cast<uint8_t>(steps[i]));
            std::vector<uint16_t> r(64);
            ASSERT_EQ(quantForwardTablePrepareTable[path](q.data(), r.data()), 0);
            EXPECT_EQ(std::count(r.begin(), r.end(), recips[i]), 64) << steps[i];
        }
        std::vector<uint8_t> q(64);
        for (int z = 0; z < 64; ++z) q[z] = static_cast<uint8_t>(z + 1);
        std::vector<uint16_t> r(64);
        ASSERT_EQ(quantForwardTablePrepareTable[path](q.data(), r.data()), 0);
        EXPECT_EQ(r[2], 5461);   // natural 2 is zig-zag 5: step 6
        EXPECT_EQ(r[8], 10923);  // natural 8 is zig-zag 2: step 3
        q[9] = 0;                // zig-zag 9 is natural 24
        EXPECT_EQ(quantForwardTablePrepareTable[path](q.data(), r.data()), primWrnDivideByZero);
        EXPECT_EQ(r[24], 65535);
        EXPECT_EQ(r[2], 5461);
        EXPECT_EQ(quantForwardTablePrepareTable[path](nullptr, r.data()), primErrNullPtr);
    }
}

// The division at every alignment and length: the system's constant gives the
// generic values; the vector groups and single elements differ where halves
// fall differently (65535 / 2).
TEST(JpegDct, ConstantByVectorDivision) {
    std::vector<uint16_t> divisors(256);
    for (int i = 0; i < 256; ++i) divisors[i] = static_cast<uint16_t>(i);
    std::vector<uint16_t> want(256);
    ASSERT_EQ(divideConstantByVector16uTable[0](divisors.data(), 32768, want.data(), 256), primWrnDivideByZero);
    EXPECT_EQ(want[0], 65535);
    EXPECT_EQ(want[1], 32768);
    EXPECT_EQ(want[7], 4681);
    for (int path : vqtest::supportedPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        for (int offset = 0; offset < 8; ++offset)
            for (int len : {1, 7, 8, 9, 64, 255}) {
                std::vector<uint16_t> buf(300);
                std::copy(divisors.begin() + 1, divisors.begin() + 1 + len, buf.begin() + offset);
                ASSERT_EQ(divideConstantByVector16uTable[path](buf.data() + offset, 32768, buf.data() + offset, len), 0);
                for (int i = 0; i < len; ++i) ASSERT_EQ(buf[offset + i], want[1 + i]) << offset << " " << len << " " << i;
            }
        // 65535 / 1 is 65535 both ways; 65535 / 2 is 32768 as a single element
        // and 32767 in a vector group.
        alignas(16) uint16_t d[16];
        std::fill(d, d + 16, 2);
        d[3] = 1;
        alignas(16) uint16_t out[16];
        ASSERT_EQ(divideConstantByVector16uTable[path](d, 65535, out, 16), 0);
        EXPECT_EQ(out[0], 32767);
        EXPECT_EQ(out[3], 65535);
        ASSERT_EQ(divideConstantByVector16uTable[path](d, 65535, out, 1), 0);
        EXPECT_EQ(out[0], 32768);
        ASSERT_EQ(divideConstantByVector16uTable[path](d, 32767 + (7 << 16), out, 16), 0);
        EXPECT_EQ(out[3], 32767);  // only the low 16 bits of the constant count
        std::fill(d, d + 16, 0);
        EXPECT_EQ(divideConstantByVector16uTable[path](d, 9, out, 16), primWrnDivideByZero);
        EXPECT_EQ(std::count(out, out + 16, 65535), 16);
        EXPECT_EQ(divideConstantByVector16uTable[path](d, 0, out, 16), primWrnDivideByZero);
        EXPECT_EQ(std::count(out, out + 16, 0), 16);
        EXPECT_EQ(divideConstantByVector16uTable[path](d, 9, out, 0), primErrSize);
        EXPECT_EQ(divideConstantByVector16uTable[path](nullptr, 9, out, 0), primErrNullPtr);
    }
}

TEST(JpegDct, QuantisedFlatBlocks) {
    struct Case { int sample, q, dc; };
    const Case cases[] = {{128, 16, 0}, {129, 16, 0}, {131, 16, 2}, {127, 16, 0}, {125, 16, -2},
                          {112, 16, -8}, {131, 48, 1}, {255, 1, 1016}, {0, 1, -1024}};
    for (int path : vqtest::allPaths())
        for (const Case& c : cases) {
            std::vector<uint8_t> q(64, static_cast<uint8_t>(c.q));
            std::vector<uint16_t> r(64);
            ASSERT_EQ(quantForwardTablePrepareTable[path](q.data(), r.data()), 0);
            // Rows 11 bytes apart; the bytes between rows are never read.
            Bytes src(8 * 11, 0);
            for (int y = 0; y < 8; ++y) std::fill(src.begin() + 11 * y, src.begin() + 11 * y + 8, c.sample);
            int16_t out[64];
            ASSERT_EQ(dctQuantForward8x8Table[path](src.data(), 11, out, r.data()), 0);
            EXPECT_EQ(out[0], c.dc) << path << " " << c.sample << "/" << c.q;
            EXPECT_EQ(std::count(out + 1, out + 64, 0), 63);
        }
    // A zero step quantises with 65535: about twice the coefficient, saturated.
    std::vector<uint8_t> q(64, 1);
    q[0] = 0;
    std::vector<uint16_t> r(64);
    ASSERT_EQ(quantForwardTablePrepare(q.data(), r.data()), primWrnDivideByZero);
    Bytes flat(64, 255);
    for (int path : vqtest::allPaths()) {
        int16_t out[64];
        ASSERT_EQ(dctQuantForward8x8Table[path](flat.data(), 8, out, r.data()), 0);
        EXPECT_EQ(out[0], 2032);
        int16_t keep[64];
        std::fill(keep, keep + 64, 7);
        EXPECT_EQ(dctQuantForward8x8Table[path](flat.data(), 0, keep, nullptr), primErrStep);  // step first
        EXPECT_EQ(dctQuantForward8x8Table[path](nullptr, 8, keep, r.data()), primErrNullPtr);
        EXPECT_EQ(dctQuantForward8x8Table[path](flat.data(), 8, keep, nullptr), primErrNullPtr);
        EXPECT_EQ(std::count(keep, keep + 64, 7), 64);
    }
}

// One block through inverseDct8x8To8u on a path, as 64 samples.
Bytes inverse(int path, const int16_t* coefficients) {
    Bytes out(64);
    EXPECT_EQ(inverseDct8x8To8uTable[path](coefficients, out.data(), 8, 128, 0, 255), 0);
    return out;
}

TEST(JpegDct, InverseHandCases) {
    for (int path : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        const bool simd = path != 0;
        int16_t blk[64] = {};
        const Bytes zero = inverse(path, blk);
        EXPECT_EQ(std::count(zero.begin(), zero.end(), 128), 64);
        struct Dc { int16_t d; int generic, paths; };
        const Dc dcs[] = {{-1024, 0, 0}, {1016, 255, 255}, {4095, 255, 255}, {4096, 0, 255}, {-4097, 255, 0}, {32767, 128, 255}};
        for (const Dc& d : dcs) {
            blk[0] = d.d;
            const Bytes out = inverse(path, blk);
            EXPECT_EQ(std::count(out.begin(), out.end(), simd ? d.paths : d.generic), 64) << d.d;
        }
        blk[0] = 100;
        const Bytes out = inverse(path, blk);
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c) EXPECT_EQ(out[8 * r + c], simd && (r == 3 || r == 4) ? 140 : 141) << r;
        const int wave[8] = {163, 157, 148, 135, 121, 108, 99, 93};
        for (int index : {1, 8}) {
            int16_t one[64] = {};
            one[index] = 200;
            const Bytes w = inverse(path, one);
            for (int r = 0; r < 8; ++r)
                for (int c = 0; c < 8; ++c) ASSERT_EQ(w[8 * r + c], wave[index == 1 ? c : r]) << index;
        }
    }
}

TEST(JpegDct, DequantisationSaturatesOnEveryPath) {
    for (int path : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        int16_t mult[64], coef[64] = {};
        std::fill(mult, mult + 64, 16);
        // Rows 12 bytes apart: the bytes between rows stay as they were.
        Bytes dst(8 * 12, 0xA5);
        auto run = [&](int16_t dc) {
            coef[0] = dc;
            EXPECT_EQ(dequantDctInverse8x8Table[path](coef, dst.data(), 12, mult), 0);
            for (int r = 0; r < 8; ++r)
                for (int c = 8; c < 12; ++c) EXPECT_EQ(dst[12 * r + c], 0xA5);
            return dst[12 * 5 + 2];
        };
        EXPECT_EQ(run(0), 128);
        EXPECT_EQ(run(10), 148);
        EXPECT_EQ(run(75), 255);
        EXPECT_EQ(run(-75), 0);
        // 1000 x 100 saturates to 32767 (the DC alone of 32767): the same
        // block as that work value on each path.
        mult[0] = 100;
        int16_t direct[64] = {};
        direct[0] = 32767;
        EXPECT_EQ(run(1000), inverse(path, direct)[0]);
        EXPECT_EQ(dequantDctInverse8x8Table[path](coef, dst.data(), 0, nullptr), primErrStep);
        EXPECT_EQ(dequantDctInverse8x8Table[path](coef, nullptr, 8, mult), primErrNullPtr);
        EXPECT_EQ(dequantDctInverse8x8Table[path](coef, dst.data(), 8, nullptr), primErrNullPtr);
        EXPECT_EQ(inverseDct8x8To8uTable[path](coef, dst.data(), -1, 128, 0, 255), primErrStep);
    }
}

// Random blocks: the processor paths agree with one another exactly, at any
// alignment and in place, and stay within one of the generic path.
TEST(JpegDct, PathsAgainstGeneric) {
    std::mt19937 rng(9);
    const std::vector<int> paths = vqtest::supportedPaths();
    if (paths.empty()) GTEST_SKIP();
    for (int b = 0; b < 400; ++b) {
        alignas(32) int16_t buf[64 + 16];
        int16_t* blk = buf + (b % 9);
        for (int k = 0; k < 64; ++k) blk[k] = static_cast<int16_t>(static_cast<int>(rng() % 256) - 128);
        int16_t ref[64], first[64], mine[64];
        forwardDct8x8Table[0](blk, ref);
        forwardDct8x8Table[paths[0]](blk, first);
        for (int path : paths) {
            std::memcpy(mine, blk, sizeof mine);
            forwardDct8x8Table[path](mine, mine);
            ASSERT_EQ(0, std::memcmp(mine, first, sizeof mine)) << vqtest::pathName(path);
        }
        for (int k = 0; k < 64; ++k) ASSERT_LE(std::abs(first[k] - ref[k]), 1);
        // Inverse of coefficients a quantised block would give.
        int16_t coef[64];
        for (int k = 0; k < 64; ++k) coef[k] = static_cast<int16_t>(first[k] / (1 + k / 4) * (1 + k / 4));
        const Bytes g = inverse(0, coef), p0 = inverse(paths[0], coef);
        for (int path : paths) {
            Bytes out(64 + 7);
            ASSERT_EQ(inverseDct8x8To8uTable[path](coef, out.data() + b % 7, 8, 128, 0, 255), 0);
            ASSERT_TRUE(std::equal(p0.begin(), p0.end(), out.begin() + b % 7));
        }
        for (int k = 0; k < 64; ++k) ASSERT_LE(std::abs(g[k] - p0[k]), 1);
    }
}

// libjpeg's integer forward DCT: cjpeg -dct int at quality 100 (every
// quantiser step 1) stores its coefficients; ours are within one of them.
TEST(JpegDct, ForwardWithinOneOfTheLibrarysIntegerDct) {
    const int w = 64, h = 48;
    const std::string pgm = jpegtest::pnmBytes(w, h, true, 5);
    const jpegtest::Pnm img = jpegtest::parsePnm(pgm);
    const jpegtest::Coefficients k = jpegtest::readCoefficients(jpegtest::runTool("cjpeg", "-dct int -quality 100", pgm));
    ASSERT_TRUE(k.ok);
    const std::vector<uint16_t> unit = ones();
    for (int path : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        int worst = 0;
        for (int by = 0; by < h / 8; ++by)
            for (int bx = 0; bx < w / 8; ++bx) {
                int16_t c[64];
                const auto* s = reinterpret_cast<const uint8_t*>(img.pixels.data()) + 8 * by * w + 8 * bx;
                ASSERT_EQ(dctQuantForward8x8Table[path](s, w, c, unit.data()), 0);
                const int16_t* lib = jpegtest::block(k, 0, bx, by);
                for (int i = 0; i < 64; ++i) worst = std::max(worst, std::abs(c[i] - lib[i]));
            }
        EXPECT_LE(worst, 1);
    }
}

// A greyscale baseline file made of our forward DCT, quantisation and Huffman
// coding (the standard luminance tables): djpeg decodes it, close to the
// source, and djpeg -dct int equals our inverse within one.
TEST(JpegDct, OurFileDecodesWithDjpeg) {
    static const uint8_t dcBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    static const uint8_t dcVals[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    // An AC table of all 162 baseline run/size symbols, 8-bit codes at most
    // where they fit: counts chosen to form a valid prefix code.
    static const uint8_t acBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
    std::vector<uint8_t> acVals;
    for (int s = 1; s <= 10; ++s) acVals.push_back(static_cast<uint8_t>(s));  // run 0
    acVals.insert(acVals.begin(), 0x00);
    for (int r = 1; r < 16; ++r)
        for (int s = 1; s <= 10; ++s) acVals.push_back(static_cast<uint8_t>((r << 4) | s));
    acVals.push_back(0xF0);
    ASSERT_EQ(acVals.size(), 162u);
    const uint8_t qz[64] = {2, 2, 2, 2, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5,
                            6, 6, 6, 6, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7, 8, 8, 8, 8, 8, 8,
                            9, 9, 9, 9, 9, 9, 10, 10, 10, 10, 10, 11, 11, 11, 12, 12, 12, 13, 13, 14};
    const int w = 80, h = 56;
    const jpegtest::Pnm img = jpegtest::parsePnm(jpegtest::pnmBytes(w, h, true, 3));
    const auto* pixels = reinterpret_cast<const uint8_t*>(img.pixels.data());
    for (int path : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        std::vector<uint16_t> recip(64);
        ASSERT_EQ(quantForwardTablePrepareTable[path](qz, recip.data()), 0);
        HuffmanEncodeSpec dc, ac;
        ASSERT_EQ(huffmanEncodeSpecInit(dcBits, dcVals, &dc), 0);
        ASSERT_EQ(huffmanEncodeSpecInit(acBits, acVals.data(), &ac), 0);
        HuffmanEncodeState st;
        huffmanEncodeStateInit(&st);
        Bytes scan(64 * 1024);
        int32_t pos = 0;
        int16_t pred = 0;
        std::vector<std::vector<int16_t>> blocks;
        for (int by = 0; by < h / 8; ++by)
            for (int bx = 0; bx < w / 8; ++bx) {
                std::vector<int16_t> c(64);
                ASSERT_EQ(dctQuantForward8x8Table[path](pixels + 8 * by * w + 8 * bx, w, c.data(), recip.data()), 0);
                ASSERT_EQ(huffmanEncodeBlock(c.data(), scan.data(), static_cast<int32_t>(scan.size()), &pos, &pred, &dc,
                                             &ac, &st, 0),
                          0);
                blocks.push_back(c);
            }
        ASSERT_EQ(huffmanEncodeBlock(nullptr, scan.data(), static_cast<int32_t>(scan.size()), &pos, nullptr, nullptr,
                                     nullptr, &st, 1),
                  0);
        std::string file = "\xFF\xD8";
        auto segment = [&](int marker, const Bytes& body) {
            file += static_cast<char>(0xFF);
            file += static_cast<char>(marker);
            file += static_cast<char>((body.size() + 2) >> 8);
            file += static_cast<char>((body.size() + 2) & 255);
            file.append(body.begin(), body.end());
        };
        Bytes dqt = {0};
        dqt.insert(dqt.end(), qz, qz + 64);
        segment(0xDB, dqt);
        segment(0xC0, {8, h >> 8, h & 255, w >> 8, w & 255, 1, 1, 0x11, 0});
        Bytes dht = {0x00};
        dht.insert(dht.end(), dcBits, dcBits + 16);
        dht.insert(dht.end(), dcVals, dcVals + 12);
        dht.push_back(0x10);
        dht.insert(dht.end(), acBits, acBits + 16);
        dht.insert(dht.end(), acVals.begin(), acVals.end());
        segment(0xC4, dht);
        segment(0xDA, {1, 1, 0x00, 0, 63, 0});
        file.append(scan.begin(), scan.begin() + pos);
        file += "\xFF\xD9";
        const jpegtest::Pnm decoded = jpegtest::parsePnm(jpegtest::runTool("djpeg", "-dct int -pnm", file));
        ASSERT_EQ(decoded.width, w);
        ASSERT_EQ(decoded.height, h);
        double sum = 0;
        for (size_t i = 0; i < img.pixels.size(); ++i)
            sum += std::abs(static_cast<uint8_t>(decoded.pixels[i]) - static_cast<uint8_t>(img.pixels[i]));
        EXPECT_LT(sum / img.pixels.size(), 3.0);
        // Our inverse of the same coefficients.
        int16_t mult[64];
        for (int kk = 0; kk < 64; ++kk) mult[kk] = qz[prim::jpeg_dct::kZigzagOfNatural[kk]];
        int worst = 0;
        for (int by = 0; by < h / 8; ++by)
            for (int bx = 0; bx < w / 8; ++bx) {
                uint8_t out[64];
                ASSERT_EQ(dequantDctInverse8x8Table[path](blocks[by * (w / 8) + bx].data(), out, 8, mult), 0);
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x)
                        worst = std::max(worst, std::abs(out[8 * y + x] -
                                                         static_cast<uint8_t>(decoded.pixels[(8 * by + y) * w + 8 * bx + x])));
            }
        EXPECT_LE(worst, 1);
    }
}

} // namespace
