// Gaussian 5 x 5 pyramid steps, generic path. Integer arithmetic, one
// rounding at the end. Each source row is filtered horizontally once into a
// ring of row slots in the work buffer; the vertical pass combines the slots.
#include "primitives/resample/pyramid_gauss.h"

#include <cstddef>
#include <cstdint>

#include "primitives/core/dispatch.h"

namespace {

constexpr int32_t kTaps[5] = {1, 4, 6, 4, 1};

// Mirror about the edge sample (the edge not repeated), again and again for
// axes shorter than the reach of the kernel.
inline int32_t reflect(int32_t i, int32_t n) {
    if (n == 1)
        return 0;
    while (i < 0 || i >= n)
        i = i < 0 ? -i : 2 * (n - 1) - i;
    return i;
}

int32_t* slotBase(uint8_t* buffer) {
    const uintptr_t v = reinterpret_cast<uintptr_t>(buffer);
    return reinterpret_cast<int32_t*>((v + 31) & ~uintptr_t(31));
}
inline int32_t slotLength(int64_t sums) { return static_cast<int32_t>(((sums * 4 + 15) & ~int64_t(15)) / 4); }

int32_t checkImage(const uint8_t* src, const uint8_t* dst, const uint8_t* buffer, PrimSize size, int32_t srcStep,
                   int64_t srcMin, int32_t dstStep, int64_t dstMin) {
    if (src == nullptr || dst == nullptr || buffer == nullptr)
        return primErrNullPtr;
    if (size.width <= 0 || size.height <= 0)
        return primErrSize;
    if (srcStep < srcMin || dstStep < dstMin)
        return primErrStep;
    return primNoErr;
}

// Sum of the doubled grid of one source row at output position x, for
// channel c: the source sits at even grid positions, zeros between.
inline int32_t upHorizontal(const uint8_t* row, int32_t x, int32_t gridWidth, int32_t channels, int32_t c) {
    int32_t sum = 0;
    for (int d = -2; d <= 2; ++d) {
        const int32_t e = reflect(x + d, gridWidth);
        if ((e & 1) == 0)
            sum += kTaps[d + 2] * row[(e >> 1) * channels + c];
    }
    return sum;
}

int32_t pyramidUp(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size, uint8_t* buffer,
                  int32_t channels) {
    const int32_t w = size.width, h = size.height;
    const int32_t rowSums = 2 * w * channels;
    const int32_t slot = slotLength(rowSums);
    int32_t* slots = slotBase(buffer);
    auto filter = [&](int32_t r) {
        const uint8_t* row = src + static_cast<std::ptrdiff_t>(r) * srcStep;
        int32_t* out = slots + static_cast<std::ptrdiff_t>(r % 3) * slot;
        for (int32_t x = 0; x < 2 * w; ++x) {
            const int32_t m = x >> 1;
            const bool inside = m >= 1 && m + 1 < w;
            for (int32_t c = 0; c < channels; ++c) {
                const uint8_t* p = row + m * channels + c;
                // Inside, even positions weigh 1 6 1 and odd ones 4 4.
                out[x * channels + c] = !inside       ? upHorizontal(row, x, 2 * w, channels, c)
                                        : (x & 1) == 0 ? p[-channels] + 6 * p[0] + p[channels]
                                                       : 4 * (p[0] + p[channels]);
            }
        }
    };
    const int32_t gridHeight = 2 * h;
    int32_t filtered = 0; // source rows filtered so far
    for (int32_t y = 0; y < gridHeight; ++y) {
        // Grid rows y - 2 .. y + 2 read source rows up to (y + 2) / 2.
        const int32_t need = (y + 2) / 2 < h - 1 ? (y + 2) / 2 : h - 1;
        while (filtered <= need)
            filter(filtered++);
        uint8_t* out = dst + static_cast<std::ptrdiff_t>(y) * dstStep;
        const int32_t* rows[5];
        int32_t weights[5];
        int n = 0;
        for (int d = -2; d <= 2; ++d) {
            const int32_t e = reflect(y + d, gridHeight);
            if ((e & 1) == 0) {
                rows[n] = slots + static_cast<std::ptrdiff_t>((e >> 1) % 3) * slot;
                weights[n++] = kTaps[d + 2];
            }
        }
        for (int32_t x = 0; x < rowSums; ++x) {
            int32_t t = 32;
            for (int k = 0; k < n; ++k)
                t += weights[k] * rows[k][x];
            out[x] = static_cast<uint8_t>(t >> 6);
        }
    }
    return primNoErr;
}

} // namespace

