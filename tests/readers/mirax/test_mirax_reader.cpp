// The Mirax reader against a fake slide-access component: the levels derived
// from the scan map, the tile each request reaches, the rows copied into the
// container and the failures of every step.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/reader_messages.h"
#include "readers/mirax/mirax_reader.h"
#include "tests/readers/mirax/fake_slide_component.h"

namespace sa = vq::platform;
using miraxtest::FakeSlideComponent;
using miraxtest::InstalledComponent;
using miraxtest::RegionCall;
using miraxtest::TileShape;

namespace {

class Lines : public ReaderMessageSink {
public:
    void readerMessage(const char* line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

vq_ptr<vq_tileloader_base> open(const char* path = "/slides/fake.mrxs") {
    vq_ptr<vq_tileloader_base> loader;
    if (!createMiraxTileLoader(path, loader.put())) loader.reset();
    return loader;
}

vq_ptr<imageContainer> container() { return vq_ptr<imageContainer>::adopt(imageContainer::create()); }

// Compares every visible pixel of a tile with the fake's rendering of the
// component tile, in the byte order of the format (1: B, G, R; 4: R, G, B).
::testing::AssertionResult holdsTile(imageContainer* c, int format, int column, int row, int level) {
    uint8_t* data = nullptr;
    int32_t step = 0;
    c->lockPixels(&data, &step);
    for (int y = 0; y < c->getHeight(); ++y)
        for (int x = 0; x < c->getWidth(); ++x) {
            const auto want = miraxtest::tilePixel(column, row, level, x, y);
            const uint8_t* p = data + y * step + x * 3;
            const uint8_t b = format == 1 ? p[0] : p[2], g = p[1], r = format == 1 ? p[2] : p[0];
            if (b != want.b || g != want.g || r != want.r) {
                c->unlockPixels();
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") differs";
            }
        }
    c->unlockPixels();
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(MiraxReader, LevelsComeFromTheScannedArea) {
    struct Case {
        const char* what;
        int mapW, mapH;
        int c0, r0, c1, r1;  // scanned cells; c0 < 0: none
        IntPair image;
        std::vector<IntPair> counts;
        IntPair first;  // smallest column and row
    };
    const std::vector<Case> cases = {
        {"columns 3-10, rows 2-5", 16, 8, 3, 2, 10, 5, {2048, 1024}, {{8, 4}, {4, 2}}, {3, 2}},
        {"nothing scanned", 4, 4, -1, 0, 0, 0, {512, 512}, {{2, 2}}, {-1, -1}},
        {"one tile wide", 8, 9, 5, 0, 5, 7, {256, 2048}, {{1, 8}}, {5, 0}},
        {"one tile high", 9, 3, 0, 2, 6, 2, {1792, 256}, {{7, 1}}, {0, 2}},
        {"a single tile", 3, 3, 1, 1, 1, 1, {256, 256}, {{1, 1}}, {1, 1}},
        {"2048 x 2048 tiles", 2048, 2048, 0, 0, 2047, 2047, {524288, 524288},
         {{2048, 2048}, {1024, 1024}, {512, 512}, {256, 256}, {128, 128}, {64, 64}, {32, 32}, {16, 16}, {8, 8}, {4, 4}},
         {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSlideComponent fake;
        fake.setMap(c.mapW, c.mapH);
        if (c.c0 >= 0) fake.scan(c.c0, c.r0, c.c1, c.r1);
        InstalledComponent installed(&fake);
        vq_ptr<vq_tileloader_base> loader = open();
        ASSERT_NE(loader, nullptr);
        auto* mirax = static_cast<vq_MiraxTileLoader*>(loader.get());
        EXPECT_EQ(mirax->getImageSize(), c.image);
        EXPECT_EQ(IntPair(mirax->getFirstColumn(), mirax->getFirstRow()), c.first);
        const std::vector<IntPair> sizes = loader->getLevelSizes(0);
        ASSERT_EQ(sizes.size(), c.counts.size());
        int total = 0;
        for (size_t l = 0; l < sizes.size(); ++l) {
            EXPECT_EQ(sizes[l], IntPair(c.image.first >> l, c.image.second >> l)) << l;
            EXPECT_EQ(loader->getLevelTileCounts(int(l), 0), c.counts[l]) << l;
            EXPECT_EQ(loader->getLevelSize(int(l), 0), sizes[l]) << l;
            total += c.counts[l].first * c.counts[l].second;
        }
        EXPECT_EQ(loader->getTileCount(0), total);
        EXPECT_EQ(fake.unbalancedLocks, 0);
    }
}

TEST(MiraxReader, TilesAreRenderedPerLevelFromTheScannedOrigin) {
    FakeSlideComponent fake;
    fake.setMap(16, 8);
    fake.scan(3, 2, 10, 5);
    InstalledComponent installed(&fake);
    vq_ptr<vq_tileloader_base> loader = open();
    ASSERT_NE(loader, nullptr);

    struct Case {
        int x, y, level, format;
        int column, row;  // the component's tile
    };
    // The origin (3, 2) in tiles of each level, rounded down: (3, 2), (1, 1).
    for (const Case& c : std::vector<Case>{{0, 0, 0, 4, 3, 2}, {7, 3, 0, 1, 10, 5}, {0, 0, 1, 4, 1, 1},
                                           {3, 1, 1, 1, 4, 2}}) {
        SCOPED_TRACE(::testing::Message() << c.x << "," << c.y << " level " << c.level);
        fake.regionCalls.clear();
        auto tile = container();
        ASSERT_TRUE(loader->loadTile(c.x, c.y, c.level, 0, tile.get(), c.format));
        ASSERT_EQ(fake.regionCalls.size(), 1u);
        const RegionCall& call = fake.regionCalls[0];
        EXPECT_EQ(std::vector<int>({call.firstColumn, call.firstRow, call.lastColumn, call.lastRow, call.level,
                                    call.mode, call.quality, call.flags}),
                  std::vector<int>({c.column, c.row, c.column, c.row, c.level, 2, 1, 0}));
        EXPECT_EQ(tile->getFormat(), c.format);
        EXPECT_EQ(IntPair(tile->getWidth(), tile->getHeight()), IntPair(256, 256));
        EXPECT_TRUE(holdsTile(tile.get(), c.format, c.column, c.row, c.level));
    }
    EXPECT_EQ(fake.unbalancedLocks, 0);
}

TEST(MiraxReader, AnEmptyScanReadsFromColumnAndRowMinusOne) {
    FakeSlideComponent fake;
    fake.setMap(4, 4);
    InstalledComponent installed(&fake);
    vq_ptr<vq_tileloader_base> loader = open();
    ASSERT_NE(loader, nullptr);
    auto tile = container();
    ASSERT_TRUE(loader->loadTile(1, 0, 0, 0, tile.get(), 4));
    ASSERT_EQ(fake.regionCalls.size(), 1u);
    EXPECT_EQ(IntPair(fake.regionCalls[0].firstColumn, fake.regionCalls[0].firstRow), IntPair(0, -1));
}

TEST(MiraxReader, RenderedTileShapes) {
    struct Case {
        const char* what;
        TileShape shape;
        bool loads;
        IntPair size;
    };
    const std::vector<Case> cases = {
        {"narrower tile keeps its width", {200, 256, 0}, true, {200, 256}},
        {"short tile with padded rows", {256, 100, 13}, true, {256, 100}},
        {"larger tile is cut to the tile", {300, 280, 5}, true, {256, 256}},
        {"another pixel format", {256, 256, 0, 0x2200A}, false, {}},
        {"no width", {0, 256}, false, {}},
        {"no pixels", {256, 256, 0, sa::kSlidePixelFormatBGR24, true}, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSlideComponent fake;
        fake.setMap(2, 2);
        fake.scan(0, 0, 1, 1);
        fake.shape = [&](const RegionCall&) { return c.shape; };
        InstalledComponent installed(&fake);
        vq_ptr<vq_tileloader_base> loader = open();
        ASSERT_NE(loader, nullptr);
        auto tile = container();
        ASSERT_EQ(loader->loadTile(1, 1, 0, 0, tile.get(), 4), c.loads);
        if (c.loads) {
            EXPECT_EQ(IntPair(tile->getWidth(), tile->getHeight()), c.size);
            EXPECT_TRUE(holdsTile(tile.get(), 4, 1, 1, 0));
        }
        EXPECT_EQ(fake.unbalancedLocks, 0);
    }
}

TEST(MiraxReader, RequestsOutsideTheLevelsAreRefused) {
    FakeSlideComponent fake;
    fake.setMap(16, 8);
    fake.scan(3, 2, 10, 5);
    InstalledComponent installed(&fake);
    vq_ptr<vq_tileloader_base> loader = open();
    ASSERT_NE(loader, nullptr);
    struct Case {
        int x, y, level, image;
        bool valid;
    };
    for (const Case& c : std::vector<Case>{{7, 3, 0, 0, true},
                                           {8, 3, 0, 0, false},
                                           {7, 4, 0, 0, false},
                                           {3, 1, 1, 0, true},
                                           {0, 0, 2, 0, false},
                                           {-1, 0, 0, 0, false},
                                           {0, -1, 0, 0, false},
                                           {0, 0, -1, 0, false},
                                           {0, 0, 0, 1, false}}) {
        SCOPED_TRACE(::testing::Message() << c.x << "," << c.y << "," << c.level << "," << c.image);
        EXPECT_EQ(loader->isValidTile(c.x, c.y, c.level, c.image), c.valid);
    }
    // Refused before the component is asked.
    auto tile = container();
    for (const Case& c :
         std::vector<Case>{{0, 0, 2, 0, false}, {-1, 0, 0, 0, false}, {0, -1, 0, 0, false}, {0, 0, -1, 0, false},
                           {0, 0, 0, 1, false}})
        EXPECT_FALSE(loader->loadTile(c.x, c.y, c.level, c.image, tile.get(), 4));
    EXPECT_TRUE(fake.regionCalls.empty());
    EXPECT_FALSE(loader->loadTile(0, 0, 0, 0, nullptr, 4));

    // A failed rendering or image creation delivers nothing.
    fake.renderStatus = sa::kSlideFailed;
    EXPECT_FALSE(loader->loadTile(0, 0, 0, 0, tile.get(), 4));
    fake.renderStatus = 0;
    fake.createImageStatus = sa::kSlideFailed;
    EXPECT_FALSE(loader->loadTile(0, 0, 0, 0, tile.get(), 4));
}

TEST(MiraxReader, SlideTakesNoRawTilesStripsOrDescription) {
    FakeSlideComponent fake;
    fake.setMap(2, 2);
    fake.scan(0, 0, 1, 1);
    InstalledComponent installed(&fake);
    vq_ptr<vq_tileloader_base> loader = open();
    ASSERT_NE(loader, nullptr);
    EXPECT_EQ(loader->getImageCount(), 1);
    EXPECT_EQ(loader->getTileSize(0), IntPair(256, 256));
    EXPECT_EQ(loader->getPixelFormat(0, 0), 1);
    EXPECT_FALSE(loader->hasRawTiles(0));
    EXPECT_EQ(loader->getCompression(0), 0);
    EXPECT_EQ(loader->getSubsampling(0), 1);
    EXPECT_EQ(loader->getQuality(), 100);
    EXPECT_EQ(loader->getDescription(), "");
    EXPECT_EQ(loader->getFileSize(), 0);
    vq_ptr<vq_raw_tile> raw;
    EXPECT_FALSE(loader->loadRawTile(0, 0, 0, 0, raw.put()));
    EXPECT_FALSE(loader->loadThumbnail(raw.put(), 0));
}

TEST(MiraxReader, PathReachesTheComponentWithoutItsEnding) {
    struct Case {
        std::string path;
        std::string received;
    };
    const std::vector<Case> cases = {
        {"C:/slides/a.MRXS", "C:\\slides\\a"},
        {"/data/run.mrxs/slide", "\\data\\run.mrxs\\slide"},
        {"/data/slide.Mrxs", "\\data\\slide"},
        {"/data/slide.mrxs.bak", "\\data\\slide.mrxs.bak"},
        {"/data/x" + std::string(499, 'n') + ".mrxs", "\\data\\x" + std::string(499, 'n')},  // 511 characters
    };
    for (const Case& c : cases) {
        FakeSlideComponent fake;
        fake.setMap(2, 2);
        InstalledComponent installed(&fake);
        EXPECT_NE(open(c.path.c_str()), nullptr) << c.path;
        EXPECT_EQ(fake.loadedPaths, std::vector<std::string>{c.received});
    }
    // 512 characters do not fit the component's path buffer: refused unasked.
    FakeSlideComponent fake;
    fake.setMap(2, 2);
    InstalledComponent installed(&fake);
    const std::string tooLong = "/" + std::string(506, 'n') + ".mrxs";
    EXPECT_EQ(open(tooLong.c_str()), nullptr);
    EXPECT_TRUE(fake.loadedPaths.empty());
}

TEST(MiraxReader, OpenFailures) {
    struct Case {
        const char* what;
        void (*arrange)(FakeSlideComponent&);
    };
    const std::vector<Case> cases = {
        {"scan map not delivered", [](FakeSlideComponent& f) { f.mapStatus = sa::kSlideFailed; }},
        {"no image object", [](FakeSlideComponent& f) { f.createImageStatus = sa::kSlideFailed; }},
        {"property 306 missing", [](FakeSlideComponent& f) { f.properties.erase(306); }},
        {"property 307 missing", [](FakeSlideComponent& f) { f.properties.erase(307); }},
        {"property 306 not a number",
         [](FakeSlideComponent& f) {
             f.properties[306].kind = sa::SlidePropertyValue::Kind::Text;
             f.properties[306].text = "wide";
         }},
        {"property 307 beyond 32 bits", [](FakeSlideComponent& f) {
             f.properties[307].kind = sa::SlidePropertyValue::Kind::Integer;
             f.properties[307].integer = int64_t(1) << 31;
         }}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSlideComponent fake;
        fake.setMap(4, 4);
        fake.scan(0, 0, 3, 3);
        c.arrange(fake);
        InstalledComponent installed(&fake);
        EXPECT_EQ(open(), nullptr);
        EXPECT_EQ(fake.unbalancedLocks, 0);
    }
    vq_ptr<vq_tileloader_base> out;
    EXPECT_FALSE(createMiraxTileLoader(nullptr, out.put()));
    EXPECT_FALSE(createMiraxTileLoader("/a.mrxs", nullptr));
}

TEST(MiraxReader, FailedCreationAndLoadAreRecordedAndDescribed) {
    Lines lines;
    const ReaderMessageScope scope(&lines);
    {
        FakeSlideComponent fake;
        fake.setMap(2, 2);
        fake.loadStatus = static_cast<int32_t>(0x80070002u);
        InstalledComponent installed(&fake);
        EXPECT_TRUE(isSlideComponentAvailable());
        EXPECT_EQ(open(), nullptr);
        EXPECT_EQ(lastMiraxOpenFailure().loadStatus, static_cast<int32_t>(0x80070002u));
        // A failing component says nothing in the log.
        EXPECT_TRUE(lines.lines.empty());
    }
    {
        FakeSlideComponent fake;
        fake.createSlideStatus = sa::kSlideFailed;
        InstalledComponent installed(&fake);
        EXPECT_FALSE(isSlideComponentAvailable());
        EXPECT_EQ(open(), nullptr);
        EXPECT_EQ(lastMiraxOpenFailure().createStatus, sa::kSlideFailed);
        EXPECT_TRUE(lines.lines.empty());
    }
    // Without any component: the can't-open result and one line saying why.
    InstalledComponent none(nullptr);
    EXPECT_FALSE(isSlideComponentAvailable());
    EXPECT_EQ(open(), nullptr);
    EXPECT_EQ(lines.lines,
              std::vector<std::string>{"No slide-access component is available: Mirax slides cannot be opened here.\n"});
    const MiraxOpenFailure failure = lastMiraxOpenFailure();
    EXPECT_EQ(failure.createStatus, sa::kSlideNoComponent);
    EXPECT_EQ(describeMiraxOpenFailure(failure),
              "CoCreateInstance failed with 0x80040154Load failed with 0x80070002");
    EXPECT_EQ(describeMiraxOpenFailure({0, static_cast<int32_t>(0x80004005u)}), "Load failed with 0x80004005");
    EXPECT_EQ(describeMiraxOpenFailure({}), "");
}
