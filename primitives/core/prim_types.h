// Argument types and status codes shared by every primitive.
#pragma once

#include <cstdint>

struct PrimSize {
    int32_t width;
    int32_t height;
};

struct PrimRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// Status of a primitive: 0 success, negative errors, positive warnings.
enum PrimStatus : int32_t {
    primNoErr = 0,
    primErrNoMemory = -4,
    primErrSize = -6,
    primErrNullPtr = -8,
    primErrMemAlloc = -9,
    primErrStep = -14,
    primErrContextMatch = -17,
    primErrMirrorFlip = -21,
    primErrInterpolation = -22,
    primErrResizeFactor = -23,
    primErrChannelOrder = -60,
    primErrNoDstPixels = -201,
    primErrUnsupportedMode = -9999,
    primWrnNothingToDo = 1,
    primWrnOtherVendor = 20,
    primWrnUnknownType = 21,
    primWrnOutsideSource = 29,
    primWrnNoCpuid = 36,
    primWrnNoCache = 37,
};
