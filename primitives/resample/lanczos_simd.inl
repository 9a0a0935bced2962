// Lanczos-3 of one processor path (included by resample_simd.inl, after its
// helpers): the tap-weight generator, the row and column kernels that both
// resize engines share, the square-pixel and general-engine passes, the
// general engine's edge-clamping row kernels and the square-pixel border
// passes.
//
// Every product and every sum is one single-precision operation, in the
// order written here; the orders are part of the results. All paths compute
// the same orders, so paths 1-5 agree bit for bit; the one exception is the
// signed 16-bit column conversion (see lanczosSample).
//
// The one-sample row kernel chooses its summation order by the real address
// of each position's weight record (16-byte boundary or 8 bytes past one),
// so a run that starts at an odd column (the square-pixel interior after a
// one-column border, the general engine's interior run) sums as the whole
// row would.

namespace prim::VQ_PATH_NS {
namespace {

// ---------------------------------------------------------------------------
// Tap weights: six per fraction (taps -2 .. +3), linear interpolation in the
// shared kernel table, normalised by their sum. Taps -2 .. +1 go through
// one vector, taps +2 and +3 through the low half of a second.

void lanczos3WeightsKernel(const float* fractions, int32_t count, float* taps) {
    const float* table = lanczos3KernelTable;
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 two = _mm_set1_ps(2.0f), three = _mm_set1_ps(3.0f), hundred = _mm_set1_ps(100.0f);
    const __m128 offsets[2] = {_mm_setr_ps(0.0f, 1.0f, 2.0f, 3.0f), _mm_setr_ps(4.0f, 5.0f, 4.0f, 5.0f)};
    for (int32_t i = 0; i < count; ++i) {
        const __m128 base = _mm_sub_ps(_mm_set1_ps(-fractions[i]), two);
        __m128 raw[2];
        for (int h = 0; h < 2; ++h) {
            // Distance in table steps, capped at 3 (a tap 3 or more away
            // reads the zeros at 300 and 301).
            const __m128 d = _mm_min_ps(_mm_and_ps(_mm_add_ps(base, offsets[h]), absMask), three);
            const __m128 p = _mm_mul_ps(d, hundred);
            const __m128i n = _mm_cvttps_epi32(p);
            alignas(16) int32_t index[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(index), n);
            const __m128 lo = _mm_setr_ps(table[index[0]], table[index[1]], table[index[2]], table[index[3]]);
            const __m128 hi =
                _mm_setr_ps(table[index[0] + 1], table[index[1] + 1], table[index[2] + 1], table[index[3] + 1]);
            raw[h] = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(p, _mm_cvtepi32_ps(n)), _mm_sub_ps(hi, lo)), lo);
        }
        alignas(16) float w[8];
        _mm_store_ps(w, raw[0]);
        _mm_store_ps(w + 4, raw[1]);
        // Taps +1 before 0: the sum's order is part of the weights.
        float sum = 0.0f + w[0];
        sum = sum + w[1];
        sum = sum + w[3];
        sum = sum + w[2];
        sum = sum + w[4];
        sum = sum + w[5];
        const __m128 s = _mm_set1_ps(sum);
        float* out = taps + 6 * static_cast<ptrdiff_t>(i);
        _mm_storeu_ps(out, _mm_div_ps(raw[0], s));
        put64(out + 4, _mm_castps_si128(_mm_div_ps(raw[1], s)));
    }
}

// ---------------------------------------------------------------------------
// Column kernels: six work rows (taps -2 .. +3) and the destination row's
// six weights, sum = ((((q0 + q1) + q2) + q3) + q4) + q5 (from 0 on paths 4
// and 5, which changes nothing but the sign of a zero sum). Integer kinds
// add 0.50000012, truncate and saturate.

inline __m128 lanczosColumnSum4(const float* const* r, const __m128* w, int32_t n) {
#if VQ_PATH_LEVEL >= 4
    __m128 s = _mm_add_ps(_mm_setzero_ps(), _mm_mul_ps(_mm_loadu_ps(r[0] + n), w[0]));
#else
    __m128 s = _mm_mul_ps(_mm_loadu_ps(r[0] + n), w[0]);
#endif
    for (int k = 1; k < 6; ++k)
        s = _mm_add_ps(s, _mm_mul_ps(_mm_loadu_ps(r[k] + n), w[k]));
    return s;
}

