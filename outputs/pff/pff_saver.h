// The PFF writer: one file holding every tile of a pyramid behind one block
// of JPEG header chunks (one per quality and tile size). Tiles arrive in the
// pyramid driver's order, are encoded as abbreviated JPEG streams (on worker
// threads when multi-threading is on) and are appended strictly in the
// file's tile order; a tile that is ready before its turn waits in a
// temporary file, so memory stays bounded however the tiles arrive.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/base/stream.h"
#include "engine/pyramid/tile_saver.h"
#include "outputs/slide/encoder_pool.h"
#include "outputs/slide/svs_saver_base.h"

class vq_pff_saver;
class vq_jpeg_tileEncoder;

// One tile on its way into a PFF file.
class vq_pfftile_saver : public vq_tile_saver {
public:
    // Moves the encoded tile to the end of the temporary file and lets go of
    // the memory; true when it is parked there (already or now).
    bool spillToTemporaryFile(vq_stream* temporary);
    // Reads a parked tile back into memory; true when it is in memory.
    bool loadFromTemporaryFile(vq_stream* temporary);

    vq_ptr<vq_memoryWriteStream> encoded;
    int chunkNumber = -1;
    int column = 0;
    int row = 0;
    int level = 0;
    // Position of the tile in the file's tile order.
    int64_t tileIndex = -1;
    vq_pff_saver* saver = nullptr;
    int64_t parkedOffset = 0;
    int32_t parkedLength = 0;
};

class vq_pff_saver : public vq_svs_saver_base {
public:
    // A chunk's key; keys order by quality, then height, then width.
    struct ChunkKey {
        int quality = 0;
        int width = 0;
        int height = 0;
        bool operator<(const ChunkKey& o) const {
            if (quality != o.quality) return quality < o.quality;
            if (height != o.height) return height < o.height;
            return width < o.width;
        }
    };
    struct HeaderChunk {
        int number = -1;
        // Per component, the quantisation table it wrote (natural order).
        std::vector<std::vector<uint16_t>> quantTables;
        std::vector<uint8_t> bytes;
    };

    explicit vq_pff_saver(vq_stream* output);
    ~vq_pff_saver() override;

    void setTileSize(int edge) override { tileSize_ = edge; }
    void beginStripImage(IntPair, int, int) override {}
    void setBaseLevel(IntPair size, int level, int quality, vq_raw_tile* sample) override;
    void addLevel(int level, IntPair size, int quality, vq_raw_tile* sample) override;
    bool addRawTile(int, int, int, vq_raw_tile*) override { return false; }
    bool addTile(int x, int y, int level, imageContainer* tile) override;
    bool addStrip(int, imageContainer*) override { return false; }
    bool addTileYCbCr(int x, int y, int level, imageContainer* yPlane, imageContainer* cbPlane,
                      imageContainer* crPlane, int subsampling) override;
    // The format has no thumbnail.
    bool setThumbnail(int, IntPair, IntPair, int) override { return true; }
    bool addRawThumbnail(vq_raw_tile*) override { return true; }
    bool finish() override;
    void abort() override;
    void setCompression(int code) override { compression_ = code; }
    void setSubsampling(int code) override { subsampling_ = code; }
    void setColourSpace(int code) override { colourSpace_ = code; }
    void setQuality(int q) override { quality_ = q; }
    int getCompression() override { return compression_; }
    void setDescription(const char* text) override { description_ = text != nullptr ? text : ""; }
    void setFullChroma(bool) override {}
    bool getFullChroma() override { return false; }
    void setScanInfo(double, double) override {}

    // The bytes of the header chunk of a key: everything of a baseline JPEG
    // stream up to and including its start-of-scan marker, with the tables
    // and sampling the tile encoder uses for the same settings. RGB chunks
    // carry an Adobe segment (no colour transform), YCbCr chunks JFIF.
    static bool buildHeaderChunk(const ChunkKey& key, int colourSpace, int subsampling, HeaderChunk& out);

    const std::map<ChunkKey, HeaderChunk>& headerChunks() const { return chunks_; }
    int workersStarted() const { return pool_.started(); }
    const std::string& temporaryPath() const { return temporaryPath_; }
    // Why the last finish failed (empty after a successful one).
    const std::string& getFailure() const { return failure_; }
    // While a caller holds it, workers encode but append nothing.
    std::mutex& writerLock() { return writerMutex_; }
    size_t queuedJobs() { return pool_.queued(); }

private:
    friend class vq_pfftile_saver;

    void addLevelChunks(int quality, IntPair grid, IntPair edge);
    void createTemporaryFile();
    void deleteTemporaryFile();
    bool writeFixedPart();
    bool writeHeaderAndRecords();
    // Fills a job's quality, chunk and tile index for a tile of w x h at
    // (x, y) of a level; false when no declared level or chunk fits.
    bool prepareJob(int x, int y, int level, int w, int h, vq_pfftile_saver& job);
    bool submit(vq_pfftile_saver& job);
    bool encodeJob(vq_jpeg_tileEncoder* encoder, vq_pfftile_saver& job);
    bool encodeNow(vq_pfftile_saver& job);
    // The work of one encoder worker: encode, then append or park.
    void workOn(vq_jpeg_tileEncoder* encoder, vq_pfftile_saver& job);
    // Appends the job's tile in its turn or parks it; false marks a failure.
    bool writeTile(vq_pfftile_saver& job);
    bool appendTile(const uint8_t* data, size_t length, int chunkNumber, int64_t index);
    void markFailed(const std::string& why);

    // Writer state, under writerMutex_.
    std::map<int64_t, vq_pfftile_saver> parked_;
    int64_t nextTileIndex_ = 0;
    bool failed_ = false;
    std::string failure_;
    vq_ptr<vq_stream> temporary_;
    std::string temporaryPath_;
    std::vector<uint8_t> header_;
    uint32_t tileCount_ = 0;
    IntPair baseSize_{0, 0};
    uint32_t chunkBlockLength_ = 0;
    int64_t tablePosition_ = 0;
    int64_t appendPosition_ = 0;
    std::vector<uint64_t> tileEnds_;

    // Declarations, base first.
    std::vector<IntPair> levelGrids_;
    std::vector<IntPair> levelEdges_;
    std::vector<int> levelQualities_;
    std::vector<int> levelNumbers_;
    std::vector<int64_t> levelFirstTile_;
    std::map<ChunkKey, HeaderChunk> chunks_;

    vq_ptr<vq_stream> output_;
    std::string description_;
    int subsampling_ = 5;
    int quality_ = 0;
    int colourSpace_ = 3;
    int tileSize_ = 512;
    int compression_ = 7;

    std::mutex writerMutex_;
    // A job queued while more than 40 wait gives the workers up to 20 ms to
    // make room and may add a worker.
    EncoderPool<vq_pfftile_saver> pool_{40, 20};
};

// A saver writing through the stream (closed with the saver's last
// reference to it), with one reference; false when it cannot be made.
bool createPffSaver(vq_stream* stream, vq_svs_saver_base** out);
