// The tiled TIFF saver: JPEG tiles at quality 70 from RGB pixels, which the
// TIFF library converts to YCbCr, so the file says YCbCr.
#include "readers/tiff/tiff_tiled_saver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/pixel_lock.h"
#include "engine/base/stream.h"

using namespace vqtiff;

vq_TIFFTiledSaver* vq_TIFFTiledSaver::create() {
    auto* s = new vq_TIFFTiledSaver();
    s->addRef();
    return s;
}

bool createTIFFTiledSaver(vq_stream* stream, vq_tiled_saver_base** out) {
    if (stream == nullptr || out == nullptr) return false;
    vq_TIFFTiledSaver* saver = vq_TIFFTiledSaver::create();
    if (!saver->binding.open(stream, "wm")) {
        saver->release();
        return false;
    }
    *out = saver;
    return true;
}

void vq_TIFFTiledSaver::setFormat(int code) {
    TIFFHandle* t = binding.handle();
    if (t == nullptr) {
        usable = false;
        return;
    }
    format = code;
    if (code != vq_fmtBGR24 && code != vq_fmtRGB24) {
        std::fprintf(stderr, "Unsupported format\n");
        return;
    }
    if (!TIFFSetField(t, TAG_PhotometricInterpretation, int(PHOTOMETRIC_RGB)) ||
        !TIFFSetField(t, TAG_PlanarConfiguration, int(PLANAR_CONTIG)) || !TIFFSetField(t, TAG_BitsPerSample, 8) ||
        !TIFFSetField(t, TAG_SamplesPerPixel, 3))
        usable = false;
}

void vq_TIFFTiledSaver::setImageSize(const IntPair& size) {
    imageSize = size;
    TIFFHandle* t = binding.handle();
    if (t == nullptr) {
        usable = false;
        return;
    }
    if (!TIFFSetField(t, TAG_ImageWidth, uint32_t(size.first)) || !TIFFSetField(t, TAG_ImageLength, uint32_t(size.second)))
        usable = false;
}

// The library takes RGB and writes YCbCr JPEG data: the photometric
// interpretation says YCbCr.
bool vq_TIFFTiledSaver::writeTileTags(int width, int height) {
    TIFFHandle* t = binding.handle();
    tileSize_ = IntPair(width, height);
    tileTagsWritten = true;
    return TIFFSetField(t, TAG_TileWidth, uint32_t(width)) && TIFFSetField(t, TAG_TileLength, uint32_t(height)) &&
           TIFFSetField(t, TAG_Compression, int(COMPRESSION_JPEG)) && TIFFSetField(t, TAG_JPEGQuality, 70) &&
           TIFFSetField(t, TAG_JPEGColorMode, int(JPEGCOLORMODE_RGB)) &&
           TIFFSetField(t, TAG_PhotometricInterpretation, int(PHOTOMETRIC_YCBCR));
}

bool vq_TIFFTiledSaver::saveTile(int x, int y, imageContainer* tile) {
    if (!usable) return false;
    TIFFHandle* t = binding.handle();
    if (t == nullptr) {
        usable = false;
        return false;
    }
    if (tile == nullptr || (format != vq_fmtBGR24 && format != vq_fmtRGB24)) return false;
    if (!tileTagsWritten && !writeTileTags(tile->getWidth(), tile->getHeight())) {
        usable = false;
        return false;
    }
    if (x < 0 || y < 0 || x >= imageSize.first || y >= imageSize.second) return false;
    // The file holds RGB whichever colour format was set: BGR tiles are
    // turned round too.
    if (!tile->convertTo(vq_fmtRGB24)) {
        usable = false;
        return false;
    }
    // A packed buffer of one whole tile: the container's rows may be padded,
    // and a tile at the image's edge is smaller; its last column and row are
    // repeated, which keeps the JPEG blocks past the edge cheap.
    const int tw = tileSize_.first, th = tileSize_.second;
    const int w = std::min(tile->getWidth(), tw), h = std::min(tile->getHeight(), th);
    if (w <= 0 || h <= 0) return false;
    std::vector<uint8_t> packed(size_t(tw) * size_t(th) * 3);
    {
        PixelLock lock(tile);
        if (lock.data() == nullptr) return false;
        for (int row = 0; row < th; ++row) {
            const uint8_t* src = lock.data() + size_t(std::min(row, h - 1)) * size_t(lock.step());
            uint8_t* dst = &packed[size_t(row) * size_t(tw) * 3];
            std::memcpy(dst, src, size_t(w) * 3);
            for (int col = w; col < tw; ++col) std::memcpy(dst + col * 3, src + (w - 1) * 3, 3);
        }
    }
    const uint32_t index = TIFFTileOfPixel(t, uint32_t(x), uint32_t(y), 0, 0);
    const int64_t written = TIFFWriteEncodedTile(t, index, packed.data(), int64_t(packed.size()));
    if (written <= 0) {
        usable = false;
        return false;
    }
    return true;
}
