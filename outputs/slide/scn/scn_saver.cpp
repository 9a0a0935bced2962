#include "outputs/slide/scn/scn_saver.h"

#include <cstdio>
#include <new>

#include "outputs/slide/jpeg_tile_encoder.h"

using namespace slide_ifd;

bool createLeicaSaver(vq_stream* stream, vq_svs_saver_base** out) {
    if (stream == nullptr || out == nullptr) return false;
    auto* saver = new (std::nothrow) vq_leica_saver(stream);
    if (saver == nullptr) return false;
    saver->addRef();
    *out = saver;
    return true;
}

vq_leica_saver::vq_leica_saver(vq_stream* stream) {
    stream_.setStream(stream);
    header_.setBigTIFF(true);
}

vq_leica_saver::~vq_leica_saver() {
    // No thread outlives the saver, finished or not.
    stopEncoderThreads(true);
}

void vq_leica_saver::setTileSize(int edge) {
    // TIFF tiles are multiples of 16 pixels and the edge is stored as a SHORT.
    if (edge >= 16 && edge <= 65520 && edge % 16 == 0) tileSize_ = edge;
}

bool vq_leica_saver::createEncoder(vq_ptr<vq_tileEncoder_base>& out) {
    vq_jpeg_tileEncoder* e = nullptr;
    if (!createJpegTileEncoder(&e)) return false;
    out = vq_ptr<vq_tileEncoder_base>::adopt(e);
    // No directory has JPEGTables: every tile carries its own tables.
    out->setWriteTables(true);
    return true;
}

// ---------------------------------------------------------------------------
// Directories

void vq_leica_saver::fillDirectory(vq_svs_ifdDir& dir, IntPair size, int quality) {
    if (!dir.items().empty()) return;
    const int w = size.first, h = size.second;
    const int format = dir.getPixelFormat();
    if (subsampling_ == 5 && colourSpace_ == 3) subsampling_ = 1;
    dir.setQuality(quality);
    dir.setBigTIFF(true);
    dir.setTiled(true);
    const int across = (w + tileSize_ - 1) / tileSize_, down = (h + tileSize_ - 1) / tileSize_;
    dir.setGrid(IntPair(across, down));
    addLong(dir, 254, 0);
    addLong(dir, 256, static_cast<uint32_t>(w));
    addLong(dir, 257, static_cast<uint32_t>(h));
    addBitsPerSample(dir, format);
    addShorts(dir, 259, {7});
    addShorts(dir, 262, {static_cast<uint16_t>(colourSpace_ == 3 ? 6 : 2)});
    dir.addItem(vq_svs_ifdItem(270, svsTypeAscii));
    addShorts(dir, 274, {1});
    addSamplesPerPixel(dir, format);
    addShorts(dir, 284, {1});
    addShorts(dir, 322, {static_cast<uint16_t>(tileSize_)});
    addShorts(dir, 323, {static_cast<uint16_t>(tileSize_)});
    addZeros(dir, 324, svsTypeLong8, int64_t(across) * down);
    addZeros(dir, 325, svsTypeLong8, int64_t(across) * down);
    if (colourSpace_ == 3) {
        const auto pair = subsamplingPair(subsampling_);
        addShorts(dir, 530, {pair.first, pair.second});
    }
}

void vq_leica_saver::setBaseLevel(IntPair size, int level, int quality, vq_raw_tile*) {
    baseSize_ = size;
    baseDirectory_.setGrid(IntPair((size.first + tileSize_ - 1) / tileSize_, (size.second + tileSize_ - 1) / tileSize_));
    baseDirectory_.setLevel(level);
    baseDirectory_.setQuality(quality);
    baseDirectory_.setColourSpace(colourSpace_);
}

void vq_leica_saver::addLevel(int level, IntPair size, int quality, vq_raw_tile*) {
    levelDirectories_.emplace_back();
    vq_svs_ifdDir& dir = levelDirectories_.back();
    dir.setLevel(level);
    dir.setColourSpace(colourSpace_);
    fillDirectory(dir, size, quality);
}

