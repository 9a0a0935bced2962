// JP2 tile loader: see jp2_tile_loader.h.
#include "readers/jp2/jp2_tile_loader.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>

#include "j2k/decoder/codestream.h"

namespace {

constexpr size_t kCacheEntries = 4;

// Per axis: the level size modulo the tile size, or the whole tile size.
int32_t EdgeOf(int32_t size, int32_t tile) {
    const int32_t r = size % tile;
    return r == 0 ? tile : r;
}

} // namespace

vq_J2KTileloader* vq_J2KTileloader::create(vq_stream* stream) {
    auto* loader = new (std::nothrow) vq_J2KTileloader(stream);
    if (loader)
        loader->addRef();
    return loader;
}

bool vq_J2KTileloader::open() {
    if (!stream)
        return false;
    stream->seek(0, vq_seekEnd);
    fileSize = stream->tell();
    stream->seek(0, vq_seekStart);
    if (!source.open(stream.get()))
        return false;
    vq_J2KFileInfo& info = source.info();
    if (!info.isTiled())
        return false;
    const IntPair ct = info.getTileSize();
    if (ct.first != ct.second || ct.first <= 0)
        return false;
    // Output tiles are counted from the image's top-left corner: the code-stream
    // grid must start there too (other files go to the strip loader).
    const DJP2MainHeader& mh = source.codestream().MainHeader();
    if (mh.imageRect.x0 != 0 || mh.imageRect.y0 != 0 || mh.tileOrigin.first != 0 || mh.tileOrigin.second != 0)
        return false;
    tilesAcross = info.getTileCounts().first;
    tilesDown = info.getTileCounts().second;

    IntPair out = ct;
    while (out.first >= 512 && out.first % 2 == 0)
        out = IntPair(out.first / 2, out.second / 2);
    outputTileSize = out;

    // Sizes come from the file: counts are formed in 64 bits and a pyramid
    // of more tiles than a 32-bit count holds is refused.
    int64_t total = 0;
    auto addLevel = [&](IntPair codestreamTile, IntPair size) {
        const int64_t across = (int64_t(size.first) + out.first - 1) / out.first;
        const int64_t down = (int64_t(size.second) + out.second - 1) / out.second;
        codestreamTileSizes.push_back(codestreamTile);
        levelSizes.push_back(size);
        edgeSizes.emplace_back(EdgeOf(size.first, out.first), EdgeOf(size.second, out.second));
        levelTileCounts.emplace_back(int32_t(across), int32_t(down));
        total += across * down;
        return total <= INT32_MAX;
    };
    IntPair cw = ct, size = info.getImageSize();
    if (!addLevel(cw, size))
        return false;
    // Reduced levels only where a reduced decoding can stop early in every
    // tile's packet sequence; otherwise the pyramid is built from level 0.
    const int levels = source.reductionsAllowed() ? info.getReductionLevels() : 0;
    for (int i = 1; i < levels; ++i) {
        if (cw.first % 2 != 0)
            break;
        cw = IntPair(cw.first / 2, cw.second / 2);
        size = IntPair(size.first / 2, size.second / 2);
        const int32_t ratio = out.first / cw.first;
        if (int64_t(ratio) * ratio > 1024)
            break;
        if (size.first <= out.first && size.second <= out.second)
            break;
        if (!addLevel(cw, size))
            return false;
    }
    totalTiles = int32_t(total);
    return true;
}

IntPair vq_J2KTileloader::getLevelTileCounts(int level, int) {
    return level >= 0 && size_t(level) < levelTileCounts.size() ? levelTileCounts[size_t(level)] : IntPair(0, 0);
}

IntPair vq_J2KTileloader::getLevelSize(int level, int) {
    return level >= 0 && size_t(level) < levelSizes.size() ? levelSizes[size_t(level)] : IntPair(0, 0);
}

bool vq_J2KTileloader::isValidTile(int x, int y, int level, int image) {
    if (x < 0 || y < 0 || level < 0 || image != 0)
        return false;
    if (size_t(level) >= levelTileCounts.size())
        return false;
    return x < levelTileCounts[size_t(level)].first && y < levelTileCounts[size_t(level)].second;
}

