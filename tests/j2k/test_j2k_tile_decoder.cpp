// The JPEG 2000 tile decoder on SVS-style tiles (bare code-streams made by
// opj_compress), with our own codec and with OpenJPEG; lossless tiles must
// give back exactly what opj_decompress gives.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/stream.h"
#include "j2k/j2k_fixtures.h"
#include "j2k/j2k_tile_decoder.h"
#include "j2k/sample_convert.h"
#include "support/test_env.h"

namespace {

constexpr int kW = 64, kH = 48;

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// The pixels after the PNM header of what opj_decompress makes of `cs`.
std::string OpjDecompress(const std::string& dir, const std::string& cs, const std::string& ext) {
    const std::string in = dir + "/oracle.j2k", out = dir + "/oracle." + ext;
    vqtest::writeFile(in, cs);
    std::remove(out.c_str());
    EXPECT_EQ(vqtest::runCommand(vqtest::requireTool("opj_decompress") + " -i '" + in + "' -o '" + out + "' >/dev/null 2>&1"), 0);
    const std::string pnm = vqtest::readFile(out);
    size_t pos = 0;
    for (int fields = 0; fields < 4 && pos < pnm.size(); ++pos)
        if (pnm[pos] == '\n')
            ++fields;
    return pnm.substr(pos);
}

vq_ptr<vq_TIFFJ2KTileDecoder> Decoder(int kind) {
    vq_ptr<vq_TIFFJ2KTileDecoder> d = vq_ptr<vq_TIFFJ2KTileDecoder>::adopt(createTIFFJ2KTileDecoder());
    d->decoderKind = kind;
    return d;
}

// Visible pixels, row by row without padding.
std::string Visible(imageContainer& c) {
    const uint8_t* px = nullptr;
    int32_t step = 0;
    c.lockPixelsConst(&px, &step);
    const size_t row = size_t(c.getWidth()) * size_t(imageContainer::bytesPerPixel(c.getFormat()));
    std::string out;
    for (int y = 0; y < c.getHeight(); ++y)
        out.append(reinterpret_cast<const char*>(px) + ptrdiff_t(y) * step, row);
    c.unlockPixels();
    return out;
}

std::string Columns(const std::string& rows, int width, int keep, int channels) {
    std::string out;
    for (size_t y = 0; y < rows.size() / (size_t(width) * channels); ++y)
        out += rows.substr(y * width * channels, size_t(keep) * channels);
    return out;
}

class J2KTiles : public ::testing::TestWithParam<int> {};

} // namespace

