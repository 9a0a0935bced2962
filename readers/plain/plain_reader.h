// Shared parts of the readers of plain, single-image files (PPM, BMP, PNG):
// the file info fields every such header fills, the answers of a loader
// without tiles or planes, and the strip cursor of a reader that delivers
// interleaved pixels top-down.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "engine/base/stream.h"
#include "engine/base/vq_refcount.h"
#include "engine/base/loader_base.h"

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

// Strip reader of a file whose header Info::readHeader reads from the start of
// the stream, leaving the stream on the first pixel row.
template <class Info>
class vq_headerStripLoader : public vq_plainStripLoader {
public:
    int getFormat() override { return info.getPixelFormat(); }

    // Reads the header into the embedded file info and takes the image size
    // from it ((0, 0) when the header is not of the format).
    bool probe() {
        if (stream == nullptr)
            return false;
        StreamRewindGuard rewind(stream.get());
        const bool ok = info.readHeader(stream.get());
        imageSize = info.getImageSize();
        return ok;
    }

    // Reads the header again and starts a pass in a deliverable format.
    bool prepareStrips(int height, int fmt) override {
        if (stream == nullptr)
            return false;
        stream->seek(0, vq_seekStart);
        const bool ok = info.readHeader(stream.get());
        imageSize = info.getImageSize();
        return ok && info.canDeliver(fmt) && startPass(height, fmt);
    }

protected:
    Info info;
};

// Loader of such a file: file infos and strip readers read the header from
// the start of the stream and leave it rewound.
template <class Info, class Strips>
class vq_headerLoader : public vq_plainLoader {
public:
    bool getFileInfo(vq_FileInfo** out) override {
        if (!out || stream == nullptr)
            return false;
        StreamRewindGuard rewind(stream.get());
        auto info = vq_ptr<Info>::adopt(Info::create());
        if (!info->readHeader(stream.get()))
            return false;
        *out = info.get();
        info->addRef();
        return true;
    }

    bool getStripLoader(vq_stripLoader_base** out) override {
        if (!out || stream == nullptr)
            return false;
        Strips* strips = Strips::create();
        strips->setStream(stream.get());
        strips->probe();
        *out = strips;
        return true;
    }

protected:
    using vq_plainLoader::vq_plainLoader;
};
