// The layer between the JPEG library and the engine: a data source and a data
// destination over vq_stream, the error exit that turns library errors into a
// failed call, compressor and decompressor holders, the plane row buffer of
// the raw-data mode, the quality estimate and the coefficient reader.
//
// Library errors never unwind through the library: the error exit jumps back
// to the guard (jpegGuarded) that armed it, on the same thread, and the guard
// reports false. Code run under a guard keeps only trivially destructible
// locals, since a jump skips destructors.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <type_traits>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

#include "engine/base/IntPair.h"
#include "engine/base/vq_refcount.h"

class imageContainer;
class vq_raw_tile;
class vq_stream;

// The library's standard error manager plus the jump target of the guard
// currently armed on its object.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    bool armed = false;
    // Warnings that say the compressed data is damaged (premature end, bad
    // Huffman code, data hitting a marker, ...), counted from creation.
    int damage = 0;
    // The first such warning, or the error that stopped the library, or a
    // refusal of this layer (set with refuseJpeg); empty when none.
    char message[JMSG_LENGTH_MAX] = {};
    bool refused = false;
};

// Hooks of every library object: warnings are kept (never printed), damage
// is counted and the first damage message kept.
extern "C" void jpegEmitMessage(j_common_ptr cinfo, int level);

// Destroys the library object and jumps back to the armed guard.
extern "C" void jpegErrorExit(j_common_ptr cinfo);
// Replaces the error-exit and message hooks of a library object.
void installJpegErrorExit(j_common_ptr cinfo);

// Stops the library call in progress with this layer's own reason (kept in
// the error manager's message); must run under a guard.
[[noreturn]] void refuseJpeg(j_common_ptr cinfo, const char* format, ...) __attribute__((format(printf, 2, 3)));

// After the header: refuses a frame that the compressed data cannot hold.
// Every 8 x 8 block of every component takes at least one bit of a
// Huffman-coded scan, so a stream of `dataBytes` bytes holds at most
// 8 x dataBytes blocks; a frame with more blocks is truncated or forged and
// is refused before anything is sized from it. With maxSize set (a tile of a
// known size), a frame larger than it is refused as well.
void checkJpegFrame(j_decompress_ptr cinfo, uint64_t dataBytes, IntPair maxSize = IntPair(0, 0));

// Length of a stream (its position is kept).
uint64_t jpegStreamLength(vq_stream* stream);

namespace jpeg_detail {
bool runGuarded(JpegErrorManager& err, void (*fn)(void*), void* ctx);
template <class Body>
void invokeBody(void* ctx) {
    (*static_cast<Body*>(ctx))();
}
} // namespace jpeg_detail

// Runs body with the error exit of `err` armed; false when the library raised
// an error (the object is then destroyed). Guards on one object may nest.
template <class Body>
bool jpegGuarded(JpegErrorManager& err, Body&& body) {
    using B = std::remove_reference_t<Body>;
    return jpeg_detail::runGuarded(err, &jpeg_detail::invokeBody<B>, static_cast<void*>(&body));
}

// One decompression object with its own error manager.
struct JpegDecompressor {
    jpeg_decompress_struct info;
    JpegErrorManager err;
    bool created = false;

    JpegDecompressor();
    ~JpegDecompressor();
    JpegDecompressor(const JpegDecompressor&) = delete;
    JpegDecompressor& operator=(const JpegDecompressor&) = delete;

    j_common_ptr common() { return reinterpret_cast<j_common_ptr>(&info); }
    // A library error destroys the object: it is then unusable until
    // recreate().
    template <class Body>
    bool guarded(Body&& body) {
        if (created && jpegGuarded(err, body)) return true;
        created = false;
        return false;
    }
    // A fresh object with a fresh error manager (no damage, no message).
    bool recreate();
    bool damaged() const { return err.damage != 0; }
    // The damage or error message, or the fallback when there is none.
    const char* message(const char* fallback) const { return err.message[0] ? err.message : fallback; }
    int componentWidth(int c) const;
    int componentHeight(int c) const;
};

// Reports why a decode failed: the damage or error message and, when rows
// were being decoded (row >= 0), the first row lost.
void reportJpegFailure(const JpegDecompressor& d, int row);

// Reads the header of JPEG data in memory and checks its frame as
// checkJpegFrame does; false (reported) when refused or unreadable.
bool jpegFrameFits(const uint8_t* data, int32_t length, IntPair maxSize);

// One compression object with its own error manager.
struct JpegCompressor {
    jpeg_compress_struct info;
    JpegErrorManager err;
    bool created = false;

    JpegCompressor() = default;
    ~JpegCompressor();
    JpegCompressor(const JpegCompressor&) = delete;
    JpegCompressor& operator=(const JpegCompressor&) = delete;

