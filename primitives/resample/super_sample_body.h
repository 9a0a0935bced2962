// The bodies of area averaging, written once: the general engine's worker
// and the square-pixel engine's whole-ratio kernel. Each processor path
// instantiates them with its own operations type `Ops`, which supplies
//   Acc                            the type of a horizontal sum (double on the
//                                  generic path, float on the SIMD paths),
//   accumulators()                 its row accumulators,
//   weightedRow(s, x, w)           a row sample added with a weight,
//   weightedColumn(col, w)         a column sum taken with a weight,
//   planeRun / sequentialRun / pixelRun
//                                  a run of whole columns added onto a value,
//                                  in the path's order of addition,
//   boxTable()                     the box sums of float planes.
// Everything else, the footprint walk, the thresholds and the conversions,
// is here, so every path walks the same footprints.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "primitives/core/memory.h"
#include "primitives/core/prim_types.h"
#include "primitives/core/processor.h"
#include "primitives/resample/super_sample.h"

namespace supersample {

// Layouts: one sample per pixel, four samples, three samples at a stride.
enum { kPlane = 0, kFour = 1, kThree = 2 };

// Rows whose 32-bit column sums cannot wrap; taller blocks are summed in
// chunks of this many rows into 64-bit column sums.
template <class T> constexpr int32_t exactRows() {
    return std::is_same_v<T, uint8_t> ? 16843009 : std::is_floating_point_v<T> ? INT32_MAX : 65536;
}

template <class T> using SlotOf = std::conditional_t<std::is_floating_point_v<T>, float, int32_t>;

template <class T, int Shape>
void accumulate(const RowAccumulators& a, const T* src, int32_t step, int32_t width, int32_t rows, SlotOf<T>* sums,
                int32_t stride) {
    if constexpr (std::is_same_v<T, uint8_t>) {
        if constexpr (Shape == kPlane)
            a.plane8u(src, step, width, rows, sums);
        else if constexpr (Shape == kFour)
            a.c4_8u(src, step, width, rows, sums);
        else
            a.c3_8u(src, step, width, rows, sums, stride);
    } else if constexpr (std::is_same_v<T, uint16_t>) {
        if constexpr (Shape == kPlane)
            a.plane16u(src, step, width, rows, sums);
        else if constexpr (Shape == kFour)
            a.c4_16u(src, step, width, rows, sums);
        else
            a.c3_16u(src, step, width, rows, sums, stride);
    } else if constexpr (std::is_same_v<T, int16_t>) {
        if constexpr (Shape == kPlane)
            a.plane16s(src, step, width, rows, sums);
        else if constexpr (Shape == kFour)
            a.c4_16s(src, step, width, rows, sums);
        else
            a.c3_16s(src, step, width, rows, sums, stride);
    } else {
        if constexpr (Shape == kPlane)
            a.plane32f(src, step, width, rows, sums);
        else if constexpr (Shape == kFour)
            a.c4_32f(src, step, width, rows, sums);
        else
            a.c3_32f(src, step, width, rows, sums, stride);
    }
}

// A mean to a sample: integers rounded half up (signed: half away from
// zero) and saturated, so a sum past the range cannot come out as its low
// bits; floats rounded once.
template <class T> T toSample(double v) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(v);
    } else if constexpr (std::is_signed_v<T>) {
        const double r = v > 0 ? v + 0.5 : v - 0.5;
        return static_cast<T>(r >= 32767.0 ? 32767 : r <= -32768.0 ? -32768 : truncateToInt(r));
    } else {
        constexpr double top = sizeof(T) == 1 ? 255.0 : 65535.0;
        const double r = v + 0.5;
        return static_cast<T>(r >= top ? top : r <= 0.0 ? 0 : truncateToInt(r));
    }
}

inline const uint8_t* rowPtr(const void* base, int32_t step, int64_t row) {
    return static_cast<const uint8_t*>(base) + static_cast<std::ptrdiff_t>(row) * step;
}

