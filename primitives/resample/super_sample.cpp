// Super-sampling (area-average) reduction of the general engine and the row
// accumulation kernels, generic path. Whole ratios on integer samples sum in
// 32-bit integers; everything else in single-precision floats, each sum
// formed in double precision and rounded once.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "primitives/core/memory.h"
#include "primitives/core/processor.h"
#include "primitives/resample/resize_gen.h"

namespace {

// Adds `height` rows of `channels` samples per pixel (pixel step `stride`).
template <class T, class Acc>
void accumulate(const T* src, int32_t step, int32_t width, int32_t height, Acc* acc, int32_t channels, int32_t stride) {
    if (width <= 0 || height <= 0)
        return;
    for (int32_t r = 0; r < height; ++r) {
        const T* row =
            reinterpret_cast<const T*>(reinterpret_cast<const uint8_t*>(src) + static_cast<std::ptrdiff_t>(r) * step);
        for (int32_t j = 0; j < width; ++j)
            for (int32_t c = 0; c < channels; ++c) {
                const std::ptrdiff_t e = static_cast<std::ptrdiff_t>(j) * stride + c;
                if constexpr (std::is_integral_v<Acc>)
                    acc[e] = static_cast<Acc>(static_cast<uint32_t>(acc[e]) + static_cast<uint32_t>(int32_t(row[e])));
                else
                    acc[e] = static_cast<Acc>(acc[e] + row[e]);
            }
    }
}

template <class T> struct Sample;
template <> struct Sample<uint8_t> {
    static uint8_t from(double v) {
        const int32_t n = truncateToInt(v + 0.5);
        return static_cast<uint8_t>(n > 255 ? 255 : n < 0 ? 0 : n);
    }
};
template <> struct Sample<uint16_t> {
    static uint16_t from(double v) {
        const int32_t n = truncateToInt(v + 0.5);
        return static_cast<uint16_t>(n > 65535 ? 65535 : n < 0 ? 0 : n);
    }
};
template <> struct Sample<float> {
    static float from(double v) { return static_cast<float>(v); }
};

struct Geometry {
    int32_t n;    // source pixels per row read and summed
    int32_t rows; // source rows available below the first
    int32_t width, height;
    double sx, sy, area;
    int32_t ratioCode; // bit 0: fractional rows, bit 1: fractional columns
};

// One worker: `channels` samples per pixel at pixel step `stride`. Whole
// ratios on integer samples sum exactly in 64 bits, so no footprint is too
// large to sum. Footprint rows and columns past the clipped region repeat
// its last row and column: a footprint raised to one pixel from a region
// shorter than it, or one that reaches past the region by the 1e-7
// allowance, still averages samples of the region only.
template <class T>
int32_t superSampleWorker(const T* src, T* dst, int32_t srcStep, int32_t dstStep, const Geometry& g, int32_t channels,
                          int32_t stride) {
    // The first footprint takes whole rows with the same 1e-7 allowance as
    // every later one, so a ratio just below a whole number does not leave
    // a sliver of a row that the next footprint would count again.
    const int32_t fx = static_cast<int32_t>(std::floor(g.sx + 1e-7));
    const int32_t fy = static_cast<int32_t>(std::floor(g.sy + 1e-7));
    const int32_t elements = g.n * stride;
    const bool integerSums = g.ratioCode == 0 && sizeof(T) != 4;
    void* block = integerSums ? static_cast<void*>(allocVector8u(elements * 8)) : allocVector32s(elements);
    if (block == nullptr)
        return primErrMemAlloc;
    int64_t* isum = static_cast<int64_t*>(block);
    float* fsum = static_cast<float*>(block);
    const std::size_t blockBytes = static_cast<std::size_t>(elements) * (integerSums ? 8 : 4);

    int32_t row = 0; // region row of the vertical walk
    auto rowAt = [&](int32_t r) {
        const int32_t kept = r < g.rows ? r : g.rows - 1;
        return reinterpret_cast<const T*>(reinterpret_cast<const uint8_t*>(src) +
                                          static_cast<std::ptrdiff_t>(kept) * srcStep);
    };
    auto addRow = [&](double w) {
        const T* r = rowAt(row);
        if (integerSums) {
            for (int32_t j = 0; j < g.n; ++j)
                for (int32_t c = 0; c < channels; ++c) {
                    const std::ptrdiff_t e = static_cast<std::ptrdiff_t>(j) * stride + c;
                    isum[e] += static_cast<int64_t>(r[e]);
                }
        } else {
            for (int32_t j = 0; j < g.n; ++j)
                for (int32_t c = 0; c < channels; ++c) {
                    const std::ptrdiff_t e = static_cast<std::ptrdiff_t>(j) * stride + c;
                    fsum[e] = static_cast<float>(double(fsum[e]) + w * double(r[e]));
                }
        }
    };
    auto addWholeRows = [&](int32_t count) {
        for (int32_t r = 0; r < count; ++r, ++row)
            addRow(1.0);
    };
    // Buffer pixel p, the last processed pixel standing in for those past it.
    auto px = [&](int32_t p, int32_t c) {
        const int32_t kept = p < g.n ? p : g.n - 1;
        return double(fsum[static_cast<std::ptrdiff_t>(kept) * stride + c]);
    };

    double o = g.sy - fy; // carried fraction of the vertical walk
    uint8_t* out = reinterpret_cast<uint8_t*>(dst);
    for (int32_t i = 0; i < g.height; ++i, out += dstStep) {
        std::memset(block, 0, blockBytes);

        // Vertical pass: source rows into column sums.
        if ((g.ratioCode & 1) == 0) {
            addWholeRows(fy);
        } else if (i == 0) {
            addWholeRows(fy);
            if (o > 1e-7)
                addRow(o);
            else
                o = 0.0;
        } else {
            const double u = 1.0 - o;
            const int32_t k = static_cast<int32_t>(std::floor(g.sy - u + 1e-7));
            const double next = g.sy - u - k;
            if (u > 1e-7) {
                addRow(u);
                ++row;
            }
            addWholeRows(k);
            if (next > 1e-7)
                addRow(next);
            o = next > 1e-7 ? next : 0.0;
        }

        // Horizontal pass, in place: column sums into destination sums.
        if ((g.ratioCode & 2) == 0) {
            for (int32_t q = 0; q < g.width; ++q) {
                const int32_t first = q * fx;
                for (int32_t c = 0; c < channels; ++c) {
                    if (integerSums) {
                        int64_t s = 0;
                        for (int32_t p = first; p < first + fx; ++p)
                            s += isum[static_cast<std::ptrdiff_t>(p < g.n ? p : g.n - 1) * stride + c];
                        isum[static_cast<std::ptrdiff_t>(q) * stride + c] = s;
                    } else {
                        double s = 0.0;
                        for (int32_t p = first; p < first + fx; ++p)
                            s += px(p, c);
                        fsum[static_cast<std::ptrdiff_t>(q) * stride + c] = static_cast<float>(s);
                    }
                }
            }
        } else {
            double ox = g.sx - fx;
            if (ox <= 1e-7)
                ox = 0.0;
            for (int32_t c = 0; c < channels; ++c) {
                double s = 0.0;
                for (int32_t x = 0; x < fx; ++x)
                    s += px(x, c);
                if (ox != 0.0)
                    s += ox * px(fx, c);
                fsum[c] = static_cast<float>(s);
            }
            // Every destination pixel gets its sum. Each reads only pixels
            // at or after its own index, so the sums may overwrite the row.
            int32_t p = fx;
            for (int32_t q = 1; q < g.width; ++q) {
                const double u = 1.0 - ox;
                const int32_t k = static_cast<int32_t>(std::floor(g.sx - u + 1e-7));
                const double next = g.sx - u - k;
                const int32_t l = u > 1e-7 ? 1 : 0;
                for (int32_t c = 0; c < channels; ++c) {
                    double s = l != 0 ? u * px(p, c) : 0.0;
                    for (int32_t x = p + l; x <= p + k; ++x)
                        s += px(x, c);
                    if (next > 1e-7)
                        s += next * px(p + k + 1, c);
                    fsum[static_cast<std::ptrdiff_t>(q) * stride + c] = static_cast<float>(s);
                }
                p += k + 1;
                ox = next > 1e-7 ? next : 0.0;
            }
        }

        // Scale by the area factor into the destination row.
        T* drow = reinterpret_cast<T*>(out);
        for (int32_t q = 0; q < g.width; ++q)
            for (int32_t c = 0; c < channels; ++c) {
                const std::ptrdiff_t e = static_cast<std::ptrdiff_t>(q) * stride + c;
                const double sum = integerSums ? double(isum[e]) : double(fsum[e]);
                drow[e] = Sample<T>::from(sum * g.area);
            }
    }
    freeVector(block);
    return primNoErr;
}

} // namespace