TEST_P(J2KTiles, RgbGreyAndEdgeCropEqualOpjDecompress) {
    const std::string dir = vqtest::scratchDir("j2k_tiles_rgb_" + std::to_string(GetParam()));
    const std::string rgb = j2ktest::Compress(dir, j2ktest::WritePnm(dir, "rgb", kW, kH, 3, 5), "-n 3");
    const std::string grey = j2ktest::Compress(dir, j2ktest::WritePnm(dir, "grey", kW, kH, 1, 6), "-n 3");
    const std::string rgbPixels = OpjDecompress(dir, rgb, "ppm");
    const std::string greyPixels = OpjDecompress(dir, grey, "pgm");
    ASSERT_EQ(rgbPixels.size(), size_t(kW) * kH * 3);

    auto d = Decoder(GetParam());
    imageContainer out;
    // No tile size: the image size.
    ASSERT_TRUE(d->decodeTile({0, 0}, 0, Bytes(rgb), int32_t(rgb.size()), &out));
    EXPECT_EQ(out.getFormat(), vq_fmtRGB24);
    EXPECT_EQ(Visible(out), rgbPixels);

    // A grey tile fills the three channels alike.
    ASSERT_TRUE(d->decodeTile({0, 0}, 0, Bytes(grey), int32_t(grey.size()), &out));
    std::string expected;
    for (char v : greyPixels)
        expected += std::string(3, v);
    EXPECT_EQ(Visible(out), expected);

    // Last column of a level whose edge width is 40: a full-size container
    // showing the first 40 columns.
    d->tileSize = IntPair(kW, kH);
    d->tileCounts = {IntPair(2, 1)};
    d->edgeSizes = {IntPair(40, kH)};
    ASSERT_TRUE(d->decodeTile({1, 0}, 0, Bytes(rgb), int32_t(rgb.size()), &out));
    EXPECT_EQ(out.getFullSize(), IntPair(kW, kH));
    EXPECT_EQ(out.getWidth(), 40);
    EXPECT_EQ(Visible(out), Columns(rgbPixels, kW, 40, 3));
    // Not in the last column: whole.
    ASSERT_TRUE(d->decodeTile({0, 0}, 0, Bytes(rgb), int32_t(rgb.size()), &out));
    EXPECT_EQ(out.getWidth(), kW);

    // A code-stream smaller than the stored tile size is refused, not
    // written past or left half filled.
    d->tileSize = IntPair(2 * kW, kH);
    d->tileCounts.clear();
    EXPECT_FALSE(d->decodeTile({0, 0}, 0, Bytes(rgb), int32_t(rgb.size()), &out));
    // A truncated code-stream fails or decodes, but never reads past its bytes
    // (the sanitizers watch this).
    d->tileSize = IntPair(0, 0);
    for (size_t cut : {size_t(10), size_t(60), rgb.size() / 2}) {
        const std::string part = rgb.substr(0, cut);
        d->decodeTile({0, 0}, 0, Bytes(part), int32_t(part.size()), &out);
    }
}

TEST_P(J2KTiles, ChromaPlanesOf422Tiles) {
    const std::string dir = vqtest::scratchDir("j2k_tiles_422_" + std::to_string(GetParam()));
    // Y at full size, Cb and Cr at half width, as raw planes one after another.
    std::string raw;
    for (int i = 0; i < kW * kH; ++i)
        raw += char((i * 7) & 0xFF);
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < kW / 2 * kH; ++i)
            raw += char((i * (3 + k) + 100 * k) & 0xFF);
    const std::string rawPath = dir + "/ycc.raw";
    vqtest::writeFile(rawPath, raw);
    const std::string cs = j2ktest::Compress(dir, rawPath, "-n 3 -F " + std::to_string(kW) + "," + std::to_string(kH) +
                                                               ",3,8,u@1x1:2x1:2x1");
    auto d = Decoder(GetParam());
    imageContainer y, cb, cr;
    ASSERT_TRUE(d->decodeTileYCbCr({0, 0}, 0, Bytes(cs), int32_t(cs.size()), &y, &cb, &cr));
    EXPECT_EQ(y.getFormat(), vq_fmtPlaneY);
    EXPECT_EQ(cb.getFormat(), vq_fmtPlaneCb);
    EXPECT_EQ(Visible(y), raw.substr(0, kW * kH));
    EXPECT_EQ(Visible(cb), raw.substr(kW * kH, kW / 2 * kH));
    EXPECT_EQ(Visible(cr), raw.substr(kW * kH + kW / 2 * kH));

    // Edge crop 40 wide: Y 40, chroma 20.
    d->tileSize = IntPair(kW, kH);
    d->tileCounts = {IntPair(2, 1)};
    d->edgeSizes = {IntPair(40, kH)};
    ASSERT_TRUE(d->decodeTileYCbCr({1, 0}, 0, Bytes(cs), int32_t(cs.size()), &y, &cb, &cr));
    EXPECT_EQ(y.getWidth(), 40);
    EXPECT_EQ(cb.getWidth(), 20);
    EXPECT_EQ(Visible(cr), Columns(raw.substr(kW * kH + kW / 2 * kH), kW / 2, 20, 1));

    // The RGB form converts the 4:2:2 tile from YCbCr: a grey pattern (chroma
    // 128) comes out with R = G = B = Y.
    std::string greyRaw = raw.substr(0, kW * kH) + std::string(kW * kH, char(128));
    vqtest::writeFile(rawPath, greyRaw);
    const std::string greyCs = j2ktest::Compress(dir, rawPath, "-n 3 -F " + std::to_string(kW) + "," +
                                                                   std::to_string(kH) + ",3,8,u@1x1:2x1:2x1");
    imageContainer rgbOut;
    d->tileSize = IntPair(0, 0);
    ASSERT_TRUE(d->decodeTile({0, 0}, 0, Bytes(greyCs), int32_t(greyCs.size()), &rgbOut));
    std::string expected;
    for (int i = 0; i < kW * kH; ++i)
        expected += std::string(3, greyRaw[i]);
    EXPECT_EQ(Visible(rgbOut), expected);
}

