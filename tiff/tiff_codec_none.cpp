// The None codec: the stored bytes are the pixels.
#include "tiff/vqtiff_internal.h"

namespace vqtiff {

namespace {

int dumpModeDecode(TIFFHandle* h, uint8_t* buf, int64_t n, uint16_t) {
    if (h->rawCount < n) {
        errorExt(h, h->fileName, "DumpModeDecode: Not enough data for scanline %d", int(h->curRow));
        return 0;
    }
    if (h->rawCursor != buf) memCopy(buf, h->rawCursor, size_t(n));
    h->rawCursor += n;
    h->rawCount -= n;
    return 1;
}

int dumpModeEncode(TIFFHandle* h, uint8_t* buf, int64_t n, uint16_t) {
    while (n > 0) {
        int64_t room = h->rawDataSize - h->rawCount;
        int64_t take = n < room ? n : room;
        if (h->rawCursor != buf) memCopy(h->rawCursor, buf, size_t(take));
        h->rawCursor += take;
        h->rawCount += take;
        buf += take;
        n -= take;
        if (h->rawCount >= h->rawDataSize && !TIFFFlushRawBuffer(h)) return -1;
    }
    return 1;
}

int dumpModeSeek(TIFFHandle* h, uint32_t rows) {
    int64_t skip = int64_t(rows) * h->scanlineByteSize;
    h->rawCursor += skip;
    h->rawCount -= skip;
    return 1;
}

} // namespace

int initDumpMode(TIFFHandle* h, int) {
    h->decodeRow = dumpModeDecode;
    h->decodeStrip = dumpModeDecode;
    h->decodeTile = dumpModeDecode;
    h->encodeRow = dumpModeEncode;
    h->encodeStrip = dumpModeEncode;
    h->encodeTile = dumpModeEncode;
    h->seekRows = dumpModeSeek;
    return 1;
}

} // namespace vqtiff
