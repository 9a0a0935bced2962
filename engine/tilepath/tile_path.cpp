// The tile path of the pyramid driver: a tiled source read tile by tile, on
// loader threads or on the calling thread, with raw pass-through of source
// tiles that the output can take still compressed.
#include <cstdio>
#include <ctime>

#include "engine/pyramid/driver_threads.h"
#include "engine/pyramid/kestrifier.h"
#include "engine/tilepath/loaded_tile.h"
#include "engine/tilepath/loader_threads.h"
#include "engine/tilepath/tile_cursor.h"
#include "engine/base/vq_global.h"
#include "engine/base/loader_base.h"
#include "engine/base/tile_decoder_base.h"
#include "engine/tilepath/zoomloader.h"

namespace {

int32_t capThreads(int32_t count)
{
    return count < 0 ? 0 : count > 32 ? 32 : count;
}

vq_ptr<vq_tileDecoder_base> makeTileDecoder(vq_tileloader_base* loader, int32_t image)
{
    vq_tileDecoder_base* decoder = nullptr;
    if (!loader->createTileDecoder(&decoder, image))
        decoder = nullptr;
    return vq_ptr<vq_tileDecoder_base>::adopt(decoder);
}

vq_ptr<vq_raw_tile> loadRaw(vq_tileloader_base* loader, int32_t x, int32_t y, int32_t level, int32_t image)
{
    vq_raw_tile* raw = nullptr;
    const bool loaded = loader->loadRawTile(x, y, level, image, &raw);
    auto held = vq_ptr<vq_raw_tile>::adopt(raw);
    return loaded ? held : vq_ptr<vq_raw_tile>();
}

} // namespace

bool vq_kestrifier::checkGoogleTileSize(vq_zoom_layer* first)
{
    const int32_t width = first != nullptr ? first->getTileSize().first : 0;
    for (int32_t size = 64; size <= 2048; size *= 2)
        if (width == size)
            return true;
    log(0, "Unable to output for Google as tile size is not a power of 2\n");
    return false;
}

bool vq_kestrifier::tileLoop(vq_tileloader_base* loader, int32_t level, int32_t image, const IntPair& grid,
                             int32_t total, bool passRawJPEG, int32_t* done)
{
    vq_tileCursor cursor;
    cursor.reset(grid, level);
    const int32_t baseLevel = baseLayer->getLevel();
    char text[128];
    for (;;) {
        IntPair position;
        if (cursor.nextLocked(&position) || cancelRequested)
            return true;
        if (position.first < 0 || position.second < 0)
            return false;
        ++*done;
        if (logSink != nullptr) {
            logSink->setProgress(total > 0 ? *done * 100 / total : 100);
            logSink->stepProgress(*done, level);
        }
        bool loaded = false, added = false;
        if (rawLayer != nullptr) {
            // Raw tiles that are not square go through the raw level, which
            // reshapes them before they reach the base level.
            vq_ptr<vq_raw_tile> raw = loadRaw(loader, position.first, position.second, level, image);
            loaded = raw != nullptr;
            added = loaded && rawLayer->addRawTile(position.first, position.second, raw.get());
        } else {
            vq_ptr<vq_zoom_tile_base> tile;
            createZoomTile(&tile);
            vq_ptr<imageContainer> pixels;
            if (tile != nullptr) {
                tile->setKey(vq_tileKey(position.first, position.second, baseLevel));
                loaded = tile->getContainer(pixels, vq_fmtRGB24) &&
                         loader->loadTile(position.first, position.second, level, image, pixels.get(), vq_fmtRGB24);
            }
            if (loaded) {
                vq_ptr<vq_raw_tile> raw;
                if (passRawJPEG)
                    raw = loadRaw(loader, position.first, position.second, level, image);
                added = baseLayer->addTile(tile.get(), raw.get());
            }
        }
        if (loaded && added)
            continue;
        // The run stops here: the output is abandoned, never finished.
        if (!loaded)
            std::fputs("Failed to load tile\n", stderr);
        if (loaded && cancelRequested) {
            log(0, "Processing cancelled\n");
        } else {
            log(0, "Processing failed, aborting\n");
            std::snprintf(text, sizeof text,
                          loaded ? "Failed to add tile x:%d y:%d from layer %d\n"
                                 : "Failed to load tile x:%d y:%d on layer %d\n",
                          position.first, position.second, level);
            output->addError(text);
        }
        abortOutput();
        return false;
    }
}

