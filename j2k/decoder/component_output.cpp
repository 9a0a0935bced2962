// Inverse component transform and sample output of a tile.
#include "j2k/decoder/component_output.h"

#include <cstddef>

#include "j2k/decoder/inverse_wavelet.h"
#include "j2k/diagnostics.h"
#include "j2k/sample_convert.h"
#include "primitives/j2k/component.h"
#include "primitives/vector/const_shift.h"
#include "primitives/vector/convert.h"

namespace {

int32_t* Row32(const PlaneRef& p, int32_t y) {
    return reinterpret_cast<int32_t*>(p.data + static_cast<ptrdiff_t>(y) * p.step);
}
float* RowF(const PlaneRef& p, int32_t y) { return reinterpret_cast<float*>(Row32(p, y)); }
int16_t* Row16(const PlaneRef& p, int32_t y) {
    return reinterpret_cast<int16_t*>(p.data + static_cast<ptrdiff_t>(y) * p.step);
}

// 2^bits, saturated to the 32-bit range.
int32_t Offset(int32_t bits) { return bits >= 31 ? INT32_MAX : int32_t(1) << bits; }

bool Empty(IntPair s) { return s.first <= 0 || s.second <= 0; }

// How one component is finished after its samples are in its final domain.
enum class Clamp { none, unsignedOnly, always };

void FinishRow(int32_t* row, int32_t width, const DJP2BitDepth& d, bool fromFloat, Clamp clamp) {
    if (fromFloat)
        convertVector32fTo32s(reinterpret_cast<const float*>(row), row, width, 1, 0);
    const int32_t bits = d.bits;
    if (d.isSigned) {
        if (fromFloat && clamp == Clamp::always) {
            const int32_t half = Offset(bits);
            clampVectorMinInPlace32s(row, width, half == INT32_MAX ? INT32_MIN : -half);
            clampVectorMaxInPlace32s(row, width, half == INT32_MAX ? INT32_MAX : half - 1);
        }
        return;
    }
    addVectorConstInPlace32sScaled(Offset(bits), row, width, 0);
    if (fromFloat && clamp != Clamp::none) {
        clampVectorMinInPlace32s(row, width, 0);
        clampVectorMaxInPlace32s(row, width, bits >= 30 ? INT32_MAX : (Offset(bits + 1) - 1));
    }
}

void FinishPlane(const DJP2ComponentOutput& c, bool fromFloat, Clamp clamp) {
    if (Empty(c.size))
        return;
    for (int32_t y = 0; y < c.size.second; ++y)
        FinishRow(Row32(c.plane, y), c.size.first, c.depth, fromFloat, clamp);
}

// Brings a plane to the float (toFloat) or integer domain.
void ToDomain(const DJP2ComponentOutput& c, bool toFloat) {
    if (Empty(c.size) || (c.reversible != 0) == !toFloat)
        return;
    for (int32_t y = 0; y < c.size.second; ++y) {
        if (toFloat)
            convertVector32sTo32f(Row32(c.plane, y), RowF(c.plane, y), c.size.first, 0);
        else
            convertVector32fTo32s(RowF(c.plane, y), Row32(c.plane, y), c.size.first, 1, 0);
    }
}

bool SameSize(IntPair a, IntPair b) { return a.first == b.first && a.second == b.second; }

// The colour transform of three components of different sizes on the tile's
// grid: each brought up to it, transformed, and brought back.
void ResampledComponentTransform(const DJP2ComponentOutput* comps, bool reversible, const J2KRect& tileRect) {
    const IntPair size(int32_t(tileRect.width), int32_t(tileRect.height));
    if (Empty(size))
        return;
    DJP2PlanarImage<int32_t> full;
    full.Allocate(tileRect.width, tileRect.height, 3);
    for (uint32_t k = 0; k < 3; ++k) {
        const DJP2ComponentOutput& c = comps[k];
        if (reversible)
            UpsampleComponent(c.plane, c.size, c.sampling, full.Plane(k), tileRect);
        else
            UpsampleComponentFloat(c.plane, c.size, c.sampling, full.Plane(k), tileRect);
    }
    const int32_t step = full.Plane(0).step;
    if (reversible) {
        int32_t* const planes[3] = {Row32(full.Plane(0), 0), Row32(full.Plane(1), 0), Row32(full.Plane(2), 0)};
        inverseRct32s(planes, step, size.first, size.second);
    } else {
        float* const planes[3] = {RowF(full.Plane(0), 0), RowF(full.Plane(1), 0), RowF(full.Plane(2), 0)};
        inverseIct32f(planes, step, size.first, size.second);
    }
    for (uint32_t k = 0; k < 3; ++k) {
        const DJP2ComponentOutput& c = comps[k];
        if (reversible)
            DownsampleComponent(full.Plane(k), tileRect, c.plane, c.size, c.sampling);
        else
            DownsampleComponentFloat(full.Plane(k), tileRect, c.plane, c.size, c.sampling);
    }
}

// The colour transform row by row on three components of one size.
void RowComponentTransform(const DJP2ComponentOutput* comps, bool reversible) {
    const IntPair s = comps[0].size;
    if (Empty(s))
        return;
    for (int32_t y = 0; y < s.second; ++y) {
        if (reversible) {
            int32_t* const rows[3] = {Row32(comps[0].plane, y), Row32(comps[1].plane, y), Row32(comps[2].plane, y)};
            inverseRct32s(rows, 4 * s.first, s.first, 1);
        } else {
            float* const rows[3] = {RowF(comps[0].plane, y), RowF(comps[1].plane, y), RowF(comps[2].plane, y)};
            inverseIct32f(rows, 4 * s.first, s.first, 1);
        }
    }
}

} // namespace

