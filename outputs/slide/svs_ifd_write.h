// The directory model with which the slide writers build and write their TIFF
// files: entries with typed values, directories of entries and a little-endian
// file stream. Every directory and every out-of-line value area is reserved at
// the size its BigTIFF form needs, so a file begun as classic TIFF can be
// turned into BigTIFF in place when it is finished.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <list>
#include <utility>
#include <vector>

#include "engine/base/raw_tile.h"
#include "readers/tiff/svs_ifd.h"

class vq_svs_stream : public vq_svs_stream_read {
public:
    vq_svs_stream() { setLittleEndian(true); }

    // Each true when all its bytes were written, little-endian.
    bool writeU16(uint16_t v);
    bool writeU32(uint32_t v);
    bool writeU64(uint64_t v);
    bool writeS64(int64_t v);
    bool writeZeros(uint64_t n);
    // Bytes written.
    int64_t writeBytes(const void* data, int64_t n);
};

class vq_svs_ifdItem : public vq_svs_ifdItem_read {
public:
    vq_svs_ifdItem() : vq_svs_ifdItem_read(false) {}
    vq_svs_ifdItem(uint16_t tag, int type) : vq_svs_ifdItem_read(false) {
        setTag(tag);
        setType(type);
    }

    void setTag(uint16_t t) { tag = t; }
    // Sets type and element size; replacing a type set before is reported.
    void setType(int type);
    bool appendShort(uint16_t v);
    bool appendLong(uint32_t v);
    bool appendSShort(int16_t v);
    bool appendSLong(int32_t v);
    bool appendLong8(uint64_t v);
    bool appendSLong8(int64_t v);
    bool appendByte(uint8_t v);
    bool appendSByte(int8_t v);
    bool appendBytes(const void* data, int32_t n);
    // ASCII entries only: replaces or appends the text with its NUL.
    bool setString(const char* text, bool append);
    // Grows the entry to n values (new ones zero); shrinking is refused.
    bool setCount(int32_t n);
    bool setShortAt(uint16_t v, int32_t i);
    bool setLongAt(uint32_t v, int32_t i);
    bool setLong8At(uint64_t v, int32_t i);
    void clearValues();

    bool isBigTIFF() const { return bigTIFF; }
    void setBigTIFF(bool b) { bigTIFF = b; }
    uint64_t getDataPosition() const { return reserved; }
    uint64_t getValueOffset() const { return valueOffset; }
    const std::vector<uint8_t>& getValueBytes() const { return valueBytes; }

    // Writes the 12- or 20-byte entry at the stream position.
    bool writeEntry(vq_svs_stream* s);
    // Writes the out-of-line value area; true also when the values fit in the
    // entry itself.
    bool writeValueData(vq_svs_stream* s);
    // Value bytes that still need a place in the file.
    int64_t pendingBytes() const;

private:
    bool appendRaw(const uint8_t* bytes, int32_t n);
    bool appendTyped(std::initializer_list<int> types, uint64_t v, int width);
    bool setAt(uint64_t v, int32_t i, int width);
    uint8_t* valueData() { return getByteSize() <= 4 ? inlineValue : valueBytes.data(); }
    bool fitsInEntry() const;
};

class vq_svs_ifdDir : public vq_svs_ifdDir_read {
public:
    vq_svs_ifdDir() = default;

    bool addItem(const vq_svs_ifdItem& item);
    // The entry with that tag, or the shared empty entry.
    const vq_svs_ifdItem& findItem(uint16_t tag) const;
    vq_svs_ifdItem* findItemForEdit(uint16_t tag);
    const std::list<vq_svs_ifdItem>& items() const { return items_; }

    // Makes the raw tile the table source and adds its JPEGTables entry.
    bool attachJpegTables(vq_raw_tile* tile);
    // The raw tile's Huffman and quantisation tables equal the table source's.
    bool tablesMatch(vq_raw_tile* tile) const;
    // A copy of the raw tile without its table segments.
    bool makeAbbreviatedTile(vq_raw_tile* tile, vq_ptr<vq_raw_tile>& out) const;

    bool writeDirectory(vq_svs_stream* s);
    bool writeAll(vq_svs_stream* s);
    // Bytes the directory still needs in the file.
    int64_t pendingSize() const;

    int getLevel() const { return level_; }
    void setLevel(int l) { level_ = l; }
    bool isTiledImage() const { return tiled; }
    void setTiled(bool t) { tiled = t; }
    IntPair getGrid() const { return tileGrid; }
    void setGrid(IntPair g) { tileGrid = g; }
    int getQuality() const { return quality_; }
    void setQuality(int q) { quality_ = q; }
    int getColourSpace() const { return colourSpace_; }
    void setColourSpace(int c) { colourSpace_ = c; }
    int getPixelFormat() const { return pixelFormat_; }
    void setPixelFormat(int f) { pixelFormat_ = f; }
    bool isBigTIFF() const { return bigTIFF; }
    void setNextOffset(uint64_t o) { nextOffset = o; }
    uint64_t getPosition() const { return offset; }
    bool isPlaced() const { return offset != 0; }
    vq_raw_tile* getTableSource() const { return tableSource_.get(); }
    const JpegStreamParser& getParser() const { return parser; }

private:
    std::list<vq_svs_ifdItem> items_;
    int level_ = 0;
    vq_ptr<vq_raw_tile> tableSource_;
    int quality_ = 50;
    int colourSpace_ = 3;
    int pixelFormat_ = 3;
};

// Entry helpers of the slide savers' directories.
namespace slide_ifd {

// The YCbCrSubSampling pair of a JPEG subsampling code (1 to 4; other codes 2, 2).
std::pair<uint16_t, uint16_t> subsamplingPair(int code);
void addShorts(vq_svs_ifdDir& dir, uint16_t tag, std::initializer_list<uint16_t> values);
void addLong(vq_svs_ifdDir& dir, uint16_t tag, uint32_t value);
// BitsPerSample and SamplesPerPixel of a pixel format (3 and 4: 8, 8, 8;
// 6: 8; 11: 16; 12: 16, 16, 16); other formats get entries without values.
void addBitsPerSample(vq_svs_ifdDir& dir, int pixelFormat);
void addSamplesPerPixel(vq_svs_ifdDir& dir, int pixelFormat);
// An entry of `count` zero values of that type (no value when count is 0).
void addZeros(vq_svs_ifdDir& dir, uint16_t tag, int type, int64_t count);
// Value i of a LONG or LONG8 table entry.
bool setTableValue(vq_svs_ifdDir& dir, uint16_t tag, int64_t i, uint64_t value);
bool tableValue(const vq_svs_ifdDir& dir, uint16_t tag, int64_t i, uint64_t* out);
// Writes `head` and then each of `rest` with all their values in the given
// form, each directory chained to the next and the last to 0; a second pass
// links the directories that the first pass placed. Null on success, else
// what failed.
const char* writeDirectoryChain(vq_svs_ifdDir& head, std::list<vq_svs_ifdDir>& rest, vq_svs_stream* s,
                                bool bigTiff);

} // namespace slide_ifd
