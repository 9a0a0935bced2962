// Byte input and output for the OpenJPEG library.
//
// OpenJPEG moves every byte through an opj_stream_t whose callbacks we supply.
// `vq_opj_cio` is the object behind those callbacks: a memory buffer (read
// over the caller's bytes, or write into a buffer that grows as needed), and
// `vq_opj_stream_cio` does the same over a `vq_stream`. Callers open one per
// decode or encode, hand `stream()` to the library, and close it afterwards.
#pragma once

#include <openjpeg.h>

#include <cstddef>
#include <cstdint>
#include <vector>

class vq_stream;

class vq_opj_cio {
public:
    enum Mode : int32_t { kNone = 0, kRead = 1, kWrite = 2 };

    vq_opj_cio() = default;
    virtual ~vq_opj_cio();
    vq_opj_cio(const vq_opj_cio&) = delete;
    vq_opj_cio& operator=(const vq_opj_cio&) = delete;

    // Bytes between the position and the end of the data.
    virtual int64_t numbytesleft();
    virtual int64_t tell();
    // Absolute position from the start; false when it lies outside the data
    // (a write buffer grows to reach it).
    virtual bool seek(int64_t position);
    // Relative move; the bytes actually moved, or -1 when it cannot be done.
    virtual int64_t skip(int64_t count);
    // Bytes copied into buffer; 0 at the end of the data.
    virtual size_t read(void* buffer, size_t count);
    // Bytes stored; fewer than count only on failure.
    virtual size_t write(const void* buffer, size_t count);

    // Reads (buffer, length), which the caller keeps alive.
    void openRead(const uint8_t* buffer, size_t length);
    // Writes into an owned buffer that starts with `reserve` bytes of room.
    void openWrite(size_t reserve);

    Mode mode() const { return mode_; }
    // The bytes written so far (write mode) or the whole input (read mode).
    const uint8_t* data() const { return mode_ == kWrite ? owned_.data() : start_; }
    // Length of the written code-stream: the furthest byte written.
    size_t written() const { return written_; }

    // The library-side stream over this object, made on first use and
    // destroyed with it; null when the mode is none or the library refuses.
    opj_stream_t* stream();

protected:
    Mode mode_ = kNone;

private:
    const uint8_t* start_ = nullptr;  // read mode: caller's bytes
    size_t length_ = 0;               // read mode: input length
    std::vector<uint8_t> owned_;      // write mode: the growing buffer
    size_t written_ = 0;              // write mode: end of the written bytes
    size_t position_ = 0;
    opj_stream_t* stream_ = nullptr;
};

// The same operations over a stream, which it holds a reference to. Reads
// and writes go straight to the stream; positions are the stream's.
class vq_opj_stream_cio : public vq_opj_cio {
public:
    // Takes a reference to the stream and records its size. The mode is read
    // unless `forWriting` is true.
    vq_opj_stream_cio(vq_stream* stream, bool forWriting);
    ~vq_opj_stream_cio() override;

    int64_t numbytesleft() override;
    int64_t tell() override;
    bool seek(int64_t position) override;
    int64_t skip(int64_t count) override;
    size_t read(void* buffer, size_t count) override;
    size_t write(const void* buffer, size_t count) override;

private:
    vq_stream* source_ = nullptr;
    int64_t size_ = 0;
};

// Opens a memory cio:
// - buffer and length both given: reads (buffer, length);
// - neither given and a codec present: writes into a growing buffer;
// - any other combination: null. Also null when the object cannot be made.
vq_opj_cio* vq_opj_cio_open(opj_codec_t* codec, const uint8_t* buffer, int64_t length);
// Destroys a cio and its library stream; null is allowed.
void vq_opj_cio_close(vq_opj_cio* cio);

// Installs info, warning and error handlers on a codec. Errors and warnings
// are reported as reader messages (standard error stream and the job's log),
// prefixed "OpenJPEG error: " or "OpenJPEG warning: "; information lines go
// to the job's log only.
void vq_opj_install_handlers(opj_codec_t* codec);

// Decodes one J2K code-stream held in memory, at resolution reduction
// `reduce` (0 full size). The image, or null when the data cannot be decoded
// (the library's messages have then reached the log). The caller frees it
// with opj_image_destroy.
opj_image_t* vq_opj_decode_j2k(const uint8_t* data, int64_t length, int32_t reduce);