INSTANTIATE_TEST_SUITE_P(Kinds, J2KTiles, ::testing::Values(0, 2),
                         [](const auto& info) { return info.param == 0 ? "OwnCodec" : "OpenJpeg"; });

TEST(J2KTileDecoder, MessagesAndTileDimensions) {
    auto d = Decoder(0);
    imageContainer out, y, cb, cr;
    const uint8_t byte = 0;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(d->decodeTile({0, 0}, 0, nullptr, 10, &out));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Bad tile data to J2K decoder\n");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(d->decodeTileYCbCr({0, 0}, 0, &byte, 0, &y, &cb, &cr));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Data length 0 to J2K decoder\n");

    // SOC, SIZ with length 41, Rsiz 0, Xsiz 300, Ysiz 200, XOsiz 16, YOsiz 0, ...
    const auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    const std::string siz = std::string("\xFF\x4F\xFF\x51\x00\x29\x00\x00", 8) + be32(300) + be32(200) + be32(16) +
                            be32(0) + be32(256) + be32(256) + be32(0) + be32(0);
    for (const auto& [bytes, want] : {std::pair{siz, IntPair(284, 200)}, std::pair{std::string("\xFF\xD8\xFF\xE0\x00\x10", 6), IntPair(0, 0)}}) {
        vq_ptr<vq_stream> s;
        ASSERT_EQ(openMemoryStream(bytes.data(), bytes.size(), s.put()), 0);
        EXPECT_EQ(d->getTileDimensions(s.get()), want);
    }
}

// 16-bit tiles decoded without a stored tile size keep 16 bits: one
// component as 16-bit grey, three as 48-bit RGB, each sample equal to
// opj_decompress's (PNM samples are big-endian); with a tile size they come as
// 8-bit RGB of the samples' high bytes.
TEST_P(J2KTiles, SixteenBitTilesKeepTheirDepth) {
    const std::string dir = vqtest::scratchDir("j2k_tiles_16_" + std::to_string(GetParam()));
    const int w = 21, h = 13;
    for (int components : {1, 3}) {
        SCOPED_TRACE(components);
        const std::string raw = j2ktest::WriteRaw(dir, "deep" + std::to_string(components), w, h, components, 16, 7);
        const std::string cs = j2ktest::Compress(
            dir, raw, "-n 2 -F " + std::to_string(w) + "," + std::to_string(h) + "," + std::to_string(components) + ",16,u");
        const std::string pnm = OpjDecompress(dir, cs, components == 1 ? "pgm" : "ppm");
        ASSERT_EQ(pnm.size(), size_t(w) * h * components * 2);
        auto d = Decoder(GetParam());
        imageContainer out;
        ASSERT_TRUE(d->decodeTile({0, 0}, 0, Bytes(cs), int32_t(cs.size()), &out));
        EXPECT_EQ(out.getFormat(), components == 1 ? vq_fmtGray16 : vq_fmtRGB48);
        ASSERT_EQ(out.getFullSize(), IntPair(w, h));
        const std::string got = Visible(out);
        ASSERT_EQ(got.size(), pnm.size());
        int wrong = 0;
        for (size_t i = 0; i < got.size() / 2; ++i) {
            uint16_t native = 0;
            std::memcpy(&native, got.data() + 2 * i, 2);
            const uint16_t want = uint16_t(uint8_t(pnm[2 * i]) << 8 | uint8_t(pnm[2 * i + 1]));
            wrong += native != want;
        }
        EXPECT_EQ(wrong, 0);

        d->tileSize = IntPair(w, h);
        ASSERT_TRUE(d->decodeTile({0, 0}, 0, Bytes(cs), int32_t(cs.size()), &out));
        EXPECT_EQ(out.getFormat(), vq_fmtRGB24);
        const std::string eight = Visible(out);
        ASSERT_EQ(eight.size(), size_t(w) * h * 3);
        wrong = 0;
        for (int i = 0; i < w * h; ++i)
            for (int k = 0; k < 3; ++k)
                wrong += eight[size_t(i) * 3 + k] != pnm[(size_t(i) * components + (components == 1 ? 0 : k)) * 2];
        EXPECT_EQ(wrong, 0);
    }
}