// Integer column sums of one row of pixels: 32-bit slots filled by the row
// accumulators, widened into 64-bit slots when a block of rows is taller
// than the 32-bit slots hold exactly.
template <class T> class IntegerColumns {
public:
    IntegerColumns(int32_t* narrow, int64_t* wide, int64_t entries)
        : narrow_(narrow), wide_(wide), entries_(entries) {}

    void clear() {
        std::memset(narrow_, 0, static_cast<std::size_t>(entries_) * 4);
        if (wide_ != nullptr)
            std::memset(wide_, 0, static_cast<std::size_t>(entries_) * 8);
    }

    // Adds `rows` rows from `src` on through the accumulator `sum`, which
    // fills the (cleared) 32-bit slots.
    template <class Sum> void addRows(const uint8_t* src, int32_t step, int32_t rows, Sum&& sum) {
        if (wide_ == nullptr) {
            sum(src, rows);
            return;
        }
        for (int32_t done = 0; done < rows;) {
            const int32_t chunk = rows - done < exactRows<T>() ? rows - done : exactRows<T>();
            std::memset(narrow_, 0, static_cast<std::size_t>(entries_) * 4);
            sum(src + static_cast<std::ptrdiff_t>(done) * step, chunk);
            for (int64_t e = 0; e < entries_; ++e)
                wide_[e] += slot32(narrow_[e]);
            done += chunk;
        }
    }

    // Adds the samples of one row into the sums, one by one.
    void addRow(const T* row, int32_t width, int32_t channels, int32_t stride) {
        for (int32_t j = 0; j < width; ++j)
            for (int32_t c = 0; c < channels; ++c) {
                const std::ptrdiff_t e = static_cast<std::ptrdiff_t>(j) * stride + c;
                if (wide_ != nullptr)
                    wide_[e] += row[e];
                else
                    narrow_[e] = static_cast<int32_t>(static_cast<uint32_t>(narrow_[e]) +
                                                      static_cast<uint32_t>(int32_t(row[e])));
            }
    }

    int64_t at(std::ptrdiff_t e) const { return wide_ != nullptr ? wide_[e] : slot32(narrow_[e]); }

private:
    static int64_t slot32(int32_t v) {
        if constexpr (std::is_signed_v<T>)
            return v;
        else
            return static_cast<uint32_t>(v);
    }
    int32_t* narrow_;
    int64_t* wide_;
    int64_t entries_;
};

// ---------------------------------------------------------------------------
// General engine worker.

