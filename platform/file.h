// 64-bit file access and file mapping. Reads and writes loop until the whole
// request has moved (Linux moves at most about 2 GiB per call, and any call may
// be short), so callers see a short count only at end of file or on error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vq::platform {

class File {
public:
    enum class Mode {
        Read,       // existing file, read only
        ReadWrite,  // existing file, read and write
        Create,     // create or truncate, read and write
        Append,     // create if missing, read and write, positioned at the end
    };
    enum class Origin { Begin = 0, Current = 1, End = 2 };

    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool open(const std::string& path, Mode mode);
    bool isOpen() const { return fd_ >= 0; }
    // Closes the file; false when the system reported an error on close.
    bool close();

    // Bytes actually moved; less than requested only at end of file (read)
    // or on error. -1 when nothing could be moved because of an error.
    int64_t read(void* buffer, int64_t count);
    int64_t write(const void* buffer, int64_t count);
    // Positioned variants that leave the file position alone (thread safe).
    int64_t readAt(int64_t offset, void* buffer, int64_t count) const;
    int64_t writeAt(int64_t offset, const void* buffer, int64_t count);

    // New position, or -1 on error.
    int64_t seek(int64_t offset, Origin origin);
    int64_t tell() const;
    int64_t size() const;
    bool truncate(int64_t length);
    bool flush();
    int descriptor() const { return fd_; }

private:
    int fd_ = -1;
};

// A read-only (or read-write) mapping of a whole file.
class FileMapping {
public:
    FileMapping() = default;
    ~FileMapping();
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;

    bool map(const File& file, bool writable = false);
    void unmap();
    const uint8_t* data() const { return static_cast<const uint8_t*>(data_); }
    uint8_t* writableData() { return static_cast<uint8_t*>(data_); }
    int64_t size() const { return size_; }

private:
    void* data_ = nullptr;
    int64_t size_ = 0;
};

bool fileExists(const std::string& path);
bool directoryExists(const std::string& path);
// Size in bytes, or -1 when the file cannot be examined.
int64_t fileSize(const std::string& path);

} // namespace vq::platform
