// Byte order, bit order and the value copies of the directory record.
#include "tiff/vqtiff_internal.h"

#include <cstring>

namespace vqtiff {

void swapShort(uint16_t* v) { *v = uint16_t((*v >> 8) | (*v << 8)); }
void swapLong(uint32_t* v) { *v = __builtin_bswap32(*v); }
void swapLong8(uint64_t* v) { *v = __builtin_bswap64(*v); }
void swapShortArray(uint16_t* v, size_t n) {
    for (size_t i = 0; i < n; ++i) swapShort(v + i);
}
void swapTripleArray(uint8_t* v, size_t n) {
    for (size_t i = 0; i < n; ++i, v += 3) {
        uint8_t t = v[0];
        v[0] = v[2];
        v[2] = t;
    }
}
void swapLongArray(uint32_t* v, size_t n) {
    for (size_t i = 0; i < n; ++i) swapLong(v + i);
}
void swapLong8Array(uint64_t* v, size_t n) {
    for (size_t i = 0; i < n; ++i) swapLong8(v + i);
}
void swapDouble(double* v) {
    // Two 32-bit reversals, then the halves exchanged: an 8-byte reversal.
    uint32_t w[2];
    std::memcpy(w, v, 8);
    swapLong(&w[0]);
    swapLong(&w[1]);
    uint32_t t = w[0];
    w[0] = w[1];
    w[1] = t;
    std::memcpy(v, w, 8);
}
void swapDoubleArray(double* v, size_t n) {
    for (size_t i = 0; i < n; ++i) swapDouble(v + i);
}

namespace {

struct BitTables {
    uint8_t reversed[256];
    uint8_t identity[256];
    constexpr BitTables() : reversed(), identity() {
        for (int i = 0; i < 256; ++i) {
            int r = 0;
            for (int b = 0; b < 8; ++b)
                if (i & (1 << b)) r |= 0x80 >> b;
            reversed[i] = uint8_t(r);
            identity[i] = uint8_t(i);
        }
    }
};
constexpr BitTables bitTables;

} // namespace

const uint8_t* bitReversalTable(bool reversed) {
    return reversed ? bitTables.reversed : bitTables.identity;
}

void reverseBitOrder(uint8_t* bytes, size_t n) {
    const uint8_t* t = bitTables.reversed;
    for (; n > 8; n -= 8, bytes += 8) {
        bytes[0] = t[bytes[0]];
        bytes[1] = t[bytes[1]];
        bytes[2] = t[bytes[2]];
        bytes[3] = t[bytes[3]];
        bytes[4] = t[bytes[4]];
        bytes[5] = t[bytes[5]];
        bytes[6] = t[bytes[6]];
        bytes[7] = t[bytes[7]];
    }
    for (; n > 0; --n, ++bytes) *bytes = t[*bytes];
}

void replaceArray(void** place, const void* source, size_t count, size_t size) {
    if (*place) {
        memFree(*place);
        *place = nullptr;
    }
    if (!source || size == 0) return;
    size_t bytes = count * size;
    if (bytes / size != count || bytes > 0xFFFFFFFFu) return;
    void* p = memAlloc(bytes);
    if (!p) return;
    memCopy(p, source, bytes);
    *place = p;
}
void replaceBytes(void** place, const void* source, size_t count) { replaceArray(place, source, count, 1); }
void replaceString(char** place, const char* text) {
    replaceArray(reinterpret_cast<void**>(place), text, text ? std::strlen(text) + 1 : 0, 1);
}
void replaceShorts(uint16_t** place, const uint16_t* source, size_t count) {
    replaceArray(reinterpret_cast<void**>(place), source, count, 2);
}
void replaceLongs(uint32_t** place, const uint32_t* source, size_t count) {
    replaceArray(reinterpret_cast<void**>(place), source, count, 4);
}
void replaceLong8s(uint64_t** place, const uint64_t* source, size_t count) {
    replaceArray(reinterpret_cast<void**>(place), source, count, 8);
}
void replaceFloats(float** place, const float* source, size_t count) {
    replaceArray(reinterpret_cast<void**>(place), source, count, 4);
}
void replaceDoubles(double** place, const double* source, size_t count) {
    replaceArray(reinterpret_cast<void**>(place), source, count, 8);
}

} // namespace vqtiff
