// Directory reading and navigation over built files.
#include "tests/tiff/tiff_fixture.h"
#include "tiff/vqtiff_internal.h"

#include <gtest/gtest.h>

using namespace tifftest;
using namespace vqtiff;

namespace {

std::vector<Entry> stripImage(uint32_t width, uint32_t length, uint64_t offset, uint32_t count) {
    return {longs(256, {width}), longs(257, {length}), shorts(258, {8}), shorts(259, {1}), shorts(262, {1}),
            longs(273, {uint32_t(offset)}), longs(279, {count})};
}

void addEntry(std::vector<Entry>& v, Entry e) { v.push_back(std::move(e)); }

} // namespace

TEST(TiffDirRead, ChainsCountSelectAndLoops) {
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "BigTIFF" : "classic");
        TiffBuilder b(big, big);
        uint64_t at = b.addData(Bytes(16, 7));
        for (int i = 0; i < 3; ++i) b.addIfd(stripImage(4 + i, 4, at, 16));
        MemFile f;
        f.data = b.bytes();
        TIFFHandle* h = openMem(f, "rm");
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(TIFFCountDirectories(h), 3);
        EXPECT_EQ(TIFFSelectDirectory(h, 2), 1);
        uint32_t w = 0;
        TIFFQueryField(h, TAG_ImageWidth, &w);
        EXPECT_EQ(w, 6u);
        EXPECT_EQ(TIFFCurrentDirectory(h), 2);
        EXPECT_EQ(TIFFIsLastDirectory(h), 1);
        EXPECT_EQ(TIFFSelectDirectory(h, 5), 0);
        EXPECT_EQ(TIFFSelectDirectory(h, 0), 1);
        EXPECT_EQ(TIFFReadDirectory(h), 1);
        EXPECT_EQ(TIFFCurrentDirectory(h), 1);
        TIFFCloseFile(h);
    }
    // A chain whose last directory points back to the first: every walk ends.
    TiffBuilder b;
    uint64_t at = b.addData(Bytes(16, 7));
    for (int i = 0; i < 3; ++i) b.addIfd(stripImage(4, 4, at, 16));
    b.loopTo(0);
    MemFile f;
    f.data = b.bytes();
    MessageLog log;
    TIFFHandle* h = openMem(f, "rm");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(TIFFCountDirectories(h), 3);
    EXPECT_EQ(TIFFReadDirectory(h), 1);
    EXPECT_EQ(TIFFReadDirectory(h), 1);
    EXPECT_EQ(TIFFReadDirectory(h), 0); // back at the first: ends without a message
    EXPECT_TRUE(log.errors.empty()) << log.all();
    EXPECT_EQ(TIFFSelectDirectory(h, 4), 0);
    EXPECT_EQ(TIFFSelectDirectory(h, 2), 1);
    TIFFCloseFile(h);
    // A directory linking to itself.
    TiffBuilder self;
    self.addData(Bytes(16, 7));
    self.addIfd(stripImage(4, 4, 8, 16));
    self.loopTo(0);
    MemFile g;
    g.data = self.bytes();
    h = openMem(g, "rm");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(TIFFCountDirectories(h), 1);
    TIFFCloseFile(h);
}

TEST(TiffDirRead, BigTiffDirectoryBeyondFourGiB) {
    const uint64_t base = (uint64_t(5) << 30) + 4;
    TiffBuilder b(true, false, base);
    Bytes pixels = pattern(64);
    uint64_t at = b.addData(pixels);
    b.addIfd({longs(256, {8}), longs(257, {8}), shorts(258, {8}), shorts(259, {1}), shorts(262, {1}),
              long8s(273, {at}), long8s(279, {64}), longs(278, {8})});
    auto img = b.build();
    SparseFile f;
    f.chunks[0] = img.head;
    f.chunks[img.bodyOffset] = img.body;
    f.size = img.bodyOffset + img.body.size();
    MessageLog log;
    TIFFHandle* h = openSparse(f, "rm");
    ASSERT_NE(h, nullptr) << log.all();
    EXPECT_EQ(TIFFDirectoryOffset(h), b.ifdOffset(0));
    uint64_t* offsets = nullptr;
    ASSERT_EQ(TIFFQueryField(h, TAG_StripOffsets, &offsets), 1);
    EXPECT_EQ(offsets[0], at);
    Bytes out(64);
    EXPECT_EQ(TIFFReadDecodedStrip(h, 0, out.data(), -1), 64);
    EXPECT_EQ(out, pixels);
    EXPECT_EQ(TIFFCountDirectories(h), 1);
    TIFFCloseFile(h);
}

