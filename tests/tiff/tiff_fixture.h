// Test fixtures for the TIFF library: a byte builder for classic and BigTIFF
// files of either byte order, in-memory client procedures (plain and
// sparse), a message recorder and small test-side encoders.
#pragma once

#include "tiff/vqtiff.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tifftest {

using Bytes = std::vector<uint8_t>;

// One directory entry; values are given in host order and written in the
// file's byte order.
struct Entry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint64_t count = 0;
    Bytes values;             // count x type width bytes, host order
    bool rawField = false;    // write `field` as the value field verbatim
    uint64_t field = 0;
};

Entry shorts(uint16_t tag, std::vector<uint16_t> v);
Entry longs(uint16_t tag, std::vector<uint32_t> v);
Entry long8s(uint16_t tag, std::vector<uint64_t> v);
Entry bytes(uint16_t tag, uint16_t type, Bytes v);
Entry ascii(uint16_t tag, const std::string& text);
Entry rationals(uint16_t tag, std::vector<uint32_t> numDen);
Entry doubles(uint16_t tag, std::vector<double> v);
Entry floats(uint16_t tag, std::vector<float> v);

// Lays out: header, then (at `bodyOffset`) the data blobs in the order they
// were added, then each directory followed by its out-of-line values.
class TiffBuilder {
public:
    explicit TiffBuilder(bool bigTiff = false, bool bigEndian = false, uint64_t bodyOffset = 0);
    // Appends bytes to the body; returns their file offset.
    uint64_t addData(const Bytes& data);
    // Starts a new directory and returns its index.
    size_t addIfd(std::vector<Entry> entries, bool sortTags = true);
    // The last directory links back to directory `target` (a loop).
    void loopTo(size_t target) { loopTarget_ = int(target); }
    // Overrides the header's first-directory offset.
    void setFirstOffset(uint64_t offset) { firstOverride_ = offset; haveFirstOverride_ = true; }
    uint64_t ifdOffset(size_t index) const { return ifdOffsets_.at(index); }

    struct Image {
        Bytes head;            // header bytes at offset 0
        uint64_t bodyOffset;   // where `body` starts
        Bytes body;
        Bytes contiguous() const; // head, zero gap, body
    };
    Image build();
    Bytes bytes() { return build().contiguous(); }

    bool big() const { return big_; }
    bool bigEndian() const { return bigEndian_; }

private:
    void put16(Bytes& out, uint16_t v) const;
    void put32(Bytes& out, uint32_t v) const;
    void put64(Bytes& out, uint64_t v) const;
    Bytes encodeValues(const Entry& e) const;

    bool big_;
    bool bigEndian_;
    uint64_t bodyOffset_;
    Bytes body_;
    std::vector<std::vector<Entry>> ifds_;
    std::vector<uint64_t> ifdOffsets_;
    int loopTarget_ = -1;
    bool haveFirstOverride_ = false;
    uint64_t firstOverride_ = 0;
};

// An in-memory file with client procedures.
struct MemFile {
    Bytes data;
    uint64_t pos = 0;
    int closeCount = 0;
    bool allowMap = false;
    int mapCount = 0;
    int unmapCount = 0;
    int reads = 0;
};

vqtiff::TIFFHandle* openMem(MemFile& file, const char* mode, const char* name = "mem.tif");

// A sparse file: byte ranges at given offsets, zeros elsewhere, of a given
// total size (so a directory can live beyond 4 GiB without 4 GiB of memory).
struct SparseFile {
    std::map<uint64_t, Bytes> chunks;
    uint64_t size = 0;
    uint64_t pos = 0;
};
vqtiff::TIFFHandle* openSparse(SparseFile& file, const char* mode);

// Records every message reported while it lives.
class MessageLog {
public:
    MessageLog();
    ~MessageLog();
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    bool hasError(const std::string& part) const;
    bool hasWarning(const std::string& part) const;
    int countWarnings(const std::string& part) const;
    std::string all() const;
};

// Test-side encoders.
Bytes packBitsEncode(const Bytes& in);
Bytes lzwEncode(const Bytes& in, bool oldStyle);
Bytes zlibEncode(const Bytes& in);

// RGB images encoded as abbreviated JPEG streams (YCbCr with sampling h x v,
// or plain RGB) that share one tables-only stream.
struct JpegSet {
    Bytes tables;
    std::vector<Bytes> images;
};
JpegSet encodeAbbreviated(const std::vector<Bytes>& rgb, const std::vector<std::pair<int, int>>& sizes, int h,
                          int v, bool ycbcr = true);

// Pixel pattern used by the fixtures.
Bytes pattern(size_t n, uint32_t seed = 1);

// Small files of every codec and layout the library reads: None with two
// directories and a palette, PackBits big-endian, LZW new and old style,
// Deflate tiles in a BigTIFF with separate planes, JPEG tiles with tables,
// NeXT.
std::vector<Bytes> sampleTiffs();

} // namespace tifftest
