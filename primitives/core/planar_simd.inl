// Planar and packed layout forms of one processor path (included by
// format_p<N>.cpp). Large outputs of the interleaving directions are written
// with streaming stores; every streaming run ends with a store fence.

#include "primitives/core/block_kernels.h"
#include "primitives/core/planar.h"
#include "primitives/core/processor.h"

namespace prim::VQ_PATH_NS {
namespace {

// Rows merge into one when neither side has a gap after a row.
inline void mergeRows(int32_t packedStep, int32_t planeStep, int32_t n, int64_t& width, int32_t& rows) {
    if (int64_t(packedStep) == n * int64_t(planeStep) && planeStep == width && n * width * rows <= INT32_MAX) {
        width *= rows;
        rows = 1;
    }
}

template <int N>
inline void planePixel(const uint8_t* const* p, int64_t x, uint8_t* d) {
    for (int c = 0; c < N; ++c)
        d[c] = p[c][x];
}

// --- three planes to packed ---------------------------------------------

#if VQ_PATH_LEVEL >= 3
void planesToPixels8uC3Shuffle(const uint8_t* const* planes, int32_t planeStep, uint8_t* dst, int32_t dstStep,
                               PrimSize size) {
    int64_t width = size.width;
    int32_t rows = size.height;
    int32_t cache = 0;
    if (width >= 512)
        getMaxCacheSize(&cache);
    mergeRows(dstStep, planeStep, 3, width, rows);
    const bool streaming = cache != 0 && 3 * width * rows > cache / 2;
    uint8_t index[48];
    for (int k = 0; k < 48; ++k)
        index[k] = static_cast<uint8_t>(16 * (k % 3) + k / 3);
    const Permute48 interleave = makePermute48(index);
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* p[3] = {rowAt(planes[0], y, planeStep), rowAt(planes[1], y, planeStep),
                               rowAt(planes[2], y, planeStep)};
        uint8_t* d = rowAt(dst, y, dstStep);
        int64_t x = 0;
        if (streaming)
            for (; x < width && !aligned16(d + 3 * x); ++x)
                planePixel<3>(p, x, d + 3 * x);
        for (; width - x >= 16; x += 16) {
            __m128i out[3];
            permute48(interleave, load16(p[0] + x), load16(p[1] + x), load16(p[2] + x), out);
            uint8_t* o = d + 3 * x;
            if (streaming) {
                stream16(o, out[0]);
                stream16(o + 16, out[1]);
                stream16(o + 32, out[2]);
            } else {
                store16(o, out[0]);
                store16(o + 16, out[1]);
                store16(o + 32, out[2]);
            }
        }
        for (; x < width; ++x)
            planePixel<3>(p, x, d + 3 * x);
    }
    if (streaming)
        _mm_sfence();
}
#else
// Sixteen pixels at a time by register; when streaming, four pixels as three
// 32-bit words once the output is word aligned.
void planesToPixels8uC3Words(const uint8_t* const* planes, int32_t planeStep, uint8_t* dst, int32_t dstStep,
                             int64_t width, int32_t rows, bool streaming) {
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* p[3] = {rowAt(planes[0], y, planeStep), rowAt(planes[1], y, planeStep),
                               rowAt(planes[2], y, planeStep)};
        uint8_t* d = rowAt(dst, y, dstStep);
        int64_t x = 0;
        if (!streaming) {
            // Sixteen pixels joined into 4-byte lanes, then packed to 3 bytes.
            const __m128i zero = _mm_setzero_si128();
            for (; width - x >= 16; x += 16) {
                __m128i px[4];
                joinChannels16(load16(p[0] + x), load16(p[1] + x), load16(p[2] + x), zero, px);
                for (int k = 0; k < 4; ++k)
                    compress4to3(px[k], d + 3 * x + 12 * k);
            }
        }
        for (; x < width && (reinterpret_cast<uintptr_t>(d + 3 * x) & 3); ++x)
            planePixel<3>(p, x, d + 3 * x);
        for (; width - x >= 4; x += 4) {
            const uint8_t* a = p[0] + x;
            const uint8_t* b = p[1] + x;
            const uint8_t* c = p[2] + x;
            const uint32_t w0 = a[0] | uint32_t(b[0]) << 8 | uint32_t(c[0]) << 16 | uint32_t(a[1]) << 24;
            const uint32_t w1 = b[1] | uint32_t(c[1]) << 8 | uint32_t(a[2]) << 16 | uint32_t(b[2]) << 24;
            const uint32_t w2 = c[2] | uint32_t(a[3]) << 8 | uint32_t(b[3]) << 16 | uint32_t(c[3]) << 24;
            int32_t* o = reinterpret_cast<int32_t*>(d + 3 * x);
            if (streaming) {
                _mm_stream_si32(o, static_cast<int32_t>(w0));
                _mm_stream_si32(o + 1, static_cast<int32_t>(w1));
                _mm_stream_si32(o + 2, static_cast<int32_t>(w2));
            } else {
                store4(d + 3 * x, w0);
                store4(d + 3 * x + 4, w1);
                store4(d + 3 * x + 8, w2);
            }
        }
        for (; x < width; ++x)
            planePixel<3>(p, x, d + 3 * x);
    }
    if (streaming)
        _mm_sfence();
}
#endif

