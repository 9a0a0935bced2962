// Forward wavelet of a tile-component, streamed row by row. Each level pushes
// its source rows into a column lifter that keeps a small ring of rows and
// applies every vertical lifting step as soon as the step's neighbours have
// reached it (rows are the unit of work, so the loops run along contiguous
// samples); each finished row is split with the row primitives over a copy
// extended symmetrically at both ends, and the two halves go straight into
// the band planes. The level's LL part goes to one intermediate plane, the
// next level's input, or to the LL plane after the last level.
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

// The two filters: `Step` is one vertical lifting step on a row from its two
// neighbours, applied to the rows of coordinate parity StepParity(step);
// `Scale` finishes a row; `Rows` is the row primitive.
struct Kit53 {
    using T = int32_t;
    static T Double(T v) { return static_cast<T>(static_cast<uint32_t>(v) << 1); }
    static void Rows(const T* ext, T* low, T* high, int32_t pairs, int32_t phase) {
        forwardWavelet53Rows32s(ext, 4 * (2 * pairs + 2 * int32_t(kRowPad)), low, 4 * pairs, high, 4 * pairs, pairs,
                                1, phase);
    }
    // Predict the odd rows, then update the even ones.
    static constexpr int kSteps = 2;
    static uint32_t StepParity(int step) { return step == 0 ? 1 : 0; }
    static void Step(int step, T* x, const T* a, const T* b, uint32_t width) {
        if (step == 0)
            for (uint32_t c = 0; c < width; ++c)
                x[c] = static_cast<T>(int64_t(x[c]) - ((int64_t(a[c]) + int64_t(b[c])) >> 1));
        else
            for (uint32_t c = 0; c < width; ++c)
                x[c] = static_cast<T>(int64_t(x[c]) + ((int64_t(a[c]) + int64_t(b[c]) + 2) >> 2));
    }
    static void Scale(T*, uint32_t, uint32_t) {}
};

