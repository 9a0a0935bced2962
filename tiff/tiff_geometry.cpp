// Strip and tile geometry of the current directory: which strip or tile
// holds a pixel, how many there are, and how many bytes they decode to.
#include "tiff/vqtiff_internal.h"

namespace vqtiff {

namespace {

// a x b in 32 bits; an overflow is reported and counts as 0.
uint32_t multiply(TIFFHandle* h, uint32_t a, uint32_t b, const char* where) {
    uint64_t product = uint64_t(a) * b;
    if (product > 0xFFFFFFFFu) {
        errorExt(h, h->fileName, "Integer overflow in %s", where);
        return 0;
    }
    return uint32_t(product);
}

uint32_t bitsToBytes(uint32_t bits) { return bits / 8 + ((bits % 8) ? 1 : 0); }
uint32_t roundUp(uint32_t x, uint32_t y) { return y ? ((x + y - 1) / y) * y : 0; }
uint32_t ceilDiv(uint32_t x, uint32_t y) { return y ? uint32_t((uint64_t(x) + y - 1) / y) : 0; }

bool packedYCbCr(const TIFFHandle* h) {
    return h->dir.planarConfig == PLANAR_CONTIG && h->dir.photometric == PHOTOMETRIC_YCBCR &&
           !(h->flags & FLAG_UPSAMPLED);
}

// Decoded bytes of `rows` rows of packed YCbCr data `width` pixels wide.
uint32_t packedSize(TIFFHandle* h, uint32_t width, uint32_t rows, uint16_t hs, uint16_t vs,
                    const char* where) {
    uint32_t block = uint32_t(hs) * vs;
    if (block == 0) {
        errorExt(h, h->fileName, "Invalid YCbCr subsampling");
        return 0;
    }
    uint32_t w = roundUp(width, hs);
    uint32_t line = bitsToBytes(multiply(h, w, h->dir.bitsPerSample, where));
    uint32_t size = multiply(h, roundUp(rows, vs), line, where);
    return size + multiply(h, 2, size / block, where);
}

} // namespace

uint32_t TIFFStripOfRow(TIFFHandle* h, uint32_t row, uint16_t sample) {
    const TIFFDirRecord& d = h->dir;
    uint32_t strip = d.rowsPerStrip ? row / d.rowsPerStrip : 0;
    if (d.planarConfig == PLANAR_SEPARATE) {
        if (sample >= d.samplesPerPixel) {
            errorExt(h, h->fileName, "%lu: Sample out of range, max %lu", (unsigned long)sample,
                     (unsigned long)d.samplesPerPixel);
            return 0;
        }
        strip += uint32_t(sample) * d.stripsPerImage;
    }
    return strip;
}

uint32_t TIFFNumberOfStrips(TIFFHandle* h) {
    const TIFFDirRecord& d = h->dir;
    uint32_t n = d.rowsPerStrip == 0xFFFFFFFFu ? 1 : ceilDiv(d.imageLength, d.rowsPerStrip);
    if (d.planarConfig == PLANAR_SEPARATE) n = multiply(h, n, d.samplesPerPixel, "TIFFNumberOfStrips");
    return n;
}

uint32_t TIFFScanlineSize(TIFFHandle* h) {
    const TIFFDirRecord& d = h->dir;
    if (d.planarConfig == PLANAR_SEPARATE)
        return bitsToBytes(multiply(h, d.imageWidth, d.bitsPerSample, "TIFFScanlineSize"));
    if (!packedYCbCr(h)) {
        uint32_t samples = multiply(h, d.imageWidth, d.samplesPerPixel, "TIFFScanlineSize");
        return bitsToBytes(multiply(h, samples, d.bitsPerSample, "TIFFScanlineSize"));
    }
    uint16_t hs = 0, vs = 0;
    TIFFQueryField(h, TAG_YCbCrSubsampling, &hs, &vs);
    if (hs == 0) {
        errorExt(h, h->fileName, "Invalid YCbCr subsampling");
        return 0;
    }
    uint32_t w = roundUp(d.imageWidth, hs);
    uint32_t s = bitsToBytes(multiply(h, w, d.bitsPerSample, "TIFFScanlineSize"));
    return s + multiply(h, 2, s / hs, "TIFFVStripSize");
}

uint32_t TIFFVStripSize(TIFFHandle* h, uint32_t rows) {
    if (rows == 0xFFFFFFFFu) rows = h->dir.imageLength;
    if (!packedYCbCr(h)) return multiply(h, rows, TIFFScanlineSize(h), "TIFFVStripSize");
    uint16_t hs = 0, vs = 0;
    TIFFQueryField(h, TAG_YCbCrSubsampling, &hs, &vs);
    return packedSize(h, h->dir.imageWidth, rows, hs, vs, "TIFFVStripSize");
}

uint32_t TIFFWholeStripSize(TIFFHandle* h) {
    uint32_t rows = h->dir.rowsPerStrip;
    if (rows > h->dir.imageLength) rows = h->dir.imageLength;
    return TIFFVStripSize(h, rows);
}

int64_t TIFFStoredStripSize(TIFFHandle* h, uint32_t strip) {
    const TIFFDirRecord& d = h->dir;
    uint64_t count = (strip < d.nStrips && d.stripByteCount) ? d.stripByteCount[strip] : 0;
    if (count == 0 || count > uint64_t(INT64_MAX)) {
        errorExt(h, h->fileName, "%lu: Invalid strip byte count, strip %lu", (unsigned long)count,
                 (unsigned long)strip);
        return -1;
    }
    return int64_t(count);
}

int64_t TIFFStoredSizeInFile(TIFFHandle* h, uint32_t index) {
    const TIFFDirRecord& d = h->dir;
    if (index >= d.nStrips || !d.stripByteCount || !d.stripOffset) return -1;
    const uint64_t count = d.stripByteCount[index];
    const uint64_t offset = d.stripOffset[index];
    const uint64_t size = (h->flags & FLAG_MAPPED) ? h->mappedSize : fileSize(h);
    if (count == 0 || offset > size || count > size - offset) {
        errorExt(h, h->fileName, "%llu bytes at offset %llu of strip or tile %lu lie beyond the end of the file",
                 (unsigned long long)count, (unsigned long long)offset, (unsigned long)index);
        return -1;
    }
    return int64_t(count);
}

uint32_t TIFFPlainScanlineSize(TIFFHandle* h) {
    const TIFFDirRecord& d = h->dir;
    uint32_t bits = multiply(h, d.bitsPerSample, d.imageWidth, "TIFFScanlineSize");
    if (d.planarConfig == PLANAR_CONTIG) bits = multiply(h, bits, d.samplesPerPixel, "TIFFScanlineSize");
    return bitsToBytes(bits);
}

uint32_t TIFFPackedScanlineSize(TIFFHandle* h) {
    const TIFFDirRecord& d = h->dir;
    if (!packedYCbCr(h)) return TIFFScanlineSize(h);
    uint32_t hs = d.ycbcrSubsampling[0], vs = d.ycbcrSubsampling[1];
    if (hs * vs == 0) {
        errorExt(h, h->fileName, "Invalid YCbCr subsampling");
        return 0;
    }
    return ((ceilDiv(d.imageWidth, hs) * (hs * vs + 2) * d.bitsPerSample + 7) / 8) / vs;
}

uint32_t TIFFRasterScanlineSize(TIFFHandle* h) {
    const TIFFDirRecord& d = h->dir;
    uint32_t bits = multiply(h, d.bitsPerSample, d.imageWidth, "TIFFRasterScanlineSize");
    if (d.planarConfig == PLANAR_CONTIG)
        return bitsToBytes(multiply(h, bits, d.samplesPerPixel, "TIFFRasterScanlineSize"));
    return multiply(h, bitsToBytes(bits), d.samplesPerPixel, "TIFFRasterScanlineSize");
}

uint32_t defaultStripSizeMethod(TIFFHandle* h, uint32_t rows) {
    if (int32_t(rows) > 0) return rows;
    uint32_t scanline = TIFFScanlineSize(h);
    uint32_t r = 8192 / (scanline ? scanline : 1);
    return r ? r : 1;
}

uint32_t TIFFSuggestStripRows(TIFFHandle* h, uint32_t requestedRows) {
    return h->defaultStripSize(h, requestedRows);
}

uint32_t TIFFTileOfPixel(TIFFHandle* h, uint32_t x, uint32_t y, uint32_t z, uint16_t sample) {
    const TIFFDirRecord& d = h->dir;
    uint32_t dx = d.tileWidth == 0xFFFFFFFFu ? d.imageWidth : d.tileWidth;
    uint32_t dy = d.tileLength == 0xFFFFFFFFu ? d.imageLength : d.tileLength;
    uint32_t dz = d.tileDepth == 0xFFFFFFFFu ? d.imageDepth : d.tileDepth;
    if (dx == 0 || dy == 0 || dz == 0) return 1;
    if (d.imageDepth == 1) z = 0;
    uint32_t xpt = ceilDiv(d.imageWidth, dx);
    uint32_t ypt = ceilDiv(d.imageLength, dy);
    uint32_t zpt = ceilDiv(d.imageDepth, dz);
    if (d.planarConfig == PLANAR_SEPARATE)
        return xpt * (y / dy + ypt * (z / dz + zpt * sample)) + x / dx;
    return xpt * (y / dy + ypt * (z / dz)) + x / dx;
}

int TIFFValidateTile(TIFFHandle* h, uint32_t x, uint32_t y, uint32_t z, uint16_t sample) {
    const TIFFDirRecord& d = h->dir;
    if (x >= d.imageWidth) {
        errorExt(h, h->fileName, "%lu: Col out of range, max %lu", (unsigned long)x,
                 (unsigned long)(d.imageWidth - 1));
        return 0;
    }
    if (y >= d.imageLength) {
        errorExt(h, h->fileName, "%lu: Row out of range, max %lu", (unsigned long)y,
                 (unsigned long)(d.imageLength - 1));
        return 0;
    }
    if (z >= d.imageDepth) {
        errorExt(h, h->fileName, "%lu: Depth out of range, max %lu", (unsigned long)z,
                 (unsigned long)(d.imageDepth - 1));
        return 0;
    }
    if (d.planarConfig == PLANAR_SEPARATE && sample >= d.samplesPerPixel) {
        errorExt(h, h->fileName, "%lu: Sample out of range, max %lu", (unsigned long)sample,
                 (unsigned long)(d.samplesPerPixel - 1));
        return 0;
    }
    return 1;
}

uint32_t TIFFNumberOfTiles(TIFFHandle* h) {
    const TIFFDirRecord& d = h->dir;
    uint32_t dx = d.tileWidth == 0xFFFFFFFFu ? d.imageWidth : d.tileWidth;
    uint32_t dy = d.tileLength == 0xFFFFFFFFu ? d.imageLength : d.tileLength;
    uint32_t dz = d.tileDepth == 0xFFFFFFFFu ? d.imageDepth : d.tileDepth;
    uint32_t n = 0;
    if (dx != 0 && dy != 0 && dz != 0)
        n = multiply(h, multiply(h, ceilDiv(d.imageWidth, dx), ceilDiv(d.imageLength, dy), "TIFFNumberOfTiles"),
                     ceilDiv(d.imageDepth, dz), "TIFFNumberOfTiles");
    if (d.planarConfig == PLANAR_SEPARATE) n = multiply(h, n, d.samplesPerPixel, "TIFFNumberOfTiles");
    return n;
}

uint32_t TIFFTileRowSize(TIFFHandle* h) {
    const TIFFDirRecord& d = h->dir;
    if (d.tileLength == 0 || d.tileWidth == 0) return 0;
    uint32_t bits = multiply(h, d.bitsPerSample, d.tileWidth, "TIFFTileRowSize");
    if (d.planarConfig == PLANAR_CONTIG) bits = multiply(h, bits, d.samplesPerPixel, "TIFFTileRowSize");
    return bitsToBytes(bits);
}

uint32_t TIFFVTileSize(TIFFHandle* h, uint32_t rows) {
    const TIFFDirRecord& d = h->dir;
    if (d.tileLength == 0 || d.tileWidth == 0 || d.tileDepth == 0) return 0;
    uint32_t size;
    if (!packedYCbCr(h))
        size = multiply(h, rows, TIFFTileRowSize(h), "TIFFVTileSize");
    else
        size = packedSize(h, d.tileWidth, rows, d.ycbcrSubsampling[0], d.ycbcrSubsampling[1],
                          "TIFFVTileSize");
    return multiply(h, size, d.tileDepth, "TIFFVTileSize");
}

uint32_t TIFFWholeTileSize(TIFFHandle* h) { return TIFFVTileSize(h, h->dir.tileLength); }

void defaultTileSizeMethod(TIFFHandle*, uint32_t* width, uint32_t* length) {
    if (int32_t(*width) < 1) *width = 256;
    if (int32_t(*length) < 1) *length = 256;
    *width = roundUp(*width, 16);
    *length = roundUp(*length, 16);
}

void TIFFSuggestTileSize(TIFFHandle* h, uint32_t* width, uint32_t* length) {
    h->defaultTileSize(h, width, length);
}

} // namespace vqtiff
