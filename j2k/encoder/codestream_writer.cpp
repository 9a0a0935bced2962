// Marker segments, step sizes and the quality step table of the encoder.
#include "j2k/encoder/codestream_writer.h"

#include <algorithm>

namespace {

struct QualityStep {
    uint8_t exponent;
    uint16_t mantissa;
};

#include "j2k/encoder/quality_steps.inc"

} // namespace

void writeMarker(uint16_t marker, CodestreamBuffer& buffer) { buffer.Put16(marker); }

void writeMarkerHead(uint16_t marker, uint32_t bodyLength, CodestreamBuffer& buffer) {
    buffer.Put16(marker);
    buffer.Put16(static_cast<uint16_t>(bodyLength + 2));
}

namespace {

// The body assembled on its own, then marker, length and body.
void writeSegment(uint16_t marker, CodestreamBuffer& body, CodestreamBuffer& buffer) {
    writeMarkerHead(marker, static_cast<uint32_t>(body.Size()), buffer);
    buffer.MoveFrom(body, body.Size());
}

} // namespace

void writeSOC(CodestreamBuffer& buffer) { writeMarker(kMarkerSOC, buffer); }

void writeSIZ(CodestreamBuffer& buffer, uint32_t height, uint32_t width, uint16_t componentCount,
              const uint8_t* ssiz, bool fullSizeChroma) {
    CodestreamBuffer body;
    body.Put16(0);  // Rsiz
    body.Put32(width);
    body.Put32(height);
    body.Put32(0);
    body.Put32(0);
    body.Put32(width);  // one tile covers the image
    body.Put32(height);
    body.Put32(0);
    body.Put32(0);
    body.Put16(componentCount);
    for (uint16_t c = 0; c < componentCount; ++c) {
        body.PutByte(ssiz[c]);
        body.PutByte(c == 0 || fullSizeChroma ? 1 : 2);
        body.PutByte(1);
    }
    writeSegment(kMarkerSIZ, body, buffer);
}

void writeCOD(CodestreamBuffer& buffer, uint8_t progression, uint16_t layers, uint8_t componentTransform,
              uint8_t reversible, uint8_t levels, uint8_t scod, const uint8_t* precinctSizes) {
    CodestreamBuffer body;
    body.PutByte(scod);
    body.PutByte(progression);
    body.Put16(layers);
    body.PutByte(componentTransform);
    body.PutByte(levels);
    body.PutByte(4);  // 64 x 64 code-blocks
    body.PutByte(4);
    body.PutByte(0);  // code-block style
    body.PutByte(reversible ? 1 : 0);
    if ((scod & 1) && precinctSizes)
        body.Append(precinctSizes, uint64_t(levels) + 1);
    writeSegment(kMarkerCOD, body, buffer);
}

void writeQCD(CodestreamBuffer& buffer, uint8_t levels, const J2KEncodeParams& params, int32_t nominalDepth) {
    CodestreamBuffer body;
    const int32_t ri = nominalDepth;
    if (params.reversible) {
        body.PutByte(0x40);
        body.PutByte(static_cast<uint8_t>(ri << 3));
        for (uint32_t i = 0; i < levels; ++i) {
            body.PutByte(static_cast<uint8_t>((ri + 1) << 3));
            body.PutByte(static_cast<uint8_t>((ri + 1) << 3));
            body.PutByte(static_cast<uint8_t>((ri + 2) << 3));
        }
    } else if (params.useQualityTable) {
        DJP2QuantParams q;
        setQualityTableSteps(params, q, levels);
        auto put = [&body](const IntPair& p) {
            body.Put16(static_cast<uint16_t>((p.second << 11) | (p.first & 0x7FF)));
        };
        body.PutByte(static_cast<uint8_t>(2 | (params.guardBits << 5)));
        put(q.llStep);
        for (uint32_t i = q.tableLevels; i-- > 0;) {
            put(q.levelSteps[i].hl);
            put(q.levelSteps[i].lh);
            put(q.levelSteps[i].hh);
        }
    } else {
        body.PutByte(0x42);
        body.Put16(static_cast<uint16_t>(ri << 11));
        for (uint32_t i = 0; i < levels; ++i) {
            body.Put16(static_cast<uint16_t>((ri + 1) << 11));
            body.Put16(static_cast<uint16_t>((ri + 1) << 11));
            body.Put16(static_cast<uint16_t>((ri + 2) << 11));
        }
    }
    writeSegment(kMarkerQCD, body, buffer);
}

void writeSOT(CodestreamBuffer& buffer, uint16_t tileIndex, uint32_t tilePartLength, uint8_t tilePartIndex,
              uint8_t tilePartCount) {
    CodestreamBuffer body;
    body.Put16(tileIndex);
    body.Put32(tilePartLength);
    body.PutByte(tilePartIndex);
    body.PutByte(tilePartCount);
    writeSegment(kMarkerSOT, body, buffer);
}

void writeSOD(CodestreamBuffer& buffer) { writeMarker(kMarkerSOD, buffer); }
void writeEOC(CodestreamBuffer& buffer) { writeMarker(kMarkerEOC, buffer); }

bool setQualityTableSteps(const J2KEncodeParams& params, DJP2QuantParams& record, uint32_t levels) {
    if (!params.useQualityTable)
        return false;
    const int32_t q = std::clamp(params.quality, 1, 100);
    const QualityStep* row = kQualityRows[kQualityRowOf[q - 1]];
    levels = std::min<uint32_t>(levels, 5);
    auto pair = [row](uint32_t k) { return IntPair(row[k].mantissa, row[k].exponent); };
    record.style = 2;
    record.guardBits = static_cast<uint32_t>(params.guardBits);
    record.missing = 0;
    record.tableLevels = record.levelCount = levels;
    record.levelSteps.Resize(levels);
    record.llStep = pair(0);
    for (uint32_t k = 1; k <= levels; ++k) {
        DJP2QuantTriple& t = record.levelSteps[levels - k];
        t.hl = pair(3 * k - 2);
        t.lh = pair(3 * k - 1);
        t.hh = pair(3 * k);
    }
    return true;
}

void setDefaultSteps(DJP2QuantParams& record, int32_t depth, uint32_t levels) {
    record.style = 2;
    record.missing = 0;
    record.tableLevels = record.levelCount = levels;
    record.levelSteps.Resize(levels);
    record.llStep = IntPair(0, depth);
    for (uint32_t i = 0; i < levels; ++i) {
        record.levelSteps[i].hl = IntPair(0, depth + 1);
        record.levelSteps[i].lh = IntPair(0, depth + 1);
        record.levelSteps[i].hh = IntPair(0, depth + 2);
    }
}

uint8_t encoderLevels(uint32_t width, uint32_t height, int32_t maxLevels) {
    uint32_t m = std::min(width, height);
    if (m % 2 == 0 && m > 0)
        m -= 1;
    uint32_t n = 0;
    for (; m; m >>= 1)
        ++n;
    return static_cast<uint8_t>(std::min<int32_t>(static_cast<int32_t>(n), std::max(maxLevels, 0)));
}
