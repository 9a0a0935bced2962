// The thumbnail, label and macro images of a slide, each as one whole image:
// strip images (uncompressed or LZW) assembled into RGB rows, JPEG strips
// stacked into one JPEG on their DCT coefficients, and tiled JPEG images of
// SCN files decoded, assembled and encoded again.
#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "jpeg/jpeg_bridge.h"
#include "jpeg/jpeg_saver.h"
#include "jpeg/jpeg_tile_decoder.h"
#include "readers/tiff/lzw_decoder.h"
#include "readers/tiff/svs_reader.h"

namespace {

constexpr int kMaxComponents = 4;

void handOut(vq_raw_tile* tile, vq_raw_tile** out) {
    *out = tile;
    tile->addRef();
}

bool tileFromStream(vq_stream* s, IntPair size, int compression, vq_raw_tile** out) {
    if (s->seek(0, vq_seekEnd) != 0) return false;
    const int64_t length = s->tell();
    if (length <= 0 || length > INT32_MAX) return false;
    vq_ptr<vq_raw_tile> tile;
    if (!createRawTile(tile.put()) || !tile->allocate(int32_t(length), size)) return false;
    tile->setCompression(compression);
    s->seek(0, vq_seekStart);
    if (s->read(tile->getData(), uint32_t(length)) != int32_t(length)) return false;
    handOut(tile.get(), out);
    return true;
}

bool decodeJpegTile(vq_raw_tile* tile, vq_ptr<imageContainer>& out) {
    vq_ptr<vq_TIFFJPEGTileDecoder> decoder = vq_ptr<vq_TIFFJPEGTileDecoder>::adopt(createTIFFJPEGTileDecoder());
    if (!decoder || !createImageContainer(out.put())) return false;
    return decoder->decodeTile(IntPair(0, 0), 0, tile->getData(), tile->getDataLength(), out.get());
}

} // namespace

bool SVSTileLoader::readStrip(vq_svs_ifdDir_read& dir, int i, vq_raw_tile** out, int64_t* byteTotal) {
    vq::platform::ScopedLock lock(fileLock);
    if (!dir.hasEntries() || !dir.findItem(259).isValid()) return false;
    const uint32_t c = dir.inlineValueOr(259, 0);
    if (!dir.findItem(273).isValid() || !dir.findItem(279).isValid()) return false;
    dir.loadItem(279, &tiffStream);
    dir.loadItem(273, &tiffStream);
    uint32_t n = 0;
    uint64_t offset = 0;
    if (!dir.findItem(279).getValue32(&n, i) || !dir.findItem(273).getValue64(&offset, i)) return false;
    // A strip must lie inside the file before its byte count sizes a buffer.
    const uint64_t length = uint64_t(std::max<int64_t>(fileSize, 0));
    if (n > uint32_t(INT32_MAX - 64) || offset > length || n > length - offset) return false;
    vq_ptr<vq_raw_tile> result;
    if (!createRawTile(result.put())) return false;
    if (c == 5) {
        uint32_t rps = 0;
        if (!dir.findItem(278).getInlineValue32(&rps) || rps == 0) return false;
        const IntPair size = dir.getImageSize();
        const int32_t strips = dir.findItem(279).getCount();
        int64_t rows = rps;
        if (i == strips - 1) rows = size.second % rps == 0 ? rps : size.second % rps;
        rows = std::min<int64_t>(rows, size.second);
        const int64_t rgbBytes = int64_t(size.first) * 3 * rows;
        if (size.first <= 0 || rows <= 0 || int64_t(size.first) * 4 * rows > INT32_MAX - 16 ||
            !tileFitsItsBytes(rgbBytes, n))
            return false;
        if (!result->allocate(int32_t(rgbBytes), IntPair(size.first, int32_t(rows)))) return false;
        result->setCompression(1);
        std::vector<uint8_t> stored(size_t(n) + 1, 0);
        if (!readAt(offset, stored.data(), n)) return false;
        LzwWorkBuffers lzw;
        if (!lzw.prepare(int32_t(int64_t(size.first) * 4 * rows)) ||
            !lzw.decode(stored.data(), n, size.first * 3, int32_t(rows)))
            return false;
        std::memcpy(result->getData(), lzw.data(), size_t(rgbBytes));
        if (dir.inlineValueOr(317, 1) == 2) {
            uint8_t* p = result->getData();
            for (int64_t r = 0; r < rows; ++r) {
                uint8_t* row = p + r * size.first * 3;
                for (int x = 3; x < size.first * 3; ++x) row[x] = uint8_t(row[x] + row[x - 3]);
            }
        }
        handOut(result.get(), out);
        return true;
    }
    if (c == 1) {
        *byteTotal += n;
        if (n == 0 || !result->allocate(int32_t(n), IntPair(0, 0))) return false;
        result->setCompression(1);
        if (!readAt(offset, result->getData(), n)) return false;
        handOut(result.get(), out);
        return true;
    }
    if (c == 7) {
        if (!dir.findItem(347).isValid()) return false;
        const std::vector<uint8_t> tables = dir.loadItem(347, &tiffStream);
        *byteTotal += n;
        return buildJpegWithTables(tables, n, offset, IntPair(1, 1), out);
    }
    return false;
}