inline float lanczosColumnSum1(const float* const* r, const float* w, int32_t n) {
#if VQ_PATH_LEVEL >= 4
    float s = 0.0f + r[0][n] * w[0];
#else
    float s = r[0][n] * w[0];
#endif
    for (int k = 1; k < 6; ++k)
        s = s + r[k][n] * w[k];
    return s;
}

// Signed 16-bit results: paths 4 and 5 truncate s + 0.50000012 for every
// sum (a negative sum rounds toward zero); paths 1-3 subtract the offset
// from negative sums, so halves round away from zero on both sides.
constexpr bool kSignedHalfUp = VQ_PATH_LEVEL >= 4;

template <class T> inline T lanczosSample(float s) {
    if constexpr (std::is_same_v<T, int16_t>) {
        if constexpr (kSignedHalfUp) {
            const int32_t n = truncateFloat(s + kHalfUp);
            return static_cast<int16_t>(n < -32768 ? -32768 : n > 32767 ? 32767 : n);
        } else {
            return cubicSample<int16_t>(s);
        }
    } else {
        return cubicSample<T>(s);
    }
}

// Four sums converted into out[0..3].
template <class T> inline void lanczosSamples4(__m128 s, T* out) {
    if constexpr (std::is_same_v<T, float>) {
        _mm_storeu_ps(out, s);
    } else if constexpr (std::is_same_v<T, uint8_t>) {
        const __m128i v = _mm_packs_epi32(truncateHalfUp(s, false), _mm_setzero_si128());
        store4(out, uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v, v))));
    } else if constexpr (std::is_same_v<T, uint16_t>) {
        put64(out, saturate16u(truncateHalfUp(s, false)));
    } else {
        const __m128i v = truncateHalfUp(s, !kSignedHalfUp);
        put64(out, _mm_packs_epi32(v, v));
    }
}

template <class T>
void lanczosColumnKernel(void* dstV, int32_t count, const float* w, const float* r0, const float* r1, const float* r2,
                         const float* r3, const float* r4, const float* r5) {
    T* dst = static_cast<T*>(dstV);
    const float* const r[6] = {r0, r1, r2, r3, r4, r5};
    __m128 wv[6];
    for (int k = 0; k < 6; ++k)
        wv[k] = _mm_set1_ps(w[k]);
    int32_t n = 0;
    for (; n + 4 <= count; n += 4)
        lanczosSamples4<T>(lanczosColumnSum4(r, wv, n), dst + n);
    for (; n < count; ++n)
        dst[n] = lanczosSample<T>(lanczosColumnSum1(r, w, n));
}

// Three of four samples: work value m = 3 p + c goes to sample c of pixel p;
// sample 3 of every pixel is never written.
template <class T>
void lanczosColumnKernelAC4(void* dstV, int32_t pixels, const float* w, const float* r0, const float* r1,
                            const float* r2, const float* r3, const float* r4, const float* r5) {
    T* dst = static_cast<T*>(dstV);
    const float* const r[6] = {r0, r1, r2, r3, r4, r5};
    __m128 wv[6];
    for (int k = 0; k < 6; ++k)
        wv[k] = _mm_set1_ps(w[k]);
    const int32_t values = pixels > 0 ? 3 * pixels : 0;
    int32_t m = 0;
    for (; m + 4 <= values; m += 4) {
        T four[4];
        lanczosSamples4<T>(lanczosColumnSum4(r, wv, m), four);
        for (int k = 0; k < 4; ++k)
            dst[4 * ((m + k) / 3) + (m + k) % 3] = four[k];
    }
    for (; m < values; ++m)
        dst[4 * (m / 3) + m % 3] = lanczosSample<T>(lanczosColumnSum1(r, w, m));
}

// ---------------------------------------------------------------------------
// Row kernels: one source row into a work row, every tap inside the row.
//
// One sample: the six products q0..q5 of a position are summed as
//   ((q0 + q4) + q2) + ((q1 + q5) + q3) when its weight record starts on a
//     16-byte boundary, and for the last position of an odd count;
//   ((q0 + q2) + q4) + ((q1 + q3) + q5) when it starts 8 bytes past one.
// Reads exactly the six samples of each position.