bool vq_kestrifier::kestrixTiles(vq_tileloader_base* loader, int32_t level, int32_t image, const char* path,
                                 const char* extension)
{
    cancelRequested = false;
    outputAborted = false;
    if (loader == nullptr || path == nullptr) {
        log(1, "Bad parameters to kestrix\n");
        return false;
    }
    vq_ptr<vq_tileloader_base> loaderRef(loader);
    bool ycbcr = loader->isRawYCbCr(image);
    if (tilePixelFormat == 4)
        ycbcr = false;

    releaseLayers();
    createZoomLayer(&baseLayer);
    if (baseLayer == nullptr)
        return false;
    const IntPair tileSize = loader->getTileSize(image);
    const IntPair levelSize = loader->getLevelSize(level, image);
    if (preferredTileSize != 0) {
        baseLayer->setMinTileSize(IntPair(preferredTileSize, preferredTileSize));
        baseLayer->setMaxTileSize(IntPair(preferredTileSize, preferredTileSize));
    } else {
        baseLayer->setMinTileSize(IntPair(240, 240));
        baseLayer->setMaxTileSize(IntPair(512, 512));
    }
    baseLayer->setTileSize(tileSize);
    baseLayer->setImageSize(levelSize);

    // Whether raw tiles can pass depends on the output of this run, so it
    // exists before the decision, and the decision is complete before any
    // level is shaped by it.
    if (!createOutput())
        return false;
    const bool square = tileSize.first == tileSize.second;
    const bool sourceHasRaw = loader->hasRawTiles(image) && loader->isRawCodecSupported(image);
    bool passRaw = sourceHasRaw && !(multiImageMode && !square);
    const int32_t compression = loader->getCompression(image);
    const int32_t option = output->getOutputOption();
    if (compression == 7 && (!loader->isRawYCbCr(image) || option == 2))
        passRaw = false;
    if (compression == 33003 && (option == 1 || option == 0))
        passRaw = false;
    if (!output->acceptsRawTiles())
        passRaw = false;
    bool passRawJPEG = passRaw && loader->isJPEG(image);
    vq_ptr<vq_raw_tile> firstRaw;
    if (passRawJPEG) {
        firstRaw = loadRaw(loader, 0, 0, 0, image);
        passRawJPEG = firstRaw != nullptr;
    }

    if (!baseLayer->updateGeometry()) {
        // Raw tiles that are not square can be reshaped for the base level,
        // but only when they will really flow as raw tiles.
        if (passRawJPEG && !square && tileSize.first % 16 == 0 && tileSize.second % 16 == 0 &&
            loader->isRawYCbCr(image)) {
            vq_ptr<vq_tileDecoder_base> decoder = makeTileDecoder(loader, image);
            createRawZoomLayer(&rawLayer);
            bool built = false;
            if (rawLayer != nullptr && decoder != nullptr) {
                rawLayer->setTileDecoder(decoder.get());
                rawLayer->setImageSize(levelSize);
                rawLayer->setSourceTileSize(tileSize);
                rawLayer->setTargetTileSize(IntPair(256, 256));
                if (rawLayer->createPyramid()) {
                    rawLayer->setPixelLevel(baseLayer.get());
                    baseLayer->setTileSize(rawLayer->getLastTileSize());
                    built = baseLayer->updateGeometry();
                }
            }
            if (!built && rawLayer != nullptr) {
                rawLayer->releaseChain();
                rawLayer.reset();
            }
        }
        if (rawLayer == nullptr) {
            releaseLayers();
            vq_ptr<vq_stripLoader_base> strips;
            if (!createZoomLoader(loader, strips.put()) || strips == nullptr) {
                log(1, "Unable to kestrix this file\n");
                return false;
            }
            return kestrixStrips(strips.get(), path, extension);
        }
    }

    if (!baseLayer->createPyramid(false)) {
        log(1, "Failed to create pyramid\n");
        return false;
    }
    const int32_t n = baseLayer->getLevel();
    const int32_t step = n > 0 ? (maxQuality - quality) / n : 0;
    baseLayer->setQuality(quality, step);
    baseLayer->setResampling(resampling);
    baseLayer->setStrictRawSize(strictRawSize);
    baseLayer->setCropEdgeTiles(cropEdgeTiles);

    if (passRawJPEG) {
        output->setQuality(quality, firstRaw.get());
        log(1, "Using raw JPEG tiles for base layer\n");
    }
    if (!output->acceptsYCbCrTiles())
        ycbcr = false;
    if (passRawJPEG) {
        vq_ptr<vq_tileDecoder_base> decoder = makeTileDecoder(loader, image);
        baseLayer->setTileDecoder(decoder.get());
    }

    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    const bool multiThreaded = global->isMultiThreaded();
    const int32_t loaderCount = capThreads(global->getLoaderThreadCount());
    output->setThreadedSave(multiThreaded);
    output->setOutputPath(path, extension != nullptr ? extension : "");

    // Quad mode: loader threads merge 2 x 2 small raw source tiles into one
    // tile of the next level, which becomes the base level.
    const bool quadMode = rawLayer == nullptr && baseLayer->isSquareBelowMin() && passRawJPEG && loaderCount != 0 &&
                          baseLayer->getNextLayer() != nullptr;
    if (quadMode)
        baseLayer = vq_ptr<vq_zoom_layer>(baseLayer->getNextLayer());

    vq_zoom_layer* first = baseLayer.get();
    while (first != nullptr && first->isRetiling())
        first = first->getNextLayer();
    if (outputOption == 4 && !checkGoogleTileSize(first))
        return false;
    output->setBaseLayer(first);
    for (vq_zoom_layer* l = baseLayer.get(); l != nullptr; l = l->getNextLayer())
        l->setOutput(output.get());

    const IntPair grid = loader->getLevelTileCounts(level, image);
    logf(2, "Starting pyramid %d x %d tiles\n", grid.first, grid.second);
    int32_t total = grid.first * grid.second;
    if (quadMode)
        total = baseLayer->getTileCount().first * baseLayer->getTileCount().second;

    const time_t start = std::time(nullptr);
    initThreadGlobals();
    loaderThreadLimit = loaderCount;
    const int32_t encoders = capThreads(global->getEncoderThreadCount());
    // A multi-threaded run always gets one encoder: the output queues its
    // tiles for the encoder threads, and nobody else would write them.
    encoderThreadLimit = multiThreaded && encoders < 1 ? 1 : encoders;
    keepRawTiles = passRawJPEG;
    ycbcrTiles = ycbcr;
    if (multiThreaded)
        startEncoderThread();

    int32_t done = 0;
    bool failed = false;
    if (loaderCount != 0) {
        globalTileCursor.reset(grid, level);
        const bool rawLoaders = passRawJPEG || rawLayer != nullptr || sourceHasRaw;
        int32_t started = 0;
        for (int32_t i = 0; i < loaderCount; ++i)
            started += rawLoaders ? startRawLoaderThread(loader, level, image, quadMode)
                                  : startTileLoaderThread(loader, level, image);
        if (rawLoaders) {
            if (started == 1)
                log(1, "Using 1 raw loader thread\n");
            else
                logf(1, "Using %d raw loader threads\n", started);
        }
        done = consumeLoadedTiles(total, level);
        failed = consumerStopped;
    } else {
        failed = !tileLoop(loader, level, image, grid, total, passRawJPEG, &done);
        if (!failed && !cancelRequested) {
            if (rawLayer != nullptr)
                rawLayer->flushQuads();
            baseLayer->flushQuads();
        }
    }
    // The consumer has stopped: loaders must not wait for room any more.
    stopRun();
    globalTileCursor.finish();
    if (multiThreaded)
        runStopProtocol(true);
    releaseThreadGlobals();
    reportEncoderFailures(output.get());

    // A cancelled or broken run abandons the output instead of finishing a
    // pyramid with missing tiles.
    if (cancelRequested || failed) {
        abortOutput();
    } else {
        if (!output->hasFailed()) {
            for (int32_t extra = -2; extra >= -3; --extra) {
                vq_ptr<vq_raw_tile> raw = loadRaw(loader, 0, 0, extra, image);
                vq_ptr<vq_zoom_tile_base> tile;
                createZoomTile(&tile);
                if (raw == nullptr || tile == nullptr)
                    continue;
                tile->setKey(vq_tileKey(0, 0, extra));
                output->saveRawTile(tile.get(), raw.get());
            }
        }
        output->finish();
    }

    bool result = true;
    if (reportOutputFailure()) {
        result = false;
    } else if (cancelRequested) {
        log(1, "Processing cancelled\n");
    } else if (failed) {
        result = false;
    } else {
        const double minutes = std::difftime(std::time(nullptr), start) / 60.0;
        if (logSink == nullptr)
            std::printf("\n%d tiles processed in %4.1f minutes\n", done, minutes);
        else if (level != 0)
            logf(1, minutes < 1.0 ? "Layer %d:%d tiles processed in %4.2f minutes\n"
                                  : "Layer %d:%d tiles processed in %4.1f minutes\n",
                 level, done, minutes);
        else
            logf(1, minutes < 1.0 ? "%d tiles processed in %4.2f minutes\n" : "%d tiles processed in %4.1f minutes\n",
                 done, minutes);
    }
    releaseLayers();
    return result;
}