template <class Ops, class T, int Shape>
int32_t worker(const void* srcV, void* dstV, int32_t srcStep, int32_t dstStep, const SuperSampleGeometry& g,
               int32_t pixelStride) {
    if (g.ratioMode < 0 || g.ratioMode > 3)
        return primNoErr;
    using Acc = typename Ops::Acc;
    constexpr bool isFloat = std::is_floating_point_v<T>;
    const int32_t channels = Shape == kPlane ? 1 : Shape == kFour ? 4 : 3;
    const int32_t stride = Shape == kPlane ? 1 : Shape == kFour ? 4 : pixelStride;
    // The first footprint takes its whole rows and columns with the same
    // 1e-7 allowance as every later one, so a ratio just below a whole
    // number leaves no sliver that the next footprint would count again.
    const int32_t fx = static_cast<int32_t>(std::floor(g.xSpan + 1e-7));
    const int32_t fy = static_cast<int32_t>(std::floor(g.ySpan + 1e-7));
    const int32_t n = g.srcColumns;
    const int64_t entries = int64_t(n) * stride;
    const bool integerSums = g.ratioMode == 0 && !isFloat;
    const bool wide = integerSums && fy > exactRows<T>();
    const int64_t bytes = entries * (wide ? 12 : 4);
    if (n <= 0 || bytes > INT32_MAX)
        return primErrMemAlloc;
    void* block = g.ratioMode == 0 ? static_cast<void*>(allocVector8u(static_cast<int32_t>(bytes)))
                                   : static_cast<void*>(allocVector32s(static_cast<int32_t>(entries)));
    if (block == nullptr)
        return primErrMemAlloc;
    float* fsum = static_cast<float*>(block);
    IntegerColumns<T> isum(static_cast<int32_t*>(block),
                           wide ? reinterpret_cast<int64_t*>(static_cast<uint8_t*>(block) + entries * 4) : nullptr,
                           entries);
    const RowAccumulators& acc = Ops::accumulators();

    // Footprint rows past the clipped region repeat its last row.
    auto rowAt = [&](int32_t r) {
        return reinterpret_cast<const T*>(rowPtr(srcV, srcStep, r < g.srcRows ? r : g.srcRows - 1));
    };
    auto addRow = [&](int32_t r, double w) {
        const T* x = rowAt(r);
        for (int64_t e = 0; e < entries; ++e) {
            if (Shape == kThree && e % stride >= 3)
                continue;
            fsum[e] = w == 1.0 ? fsum[e] + static_cast<float>(x[e]) : Ops::weightedRow(fsum[e], double(x[e]), w);
        }
    };
    // Whole rows from `first` on: the accumulator for those inside the
    // region, then the repeated last row.
    auto addBlock = [&](int32_t first, int32_t count) {
        const int32_t inside = first >= g.srcRows ? 0 : count < g.srcRows - first ? count : g.srcRows - first;
        if constexpr (isFloat) {
            if (inside > 0)
                accumulate<T, Shape>(acc, rowAt(first), srcStep, n, inside, fsum, stride);
            for (int32_t r = inside; r < count; ++r)
                addRow(first + r, 1.0);
        } else {
            if (inside > 0)
                isum.addRows(reinterpret_cast<const uint8_t*>(rowAt(first)), srcStep, inside,
                             [&](const uint8_t* s, int32_t rows) {
                                 accumulate<T, Shape>(acc, reinterpret_cast<const T*>(s), srcStep, n, rows,
                                                      static_cast<int32_t*>(block), stride);
                             });
            for (int32_t r = inside; r < count; ++r)
                isum.addRow(rowAt(first + r), n, channels, stride);
        }
    };

    // Column sum of column p, sample c; columns past the region repeat its
    // last column.
    auto col = [&](int32_t p, int32_t c) { return fsum[static_cast<std::ptrdiff_t>(p < n ? p : n - 1) * stride + c]; };
    // A run of `count` whole columns from `first` onto v in the path's order;
    // columns past the region are added one by one after the others.
    auto run = [&](Acc v, int32_t first, int32_t count, int32_t c) -> Acc {
        const int32_t inside = first >= n ? 0 : count < n - first ? count : n - first;
        if (inside > 0) {
            if constexpr (Shape == kPlane)
                v = (g.ratioMode & 2) != 0 || g.ratioMode == 0 ? Ops::planeRun(v, fsum, first, inside)
                                                               : Ops::sequentialRun(v, fsum, first, inside);
            else
                v = Ops::pixelRun(v, fsum, first, inside, stride, c);
        }
        for (int32_t k = inside; k < count; ++k)
            v = v + Acc(col(first + k, c));
        return v;
    };

    uint8_t* out = static_cast<uint8_t*>(dstV);
    int32_t cursor = 0;                // region row of the vertical walk
    double carriedY = g.ySpan - fy;    // part of the cursor row still to take
    for (int32_t i = 0; i < g.height; ++i, out += dstStep) {
        if (integerSums)
            isum.clear();
        else
            std::memset(block, 0, static_cast<std::size_t>(entries) * 4);

        // Vertical pass: the destination row's source rows into column sums.
        if ((g.ratioMode & 1) == 0) {
            if (g.ratioMode == 0)
                addBlock(cursor, fy);
            else
                for (int32_t r = 0; r < fy; ++r)
                    addRow(cursor + r, 1.0);
            cursor += fy;
        } else if (i == 0) {
            for (int32_t r = 0; r < fy; ++r)
                addRow(cursor++, 1.0);
            if (carriedY > 1e-7)
                addRow(cursor, carriedY);
            else
                carriedY = 0.0;
        } else {
            const double u = 1.0 - carriedY;
            const int32_t k = static_cast<int32_t>(std::floor(g.ySpan - u + 1e-7));
            const double next = g.ySpan - u - k;
            if (u > 1e-7)
                addRow(cursor++, u);
            for (int32_t r = 0; r < k; ++r)
                addRow(cursor++, 1.0);
            if (next > 1e-7)
                addRow(cursor, next);
            carriedY = next > 1e-7 ? next : 0.0;
        }

        // Horizontal pass and conversion, one destination pixel at a time.
        T* drow = reinterpret_cast<T*>(out);
        if (integerSums) {
            for (int32_t q = 0; q < g.width; ++q)
                for (int32_t c = 0; c < channels; ++c) {
                    int64_t s = 0;
                    for (int32_t p = q * fx; p < q * fx + fx; ++p)
                        s += isum.at(static_cast<std::ptrdiff_t>(p < n ? p : n - 1) * stride + c);
                    drow[static_cast<std::ptrdiff_t>(q) * stride + c] = toSample<T>(double(s) * g.areaScale);
                }
        } else if ((g.ratioMode & 2) == 0) {
            for (int32_t q = 0; q < g.width; ++q)
                for (int32_t c = 0; c < channels; ++c) {
                    const float s = static_cast<float>(run(Acc(0), q * fx, fx, c));
                    drow[static_cast<std::ptrdiff_t>(q) * stride + c] = toSample<T>(double(s) * g.areaScale);
                }
        } else {
            double carriedX = g.xSpan - fx;
            if (carriedX <= 1e-7)
                carriedX = 0.0;
            for (int32_t c = 0; c < channels && g.width > 0; ++c) {
                Acc s = run(Acc(0), 0, fx, c);
                if (carriedX != 0.0)
                    s = s + Ops::weightedColumn(col(fx, c), carriedX);
                drow[c] = toSample<T>(double(static_cast<float>(s)) * g.areaScale);
            }
            int32_t p = fx; // the column shared with the previous pixel
            for (int32_t q = 1; q < g.width; ++q) {
                const double u = 1.0 - carriedX;
                const int32_t k = static_cast<int32_t>(std::floor(g.xSpan - u + 1e-7));
                const double next = g.xSpan - u - k;
                const int32_t lead = u > 1e-7 ? 1 : 0;
                for (int32_t c = 0; c < channels; ++c) {
                    Acc s = lead != 0 ? Ops::weightedColumn(col(p, c), u) : Acc(0);
                    s = run(s, p + lead, k + 1 - lead, c);
                    if (next > 1e-7)
                        s = s + Ops::weightedColumn(col(p + k + 1, c), next);
                    drow[static_cast<std::ptrdiff_t>(q) * stride + c] =
                        toSample<T>(double(static_cast<float>(s)) * g.areaScale);
                }
                p += k + 1;
                carriedX = next > 1e-7 ? next : 0.0;
            }
        }
    }
    freeVector(block);
    return primNoErr;
}

