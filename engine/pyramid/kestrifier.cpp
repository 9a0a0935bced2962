#include "engine/pyramid/kestrifier.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "engine/pyramid/driver_threads.h"
#include "engine/tilepath/loaded_tile.h"
#include "engine/pyramid/output_factory.h"
#include "engine/tilepath/tile_cursor.h"
#include "engine/base/vq_global.h"
#include "primitives/core/copy.h"
#include "engine/base/loader_base.h"

namespace vqp = vq::platform;

vq_kestrifier* vq_kestrifier::create()
{
    auto* k = new vq_kestrifier();
    k->addRef();
    return k;
}

void createKestrifier(vq_ptr<vq_kestrifier_base>* out)
{
    if (out != nullptr)
        *out = vq_ptr<vq_kestrifier_base>::adopt(vq_kestrifier::create());
}

vq_kestrifier::vq_kestrifier()
{
    cancelRequested = false;
}

vq_kestrifier::~vq_kestrifier()
{
    releaseLayers();
    sampleRawTile.reset();
    output.reset();
    baseLayer.reset();
    logSink.reset();
    fileInfo.reset();
}

void vq_kestrifier::releaseLayers()
{
    if (baseLayer != nullptr)
        baseLayer->releaseChain();
    baseLayer.reset();
    if (rawLayer != nullptr)
        rawLayer->releaseChain();
    rawLayer.reset();
}

// ---- settings --------------------------------------------------------------------

bool vq_kestrifier::setSampleRawTile(vq_raw_tile* tile)
{
    if (tile == nullptr || sampleRawTile != nullptr)
        return false;
    vq_ptr<vq_raw_tile> copy;
    if (!tile->clone(copy))
        return false;
    sampleRawTile = copy;
    sampleRawTileFlag = 1;
    return true;
}

bool vq_kestrifier::getSampleRawTile(vq_ptr<vq_raw_tile>* out)
{
    if (sampleRawTile == nullptr || out == nullptr)
        return false;
    *out = sampleRawTile;
    return true;
}

void vq_kestrifier::setFileInfo(vq_FileInfo* info)
{
    fileInfo = info;
}

void vq_kestrifier::setStrictRawSize(bool strict)
{
    strictRawSize = strict;
    if (baseLayer != nullptr)
        baseLayer->setStrictRawSize(strict);
}

void vq_kestrifier::setLogOutput(vq_logoutput_base* sink)
{
    logSink = sink;
}

void vq_kestrifier::setOutput(vq_zoomoutput_base* out)
{
    outputOption = 3;
    output = out;
}

void vq_kestrifier::cancel()
{
    cancelRequested = true;
    wakeWaitingThreads();
}

bool vq_kestrifier::isCancelled()
{
    return cancelRequested;
}

void vq_kestrifier::log(int32_t level, const char* text)
{
    if (logSink != nullptr)
        logSink->log(level, text);
}

void vq_kestrifier::logf(int32_t level, const char* format, ...)
{
    if (logSink == nullptr)
        return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    logSink->log(level, text);
}

bool vq_kestrifier::reportOutputFailure()
{
    if (!output->hasFailed())
        return false;
    log(1, "Processing failed!\n");
    const std::string errors = output->getErrors();
    if (!errors.empty())
        log(1, (errors + "\n").c_str());
    return true;
}

void vq_kestrifier::abortOutput()
{
    if (!outputAborted && output != nullptr)
        output->abort();
    outputAborted = true;
}

void vq_kestrifier::addRunError(const char* text)
{
    if (output != nullptr)
        output->addError(text);
    else
        pendingErrors.emplace_back(text);
}

// ---- output switch ------------------------------------------------------------------