// Two samples at p in lanes 0 and 1 (lanes 2 and 3 zero), converted exactly.
inline __m128 taps2(const uint8_t* p) {
    uint16_t v;
    __builtin_memcpy(&v, p, 2);
    const __m128i z = _mm_setzero_si128();
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(v), z), z));
}
inline __m128 taps2(const uint16_t* p) {
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_cvtsi32_si128(int(load32(p))), _mm_setzero_si128()));
}
inline __m128 taps2(const int16_t* p) {
    const __m128i v = _mm_cvtsi32_si128(int(load32(p)));
    return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16));
}
inline __m128 taps2(const float* p) {
    double v;
    __builtin_memcpy(&v, p, 8);
    return _mm_castpd_ps(_mm_set_sd(v));
}

template <class T>
void lanczosRowC1(const T* row, const int32_t* co, const float* cw, float* out, int32_t count) {
    for (int32_t j = 0; j < count; ++j) {
        const T* p = row + co[j] - 2;
        const float* w = cw + 6 * static_cast<ptrdiff_t>(j);
        // Products of taps -2 .. +1 and of taps +2, +3 (lanes 2, 3 zero).
        const __m128 q = _mm_mul_ps(taps4(p), _mm_loadu_ps(w));
        const __m128 r = _mm_mul_ps(taps2(p + 4), taps2(w + 4));
        const bool firstOrder = aligned16(w) || ((count & 1) != 0 && j == count - 1);
        __m128 eo; // lane 0 the even taps' sum, lane 1 the odd taps'
        if (firstOrder) {
            // (q0 + q4, q1 + q5, q2, q3), then lanes 0 + 2 and 1 + 3.
            const __m128 a = _mm_shuffle_ps(_mm_add_ps(q, r), q, _MM_SHUFFLE(3, 2, 1, 0));
            eo = _mm_add_ps(a, _mm_movehl_ps(a, a));
        } else {
            // (q0 + q2, q1 + q3), then + (q4, q5).
            eo = _mm_add_ps(_mm_add_ps(q, _mm_movehl_ps(q, q)), r);
        }
        out[j] = _mm_cvtss_f32(_mm_add_ss(eo, _mm_shuffle_ps(eo, eo, _MM_SHUFFLE(1, 1, 1, 1))));
    }
}

// Pixels of N samples (3 at stride `next`, or 4 at 4), one pixel per step,
// every sample of a tap pixel in one lane:
//   ((q0 + q1) + (q2 + q3)) + (q4 + q5).
// The last tap of three-sample pixels at stride 3 is read as exactly three
// samples, so nothing past the last tap pixel is read.
template <class T, int N>
void lanczosRowPixel(const T* row, int32_t next, const int32_t* co, const float* cw, float* out, int32_t count) {
    for (int32_t j = 0; j < count; ++j) {
        const T* a = row + co[j];
        const float* w = cw + 6 * static_cast<ptrdiff_t>(j);
        __m128 q[6];
        for (int k = 0; k < 5; ++k)
            q[k] = _mm_mul_ps(taps4(a + (k - 2) * static_cast<ptrdiff_t>(next)), _mm_set1_ps(w[k]));
        const T* last = a + 3 * static_cast<ptrdiff_t>(next);
        q[5] = _mm_mul_ps(N == 3 && next == 3 ? taps3(last) : taps4(last), _mm_set1_ps(w[5]));
        const __m128 v =
            _mm_add_ps(_mm_add_ps(_mm_add_ps(q[0], q[1]), _mm_add_ps(q[2], q[3])), _mm_add_ps(q[4], q[5]));
        if (N == 4 || j + 1 < count) {
            _mm_storeu_ps(out + N * static_cast<ptrdiff_t>(j), v); // a 3-sample lane 3 is rewritten next
        } else {
            alignas(16) float lanes[4];
            _mm_store_ps(lanes, v);
            for (int c = 0; c < 3; ++c)
                out[3 * static_cast<ptrdiff_t>(j) + c] = lanes[c];
        }
    }
}

