// Test doubles for pyramid runs: an output that records every tile it is
// given, and a strip reader over a synthetic image held in memory.
#pragma once

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/pyramid/driver_threads.h"
#include "engine/base/imageContainer.h"
#include "engine/pyramid/kestrifier.h"
#include "engine/pyramid/tile_saver.h"
#include "engine/pyramid/zoom_layer.h"
#include "engine/base/loader_base.h"
#include "tests/engine/pyramid/tile_fixtures.h"

namespace pyramidtest {

// What the output saw of one tile.
struct SavedTile {
    vq_tileKey key;
    int32_t format = 0;
    IntPair size, fullSize;
    int32_t quality = 0;
    int32_t count = 0;
    std::vector<uint8_t> pixels; // visible pixels, packed (RGB, or Y then Cb then Cr)
};

class RecordingOutput : public vq_zoomoutput_base {
public:
    static vq_ptr<RecordingOutput> make()
    {
        auto* o = new RecordingOutput();
        o->addRef();
        return vq_ptr<RecordingOutput>::adopt(o);
    }

    bool saveTile(vq_zoom_tile_base* tile) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (refuseTiles)
            return false;
        SavedTile& s = tiles[tile->getKey()];
        s.key = tile->getKey();
        s.format = tile->getFormat();
        s.size = tile->getSize();
        s.fullSize = tile->getFullSize();
        s.quality = baseLayer != nullptr ? baseLayer->getLevelQuality(tile->getLevel()) : 0;
        ++s.count;
        if (keepPixels)
            s.pixels = visiblePixels(tile);
        if (jobFolder.empty())
            return true;
        // Queue the tile for the encoder threads as the tile folder does.
        vq_tile_saver job;
        job.outputPath = jobFolder + "/" + std::to_string(tile->getLevel()) + "-" + std::to_string(tile->getX()) +
                         "-" + std::to_string(tile->getY()) + ".jpg";
        vq_ptr<imageContainer> c;
        tile->getContainer(c, vq_fmtRGB24);
        job.setContainer(c.get());
        queueTileJob(job);
        return true;
    }
    bool finish() override { return ++finishCount, true; }
    void abort() override { ++abortCount; }
    void setQuality(int32_t, vq_raw_tile*) override {}
    void setAuxValue(int32_t) override {}
    void setBaseLayer(vq_zoom_layer* layer) override { baseLayer = layer; }
    bool setOutputPath(const std::string& p, const std::string&) override { return path = p, true; }
    bool saveRawTile(vq_zoom_tile_base* tile, vq_raw_tile* raw) override
    {
        if (!acceptRaw)
            return false;
        ++rawTiles;
        std::lock_guard<std::mutex> lock(mutex);
        const uint8_t* data = raw->getData();
        rawTileBytes[tile->getKey()].assign(data, data + raw->getDataLength());
        return true;
    }
    void setThreadedSave(bool t) override { threadedSave = t; }
    bool acceptsRawTiles() override { return acceptRaw; }
    bool acceptsYCbCrTiles() override { return acceptYCbCr; }
    void setCompression(int32_t) override {}
    void setSubsampling(int32_t) override {}
    bool hasFailed() override { return !errors.empty(); }
    void addError(const std::string& text) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        errors += text;
    }
    void setImageDescription(const std::string&) override {}
    std::string getErrors() override { return errors; }
    int32_t getOutputOption() override { return option; }
    int32_t getColourSpace() override { return 3; }
    void setColourSpace(int32_t) override {}

    static std::vector<uint8_t> visiblePixels(vq_zoom_tile_base* tile)
    {
        std::vector<uint8_t> out;
        const bool ycbcr = tile->getFormat() == vq_fmtYCbCr;
        const int32_t planes[3] = {ycbcr ? vq_fmtPlaneY : vq_fmtRGB24, vq_fmtPlaneCb, vq_fmtPlaneCr};
        for (int32_t i = 0; i < (ycbcr ? 3 : 1); ++i) {
            const IntPair s = tile->getPlaneSize(planes[i]);
            const int32_t bpp = ycbcr ? 1 : 3;
            const size_t start = out.size();
            out.resize(start + static_cast<size_t>(s.first * s.second * bpp));
            if (s.first > 0 && s.second > 0)
                tile->copyDataTo(out.data() + start, s.first * bpp, planes[i]);
        }
        return out;
    }

    std::mutex mutex;
    std::map<vq_tileKey, SavedTile> tiles;
    // Bytes of the raw tiles passed through, when acceptRaw is set.
    std::map<vq_tileKey, std::vector<uint8_t>> rawTileBytes;
    vq_zoom_layer* baseLayer = nullptr;
    std::string path, errors, jobFolder;
    int32_t option = 3;
    bool acceptYCbCr = true;
    bool keepPixels = false;
    bool refuseTiles = false;
    bool acceptRaw = false; // saveRawTile succeeds and counts
    std::atomic<int32_t> rawTiles{0};
    bool threadedSave = false;
    std::atomic<int32_t> finishCount{0}, abortCount{0};