bool vq_kestrifier::createOutput()
{
    if (outputOption < 0 || outputOption > 7) {
        logf(1, "Unsupported output option %d\n", outputOption);
        return false;
    }
    if (outputOption == 3) {
        if (output == nullptr) {
            std::fputs("No output set for output option 3\n", stderr);
            log(0, "No output set for output option 3\n");
            return false;
        }
        const int32_t option = output->getOutputOption();
        if (option == 2 || option == 1 || option == 5)
            cropEdgeTiles = false;
    } else {
        vq_ptr<vq_zoomoutput_base> created;
        vq_outputFactory factory = getOutputFactory(outputOption);
        if (factory != nullptr)
            factory(created.put());
        if (created == nullptr) {
            char text[96];
            std::snprintf(text, sizeof text, "Unable to create output for option %d\n", outputOption);
            std::fputs(text, stderr);
            log(0, text);
            return false;
        }
        output = created;
        switch (outputOption) {
        case 1:
            output->setCompression(7);
            cropEdgeTiles = false;
            break;
        case 2:
            output->setCompression(33003);
            cropEdgeTiles = false;
            break;
        case 4:
            if (baseLayer != nullptr)
                baseLayer->setMinTileSize(IntPair(256, 256));
            break;
        case 5:
            output->setCompression(7);
            cropEdgeTiles = false;
            break;
        case 6:
            cropEdgeTiles = false;
            break;
        default:
            break;
        }
    }
    output->setJ2KFullChroma(j2kFullChroma);
    for (const std::string& text : pendingErrors)
        output->addError(text);
    pendingErrors.clear();
    return true;
}

// ---- strip splitting ------------------------------------------------------------------

void vq_kestrifier::splitStripRGB(std::vector<vq_ptr<vq_zoom_tile_base>>& tiles, vq_tileKey key,
                                  imageContainer* strip, const IntPair& imageSize, int32_t T)
{
    uint8_t* data = nullptr;
    int32_t step = 0;
    strip->lockPixels(&data, &step);
    const int32_t stripHeight = strip->getHeight();
    const int32_t channels = strip->getChannels();
    tiles.reserve(tiles.size() + static_cast<size_t>((imageSize.first + T - 1) / T));
    const uint8_t* src = data;
    for (int32_t c = 0, x = 0; x < imageSize.first && !cancelRequested; ++c, x += T, src += channels * T) {
        const int32_t w = x + T <= imageSize.first ? T : imageSize.first - x;
        vq_ptr<vq_zoom_tile_base> tile;
        createZoomTile(&tile);
        if (tile == nullptr)
            continue;
        key.x = c;
        tile->setKey(key);
        vq_ptr<imageContainer> tc;
        // The copy below writes every pixel of the tile.
        if (!tile->getContainer(tc, vq_fmtRGB24) || !tc->createUncleared(vq_fmtRGB24, w, stripHeight, true))
            continue;
        uint8_t* dst = nullptr;
        int32_t dstStep = 0;
        tc->lockPixels(&dst, &dstStep);
        copyRoi8uC3(src, step, dst, dstStep, PrimSize{w, stripHeight});
        tc->unlockPixels();
        tiles.push_back(tile);
    }
    strip->unlockPixels();
}

bool copyStripPlane(imageContainer* plane, int32_t format, const IntPair& fullSize, const IntPair& visible,
                    const uint8_t* src, int32_t srcStep)
{
    // Planes of the last column or row keep their full size; halving and
    // encoding read that edge beyond the visible part, so it is zeroed. The
    // visible part is copied over, so it is not cleared first.
    if (plane == nullptr || !plane->createUncleared(format, fullSize.first, fullSize.second, false))
        return false;
    if (visible != fullSize) {
        const PrimRect copied{0, 0, visible.first, visible.second};
        plane->fillOutside(&copied, 1, 0);
    }
    uint8_t* dst = nullptr;
    int32_t dstStep = 0;
    plane->lockPixels(&dst, &dstStep);
    copyRoi8uC1(src, srcStep, dst, dstStep, PrimSize{visible.first, visible.second});
    plane->unlockPixels();
    return plane->crop(visible.first, visible.second);
}

