// The 9/7 lifting bodies shared by the generic forms and the processor paths.
// Each body is a template over an arithmetic policy:
//   - float arithmetic (Ar): addLift out = x + (p + q) c, subLift out =
//     x - (p + q) c, scaleSub out = x s - (p + q) c, scale out = x s, split
//     (de-interleave) and interleave, evaluated in Ar::T: double for the
//     generic forms (one rounding when a float is stored), float for the
//     paths (every operation rounded);
//   - inverse steps (St): step1..step4 of the synthesis and the width-1
//     direct filter, from the float arithmetic or in 16-bit fixed point.
// Rows are processed in chunks of pairs with two work rows on the stack; each
// chunk recomputes the few lifting values it needs beyond its ends from the
// inputs, so a chunk boundary changes no result.
#pragma once

#include <cstdint>

#include "primitives/j2k/lifting_rules.h"
#include "primitives/j2k/wavelet_checks.h"

namespace j2k97 {
namespace {

namespace c = j2k_rules::c97;

template <class T>
struct ScalarArith {
    using Work = T;
    template <class O, class X, class P, class Q>
    static void addLift(O* out, const X* x, const P* p, const Q* q, float k, int32_t n) {
        for (int32_t i = 0; i < n; ++i)
            out[i] = static_cast<O>((T(p[i]) + T(q[i])) * T(k) + T(x[i]));
    }
    template <class O, class X, class P, class Q>
    static void subLift(O* out, const X* x, const P* p, const Q* q, float k, int32_t n) {
        for (int32_t i = 0; i < n; ++i)
            out[i] = static_cast<O>(T(x[i]) - (T(p[i]) + T(q[i])) * T(k));
    }
    template <class O, class X, class P, class Q>
    static void scaleSub(O* out, const X* x, float s, const P* p, const Q* q, float k, int32_t n) {
        for (int32_t i = 0; i < n; ++i)
            out[i] = static_cast<O>(T(x[i]) * T(s) - (T(p[i]) + T(q[i])) * T(k));
    }
    template <class O, class X>
    static void scale(O* out, const X* x, float s, int32_t n) {
        for (int32_t i = 0; i < n; ++i)
            out[i] = static_cast<O>(T(x[i]) * T(s));
    }
    // e[i] = xb[2i] for i < ne, o[i] = xb[2i+1] for i < no.
    template <class W>
    static void split(const float* xb, W* e, W* o, int32_t ne, int32_t no) {
        for (int32_t i = 0; i < ne; ++i)
            e[i] = xb[2 * i];
        for (int32_t i = 0; i < no; ++i)
            o[i] = xb[2 * i + 1];
    }
    template <class W>
    static void interleave(float* dst, const W* a, const W* b, int32_t n) {
        for (int32_t i = 0; i < n; ++i) {
            dst[2 * i] = static_cast<float>(a[i]);
            dst[2 * i + 1] = static_cast<float>(b[i]);
        }
    }
};

// The synthesis steps (the scalings by K and 1/K folded into steps 1 and 2):
//   1: even = K L - (delta/K)(h + h')    2: odd = H/K - gamma (e + e')
//   3: even -= beta (o + o')             4: odd -= alpha (e + e')
template <class Ar>
struct FloatSteps {
    using Sample = float;
    using Work = typename Ar::Work;
    template <class O, class X, class P, class Q>
    static void step1(O* out, const X* low, const P* p, const Q* q, int32_t n) { Ar::scaleSub(out, low, c::k, p, q, c::deltaOverK, n); }
    template <class O, class X, class P, class Q>
    static void step2(O* out, const X* high, const P* p, const Q* q, int32_t n) { Ar::scaleSub(out, high, c::invK, p, q, c::gamma, n); }
    template <class O, class X, class P, class Q>
    static void step3(O* out, const X* even, const P* p, const Q* q, int32_t n) { Ar::subLift(out, even, p, q, c::beta, n); }
    template <class O, class X, class P, class Q>
    static void step4(O* out, const X* odd, const P* p, const Q* q, int32_t n) { Ar::subLift(out, odd, p, q, c::alpha, n); }
    static void interleave(float* dst, const Work* a, const Work* b, int32_t n) { Ar::interleave(dst, a, b, n); }

