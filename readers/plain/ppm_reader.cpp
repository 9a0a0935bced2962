#include "readers/plain/ppm_reader.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <string>

#include "engine/base/imageContainer.h"
#include "engine/base/reader_messages.h"
#include "engine/base/stream.h"

namespace {

bool readByte(vq_stream* stream, int& c) {
    uint8_t b = 0;
    if (stream->read(&b, 1) != 1)
        return false;
    c = b;
    return true;
}

bool isAlpha(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Longest header text accepted between the magic and the pixel rows; a
// header is three numbers, so anything far longer is not a PPM header.
constexpr size_t maxHeaderText = 1024;

// Reads the text as three unsigned numbers, each after optional white space
// and an optional sign, as " %u %u %u" would. A value beyond 32 bits comes
// out as it stands (up to 10^18) and a negative one as 10^18, instead of
// wrapping to a size that might pass.
bool parseHeaderNumbers(const std::string& text, uint64_t numbers[3]) {
    constexpr uint64_t tooLarge = 1000000000000000000ull;
    size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
            ++at;
        bool negative = false;
        if (at < text.size() && (text[at] == '+' || text[at] == '-'))
            negative = text[at++] == '-';
        const size_t digits = at;
        uint64_t value = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
            value = std::min(value * 10 + uint64_t(text[at] - '0'), tooLarge);
        if (at == digits)
            return false;
        numbers[i] = negative && value != 0 ? tooLarge : value;
    }
    return true;
}

bool endsEarly() {
    reportReaderMessage("PPM header ends early\n");
    return false;
}

} // namespace

vq_PPMFileInfo* vq_PPMFileInfo::create() {
    auto* info = new vq_PPMFileInfo;
    info->addRef();
    return info;
}

bool vq_PPMFileInfo::readHeader(vq_stream* stream) {
    invalidate();
    bytesPerRow = 0;
    pixelOffset = 0;
    if (!stream)
        return false;
    uint8_t magic[2] = {};
    if (stream->read(magic, 2) != 2 || magic[0] != 'P' || magic[1] != '6') {
        reportReaderMessage("Not a raw PPM file (no P6 signature)\n");
        return false;
    }

    // Line ends, tabs and comment lines before the numbers are skipped; any
    // other byte, a space too, starts the header text.
    int c = 0;
    for (;;) {
        if (!readByte(stream, c))
            return endsEarly();
        if (c == '#') {
            do {
                if (!readByte(stream, c))
                    return endsEarly();
            } while (c != '\r' && c != '\n');
        } else if (c != '\t' && c != '\r' && c != '\n') {
            break;
        }
    }

    // The text ends at the first line end behind which all three numbers have
    // been seen; the pixel rows start right after that byte.
    std::string text;
    uint64_t numbers[3] = {};
    for (;;) {
        if (isAlpha(c) || text.size() >= maxHeaderText) {
            reportReaderMessage("PPM header is not width, height and maximum value\n");
            return false;
        }
        if ((c == '\r' || c == '\n') && parseHeaderNumbers(text, numbers))
            break;
        text.push_back(char(c));
        if (!readByte(stream, c))
            return endsEarly();
    }

    const uint64_t width = numbers[0], height = numbers[1];
    if (numbers[2] != 255) {
        reportReaderMessage("PPM file is not 8-bit - unsupported formatn\n");
        return false;
    }
    if (width > uint64_t(INT_MAX / 3) || height > uint64_t(INT_MAX)) {
        reportReaderMessage("PPM image size %llu x %llu is not supported\n",
                            static_cast<unsigned long long>(width), static_cast<unsigned long long>(height));
        return false;
    }
    // The declared rows must lie in the file before anything is sized by them.
    pixelOffset = stream->tell();
    const int64_t needed = pixelOffset + int64_t(width) * 3 * int64_t(height);
    const int64_t length = streamLength(stream);
    if (length < needed) {
        reportReaderMessage("PPM image of %llu x %llu pixels needs %lld bytes but the file holds %lld\n",
                            static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
                            static_cast<long long>(needed), static_cast<long long>(length));
        pixelOffset = 0;
        return false;
    }
    bytesPerRow = int(width) * 3;
    accept(int(width), int(height), 4, {4}, false);
    return true;
}

void vq_PPMFileInfo::printReport(FILE* out) {
    if (valid)
        printSizeAndFormat(out, "24-bit RGB PPM format\n");
}

vq_PPMLoader* vq_PPMLoader::create(vq_stream* stream) {
    auto* loader = new vq_PPMLoader(stream);
    loader->addRef();
    return loader;
}

vq_PPMStripLoader* vq_PPMStripLoader::create() {
    auto* strips = new vq_PPMStripLoader;
    strips->addRef();
    return strips;
}

bool vq_PPMStripLoader::readNextStrip(int* rowsDone, imageContainer* dst) {
    const int n = nextStripRows();
    if (stream == nullptr || n == 0 || !createStrip(dst, info.getPixelFormat(), imageSize.first, n))
        return false;
    uint8_t* pixels = nullptr;
    int32_t step = 0;
    dst->lockPixels(&pixels, &step);
    const int rowBytes = info.getBytesPerRow();
    bool ok = stream->seek(info.getPixelOffset() + int64_t(delivered) * rowBytes, vq_seekStart) == 0;
    for (int r = 0; ok && r < n; ++r) {
        if (stream->read(pixels + int64_t(r) * step, uint32_t(rowBytes)) != rowBytes) {
            reportReaderMessage("Failed to read line %d at pos %ld\n", delivered,
                         long(stream->tell()));
            ok = false;
            break;
        }
        ++delivered;
    }
    dst->unlockPixels();
    reportRowsDone(rowsDone);
    return ok;
}

bool createPPMLoader(vq_stream* stream, vq_loader_base** out) {
    if (!stream || !out)
        return false;
    *out = vq_PPMLoader::create(stream);
    return true;
}
