// TIFF library: opening (mapped and read through the client procedures),
// every directory of the chain, and every strip, row and tile of each, both
// decoded (JPEG also converted to RGB) and raw.
#include "tests/tiff/tiff_fixture.h"
#include "tiff/vqtiff_internal.h"

#include <algorithm>
#include <vector>

using namespace vqtiff;

namespace {

void silent(const char*, const char*, va_list) {}

constexpr int64_t kMaxBuffer = 16 << 20;

void readDirectory(TIFFHandle* h, bool rgb) {
    uint32_t v32;
    uint16_t a16, b16;
    float f;
    const char* text;
    TIFFQueryField(h, TAG_ImageWidth, &v32);
    TIFFQueryField(h, TAG_BitsPerSample, &a16);
    TIFFQueryField(h, TAG_XResolution, &f);
    TIFFQueryField(h, TAG_YCbCrSubsampling, &a16, &b16);
    TIFFQueryField(h, TAG_ImageDescription, &text);
    if (h->dir.compression == COMPRESSION_JPEG && rgb) TIFFSetField(h, TAG_JPEGColorMode, JPEGCOLORMODE_RGB);
    const uint32_t n = std::min<uint32_t>(h->dir.nStrips, 256);
    if (TIFFHasTiles(h)) {
        int64_t size = h->tileByteSize;
        if (size <= 0 || size > kMaxBuffer) return;
        std::vector<uint8_t> buf(static_cast<size_t>(size));
        for (uint32_t t = 0; t < n; ++t) {
            TIFFReadEncodedTile(h, t, buf.data(), size);
            TIFFReadRawTile(h, t, buf.data(), size);
        }
        return;
    }
    int64_t size = TIFFWholeStripSize(h);
    if (size <= 0 || size > kMaxBuffer) return;
    std::vector<uint8_t> buf(static_cast<size_t>(size));
    for (uint32_t s = 0; s < n; ++s) {
        TIFFReadDecodedStrip(h, s, buf.data(), size);
        TIFFReadRawStrip(h, s, buf.data(), size);
    }
    if (h->scanlineByteSize > 0 && h->scanlineByteSize <= kMaxBuffer) {
        std::vector<uint8_t> row(static_cast<size_t>(h->scanlineByteSize));
        for (uint32_t r = 0; r < std::min<uint32_t>(h->dir.imageLength, 256); ++r)
            if (TIFFReadRow(h, row.data(), r, 0) < 0) break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TIFFInstallWarningHandler(silent);
    TIFFInstallErrorHandler(silent);
    for (bool mapped : {false, true}) {
        tifftest::MemFile m;
        m.data.assign(data, data + size);
        m.allowMap = mapped;
        TIFFHandle* h = tifftest::openMem(m, mapped ? "r" : "rm", "fuzz.tif");
        if (!h) continue;
        int dirs = 0;
        do {
            readDirectory(h, (dirs & 1) == 0);
        } while (++dirs < 64 && TIFFReadDirectory(h));
        TIFFCloseFile(h);
    }
    return 0;
}
