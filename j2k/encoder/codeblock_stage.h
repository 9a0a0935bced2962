// The encoder's packet structure over the sub-band planes of one tile
// (component, resolution, band, precinct, code-block), and the stage that
// codes every code-block with the tier-1 primitives, keeping per block its
// coded bytes and, per coding pass, the cumulative length and distortion
// reduction. The packet writer and the rate allocation read and advance it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "j2k/codec_types.h"
#include "j2k/codestream_buffer.h"
#include "j2k/decoder/geometry.h"
#include "j2k/decoder/marker_records.h"
#include "j2k/decoder/tile.h"

struct CodeBlockEncoderContext;

// One coding pass of a code-block.
struct CodingPass {
    const uint8_t* data = nullptr;  // the pass's first byte in the block's coded bytes
    uint32_t start = 0;             // cumulative length before the pass
    uint32_t end = 0;               // cumulative length after it
    double distortion = 0.0;        // cumulative distortion reduction after the pass
    double slope = -1.0;
    int32_t layer = 0;              // -1: in no layer
    uint8_t terminated = 0;
};

struct EncoderCodeBlock {
    uint32_t passCount = 0;
    uint32_t missingPlanes = 0;  // P: missing most significant bit-planes
    std::vector<uint8_t> bytes;
    std::vector<CodingPass> passes;  // coding order
    uint32_t nextPass = 0;           // where the packet writer continues
    uint32_t lblock = 3;
    uint8_t firstInclusion = 1;
    // Saved copies for the rate allocator.
    uint32_t savedNextPass = 0;
    uint32_t savedLblock = 3;
    uint8_t savedFirstInclusion = 1;
};

// A rectangle's cells on a grid of 2^ex x 2^ey, row by row, relative to the
// rectangle's origin.
struct EncoderPartition {
    GridPartition x, y;
    EncoderPartition() = default;
    EncoderPartition(const J2KRect& r, uint32_t ex, uint32_t ey) : x(r.x0, r.width, ex), y(r.y0, r.height, ey) {}
    uint32_t Count() const { return x.count * y.count; }
    J2KRect Cell(uint32_t i) const {
        const uint32_t cx = i % x.count, cy = i / x.count;
        return J2KRect(x.Offset(cx), y.Offset(cy), x.Length(cx), y.Length(cy));
    }
};

// One band's part of one precinct.
struct EncoderPrecinct {
    J2KRect rect;                   // on the band, relative to the band origin
    EncoderPartition blockPartition;  // code-blocks, relative to `rect`
    std::vector<EncoderCodeBlock> blocks;  // row by row
    DJP2TagTree inclusion, zeroPlanes;     // over (columns, rows) of the blocks
    DJP2TagTree savedInclusion, savedZeroPlanes;
};

struct EncoderBand {
    uint32_t code = 0;  // 0 LL, 1 LH, 2 HL, 3 HH
    J2KRect rect;       // origin (0, 0)
    EncoderPartition precinctPartition;
    std::vector<EncoderPrecinct> precincts;  // row by row
    int32_t rangeBits = 0;  // R_b: bit depth + band gain
    int32_t shift = 0;      // s = R_b - exponent
};

struct EncoderResolution {
    EncoderBand hl, lh, hh;
    uint32_t precinctCount = 0;  // packets of this resolution
};

struct EncoderComponent {
    EncoderBand ll;                              // resolution 0
    std::vector<EncoderResolution> resolutions;  // index i: level i + 1 (resolution NL - i)
};

// One tier-1 context for 64 x 64 blocks and the scratch of the stage; one per
// encoded tile, shared by its components.
class EncoderBlockCoder {
public:
    // Throws MemoryException 0 when the context cannot be created.
    EncoderBlockCoder();
    ~EncoderBlockCoder();
    EncoderBlockCoder(const EncoderBlockCoder&) = delete;
    EncoderBlockCoder& operator=(const EncoderBlockCoder&) = delete;

    // Codes one block of at most 64 x 64 samples of a 32-bit integer band
    // plane. The block's samples are shifted by s bits (left for s > 0,
    // arithmetic right for s < 0) and turned to sign-magnitude in place.
    void encodeBlock(const PlaneRef& band, const J2KRect& block, uint32_t bandCode, int32_t rangeBits, int32_t s,
                     EncoderCodeBlock& cb);

    uint32_t modeFlags = 0;
    int32_t termination = 1;
    int32_t guardBits = 2;

private:
    CodeBlockEncoderContext* context_ = nullptr;
    CodestreamBuffer collected_;
    std::vector<uint8_t> scratch_;
};

class EncoderTile {
public:
    // Per component c: rects[c] (origin (0, 0) and size), exponents of
    // resolution r at [c][r], bit depth (bits, not minus one), quantisation
    // record and level count NL.
    void setup(const J2KRect* rects, const std::array<uint32_t, 33>* precinctX,
               const std::array<uint32_t, 33>* precinctY, const std::array<uint32_t, 33>* blockX,
               const std::array<uint32_t, 33>* blockY, const uint32_t* bitDepths, const DJP2QuantParams* quant,
               const uint32_t* levels, uint32_t componentCount);
    // Codes every code-block of every component from planes[c] (int32 bands;
    // the bands are changed in place).
    void encodeCodeBlocks(EncoderBlockCoder& coder, SubbandPlanes* planes);
    // Every block's next-pass position back to its first pass.
    void resetPassPositions();

    uint32_t componentCount() const { return static_cast<uint32_t>(components.size()); }
    uint32_t resolutionCount(uint32_t c) const { return static_cast<uint32_t>(components[c].resolutions.size()) + 1; }
    uint32_t precinctCount(uint32_t c, uint32_t r) const;
    // The bands of resolution r: the LL band for r = 0, else HL, LH, HH of
    // resolution record NL - r. Returns the band count (1 or 3).
    uint32_t bandsOf(uint32_t c, uint32_t r, EncoderBand* bands[3]);

    std::vector<EncoderComponent> components;
};
