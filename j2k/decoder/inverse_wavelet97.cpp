// Inverse 9/7 transform of a tile-component: a streaming column pipeline per
// level that pulls merged low-pass rows (LL with HL) and high-pass rows (LH
// with HH), keeps five rows of lifting state in a ring, and finishes one
// output row per call. The bulk of each column is one call of the column
// primitive per pair of rows; element code covers the first and last rows
// and columns of up to four rows.
#include <cstring>

#include "j2k/decoder/inverse_rows.h"
#include "j2k/decoder/inverse_wavelet.h"
#include "j2k/decoder/inverse_wavelet_levels.h"
#include "j2k/wavelet/lifting_constants.h"
#include "j2k/wavelet/row_helpers.h"
#include "primitives/j2k/wavelet97.h"

namespace {

using namespace inverse_wavelet;

// Row arithmetic of the float pipeline.
struct FloatRows {
    using T = float;
    static constexpr float kHalf = 0.5f, kQuarter = 0.25f, kC3e = lift97::c3e, kC3o = lift97::c3o,
                           kInvK = lift97::invK;
    static void step3(T* d, const T* l, const T* a, const T* b, uint32_t n) {
        rowMulConst32f(lift97::K, l, d, n);
        rowMulAdd2InPlace32f(-lift97::deltaK, a, b, d, n);
    }
    static void step3Edge(T* d, const T* l, const T* a, uint32_t n) {
        rowMulConst32f(lift97::K, l, d, n);
        rowMulAddInPlace32f(-lift97::deltaK2, a, d, n);
    }
    static void step4(T* d, const T* h, const T* a, const T* b, uint32_t n) {
        rowMulConst32f(lift97::invK, h, d, n);
        rowMulAdd2InPlace32f(-lift97::gamma, a, b, d, n);
    }
    static void step4Edge(T* d, const T* h, const T* a, uint32_t n) {
        rowMulConst32f(lift97::invK, h, d, n);
        rowMulAddInPlace32f(-lift97::gamma2, a, d, n);
    }
    static void step5(T* d, const T* a, const T* b, uint32_t n) { rowMulAdd2InPlace32f(-lift97::beta, a, b, d, n); }
    static void step5Edge(T* d, const T* a, uint32_t n) { rowMulAddInPlace32f(-lift97::beta2, a, d, n); }
    static void step6(T* d, const T* a, const T* b, uint32_t n) { rowMulAdd2InPlace32f(-lift97::alpha, a, b, d, n); }
    static void step6Edge(T* d, const T* a, uint32_t n) { rowMulAddInPlace32f(-lift97::alpha2, a, d, n); }

    static void mulConst(float c, const T* a, T* d, uint32_t n) { rowMulConst32f(c, a, d, n); }
    static void mulAdd(float c, const T* a, T* d, uint32_t n) { rowMulAddInPlace32f(c, a, d, n); }
    static void mulAdd2(float c, const T* a, const T* b, T* d, uint32_t n) { rowMulAdd2InPlace32f(c, a, b, d, n); }
    // d = c (a + b)
    static void mulPair(float c, const T* a, const T* b, T* d, uint32_t n) {
        rowAdd32f(a, b, d, n);
        rowMulConstInPlace32f(c, d, n);
    }
    static void mulConstInPlace(float c, T* d, uint32_t n) { rowMulConstInPlace32f(c, d, n); }
    static void add(const T* a, const T* b, T* d, uint32_t n) { rowAdd32f(a, b, d, n); }
    static void addInPlace(const T* a, T* d, uint32_t n) { rowAddInPlace32f(a, d, n); }
    static void sub(const T* a, const T* b, T* d, uint32_t n) { rowSub32f(a, b, d, n); }
    static void subInPlace(const T* a, T* b, uint32_t n) { rowSubInPlace32f(a, b, n); }
    static void reverseSub(const T* a, T* b, uint32_t n) { rowReverseSubInPlace32f(a, b, n); }

