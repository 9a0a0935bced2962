// A chain of levels that reshapes raw (still compressed) source tiles that
// are not square into square tiles of at least the target size, without
// decoding them: split into 16 x 16 tiles, then merge 2 x 2 until the size is
// reached. The last level decodes each reshaped tile and hands pixels and raw
// tile to the base pixel level.
#pragma once

#include <cstdint>
#include <list>

#include "engine/base/IntPair.h"
#include "engine/pyramid/tile_quad.h"
#include "engine/base/vq_refcount.h"
#include "platform/threads.h"

class vq_raw_tile;
class vq_tileDecoder_base;
class vq_zoom_layer;

class vq_raw_zoom_layer : public vq_refcount {
public:
    static vq_raw_zoom_layer* create();
    ~vq_raw_zoom_layer() override;

    // This level only; each recomputes the grid.
    void setTargetTileSize(const IntPair& size);
    void setImageSize(const IntPair& size);
    void setSourceTileSize(const IntPair& size);
    void setLevel(int32_t lvl) { level = lvl; }
    // This level and every smaller raw level.
    void setTileDecoder(vq_tileDecoder_base* decoder);
    void setPixelLevel(vq_zoom_layer* layer);
    // Decoder that turns the last level's tiles into pixels (a JPEG tile
    // decoder of the level's own unless replaced); this and smaller levels.
    void setPixelDecoder(vq_tileDecoder_base* decoder);

    // Builds the smaller raw levels until the tiles are square and at least
    // the target size.
    bool createPyramid();
    bool addRawTile(int32_t column, int32_t row, vq_raw_tile* raw);
    // Outputs the unfinished groups of this and every smaller level.
    void flushQuads();
    void releaseChain();

    // Size and grid of the tiles the last level hands to the pixel level.
    IntPair getLastTileSize() const;
    IntPair getLastTileCount() const;

    bool needsMcuSplit() const;
    bool needsHalving() const;
    bool needsMerge() const;

    IntPair getSourceTileSize() const { return sourceTileSize; }
    IntPair getTileCount() const { return tileCount; }
    int32_t getLevel() const { return level; }
    vq_raw_zoom_layer* getNext() const { return next.get(); }

protected:
    vq_raw_zoom_layer();

    void updateGeometry();
    bool insideGrid(int32_t column, int32_t row) const;
    bool doRawQuadOutput(vq_tileQuad& quad);
    bool mergeRawQuad(vq_tileQuad& quad);
    int32_t expectedMask(int32_t column, int32_t row) const;

    vq::platform::CriticalSection lock{2000};
    IntPair targetTileSize{240, 240};
    IntPair imageSize{0, 0};
    IntPair sourceTileSize{0, 0};
    IntPair tileCount{0, 0};
    int32_t level = 0;
    vq_ptr<vq_zoom_layer> pixelLevel;
    std::list<vq_tileQuad> pendingQuads;
    vq_ptr<vq_raw_zoom_layer> next;
    vq_ptr<vq_tileDecoder_base> tileDecoder;
    vq_ptr<vq_tileDecoder_base> pixelDecoder;
};

// Stores a new raw level with its first reference in *out.
void createRawZoomLayer(vq_ptr<vq_raw_zoom_layer>* out);
