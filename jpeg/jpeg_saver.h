// Writes one image (in practice one pyramid tile) as a complete JFIF stream,
// from an interleaved container or from Y, Cb, Cr planes coded in the JPEG
// library's raw-data mode, and the chroma-plane conversions the JPEG and
// JPEG 2000 tile encoders share.
#pragma once

#include "engine/base/vq_refcount.h"
#include "jpeg/jpeg_bridge.h"
#include "engine/base/saver_base.h"

class vq_JPEGSaver : public vq_saver_base {
public:
    explicit vq_JPEGSaver(vq_stream* stream);
    ~vq_JPEGSaver() override;

    void setColourSpace(int code) override { colourSpace_ = code; }
    bool save(imageContainer* src, int quality, int subsampling) override;
    bool supportsYCbCr() override { return true; }
    bool saveYCbCr(imageContainer* y, imageContainer* cb, imageContainer* cr, int planeSubsampling,
                   int quality, int subsampling) override;

private:
    vq_ptr<vq_stream> stream_;
    int colourSpace_ = 3;
};

bool createJPEGSaver(vq_stream* stream, vq_saver_base** out);

// The coarser of two subsampling codes; between 2 and 3 the first wins.
int coarserSubsampling(int a, int b);
// Resamples a chroma plane made for code `from` to the plane size of code `to`.
bool convertChromaPlane(int from, int to, imageContainer* src, imageContainer* dst);
// Halves a chroma plane towards a coarser code with box filters.
bool downsampleChromaPlane(int from, int to, imageContainer* src, imageContainer* dst);
// Writes every row of an interleaved image through a started compressor
// (under its guard); false when the library takes other than one row.
bool writeJpegRows(j_compress_ptr info, const uint8_t* data, int32_t step);
// Writes three planes through a started raw-data compressor.
bool compressYCbCrPlanes(JpegCompressor& compressor, imageContainer* y, imageContainer* cb,
                         imageContainer* cr);
