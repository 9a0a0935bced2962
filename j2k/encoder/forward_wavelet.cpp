// Forward wavelet of a tile-component. Each level lifts its columns in place
// in one scratch plane (rows are the unit of work, so the loops run along
// contiguous samples), then splits every row with the row primitives over a
// copy of the row extended symmetrically at both ends, writing the two
// halves straight into the band planes; the level's LL part goes back into
// the scratch plane as the next level's input, or into the LL plane.
#include "j2k/encoder/forward_wavelet.h"

#include <cstring>
#include <vector>

#include "j2k/decoder/geometry.h"
#include "primitives/core/copy.h"
#include "primitives/j2k/wavelet53.h"
#include "primitives/j2k/wavelet97.h"

namespace {

// 9/7 lifting constants.
constexpr float kAlpha = -1.586134342f;
constexpr float kBeta = -0.052980118f;
constexpr float kGamma = 0.882911076f;
constexpr float kDelta = 0.443506852f;
constexpr float kK = 1.230174105f;
constexpr float kInvK = 1.0f / 1.230174105f;

// Samples copied beyond each end of a row, enough for the row primitives'
// reads around a run of pairs that covers the whole row.
constexpr uint32_t kRowPad = 6;

// Whole-sample symmetric extension of n >= 2 samples: the index of the
// sample that stands at position j.
inline uint32_t Mirror(int64_t j, uint32_t n) {
    const int64_t period = 2 * (int64_t(n) - 1);
    j %= period;
    if (j < 0)
        j += period;
    return static_cast<uint32_t>(j < n ? j : period - j);
}

// One lifting step along a column: every row of the given parity (0 even,
// 1 odd coordinate) takes op of itself and its two neighbours, mirrored at
// the ends (n >= 2).
template <class T, class RowAt, class Op>
void LiftStep(RowAt row, uint32_t n, uint32_t width, uint32_t parity, uint32_t odd, Op op) {
    for (uint32_t i = (parity ^ odd) & 1; i < n; i += 2) {
        T* x = row(i);
        const T* a = row(i == 0 ? 1 : i - 1);
        const T* b = row(i + 1 < n ? i + 1 : n - 2);
        for (uint32_t c = 0; c < width; ++c)
            x[c] = op(x[c], a[c], b[c]);
    }
}

// One axis of one level, for both filters. `Lift` runs the lifting steps on
// the rows of a column; `Rows` is the row primitive of the filter.
struct Kit53 {
    using T = int32_t;
    static T Double(T v) { return static_cast<T>(static_cast<uint32_t>(v) << 1); }
    static void Rows(const T* ext, T* low, T* high, int32_t pairs, int32_t phase) {
        forwardWavelet53Rows32s(ext, 4 * (2 * pairs + 2 * int32_t(kRowPad)), low, 4 * pairs, high, 4 * pairs, pairs,
                                1, phase);
    }
    // Predict the odd rows, then update the even ones.
    template <class RowAt>
    static void Lift(RowAt row, uint32_t n, uint32_t width, uint32_t parity) {
        LiftStep<T>(row, n, width, parity, 1, [](T x, T a, T b) {
            return static_cast<T>(int64_t(x) - ((int64_t(a) + int64_t(b)) >> 1));
        });
        LiftStep<T>(row, n, width, parity, 0, [](T x, T a, T b) {
            return static_cast<T>(int64_t(x) + ((int64_t(a) + int64_t(b) + 2) >> 2));
        });
    }
};

struct Kit97 {
    using T = float;
    static T Double(T v) { return 2.0f * v; }
    static void Rows(const T* ext, T* low, T* high, int32_t pairs, int32_t phase) {
        forwardWavelet97Rows32f(ext, 4 * (2 * pairs + 2 * int32_t(kRowPad)), low, 4 * pairs, high, 4 * pairs, pairs,
                                1, phase);
    }
    template <class RowAt>
    static void Lift(RowAt row, uint32_t n, uint32_t width, uint32_t parity) {
        const float steps[4] = {kAlpha, kBeta, kGamma, kDelta};
        for (int s = 0; s < 4; ++s) {
            const float k = steps[s];
            LiftStep<float>(row, n, width, parity, (s & 1) ? 0 : 1,
                            [k](float x, float a, float b) { return x + k * (a + b); });
        }
        for (uint32_t i = 0; i < n; ++i) {
            float* x = row(i);
            const float f = ((parity + i) & 1) ? kK : kInvK;
            for (uint32_t c = 0; c < width; ++c)
                x[c] *= f;
        }
    }
};

// The 1-D split of n samples starting at coordinate `start`: low (ceil
// count) and high (floor count) halves.
template <class Kit>
void SplitRow(const typename Kit::T* x, uint32_t n, uint32_t start, typename Kit::T* low, typename Kit::T* high,
              std::vector<typename Kit::T>& scratch) {
    using T = typename Kit::T;
    const uint32_t odd = start & 1;
    if (n == 1) {
        if (odd)
            high[0] = Kit::Double(x[0]);
        else
            low[0] = x[0];
        return;
    }
    const uint32_t pairs = (n + 1) / 2;
    scratch.resize(size_t(n) + 2 * kRowPad + 2 + 4 * size_t(pairs));
    T* ext = scratch.data();
    const uint32_t extLength = n + 2 * kRowPad + 2;
    for (uint32_t j = 0; j < extLength; ++j)
        ext[j] = x[Mirror(int64_t(j) - int64_t(kRowPad), n)];
    T* lows = ext + extLength;
    T* highs = lows + 2 * pairs;
    Kit::Rows(ext + kRowPad, lows, highs, int32_t(pairs), int32_t(odd));
    const uint32_t lowCount = odd ? n / 2 : pairs, highCount = n - lowCount;
    std::memcpy(low, lows, sizeof(T) * lowCount);
    std::memcpy(high, highs, sizeof(T) * highCount);
}

template <class Kit>
void ForwardDwt(const PlaneRef& source, const J2KRect& component, SubbandPlanes& planes) {
    using T = typename Kit::T;
    const uint32_t levels = planes.levels;
    if (component.Empty())
        return;
    if (levels == 0) {
        const PlaneRef& ll = planes.ll.Ref();
        for (uint32_t y = 0; y < component.height; ++y)
            std::memcpy(ll.Row(int32_t(y)), source.Row(int32_t(y)), 4 * size_t(component.width));
        return;
    }
    // The scratch plane: the first level's input, then every level's LL part.
    DJP2PlaneBuffer work;
    work.Allocate(component.width, component.height);
    const PlaneRef& w = work.Ref();
    for (uint32_t y = 0; y < component.height; ++y)
        std::memcpy(w.Row(int32_t(y)), source.Row(int32_t(y)), 4 * size_t(component.width));

    std::vector<T> scratch;
    std::vector<T> lowRow, highRow;
    for (uint32_t i = 0; i < levels; ++i) {
        const J2KRect r = ScaleRectUp(component, i);
        if (r.Empty())
            break;
        auto row = [&w](uint32_t k) { return reinterpret_cast<T*>(w.Row(int32_t(k))); };
        const uint32_t py = r.y0 & 1;
        if (r.height == 1) {
            if (py)
                for (uint32_t c = 0; c < r.width; ++c)
                    row(0)[c] = Kit::Double(row(0)[c]);
        } else {
            Kit::Lift(row, r.height, r.width, py);
        }
        const bool last = i + 1 == levels;
        const SubbandLevelPlanes& bands = planes.level[i];
        const uint32_t lowRowsBefore = (r.y0 + 1) / 2, highRowsBefore = r.y0 / 2;
        lowRow.resize((r.width + 1) / 2 + 1);
        highRow.resize((r.width + 1) / 2 + 1);
        for (uint32_t k = 0; k < r.height; ++k) {
            const uint32_t y = r.y0 + k;
            SplitRow<Kit>(row(k), r.width, r.x0, lowRow.data(), highRow.data(), scratch);
            const uint32_t lows = (r.x1() + 1) / 2 - (r.x0 + 1) / 2, highs = r.width - lows;
            T* lowDst;
            T* highDst;
            if (y & 1) {
                const int32_t j = int32_t(y / 2 - highRowsBefore);
                lowDst = reinterpret_cast<T*>(bands.lh.Row(j));
                highDst = reinterpret_cast<T*>(bands.hh.Row(j));
            } else {
                const int32_t j = int32_t(y / 2 - lowRowsBefore);
                lowDst = reinterpret_cast<T*>(last ? planes.ll.Row(j) : w.Row(j));
                highDst = reinterpret_cast<T*>(bands.hl.Row(j));
            }
            if (lows)
                std::memcpy(lowDst, lowRow.data(), sizeof(T) * lows);
            if (highs)
                std::memcpy(highDst, highRow.data(), sizeof(T) * highs);
        }
    }
}

} // namespace

void forwardRowSplit97(const float* x, uint32_t n, uint32_t start, float* low, float* high) {
    std::vector<float> scratch;
    SplitRow<Kit97>(x, n, start, low, high, scratch);
}

void forwardRowSplit53(const int32_t* x, uint32_t n, uint32_t start, int32_t* low, int32_t* high) {
    std::vector<int32_t> scratch;
    SplitRow<Kit53>(x, n, start, low, high, scratch);
}

void forwardDwt97(const PlaneRef& source, const J2KRect& component, SubbandPlanes& planes) {
    ForwardDwt<Kit97>(source, component, planes);
}

void forwardDwt53(const PlaneRef& source, const J2KRect& component, SubbandPlanes& planes) {
    ForwardDwt<Kit53>(source, component, planes);
}
