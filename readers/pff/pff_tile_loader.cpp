#include "readers/pff/pff_tile_loader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "jpeg/jpeg_stream_parser.h"
#include "jpeg/jpeg_tile_decoder.h"

namespace {

// The largest tile edge a JPEG frame can state.
constexpr uint32_t kMaxTileSize = 65535;

void setUpDecoder(vq_TIFFJPEGTileDecoder* d, const PFFTileLoader& loader) {
    d->tileSize = IntPair(loader.tileSize, loader.tileSize);
    d->edgeSizes.clear();
    d->tileCounts.clear();
    for (const pff::Level& l : loader.levels) {
        d->edgeSizes.push_back(l.edge);
        d->tileCounts.push_back(l.grid);
    }
}

} // namespace

PFFTileLoader* PFFTileLoader::create() { return new (std::nothrow) PFFTileLoader; }

bool createPFFTileLoader(vq_stream* stream, vq_tileloader_base** out) {
    if (stream == nullptr || out == nullptr) return false;
    PFFTileLoader* loader = PFFTileLoader::create();
    if (loader == nullptr) return false;
    loader->addRef();
    loader->stream = vq_ptr<vq_stream>(stream);
    if (!loader->readStructure()) {
        loader->release();
        return false;
    }
    *out = loader;
    return true;
}

bool PFFTileLoader::readAt(int64_t position, void* buffer, uint32_t length) {
    if (position < 0 || position > fileSize || static_cast<uint64_t>(fileSize - position) < length) return false;
    return stream->seek(position, vq_seekStart) == 0 &&
           stream->read(buffer, length) == static_cast<int32_t>(length);
}

bool PFFTileLoader::readStructure() {
    if (stream == nullptr || stream->seek(0, vq_seekEnd) != 0) return false;
    fileSize = stream->tell();
    if (fileSize < pff::kHeaderLength) return false;

    uint8_t header[pff::kHeaderLength];
    if (!readAt(0, header, sizeof header)) return false;
    if (pff::get32(header + pff::kVersionOffset) != pff::kVersion) return false;
    const uint32_t t = pff::get32(header + pff::kTileSizeOffset);
    if (t < 1 || t > kMaxTileSize) return false;
    tileSize = static_cast<int>(t);

    // Every record pair must lie inside the file.
    const uint64_t pairs = pff::get32(header + pff::kPairCountOffset);
    constexpr uint64_t pairLength = pff::kRecordBlockLength + pff::kImageRecordLength;
    if (pairs < 1 || pairs > static_cast<uint64_t>(fileSize - pff::kHeaderLength) / pairLength) return false;
    uint32_t width = 0, height = 0, count = 0;
    for (uint64_t p = 0; p < pairs; ++p) {
        uint8_t record[pff::kImageRecordLength];
        if (!readAt(static_cast<int64_t>(pff::kHeaderLength + p * pairLength + pff::kRecordBlockLength), record,
                    sizeof record))
            return false;
        if (pff::get32(record) != pff::kImageRecordLength) return false;
        if (p == 0) {
            count = pff::get32(record + 8);
            width = pff::get32(record + 12);
            height = pff::get32(record + 16);
        }
    }
    const int64_t chunkBlock = static_cast<int64_t>(pff::kHeaderLength + pairs * pairLength);

    if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX) return false;
    levels = pff::deriveLevels(static_cast<int>(width), static_cast<int>(height), tileSize);
    uint64_t total = 0;
    for (const pff::Level& l : levels) total += uint64_t(l.grid.first) * uint64_t(l.grid.second);
    if (levels.empty() || total != count) return false;

    // The chunk block, then a table of 8 bytes per tile, must fit the file.
    const uint64_t blockLength = pff::get32(header + pff::kChunkBlockLengthOffset);
    const uint64_t room = static_cast<uint64_t>(fileSize - chunkBlock);
    if (blockLength < 4 || blockLength > room || uint64_t{count} > (room - blockLength) / 8) return false;
    if (count > INT32_MAX) return false;
    uint8_t word[4];
    if (!readAt(chunkBlock, word, 4)) return false;
    const uint64_t chunkCount = pff::get32(word);
    // Each chunk takes at least its 4-byte length inside the block.
    if (chunkCount > (blockLength - 4) / 4) return false;
    chunks.clear();
    int64_t at = chunkBlock + 4;
    const int64_t blockEnd = chunkBlock + static_cast<int64_t>(blockLength);
    for (uint64_t c = 0; c < chunkCount; ++c) {
        if (at + 4 > blockEnd || !readAt(at, word, 4)) return false;
        const uint32_t length = pff::get32(word);
        at += 4;
        if (length > static_cast<uint64_t>(blockEnd - at)) return false;
        std::vector<uint8_t> bytes(length);
        if (length > 0 && !readAt(at, bytes.data(), length)) return false;
        at += length;
        JpegStreamParser parser;
        parser.source = bytes.data();
        parser.sourceLength = length;
        parser.parse(false);
        if (subsampling == 5) subsampling = parser.getSubsampling();
        if (pixelFormat == -1 && (parser.getColourSpace() == 3 || parser.getColourSpace() == 4))
            pixelFormat = parser.getColourSpace();
        chunks.push_back(std::move(bytes));
    }

    // The tile ends: each inside the file, and each written tile at least
    // its 4-byte chunk number past the end of the last written one.
    const int64_t table = blockEnd;
    const uint64_t firstTile = static_cast<uint64_t>(table) + uint64_t{count} * 8;
    std::vector<uint8_t> entries(size_t{count} * 8);
    if (count > 0 && !readAt(table, entries.data(), static_cast<uint32_t>(entries.size()))) return false;
    tilePositions.assign(1, firstTile);
    uint64_t last = firstTile;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t end = pff::get64(&entries[size_t{i} * 8]);
        if (end != 0) {
            if (end > static_cast<uint64_t>(fileSize) || end < last + 4 || end - last > INT32_MAX) return false;
            last = end;
        }
        tilePositions.push_back(end);
    }
    tileCount = static_cast<int>(count);
    return true;
}

