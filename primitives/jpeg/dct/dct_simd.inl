// The forms of processor paths 1 to 5, included inside each path's namespace
// (compiled with that path's flags; SSE2 instructions only). The transforms
// are the 16-bit lane factorisation: eight columns at once in saturating
// 16-bit arithmetic, rows through 32-bit sums with per-row-class weights.

namespace {

inline __m128i load8x16(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store8x16(int16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline __m128i mulhi(__m128i a, int16_t k) { return _mm_mulhi_epi16(a, _mm_set1_epi16(k)); }
inline __m128i orOne(__m128i a) { return _mm_or_si128(a, _mm_set1_epi16(1)); }

// Row class of row k: 0 for rows 0 and 4, 1 for 1 and 7, 2 for 2 and 6, 3
// for 3 and 5.
constexpr int32_t kRowClass[8] = {0, 1, 2, 3, 0, 3, 2, 1};

// The seven weights of each row class: the integer nearest to 2^14 g k_i,
// k_i = sqrt(2) cos(i pi / 16), k_4 = 1 (index 0 unused).
constexpr int32_t kClassWeights[4][8] = {
    {0, 22725, 21407, 19266, 16384, 12873, 8867, 4520},
    {0, 31521, 29692, 26722, 22725, 17855, 12299, 6270},
    {0, 29692, 27969, 25172, 21407, 16819, 11585, 5906},
    {0, 26722, 25172, 22654, 19266, 15137, 10426, 5315},
};

// Forward row weight of output u and input pair n in class g: the class's
// weight of cos((2n + 1) u pi / 16) with its sign; u = 0 takes W4.
inline int32_t forwardWeight(int32_t g, int32_t u, int32_t n) {
    if (u == 0) return kClassWeights[g][4];
    int32_t a = ((2 * n + 1) * u) % 32;
    if (a > 16) a = 32 - a;
    int32_t sign = 1;
    if (a > 8) {
        a = 16 - a;
        sign = -1;
    }
    return a == 8 ? 0 : sign * kClassWeights[g][a];
}

void forwardKernel(const int16_t* src, int16_t* dst) {
    // Column pass: row n of the block is the vector of x_n of all columns.
    __m128i x[8];
    for (int32_t n = 0; n < 8; ++n) x[n] = load8x16(src + 8 * n);
    __m128i s[4], d[4];
    for (int32_t n = 0; n < 4; ++n) {
        s[n] = _mm_adds_epi16(x[n], x[7 - n]);
        d[n] = _mm_subs_epi16(x[n], x[7 - n]);
    }
    const __m128i s1 = _mm_slli_epi16(s[1], 3), s2 = _mm_slli_epi16(s[2], 3);
    const __m128i a = _mm_subs_epi16(s1, s2), b = _mm_adds_epi16(s1, s2);
    const __m128i e = _mm_slli_epi16(_mm_subs_epi16(s[0], s[3]), 3);
    const __m128i f = _mm_slli_epi16(_mm_adds_epi16(s[0], s[3]), 3);
    __m128i K[8];
    K[0] = _mm_adds_epi16(f, b);
    K[4] = _mm_subs_epi16(f, b);
    K[2] = orOne(_mm_adds_epi16(mulhi(a, 27146), e));
    K[6] = orOne(_mm_subs_epi16(mulhi(e, 27146), a));
    const __m128i d1 = _mm_slli_epi16(d[1], 4), d2 = _mm_slli_epi16(d[2], 4);
    const __m128i p = orOne(mulhi(_mm_adds_epi16(d1, d2), 23170));
    const __m128i q = mulhi(_mm_subs_epi16(d1, d2), 23170);
    const __m128i d0 = _mm_slli_epi16(d[0], 3), d3 = _mm_slli_epi16(d[3], 3);
    const __m128i g = _mm_adds_epi16(d0, p), h = _mm_subs_epi16(d0, p);
    const __m128i u = _mm_adds_epi16(d3, q), v = _mm_subs_epi16(d3, q);
    K[1] = orOne(_mm_adds_epi16(mulhi(u, 13036), g));
    K[7] = _mm_subs_epi16(mulhi(g, 13036), u);
    K[3] = _mm_subs_epi16(h, _mm_adds_epi16(mulhi(v, -21746), v));
    K[5] = _mm_adds_epi16(_mm_adds_epi16(mulhi(h, -21746), h), v);
    alignas(16) int16_t mid[64];
    for (int32_t k = 0; k < 8; ++k) _mm_store_si128(reinterpret_cast<__m128i*>(mid + 8 * k), K[k]);
    // Row pass: 32-bit sums of the class weights.
    for (int32_t k = 0; k < 8; ++k) {
        const int16_t* y = mid + 8 * k;
        const int32_t cls = kRowClass[k];
        int32_t rs[4], rd[4];
        for (int32_t n = 0; n < 4; ++n) {
            rs[n] = jpeg_dct::sat16(y[n] + y[7 - n]);
            rd[n] = jpeg_dct::sat16(y[n] - y[7 - n]);
        }
        for (int32_t out = 0; out < 8; ++out) {
            const int32_t* in = (out & 1) ? rd : rs;
            int32_t acc = 0;
            for (int32_t n = 0; n < 4; ++n) acc += forwardWeight(cls, out, n) * in[n];
            dst[8 * k + out] = jpeg_dct::sat16((acc + (1 << 19)) >> 20);
        }
    }
}

// Rounders of the inverse row pass, by row.
constexpr int32_t kInverseRounders[8] = {65536, 2901, 2260, 1704, 1024, 455, 512, 373};

inline int16_t sat16w(int64_t v) { return jpeg_dct::sat16(static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : v))); }

void inverseKernel(const int16_t* src, int16_t* dst) {
    alignas(16) int16_t w[64];
    for (int32_t r = 0; r < 8; ++r) {
        const int16_t* x = src + 8 * r;
        const int32_t* W = kClassWeights[kRowClass[r]];
        // 32-bit sums that wrap, as the pairwise multiply-adds give them.
        auto wrap = [](int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); };
        const int64_t R = kInverseRounders[r];
        const int32_t a[4] = {
            wrap(int64_t{W[4]} * x[0] + int64_t{W[2]} * x[2] + int64_t{W[4]} * x[4] + int64_t{W[6]} * x[6] + R),
            wrap(int64_t{W[4]} * x[0] + int64_t{W[6]} * x[2] - int64_t{W[4]} * x[4] - int64_t{W[2]} * x[6] + R),
            wrap(int64_t{W[4]} * x[0] - int64_t{W[6]} * x[2] - int64_t{W[4]} * x[4] + int64_t{W[2]} * x[6] + R),
            wrap(int64_t{W[4]} * x[0] - int64_t{W[2]} * x[2] + int64_t{W[4]} * x[4] - int64_t{W[6]} * x[6] + R)};
        const int32_t b[4] = {
            wrap(int64_t{W[1]} * x[1] + int64_t{W[3]} * x[3] + int64_t{W[5]} * x[5] + int64_t{W[7]} * x[7]),
            wrap(int64_t{W[3]} * x[1] - int64_t{W[7]} * x[3] - int64_t{W[1]} * x[5] - int64_t{W[5]} * x[7]),
            wrap(int64_t{W[5]} * x[1] - int64_t{W[1]} * x[3] + int64_t{W[7]} * x[5] + int64_t{W[3]} * x[7]),
            wrap(int64_t{W[7]} * x[1] - int64_t{W[5]} * x[3] + int64_t{W[3]} * x[5] - int64_t{W[1]} * x[7])};
        for (int32_t k = 0; k < 4; ++k) {
            w[8 * r + k] = sat16w(wrap(int64_t{a[k]} + b[k]) >> 11);
            w[8 * r + 7 - k] = sat16w(wrap(int64_t{a[k]} - b[k]) >> 11);
        }
    }
    // Column pass over all eight columns at once, saturating 16-bit steps.
    __m128i v[8];
    for (int32_t n = 0; n < 8; ++n) v[n] = _mm_load_si128(reinterpret_cast<const __m128i*>(w + 8 * n));
    const __m128i tp = _mm_adds_epi16(_mm_adds_epi16(mulhi(v[5], -21746), v[5]), v[3]);
    const __m128i tm = _mm_subs_epi16(v[5], _mm_adds_epi16(mulhi(v[3], -21746), v[3]));
    const __m128i u7 = _mm_adds_epi16(mulhi(v[7], 13036), v[1]);
    const __m128i u1 = _mm_subs_epi16(mulhi(v[1], 13036), v[7]);
    const __m128i b0 = _mm_adds_epi16(tp, u7), t = _mm_subs_epi16(u7, tp);
    const __m128i b3 = _mm_adds_epi16(u1, tm), u = _mm_subs_epi16(u1, tm);
    const __m128i s = _mm_adds_epi16(t, u), dd = _mm_subs_epi16(t, u);
    const __m128i b1 = _mm_adds_epi16(s, mulhi(s, -19195)), b2 = _mm_adds_epi16(dd, mulhi(dd, -19195));
    const __m128i q2 = _mm_adds_epi16(mulhi(v[6], 27146), v[2]);
    const __m128i q6 = _mm_subs_epi16(mulhi(v[2], 27146), v[6]);
    const __m128i e = _mm_adds_epi16(v[4], v[0]), f = _mm_subs_epi16(v[0], v[4]);
    const __m128i a0 = _mm_adds_epi16(e, q2), a3 = _mm_subs_epi16(e, q2);
    const __m128i a1 = _mm_adds_epi16(f, q6), a2 = _mm_subs_epi16(f, q6);
    store8x16(dst + 0, _mm_srai_epi16(_mm_adds_epi16(b0, a0), 6));
    store8x16(dst + 8, _mm_srai_epi16(_mm_adds_epi16(a1, b1), 6));
    store8x16(dst + 16, _mm_srai_epi16(_mm_adds_epi16(a2, b2), 6));
    store8x16(dst + 24, _mm_srai_epi16(_mm_adds_epi16(b3, a3), 6));
    store8x16(dst + 32, _mm_srai_epi16(_mm_subs_epi16(a3, b3), 6));
    store8x16(dst + 40, _mm_srai_epi16(_mm_subs_epi16(a2, b2), 6));
    store8x16(dst + 48, _mm_srai_epi16(_mm_subs_epi16(a1, b1), 6));
    store8x16(dst + 56, _mm_srai_epi16(_mm_subs_epi16(a0, b0), 6));
}

