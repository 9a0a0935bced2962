// The PFF saver's tile jobs, encoder workers and ordered writing: tiles are
// encoded outside every lock and appended under the writer lock strictly in
// the file's tile order; early tiles wait in the temporary file.
#include <cstdio>
#include <utility>
#include <vector>

#include "engine/base/imageContainer.h"
#include "jpeg/jpeg_saver.h"
#include "outputs/pff/pff_saver.h"
#include "outputs/slide/jpeg_tile_encoder.h"
#include "readers/pff/pff_format.h"

namespace {

vq_ptr<imageContainer> newContainer(int format, int w, int h) {
    auto c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    if (c == nullptr || !c->create(format, w, h, false)) return nullptr;
    return c;
}

// Where the stored part of an encoded tile starts: just after its
// start-of-scan marker. 0 when the stream has no start of image or no scan.
size_t scanDataStart(const uint8_t* p, size_t n) {
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8) return 0;
    size_t i = 2;
    while (i + 4 <= n) {
        if (p[i] != 0xFF) return 0;
        const uint8_t marker = p[i + 1];
        if (marker == 0xDA) return i + 2;
        const size_t length = (size_t{p[i + 2]} << 8) | p[i + 3];
        if (length < 2) return 0;
        i += 2 + length;
    }
    return 0;
}

} // namespace

bool vq_pfftile_saver::spillToTemporaryFile(vq_stream* temporary) {
    if (parkedLength != 0) return true;
    if (temporary == nullptr || encoded == nullptr || encoded->getSize() == 0 || encoded->getSize() > INT32_MAX)
        return false;
    if (temporary->seek(0, vq_seekEnd) != 0) return false;
    const int64_t offset = temporary->tell();
    const auto length = static_cast<uint32_t>(encoded->getSize());
    if (offset < 0 || temporary->write(encoded->getData(), length) != static_cast<int32_t>(length)) return false;
    parkedOffset = offset;
    parkedLength = static_cast<int32_t>(length);
    encoded.reset();
    return true;
}

bool vq_pfftile_saver::loadFromTemporaryFile(vq_stream* temporary) {
    if (encoded != nullptr) return true;
    if (parkedLength <= 0 || temporary == nullptr) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(parkedLength));
    if (temporary->seek(parkedOffset, vq_seekStart) != 0 ||
        temporary->read(bytes.data(), static_cast<uint32_t>(parkedLength)) != parkedLength)
        return false;
    vq_memoryWriteStream* m = nullptr;
    if (vq_memoryWriteStream::create(&m) != 0) return false;
    auto stream = vq_ptr<vq_memoryWriteStream>::adopt(m);
    stream->setGrowth(parkedLength);
    if (stream->write(bytes.data(), static_cast<uint32_t>(parkedLength)) != parkedLength) return false;
    encoded = stream;
    parkedOffset = 0;
    parkedLength = 0;
    return true;
}

bool vq_pff_saver::prepareJob(int x, int y, int level, int w, int h, vq_pfftile_saver& job) {
    std::lock_guard<std::mutex> lock(writerMutex_);
    size_t k = 0;
    while (k < levelNumbers_.size() && levelNumbers_[k] != level) ++k;
    if (k == levelNumbers_.size()) return false;
    const IntPair grid = levelGrids_[k];
    if (x < 0 || y < 0 || x >= grid.first || y >= grid.second) return false;
    const auto chunk = chunks_.find(ChunkKey{levelQualities_[k], w, h});
    if (chunk == chunks_.end()) return false;
    job.quality = levelQualities_[k];
    job.subsampling = subsampling_;
    job.colourSpace = colourSpace_;
    job.column = x;
    job.row = y;
    job.level = level;
    job.chunkNumber = chunk->second.number;
    job.tileIndex = levelFirstTile_[k] + int64_t{y} * grid.first + x;
    job.saver = this;
    return true;
}

