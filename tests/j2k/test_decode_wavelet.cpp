// Whole-decoder tests on lossless code-streams with decomposition levels:
// the inverse wavelet and the component transforms on top of the tile-part
// loop must give back the source exactly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "j2k/decode_harness.h"
#include "j2k/j2k_fixtures.h"

namespace {

using namespace j2ktest;

std::vector<LosslessCase> WaveletCases() {
    std::vector<LosslessCase> v;
    // One to eight resolutions, image and tile grid at odd offsets: the first
    // row and column of tiles are clipped. (opj_compress itself is not
    // lossless on thin clipped tiles at many levels, so the last tiles are
    // kept wide there.)
    for (int n = 1; n <= 8; ++n) {
        const int tile = n <= 4 ? 16 : 1 << (n - 1);
        const int size = n <= 4 ? 37 : 2 * tile - 2;
        v.push_back({1, 8, false, size, size - 1,
                     "-n " + std::to_string(n) + " -d 3,5 -T 1,2 -t " + std::to_string(tile) + "," +
                         std::to_string(tile)});
    }
    for (int comps : {1, 3})
        for (int bits : {8, 12, 16})
            for (bool s : {false, true})
                v.push_back({comps, bits, s, 29, 27, comps == 3 ? "-n 4 -mct 0 -d 1,1" : "-n 4 -d 1,1"});
    for (const char* p : {"LRCP", "RLCP", "RPCL", "PCRL", "CPRL"})
        v.push_back({3, 8, false, 45, 39,
                     std::string("-n 4 -mct 0 -r 6,3,1 -b 4,4 -c [16,16],[8,8] -d 7,3 -t 20,20 -T 2,1 -p ") + p});
    for (const char* o : {"-n 3 -SOP -EPH -r 5,1 -c [16,16]", "-n 5 -TP R -PLT -TLM", "-n 3 -r 4,2,1 -TP L -SOP",
                          "-n 2 -b 64,4", "-n 6 -b 4,4"})
        v.push_back({1, 12, true, 41, 35, o});
    for (int m = 1; m <= 63; ++m)
        v.push_back({1, 8, false, 24, 20, "-n 3 -r 5,2,1 -b 8,8 -M " + std::to_string(m)});
    return v;
}

class DecodeWithWavelet : public ::testing::TestWithParam<LosslessCase> {};

TEST_P(DecodeWithWavelet, EqualsSource) { ExpectLossless(GetParam(), TestDir(), DecodeCodestream); }

INSTANTIATE_TEST_SUITE_P(Streams, DecodeWithWavelet, ::testing::ValuesIn(WaveletCases()));

} // namespace

