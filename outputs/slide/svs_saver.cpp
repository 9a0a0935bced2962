#include "outputs/slide/svs_saver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/vq_global.h"
#include "j2k/encoder/native_tile_encoder.h"
#include "jpeg/jpeg_saver.h"
#include "jpeg/jpeg_tile_decoder.h"
#include "outputs/slide/jpeg_tables_builder.h"
#include "outputs/slide/jpeg_tile_encoder.h"
#include "primitives/core/copy.h"
#include "primitives/resample/resize_gen.h"
#include "readers/tiff/lzw_decoder.h"

namespace {

constexpr int kStripRows = 16;
const char* const kCreator = "Created by Velquist Services";

bool isYCbCrCode(int colourSpace) { return colourSpace == 3; }

// Whether the Huffman tables a stream defines are the standard ones that the
// tile encoder writes (every table the stream has equals the standard table
// of its slot).
bool hasStandardHuffmanTables(const JpegStreamParser& source) {
    static const JpegStreamParser standard = [] {
        JpegStreamParser p;
        static JpegTablesBuilder tables;
        tables.build(75, 3);
        p.source = tables.bytes.data();
        p.sourceLength = static_cast<uint32_t>(tables.bytes.size());
        p.parse(false);
        return p;
    }();
    for (int i = 0; i < 4; ++i) {
        if (!source.dcTables[i].empty() && source.dcTables[i] != standard.dcTables[i]) return false;
        if (!source.acTables[i].empty() && source.acTables[i] != standard.acTables[i]) return false;
    }
    return true;
}

} // namespace

using namespace slide_ifd;

bool createSvsSaver(vq_stream* stream, vq_svs_saver_base** out) {
    if (stream == nullptr || out == nullptr) return false;
    auto* saver = new (std::nothrow) vq_svs_saver(stream);
    if (saver == nullptr) return false;
    saver->addRef();
    *out = saver;
    return true;
}

vq_svs_saver::vq_svs_saver(vq_stream* stream, uint64_t bigTiffThreshold) : bigTiffThreshold_(bigTiffThreshold) {
    stream_.setStream(stream);
}

vq_svs_saver::~vq_svs_saver() {
    // A saver released without finish or abort still lets no thread outlive it.
    stopEncoderThreads(true);
}

IntPair vq_svs_saver::thumbnailSize(IntPair source) {
    const double w = source.first, h = source.second;
    if (w > 1024) {
        const double c = h * 1024 / w;
        return c <= 768 ? IntPair(1024, int(std::floor(c))) : IntPair(int(std::floor(w * 768 / h)), 768);
    }
    if (h > 768) {
        const double c = w * 768 / h;
        return c <= 1024 ? IntPair(int(std::floor(c)), 768) : IntPair(1024, int(std::floor(h * 1024 / w)));
    }
    return source;
}

// ---------------------------------------------------------------------------
// Directories

