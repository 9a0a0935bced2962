// JPEG (JFIF) files and JPEG data in memory: the file info with an estimated
// quality, whole-image decoding as pixels or Y, Cb, Cr planes, and a strip
// reader that decodes top-down, as pixels or as planes.
#pragma once

#include <set>
#include <vector>

#include "engine/base/vq_refcount.h"
#include "jpeg/jpeg_bridge.h"
#include "engine/base/loader_base.h"

class vq_JPEGFileInfo : public vq_FileInfo {
public:
    bool isValid() override { return valid; }
    std::vector<IntPair> getLevelSizes() override { return levelSizes; }
    IntPair getImageSize() override { return imageSize; }
    int getLevelCount() override { return 1; }
    IntPair getResolution() override { return resolution; }
    int getPixelFormat() override { return pixelFormat; }
    std::set<int> getPixelFormats() override { return pixelFormats; }
    bool hasAlpha() override { return false; }
    bool isTiled() override { return false; }
    IntPair getTileSize() override { return IntPair(0, 0); }
    bool hasPyramidLevels() override { return false; }
    int getQuality() override { return quality; }
    void printReport(FILE* out) override;
    int getSubsampling() override { return subsampling; }

    // Fills this file info from a decompressor whose source stands at the
    // start of the data; false when no image header is there.
    bool probe(JpegDecompressor& d);
    // 1 header read, 0 no image in the stream, -1 library error.
    int probeStatus(JpegDecompressor& d);

    IntPair resolution{0, 0};
    IntPair imageSize{0, 0};
    int pixelFormat = -1;
    std::set<int> pixelFormats;
    std::vector<IntPair> levelSizes;
    int subsampling = 1;
    std::vector<IntPair> componentSizes;
    int quality = 0;
    bool valid = false;
};

class vq_JPEGLoader : public vq_loader_base {
public:
    explicit vq_JPEGLoader(vq_stream* stream);
    ~vq_JPEGLoader() override;

    bool getFileInfo(vq_FileInfo** out) override;
    bool getTileLoader(vq_tileloader_base** out) override;
    bool getStripLoader(vq_stripLoader_base** out) override;
    bool loadImage(imageContainer* dst, int format) override;
    bool canLoadYCbCr() override;
    bool loadImageYCbCr(imageContainer* y, imageContainer* cb, imageContainer* cr) override;

private:
    vq_ptr<vq_stream> stream_;
};

class vq_JPEGStripLoader : public vq_stripLoader_base {
public:
    explicit vq_JPEGStripLoader(vq_stream* stream);
    ~vq_JPEGStripLoader() override;

    IntPair getImageSize() override;
    int getMinTileSize() override;
    int getMaxStripHeight() override;
    bool prepareStrips(int stripHeight, int format) override;
    bool readNextStrip(int* rowsDone, imageContainer* dst) override;
    bool supportsYCbCr() override;
    int getSubsampling() override { return fileInfo.getSubsampling(); }
    bool prepareStripsYCbCr(int stripHeight) override;
    bool readNextStripYCbCr(int* rowsDone, imageContainer* y, imageContainer* cb,
                            imageContainer* cr) override;
    int getFormat() override { return fileInfo.getPixelFormat(); }

    vq_JPEGFileInfo fileInfo;

private:
    bool readBatch(bool last);

    vq_ptr<vq_stream> stream_;
    int rowsPerStrip_ = 0;
    int rowsDelivered_ = 0;
    IntPair size_{0, 0};
    bool sizeKnown_ = false;
    int batchRows_ = 0;
    JpegPlaneBuffer planes_[3];
    JpegDecompressor decompressor_;
    int format_ = -1;
    // Four-ink files (CMYK or YCCK) decode through a row of inks to RGB.
    bool fourInks_ = false;
    std::vector<uint8_t> inkRow_;
};

// Binds a JPEG loader to the stream; nothing is read yet.
bool createJPEGLoader(vq_stream* stream, vq_loader_base** out);
