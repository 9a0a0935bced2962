// Directory writing: the current directory record becomes an image file
// directory in the classic or the BigTIFF form, placed at the end of the file
// and linked into the directory chain (or into its parent's SubIFD slots).
// A classic directory that would reach past 4 GiB turns the file into
// BigTIFF first (tiff_promote.cpp) and is then written in the BigTIFF form.
#include "tiff/vqtiff_internal.h"

#include <cmath>
#include <cstring>

namespace vqtiff {

// ---- positioned input and output shared with the promotion ----

bool readAt(TIFFHandle* h, uint64_t position, void* data, int64_t n) {
    return seekFile(h, position, 0) == position && readFile(h, data, n) == n;
}

bool writeAt(TIFFHandle* h, uint64_t position, const void* data, int64_t n) {
    return seekFile(h, position, 0) == position && writeFile(h, data, n) == n;
}

bool writeLinkAt(TIFFHandle* h, uint64_t position, uint64_t value, bool big) {
    if (big) {
        if (h->flags & FLAG_SWAB) swapLong8(&value);
        return writeAt(h, position, &value, 8);
    }
    uint32_t v32 = uint32_t(value);
    if (h->flags & FLAG_SWAB) swapLong(&v32);
    return writeAt(h, position, &v32, 4);
}

int writeHeaderRecord(TIFFHandle* h) {
    uint8_t bytes[16] = {};
    const TIFFHeader& hd = h->header;
    const bool swab = (h->flags & FLAG_SWAB) != 0;
    memCopy(bytes, &hd.magic, 2);
    uint16_t version = hd.version;
    if (swab) swapShort(&version);
    memCopy(bytes + 2, &version, 2);
    if (hd.version == VERSION_BIG) {
        uint16_t size = hd.u.big.offsetSize, reserved = hd.u.big.reserved;
        uint64_t first = hd.bigDirOffset;
        if (swab) {
            swapShort(&size);
            swapShort(&reserved);
            swapLong8(&first);
        }
        memCopy(bytes + 4, &size, 2);
        memCopy(bytes + 6, &reserved, 2);
        memCopy(bytes + 8, &first, 8);
    } else {
        uint32_t first = hd.u.classicDirOffset;
        if (swab) swapLong(&first);
        memCopy(bytes + 4, &first, 4);
    }
    return writeAt(h, 0, bytes, 16) ? 1 : 0;
}

namespace {

constexpr uint64_t kFourGiB = uint64_t(1) << 32;

uint64_t roundEven(uint64_t v) { return v + (v & 1); }

// One entry as it will be written; the inline value is already in the
// file's byte order, everything else in host order.
struct BuiltEntry {
    uint16_t tag;
    uint16_t type;
    uint64_t count;
    uint8_t value[8];
    bool outOfLine;
    uint64_t offset;
};

// Swaps one element of a type into the other byte order.
void swapElements(uint32_t type, uint8_t* data, uint64_t count) {
    switch (type) {
    case TYPE_SHORT:
    case TYPE_SSHORT: swapShortArray(reinterpret_cast<uint16_t*>(data), size_t(count)); break;
    case TYPE_LONG:
    case TYPE_SLONG:
    case TYPE_FLOAT:
    case TYPE_IFD: swapLongArray(reinterpret_cast<uint32_t*>(data), size_t(count)); break;
    case TYPE_RATIONAL:
    case TYPE_SRATIONAL: swapLongArray(reinterpret_cast<uint32_t*>(data), size_t(count) * 2); break;
    case TYPE_DOUBLE:
    case TYPE_LONG8:
    case TYPE_SLONG8:
    case TYPE_IFD8: swapLong8Array(reinterpret_cast<uint64_t*>(data), size_t(count)); break;
    default: break;
    }
}

const char* tagName(TIFFHandle* h, uint32_t tag) {
    const TIFFTagDef* def = findTagDef(h, tag, TYPE_ANY);
    return def ? def->name : "unknown";
}

class DirectoryBuilder {
public:
    DirectoryBuilder(TIFFHandle* h, BuiltEntry* entries, uint32_t capacity)
        : h_(h), big_(isBigTiff(h)), entries_(entries), capacity_(capacity) {}

    uint32_t built() const { return count_; }
    bool overflowed() const { return overflowed_; }

    BuiltEntry* add(uint16_t tag, uint16_t type, uint64_t count) {
        if (count_ == capacity_) {
            overflowed_ = true;
            return nullptr;
        }
        BuiltEntry* e = &entries_[count_++];
        memFill(e, 0, sizeof(*e));
        e->tag = tag;
        e->type = type;
        e->count = count;
        return e;
    }

