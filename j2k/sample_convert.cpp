// Decoded-sample conversion helpers.
#include "j2k/sample_convert.h"

#include <cstddef>
#include <vector>

#include "primitives/core/border.h"
#include "primitives/core/copy.h"
#include "primitives/image/shift/shift.h"
#include "primitives/resample/resize_gen.h"
#include "primitives/vector/const_shift.h"
#include "primitives/vector/convert.h"

namespace {

constexpr int32_t kCubic = 4;

bool Empty(IntPair s) { return s.first <= 0 || s.second <= 0; }

int32_t* Row32(const PlaneRef& p, int32_t y) {
    return reinterpret_cast<int32_t*>(p.data + static_cast<ptrdiff_t>(y) * p.step);
}
float* RowF(const PlaneRef& p, int32_t y) { return reinterpret_cast<float*>(Row32(p, y)); }

// 2^bits as a 32-bit offset; precisions beyond the 32-bit range saturate.
int32_t LevelOffset(int32_t bits) {
    if (bits < 0)
        return 0;
    return bits >= 31 ? INT32_MAX : int32_t(1) << bits;
}

void ToFloat(const PlaneRef& src, const PlaneRef& dst, IntPair size) {
    for (int32_t y = 0; y < size.second; ++y)
        convertVector32sTo32f(Row32(src, y), RowF(dst, y), size.first, 0);
}

void ToInt(const PlaneRef& src, const PlaneRef& dst, IntPair size) {
    for (int32_t y = 0; y < size.second; ++y)
        convertVector32fTo32s(RowF(src, y), Row32(dst, y), size.first, 1, 0);
}

void CopyFloat(const PlaneRef& src, const PlaneRef& dst, IntPair size) {
    copyRoi32sC1(reinterpret_cast<const int32_t*>(src.data), src.step, reinterpret_cast<int32_t*>(dst.data), dst.step,
                 PrimSize{size.first, size.second});
}

// The float source on a plane two samples larger on every side, the margins
// repeating the edge samples, so that the cubic kernel has its neighbours
// and every destination sample lies within the source.
constexpr int32_t kPad = 2;
void PadFloat(const PlaneRef& src, IntPair size, DJP2PlaneBuffer& padded) {
    padded.Allocate(uint32_t(size.first) + 2 * kPad, uint32_t(size.second) + 2 * kPad);
    copyReplicateBorder32sC1(reinterpret_cast<const int32_t*>(src.data), src.step, PrimSize{size.first, size.second},
                             reinterpret_cast<int32_t*>(padded.Ref().data), padded.Ref().step,
                             PrimSize{size.first + 2 * kPad, size.second + 2 * kPad}, kPad, kPad);
}

void CenteredResize(const DJP2PlaneBuffer& padded, const PlaneRef& dst, IntPair dstSize, double fx, double fy,
                    double cx, double cy) {
    const IntPair ps = padded.Size();
    resizeByFactorsCentered32fC1(reinterpret_cast<const float*>(padded.Ref().data), PrimSize{ps.first, ps.second},
                                 padded.Ref().step, PrimRect{0, 0, ps.first, ps.second},
                                 reinterpret_cast<float*>(dst.data), dst.step, PrimSize{dstSize.first, dstSize.second},
                                 fx, fy, cx, cy, kCubic);
}

IntPair SizeOf(const J2KRect& r) { return IntPair(int32_t(r.width), int32_t(r.height)); }

bool IsIdentity(IntPair factors, IntPair a, IntPair b) {
    return factors.first == 1 && factors.second == 1 && a.first == b.first && a.second == b.second;
}

} // namespace

void ShiftPlane32(const PlaneRef& plane, IntPair size, int32_t n) {
    if (n == 0 || Empty(size))
        return;
    int32_t* data = reinterpret_cast<int32_t*>(plane.data);
    if (n > 0)
        shiftLeftConstInPlace32sC1(uint32_t(n), data, plane.step, size.first, size.second);
    else
        shiftRightConstInPlace32sC1(uint32_t(-int64_t(n)), data, plane.step, size.first, size.second);
}

