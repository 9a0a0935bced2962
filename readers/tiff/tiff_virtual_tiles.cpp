#include "readers/tiff/tiff_virtual_tiles.h"

#include <algorithm>

#include "engine/base/imageContainer.h"
#include "engine/base/stream.h"
#include "primitives/resample/resize_gen.h"
#include "readers/tiff/svs_reader.h"

namespace {

constexpr int kCubic = 4;

int bytesPerPixelOf(int format) {
    switch (format) {
        case vq_fmtRGB24: return 3;
        case vq_fmtGray8: return 1;
        case vq_fmtGray16: return 2;
        case vq_fmtRGB48: return 6;
        default: return 0;
    }
}

// Shrinks the whole region into the top-left w x h pixels of dst by 1/scale
// on both axes with the resize primitive of the pixel format.
bool shrinkRegion(imageContainer* region, imageContainer* dst, int format, int scale, int w, int h) {
    const uint8_t* src = nullptr;
    int32_t srcStep = 0;
    uint8_t* out = nullptr;
    int32_t outStep = 0;
    region->lockPixelsConst(&src, &srcStep);
    dst->lockPixels(&out, &outStep);
    const PrimSize srcSize{region->getWidth(), region->getHeight()};
    const PrimRect roi{0, 0, region->getWidth(), region->getHeight()};
    const PrimSize dstSize{w, h};
    const double f = 1.0 / scale;
    int32_t status = -1;
    switch (format) {
        case vq_fmtRGB24:
            status = resizeByFactors8uC3(src, srcSize, srcStep, roi, out, outStep, dstSize, f, f, kCubic);
            break;
        case vq_fmtGray8:
            status = resizeByFactors8uC1(src, srcSize, srcStep, roi, out, outStep, dstSize, f, f, kCubic);
            break;
        case vq_fmtGray16:
            status = resizeByFactors16uC1(reinterpret_cast<const uint16_t*>(src), srcSize, srcStep, roi,
                                          reinterpret_cast<uint16_t*>(out), outStep, dstSize, f, f, kCubic);
            break;
        case vq_fmtRGB48:
            status = resizeByFactors16uC3(reinterpret_cast<const uint16_t*>(src), srcSize, srcStep, roi,
                                          reinterpret_cast<uint16_t*>(out), outStep, dstSize, f, f, kCubic);
            break;
        default: break;
    }
    dst->unlockPixels();
    region->unlockPixels();
    return status >= 0;
}

} // namespace

TIFFVirtualTileLoader::TIFFVirtualTileLoader(vq_stream* s) : stream(s) {}

TIFFVirtualTileLoader::~TIFFVirtualTileLoader() = default;

IntPair TIFFVirtualTileLoader::getLevelTileCounts(int level, int) {
    if (level < 0 || level >= levelCount()) return IntPair(0, 0);
    return levelTileGrids[level];
}

IntPair TIFFVirtualTileLoader::getLevelSize(int level, int) {
    if (level < 0 || level >= levelCount()) return IntPair(0, 0);
    return levelSizes[level];
}

int TIFFVirtualTileLoader::getLevelScale(int level) const {
    if (level < 0 || level >= levelCount()) return 0;
    return levelScales[level];
}

bool TIFFVirtualTileLoader::isValidTile(int x, int y, int level, int image) {
    if (x < 0 || y < 0 || level < 0 || image > 0 || level >= levelCount()) return false;
    return x < levelTileGrids[level].first && y < levelTileGrids[level].second;
}

void TIFFVirtualTileLoader::addLevel(IntPair size, int scale) {
    const IntPair grid((size.first + kTileSide - 1) / kTileSide, (size.second + kTileSide - 1) / kTileSide);
    levelSizes.push_back(size);
    levelEdgeTileSizes.push_back(edgeTileSize(size, tileSize));
    levelTileGrids.push_back(grid);
    levelScales.push_back(scale);
    tileCount += grid.first * grid.second;
}

bool TIFFVirtualTileLoader::open() {
    const vq::platform::ScopedLock lock(fileLock);
    if (stream == nullptr) return false;
    if (stream->seek(0, 2) != 0) return false;
    fileSize = stream->tell();
    tiffStream.setStream(stream.get());

    if (!header.read(&tiffStream) || header.getFirstIfdOffset() == 0) return false;
    vq_svs_ifdDir_read first;
    first.setOffset(header.getFirstIfdOffset());
    first.setBigTIFF(header.isBigTIFF());
    if (!first.read(&tiffStream) || first.isTiled()) return false;

    uint32_t value = 0;
    if (!first.findItem(259).getInlineValue32(&value) || value != 1) return false;
    compression = 1;
    pixelFormat = first.getPixelFormat(&tiffStream);
    if (bytesPerPixelOf(pixelFormat) == 0) return false;
    if (first.findItem(270).isValid()) {
        const std::vector<uint8_t>& text = first.loadItem(270, &tiffStream);
        description.assign(text.begin(), text.end());
    }
    if (!first.findItem(278).getInlineValue32(&value) || value == 0) return false;
    tileSize = IntPair(kTileSide, kTileSide);

    directory = first;
    stripOffsets = directory.findItem(273);
    stripByteCounts = directory.findItem(279);
    if (!stripOffsets.isValid() || !stripByteCounts.isValid()) return false;
    stripOffsets.loadValues(&tiffStream);
    stripByteCounts.loadValues(&tiffStream);
    uint32_t firstBytes = 0;
    if (!stripByteCounts.getValue32(&firstBytes, 0)) return false;

    imageSize = directory.getImageSize();
    if (imageSize.first <= 0 || imageSize.second <= 0) return false;
    // A RowsPerStrip beyond the image (2^32 - 1 says "all rows") is one strip.
    rowsPerStrip = std::min<int64_t>(value, imageSize.second);
    firstStripBytes = firstBytes;
    // Rows are located by the first strip's row length; a strip too short for
    // one full row cannot be laid out that way.
    if (firstStripBytes / rowsPerStrip < int64_t(imageSize.first) * bytesPerPixelOf(pixelFormat)) return false;

    // Level 0, then one level per two halvings (a quarter of the size) while
    // the last level has more than 4 tiles both across and down.
    IntPair size = imageSize;
    int scale = 1;
    addLevel(size, scale);
    while (levelTileGrids.back().first > 4 && levelTileGrids.back().second > 4) {
        size = IntPair(size.first / 4, size.second / 4);
        scale *= 4;
        addLevel(size, scale);
    }
    magnification = estimateMagnification(directory, &tiffStream);
    return true;
}

