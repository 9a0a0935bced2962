#include "readers/plain/bmp_reader.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/reader_messages.h"
#include "readers/plain/pixel_rows.h"

namespace {

uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void putLe16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void putLe32(uint8_t* p, uint32_t v) {
    putLe16(p, v);
    putLe16(p + 2, v >> 16);
}

// Pixels per metre to dots per inch, truncated.
int toDotsPerInch(uint32_t perMetre) {
    return int(double(int32_t(perMetre)) / 39.37);
}

} // namespace

vq_BMPFileInfo* vq_BMPFileInfo::create() {
    auto* info = new vq_BMPFileInfo;
    info->addRef();
    return info;
}

bool vq_BMPFileInfo::readHeader(vq_stream* stream) {
    invalidate();
    std::memset(fileHeader, 0, sizeof fileHeader);
    std::memset(infoHeader, 0, sizeof infoHeader);
    rowStride = 0;
    pixelOffset = 0;
    topDown = false;
    if (!stream)
        return false;
    if (stream->read(fileHeader, 14) != 14 || fileHeader[0] != 'B' || fileHeader[1] != 'M')
        return false;
    pixelOffset = le32(fileHeader + 10);

    if (stream->read(infoHeader, 4) != 4)
        return false;
    const uint32_t headerSize = le32(infoHeader);
    if (headerSize < 12 || headerSize > 64)
        return false;
    if (stream->read(infoHeader + 4, headerSize - 4) != int32_t(headerSize - 4))
        return false;

    int64_t width = 0, height = 0;
    uint32_t planes = 0, bitsPerPixel = 0, compression = 0, coloursUsed = 0;
    uint32_t xPerMetre = 0, yPerMetre = 0;
    if (headerSize == 12) {
        width = le16(infoHeader + 4);
        height = le16(infoHeader + 6);
        planes = le16(infoHeader + 8);
        bitsPerPixel = le16(infoHeader + 10);
    } else if (headerSize == 40 || headerSize == 64) {
        width = int32_t(le32(infoHeader + 4));
        height = int32_t(le32(infoHeader + 8));
        planes = le16(infoHeader + 12);
        bitsPerPixel = le16(infoHeader + 14);
        compression = le32(infoHeader + 16);
        xPerMetre = le32(infoHeader + 24);
        yPerMetre = le32(infoHeader + 28);
        coloursUsed = le32(infoHeader + 32);
    } else {
        return false;
    }
    if (coloursUsed > 256 || planes != 1)
        return false;

    int format = 0, bytesPerPixel = 0;
    if (bitsPerPixel == 24) {
        format = 1;
        bytesPerPixel = 3;
    } else if (bitsPerPixel == 32) {
        format = 2;
        bytesPerPixel = 4;
    } else {
        return false;
    }
    // Compressed pixel data would be read as if it were plain rows.
    if (compression != 0)
        return false;
    // A negative height marks rows stored top row first.
    topDown = height < 0;
    if (topDown)
        height = -height;
    const int64_t stride = (width * bytesPerPixel + 3) / 4 * 4;
    if (width < 1 || height < 1 || height > INT_MAX || stride > INT_MAX)
        return false;
    rowStride = int(stride);

    // The first stored row is at the pixel data offset, whatever lies between
    // the headers and the rows (a colour table, bit masks).
    stream->seek(pixelOffset, vq_seekStart);

    std::set<int> formats{format, 1, 4, 5};
    accept(int(width), int(height), format, std::move(formats), format == 2);
    resolution = IntPair(toDotsPerInch(xPerMetre), toDotsPerInch(yPerMetre));
    return true;
}

void vq_BMPFileInfo::printReport(FILE* out) {
    if (valid)
        printSizeAndFormat(out, pixelFormat == 1 ? "24-bit Windows Bitmap format\n"
                                                 : "32-bit Windows Bitmap format\n");
}

vq_BMPLoader* vq_BMPLoader::create(vq_stream* stream) {
    auto* loader = new vq_BMPLoader(stream);
    loader->addRef();
    return loader;
}

