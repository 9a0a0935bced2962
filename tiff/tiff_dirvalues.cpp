// Directory entry values: decoding an entry's values by type and count, from
// the entry itself or from the file, and storing them with TIFFSetField.
#include "tiff/vqtiff_internal.h"

#include <cmath>

namespace vqtiff {

namespace {

const char* tagName(TIFFHandle* h, uint16_t tag) {
    const TIFFTagDef* def = findTagDef(h, tag, TYPE_ANY);
    return def ? def->name : "unknown";
}

uint64_t entryOffset(const TIFFHandle* h, const TIFFDirEntry* e) {
    if (isBigTiff(h)) {
        uint64_t v = e->value.u64;
        if (h->flags & FLAG_SWAB) swapLong8(&v);
        return v;
    }
    uint32_t v = e->value.u32;
    if (h->flags & FLAG_SWAB) swapLong(&v);
    return v;
}

void swapByType(uint8_t* data, uint32_t type, size_t n) {
    switch (type) {
    case TYPE_SHORT:
    case TYPE_SSHORT: swapShortArray(reinterpret_cast<uint16_t*>(data), n); break;
    case TYPE_LONG:
    case TYPE_SLONG:
    case TYPE_FLOAT:
    case TYPE_IFD: swapLongArray(reinterpret_cast<uint32_t*>(data), n); break;
    case TYPE_RATIONAL:
    case TYPE_SRATIONAL: swapLongArray(reinterpret_cast<uint32_t*>(data), 2 * n); break;
    case TYPE_DOUBLE:
    case TYPE_LONG8:
    case TYPE_SLONG8:
    case TYPE_IFD8: swapLong8Array(reinterpret_cast<uint64_t*>(data), n); break;
    default: break;
    }
}

} // namespace

// Size in the file of the entry's values, or 0 after reporting when it cannot
// be fetched (also when the values would lie beyond the end of the file, so no
// count from the file ever sizes an allocation larger than the file).
uint32_t entryDataSize(TIFFHandle* h, const TIFFDirEntry* e) {
    uint32_t n = entryCount32(e);
    uint32_t w = uint32_t(TIFFTypeWidth(e->type));
    uint64_t size = uint64_t(n) * w;
    bool ok = n != 0 && w != 0 && size <= 0x7FFFFFFFu;
    if (ok && size > (isBigTiff(h) ? 8u : 4u)) {
        uint64_t at = entryOffset(h, e);
        uint64_t limit = (h->flags & FLAG_MAPPED) ? h->mappedSize : fileSize(h);
        ok = at <= limit && size <= limit - at;
    }
    if (!ok) {
        errorExt(h, h->fileName, "Error fetching data for field \"%s\"", tagName(h, e->tag));
        return 0;
    }
    return uint32_t(size);
}


uint32_t entryCount32(const TIFFDirEntry* e) { return uint32_t(e->count); }

int fetchEntryData(TIFFHandle* h, const TIFFDirEntry* e, void* dest) {
    uint32_t size = entryDataSize(h, e);
    if (size == 0) return 0;
    if (size <= (isBigTiff(h) ? 8u : 4u)) {
        memCopy(dest, e->value.bytes, size);
    } else {
        uint64_t at = entryOffset(h, e);
        if (h->flags & FLAG_MAPPED) {
            memCopy(dest, h->mappedBase + at, size);
        } else if (seekFile(h, at, 0) != at || readFile(h, dest, size) != int64_t(size)) {
            errorExt(h, h->fileName, "Error fetching data for field \"%s\"", tagName(h, e->tag));
            return 0;
        }
    }
    if (h->flags & FLAG_SWAB) swapByType(static_cast<uint8_t*>(dest), e->type, entryCount32(e));
    return 1;
}

namespace {

// The entry's raw values in machine order, in a new buffer with `extra`
// spare bytes behind them.
uint8_t* fetchRaw(TIFFHandle* h, const TIFFDirEntry* e, const char* label, size_t extra = 0) {
    uint32_t size = entryDataSize(h, e);
    if (size == 0) return nullptr;
    auto* buf = static_cast<uint8_t*>(TIFFCheckedMalloc(h, size + extra, 1, label));
    if (!buf) return nullptr;
    if (!fetchEntryData(h, e, buf)) {
        memFree(buf);
        return nullptr;
    }
    if (extra) memFill(buf + size, 0, extra);
    return buf;
}

bool isIntegerType(uint32_t type) {
    switch (type) {
    case TYPE_BYTE:
    case TYPE_SBYTE:
    case TYPE_ASCII:
    case TYPE_UNDEFINED:
    case TYPE_SHORT:
    case TYPE_SSHORT:
    case TYPE_LONG:
    case TYPE_SLONG:
    case TYPE_IFD:
    case TYPE_LONG8:
    case TYPE_SLONG8:
    case TYPE_IFD8: return true;
    default: return false;
    }
}

bool rationalToFloat(TIFFHandle* h, const TIFFDirEntry* e, const uint32_t* pair, bool isSigned,
                     float* out) {
    if (pair[1] == 0) {
        errorExt(h, h->fileName, "%s: Rational with zero denominator (num = %lu)", tagName(h, e->tag),
                 (unsigned long)pair[0]);
        return false;
    }
    if (isSigned)
        *out = float(double(int32_t(pair[0])) / double(int32_t(pair[1])));
    else
        *out = float(double(pair[0]) / double(pair[1]));
    return true;
}

// Element i of raw values of `type` as a double; false on a zero denominator
// or a type that has no numeric value.
bool elementAsDouble(TIFFHandle* h, const TIFFDirEntry* e, const uint8_t* raw, size_t i, double* out) {
    switch (e->type) {
    case TYPE_BYTE: *out = raw[i]; return true;
    case TYPE_SBYTE: *out = int8_t(raw[i]); return true;
    case TYPE_SHORT: *out = reinterpret_cast<const uint16_t*>(raw)[i]; return true;
    case TYPE_SSHORT: *out = reinterpret_cast<const int16_t*>(raw)[i]; return true;
    case TYPE_LONG:
    case TYPE_IFD: *out = reinterpret_cast<const uint32_t*>(raw)[i]; return true;
    case TYPE_SLONG: *out = reinterpret_cast<const int32_t*>(raw)[i]; return true;
    case TYPE_RATIONAL:
    case TYPE_SRATIONAL: {
        float f;
        if (!rationalToFloat(h, e, reinterpret_cast<const uint32_t*>(raw) + 2 * i,
                             e->type == TYPE_SRATIONAL, &f))
            return false;
        *out = f;
        return true;
    }
    case TYPE_FLOAT: *out = reinterpret_cast<const float*>(raw)[i]; return true;
    case TYPE_DOUBLE: *out = reinterpret_cast<const double*>(raw)[i]; return true;
    default:
        errorExt(h, h->fileName, "cannot read TIFF_ANY type %d for field \"%s\"", int(e->type),
                 tagName(h, e->tag));
        return false;
    }
}

// Element i of raw integer values, zero-extended to 64 bits.
uint64_t elementAsU64(const TIFFDirEntry* e, const uint8_t* raw, size_t i) {
    switch (TIFFTypeWidth(e->type)) {
    case 1: return raw[i];
    case 2: return reinterpret_cast<const uint16_t*>(raw)[i];
    case 4: return reinterpret_cast<const uint32_t*>(raw)[i];
    default: return reinterpret_cast<const uint64_t*>(raw)[i];
    }
}

// Raw values converted into the in-memory layout of `type`.
uint8_t* convertValues(TIFFHandle* h, const TIFFDirEntry* e, uint8_t* raw, uint32_t n, uint32_t type) {
    int size = typeStorageSize(type);
    if (size == 0) return nullptr;
    auto* out = static_cast<uint8_t*>(TIFFCheckedMalloc(h, n, size_t(size) + 0, "to fetch tag value"));
    if (!out) return nullptr;
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t* dst = out + size_t(i) * size;
        if (isIntegerType(e->type) && isIntegerType(type)) {
            uint64_t v = elementAsU64(e, raw, i);
            memCopy(dst, &v, size_t(size)); // little-endian: the low bytes
            continue;
        }
        double v;
        if (!isIntegerType(e->type)) {
            if (!elementAsDouble(h, e, raw, i, &v)) {
                // A single rational that cannot be converted reads as 1.0.
                bool rational = e->type == TYPE_RATIONAL || e->type == TYPE_SRATIONAL;
                if (!(rational && n == 1)) {
                    memFree(out);
                    return nullptr;
                }
                v = 1.0;
            }
        } else {
            v = double(elementAsU64(e, raw, i));
        }
        switch (type) {
        case TYPE_RATIONAL:
        case TYPE_SRATIONAL:
        case TYPE_FLOAT: {
            float f = float(v);
            memCopy(dst, &f, 4);
            break;
        }
        case TYPE_DOUBLE: memCopy(dst, &v, 8); break;
        default: {
            uint64_t u = (v > 0 && v < 1.8e19) ? uint64_t(v) : uint64_t(int64_t(std::isfinite(v) ? v : 0));
            memCopy(dst, &u, size_t(size));
            break;
        }
        }
    }
    return out;
}

} // namespace