    // Width 1: the synthesis filter taps, terms summed left to right.
    static void direct(const float* L, const float* H, float* dst, bool odd) {
        using T = typename Ar::Work;
        const T l0 = 1.11508703f, l1 = 0.591271758f, l2 = -0.0575435273f, l3 = -0.0912717655f;
        const T h0 = 0.602949023f, h1 = -0.266864121f, h2 = -0.0782232657f, h3 = 0.0168641191f, h4 = 0.0267487578f;
        auto s = [](float a, float b) { return T(a) + T(b); };
        if (!odd) {
            dst[0] = static_cast<float>(s(L[-1], L[1]) * l2 + T(L[0]) * l0 + s(H[-2], H[1]) * h3 + s(H[-1], H[0]) * h1);
            dst[1] = static_cast<float>(s(L[-1], L[2]) * l3 + s(L[0], L[1]) * l1 + s(H[-2], H[2]) * h4 +
                                        s(H[-1], H[1]) * h2 + T(H[0]) * h0);
        } else {
            dst[0] = static_cast<float>(s(L[-2], L[1]) * l3 + s(L[-1], L[0]) * l1 + s(H[-2], H[2]) * h4 +
                                        s(H[-1], H[1]) * h2 + T(H[0]) * h0);
            dst[1] = static_cast<float>(s(L[-1], L[1]) * l2 + T(L[0]) * l0 + s(H[-1], H[2]) * h3 + s(H[0], H[1]) * h1);
        }
    }
};

// The 16-bit fixed-point steps, one sample at a time.
struct FixSteps {
    using Sample = int16_t;
    using Work = int16_t;
    static void step1(int16_t* out, const int16_t* low, const int16_t* p, const int16_t* q, int32_t n) {
        for (int32_t i = 0; i < n; ++i)
            out[i] = j2k_rules::fix97::step1(low[i], p[i], q[i]);
    }
    static void step2(int16_t* out, const int16_t* high, const int16_t* p, const int16_t* q, int32_t n) {
        for (int32_t i = 0; i < n; ++i)
            out[i] = j2k_rules::fix97::step2(high[i], p[i], q[i]);
    }
    static void step3(int16_t* out, const int16_t* even, const int16_t* p, const int16_t* q, int32_t n) {
        for (int32_t i = 0; i < n; ++i)
            out[i] = j2k_rules::fix97::step3(even[i], p[i], q[i]);
    }
    static void step4(int16_t* out, const int16_t* odd, const int16_t* p, const int16_t* q, int32_t n) {
        for (int32_t i = 0; i < n; ++i)
            out[i] = j2k_rules::fix97::step4(odd[i], p[i], q[i]);
    }
    static void interleave(int16_t* dst, const int16_t* a, const int16_t* b, int32_t n) {
        for (int32_t i = 0; i < n; ++i) {
            dst[2 * i] = a[i];
            dst[2 * i + 1] = b[i];
        }
    }
    // Width 1: the synthesis taps in units of 1/65536, summed exactly, one rounding.
    static void direct(const int16_t* L, const int16_t* H, int16_t* dst, bool odd) {
        constexpr int64_t l0 = 73078, l1 = 38750, l2 = -3771, l3 = -5981;
        constexpr int64_t h0 = 39515, h1 = -17489, h2 = -5126, h3 = 1105, h4 = 1753;
        auto s = [](int16_t a, int16_t b) { return int64_t(a) + int64_t(b); };
        auto out = [](int64_t v) { return j2k_rules::sat16((v + 32768) >> 16); };
        if (!odd) {
            dst[0] = out(s(L[-1], L[1]) * l2 + L[0] * l0 + s(H[-2], H[1]) * h3 + s(H[-1], H[0]) * h1);
            dst[1] = out(s(L[-1], L[2]) * l3 + s(L[0], L[1]) * l1 + s(H[-2], H[2]) * h4 + s(H[-1], H[1]) * h2 + H[0] * h0);
        } else {
            dst[0] = out(s(L[-2], L[1]) * l3 + s(L[-1], L[0]) * l1 + s(H[-2], H[2]) * h4 + s(H[-1], H[1]) * h2 + H[0] * h0);
            dst[1] = out(s(L[-1], L[1]) * l2 + L[0] * l0 + s(H[-1], H[2]) * h3 + s(H[0], H[1]) * h1);
        }
    }
};

// One inverse row of w pairs. For output pairs [k0, k0+n) a chunk needs the
// step-1 values of positions k0-1 .. k0+n+1 (even phase; k0-2 .. k0+n in the
// odd phase) and the step-2 values of k0-1 .. k0+n; steps 3 and 4 then run in
// place over the two work rows.
template <class St, int Chunk>
void inverseRow(const typename St::Sample* L, const typename St::Sample* H, typename St::Sample* dst, int32_t w,
                bool odd) {
    if (w == 1) {
        St::direct(L, H, dst, odd);
        return;
    }
    typename St::Work a[Chunk + 3], b[Chunk + 2];
    for (int32_t k0 = 0; k0 < w; k0 += Chunk) {
        const int32_t n = w - k0 < Chunk ? w - k0 : Chunk;
        St::step1(a, L + k0 - 1 - (odd ? 1 : 0), H + k0 - 2, H + k0 - 1, n + 3);
        St::step2(b, H + k0 - 1, a, a + 1, n + 2);
        St::step3(a + 1, a + 1, b, b + 1, n + 1);
        St::step4(b + 1, b + 1, a + 1, a + 2, n);
        if (odd)
            St::interleave(dst + 2 * k0, b + 1, a + 2, n);
        else
            St::interleave(dst + 2 * k0, a + 1, b + 1, n);
    }
}

template <class St>
void inverseColumns(const typename St::Sample* low, const typename St::Sample* highAbove,
                    const typename St::Sample* highBelow, const typename St::Sample* evenFinished,
                    typename St::Sample* oddPending, typename St::Sample* evenPending, typename St::Sample* oddNew,
                    typename St::Sample* evenNew, int32_t w) {
    St::step1(evenNew, low, highAbove, highBelow, w);
    St::step2(oddNew, highAbove, evenPending, evenNew, w);
    St::step3(evenPending, evenPending, oddPending, oddNew, w);
    St::step4(oddPending, oddPending, evenFinished, evenPending, w);
}

// Width 1 of the forward row: the analysis filter taps around source sample c.
template <class T>
inline float lowTaps(const float* x) {
    auto s = [x](int d) { return T(x[-d]) + T(x[d]); };
    return static_cast<float>(T(0.6029490f) * T(x[0]) + T(0.26686412f) * s(1) + T(-0.078223266f) * s(2) +
                              T(-0.016864119f) * s(3) + T(0.026748758f) * s(4));
}
template <class T>
inline float highTaps(const float* x) {
    auto s = [x](int d) { return T(x[-d]) + T(x[d]); };
    return static_cast<float>(T(1.115087f) * T(x[0]) + T(-0.59127176f) * s(1) + T(-0.057543527f) * s(2) +
                              T(0.091271766f) * s(3));
}

// One forward row of w pairs. A chunk of n pairs de-interleaves n+4 even and
// n+3 odd positions, starting two pairs before it, and lifts them in place.
template <class Ar, int Chunk>
void forwardRow(const float* x, float* low, float* high, int32_t w, bool odd) {
    using T = typename Ar::Work;
    if (w == 1) {
        low[0] = lowTaps<T>(x + (odd ? 1 : 0));
        high[0] = highTaps<T>(x + (odd ? 0 : 1));
        return;
    }
    T e[Chunk + 4], o[Chunk + 3];
    for (int32_t k0 = 0; k0 < w; k0 += Chunk) {
        const int32_t n = w - k0 < Chunk ? w - k0 : Chunk;
        Ar::split(x + 2 * (k0 - 2) + (odd ? 1 : 0), e, o, n + 4, n + 3);
        Ar::addLift(o, o, e, e + 1, c::alpha, n + 3);
        Ar::addLift(e + 1, e + 1, o, o + 1, c::beta, n + 2);
        Ar::addLift(o + 1, o + 1, e + 1, e + 2, c::gamma, n + 1);
        Ar::addLift(e + 2, e + 2, o + 1, o + 2, c::delta, n);
        Ar::scale(high + k0, o + (odd ? 1 : 2), c::k, n);
        Ar::scale(low + k0, e + 2, c::invK, n);
    }
}

template <class Ar>
void forwardColumns(const float* in0, const float* in1, const float* in2, float* low, float* bNew, float* high,
                    float* cNew, float* aNew, int32_t w) {
    Ar::addLift(aNew, in1, in0, in2, c::alpha, w);
    Ar::addLift(bNew, in0, cNew, aNew, c::beta, w);
    Ar::addLift(cNew, cNew, low, bNew, c::gamma, w);
    Ar::addLift(low, low, high, cNew, c::delta, w);
    Ar::scale(low, low, c::invK, w);
    Ar::scale(high, high, c::k, w);
}

// Checks and row loops.
template <void (*Row)(const float*, float*, float*, int32_t, bool)>
int32_t forwardRows(const float* src, int32_t srcStep, float* low, int32_t lowStep, float* high, int32_t highStep,
                    int32_t width, int32_t height, int32_t phase) {
    using j2k_wavelet::rowAt;
    if (const int32_t s = j2k_wavelet::checkRows(src, low, high, srcStep, lowStep, highStep, width, height))
        return s;
    for (int32_t r = 0; r < height; ++r)
        Row(rowAt(src, srcStep, r), rowAt(low, lowStep, r), rowAt(high, highStep, r), width, phase != 0);
    return primNoErr;
}

template <class S, void (*Row)(const S*, const S*, S*, int32_t, bool)>
int32_t inverseRows(const S* low, int32_t lowStep, const S* high, int32_t highStep, int32_t width, int32_t height,
                    S* dst, int32_t dstStep, int32_t phase) {
    using j2k_wavelet::rowAt;
    if (const int32_t s = j2k_wavelet::checkRows(low, high, dst, lowStep, highStep, dstStep, width, height))
        return s;
    for (int32_t r = 0; r < height; ++r)
        Row(rowAt(low, lowStep, r), rowAt(high, highStep, r), rowAt(dst, dstStep, r), width, phase != 0);
    return primNoErr;
}

// Float chunk: two work rows of 515 and 514 values. 16-bit chunk: 1408 pairs.
constexpr int kFloatChunk = 512;
constexpr int kFixChunk = 1408;

} // namespace
} // namespace j2k97
