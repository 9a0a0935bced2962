// The built-in tile encoder end to end: every code-stream it writes is
// decoded by opj_decompress (component by component, and whole for full
// chroma), full chroma round-trips exactly, 4:2:2 quality rises with the
// quality setting, a target ratio keeps the packets within budget, and the
// encoder's formats and refusals behave as its callers expect.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/stream.h"
#include "j2k/codestream_buffer.h"
#include "j2k/decode_harness.h"
#include "j2k/encoder/codeblock_stage.h"
#include "j2k/encoder/codestream_writer.h"
#include "j2k/encoder/native_tile_encoder.h"
#include "j2k/encoder/packet_writer.h"
#include "j2k/j2k_fixtures.h"
#include "j2k/sample_convert.h"
#include "support/test_env.h"

namespace {

struct Image {
    int w = 0, h = 0, channels = 0;
    std::vector<uint8_t> px;  // interleaved
    int at(int x, int y, int c) const { return px[(size_t(y) * w + x) * channels + c]; }
};

// A smooth picture with some texture, so that quality settings matter.
Image Picture(int w, int h, int channels, uint32_t seed) {
    Image im{w, h, channels, std::vector<uint8_t>(size_t(w) * h * channels)};
    uint32_t s = seed;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c) {
                s = s * 1664525u + 1013904223u;
                const double v = 128 + 80 * std::sin(0.07 * x * (c + 1) + 0.05 * y) +
                                 30 * std::cos(0.21 * (x + 2 * y) + c) + double((s >> 24) & 15) - 7.5;
                im.px[(size_t(y) * w + x) * channels + c] = uint8_t(std::lround(std::fmin(255, std::fmax(0, v))));
            }
    return im;
}

vq_ptr<imageContainer> Container(const Image& im, int32_t format) {
    vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    EXPECT_TRUE(c->create(format, im.w, im.h, true));
    uint8_t* data = nullptr;
    int32_t step = 0;
    c->lockPixels(&data, &step);
    const int bpp = imageContainer::bytesPerPixel(format);
    for (int y = 0; y < im.h; ++y)
        for (int x = 0; x < im.w; ++x)
            for (int k = 0; k < bpp; ++k) {
                // BGR stores the channels reversed; a fourth channel is 255.
                const int src = format == vq_fmtBGR24 ? 2 - k : k;
                data[size_t(y) * step + size_t(x) * bpp + k] = k < im.channels ? uint8_t(im.at(x, y, src)) : 255;
            }
    c->unlockPixels();
    return c;
}

// A memory stream that records the size of every write.
class CountingStream : public vq_memoryWriteStream {
public:
    CountingStream() { addRef(); }
    int32_t write(const void* in, uint32_t count) override {
        writes.push_back(count);
        return vq_memoryWriteStream::write(in, count);
    }
    std::string bytes() const { return std::string(reinterpret_cast<const char*>(getData()), getSize()); }
    std::vector<uint32_t> writes;
};

struct Encoded {
    bool ok = false;
    std::string bytes;
    std::vector<uint32_t> writes;
};

Encoded EncodeRgb(const Image& im, int quality, bool fullChroma, int32_t format = vq_fmtRGB24) {
    vq_ptr<vq_tileEncoder_base> enc;
    EXPECT_TRUE(createJ2KTileEncoder(enc.put()));
    enc->setQuality(quality);
    enc->setFullChroma(fullChroma);
    CountingStream out;
    vq_ptr<imageContainer> c = Container(im, format);
    Encoded e;
    e.ok = enc->encodeTile(c.get(), &out);
    e.bytes = out.bytes();
    e.writes = out.writes;
    return e;
}

// Reads a binary PGM or PPM (header comments allowed).
Image ReadPnm(const std::string& path) {
    const std::string s = vqtest::readFile(path);
    Image im;
    if (s.size() < 2 || s[0] != 'P' || (s[1] != '5' && s[1] != '6'))
        return Image{};
    im.channels = s[1] == '6' ? 3 : 1;
    size_t at = 2;
    int fields[3] = {};
    for (int f = 0; f < 3; ++f) {
        while (at < s.size() && (std::isspace(static_cast<unsigned char>(s[at])) || s[at] == '#')) {
            if (s[at] == '#')
                while (at < s.size() && s[at] != '\n')
                    ++at;
            else
                ++at;
        }
        size_t used = 0;
        fields[f] = std::stoi(s.substr(at, 12), &used);
        at += used;
    }
    im.w = fields[0];
    im.h = fields[1];
    ++at;  // the single white-space byte before the samples
    const size_t n = size_t(im.w) * im.h * im.channels;
    if (fields[2] != 255 || s.size() < at + n)
        return Image{};
    im.px.assign(s.begin() + long(at), s.begin() + long(at + n));
    return im;
}

