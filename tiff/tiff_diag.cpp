// Diagnostics, memory operations and the POSIX file layer of the TIFF library.
#include "tiff/vqtiff_internal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vqtiff {

namespace {

// The default handlers stand in for a desktop message box: they show the
// message on the standard error stream under the module name.
void defaultHandler(const char* kind, const char* module, const char* format, va_list args) {
    std::fprintf(stderr, "%s %s: ", module ? module : "TIFF library", kind);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
}
void defaultWarningHandler(const char* module, const char* format, va_list args) {
    defaultHandler("Warning", module, format, args);
}
void defaultErrorHandler(const char* module, const char* format, va_list args) {
    defaultHandler("Error", module, format, args);
}

TIFFMessageHandler warningHandler = defaultWarningHandler;
TIFFMessageHandlerExt warningHandlerExt = nullptr;
TIFFMessageHandler errorHandler = defaultErrorHandler;
TIFFMessageHandlerExt errorHandlerExt = nullptr;

// A va_list is consumed by its first use, so every handler gets its own copy.
void dispatch(TIFFMessageHandler plain, TIFFMessageHandlerExt ext, void* clientData,
              const char* module, const char* format, va_list args) {
    if (plain) {
        va_list copy;
        va_copy(copy, args);
        plain(module, format, copy);
        va_end(copy);
    }
    if (ext) {
        va_list copy;
        va_copy(copy, args);
        ext(clientData, module, format, copy);
        va_end(copy);
    }
}

} // namespace

TIFFMessageHandler TIFFInstallWarningHandler(TIFFMessageHandler handler) {
    TIFFMessageHandler previous = warningHandler;
    warningHandler = handler;
    return previous;
}
TIFFMessageHandlerExt TIFFInstallWarningHandlerExt(TIFFMessageHandlerExt handler) {
    TIFFMessageHandlerExt previous = warningHandlerExt;
    warningHandlerExt = handler;
    return previous;
}
TIFFMessageHandler TIFFInstallErrorHandler(TIFFMessageHandler handler) {
    TIFFMessageHandler previous = errorHandler;
    errorHandler = handler;
    return previous;
}
TIFFMessageHandlerExt TIFFInstallErrorHandlerExt(TIFFMessageHandlerExt handler) {
    TIFFMessageHandlerExt previous = errorHandlerExt;
    errorHandlerExt = handler;
    return previous;
}

void TIFFReportWarning(const char* module, const char* format, ...) {
    va_list args;
    va_start(args, format);
    dispatch(warningHandler, warningHandlerExt, nullptr, module, format, args);
    va_end(args);
}
void TIFFReportWarningExt(void* clientData, const char* module, const char* format, ...) {
    va_list args;
    va_start(args, format);
    dispatch(warningHandler, warningHandlerExt, clientData, module, format, args);
    va_end(args);
}
void TIFFReportError(const char* module, const char* format, ...) {
    va_list args;
    va_start(args, format);
    dispatch(errorHandler, errorHandlerExt, nullptr, module, format, args);
    va_end(args);
}
void TIFFReportErrorExt(void* clientData, const char* module, const char* format, ...) {
    va_list args;
    va_start(args, format);
    dispatch(errorHandler, errorHandlerExt, clientData, module, format, args);
    va_end(args);
}
void errorExt(TIFFHandle* h, const char* module, const char* format, ...) {
    va_list args;
    va_start(args, format);
    dispatch(errorHandler, errorHandlerExt, h ? h->clientData : nullptr, module, format, args);
    va_end(args);
}
void warningExt(TIFFHandle* h, const char* module, const char* format, ...) {
    va_list args;
    va_start(args, format);
    dispatch(warningHandler, warningHandlerExt, h ? h->clientData : nullptr, module, format, args);
    va_end(args);
}

// ---- memory ----

void* memAlloc(size_t n) { return std::malloc(n ? n : 1); }
void memFree(void* p) { std::free(p); }
void* memResize(void* p, size_t n) { return std::realloc(p, n ? n : 1); }
void memFill(void* p, int value, size_t n) { std::memset(p, value, n); }
void memCopy(void* dst, const void* src, size_t n) {
    if (n) std::memcpy(dst, src, n);
}
int memCompare(const void* a, const void* b, size_t n) {
    const uint8_t* pa = static_cast<const uint8_t*>(a);
    const uint8_t* pb = static_cast<const uint8_t*>(b);
    for (size_t i = 0; i < n; ++i)
        if (pa[i] != pb[i]) return int(pa[i]) - int(pb[i]);
    return 0;
}

