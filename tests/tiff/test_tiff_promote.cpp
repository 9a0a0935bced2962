// Promotion of a classic file being written to BigTIFF past 4 GiB, on a
// sparse in-memory file (a few KiB stand for more than 4 GiB), and once on a
// real sparse file that tifffile reads.
#include "tests/tiff/tiff_write_support.h"
#include "tests/support/test_env.h"
#include "tiff/vqtiff_internal.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

using namespace vqtiff;
using namespace tifftest;

namespace {

constexpr uint64_t kFourGiB = uint64_t(1) << 32;

// One grey image of `rows` rows of 16 pixels, one strip per row.
Bytes rowPixels(uint32_t rows, uint32_t seed) { return pattern(size_t(rows) * 16, seed); }

void setGrey(TIFFHandle* t, uint32_t rows) {
    TIFFSetField(t, TAG_ImageWidth, 16u);
    TIFFSetField(t, TAG_ImageLength, rows);
    TIFFSetField(t, TAG_BitsPerSample, 8);
    TIFFSetField(t, TAG_PhotometricInterpretation, int(PHOTOMETRIC_MINISBLACK));
    TIFFSetField(t, TAG_RowsPerStrip, 1u);
}

// Writes the rows as strips; before strip `jumpAt` the file is made to
// reach `jumpTo` bytes, as if much data had been written in between.
void writeRows(TIFFHandle* t, SparseWriteFile& f, const Bytes& px, uint32_t jumpAt = ~0u, uint64_t jumpTo = 0) {
    for (uint32_t r = 0; r < px.size() / 16; ++r) {
        if (r == jumpAt) f.size = jumpTo;
        Bytes row(px.begin() + r * 16, px.begin() + (r + 1) * 16);
        ASSERT_EQ(TIFFWriteEncodedStrip(t, r, row.data(), 16), 16);
    }
}

uint64_t get64(const SparseWriteFile& f, uint64_t at) { return le64(f.read(at, 8), 0); }
uint32_t get32(const SparseWriteFile& f, uint64_t at) { return le32(f.read(at, 4), 0); }
uint16_t get16(const SparseWriteFile& f, uint64_t at) { return le16(f.read(at, 2), 0); }

// The BigTIFF header: "II", 43, 8, 0 and the first directory.
void expectBigHeader(const SparseWriteFile& f) {
    EXPECT_EQ(f.read(0, 8), Bytes({0x49, 0x49, 0x2B, 0x00, 0x08, 0x00, 0x00, 0x00}));
}

// A BigTIFF entry of the directory at `dir`, found by tag.
struct RawEntry {
    uint16_t type = 0;
    uint64_t count = 0;
    Bytes field;
    bool found = false;
};
RawEntry findEntry(const SparseWriteFile& f, uint64_t dir, uint16_t tag) {
    RawEntry e;
    uint64_t n = get64(f, dir);
    for (uint64_t i = 0; i < n && n < 1000; ++i) {
        uint64_t at = dir + 8 + 20 * i;
        if (get16(f, at) != tag) continue;
        e.found = true;
        e.type = get16(f, at + 2);
        e.count = get64(f, at + 4);
        e.field = f.read(at + 12, 8);
    }
    return e;
}

// Reads directory `dir` (or the directory at `offset`) back and compares
// its strips with the rows.
void expectRows(SparseWriteFile& f, const Bytes& px, uint16_t dir, uint64_t offset = 0) {
    TIFFHandle* t = openSparseWrite(f, "rm");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(TIFFUsesBigTIFF(t), 1);
    ASSERT_EQ(offset ? TIFFSelectDirectoryAt(t, offset) : TIFFSelectDirectory(t, dir), 1);
    for (uint32_t r = 0; r < px.size() / 16; ++r) {
        uint8_t row[16];
        ASSERT_EQ(TIFFReadDecodedStrip(t, r, row, 16), 16);
        EXPECT_EQ(0, std::memcmp(row, &px[r * 16], 16)) << "row " << r;
    }
    TIFFCloseFile(t);
}

TEST(TiffPromote, SingleDirectoryPastFourGiB) {
    MessageLog log;
    SparseWriteFile f;
    TIFFHandle* t = openSparseWrite(f, "w");
    Bytes px = rowPixels(3, 1);
    setGrey(t, 3);
    writeRows(t, f, px, 2, kFourGiB - 8);
    ASSERT_EQ(TIFFWriteCurrentDirectory(t), 1) << log.all();
    TIFFCloseFile(t);
    expectBigHeader(f);
    uint64_t dir = get64(f, 8);
    EXPECT_GE(dir, kFourGiB);
    RawEntry offsets = findEntry(f, dir, TAG_StripOffsets);
    ASSERT_TRUE(offsets.found);
    EXPECT_EQ(offsets.type, TYPE_LONG8);
    EXPECT_EQ(get64(f, le64(offsets.field, 0) + 16), kFourGiB - 8); // strip 2's exact offset
    EXPECT_EQ(findEntry(f, dir, TAG_StripByteCounts).type, TYPE_LONG8);
    expectRows(f, px, 0);
    EXPECT_LT(f.memoryBytes(), size_t(1) << 20);
}

// The first directory is converted to BigTIFF at the end of the file, the
// header points to it and the second directory follows it.
TEST(TiffPromote, TwoDirectoriesSecondCrossesFourGiB) {
    MessageLog log;
    SparseWriteFile f;
    TIFFHandle* t = openSparseWrite(f, "w");
    Bytes first = rowPixels(2, 2), second = rowPixels(2, 3);
    setGrey(t, 2);
    TIFFSetField(t, TAG_XResolution, 72.0);
    TIFFSetField(t, TAG_YResolution, 72.0);
    writeRows(t, f, first);
    ASSERT_EQ(TIFFWriteCurrentDirectory(t), 1);
    const uint64_t classicFirst = get32(f, 4);
    setGrey(t, 2);
    writeRows(t, f, second, 1, kFourGiB + 100);
    ASSERT_EQ(TIFFWriteCurrentDirectory(t), 1) << log.all();
    TIFFCloseFile(t);
    ASSERT_TRUE(log.errors.empty()) << log.all();
    expectBigHeader(f);
    uint64_t dir0 = get64(f, 8);
    EXPECT_GE(dir0, kFourGiB);
    EXPECT_NE(dir0, classicFirst);
    // The rational moved into the BigTIFF value field.
    RawEntry xres = findEntry(f, dir0, TAG_XResolution);
    ASSERT_TRUE(xres.found);
    EXPECT_EQ(le32(xres.field, 0), 1207959552u);
    EXPECT_EQ(le32(xres.field, 4), 16777216u);
    uint64_t link = get64(f, dir0 + 8 + 20 * get64(f, dir0));
    EXPECT_GT(link, dir0);
    EXPECT_EQ(get64(f, link + 8 + 20 * get64(f, link)), 0u);
    expectRows(f, first, 0);
    expectRows(f, second, 1);
    EXPECT_LT(f.memoryBytes(), size_t(1) << 20);
}

// Out-of-line values that start below 4 GiB but end within 4 bytes of it:
// the directory is built again in the BigTIFF form.
TEST(TiffPromote, DataPositionTrigger) {
    MessageLog log;
    SparseWriteFile f;
    TIFFHandle* t = openSparseWrite(f, "w");
    Bytes px = rowPixels(1, 4);
    setGrey(t, 1);
    const std::string text(300, 'd');
    TIFFSetField(t, TAG_ImageDescription, text.c_str());
    writeRows(t, f, px);
    f.size = kFourGiB - 400; // the directory fits below 4 GiB, its text does not
    ASSERT_EQ(TIFFWriteCurrentDirectory(t), 1) << log.all();
    TIFFCloseFile(t);
    expectBigHeader(f);
    uint64_t dir = get64(f, 8);
    EXPECT_GE(dir, kFourGiB - 400);
    RawEntry desc = findEntry(f, dir, TAG_ImageDescription);
    ASSERT_TRUE(desc.found);
    EXPECT_EQ(desc.count, 301u);
    Bytes stored = f.read(le64(desc.field, 0), 300);
    EXPECT_EQ(std::string(stored.begin(), stored.end()), text);
    expectRows(f, px, 0);
}

// SubIFDs: the parent and the SubIFDs already written are converted, the
// SubIFD being written takes its slot in the converted parent, and the next
// directory enters the main chain.
TEST(TiffPromote, SubIfdWrittenAcrossTheBoundary) {
    for (uint16_t subs : {uint16_t(1), uint16_t(2)}) {
        SCOPED_TRACE(subs);
        MessageLog log;
        SparseWriteFile f;
        TIFFHandle* t = openSparseWrite(f, "w");
        std::vector<Bytes> images = {rowPixels(2, 10), rowPixels(2, 11), rowPixels(2, 12), rowPixels(2, 13)};
        if (subs == 1) images.erase(images.begin() + 2);
        for (size_t i = 0; i < images.size(); ++i) {
            setGrey(t, 2);
            if (i == 0) {
                std::vector<uint64_t> zeros(subs, 0);
                TIFFSetField(t, TAG_SubIFD, int(subs), zeros.data());
            }
            // The last SubIFD crosses 4 GiB.
            writeRows(t, f, images[i], i == subs ? 1u : ~0u, kFourGiB + 10);
            ASSERT_EQ(TIFFWriteCurrentDirectory(t), 1) << log.all();
        }
        TIFFCloseFile(t);
        ASSERT_TRUE(log.errors.empty()) << log.all();
        expectBigHeader(f);

        TIFFHandle* r = openSparseWrite(f, "rm");
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(TIFFCountDirectories(r), 2);
        uint16_t n = 0;
        uint64_t* offsets = nullptr;
        ASSERT_EQ(TIFFQueryField(r, TAG_SubIFD, &n, &offsets), 1);
        ASSERT_EQ(n, subs);
        std::vector<uint64_t> subOffsets(offsets, offsets + n);
        TIFFCloseFile(r);
        expectRows(f, images[0], 0);
        for (uint16_t k = 0; k < subs; ++k) {
            EXPECT_NE(subOffsets[k], 0u);
            expectRows(f, images[1 + k], 0, subOffsets[k]);
        }
        expectRows(f, images.back(), 1);
    }
}

// Small values kept out of line in a classic directory fit the BigTIFF value
// field after the promotion; counts are widened without sign extension.
TEST(TiffPromote, ConvertedEntriesInlineAndWidened) {
    // A classic file made by hand (bytes 8 to 15 left free) with two signed
    // longs, one double and a byte entry whose count has its top bit set.
    TiffBuilder b(false, false, 16);
    uint64_t where = b.addData(Bytes(16, 0xAB));
    Entry huge;
    huge.tag = 65003;
    huge.type = TYPE_BYTE;
    huge.count = 0x80000001u;
    huge.rawField = true;
    huge.field = where;
    std::vector<uint32_t> slongs = {uint32_t(-5), 7};
    Entry pair = longs(65001, slongs);
    pair.type = TYPE_SLONG;
    b.addIfd({shorts(TAG_ImageWidth, {16}), pair, doubles(65002, {2.5}), huge});
    Bytes file = b.bytes();
    SparseWriteFile f;
    f.write(0, file);

    MessageLog log;
    TIFFHandle* t = openSparseWrite(f, "a");
    ASSERT_NE(t, nullptr) << log.all();
    Bytes px = rowPixels(2, 20);
    setGrey(t, 2);
    writeRows(t, f, px, 1, kFourGiB + 2);
    ASSERT_EQ(TIFFWriteCurrentDirectory(t), 1) << log.all();
    TIFFCloseFile(t);
    expectBigHeader(f);
    uint64_t dir = get64(f, 8);
    RawEntry p = findEntry(f, dir, 65001), d = findEntry(f, dir, 65002), h = findEntry(f, dir, 65003);
    ASSERT_TRUE(p.found && d.found && h.found);
    EXPECT_EQ(p.count, 2u);
    EXPECT_EQ(int32_t(le32(p.field, 0)), -5);
    EXPECT_EQ(le32(p.field, 4), 7u);
    double v;
    std::memcpy(&v, d.field.data(), 8);
    EXPECT_EQ(v, 2.5);
    EXPECT_EQ(h.count, 0x80000001u);
    EXPECT_EQ(le64(h.field, 0), where);
    // The new directory follows the converted one, with 64-bit offsets.
    uint64_t next = get64(f, dir + 8 + 20 * get64(f, dir));
    RawEntry offsets = findEntry(f, next, TAG_StripOffsets);
    ASSERT_TRUE(offsets.found);
    EXPECT_EQ(offsets.type, TYPE_LONG8);
    EXPECT_EQ(get64(f, le64(offsets.field, 0) + 8), kFourGiB + 2);
}

// Mode '4' keeps the file classic: both triggers refuse.
TEST(TiffPromote, ClassicForcedRefuses) {
    for (bool dataTrigger : {false, true}) {
        SCOPED_TRACE(dataTrigger);
        MessageLog log;
        SparseWriteFile f;
        TIFFHandle* t = openSparseWrite(f, "w4");
        Bytes px = rowPixels(2, 5);
        setGrey(t, 2);
        if (dataTrigger) {
            TIFFSetField(t, TAG_ImageDescription, std::string(300, 'x').c_str());
            writeRows(t, f, px);
            f.size = kFourGiB - 400;
        } else {
            writeRows(t, f, px, 1, kFourGiB);
        }
        EXPECT_EQ(TIFFWriteCurrentDirectory(t), 0);
        EXPECT_TRUE(log.hasError("TIFFCheckBigTIFF: File > 2^32 and NO BigTIFF specified")) << log.all();
        EXPECT_EQ(f.read(0, 4), Bytes({0x49, 0x49, 0x2A, 0x00}));
        TIFFReleaseHandle(t);
    }
}

// A real file past 4 GiB with a hole in the middle: tifffile opens it as
// BigTIFF and reads the strips on both sides of the hole.
TEST(TiffPromote, RealSparseFileReadByTifffile) {
    std::string dir = vqtest::scratchDir("tiff_promote_real");
    std::string path = dir + "/big.tif";
    {
        int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        bool sized = ::ftruncate(fd, off_t(kFourGiB + 4096)) == 0;
        struct stat st {};
        ::fstat(fd, &st);
        ::close(fd);
        ::unlink(path.c_str());
        if (!sized || uint64_t(st.st_blocks) * 512 > (uint64_t(1) << 20))
            GTEST_SKIP() << "the file system keeps no holes";
    }
    MessageLog log;
    TIFFHandle* t = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(t, nullptr) << log.all();
    Bytes px = rowPixels(4, 30);
    setGrey(t, 4);
    for (uint32_t r = 0; r < 4; ++r) {
        if (r == 2) {
            ASSERT_EQ(::truncate(path.c_str(), off_t(kFourGiB + 4096)), 0);
        }
        Bytes row(px.begin() + r * 16, px.begin() + (r + 1) * 16);
        ASSERT_EQ(TIFFWriteEncodedStrip(t, r, row.data(), 16), 16);
    }
    TIFFCloseFile(t);
    ASSERT_TRUE(log.errors.empty()) << log.all();
    TiffDump dump = tifffileDump(path, true);
    struct stat st {};
    ::stat(path.c_str(), &st);
    ::unlink(path.c_str());
    ASSERT_EQ(dump.status, 0) << dump.text;
    EXPECT_TRUE(dump.has("form bigtiff")) << dump.text;
    EXPECT_EQ(dump.pixels, px);
    EXPECT_GT(uint64_t(st.st_size), kFourGiB);
    EXPECT_LT(uint64_t(st.st_blocks) * 512, uint64_t(1) << 20);
}

} // namespace

