// Strips cut from any tile reader: one row of tiles of level 0, image 0 (a
// band) is loaded at a time and strips are copied out of it, as interleaved
// pixels or as Y, Cb and Cr planes.
#pragma once

#include "engine/base/loader_base.h"

class vq_zoomloader : public vq_stripLoader_base {
public:
    static vq_zoomloader* create(vq_tileloader_base* tiles);

    IntPair getImageSize() override;
    int getMinTileSize() override;
    int getMaxStripHeight() override;
    bool prepareStrips(int stripHeight, int format) override;
    bool readNextStrip(int* rowsDone, imageContainer* dst) override;
    bool supportsYCbCr() override;
    int getSubsampling() override;
    bool prepareStripsYCbCr(int stripHeight) override;
    bool readNextStripYCbCr(int* rowsDone, imageContainer* y, imageContainer* cb,
                            imageContainer* cr) override;
    int getFormat() override;

private:
    explicit vq_zoomloader(vq_tileloader_base* tiles);

    // Reads the tile geometry of level 0; false for a reader whose tiles or
    // image have no area.
    bool readGeometry();
    bool loadBand(int imageRow);
    bool loadPlaneBands(int imageRow);
    // Chroma rows that go with n luma rows.
    int chromaRows(int lumaRows) const;

    vq_ptr<vq_tileloader_base> tileReader;
    vq_ptr<imageContainer> band;
    vq_ptr<imageContainer> yBand;
    vq_ptr<imageContainer> cbBand;
    vq_ptr<imageContainer> crBand;
    int format = -1;
    int stripHeight = 0;
    int delivered = 0;
    int bandRow = 0;
    int chromaBandRow = 0;
    int subsampling = 1;
    IntPair tileSize;
    IntPair chromaTileSize;
    IntPair imageSize;
    IntPair chromaImageSize;
    IntPair tileCounts;
};

// Wraps a tile reader in a strip reader; false for a null tile reader.
bool createZoomLoader(vq_tileloader_base* tiles, vq_stripLoader_base** out);