// The row kernel of a layout: one sample, 3 samples at `next`, 4 samples.
template <class T> inline void lanczosRow(int channels, const T* row, int32_t next, const int32_t* co, const float* cw,
                                          float* out, int32_t count) {
    if (count <= 0)
        return;
    if (channels == 1)
        lanczosRowC1(row, co, cw, out, count);
    else if (channels == 3)
        lanczosRowPixel<T, 3>(row, next, co, cw, out, count);
    else
        lanczosRowPixel<T, 4>(row, 4, co, cw, out, count);
}

// ---------------------------------------------------------------------------
// General-engine row kernel: taps outside the image (columns -roiX ..
// widthToEdge - 1, counted from the region's left column) read the edge
// column; the taps that land on it have their weights added first. Only
// the columns on the two leftmost and three rightmost image columns are
// computed here, as M x edge + S with S in the order written; the run
// between goes to the row kernel above in one call.

template <class T>
void genLanczosRowKernel(int channels, const T* row, int32_t next, const int32_t* co, const float* cw, float* out,
                         int32_t count, int32_t roiX, int32_t widthToEdge) {
    const ptrdiff_t stride = channels == 1 ? 1 : next;
    const int32_t last = widthToEdge - 1;
    auto tap0 = [&](int32_t j) { return static_cast<int32_t>(co[j] / stride); };
    auto s = [&](int32_t x, int c) { return toFloat(row[x * stride + c]); };
    int32_t j = 0;
    for (; j < count; ++j) {
        const int32_t t = tap0(j);
        const float* w = cw + 6 * static_cast<ptrdiff_t>(j);
        float* o = out + static_cast<ptrdiff_t>(j) * channels;
        if (roiX == 0 && t == 0) {
            const float m = (w[0] + w[1]) + w[2];
            for (int c = 0; c < channels; ++c)
                o[c] = m * s(0, c) + ((w[3] * s(1, c) + w[5] * s(3, c)) + w[4] * s(2, c));
        } else if ((roiX == 0 && t == 1) || (roiX == 1 && t == 0)) {
            const float m = w[0] + w[1];
            for (int c = 0; c < channels; ++c)
                o[c] = m * s(t - 1, c) +
                       (((w[2] * s(t, c) + w[3] * s(t + 1, c)) + w[5] * s(t + 3, c)) + w[4] * s(t + 2, c));
        } else {
            break;
        }
    }
    int32_t end = j;
    while (end < count && tap0(end) < widthToEdge - 3)
        ++end;
    lanczosRow(channels, row, static_cast<int32_t>(next), co + j, cw + 6 * static_cast<ptrdiff_t>(j),
               out + static_cast<ptrdiff_t>(j) * channels, end - j);
    for (j = end; j < count; ++j) {
        const int32_t t = tap0(j);
        const float* w = cw + 6 * static_cast<ptrdiff_t>(j);
        float* o = out + static_cast<ptrdiff_t>(j) * channels;
        for (int c = 0; c < channels; ++c) {
            const float a = w[0] * s(t - 2, c), b = w[1] * s(t - 1, c);
            if (t == widthToEdge - 3)
                o[c] = (w[5] + w[4]) * s(last, c) + (((a + b) + w[2] * s(t, c)) + w[3] * s(t + 1, c));
            else if (t == widthToEdge - 2)
                o[c] = ((w[3] + w[5]) + w[4]) * s(last, c) + ((a + b) + w[2] * s(t, c));
            else
                o[c] = (((w[2] + w[3]) + w[5]) + w[4]) * s(last, c) + (a + b);
        }
    }
}

// ---------------------------------------------------------------------------
// Passes.

