// Rate allocation: band energy weights against their known values, convex
// hull slopes worked out by hand, and budgets that the allocated layer's
// packets must meet, written out for real after the trial runs.
#include <gtest/gtest.h>

#include <string>

#include "j2k/encoder/packet_writer.h"
#include "j2k/encoder/rate_allocation.h"
#include "tests/j2k/encoder_tile_fixture.h"

namespace {

using j2ktest::BlockPlan;
using j2ktest::MakeTile;

TEST(EncoderRate, BandWeights) {
    EXPECT_DOUBLE_EQ(bandWeight(true, BandKind::LL, 0), 1.0);
    EXPECT_DOUBLE_EQ(bandWeight(true, BandKind::HH, 0), 0.0);
    EXPECT_DOUBLE_EQ(bandWeight(true, BandKind::LL, 1), 2.25);
    EXPECT_DOUBLE_EQ(bandWeight(true, BandKind::HLorLH, 1), 1.078125);
    EXPECT_NEAR(bandWeight(true, BandKind::HH, 1), 0.5166016, 1e-7);
    EXPECT_DOUBLE_EQ(bandWeight(true, BandKind::LL, 2), 7.5625);
    EXPECT_NEAR(bandWeight(false, BandKind::LL, 1), 3.86479, 1e-5);
    EXPECT_NEAR(bandWeight(false, BandKind::HLorLH, 1), 1.0227, 1e-4);
    EXPECT_NEAR(bandWeight(false, BandKind::HH, 1), 0.270627, 1e-6);
    // Each coarser LL level gains close to a factor of four; deep levels stay finite.
    for (uint32_t n = 2; n <= 32; ++n) {
        const double r = bandWeight(false, BandKind::LL, n) / bandWeight(false, BandKind::LL, n - 1);
        EXPECT_GT(r, 3.5) << n;
        EXPECT_LT(r, 4.5) << n;
    }
}

TEST(EncoderRate, ConvexHullSlopes) {
    // (R, D): (10, 100) (20, 150) (30, 210) (40, 215) (50, 215) (50, 230)
    // Pass 1 lies under the chord from pass 0 to pass 2 and leaves the hull;
    // pass 4 adds nothing (-1); pass 5 adds no length after pass 4, so the
    // hull point before it (pass 3) is retired and pass 5 takes (230-210)/20.
    EncoderTile tile = MakeTile({{{10, 20, 30, 40, 50, 50}, {}, 0, {100, 150, 210, 215, 215, 230}}}, 1);
    EncoderCodeBlock& cb = tile.components[0].ll.precincts[0].blocks[0];
    computePassSlopes(cb);
    EXPECT_DOUBLE_EQ(cb.passes[0].slope, 10.0);
    EXPECT_DOUBLE_EQ(cb.passes[1].slope, 0.0);
    EXPECT_DOUBLE_EQ(cb.passes[2].slope, 5.5);
    EXPECT_DOUBLE_EQ(cb.passes[3].slope, 0.0);
    EXPECT_DOUBLE_EQ(cb.passes[4].slope, -1.0);
    EXPECT_DOUBLE_EQ(cb.passes[5].slope, 1.0);
}

std::vector<BlockPlan> FourBlocks() {
    std::vector<BlockPlan> s;
    for (uint32_t i = 0; i < 4; ++i) {
        BlockPlan b;
        uint32_t end = 0;
        double d = 0;
        for (uint32_t k = 0; k < 6; ++k) {
            end += 3 + 2 * k + i;
            d += 1000.0 / (k + 1) / (i + 1);
            b.passEnds.push_back(end);
            b.distortions.push_back(d);
        }
        b.zeroPlanes = i;
        s.push_back(b);
    }
    return s;
}

uint32_t WrittenBytes(EncoderTile& tile) {
    for (EncoderCodeBlock& cb : tile.components[0].ll.precincts[0].blocks)
        cb.nextPass = 0;
    CodestreamBuffer out;
    writePacket(tile, 0, 0, 0, 0, out);
    return static_cast<uint32_t>(out.Size());
}

uint32_t PassesInLayer0(const EncoderTile& tile) {
    uint32_t n = 0;
    for (const EncoderCodeBlock& cb : tile.components[0].ll.precincts[0].blocks)
        for (const CodingPass& p : cb.passes)
            n += p.layer == 0;
    return n;
}

TEST(EncoderRate, LayerMeetsItsBudget) {
    EncoderTile all = MakeTile(FourBlocks(), 2);
    const uint32_t full = WrittenBytes(all);

    uint32_t previous = 0, previousPasses = 0;
    for (uint32_t budget : {full / 8, full / 4, full / 2, full - 1, full}) {
        EncoderTile tile = MakeTile(FourBlocks(), 2);
        allocateRate(tile, &budget, 1);
        // The trial runs leave the packet state as it was.
        for (const EncoderCodeBlock& cb : tile.components[0].ll.precincts[0].blocks) {
            EXPECT_EQ(cb.nextPass, 0u);
            EXPECT_EQ(cb.lblock, 3u);
            EXPECT_EQ(cb.firstInclusion, 1);
        }
        // Layer 0 is a prefix of every block's passes, the rest in no layer.
        for (const EncoderCodeBlock& cb : tile.components[0].ll.precincts[0].blocks)
            for (size_t k = 1; k < cb.passes.size(); ++k)
                EXPECT_TRUE(cb.passes[k].layer == -1 || cb.passes[k - 1].layer == 0);
        const uint32_t written = WrittenBytes(tile);
        EXPECT_LE(written, budget) << budget;
        EXPECT_GE(written, previous) << budget;
        EXPECT_GE(PassesInLayer0(tile), previousPasses) << budget;
        previous = written;
        previousPasses = PassesInLayer0(tile);
    }
    // The bisected threshold stays above the smallest hull slope, so even the
    // whole size leaves out the last hull pass; everything before it is in.
    EXPECT_EQ(previousPasses, 23u);
    EXPECT_GT(previous, full / 2);
}

TEST(EncoderRate, TinyAndUnlimitedBudgets) {
    // Smaller than any packet with a pass: no fitting threshold, nothing sent.
    EncoderTile tiny = MakeTile(FourBlocks(), 2);
    const uint32_t one = 1;
    allocateRate(tiny, &one, 1);
    EXPECT_EQ(PassesInLayer0(tiny), 0u);
    for (const EncoderCodeBlock& cb : tiny.components[0].ll.precincts[0].blocks)
        for (const CodingPass& p : cb.passes)
            EXPECT_EQ(p.layer, -1);

    EncoderTile unlimited = MakeTile(FourBlocks(), 2);
    const uint32_t max = 2147483647u;
    allocateRate(unlimited, &max, 1);
    EXPECT_EQ(PassesInLayer0(unlimited), 24u);
}

} // namespace
