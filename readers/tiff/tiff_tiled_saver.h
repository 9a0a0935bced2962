// A writer of one tiled, JPEG-compressed colour TIFF image over an engine
// stream, tile by tile, through the project's TIFF library. The file is
// completed when the saver is destroyed.
#pragma once

#include "engine/base/saver_base.h"
#include "readers/tiff/tiff_reader.h"

class vq_TIFFTiledSaver : public vq_tiled_saver_base {
public:
    static vq_TIFFTiledSaver* create();

    // Formats 1 (BGR) and 4 (RGB) are written as 8-bit, 3-sample colour;
    // any other format is refused.
    void setFormat(int format) override;
    void setSubsampling(int code) override { subsampling = code; }
    void setImageSize(const IntPair& size) override;
    // (x, y) is the pixel position of the tile's top-left corner; the first
    // tile fixes the tile size.
    bool saveTile(int x, int y, imageContainer* tile) override;
    bool saveTileYCbCr(int, int, imageContainer*, imageContainer*, imageContainer*, int, int) override {
        return false;
    }

    TiffStreamHandle binding;
    int subsampling = 5;
    int format = -1;
    IntPair imageSize{0, 0};
    bool usable = true;
    bool tileTagsWritten = false;

private:
    bool writeTileTags(int width, int height);
    IntPair tileSize_{0, 0};
};

// Opens a saver over the stream ("wm"): true with the saver in out.
bool createTIFFTiledSaver(vq_stream* stream, vq_tiled_saver_base** out);