bool vq_leica_saver::setThumbnail(int sourceLevel, IntPair sourceLevelSize, IntPair sourceTileCount, int quality) {
    if (sourceLevelSize.first <= 0 || sourceLevelSize.second <= 0) return false;
    secondImageSize_ = sourceLevelSize;
    secondImageLevel_ = sourceLevel;
    secondImageDirectories_.clear();
    IntPair size = sourceLevelSize;
    for (;;) {
        secondImageDirectories_.emplace_back();
        vq_svs_ifdDir& dir = secondImageDirectories_.back();
        dir.setColourSpace(3);
        fillDirectory(dir, size, quality);
        if (tileSize_ >= size.first && tileSize_ >= size.second) break;
        size = IntPair(size.first / 2, size.second / 2);
    }
    // Numbered like the second pyramid run: 0 for the smallest.
    int level = static_cast<int>(secondImageDirectories_.size());
    for (auto& d : secondImageDirectories_) d.setLevel(--level);
    missingSecondImageTiles_.clear();
    for (int y = 0; y < sourceTileCount.second; ++y)
        for (int x = 0; x < sourceTileCount.first; ++x) missingSecondImageTiles_.emplace(x, y);
    return true;
}

vq_svs_ifdDir* vq_leica_saver::findDirectory(int level, bool secondImage) {
    if (secondImage) {
        for (auto& d : secondImageDirectories_)
            if (d.getLevel() == level) return &d;
        return nullptr;
    }
    if (baseDirectory_.getLevel() == level) return &baseDirectory_;
    for (auto& d : levelDirectories_)
        if (d.getLevel() == level) return &d;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Start of the file

bool vq_leica_saver::ensureStarted() {
    if (baseDirectory_.isPlaced()) return true;
    fillDirectory(baseDirectory_, baseSize_, baseDirectory_.getQuality());
    bool ok = header_.write(&stream_);
    for (auto& d : secondImageDirectories_) ok = ok && d.writeDirectory(&stream_);
    if (!ok || !baseDirectory_.writeDirectory(&stream_)) {
        std::fputs("Failed to write header and directories\n", stderr);
        return false;
    }
    resetThreadsStarted();
    startEncoderThread();
    return true;
}

// ---------------------------------------------------------------------------
// Tiles

int vq_leica_saver::prepareJob(int x, int y, vq_svs_ifdDir* dir, vq_svstile_saver& job) {
    if (dir == nullptr) return 0;
    if (!dir->isPlaced() && !dir->writeDirectory(&stream_)) {
        std::fputs("Failed to write directory for layer\n", stderr);
        return -1;
    }
    job.position = IntPair(x, y);
    job.directory = dir;
    job.fileStream = &stream_;
    job.quality = dir->getQuality();
    job.subsampling = subsampling_;
    job.colourSpace = colourSpace_;
    job.completeStream = true;
    return 1;
}

bool vq_leica_saver::addTile(int x, int y, int level, imageContainer* tile) {
    if (tile == nullptr || tile->getFormat() != vq_fmtRGB24) return false;
    vq_svstile_saver job;
    {
        vq::platform::ScopedLock lock(fileLock_);
        if (!ensureStarted()) return false;
        if (level == secondImageLevel_ && !collectThumbnailTile(x, y, tile)) return false;
        const int r = prepareJob(x, y, findDirectory(level, false), job);
        if (r <= 0) return r == 0;
        if (tile->getWidth() > tileSize_ || tile->getHeight() > tileSize_) return false;
    }
    return setPaddedContainer(job, tile, tileSize_) && submit(job);
}

bool vq_leica_saver::addTileYCbCr(int x, int y, int level, imageContainer* yPlane, imageContainer* cbPlane,
                                  imageContainer* crPlane, int subsampling) {
    if (yPlane == nullptr || cbPlane == nullptr || crPlane == nullptr) return false;
    vq_svstile_saver job;
    {
        vq::platform::ScopedLock lock(fileLock_);
        if (!ensureStarted()) return false;
        // Tiles of the source level feed the second image in every form.
        if (level == secondImageLevel_) {
            auto rgb = vq_ptr<imageContainer>::adopt(imageContainer::create());
            if (rgb == nullptr || !rgb->fromYCbCrPlanes(yPlane, cbPlane, crPlane, subsampling) ||
                !collectThumbnailTile(x, y, rgb.get()))
                return false;
        }
        const int r = prepareJob(x, y, findDirectory(level, false), job);
        if (r <= 0) return r == 0;
        if (yPlane->getWidth() > tileSize_ || yPlane->getHeight() > tileSize_) return false;
    }
    return setPaddedPlanes(job, yPlane, cbPlane, crPlane, subsampling, subsampling_, tileSize_) && submit(job);
}

bool vq_leica_saver::addRawTile(int x, int y, int level, vq_raw_tile* tile) {
    if (tile == nullptr) return false;
    vq_svstile_saver job;
    {
        vq::platform::ScopedLock lock(fileLock_);
        if (!ensureStarted()) return false;
        if (level == -2 || level == -3 || tile->getCompression() != 7) return false;
        // A raw tile is stored as it is, so it must have the directory's tile
        // size: any other size would break the tile grid.
        if (tile->getSize() != IntPair(tileSize_, tileSize_)) return false;
        if (level == secondImageLevel_) {
            auto rgb = decodeRawJpeg(tile);
            if (rgb == nullptr || !collectThumbnailTile(x, y, rgb.get())) return false;
        }
        const int r = prepareJob(x, y, findDirectory(level, false), job);
        if (r <= 0) return false;
    }
    // The stored tile keeps its own tables like every other SCN tile.
    return job.setRawTile(tile) && submit(job);
}

// ---------------------------------------------------------------------------
// Finish and abort

bool vq_leica_saver::finish() {
    stopEncoderThreads(false);
    failure_.clear();
    auto fail = [&](const std::string& why) {
        failure_ = why;
        std::fprintf(stderr, "%s\n", why.c_str());
        return false;
    };
    if (secondImageDirectories_.empty()) return fail("no second image was declared");
    // A file given no tile still gets its header and directories; the
    // encoder thread the start makes is stopped at once.
    if (!baseDirectory_.isPlaced()) {
        bool started = false;
        {
            vq::platform::ScopedLock lock(fileLock_);
            started = ensureStarted();
        }
        stopEncoderThreads(false);
        if (!started) return fail("the header and directories could not be written");
    }
    for (auto it = secondImageDirectories_.begin(); it != secondImageDirectories_.end(); ++it) {
        const auto next = std::next(it);
        it->setNextOffset(next != secondImageDirectories_.end() ? next->getPosition() : baseDirectory_.getPosition());
        if (!it->writeAll(&stream_)) return fail("the directories could not be written");
    }
    // Then the main image from the base down.
    if (const char* failed = writeDirectoryChain(baseDirectory_, levelDirectories_, &stream_, true))
        return fail(failed);
    if (stream_.getStream()->flush() == -1) return fail("the file could not be flushed");
    if (!descriptionWritten_) {
        char text[160];
        std::snprintf(text, sizeof text, "the second image is incomplete: %d tiles of level %d are missing",
                      static_cast<int>(missingSecondImageTiles_.size()), secondImageLevel_);
        return fail(text);
    }
    if (failedTiles() > 0) {
        char text[96];
        std::snprintf(text, sizeof text, "%d tiles could not be encoded or written", failedTiles());
        return fail(text);
    }
    return true;
}

void vq_leica_saver::abort() { stopEncoderThreads(true); }