// opj_decompress on the code-stream; component k alone (-c k), or all
// components (k < 0) into a PPM or PGM.
Image Decode(const std::string& dir, const std::string& bytes, int k, int expectedChannels) {
    const std::string tool = vqtest::requireTool("opj_decompress");
    const std::string in = dir + "/tile.j2k";
    const std::string out = dir + (k >= 0 || expectedChannels == 1 ? "/out.pgm" : "/out.ppm");
    std::remove(out.c_str());
    vqtest::writeFile(in, bytes);
    std::string log;
    const std::string cmd =
        tool + " -i '" + in + "' -o '" + out + "'" + (k >= 0 ? " -c " + std::to_string(k) : std::string()) + " 2>&1";
    const int rc = vqtest::runCommand(cmd, &log);
    EXPECT_EQ(rc, 0) << cmd << "\n" << log;
    EXPECT_EQ(log.find("rror"), std::string::npos) << log;
    return ReadPnm(out);
}

double Psnr(const std::vector<double>& a, const Image& b) {
    double se = 0;
    for (size_t i = 0; i < a.size(); ++i)
        se += (a[i] - b.px[i]) * (a[i] - b.px[i]);
    return se == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / se);
}

// Luma of the picture by the JFIF equation.
std::vector<double> Luma(const Image& im) {
    std::vector<double> y(size_t(im.w) * im.h);
    for (int j = 0; j < im.h; ++j)
        for (int i = 0; i < im.w; ++i)
            y[size_t(j) * im.w + i] = 0.299 * im.at(i, j, 0) + 0.587 * im.at(i, j, 1) + 0.114 * im.at(i, j, 2);
    return y;
}

// Decoded samples brought to 8 bits by clamping.
std::vector<int32_t> To8Bits(const std::vector<int32_t>& v) {
    std::vector<int32_t> out(v.size());
    for (size_t i = 0; i < v.size(); ++i)
        out[i] = std::clamp(v[i], 0, 255);
    return out;
}

int WorstDifference(const std::vector<int32_t>& a, const std::vector<uint8_t>& b) {
    int worst = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        worst = std::max(worst, std::abs(a[i] - int(b[i])));
    return worst;
}

const std::pair<int, int> kSizes[] = {{1, 1},   {1, 6},   {2, 2},   {3, 5},    {7, 3},    {5, 1},
                                      {17, 9},  {33, 64}, {63, 63}, {64, 65},  {65, 64},  {127, 31},
                                      {129, 130}, {200, 57}, {255, 255}, {256, 256}};

TEST(EncoderTiles, EveryStreamDecodesComponentByComponent) {
    const std::string dir = vqtest::scratchDir("j2k_encode_sizes");
    for (auto [w, h] : kSizes) {
        const Image im = Picture(w, h, 3, uint32_t(w * 1000 + h));
        for (int quality : {1, 50, 80, 100}) {
            const Encoded e = EncodeRgb(im, quality, false);
            ASSERT_TRUE(e.ok) << w << "x" << h << " q" << quality;
            // Our own decoder reads every stream, to the same 8-bit samples
            // give or take a rounding step of the irreversible wavelet.
            const j2ktest::DecodeResult ours = j2ktest::DecodeCodestream(e.bytes);
            ASSERT_TRUE(ours.ok) << w << "x" << h << " q" << quality << ": " << ours.error;
            ASSERT_EQ(ours.planes.size(), 3u);
            for (int k = 0; k < 3; ++k) {
                const Image d = Decode(dir, e.bytes, k, 1);
                EXPECT_EQ(d.w, k == 0 ? w : (w + 1) / 2) << w << "x" << h << " q" << quality << " c" << k;
                EXPECT_EQ(d.h, h) << w << "x" << h << " q" << quality << " c" << k;
                ASSERT_EQ(ours.planes[k].size(), d.px.size()) << w << "x" << h << " q" << quality << " c" << k;
                EXPECT_LE(WorstDifference(To8Bits(ours.planes[k]), d.px), 1)
                    << w << "x" << h << " q" << quality << " c" << k;
            }
        }
    }
}