bool SVSTileLoader::readExtraTile(int x, int y, vq_svs_ifdDir_read& dir, vq_raw_tile** out) {
    const int32_t n = x + y * dir.getTileGrid().first;
    if (slideCompression(dir) != 7 || dir.inlineValueOr(259, 0) != 7) return false;
    // Only files whose tiles are complete JPEG streams are read this way.
    if (hasAnyJpegTables()) return false;
    uint32_t count = 0;
    uint64_t offset = 0;
    if (!getTileLocation(dir, n, &count, &offset)) return false;
    vq_ptr<vq_raw_tile> tile;
    if (!createRawTile(tile.put()) || !tile->allocate(int32_t(count), dir.getTileSize())) return false;
    tile->setCompression(7);
    if (!readAt(offset, tile->getData(), count)) return false;
    handOut(tile.get(), out);
    return true;
}

bool SVSTileLoader::assembleTiledExtraImage(vq_svs_ifdDir_read& dir, imageContainer* dst) {
    const IntPair grid = dir.getTileGrid(), tile = dir.getTileSize(), size = dir.getImageSize();
    if (int64_t(grid.first) * tile.first > INT32_MAX / 4 || int64_t(grid.second) * tile.second > INT32_MAX / 4 ||
        !tileFitsItsBytes(int64_t(grid.first) * tile.first * grid.second * tile.second * 3, fileSize))
        return false;
    if (!dst->create(4, grid.first * tile.first, grid.second * tile.second, false)) return false;
    uint8_t* data = nullptr;
    int32_t step = 0;
    dst->lockPixels(&data, &step);
    bool ok = true;
    for (int r = 0; ok && r < grid.second; ++r) {
        for (int c = 0; ok && c < grid.first; ++c) {
            vq_ptr<vq_raw_tile> raw;
            vq_ptr<imageContainer> decoded;
            ok = readExtraTile(c, r, dir, raw.put()) && decodeJpegTile(raw.get(), decoded) &&
                 decoded->convertTo(4);
            if (!ok) break;
            // A tile never writes beyond its own cell.
            const int rows = std::min(decoded->getHeight(), tile.second);
            const int cols = std::min(decoded->getWidth(), tile.first);
            ok = decoded->copyDataTo(data + int64_t(r) * tile.second * step + int64_t(c) * tile.first * 3, 0, rows,
                                     cols, step);
        }
    }
    dst->unlockPixels();
    return ok && dst->crop(size.first, size.second);
}

bool SVSTileLoader::decodeTiledExtraImage(vq_svs_ifdDir_read& dir, imageContainer* dst) {
    if (dst == nullptr || !dir.hasEntries()) return false;
    vq::platform::ScopedLock lock(fileLock);
    if (!dir.isTiled() || !isScn || slideCompression(dir) != 7) return false;
    return assembleTiledExtraImage(dir, dst);
}