vq_BMPStripLoader* vq_BMPStripLoader::create() {
    auto* strips = new vq_BMPStripLoader;
    strips->addRef();
    return strips;
}

bool vq_BMPStripLoader::readNextStrip(int* rowsDone, imageContainer* dst) {
    const int n = nextStripRows();
    if (stream == nullptr || n == 0 || !createStrip(dst, format, imageSize.first, n))
        return false;
    const int stride = info.getRowStride();
    const int height = imageSize.second;
    // Bottom-up files hold the strip's rows, last one first, just before the
    // rows of the strips already delivered.
    const int firstStored = info.isTopDown() ? delivered : height - delivered - n;
    std::vector<uint8_t> stored(size_t(stride), 0);

    uint8_t* pixels = nullptr;
    int32_t step = 0;
    dst->lockPixels(&pixels, &step);
    bool ok = stream->seek(int64_t(info.getPixelOffset()) + int64_t(firstStored) * stride,
                           vq_seekStart) == 0;
    for (int j = 0; ok && j < n; ++j) {
        if (stream->read(stored.data(), uint32_t(stride)) != stride) {
            reportReaderMessage("Failed to read line %d at pos %ld\n", delivered,
                         long(stream->tell()));
            ok = false;
            break;
        }
        const int row = info.isTopDown() ? j : n - 1 - j;
        vq_pixel_rows::convertRow(stored.data(), info.getPixelFormat(),
                                  pixels + int64_t(row) * step, format, imageSize.first);
        ++delivered;
    }
    dst->unlockPixels();
    reportRowsDone(rowsDone);
    return ok;
}

vq_BMPSaver* vq_BMPSaver::create(vq_stream* stream) {
    auto* saver = new vq_BMPSaver(stream);
    saver->addRef();
    return saver;
}

bool vq_BMPSaver::save(imageContainer* src, int, int) {
    if (!src || stream == nullptr || !src->isAllocated())
        return false;
    // Only colour pixels have a bitmap form without a colour table.
    const int format = src->getFormat();
    const int channels = vq_pixel_rows::bytesPerPixel(format);
    if (channels < 3)
        return false;
    const int width = src->getWidth();
    const int height = src->getHeight();
    const int64_t rowBytes = (int64_t(width) * channels + 3) / 4 * 4;
    const int64_t fileSize = 54 + int64_t(height) * rowBytes;
    if (width < 1 || height < 1 || fileSize > UINT32_MAX)
        return false;

    uint8_t header[54] = {};
    header[0] = 'B';
    header[1] = 'M';
    putLe32(header + 2, uint32_t(fileSize));
    putLe32(header + 10, 54);
    putLe32(header + 14, 40);
    putLe32(header + 18, uint32_t(width));
    putLe32(header + 22, uint32_t(height));
    putLe16(header + 26, 1);
    putLe16(header + 28, uint32_t(channels * 8));
    if (stream->write(header, 14) + stream->write(header + 14, 40) != 54)
        return false;

    // Rows go bottom-up with the colour bytes in B, G, R order and zero
    // padding; RGBA pixels are written with a fourth byte of 0.
    const int stored = channels == 3 ? 1 : 2;
    std::vector<uint8_t> row(size_t(rowBytes), 0);
    uint8_t* pixels = nullptr;
    int32_t step = 0;
    src->lockPixels(&pixels, &step);
    bool ok = true;
    for (int r = height - 1; ok && r >= 0; --r) {
        vq_pixel_rows::convertRow(pixels + int64_t(r) * step, format, row.data(), stored, width);
        if (format == 5)
            for (int x = 0; x < width; ++x)
                row[size_t(x) * 4 + 3] = 0;
        ok = stream->write(row.data(), uint32_t(rowBytes)) == rowBytes;
    }
    src->unlockPixels();
    return ok;
}

bool createBMPLoader(vq_stream* stream, vq_loader_base** out) {
    if (!stream || !out)
        return false;
    *out = vq_BMPLoader::create(stream);
    return true;
}

bool createBMPSaver(vq_stream* stream, vq_saver_base** out) {
    if (!stream || !out)
        return false;
    *out = vq_BMPSaver::create(stream);
    return true;
}
