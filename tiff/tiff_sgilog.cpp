// The SGILog codec (Compression 34676): 16-bit log luminance (LogL,
// PhotometricInterpretation 32844) and 32-bit LogLuv (32845), each row run
// length coded byte plane by byte plane, most significant plane first. The
// caller reads and writes floating-point Y or XYZ, 16-bit codes, the raw
// stored codes or (reading only) 8-bit grey or RGB, as the data-format
// pseudo-tag says.
#include "tiff/vqtiff_internal.h"

#include <cmath>
#include <cstdlib>

namespace vqtiff {

namespace {

constexpr uint32_t kTagDataFmt = 65560;
constexpr uint32_t kTagEncode = 65561;
constexpr uint16_t kPhotometricLogL = 32844;
constexpr uint16_t kPhotometricLogLuv = 32845;
enum : int { FMT_UNKNOWN = -1, FMT_FLOAT = 0, FMT_16BIT = 1, FMT_RAW = 2, FMT_8BIT = 3 };
constexpr int kMinRun = 4;

const TIFFTagDef logLuvTagDefs[] = {
    {kTagDataFmt, 0, 0, TYPE_SHORT, FIELD_IGNORE, 1, 0, "SGILogDataFmt"},
    {kTagEncode, 0, 0, TYPE_SHORT, FIELD_IGNORE, 1, 0, "SGILogEncode"},
};

struct LogLuvState;
using Conversion = void (*)(LogLuvState*, uint8_t* caller, int64_t pixels);

struct LogLuvState {
    int dataFormat;
    int encodeMethod;
    int pixelSize;
    uint8_t* codes; // one code per pixel of a strip or tile: 16-bit LogL, 32-bit LogLuv
    uint32_t codeCapacity;
    Conversion convert;
    TIFFVGetMethod getParent;
    TIFFVSetMethod setParent;
};

LogLuvState* lstate(TIFFHandle* h) { return static_cast<LogLuvState*>(h->codecState); }

// ---- conversions ----

// A 15-bit random source whatever the C runtime's RAND_MAX.
double ditherOffset() { return double(std::rand() & 0x7FFF) / 32767.0 - 0.5; }
int truncDithered(double x, int method) { return int(method ? x + ditherOffset() : x); }

double logL16ToY(int p16) {
    int lt = p16 & 0x7FFF;
    if (!lt) return 0;
    double y = std::exp(M_LN2 / 256 * (lt + 0.5) - M_LN2 * 64);
    return (p16 & 0x8000) ? -y : y;
}

int logL16FromY(double y, int method) {
    if (y >= 1.8371976e19) return 0x7FFF;
    if (y <= -1.8371976e19) return 0xFFFF;
    if (y > 5.4136769e-20) return truncDithered(256 * (std::log2(y) + 64), method);
    if (y < -5.4136769e-20) return ~0x7FFF | truncDithered(256 * (std::log2(-y) + 64), method);
    return 0;
}

const double kNeutralU = 0.210526316, kNeutralV = 0.473684211;

void xyzToUv(const float* xyz, double* u, double* v) {
    double s = double(xyz[0]) + 15 * double(xyz[1]) + 3 * double(xyz[2]);
    if (s <= 0) {
        *u = kNeutralU;
        *v = kNeutralV;
        return;
    }
    *u = 4 * xyz[0] / s;
    *v = 9 * xyz[1] / s;
}

void uvToXyz(double y, double u, double v, float* xyz) {
    if (y <= 0) {
        xyz[0] = xyz[1] = xyz[2] = 0;
        return;
    }
    double d = 6 * u - 16 * v + 12;
    double x = 9 * u / d, yy = 4 * v / d;
    xyz[0] = float(x / yy * y);
    xyz[1] = float(y);
    xyz[2] = float((1 - x - yy) / yy * y);
}

uint32_t logLuv32FromXyz(const float* xyz, int method) {
    uint32_t lc = uint32_t(logL16FromY(xyz[1], method)) & 0xFFFF;
    double u, v;
    if (lc == 0) {
        u = kNeutralU;
        v = kNeutralV;
    } else {
        xyzToUv(xyz, &u, &v);
    }
    auto scale = [&](double c) -> uint32_t {
        if (c <= 0) return 0;
        int x = truncDithered(410 * c, method);
        return uint32_t(x < 0 ? 0 : x > 255 ? 255 : x);
    };
    return lc << 16 | scale(u) << 8 | scale(v);
}

void logLuv32ToXyz(uint32_t p, float* xyz) {
    double y = logL16ToY(int(p >> 16));
    double u = (double((p >> 8) & 0xFF) + 0.5) / 410;
    double v = (double(p & 0xFF) + 0.5) / 410;
    uvToXyz(y, u, v, xyz);
}

uint8_t gammaByte(double c) {
    if (c <= 0) return 0;
    if (c >= 1) return 255;
    return uint8_t(256 * std::sqrt(c));
}

void xyzToRgb(const float* xyz, uint8_t* rgb) {
    double x = xyz[0], y = xyz[1], z = xyz[2];
    rgb[0] = gammaByte(2.690 * x - 1.276 * y - 0.414 * z);
    rgb[1] = gammaByte(-1.022 * x + 1.978 * y + 0.044 * z);
    rgb[2] = gammaByte(0.061 * x - 0.224 * y + 1.163 * z);
}

uint16_t* codes16(LogLuvState* sp) { return reinterpret_cast<uint16_t*>(sp->codes); }
uint32_t* codes32(LogLuvState* sp) { return reinterpret_cast<uint32_t*>(sp->codes); }

void l16ToY(LogLuvState* sp, uint8_t* op, int64_t n) {
    auto* y = reinterpret_cast<float*>(op);
    for (int64_t i = 0; i < n; ++i) y[i] = float(logL16ToY(int16_t(codes16(sp)[i])));
}
void l16ToGrey(LogLuvState* sp, uint8_t* op, int64_t n) {
    for (int64_t i = 0; i < n; ++i) op[i] = gammaByte(logL16ToY(int16_t(codes16(sp)[i])));
}
void l16FromY(LogLuvState* sp, uint8_t* op, int64_t n) {
    const auto* y = reinterpret_cast<const float*>(op);
    for (int64_t i = 0; i < n; ++i) codes16(sp)[i] = uint16_t(logL16FromY(y[i], sp->encodeMethod));
}
void luv32ToXyz(LogLuvState* sp, uint8_t* op, int64_t n) {
    auto* xyz = reinterpret_cast<float*>(op);
    for (int64_t i = 0; i < n; ++i) logLuv32ToXyz(codes32(sp)[i], xyz + 3 * i);
}
void luv32ToLuv48(LogLuvState* sp, uint8_t* op, int64_t n) {
    auto* luv = reinterpret_cast<int16_t*>(op);
    for (int64_t i = 0; i < n; ++i) {
        uint32_t p = codes32(sp)[i];
        luv[3 * i] = int16_t(p >> 16);
        luv[3 * i + 1] = int16_t(((p >> 8 & 0xFF) + 0.5) / 410 * 32768);
        luv[3 * i + 2] = int16_t(((p & 0xFF) + 0.5) / 410 * 32768);
    }
}
void luv32ToRgb(LogLuvState* sp, uint8_t* op, int64_t n) {
    for (int64_t i = 0; i < n; ++i) {
        float xyz[3];
        logLuv32ToXyz(codes32(sp)[i], xyz);
        xyzToRgb(xyz, op + 3 * i);
    }
}
void luv32FromXyz(LogLuvState* sp, uint8_t* op, int64_t n) {
    const auto* xyz = reinterpret_cast<const float*>(op);
    for (int64_t i = 0; i < n; ++i) codes32(sp)[i] = logLuv32FromXyz(xyz + 3 * i, sp->encodeMethod);
}
void luv32FromLuv48(LogLuvState* sp, uint8_t* op, int64_t n) {
    const auto* luv = reinterpret_cast<const int16_t*>(op);
    for (int64_t i = 0; i < n; ++i) {
        uint32_t l = uint32_t(uint16_t(luv[3 * i]));
        uint32_t u, v;
        if (sp->encodeMethod == 0) {
            u = uint32_t(luv[3 * i + 1] * 410) >> 15;
            v = uint32_t(luv[3 * i + 2] * 410) >> 15;
        } else {
            u = uint32_t(truncDithered(luv[3 * i + 1] * 410.0 / 32768, 1));
            v = uint32_t(truncDithered(luv[3 * i + 2] * 410.0 / 32768, 1));
        }
        codes32(sp)[i] = l << 16 | (u > 255 ? 255 : u) << 8 | (v > 255 ? 255 : v);
    }
}

// ---- run-length coding of byte planes ----

uint32_t codeByte(LogLuvState* sp, bool wide, int64_t i, int shift) {
    return ((wide ? codes32(sp)[i] : codes16(sp)[i]) >> shift) & 0xFF;
}

// Decodes one row of `pixels` codes into the code buffer (or the caller's
// buffer when it takes the codes themselves); false when the stored bytes
// run out first, with the pixels still missing in `missing`.
bool decodePlanes(TIFFHandle* h, LogLuvState* sp, uint8_t* out, int64_t pixels, bool wide, int64_t* missing) {
    const uint8_t* bp = h->rawCursor;
    int64_t cc = h->rawCount;
    const int planes = wide ? 4 : 2;
    auto* c16 = reinterpret_cast<uint16_t*>(out);
    auto* c32 = reinterpret_cast<uint32_t*>(out);
    for (int64_t i = 0; i < pixels; ++i) {
        if (wide) c32[i] = 0;
        else c16[i] = 0;
    }
    *missing = 0;
    for (int plane = 0; plane < planes; ++plane) {
        const int shift = 8 * (planes - 1 - plane);
        int64_t i = 0;
        while (i < pixels && cc > 0) {
            int rc = *bp++;
            --cc;
            if (rc >= 128) {
                if (cc <= 0) break;
                uint32_t b = uint32_t(*bp++) << shift;
                --cc;
                for (rc -= 126; rc > 0 && i < pixels; --rc, ++i) {
                    if (wide) c32[i] |= b;
                    else c16[i] = uint16_t(c16[i] | b);
                }
            } else {
                for (; rc > 0 && i < pixels && cc > 0; --rc, ++i, --cc) {
                    uint32_t b = uint32_t(*bp++) << shift;
                    if (wide) c32[i] |= b;
                    else c16[i] = uint16_t(c16[i] | b);
                }
            }
        }
        if (i != pixels) {
            *missing = pixels - i;
            h->rawCursor = const_cast<uint8_t*>(bp);
            h->rawCount = cc;
            return false;
        }
    }
    h->rawCursor = const_cast<uint8_t*>(bp);
    h->rawCount = cc;
    return true;
}

int decodeRow(TIFFHandle* h, uint8_t* op, int64_t occ, bool wide, const char* name) {
    LogLuvState* sp = lstate(h);
    const int64_t pixels = occ / sp->pixelSize;
    const bool direct = sp->convert == nullptr;
    if (!direct && pixels > int64_t(sp->codeCapacity)) {
        errorExt(h, h->fileName, "%s: Translation buffer too short", name);
        return 0;
    }
    int64_t missing = 0;
    if (!decodePlanes(h, sp, direct ? op : sp->codes, pixels, wide, &missing)) {
        errorExt(h, h->fileName, "%s: Not enough data at row %d (short %d pixels)", name, int(h->curRow),
                 int(missing));
        return 0;
    }
    if (!direct) sp->convert(sp, op, pixels);
    return 1;
}

int decodeL16(TIFFHandle* h, uint8_t* op, int64_t occ, uint16_t) {
    return decodeRow(h, op, occ, false, "LogL16Decode");
}
int decodeLuv32(TIFFHandle* h, uint8_t* op, int64_t occ, uint16_t) {
    return decodeRow(h, op, occ, true, "LogLuvDecode32");
}

// Makes room for `need` bytes in the raw buffer; false when the flush fails.
bool ensureRoom(TIFFHandle* h, uint8_t*& op, int64_t need) {
    if (h->rawDataSize - (op - h->rawData) >= need) return true;
    h->rawCount = op - h->rawData;
    h->rawCursor = op;
    if (!TIFFFlushRawBuffer(h)) return false;
    op = h->rawData;
    return true;
}

// Run-length codes one row of codes, plane by plane; -1 when a flush fails.
int encodePlanes(TIFFHandle* h, LogLuvState* sp, int64_t pixels, bool wide) {
    uint8_t* op = h->rawCursor;
    const int planes = wide ? 4 : 2;
    for (int plane = 0; plane < planes; ++plane) {
        const int shift = 8 * (planes - 1 - plane);
        for (int64_t i = 0; i < pixels;) {
            // The next run of at least kMinRun equal bytes (at most 129).
            int64_t beg = i, rc = 0;
            uint32_t b = 0;
            for (; beg < pixels; beg += rc) {
                b = codeByte(sp, wide, beg, shift);
                rc = 1;
                while (rc < 127 + 2 && beg + rc < pixels && codeByte(sp, wide, beg + rc, shift) == b) ++rc;
                if (rc >= kMinRun) break;
            }
            // Two or three equal bytes before it make a short run.
            if (beg - i > 1 && beg - i < kMinRun) {
                uint32_t b2 = codeByte(sp, wide, i, shift);
                int64_t j = i + 1;
                while (j < beg && codeByte(sp, wide, j, shift) == b2) ++j;
                if (j == beg) {
                    if (!ensureRoom(h, op, kMinRun)) return -1;
                    *op++ = uint8_t(128 - 2 + (j - i));
                    *op++ = uint8_t(b2);
                    i = beg;
                }
            }
            while (i < beg) {
                int64_t n = beg - i > 127 ? 127 : beg - i;
                if (!ensureRoom(h, op, n + 3)) return -1;
                *op++ = uint8_t(n);
                for (int64_t k = 0; k < n; ++k) *op++ = uint8_t(codeByte(sp, wide, i++, shift));
            }
            if (beg < pixels) {
                if (!ensureRoom(h, op, kMinRun)) return -1;
                *op++ = uint8_t(128 - 2 + rc);
                *op++ = uint8_t(b);
                i = beg + rc;
            }
        }
    }
    h->rawCursor = op;
    h->rawCount = op - h->rawData;
    return 1;
}

int encodeRow(TIFFHandle* h, uint8_t* ip, int64_t cc, bool wide) {
    LogLuvState* sp = lstate(h);
    const int64_t pixels = cc / sp->pixelSize;
    if (sp->convert) {
        if (pixels > int64_t(sp->codeCapacity)) {
            errorExt(h, h->fileName, "SGILog: Translation buffer too short");
            return 0;
        }
        sp->convert(sp, ip, pixels);
        return encodePlanes(h, sp, pixels, wide);
    }
    // The caller's buffer holds the codes: code from it in place.
    uint8_t* saved = sp->codes;
    sp->codes = ip;
    int r = encodePlanes(h, sp, pixels, wide);
    sp->codes = saved;
    return r;
}

int encodeL16(TIFFHandle* h, uint8_t* ip, int64_t cc, uint16_t) { return encodeRow(h, ip, cc, false); }
int encodeLuv32(TIFFHandle* h, uint8_t* ip, int64_t cc, uint16_t) { return encodeRow(h, ip, cc, true); }

// Strips and tiles row by row; a trailing part row counts its whole pixels.
int codeChunk(TIFFHandle* h, uint8_t* buf, int64_t cc, uint16_t sample, TIFFCodeMethod row) {
    const int64_t rowSize = isTiled(h) ? int64_t(TIFFTileRowSize(h)) : int64_t(TIFFScanlineSize(h));
    if (rowSize <= 0) return 0;
    while (cc > 0) {
        const int64_t n = cc < rowSize ? cc : rowSize;
        int r = row(h, buf, n, sample);
        if (r <= 0) return r;
        buf += n;
        cc -= n;
    }
    return 1;
}
int decodeChunk(TIFFHandle* h, uint8_t* buf, int64_t cc, uint16_t sample) {
    return codeChunk(h, buf, cc, sample, h->decodeRow);
}
int encodeChunk(TIFFHandle* h, uint8_t* buf, int64_t cc, uint16_t sample) {
    return codeChunk(h, buf, cc, sample, h->encodeRow);
}

// ---- set-up ----

bool isLogL(const TIFFHandle* h) { return h->dir.photometric == kPhotometricLogL; }

int guessDataFormat(const TIFFHandle* h) {
    const TIFFDirRecord& d = h->dir;
    const int sf = d.sampleFormat;
    if (isLogL(h)) {
        if (d.samplesPerPixel != 1) return FMT_UNKNOWN;
        if (d.bitsPerSample == 32 && sf == SAMPLEFORMAT_IEEEFP) return FMT_FLOAT;
        if (d.bitsPerSample == 16 && (sf == SAMPLEFORMAT_UINT || sf == SAMPLEFORMAT_INT || sf == SAMPLEFORMAT_VOID))
            return FMT_16BIT;
        if (d.bitsPerSample == 8 && (sf == SAMPLEFORMAT_UINT || sf == SAMPLEFORMAT_VOID)) return FMT_8BIT;
        return FMT_UNKNOWN;
    }
    int fmt = FMT_UNKNOWN;
    if (d.bitsPerSample == 32 && sf == SAMPLEFORMAT_IEEEFP) fmt = FMT_FLOAT;
    else if (d.bitsPerSample == 32 && (sf == SAMPLEFORMAT_VOID || sf == SAMPLEFORMAT_UINT || sf == SAMPLEFORMAT_INT))
        fmt = FMT_RAW;
    else if (d.bitsPerSample == 16 && (sf == SAMPLEFORMAT_VOID || sf == SAMPLEFORMAT_INT || sf == SAMPLEFORMAT_UINT))
        fmt = FMT_16BIT;
    else if (d.bitsPerSample == 8 && (sf == SAMPLEFORMAT_VOID || sf == SAMPLEFORMAT_UINT))
        fmt = FMT_8BIT;
    if (fmt == FMT_RAW ? d.samplesPerPixel != 1 : d.samplesPerPixel != 3) fmt = FMT_UNKNOWN;
    return fmt;
}

// The code buffer for one strip (at most the image's rows) or one tile.
bool allocateCodes(TIFFHandle* h, LogLuvState* sp, int codeSize, const char* module) {
    const TIFFDirRecord& d = h->dir;
    uint64_t pixels;
    if (isTiled(h)) {
        pixels = uint64_t(d.tileWidth) * d.tileLength;
    } else {
        uint32_t rows = d.rowsPerStrip < d.imageLength ? d.rowsPerStrip : d.imageLength;
        pixels = uint64_t(d.imageWidth) * rows;
    }
    memFree(sp->codes);
    sp->codes = nullptr;
    sp->codeCapacity = 0;
    if (pixels == 0 || pixels > 0xFFFFFFFFu || pixels * uint64_t(codeSize) > 0xFFFFFFFFu ||
        !(sp->codes = static_cast<uint8_t*>(memAlloc(size_t(pixels) * size_t(codeSize))))) {
        errorExt(h, module, "%s: No space for SGILog translation buffer", h->fileName);
        return false;
    }
    sp->codeCapacity = uint32_t(pixels);
    return true;
}

bool initState(TIFFHandle* h) {
    LogLuvState* sp = lstate(h);
    if (sp->dataFormat == FMT_UNKNOWN) sp->dataFormat = guessDataFormat(h);
    if (isLogL(h)) {
        static const char module[] = "LogL16InitState";
        switch (sp->dataFormat) {
        case FMT_FLOAT: sp->pixelSize = 4; break;
        case FMT_16BIT: sp->pixelSize = 2; break;
        case FMT_8BIT: sp->pixelSize = 1; break;
        default: errorExt(h, module, "No support for converting user data format to LogL"); return false;
        }
        return allocateCodes(h, sp, 2, module);
    }
    static const char module[] = "LogLuvInitState";
    if (h->dir.planarConfig != PLANAR_CONTIG) {
        errorExt(h, module, "SGILog compression cannot handle non-contiguous data");
        return false;
    }
    switch (sp->dataFormat) {
    case FMT_FLOAT: sp->pixelSize = 12; break;
    case FMT_16BIT: sp->pixelSize = 6; break;
    case FMT_RAW: sp->pixelSize = 4; break;
    case FMT_8BIT: sp->pixelSize = 3; break;
    default: errorExt(h, module, "No support for converting user data format to LogLuv"); return false;
    }
    return allocateCodes(h, sp, 4, module);
}

bool photometricUsable(TIFFHandle* h, const char* module) {
    if (h->dir.photometric == kPhotometricLogL || h->dir.photometric == kPhotometricLogLuv) return true;
    errorExt(h, module, "Inappropriate photometric interpretation %d for SGILog compression; %s",
             int(h->dir.photometric), "must be either LogLUV or LogL");
    return false;
}

int setupDecode(TIFFHandle* h) {
    static const char module[] = "LogLuvSetupDecode";
    LogLuvState* sp = lstate(h);
    h->postDecode = postDecodeNone;
    if (!photometricUsable(h, module) || !initState(h)) return 0;
    if (isLogL(h)) {
        h->decodeRow = decodeL16;
        sp->convert = sp->dataFormat == FMT_FLOAT ? l16ToY : sp->dataFormat == FMT_8BIT ? l16ToGrey : nullptr;
    } else {
        h->decodeRow = decodeLuv32;
        switch (sp->dataFormat) {
        case FMT_FLOAT: sp->convert = luv32ToXyz; break;
        case FMT_16BIT: sp->convert = luv32ToLuv48; break;
        case FMT_8BIT: sp->convert = luv32ToRgb; break;
        default: sp->convert = nullptr; break;
        }
    }
    return 1;
}

// The caller's samples are coded as they are in memory: no byte swapping
// on the way in, whatever the file's byte order.
int setupEncode(TIFFHandle* h) {
    static const char module[] = "LogLuvSetupEncode";
    LogLuvState* sp = lstate(h);
    h->postDecode = postDecodeNone;
    if (!photometricUsable(h, module) || !initState(h)) return 0;
    if (isLogL(h)) {
        h->encodeRow = encodeL16;
        if (sp->dataFormat == FMT_FLOAT) {
            sp->convert = l16FromY;
        } else if (sp->dataFormat == FMT_16BIT) {
            sp->convert = nullptr;
        } else {
            errorExt(h, module, "SGILog compression supported only for %s, or raw data", "Y, L");
            return 0;
        }
        return 1;
    }
    h->encodeRow = encodeLuv32;
    switch (sp->dataFormat) {
    case FMT_FLOAT: sp->convert = luv32FromXyz; break;
    case FMT_16BIT: sp->convert = luv32FromLuv48; break;
    case FMT_RAW: sp->convert = nullptr; break;
    default: errorExt(h, module, "SGILog compression supported only for %s, or raw data", "XYZ, Luv"); return 0;
    }
    return 1;
}

// Whatever the caller used, the file records 16-bit signed samples.
void closeHook(TIFFHandle* h) {
    TIFFDirRecord& d = h->dir;
    d.samplesPerPixel = isLogL(h) ? 1 : 3;
    d.bitsPerSample = 16;
    d.sampleFormat = SAMPLEFORMAT_INT;
    setFieldBit(h, FIELD_SAMPLESPERPIXEL);
    setFieldBit(h, FIELD_BITSPERSAMPLE);
    setFieldBit(h, FIELD_SAMPLEFORMAT);
}

int vsetField(TIFFHandle* h, uint32_t tag, va_list ap) {
    LogLuvState* sp = lstate(h);
    TIFFDirRecord& d = h->dir;
    switch (tag) {
    case kTagDataFmt:
        sp->dataFormat = va_arg(ap, int);
        switch (sp->dataFormat) {
        case FMT_FLOAT: d.bitsPerSample = 32; d.sampleFormat = SAMPLEFORMAT_IEEEFP; break;
        case FMT_16BIT: d.bitsPerSample = 16; d.sampleFormat = SAMPLEFORMAT_INT; break;
        case FMT_RAW:
            d.samplesPerPixel = 1;
            d.bitsPerSample = 32;
            d.sampleFormat = SAMPLEFORMAT_UINT;
            break;
        case FMT_8BIT: d.bitsPerSample = 8; d.sampleFormat = SAMPLEFORMAT_UINT; break;
        default:
            errorExt(h, h->fileName, "Unknown data format %d for LogLuv compression", sp->dataFormat);
            return 0;
        }
        h->tileByteSize = isTiled(h) ? int64_t(TIFFWholeTileSize(h)) : -1;
        h->scanlineByteSize = TIFFScanlineSize(h);
        return 1;
    case kTagEncode:
        sp->encodeMethod = va_arg(ap, int);
        if (sp->encodeMethod != 0 && sp->encodeMethod != 1) {
            errorExt(h, h->fileName, "Unknown encoding %d for LogLuv compression", sp->encodeMethod);
            return 0;
        }
        return 1;
    default: return sp->setParent(h, tag, ap);
    }
}

int vgetField(TIFFHandle* h, uint32_t tag, va_list ap) {
    LogLuvState* sp = lstate(h);
    if (tag == kTagDataFmt) {
        *va_arg(ap, int*) = sp->dataFormat;
        return 1;
    }
    return sp->getParent(h, tag, ap);
}

void cleanup(TIFFHandle* h) {
    LogLuvState* sp = lstate(h);
    if (sp) {
        h->getFieldHook = sp->getParent;
        h->setFieldHook = sp->setParent;
        memFree(sp->codes);
        memFree(sp);
        h->codecState = nullptr;
    }
    TIFFResetCodecMethods(h);
}

} // namespace

int TIFFInitSGILog(TIFFHandle* h, int scheme) {
    static const char module[] = "TIFFInitSGILog";
    if (!_TIFFMergeFieldInfo(h, logLuvTagDefs, sizeof(logLuvTagDefs) / sizeof(logLuvTagDefs[0]))) {
        errorExt(h, module, "Merging SGILog codec-specific tags failed");
        return 0;
    }
    auto* sp = static_cast<LogLuvState*>(memAlloc(sizeof(LogLuvState)));
    if (!sp) {
        errorExt(h, module, "%s: No space for LogLuv state block", h->fileName);
        return 0;
    }
    memFill(sp, 0, sizeof(*sp));
    h->codecState = sp;
    sp->dataFormat = FMT_UNKNOWN;
    sp->encodeMethod = scheme == COMPRESSION_SGILOG24 ? 1 : 0;
    h->setupDecode = setupDecode;
    h->decodeStrip = decodeChunk;
    h->decodeTile = decodeChunk;
    h->setupEncode = setupEncode;
    h->encodeStrip = encodeChunk;
    h->encodeTile = encodeChunk;
    h->closeHook = closeHook;
    h->cleanup = cleanup;
    sp->getParent = h->getFieldHook;
    h->getFieldHook = vgetField;
    sp->setParent = h->setFieldHook;
    h->setFieldHook = vsetField;
    return 1;
}

} // namespace vqtiff
