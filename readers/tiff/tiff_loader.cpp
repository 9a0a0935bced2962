// The TIFF reader of ".tif" files and its tile reader over the tiled
// directories of a pyramid TIFF.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "engine/base/tile_key.h"
#include "engine/base/vq_global.h"
#include "engine/base/reader_messages.h"
#include "primitives/core/planar.h"
#include "jpeg/jpeg_bridge.h"
#include "jpeg/jpeg_stream_parser.h"
#include "jpeg/jpeg_tables.h"
#include "j2k/j2k_tile_decoder.h"
#include "readers/tiff/tiff_reader.h"

using namespace vqtiff;

namespace {

constexpr int kMaxPlanes = 16;

// A new tile or strip reader of type L with its own TIFF handle over the
// stream, handed out once it opened.
template <class L, class Base>
bool openReader(vq_stream* stream, Base** out) {
    if (out == nullptr || stream == nullptr) return false;
    vq_ptr<L> reader = vq_ptr<L>::adopt(L::create());
    // The library reads the header where the stream stands.
    StreamRewindGuard rewind(stream);
    if (!reader->binding.open(stream, "rm") || !reader->open()) return false;
    *out = reader.get();
    (*out)->addRef();
    return true;
}

// Interleaves up to four 8-bit planes into the container's pixels.
void interleavePlanes(imageContainer* dst, std::vector<vq_ptr<imageContainer>>& planes, int width, int height) {
    const int channels = dst->getChannels();
    if ((channels != 3 && channels != 4) || int(planes.size()) < channels) return;
    const uint8_t* p[4] = {};
    int32_t planeStep = 0;
    for (int i = 0; i < channels; ++i) planes[i]->lockPixelsConst(&p[i], &planeStep);
    uint8_t* d = nullptr;
    int32_t step = 0;
    dst->lockPixels(&d, &step);
    const PrimSize size{width, height};
    if (channels == 3)
        copyPlanesToPixels8uC3(p, planeStep, d, step, size);
    else
        copyPlanesToPixels8uC4(p, planeStep, d, step, size);
    dst->unlockPixels();
    for (int i = 0; i < channels; ++i) planes[i]->unlockPixels();
}

} // namespace

// ---------------------------------------------------------------------------
// Reader

vq_TIFFLoader* vq_TIFFLoader::create(vq_stream* stream) {
    auto* l = new vq_TIFFLoader();
    l->stream_ = stream;
    l->addRef();
    return l;
}

bool createTIFFLoader(vq_stream* stream, vq_loader_base** out) {
    if (stream == nullptr || out == nullptr) return false;
    *out = vq_TIFFLoader::create(stream);
    return true;
}

bool vq_TIFFLoader::getFileInfo(vq_FileInfo** out) {
    if (out == nullptr || !stream_) return false;
    vq_ptr<vq_TIFFFileInfo> info = vq_ptr<vq_TIFFFileInfo>::adopt(vq_TIFFFileInfo::create());
    StreamRewindGuard rewind(stream_.get());
    TiffStreamHandle binding;
    if (!binding.open(stream_.get(), "rm")) return false;
    info->readDirectories(binding.handle());
    if (!info->isValid()) return false;
    *out = info.get();
    (*out)->addRef();
    return true;
}

bool vq_TIFFLoader::getTileLoader(vq_tileloader_base** out) {
    return openReader<vq_TIFFTileLoader>(stream_.get(), out);
}

bool vq_TIFFLoader::getStripLoader(vq_stripLoader_base** out) {
    return openReader<vq_TIFFStripLoader>(stream_.get(), out);
}

