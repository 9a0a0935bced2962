// Declared-size attacks: files whose header fields claim huge dimensions,
// counts or lengths. Each is refused, or read within the memory bound below:
// this executable runs with the sanitizer's largest single allocation capped
// at kBoundMb, so any reader that sizes a buffer from a header field before
// checking it against the file aborts the test.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "jpeg/jpeg_reader.h"
#include "jpeg/jpeg_tile_decoder.h"
#include "readers/folders/bacus_reader.h"
#include "readers/folders/kestrix_folder_reader.h"
#include "readers/plain/bmp_reader.h"
#include "readers/plain/png_reader.h"
#include "readers/plain/ppm_reader.h"
#include "readers/tiff/svs_reader.h"
#include "readers/tiff/tiff_reader.h"
#include "tests/fuzz/fuzz_common.h"
#include "tests/jpeg/jpeg_fixtures.h"
#include "tests/readers/tiff/slide_fixture.h"
#include "tests/support/test_env.h"
#include "tiff/vqtiff_internal.h"

#define BOUND_MB "64"
constexpr size_t kBoundMb = 64;

// Largest single allocation; a larger request aborts the test.
extern "C" const char* __asan_default_options() {
    return "max_allocation_size_mb=" BOUND_MB ":allocator_may_return_null=0";
}

using namespace slidetest;
using namespace tifftest;
using namespace vqtiff;

