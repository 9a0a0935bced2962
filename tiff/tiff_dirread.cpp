// Directory reading: fetches an image file directory (classic or BigTIFF),
// stores its values in two passes, checks the required tags, repairs strip
// byte counts and computes the scanline, strip and tile sizes.
#include "tiff/vqtiff_internal.h"

#include <algorithm>

namespace vqtiff {

namespace {

constexpr uint16_t kMaxSeenDirectories = 0xFFFF;

void missingRequired(TIFFHandle* h, const char* tagName) {
    errorExt(h, "MissingRequired", "%s: TIFF directory is missing required \"%s\" field", h->fileName,
             tagName);
}

// Fetches the raw entries of the directory at `offset`; returns them (to be
// freed by the caller) with their number, and the next-directory offset.
TIFFDirEntry* fetchDirectory(TIFFHandle* h, uint64_t offset, const char* module, const char* label,
                             uint32_t* countOut, uint64_t* nextOut) {
    const bool big = isBigTiff(h);
    const bool swab = (h->flags & FLAG_SWAB) != 0;
    const uint64_t countSize = big ? 8 : 2;
    const uint64_t entrySize = big ? 20 : 12;
    const uint64_t linkSize = big ? 8 : 4;
    uint64_t count = 0;
    uint8_t* raw = nullptr;
    uint64_t next = 0;

    if (h->flags & FLAG_MAPPED) {
        if (offset > h->mappedSize || countSize > h->mappedSize - offset) {
            errorExt(h, module, "%s: Can not read TIFF directory count", h->fileName);
            return nullptr;
        }
        memCopy(&count, h->mappedBase + offset, size_t(countSize));
        if (big) {
            if (swab) swapLong8(&count);
            count &= 0xFFFFFFFFu;
        } else {
            uint16_t c16 = uint16_t(count);
            if (swab) swapShort(&c16);
            count = c16;
        }
        // The entries must lie inside the mapping before they size an allocation.
        uint64_t at = offset + countSize;
        if (count != 0 && (at > h->mappedSize || count * entrySize > h->mappedSize - at)) {
            errorExt(h, module, "%s: Can not read TIFF directory", h->fileName);
            return nullptr;
        }
        raw = static_cast<uint8_t*>(TIFFCheckedMalloc(h, size_t(count), size_t(entrySize), label));
        if (!raw) return nullptr;
        memCopy(raw, h->mappedBase + at, size_t(count * entrySize));
        at += count * entrySize;
        if (at <= h->mappedSize && linkSize <= h->mappedSize - at)
            memCopy(&next, h->mappedBase + at, size_t(linkSize));
    } else {
        if (seekFile(h, offset, 0) != offset) {
            errorExt(h, module, "%s: Seek error accessing TIFF directory", h->fileName);
            return nullptr;
        }
        if (readFile(h, &count, int64_t(countSize)) != int64_t(countSize)) {
            errorExt(h, module, "%s: Can not read TIFF directory count (%d)", h->fileName, osError(h));
            return nullptr;
        }
        if (big) {
            if (swab) swapLong8(&count);
            count &= 0xFFFFFFFFu;
        } else {
            uint16_t c16 = uint16_t(count);
            if (swab) swapShort(&c16);
            count = c16;
        }
        // The entries must lie inside the file before they size an allocation.
        uint64_t size = fileSize(h);
        uint64_t at = offset + countSize;
        if (count != 0 && (at > size || count * entrySize > size - at)) {
            errorExt(h, module, "%.100s: Can not read TIFF directory (%d)", h->fileName, osError(h));
            return nullptr;
        }
        raw = static_cast<uint8_t*>(TIFFCheckedMalloc(h, size_t(count), size_t(entrySize), label));
        if (!raw) return nullptr;
        if (readFile(h, raw, int64_t(count * entrySize)) != int64_t(count * entrySize)) {
            errorExt(h, module, "%.100s: Can not read TIFF directory (%d)", h->fileName, osError(h));
            memFree(raw);
            return nullptr;
        }
        // A next offset that cannot be read ends the chain.
        if (readFile(h, &next, int64_t(linkSize)) != int64_t(linkSize)) next = 0;
    }
    if (big) {
        if (swab) swapLong8(&next);
    } else {
        uint32_t n32 = uint32_t(next);
        if (swab) swapLong(&n32);
        next = n32;
    }

    auto* entries = static_cast<TIFFDirEntry*>(TIFFCheckedMalloc(h, size_t(count), sizeof(TIFFDirEntry), label));
    if (!entries) {
        memFree(raw);
        return nullptr;
    }
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* p = raw + i * entrySize;
        TIFFDirEntry& e = entries[i];
        memCopy(&e.tag, p, 2);
        memCopy(&e.type, p + 2, 2);
        if (swab) {
            swapShort(&e.tag);
            swapShort(&e.type);
        }
        e.value.u64 = 0;
        if (big) {
            memCopy(&e.count, p + 4, 8);
            if (swab) swapLong8(&e.count);
            memCopy(e.value.bytes, p + 12, 8);
        } else {
            uint32_t c32;
            memCopy(&c32, p + 4, 4);
            if (swab) swapLong(&c32);
            e.count = c32;
            memCopy(e.value.bytes, p + 8, 4);
        }
    }
    memFree(raw);
    *countOut = uint32_t(count);
    *nextOut = next;
    return entries;
}

// Fetches one value of a single-valued entry: 32-bit for LONG entries, else 16-bit.
int fetchSingle(TIFFHandle* h, TIFFDirEntry* e, uint32_t* out) {
    if (e->type == TYPE_LONG || e->type == TYPE_SLONG) return fetchLongArray(h, e, out);
    uint16_t v;
    if (!fetchShortArray(h, e, &v)) return 0;
    *out = v;
    return 1;
}

int estimateStripByteCounts(TIFFHandle* h, TIFFDirEntry* entries, uint32_t count) {
    static const char module[] = "EstimateStripByteCounts";
    TIFFDirRecord& d = h->dir;
    memFree(d.stripByteCount);
    d.stripByteCount = static_cast<uint64_t*>(
        TIFFCheckedMalloc(h, d.nStrips, sizeof(uint64_t), "for \"StripByteCounts\" array"));
    if (!d.stripByteCount) return -1;
    if (d.compression == COMPRESSION_NONE) {
        uint64_t perStrip = uint64_t(TIFFScanlineSize(h)) * (d.imageLength / d.stripsPerImage);
        for (uint32_t s = 0; s < d.nStrips; ++s) d.stripByteCount[s] = perStrip;
    } else {
        // Bytes the header and this directory take; the rest of the file is
        // shared among the strips. Held in 64 bits so nothing is cut.
        const uint64_t entrySize = isBigTiff(h) ? 20 : 12;
        uint64_t used = 22 + uint64_t(count) * entrySize;
        for (uint32_t i = 0; i < count; ++i) {
            uint64_t w = uint64_t(TIFFTypeWidth(entries[i].type));
            if (w == 0) {
                errorExt(h, module, "%s: Cannot determine size of unknown tag type %d", h->fileName,
                         int(entries[i].type));
                return -1;
            }
            uint64_t bytes = w * entryCount32(&entries[i]);
            if (bytes > 4) used += bytes;
        }
        uint64_t size = fileSize(h);
        uint64_t estimate = size > used ? size - used : 0;
        if (d.planarConfig == PLANAR_SEPARATE) estimate /= d.samplesPerPixel;
        for (uint32_t s = 0; s < d.nStrips; ++s) d.stripByteCount[s] = estimate;
        uint32_t last = d.nStrips - 1;
        uint64_t lastOffset = d.stripOffset[last];
        if (lastOffset + d.stripByteCount[last] > size)
            d.stripByteCount[last] = size > lastOffset ? size - lastOffset : 0;
    }
    setFieldBit(h, FIELD_STRIPBYTECOUNTS);
    if (!fieldSet(h, FIELD_ROWSPERSTRIP)) d.rowsPerStrip = d.imageLength;
    return 1;
}

// Splits one large uncompressed strip into strips of about 8 KiB, so that
// reading a row does not need the whole image in memory.
void splitSingleStrip(TIFFHandle* h) {
    TIFFDirRecord& d = h->dir;
    uint64_t offset = d.stripOffset[0];
    // Only the bytes the file holds can be split: a count far beyond its end
    // would otherwise size the new arrays and the loop that fills them.
    const uint64_t size = (h->flags & FLAG_MAPPED) ? h->mappedSize : fileSize(h);
    if (offset >= size) return;
    uint64_t bytes = std::min(d.stripByteCount[0], size - offset);
    uint32_t rowBytes = TIFFVTileSize(h, 1);
    uint32_t rowsPerStrip;
    uint64_t stripBytes;
    if (rowBytes > 8192) {
        rowsPerStrip = 1;
        stripBytes = rowBytes;
    } else if (rowBytes > 0) {
        rowsPerStrip = 8192 / rowBytes;
        stripBytes = uint64_t(rowBytes) * rowsPerStrip;
    } else {
        return;
    }
    if (rowsPerStrip >= d.rowsPerStrip) return;
    uint64_t n64 = (bytes + stripBytes - 1) / stripBytes;
    if (n64 == 0 || n64 > 0xFFFFFFFFu) return;
    uint32_t n = uint32_t(n64);
    auto* counts = static_cast<uint64_t*>(
        TIFFCheckedMalloc(h, n, sizeof(uint64_t), "for chopped \"StripByteCounts\" array"));
    auto* offsets = static_cast<uint64_t*>(
        TIFFCheckedMalloc(h, n, sizeof(uint64_t), "for chopped \"StripOffsets\" array"));
    if (!counts || !offsets) {
        memFree(counts);
        memFree(offsets);
        return;
    }
    for (uint32_t s = 0; s < n; ++s) {
        counts[s] = bytes > stripBytes ? stripBytes : bytes;
        offsets[s] = offset;
        offset += counts[s];
        bytes -= counts[s];
    }
    d.stripsPerImage = d.nStrips = n;
    TIFFSetField(h, TAG_RowsPerStrip, rowsPerStrip);
    memFree(d.stripByteCount);
    memFree(d.stripOffset);
    d.stripByteCount = counts;
    d.stripOffset = offsets;
    d.stripByteCountSorted = 1;
}

// Position in the sorted tag table of the first definition whose tag is not
// smaller than `tag`, starting at `from`.
size_t advanceTo(const TIFFHandle* h, size_t from, uint16_t tag) {
    while (from < h->tagDefCount && h->tagDefs[from]->tag < tag) ++from;
    return from;
}

// Finds the definition for an entry, adding an anonymous one for a tag the
// table does not know. Returns the position of the first definition with the
// entry's tag, or tagDefCount when none could be had.
size_t locateDefinition(TIFFHandle* h, size_t fix, const TIFFDirEntry* e, bool* warnedUnsorted) {
    if (fix < h->tagDefCount && e->tag < h->tagDefs[fix]->tag) {
        if (!*warnedUnsorted) {
            warningExt(h, "TIFFReadDirectory", "%s: invalid TIFF directory; tags are not sorted in ascending order",
                       h->fileName);
            *warnedUnsorted = true;
        }
        fix = 0;
    }
    fix = advanceTo(h, fix, e->tag);
    if (fix >= h->tagDefCount || h->tagDefs[fix]->tag != e->tag) {
        warningExt(h, "TIFFReadDirectory", "%s: unknown field with tag %d (0x%x) encountered", h->fileName,
                   int(e->tag), unsigned(e->tag));
        TIFFTagDef* anon = TIFFMakeAnonymousTagDef(h, e->tag, e->type);
        if (!anon || !TIFFMergeFieldInfo(h, anon, 1)) {
            if (anon) {
                memFree(const_cast<char*>(anon->name));
                memFree(anon);
            }
            return h->tagDefCount;
        }
        fix = advanceTo(h, 0, e->tag);
    }
    return fix;
}

// Among the definitions of the entry's tag from `fix` on, the one of the
// entry's type (or of any type); none after a warning.
const TIFFTagDef* matchType(TIFFHandle* h, size_t fix, const TIFFDirEntry* e) {
    const TIFFTagDef* last = nullptr;
    for (size_t i = fix; i < h->tagDefCount && h->tagDefs[i]->tag == e->tag; ++i) {
        last = h->tagDefs[i];
        if (last->type == e->type || last->type == TYPE_ANY) return last;
    }
    warningExt(h, "TIFFReadDirectory", "%s: wrong data type %d for \"%s\"; tag ignored", h->fileName,
               int(e->type), last ? last->name : "unknown");
    return nullptr;
}

} // namespace

