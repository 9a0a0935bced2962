// Opening, headers, handlers, tag tables and tag values.
#include "tests/support/test_env.h"
#include "tests/tiff/tiff_fixture.h"
#include "tiff/vqtiff_internal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <unistd.h>

using namespace tifftest;
using namespace vqtiff;

namespace {

// A one-strip 4x2 grey image.
Bytes smallImage(bool big, bool bigEndian) {
    TiffBuilder b(big, bigEndian);
    uint64_t at = b.addData(Bytes{1, 2, 3, 4, 5, 6, 7, 8});
    b.addIfd({longs(256, {4}), longs(257, {2}), shorts(258, {8}), shorts(259, {1}), shorts(262, {1}),
              longs(273, {uint32_t(at)}), longs(278, {2}), longs(279, {8})});
    return b.bytes();
}

struct HeaderCase {
    const char* name;
    bool big;
    bool bigEndian;
    const char* mode;
    bool opens;
    const char* message;
};

} // namespace

TEST(TiffOpen, HeaderTable) {
    const HeaderCase cases[] = {
        {"classic LE rm", false, false, "rm", true, nullptr},
        {"classic BE r", false, true, "r", true, nullptr},
        {"BigTIFF BE rm", true, true, "rm", true, nullptr},
        {"BigTIFF LE r8m", true, false, "r8m", true, nullptr},
        {"classic with 8", false, false, "r8", false, "Cannot process non-BigTIFF file, '64' mode specified"},
        {"BigTIFF with 4", true, false, "r4", false, "Cannot process BigTIFF file, '32' mode specified"},
        {"bad mode", false, false, "x", false, "\"x\": Bad mode"},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        MessageLog log;
        MemFile f;
        f.data = smallImage(c.big, c.bigEndian);
        TIFFHandle* h = openMem(f, c.mode);
        EXPECT_EQ(h != nullptr, c.opens) << log.all();
        if (c.message) {
            EXPECT_TRUE(log.hasError(c.message)) << log.all();
        }
        if (h) {
            EXPECT_EQ(TIFFUsesBigTIFF(h), c.big ? 1 : 0);
            EXPECT_EQ(TIFFIsByteSwapped(h), c.bigEndian ? 1 : 0);
            EXPECT_EQ(TIFFCurrentDirectory(h), 0);
            uint32_t w = 0;
            EXPECT_EQ(TIFFQueryField(h, TAG_ImageWidth, &w), 1);
            EXPECT_EQ(w, 4u);
            TIFFCloseFile(h);
        }
    }
}

TEST(TiffOpen, MdiMarkReadsLittleEndian) {
    MemFile f;
    f.data = smallImage(false, false);
    f.data[0] = 'E';
    f.data[1] = 'P';
    TIFFHandle* h = openMem(f, "rm");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(TIFFIsByteSwapped(h), 0);
    TIFFCloseFile(h);
}