void vq_svs_saver::fillDirectory(vq_svs_ifdDir& dir, IntPair size, int quality, int kind) {
    const int w = size.first, h = size.second;
    const int format = dir.getPixelFormat();
    addLong(dir, 254, kind == kindLevel ? 0u : kind == kindMacro ? 9u : 1u);
    addLong(dir, 256, static_cast<uint32_t>(w));
    addLong(dir, 257, static_cast<uint32_t>(h));
    addBitsPerSample(dir, format);
    addShorts(dir, 259, {static_cast<uint16_t>(kind == kindLevel ? compression_ : 7)});

    int photometric = -1;
    if (kind != kindLevel) photometric = isYCbCrCode(dir.getColourSpace()) ? 6 : 2;
    else if (compression_ == 7) photometric = isYCbCrCode(colourSpace_) ? 6 : 2;
    else if (compression_ == 33003) photometric = 2;
    else if (format == vq_fmtRGB24 || format == vq_fmtRGB48) photometric = 2;
    else if (format == vq_fmtGray8 || format == vq_fmtGray16) photometric = 1;
    {
        vq_svs_ifdItem item(262, svsTypeShort);
        if (photometric >= 0) item.appendShort(static_cast<uint16_t>(photometric));
        dir.addItem(item);
    }

    // Layout: strips of a strip image, tiles of a level, 16-row strips (or
    // one strip of a ready JPEG) for thumbnail, label and macro.
    int64_t strips = 0;
    int rowsPerStrip = 0;
    if (stripMode_ && kind == kindLevel) {
        rowsPerStrip = rowsPerStrip_;
        strips = rowsPerStrip > 0 ? (int64_t(h) + rowsPerStrip - 1) / rowsPerStrip : 0;
    } else if (kind != kindLevel) {
        if (dir.getTableSource() != nullptr) {
            rowsPerStrip = h;
            strips = 1;
        } else {
            rowsPerStrip = kStripRows;
            strips = (int64_t(h) + kStripRows - 1) / kStripRows;
        }
    }
    const bool stripLayout = kind != kindLevel || stripMode_;
    if (stripLayout) addZeros(dir, 273, svsTypeLong8, strips);
    addShorts(dir, 274, {1});
    addSamplesPerPixel(dir, format);
    if (stripLayout) {
        addShorts(dir, 278, {static_cast<uint16_t>(rowsPerStrip)});
        addZeros(dir, 279, svsTypeLong, strips);
    }
    addShorts(dir, 284, {1});
    if (stripMode_ && kind == kindLevel && compression_ == 5) addShorts(dir, 317, {2});
    if (kind == kindLevel && !stripMode_) {
        const int across = (w + tileSize_ - 1) / tileSize_, down = (h + tileSize_ - 1) / tileSize_;
        dir.setGrid(IntPair(across, down));
        dir.setTiled(true);
        addShorts(dir, 322, {static_cast<uint16_t>(tileSize_)});
        addShorts(dir, 323, {static_cast<uint16_t>(tileSize_)});
        addZeros(dir, 324, svsTypeLong8, int64_t(across) * down);
        addZeros(dir, 325, svsTypeLong, int64_t(across) * down);
    } else {
        dir.setTiled(false);
    }

    if (compression_ == 7 || kind != kindLevel) {
        int x = dir.getTableSource() != nullptr ? dir.getParser().getSubsampling() : 5;
        if (kind == kindLabel || kind == kindMacro) x = 1;
        else if (kind == kindThumbnail && dir.getTableSource() == nullptr) x = 4;
        if (kind == kindLevel && x == 5 && isYCbCrCode(colourSpace_)) x = subsampling_;
        if (x != 5) {
            const auto pair = subsamplingPair(kind == kindLevel ? subsampling_ : x);
            addShorts(dir, 530, {pair.first, pair.second});
        }
    }

    std::string text = kCreator;
    char buffer[64];
    if (kind == kindLabel || kind == kindMacro) {
        std::snprintf(buffer, sizeof buffer, "%s %dx%d", kind == kindLabel ? "label" : "macro", w, h);
        text = buffer;
    }
    if (compression_ == 7 || kind != kindLevel) {
        if (dir.findItem(347).isValid()) {
            text += " JPEG quality from source tiles";
        } else {
            JpegTablesBuilder tables;
            tables.build(quality, dir.getColourSpace());
            vq_svs_ifdItem item(347, svsTypeUndefined);
            item.appendBytes(tables.bytes.data(), static_cast<int32_t>(tables.bytes.size()));
            dir.addItem(item);
            std::snprintf(buffer, sizeof buffer, " JPEG Q=%d", quality);
            text += buffer;
        }
    } else if (compression_ == 33003) {
        std::snprintf(buffer, sizeof buffer, " J2K/MIL Q=%d", quality);
        text += buffer;
    }
    vq_svs_ifdItem desc(270, svsTypeAscii);
    desc.setString(text.c_str(), false);
    dir.addItem(desc);
}

void vq_svs_saver::setBaseLevel(IntPair size, int level, int quality, vq_raw_tile* sample) {
    baseSize_ = size;
    baseDirectory_.setGrid(IntPair((size.first + tileSize_ - 1) / tileSize_, (size.second + tileSize_ - 1) / tileSize_));
    baseDirectory_.setLevel(level);
    baseDirectory_.attachJpegTables(sample);
    baseDirectory_.setQuality(quality);
    baseDirectory_.setColourSpace(colourSpace_);
}

