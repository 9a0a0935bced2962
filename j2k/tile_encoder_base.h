// The tile-encoder family: turns one pyramid tile into one compressed stream.
// The slide writers hold their encoders through this interface, so a level can
// be written with JPEG or JPEG 2000 tiles by the same code.
#pragma once

#include "engine/base/vq_refcount.h"

class imageContainer;
class vq_raw_tile;
class vq_stream;

class vq_tileEncoder_base : public vq_refcount {
public:
    vq_tileEncoder_base() = default;
    ~vq_tileEncoder_base() override = default;

    // Encodes a 24-bit RGB container into the stream; true on success.
    virtual bool encodeTile(imageContainer* tile, vq_stream* out) = 0;
    // Encodes Y, Cb and Cr planes whose chroma size follows `subsampling`.
    virtual bool encodeTileYCbCr(imageContainer* y, imageContainer* cb, imageContainer* cr, int subsampling,
                                 vq_stream* out) = 0;
    virtual bool supportsYCbCr() = 0;
    // Takes the tables of a source tile; false when they cannot be reused.
    virtual bool setSourceTables(vq_raw_tile* tile) = 0;
    virtual void setQuality(int quality) = 0;
    virtual void setEncoderOption(int option) = 0;
    virtual void setFullChroma(bool full) = 0;
    // true: complete streams; false: abbreviated streams without tables.
    virtual void setWriteTables(bool write) = 0;
    // 3 YCbCr, 4 RGB.
    virtual void setColourSpace(int code) = 0;
    virtual void* self(void* pointer) = 0;
    virtual void setSubsampling(int code) = 0;
};