    static void columns(const T* l, const T* ha, const T* hb, T* s1, T* s2, T* s3, T* s4, T* s0, uint32_t n) {
        inverseWavelet97Columns32f(l, ha, hb, s1, s2, s3, s4, s0, static_cast<int32_t>(n));
    }
    static void merge(const T* l, const T* h, T* d, uint32_t x0, uint32_t n) { inverseRowMerge97(l, h, d, x0, n); }
};

// Row arithmetic of the 16-bit fixed-point pipeline (Q16 constants; each
// lifting step is a rounded product then a rounded accumulated product).
struct FixRows {
    using T = int16_t;
    static constexpr int32_t kHalf = lift97::q16::half, kQuarter = lift97::q16::quarter, kC3e = lift97::q16::c3e,
                             kC3o = lift97::q16::c3o, kInvK = lift97::q16::invK;
    static void step3(T* d, const T* l, const T* a, const T* b, uint32_t n) {
        rowFixMul16s(lift97::q16::K, l, d, n);
        rowFixMulAdd2InPlace16s(-lift97::q16::deltaK, a, b, d, n);
    }
    static void step3Edge(T* d, const T* l, const T* a, uint32_t n) {
        rowFixMul16s(lift97::q16::K, l, d, n);
        rowFixMulAddInPlace16s(-lift97::q16::deltaK2, a, d, n);
    }
    static void step4(T* d, const T* h, const T* a, const T* b, uint32_t n) {
        rowFixMul16s(lift97::q16::invK, h, d, n);
        rowFixMulAdd2InPlace16s(-lift97::q16::gamma, a, b, d, n);
    }
    static void step4Edge(T* d, const T* h, const T* a, uint32_t n) {
        rowFixMul16s(lift97::q16::invK, h, d, n);
        rowFixMulAddInPlace16s(-lift97::q16::gamma2, a, d, n);
    }
    static void step5(T* d, const T* a, const T* b, uint32_t n) { rowFixMulAdd2InPlace16s(-lift97::q16::beta, a, b, d, n); }
    static void step5Edge(T* d, const T* a, uint32_t n) { rowFixMulAddInPlace16s(-lift97::q16::beta2, a, d, n); }
    static void step6(T* d, const T* a, const T* b, uint32_t n) { rowFixMulAdd2InPlace16s(-lift97::q16::alpha, a, b, d, n); }
    static void step6Edge(T* d, const T* a, uint32_t n) { rowFixMulAddInPlace16s(-lift97::q16::alpha2, a, d, n); }

    static void mulConst(int32_t c, const T* a, T* d, uint32_t n) { rowFixMul16s(c, a, d, n); }
    static void mulAdd(int32_t c, const T* a, T* d, uint32_t n) { rowFixMulAddInPlace16s(c, a, d, n); }
    static void mulAdd2(int32_t c, const T* a, const T* b, T* d, uint32_t n) { rowFixMulAdd2InPlace16s(c, a, b, d, n); }
    static void mulPair(int32_t c, const T* a, const T* b, T* d, uint32_t n) {
        std::memset(d, 0, n * sizeof(T));
        rowFixMulAdd2InPlace16s(c, a, b, d, n);
    }
    static void mulConstInPlace(int32_t c, T* d, uint32_t n) { rowFixMulInPlace16s(c, d, n); }
    static void add(const T* a, const T* b, T* d, uint32_t n) { rowAdd16s(a, b, d, n); }
    static void addInPlace(const T* a, T* d, uint32_t n) { rowAddInPlace16s(a, d, n); }
    static void sub(const T* a, const T* b, T* d, uint32_t n) { rowSub16s(a, b, d, n); }
    static void subInPlace(const T* a, T* b, uint32_t n) { rowSubInPlace16s(a, b, n); }
    static void reverseSub(const T* a, T* b, uint32_t n) { rowReverseSubInPlace16s(a, b, n); }

    static void columns(const T* l, const T* ha, const T* hb, T* s1, T* s2, T* s3, T* s4, T* s0, uint32_t n) {
        inverseWavelet97Columns16s(l, ha, hb, s1, s2, s3, s4, s0, static_cast<int32_t>(n));
    }
    static void merge(const T* l, const T* h, T* d, uint32_t x0, uint32_t n) { inverseRowMerge97Int16(l, h, d, x0, n); }
};

// The column pipeline of one level. Work rows S0..S4 are the ring's entries
// p .. p + 4 at the start of a call; every call but those of a one-row column
// ends with a rotation, after which current() (the former S1) is the row the
// call delivers.
template <class R>
class WT97InvColPipeline {
public:
    using T = typename R::T;
    using Agregate = InvRowAgregate<T, R::merge>;