void vq_kestrifier::splitStripYCbCr(std::vector<vq_ptr<vq_zoom_tile_base>>& tiles, vq_tileKey key,
                                    int32_t subsampling, imageContainer* y, imageContainer* cb, imageContainer* cr,
                                    const IntPair& lumaTile, const IntPair& chromaTile)
{
    uint8_t *yData = nullptr, *cbData = nullptr, *crData = nullptr;
    int32_t yStep = 0, cbStep = 0, crStep = 0;
    y->lockPixels(&yData, &yStep);
    cb->lockPixels(&cbData, &cbStep);
    cr->lockPixels(&crData, &crStep);
    const int32_t lw = y->getWidth(), lh = y->getHeight();
    const int32_t cw = cb->getWidth(), chh = cb->getHeight();
    tiles.reserve(tiles.size() + static_cast<size_t>((lw + lumaTile.first - 1) / lumaTile.first));
    for (int32_t c = 0, x = 0, cx = 0; x < lw && !cancelRequested; ++c, x += lumaTile.first, cx += chromaTile.first) {
        vq_ptr<vq_zoom_tile_base> tile;
        createZoomTileYCbCr(&tile);
        if (tile == nullptr)
            continue;
        tile->setSubsampling(subsampling);
        key.x = c;
        tile->setKey(key);
        vq_ptr<imageContainer> planes[3];
        for (int32_t i = 0; i < 3; ++i)
            tile->getContainer(planes[i], vq_fmtPlaneY + i);
        const IntPair lumaVisible(remainingExtent(lumaTile.first, x, lw), lh);
        const IntPair chromaVisible(remainingExtent(chromaTile.first, cx, cw), chh);
        copyStripPlane(planes[0].get(), vq_fmtPlaneY, lumaTile, lumaVisible, yData + x, yStep);
        copyStripPlane(planes[1].get(), vq_fmtPlaneCb, chromaTile, chromaVisible, cbData + cx, cbStep);
        copyStripPlane(planes[2].get(), vq_fmtPlaneCr, chromaTile, chromaVisible, crData + cx, crStep);
        tiles.push_back(tile);
    }
    cr->unlockPixels();
    cb->unlockPixels();
    y->unlockPixels();
}

// ---- strip path ---------------------------------------------------------------------------

namespace {

struct StripReaderArgs {
    int32_t pixelFormat = 3;
    int32_t level = 0;
    vq_stripLoader_base* loader = nullptr;
    int32_t tileSize = 256;
    vq_kestrifier* driver = nullptr;
};

std::atomic<int32_t> stripReadersRunning{0};

vq_ptr<imageContainer> newContainer()
{
    return vq_ptr<imageContainer>::adopt(imageContainer::create());
}

// Queues the error record of a failed strip reader.
void queueStripError()
{
    vq_loadedTile record;
    record.setError("Error in strip loader");
    {
        vqp::ScopedLock lock(loadedTileLock);
        loadedTileList.push_front(record);
    }
    loadedTileEvent.set();
}

bool stripReaderGoesOn()
{
    return !cancelRequested && !runStopped;
}

// Hands one strip's tiles to the consumer, then waits while more than 240
// records wait and then while the encoders or the consumer are behind, unless
// the run has stopped. Each wait ends as soon as the consumer takes records
// or back-pressure clears; 100 ms bounds one look.
void queueStripTiles(const std::vector<vq_ptr<vq_zoom_tile_base>>& tiles)
{
    size_t queued = 0;
    {
        vqp::ScopedLock lock(loadedTileLock);
        for (const auto& tile : tiles) {
            vq_loadedTile record(IntPair(tile->getX(), tile->getY()));
            record.tile = tile;
            loadedTileList.push_front(record);
        }
        queued = loadedTileList.size();
    }
    loadedTileEvent.set();
    while (queued > kStripReaderRoom && stripReaderGoesOn()) {
        runStateChanged.waitFor([] { return !stripReaderGoesOn() || loadedTileCount() <= kStripReaderRoom; }, 100);
        vqp::ScopedLock lock(loadedTileLock);
        queued = loadedTileList.size();
        loadedTileEvent.set();
    }
    while (backPressure && stripReaderGoesOn())
        runStateChanged.waitFor([] { return !stripReaderGoesOn() || !backPressure; }, 100);
}

void stripReaderThreadProc(void* arg)
{
    auto* args = static_cast<StripReaderArgs*>(arg);
    vq_ptr<vq_stripLoader_base> loader(args->loader);
    const int32_t T = args->tileSize;
    const IntPair imageSize = loader->getImageSize();
    const int32_t rows = (imageSize.second + T - 1) / T;
    int32_t firstRow = 0;
    bool ok = true;
    if (loader->supportsYCbCr() && ycbcrTiles) {
        ok = loader->prepareStripsYCbCr(T);
        const int32_t ss = loader->getSubsampling();
        const IntPair chroma = chromaPlaneSize(IntPair(T, T), ss);
        for (int32_t i = 0; ok && i < rows && !cancelRequested && !runStopped; ++i) {
            vq_ptr<imageContainer> y = newContainer(), cb = newContainer(), cr = newContainer();
            ok = loader->readNextStripYCbCr(&firstRow, y.get(), cb.get(), cr.get());
            if (!ok)
                break;
            std::vector<vq_ptr<vq_zoom_tile_base>> tiles;
            args->driver->splitStripYCbCr(tiles, vq_tileKey(0, i, args->level), ss, y.get(), cb.get(), cr.get(),
                                          IntPair(T, T), chroma);
            queueStripTiles(tiles);
        }
    } else {
        ok = loader->prepareStrips(T, vq_fmtRGB24);
        for (int32_t i = 0; ok && i < rows && !cancelRequested && !runStopped; ++i) {
            vq_ptr<imageContainer> strip = newContainer();
            ok = loader->readNextStrip(&firstRow, strip.get());
            if (!ok)
                break;
            std::vector<vq_ptr<vq_zoom_tile_base>> tiles;
            args->driver->splitStripRGB(tiles, vq_tileKey(0, i, args->level), strip.get(), imageSize, T);
            queueStripTiles(tiles);
        }
    }
    if (!ok)
        queueStripError();
    --stripReadersRunning;
    countThreadEnded(encodersRunning);
    loadedTileEvent.set();
}

} // namespace