    j_common_ptr common() { return reinterpret_cast<j_common_ptr>(&info); }
    template <class Body>
    bool guarded(Body&& body) {
        return created && jpegGuarded(err, body);
    }
};

// Creates the compression object (error exit installed); false on failure.
bool createJpegCompress(JpegCompressor& c);
void destroyJpegCompress(JpegCompressor& c);
// jpeg_finish_compress under the error exit.
bool finishJpegCompress(JpegCompressor& c);

// Data source and destination over an engine stream. The stream is not
// counted; the caller keeps it alive while the library object uses it.
void jpegStreamSource(j_decompress_ptr cinfo, vq_stream* stream);
void jpegStreamDestination(j_compress_ptr cinfo, vq_stream* stream);

// Pixel format 3 is YCbCr, 6 greyscale, any other code RGB.
J_COLOR_SPACE jpegColorSpaceForFormat(int format);
void setJpegColorSpace(j_compress_ptr cinfo, int format);
// Sampling factors of component 0 from a subsampling code (1 1x1, 2 2x1,
// 3 1x2, 4 2x2) and 1x1 for every other component; other codes change nothing.
void setJpegSubsampling(j_compress_ptr cinfo, int subsampling);
// jpeg_start_compress; without tables the stream is abbreviated.
void startJpegCompress(j_compress_ptr cinfo, bool writeTables);

// Quality 1..100 whose standard luminance table is closest to table 0.
int estimateJpegQuality(j_decompress_ptr cinfo);

// Saving of APPn and COM markers for copying into a transcoded stream.
enum class JpegCopyMarkers { None, All };
void jcopyMarkersSetup(j_decompress_ptr src, JpegCopyMarkers option);
void jcopyMarkersExecute(j_decompress_ptr src, j_compress_ptr dst, JpegCopyMarkers option);

// Staging rows of one image component in the library's raw-data mode.
class JpegPlaneBuffer {
public:
    JpegPlaneBuffer();
    ~JpegPlaneBuffer();

    // comp may be null: the buffer is then not configured. Must be called after
    // the library has computed the component's block counts (after starting).
    bool setup(const jpeg_component_info* comp, int maxV, int lumaRows, int format);
    int chromaRows(int lumaRows) const;
    // Compression: copies the plane rows from startRow to the top of the buffer.
    int fillFromPlane(imageContainer* plane, int startRow, int lumaRows);
    // Decompression: moves rows of the current batch out, never more than the
    // destination has left (rounding per batch can ask for a row more than
    // the plane was sized for).
    int copyToPlane(uint8_t* dst, int dstStep, int lumaRowsWanted, int rowsLeft);
    void setLastBatch(bool last) { lastBatch_ = last; }
    void rewind() { position_ = 0; }
    bool isExhausted() const { return position_ == rowsPerBatch_; }
    JSAMPARRAY rowArray() { return configured_ ? rows_.data() : nullptr; }
    bool isConfigured() const { return configured_; }
    int width() const { return width_; }

private:
    bool configured_ = false;
    bool lastBatch_ = false;
    int vSamp_ = 1;
    int maxV_ = 1;
    int rowsPerBatch_ = 0;
    int lastBatchRows_ = 0;
    int width_ = 0;
    int capacity_ = 0;  // samples per row, at least the component's whole blocks
    int position_ = 0;
    int64_t total_ = 0;
    vq_ptr<imageContainer> rowsContainer_;
    std::vector<JSAMPROW> rows_;
};

// Holds a container's pixels locked while it lives. Used outside the guarded
// library calls, so the unlock always runs.
class ContainerPixels {
public:
    explicit ContainerPixels(imageContainer* c);
    ~ContainerPixels();
    ContainerPixels(const ContainerPixels&) = delete;
    ContainerPixels& operator=(const ContainerPixels&) = delete;
    uint8_t* data = nullptr;
    int32_t step = 0;

private:
    imageContainer* c_;
};

// The DCT coefficients of one raw JPEG tile.
class JpegCoefficientReader {
public:
    JpegCoefficientReader();
    ~JpegCoefficientReader();
    void setTile(vq_raw_tile* tile);
    bool read();

    JpegDecompressor decompressor;
    jvirt_barray_ptr* coefficients = nullptr;

private:
    vq_ptr<vq_stream> stream_;
    vq_ptr<vq_raw_tile> tile_;
};

// Gives the compressor copies of the decompressor's Huffman tables.
void copyHuffmanTables(j_decompress_ptr src, j_compress_ptr dst);

// Decodes a whole JPEG held in a stream into a new container of `format`.
bool decodeJpegStream(vq_stream* stream, imageContainer** out, int format);