// Coarse steps make a hard edge ring past the 8-bit range. The decoder
// leaves such samples of subsampled (4:2:2) components as the wavelet gives
// them, and its callers bring them to 8 bits with clamping, as opj_decompress
// does. Compared that way the two agree to a rounding step; compared
// unclamped they seemed to disagree by up to 81 levels.
TEST(EncoderTiles, OurDecoderAgreesWithOpenJpegAtQualityOne) {
    const std::string dir = vqtest::scratchDir("j2k_encode_q1");
    Image im{16, 4, 3, std::vector<uint8_t>(16 * 4 * 3, 0)};
    for (int y = 0; y < im.h; ++y)
        for (int x = 8; x < im.w; ++x)
            for (int c = 0; c < 3; ++c)
                im.px[(size_t(y) * im.w + x) * 3 + c] = 255;
    const Encoded e = EncodeRgb(im, 1, false);
    ASSERT_TRUE(e.ok);
    j2ktest::DecodeResult ours = j2ktest::DecodeCodestream(e.bytes);
    ASSERT_TRUE(ours.ok) << ours.error;
    ASSERT_EQ(ours.planes.size(), 3u);
    const auto [lo, hi] = std::minmax_element(ours.planes[0].begin(), ours.planes[0].end());
    ASSERT_TRUE(*lo < 0 && *hi > 255) << "the edge must ring past both ends: " << *lo << ".." << *hi;
    for (int k = 0; k < 3; ++k) {
        const Image d = Decode(dir, e.bytes, k, 1);
        const int w = k == 0 ? im.w : im.w / 2;
        ASSERT_EQ(ours.planes[k].size(), size_t(w) * im.h) << k;
        ASSERT_EQ(d.px.size(), ours.planes[k].size()) << k;
        // The conversion the JPEG 2000 tile decoder applies to every component.
        std::vector<int32_t> eight(ours.planes[k].size());
        ConvertComponentTo8u(PlaneRef(ours.planes[k].data(), 4 * w), DJP2BitDepth(7, false), IntPair(w, im.h),
                             PlaneRef(eight.data(), 4 * w));
        EXPECT_LE(WorstDifference(eight, d.px), 1) << k;
    }
}

