#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "engine/base/vq_global.h"
#include "engine/base/reader_messages.h"
#include "engine/base/tile_key.h"
#include "j2k/j2k_tile_decoder.h"
#include "jpeg/jpeg_stream_parser.h"
#include "j2k/j2k_tile_decoder.h"
#include "jpeg/jpeg_tile_decoder.h"
#include "readers/tiff/lzw_decoder.h"
#include "readers/tiff/svs_reader.h"

namespace {

int bytesPerPixelOf(int format) {
    switch (format) {
    case 1: case 4: return 3;
    case 2: case 5: return 4;
    case 11: return 2;
    case 12: return 6;
    default: return 1;
    }
}

void handOut(vq_raw_tile* tile, vq_raw_tile** out) {
    *out = tile;
    tile->addRef();
}

} // namespace

bool tileFitsItsBytes(int64_t pixelBytes, int64_t stored) {
    if (stored >= 0 && pixelBytes <= stored * 4096) return true;
    reportReaderMessage("%lld stored bytes cannot hold %lld bytes of pixels\n", static_cast<long long>(stored),
                        static_cast<long long>(pixelBytes));
    return false;
}

SVSTileLoader::SVSTileLoader(vq_stream* s) : SVSRawTileLoader(s) {
    fileSize = 0;
    vq_ptr<vq_global_base> settings;
    getGlobal(settings.put());
    if (settings) j2kDecoderKind = settings->getJ2KDecoder();
}

SVSTileLoader::~SVSTileLoader() = default;

const vq_svs_ifdDir_read& SVSTileLoader::findLevelDirectory(int level, int image) const {
    static const vq_svs_ifdDir_read empty;
    if (!isValidLevel(level, image)) return empty;
    return levelDirectories[globalLevel(level, image)];
}

int SVSTileLoader::getDirectoryPixelFormat(const vq_svs_ifdDir_read& dir) {
    vq::platform::ScopedLock lock(fileLock);
    return const_cast<vq_svs_ifdDir_read&>(dir).getPixelFormat(&tiffStream);
}

int SVSTileLoader::getPixelFormat(int level, int image) {
    if (level > 0 || imageCount > 1) walkDirectories();
    if (!isValidLevel(level, image)) return -1;
    return getDirectoryPixelFormat(findLevelDirectory(level, image));
}

IntPair SVSTileLoader::visibleTileSize(int x, int y, int g, int image) const {
    IntPair size = imageTileSizes[image];
    if (x == levelTileGrids[g].first - 1) size.first = levelEdgeTileSizes[g].first;
    if (y == levelTileGrids[g].second - 1) size.second = levelEdgeTileSizes[g].second;
    return size;
}

bool SVSTileLoader::isRawCodecSupported(int image) {
    if (image < 0 || image >= imageCount || image >= int(imageCompressions.size())) return false;
    return imageCompressions[image] == 33003 || imageCompressions[image] == 7;
}

bool SVSTileLoader::createTileDecoder(vq_tileDecoder_base** out, int image) {
    if (out == nullptr || image < 0 || image >= imageCount || image >= int(imageCompressions.size())) return false;
    if (imageCompressions[image] == 33003) {
        vq_TIFFJ2KTileDecoder* d = createTIFFJ2KTileDecoder();
        if (d == nullptr) return false;
        d->decoderKind = j2kDecoderKind;
        setUpDecoder(d, image);
        *out = d;
        return true;
    }
    if (imageCompressions[image] != 7) return false;
    vq_TIFFJPEGTileDecoder* d = createTIFFJPEGTileDecoder();
    if (d == nullptr) return false;
    setUpDecoder(d, image);
    *out = d;
    return true;
}

bool SVSTileLoader::loadRawTile(int x, int y, int level, int image, vq_raw_tile** out) {
    walkDirectories();
    if (out == nullptr) return false;
    if (level == -2) return loadWholeImage(labelDirectory, out);
    if (level == -3) return loadWholeImage(macroDirectory, out);
    // Every other negative level (the thumbnail included) is refused here.
    if (!isValidLevel(level, image)) return false;
    const int g = globalLevel(level, image);
    const int32_t n = y * levelTileGrids[g].first + x;
    uint32_t count = 0;
    uint64_t offset = 0;
    if (!getTileLocation(levelDirectories[g], n, &count, &offset)) return false;
    const int c = imageCompressions[image];
    const IntPair size = imageTileSizes[image];
    if (c == 33003 || c == 1 || c == 5) {
        vq_ptr<vq_raw_tile> tile;
        if (!createRawTile(tile.put()) || !tile->allocate(int32_t(count + (c == 5 ? 3 : 0)), size)) return false;
        tile->setCompression(c);
        if (!readAt(offset, tile->getData(), count)) return false;
        if (c != 5) {
            handOut(tile.get(), out);
            return true;
        }
        const int64_t rgbBytes = int64_t(size.first) * 3 * size.second;
        if (size.first <= 0 || size.second <= 0 || rgbBytes * 4 / 3 > INT32_MAX - 16 ||
            !tileFitsItsBytes(rgbBytes, count))
            return false;
        LzwWorkBuffers lzw;
        if (!lzw.prepare(size.first * 4 * size.second) ||
            !lzw.decode(tile->getData(), count, size.first * 3, size.second))
            return false;
        vq_ptr<vq_raw_tile> rgb;
        if (!createRawTile(rgb.put()) || !rgb->allocate(int32_t(rgbBytes), size)) return false;
        std::memcpy(rgb->getData(), lzw.data(), size_t(rgbBytes));
        handOut(rgb.get(), out);
        return true;
    }
    if (c != 7) return false;
    std::vector<uint8_t> tables;
    bool unreadable = false;
    if (hasAnyJpegTables()) tables = levelTables(g, &unreadable);
    if (unreadable) return false;
    if (tables.empty()) {
        // Tiles of files (or levels) without tables are complete streams.
        vq_ptr<vq_raw_tile> tile;
        if (!createRawTile(tile.put()) || !tile->allocate(int32_t(count), size)) return false;
        tile->setCompression(7);
        if (!readAt(offset, tile->getData(), count)) return false;
        handOut(tile.get(), out);
        return true;
    }
    return buildJpegWithTables(tables, count, offset, size, out);
}

