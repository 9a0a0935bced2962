// Strip reader of strip TIFF and BigTIFF images: each stored strip is decoded
// once and the requested strips are cut from it. JPEG strips get the file's
// JPEGTables put in front and are decoded by the JPEG reader, which can also
// deliver their planes without colour conversion.
#include <algorithm>
#include <cstring>

#include "engine/base/imageContainer.h"
#include "engine/base/stream.h"
#include "engine/base/tile_key.h"
#include "engine/base/reader_messages.h"
#include "primitives/core/planar.h"
#include "jpeg/jpeg_reader.h"
#include "jpeg/jpeg_stream_parser.h"
#include "jpeg/jpeg_tables.h"
#include "readers/tiff/tiff_reader.h"

using namespace vqtiff;

namespace {
constexpr int kMaxPlanes = 16;

bool ensureContainer(vq_ptr<imageContainer>& c) {
    if (c) {
        c->freeBuffer();
        return true;
    }
    return createImageContainer(c.put()) != nullptr;
}
} // namespace

vq_TIFFStripLoader* vq_TIFFStripLoader::create() {
    auto* l = new vq_TIFFStripLoader();
    l->addRef();
    return l;
}

vq_TIFFStripLoader::~vq_TIFFStripLoader() = default;

bool vq_TIFFStripLoader::open() {
    TIFFHandle* tiff = binding.handle();
    if (tiff == nullptr) return false;
    fileInfo.readDirectories(tiff);
    if (!fileInfo.isValid()) return false;
    // JPEG 2000 is read tile by tile (the tile reader and its JPEG 2000 tile
    // decoder); the library decodes no JPEG 2000 strips.
    if (fileInfo.compression == 33003) {
        if (!fileInfo.tiled) reportReaderMessage("JPEG 2000 compressed TIFF strips are not supported\n");
        return false;
    }
    uint32_t w = 0, h = 0;
    if (!TIFFQueryField(tiff, TAG_ImageWidth, &w) || !TIFFQueryField(tiff, TAG_ImageLength, &h) || w == 0 || h == 0 ||
        w > INT32_MAX || h > INT32_MAX)
        return false;
    imageSize = IntPair(int32_t(w), int32_t(h));
    // Without RowsPerStrip the whole image is one strip.
    uint32_t rps = 0;
    if (!TIFFQueryField(tiff, TAG_RowsPerStrip, &rps) || rps == 0 || rps > h) rps = h;
    rowsPerStrip = int(rps);
    uint16_t compression = 0;
    if (!TIFFQueryField(tiff, TAG_Compression, &compression)) return false;
    if (compression != 7) {
        if (fileInfo.pixelFormat >= 0 && fileInfo.pixelFormat != 3) return true;
        reportReaderMessage("TIFF samples (photometric %d, %d per pixel of %d bits) are not supported\n",
                            int(fileInfo.photometric), int(fileInfo.samplesPerPixel), int(fileInfo.bitsPerSample));
        return false;
    }
    jpegStrips = true;
    void* tables = nullptr;
    if (!TIFFQueryField(tiff, TAG_JPEGTables, &jpegTablesLength, &tables)) return false;
    jpegTables = static_cast<const uint8_t*>(tables);
    return jpegTablesLength != 0 && jpegTables != nullptr;
}

bool vq_TIFFStripLoader::prepareStrips(int height, int format) {
    if (height <= 0) return false;
    stripHeight = height;
    requestedFormat = format;
    delivered = 0;
    rowPosition = 0;
    return readStrip(0);
}

bool vq_TIFFStripLoader::prepareStripsYCbCr(int height) {
    if (height <= 0) return false;
    stripHeight = height;
    requestedFormat = 3;
    delivered = rowPosition = chromaRowPosition = 0;
    return readStrip(0);
}

bool vq_TIFFStripLoader::assembleJpegStrip(int row, vq_ptr<imageContainer>& out) {
    TIFFHandle* tiff = binding.handle();
    if (tiff == nullptr) return false;
    const uint32_t strip = TIFFStripOfRow(tiff, uint32_t(row), 0);
    // A count that reaches past the end of the file never sizes a buffer.
    const int64_t raw = TIFFStoredSizeInFile(tiff, strip);
    const JpegTablesBody tables = jpegTablesBody(jpegTables, jpegTablesLength);
    const size_t length = tables.length;
    if (raw <= 0 || raw + int64_t(length) + 2 > INT32_MAX / 2) return false;
    vq_ptr<imageContainer> buffer;
    if (!createImageContainer(buffer.put()) || !buffer->create(6, int32_t(raw + int64_t(length) + 2), 1, true))
        return false;
    uint8_t* d = nullptr;
    int32_t step = 0;
    buffer->lockPixels(&d, &step);
    d[0] = 0xFF;
    d[1] = 0xD8;
    std::memcpy(d + 2, tables.data, length);
    uint8_t* body = d + 2 + length;
    const int64_t n = TIFFReadRawStrip(tiff, strip, body, raw);
    if (n >= 2 && body[0] == 0xFF && body[1] == 0xD8) std::memmove(body, body + 2, size_t(n - 2));
    buffer->unlockPixels();
    if (n <= 0) return false;
    out = buffer;
    return true;
}

