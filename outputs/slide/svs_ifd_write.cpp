#include "outputs/slide/svs_ifd_write.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/base/imageContainer.h"
#include "engine/base/stream.h"

namespace {

bool isLong8(int type) { return type == svsTypeLong8 || type == svsTypeSLong8; }

template <int N>
bool writeLE(vq_svs_stream& s, uint64_t v) {
    uint8_t b[N];
    for (int i = 0; i < N; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    return s.writeBytes(b, N) == N;
}

const vq_svs_ifdItem& emptyWriteItem() {
    static const vq_svs_ifdItem empty;
    return empty;
}

} // namespace

// ---------------------------------------------------------------------------
// Stream

bool vq_svs_stream::writeU16(uint16_t v) { return writeLE<2>(*this, v); }
bool vq_svs_stream::writeU32(uint32_t v) { return writeLE<4>(*this, v); }
bool vq_svs_stream::writeU64(uint64_t v) { return writeLE<8>(*this, v); }
bool vq_svs_stream::writeS64(int64_t v) { return writeLE<8>(*this, static_cast<uint64_t>(v)); }

bool vq_svs_stream::writeZeros(uint64_t n) {
    static const uint8_t zeros[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    while (n > 0) {
        const int piece = static_cast<int>(std::min<uint64_t>(n, 8));
        if (writeBytes(zeros, piece) != piece) return false;
        n -= static_cast<uint64_t>(piece);
    }
    return true;
}

int64_t vq_svs_stream::writeBytes(const void* data, int64_t n) {
    if (!stream || data == nullptr || n <= 0) return 0;
    const auto* p = static_cast<const uint8_t*>(data);
    int64_t done = 0;
    while (done < n) {
        const uint32_t piece = static_cast<uint32_t>(std::min<int64_t>(n - done, INT32_MAX));
        const int32_t w = stream->write(p + done, piece);
        if (w <= 0) break;
        done += w;
    }
    return done;
}

// ---------------------------------------------------------------------------
// Entry

void vq_svs_ifdItem::setType(int t) {
    if (type != 0) std::fputs("Warning:resetting ifdItem type\n", stderr);
    vq_svs_ifdItem_read::setType(t);
    if (type == 0) elementSize = 0;
}

bool vq_svs_ifdItem::appendRaw(const uint8_t* bytes, int32_t n) {
    const int64_t have = getByteSize();
    if (have + n > INT32_MAX) return false;
    try {
        if (have + n <= 4) {
            std::memcpy(inlineValue + have, bytes, static_cast<size_t>(n));
        } else {
            // The append that leaves the inline field moves its bytes first.
            if (have <= 4) valueBytes.assign(inlineValue, inlineValue + have);
            valueBytes.insert(valueBytes.end(), bytes, bytes + n);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool vq_svs_ifdItem::appendTyped(std::initializer_list<int> types, uint64_t v, int width) {
    if (std::find(types.begin(), types.end(), int(type)) == types.end() || elementSize != width) {
        std::fputs("Adding incorrect data type to IFD item\n", stderr);
        return false;
    }
    uint8_t b[8];
    for (int i = 0; i < width; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    if (!appendRaw(b, width)) return false;
    ++count;
    return true;
}

bool vq_svs_ifdItem::appendShort(uint16_t v) { return appendTyped({svsTypeShort}, v, 2); }
bool vq_svs_ifdItem::appendLong(uint32_t v) { return appendTyped({svsTypeLong}, v, 4); }
bool vq_svs_ifdItem::appendSShort(int16_t v) { return appendTyped({svsTypeSShort}, uint16_t(v), 2); }
bool vq_svs_ifdItem::appendSLong(int32_t v) { return appendTyped({svsTypeSLong}, uint32_t(v), 4); }
bool vq_svs_ifdItem::appendLong8(uint64_t v) { return appendTyped({svsTypeLong8}, v, 8); }
bool vq_svs_ifdItem::appendSLong8(int64_t v) { return appendTyped({svsTypeSLong8}, uint64_t(v), 8); }
bool vq_svs_ifdItem::appendByte(uint8_t v) { return appendTyped({svsTypeByte, svsTypeUndefined}, v, 1); }
bool vq_svs_ifdItem::appendSByte(int8_t v) { return appendTyped({svsTypeSByte}, uint8_t(v), 1); }

bool vq_svs_ifdItem::appendBytes(const void* data, int32_t n) {
    if (type != svsTypeByte && type != svsTypeAscii && type != svsTypeSByte && type != svsTypeUndefined) {
        std::fputs("Adding incorrect data type to IFD item\n", stderr);
        return false;
    }
    if (n < 0 || (n > 0 && data == nullptr)) return false;
    if (!appendRaw(static_cast<const uint8_t*>(data), n)) return false;
    count += n;
    return true;
}

bool vq_svs_ifdItem::setString(const char* text, bool append) {
    if (type != svsTypeAscii || text == nullptr) return false;
    if (!append) {
        count = 0;
        valueBytes.clear();
        std::memset(inlineValue, 0, sizeof inlineValue);
    }
    const size_t n = std::strlen(text) + 1;
    if (n > size_t(INT32_MAX)) return false;
    return appendBytes(text, static_cast<int32_t>(n));
}

bool vq_svs_ifdItem::setCount(int32_t n) {
    if (type == 0 || elementSize == 0) {
        std::fputs("Trying to reserve space for unknown type\n", stderr);
        return false;
    }
    if (n == count) return true;
    if (n < count) {
        std::fputs("Do not support shrinking item count\n", stderr);
        return false;
    }
    const int64_t grow = (int64_t(n) - count) * elementSize;
    if (getByteSize() + grow > INT32_MAX) return false;
    try {
        std::vector<uint8_t> zeros(static_cast<size_t>(grow), 0);
        if (!appendRaw(zeros.data(), static_cast<int32_t>(grow))) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    count = n;
    return true;
}

bool vq_svs_ifdItem::setAt(uint64_t v, int32_t i, int width) {
    if (elementSize != width) {
        std::fputs("Adding incorrect data type to IFD item\n", stderr);
        return false;
    }
    if (i < 0 || i >= count) {
        std::fprintf(stderr, "Trying to set IFD item %d past bounds %d\n", i, count);
        return false;
    }
    uint8_t* p = valueData() + int64_t(i) * width;
    for (int k = 0; k < width; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
    return true;
}

bool vq_svs_ifdItem::setShortAt(uint16_t v, int32_t i) { return setAt(v, i, 2); }
bool vq_svs_ifdItem::setLongAt(uint32_t v, int32_t i) { return setAt(v, i, 4); }
bool vq_svs_ifdItem::setLong8At(uint64_t v, int32_t i) { return setAt(v, i, 8); }

void vq_svs_ifdItem::clearValues() {
    std::memset(inlineValue, 0, sizeof inlineValue);
    std::fill(valueBytes.begin(), valueBytes.end(), 0);
}

bool vq_svs_ifdItem::fitsInEntry() const {
    const int64_t size = getByteSize();
    if (bigTIFF) return size <= 8;
    return size <= 4 || (isLong8(type) && count == 1);
}

bool vq_svs_ifdItem::writeEntry(vq_svs_stream* s) {
    if (!isValid()) {
        std::fputs("Attempting to write bad ifd entry\n", stderr);
        return false;
    }
    if (s == nullptr) return false;
    const int64_t size = getByteSize();
    if (!bigTIFF) {
        // A classic file has no 8-byte integers: LONG8 is written as LONG,
        // its area keeping the room the BigTIFF form needs.
        int t = type;
        if (type == svsTypeLong8) t = svsTypeLong;
        if (type == svsTypeSLong8) t = svsTypeSLong;
        if (!s->writeU16(tag) || !s->writeU16(static_cast<uint16_t>(t)) ||
            !s->writeU32(static_cast<uint32_t>(count)))
            return false;
        uint8_t field[4] = {0, 0, 0, 0};
        if (size <= 4) {
            std::memcpy(field, inlineValue, 4);
        } else if (isLong8(type) && count == 1) {
            std::memcpy(field, valueBytes.data(), 4);
        } else {
            for (int i = 0; i < 4; ++i) field[i] = static_cast<uint8_t>(valueOffset >> (8 * i));
        }
        return s->writeBytes(field, 4) == 4;
    }
    // The count is a 32-bit number held in a 64-bit field: zero-extended.
    if (!s->writeU16(tag) || !s->writeU16(static_cast<uint16_t>(type)) ||
        !s->writeU64(static_cast<uint32_t>(count)))
        return false;
    uint8_t field[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    if (size <= 4) {
        std::memcpy(field, inlineValue, 4);
    } else if (size <= 8) {
        std::memcpy(field, valueBytes.data(), static_cast<size_t>(size));
    } else {
        for (int i = 0; i < 8; ++i) field[i] = static_cast<uint8_t>(valueOffset >> (8 * i));
    }
    return s->writeBytes(field, 8) == 8;
}

bool vq_svs_ifdItem::writeValueData(vq_svs_stream* s) {
    if (s == nullptr) return false;
    if (bigTIFF ? getByteSize() <= 8 : getByteSize() <= 4) return true;
    const bool placed = reserved != 0;
    if (!placed) {
        if (s->seek(0, 2) != 0) return false;
        reserved = valueOffset = static_cast<uint64_t>(s->tell());
    }
    if (!bigTIFF && isLong8(type) && count == 1 && !placed) {
        // Fits in the classic entry's field: no area of its own.
        reserved = valueOffset = 0;
        std::memcpy(inlineValue, valueBytes.data(), 4);
        return true;
    }
    if (placed) {
        s->pushPosition();
        if (s->seek(static_cast<int64_t>(reserved), 0) != 0) {
            s->popPosition();
            return false;
        }
    }
    bool ok;
    if (!bigTIFF && isLong8(type)) {
        ok = true;
        for (int32_t i = 0; ok && i < count; ++i) ok = s->writeBytes(valueBytes.data() + 8 * int64_t(i), 4) == 4;
        ok = ok && s->writeZeros(4 * uint64_t(count));
    } else {
        ok = s->writeBytes(valueBytes.data(), static_cast<int64_t>(valueBytes.size())) ==
             static_cast<int64_t>(valueBytes.size());
    }
    if (placed) s->popPosition();
    return ok;
}

int64_t vq_svs_ifdItem::pendingBytes() const {
    return reserved == 0 ? static_cast<int64_t>(valueBytes.size()) : 0;
}

// ---------------------------------------------------------------------------
// Directory

bool vq_svs_ifdDir::addItem(const vq_svs_ifdItem& item) {
    if (!item.isValid()) {
        std::fputs("Trying to add invalid item to directory\n", stderr);
        return false;
    }
    if (findItem(item.getTag()).isValid()) {
        std::fputs("Trying to add duplicate item to directory\n", stderr);
        return false;
    }
    try {
        items_.push_back(item);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

const vq_svs_ifdItem& vq_svs_ifdDir::findItem(uint16_t tag) const {
    for (const auto& e : items_)
        if (e.getTag() == tag) return e;
    return emptyWriteItem();
}

vq_svs_ifdItem* vq_svs_ifdDir::findItemForEdit(uint16_t tag) {
    for (auto& e : items_)
        if (e.getTag() == tag) return &e;
    return nullptr;
}

bool vq_svs_ifdDir::attachJpegTables(vq_raw_tile* tile) {
    tableSource_.reset();
    if (tile == nullptr) return false;
    if (findItem(347).isValid()) return false;
    if (!tile->clone(tableSource_) || tableSource_ == nullptr) return false;
    parser.source = tableSource_->getData();
    parser.sourceLength = static_cast<uint32_t>(std::max(0, tableSource_->getDataLength()));
    parser.parse(false);
    if (!parser.parsed) {
        tableSource_.reset();
        parser.source = nullptr;
        parser.sourceLength = 0;
        return false;
    }
    if (parser.buildTablesStream()) {
        const auto& tables = parser.tablesStream();
        vq_svs_ifdItem item(347, svsTypeUndefined);
        if (!item.appendBytes(tables.data(), static_cast<int32_t>(tables.size())) || !addItem(item)) return false;
        setColourSpace(parser.getColourSpace());
    }
    return true;
}

bool vq_svs_ifdDir::tablesMatch(vq_raw_tile* tile) const {
    if (tile == nullptr || tableSource_ == nullptr || !parser.parsed) return false;
    if (tile->getData() == nullptr || tile->getDataLength() <= 0) return false;
    return parser.sameTablesAs(tile->getData(), static_cast<uint32_t>(tile->getDataLength()));
}

bool vq_svs_ifdDir::makeAbbreviatedTile(vq_raw_tile* tile, vq_ptr<vq_raw_tile>& out) const {
    if (tile == nullptr || !tile->clone(out) || out == nullptr) return false;
    return stripJpegTables(tile, out.get());
}

bool vq_svs_ifdDir::writeDirectory(vq_svs_stream* s) {
    if (s == nullptr) return false;
    // Ascending by tag as an unsigned number, as TIFF readers expect.
    items_.sort([](const vq_svs_ifdItem& a, const vq_svs_ifdItem& b) { return a.getTag() < b.getTag(); });
    if (offset == 0) {
        if (s->seek(0, 2) != 0) return false;
        offset = static_cast<uint64_t>(s->tell());
    } else if (s->seek(static_cast<int64_t>(offset), 0) != 0) {
        return false;
    }
    const uint64_t n = items_.size();
    for (auto& e : items_) e.setBigTIFF(bigTIFF);
    if (bigTIFF) {
        if (!s->writeU64(n)) return false;
        for (auto& e : items_)
            if (!e.writeEntry(s)) return false;
        return s->seek(static_cast<int64_t>(offset + 8 + 20 * n), 0) == 0 && s->writeU64(nextOffset);
    }
    if (n > 0xFFFF || !s->writeU16(static_cast<uint16_t>(n))) return false;
    for (auto& e : items_)
        if (!e.writeEntry(s)) return false;
    // The zero padding makes the classic form as long as the BigTIFF form.
    return s->seek(static_cast<int64_t>(offset + 2 + 12 * n), 0) == 0 &&
           s->writeU32(static_cast<uint32_t>(nextOffset)) && s->writeZeros(8 * n + 10);
}

bool vq_svs_ifdDir::writeAll(vq_svs_stream* s) {
    if (s == nullptr || s->seek(0, 2) != 0) return false;
    for (auto& e : items_) {
        e.setBigTIFF(bigTIFF);
        if (!e.writeValueData(s)) return false;
    }
    return writeDirectory(s);
}

int64_t vq_svs_ifdDir::pendingSize() const {
    int64_t size = offset == 0 ? 20 * static_cast<int64_t>(items_.size()) + 16 : 0;
    for (const auto& e : items_) size += e.pendingBytes();
    return size;
}

namespace slide_ifd {

std::pair<uint16_t, uint16_t> subsamplingPair(int code) {
    switch (code) {
    case 1: return {1, 1};
    case 2: return {2, 1};
    case 3: return {1, 2};
    default: return {2, 2};
    }
}

void addShorts(vq_svs_ifdDir& dir, uint16_t tag, std::initializer_list<uint16_t> values) {
    vq_svs_ifdItem item(tag, svsTypeShort);
    for (uint16_t v : values) item.appendShort(v);
    dir.addItem(item);
}

void addLong(vq_svs_ifdDir& dir, uint16_t tag, uint32_t value) {
    vq_svs_ifdItem item(tag, svsTypeLong);
    item.appendLong(value);
    dir.addItem(item);
}

void addBitsPerSample(vq_svs_ifdDir& dir, int format) {
    vq_svs_ifdItem bits(258, svsTypeShort);
    const int count = format == vq_fmtYCbCr || format == vq_fmtRGB24 || format == vq_fmtRGB48 ? 3
                      : format == vq_fmtGray8 || format == vq_fmtGray16                   ? 1
                                                                                           : 0;
    const uint16_t depth = format == vq_fmtGray16 || format == vq_fmtRGB48 ? 16 : 8;
    for (int i = 0; i < count; ++i) bits.appendShort(depth);
    dir.addItem(bits);
}

void addSamplesPerPixel(vq_svs_ifdDir& dir, int format) {
    vq_svs_ifdItem item(277, svsTypeShort);
    if (format == vq_fmtYCbCr || format == vq_fmtRGB24 || format == vq_fmtRGB48) item.appendShort(3);
    else if (format == vq_fmtGray8 || format == vq_fmtGray16) item.appendShort(1);
    dir.addItem(item);
}

void addZeros(vq_svs_ifdDir& dir, uint16_t tag, int type, int64_t count) {
    vq_svs_ifdItem item(tag, type);
    if (count > 0 && count <= INT32_MAX) item.setCount(static_cast<int32_t>(count));
    dir.addItem(item);
}

bool setTableValue(vq_svs_ifdDir& dir, uint16_t tag, int64_t i, uint64_t value) {
    vq_svs_ifdItem* item = dir.findItemForEdit(tag);
    if (item == nullptr || i < 0 || i > INT32_MAX) return false;
    return item->getType() == svsTypeLong8 ? item->setLong8At(value, static_cast<int32_t>(i))
                                           : item->setLongAt(static_cast<uint32_t>(value), static_cast<int32_t>(i));
}

bool tableValue(const vq_svs_ifdDir& dir, uint16_t tag, int64_t i, uint64_t* out) {
    return dir.findItem(tag).getValue64(out, static_cast<int32_t>(i));
}

const char* writeDirectoryChain(vq_svs_ifdDir& head, std::list<vq_svs_ifdDir>& rest, vq_svs_stream* s,
                                bool bigTiff) {
    auto nextPosition = [&](std::list<vq_svs_ifdDir>::iterator it) -> uint64_t {
        return it == rest.end() ? 0 : it->getPosition();
    };
    head.setBigTIFF(bigTiff);
    head.setNextOffset(nextPosition(rest.begin()));
    if (!head.writeAll(s)) return "the directories could not be written";
    for (auto it = rest.begin(); it != rest.end(); ++it) {
        it->setNextOffset(nextPosition(std::next(it)));
        it->setBigTIFF(bigTiff);
        if (!it->writeAll(s)) return "the directories could not be written";
    }
    // Second pass: every directory has its place now, so the chain closes.
    head.setNextOffset(nextPosition(rest.begin()));
    bool chained = head.writeDirectory(s);
    for (auto it = rest.begin(); it != rest.end(); ++it) {
        it->setNextOffset(nextPosition(std::next(it)));
        chained = it->writeDirectory(s) && chained;
    }
    return chained ? nullptr : "the directory chain could not be written";
}

} // namespace slide_ifd
