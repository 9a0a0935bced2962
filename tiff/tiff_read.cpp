// The read path: loads a strip's or tile's stored bytes into the raw buffer
// (or uses them in place in the mapping), starts the codec on them and lets
// it decode into the caller's buffer; the raw reads hand out stored bytes.
#include "tiff/vqtiff_internal.h"

namespace vqtiff {

void postDecodeNone(TIFFHandle*, uint8_t*, int64_t) {}
void postDecodeSwap16(TIFFHandle*, uint8_t* buf, int64_t n) {
    swapShortArray(reinterpret_cast<uint16_t*>(buf), size_t(n / 2));
}
void postDecodeSwap24(TIFFHandle*, uint8_t* buf, int64_t n) { swapTripleArray(buf, size_t(n / 3)); }
void postDecodeSwap32(TIFFHandle*, uint8_t* buf, int64_t n) {
    swapLongArray(reinterpret_cast<uint32_t*>(buf), size_t(n / 4));
}
void postDecodeSwap64(TIFFHandle*, uint8_t* buf, int64_t n) {
    swapLong8Array(reinterpret_cast<uint64_t*>(buf), size_t(n / 8));
}

namespace {

// Strip and tile byte counts are used as 32-bit signed sizes in the raw
// buffer: 0 and values of 2^31 and above are invalid there.
bool validLoadCount(uint64_t count) { return count > 0 && count <= 0x7FFFFFFFu; }

bool checkReadAccess(TIFFHandle* h, bool tiles) {
    if (h->openMode == OPEN_WRONLY) {
        errorExt(h, h->fileName, "File not open for reading");
        return false;
    }
    if (isTiled(h) != tiles) {
        errorExt(h, h->fileName,
                 tiles ? "Can not read tiles from a stripped image" : "Can not read scanlines from a tiled image");
        return false;
    }
    return true;
}

bool needsBitReversal(const TIFFHandle* h) { return !fillOrderMatches(h) && !(h->flags & FLAG_NOBITREV); }

// Reads `count` stored bytes of strip or tile `index` into `buf`.
int64_t readRawBytes(TIFFHandle* h, uint32_t index, uint8_t* buf, int64_t count, const char* module, bool tile) {
    uint64_t offset = h->dir.stripOffset[index];
    if (h->flags & FLAG_MAPPED) {
        uint64_t available = offset < h->mappedSize ? h->mappedSize - offset : 0;
        if (uint64_t(count) > available) {
            if (tile)
                errorExt(h, module, "%s: Read error at row %ld, col %ld, tile %ld; got %lu bytes, expected %lu",
                         h->fileName, long(h->curRow), long(h->curCol), long(index), (unsigned long)available,
                         (unsigned long)count);
            else
                errorExt(h, module, "%s: Read error at scanline %lu, strip %lu; got %lu bytes, expected %lu (%d)",
                         h->fileName, (unsigned long)h->curRow, (unsigned long)index, (unsigned long)available,
                         (unsigned long)count, osError(h));
            return -1;
        }
        memCopy(buf, h->mappedBase + offset, size_t(count));
        return count;
    }
    if (seekFile(h, offset, 0) != offset) {
        if (tile)
            errorExt(h, module, "%s: Seek error at row %ld, col %ld, tile %ld", h->fileName, long(h->curRow),
                     long(h->curCol), long(index));
        else
            errorExt(h, module, "%s: Seek error at scanline %lu, strip %lu", h->fileName,
                     (unsigned long)h->curRow, (unsigned long)index);
        return -1;
    }
    int64_t got = readFile(h, buf, count);
    if (got != count) {
        if (tile)
            errorExt(h, module, "%s: Read error at row %ld, col %ld; got %lu bytes, expected %lu", h->fileName,
                     long(h->curRow), long(h->curCol), (unsigned long)(got < 0 ? 0 : got), (unsigned long)count);
        else
            errorExt(h, module, "%s: Read error at scanline %lu; got %lu bytes, expected %lu (%d)", h->fileName,
                     (unsigned long)h->curRow, (unsigned long)(got < 0 ? 0 : got), (unsigned long)count,
                     osError(h));
        return -1;
    }
    return count;
}

bool setupCoder(TIFFHandle* h) {
    if (!(h->flags & FLAG_CODERSETUP)) {
        if (!h->setupDecode(h)) return false;
        h->flags |= FLAG_CODERSETUP;
    }
    return true;
}

int beginStripDecode(TIFFHandle* h, uint32_t strip) {
    if (!setupCoder(h)) return 0;
    const TIFFDirRecord& d = h->dir;
    h->curStrip = strip;
    h->curRow = (strip % d.stripsPerImage) * d.rowsPerStrip;
    h->rawCursor = h->rawData;
    h->rawCount = int64_t(d.stripByteCount[strip]);
    return h->preDecode(h, uint16_t(strip / d.stripsPerImage));
}

int beginTileDecode(TIFFHandle* h, uint32_t tile) {
    if (!setupCoder(h)) return 0;
    const TIFFDirRecord& d = h->dir;
    h->curTile = tile;
    uint32_t t = tile % d.stripsPerImage;
    uint32_t across = d.tileWidth ? (d.imageWidth + d.tileWidth - 1) / d.tileWidth : 1;
    if (across == 0) across = 1;
    h->curRow = (t / across) * d.tileLength;
    h->curCol = (t % across) * d.tileWidth;
    h->rawCursor = h->rawData;
    h->rawCount = int64_t(d.stripByteCount[tile]);
    return h->preDecode(h, uint16_t(tile / d.stripsPerImage));
}

// Loads strip or tile `index` into the raw buffer (or points into the
// mapping); `current` is curStrip or curTile.
int fillRaw(TIFFHandle* h, uint32_t index, bool tile, uint32_t* current) {
    const TIFFDirRecord& d = h->dir;
    uint64_t count = d.stripByteCount[index];
    if (!validLoadCount(count)) {
        errorExt(h, h->fileName,
                 tile ? "%lu: Invalid tile byte count, tile %lu" : "%lu: Invalid strip byte count, strip %lu",
                 (unsigned long)count, (unsigned long)index);
        return 0;
    }
    uint64_t offset = d.stripOffset[index];
    if ((h->flags & FLAG_MAPPED) && !needsBitReversal(h)) {
        if ((h->flags & FLAG_MYBUFFER) && h->rawData) memFree(h->rawData);
        h->rawData = nullptr;
        h->rawDataSize = 0;
        h->flags &= ~FLAG_MYBUFFER;
        if (offset > h->mappedSize || count > h->mappedSize - offset) {
            if (!tile)
                errorExt(h, h->fileName, "%s: Read error on strip %lu; got %lu bytes, expected %lu", h->fileName,
                         (unsigned long)index,
                         (unsigned long)(offset < h->mappedSize ? h->mappedSize - offset : 0),
                         (unsigned long)count);
            *current = 0xFFFFFFFFu;
            return 0;
        }
        h->rawDataSize = int64_t(count);
        h->rawData = h->mappedBase + offset;
        return 1;
    }
    if (h->rawDataSize < int64_t(count)) {
        *current = 0xFFFFFFFFu;
        if (!(h->flags & FLAG_MYBUFFER)) {
            if (tile)
                errorExt(h, h->fileName, "%s: Data buffer too small to hold tile %ld", h->fileName, long(index));
            else
                errorExt(h, h->fileName, "%s: Data buffer too small to hold strip %lu", h->fileName,
                         (unsigned long)index);
            return 0;
        }
        // Stored bytes beyond the end of the file never size the buffer.
        if (!(h->flags & FLAG_MAPPED)) {
            uint64_t size = fileSize(h);
            if (offset > size || count > size - offset) {
                if (tile)
                    errorExt(h, "TIFFFillTile", "%s: Read error at row %ld, col %ld; got %lu bytes, expected %lu",
                             h->fileName, long(h->curRow), long(h->curCol),
                             (unsigned long)(offset < size ? size - offset : 0), (unsigned long)count);
                else
                    errorExt(h, "TIFFFillStrip", "%s: Read error at scanline %lu; got %lu bytes, expected %lu (%d)",
                             h->fileName, (unsigned long)h->curRow, (unsigned long)(offset < size ? size - offset : 0),
                             (unsigned long)count, osError(h));
                return 0;
            }
        }
        if (!TIFFReadBufferSetup(h, nullptr, int64_t((count + 1023) / 1024 * 1024))) return 0;
    }
    if (readRawBytes(h, index, h->rawData, int64_t(count), tile ? "TIFFFillTile" : "TIFFFillStrip", tile) !=
        int64_t(count)) {
        *current = 0xFFFFFFFFu;
        return 0;
    }
    if (needsBitReversal(h)) reverseBitOrder(h->rawData, size_t(count));
    return 1;
}

int seekToRow(TIFFHandle* h, uint32_t row, uint16_t sample) {
    const TIFFDirRecord& d = h->dir;
    if (row >= d.imageLength) {
        errorExt(h, h->fileName, "%lu: Row out of range, max %lu", (unsigned long)row, (unsigned long)d.imageLength);
        return 0;
    }
    uint32_t strip;
    if (d.planarConfig == PLANAR_SEPARATE) {
        if (sample >= d.samplesPerPixel) {
            errorExt(h, h->fileName, "%lu: Sample out of range, max %lu", (unsigned long)sample,
                     (unsigned long)d.samplesPerPixel);
            return 0;
        }
        strip = uint32_t(sample) * d.stripsPerImage + row / d.rowsPerStrip;
    } else {
        strip = row / d.rowsPerStrip;
    }
    if (strip >= d.nStrips) {
        errorExt(h, h->fileName, "%ld: Strip out of range, max %ld", long(strip), long(d.nStrips));
        return 0;
    }
    if (strip != h->curStrip) {
        if (!TIFFFillStrip(h, strip)) return 0;
    } else if (row < h->curRow) {
        // Decoding only moves forward: going back decodes the strip again.
        if (!beginStripDecode(h, strip)) return 0;
    }
    if (row != h->curRow) {
        if (!h->seekRows(h, row - h->curRow)) return 0;
        h->curRow = row;
    }
    return 1;
}

} // namespace

int TIFFReadBufferSetup(TIFFHandle* h, void* buffer, int64_t size) {
    if (h->rawData) {
        if (h->flags & FLAG_MYBUFFER) memFree(h->rawData);
        h->rawData = nullptr;
    }
    if (buffer) {
        h->rawDataSize = size;
        h->rawData = static_cast<uint8_t*>(buffer);
        h->flags &= ~FLAG_MYBUFFER;
    } else {
        h->rawDataSize = (size + 1023) / 1024 * 1024;
        h->rawData = h->rawDataSize > 0 ? static_cast<uint8_t*>(memAlloc(size_t(h->rawDataSize))) : nullptr;
        h->flags |= FLAG_MYBUFFER;
    }
    if (!h->rawData) {
        errorExt(h, "TIFFReadBufferSetup", "%s: No space for data buffer at scanline %ld", h->fileName,
                 long(h->curRow));
        h->rawDataSize = 0;
        return 0;
    }
    return 1;
}

int TIFFFillStrip(TIFFHandle* h, uint32_t strip) {
    if (strip >= h->dir.nStrips) return 0;
    if (!fillRaw(h, strip, false, &h->curStrip)) return 0;
    return beginStripDecode(h, strip);
}

int TIFFFillTile(TIFFHandle* h, uint32_t tile) {
    if (tile >= h->dir.nStrips) return 0;
    if (!fillRaw(h, tile, true, &h->curTile)) return 0;
    return beginTileDecode(h, tile);
}

int TIFFReadRow(TIFFHandle* h, void* buffer, uint32_t row, uint16_t sample) {
    if (!checkReadAccess(h, false)) return -1;
    if (!seekToRow(h, row, sample)) return -1;
    auto* out = static_cast<uint8_t*>(buffer);
    int r = h->decodeRow(h, out, h->scanlineByteSize, sample);
    h->curRow = row + 1;
    if (r > 0) {
        h->postDecode(h, out, h->scanlineByteSize);
        return 1;
    }
    return -1;
}

int64_t TIFFReadDecodedStrip(TIFFHandle* h, uint32_t strip, void* buffer, int64_t size) {
    if (!checkReadAccess(h, false)) return -1;
    const TIFFDirRecord& d = h->dir;
    if (strip >= d.nStrips) {
        errorExt(h, h->fileName, "%ld: Strip out of range, max %ld", long(strip), long(d.nStrips));
        return -1;
    }
    uint32_t rps = d.rowsPerStrip < d.imageLength ? d.rowsPerStrip : d.imageLength;
    uint32_t stripsPerPlane = d.rowsPerStrip < d.imageLength
                                  ? uint32_t((uint64_t(d.imageLength) + d.rowsPerStrip - 1) / d.rowsPerStrip)
                                  : 1;
    uint32_t rows = rps;
    if (strip % stripsPerPlane == stripsPerPlane - 1 && d.rowsPerStrip < d.imageLength &&
        d.imageLength % d.rowsPerStrip != 0)
        rows = d.imageLength % d.rowsPerStrip;
    int64_t full = TIFFVStripSize(h, rows);
    if (size == -1 || size > full) size = full;
    if (size <= 0) return -1;
    auto* out = static_cast<uint8_t*>(buffer);
    if (TIFFFillStrip(h, strip) && h->decodeStrip(h, out, size, uint16_t(strip / d.stripsPerImage)) > 0) {
        h->postDecode(h, out, size);
        return size;
    }
    return -1;
}

int64_t TIFFReadRawStrip(TIFFHandle* h, uint32_t strip, void* buffer, int64_t size) {
    if (!checkReadAccess(h, false)) return -1;
    const TIFFDirRecord& d = h->dir;
    if (strip >= d.nStrips) {
        errorExt(h, h->fileName, "%lu: Strip out of range, max %lu", (unsigned long)strip, (unsigned long)d.nStrips);
        return -1;
    }
    uint64_t count = d.stripByteCount[strip];
    if (count == 0 || count > uint64_t(INT64_MAX)) {
        errorExt(h, h->fileName, "%lu: Invalid strip byte count, strip %lu", (unsigned long)count,
                 (unsigned long)strip);
        return -1;
    }
    int64_t n = int64_t(count);
    if (size != -1 && size < n) n = size;
    if (n < 0) return -1;
    return readRawBytes(h, strip, static_cast<uint8_t*>(buffer), n, "TIFFReadRawStrip", false);
}

int64_t TIFFReadEncodedTile(TIFFHandle* h, uint32_t tile, void* buffer, int64_t size) {
    int64_t full = h->tileByteSize;
    if (!checkReadAccess(h, true)) return -1;
    const TIFFDirRecord& d = h->dir;
    if (tile >= d.nStrips) {
        errorExt(h, h->fileName, "%ld: Tile out of range, max %ld", long(tile), long(d.nStrips));
        return -1;
    }
    if (size != -1 && size <= full) full = size;
    if (full <= 0) return -1;
    auto* out = static_cast<uint8_t*>(buffer);
    // Only a positive result is success: a coder that is not implemented
    // answers -1.
    if (TIFFFillTile(h, tile) && h->decodeTile(h, out, full, uint16_t(tile / d.stripsPerImage)) > 0) {
        h->postDecode(h, out, full);
        return full;
    }
    return -1;
}

int64_t TIFFReadRawTile(TIFFHandle* h, uint32_t tile, void* buffer, int64_t size) {
    if (!checkReadAccess(h, true)) return -1;
    const TIFFDirRecord& d = h->dir;
    if (tile >= d.nStrips) {
        errorExt(h, h->fileName, "%lu: Tile out of range, max %lu", (unsigned long)tile, (unsigned long)d.nStrips);
        return -1;
    }
    uint64_t count = d.stripByteCount[tile];
    if (size != -1 && uint64_t(size) < count) count = uint64_t(size);
    if (count > uint64_t(INT64_MAX)) return -1;
    if (count == 0) return 0;
    return readRawBytes(h, tile, static_cast<uint8_t*>(buffer), int64_t(count), "TIFFReadRawTile", true);
}

int64_t TIFFReadTileAt(TIFFHandle* h, void* buffer, uint32_t x, uint32_t y, uint32_t z, uint16_t sample) {
    if (!checkReadAccess(h, true) || !TIFFValidateTile(h, x, y, z, sample)) return -1;
    return TIFFReadEncodedTile(h, TIFFTileOfPixel(h, x, y, z, sample), buffer, -1);
}

} // namespace vqtiff