void* TIFFCheckedRealloc(TIFFHandle* h, void* block, size_t count, size_t size, const char* what) {
    void* p = nullptr;
    size_t bytes = count * size;
    if (count != 0 && size != 0 && bytes / size == count && bytes <= 0xFFFFFFFFu)
        p = memResize(block, bytes);
    if (!p) errorExt(h, h ? h->fileName : "", "No space %s", what);
    return p;
}
void* TIFFCheckedMalloc(TIFFHandle* h, size_t count, size_t size, const char* what) {
    return TIFFCheckedRealloc(h, nullptr, count, size, what);
}

// ---- POSIX file layer ----
// The client value is the file descriptor. Reads and writes loop over short
// transfers, so a short count means end of file or an error.

namespace {

void* fdToClient(int fd) { return reinterpret_cast<void*>(static_cast<intptr_t>(fd)); }
int clientToFd(void* client) { return static_cast<int>(reinterpret_cast<intptr_t>(client)); }

int64_t posixRead(void* client, void* buffer, int64_t count) {
    int fd = clientToFd(client);
    uint8_t* p = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::read(fd, p + done, size_t(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}
int64_t posixWrite(void* client, void* buffer, int64_t count) {
    int fd = clientToFd(client);
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd, p + done, size_t(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}
uint64_t posixSeek(void* client, uint64_t offset, int origin) {
    int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
    off_t r = ::lseek(clientToFd(client), off_t(offset), whence);
    return uint64_t(r);
}
int posixClose(void* client) { return ::close(clientToFd(client)) == 0 ? 0 : -1; }
uint64_t posixSize(void* client) {
    struct stat st;
    if (::fstat(clientToFd(client), &st) != 0) return 0;
    return uint64_t(st.st_size);
}
int posixMap(void* client, void** base, uint64_t* size) {
    uint64_t n = posixSize(client);
    if (n == 0 || n > uint64_t(SIZE_MAX)) return 0;
    void* p = ::mmap(nullptr, size_t(n), PROT_READ, MAP_SHARED, clientToFd(client), 0);
    if (p == MAP_FAILED) return 0;
    *base = p;
    *size = n;
    return 1;
}
void posixUnmap(void*, void* base, uint64_t size) {
    if (base) ::munmap(base, size_t(size));
}
int noMap(void*, void**, uint64_t*) { return 0; }
void noUnmap(void*, void*, uint64_t) {}
int lastErrno() { return errno; }

} // namespace

TIFFHandle* TIFFOpenDescriptor(int fd, const char* name, const char* mode) {
    // A 'u' as the second or third letter keeps the file unmapped.
    bool noMapping = mode[0] && (mode[1] == 'u' || (mode[1] && mode[2] == 'u'));
    TIFFHandle* h = TIFFClientOpen(name, mode, fdToClient(fd), posixRead, posixWrite, posixSeek,
                                   posixClose, posixSize, noMapping ? noMap : posixMap,
                                   noMapping ? noUnmap : posixUnmap);
    if (h) {
        h->fileDescriptor = fd;
        h->osErrorHook = lastErrno;
    }
    return h;
}

TIFFHandle* TIFFOpen(const char* path, const char* mode) {
    static const char module[] = "TIFFOpen";
    int m = parseOpenMode(mode, module);
    if (m == -1) return nullptr;
    int flags;
    if (m == OPEN_RDONLY)
        flags = O_RDONLY;
    else if (m & OPEN_TRUNC)
        flags = O_RDWR | O_CREAT | O_TRUNC;
    else
        flags = O_RDWR | O_CREAT;
    int fd = ::open(path, flags | O_CLOEXEC, 0666);
    if (fd < 0) {
        TIFFReportError(module, "%s: Cannot open (%d)", path, errno);
        return nullptr;
    }
    TIFFHandle* h = TIFFOpenDescriptor(fd, path, mode);
    if (!h) ::close(fd);
    return h;
}

} // namespace vqtiff
