// The alternative JPEG 2000 tile encoder, running the OpenJPEG library.
//
// Tiles are coded as plain J2K code-streams of three components: Y at full
// size and Cb, Cr halved horizontally (4:2:2, ceil(W / 2) columns), 8-bit
// unsigned, one quality layer, the irreversible 9/7 wavelet and no component
// transform (the samples are already YCbCr).
//
// Quality: OpenJPEG cannot take quantisation step sizes from a table, so the
// quality q (clamped to 1..100) sets the target PSNR of the single layer's
// rate allocation over the coded Y, Cb and Cr samples:
//     target PSNR = 20 + 0.3 x q  dB  (q 1: 20.3 dB, 50: 35 dB, 100: 50 dB).
// A higher quality never gives a lower target, so code-streams grow with it.
#pragma once

#include <cstdint>

#include "j2k/tile_encoder_base.h"

class vq_J2K_OJPEG_TileEncoder : public vq_tileEncoder_base {
public:
    // Target PSNR in dB of a quality, clamped to 1..100 first.
    static double targetPsnr(int32_t quality);

    bool encodeTile(imageContainer* tile, vq_stream* out) override;
    bool encodeTileYCbCr(imageContainer*, imageContainer*, imageContainer*, int, vq_stream*) override { return false; }
    bool supportsYCbCr() override { return false; }
    bool setSourceTables(vq_raw_tile*) override { return false; }
    void setQuality(int quality) override { quality_ = quality; }
    void setEncoderOption(int option) override { encoderOption_ = option; }
    void setFullChroma(bool full) override { fullChroma_ = full ? 1 : 0; }
    void setWriteTables(bool) override {}
    void setColourSpace(int) override {}
    void* self(void* pointer) override { return pointer; }
    void setSubsampling(int code) override { subsampling_ = code; }

    int32_t quality() const { return quality_; }

private:
    // Stored for the interface; only the quality influences encoding.
    int32_t fullChroma_ = 0;
    int32_t subsampling_ = 2;
    int32_t quality_ = 50;
    int32_t encoderOption_ = 0;
};

// False when out is null or the encoder cannot be made; else a new encoder
// with its first reference in out.
bool createJ2KOjpegTileEncoder(vq_tileEncoder_base** out);
