#include "readers/plain/bmp_reader.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/reader_messages.h"
#include "engine/base/stream.h"
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

namespace {

// Compression codes of the info header.
constexpr uint32_t kPlainRows = 0;
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kAlphaBitFields = 6;

// Whether the red, green and blue masks are those of the plain layout for the
// depth, which the rows are then read as: 5-5-5 or 5-6-5 for 16 bits, 8-8-8
// in the low three bytes for 32 bits. The alpha mask may be empty or the
// bits above the colours.
bool standardMasks(uint32_t bits, const uint32_t m[4], bool* sixBitGreen) {
    *sixBitGreen = false;
    if (bits == 32)
        return m[0] == 0x00FF0000u && m[1] == 0x0000FF00u && m[2] == 0x000000FFu &&
               (m[3] == 0 || m[3] == 0xFF000000u);
    if (bits != 16 || m[2] != 0x001Fu)
        return false;
    if (m[0] == 0x7C00u && m[1] == 0x03E0u)
        return m[3] == 0 || m[3] == 0x8000u;
    *sixBitGreen = m[0] == 0xF800u && m[1] == 0x07E0u;
    return *sixBitGreen && m[3] == 0;
}

} // namespace

bool vq_BMPFileInfo::readHeader(vq_stream* stream) {
    invalidate();
    std::memset(fileHeader, 0, sizeof fileHeader);
    std::memset(infoHeader, 0, sizeof infoHeader);
    rowStride = 0;
    pixelOffset = 0;
    topDown = false;
    storedBits = 0;
    sixBitGreen = false;
    if (!stream)
        return false;
    if (stream->read(fileHeader, 14) != 14 || fileHeader[0] != 'B' || fileHeader[1] != 'M') {
        reportReaderMessage("Not a Windows Bitmap file (no BM signature)\n");
        return false;
    }
    pixelOffset = le32(fileHeader + 10);

    if (stream->read(infoHeader, 4) != 4)
        return false;
    const uint32_t headerSize = le32(infoHeader);
    // The core header, the plain info header, its versions with bit masks
    // (52, 56), the OS/2 header (64) and the version 4 and 5 headers.
    if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 &&
        headerSize != 64 && headerSize != 108 && headerSize != 124) {
        reportReaderMessage("Bitmap info header of %u bytes is not a known header\n", unsigned(headerSize));
        return false;
    }
    if (stream->read(infoHeader + 4, headerSize - 4) != int32_t(headerSize - 4)) {
        reportReaderMessage("Bitmap headers end early\n");
        return false;
    }

    int64_t width = 0, height = 0;
    uint32_t planes = 0, bitsPerPixel = 0, compression = 0, coloursUsed = 0;
    uint32_t xPerMetre = 0, yPerMetre = 0;
    if (headerSize == 12) {
        width = le16(infoHeader + 4);
        height = le16(infoHeader + 6);
        planes = le16(infoHeader + 8);
        bitsPerPixel = le16(infoHeader + 10);
    } else {
        width = int32_t(le32(infoHeader + 4));
        height = int32_t(le32(infoHeader + 8));
        planes = le16(infoHeader + 12);
        bitsPerPixel = le16(infoHeader + 14);
        compression = le32(infoHeader + 16);
        xPerMetre = le32(infoHeader + 24);
        yPerMetre = le32(infoHeader + 28);
        coloursUsed = le32(infoHeader + 32);
    }
    if (planes != 1) {
        reportReaderMessage("Bitmap with %u planes is not valid\n", unsigned(planes));
        return false;
    }
    if (bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) {
        reportReaderMessage("Bitmaps of %u bits per pixel are not supported\n", unsigned(bitsPerPixel));
        return false;
    }
    if (coloursUsed > 256) {
        reportReaderMessage("Bitmap colour table of %u entries is not valid\n", unsigned(coloursUsed));
        return false;
    }

    // Rows without compression are the plain layouts (5-5-5 for 16 bits);
    // bit masks must name one of them. The OS/2 header's code 3 is a
    // compression, not bit masks.
    const bool masks = headerSize != 64 && bitsPerPixel != 24 &&
                       (compression == kBitFields || compression == kAlphaBitFields);
    if (compression != kPlainRows && !masks) {
        reportReaderMessage("Bitmap compression %u is not supported\n", unsigned(compression));
        return false;
    }
    if (masks) {
        // The masks follow a 40-byte header and lie inside the longer ones.
        uint32_t m[4] = {};
        uint8_t extra[16] = {};
        const uint8_t* at = infoHeader + 40;
        if (headerSize == 40) {
            const int32_t count = compression == kAlphaBitFields ? 16 : 12;
            if (stream->read(extra, uint32_t(count)) != count) {
                reportReaderMessage("Bitmap headers end early\n");
                return false;
            }
            at = extra;
        }
        const int known = headerSize == 52 || (headerSize == 40 && compression == kBitFields) ? 3 : 4;
        for (int i = 0; i < known; ++i)
            m[i] = le32(at + 4 * i);
        if (!standardMasks(bitsPerPixel, m, &sixBitGreen)) {
            reportReaderMessage("Bitmap bit masks %08X %08X %08X %08X are not a supported layout\n",
                                unsigned(m[0]), unsigned(m[1]), unsigned(m[2]), unsigned(m[3]));
            return false;
        }
    }

    // A negative height marks rows stored top row first.
    topDown = height < 0;
    if (topDown)
        height = -height;
    const int64_t stride = (width * bitsPerPixel / 8 + 3) / 4 * 4;
    if (width < 1 || height < 1 || height > INT_MAX || stride > INT_MAX) {
        reportReaderMessage("Bitmap size %lld x %lld is not supported\n", static_cast<long long>(width),
                            static_cast<long long>(height));
        return false;
    }
    // The declared rows must lie in the file before anything is sized by
    // them; only the last row may lack its padding.
    const int64_t length = streamLength(stream);
    const int64_t needed = int64_t(pixelOffset) + stride * (height - 1) + (width * bitsPerPixel + 7) / 8;
    if (length < needed) {
        reportReaderMessage("Bitmap of %lld x %lld pixels needs %lld bytes but the file holds %lld\n",
                            static_cast<long long>(width), static_cast<long long>(height),
                            static_cast<long long>(needed), static_cast<long long>(length));
        return false;
    }
    rowStride = int(stride);
    storedBits = int(bitsPerPixel);

    // The first stored row is at the pixel data offset, whatever lies between
    // the headers and the rows (a colour table, bit masks).
    stream->seek(pixelOffset, vq_seekStart);

    // 16-bit pixels are widened to three bytes, B, G, R, as they are read.
    const int format = bitsPerPixel == 32 ? 2 : 1;
    std::set<int> formats{format, 1, 4, 5};
    accept(int(width), int(height), format, std::move(formats), format == 2);
    resolution = IntPair(toDotsPerInch(xPerMetre), toDotsPerInch(yPerMetre));
    return true;
}