int64_t TIFFVirtualTileLoader::getRowOffset(int row) {
    if (row < 0 || rowsPerStrip <= 0) return 0;
    const int64_t strip = row / rowsPerStrip;
    if (strip > INT32_MAX) return 0;
    uint64_t base = 0;
    if (!stripOffsets.getValue64(&base, static_cast<int32_t>(strip))) return 0;
    return static_cast<int64_t>(base) + (row % rowsPerStrip) * (firstStripBytes / rowsPerStrip);
}

bool TIFFVirtualTileLoader::readRegion(int64_t col0, int64_t row0, int columns, int rows, imageContainer* region) {
    const int bpp = bytesPerPixelOf(pixelFormat);
    uint8_t* data = nullptr;
    int32_t step = 0;
    region->lockPixels(&data, &step);
    bool ok = data != nullptr;
    const int32_t rowBytes = columns * bpp;
    for (int r = 0; ok && r < rows; ++r) {
        const int64_t base = getRowOffset(static_cast<int>(row0 + r));
        uint8_t* out = data + static_cast<std::ptrdiff_t>(r) * step;
        ok = base != 0 && tiffStream.seek(base + col0 * bpp, 0) == 0 && tiffStream.readBytes(out, rowBytes) == rowBytes;
        // 16-bit samples of a big-endian file become host order.
        if (ok && bpp % 2 == 0 && !tiffStream.isLittleEndian()) vq_svs_stream_read::swapBytePairs(out, rowBytes);
    }
    region->unlockPixels();
    return ok;
}

bool TIFFVirtualTileLoader::loadTile(int x, int y, int level, int, imageContainer* dst, int format) {
    if (dst == nullptr || level < 0 || level >= levelCount() || x < 0 || y < 0) return false;
    const IntPair grid = levelTileGrids[level];
    // Tiles beyond the grid would reach past the image's last row or column.
    if (x >= grid.first || y >= grid.second) return false;
    const int s = levelScales[level];
    const int64_t span = int64_t(kTileSide) * s;
    const int64_t col0 = x * span, row0 = y * span;
    if (row0 >= imageSize.second || col0 >= imageSize.first) return false;

    // The file pixels the tile covers: a full span, or up to the image's edge
    // for the last column and row, never more than the span (a level rounded
    // down by its halvings leaves up to scale - 1 pixels unshown).
    int outW = kTileSide, outH = kTileSide;
    int64_t columns = span, rows = span;
    if (x == grid.first - 1) {
        outW = levelEdgeTileSizes[level].first;
        columns = std::min<int64_t>(span, imageSize.first - col0);
    }
    if (y == grid.second - 1) {
        outH = levelEdgeTileSizes[level].second;
        rows = std::min<int64_t>(span, imageSize.second - row0);
    }

    if (s == 1) {
        if (!dst->create(pixelFormat, kTileSide, kTileSide, false)) return false;
        dst->fill(255);
        {
            const vq::platform::ScopedLock lock(fileLock);
            if (!readRegion(col0, row0, int(columns), int(rows), dst)) return false;
        }
        return dst->crop(outW, outH) && dst->convertTo(format);
    }

    // The region, made for this request only: every pixel is read from the file.
    vq_ptr<imageContainer> region = vq_ptr<imageContainer>::adopt(imageContainer::create());
    if (!region->createUncleared(pixelFormat, int(columns), int(rows), false)) return false;
    {
        const vq::platform::ScopedLock lock(fileLock);
        if (!readRegion(col0, row0, int(columns), int(rows), region.get())) return false;
    }
    if (!dst->create(pixelFormat, kTileSide, kTileSide, false)) return false;
    if (!shrinkRegion(region.get(), dst, pixelFormat, s, outW, outH)) return false;
    return dst->crop(outW, outH) && dst->convertTo(format);
}

TIFFVirtualTileLoader* makeTIFFVirtualTileLoader(vq_stream* stream) {
    if (stream == nullptr) return nullptr;
    auto* loader = new TIFFVirtualTileLoader(stream);
    loader->addRef();
    return loader;
}

bool createTIFFVirtualTileLoader(vq_stream* stream, vq_tileloader_base** out) {
    if (stream == nullptr || out == nullptr) return false;
    TIFFVirtualTileLoader* loader = makeTIFFVirtualTileLoader(stream);
    if (loader == nullptr) return false;
    if (!loader->open()) {
        loader->release();
        return false;
    }
    *out = loader;
    return true;
}
