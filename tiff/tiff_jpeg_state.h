// The state of the JPEG codec, shared by its decoding side (tiff_jpeg.cpp)
// and its encoding side (tiff_jpeg_encode.cpp).
#pragma once

#include "tiff/vqtiff_internal.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace vqtiff {
namespace jpegcodec {

constexpr int kMaxComponents = 10;

struct JPEGState {
    union {
        jpeg_common_struct comm;
        jpeg_decompress_struct d;
        jpeg_compress_struct c;
    } cinfo;
    bool haveObject;
    bool isDecompressor;
    jpeg_error_mgr err;
    jmp_buf exitJump;
    jpeg_source_mgr src;
    jpeg_destination_mgr dest;
    TIFFHandle* tif;
    uint16_t photometric;
    uint16_t hSampling;
    uint16_t vSampling;
    int64_t bytesPerLine;
    JSAMPARRAY dsBuffer[kMaxComponents];
    int scanCount;
    int samplesPerClump;
    bool flushFailed; // a flush of the raw buffer failed while encoding
    TIFFVGetMethod getParent;
    TIFFVSetMethod setParent;
    TIFFPrintMethod printParent;
    TIFFStripSizeMethod stripSizeParent;
    TIFFTileSizeMethod tileSizeParent;
    uint8_t* tables;
    uint32_t tablesLength;
    int quality;
    int colorMode;
    int tablesMode;
    bool subsamplingSet; // tag 530 set on this handle, or taken from the data
    uint32_t recvParams;
    char* subAddress;
    uint32_t recvTime;
    char* faxDcs;
};

inline JPEGState* jstate(TIFFHandle* h) { return static_cast<JPEGState*>(h->codecState); }

// Creates or keeps the libjpeg object: a compressor or a decompressor as
// forced, else as the handle's mode and data suggest.
int createObject(TIFFHandle* h, bool forceEncode, bool forceDecode);
// The size of the strip or tile being coded (rows left for a strip, planes
// past the first reduced by the sampling) and its bytes per line.
void segmentSize(TIFFHandle* h, uint16_t sample, uint32_t* width, uint32_t* height);
JSAMPARRAY jpegAllocSarray(JPEGState* sp, JDIMENSION width, JDIMENSION rows);
inline uint32_t ceilDiv(uint32_t a, uint32_t b) { return b ? uint32_t((uint64_t(a) + b - 1) / b) : 0; }

// The encoding operations installed by TIFFInitJPEG.
int setupEncode(TIFFHandle* h);
int preEncode(TIFFHandle* h, uint16_t sample);
int postEncode(TIFFHandle* h);
int encodePlain(TIFFHandle* h, uint8_t* buf, int64_t cc, uint16_t sample);

} // namespace jpegcodec
} // namespace vqtiff
