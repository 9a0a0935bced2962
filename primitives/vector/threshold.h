// Threshold kernels of the processor-path kernel sets: every element beyond a
// level on one side is replaced by the level, by a given value or, for
// complex data, by the element rescaled to the level's magnitude. No entry
// calls them except the two in-place 32-bit clamps, which the clamp
// primitives use.
//
// Comparisons are strict and signed. Float minimum and maximum follow the
// processor's: min(x, level) and max(x, level) give the level when either is
// NaN or both are zeros. Flag kinds: the 32f and 32fc members work on the
// above side for a flag of exactly 1, the others for any non-zero flag. A
// 16-bit level or value travels in 32 bits; its low 16 bits count.
//
// Complex members compare squared magnitudes (16sc exactly, 32fc and 64fc in
// their own precision). A rescaled element keeps its phase and takes the
// level's magnitude; elements that are not replaced are left bit for bit as
// they were. The 32fc and 64fc value kinds keep an element with a NaN part
// on the below side and replace it on the above side; the SSE2 set's 64fc
// value kinds decide such elements the other way round, and that set has no
// 32fc members.
//
// Kernels check nothing: count is at least 1, and a destination is the
// source or does not overlap it.
#pragma once

#include <cstdint>

struct Complex16s {
    int16_t re, im;
};
struct Complex32f {
    float re, im;
};
struct Complex64f {
    double re, im;
};

#define VQ_THRESHOLD_REAL_FORMS                                                                                    \
    void clampMinOrMax32fInPlace(float level, float* buffer, int32_t count, int32_t flag);                        \
    void clampMinOrMax32f(float level, const float* src, float* dst, int32_t count, int32_t flag);                \
    void clampMinOrMax64fInPlace(double level, double* buffer, int32_t count, int32_t flag);                      \
    void clampMinOrMax64f(double level, const double* src, double* dst, int32_t count, int32_t flag);             \
    void clampMinOrMax16s(int32_t level, const int16_t* src, int16_t* dst, int32_t count, int32_t flag);          \
    void clampMin32sInPlace(int32_t* buffer, int32_t count, int32_t level);                                       \
    void clampMin32s(const int32_t* src, int32_t* dst, int32_t count, int32_t level);                             \
    void clampMax32sInPlace(int32_t* buffer, int32_t count, int32_t level);                                       \
    void clampMax32s(const int32_t* src, int32_t* dst, int32_t count, int32_t level);                             \
    void replaceBelow32f(const float* src, float* dst, int32_t count, float level, float value);                  \
    void replaceAbove32f(const float* src, float* dst, int32_t count, float level, float value);                  \
    void replaceBelow64fInPlace(double* buffer, int32_t count, double level, double value);                       \
    void replaceBelow64f(const double* src, double* dst, int32_t count, double level, double value);              \
    void replaceAbove64fInPlace(double* buffer, int32_t count, double level, double value);                       \
    void replaceAbove64f(const double* src, double* dst, int32_t count, double level, double value);              \
    void replaceBelow16s(const int16_t* src, int16_t* dst, int32_t count, int32_t level, int32_t value);          \
    void replaceAbove16s(const int16_t* src, int16_t* dst, int32_t count, int32_t level, int32_t value);          \
    void replaceOutside32fInPlace(float* buffer, int32_t count, float lowLevel, float lowValue, float highLevel,   \
                                  float highValue);                                                               \
    void replaceOutside32f(const float* src, float* dst, int32_t count, float lowLevel, float lowValue,           \
                           float highLevel, float highValue);                                                     \
    void replaceOutside64fInPlace(double* buffer, int32_t count, double lowLevel, double lowValue,                \
                                  double highLevel, double highValue);                                            \
    void replaceOutside64f(const double* src, double* dst, int32_t count, double lowLevel, double lowValue,       \
                           double highLevel, double highValue);                                                   \
    void replaceOutside16sInPlace(int16_t* buffer, int32_t count, int32_t lowLevel, int32_t lowValue,             \
                                  int32_t highLevel, int32_t highValue);                                          \
    void replaceOutside16s(const int16_t* src, int16_t* dst, int32_t count, int32_t lowLevel, int32_t lowValue,   \
                           int32_t highLevel, int32_t highValue);                                                 \
    void replaceOutside32sInPlace(int32_t* buffer, int32_t count, int32_t lowLevel, int32_t lowValue,             \
                                  int32_t highLevel, int32_t highValue);                                          \
    void replaceOutside32s(const int32_t* src, int32_t* dst, int32_t count, int32_t lowLevel, int32_t lowValue,   \
                           int32_t highLevel, int32_t highValue);                                                 \
    void limitMagnitude32f(const float* src, float* dst, int32_t count, const float* level);                     \
    void limitMagnitude64f(const double* src, double* dst, int32_t count, const double* level);                  \
    void limitMagnitude16s(const int16_t* src, int16_t* dst, int32_t count, int32_t level);                      \
    void limitMagnitude32s(const int32_t* src, int32_t* dst, int32_t count, int32_t level);                      \
    void raiseMagnitude32f(const float* src, float* dst, int32_t count, const float* level);                     \
    void raiseMagnitude64f(const double* src, double* dst, int32_t count, const double* level);                  \
    void raiseMagnitude16s(const int16_t* src, int16_t* dst, int32_t count, int32_t level);                      \
    void raiseMagnitude32s(const int32_t* src, int32_t* dst, int32_t count, int32_t level);