    // Values in host order; stored in the value field when they fit, else
    // at the data position.
    bool putArray(uint16_t tag, uint16_t type, uint64_t count, const void* values) {
        BuiltEntry* e = add(tag, type, count);
        if (!e) return false;
        return storeValues(e, values);
    }

    bool storeValues(BuiltEntry* e, const void* values) {
        const uint64_t width = uint64_t(TIFFTypeWidth(e->type));
        const uint64_t total = e->count * width;
        if (total <= (big_ ? 8u : 4u)) {
            if (total) memCopy(e->value, values, size_t(total));
            if (h_->flags & FLAG_SWAB) swapElements(e->type, e->value, e->count);
            return true;
        }
        return putEntryData(e, values, total);
    }

    // Writes the values out of line at the data position.
    bool putEntryData(BuiltEntry* e, const void* values, uint64_t total) {
        const uint8_t* data = static_cast<const uint8_t*>(values);
        uint8_t* swapped = nullptr;
        if (h_->flags & FLAG_SWAB) {
            swapped = static_cast<uint8_t*>(memAlloc(size_t(total)));
            if (!swapped) {
                errorExt(h_, h_->fileName, "Error writing data for field \"%s\" (%d)", tagName(h_, e->tag),
                         osError(h_));
                return false;
            }
            memCopy(swapped, data, size_t(total));
            swapElements(e->type, swapped, e->count);
            data = swapped;
        }
        e->outOfLine = true;
        e->offset = h_->dataOffset;
        bool ok = writeAt(h_, h_->dataOffset, data, int64_t(total));
        memFree(swapped);
        if (!ok) {
            errorExt(h_, h_->fileName, "Error writing data for field \"%s\" (%d)", tagName(h_, e->tag),
                     osError(h_));
            return false;
        }
        h_->dataOffset += roundEven(total);
        return true;
    }

    bool putShortOrLong(uint16_t tag, uint32_t value) {
        if (value < 65536) {
            uint16_t v = uint16_t(value);
            return putArray(tag, TYPE_SHORT, 1, &v);
        }
        return putArray(tag, TYPE_LONG, 1, &value);
    }

    bool putPerSampleShorts(uint16_t tag, uint16_t value) {
        const uint16_t n = h_->dir.samplesPerPixel;
        uint16_t local[10];
        uint16_t* v = n <= 10 ? local : static_cast<uint16_t*>(memAlloc(size_t(n) * 2));
        if (!v) {
            errorExt(h_, h_->fileName, "No space to write per-sample shorts");
            return false;
        }
        for (uint16_t i = 0; i < n; ++i) v[i] = value;
        bool ok = putArray(tag, TYPE_SHORT, n, v);
        if (v != local) memFree(v);
        return ok;
    }

    bool putPerSampleValues(uint32_t type, uint16_t tag, double value) {
        const uint16_t n = h_->dir.samplesPerPixel;
        double local[10];
        double* v = n <= 10 ? local : static_cast<double*>(memAlloc(size_t(n) * 8));
        if (!v) {
            errorExt(h_, h_->fileName, "No space to write per-sample values");
            return false;
        }
        for (uint16_t i = 0; i < n; ++i) v[i] = value;
        bool ok = putAnyArray(type, tag, n, v);
        if (v != local) memFree(v);
        return ok;
    }

    bool putAnyArray(uint32_t type, uint16_t tag, uint32_t n, const double* v) {
        const int width = TIFFTypeWidth(type);
        if (width == 0) return false;
        uint8_t local[80];
        size_t bytes = size_t(n) * size_t(width);
        uint8_t* out = bytes <= sizeof(local) ? local : static_cast<uint8_t*>(memAlloc(bytes));
        if (!out) {
            errorExt(h_, h_->fileName, "No space to write array");
            return false;
        }
        bool ok = true;
        for (uint32_t i = 0; i < n && ok; ++i) {
            uint8_t* p = out + size_t(i) * size_t(width);
            switch (type) {
            case TYPE_BYTE: *p = uint8_t(v[i]); break;
            case TYPE_SBYTE: *p = uint8_t(int8_t(v[i])); break;
            case TYPE_SHORT: { uint16_t x = uint16_t(v[i]); memCopy(p, &x, 2); break; }
            case TYPE_SSHORT: { int16_t x = int16_t(v[i]); memCopy(p, &x, 2); break; }
            case TYPE_LONG: { uint32_t x = uint32_t(v[i]); memCopy(p, &x, 4); break; }
            case TYPE_SLONG: { int32_t x = int32_t(v[i]); memCopy(p, &x, 4); break; }
            case TYPE_FLOAT: { float x = float(v[i]); memCopy(p, &x, 4); break; }
            case TYPE_DOUBLE: memCopy(p, &v[i], 8); break;
            default: ok = false; break;
            }
        }
        if (ok) ok = putArray(tag, uint16_t(type), n, out);
        if (out != local) memFree(out);
        return ok;
    }