void AddConstPlane32(const PlaneRef& plane, IntPair size, int32_t c) {
    if (c == 0 || Empty(size))
        return;
    for (int32_t y = 0; y < size.second; ++y)
        addVectorConstInPlace32sScaled(c, Row32(plane, y), size.first, 0);
}

void ClampPlane(const PlaneRef& plane, IntPair size, int32_t low, int32_t high) {
    if (Empty(size))
        return;
    for (int32_t y = 0; y < size.second; ++y) {
        clampVectorMinInPlace32s(Row32(plane, y), size.first, low);
        clampVectorMaxInPlace32s(Row32(plane, y), size.first, high);
    }
}

void AdjustSampleDepth(const PlaneRef& plane, IntPair size, int32_t srcBits, bool srcSigned, int32_t dstBits,
                       bool dstSigned) {
    if (Empty(size))
        return;
    ShiftPlane32(plane, size, dstBits - srcBits);
    if (srcSigned && !dstSigned)
        AddConstPlane32(plane, size, LevelOffset(dstBits));
    else if (!srcSigned && dstSigned)
        for (int32_t y = 0; y < size.second; ++y)
            subVectorConstInPlace32sScaled(LevelOffset(dstBits), Row32(plane, y), size.first, 0);
}

void CopyPlane32(const PlaneRef& src, const PlaneRef& dst, IntPair size) {
    if (Empty(size))
        return;
    copyRoi32sC1(reinterpret_cast<const int32_t*>(src.data), src.step, reinterpret_cast<int32_t*>(dst.data), dst.step,
                 PrimSize{size.first, size.second});
}

void ResamplePlane32(const PlaneRef& src, IntPair srcSize, const PlaneRef& dst, IntPair dstSize) {
    if (Empty(srcSize) || Empty(dstSize))
        return;
    if (srcSize.first == dstSize.first && srcSize.second == dstSize.second) {
        CopyPlane32(src, dst, srcSize);
        return;
    }
    DJP2PlaneBuffer a, b;
    a.Allocate(uint32_t(srcSize.first), uint32_t(srcSize.second));
    b.Allocate(uint32_t(dstSize.first), uint32_t(dstSize.second));
    ToFloat(src, a.Ref(), srcSize);
    // Centred on the middle of both planes, the centred resize maps source
    // coordinate s to destination factor x s: a plain resize of the whole plane.
    const double fx = double(dstSize.first) / srcSize.first, fy = double(dstSize.second) / srcSize.second;
    resizeByFactorsCentered32fC1(reinterpret_cast<const float*>(a.Ref().data), PrimSize{srcSize.first, srcSize.second},
                                 a.Ref().step, PrimRect{0, 0, srcSize.first, srcSize.second},
                                 reinterpret_cast<float*>(b.Ref().data), b.Ref().step,
                                 PrimSize{dstSize.first, dstSize.second}, fx, fy, srcSize.first / 2.0,
                                 srcSize.second / 2.0, kCubic);
    ToInt(b.Ref(), dst, dstSize);
}

void UpsampleComponentFloat(const PlaneRef& src, IntPair compSize, IntPair factors, const PlaneRef& dst,
                            const J2KRect& imageRect) {
    const IntPair imageSize = SizeOf(imageRect);
    if (Empty(compSize) || Empty(imageSize))
        return;
    if (IsIdentity(factors, compSize, imageSize)) {
        CopyFloat(src, dst, compSize);
        return;
    }
    // Component coordinate k lies at reference coordinate k XRsiz, that is
    // image column k XRsiz + px with px = (-x0) mod XRsiz. The centred resize
    // works on sample centres: destination column d samples the source at
    // cx + (d + 1/2 - W / 2) / XRsiz - 1/2; this centre makes that the padded
    // position kPad + (d - px) / XRsiz.
    DJP2PlaneBuffer padded;
    PadFloat(src, compSize, padded);
    const uint32_t xr = uint32_t(factors.first), yr = uint32_t(factors.second);
    const uint32_t px = (xr - imageRect.x0 % xr) % xr, py = (yr - imageRect.y0 % yr) % yr;
    const double cx = kPad + 0.5 + (imageSize.first / 2.0 - px - 0.5) / xr;
    const double cy = kPad + 0.5 + (imageSize.second / 2.0 - py - 0.5) / yr;
    CenteredResize(padded, dst, imageSize, xr, yr, cx, cy);
}

