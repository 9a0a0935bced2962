// Test doubles for tile-path runs: a tiled source held in memory (decoded
// tiles, and JPEG tiles made with libjpeg-turbo when asked), a log sink that
// keeps its lines, and run settings.
#pragma once

#include <turbojpeg.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/pyramid/kestrifier.h"
#include "engine/base/raw_tile.h"
#include "engine/base/vq_global.h"
#include "engine/base/vq_logoutput.h"
#include "jpeg/jpeg_tile_decoder.h"
#include "engine/base/loader_base.h"
#include "tests/engine/pyramid/pyramid_fixtures.h"

namespace tilepathtest {

using pyramidtest::imagePixel;
using pyramidtest::RecordingOutput;

class RecordingLog : public vq_logoutput_base {
public:
    static vq_ptr<RecordingLog> make()
    {
        auto* l = new RecordingLog();
        l->addRef();
        return vq_ptr<RecordingLog>::adopt(l);
    }
    void setLogLevel(int32_t) override {}
    void log(int32_t level, const char* text) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        lines.emplace_back(level, text);
    }
    void setProgress(int32_t p) override { progress = p; }
    void stepProgress(int32_t done, int32_t) override { tilesDone = done; }
    int32_t getProgress() override { return progress; }

    bool has(int32_t level, const std::string& text)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::find(lines.begin(), lines.end(), std::make_pair(level, text)) != lines.end();
    }
    int32_t count(int32_t level, const std::string& prefix)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int32_t>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
            return l.first == level && l.second.compare(0, prefix.size(), prefix) == 0;
        }));
    }

    std::mutex mutex;
    std::vector<std::pair<int32_t, std::string>> lines;
    int32_t progress = 0;
    int32_t tilesDone = 0;
};

// Packed RGB encoded by libjpeg-turbo with the chroma sampling (TJSAMP_*).
inline std::vector<uint8_t> encodeJpeg(const std::vector<uint8_t>& rgb, IntPair size, int32_t samp, int quality)
{
    tjhandle handle = tjInitCompress();
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    tjCompress2(handle, rgb.data(), size.first, size.first * 3, size.second, TJPF_RGB, &buffer, &length, samp,
                quality, 0);
    std::vector<uint8_t> bytes(buffer, buffer + length);
    tjFree(buffer);
    tjDestroy(handle);
    return bytes;
}

// One level of a tiled image whose samples are imagePixel. With a JPEG
// subsampling (TJSAMP_*) the source stores JPEG tiles of the full tile size
// and hands out decoded tiles by decoding them.
class MemoryTileLoader : public vq_tileloader_base {
public:
    static vq_ptr<MemoryTileLoader> make(IntPair image, IntPair tile, int32_t jpegSubsampling = -1)
    {
        auto* l = new MemoryTileLoader();
        l->addRef();
        l->imageSize = image;
        l->tileSize = tile;
        l->jpegSamp = jpegSubsampling;
        return vq_ptr<MemoryTileLoader>::adopt(l);
    }

    bool jpeg() const { return jpegSamp >= 0; }
    IntPair grid() const
    {
        return IntPair((imageSize.first + tileSize.first - 1) / tileSize.first,
                       (imageSize.second + tileSize.second - 1) / tileSize.second);
    }

    int getImageCount() override { return 1; }
    IntPair getTileSize(int) override { return tileSize; }
    std::vector<IntPair> getLevelSizes(int) override { return {imageSize}; }
    IntPair getLevelTileCounts(int, int) override { return grid(); }
    IntPair getLevelSize(int, int) override { return imageSize; }
    int getPixelFormat(int, int) override { return 4; }
    int getTileCount(int) override { return grid().first * grid().second; }
    bool loadTile(int x, int y, int level, int image, imageContainer* dst, int) override
    {
        if (tilesLoaded++ == cancelAt && driver != nullptr)
            driver->cancel();
        if (failing(x, y))
            return false;
        if (jpeg()) {
            vq_ptr<vq_raw_tile> raw;
            vq_ptr<vq_tileDecoder_base> decoder;
            return loadRawTile(x, y, level, image, raw.put()) && createTileDecoder(decoder.put(), image) &&
                   decoder->decodeTile(IntPair(x, y), level, raw->getData(), raw->getDataLength(), dst);
        }
        const int32_t x0 = x * tileSize.first, y0 = y * tileSize.second;
        const int32_t w = std::min(tileSize.first, imageSize.first - x0);
        const int32_t h = std::min(tileSize.second, imageSize.second - y0);
        dst->create(vq_fmtRGB24, w, h, true);
        uint8_t* data = nullptr;
        int32_t step = 0;
        dst->lockPixels(&data, &step);
        for (int32_t r = 0; r < h; ++r)
            for (int32_t c = 0; c < w; ++c)
                for (int32_t k = 0; k < 3; ++k)
                    data[r * step + c * 3 + k] = imagePixel(x0 + c, y0 + r, k);
        dst->unlockPixels();
        return true;
    }
    bool hasRawTiles(int) override { return jpeg(); }
    bool isRawYCbCr(int) override { return jpeg(); }
    bool loadTileYCbCr(int, int, int, int, imageContainer*, imageContainer*, imageContainer*) override
    {
        return false;
    }
    bool isRawCodecSupported(int) override { return jpeg(); }
    bool isJPEG(int) override { return jpeg(); }
    bool createTileDecoder(vq_tileDecoder_base** out, int) override
    {
        if (failDecoder || !jpeg())
            return false;
        vq_TIFFJPEGTileDecoder* d = createTIFFJPEGTileDecoder();
        d->tileSize = tileSize;
        const IntPair g = grid();
        d->tileCounts = {g};
        d->edgeSizes = {IntPair(imageSize.first - (g.first - 1) * tileSize.first,
                                imageSize.second - (g.second - 1) * tileSize.second)};
        *out = d;
        return true;
    }
    int getCompression(int) override { return jpeg() ? compression : 1; }
    int getSubsampling(int) override { return jpegSamp == TJSAMP_420 ? 4 : jpegSamp == TJSAMP_422 ? 2 : 1; }
    int getQuality() override { return 90; }
    bool loadThumbnail(vq_raw_tile**, int) override { return false; }
    std::string getDescription() override { return std::string(); }
    int64_t getFileSize() override { return 0; }
    bool loadRawTile(int x, int y, int level, int, vq_raw_tile** out) override
    {
        if (onRawRead)
            onRawRead(x, y);
        if (!jpeg() || level < 0 || failing(x, y))
            return false;
        const std::vector<uint8_t>& bytes = sourceTile(x, y);
        vq_raw_tile* raw = nullptr;
        if (!createRawTile(&raw))
            return false;
        raw->allocate(static_cast<int32_t>(bytes.size()), tileSize);
        std::copy(bytes.begin(), bytes.end(), raw->getData());
        raw->setCompression(7);
        *out = raw;
        return true;
    }
    bool loadRawTileAsStored(int x, int y, int level, int image, vq_raw_tile** out) override
    {
        return loadRawTile(x, y, level, image, out);
    }
    bool getJpegTables(int, int, vq_raw_tile**) override { return false; }
    int getMagnification(int) override { return 20; }
    void lock() override {}
    void unlock() override {}
    bool isValidTile(int x, int y, int, int) override { return x < grid().first && y < grid().second; }