bool vq_pff_saver::addTile(int x, int y, int level, imageContainer* tile) {
    if (tile == nullptr || tile->getFormat() != vq_fmtRGB24) return false;
    const int w = tile->getWidth(), h = tile->getHeight();
    if (w > tileSize_ || h > tileSize_) return false;
    if (!writeFixedPart()) return false;
    vq_pfftile_saver job;
    if (!prepareJob(x, y, level, w, h, job)) return false;
    // The job keeps its own pixels, so the caller's container is free at once.
    auto copy = newContainer(vq_fmtRGB24, w, h);
    if (copy == nullptr) {
        std::fputs("Failed to create tile container\n", stderr);
        return false;
    }
    if (!copy->copyRegionFrom(tile, IntPair(0, 0), IntPair(0, 0), w, h) || !job.setContainer(copy.get()))
        return false;
    return submit(job);
}

bool vq_pff_saver::addTileYCbCr(int x, int y, int level, imageContainer* yPlane, imageContainer* cbPlane,
                                imageContainer* crPlane, int subsampling) {
    if (yPlane == nullptr || cbPlane == nullptr || crPlane == nullptr) return false;
    const int w = yPlane->getWidth(), h = yPlane->getHeight();
    if (w > tileSize_ || h > tileSize_) return false;
    if (!writeFixedPart()) return false;
    vq_pfftile_saver job;
    if (!prepareJob(x, y, level, w, h, job)) return false;
    const int target = coarserSubsampling(subsampling, subsampling_);
    auto yCopy = newContainer(vq_fmtPlaneY, tileSize_, tileSize_);
    auto cb = vq_ptr<imageContainer>::adopt(imageContainer::create());
    auto cr = vq_ptr<imageContainer>::adopt(imageContainer::create());
    if (yCopy == nullptr || cb == nullptr || cr == nullptr) return false;
    if (!yCopy->copyRegionFrom(yPlane, IntPair(0, 0), IntPair(0, 0), w, h) || !yCopy->crop(w, h)) return false;
    for (auto [src, dst] : {std::pair{cbPlane, cb.get()}, std::pair{crPlane, cr.get()}}) {
        // Planes already at the target sampling are copied as they are.
        if (subsampling == target && !dst->create(src->getFormat(), src->getWidth(), src->getHeight(), false))
            return false;
        if (!downsampleChromaPlane(subsampling, target, src, dst)) return false;
    }
    if (!job.setYCbCrPlanes(yCopy.get(), cb.get(), cr.get())) return false;
    job.holder->setSubsampling(target);
    return submit(job);
}

bool vq_pff_saver::submit(vq_pfftile_saver& job) {
    if (pool_.threadLimit() > 0) {
        pool_.push(job);
        return true;
    }
    return encodeNow(job);
}

bool vq_pff_saver::encodeJob(vq_jpeg_tileEncoder* encoder, vq_pfftile_saver& job) {
    vq_memoryWriteStream* m = nullptr;
    if (encoder == nullptr || vq_memoryWriteStream::create(&m) != 0) return false;
    job.encoded = vq_ptr<vq_memoryWriteStream>::adopt(m);
    job.encoded->setGrowth(4096);
    // The tables live in the file's header chunks.
    encoder->setWriteTables(false);
    encoder->setQuality(job.quality);
    encoder->setSubsampling(job.subsampling);
    encoder->setColourSpace(job.colourSpace);
    bool ok = false;
    switch (job.getFormat()) {
    case vq_fmtRGB24: {
        vq_ptr<imageContainer> c;
        ok = job.getContainer(&c, vq_fmtRGB24) && encoder->encodeTile(c.get(), job.encoded.get());
        break;
    }
    case vq_fmtYCbCr: {
        vq_ptr<imageContainer> y, cb, cr;
        ok = job.getContainer(&y, vq_fmtPlaneY) && job.getContainer(&cb, vq_fmtPlaneCb) &&
             job.getContainer(&cr, vq_fmtPlaneCr) &&
             encoder->encodeTileYCbCr(y.get(), cb.get(), cr.get(), job.holder->getSubsampling(), job.encoded.get());
        break;
    }
    default: return false;
    }
    // The pixels are not needed once they are encoded.
    if (ok) job.holder.reset();
    return ok;
}

