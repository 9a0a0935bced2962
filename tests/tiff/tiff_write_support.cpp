#include "tests/tiff/tiff_write_support.h"

#include "tests/support/test_env.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace tifftest {

namespace {

int64_t limitedRead(void* c, void* buf, int64_t n) {
    auto* f = static_cast<LimitedFile*>(c);
    MemFile& m = f->file;
    if (m.pos >= m.data.size()) return 0;
    n = std::min<int64_t>(n, int64_t(m.data.size() - m.pos));
    std::memcpy(buf, m.data.data() + m.pos, size_t(n));
    m.pos += uint64_t(n);
    return n;
}
int64_t limitedWrite(void* c, void* buf, int64_t n) {
    auto* f = static_cast<LimitedFile*>(c);
    MemFile& m = f->file;
    int64_t room = f->written >= f->limit ? 0 : int64_t(f->limit - f->written);
    if (n > room) n = room;
    if (m.pos + uint64_t(n) > m.data.size()) m.data.resize(size_t(m.pos + uint64_t(n)));
    std::memcpy(m.data.data() + m.pos, buf, size_t(n));
    m.pos += uint64_t(n);
    f->written += uint64_t(n);
    return n;
}
uint64_t limitedSeek(void* c, uint64_t off, int whence) {
    MemFile& m = static_cast<LimitedFile*>(c)->file;
    if (whence == 1) off += m.pos;
    else if (whence == 2) off += m.data.size();
    return m.pos = off;
}
int limitedClose(void*) { return 0; }
uint64_t limitedSize(void* c) { return static_cast<LimitedFile*>(c)->file.data.size(); }

int64_t sparseRead(void* c, void* buf, int64_t n) {
    auto* f = static_cast<SparseWriteFile*>(c);
    if (f->pos >= f->size) return 0;
    n = std::min<int64_t>(n, int64_t(f->size - f->pos));
    Bytes got = f->read(f->pos, size_t(n));
    std::memcpy(buf, got.data(), got.size());
    f->pos += uint64_t(n);
    return n;
}
int64_t sparseWrite(void* c, void* buf, int64_t n) {
    auto* f = static_cast<SparseWriteFile*>(c);
    const auto* p = static_cast<const uint8_t*>(buf);
    f->write(f->pos, Bytes(p, p + n));
    f->pos += uint64_t(n);
    return n;
}
uint64_t sparseSeek(void* c, uint64_t off, int whence) {
    auto* f = static_cast<SparseWriteFile*>(c);
    if (whence == 1) off += f->pos;
    else if (whence == 2) off += f->size;
    return f->pos = off;
}
int sparseClose(void*) { return 0; }
uint64_t sparseSize(void* c) { return static_cast<SparseWriteFile*>(c)->size; }

} // namespace

vqtiff::TIFFHandle* openLimited(LimitedFile& f, const char* mode) {
    f.file.pos = 0;
    return vqtiff::TIFFClientOpen("full.tif", mode, &f, limitedRead, limitedWrite, limitedSeek, limitedClose,
                                  limitedSize, nullptr, nullptr);
}

Bytes SparseWriteFile::read(uint64_t at, size_t n) const {
    Bytes out(n, 0);
    for (size_t i = 0; i < n;) {
        uint64_t page = (at + i) / 4096, in = (at + i) % 4096;
        size_t take = std::min<size_t>(n - i, size_t(4096 - in));
        auto it = pages.find(page);
        if (it != pages.end()) std::memcpy(out.data() + i, it->second.data() + in, take);
        i += take;
    }
    return out;
}

void SparseWriteFile::write(uint64_t at, const Bytes& bytes) {
    for (size_t i = 0; i < bytes.size();) {
        uint64_t page = (at + i) / 4096, in = (at + i) % 4096;
        size_t take = std::min<size_t>(bytes.size() - i, size_t(4096 - in));
        auto it = pages.find(page);
        if (it == pages.end()) {
            it = pages.emplace(page, std::array<uint8_t, 4096>{}).first;
        }
        std::memcpy(it->second.data() + in, bytes.data() + i, take);
        i += take;
    }
    size = std::max<uint64_t>(size, at + bytes.size());
}

vqtiff::TIFFHandle* openSparseWrite(SparseWriteFile& f, const char* mode) {
    f.pos = 0;
    return vqtiff::TIFFClientOpen("sparse.tif", mode, &f, sparseRead, sparseWrite, sparseSeek, sparseClose,
                                  sparseSize, nullptr, nullptr);
}

bool TiffDump::has(const std::string& line) const {
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l))
        if (l == line) return true;
    return false;
}

TiffDump tifffileDump(const std::string& path, bool pixels) {
    TiffDump d;
    std::string raw = path + ".pixels";
    std::string cmd = "/usr/bin/python3 " + std::string(VQ_SOURCE_DIR) + "/tests/tiff/tifffile_dump.py '" + path +
                      "'" + (pixels ? " '" + raw + "'" : "");
    d.status = vqtest::runCommand(cmd, &d.text);
    if (pixels && d.status == 0) {
        std::string bytes = vqtest::readFile(raw);
        d.pixels.assign(bytes.begin(), bytes.end());
    }
    return d;
}

std::string saveFile(const std::string& folder, const std::string& name, const Bytes& bytes) {
    std::string path = folder + "/" + name;
    vqtest::writeFile(path, std::string(bytes.begin(), bytes.end()));
    return path;
}

uint16_t le16(const Bytes& b, size_t at) { return uint16_t(b.at(at) | b.at(at + 1) << 8); }
uint32_t le32(const Bytes& b, size_t at) { return uint32_t(le16(b, at)) | uint32_t(le16(b, at + 2)) << 16; }
uint64_t le64(const Bytes& b, size_t at) { return uint64_t(le32(b, at)) | uint64_t(le32(b, at + 4)) << 32; }

} // namespace tifftest
