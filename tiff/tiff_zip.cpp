// The Deflate codec (Compression 8 and 32946): each strip or tile is one
// zlib stream; zlib does the coding.
#include "tiff/vqtiff_internal.h"

#include <zlib.h>

namespace vqtiff {

namespace {

const TIFFTagDef zipTagDef = {TAG_ZipQuality, 0, 0, TYPE_ANY, FIELD_IGNORE, 1, 0, ""};

enum : int { kInflating = 1, kDeflating = 2 };

struct ZipState {
    PredictorState predictor; // must come first
    z_stream stream;
    int quality;
    int state;
    TIFFVGetMethod getParent;
    TIFFVSetMethod setParent;
};

ZipState* zip(TIFFHandle* h) { return static_cast<ZipState*>(h->codecState); }
const char* zmsg(const ZipState* sp) { return sp->stream.msg ? sp->stream.msg : "(no message)"; }

int setupDecode(TIFFHandle* h) {
    ZipState* sp = zip(h);
    // A set-up that runs again (after a failed predictor set-up) keeps the
    // inflater it already has.
    if (sp->state & kInflating) return 1;
    if (sp->state & kDeflating) {
        deflateEnd(&sp->stream);
        sp->state = 0;
    }
    if (inflateInit(&sp->stream) != Z_OK) {
        errorExt(h, "ZIPSetupDecode", "%s: %s", h->fileName, zmsg(sp));
        return 0;
    }
    sp->state |= kInflating;
    return 1;
}

int preDecode(TIFFHandle* h, uint16_t) {
    ZipState* sp = zip(h);
    if (!(sp->state & kInflating)) {
        h->setupDecode(h);
        sp = zip(h);
        if (!(sp->state & kInflating)) return 0;
    }
    sp->stream.next_in = h->rawData;
    sp->stream.avail_in = uInt(h->rawCount);
    return inflateReset(&sp->stream) == Z_OK;
}

int decode(TIFFHandle* h, uint8_t* op, int64_t occ, uint16_t) {
    static const char module[] = "ZIPDecode";
    ZipState* sp = zip(h);
    sp->stream.next_out = op;
    sp->stream.avail_out = uInt(occ);
    do {
        int state = inflate(&sp->stream, Z_PARTIAL_FLUSH);
        if (state == Z_STREAM_END) break;
        if (state == Z_DATA_ERROR) {
            errorExt(h, module, "%s: Decoding error at scanline %d, %s", h->fileName, int(h->curRow), zmsg(sp));
            if (inflateSync(&sp->stream) != Z_OK) return 0;
            continue;
        }
        if (state != Z_OK) {
            errorExt(h, module, "%s: zlib error: %s", h->fileName, zmsg(sp));
            return 0;
        }
    } while (sp->stream.avail_out > 0);
    if (sp->stream.avail_out != 0) {
        errorExt(h, module, "%s: Not enough data at scanline %d (short %d bytes)", h->fileName, int(h->curRow),
                 int(sp->stream.avail_out));
        return 0;
    }
    return 1;
}

int setupEncode(TIFFHandle* h) {
    ZipState* sp = zip(h);
    if (sp->state & kDeflating) return 1;
    if (sp->state & kInflating) {
        inflateEnd(&sp->stream);
        sp->state = 0;
    }
    if (deflateInit(&sp->stream, sp->quality) != Z_OK) {
        errorExt(h, "ZIPSetupEncode", "%s: %s", h->fileName, zmsg(sp));
        return 0;
    }
    sp->state |= kDeflating;
    return 1;
}

int preEncode(TIFFHandle* h, uint16_t) {
    ZipState* sp = zip(h);
    if (sp->state != kDeflating) {
        h->setupEncode(h);
        sp = zip(h);
        if (sp->state != kDeflating) return 0;
    }
    sp->stream.next_out = h->rawData;
    sp->stream.avail_out = uInt(h->rawDataSize);
    return deflateReset(&sp->stream) == Z_OK;
}

// A failed flush of the raw buffer fails the encoding (-1).
int encode(TIFFHandle* h, uint8_t* bp, int64_t cc, uint16_t) {
    ZipState* sp = zip(h);
    sp->stream.next_in = bp;
    sp->stream.avail_in = uInt(cc);
    do {
        if (deflate(&sp->stream, Z_NO_FLUSH) != Z_OK) {
            errorExt(h, "ZIPEncode", "%s: Encoder error: %s", h->fileName, zmsg(sp));
            return 0;
        }
        if (sp->stream.avail_out == 0) {
            h->rawCount = h->rawDataSize;
            if (!TIFFFlushRawBuffer(h)) return -1;
            sp->stream.next_out = h->rawData;
            sp->stream.avail_out = uInt(h->rawDataSize);
        }
    } while (sp->stream.avail_in > 0);
    return 1;
}

int postEncode(TIFFHandle* h) {
    ZipState* sp = zip(h);
    sp->stream.avail_in = 0;
    int state;
    do {
        state = deflate(&sp->stream, Z_FINISH);
        if (state != Z_OK && state != Z_STREAM_END) {
            errorExt(h, "ZIPPostEncode", "%s: zlib error: %s", h->fileName, zmsg(sp));
            return 0;
        }
        if (int64_t(sp->stream.avail_out) != h->rawDataSize) {
            h->rawCount = h->rawDataSize - sp->stream.avail_out;
            if (!TIFFFlushRawBuffer(h)) return 0;
            sp->stream.next_out = h->rawData;
            sp->stream.avail_out = uInt(h->rawDataSize);
        }
    } while (state != Z_STREAM_END);
    return 1;
}

int vsetField(TIFFHandle* h, uint32_t tag, va_list ap) {
    ZipState* sp = zip(h);
    if (tag == TAG_ZipQuality) {
        sp->quality = va_arg(ap, int);
        if ((sp->state & kDeflating) && deflateParams(&sp->stream, sp->quality, Z_DEFAULT_STRATEGY) != Z_OK) {
            errorExt(h, "ZIPVSetField", "%s: zlib error: %s", h->fileName, zmsg(sp));
            return 0;
        }
        return 1;
    }
    return sp->setParent(h, tag, ap);
}

int vgetField(TIFFHandle* h, uint32_t tag, va_list ap) {
    ZipState* sp = zip(h);
    if (tag == TAG_ZipQuality) {
        *va_arg(ap, int*) = sp->quality;
        return 1;
    }
    return sp->getParent(h, tag, ap);
}

void cleanup(TIFFHandle* h) {
    ZipState* sp = zip(h);
    if (sp) {
        predictorCleanup(h);
        h->getFieldHook = sp->getParent;
        h->setFieldHook = sp->setParent;
        if (sp->state & kDeflating)
            deflateEnd(&sp->stream);
        else if (sp->state & kInflating)
            inflateEnd(&sp->stream);
        memFree(sp);
        h->codecState = nullptr;
    }
    TIFFResetCodecMethods(h);
}

} // namespace

int TIFFInitZIP(TIFFHandle* h, int) {
    if (!_TIFFMergeFieldInfo(h, &zipTagDef, 1)) {
        errorExt(h, "TIFFInitZIP", "Merging Deflate codec-specific tags failed");
        return 0;
    }
    auto* sp = static_cast<ZipState*>(memAlloc(sizeof(ZipState)));
    if (!sp) {
        errorExt(h, "TIFFInitZIP", "No space for ZIP state block");
        return 0;
    }
    memFill(sp, 0, sizeof(ZipState));
    h->codecState = sp;
    sp->stream.zalloc = Z_NULL;
    sp->stream.zfree = Z_NULL;
    sp->stream.opaque = Z_NULL;
    sp->stream.data_type = Z_BINARY;
    sp->getParent = h->getFieldHook;
    h->getFieldHook = vgetField;
    sp->setParent = h->setFieldHook;
    h->setFieldHook = vsetField;
    sp->quality = Z_DEFAULT_COMPRESSION;
    sp->state = 0;
    h->setupDecode = setupDecode;
    h->preDecode = preDecode;
    h->decodeRow = decode;
    h->decodeStrip = decode;
    h->decodeTile = decode;
    h->setupEncode = setupEncode;
    h->preEncode = preEncode;
    h->postEncode = postEncode;
    h->encodeRow = encode;
    h->encodeStrip = encode;
    h->encodeTile = encode;
    h->cleanup = cleanup;
    predictorInit(h);
    return 1;
}

} // namespace vqtiff
