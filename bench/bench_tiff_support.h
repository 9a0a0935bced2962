// Shared by the TIFF benchmarks: an in-memory file behind the TIFF library's
// client procedures, and one strip coded by the library's own encoders.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "tiff/vqtiff_internal.h"

namespace benchtiff {

using Bytes = std::vector<uint8_t>;

struct MemFile {
    Bytes data;
    uint64_t pos = 0;
};

inline int64_t memRead(void* c, void* buf, int64_t n) {
    auto* f = static_cast<MemFile*>(c);
    if (f->pos >= f->data.size()) return 0;
    n = std::min<int64_t>(n, int64_t(f->data.size() - f->pos));
    std::memcpy(buf, f->data.data() + f->pos, size_t(n));
    f->pos += uint64_t(n);
    return n;
}
inline int64_t memWrite(void* c, void* buf, int64_t n) {
    auto* f = static_cast<MemFile*>(c);
    if (f->pos + uint64_t(n) > f->data.size()) f->data.resize(size_t(f->pos + uint64_t(n)));
    std::memcpy(f->data.data() + f->pos, buf, size_t(n));
    f->pos += uint64_t(n);
    return n;
}
inline uint64_t memSeek(void* c, uint64_t off, int whence) {
    auto* f = static_cast<MemFile*>(c);
    f->pos = off + (whence == 1 ? f->pos : whence == 2 ? f->data.size() : 0);
    return f->pos;
}
inline int memClose(void*) { return 0; }
inline uint64_t memSize(void* c) { return static_cast<MemFile*>(c)->data.size(); }

inline vqtiff::TIFFHandle* open(MemFile& f, const char* mode) {
    f.pos = 0;
    return vqtiff::TIFFClientOpen("bench.tif", mode, &f, memRead, memWrite, memSeek, memClose, memSize, nullptr,
                                  nullptr);
}

// `rows` rows of `width` 8-bit samples coded as one strip.
inline Bytes encodeStrip(const uint8_t* samples, uint32_t width, uint32_t rows, uint16_t compression,
                         uint16_t predictor) {
    using namespace vqtiff;
    MemFile scratch;
    TIFFHandle* h = open(scratch, "w");
    TIFFSetField(h, TAG_ImageWidth, width);
    TIFFSetField(h, TAG_ImageLength, rows);
    TIFFSetField(h, TAG_BitsPerSample, 8);
    TIFFSetField(h, TAG_RowsPerStrip, rows);
    TIFFSetField(h, TAG_Compression, int(compression));
    if (predictor) TIFFSetField(h, TAG_Predictor, int(predictor));
    allocateStripArrays(h);
    h->flags |= FLAG_BEENWRITING;
    h->scanlineByteSize = TIFFScanlineSize(h);
    TIFFWriteBufferSetup(h, nullptr, -1);
    h->curStrip = 0;
    h->setupEncode(h);
    h->preEncode(h, 0);
    Bytes copy(samples, samples + size_t(width) * rows);
    h->encodeStrip(h, copy.data(), int64_t(copy.size()), 0);
    h->postEncode(h);
    TIFFFlushRawBuffer(h);
    const uint64_t at = h->dir.stripOffset[0], n = h->dir.stripByteCount[0];
    h->openMode = 0;
    TIFFCloseFile(h);
    return Bytes(scratch.data.begin() + long(at), scratch.data.begin() + long(at + n));
}

} // namespace benchtiff