    bool putShortPair(uint16_t tag, const uint16_t* pair) {
        uint16_t v[2] = {pair[0], pair[1]};
        return putArray(tag, TYPE_SHORT, 2, v);
    }

    // n tables of 2^BitsPerSample entries, one after the other.
    bool putShortTables(uint16_t tag, int n, uint16_t* const* tables) {
        if (h_->dir.bitsPerSample >= 24) return false;
        const size_t entries = size_t(1) << h_->dir.bitsPerSample;
        uint16_t* all = static_cast<uint16_t*>(memAlloc(entries * size_t(n) * 2));
        if (!all) {
            errorExt(h_, h_->fileName, "No space to write %s", tagName(h_, tag));
            return false;
        }
        bool ok = true;
        for (int i = 0; i < n && ok; ++i) {
            if (!tables[i]) ok = false;
            else memCopy(all + size_t(i) * entries, tables[i], entries * 2);
        }
        if (ok) ok = putArray(tag, TYPE_SHORT, uint64_t(n) * entries, all);
        memFree(all);
        return ok;
    }

    bool putTransferFunction() {
        const TIFFDirRecord& d = h_->dir;
        const uint64_t bytes = (uint64_t(1) << (d.bitsPerSample & 31)) * 2;
        auto differ = [&](int a, int b) {
            return d.transferFunction[b] && memCompare(d.transferFunction[a], d.transferFunction[b], size_t(bytes)) != 0;
        };
        int colour = int(d.samplesPerPixel) - int(d.extraSamples);
        int n;
        if (colour <= 1)
            n = 1;
        else if (colour == 2)
            n = differ(0, 1) ? 3 : 1;
        else
            n = differ(0, 2) ? 3 : (differ(0, 1) ? 3 : 1);
        return putShortTables(TAG_TransferFunction, n, d.transferFunction);
    }

    bool putRationals(uint16_t tag, uint16_t type, uint64_t count, const float* values) {
        uint32_t* pairs = static_cast<uint32_t*>(memAlloc(size_t(count) * 8 + 8));
        if (!pairs) {
            errorExt(h_, h_->fileName, "No space to write RATIONAL array");
            return false;
        }
        for (uint64_t i = 0; i < count; ++i) toRational(tag, type, values[i], &pairs[2 * i], &pairs[2 * i + 1]);
        bool ok = putArray(tag, type, count, pairs);
        memFree(pairs);
        return ok;
    }

    // The numerator and denominator of v: the denominator grows by factors
    // of 8 while both stay below 2^28; numerators beyond 32 bits are
    // clamped rather than wrapped.
    void toRational(uint16_t tag, uint16_t type, float v, uint32_t* num, uint32_t* den) {
        int sign = 1;
        if (v < 0) {
            if (type == TYPE_RATIONAL) {
                warningExt(h_, h_->fileName, "\"%s\": Information lost writing value (%g) as (unsigned) RATIONAL",
                           tagName(h_, tag), double(v));
                v = 0;
            } else {
                v = -v;
                sign = -1;
            }
        }
        uint32_t d = 1;
        if (v > 0) {
            while (v < float(1 << 28) && d < (1u << 28)) {
                v *= 8;
                d *= 8;
            }
        }
        double n = double(v) + 0.5;
        if (type == TYPE_SRATIONAL) {
            int32_t s = n >= 2147483647.0 ? 2147483647 : int32_t(n);
            *num = uint32_t(sign * s);
        } else {
            *num = n >= 4294967295.0 ? 0xFFFFFFFFu : uint32_t(n);
        }
        *den = d;
    }

