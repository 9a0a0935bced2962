// The last stage of a tile: once every component has been through its
// inverse wavelet into the caller's planes, the inverse multiple-component
// transform (reversible RCT or irreversible ICT), the conversion of float
// samples to integers, the DC level shift of unsigned components and the
// clamping of irreversible ones.
#pragma once

#include <cstdint>

#include "engine/base/IntPair.h"
#include "j2k/codec_types.h"
#include "j2k/decoder/tile.h"

// What the finishing step needs of one tile-component.
struct DJP2ComponentOutput {
    PlaneRef plane;       // the component's first sample in the caller's plane
    IntPair size;         // the tile-component's size at the decoding reduction
    DJP2BitDepth depth;   // precision field (bit depth minus one), signedness
    IntPair sampling;     // XRsiz, YRsiz
    uint8_t reversible = 1;  // 5/3: the plane holds int32; 9/7: float bit patterns
};

// Exactly three components, one of them with XRsiz or YRsiz other than 1.
bool NeedsComponentResampling(const DJP2ComponentOutput* comps, uint32_t n);

// Finishes the n components of a tile in place. transform: the tile allows
// the component transform and its coding style asks for it (it needs at
// least three components). tileRect: the tile's rectangle at the decoding
// reduction (the grid of the resampled transform). Afterwards every plane
// holds integers.
//
// The colour transform is the reversible one when component 0 uses 5/3 and
// the irreversible one otherwise; it runs on the first three components
// (brought to its integer or float domain first). Every other component is
// finished by its own wavelet: 5/3 samples get the level shift if unsigned;
// 9/7 samples are rounded to nearest (ties to even) and, if unsigned, shifted
// and clamped to the bit depth. The three transformed components are finished
// in the transform's domain, and after the ICT signed ones are clamped too.
// Three differently subsampled components take the resampled transform, whose
// results are converted and shifted but not clamped.
void FinishTileComponents(const DJP2ComponentOutput* comps, uint32_t n, bool transform, const J2KRect& tileRect);

// The 16-bit decoding path's finishing step, on planes of int16 samples (9/7
// components carry four fraction bits): 16-bit RCT or fixed-point ICT, then
// the fraction bits removed (with the level shift for unsigned components)
// and the level shift of unsigned 5/3 components; the 16-bit saturation of the
// primitives is the only clamping. Throws DJP2CSUnsuppException 18 for three
// differently subsampled components.
void FinishTileComponents16(const DJP2ComponentOutput* comps, uint32_t n, bool transform);

// Quantisation of one band for the 16-bit path: mantissa mu, exponent eps and
// the band's nominal range Rb (precision, +1 for HL and LH, +2 for HH).
struct DJP2BandStep16 {
    int32_t mu = 0, eps = 0, rb = 0;
};

// The 16-bit path's per-component sample step: the two's-complement integer
// coefficients of every band are brought to 16 bits (9/7: with four fraction
// bits and dequantised as (v x 16 x (2048 + mu)) >> (eps - Rb + 11)), each
// result saturated to 16 bits, then run through the 16-bit inverse wavelet
// into out (int16 samples, rect.width x rect.height). steps[i] holds HL, LH
// and HH of level index i (0 finest); steps are ignored for 5/3.
void ReconstructComponent16(const SubbandPlanes& coefficients, bool reversible, const DJP2BandStep16& llStep,
                            const DJP2BandStep16 (*steps)[3], const PlaneRef& out);