// Square-pixel interior: the ring of six work rows over taps the body
// keeps inside the source.
template <class T, bool Plane>
void sqLanczosPassKernel(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height,
                         const int32_t* rowOffsets, const int32_t* colOffsets, const float* rowTaps,
                         const float* colTaps, float* w0, float* w1, float* w2, float* w3, float* w4, float* w5,
                         int32_t pixelStride, int32_t channelCount) {
    if (width <= 0 || height <= 0)
        return;
    const T* s = static_cast<const T*>(src);
    T* d = static_cast<T*>(dst);
    const prim::resample::PassLayout layout(Plane, pixelStride, channelCount);
    float* const work[6] = {w0, w1, w2, w3, w4, w5};
    prim::resample::ringPass<6>(
        srcStep, height, rowOffsets, work,
        [&](int32_t offset, float* out) {
            lanczosRow(layout.channels, s + offset, layout.next, colOffsets, colTaps, out, width);
        },
        [&](int32_t i, float* const* r) {
            T* drow = d + static_cast<ptrdiff_t>(i) * dstStep;
            const float* w = rowTaps + 6 * static_cast<ptrdiff_t>(i);
            if (layout.threeOfFour)
                lanczosColumnKernelAC4<T>(drow, width, w, r[0], r[1], r[2], r[3], r[4], r[5]);
            else
                lanczosColumnKernel<T>(drow, width * layout.channels, w, r[0], r[1], r[2], r[3], r[4], r[5]);
        });
}

// General engine: the whole destination region, source rows clamped to the
// image (rows -roiY .. heightToEdge - 1 from the region's top row). The
// window holds the filtered rows j - 2 .. j + 3 of the current tap-0 row j
// in roles 0 .. 5; roles move between buffers, rows are never moved.
// A row the window needs twice (an edge row replicated) is copied, not
// filtered again, where it is already held: in the first window and, while
// the window advances one row at a time, at the bottom edge.
template <class T, bool Plane>
void genLanczosPassKernel(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height,
                          const int32_t* rowOffsets, const int32_t* colOffsets, const float* rowTaps,
                          const float* colTaps, float* w0, float* w1, float* w2, float* w3, float* w4, float* w5,
                          int32_t roiX, int32_t roiY, int32_t widthToEdge, int32_t heightToEdge,
                          int32_t singleRowAdvance, int32_t pixelStride, int32_t channelCount) {
    if (width <= 0 || height <= 0)
        return;
    const T* s = static_cast<const T*>(src);
    T* d = static_cast<T*>(dst);
    const prim::resample::PassLayout layout(Plane, pixelStride, channelCount);
    const size_t rowBytes = sizeof(float) * static_cast<size_t>(width) * static_cast<size_t>(layout.channels);
    auto rowOf = [&](int32_t offset) { return srcStep != 0 ? offset / srcStep : 0; };
    auto clampRow = [&](int32_t j) { return j < -roiY ? -roiY : j > heightToEdge - 1 ? heightToEdge - 1 : j; };
    auto filter = [&](int32_t j, float* out) {
        genLanczosRowKernel(layout.channels, s + static_cast<ptrdiff_t>(j) * srcStep, layout.next, colOffsets,
                            colTaps, out, width, roiX, widthToEdge);
    };

    // The first window, one row short of the first tap-0 row j0: roles 1 .. 5
    // hold rows j0 - 2 .. j0 + 2, each clamped; role 0 is free.
    float* win[6] = {w0, w1, w2, w3, w4, w5};
    const int32_t j0 = rowOf(rowOffsets[0]);
    static constexpr int kFillOrder[5] = {3, 4, 5, 2, 1};
    int32_t held[6] = {};
    for (int f = 0; f < 5; ++f) {
        const int role = kFillOrder[f];
        held[role] = clampRow(j0 + role - 3);
        int from = -1;
        for (int g = 0; g < f; ++g)
            if (held[kFillOrder[g]] == held[role])
                from = kFillOrder[g];
        if (from >= 0)
            __builtin_memcpy(win[role], win[from], rowBytes);
        else
            filter(held[role], win[role]);
    }

    int32_t last = srcStep > 0 ? rowOffsets[0] - 1 : rowOffsets[0] + 1;
    for (int32_t i = 0; i < height; ++i) {
        const int32_t r = rowOffsets[i];
        const int k = prim::resample::ringAdvance(r, last, srcStep, 6);
        if (k > 0) {
            const int32_t j = rowOf(r);
            float* moved[6];
            for (int t = 0; t < 6; ++t)
                moved[t] = win[(t + k) % 6];
            if (singleRowAdvance != 0 && k == 1) {
                // The free buffer takes row j + 3, or a copy of the previous
                // tap +3 row, which already holds the last image row.
                if (j + 3 <= heightToEdge - 1)
                    filter(j + 3, moved[5]);
                else
                    __builtin_memcpy(moved[5], win[5], rowBytes);
            } else {
                for (int t = 5; t >= 6 - k; --t)
                    filter(clampRow(j + t - 2), moved[t]);
            }
            for (int t = 0; t < 6; ++t)
                win[t] = moved[t];
            last = r;
        }
        T* drow = d + static_cast<ptrdiff_t>(i) * dstStep;
        const float* w = rowTaps + 6 * static_cast<ptrdiff_t>(i);
        if (layout.threeOfFour)
            lanczosColumnKernelAC4<T>(drow, width, w, win[0], win[1], win[2], win[3], win[4], win[5]);
        else
            lanczosColumnKernel<T>(drow, width * layout.channels, w, win[0], win[1], win[2], win[3], win[4], win[5]);
    }
}

