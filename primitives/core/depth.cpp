#include "primitives/core/depth.h"

#include <cstring>

#include "primitives/core/processor.h"
#include "primitives/core/rows.h"

int32_t depthArgsStatus(const void* src, int32_t srcStep, const void* dst, int32_t dstStep, PrimSize size) {
    if (!src || !dst)
        return primErrNullPtr;
    if (size.width < 1 || size.height < 1)
        return primErrSize;
    if (srcStep < 1 || dstStep < 1)
        return primErrStep;
    return primNoErr;
}

namespace prim::generic {

namespace {

uint16_t load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
int32_t load32(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// 255/65535 rounded to single precision; s x m + 0.5 is exact in double.
uint8_t scaleAccurate(uint32_t s) {
    uint32_t bits = 0x3B7F00FFu;
    float m;
    std::memcpy(&m, &bits, 4);
    const double t = double(s) * double(m) + 0.5;
    int32_t d = truncateToInt(t);
    if ((d & 1) && t == double(d))
        --d;
    return static_cast<uint8_t>(d);
}

uint8_t scaleFast(uint32_t s) { return static_cast<uint8_t>((s - (s >> 8) + 128) >> 8); }

int32_t scale16(const uint16_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size, int32_t mode,
                int32_t channels) {
    const int32_t status = depthArgsStatus(src, srcStep, dst, dstStep, size);
    if (status != primNoErr)
        return status;
    const int64_t n = int64_t(size.width) * channels;
    for (int32_t y = 0; y < size.height; ++y) {
        const uint8_t* s = rowAt(bytes(src), y, srcStep);
        uint8_t* d = rowAt(dst, y, dstStep);
        if (mode == kScaleAccurate)
            for (int64_t i = 0; i < n; ++i)
                d[i] = scaleAccurate(load16(s + 2 * i));
        else
            for (int64_t i = 0; i < n; ++i)
                d[i] = scaleFast(load16(s + 2 * i));
    }
    return primNoErr;
}

// Value v (64-bit, positive) divided by 2^s, 1 <= s <= 33, rounded by mode.
int64_t shiftRounded(int64_t v, int32_t s, int32_t mode) {
    if (mode == 0)
        return v >> s;
    const int64_t half = int64_t(1) << (s - 1);
    if (mode == 1)
        return (v + half - 1 + ((v >> s) & 1)) >> s;
    return (v + half) >> s;
}

uint16_t scaleTo16u(int32_t v, int32_t roundMode, int32_t scaleFactor) {
    if (v <= 0)
        return 0;
    if (scaleFactor == 0)
        return static_cast<uint16_t>(v >= 65535 ? 65535 : v);
    if (scaleFactor > 0) {
        const int64_t r = shiftRounded(v, scaleFactor, roundMode);
        return static_cast<uint16_t>(r > 65535 ? 65535 : r);
    }
    const int32_t n = -int64_t(scaleFactor) >= 16 ? 16 : -scaleFactor;
    if (n >= 16 || v > (65535 >> n))
        return 65535;
    return static_cast<uint16_t>(v << n);
}

} // namespace

int32_t scale16uTo8uC1(const uint16_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                       int32_t mode) {
    return scale16(src, srcStep, dst, dstStep, size, mode, 1);
}
int32_t scale16uTo8uC3(const uint16_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                       int32_t mode) {
    return scale16(src, srcStep, dst, dstStep, size, mode, 3);
}

int32_t convert32sTo8uC1(const int32_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size) {
    const int32_t status = depthArgsStatus(src, srcStep, dst, dstStep, size);
    if (status != primNoErr)
        return status;
    for (int32_t y = 0; y < size.height; ++y) {
        const uint8_t* s = rowAt(bytes(src), y, srcStep);
        uint8_t* d = rowAt(dst, y, dstStep);
        for (int32_t x = 0; x < size.width; ++x) {
            const int32_t v = load32(s + 4 * int64_t(x));
            d[x] = static_cast<uint8_t>(v >= 255 ? 255 : (v <= 0 ? 0 : v));
        }
    }
    return primNoErr;
}

int32_t convert8uTo32sC1(const uint8_t* src, int32_t srcStep, int32_t* dst, int32_t dstStep, PrimSize size) {
    const int32_t status = depthArgsStatus(src, srcStep, dst, dstStep, size);
    if (status != primNoErr)
        return status;
    for (int32_t y = 0; y < size.height; ++y) {
        const uint8_t* s = rowAt(src, y, srcStep);
        uint8_t* d = rowAt(bytes(dst), y, dstStep);
        for (int32_t x = 0; x < size.width; ++x) {
            const int32_t v = s[x];
            std::memcpy(d + 4 * int64_t(x), &v, 4);
        }
    }
    return primNoErr;
}

int32_t convert32sTo16uC1Scaled(const int32_t* src, int32_t srcStep, uint16_t* dst, int32_t dstStep, PrimSize size,
                                int32_t roundMode, int32_t scaleFactor) {
    if (!src || !dst)
        return primErrNullPtr;
    if (size.width <= 0 || size.height <= 0)
        return primErrSize;
    for (int32_t y = 0; y < size.height; ++y) {
        uint8_t* d = rowAt(bytes(dst), y, dstStep);
        if (scaleFactor > 33) {
            // Every quotient is below one half: zeros, without reading.
            for (int32_t x = 0; x < size.width; ++x)
                d[2 * int64_t(x)] = d[2 * int64_t(x) + 1] = 0;
            continue;
        }
        const uint8_t* s = rowAt(bytes(src), y, srcStep);
        for (int32_t x = 0; x < size.width; ++x) {
            const uint16_t v = scaleTo16u(load32(s + 4 * int64_t(x)), roundMode, scaleFactor);
            std::memcpy(d + 2 * int64_t(x), &v, 2);
        }
    }
    return primNoErr;
}

} // namespace prim::generic

using namespace prim;

const Scale16uTo8uFn scale16uTo8uC1Table[6] = VQ_PATH_FORMS(scale16uTo8uC1);
const Scale16uTo8uFn scale16uTo8uC3Table[6] = VQ_PATH_FORMS(scale16uTo8uC3);
const Convert32sTo8uFn convert32sTo8uC1Table[6] = VQ_PATH_FORMS(convert32sTo8uC1);
const Convert8uTo32sFn convert8uTo32sC1Table[6] = VQ_PATH_FORMS(convert8uTo32sC1);
const Convert32sTo16uScaledFn convert32sTo16uC1ScaledTable[6] = VQ_ONE_BODY(generic::convert32sTo16uC1Scaled);

int32_t scale16uTo8uC1(const uint16_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                       int32_t mode) {
    return VQ_DISPATCH(scale16uTo8uC1Table)(src, srcStep, dst, dstStep, size, mode);
}
int32_t scale16uTo8uC3(const uint16_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                       int32_t mode) {
    return VQ_DISPATCH(scale16uTo8uC3Table)(src, srcStep, dst, dstStep, size, mode);
}
int32_t convert32sTo8uC1(const int32_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size) {
    return VQ_DISPATCH(convert32sTo8uC1Table)(src, srcStep, dst, dstStep, size);
}
int32_t convert8uTo32sC1(const uint8_t* src, int32_t srcStep, int32_t* dst, int32_t dstStep, PrimSize size) {
    return VQ_DISPATCH(convert8uTo32sC1Table)(src, srcStep, dst, dstStep, size);
}
int32_t convert32sTo16uC1Scaled(const int32_t* src, int32_t srcStep, uint16_t* dst, int32_t dstStep, PrimSize size,
                                int32_t roundMode, int32_t scaleFactor) {
    return VQ_DISPATCH(convert32sTo16uC1ScaledTable)(src, srcStep, dst, dstStep, size, roundMode, scaleFactor);
}
