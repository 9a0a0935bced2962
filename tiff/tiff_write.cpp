// The write path: scanlines, strips and tiles of the current directory are
// encoded into the raw buffer and appended at the end of the file (or in
// place, when a rewritten strip still fits); the strip arrays keep a 64-bit
// offset and byte count per strip or tile.
#include "tiff/vqtiff_internal.h"

namespace vqtiff {

namespace {

uint32_t ceilDiv(uint32_t a, uint32_t b) { return b ? uint32_t((uint64_t(a) + b - 1) / b) : 0; }

bool needsBitReversal(const TIFFHandle* h) { return !fillOrderMatches(h) && !(h->flags & FLAG_NOBITREV); }

// Codec set-up once per directory.
bool setupEncoderOnce(TIFFHandle* h) {
    if (h->flags & FLAG_CODERSETUP) return true;
    if (!h->setupEncode(h)) return false;
    h->flags |= FLAG_CODERSETUP;
    return true;
}

// Empties the raw buffer; a strip that already holds bytes is placed anew.
void restartStrip(TIFFHandle* h, uint32_t strip) {
    h->rawCount = 0;
    h->rawCursor = h->rawData;
    if (h->dir.stripByteCount[strip] > 0) {
        h->dir.stripByteCount[strip] = 0;
        h->writeOffset = 0;
    }
}

// Grows the strip arrays of a contiguous image so that `strip` exists (a
// strip far past the end grows them by as many strips as it needs).
bool growToStrip(TIFFHandle* h, uint32_t strip, const char* module) {
    TIFFDirRecord& d = h->dir;
    if (strip < d.nStrips) return true;
    if (d.planarConfig == PLANAR_SEPARATE) {
        errorExt(h, h->fileName, "Can not grow image by strips when using separate planes");
        return false;
    }
    if (!extendStripArrays(h, strip + 1 - d.nStrips, module)) return false;
    const uint32_t perImage = ceilDiv(d.imageLength, d.rowsPerStrip);
    d.stripsPerImage = perImage ? perImage : 1;
    return true;
}

bool bufferReady(TIFFHandle* h) {
    return (h->flags & FLAG_BUFFERSETUP) || TIFFWriteBufferSetup(h, nullptr, -1);
}

// Encodes one whole strip or tile into the raw buffer, finishes it and
// appends it: the count, 0 when the encoder fails, -1 on other failures.
// The encoder is taken after pre-encoding, which may choose it.
int64_t encodeChunk(TIFFHandle* h, uint32_t index, void* data, int64_t count, bool tile) {
    h->flags &= ~FLAG_POSTENCODE;
    const uint16_t sample = uint16_t(index / h->dir.stripsPerImage);
    if (!h->preEncode(h, sample)) return -1;
    h->postDecode(h, static_cast<uint8_t*>(data), count);
    TIFFCodeMethod encoder = tile ? h->encodeTile : h->encodeStrip;
    int status = encoder(h, static_cast<uint8_t*>(data), count, sample);
    if (status <= 0) return status;
    if (!h->postEncode(h)) return -1;
    if (needsBitReversal(h)) reverseBitOrder(h->rawData, size_t(h->rawCount));
    if (h->rawCount > 0 && !TIFFAppendToStrip(h, index, h->rawData, h->rawCount)) return -1;
    h->rawCount = 0;
    h->rawCursor = h->rawData;
    return count;
}

} // namespace

int TIFFCheckWritable(TIFFHandle* h, int tiles, const char* module) {
    if (h->openMode == OPEN_RDONLY) {
        errorExt(h, module, "%s: File not open for writing", h->fileName);
        return 0;
    }
    if (bool(tiles) != isTiled(h)) {
        errorExt(h, h->fileName,
                 tiles ? "Can not write tiles to a stripped image" : "Can not write scanlines to a tiled image");
        return 0;
    }
    if (!fieldSet(h, FIELD_IMAGEDIMENSIONS)) {
        errorExt(h, module, "%s: Must set \"ImageWidth\" before writing data", h->fileName);
        return 0;
    }
    if (h->dir.samplesPerPixel == 1) {
        h->dir.planarConfig = PLANAR_CONTIG;
    } else if (!fieldSet(h, FIELD_PLANARCONFIG)) {
        errorExt(h, module, "%s: Must set \"PlanarConfiguration\" before writing data", h->fileName);
        return 0;
    }
    if (!h->dir.stripOffset && !allocateStripArrays(h)) {
        h->dir.nStrips = 0;
        errorExt(h, module, "%s: No space for %s arrays", h->fileName, isTiled(h) ? "tile" : "strip");
        return 0;
    }
    h->tileByteSize = isTiled(h) ? int64_t(TIFFWholeTileSize(h)) : -1;
    h->scanlineByteSize = TIFFScanlineSize(h);
    h->flags |= FLAG_BEENWRITING;
    return 1;
}

int extendStripArrays(TIFFHandle* h, uint32_t added, const char* module) {
    TIFFDirRecord& d = h->dir;
    const size_t n = size_t(d.nStrips) + added;
    auto* offsets = static_cast<uint64_t*>(memResize(d.stripOffset, n * 8));
    if (offsets) d.stripOffset = offsets;
    auto* counts = offsets ? static_cast<uint64_t*>(memResize(d.stripByteCount, n * 8)) : nullptr;
    if (counts) d.stripByteCount = counts;
    if (!offsets || !counts) {
        d.nStrips = 0;
        errorExt(h, module, "%s: No space to expand strip arrays", h->fileName);
        return 0;
    }
    memFill(d.stripOffset + d.nStrips, 0, size_t(added) * 8);
    memFill(d.stripByteCount + d.nStrips, 0, size_t(added) * 8);
    d.nStrips = uint32_t(n);
    return 1;
}

int TIFFWriteScanline(TIFFHandle* h, void* buffer, uint32_t row, uint16_t sample) {
    static const char module[] = "TIFFWriteScanline";
    TIFFDirRecord& d = h->dir;
    if (!(h->flags & FLAG_BEENWRITING) && !TIFFCheckWritable(h, 0, module)) return -1;
    if (!bufferReady(h)) return -1;
    bool grew = false;
    if (row >= d.imageLength) {
        if (d.planarConfig == PLANAR_SEPARATE) {
            errorExt(h, h->fileName, "Can not change \"ImageLength\" when using separate planes");
            return -1;
        }
        d.imageLength = row + 1;
        grew = true;
    }
    uint32_t strip;
    if (d.planarConfig == PLANAR_SEPARATE) {
        if (sample >= d.samplesPerPixel) {
            errorExt(h, h->fileName, "%d: Sample out of range, max %d", int(sample), int(d.samplesPerPixel));
            return -1;
        }
        strip = sample * d.stripsPerImage + row / d.rowsPerStrip;
    } else {
        strip = row / d.rowsPerStrip;
    }
    if (strip >= d.nStrips && !extendStripArrays(h, strip + 1 - d.nStrips, module)) return -1;
    if (strip != h->curStrip) {
        if (!TIFFFlushPending(h)) return -1;
        h->curStrip = strip;
        if (strip >= d.stripsPerImage && grew) d.stripsPerImage = ceilDiv(d.imageLength, d.rowsPerStrip);
        h->curRow = (strip % d.stripsPerImage) * d.rowsPerStrip;
        if (!setupEncoderOnce(h)) return -1;
        restartStrip(h, strip);
        if (!h->preEncode(h, sample)) return -1;
        h->flags |= FLAG_POSTENCODE;
    }
    if (row != h->curRow) {
        if (row < h->curRow) {
            h->curRow = (strip % d.stripsPerImage) * d.rowsPerStrip;
            h->rawCursor = h->rawData;
        }
        if (!h->seekRows(h, row - h->curRow)) return -1;
        h->curRow = row;
    }
    h->postDecode(h, static_cast<uint8_t*>(buffer), h->scanlineByteSize);
    int status = h->encodeRow(h, static_cast<uint8_t*>(buffer), h->scanlineByteSize, sample);
    h->curRow = row + 1;
    return status;
}

int64_t TIFFWriteEncodedStrip(TIFFHandle* h, uint32_t strip, void* data, int64_t count) {
    static const char module[] = "TIFFWriteEncodedStrip";
    TIFFDirRecord& d = h->dir;
    if (!(h->flags & FLAG_BEENWRITING) && !TIFFCheckWritable(h, 0, module)) return -1;
    if (!growToStrip(h, strip, module)) return -1;
    if (!bufferReady(h)) return -1;
    h->curStrip = strip;
    h->curRow = (strip % d.stripsPerImage) * d.rowsPerStrip;
    if (!setupEncoderOnce(h)) return -1;
    restartStrip(h, strip);
    return encodeChunk(h, strip, data, count, false);
}

int64_t TIFFWriteRawStrip(TIFFHandle* h, uint32_t strip, const void* data, int64_t count) {
    static const char module[] = "TIFFWriteRawStrip";
    TIFFDirRecord& d = h->dir;
    if (!(h->flags & FLAG_BEENWRITING) && !TIFFCheckWritable(h, 0, module)) return -1;
    if (!growToStrip(h, strip, module)) return -1;
    h->curStrip = strip;
    h->curRow = (strip % d.stripsPerImage) * d.rowsPerStrip;
    return TIFFAppendToStrip(h, strip, static_cast<const uint8_t*>(data), count) ? count : -1;
}

int64_t TIFFWriteEncodedTile(TIFFHandle* h, uint32_t tile, void* data, int64_t count) {
    static const char module[] = "TIFFWriteEncodedTile";
    TIFFDirRecord& d = h->dir;
    if (!(h->flags & FLAG_BEENWRITING) && !TIFFCheckWritable(h, 1, module)) return -1;
    if (tile >= d.nStrips) {
        errorExt(h, module, "%s: Tile %lu out of range, max %lu", h->fileName, (unsigned long)tile,
                 (unsigned long)d.nStrips);
        return -1;
    }
    if (!bufferReady(h)) return -1;
    h->curTile = tile;
    restartStrip(h, tile);
    const uint32_t down = ceilDiv(d.imageLength, d.tileLength);
    const uint32_t across = ceilDiv(d.imageWidth, d.tileWidth);
    h->curRow = down ? (tile % down) * d.tileLength : 0;
    h->curCol = across ? (tile % across) * d.tileWidth : 0;
    if (!setupEncoderOnce(h)) return -1;
    if (count <= 0 || count > h->tileByteSize) count = h->tileByteSize;
    return encodeChunk(h, tile, data, count, true);
}

int64_t TIFFWriteRawTile(TIFFHandle* h, uint32_t tile, const void* data, int64_t count) {
    static const char module[] = "TIFFWriteRawTile";
    if (!(h->flags & FLAG_BEENWRITING) && !TIFFCheckWritable(h, 1, module)) return -1;
    if (tile >= h->dir.nStrips) {
        errorExt(h, module, "%s: Tile %lu out of range, max %lu", h->fileName, (unsigned long)tile,
                 (unsigned long)h->dir.nStrips);
        return -1;
    }
    h->curTile = tile;
    return TIFFAppendToStrip(h, tile, static_cast<const uint8_t*>(data), count) ? count : -1;
}

int64_t TIFFWriteTileAt(TIFFHandle* h, void* buffer, uint32_t x, uint32_t y, uint32_t z, uint16_t sample) {
    if (!TIFFValidateTile(h, x, y, z, sample)) return -1;
    return TIFFWriteEncodedTile(h, TIFFTileOfPixel(h, x, y, z, sample), buffer, -1);
}

void TIFFSetWritePosition(TIFFHandle* h, uint64_t position) { h->writeOffset = position; }

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
        if (needsBitReversal(h)) reverseBitOrder(h->rawData, size_t(h->rawCount));
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

// A directory to which no image data was written is not written: the
// pending flush fails for it.
int TIFFFlushFile(TIFFHandle* h) {
    if (h->openMode == OPEN_RDONLY) return 1;
    if (!TIFFFlushPending(h)) return 0;
    if ((h->flags & FLAG_DIRTYDIRECT) && !TIFFWriteCurrentDirectory(h)) return 0;
    return 1;
}

} // namespace vqtiff