int TIFFReadDirectory(TIFFHandle* h) {
    static const char module[] = "TIFFReadDirectory";
    TIFFDirRecord& d = h->dir;
    h->dirOffset = h->nextDirOffset;
    if (h->dirOffset == 0) return 0;
    for (uint16_t i = 0; i < h->seenDirCount; ++i)
        if (h->seenDirOffsets[i] == h->dirOffset) return 0; // the chain loops
    if (h->seenDirCount == kMaxSeenDirectories) {
        errorExt(h, module, "%s: More than %u directories in the chain", h->fileName,
                 unsigned(kMaxSeenDirectories));
        return 0;
    }
    auto* seen = static_cast<uint64_t*>(memResize(h->seenDirOffsets, (h->seenDirCount + 1u) * sizeof(uint64_t)));
    if (!seen) {
        errorExt(h, module, "%s: Failed to allocate space for IFD list", h->fileName);
        return 0;
    }
    h->seenDirOffsets = seen;
    seen[h->seenDirCount++] = h->dirOffset;

    h->cleanup(h);
    h->curDir++;

    uint32_t count = 0;
    uint64_t next = 0;
    TIFFDirEntry* entries = fetchDirectory(h, h->dirOffset, module, "to read TIFF directory", &count, &next);
    if (!entries) return 0;
    h->nextDirOffset = next;

    auto fail = [&]() {
        memFree(entries);
        return 0;
    };

    h->flags &= ~FLAG_BEENWRITING;
    TIFFReleaseDirectory(h);
    TIFFResetDirectory(h);
    d.planarConfig = PLANAR_CONTIG; // a file without the tag is contiguous

    for (uint32_t i = 0; i < count; ++i) {
        TIFFDirEntry* e = &entries[i];
        if (e->tag != TAG_SamplesPerPixel) continue;
        if (entryCount32(e) > 1) checkEntryCount(h, e, 1);
        if (!fetchNormalTag(h, e)) return fail();
        e->tag = 0;
    }

    // First pass: the tags that decide the layout.
    bool warnedUnsorted = false;
    size_t fix = 0;
    for (uint32_t i = 0; i < count; ++i) {
        TIFFDirEntry* e = &entries[i];
        if (e->tag == 0) continue;
        fix = locateDefinition(h, fix, e, &warnedUnsorted);
        if (fix >= h->tagDefCount) {
            e->tag = 0;
            fix = 0;
            continue;
        }
        if (h->tagDefs[fix]->fieldBit == FIELD_IGNORE) {
            e->tag = 0;
            continue;
        }
        const TIFFTagDef* def = matchType(h, fix, e);
        if (!def) {
            e->tag = 0;
            continue;
        }
        if (def->readCount > 0 || def->readCount == SPP_COUNT) {
            uint64_t expected = def->readCount == SPP_COUNT ? d.samplesPerPixel : uint64_t(def->readCount);
            if (!checkEntryCount(h, e, expected)) {
                e->tag = 0;
                continue;
            }
        }
        switch (e->tag) {
        case TAG_ImageWidth:
        case TAG_ImageLength:
        case TAG_RowsPerStrip:
        case TAG_PlanarConfiguration:
        case TAG_TileWidth:
        case TAG_TileLength:
        case TAG_ExtraSamples:
        case TAG_ImageDepth:
        case TAG_TileDepth:
            if (!fetchNormalTag(h, e)) return fail();
            e->tag = 0;
            break;
        case TAG_StripOffsets:
        case TAG_StripByteCounts:
        case TAG_TileOffsets:
        case TAG_TileByteCounts: setFieldBit(h, def->fieldBit); break;
        case TAG_Compression:
            if (entryCount32(e) == 1) {
                uint32_t v;
                if (!fetchSingle(h, e, &v) || !TIFFSetField(h, TAG_Compression, int(v & 0xFFFF))) return fail();
            } else {
                uint32_t v32 = 0;
                uint16_t v16 = 0;
                int ok = e->type == TYPE_LONG ? fetchPerSampleLongs(h, e, &v32) : fetchPerSampleShorts(h, e, &v16);
                if (e->type != TYPE_LONG) v32 = v16;
                if (!ok || !TIFFSetField(h, TAG_Compression, int(v32 & 0xFFFF))) return fail();
                e->tag = 0;
            }
            break;
        default: break;
        }
    }

    if (!fieldSet(h, FIELD_IMAGEDIMENSIONS)) {
        missingRequired(h, "ImageLength");
        return fail();
    }
    // Stripped images get tile geometry by direct assignment: the setter
    // would mark tile dimensions as present and the image as tiled.
    if (!fieldSet(h, FIELD_TILEDIMENSIONS)) {
        d.nStrips = TIFFNumberOfStrips(h);
        d.tileWidth = d.imageWidth;
        d.tileLength = d.rowsPerStrip;
        d.tileDepth = d.imageDepth;
        h->flags &= ~FLAG_ISTILED;
    } else {
        d.nStrips = TIFFNumberOfTiles(h);
        h->flags |= FLAG_ISTILED;
    }
    if (d.nStrips == 0) {
        errorExt(h, module, "%s: cannot handle zero number of %s", h->fileName, isTiled(h) ? "tiles" : "strips");
        return fail();
    }
    // Every strip needs at least one stored byte, so a file cannot hold more
    // strips than bytes; larger counts would only size huge arrays.
    uint64_t size = (h->flags & FLAG_MAPPED) ? h->mappedSize : fileSize(h);
    if (d.nStrips > size) {
        errorExt(h, module, "%s: cannot handle %lu %s in a file of %llu bytes", h->fileName,
                 (unsigned long)d.nStrips, isTiled(h) ? "tiles" : "strips", (unsigned long long)size);
        return fail();
    }
    d.stripsPerImage = d.nStrips;
    if (d.planarConfig == PLANAR_SEPARATE) d.stripsPerImage /= d.samplesPerPixel;
    if (!fieldSet(h, FIELD_STRIPOFFSETS)) {
        missingRequired(h, isTiled(h) ? "TileOffsets" : "StripOffsets");
        return fail();
    }

    // Second pass: everything else.
    for (uint32_t i = 0; i < count; ++i) {
        TIFFDirEntry* e = &entries[i];
        if (e->tag == 0) continue;
        switch (e->tag) {
        case TAG_OldSubfileType: {
            uint32_t v = 0;
            if (fetchSingle(h, e, &v)) {
                if (v == 2) TIFFSetField(h, TAG_SubfileType, uint32_t(1));
                if (v == 3) TIFFSetField(h, TAG_SubfileType, uint32_t(2));
            }
            break;
        }
        case TAG_BitsPerSample:
        case TAG_MinSampleValue:
        case TAG_MaxSampleValue:
        case TAG_SampleFormat:
        case TAG_DataType: {
            uint32_t v = 0;
            int ok;
            if (entryCount32(e) == 1) {
                ok = fetchSingle(h, e, &v);
            } else if (e->tag == TAG_BitsPerSample && e->type == TYPE_LONG) {
                ok = fetchPerSampleLongs(h, e, &v);
            } else {
                uint16_t v16 = 0;
                ok = fetchPerSampleShorts(h, e, &v16);
                v = v16;
            }
            if (!ok || !TIFFSetField(h, e->tag, int(v & 0xFFFF))) return fail();
            break;
        }
        case TAG_SMinSampleValue:
        case TAG_SMaxSampleValue: {
            double v = 0;
            if (!fetchPerSampleAnys(h, e, &v) || !TIFFSetField(h, e->tag, v)) return fail();
            break;
        }
        case TAG_StripOffsets:
        case TAG_TileOffsets:
            if (!fetchStripArray(h, e, d.nStrips, &d.stripOffset, true)) return fail();
            break;
        case TAG_StripByteCounts:
        case TAG_TileByteCounts:
            if (!fetchStripArray(h, e, d.nStrips, &d.stripByteCount, false)) return fail();
            break;
        case TAG_ColorMap:
        case TAG_TransferFunction: {
            if (d.bitsPerSample > 24) break; // no table of that many entries
            uint32_t n = 1u << d.bitsPerSample;
            uint32_t c = entryCount32(e);
            if ((e->tag == TAG_ColorMap || c != n) && !checkEntryCount(h, e, uint64_t(3) * n)) break;
            c = entryCount32(e);
            size_t slots = c < 3 * size_t(n) ? 3 * size_t(n) : c;
            auto* buf = static_cast<uint16_t*>(
                TIFFCheckedMalloc(h, slots, sizeof(uint16_t), "to read \"TransferFunction\" tag"));
            if (!buf) break;
            memFill(buf, 0, slots * sizeof(uint16_t));
            if (fetchShortArray(h, e, buf)) {
                if (c == n)
                    TIFFSetField(h, e->tag, buf, buf, buf);
                else
                    TIFFSetField(h, e->tag, buf, buf + n, buf + 2 * n);
            }
            memFree(buf);
            break;
        }
        case TAG_PageNumber:
        case TAG_HalftoneHints:
        case TAG_DotRange:
        case TAG_YCbCrSubsampling: fetchShortPair(h, e); break;
        case TAG_ReferenceBlackWhite: fetchRefBlackWhite(h, e); break;
        case TAG_SubIFD: {
            uint32_t c = entryCount32(e);
            // The offsets must be in the file before their count sizes the array.
            if (entryDataSize(h, e) == 0) return fail();
            auto* offsets = static_cast<uint64_t*>(
                TIFFCheckedMalloc(h, c, sizeof(uint64_t), "Array of 64-bit SubIFD offsets"));
            if (!offsets || !fetchLong8Array(h, e, offsets)) {
                memFree(offsets);
                return fail();
            }
            TIFFSetField(h, TAG_SubIFD, int(c & 0xFFFF), offsets);
            memFree(offsets);
            break;
        }
        default: fetchNormalTag(h, e); break;
        }
    }

    if (d.photometric == PHOTOMETRIC_PALETTE && !fieldSet(h, FIELD_COLORMAP)) {
        missingRequired(h, "Colormap");
        return fail();
    }

    const TIFFTagDef* bcDef = findTagDef(h, TAG_StripByteCounts, TYPE_ANY);
    const char* bcName = bcDef ? bcDef->name : "StripByteCounts";
    if (!fieldSet(h, FIELD_STRIPBYTECOUNTS)) {
        if ((d.planarConfig == PLANAR_CONTIG && d.nStrips > 1) ||
            (d.planarConfig == PLANAR_SEPARATE && d.nStrips != d.samplesPerPixel)) {
            missingRequired(h, "StripByteCounts");
            return fail();
        }
        warningExt(h, module, "%s: TIFF directory is missing required \"%s\" field, calculating from imagelength",
                   h->fileName, bcName);
        if (estimateStripByteCounts(h, entries, count) < 0) return fail();
    } else if (d.nStrips == 1 && d.stripOffset[0] != 0 &&
               (d.stripByteCount[0] == 0 ||
                (d.compression == COMPRESSION_NONE && d.stripByteCount[0] > fileSize(h) - d.stripOffset[0]) ||
                (h->openMode == OPEN_RDONLY && d.compression == COMPRESSION_NONE &&
                 d.stripByteCount[0] < uint64_t(TIFFScanlineSize(h)) * d.imageLength))) {
        warningExt(h, module, "%s: Bogus \"%s\" field, ignoring and calculating from imagelength", h->fileName,
                   bcName);
        if (estimateStripByteCounts(h, entries, count) < 0) return fail();
    } else if (d.planarConfig == PLANAR_CONTIG && d.nStrips > 2 && d.compression == COMPRESSION_NONE &&
               d.stripByteCount[0] != d.stripByteCount[1]) {
        warningExt(h, module, "%s: Wrong \"%s\" field, ignoring and calculating from imagelength", h->fileName,
                   bcName);
        if (estimateStripByteCounts(h, entries, count) < 0) return fail();
    }
    memFree(entries);

    if (!fieldSet(h, FIELD_MAXSAMPLEVALUE))
        d.maxSampleValue = uint16_t(d.bitsPerSample >= 16 ? 0xFFFF : (1u << d.bitsPerSample) - 1);
    if (d.nStrips > 1) {
        d.stripByteCountSorted = 1;
        for (uint32_t s = 1; s < d.nStrips; ++s)
            if (d.stripOffset[s] < d.stripOffset[s - 1]) {
                d.stripByteCountSorted = 0;
                break;
            }
    }
    if (!fieldSet(h, FIELD_COMPRESSION)) TIFFSetField(h, TAG_Compression, int(COMPRESSION_NONE));
    if (d.nStrips == 1 && d.compression == COMPRESSION_NONE && (h->flags & FLAG_STRIPCHOP) && !isTiled(h))
        splitSingleStrip(h);

    h->curRow = 0xFFFFFFFFu;
    h->curStrip = 0xFFFFFFFFu;
    h->curCol = 0xFFFFFFFFu;
    h->curTile = 0xFFFFFFFFu;
    h->tileByteSize = -1;
    h->scanlineByteSize = TIFFScanlineSize(h);
    if (h->scanlineByteSize == 0) {
        errorExt(h, module, "%s: cannot handle zero scanline size", h->fileName);
        return 0;
    }
    if (isTiled(h)) {
        h->tileByteSize = TIFFWholeTileSize(h);
        if (h->tileByteSize == 0) {
            errorExt(h, module, "%s: cannot handle zero tile size", h->fileName);
            return 0;
        }
    } else if (TIFFWholeStripSize(h) == 0) {
        errorExt(h, module, "%s: cannot handle zero strip size", h->fileName);
        return 0;
    }
    return 1;
}

