#include "engine/base/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

template <class S>
int32_t makeStream(S** out) {
    if (!out) return 2;
    *out = nullptr;
    S* s = new (std::nothrow) S();
    if (!s) return 2;
    s->addRef();
    *out = s;
    return 0;
}

// Writes a block of any length to a stream whose writes take 32-bit counts;
// false when a write came up short (a full disk, a broken file).
bool writeAll(vq_stream* destination, const uint8_t* data, uint64_t length) {
    while (length > 0) {
        uint32_t chunk = length > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(length);
        if (destination->write(data, chunk) != static_cast<int32_t>(chunk)) return false;
        data += chunk;
        length -= chunk;
    }
    return true;
}

// Magnitude of a negative offset, without overflow at INT64_MIN.
uint64_t magnitude(int64_t negativeOffset) { return 0 - static_cast<uint64_t>(negativeOffset); }

} // namespace

// ---------------------------------------------------------------- file stream

int32_t vq_streamImpl::create(vq_streamImpl** out) { return makeStream(out); }

vq_streamImpl::~vq_streamImpl() {
    if (fd != -1) ::close(fd);
}

bool vq_streamImpl::openRead(const char* path) {
    if (!path) return false;
    if (fd != -1) close();
    fd = ::open(path, O_RDONLY | O_CLOEXEC);
    return fd != -1;
}

bool vq_streamImpl::openWrite(const char* path) {
    if (!path) return false;
    if (fd != -1) close();
    fd = ::open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd != -1;
}