std::vector<uint8_t> SVSTileLoader::getDirectoryJpegTables(int n) {
    if (n > 0) walkDirectories();
    vq::platform::ScopedLock lock(fileLock);
    if (n < 0 || n >= int(levelDirectories.size())) return {};
    if (!levelDirectories[n].findItem(347).isValid()) return {};
    return levelDirectories[n].loadItem(347, &tiffStream);
}

bool SVSTileLoader::getJpegTables(int level, int image, vq_raw_tile** out) {
    if (out == nullptr || level < 0) return false;
    if (level > 0 || imageCount > 1) walkDirectories();
    if (!isValidLevel(level, image)) return false;
    const int g = globalLevel(level, image);
    if (g >= int(levelOrdinals.size())) return false;
    // The level's ordinal counts the level directories of the whole file; the
    // level directory list is in the same order.
    const std::vector<uint8_t> bytes = getDirectoryJpegTables(g);
    if (bytes.empty()) return false;
    vq_ptr<vq_raw_tile> tile;
    if (!createRawTile(tile.put()) || !tile->allocate(int32_t(bytes.size()), IntPair(256, 256))) return false;
    std::memcpy(tile->getData(), bytes.data(), bytes.size());
    handOut(tile.get(), out);
    return true;
}

bool SVSTileLoader::loadTile(int x, int y, int level, int image, imageContainer* dst, int format) {
    walkDirectories();
    if (dst == nullptr) return false;
    if (level == -1) return decodeExtraImage(thumbnailDirectory, dst, format);
    if (level == -2) return decodeExtraImage(labelDirectory, dst, format);
    if (level == -3) return decodeExtraImage(macroDirectory, dst, format);
    if (!isValidLevel(level, image)) return false;
    const int g = globalLevel(level, image);
    int pf = getDirectoryPixelFormat(levelDirectories[g]);
    if (pf == 3) pf = 4;
    const IntPair full = imageTileSizes[image];
    const IntPair size = visibleTileSize(x, y, g, image);
    const int c = imageCompressions[image];
    if (c == 33003) {
        // The decoder makes the RGB container at the tile size and crops it
        // to the visible size of an edge tile.
        vq_ptr<vq_raw_tile> raw;
        if (!loadRawTile(x, y, level, image, raw.put())) return false;
        vq_ptr<vq_TIFFJ2KTileDecoder> decoder = vq_ptr<vq_TIFFJ2KTileDecoder>::adopt(createTIFFJ2KTileDecoder());
        if (!decoder) return false;
        decoder->decoderKind = j2kDecoderKind;
        setUpDecoder(decoder.get(), image);
        if (!decoder->decodeTile(IntPair(x, y), level, raw->getData(), raw->getDataLength(), dst)) return false;
        return dst->convertTo(format);
    }
    if (c != 7 && c != 1 && c != 5) return false;  // nothing to decode a tile with
    // The stored tile is read first: its size bounds the container.
    vq_ptr<vq_raw_tile> raw;
    if (!loadRawTile(x, y, level, image, raw.put())) return false;
    if (!tileFitsItsBytes(int64_t(full.first) * full.second * bytesPerPixelOf(pf), raw->getDataLength()) ||
        !dst->create(pf, full.first, full.second, false))
        return false;
    dst->crop(size.first, size.second);
    if (c == 7) {
        vq_ptr<vq_TIFFJPEGTileDecoder> decoder = vq_ptr<vq_TIFFJPEGTileDecoder>::adopt(createTIFFJPEGTileDecoder());
        if (!decoder) return false;
        setUpDecoder(decoder.get(), image);
        if (!decoder->decodeTile(IntPair(x, y), level, raw->getData(), raw->getDataLength(), dst)) return false;
    } else {
        // Rows are copied only as far as the stored (or unpacked) bytes go.
        const uint8_t* data = nullptr;
        int32_t step = 0;
        dst->lockPixelsConst(&data, &step);
        auto* d = const_cast<uint8_t*>(data);
        const int64_t rowBytes = int64_t(full.first) * bytesPerPixelOf(pf);
        const int64_t have = raw->getDataLength();
        for (int r = 0; r < full.second; ++r) {
            const int64_t from = rowBytes * r;
            if (from >= have) break;
            std::memcpy(d + int64_t(step) * r, raw->getData() + from, size_t(std::min(rowBytes, have - from)));
        }
        dst->unlockPixels();
    }
    return dst->convertTo(format);
}

