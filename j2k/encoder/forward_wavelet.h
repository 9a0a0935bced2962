// Forward discrete wavelet transform of one tile-component into its sub-band
// planes: the irreversible 9/7 filter on float samples or the reversible 5/3
// filter on 32-bit integer samples, over every decomposition level, with
// whole-sample symmetric extension at each edge. Each level filters its
// columns, then its rows, and writes the four bands of the level; the LL part
// is the input of the next level and, after the last one, the LL plane.
#pragma once

#include "j2k/codec_types.h"
#include "j2k/decoder/tile.h"

// `source` holds the component's samples from its top-left one (float for
// 9/7, int32 for 5/3); `component` is its rectangle on the reference grid
// (the origin's parity decides which samples are low-pass). `planes` must be
// built for that rectangle (SubbandPlanes::Build); every plane of it is
// written: float samples for 9/7, int32 for 5/3. With no level the LL plane
// is a copy of the source. Throws MemoryException 0 when scratch memory
// cannot be had.
void forwardDwt97(const PlaneRef& source, const J2KRect& component, SubbandPlanes& planes);
void forwardDwt53(const PlaneRef& source, const J2KRect& component, SubbandPlanes& planes);

// One level on one axis, for the tests and the pipelines: the standard's
// 1-D analysis of n samples whose first lies at coordinate `start`, written as
// low (ceil count) and high (floor count) halves. n >= 1.
void forwardRowSplit97(const float* x, uint32_t n, uint32_t start, float* low, float* high);
void forwardRowSplit53(const int32_t* x, uint32_t n, uint32_t start, int32_t* low, int32_t* high);
