// The tiled TIFF saver: a JPEG-tiled file written tile by tile over an
// engine stream reads back through the TIFF tile loader, and each stored
// tile joined to JPEGTables decodes with djpeg.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/pixel_lock.h"
#include "engine/base/stream.h"
#include "readers/tiff/tiff_reader.h"
#include "readers/tiff/tiff_tiled_saver.h"
#include "tests/support/test_env.h"
#include "tests/tiff/tiff_fixture.h"

using tifftest::Bytes;

namespace {

constexpr int kW = 80, kH = 48, kT = 32;

Bytes smoothRgb() {
    Bytes rgb(size_t(kW) * kH * 3);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            uint8_t* p = &rgb[(size_t(y) * kW + x) * 3];
            p[0] = uint8_t(128 + 90 * std::sin(x / 7.0));
            p[1] = uint8_t(40 + y * 3);
            p[2] = uint8_t(200 - x - y);
        }
    return rgb;
}

// The tile at (x0, y0) as a container of `format` (1 BGR, 4 RGB), cut at
// the image's edge.
vq_ptr<imageContainer> makeTile(const Bytes& rgb, int format, int x0, int y0) {
    vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    const int w = std::min(kT, kW - x0), h = std::min(kT, kH - y0);
    EXPECT_TRUE(c->create(format, w, h, false));
    PixelLock lock(c.get());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* s = &rgb[(size_t(y0 + y) * kW + x0 + x) * 3];
            uint8_t* d = lock.data() + size_t(y) * size_t(lock.step()) + x * 3;
            const bool bgr = format == vq_fmtBGR24;
            d[0] = s[bgr ? 2 : 0];
            d[1] = s[1];
            d[2] = s[bgr ? 0 : 2];
        }
    return c;
}

// PSNR of a w x h block of RGB pixels (rows of `stride` pixels) against the
// image at (x0, y0).
double psnr(const uint8_t* got, int stride, const Bytes& rgb, int x0, int y0, int w, int h) {
    double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x) {
            double d = double(got[size_t(y) * size_t(stride) + x]) - rgb[(size_t(y0 + y) * kW + x0) * 3 + x];
            sum += d * d;
        }
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * w * h * 3 / sum);
}

Bytes writeWithSaver(const Bytes& rgb, int format) {
    vq_ptr<vq_stream> stream;
    EXPECT_EQ(createMemoryWriteStream(0, stream.put()), 0);
    {
        vq_ptr<vq_tiled_saver_base> saver;
        EXPECT_TRUE(createTIFFTiledSaver(stream.get(), saver.put()));
        if (!saver) return {};
        saver->setFormat(format);
        saver->setSubsampling(2);
        saver->setImageSize(IntPair(kW, kH));
        // The first tile fixes the tile size; the others come in any order,
        // the edge tiles as smaller containers.
        const int order[][2] = {{0, 0}, {32, 32}, {64, 0}, {0, 32}, {32, 0}, {64, 32}};
        for (const auto& o : order) {
            vq_ptr<imageContainer> tile = makeTile(rgb, format, o[0], o[1]);
            EXPECT_TRUE(saver->saveTile(o[0], o[1], tile.get())) << o[0] << "," << o[1];
        }
    } // the saver's destruction completes the file
    auto* mem = static_cast<vq_memoryWriteStream*>(stream.get());
    return Bytes(mem->getData(), mem->getData() + mem->getSize());
}