// One 9/7 code-block of quantised coefficients with a step of 4, cut after
// each of its coding passes in turn. A coefficient decoded down to the last
// bit-plane is reconstructed half a step from its interval's lower end, as
// one cut higher up is: cuts right after the last plane's significance and
// refinement passes leave some or all coefficients there, and a missing or
// misplaced half step shows as 2 levels against opj_decompress.
TEST(EncoderTiles, BlockCutInItsLastBitPlaneDecodesLikeOpenJpeg) {
    const std::string dir = vqtest::scratchDir("j2k_encode_cut");
    const uint32_t side = 16;
    const J2KRect rect(0, 0, side, side);
    DJP2QuantParams quant;
    quant.style = 2;
    quant.guardBits = 2;
    quant.llStep = IntPair(0, 6);  // 2^(8 - 6): a step of 4
    const auto p15 = [] {
        std::array<uint32_t, 33> a;
        a.fill(15);
        return a;
    }();
    const auto b6 = [] {
        std::array<uint32_t, 33> a;
        a.fill(6);
        return a;
    }();
    const uint32_t depth = 8, levels = 0;
    uint32_t passCount = 0;
    for (uint32_t cut = 1; cut == 1 || cut <= passCount; ++cut) {
        SubbandPlanes bands;
        bands.Build(rect, 0);
        uint32_t s = 99;
        for (uint32_t y = 0; y < side; ++y)
            for (uint32_t x = 0; x < side; ++x) {
                s = s * 1664525u + 1013904223u;
                bands.ll.Row(int32_t(y))[x] = int32_t((s >> 16) % 61) - 30;  // -30..30
            }
        EncoderTile tile;
        tile.setup(&rect, &p15, &p15, &b6, &b6, &depth, &quant, &levels, 1);
        EncoderBlockCoder coder;
        tile.encodeCodeBlocks(coder, &bands);
        EncoderCodeBlock& cb = tile.components[0].ll.precincts[0].blocks[0];
        passCount = cb.passCount;
        ASSERT_GE(passCount, 13u);  // at least five magnitude planes
        for (uint32_t k = 0; k < passCount; ++k)
            cb.passes[k].layer = k < cut ? 0 : 1;  // the single layer written ends at the cut
        tile.resetPassPositions();

        CodestreamBuffer out;
        const uint8_t ssiz[1] = {7};
        writeSOC(out);
        writeSIZ(out, side, side, 1, ssiz, true);
        writeCOD(out, 0, 1, 0, 0, 0, 0, nullptr);
        writeMarkerHead(0xFF5C, 3, out);  // QCD: expounded, two guard bits, the LL step
        out.PutByte(2 | (2 << 5));
        out.Put16(uint16_t(6 << 11));
        writeSOT(out, 0, 0, 0, 1);
        writeSOD(out);
        writePacket(tile, 0, 0, 0, 0, out);
        writeEOC(out);
        std::string bytes(out.Size(), '\0');
        out.ReadOut(bytes.data(), bytes.size());

        const j2ktest::DecodeResult ours = j2ktest::DecodeCodestream(bytes);
        ASSERT_TRUE(ours.ok) << cut << ": " << ours.error;
        const Image d = Decode(dir, bytes, -1, 1);
        ASSERT_EQ(d.px.size(), ours.planes[0].size()) << cut;
        EXPECT_LE(WorstDifference(ours.planes[0], d.px), 1) << "cut after pass " << cut << " of " << passCount;
    }
}

TEST(EncoderTiles, OddWidthKeepsTheLastChromaColumn) {
    // 33 columns: 32 grey ones (Cb 128), then one pure blue (Cb 255). The
    // code-stream declares 17 chroma columns; the 17th is the blue column's
    // own chroma, filtered alone.
    const std::string dir = vqtest::scratchDir("j2k_encode_odd");
    Image im{33, 12, 3, std::vector<uint8_t>(33 * 12 * 3, 128)};
    for (int y = 0; y < im.h; ++y) {
        uint8_t* p = &im.px[(size_t(y) * im.w + 32) * 3];
        p[0] = 0;
        p[1] = 0;
        p[2] = 255;
    }
    const Encoded e = EncodeRgb(im, 100, false);
    ASSERT_TRUE(e.ok);
    const Image cb = Decode(dir, e.bytes, 1, 1);
    ASSERT_EQ(cb.w, 17);
    for (int y = 0; y < cb.h; ++y) {
        EXPECT_NEAR(cb.at(16, y, 0), 255, 6) << y;
        EXPECT_NEAR(cb.at(8, y, 0), 128, 6) << y;
    }
}

TEST(EncoderTiles, FullChromaRoundTripsExactly) {
    const std::string dir = vqtest::scratchDir("j2k_encode_full");
    for (auto [w, h] : kSizes) {
        const Image im = Picture(w, h, 3, uint32_t(w + 7 * h));
        const Encoded e = EncodeRgb(im, 50, true);
        ASSERT_TRUE(e.ok) << w << "x" << h;
        const Image d = Decode(dir, e.bytes, -1, 3);
        ASSERT_EQ(d.w, w);
        ASSERT_EQ(d.h, h);
        EXPECT_EQ(d.px, im.px) << w << "x" << h;
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(Decode(dir, e.bytes, k, 1).w, w);
    }
    // A BGR container codes the same picture, not one with red and blue swapped.
    const Image im = Picture(40, 24, 3, 5);
    const Encoded bgr = EncodeRgb(im, 50, true, vq_fmtBGR24);
    ASSERT_TRUE(bgr.ok);
    EXPECT_EQ(Decode(dir, bgr.bytes, -1, 3).px, im.px);
}

