#include "primitives/core/memory.h"

#include <cstdlib>
#include <cstring>

UnderlyingAlloc primUnderlyingAlloc = std::malloc;
UnderlyingFree primUnderlyingFree = std::free;

namespace {

constexpr int64_t kMaxRequest = INT32_MAX;

// The word before an aligned block holds the start of the underlying
// allocation. It is a full pointer: a 32-bit word would truncate 64-bit
// addresses. 32 bytes of alignment plus the pointer is what we add.
constexpr int64_t kOverhead = 32 + sizeof(void*);

void* allocBytes(int64_t size) {
    if (size <= 0 || size > kMaxRequest || size + kOverhead > kMaxRequest)
        return nullptr;
    auto* p = static_cast<uint8_t*>(primUnderlyingAlloc(static_cast<std::size_t>(size + kOverhead)));
    if (!p)
        return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(p);
    const uintptr_t block = (start + kOverhead - 1) & ~uintptr_t(31);
    std::memcpy(reinterpret_cast<void*>(block - sizeof(void*)), &p, sizeof p);
    return reinterpret_cast<void*>(block);
}

template <class T>
T* allocImage(int32_t width, int32_t height, int32_t* step, int32_t bytesPerPixel) {
    if (!step)
        return nullptr;
    if (width <= 0 || height <= 0) {
        *step = 0;
        return nullptr;
    }
    const int64_t s = (int64_t(width) * bytesPerPixel + 31) & ~int64_t(31);
    if (s > kMaxRequest) {
        *step = 0;
        return nullptr;
    }
    *step = static_cast<int32_t>(s);
    return static_cast<T*>(allocBytes(s * height));
}

uint8_t* image8uC1(int32_t w, int32_t h, int32_t* s) { return allocImage<uint8_t>(w, h, s, 1); }
uint8_t* image8uC3(int32_t w, int32_t h, int32_t* s) { return allocImage<uint8_t>(w, h, s, 3); }
uint8_t* image8uC4(int32_t w, int32_t h, int32_t* s) { return allocImage<uint8_t>(w, h, s, 4); }
uint16_t* image16uC1(int32_t w, int32_t h, int32_t* s) { return allocImage<uint16_t>(w, h, s, 2); }
uint16_t* image16uC3(int32_t w, int32_t h, int32_t* s) { return allocImage<uint16_t>(w, h, s, 6); }

} // namespace

void* alignedMalloc(int32_t size) { return allocBytes(size); }

void alignedFree(void* block) {
    if (!block)
        return;
    void* start;
    std::memcpy(&start, static_cast<uint8_t*>(block) - sizeof(void*), sizeof start);
    primUnderlyingFree(start);
}

namespace prim::generic {
uint8_t* allocVector8u(int32_t n) { return static_cast<uint8_t*>(allocBytes(n)); }
void freeBlock(void* block) { alignedFree(block); }
} // namespace prim::generic

int16_t* allocVector16s(int32_t n) { return n <= 0 ? nullptr : static_cast<int16_t*>(allocBytes(int64_t(n) * 2)); }
int32_t* allocVector32s(int32_t n) { return n <= 0 ? nullptr : static_cast<int32_t*>(allocBytes(int64_t(n) * 4)); }

// Every path of the allocators is the same body.
const AllocVector8uFn allocVector8uTable[6] = VQ_ONE_BODY(prim::generic::allocVector8u);
const FreeBlockFn freeVectorTable[6] = VQ_ONE_BODY(prim::generic::freeBlock);
const FreeBlockFn freeImageTable[6] = VQ_ONE_BODY(prim::generic::freeBlock);
const AllocImage8uFn allocImage8uC1Table[6] = VQ_ONE_BODY(image8uC1);
const AllocImage8uFn allocImage8uC3Table[6] = VQ_ONE_BODY(image8uC3);
const AllocImage8uFn allocImage8uC4Table[6] = VQ_ONE_BODY(image8uC4);
const AllocImage16uFn allocImage16uC1Table[6] = VQ_ONE_BODY(image16uC1);
const AllocImage16uFn allocImage16uC3Table[6] = VQ_ONE_BODY(image16uC3);

uint8_t* allocVector8u(int32_t n) { return VQ_DISPATCH(allocVector8uTable)(n); }
void freeVector(void* block) { VQ_DISPATCH(freeVectorTable)(block); }
void freeImage(void* block) { VQ_DISPATCH(freeImageTable)(block); }
uint8_t* allocImage8uC1(int32_t w, int32_t h, int32_t* s) { return VQ_DISPATCH(allocImage8uC1Table)(w, h, s); }
uint8_t* allocImage8uC3(int32_t w, int32_t h, int32_t* s) { return VQ_DISPATCH(allocImage8uC3Table)(w, h, s); }
uint8_t* allocImage8uC4(int32_t w, int32_t h, int32_t* s) { return VQ_DISPATCH(allocImage8uC4Table)(w, h, s); }
uint16_t* allocImage16uC1(int32_t w, int32_t h, int32_t* s) { return VQ_DISPATCH(allocImage16uC1Table)(w, h, s); }
uint16_t* allocImage16uC3(int32_t w, int32_t h, int32_t* s) { return VQ_DISPATCH(allocImage16uC3Table)(w, h, s); }
