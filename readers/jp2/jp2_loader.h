// JP2 files as sources: what the header tells (vq_J2KFileInfo) and the loader
// bound to the file's stream (vq_J2KLoader). A bare code-stream without the
// JP2 signature box is not accepted.
#pragma once

#include <cstdio>
#include <set>
#include <vector>

#include "engine/base/loader_base.h"
#include "engine/base/stream.h"

class DJP2FileReader;

class vq_J2KFileInfo : public vq_FileInfo {
public:
    static vq_J2KFileInfo* create();

    // Reads the JP2 header and the code-stream's main header from the start
    // of the stream; the result is the valid flag.
    bool readHeader(vq_stream* stream);
    // The same through a reader whose input the caller attached; the input
    // stays positioned after the main header, inside the code-stream box.
    bool readHeaderFrom(DJP2FileReader& reader);

    bool isValid() override { return valid; }
    std::vector<IntPair> getLevelSizes() override { return levelSizes; }
    IntPair getImageSize() override { return imageSize; }
    int getLevelCount() override { return 1; }
    IntPair getResolution() override { return resolution; }
    int getPixelFormat() override { return pixelFormat; }
    std::set<int> getPixelFormats() override { return pixelFormats; }
    bool hasAlpha() override { return false; }
    bool isTiled() override { return tiled; }
    IntPair getTileSize() override { return tileSize; }
    bool hasPyramidLevels() override { return false; }
    int getQuality() override { return quality; }
    void printReport(FILE* out) override;
    int getSubsampling() override { return subsampling; }

    // Tiles across and down of the code-stream's tile grid.
    IntPair getTileCounts() const { return tileCounts; }
    // Resolution reductions every component's quantisation allows.
    int getReductionLevels() const { return levels; }

private:
    vq_J2KFileInfo() = default;

    IntPair resolution{0, 0};
    IntPair imageSize{0, 0};
    IntPair tileSize{0, 0};
    IntPair tileCounts{0, 0};
    int32_t pixelFormat = -1;
    std::set<int> pixelFormats;
    std::vector<IntPair> levelSizes;
    int subsampling = 1;
    int quality = 100;
    int levels = 0;
    bool valid = false;
    bool tiled = false;
};

class vq_J2KLoader : public vq_loader_base {
public:
    static vq_J2KLoader* create(vq_stream* stream);

    bool getFileInfo(vq_FileInfo** out) override;
    bool getTileLoader(vq_tileloader_base** out) override;
    bool getStripLoader(vq_stripLoader_base** out) override;
    bool loadImage(imageContainer*, int) override { return false; }
    bool canLoadYCbCr() override { return false; }
    bool loadImageYCbCr(imageContainer*, imageContainer*, imageContainer*) override { return false; }

private:
    explicit vq_J2KLoader(vq_stream* s) : stream(s) {}
    vq_ptr<vq_stream> stream;
};

// A new loader over `stream` in *out; false when either is null. Reads
// nothing.
bool createJ2KLoader(vq_stream* stream, vq_loader_base** out);