bool vq_TIFFLoader::loadImage(imageContainer* dst, int format) {
    if (!stream_ || dst == nullptr) return false;
    StreamRewindGuard rewind(stream_.get());
    TiffStreamHandle binding;
    if (!binding.open(stream_.get(), "rm")) return false;
    vq_TIFFFileInfo info;
    info.readDirectories(binding.handle());
    if (!info.isValid() || info.formats.empty() || info.pixelFormat < 0) return false;
    // Rows are read in the file's own layout and converted afterwards, so a
    // container never receives more bytes per pixel than it holds.
    const int native = info.pixelFormat == 3 ? -1 : info.pixelFormat;
    if (native < 0) return false;
    if (int64_t(TIFFScanlineSize(binding.handle())) > int64_t(info.imageSize.first) * imageContainer::bytesPerPixel(native))
        return false;
    if (!dst->create(native, info.imageSize.first, info.imageSize.second, true)) return false;
    uint8_t* data = nullptr;
    int32_t step = 0;
    dst->lockPixels(&data, &step);
    for (int y = 0; y < info.imageSize.second; ++y) {
        if (TIFFReadRow(binding.handle(), data + int64_t(y) * step, uint32_t(y), 0) != 1) {
            dst->unlockPixels();
            dst->freeBuffer();
            return false;
        }
    }
    dst->unlockPixels();
    return convertForDelivery(dst, format) && dst->getFormat() == format;
}

// ---------------------------------------------------------------------------
// Tile reader

vq_TIFFTileLoader* vq_TIFFTileLoader::create() {
    auto* l = new vq_TIFFTileLoader();
    l->addRef();
    return l;
}

vq_TIFFTileLoader::~vq_TIFFTileLoader() = default;

bool vq_TIFFTileLoader::open() {
    TIFFHandle* tiff = binding.handle();
    if (tiff == nullptr) return false;
    fileInfo.readDirectories(tiff);
    if (!fileInfo.isValid()) return false;
    levelSizes = fileInfo.levelSizes;
    levelDirectories = fileInfo.levelDirectories;
    uint32_t tw = 0, th = 0;
    TIFFQueryField(tiff, TAG_TileWidth, &tw);
    TIFFQueryField(tiff, TAG_TileLength, &th);
    if (tw == 0 || th == 0) return false;
    tileSize = IntPair(int32_t(tw), int32_t(th));
    tileCount = int(TIFFNumberOfTiles(tiff));
    for (const IntPair& s : levelSizes) {
        levelTileCounts.push_back(IntPair((s.first + tileSize.first - 1) / tileSize.first,
                                          (s.second + tileSize.second - 1) / tileSize.second));
        const int ew = s.first % tileSize.first, eh = s.second % tileSize.second;
        edgeTileSizes.push_back(IntPair(ew == 0 ? tileSize.first : ew, eh == 0 ? tileSize.second : eh));
    }
    jpegDecoder = vq_ptr<vq_TIFFJPEGTileDecoder>::adopt(createTIFFJPEGTileDecoder());
    if (!jpegDecoder) return false;
    jpegDecoder->tileSize = tileSize;
    jpegDecoder->edgeSizes = edgeTileSizes;
    jpegDecoder->tileCounts = levelTileCounts;
    uint16_t compression = 0;
    if (!TIFFQueryField(tiff, TAG_Compression, &compression)) return false;
    if (compression == 7) {
        for (int d : levelDirectories) {
            uint32_t count = 0;
            void* bytes = nullptr;
            if (!TIFFSelectDirectory(tiff, uint16_t(d)) || !TIFFQueryField(tiff, TAG_JPEGTables, &count, &bytes) ||
                count == 0 || bytes == nullptr) {
                TIFFSelectDirectory(tiff, 0);
                return false;
            }
            auto* b = static_cast<const uint8_t*>(bytes);
            jpegTables.emplace_back(b, b + count);
        }
        TIFFSelectDirectory(tiff, 0);
        if (jpegTables.empty()) return false;
    }
    currentDirectory = 0;
    char* text = nullptr;
    if (TIFFQueryField(tiff, TAG_ImageDescription, &text) && text != nullptr) description = text;
    fileSize = uint64_t(std::max<int64_t>(streamLength(static_cast<vq_stream*>(TIFFClientData(tiff))), 0));
    learnRawTileKind();
    return true;
}

void vq_TIFFTileLoader::learnRawTileKind() {
    // Slides rarely carry a YCbCrSubsampling tag: the tiles' frame header is
    // what says how their chroma is sampled.
    if (fileInfo.compression != 7 || jpegTables.empty()) return;
    vq_ptr<vq_raw_tile> raw;
    if (!loadRawTile(0, 0, 0, 0, raw.put())) return;
    JpegStreamParser parser;
    parser.readFrameHeader(raw->getData(), uint32_t(raw->getDataLength()));
    if (!parser.parsed) return;
    rawSubsampling = parser.getSubsampling();
    rawColourSpace = parser.getColourSpace();
}

