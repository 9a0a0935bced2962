// One level of the output pyramid: groups its tiles into 2 x 2 quads, hands
// complete quads to the output and merges them into the next smaller level.
// A re-tiling level writes nothing and cuts or merges source tiles into the
// tile size of the pyramid.
#pragma once

#include <cstdint>
#include <list>

#include "engine/base/IntPair.h"
#include "engine/pyramid/tile_quad.h"
#include "engine/base/vq_refcount.h"
#include "engine/pyramid/vq_zoomoutput.h"

class vq_tileDecoder_base;

class vq_zoom_layer : public vq_refcount {
public:
    static vq_zoom_layer* create();
    ~vq_zoom_layer() override;

    virtual bool addTile(vq_zoom_tile_base* tile, vq_raw_tile* rawTile);
    virtual bool createPyramid(bool flag);
    virtual void flushQuads();

    // Setters that also reach every smaller level.
    void setResampling(int32_t option);
    void setCropEdgeTiles(bool crop);
    void setStrictRawSize(bool strict);
    void setTileDecoder(vq_tileDecoder_base* decoder);
    void setQuality(double quality, double step);

    // Setters of this level only; the first three recompute the geometry.
    void setTileSize(const IntPair& size);
    void setMinTileSize(const IntPair& size);
    void setImageSize(const IntPair& size);
    void setMaxTileSize(const IntPair& size) { maxTileSize = size; }
    void setLevel(int32_t lvl) { level = lvl; }
    void setOutput(vq_zoomoutput_base* out);

    IntPair getImageSize() const { return imageSize; }
    IntPair getTileCount() const { return tileCount; }
    IntPair getTileSize() const { return tileSize; }
    IntPair getRemainder() const { return remainder; }
    vq_zoom_layer* getNextLayer() const { return next.get(); }
    int32_t getLevel() const { return level; }
    int32_t getQuality() const { return quality; }
    int32_t getResampling() const { return resampling; }
    bool getCropEdgeTiles() const { return cropEdgeTiles; }
    bool getStrictRawSize() const { return strictRawSize; }
    int32_t getTilesInSmallerLevels() const { return tilesInSmallerLevels; }
    bool isRetiling() const { return retiling; }
    bool isSquareBelowMin() const;
    int32_t getLevelQuality(int32_t lvl) const;
    int32_t countTiles() const;
    int32_t getTileGroupIndex(const vq_zoom_tile_base* tile) const;
    size_t pendingQuadCount() const { return pendingQuads.size(); }

    void releaseChain();
    bool updateGeometry();
    static bool hasPowerOfTwoFit(int32_t value, int32_t min, int32_t max);

    bool fitRawTile(bool lastColumn, bool lastRow, vq_raw_tile* raw, vq_ptr<vq_raw_tile>& out);

protected:
    vq_zoom_layer() = default;

    bool doQuadOutput(vq_tileQuad& quad);
    bool buildQuad(vq_tileQuad& quad);
    void retileRGB(vq_zoom_tile_base* tile);
    void retileYCbCr(vq_zoom_tile_base* tile);
    // Hands a piece to the next level when it lies inside its grid.
    void addPiece(vq_zoom_tile_base* piece);
    void splitOversized(vq_zoom_tile_base* tile);

    int32_t resampling = 4;
    int32_t level = 0;
    int32_t quality = 60;
    int32_t tilesInSmallerLevels = 0;
    bool strictRawSize = false;
    bool cropEdgeTiles = true;
    IntPair imageSize{0, 0};
    IntPair tileSize{0, 0};
    IntPair tileCount{0, 0};
    IntPair remainder{0, 0};
    IntPair minTileSize{480, 480};
    IntPair maxTileSize{640, 640};
    bool retiling = false;
    std::list<vq_tileQuad> pendingQuads;
    vq_ptr<vq_zoom_layer> next;
    vq_ptr<vq_zoomoutput_base> output;
    vq_ptr<vq_tileDecoder_base> tileDecoder;
};

// Stores a new level with its first reference in *out.
void createZoomLayer(vq_ptr<vq_zoom_layer>* out);
