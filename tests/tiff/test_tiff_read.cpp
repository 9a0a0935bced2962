// The read path: rows, strips, tiles, raw reads and their failures.
#include "tests/tiff/tiff_fixture.h"
#include "tiff/vqtiff_internal.h"

#include <gtest/gtest.h>

using namespace tifftest;
using namespace vqtiff;

namespace {

// A grey image of `length` rows of `width` bytes in strips of `rps` rows.
Bytes stripFile(uint32_t width, uint32_t length, uint32_t rps, const Bytes& pixels, std::vector<Entry> extra = {},
                bool zeroFirstCount = false) {
    TiffBuilder b;
    std::vector<uint32_t> offsets, counts;
    for (uint32_t row = 0; row < length; row += rps) {
        uint32_t n = std::min(rps, length - row) * width;
        offsets.push_back(uint32_t(b.addData(Bytes(pixels.begin() + row * width, pixels.begin() + row * width + n))));
        counts.push_back(n);
    }
    if (zeroFirstCount) counts[0] = 0;
    std::vector<Entry> e = {longs(256, {width}), longs(257, {length}), shorts(258, {8}), shorts(259, {1}),
                            shorts(262, {1}), longs(273, offsets), longs(278, {rps}), longs(279, counts)};
    for (auto& x : extra) e.push_back(x);
    b.addIfd(e);
    return b.bytes();
}

// A tiled grey image; tile t holds the byte value t + 1 everywhere.
Bytes tileFile(uint32_t width, uint32_t length, uint32_t tw, uint32_t tl, uint32_t shortLast = 0) {
    TiffBuilder b;
    uint32_t across = (width + tw - 1) / tw, down = (length + tl - 1) / tl;
    std::vector<uint32_t> offsets, counts;
    for (uint32_t t = 0; t < across * down; ++t) {
        offsets.push_back(uint32_t(b.addData(Bytes(tw * tl, uint8_t(t + 1)))));
        counts.push_back(tw * tl);
    }
    counts.back() += shortLast; // claims bytes past the end of the file
    b.addIfd({longs(256, {width}), longs(257, {length}), shorts(258, {8}), shorts(259, {1}), shorts(262, {1}),
              longs(322, {tw}), longs(323, {tl}), longs(324, offsets), longs(325, counts)});
    return b.bytes();
}

} // namespace

TEST(TiffRead, RowsInOrderLoadTheStripOnceAndGoingBackRestarts) {
    Bytes pixels = pattern(40 * 20);
    MemFile f;
    f.data = stripFile(40, 20, 10, pixels);
    TIFFHandle* h = openMem(f, "rm");
    ASSERT_NE(h, nullptr);
    // A stripped image gets tile geometry without becoming tiled.
    EXPECT_EQ(TIFFHasTiles(h), 0);
    EXPECT_FALSE(fieldSet(h, FIELD_TILEDIMENSIONS));
    EXPECT_EQ(h->dir.tileWidth, 40u);
    EXPECT_EQ(h->dir.tileLength, 10u);
    Bytes row(40);
    int readsBefore = f.reads;
    for (uint32_t r = 0; r < 10; ++r) {
        ASSERT_EQ(TIFFReadRow(h, row.data(), r, 0), 1);
        EXPECT_EQ(row, Bytes(pixels.begin() + r * 40, pixels.begin() + r * 40 + 40));
    }
    EXPECT_EQ(f.reads - readsBefore, 1);
    ASSERT_EQ(TIFFReadRow(h, row.data(), 5, 0), 1);
    EXPECT_EQ(row, Bytes(pixels.begin() + 200, pixels.begin() + 240));
    EXPECT_EQ(f.reads - readsBefore, 1); // restarted in the loaded strip
    ASSERT_EQ(TIFFReadRow(h, row.data(), 19, 0), 1);
    EXPECT_EQ(row, Bytes(pixels.end() - 40, pixels.end()));
    MessageLog log;
    EXPECT_EQ(TIFFReadRow(h, row.data(), 20, 0), -1);
    EXPECT_TRUE(log.hasError("20: Row out of range, max 20"));
    EXPECT_EQ(TIFFReadEncodedTile(h, 0, row.data(), -1), -1);
    EXPECT_TRUE(log.hasError("Can not read tiles from a stripped image"));
    TIFFCloseFile(h);
}

TEST(TiffRead, LastStripDecodesOnlyItsRows) {
    Bytes pixels = pattern(10 * 100);
    MemFile f;
    f.data = stripFile(10, 100, 16, pixels);
    TIFFHandle* h = openMem(f, "rm");
    ASSERT_NE(h, nullptr);
    Bytes out(160, 0xEE);
    EXPECT_EQ(TIFFReadDecodedStrip(h, 6, out.data(), -1), 40);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 40), Bytes(pixels.begin() + 960, pixels.end()));
    EXPECT_EQ(out[40], 0xEE);
    EXPECT_EQ(TIFFReadDecodedStrip(h, 0, out.data(), 25), 25);
    MessageLog log;
    EXPECT_EQ(TIFFReadDecodedStrip(h, 7, out.data(), -1), -1);
    EXPECT_TRUE(log.hasError("7: Strip out of range, max 7"));
    TIFFCloseFile(h);
}

