// Small tiles with known pixels for the tile, quad and level tests.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/base/imageContainer.h"
#include "engine/pyramid/zoom_tile.h"

namespace pyramidtest {

using PixelFn = std::function<uint8_t(int x, int y, int channel)>;

inline uint8_t patternPixel(int x, int y, int channel)
{
    return static_cast<uint8_t>(x * 7 + y * 13 + channel * 61);
}

// A container of the format whose samples follow fn; full size = visible size
// unless a crop is given.
inline vq_ptr<imageContainer> makeContainer(int32_t format, int32_t w, int32_t h, const PixelFn& fn = patternPixel,
                                            int32_t cropW = -1, int32_t cropH = -1)
{
    auto c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    c->create(format, w, h, false);
    uint8_t* data = nullptr;
    int32_t step = 0;
    c->lockPixels(&data, &step);
    const int32_t channels = c->getChannels();
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int32_t ch = 0; ch < channels; ++ch)
                data[y * step + x * channels + ch] = fn(x, y, ch);
    c->unlockPixels();
    if (cropW >= 0)
        c->crop(cropW, cropH);
    return c;
}

inline uint8_t pixelAt(imageContainer* c, int32_t x, int32_t y, int32_t channel = 0)
{
    uint8_t* data = nullptr;
    int32_t step = 0;
    c->lockPixels(&data, &step);
    const uint8_t v = data[y * step + x * c->getChannels() + channel];
    c->unlockPixels();
    return v;
}

inline vq_ptr<vq_zoom_tile_base> makeRgbTile(int32_t x, int32_t y, int32_t level, int32_t w, int32_t h,
                                             const PixelFn& fn = patternPixel, int32_t cropW = -1,
                                             int32_t cropH = -1)
{
    vq_ptr<vq_zoom_tile_base> t;
    createZoomTile(&t);
    t->setKey(vq_tileKey(x, y, level));
    t->setContainer(makeContainer(vq_fmtRGB24, w, h, fn, cropW, cropH).get());
    return t;
}

inline vq_ptr<vq_zoom_tile_base> makeYCbCrTile(int32_t x, int32_t y, int32_t level, int32_t w, int32_t h,
                                               int32_t subsampling, const PixelFn& fn = patternPixel)
{
    vq_ptr<vq_zoom_tile_base> t;
    createZoomTileYCbCr(&t);
    t->setSubsampling(subsampling);
    t->setKey(vq_tileKey(x, y, level));
    const IntPair c = chromaPlaneSize(IntPair(w, h), subsampling);
    t->setContainer(makeContainer(vq_fmtPlaneY, w, h, [&](int px, int py, int) { return fn(px, py, 0); }).get());
    t->setContainer(
        makeContainer(vq_fmtPlaneCb, c.first, c.second, [&](int px, int py, int) { return fn(px, py, 1); }).get());
    t->setContainer(
        makeContainer(vq_fmtPlaneCr, c.first, c.second, [&](int px, int py, int) { return fn(px, py, 2); }).get());
    return t;
}

inline imageContainer* containerOf(vq_zoom_tile_base* tile, int32_t plane)
{
    vq_ptr<imageContainer> c;
    if (!tile->getContainer(c, plane))
        return nullptr;
    return c.get(); // the tile keeps its own reference
}

} // namespace pyramidtest
