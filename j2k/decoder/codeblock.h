// A code-block of the decoder's packet structure: where its coefficients go
// in the band plane, the codeword segments the packet headers announce layer
// by layer, and the tier-1 decoder context that turns those segments into
// sign-magnitude coefficients.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "j2k/codec_types.h"
#include "j2k/codestream_buffer.h"
#include "j2k/diagnostics.h"

// One codeword segment of a layer: its bytes and the coding passes it ends.
struct DJP2Segment {
    uint32_t length = 0;
    uint32_t passes = 0;
};

struct DJP2CodeBlockLayer {
    std::vector<DJP2Segment> segments;
    uint32_t passes = 0;
    uint64_t bytes = 0;
};

class DJP2CodeBlock {
public:
    DJP2CodeBlock() = default;
    DJP2CodeBlock(const DJP2CodeBlock& o) { *this = o; }
    // Copies the set-up only; the copy starts without context or segments.
    DJP2CodeBlock& operator=(const DJP2CodeBlock& o);

    // Binds the block to its area of the band plane and clears that area.
    void Setup(const PlaneRef& coefficients, const J2KRect& rect, uint32_t layers, uint32_t orientation,
               uint32_t guardBits, uint32_t rangeBits, int32_t offset, uint32_t mode);
    void SetOutput(BDiagnOutput* output) { diag_.SetOutput(output); }

    // First inclusion: fixes the magnitude bit-planes and attaches the block to
    // its decoder context.
    void SetZeroBitPlanes(uint32_t zeroBitPlanes);
    // A segment of `passes` passes and `length` bytes announced in layer l.
    void AddSegment(uint32_t layer, uint32_t length, uint32_t passes);
    // Reads the block's segment bytes of layer l from the input and decodes
    // what the block's coding mode allows at this layer. `lastLayer` is the
    // last layer index of the coding parameters.
    template <class Input>
    void DecodeLayer(uint32_t layer, Input& in, uint32_t lastLayer, std::vector<uint8_t>& scratch);
    // Decodes the bytes still waiting for a later layer that never came (a
    // code-stream cut after an earlier layer): every pass received counts.
    void Finish(std::vector<uint8_t>& scratch);

    bool Included() const { return passes != 0 || attached_; }
    // Which coefficients the passes received decoded down to the last
    // magnitude bit-plane, where the code-block decoder leaves them at the
    // lower end of their interval (a coefficient decoded to a higher plane
    // sits at the middle of its interval): none; only those that plane's
    // significance pass made significant, all of magnitude 1 (a coefficient
    // significant before has 3 or more); or, once that plane's refinement
    // pass arrived, every nonzero coefficient.
    enum class LastPlane { none, newlySignificant, all };
    LastPlane LastPlaneReached() const {
        if (!attached_ || bitPlanes_ == 0 || passes == 0)
            return LastPlane::none;
        // One cleanup pass on the top plane, then three passes per plane.
        const uint32_t total = 3 * bitPlanes_ - 2;
        if (passes + 1 >= total)
            return LastPlane::all;
        return passes + 2 == total ? LastPlane::newlySignificant : LastPlane::none;
    }

    // Set-up.
    PlaneRef plane;      // first coefficient in the band plane
    J2KRect rect;        // on the band
    uint32_t layers = 0;
    uint32_t orientation = 0;
    uint32_t guardBits = 0;
    uint32_t rangeBits = 0;  // Rb: the band's nominal range in bits
    int32_t offset = 0;      // band exponent minus Rb
    uint32_t mode = 0;

    // Packet-header state.
    uint32_t passes = 0;  // passes included over all layers; 0 = never included
    uint32_t zeroBitPlanes = 0;
    uint32_t lblock = 3;
    std::vector<DJP2CodeBlockLayer> layerSegments;

private:
    // Decodes `passes` passes from `n` bytes drained out of the segment buffer.
    void DecodeBuffered(int32_t passes, uint64_t n, std::vector<uint8_t>& scratch, bool checkLeft);
    void DecodeBytes(const uint8_t* data, uint32_t length);
    void CheckPassesLeft();

    DiagnOutputRef diag_;
    std::unique_ptr<uint8_t[]> context_;
    uint32_t contextSize_ = 0;
    bool attached_ = false;
    uint32_t bitPlanes_ = 0;  // magnitude bit-planes (Mb) fixed at attachment
    std::unique_ptr<CodestreamBuffer> buffer_;  // segment bytes not yet decoded
    uint32_t bufferPasses_ = 0;                 // passes announced so far (bypass boundaries)
    uint32_t passesSinceDecode_ = 0;
    int32_t passesAtBoundary_ = -1;
};
