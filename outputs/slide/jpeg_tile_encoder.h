// The JPEG member of the tile-encoder family: one tile into one JPEG stream,
// complete or abbreviated (its tables carried once by the file), with the
// quantisation tables of a source tile when the level was decoded from JPEG
// tiles, so that re-encoded tiles stay consistent with copied ones.
#pragma once

#include "j2k/tile_encoder_base.h"
#include "jpeg/jpeg_stream_parser.h"

class vq_jpeg_tileEncoder : public vq_tileEncoder_base {
public:
    vq_jpeg_tileEncoder();
    ~vq_jpeg_tileEncoder() override;

    // Appends a stream of a 24-bit RGB container at the stream's position.
    bool encodeTile(imageContainer* tile, vq_stream* out) override;
    // Writes a stream of three planes from the stream's start.
    bool encodeTileYCbCr(imageContainer* y, imageContainer* cb, imageContainer* cr, int subsampling,
                         vq_stream* out) override;
    bool supportsYCbCr() override { return true; }
    bool setSourceTables(vq_raw_tile* tile) override;
    void setQuality(int q) override { quality_ = q; }
    void setEncoderOption(int) override {}
    void setFullChroma(bool) override {}
    void setWriteTables(bool write) override { writeTables_ = write; }
    void setColourSpace(int code) override { colourSpace_ = code; }
    void* self(void* pointer) override { return pointer; }
    void setSubsampling(int code) override { subsampling_ = code; }

private:
    bool writeTables_ = true;
    int subsampling_ = 5;
    int quality_ = 50;
    int colourSpace_ = 3;
    JpegStreamParser sourceTables_;
};

// A new encoder with one reference; false when it cannot be made.
bool createJpegTileEncoder(vq_jpeg_tileEncoder** out);
