// Shared parts of the readers of plain, single-image files (PPM, BMP, PNG):
// the file info fields every such header fills, the answers of a loader
// without tiles or planes, and the strip cursor of a reader that delivers
// interleaved pixels top-down.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "engine/stream.h"
#include "engine/vq_refcount.h"
#include "readers/loader_base.h"

// What the header of a plain image file told. A reader's file info fills the
// fields in its own header read; every answer below comes from them.
class vq_plainFileInfo : public vq_FileInfo {
public:
    bool isValid() override { return valid; }
    std::vector<IntPair> getLevelSizes() override { return levelSizes; }
    IntPair getImageSize() override { return imageSize; }
    int getLevelCount() override { return 1; }
    IntPair getResolution() override { return resolution; }
    int getPixelFormat() override { return pixelFormat; }
    std::set<int> getPixelFormats() override { return pixelFormats; }
    bool hasAlpha() override { return alpha; }
    bool isTiled() override { return false; }
    IntPair getTileSize() override { return IntPair(); }
    bool hasPyramidLevels() override { return false; }
    int getQuality() override { return 100; }
    int getSubsampling() override { return 1; }

    bool canDeliver(int format) const { return pixelFormats.count(format) != 0; }

protected:
    // Back to the state before any header was read.
    void invalidate();
    // Records a header that was read completely.
    void accept(int width, int height, int format, std::set<int> formats, bool hasAlpha);
    // Writes "Width %d Height %d\n" followed by the format line.
    void printSizeAndFormat(FILE* out, const char* formatLine) const;

    IntPair resolution;
    IntPair imageSize;
    int pixelFormat = -1;
    std::set<int> pixelFormats;
    std::vector<IntPair> levelSizes;
    bool valid = false;
    bool alpha = false;
};

// A loader of a plain file: no tiles, no planes; the whole image is the one
// strip of a strip reader of the same file.
class vq_plainLoader : public vq_loader_base {
public:
    bool getTileLoader(vq_tileloader_base** out) override { return false; }
    bool loadImage(imageContainer* dst, int format) override;
    bool canLoadYCbCr() override { return false; }
    bool loadImageYCbCr(imageContainer*, imageContainer*, imageContainer*) override { return false; }

protected:
    explicit vq_plainLoader(vq_stream* s) : stream(s) {}

    vq_ptr<vq_stream> stream;
};

// Strip cursor of a plain file: interleaved pixels only, delivered top-down.
class vq_plainStripLoader : public vq_stripLoader_base {
public:
    IntPair getImageSize() override { return imageSize; }
    int getMinTileSize() override { return 1; }
    int getMaxStripHeight() override { return imageSize.second; }
    bool supportsYCbCr() override { return false; }
    int getSubsampling() override { return 1; }
    bool prepareStripsYCbCr(int) override { return false; }
    bool readNextStripYCbCr(int*, imageContainer*, imageContainer*, imageContainer*) override {
        return false;
    }

    void setStream(vq_stream* s) { stream = s; }

protected:
    // Starts a pass: strips of `height` rows (capped at the image height) in
    // `fmt`; false for a height below 1 or an empty image.
    bool startPass(int height, int fmt);
    // Rows of the next strip; 0 before a pass or once every row is delivered.
    int nextStripRows() const;
    // Creates dst for the next strip of n rows in `fmt` and clears it;
    // reports a failure on the error stream.
    static bool createStrip(imageContainer* dst, int fmt, int width, int n);
    void reportRowsDone(int* rowsDone) const {
        if (rowsDone)
            *rowsDone = delivered;
    }

    vq_ptr<vq_stream> stream;
    IntPair imageSize;
    int format = -1;
    int stripHeight = 0;
    int delivered = 0;
};
