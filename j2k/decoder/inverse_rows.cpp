// One-row inverse 9/7 and 5/3 merges.
//
// Element code works on a window of consecutive positions copied from the
// interleaved row. Lifting treats both window ends as row ends (the missing
// neighbour mirrors the present one). Where a window end is a real row end
// that is the symmetric extension; where the window was cut inside the row,
// each lifting step spoils one more position next to the cut, so a window
// reaching 4 positions (9/7) or 2 positions (5/3) past a cut yields exact
// values for everything beyond them.
#include "j2k/decoder/inverse_rows.h"

#include <cstring>

#include "j2k/wavelet/lifting_constants.h"
#include "primitives/j2k/wavelet53.h"
#include "primitives/j2k/wavelet97.h"

namespace {

// Longest window: the whole of a row too short for the primitive (9), or the
// end of a long row (5 final positions and 4 of context).
constexpr uint32_t kWindow = 16;

template <class S>
inline S wrapTo(int64_t v) {
    if constexpr (sizeof(S) == 2)
        return static_cast<S>(static_cast<uint16_t>(static_cast<uint64_t>(v)));
    else
        return static_cast<S>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

inline int64_t q16(int64_t c, int64_t x) { return (c * x + 32768) >> 16; }

// The four 9/7 synthesis steps, with the one-neighbour form of each.
struct Float97 {
    using S = float;
    static S e3(S l, S a, S b) { return lift97::K * l - lift97::deltaK * (a + b); }
    static S e3Edge(S l, S a) { return lift97::K * l - lift97::deltaK2 * a; }
    static S o4(S h, S a, S b) { return lift97::invK * h - lift97::gamma * (a + b); }
    static S o4Edge(S h, S a) { return lift97::invK * h - lift97::gamma2 * a; }
    static S e5(S e, S a, S b) { return e - lift97::beta * (a + b); }
    static S e5Edge(S e, S a) { return e - lift97::beta2 * a; }
    static S o6(S o, S a, S b) { return o - lift97::alpha * (a + b); }
    static S o6Edge(S o, S a) { return o - lift97::alpha2 * a; }
    static void run(const S* low, const S* high, S* dst, int32_t count, int32_t phase) {
        const int32_t step = count * int32_t(sizeof(S));
        inverseWavelet97Rows32f(low, step, high, step, count, 1, dst, 2 * step, phase);
    }
};

struct Fix97 {
    using S = int16_t;
    static S e3(int32_t l, int32_t a, int32_t b) {
        return wrapTo<S>(q16(lift97::q16::K, l) - q16(lift97::q16::deltaK, a + b));
    }
    static S e3Edge(int32_t l, int32_t a) { return wrapTo<S>(q16(lift97::q16::K, l) - q16(lift97::q16::deltaK2, a)); }
    static S o4(int32_t h, int32_t a, int32_t b) {
        return wrapTo<S>(q16(lift97::q16::invK, h) - q16(lift97::q16::gamma, a + b));
    }
    static S o4Edge(int32_t h, int32_t a) { return wrapTo<S>(q16(lift97::q16::invK, h) - q16(lift97::q16::gamma2, a)); }
    static S e5(int32_t e, int32_t a, int32_t b) { return wrapTo<S>(e - q16(lift97::q16::beta, a + b)); }
    static S e5Edge(int32_t e, int32_t a) { return wrapTo<S>(e - q16(lift97::q16::beta2, a)); }
    static S o6(int32_t o, int32_t a, int32_t b) { return wrapTo<S>(o - q16(lift97::q16::alpha, a + b)); }
    static S o6Edge(int32_t o, int32_t a) { return wrapTo<S>(o - q16(lift97::q16::alpha2, a)); }
    static void run(const S* low, const S* high, S* dst, int32_t count, int32_t phase) {
        const int32_t step = count * int32_t(sizeof(S));
        inverseWavelet97Rows16s(low, step, high, step, count, 1, dst, 2 * step, phase);
    }
};

// One lifting pass over the positions of one parity (first = 0 or 1) of
// X[0..m): X[j] = op(X[j], neighbours), or opEdge with the one neighbour.
template <class S, class Op, class OpEdge>
inline void liftPass(S* X, uint32_t m, uint32_t first, Op op, OpEdge opEdge) {
    for (uint32_t j = first; j < m; j += 2) {
        const bool hasLeft = j > 0, hasRight = j + 1 < m;
        if (hasLeft && hasRight)
            X[j] = op(X[j], X[j - 1], X[j + 1]);
        else if (hasLeft)
            X[j] = opEdge(X[j], X[j - 1]);
        else if (hasRight)
            X[j] = opEdge(X[j], X[j + 1]);
    }
}

// The 9/7 synthesis of window X[0..m), m >= 2; lowFirst: X[0] is low-pass.
template <class A>
void lift97Window(typename A::S* X, uint32_t m, bool lowFirst) {
    const uint32_t even = lowFirst ? 0 : 1, odd = 1 - even;
    liftPass(X, m, even, A::e3, A::e3Edge);
    liftPass(X, m, odd, A::o4, A::o4Edge);
    liftPass(X, m, even, A::e5, A::e5Edge);
    liftPass(X, m, odd, A::o6, A::o6Edge);
}

// Copies positions [p0, p1) of the interleaved row into X.
template <class S>
inline void gather(const S* low, const S* high, uint32_t x0, uint32_t p0, uint32_t p1, S* X) {
    for (uint32_t p = p0; p < p1; ++p)
        X[p - p0] = ((x0 + p) & 1) ? high[p >> 1] : low[p >> 1];
}

// Final values of positions [from, n) (or [0, to)) by a window that reaches
// `reach` positions into the row on the cut side.
template <class S, class Lift>
void windowTail(const S* low, const S* high, S* dst, uint32_t x0, uint32_t n, uint32_t from, uint32_t reach,
                Lift lift) {
    S X[kWindow];
    const uint32_t p0 = from - reach;
    gather(low, high, x0, p0, n, X);
    lift(X, n - p0, ((x0 + p0) & 1) == 0);
    std::memcpy(dst + from, X + reach, (n - from) * sizeof(S));
}

template <class S, class Lift>
void windowHead(const S* low, const S* high, S* dst, uint32_t x0, uint32_t to, uint32_t reach, Lift lift) {
    S X[kWindow];
    gather(low, high, x0, 0, to + reach, X);
    lift(X, to + reach, (x0 & 1) == 0);
    std::memcpy(dst, X, to * sizeof(S));
}

// Closed forms of rows of two and three samples.
void shortRow97(const float* L, const float* H, float* x, bool odd, uint32_t n) {
    if (n == 2) {
        if (!odd) {
            x[0] = L[0] - 0.5f * H[0];
            x[1] = H[0] + x[0];
        } else {
            x[1] = L[0] - 0.5f * H[0];
            x[0] = H[0] + x[1];
        }
    } else if (!odd) {
        const float h = 0.5f * H[0];
        const float t = lift97::c3e * (L[1] - L[0]);
        x[0] = t + (L[0] - h);
        x[2] = L[1] - t - h;
        x[1] = h + 0.5f * (L[0] + L[1]);
    } else {
        const float d = H[1] - H[0];
        x[0] = 0.5f * H[0] + L[0] + lift97::c3o * d;
        x[2] = lift97::invK * d + x[0];
        x[1] = L[0] - 0.25f * (H[1] + H[0]);
    }
}

void shortRow97(const int16_t* L, const int16_t* H, int16_t* x, bool odd, uint32_t n) {
    const int32_t l0 = L[0], h0 = H[0];
    if (n == 2) {
        if (!odd) {
            x[0] = wrapTo<int16_t>(l0 - (h0 >> 1));
            x[1] = wrapTo<int16_t>(h0 + x[0]);
        } else {
            x[1] = wrapTo<int16_t>(l0 - (h0 >> 1));
            x[0] = wrapTo<int16_t>(h0 + x[1]);
        }
    } else if (!odd) {
        const int32_t l1 = L[1];
        const int32_t h = h0 >> 1;
        const int64_t t = q16(lift97::q16::c3e, l1 - l0);
        x[0] = wrapTo<int16_t>(t + l0 - h);
        x[2] = wrapTo<int16_t>(l1 - t - h);
        x[1] = wrapTo<int16_t>(((l0 + l1) >> 1) + h);
    } else {
        const int32_t h1 = H[1];
        const int32_t d = h1 - h0;
        x[0] = wrapTo<int16_t>(l0 + (h0 >> 1) + q16(lift97::q16::c3o, d));
        x[2] = wrapTo<int16_t>(q16(lift97::q16::invK, d) + x[0]);
        x[1] = wrapTo<int16_t>(l0 - ((h1 + h0) >> 2));
    }
}

template <class A>
void merge97(const typename A::S* low, const typename A::S* high, typename A::S* dst, uint32_t x0, uint32_t n) {
    using S = typename A::S;
    if (n == 0)
        return;
    const bool odd = (x0 & 1) != 0;
    if (n == 1) {
        if (!odd)
            dst[0] = low[0];
        else if constexpr (sizeof(S) == 2)
            dst[0] = static_cast<S>(high[0] >> 1);
        else
            dst[0] = 0.5f * high[0];
        return;
    }
    if (n <= 3) {
        shortRow97(low, high, dst, odd, n);
        return;
    }
    auto lift = [](S* X, uint32_t m, bool lowFirst) { lift97Window<A>(X, m, lowFirst); };
    if (n < (odd ? 9u : 10u)) {
        windowHead(low, high, dst, x0, n, 0, lift);
        return;
    }
    const int32_t count = static_cast<int32_t>(odd ? ((n + 1) >> 1) - 4 : (n >> 1) - 4);
    A::run(low + 2, high + 2, dst + 4, count, odd ? 1 : 0);
    windowHead(low, high, dst, x0, 4, 4, lift);
    windowTail(low, high, dst, x0, n, 4 + 2 * uint32_t(count), 4, lift);
}

// The 5/3 synthesis of window X[0..m), m >= 2: even positions first, then
// odd ones from the new even values.
template <class S>
void lift53Window(S* X, uint32_t m, bool lowFirst) {
    const uint32_t even = lowFirst ? 0 : 1, odd = 1 - even;
    liftPass(
        X, m, even, [](S x, S a, S b) { return wrapTo<S>(int64_t(x) - ((int64_t(a) + b + 2) >> 2)); },
        [](S x, S a) { return wrapTo<S>(int64_t(x) - ((int64_t(a) + 1) >> 1)); });
    liftPass(
        X, m, odd, [](S x, S a, S b) { return wrapTo<S>(int64_t(x) + ((int64_t(a) + b) >> 1)); },
        [](S x, S a) { return wrapTo<S>(int64_t(x) + a); });
}

template <class S>
void run53(const S* low, const S* high, S* dst, int32_t count, int32_t phase) {
    const int32_t step = count * int32_t(sizeof(S));
    if constexpr (sizeof(S) == 2)
        inverseWavelet53Rows16s(low, step, high, step, count, 1, dst, 2 * step, phase);
    else
        inverseWavelet53Rows32s(low, step, high, step, count, 1, dst, 2 * step, phase);
}

template <class S>
void merge53(const S* low, const S* high, S* dst, uint32_t x0, uint32_t n) {
    if (n == 0)
        return;
    const bool odd = (x0 & 1) != 0;
    if (n == 1) {
        dst[0] = odd ? static_cast<S>(high[0] >> 1) : low[0];
        return;
    }
    auto lift = [](S* X, uint32_t m, bool lowFirst) { lift53Window<S>(X, m, lowFirst); };
    if (n < (odd ? 5u : 6u)) {
        windowHead(low, high, dst, x0, n, 0, lift);
        return;
    }
    const int32_t count = static_cast<int32_t>(odd ? ((n + 1) >> 1) - 2 : (n >> 1) - 2);
    run53(low + 1, high + 1, dst + 2, count, odd ? 1 : 0);
    windowHead(low, high, dst, x0, 2, 2, lift);
    windowTail(low, high, dst, x0, n, 2 + 2 * uint32_t(count), 2, lift);
}

} // namespace

void inverseRowMerge97(const float* low, const float* high, float* dst, uint32_t x0, uint32_t n) {
    merge97<Float97>(low, high, dst, x0, n);
}
void inverseRowMerge97Int16(const int16_t* low, const int16_t* high, int16_t* dst, uint32_t x0, uint32_t n) {
    merge97<Fix97>(low, high, dst, x0, n);
}
void inverseRowMerge53(const int32_t* low, const int32_t* high, int32_t* dst, uint32_t x0, uint32_t n) {
    merge53(low, high, dst, x0, n);
}
void inverseRowMerge53Int16(const int16_t* low, const int16_t* high, int16_t* dst, uint32_t x0, uint32_t n) {
    merge53(low, high, dst, x0, n);
}
