// The SVS and pyramid TIFF writer: a tiled TIFF (or BigTIFF) whose first
// directory is the full-resolution level, followed by a thumbnail, the smaller
// levels and the label and macro images. JPEG tiles share one JPEGTables
// entry per directory. Tiles are compressed into memory by encoder threads
// and appended to the file as they finish; the directories and their value
// areas are reserved at their BigTIFF size and completed by finish, which
// chooses the classic or the BigTIFF form from the final size.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <list>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "engine/base/stream.h"
#include "engine/pyramid/tile_saver.h"
#include "j2k/tile_encoder_base.h"
#include "outputs/slide/svs_ifd_write.h"
#include "outputs/slide/svs_saver_base.h"
#include "platform/threads.h"

// One tile on its way into an SVS file. A job without pixel holder, directory
// or file stream is the stop marker of the encoder threads.
class vq_svstile_saver : public vq_tile_saver {
public:
    bool isStopMarker() const { return holder == nullptr || directory == nullptr || fileStream == nullptr; }

    vq_ptr<vq_memoryWriteStream> encoded;
    IntPair position{0, 0};
    vq_svs_ifdDir* directory = nullptr;
    vq_svs_stream* fileStream = nullptr;
    vq_ptr<vq_raw_tile> tableSource;
    // Re-encoded tiles of a directory whose JPEGTables carry other Huffman
    // tables than the encoder's standard ones must bring their own tables.
    bool completeStream = false;
};

class vq_svs_saver : public vq_svs_saver_base {
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
    // Encoder threads started for the current file.
    int threadsStarted() const { return threadsStarted_; }
    // Jobs waiting for an encoder thread.
    size_t queuedJobs();
    // The lock that serialises every write to the file; while a caller holds
    // it, encoder threads finish encoding but write nothing.
    vq::platform::CriticalSection& fileLock() { return fileLock_; }

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
    bool submit(vq_svstile_saver& job);
    bool writeEncodedTile(vq_svstile_saver& job);

    // Encoder threads and the job queue.
    bool createEncoder(vq_ptr<vq_tileEncoder_base>& out);
    bool encodeInto(vq_tileEncoder_base* encoder, vq_svstile_saver& job);
    bool encodeJob(vq_svstile_saver& job);
    void startEncoderThread();
    void queueJob(const vq_svstile_saver& job);
    void encoderThreadMain();
    void stopEncoderThreads(bool dropWaiting);

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

    vq::platform::CriticalSection fileLock_{2000};
    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::list<vq_svstile_saver> queue_;
    std::mutex startMutex_;
    std::array<vq::platform::Thread, 12> threads_;
    int maxEncoderThreads_ = 0;
    int threadsStarted_ = 0;
    std::atomic<int> threadsRunning_{0};
    bool priorityReported_ = false;
    std::atomic<int> failedTiles_{0};
    std::string failure_;
    uint64_t bigTiffThreshold_;
};

// A saver writing through the stream (not closed by the saver), with one
// reference; false when it cannot be made.
bool createSvsSaver(vq_stream* stream, vq_svs_saver_base** out);
