#include "platform/file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vq::platform {

namespace {

// Largest single transfer we ask the kernel for; it would cut larger ones anyway.
constexpr int64_t kChunk = int64_t(1) << 30;

template <class Op>
int64_t loopTransfer(int64_t count, Op op) {
    if (count <= 0)
        return 0;
    int64_t done = 0;
    while (done < count) {
        const int64_t want = count - done < kChunk ? count - done : kChunk;
        const ssize_t got = op(done, static_cast<size_t>(want));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return done > 0 ? done : -1;
        }
        if (got == 0)
            break;  // end of file (read) or no progress (write)
        done += got;
    }
    return done;
}

} // namespace

File::~File() { close(); }

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool File::open(const std::string& path, Mode mode) {
    close();
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case Mode::Append: flags |= O_RDWR | O_CREAT; break;
    }
    do {
        fd_ = ::open(path.c_str(), flags, 0644);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ >= 0 && mode == Mode::Append && ::lseek(fd_, 0, SEEK_END) < 0) {
        close();
        return false;
    }
    if (fd_ >= 0) {
        struct stat st;
        if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
            close();
            return false;
        }
    }
    return fd_ >= 0;
}

bool File::close() {
    if (fd_ < 0)
        return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
}

int64_t File::read(void* buffer, int64_t count) {
    if (fd_ < 0)
        return -1;
    auto* p = static_cast<char*>(buffer);
    return loopTransfer(count, [&](int64_t done, size_t n) { return ::read(fd_, p + done, n); });
}

int64_t File::write(const void* buffer, int64_t count) {
    if (fd_ < 0)
        return -1;
    const auto* p = static_cast<const char*>(buffer);
    return loopTransfer(count, [&](int64_t done, size_t n) { return ::write(fd_, p + done, n); });
}

int64_t File::readAt(int64_t offset, void* buffer, int64_t count) const {
    if (fd_ < 0 || offset < 0)
        return -1;
    auto* p = static_cast<char*>(buffer);
    return loopTransfer(count, [&](int64_t done, size_t n) { return ::pread(fd_, p + done, n, offset + done); });
}

int64_t File::writeAt(int64_t offset, const void* buffer, int64_t count) {
    if (fd_ < 0 || offset < 0)
        return -1;
    const auto* p = static_cast<const char*>(buffer);
    return loopTransfer(count, [&](int64_t done, size_t n) { return ::pwrite(fd_, p + done, n, offset + done); });
}

int64_t File::seek(int64_t offset, Origin origin) {
    if (fd_ < 0)
        return -1;
    const int whence = origin == Origin::Begin ? SEEK_SET : origin == Origin::Current ? SEEK_CUR : SEEK_END;
    const off_t pos = ::lseek(fd_, static_cast<off_t>(offset), whence);
    return pos < 0 ? -1 : static_cast<int64_t>(pos);
}

int64_t File::tell() const {
    if (fd_ < 0)
        return -1;
    const off_t pos = ::lseek(fd_, 0, SEEK_CUR);
    return pos < 0 ? -1 : static_cast<int64_t>(pos);
}

int64_t File::size() const {
    if (fd_ < 0)
        return -1;
    struct stat st;
    return ::fstat(fd_, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

bool File::truncate(int64_t length) { return fd_ >= 0 && length >= 0 && ::ftruncate(fd_, length) == 0; }

bool File::flush() { return fd_ >= 0 && ::fsync(fd_) == 0; }

FileMapping::~FileMapping() { unmap(); }

bool FileMapping::map(const File& file, bool writable) {
    unmap();
    const int64_t n = file.size();
    if (n <= 0)
        return false;
    void* p = ::mmap(nullptr, static_cast<size_t>(n), writable ? PROT_READ | PROT_WRITE : PROT_READ,
                     MAP_SHARED, file.descriptor(), 0);
    if (p == MAP_FAILED)
        return false;
    data_ = p;
    size_ = n;
    return true;
}

void FileMapping::unmap() {
    if (data_) {
        ::munmap(data_, static_cast<size_t>(size_));
        data_ = nullptr;
        size_ = 0;
    }
}

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directoryExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t fileSize(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

} // namespace vq::platform
