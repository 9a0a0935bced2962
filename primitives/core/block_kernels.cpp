#include "primitives/core/block_kernels.h"

#include <cstring>

#include "primitives/core/processor.h"

namespace {

// The caches of 512 KiB and more, in the order of the full descriptor table
// (largest first); the smaller ones are not worth streaming past.
constexpr int kLongBlockDescriptors = 43;

const CacheDescriptor* longBlockDescriptorList() {
    static const struct List {
        CacheDescriptor entries[kLongBlockDescriptors + 1];
        List() : entries{} {
            for (int i = 0; i < kLongBlockDescriptors; ++i)
                entries[i] = cacheDescriptorTable[i];
        }
    } list;
    return list.entries;
}

} // namespace

int32_t blockCacheSize() {
    if (!isExpectedCpuVendor())
        return 0;
    const int32_t size = cacheSizeFromDescriptors(longBlockDescriptorList());
    return size < 0 ? 0 : size;
}

bool streamPastCache(int64_t total, int64_t threshold) {
    if (total <= threshold)
        return false;
    int32_t size = 0;
    return getMaxCacheSize(&size) == primNoErr && total >= size;
}

namespace prim::generic {

void* zeroBytes(void* dst, int32_t len) {
    auto* d = static_cast<uint8_t*>(dst);
    while (len > 0 && (reinterpret_cast<uintptr_t>(d) & 3)) {
        *d++ = 0;
        --len;
    }
    const uint32_t zero = 0;
    for (; len >= 32; len -= 32, d += 32)
        for (int i = 0; i < 32; i += 4)
            std::memcpy(d + i, &zero, 4);
    for (; len > 0; --len)
        *d++ = 0;
    return dst;
}

void* copyBytes(const void* src, void* dst, int32_t len) {
    const auto* s = static_cast<const uint8_t*>(src);
    auto* d = static_cast<uint8_t*>(dst);
    if (s == d)
        return dst;
    while (len > 0 && (reinterpret_cast<uintptr_t>(d) & 3)) {
        *d++ = *s++;
        --len;
    }
    for (; len >= 32; len -= 32, d += 32, s += 32)
        for (int i = 0; i < 32; i += 4) {
            uint32_t w;
            std::memcpy(&w, s + i, 4);
            std::memcpy(d + i, &w, 4);
        }
    for (; len > 0; --len)
        *d++ = *s++;
    return dst;
}

int32_t zeroVector8u(uint8_t* dst, int32_t len) { return checkedZeroVector<zeroBytes>(dst, len); }
int32_t copyVector32s(const int32_t* src, int32_t* dst, int32_t count) {
    return checkedCopyVector32s<copyBytes>(src, dst, count);
}

} // namespace prim::generic
