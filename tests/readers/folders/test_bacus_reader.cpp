#include <cstring>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "engine/base/raw_tile.h"
#include "readers/folders/bacus_reader.h"
#include "support/test_env.h"
#include "tests/readers/folders/folder_fixtures.h"

namespace fs = std::filesystem;
using namespace foldertest;

namespace {

BacusIndex parse(const std::string& text)
{
    BacusIndex index;
    parseBacusIndex(text.c_str(), text.size(), index);
    return index;
}

struct Frame {
    int64_t x;
    int64_t y;
    const char* name;
};

// Writes the index and one pattern frame per listed frame (unless its name
// starts with '-', which leaves the file out).
std::string writeSlide(const std::string& folder, IntPair frameSize, IntPair step, const std::vector<Frame>& frames,
                       const std::string& indexName = "FinalScan.ini")
{
    fs::create_directories(folder);
    std::string index = "[Header]\r\niImageWidth=" + std::to_string(frameSize.first) +
                        "\r\niImageHeight=" + std::to_string(frameSize.second) +
                        "\r\nlXStepSize=" + std::to_string(step.first) + "\r\nlYStepSize=" + std::to_string(step.second) +
                        "\r\ndMagnification=40.0\r\n";
    int seed = 0;
    for (const Frame& f : frames) {
        const bool absent = f.name[0] == '-';
        const std::string name = absent ? f.name + 1 : f.name;
        index += "[" + name + "]\r\nx=" + std::to_string(f.x) + "\r\ny=" + std::to_string(f.y) + "\r\n";
        if (!absent) {
            EXPECT_TRUE(writePatternJpeg(folder + "/" + name + ".jpg", frameSize.first, frameSize.second, ++seed));
        }
    }
    EXPECT_TRUE(vqtest::writeFile(folder + "/" + indexName, index));
    return folder;
}

vq_ptr<vq_loader_base> openSlide(const std::string& folder, bool slideScan = false)
{
    vq_ptr<vq_loader_base> loader;
    if (!createBacusLoader(folder.c_str(), slideScan, loader.put()))
        return vq_ptr<vq_loader_base>();
    return loader;
}

// The image the strips must show, composed here from the decoded frames:
// the stage is mirrored on both axes, frames later in (x, y) order win, rows
// that no frame touches within a strip stay black, the rest is white.
vq_ptr<imageContainer> composeExpected(const std::string& folder, IntPair frameSize, IntPair step,
                                       const std::vector<Frame>& frames, IntPair imageSize, int32_t stripHeight)
{
    std::map<std::pair<int64_t, int64_t>, std::string> byPosition;
    for (const Frame& f : frames)
        byPosition.emplace(std::make_pair(f.x, f.y), f.name[0] == '-' ? f.name + 1 : f.name);
    int64_t minX = INT64_MAX;
    int64_t minY = INT64_MAX;
    for (const auto& [position, name] : byPosition) {
        minX = std::min(minX, position.first);
        minY = std::min(minY, position.second);
    }
    auto image = makeImage(vq_fmtRGB24, imageSize.first, imageSize.second, [](int, int, int) { return 0; });
    uint8_t* data = nullptr;
    int32_t rowStep = 0;
    std::vector<bool> touched((imageSize.second + stripHeight - 1) / stripHeight, false);
    std::vector<std::tuple<int64_t, int64_t, std::string>> placed;
    for (const auto& [position, name] : byPosition) {
        const int64_t dx = imageSize.first - (position.first - minX) * frameSize.first / step.first - frameSize.first;
        const int64_t dy =
            imageSize.second - (position.second - minY) * frameSize.second / step.second - frameSize.second;
        for (int64_t s = dy / stripHeight; s <= (dy + frameSize.second - 1) / stripHeight; ++s)
            touched[s] = true;
        placed.emplace_back(dx, dy, name);
    }
    image->lockPixels(&data, &rowStep);
    for (int32_t y = 0; y < imageSize.second; ++y)
        if (touched[y / stripHeight])
            std::memset(data + y * rowStep, 255, imageSize.first * 3);
    for (const auto& [dx, dy, name] : placed) {
        auto frame = decodeJpegFile(folder + "/" + name + ".jpg");
        if (frame == nullptr)
            continue;
        for (int32_t y = 0; y < frameSize.second; ++y)
            for (int32_t x = 0; x < frameSize.first; ++x)
                for (int32_t ch = 0; ch < 3; ++ch)
                    data[(dy + y) * rowStep + (dx + x) * 3 + ch] = pixel(frame.get(), x, y, ch);
    }
    image->unlockPixels();
    return image;
}

// Reads every strip and compares it, row for row, with the composed image.
void expectStrips(vq_loader_base* loader, imageContainer* expected, int32_t stripHeight)
{
    vq_ptr<vq_stripLoader_base> strips;
    ASSERT_TRUE(loader->getStripLoader(strips.put()));
    ASSERT_EQ(strips->getImageSize(), IntPair(expected->getWidth(), expected->getHeight()));
    ASSERT_TRUE(strips->prepareStrips(stripHeight, 4));
    int32_t row = 0;
    while (row < expected->getHeight()) {
        auto strip = vq_ptr<imageContainer>::adopt(imageContainer::create());
        int rowsDone = 0;
        ASSERT_TRUE(strips->readNextStrip(&rowsDone, strip.get())) << row;
        const int32_t h = std::min(stripHeight, expected->getHeight() - row);
        ASSERT_EQ(strip->getHeight(), h);
        ASSERT_EQ(rowsDone, row + h);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < expected->getWidth(); ++x)
                for (int32_t ch = 0; ch < 3; ++ch)
                    ASSERT_EQ(pixel(strip.get(), x, y, ch), pixel(expected, x, row + y, ch))
                        << "x " << x << " y " << row + y << " ch " << ch;
        row += h;
    }
}

} // namespace

