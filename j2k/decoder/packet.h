// Bit-level reading of packet headers and the tag trees they code.
#pragma once

#include <cstdint>

#include "j2k/diagnostics.h"

struct DJP2TagTree;

// Reads packet-header bits, most significant first; after a 0xFF byte the
// next byte's first bit (a stuffed 0) is skipped.
template <class Input>
class DJP2PacketBitReader {
public:
    DJP2PacketBitReader(Input& in, const DiagnOutputRef& diag) : in_(in), diag_(diag) {}
    uint32_t Bit();
    // n bits, first bit most significant; values wider than 40 bits saturate.
    uint64_t Bits(uint32_t n);
    // Ends the header on a byte boundary, consuming the byte after a final
    // 0xFF. With `check` (an empty packet) the padding bits must be 0, else
    // DPHWarning 0.
    void Finish(bool check);

private:
    Input& in_;
    const DiagnOutputRef& diag_;
    uint8_t last_ = 0;
    int32_t position_ = -1;
};

// Decodes leaf `leaf` (row-major) of a tag tree up to `threshold`: true when
// the leaf's value is below the threshold. Values and lower bounds found are
// kept in the tree for later packets.
template <class Input>
bool DecodeTagTree(DJP2TagTree& tree, DJP2PacketBitReader<Input>& bits, uint32_t leaf, uint32_t threshold);