bool vq_pff_saver::encodeNow(vq_pfftile_saver& job) {
    vq_jpeg_tileEncoder* e = nullptr;
    if (!createJpegTileEncoder(&e)) return false;
    auto encoder = vq_ptr<vq_jpeg_tileEncoder>::adopt(e);
    if (!encodeJob(encoder.get(), job)) {
        // The tile is not recorded: the file would point at a broken tile.
        std::lock_guard<std::mutex> lock(writerMutex_);
        markFailed("a tile could not be encoded");
        return false;
    }
    return writeTile(job);
}

void vq_pff_saver::workOn(vq_jpeg_tileEncoder* encoder, vq_pfftile_saver& job) {
    const bool rgb = job.getFormat() == vq_fmtRGB24;
    if (encodeJob(encoder, job)) {
        writeTile(job);
        return;
    }
    // Not recorded: the file would point at a broken tile.
    if (rgb) std::fprintf(stderr, "Tile encoding of %d,%d failed\n", job.column, job.row);
    std::lock_guard<std::mutex> writer(writerMutex_);
    markFailed("a tile could not be encoded");
}

bool vq_pff_saver::appendTile(const uint8_t* data, size_t length, int chunkNumber, int64_t index) {
    const size_t start = scanDataStart(data, length);
    if (start == 0) {
        markFailed("an encoded tile has no scan");
        return false;
    }
    if (chunkNumber < 0 || chunkNumber >= static_cast<int>(chunks_.size())) {
        markFailed("a tile has no header chunk");
        return false;
    }
    uint8_t number[4];
    pff::put32(number, static_cast<uint32_t>(chunkNumber));
    const auto scanLength = static_cast<uint32_t>(length - start);
    if (output_->seek(appendPosition_, vq_seekStart) != 0 ||
        output_->write(data + start, scanLength) != static_cast<int32_t>(scanLength) ||
        output_->write(number, 4) != 4) {
        markFailed("a tile could not be written");
        return false;
    }
    appendPosition_ += scanLength + 4;
    tileEnds_[static_cast<size_t>(index)] = static_cast<uint64_t>(appendPosition_);
    nextTileIndex_ = index + 1;
    return true;
}

bool vq_pff_saver::writeTile(vq_pfftile_saver& job) {
    if (job.encoded == nullptr || job.saver == nullptr) return false;
    std::lock_guard<std::mutex> lock(writerMutex_);
    if (failed_) return false;
    const int64_t i = job.tileIndex;
    if (i < 0 || i >= static_cast<int64_t>(tileEnds_.size())) {
        markFailed("a tile lies outside the declared levels");
        return false;
    }
    // The same tile twice: the first copy stays.
    if (tileEnds_[static_cast<size_t>(i)] != 0 || parked_.count(i) != 0) return true;
    if (i != nextTileIndex_) {
        if (!job.spillToTemporaryFile(temporary_.get())) {
            markFailed("a tile could not be parked in the temporary file");
            return false;
        }
        vq_pfftile_saver parked = job;
        parked.holder.reset();
        parked_.emplace(i, std::move(parked));
        return true;
    }
    if (!appendTile(job.encoded->getData(), job.encoded->getSize(), job.chunkNumber, i)) return false;
    job.encoded.reset();
    // The tiles parked behind it follow at once, one in memory at a time.
    for (auto next = parked_.find(nextTileIndex_); next != parked_.end(); next = parked_.find(nextTileIndex_)) {
        vq_pfftile_saver& waiting = next->second;
        if (!waiting.loadFromTemporaryFile(temporary_.get())) {
            markFailed("a parked tile could not be read back");
            return false;
        }
        const bool ok = appendTile(waiting.encoded->getData(), waiting.encoded->getSize(), waiting.chunkNumber,
                                   waiting.tileIndex);
        parked_.erase(next);
        if (!ok) return false;
    }
    return true;
}