TEST(BacusIndex, LooseIntegers)
{
    const struct {
        const char* text;
        bool ok;
        int value;
    } cases[] = {{"=752", true, 752}, {"=20.5", true, 20}, {"= -3", true, -3}, {"Da12", true, 12},
                 {"-x7", true, -7}, {"= none", false, 0}, {"", false, 0}, {"=99999999999", true, INT32_MAX}};
    for (const auto& c : cases) {
        int value = 0;
        EXPECT_EQ(parseLooseInteger(c.text, value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(BacusIndex, LinesSectionsAndPositions)
{
    const std::string lf = "[Header]\niImageWidth=1024\nlXStepSize=1000\nlYStepSize=500\ndMagnification=20.5\n"
                           "[Da1]\nx=0\ny=0\n[Da2]\ny=500\nx=1000\n";
    const std::string crlf = "[Header]\r\n  iImageWidth=1024\r\n\tlXStepSize=1000\r\nlYStepSize=500\r\n"
                             "dMagnification=20.5\r\n[Da1]\r\n  x=0\r\n\ty=0\r\n[Da2]\r\ny=500\r\nx=1000\r\n\r\n";
    for (const std::string& text : {lf, crlf}) {
        const BacusIndex index = parse(text);
        EXPECT_EQ(index.frameSize, IntPair(1024, 480));
        EXPECT_EQ(index.step, IntPair(1000, 500));
        EXPECT_EQ(index.magnification, 20);
        EXPECT_EQ(index.frames, (BacusFrameMap{{{0, 0}, "Da1"}, {{1000, 500}, "Da2"}}));
    }

    const struct {
        const char* name;
        const char* text;
        BacusFrameMap frames;
    } cases[] = {
        {"second pair in a section", "[Da1]\nx=1\ny=2\nx=3\ny=4\n", {{{1, 2}, "Da1"}}},
        {"pending position cleared by a section", "[Da1]\nx=5\n[Da2]\ny=6\n", {}},
        {"same position keeps the first", "[Da1]\nx=1\ny=1\n[Da2]\nx=1\ny=1\n", {{{1, 1}, "Da1"}}},
        {"section without digits", "[Slide]\nx=1\ny=1\n[Da3]\nx=2\ny=2\n", {{{2, 2}, "Da3"}}},
        {"section without bracket", "[Da4\nx=1\ny=1\n", {}},
        {"value without digits", "[Da1]\nx=none\ny=1\nx=7\n", {{{7, 1}, "Da1"}}},
        {"header line keeps the section", "[Da1]\nx=1\n[Header]\ny=2\n", {{{1, 2}, "Da1"}}},
        {"setting line without equals", "iImageWidth 30\n[Da1]\nx=1\ny=2\n", {{{1, 2}, "Da1"}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse(c.text).frames, c.frames) << c.name;
    EXPECT_EQ(parse("iImageWidth 30\n").frameSize, IntPair(752, 480));
}

TEST(BacusReader, RegularGridAsTiles)
{
    const std::string folder = writeSlide(vqtest::scratchDir("bacus_regular") + "/slide", IntPair(40, 24),
                                          IntPair(1000, 500),
                                          {{0, 0, "Da1"}, {1000, 0, "Da2"}, {2000, 0, "Da3"}, {0, 500, "Da4"},
                                           {2000, 500, "Da6"}});
    auto loader = openSlide(folder);
    ASSERT_NE(loader, nullptr);
    vq_ptr<vq_FileInfo> info;
    ASSERT_TRUE(loader->getFileInfo(info.put()));
    EXPECT_TRUE(info->isTiled());
    EXPECT_EQ(info->getImageSize(), IntPair(120, 48));
    EXPECT_EQ(info->getTileSize(), IntPair(40, 24));
    EXPECT_EQ(info->getLevelCount(), 1);
    EXPECT_EQ(info->getPixelFormat(), 3);

    vq_ptr<vq_tileloader_base> tiles;
    ASSERT_TRUE(loader->getTileLoader(tiles.put()));
    EXPECT_EQ(tiles->getTileCount(0), 5);
    EXPECT_EQ(tiles->getMagnification(0), 40);
    EXPECT_EQ(tiles->getLevelTileCounts(0, 0), IntPair(3, 2));
    // The largest stage x is column 0 and the largest y row 0.
    const std::map<IntPair, std::string, IntPairColumnOrder> cells{
        {{2, 1}, "Da1"}, {{1, 1}, "Da2"}, {{0, 1}, "Da3"}, {{2, 0}, "Da4"}, {{0, 0}, "Da6"}};
    for (int32_t row = 0; row < 2; ++row)
        for (int32_t column = 0; column < 3; ++column) {
            const auto cell = cells.find(IntPair(column, row));
            EXPECT_EQ(tiles->isValidTile(column, row, 0, 0), cell != cells.end()) << column << row;
            vq_ptr<vq_raw_tile> raw;
            ASSERT_EQ(tiles->loadRawTile(column, row, 0, 0, raw.put()), cell != cells.end());
            if (cell == cells.end())
                continue;
            EXPECT_EQ(raw->getSize(), IntPair(40, 24));
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw->getData()), raw->getDataLength()),
                      vqtest::readFile(folder + "/" + cell->second + ".jpg"));
            auto decoded = vq_ptr<imageContainer>::adopt(imageContainer::create());
            ASSERT_TRUE(tiles->loadTile(column, row, 0, 0, decoded.get(), 4));
            EXPECT_EQ(meanDifference(decoded.get(), decodeJpegFile(folder + "/" + cell->second + ".jpg").get()), 0);
        }
    EXPECT_FALSE(tiles->isValidTile(0, 0, 1, 0));
    vq_ptr<vq_raw_tile> raw;
    EXPECT_FALSE(tiles->loadRawTile(0, 0, 1, 0, raw.put()));
}

TEST(BacusReader, StripsArePixelExact)
{
    const struct {
        const char* name;
        IntPair step;
        std::vector<Frame> frames;
        IntPair imageSize;
        bool regular;
        int32_t stripHeight;
    } cases[] = {
        // A missing frame's place is white where other frames touch the strip.
        {"regular with gap", {1000, 500}, {{0, 0, "Da1"}, {1000, 0, "Da2"}, {0, 500, "Da3"}},
         {80, 48}, true, 16},
        // Overlapping frames: the one at the larger stage x is drawn last.
        {"irregular overlap", {100, 100}, {{0, 0, "Da1"}, {90, 0, "Da2"}}, {76, 24}, false, 10},
        // The middle row has no frame: its strips are black; the last strip is shorter.
        {"row without frames", {100, 100}, {{0, 0, "Da1"}, {0, 200, "Da2"}, {100, 200, "Da3"}},
         {80, 72}, true, 20},
        // Stage distances times the frame size pass 2^31.
        {"large stage positions", {30000000, 30000000},
         {{0, 0, "Da1"}, {60000000, 0, "Da2"}, {75000000, 30000000, "Da3"}}, {140, 48}, false, 12},
    };
    const std::string root = vqtest::scratchDir("bacus_strips");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const IntPair frameSize(40, 24);
        const std::string folder = writeSlide(root + "/" + c.name, frameSize, c.step, c.frames);
        auto loader = openSlide(folder);
        ASSERT_NE(loader, nullptr);
        vq_ptr<vq_FileInfo> info;
        ASSERT_TRUE(loader->getFileInfo(info.put()));
        EXPECT_EQ(info->isTiled(), c.regular);
        EXPECT_EQ(info->getImageSize(), c.imageSize);
        auto expected = composeExpected(folder, frameSize, c.step, c.frames, c.imageSize, c.stripHeight);
        expectStrips(loader.get(), expected.get(), c.stripHeight);
        vq_ptr<vq_tileloader_base> tiles;
        EXPECT_EQ(loader->getTileLoader(tiles.put()), c.regular);
    }
}

TEST(BacusReader, MissingFrameFailsItsStrip)
{
    const std::string folder = writeSlide(vqtest::scratchDir("bacus_missing") + "/s", IntPair(40, 24),
                                          IntPair(100, 100), {{0, 0, "Da1"}, {0, 100, "-Da2"}});
    auto loader = openSlide(folder);
    ASSERT_NE(loader, nullptr);
    vq_ptr<vq_stripLoader_base> strips;
    ASSERT_TRUE(loader->getStripLoader(strips.put()));
    ASSERT_TRUE(strips->prepareStrips(24, 4));
    auto strip = vq_ptr<imageContainer>::adopt(imageContainer::create());
    int rows = 0;
    // Da2 (larger y) is row 0.
    EXPECT_FALSE(strips->readNextStrip(&rows, strip.get()));
}

TEST(BacusReader, OpeningAndFormats)
{
    const std::string root = vqtest::scratchDir("bacus_open");
    const std::vector<Frame> two{{0, 0, "Da1"}, {1000, 0, "Da2"}};
    // The index name is matched without regard to letter case.
    EXPECT_NE(openSlide(writeSlide(root + "/case", IntPair(40, 24), IntPair(1000, 1000), two, "Finalscan.ini")),
              nullptr);
    EXPECT_NE(openSlide(writeSlide(root + "/slidescan", IntPair(40, 24), IntPair(1000, 1000), two, "SlideScan.ini"),
                        true),
              nullptr);
    EXPECT_EQ(openSlide(root + "/slidescan"), nullptr);

    const struct {
        const char* name;
        IntPair step;
        std::vector<Frame> frames;
    } refused[] = {{"no frames", {1000, 1000}, {}},
                   {"zero step", {0, 1000}, two},
                   {"negative step", {-1000, 1000}, two},
                   {"first frame missing", {1000, 1000}, {{0, 0, "-Da1"}, {1000, 0, "Da2"}}}};
    for (const auto& r : refused)
        EXPECT_EQ(openSlide(writeSlide(root + "/" + r.name, IntPair(40, 24), r.step, r.frames)), nullptr) << r.name;
    EXPECT_EQ(openSlide(root + "/nothing"), nullptr);
    EXPECT_EQ(openSlide(""), nullptr);
    vq_loader_base* none = nullptr;
    EXPECT_FALSE(createBacusLoader(nullptr, false, &none));

    // A grey first frame delivers grey strips only.
    const std::string grey = root + "/grey";
    fs::create_directories(grey);
    auto frame = makeImage(vq_fmtGray8, 40, 24, [](int x, int y, int) { return static_cast<uint8_t>(x + y); });
    ASSERT_TRUE(writeJpeg(grey + "/Da1.jpg", frame.get()));
    ASSERT_TRUE(vqtest::writeFile(grey + "/FinalScan.ini",
                                  "iImageWidth=40\niImageHeight=24\nlXStepSize=10\nlYStepSize=10\n[Da1]\nx=0\ny=0\n"));
    auto loader = openSlide(grey);
    ASSERT_NE(loader, nullptr);
    vq_ptr<vq_stripLoader_base> strips;
    ASSERT_TRUE(loader->getStripLoader(strips.put()));
    EXPECT_FALSE(strips->prepareStrips(24, 4));
    EXPECT_TRUE(strips->prepareStrips(24, 6));
    EXPECT_EQ(strips->getMinTileSize(), 6);
    EXPECT_EQ(strips->getMaxStripHeight(), 24);
    vq_ptr<vq_FileInfo> info;
    ASSERT_TRUE(loader->getFileInfo(info.put()));
    EXPECT_EQ(reportText(info.get(), root + "/report.txt"), "Grayscale JPEG\n4:4:4 - no downsampling\n");
}
