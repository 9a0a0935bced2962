#include "fuzz_common.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/tile_decoder_base.h"
#include "jpeg/jpeg_saver.h"

namespace fuzz {

vq_ptr<vq_stream> streamOver(const uint8_t* data, size_t size) {
    vq_ptr<vq_stream> s;
    if (openMemoryStream(data, uint64_t(size), s.put()) != 0) return vq_ptr<vq_stream>();
    return s;
}

std::string scratchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::filesystem::path dir = std::filesystem::path(base && *base ? base : "/tmp") /
                                ("vq_fuzz_" + std::to_string(::getpid()));
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir, ec);
    return dir.string() + "/";
}

bool writeFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

bool writeSmallJpeg(const std::string& path) {
    vq_ptr<imageContainer> image = vq_ptr<imageContainer>::adopt(imageContainer::create());
    vq_ptr<vq_stream> file;
    vq_ptr<vq_saver_base> saver;
    if (!image || !image->create(4, 16, 16, false) || openWriteStream(path.c_str(), file.put()) != 0 ||
        !createJPEGSaver(file.get(), saver.put()))
        return false;
    image->fill(120);
    const bool ok = saver->save(image.get(), 75, 4);
    saver.reset();
    return file->close() == 0 && ok;
}

namespace {

vq_ptr<imageContainer> newContainer() { return vq_ptr<imageContainer>::adopt(imageContainer::create()); }

bool small(const IntPair& size) {
    return size.first > 0 && size.second > 0 && int64_t(size.first) * size.second <= kMaxWholePixels;
}

} // namespace

void exerciseStrips(vq_stripLoader_base* strips, int format) {
    if (!strips) return;
    IntPair size = strips->getImageSize();
    if (size.first <= 0 || size.second <= 0) return;
    const int stripHeight = 16;
    if (strips->prepareStrips(stripHeight, format)) {
        vq_ptr<imageContainer> c = newContainer();
        int done = 0;
        for (int i = 0; i < kMaxStrips && done < size.second; ++i)
            if (!strips->readNextStrip(&done, c.get())) break;
    }
    if (strips->supportsYCbCr() && strips->prepareStripsYCbCr(stripHeight)) {
        vq_ptr<imageContainer> y = newContainer(), cb = newContainer(), cr = newContainer();
        int done = 0;
        for (int i = 0; i < kMaxStrips && done < size.second; ++i)
            if (!strips->readNextStripYCbCr(&done, y.get(), cb.get(), cr.get())) break;
    }
}

void exerciseLoader(vq_loader_base* loader) {
    if (!loader) return;
    vq_ptr<vq_FileInfo> info;
    if (!loader->getFileInfo(info.put()) || !info || !info->isValid()) return;
    FILE* sink = std::fopen("/dev/null", "w");
    if (sink) {
        info->printReport(sink);
        std::fclose(sink);
    }
    for (int format : info->getPixelFormats()) {
        vq_ptr<vq_stripLoader_base> strips;
        if (loader->getStripLoader(strips.put())) exerciseStrips(strips.get(), format);
        if (small(info->getImageSize())) {
            vq_ptr<imageContainer> c = newContainer();
            loader->loadImage(c.get(), format);
        }
    }
    if (small(info->getImageSize()) && loader->canLoadYCbCr()) {
        vq_ptr<imageContainer> y = newContainer(), cb = newContainer(), cr = newContainer();
        loader->loadImageYCbCr(y.get(), cb.get(), cr.get());
    }
    vq_ptr<vq_tileloader_base> tiles;
    if (loader->getTileLoader(tiles.put())) exerciseTileLoader(tiles.get());
}

void exerciseTileLoader(vq_tileloader_base* tiles) {
    if (!tiles) return;
    tiles->getDescription();
    const int images = std::min(tiles->getImageCount(), 4);
    for (int image = 0; image < images; ++image) {
        std::vector<IntPair> levels = tiles->getLevelSizes(image);
        tiles->getTileSize(image);
        vq_ptr<vq_tileDecoder_base> decoder;
        tiles->createTileDecoder(decoder.put(), image);
        for (int level = 0; level < int(levels.size()) && level < 8; ++level) {
            IntPair counts = tiles->getLevelTileCounts(level, image);
            int n = 0;
            for (int y = 0; y < counts.second && n < kMaxTilesPerLevel; ++y)
                for (int x = 0; x < counts.first && n < kMaxTilesPerLevel; ++x, ++n) {
                    if (!tiles->isValidTile(x, y, level, image)) continue;
                    vq_ptr<vq_raw_tile> raw, stored;
                    tiles->loadRawTile(x, y, level, image, raw.put());
                    tiles->loadRawTileAsStored(x, y, level, image, stored.put());
                    vq_ptr<imageContainer> c = newContainer();
                    tiles->loadTile(x, y, level, image, c.get(), tiles->getPixelFormat(level, image));
                    if (tiles->isRawYCbCr(image)) {
                        vq_ptr<imageContainer> py = newContainer(), pcb = newContainer(), pcr = newContainer();
                        tiles->loadTileYCbCr(x, y, level, image, py.get(), pcb.get(), pcr.get());
                    }
                    if (decoder && raw && raw->getData()) {
                        vq_ptr<imageContainer> d = newContainer();
                        decoder->decodeTile(IntPair(x, y), level, raw->getData(), raw->getDataLength(), d.get());
                    }
                }
            vq_ptr<vq_raw_tile> tables;
            tiles->getJpegTables(level, image, tables.put());
        }
        vq_ptr<vq_raw_tile> thumb;
        tiles->loadThumbnail(thumb.put(), image);
    }
    for (int extra : {-2, -3}) {
        vq_ptr<vq_raw_tile> raw;
        tiles->loadRawTile(0, 0, extra, 0, raw.put());
        vq_ptr<imageContainer> c = newContainer();
        tiles->loadTile(0, 0, extra, 0, c.get(), 1);
    }
}

} // namespace fuzz