int checkEntryCount(TIFFHandle* h, TIFFDirEntry* e, uint64_t expected) {
    uint64_t c = entryCount32(e);
    if (c < expected) {
        warningExt(h, h->fileName, "incorrect count for field \"%s\" (%lu, expecting %lu); tag ignored",
                   tagName(h, e->tag), (unsigned long)c, (unsigned long)expected);
        return 0;
    }
    if (c > expected) {
        warningExt(h, h->fileName, "incorrect count for field \"%s\" (%lu, expecting %lu); tag trimmed",
                   tagName(h, e->tag), (unsigned long)c, (unsigned long)expected);
        e->count = expected;
    }
    return 1;
}

int fetchNormalTag(TIFFHandle* h, TIFFDirEntry* e) {
    const TIFFTagDef* def = findTagDef(h, e->tag, e->type);
    if (!def) def = findTagDef(h, e->tag, TYPE_ANY);
    if (!def) return 0;
    if (TIFFTypeWidth(e->type) == 0 || e->type == TYPE_NOTYPE) return 0;
    if (entryCount32(e) <= 1 && !checkEntryCount(h, e, 1)) return 0;
    const uint32_t n = entryCount32(e);

    // Custom values are stored in the layout of the tag's own definition, so
    // values of another type in the file are converted to it.
    const TIFFTagDef* setterDef = findTagDef(h, e->tag, TYPE_ANY);
    uint32_t type = e->type;
    if (setterDef && setterDef->fieldBit == FIELD_CUSTOM && setterDef->type != TYPE_NOTYPE)
        type = setterDef->type;
    if (e->tag == TAG_ExtraSamples) type = TYPE_SHORT; // kinds are 16-bit whatever the file holds
    bool textual = type == TYPE_ASCII || type == TYPE_UNDEFINED;
    if (textual && e->type != TYPE_ASCII && e->type != TYPE_UNDEFINED && e->type != TYPE_BYTE &&
        e->type != TYPE_SBYTE)
        return 0;

    uint8_t* raw = fetchRaw(h, e, "to fetch tag value", textual ? 1 : 0);
    if (!raw) return 0;
    uint8_t* values = raw;
    bool sameLayout = type == e->type || (textual && TIFFTypeWidth(e->type) == 1) ||
                      ((type == TYPE_BYTE || type == TYPE_SBYTE) && TIFFTypeWidth(e->type) == 1);
    if (!sameLayout || type == TYPE_RATIONAL || type == TYPE_SRATIONAL) {
        values = convertValues(h, e, raw, n, type);
        memFree(raw);
        if (!values) return 0;
    }
    int ok = 0;
    const bool pass = def->passCount;
    if (textual) {
        ok = pass ? TIFFSetField(h, e->tag, uint32_t(n), values) : TIFFSetField(h, e->tag, values);
    } else if (n > 1 || pass) {
        ok = pass ? TIFFSetField(h, e->tag, uint32_t(n), values) : TIFFSetField(h, e->tag, values);
    } else {
        switch (type) {
        case TYPE_SHORT: ok = TIFFSetField(h, e->tag, int(*reinterpret_cast<uint16_t*>(values))); break;
        case TYPE_SSHORT: ok = TIFFSetField(h, e->tag, uint32_t(*reinterpret_cast<uint16_t*>(values))); break;
        case TYPE_BYTE:
        case TYPE_SBYTE: ok = TIFFSetField(h, e->tag, uint32_t(values[0])); break;
        case TYPE_LONG:
        case TYPE_SLONG:
        case TYPE_IFD: ok = TIFFSetField(h, e->tag, *reinterpret_cast<uint32_t*>(values)); break;
        case TYPE_RATIONAL:
        case TYPE_SRATIONAL:
        case TYPE_FLOAT: ok = TIFFSetField(h, e->tag, double(*reinterpret_cast<float*>(values))); break;
        case TYPE_DOUBLE: ok = TIFFSetField(h, e->tag, *reinterpret_cast<double*>(values)); break;
        case TYPE_LONG8:
        case TYPE_SLONG8:
        case TYPE_IFD8: ok = TIFFSetField(h, e->tag, *reinterpret_cast<uint64_t*>(values)); break;
        default: ok = 0; break;
        }
    }
    memFree(values);
    return ok;
}

