// The JPEG codec against djpeg of the same streams.
#include "tests/support/test_env.h"
#include "tests/tiff/tiff_fixture.h"
#include "tiff/vqtiff_internal.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace tifftest;
using namespace vqtiff;

namespace {

// djpeg's RGB pixels of tables + image joined into one stream.
Bytes djpegOf(const Bytes& tables, const Bytes& image) {
    std::string djpeg = vqtest::requireTool("djpeg");
    std::string dir = vqtest::scratchDir("tiff_jpeg");
    Bytes joined(tables.begin(), tables.end() - 2); // without EOI
    joined.insert(joined.end(), image.begin() + 2, image.end()); // without SOI
    std::string in = dir + "/s.jpg", out = dir + "/s.ppm";
    vqtest::writeFile(in, std::string(joined.begin(), joined.end()));
    EXPECT_EQ(vqtest::runCommand(djpeg + " -ppm -outfile " + out + " " + in), 0);
    std::string ppm = vqtest::readFile(out);
    // P6\n<w> <h>\n255\n<data>
    size_t pos = 0;
    for (int fields = 0; fields < 4; ++fields) {
        while (pos < ppm.size() && isspace(uint8_t(ppm[pos]))) ++pos;
        while (pos < ppm.size() && !isspace(uint8_t(ppm[pos]))) ++pos;
    }
    ++pos;
    return Bytes(ppm.begin() + long(pos), ppm.end());
}

std::vector<Entry> jpegTags(uint32_t w, uint32_t l, const Bytes& tables, uint16_t photometric) {
    std::vector<Entry> e = {longs(256, {w}), longs(257, {l}), shorts(258, {8, 8, 8}), shorts(259, {7}),
                            shorts(262, {photometric}), shorts(277, {3}), shorts(284, {1})};
    Entry t = bytes(347, TYPE_UNDEFINED, tables);
    e.push_back(t);
    return e;
}

} // namespace

TEST(TiffJpeg, TilesAndStripsInColourModeOneMatchDjpeg) {
    // Tiled: 64 x 48 image of 32 x 32 tiles, 2 x 2 subsampling.
    {
        std::vector<Bytes> rgb;
        std::vector<std::pair<int, int>> sizes;
        for (int t = 0; t < 4; ++t) {
            rgb.push_back(pattern(32 * 32 * 3, uint32_t(t + 1)));
            sizes.push_back({32, 32});
        }
        JpegSet js = encodeAbbreviated(rgb, sizes, 2, 2);
        TiffBuilder b;
        std::vector<uint32_t> offsets, counts;
        for (auto& img : js.images) {
            offsets.push_back(uint32_t(b.addData(img)));
            counts.push_back(uint32_t(img.size()));
        }
        auto e = jpegTags(64, 48, js.tables, PHOTOMETRIC_YCBCR);
        e.push_back(longs(322, {32}));
        e.push_back(longs(323, {32}));
        e.push_back(longs(324, offsets));
        e.push_back(longs(325, counts));
        e.push_back(shorts(530, {2, 2}));
        b.addIfd(e);
        MemFile f;
        f.data = b.bytes();
        MessageLog log;
        TIFFHandle* h = openMem(f, "rm");
        ASSERT_NE(h, nullptr) << log.all();
        ASSERT_EQ(TIFFSetField(h, TAG_JPEGColorMode, JPEGCOLORMODE_RGB), 1);
        EXPECT_EQ(TIFFWholeTileSize(h), 32u * 32 * 3);
        for (uint32_t t = 0; t < 4; ++t) {
            Bytes out(32 * 32 * 3);
            ASSERT_EQ(TIFFReadEncodedTile(h, t, out.data(), -1), int64_t(out.size())) << log.all();
            EXPECT_EQ(out, djpegOf(js.tables, js.images[t])) << "tile " << t;
        }
        // The raw tile and the tables reassemble the stream a reader decodes itself.
        Bytes raw(counts[1]);
        EXPECT_EQ(TIFFReadRawTile(h, 1, raw.data(), -1), int64_t(counts[1]));
        EXPECT_EQ(raw, js.images[1]);
        uint32_t tablesLength = 0;
        void* tables = nullptr;
        ASSERT_EQ(TIFFQueryField(h, TAG_JPEGTables, &tablesLength, &tables), 1);
        EXPECT_EQ(Bytes(static_cast<uint8_t*>(tables), static_cast<uint8_t*>(tables) + tablesLength), js.tables);
        uint16_t hs = 0, vs = 0;
        EXPECT_EQ(TIFFQueryField(h, TAG_YCbCrSubsampling, &hs, &vs), 1);
        EXPECT_EQ(hs, 2);
        TIFFCloseFile(h);
    }
    // Stripped: 40 x 40 in strips of 16 rows; the last strip holds 8 rows.
    {
        std::vector<Bytes> rgb;
        std::vector<std::pair<int, int>> sizes;
        for (int s = 0; s < 3; ++s) {
            int rows = s < 2 ? 16 : 8;
            rgb.push_back(pattern(size_t(40) * rows * 3, uint32_t(s + 10)));
            sizes.push_back({40, rows});
        }
        JpegSet js = encodeAbbreviated(rgb, sizes, 2, 2);
        TiffBuilder b;
        std::vector<uint32_t> offsets, counts;
        for (auto& img : js.images) {
            offsets.push_back(uint32_t(b.addData(img)));
            counts.push_back(uint32_t(img.size()));
        }
        auto e = jpegTags(40, 40, js.tables, PHOTOMETRIC_YCBCR);
        e.push_back(longs(273, offsets));
        e.push_back(longs(278, {16}));
        e.push_back(longs(279, counts));
        b.addIfd(e);
        MemFile f;
        f.data = b.bytes();
        MessageLog log;
        TIFFHandle* h = openMem(f, "rm");
        ASSERT_NE(h, nullptr) << log.all();
        ASSERT_EQ(TIFFSetField(h, TAG_JPEGColorMode, JPEGCOLORMODE_RGB), 1);
        for (uint32_t s = 0; s < 3; ++s) {
            Bytes out(40 * 16 * 3);
            int64_t expected = int64_t(40) * sizes[s].second * 3;
            ASSERT_EQ(TIFFReadDecodedStrip(h, s, out.data(), -1), expected) << log.all();
            out.resize(size_t(expected));
            EXPECT_EQ(out, djpegOf(js.tables, js.images[s])) << "strip " << s;
        }
        TIFFCloseFile(h);
    }
}

