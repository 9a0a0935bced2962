// Fixtures of the slide writer tests: the engine's encoder thread settings
// for one test, JPEG tiles and raw tiles.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/IntPair.h"
#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/vq_global.h"

namespace slidetest {

using Bytes = std::vector<uint8_t>;

// Sets multi-threading and the encoder thread count; restores both afterwards.
class EncoderThreads {
public:
    EncoderThreads(bool multi, int count);
    ~EncoderThreads();

private:
    vq_ptr<vq_global_base> global_;
    bool multi_ = true;
    int count_ = 0;
};

// A complete JPEG stream of an RGB24 container from our tile encoder.
Bytes jpegOf(imageContainer* tile, int quality, int subsampling = 4);
// A raw tile holding the bytes.
vq_ptr<vq_raw_tile> raw(const Bytes& b, IntPair size, int compression);

} // namespace slidetest