// C / b for one element in single precision, rounded to nearest even.
inline uint16_t divideOne(float c, uint16_t b, int32_t* zero) {
    if (b == 0) {
        *zero = 1;
        return 65535;
    }
    return static_cast<uint16_t>(_mm_cvtss_si32(_mm_set_ss(c / static_cast<float>(b))));
}

// Eight divisors: reciprocal estimate refined twice, rounded, packed with
// signed saturation; divisors of 1 take C itself when C is 32768 or more, and
// zero divisors take 65535.
inline __m128i divideEight(__m128i b, float c, uint32_t cInt, int32_t* zero) {
    const __m128i zmask = _mm_cmpeq_epi16(b, _mm_setzero_si128());
    *zero |= _mm_movemask_epi8(zmask);
    const __m128i safe = _mm_sub_epi16(b, zmask);  // zero divisors become 1
    const __m128i lo = _mm_unpacklo_epi16(safe, _mm_setzero_si128()), hi = _mm_unpackhi_epi16(safe, _mm_setzero_si128());
    const __m128 C = _mm_set1_ps(c), one = _mm_set1_ps(1.0f);
    auto refine = [&](__m128i words) {
        const __m128 B = _mm_cvtepi32_ps(words);
        const __m128 R = _mm_rcp_ps(B);
        const __m128 E = _mm_sub_ps(one, _mm_mul_ps(B, R));
        const __m128 Y0 = _mm_mul_ps(C, R);
        const __m128 Y1 = _mm_add_ps(Y0, _mm_mul_ps(E, Y0));
        const __m128 Y2 = _mm_add_ps(Y1, _mm_mul_ps(_mm_mul_ps(E, E), Y1));
        return _mm_cvtps_epi32(Y2);
    };
    __m128i r = _mm_packs_epi32(refine(lo), refine(hi));
    if (cInt >= 32768) {
        const __m128i isOne = _mm_cmpeq_epi16(b, _mm_set1_epi16(1));
        r = _mm_or_si128(_mm_andnot_si128(isOne, r), _mm_and_si128(isOne, _mm_set1_epi16(static_cast<int16_t>(cInt))));
    }
    return _mm_or_si128(r, zmask);
}

} // namespace