struct Kit97 {
    using T = float;
    static T Double(T v) { return 2.0f * v; }
    static void Rows(const T* ext, T* low, T* high, int32_t pairs, int32_t phase) {
        forwardWavelet97Rows32f(ext, 4 * (2 * pairs + 2 * int32_t(kRowPad)), low, 4 * pairs, high, 4 * pairs, pairs,
                                1, phase);
    }
    // alpha on the odd rows, beta on the even, gamma odd, delta even; then
    // the even rows are scaled by 1/K and the odd ones by K.
    static constexpr int kSteps = 4;
    static uint32_t StepParity(int step) { return (step & 1) ? 0 : 1; }
    static void Step(int step, T* x, const T* a, const T* b, uint32_t width) {
        static constexpr float k[4] = {kAlpha, kBeta, kGamma, kDelta};
        const float f = k[step];
        for (uint32_t c = 0; c < width; ++c)
            x[c] = x[c] + f * (a[c] + b[c]);
    }
    static void Scale(T* x, uint32_t width, uint32_t odd) {
        const float f = odd ? kK : kInvK;
        for (uint32_t c = 0; c < width; ++c)
            x[c] *= f;
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

// The vertical transform of one level, streamed: rows are pushed in order
// into a ring; a row takes lifting step s once both its neighbours (mirrored
// at the column ends) have completed step s - 1, and a row that has taken
// every step, as have its neighbours, is scaled and handed to `emit` in row
// order. A row's slot is reused only after that, which the ring size
// guarantees: a row has all its steps once kSteps more rows arrived.
template <class Kit>
class ColumnLifter {
public:
    using T = typename Kit::T;
    static constexpr uint32_t kRing = 2 * Kit::kSteps + 4;

    explicit ColumnLifter(uint32_t maxWidth) : stride_(maxWidth ? maxWidth : 1), rows_(size_t(kRing) * stride_) {}

    void SetLevel(uint32_t width, uint32_t height, uint32_t parity) {
        width_ = width;
        height_ = height;
        parity_ = parity;
        received_ = 0;
        emitted_ = 0;
        lowest_ = 0;
    }

    // Slot for the next source row; fill `width` samples, then call Pushed.
    T* NextRow() { return Row(received_); }

    template <class Emit>
    void Pushed(Emit emit) {
        done_[received_ % kRing] = 0;
        ++received_;
        if (height_ == 1) {
            if (parity_)
                for (uint32_t c = 0; c < width_; ++c)
                    Row(0)[c] = Kit::Double(Row(0)[c]);
            emit(0u, Row(0));
            emitted_ = 1;
            return;
        }
        for (bool progress = true; progress;) {
            progress = false;
            for (uint32_t i = lowest_; i < received_; ++i) {
                int& d = done_[i % kRing];
                if (d == Kit::kSteps)
                    continue;
                if (Kit::StepParity(d) != ((parity_ + i) & 1)) {
                    ++d;  // this step lifts the other rows
                    progress = true;
                    continue;
                }
                const uint32_t a = i == 0 ? 1 : i - 1, b = i + 1 < height_ ? i + 1 : height_ - 2;
                if (a >= received_ || b >= received_ || done_[a % kRing] < d || done_[b % kRing] < d)
                    continue;
                Kit::Step(d, Row(i), Row(a), Row(b), width_);
                ++d;
                progress = true;
            }
            while (emitted_ < received_ && Finished(emitted_)) {
                Kit::Scale(Row(emitted_), width_, (parity_ + emitted_) & 1);
                emit(emitted_, Row(emitted_));
                ++emitted_;
            }
            while (lowest_ + 1 < emitted_)
                ++lowest_;
        }
    }

    bool Complete() const { return emitted_ == height_; }

private:
    // A row leaves the ring once it and both its neighbours have taken every
    // step: scaling it earlier would change a value a neighbour still reads.
    bool Finished(uint32_t i) const {
        const uint32_t a = i == 0 ? 1 : i - 1, b = i + 1 < height_ ? i + 1 : height_ - 2;
        return a < received_ && b < received_ && done_[i % kRing] == Kit::kSteps &&
               done_[a % kRing] == Kit::kSteps && done_[b % kRing] == Kit::kSteps;
    }

    T* Row(uint32_t i) { return rows_.data() + size_t(i % kRing) * stride_; }

    uint32_t stride_;
    std::vector<T> rows_;
    int done_[kRing] = {};
    uint32_t width_ = 0, height_ = 0, parity_ = 0;
    uint32_t received_ = 0, emitted_ = 0, lowest_ = 0;
};

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
    // The LL part of every level but the last, read back as the next level's
    // input: never larger than the first level's LL band.
    DJP2PlaneBuffer intermediate;
    if (levels > 1) {
        const J2KRect first = ScaleRectUp(component, 1);
        intermediate.Allocate(first.width, first.height);
    }
    ColumnLifter<Kit> lifter(component.width);
    std::vector<T> scratch, lowRow((component.width + 1) / 2 + 1), highRow((component.width + 1) / 2 + 1);
    PlaneRef in = source;
    for (uint32_t i = 0; i < levels; ++i) {
        const J2KRect r = ScaleRectUp(component, i);
        if (r.Empty())
            break;
        const bool last = i + 1 == levels;
        const SubbandLevelPlanes& bands = planes.level[i];
        const PlaneRef& llOut = last ? planes.ll.Ref() : intermediate.Ref();
        const uint32_t lowRowsBefore = (r.y0 + 1) / 2, highRowsBefore = r.y0 / 2;
        const uint32_t lows = (r.x1() + 1) / 2 - (r.x0 + 1) / 2, highs = r.width - lows;
        auto emit = [&](uint32_t k, const T* row) {
            const uint32_t y = r.y0 + k;
            SplitRow<Kit>(row, r.width, r.x0, lowRow.data(), highRow.data(), scratch);
            T* lowDst;
            T* highDst;
            if (y & 1) {
                const int32_t j = int32_t(y / 2 - highRowsBefore);
                lowDst = reinterpret_cast<T*>(bands.lh.Row(j));
                highDst = reinterpret_cast<T*>(bands.hh.Row(j));
            } else {
                const int32_t j = int32_t(y / 2 - lowRowsBefore);
                lowDst = reinterpret_cast<T*>(llOut.Row(j));
                highDst = reinterpret_cast<T*>(bands.hl.Row(j));
            }
            if (lows)
                std::memcpy(lowDst, lowRow.data(), sizeof(T) * lows);
            if (highs)
                std::memcpy(highDst, highRow.data(), sizeof(T) * highs);
        };
        lifter.SetLevel(r.width, r.height, r.y0 & 1);
        // An LL row is written only after the input rows up to it have been
        // copied into the ring, so the intermediate plane is read and
        // overwritten in the same pass.
        for (uint32_t k = 0; k < r.height; ++k) {
            std::memcpy(lifter.NextRow(), in.Row(int32_t(k)), sizeof(T) * r.width);
            lifter.Pushed(emit);
        }
        in = intermediate.Ref();
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
