// Byte streams: the abstract stream every reader, writer and codec moves
// bytes through, over a file, over a caller's block of memory, or into a
// growing buffer. Positions and offsets are 64-bit throughout.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/vq_refcount.h"

// Seek origins.
enum : int32_t { vq_seekStart = 0, vq_seekCurrent = 1, vq_seekEnd = 2 };

class vq_stream : public vq_refcount {
public:
    // Bytes read; 0 at the end of the data, -1 on error.
    virtual int32_t read(void* buffer, uint32_t count) = 0;
    // Bytes written, -1 on error.
    virtual int32_t write(const void* buffer, uint32_t count) = 0;
    // Origin 0 from the start, 1 from the current position, 2 from the end.
    // 0 on success, -1 on failure.
    virtual int32_t seek(int64_t offset, int32_t origin) = 0;
    virtual int64_t tell() = 0;
    virtual bool isEOF() = 0;
    // 0 on success, 2 when there is nothing to flush to.
    virtual int32_t flush() = 0;
    // 0 on success, -1 when the system reports that the data did not all
    // reach the file.
    virtual int32_t close() = 0;
    // Writes the stream's whole content to the destination. 0, or 2 on failure
    // (also when the destination took fewer bytes than it was given).
    virtual int32_t copyTo(vq_stream* destination) = 0;
};

// Unbuffered stream over a file descriptor.
class vq_streamImpl : public vq_stream {
public:
    // New closed file stream with one reference; 0, or 2 when it cannot be made.
    static int32_t create(vq_streamImpl** out);
    ~vq_streamImpl() override;

    bool openRead(const char* path);
    bool openWrite(const char* path);

    int32_t read(void* buffer, uint32_t count) override;
    int32_t write(const void* buffer, uint32_t count) override;
    int32_t seek(int64_t offset, int32_t origin) override;
    int64_t tell() override;
    bool isEOF() override;
    int32_t flush() override;
    int32_t close() override;
    int32_t copyTo(vq_stream* destination) override;

private:
    int fd = -1;
};

// Read-only stream over a block of memory that belongs to the caller, who
// keeps it alive while the stream is used. The position stays within
// [0, size]; writes are refused.
class vq_memoryStream : public vq_stream {
public:
    // New stream over nothing, with one reference; 0, or 2 when it cannot be made.
    static int32_t create(vq_memoryStream** out);
    // Points the stream at another block and rewinds it.
    void setBuffer(const void* block, uint64_t length);

    int32_t read(void* buffer, uint32_t count) override;
    int32_t write(const void* buffer, uint32_t count) override;
    int32_t seek(int64_t offset, int32_t origin) override;
    int64_t tell() override;
    bool isEOF() override;
    int32_t flush() override;
    int32_t close() override;
    int32_t copyTo(vq_stream* destination) override;

private:
    const uint8_t* data = nullptr;
    uint64_t size = 0;
    uint64_t position = 0;
};

// Growing in-memory stream that can be written, re-positioned and read back.
// A seek past the end extends the data with zeros.
class vq_memoryWriteStream : public vq_stream {
public:
    // New empty stream (growth 4096) with one reference; 0, or 2 on failure.
    static int32_t create(vq_memoryWriteStream** out);
    // Extra bytes reserved beyond each new end when the buffer grows.
    void setGrowth(int32_t value) { growth = value; }
    int32_t getGrowth() const { return growth; }

    const uint8_t* getData() const { return buffer.data(); }
    uint64_t getSize() const { return buffer.size(); }

    int32_t read(void* out, uint32_t count) override;
    int32_t write(const void* in, uint32_t count) override;
    int32_t seek(int64_t offset, int32_t origin) override;
    int64_t tell() override;
    bool isEOF() override;
    int32_t flush() override;
    int32_t close() override;
    int32_t copyTo(vq_stream* destination) override;

    vq_memoryWriteStream();

private:
    bool growTo(uint64_t end);

    std::vector<uint8_t> buffer;
    int32_t growth = 4096;
    uint64_t position = 0;
};

// Openers: 0 with the new stream (one reference) in out, or 2 with out null.
int32_t openReadStream(const char* path, vq_stream** out);
int32_t openReadStreamW(const wchar_t* path, vq_stream** out);
int32_t openWriteStream(const char* path, vq_stream** out);
// Read-only stream over (data, size); 2 when data is null.
int32_t openMemoryStream(const void* data, uint64_t size, vq_stream** out);
// Growing stream with the given growth (4096 when 0).
int32_t createMemoryWriteStream(int32_t growth, vq_stream** out);

// The stream's length in bytes, its position left where it was; -1 when the
// stream is null or cannot seek to its end.
int64_t streamLength(vq_stream* stream);

// Plain functions for the JPEG library's data source and destination.
extern "C" {
// The stream's read, or 0 when the stream is null.
int32_t readStream(void* buffer, uint32_t count, vq_stream* stream);
// The stream's write, or 0 when the stream is null.
int32_t writeStream(const void* buffer, uint32_t count, vq_stream* stream);
// 0 when the stream's flush succeeds; -1 otherwise or when the stream is null.
int32_t flushStream(vq_stream* stream);
}
