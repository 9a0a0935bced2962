// The pieces of the write path that encoders rely on: the raw output buffer,
// the strip arrays and appending encoded bytes to a strip or tile.
#include "tiff/vqtiff_internal.h"

namespace vqtiff {

int TIFFWriteBufferSetup(TIFFHandle* h, void* buffer, int64_t size) {
    if (h->rawData) {
        if (h->flags & FLAG_MYBUFFER) memFree(h->rawData);
        h->rawData = nullptr;
    }
    h->flags &= ~FLAG_MYBUFFER;
    if (size == -1) {
        size = isTiled(h) ? h->tileByteSize : int64_t(TIFFWholeStripSize(h));
        if (size < 8192) size = 8192;
        buffer = nullptr;
    }
    if (!buffer) {
        buffer = memAlloc(size_t(size));
        if (!buffer) {
            errorExt(h, "TIFFWriteBufferSetup", "%s: No space for output buffer", h->fileName);
            return 0;
        }
        h->flags |= FLAG_MYBUFFER;
    }
    h->rawData = static_cast<uint8_t*>(buffer);
    h->rawDataSize = size;
    h->rawCount = 0;
    h->rawCursor = h->rawData;
    h->flags |= FLAG_BUFFERSETUP;
    return 1;
}

int allocateStripArrays(TIFFHandle* h) {
    TIFFDirRecord& d = h->dir;
    uint32_t n;
    if (isTiled(h))
        n = (fieldSet(h, FIELD_TILEDIMENSIONS) && d.imageLength == 0) ? d.samplesPerPixel : TIFFNumberOfTiles(h);
    else
        n = (fieldSet(h, FIELD_ROWSPERSTRIP) && d.imageLength == 0) ? d.samplesPerPixel : TIFFNumberOfStrips(h);
    if (n == 0) return 0;
    d.nStrips = n;
    d.stripsPerImage = d.planarConfig == PLANAR_SEPARATE ? n / d.samplesPerPixel : n;
    memFree(d.stripOffset);
    memFree(d.stripByteCount);
    d.stripOffset = static_cast<uint64_t*>(memAlloc(size_t(n) * 8));
    d.stripByteCount = static_cast<uint64_t*>(memAlloc(size_t(n) * 8));
    if (!d.stripOffset || !d.stripByteCount) return 0;
    memFill(d.stripOffset, 0, size_t(n) * 8);
    memFill(d.stripByteCount, 0, size_t(n) * 8);
    setFieldBit(h, FIELD_STRIPOFFSETS);
    setFieldBit(h, FIELD_STRIPBYTECOUNTS);
    return 1;
}

int TIFFAppendToStrip(TIFFHandle* h, uint32_t strip, const uint8_t* data, int64_t count) {
    static const char module[] = "TIFFAppendToStrip";
    TIFFDirRecord& d = h->dir;
    if (d.stripOffset[strip] == 0 || h->writeOffset == 0) {
        if (d.stripOffset[strip] != 0) {
            // A rewritten strip stays in place only when it still fits.
            bool moves = false;
            uint64_t start = d.stripOffset[strip];
            uint64_t end = start + uint64_t(count);
            if (!d.stripByteCountSorted) {
                for (uint32_t s = 0; s < d.nStrips; ++s)
                    if (d.stripOffset[s] > start && d.stripOffset[s] < end) moves = true;
            } else {
                moves = strip == d.nStrips - 1 || d.stripOffset[strip + 1] < end;
            }
            uint64_t at = moves ? seekFile(h, 0, 2) : start;
            if (!moves && seekFile(h, at, 0) != at) {
                errorExt(h, module, "%s: Seek error at scanline %lu", h->fileName, (unsigned long)h->curRow);
                return 0;
            }
            d.stripOffset[strip] = at;
        } else {
            d.stripOffset[strip] = seekFile(h, 0, 2);
        }
        h->writeOffset = d.stripOffset[strip];
    }
    if (seekFile(h, h->writeOffset, 0) != h->writeOffset || writeFile(h, data, count) != count) {
        errorExt(h, module, "%s: Write error at scanline %lu (%d)", h->fileName, (unsigned long)h->curRow,
                 osError(h));
        return 0;
    }
    h->writeOffset += uint64_t(count);
    d.stripByteCount[strip] += uint64_t(count);
    return 1;
}

int TIFFFlushRawBuffer(TIFFHandle* h) {
    if (h->rawCount > 0) {
        if (!fillOrderMatches(h) && !(h->flags & FLAG_NOBITREV)) reverseBitOrder(h->rawData, size_t(h->rawCount));
        if (!TIFFAppendToStrip(h, isTiled(h) ? h->curTile : h->curStrip, h->rawData, h->rawCount)) return 0;
        h->rawCount = 0;
        h->rawCursor = h->rawData;
    }
    return 1;
}

int TIFFFlushPending(TIFFHandle* h) {
    if (!(h->flags & FLAG_BEENWRITING)) return 0;
    if (h->flags & FLAG_POSTENCODE) {
        h->flags &= ~FLAG_POSTENCODE;
        if (!h->postEncode(h)) return 0;
    }
    return TIFFFlushRawBuffer(h);
}

// Writing directories belongs to the directory writer; what a handle open
// for writing can do here is push out its pending encoded data.
int TIFFFlushFile(TIFFHandle* h) {
    if (h->openMode == OPEN_RDONLY) return 1;
    return TIFFFlushPending(h);
}

} // namespace vqtiff
