// Inverse 5/3 transform of a tile-component: the reversible counterpart of
// the 9/7 pipeline. Per level a column pipeline pulls merged low-pass rows
// (LL with HL) and high-pass rows (LH with HH) and applies the integer
// lifting down the columns, one output row per call; the column primitive
// makes two rows per call in the body of a column. The result is exact.
#include <cstring>

#include "j2k/decoder/inverse_rows.h"
#include "j2k/decoder/inverse_wavelet.h"
#include "j2k/decoder/inverse_wavelet_levels.h"
#include "j2k/wavelet/row_helpers.h"
#include "primitives/j2k/wavelet53.h"
#include "primitives/vector/const_shift.h"

namespace {

using namespace inverse_wavelet;

inline int32_t len(uint32_t n) { return static_cast<int32_t>(n); }

struct Rows32 {
    using T = int32_t;
    static void addConst(const T* a, int32_t c, T* d, uint32_t n) { addVectorConst32sScaled(a, c, d, len(n), 0); }
    static void shiftRightInPlace(int32_t s, T* d, uint32_t n) { shiftRightVectorConstInPlace32s(s, d, len(n)); }
    static void shiftRight(const T* a, int32_t s, T* d, uint32_t n) { shiftRightVectorConst32s(a, s, d, len(n)); }
    static void add(const T* a, const T* b, T* d, uint32_t n) { rowAdd32s(a, b, d, n); }
    static void addInPlace(const T* a, T* d, uint32_t n) { rowAddInPlace32s(a, d, n); }
    static void sub(const T* a, const T* b, T* d, uint32_t n) { rowSub32s(a, b, d, n); }
    static void reverseSub(const T* a, T* b, uint32_t n) { rowReverseSubInPlace32s(a, b, n); }
    static void columns(const T* l, const T* ha, const T* hb, const T* e, T* odd, T* even, uint32_t n) {
        inverseWavelet53Columns32s(l, ha, hb, e, odd, even, len(n));
    }
    static void merge(const T* l, const T* h, T* d, uint32_t x0, uint32_t n) { inverseRowMerge53(l, h, d, x0, n); }
};

struct Rows16 {
    using T = int16_t;
    static void addConst(const T* a, int32_t c, T* d, uint32_t n) { addVectorConst16sScaled(a, c, d, len(n), 0); }
    static void shiftRightInPlace(int32_t s, T* d, uint32_t n) { shiftRightVectorConstInPlace16s(s, d, len(n)); }
    static void shiftRight(const T* a, int32_t s, T* d, uint32_t n) { shiftRightVectorConst16s(a, s, d, len(n)); }
    static void add(const T* a, const T* b, T* d, uint32_t n) { rowAdd16s(a, b, d, n); }
    static void addInPlace(const T* a, T* d, uint32_t n) { rowAddInPlace16s(a, d, n); }
    static void sub(const T* a, const T* b, T* d, uint32_t n) { rowSub16s(a, b, d, n); }
    static void reverseSub(const T* a, T* b, uint32_t n) { rowReverseSubInPlace16s(a, b, n); }
    static void columns(const T* l, const T* ha, const T* hb, const T* e, T* odd, T* even, uint32_t n) {
        inverseWavelet53Columns16s(l, ha, hb, e, odd, even, len(n));
    }
    static void merge(const T* l, const T* h, T* d, uint32_t x0, uint32_t n) { inverseRowMerge53Int16(l, h, d, x0, n); }
};

// One level's column pipeline. Ring entry k is table entry p + k; rows are
// pulled into a source ring's entry 0 without rotating, and a ring is rotated
// before a pull where its previous row is still needed (the high ring's
// entry 2 is then the high row before the newest). O0..O2 are the output
// ring's entries after the rotation that begins a call; O0 is delivered.
template <class R>
class WT53InvColPipeline {
public:
    using T = typename R::T;
    using Agregate = InvRowAgregate<T, R::merge>;

    void allocateRows(uint32_t w) {
        out_.Allocate(3, w);
        low_.Allocate(2, w);
        high_.Allocate(3, w);
        lowAg_.allocate(w);
        highAg_.allocate(w);
    }
    Agregate& lowAgregate() { return lowAg_; }
    Agregate& highAgregate() { return highAg_; }

    void setLevel(const J2KRect& level) {
        width_ = level.width;
        height_ = level.height;
        parity_ = level.y0 & 1;
        delivered_ = 0;
        out_.reset();
        low_.reset();
        high_.reset();
    }
    const T* current() const { return out_.entry(0); }

    void nextRow() {
        const uint32_t c = ++delivered_;
        const uint32_t n = width_;
        if (height_ == 1) {
            if (parity_ == 0) {
                pullLow();
                std::memcpy(O(0), low_.entry(0), n * sizeof(T));
            } else {
                pullHigh();
                R::shiftRight(high_.entry(0), 1, O(0), n);
            }
            return;
        }
        out_.rotate();
        if (height_ == 2) {
            if (c == 1)
                twoRows();
        } else if (height_ == 3) {
            if (c == 1)
                threeRows();
        } else {
            general(c);
        }
    }

private:
    T* O(uint32_t k) const { return out_.entry(k); }
    void pullLow() { lowAg_.produce(low_.entry(0)); }
    void pullHigh() { highAg_.produce(high_.entry(0)); }

