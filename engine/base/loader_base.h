// Reader interfaces: what a file header told (vq_FileInfo), a reader bound to
// one input stream (vq_loader_base), top-down strips (vq_stripLoader_base) and
// tiles of a stored pyramid (vq_tileloader_base).
//
// Every operation reports failure through its result or through the answer of
// a reader without the feature; none throws to its caller.
#pragma once

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "engine/base/IntPair.h"
#include "engine/base/vq_refcount.h"

class imageContainer;
class vq_raw_tile;
class vq_stream;
class vq_stripLoader_base;
class vq_tileloader_base;
class vq_tileDecoder_base;

class vq_FileInfo : public vq_refcount {
public:
    // The header was read successfully.
    virtual bool isValid() = 0;
    // Sizes of the stored levels, level 0 first.
    virtual std::vector<IntPair> getLevelSizes() = 0;
    virtual IntPair getImageSize() = 0;
    virtual int getLevelCount() = 0;
    // Dots per inch (x, y); (0, 0) when the file states none.
    virtual IntPair getResolution() = 0;
    // Pixel format delivered natively; -1 when not determined.
    virtual int getPixelFormat() = 0;
    // Every pixel format loadImage and prepareStrips can deliver.
    virtual std::set<int> getPixelFormats() = 0;
    virtual bool hasAlpha() = 0;
    virtual bool isTiled() = 0;
    virtual IntPair getTileSize() = 0;
    virtual bool hasPyramidLevels() = 0;
    virtual int getQuality() = 0;
    // A short human-readable description; nothing when the header was invalid.
    virtual void printReport(FILE* out) = 0;
    // JPEG subsampling code of the stored data (1 4:4:4 ... 5 not determined).
    virtual int getSubsampling() = 0;
};

class vq_loader_base : public vq_refcount {
public:
    // Reads the header from the start of the stream into a new file info.
    virtual bool getFileInfo(vq_FileInfo** out) = 0;
    virtual bool getTileLoader(vq_tileloader_base** out) = 0;
    virtual bool getStripLoader(vq_stripLoader_base** out) = 0;
    // Decodes the whole image into dst in one of getPixelFormats().
    virtual bool loadImage(imageContainer* dst, int format) = 0;
    virtual bool canLoadYCbCr() = 0;
    // The whole image as Y, Cb, Cr planes at their stored sampling.
    virtual bool loadImageYCbCr(imageContainer* y, imageContainer* cb, imageContainer* cr) = 0;
};

class vq_stripLoader_base : public vq_refcount {
public:
    virtual IntPair getImageSize() = 0;
    virtual int getMinTileSize() = 0;
    virtual int getMaxStripHeight() = 0;
    // Starts reading from the top: strips of stripHeight rows in `format`.
    virtual bool prepareStrips(int stripHeight, int format) = 0;
    // Fills dst with the next strip; rowsDone becomes the rows delivered so far.
    virtual bool readNextStrip(int* rowsDone, imageContainer* dst) = 0;
    virtual bool supportsYCbCr() = 0;
    virtual int getSubsampling() = 0;
    virtual bool prepareStripsYCbCr(int stripHeight) = 0;
    virtual bool readNextStripYCbCr(int* rowsDone, imageContainer* y, imageContainer* cb,
                                    imageContainer* cr) = 0;
    virtual int getFormat() = 0;
};

class vq_tileloader_base : public vq_refcount {
public:
    virtual int getImageCount() = 0;
    virtual IntPair getTileSize(int image) = 0;
    virtual std::vector<IntPair> getLevelSizes(int image) = 0;
    virtual IntPair getLevelTileCounts(int level, int image) = 0;
    virtual IntPair getLevelSize(int level, int image) = 0;
    virtual int getPixelFormat(int level, int image) = 0;
    virtual int getTileCount(int image) = 0;
    virtual bool loadTile(int x, int y, int level, int image, imageContainer* dst, int format) = 0;
    virtual bool hasRawTiles(int image) = 0;
    virtual bool isRawYCbCr(int image) = 0;
    virtual bool loadTileYCbCr(int x, int y, int level, int image, imageContainer* yPlane,
                               imageContainer* cbPlane, imageContainer* crPlane) = 0;
    virtual bool isRawCodecSupported(int image) = 0;
    virtual bool isJPEG(int image) = 0;
    virtual bool createTileDecoder(vq_tileDecoder_base** out, int image) = 0;
    virtual int getCompression(int image) = 0;
    virtual int getSubsampling(int image) = 0;
    virtual int getQuality() = 0;
    virtual bool loadThumbnail(vq_raw_tile** out, int image) = 0;
    virtual std::string getDescription() = 0;
    virtual int64_t getFileSize() = 0;
    // The stored tile as a complete compressed tile; level -2 at (0, 0) is the
    // label image, -3 the macro image.
    virtual bool loadRawTile(int x, int y, int level, int image, vq_raw_tile** out) = 0;
    virtual bool loadRawTileAsStored(int x, int y, int level, int image, vq_raw_tile** out) = 0;
    virtual bool getJpegTables(int level, int image, vq_raw_tile** out) = 0;
    virtual int getMagnification(int image) = 0;
    virtual void lock() = 0;
    virtual void unlock() = 0;
    virtual bool isValidTile(int x, int y, int level, int image) = 0;
};

// Rewinds a loader's stream to its start when it takes the stream and again
// when it lets it go, so headers are always read from the start and the
// stream stands there afterwards.
class StreamRewindGuard {
public:
    explicit StreamRewindGuard(vq_stream* stream);
    ~StreamRewindGuard();
    StreamRewindGuard(const StreamRewindGuard&) = delete;
    StreamRewindGuard& operator=(const StreamRewindGuard&) = delete;

private:
    vq_ptr<vq_stream> stream_;
};