int vq_TIFFTileLoader::getSubsampling(int) {
    return rawSubsampling != 5 ? rawSubsampling : fileInfo.subsampling;
}

bool vq_TIFFTileLoader::validLevel(int level, int image) const {
    return binding.handle() != nullptr && level >= 0 && image <= 0 && level < int(levelSizes.size());
}

IntPair vq_TIFFTileLoader::getLevelTileCounts(int level, int) {
    return level >= 0 && level < int(levelTileCounts.size()) ? levelTileCounts[level] : IntPair(0, 0);
}

IntPair vq_TIFFTileLoader::getLevelSize(int level, int) {
    return level >= 0 && level < int(levelSizes.size()) ? levelSizes[level] : IntPair(0, 0);
}

bool vq_TIFFTileLoader::isValidTile(int x, int y, int level, int image) {
    if (x < 0 || y < 0 || level < 0 || image > 0 || level >= int(levelSizes.size())) return false;
    return x < levelTileCounts[level].first && y < levelTileCounts[level].second;
}

IntPair vq_TIFFTileLoader::deliveredSize(int x, int y, int level) const {
    IntPair size = tileSize;
    if (x == levelTileCounts[level].first - 1) size.first = edgeTileSizes[level].first;
    if (y == levelTileCounts[level].second - 1) size.second = edgeTileSizes[level].second;
    return size;
}

void vq_TIFFTileLoader::selectLevel(int level) {
    if (currentDirectory != levelDirectories[level]) {
        TIFFSelectDirectory(binding.handle(), uint16_t(levelDirectories[level]));
        currentDirectory = levelDirectories[level];
    }
}

int64_t vq_TIFFTileLoader::storedTileLength(uint32_t index) {
    // A count that reaches past the end of the file never sizes a buffer.
    if (index >= TIFFNumberOfTiles(binding.handle())) return -1;
    return TIFFStoredSizeInFile(binding.handle(), index);
}

int vq_TIFFTileLoader::getCompression(int) {
    uint16_t c = 0;
    if (binding.handle() == nullptr || !TIFFQueryField(binding.handle(), TAG_Compression, &c)) return -1;
    return c;
}

bool vq_TIFFTileLoader::hasRawTiles(int image) {
    const int c = getCompression(image);
    return (c == 7 && !jpegTables.empty()) || c == 33003;
}

bool vq_TIFFTileLoader::isRawCodecSupported(int image) {
    const int c = getCompression(image);
    return c == 7 || c == 33003;
}

bool vq_TIFFTileLoader::isJPEG(int image) { return getCompression(image) == 7; }

bool vq_TIFFTileLoader::loadRawTile(int x, int y, int level, int image, vq_raw_tile** out) {
    if (out == nullptr || !validLevel(level, image)) return false;
    // A JPEG 2000 tile is a complete code-stream as stored.
    if (fileInfo.compression == 33003) return loadRawTileAsStored(x, y, level, image, out);
    vq_ptr<vq_raw_tile> tile;
    if (!createRawTile(tile.put())) return false;
    // The file is shared: directory selection and the read are guarded, the
    // rest of the tile's assembly runs outside the lock.
    std::unique_lock<vq::platform::CriticalSection> guard(lock_);
    selectLevel(level);
    const uint32_t index = uint32_t(x + y * levelTileCounts[level].first);
    const int64_t length = storedTileLength(index);
    if (fileInfo.compression != 7 || jpegTables.empty()) {
        reportReaderMessage("Can only load raw JPEG and J2K tiles\n");
        TIFFSelectDirectory(binding.handle(), 0);
        currentDirectory = 0;
        return false;
    }
    tile->setCompression(7);
    const JpegTablesBody tables = jpegTablesBody(jpegTables[level].data(), jpegTables[level].size());
    const uint8_t* body = tables.data;
    const size_t bodyLength = tables.length;
    if (length <= 0 || length + int64_t(bodyLength) + 2 > INT32_MAX) return false;
    if (!tile->allocate(int32_t(length + int64_t(bodyLength) + 2), tileSize)) return false;
    uint8_t* d = tile->getData();
    d[0] = 0xFF;
    d[1] = 0xD8;
    std::memcpy(d + 2, body, bodyLength);
    uint8_t* stored = d + 2 + bodyLength;
    int64_t n = TIFFReadRawTile(binding.handle(), index, stored, length);
    guard.unlock();
    if (n >= 2 && stored[0] == 0xFF && stored[1] == 0xD8) {
        std::memmove(stored, stored + 2, size_t(n - 2));
        n -= 2;
    }
    if (n <= 0) return false;
    tile->setDataLength(int32_t(2 + int64_t(bodyLength) + n));
    JpegStreamParser parser;
    parser.source = d;
    parser.sourceLength = uint32_t(tile->getDataLength());
    parser.parse(false);
    if (parser.parsed) parser.fixComponentIds();
    *out = tile.get();
    (*out)->addRef();
    return true;
}

