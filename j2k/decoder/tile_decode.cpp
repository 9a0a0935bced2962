// From decoded coefficients to component samples: sign-magnitude words to
// two's complement, dequantisation to float on the irreversible path, the
// inverse wavelet into the caller's plane, then the finishing of all the
// tile's components together.
#include <cmath>
#include <cstddef>
#include <vector>

#include "j2k/decoder/component_output.h"
#include "j2k/decoder/geometry.h"
#include "j2k/decoder/inverse_wavelet.h"
#include "j2k/decoder/tile.h"
#include "primitives/core/set.h"
#include "primitives/image/arith/arith.h"
#include "primitives/image/shift/shift.h"
#include "primitives/vector/convert.h"

namespace {

// Calls f on every band plane of the component: LL, then per level HL, LH, HH.
template <class F>
void ForEachPlane(SubbandPlanes& planes, F f) {
    f(planes.ll, 0u, 0u);
    for (uint32_t i = 0; i < planes.levels; ++i) {
        f(planes.level[i].hl, i, 2u);
        f(planes.level[i].lh, i, 1u);
        f(planes.level[i].hh, i, 3u);
    }
}

bool HasSamples(const DJP2PlaneBuffer& p) { return p.Ref().data && p.Size().first > 0 && p.Size().second > 0; }

// The quantisation step of a band, (mantissa, exponent).
struct BandStep {
    int32_t mantissa = 0, exponent = 0;
};

} // namespace

void DJP2Tile::Dequantize(SubbandPlanes& planes, const DJP2QuantParams& q, uint32_t precisionMinusOne,
                          uint32_t levelsDropped) {
    const int32_t r = int32_t(precisionMinusOne) + 1;
    const uint32_t levels = planes.levels;
    // Derived steps: the base step for LL and the coarsest level, one exponent
    // less for each finer level of the component's full level count.
    const uint32_t fullLevels = levels + levelsDropped;
    auto step = [&](uint32_t i, uint32_t o) -> BandStep {
        if (q.style == 1) {
            const IntPair d = q.derivedStep;
            if (o == 0)
                return {d.first, d.second};
            const uint32_t k = i + levelsDropped;
            return {d.first, d.second - int32_t(fullLevels - 1 - k)};
        }
        if (o == 0)
            return {q.llStep.first, q.llStep.second};
        if (q.levelCount < levels)
            ThrowDiagn<DJP2CSException, 7>();
        const DJP2QuantTriple& t = q.levelSteps[i + (q.levelCount - levels)];
        const IntPair p = o == 2 ? t.hl : o == 1 ? t.lh : t.hh;
        return {p.first, p.second};
    };
    ForEachPlane(planes, [&](DJP2PlaneBuffer& p, uint32_t i, uint32_t o) {
        if (!HasSamples(p))
            return;
        const BandStep s = step(i, o);
        const int32_t rb = r + (o == 0 ? 0 : o == 3 ? 2 : 1);
        const double value = std::ldexp(1.0 + s.mantissa / 2048.0, rb - s.exponent);
        mulConstInPlace32fC1(float(value), reinterpret_cast<float*>(p.Ref().data), p.Ref().step, p.Size().first,
                             p.Size().second);
    });
}