int32_t resizeGenSuperCore(const void* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, void* dst,
                           int32_t dstStep, PrimSize dstRoiSize, double xFactor, double yFactor, int32_t pixelStride,
                           int32_t channelCount, int32_t dataKind, int32_t planar) {
    const int32_t checked = resizeGenCheck(src, dst, srcSize, srcRoi, dstRoiSize, xFactor, yFactor);
    if (checked != primNoErr)
        return checked;
    if (std::isnan(xFactor) || std::isnan(yFactor))
        return primErrResizeFactor;

    const int32_t effW = srcSize.width - srcRoi.x < srcRoi.width ? srcSize.width - srcRoi.x : srcRoi.width;
    const int32_t effH = srcSize.height - srcRoi.y < srcRoi.height ? srcSize.height - srcRoi.y : srcRoi.height;
    auto extent = [](int32_t eff, double factor, int32_t requested) {
        const double t = eff * factor + 1e-7;
        const int32_t c = truncateToInt(t);
        if (c >= requested)
            return requested;
        if (c > 0)
            return c;
        return t < 0.5 ? -1 : 1;
    };
    Geometry g{};
    g.width = extent(effW, xFactor, dstRoiSize.width);
    if (g.width < 0)
        return primErrNoDstPixels;
    g.height = extent(effH, yFactor, dstRoiSize.height);
    if (g.height < 0)
        return primErrNoDstPixels;
    g.sx = 1.0 / xFactor;
    g.sy = 1.0 / yFactor;
    g.area = xFactor * yFactor;
    const double nd = std::floor((g.width + 1) * g.sx) + 1.0;
    g.n = nd > effW ? effW : static_cast<int32_t>(nd);
    g.rows = effH;
    g.ratioCode = (g.sy - std::trunc(g.sy) < 1e-7 ? 0 : 1) | (g.sx - std::trunc(g.sx) < 1e-7 ? 0 : 2);

    const int32_t elem = dataKind == 0 ? 1 : dataKind == 1 ? 2 : 4;
    const int32_t planes = planar != 0 ? (channelCount == 4 ? 4 : 3) : 1;
    const int32_t channels = planar != 0 || channelCount == 1 ? 1 : channelCount == 4 ? 4 : 3;
    const int32_t stride = planar != 0 || channelCount == 1 ? 1 : channelCount == 4 ? 4 : pixelStride;
    int32_t status = primNoErr;
    for (int32_t p = 0; p < planes; ++p) {
        const uint8_t* base = static_cast<const uint8_t*>(planar != 0 ? static_cast<const void* const*>(src)[p] : src);
        const uint8_t* origin = base + static_cast<std::ptrdiff_t>(srcRoi.y) * srcStep +
                                static_cast<std::ptrdiff_t>(srcRoi.x) * (planar != 0 ? 1 : pixelStride) * elem;
        void* out = planar != 0 ? static_cast<void* const*>(dst)[p] : dst;
        int32_t s;
        if (dataKind == 0)
            s = superSampleWorker(reinterpret_cast<const uint8_t*>(origin), static_cast<uint8_t*>(out), srcStep,
                                  dstStep, g, channels, stride);
        else if (dataKind == 1)
            s = superSampleWorker(reinterpret_cast<const uint16_t*>(origin), static_cast<uint16_t*>(out), srcStep,
                                  dstStep, g, channels, stride);
        else
            s = superSampleWorker(reinterpret_cast<const float*>(origin), static_cast<float*>(out), srcStep, dstStep, g,
                                  channels, stride);
        // The first failure of any plane is the call's status.
        if (s != primNoErr && status == primNoErr)
            status = s;
    }
    return status;
}

