// The JPEG 2000 tile decoder: decodes the raw JPEG 2000 tiles of SVS and TIFF
// files (each tile a complete code-stream) into 24-bit RGB or into Y, Cb, Cr
// planes, with our own codec (kind 0) or OpenJPEG (kind 2). JPEG 2000 tiles
// cannot be cropped, split or merged without decoding, so every
// coefficient-level operation answers false.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/tile_decoder_base.h"

class vq_TIFFJ2KTileDecoder : public vq_tileDecoder_base {
public:
    IntPair getTileDimensions(vq_stream* stream) override;
    bool getDecoderFlag() override { return true; }
    bool isMcuAligned(vq_raw_tile*) override { return false; }
    bool splitIntoTiles(int, int, vq_rawTileMap&, vq_raw_tile*) override { return false; }
    bool canSplitLeftRight(vq_raw_tile*) override { return false; }
    bool canSplitTopBottom(vq_raw_tile*) override { return false; }
    bool decodeTileYCbCr(const IntPair& position, int level, const uint8_t* data, int32_t length,
                         imageContainer* y, imageContainer* cb, imageContainer* cr) override;
    bool decodeTile(const IntPair& position, int level, const uint8_t* data, int32_t length,
                    imageContainer* dst) override;
    bool cropTile(vq_raw_tile*, vq_raw_tile**, const IntPair&) override { return false; }
    bool splitTopBottom(vq_raw_tile*, vq_raw_tile**, vq_raw_tile**) override { return false; }
    bool splitLeftRight(vq_raw_tile*, vq_raw_tile**, vq_raw_tile**) override { return false; }
    bool rotateTile(vq_raw_tile*, int, vq_raw_tile**) override { return false; }
    bool mergeTiles(vq_raw_tile*, vq_raw_tile*, vq_raw_tile*, vq_raw_tile*, vq_raw_tile**) override {
        return false;
    }

    // 0: our own codec; 2: OpenJPEG.
    int32_t decoderKind = 0;
    // Filled by the creating tile reader, as for the JPEG tile decoder.
    IntPair tileSize{0, 0};
    std::vector<IntPair> edgeSizes;
    std::vector<IntPair> tileCounts;

private:
    IntPair cropSize(const IntPair& position, int level, IntPair start) const;
};

// A new decoder with one reference, or null.
vq_TIFFJ2KTileDecoder* createTIFFJ2KTileDecoder();