TEST(TiffJpeg, RawDownsampledDataAndSubsamplingQueries) {
    std::vector<Bytes> rgb = {pattern(16 * 16 * 3, 3)};
    // Directory without YCbCrSubsampling; the data says 2 x 1.
    JpegSet js = encodeAbbreviated(rgb, {{16, 16}}, 2, 1);
    TiffBuilder b;
    uint32_t at = uint32_t(b.addData(js.images[0]));
    auto e = jpegTags(16, 16, js.tables, PHOTOMETRIC_YCBCR);
    e.push_back(longs(273, {at}));
    e.push_back(longs(278, {16}));
    e.push_back(longs(279, {uint32_t(js.images[0].size())}));
    b.addIfd(e);
    MemFile f;
    f.data = b.bytes();
    MessageLog log;
    TIFFHandle* h = openMem(f, "rm");
    ASSERT_NE(h, nullptr);
    uint16_t hs = 0, vs = 0;
    EXPECT_EQ(TIFFQueryField(h, TAG_YCbCrSubsampling, &hs, &vs), 1);
    EXPECT_EQ(hs, 2);
    EXPECT_EQ(vs, 1);
    EXPECT_TRUE(log.hasWarning("Improper JPEG sampling factors 2,1\nApparently should be 2,2."));
    EXPECT_TRUE(log.hasWarning("Decompressor will try reading with sampling 2,1."));
    // Colour mode 0: clumps of 2 x 1 luminance samples and Cb, Cr.
    Bytes out(16 * 16 * 2);
    EXPECT_EQ(TIFFReadDecodedStrip(h, 0, out.data(), -1), int64_t(16 * 16 * 2)) << log.all();
    TIFFCloseFile(h);

    // An RGB image has no subsampling to report.
    JpegSet rgbSet = encodeAbbreviated(rgb, {{16, 16}}, 1, 1, false);
    TiffBuilder c;
    at = uint32_t(c.addData(rgbSet.images[0]));
    auto e2 = jpegTags(16, 16, rgbSet.tables, PHOTOMETRIC_RGB);
    e2.push_back(longs(273, {at}));
    e2.push_back(longs(278, {16}));
    e2.push_back(longs(279, {uint32_t(rgbSet.images[0].size())}));
    c.addIfd(e2);
    MemFile g;
    g.data = c.bytes();
    h = openMem(g, "rm");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(TIFFQueryField(h, TAG_YCbCrSubsampling, &hs, &vs), 0);
    Bytes pix(16 * 16 * 3);
    EXPECT_EQ(TIFFReadDecodedStrip(h, 0, pix.data(), -1), int64_t(pix.size())) << log.all();
    TIFFCloseFile(h);
}

