// Directory navigation: walking the chain of image file directories to count
// them, to make one current, or to unlink one.
#include "tiff/vqtiff_internal.h"

#include <unordered_set>

namespace vqtiff {

namespace {

constexpr uint32_t maxDirectories = 65535;

uint64_t firstDirectoryOffset(const TIFFHandle* h) {
    return isBigTiff(h) ? h->header.bigDirOffset : h->header.u.classicDirOffset;
}

} // namespace

int TIFFAdvanceDirectory(TIFFHandle* h, uint64_t* offset, uint64_t* linkOffset) {
    static const char module[] = "TIFFAdvanceDirectory";
    const bool big = isBigTiff(h);
    const uint64_t countSize = big ? 8 : 2;
    const uint64_t entrySize = big ? 20 : 12;
    const uint64_t linkSize = big ? 8 : 4;
    uint64_t count = 0;
    uint64_t link = 0;
    uint64_t at = *offset;
    if (h->flags & FLAG_MAPPED) {
        if (at > h->mappedSize || countSize > h->mappedSize - at) {
            errorExt(h, module, "%s: Error fetching directory count", h->fileName);
            return 0;
        }
        if (big) {
            memCopy(&count, h->mappedBase + at, 8);
            if (h->flags & FLAG_SWAB) swapLong8(&count);
        } else {
            uint16_t c16;
            memCopy(&c16, h->mappedBase + at, 2);
            if (h->flags & FLAG_SWAB) swapShort(&c16);
            count = c16;
        }
        if (big) count &= 0xFFFFFFFFu;
        uint64_t linkAt = at + countSize + count * entrySize;
        if (linkOffset) *linkOffset = linkAt;
        if (linkAt > h->mappedSize || linkSize > h->mappedSize - linkAt) {
            errorExt(h, module, "%s: Error fetching directory link", h->fileName);
            return 0;
        }
        memCopy(&link, h->mappedBase + linkAt, size_t(linkSize));
    } else {
        bool ok = seekFile(h, at, 0) == at;
        if (ok) {
            if (big) {
                ok = readFile(h, &count, 8) == 8;
                if (h->flags & FLAG_SWAB) swapLong8(&count);
                count &= 0xFFFFFFFFu;
            } else {
                uint16_t c16 = 0;
                ok = readFile(h, &c16, 2) == 2;
                if (h->flags & FLAG_SWAB) swapShort(&c16);
                count = c16;
            }
        }
        if (!ok) {
            errorExt(h, module, "%s: Error fetching directory count (%d)", h->fileName, osError(h));
            return 0;
        }
        uint64_t linkAt = seekFile(h, count * entrySize, 1);
        if (linkOffset) *linkOffset = linkAt;
        if (readFile(h, &link, int64_t(linkSize)) != int64_t(linkSize)) {
            errorExt(h, module, "%s: Error fetching directory link (%d)", h->fileName, osError(h));
            return 0;
        }
    }
    if (big) {
        if (h->flags & FLAG_SWAB) swapLong8(&link);
    } else {
        uint32_t l32 = uint32_t(link);
        if (h->flags & FLAG_SWAB) swapLong(&l32);
        link = l32;
    }
    *offset = link;
    return 1;
}

// The walk stops at a directory already visited, so a chain that loops back
// on itself is counted once, and at the largest count a 16-bit result holds.
uint16_t TIFFCountDirectories(TIFFHandle* h) {
    uint64_t offset = firstDirectoryOffset(h);
    std::unordered_set<uint64_t> seen;
    uint32_t n = 0;
    while (offset != 0 && n < maxDirectories) {
        if (!seen.insert(offset).second) break;
        if (!TIFFAdvanceDirectory(h, &offset, nullptr)) break;
        ++n;
    }
    return uint16_t(n);
}

int TIFFSelectDirectory(TIFFHandle* h, uint16_t n) {
    uint64_t offset = firstDirectoryOffset(h);
    std::unordered_set<uint64_t> seen;
    uint16_t advanced = 0;
    for (; advanced < n && offset != 0; ++advanced) {
        if (!seen.insert(offset).second) {
            offset = 0; // the chain loops: there is no directory n
            break;
        }
        if (!TIFFAdvanceDirectory(h, &offset, nullptr)) return 0;
    }
    h->nextDirOffset = offset;
    h->curDir = uint16_t(n - (n - advanced) - 1);
    h->seenDirCount = 0;
    return TIFFReadDirectory(h);
}

int TIFFSelectDirectoryAt(TIFFHandle* h, uint64_t offset) {
    h->nextDirOffset = offset;
    h->seenDirCount = 0;
    return TIFFReadDirectory(h);
}

uint64_t TIFFDirectoryOffset(const TIFFHandle* h) { return h->dirOffset; }
int TIFFIsLastDirectory(const TIFFHandle* h) { return h->nextDirOffset == 0; }

int TIFFUnlinkDirectory(TIFFHandle* h, uint16_t n) {
    static const char module[] = "TIFFUnlinkDirectory";
    if (h->openMode == OPEN_RDONLY) {
        errorExt(h, module, "Can not unlink directory in read-only file");
        return 0;
    }
    const bool big = isBigTiff(h);
    uint64_t offset = firstDirectoryOffset(h);
    uint64_t linkAt = big ? 8 : 4;
    for (uint16_t i = n > 0 ? n - 1 : 0; i > 0; --i) {
        if (offset == 0) {
            errorExt(h, module, "Directory %d does not exist", int(n));
            return 0;
        }
        if (!TIFFAdvanceDirectory(h, &offset, &linkAt)) return 0;
    }
    if (offset == 0) {
        errorExt(h, module, "Directory %d does not exist", int(n));
        return 0;
    }
    uint64_t next = offset;
    if (!TIFFAdvanceDirectory(h, &next, nullptr)) return 0;
    seekFile(h, linkAt, 0);
    bool ok;
    if (big) {
        if (h->flags & FLAG_SWAB) swapLong8(&next);
        ok = writeFile(h, &next, 8) == 8;
    } else {
        uint32_t l32 = uint32_t(next);
        if (h->flags & FLAG_SWAB) swapLong(&l32);
        ok = writeFile(h, &l32, 4) == 4;
    }
    if (!ok) {
        errorExt(h, module, "Error writing directory link (%d)", osError(h));
        return 0;
    }
    h->cleanup(h);
    if ((h->flags & FLAG_MYBUFFER) && h->rawData) {
        memFree(h->rawData);
        h->rawData = nullptr;
        h->rawCount = 0;
        h->rawDataSize = 0;
    }
    h->flags &= ~(FLAG_BEENWRITING | FLAG_BUFFERSETUP | FLAG_POSTENCODE);
    TIFFReleaseDirectory(h);
    TIFFStartDirectory(h); // fresh record, positions 0, row and strip none
    return 1;
}

} // namespace vqtiff