// ---------------------------------------------------------------------------
// Square-pixel whole-ratio kernel: blocks of wholeX x wholeY source pixels;
// block rows and columns past the region repeat its edge. `buffer` holds
// resizeSqSuperWorkBytes() bytes for the padded row.

template <class Ops, class T, int Shape>
void sqWholeKernel(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t srcCols, int32_t width,
                   int32_t height, int32_t top, int32_t bottom, int32_t left, int32_t right, double xRatio,
                   double yRatio, double area, int32_t pixelStride, void* buffer) {
    const int32_t wx = truncateToInt(std::floor(xRatio)), wy = truncateToInt(std::floor(yRatio));
    if constexpr (std::is_same_v<T, float> && Shape == kPlane) {
        const int32_t* groups = prim::generic::resizeSqBoxSumGroups;
        if (top == 0 && bottom == 0 && left == 0 && right == 0 && wx <= 16 && wy <= 16 && groups[wx] >= 0 &&
            groups[wy] >= 0) {
            Ops::boxTable()[4 * groups[wx] + groups[wy]](src, dst, srcStep, dstStep, width, height, area);
            return;
        }
    }
    constexpr bool isFloat = std::is_floating_point_v<T>;
    const int32_t channels = Shape == kPlane ? 1 : Shape == kFour ? 4 : 3;
    const int32_t stride = Shape == kPlane ? 1 : Shape == kFour ? 4 : pixelStride;
    const int64_t entries = int64_t(srcCols) * stride;
    const int32_t lastRow = height * wy - top - bottom - 1 > 0 ? height * wy - top - bottom - 1 : 0;
    const bool wide = !isFloat && wy > exactRows<T>();
    float* fsum = static_cast<float*>(buffer);
    IntegerColumns<T> isum(static_cast<int32_t*>(buffer),
                           wide ? reinterpret_cast<int64_t*>(static_cast<uint8_t*>(buffer) + entries * 4) : nullptr,
                           entries);
    const RowAccumulators& acc = Ops::accumulators();
    auto rowAt = [&](int32_t v) {
        return reinterpret_cast<const T*>(rowPtr(src, srcStep, v < 0 ? 0 : v > lastRow ? lastRow : v));
    };
    auto clampColumn = [&](int32_t p) { return p < 0 ? 0 : p >= srcCols ? srcCols - 1 : p; };

    uint8_t* out = static_cast<uint8_t*>(dst);
    for (int32_t i = 0; i < height; ++i, out += dstStep) {
        const int32_t first = i * wy - top;
        const bool inside = first >= 0 && first + wy - 1 <= lastRow;
        if constexpr (isFloat) {
            std::memset(fsum, 0, static_cast<std::size_t>(entries) * 4);
            if (inside) {
                accumulate<T, Shape>(acc, rowAt(first), srcStep, srcCols, wy, fsum, stride);
            } else {
                // A block with edge rows adds its rows one by one, the
                // repeated edge row as often as the block covers it.
                for (int32_t r = 0; r < wy; ++r) {
                    const T* x = rowAt(first + r);
                    for (int64_t e = 0; e < entries; ++e)
                        if (Shape != kThree || e % stride < 3)
                            fsum[e] = fsum[e] + x[e];
                }
            }
        } else {
            isum.clear();
            if (inside) {
                isum.addRows(reinterpret_cast<const uint8_t*>(rowAt(first)), srcStep, wy,
                             [&](const uint8_t* s, int32_t rows) {
                                 accumulate<T, Shape>(acc, reinterpret_cast<const T*>(s), srcStep, srcCols, rows,
                                                      static_cast<int32_t*>(buffer), stride);
                             });
            } else {
                for (int32_t r = 0; r < wy; ++r)
                    isum.addRow(rowAt(first + r), srcCols, channels, stride);
            }
        }
        // Block sums along the row; padded column p is region column
        // p - left, kept inside the columns read.
        T* d = reinterpret_cast<T*>(out);
        for (int32_t b = 0; b < width; ++b)
            for (int32_t c = 0; c < channels; ++c) {
                double v;
                if constexpr (isFloat) {
                    double s = 0.0;
                    for (int32_t p = b * wx; p < b * wx + wx; ++p)
                        s += fsum[static_cast<std::ptrdiff_t>(clampColumn(p - left)) * stride + c];
                    v = double(static_cast<float>(s)) * area;
                } else {
                    int64_t s = 0;
                    for (int32_t p = b * wx; p < b * wx + wx; ++p)
                        s += isum.at(static_cast<std::ptrdiff_t>(clampColumn(p - left)) * stride + c);
                    v = double(s) * area;
                }
                d[static_cast<std::ptrdiff_t>(b) * stride + c] = toSample<T>(v);
            }
    }
}