    bool putSubIfd() {
        const TIFFDirRecord& d = h_->dir;
        const uint16_t n = d.nSubIfd;
        const uint32_t index = count_;
        const uint16_t type = big_ ? uint16_t(TYPE_IFD8) : uint16_t(TYPE_LONG);
        BuiltEntry* e = add(TAG_SubIFD, type, n);
        if (!e) return false;
        if (n == 0) return true;
        h_->flags |= FLAG_INSUBIFD;
        h_->pendingSubIfds = n;
        const size_t width = big_ ? 8 : 4;
        void* zeros = memAlloc(size_t(n) * width);
        if (!zeros) {
            errorExt(h_, h_->fileName, "Allocate SubIFD offset array");
            return false;
        }
        memFill(zeros, 0, size_t(n) * width);
        if (n > 1) h_->subIfdLinkOffset = h_->dataOffset;
        else if (big_)
            h_->subIfdLinkOffset = h_->dirOffset + 8 + 20 * uint64_t(index) + 12;
        else
            h_->subIfdLinkOffset = h_->dirOffset + 2 + 12 * uint64_t(index) + 8;
        bool ok = storeValues(e, zeros);
        memFree(zeros);
        return ok;
    }

    bool putStripArray(bool offsets) {
        const TIFFDirRecord& d = h_->dir;
        const uint16_t tag = isTiled(h_) ? (offsets ? TAG_TileOffsets : TAG_TileByteCounts)
                                         : (offsets ? TAG_StripOffsets : TAG_StripByteCounts);
        const uint64_t* values = offsets ? d.stripOffset : d.stripByteCount;
        const uint32_t n = d.nStrips;
        if (big_) return putArray(tag, TYPE_LONG8, n, values);
        // Classic files hold 32-bit values; larger ones promote the file
        // before anything is built, so nothing is cut here.
        uint32_t* low = n ? static_cast<uint32_t*>(memAlloc(size_t(n) * 4)) : nullptr;
        if (n && !low) {
            errorExt(h_, h_->fileName, "No space for 32-bit offset array");
            return false;
        }
        for (uint32_t i = 0; i < n; ++i) low[i] = uint32_t(values[i]);
        bool ok = putArray(tag, TYPE_LONG, n, low);
        memFree(low);
        return ok;
    }

    // A tag whose value lives in a codec or in the record's plain fields,
    // fetched through the get hooks.
    bool prepareTagEntry(const TIFFTagDef* def) {
        const uint16_t tag = uint16_t(def->tag);
        const uint16_t type = uint16_t(def->type);
        const bool countedUndefined =
            type == TYPE_UNDEFINED && (def->writeCount == VARIABLE_COUNT || def->writeCount == VARIABLE32_COUNT);
        if (def->passCount || countedUndefined) {
            void* values = nullptr;
            uint64_t count;
            if (def->writeCount == VARIABLE32_COUNT) {
                uint32_t c = 0;
                if (!TIFFQueryField(h_, def->tag, &c, &values)) return false;
                count = c;
            } else {
                uint16_t c = 0;
                if (!TIFFQueryField(h_, def->tag, &c, &values)) return false;
                count = c;
            }
            return putTyped(tag, type, count, values);
        }
        if (type == TYPE_ASCII) {
            char* text = nullptr;
            if (!TIFFQueryField(h_, def->tag, &text) || !text) return false;
            return putArray(tag, type, std::strlen(text) + 1, text);
        }
        if (def->writeCount == 1) {
            uint64_t single = 0;
            if (!TIFFQueryField(h_, def->tag, &single)) return false;
            return putTyped(tag, type, 1, &single);
        }
        void* values = nullptr;
        if (!TIFFQueryField(h_, def->tag, &values)) return false;
        uint64_t count = def->writeCount == SPP_COUNT ? h_->dir.samplesPerPixel
                                                      : uint64_t(def->writeCount < 0 ? 1 : def->writeCount);
        return putTyped(tag, type, count, values);
    }

    // Values as the directory record holds them (rationals as floats); an
    // entry of an unknown type keeps its tag, type and count only.
    bool putTyped(uint16_t tag, uint16_t type, uint64_t count, const void* values) {
        if (type == TYPE_RATIONAL || type == TYPE_SRATIONAL)
            return putRationals(tag, type, count, static_cast<const float*>(values));
        if (type == TYPE_NOTYPE || TIFFTypeWidth(type) == 0) return add(tag, type, count) != nullptr;
        if (count && !values) return false;
        return putArray(tag, type, count, values);
    }