bool NeedsComponentResampling(const DJP2ComponentOutput* comps, uint32_t n) {
    if (n != 3)
        return false;
    for (uint32_t k = 0; k < 3; ++k)
        if (comps[k].sampling.first != 1 || comps[k].sampling.second != 1)
            return true;
    return false;
}

void FinishTileComponents(const DJP2ComponentOutput* comps, uint32_t n, bool transform, const J2KRect& tileRect) {
    transform = transform && n >= 3;
    const bool rct = n > 0 && comps[0].reversible != 0;
    const bool resampled = NeedsComponentResampling(comps, n);
    uint32_t first = 0;
    if (transform) {
        for (uint32_t k = 0; k < 3; ++k)
            ToDomain(comps[k], !rct);
        // Components of unequal sizes cannot be combined sample by sample;
        // with a fourth component they are resampled like three would be.
        const bool unequal = !SameSize(comps[0].size, comps[1].size) || !SameSize(comps[0].size, comps[2].size);
        if (resampled || unequal)
            ResampledComponentTransform(comps, rct, tileRect);
        else
            RowComponentTransform(comps, rct);
        for (uint32_t k = 0; k < 3; ++k)
            FinishPlane(comps[k], !rct, resampled ? Clamp::none : Clamp::always);
        first = 3;
    }
    for (uint32_t c = first; c < n; ++c)
        FinishPlane(comps[c], comps[c].reversible == 0, resampled ? Clamp::none : Clamp::unsignedOnly);
}

