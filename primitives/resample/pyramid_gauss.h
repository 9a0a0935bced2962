// Gaussian 5 x 5 pyramid steps on 8-bit images: the 2:1 down-scale (blur with
// 1 4 6 4 1 per axis, keep even rows and columns) and the 1:2 up-scale (spread
// onto a grid twice as fine, blur, scale by four). Taps outside the image are
// mirrored about the edge sample. The caller provides the work buffer.
#pragma once

#include <cstdint>

#include "primitives/core/prim_types.h"

// Destination: ceil(W / 2) x ceil(H / 2) samples of one channel.
int32_t pyramidDownGauss5x5(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize srcSize,
                            uint8_t* buffer);
// Destination: 2W x 2H samples of one channel.
int32_t pyramidUpGauss5x5Gray(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize srcSize,
                              uint8_t* buffer);
// Destination: 2W x 2H pixels of three interleaved channels.
int32_t pyramidUpGauss5x5Rgb(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize srcSize,
                             uint8_t* buffer);
// Work-buffer size for a source region `width` wide; data kind 1, 3 or 13,
// channels 1 or 3. -53 for another channel count, -12 for another kind.
int32_t pyramidGetBufferSize(int32_t width, int32_t dataKind, int32_t channels, int32_t* size);

using PyramidGaussFn = int32_t (*)(const uint8_t*, int32_t, uint8_t*, int32_t, PrimSize, uint8_t*);
using PyramidGetBufferSizeFn = int32_t (*)(int32_t, int32_t, int32_t, int32_t*);

extern const PyramidGaussFn pyramidDownGauss5x5Table[6];
extern const PyramidGaussFn pyramidUpGauss5x5GrayTable[6];
extern const PyramidGaussFn pyramidUpGauss5x5RgbTable[6];
extern const PyramidGetBufferSizeFn pyramidGetBufferSizeTable[6];

namespace prim::generic {
int32_t pyramidDownGauss5x5(const uint8_t*, int32_t, uint8_t*, int32_t, PrimSize, uint8_t*);
int32_t pyramidUpGauss5x5Gray(const uint8_t*, int32_t, uint8_t*, int32_t, PrimSize, uint8_t*);
int32_t pyramidUpGauss5x5Rgb(const uint8_t*, int32_t, uint8_t*, int32_t, PrimSize, uint8_t*);
int32_t pyramidGetBufferSize(int32_t, int32_t, int32_t, int32_t*);
} // namespace prim::generic
