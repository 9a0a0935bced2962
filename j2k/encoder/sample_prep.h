// The encoder's per-sample steps around the forward wavelet: the DC level
// shift, the reversible component transform and the float conversion before
// it; the division of each band by its step size and the rounding to
// integers after the 9/7 wavelet. Everything runs in place.
#pragma once

#include <cstdint>

#include "j2k/codec_types.h"
#include "j2k/decoder/marker_records.h"
#include "j2k/decoder/tile.h"

struct J2KEncodeParams;

// Shifts, transforms and (irreversible path) converts every plane to float.
// Every component is taken to have the depth record ssiz0.
void prepareSamples(ComponentPlanes& planes, const J2KEncodeParams& params, uint8_t ssiz0);

// 2^(R - exponent) x (1 + mantissa / 2048) for a (mantissa, exponent) pair.
double bandStepSize(const IntPair& pair, int32_t r);
// Multiplies a float band in place by 1 / step rounded to single precision.
void scaleBand(DJP2PlaneBuffer& band, double step);
// Divides every float band of one component by its step: LL with range ri,
// HL and LH with ri + 1, HH with ri + 2.
void scaleBandsBySteps(SubbandPlanes& planes, const DJP2QuantParams& record, int32_t ri);
// Every float band to 32-bit integers, nearest with ties to even, saturated.
void quantiseBands(SubbandPlanes& planes);