vq_ptr<imageContainer> vq_J2KTileloader::decodeTile(int cx, int cy, int reduction, int32_t format, bool cached) {
    if (cx < 0 || cy < 0 || cx >= tilesAcross || cy >= tilesDown || stop)
        return {};
    const vq_tileKey key(cx, cy, reduction);
    const uint32_t t = uint32_t(cx) + uint32_t(cy) * uint32_t(tilesAcross);
    std::unique_ptr<DJP2Tile> copy;
    {
        const vq::platform::ScopedLock guard(lockSection);
        if (cached)
            for (const CacheEntry& e : cache)
                if (e.key == key && e.format == format)
                    return e.tile;
        copy = source.decodePackets(t, nullptr, uint32_t(reduction));
    }
    if (!copy)
        return {};
    vq_ptr<imageContainer> tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
    if (!tile || !source.reconstruct(*copy, t, uint32_t(reduction), format, tile.get()))
        return {};
    copy.reset();
    if (cached) {
        const vq::platform::ScopedLock guard(lockSection);
        cache.push_back(CacheEntry{key, format, tile});
        if (cache.size() > kCacheEntries)
            cache.pop_front();
    }
    return tile;
}

bool vq_J2KTileloader::loadTile(int x, int y, int level, int image, imageContainer* dst, int format) {
    if (!dst || !isValidTile(x, y, level, image))
        return false;
    try {
        {
            const vq::platform::ScopedLock guard(lockSection);
            if (failed || stop)
                return false;
            // One pass over the tile-part headers; a failed pass leaves the
            // input somewhere inside the stream, so the loader stays failed.
            if (!source.indexed() && !source.buildIndex()) {
                failed = true;
                return false;
            }
        }
        return loadTileLocked(x, y, level, dst, format);
    } catch (...) {
        return false;
    }
}

bool vq_J2KTileloader::loadTileLocked(int x, int y, int level, imageContainer* dst, int requested) {
    const size_t l = size_t(level);
    const int32_t format = J2KDeliveredFormat(requested, source.info().getPixelFormat());
    const IntPair out = outputTileSize;
    const int32_t w = x == levelTileCounts[l].first - 1 ? edgeSizes[l].first : out.first;
    const int32_t h = y == levelTileCounts[l].second - 1 ? edgeSizes[l].second : out.second;
    if (!dst->create(format, out.first, out.second, false))
        return false;
    if (!dst->crop(w, h))
        std::fprintf(stderr, "Crop failed in J2K tile loader\n");

    const IntPair cw = codestreamTileSizes[l];
    const int cx = int(int64_t(x) * out.first / cw.first), cy = int(int64_t(y) * out.second / cw.second);
    if (cw.first >= out.first) {
        // One code-stream tile holds this output tile (and, when larger, its
        // neighbours: then it comes through the cache).
        const int m = cw.first / out.first - 1;
        const IntPair sub((x & m) * out.first, (y & m) * out.second);
        const vq_ptr<imageContainer> tile = decodeTile(cx, cy, level, format, cw.first > out.first);
        if (!tile || stop)
            return false;
        // The decoded tile must cover the whole visible output tile.
        if (sub.first + w > tile->getWidth() || sub.second + h > tile->getHeight())
            return false;
        return dst->copyRegionFrom(tile.get(), sub, IntPair(0, 0), w, h);
    }
    // Several code-stream tiles make this output tile: each one needed must
    // decode and cover its part, or the tile fails.
    const int n = out.first / cw.first;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const IntPair at(i * cw.first, j * cw.second);
            if (at.first >= w || at.second >= h)
                continue;
            if (stop)
                return false;
            const int32_t pw = std::min(cw.first, w - at.first), ph = std::min(cw.second, h - at.second);
            const vq_ptr<imageContainer> tile = decodeTile(cx + i, cy + j, level, format, false);
            if (!tile || tile->getWidth() < pw || tile->getHeight() < ph)
                return false;
            if (!dst->copyRegionFrom(tile.get(), IntPair(0, 0), at, pw, ph))
                return false;
        }
    return !stop;
}