void UpsampleComponent(const PlaneRef& src, IntPair compSize, IntPair factors, const PlaneRef& dst,
                       const J2KRect& imageRect) {
    const IntPair imageSize = SizeOf(imageRect);
    if (Empty(compSize) || Empty(imageSize))
        return;
    if (IsIdentity(factors, compSize, imageSize)) {
        CopyPlane32(src, dst, compSize);
        return;
    }
    DJP2PlaneBuffer source, image;
    source.Allocate(uint32_t(compSize.first), uint32_t(compSize.second));
    image.Allocate(imageRect.width, imageRect.height);
    ToFloat(src, source.Ref(), compSize);
    UpsampleComponentFloat(source.Ref(), compSize, factors, image.Ref(), imageRect);
    ToInt(image.Ref(), dst, imageSize);
}

// Each component sample is taken from the image-grid position it sits on:
// component coordinate k lies at reference coordinate k XRsiz, that is image
// column k XRsiz + ((-x0) mod XRsiz) (likewise for rows). Sampling there covers every
// component sample; a centred cubic reduction from a plane padded on one side
// only would leave the last component columns and rows unwritten.
void DownsampleComponentFloat(const PlaneRef& src, const J2KRect& imageRect, const PlaneRef& dst, IntPair compSize,
                              IntPair factors) {
    const IntPair imageSize = SizeOf(imageRect);
    if (Empty(compSize) || Empty(imageSize))
        return;
    if (IsIdentity(factors, compSize, imageSize)) {
        CopyFloat(src, dst, compSize);
        return;
    }
    const uint32_t xr = uint32_t(factors.first), yr = uint32_t(factors.second);
    const uint32_t px = (xr - imageRect.x0 % xr) % xr, py = (yr - imageRect.y0 % yr) % yr;
    auto clampTo = [](uint64_t v, int32_t size) { return int32_t(v < uint64_t(size) ? v : uint64_t(size - 1)); };
    for (int32_t i = 0; i < compSize.second; ++i) {
        const float* from = RowF(src, clampTo(uint64_t(i) * yr + py, imageSize.second));
        float* to = RowF(dst, i);
        for (int32_t k = 0; k < compSize.first; ++k)
            to[k] = from[clampTo(uint64_t(k) * xr + px, imageSize.first)];
    }
}

void DownsampleComponent(const PlaneRef& src, const J2KRect& imageRect, const PlaneRef& dst, IntPair compSize,
                         IntPair factors) {
    const IntPair imageSize = SizeOf(imageRect);
    if (Empty(compSize) || Empty(imageSize))
        return;
    if (IsIdentity(factors, compSize, imageSize)) {
        CopyPlane32(src, dst, compSize);
        return;
    }
    DJP2PlaneBuffer image, component;
    image.Allocate(imageRect.width, imageRect.height);
    component.Allocate(uint32_t(compSize.first), uint32_t(compSize.second));
    ToFloat(src, image.Ref(), imageSize);
    DownsampleComponentFloat(image.Ref(), imageRect, component.Ref(), compSize, factors);
    ToInt(component.Ref(), dst, compSize);
}

IntPair& CeilDivPair(IntPair& out, IntPair a, IntPair f) {
    out = IntPair(int32_t(CeilDivU32(uint32_t(a.first), uint32_t(f.first))),
                  int32_t(CeilDivU32(uint32_t(a.second), uint32_t(f.second))));
    return out;
}

