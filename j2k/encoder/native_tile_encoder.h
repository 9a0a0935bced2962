// The built-in JPEG 2000 member of the tile-encoder family: one RGB tile, or
// three Y, Cb, Cr planes, into one complete code-stream (one tile, one
// quality layer) written to the caller's stream.
#pragma once

#include <cstdint>

#include "j2k/tile_encoder_base.h"

class vq_J2K_Native_TileEncoder : public vq_tileEncoder_base {
public:
    vq_J2K_Native_TileEncoder() = default;
    ~vq_J2K_Native_TileEncoder() override = default;

    // RGB24 or BGR24 tiles: 4:2:2 YCbCr with the 9/7 wavelet and the quality
    // table, or with full chroma R, G, B losslessly. One-channel 8-bit tiles
    // are coded as one grey component.
    bool encodeTile(imageContainer* tile, vq_stream* out) override;
    // Planes in the stated subsampling, coded as 4:2:2; 4:4:4 planes under
    // full chroma are coded losslessly as RGB.
    bool encodeTileYCbCr(imageContainer* y, imageContainer* cb, imageContainer* cr, int subsampling,
                         vq_stream* out) override;
    bool supportsYCbCr() override { return true; }
    bool setSourceTables(vq_raw_tile*) override { return false; }
    void setQuality(int q) override { quality_ = q; }
    void setEncoderOption(int option) override { option_ = option; }
    void setFullChroma(bool full) override { fullChroma_ = full; }
    void setWriteTables(bool) override {}
    void setColourSpace(int) override {}
    void* self(void* pointer) override { return pointer; }
    void setSubsampling(int code) override { subsampling_ = code; }

private:
    bool fullChroma_ = false;
    int32_t subsampling_ = 2;
    int32_t quality_ = 50;
    int32_t option_ = 0;
};

// A new built-in encoder with one reference in out; false when out is null
// or the encoder cannot be made.
bool createJ2KTileEncoder(vq_tileEncoder_base** out);
