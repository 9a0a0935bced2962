// The slide savers' encoder threads and tile jobs.
#include "outputs/slide/slide_encoders.h"

#include <algorithm>
#include <cstdio>

#include "engine/base/imageContainer.h"
#include "engine/base/vq_global.h"
#include "jpeg/jpeg_bridge.h"
#include "jpeg/jpeg_saver.h"
#include "jpeg/jpeg_tile_decoder.h"
#include "primitives/core/copy.h"

namespace {


} // namespace

vq_ptr<imageContainer> newClearedContainer(int format, int w, int h) {
    auto c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    if (c == nullptr || !c->create(format, w, h, false)) return nullptr;
    // Every caller relies on zeros outside what it copies in.
    c->clear();
    return c;
}

bool copyTopLeft(imageContainer* src, imageContainer* dst, int channels) {
    const int w = std::min(src->getWidth(), dst->getWidth());
    const int h = std::min(src->getHeight(), dst->getHeight());
    ContainerPixels s(src), d(dst);
    if (s.data == nullptr || d.data == nullptr) return false;
    const PrimSize size{w, h};
    return (channels == 3 ? copyRoi8uC3(s.data, s.step, d.data, d.step, size)
                          : copyRoi8uC1(s.data, s.step, d.data, d.step, size)) >= 0;
}

bool placeTileInImage(vq_ptr<imageContainer>& image, IntPair size, int x, int y, int tileSize, imageContainer* tile) {
    if (image == nullptr) {
        image = newClearedContainer(vq_fmtRGB24, size.first, size.second);
        if (image == nullptr) return false;
    }
    const int64_t ox = int64_t(x) * tileSize, oy = int64_t(y) * tileSize;
    const int w = int(std::min<int64_t>(tile->getWidth(), size.first - ox));
    const int h = int(std::min<int64_t>(tile->getHeight(), size.second - oy));
    if (w <= 0 || h <= 0) return true;
    ContainerPixels s(tile), d(image.get());
    if (s.data == nullptr || d.data == nullptr) return false;
    return copyRoi8uC3(s.data, s.step, d.data + oy * d.step + ox * 3, d.step, PrimSize{w, h}) >= 0;
}

// An RGB24 container of a decoded raw JPEG tile.
vq_ptr<imageContainer> decodeRawJpeg(vq_raw_tile* tile) {
    if (tile == nullptr || tile->getData() == nullptr || tile->getDataLength() <= 0) return nullptr;
    vq_ptr<vq_TIFFJPEGTileDecoder> decoder = vq_ptr<vq_TIFFJPEGTileDecoder>::adopt(createTIFFJPEGTileDecoder());
    auto image = vq_ptr<imageContainer>::adopt(imageContainer::create());
    if (decoder == nullptr || image == nullptr) return nullptr;
    if (!decoder->decodeTile(IntPair(0, 0), 0, tile->getData(), tile->getDataLength(), image.get())) return nullptr;
    if (image->getFormat() != vq_fmtRGB24 && !image->convertTo(vq_fmtRGB24)) return nullptr;
    return image;
}

vq_slide_encoding_saver::vq_slide_encoding_saver() {
    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    if (global != nullptr) pool_.setThreadLimit(global->isMultiThreaded() ? global->getEncoderThreadCount() : 0);
    // Each thread keeps one encoder for its life.
    pool_.setWorkerFactory([this]() -> EncoderPool<vq_svstile_saver>::Worker {
        vq_ptr<vq_tileEncoder_base> encoder;
        if (!createEncoder(encoder)) return {};
        return [this, encoder](vq_svstile_saver& job) { workOn(encoder.get(), job); };
    });
}

vq_slide_encoding_saver::~vq_slide_encoding_saver() { stopEncoderThreads(true); }

bool vq_slide_encoding_saver::setPaddedContainer(vq_svstile_saver& job, imageContainer* tile, int tileSize) {
    auto full = newClearedContainer(vq_fmtRGB24, tileSize, tileSize);
    if (full == nullptr) {
        std::fputs("Failed to create tile container\n", stderr);
        return false;
    }
    return copyTopLeft(tile, full.get(), 3) && job.setContainer(full.get());
}