namespace prim::generic {

int32_t pyramidDownGauss5x5(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                            uint8_t* buffer) {
    const int32_t status = checkImage(src, dst, buffer, size, srcStep, size.width, dstStep, (size.width + 1) / 2);
    if (status != primNoErr)
        return status;
    const int32_t w = size.width, h = size.height;
    const int32_t outW = (w + 1) / 2, outH = (h + 1) / 2;
    const int32_t slot = slotLength(outW);
    int32_t* slots = slotBase(buffer);
    // Horizontal sums at the even columns only; a source row lives in slot
    // row % 6, and an output row reads at most rows 2i - 2 .. 2i + 2.
    auto filter = [&](int32_t r) {
        const uint8_t* row = src + static_cast<std::ptrdiff_t>(r) * srcStep;
        int32_t* out = slots + static_cast<std::ptrdiff_t>(r % 6) * slot;
        for (int32_t j = 0; j < outW; ++j) {
            const int32_t x = 2 * j;
            if (x >= 2 && x + 2 < w) {
                out[j] = row[x - 2] + 4 * row[x - 1] + 6 * row[x] + 4 * row[x + 1] + row[x + 2];
                continue;
            }
            int32_t sum = 0;
            for (int d = -2; d <= 2; ++d)
                sum += kTaps[d + 2] * row[reflect(x + d, w)];
            out[j] = sum;
        }
    };
    int32_t filtered = 0;
    for (int32_t i = 0; i < outH; ++i) {
        const int32_t need = 2 * i + 2 < h - 1 ? 2 * i + 2 : h - 1;
        while (filtered <= need)
            filter(filtered++);
        const int32_t* rows[5];
        for (int d = -2; d <= 2; ++d)
            rows[d + 2] = slots + static_cast<std::ptrdiff_t>(reflect(2 * i + d, h) % 6) * slot;
        uint8_t* out = dst + static_cast<std::ptrdiff_t>(i) * dstStep;
        for (int32_t j = 0; j < outW; ++j) {
            const int32_t t = rows[0][j] + 4 * rows[1][j] + 6 * rows[2][j] + 4 * rows[3][j] + rows[4][j];
            out[j] = static_cast<uint8_t>((t + 128) >> 8);
        }
    }
    return primNoErr;
}

int32_t pyramidUpGauss5x5Gray(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                              uint8_t* buffer) {
    const int32_t status = checkImage(src, dst, buffer, size, srcStep, size.width, dstStep, 2 * int64_t(size.width));
    if (status != primNoErr)
        return status;
    return pyramidUp(src, srcStep, dst, dstStep, size, buffer, 1);
}

int32_t pyramidUpGauss5x5Rgb(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                             uint8_t* buffer) {
    const int32_t status =
        checkImage(src, dst, buffer, size, srcStep, 3 * int64_t(size.width), dstStep, 6 * int64_t(size.width));
    if (status != primNoErr)
        return status;
    return pyramidUp(src, srcStep, dst, dstStep, size, buffer, 3);
}

int32_t pyramidGetBufferSize(int32_t width, int32_t dataKind, int32_t channels, int32_t* size) {
    if (size == nullptr)
        return primErrNullPtr;
    if (width <= 0)
        return primErrSize;
    if (channels != 1 && channels != 3)
        return -53;
    if (dataKind != 1 && dataKind != 3 && dataKind != 13)
        return -12;
    // Six slots of a row of 32-bit sums plus the alignment slack, in 64 bits:
    // a width whose size does not fit the 32-bit answer is refused.
    const int64_t bytes = ((int64_t(width) * channels * 4 + 15) & ~int64_t(15)) * 6 + 32;
    if (bytes > INT32_MAX)
        return primErrSize;
    *size = static_cast<int32_t>(bytes);
    return primNoErr;
}

} // namespace prim::generic

const PyramidGaussFn pyramidDownGauss5x5Table[6] = VQ_ONE_BODY(prim::generic::pyramidDownGauss5x5);
const PyramidGaussFn pyramidUpGauss5x5GrayTable[6] = VQ_ONE_BODY(prim::generic::pyramidUpGauss5x5Gray);
const PyramidGaussFn pyramidUpGauss5x5RgbTable[6] = VQ_ONE_BODY(prim::generic::pyramidUpGauss5x5Rgb);
const PyramidGetBufferSizeFn pyramidGetBufferSizeTable[6] = VQ_ONE_BODY(prim::generic::pyramidGetBufferSize);

int32_t pyramidDownGauss5x5(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize srcSize,
                            uint8_t* buffer) {
    return VQ_DISPATCH(pyramidDownGauss5x5Table)(src, srcStep, dst, dstStep, srcSize, buffer);
}
int32_t pyramidUpGauss5x5Gray(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize srcSize,
                              uint8_t* buffer) {
    return VQ_DISPATCH(pyramidUpGauss5x5GrayTable)(src, srcStep, dst, dstStep, srcSize, buffer);
}
int32_t pyramidUpGauss5x5Rgb(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize srcSize,
                             uint8_t* buffer) {
    return VQ_DISPATCH(pyramidUpGauss5x5RgbTable)(src, srcStep, dst, dstStep, srcSize, buffer);
}
int32_t pyramidGetBufferSize(int32_t width, int32_t dataKind, int32_t channels, int32_t* size) {
    return VQ_DISPATCH(pyramidGetBufferSizeTable)(width, dataKind, channels, size);
}
