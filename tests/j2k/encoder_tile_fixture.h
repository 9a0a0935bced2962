// Hand-made packet structures for the packet writer and rate allocation
// tests: one component without decomposition whose LL band holds one
// precinct of code-blocks with given coding passes.
#pragma once

#include <cstdint>
#include <vector>

#include "j2k/encoder/codeblock_stage.h"

namespace j2ktest {

struct BlockPlan {
    std::vector<uint32_t> passEnds;  // cumulative lengths
    std::vector<int32_t> layers;     // per pass (default 0)
    uint32_t zeroPlanes = 0;
    std::vector<double> distortions;  // cumulative, per pass (default 0)
};

// One component, no decomposition: the LL band holds one precinct with the
// given code-blocks, `columns` across; the bytes of block i are 0x10 * (i+1) + k.
inline EncoderTile MakeTile(const std::vector<BlockPlan>& plans, uint32_t columns) {
    EncoderTile tile;
    tile.components.resize(1);
    EncoderBand& band = tile.components[0].ll;
    band.precincts.resize(1);
    EncoderPrecinct& p = band.precincts[0];
    const uint32_t rows = static_cast<uint32_t>(plans.size()) / columns;
    p.blocks.resize(plans.size());
    p.inclusion.Resize(columns, rows);
    p.zeroPlanes.Resize(columns, rows);
    for (size_t i = 0; i < plans.size(); ++i) {
        EncoderCodeBlock& cb = p.blocks[i];
        cb.missingPlanes = plans[i].zeroPlanes;
        const uint32_t total = plans[i].passEnds.empty() ? 0 : plans[i].passEnds.back();
        for (uint32_t k = 0; k < total; ++k)
            cb.bytes.push_back(uint8_t(0x10 * (i + 1) + k));
        uint32_t start = 0;
        for (size_t k = 0; k < plans[i].passEnds.size(); ++k) {
            CodingPass pass;
            pass.start = start;
            pass.end = plans[i].passEnds[k];
            pass.layer = k < plans[i].layers.size() ? plans[i].layers[k] : 0;
            pass.distortion = k < plans[i].distortions.size() ? plans[i].distortions[k] : 0.0;
            start = pass.end;
            cb.passes.push_back(pass);
        }
        cb.passCount = static_cast<uint32_t>(cb.passes.size());
        for (CodingPass& pass : cb.passes)
            pass.data = cb.bytes.data() + pass.start;
    }
    return tile;
}

} // namespace j2ktest
