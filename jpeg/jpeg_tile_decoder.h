// The JPEG tile decoder: decodes stored JPEG tiles to pixels or planes and
// crops, halves, cuts, merges and rotates them on their DCT coefficients
// without decoding.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/base/tile_decoder_base.h"

class vq_TIFFJPEGTileDecoder : public vq_tileDecoder_base {
public:
    vq_TIFFJPEGTileDecoder();
    ~vq_TIFFJPEGTileDecoder() override;

    IntPair getTileDimensions(vq_stream* stream) override;
    bool getDecoderFlag() override { return flag; }
    bool isMcuAligned(vq_raw_tile* tile) override;
    bool splitIntoTiles(int x, int y, vq_rawTileMap& cells, vq_raw_tile* tile) override;
    bool canSplitLeftRight(vq_raw_tile* tile) override;
    bool canSplitTopBottom(vq_raw_tile* tile) override;
    bool decodeTileYCbCr(const IntPair& position, int level, const uint8_t* data, int32_t length,
                         imageContainer* y, imageContainer* cb, imageContainer* cr) override;
    bool decodeTile(const IntPair& position, int level, const uint8_t* data, int32_t length,
                    imageContainer* dst) override;
    bool cropTile(vq_raw_tile* tile, vq_raw_tile** out, const IntPair& size) override;
    bool splitTopBottom(vq_raw_tile* tile, vq_raw_tile** top, vq_raw_tile** bottom) override;
    bool splitLeftRight(vq_raw_tile* tile, vq_raw_tile** left, vq_raw_tile** right) override;
    bool rotateTile(vq_raw_tile* tile, int rotation, vq_raw_tile** out) override;
    bool mergeTiles(vq_raw_tile* topLeft, vq_raw_tile* topRight, vq_raw_tile* bottomLeft,
                    vq_raw_tile* bottomRight, vq_raw_tile** out) override;

    // Filled by the creating tile reader: the stored tile size, and per level
    // the width of the last column and height of the last row of tiles and the
    // tiles across and down.
    IntPair tileSize{0, 0};
    std::vector<IntPair> edgeSizes;
    std::vector<IntPair> tileCounts;
    bool flag = false;

private:
    // The largest frame this decoder takes: a merged group of 2 x 2 stored
    // tiles; unlimited (0 x 0) while the stored tile size is not known. No
    // frame exceeds 65535 a side, which also keeps the doubling in range.
    IntPair largestTile() const {
        return IntPair(int(std::min<int64_t>(2 * int64_t(tileSize.first), 65535)),
                       int(std::min<int64_t>(2 * int64_t(tileSize.second), 65535)));
    }
    bool splitHalves(vq_raw_tile* tile, bool leftRight, vq_raw_tile** first, vq_raw_tile** second);
};

// A new decoder with one reference, or null.
vq_TIFFJPEGTileDecoder* createTIFFJPEGTileDecoder();