vq_loadedTileQueue loadedTileList;

vq_loadedTile takeLoadedTile()
{
    vq_loadedTile record = loadedTileList.back();
    loadedTileList.pop_back();
    const size_t remaining = loadedTileList.size();
    const bool pressing = remaining > kConsumerPressure;
    setBackPressure(pressing);
    // One record less matters to a waiting producer only when the queue
    // reaches a limit it may go on at; every wake-up is paid for on the
    // consumer's thread.
    if (isQueueRoomLimit(remaining, pressing))
        runStateChanged.notifyAll();
    return record;
}

bool vq_loadedTile::createTile(bool ycbcr)
{
    tile.reset();
    if (ycbcr)
        createZoomTileYCbCr(&tile);
    else
        createZoomTile(&tile);
    return tile != nullptr;
}

int32_t vq_kestrifier::consumeLoadedTiles(int32_t total, int32_t level)
{
    // The consumer builds every level on its own and so paces the run. At
    // the encoders' priority, the encoder it wakes for each finished tile no
    // longer takes its processor from it; the loaders stay below both.
    const vqp::ScopedThreadPriority pace(vqp::ThreadPriority::AboveNormal);
    const int32_t baseLevel = baseLayer->getLevel();
    int32_t remaining = total, taken = 0, errors = 0;
    bool stopped = false;
    while (remaining != 0 && !cancelRequested && !stopped) {
        // Wake now and then to see whether every producer has ended early.
        loadedTileEvent.wait(100);
        loadedTileLock.enter();
        if (loadedTileList.empty() && stripReadersRunning == 0 && loadersRunning == 0) {
            loadedTileLock.leave();
            addRunError("Source ended before every tile was read\n");
            stopped = true;
            break;
        }
        while (!loadedTileList.empty() && !cancelRequested) {
            if (errors > 100) {
                log(0, "More than 100 errors, stopping\n");
                output->addError("Too many errors - stopping\n");
                stopped = true;
                globalTileCursor.finish();
                break;
            }
            vq_loadedTile record = takeLoadedTile();
            if (record.tile == nullptr) {
                if (multiImageMode) {
                    log(0, record.getError());
                    ++errors;
                } else {
                    if (cancelRequested)
                        abortOutput();
                    else
                        output->addError(record.getError());
                    stopped = true;
                    remaining = 0;
                    globalTileCursor.finish();
                    break;
                }
            }
            loadedTileLock.leave();
            --remaining;
            ++taken;
            if (logSink != nullptr) {
                logSink->setProgress(total > 0 ? taken * 100 / total : 100);
                logSink->stepProgress(taken, level);
            }
            if (record.tile != nullptr) {
                record.tile->setKey(vq_tileKey(record.getX(), record.getY(), baseLevel));
                const bool added = rawLayer != nullptr
                                       ? rawLayer->addRawTile(record.getX(), record.getY(), record.rawTile.get())
                                       : baseLayer->addTile(record.tile.get(), record.rawTile.get());
                if (!added) {
                    char text[128];
                    std::snprintf(text, sizeof text, "Failed to add tile x:%d y:%d from layer %d\n", record.getX(),
                                  record.getY(), level);
                    if (multiImageMode) {
                        log(0, text);
                        ++errors;
                    } else {
                        if (cancelRequested)
                            abortOutput();
                        else
                            output->addError(text);
                        stopped = true;
                        remaining = 0;
                        globalTileCursor.finish();
                        loadedTileLock.enter();
                        break;
                    }
                }
            }
            loadedTileLock.enter();
        }
        loadedTileLock.leave();
    }
    stopRun();
    consumerStopped = stopped;
    if (!cancelRequested && !stopped) {
        if (rawLayer != nullptr)
            rawLayer->flushQuads();
        baseLayer->flushQuads();
    } else {
        setBackPressure(false);
    }
    return taken;
}