    // d = l - ((h + 1) >> 1), the even step with one neighbour.
    void evenEdge(const T* l, const T* h, T* d) {
        R::addConst(h, 1, d, width_);
        R::shiftRightInPlace(1, d, width_);
        R::reverseSub(l, d, width_);
    }

    void twoRows() {
        pullHigh();
        pullLow();
        const T* h = high_.entry(0);
        T* even = parity_ == 0 ? O(0) : O(1);
        T* odd = parity_ == 0 ? O(1) : O(0);
        evenEdge(low_.entry(0), h, even);
        R::add(h, even, odd, width_);
    }

    // Rows 0 (odd, high) and 1 (even, low) of a column that starts on a high row.
    void oddStart(T* row0, T* row1) {
        const uint32_t n = width_;
        pullHigh();
        pullLow();
        R::addConst(high_.entry(0), 2, row1, n);
        high_.rotate();
        pullHigh();
        R::addInPlace(high_.entry(0), row1, n);
        R::shiftRightInPlace(2, row1, n);
        R::reverseSub(low_.entry(0), row1, n);
        R::add(high_.entry(2), row1, row0, n);
    }

    void threeRows() {
        const uint32_t n = width_;
        if (parity_ == 1) {
            oddStart(O(0), O(1));
            R::add(high_.entry(0), O(1), O(2), n);
        } else {
            pullHigh();
            pullLow();
            low_.rotate();
            pullLow();
            const T* h = high_.entry(0);
            R::addConst(h, 1, O(0), n);
            R::shiftRightInPlace(1, O(0), n);
            R::sub(O(0), low_.entry(0), O(2), n);
            R::reverseSub(low_.entry(1), O(0), n);
            R::add(O(0), O(2), O(1), n);
            R::shiftRightInPlace(1, O(1), n);
            R::addInPlace(h, O(1), n);
        }
    }

    void general(uint32_t c) {
        const uint32_t h = height_;
        if (c >= h || (c == 2 && parity_ == 1))
            return;
        if (c == 1) {
            pairsDone_ = 1;
            pairsPlanned_ = static_cast<int32_t>((h + parity_) >> 1) - static_cast<int32_t>(parity_);
            endsOnLow_ = parity_ == 0 ? (h & 1) : 1 - (h & 1);
            pairPhase_ = 1;
            if (parity_ == 1) {
                oddStart(O(0), O(1));
            } else {
                pullHigh();
                pullLow();
                evenEdge(low_.entry(0), high_.entry(0), O(0));
            }
            return;
        }
        if (pairsDone_ < pairsPlanned_) {
            if (pairPhase_) {
                low_.rotate();
                pullLow();
                high_.rotate();
                pullHigh();
                R::columns(low_.entry(0), high_.entry(2), high_.entry(0), O(2), O(0), O(1), width_);
                ++pairsDone_;
                pairPhase_ = 0;
            } else {
                pairPhase_ = 1;
            }
            return;
        }
        if (endsOnLow_) {
            if (c + 2 == h)
                return;
            low_.rotate();
            pullLow();
            R::columns(low_.entry(0), high_.entry(0), high_.entry(0), O(2), O(0), O(1), width_);
        } else {
            R::add(high_.entry(0), O(0), O(1), width_);
        }
    }

    RowRing<T> out_;
    uint32_t width_ = 0, height_ = 0, parity_ = 0, delivered_ = 0;
    int32_t pairsDone_ = 0, pairsPlanned_ = 0;
    uint8_t endsOnLow_ = 0, pairPhase_ = 0;
    RowRing<T> low_, high_;
    Agregate lowAg_, highAg_;
};

template <class R>
class WT53InvOwner {
public:
    using T = typename R::T;

    void allocateRows(uint32_t w) { pipeline_.allocateRows(w); }

    void inverseLevel(const PlaneRef& ll, const PlaneRef& hl, const PlaneRef& lh, const PlaneRef& hh,
                      const PlaneRef& out, const J2KRect& level) {
        if (level.Empty())
            return;
        bindLevel(inputs_, pipeline_.lowAgregate(), pipeline_.highAgregate(), ll, hl, lh, hh, level);
        pipeline_.setLevel(level);
        uint8_t* row = out.data;
        for (uint32_t y = 0; y < level.height; ++y, row += static_cast<ptrdiff_t>(out.step)) {
            pipeline_.nextRow();
            std::memcpy(row, pipeline_.current(), static_cast<size_t>(level.width) * sizeof(T));
        }
    }

private:
    WT53InvColPipeline<R> pipeline_;
    ImageRowInput<T> inputs_[4];
};

} // namespace

void inverseDwt53(const SubbandPlanes& bands, const PlaneRef& out, const J2KRect& rect) {
    inverseDwtLevels<WT53InvOwner<Rows32>, int32_t, TempPlane32>(bands, out, rect);
}

void inverseDwt53Int16(const SubbandPlanes& bands, const PlaneRef& out, const J2KRect& rect) {
    inverseDwtLevels<WT53InvOwner<Rows16>, int16_t, TempPlane16>(bands, out, rect);
}
