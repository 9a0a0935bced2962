// The OpenJPEG tile encoder: its code-streams as opj_dump sees them, their
// decodes by opj_decompress against an independently computed YCbCr 4:2:2
// reference, the quality mapping and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/base/imageContainer.h"
#include "j2k/decode_harness.h"
#include "engine/base/stream.h"
#include "j2k/openjpeg/ojpeg_tile_encoder.h"
#include "j2k/openjpeg/opj_cio.h"
#include "openjpeg_fixture.h"
#include "support/test_env.h"

namespace {

using opjtest::Pnm;

// A container of the format filled from an RGB pattern (BGR and four-channel
// formats get the same colours in their own layout; the fourth byte is 77).
vq_ptr<imageContainer> makeTile(int32_t format, const Pnm& rgb) {
    auto tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
    EXPECT_TRUE(tile->create(format, rgb.width, rgb.height, false));
    uint8_t* data = nullptr;
    int32_t step = 0;
    tile->lockPixels(&data, &step);
    const int32_t channels = tile->getChannels();
    for (int y = 0; y < rgb.height; ++y)
        for (int x = 0; x < rgb.width; ++x) {
            const uint8_t* s = &rgb.samples[(static_cast<size_t>(y) * rgb.width + x) * 3];
            uint8_t* d = data + static_cast<ptrdiff_t>(y) * step + x * channels;
            if (channels == 1) {
                d[0] = s[1];
            } else if (format == vq_fmtBGR24) {
                d[0] = s[2], d[1] = s[1], d[2] = s[0];
            } else {
                d[0] = s[0], d[1] = s[1], d[2] = s[2];
                if (channels == 4) d[3] = 77;
            }
        }
    tile->unlockPixels();
    return tile;
}

// Encodes a tile; the code-stream, or an empty string on failure.
std::string encode(const vq_ptr<imageContainer>& tile, int quality, bool* ok = nullptr) {
    vq_tileEncoder_base* encoder = nullptr;
    EXPECT_TRUE(createJ2KOjpegTileEncoder(&encoder));
    encoder->setQuality(quality);
    vq_stream* out = nullptr;
    EXPECT_EQ(0, createMemoryWriteStream(0, &out));
    bool result = encoder->encodeTile(tile.get(), out);
    if (ok) *ok = result;
    std::string bytes;
    auto* memory = static_cast<vq_memoryWriteStream*>(out);
    bytes.assign(reinterpret_cast<const char*>(memory->getData()), memory->getSize());
    out->release();
    encoder->release();
    return bytes;
}

// The reference planes, computed here with the JFIF equations in floating
// point: Y full size, Cb and Cr as means of horizontal pairs (the odd last
// column alone).
struct Reference {
    std::vector<double> y, cb, cr;
    int width = 0, chromaWidth = 0, height = 0;
};

Reference reference(const Pnm& rgb) {
    Reference r;
    r.width = rgb.width;
    r.height = rgb.height;
    r.chromaWidth = (rgb.width + 1) / 2;
    std::vector<double> cb(static_cast<size_t>(rgb.width) * rgb.height), cr(cb.size());
    r.y.resize(cb.size());
    for (size_t i = 0; i < cb.size(); ++i) {
        double R = rgb.samples[i * 3], G = rgb.samples[i * 3 + 1], B = rgb.samples[i * 3 + 2];
        r.y[i] = 0.299 * R + 0.587 * G + 0.114 * B;
        cb[i] = -0.168736 * R - 0.331264 * G + 0.5 * B + 128;
        cr[i] = 0.5 * R - 0.418688 * G - 0.081312 * B + 128;
    }
    for (int y = 0; y < rgb.height; ++y)
        for (int x = 0; x < r.chromaWidth; ++x) {
            size_t a = static_cast<size_t>(y) * rgb.width + 2 * x;
            size_t b = 2 * x + 1 < rgb.width ? a + 1 : a;
            r.cb.push_back((cb[a] + cb[b]) / 2);
            r.cr.push_back((cr[a] + cr[b]) / 2);
        }
    return r;
}

double psnrAgainst(const std::vector<double>& expected, const Pnm& got) {
    EXPECT_EQ(expected.size(), got.samples.size());
    if (expected.size() != got.samples.size()) return 0;
    double sum = 0;
    for (size_t i = 0; i < expected.size(); ++i) sum += (expected[i] - got.samples[i]) * (expected[i] - got.samples[i]);
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * expected.size() / sum);
}

// One channel of an RGB pattern.
std::vector<double> channel(const Pnm& rgb, int k) {
    std::vector<double> out;
    for (size_t i = k; i < rgb.samples.size(); i += 3) out.push_back(rgb.samples[i]);
    return out;
}

struct Decoded {
    Pnm component[3];
};

