// The TIFF handle: opening over client procedures, header checks, release
// and the handle's accessors.
#include "tiff/vqtiff_internal.h"

#include <cstring>

namespace vqtiff {

namespace {

int failingMap(void*, void**, uint64_t*) { return 0; }
void noopUnmap(void*, void*, uint64_t) {}

} // namespace

int parseOpenMode(const char* mode, const char* module) {
    switch (mode[0]) {
    case 'r': return mode[1] == '+' ? OPEN_RDWR : OPEN_RDONLY;
    case 'w': return OPEN_RDWR | OPEN_CREAT | OPEN_TRUNC;
    case 'a': return OPEN_RDWR | OPEN_CREAT;
    default:
        TIFFReportError(module, "\"%s\": Bad mode", mode);
        return -1;
    }
}

TIFFHandle* TIFFClientOpen(const char* name, const char* mode, void* clientData,
                           TIFFReadWriteProc readProc, TIFFReadWriteProc writeProc,
                           TIFFSeekProc seekProc, TIFFCloseProc closeProc, TIFFSizeProc sizeProc,
                           TIFFMapFileProc mapProc, TIFFUnmapFileProc unmapProc) {
    static const char module[] = "TIFFClientOpen";
    int m = parseOpenMode(mode, module);
    if (m == -1) return nullptr;

    size_t nameLength = std::strlen(name);
    auto* h = static_cast<TIFFHandle*>(memAlloc(sizeof(TIFFHandle) + nameLength + 1));
    if (!h) {
        TIFFReportErrorExt(clientData, module, "%s: Out of memory (TIFF structure)", name);
        return nullptr;
    }
    memFill(h, 0, sizeof(TIFFHandle));
    h->fileName = reinterpret_cast<char*>(h + 1);
    memCopy(h->fileName, name, nameLength + 1);
    h->openMode = m & ~(OPEN_CREAT | OPEN_TRUNC);
    h->curDir = 0xFFFF;
    h->curStrip = 0xFFFFFFFFu;
    h->curRow = 0xFFFFFFFFu;
    h->clientData = clientData;
    if (!readProc || !writeProc || !seekProc || !closeProc || !sizeProc) {
        TIFFReportErrorExt(clientData, module, "One of the client procedures is NULL pointer.");
        memFree(h);
        return nullptr;
    }
    h->readProc = readProc;
    h->writeProc = writeProc;
    h->seekProc = seekProc;
    h->closeProc = closeProc;
    h->sizeProc = sizeProc;
    h->mapProc = mapProc ? mapProc : failingMap;
    h->unmapProc = unmapProc ? unmapProc : noopUnmap;
    h->osErrorHook = nullptr;
    TIFFResetCodecMethods(h);

    h->flags = FILLORDER_MSB2LSB;
    if (m == OPEN_RDONLY) h->flags |= FLAG_MAPPED;
    if (m == OPEN_RDONLY || m == OPEN_RDWR) h->flags |= FLAG_STRIPCHOP;

    for (const char* c = mode; *c; ++c) {
        switch (*c) {
        case 'b':
            if (m & OPEN_CREAT) h->flags |= FLAG_SWAB;
            break;
        case 'B': h->flags = (h->flags & ~FLAG_FILLORDER_MASK) | FILLORDER_MSB2LSB; break;
        case 'L':
        case 'H': h->flags = (h->flags & ~FLAG_FILLORDER_MASK) | FILLORDER_LSB2MSB; break;
        case 'M':
            if (m == OPEN_RDONLY) h->flags |= FLAG_MAPPED;
            break;
        case 'm':
            if (m == OPEN_RDONLY) h->flags &= ~FLAG_MAPPED;
            break;
        case 'C':
            if (m == OPEN_RDONLY) h->flags |= FLAG_STRIPCHOP;
            break;
        case 'c':
            if (m == OPEN_RDONLY) h->flags &= ~FLAG_STRIPCHOP;
            break;
        case 'h': h->flags |= FLAG_HEADERONLY; break;
        case '8': h->flags |= FLAG_BIGTIFF; break;
        case '4': h->flags |= FLAG_CLASSICFORCED; break;
        default: break;
        }
    }

    auto fail = [&]() -> TIFFHandle* {
        h->openMode = OPEN_RDONLY; // nothing gets flushed
        TIFFReleaseHandle(h);
        return nullptr;
    };
    auto writeHeader = [&]() -> bool {
        uint8_t bytes[16] = {};
        bool big = (h->flags & FLAG_SWAB) != 0;
        uint16_t magic = big ? MAGIC_BIG : MAGIC_LITTLE;
        memCopy(bytes, &magic, 2);
        auto put16 = [&](int at, uint16_t v) {
            if (big) swapShort(&v);
            memCopy(bytes + at, &v, 2);
        };
        memFill(&h->header, 0, sizeof(h->header));
        h->header.magic = magic;
        if (h->flags & FLAG_BIGTIFF) {
            put16(2, VERSION_BIG);
            put16(4, 8);
            h->header.version = VERSION_BIG;
            h->header.u.big.offsetSize = 8;
        } else {
            put16(2, VERSION_CLASSIC);
            h->header.version = VERSION_CLASSIC;
        }
        seekFile(h, 0, 0);
        if (writeFile(h, bytes, 16) != 16) {
            errorExt(h, name, "Error writing TIFF header (%d)", osError(h));
            return false;
        }
        if (magic == MAGIC_BIG) h->flags |= FLAG_SWAB;
        if (!TIFFResetDirectory(h)) return false;
        h->dirOffset = 0;
        h->seenDirCount = 0;
        return true;
    };

    if (mode[0] == 'w') return writeHeader() ? h : fail();

    uint8_t raw[16];
    if (readFile(h, raw, 16) != 16) {
        if (h->openMode == OPEN_RDONLY) {
            errorExt(h, name, "Cannot read TIFF header (%d)", osError(h));
            return fail();
        }
        return writeHeader() ? h : fail();
    }
    memCopy(&h->header, raw, 16);
    TIFFHeader& hd = h->header;
    if (hd.magic != MAGIC_BIG && hd.magic != MAGIC_LITTLE && hd.magic != MAGIC_MDI) {
        errorExt(h, name, "Not a TIFF or MDI file, bad magic number %d (0x%x)", int(hd.magic),
                 unsigned(hd.magic));
        return fail();
    }
    // An existing file's own mark decides its byte order; the letter 'b'
    // only chooses the order of a new file.
    if (hd.magic == MAGIC_BIG)
        h->flags |= FLAG_SWAB;
    else
        h->flags &= ~FLAG_SWAB;
    bool swab = (h->flags & FLAG_SWAB) != 0;
    if (swab) swapShort(&hd.version);
    if (hd.version == VERSION_CLASSIC) {
        if (h->flags & FLAG_BIGTIFF) {
            errorExt(h, name, "Cannot process non-BigTIFF file, '64' mode specified");
            return fail();
        }
        if (swab) swapLong(&hd.u.classicDirOffset);
        hd.bigDirOffset = 0;
    } else if (hd.version == VERSION_BIG) {
        if (h->flags & FLAG_CLASSICFORCED) {
            errorExt(h, name, "Cannot process BigTIFF file, '32' mode specified");
            return fail();
        }
        h->flags |= FLAG_BIGTIFF;
        if (swab) {
            swapShort(&hd.u.big.offsetSize);
            swapLong8(&hd.bigDirOffset);
        }
        if (hd.u.big.offsetSize != 8) {
            errorExt(h, name, "Offset size in BigTIFF is %d, expected 8", int(hd.u.big.offsetSize));
            return fail();
        }
    } else {
        errorExt(h, name, "Not a TIFF file, bad version number %d (0x%x)", int(hd.version),
                 unsigned(hd.version));
        return fail();
    }

    h->flags |= FLAG_MYBUFFER;
    h->rawData = nullptr;
    h->rawCursor = nullptr;
    h->rawDataSize = 0;
    if (h->flags & FLAG_HEADERONLY) {
        h->flags &= ~FLAG_MAPPED; // nothing has been mapped
        return h;
    }

    if (mode[0] == 'a') return TIFFResetDirectory(h) ? h : fail();

    h->nextDirOffset = isBigTiff(h) ? hd.bigDirOffset : hd.u.classicDirOffset;
    if (h->flags & FLAG_MAPPED) {
        void* base = nullptr;
        uint64_t size = 0;
        if (h->mapProc(h->clientData, &base, &size)) {
            h->mappedBase = static_cast<uint8_t*>(base);
            h->mappedSize = size;
        } else {
            h->flags &= ~FLAG_MAPPED;
        }
    }
    if (TIFFReadDirectory(h)) {
        h->rawCount = -1;
        h->flags |= FLAG_BUFFERSETUP;
        return h;
    }
    return fail();
}

void TIFFReleaseHandle(TIFFHandle* h) {
    if (!h) return;
    if (h->openMode != OPEN_RDONLY) TIFFFlushFile(h);
    h->cleanup(h);
    TIFFReleaseDirectory(h);
    memFree(h->seenDirOffsets);
    if (h->rawData && (h->flags & FLAG_MYBUFFER)) memFree(h->rawData);
    if (h->flags & FLAG_MAPPED) h->unmapProc(h->clientData, h->mappedBase, h->mappedSize);
    freeTagDefs(h);
    memFree(h);
}

void TIFFCloseFile(TIFFHandle* h) {
    if (!h) return;
    TIFFCloseProc closeProc = h->closeProc;
    void* clientData = h->clientData;
    TIFFReleaseHandle(h);
    closeProc(clientData);
}

// ---- accessors ----

const char* TIFFFileName(const TIFFHandle* h) { return h->fileName; }
const char* TIFFSetFileName(TIFFHandle* h, const char* name) {
    const char* previous = h->fileName;
    h->fileName = const_cast<char*>(name);
    return previous;
}
int TIFFFileDescriptor(const TIFFHandle* h) { return h->fileDescriptor; }
int TIFFSetFileDescriptor(TIFFHandle* h, int fd) {
    int previous = h->fileDescriptor;
    h->fileDescriptor = fd;
    return previous;
}
void* TIFFClientData(const TIFFHandle* h) { return h->clientData; }
void* TIFFSetClientData(TIFFHandle* h, void* clientData) {
    void* previous = h->clientData;
    h->clientData = clientData;
    return previous;
}
int TIFFOpenMode(const TIFFHandle* h) { return h->openMode; }
int TIFFSetOpenMode(TIFFHandle* h, int mode) {
    int previous = h->openMode;
    h->openMode = mode;
    return previous;
}
uint32_t TIFFCurrentRow(const TIFFHandle* h) { return h->curRow; }
uint16_t TIFFCurrentDirectory(const TIFFHandle* h) { return h->curDir; }
uint32_t TIFFCurrentStrip(const TIFFHandle* h) { return h->curStrip; }
uint32_t TIFFCurrentTile(const TIFFHandle* h) { return h->curTile; }
int TIFFHasTiles(const TIFFHandle* h) { return isTiled(h) ? 1 : 0; }
int TIFFUsesBigTIFF(const TIFFHandle* h) { return isBigTiff(h) ? 1 : 0; }
int TIFFIsByteSwapped(const TIFFHandle* h) { return (h->flags & FLAG_SWAB) ? 1 : 0; }
int TIFFIsUpSampled(const TIFFHandle* h) { return (h->flags & FLAG_UPSAMPLED) ? 1 : 0; }
int TIFFIsMSB2LSB(const TIFFHandle* h) {
    return (h->flags & FLAG_FILLORDER_MASK) == FILLORDER_MSB2LSB ? 1 : 0;
}
int TIFFIsBigEndian(const TIFFHandle* h) { return h->header.magic == MAGIC_BIG ? 1 : 0; }
TIFFReadWriteProc TIFFGetReadProc(const TIFFHandle* h) { return h->readProc; }
TIFFReadWriteProc TIFFGetWriteProc(const TIFFHandle* h) { return h->writeProc; }
TIFFSeekProc TIFFGetSeekProc(const TIFFHandle* h) { return h->seekProc; }
TIFFCloseProc TIFFGetCloseProc(const TIFFHandle* h) { return h->closeProc; }
TIFFSizeProc TIFFGetSizeProc(const TIFFHandle* h) { return h->sizeProc; }
TIFFMapFileProc TIFFGetMapFileProc(const TIFFHandle* h) { return h->mapProc; }
TIFFUnmapFileProc TIFFGetUnmapFileProc(const TIFFHandle* h) { return h->unmapProc; }

} // namespace vqtiff