namespace {

// Byte counts are 64-bit: a count of 4 GiB or more promotes a classic file
// (or, with '4', refuses the directory) and is written whole as LONG8.
TEST(TiffPromote, ByteCountOfFourGiBPromotesInsteadOfTruncating) {
    for (const char* mode : {"w", "w4"}) {
        SCOPED_TRACE(mode);
        MessageLog log;
        SparseWriteFile f;
        TIFFHandle* t = openSparseWrite(f, mode);
        Bytes px = rowPixels(1, 6);
        setGrey(t, 1);
        writeRows(t, f, px);
        // A count that no classic entry holds, in a file whose directory and
        // values stay below 4 GiB.
        const uint64_t count = kFourGiB + 16;
        t->dir.stripByteCount[0] = count;
        if (mode[1] == '4') {
            EXPECT_EQ(TIFFWriteCurrentDirectory(t), 0);
            EXPECT_TRUE(log.hasError("File > 2^32 and NO BigTIFF specified")) << log.all();
            TIFFReleaseHandle(t);
            continue;
        }
        ASSERT_EQ(TIFFWriteCurrentDirectory(t), 1) << log.all();
        TIFFCloseFile(t);
        expectBigHeader(f);
        RawEntry counts = findEntry(f, get64(f, 8), TAG_StripByteCounts);
        ASSERT_TRUE(counts.found);
        EXPECT_EQ(counts.type, TYPE_LONG8);
        EXPECT_EQ(le64(counts.field, 0), count);
    }
}

} // namespace
