// Writers of a whole image (vq_saver_base) and of an image tile by tile
// (vq_tiled_saver_base).
#pragma once

#include "engine/base/IntPair.h"
#include "engine/base/vq_refcount.h"

class imageContainer;

class vq_saver_base : public vq_refcount {
public:
    // Colour space of the next output as a pixel-format code: 3 YCbCr, 6 grey,
    // any other code RGB.
    virtual void setColourSpace(int code) = 0;
    // Writes src from the start of the output stream.
    virtual bool save(imageContainer* src, int quality, int subsampling) = 0;
    virtual bool supportsYCbCr() = 0;
    // Writes three planes whose chroma sampling is planeSubsampling, coded with
    // the requested subsampling.
    virtual bool saveYCbCr(imageContainer* y, imageContainer* cb, imageContainer* cr,
                           int planeSubsampling, int quality, int subsampling) = 0;
};

class vq_tiled_saver_base : public vq_refcount {
public:
    virtual void setFormat(int format) = 0;
    virtual void setSubsampling(int subsampling) = 0;
    virtual void setImageSize(const IntPair& size) = 0;
    // x and y are the pixel position of the tile's top-left corner.
    virtual bool saveTile(int x, int y, imageContainer* tile) = 0;
    virtual bool saveTileYCbCr(int x, int y, imageContainer* yPlane, imageContainer* cbPlane,
                               imageContainer* crPlane, int planeSubsampling, int quality) = 0;
};
