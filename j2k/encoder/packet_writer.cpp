// Packet headers and bodies of the encoder (layer-resolution-component-
// position order, one codeword segment per code-block and packet, no SOP or
// EPH markers).
#include "j2k/encoder/packet_writer.h"

#include <algorithm>
#include <climits>

#include "j2k/encoder/codeblock_stage.h"

namespace {

// Node index range of each level of a tag tree: level 0 holds the leaves.
struct TagTreeLevels {
    uint32_t count = 0;
    uint32_t first[34] = {};
    uint32_t width[34] = {};
    uint32_t height[34] = {};

    explicit TagTreeLevels(const DJP2TagTree& t) {
        if (t.columns == 0 || t.rows == 0)
            return;
        uint32_t w = t.columns, h = t.rows, at = 0;
        for (;;) {
            first[count] = at;
            width[count] = w;
            height[count] = h;
            ++count;
            at += w * h;
            if ((w == 1 && h == 1) || count == 34)
                break;
            w = (w + 1) / 2;
            h = (h + 1) / 2;
        }
    }
};

} // namespace

void ByteCounter::MoveFrom(CodestreamBuffer& source, uint64_t n) {
    uint8_t scratch[CodestreamBuffer::kChunkSize];
    while (n) {
        const uint64_t got = source.ReadOut(scratch, std::min<uint64_t>(n, sizeof scratch));
        if (got == 0)
            break;
        count_ += static_cast<uint32_t>(got);
        n -= got;
    }
}

void SetTagTreeLeaf(DJP2TagTree& tree, uint32_t leaf, uint32_t value) { tree.nodes[leaf].value = value; }

void UpdateTagTreeParents(DJP2TagTree& tree) {
    const TagTreeLevels lv(tree);
    for (uint32_t k = 1; k < lv.count; ++k) {
        for (uint32_t y = 0; y < lv.height[k]; ++y) {
            for (uint32_t x = 0; x < lv.width[k]; ++x) {
                uint32_t m = UINT32_MAX;
                for (uint32_t cy = 2 * y; cy < std::min(2 * y + 2, lv.height[k - 1]); ++cy)
                    for (uint32_t cx = 2 * x; cx < std::min(2 * x + 2, lv.width[k - 1]); ++cx)
                        m = std::min(m, tree.nodes[lv.first[k - 1] + cy * lv.width[k - 1] + cx].value);
                tree.nodes[lv.first[k] + y * lv.width[k] + x].value = m;
            }
        }
    }
}

template <class Sink>
bool encodeTagTree(DJP2TagTree& tree, uint32_t leaf, uint32_t threshold, PacketBitWriter<Sink>& bits) {
    const TagTreeLevels lv(tree);
    uint32_t path[34];
    uint32_t x = leaf % tree.columns, y = leaf / tree.columns;
    for (uint32_t k = 0; k < lv.count; ++k) {
        path[k] = lv.first[k] + y * lv.width[k] + x;
        x /= 2;
        y /= 2;
    }
    uint32_t low = 0;
    for (uint32_t k = lv.count; k-- > 0;) {
        DJP2TagTree::Node& node = tree.nodes[path[k]];
        if (low > node.low)
            node.low = low;
        else
            low = node.low;
        while (low < threshold) {
            if (low >= node.value) {
                if (!node.known) {
                    bits.Put1();
                    node.known = 1;
                }
                break;
            }
            bits.Put0();
            ++low;
        }
        node.low = low;
    }
    return tree.nodes[path[0]].value < threshold;
}

uint32_t bitLength(uint32_t v) {
    uint32_t n = 0;
    for (; v; v >>= 1)
        ++n;
    return n;
}

template <class Sink>
void writePassCount(uint32_t n, PacketBitWriter<Sink>& bits) {
    if (n == 1)
        bits.Put0();
    else if (n == 2)
        bits.PutBits(0x2, 2);
    else if (n <= 5)
        bits.PutBits(0xC | (n - 3), 4);
    else if (n <= 36)
        bits.PutBits(0x1E0 | (n - 6), 9);
    else
        bits.PutBits(0xFF80 | (n - 37), 16);
}

template <class Sink>
void writeLblockIncrement(uint32_t k, PacketBitWriter<Sink>& bits) {
    while (k--)
        bits.Put1();
    bits.Put0();
}

namespace {

uint32_t floorLog2(uint32_t v) { return v ? bitLength(v) - 1 : 0; }

// Calls f(first pass, end pass) for each codeword segment of [first, end):
// a segment ends after a terminated pass or at the last pass.
template <class F>
void forEachSegment(const CodingPass* first, const CodingPass* end, F&& f) {
    const CodingPass* s = first;
    for (const CodingPass* p = first; p != end; ++p) {
        if (p->terminated || p + 1 == end) {
            f(s, p + 1);
            s = p + 1;
        }
    }
}

} // namespace

uint32_t lblockIncrement(const CodingPass* first, const CodingPass* end, uint32_t lblock) {
    uint32_t k = 0;
    forEachSegment(first, end, [&](const CodingPass* a, const CodingPass* b) {
        const uint32_t need = bitLength((b - 1)->end - a->start);
        const uint32_t offer = lblock + floorLog2(static_cast<uint32_t>(b - a));
        if (need > offer)
            k = std::max(k, need - offer);
    });
    return k;
}