namespace {
// Repeats a runtime read or write until count bytes have moved, the data ends
// or an error occurs. One request moves at most INT32_MAX bytes so that the
// count fits the result; -1 when an error stops it before any byte moved.
template <class Buffer, class Io>
int32_t transfer(Buffer* buffer, uint32_t count, Io io) {
    size_t want = count > INT32_MAX ? INT32_MAX : count;
    size_t done = 0;
    while (done < want) {
        ssize_t n = io(buffer + done, want - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return done ? static_cast<int32_t>(done) : -1;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int32_t>(done);
}
} // namespace

int32_t vq_streamImpl::read(void* buffer, uint32_t count) {
    return transfer(static_cast<uint8_t*>(buffer), count, [this](uint8_t* p, size_t n) { return ::read(fd, p, n); });
}

int32_t vq_streamImpl::write(const void* buffer, uint32_t count) {
    return transfer(static_cast<const uint8_t*>(buffer), count,
                    [this](const uint8_t* p, size_t n) { return ::write(fd, p, n); });
}

int32_t vq_streamImpl::seek(int64_t offset, int32_t origin) {
    int whence;
    switch (origin) {
    case vq_seekStart: whence = SEEK_SET; break;
    case vq_seekCurrent: whence = SEEK_CUR; break;
    case vq_seekEnd: whence = SEEK_END; break;
    default: return -1;
    }
    return ::lseek(fd, static_cast<off_t>(offset), whence) == static_cast<off_t>(-1) ? -1 : 0;
}

int64_t vq_streamImpl::tell() { return ::lseek(fd, 0, SEEK_CUR); }

bool vq_streamImpl::isEOF() {
    off_t pos = ::lseek(fd, 0, SEEK_CUR);
    struct stat st;
    if (pos == static_cast<off_t>(-1) || ::fstat(fd, &st) != 0) return false;
    return pos >= st.st_size;
}

int32_t vq_streamImpl::flush() {
    if (fd == -1) return 2;
    ::fsync(fd);
    return 0;
}

int32_t vq_streamImpl::close() {
    if (fd == -1) return 0;
    // A file system may report a failed write only when the file is closed.
    const int result = ::close(fd);
    fd = -1;
    return result == 0 ? 0 : -1;
}

int32_t vq_streamImpl::copyTo(vq_stream* destination) {
    if (!destination) return 2;
    int64_t where = tell();
    seek(0, vq_seekStart);
    uint8_t block[4096];
    bool complete = true;
    for (;;) {
        int32_t n = read(block, sizeof block);
        if (n <= 0) break;
        if (destination->write(block, static_cast<uint32_t>(n)) != n) {
            complete = false;
            break;
        }
    }
    seek(where, vq_seekStart);
    return complete ? 0 : 2;
}

// ------------------------------------------------------ read-only memory stream

int32_t vq_memoryStream::create(vq_memoryStream** out) { return makeStream(out); }

void vq_memoryStream::setBuffer(const void* block, uint64_t length) {
    data = static_cast<const uint8_t*>(block);
    size = length;
    position = 0;
}

int32_t vq_memoryStream::read(void* buffer, uint32_t count) {
    if (!data) return 0;
    uint64_t left = size - position;
    uint64_t n = count < left ? count : left;
    if (n > INT32_MAX) n = INT32_MAX;
    std::memcpy(buffer, data + position, n);
    position += n;
    return static_cast<int32_t>(n);
}

int32_t vq_memoryStream::write(const void*, uint32_t) { return 0; }

int32_t vq_memoryStream::seek(int64_t offset, int32_t origin) {
    switch (origin) {
    case vq_seekStart:
        position = offset > 0 ? (static_cast<uint64_t>(offset) > size ? size : static_cast<uint64_t>(offset)) : 0;
        break;
    case vq_seekCurrent:
        if (offset < 0) {
            uint64_t d = magnitude(offset);
            position = d > position ? 0 : position - d;
        } else if (offset > 0) {
            uint64_t d = static_cast<uint64_t>(offset);
            position = d > size - position ? size : position + d;
        }
        break;
    case vq_seekEnd:
        if (offset >= 0) {
            position = size;
        } else {
            uint64_t d = magnitude(offset);
            position = d >= size ? 0 : size - d;
        }
        break;
    default:
        return -1;
    }
    return 0;
}

int64_t vq_memoryStream::tell() { return static_cast<int64_t>(position); }

bool vq_memoryStream::isEOF() { return position == size; }

int32_t vq_memoryStream::flush() { return 0; }

int32_t vq_memoryStream::close() {
    data = nullptr;
    size = 0;
    position = 0;
    return 0;
}

int32_t vq_memoryStream::copyTo(vq_stream* destination) {
    if (!destination) return 2;
    if (data && !writeAll(destination, data, size)) return 2;
    return 0;
}

// ------------------------------------------------------- growing memory stream

vq_memoryWriteStream::vq_memoryWriteStream() { buffer.reserve(4096); }

int32_t vq_memoryWriteStream::create(vq_memoryWriteStream** out) { return makeStream(out); }

// Extends the data to end bytes (new bytes zero), reserving the growth beyond
// it. Capacity also grows geometrically so that long runs of writes stay
// linear in time.
bool vq_memoryWriteStream::growTo(uint64_t end) {
    if (end <= buffer.size()) return true;
    try {
        if (end > buffer.capacity()) {
            uint64_t want = end + static_cast<uint64_t>(growth > 0 ? growth : 0);
            uint64_t geometric = buffer.capacity() + buffer.capacity() / 2;
            buffer.reserve(want > geometric ? want : geometric);
        }
        buffer.resize(end);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

int32_t vq_memoryWriteStream::read(void* out, uint32_t count) {
    uint64_t size = buffer.size();
    if (size == 0 || position >= size) return 0;
    uint64_t left = size - position;
    uint64_t n = count < left ? count : left;
    if (n > INT32_MAX) n = INT32_MAX;
    std::memcpy(out, buffer.data() + position, n);
    position += n;
    return static_cast<int32_t>(n);
}

int32_t vq_memoryWriteStream::write(const void* in, uint32_t count) {
    if (count == 0 || !in) return 0;
    if (count > INT32_MAX) count = INT32_MAX;
    uint64_t end = position + count;
    if (!growTo(end)) return -1;
    std::memcpy(buffer.data() + position, in, count);
    position = end;
    return static_cast<int32_t>(count);
}

int32_t vq_memoryWriteStream::seek(int64_t offset, int32_t origin) {
    uint64_t size = buffer.size();
    uint64_t target = position;
    switch (origin) {
    case vq_seekStart:
        target = offset > 0 ? static_cast<uint64_t>(offset) : 0;
        break;
    case vq_seekCurrent:
        if (offset == 0) return 0;
        if (offset < 0) {
            uint64_t d = magnitude(offset);
            target = d > position ? 0 : position - d;
        } else {
            target = position + static_cast<uint64_t>(offset);
        }
        break;
    case vq_seekEnd:
        if (offset >= 0) {
            target = size + static_cast<uint64_t>(offset);
        } else {
            uint64_t d = magnitude(offset);
            target = d >= size ? 0 : size - d;
        }
        break;
    default:
        return -1;
    }
    // A seek past the end extends the data; when that memory cannot be had the
    // position stays where it was.
    if (!growTo(target)) return -1;
    position = target;
    return 0;
}

int64_t vq_memoryWriteStream::tell() { return static_cast<int64_t>(position); }

bool vq_memoryWriteStream::isEOF() { return position == buffer.size(); }

int32_t vq_memoryWriteStream::flush() { return 0; }

int32_t vq_memoryWriteStream::close() {
    buffer.clear();
    buffer.shrink_to_fit();
    position = 0;
    return 0;
}

int32_t vq_memoryWriteStream::copyTo(vq_stream* destination) {
    if (!destination || buffer.empty()) return 2;
    return writeAll(destination, buffer.data(), buffer.size()) ? 0 : 2;
}

// -------------------------------------------------------------------- openers

namespace {
int32_t openFile(const char* path, bool forWriting, vq_stream** out) {
    if (!out) return 2;
    *out = nullptr;
    vq_streamImpl* s = nullptr;
    if (vq_streamImpl::create(&s) != 0) return 2;
    if (!(forWriting ? s->openWrite(path) : s->openRead(path))) {
        s->release();
        return 2;
    }
    *out = s;
    return 0;
}
} // namespace

int32_t openReadStream(const char* path, vq_stream** out) { return openFile(path, false, out); }

int32_t openReadStreamW(const wchar_t* path, vq_stream** out) {
    if (!out) return 2;
    *out = nullptr;
    if (!path) return 2;
    size_t n = std::wcstombs(nullptr, path, 0);
    if (n == static_cast<size_t>(-1)) return 2;
    std::string narrow(n, '\0');
    std::wcstombs(narrow.data(), path, n + 1);
    return openFile(narrow.c_str(), false, out);
}

int32_t openWriteStream(const char* path, vq_stream** out) { return openFile(path, true, out); }

int64_t streamLength(vq_stream* stream) {
    if (!stream) return -1;
    const int64_t at = stream->tell();
    if (stream->seek(0, vq_seekEnd) != 0) return -1;
    const int64_t length = stream->tell();
    stream->seek(at, vq_seekStart);
    return length;
}

int32_t openMemoryStream(const void* data, uint64_t size, vq_stream** out) {
    if (!out) return 2;
    *out = nullptr;
    if (!data) return 2;
    vq_memoryStream* s = nullptr;
    if (vq_memoryStream::create(&s) != 0) return 2;
    s->setBuffer(data, size);
    *out = s;
    return 0;
}

int32_t createMemoryWriteStream(int32_t growth, vq_stream** out) {
    if (!out) return 2;
    *out = nullptr;
    vq_memoryWriteStream* s = nullptr;
    if (vq_memoryWriteStream::create(&s) != 0) return 2;
    s->setGrowth(growth == 0 ? 4096 : growth);
    *out = s;
    return 0;
}

extern "C" {
int32_t readStream(void* buffer, uint32_t count, vq_stream* stream) { return stream ? stream->read(buffer, count) : 0; }

int32_t writeStream(const void* buffer, uint32_t count, vq_stream* stream) {
    return stream ? stream->write(buffer, count) : 0;
}

int32_t flushStream(vq_stream* stream) { return stream && stream->flush() == 0 ? 0 : -1; }
}
