// Virtual tiles over an uncompressed strip TIFF: the levels a file gets, the
// pixels of full-resolution and shrunk tiles against the file's own pattern,
// the files refused, and the memory a large file takes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's count of bytes allocated and not yet freed.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

#include "engine/base/imageContainer.h"
#include "readers/tiff/tiff_virtual_tiles.h"
#include "tests/readers/tiff/slide_fixture.h"

using slidetest::MemorySource;
using tifftest::Bytes;
using tifftest::Entry;
using tifftest::longs;
using tifftest::shorts;
using tifftest::TiffBuilder;

namespace {

size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// The file's pattern: first channel a ramp across the image, second a ramp
// down it, third a constant; grey files hold the first.
struct Pattern {
    int width, height, channels, bits;
    int maxValue() const { return bits == 16 ? 65535 : 255; }
    int sample(int col, int row, int c) const {
        if (c == 0) return int(int64_t(col) * maxValue() / (width - 1));
        if (c == 1) return int(int64_t(row) * maxValue() / (height - 1));
        return bits == 16 ? 77 * 257 : 77;
    }
};

struct FileSpec {
    int width = 0, height = 0;
    int channels = 3;
    int bits = 8;
    int rowsPerStrip = 64;
    bool bigEndian = false;
    // Every strip is one row and all share the same bytes: large images in
    // little memory.
    bool sharedRow = false;
    int compression = 1;
    int photometric = 0;  // 0: from channels
    bool tiled = false;
    std::vector<uint16_t> omit;  // tags left out
    int stripBytesShortBy = 0;
    uint32_t rowsPerStripValue = 0;  // the RowsPerStrip entry when not 0
};

Bytes makeFile(const FileSpec& f) {
    const Pattern p{f.width, f.height, f.channels, f.bits};
    const int bps = f.bits / 8;
    const size_t rowBytes = size_t(f.width) * f.channels * bps;
    auto row = [&](int r) {
        Bytes out(rowBytes);
        for (int c = 0; c < f.width; ++c)
            for (int k = 0; k < f.channels; ++k) {
                const int v = p.sample(c, r, k);
                uint8_t* q = out.data() + (size_t(c) * f.channels + k) * bps;
                if (bps == 1) {
                    q[0] = uint8_t(v);
                } else {
                    q[f.bigEndian ? 1 : 0] = uint8_t(v & 0xFF);
                    q[f.bigEndian ? 0 : 1] = uint8_t(v >> 8);
                }
            }
        return out;
    };
    TiffBuilder b(false, f.bigEndian);
    std::vector<uint32_t> offsets, counts;
    const int rps = f.sharedRow ? 1 : f.rowsPerStrip;
    if (f.sharedRow) {
        const uint32_t at = uint32_t(b.addData(row(0)));
        offsets.assign(size_t(f.height), at);
        counts.assign(size_t(f.height), uint32_t(rowBytes));
    } else {
        for (int r0 = 0; r0 < f.height; r0 += rps) {
            Bytes strip;
            for (int r = r0; r < std::min(f.height, r0 + rps); ++r) {
                const Bytes one = row(r);
                strip.insert(strip.end(), one.begin(), one.end());
            }
            offsets.push_back(uint32_t(b.addData(strip)));
            counts.push_back(uint32_t(strip.size()));
        }
    }
    counts[0] -= uint32_t(f.stripBytesShortBy);
    std::vector<Entry> e = {longs(256, {uint32_t(f.width)}),
                            longs(257, {uint32_t(f.height)}),
                            shorts(258, std::vector<uint16_t>(size_t(f.channels), uint16_t(f.bits))),
                            shorts(259, {uint16_t(f.compression)}),
                            shorts(262, {uint16_t(f.photometric != 0 ? f.photometric : f.channels == 3 ? 2 : 1)}),
                            shorts(277, {uint16_t(f.channels)}),
                            tifftest::ascii(270, "virtual test file")};
    if (f.tiled) {
        e.push_back(longs(322, {256}));
        e.push_back(longs(323, {256}));
        e.push_back(longs(324, offsets));
        e.push_back(longs(325, counts));
    } else {
        e.push_back(longs(273, offsets));
        e.push_back(longs(278, {f.rowsPerStripValue != 0 ? f.rowsPerStripValue : uint32_t(rps)}));
        e.push_back(longs(279, counts));
    }
    std::vector<Entry> kept;
    for (const Entry& x : e)
        if (std::find(f.omit.begin(), f.omit.end(), x.tag) == f.omit.end()) kept.push_back(x);
    b.addIfd(kept);
    return b.bytes();
}

struct Opened {
    std::unique_ptr<MemorySource> source;
    vq_ptr<vq_tileloader_base> loader;
    TIFFVirtualTileLoader* operator->() const { return static_cast<TIFFVirtualTileLoader*>(loader.get()); }
};

Opened openFile(const FileSpec& f) {
    Opened o;
    o.source = slidetest::source(makeFile(f));
    if (!createTIFFVirtualTileLoader(o.source->stream.get(), o.loader.put())) o.loader.reset();
    return o;
}

vq_ptr<imageContainer> container() { return vq_ptr<imageContainer>::adopt(imageContainer::create()); }

// Every pixel of a shrunk (or, at scale 1, copied) tile against the pattern
// at the file position its centre maps to; the constant channel exactly.
::testing::AssertionResult matchesPattern(imageContainer* tile, const Pattern& p, int x, int y, int scale,
                                          int tolerance) {
    const uint8_t* data = nullptr;
    int32_t step = 0;
    tile->lockPixelsConst(&data, &step);
    const int bps = p.bits / 8;
    ::testing::AssertionResult result = ::testing::AssertionSuccess();
    for (int j = 0; j < tile->getHeight() && result; ++j)
        for (int i = 0; i < tile->getWidth() && result; ++i) {
            const double col = x * 256.0 * scale + (i + 0.5) * scale - 0.5;
            const double row = y * 256.0 * scale + (j + 0.5) * scale - 0.5;
            for (int k = 0; k < p.channels; ++k) {
                const uint8_t* q = data + j * step + (i * p.channels + k) * bps;
                const int got = bps == 1 ? q[0] : q[0] | (q[1] << 8);
                int want;
                if (k == 0)
                    want = int(std::min(col, double(p.width - 1)) * p.maxValue() / (p.width - 1));
                else if (k == 1)
                    want = int(std::min(row, double(p.height - 1)) * p.maxValue() / (p.height - 1));
                else
                    want = p.sample(0, 0, 2);
                if (std::abs(got - want) > (k == 2 ? 0 : tolerance))
                    result = ::testing::AssertionFailure() << "pixel (" << i << ", " << j << ") channel " << k
                                                           << ": " << got << " instead of " << want;
            }
        }
    tile->unlockPixels();
    return result;
}

} // namespace