namespace {

template <typename T, typename Get>
int fetchPerSample(TIFFHandle* h, TIFFDirEntry* e, T* out, Get get) {
    uint16_t spp = h->dir.samplesPerPixel;
    if (!checkEntryCount(h, e, spp)) return 0;
    uint8_t* raw = fetchRaw(h, e, "to fetch per-sample values");
    if (!raw) return 0;
    uint32_t n = entryCount32(e);
    if (n > spp) n = spp;
    T first{};
    int ok = 1;
    for (uint32_t i = 0; i < n && ok; ++i) {
        T v{};
        if (!get(raw, i, &v)) {
            ok = 0;
            break;
        }
        if (i == 0)
            first = v;
        else if (v != first) {
            errorExt(h, h->fileName, "Cannot handle different per-sample values for field \"%s\"",
                     tagName(h, e->tag));
            ok = 0;
        }
    }
    memFree(raw);
    if (ok) *out = first;
    return ok;
}

} // namespace

int fetchPerSampleShorts(TIFFHandle* h, TIFFDirEntry* e, uint16_t* out) {
    if (!isIntegerType(e->type)) return 0;
    return fetchPerSample(h, e, out, [&](const uint8_t* raw, uint32_t i, uint16_t* v) {
        *v = uint16_t(elementAsU64(e, raw, i));
        return true;
    });
}

