#include "engine/tilepath/loader_threads.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "engine/pyramid/driver_threads.h"
#include "engine/base/imageContainer.h"
#include "engine/tilepath/tile_cursor.h"
#include "engine/base/loader_base.h"
#include "engine/base/tile_decoder_base.h"

namespace vqp = vq::platform;

namespace {

constexpr int32_t kMaxLoaders = 32;
vq_loaderThreadArgs loaderArgs[kMaxLoaders];

std::string formatTileError(const char* format, int32_t x, int32_t y, int32_t level)
{
    char text[128];
    std::snprintf(text, sizeof text, format, x, y, level);
    return text;
}

// Queues a record for the consumer; returns the queue length after it.
size_t queueRecord(const vq_loadedTile& record)
{
    size_t queued = 0;
    {
        vqp::ScopedLock lock(loadedTileLock);
        loadedTileList.push_front(record);
        queued = loadedTileList.size();
    }
    loadedTileEvent.set();
    return queued;
}

bool runGoesOn()
{
    return !cancelRequested && !runStopped;
}

// The pause a raw loader takes when the queue is long or back-pressure is on.
constexpr int32_t kRawPauseMs = vq_extraLoaderHold::kPauseMs;

// Holds a loader back until at most `limit` records wait and, when asked,
// backPressure is clear, or the run ends; wakes as soon as the consumer takes
// a record or the encoders catch up. `longest` bounds one wait, after which
// the loader goes on as after a pause. Returns the milliseconds waited.
int64_t waitForRoom(size_t limit, bool minding, int32_t longest)
{
    const auto start = std::chrono::steady_clock::now();
    runStateChanged.waitFor(
        [&] { return !runGoesOn() || (loadedTileCount() <= limit && !(minding && backPressure)); }, longest);
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

void loaderEnded()
{
    countThreadEnded(loadersRunning);
    // The consumer notices at once when every loader has ended early.
    loadedTileEvent.set();
}

// Decodes a raw tile into the record's tile: three planes or RGB pixels.
bool decodeInto(vq_tileDecoder_base* decoder, vq_loadedTile& record, vq_raw_tile* raw, const IntPair& position,
                int32_t level, int32_t subsampling)
{
    vq_zoom_tile_base* tile = record.tile.get();
    if (ycbcrTiles) {
        vq_ptr<imageContainer> y, cb, cr;
        if (!tile->getContainer(y, vq_fmtPlaneY) || !tile->getContainer(cb, vq_fmtPlaneCb) ||
            !tile->getContainer(cr, vq_fmtPlaneCr))
            return false;
        tile->setSubsampling(subsampling);
        return decoder->decodeTileYCbCr(position, level, raw->getData(), raw->getDataLength(), y.get(), cb.get(),
                                        cr.get());
    }
    vq_ptr<imageContainer> rgb;
    if (!tile->getContainer(rgb, vq_fmtRGB24))
        return false;
    return decoder->decodeTile(position, level, raw->getData(), raw->getDataLength(), rgb.get());
}

bool startLoader(vq_tileloader_base* loader, int32_t level, int32_t image, bool extra, void (*proc)(void*))
{
    const int32_t index = loadersStarted;
    if (index >= loaderThreadLimit || index >= kMaxLoaders)
        return false;
    vq_loaderThreadArgs& args = loaderArgs[index];
    args = vq_loaderThreadArgs();
    args.loader = loader;
    args.level = level;
    args.image = image;
    args.extraThread = extra;
    ++loadersRunning;
    if (!startRunThread(proc, &args)) {
        --loadersRunning;
        return false;
    }
    ++loadersStarted;
    return true;
}

void lowerThreadPriority()
{
    if (!vqp::setCurrentThreadPriority(vqp::ThreadPriority::BelowNormal))
        std::fputs("Failed to decrease thread priority\n", stderr);
}

// What a raw loader takes from its record under loadedTileLock at its start.
struct RawLoaderStart {
    vq_ptr<vq_tileloader_base> loader;
    vq_ptr<vq_tileDecoder_base> decoder;
    int32_t level = 0, image = 0, subsampling = 1;
    bool extra = false;

    // Raw loaders run one step below normal so that the consumer and the
    // encoders keep up with them. False (the thread is counted out) when no
    // decoder can be made.
    bool begin(void* arg)
    {
        lowerThreadPriority();
        if (take(arg))
            return true;
        loaderEnded();
        return false;
    }

    bool take(void* arg)
    {
        auto* args = static_cast<vq_loaderThreadArgs*>(arg);
        vqp::ScopedLock lock(loadedTileLock);
        loader = args->loader;
        level = args->level;
        image = args->image;
        extra = args->extraThread;
        subsampling = loader->getSubsampling(image);
        vq_tileDecoder_base* made = nullptr;
        if (!loader->createTileDecoder(&made, image) || made == nullptr)
            return false;
        decoder = vq_ptr<vq_tileDecoder_base>::adopt(made);
        return true;
    }
};

} // namespace

bool startRawLoaderThread(vq_tileloader_base* loader, int32_t level, int32_t image, bool quadMode)
{
    return startLoader(loader, level, image, loadersStarted > 1,
                       quadMode ? rawQuadLoaderThreadProc : rawTileLoaderThreadProc);
}

bool startTileLoaderThread(vq_tileloader_base* loader, int32_t level, int32_t image)
{
    return startLoader(loader, level, image, false, tileLoaderThreadProc);
}

bool loadRawTileForQuad(vq_tileloader_base* loader, int32_t level, int32_t image, vq_loadedTile& record)
{
    if (!record.createTile(ycbcrTiles))
        return false;
    vq_raw_tile* raw = nullptr;
    const bool loaded = loader->loadRawTile(record.getX(), record.getY(), level, image, &raw) && raw != nullptr;
    record.rawTile = vq_ptr<vq_raw_tile>::adopt(raw);
    return loaded;
}

void rawQuadLoaderThreadProc(void* arg)
{
    RawLoaderStart start;
    if (!start.begin(arg))
        return;
    // Time held back by a queue of more than 64 records.
    vq_extraLoaderHold held;
    while (!globalTileCursor.isDone() && runGoesOn()) {
        IntPair corners[4]; // top-left, top-right, bottom-left, bottom-right
        const int32_t mask = globalTileCursor.nextWithCorner(&corners[0], &corners[1], &corners[2], &corners[3]);
        if (mask == 0)
            break;
        const IntPair topLeft = corners[0];
        vq_loadedTile output(IntPair(topLeft.first / 2, topLeft.second / 2));
        vq_loadedTile members[4];
        static const int32_t bits[4] = {1, 2, 8, 4};
        // The members are read without loadedTileLock: the tile reader
        // guards its own file, and the consumer must not wait for a read to
        // take a record.
        bool failed = false;
        for (int32_t i = 0; i < 4 && !failed; ++i) {
            if ((mask & bits[i]) == 0)
                continue;
            members[i].position = corners[i];
            if (!loadRawTileForQuad(start.loader.get(), start.level, start.image, members[i])) {
                output.setError(formatTileError("Failed to load raw tile x:%d y:%d on layer %d\n", corners[i].first,
                                                corners[i].second, start.level));
                failed = true;
            }
        }
        if (failed) {
            queueRecord(output);
            continue;
        }
        if (output.createTile(ycbcrTiles)) {
            vq_raw_tile* merged = nullptr;
            if (start.decoder->mergeTiles(members[0].rawTile.get(), members[1].rawTile.get(),
                                          members[2].rawTile.get(), members[3].rawTile.get(), &merged) &&
                merged != nullptr) {
                auto mergedPtr = vq_ptr<vq_raw_tile>::adopt(merged);
                if (!decodeInto(start.decoder.get(), output, merged, IntPair(0, 0), 0, start.subsampling)) {
                    output.setError(formatTileError(ycbcrTiles ? "Failed to decode raw tile x:%d y:%d on layer %d\n"
                                                               : "Failed to decode raw merged tile x:%d y:%d on layer %d\n",
                                                    topLeft.first, topLeft.second, start.level));
                    output.tile.reset();
                } else if (keepRawTiles) {
                    output.rawTile = mergedPtr;
                }
            } else {
                // A group that cannot be merged is a failed tile, not an empty one.
                output.setError(formatTileError("Failed to merge raw tiles x:%d y:%d on layer %d\n", topLeft.first,
                                                topLeft.second, start.level));
                output.tile.reset();
            }
        } else {
            output.setError("Failed to create zoom tile\n");
        }
        if (cancelRequested)
            break;
        const size_t queued = queueRecord(output);
        if (queued > kQuadLoaderRoom || backPressure) {
            const int64_t waited = waitForRoom(kQuadLoaderRoom, true, kRawPauseMs);
            if (queued > kQuadLoaderRoom && start.extra && held.heldTooLong(waited))
                break;
        }
    }
    loaderEnded();
}

// True while more than `limit` records wait; signals the consumer then.
static bool queueLongerThan(size_t limit)
{
    if (loadedTileCount() <= limit)
        return false;
    loadedTileEvent.set();
    return true;
}

void rawTileLoaderThreadProc(void* arg)
{
    RawLoaderStart start;
    if (!start.begin(arg))
        return;
    vq_extraLoaderHold held;
    while (runGoesOn()) {
        if (queueLongerThan(kRawDrawRoom)) {
            waitForRoom(kRawDrawRoom, false, kRawPauseMs);
            continue;
        }
        IntPair position;
        if (globalTileCursor.nextLocked(&position) || position.first < 0 || position.second < 0)
            break;
        vq_loadedTile record;
        if (!record.prepare(position, ycbcrTiles)) {
            std::fputs("Failed to create zoom tile\n", stderr);
            break;
        }
        // Read without loadedTileLock (the tile reader guards its own file),
        // so that the consumer and the other loaders never wait for a read.
        vq_ptr<vq_raw_tile> raw;
        vq_raw_tile* loaded = nullptr;
        if (start.loader->loadRawTile(position.first, position.second, start.level, start.image, &loaded))
            raw = vq_ptr<vq_raw_tile>::adopt(loaded);
        else if (loaded != nullptr)
            loaded->release();
        if (keepRawTiles)
            record.rawTile = raw;
        if (raw == nullptr) {
            record.setError(formatTileError("Failed to load raw tile x:%d y:%d on layer %d\n", position.first,
                                            position.second, start.level));
            record.tile.reset();
        } else if (!decodeInto(start.decoder.get(), record, raw.get(), position, start.level, start.subsampling)) {
            record.setError(formatTileError("Failed to decode raw tile x:%d y:%d on layer %d\n", position.first,
                                            position.second, start.level));
            record.tile.reset();
        }
        const size_t queued = queueRecord(record);
        if (queued > kRawLoaderRoom || backPressure) {
            const int64_t waited = waitForRoom(kRawLoaderRoom, true, kRawPauseMs);
            if (start.extra && held.heldTooLong(waited))
                break;
        }
    }
    loaderEnded();
}

void tileLoaderThreadProc(void* arg)
{
    if (arg == nullptr) {
        std::fputs("Loader not passed to loader thread\n", stderr);
        return;
    }
    auto* args = static_cast<vq_loaderThreadArgs*>(arg);
    vq_ptr<vq_tileloader_base> loader;
    int32_t level = 0, image = 0, subsampling = 1;
    {
        vqp::ScopedLock lock(loadedTileLock);
        loader = args->loader;
        level = args->level;
        image = args->image;
    }
    subsampling = loader->getSubsampling(image);
    while (!globalTileCursor.isDone() && runGoesOn()) {
        IntPair position;
        if (globalTileCursor.nextLocked(&position) || globalTileCursor.getLevel() != level || position.first < 0 ||
            position.second < 0)
            break;
        vq_loadedTile record;
        if (!record.prepare(position, ycbcrTiles)) {
            record.setError("Failed to create zoom tile\n");
        } else {
            // The tile reader guards its own file access: no driver lock here.
            vq_zoom_tile_base* tile = record.tile.get();
            bool loaded = false;
            if (ycbcrTiles) {
                vq_ptr<imageContainer> y, cb, cr;
                tile->setSubsampling(subsampling);
                loaded = tile->getContainer(y, vq_fmtPlaneY) && tile->getContainer(cb, vq_fmtPlaneCb) &&
                         tile->getContainer(cr, vq_fmtPlaneCr) &&
                         loader->loadTileYCbCr(position.first, position.second, level, image, y.get(), cb.get(),
                                               cr.get());
            } else {
                vq_ptr<imageContainer> rgb;
                loaded = tile->getContainer(rgb, vq_fmtRGB24) &&
                         loader->loadTile(position.first, position.second, level, image, rgb.get(), vq_fmtRGB24);
            }
            if (!loaded) {
                record.setError(formatTileError("Failed to load raw tile x:%d y:%d on layer %d\n", position.first,
                                                position.second, level));
                record.tile.reset();
            }
        }
        const size_t queued = queueRecord(record);
        if (queued > kTileLoaderRoom || backPressure)
            waitForRoom(kTileLoaderRoom, true, 500);
    }
    loaderEnded();
}