// opj_decompress takes three components with halved chroma for sYCC and
// writes them converted to R, G, B at full size, one PGM file each.
bool decodeWithTool(const std::string& dir, const std::string& codestream, Decoded* out) {
    std::string j2k = dir + "/tile.j2k";
    if (!vqtest::writeFile(j2k, codestream)) return false;
    std::string tool = vqtest::requireTool("opj_decompress");
    if (vqtest::runCommand(tool + " -i " + j2k + " -o " + dir + "/tile.ppm -split-pnm >/dev/null") != 0) return false;
    for (int k = 0; k < 3; ++k)
        if (!opjtest::readPnm(dir + "/tile_" + std::to_string(k) + ".pgm", &out->component[k])) return false;
    return true;
}

std::string dump(const std::string& dir, const std::string& codestream) {
    std::string j2k = dir + "/dump.j2k";
    EXPECT_TRUE(vqtest::writeFile(j2k, codestream));
    std::string text;
    EXPECT_EQ(0, vqtest::runCommand(vqtest::requireTool("opj_dump") + " -i " + j2k + " 2>&1", &text));
    return text;
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(OjpegTileEncoder, CodestreamIs422With97AndNoComponentTransform) {
    // An odd width: chroma gets ceil(W / 2) columns.
    Pnm rgb = opjtest::makePattern(65, 48, 3, 11);
    vq_ptr<imageContainer> tile = makeTile(vq_fmtRGB24, rgb);
    bool ok = false;
    std::string bytes = encode(tile, 50, &ok);
    ASSERT_TRUE(ok);
    std::string dir = vqtest::scratchDir("ojpeg_dump");
    std::string text = dump(dir, bytes);
    EXPECT_NE(text.find("x1=65, y1=48"), std::string::npos) << text;
    EXPECT_NE(text.find("numcomps=3"), std::string::npos);
    EXPECT_EQ(count(text, "dx=1, dy=1"), 1u) << text;
    EXPECT_EQ(count(text, "dx=2, dy=1"), 2u);
    EXPECT_EQ(count(text, "prec=8"), 3u);
    EXPECT_EQ(count(text, "sgnd=0"), 3u);
    EXPECT_NE(text.find("mct=0"), std::string::npos);
    EXPECT_EQ(text.find("mct=1"), std::string::npos);
    EXPECT_EQ(count(text, "qmfbid=0"), 3u);  // 9/7 on every component
    EXPECT_EQ(text.find("qmfbid=1"), std::string::npos);
    EXPECT_NE(text.find("numlayers=1"), std::string::npos);

    // The library's own decode shows the component sizes and the YCbCr
    // samples before any colour conversion.
    opj_image_t* image = vq_opj_decode_j2k(reinterpret_cast<const uint8_t*>(bytes.data()),
                                           static_cast<int64_t>(bytes.size()), 0);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->numcomps, 3u);
    Reference ref = reference(rgb);
    const std::vector<double>* planes[3] = {&ref.y, &ref.cb, &ref.cr};
    const uint32_t widths[3] = {65, 33, 33};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(image->comps[k].w, widths[k]);
        EXPECT_EQ(image->comps[k].h, 48u);
        Pnm plane;
        plane.width = static_cast<int>(image->comps[k].w);
        plane.height = static_cast<int>(image->comps[k].h);
        plane.channels = 1;
        for (size_t i = 0; i < static_cast<size_t>(plane.width) * plane.height; ++i)
            plane.samples.push_back(static_cast<uint8_t>(std::clamp(image->comps[k].data[i], 0, 255)));
        EXPECT_GT(psnrAgainst(*planes[k], plane), 30) << k;
    }
    opj_image_destroy(image);
}

TEST(OjpegTileEncoder, DecodesAbovePsnrFloorAndGrowsWithQuality) {
    Pnm rgb = opjtest::makePattern(128, 96, 3, 5);
    vq_ptr<imageContainer> tile = makeTile(vq_fmtRGB24, rgb);
    std::string dir = vqtest::scratchDir("ojpeg_quality");
    struct Case {
        int quality;
        // dB on each of R, G, B; the pattern's independent noise per channel
        // keeps halved chroma from reaching much above 35 dB in R and B.
        double floor;
    } cases[] = {{1, 15}, {25, 17}, {50, 25}, {75, 30}, {100, 32}};
    size_t previousSize = 0;
    double previousG = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.quality);
        std::string bytes = encode(tile, c.quality);
        ASSERT_FALSE(bytes.empty());
        EXPECT_GT(bytes.size(), previousSize);
        previousSize = bytes.size();
        Decoded decoded;
        ASSERT_TRUE(decodeWithTool(dir, bytes, &decoded));
        double g = 0;
        for (int k = 0; k < 3; ++k) {
            double value = psnrAgainst(channel(rgb, k), decoded.component[k]);
            EXPECT_GT(value, c.floor) << "channel " << k;
            if (k == 1) g = value;
        }
        EXPECT_GT(g, previousG);
        previousG = g;
    }
    // Qualities outside 1..100 are clamped.
    EXPECT_EQ(vq_J2K_OJPEG_TileEncoder::targetPsnr(0), vq_J2K_OJPEG_TileEncoder::targetPsnr(1));
    EXPECT_EQ(vq_J2K_OJPEG_TileEncoder::targetPsnr(250), vq_J2K_OJPEG_TileEncoder::targetPsnr(100));
    EXPECT_DOUBLE_EQ(vq_J2K_OJPEG_TileEncoder::targetPsnr(50), 35.0);
}

