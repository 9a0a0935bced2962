#include <cstdio>
#include <cstring>
#include <set>

#include "engine/base/raw_tile.h"
#include "engine/base/reader_messages.h"
#include "engine/base/stream.h"
#include "jpeg/jpeg_tables.h"
#include "readers/tiff/scn_namespace.h"
#include "readers/tiff/svs_reader.h"

IntPair edgeTileSize(IntPair size, IntPair tile) {
    int w = tile.first > 0 ? size.first % tile.first : 0;
    int h = tile.second > 0 ? size.second % tile.second : 0;
    return IntPair(w == 0 ? tile.first : w, h == 0 ? tile.second : h);
}

// Estimated objective magnification from XResolution in pixels per
// centimetre: 40000 (0.25 micrometre per pixel) gives 40.
int estimateMagnification(vq_svs_ifdDir_read& dir, vq_svs_stream_read* s) {
    if (!dir.findItem(282).isValid() || !dir.findItem(283).isValid()) return 0;
    dir.loadItem(282, s);
    dir.loadItem(283, s);
    uint32_t num = 0, den = 0;
    if (!dir.findItem(282).getRational(&num, &den)) num = den = 0;
    const uint32_t unit = dir.inlineValueOr(296, 1);
    if (unit != 3 || den == 0) return 0;
    const int32_t m = (int32_t(num) / int32_t(den)) / 1000;
    return m >= 1 && m <= 200 ? m : 0;
}

namespace {

bool contains(const std::vector<uint8_t>& bytes, const char* text) {
    const size_t n = std::strlen(text);
    if (bytes.size() < n) return false;
    for (size_t i = 0; i + n <= bytes.size(); ++i)
        if (std::memcmp(bytes.data() + i, text, n) == 0) return true;
    return false;
}

} // namespace

int roundUpToMultiple(int a, int b) {
    if (b <= 0) return a;
    return (a + b - 1) - ((a + b - 1) % b);
}

SVSRawTileLoader::SVSRawTileLoader(vq_stream* s) : stream(s) {}

SVSRawTileLoader::~SVSRawTileLoader() = default;

IntPair SVSRawTileLoader::getTileSize(int image) {
    if (image < 0 || image >= int(imageTileSizes.size())) return IntPair(0, 0);
    return imageTileSizes[image];
}

std::vector<IntPair> SVSRawTileLoader::getLevelSizes(int image) {
    walkDirectories();
    if (image < 0 || image >= imageCount || image >= int(imageLevelCounts.size())) return {};
    std::vector<IntPair> out;
    for (int l = 0; l < imageLevelCounts[image]; ++l) out.push_back(levelSizes[globalLevel(l, image)]);
    return out;
}

IntPair SVSRawTileLoader::getLevelTileCounts(int level, int image) {
    if (level > 0 || imageCount > 1) walkDirectories();
    if (!isValidLevel(level, image)) return IntPair(0, 0);
    return levelTileGrids[globalLevel(level, image)];
}

IntPair SVSRawTileLoader::getLevelSize(int level, int image) {
    if (level > 0 || imageCount > 1) walkDirectories();
    if (!isValidLevel(level, image)) return IntPair(0, 0);
    return levelSizes[globalLevel(level, image)];
}

int SVSRawTileLoader::getCompression(int image) {
    if (image < 0 || image >= int(imageCompressions.size())) return 0;
    return imageCompressions[image];
}

int SVSRawTileLoader::getSubsampling(int image) {
    if (image < 0 || image >= int(imageSubsamplings.size())) return 5;
    return imageSubsamplings[image];
}

int SVSRawTileLoader::getMagnification(int image) {
    if (image < 0 || image >= int(magnifications.size())) return 0;
    return magnifications[image];
}

bool SVSRawTileLoader::isValidLevel(int level, int image) const {
    if (image < 0 || image >= imageCount || image >= int(imageLevelCounts.size())) return false;
    if (level < 0 || level >= imageLevelCounts[image]) return false;
    const int g = imageFirstLevels[image] + level;
    return g >= 0 && g < int(levelSizes.size()) && g < int(levelTileGrids.size()) &&
           g < int(levelDirectories.size());
}

