// The directory record: setting and querying tag values, the defaults of a
// fresh directory and the release of its values.
#include "tiff/vqtiff_internal.h"

#include <cmath>
#include <cstring>

namespace vqtiff {

namespace {

TIFFDirectoryInitHook directoryInitHook = nullptr;

bool isPseudoTag(uint32_t tag) { return tag > 0xFFFF; }

void setPostDecodeForBits(TIFFHandle* h) {
    if (!(h->flags & FLAG_SWAB)) return;
    switch (h->dir.bitsPerSample) {
    case 16: h->postDecode = postDecodeSwap16; break;
    case 24: h->postDecode = postDecodeSwap24; break;
    case 32: h->postDecode = postDecodeSwap32; break;
    case 64:
    case 128: h->postDecode = postDecodeSwap64; break;
    default: break;
    }
}

// Copies 2^BitsPerSample 16-bit entries; refuses sample widths whose table
// could not be addressed.
bool copyTable(TIFFHandle* h, uint16_t** place, const uint16_t* source) {
    if (h->dir.bitsPerSample >= 31 || !source) return false;
    size_t n = size_t(1) << h->dir.bitsPerSample;
    replaceShorts(place, source, n);
    return *place != nullptr;
}

// Counts the zero-terminated names inside the first `length` bytes; the
// result is the length up to and including the last expected name's zero, or
// 0 with the number of names found.
uint32_t checkInkNames(TIFFHandle* h, uint32_t length, const char* text, int* found) {
    uint16_t expected = h->dir.samplesPerPixel;
    const char* p = text;
    const char* end = text + length;
    int names = 0;
    for (; names < expected; ++names) {
        const void* zero = std::memchr(p, 0, size_t(end - p));
        if (!zero) break;
        p = static_cast<const char*>(zero) + 1;
        if (names + 1 == expected) return uint32_t(p - text);
    }
    *found = names;
    return 0;
}

TIFFCustomValue* findCustomValue(TIFFHandle* h, uint32_t tag) {
    for (uint32_t i = 0; i < h->dir.customValueCount; ++i)
        if (h->dir.customValues[i].def->tag == tag) return &h->dir.customValues[i];
    return nullptr;
}

bool isPairTag(uint32_t tag) {
    return tag == TAG_PageNumber || tag == TAG_HalftoneHints || tag == TAG_YCbCrSubsampling ||
           tag == TAG_DotRange;
}

int setCustomValue(TIFFHandle* h, uint32_t tag, va_list ap) {
    static const char module[] = "_TIFFVSetField";
    const TIFFTagDef* def = findTagDef(h, tag, TYPE_ANY);
    if (!def) return 0;
    if (def->fieldBit != FIELD_CUSTOM) {
        errorExt(h, module, "%s: Invalid %stag \"%s\" (not supported by codec)", h->fileName,
                 isPseudoTag(tag) ? "pseudo-" : "", def->name);
        return 0;
    }
    TIFFCustomValue* cv = findCustomValue(h, tag);
    if (cv) {
        memFree(cv->value);
        cv->value = nullptr;
    } else {
        auto* grown = static_cast<TIFFCustomValue*>(
            memResize(h->dir.customValues, sizeof(TIFFCustomValue) * (h->dir.customValueCount + 1)));
        if (!grown) {
            errorExt(h, module, "%s: Failed to allocate space for list of custom values", h->fileName);
            return 0;
        }
        h->dir.customValues = grown;
        cv = &grown[h->dir.customValueCount++];
        cv->def = def;
        cv->value = nullptr;
        cv->count = 0;
    }
    int size = typeStorageSize(def->type);
    if (size == 0) {
        errorExt(h, module, "%s: Bad field type %d for \"%s\"", h->fileName, int(def->type), def->name);
        return 0;
    }
    if (def->passCount)
        cv->count = va_arg(ap, uint32_t);
    else if (def->writeCount == VARIABLE_COUNT || def->writeCount == VARIABLE32_COUNT)
        cv->count = 1;
    else if (def->writeCount == SPP_COUNT)
        cv->count = h->dir.samplesPerPixel;
    else
        cv->count = uint32_t(def->writeCount);

    if (def->type == TYPE_ASCII) {
        const char* text = va_arg(ap, const char*);
        if (!text) text = "";
        size_t len = std::strlen(text) + 1;
        cv->value = memAlloc(len);
        if (!cv->value) return 0;
        memCopy(cv->value, text, len);
        cv->count = uint32_t(len);
        return 1;
    }
    size_t bytes = size_t(cv->count) * size_t(size);
    if (cv->count == 0) {
        cv->value = nullptr;
        return 1;
    }
    cv->value = memAlloc(bytes);
    if (!cv->value) return 0;
    bool fromPointer = (def->passCount || def->writeCount == VARIABLE_COUNT ||
                        def->writeCount == SPP_COUNT || def->writeCount == VARIABLE32_COUNT ||
                        cv->count > 1) &&
                       !isPairTag(tag);
    if (fromPointer) {
        const void* src = va_arg(ap, const void*);
        if (!src) {
            memFill(cv->value, 0, bytes);
            return 0;
        }
        memCopy(cv->value, src, bytes);
        return 1;
    }
    uint8_t* out = static_cast<uint8_t*>(cv->value);
    for (uint32_t i = 0; i < cv->count; ++i, out += size) {
        switch (def->type) {
        case TYPE_BYTE:
        case TYPE_SBYTE:
        case TYPE_UNDEFINED: *out = uint8_t(va_arg(ap, int)); break;
        case TYPE_SHORT:
        case TYPE_SSHORT: {
            uint16_t v = uint16_t(va_arg(ap, int));
            memCopy(out, &v, 2);
            break;
        }
        case TYPE_LONG:
        case TYPE_SLONG:
        case TYPE_IFD: {
            uint32_t v = va_arg(ap, uint32_t);
            memCopy(out, &v, 4);
            break;
        }
        case TYPE_RATIONAL:
        case TYPE_SRATIONAL:
        case TYPE_FLOAT: {
            float v = float(va_arg(ap, double));
            memCopy(out, &v, 4);
            break;
        }
        case TYPE_DOUBLE: {
            double v = va_arg(ap, double);
            memCopy(out, &v, 8);
            break;
        }
        case TYPE_LONG8:
        case TYPE_SLONG8:
        case TYPE_IFD8: {
            uint64_t v = va_arg(ap, uint64_t);
            memCopy(out, &v, 8);
            break;
        }
        default: memFill(out, 0, size_t(size)); return 0;
        }
    }
    return 1;
}

void badValue16(TIFFHandle* h, int v, const char* name) {
    errorExt(h, "_TIFFVSetField", "%s: Bad value %d for \"%s\"", h->fileName, v, name);
}
void badValue32(TIFFHandle* h, uint32_t v, const char* name) {
    errorExt(h, "_TIFFVSetField", "%s: Bad value %ld for \"%s\"", h->fileName, long(v), name);
}

} // namespace

TIFFDirectoryInitHook TIFFSetDirectoryInitHook(TIFFDirectoryInitHook hook) {
    TIFFDirectoryInitHook previous = directoryInitHook;
    directoryInitHook = hook;
    return previous;
}

int _TIFFVSetField(TIFFHandle* h, uint32_t tag, va_list ap) {
    TIFFDirRecord& d = h->dir;
    const TIFFTagDef* def = findTagDef(h, tag, TYPE_ANY);
    const char* name = def ? def->name : "unknown";
    int status = 1;
    uint32_t v32;
    int v;
    switch (tag) {
    case TAG_SubfileType: d.subfileType = va_arg(ap, uint32_t); break;
    case TAG_ImageWidth: d.imageWidth = va_arg(ap, uint32_t); break;
    case TAG_ImageLength: d.imageLength = va_arg(ap, uint32_t); break;
    case TAG_ImageDepth: d.imageDepth = va_arg(ap, uint32_t); break;
    case TAG_BitsPerSample:
        d.bitsPerSample = uint16_t(va_arg(ap, int));
        setPostDecodeForBits(h);
        break;
    case TAG_Compression:
        v = va_arg(ap, int) & 0xFFFF;
        if (fieldSet(h, FIELD_COMPRESSION)) {
            if (d.compression == v) break;
            h->cleanup(h);
            h->flags &= ~FLAG_CODERSETUP;
        }
        status = TIFFSelectCodec(h, uint16_t(v));
        if (status)
            d.compression = uint16_t(v);
        else
            return 0;
        break;
    case TAG_PhotometricInterpretation: d.photometric = uint16_t(va_arg(ap, int)); break;
    case TAG_Threshholding: d.threshholding = uint16_t(va_arg(ap, int)); break;
    case TAG_MinSampleValue: d.minSampleValue = uint16_t(va_arg(ap, int)); break;
    case TAG_MaxSampleValue: d.maxSampleValue = uint16_t(va_arg(ap, int)); break;
    case TAG_YCbCrPositioning: d.ycbcrPositioning = uint16_t(va_arg(ap, int)); break;
    case TAG_FillOrder:
        v = va_arg(ap, int);
        if (v != FILLORDER_LSB2MSB && v != FILLORDER_MSB2LSB) {
            badValue16(h, v, name);
            return 0;
        }
        d.fillOrder = uint16_t(v);
        break;
    case TAG_Orientation:
        v = va_arg(ap, int);
        if (v < 1 || v > 8)
            warningExt(h, h->fileName, "Bad value %lu for \"%s\" tag ignored", (unsigned long)v, name);
        else
            d.orientation = uint16_t(v);
        break;
    case TAG_SamplesPerPixel:
        v = va_arg(ap, int);
        if (v == 0) {
            badValue16(h, v, name);
            return 0;
        }
        d.samplesPerPixel = uint16_t(v);
        break;
    case TAG_RowsPerStrip:
        v32 = va_arg(ap, uint32_t);
        if (v32 == 0) {
            badValue32(h, v32, name);
            return 0;
        }
        d.rowsPerStrip = v32;
        if (!fieldSet(h, FIELD_TILEDIMENSIONS)) {
            d.tileLength = v32;
            d.tileWidth = d.imageWidth;
        }
        break;
    case TAG_XResolution: d.xResolution = float(va_arg(ap, double)); break;
    case TAG_YResolution: d.yResolution = float(va_arg(ap, double)); break;
    case TAG_XPosition: d.xPosition = float(va_arg(ap, double)); break;
    case TAG_YPosition: d.yPosition = float(va_arg(ap, double)); break;
    case TAG_PlanarConfiguration:
        v = va_arg(ap, int);
        if (v != PLANAR_CONTIG && v != PLANAR_SEPARATE) {
            badValue16(h, v, name);
            return 0;
        }
        d.planarConfig = uint16_t(v);
        break;
    case TAG_ResolutionUnit:
        v = va_arg(ap, int);
        if (v < 1 || v > 3) {
            badValue16(h, v, name);
            return 0;
        }
        d.resolutionUnit = uint16_t(v);
        break;
    case TAG_PageNumber:
        d.pageNumber[0] = uint16_t(va_arg(ap, int));
        d.pageNumber[1] = uint16_t(va_arg(ap, int));
        break;
    case TAG_HalftoneHints:
        d.halftoneHints[0] = uint16_t(va_arg(ap, int));
        d.halftoneHints[1] = uint16_t(va_arg(ap, int));
        break;
    case TAG_YCbCrSubsampling:
        d.ycbcrSubsampling[0] = uint16_t(va_arg(ap, int));
        d.ycbcrSubsampling[1] = uint16_t(va_arg(ap, int));
        break;
    case TAG_TransferFunction: {
        int tables = (d.samplesPerPixel - d.extraSamples) > 1 ? 3 : 1;
        for (int i = 0; i < tables; ++i)
            if (!copyTable(h, &d.transferFunction[i], va_arg(ap, uint16_t*))) return 0;
        break;
    }
    case TAG_ColorMap:
        for (int i = 0; i < 3; ++i)
            if (!copyTable(h, &d.colorMap[i], va_arg(ap, uint16_t*))) return 0;
        break;
    case TAG_TileWidth:
    case TAG_TileLength:
        v32 = va_arg(ap, uint32_t);
        if (v32 % 16) {
            if (h->openMode != OPEN_RDONLY) {
                badValue32(h, v32, name);
                return 0;
            }
            warningExt(h, h->fileName,
                       tag == TAG_TileWidth ? "Nonstandard tile width %d, convert file"
                                            : "Nonstandard tile length %d, convert file",
                       int(v32));
        }
        if (tag == TAG_TileWidth)
            d.tileWidth = v32;
        else
            d.tileLength = v32;
        h->flags |= FLAG_ISTILED;
        break;
    case TAG_TileDepth:
        v32 = va_arg(ap, uint32_t);
        if (v32 == 0) {
            badValue32(h, v32, name);
            return 0;
        }
        d.tileDepth = v32;
        break;
    case TAG_SubIFD:
        if (h->flags & FLAG_INSUBIFD) {
            errorExt(h, "_TIFFVSetField", "%s: Sorry, cannot nest SubIFDs", h->fileName);
            return 0;
        } else {
            d.nSubIfd = uint16_t(va_arg(ap, int));
            replaceLong8s(&d.subIfd, va_arg(ap, uint64_t*), d.nSubIfd);
        }
        break;
    case TAG_InkNames: {
        v32 = va_arg(ap, uint32_t);
        const char* text = va_arg(ap, const char*);
        int found = 0;
        uint32_t len = text ? checkInkNames(h, v32, text, &found) : 0;
        if (len == 0) {
            errorExt(h, "TIFFSetField", "%s: Invalid InkNames value; expecting %d names, found %d",
                     h->fileName, int(d.samplesPerPixel), found);
            return 0;
        }
        replaceBytes(reinterpret_cast<void**>(&d.inkNames), text, len);
        d.inkNamesLength = len;
        break;
    }
    case TAG_ExtraSamples: {
        v = va_arg(ap, int) & 0xFFFF;
        const uint16_t* kinds = va_arg(ap, const uint16_t*);
        bool ok = v <= d.samplesPerPixel && (v == 0 || kinds);
        for (int i = 0; ok && i < v; ++i)
            if (kinds[i] > 2) ok = false;
        if (!ok) {
            badValue16(h, v, name);
            return 0;
        }
        d.extraSamples = uint16_t(v);
        replaceShorts(&d.sampleInfo, kinds, size_t(v));
        break;
    }
    case TAG_SampleFormat:
        v = va_arg(ap, int);
        if (v < 1 || v > 6) {
            badValue16(h, v, name);
            return 0;
        }
        d.sampleFormat = uint16_t(v);
        if (v == 5 && d.bitsPerSample == 32 && h->postDecode == postDecodeSwap32)
            h->postDecode = postDecodeSwap16;
        else if ((v == 5 || v == 6) && d.bitsPerSample == 64 && h->postDecode == postDecodeSwap64)
            h->postDecode = postDecodeSwap32;
        break;
    case TAG_SMinSampleValue: d.sMinSampleValue = va_arg(ap, double); break;
    case TAG_SMaxSampleValue: d.sMaxSampleValue = va_arg(ap, double); break;
    case TAG_Matteing: {
        d.extraSamples = va_arg(ap, int) != 0 ? 1 : 0;
        if (d.extraSamples) {
            uint16_t kind = 1;
            replaceShorts(&d.sampleInfo, &kind, 1);
        }
        break;
    }
    case TAG_DataType:
        v = va_arg(ap, int);
        switch (v) {
        case 0: d.sampleFormat = SAMPLEFORMAT_VOID; break;
        case 1: d.sampleFormat = SAMPLEFORMAT_INT; break;
        case 2: d.sampleFormat = SAMPLEFORMAT_UINT; break;
        case 3: d.sampleFormat = SAMPLEFORMAT_IEEEFP; break;
        default: badValue16(h, v, name); return 0;
        }
        break;
    default:
        status = setCustomValue(h, tag, ap);
        if (!status) return 0;
        break;
    }
    // Pseudo-tags and ignored tags (field bit 0) mark nothing, so the field
    // bits only ever name tags a directory writer would write.
    if (def && def->fieldBit != FIELD_IGNORE) setFieldBit(h, def->fieldBit);
    h->flags |= FLAG_DIRTYDIRECT;
    return status;
}

namespace {

bool tagChangeable(TIFFHandle* h, uint32_t tag) {
    const TIFFTagDef* def = findTagDef(h, tag, TYPE_ANY);
    if (!def) {
        errorExt(h, "TIFFSetField", "%s: Unknown %stag %u", h->fileName,
                 isPseudoTag(tag) ? "pseudo-" : "", unsigned(tag));
        return false;
    }
    if (tag != TAG_ImageLength && (h->flags & FLAG_BEENWRITING) && !def->okToChange) {
        errorExt(h, "TIFFSetField", "%s: Cannot modify tag \"%s\" while writing", h->fileName,
                 def->name);
        return false;
    }
    return true;
}

} // namespace

int TIFFSetFieldArgs(TIFFHandle* h, uint32_t tag, va_list ap) {
    if (!tagChangeable(h, tag)) return 0;
    return h->setFieldHook(h, tag, ap);
}

int TIFFSetField(TIFFHandle* h, uint32_t tag, ...) {
    va_list ap;
    va_start(ap, tag);
    int r = TIFFSetFieldArgs(h, tag, ap);
    va_end(ap);
    return r;
}

int _TIFFVGetField(TIFFHandle* h, uint32_t tag, va_list ap) {
    TIFFDirRecord& d = h->dir;
    switch (tag) {
    case TAG_SubfileType: *va_arg(ap, uint32_t*) = d.subfileType; return 1;
    case TAG_ImageWidth: *va_arg(ap, uint32_t*) = d.imageWidth; return 1;
    case TAG_ImageLength: *va_arg(ap, uint32_t*) = d.imageLength; return 1;
    case TAG_RowsPerStrip: *va_arg(ap, uint32_t*) = d.rowsPerStrip; return 1;
    case TAG_TileWidth: *va_arg(ap, uint32_t*) = d.tileWidth; return 1;
    case TAG_TileLength: *va_arg(ap, uint32_t*) = d.tileLength; return 1;
    case TAG_ImageDepth: *va_arg(ap, uint32_t*) = d.imageDepth; return 1;
    case TAG_TileDepth: *va_arg(ap, uint32_t*) = d.tileDepth; return 1;
    case TAG_BitsPerSample: *va_arg(ap, uint16_t*) = d.bitsPerSample; return 1;
    case TAG_Compression: *va_arg(ap, uint16_t*) = d.compression; return 1;
    case TAG_PhotometricInterpretation: *va_arg(ap, uint16_t*) = d.photometric; return 1;
    case TAG_Threshholding: *va_arg(ap, uint16_t*) = d.threshholding; return 1;
    case TAG_FillOrder: *va_arg(ap, uint16_t*) = d.fillOrder; return 1;
    case TAG_Orientation: *va_arg(ap, uint16_t*) = d.orientation; return 1;
    case TAG_SamplesPerPixel: *va_arg(ap, uint16_t*) = d.samplesPerPixel; return 1;
    case TAG_MinSampleValue: *va_arg(ap, uint16_t*) = d.minSampleValue; return 1;
    case TAG_MaxSampleValue: *va_arg(ap, uint16_t*) = d.maxSampleValue; return 1;
    case TAG_PlanarConfiguration: *va_arg(ap, uint16_t*) = d.planarConfig; return 1;
    case TAG_ResolutionUnit: *va_arg(ap, uint16_t*) = d.resolutionUnit; return 1;
    case TAG_SampleFormat: *va_arg(ap, uint16_t*) = d.sampleFormat; return 1;
    case TAG_YCbCrPositioning: *va_arg(ap, uint16_t*) = d.ycbcrPositioning; return 1;
    case TAG_StripOffsets:
    case TAG_TileOffsets: *va_arg(ap, uint64_t**) = d.stripOffset; return 1;
    case TAG_StripByteCounts:
    case TAG_TileByteCounts: *va_arg(ap, uint64_t**) = d.stripByteCount; return 1;
    case TAG_XResolution: *va_arg(ap, float*) = d.xResolution; return 1;
    case TAG_YResolution: *va_arg(ap, float*) = d.yResolution; return 1;
    case TAG_XPosition: *va_arg(ap, float*) = d.xPosition; return 1;
    case TAG_YPosition: *va_arg(ap, float*) = d.yPosition; return 1;
    case TAG_PageNumber:
        *va_arg(ap, uint16_t*) = d.pageNumber[0];
        *va_arg(ap, uint16_t*) = d.pageNumber[1];
        return 1;
    case TAG_HalftoneHints:
        *va_arg(ap, uint16_t*) = d.halftoneHints[0];
        *va_arg(ap, uint16_t*) = d.halftoneHints[1];
        return 1;
    case TAG_YCbCrSubsampling:
        *va_arg(ap, uint16_t*) = d.ycbcrSubsampling[0];
        *va_arg(ap, uint16_t*) = d.ycbcrSubsampling[1];
        return 1;
    case TAG_TransferFunction:
        *va_arg(ap, uint16_t**) = d.transferFunction[0];
        if (d.samplesPerPixel - d.extraSamples > 1) {
            *va_arg(ap, uint16_t**) = d.transferFunction[1];
            *va_arg(ap, uint16_t**) = d.transferFunction[2];
        }
        return 1;
    case TAG_ColorMap:
        *va_arg(ap, uint16_t**) = d.colorMap[0];
        *va_arg(ap, uint16_t**) = d.colorMap[1];
        *va_arg(ap, uint16_t**) = d.colorMap[2];
        return 1;
    case TAG_SubIFD:
        *va_arg(ap, uint16_t*) = d.nSubIfd;
        *va_arg(ap, uint64_t**) = d.subIfd;
        return 1;
    case TAG_InkNames: *va_arg(ap, char**) = d.inkNames; return 1;
    case TAG_ExtraSamples:
        *va_arg(ap, uint16_t*) = d.extraSamples;
        *va_arg(ap, uint16_t**) = d.sampleInfo;
        return 1;
    case TAG_SMinSampleValue: *va_arg(ap, double*) = d.sMinSampleValue; return 1;
    case TAG_SMaxSampleValue: *va_arg(ap, double*) = d.sMaxSampleValue; return 1;
    case TAG_Matteing:
        *va_arg(ap, uint16_t*) = (d.extraSamples == 1 && d.sampleInfo && d.sampleInfo[0] == 1) ? 1 : 0;
        return 1;
    case TAG_DataType:
        switch (d.sampleFormat) {
        case SAMPLEFORMAT_UINT: *va_arg(ap, uint16_t*) = 2; break;
        case SAMPLEFORMAT_INT: *va_arg(ap, uint16_t*) = 1; break;
        case SAMPLEFORMAT_IEEEFP: *va_arg(ap, uint16_t*) = 3; break;
        case SAMPLEFORMAT_VOID: *va_arg(ap, uint16_t*) = 0; break;
        default: break;
        }
        return 1;
    default: break;
    }
    const TIFFTagDef* def = findTagDef(h, tag, TYPE_ANY);
    if (!def || def->fieldBit != FIELD_CUSTOM) {
        errorExt(h, "_TIFFVGetField", "%s: Invalid %stag \"%s\" (not supported by codec)",
                 h->fileName, isPseudoTag(tag) ? "pseudo-" : "", def ? def->name : "unknown");
        return 0;
    }
    TIFFCustomValue* cv = findCustomValue(h, tag);
    if (!cv) return 0;
    if (def->passCount) {
        if (def->readCount == VARIABLE32_COUNT)
            *va_arg(ap, uint32_t*) = cv->count;
        else
            *va_arg(ap, uint16_t*) = uint16_t(cv->count);
        *va_arg(ap, void**) = cv->value;
        return 1;
    }
    if ((def->type == TYPE_ASCII || def->readCount == VARIABLE_COUNT ||
         def->readCount == SPP_COUNT || def->readCount == VARIABLE32_COUNT || cv->count > 1) &&
        !isPairTag(tag)) {
        *va_arg(ap, void**) = cv->value;
        return 1;
    }
    const uint8_t* in = static_cast<const uint8_t*>(cv->value);
    int size = typeStorageSize(def->type);
    for (uint32_t i = 0; i < cv->count; ++i, in += size) {
        switch (def->type) {
        case TYPE_BYTE:
        case TYPE_SBYTE:
        case TYPE_UNDEFINED: memCopy(va_arg(ap, void*), in, 1); break;
        case TYPE_SHORT:
        case TYPE_SSHORT: memCopy(va_arg(ap, void*), in, 2); break;
        case TYPE_LONG:
        case TYPE_SLONG:
        case TYPE_IFD:
        case TYPE_FLOAT:
        case TYPE_RATIONAL:
        case TYPE_SRATIONAL: memCopy(va_arg(ap, void*), in, 4); break;
        case TYPE_DOUBLE:
        case TYPE_LONG8:
        case TYPE_SLONG8:
        case TYPE_IFD8: memCopy(va_arg(ap, void*), in, 8); break;
        default: return 0;
        }
    }
    return 1;
}

int TIFFQueryFieldArgs(TIFFHandle* h, uint32_t tag, va_list ap) {
    const TIFFTagDef* def = findTagDef(h, tag, TYPE_ANY);
    if (!def || !(isPseudoTag(tag) || fieldSet(h, def->fieldBit))) return 0;
    return h->getFieldHook(h, tag, ap);
}

int TIFFQueryField(TIFFHandle* h, uint32_t tag, ...) {
    va_list ap;
    va_start(ap, tag);
    int r = TIFFQueryFieldArgs(h, tag, ap);
    va_end(ap);
    return r;
}

namespace {

int makeDefaultTransferTable(TIFFHandle* h) {
    TIFFDirRecord& d = h->dir;
    if (d.bitsPerSample >= 30) return 0;
    size_t n = size_t(1) << d.bitsPerSample;
    auto* t0 = static_cast<uint16_t*>(memAlloc(n * 2));
    if (!t0) return 0;
    t0[0] = 0;
    for (size_t i = 1; i < n; ++i) {
        double t = double(i) / double(n - 1);
        t0[i] = uint16_t(std::floor(65535.0 * std::pow(t, 2.2) + 0.5));
    }
    d.transferFunction[0] = t0;
    if (d.samplesPerPixel - d.extraSamples >= 2) {
        d.transferFunction[1] = static_cast<uint16_t*>(memAlloc(n * 2));
        d.transferFunction[2] = static_cast<uint16_t*>(memAlloc(n * 2));
        if (!d.transferFunction[1] || !d.transferFunction[2]) {
            for (auto& t : d.transferFunction) {
                memFree(t);
                t = nullptr;
            }
            return 0;
        }
        memCopy(d.transferFunction[1], t0, n * 2);
        memCopy(d.transferFunction[2], t0, n * 2);
    }
    return 1;
}

} // namespace

int TIFFQueryFieldDefaultedArgs(TIFFHandle* h, uint32_t tag, va_list ap) {
    {
        va_list copy;
        va_copy(copy, ap);
        int found = TIFFQueryFieldArgs(h, tag, copy);
        va_end(copy);
        if (found) return 1;
    }
    TIFFDirRecord& d = h->dir;
    switch (tag) {
    // Fields whose fresh-directory value is the default: the record holds it.
    case TAG_SubfileType:
    case TAG_RowsPerStrip:
    case TAG_ImageDepth:
    case TAG_TileDepth:
    case TAG_BitsPerSample:
    case TAG_Threshholding:
    case TAG_FillOrder:
    case TAG_Orientation:
    case TAG_SamplesPerPixel:
    case TAG_MinSampleValue:
    case TAG_MaxSampleValue:
    case TAG_PlanarConfiguration:
    case TAG_ResolutionUnit:
    case TAG_SampleFormat:
    case TAG_YCbCrPositioning:
    case TAG_YCbCrSubsampling:
    case TAG_ExtraSamples:
    case TAG_Matteing: return _TIFFVGetField(h, tag, ap);
    case TAG_Predictor:
        if (!h->codecState) return 0;
        *va_arg(ap, uint16_t*) = uint16_t(static_cast<PredictorState*>(h->codecState)->predictor);
        return 1;
    case 318: { // WhitePoint
        static float whitePoint[2] = {0.34574193f, 0.35856044f};
        *va_arg(ap, float**) = whitePoint;
        return 1;
    }
    case 332: *va_arg(ap, uint16_t*) = 1; return 1; // InkSet
    case 334: *va_arg(ap, uint16_t*) = 4; return 1; // NumberOfInks
    case TAG_DotRange:
        *va_arg(ap, uint16_t*) = 0;
        *va_arg(ap, uint16_t*) = uint16_t((1u << (d.bitsPerSample & 15)) - 1);
        return 1;
    case TAG_YCbCrCoefficients: {
        static float coefficients[3] = {0.299f, 0.587f, 0.114f};
        *va_arg(ap, float**) = coefficients;
        return 1;
    }
    case TAG_ReferenceBlackWhite: {
        static float ycbcr[6] = {0.0f, 255.0f, 128.0f, 255.0f, 128.0f, 255.0f};
        static float other[6];
        if (d.photometric == PHOTOMETRIC_YCBCR) {
            *va_arg(ap, float**) = ycbcr;
        } else {
            float top = float((uint64_t(1) << (d.bitsPerSample & 63)) - 1);
            for (int i = 0; i < 3; ++i) {
                other[2 * i] = 0.0f;
                other[2 * i + 1] = top;
            }
            *va_arg(ap, float**) = other;
        }
        return 1;
    }
    case TAG_DataType: *va_arg(ap, uint16_t*) = uint16_t(d.sampleFormat - 1); return 1;
    case TAG_TransferFunction:
        if (!d.transferFunction[0] && !makeDefaultTransferTable(h)) {
            errorExt(h, h->fileName, "No space for \"TransferFunction\" tag");
            return 0;
        }
        *va_arg(ap, uint16_t**) = d.transferFunction[0];
        if (d.samplesPerPixel - d.extraSamples > 1) {
            *va_arg(ap, uint16_t**) = d.transferFunction[1];
            *va_arg(ap, uint16_t**) = d.transferFunction[2];
        }
        return 1;
    default: return 0;
    }
}

int TIFFQueryFieldDefaulted(TIFFHandle* h, uint32_t tag, ...) {
    va_list ap;
    va_start(ap, tag);
    int r = TIFFQueryFieldDefaultedArgs(h, tag, ap);
    va_end(ap);
    return r;
}

void TIFFReleaseDirectory(TIFFHandle* h) {
    TIFFDirRecord& d = h->dir;
    memFill(d.fieldsSet, 0, sizeof(d.fieldsSet));
    for (auto& p : d.colorMap) {
        memFree(p);
        p = nullptr;
    }
    memFree(d.sampleInfo);
    d.sampleInfo = nullptr;
    memFree(d.subIfd);
    d.subIfd = nullptr;
    memFree(d.inkNames);
    d.inkNames = nullptr;
    for (auto& p : d.transferFunction) {
        memFree(p);
        p = nullptr;
    }
    memFree(d.stripOffset);
    d.stripOffset = nullptr;
    memFree(d.stripByteCount);
    d.stripByteCount = nullptr;
    for (uint32_t i = 0; i < d.customValueCount; ++i) memFree(d.customValues[i].value);
    memFree(d.customValues);
    d.customValues = nullptr;
    d.customValueCount = 0;
}

int TIFFResetDirectory(TIFFHandle* h) {
    size_t n;
    const TIFFTagDef* table = getBaseTagTable(&n);
    _TIFFSetupFieldInfo(h, table, n);
    TIFFDirRecord& d = h->dir;
    memFill(&d, 0, sizeof(d));
    d.fillOrder = FILLORDER_MSB2LSB;
    d.bitsPerSample = 1;
    d.threshholding = 1;
    d.orientation = 1;
    d.samplesPerPixel = 1;
    d.rowsPerStrip = 0xFFFFFFFFu;
    d.tileWidth = 0;
    d.tileLength = 0;
    d.tileDepth = 1;
    d.stripByteCountSorted = 1;
    d.resolutionUnit = 2;
    d.sampleFormat = SAMPLEFORMAT_UINT;
    d.imageDepth = 1;
    d.ycbcrSubsampling[0] = 2;
    d.ycbcrSubsampling[1] = 2;
    d.ycbcrPositioning = 1;
    h->postDecode = postDecodeNone;
    h->lastTagDef = nullptr;
    h->setFieldHook = _TIFFVSetField;
    h->getFieldHook = _TIFFVGetField;
    h->printDirectoryHook = nullptr;
    if (directoryInitHook) directoryInitHook(h);
    TIFFSetField(h, TAG_Compression, int(COMPRESSION_NONE));
    h->flags &= ~(FLAG_DIRTYDIRECT | FLAG_ISTILED);
    return 1;
}

int TIFFStartDirectory(TIFFHandle* h) {
    TIFFResetDirectory(h);
    h->dirOffset = 0;
    h->nextDirOffset = 0;
    h->writeOffset = 0;
    h->curRow = 0xFFFFFFFFu;
    h->curStrip = 0xFFFFFFFFu;
    return 0;
}

} // namespace vqtiff
