// Writing TIFF files: every open mode and encoder read back by the library
// and by tifffile, a hand-derived golden file, directory entries as tifffile
// sees them, SubIFD patching, the write path's refusals and a full disk.
#include "tests/tiff/tiff_write_support.h"
#include "tests/support/test_env.h"
#include "tiff/vqtiff_internal.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

using namespace vqtiff;
using namespace tifftest;

namespace {

// An image and how it is laid out in the file.
struct Image {
    uint32_t width, height;
    uint16_t samples, bits;
    bool tiled;
    uint32_t block; // rows per strip, or tile width and length
    Bytes pixels;   // host order, contiguous
    size_t rowBytes() const { return size_t(width) * samples * bits / 8; }
};

Image makeImage(uint32_t w, uint32_t h, uint16_t samples, uint16_t bits, bool tiled, uint32_t block, uint32_t seed) {
    Image im{w, h, samples, bits, tiled, block, {}};
    im.pixels = pattern(im.rowBytes() * h, seed);
    return im;
}

void setTags(TIFFHandle* t, const Image& im, uint16_t compression, int predictor) {
    ASSERT_EQ(TIFFSetField(t, TAG_ImageWidth, im.width), 1);
    ASSERT_EQ(TIFFSetField(t, TAG_ImageLength, im.height), 1);
    ASSERT_EQ(TIFFSetField(t, TAG_BitsPerSample, int(im.bits)), 1);
    ASSERT_EQ(TIFFSetField(t, TAG_SamplesPerPixel, int(im.samples)), 1);
    ASSERT_EQ(TIFFSetField(t, TAG_PlanarConfiguration, int(PLANAR_CONTIG)), 1);
    ASSERT_EQ(TIFFSetField(t, TAG_PhotometricInterpretation,
                           int(im.samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK)),
              1);
    ASSERT_EQ(TIFFSetField(t, TAG_Compression, int(compression)), 1);
    if (predictor) {
        ASSERT_EQ(TIFFSetField(t, TAG_Predictor, predictor), 1);
    }
    if (im.tiled) {
        ASSERT_EQ(TIFFSetField(t, TAG_TileWidth, im.block), 1);
        ASSERT_EQ(TIFFSetField(t, TAG_TileLength, im.block), 1);
    } else {
        ASSERT_EQ(TIFFSetField(t, TAG_RowsPerStrip, im.block), 1);
    }
}

// The block of the image that strip or tile `index` covers, zero-padded to
// whole tiles.
Bytes cutBlock(const Image& im, uint32_t index) {
    const size_t px = size_t(im.samples) * im.bits / 8;
    if (!im.tiled) {
        size_t first = size_t(index) * im.block;
        size_t rows = std::min<size_t>(im.block, im.height - first);
        return Bytes(im.pixels.begin() + first * im.rowBytes(), im.pixels.begin() + (first + rows) * im.rowBytes());
    }
    uint32_t across = (im.width + im.block - 1) / im.block;
    uint32_t x0 = (index % across) * im.block, y0 = (index / across) * im.block;
    Bytes out(size_t(im.block) * im.block * px, 0);
    for (uint32_t y = 0; y < im.block && y0 + y < im.height; ++y)
        for (uint32_t x = 0; x < im.block && x0 + x < im.width; ++x)
            std::memcpy(&out[(size_t(y) * im.block + x) * px], &im.pixels[(size_t(y0 + y) * im.width + x0 + x) * px],
                        px);
    return out;
}

uint32_t blockCount(const Image& im) {
    if (!im.tiled) return (im.height + im.block - 1) / im.block;
    return ((im.width + im.block - 1) / im.block) * ((im.height + im.block - 1) / im.block);
}

// Writes one directory's data through the strip, tile or scanline calls.
void writeImage(TIFFHandle* t, const Image& im, bool scanlines) {
    if (scanlines) {
        for (uint32_t row = 0; row < im.height; ++row) {
            Bytes line(im.pixels.begin() + row * im.rowBytes(), im.pixels.begin() + (row + 1) * im.rowBytes());
            ASSERT_EQ(TIFFWriteScanline(t, line.data(), row, 0), 1) << "row " << row;
        }
        return;
    }
    for (uint32_t i = 0; i < blockCount(im); ++i) {
        Bytes block = cutBlock(im, i); // the library may change the caller's buffer
        int64_t n = im.tiled ? TIFFWriteEncodedTile(t, i, block.data(), int64_t(block.size()))
                             : TIFFWriteEncodedStrip(t, i, block.data(), int64_t(block.size()));
        ASSERT_EQ(n, int64_t(block.size())) << "block " << i;
    }
}

// Reads directory `dir` back through the library and compares every block.
void expectReadsBack(MemFile& file, uint16_t dir, const Image& im) {
    MemFile copy;
    copy.data = file.data;
    TIFFHandle* t = openMem(copy, "rm");
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(TIFFSelectDirectory(t, dir), 1);
    ASSERT_EQ(TIFFHasTiles(t), im.tiled ? 1 : 0);
    for (uint32_t i = 0; i < blockCount(im); ++i) {
        Bytes want = cutBlock(im, i), got(want.size() + 16, 0xAA);
        int64_t n = im.tiled ? TIFFReadEncodedTile(t, i, got.data(), int64_t(want.size()))
                             : TIFFReadDecodedStrip(t, i, got.data(), int64_t(want.size()));
        ASSERT_EQ(n, int64_t(want.size())) << "block " << i;
        if (im.tiled) {
            // Only the pixels inside the image are defined.
            Image decoded = im;
            uint32_t across = (im.width + im.block - 1) / im.block;
            uint32_t x0 = (i % across) * im.block, y0 = (i / across) * im.block;
            const size_t px = size_t(im.samples) * im.bits / 8;
            for (uint32_t y = 0; y < im.block && y0 + y < im.height; ++y)
                for (uint32_t x = 0; x < im.block && x0 + x < im.width; ++x)
                    ASSERT_EQ(0, std::memcmp(&got[(size_t(y) * im.block + x) * px],
                                             &want[(size_t(y) * im.block + x) * px], px))
                        << "tile " << i << " pixel " << x << "," << y;
        } else {
            ASSERT_EQ(0, std::memcmp(got.data(), want.data(), want.size())) << "strip " << i;
        }
    }
    TIFFCloseFile(t);
}

struct ModeCase {
    const char* mode;
    bool big;
    const char* byteorder;
};
struct CodecCase {
    uint16_t compression;
    int predictor;
    bool tifffileDecodes;
};

class WriteModes : public ::testing::TestWithParam<std::tuple<ModeCase, CodecCase>> {};

TEST_P(WriteModes, ReadBackByLibraryAndTifffile) {
    const ModeCase mode = std::get<0>(GetParam());
    const CodecCase codec = std::get<1>(GetParam());
    MessageLog log;
    // Strips of RGB, tiles of 16-bit grey (byte order matters), and grey
    // scanlines; predictor 2 on the first two only.
    std::vector<Image> images = {makeImage(37, 45, 3, 8, false, 8, 3), makeImage(40, 35, 1, 16, true, 16, 5),
                                 makeImage(20, 13, 1, 8, false, 5, 7)};
    MemFile file;
    TIFFHandle* t = openMem(file, mode.mode);
    ASSERT_NE(t, nullptr) << log.all();
    for (size_t i = 0; i < images.size(); ++i) {
        setTags(t, images[i], codec.compression, i < 2 ? codec.predictor : 0);
        writeImage(t, images[i], i == 2);
        ASSERT_EQ(TIFFWriteCurrentDirectory(t), 1) << log.all();
    }
    TIFFCloseFile(t);
    ASSERT_TRUE(log.errors.empty()) << log.all();
    for (size_t i = 0; i < images.size(); ++i) expectReadsBack(file, uint16_t(i), images[i]);

    std::string dir = vqtest::scratchDir("tiff_write_modes");
    TiffDump dump = tifffileDump(saveFile(dir, "m.tif", file.data), codec.tifffileDecodes);
    ASSERT_EQ(dump.status, 0) << dump.text;
    EXPECT_TRUE(dump.has(std::string("form ") + (mode.big ? "bigtiff" : "classic"))) << dump.text;
    EXPECT_TRUE(dump.has(std::string("byteorder ") + mode.byteorder)) << dump.text;
    EXPECT_TRUE(dump.has("page 2 20 13 1")) << dump.text;
    EXPECT_FALSE(dump.has("page 3 20 13 1")) << dump.text;
    // BigTIFF byte counts and offsets are LONG8, classic ones LONG.
    const std::string arrayType = mode.big ? " 16 " : " 4 ";
    EXPECT_NE(dump.text.find("tag 0 279" + arrayType + "6 "), std::string::npos) << dump.text;
    if (codec.tifffileDecodes) {
        Bytes want;
        for (const Image& im : images) want.insert(want.end(), im.pixels.begin(), im.pixels.end());
        EXPECT_TRUE(dump.pixels == want) << "tifffile decodes other pixels";
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllModes, WriteModes,
    ::testing::Combine(::testing::Values(ModeCase{"w", false, "<"}, ModeCase{"w8", true, "<"},
                                         ModeCase{"wb", false, ">"}, ModeCase{"w8b", true, ">"}),
                       ::testing::Values(CodecCase{COMPRESSION_NONE, 0, true},
                                         CodecCase{COMPRESSION_PACKBITS, 0, true},
                                         CodecCase{COMPRESSION_DEFLATE, 0, true},
                                         CodecCase{COMPRESSION_ADOBE_DEFLATE, 2, true},
                                         CodecCase{COMPRESSION_LZW, 0, false},
                                         CodecCase{COMPRESSION_LZW, 2, false})));

// A 2 x 2 grey image, derived by hand from the file layout: the 16-byte
// header, the strip appended at 16, the directory at 20 with its entries by
// ascending tag, every value inline.
TEST(TiffWrite, TwoByTwoGoldenFile) {
    MemFile file;
    TIFFHandle* t = openMem(file, "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TAG_ImageWidth, 2u);
    TIFFSetField(t, TAG_ImageLength, 2u);
    TIFFSetField(t, TAG_BitsPerSample, 8);
    TIFFSetField(t, TAG_PhotometricInterpretation, int(PHOTOMETRIC_MINISBLACK));
    TIFFSetField(t, TAG_RowsPerStrip, 2u);
    uint8_t px[4] = {1, 2, 3, 4};
    ASSERT_EQ(TIFFWriteEncodedStrip(t, 0, px, 4), 4);
    TIFFCloseFile(t);
    const Bytes golden = {
        0x49, 0x49, 0x2A, 0x00, 0x14, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, // header, directory at 20
        0x01, 0x02, 0x03, 0x04,                                                 // the strip
        0x08, 0x00,                                                             // 8 entries
        0x00, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, // ImageWidth SHORT 2
        0x01, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, // ImageLength SHORT 2
        0x02, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, // BitsPerSample 8
        0x03, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, // Compression 1
        0x06, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, // Photometric 1
        0x11, 0x01, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, // StripOffsets LONG 16
        0x16, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, // RowsPerStrip 2
        0x17, 0x01, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, // StripByteCounts LONG 4
        0x00, 0x00, 0x00, 0x00,                                                 // end of the chain
    };
    EXPECT_EQ(file.data, golden);
}

// Directory entries as tifffile reads them: short or long dimensions,
// rationals, colour maps, dropped empty ExtraSamples, signed rationals.
TEST(TiffWrite, EntryFormsSeenByTifffile) {
    static const TIFFTagDef signedRational[] = {
        {65000, 1, 1, TYPE_SRATIONAL, FIELD_CUSTOM, 1, 0, "TestSignedRational"}};
    std::string dir = vqtest::scratchDir("tiff_write_entries");
    for (const char* mode : {"w", "w8"}) {
        SCOPED_TRACE(mode);
        const bool big = mode[1] == '8';
        MessageLog log;
        MemFile file;
        TIFFHandle* t = openMem(file, mode);
        ASSERT_NE(t, nullptr);
        // A wide palette image of one row and a narrower one.
        Image wide = makeImage(70000, 1, 1, 8, false, 1, 9);
        setTags(t, wide, COMPRESSION_NONE, 0);
        TIFFSetField(t, TAG_PhotometricInterpretation, int(PHOTOMETRIC_PALETTE));
        std::vector<uint16_t> r(256), g(256), b(256);
        for (int i = 0; i < 256; ++i) r[i] = uint16_t(i * 257), g[i] = uint16_t(65535 - i), b[i] = uint16_t(i);
        ASSERT_EQ(TIFFSetField(t, TAG_ColorMap, r.data(), g.data(), b.data()), 1);
        ASSERT_EQ(TIFFSetField(t, TAG_XResolution, 72.0), 1);
        ASSERT_EQ(TIFFSetField(t, TAG_YResolution, -0.5), 1);
        ASSERT_EQ(TIFFSetField(t, TAG_ExtraSamples, 0, nullptr), 1);
        ASSERT_EQ(TIFFMergeFieldInfo(t, signedRational, 1), 1);
        ASSERT_EQ(TIFFSetField(t, 65000, -0.5), 1);
        writeImage(t, wide, false);
        ASSERT_EQ(TIFFWriteCurrentDirectory(t), 1) << log.all();
        Image narrow = makeImage(60000, 1, 1, 8, false, 1, 11);
        setTags(t, narrow, COMPRESSION_NONE, 0);
        writeImage(t, narrow, false);
        TIFFCloseFile(t);
        EXPECT_TRUE(log.hasWarning("\"YResolution\": Information lost writing value (-0.5) as (unsigned) RATIONAL"))
            << log.all();

        TiffDump dump = tifffileDump(saveFile(dir, big ? "big.tif" : "classic.tif", file.data), false);
        ASSERT_EQ(dump.status, 0) << dump.text;
        EXPECT_TRUE(dump.has("tag 0 256 4 1 70000")) << dump.text;
        EXPECT_TRUE(dump.has("tag 1 256 3 1 60000")) << dump.text;
        EXPECT_TRUE(dump.has("tag 0 282 5 1 (1207959552,16777216)")) << dump.text;
        EXPECT_TRUE(dump.has("tag 0 283 5 1 (0,1)")) << dump.text;
        EXPECT_TRUE(dump.has("tag 0 65000 10 1 (-536870912,1073741824)")) << dump.text;
        EXPECT_NE(dump.text.find("tag 0 320 3 768 "), std::string::npos) << dump.text;
        EXPECT_EQ(dump.text.find("tag 0 338 "), std::string::npos) << dump.text;

        // The rational sits in the value field of a BigTIFF entry and out of
        // line in a classic one: find the XResolution entry by hand.
        uint64_t first = big ? le64(file.data, 8) : le32(file.data, 4);
        uint64_t count = big ? le64(file.data, first) : le16(file.data, first);
        bool found = false;
        for (uint64_t i = 0; i < count; ++i) {
            size_t e = size_t(first + (big ? 8 + 20 * i : 2 + 12 * i));
            if (le16(file.data, e) != TAG_XResolution) continue;
            found = true;
            if (big) {
                EXPECT_EQ(le32(file.data, e + 12), 1207959552u);
                EXPECT_EQ(le32(file.data, e + 16), 16777216u);
            } else {
                uint32_t at = le32(file.data, e + 8);
                EXPECT_EQ(at % 2, 0u);
                EXPECT_EQ(le32(file.data, at), 1207959552u);
            }
        }
        EXPECT_TRUE(found);
    }
}

// SubIFDs: the directories written after the parent fill its slots (in the
// value field for one, in the out-of-line array for more), and the next
// directory joins the main chain again.
TEST(TiffWrite, SubIfdSlotsArePatched) {
    std::string dir = vqtest::scratchDir("tiff_write_subifd");
    for (const char* mode : {"w", "w8b"}) {
        for (uint16_t subs : {uint16_t(1), uint16_t(2)}) {
            SCOPED_TRACE(std::string(mode) + " subifds " + std::to_string(subs));
            MessageLog log;
            MemFile file;
            TIFFHandle* t = openMem(file, mode);
            ASSERT_NE(t, nullptr);
            std::vector<Image> images;
            images.push_back(makeImage(24, 16, 1, 8, false, 16, 21));
            for (uint16_t k = 0; k < subs; ++k) images.push_back(makeImage(12 - 4 * k, 8, 1, 8, false, 8, 22 + k));
            images.push_back(makeImage(10, 6, 1, 8, false, 6, 30));
            for (size_t i = 0; i < images.size(); ++i) {
                setTags(t, images[i], COMPRESSION_PACKBITS, 0);
                if (i == 0) {
                    std::vector<uint64_t> zeros(subs, 0);
                    ASSERT_EQ(TIFFSetField(t, TAG_SubIFD, int(subs), zeros.data()), 1);
                }
                writeImage(t, images[i], false);
                ASSERT_EQ(TIFFWriteCurrentDirectory(t), 1) << log.all();
            }
            TIFFCloseFile(t);
            ASSERT_TRUE(log.errors.empty()) << log.all();

            TiffDump dump = tifffileDump(saveFile(dir, "s.tif", file.data), true);
            ASSERT_EQ(dump.status, 0) << dump.text;
            EXPECT_TRUE(dump.has("page 0 24 16 1")) << dump.text;
            EXPECT_TRUE(dump.has("page 0.0 12 8 1")) << dump.text;
            EXPECT_EQ(dump.has("page 0.1 8 8 1"), subs == 2) << dump.text;
            EXPECT_TRUE(dump.has("page 1 10 6 1")) << dump.text;
            EXPECT_FALSE(dump.has("page 2 10 6 1")) << dump.text;
            Bytes want;
            for (const Image& im : images) want.insert(want.end(), im.pixels.begin(), im.pixels.end());
            EXPECT_TRUE(dump.pixels == want);
        }
    }
}

TEST(TiffWrite, NoDirectoryWithoutData) {
    MemFile file;
    TIFFHandle* t = openMem(file, "w");
    ASSERT_NE(t, nullptr);
    setTags(t, makeImage(8, 8, 1, 8, false, 8, 1), COMPRESSION_NONE, 0);
    TIFFCloseFile(t);
    EXPECT_EQ(file.data, Bytes({0x49, 0x49, 0x2A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    // After a written directory the fresh empty one is not written either.
    MemFile two;
    t = openMem(two, "w");
    Image im = makeImage(8, 8, 1, 8, false, 8, 1);
    setTags(t, im, COMPRESSION_NONE, 0);
    writeImage(t, im, false);
    ASSERT_EQ(TIFFWriteCurrentDirectory(t), 1);
    setTags(t, im, COMPRESSION_NONE, 0);
    TIFFCloseFile(t);
    MemFile copy;
    copy.data = two.data;
    TIFFHandle* r = openMem(copy, "rm");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(TIFFCountDirectories(r), 1);
    TIFFCloseFile(r);
}

// A field bit that no definition writes makes the count and the built
// entries differ: the writer refuses rather than writing a short directory.
TEST(TiffWrite, EntriesBuiltMustMatchEntriesCounted) {
    MessageLog log;
    MemFile file;
    TIFFHandle* t = openMem(file, "w");
    Image im = makeImage(8, 8, 1, 8, false, 8, 1);
    setTags(t, im, COMPRESSION_NONE, 0);
    writeImage(t, im, false);
    setFieldBit(t, 60);
    EXPECT_EQ(TIFFWriteCurrentDirectory(t), 0);
    EXPECT_TRUE(log.hasError("Directory entries built (10) differ from the entries counted (11)")) << log.all();
    TIFFReleaseHandle(t);
}

TEST(TiffWrite, WritePathRefusals) {
    struct Case {
        const char* name;
        bool setWidth;
        uint16_t samples;
        bool planar;
        const char* message;
    };
    const Case cases[] = {
        {"no width", false, 1, false, "mem.tif: Must set \"ImageWidth\" before writing data"},
        {"no planar configuration", true, 3, false, "mem.tif: Must set \"PlanarConfiguration\" before writing data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MessageLog log;
        MemFile file;
        TIFFHandle* t = openMem(file, "w");
        if (c.setWidth) {
            TIFFSetField(t, TAG_ImageWidth, 4u);
            TIFFSetField(t, TAG_ImageLength, 4u);
        }
        TIFFSetField(t, TAG_SamplesPerPixel, int(c.samples));
        uint8_t row[12] = {};
        EXPECT_EQ(TIFFWriteScanline(t, row, 0, 0), -1);
        EXPECT_TRUE(log.hasError(c.message)) << log.all();
        TIFFCloseFile(t);
    }

    // Tiles: the count -1 means one whole tile; tile 16 of 16 is refused.
    MessageLog log;
    MemFile file;
    TIFFHandle* t = openMem(file, "w");
    Image im = makeImage(64, 64, 1, 8, true, 16, 2);
    setTags(t, im, COMPRESSION_NONE, 0);
    Bytes tile = cutBlock(im, 0);
    EXPECT_EQ(TIFFWriteEncodedTile(t, 0, tile.data(), -1), 256);
    EXPECT_EQ(TIFFWriteEncodedTile(t, 16, tile.data(), 256), -1);
    EXPECT_TRUE(log.hasError("mem.tif: Tile 16 out of range, max 16")) << log.all();
    TIFFCloseFile(t);

    MemFile other;
    t = openMem(other, "w");
    setTags(t, im, COMPRESSION_NONE, 0);
    EXPECT_EQ(TIFFWriteScanline(t, tile.data(), 0, 0), -1);
    EXPECT_TRUE(log.hasError("Can not write scanlines to a tiled image")) << log.all();
    TIFFCloseFile(t);
}

// Scanlines past the image length make a contiguous strip image longer,
// one strip at a time.
TEST(TiffWrite, ScanlinesGrowTheImage) {
    MemFile file;
    TIFFHandle* t = openMem(file, "w");
    Image full = makeImage(6, 9, 1, 8, false, 2, 4);
    Image declared = full;
    declared.height = 4;
    setTags(t, declared, COMPRESSION_LZW, 0);
    writeImage(t, full, true);
    uint32_t length = 0;
    TIFFQueryField(t, TAG_ImageLength, &length);
    EXPECT_EQ(length, 9u);
    EXPECT_EQ(TIFFNumberOfStrips(t), 5u);
    TIFFCloseFile(t);
    expectReadsBack(file, 0, full);
}

// A rewritten strip stays in place when it fits before the next one and
// moves to the end of the file when it does not.
TEST(TiffWrite, RewrittenStripInPlaceOrMoved) {
    MemFile file;
    TIFFHandle* t = openMem(file, "w");
    Image im = makeImage(10, 20, 1, 8, false, 10, 6);
    setTags(t, im, COMPRESSION_NONE, 0);
    writeImage(t, im, false);
    uint64_t* offsets = nullptr;
    TIFFQueryField(t, TAG_StripOffsets, &offsets);
    EXPECT_EQ(offsets[0], 16u);
    EXPECT_EQ(offsets[1], 116u);
    Bytes smaller(80, 7), larger(120, 9);
    EXPECT_EQ(TIFFWriteEncodedStrip(t, 0, smaller.data(), 80), 80);
    TIFFQueryField(t, TAG_StripOffsets, &offsets);
    EXPECT_EQ(offsets[0], 16u);
    EXPECT_EQ(TIFFWriteEncodedStrip(t, 0, larger.data(), 120), 120);
    TIFFQueryField(t, TAG_StripOffsets, &offsets);
    EXPECT_EQ(offsets[0], 216u);
    uint64_t* counts = nullptr;
    TIFFQueryField(t, TAG_StripByteCounts, &counts);
    EXPECT_EQ(counts[0], 120u);
    TIFFCloseFile(t);
}

// A full disk fails the write of every encoder: the failed flush of the raw
// buffer reaches the caller.
TEST(TiffWrite, FullDiskFailsEveryEncoder) {
    for (uint16_t compression :
         {COMPRESSION_NONE, COMPRESSION_PACKBITS, COMPRESSION_LZW, COMPRESSION_DEFLATE}) {
        SCOPED_TRACE(compression);
        MessageLog log;
        LimitedFile file;
        file.limit = 3000;
        TIFFHandle* t = openLimited(file, "w");
        ASSERT_NE(t, nullptr);
        Image im = makeImage(200, 200, 1, 8, false, 200, 13);
        setTags(t, im, compression, 0);
        Bytes strip = im.pixels;
        EXPECT_EQ(TIFFWriteEncodedStrip(t, 0, strip.data(), int64_t(strip.size())), -1);
        EXPECT_TRUE(log.hasError("full.tif: Write error at scanline")) << log.all();
        EXPECT_EQ(TIFFWriteCurrentDirectory(t), 0);
        TIFFReleaseHandle(t);
    }
}

} // namespace

namespace {

// The floating-point predictor stores byte planes, most significant first,
// whatever the file's byte order: [1.0, 1.0] becomes the planes 3F 3F, 80 80,
// 00 00, 00 00, differenced bytewise.
TEST(TiffWrite, FloatPredictorPlanesInBothByteOrders) {
    for (const char* mode : {"w", "wb"}) {
        SCOPED_TRACE(mode);
        MemFile file;
        TIFFHandle* t = openMem(file, mode);
        Image im{2, 1, 1, 32, false, 1, {}};
        float ones[2] = {1.0f, 1.0f};
        im.pixels.assign(reinterpret_cast<uint8_t*>(ones), reinterpret_cast<uint8_t*>(ones) + 8);
        setTags(t, im, COMPRESSION_DEFLATE, 3);
        ASSERT_EQ(TIFFSetField(t, TAG_SampleFormat, int(SAMPLEFORMAT_IEEEFP)), 1);
        writeImage(t, im, false);
        TIFFCloseFile(t);

        MemFile copy;
        copy.data = file.data;
        TIFFHandle* r = openMem(copy, "rm");
        ASSERT_NE(r, nullptr);
        Bytes raw(64);
        int64_t n = TIFFReadRawStrip(r, 0, raw.data(), int64_t(raw.size()));
        ASSERT_GT(n, 0);
        Bytes planes(8);
        uLongf size = uLongf(planes.size());
        ASSERT_EQ(uncompress(planes.data(), &size, raw.data(), uLong(n)), Z_OK);
        EXPECT_EQ(planes, Bytes({0x3F, 0x00, 0x41, 0x00, 0x80, 0x00, 0x00, 0x00}));
        float back[2] = {};
        ASSERT_EQ(TIFFReadDecodedStrip(r, 0, back, 8), 8);
        EXPECT_EQ(back[0], 1.0f);
        EXPECT_EQ(back[1], 1.0f);
        TIFFCloseFile(r);
    }
}

} // namespace

namespace {

// Appending to an existing file: its own byte-order mark decides, so 'b' on
// a little-endian file appends little-endian directories to its chain.
TEST(TiffWrite, AppendKeepsTheFilesByteOrder) {
    for (const char* mode : {"w", "wb"}) {
        SCOPED_TRACE(mode);
        const bool bigEndian = mode[1] == 'b';
        MessageLog log;
        MemFile file;
        TIFFHandle* t = openMem(file, mode);
        Image first = makeImage(9, 7, 1, 16, false, 4, 40);
        setTags(t, first, COMPRESSION_LZW, 0);
        writeImage(t, first, false);
        TIFFCloseFile(t);

        for (const char* append : {"a", "ab"}) {
            t = openMem(file, append);
            ASSERT_NE(t, nullptr) << log.all();
            EXPECT_EQ(TIFFIsByteSwapped(t), bigEndian ? 1 : 0);
            Image more = makeImage(5, 3, 1, 16, false, 3, append[1] ? 42 : 41);
            setTags(t, more, COMPRESSION_NONE, 0);
            writeImage(t, more, false);
            TIFFCloseFile(t);
        }
        ASSERT_TRUE(log.errors.empty()) << log.all();
        expectReadsBack(file, 0, first);
        expectReadsBack(file, 1, makeImage(5, 3, 1, 16, false, 3, 41));
        expectReadsBack(file, 2, makeImage(5, 3, 1, 16, false, 3, 42));
    }
}

} // namespace

namespace {

// A strip far past the end grows the arrays by as many strips as it needs
// (growing by one would leave it outside them).
TEST(TiffWrite, StripFarPastTheEndGrowsTheArrays) {
    MemFile file;
    TIFFHandle* t = openMem(file, "w");
    Image im = makeImage(4, 4, 1, 8, false, 2, 8);
    setTags(t, im, COMPRESSION_NONE, 0);
    Bytes strip(8, 5);
    EXPECT_EQ(TIFFWriteEncodedStrip(t, 6, strip.data(), 8), 8);
    EXPECT_EQ(TIFFWriteRawStrip(t, 9, strip.data(), 8), 8);
    uint64_t* counts = nullptr;
    ASSERT_EQ(TIFFQueryField(t, TAG_StripByteCounts, &counts), 1);
    EXPECT_EQ(counts[6], 8u);
    EXPECT_EQ(counts[9], 8u);
    EXPECT_EQ(counts[7], 0u);
    TIFFCloseFile(t);
}

} // namespace

namespace {

// A checkpointed directory is written again in place while nothing follows
// it; once strips were appended after it, it moves to the end of the file
// instead of growing over them.
TEST(TiffWrite, CheckpointThenMoreStrips) {
    MessageLog log;
    MemFile file;
    TIFFHandle* t = openMem(file, "w");
    Image im = makeImage(16, 8, 1, 8, false, 4, 50);
    setTags(t, im, COMPRESSION_NONE, 0);
    Bytes first = cutBlock(im, 0), second = cutBlock(im, 1);
    ASSERT_EQ(TIFFWriteEncodedStrip(t, 0, first.data(), int64_t(first.size())), int64_t(first.size()));
    ASSERT_EQ(TIFFCheckpointCurrentDirectory(t), 1);
    const uint64_t checkpointed = TIFFDirectoryOffset(t);
    ASSERT_EQ(TIFFCheckpointCurrentDirectory(t), 1);
    EXPECT_EQ(TIFFDirectoryOffset(t), checkpointed); // nothing followed: in place
    ASSERT_EQ(TIFFWriteEncodedStrip(t, 1, second.data(), int64_t(second.size())), int64_t(second.size()));
    TIFFSetField(t, TAG_ImageDescription, "written after the checkpoint, longer than before");
    ASSERT_EQ(TIFFWriteCurrentDirectory(t), 1) << log.all();
    TIFFCloseFile(t);
    EXPECT_NE(le32(file.data, 4), checkpointed);
    expectReadsBack(file, 0, im);
    MemFile copy;
    copy.data = file.data;
    TIFFHandle* r = openMem(copy, "rm");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(TIFFCountDirectories(r), 1);
    TIFFCloseFile(r);
}

} // namespace