std::vector<int> SVSRawTileLoader::getLevelOrdinals(int image) {
    std::vector<int> out;
    if (image < 0 || image >= imageCount) return out;
    for (int l = 0; l < imageLevelCounts[image]; ++l) {
        const int g = globalLevel(l, image);
        if (g < int(levelOrdinals.size())) out.push_back(levelOrdinals[g] - imageFirstLevels[image]);
    }
    return out;
}

void SVSRawTileLoader::addLevelGeometry(const vq_svs_ifdDir_read& dir, int image) {
    if (int(imageTileSizes.size()) < image + 1) imageTileSizes.resize(image + 1);
    imageTileSizes[image] = dir.getTileSize();
    levelEdgeTileSizes.push_back(edgeTileSize(dir.getImageSize(), dir.getTileSize()));
    levelTileGrids.push_back(dir.getTileGrid());
}

void SVSRawTileLoader::addLevel(const vq_svs_ifdDir_read& dir, int ordinal, int image) {
    levelSizes.push_back(dir.getImageSize());
    levelOrdinals.push_back(ordinal);
    addLevelGeometry(dir, image);
    levelDirectories.push_back(dir);
}

bool SVSRawTileLoader::hasAnyJpegTables() const {
    for (const auto& d : levelDirectories)
        if (d.findItem(347).isValid()) return true;
    return false;
}

std::vector<uint8_t> SVSRawTileLoader::levelTables(int g, bool* unreadable) {
    vq::platform::ScopedLock lock(fileLock);
    if (unreadable) *unreadable = false;
    if (g < 0 || g >= int(levelDirectories.size())) return {};
    std::vector<uint8_t> tables = levelDirectories[g].loadItem(347, &tiffStream);
    // A level that has tables its tiles need, which cannot be read: its
    // tiles are not complete streams.
    if (unreadable && tables.empty() && levelDirectories[g].findItem(347).isValid()) {
        reportReaderMessage("The JPEG tables of slide level %d cannot be read\n", g);
        *unreadable = true;
    }
    return tables;
}

bool SVSRawTileLoader::readMetadata() {
    vq::platform::ScopedLock lock(fileLock);
    if (!stream) return false;
    if (stream->seek(0, vq_seekEnd) != 0) return false;
    fileSize = stream->tell();
    tiffStream.setStream(stream.get());
    if (!header.read(&tiffStream) || header.getFirstIfdOffset() == 0) return false;
    vq_svs_ifdDir_read first;
    first.setOffset(header.getFirstIfdOffset());
    first.setIndex(0);
    first.setBigTIFF(header.isBigTIFF());
    if (!first.read(&tiffStream)) return false;
    if (first.isTiled()) {
        imageCount = 1;
        imageFirstLevels = {0};
        imageLevelCounts = {1};
        // A first level without a Compression entry counts as uncompressed.
        imageCompressions = {slideCompression(first)};
        addLevel(first, 0, 0);
    }
    walkedDirectories.push_back(first);
    pendingIfdOffset = first.getNextOffset();
    readDescription();
    if (!description.empty()) {
        const std::vector<uint8_t> text(description.begin(), description.end());
        if (contains(text, "<?xml") && contains(text, kScnNamespaceUri)) {
            isScn = true;
            imageCount = 1;
            walkDirectories();
            readScnDescription();
        } else if (size_t at = description.find("AppMag = "); at != std::string::npos) {
            int mag = 0;
            std::sscanf(description.c_str() + at, "AppMag = %d", &mag);
            magnifications = {mag};
        } else if (!levelDirectories.empty()) {
            magnifications = {estimateMagnification(levelDirectories[0], &tiffStream)};
        }
    } else if (!levelDirectories.empty()) {
        magnifications = {estimateMagnification(levelDirectories[0], &tiffStream)};
    }
    return !levelSizes.empty() && imageCount > 0;
}

void SVSRawTileLoader::readDescription() {
    vq::platform::ScopedLock lock(fileLock);
    if (levelDirectories.empty() || !levelDirectories[0].findItem(270).isValid()) return;
    const std::vector<uint8_t>& bytes = levelDirectories[0].loadItem(270, &tiffStream);
    if (!bytes.empty()) description.assign(bytes.begin(), bytes.end());
}

