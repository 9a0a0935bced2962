// JP2 files delivered top-down as strips of whole rows at full resolution.
// One band (a row of code-stream tiles) is decoded at a time into a
// band-wide container, from which the strips are copied.
#pragma once

#include <cstdint>

#include "engine/base/imageContainer.h"
#include "engine/base/loader_base.h"
#include "engine/base/stream.h"
#include "readers/jp2/jp2_tile_source.h"

class vq_J2KStriploader : public vq_stripLoader_base {
public:
    static vq_J2KStriploader* create(vq_stream* stream);

    // Reads the header; false for a file that is not a readable JP2 file.
    bool open();

    IntPair getImageSize() override { return imageSize; }
    int getMinTileSize() override { return 1; }
    int getMaxStripHeight() override { return imageSize.second; }
    // Strips of `rows` rows, in 24-bit RGB when asked for it, else in the
    // file's format; decodes the first band needed.
    bool prepareStrips(int rows, int format) override;
    bool readNextStrip(int* rowsDone, imageContainer* dst) override;
    bool supportsYCbCr() override { return false; }
    int getSubsampling() override { return source.info().getSubsampling(); }
    bool prepareStripsYCbCr(int) override { return false; }
    bool readNextStripYCbCr(int*, imageContainer*, imageContainer*, imageContainer*) override { return false; }
    int getFormat() override { return source.info().getPixelFormat(); }

private:
    explicit vq_J2KStriploader(vq_stream* s) : stream(s) {}
    bool decodeNextBand();

    vq_ptr<vq_stream> stream;
    vq_ptr<imageContainer> band;
    IntPair imageSize;
    int32_t pixelFormat = -1;
    J2KTileSource source;
    int32_t stripHeight = 0;
    int32_t rowsDelivered = 0;
    int32_t rowInBand = 0;
    int32_t bandIndex = 0;
    uint32_t tilesPerBand = 1;
};