TEST(VirtualTiles, LevelsOfAFile) {
    struct Level {
        IntPair size;
        int scale;
        IntPair grid, edge;
    };
    struct Case {
        int width, height;
        std::vector<Level> levels;
        int tileCount;
    };
    const std::vector<Case> cases = {
        {2000, 2000, {{{2000, 2000}, 1, {8, 8}, {208, 208}}, {{500, 500}, 4, {2, 2}, {244, 244}}}, 68},
        {1000, 1000, {{{1000, 1000}, 1, {4, 4}, {232, 232}}}, 16},
        {10000, 10000,
         {{{10000, 10000}, 1, {40, 40}, {16, 16}},
          {{2500, 2500}, 4, {10, 10}, {196, 196}},
          {{625, 625}, 16, {3, 3}, {113, 113}}},
         1709},
        // More than 4 tiles both ways is needed for a smaller level.
        {5000, 1000, {{{5000, 1000}, 1, {20, 4}, {136, 232}}}, 80},
        {2050, 1100, {{{2050, 1100}, 1, {9, 5}, {2, 76}}, {{512, 275}, 4, {2, 2}, {256, 19}}}, 49},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
        FileSpec f;
        f.width = c.width;
        f.height = c.height;
        f.sharedRow = true;
        Opened o = openFile(f);
        ASSERT_NE(o.loader, nullptr);
        ASSERT_EQ(o.loader->getLevelSizes(0).size(), c.levels.size());
        for (size_t l = 0; l < c.levels.size(); ++l) {
            const Level& want = c.levels[l];
            EXPECT_EQ(o.loader->getLevelSize(int(l), 0), want.size) << l;
            EXPECT_EQ(o->getLevelScale(int(l)), want.scale) << l;
            EXPECT_EQ(o.loader->getLevelTileCounts(int(l), 0), want.grid) << l;
            // The edge tile's size shows in the tile delivered there, below.
        }
        EXPECT_EQ(o.loader->getTileCount(0), c.tileCount);
        EXPECT_EQ(o.loader->getLevelSize(int(c.levels.size()), 0), IntPair(0, 0));
        EXPECT_EQ(o.loader->getLevelTileCounts(-1, 0), IntPair(0, 0));
        EXPECT_EQ(o.loader->getTileSize(0), IntPair(256, 256));
        EXPECT_EQ(o.loader->getPixelFormat(0, 0), 4);
        EXPECT_EQ(o.loader->getCompression(0), 1);
        EXPECT_EQ(o.loader->getDescription(), std::string("virtual test file", 18));
    }
}