    void allocateRows(uint32_t w) {
        work_.Allocate(5, w);
        low_.ring.Allocate(2, w);
        high_.ring.Allocate(3, w);
    }
    void setSources(Agregate* low, Agregate* high) {
        low_.agregate = low;
        high_.agregate = high;
    }
    void setLevel(const J2KRect& level) {
        width_ = level.width;
        height_ = level.height;
        parity_ = level.y0 & 1;
        delivered_ = 0;
        pairsDone_ = 0;
        pairsPlanned_ = static_cast<int32_t>((height_ - parity_) >> 1) - 2;
        pairPhase_ = 1;
        endsOnLow_ = parity_ == 0 ? (height_ & 1) : 1 - (height_ & 1);
        work_.reset();
    }
    const T* current() const { return work_.current(); }

    void nextRow() {
        const uint32_t c = ++delivered_;
        const uint32_t h = height_;
        if (h == 1) {
            oneRow();
            return;
        }
        if (h == 2) {
            if (c == 1)
                twoRows();
        } else if (h == 3) {
            if (c == 1)
                threeRows();
        } else if (h == 4 && parity_ == 1) {
            if (c == 1)
                fourRowsOdd();
        } else {
            general(c);
        }
        work_.rotate();
    }

private:
    T* S(uint32_t k) const { return work_.entry(k); }
    const T* L(uint32_t k) const { return low_.ring.rowBack(k); }
    const T* H(uint32_t k) const { return high_.ring.rowBack(k); }

    void step3(uint32_t l, uint32_t ha, uint32_t hb, T* d) { R::step3(d, L(l), H(ha), H(hb), width_); }
    void step3Edge(uint32_t l, uint32_t h, T* d) { R::step3Edge(d, L(l), H(h), width_); }
    void step4(uint32_t h, const T* a, const T* b, T* d) { R::step4(d, H(h), a, b, width_); }
    void step4Edge(uint32_t h, const T* a, T* d) { R::step4Edge(d, H(h), a, width_); }
    void step5(const T* a, const T* b, T* d) { R::step5(d, a, b, width_); }
    void step5Edge(const T* a, T* d) { R::step5Edge(d, a, width_); }
    void step6(const T* a, const T* b, T* d) { R::step6(d, a, b, width_); }
    void step6Edge(const T* a, T* d) { R::step6Edge(d, a, width_); }

    void oneRow() {
        if (parity_ == 0) {
            low_.pull();
            std::memcpy(S(0), L(0), width_ * sizeof(T));
        } else {
            high_.pull();
            R::mulConst(R::kHalf, H(0), S(0), width_);
        }
    }

    // Rows low, high (parity 0) or high, low (parity 1).
    void twoRows() {
        low_.pull();
        high_.pull();
        T* lowRow = parity_ == 0 ? S(1) : S(2);
        T* highRow = parity_ == 0 ? S(2) : S(1);
        R::mulConst(R::kHalf, H(0), lowRow, width_);
        R::reverseSub(L(0), lowRow, width_);
        R::add(H(0), lowRow, highRow, width_);
    }

    void threeRows() {
        const uint32_t n = width_;
        low_.pull();
        high_.pull();
        if (parity_ == 0) {
            // Rows low, high, low: L(1) is row 0, L(0) row 2.
            low_.pull();
            R::mulConst(R::kHalf, H(0), S(2), n);
            R::sub(L(1), L(0), S(1), n);
            R::mulConstInPlace(R::kC3e, S(1), n);
            R::add(S(1), S(2), S(3), n);
            R::reverseSub(L(0), S(3), n);
            R::addInPlace(L(1), S(1), n);
            R::subInPlace(S(2), S(1), n);
            R::mulAdd2(R::kHalf, L(0), L(1), S(2), n);
        } else {
            // Rows high, low, high: H(1) is row 0, H(0) row 2.
            high_.pull();
            R::sub(H(1), H(0), S(2), n);
            R::mulConst(R::kC3o, S(2), S(1), n);
            R::mulAdd(R::kHalf, H(1), S(1), n);
            R::addInPlace(L(0), S(1), n);
            R::mulConst(R::kInvK, S(2), S(3), n);
            R::addInPlace(S(1), S(3), n);
            R::mulPair(R::kQuarter, H(1), H(0), S(2), n);
            R::reverseSub(L(0), S(2), n);
        }
    }

