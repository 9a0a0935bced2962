// Plane-level operations on decoded JPEG 2000 components: bit-depth and
// signedness adjustment, clamping, adding a constant, shifting, copying and
// re-sampling between a component's own grid and the image grid, and the
// conversion of components to 8-bit samples.
//
// Planes are 32-bit samples (int32, or float where a name says so) addressed
// by a PlaneRef (first sample, row step in bytes) over an explicit size
// (width, height); nothing outside width x height is read or written, and a
// plane of zero width or height is never touched. Precisions are the SIZ
// precision field (bit depth minus one) with a signedness flag. Temporary
// planes throw MemoryException 0 when they cannot be allocated.
#pragma once

#include <cstdint>

#include "engine/base/IntPair.h"
#include "j2k/codec_types.h"

// Shifts every sample by (dstBits - srcBits) (left when positive, arithmetic
// right when negative), then adds the level offset 2^dstBits when a signed
// source becomes unsigned, or subtracts it when an unsigned source becomes
// signed.
void AdjustSampleDepth(const PlaneRef& plane, IntPair size, int32_t srcBits, bool srcSigned, int32_t dstBits,
                       bool dstSigned);
// n > 0 shifts left by n, n < 0 arithmetic right by -n, 0 does nothing.
void ShiftPlane32(const PlaneRef& plane, IntPair size, int32_t n);
// Adds c to every sample, saturating at the 32-bit limits.
void AddConstPlane32(const PlaneRef& plane, IntPair size, int32_t c);
// Every sample into [low, high].
void ClampPlane(const PlaneRef& plane, IntPair size, int32_t low, int32_t high);
void CopyPlane32(const PlaneRef& src, const PlaneRef& dst, IntPair size);
// Equal sizes copy; otherwise a cubic re-size of the whole plane.
void ResamplePlane32(const PlaneRef& src, IntPair srcSize, const PlaneRef& dst, IntPair dstSize);

// A component of size compSize with sampling factors (XRsiz, YRsiz) onto the
// grid of imageRect (its size is the destination's size; its origin gives the
// component's sub-pixel phase), integer planes; a copy when the factors are
// (1, 1) and the sizes agree.
void UpsampleComponent(const PlaneRef& src, IntPair compSize, IntPair factors, const PlaneRef& dst,
                       const J2KRect& imageRect);
void UpsampleComponentFloat(const PlaneRef& src, IntPair compSize, IntPair factors, const PlaneRef& dst,
                            const J2KRect& imageRect);
// The reverse: an image-grid plane back onto the component's grid.
void DownsampleComponent(const PlaneRef& src, const J2KRect& imageRect, const PlaneRef& dst, IntPair compSize,
                         IntPair factors);
void DownsampleComponentFloat(const PlaneRef& src, const J2KRect& imageRect, const PlaneRef& dst, IntPair compSize,
                              IntPair factors);

// out = (ceil(a.first / f.first), ceil(a.second / f.second)).
IntPair& CeilDivPair(IntPair& out, IntPair a, IntPair f);
// The rectangle's first point and end point each divided with rounding up
// (a component's extent on the reference grid).
J2KRect& CeilDivRect(J2KRect& out, const J2KRect& r, IntPair f);
// Plane reference i = (data, step) of component i, for i below n.
void AttachComponentPlanes(const DJP2PlaneBuffer* components, PlaneRef* refs, uint32_t n);
// The component's samples copied into dst, brought to 8 unsigned bits and
// clamped to 0..255 (dst stays a plane of 32-bit samples).
void ConvertComponentTo8u(const PlaneRef& src, const DJP2BitDepth& depth, IntPair size, const PlaneRef& dst);
// ConvertComponentTo8u of component i into dst[i] for i below the smaller of
// n and the image's component count.
void ConvertComponentsTo8u(DJP2Image& image, uint32_t n, const PlaneRef* dst);
// One plane from n: with one source a copy brought to the target depth;
// otherwise the mean of the n samples, each first given the level offset that
// moves its component to the target's signedness (rounded half up).
void AverageComponents(const PlaneRef* src, const DJP2BitDepth* depths, uint32_t n, const PlaneRef& dst,
                       const DJP2BitDepth& target, IntPair size);
// n planes of srcSize onto m planes of dstSize: plane by plane when n = m
// (re-sized, brought to targetBits unsigned and clamped to that depth's
// range), else averaged into one plane that every destination receives.
void MapComponentsToPlanes(const PlaneRef* src, const DJP2BitDepth* depths, uint32_t n, IntPair srcSize,
                           const PlaneRef* dst, int32_t targetBits, bool targetSigned, uint32_t m, IntPair dstSize);
