// The order of a whole encoding: main header, tile-part header, tile data
// and EOC; and the tile pipeline from component planes to packets.
#include <array>
#include <vector>

#include "j2k/encoder/codeblock_stage.h"
#include "j2k/encoder/codestream_writer.h"
#include "j2k/encoder/forward_wavelet.h"
#include "j2k/encoder/packet_writer.h"
#include "j2k/encoder/rate_allocation.h"
#include "j2k/encoder/sample_prep.h"

void encodeCodestream(CodestreamBuffer& out, uint16_t componentCount, const uint8_t* ssiz, uint8_t levels,
                      ComponentPlanes& planes, int32_t nominalDepth, uint32_t rawSize, const J2KEncodeParams& params) {
    CodestreamBuffer local;
    writeCodestream(local, componentCount, ssiz, levels, planes, nominalDepth, rawSize, params);
    out.MoveFrom(local, local.Size());
}

void writeCodestream(CodestreamBuffer& buffer, uint16_t componentCount, const uint8_t* ssiz, uint8_t levels,
                     ComponentPlanes& planes, int32_t nominalDepth, uint32_t rawSize, const J2KEncodeParams& params) {
    const IntPair size = planes.Size(0);
    writeSOC(buffer);
    writeSIZ(buffer, static_cast<uint32_t>(size.second), static_cast<uint32_t>(size.first), componentCount, ssiz,
             params.reversible != 0);
    writeCOD(buffer, 0, 1, componentCount == 3 ? params.useComponentTransform : 0, params.reversible, levels, 0,
             nullptr);
    writeQCD(buffer, levels, params, nominalDepth);
    writeSOT(buffer, 0, 0, 0, 1);
    writeSOD(buffer);
    encodeTile(buffer, levels, planes, ssiz[0], rawSize, params);
    writeEOC(buffer);
}

void encodeTile(CodestreamBuffer& buffer, uint8_t levels, ComponentPlanes& planes, uint8_t ssiz0, uint32_t rawSize,
                const J2KEncodeParams& params) {
    const uint32_t n = planes.Count();
    const int32_t depth = (ssiz0 & 0x7F) + 1;
    prepareSamples(planes, params, ssiz0);

    std::vector<SubbandPlanes> bands(n);
    std::vector<DJP2QuantParams> quant(n);
    std::vector<J2KRect> rects(n);
    for (uint32_t c = 0; c < n; ++c) {
        const IntPair size = planes.Size(c);
        rects[c] = J2KRect(0, 0, static_cast<uint32_t>(size.first), static_cast<uint32_t>(size.second));
        bands[c].Build(rects[c], levels);
        const PlaneRef source(planes.Data(c), planes.Step(c));
        if (params.reversible) {
            forwardDwt53(source, rects[c], bands[c]);
            setDefaultSteps(quant[c], depth, levels);
        } else {
            forwardDwt97(source, rects[c], bands[c]);
            if (setQualityTableSteps(params, quant[c], levels))
                scaleBandsBySteps(bands[c], quant[c], depth);
            else
                setDefaultSteps(quant[c], depth, levels);
            quantiseBands(bands[c]);
        }
    }

    std::array<uint32_t, 33> precinctExp, blockExp;
    precinctExp.fill(15);
    blockExp.fill(6);
    const std::vector<std::array<uint32_t, 33>> precincts(n, precinctExp), blocks(n, blockExp);
    const std::vector<uint32_t> depths(n, static_cast<uint32_t>(depth)), levelCounts(n, levels);
    EncoderTile tile;
    tile.setup(rects.data(), precincts.data(), precincts.data(), blocks.data(), blocks.data(), depths.data(),
               quant.data(), levelCounts.data(), n);
    EncoderBlockCoder coder;
    // The guard bits must agree with the QCD written.
    coder.guardBits = (!params.reversible && params.useQualityTable) ? params.guardBits : 2;
    tile.encodeCodeBlocks(coder, bands.data());

    if (params.rate > 0) {
        if (params.reversible)
            weightBands53(tile);
        else
            weightBands97(tile);
        if (params.useComponentTransform && n == 3) {
            if (params.reversible)
                weightComponentsRct(tile);
            else
                weightComponentsIct(tile);
        }
        const uint32_t budget = static_cast<uint32_t>(static_cast<double>(rawSize) / params.rate);
        tile.resetPassPositions();
        allocateRate(tile, &budget, 1);
    }
    tile.resetPassPositions();

    for (uint32_t r = 0; r <= levels; ++r)
        for (uint32_t c = 0; c < n; ++c)
            for (uint32_t p = 0; p < tile.precinctCount(c, r); ++p)
                writePacket(tile, c, r, p, 0, buffer);
}