bool vq_slide_encoding_saver::setPaddedPlanes(vq_svstile_saver& job, imageContainer* yPlane, imageContainer* cbPlane,
                                              imageContainer* crPlane, int subsampling, int fileSubsampling,
                                              int tileSize) {
    const int s = coarserSubsampling(subsampling, fileSubsampling);
    const int t = tileSize;
    const int cw = (s == 2 || s == 4) ? t / 2 : t, ch = (s == 3 || s == 4) ? t / 2 : t;
    auto yFull = newClearedContainer(vq_fmtPlaneY, t, t), cb = newClearedContainer(vq_fmtPlaneCb, cw, ch),
         cr = newClearedContainer(vq_fmtPlaneCr, cw, ch);
    if (yFull == nullptr || cb == nullptr || cr == nullptr || !copyTopLeft(yPlane, yFull.get(), 1)) return false;
    for (auto [src, dst] : {std::pair{cbPlane, cb.get()}, std::pair{crPlane, cr.get()}}) {
        if (subsampling == s) {
            if (!copyTopLeft(src, dst, 1)) return false;
            continue;
        }
        auto converted = vq_ptr<imageContainer>::adopt(imageContainer::create());
        if (converted == nullptr || !downsampleChromaPlane(subsampling, s, src, converted.get()) ||
            !copyTopLeft(converted.get(), dst, 1))
            return false;
    }
    if (!job.setYCbCrPlanes(yFull.get(), cb.get(), cr.get())) return false;
    job.holder->setSubsampling(s);
    return true;
}

bool vq_slide_encoding_saver::submit(vq_svstile_saver& job) {
    if (pool_.threadLimit() > 0) {
        pool_.push(job);
        return true;
    }
    return encodeJob(job);
}

bool vq_slide_encoding_saver::writeEncodedTile(vq_svstile_saver& job) {
    if (job.encoded == nullptr || job.directory == nullptr || job.fileStream == nullptr) return false;
    vq::platform::ScopedLock lock(fileLock_);
    vq_svs_ifdDir& dir = *job.directory;
    if (!dir.findItem(324).isValid() || !dir.findItem(325).isValid()) {
        std::fputs("Invalid tile IFD items\n", stderr);
        return false;
    }
    const int64_t i = int64_t(job.position.second) * dir.getGrid().first + job.position.first;
    uint64_t existing = 0;
    if (!slide_ifd::tableValue(dir, 324, i, &existing)) return false;
    // The first write of a position wins.
    if (existing != 0) return true;
    vq_svs_stream& s = *job.fileStream;
    if (s.seek(0, 2) != 0) return false;
    int64_t at = s.tell();
    if (at % 2 != 0) {
        // Tiles start at even offsets; the skipped byte reads as zero.
        if (!s.writeZeros(1)) return false;
        ++at;
    }
    const int64_t length = static_cast<int64_t>(job.encoded->getSize());
    if (s.writeBytes(job.encoded->getData(), length) != length) {
        std::fprintf(stderr, "Failed to write tile %d,%d\n", job.position.first, job.position.second);
        return false;
    }
    return slide_ifd::setTableValue(dir, 324, i, static_cast<uint64_t>(at)) &&
           slide_ifd::setTableValue(dir, 325, i, static_cast<uint64_t>(length));
}

bool vq_slide_encoding_saver::encodeInto(vq_tileEncoder_base* encoder, vq_svstile_saver& job) {
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

bool vq_slide_encoding_saver::encodeJob(vq_svstile_saver& job) {
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

void vq_slide_encoding_saver::workOn(vq_tileEncoder_base* encoder, vq_svstile_saver& job) {
    vq_memoryWriteStream* m = nullptr;
    if (vq_memoryWriteStream::create(&m) != 0) {
        std::fprintf(stderr, "Failed to create memory stream for tile %d,%d failed\n", job.position.first,
                     job.position.second);
        ++failedTiles_;
        return;
    }
    job.encoded = vq_ptr<vq_memoryWriteStream>::adopt(m);
    job.encoded->setGrowth(4096);
    // A tile that failed to encode is not recorded: the file would point at
    // a broken tile. The saver fails at finish.
    if (!encodeInto(encoder, job)) {
        std::fprintf(stderr, "Tile encoding of %d,%d failed\n", job.position.first, job.position.second);
        ++failedTiles_;
    } else if (!writeEncodedTile(job)) {
        ++failedTiles_;
    }
}