namespace {

std::vector<LosslessCase> ColourCases() {
    std::vector<LosslessCase> v;
    // The reversible colour transform on three components, every depth, and
    // on the first three of four (the fourth, alpha, passes untransformed).
    for (int bits : {8, 12, 16})
        for (bool s : {false, true})
            v.push_back({3, bits, s, 30, 26, "-n 4 -d 3,1 -t 16,16 -T 1,0"});
    v.push_back({4, 8, false, 31, 26, "-n 3 -SOP -EPH"});
    v.push_back({4, 12, true, 31, 26, "-n 5 -r 4,1 -p CPRL"});
    return v;
}

class DecodeColour : public ::testing::TestWithParam<LosslessCase> {};

TEST_P(DecodeColour, EqualsSource) { ExpectLossless(GetParam(), TestDir(), DecodeCodestream); }

INSTANTIATE_TEST_SUITE_P(Streams, DecodeColour, ::testing::ValuesIn(ColourCases()));

// Irreversible streams: the 9/7 wavelet with dequantisation, through the
// irreversible colour transform or per component, against the reference
// decoder's samples. At full rate both reconstruct every coefficient at the
// middle of its quantisation interval; at lower rates their reconstructions
// of cut coefficients differ slightly, so there the check is that ours is as
// close to the source as the reference's.
struct IrreversibleCase {
    const char* options;
    bool fullRate;
};

void ExpectNearReference(const std::vector<int32_t>& src, const std::vector<int32_t>& ref,
                         const std::vector<int32_t>& ours, bool fullRate) {
    if (fullRate) {
        EXPECT_GE(Psnr(ref, ours, 255), 50.0);
    } else {
        EXPECT_GE(Psnr(ref, ours, 255), 30.0);
        EXPECT_GE(Psnr(src, ours, 255), Psnr(src, ref, 255) - 0.25);
    }
}

TEST(DecodeIrreversible, RgbNearReference) {
    const std::string dir = TestDir();
    const RawImage src = MakeRaw(dir, "rgb", 57, 43, 3, 8, false, 31);
    for (const IrreversibleCase& k : std::vector<IrreversibleCase>{
             {"-n 1", true}, {"-n 3", true}, {"-n 6", true}, {"-n 4 -d 5,3 -t 24,24 -T 2,1", true},
             {"-n 5 -b 16,16 -c [32,32],[16,16] -p RPCL -SOP -EPH", true}, {"-n 3 -M 63", true},
             {"-n 6 -r 10", false}, {"-n 4 -d 5,3 -t 24,24 -T 2,1 -r 20,5,2", false}, {"-n 3 -M 63 -r 8,3", false},
             {"-n 2 -TP R -q 30,45", false}}) {
        SCOPED_TRACE(k.options);
        const std::string bytes = Compress(dir, src.path, "-F " + src.Format() + " -I " + k.options);
        const DecodeResult r = DecodeCodestream(bytes);
        ASSERT_TRUE(r.ok) << r.error;
        const std::vector<std::vector<int32_t>> ref = ReferenceDecode(dir, bytes);
        ASSERT_EQ(ref.size(), 3u);
        for (int c = 0; c < 3; ++c) {
            SCOPED_TRACE(c);
            ExpectNearReference(src.planes[c], ref[c], r.planes[c], k.fullRate);
            for (int32_t v : r.planes[c])
                ASSERT_TRUE(v >= 0 && v <= 255) << v;
        }
    }
}

TEST(DecodeIrreversible, SubsampledComponentsNearReference) {
    const std::string dir = TestDir();
    // 4:2:2: the two chroma components have half the columns.
    const RawImage src = MakeRaw(dir, "ycc", 46, 30, 3, 8, false, 41, {1, 2, 2}, {1, 1, 1});
    for (const IrreversibleCase& k :
         std::vector<IrreversibleCase>{{"-n 3", true}, {"-n 2 -d 1,0 -t 20,16", true}, {"-n 2 -d 1,0 -r 6", false}}) {
        SCOPED_TRACE(k.options);
        const std::string bytes = Compress(dir, src.path, "-F " + src.Format() + " -I -mct 0 " + k.options);
        const DecodeResult r = DecodeCodestream(bytes);
        ASSERT_TRUE(r.ok) << r.error;
        for (int c = 0; c < 3; ++c) {
            SCOPED_TRACE(c);
            const std::vector<std::vector<int32_t>> ref = ReferenceDecode(dir, bytes, c);
            ASSERT_EQ(ref.size(), 1u);
            ASSERT_EQ(r.widths[c], src.Width(c));
            ExpectNearReference(src.planes[c], ref[0], r.planes[c], k.fullRate);
        }
    }
}

// A tile whose tile-part is missing is finished from zero coefficients: the
// mid-grey of its depth, while the other tiles stay exact.
TEST(DecodeMissingTile, IsMidGrey) {
    const std::string dir = TestDir();
    const RawImage src = MakeRaw(dir, "src", 32, 16, 1, 8, false, 51);
    const std::string full = Compress(dir, src.path, "-F " + src.Format() + " -n 3 -t 16,16");
    const size_t first = FindMarker(full, 0xFF90);
    const size_t second = FindMarker(full, 0xFF90, first + 2);
    ASSERT_NE(second, std::string::npos);
    const size_t eoc = full.size() - 2;
    ASSERT_EQ(FindMarker(full, 0xFFD9, eoc), eoc);
    const DecodeResult r = DecodeCodestream(full.substr(0, second) + full.substr(eoc));
    ASSERT_TRUE(r.ok) << r.error;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const int32_t v = r.planes[0][size_t(y) * 32 + x];
            if (x < 16)
                ASSERT_EQ(v, src.planes[0][size_t(y) * 32 + x]) << x << "," << y;
            else
                ASSERT_EQ(v, 128) << x << "," << y;
        }
}

} // namespace