#define VQ_THRESHOLD_COMPLEX_FORMS                                                                                 \
    void clampMagnitude16sc(int32_t level, const Complex16s* src, Complex16s* dst, int32_t count, int32_t flag);  \
    void clampMagnitude64fc(double level, const Complex64f* src, Complex64f* dst, int32_t count, int32_t flag);   \
    void replaceBelowMagnitude16sc(const Complex16s* src, Complex16s* dst, int32_t count, int32_t level,          \
                                   int32_t value);                                                                \
    void replaceAboveMagnitude16sc(const Complex16s* src, Complex16s* dst, int32_t count, int32_t level,          \
                                   int32_t value);                                                                \
    void replaceBelowMagnitude64fcInPlace(Complex64f* buffer, int32_t count, double level, Complex64f value);     \
    void replaceBelowMagnitude64fc(const Complex64f* src, Complex64f* dst, int32_t count, double level,           \
                                   Complex64f value);                                                             \
    void replaceAboveMagnitude64fcInPlace(Complex64f* buffer, int32_t count, double level, Complex64f value);     \
    void replaceAboveMagnitude64fc(const Complex64f* src, Complex64f* dst, int32_t count, double level,           \
                                   Complex64f value);

// Single-precision complex members: on paths 2 to 5 only.
#define VQ_THRESHOLD_COMPLEX32_FORMS                                                                              \
    void clampMagnitude32fcInPlace(float level, Complex32f* buffer, int32_t count, int32_t flag);                \
    void clampMagnitude32fc(float level, const Complex32f* src, Complex32f* dst, int32_t count, int32_t flag);   \
    void replaceBelowMagnitude32fc(const Complex32f* src, Complex32f* dst, int32_t count, float level,            \
                                   Complex32f value);                                                            \
    void replaceAboveMagnitude32fc(const Complex32f* src, Complex32f* dst, int32_t count, float level,            \
                                   Complex32f value);

#define VQ_THRESHOLD_FORMS VQ_THRESHOLD_REAL_FORMS VQ_THRESHOLD_COMPLEX_FORMS

namespace prim::p1 { VQ_THRESHOLD_FORMS }
namespace prim::p2 { VQ_THRESHOLD_FORMS VQ_THRESHOLD_COMPLEX32_FORMS }
namespace prim::p3 { VQ_THRESHOLD_FORMS VQ_THRESHOLD_COMPLEX32_FORMS }
namespace prim::p4 { VQ_THRESHOLD_FORMS VQ_THRESHOLD_COMPLEX32_FORMS }
namespace prim::p5 { VQ_THRESHOLD_FORMS VQ_THRESHOLD_COMPLEX32_FORMS }
