// Right-angle turn copies. One set serves every processor path: they only
// move whole samples, so no path could compute anything different.
#pragma once

#include <cstdint>

// (source, destination, height, width, source step, destination step,
// direction). Destination pixel (r, c) of a half-turn kernel is the source
// pixel at source - r * srcStep - c * P; of a quarter-turn kernel the one at
// source + c * srcStep + r * direction * P. Planar kernels take arrays of
// plane pointers, which they only read.
using QuarterTurnFn = void (*)(const void*, void*, int32_t, int32_t, int32_t, int32_t, int32_t);

// Entries 0-17 the half turns, 18-35 the quarter turns, each at
// (code >> 3) * 6 + (code & 7) within its half.
extern const QuarterTurnFn quarterTurnTable[36];
