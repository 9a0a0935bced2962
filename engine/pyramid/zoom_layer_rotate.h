// A pyramid level that turns every tile a quarter turn counter-clockwise and
// hands the turned tiles, keyed in the turned image's grid, to its next
// level. When the image width is not a multiple of the tile width the turned
// tiles straddle the turned grid: each is cut into two bands of rows, and
// full tiles are put together from the bands of neighbouring tiles.
#pragma once

#include <list>

#include "engine/pyramid/zoom_layer.h"

class vq_zoom_layer_rotate : public vq_zoom_layer {
public:
    static vq_zoom_layer_rotate* create();
    ~vq_zoom_layer_rotate() override;

    // The raw tile is ignored: turned tiles are always decoded pixels.
    bool addTile(vq_zoom_tile_base* tile, vq_raw_tile* rawTile) override;
    // Builds the chain below for the turned image (height x width).
    bool createPyramid(bool flag) override;
    void flushQuads() override;
    bool outputPartQuad(vq_tileQuadPartial& quad);

    size_t pendingPartQuadCount() const { return partQuads.size(); }

protected:
    vq_zoom_layer_rotate() = default;

    std::list<vq_tileQuadPartial> partQuads;
};

// Stores a new rotating level with its first reference in *out.
void createZoomLayerRotate(vq_ptr<vq_zoom_layer_rotate>* out);
