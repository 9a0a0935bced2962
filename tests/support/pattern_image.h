// Containers filled from a function of position and channel, for tests that
// link the engine.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/base/imageContainer.h"

namespace vqtest {

using PixelFn = std::function<uint8_t(int x, int y, int channel)>;

// A container of the format and size whose samples are fn(x, y, channel);
// a size the container refuses leaves it unallocated.
inline vq_ptr<imageContainer> makePatternImage(int32_t format, int32_t width, int32_t height, const PixelFn& fn)
{
    auto c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    if (!c->create(format, width, height, false))
        return c;
    uint8_t* data = nullptr;
    int32_t step = 0;
    c->lockPixels(&data, &step);
    const int32_t channels = c->getChannels();
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            for (int32_t ch = 0; ch < channels; ++ch)
                data[y * step + x * channels + ch] = fn(x, y, ch);
    c->unlockPixels();
    return c;
}

} // namespace vqtest