void forwardDct8x8(const int16_t* src, int16_t* dst) { forwardKernel(src, dst); }

int32_t inverseDct8x8To8u(const int16_t* src, uint8_t* dst, int32_t dstStep, int16_t level, uint8_t lower,
                          uint8_t upper) {
    if (!src || !dst) return primErrNullPtr;
    if (dstStep < 1) return primErrStep;
    alignas(16) int16_t block[64];
    inverseKernel(src, block);
    const __m128i shift = _mm_set1_epi16(level);
    for (int32_t r = 0; r < 8; r += 2) {
        const __m128i v0 = _mm_add_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(block + 8 * r)), shift);
        const __m128i v1 = _mm_add_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(block + 8 * r + 8)), shift);
        __m128i bytes = _mm_packus_epi16(v0, v1);
        if (!(lower == 0 && upper == 255))
            bytes = _mm_min_epu8(_mm_max_epu8(bytes, _mm_set1_epi8(static_cast<char>(lower))),
                                 _mm_set1_epi8(static_cast<char>(upper)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + static_cast<intptr_t>(r) * dstStep), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + static_cast<intptr_t>(r + 1) * dstStep),
                         _mm_srli_si128(bytes, 8));
    }
    return primNoErr;
}

int32_t divideConstantByVector16u(const uint16_t* src, uint32_t constant, uint16_t* dst, int32_t count) {
    if (!src || !dst) return primErrNullPtr;
    if (count < 1) return primErrSize;
    const uint32_t c = constant & 0xFFFF;
    if (c == 0) {
        int32_t status = primNoErr;
        for (int32_t i = 0; i < count; ++i)
            if (src[i] == 0) {
                status = primWrnDivideByZero;
                break;
            }
        zeroVector16s(reinterpret_cast<int16_t*>(dst), count);
        return status;
    }
    const float cf = static_cast<float>(c);
    int32_t zero = 0, i = 0;
    // Single elements until the destination is 16-byte aligned (an odd
    // address never becomes so and goes on to unaligned groups).
    while (i < count && (reinterpret_cast<uintptr_t>(dst + i) & 14) != 0) {
        dst[i] = divideOne(cf, src[i], &zero);
        ++i;
    }
    for (; i + 8 <= count; i += 8) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), divideEight(b, cf, c, &zero));
    }
    for (; i < count; ++i) dst[i] = divideOne(cf, src[i], &zero);
    return zero ? primWrnDivideByZero : primNoErr;
}