std::vector<IntPair> PFFTileLoader::getLevelSizes(int) {
    std::vector<IntPair> sizes;
    for (const pff::Level& l : levels) sizes.push_back(l.size);
    return sizes;
}

IntPair PFFTileLoader::getLevelTileCounts(int level, int) {
    return level >= 0 && static_cast<size_t>(level) < levels.size() ? levels[level].grid : IntPair(0, 0);
}

IntPair PFFTileLoader::getLevelSize(int level, int) {
    return level >= 0 && static_cast<size_t>(level) < levels.size() ? levels[level].size : IntPair(0, 0);
}

int64_t PFFTileLoader::tileIndex(int x, int y, int level) const {
    if (level < 0 || static_cast<size_t>(level) >= levels.size()) return -1;
    const IntPair grid = levels[level].grid;
    if (x < 0 || y < 0 || x >= grid.first || y >= grid.second) return -1;
    int64_t index = 0;
    for (int l = 0; l < level; ++l) index += int64_t(levels[l].grid.first) * levels[l].grid.second;
    return index + int64_t{y} * grid.first + x;
}

bool PFFTileLoader::isValidTile(int x, int y, int level, int image) {
    return image == 0 && tileIndex(x, y, level) >= 0;
}

bool PFFTileLoader::loadRawTile(int x, int y, int level, int image, vq_raw_tile** out) {
    if (out == nullptr || stream == nullptr || image != 0) return false;
    const int64_t i = tileIndex(x, y, level);
    if (i < 0 || static_cast<size_t>(i) + 1 >= tilePositions.size()) return false;
    const uint64_t start = tilePositions[static_cast<size_t>(i)], end = tilePositions[static_cast<size_t>(i) + 1];
    // A tile never written, or the one after it (whose start is unknown).
    if (start == 0 || end < start + 4) return false;
    const auto length = static_cast<uint32_t>(end - start);
    vq_ptr<vq_raw_tile> raw = vq_ptr<vq_raw_tile>::adopt(vq_raw_tile::create());
    if (raw == nullptr) return false;
    uint8_t word[4];
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!readAt(static_cast<int64_t>(end) - 4, word, 4)) return false;
        const uint32_t c = pff::get32(word);
        if (c >= chunks.size()) return false;
        const std::vector<uint8_t>& chunk = chunks[c];
        const uint64_t total = uint64_t{chunk.size()} + length;
        if (total > INT32_MAX || !raw->allocate(static_cast<int32_t>(total), IntPair(tileSize, tileSize)))
            return false;
        if (!readAt(static_cast<int64_t>(start), raw->getData() + chunk.size(), length)) return false;
        if (!chunk.empty()) std::memcpy(raw->getData(), chunk.data(), chunk.size());
        raw->setDataLength(static_cast<int32_t>(total));
    }
    raw->addRef();
    *out = raw.get();
    return true;
}

bool PFFTileLoader::loadTile(int x, int y, int level, int image, imageContainer* dst, int format) {
    if (dst == nullptr || level < 0 || image != 0) return false;
    vq_ptr<vq_raw_tile> raw;
    if (!loadRawTile(x, y, level, image, raw.put())) return false;
    vq_ptr<vq_TIFFJPEGTileDecoder> decoder = vq_ptr<vq_TIFFJPEGTileDecoder>::adopt(createTIFFJPEGTileDecoder());
    if (decoder == nullptr) return false;
    setUpDecoder(decoder.get(), *this);
    if (!decoder->decodeTile(IntPair(x, y), level, raw->getData(), raw->getDataLength(), dst)) return false;
    return format == vq_fmtRGB24 || dst->convertTo(format);
}

bool PFFTileLoader::loadTileYCbCr(int x, int y, int level, int image, imageContainer* yPlane,
                                  imageContainer* cbPlane, imageContainer* crPlane) {
    if (pixelFormat != 3) return false;
    vq_ptr<vq_raw_tile> raw;
    if (!loadRawTile(x, y, level, image, raw.put())) return false;
    vq_ptr<vq_TIFFJPEGTileDecoder> decoder = vq_ptr<vq_TIFFJPEGTileDecoder>::adopt(createTIFFJPEGTileDecoder());
    if (decoder == nullptr) return false;
    decoder->flag = true;
    setUpDecoder(decoder.get(), *this);
    return decoder->decodeTileYCbCr(IntPair(x, y), level, raw->getData(), raw->getDataLength(), yPlane, cbPlane,
                                    crPlane);
}

bool PFFTileLoader::createTileDecoder(vq_tileDecoder_base** out, int) {
    if (out == nullptr) return false;
    vq_TIFFJPEGTileDecoder* d = createTIFFJPEGTileDecoder();
    if (d == nullptr) return false;
    setUpDecoder(d, *this);
    *out = d;
    return true;
}