bool SVSRawTileLoader::walkDirectories() {
    vq::platform::ScopedLock lock(fileLock);
    if (pendingIfdOffset == 0) return true;
    imageTileCounts = {0};
    uint64_t offset = pendingIfdOffset;
    pendingIfdOffset = 0;
    // A chain that returns to a directory already read ends the walk.
    std::set<uint64_t> seen{header.getFirstIfdOffset()};
    bool thumbnailCandidateSeen = false;
    int index = 1;
    int ordinal = 1;
    bool ok = true;
    while (offset != 0) {
        if (!seen.insert(offset).second) break;
        vq_svs_ifdDir_read dir;
        dir.setOffset(offset);
        dir.setIndex(index++);
        dir.setBigTIFF(header.isBigTIFF());
        if (!dir.read(&tiffStream)) {
            ok = false;
            break;
        }
        walkedDirectories.push_back(dir);
        if (dir.isTiled()) {
            // A slide whose first directory is a strip image has no level 0
            // and takes no further levels.
            if (!imageLevelCounts.empty()) {
                imageLevelCounts[0] += 1;
                addLevel(dir, ordinal++, 0);
            }
        } else if (!thumbnailCandidateSeen) {
            thumbnailCandidateSeen = true;
            if (dir.findItem(347).isValid()) thumbnailDirectory = dir;
        } else {
            const std::vector<uint8_t>& text = dir.loadItem(270, &tiffStream);
            const bool macroText = contains(text, "macro");
            const bool labelText = !macroText && contains(text, "label");
            const uint32_t subfile = dir.inlineValueOr(254, 0);
            if (subfile == 9 || macroText)
                macroDirectory = dir;
            else if (subfile == 1 || labelText)
                labelDirectory = dir;
        }
        offset = dir.getNextOffset();
    }
    return ok && !levelSizes.empty();
}

int SVSRawTileLoader::getTileCount(int image) {
    vq::platform::ScopedLock lock(fileLock);
    if (imageTileCounts.empty()) walkDirectories();
    if (!isValidLevel(0, image)) return 0;
    if (int(imageTileCounts.size()) < imageCount) imageTileCounts.resize(imageCount, 0);
    if (imageTileCounts[image] == 0) {
        int64_t sum = 0;
        for (int l = 0; l < imageLevelCounts[image]; ++l) {
            const IntPair grid = levelTileGrids[globalLevel(l, image)];
            sum += int64_t(grid.first) * grid.second;
        }
        imageTileCounts[image] = sum > INT32_MAX ? INT32_MAX : int(sum);
    }
    return imageTileCounts[image];
}

bool SVSRawTileLoader::isValidTile(int x, int y, int level, int image) {
    walkDirectories();
    if (level == -1) return thumbnailDirectory.hasEntries();
    if (level == -2) return labelDirectory.hasEntries();
    if (level == -3) return macroDirectory.hasEntries();
    if (x < 0 || y < 0 || !isValidLevel(level, image)) return false;
    const IntPair grid = levelTileGrids[globalLevel(level, image)];
    return x < grid.first && y < grid.second;
}

bool SVSRawTileLoader::getTileLocation(vq_svs_ifdDir_read& dir, int32_t n, uint32_t* byteCount,
                                       uint64_t* offset) {
    vq::platform::ScopedLock lock(fileLock);
    if (!dir.findItem(325).isValid() || !dir.findItem(324).isValid()) return false;
    dir.loadItem(325, &tiffStream);
    dir.loadItem(324, &tiffStream);
    const vq_svs_ifdItem_read& counts = dir.findItem(325);
    uint32_t c = 0;
    if (!counts.getValue32(&c, n)) {
        uint64_t c64 = 0;
        if (!counts.getValue64(&c64, n) || c64 > uint64_t(INT32_MAX - 16)) return false;
        c = uint32_t(c64);
    }
    uint64_t off = 0;
    if (!dir.findItem(324).getValue64(&off, n)) return false;
    if (c == 0 || off == 0 || c > uint32_t(INT32_MAX - 16)) return false;
    // A tile must lie inside the file before its byte count sizes a buffer.
    const uint64_t size = fileSize > 0 ? uint64_t(fileSize) : 0;
    if (off > size || c > size - off) return false;
    *byteCount = c;
    *offset = off;
    return true;
}