TEST(EncoderTiles, LumaQualityRisesWithTheSetting) {
    const std::string dir = vqtest::scratchDir("j2k_encode_psnr");
    const Image im = Picture(256, 256, 3, 11);
    const std::vector<double> luma = Luma(im);
    double previous = 0;
    size_t previousSize = 0;
    for (int quality : {1, 20, 50, 80, 100}) {
        const Encoded e = EncodeRgb(im, quality, false);
        ASSERT_TRUE(e.ok);
        const double psnr = Psnr(luma, Decode(dir, e.bytes, 0, 1));
        EXPECT_GT(psnr, previous) << quality;
        EXPECT_GT(e.bytes.size(), previousSize) << quality;
        previous = psnr;
        previousSize = e.bytes.size();
    }
    EXPECT_GT(previous, 35.0);
}

TEST(EncoderTiles, MainHeaderOfA256Tile) {
    const Image im = Picture(256, 256, 3, 3);
    const Encoded q50 = EncodeRgb(im, 50, false);
    ASSERT_TRUE(q50.ok);
    const std::string head = q50.bytes.substr(0, 102);
    EXPECT_EQ(j2ktest::FindMarker(q50.bytes, 0xFF90), 102u);
    // SIZ: 256 x 256, chroma half width; COD: five levels, 9/7; QCD of quality 50.
    EXPECT_EQ(head.substr(42, 9), std::string("\x07\x01\x01\x07\x02\x01\x07\x02\x01", 9));
    EXPECT_EQ(head.substr(51, 14), std::string("\xFF\x52\x00\x0C\x00\x00\x00\x01\x00\x05\x04\x04\x00\x00", 14));
    EXPECT_EQ(head.substr(65, 6), std::string("\xFF\x5C\x00\x23\x22\x5E", 6));
    EXPECT_EQ(q50.bytes.substr(q50.bytes.size() - 2), "\xFF\xD9");
    // Larger than 1024 bytes: several writes, none above 1024.
    ASSERT_GT(q50.bytes.size(), 1024u);
    EXPECT_GT(q50.writes.size(), 1u);
    for (uint32_t n : q50.writes)
        EXPECT_LE(n, 1024u);

    const Encoded full = EncodeRgb(im, 50, true);
    ASSERT_TRUE(full.ok);
    EXPECT_EQ(full.bytes.substr(42, 9), std::string("\x07\x01\x01\x07\x01\x01\x07\x01\x01", 9));
    EXPECT_EQ(full.bytes.substr(51, 14), std::string("\xFF\x52\x00\x0C\x00\x00\x00\x01\x01\x05\x04\x04\x00\x01", 14));
    EXPECT_EQ(full.bytes.substr(65, 6), std::string("\xFF\x5C\x00\x13\x40\x40", 6));
}

// Packet bytes of a code-stream: everything between SOD and EOC.
size_t PacketBytes(const std::string& s) { return s.size() - 2 - (j2ktest::FindMarker(s, 0xFF93) + 2); }

// The picture through encodeCodestream at a target ratio: losslessly as
// R, G, B with the component transform, or as its luma alone with the 9/7
// wavelet and the finest quality steps.
std::string EncodeAtRatio(const Image& im, double ratio, bool reversible) {
    const uint32_t n = reversible ? 3 : 1;
    const IntPair sizes[3] = {IntPair(im.w, im.h), IntPair(im.w, im.h), IntPair(im.w, im.h)};
    ComponentPlanes planes;
    planes.Allocate(sizes, n);
    const std::vector<double> luma = Luma(im);
    for (uint32_t c = 0; c < n; ++c)
        for (int y = 0; y < im.h; ++y)
            for (int x = 0; x < im.w; ++x)
                reinterpret_cast<int32_t*>(reinterpret_cast<uint8_t*>(planes.Data(c)) + y * planes.Step(c))[x] =
                    reversible ? im.at(x, y, int(c)) : int32_t(std::lround(luma[size_t(y) * im.w + x]));
    J2KEncodeParams p(reversible);
    p.quality = 100;
    p.rate = ratio;
    const uint8_t ssiz[3] = {7, 7, 7};
    CodestreamBuffer out;
    encodeCodestream(out, uint16_t(n), ssiz, encoderLevels(uint32_t(im.w), uint32_t(im.h), 5), planes, 8,
                     uint32_t(im.w * im.h) * n, p);
    std::string s(out.Size(), '\0');
    out.ReadOut(s.data(), s.size());
    return s;
}

