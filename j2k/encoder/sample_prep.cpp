// DC level shift, reversible component transform, float conversion and
// scalar quantisation of the encoder, row by row on the processor paths.
#include "j2k/encoder/sample_prep.h"

#include <cmath>

#include "j2k/encoder/codestream_writer.h"
#include "primitives/image/arith/arith.h"
#include "primitives/j2k/component.h"
#include "primitives/vector/const_shift.h"
#include "primitives/vector/convert.h"

namespace {

int32_t dcOffset(uint8_t ssiz) { return (ssiz & 0x80) ? 0 : (1 << (ssiz & 0x7F)); }

void shiftRows(int32_t* data, int32_t step, IntPair size, int32_t offset) {
    if (offset == 0)
        return;
    for (int32_t y = 0; y < size.second; ++y)
        subVectorConstInPlace32sScaled(offset, reinterpret_cast<int32_t*>(reinterpret_cast<uint8_t*>(data) +
                                                                         intptr_t(y) * step),
                                       size.first, 0);
}

} // namespace

void prepareSamples(ComponentPlanes& planes, const J2KEncodeParams& params, uint8_t ssiz0) {
    const uint32_t n = planes.Count();
    const int32_t offset = dcOffset(ssiz0);
    if (params.reversible) {
        if (params.useComponentTransform && n == 3) {
            const IntPair size = planes.Size(0);
            for (int32_t y = 0; y < size.second; ++y) {
                int32_t* rows[3];
                for (uint32_t c = 0; c < 3; ++c) {
                    rows[c] = reinterpret_cast<int32_t*>(reinterpret_cast<uint8_t*>(planes.Data(c)) +
                                                         intptr_t(y) * planes.Step(c));
                    if (offset)
                        subVectorConstInPlace32sScaled(offset, rows[c], size.first, 0);
                }
                // One row: the three rows need not share a step.
                forwardRct32s(rows, 4 * size.first, size.first, 1);
            }
        } else {
            for (uint32_t c = 0; c < n; ++c)
                shiftRows(planes.Data(c), planes.Step(c), planes.Size(c), offset);
        }
        return;
    }
    if (params.useComponentTransform && n == 3)
        return;  // no component transform exists on the irreversible path
    for (uint32_t c = 0; c < n; ++c) {
        const IntPair size = planes.Size(c);
        shiftRows(planes.Data(c), planes.Step(c), size, offset);
        for (int32_t y = 0; y < size.second; ++y) {
            int32_t* row =
                reinterpret_cast<int32_t*>(reinterpret_cast<uint8_t*>(planes.Data(c)) + intptr_t(y) * planes.Step(c));
            convertVector32sTo32f(row, reinterpret_cast<float*>(row), size.first, 0);
        }
    }
}

double bandStepSize(const IntPair& pair, int32_t r) {
    const long double step =
        std::ldexp(1.0L, r - pair.second) * (1.0L + static_cast<long double>(pair.first) / 2048.0L);
    return static_cast<double>(step);
}

void scaleBand(DJP2PlaneBuffer& band, double step) {
    const IntPair size = band.Size();
    if (size.first <= 0 || size.second <= 0)
        return;
    const float factor = static_cast<float>(1.0 / step);
    mulConstInPlace32fC1(factor, reinterpret_cast<float*>(band.Ref().data), band.Ref().step, size.first,
                         size.second);
}

void scaleBandsBySteps(SubbandPlanes& planes, const DJP2QuantParams& record, int32_t ri) {
    for (uint32_t i = 0; i < planes.levels && i < record.levelSteps.Count(); ++i) {
        const DJP2QuantTriple& t = record.levelSteps[i];
        scaleBand(planes.level[i].hl, bandStepSize(t.hl, ri + 1));
        scaleBand(planes.level[i].lh, bandStepSize(t.lh, ri + 1));
        scaleBand(planes.level[i].hh, bandStepSize(t.hh, ri + 2));
    }
    scaleBand(planes.ll, bandStepSize(record.llStep, ri));
}

namespace {

void quantiseBand(DJP2PlaneBuffer& band) {
    const IntPair size = band.Size();
    for (int32_t y = 0; y < size.second && size.first > 0; ++y) {
        int32_t* row = band.Row(y);
        convertVector32fTo32s(reinterpret_cast<const float*>(row), row, size.first, 1, 0);
    }
}

} // namespace

void quantiseBands(SubbandPlanes& planes) {
    quantiseBand(planes.ll);
    for (uint32_t i = 0; i < planes.levels; ++i) {
        quantiseBand(planes.level[i].lh);
        quantiseBand(planes.level[i].hl);
        quantiseBand(planes.level[i].hh);
    }
}