TEST(OjpegTileEncoder, OurDecoderReadsTheCodestreamLikeOpenJpeg) {
    Pnm rgb = opjtest::makePattern(96, 64, 3, 8);
    vq_ptr<imageContainer> tile = makeTile(vq_fmtRGB24, rgb);
    std::string bytes = encode(tile, 80);
    ASSERT_FALSE(bytes.empty());
    j2ktest::DecodeResult ours = j2ktest::DecodeCodestream(bytes);
    ASSERT_TRUE(ours.ok) << ours.error;
    ASSERT_EQ(ours.planes.size(), 3u);
    opj_image_t* image = vq_opj_decode_j2k(reinterpret_cast<const uint8_t*>(bytes.data()),
                                           static_cast<int64_t>(bytes.size()), 0);
    ASSERT_NE(image, nullptr);
    Reference ref = reference(rgb);
    const std::vector<double>* planes[3] = {&ref.y, &ref.cb, &ref.cr};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(ours.widths[k], k == 0 ? 96 : 48);
        EXPECT_EQ(ours.heights[k], 64);
        std::vector<int32_t> theirs(image->comps[k].data, image->comps[k].data + image->comps[k].w * image->comps[k].h);
        // Both decoders round the same 9/7 samples; they differ by a unit at most here and there.
        EXPECT_GT(j2ktest::Psnr(theirs, ours.planes[k], 255), 45);
        Pnm plane;
        for (int32_t v : ours.planes[k]) plane.samples.push_back(static_cast<uint8_t>(std::clamp(v, 0, 255)));
        EXPECT_GT(psnrAgainst(*planes[k], plane), 30);
    }
    opj_image_destroy(image);
}

TEST(OjpegTileEncoder, TinyTilesEncodeWithFewerResolutions) {
    std::string dir = vqtest::scratchDir("ojpeg_tiny");
    const int sizes[][2] = {{1, 1}, {3, 2}, {2, 9}, {40, 3}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(std::to_string(s[0]) + "x" + std::to_string(s[1]));
        Pnm rgb = opjtest::makePattern(s[0], s[1], 3, 2);
        vq_ptr<imageContainer> tile = makeTile(vq_fmtRGB24, rgb);
        bool ok = false;
        std::string bytes = encode(tile, 90, &ok);
        ASSERT_TRUE(ok);
        Decoded decoded;
        ASSERT_TRUE(decodeWithTool(dir, bytes, &decoded));
        EXPECT_EQ(decoded.component[2].width, s[0]);
        EXPECT_EQ(decoded.component[2].height, s[1]);
        EXPECT_GT(psnrAgainst(channel(rgb, 1), decoded.component[1]), 25);
    }
}

TEST(OjpegTileEncoder, BgrAndFourChannelTilesCodeTheirFirstThreeColours) {
    Pnm rgb = opjtest::makePattern(36, 20, 3, 9);
    vq_ptr<imageContainer> base = makeTile(vq_fmtRGB24, rgb);
    std::string expected = encode(base, 60);
    ASSERT_FALSE(expected.empty());
    for (int32_t format : {vq_fmtBGR24, vq_fmt8uC4, vq_fmtRGBA32}) {
        SCOPED_TRACE(format);
        vq_ptr<imageContainer> tile = makeTile(format, rgb);
        EXPECT_TRUE(encode(tile, 60) == expected);
    }
}

TEST(OjpegTileEncoder, RefusalsAreReportedToTheLog) {
    opjtest::RecordingSink sink;
    ReaderMessageScope scope(&sink);
    Pnm rgb = opjtest::makePattern(16, 16, 3, 1);
    struct Case {
        int32_t format;
        const char* message;
    } cases[] = {
        {vq_fmtGray8C1, "Unhandled component count 1\n"},
        {vq_fmtGray8, "Unhandled component count 1\n"},
        {vq_fmtRGB48, "Unhandled format\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        vq_ptr<imageContainer> tile = makeTile(c.format, rgb);
        bool ok = true;
        std::string bytes = encode(tile, 50, &ok);
        EXPECT_FALSE(ok);
        EXPECT_TRUE(bytes.empty());
        EXPECT_TRUE(sink.contains(c.message));
    }
    vq_tileEncoder_base* encoder = nullptr;
    EXPECT_FALSE(createJ2KOjpegTileEncoder(nullptr));
    ASSERT_TRUE(createJ2KOjpegTileEncoder(&encoder));
    EXPECT_EQ(encoder->refCount(), 1);
    EXPECT_FALSE(encoder->encodeTile(nullptr, nullptr));
    EXPECT_FALSE(encoder->supportsYCbCr());
    encoder->release();
}

}  // namespace