TEST(TiffJpeg, SizeChecksBogusTablesAndTruncatedStreams) {
    std::vector<Bytes> rgb = {pattern(24 * 16 * 3, 5), pattern(40 * 16 * 3, 6), pattern(32 * 16 * 3, 7)};
    JpegSet js = encodeAbbreviated(rgb, {{24, 16}, {40, 16}, {32, 16}}, 1, 1);
    JpegSet subsampled = encodeAbbreviated({rgb[2]}, {{32, 16}}, 2, 2);
    auto tiled = [&](const Bytes& tables, const Bytes& tile) {
        TiffBuilder b;
        uint32_t at = uint32_t(b.addData(tile));
        auto e = jpegTags(32, 16, tables, PHOTOMETRIC_YCBCR);
        e.push_back(longs(322, {32}));
        e.push_back(longs(323, {16}));
        e.push_back(longs(324, {at}));
        e.push_back(longs(325, {uint32_t(tile.size())}));
        e.push_back(shorts(530, {1, 1}));
        b.addIfd(e);
        return b.bytes();
    };
    struct Case {
        Bytes tables, tile;
        bool ok;
        const char* message;
    } cases[] = {
        {js.tables, js.images[0], true, "Improper JPEG strip/tile size, expected 32x16, got 24x16"},
        {js.tables, js.images[1], false, "JPEG strip/tile size exceeds expected dimensions, expected 32x16, got 40x16"},
        {js.images[2], js.images[2], false, "Bogus JPEGTables field"},
        {js.tables, Bytes(js.images[2].begin(), js.images[2].begin() + long(js.images[2].size() / 2)), true,
         "Premature end of JPEG file"},
        {subsampled.tables, subsampled.images[0], false,
         "Cannot honour JPEG sampling factors that exceed those specified."},
    };
    for (auto& c : cases) {
        MemFile f;
        f.data = tiled(c.tables, c.tile);
        MessageLog log;
        TIFFHandle* h = openMem(f, "rm");
        ASSERT_NE(h, nullptr);
        Bytes out(32 * 16 * 3);
        EXPECT_EQ(TIFFReadEncodedTile(h, 0, out.data(), -1) > 0, c.ok) << c.message << "\n" << log.all();
        EXPECT_TRUE(log.hasError(c.message) || log.hasWarning(c.message)) << c.message << "\n" << log.all();
        TIFFCloseFile(h);
    }
}

TEST(TiffJpeg, CompleteStreamsWithoutJpegTables) {
    std::vector<Bytes> rgb = {pattern(16 * 16 * 3, 8), pattern(16 * 16 * 3, 9)};
    JpegSet js = encodeAbbreviated(rgb, {{16, 16}, {16, 16}}, 2, 2);
    TiffBuilder b;
    std::vector<uint32_t> offsets, counts;
    std::vector<Bytes> complete;
    for (auto& img : js.images) {
        Bytes whole(js.tables.begin(), js.tables.end() - 2);
        whole.insert(whole.end(), img.begin() + 2, img.end());
        complete.push_back(whole);
        offsets.push_back(uint32_t(b.addData(whole)));
        counts.push_back(uint32_t(whole.size()));
    }
    b.addIfd({longs(256, {32}), longs(257, {16}), shorts(258, {8, 8, 8}), shorts(259, {7}), shorts(262, {6}),
              shorts(277, {3}), longs(322, {16}), longs(323, {16}), longs(324, offsets), longs(325, counts),
              shorts(530, {2, 2})});
    MemFile f;
    f.data = b.bytes();
    MessageLog log;
    TIFFHandle* h = openMem(f, "rm");
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(TIFFSetField(h, TAG_JPEGColorMode, JPEGCOLORMODE_RGB), 1);
    uint32_t length = 0;
    void* tables = nullptr;
    EXPECT_EQ(TIFFQueryField(h, TAG_JPEGTables, &length, &tables), 0);
    for (uint32_t t = 0; t < 2; ++t) {
        Bytes out(16 * 16 * 3);
        ASSERT_EQ(TIFFReadEncodedTile(h, t, out.data(), -1), int64_t(out.size())) << log.all();
        EXPECT_EQ(out, djpegOf(js.tables, js.images[t]));
    }
    TIFFCloseFile(h);
}
