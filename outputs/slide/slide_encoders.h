// What the SVS and SCN savers share: tile jobs, the queue of jobs waiting for
// an encoder thread, the threads themselves and the tile write. Tiles are
// compressed into memory outside every lock and appended to the file under
// the saver's file lock; each saver decides which encoder its tiles get.
#pragma once

#include <atomic>

#include "engine/base/stream.h"
#include "engine/pyramid/tile_saver.h"
#include "j2k/tile_encoder_base.h"
#include "outputs/slide/encoder_pool.h"
#include "outputs/slide/svs_ifd_write.h"
#include "outputs/slide/svs_saver_base.h"
#include "platform/threads.h"

// One tile on its way into a slide file.
class vq_svstile_saver : public vq_tile_saver {
public:
    vq_ptr<vq_memoryWriteStream> encoded;
    IntPair position{0, 0};
    vq_svs_ifdDir* directory = nullptr;
    vq_svs_stream* fileStream = nullptr;
    vq_ptr<vq_raw_tile> tableSource;
    // The tile is written as a complete JPEG stream with its own tables
    // (instead of relying on the directory's JPEGTables).
    bool completeStream = false;
};

// A new container of that format and size, cleared to zeros; none on failure.
vq_ptr<imageContainer> newClearedContainer(int format, int w, int h);
// Copies the top-left part of src that fits into dst (1 or 3 channels).
bool copyTopLeft(imageContainer* src, imageContainer* dst, int channels);
// Copies RGB24 tile (x, y) of a grid of tileSize tiles into `image`, which is
// created cleared at `size` on the first call; clipped to the image.
bool placeTileInImage(vq_ptr<imageContainer>& image, IntPair size, int x, int y, int tileSize, imageContainer* tile);
// An RGB24 container of a decoded raw JPEG tile; none when it does not decode.
vq_ptr<imageContainer> decodeRawJpeg(vq_raw_tile* tile);

class vq_slide_encoding_saver : public vq_svs_saver_base {
public:
    // Encoder threads started for the current file.
    int threadsStarted() const { return pool_.started(); }
    // Jobs waiting for an encoder thread.
    size_t queuedJobs() { return pool_.queued(); }
    // The lock that serialises every write to the file; while a caller holds
    // it, encoder threads finish encoding but write nothing.
    vq::platform::CriticalSection& fileLock() { return fileLock_; }

protected:
    // Reads the engine's encoder thread settings.
    vq_slide_encoding_saver();
    // Derived savers stop the threads in their own destructor, before the
    // encoder factory they provide is gone.
    ~vq_slide_encoding_saver() override;

    // A new encoder for this saver's tiles; false when there is none.
    virtual bool createEncoder(vq_ptr<vq_tileEncoder_base>& out) = 0;

    // The job's pixels at the full tile size: an RGB24 tile, or three planes
    // converted from `subsampling` to the coarser of it and `fileSubsampling`.
    bool setPaddedContainer(vq_svstile_saver& job, imageContainer* tile, int tileSize);
    bool setPaddedPlanes(vq_svstile_saver& job, imageContainer* yPlane, imageContainer* cbPlane,
                         imageContainer* crPlane, int subsampling, int fileSubsampling, int tileSize);
    // Queues the job for the encoder threads (true), or encodes and writes
    // it at once when no thread is allowed.
    bool submit(vq_svstile_saver& job);
    bool encodeJob(vq_svstile_saver& job);
    bool writeEncodedTile(vq_svstile_saver& job);
    void startEncoderThread() { pool_.startThread(); }
    // Ends every encoder thread: with `dropWaiting` the waiting jobs are
    // discarded, otherwise the threads finish them first.
    void stopEncoderThreads(bool dropWaiting) { pool_.stop(dropWaiting); }
    void resetThreadsStarted() { pool_.resetStarted(); }
    // Tiles that could not be encoded or written since the saver was made.
    int failedTiles() const { return failedTiles_.load(); }

    vq::platform::CriticalSection fileLock_{2000};

private:
    bool encodeInto(vq_tileEncoder_base* encoder, vq_svstile_saver& job);
    // The work of one encoder thread on one job.
    void workOn(vq_tileEncoder_base* encoder, vq_svstile_saver& job);

    // Jobs queued while more than 30 wait make their producer wait for room
    // (at most a second) and may add a thread.
    EncoderPool<vq_svstile_saver> pool_{30, 1000, "Creating SVS encoder thread %d\n"};
    std::atomic<int> failedTiles_{0};
};
