// Tile decoders: turn a stored compressed tile into pixels and, for JPEG,
// rearrange stored tiles without decoding them.
#pragma once

#include <cstdint>
#include <map>

#include "engine/base/IntPair.h"
#include "engine/base/vq_refcount.h"

class imageContainer;
class vq_raw_tile;
class vq_stream;

// Positions ordered by row, then by column.
struct IntPairRowOrder {
    bool operator()(const IntPair& a, const IntPair& b) const {
        return a.second != b.second ? a.second < b.second : a.first < b.first;
    }
};

// Raw tiles keyed by their (column, row) position.
using vq_rawTileMap = std::map<IntPair, vq_ptr<vq_raw_tile>, IntPairRowOrder>;

class vq_tileDecoder_base : public vq_refcount {
public:
    // Width and height coded in the tile the stream holds.
    virtual IntPair getTileDimensions(vq_stream* stream) = 0;
    virtual bool getDecoderFlag() = 0;
    virtual bool isMcuAligned(vq_raw_tile* tile) = 0;
    // Cuts the tile at (x, y) of its level into 16 x 16 cells, keyed by their
    // position in cells of the whole level.
    virtual bool splitIntoTiles(int x, int y, vq_rawTileMap& cells,
                                vq_raw_tile* tile) = 0;
    virtual bool canSplitLeftRight(vq_raw_tile* tile) = 0;
    virtual bool canSplitTopBottom(vq_raw_tile* tile) = 0;
    virtual bool decodeTileYCbCr(const IntPair& position, int level, const uint8_t* data,
                                 int32_t length, imageContainer* y, imageContainer* cb,
                                 imageContainer* cr) = 0;
    virtual bool decodeTile(const IntPair& position, int level, const uint8_t* data,
                            int32_t length, imageContainer* dst) = 0;
    virtual bool cropTile(vq_raw_tile* tile, vq_raw_tile** out, const IntPair& size) = 0;
    virtual bool splitTopBottom(vq_raw_tile* tile, vq_raw_tile** top, vq_raw_tile** bottom) = 0;
    virtual bool splitLeftRight(vq_raw_tile* tile, vq_raw_tile** left, vq_raw_tile** right) = 0;
    // Rotation code 0 = 90 degrees clockwise, 1 = 180, 2 = 270.
    virtual bool rotateTile(vq_raw_tile* tile, int rotation, vq_raw_tile** out) = 0;
    // Any member but the top-left one may be null.
    virtual bool mergeTiles(vq_raw_tile* topLeft, vq_raw_tile* topRight, vq_raw_tile* bottomLeft,
                            vq_raw_tile* bottomRight, vq_raw_tile** out) = 0;
};
