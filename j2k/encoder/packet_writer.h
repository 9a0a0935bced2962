// Packets of the encoder's single tile-part: the header bit writer with its
// bit stuffing, tag-tree coding, the per-code-block header fields and the
// packet body. The writer is a template over its byte sink, so the rate
// allocator can measure packets with a ByteCounter through the same code
// that writes them into a CodestreamBuffer.
#pragma once

#include <cstdint>

#include "j2k/codestream_buffer.h"
#include "j2k/decoder/tile.h"

class EncoderTile;
struct EncoderCodeBlock;
struct CodingPass;

// A byte sink that only counts: the rate allocator's trial packets.
class ByteCounter {
public:
    void PutByte(uint8_t) { ++count_; }
    // Takes the whole content of source (which is left empty) as counted bytes.
    void MoveFrom(CodestreamBuffer& source, uint64_t n);
    uint32_t Count() const { return count_; }

private:
    uint32_t count_ = 0;
};

// Packet header bits, most significant first; after a 0xFF byte the next
// byte carries a stuffed 0 in its top bit.
template <class Sink>
class PacketBitWriter {
public:
    explicit PacketBitWriter(Sink& out) : out_(out) {}
    void Put1() { current_ |= 1u << position_; Advance(); }
    void Put0() { Advance(); }
    void PutBit(uint32_t b) { b ? Put1() : Put0(); }
    void PutBits(uint32_t v, uint32_t n) {
        while (n--)
            PutBit((v >> n) & 1u);
    }
    void Flush() {
        if (afterFF_ || position_ != 7)
            out_.PutByte(static_cast<uint8_t>(current_));
        current_ = 0;
        afterFF_ = 0;
        position_ = 7;
    }

private:
    void Advance() {
        if (--position_ >= 0)
            return;
        afterFF_ = current_ == 0xFF;
        position_ = afterFF_ ? 6 : 7;
        out_.PutByte(static_cast<uint8_t>(current_));
        current_ = 0;
    }
    Sink& out_;
    uint32_t current_ = 0;
    int32_t position_ = 7;
    uint8_t afterFF_ = 0;
};

// Sets one leaf's value; the values above it are brought up to date by
// UpdateTagTreeParents.
void SetTagTreeLeaf(DJP2TagTree& tree, uint32_t leaf, uint32_t value);
// Every node above the leaves takes the smallest value of its children.
void UpdateTagTreeParents(DJP2TagTree& tree);

// Codes leaf `leaf` against `threshold`; true when its value is below it.
template <class Sink>
bool encodeTagTree(DJP2TagTree& tree, uint32_t leaf, uint32_t threshold, PacketBitWriter<Sink>& bits);

// Number of significant bits of v (0 for 0).
uint32_t bitLength(uint32_t v);
// The pass-count codeword for 1..164 passes.
template <class Sink>
void writePassCount(uint32_t n, PacketBitWriter<Sink>& bits);
// k one-bits, then a zero-bit.
template <class Sink>
void writeLblockIncrement(uint32_t k, PacketBitWriter<Sink>& bits);
// How many bits Lblock must grow so that every codeword segment of the
// passes [first, end) fits its length field.
uint32_t lblockIncrement(const CodingPass* first, const CodingPass* end, uint32_t lblock);

// One packet: header bits straight into `out`, then the body.
template <class Sink>
void writePacket(EncoderTile& tile, uint32_t c, uint32_t r, uint32_t p, int32_t l, Sink& out);
template <class Sink>
void writePacketHeader(EncoderTile& tile, uint32_t c, uint32_t r, uint32_t p, int32_t l,
                       PacketBitWriter<Sink>& bits, CodestreamBuffer& body);

extern template bool encodeTagTree(DJP2TagTree&, uint32_t, uint32_t, PacketBitWriter<CodestreamBuffer>&);
extern template bool encodeTagTree(DJP2TagTree&, uint32_t, uint32_t, PacketBitWriter<ByteCounter>&);
extern template void writePassCount(uint32_t, PacketBitWriter<CodestreamBuffer>&);
extern template void writeLblockIncrement(uint32_t, PacketBitWriter<CodestreamBuffer>&);
extern template void writePacket(EncoderTile&, uint32_t, uint32_t, uint32_t, int32_t, CodestreamBuffer&);
extern template void writePacket(EncoderTile&, uint32_t, uint32_t, uint32_t, int32_t, ByteCounter&);
