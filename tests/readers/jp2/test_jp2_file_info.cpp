// JP2 file information through the loader: report lines and header values of
// files written by opj_compress, and files that yield no information.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/base/imageContainer.h"
#include "engine/base/stream.h"
#include "readers/jp2/jp2_fixtures.h"
#include "readers/jp2/jp2_loader.h"
#include "support/test_env.h"

using namespace jp2test;

namespace {

vq_ptr<vq_FileInfo> InfoOf(const std::string& bytes) {
    vq_ptr<vq_stream> stream;
    EXPECT_EQ(openMemoryStream(bytes.data(), bytes.size(), stream.put()), 0);
    vq_ptr<vq_loader_base> loader;
    EXPECT_TRUE(createJ2KLoader(stream.get(), loader.put()));
    vq_ptr<vq_FileInfo> info;
    if (!loader->getFileInfo(info.put()))
        return {};
    // The stream is rewound after the header was read.
    EXPECT_EQ(stream->tell(), 0);
    return info;
}

std::string Report(vq_FileInfo* info) {
    char* text = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&text, &size);
    info->printReport(f);
    std::fclose(f);
    std::string out(text, size);
    std::free(text);
    return out;
}

} // namespace

TEST(JP2FileInfo, ReportsOfOpjCompressFiles) {
    const std::string dir = vqtest::scratchDir("jp2_file_info");
    struct {
        const char* name;
        int components;
        const char* options;
        const char* report;
        int format;
        int levels;
        IntPair tiles;
    } cases[] = {
        {"rgb", 3, "-n 4", "Width 70 height 45\nTile width 70 tile height 45\n24-bit RGB format\n", vq_fmtRGB24, 3,
         {1, 1}},
        {"grey", 1, "-n 6 -I", "Width 70 height 45\nTile width 70 tile height 45\nGrayscale format\n", vq_fmtGray8, 5,
         {1, 1}},
        // Four components are written with the sRGB colour space: alpha is not
        // part of the reported format.
        {"rgba", 4, "", "Width 70 height 45\nTile width 70 tile height 45\n24-bit RGB format\n", vq_fmtRGB24, 5,
         {1, 1}},
        {"tiled", 3, "-t 32,16 -n 3", "Width 70 height 45\nTile width 32 tile height 16\n24-bit RGB format\n",
         vq_fmtRGB24, 2, {3, 3}},
    };
    for (const auto& c : cases) {
        const std::string bytes = vqtest::readFile(CompressJp2(dir, c.name, 70, 45, c.components, c.options));
        const vq_ptr<vq_FileInfo> info = InfoOf(bytes);
        ASSERT_NE(info, nullptr) << c.name;
        EXPECT_TRUE(info->isValid());
        EXPECT_EQ(Report(info.get()), c.report) << c.name;
        EXPECT_EQ(info->getPixelFormat(), c.format) << c.name;
        EXPECT_EQ(info->getPixelFormats(), std::set<int>{c.format}) << c.name;
        EXPECT_EQ(info->getLevelCount(), 1);
        EXPECT_EQ(info->getLevelSizes(), std::vector<IntPair>{IntPair(70, 45)});
        EXPECT_TRUE(info->isTiled());
        EXPECT_FALSE(info->hasAlpha());
        EXPECT_EQ(info->getQuality(), 100);
        EXPECT_EQ(info->getSubsampling(), 1);
        EXPECT_EQ(info->getResolution(), IntPair(0, 0));
        auto* j2k = static_cast<vq_J2KFileInfo*>(info.get());
        EXPECT_EQ(j2k->getReductionLevels(), c.levels) << c.name;
        EXPECT_EQ(j2k->getTileCounts(), c.tiles) << c.name;
    }
}

TEST(JP2FileInfo, ColourSpaceAndRefusals) {
    const std::string dir = vqtest::scratchDir("jp2_file_info_colour");
    const std::string cs = GreyCodestream(dir, 24, 16);
    const std::string rgbCs = vqtest::readFile(CompressJp2(dir, "rgb", 24, 16, 3, "-n 3"));
    const std::string head = Signature() + Ftyp();
    const auto file = [&](uint16_t nc, const std::string& colr, const std::string& stream) {
        return head + Box("jp2h", Box("ihdr", Ihdr(16, 24, nc, 7)) + colr) + Box("jp2c", stream);
    };
    // The code-stream of opj_compress's RGB file: what follows its jp2c box header.
    const std::string rgbStream = rgbCs.substr(rgbCs.find("jp2c") + 4);

    // A grey file says so.
    vq_ptr<vq_FileInfo> info = InfoOf(file(1, Box("colr", ColrEnum(17)), cs));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(Report(info.get()), "Width 24 height 16\nTile width 24 tile height 16\nGrayscale format\n");

    // sYCC, an ICC profile or no colour box at all: the format follows the
    // component count instead of leaving a grey or unknown format for an
    // RGB code-stream.
    for (const std::string& colr : {Box("colr", ColrEnum(18)), Box("colr", std::string{2, 0, 0} + "icc"), std::string()}) {
        info = InfoOf(file(3, colr, rgbStream));
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->getPixelFormat(), vq_fmtRGB24);
        info = InfoOf(file(1, colr, cs));
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->getPixelFormat(), vq_fmtGray8);
    }

    // No information from a bare code-stream, a file without code-stream
    // box or a truncated main header.
    EXPECT_EQ(InfoOf(cs), nullptr);
    EXPECT_EQ(InfoOf(head + Box("jp2h", Box("ihdr", Ihdr(16, 24, 1, 7)))), nullptr);
    EXPECT_EQ(InfoOf(file(1, "", cs.substr(0, 20))), nullptr);
    // A file whose header is fine but that offers no tile or strip access
    // yet gives no loader either.
    const std::string ok = file(1, "", cs);
    vq_ptr<vq_stream> stream;
    ASSERT_EQ(openMemoryStream(ok.data(), ok.size(), stream.put()), 0);
    vq_ptr<vq_loader_base> loader;
    ASSERT_TRUE(createJ2KLoader(stream.get(), loader.put()));
    vq_ptr<vq_FileInfo> none;
    EXPECT_FALSE(loader->getFileInfo(nullptr));
    EXPECT_FALSE(createJ2KLoader(nullptr, loader.put()));
}