void vq_svs_saver::addLevel(int level, IntPair size, int quality, vq_raw_tile* sample) {
    directories_.emplace_back();
    vq_svs_ifdDir& dir = directories_.back();
    dir.setLevel(level);
    dir.attachJpegTables(sample);
    dir.setQuality(quality);
    dir.setColourSpace(3);
    fillDirectory(dir, size, quality, kindLevel);
}

void vq_svs_saver::beginStripImage(IntPair size, int pixelFormat, int rowsPerStrip) {
    stripMode_ = true;
    baseSize_ = size;
    rowsPerStrip_ = rowsPerStrip;
    pixelFormat_ = pixelFormat;
    baseDirectory_.setLevel(0);
    baseDirectory_.setTiled(false);
    baseDirectory_.setPixelFormat(pixelFormat);
    fillDirectory(baseDirectory_, size, 0, kindLevel);
}

vq_svs_ifdDir* vq_svs_saver::levelDirectory(int level) {
    if (baseDirectory_.getLevel() == level && !stripMode_) return &baseDirectory_;
    for (auto& d : directories_)
        if (d.getLevel() == level && d.isTiledImage()) return &d;
    return nullptr;
}

bool vq_svs_saver::rawTablesMatch(int level, vq_raw_tile* tile) {
    vq::platform::ScopedLock lock(fileLock_);
    vq_svs_ifdDir* dir = levelDirectory(level);
    return dir == nullptr || compression_ != 7 || dir->tablesMatch(tile);
}