TEST(VirtualTiles, TilesShowTheFilesPixels) {
    struct Case {
        const char* what;
        FileSpec file;
        int x, y, level;
        IntPair size;
        int tolerance;
    };
    auto file = [](int w, int h, int channels, int bits, bool bigEndian = false) {
        FileSpec f;
        f.width = w;
        f.height = h;
        f.channels = channels;
        f.bits = bits;
        f.bigEndian = bigEndian;
        f.rowsPerStrip = 37;
        return f;
    };
    const std::vector<Case> cases = {
        // The region of rows and columns 1024 to 1999 shrunk by a quarter.
        {"2000 RGB (1, 1, 1)", file(2000, 2000, 3, 8), 1, 1, 1, {244, 244}, 2},
        {"2000 RGB (0, 1, 1)", file(2000, 2000, 3, 8), 0, 1, 1, {256, 244}, 2},
        {"2000 RGB (7, 7, 0) edge", file(2000, 2000, 3, 8), 7, 7, 0, {208, 208}, 0},
        {"2000 RGB (3, 2, 0)", file(2000, 2000, 3, 8), 3, 2, 0, {256, 256}, 0},
        // Level sizes rounded down leave file columns beyond the last tile's span.
        {"2050 x 1100 (1, 1, 1)", file(2050, 1100, 3, 8), 1, 1, 1, {256, 19}, 2},
        {"grey 8-bit (1, 0, 1)", file(1300, 1300, 1, 8), 1, 0, 1, {69, 256}, 2},
        {"grey 16-bit big-endian (1, 1, 0)", file(300, 300, 1, 16, true), 1, 1, 0, {44, 44}, 0},
        {"RGB 16-bit (1, 1, 1)", file(1300, 1300, 3, 16), 1, 1, 1, {69, 69}, 2 * 257},
        {"RGB 16-bit big-endian (0, 0, 1)", file(1300, 1300, 3, 16, true), 0, 0, 1, {256, 256}, 2 * 257},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Opened o = openFile(c.file);
        ASSERT_NE(o.loader, nullptr);
        const int format = o.loader->getPixelFormat(0, 0);
        auto tile = container();
        ASSERT_TRUE(o.loader->loadTile(c.x, c.y, c.level, 0, tile.get(), format));
        EXPECT_EQ(IntPair(tile->getWidth(), tile->getHeight()), c.size);
        EXPECT_EQ(tile->getFormat(), format);
        const Pattern p{c.file.width, c.file.height, c.file.channels, c.file.bits};
        EXPECT_TRUE(matchesPattern(tile.get(), p, c.x, c.y, o->getLevelScale(c.level), c.tolerance));
    }
}

TEST(VirtualTiles, TilesConvertToTheRequestedFormat) {
    FileSpec f;
    f.width = 600;
    f.height = 300;
    Opened o = openFile(f);
    ASSERT_NE(o.loader, nullptr);
    auto rgb = container();
    auto bgr = container();
    ASSERT_TRUE(o.loader->loadTile(2, 1, 0, 0, rgb.get(), 4));
    ASSERT_TRUE(o.loader->loadTile(2, 1, 0, 0, bgr.get(), 1));
    EXPECT_EQ(bgr->getFormat(), 1);
    const uint8_t *a = nullptr, *b = nullptr;
    int32_t sa = 0, sb = 0;
    rgb->lockPixelsConst(&a, &sa);
    bgr->lockPixelsConst(&b, &sb);
    ASSERT_EQ(IntPair(bgr->getWidth(), bgr->getHeight()), IntPair(88, 44));
    for (int y = 0; y < 44; ++y)
        for (int x = 0; x < 88; ++x)
            for (int k = 0; k < 3; ++k) ASSERT_EQ(a[y * sa + x * 3 + k], b[y * sb + x * 3 + 2 - k]) << x << "," << y;
    rgb->unlockPixels();
    bgr->unlockPixels();
}

TEST(VirtualTiles, RequestsOutsideTheLevelsAreRefused) {
    FileSpec f;
    f.width = 2050;
    f.height = 1100;
    f.sharedRow = true;
    Opened o = openFile(f);
    ASSERT_NE(o.loader, nullptr);
    struct Case {
        int x, y, level, image;
        bool valid;
    };
    auto tile = container();
    for (const Case& c : std::vector<Case>{{8, 4, 0, 0, true},
                                           {1, 1, 1, 0, true},
                                           {0, 0, 0, 1, false},
                                           {0, 0, 2, 0, false},
                                           {0, 0, -1, 0, false},
                                           {-1, 0, 0, 0, false},
                                           {0, -1, 0, 0, false},
                                           {9, 0, 0, 0, false},
                                           {0, 5, 0, 0, false},
                                           // Starts inside the file's columns (2048 < 2050), outside the level.
                                           {2, 0, 1, 0, false}}) {
        SCOPED_TRACE(::testing::Message() << c.x << "," << c.y << "," << c.level << "," << c.image);
        EXPECT_EQ(o.loader->isValidTile(c.x, c.y, c.level, c.image), c.valid);
        if (c.image == 0) {
            EXPECT_EQ(o.loader->loadTile(c.x, c.y, c.level, 0, tile.get(), 4), c.valid);
        }
    }
    EXPECT_FALSE(o.loader->loadTile(0, 0, 0, 0, nullptr, 4));
}