bool vq_kestrifier::stripLoop(vq_stripLoader_base* loader, bool ycbcr, int32_t T, int32_t rows,
                              const IntPair& imageSize)
{
    int32_t firstRow = 0;
    const int32_t level = baseLayer->getLevel();
    const int32_t ss = loader->getSubsampling();
    const IntPair chroma = chromaPlaneSize(IntPair(T, T), ss);
    for (int32_t i = 0; i < rows && !cancelRequested; ++i) {
        if (logSink != nullptr)
            logSink->setProgress(i * 100 / rows);
        std::vector<vq_ptr<vq_zoom_tile_base>> tiles;
        if (ycbcr) {
            vq_ptr<imageContainer> y = newContainer(), cb = newContainer(), cr = newContainer();
            if (!loader->readNextStripYCbCr(&firstRow, y.get(), cb.get(), cr.get())) {
                std::fputs("Failed to load next strip\n", stderr);
                return false;
            }
            splitStripYCbCr(tiles, vq_tileKey(0, i, level), ss, y.get(), cb.get(), cr.get(), IntPair(T, T), chroma);
        } else {
            vq_ptr<imageContainer> strip = newContainer();
            if (!loader->readNextStrip(&firstRow, strip.get())) {
                std::fputs("Failed to load next strip\n", stderr);
                return false;
            }
            splitStripRGB(tiles, vq_tileKey(0, i, level), strip.get(), imageSize, T);
        }
        for (const auto& tile : tiles)
            baseLayer->addTile(tile.get(), nullptr);
    }
    return true;
}