// --- four planes to packed ----------------------------------------------

void planesToPixels8uC4Block(const uint8_t* const* planes, int32_t planeStep, uint8_t* dst, int32_t dstStep,
                             int64_t width, int32_t rows, bool streaming) {
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* p[4] = {rowAt(planes[0], y, planeStep), rowAt(planes[1], y, planeStep),
                               rowAt(planes[2], y, planeStep), rowAt(planes[3], y, planeStep)};
        uint8_t* d = rowAt(dst, y, dstStep);
        int64_t x = 0;
        for (; x < width && !aligned16(d + 4 * x); ++x)
            planePixel<4>(p, x, d + 4 * x);
        for (; width - x >= 16; x += 16) {
            __m128i out[4];
            joinChannels16(load16(p[0] + x), load16(p[1] + x), load16(p[2] + x), load16(p[3] + x), out);
            uint8_t* o = d + 4 * x;
            for (int r = 0; r < 4; ++r) {
                if (streaming)
                    stream16(o + 16 * r, out[r]);
                else
                    store16a(o + 16 * r, out[r]);
            }
        }
        for (; x < width; ++x)
            planePixel<4>(p, x, d + 4 * x);
    }
    if (streaming)
        _mm_sfence();
}

// --- packed to planes ---------------------------------------------------

template <int N>
inline void pixelToPlanes(const uint8_t* s, uint8_t* const* p, int64_t x) {
    for (int c = 0; c < N; ++c)
        p[c][x] = s[c];
}

void pixelsToPlanes8uC3Row(const uint8_t* s, uint8_t* const* p, int64_t width) {
    int64_t x = 0;
#if VQ_PATH_LEVEL >= 3
    uint8_t index[48];
    for (int k = 0; k < 48; ++k)
        index[k] = static_cast<uint8_t>(3 * (k % 16) + k / 16);
    const Permute48 split = makePermute48(index);
    for (; width - x >= 16; x += 16) {
        __m128i out[3];
        const uint8_t* b = s + 3 * x;
        permute48(split, load16(b), load16(b + 16), load16(b + 32), out);
        for (int c = 0; c < 3; ++c)
            store16(p[c] + x, out[c]);
    }
#else
    // Sixteen pixels spread to 4-byte lanes, then split by channel.
    for (; width - x >= 16; x += 16) {
        const uint8_t* b = s + 3 * x;
        __m128i out[4];
        splitChannels16(expand3to4(b), expand3to4(b + 12), expand3to4(b + 24), expand3to4(b + 36), out);
        for (int c = 0; c < 3; ++c)
            store16(p[c] + x, out[c]);
    }
#endif
    for (; x < width; ++x)
        pixelToPlanes<3>(s + 3 * x, p, x);
}

