// The Leica SCN writer: a little-endian BigTIFF file of tiled directories of
// complete JPEG tiles (no JPEGTables) holding two images, first a smaller
// second image made from one level of the main pyramid, then the main image.
// An XML document in the first directory's ImageDescription names both
// images and the directory of each resolution.
//
// File layout: the 16-byte header, the second-image directories (largest
// first) and the base directory written when the first tile arrives, each
// smaller main level's directory when its first tile arrives, the tiles as
// they are encoded, and at finish the value areas with every directory
// rewritten in place and chained.
#pragma once

#include <cstdint>
#include <list>
#include <set>
#include <string>
#include <utility>

#include "engine/base/imageContainer.h"
#include "engine/pyramid/vq_zoomoutput.h"
#include "outputs/slide/slide_encoders.h"

class vq_leica_saver : public vq_slide_encoding_saver {
public:
    explicit vq_leica_saver(vq_stream* stream);
    ~vq_leica_saver() override;

    // The tile edge of every directory; a multiple of 16 up to 65520, set
    // before the first directory is declared (other values are ignored).
    void setTileSize(int edge) override;
    void beginStripImage(IntPair, int, int) override {}
    void setBaseLevel(IntPair size, int level, int quality, vq_raw_tile* sample) override;
    void addLevel(int level, IntPair size, int quality, vq_raw_tile* sample) override;
    bool addRawTile(int x, int y, int level, vq_raw_tile* tile) override;
    bool addTile(int x, int y, int level, imageContainer* tile) override;
    bool addStrip(int, imageContainer*) override { return false; }
    bool addTileYCbCr(int x, int y, int level, imageContainer* yPlane, imageContainer* cbPlane,
                      imageContainer* crPlane, int subsampling) override;
    // Declares the second image: a copy of main level `sourceLevel` with its
    // own halved levels, built once every tile of that level has arrived.
    bool setThumbnail(int sourceLevel, IntPair sourceLevelSize, IntPair sourceTileCount, int quality) override;
    bool addRawThumbnail(vq_raw_tile*) override { return false; }
    // Writes the directories and their values; false when no second image
    // was declared, it is incomplete, a tile failed or a write failed (the
    // file is then as complete as it could be made).
    bool finish() override;
    void abort() override;
    void setCompression(int) override {}
    void setSubsampling(int code) override { subsampling_ = code; }
    void setColourSpace(int code) override { colourSpace_ = code; }
    void setQuality(int) override {}
    int getCompression() override { return 7; }
    void setDescription(const char* text) override { description_ = text != nullptr ? text : ""; }
    void setFullChroma(bool) override {}
    bool getFullChroma() override { return false; }
    void setScanInfo(double magnification, double micronsPerPixel) override {
        magnification_ = magnification;
        micronsPerPixel_ = micronsPerPixel;
    }

    // Why the last finish failed (empty after a successful one).
    const std::string& getFailure() const { return failure_; }
    int getTileSize() const { return tileSize_; }

    // Second image (scn_second_image.cpp).
    bool collectThumbnailTile(int x, int y, imageContainer* tile);
    bool buildSecondImage();
    // Stores a finished tile of the second pyramid run; encoded and written at once.
    bool saveSecondImageTile(vq_zoom_tile_base* tile);

    // XML description (scn_description.cpp): builds the document and stores
    // it as the first second-image directory's ImageDescription.
    bool writeScnDescription();
    std::string buildScnDescription();
    // A length of n pixels in nanometres; a magnification not above 0 becomes
    // 5 with 1 micron per pixel, microns per pixel not above 0 become
    // 5 / magnification (both kept).
    int64_t toNanometres(int64_t pixels);

private:
    void fillDirectory(vq_svs_ifdDir& dir, IntPair size, int quality);
    bool ensureStarted();
    vq_svs_ifdDir* findDirectory(int level, bool secondImage);
    // Steps of the tile operations under the file lock. Result: 1 go on,
    // 0 dropped (true), -1 false.
    int prepareJob(int x, int y, vq_svs_ifdDir* dir, vq_svstile_saver& job);
    bool createEncoder(vq_ptr<vq_tileEncoder_base>& out) override;

    double magnification_ = 20.0;
    double micronsPerPixel_ = 0.5;
    std::string description_;
    int tileSize_ = 512;
    int secondImageLevel_ = -1;
    IntPair secondImageSize_{0, 0};
    int subsampling_ = 1;
    int colourSpace_ = 3;
    vq_svs_stream stream_;
    vq_svs_header header_;
    vq_svs_ifdDir baseDirectory_;
    // Node-based: jobs keep directory addresses for the saver's lifetime.
    std::list<vq_svs_ifdDir> levelDirectories_;
    std::list<vq_svs_ifdDir> secondImageDirectories_;
    std::set<std::pair<int, int>> missingSecondImageTiles_;
    vq_ptr<imageContainer> secondImage_;
    IntPair baseSize_{0, 0};
    bool descriptionWritten_ = false;
    std::string failure_;
};

// The output of the second pyramid run: every finished tile goes into the
// SCN saver's second image.
class LeicaThumbnailHandler : public vq_zoomoutput_base {
public:
    explicit LeicaThumbnailHandler(vq_leica_saver* saver) : saver_(saver) {}

    bool saveTile(vq_zoom_tile_base* tile) override;
    bool finish() override { return true; }
    void abort() override {}
    void setQuality(int32_t, vq_raw_tile*) override {}
    void setAuxValue(int32_t) override {}
    void setBaseLayer(vq_zoom_layer*) override {}
    bool setOutputPath(const std::string&, const std::string&) override { return true; }
    bool saveRawTile(vq_zoom_tile_base* tile, vq_raw_tile*) override { return saveTile(tile); }
    void setThreadedSave(bool) override {}
    bool acceptsRawTiles() override { return false; }
    bool acceptsYCbCrTiles() override { return false; }
    void setCompression(int32_t) override {}
    void setSubsampling(int32_t) override {}
    bool hasFailed() override { return false; }
    void addError(const std::string&) override {}
    void setImageDescription(const std::string&) override {}
    std::string getErrors() override { return {}; }
    int32_t getOutputOption() override { return 0; }
    int32_t getColourSpace() override { return 0; }
    void setColourSpace(int32_t) override {}

private:
    // The saver outlives the handler: the run that uses it ends inside a saver call.
    vq_leica_saver* saver_;
};

// A handler for the saver with its first reference.
bool createLeicaThumbnailHandler(vq_zoomoutput_base** out, vq_leica_saver* saver);

// An SCN saver writing through the stream (not closed by the saver), with one
// reference; false when it cannot be made.
bool createLeicaSaver(vq_stream* stream, vq_svs_saver_base** out);