bool SVSTileLoader::decodeExtraImage(vq_svs_ifdDir_read& dir, imageContainer* dst, int format) {
    if (dst == nullptr) return false;
    if (decodeTiledExtraImage(dir, dst)) {
        dst->convertTo(format);
        return true;
    }
    vq_ptr<vq_raw_tile> whole;
    if (!loadWholeImage(dir, whole.put()) || !whole) return false;
    vq_ptr<imageContainer> image;
    if (whole->getCompression() == 7) {
        if (!decodeJpegTile(whole.get(), image) || !image->convertTo(format)) return false;
    } else if (whole->getCompression() == 1) {
        const IntPair size = whole->getSize();
        if (!createImageContainer(image.put()) || !image->create(4, size.first, size.second, false)) return false;
        uint8_t* data = nullptr;
        int32_t step = 0;
        image->lockPixels(&data, &step);
        const int64_t rowBytes = int64_t(size.first) * 3;
        for (int r = 0; r < size.second && rowBytes * (r + 1) <= whole->getDataLength(); ++r)
            std::memcpy(data + int64_t(r) * step, whole->getData() + rowBytes * r, size_t(rowBytes));
        image->unlockPixels();
        if (!image->convertTo(format)) return false;
    } else {
        return false;
    }
    return dst->cloneFrom(image.get(), false);
}

bool SVSTileLoader::mergeJpegStrips(vq_svs_ifdDir_read& dir, int strips, vq_raw_tile** out) {
    std::vector<std::unique_ptr<JpegCoefficientReader>> readers;
    int64_t byteTotal = 0;
    int width = 0, height = 0, components = 0;
    int widthInBlocks0[kMaxComponents] = {}, heightInBlocks[kMaxComponents] = {};
    int hs[kMaxComponents] = {}, vs[kMaxComponents] = {};
    for (int s = 0; s < strips; ++s) {
        auto reader = std::make_unique<JpegCoefficientReader>();
        vq_ptr<vq_raw_tile> strip;
        if (!readStrip(dir, s, strip.put(), &byteTotal)) return false;
        reader->setTile(strip.get());
        if (!reader->read()) return false;
        const jpeg_decompress_struct& info = reader->decompressor.info;
        if (s == 0) {
            width = int(info.image_width);
            components = info.num_components;
            if (components < 1 || components > kMaxComponents) return false;
            for (int k = 0; k < components; ++k) {
                widthInBlocks0[k] = int(info.comp_info[k].width_in_blocks);
                hs[k] = info.comp_info[k].h_samp_factor;
                vs[k] = info.comp_info[k].v_samp_factor;
            }
        } else {
            // Every strip must be laid out like the first.
            if (int(info.image_width) != width || info.num_components != components) return false;
            for (int k = 0; k < components; ++k)
                if (info.comp_info[k].h_samp_factor != hs[k] || info.comp_info[k].v_samp_factor != vs[k])
                    return false;
        }
        height += int(info.image_height);
        for (int k = 0; k < components; ++k) heightInBlocks[k] += int(info.comp_info[k].height_in_blocks);
        readers.push_back(std::move(reader));
    }
    JpegDecompressor& first = readers[0]->decompressor;
    j_common_ptr owner = first.common();
    jvirt_barray_ptr arrays[kMaxComponents] = {};
    int arrayRows[kMaxComponents] = {};
    const int maxH = first.info.max_h_samp_factor, maxV = first.info.max_v_samp_factor;
    bool ok = first.guarded([&] {
        for (int k = 0; k < components; ++k) {
            // Whole MCUs of the merged frame are always covered.
            const int needAcross = (width + 8 * maxH - 1) / (8 * maxH) * hs[k];
            const int needDown = (height + 8 * maxV - 1) / (8 * maxV) * vs[k];
            const int across = std::max(needAcross, roundUpToMultiple(widthInBlocks0[k], hs[k]));
            arrayRows[k] = std::max(needDown, roundUpToMultiple(heightInBlocks[k], vs[k]));
            arrays[k] = (*owner->mem->request_virt_barray)(owner, JPOOL_IMAGE, TRUE, JDIMENSION(across),
                                                           JDIMENSION(arrayRows[k]), JDIMENSION(vs[k]));
        }
        (*owner->mem->realize_virt_arrays)(owner);
    });
    if (!ok) return false;
    int rowOffset[kMaxComponents] = {};
    for (int s = 0; ok && s < strips; ++s) {
        JpegDecompressor& src = readers[s]->decompressor;
        bool inner = true;
        ok = first.guarded([&] {
            inner = src.guarded([&] {
                for (int k = 0; k < components; ++k) {
                    const jpeg_component_info& ci = src.info.comp_info[k];
                    const int v = vs[k], rows = int(ci.height_in_blocks), cols = int(ci.width_in_blocks);
                    const int srcRows = roundUpToMultiple(rows, v);
                    for (int row = 0; row < rows; row += v) {
                        const int n = std::min(v, std::min(srcRows - row, arrayRows[k] - (rowOffset[k] + row)));
                        if (n <= 0) break;
                        JBLOCKARRAY from = (*src.info.mem->access_virt_barray)(
                            src.common(), readers[s]->coefficients[k], JDIMENSION(row), JDIMENSION(n), FALSE);
                        JBLOCKARRAY to = (*owner->mem->access_virt_barray)(
                            owner, arrays[k], JDIMENSION(rowOffset[k] + row), JDIMENSION(n), TRUE);
                        for (int i = 0; i < n; ++i)
                            std::memcpy(to[i][0], from[i][0], sizeof(JBLOCK) * size_t(std::min(cols, widthInBlocks0[k])));
                    }
                    rowOffset[k] += rows;
                }
            });
        }) && inner;
    }
    if (!ok) return false;
    vq_ptr<vq_stream> memory;
    if (createMemoryWriteStream(4096, memory.put()) != 0) return false;
    memory->seek(byteTotal, vq_seekStart);
    memory->seek(0, vq_seekStart);
    JpegCompressor c;
    if (!createJpegCompress(c)) return false;
    vq_stream* dest = memory.get();
    bool written = true;
    ok = first.guarded([&] {
        written = c.guarded([&] {
            jpegStreamDestination(&c.info, dest);
            jpeg_copy_critical_parameters(&first.info, &c.info);
            copyHuffmanTables(&first.info, &c.info);
            c.info.image_width = JDIMENSION(width);
            c.info.image_height = JDIMENSION(height);
            jpeg_write_coefficients(&c.info, arrays);
            jpeg_finish_compress(&c.info);
        });
    }) && written;
    if (!ok) return false;
    // The memory stream held the bytes written so far; the tile is its content.
    return tileFromStream(memory.get(), IntPair(width, height), 7, out);
}

