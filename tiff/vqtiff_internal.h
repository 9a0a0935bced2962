// Internals of the TIFF library shared by its source files and its tests:
// the handle, the codec slots and the routines the Parts call on each other.
#pragma once

#include "tiff/vqtiff.h"
#include "tiff/vqtiff_dir.h"

#include <cstddef>

namespace vqtiff {

// Flag word of a handle (bits 0-1: the natural fill order).
enum : uint32_t {
    FLAG_FILLORDER_MASK = 0x3,
    FILLORDER_MSB2LSB = 1,
    FILLORDER_LSB2MSB = 2,
    FLAG_DIRTYDIRECT = 0x8,
    FLAG_BUFFERSETUP = 0x10,
    FLAG_CODERSETUP = 0x20,
    FLAG_BEENWRITING = 0x40,
    FLAG_SWAB = 0x80,
    FLAG_NOBITREV = 0x100,
    FLAG_MYBUFFER = 0x200,
    FLAG_ISTILED = 0x400,
    FLAG_MAPPED = 0x800,
    FLAG_POSTENCODE = 0x1000,
    FLAG_INSUBIFD = 0x2000,
    FLAG_UPSAMPLED = 0x4000,
    FLAG_STRIPCHOP = 0x8000,
    FLAG_HEADERONLY = 0x10000,
    FLAG_NOREADRAW = 0x20000,
    FLAG_BIGTIFF = 0x100000,
    FLAG_CLASSICFORCED = 0x200000,
};

enum : int { OPEN_RDONLY = 0, OPEN_WRONLY = 1, OPEN_RDWR = 2, OPEN_CREAT = 0x100, OPEN_TRUNC = 0x200 };

constexpr uint16_t MAGIC_BIG = 0x4D4D;
constexpr uint16_t MAGIC_LITTLE = 0x4949;
constexpr uint16_t MAGIC_MDI = 0x5045;
constexpr uint16_t VERSION_CLASSIC = 42;
constexpr uint16_t VERSION_BIG = 43;

// The header in machine byte order; classic files leave bytes 8-15 zero.
struct TIFFHeader {
    uint16_t magic;
    uint16_t version;
    union {
        uint32_t classicDirOffset;
        struct {
            uint16_t offsetSize;
            uint16_t reserved;
        } big;
    } u;
    uint64_t bigDirOffset;
};
static_assert(sizeof(TIFFHeader) == 16, "the header record is 16 bytes");

using TIFFBoolMethod = int (*)(TIFFHandle*);
using TIFFPreMethod = int (*)(TIFFHandle*, uint16_t sample);
using TIFFCodeMethod = int (*)(TIFFHandle*, uint8_t* buffer, int64_t size, uint16_t sample);
using TIFFSeekMethod = int (*)(TIFFHandle*, uint32_t rows);
using TIFFVoidMethod = void (*)(TIFFHandle*);
using TIFFPostMethod = void (*)(TIFFHandle*, uint8_t* buffer, int64_t size);
using TIFFStripSizeMethod = uint32_t (*)(TIFFHandle*, uint32_t rows);
using TIFFTileSizeMethod = void (*)(TIFFHandle*, uint32_t* width, uint32_t* length);
using TIFFVSetMethod = int (*)(TIFFHandle*, uint32_t tag, va_list args);
using TIFFVGetMethod = int (*)(TIFFHandle*, uint32_t tag, va_list args);
using TIFFPrintMethod = void (*)(TIFFHandle*, FILE* stream, long flags);
using TIFFErrorCodeHook = int (*)();

struct TIFFHandle {
    char* fileName;
    int fileDescriptor;
    int openMode;
    uint32_t flags;
    uint64_t dirOffset;
    uint64_t nextDirOffset;
    uint64_t* seenDirOffsets;
    uint16_t seenDirCount;
    TIFFDirRecord dir;
    TIFFHeader header;
    uint32_t curRow;
    uint16_t curDir;
    uint32_t curStrip;
    uint64_t writeOffset;
    uint64_t dataOffset;
    uint16_t pendingSubIfds;
    uint64_t subIfdLinkOffset;
    uint32_t curCol;
    uint32_t curTile;
    int64_t tileByteSize;
    // codec slots
    int decodeStatus;
    TIFFBoolMethod setupDecode;
    TIFFPreMethod preDecode;
    TIFFBoolMethod setupEncode;
    int encodeStatus;
    TIFFPreMethod preEncode;
    TIFFBoolMethod postEncode;
    TIFFCodeMethod decodeRow;
    TIFFCodeMethod encodeRow;
    TIFFCodeMethod decodeStrip;
    TIFFCodeMethod encodeStrip;
    TIFFCodeMethod decodeTile;
    TIFFCodeMethod encodeTile;
    TIFFVoidMethod closeHook;
    TIFFSeekMethod seekRows;
    TIFFVoidMethod cleanup;
    TIFFStripSizeMethod defaultStripSize;
    TIFFTileSizeMethod defaultTileSize;
    void* codecState;
    int64_t scanlineByteSize;
    uint8_t* rawData;
    int64_t rawDataSize;
    uint8_t* rawCursor;
    int64_t rawCount;
    uint8_t* mappedBase;
    uint64_t mappedSize;
    TIFFMapFileProc mapProc;
    TIFFUnmapFileProc unmapProc;
    void* clientData;
    TIFFReadWriteProc readProc;
    TIFFReadWriteProc writeProc;
    TIFFSeekProc seekProc;
    TIFFCloseProc closeProc;
    TIFFSizeProc sizeProc;
    TIFFErrorCodeHook osErrorHook;
    TIFFPostMethod postDecode;
    const TIFFTagDef** tagDefs;
    size_t tagDefCount;
    const TIFFTagDef* lastTagDef;
    TIFFVSetMethod setFieldHook;
    TIFFVGetMethod getFieldHook;
    TIFFPrintMethod printDirectoryHook;
    // End of the current directory and its out-of-line values as last
    // written (0 while it has no place): an in-place rewrite must not run
    // into data appended after it.
    uint64_t dirEndOffset;
};

// ---- field bits ----
inline bool fieldSet(const TIFFHandle* h, unsigned bit) {
    return (h->dir.fieldsSet[bit / 32] >> (bit % 32)) & 1u;
}
inline void setFieldBit(TIFFHandle* h, unsigned bit) { h->dir.fieldsSet[bit / 32] |= 1u << (bit % 32); }
inline void clearFieldBit(TIFFHandle* h, unsigned bit) {
    h->dir.fieldsSet[bit / 32] &= ~(1u << (bit % 32));
}
inline bool isTiled(const TIFFHandle* h) { return (h->flags & FLAG_ISTILED) != 0; }
inline bool isBigTiff(const TIFFHandle* h) { return (h->flags & FLAG_BIGTIFF) != 0; }
inline bool fillOrderMatches(const TIFFHandle* h) {
    return (h->flags & h->dir.fillOrder) != 0;
}

// ---- client procedure shorthands ----
inline int64_t readFile(TIFFHandle* h, void* buf, int64_t n) { return h->readProc(h->clientData, buf, n); }
inline int64_t writeFile(TIFFHandle* h, const void* buf, int64_t n) {
    return h->writeProc(h->clientData, const_cast<void*>(buf), n);
}
inline uint64_t seekFile(TIFFHandle* h, uint64_t off, int whence) {
    return h->seekProc(h->clientData, off, whence);
}
inline uint64_t fileSize(TIFFHandle* h) { return h->sizeProc(h->clientData); }
inline int osError(const TIFFHandle* h) { return h->osErrorHook ? h->osErrorHook() : 0; }

// ---- memory (diagnostics and memory) ----
void* memAlloc(size_t n);
void memFree(void* p);
void* memResize(void* p, size_t n);
void memFill(void* p, int value, size_t n);
void memCopy(void* dst, const void* src, size_t n);
int memCompare(const void* a, const void* b, size_t n);
void* TIFFCheckedMalloc(TIFFHandle* h, size_t count, size_t size, const char* what);
void* TIFFCheckedRealloc(TIFFHandle* h, void* block, size_t count, size_t size, const char* what);

// Message shorthands that always pass the handle's client data.
void errorExt(TIFFHandle* h, const char* module, const char* format, ...) VQTIFF_PRINTF(3, 4);
void warningExt(TIFFHandle* h, const char* module, const char* format, ...) VQTIFF_PRINTF(3, 4);

// ---- opening ----
int parseOpenMode(const char* mode, const char* module);

// ---- byte order and value copies ----
void swapShort(uint16_t* v);
void swapLong(uint32_t* v);
void swapLong8(uint64_t* v);
void swapShortArray(uint16_t* v, size_t n);
void swapTripleArray(uint8_t* v, size_t n);
void swapLongArray(uint32_t* v, size_t n);
void swapLong8Array(uint64_t* v, size_t n);
void swapDouble(double* v);
void swapDoubleArray(double* v, size_t n);
const uint8_t* bitReversalTable(bool reversed);
void reverseBitOrder(uint8_t* bytes, size_t n);
void replaceArray(void** place, const void* source, size_t count, size_t size);
void replaceBytes(void** place, const void* source, size_t count);
void replaceString(char** place, const char* text);
void replaceShorts(uint16_t** place, const uint16_t* source, size_t count);
void replaceLongs(uint32_t** place, const uint32_t* source, size_t count);
void replaceLong8s(uint64_t** place, const uint64_t* source, size_t count);
void replaceFloats(float** place, const float* source, size_t count);
void replaceDoubles(double** place, const double* source, size_t count);

// ---- tag definitions ----
const TIFFTagDef* getBaseTagTable(size_t* count);
const TIFFTagDef* getExifTagTable(size_t* count);
int typeStorageSize(uint32_t type);
uint32_t sampleValueType(TIFFHandle* h);
void _TIFFSetupFieldInfo(TIFFHandle* h, const TIFFTagDef* table, size_t count);
int _TIFFMergeFieldInfo(TIFFHandle* h, const TIFFTagDef* table, size_t count);
const TIFFTagDef* findTagDef(TIFFHandle* h, uint32_t tag, uint32_t type);
const TIFFTagDef* findTagDefByName(TIFFHandle* h, const char* name, uint32_t type);
const TIFFTagDef* findOrAddTagDef(TIFFHandle* h, uint32_t tag, uint32_t type);
TIFFTagDef* TIFFMakeAnonymousTagDef(TIFFHandle* h, uint32_t tag, uint32_t type);
bool isAnonymousTagDef(const TIFFTagDef* def);
void freeTagDefs(TIFFHandle* h);
void dumpTagDefs(TIFFHandle* h, FILE* stream);

// ---- directory record ----
int TIFFResetDirectory(TIFFHandle* h);
int TIFFStartDirectory(TIFFHandle* h);
void TIFFReleaseDirectory(TIFFHandle* h);
int _TIFFVSetField(TIFFHandle* h, uint32_t tag, va_list args);
int _TIFFVGetField(TIFFHandle* h, uint32_t tag, va_list args);
using TIFFDirectoryInitHook = void (*)(TIFFHandle*);
TIFFDirectoryInitHook TIFFSetDirectoryInitHook(TIFFDirectoryInitHook hook);

// ---- directory entry values ----
// A raw entry in machine byte order; the value field keeps the file's bytes.
struct TIFFDirEntry {
    uint16_t tag;
    uint16_t type;
    uint64_t count;
    union {
        uint8_t bytes[8];
        uint32_t u32;
        uint64_t u64;
    } value;
};
int fetchNormalTag(TIFFHandle* h, TIFFDirEntry* e);
int checkEntryCount(TIFFHandle* h, TIFFDirEntry* e, uint64_t expected);
int fetchPerSampleShorts(TIFFHandle* h, TIFFDirEntry* e, uint16_t* out);
int fetchPerSampleLongs(TIFFHandle* h, TIFFDirEntry* e, uint32_t* out);
int fetchPerSampleAnys(TIFFHandle* h, TIFFDirEntry* e, double* out);
int fetchStripArray(TIFFHandle* h, TIFFDirEntry* e, uint32_t nstrips, uint64_t** array, bool offsets);
int fetchShortPair(TIFFHandle* h, TIFFDirEntry* e);
int fetchRefBlackWhite(TIFFHandle* h, TIFFDirEntry* e);
int fetchEntryData(TIFFHandle* h, const TIFFDirEntry* e, void* dest);
int fetchShortArray(TIFFHandle* h, const TIFFDirEntry* e, uint16_t* dest);
int fetchLongArray(TIFFHandle* h, const TIFFDirEntry* e, uint32_t* dest);
int fetchLong8Array(TIFFHandle* h, const TIFFDirEntry* e, uint64_t* dest);
uint32_t entryCount32(const TIFFDirEntry* e);
// Bytes of the entry's values, or 0 after reporting when they cannot be
// fetched (also when they would lie beyond the end of the file).
uint32_t entryDataSize(TIFFHandle* h, const TIFFDirEntry* e);

// ---- navigation and codecs ----
void TIFFResetCodecMethods(TIFFHandle* h);
int TIFFSelectCodec(TIFFHandle* h, uint16_t scheme);
int initUnavailableCodec(TIFFHandle* h, int scheme);
int initDumpMode(TIFFHandle* h, int scheme);
int initPackBits(TIFFHandle* h, int scheme);
int initNeXT(TIFFHandle* h, int scheme);
int TIFFInitLZW(TIFFHandle* h, int scheme);
int TIFFInitZIP(TIFFHandle* h, int scheme);
int TIFFInitJPEG(TIFFHandle* h, int scheme);
int TIFFInitSGILog(TIFFHandle* h, int scheme);
int TIFFKeySet(int operation, uint32_t key);

// ---- geometry ----
uint32_t defaultStripSizeMethod(TIFFHandle* h, uint32_t rows);
void defaultTileSizeMethod(TIFFHandle* h, uint32_t* width, uint32_t* length);

// ---- read path ----
void postDecodeNone(TIFFHandle* h, uint8_t* buf, int64_t n);
void postDecodeSwap16(TIFFHandle* h, uint8_t* buf, int64_t n);
void postDecodeSwap24(TIFFHandle* h, uint8_t* buf, int64_t n);
void postDecodeSwap32(TIFFHandle* h, uint8_t* buf, int64_t n);
void postDecodeSwap64(TIFFHandle* h, uint8_t* buf, int64_t n);

// ---- write path pieces the encoders need ----
int TIFFWriteBufferSetup(TIFFHandle* h, void* buffer, int64_t size);
int allocateStripArrays(TIFFHandle* h);
int TIFFAppendToStrip(TIFFHandle* h, uint32_t strip, const uint8_t* data, int64_t count);
int TIFFFlushRawBuffer(TIFFHandle* h);
int TIFFFlushPending(TIFFHandle* h);
int TIFFCheckWritable(TIFFHandle* h, int tiles, const char* module);
int extendStripArrays(TIFFHandle* h, uint32_t added, const char* module);

// ---- directory writing and promotion ----
int TIFFLinkDirectory(TIFFHandle* h);
int TIFFCheckBigTIFF(TIFFHandle* h);
// Writes the 16-byte header record at byte 0 in the file's byte order.
int writeHeaderRecord(TIFFHandle* h);
// Positioned reads and writes of whole blocks; false when short.
bool readAt(TIFFHandle* h, uint64_t position, void* data, int64_t n);
bool writeAt(TIFFHandle* h, uint64_t position, const void* data, int64_t n);
// A link or position of the file's offset width (4 or 8 bytes), in file order.
bool writeLinkAt(TIFFHandle* h, uint64_t position, uint64_t value, bool big);

// ---- predictor ----
// The state every predicting codec's state begins with.
struct PredictorState {
    int predictor;
    int stride;
    int64_t rowSize;
    void (*rowRoutine)(TIFFHandle*, uint8_t*, int64_t);
    TIFFCodeMethod codeRow;
    TIFFCodeMethod codeStrip;
    TIFFCodeMethod codeTile;
    TIFFVGetMethod getParent;
    TIFFVSetMethod setParent;
    TIFFPrintMethod printParent;
    TIFFBoolMethod setupDecodeParent;
    TIFFBoolMethod setupEncodeParent;
    bool decodeWrapped;
    bool encodeWrapped;
};
int predictorInit(TIFFHandle* h);
int predictorCleanup(TIFFHandle* h);
int PredictorSetup(TIFFHandle* h);

} // namespace vqtiff
