// The encoder's code-stream: its parameter record, the marker segments of the
// one fixed shape it writes (one tile, one tile-part, one layer, 64 x 64
// code-blocks, default precincts, LRCP), the step sizes, the quality step
// table and the pipeline that turns component planes into the tile data.
#pragma once

#include <cstdint>

#include "j2k/codec_types.h"
#include "j2k/codestream_buffer.h"
#include "j2k/decoder/main_header.h"
#include "j2k/decoder/marker_records.h"

struct J2KEncodeParams {
    int32_t quality = 30;      // 1..100, clipped when used; selects the step row
    double rate = 0.0;         // target compression ratio; 0 keeps every pass
    uint8_t useComponentTransform = 0;
    uint8_t reversible = 0;    // 1: 5/3 without quantisation; 0: 9/7 with steps
    uint8_t reserved = 0;
    uint8_t useQualityTable = 1;
    int32_t maxLevels = 5;
    int32_t guardBits = 1;     // written with the quality-table steps

    J2KEncodeParams() = default;
    // Full chroma codes losslessly: reversible transforms, no step table.
    explicit J2KEncodeParams(bool fullChroma) {
        if (fullChroma) {
            useComponentTransform = 1;
            reversible = 1;
            useQualityTable = 0;
        }
    }
};


void writeMarker(uint16_t marker, CodestreamBuffer& buffer);
void writeMarkerHead(uint16_t marker, uint32_t bodyLength, CodestreamBuffer& buffer);
void writeSOC(CodestreamBuffer& buffer);
void writeSIZ(CodestreamBuffer& buffer, uint32_t height, uint32_t width, uint16_t componentCount,
              const uint8_t* ssiz, bool fullSizeChroma);
void writeCOD(CodestreamBuffer& buffer, uint8_t progression, uint16_t layers, uint8_t componentTransform,
              uint8_t reversible, uint8_t levels, uint8_t scod, const uint8_t* precinctSizes);
void writeQCD(CodestreamBuffer& buffer, uint8_t levels, const J2KEncodeParams& params, int32_t nominalDepth);
void writeSOT(CodestreamBuffer& buffer, uint16_t tileIndex, uint32_t tilePartLength, uint8_t tilePartIndex,
              uint8_t tilePartCount);
void writeSOD(CodestreamBuffer& buffer);
void writeEOC(CodestreamBuffer& buffer);

// Steps of the quality table for params.quality; false, with nothing set,
// when the record does not use the table. At most five levels are filled.
bool setQualityTableSteps(const J2KEncodeParams& params, DJP2QuantParams& record, uint32_t levels);
// Unit steps: LL exponent depth, HL and LH depth + 1, HH depth + 2.
void setDefaultSteps(DJP2QuantParams& record, int32_t depth, uint32_t levels);

// Appends one complete code-stream (SOC to EOC) for the component planes to
// `out`; the planes are transformed in place. `ssiz` holds one SIZ depth byte
// per component, `nominalDepth` is the range the QCD exponents refer to and
// `rawSize` the uncompressed size a target ratio is measured against. On an
// exception `out` is left as it was.
void encodeCodestream(CodestreamBuffer& out, uint16_t componentCount, const uint8_t* ssiz, uint8_t levels,
                      ComponentPlanes& planes, int32_t nominalDepth, uint32_t rawSize, const J2KEncodeParams& params);
void writeCodestream(CodestreamBuffer& buffer, uint16_t componentCount, const uint8_t* ssiz, uint8_t levels,
                     ComponentPlanes& planes, int32_t nominalDepth, uint32_t rawSize, const J2KEncodeParams& params);
// The tile data: sample preparation, wavelet, quantisation, code-blocks,
// optional rate allocation and the packets of the one layer.
void encodeTile(CodestreamBuffer& buffer, uint8_t levels, ComponentPlanes& planes, uint8_t ssiz0, uint32_t rawSize,
                const J2KEncodeParams& params);

// Decomposition levels for a tile whose first plane is width x height.
uint8_t encoderLevels(uint32_t width, uint32_t height, int32_t maxLevels);