TEST(TiffDirRead, BigTiffByteCountsAboveFourGiBAreKept) {
    TiffBuilder b(true, false);
    b.addData(Bytes(8, 0));
    uint64_t huge = (uint64_t(1) << 32) + 10;
    b.addIfd({longs(256, {8}), longs(257, {8}), shorts(258, {8}), shorts(259, {32946}), shorts(262, {1}),
              long8s(273, {16}), long8s(279, {huge})});
    MemFile f;
    f.data = b.bytes();
    TIFFHandle* h = openMem(f, "rm");
    ASSERT_NE(h, nullptr);
    uint64_t* counts = nullptr;
    ASSERT_EQ(TIFFQueryField(h, TAG_StripByteCounts, &counts), 1);
    EXPECT_EQ(counts[0], huge);
    EXPECT_EQ(TIFFStoredStripSize(h, 0), int64_t(huge));
    MessageLog log;
    Bytes out(64);
    EXPECT_EQ(TIFFReadDecodedStrip(h, 0, out.data(), -1), -1); // refused, never cut to 32 bits
    EXPECT_TRUE(log.hasError("Invalid strip byte count")) << log.all();
    TIFFCloseFile(h);
}

TEST(TiffDirRead, RepairsAndRequiredTags) {
    // Missing StripByteCounts on one uncompressed strip: scanline x length.
    {
        TiffBuilder b;
        b.addData(Bytes(24, 1));
        b.addIfd({longs(256, {6}), longs(257, {4}), shorts(258, {8}), shorts(262, {1}), longs(273, {8})});
        MemFile f;
        f.data = b.bytes();
        MessageLog log;
        TIFFHandle* h = openMem(f, "rm");
        ASSERT_NE(h, nullptr) << log.all();
        EXPECT_TRUE(log.hasWarning("missing required \"StripByteCounts\" field, calculating from imagelength"));
        EXPECT_EQ(TIFFStoredStripSize(h, 0), 24);
        TIFFCloseFile(h);
    }
    // Palette without ColorMap.
    {
        TiffBuilder b;
        b.addData(Bytes(16, 1));
        auto e = stripImage(4, 4, 8, 16);
        e[4] = shorts(262, {3});
        b.addIfd(e);
        MemFile f;
        f.data = b.bytes();
        MessageLog log;
        EXPECT_EQ(openMem(f, "rm"), nullptr);
        EXPECT_TRUE(log.hasError("missing required \"Colormap\" field"));
    }
    // No image dimensions, no strip offsets.
    {
        TiffBuilder b;
        b.addIfd({shorts(258, {8})});
        MemFile f;
        f.data = b.bytes();
        MessageLog log;
        EXPECT_EQ(openMem(f, "rm"), nullptr);
        EXPECT_TRUE(log.hasError("missing required \"ImageLength\" field"));
        TiffBuilder c;
        c.addIfd({longs(256, {4}), longs(257, {4})});
        f.data = c.bytes();
        EXPECT_EQ(openMem(f, "rm"), nullptr);
        EXPECT_TRUE(log.hasError("missing required \"StripOffsets\" field"));
    }
    // A directory with zero entries.
    {
        TiffBuilder b;
        b.addData(Bytes(8, 0));
        b.addIfd({});
        MemFile f;
        f.data = b.bytes();
        MessageLog log;
        EXPECT_EQ(openMem(f, "rm"), nullptr);
        EXPECT_TRUE(log.hasError("No space to read TIFF directory"));
    }
}