    // Rows high, low, high, low.
    void fourRowsOdd() {
        low_.pull();
        low_.pull();
        high_.pull();
        high_.pull();
        step3(1, 1, 0, S(2));
        step3Edge(0, 0, S(4));
        step4(0, S(2), S(4), S(3));
        step4Edge(1, S(2), S(1));
        step5Edge(S(3), S(4));
        step5(S(1), S(3), S(2));
        step6(S(2), S(4), S(3));
        step6Edge(S(2), S(1));
    }

    void general(uint32_t c) {
        const uint32_t h = height_;
        if (c >= h || c + 2 + endsOnLow_ >= h)
            return;  // a row finished earlier
        if (c == 1 && parity_ == 1) {
            // Rows 1 and 3 low; rows 0, 2 and 4 high.
            low_.pull();
            low_.pull();
            high_.pull();
            high_.pull();
            high_.pull();
            step3(1, 2, 1, S(2));
            step4Edge(2, S(2), S(1));
            step3(0, 1, 0, S(4));
            step4(1, S(2), S(4), S(3));
            step5(S(1), S(3), S(2));
            step6Edge(S(2), S(1));
            return;
        }
        if (c == 1) {
            // Rows 0 and 2 low; rows 1 and 3 high. Row 0 is final after this.
            low_.pull();
            low_.pull();
            high_.pull();
            high_.pull();
            step3Edge(1, 1, S(1));
            step3(0, 1, 0, S(3));
            step4(1, S(1), S(3), S(2));
            step5Edge(S(2), S(1));
        }
        if (pairsDone_ < pairsPlanned_) {
            if (pairPhase_) {
                // One new low and one new high row: S0 becomes the new even
                // row, S4 the odd row above it, S3 and S2 final.
                low_.pull();
                high_.pull();
                R::columns(L(0), H(1), H(0), S(1), S(2), S(3), S(4), S(0), width_);
                pairPhase_ = 0;
            } else {
                pairPhase_ = 1;
                ++pairsDone_;
            }
            return;
        }
        if (!endsOnLow_) {
            step4Edge(0, S(3), S(4));
            step5(S(2), S(4), S(3));
            step6Edge(S(3), S(4));
            step6(S(3), S(1), S(2));
        } else {
            low_.pull();
            step3Edge(0, 0, S(0));
            step4(0, S(3), S(0), S(4));
            step5Edge(S(4), S(0));
            step5(S(2), S(4), S(3));
            step6(S(1), S(3), S(2));
            step6(S(3), S(0), S(4));
        }
    }

    RowRing<T> work_;
    uint32_t width_ = 0, height_ = 0, parity_ = 0, delivered_ = 0;
    int32_t pairsDone_ = 0, pairsPlanned_ = 0;
    uint8_t endsOnLow_ = 0, pairPhase_ = 0;
    WTInvRow<Agregate, T> low_, high_;
};

// One per component transform: the pipeline and its two row aggregates.
template <class R>
class WT97InvOwner {
public:
    using T = typename R::T;

    void allocateRows(uint32_t w) {
        pipeline_.allocateRows(w);
        lowAg_.allocate(w);
        highAg_.allocate(w);
        pipeline_.setSources(&lowAg_, &highAg_);
    }

    void inverseLevel(const PlaneRef& ll, const PlaneRef& hl, const PlaneRef& lh, const PlaneRef& hh,
                      const PlaneRef& out, const J2KRect& level) {
        if (level.Empty())
            return;
        bindLevel(inputs_, lowAg_, highAg_, ll, hl, lh, hh, level);
        pipeline_.setLevel(level);
        uint8_t* row = out.data;
        for (uint32_t y = 0; y < level.height; ++y, row += static_cast<ptrdiff_t>(out.step)) {
            pipeline_.nextRow();
            std::memcpy(row, pipeline_.current(), static_cast<size_t>(level.width) * sizeof(T));
        }
    }

private:
    WT97InvColPipeline<R> pipeline_;
    typename WT97InvColPipeline<R>::Agregate lowAg_, highAg_;
    ImageRowInput<T> inputs_[4];
};

} // namespace

void inverseDwt97(const SubbandPlanes& bands, const PlaneRef& out, const J2KRect& rect) {
    inverseDwtLevels<WT97InvOwner<FloatRows>, float, TempPlane32>(bands, out, rect);
}

void inverseDwt97Int16(const SubbandPlanes& bands, const PlaneRef& out, const J2KRect& rect) {
    inverseDwtLevels<WT97InvOwner<FixRows>, int16_t, TempPlane16>(bands, out, rect);
}
