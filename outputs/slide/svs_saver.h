// The SVS and pyramid TIFF writer: a tiled TIFF (or BigTIFF) whose first
// directory is the full-resolution level, followed by a thumbnail, the smaller
// levels and the label and macro images. JPEG tiles share one JPEGTables
// entry per directory. Tiles are compressed into memory by encoder threads
// and appended to the file as they finish; the directories and their value
// areas are reserved at their BigTIFF size and completed by finish, which
// chooses the classic or the BigTIFF form from the final size.
#pragma once

#include <list>
#include <set>
#include <string>
#include <utility>

#include "outputs/slide/slide_encoders.h"

class vq_svs_saver : public vq_slide_encoding_saver {
public:
    // A file whose final size would reach `bigTiffThreshold` bytes is
    // finished as BigTIFF.
    static constexpr uint64_t kBigTiffThreshold = 0xFFFFFED8ull;
    explicit vq_svs_saver(vq_stream* stream, uint64_t bigTiffThreshold = kBigTiffThreshold);
    ~vq_svs_saver() override;

    void setTileSize(int edge) override { tileSize_ = edge; }
    void beginStripImage(IntPair size, int pixelFormat, int rowsPerStrip) override;
    void setBaseLevel(IntPair size, int level, int quality, vq_raw_tile* sample) override;
    void addLevel(int level, IntPair size, int quality, vq_raw_tile* sample) override;
    bool addRawTile(int x, int y, int level, vq_raw_tile* tile) override;
    bool addTile(int x, int y, int level, imageContainer* tile) override;
    bool addStrip(int firstRow, imageContainer* strip) override;
    bool addTileYCbCr(int x, int y, int level, imageContainer* yPlane, imageContainer* cbPlane,
                      imageContainer* crPlane, int subsampling) override;
    bool setThumbnail(int sourceLevel, IntPair sourceLevelSize, IntPair sourceTileCount, int quality) override;
    bool addRawThumbnail(vq_raw_tile* jpeg) override;
    bool finish() override;
    void abort() override;
    void setCompression(int code) override { compression_ = code; }
    void setSubsampling(int code) override { subsampling_ = code; }
    void setColourSpace(int code) override { colourSpace_ = code; }
    void setQuality(int q) override { quality_ = q; }
    int getCompression() override { return compression_; }
    void setDescription(const char* text) override { description_ = text != nullptr ? text : ""; }
    void setFullChroma(bool full) override { fullChroma_ = full; }
    bool getFullChroma() override { return fullChroma_; }
    void setScanInfo(double magnification, double micronsPerPixel) override {
        magnification_ = magnification;
        micronsPerPixel_ = micronsPerPixel;
    }

    // Whether a raw JPEG tile of a level can be stored as it is: its tables
    // equal the level's JPEGTables (true for levels without a directory).
    bool rawTablesMatch(int level, vq_raw_tile* tile);
    // Why the last finish failed (empty after a successful one).
    const std::string& getFailure() const { return failure_; }

    // The thumbnail size for a source level: fitted into 1024 x 768, aspect
    // ratio kept, rounded down.
    static IntPair thumbnailSize(IntPair source);

private:
    enum Kind { kindLevel = 0, kindThumbnail = -1, kindLabel = -2, kindMacro = -3 };

    void fillDirectory(vq_svs_ifdDir& dir, IntPair size, int quality, int kind);
    bool ensureStarted();
    vq_svs_ifdDir* levelDirectory(int level);
    vq_svs_ifdDir* thumbnailDirectory();
    bool takeThumbnailTile(int x, int y, imageContainer* rgb);
    bool writeThumbnail();
    bool writeStrips(vq_svs_ifdDir& dir, imageContainer* image, IntPair size, vq_tileEncoder_base* encoder);
    bool addLabelOrMacro(int level, vq_raw_tile* tile);
    // Steps of the tile operations under the file lock; the job is prepared
    // for the level's directory. Result: 1 go on, 0 dropped (true), -1 false.
    int prepareTileJob(int x, int y, int level, vq_svstile_saver& job, bool forRaw, vq_raw_tile* raw);
    bool createEncoder(vq_ptr<vq_tileEncoder_base>& out) override;

    double magnification_ = 20.0;
    double micronsPerPixel_ = 0.5;
    bool fullChroma_ = false;
    bool stripMode_ = false;
    std::string description_;
    vq_svs_stream stream_;
    vq_svs_header header_;
    vq_svs_ifdDir baseDirectory_;
    // Node-based: jobs keep directory addresses for the saver's lifetime.
    std::list<vq_svs_ifdDir> directories_;
    std::set<std::pair<int, int>> thumbnailMissing_;
    IntPair thumbnailSize_{0, 0};
    IntPair thumbnailSourceSize_{0, 0};
    vq_ptr<imageContainer> thumbnailImage_;
    vq_ptr<vq_raw_tile> readyThumbnail_;
    IntPair baseSize_{0, 0};
    int subsampling_ = 5;
    int quality_ = 0;
    int colourSpace_ = 3;
    int tileSize_ = 512;
    int rowsPerStrip_ = 0;
    int pixelFormat_ = 4;
    int compression_ = 7;
    int thumbnailLevel_ = -1;
    int labelMark_ = -1;
    int macroMark_ = -1;

    std::string failure_;
    uint64_t bigTiffThreshold_;
};

// A saver writing through the stream (not closed by the saver), with one
// reference; false when it cannot be made.
bool createSvsSaver(vq_stream* stream, vq_svs_saver_base** out);