// ---------------------------------------------------------------------------
// Square-pixel border passes: the frame of rows and columns whose taps leave
// the source image, taps repeating the image's edge samples. The counts
// (t1 b1 l1 r1: positions below 0 or at / past the last sample; t2 ...:
// below 1 or from the second-to-last; t3 ...: below 2 or from the
// third-to-last) split every side in three classes.
//
// Top rows read fixed source rows with the weights of the taps on row 0
// added first; the side columns of the rows between read fixed columns
// with the weights of the taps on the edge column added first; top and
// bottom rows clamp each column's six taps and keep six products.
//
// Summation orders (single precision, each operation rounded):
//   planes:  row sums from tap -2 up, a merged product in the place of its
//            lowest tap on the left and of its highest on the right;
//            vertical sums ((((q1 + q2) + q3) + q5) + q4) + q0, but from
//            tap -2 up for the side columns on source column 1;
//   pixels:  row sums from tap +3 down, the row of vertical tap -1 in the
//            order taps -1, 0, +1, +3, +2, -2 (a merged product in the place
//            of tap -2 or +3 that it contains); vertical sums as planes'
//            but always in the first order.
//   top rows of both: the rows on source rows 1.. in that vertical order,
//            then source row 0 with its merged weight.
// Results: the float sum widened to double, rounded as the generic path
// rounds (signed halves away from zero), saturated.

