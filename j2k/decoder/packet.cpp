// Packets: the header read bit by bit (inclusion, zero bit-planes, coding
// passes, Lblock and segment lengths), then the body handed code-block by
// code-block to tier-1 decoding. SOP and EPH markers around a header are
// recognised by peeking at the input, so nothing past the packet is consumed.
#include "j2k/decoder/packet.h"

#include "j2k/byte_input.h"
#include "j2k/decoder/tile.h"

template <class Input>
uint32_t DJP2PacketBitReader<Input>::Bit() {
    if (position_ < 0) {
        position_ = last_ == 0xFF ? 6 : 7;
        last_ = in_.Read8();
    }
    return (last_ >> position_--) & 1u;
}

template <class Input>
uint64_t DJP2PacketBitReader<Input>::Bits(uint32_t n) {
    uint64_t v = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t b = Bit();
        // A length wider than any input saturates; reading its bytes fails.
        v = v >= (uint64_t(1) << 40) ? v : (v << 1) | b;
    }
    return v;
}

template <class Input>
void DJP2PacketBitReader<Input>::Finish(bool check) {
    if (!check) {
        if (position_ != -1)
            Bits(uint32_t(position_ + 1));
        else if (last_ == 0xFF)
            Bits(7);
        if (last_ == 0xFF)
            Bits(7);
        return;
    }
    uint32_t n = position_ != -1 ? uint32_t(position_ + 1) : last_ == 0xFF ? 7 : 0;
    uint64_t v = Bits(n);
    if (last_ == 0xFF) {
        v = (v << 7) | Bits(7);
        n += 7;
    }
    const uint64_t checked = n < 8 ? v : v >> (n - 7);
    if (checked != 0)
        diag_.template Warn<DPHWarning, 0>();
}

template <class Input>
bool DecodeTagTree(DJP2TagTree& tree, DJP2PacketBitReader<Input>& bits, uint32_t leaf, uint32_t threshold) {
    // The path from the leaf to the root, level by level.
    uint32_t path[40];
    uint32_t depth = 0;
    uint32_t w = tree.columns, h = tree.rows, offset = 0;
    uint32_t x = leaf % w, y = leaf / w;
    for (;;) {
        path[depth++] = offset + y * w + x;
        if ((w == 1 && h == 1) || depth == 40)
            break;
        offset += w * h;
        w = (w + 1) / 2;
        h = (h + 1) / 2;
        x /= 2;
        y /= 2;
    }
    uint32_t m = 0;
    for (uint32_t k = depth; k-- > 0;) {
        DJP2TagTree::Node& node = tree.nodes[path[k]];
        if (node.low < m)
            node.low = m;
        else
            m = node.low;
        while (m < threshold && m < node.value) {
            if (bits.Bit())
                node.value = m;
            else
                ++m;
        }
        node.low = m;
    }
    return tree.nodes[path[0]].value < threshold;
}

namespace {

// Passes from p passes coded to the end of the codeword segment they are in.
uint32_t PassesToSegmentEnd(uint32_t p, uint32_t mode) {
    if (mode & kModeTermAll)
        return 1;
    if (!(mode & kModeBypass))
        return 94;
    if (p < 10)
        return 10 - p;
    return p % 3 == 1 ? 2 : 1;
}

uint32_t FloorLog2(uint32_t v) {
    uint32_t r = 0;
    while (v >>= 1)
        ++r;
    return r;
}

template <class Input>
uint32_t NewPasses(DJP2PacketBitReader<Input>& bits) {
    if (!bits.Bit())
        return 1;
    if (!bits.Bit())
        return 2;
    uint32_t v = uint32_t(bits.Bits(2));
    if (v != 3)
        return 3 + v;
    v = uint32_t(bits.Bits(5));
    if (v != 31)
        return 6 + v;
    return 37 + uint32_t(bits.Bits(7));
}

// The part of one band's precinct in a packet header.
template <class Input>
void ReadPrecinctHeader(DJP2Precinct& pr, DJP2PacketBitReader<Input>& bits, uint32_t layer) {
    for (uint32_t i = 0; i < pr.blocks.Count(); ++i) {
        DJP2CodeBlock& blk = pr.blocks[i];
        const bool first = blk.passes == 0;
        const bool included = first ? DecodeTagTree(pr.inclusion, bits, i, layer + 1) : bits.Bit() != 0;
        if (!included)
            continue;
        if (first) {
            uint32_t t = 1;
            while (!DecodeTagTree(pr.zeroPlanes, bits, i, t))
                ++t;
            blk.SetZeroBitPlanes(t - 1);
        }
        uint32_t n = NewPasses(bits);
        while (bits.Bit())
            ++blk.lblock;
        uint32_t p = blk.passes;
        while (n > 0) {
            uint32_t k = PassesToSegmentEnd(p, blk.mode);
            if (k > n)
                k = n;
            const uint64_t length = bits.Bits(blk.lblock + FloorLog2(k));
            blk.AddSegment(layer, length > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(length), k);
            p += k;
            n -= k;
        }
    }
}

// Skips an SOP marker segment when one starts here.
template <class Input>
void SkipSop(Input& in) {
    uint16_t marker = 0;
    if (in.Peek16(marker) && marker == kMarkerSOP)
        in.Skip(6);
}

template <class Input>
void SkipEph(Input& in) {
    uint16_t marker = 0;
    if (in.Peek16(marker) && marker == kMarkerEPH)
        in.Skip(2);
}

} // namespace