bool SVSRawTileLoader::readAt(uint64_t offset, uint8_t* dst, uint32_t n) {
    vq::platform::ScopedLock lock(fileLock);
    if (tiffStream.seek(int64_t(offset), 0) != 0) return false;
    return tiffStream.readBytes(dst, int32_t(n)) == int32_t(n);
}

bool SVSRawTileLoader::loadRawTileAsStored(int x, int y, int level, int image, vq_raw_tile** out) {
    walkDirectories();
    if (out == nullptr || !isValidLevel(level, image)) return false;
    const int g = globalLevel(level, image);
    const int32_t n = y * levelTileGrids[g].first + x;
    uint32_t count = 0;
    uint64_t offset = 0;
    if (!getTileLocation(levelDirectories[g], n, &count, &offset)) return false;
    vq_ptr<vq_raw_tile> tile;
    if (!createRawTile(tile.put()) || !tile->allocate(int32_t(count), imageTileSizes[image])) return false;
    tile->setCompression(getCompression(image));
    if (!readAt(offset, tile->getData(), count)) return false;
    *out = tile.get();
    (*out)->addRef();
    return true;
}

bool SVSRawTileLoader::buildJpegWithTables(const std::vector<uint8_t>& tablesIn, uint32_t n, uint64_t offset,
                                           IntPair size, vq_raw_tile** out) {
    const JpegTablesBody tablesBody = jpegTablesBody(tablesIn.data(), tablesIn.size());
    const size_t tablesLength = tablesBody.length;
    const int64_t total = int64_t(n) + int64_t(tablesLength) + 2;
    if (total > INT32_MAX) return false;
    vq_ptr<vq_raw_tile> tile;
    if (!createRawTile(tile.put()) || !tile->allocate(int32_t(total), size)) return false;
    tile->setCompression(7);
    uint8_t* d = tile->getData();
    d[0] = 0xFF;
    d[1] = 0xD8;
    if (tablesLength) std::memcpy(d + 2, tablesBody.data, tablesLength);
    uint8_t* body = d + 2 + tablesLength;
    if (!readAt(offset, body, n)) return false;
    int64_t length = total;
    if (n >= 2 && body[0] == 0xFF && body[1] == 0xD8) {
        std::memmove(body, body + 2, n - 2);
        length -= 2;
    }
    // The data length is the stream's content: no stale bytes after EOI.
    tile->setDataLength(int32_t(length));
    JpegStreamParser parser;
    parser.source = d;
    parser.sourceLength = uint32_t(length);
    parser.parse(false);
    if (parser.parsed) parser.fixComponentIds();
    *out = tile.get();
    (*out)->addRef();
    return true;
}

bool SVSRawTileLoader::loadRawTile(int x, int y, int level, int image, vq_raw_tile** out) {
    walkDirectories();
    if (out == nullptr || !isValidLevel(level, image)) return false;
    const int g = globalLevel(level, image);
    // Tables belong to the level's own directory; a level that keeps none
    // (or a file without any) gives its tiles as stored.
    std::vector<uint8_t> tables;
    bool unreadable = false;
    if (getCompression(image) == 7 && hasAnyJpegTables()) tables = levelTables(g, &unreadable);
    if (unreadable) return false;
    if (tables.empty()) return loadRawTileAsStored(x, y, level, image, out);
    const int32_t n = y * levelTileGrids[g].first + x;
    uint32_t count = 0;
    uint64_t offset = 0;
    if (!getTileLocation(levelDirectories[g], n, &count, &offset)) return false;
    return buildJpegWithTables(tables, count, offset, imageTileSizes[image], out);
}

bool SVSRawTileLoader::loadThumbnail(vq_raw_tile**, int) {
    // The raw reader assembles no whole images; SVSTileLoader does.
    return false;
}

SVSRawTileLoader* makeSVSRawTileLoader(vq_stream* stream) {
    if (stream == nullptr) return nullptr;
    auto* r = new SVSRawTileLoader(stream);
    r->addRef();
    return r;
}

bool openSVSRawTileLoader(vq_stream* stream, SVSRawTileLoader** out) {
    if (out == nullptr) return false;
    SVSRawTileLoader* r = makeSVSRawTileLoader(stream);
    if (r == nullptr) return false;
    if (!r->readMetadata()) {
        r->release();
        return false;
    }
    *out = r;
    return true;
}
