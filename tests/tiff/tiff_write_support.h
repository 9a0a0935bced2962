// Support of the write tests: writable in-memory clients (one that runs out
// of room, one sparse enough for files past 4 GiB) and the independent
// reading of written files by tifffile.
#pragma once

#include "tests/tiff/tiff_fixture.h"

#include <array>
#include <map>
#include <string>

namespace tifftest {

// An in-memory file whose writes stop once `limit` bytes in all have been
// written, as a full disk would.
struct LimitedFile {
    MemFile file;
    uint64_t limit = 0;
    uint64_t written = 0;
};
vqtiff::TIFFHandle* openLimited(LimitedFile& f, const char* mode);

// A writable sparse file of 4 KiB pages: only written pages take memory, the
// rest reads as zeros, so a file can reach past 4 GiB in a few KiB.
struct SparseWriteFile {
    std::map<uint64_t, std::array<uint8_t, 4096>> pages;
    uint64_t size = 0;
    uint64_t pos = 0;
    Bytes read(uint64_t at, size_t n) const;
    void write(uint64_t at, const Bytes& bytes);
    size_t memoryBytes() const { return pages.size() * 4096; }
};
vqtiff::TIFFHandle* openSparseWrite(SparseWriteFile& f, const char* mode);

// What tifffile read from a file: the printed facts (see tifffile_dump.py)
// and, when asked, the decoded pixels of every page in order.
struct TiffDump {
    int status = -1;
    std::string text;
    Bytes pixels;
    bool has(const std::string& line) const;
};
TiffDump tifffileDump(const std::string& path, bool pixels);

// Writes bytes to a file in the scratch folder `folder` and returns its path.
std::string saveFile(const std::string& folder, const std::string& name, const Bytes& bytes);

// Little-endian readers of file bytes.
uint16_t le16(const Bytes& b, size_t at);
uint32_t le32(const Bytes& b, size_t at);
uint64_t le64(const Bytes& b, size_t at);

} // namespace tifftest