template <class Input>
void DJP2Tile::DecodePacket(Input& in, uint32_t l, uint32_t r, uint32_t c, uint32_t px, uint32_t py) {
    DJP2TileComponentPackets& pk = packets_[c];
    if (r < pk.firstResolution || r > pk.levels.Count())
        return;
    // The bands of the resolution that hold precinct (px, py).
    DJP2Precinct* precincts[3];
    uint32_t count = 0;
    auto add = [&](DJP2Band& band) {
        if (px < band.precinctColumns && py < band.precinctRows)
            precincts[count++] = &band.precincts[py * band.precinctColumns + px];
    };
    if (r == 0) {
        add(pk.ll);
    } else {
        DJP2LevelBands& lb = pk.levels[pk.levels.Count() - r];
        add(lb.hl);
        add(lb.lh);
        add(lb.hh);
    }

    const bool markers = coding_.cod.sop || coding_.cod.eph;
    if (markers)
        SkipSop(in);
    DJP2PacketBitReader<Input> bits(in, diag_);
    const bool present = bits.Bit() != 0;
    if (present)
        for (uint32_t b = 0; b < count; ++b)
            ReadPrecinctHeader(*precincts[b], bits, l);
    bits.Finish(!present);
    if (markers)
        SkipEph(in);
    if (!present)
        return;
    const uint32_t lastLayer = coding_.cod.layers ? coding_.cod.layers - 1 : 0;
    for (uint32_t b = 0; b < count; ++b) {
        DJP2Precinct& pr = *precincts[b];
        for (uint32_t i = 0; i < pr.blocks.Count(); ++i)
            pr.blocks[i].DecodeLayer(l, in, lastLayer, scratch_);
    }
}

template <class Input>
bool DJP2Tile::DecodeNextPacket(Input& in) {
    if (!iterator_.Valid())
        return false;
    if (!packetsBuilt_)
        BuildPacketStructure(reduction_);
    // A progression record may name layers the coding parameters do not
    // have; such packets are not in the code-stream.
    if (iterator_.Layer() < coding_.cod.layers)
        DecodePacket(in, iterator_.Layer(), iterator_.Resolution(), iterator_.Component(), iterator_.PrecinctX(),
                 iterator_.PrecinctY());
    iterator_.Advance();
    return true;
}

void DJP2Tile::FinishCodeBlocks() {
    auto band = [&](DJP2Band& b) {
        for (uint32_t p = 0; p < b.precincts.Count(); ++p)
            for (uint32_t k = 0; k < b.precincts[p].blocks.Count(); ++k)
                b.precincts[p].blocks[k].Finish(scratch_);
    };
    for (uint32_t c = 0; c < packets_.Count(); ++c) {
        band(packets_[c].ll);
        for (uint32_t i = 0; i < packets_[c].levels.Count(); ++i) {
            band(packets_[c].levels[i].hl);
            band(packets_[c].levels[i].lh);
            band(packets_[c].levels[i].hh);
        }
    }
}

#define VQ_PACKET_INPUT(Input)                                                                                 \
    template class DJP2PacketBitReader<Input>;                                                                 \
    template bool DecodeTagTree<Input>(DJP2TagTree&, DJP2PacketBitReader<Input>&, uint32_t, uint32_t);         \
    template bool DJP2Tile::DecodeNextPacket<Input>(Input&);
VQ_PACKET_INPUT(MemoryBoundedInputBE)
VQ_PACKET_INPUT(BoundedInputBE)