bool vq_kestrifier::kestrixStrips(vq_stripLoader_base* loader, const char* path, const char* extension)
{
    cancelRequested = false;
    if (loader == nullptr || path == nullptr) {
        std::fputs("Bad parameters to kestrix\n", stderr);
        return false;
    }
    vq_ptr<vq_stripLoader_base> loaderRef(loader);
    bool ycbcr = loader->supportsYCbCr();
    if (tilePixelFormat == 4 || tilePixelFormat == 6)
        ycbcr = false;
    const int32_t T = preferredTileSize != 0 ? preferredTileSize : 256;

    releaseLayers();
    createZoomLayer(&baseLayer);
    if (baseLayer == nullptr)
        return false;
    baseLayer->setMinTileSize(IntPair(T, T));
    baseLayer->setMaxTileSize(IntPair(T, T));
    // The output exists before anything is reported to it.
    if (!createOutput())
        return false;

    const IntPair imageSize = loader->getImageSize();
    if (imageSize.first <= 256 && imageSize.second <= 256) {
        output->addError("File size is too small. Must be greater than 256 pixels in at least one dimension.\n");
        return false;
    }
    baseLayer->setImageSize(imageSize);
    if (T < loader->getMinTileSize()) {
        output->addError("Tile size is too small for loader\n");
        std::fputs("Tile size is too small for loader\n", stderr);
        return false;
    }
    if (T > loader->getMaxStripHeight() && T < imageSize.second) {
        output->addError("Tile size is too large for loader\n");
        std::fputs("Tile size is too large for loader\n", stderr);
        return false;
    }
    baseLayer->setTileSize(IntPair(T, T));
    if (!baseLayer->createPyramid(false)) {
        std::fputs("Failed to create pyramid\n", stderr);
        return false;
    }
    const int32_t n = baseLayer->getLevel() != 0 ? baseLayer->getLevel() : 1;
    const int32_t step = (maxQuality - quality) / n;
    baseLayer->setQuality(quality, step);
    baseLayer->setResampling(resampling);
    baseLayer->setStrictRawSize(strictRawSize);
    baseLayer->setCropEdgeTiles(cropEdgeTiles);

    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    const bool multiThreaded = global->isMultiThreaded();
    const int32_t loaderThreads = global->getLoaderThreadCount();
    if (!output->acceptsYCbCrTiles())
        ycbcr = false;
    ycbcrTiles = ycbcr;
    int32_t limit = loaderThreads + global->getEncoderThreadCount() - 1;
    limit = limit > 32 ? 32 : limit;
    // A multi-threaded run always gets one encoder: the output queues its
    // tiles for the encoder threads, and nobody else would write them.
    encoderThreadLimit = multiThreaded && limit < 1 ? 1 : limit;

    output->setJ2KFullChroma(j2kFullChroma);
    output->setThreadedSave(multiThreaded);
    output->setOutputPath(path, extension != nullptr ? extension : "");
    vq_zoom_layer* first = baseLayer.get();
    while (first != nullptr && first->isRetiling())
        first = first->getNextLayer();
    output->setBaseLayer(first);
    for (vq_zoom_layer* l = baseLayer.get(); l != nullptr; l = l->getNextLayer())
        l->setOutput(output.get());

    const int32_t rows = (imageSize.second + T - 1) / T;
    const int32_t columns = (imageSize.first + T - 1) / T;
    const int32_t total = rows * columns;
    const time_t start = std::time(nullptr);
    outputAborted = false;
    initThreadGlobals();

    bool readFailed = false;
    if (loaderThreads != 0) {
        StripReaderArgs args;
        args.pixelFormat = (tilePixelFormat == 3 || tilePixelFormat == 4 || tilePixelFormat == 6) ? tilePixelFormat : 3;
        args.level = baseLayer->getLevel();
        args.loader = loader;
        args.tileSize = T;
        args.driver = this;
        ++encodersRunning;
        ++stripReadersRunning;
        if (!startRunThread(stripReaderThreadProc, &args)) {
            --encodersRunning;
            --stripReadersRunning;
            output->addError("Unable to start the strip reader\n");
        } else {
            ++loadersStarted;
            if (multiThreaded)
                startEncoderThread();
            consumeLoadedTiles(total, 0);
            readFailed = consumerStopped;
        }
        // The consumer has stopped: the reader must not wait for room any more.
        stopRun();
        if (multiThreaded)
            runStopProtocol(false);
        releaseThreadGlobals(); // joins the reader before args goes away
    } else {
        const bool prepared = ycbcr ? loader->prepareStripsYCbCr(T) : loader->prepareStrips(T, vq_fmtRGB24);
        if (!prepared) {
            releaseThreadGlobals();
            releaseLayers();
            return false;
        }
        if (multiThreaded)
            startEncoderThread();
        readFailed = !stripLoop(loader, ycbcr, T, rows, imageSize);
        if (!cancelRequested && !readFailed && !output->hasFailed())
            baseLayer->flushQuads();
        if (multiThreaded)
            runStopProtocol(false);
        releaseThreadGlobals();
    }
    reportEncoderFailures(output.get());

    if (logSink != nullptr)
        logSink->setProgress(cancelRequested ? 0 : 100);
    // A cancelled or broken run abandons the output instead of finishing a
    // pyramid with missing tiles.
    if (cancelRequested) {
        abortOutput();
    } else if (readFailed) {
        if (loaderThreads == 0)
            output->addError("Failed to load next strip\n");
        abortOutput();
    } else {
        output->finish();
    }

    bool result = true;
    if (reportOutputFailure()) {
        result = false;
    } else if (cancelRequested) {
        std::fputs("\nProcessing cancelled\n", stdout);
    } else {
        const double minutes = std::difftime(std::time(nullptr), start) / 60.0;
        if (logSink != nullptr)
            logf(1, minutes < 1.0 ? "File processed in %4.2f minutes\n" : "File processed in %4.1f minutes\n",
                 minutes);
        else
            std::printf("\nFile processed in %4.1f minutes\n", minutes);
    }
    releaseLayers();
    return result;
}