    // The stored JPEG tile at (x, y), made on first use.
    const std::vector<uint8_t>& sourceTile(int32_t x, int32_t y)
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<uint8_t>& bytes = jpegTiles[{x, y}];
        if (!bytes.empty())
            return bytes;
        const int32_t w = tileSize.first, h = tileSize.second;
        std::vector<uint8_t> rgb(static_cast<size_t>(w * h * 3));
        for (int32_t r = 0; r < h; ++r)
            for (int32_t c = 0; c < w; ++c)
                for (int32_t k = 0; k < 3; ++k)
                    rgb[static_cast<size_t>((r * w + c) * 3 + k)] =
                        imagePixel(x * w + c, y * h + r, k);
        bytes = encodeJpeg(rgb, IntPair(w, h), jpegSamp, 90);
        return bytes;
    }

    bool failing(int32_t x, int32_t y) const { return failAll || failTiles.count({x, y}) != 0; }

    IntPair imageSize, tileSize;
    int32_t jpegSamp = -1;
    int32_t compression = 7;
    bool failDecoder = false;
    bool failAll = false;
    std::set<std::pair<int32_t, int32_t>> failTiles;
    int32_t cancelAt = -1;                // the driver is cancelled when this many tiles were loaded
    vq_kestrifier_base* driver = nullptr; // for cancelAt
    std::atomic<int32_t> tilesLoaded{0};
    // Called on the reading thread at the start of every raw tile read.
    std::function<void(int32_t x, int32_t y)> onRawRead;

private:
    MemoryTileLoader() = default;
    std::mutex mutex;
    std::map<std::pair<int32_t, int32_t>, std::vector<uint8_t>> jpegTiles;
};

// Decodes a JPEG into packed RGB; the size goes to *size.
inline std::vector<uint8_t> decodeJpeg(const std::vector<uint8_t>& bytes, IntPair* size)
{
    tjhandle handle = tjInitDecompress();
    int w = 0, h = 0, samp = 0, cs = 0;
    std::vector<uint8_t> rgb;
    if (tjDecompressHeader3(handle, bytes.data(), bytes.size(), &w, &h, &samp, &cs) == 0) {
        rgb.resize(static_cast<size_t>(w * h * 3));
        if (tjDecompress2(handle, bytes.data(), bytes.size(), rgb.data(), w, w * 3, h, TJPF_RGB, 0) != 0)
            rgb.clear();
    }
    tjDestroy(handle);
    *size = IntPair(w, h);
    return rgb;
}

// Thread settings of the process-wide engine settings.
inline void setThreads(int32_t loaders, bool multiThreaded, int32_t encoders = 1)
{
    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    global->setLoaderThreadCount(loaders);
    global->setEncoderThreadCount(encoders);
    global->setMultiThreaded(multiThreaded);
}

// A driver writing into `output`, with the log sink given.
inline vq_ptr<vq_kestrifier_base> makeDriver(RecordingOutput* output, RecordingLog* log = nullptr,
                                             int32_t preferredTileSize = 0)
{
    vq_ptr<vq_kestrifier_base> driver;
    createKestrifier(&driver);
    driver->setOutput(output);
    driver->setPreferredTileSize(preferredTileSize);
    driver->setQuality(50);
    driver->setMaxQuality(80);
    if (log != nullptr)
        driver->setLogOutput(log);
    return driver;
}

// Every tile of two runs, pixels included, must match.
inline void expectSamePyramid(RecordingOutput& a, RecordingOutput& b)
{
    EXPECT_EQ(a.tiles.size(), b.tiles.size());
    for (const auto& [key, tile] : a.tiles) {
        auto it = b.tiles.find(key);
        ASSERT_NE(it, b.tiles.end()) << "missing " << key.level << ":" << key.x << "," << key.y;
        EXPECT_EQ(tile.size, it->second.size) << key.level << ":" << key.x << "," << key.y;
        EXPECT_TRUE(tile.pixels == it->second.pixels) << key.level << ":" << key.x << "," << key.y;
        EXPECT_EQ(tile.count, 1);
    }
}

} // namespace tilepathtest
