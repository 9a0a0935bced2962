#include "primitives/j2k/component.h"

#include "primitives/j2k/lifting_rules.h"

using j2k_component::check;
using j2k_component::rowOf;
using j2k_rules::add32;
using j2k_rules::sub32;

namespace prim::generic {

int32_t forwardRct32s(int32_t* const* planes, int32_t step, int32_t width, int32_t height) {
    if (const int32_t s = check(planes, step, width, height))
        return s;
    for (int32_t r = 0; r < height; ++r) {
        int32_t* p0 = rowOf(planes[0], step, r);
        int32_t* p1 = rowOf(planes[1], step, r);
        int32_t* p2 = rowOf(planes[2], step, r);
        for (int32_t x = 0; x < width; ++x) {
            const int32_t R = p0[x], G = p1[x], B = p2[x];
            p0[x] = add32(add32(R, add32(G, G)), B) >> 2;
            p1[x] = sub32(B, G);
            p2[x] = sub32(R, G);
        }
    }
    return primNoErr;
}

int32_t inverseRct32s(int32_t* const* planes, int32_t step, int32_t width, int32_t height) {
    if (const int32_t s = check(planes, step, width, height))
        return s;
    for (int32_t r = 0; r < height; ++r) {
        int32_t* p0 = rowOf(planes[0], step, r);
        int32_t* p1 = rowOf(planes[1], step, r);
        int32_t* p2 = rowOf(planes[2], step, r);
        for (int32_t x = 0; x < width; ++x) {
            const int32_t Y = p0[x], Db = p1[x], Dr = p2[x];
            const int32_t G = sub32(Y, add32(Db, Dr) >> 2);
            p0[x] = add32(Dr, G);
            p1[x] = G;
            p2[x] = add32(Db, G);
        }
    }
    return primNoErr;
}

int32_t inverseRct16s(int16_t* const* planes, int32_t step, int32_t width, int32_t height) {
    if (const int32_t s = check(planes, step, width, height))
        return s;
    for (int32_t r = 0; r < height; ++r) {
        int16_t* p0 = rowOf(planes[0], step, r);
        int16_t* p1 = rowOf(planes[1], step, r);
        int16_t* p2 = rowOf(planes[2], step, r);
        for (int32_t x = 0; x < width; ++x) {
            const int32_t Y = p0[x], Db = p1[x], Dr = p2[x];
            const int32_t G = j2k_rules::wrap16(Y - ((Db + Dr) >> 2));
            p0[x] = j2k_rules::wrap16(Dr + G);
            p1[x] = static_cast<int16_t>(G);
            p2[x] = j2k_rules::wrap16(Db + G);
        }
    }
    return primNoErr;
}

int32_t inverseIct32f(float* const* planes, int32_t step, int32_t width, int32_t height) {
    if (const int32_t s = check(planes, step, width, height))
        return s;
    // Single-precision weights, products and sums in double, one rounding per result.
    const double wCrR = 1.402f, wCbG = 0.34413f, wCrG = 0.71414f, wCbB = 1.772f;
    for (int32_t r = 0; r < height; ++r) {
        float* p0 = rowOf(planes[0], step, r);
        float* p1 = rowOf(planes[1], step, r);
        float* p2 = rowOf(planes[2], step, r);
        for (int32_t x = 0; x < width; ++x) {
            const double Y = p0[x], Cb = p1[x], Cr = p2[x];
            p0[x] = static_cast<float>(wCrR * Cr + Y);
            p1[x] = static_cast<float>((Y - wCbG * Cb) - wCrG * Cr);
            p2[x] = static_cast<float>(wCbB * Cb + Y);
        }
    }
    return primNoErr;
}

int32_t inverseIct16s(int16_t* const* planes, int32_t step, int32_t width, int32_t height) {
    if (const int32_t s = check(planes, step, width, height))
        return s;
    for (int32_t r = 0; r < height; ++r) {
        int16_t* p0 = rowOf(planes[0], step, r);
        int16_t* p1 = rowOf(planes[1], step, r);
        int16_t* p2 = rowOf(planes[2], step, r);
        for (int32_t x = 0; x < width; ++x) {
            const int32_t Y = p0[x], Cb = p1[x], Cr = p2[x];
            // Saturated like the processor paths: a colour beyond the range
            // is clamped, never turned into its opposite.
            p0[x] = j2k_rules::sat16(Y + ((22970 * Cr + 8192) >> 14));
            p1[x] = j2k_rules::sat16(Y + ((8192 - 5638 * Cb - 11700 * Cr) >> 14));
            p2[x] = j2k_rules::sat16(Y + ((29032 * Cb + 8192) >> 14));
        }
    }
    return primNoErr;
}

} // namespace prim::generic

const Rct32sFn forwardRct32sTable[6] = VQ_PATH_FORMS(forwardRct32s);
const Rct32sFn inverseRct32sTable[6] = VQ_PATH_FORMS(inverseRct32s);
// One body serves paths 4 and 5.
const Planes16sFn inverseRct16sTable[6] = {prim::generic::inverseRct16s, prim::p1::inverseRct16s,
                                           prim::p2::inverseRct16s,      prim::p3::inverseRct16s,
                                           prim::p4::inverseRct16s,      prim::p4::inverseRct16s};
const Ict32fFn inverseIct32fTable[6] = VQ_PATH_FORMS(inverseIct32f);
const Planes16sFn inverseIct16sTable[6] = VQ_PATH_FORMS(inverseIct16s);

int32_t forwardRct32s(int32_t* const planes[3], int32_t step, int32_t width, int32_t height) {
    return VQ_DISPATCH(forwardRct32sTable)(planes, step, width, height);
}
int32_t inverseRct32s(int32_t* const planes[3], int32_t step, int32_t width, int32_t height) {
    return VQ_DISPATCH(inverseRct32sTable)(planes, step, width, height);
}
int32_t inverseRct16s(int16_t* const planes[3], int32_t step, int32_t width, int32_t height) {
    return VQ_DISPATCH(inverseRct16sTable)(planes, step, width, height);
}
int32_t inverseIct32f(float* const planes[3], int32_t step, int32_t width, int32_t height) {
    return VQ_DISPATCH(inverseIct32fTable)(planes, step, width, height);
}
int32_t inverseIct16s(int16_t* const planes[3], int32_t step, int32_t width, int32_t height) {
    return VQ_DISPATCH(inverseIct16sTable)(planes, step, width, height);
}