namespace {

enum class Outcome { Refused, Read };

// ---- TIFF library ----

Entry raw(uint16_t tag, uint16_t type, uint64_t count, uint64_t field) {
    Entry e;
    e.tag = tag;
    e.type = type;
    e.count = count;
    e.rawField = true;
    e.field = field;
    return e;
}

std::vector<Entry> stripImage(uint32_t width, uint32_t length, uint64_t offset, uint32_t byteCount) {
    return {longs(256, {width}), longs(257, {length}), shorts(258, {8}), shorts(259, {1}), shorts(262, {1}),
            longs(273, {uint32_t(offset)}), longs(278, {length}), longs(279, {byteCount})};
}

// Opens the file mapped and unmapped and reads every directory: a row of each
// stripped one, the first tile of each tiled one. True when any directory
// gave pixels.
bool readTiff(const Bytes& file, std::string* messages) {
    bool any = false;
    for (bool mapped : {false, true}) {
        MessageLog log;
        MemFile m;
        m.data = file;
        m.allowMap = mapped;
        TIFFHandle* h = openMem(m, mapped ? "r" : "rm");
        if (h) {
            int dirs = 0;
            do {
                if (TIFFHasTiles(h)) {
                    int64_t size = h->tileByteSize;
                    if (size > 0 && size_t(size) <= (kBoundMb << 20)) {
                        std::vector<uint8_t> tile(static_cast<size_t>(size));
                        any |= TIFFReadEncodedTile(h, 0, tile.data(), size) > 0;
                    }
                } else if (h->scanlineByteSize > 0 && size_t(h->scanlineByteSize) <= (kBoundMb << 20)) {
                    std::vector<uint8_t> row(static_cast<size_t>(h->scanlineByteSize));
                    any |= TIFFReadRow(h, row.data(), 0, 0) > 0;
                }
            } while (++dirs < 100 && TIFFReadDirectory(h));
            TIFFCloseFile(h);
        }
        *messages += log.all();
    }
    return any;
}

struct TiffCase {
    const char* name;
    std::function<Bytes()> build;
    Outcome expected;
    const char* message; // part of the reason given, when refused
};

TEST(DeclaredSizes, TiffLibrary) {
    const TiffCase cases[] = {
        {"huge dimensions, one strip of a few bytes",
         [] {
             TiffBuilder b;
             uint64_t at = b.addData(Bytes(16, 7));
             b.addIfd(stripImage(0xFFFFFFFFu, 0xFFFFFFFFu, at, 16));
             return b.bytes();
         },
         Outcome::Refused, "Integer overflow in TIFFScanlineSize"},
        {"large dimensions, one strip of a few bytes",
         [] {
             TiffBuilder b;
             uint64_t at = b.addData(Bytes(16, 7));
             b.addIfd(stripImage(65535, 65535, at, 16));
             return b.bytes();
         },
         Outcome::Refused, "Not enough data for scanline 0"},
        {"huge dimensions without byte counts, chopped into strips",
         [] {
             TiffBuilder b;
             uint64_t at = b.addData(Bytes(64, 7));
             auto e = stripImage(65535, 65535, at, 0);
             e.erase(e.begin() + 7); // no StripByteCounts: estimated from the dimensions
             e[6] = longs(278, {0xFFFFFFFFu});
             b.addIfd(e);
             return b.bytes();
         },
         Outcome::Refused, "Not enough data for scanline 0"},
        {"strip count beyond the file",
         [] {
             TiffBuilder b;
             uint64_t at = b.addData(Bytes(16, 7));
             auto e = stripImage(16, 0x7FFFFFFF, at, 16);
             e[6] = longs(278, {1});
             b.addIfd(e);
             return b.bytes();
         },
         Outcome::Refused, "strips in a file of"},
        {"tile count beyond the file",
         [] {
             TiffBuilder b;
             uint64_t at = b.addData(Bytes(16, 7));
             b.addIfd({longs(256, {0x100000u}), longs(257, {0x10000u}), shorts(258, {8}), shorts(259, {1}),
                       shorts(262, {1}), longs(322, {16}), longs(323, {16}), longs(324, {uint32_t(at)}),
                       longs(325, {16})});
             return b.bytes();
         },
         Outcome::Refused, "tiles in a file of"},
        {"strip byte count near 2^31",
         [] {
             TiffBuilder b;
             uint64_t at = b.addData(Bytes(64, 7));
             auto e = stripImage(64, 1, at, 0x7FFFFFF0u);
             e[3] = shorts(259, {5}); // LZW: the byte count is not repaired from the dimensions
             b.addIfd(e);
             return b.bytes();
         },
         Outcome::Refused, "Read error"},
        {"JPEGTables count near 2^32",
         [] {
             TiffBuilder b;
             uint64_t at = b.addData(Bytes(64, 7));
             auto e = stripImage(8, 8, at, 64);
             e.push_back(raw(347, TYPE_UNDEFINED, 0xFFFFFFF0u, 8));
             b.addIfd(e);
             return b.bytes();
         },
         Outcome::Read, "Error fetching data for field"},
        {"ImageDescription count near 2^31",
         [] {
             TiffBuilder b;
             uint64_t at = b.addData(Bytes(64, 7));
             auto e = stripImage(8, 8, at, 64);
             e.push_back(raw(270, TYPE_ASCII, 0x7FFFFFF0u, 8));
             b.addIfd(e);
             return b.bytes();
         },
         Outcome::Read, "Error fetching data for field"},
        {"SubIFD count near 2^30",
         [] {
             TiffBuilder b;
             uint64_t at = b.addData(Bytes(64, 7));
             auto e = stripImage(8, 8, at, 64);
             e.push_back(raw(330, TYPE_LONG, 0x3FFFFFF0u, 8));
             b.addIfd(e);
             return b.bytes();
         },
         Outcome::Refused, "Error fetching data for field"},
        {"first directory past the end",
         [] {
             TiffBuilder b;
             uint64_t at = b.addData(Bytes(64, 7));
             b.addIfd(stripImage(8, 8, at, 64));
             b.setFirstOffset(0xFFFFFF00u);
             return b.bytes();
         },
         Outcome::Refused, "TIFF directory"},
        {"BigTIFF directory of 2^32 - 1 entries",
         [] {
             TiffBuilder b(true);
             b.addData(Bytes(64, 7));
             Bytes f = b.bytes();
             // A directory at the end whose count claims 2^32 - 1 entries.
             uint64_t at = f.size();
             for (int i = 0; i < 8; ++i) f.push_back(i < 4 ? 0xFF : 0);
             for (int i = 0; i < 8; ++i) f[8 + size_t(i)] = uint8_t(at >> (8 * i));
             return f;
         },
         Outcome::Refused, "Can not read TIFF directory"},
        {"2^28 rows of 9000 bytes without byte counts, chopped",
         [] {
             // The count estimated from the dimensions is 2.4 TB; split into
             // strips of a row it would size two arrays of 2 GB.
             TiffBuilder b;
             uint64_t at = b.addData(Bytes(64, 7));
             auto e = stripImage(9000, 0x10000000u, at, 0);
             e.erase(e.begin() + 7);
             b.addIfd(e);
             return b.bytes();
         },
         Outcome::Refused, "Not enough data for scanline 0"},
        {"directory loop",
         [] {
             TiffBuilder b;
             uint64_t at = b.addData(Bytes(64, 7));
             b.addIfd(stripImage(8, 8, at, 64));
             b.addIfd(stripImage(8, 8, at, 64));
             b.loopTo(0);
             return b.bytes();
         },
         Outcome::Read, ""},
    };
    for (const TiffCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string messages;
        bool read = readTiff(c.build(), &messages);
        EXPECT_EQ(read, c.expected == Outcome::Read) << messages;
        EXPECT_NE(messages.find(c.message), std::string::npos) << messages;
    }
}

// ---- slides ----

Bytes slideWith(const std::function<void(DirSpec&)>& change) {
    TiffBuilder b;
    DirSpec level = jpegLevel(32, 32, 16, 5);
    change(level);
    addDir(b, level);
    return b.bytes();
}

// Opens the slide and reads every tile of level 0, raw and decoded; true when
// a tile could be had, with `decoded` true when a decoded one could.
bool readSlide(const Bytes& file, bool* decoded) {
    *decoded = false;
    auto src = source(file);
    vq_ptr<vq_tileloader_base> tiles;
    if (!createSVSRawTileLoader(src->stream.get(), tiles.put())) return false;
    bool any = false;
    IntPair counts = tiles->getLevelTileCounts(0, 0);
    for (int y = 0; y < std::min(counts.second, 4); ++y)
        for (int x = 0; x < std::min(counts.first, 4); ++x) {
            vq_ptr<vq_raw_tile> t;
            any |= tiles->loadRawTile(x, y, 0, 0, t.put());
            vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
            const bool ok = tiles->loadTile(x, y, 0, 0, c.get(), 4);
            any |= ok;
            *decoded |= ok;
        }
    vq_ptr<vq_raw_tile> tables;
    tiles->getJpegTables(0, 0, tables.put());
    tiles->getDescription();
    return any;
}

TEST(DeclaredSizes, SlideReader) {
    struct Case {
        const char* name;
        std::function<void(DirSpec&)> change;
        Outcome expected;
        bool decodes;
    };
    const Case cases[] = {
        {"JPEGTables count near 2^31", [](DirSpec& d) { d.tables.clear(); d.extra.push_back(raw(347, 7, 0x7FFFFFF0u, 8)); },
         Outcome::Refused, false},
        {"ImageDescription count near 2^31", [](DirSpec& d) { d.extra.push_back(raw(270, 2, 0x7FFFFFF0u, 8)); },
         Outcome::Read, true},
        {"tile byte counts near 2^31",
         [](DirSpec& d) {
             d.extra.push_back(longs(325, {0x7FFFFFF0u, 0x7FFFFFF0u, 0x7FFFFFF0u, 0x7FFFFFF0u}));
         },
         Outcome::Refused, false},
        {"a grid of 2^31 tiles", [](DirSpec& d) { d.width = d.height = 0x7FFFFFF0; }, Outcome::Refused, false},
        // A tile 2^24 pixels wide whose stored bytes could never decode to it.
        // The stored tile is handed out as it is; decoding it is refused (an
        // LZW tile is decoded as it is read).
        {"JPEG tile of 2^24 x 16", [](DirSpec& d) { d.tileWidth = 1 << 24; }, Outcome::Read, false},
        {"uncompressed tile of 2^24 x 16",
         [](DirSpec& d) {
             d = rawLevel(32, 32, 16, 1, 1);
             d.tileWidth = 1 << 24;
         },
         Outcome::Read, false},
        {"LZW tile of 2^24 x 16",
         [](DirSpec& d) {
             d = rawLevel(32, 32, 16, 5, 1);
             d.tileWidth = 1 << 24;
         },
         Outcome::Refused, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool decoded = false;
        EXPECT_EQ(readSlide(slideWith(c.change), &decoded), c.expected == Outcome::Read);
        EXPECT_EQ(decoded, c.decodes);
    }
}

// The TIFF reader hands out stored JPEG tiles (with the tables spliced in)
// only when the tile's bytes lie inside the file: a byte count that reaches
// past the end never sizes a buffer.
TEST(DeclaredSizes, TiffReaderRawTiles) {
    std::vector<uint32_t> stored;
    {
        const DirSpec level = jpegLevel(32, 32, 16, 5);
        for (const Bytes& piece : level.pieces) stored.push_back(uint32_t(piece.size()));
    }
    struct Case {
        const char* name;
        std::function<void(DirSpec&)> change;
        int tilesRead; // of the four
    };
    const Case cases[] = {
        {"counts as stored", [](DirSpec&) {}, 4},
        {"counts of 1 GiB",
         [](DirSpec& d) { d.extra.push_back(longs(325, {1u << 30, 1u << 30, 1u << 30, 1u << 30})); }, 0},
        // A count below the memory bound, but past the end of a 1 KB file.
        {"last count 16 MB",
         [&](DirSpec& d) { d.extra.push_back(longs(325, {stored[0], stored[1], stored[2], 0x00FFFFFFu})); }, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto src = source(slideWith(c.change));
        vq_ptr<vq_loader_base> file;
        ASSERT_TRUE(createTIFFLoader(src->stream.get(), file.put()));
        vq_ptr<vq_tileloader_base> tiles;
        ASSERT_TRUE(file->getTileLoader(tiles.put()));
        int read = 0;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x) {
                vq_ptr<vq_raw_tile> t;
                if (tiles->loadRawTile(x, y, 0, 0, t.put())) {
                    ++read;
                    EXPECT_LE(size_t(t->getDataLength()), size_t(1) << 16);
                }
            }
        EXPECT_EQ(read, c.tilesRead);
    }
}

// ---- PNG and JPEG near the format limits ----

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
void putBe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
}

// A small RGB PNG whose IHDR then claims width x height (CRC fixed), with an
// extra chunk before its pixels when one is given.
std::string pngClaiming(uint32_t width, uint32_t height, const char* extraType = nullptr,
                        const Bytes& extra = {}) {
    std::string p = "\x89PNG\r\n\x1a\n";
    auto chunk = [&](const char* type, const Bytes& data) {
        Bytes c(4);
        putBe32(c.data(), uint32_t(data.size()));
        c.insert(c.end(), type, type + 4);
        c.insert(c.end(), data.begin(), data.end());
        uint32_t crc = uint32_t(crc32(0, c.data() + 4, uInt(c.size() - 4)));
        c.resize(c.size() + 4);
        putBe32(c.data() + c.size() - 4, crc);
        p.append(c.begin(), c.end());
    };
    Bytes ihdr(13, 0);
    putBe32(ihdr.data(), width);
    putBe32(ihdr.data() + 4, height);
    ihdr[8] = 8;
    ihdr[9] = 2;
    chunk("IHDR", ihdr);
    if (extraType) chunk(extraType, extra);
    Bytes rows(1 + 3 * 4, 0x40);
    rows[0] = 0;
    Bytes z(compressBound(uLong(rows.size())));
    uLongf n = z.size();
    compress(z.data(), &n, rows.data(), uLong(rows.size()));
    z.resize(n);
    chunk("IDAT", z);
    chunk("IEND", {});
    return p;
}

// zTXt chunk data: a keyword and `inflated` zero bytes, compressed a
// megabyte at a time.
Bytes zTextOf(size_t inflated) {
    Bytes data = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
    z_stream z{};
    deflateInit(&z, 9);
    Bytes zeros(1 << 20, 0), out(1 << 16);
    for (size_t done = 0; done <= inflated;) {
        const size_t n = std::min(zeros.size(), inflated - done);
        done += n;
        const bool last = done == inflated;
        z.next_in = zeros.data();
        z.avail_in = uInt(n);
        do {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            data.insert(data.end(), out.data(), out.data() + (out.size() - z.avail_out));
        } while (z.avail_out == 0);
        if (last) break;
    }
    deflateEnd(&z);
    return data;
}

// A JPEG of a small picture whose frame header then claims width x height.
std::string jpegClaiming(uint16_t width, uint16_t height, const std::string& options) {
    std::string j = jpegtest::cjpeg(options, 16, 16);
    for (size_t i = 2; i + 9 < j.size(); ++i)
        if (uint8_t(j[i]) == 0xFF && (uint8_t(j[i + 1]) == 0xC0 || uint8_t(j[i + 1]) == 0xC2)) {
            j[i + 5] = char(height >> 8);
            j[i + 6] = char(height);
            j[i + 7] = char(width >> 8);
            j[i + 8] = char(width);
            break;
        }
    return j;
}

// Reads the header, strips until a failure and the whole image through the
// loader; true when every strip and the whole image were delivered.
bool readPlain(const std::string& bytes, bool (*create)(vq_stream*, vq_loader_base**)) {
    vq_ptr<vq_stream> stream = fuzz::streamOver(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    vq_ptr<vq_loader_base> loader;
    if (!create(stream.get(), loader.put())) return false;
    vq_ptr<vq_FileInfo> info;
    if (!loader->getFileInfo(info.put()) || !info->isValid()) return false;
    int format = *info->getPixelFormats().begin();
    vq_ptr<vq_stripLoader_base> strips;
    bool all = loader->getStripLoader(strips.put()) && strips->prepareStrips(16, format);
    IntPair size = info->getImageSize();
    int done = 0;
    while (all && done < size.second) {
        vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
        all = strips->readNextStrip(&done, c.get());
    }
    vq_ptr<imageContainer> whole = vq_ptr<imageContainer>::adopt(imageContainer::create());
    return loader->loadImage(whole.get(), format) && all;
}

TEST(DeclaredSizes, PngAndJpegNearTheFormatLimits) {
    struct Case {
        const char* name;
        std::string bytes;
        bool (*create)(vq_stream*, vq_loader_base**);
    };
    const Case cases[] = {
        {"PNG of 2^31 - 1 x 2^31 - 1", pngClaiming(0x7FFFFFFF, 0x7FFFFFFF), createPNGLoader},
        {"PNG of 1000000 x 1000000", pngClaiming(1000000, 1000000), createPNGLoader},
        {"PNG of 4 x 2^31 - 1", pngClaiming(4, 0x7FFFFFFF), createPNGLoader},
        {"baseline JPEG of 65500 x 65500", jpegClaiming(65500, 65500, "-quality 75"), createJPEGLoader},
        {"progressive JPEG of 65500 x 65500", jpegClaiming(65500, 65500, "-quality 75 -progressive"),
         createJPEGLoader},
        {"JPEG of 65500 x 16", jpegClaiming(65500, 16, "-quality 75"), createJPEGLoader},
        // Within what the data could hold, but the data ends early: decoding
        // stops there instead of guessing the rest.
        {"JPEG of 200 x 200 with the data of 16 x 16", jpegClaiming(200, 200, "-quality 75"), createJPEGLoader},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(readPlain(c.bytes, c.create));
    }
}

TEST(DeclaredSizes, PngTextThatInflatesBeyondTheChunkLimitIsSkipped) {
    // 100 MB of comment from about 100 KB: not held, the pixels still read.
    EXPECT_TRUE(readPlain(pngClaiming(4, 1, "zTXt", zTextOf(size_t(100) << 20)), createPNGLoader));
}

// A 32-bit BMP with a 40-byte header that claims width x height over the
// given number of bytes of pixels.
std::string bmpClaiming(int32_t width, int32_t height, size_t pixelBytes) {
    std::string b(54, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + size_t(i)] = char(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, uint32_t(54 + pixelBytes));
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(width));
    put32(22, uint32_t(height));
    b[26] = 1;
    b[28] = 32;
    b.append(pixelBytes, '\x5A');
    return b;
}

TEST(DeclaredSizes, BmpAndPpmRowsBeyondTheFile) {
    struct Case {
        const char* name;
        std::string bytes;
        bool (*create)(vq_stream*, vq_loader_base**);
    };
    const Case cases[] = {
        {"BMP of 4 x 4,128,771 in 92 bytes", bmpClaiming(4, 4128771, 38), createBMPLoader},
        {"top-down BMP of 4 x 4,128,771 in 92 bytes", bmpClaiming(4, -4128771, 38), createBMPLoader},
        {"BMP of 33,554,436 x 3 in 72 bytes", bmpClaiming(33554436, 3, 18), createBMPLoader},
        {"BMP whose rows start past the end", [] {
             std::string b = bmpClaiming(4, 4, 64);
             b[10] = b[11] = b[12] = char(0xFF);
             return b;
         }(), createBMPLoader},
        {"PPM of 6000 x 4000 in 100 bytes", "P6\n6000 4000\n255\n" + std::string(84, 'x'), createPPMLoader},
        {"PPM whose width needs 34 bits", "P6\n8888888855 2\n255\n" + std::string(64, 'x'), createPPMLoader},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(readPlain(c.bytes, c.create));
    }
}

// ---- tiles and folders ----

TEST(DeclaredSizes, JpegTileFrameLargerThanItsTile) {
    // A 256 x 256 tile whose frame claims 65500 x 65500 is refused before
    // anything of that size is decoded or rearranged.
    std::string j = jpegClaiming(65500, 65500, "-quality 75 -sample 1x1");
    vq_ptr<vq_TIFFJPEGTileDecoder> decoder = vq_ptr<vq_TIFFJPEGTileDecoder>::adopt(createTIFFJPEGTileDecoder());
    decoder->tileSize = IntPair(256, 256);
    decoder->edgeSizes = {IntPair(256, 256)};
    decoder->tileCounts = {IntPair(1, 1)};
    vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    EXPECT_FALSE(decoder->decodeTile(IntPair(0, 0), 0, reinterpret_cast<const uint8_t*>(j.data()),
                                     int32_t(j.size()), c.get()));
    vq_ptr<vq_raw_tile> tile;
    ASSERT_TRUE(createRawTile(tile.put()));
    ASSERT_TRUE(tile->allocate(int32_t(j.size()), IntPair(256, 256)));
    tile->setCompression(7);
    std::memcpy(tile->getData(), j.data(), j.size());
    vq_ptr<vq_raw_tile> out;
    EXPECT_FALSE(decoder->cropTile(tile.get(), out.put(), IntPair(128, 128)));
    EXPECT_FALSE(decoder->rotateTile(tile.get(), 0, out.put()));
    EXPECT_FALSE(decoder->mergeTiles(tile.get(), tile.get(), tile.get(), tile.get(), out.put()));
}

TEST(DeclaredSizes, FolderDescriptions) {
    // Each folder holds a readable first tile or frame, so the reader gets
    // past its probe to the values below; arithmetic on them must not
    // overflow (the sanitizer stops the test when it does).
    struct Case {
        const char* name;
        const char* text;
        bool opens;
    };
    const Case tileFolders[] = {
        {"one tile of 2^31 - 1",
         "<X WIDTH=\"2147483647\" HEIGHT=\"2147483647\" NUMTILES=\"1\" TILESIZE=\"2147483647\"/>", true},
        {"tiles of one pixel over 2^31 - 1",
         "<X WIDTH=\"2147483647\" HEIGHT=\"2147483647\" NUMTILES=\"1\" TILESIZE=\"1\"/>", false},
        {"tile size near 2^31", "<X WIDTH=\"2147483647\" HEIGHT=\"5\" NUMTILES=\"1\" TILESIZE=\"2147483600\"/>",
         true},
        {"more tiles than 32-bit numbers", "<X WIDTH=\"2000000000\" HEIGHT=\"2000000000\" NUMTILES=\"1\" TILESIZE=\"16\"/>",
         false},
        {"width beyond 32 bits", "<X WIDTH=\"99999999999\" HEIGHT=\"5\" NUMTILES=\"1\" TILESIZE=\"256\"/>", false},
    };
    for (const Case& c : tileFolders) {
        SCOPED_TRACE(c.name);
        const std::string folder = vqtest::scratchDir(std::string("declared_sizes_tiles_") + c.name) + "/";
        std::filesystem::create_directories(folder + "TileGroup0");
        ASSERT_TRUE(fuzz::writeSmallJpeg(folder + "TileGroup0/0-0-0.jpg"));
        ASSERT_TRUE(vqtest::writeFile(folder + "ImageProperties.xml", c.text));
        vq_ptr<vq_loader_base> loader;
        ASSERT_EQ(createKestrixLoader(folder.c_str(), loader.put()), c.opens);
        if (loader) fuzz::exerciseLoader(loader.get());
    }
    const Case bacusFolders[] = {
        // Stage positions 2^32 apart: a grid of 2^32 frames across.
        {"stage positions 2^32 apart",
         "[Header]\niImageWidth=16\niImageHeight=16\nlXStepSize=1\nlYStepSize=1\n"
         "[Da0]\nx=2147483647\ny=0\n[Da1]\nx=-2147483648\ny=0\n",
         false},
        // Two frames a step and a half apart: the image is 2.5 frames wide.
        {"frames of 10^9 pixels off the stage grid",
         "[Header]\niImageWidth=1000000000\niImageHeight=16\nlXStepSize=2\nlYStepSize=1\n"
         "[Da0]\nx=0\ny=0\n[Da1]\nx=3\ny=0\n",
         false},
        // Two frames make a grid of 100,001 cells: a white image 1.6 million
        // pixels wide.
        {"two frames 100,000 steps apart",
         "[Header]\niImageWidth=16\niImageHeight=16\nlXStepSize=1\nlYStepSize=1\n"
         "[Da0]\nx=0\ny=0\n[Da1]\nx=100000\ny=0\n",
         false},
        {"frames of 2^31 - 1 pixels",
         "[Header]\niImageWidth=2147483647\niImageHeight=2147483647\nlXStepSize=1\nlYStepSize=1\n"
         "[Da0]\nx=0\ny=0\n",
         false},
    };
    for (const Case& c : bacusFolders) {
        SCOPED_TRACE(c.name);
        const std::string folder = vqtest::scratchDir(std::string("declared_sizes_bacus_") + c.name) + "/";
        ASSERT_TRUE(fuzz::writeSmallJpeg(folder + "Da0.jpg"));
        ASSERT_TRUE(fuzz::writeSmallJpeg(folder + "Da1.jpg"));
        ASSERT_TRUE(vqtest::writeFile(folder + "FinalScan.ini", c.text));
        vq_ptr<vq_loader_base> loader;
        ASSERT_EQ(createBacusLoader(folder.c_str(), false, loader.put()), c.opens);
        if (loader) fuzz::exerciseLoader(loader.get());
    }
}

} // namespace