TEST(TiffDirRead, EntriesPastTheEndFailAndCountsFromTheFileAreBounded) {
    // The count is readable but the entries run past the end of the file.
    MemFile f;
    f.data = Bytes{'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF, 1, 1, 4, 0, 1, 0, 0, 0, 0, 0};
    MessageLog log;
    EXPECT_EQ(openMem(f, "rm"), nullptr);
    EXPECT_TRUE(log.hasError("Can not read TIFF directory")) << log.all();
    // Claimed dimensions that would need billions of strips in a tiny file.
    TiffBuilder b;
    b.addData(Bytes(16, 1));
    b.addIfd({longs(256, {4}), longs(257, {0xFFFFFFF0u}), shorts(258, {8}), shorts(262, {1}), longs(273, {8}),
              longs(278, {1}), longs(279, {16})});
    MemFile g;
    g.data = b.bytes();
    EXPECT_EQ(openMem(g, "rm"), nullptr);
    EXPECT_TRUE(log.hasError("cannot handle 4294967280 strips")) << log.all();
    // An out-of-line value claiming more bytes than the file holds.
    TiffBuilder c;
    c.addData(Bytes(16, 1));
    auto e = stripImage(4, 4, 8, 16);
    Entry desc;
    desc.tag = 270;
    desc.type = TYPE_ASCII;
    desc.count = 0x7FFFFFF0u;
    desc.rawField = true;
    desc.field = 8;
    e.push_back(desc);
    c.addIfd(e);
    MemFile k;
    k.data = c.bytes();
    TIFFHandle* h = openMem(k, "rm");
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(log.hasError("Error fetching data for field \"ImageDescription\""));
    TIFFCloseFile(h);
}

TEST(TiffDirRead, TagValuesAndTheirQuirks) {
    for (bool big : {false, true}) {
        for (bool bigEndian : {false, true}) {
            SCOPED_TRACE(std::string(big ? "big " : "classic ") + (bigEndian ? "MM" : "II"));
            TiffBuilder b(big, bigEndian);
            uint64_t at = b.addData(Bytes(48, 1));
            std::vector<Entry> e = {longs(256, {4}), longs(257, {4}), shorts(258, {8, 8, 8}), shorts(259, {1}),
                                    shorts(262, {2}), longs(273, {uint32_t(at)}), shorts(277, {3}),
                                    longs(279, {48}), shorts(255, {2})};
            addEntry(e, rationals(282, {300, 0}));     // zero denominator reads as 1.0
            addEntry(e, rationals(283, {144, 2}));
            addEntry(e, bytes(37000, TYPE_BYTE, {5}));    // unknown tag, single byte
            addEntry(e, bytes(37001, TYPE_SSHORT, {0xFE, 0xFF}));
            addEntry(e, floats(33304, {2.5f}));            // FieldOfViewCotangent
            addEntry(e, doubles(37439, {1.25}));           // StoNits
            addEntry(e, ascii(305, "writer"));
            addEntry(e, shorts(297, {1, 5}));              // PageNumber
            b.addIfd(e);
            MemFile f;
            f.data = b.bytes();
            MessageLog log;
            TIFFHandle* h = openMem(f, "rm");
            ASSERT_NE(h, nullptr) << log.all();
            EXPECT_TRUE(log.hasError("XResolution: Rational with zero denominator (num = 300)")) << log.all();
            float x = 0, y = 0;
            EXPECT_EQ(TIFFQueryField(h, TAG_XResolution, &x), 1);
            EXPECT_EQ(x, 1.0f);
            TIFFQueryField(h, TAG_YResolution, &y);
            EXPECT_EQ(y, 72.0f);
            uint16_t bps = 0, spp = 0;
            TIFFQueryField(h, TAG_BitsPerSample, &bps);
            TIFFQueryField(h, TAG_SamplesPerPixel, &spp);
            EXPECT_EQ(bps, 8);
            EXPECT_EQ(spp, 3);
            uint32_t subfile = 0;
            EXPECT_EQ(TIFFQueryField(h, TAG_SubfileType, &subfile), 1);
            EXPECT_EQ(subfile, 1u);
            uint16_t count16 = 0;
            void* value = nullptr;
            EXPECT_EQ(TIFFQueryField(h, 37000, &count16, &value), 1);
            EXPECT_EQ(count16, 1);
            EXPECT_EQ(*static_cast<uint8_t*>(value), 5);
            EXPECT_EQ(TIFFQueryField(h, 37001, &count16, &value), 1);
            EXPECT_EQ(*static_cast<uint16_t*>(value), 65534);
            float fov = 0;
            EXPECT_EQ(TIFFQueryField(h, 33304, &fov), 1);
            EXPECT_EQ(fov, 2.5f);
            double nits = 0;
            EXPECT_EQ(TIFFQueryField(h, 37439, &nits), 1);
            EXPECT_EQ(nits, 1.25);
            const char* sw = nullptr;
            EXPECT_EQ(TIFFQueryField(h, TAG_Software, &sw), 1);
            EXPECT_STREQ(sw, "writer");
            uint16_t page = 0, pages = 0;
            EXPECT_EQ(TIFFQueryField(h, TAG_PageNumber, &page, &pages), 1);
            EXPECT_EQ(pages, 5);
            EXPECT_TRUE(log.hasWarning("unknown field with tag 37000 (0x9088) encountered"));
            TIFFCloseFile(h);
        }
    }
}

TEST(TiffDirRead, PerSampleCountsUnsortedTagsAndTransferFunction) {
    TiffBuilder b;
    uint64_t at = b.addData(Bytes(48, 1));
    std::vector<Entry> e = {longs(257, {4}), longs(256, {4}), shorts(258, {8, 8, 8, 8}), shorts(259, {1}),
                            shorts(262, {2}), longs(273, {uint32_t(at)}), shorts(277, {3}), longs(279, {48}),
                            longs(278, {4}), shorts(263, {1})};
    std::vector<uint16_t> tf(256);
    for (int i = 0; i < 256; ++i) tf[size_t(i)] = uint16_t(i * 257);
    addEntry(e, shorts(301, tf));
    b.addIfd(e, false);
    MemFile f;
    f.data = b.bytes();
    MessageLog log;
    TIFFHandle* h = openMem(f, "rm");
    ASSERT_NE(h, nullptr) << log.all();
    EXPECT_EQ(log.countWarnings("tags are not sorted in ascending order"), 1);
    EXPECT_TRUE(log.hasWarning("incorrect count for field \"BitsPerSample\" (4, expecting 3); tag trimmed"));
    uint32_t w = 0, l = 0;
    TIFFQueryField(h, TAG_ImageWidth, &w);
    TIFFQueryField(h, TAG_ImageLength, &l);
    EXPECT_EQ(w, 4u);
    EXPECT_EQ(l, 4u);
    uint16_t *t0 = nullptr, *t1 = nullptr, *t2 = nullptr;
    ASSERT_EQ(TIFFQueryField(h, TAG_TransferFunction, &t0, &t1, &t2), 1);
    ASSERT_TRUE(t0 && t1 && t2);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(t0[i], tf[size_t(i)]);
        EXPECT_EQ(t1[i], tf[size_t(i)]);
        EXPECT_EQ(t2[i], tf[size_t(i)]);
    }
    TIFFCloseFile(h);

    // Different per-sample values fail the directory.
    TiffBuilder c;
    c.addData(Bytes(48, 1));
    auto e2 = stripImage(4, 4, 8, 48);
    e2[2] = shorts(258, {8, 8, 16});
    e2.push_back(shorts(277, {3}));
    c.addIfd(e2);
    f.data = c.bytes();
    EXPECT_EQ(openMem(f, "rm"), nullptr);
    EXPECT_TRUE(log.hasError("Cannot handle different per-sample values for field \"BitsPerSample\""));
}

