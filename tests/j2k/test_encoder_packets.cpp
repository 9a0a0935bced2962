// Packet writing of the encoder: header bits worked out by hand from the
// tag-tree, pass-count and length rules, bit stuffing after 0xFF, and the
// byte counter that the rate allocator measures packets with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "j2k/encoder/codeblock_stage.h"
#include "j2k/encoder/packet_writer.h"
#include "tests/j2k/encoder_tile_fixture.h"

namespace {
using j2ktest::BlockPlan;
using j2ktest::MakeTile;

std::string Drain(CodestreamBuffer& b) {
    std::string s(b.Size(), '\0');
    b.ReadOut(s.data(), s.size());
    return s;
}

std::string Hex(const std::string& s) {
    std::string out;
    char t[4];
    for (unsigned char c : s) {
        std::snprintf(t, sizeof t, "%02X ", c);
        out += t;
    }
    return out;
}

std::string Packet(EncoderTile& tile, int32_t layer, uint32_t p = 0) {
    CodestreamBuffer out;
    writePacket(tile, 0, 0, p, layer, out);
    return Drain(out);
}

TEST(EncoderPackets, SingleBlockTenBytesGivesEA80) {
    EncoderTile tile = MakeTile({{{10}, {}, 0, {}}}, 1);
    const std::string bytes = Packet(tile, 0);
    ASSERT_EQ(bytes.size(), 12u) << Hex(bytes);
    EXPECT_EQ(Hex(bytes.substr(0, 2)), "EA 80 ");
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(uint8_t(bytes[2 + k]), 0x10 + k);
    const EncoderCodeBlock& cb = tile.components[0].ll.precincts[0].blocks[0];
    EXPECT_EQ(cb.lblock, 4u);
    EXPECT_EQ(cb.firstInclusion, 0);
    EXPECT_EQ(cb.nextPass, 1u);
}

TEST(EncoderPackets, TwoBlocksOneWithoutPasses) {
    // Block 0: 1 pass of 3 bytes, 1 zero bit-plane; block 1: nothing coded.
    // Bits: 1 | incl 1 1 | zero planes 1 0 1 | passes 0 | Lblock 0 | length 011
    // | block 1 not included 0  ->  1111 0100 0110 -> F4 60.
    const std::vector<BlockPlan> plans = {{{3}, {}, 1, {}}, {{}, {}, 0, {}}};
    EncoderTile tile = MakeTile(plans, 2);
    const std::string bytes = Packet(tile, 0);
    EXPECT_EQ(Hex(bytes), "F4 60 10 11 12 ");

    EncoderTile again = MakeTile(plans, 2);
    ByteCounter counter;
    writePacket(again, 0, 0, 0, 0, counter);
    EXPECT_EQ(counter.Count(), bytes.size());
}

TEST(EncoderPackets, LaterLayerSignalsInclusionWithOneBit) {
    // Pass 0 (2 bytes) in layer 0, pass 1 (5 bytes) in layer 1.
    EncoderTile tile = MakeTile({{{2, 7}, {0, 1}, 0, {}}}, 1);
    EXPECT_EQ(Hex(Packet(tile, 0)), "E2 10 11 ");
    // 1 | included 1 | one pass 0 | Lblock 0 | length 101 -> 1100 1010.
    EXPECT_EQ(Hex(Packet(tile, 1)), "CA 12 13 14 15 16 ");
}

TEST(EncoderPackets, EmptyPacketsStillCarryTheirBits) {
    // A block without passes is never included: 1 then one 0 from the tree.
    EncoderTile none = MakeTile({{{}, {}, 0, {}}}, 1);
    EXPECT_EQ(Hex(Packet(none, 0)), "80 ");
    EXPECT_EQ(Hex(Packet(none, 1)), "80 ");  // tree still says "not yet": a 0 at threshold 2
    // A band with fewer precincts than p contributes nothing.
    EncoderTile one = MakeTile({{{10}, {}, 0, {}}}, 1);
    EXPECT_EQ(Hex(Packet(one, 0, 1)), "80 ");
    EXPECT_EQ(one.components[0].ll.precincts[0].blocks[0].nextPass, 0u);
}

TEST(EncoderPackets, BitStuffingAfterFF) {
    CodestreamBuffer a;
    PacketBitWriter<CodestreamBuffer> wa(a);
    wa.PutBits(0xFF, 8);
    wa.Put1();
    wa.Flush();
    EXPECT_EQ(Hex(Drain(a)), "FF 40 ");

    CodestreamBuffer b;
    PacketBitWriter<CodestreamBuffer> wb(b);
    wb.PutBits(0xFF, 8);
    wb.Flush();
    EXPECT_EQ(Hex(Drain(b)), "FF 00 ");

    // Seven bits after the 0xFF fill the stuffed byte; the eighth starts a new one.
    CodestreamBuffer c;
    PacketBitWriter<CodestreamBuffer> wc(c);
    wc.PutBits(0xFF, 8);
    wc.PutBits(0x7F, 7);
    wc.Put1();
    wc.Flush();
    EXPECT_EQ(Hex(Drain(c)), "FF 7F 80 ");
}

TEST(EncoderPackets, PassCountCodewords) {
    // Codewords from the table of pass counts, with the zero bit stuffed
    // after every 0xFF byte.
    struct Case {
        uint32_t n;
        const char* bytes;
    } cases[] = {{1, "00 "},    {2, "80 "},       {3, "C0 "},       {4, "D0 "},          {5, "E0 "},
                 {6, "F0 00 "}, {7, "F0 80 "},    {36, "FF 00 "},   {37, "FF 40 00 "},   {164, "FF 7F 80 "}};
    for (const Case& c : cases) {
        CodestreamBuffer got;
        PacketBitWriter<CodestreamBuffer> w(got);
        writePassCount(c.n, w);
        w.Flush();
        EXPECT_EQ(Hex(Drain(got)), c.bytes) << c.n;
    }
}

TEST(EncoderPackets, LblockIncrementCoversEverySegment) {
    std::vector<CodingPass> p(3);
    p[0] = {nullptr, 0, 100, 0, -1, 0, 0};
    p[1] = {nullptr, 100, 300, 0, -1, 0, 0};
    p[2] = {nullptr, 300, 301, 0, -1, 0, 0};
    // One segment of 301 bytes over 3 passes: 9 bits needed, 3 + 1 offered.
    EXPECT_EQ(lblockIncrement(p.data(), p.data() + 3, 3), 5u);
    // A terminated first pass splits it: 100 needs 7 (offer 3), 201 needs 8 (offer 4).
    p[0].terminated = 1;
    EXPECT_EQ(lblockIncrement(p.data(), p.data() + 3, 3), 4u);
    EXPECT_EQ(lblockIncrement(p.data(), p.data() + 1, 7), 0u);
    EXPECT_EQ(bitLength(0), 0u);
    EXPECT_EQ(bitLength(1), 1u);
    EXPECT_EQ(bitLength(0x80000000u), 32u);
}

} // namespace