TEST(VirtualTiles, FilesTheReaderDoesNotTake) {
    struct Case {
        const char* what;
        std::function<void(FileSpec&)> change;
    };
    const std::vector<Case> cases = {
        {"tiled", [](FileSpec& f) { f.tiled = true; }},
        {"LZW", [](FileSpec& f) { f.compression = 5; }},
        {"no compression entry", [](FileSpec& f) { f.omit = {259}; }},
        {"palette", [](FileSpec& f) { f.channels = 1, f.photometric = 3; }},
        {"two channels", [](FileSpec& f) { f.channels = 2; }},
        {"no RowsPerStrip", [](FileSpec& f) { f.omit = {278}; }},
        {"no StripOffsets", [](FileSpec& f) { f.omit = {273}; }},
        {"no StripByteCounts", [](FileSpec& f) { f.omit = {279}; }},
        {"strips shorter than their rows", [](FileSpec& f) { f.stripBytesShortBy = 64; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FileSpec f;
        f.width = 300;
        f.height = 200;
        f.rowsPerStrip = 16;
        c.change(f);
        EXPECT_EQ(openFile(f).loader, nullptr);
    }
    vq_ptr<vq_tileloader_base> out;
    EXPECT_FALSE(createTIFFVirtualTileLoader(nullptr, out.put()));
    auto garbage = slidetest::source(Bytes(64, 0x41));
    EXPECT_FALSE(createTIFFVirtualTileLoader(garbage->stream.get(), out.put()));
    FileSpec fine;
    fine.width = 300;
    fine.height = 200;
    auto good = slidetest::source(makeFile(fine));
    EXPECT_FALSE(createTIFFVirtualTileLoader(good->stream.get(), nullptr));
}

TEST(VirtualTiles, RowsPerStripBeyondTheImageIsOneStrip) {
    // RowsPerStrip 2^32 - 1, as writers state "all rows in one strip".
    FileSpec f;
    f.width = 300;
    f.height = 200;
    f.rowsPerStrip = 200;
    f.rowsPerStripValue = 0xFFFFFFFFu;
    Opened o = openFile(f);
    ASSERT_NE(o.loader, nullptr);
    auto tile = container();
    ASSERT_TRUE(o.loader->loadTile(1, 0, 0, 0, tile.get(), 4));
    EXPECT_EQ(IntPair(tile->getWidth(), tile->getHeight()), IntPair(44, 200));
    EXPECT_TRUE(matchesPattern(tile.get(), Pattern{300, 200, 3, 8}, 1, 0, 1, 0));
}

TEST(VirtualTiles, ALargeFileOpensWithoutScratchForItsLevels) {
    // 70000 x 70000 pixels (14.7 GB of RGB) in one shared row: levels down to
    // a scale of 256, whose tiles span 65536 file pixels square.
    FileSpec f;
    f.width = 70000;
    f.height = 70000;
    f.sharedRow = true;
    const Bytes bytes = makeFile(f);
    auto src = slidetest::source(bytes);
    const size_t before = heapInUse();
    vq_ptr<vq_tileloader_base> loader;
    ASSERT_TRUE(createTIFFVirtualTileLoader(src->stream.get(), loader.put()));
    const size_t afterOpen = heapInUse();
    auto* virt = static_cast<TIFFVirtualTileLoader*>(loader.get());
    const std::vector<IntPair> sizes = loader->getLevelSizes(0);
    EXPECT_EQ(sizes, std::vector<IntPair>({{70000, 70000}, {17500, 17500}, {4375, 4375}, {1093, 1093}, {273, 273}}));
    EXPECT_EQ(virt->getLevelScale(4), 256);
    // The strip tables, a few hundred kilobytes, and nothing per level.
    EXPECT_LT(afterOpen - before, size_t(8) << 20);

    // A tile's region lives as long as its request.
    auto tile = container();
    ASSERT_TRUE(loader->loadTile(3, 5, 1, 0, tile.get(), 4));
    EXPECT_EQ(IntPair(tile->getWidth(), tile->getHeight()), IntPair(256, 256));
    EXPECT_LT(heapInUse() - afterOpen, size_t(1) << 20);
}
