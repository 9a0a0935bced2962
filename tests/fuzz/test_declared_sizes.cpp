// Declared-size attacks: files whose header fields claim huge dimensions,
// counts or lengths. Each is refused, or read within the memory bound below:
// this executable runs with the sanitizer's largest single allocation capped
// at kBoundMb, so any reader that sizes a buffer from a header field before
// checking it against the file aborts the test.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "jpeg/jpeg_reader.h"
#include "jpeg/jpeg_tile_decoder.h"
#include "readers/folders/bacus_reader.h"
#include "readers/folders/kestrix_folder_reader.h"
#include "readers/plain/png_reader.h"
#include "readers/tiff/svs_reader.h"
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
         Outcome::Refused, "Read error"},
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
         Outcome::Refused, "Read error"},
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
// a tile could be had.
bool readSlide(const Bytes& file) {
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
            any |= tiles->loadTile(x, y, 0, 0, c.get(), 4);
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
    };
    const Case cases[] = {
        {"JPEGTables count near 2^31", [](DirSpec& d) { d.tables.clear(); d.extra.push_back(raw(347, 7, 0x7FFFFFF0u, 8)); },
         Outcome::Refused},
        {"ImageDescription count near 2^31", [](DirSpec& d) { d.extra.push_back(raw(270, 2, 0x7FFFFFF0u, 8)); },
         Outcome::Read},
        {"tile byte counts near 2^31",
         [](DirSpec& d) {
             d.extra.push_back(longs(325, {0x7FFFFFF0u, 0x7FFFFFF0u, 0x7FFFFFF0u, 0x7FFFFFF0u}));
         },
         Outcome::Refused},
        {"a grid of 2^31 tiles", [](DirSpec& d) { d.width = d.height = 0x7FFFFFF0; }, Outcome::Refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(readSlide(slideWith(c.change)), c.expected == Outcome::Read);
    }
}

// ---- PNG and JPEG near the format limits ----

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
void putBe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
}

// A small RGB PNG whose IHDR then claims width x height (CRC fixed).
std::string pngClaiming(uint32_t width, uint32_t height) {
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
    std::string folder = vqtest::scratchDir("declared_sizes") + "/";
    auto write = [&](const char* name, const std::string& text) {
        ASSERT_TRUE(vqtest::writeFile(folder + name, text));
    };
    // Tile size and dimensions near 2^31: refused, no arithmetic overflows.
    write("ImageProperties.xml",
          "<IMAGE_PROPERTIES WIDTH=\"2147483647\" HEIGHT=\"2147483647\" NUMTILES=\"1\" NUMIMAGES=\"1\" "
          "VERSION=\"1.8\" TILESIZE=\"2147483647\" />");
    vq_ptr<vq_loader_base> loader;
    EXPECT_FALSE(createKestrixLoader(folder.c_str(), loader.put()));
    // Frames of 2^31 - 1 pixels and a huge stage step: refused.
    write("FinalScan.ini", "[Header]\niImageWidth=2147483647\niImageHeight=2147483647\nlXStepSize=1\n"
                           "lYStepSize=1\n[Da0]\nx=2147483647\ny=-2147483648\n[Da1]\nx=-2147483648\ny=2147483647\n");
    loader.reset();
    EXPECT_FALSE(createBacusLoader(folder.c_str(), false, loader.put()));
}

} // namespace