bool vq_TIFFStripLoader::decodeJpegStrip(int row) {
    return decodeAssembledStrip(row, [&](vq_loader_base* jpeg) { return jpeg->loadImage(decoded.get(), requestedFormat); });
}

bool vq_TIFFStripLoader::decodeJpegStripYCbCr(int row) {
    return decodeAssembledStrip(row, [&](vq_loader_base* jpeg) {
        return jpeg->loadImageYCbCr(decodedY.get(), decodedCb.get(), decodedCr.get());
    });
}

template <class Decode>
bool vq_TIFFStripLoader::decodeAssembledStrip(int row, Decode decode) {
    vq_ptr<imageContainer> buffer;
    if (!assembleJpegStrip(row, buffer)) return false;
    const uint8_t* d = nullptr;
    int32_t step = 0;
    buffer->lockPixelsConst(&d, &step);
    vq_ptr<vq_stream> memory;
    vq_ptr<vq_loader_base> loader;
    const bool ok = openMemoryStream(d, uint64_t(buffer->getWidth()), memory.put()) == 0 &&
                    createJPEGLoader(memory.get(), loader.put()) && decode(loader.get());
    buffer->unlockPixels();
    rowPosition = chromaRowPosition = 0;
    return ok;
}

bool vq_TIFFStripLoader::readStrip(int row) {
    TIFFHandle* tiff = binding.handle();
    if (tiff == nullptr) return false;
    ++stripsDecoded;
    if (requestedFormat == 3 && jpegStrips) {
        if (!ensureContainer(decodedY) || !ensureContainer(decodedCb) || !ensureContainer(decodedCr)) return false;
        return decodeJpegStripYCbCr(row);
    }
    if (!ensureContainer(decoded)) return false;
    if (jpegStrips) return decodeJpegStrip(row);
    const int pf = fileInfo.pixelFormat;
    const int width = imageSize.first;
    if (pf < 0 || !decoded->create(pf, width, rowsPerStrip, true)) return false;
    const int64_t capacity = int64_t(decoded->getStep()) * rowsPerStrip;
    if (fileInfo.separatePlanes) {
        const int samples = fileInfo.samplesPerPixel;
        // At most 16 planes are held, and only 8-bit planes are interleaved.
        if (samples < 1 || samples > kMaxPlanes || fileInfo.bitsPerSample != 8) return false;
        std::vector<vq_ptr<imageContainer>> planes;
        for (int s = 0; s < samples; ++s) {
            vq_ptr<imageContainer> plane;
            if (!createImageContainer(plane.put()) || !plane->create(6, width, rowsPerStrip, true)) return false;
            uint8_t* p = nullptr;
            int32_t step = 0;
            plane->lockPixels(&p, &step);
            const int64_t n = TIFFReadDecodedStrip(tiff, TIFFStripOfRow(tiff, uint32_t(row), uint16_t(s)), p,
                                                   int64_t(step) * rowsPerStrip);
            plane->unlockPixels();
            if (n < 0) return false;
            planes.push_back(plane);
        }
        const int channels = decoded->getChannels();
        if (channels == 3 || channels == 4) {
            const uint8_t* src[4] = {};
            int32_t planeStep = 0;
            for (int i = 0; i < channels && i < samples; ++i) planes[i]->lockPixelsConst(&src[i], &planeStep);
            uint8_t* d = nullptr;
            int32_t step = 0;
            decoded->lockPixels(&d, &step);
            if (samples >= channels) {
                if (channels == 3)
                    copyPlanesToPixels8uC3(src, planeStep, d, step, PrimSize{width, rowsPerStrip});
                else
                    copyPlanesToPixels8uC4(src, planeStep, d, step, PrimSize{width, rowsPerStrip});
            }
            decoded->unlockPixels();
            for (int i = 0; i < channels && i < samples; ++i) planes[i]->unlockPixels();
        }
    } else {
        // The library never writes more than the strip container holds.
        if (int64_t(TIFFScanlineSize(tiff)) > decoded->getStep()) return false;
        uint8_t* d = nullptr;
        int32_t step = 0;
        decoded->lockPixels(&d, &step);
        const int64_t n = TIFFReadDecodedStrip(tiff, TIFFStripOfRow(tiff, uint32_t(row), 0), d, capacity);
        decoded->unlockPixels();
        if (n < 0) return false;
    }
    rowPosition = chromaRowPosition = 0;
    // Strips are cut in the requested format only: a strip that cannot be
    // converted is not delivered.
    return convertForDelivery(decoded.get(), requestedFormat) && decoded->getFormat() == requestedFormat;
}

