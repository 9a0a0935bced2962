// A small reading model of TIFF and BigTIFF headers and image file
// directories, used by the slide readers independently of the TIFF library.
// Every multi-byte value kept in memory is little-endian, whatever the byte
// order of the file. The slide writers derive their writable classes from
// these, so fields are protected rather than private.
#pragma once

#include <cstdint>
#include <list>
#include <vector>

#include "engine/base/IntPair.h"
#include "engine/base/vq_refcount.h"
#include "jpeg/jpeg_stream_parser.h"

class vq_stream;

class vq_svs_stream_read {
public:
    vq_svs_stream_read() = default;
    virtual ~vq_svs_stream_read();
    vq_svs_stream_read(const vq_svs_stream_read&) = delete;
    vq_svs_stream_read& operator=(const vq_svs_stream_read&) = delete;

    void setStream(vq_stream* s);
    vq_stream* getStream() const { return stream.get(); }
    void setLittleEndian(bool little) { littleEndian = little; }
    bool isLittleEndian() const { return littleEndian; }

    // 0 on success, non-zero on failure.
    int seek(int64_t offset, int origin);
    int64_t tell();
    // Length of the whole stream; the position stays.
    int64_t size();
    int32_t readBytes(void* buffer, int32_t n);
    // Exactly 2, 4 or 8 bytes in the file's byte order; false on a short read.
    bool readU16(uint16_t* out);
    bool readU32(uint32_t* out);
    bool readU64(uint64_t* out);
    static void swapBytePairs(uint8_t* buffer, int32_t n);
    void pushPosition();
    int popPosition();

protected:
    bool littleEndian = true;
    vq_ptr<vq_stream> stream;
    std::vector<uint64_t> positions;
};

class vq_svs_header {
public:
    vq_svs_header() = default;
    virtual ~vq_svs_header() = default;

    bool read(vq_svs_stream_read* s);
    // Writes the 16-byte little-endian header of the flag's form at offset 0,
    // so that the first directory starts at offset 16 in both forms.
    bool write(vq_svs_stream_read* s) const;
    void setBigTIFF(bool b) { bigTIFF = b; }
    bool isBigTIFF() const { return bigTIFF; }
    uint64_t getFirstIfdOffset() const { return firstIfdOffset; }

protected:
    uint8_t magic[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    bool bigTIFF = false;
    bool secondFlag = false;
    uint64_t firstIfdOffset = 0;
};

// TIFF field types the model knows.
enum : int16_t {
    svsTypeByte = 1, svsTypeAscii = 2, svsTypeShort = 3, svsTypeLong = 4, svsTypeRational = 5,
    svsTypeSByte = 6, svsTypeUndefined = 7, svsTypeSShort = 8, svsTypeSLong = 9, svsTypeSRational = 10,
    svsTypeFloat = 11, svsTypeDouble = 12, svsTypeIfd = 13, svsTypeLong8 = 16, svsTypeSLong8 = 17,
    svsTypeIfd8 = 18,
};

class vq_svs_ifdItem_read {
public:
    explicit vq_svs_ifdItem_read(bool bigTIFF = false);
    vq_svs_ifdItem_read(const vq_svs_ifdItem_read&) = default;
    vq_svs_ifdItem_read& operator=(const vq_svs_ifdItem_read&) = default;
    virtual ~vq_svs_ifdItem_read() = default;

    void setType(int type);
    uint16_t getTag() const { return tag; }
    int16_t getType() const { return type; }
    int32_t getCount() const { return count; }
    // The count the entry declares, also while its values are not loaded.
    int32_t getDeclaredCount() const { return pendingCount != 0 ? pendingCount : count; }
    bool isValid() const { return tag != 0 && type != 0; }
    int64_t getByteSize() const { return int64_t(count) * elementSize; }

    bool read(vq_svs_stream_read* s);
    bool readValues(vq_svs_stream_read* s, int32_t n);
    // Loads pending values first; the value bytes (empty when they fit inline).
    const std::vector<uint8_t>& loadValues(vq_svs_stream_read* s);

    bool getInlineValue32(uint32_t* out) const;
    bool getValue32(uint32_t* out, int32_t i) const;
    bool getValue64(uint64_t* out, int32_t i) const;
    bool getRational(uint32_t* numerator, uint32_t* denominator) const;

    static const vq_svs_ifdItem_read& emptyItem();

protected:
    const uint8_t* valuePointer() const;

    uint64_t reserved = 0;
    uint16_t tag = 0;
    int16_t type = 0;
    int32_t count = 0;
    int32_t pendingCount = 0;
    int32_t elementSize = 0;
    uint8_t inlineValue[4] = {0, 0, 0, 0};
    std::vector<uint8_t> valueBytes;
    bool bigTIFF = false;
    uint64_t valueOffset = 0;
};

class vq_svs_ifdDir_read {
public:
    vq_svs_ifdDir_read() = default;
    vq_svs_ifdDir_read(const vq_svs_ifdDir_read&) = default;
    vq_svs_ifdDir_read& operator=(const vq_svs_ifdDir_read&) = default;
    virtual ~vq_svs_ifdDir_read() = default;

    void setOffset(uint64_t o) { offset = o; }
    uint64_t getOffset() const { return offset; }
    void setBigTIFF(bool b) { bigTIFF = b; }
    void setIndex(int i) { index = i; }
    int getIndex() const { return index; }

    bool read(vq_svs_stream_read* s);
    // The entry with that tag, or the empty entry.
    const vq_svs_ifdItem_read& findItem(uint16_t tag) const;
    vq_svs_ifdItem_read& findItemForLoad(uint16_t tag);
    bool addItem(const vq_svs_ifdItem_read& item);

    bool hasEntries() const { return !entries.empty(); }
    IntPair getImageSize() const { return imageSize; }
    IntPair getTileSize() const { return tileSize; }
    IntPair getTileGrid() const { return tileGrid; }
    bool isTiled() const { return tiled; }
    uint64_t getNextOffset() const { return nextOffset; }
    int getPixelFormat(vq_svs_stream_read* s);
    int64_t getLoadedValueBytes() const;

    // Inline 16/32-bit value of a tag, or the fallback when absent.
    uint32_t inlineValueOr(uint16_t tag, uint32_t fallback) const;
    // Value bytes of a tag loaded through the stream (empty when absent).
    const std::vector<uint8_t>& loadItem(uint16_t tag, vq_svs_stream_read* s);

protected:
    JpegStreamParser parser;
    IntPair tileGrid{0, 0};
    bool bigTIFF = false;
    bool tiled = false;
    IntPair tileSize{0, 0};
    IntPair imageSize{0, 0};
    int32_t writerField = 0;
    int32_t index = 0;
    uint64_t offset = 0;
    uint64_t nextOffset = 0;
    std::list<vq_svs_ifdItem_read> entries;
};

// Compression of a slide directory: 1 when the entry is absent, and the
// JPEG 2000 variant 33005 counted as 33003.
int slideCompression(const vq_svs_ifdDir_read& dir);
