#include "tests/tiff/tiff_fixture.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <zlib.h>
#include <cstdio>
#include <jpeglib.h>

namespace tifftest {

namespace {

int typeWidth(uint16_t type) { return vqtiff::TIFFTypeWidth(type); }

template <typename T>
Entry make(uint16_t tag, uint16_t type, const std::vector<T>& v) {
    Entry e;
    e.tag = tag;
    e.type = type;
    e.count = v.size();
    e.values.resize(v.size() * sizeof(T));
    if (!v.empty()) std::memcpy(e.values.data(), v.data(), e.values.size());
    return e;
}

} // namespace

Entry shorts(uint16_t tag, std::vector<uint16_t> v) { return make(tag, vqtiff::TYPE_SHORT, v); }
Entry longs(uint16_t tag, std::vector<uint32_t> v) { return make(tag, vqtiff::TYPE_LONG, v); }
Entry long8s(uint16_t tag, std::vector<uint64_t> v) { return make(tag, vqtiff::TYPE_LONG8, v); }
Entry bytes(uint16_t tag, uint16_t type, Bytes v) { return make(tag, type, v); }
Entry ascii(uint16_t tag, const std::string& text) {
    Bytes b(text.begin(), text.end());
    b.push_back(0);
    return make(tag, vqtiff::TYPE_ASCII, b);
}
Entry rationals(uint16_t tag, std::vector<uint32_t> numDen) {
    Entry e = make(tag, vqtiff::TYPE_RATIONAL, numDen);
    e.count = numDen.size() / 2;
    return e;
}
Entry doubles(uint16_t tag, std::vector<double> v) { return make(tag, vqtiff::TYPE_DOUBLE, v); }
Entry floats(uint16_t tag, std::vector<float> v) { return make(tag, vqtiff::TYPE_FLOAT, v); }

TiffBuilder::TiffBuilder(bool bigTiff, bool bigEndian, uint64_t bodyOffset)
    : big_(bigTiff), bigEndian_(bigEndian), bodyOffset_(bodyOffset ? bodyOffset : (bigTiff ? 16 : 8)) {}

uint64_t TiffBuilder::addData(const Bytes& data) {
    uint64_t at = bodyOffset_ + body_.size();
    body_.insert(body_.end(), data.begin(), data.end());
    if (body_.size() & 1) body_.push_back(0);
    return at;
}

size_t TiffBuilder::addIfd(std::vector<Entry> entries, bool sortTags) {
    if (sortTags)
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    ifds_.push_back(std::move(entries));
    return ifds_.size() - 1;
}

void TiffBuilder::put16(Bytes& out, uint16_t v) const {
    if (bigEndian_) v = uint16_t((v >> 8) | (v << 8));
    out.insert(out.end(), reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 2);
}
void TiffBuilder::put32(Bytes& out, uint32_t v) const {
    if (bigEndian_) v = __builtin_bswap32(v);
    out.insert(out.end(), reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 4);
}
void TiffBuilder::put64(Bytes& out, uint64_t v) const {
    if (bigEndian_) v = __builtin_bswap64(v);
    out.insert(out.end(), reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 8);
}

Bytes TiffBuilder::encodeValues(const Entry& e) const {
    Bytes out = e.values;
    if (!bigEndian_) return out;
    int w = typeWidth(e.type);
    int unit = (e.type == vqtiff::TYPE_RATIONAL || e.type == vqtiff::TYPE_SRATIONAL) ? 4 : w;
    if (unit > 1)
        for (size_t i = 0; i + unit <= out.size(); i += unit) std::reverse(out.begin() + i, out.begin() + i + unit);
    return out;
}

TiffBuilder::Image TiffBuilder::build() {
    Image img;
    img.bodyOffset = bodyOffset_;
    Bytes body = body_;
    ifdOffsets_.clear();
    const size_t entrySize = big_ ? 20 : 12;
    const size_t inlineSize = big_ ? 8 : 4;
    std::vector<size_t> linkPositions;
    for (auto& ifd : ifds_) {
        if (body.size() & 1) body.push_back(0);
        uint64_t at = bodyOffset_ + body.size();
        ifdOffsets_.push_back(at);
        size_t headerBytes = (big_ ? 8 : 2) + ifd.size() * entrySize + (big_ ? 8 : 4);
        uint64_t dataAt = at + headerBytes;
        Bytes dir, extra;
        if (big_) put64(dir, ifd.size()); else put16(dir, uint16_t(ifd.size()));
        for (const Entry& e : ifd) {
            put16(dir, e.tag);
            put16(dir, e.type);
            if (big_) put64(dir, e.count); else put32(dir, uint32_t(e.count));
            Bytes v = encodeValues(e);
            if (e.rawField) {
                if (big_) put64(dir, e.field); else put32(dir, uint32_t(e.field));
            } else if (v.size() <= inlineSize) {
                v.resize(inlineSize, 0);
                dir.insert(dir.end(), v.begin(), v.end());
            } else {
                uint64_t off = dataAt + extra.size();
                if (big_) put64(dir, off); else put32(dir, uint32_t(off));
                extra.insert(extra.end(), v.begin(), v.end());
                if (extra.size() & 1) extra.push_back(0);
            }
        }
        linkPositions.push_back(body.size() + dir.size());
        if (big_) put64(dir, 0); else put32(dir, 0);
        body.insert(body.end(), dir.begin(), dir.end());
        body.insert(body.end(), extra.begin(), extra.end());
    }
    for (size_t i = 0; i < ifds_.size(); ++i) {
        uint64_t next = i + 1 < ifds_.size() ? ifdOffsets_[i + 1] : 0;
        if (i + 1 == ifds_.size() && loopTarget_ >= 0) next = ifdOffsets_[size_t(loopTarget_)];
        Bytes link;
        if (big_) put64(link, next); else put32(link, uint32_t(next));
        std::copy(link.begin(), link.end(), body.begin() + long(linkPositions[i]));
    }
    uint64_t first = haveFirstOverride_ ? firstOverride_ : (ifdOffsets_.empty() ? 0 : ifdOffsets_[0]);
    Bytes& head = img.head;
    head.push_back(bigEndian_ ? 'M' : 'I');
    head.push_back(bigEndian_ ? 'M' : 'I');
    if (big_) {
        put16(head, 43);
        put16(head, 8);
        put16(head, 0);
        put64(head, first);
    } else {
        put16(head, 42);
        put32(head, uint32_t(first));
    }
    img.body = std::move(body);
    return img;
}

Bytes TiffBuilder::Image::contiguous() const {
    Bytes out = head;
    out.resize(size_t(bodyOffset), 0);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// ---- in-memory clients ----

namespace {

int64_t memRead(void* c, void* buf, int64_t n) {
    auto* f = static_cast<MemFile*>(c);
    f->reads++;
    if (f->pos >= f->data.size()) return 0;
    int64_t avail = int64_t(f->data.size() - f->pos);
    if (n > avail) n = avail;
    std::memcpy(buf, f->data.data() + f->pos, size_t(n));
    f->pos += uint64_t(n);
    return n;
}
int64_t memWrite(void* c, void* buf, int64_t n) {
    auto* f = static_cast<MemFile*>(c);
    if (f->pos + uint64_t(n) > f->data.size()) f->data.resize(size_t(f->pos + uint64_t(n)));
    std::memcpy(f->data.data() + f->pos, buf, size_t(n));
    f->pos += uint64_t(n);
    return n;
}
uint64_t memSeek(void* c, uint64_t off, int whence) {
    auto* f = static_cast<MemFile*>(c);
    if (whence == 1) off += f->pos;
    else if (whence == 2) off += f->data.size();
    f->pos = off;
    return off;
}
int memClose(void* c) {
    static_cast<MemFile*>(c)->closeCount++;
    return 0;
}
uint64_t memSize(void* c) { return static_cast<MemFile*>(c)->data.size(); }
int memMap(void* c, void** base, uint64_t* size) {
    auto* f = static_cast<MemFile*>(c);
    if (!f->allowMap) return 0;
    f->mapCount++;
    *base = f->data.data();
    *size = f->data.size();
    return 1;
}
void memUnmap(void* c, void*, uint64_t) { static_cast<MemFile*>(c)->unmapCount++; }

int64_t sparseRead(void* c, void* buf, int64_t n) {
    auto* f = static_cast<SparseFile*>(c);
    if (f->pos >= f->size) return 0;
    if (uint64_t(n) > f->size - f->pos) n = int64_t(f->size - f->pos);
    auto* out = static_cast<uint8_t*>(buf);
    std::memset(out, 0, size_t(n));
    for (auto& [at, chunk] : f->chunks) {
        uint64_t lo = std::max(at, f->pos), hi = std::min(at + chunk.size(), f->pos + uint64_t(n));
        if (lo < hi) std::memcpy(out + (lo - f->pos), chunk.data() + (lo - at), size_t(hi - lo));
    }
    f->pos += uint64_t(n);
    return n;
}
int64_t sparseWrite(void*, void*, int64_t) { return 0; }
uint64_t sparseSeek(void* c, uint64_t off, int whence) {
    auto* f = static_cast<SparseFile*>(c);
    if (whence == 1) off += f->pos;
    else if (whence == 2) off += f->size;
    f->pos = off;
    return off;
}
int sparseClose(void*) { return 0; }
uint64_t sparseSize(void* c) { return static_cast<SparseFile*>(c)->size; }

} // namespace

vqtiff::TIFFHandle* openMem(MemFile& file, const char* mode, const char* name) {
    file.pos = 0;
    return vqtiff::TIFFClientOpen(name, mode, &file, memRead, memWrite, memSeek, memClose, memSize, memMap, memUnmap);
}

vqtiff::TIFFHandle* openSparse(SparseFile& file, const char* mode) {
    file.pos = 0;
    return vqtiff::TIFFClientOpen("sparse.tif", mode, &file, sparseRead, sparseWrite, sparseSeek, sparseClose,
                                  sparseSize, nullptr, nullptr);
}

// ---- messages ----

namespace {

MessageLog* activeLog = nullptr;

std::string format(const char* module, const char* fmt, va_list ap) {
    char buf[4096];
    std::vsnprintf(buf, sizeof(buf), fmt, ap);
    return std::string(module ? module : "") + ": " + buf;
}
void onWarning(const char* module, const char* fmt, va_list ap) {
    if (activeLog) activeLog->warnings.push_back(format(module, fmt, ap));
}
void onError(const char* module, const char* fmt, va_list ap) {
    if (activeLog) activeLog->errors.push_back(format(module, fmt, ap));
}

} // namespace

MessageLog::MessageLog() {
    activeLog = this;
    vqtiff::TIFFInstallWarningHandler(onWarning);
    vqtiff::TIFFInstallErrorHandler(onError);
}
MessageLog::~MessageLog() {
    activeLog = nullptr;
    vqtiff::TIFFInstallWarningHandler(nullptr);
    vqtiff::TIFFInstallErrorHandler(nullptr);
}
bool MessageLog::hasError(const std::string& part) const {
    for (auto& e : errors)
        if (e.find(part) != std::string::npos) return true;
    return false;
}
bool MessageLog::hasWarning(const std::string& part) const { return countWarnings(part) > 0; }
int MessageLog::countWarnings(const std::string& part) const {
    int n = 0;
    for (auto& w : warnings)
        if (w.find(part) != std::string::npos) ++n;
    return n;
}
std::string MessageLog::all() const {
    std::string s;
    for (auto& e : errors) s += "E " + e + "\n";
    for (auto& w : warnings) s += "W " + w + "\n";
    return s;
}

// ---- encoders ----

Bytes packBitsEncode(const Bytes& in) {
    Bytes out;
    size_t i = 0;
    while (i < in.size()) {
        size_t run = 1;
        while (i + run < in.size() && in[i + run] == in[i] && run < 128) ++run;
        if (run >= 3) {
            out.push_back(uint8_t(1 - int(run)));
            out.push_back(in[i]);
            i += run;
            continue;
        }
        size_t start = i, n = 0;
        while (i < in.size() && n < 128) {
            size_t r = 1;
            while (i + r < in.size() && in[i + r] == in[i] && r < 3) ++r;
            if (r >= 3) break;
            ++i;
            ++n;
        }
        out.push_back(uint8_t(n - 1));
        out.insert(out.end(), in.begin() + long(start), in.begin() + long(start + n));
    }
    return out;
}

Bytes lzwEncode(const Bytes& in, bool oldStyle) {
    Bytes out;
    uint64_t acc = 0;
    int accBits = 0;
    int nbits = 9;
    auto put = [&](int code) {
        if (oldStyle) {
            acc |= uint64_t(code) << accBits;
            accBits += nbits;
            while (accBits >= 8) {
                out.push_back(uint8_t(acc & 0xFF));
                acc >>= 8;
                accBits -= 8;
            }
        } else {
            acc = (acc << nbits) | uint64_t(code);
            accBits += nbits;
            while (accBits >= 8) {
                out.push_back(uint8_t(acc >> (accBits - 8)));
                accBits -= 8;
            }
        }
    };
    std::map<std::pair<int, int>, int> dict;
    int next = 258;
    put(256);
    if (in.empty()) {
        put(257);
    } else {
        int w = in[0];
        for (size_t i = 1; i < in.size(); ++i) {
            int c = in[i];
            auto it = dict.find({w, c});
            if (it != dict.end()) {
                w = it->second;
                continue;
            }
            put(w);
            dict[{w, c}] = next++;
            w = c;
            if (next == 4094) {
                put(256);
                dict.clear();
                next = 258;
                nbits = 9;
            } else if (oldStyle ? next > (1 << nbits) : next > (1 << nbits) - 1) {
                nbits++;
            }
        }
        put(w);
        put(257);
    }
    if (accBits > 0) {
        if (oldStyle)
            out.push_back(uint8_t(acc & 0xFF));
        else
            out.push_back(uint8_t(acc << (8 - accBits)));
    }
    return out;
}

Bytes zlibEncode(const Bytes& in) {
    uLongf n = compressBound(uLong(in.size()));
    Bytes out(n);
    compress2(out.data(), &n, in.data(), uLong(in.size()), 6);
    out.resize(n);
    return out;
}

// Encodes RGB images as abbreviated YCbCr streams sharing one tables stream.
JpegSet encodeAbbreviated(const std::vector<Bytes>& rgb, const std::vector<std::pair<int, int>>& sizes, int h,
                          int v, bool ycbcr) {
    JpegSet out;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    c.image_width = JDIMENSION(sizes[0].first);
    c.image_height = JDIMENSION(sizes[0].second);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, ycbcr ? JCS_YCbCr : JCS_RGB);
    c.comp_info[0].h_samp_factor = h;
    c.comp_info[0].v_samp_factor = v;
    jpeg_set_quality(&c, 85, TRUE);
    c.write_JFIF_header = FALSE;
    c.write_Adobe_marker = FALSE;
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    jpeg_write_tables(&c);
    out.tables.assign(mem, mem + size);
    free(mem);
    for (size_t i = 0; i < rgb.size(); ++i) {
        mem = nullptr;
        size = 0;
        jpeg_mem_dest(&c, &mem, &size);
        c.image_width = JDIMENSION(sizes[i].first);
        c.image_height = JDIMENSION(sizes[i].second);
        jpeg_suppress_tables(&c, TRUE);
        jpeg_start_compress(&c, FALSE);
        for (int y = 0; y < sizes[i].second; ++y) {
            JSAMPROW row = const_cast<JSAMPLE*>(rgb[i].data() + size_t(y) * sizes[i].first * 3);
            jpeg_write_scanlines(&c, &row, 1);
        }
        jpeg_finish_compress(&c);
        out.images.emplace_back(mem, mem + size);
        free(mem);
    }
    jpeg_destroy_compress(&c);
    return out;
}


Bytes pattern(size_t n, uint32_t seed) {
    Bytes b(n);
    uint32_t x = seed * 2654435761u + 12345;
    for (size_t i = 0; i < n; ++i) {
        // Mix of runs and noise, so run-length and dictionary coders see both.
        if ((i / 37) % 3 == 0) {
            b[i] = uint8_t((i / 37) * 7);
        } else {
            x = x * 1103515245u + 12345u;
            b[i] = uint8_t(x >> 16);
        }
    }
    return b;
}

std::vector<Bytes> sampleTiffs() {
    std::vector<Bytes> files;
    auto strips = [](TiffBuilder& b, const std::vector<Bytes>& coded) {
        std::vector<uint32_t> offsets, counts;
        for (auto& c : coded) {
            offsets.push_back(uint32_t(b.addData(c)));
            counts.push_back(uint32_t(c.size()));
        }
        return std::make_pair(offsets, counts);
    };
    auto rows = [](const Bytes& image, size_t rowBytes, size_t perStrip, auto encode) {
        std::vector<Bytes> out;
        for (size_t at = 0; at < image.size(); at += rowBytes * perStrip)
            out.push_back(encode(Bytes(image.begin() + long(at),
                                       image.begin() + long(std::min(image.size(), at + rowBytes * perStrip)))));
        return out;
    };
    const uint32_t w = 24, l = 20;
    // None, classic little-endian, two directories with assorted tags.
    {
        TiffBuilder b;
        Bytes img = pattern(w * l);
        auto [o, c] = strips(b, rows(img, w, 6, [](Bytes x) { return x; }));
        std::vector<Entry> e = {longs(256, {w}), longs(257, {l}), shorts(258, {8}), shorts(259, {1}),
                                shorts(262, {1}), longs(273, o), longs(278, {6}), longs(279, c),
                                ascii(270, "fuzz"), rationals(282, {72, 1}), rationals(283, {72, 1}),
                                shorts(296, {2}), shorts(297, {0, 2}), bytes(37000, vqtiff::TYPE_UNDEFINED, Bytes(9, 3))};
        b.addIfd(e);
        std::vector<uint16_t> map(3 * 256);
        for (size_t i = 0; i < map.size(); ++i) map[i] = uint16_t(i * 85);
        auto e2 = e;
        e2[4] = shorts(262, {3});
        e2.push_back(shorts(320, map));
        b.addIfd(e2);
        files.push_back(b.bytes());
    }
    // PackBits, big-endian.
    {
        TiffBuilder b(false, true);
        Bytes img = pattern(w * l * 3, 2);
        auto [o, c] = strips(b, rows(img, w * 3, 5, packBitsEncode));
        b.addIfd({longs(256, {w}), longs(257, {l}), shorts(258, {8, 8, 8}), shorts(259, {32773}), shorts(262, {2}),
                  shorts(277, {3}), longs(273, o), longs(278, {5}), longs(279, c)});
        files.push_back(b.bytes());
    }
    // LZW new and old style, with the horizontal predictor on the new one.
    for (bool oldStyle : {false, true}) {
        TiffBuilder b;
        Bytes img = pattern(w * l, 3);
        auto [o, c] = strips(b, rows(img, w, 10, [&](Bytes x) { return lzwEncode(x, oldStyle); }));
        std::vector<Entry> e = {longs(256, {w}), longs(257, {l}), shorts(258, {8}), shorts(259, {5}),
                                shorts(262, {1}), longs(273, o), longs(278, {10}), longs(279, c)};
        if (!oldStyle) e.push_back(shorts(317, {2}));
        b.addIfd(e);
        files.push_back(b.bytes());
    }
    // Deflate tiles in a BigTIFF, 16-bit, separate planes, predictor.
    {
        TiffBuilder b(true, false);
        std::vector<Bytes> tiles;
        for (int t = 0; t < 2 * 2 * 2; ++t) tiles.push_back(zlibEncode(pattern(16 * 16 * 2, uint32_t(t))));
        auto [o, c] = strips(b, tiles);
        std::vector<uint64_t> o8(o.begin(), o.end()), c8(c.begin(), c.end());
        b.addIfd({longs(256, {w}), longs(257, {l}), shorts(258, {16, 16}), shorts(259, {32946}), shorts(262, {1}),
                  shorts(277, {2}), shorts(284, {2}), shorts(317, {2}), longs(322, {16}), longs(323, {16}),
                  long8s(324, o8), long8s(325, c8), shorts(338, {0})});
        files.push_back(b.bytes());
    }
    // JPEG tiles with tables, 2 x 2 subsampling.
    {
        std::vector<Bytes> rgb;
        std::vector<std::pair<int, int>> sizes;
        for (int t = 0; t < 2; ++t) {
            rgb.push_back(pattern(16 * 16 * 3, uint32_t(t + 5)));
            sizes.push_back({16, 16});
        }
        JpegSet js = encodeAbbreviated(rgb, sizes, 2, 2);
        TiffBuilder b;
        auto [o, c] = strips(b, js.images);
        b.addIfd({longs(256, {32}), longs(257, {16}), shorts(258, {8, 8, 8}), shorts(259, {7}), shorts(262, {6}),
                  shorts(277, {3}), longs(322, {16}), longs(323, {16}), longs(324, o), longs(325, c),
                  bytes(347, vqtiff::TYPE_UNDEFINED, js.tables), shorts(530, {2, 2})});
        files.push_back(b.bytes());
    }
    // NeXT, one strip per row.
    {
        TiffBuilder b;
        std::vector<Bytes> coded = {Bytes{0x00, 1, 2}, Bytes{0x40, 0, 1, 0, 1, 9}, Bytes{0x85, 0x42}};
        auto [o, c] = strips(b, coded);
        b.addIfd({longs(256, {8}), longs(257, {3}), shorts(258, {2}), shorts(259, {32766}), shorts(262, {1}),
                  longs(273, o), longs(278, {1}), longs(279, c)});
        files.push_back(b.bytes());
    }
    return files;
}

} // namespace tifftest