TEST(EncoderTiles, RateAllocationKeepsTheBudget) {
    const std::string dir = vqtest::scratchDir("j2k_encode_rate");
    const Image im = Picture(256, 256, 3, 17);
    std::vector<double> luma = Luma(im);
    for (double& v : luma)
        v = std::round(v);
    for (bool reversible : {false, true}) {
        double previous = 1e9;
        for (double ratio : {5.0, 10.0, 20.0, 40.0}) {
            const std::string s = EncodeAtRatio(im, ratio, reversible);
            const size_t budget = size_t(256 * 256 * (reversible ? 3 : 1) / ratio);
            EXPECT_LE(PacketBytes(s), budget) << ratio;
            EXPECT_GT(PacketBytes(s), budget * 3 / 4) << ratio;
            const Image d = Decode(dir, s, -1, reversible ? 3 : 1);
            const double psnr = reversible ? Psnr(std::vector<double>(im.px.begin(), im.px.end()), d) : Psnr(luma, d);
            // Most blocks are cut somewhere in their passes, some within their
            // last bit-plane; our decoder reconstructs them as opj_decompress does.
            const j2ktest::DecodeResult ours = j2ktest::DecodeCodestream(s);
            ASSERT_TRUE(ours.ok) << ours.error;
            ASSERT_EQ(ours.planes.size(), size_t(d.channels));
            for (int k = 0; k < d.channels; ++k) {
                std::vector<uint8_t> theirs(size_t(d.w) * d.h);
                for (size_t i = 0; i < theirs.size(); ++i)
                    theirs[i] = d.px[i * size_t(d.channels) + size_t(k)];
                EXPECT_LE(WorstDifference(To8Bits(ours.planes[k]), theirs), 1)
                    << ratio << (reversible ? " 5/3" : " 9/7") << " c" << k;
            }
            EXPECT_LT(psnr, previous) << ratio << (reversible ? " 5/3" : " 9/7");
            EXPECT_GT(psnr, 20.0) << ratio << (reversible ? " 5/3" : " 9/7");
            previous = psnr;
        }
    }
}

TEST(EncoderTiles, FormatsAndRefusals) {
    const std::string dir = vqtest::scratchDir("j2k_encode_formats");
    vq_ptr<vq_tileEncoder_base> enc;
    ASSERT_TRUE(createJ2KTileEncoder(enc.put()));
    EXPECT_FALSE(createJ2KTileEncoder(nullptr));
    EXPECT_TRUE(enc->supportsYCbCr());
    EXPECT_FALSE(enc->setSourceTables(nullptr));
    int probe = 0;
    EXPECT_EQ(enc->self(&probe), &probe);

    // Four channels: refused with the message.
    for (int32_t format : {vq_fmt8uC4, vq_fmtRGBA32}) {
        vq_ptr<imageContainer> c = Container(Picture(8, 8, 3, 1), format);
        CountingStream out;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(enc->encodeTile(c.get(), &out)) << format;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unhandled format\n");
        EXPECT_EQ(out.getSize(), 0u);
    }

    // One grey channel: one component with the container's samples.
    const Image grey = Picture(21, 13, 1, 9);
    vq_ptr<imageContainer> g = Container(grey, vq_fmtGray8);
    enc->setFullChroma(true);
    CountingStream gs;
    ASSERT_TRUE(enc->encodeTile(g.get(), &gs));
    EXPECT_EQ(gs.bytes().substr(40, 6), std::string("\x00\x01\x07\x01\x01\xFF", 6));
    EXPECT_EQ(Decode(dir, gs.bytes(), -1, 1).px, grey.px);
    enc->setFullChroma(false);
}

// Y, Cb, Cr planes of the given sizes, filled with a ramp.
vq_ptr<imageContainer> Plane(int32_t format, int w, int h, int base) {
    vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    EXPECT_TRUE(c->create(format, w, h, true));
    uint8_t* data = nullptr;
    int32_t step = 0;
    c->lockPixels(&data, &step);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            data[size_t(y) * step + x] = uint8_t(base + 3 * x + 2 * y);
    c->unlockPixels();
    return c;
}