bool vq_TIFFTileLoader::loadRawTileAsStored(int x, int y, int level, int image, vq_raw_tile** out) {
    if (out == nullptr || !validLevel(level, image)) return false;
    vq_ptr<vq_raw_tile> tile;
    if (!createRawTile(tile.put())) return false;
    vq::platform::ScopedLock guard(lock_);
    selectLevel(level);
    const uint32_t index = uint32_t(x + y * levelTileCounts[level].first);
    const int64_t length = storedTileLength(index);
    if (length <= 0 || length > INT32_MAX || !tile->allocate(int32_t(length), tileSize)) return false;
    tile->setCompression(fileInfo.compression);
    const int64_t n = TIFFReadRawTile(binding.handle(), index, tile->getData(), length);
    if (n <= 0) return false;
    tile->setDataLength(int32_t(n));
    *out = tile.get();
    (*out)->addRef();
    return true;
}

bool vq_TIFFTileLoader::getJpegTables(int level, int image, vq_raw_tile** out) {
    if (out == nullptr || fileInfo.compression != 7 || level < 0 || image > 0 ||
        level >= int(jpegTables.size()))
        return false;
    vq_ptr<vq_raw_tile> tile;
    if (!createRawTile(tile.put()) || !tile->allocate(int32_t(jpegTables[level].size()), IntPair(256, 256)))
        return false;
    tile->setCompression(7);
    std::memcpy(tile->getData(), jpegTables[level].data(), jpegTables[level].size());
    *out = tile.get();
    (*out)->addRef();
    return true;
}

bool vq_TIFFTileLoader::loadPlanarTile(int x, int y, int level, imageContainer* dst) {
    TIFFHandle* tiff = binding.handle();
    if (tiff == nullptr || dst == nullptr) return false;
    const int samples = fileInfo.samplesPerPixel;
    // At most 16 planes are held; files with more samples are refused.
    if (samples < 1 || samples > kMaxPlanes || fileInfo.bitsPerSample != 8) return false;
    std::vector<vq_ptr<imageContainer>> planes;
    {
        vq::platform::ScopedLock guard(lock_);
        selectLevel(level);
        for (int s = 0; s < samples; ++s) {
            vq_ptr<imageContainer> plane;
            if (!createImageContainer(plane.put()) || !plane->create(6, tileSize.first, tileSize.second, true))
                return false;
            const uint32_t tile = TIFFTileOfPixel(tiff, uint32_t(x * tileSize.first), uint32_t(y * tileSize.second), 0,
                                                  uint16_t(s));
            uint8_t* data = nullptr;
            int32_t step = 0;
            plane->lockPixels(&data, &step);
            const int64_t n = TIFFReadEncodedTile(tiff, tile, data, int64_t(step) * tileSize.second);
            plane->unlockPixels();
            if (n < 0) return false;
            planes.push_back(plane);
        }
    }
    interleavePlanes(dst, planes, dst->getWidth(), dst->getHeight());
    return true;
}