namespace {

template <class Sink>
void writeSegmentLengths(const CodingPass* first, const CodingPass* end, uint32_t lblock,
                         PacketBitWriter<Sink>& bits) {
    forEachSegment(first, end, [&](const CodingPass* a, const CodingPass* b) {
        bits.PutBits((b - 1)->end - a->start, lblock + floorLog2(static_cast<uint32_t>(b - a)));
    });
}

void copyPassData(const EncoderCodeBlock& cb, const CodingPass* first, const CodingPass* end,
                  CodestreamBuffer& body) {
    for (const CodingPass* p = first; p != end; ++p)
        body.Append(cb.bytes.data() + p->start, p->end - p->start);
}

// Passes from `next` on that belong to layer l.
uint32_t countLayerPasses(const EncoderCodeBlock& cb, uint32_t next, int32_t l) {
    uint32_t e = next;
    while (e < cb.passes.size() && cb.passes[e].layer == l)
        ++e;
    return e - next;
}

template <class Sink>
void writeBandPart(EncoderPrecinct& pr, int32_t l, PacketBitWriter<Sink>& bits, CodestreamBuffer& body) {
    const uint32_t n = static_cast<uint32_t>(pr.blocks.size());
    auto includedIn = [l](const EncoderCodeBlock& cb) {
        return !cb.passes.empty() && cb.nextPass < cb.passes.size() && cb.passes[cb.nextPass].layer == l;
    };
    // Every leaf is set before the first bit of this precinct-band is written.
    if (l == 0) {
        for (uint32_t i = 0; i < n; ++i)
            SetTagTreeLeaf(pr.zeroPlanes, i, pr.blocks[i].missingPlanes);
        UpdateTagTreeParents(pr.zeroPlanes);
    }
    // A block still waiting for its first inclusion holds the largest value
    // until the layer that includes it.
    for (uint32_t i = 0; i < n; ++i)
        if (pr.blocks[i].firstInclusion)
            SetTagTreeLeaf(pr.inclusion, i, includedIn(pr.blocks[i]) ? static_cast<uint32_t>(l) : UINT32_MAX);
    UpdateTagTreeParents(pr.inclusion);

    for (uint32_t i = 0; i < n; ++i) {
        EncoderCodeBlock& cb = pr.blocks[i];
        const bool included = includedIn(cb);
        if (cb.firstInclusion)
            encodeTagTree(pr.inclusion, i, static_cast<uint32_t>(l) + 1, bits);
        else
            bits.PutBit(included);
        if (!included)
            continue;
        if (cb.firstInclusion)
            for (uint32_t t = 1; !encodeTagTree(pr.zeroPlanes, i, t, bits); ++t) {
            }
        const uint32_t count = countLayerPasses(cb, cb.nextPass, l);
        const CodingPass* first = cb.passes.data() + cb.nextPass;
        const CodingPass* end = first + count;
        writePassCount(count, bits);
        const uint32_t k = lblockIncrement(first, end, cb.lblock);
        writeLblockIncrement(k, bits);
        cb.lblock += k;
        writeSegmentLengths(first, end, cb.lblock, bits);
        copyPassData(cb, first, end, body);
        cb.nextPass += count;
        if (count)
            cb.firstInclusion = 0;
    }
}

} // namespace

template <class Sink>
void writePacketHeader(EncoderTile& tile, uint32_t c, uint32_t r, uint32_t p, int32_t l,
                       PacketBitWriter<Sink>& bits, CodestreamBuffer& body) {
    bits.Put1();
    EncoderComponent& comp = tile.components[c];
    const uint32_t nl = static_cast<uint32_t>(comp.resolutions.size());
    auto band = [&](EncoderBand& b) {
        if (p < b.precincts.size())
            writeBandPart(b.precincts[p], l, bits, body);
    };
    if (r == 0) {
        band(comp.ll);
    } else if (r <= nl) {
        EncoderResolution& res = comp.resolutions[nl - r];
        band(res.hl);
        band(res.lh);
        band(res.hh);
    }
    bits.Flush();
}

template <class Sink>
void writePacket(EncoderTile& tile, uint32_t c, uint32_t r, uint32_t p, int32_t l, Sink& out) {
    PacketBitWriter<Sink> bits(out);
    CodestreamBuffer body;
    writePacketHeader(tile, c, r, p, l, bits, body);
    out.MoveFrom(body, body.Size());
}

template bool encodeTagTree(DJP2TagTree&, uint32_t, uint32_t, PacketBitWriter<CodestreamBuffer>&);
template bool encodeTagTree(DJP2TagTree&, uint32_t, uint32_t, PacketBitWriter<ByteCounter>&);
template void writePassCount(uint32_t, PacketBitWriter<CodestreamBuffer>&);
template void writeLblockIncrement(uint32_t, PacketBitWriter<CodestreamBuffer>&);
template void writePacket(EncoderTile&, uint32_t, uint32_t, uint32_t, int32_t, CodestreamBuffer&);
template void writePacket(EncoderTile&, uint32_t, uint32_t, uint32_t, int32_t, ByteCounter&);