namespace prim::generic {

void accumulateRows8uPlane(const uint8_t* s, int32_t st, int32_t w, int32_t h, int32_t* a) {
    accumulate(s, st, w, h, a, 1, 1);
}
void accumulateRows8uC4(const uint8_t* s, int32_t st, int32_t w, int32_t h, int32_t* a) {
    accumulate(s, st, w, h, a, 4, 4);
}
void accumulateRows8uC3(const uint8_t* s, int32_t st, int32_t w, int32_t h, int32_t* a, int32_t ps) {
    accumulate(s, st, w, h, a, 3, ps);
}
void accumulateRows16uPlane(const uint16_t* s, int32_t st, int32_t w, int32_t h, int32_t* a) {
    accumulate(s, st, w, h, a, 1, 1);
}
void accumulateRows16uC4(const uint16_t* s, int32_t st, int32_t w, int32_t h, int32_t* a) {
    accumulate(s, st, w, h, a, 4, 4);
}
void accumulateRows16uC3(const uint16_t* s, int32_t st, int32_t w, int32_t h, int32_t* a, int32_t ps) {
    accumulate(s, st, w, h, a, 3, ps);
}
void accumulateRows16sPlane(const int16_t* s, int32_t st, int32_t w, int32_t h, int32_t* a) {
    accumulate(s, st, w, h, a, 1, 1);
}
void accumulateRows16sC4(const int16_t* s, int32_t st, int32_t w, int32_t h, int32_t* a) {
    accumulate(s, st, w, h, a, 4, 4);
}
void accumulateRows16sC3(const int16_t* s, int32_t st, int32_t w, int32_t h, int32_t* a, int32_t ps) {
    accumulate(s, st, w, h, a, 3, ps);
}
void accumulateRows32fPlane(const float* s, int32_t st, int32_t w, int32_t h, float* a) {
    accumulate(s, st, w, h, a, 1, 1);
}
void accumulateRows32fC4(const float* s, int32_t st, int32_t w, int32_t h, float* a) {
    accumulate(s, st, w, h, a, 4, 4);
}
void accumulateRows32fC3(const float* s, int32_t st, int32_t w, int32_t h, float* a, int32_t ps) {
    accumulate(s, st, w, h, a, 3, ps);
}

} // namespace prim::generic