TEST(TiffDirRead, SingleLargeStripIsChoppedUnlessModeSaysNot) {
    const uint32_t rowBytes = 3000, rows = 3334; // about 10 MB in one strip
    TiffBuilder b;
    b.addIfd({longs(256, {rowBytes}), longs(257, {rows}), shorts(258, {8}), shorts(259, {1}), shorts(262, {1}),
              longs(273, {64}), longs(279, {rowBytes * rows})});
    auto img = b.build();
    SparseFile f;
    f.chunks[0] = img.head;
    f.chunks[img.bodyOffset] = img.body;
    f.size = 64 + uint64_t(rowBytes) * rows;
    if (f.size < img.bodyOffset + img.body.size()) f.size = img.bodyOffset + img.body.size();
    // The directory lies inside the strip's bytes here; only the layout matters.
    TIFFHandle* h = openSparse(f, "r");
    ASSERT_NE(h, nullptr);
    uint32_t rps = 0;
    TIFFQueryField(h, TAG_RowsPerStrip, &rps);
    EXPECT_EQ(rps, 2u);
    EXPECT_EQ(h->dir.nStrips, (rows + 1) / 2);
    EXPECT_EQ(TIFFStoredStripSize(h, 0), 6000);
    TIFFCloseFile(h);
    h = openSparse(f, "rc");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->dir.nStrips, 1u);
    TIFFCloseFile(h);
}

