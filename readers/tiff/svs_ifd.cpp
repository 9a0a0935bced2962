#include "readers/tiff/svs_ifd.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "engine/base/stream.h"
#include "engine/base/reader_messages.h"

// ---------------------------------------------------------------------------
// Stream

vq_svs_stream_read::~vq_svs_stream_read() = default;

void vq_svs_stream_read::setStream(vq_stream* s) { stream = s; }

int vq_svs_stream_read::seek(int64_t offset, int origin) {
    if (!stream) return -1;
    return stream->seek(offset, origin);
}

int64_t vq_svs_stream_read::tell() { return stream ? stream->tell() : 0; }

int64_t vq_svs_stream_read::size() {
    if (!stream) return 0;
    const int64_t here = stream->tell();
    int64_t end = stream->seek(0, 2) == 0 ? stream->tell() : 0;
    stream->seek(here, 0);
    return end;
}

int32_t vq_svs_stream_read::readBytes(void* buffer, int32_t n) {
    if (!stream || n <= 0) return 0;
    int32_t got = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (got < n) {
        int32_t r = stream->read(p + got, static_cast<uint32_t>(n - got));
        if (r <= 0) break;
        got += r;
    }
    return got;
}

namespace {
template <int N>
bool readOrdered(vq_svs_stream_read& s, uint64_t* out) {
    uint8_t b[N];
    if (s.readBytes(b, N) != N) return false;
    uint64_t v = 0;
    for (int i = 0; i < N; ++i) {
        int k = s.isLittleEndian() ? N - 1 - i : i;
        v = (v << 8) | b[k];
    }
    *out = v;
    return true;
}
} // namespace

bool vq_svs_stream_read::readU16(uint16_t* out) {
    uint64_t v;
    if (!readOrdered<2>(*this, &v)) return false;
    *out = static_cast<uint16_t>(v);
    return true;
}