int TIFFReadCustomDirectory(TIFFHandle* h, uint64_t offset, const TIFFTagDef* table, int tableCount) {
    static const char module[] = "TIFFReadCustomDirectory";
    _TIFFSetupFieldInfo(h, table, size_t(tableCount > 0 ? tableCount : 0));
    h->dirOffset = offset;
    uint32_t count = 0;
    uint64_t next = 0;
    TIFFDirEntry* entries = fetchDirectory(h, offset, module, "to read TIFF custom directory", &count, &next);
    if (!entries) return 0;
    TIFFReleaseDirectory(h);
    bool warnedUnsorted = false;
    size_t fix = 0;
    for (uint32_t i = 0; i < count; ++i) {
        TIFFDirEntry* e = &entries[i];
        if (e->tag == 0 || fix >= h->tagDefCount) continue;
        // The search only moves forward here.
        fix = advanceTo(h, fix, e->tag);
        if (fix >= h->tagDefCount || h->tagDefs[fix]->tag != e->tag) {
            size_t found = locateDefinition(h, h->tagDefCount, e, &warnedUnsorted);
            if (found >= h->tagDefCount) continue;
            fix = found;
        }
        if (h->tagDefs[fix]->fieldBit == FIELD_IGNORE) continue;
        const TIFFTagDef* def = matchType(h, fix, e);
        if (!def) continue;
        if (def->readCount == VARIABLE_COUNT || def->readCount == VARIABLE32_COUNT) {
            fetchNormalTag(h, e);
        } else {
            uint64_t expected = def->readCount == SPP_COUNT ? h->dir.samplesPerPixel : uint64_t(def->readCount);
            if (checkEntryCount(h, e, expected)) fetchNormalTag(h, e);
        }
    }
    memFree(entries);
    return 1;
}

int TIFFReadExifIfd(TIFFHandle* h, uint64_t offset) {
    size_t n;
    const TIFFTagDef* table = getExifTagTable(&n);
    return TIFFReadCustomDirectory(h, offset, table, int(n));
}

} // namespace vqtiff