bool vq_TIFFTileLoader::loadTile(int x, int y, int level, int image, imageContainer* dst, int format) {
    if (dst == nullptr || !validLevel(level, image)) return false;
    const IntPair size = deliveredSize(x, y, level);
    int pf = fileInfo.pixelFormat == 3 ? 4 : fileInfo.pixelFormat;
    if (pf < 0 || !dst->create(pf, tileSize.first, tileSize.second, false)) return false;
    if (!dst->crop(size.first, size.second)) reportReaderMessage("Crop failed in tiff tile loader\n");
    if (fileInfo.separatePlanes) return loadPlanarTile(x, y, level, dst) && convertForDelivery(dst, format);
    if (fileInfo.compression == 33003) {
        // The stored code-stream is read under the lock; decoding runs
        // outside it, so several threads decode tiles at once.
        vq_ptr<vq_raw_tile> raw;
        if (!loadRawTileAsStored(x, y, level, 0, raw.put())) return false;
        vq_ptr<vq_TIFFJ2KTileDecoder> decoder = makeJ2KDecoder();
        return decoder && decoder->decodeTile(IntPair(x, y), level, raw->getData(), raw->getDataLength(), dst) &&
               convertForDelivery(dst, format);
    }
    vq::platform::ScopedLock guard(lock_);
    if (++users > 1) {
        --users;
        return false;
    }
    selectLevel(level);
    const uint32_t mine = uint32_t(x + y * levelTileCounts[level].first);
    const uint32_t theirs =
        TIFFTileOfPixel(binding.handle(), uint32_t(x * tileSize.first), uint32_t(y * tileSize.second), 0, 0);
    if (mine != theirs) reportReaderMessage("For %d,%d my computed tile %d, theirs was %d\n", x, y, mine, theirs);
    bool ok = false;
    if (fileInfo.compression == 7) {
        vq_ptr<vq_raw_tile> raw;
        vq_ptr<imageContainer> work;
        if (loadRawTile(x, y, level, 0, raw.put()) && createImageContainer(work.put()) &&
            jpegDecoder->decodeTile(IntPair(x, y), level, raw->getData(), raw->getDataLength(), work.get()) &&
            work->convertTo(pf)) {
            uint8_t* d = nullptr;
            int32_t step = 0;
            dst->lockPixels(&d, &step);
            ok = work->copyDataTo(d, 0, std::min(size.second, work->getHeight()), std::min(size.first, work->getWidth()),
                                  step);
            dst->unlockPixels();
        }
    } else {
        vq_ptr<imageContainer> work;
        if (createImageContainer(work.put()) && work->create(pf, tileSize.first, tileSize.second, true)) {
            uint8_t* data = nullptr;
            int32_t step = 0;
            work->lockPixels(&data, &step);
            const int64_t expected = int64_t(work->getStep()) * tileSize.second;
            // The library never writes more than the work tile holds.
            if (TIFFWholeTileSize(binding.handle()) <= expected) {
                const int64_t n = TIFFReadEncodedTile(binding.handle(), mine, data, expected);
                if (n == -1)
                    reportReaderMessage("TIFFReadEncodedTile failed\n");
                else if (n < expected)
                    reportReaderMessage("TIFFReadEncodedTile requested %d, read %d\n", int(expected), int(n));
                ok = n != -1;
            }
            work->unlockPixels();
            if (ok) {
                uint8_t* d = nullptr;
                int32_t dstep = 0;
                dst->lockPixels(&d, &dstep);
                ok = work->copyDataTo(d, 0, size.second, size.first, dstep);
                dst->unlockPixels();
            }
        }
    }
    --users;
    return ok && convertForDelivery(dst, format);
}

bool vq_TIFFTileLoader::isRawYCbCr(int image) {
    if (binding.handle() == nullptr) return false;
    // JPEG 2000 tiles with subsampled chroma hold Y, Cb and Cr; tiles of full
    // chroma hold RGB (the code-stream's own component transform), which the
    // tile decoder interleaves as it is and which must not be taken for Y,
    // Cb and Cr.
    if (getCompression(image) == 33003)
        return fileInfo.subsampling == 2 || fileInfo.subsampling == 3 || fileInfo.subsampling == 4;
    if (getCompression(image) != 7 || jpegTables.empty()) return false;
    return rawSubsampling != 5 && rawColourSpace == 3;
}

