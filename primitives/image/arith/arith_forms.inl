// The constant-arithmetic forms of one path, included inside that path's
// namespace after its row kernels:
//   mul32fRow(value, row, n);
//   mul16sRow<Kind>(c, row, n, k);
//   arith8uRow<Op, Kind>(src, dst, n, c, k);
// and kFillPath, the path whose fills serve the zero cases. The checks, the
// shortcuts and the choice of case are the same on every path.

namespace {

template <class Row>
inline void eachRow(uint8_t* p, int32_t step, int32_t h, Row row) {
    for (int32_t y = 0; y < h; ++y)
        row(rowAt(p, y, step));
}

template <int Op>
int32_t arith8u(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, int32_t w, int32_t h,
                int32_t c, int32_t sf) {
    if (!dst || (Op != arule::kMul && !src))
        return primErrNullPtr;
    if (h <= 0 || w <= 0)
        return primErrSize;
    // The largest scale factor with a result of 1 (65025, 255 and 510 are the
    // largest exact values).
    constexpr int32_t kLimit = Op == arule::kMul ? 16 : (Op == arule::kSub ? 8 : 9);
    if ((Op == arule::kMul && c == 0) || sf > kLimit)
        return setRoi8uC1Table[kFillPath](0, dst, dstStep, PrimSize{w, h});
    if (Op == arule::kMul && c == 1 && sf == 0)
        return primNoErr;
    int32_t k = 0;
    const arule::Kind kind = arule::kindOf(sf, 7, &k);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = Op == arule::kMul ? nullptr : rowAt(src, y, srcStep);
        uint8_t* d = rowAt(dst, y, dstStep);
        switch (kind) {
        case arule::kSat: arith8uRow<Op, arule::kSat>(s, d, w, c, k); break;
        case arule::kHalf: arith8uRow<Op, arule::kHalf>(s, d, w, c, k); break;
        case arule::kDown: arith8uRow<Op, arule::kDown>(s, d, w, c, k); break;
        case arule::kUp: arith8uRow<Op, arule::kUp>(s, d, w, c, k); break;
        default: arith8uRow<Op, arule::kMask>(s, d, w, c, k); break;
        }
    }
    return primNoErr;
}

} // namespace

int32_t mulConstInPlace32fC1(float value, float* p, int32_t step, int32_t w, int32_t h) {
    if (!p)
        return primErrNullPtr;
    if (h <= 0 || w <= 0)
        return primErrSize;
    for (int32_t y = 0; y < h; ++y)
        mul32fRow(value, rowAt(p, y, step), w);
    return primNoErr;
}

int32_t mulConstInPlace16sC1Scaled(int16_t value, int16_t* p, int32_t step, int32_t w, int32_t h, int32_t sf) {
    if (!p)
        return primErrNullPtr;
    if (h <= 0 || w <= 0)
        return primErrSize;
    // Beyond 30 every product (at most 2^30 in magnitude) rounds to 0.
    if (value == 0 || sf > 30)
        return setRoi16uC1Table[kFillPath](0, reinterpret_cast<uint16_t*>(p), step, PrimSize{w, h});
    if (value == 1 && sf == 0)
        return primNoErr;
    // From -15 on, every non-zero product saturates.
    int32_t k = 0;
    const arule::Kind kind = arule::kindOf(sf, 14, &k);
    for (int32_t y = 0; y < h; ++y) {
        int16_t* row = rowAt(p, y, step);
        switch (kind) {
        case arule::kSat: mul16sRow<arule::kSat>(value, row, w, k); break;
        case arule::kHalf: mul16sRow<arule::kHalf>(value, row, w, k); break;
        case arule::kDown: mul16sRow<arule::kDown>(value, row, w, k); break;
        case arule::kUp: mul16sRow<arule::kUp>(value, row, w, k); break;
        default: mul16sRow<arule::kMask>(value, row, w, k); break;
        }
    }
    return primNoErr;
}

int32_t mulConstInPlace8uC1Scaled(int32_t value, uint8_t* p, int32_t step, int32_t w, int32_t h, int32_t sf) {
    return arith8u<arule::kMul>(nullptr, 0, p, step, w, h, value & 0xFF, sf);
}
int32_t subInPlace8uC1Scaled(const uint8_t* src, int32_t srcStep, uint8_t* p, int32_t step, int32_t w, int32_t h,
                             int32_t sf) {
    return arith8u<arule::kSub>(src, srcStep, p, step, w, h, 0, sf);
}
int32_t addInPlace8uC1Scaled(const uint8_t* src, int32_t srcStep, uint8_t* p, int32_t step, int32_t w, int32_t h,
                             int32_t sf) {
    return arith8u<arule::kAdd>(src, srcStep, p, step, w, h, 0, sf);
}
