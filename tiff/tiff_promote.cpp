// Promotion of a classic file being written to BigTIFF, in place: the header
// becomes a BigTIFF header and every directory already in the file is
// written again in the BigTIFF form at the data position, in chain order,
// each directory's SubIFDs directly after it. The old classic directories
// stay in the file, unreferenced.
#include "tiff/vqtiff_internal.h"

namespace vqtiff {

namespace {

constexpr uint16_t kSubIfdTag = 330;

// Element size of a classic entry's type; 0 for types a classic file
// cannot hold.
int elementWidth(uint16_t type) { return type >= TYPE_BYTE && type <= TYPE_IFD ? TIFFTypeWidth(type) : 0; }

uint16_t get16(const TIFFHandle* h, const uint8_t* p) {
    uint16_t v;
    memCopy(&v, p, 2);
    if (h->flags & FLAG_SWAB) swapShort(&v);
    return v;
}
uint32_t get32(const TIFFHandle* h, const uint8_t* p) {
    uint32_t v;
    memCopy(&v, p, 4);
    if (h->flags & FLAG_SWAB) swapLong(&v);
    return v;
}
void put16(const TIFFHandle* h, uint8_t* p, uint16_t v) {
    if (h->flags & FLAG_SWAB) swapShort(&v);
    memCopy(p, &v, 2);
}
void put64(const TIFFHandle* h, uint8_t* p, uint64_t v) {
    if (h->flags & FLAG_SWAB) swapLong8(&v);
    memCopy(p, &v, 8);
}

// The walk's own state; positions are 64-bit throughout.
struct Walk {
    uint64_t cur;
    uint64_t classicLink = 4;
    uint64_t newLink = 8;
    bool inSub = false;
    uint64_t subLeft = 0;
    uint64_t subOld = 0;
    uint64_t subNew = 0;
    uint64_t subCount = 0; // slots of the SubIFD array being walked
};

// Converts one classic directory at w.cur; false after reporting.
bool convertDirectory(TIFFHandle* h, Walk& w) {
    const char* name = h->fileName;
    uint8_t countBytes[2];
    if (!readAt(h, w.cur, countBytes, 2)) {
        errorExt(h, name, "Error reading TIFF directory (%d)", osError(h));
        return false;
    }
    const uint64_t count = get16(h, countBytes);
    uint8_t* oldEntries = static_cast<uint8_t*>(memAlloc(size_t(count) * 12 + 1));
    uint8_t* newEntries = static_cast<uint8_t*>(memAlloc(size_t(count) * 20 + 16));
    auto fail = [&]() {
        memFree(oldEntries);
        memFree(newEntries);
        return false;
    };
    if (!oldEntries || !newEntries) {
        errorExt(h, name, "Error allocating space for directory");
        return fail();
    }
    if (count && !readAt(h, w.cur + 2, oldEntries, int64_t(count * 12))) {
        errorExt(h, name, "Error reading TIFF directory (%d)", osError(h));
        return fail();
    }
    memFill(newEntries, 0, size_t(count) * 20 + 16);
    const uint64_t newDir = h->dataOffset;
    h->dataOffset += count * 20 + 16;
    bool parentOfSubIfds = false;

    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* o = oldEntries + i * 12;
        uint8_t* e = newEntries + 8 + i * 20;
        const uint16_t tag = get16(h, o);
        uint16_t type = get16(h, o + 2);
        const uint64_t n = get32(h, o + 4); // widened without sign extension
        const uint64_t oldOffset = get32(h, o + 8);
        memCopy(e, o, 2);
        const int width = elementWidth(type);
        const uint64_t total = n * uint64_t(width);
        if (width != 0 && total <= 4) {
            memCopy(e + 12, o + 8, 4);
        } else if (width != 0 && total <= 8) {
            if (!readAt(h, oldOffset, e + 12, int64_t(total))) {
                errorExt(h, name, "Error reading TIFF directory (%d)", osError(h));
                return fail();
            }
        } else {
            put64(h, e + 12, oldOffset);
        }
        if (tag == kSubIfdTag && n > 0) {
            if (w.inSub) {
                errorExt(h, name, "SubIFDs inside SubIFDs cannot be converted to BigTIFF");
                return fail();
            }
            type = TYPE_IFD8;
            parentOfSubIfds = true;
            w.subLeft = n;
            w.subCount = n;
            if (n > 1) {
                w.subOld = oldOffset;
                uint64_t* zeros = static_cast<uint64_t*>(memAlloc(size_t(n) * 8));
                if (!zeros) {
                    errorExt(h, name, "Error allocating space for 64-bit SubIFDs");
                    return fail();
                }
                memFill(zeros, 0, size_t(n) * 8);
                w.subNew = h->dataOffset;
                bool ok = writeAt(h, h->dataOffset, zeros, int64_t(n * 8));
                memFree(zeros);
                if (!ok) {
                    errorExt(h, name, "Error writing TIFF directory (%d)", osError(h));
                    return fail();
                }
                h->dataOffset += n * 8;
                put64(h, e + 12, w.subNew);
            } else {
                w.subOld = w.cur + 2 + 12 * i + 8;
                w.subNew = newDir + 8 + 20 * i + 12;
                put64(h, e + 12, 0);
            }
        } else if (tag == kSubIfdTag) {
            type = TYPE_IFD8;
        }
        put16(h, e + 2, type);
        put64(h, e + 4, n);
    }
    put64(h, newEntries, count);
    if (!writeAt(h, newDir, newEntries, int64_t(count * 20 + 16))) {
        errorExt(h, name, "Error writing TIFF directory (%d)", osError(h));
        return fail();
    }