// Averaging and mapping components onto fewer or as many planes.
TEST(J2KComponentFunctions, AverageAndMap) {
    // Three unsigned 8-bit samples 10, 11, 11: 10.67 + 0.5 truncated is 11;
    // towards a signed target each loses 128 first: -117.33 + 0.5 gives -116.
    int32_t a = 10, b = 11, c = 11, out = 0;
    const PlaneRef planes[3] = {PlaneRef(&a, 4), PlaneRef(&b, 4), PlaneRef(&c, 4)};
    const DJP2BitDepth u8[3] = {DJP2BitDepth(7, false), DJP2BitDepth(7, false), DJP2BitDepth(7, false)};
    AverageComponents(planes, u8, 3, PlaneRef(&out, 4), DJP2BitDepth(7, false), IntPair(1, 1));
    EXPECT_EQ(out, 11);
    AverageComponents(planes, u8, 3, PlaneRef(&out, 4), DJP2BitDepth(7, true), IntPair(1, 1));
    EXPECT_EQ(out, -116);
    // A signed 12-bit sample -2048 and an unsigned 12-bit 4095 onto one
    // unsigned plane: 0 and 4095 averaged.
    int32_t s12 = -2048, u12 = 4095;
    const PlaneRef two[2] = {PlaneRef(&s12, 4), PlaneRef(&u12, 4)};
    const DJP2BitDepth d12[2] = {DJP2BitDepth(11, true), DJP2BitDepth(11, false)};
    AverageComponents(two, d12, 2, PlaneRef(&out, 4), DJP2BitDepth(11, false), IntPair(1, 1));
    EXPECT_EQ(out, 2048);
    // Plane by plane to 16 unsigned bits: a signed 16-bit -32768 becomes 0,
    // an unsigned 12-bit 4095 becomes 65520 (shifted by 4), nothing passes 65535.
    int32_t p0 = -32768, p1 = 4095, o[2] = {};
    const PlaneRef src[2] = {PlaneRef(&p0, 4), PlaneRef(&p1, 4)};
    const PlaneRef dst[2] = {PlaneRef(&o[0], 4), PlaneRef(&o[1], 4)};
    const DJP2BitDepth d[2] = {DJP2BitDepth(15, true), DJP2BitDepth(11, false)};
    MapComponentsToPlanes(src, d, 2, IntPair(1, 1), dst, 15, false, 2, IntPair(1, 1));
    EXPECT_EQ(o[0], 0);
    EXPECT_EQ(o[1], 65520);
    int32_t over = 70000, clamped = 0;
    const PlaneRef one(&over, 4), oneOut(&clamped, 4);
    const DJP2BitDepth u16(15, false);
    MapComponentsToPlanes(&one, &u16, 1, IntPair(1, 1), &oneOut, 15, false, 1, IntPair(1, 1));
    EXPECT_EQ(clamped, 65535);
}
