// The threshold kernel sets of the processor paths: 8-bit unsigned, 16-bit
// signed and float samples in layouts C1, C3, C4 and AC4 (samples 0-2
// processed, the destination's sample 3 never changed). No primitive of the
// system calls them except the 8-bit one-channel value kernel (behind
// thresholdLessValInPlace8uC1); they complete each path's set.
//
// Per sample s of a processed channel, with that channel's threshold t and
// value v:
//   clamp: greater direction min(s, t), less direction max(s, t); float:
//     greater s < t ? s : t, less s > t ? s : t (a NaN becomes t);
//   value: greater s > t, less s < t replace s by v; float: greater t < s,
//     less !(t <= s) (a NaN stays in the greater direction and becomes v in
//     the less one);
//   outside (two thresholds): s > upper becomes the value above, s < lower
//     the value below; float: upper < s and !(lower <= s). A sample that
//     meets both (only when lower > upper) becomes the bitwise OR of the two
//     values.
// C1 kernels take their parameters by value (8-bit and 16-bit ones in the
// low bits of a 32-bit argument); C3 and AC4 kernels take pointers to three,
// C4 kernels to four. A non-zero flag selects the greater direction. Width
// and height at least 1, positive steps; source and destination are one
// image or do not overlap. The float AC4 kernels write only samples 0-2.
#pragma once

#include <cstdint>

struct ThresholdKernelSet {
#define VQ_TK_ARGS(T) const T *src, int32_t srcStep, T *dst, int32_t dstStep, int32_t width, int32_t height
    void (*thresholdClamp8uC1)(VQ_TK_ARGS(uint8_t), int32_t t, int32_t greater);
    void (*thresholdClamp8uC3)(VQ_TK_ARGS(uint8_t), const uint8_t* t, int32_t greater);
    void (*thresholdClamp8uAC4)(VQ_TK_ARGS(uint8_t), const uint8_t* t, int32_t greater);
    void (*thresholdClamp16sC1)(VQ_TK_ARGS(int16_t), int32_t t, int32_t greater);
    void (*thresholdClamp16sC3)(VQ_TK_ARGS(int16_t), const int16_t* t, int32_t greater);
    void (*thresholdClamp16sAC4)(VQ_TK_ARGS(int16_t), const int16_t* t, int32_t greater);
    void (*thresholdClamp32fC1)(VQ_TK_ARGS(float), float t, int32_t greater);
    void (*thresholdClamp32fC3)(VQ_TK_ARGS(float), const float* t, int32_t greater);
    void (*thresholdClamp32fAC4)(VQ_TK_ARGS(float), const float* t, int32_t greater);
    void (*thresholdVal8uC1)(VQ_TK_ARGS(uint8_t), int32_t t, int32_t v, int32_t greater);
    void (*thresholdVal8uC3)(VQ_TK_ARGS(uint8_t), const uint8_t* t, const uint8_t* v, int32_t greater);
    void (*thresholdGreaterVal8uC4)(VQ_TK_ARGS(uint8_t), const uint8_t* t, const uint8_t* v);
    void (*thresholdLessVal8uC4)(VQ_TK_ARGS(uint8_t), const uint8_t* t, const uint8_t* v);
    void (*thresholdVal8uAC4)(VQ_TK_ARGS(uint8_t), const uint8_t* t, const uint8_t* v, int32_t greater);
    void (*thresholdVal16sC1)(VQ_TK_ARGS(int16_t), int32_t t, int32_t v, int32_t greater);
    void (*thresholdVal16sC3)(VQ_TK_ARGS(int16_t), const int16_t* t, const int16_t* v, int32_t greater);
    void (*thresholdVal16sAC4)(VQ_TK_ARGS(int16_t), const int16_t* t, const int16_t* v, int32_t greater);
    void (*thresholdGreaterVal16sC4)(VQ_TK_ARGS(int16_t), const int16_t* t, const int16_t* v);
    void (*thresholdLessVal16sC4)(VQ_TK_ARGS(int16_t), const int16_t* t, const int16_t* v);
    void (*thresholdVal32fC1)(VQ_TK_ARGS(float), float t, float v, int32_t greater);
    void (*thresholdVal32fC3)(VQ_TK_ARGS(float), const float* t, const float* v, int32_t greater);
    void (*thresholdVal32fAC4)(VQ_TK_ARGS(float), const float* t, const float* v, int32_t greater);
    void (*thresholdGreaterVal32fC4)(VQ_TK_ARGS(float), const float* t, const float* v);
    void (*thresholdLessVal32fC4)(VQ_TK_ARGS(float), const float* t, const float* v);
    void (*thresholdOutsideVal8uC1)(VQ_TK_ARGS(uint8_t), int32_t upper, int32_t above, int32_t lower, int32_t below);
    void (*thresholdOutsideVal8uC3)(VQ_TK_ARGS(uint8_t), const uint8_t* upper, const uint8_t* above,
                                    const uint8_t* lower, const uint8_t* below);
    void (*thresholdOutsideVal8uAC4)(VQ_TK_ARGS(uint8_t), const uint8_t* upper, const uint8_t* above,
                                     const uint8_t* lower, const uint8_t* below);
    void (*thresholdOutsideVal16sC1)(VQ_TK_ARGS(int16_t), int32_t upper, int32_t above, int32_t lower, int32_t below);
    void (*thresholdOutsideVal16sC3)(VQ_TK_ARGS(int16_t), const int16_t* upper, const int16_t* above,
                                     const int16_t* lower, const int16_t* below);
    void (*thresholdOutsideVal16sAC4)(VQ_TK_ARGS(int16_t), const int16_t* upper, const int16_t* above,
                                      const int16_t* lower, const int16_t* below);
    void (*thresholdOutsideVal32fC1)(VQ_TK_ARGS(float), float upper, float above, float lower, float below);
    void (*thresholdOutsideVal32fC3)(VQ_TK_ARGS(float), const float* upper, const float* above, const float* lower,
                                     const float* below);
    void (*thresholdOutsideVal32fAC4)(VQ_TK_ARGS(float), const float* upper, const float* above, const float* lower,
                                      const float* below);
    void (*thresholdClampColourOnly32fAC4)(VQ_TK_ARGS(float), const float* t, int32_t greater);
#undef VQ_TK_ARGS
};

namespace prim::p1 {
extern const ThresholdKernelSet thresholdKernels;
}
namespace prim::p2 {
extern const ThresholdKernelSet thresholdKernels;
}

// The set of processor path 1 to 5 (paths 3 to 5 share path 2's); null for
// the generic path, which has none.
const ThresholdKernelSet* thresholdKernelSet(int path);