void DJP2Tile::DecodeComponent(uint32_t c, const PlaneRef& out, uint32_t /*reduction: the planes have it*/) {
    SubbandPlanes& planes = planes_[c];
    if (planes.rect.Empty())
        return;
    ForEachPlane(planes, [](DJP2PlaneBuffer& p, uint32_t, uint32_t) {
        if (HasSamples(p))
            toSignMagnitudeInPlace32sC1(reinterpret_cast<int32_t*>(p.Ref().data), p.Ref().step, p.Size().first,
                                        p.Size().second);
    });
    if (coding_.style[c]->transform == 1) {
        inverseDwt53(planes, out, planes.rect);
        return;
    }
    SubbandPlanes floats;
    floats.Build(planes.rect, planes.levels);
    auto convert = [](const DJP2PlaneBuffer& from, DJP2PlaneBuffer& to) {
        if (!HasSamples(from))
            return;
        for (int32_t y = 0; y < from.Size().second; ++y)
            convertVector32sTo32f(from.Row(y), reinterpret_cast<float*>(to.Row(y)), from.Size().first, 0);
    };
    convert(planes.ll, floats.ll);
    for (uint32_t i = 0; i < planes.levels; ++i) {
        convert(planes.level[i].hl, floats.level[i].hl);
        convert(planes.level[i].lh, floats.level[i].lh);
        convert(planes.level[i].hh, floats.level[i].hh);
    }
    // Midpoint reconstruction: the code-block decoder leaves a coefficient
    // cut at bit-plane p > 0 at the middle of its interval (half of 2^p above
    // the decoded bits), but one decoded down to the last bit-plane at the
    // interval's lower end. Those get their half step here, so every
    // dequantised value sits at the middle of its quantisation interval.
    auto midpoints = [&](DJP2Band& band, const DJP2PlaneBuffer& ints, DJP2PlaneBuffer& f) {
        if (!HasSamples(ints))
            return;
        for (uint32_t p = 0; p < band.precincts.Count(); ++p)
            for (uint32_t k = 0; k < band.precincts[p].blocks.Count(); ++k) {
                const DJP2CodeBlock& b = band.precincts[p].blocks[k];
                const DJP2CodeBlock::LastPlane reach = b.LastPlaneReached();
                if (reach == DJP2CodeBlock::LastPlane::none)
                    continue;
                const bool onesOnly = reach == DJP2CodeBlock::LastPlane::newlySignificant;
                const ptrdiff_t offset = b.plane.data - ints.Ref().data;
                const ptrdiff_t y0 = offset / ints.Ref().step, x0 = (offset % ints.Ref().step) / 4;
                for (uint32_t y = 0; y < b.rect.height; ++y) {
                    float* row = reinterpret_cast<float*>(f.Row(int32_t(y0 + y))) + x0;
                    for (uint32_t x = 0; x < b.rect.width; ++x)
                        if (row[x] != 0 && (!onesOnly || std::fabs(row[x]) == 1.0f))
                            row[x] += row[x] > 0 ? 0.5f : -0.5f;
                }
            }
    };
    if (packetsBuilt_) {
        DJP2TileComponentPackets& pk = packets_[c];
        midpoints(pk.ll, planes.ll, floats.ll);
        for (uint32_t i = 0; i < planes.levels && i < pk.levels.Count(); ++i) {
            midpoints(pk.levels[i].hl, planes.level[i].hl, floats.level[i].hl);
            midpoints(pk.levels[i].lh, planes.level[i].lh, floats.level[i].lh);
            midpoints(pk.levels[i].hh, planes.level[i].hh, floats.level[i].hh);
        }
    }
    const uint32_t full = coding_.style[c]->levels;
    Dequantize(floats, *coding_.quant[c], header_->ssiz[c] & 0x7F, full > planes.levels ? full - planes.levels : 0);
    inverseDwt97(floats, out, planes.rect);
}

void DJP2Tile::WriteComponents(const PlaneRef* outputs, uint32_t reduction) {
    const uint32_t n = header_->componentCount;
    if (packetsBuilt_) {
        FinishCodeBlocks();
    } else {
        // No packet reached this tile: its coefficients are all zero.
        BuildPlanes(reduction);
        for (uint32_t c = 0; c < n; ++c)
            ForEachPlane(planes_[c], [](DJP2PlaneBuffer& p, uint32_t, uint32_t) {
                if (HasSamples(p))
                    setRoi8uC1(0, p.Ref().data, p.Ref().step, PrimSize{4 * p.Size().first, p.Size().second});
            });
    }
    std::vector<DJP2ComponentOutput> comps(n);
    for (uint32_t c = 0; c < n; ++c) {
        DecodeComponent(c, outputs[c], reduction);
        DJP2ComponentOutput& o = comps[c];
        o.plane = outputs[c];
        o.size = IntPair(int32_t(planes_[c].rect.width), int32_t(planes_[c].rect.height));
        o.depth = DJP2BitDepth(header_->ssiz[c] & 0x7F, (header_->ssiz[c] & 0x80) != 0);
        o.sampling = header_->sampling[c];
        o.reversible = coding_.style[c]->transform == 1 ? 1 : 0;
    }
    FinishTileComponents(comps.data(), n, transformAllowed && coding_.cod.mct, ScaleRectUp(rect_, reduction));
}