bool vq_TIFFStripLoader::readNextStrip(int* rowsDone, imageContainer* dst) {
    if (binding.handle() == nullptr || dst == nullptr || !decoded) return false;
    const int n = std::min(stripHeight, imageSize.second - delivered);
    if (n <= 0 || !dst->create(requestedFormat, imageSize.first, n, false)) return false;
    dst->clear();
    uint8_t* d = nullptr;
    int32_t step = 0;
    dst->lockPixels(&d, &step);
    int copied = 0;
    while (copied < n) {
        if (rowPosition >= decoded->getHeight() && !readStrip(delivered)) {
            dst->unlockPixels();
            return false;
        }
        const int rows = std::min(n - copied, decoded->getHeight() - rowPosition);
        if (rows <= 0 || !decoded->copyDataTo(d, rowPosition, rows, imageSize.first, step)) {
            dst->unlockPixels();
            return false;
        }
        d += int64_t(rows) * step;
        copied += rows;
        rowPosition += rows;
        delivered += rows;
    }
    dst->unlockPixels();
    if (rowsDone) *rowsDone = delivered;
    return true;
}

bool vq_TIFFStripLoader::supportsYCbCr() {
    if (!jpegStrips || jpegTables == nullptr) return false;
    vq_ptr<imageContainer> buffer;
    if (!assembleJpegStrip(0, buffer)) return false;
    const uint8_t* d = nullptr;
    int32_t step = 0;
    buffer->lockPixelsConst(&d, &step);
    JpegStreamParser parser;
    parser.readFrameHeader(d, uint32_t(buffer->getWidth()));
    buffer->unlockPixels();
    if (!parser.parsed) return false;
    rawSubsampling = parser.getSubsampling();
    return rawSubsampling != 5 && parser.getColourSpace() == 3;
}

bool vq_TIFFStripLoader::readNextStripYCbCr(int* rowsDone, imageContainer* y, imageContainer* cb,
                                            imageContainer* cr) {
    if (binding.handle() == nullptr || y == nullptr || cb == nullptr || cr == nullptr || !decodedY) return false;
    const int n = std::min(stripHeight, imageSize.second - delivered);
    if (n <= 0) return false;
    const bool halfRows = rawSubsampling == 3 || rawSubsampling == 4;
    auto chromaRows = [&](int r) { return halfRows ? (r + 1) / 2 : r; };
    const IntPair chroma = chromaPlaneSize(imageSize, rawSubsampling);
    if (!y->create(7, imageSize.first, n, false) || !cb->create(8, chroma.first, chromaRows(n), false) ||
        !cr->create(9, chroma.first, chromaRows(n), false))
        return false;
    uint8_t *dy = nullptr, *dcb = nullptr, *dcr = nullptr;
    int32_t sy = 0, scb = 0, scr = 0;
    y->lockPixels(&dy, &sy);
    cb->lockPixels(&dcb, &scb);
    cr->lockPixels(&dcr, &scr);
    auto unlockAll = [&] {
        y->unlockPixels();
        cb->unlockPixels();
        cr->unlockPixels();
    };
    int copied = 0, chromaCopied = 0;
    while (copied < n) {
        if (rowPosition >= decodedY->getHeight() && !readStrip(delivered)) {
            unlockAll();
            return false;
        }
        const int rows = std::min(n - copied, decodedY->getHeight() - rowPosition);
        const int c = std::min({chromaRows(rows), chromaRows(n) - chromaCopied,
                                decodedCb->getHeight() - chromaRowPosition});
        if (rows <= 0 || !decodedY->copyDataTo(dy, rowPosition, rows, imageSize.first, sy) ||
            (c > 0 && (!decodedCb->copyDataTo(dcb, chromaRowPosition, c, chroma.first, scb) ||
                       !decodedCr->copyDataTo(dcr, chromaRowPosition, c, chroma.first, scr)))) {
            unlockAll();
            return false;
        }
        dy += int64_t(rows) * sy;
        dcb += int64_t(std::max(c, 0)) * scb;
        dcr += int64_t(std::max(c, 0)) * scr;
        copied += rows;
        chromaCopied += std::max(c, 0);
        rowPosition += rows;
        chromaRowPosition += std::max(c, 0);
        delivered += rows;
    }
    unlockAll();
    if (rowsDone) *rowsDone = delivered;
    return true;
}