TEST(TiffOpen, BadHeadersAndShortFiles) {
    struct Case {
        Bytes data;
        const char* message;
    } cases[] = {
        {Bytes{'I', 'I', 42, 0, 8, 0, 0, 0}, "Cannot read TIFF header (0)"},
        {Bytes{'X', 'Y', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "bad magic number 22872 (0x5958)"},
        {Bytes{'I', 'I', 43, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "Offset size in BigTIFF is 4, expected 8"},
        {Bytes{'I', 'I', 44, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "bad version number 44 (0x2c)"},
    };
    for (auto& c : cases) {
        MessageLog log;
        MemFile f;
        f.data = c.data;
        EXPECT_EQ(openMem(f, "r"), nullptr);
        EXPECT_TRUE(log.hasError(c.message)) << log.all();
        EXPECT_EQ(f.closeCount, 0);
    }
}

TEST(TiffOpen, WriteModesProduceHeaders) {
    MemFile f;
    TIFFHandle* h = openMem(f, "w8b");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(f.data, (Bytes{0x4D, 0x4D, 0x00, 0x2B, 0x00, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    TIFFCloseFile(h);
    MemFile g;
    h = openMem(g, "w");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(g.data, (Bytes{0x49, 0x49, 0x2A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    TIFFCloseFile(h);
    // r+ on an empty file writes a header and reads no directory.
    MemFile e;
    h = openMem(e, "r+");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(e.data.size(), 16u);
    EXPECT_EQ(TIFFCurrentDirectory(h), 0xFFFF);
    TIFFCloseFile(h);
}

TEST(TiffOpen, CloseCallsCloseProcOnceAndFailedOpenNever) {
    MemFile f;
    f.data = smallImage(false, false);
    TIFFHandle* h = openMem(f, "r");
    ASSERT_NE(h, nullptr);
    TIFFCloseFile(h);
    EXPECT_EQ(f.closeCount, 1);
    MessageLog log;
    MemFile bad;
    bad.data = Bytes{'I', 'I', 42, 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}; // directory past the end
    EXPECT_EQ(openMem(bad, "r"), nullptr);
    EXPECT_EQ(bad.closeCount, 0);
}

TEST(TiffOpen, MappingOnlyWithoutLetterM) {
    MemFile f;
    f.allowMap = true;
    f.data = smallImage(false, false);
    TIFFHandle* h = openMem(f, "r");
    ASSERT_NE(h, nullptr);
    uint8_t buf[8];
    EXPECT_EQ(TIFFReadDecodedStrip(h, 0, buf, -1), 8);
    EXPECT_EQ(buf[7], 8);
    TIFFCloseFile(h);
    EXPECT_EQ(f.mapCount, 1);
    EXPECT_EQ(f.unmapCount, 1);
    MemFile g;
    g.allowMap = true;
    g.data = smallImage(false, false);
    h = openMem(g, "rm");
    ASSERT_NE(h, nullptr);
    TIFFCloseFile(h);
    EXPECT_EQ(g.mapCount, 0);
}

namespace {
std::vector<std::string> plainSeen, extSeen;
void* extClient = nullptr;
void plainHandler(const char* module, const char* fmt, va_list ap) {
    char buf[256];
    std::vsnprintf(buf, sizeof(buf), fmt, ap);
    plainSeen.push_back(std::string(module) + "|" + buf);
}
void extHandler(void* client, const char* module, const char* fmt, va_list ap) {
    char buf[256];
    std::vsnprintf(buf, sizeof(buf), fmt, ap);
    extClient = client;
    extSeen.push_back(std::string(module) + "|" + buf);
}
} // namespace

TEST(TiffDiagnostics, BothHandlerKindsGetTheFormattedText) {
    auto oldPlain = TIFFInstallErrorHandler(plainHandler);
    auto oldExt = TIFFInstallErrorHandlerExt(extHandler);
    int client = 7;
    TIFFReportErrorExt(&client, "mod", "%s %ld %d", "text", 123456789L, 42);
    TIFFInstallErrorHandler(oldPlain);
    TIFFInstallErrorHandlerExt(oldExt);
    ASSERT_EQ(plainSeen.size(), 1u);
    ASSERT_EQ(extSeen.size(), 1u);
    EXPECT_EQ(plainSeen[0], "mod|text 123456789 42");
    EXPECT_EQ(extSeen[0], "mod|text 123456789 42");
    EXPECT_EQ(extClient, &client);
    // No handler at all: nothing happens.
    auto p = TIFFInstallWarningHandler(nullptr);
    TIFFReportWarning("m", "%d", 1);
    TIFFInstallWarningHandler(p);
}

TEST(TiffByteOrder, SwapsAndBitReversal) {
    uint8_t t[6] = {1, 2, 3, 4, 5, 6};
    swapTripleArray(t, 2);
    EXPECT_EQ(Bytes(t, t + 6), (Bytes{3, 2, 1, 6, 5, 4}));
    uint8_t r[3] = {0x01, 0x80, 0xF0};
    reverseBitOrder(r, 3);
    EXPECT_EQ(Bytes(r, r + 3), (Bytes{0x80, 0x01, 0x0F}));
    uint8_t many[19];
    for (int i = 0; i < 19; ++i) many[i] = uint8_t(i * 13);
    reverseBitOrder(many, 19);
    for (int i = 0; i < 19; ++i) EXPECT_EQ(many[i], bitReversalTable(true)[uint8_t(i * 13)]);
    double d = 1.5;
    uint64_t u;
    std::memcpy(&u, &d, 8);
    swapDouble(&d);
    swapLong8(&u);
    EXPECT_EQ(std::memcmp(&d, &u, 8), 0);
    char* s = nullptr;
    replaceString(&s, "abc");
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "abc");
    uint32_t* big = nullptr;
    uint32_t src = 1;
    replaceLongs(&big, &src, size_t(1) << 62); // the product overflows: nothing stored
    EXPECT_EQ(big, nullptr);
    replaceString(&s, nullptr);
    EXPECT_EQ(s, nullptr);
}

TEST(TiffTags, TablesLoadSortedAndLookupPicksHighestType) {
    size_t n = 0;
    getBaseTagTable(&n);
    EXPECT_EQ(n, 172u);
    getExifTagTable(&n);
    EXPECT_EQ(n, 58u);
    MemFile f;
    f.data = smallImage(false, false);
    TIFFHandle* h = openMem(f, "r");
    ASSERT_NE(h, nullptr);
    for (size_t i = 1; i < h->tagDefCount; ++i) {
        const TIFFTagDef* a = h->tagDefs[i - 1];
        const TIFFTagDef* b = h->tagDefs[i];
        ASSERT_TRUE(a->tag < b->tag || (a->tag == b->tag && a->type > b->type)) << a->name << " " << b->name;
    }
    EXPECT_EQ(findTagDef(h, TAG_StripOffsets, TYPE_ANY)->type, uint32_t(TYPE_LONG8));
    EXPECT_EQ(findTagDef(h, TAG_StripOffsets, TYPE_LONG)->type, uint32_t(TYPE_LONG));
    EXPECT_EQ(findTagDef(h, TAG_SubIFD, TYPE_ANY)->type, uint32_t(TYPE_IFD8));
    EXPECT_STREQ(findTagDef(h, 34675, TYPE_ANY)->name, "ICC Profile");
    TIFFCloseFile(h);
}

TEST(TiffTags, SetAndQueryEdgeCases) {
    MemFile f;
    f.data = smallImage(false, false);
    TIFFHandle* h = openMem(f, "r");
    ASSERT_NE(h, nullptr);
    MessageLog log;
    uint16_t v16 = 0;
    // Defined but not set: 0 without a message.
    EXPECT_EQ(TIFFQueryField(h, TAG_Orientation, &v16), 0);
    EXPECT_TRUE(log.errors.empty());
    // Orientation 9: warning, old value kept, success, marked present.
    EXPECT_EQ(TIFFSetField(h, TAG_Orientation, 9), 1);
    EXPECT_TRUE(log.hasWarning("Bad value 9 for \"Orientation\" tag ignored"));
    EXPECT_EQ(TIFFQueryField(h, TAG_Orientation, &v16), 1);
    EXPECT_EQ(v16, 1);
    // Nonstandard tile width on a read handle: warning, value kept.
    EXPECT_EQ(TIFFSetField(h, TAG_TileWidth, uint32_t(100)), 1);
    EXPECT_TRUE(log.hasWarning("Nonstandard tile width 100, convert file"));
    // DataType 2 stores sample format 1; DataType reads back 2.
    EXPECT_EQ(TIFFSetField(h, TAG_DataType, 2), 1);
    EXPECT_EQ(TIFFQueryField(h, TAG_SampleFormat, &v16), 1);
    EXPECT_EQ(v16, 1);
    EXPECT_EQ(TIFFQueryField(h, TAG_DataType, &v16), 1);
    EXPECT_EQ(v16, 2);
    // Bad values.
    EXPECT_EQ(TIFFSetField(h, TAG_FillOrder, 3), 0);
    EXPECT_TRUE(log.hasError("Bad value 3 for \"FillOrder\""));
    EXPECT_EQ(TIFFSetField(h, TAG_RowsPerStrip, uint32_t(0)), 0);
    EXPECT_TRUE(log.hasError("Bad value 0 for \"RowsPerStrip\""));
    // InkNames: 4 expected, 3 found.
    EXPECT_EQ(TIFFSetField(h, TAG_SamplesPerPixel, 4), 1);
    const char inks[] = "a\0b\0c\0";
    EXPECT_EQ(TIFFSetField(h, TAG_InkNames, uint32_t(sizeof(inks) - 1), inks), 0);
    EXPECT_TRUE(log.hasError("Invalid InkNames value; expecting 4 names, found 3")) << log.all();
    // Defaults for absent tags.
    float* refBW = nullptr;
    EXPECT_EQ(TIFFQueryField(h, TAG_ReferenceBlackWhite, &refBW), 0);
    EXPECT_EQ(TIFFQueryFieldDefaulted(h, TAG_ReferenceBlackWhite, &refBW), 1);
    ASSERT_NE(refBW, nullptr);
    EXPECT_EQ(refBW[1], 255.0f);
    uint16_t *tf0 = nullptr, *tf1 = nullptr, *tf2 = nullptr;
    EXPECT_EQ(TIFFQueryFieldDefaulted(h, TAG_TransferFunction, &tf0, &tf1, &tf2), 1);
    ASSERT_NE(tf0, nullptr);
    EXPECT_EQ(tf0[0], 0);
    EXPECT_EQ(tf0[255], 65535);
    EXPECT_EQ(tf0[128], uint16_t(std::floor(65535.0 * std::pow(128.0 / 255.0, 2.2) + 0.5)));
    uint16_t inkSet = 0;
    EXPECT_EQ(TIFFQueryFieldDefaulted(h, 332, &inkSet), 1);
    EXPECT_EQ(inkSet, 1);
    // Unknown tag.
    EXPECT_EQ(TIFFSetField(h, 60000u, 1), 0);
    EXPECT_TRUE(log.hasError("Unknown tag 60000"));
    // A custom ASCII tag round-trips.
    EXPECT_EQ(TIFFSetField(h, TAG_Software, "vq"), 1);
    const char* text = nullptr;
    EXPECT_EQ(TIFFQueryField(h, TAG_Software, &text), 1);
    EXPECT_STREQ(text, "vq");
    TIFFCloseFile(h);

    // Writing: RowsPerStrip sets the tile geometry; tile width 100 is refused.
    MemFile w;
    h = openMem(w, "w");
    ASSERT_NE(h, nullptr);
    TIFFSetField(h, TAG_ImageWidth, uint32_t(64));
    TIFFSetField(h, TAG_RowsPerStrip, uint32_t(8));
    EXPECT_EQ(h->dir.tileLength, 8u);
    EXPECT_EQ(h->dir.tileWidth, 64u);
    EXPECT_EQ(TIFFSetField(h, TAG_TileWidth, uint32_t(100)), 0);
    EXPECT_TRUE(log.hasError("Bad value 100 for \"TileWidth\""));
    // Pseudo-tags mark no field bit.
    TIFFSetField(h, TAG_Compression, int(COMPRESSION_DEFLATE));
    uint32_t before[FIELD_SETLONGS];
    std::memcpy(before, h->dir.fieldsSet, sizeof(before));
    EXPECT_EQ(TIFFSetField(h, TAG_ZipQuality, 9), 1);
    EXPECT_EQ(std::memcmp(before, h->dir.fieldsSet, sizeof(before)), 0);
    int q = 0;
    EXPECT_EQ(TIFFQueryField(h, TAG_ZipQuality, &q), 1);
    EXPECT_EQ(q, 9);
    TIFFCloseFile(h);
}

TEST(TiffTags, CompressionChangeRunsCleanupOnlyForANewValue) {
    MemFile w;
    TIFFHandle* h = openMem(w, "w");
    ASSERT_NE(h, nullptr);
    TIFFSetField(h, TAG_Compression, int(COMPRESSION_LZW));
    void* state = h->codecState;
    ASSERT_NE(state, nullptr);
    TIFFSetField(h, TAG_Compression, int(COMPRESSION_LZW));
    EXPECT_EQ(h->codecState, state);
    TIFFSetField(h, TAG_Compression, int(COMPRESSION_NONE));
    EXPECT_EQ(h->codecState, nullptr);
    TIFFCloseFile(h);
}

TEST(TiffGeometry, SizesAndIndices) {
    MemFile w;
    TIFFHandle* h = openMem(w, "w");
    ASSERT_NE(h, nullptr);
    MessageLog log;
    TIFFDirRecord& d = h->dir;
    d.imageWidth = 100;
    d.imageLength = 1000;
    d.rowsPerStrip = 64;
    EXPECT_EQ(TIFFNumberOfStrips(h), 16u);
    d.rowsPerStrip = 0xFFFFFFFFu;
    EXPECT_EQ(TIFFNumberOfStrips(h), 1u);
    d.rowsPerStrip = 64;
    d.planarConfig = PLANAR_SEPARATE;
    d.samplesPerPixel = 3;
    d.stripsPerImage = 16;
    EXPECT_EQ(TIFFStripOfRow(h, 70, 2), 33u);
    EXPECT_EQ(TIFFStripOfRow(h, 70, 3), 0u);
    EXPECT_TRUE(log.hasError("3: Sample out of range, max 3"));
    // Packed YCbCr.
    d.planarConfig = PLANAR_CONTIG;
    d.photometric = PHOTOMETRIC_YCBCR;
    d.imageWidth = 101;
    d.bitsPerSample = 8;
    setFieldBit(h, FIELD_YCBCRSUBSAMPLING);
    EXPECT_EQ(TIFFScanlineSize(h), 204u);
    EXPECT_EQ(TIFFVStripSize(h, 16), 2448u);
    h->flags |= FLAG_UPSAMPLED;
    EXPECT_EQ(TIFFScanlineSize(h), 303u);
    h->flags &= ~FLAG_UPSAMPLED;
    d.photometric = PHOTOMETRIC_RGB;
    // Tiles.
    d.imageWidth = 1000;
    d.imageLength = 1000;
    d.tileWidth = 256;
    d.tileLength = 256;
    d.samplesPerPixel = 1;
    EXPECT_EQ(TIFFNumberOfTiles(h), 16u);
    EXPECT_EQ(TIFFTileOfPixel(h, 300, 600, 0, 0), 9u);
    d.tileWidth = 0;
    EXPECT_EQ(TIFFTileOfPixel(h, 300, 600, 0, 0), 1u);
    EXPECT_EQ(TIFFNumberOfTiles(h), 0u);
    // Overflow.
    d.imageWidth = 70000000;
    d.samplesPerPixel = 8;
    d.bitsPerSample = 64;
    EXPECT_EQ(TIFFScanlineSize(h), 0u);
    EXPECT_TRUE(log.hasError("Integer overflow in TIFFScanlineSize"));
    uint32_t tw = 0, tl = 100;
    TIFFSuggestTileSize(h, &tw, &tl);
    EXPECT_EQ(tw, 256u);
    EXPECT_EQ(tl, 112u);
    TIFFCloseFile(h);
}

TEST(TiffFileLayer, OpenByNameReadsAndReportsTheSystemError) {
    std::string dir = vqtest::scratchDir("tiff_file_layer");
    std::string path = dir + "/image.tif";
    Bytes image = smallImage(false, true);
    ASSERT_TRUE(vqtest::writeFile(path, std::string(image.begin(), image.end())));
    for (const char* mode : {"r", "rm", "ru"}) {
        TIFFHandle* h = TIFFOpen(path.c_str(), mode);
        ASSERT_NE(h, nullptr) << mode;
        EXPECT_EQ(TIFFIsByteSwapped(h), 1);
        uint8_t buf[8] = {};
        EXPECT_EQ(TIFFReadDecodedStrip(h, 0, buf, -1), 8);
        EXPECT_EQ(buf[7], 8);
        TIFFCloseFile(h);
    }
    MessageLog log;
    EXPECT_EQ(TIFFOpen((dir + "/missing.tif").c_str(), "r"), nullptr);
    EXPECT_TRUE(log.hasError("missing.tif: Cannot open (2)")) << log.all();
    // "a" keeps the contents, "w" empties the file and writes a new header.
    TIFFHandle* h = TIFFOpen(path.c_str(), "a");
    ASSERT_NE(h, nullptr);
    TIFFCloseFile(h);
    EXPECT_EQ(vqtest::readFile(path).size(), image.size());
    h = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(h, nullptr);
    TIFFCloseFile(h);
    EXPECT_EQ(vqtest::readFile(path).size(), 16u);
}

TEST(TiffFileLayer, ShortReadsFromAPipeAreJoined) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    Bytes header = {'I', 'I', 42, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::thread writer([&] {
        // The header arrives in two pieces.
        EXPECT_EQ(write(fds[1], header.data(), 5), 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(write(fds[1], header.data() + 5, 11), 11);
        close(fds[1]);
    });
    MessageLog log;
    TIFFHandle* h = TIFFOpenDescriptor(fds[0], "pipe", "r");
    writer.join();
    EXPECT_EQ(h, nullptr); // a pipe cannot seek to the directory
    EXPECT_FALSE(log.hasError("Cannot read TIFF header")) << log.all();
    EXPECT_TRUE(log.hasError("Seek error accessing TIFF directory")) << log.all();
    close(fds[0]);
}