private:
    RecordingOutput() = default;
};

// Sample of a synthetic RGB image: smooth with some detail.
inline uint8_t imagePixel(int x, int y, int channel)
{
    return static_cast<uint8_t>((x * (3 + channel) + y * (5 - channel) + ((x * y) >> 4)) & 0xFF);
}

// Strips of a synthetic image. YCbCr strips carry channel 0 as Y and
// channels 1 and 2, sampled at the chroma position, as Cb and Cr.
class MemoryStripLoader : public vq_stripLoader_base {
public:
    static vq_ptr<MemoryStripLoader> make(IntPair size, bool ycbcr = false, int32_t subsampling = 1)
    {
        auto* l = new MemoryStripLoader();
        l->addRef();
        l->size = size;
        l->ycbcr = ycbcr;
        l->subsampling = subsampling;
        return vq_ptr<MemoryStripLoader>::adopt(l);
    }

    IntPair getImageSize() override { return size; }
    int getMinTileSize() override { return minTileSize; }
    int getMaxStripHeight() override { return maxStripHeight; }
    bool prepareStrips(int h, int format) override
    {
        stripHeight = h;
        preparedFormat = format;
        return prepareOk;
    }
    bool readNextStrip(int* row, imageContainer* dst) override
    {
        if (!nextStripAllowed())
            return false;
        const int32_t h = std::min(stripHeight, size.second - *row);
        const int32_t y0 = *row;
        fill(dst, vq_fmtRGB24, size.first, h, [&](int x, int y, int c) { return imagePixel(x, y0 + y, c); });
        *row += h;
        return true;
    }
    bool supportsYCbCr() override { return ycbcr; }
    int getSubsampling() override { return subsampling; }
    bool prepareStripsYCbCr(int h) override
    {
        stripHeight = h;
        preparedFormat = 3;
        return prepareOk;
    }
    bool readNextStripYCbCr(int* row, imageContainer* y, imageContainer* cb, imageContainer* cr) override
    {
        if (!nextStripAllowed())
            return false;
        const int32_t h = std::min(stripHeight, size.second - *row);
        const int32_t y0 = *row;
        const IntPair c = chromaPlaneSize(IntPair(size.first, h), subsampling);
        const int32_t sx = (subsampling == 2 || subsampling == 4) ? 2 : 1;
        const int32_t sy = (subsampling == 3 || subsampling == 4) ? 2 : 1;
        fill(y, vq_fmtPlaneY, size.first, h, [&](int x, int yy, int) { return imagePixel(x, y0 + yy, 0); });
        fill(cb, vq_fmtPlaneCb, c.first, c.second,
             [&](int x, int yy, int) { return imagePixel(x * sx, y0 + yy * sy, 1); });
        fill(cr, vq_fmtPlaneCr, c.first, c.second,
             [&](int x, int yy, int) { return imagePixel(x * sx, y0 + yy * sy, 2); });
        *row += h;
        return true;
    }
    int getFormat() override { return vq_fmtRGB24; }

    IntPair size;
    bool ycbcr = false;
    int32_t subsampling = 1;
    int32_t minTileSize = 16;
    int32_t maxStripHeight = 4096;
    int32_t stripHeight = 0;
    int32_t preparedFormat = -1;
    bool prepareOk = true;
    int32_t failAtStrip = -1;             // read of this strip index fails
    int32_t cancelAtStrip = -1;           // the driver is cancelled when this strip is read
    vq_kestrifier_base* driver = nullptr; // for cancelAtStrip
    std::atomic<int32_t> stripsRead{0};

private:
    MemoryStripLoader() = default;

    bool nextStripAllowed()
    {
        const int32_t index = stripsRead++;
        if (index == cancelAtStrip && driver != nullptr)
            driver->cancel();
        return index != failAtStrip;
    }

    static void fill(imageContainer* c, int32_t format, int32_t w, int32_t h, const PixelFn& fn)
    {
        c->create(format, w, h, true);
        uint8_t* data = nullptr;
        int32_t step = 0;
        c->lockPixels(&data, &step);
        const int32_t ch = c->getChannels();
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                for (int32_t k = 0; k < ch; ++k)
                    data[y * step + x * ch + k] = fn(x, y, k);
        c->unlockPixels();
    }
};

} // namespace pyramidtest
