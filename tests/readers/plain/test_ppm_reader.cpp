#include <gtest/gtest.h>

#include "engine/base/imageContainer.h"
#include "readers/plain/ppm_reader.h"
#include "strip_helpers.h"

using namespace plaintest;

namespace {

// Pixel (x, y) of the PPM fixtures.
Bytes pixelRow(int width, int y) {
    Bytes row;
    for (int x = 0; x < width; ++x)
        row.insert(row.end(), {uint8_t(x), uint8_t(y), uint8_t(x * 7 + y * 3)});
    return row;
}

std::string ppmFile(const std::string& header, int width, int height, int rowsStored = -1) {
    std::string file = header;
    for (int y = 0; y < (rowsStored < 0 ? height : rowsStored); ++y) {
        const Bytes row = pixelRow(width, y);
        file.append(row.begin(), row.end());
    }
    return file;
}

vq_ptr<vq_loader_base> ppmLoader(const vq_ptr<vq_stream>& stream) {
    vq_ptr<vq_loader_base> loader;
    EXPECT_TRUE(createPPMLoader(stream.get(), loader.put()));
    return loader;
}

TEST(PpmReader, HeaderLayoutsAreReadAndRowsStartAfterTheLastLineEnd) {
    struct Case {
        const char* header;
        int width, height;
    };
    const Case cases[] = {
        {"P6\n# made by hand\n640 480\n255\n", 640, 480},
        {"P6 5 3 255\n", 5, 3},
        {"P6\n5\n3\n255\n", 5, 3},
        {"P6\t\r\n#one\n#two\r 7 2\n255\n", 7, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        const std::string file = ppmFile(c.header, c.width, c.height);
        auto stream = streamOver(file);
        auto loader = ppmLoader(stream);
        vq_ptr<vq_FileInfo> info;
        ASSERT_TRUE(loader->getFileInfo(info.put()));
        EXPECT_TRUE(info->isValid());
        EXPECT_EQ(info->getImageSize(), IntPair(c.width, c.height));
        EXPECT_EQ(info->getLevelSizes(), std::vector<IntPair>{IntPair(c.width, c.height)});
        EXPECT_EQ(info->getPixelFormat(), 4);
        EXPECT_EQ(info->getPixelFormats(), std::set<int>{4});
        EXPECT_EQ(info->getResolution(), IntPair(0, 0));
        EXPECT_EQ(stream->tell(), 0) << "the stream is rewound after the header";

        vq_ptr<imageContainer> image;
        createImageContainer(image.put());
        ASSERT_TRUE(loader->loadImage(image.get(), 4));
        const auto rows = rowsOf(image.get(), 3);
        ASSERT_EQ(rows.size(), size_t(c.height));
        EXPECT_EQ(rows.front(), pixelRow(c.width, 0));
        EXPECT_EQ(rows.back(), pixelRow(c.width, c.height - 1));
    }
}

TEST(PpmReader, RefusedHeaders) {
    struct Case {
        const char* header;
        const char* reason;
        int rowsStored = -1;
    };
    const char* notNumbers = "PPM header is not width, height and maximum value\n";
    const Case cases[] = {
        {"P5\n4 3\n255\n", "Not a raw PPM file (no P6 signature)\n"}, // grey Netpbm
        {"P6\n4 # wide\n3\n255\n", notNumbers},                      // comment after the first number
        {"P6\n4 3 x255\n", notNumbers},                               // letter among the numbers
        {"P6\n4 3\n", "PPM header ends early\n"},                     // ends before the maximum value
        {"P6", "PPM header ends early\n"},                             // magic only
        {"P6\n4 3\n65535\n", "PPM file is not 8-bit - unsupported formatn\n"}, // 16-bit samples
        {"P6\n4000000000 3\n255\n", "PPM image size 4000000000 x 3 is not supported\n"},
        // Numbers beyond 32 bits do not wrap to a size that would pass.
        {"P6\n8888888855 3\n255\n", "PPM image size 8888888855 x 3 is not supported\n"},
        {"P6\n4 -3\n255\n", "PPM image size 4 x 1000000000000000000 is not supported\n"},
        // Rows the file does not hold are refused before anything is sized by them.
        {"P6\n4 3\n255\n", "PPM image of 4 x 3 pixels needs 47 bytes but the file holds 35\n", 2},
        {"P6\n700000000 3000\n255\n", "PPM image of 700000000 x 3000 pixels needs 6300000000022 bytes but the file holds 22\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        const std::string file = ppmFile(c.header, 4, 3, c.rowsStored);
        auto stream = streamOver(file);
        auto loader = ppmLoader(stream);
        vq_ptr<vq_FileInfo> info;
        const std::string err = stderrOf([&] { EXPECT_FALSE(loader->getFileInfo(info.put())); });
        EXPECT_TRUE(info == nullptr);
        EXPECT_EQ(err, c.reason);
    }
}

TEST(PpmReader, StripsFollowEachOtherTopDown) {
    const std::string file = ppmFile("P6\n3 600\n255\n", 3, 600);
    auto stream = streamOver(file);
    auto loader = ppmLoader(stream);
    vq_ptr<vq_stripLoader_base> strips;
    ASSERT_TRUE(loader->getStripLoader(strips.put()));
    EXPECT_EQ(strips->getImageSize(), IntPair(3, 600));
    EXPECT_EQ(strips->getMaxStripHeight(), 600);
    EXPECT_EQ(strips->getMinTileSize(), 1);
    EXPECT_EQ(strips->getFormat(), 4);
    EXPECT_FALSE(strips->supportsYCbCr());
    EXPECT_FALSE(strips->prepareStripsYCbCr(256));

    const StripPass pass = readAllStrips(strips.get(), 256, 4, 3);
    ASSERT_TRUE(pass.prepared);
    EXPECT_TRUE(pass.allRead);
    EXPECT_EQ(pass.heights, (std::vector<int>{256, 256, 88}));
    EXPECT_EQ(pass.rowsDone, (std::vector<int>{256, 512, 600}));
    ASSERT_EQ(pass.rows.size(), 600u);
    for (int y = 0; y < 600; y += 37)
        EXPECT_EQ(pass.rows[y], pixelRow(3, y)) << "row " << y;

    // A second pass starts again from the top; formats other than RGB are refused.
    EXPECT_EQ(readAllStrips(strips.get(), 600, 4, 3).rows, pass.rows);
    EXPECT_FALSE(strips->prepareStrips(100, 1));
    EXPECT_FALSE(strips->prepareStrips(0, 4));
}

TEST(PpmReader, FileCutAfterItsHeaderEndsTheStripWithTheRowsRead) {
    // The file holds its ten rows when its header is read and only seven
    // when the strips are read.
    const std::string file = ppmFile("P6\n4 10\n255\n", 4, 10);
    const size_t cut = file.size() - 3 * 12;
    auto stream = streamOver(file);
    auto loader = ppmLoader(stream);
    vq_ptr<vq_stripLoader_base> strips;
    ASSERT_TRUE(loader->getStripLoader(strips.put()));
    ASSERT_TRUE(strips->prepareStrips(5, 4));
    static_cast<vq_memoryStream*>(stream.get())->setBuffer(file.data(), cut);
    vq_ptr<imageContainer> strip;
    createImageContainer(strip.put());
    int done = 0;
    ASSERT_TRUE(strips->readNextStrip(&done, strip.get()));
    EXPECT_EQ(done, 5);
    const std::string err = stderrOf([&] { EXPECT_FALSE(strips->readNextStrip(&done, strip.get())); });
    EXPECT_EQ(err, "Failed to read line 7 at pos " + std::to_string(cut) + "\n");
    EXPECT_EQ(done, 7);
    const auto rows = rowsOf(strip.get(), 3);
    EXPECT_EQ(rows[1], pixelRow(4, 6));
    EXPECT_EQ(rows[2], Bytes(12, 0)) << "rows never read stay cleared";

    vq_ptr<imageContainer> image;
    createImageContainer(image.put());
    EXPECT_NE(stderrOf([&] { EXPECT_FALSE(loader->loadImage(image.get(), 4)); }), "");
}

TEST(PpmReader, ReportAndLoaderAnswers) {
    const std::string file = ppmFile("P6 2 2 255\n", 2, 2);
    auto stream = streamOver(file);
    auto loader = ppmLoader(stream);
    vq_ptr<vq_FileInfo> info;
    ASSERT_TRUE(loader->getFileInfo(info.put()));
    char text[128] = {};
    FILE* out = fmemopen(text, sizeof text, "w");
    info->printReport(out);
    std::fclose(out);
    EXPECT_STREQ(text, "Width 2 Height 2\n24-bit RGB PPM format\n");
    EXPECT_FALSE(info->hasAlpha());
    EXPECT_FALSE(info->isTiled());
    EXPECT_EQ(info->getQuality(), 100);
    EXPECT_EQ(info->getSubsampling(), 1);

    vq_ptr<vq_tileloader_base> tiles;
    EXPECT_FALSE(loader->getTileLoader(tiles.put()));
    EXPECT_FALSE(loader->canLoadYCbCr());
    vq_ptr<vq_loader_base> none;
    EXPECT_FALSE(createPPMLoader(nullptr, none.put()));
    EXPECT_FALSE(createPPMLoader(stream.get(), nullptr));
}

} // namespace