int32_t convertRegion8uTo16u(const uint8_t* src, int32_t srcStep, uint16_t* dst, int32_t dstStep, int32_t width,
                             int32_t height) {
    const int32_t st = jpeg_dct::checkWiden(src, srcStep, dst, dstStep, width, height);
    if (st != primNoErr) return st;
    if (dstStep == 2 * srcStep && srcStep == width) {
        width *= height;
        height = 1;
    }
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t* s = src + static_cast<intptr_t>(r) * srcStep;
        uint8_t* d = reinterpret_cast<uint8_t*>(dst) + static_cast<intptr_t>(r) * dstStep;
        int32_t x = 0;
        for (; x + 8 <= width; x += 8)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * x),
                             _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + x)), _mm_setzero_si128()));
        for (; x < width; ++x) {
            const uint16_t v = s[x];
            __builtin_memcpy(d + 2 * x, &v, 2);
        }
    }
    return primNoErr;
}

int32_t reorderZigzagToNatural16u(const uint16_t* src, uint16_t* dst) {
    if (!src || !dst) return primErrNullPtr;
    for (int32_t k = 0; k < 64; ++k) dst[k] = src[jpeg_dct::kZigzagOfNatural[k]];
    return primNoErr;
}

int32_t quantForwardTablePrepare(const uint8_t* table, uint16_t* reciprocals) {
    return jpeg_dct::quantTablePrepareBody<convertRegion8uTo16u, reorderZigzagToNatural16u,
                                           divideConstantByVector16u>(table, reciprocals);
}

int32_t dctQuantForward8x8(const uint8_t* src, int32_t srcStep, int16_t* coefficients, const uint16_t* reciprocals) {
    return jpeg_dct::dctQuantForwardBody<forwardDct8x8>(src, srcStep, coefficients, reciprocals);
}

int32_t dequantDctInverse8x8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep, const int16_t* multipliers) {
    return jpeg_dct::dequantDctInverseBody<inverseDct8x8To8u>(coefficients, dst, dstStep, multipliers);
}
