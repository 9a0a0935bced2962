// PackBits (run-length, decoding and encoding) and the NeXT 2-bit scheme
// (decoding only).
#include "tiff/vqtiff_internal.h"

namespace vqtiff {

namespace {

int packBitsDecode(TIFFHandle* h, uint8_t* out, int64_t room, uint16_t) {
    const uint8_t* bp = h->rawCursor;
    int64_t cc = h->rawCount;
    while (cc > 0 && room > 0) {
        int n = int8_t(*bp++);
        cc--;
        if (n == -128) continue;
        if (n < 0) {
            if (cc < 1) break; // the run's byte lies past the stored bytes
            int64_t count = 1 - n;
            if (count > room) {
                warningExt(h, h->fileName, "PackBitsDecode: discarding %d bytes to avoid buffer overrun",
                           int(count - room));
                count = room;
            }
            uint8_t b = *bp++;
            cc--;
            memFill(out, b, size_t(count));
            out += count;
            room -= count;
        } else {
            int64_t count = n + 1;
            if (count > room) {
                warningExt(h, h->fileName, "PackBitsDecode: discarding %d bytes to avoid buffer overrun",
                           int(count - room));
                count = room;
            }
            if (count > cc) count = cc; // never read past the stored bytes
            memCopy(out, bp, size_t(count));
            bp += count;
            cc -= count;
            out += count;
            room -= count;
            if (n + 1 > count && cc == 0) break;
        }
    }
    h->rawCursor = const_cast<uint8_t*>(bp);
    h->rawCount = cc;
    if (room > 0) {
        errorExt(h, h->fileName, "PackBitsDecode: Not enough data for scanline %ld", long(h->curRow));
        return 0;
    }
    return 1;
}

struct PackBitsEncodeState {
    int64_t rowSize;
};

int packBitsPreEncode(TIFFHandle* h, uint16_t) {
    auto* s = static_cast<PackBitsEncodeState*>(memAlloc(sizeof(PackBitsEncodeState)));
    if (!s) return 0;
    s->rowSize = isTiled(h) ? int64_t(TIFFTileRowSize(h)) : int64_t(TIFFScanlineSize(h));
    memFree(h->codecState);
    h->codecState = s;
    return 1;
}

int packBitsPostEncode(TIFFHandle* h) {
    memFree(h->codecState);
    h->codecState = nullptr;
    return 1;
}

enum { kBase, kLiteral, kRun, kLiteralRun };

// Writes a run of n > 1 bytes b, at most 128 of it; true when a rest of the
// run remains in n to be handled again.
bool writeRun(uint8_t*& op, uint8_t b, int64_t& n) {
    if (n > 128) {
        *op++ = uint8_t(-127);
        *op++ = b;
        n -= 128;
        return true;
    }
    *op++ = uint8_t(1 - n);
    *op++ = b;
    return false;
}

int packBitsEncode(TIFFHandle* h, uint8_t* in, int64_t cc, uint16_t) {
    uint8_t* op = h->rawCursor;
    uint8_t* ep = h->rawData + h->rawDataSize;
    uint8_t* lastLiteral = nullptr;
    int state = kBase;
    while (cc > 0) {
        uint8_t b = *in++;
        cc--;
        int64_t n = 1;
        for (; cc > 0 && b == *in; cc--, in++) n++;
    again:
        if (op + 2 >= ep) {
            int64_t keep = lastLiteral ? op - lastLiteral : 0;
            if ((state == kLiteral || state == kLiteralRun) && keep + 3 <= h->rawDataSize) {
                // Flush up to the literal and move the literal to the start.
                h->rawCount = lastLiteral - h->rawData;
                if (!TIFFFlushRawBuffer(h)) return -1;
                op = h->rawCursor;
                for (int64_t i = 0; i < keep; ++i) op[i] = lastLiteral[i];
                lastLiteral = op;
                op += keep;
            } else {
                // Everything goes out; an open literal ends here (a buffer
                // too small to move it to the start closes it).
                h->rawCount = op - h->rawData;
                if (!TIFFFlushRawBuffer(h)) return -1;
                op = h->rawCursor;
                if (state == kLiteral || state == kLiteralRun) state = kBase;
                lastLiteral = nullptr;
            }
        }
        switch (state) {
        case kBase:
            if (n > 1) {
                state = kRun;
                if (writeRun(op, b, n)) goto again;
            } else {
                lastLiteral = op;
                *op++ = 0;
                *op++ = b;
                state = kLiteral;
            }
            break;
        case kLiteral:
            if (n > 1) {
                state = kLiteralRun;
                if (writeRun(op, b, n)) goto again;
            } else {
                if (++(*lastLiteral) == 127) state = kBase;
                *op++ = b;
            }
            break;
        case kRun:
            if (n > 1) {
                if (writeRun(op, b, n)) goto again;
            } else {
                lastLiteral = op;
                *op++ = 0;
                *op++ = b;
                state = kLiteral;
            }
            break;
        case kLiteralRun:
            // A run of two after a literal joins the literal when it fits.
            if (n == 1 && op[-2] == uint8_t(-1) && *lastLiteral < 126) {
                *lastLiteral = uint8_t(*lastLiteral + 2);
                state = *lastLiteral == 127 ? kBase : kLiteral;
                op[-2] = op[-1];
            } else {
                state = kRun;
            }
            goto again;
        }
    }
    h->rawCount += op - h->rawCursor;
    h->rawCursor = op;
    return 1;
}

int packBitsEncodeChunk(TIFFHandle* h, uint8_t* buf, int64_t cc, uint16_t sample) {
    auto* s = static_cast<PackBitsEncodeState*>(h->codecState);
    int64_t rowSize = s && s->rowSize > 0 ? s->rowSize : cc;
    while (cc > 0) {
        int64_t chunk = cc < rowSize ? cc : rowSize;
        if (packBitsEncode(h, buf, chunk, sample) < 0) return -1;
        buf += chunk;
        cc -= chunk;
    }
    return 1;
}

void packBitsCleanup(TIFFHandle* h) {
    memFree(h->codecState);
    h->codecState = nullptr;
    TIFFResetCodecMethods(h);
}

// NeXT: each row is literal, a literal span, or runs of 2-bit grey codes.
int nextDecode(TIFFHandle* h, uint8_t* buf, int64_t occ, uint16_t) {
    const int64_t scanline = h->scanlineByteSize;
    memFill(buf, 0xFF, size_t(occ));
    const uint8_t* bp = h->rawCursor;
    int64_t cc = h->rawCount;
    auto fail = [&]() {
        errorExt(h, h->fileName, "NeXTDecode: Not enough data for scanline %ld", long(h->curRow));
        return 0;
    };
    for (uint8_t* row = buf; occ > 0; occ -= scanline, row += scanline) {
        int64_t rowBytes = occ < scanline ? occ : scanline;
        if (cc <= 0) return fail();
        int n = *bp++;
        cc--;
        if (n == 0x00) {
            if (cc < scanline) return fail();
            memCopy(row, bp, size_t(rowBytes));
            bp += scanline;
            cc -= scanline;
        } else if (n == 0x40) {
            if (cc < 4) return fail();
            int64_t off = (int64_t(bp[0]) << 8) | bp[1];
            int64_t count = (int64_t(bp[2]) << 8) | bp[3];
            bp += 4;
            cc -= 4;
            if (cc < count || off + count > scanline) return fail();
            int64_t copy = off + count <= rowBytes ? count : (off < rowBytes ? rowBytes - off : 0);
            if (copy > 0) memCopy(row + off, bp, size_t(copy));
            bp += count;
            cc -= count;
        } else {
            uint32_t npixels = 0;
            const uint32_t width = h->dir.imageWidth;
            for (;;) {
                int grey = (n >> 6) & 0x3;
                int count = n & 0x3F;
                while (count-- > 0 && npixels < width) {
                    int64_t byteAt = npixels >> 2;
                    if (byteAt < rowBytes) {
                        if ((npixels & 3) == 0)
                            row[byteAt] = uint8_t(grey << 6);
                        else
                            row[byteAt] = uint8_t(row[byteAt] | (grey << (2 * (3 - (npixels & 3)))));
                    }
                    npixels++;
                }
                if (npixels >= width) break;
                if (cc <= 0) return fail();
                n = *bp++;
                cc--;
            }
        }
    }
    h->rawCursor = const_cast<uint8_t*>(bp);
    h->rawCount = cc;
    return 1;
}

} // namespace

int initPackBits(TIFFHandle* h, int) {
    h->decodeRow = packBitsDecode;
    h->decodeStrip = packBitsDecode;
    h->decodeTile = packBitsDecode;
    h->preEncode = packBitsPreEncode;
    h->postEncode = packBitsPostEncode;
    h->encodeRow = packBitsEncode;
    h->encodeStrip = packBitsEncodeChunk;
    h->encodeTile = packBitsEncodeChunk;
    h->cleanup = packBitsCleanup;
    return 1;
}

int initNeXT(TIFFHandle* h, int) {
    h->decodeRow = nextDecode;
    h->decodeStrip = nextDecode;
    h->decodeTile = nextDecode;
    return 1;
}

} // namespace vqtiff
