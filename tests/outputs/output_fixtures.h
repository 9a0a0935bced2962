// Pyramids, tiles and file checks shared by the output tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/pyramid/zoom_layer.h"
#include "engine/pyramid/zoom_tile.h"

namespace outtest {

// A level chain of the image size and square tile size, numbered from 0 at
// the single-tile level.
vq_ptr<vq_zoom_layer> makeChain(int32_t width, int32_t height, int32_t tileSize);

struct TileSpec {
    int32_t level;
    int32_t x;
    int32_t y;
    int32_t width;  // edge tiles are narrower
    int32_t height; // and shorter
};
// Every tile of every level of the chain, smallest level first.
std::vector<TileSpec> pyramidTiles(vq_zoom_layer* base);

// A container of the format and size whose samples follow a smooth pattern
// offset by `seed`; zero-sized containers stay unallocated.
vq_ptr<imageContainer> makeContainer(int32_t format, int32_t width, int32_t height, int32_t seed = 0);
// A new output from the factory, its folder created and its levels given.
vq_ptr<vq_zoomoutput_base> openOutput(bool (*factory)(vq_zoomoutput_base**), const std::string& folder,
                                      vq_zoom_layer* base);
vq_ptr<vq_zoom_tile_base> makeRgbTile(const TileSpec& spec, int32_t seed = 0);
vq_ptr<vq_zoom_tile_base> makeYCbCrTile(const TileSpec& spec, int32_t subsampling = 4);

// Files under `root`, as paths relative to it, sorted.
std::vector<std::string> listFiles(const std::string& root);
// Width and height that djpeg decodes from the file; (0, 0) when it fails.
IntPair djpegSize(const std::string& path);

} // namespace outtest