TEST(EncoderTiles, YCbCrPlanes) {
    const std::string dir = vqtest::scratchDir("j2k_encode_ycbcr");
    vq_ptr<vq_tileEncoder_base> enc;
    ASSERT_TRUE(createJ2KTileEncoder(enc.put()));
    enc->setQuality(90);
    const int w = 37, h = 20;
    vq_ptr<imageContainer> y = Plane(vq_fmtPlaneY, w, h, 10);
    // 4:2:2 planes as given.
    {
        vq_ptr<imageContainer> cb = Plane(vq_fmtPlaneCb, (w + 1) / 2, h, 60), cr = Plane(vq_fmtPlaneCr, (w + 1) / 2, h, 90);
        enc->setSubsampling(2);
        CountingStream out;
        ASSERT_TRUE(enc->encodeTileYCbCr(y.get(), cb.get(), cr.get(), 2, &out));
        for (int k = 0; k < 3; ++k) {
            const Image d = Decode(dir, out.bytes(), k, 1);
            EXPECT_EQ(d.w, k == 0 ? w : (w + 1) / 2);
            EXPECT_EQ(d.h, h);
        }
        // The Cb samples come back close to what went in.
        const Image d = Decode(dir, out.bytes(), 1, 1);
        EXPECT_NEAR(d.at(5, 5, 0), 60 + 15 + 10, 3);
    }
    // 4:2:0 planes are brought to 4:2:2 first.
    {
        vq_ptr<imageContainer> cb = Plane(vq_fmtPlaneCb, (w + 1) / 2, h / 2, 60),
                               cr = Plane(vq_fmtPlaneCr, (w + 1) / 2, h / 2, 90);
        CountingStream out;
        ASSERT_TRUE(enc->encodeTileYCbCr(y.get(), cb.get(), cr.get(), 4, &out));
        const Image d = Decode(dir, out.bytes(), 2, 1);
        EXPECT_EQ(d.w, (w + 1) / 2);
        EXPECT_EQ(d.h, h);
    }
    // Refusals: subsampling not determined, an encoder not set to 4:2:2, missing planes.
    {
        vq_ptr<imageContainer> cb = Plane(vq_fmtPlaneCb, w, h, 60), cr = Plane(vq_fmtPlaneCr, w, h, 90);
        CountingStream out;
        EXPECT_FALSE(enc->encodeTileYCbCr(y.get(), cb.get(), cr.get(), 5, &out));
        enc->setSubsampling(5);
        EXPECT_FALSE(enc->encodeTileYCbCr(y.get(), cb.get(), cr.get(), 1, &out));
        enc->setSubsampling(3);
        EXPECT_FALSE(enc->encodeTileYCbCr(y.get(), cb.get(), cr.get(), 1, &out));
        enc->setSubsampling(2);
        EXPECT_FALSE(enc->encodeTileYCbCr(nullptr, cb.get(), cr.get(), 1, &out));
        EXPECT_FALSE(enc->encodeTileYCbCr(y.get(), cb.get(), cr.get(), 1, nullptr));
        vq_ptr<imageContainer> empty = vq_ptr<imageContainer>::adopt(imageContainer::create());
        EXPECT_FALSE(enc->encodeTileYCbCr(empty.get(), cb.get(), cr.get(), 1, &out));
        EXPECT_EQ(out.getSize(), 0u);

        // Full chroma with 4:4:4 planes: coded losslessly as RGB, not refused.
        enc->setSubsampling(1);
        enc->setFullChroma(true);
        ASSERT_TRUE(enc->encodeTileYCbCr(y.get(), cb.get(), cr.get(), 1, &out));
        vq_ptr<imageContainer> rgb = vq_ptr<imageContainer>::adopt(imageContainer::create());
        ASSERT_TRUE(rgb->fromYCbCrPlanes(y.get(), cb.get(), cr.get(), 1));
        const uint8_t* px = nullptr;
        int32_t step = 0;
        rgb->lockPixelsConst(&px, &step);
        const Image d = Decode(dir, out.bytes(), -1, 3);
        ASSERT_EQ(d.w, w);
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(d.at(i, j, c), px[size_t(j) * step + 3 * i + c]) << i << "," << j;
        rgb->unlockPixels();
    }
}

} // namespace