void FinishTileComponents16(const DJP2ComponentOutput* comps, uint32_t n, bool transform) {
    if (NeedsComponentResampling(comps, n))
        ThrowDiagn<DJP2CSUnsuppException, 18>();
    transform = transform && n >= 3;
    if (transform) {
        const IntPair s = comps[0].size;
        for (int32_t y = 0; y < s.second && s.first > 0; ++y) {
            int16_t* const rows[3] = {Row16(comps[0].plane, y), Row16(comps[1].plane, y), Row16(comps[2].plane, y)};
            if (comps[0].reversible)
                inverseRct16s(rows, 2 * s.first, s.first, 1);
            else
                inverseIct16s(rows, 2 * s.first, s.first, 1);
        }
    }
    for (uint32_t c = 0; c < n; ++c) {
        const DJP2ComponentOutput& comp = comps[c];
        if (Empty(comp.size))
            continue;
        // The transformed components carry component 0's domain.
        const bool fraction = (transform && c < 3) ? comps[0].reversible == 0 : comp.reversible == 0;
        const int32_t bits = comp.depth.bits;
        for (int32_t y = 0; y < comp.size.second; ++y) {
            int16_t* row = Row16(comp.plane, y);
            const int32_t w = comp.size.first;
            if (fraction && comp.depth.isSigned) {
                shiftRightVectorConstInPlace16s(4, row, w);
            } else if (fraction) {
                // (v + 2^(p + 3)) / 16 rounded; the offset is split off when
                // it does not fit a 16-bit constant.
                if (bits + 4 <= 14) {
                    addVectorConstInPlace16sScaled(int32_t(1) << (bits + 4), row, w, 4);
                } else {
                    addVectorConstInPlace16sScaled(0, row, w, 4);
                    addVectorConstInPlace16sScaled(bits <= 14 ? int32_t(1) << bits : 32767, row, w, 0);
                }
            } else if (!comp.depth.isSigned) {
                addVectorConstInPlace16sScaled(bits <= 14 ? int32_t(1) << bits : 32767, row, w, 0);
            }
        }
    }
}

namespace {

// One band to 16 bits: saturated integers (5/3), or the dequantised value
// with four fraction bits (9/7). The product and shift are formed in 64 bits
// and saturated once, so large coefficients clip instead of wrapping.
void BandTo16(const DJP2PlaneBuffer& src, const DJP2PlaneBuffer& dst, bool reversible, const DJP2BandStep16& q) {
    const IntPair s = src.Size();
    if (Empty(s))
        return;
    const int32_t shift = q.eps - q.rb + 11;
    const int64_t scale = int64_t(16) * (2048 + q.mu);
    for (int32_t y = 0; y < s.second; ++y) {
        const int32_t* from = Row32(src.Ref(), y);
        int16_t* to = Row16(dst.Ref(), y);
        if (reversible) {
            convertVector32sTo16s(from, to, s.first);
            continue;
        }
        for (int32_t x = 0; x < s.first; ++x) {
            int64_t v = from[x] * scale;  // below 2^48 in magnitude
            if (shift >= 0) {
                v = shift >= 63 ? (v < 0 ? -1 : 0) : v >> shift;
            } else {
                // A left shift: anything non-zero past 2^15 saturates anyway.
                const int64_t limit = int64_t(1) << 40;
                v = v > limit ? limit : v < -limit ? -limit : v;
                v = -shift >= 20 ? v * (int64_t(1) << 20) : v * (int64_t(1) << -shift);
            }
            v = v < -32768 ? -32768 : v > 32767 ? 32767 : v;
            to[x] = int16_t(v);
        }
    }
}

} // namespace

void ReconstructComponent16(const SubbandPlanes& coefficients, bool reversible, const DJP2BandStep16& llStep,
                            const DJP2BandStep16 (*steps)[3], const PlaneRef& out) {
    SubbandPlanes planes;
    planes.Build(coefficients.rect, coefficients.levels);
    for (uint32_t i = 0; i < coefficients.levels; ++i) {
        const SubbandLevelPlanes& from = coefficients.level[i];
        const SubbandLevelPlanes& to = planes.level[i];
        BandTo16(from.hl, to.hl, reversible, steps ? steps[i][0] : DJP2BandStep16());
        BandTo16(from.lh, to.lh, reversible, steps ? steps[i][1] : DJP2BandStep16());
        BandTo16(from.hh, to.hh, reversible, steps ? steps[i][2] : DJP2BandStep16());
    }
    BandTo16(coefficients.ll, planes.ll, reversible, llStep);
    if (reversible)
        inverseDwt53Int16(planes, out, coefficients.rect);
    else
        inverseDwt97Int16(planes, out, coefficients.rect);
}