bool vq_svs_stream_read::readU32(uint32_t* out) {
    uint64_t v;
    if (!readOrdered<4>(*this, &v)) return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

bool vq_svs_stream_read::readU64(uint64_t* out) { return readOrdered<8>(*this, out); }

void vq_svs_stream_read::swapBytePairs(uint8_t* buffer, int32_t n) {
    for (int32_t i = 0; i + 1 < n; i += 2) {
        uint8_t t = buffer[i];
        buffer[i] = buffer[i + 1];
        buffer[i + 1] = t;
    }
}

void vq_svs_stream_read::pushPosition() { positions.push_back(static_cast<uint64_t>(tell())); }

int vq_svs_stream_read::popPosition() {
    if (positions.empty()) return -1;
    uint64_t p = positions.back();
    positions.pop_back();
    return seek(static_cast<int64_t>(p), 0);
}

// ---------------------------------------------------------------------------
// Header

bool vq_svs_header::read(vq_svs_stream_read* s) {
    if (s == nullptr || s->getStream() == nullptr) return false;
    if (s->seek(0, 0) != 0) return false;
    if (s->readBytes(magic, 8) != 8) return false;
    bigTIFF = false;
    secondFlag = true;
    static const uint8_t ii[4] = {0x49, 0x49, 0x2A, 0x00}, mm[4] = {0x4D, 0x4D, 0x00, 0x2A};
    static const uint8_t iiBig[8] = {0x49, 0x49, 0x2B, 0x00, 0x08, 0x00, 0x00, 0x00};
    static const uint8_t mmBig[8] = {0x4D, 0x4D, 0x00, 0x2B, 0x00, 0x08, 0x00, 0x00};
    bool classicLittle = std::memcmp(magic, ii, 4) == 0, classicBig = std::memcmp(magic, mm, 4) == 0;
    if (classicLittle || classicBig) {
        s->setLittleEndian(classicLittle);
        uint32_t off = 0;
        if (s->seek(4, 0) != 0 || !s->readU32(&off)) return false;
        firstIfdOffset = off;
        return true;
    }
    bool bigLittle = std::memcmp(magic, iiBig, 8) == 0, bigBig = std::memcmp(magic, mmBig, 8) == 0;
    if (bigLittle || bigBig) {
        bigTIFF = true;
        s->setLittleEndian(bigLittle);
        uint64_t off = 0;
        if (s->seek(8, 0) != 0 || !s->readU64(&off)) return false;
        firstIfdOffset = off;
        return true;
    }
    return false;
}

bool vq_svs_header::write(vq_svs_stream_read* s) const {
    if (s == nullptr || s->getStream() == nullptr || s->seek(0, 0) != 0) return false;
    static const uint8_t classic[16] = {0x49, 0x49, 0x2A, 0x00, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    static const uint8_t big[16] = {0x49, 0x49, 0x2B, 0x00, 8, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0};
    return s->getStream()->write(bigTIFF ? big : classic, 16) == 16;
}

// ---------------------------------------------------------------------------
// Entry

vq_svs_ifdItem_read::vq_svs_ifdItem_read(bool big) : bigTIFF(big) {}

void vq_svs_ifdItem_read::setType(int t) {
    switch (t) {
    case svsTypeByte: case svsTypeAscii: case svsTypeSByte: case svsTypeUndefined: elementSize = 1; break;
    case svsTypeShort: case svsTypeSShort: elementSize = 2; break;
    case svsTypeLong: case svsTypeSLong: case svsTypeFloat: case svsTypeIfd: elementSize = 4; break;
    case svsTypeRational: case svsTypeSRational: case svsTypeDouble: case svsTypeLong8: case svsTypeSLong8:
    case svsTypeIfd8: elementSize = 8; break;
    default: type = 0; return;
    }
    type = static_cast<int16_t>(t);
}

const vq_svs_ifdItem_read& vq_svs_ifdItem_read::emptyItem() {
    static const vq_svs_ifdItem_read empty(false);
    return empty;
}

bool vq_svs_ifdItem_read::read(vq_svs_stream_read* s) {
    if (s == nullptr || s->getStream() == nullptr) return false;
    uint16_t t = 0, ty = 0;
    if (!s->readU16(&t) || !s->readU16(&ty)) return false;
    tag = t;
    setType(ty);
    uint64_t n = 0;
    if (bigTIFF) {
        if (!s->readU64(&n)) return false;
    } else {
        uint32_t n32 = 0;
        if (!s->readU32(&n32)) return false;
        n = n32;
    }
    // Sizes beyond the signed 32-bit range cannot be held: refuse the entry.
    if (n > INT32_MAX || n * uint64_t(elementSize) > uint64_t(INT32_MAX)) return false;
    uint64_t size = n * uint64_t(elementSize);
    if (size <= (bigTIFF ? 8u : 4u)) {
        valueOffset = 0;
        pendingCount = 0;
        return readValues(s, static_cast<int32_t>(n));
    }
    if (bigTIFF) {
        if (!s->readU64(&valueOffset)) return false;
    } else {
        uint32_t off = 0;
        if (!s->readU32(&off)) return false;
        valueOffset = off;
    }
    pendingCount = static_cast<int32_t>(n);
    return true;
}

bool vq_svs_ifdItem_read::readValues(vq_svs_stream_read* s, int32_t n) {
    if (s == nullptr || s->getStream() == nullptr || n < 0) return false;
    count = 0;
    if (valueOffset != 0 && s->seek(static_cast<int64_t>(valueOffset), 0) != 0) return false;
    const int64_t size64 = int64_t(n) * elementSize;
    if (size64 > INT32_MAX) return false;
    const int32_t size = static_cast<int32_t>(size64);
    // Values out of line must lie inside the file before they size a buffer;
    // a failed load keeps nothing and is not tried again.
    if (valueOffset != 0 && (static_cast<uint64_t>(s->size()) < valueOffset ||
                             static_cast<uint64_t>(s->size()) - valueOffset < static_cast<uint64_t>(size))) {
        pendingCount = 0;
        std::vector<uint8_t>().swap(valueBytes);
        return false;
    }
    uint8_t* area = inlineValue;
    try {
        if (size > 4) {
            valueBytes.assign(static_cast<size_t>(size), 0);
            area = valueBytes.data();
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    const bool swap = !s->isLittleEndian();
    auto reverse = [](uint8_t* p, int w) {
        for (int a = 0, b = w - 1; a < b; ++a, --b) {
            uint8_t t = p[a];
            p[a] = p[b];
            p[b] = t;
        }
    };
    switch (type) {
    case svsTypeByte: case svsTypeAscii: case svsTypeSByte: case svsTypeUndefined:
    case svsTypeFloat: case svsTypeDouble:
        if (s->readBytes(area, size) != size) return false;
        break;
    case svsTypeShort: case svsTypeSShort: case svsTypeLong: case svsTypeSLong: case svsTypeLong8:
    case svsTypeSLong8:
        if (s->readBytes(area, size) != size) return false;
        if (swap)
            for (int32_t i = 0; i < n; ++i) reverse(area + i * elementSize, elementSize);
        break;
    case svsTypeRational: case svsTypeSRational:
        if (s->readBytes(area, size) != size) return false;
        if (swap)
            for (int32_t i = 0; i < 2 * n; ++i) reverse(area + i * 4, 4);
        break;
    case svsTypeIfd: {
        uint32_t v = 0;
        if (n != 1 || !s->readU32(&v)) return false;
        for (int i = 0; i < 4; ++i) inlineValue[i] = uint8_t(v >> (8 * i));
        break;
    }
    case svsTypeIfd8: {
        uint64_t v = 0;
        if (n != 1 || !s->readU64(&v)) return false;
        valueBytes.assign(8, 0);
        for (int i = 0; i < 8; ++i) valueBytes[i] = uint8_t(v >> (8 * i));
        break;
    }
    default: break;
    }
    count = n;
    if (valueOffset == 0) {
        int32_t rest = (bigTIFF ? 8 : 4) - size;
        uint8_t skip[8];
        if (rest > 0) return s->readBytes(skip, rest) == rest;
        return true;
    }
    pendingCount = 0;
    return true;
}

const std::vector<uint8_t>& vq_svs_ifdItem_read::loadValues(vq_svs_stream_read* s) {
    if (s != nullptr && valueOffset != 0 && pendingCount != 0) {
        s->pushPosition();
        if (!readValues(s, pendingCount)) {
            // Nothing of a failed load stays behind, and it is not retried.
            pendingCount = 0;
            count = 0;
            std::vector<uint8_t>().swap(valueBytes);
        }
        s->popPosition();
    }
    return valueBytes;
}

const uint8_t* vq_svs_ifdItem_read::valuePointer() const {
    return getByteSize() <= 4 ? inlineValue : valueBytes.data();
}

namespace {
uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const uint8_t* p) { return le16(p) | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint64_t le64(const uint8_t* p) { return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32; }
} // namespace

bool vq_svs_ifdItem_read::getInlineValue32(uint32_t* out) const {
    if (count == 0 || getByteSize() > 4) return false;
    return getValue32(out, 0);
}

bool vq_svs_ifdItem_read::getValue32(uint32_t* out, int32_t i) const {
    if (i < 0 || i >= count) return false;
    const uint8_t* p = valuePointer();
    if (getByteSize() > 4 && valueBytes.size() < size_t(getByteSize())) return false;
    switch (type) {
    case svsTypeShort: *out = le16(p + 2 * i); return true;
    case svsTypeSShort: *out = uint32_t(int32_t(int16_t(le16(p + 2 * i)))); return true;
    case svsTypeLong: case svsTypeSLong: *out = le32(p + 4 * i); return true;
    default: return false;
    }
}

bool vq_svs_ifdItem_read::getValue64(uint64_t* out, int32_t i) const {
    if (i < 0 || i >= count) return false;
    switch (type) {
    case svsTypeLong: {
        uint32_t v;
        if (!getValue32(&v, i)) return false;
        *out = v;
        return true;
    }
    case svsTypeLong8: case svsTypeSLong8:
        if (valueBytes.size() < size_t(8) * size_t(i + 1)) return false;
        *out = le64(valueBytes.data() + 8 * i);
        return true;
    default: {
        uint32_t v;
        if (!getValue32(&v, i)) return false;
        *out = type == svsTypeShort ? uint64_t(v) : uint64_t(int64_t(int32_t(v)));
        return true;
    }
    }
}

bool vq_svs_ifdItem_read::getRational(uint32_t* numerator, uint32_t* denominator) const {
    if (count == 0 || getByteSize() != 8 || pendingCount != 0) return false;
    if (type != svsTypeRational && type != svsTypeSRational) return false;
    if (valueBytes.size() < 8) return false;
    *numerator = le32(valueBytes.data());
    *denominator = le32(valueBytes.data() + 4);
    return true;
}

// ---------------------------------------------------------------------------
// Directory

bool vq_svs_ifdDir_read::read(vq_svs_stream_read* s) {
    if (s == nullptr || s->getStream() == nullptr || offset == 0) return false;
    if (s->seek(static_cast<int64_t>(offset), 0) != 0) return false;
    int32_t n = 0;
    if (bigTIFF) {
        uint64_t c = 0;
        if (!s->readU64(&c)) return false;
        n = int16_t(uint16_t(c & 0xFFFF));
    } else {
        uint16_t c = 0;
        if (!s->readU16(&c)) return false;
        n = int16_t(c);
    }
    if (n < 1 || n > 10000) return false;
    try {
        const int32_t blockSize = bigTIFF ? n * 20 + 8 : n * 12 + 4;
        std::vector<uint8_t> block(static_cast<size_t>(blockSize));
        if (s->readBytes(block.data(), blockSize) != blockSize) return false;
        vq_ptr<vq_stream> mem;
        if (openMemoryStream(block.data(), block.size(), mem.put()) != 0) return false;
        vq_svs_stream_read local;
        local.setStream(mem.get());
        local.setLittleEndian(s->isLittleEndian());
        for (int32_t i = 0; i < n; ++i) {
            vq_svs_ifdItem_read item(bigTIFF);
            if (!item.read(&local) || !addItem(item)) return false;
        }
        if (bigTIFF) {
            if (!local.readU64(&nextOffset)) nextOffset = 0;
        } else {
            uint32_t next = 0;
            nextOffset = local.readU32(&next) ? next : 0;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    uint32_t w = 0, h = 0, tw = 0, th = 0;
    const bool haveSize = findItem(256).getInlineValue32(&w) && findItem(257).getInlineValue32(&h);
    if (haveSize) imageSize = IntPair(int32_t(w), int32_t(h));
    if (findItem(322).getInlineValue32(&tw) && findItem(323).getInlineValue32(&th)) {
        tileSize = IntPair(int32_t(tw), int32_t(th));
        // A zero or absurd tile size cannot form a grid, and a grid needs one
        // tile offset per tile: the directory is otherwise treated as untiled.
        if (haveSize && tileSize.first > 0 && tileSize.second > 0 && imageSize.first > 0 &&
            imageSize.second > 0) {
            const int64_t across = (int64_t(w) + tw - 1) / tw, down = (int64_t(h) + th - 1) / th;
            if (across * down <= int64_t(findItem(324).getDeclaredCount())) {
                tileGrid = IntPair(int32_t(across), int32_t(down));
                tiled = true;
            }
        }
    }
    return true;
}

const vq_svs_ifdItem_read& vq_svs_ifdDir_read::findItem(uint16_t tag) const {
    for (const auto& e : entries)
        if (e.getTag() == tag) return e;
    return vq_svs_ifdItem_read::emptyItem();
}

vq_svs_ifdItem_read& vq_svs_ifdDir_read::findItemForLoad(uint16_t tag) {
    for (auto& e : entries)
        if (e.getTag() == tag) return e;
    static thread_local vq_svs_ifdItem_read scratch(false);
    scratch = vq_svs_ifdItem_read::emptyItem();
    return scratch;
}

bool vq_svs_ifdDir_read::addItem(const vq_svs_ifdItem_read& item) {
    if (!item.isValid()) {
        reportReaderMessage("Trying to add invalid item to directory\n");
        return false;
    }
    if (findItem(item.getTag()).isValid()) {
        reportReaderMessage("Trying to add duplicate item to directory\n");
        return false;
    }
    entries.push_back(item);
    return true;
}

uint32_t vq_svs_ifdDir_read::inlineValueOr(uint16_t tag, uint32_t fallback) const {
    uint32_t v = 0;
    return findItem(tag).getInlineValue32(&v) ? v : fallback;
}

const std::vector<uint8_t>& vq_svs_ifdDir_read::loadItem(uint16_t tag, vq_svs_stream_read* s) {
    return findItemForLoad(tag).loadValues(s);
}

int vq_svs_ifdDir_read::getPixelFormat(vq_svs_stream_read* s) {
    if (entries.empty() || s == nullptr) return -1;
    findItemForLoad(277).loadValues(s);
    findItemForLoad(258).loadValues(s);
    const uint32_t photometric = inlineValueOr(262, 2);
    const uint32_t samples = inlineValueOr(277, 0);
    uint32_t bits = 0;
    if (!findItem(258).getValue32(&bits, 0)) bits = 0;
    if (photometric == 1 && samples == 1) return bits == 8 ? 6 : bits == 16 ? 11 : -1;
    if (photometric == 2 && samples == 3) return bits == 8 ? 4 : bits == 16 ? 12 : -1;
    if (photometric == 6) return 3;
    return -1;
}

int64_t vq_svs_ifdDir_read::getLoadedValueBytes() const {
    int64_t sum = 0;
    for (const auto& e : entries) sum += e.getByteSize();
    return sum;
}

int slideCompression(const vq_svs_ifdDir_read& dir) {
    const uint32_t c = dir.inlineValueOr(259, 1);
    return c == 33005 ? 33003 : int(c);
}