int fetchPerSampleLongs(TIFFHandle* h, TIFFDirEntry* e, uint32_t* out) {
    if (!isIntegerType(e->type)) return 0;
    return fetchPerSample(h, e, out, [&](const uint8_t* raw, uint32_t i, uint32_t* v) {
        *v = uint32_t(elementAsU64(e, raw, i));
        return true;
    });
}

int fetchPerSampleAnys(TIFFHandle* h, TIFFDirEntry* e, double* out) {
    return fetchPerSample(h, e, out, [&](const uint8_t* raw, uint32_t i, double* v) {
        return elementAsDouble(h, e, raw, i, v);
    });
}

int fetchStripArray(TIFFHandle* h, TIFFDirEntry* e, uint32_t nstrips, uint64_t** array, bool offsets) {
    checkEntryCount(h, e, nstrips); // only the warning matters here
    if (!*array) {
        *array = static_cast<uint64_t*>(TIFFCheckedMalloc(
            h, nstrips, sizeof(uint64_t),
            offsets ? "for strip/tile offset array" : "for strip/tile byte count array"));
        if (!*array) return 0;
    }
    if (!isIntegerType(e->type)) return 0;
    const char* label = e->type == TYPE_LONG8 ? (offsets ? "64-bit offset array" : "64-bit byte count array")
                        : e->type == TYPE_LONG ? (offsets ? "32-bit offset array" : "32-bit byte count array")
                                                : (offsets ? "16-bit offset array" : "16-bit byte count array");
    uint8_t* raw = fetchRaw(h, e, label);
    if (!raw) return 0;
    uint32_t n = entryCount32(e);
    if (n > nstrips) n = nstrips;
    for (uint32_t i = 0; i < n; ++i) (*array)[i] = elementAsU64(e, raw, i);
    for (uint32_t i = n; i < nstrips; ++i) (*array)[i] = 0;
    memFree(raw);
    return 1;
}