vq_svs_ifdDir* vq_svs_saver::thumbnailDirectory() {
    for (auto& d : directories_)
        if (d.getLevel() == thumbnailLevel_ && !d.isTiledImage()) return &d;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Start of the file

bool vq_svs_saver::ensureStarted() {
    if (baseDirectory_.isPlaced()) return true;
    if (!stripMode_) fillDirectory(baseDirectory_, baseSize_, baseDirectory_.getQuality(), kindLevel);
    if (!description_.empty()) {
        if (vq_svs_ifdItem* desc = baseDirectory_.findItemForEdit(270)) desc->setString(description_.c_str(), false);
    }
    header_.setBigTIFF(false);
    if (!header_.write(&stream_) || stream_.seek(0, 2) != 0 || !baseDirectory_.writeDirectory(&stream_)) {
        std::fputs("Failed to write header and directories\n", stderr);
        return false;
    }
    resetThreadsStarted();
    if (!stripMode_) startEncoderThread();
    return true;
}

// ---------------------------------------------------------------------------
// Tiles of the pyramid levels

int vq_svs_saver::prepareTileJob(int x, int y, int level, vq_svstile_saver& job, bool forRaw, vq_raw_tile* raw) {
    vq_svs_ifdDir* dir = levelDirectory(level);
    if (dir == nullptr) return 0;
    if (forRaw && compression_ == 7 && !dir->tablesMatch(raw)) return -1;
    if (!dir->isPlaced() && !dir->writeDirectory(&stream_)) {
        std::fputs("Failed to write directory for layer\n", stderr);
        return -1;
    }
    job.position = IntPair(x, y);
    job.directory = dir;
    job.fileStream = &stream_;
    if (!forRaw) {
        job.quality = dir->getQuality();
        job.tableSource = dir->getTableSource();
        job.completeStream = job.tableSource != nullptr && !hasStandardHuffmanTables(dir->getParser());
        job.subsampling = subsampling_;
        job.colourSpace = colourSpace_;
    }
    return 1;
}

bool vq_svs_saver::addTile(int x, int y, int level, imageContainer* tile) {
    if (tile == nullptr) {
        std::fprintf(stderr, "Adding tile %d,%d - NULL container\n", x, y);
        return false;
    }
    if (tile->getFormat() != vq_fmtRGB24) {
        std::fputs("Unable to use tile. Not in RGB24 format\n", stderr);
        return false;
    }
    vq_svstile_saver job;
    {
        vq::platform::ScopedLock lock(fileLock_);
        if (!ensureStarted()) return false;
        if (level == thumbnailLevel_ && !takeThumbnailTile(x, y, tile)) return false;
        const int r = prepareTileJob(x, y, level, job, false, nullptr);
        if (r <= 0) return r == 0;
        if (tile->getWidth() > tileSize_ || tile->getHeight() > tileSize_) {
            std::fputs("Trying to add tile which is larger than specified tile size\n", stderr);
            return false;
        }
    }
    if (!setPaddedContainer(job, tile, tileSize_)) return false;
    return submit(job);
}

bool vq_svs_saver::addTileYCbCr(int x, int y, int level, imageContainer* yPlane, imageContainer* cbPlane,
                                imageContainer* crPlane, int subsampling) {
    if (yPlane == nullptr || cbPlane == nullptr || crPlane == nullptr) return false;
    vq_svstile_saver job;
    {
        vq::platform::ScopedLock lock(fileLock_);
        if (!ensureStarted()) return false;
        if (level == thumbnailLevel_) {
            auto rgb = vq_ptr<imageContainer>::adopt(imageContainer::create());
            if (rgb == nullptr || !rgb->fromYCbCrPlanes(yPlane, cbPlane, crPlane, subsampling)) return false;
            if (!takeThumbnailTile(x, y, rgb.get())) return false;
        }
        const int r = prepareTileJob(x, y, level, job, false, nullptr);
        if (r <= 0) return r == 0;
        if (yPlane->getWidth() > tileSize_ || yPlane->getHeight() > tileSize_) {
            std::fputs("Trying to add tile which is larger than specified tile size\n", stderr);
            return false;
        }
    }
    if (!setPaddedPlanes(job, yPlane, cbPlane, crPlane, subsampling, subsampling_, tileSize_)) return false;
    return submit(job);
}

bool vq_svs_saver::addRawTile(int x, int y, int level, vq_raw_tile* tile) {
    if (level == kindLabel || level == kindMacro) return addLabelOrMacro(level, tile);
    if (tile == nullptr) return false;
    vq_svstile_saver job;
    {
        vq::platform::ScopedLock lock(fileLock_);
        if (!ensureStarted()) return false;
        if (level == thumbnailLevel_) {
            if (tile->getCompression() != 7) return false;
            auto rgb = decodeRawJpeg(tile);
            if (rgb == nullptr || !takeThumbnailTile(x, y, rgb.get())) return false;
        }
        const int r = prepareTileJob(x, y, level, job, true, tile);
        if (r <= 0) return r == 0;
    }
    vq_ptr<vq_raw_tile> stored;
    if (compression_ == 7) {
        // The level's JPEGTables replace the tile's own table segments.
        if (!job.directory->makeAbbreviatedTile(tile, stored)) return false;
    } else if (!tile->clone(stored) || stored == nullptr) {
        return false;
    }
    if (!job.setRawTile(stored.get())) return false;
    return submit(job);
}

// ---------------------------------------------------------------------------
// Strip images

bool vq_svs_saver::addStrip(int firstRow, imageContainer* strip) {
    if (strip == nullptr || !stripMode_) return false;
    vq::platform::ScopedLock lock(fileLock_);
    if (!ensureStarted()) return false;
    if (strip->getWidth() > baseSize_.first || strip->getHeight() > rowsPerStrip_ || rowsPerStrip_ <= 0) return false;
    if (!baseDirectory_.findItem(273).isValid() || !baseDirectory_.findItem(279).isValid()) return false;
    const int channels = strip->getChannels();
    const int bytesPerSample = strip->getBitsPerSample() / 8;
    const int rowBytes = strip->getWidth() * channels * bytesPerSample;
    if (rowBytes <= 0 || (bytesPerSample != 1 && bytesPerSample != 2)) return false;
    ContainerPixels pixels(strip);
    if (pixels.data == nullptr) return false;
    if (stream_.seek(0, 2) != 0) return false;
    const int64_t at = stream_.tell();
    int64_t length = 0;
    const int rows = strip->getHeight();
    if (compression_ == 1) {
        for (int r = 0; r < rows; ++r)
            if (stream_.writeBytes(pixels.data + int64_t(r) * pixels.step, rowBytes) != rowBytes) return false;
        length = int64_t(rows) * rowBytes;
    } else if (compression_ == 5) {
        // Horizontal differencing over all samples of a row, in place, from
        // the right so that every difference uses the original neighbour.
        const int samples = strip->getWidth() * channels;
        std::vector<uint8_t> block;
        try {
            block.resize(size_t(rows) * size_t(rowBytes));
        } catch (const std::bad_alloc&) {
            return false;
        }
        for (int r = 0; r < rows; ++r) {
            uint8_t* row = pixels.data + int64_t(r) * pixels.step;
            if (bytesPerSample == 1) {
                for (int i = samples - 1; i >= channels; --i) row[i] = uint8_t(row[i] - row[i - channels]);
            } else {
                auto* row16 = reinterpret_cast<uint16_t*>(row);
                for (int i = samples - 1; i >= channels; --i) row16[i] = uint16_t(row16[i] - row16[i - channels]);
            }
            std::memcpy(block.data() + size_t(r) * rowBytes, row, size_t(rowBytes));
        }
        LzwWorkBuffers lzw;
        if (!lzw.prepareEncode(static_cast<int64_t>(block.size())) ||
            !lzw.encode(static_cast<int64_t>(block.size()), block.data(), &length) ||
            stream_.writeBytes(lzw.data(), length) != length)
            return false;
    }
    const int64_t index = firstRow / rowsPerStrip_;
    return setTableValue(baseDirectory_, 273, index, static_cast<uint64_t>(at)) &&
           setTableValue(baseDirectory_, 279, index, static_cast<uint64_t>(length));
}

// ---------------------------------------------------------------------------
// Thumbnail, label and macro

bool vq_svs_saver::setThumbnail(int sourceLevel, IntPair sourceLevelSize, IntPair sourceTileCount, int quality) {
    thumbnailSize_ = thumbnailSize(sourceLevelSize);
    thumbnailSourceSize_ = sourceLevelSize;
    directories_.emplace_front();
    vq_svs_ifdDir& dir = directories_.front();
    dir.setQuality(quality);
    dir.setLevel(sourceLevel);
    dir.setColourSpace(3);
    fillDirectory(dir, thumbnailSize_, quality, kindThumbnail);
    thumbnailLevel_ = sourceLevel;
    thumbnailMissing_.clear();
    for (int y = 0; y < sourceTileCount.second; ++y)
        for (int x = 0; x < sourceTileCount.first; ++x) thumbnailMissing_.emplace(x, y);
    return true;
}

bool vq_svs_saver::takeThumbnailTile(int x, int y, imageContainer* rgb) {
    vq_svs_ifdDir* dir = thumbnailDirectory();
    if (dir == nullptr) return false;
    if (!dir->isPlaced() && !dir->writeDirectory(&stream_)) {
        std::fputs("Failed to write directory for thumbnail layer\n", stderr);
        return false;
    }
    if (thumbnailMissing_.count({x, y}) == 0) return true;
    if (!placeTileInImage(thumbnailImage_, thumbnailSourceSize_, x, y, tileSize_, rgb)) return false;
    thumbnailMissing_.erase({x, y});
    return thumbnailMissing_.empty() ? writeThumbnail() : true;
}

bool vq_svs_saver::writeStrips(vq_svs_ifdDir& dir, imageContainer* image, IntPair size,
                               vq_tileEncoder_base* encoder) {
    auto strip = newClearedContainer(vq_fmtRGB24, size.first, kStripRows);
    if (strip == nullptr) {
        std::fputs("Failed to create thumbnail container\n", stderr);
        return false;
    }
    if (!dir.findItem(273).isValid() || !dir.findItem(279).isValid()) {
        std::fputs("Invalid strip IFD items\n", stderr);
        return false;
    }
    for (int k = 0; int64_t(k) * kStripRows < size.second; ++k) {
        const int first = k * kStripRows;
        const int rows = std::min(kStripRows, size.second - first);
        strip->uncrop();
        strip->clear();
        if (image != nullptr) {
            ContainerPixels s(image), d(strip.get());
            if (s.data == nullptr || d.data == nullptr) return false;
            copyRoi8uC3(s.data + int64_t(first) * s.step, s.step, d.data, d.step, PrimSize{size.first, rows});
        }
        if (rows < kStripRows) strip->crop(size.first, rows);
        vq_stream* mem = nullptr;
        if (createMemoryWriteStream(0, &mem) != 0) return false;
        vq_ptr<vq_stream> encoded = vq_ptr<vq_stream>::adopt(mem);
        auto* m = static_cast<vq_memoryWriteStream*>(encoded.get());
        if (!encoder->encodeTile(strip.get(), encoded.get())) {
            std::fputs("Failed to encode thumbnail strip\n", stderr);
            return false;
        }
        if (stream_.seek(0, 2) != 0) return false;
        const int64_t at = stream_.tell();
        const int64_t length = static_cast<int64_t>(m->getSize());
        if (stream_.writeBytes(m->getData(), length) != length) return false;
        if (!setTableValue(dir, 273, k, static_cast<uint64_t>(at)) ||
            !setTableValue(dir, 279, k, static_cast<uint64_t>(length)))
            return false;
    }
    return true;
}

bool vq_svs_saver::writeThumbnail() {
    vq_svs_ifdDir* dir = thumbnailDirectory();
    if (dir == nullptr || thumbnailImage_ == nullptr) return false;
    vq_ptr<imageContainer> image;
    if (thumbnailImage_->getWidth() == thumbnailSize_.first && thumbnailImage_->getHeight() == thumbnailSize_.second) {
        image = thumbnailImage_;
    } else {
        image = newClearedContainer(vq_fmtRGB24, thumbnailSize_.first, thumbnailSize_.second);
        if (image == nullptr) return false;
        const double w = thumbnailSourceSize_.first, h = thumbnailSourceSize_.second;
        const double s = std::max((thumbnailSize_.first + 0.5) / w, (thumbnailSize_.second + 0.5) / h);
        ContainerPixels src(thumbnailImage_.get()), dst(image.get());
        if (src.data == nullptr || dst.data == nullptr) return false;
        const PrimSize srcSize{thumbnailSourceSize_.first, thumbnailSourceSize_.second};
        if (resizeByFactors8uC3(src.data, srcSize, src.step, PrimRect{0, 0, srcSize.width, srcSize.height}, dst.data,
                                dst.step, PrimSize{thumbnailSize_.first, thumbnailSize_.second}, s, s, 8) < 0)
            return false;
    }
    vq_jpeg_tileEncoder* e = nullptr;
    if (!createJpegTileEncoder(&e)) return false;
    vq_ptr<vq_tileEncoder_base> encoder = vq_ptr<vq_tileEncoder_base>::adopt(e);
    encoder->setQuality(dir->getQuality());
    encoder->setSubsampling(4);
    encoder->setWriteTables(true);
    const bool ok = writeStrips(*dir, image.get(), thumbnailSize_, encoder.get());
    thumbnailImage_.reset();
    return ok;
}

bool vq_svs_saver::addRawThumbnail(vq_raw_tile* jpeg) {
    if (jpeg == nullptr) return false;
    vq::platform::ScopedLock lock(fileLock_);
    vq_svs_ifdDir dir;
    dir.setLevel(-1);
    if (!dir.attachJpegTables(jpeg)) return false;
    auto decoded = decodeRawJpeg(jpeg);
    if (decoded == nullptr) return false;
    const IntPair size(decoded->getWidth(), decoded->getHeight());
    thumbnailSize_ = thumbnailSourceSize_ = size;
    if (!jpeg->clone(readyThumbnail_) || readyThumbnail_ == nullptr || !stripJpegTables(jpeg, readyThumbnail_.get())) {
        readyThumbnail_.reset();
        return false;
    }
    fillDirectory(dir, size, 70, kindThumbnail);
    setTableValue(dir, 279, 0, static_cast<uint64_t>(std::max(0, readyThumbnail_->getDataLength())));
    directories_.push_front(dir);
    thumbnailLevel_ = -1;
    return true;
}

bool vq_svs_saver::addLabelOrMacro(int level, vq_raw_tile* tile) {
    if (tile == nullptr) return false;
    vq::platform::ScopedLock lock(fileLock_);
    if (!ensureStarted()) return false;
    int& mark = level == kindLabel ? labelMark_ : macroMark_;
    if (mark != -1) return true;
    const IntPair size = tile->getSize();
    // Uncompressed pixels must all be there before anything is written.
    if (tile->getCompression() == 1 &&
        (tile->getData() == nullptr || size.first <= 0 || size.second <= 0 ||
         int64_t(tile->getDataLength()) < int64_t(size.first) * 3 * size.second))
        return false;
    mark = level;
    directories_.emplace_back();
    vq_svs_ifdDir& dir = directories_.back();
    dir.setLevel(level);
    dir.setQuality(80);
    dir.setColourSpace(4);
    fillDirectory(dir, size, 80, level);
    if (!dir.writeDirectory(&stream_)) {
        std::fputs("Failed to write directory for label/macro layer\n", stderr);
        return false;
    }
    vq_ptr<imageContainer> image;
    if (tile->getCompression() == 7) {
        image = decodeRawJpeg(tile);
        if (image == nullptr) return false;
    } else if (tile->getCompression() == 1) {
        image = newClearedContainer(vq_fmtRGB24, size.first, size.second);
        if (image == nullptr) return false;
        const int64_t rowBytes = int64_t(size.first) * 3;
        ContainerPixels d(image.get());
        if (d.data == nullptr) return false;
        for (int r = 0; r < size.second; ++r)
            std::memcpy(d.data + int64_t(r) * d.step, tile->getData() + r * rowBytes, size_t(rowBytes));
    }
    vq_jpeg_tileEncoder* e = nullptr;
    if (!createJpegTileEncoder(&e)) return false;
    vq_ptr<vq_tileEncoder_base> encoder = vq_ptr<vq_tileEncoder_base>::adopt(e);
    encoder->setQuality(80);
    encoder->setSubsampling(1);
    encoder->setWriteTables(false);
    encoder->setColourSpace(4);
    return writeStrips(dir, image.get(), size, encoder.get());
}

// ---------------------------------------------------------------------------
// Finish and abort

bool vq_svs_saver::finish() {
    stopEncoderThreads(false);
    failure_.clear();
    if (readyThumbnail_ != nullptr) {
        for (auto& d : directories_) {
            if (d.getLevel() != -1 || d.isTiledImage()) continue;
            if (stream_.seek(0, 2) != 0) return false;
            const int64_t at = stream_.tell();
            const int64_t length = std::max(0, readyThumbnail_->getDataLength());
            if (stream_.writeBytes(readyThumbnail_->getData(), length) != length) {
                failure_ = "the thumbnail could not be written";
                return false;
            }
            setTableValue(d, 273, 0, static_cast<uint64_t>(at));
            break;
        }
    }
    stream_.pushPosition();
    if (stream_.seek(0, 2) != 0) return false;
    uint64_t total = static_cast<uint64_t>(stream_.tell()) + static_cast<uint64_t>(baseDirectory_.pendingSize());
    for (const auto& d : directories_) total += static_cast<uint64_t>(d.pendingSize());
    const bool big = total >= bigTiffThreshold_;
    header_.setBigTIFF(big);
    baseDirectory_.setBigTIFF(big);
    stream_.popPosition();
    auto fail = [&](const char* why) {
        failure_ = why;
        return false;
    };
    if (!header_.write(&stream_)) return fail("the header could not be written");
    if (const char* failed = writeDirectoryChain(baseDirectory_, directories_, &stream_, big)) return fail(failed);
    if (stream_.getStream()->flush() == -1) return fail("the file could not be flushed");
    const int failed = failedTiles();
    if (failed > 0) {
        char text[96];
        std::snprintf(text, sizeof text, "%d tiles could not be encoded or written", failed);
        std::fprintf(stderr, "%s\n", text);
        failure_ = text;
        return false;
    }
    return true;
}

void vq_svs_saver::abort() { stopEncoderThreads(true); }

bool vq_svs_saver::createEncoder(vq_ptr<vq_tileEncoder_base>& out) {
    if (compression_ == 7) {
        vq_jpeg_tileEncoder* e = nullptr;
        if (!createJpegTileEncoder(&e)) return false;
        out = vq_ptr<vq_tileEncoder_base>::adopt(e);
        // Tiles rely on the directory's JPEGTables.
        out->setWriteTables(false);
        return true;
    }
    if (compression_ == 33003) {
        // The built-in JPEG 2000 encoder; the full-chroma choice holds for
        // every tile this thread encodes.
        if (!createJ2KTileEncoder(out.put())) return false;
        out->setFullChroma(fullChroma_);
        return true;
    }
    return false;
}
