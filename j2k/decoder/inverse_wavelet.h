// Inverse wavelet transform of one tile-component: the sub-band planes of
// every decomposition level are synthesised level by level, coarsest first,
// into the caller's plane.
//
// bands: the tile-component's SubbandPlanes (rect, levels, per level index 0
// finest the HL, LH and HH planes, and the coarsest LL plane). The sample type
// of the planes is the transform's: int32 (inverseDwt53), float stored in the
// same 4-byte planes (inverseDwt97), or int16 at the start of each row of the
// planes, row steps unchanged (the 16-bit forms). Bands are only read.
// out: the plane receiving rect.width x rect.height samples of that type,
// addressed at its first sample with its row step in bytes; it also serves as
// the work plane of intermediate levels.
// rect: the level-0 rectangle (the tile-component, or the reduced rectangle
// when the caller decodes fewer levels); its origin's parity on each axis
// says whether rows and columns start with a low-pass or a high-pass sample.
//
// The 5/3 forms are exact; the 9/7 float form equals the standard synthesis
// up to single-precision rounding; the 16-bit 9/7 form works in Q16 fixed
// point on whatever fraction bits the caller's samples carry. Throws
// MemoryException 0 when the temporary plane cannot be allocated (std::bad_alloc
// for row buffers).
#pragma once

#include "j2k/codec_types.h"
#include "j2k/decoder/tile.h"

void inverseDwt97(const SubbandPlanes& bands, const PlaneRef& out, const J2KRect& rect);
void inverseDwt53(const SubbandPlanes& bands, const PlaneRef& out, const J2KRect& rect);
void inverseDwt97Int16(const SubbandPlanes& bands, const PlaneRef& out, const J2KRect& rect);
void inverseDwt53Int16(const SubbandPlanes& bands, const PlaneRef& out, const J2KRect& rect);