    // The directory being written may still have SubIFD slots to fill in
    // this directory's array: they move with it.
    if (parentOfSubIfds && h->pendingSubIfds && h->subIfdLinkOffset >= w.subOld &&
        h->subIfdLinkOffset < w.subOld + 4 * w.subCount)
        h->subIfdLinkOffset = w.subNew + 2 * (h->subIfdLinkOffset - w.subOld);

    if (!w.inSub && w.newLink == 8) h->header.bigDirOffset = newDir;
    uint64_t linkAt = w.inSub ? w.subNew : w.newLink;
    if (!writeLinkAt(h, linkAt, newDir, true)) {
        errorExt(h, name, "Error writing directory link (%d)", osError(h));
        return fail();
    }
    if (w.inSub) {
        w.subNew += 8;
        --w.subLeft;
    } else {
        w.classicLink = w.cur + 2 + 12 * count;
        w.newLink = newDir + 8 + 20 * count;
    }
    w.inSub = w.subLeft != 0;
    uint8_t next[4];
    const uint64_t nextAt = w.inSub ? w.subOld : w.classicLink;
    if (!readAt(h, nextAt, next, 4)) {
        errorExt(h, name, "Error reading directory link (%d)", osError(h));
        return fail();
    }
    if (w.inSub) w.subOld += 4;
    w.cur = get32(h, next);
    memFree(oldEntries);
    memFree(newEntries);
    return true;
}

} // namespace

int TIFFCheckBigTIFF(TIFFHandle* h) {
    if (h->flags & FLAG_CLASSICFORCED) {
        errorExt(h, "TIFFCheckBigTIFF", "File > 2^32 and NO BigTIFF specified");
        return 0;
    }
    if (isBigTiff(h)) return 1;
    // The BigTIFF header takes bytes 8 to 15, which the classic files this
    // library creates leave zero; a file that uses them cannot be converted.
    uint8_t spare[8];
    if (!readAt(h, 8, spare, 8)) {
        errorExt(h, h->fileName, "Error reading TIFF header (%d)", osError(h));
        return 0;
    }
    for (uint8_t b : spare) {
        if (b != 0) {
            errorExt(h, h->fileName, "Cannot convert to BigTIFF: bytes 8 to 15 of the file are in use");
            return 0;
        }
    }

    Walk w;
    w.cur = h->header.u.classicDirOffset;
    h->flags |= FLAG_BIGTIFF;
    h->header.version = VERSION_BIG;
    h->header.u.big.offsetSize = 8;
    h->header.u.big.reserved = 0;
    h->header.bigDirOffset = 0;
    if (!writeHeaderRecord(h)) {
        errorExt(h, h->fileName, "Error updating TIFF header (%d)", osError(h));
        return 0;
    }

    // Directories seen so far, so that a chain that loops is refused.
    uint64_t* seen = nullptr;
    size_t seenCount = 0, seenCapacity = 0;
    int result = 1;
    for (;;) {
        if (w.cur == 0 || w.cur == h->dirOffset) {
            if (w.newLink == 8) h->header.bigDirOffset = 0;
            if (!writeLinkAt(h, w.newLink, 0, true)) {
                errorExt(h, h->fileName, "Error writing directory link (%d)", osError(h));
                result = 0;
            }
            break;
        }
        bool loops = false;
        for (size_t i = 0; i < seenCount; ++i) loops = loops || seen[i] == w.cur;
        if (loops) {
            errorExt(h, h->fileName, "Directory chain loops; cannot convert to BigTIFF");
            result = 0;
            break;
        }
        if (seenCount == seenCapacity) {
            seenCapacity = seenCapacity ? seenCapacity * 2 : 16;
            auto* grown = static_cast<uint64_t*>(memResize(seen, seenCapacity * 8));
            if (!grown) {
                errorExt(h, h->fileName, "Error allocating space for directory");
                result = 0;
                break;
            }
            seen = grown;
        }
        seen[seenCount++] = w.cur;
        if (!convertDirectory(h, w)) {
            result = 0;
            break;
        }
    }
    memFree(seen);
    return result;
}

} // namespace vqtiff
