// Block memory kernels of one processor path (included by move_p<N>.cpp after
// simd_path.h). Every kernel aligns the destination to 16 bytes and then
// stores aligned; long blocks go past the cache with streaming stores when the
// processor's descriptors name a cache they would only evict, and every
// streaming run ends with a store fence.

#include "primitives/core/block_kernels.h"

namespace prim::VQ_PATH_NS {
namespace {

// Fewer than 64 bytes. All loads come before the stores, so a block copied
// onto itself stays unchanged; the overlapping pieces rewrite equal bytes.
inline void smallCopy(const uint8_t* s, uint8_t* d, int32_t n) {
    if (n >= 32) {
        const __m128i a = load16(s), b = load16(s + 16), c = load16(s + n - 32), e = load16(s + n - 16);
        store16(d, a);
        store16(d + 16, b);
        store16(d + n - 32, c);
        store16(d + n - 16, e);
    } else if (n >= 16) {
        const __m128i a = load16(s), b = load16(s + n - 16);
        store16(d, a);
        store16(d + n - 16, b);
    } else if (n >= 8) {
        const __m128i a = load8(s), b = load8(s + n - 8);
        store8(d, a);
        store8(d + n - 8, b);
    } else if (n >= 4) {
        const uint32_t a = load4(s), b = load4(s + n - 4);
        store4(d, a);
        store4(d + n - 4, b);
    } else {
        for (int32_t i = n - 1; i >= 0; --i)
            d[i] = s[i];
    }
}

inline void smallZero(uint8_t* d, int32_t n) {
    const __m128i z = _mm_setzero_si128();
    if (n >= 16) {
        store16(d, z);
        store16(d + n - 16, z);
    } else if (n >= 8) {
        store8(d, z);
        store8(d + n - 8, z);
    } else if (n >= 4) {
        store4(d, 0);
        store4(d + n - 4, 0);
    } else {
        for (int32_t i = 0; i < n; ++i)
            d[i] = 0;
    }
}

// Aligned destination: 64-byte blocks, aligned loads when the source allows.
// Returns the bytes left (fewer than 64).
inline int32_t copyBlocks64(const uint8_t*& s, uint8_t*& d, int32_t len) {
    if (aligned16(s)) {
        for (; len >= 64; len -= 64, s += 64, d += 64) {
            const __m128i a = load16a(s), b = load16a(s + 16), c = load16a(s + 32), e = load16a(s + 48);
            store16a(d, a);
            store16a(d + 16, b);
            store16a(d + 32, c);
            store16a(d + 48, e);
        }
    } else {
        for (; len >= 64; len -= 64, s += 64, d += 64) {
#if VQ_PATH_LEVEL >= 2
            const __m128i a = _mm_lddqu_si128(reinterpret_cast<const __m128i*>(s));
            const __m128i b = _mm_lddqu_si128(reinterpret_cast<const __m128i*>(s + 16));
            const __m128i c = _mm_lddqu_si128(reinterpret_cast<const __m128i*>(s + 32));
            const __m128i e = _mm_lddqu_si128(reinterpret_cast<const __m128i*>(s + 48));
#else
            const __m128i a = load16(s), b = load16(s + 16), c = load16(s + 32), e = load16(s + 48);
#endif
            store16a(d, a);
            store16a(d + 16, b);
            store16a(d + 32, c);
            store16a(d + 48, e);
        }
    }
    return len;
}

// Aligned destination, streaming stores. The source is pre-read one byte per
// cache line, chunk by chunk, so the loads of the copy hit the cache.
// No fence here: the caller fences once after its last streaming run.
constexpr int32_t kStreamChunk = 0x40000;
constexpr int32_t kPreReadStride = VQ_PATH_LEVEL == 1 ? 32 : 64;

inline void preRead(const uint8_t* s, int32_t n, bool backwards) {
    uint8_t sink = 0;
    if (backwards) {
        for (int32_t i = n - 1; i >= 0; i -= kPreReadStride)
            sink ^= *static_cast<const volatile uint8_t*>(s + i);
    } else {
        for (int32_t i = 0; i < n; i += kPreReadStride)
            sink ^= *static_cast<const volatile uint8_t*>(s + i);
    }
    (void)sink;
}

inline int32_t streamBlocks(const uint8_t*& s, uint8_t*& d, int32_t len) {
    while (len >= 16) {
        const bool whole = len >= kStreamChunk;
        const int32_t chunk = whole ? kStreamChunk : (len & ~15);
        preRead(s, chunk, !whole);
        for (int32_t i = 0; i < chunk; i += 16)
            stream16(d + i, load16(s + i));
        s += chunk;
        d += chunk;
        len -= chunk;
    }
    return len;
}

// Brings the destination to a 16-byte boundary with one unaligned piece; the
// bytes it writes twice get the same values. Needs at least 16 bytes.
inline void alignHead(const uint8_t*& s, uint8_t*& d, int32_t& len) {
    const uint32_t mis = misalign16(d);
    if (mis == 0)
        return;
    store16(d, load16(s));
    const int32_t advance = 16 - static_cast<int32_t>(mis);
    s += advance;
    d += advance;
    len -= advance;
}

// Copy with normal stores, no long-block test.
inline void copyCached(const uint8_t* s, uint8_t* d, int32_t len) {
    if (len < 64) {
        if (len > 0)
            smallCopy(s, d, len);
        return;
    }
    alignHead(s, d, len);
    len = copyBlocks64(s, d, len);
    if (len > 0)
        smallCopy(s, d, len);
}

// Length from which copyBytes asks whether to stream.
constexpr int32_t kCopyLongBlock = VQ_PATH_LEVEL == 1 ? 0x20001 : (VQ_PATH_LEVEL == 2 ? 0x80000 : 0x100000);
constexpr int32_t kZeroLongBlock = 0x80001;
constexpr int64_t kRowsLongBlock = 0x200000;

template <int E>
inline void fillPattern(const uint8_t* pattern, void* dst, int32_t len, int32_t nonTemporal) {
    auto* d = static_cast<uint8_t*>(dst);
    constexpr int32_t kBlock = E == 3 ? 48 : 64;
    int32_t phase = 0;  // bytes stored so far from the region's start, modulo E
    if (len >= kBlock) {
        const uint32_t mis = misalign16(d);
        if (mis) {
            store16(d, load16(pattern));
            const int32_t k = 16 - static_cast<int32_t>(mis);
            d += k;
            len -= k;
            phase = k % E;
        }
        const uint8_t* p = pattern + phase;
        const __m128i v0 = load16(p), v1 = E == 3 ? load16(p + 16) : v0, v2 = E == 3 ? load16(p + 32) : v0;
        if (nonTemporal) {
            for (; len >= kBlock; len -= kBlock, d += kBlock) {
                stream16(d, v0);
                stream16(d + 16, v1);
                stream16(d + 32, v2);
                if (E != 3)
                    stream16(d + 48, v0);
            }
            _mm_sfence();
        } else {
            for (; len >= kBlock; len -= kBlock, d += kBlock) {
                store16a(d, v0);
                store16a(d + 16, v1);
                store16a(d + 32, v2);
                if (E != 3)
                    store16a(d + 48, v0);
            }
        }
    }
    for (; len >= 16; len -= 16, d += 16) {
        store16(d, load16(pattern + phase));
        phase = (phase + 16) % E;
    }
    if (E == 1) {
        for (int32_t i = 0; i < len; ++i)
            d[i] = pattern[0];
    } else {
        // Whole elements from the end backwards; the region's end is an
        // element boundary, so a last element reaching back rewrites equal bytes.
        for (int32_t rest = len; rest > 0; rest -= E)
            for (int b = 0; b < E; ++b)
                d[rest - E + b] = pattern[b];
    }
}

} // namespace

void* zeroBytes(void* dst, int32_t len) {
    auto* d = static_cast<uint8_t*>(dst);
    if (len < 16) {
        if (len > 0)
            smallZero(d, len);
        return dst;
    }
    const __m128i z = _mm_setzero_si128();
    const uint32_t mis = misalign16(d);
    if (mis) {
        store16(d, z);
        d += 16 - mis;
        len -= static_cast<int32_t>(16 - mis);
    }
    if (len >= kZeroLongBlock) {
        const int32_t cache = blockCacheSize();
        if (cache > 0 && len >= cache) {
            for (; len >= 16; len -= 16, d += 16)
                stream16(d, z);
            _mm_sfence();
            if (len > 0)
                smallZero(d, len);
            return dst;
        }
    }
    for (; len >= 64; len -= 64, d += 64) {
        store16a(d, z);
        store16a(d + 16, z);
        store16a(d + 32, z);
        store16a(d + 48, z);
    }
    for (; len >= 16; len -= 16, d += 16)
        store16a(d, z);
    if (len > 0)
        store16(d + len - 16, z);  // the bytes before are ours and already zero
    return dst;
}

void* copyBytes(const void* src, void* dst, int32_t len) {
    const auto* s = static_cast<const uint8_t*>(src);
    auto* d = static_cast<uint8_t*>(dst);
    if (len < 64) {
        if (len > 0)
            smallCopy(s, d, len);
        return dst;
    }
    const bool alignedOnEntry = aligned16(d);
    alignHead(s, d, len);
    if (len < 64) {
        smallCopy(s, d, len);
        return dst;
    }
    // A source and destination with the same misalignment are always copied
    // through the cache (except on SSE2, which asks whenever it is long).
    const bool ask = VQ_PATH_LEVEL == 1 || alignedOnEntry || !aligned16(s);
    if (ask && len >= kCopyLongBlock) {
        const int32_t cache = blockCacheSize();
        if (cache > 0 && len >= cache / 2) {
            len = streamBlocks(s, d, len);
            _mm_sfence();
            if (len > 0)
                smallCopy(s, d, len);
            return dst;
        }
    }
    len = copyBlocks64(s, d, len);
    if (len > 0)
        smallCopy(s, d, len);
    return dst;
}

#if VQ_PATH_LEVEL >= 3
void copyRows(const void* src, int32_t srcStep, void* dst, int32_t dstStep, int32_t rowBytes, int32_t rows) {
    if (rowBytes <= 0 || rows <= 0)
        return;
    const auto* s = static_cast<const uint8_t*>(src);
    auto* d = static_cast<uint8_t*>(dst);
    const int64_t total = int64_t(rowBytes) * rows;
    if (srcStep == rowBytes && dstStep == rowBytes && total <= INT32_MAX) {
        rowBytes = static_cast<int32_t>(total);
        rows = 1;
    }
    if (total >= kRowsLongBlock) {
        const int32_t cache = blockCacheSize();
        if (cache > 0 && total >= cache / 2) {
            for (int32_t y = 0; y < rows; ++y) {
                const uint8_t* rs = rowAt(s, y, srcStep);
                uint8_t* rd = rowAt(d, y, dstStep);
                int32_t len = rowBytes;
                for (; len > 0 && !aligned16(rd); --len)
                    *rd++ = *rs++;
                len = streamBlocks(rs, rd, len);
                for (int32_t i = 0; i < len; ++i)
                    rd[i] = rs[i];
            }
            _mm_sfence();
            return;
        }
    }
    for (int32_t y = 0; y < rows; ++y)
        copyCached(rowAt(s, y, srcStep), rowAt(d, y, dstStep), rowBytes);
}
#endif

void copyBytesNt(const void* src, void* dst, int32_t len, int32_t nonTemporal) {
    const auto* s = static_cast<const uint8_t*>(src);
    auto* d = static_cast<uint8_t*>(dst);
    if (!nonTemporal || len < 64) {
        copyCached(s, d, len);
        return;
    }
    alignHead(s, d, len);
    for (; len >= 64; len -= 64, s += 64, d += 64) {
        const __m128i a = load16(s), b = load16(s + 16), c = load16(s + 32), e = load16(s + 48);
        stream16(d, a);
        stream16(d + 16, b);
        stream16(d + 32, c);
        stream16(d + 48, e);
    }
    _mm_sfence();
    if (len > 0)
        smallCopy(s, d, len);
}

void fillBytesPattern16x1(const uint8_t* pattern, void* dst, int32_t len, int32_t nonTemporal) {
    fillPattern<1>(pattern, dst, len, nonTemporal);
}
void fillBytesPattern16x2(const uint8_t* pattern, void* dst, int32_t len, int32_t nonTemporal) {
    fillPattern<2>(pattern, dst, len, nonTemporal);
}
void fillBytesPattern48x3(const uint8_t* pattern, void* dst, int32_t len, int32_t nonTemporal) {
    fillPattern<3>(pattern, dst, len, nonTemporal);
}
void fillBytesPattern16(const uint8_t* pattern, void* dst, int32_t len, int32_t nonTemporal) {
    fillPattern<4>(pattern, dst, len, nonTemporal);
}

int32_t zeroVector8u(uint8_t* dst, int32_t len) { return checkedZeroVector<zeroBytes>(dst, len); }
int32_t copyVector32s(const int32_t* src, int32_t* dst, int32_t count) {
    return checkedCopyVector32s<copyBytes>(src, dst, count);
}

} // namespace prim::VQ_PATH_NS