int fetchShortPair(TIFFHandle* h, TIFFDirEntry* e) {
    if (entryCount32(e) < 2) return 0;
    switch (e->type) {
    case TYPE_BYTE:
    case TYPE_SBYTE:
    case TYPE_SHORT:
    case TYPE_SSHORT: {
        uint8_t* raw = fetchRaw(h, e, "to fetch tag value");
        if (!raw) return 0;
        int a = int(elementAsU64(e, raw, 0));
        int b = int(elementAsU64(e, raw, 1));
        memFree(raw);
        return TIFFSetField(h, e->tag, a, b);
    }
    default: return 0;
    }
}

int fetchRefBlackWhite(TIFFHandle* h, TIFFDirEntry* e) {
    if (e->type == TYPE_RATIONAL) return fetchNormalTag(h, e);
    if (!isIntegerType(e->type)) return 0;
    uint8_t* raw = fetchRaw(h, e, "for \"ReferenceBlackWhite\" array");
    if (!raw) return 0;
    uint32_t n = entryCount32(e);
    auto* floats = static_cast<float*>(TIFFCheckedMalloc(h, n, sizeof(float), "for \"ReferenceBlackWhite\" array"));
    int ok = 0;
    if (floats) {
        for (uint32_t i = 0; i < n; ++i) floats[i] = float(elementAsU64(e, raw, i));
        ok = TIFFSetField(h, e->tag, floats);
    }
    memFree(floats);
    memFree(raw);
    return ok;
}

int fetchShortArray(TIFFHandle* h, const TIFFDirEntry* e, uint16_t* dest) {
    if (!isIntegerType(e->type)) return 0;
    uint8_t* raw = fetchRaw(h, e, "to fetch tag value");
    if (!raw) return 0;
    for (uint32_t i = 0; i < entryCount32(e); ++i) dest[i] = uint16_t(elementAsU64(e, raw, i));
    memFree(raw);
    return 1;
}

int fetchLongArray(TIFFHandle* h, const TIFFDirEntry* e, uint32_t* dest) {
    if (!isIntegerType(e->type)) return 0;
    uint8_t* raw = fetchRaw(h, e, "to fetch tag value");
    if (!raw) return 0;
    for (uint32_t i = 0; i < entryCount32(e); ++i) dest[i] = uint32_t(elementAsU64(e, raw, i));
    memFree(raw);
    return 1;
}

int fetchLong8Array(TIFFHandle* h, const TIFFDirEntry* e, uint64_t* dest) {
    if (!isIntegerType(e->type)) return 0;
    uint8_t* raw = fetchRaw(h, e, "to fetch tag value");
    if (!raw) return 0;
    for (uint32_t i = 0; i < entryCount32(e); ++i) dest[i] = elementAsU64(e, raw, i);
    memFree(raw);
    return 1;
}

} // namespace vqtiff