bool SVSTileLoader::loadTileYCbCr(int x, int y, int level, int image, imageContainer* yPlane,
                                  imageContainer* cbPlane, imageContainer* crPlane) {
    walkDirectories();
    if (yPlane == nullptr || cbPlane == nullptr || crPlane == nullptr || !isValidLevel(level, image)) return false;
    const int subsampling = tileKind(image).subsampling;
    if (getCompression(image) != 7 || subsampling == 5) return false;
    vq_ptr<vq_raw_tile> raw;
    if (!loadRawTile(x, y, level, image, raw.put())) return false;
    vq_ptr<vq_TIFFJPEGTileDecoder> decoder = vq_ptr<vq_TIFFJPEGTileDecoder>::adopt(createTIFFJPEGTileDecoder());
    if (!decoder) return false;
    setUpDecoder(decoder.get(), image);
    if (!decoder->decodeTileYCbCr(IntPair(x, y), level, raw->getData(), raw->getDataLength(), yPlane, cbPlane,
                                  crPlane))
        return false;
    // Edge tiles are stored at the full tile size; the planes show the image.
    const IntPair size = visibleTileSize(x, y, globalLevel(level, image), image);
    if (size != imageTileSizes[image]) {
        yPlane->crop(size.first, size.second);
        const IntPair chroma = chromaPlaneSize(size, subsampling);
        cbPlane->crop(chroma.first, chroma.second);
        crPlane->crop(chroma.first, chroma.second);
    }
    return true;
}

SVSTileLoader::TileKind SVSTileLoader::tileKind(int image) {
    walkDirectories();
    vq::platform::ScopedLock lock(tileKindLock);
    if (image < 0 || image >= imageCount) return TileKind();
    if (int(imageTileKinds.size()) < imageCount) {
        imageTileKinds.resize(size_t(imageCount));
        imageTileKindKnown.resize(size_t(imageCount), false);
    }
    if (imageTileKindKnown[image]) return imageTileKinds[image];
    TileKind kind;
    vq_ptr<vq_raw_tile> first;
    if (isValidLevel(0, image) && getCompression(image) == 7 && loadRawTile(0, 0, 0, image, first.put())) {
        JpegStreamParser parser;
        parser.readFrameHeader(first->getData(), uint32_t(first->getDataLength()));
        if (parser.parsed) {
            kind.subsampling = parser.getSubsampling();
            const bool sharedTables = levelDirectories[globalLevel(0, image)].findItem(347).isValid();
            kind.rawJpeg = sharedTables && kind.subsampling != 5 && parser.getColourSpace() == 3;
        }
    }
    imageTileKinds[image] = kind;
    imageTileKindKnown[image] = true;
    return kind;
}

bool SVSTileLoader::loadThumbnail(vq_raw_tile** out, int image) { return loadThumbnailCached(out, image, false); }

bool SVSTileLoader::loadThumbnailCached(vq_raw_tile** out, int, bool keep) {
    if (out == nullptr) return false;
    walkDirectories();
    vq::platform::ScopedLock lock(thumbnailLock);
    if (cachedThumbnail) {
        handOut(cachedThumbnail.get(), out);
        return true;
    }
    if (!loadWholeImage(thumbnailDirectory, out)) return false;
    if (keep) cachedThumbnail = *out;
    return true;
}

int SVSTileLoader::getDirectoryMemory() {
    vq::platform::ScopedLock lock(fileLock);
    int64_t sum = thumbnailDirectory.getLoadedValueBytes();
    for (const auto& d : levelDirectories) sum += d.getLoadedValueBytes();
    return int(std::min<int64_t>(sum, INT32_MAX));
}

std::string SVSTileLoader::getMemoryReport() {
    char text[64];
    std::snprintf(text, sizeof text, "IFD Memory used:%d\r\n<br>", getDirectoryMemory());
    return text;
}

SVSTileLoader* makeSVSTileLoader(vq_stream* stream) {
    if (stream == nullptr) return nullptr;
    auto* r = new SVSTileLoader(stream);
    r->addRef();
    return r;
}

bool createSVSRawTileLoader(vq_stream* stream, vq_tileloader_base** out) {
    if (out == nullptr || stream == nullptr) return false;
    SVSTileLoader* r = makeSVSTileLoader(stream);
    if (r == nullptr) return false;
    if (!r->readMetadata()) {
        r->release();
        return false;
    }
    *out = r;
    return true;
}