TEST(TiffRead, ZeroByteCountsAndShortData) {
    Bytes pixels = pattern(8 * 8);
    MemFile f;
    f.data = stripFile(8, 8, 4, pixels, {}, true);
    TIFFHandle* h = openMem(f, "rmc");
    ASSERT_NE(h, nullptr);
    MessageLog log;
    Bytes out(64);
    EXPECT_EQ(TIFFReadRawStrip(h, 0, out.data(), -1), -1);
    EXPECT_TRUE(log.hasError("0: Invalid strip byte count, strip 0"));
    EXPECT_EQ(TIFFStoredStripSize(h, 0), -1);
    EXPECT_EQ(TIFFReadRawStrip(h, 1, out.data(), -1), 32);
    TIFFCloseFile(h);
    // A None strip holding less than a scanline.
    TiffBuilder b;
    uint64_t a0 = b.addData(Bytes(8, 1));
    uint64_t a1 = b.addData(Bytes(6, 1));
    b.addIfd({longs(256, {8}), longs(257, {2}), shorts(258, {8}), shorts(259, {1}), shorts(262, {1}),
              longs(273, {uint32_t(a0), uint32_t(a1)}), longs(278, {1}), longs(279, {8, 6})});
    MemFile g;
    g.data = b.bytes();
    h = openMem(g, "rm");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(TIFFReadRow(h, out.data(), 0, 0), 1);
    EXPECT_EQ(TIFFReadRow(h, out.data(), 1, 0), -1);
    EXPECT_TRUE(log.hasError("DumpModeDecode: Not enough data for scanline 1")) << log.all();
    TIFFCloseFile(h);
}

TEST(TiffRead, TilesRawAndDecoded) {
    MemFile f;
    f.data = tileFile(1280, 512, 256, 256);
    TIFFHandle* h = openMem(f, "rm");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(TIFFHasTiles(h), 1);
    EXPECT_EQ(TIFFNumberOfTiles(h), 10u);
    EXPECT_EQ(TIFFWholeTileSize(h), 65536u);
    Bytes out(65536);
    EXPECT_EQ(TIFFReadEncodedTile(h, 7, out.data(), -1), 65536);
    EXPECT_EQ(out[0], 8);
    EXPECT_EQ(out[65535], 8);
    EXPECT_EQ(TIFFCurrentRow(h), 256u);
    EXPECT_EQ(h->curCol, 512u);
    EXPECT_EQ(TIFFReadRawTile(h, 3, out.data(), 100), 100);
    EXPECT_EQ(TIFFReadRawTile(h, 3, out.data(), -1), 65536);
    EXPECT_EQ(out[100], 4);
    EXPECT_EQ(TIFFTileOfPixel(h, 700, 300, 0, 0), 7u);
    EXPECT_EQ(TIFFReadTileAt(h, out.data(), 700, 300, 0, 0), 65536);
    EXPECT_EQ(out[5], 8);
    MessageLog log;
    EXPECT_EQ(TIFFReadRow(h, out.data(), 0, 0), -1);
    EXPECT_TRUE(log.hasError("Can not read scanlines from a tiled image"));
    EXPECT_EQ(TIFFReadRawTile(h, 10, out.data(), -1), -1);
    EXPECT_TRUE(log.hasError("10: Tile out of range, max 10"));
    TIFFCloseFile(h);
    // The last tile claims bytes beyond the end of the file.
    MemFile g;
    g.data = tileFile(512, 256, 256, 256, 1000);
    h = openMem(g, "rm");
    ASSERT_NE(h, nullptr);
    Bytes wide(70000);
    EXPECT_EQ(TIFFReadRawTile(h, 1, wide.data(), -1), -1);
    EXPECT_TRUE(log.hasError("Read error at row")) << log.all();
    TIFFCloseFile(h);
}

TEST(TiffRead, FillOrderTwoIsBitReversedAndCopiedOutOfTheMapping) {
    Bytes pixels = pattern(16 * 4);
    MemFile f;
    f.allowMap = true;
    f.data = stripFile(16, 4, 4, pixels, {shorts(266, {2})});
    for (bool mapped : {true, false}) {
        TIFFHandle* h = openMem(f, mapped ? "r" : "rm");
        ASSERT_NE(h, nullptr);
        Bytes out(64);
        ASSERT_EQ(TIFFReadDecodedStrip(h, 0, out.data(), -1), 64);
        for (size_t i = 0; i < 64; ++i) EXPECT_EQ(out[i], bitReversalTable(true)[pixels[i]]);
        // The file's bytes are untouched.
        EXPECT_EQ(Bytes(f.data.begin() + 8, f.data.begin() + 72), pixels);
        TIFFCloseFile(h);
    }
}

TEST(TiffRead, SixteenBitBigEndianSamplesComeBackInHostOrder) {
    TiffBuilder b(false, true);
    Bytes stored = {0x01, 0x02, 0x03, 0x04, 0xA0, 0xB0, 0xC0, 0xD0};
    uint64_t at = b.addData(stored);
    b.addIfd({longs(256, {4}), longs(257, {1}), shorts(258, {16}), shorts(259, {1}), shorts(262, {1}),
              longs(273, {uint32_t(at)}), longs(279, {8})});
    MemFile f;
    f.data = b.bytes();
    TIFFHandle* h = openMem(f, "rm");
    ASSERT_NE(h, nullptr);
    uint16_t out[4];
    ASSERT_EQ(TIFFReadDecodedStrip(h, 0, out, -1), 8);
    EXPECT_EQ(out[0], 0x0102);
    EXPECT_EQ(out[3], 0xC0D0);
    Bytes raw(8);
    EXPECT_EQ(TIFFReadRawStrip(h, 0, raw.data(), -1), 8);
    EXPECT_EQ(raw, stored);
    TIFFCloseFile(h);
}