    bool putCustom(const TIFFCustomValue& cv) {
        return putTyped(uint16_t(cv.def->tag), uint16_t(cv.def->type), cv.count, cv.value);
    }

private:
    TIFFHandle* h_;
    bool big_;
    BuiltEntry* entries_;
    uint32_t capacity_;
    uint32_t count_ = 0;
    bool overflowed_ = false;
};

bool bitIn(const uint32_t* set, unsigned bit) { return (set[bit / 32] >> (bit % 32)) & 1u; }
void clearBitIn(uint32_t* set, unsigned bit) { set[bit / 32] &= ~(1u << (bit % 32)); }

// Counts the entries of the current directory and copies its set-bits.
uint32_t countEntries(TIFFHandle* h, uint32_t* set) {
    memCopy(set, h->dir.fieldsSet, sizeof(h->dir.fieldsSet));
    uint32_t n = 0;
    for (unsigned bit = 0; bit < FIELD_SETLONGS * 32; ++bit) {
        if (bit == FIELD_CUSTOM || !bitIn(set, bit)) continue;
        n += (bit >= FIELD_IMAGEDIMENSIONS && bit <= FIELD_POSITION) ? 2 : 1;
    }
    n += h->dir.customValueCount;
    if (bitIn(set, FIELD_EXTRASAMPLES) && h->dir.extraSamples == 0) {
        clearBitIn(set, FIELD_EXTRASAMPLES);
        --n;
    }
    return n;
}

bool buildEntry(TIFFHandle* h, DirectoryBuilder& b, const TIFFTagDef* def) {
    const TIFFDirRecord& d = h->dir;
    switch (def->fieldBit) {
    case FIELD_IMAGEDIMENSIONS:
        return b.putShortOrLong(TAG_ImageWidth, d.imageWidth) && b.putShortOrLong(TAG_ImageLength, d.imageLength);
    case FIELD_TILEDIMENSIONS:
        return b.putShortOrLong(TAG_TileWidth, d.tileWidth) && b.putShortOrLong(TAG_TileLength, d.tileLength);
    case FIELD_RESOLUTION:
        return b.putRationals(TAG_XResolution, TYPE_RATIONAL, 1, &d.xResolution) &&
               b.putRationals(TAG_YResolution, TYPE_RATIONAL, 1, &d.yResolution);
    case FIELD_POSITION:
        return b.putRationals(TAG_XPosition, TYPE_RATIONAL, 1, &d.xPosition) &&
               b.putRationals(TAG_YPosition, TYPE_RATIONAL, 1, &d.yPosition);
    case FIELD_BITSPERSAMPLE: return b.putPerSampleShorts(TAG_BitsPerSample, d.bitsPerSample);
    case FIELD_MINSAMPLEVALUE: return b.putPerSampleShorts(TAG_MinSampleValue, d.minSampleValue);
    case FIELD_MAXSAMPLEVALUE: return b.putPerSampleShorts(TAG_MaxSampleValue, d.maxSampleValue);
    case FIELD_SAMPLEFORMAT: return b.putPerSampleShorts(TAG_SampleFormat, d.sampleFormat);
    case FIELD_COMPRESSION: {
        uint16_t v = d.compression;
        return b.putArray(TAG_Compression, TYPE_SHORT, 1, &v);
    }
    case FIELD_PHOTOMETRIC: {
        uint16_t v = d.photometric;
        return b.putArray(TAG_PhotometricInterpretation, TYPE_SHORT, 1, &v);
    }
    case FIELD_ROWSPERSTRIP: return b.putShortOrLong(TAG_RowsPerStrip, d.rowsPerStrip);
    // Pairs straight from the record: the JPEG codec's hook for
    // YCbCrSubsampling answers readers of JPEG data, not the writer.
    case FIELD_PAGENUMBER: return b.putShortPair(TAG_PageNumber, d.pageNumber);
    case FIELD_HALFTONEHINTS: return b.putShortPair(TAG_HalftoneHints, d.halftoneHints);
    case FIELD_YCBCRSUBSAMPLING: return b.putShortPair(TAG_YCbCrSubsampling, d.ycbcrSubsampling);
    case FIELD_STRIPBYTECOUNTS: return b.putStripArray(false);
    case FIELD_STRIPOFFSETS: return b.putStripArray(true);
    case FIELD_COLORMAP: return b.putShortTables(TAG_ColorMap, 3, d.colorMap);
    case FIELD_SMINSAMPLEVALUE: return b.putPerSampleValues(sampleValueType(h), TAG_SMinSampleValue, d.sMinSampleValue);
    case FIELD_SMAXSAMPLEVALUE: return b.putPerSampleValues(sampleValueType(h), TAG_SMaxSampleValue, d.sMaxSampleValue);
    case FIELD_TRANSFERFUNCTION: return b.putTransferFunction();
    case FIELD_INKNAMES: return b.putArray(TAG_InkNames, TYPE_ASCII, d.inkNamesLength, d.inkNames);
    case FIELD_SUBIFD: return b.putSubIfd();
    default: return b.prepareTagEntry(def);
    }
}

// Builds every entry: definitions in sorted order, so entries come out by
// ascending tag, each tag once (from its first definition).
bool buildEntries(TIFFHandle* h, DirectoryBuilder& b, uint32_t* set) {
    for (size_t i = 0; i < h->tagDefCount; ++i) {
        const TIFFTagDef* def = h->tagDefs[i];
        if (def->fieldBit == FIELD_CUSTOM) {
            for (uint32_t k = 0; k < h->dir.customValueCount; ++k) {
                if (h->dir.customValues[k].def != def) continue;
                if (!b.putCustom(h->dir.customValues[k])) return false;
                break;
            }
            continue;
        }
        if (def->fieldBit == FIELD_IGNORE || !bitIn(set, def->fieldBit)) continue;
        if (def->fieldBit == FIELD_STRIPBYTECOUNTS &&
            def->tag != (isTiled(h) ? TAG_TileByteCounts : TAG_StripByteCounts))
            continue;
        if (def->fieldBit == FIELD_STRIPOFFSETS && def->tag != (isTiled(h) ? TAG_TileOffsets : TAG_StripOffsets))
            continue;
        if (!buildEntry(h, b, def)) return false;
        clearBitIn(set, def->fieldBit);
    }
    return true;
}

// True when a classic directory cannot hold the strip arrays as they are.
bool stripArraysNeedBigTiff(const TIFFHandle* h) {
    const TIFFDirRecord& d = h->dir;
    for (uint32_t i = 0; i < d.nStrips; ++i) {
        if (d.stripOffset && d.stripOffset[i] >= kFourGiB) return true;
        if (d.stripByteCount && d.stripByteCount[i] >= kFourGiB) return true;
    }
    return false;
}

bool writeBuiltDirectory(TIFFHandle* h, const BuiltEntry* entries, uint32_t n) {
    const bool big = isBigTiff(h);
    const bool swab = (h->flags & FLAG_SWAB) != 0;
    const size_t entrySize = big ? 20 : 12;
    uint8_t* block = static_cast<uint8_t*>(memAlloc(size_t(n) * entrySize + 1));
    if (!block) {
        errorExt(h, h->fileName, "Cannot write directory, out of space");
        return false;
    }
    for (uint32_t i = 0; i < n; ++i) {
        const BuiltEntry& e = entries[i];
        uint8_t* p = block + size_t(i) * entrySize;
        uint16_t tag = e.tag, type = e.type;
        if (swab) {
            swapShort(&tag);
            swapShort(&type);
        }
        memCopy(p, &tag, 2);
        memCopy(p + 2, &type, 2);
        if (big) {
            uint64_t count = e.count;
            if (swab) swapLong8(&count);
            memCopy(p + 4, &count, 8);
            if (e.outOfLine) {
                uint64_t off = e.offset;
                if (swab) swapLong8(&off);
                memCopy(p + 12, &off, 8);
            } else {
                memCopy(p + 12, e.value, 8);
            }
        } else {
            uint32_t count = uint32_t(e.count);
            if (swab) swapLong(&count);
            memCopy(p + 4, &count, 4);
            if (e.outOfLine) {
                uint32_t off = uint32_t(e.offset);
                if (swab) swapLong(&off);
                memCopy(p + 8, &off, 4);
            } else {
                memCopy(p + 8, e.value, 4);
            }
        }
    }
    bool ok = true;
    if (big) {
        uint64_t count = n;
        if (swab) swapLong8(&count);
        ok = writeAt(h, h->dirOffset, &count, 8);
    } else {
        uint16_t count = uint16_t(n);
        if (swab) swapShort(&count);
        ok = writeAt(h, h->dirOffset, &count, 2);
    }
    if (!ok) {
        errorExt(h, h->fileName, "Error writing directory count (%d)", osError(h));
    } else if (writeFile(h, block, int64_t(n * entrySize)) != int64_t(n * entrySize)) {
        errorExt(h, h->fileName, "Error writing directory contents (%d)", osError(h));
        ok = false;
    } else if (!writeLinkAt(h, h->dirOffset + (big ? 8 : 2) + n * entrySize, h->nextDirOffset, big)) {
        errorExt(h, h->fileName, "Error writing directory link (%d)", osError(h));
        ok = false;
    }
    memFree(block);
    return ok;
}

// Reads the entry count of the directory at `at` and its link; `linkAt`
// receives the position of the link field.
bool readCountAndLink(TIFFHandle* h, uint64_t at, const char* module, uint64_t* linkAt, uint64_t* link) {
    const bool big = isBigTiff(h);
    const bool swab = (h->flags & FLAG_SWAB) != 0;
    uint64_t count = 0;
    bool ok;
    if (big) {
        ok = readAt(h, at, &count, 8);
        if (swab) swapLong8(&count);
    } else {
        uint16_t c16 = 0;
        ok = readAt(h, at, &c16, 2);
        if (swab) swapShort(&c16);
        count = c16;
    }
    if (!ok) {
        errorExt(h, module, "Error fetching directory count (%d)", osError(h));
        return false;
    }
    *linkAt = at + (big ? 8 + count * 20 : 2 + count * 12);
    if (big) {
        ok = readAt(h, *linkAt, link, 8);
        if (swab) swapLong8(link);
    } else {
        uint32_t l32 = 0;
        ok = readAt(h, *linkAt, &l32, 4);
        if (swab) swapLong(&l32);
        *link = l32;
    }
    if (!ok) {
        errorExt(h, module, "Error fetching directory link (%d)", osError(h));
        return false;
    }
    return true;
}

// Takes the current directory out of the chain (or out of the header) so
// that it can be written anew at the end of the file.
int unlinkCurrentDirectory(TIFFHandle* h, const char* module) {
    const bool big = isBigTiff(h);
    const uint64_t first = big ? h->header.bigDirOffset : h->header.u.classicDirOffset;
    if (first == h->dirOffset) {
        if (big)
            h->header.bigDirOffset = 0;
        else
            h->header.u.classicDirOffset = 0;
        h->dirOffset = 0;
        if (!writeHeaderRecord(h)) {
            errorExt(h, h->fileName, "Error updating TIFF header (%d)", osError(h));
            return 0;
        }
        return 1;
    }
    uint64_t next = first;
    uint64_t seen = 0;
    while (next != 0) {
        uint64_t linkAt = 0, link = 0;
        if (!readCountAndLink(h, next, module, &linkAt, &link)) return 0;
        if (++seen > 65535) {
            errorExt(h, module, "Directory chain does not end");
            return 0;
        }
        if (link == h->dirOffset || link == 0) {
            h->dirOffset = 0;
            if (!writeLinkAt(h, linkAt, 0, big)) {
                errorExt(h, module, "Error writing directory link (%d)", osError(h));
                return 0;
            }
            return 1;
        }
        next = link;
    }
    h->dirOffset = 0;
    return 1;
}

int writeDirectory(TIFFHandle* h, bool finish) {
    if (h->openMode == OPEN_RDONLY) return 1;
    if (finish) {
        if (h->flags & FLAG_POSTENCODE) {
            h->flags &= ~FLAG_POSTENCODE;
            if (!h->postEncode(h)) {
                errorExt(h, h->fileName, "Error post-encoding before directory write");
                return 0;
            }
        }
        h->closeHook(h);
        if (h->rawCount > 0 && !TIFFFlushRawBuffer(h)) {
            errorExt(h, h->fileName, "Error flushing data before directory write");
            return 0;
        }
        if ((h->flags & FLAG_MYBUFFER) && h->rawData) {
            memFree(h->rawData);
            h->rawData = nullptr;
            h->rawCount = 0;
            h->rawDataSize = 0;
        }
        h->flags &= ~(FLAG_BEENWRITING | FLAG_BUFFERSETUP);
    }

    BuiltEntry* entries = nullptr;
    uint32_t n = 0;
    for (;;) {
        // A directory written before whose area is followed by other data
        // (a checkpoint, then more strips) moves to the end of the file
        // instead of growing over that data.
        if (h->dirOffset != 0 && h->dirEndOffset != 0 && roundEven(fileSize(h)) > h->dirEndOffset &&
            !unlinkCurrentDirectory(h, "TIFFWriteDirectory"))
            return 0;
        const bool placedNow = h->dirOffset == 0;
        const bool wasInSub = (h->flags & FLAG_INSUBIFD) != 0;
        const uint16_t pendingBefore = h->pendingSubIfds;
        const uint64_t subLinkBefore = h->subIfdLinkOffset;
        if (placedNow && !TIFFLinkDirectory(h)) return 0;
        const bool big = isBigTiff(h);
        // Promotion, then the directory is placed and linked again, as
        // BigTIFF: the SubIFD bookkeeping goes back to where it stood before
        // this directory was linked and built.
        auto promote = [&]() {
            h->dataOffset = placedNow ? h->dirOffset : roundEven(fileSize(h));
            h->flags = wasInSub ? (h->flags | FLAG_INSUBIFD) : (h->flags & ~FLAG_INSUBIFD);
            h->pendingSubIfds = pendingBefore;
            h->subIfdLinkOffset = subLinkBefore;
            if (!TIFFCheckBigTIFF(h)) return false;
            h->dirOffset = 0;
            return true;
        };
        if (!big && stripArraysNeedBigTiff(h)) {
            if (!promote()) return 0;
            continue;
        }

        uint32_t set[FIELD_SETLONGS];
        n = countEntries(h, set);
        entries = static_cast<BuiltEntry*>(memAlloc(sizeof(BuiltEntry) * (size_t(n) + 1)));
        if (!entries) {
            errorExt(h, h->fileName, "Cannot write directory, out of space");
            return 0;
        }
        h->dataOffset = h->dirOffset + (big ? 8 : 2) + uint64_t(n) * (big ? 20 : 12) + (big ? 8 : 4);
        DirectoryBuilder b(h, entries, n);
        bool ok = buildEntries(h, b, set);
        if (ok && (b.overflowed() || b.built() != n)) {
            errorExt(h, h->fileName, "Directory entries built (%u) differ from the entries counted (%u)",
                     unsigned(b.built()), unsigned(n));
            ok = false;
        }
        if (!ok) {
            memFree(entries);
            return 0;
        }
        if (!big && h->dataOffset + 4 >= kFourGiB) {
            memFree(entries);
            entries = nullptr;
            if (!promote()) return 0;
            continue;
        }
        break;
    }

    h->curDir++;
    bool ok = writeBuiltDirectory(h, entries, n);
    memFree(entries);
    if (!ok) return 0;
    h->dirEndOffset = h->dataOffset;
    if (finish) {
        TIFFReleaseDirectory(h);
        h->flags &= ~FLAG_DIRTYDIRECT;
        h->cleanup(h);
        TIFFStartDirectory(h);
        h->dirEndOffset = 0;
    }
    return 1;
}

} // namespace

int TIFFLinkDirectory(TIFFHandle* h) {
    static const char module[] = "TIFFLinkDirectory";
    h->dirOffset = roundEven(fileSize(h));
    if (!isBigTiff(h) && h->dirOffset >= kFourGiB) {
        h->dataOffset = h->dirOffset;
        if (!TIFFCheckBigTIFF(h)) return 0;
        h->dirOffset = roundEven(fileSize(h));
    }
    const bool big = isBigTiff(h);
    if (h->flags & FLAG_INSUBIFD) {
        if (!writeLinkAt(h, h->subIfdLinkOffset, h->dirOffset, big)) {
            errorExt(h, module, "%s: Error writing SubIFD directory link (%d)", h->fileName, osError(h));
            return 0;
        }
        if (--h->pendingSubIfds == 0)
            h->flags &= ~FLAG_INSUBIFD;
        else
            h->subIfdLinkOffset += big ? 8 : 4;
        return 1;
    }
    uint64_t first = big ? h->header.bigDirOffset : h->header.u.classicDirOffset;
    if (first == 0) {
        if (big)
            h->header.bigDirOffset = h->dirOffset;
        else
            h->header.u.classicDirOffset = uint32_t(h->dirOffset);
        if (!writeHeaderRecord(h)) {
            errorExt(h, h->fileName, "Error writing TIFF header (%d)", osError(h));
            return 0;
        }
        return 1;
    }
    uint64_t next = first;
    for (uint32_t walked = 0;; ++walked) {
        uint64_t linkAt = 0, link = 0;
        if (!readCountAndLink(h, next, module, &linkAt, &link)) return 0;
        if (walked > 65535) {
            errorExt(h, module, "Directory chain does not end");
            return 0;
        }
        if (link == 0) {
            if (!writeLinkAt(h, linkAt, h->dirOffset, big)) {
                errorExt(h, module, "Error writing directory link (%d)", osError(h));
                return 0;
            }
            return 1;
        }
        next = link;
    }
}

int TIFFWriteCurrentDirectory(TIFFHandle* h) { return writeDirectory(h, true); }

int TIFFCheckpointCurrentDirectory(TIFFHandle* h) {
    if (!h->dir.stripOffset) allocateStripArrays(h);
    int r = writeDirectory(h, false);
    TIFFSetWritePosition(h, seekFile(h, 0, 2));
    return r;
}

int TIFFRewriteDirectory(TIFFHandle* h) {
    if (h->dirOffset == 0) return TIFFWriteCurrentDirectory(h);
    if (!unlinkCurrentDirectory(h, "TIFFRewriteDirectory")) return 0;
    h->dirEndOffset = 0;
    return TIFFWriteCurrentDirectory(h);
}

} // namespace vqtiff