TEST(TiledSaver, WritesJpegTilesTheTileLoaderAndDjpegRead) {
    const Bytes rgb = smoothRgb();
    std::string dir = vqtest::scratchDir("tiled_saver");
    for (int format : {int(vq_fmtRGB24), int(vq_fmtBGR24)}) {
        SCOPED_TRACE(format);
        const Bytes file = writeWithSaver(rgb, format);
        ASSERT_GT(file.size(), 16u);

        // Through the TIFF reader's tile loader.
        vq_ptr<vq_stream> in;
        ASSERT_EQ(openMemoryStream(file.data(), file.size(), in.put()), 0);
        vq_ptr<vq_TIFFLoader> loader = vq_ptr<vq_TIFFLoader>::adopt(vq_TIFFLoader::create(in.get()));
        vq_ptr<vq_tileloader_base> tiles;
        ASSERT_TRUE(loader->getTileLoader(tiles.put()));
        EXPECT_EQ(tiles->getTileSize(0), IntPair(kT, kT));
        for (int ty = 0; ty < 2; ++ty)
            for (int tx = 0; tx < 3; ++tx) {
                vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
                ASSERT_TRUE(tiles->loadTile(tx, ty, 0, 0, c.get(), vq_fmtRGB24)) << tx << "," << ty;
                const int w = std::min(kT, kW - tx * kT), h = std::min(kT, kH - ty * kT);
                ASSERT_EQ(c->getWidth(), w);
                ASSERT_EQ(c->getHeight(), h);
                PixelLock lock(c.get());
                EXPECT_GE(psnr(lock.data(), lock.step(), rgb, tx * kT, ty * kT, w, h), 30.0) << tx << "," << ty;
            }

        // The stored streams: YCbCr JPEG whose tables are in JPEGTables.
        tifftest::MemFile mem;
        mem.data = file;
        vqtiff::TIFFHandle* t = tifftest::openMem(mem, "rm");
        ASSERT_NE(t, nullptr);
        uint16_t photometric = 0, compression = 0;
        vqtiff::TIFFQueryField(t, vqtiff::TAG_PhotometricInterpretation, &photometric);
        vqtiff::TIFFQueryField(t, vqtiff::TAG_Compression, &compression);
        EXPECT_EQ(photometric, vqtiff::PHOTOMETRIC_YCBCR);
        EXPECT_EQ(compression, vqtiff::COMPRESSION_JPEG);
        uint32_t tablesLength = 0;
        void* tables = nullptr;
        ASSERT_EQ(vqtiff::TIFFQueryField(t, vqtiff::TAG_JPEGTables, &tablesLength, &tables), 1);
        const Bytes head(static_cast<uint8_t*>(tables), static_cast<uint8_t*>(tables) + tablesLength - 2);
        for (uint32_t i = 0; i < 6; ++i) {
            Bytes raw(100000);
            int64_t n = vqtiff::TIFFReadRawTile(t, i, raw.data(), int64_t(raw.size()));
            ASSERT_GT(n, 2);
            Bytes jpeg = head;
            jpeg.insert(jpeg.end(), raw.begin() + 2, raw.begin() + n);
            std::string path = dir + "/tile" + std::to_string(i) + ".jpg";
            vqtest::writeFile(path, std::string(jpeg.begin(), jpeg.end()));
            ASSERT_EQ(vqtest::runCommand(vqtest::requireTool("djpeg") + " -pnm -outfile '" + path + ".ppm' '" + path +
                                         "'"),
                      0);
            std::string ppm = vqtest::readFile(path + ".ppm");
            const std::string header = "P6\n32 32\n255\n";
            ASSERT_EQ(ppm.compare(0, header.size(), header), 0);
            const int tx = int(i % 3) * kT, ty = int(i / 3) * kT;
            const int w = std::min(kT, kW - tx), h = std::min(kT, kH - ty);
            EXPECT_GE(psnr(reinterpret_cast<const uint8_t*>(ppm.data() + header.size()), kT * 3, rgb, tx, ty, w, h),
                      30.0)
                << "tile " << i;
        }
        vqtiff::TIFFCloseFile(t);
    }
}

// A failed step leaves the saver unusable: a tile size the library refuses
// fails the first tile, and a good tile after it fails at once.
TEST(TiledSaver, UnusableAfterAFailure) {
    const Bytes rgb = smoothRgb();
    vq_ptr<vq_stream> stream;
    ASSERT_EQ(createMemoryWriteStream(0, stream.put()), 0);
    vq_ptr<vq_tiled_saver_base> saver;
    ASSERT_TRUE(createTIFFTiledSaver(stream.get(), saver.put()));
    saver->setFormat(vq_fmtRGB24);
    saver->setImageSize(IntPair(kW, kH));
    vq_ptr<imageContainer> odd = vq_ptr<imageContainer>::adopt(imageContainer::create());
    ASSERT_TRUE(odd->create(vq_fmtRGB24, 20, 20, false));
    EXPECT_FALSE(saver->saveTile(0, 0, odd.get()));
    vq_ptr<imageContainer> good = makeTile(rgb, vq_fmtRGB24, 0, 0);
    EXPECT_FALSE(saver->saveTile(0, 0, good.get()));
    EXPECT_FALSE(createTIFFTiledSaver(nullptr, saver.put()));
}

} // namespace