bool SVSTileLoader::loadWholeImage(vq_svs_ifdDir_read& dir, vq_raw_tile** out) {
    if (out == nullptr || !dir.hasEntries()) return false;
    vq::platform::ScopedLock lock(fileLock);
    const int c = int(dir.inlineValueOr(259, 1));
    if (dir.isTiled() && isScn) {
        if (c != 7) return false;
        vq_ptr<imageContainer> image;
        if (!createImageContainer(image.put()) || !assembleTiledExtraImage(dir, image.get())) return false;
        vq_ptr<vq_stream> memory;
        if (createMemoryWriteStream(4096, memory.put()) != 0) return false;
        vq_JPEGSaver saver(memory.get());
        saver.setColourSpace(3);
        if (!saver.save(image.get(), 75, 4)) return false;
        return tileFromStream(memory.get(), dir.getImageSize(), 7, out);
    }
    if (!dir.findItem(273).isValid()) return false;
    dir.loadItem(273, &tiffStream);
    const int strips = dir.findItem(273).getCount();
    if (strips <= 0) return false;
    if (c == 1 || c == 5) {
        // Strips become 8-bit RGB rows: other sample layouts are refused.
        dir.loadItem(258, &tiffStream);
        uint32_t bits = 0;
        if (dir.inlineValueOr(277, 1) != 3 || !dir.findItem(258).getValue32(&bits, 0) || bits != 8) return false;
        const IntPair size = dir.getImageSize();
        const int64_t total = int64_t(size.first) * 3 * size.second;
        if (size.first <= 0 || size.second <= 0 || total > INT32_MAX || !tileFitsItsBytes(total, fileSize))
            return false;
        vq_ptr<vq_raw_tile> tile;
        if (!createRawTile(tile.put()) || !tile->allocate(int32_t(total), size)) return false;
        tile->setCompression(1);
        std::memset(tile->getData(), 0, size_t(total));
        int64_t written = 0, byteTotal = 0;
        for (int i = 0; i < strips && written < total; ++i) {
            vq_ptr<vq_raw_tile> strip;
            if (!readStrip(dir, i, strip.put(), &byteTotal)) return false;
            // Strips never write past the image, however long they are.
            const int64_t n = std::min<int64_t>(strip->getDataLength(), total - written);
            std::memcpy(tile->getData() + written, strip->getData(), size_t(n));
            written += n;
        }
        handOut(tile.get(), out);
        return true;
    }
    if (c == 7) return mergeJpegStrips(dir, strips, out);
    return false;
}