bool vq_TIFFTileLoader::loadTileYCbCr(int x, int y, int level, int image, imageContainer* yPlane,
                                      imageContainer* cbPlane, imageContainer* crPlane) {
    if (!validLevel(level, image)) return false;
    const IntPair size = deliveredSize(x, y, level);
    const bool edge = size != tileSize;
    vq_ptr<vq_raw_tile> raw;
    if (!loadRawTile(x, y, level, 0, raw.put())) return false;
    if (fileInfo.compression == 33003) {
        vq_ptr<vq_TIFFJ2KTileDecoder> decoder = makeJ2KDecoder();
        if (!decoder || !decoder->decodeTileYCbCr(IntPair(x, y), level, raw->getData(), raw->getDataLength(), yPlane,
                                                  cbPlane, crPlane))
            return false;
        // Each code-stream states its own size and sampling: planes that do
        // not show the tile's visible size at the file's subsampling would
        // hand the pyramid samples that were never decoded.
        const IntPair chroma = chromaPlaneSize(size, fileInfo.subsampling);
        const auto shows = [](imageContainer* c, IntPair want) {
            return c->getWidth() == want.first && c->getHeight() == want.second;
        };
        return shows(yPlane, size) && shows(cbPlane, chroma) && shows(crPlane, chroma);
    }
    if (getCompression(image) != 7) return false;
    if (!jpegDecoder->decodeTileYCbCr(IntPair(x, y), level, raw->getData(), raw->getDataLength(), yPlane, cbPlane,
                                      crPlane))
        return false;
    if (edge) {
        yPlane->crop(size.first, size.second);
        const IntPair c = chromaPlaneSize(size, rawSubsampling);
        cbPlane->crop(c.first, c.second);
        crPlane->crop(c.first, c.second);
    }
    return true;
}

int vq_TIFFTileLoader::getQuality() {
    TIFFHandle* tiff = binding.handle();
    if (tiff == nullptr || getCompression(0) != 7) return 0;
    uint32_t count = 0;
    void* bytes = nullptr;
    if (!TIFFQueryField(tiff, TAG_JPEGTables, &count, &bytes) || count == 0 || bytes == nullptr) {
        reportReaderMessage("Unable to get JPEGTables data\n");
        return 0;
    }
    vq_ptr<vq_stream> memory;
    if (openMemoryStream(bytes, count, memory.put()) != 0) {
        reportReaderMessage("Unable to open memory stream\n");
        return 0;
    }
    // The tables hold no frame, so the JPEG file reader would find no image:
    // the quality is estimated from the quantisation tables the library
    // loads from the tables-only stream.
    JpegDecompressor d;
    int quality = 0;
    vq_stream* tablesStream = memory.get();
    if (!d.guarded([&] {
            jpegStreamSource(&d.info, tablesStream);
            jpeg_read_header(&d.info, FALSE);
            quality = estimateJpegQuality(&d.info);
        }))
        return 0;
    return quality;
}

vq_ptr<vq_TIFFJ2KTileDecoder> vq_TIFFTileLoader::makeJ2KDecoder() const {
    vq_ptr<vq_TIFFJ2KTileDecoder> d = vq_ptr<vq_TIFFJ2KTileDecoder>::adopt(createTIFFJ2KTileDecoder());
    if (!d) return d;
    // The decoder kind is the setting's value at this moment.
    vq_ptr<vq_global_base> settings;
    getGlobal(settings.put());
    d->decoderKind = settings ? settings->getJ2KDecoder() : 0;
    d->tileSize = tileSize;
    d->edgeSizes = edgeTileSizes;
    d->tileCounts = levelTileCounts;
    return d;
}

bool vq_TIFFTileLoader::createTileDecoder(vq_tileDecoder_base** out, int) {
    if (out == nullptr) return false;
    if (fileInfo.compression == 33003) {
        vq_ptr<vq_TIFFJ2KTileDecoder> d = makeJ2KDecoder();
        if (!d) return false;
        *out = d.get();
        (*out)->addRef();
        return true;
    }
    if (fileInfo.compression != 7 || jpegTables.empty()) return false;
    vq_TIFFJPEGTileDecoder* d = createTIFFJPEGTileDecoder();
    if (d == nullptr) return false;
    d->tileSize = tileSize;
    d->edgeSizes = edgeTileSizes;
    d->tileCounts = levelTileCounts;
    *out = d;
    return true;
}