TEST(TiffCodecRegistry, UnavailableAndUnknownSchemesFailAtDecode) {
    struct Case {
        uint16_t scheme;
        const char* message;
    } cases[] = {{3, "CCITT Group 3 compression support is not configured"},
                 {99, "Compression scheme 99 strip decoding is not implemented"}};
    for (auto& c : cases) {
        TiffBuilder b;
        b.addData(Bytes(16, 1));
        auto e = stripImage(4, 4, 8, 16);
        e[3] = shorts(259, {c.scheme});
        b.addIfd(e);
        MemFile f;
        f.data = b.bytes();
        MessageLog log;
        TIFFHandle* h = openMem(f, "rm");
        ASSERT_NE(h, nullptr) << log.all();
        Bytes out(16);
        EXPECT_EQ(TIFFReadDecodedStrip(h, 0, out.data(), -1), -1);
        EXPECT_TRUE(log.hasError(c.message)) << log.all();
        TIFFCloseFile(h);
    }
    // A tiled image of an unknown scheme fails too.
    TiffBuilder b;
    b.addData(Bytes(256, 1));
    b.addIfd({longs(256, {16}), longs(257, {16}), shorts(258, {8}), shorts(259, {99}), shorts(262, {1}),
              longs(322, {16}), longs(323, {16}), longs(324, {8}), longs(325, {256})});
    MemFile f;
    f.data = b.bytes();
    MessageLog log;
    TIFFHandle* h = openMem(f, "rm");
    ASSERT_NE(h, nullptr);
    Bytes out(256);
    EXPECT_EQ(TIFFReadEncodedTile(h, 0, out.data(), -1), -1);
    EXPECT_TRUE(log.hasError("Compression scheme 99 tile decoding is not implemented")) << log.all();
    TIFFCloseFile(h);
    EXPECT_TRUE(TIFFIsCodecAvailable(COMPRESSION_LZW));
    EXPECT_FALSE(TIFFIsCodecAvailable(COMPRESSION_CCITTFAX3));
    TIFFCodecEntry* mine = TIFFRegisterCODEC(7, "Mine", initDumpMode);
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(TIFFLookupCodec(7), mine);
    TIFFUnRegisterCODEC(mine);
    EXPECT_STREQ(TIFFLookupCodec(7)->name, "JPEG");
}

TEST(TiffDirRead, CountStopsAtTheLargestSixteenBitCount) {
    // 70000 empty directories chained one after another.
    const uint32_t n = 70000;
    Bytes data = {'I', 'I', 42, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t next = i + 1 < n ? uint32_t(data.size() + 6) : 0;
        data.push_back(0);
        data.push_back(0);
        for (int k = 0; k < 4; ++k) data.push_back(uint8_t(next >> (8 * k)));
    }
    MemFile f;
    f.data = data;
    TIFFHandle* h = openMem(f, "rh");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(TIFFCountDirectories(h), 65535);
    TIFFCloseFile(h);
}

TEST(TiffDirRead, ExifDirectoryWithItsOwnTable) {
    TiffBuilder b;
    b.addData(Bytes(16, 1));
    b.addIfd({longs(256, {4}), longs(257, {4}), shorts(258, {8}), shorts(259, {1}), shorts(262, {1}),
              longs(273, {8}), longs(279, {16})});
    b.addIfd({rationals(33434, {1, 250}), shorts(34855, {100, 200}), ascii(36867, "2024:01:02 03:04:05")});
    MemFile f;
    f.data = b.bytes();
    TIFFHandle* h = openMem(f, "rm");
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(TIFFReadExifIfd(h, b.ifdOffset(1)), 1);
    float exposure = 0;
    EXPECT_EQ(TIFFQueryField(h, 33434, &exposure), 1);
    EXPECT_FLOAT_EQ(exposure, 1.0f / 250);
    uint16_t count = 0;
    uint16_t* iso = nullptr;
    EXPECT_EQ(TIFFQueryField(h, 34855, &count, &iso), 1);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(iso[1], 200);
    const char* when = nullptr;
    EXPECT_EQ(TIFFQueryField(h, 36867, &when), 1);
    EXPECT_STREQ(when, "2024:01:02 03:04:05");
    TIFFCloseFile(h);
}