void pixelsToPlanes8uC4Row(const uint8_t* s, uint8_t* const* p, int64_t width) {
    int64_t x = 0;
    for (; width - x >= 16; x += 16) {
        const uint8_t* b = s + 4 * x;
        __m128i out[4];
        splitChannels16(load16(b), load16(b + 16), load16(b + 32), load16(b + 48), out);
        for (int c = 0; c < 4; ++c)
            store16(p[c] + x, out[c]);
    }
    for (; x < width; ++x)
        pixelToPlanes<4>(s + 4 * x, p, x);
}

template <int N>
int32_t pixelsToPlanes(const uint8_t* src, int32_t srcStep, uint8_t* const* planes, int32_t planeStep,
                       PrimSize size) {
    const int32_t status = planarArgsStatus(src, planes, reinterpret_cast<const void* const*>(planes), N, size);
    if (status != primNoErr)
        return status;
    int64_t width = size.width;
    int32_t rows = size.height;
    mergeRows(srcStep, planeStep, N, width, rows);
    for (int32_t y = 0; y < rows; ++y) {
        uint8_t* p[N];
        for (int c = 0; c < N; ++c)
            p[c] = rowAt(planes[c], y, planeStep);
        if (N == 3)
            pixelsToPlanes8uC3Row(rowAt(src, y, srcStep), p, width);
        else
            pixelsToPlanes8uC4Row(rowAt(src, y, srcStep), p, width);
    }
    return primNoErr;
}

} // namespace

int32_t copyPlanesToPixels8uC3(const uint8_t* const* planes, int32_t planeStep, uint8_t* dst, int32_t dstStep,
                               PrimSize size) {
    const int32_t status = planarArgsStatus(planes, dst, reinterpret_cast<const void* const*>(planes), 3, size);
    if (status != primNoErr)
        return status;
#if VQ_PATH_LEVEL >= 3
    planesToPixels8uC3Shuffle(planes, planeStep, dst, dstStep, size);
#else
    int64_t width = size.width;
    int32_t rows = size.height;
    mergeRows(dstStep, planeStep, 3, width, rows);
    planesToPixels8uC3Words(planes, planeStep, dst, dstStep, width, rows, 3 * width * rows > 0x100000);
#endif
    return primNoErr;
}

int32_t copyPlanesToPixels8uC4(const uint8_t* const* planes, int32_t planeStep, uint8_t* dst, int32_t dstStep,
                               PrimSize size) {
    const int32_t status = planarArgsStatus(planes, dst, reinterpret_cast<const void* const*>(planes), 4, size);
    if (status != primNoErr)
        return status;
    int64_t width = size.width;
    int32_t rows = size.height;
    mergeRows(dstStep, planeStep, 4, width, rows);
    // Bytes read plus bytes written.
    const bool streaming = streamPastCache(8 * width * rows, VQ_PATH_LEVEL == 1 ? 0x80000 : 0x100000);
    planesToPixels8uC4Block(planes, planeStep, dst, dstStep, width, rows, streaming);
    return primNoErr;
}

int32_t copyPixelsToPlanes8uC3(const uint8_t* src, int32_t srcStep, uint8_t* const* planes, int32_t planeStep,
                               PrimSize size) {
    return pixelsToPlanes<3>(src, srcStep, planes, planeStep, size);
}
int32_t copyPixelsToPlanes8uC4(const uint8_t* src, int32_t srcStep, uint8_t* const* planes, int32_t planeStep,
                               PrimSize size) {
    return pixelsToPlanes<4>(src, srcStep, planes, planeStep, size);
}

} // namespace prim::VQ_PATH_NS
