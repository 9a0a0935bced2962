// The predictor layer (tag 317) that the LZW and Deflate codecs put between
// themselves and the caller: horizontal differencing of 8- and 16-bit
// samples and the floating-point predictor.
#include "tiff/vqtiff_internal.h"

#include <cinttypes>

namespace vqtiff {

namespace {

const TIFFTagDef predictorTagDef = {TAG_Predictor, 1, 1, TYPE_SHORT, FIELD_CODEC, 0, 0, "Predictor"};

PredictorState* state(TIFFHandle* h) { return static_cast<PredictorState*>(h->codecState); }

void accumulate8(TIFFHandle* h, uint8_t* row, int64_t n) {
    int64_t s = state(h)->stride;
    if (n <= s) return;
    for (int64_t i = s; i < n; ++i) row[i] = uint8_t(row[i] + row[i - s]);
}

void accumulate16(TIFFHandle* h, uint8_t* row, int64_t n) {
    int64_t s = state(h)->stride;
    int64_t count = n / 2;
    if (count <= s) return;
    auto* v = reinterpret_cast<uint16_t*>(row);
    for (int64_t i = s; i < count; ++i) v[i] = uint16_t(v[i] + v[i - s]);
}

void swapAccumulate16(TIFFHandle* h, uint8_t* row, int64_t n) {
    swapShortArray(reinterpret_cast<uint16_t*>(row), size_t(n / 2));
    accumulate16(h, row, n);
}

void difference8(TIFFHandle* h, uint8_t* row, int64_t n) {
    int64_t s = state(h)->stride;
    if (n <= s) return;
    for (int64_t i = n - 1; i >= s; --i) row[i] = uint8_t(row[i] - row[i - s]);
}

void difference16(TIFFHandle* h, uint8_t* row, int64_t n) {
    int64_t s = state(h)->stride;
    int64_t count = n / 2;
    if (count <= s) return;
    auto* v = reinterpret_cast<uint16_t*>(row);
    for (int64_t i = count - 1; i >= s; --i) v[i] = uint16_t(v[i] - v[i - s]);
}

// Differences of host-order samples, then put into the file's order.
void differenceSwap16(TIFFHandle* h, uint8_t* row, int64_t n) {
    difference16(h, row, n);
    swapShortArray(reinterpret_cast<uint16_t*>(row), size_t(n / 2));
}

// Floating-point rows are stored as byte planes, most significant bytes
// first, each plane differenced bytewise.
void accumulateFloat(TIFFHandle* h, uint8_t* row, int64_t n) {
    int64_t bps = h->dir.bitsPerSample / 8;
    if (bps <= 0) return;
    int64_t w = n / bps;
    int64_t s = state(h)->stride;
    for (int64_t i = s; i < n; ++i) row[i] = uint8_t(row[i] + row[i - s]);
    auto* tmp = static_cast<uint8_t*>(memAlloc(size_t(n)));
    if (!tmp) return;
    memCopy(tmp, row, size_t(n));
    for (int64_t i = 0; i < w; ++i)
        for (int64_t k = 0; k < bps; ++k) row[i * bps + k] = tmp[(bps - 1 - k) * w + i];
    memFree(tmp);
}

void differenceFloat(TIFFHandle* h, uint8_t* row, int64_t n) {
    int64_t bps = h->dir.bitsPerSample / 8;
    if (bps <= 0) return;
    int64_t w = n / bps;
    int64_t s = state(h)->stride;
    auto* tmp = static_cast<uint8_t*>(memAlloc(size_t(n)));
    if (!tmp) return;
    memCopy(tmp, row, size_t(n));
    for (int64_t i = 0; i < w; ++i)
        for (int64_t k = 0; k < bps; ++k) row[(bps - 1 - k) * w + i] = tmp[i * bps + k];
    memFree(tmp);
    for (int64_t i = n - 1; i >= s; --i) row[i] = uint8_t(row[i] - row[i - s]);
}

int predictorDecodeRow(TIFFHandle* h, uint8_t* buf, int64_t n, uint16_t sample) {
    PredictorState* sp = state(h);
    int r = sp->codeRow(h, buf, n, sample);
    if (r > 0) sp->rowRoutine(h, buf, n);
    return r;
}

// Applies the row routine to whole rows only: a request for part of a strip
// never touches bytes past the caller's count.
int predictorDecodeChunk(TIFFHandle* h, uint8_t* buf, int64_t n, uint16_t sample) {
    PredictorState* sp = state(h);
    int r = sp->codeTile(h, buf, n, sample);
    if (r > 0 && sp->rowSize > 0) {
        for (int64_t left = n; left > 0; left -= sp->rowSize, buf += sp->rowSize)
            sp->rowRoutine(h, buf, left < sp->rowSize ? left : sp->rowSize);
    }
    return r;
}

int predictorEncodeRow(TIFFHandle* h, uint8_t* buf, int64_t n, uint16_t sample) {
    PredictorState* sp = state(h);
    sp->rowRoutine(h, buf, n);
    return sp->codeRow(h, buf, n, sample);
}

int predictorEncodeChunk(TIFFHandle* h, uint8_t* buf, int64_t n, uint16_t sample) {
    PredictorState* sp = state(h);
    if (sp->rowSize > 0) {
        uint8_t* p = buf;
        for (int64_t left = n; left > 0; left -= sp->rowSize, p += sp->rowSize)
            sp->rowRoutine(h, p, left < sp->rowSize ? left : sp->rowSize);
    }
    return sp->codeTile(h, buf, n, sample);
}

int predictorSetupDecode(TIFFHandle* h) {
    PredictorState* sp = state(h);
    if (!sp->setupDecodeParent(h) || !PredictorSetup(h)) return 0;
    sp = state(h);
    if (sp->predictor == 1) return 1;
    if (sp->predictor == 2) {
        sp->rowRoutine = h->dir.bitsPerSample == 8 ? accumulate8 : accumulate16;
        if ((h->flags & FLAG_SWAB) && h->dir.bitsPerSample == 16) {
            sp->rowRoutine = swapAccumulate16;
            h->postDecode = postDecodeNone;
        }
    } else {
        sp->rowRoutine = accumulateFloat;
        if (h->flags & FLAG_SWAB) h->postDecode = postDecodeNone;
    }
    // A second set-up while the wrappers are installed keeps the codec's own
    // operations as the saved ones.
    if (h->decodeRow != predictorDecodeRow) {
        sp->codeRow = h->decodeRow;
        sp->codeStrip = h->decodeStrip;
        sp->codeTile = h->decodeTile;
    }
    h->decodeRow = predictorDecodeRow;
    h->decodeStrip = predictorDecodeChunk;
    h->decodeTile = predictorDecodeChunk;
    sp->decodeWrapped = true;
    return 1;
}

int predictorSetupEncode(TIFFHandle* h) {
    PredictorState* sp = state(h);
    if (!sp->setupEncodeParent(h) || !PredictorSetup(h)) return 0;
    sp = state(h);
    if (sp->predictor == 1) return 1;
    // The differences are taken on the caller's host-order samples: in a
    // byte-swapped file the samples are swapped afterwards (16-bit) or need
    // no swap at all (the floating-point byte planes), never before.
    if (sp->predictor == 2) {
        sp->rowRoutine = h->dir.bitsPerSample == 8 ? difference8 : difference16;
        if ((h->flags & FLAG_SWAB) && h->dir.bitsPerSample == 16) {
            sp->rowRoutine = differenceSwap16;
            h->postDecode = postDecodeNone;
        }
    } else {
        sp->rowRoutine = differenceFloat;
        if (h->flags & FLAG_SWAB) h->postDecode = postDecodeNone;
    }
    if (h->encodeRow != predictorEncodeRow) {
        sp->codeRow = h->encodeRow;
        sp->codeStrip = h->encodeStrip;
        sp->codeTile = h->encodeTile;
    }
    h->encodeRow = predictorEncodeRow;
    h->encodeStrip = predictorEncodeChunk;
    h->encodeTile = predictorEncodeChunk;
    sp->encodeWrapped = true;
    return 1;
}

int predictorVSetField(TIFFHandle* h, uint32_t tag, va_list ap) {
    PredictorState* sp = state(h);
    if (tag == TAG_Predictor) {
        sp->predictor = uint16_t(va_arg(ap, int));
        setFieldBit(h, FIELD_CODEC);
        h->flags |= FLAG_DIRTYDIRECT;
        return 1;
    }
    return sp->setParent(h, tag, ap);
}

int predictorVGetField(TIFFHandle* h, uint32_t tag, va_list ap) {
    PredictorState* sp = state(h);
    if (tag == TAG_Predictor) {
        *va_arg(ap, uint16_t*) = uint16_t(sp->predictor);
        return 1;
    }
    return sp->getParent(h, tag, ap);
}

void predictorPrintDir(TIFFHandle* h, FILE* fd, long flags) {
    PredictorState* sp = state(h);
    if (fieldSet(h, FIELD_CODEC)) {
        std::fprintf(fd, "  Predictor: ");
        switch (sp->predictor) {
        case 1: std::fprintf(fd, "none "); break;
        case 2: std::fprintf(fd, "horizontal differencing "); break;
        case 3: std::fprintf(fd, "floating point predictor "); break;
        default: break;
        }
        std::fprintf(fd, "%u (0x%x)\n", unsigned(sp->predictor), unsigned(sp->predictor));
    }
    if (sp->printParent) sp->printParent(h, fd, flags);
}

} // namespace

int PredictorSetup(TIFFHandle* h) {
    static const char module[] = "PredictorSetup";
    PredictorState* sp = state(h);
    const TIFFDirRecord& d = h->dir;
    switch (sp->predictor) {
    case 1: return 1;
    case 2:
        if (d.bitsPerSample != 8 && d.bitsPerSample != 16) {
            errorExt(h, module, "Horizontal differencing \"Predictor\" not supported with %d-bit samples",
                     int(d.bitsPerSample));
            return 0;
        }
        break;
    case 3:
        if (d.sampleFormat != SAMPLEFORMAT_IEEEFP) {
            errorExt(h, module, "Floating point \"Predictor\" not supported with %d data format",
                     int(d.sampleFormat));
            return 0;
        }
        break;
    default: errorExt(h, module, "\"Predictor\" value %d not supported", sp->predictor); return 0;
    }
    sp->stride = d.planarConfig == PLANAR_CONTIG ? d.samplesPerPixel : 1;
    sp->rowSize = isTiled(h) ? int64_t(TIFFTileRowSize(h)) : int64_t(TIFFScanlineSize(h));
    return 1;
}

int predictorInit(TIFFHandle* h) {
    PredictorState* sp = state(h);
    if (!_TIFFMergeFieldInfo(h, &predictorTagDef, 1)) {
        errorExt(h, "TIFFPredictorInit", "Merging Predictor codec-specific tags failed");
        return 0;
    }
    sp->getParent = h->getFieldHook;
    h->getFieldHook = predictorVGetField;
    sp->setParent = h->setFieldHook;
    h->setFieldHook = predictorVSetField;
    sp->printParent = h->printDirectoryHook;
    h->printDirectoryHook = predictorPrintDir;
    sp->setupDecodeParent = h->setupDecode;
    h->setupDecode = predictorSetupDecode;
    sp->setupEncodeParent = h->setupEncode;
    h->setupEncode = predictorSetupEncode;
    sp->predictor = 1;
    sp->rowRoutine = nullptr;
    sp->decodeWrapped = false;
    sp->encodeWrapped = false;
    return 1;
}

int predictorCleanup(TIFFHandle* h) {
    PredictorState* sp = state(h);
    h->getFieldHook = sp->getParent;
    h->setFieldHook = sp->setParent;
    h->printDirectoryHook = sp->printParent;
    h->setupDecode = sp->setupDecodeParent;
    h->setupEncode = sp->setupEncodeParent;
    return 1;
}

} // namespace vqtiff
