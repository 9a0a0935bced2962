// Threshold to a value, 8-bit one channel.
//
// thresholdValByOp8uC1: every pixel p of the source region goes to the same
// place of the destination as the value where p < threshold (compare
// operation 0) or p > threshold (operation 4), else as p; both comparisons
// strict and unsigned. The threshold and the value are the low bytes of their
// arguments. Source and destination are one region with one step, or regions
// that do not overlap. Status, first failing check: -9999 operation other
// than 0 and 4, -8 null source then destination, -6 width then height 0 or
// negative, -14 source then destination step 0 or negative.
//
// thresholdLessValInPlace8uC1: operation 0 in place.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

enum ThresholdOp : int32_t { thresholdLess = 0, thresholdGreater = 4 };

using ThresholdInPlace8uFn = int32_t (*)(uint8_t* srcDst, int32_t step, int32_t width, int32_t height,
                                         int32_t threshold, int32_t value);
using ThresholdByOp8uFn = int32_t (*)(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                                      int32_t width, int32_t height, int32_t threshold, int32_t value, int32_t op);

#define VQ_IMAGE_THRESHOLD_FORMS                                                                                \
    int32_t thresholdLessValInPlace8uC1(uint8_t* srcDst, int32_t step, int32_t width, int32_t height,           \
                                        int32_t threshold, int32_t value);                                      \
    int32_t thresholdValByOp8uC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,            \
                                 int32_t width, int32_t height, int32_t threshold, int32_t value, int32_t op);

VQ_DECLARE_FORMS(VQ_IMAGE_THRESHOLD_FORMS)

extern const ThresholdInPlace8uFn thresholdLessValInPlace8uC1Table[6];
extern const ThresholdByOp8uFn thresholdValByOp8uC1Table[6];

int32_t thresholdLessValInPlace8uC1(uint8_t* srcDst, int32_t step, int32_t width, int32_t height, int32_t threshold,
                                    int32_t value);
