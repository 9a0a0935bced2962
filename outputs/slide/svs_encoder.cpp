// The SVS saver's encoder threads and tile jobs: tiles are compressed into
// memory outside every lock and appended to the file under the file lock.
#include <cstdio>

#include "engine/base/vq_global.h"
#include "outputs/slide/jpeg_tile_encoder.h"
#include "outputs/slide/svs_saver.h"

namespace {

// Jobs queued while more than this many wait make their producer wait for room.
constexpr size_t kQueuePressure = 30;
constexpr int kPressureWaitMs = 1000;
constexpr int kStopPollMs = 100;

} // namespace

bool vq_svs_saver::createEncoder(vq_ptr<vq_tileEncoder_base>& out) {
    if (compression_ == 7) {
        vq_jpeg_tileEncoder* e = nullptr;
        if (!createJpegTileEncoder(&e)) return false;
        out = vq_ptr<vq_tileEncoder_base>::adopt(e);
        // Tiles rely on the directory's JPEGTables.
        out->setWriteTables(false);
        return true;
    }
    // JPEG 2000 tiles need a JPEG 2000 tile encoder, which this build lacks.
    return false;
}

bool vq_svs_saver::encodeInto(vq_tileEncoder_base* encoder, vq_svstile_saver& job) {
    if (!encoder->setSourceTables(job.tableSource.get())) encoder->setQuality(job.quality);
    encoder->setSubsampling(job.subsampling);
    encoder->setColourSpace(job.colourSpace);
    encoder->setWriteTables(job.completeStream);
    vq_memoryWriteStream* out = job.encoded.get();
    bool ok = false;
    switch (job.getFormat()) {
    case vq_fmtRawTile: {
        vq_ptr<vq_raw_tile> raw;
        if (!job.holder->getRawTile(&raw) || raw == nullptr || raw->getData() == nullptr) return false;
        const int32_t length = raw->getDataLength();
        return length >= 0 && out->write(raw->getData(), static_cast<uint32_t>(length)) == length;
    }
    case vq_fmtRGB24: {
        vq_ptr<imageContainer> c;
        ok = job.getContainer(&c, vq_fmtRGB24) && encoder->encodeTile(c.get(), out);
        break;
    }
    case vq_fmtYCbCr: {
        vq_ptr<imageContainer> y, cb, cr;
        ok = job.getContainer(&y, vq_fmtPlaneY) && job.getContainer(&cb, vq_fmtPlaneCb) &&
             job.getContainer(&cr, vq_fmtPlaneCr) &&
             encoder->encodeTileYCbCr(y.get(), cb.get(), cr.get(), job.holder->getSubsampling(), out);
        break;
    }
    default: return false;
    }
    // The pixels are not needed once they are encoded.
    if (ok) job.holder.reset();
    return ok;
}

bool vq_svs_saver::encodeJob(vq_svstile_saver& job) {
    vq_ptr<vq_tileEncoder_base> encoder;
    if (!createEncoder(encoder)) return false;
    vq_memoryWriteStream* m = nullptr;
    if (vq_memoryWriteStream::create(&m) != 0) {
        std::fputs("Tile encoding failed\n", stderr);
        return false;
    }
    job.encoded = vq_ptr<vq_memoryWriteStream>::adopt(m);
    job.encoded->setGrowth(4096);
    if (!encodeInto(encoder.get(), job)) {
        std::fputs("Tile encoding failed\n", stderr);
        return false;
    }
    return writeEncodedTile(job);
}

size_t vq_svs_saver::queuedJobs() {
    std::lock_guard<std::mutex> lock(queueMutex_);
    return queue_.size();
}

void vq_svs_saver::startEncoderThread() {
    std::lock_guard<std::mutex> lock(startMutex_);
    if (threadsStarted_ >= maxEncoderThreads_) return;
    vq::platform::Thread& thread = threads_[static_cast<size_t>(threadsStarted_)];
    // A slot is reused only by a new file after the threads of the last one
    // have been joined.
    if (thread.joinable()) return;
    ++threadsRunning_;
    if (!thread.start([this] { encoderThreadMain(); })) {
        --threadsRunning_;
        return;
    }
    if (!thread.setPriority(vq::platform::ThreadPriority::AboveNormal) && !priorityReported_) {
        priorityReported_ = true;
        std::fputs("Failed to increase thread priority\n", stderr);
    }
    ++threadsStarted_;
    std::fprintf(stderr, "Creating SVS encoder thread %d\n", threadsStarted_);
}

void vq_svs_saver::queueJob(const vq_svstile_saver& job) {
    size_t waiting = 0;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        queue_.push_front(job);
        waiting = queue_.size();
    }
    queueChanged_.notify_all();
    if (waiting > kQueuePressure) {
        // Back-pressure: wait for the threads to make room (at most a
        // second), then add a thread.
        std::unique_lock<std::mutex> lock(queueMutex_);
        queueChanged_.wait_for(lock, std::chrono::milliseconds(kPressureWaitMs),
                               [&] { return queue_.size() <= kQueuePressure; });
        lock.unlock();
        startEncoderThread();
    }
}

void vq_svs_saver::encoderThreadMain() {
    vq_ptr<vq_tileEncoder_base> encoder;
    if (createEncoder(encoder)) {
        std::unique_lock<std::mutex> lock(queueMutex_);
        for (;;) {
            queueChanged_.wait(lock, [&] { return !queue_.empty(); });
            // The stop marker stays in the queue so that every thread sees it.
            if (queue_.back().isStopMarker()) break;
            vq_svstile_saver job = std::move(queue_.back());
            queue_.pop_back();
            lock.unlock();
            queueChanged_.notify_all();
            vq_memoryWriteStream* m = nullptr;
            if (vq_memoryWriteStream::create(&m) != 0) {
                std::fprintf(stderr, "Failed to create memory stream for tile %d,%d failed\n", job.position.first,
                             job.position.second);
                ++failedTiles_;
            } else {
                job.encoded = vq_ptr<vq_memoryWriteStream>::adopt(m);
                job.encoded->setGrowth(4096);
                // A tile that failed to encode is not recorded: the file
                // would point at a broken tile. The saver fails at finish.
                if (!encodeInto(encoder.get(), job)) {
                    std::fprintf(stderr, "Tile encoding of %d,%d failed\n", job.position.first, job.position.second);
                    ++failedTiles_;
                } else if (!writeEncodedTile(job)) {
                    ++failedTiles_;
                }
            }
            lock.lock();
        }
    }
    --threadsRunning_;
    queueChanged_.notify_all();
}

void vq_svs_saver::stopEncoderThreads(bool dropWaiting) {
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        vq_svstile_saver marker;
        if (dropWaiting) {
            // The marker is taken next; waiting jobs are never written.
            queue_.clear();
            queue_.push_back(marker);
        } else {
            // Behind every waiting job.
            queue_.push_front(marker);
        }
    }
    queueChanged_.notify_all();
    {
        std::unique_lock<std::mutex> lock(queueMutex_);
        while (threadsRunning_.load() > 0)
            queueChanged_.wait_for(lock, std::chrono::milliseconds(kStopPollMs));
        queue_.clear();
    }
    std::lock_guard<std::mutex> lock(startMutex_);
    for (auto& t : threads_)
        if (t.joinable()) t.join();
}