void vq_BMPFileInfo::widenRow(const uint8_t* stored, uint8_t* bgr, int width) const {
    // Each field scaled to 0-255, rounded to the nearest value.
    auto five = [](unsigned v) { return uint8_t((v * 255 + 15) / 31); };
    auto six = [](unsigned v) { return uint8_t((v * 255 + 31) / 63); };
    for (int x = 0; x < width; ++x, stored += 2, bgr += 3) {
        const unsigned v = unsigned(stored[0]) | (unsigned(stored[1]) << 8);
        bgr[0] = five(v & 0x1F);
        bgr[1] = sixBitGreen ? six((v >> 5) & 0x3F) : five((v >> 5) & 0x1F);
        bgr[2] = five(sixBitGreen ? (v >> 11) & 0x1F : (v >> 10) & 0x1F);
    }
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
    std::vector<uint8_t> widened(info.getStoredBits() == 16 ? size_t(imageSize.first) * 3 : 0);

    uint8_t* pixels = nullptr;
    int32_t step = 0;
    dst->lockPixels(&pixels, &step);
    bool ok = stream->seek(int64_t(info.getPixelOffset()) + int64_t(firstStored) * stride,
                           vq_seekStart) == 0;
    // The last row of the file may end without its padding.
    const int pixelBytes = int((int64_t(imageSize.first) * info.getStoredBits() + 7) / 8);
    for (int j = 0; ok && j < n; ++j) {
        if (stream->read(stored.data(), uint32_t(stride)) < pixelBytes) {
            reportReaderMessage("Failed to read line %d at pos %ld\n", delivered,
                         long(stream->tell()));
            ok = false;
            break;
        }
        const int row = info.isTopDown() ? j : n - 1 - j;
        const uint8_t* source = stored.data();
        if (info.getStoredBits() == 16) {
            info.widenRow(stored.data(), widened.data(), imageSize.first);
            source = widened.data();
        }
        vq_pixel_rows::convertRow(source, info.getPixelFormat(), pixels + int64_t(row) * step, format,
                                  imageSize.first);
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