// ---------------------------------------------------------------------------
// Float box sums of whole ratios A x B (2, 4, 8, 16) over a region inside the
// image, in single precision with the constant factor 1 / (A x B), in the
// lane order of the SIMD paths: lane k of a block collects the column sums
// k, k + 4, k + 8, k + 12 and the lanes combine as (0 + 2) + (1 + 3). The
// 4 x 4 blocks of eight columns combine their column sums as (0 + 1) +
// (2 + 3) on paths 2-5 and as (0 + 2) + (1 + 3) on path 1
// (`Path1Order`), where four remaining columns use (0 + 2) + (1 + 3) with
// the rows added in order on every path.
template <int A, bool Path1Order>
void boxEqual32f(const void* srcV, void* dstV, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height,
                 double) {
    constexpr float scale = 1.0f / float(A * A);
    for (int32_t i = 0; i < height; ++i) {
        const uint8_t* top = static_cast<const uint8_t*>(srcV) + static_cast<std::ptrdiff_t>(i) * A * srcStep;
        auto at = [&](int32_t r, int32_t j) {
            return reinterpret_cast<const float*>(top + static_cast<std::ptrdiff_t>(r) * srcStep)[j];
        };
        float* out = reinterpret_cast<float*>(static_cast<uint8_t*>(dstV) + static_cast<std::ptrdiff_t>(i) * dstStep);
        for (int32_t k = 0; k < width; ++k) {
            const int32_t j0 = k * A;
            if constexpr (A == 2) {
                out[k] = ((at(0, j0) + at(1, j0)) + (at(0, j0 + 1) + at(1, j0 + 1))) * scale;
            } else if constexpr (A == 4) {
                float c[4];
                // Blocks of eight columns pair the rows; a last group of four
                // adds them in order.
                const bool inBlock = (k & 1) != 0 || k + 1 < width;
                for (int j = 0; j < 4; ++j)
                    c[j] = inBlock ? (at(0, j0 + j) + at(1, j0 + j)) + (at(2, j0 + j) + at(3, j0 + j))
                                   : ((at(0, j0 + j) + at(1, j0 + j)) + at(2, j0 + j)) + at(3, j0 + j);
                out[k] = (inBlock && !Path1Order ? (c[0] + c[1]) + (c[2] + c[3]) : (c[0] + c[2]) + (c[1] + c[3])) *
                         scale;
            } else {
                float cs[A];
                for (int j = 0; j < A; ++j) {
                    float s = at(0, j0 + j);
                    for (int r = 1; r < A; ++r)
                        s = s + at(r, j0 + j);
                    cs[j] = s;
                }
                float lane[4];
                for (int t = 0; t < 4; ++t) {
                    if constexpr (A == 8)
                        lane[t] = cs[t] + cs[t + 4];
                    else
                        lane[t] = (cs[t] + cs[t + 4]) + (cs[t + 8] + cs[t + 12]);
                }
                out[k] = ((lane[0] + lane[2]) + (lane[1] + lane[3])) * scale;
            }
        }
    }
}

// The generic path: weighted products and horizontal sums in double
// precision, rounded to float once per sum.
struct GenericOps {
    using Acc = double;
    static const RowAccumulators& accumulators() { return prim::generic::rowAccumulators; }
    static float weightedRow(float s, double x, double w) { return static_cast<float>(double(s) + x * w); }
    static double weightedColumn(float col, double w) { return double(col) * w; }
    static double sequentialRun(double v, const float* s, int32_t first, int32_t count) {
        for (int32_t k = 0; k < count; ++k)
            v += s[first + k];
        return v;
    }
    static double planeRun(double v, const float* s, int32_t first, int32_t count) {
        return sequentialRun(v, s, first, count);
    }
    static double pixelRun(double v, const float* s, int32_t first, int32_t count, int32_t stride, int32_t c) {
        for (int32_t k = 0; k < count; ++k)
            v += s[static_cast<std::ptrdiff_t>(first + k) * stride + c];
        return v;
    }
    static const SqBoxSumFn* boxTable() { return prim::generic::resizeSqBoxSumTable; }
};

} // namespace supersample