J2KRect& CeilDivRect(J2KRect& out, const J2KRect& r, IntPair f) {
    const uint32_t fx = uint32_t(f.first), fy = uint32_t(f.second);
    const uint32_t x0 = CeilDivU32(r.x0, fx), y0 = CeilDivU32(r.y0, fy);
    const uint32_t x1 = uint32_t(CeilDivU64(uint64_t(r.x0) + r.width, fx));
    const uint32_t y1 = uint32_t(CeilDivU64(uint64_t(r.y0) + r.height, fy));
    out = J2KRect(x0, y0, x1 - x0, y1 - y0);
    return out;
}

void AttachComponentPlanes(const DJP2PlaneBuffer* components, PlaneRef* refs, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        refs[i] = components[i].Ref();
}

void ConvertComponentTo8u(const PlaneRef& src, const DJP2BitDepth& depth, IntPair size, const PlaneRef& dst) {
    CopyPlane32(src, dst, size);
    AdjustSampleDepth(dst, size, depth.bits, depth.isSigned != 0, 7, false);
    ClampPlane(dst, size, 0, 255);
}

void ConvertComponentsTo8u(DJP2Image& image, uint32_t n, const PlaneRef* dst) {
    const uint32_t count = n < image.NComponents() ? n : image.NComponents();
    for (uint32_t i = 0; i < count; ++i) {
        const DJP2PlaneBuffer& c = image.Components()[i];
        ConvertComponentTo8u(c.Ref(), image.BitDepths()[i], c.Size(), dst[i]);
    }
}

void AverageComponents(const PlaneRef* src, const DJP2BitDepth* depths, uint32_t n, const PlaneRef& dst,
                       const DJP2BitDepth& target, IntPair size) {
    if (n == 0 || Empty(size))
        return;
    if (n == 1) {
        CopyPlane32(src[0], dst, size);
        AdjustSampleDepth(dst, size, depths[0].bits, depths[0].isSigned != 0, target.bits, target.isSigned != 0);
        return;
    }
    // Each sample is given the level offset that moves its component to the
    // target's signedness, then the n samples are averaged.
    std::vector<double> offset(n, 0.0);
    for (uint32_t i = 0; i < n; ++i) {
        if (target.isSigned && !depths[i].isSigned)
            offset[i] = -double(LevelOffset(depths[i].bits));
        else if (!target.isSigned && depths[i].isSigned)
            offset[i] = double(LevelOffset(depths[i].bits));
    }
    const double scale = 1.0 / n;
    for (int32_t y = 0; y < size.second; ++y) {
        int32_t* out = Row32(dst, y);
        for (int32_t x = 0; x < size.first; ++x) {
            double sum = 0;
            for (uint32_t i = 0; i < n; ++i)
                sum += double(Row32(src[i], y)[x]) + offset[i];
            out[x] = int32_t(sum * scale + 0.5);
        }
    }
}

void MapComponentsToPlanes(const PlaneRef* src, const DJP2BitDepth* depths, uint32_t n, IntPair srcSize,
                           const PlaneRef* dst, int32_t targetBits, bool targetSigned, uint32_t m, IntPair dstSize) {
    if (n == 0 || m == 0 || Empty(srcSize) || Empty(dstSize))
        return;
    // The largest value of the target depth (bits is the depth minus one).
    const int32_t high = targetBits >= 30 ? INT32_MAX : (int32_t(1) << (targetBits + 1)) - 1;
    if (n == m) {
        for (uint32_t i = 0; i < n; ++i) {
            ResamplePlane32(src[i], srcSize, dst[i], dstSize);
            AdjustSampleDepth(dst[i], dstSize, depths[i].bits, depths[i].isSigned != 0, targetBits, false);
            ClampPlane(dst[i], dstSize, 0, high);
        }
        return;
    }
    DJP2PlaneBuffer work;
    work.Allocate(uint32_t(srcSize.first), uint32_t(srcSize.second));
    AverageComponents(src, depths, n, work.Ref(), DJP2BitDepth(targetBits, targetSigned), srcSize);
    ResamplePlane32(work.Ref(), srcSize, dst[0], dstSize);
    for (uint32_t i = 1; i < m; ++i)
        CopyPlane32(dst[0], dst[i], dstSize);
}