template <class T, bool Plane>
void sqBorderLanczosKernel(const void* srcV, void* dstV, int32_t srcStep, int32_t dstStep, int32_t srcWidth,
                           int32_t srcHeight, int32_t width, int32_t height, const int32_t* rowOffsets,
                           const int32_t* colOffsets, const float* colTaps, const float* rowTaps, int32_t topOut,
                           int32_t bottomOut, int32_t leftOut, int32_t rightOut, int32_t topEdge, int32_t bottomEdge,
                           int32_t leftEdge, int32_t rightEdge, int32_t top, int32_t bottom, int32_t left,
                           int32_t right, int32_t pixelStride, int32_t channels) {
    const T* src = static_cast<const T*>(srcV);
    T* dst = static_cast<T*>(dstV);
    const int32_t n = Plane ? 1 : channels == 3 ? 3 : 4;
    const ptrdiff_t px = Plane ? 1 : channels == 3 ? pixelStride : 4;
    const int32_t W = srcWidth, H = srcHeight;
    auto at = [&](int32_t row, int32_t col, int32_t c) {
        return toFloat(src[static_cast<ptrdiff_t>(row) * srcStep + col * px + c]);
    };
    auto put = [&](int32_t i, int32_t j, int32_t c, float v) {
        dst[static_cast<ptrdiff_t>(i) * dstStep + j * px + c] = prim::resample::toSample<T>(double(v));
    };
    auto rowOf = [&](int32_t offset) { return srcStep != 0 ? offset / srcStep : 0; };
    // Vertical sums of the six weighted row sums q0..q5.
    auto mixed = [](const float* q) { return ((((q[1] + q[2]) + q[3]) + q[5]) + q[4]) + q[0]; };
    auto rising = [](const float* q) { return ((((q[0] + q[1]) + q[2]) + q[3]) + q[4]) + q[5]; };

    // Six clamped column taps of a top or bottom row's column.
    auto tapColumns = [&](int32_t j, int32_t* k) {
        const int32_t x = static_cast<int32_t>(colOffsets[j] / px);
        int32_t base;
        if (x < 0) {
            const int32_t v[6] = {0, 0, 0, 0, 1, 2};
            for (int t = 0; t < 6; ++t)
                k[t] = v[t];
            return;
        }
        if (x >= W - 1)
            base = W - 1;
        else
            base = x;
        for (int t = 0; t < 6; ++t) {
            const int32_t c = base - 2 + t;
            k[t] = c < 0 ? 0 : c > W - 1 ? W - 1 : c;
        }
    };
    // Row sum over six own-weight taps: planes from tap -2 up; pixels from
    // tap +3 down, or in the mixed order for the row of vertical tap -1.
    auto tapsSum = [&](int32_t row, const int32_t* k, const float* w, int32_t c, bool tapMinusOne) {
        float p[6];
        for (int t = 0; t < 6; ++t)
            p[t] = at(row, k[t], c) * w[t];
        if (Plane)
            return ((((p[0] + p[1]) + p[2]) + p[3]) + p[4]) + p[5];
        if (tapMinusOne)
            return ((((p[1] + p[2]) + p[3]) + p[5]) + p[4]) + p[0];
        return ((((p[5] + p[4]) + p[3]) + p[2]) + p[1]) + p[0];
    };

    // 1. Top rows, every column, fixed source rows.
    for (int32_t i = 0; i < top; ++i) {
        const float* wy = rowTaps + 6 * static_cast<ptrdiff_t>(i);
        const int cls = i < topOut ? 0 : i < topEdge ? 1 : 2; // tap-0 row -1, 0, 1
        for (int32_t j = 0; j < width; ++j) {
            const float* wx = colTaps + 6 * static_cast<ptrdiff_t>(j);
            int32_t k[6];
            tapColumns(j, k);
            for (int32_t c = 0; c < n; ++c) {
                auto R = [&](int32_t row) { return tapsSum(row, k, wx, c, false); };
                float v;
                if (cls == 0)
                    v = (R(1) * wy[4] + R(2) * wy[5]) + R(0) * (((wy[0] + wy[1]) + wy[2]) + wy[3]);
                else if (cls == 1)
                    v = ((R(1) * wy[3] + R(3) * wy[5]) + R(2) * wy[4]) + R(0) * ((wy[0] + wy[1]) + wy[2]);
                else
                    v = (((R(1) * wy[2] + R(2) * wy[3]) + R(4) * wy[5]) + R(3) * wy[4]) + R(0) * (wy[0] + wy[1]);
                put(i, j, c, v);
            }
        }
    }

    // 2 and 3. Side columns of the rows between, fixed source columns.
    const int32_t middleEnd = height - bottom;
    // Row sum of a side column of class `cls` (0 outside, 1 on the edge
    // column, 2 on the next; left or right) with merged edge weights.
    auto sideSum = [&](int32_t row, const float* w, int32_t c, bool leftSide, int cls, bool tapMinusOne) {
        auto s = [&](int32_t col) { return at(row, col, c); };
        if (leftSide) {
            if (cls == 0) {
                const float m = ((w[0] + w[1]) + w[2]) + w[3];
                if (Plane)
                    return (s(0) * m + s(1) * w[4]) + s(2) * w[5];
                return (s(2) * w[5] + s(1) * w[4]) + s(0) * m;
            }
            if (cls == 1) {
                const float m = (w[0] + w[1]) + w[2];
                if (Plane)
                    return ((s(0) * m + s(1) * w[3]) + s(2) * w[4]) + s(3) * w[5];
                if (tapMinusOne)
                    return ((s(1) * w[3] + s(3) * w[5]) + s(2) * w[4]) + s(0) * m;
                return ((s(3) * w[5] + s(2) * w[4]) + s(1) * w[3]) + s(0) * m;
            }
            const float m = w[0] + w[1];
            if (Plane)
                return (((s(0) * m + s(1) * w[2]) + s(2) * w[3]) + s(3) * w[4]) + s(4) * w[5];
            if (tapMinusOne)
                return (((s(1) * w[2] + s(2) * w[3]) + s(4) * w[5]) + s(3) * w[4]) + s(0) * m;
            return (((s(4) * w[5] + s(3) * w[4]) + s(2) * w[3]) + s(1) * w[2]) + s(0) * m;
        }
        if (cls == 0) {
            const float m = ((w[2] + w[3]) + w[4]) + w[5];
            if (Plane || !tapMinusOne)
                return Plane ? (s(W - 3) * w[0] + s(W - 2) * w[1]) + s(W - 1) * m
                             : (s(W - 1) * m + s(W - 2) * w[1]) + s(W - 3) * w[0];
            return (s(W - 2) * w[1] + s(W - 1) * m) + s(W - 3) * w[0];
        }
        if (cls == 1) {
            const float m = (w[3] + w[4]) + w[5];
            if (Plane)
                return ((s(W - 4) * w[0] + s(W - 3) * w[1]) + s(W - 2) * w[2]) + s(W - 1) * m;
            if (tapMinusOne)
                return ((s(W - 3) * w[1] + s(W - 2) * w[2]) + s(W - 1) * m) + s(W - 4) * w[0];
            return ((s(W - 1) * m + s(W - 2) * w[2]) + s(W - 3) * w[1]) + s(W - 4) * w[0];
        }
        const float m = w[4] + w[5];
        if (Plane)
            return (((s(W - 5) * w[0] + s(W - 4) * w[1]) + s(W - 3) * w[2]) + s(W - 2) * w[3]) + s(W - 1) * m;
        if (tapMinusOne)
            return (((s(W - 4) * w[1] + s(W - 3) * w[2]) + s(W - 2) * w[3]) + s(W - 1) * m) + s(W - 5) * w[0];
        return (((s(W - 1) * m + s(W - 2) * w[3]) + s(W - 3) * w[2]) + s(W - 4) * w[1]) + s(W - 5) * w[0];
    };
    auto side = [&](int32_t i, int32_t j, bool leftSide, int cls) {
        const float* wy = rowTaps + 6 * static_cast<ptrdiff_t>(i);
        const float* wx = colTaps + 6 * static_cast<ptrdiff_t>(j);
        const int32_t fy = rowOf(rowOffsets[i]);
        for (int32_t c = 0; c < n; ++c) {
            float q[6];
            for (int t = 0; t < 6; ++t)
                q[t] = sideSum(fy - 2 + t, wx, c, leftSide, cls, t == 1) * wy[t];
            put(i, j, c, Plane && leftSide && cls == 2 ? rising(q) : mixed(q));
        }
    };
    for (int32_t i = top; i < middleEnd; ++i)
        for (int32_t j = 0; j < left; ++j)
            side(i, j, true, j < leftOut ? 0 : j < leftEdge ? 1 : 2);
    for (int32_t i = top; i < middleEnd; ++i)
        for (int32_t j = width - right; j < width; ++j)
            side(i, j, false, j >= width - rightOut ? 0 : j >= width - rightEdge ? 1 : 2);

    // 4. Bottom rows, every column, tap rows clamped to the last row, each
    // with its own weight.
    for (int32_t i = middleEnd > top ? middleEnd : top; i < height; ++i) {
        const float* wy = rowTaps + 6 * static_cast<ptrdiff_t>(i);
        const int32_t fy = rowOf(rowOffsets[i]);
        const int32_t base = fy >= H - 1 ? H - 1 : fy >= H - 2 ? H - 2 : H - 3;
        int32_t rows[6];
        for (int t = 0; t < 6; ++t)
            rows[t] = base - 2 + t > H - 1 ? H - 1 : base - 2 + t;
        for (int32_t j = 0; j < width; ++j) {
            const float* wx = colTaps + 6 * static_cast<ptrdiff_t>(j);
            int32_t k[6];
            tapColumns(j, k);
            for (int32_t c = 0; c < n; ++c) {
                float q[6];
                for (int t = 0; t < 6; ++t)
                    q[t] = tapsSum(rows[t], k, wx, c, t == 1) * wy[t];
                put(i, j, c, mixed(q));
            }
        }
    }
}

} // namespace
} // namespace prim::VQ_PATH_NS
