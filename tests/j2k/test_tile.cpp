// Tile geometry and structure: the tile grid of the decoder object, tile and
// tile-component rectangles, sub-band planes, precinct and code-block
// partitions, checked against the reference-grid formulas written out here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "j2k/byte_input.h"
#include "j2k/decoder/codestream.h"
#include "j2k/decoder/geometry.h"
#include "j2k/decoder/tile.h"

namespace {

std::string Be16(uint32_t v) { return std::string{char(v >> 8), char(v)}; }
std::string Be32(uint32_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }
std::string Seg(uint16_t marker, const std::string& body) { return Be16(marker) + Be16(body.size() + 2) + body; }

struct Spec {
    Spec(uint32_t xs, uint32_t ys, uint32_t x0, uint32_t y0, uint32_t xts, uint32_t yts, uint32_t xt0, uint32_t yt0)
        : xsiz(xs), ysiz(ys), xo(x0), yo(y0), xt(xts), yt(yts), xto(xt0), yto(yt0) {}
    uint32_t xsiz, ysiz, xo, yo, xt, yt, xto, yto;
    std::vector<std::pair<int, int>> sampling = {{1, 1}};
    uint8_t levels = 2, xcb = 4, ycb = 4;
    std::string precincts;  // one byte per resolution; empty for the default
    int qcdLevels = -1;     // -1: as many as the levels
    bool eoc = false;
};

std::string Stream(const Spec& s) {
    std::string siz = Be16(0) + Be32(s.xsiz) + Be32(s.ysiz) + Be32(s.xo) + Be32(s.yo) + Be32(s.xt) + Be32(s.yt) +
                      Be32(s.xto) + Be32(s.yto) + Be16(uint32_t(s.sampling.size()));
    for (auto [x, y] : s.sampling)
        siz += std::string{7, char(x), char(y)};
    const std::string cod = std::string{char(s.precincts.empty() ? 0 : 1), 0} + Be16(2) +
                            std::string{0, char(s.levels), char(s.xcb), char(s.ycb), 0, 1} + s.precincts;
    std::string qcd(1, char(0x40));
    const int ql = s.qcdLevels < 0 ? s.levels : s.qcdLevels;
    for (int k = 0; k < 1 + 3 * ql; ++k)
        qcd += char((9 + k % 3) << 3);
    return Be16(kMarkerSOC) + Seg(kMarkerSIZ, siz) + Seg(kMarkerCOD, cod) + Seg(kMarkerQCD, qcd) +
           (s.eoc ? Be16(kMarkerEOC) : Be16(kMarkerSOT) + Be16(10) + std::string(8, '\0'));
}

struct Decoder {
    explicit Decoder(const Spec& s) : bytes(Stream(s)) {
        in.Attach(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        cs.AttachInput(&in);
        cs.ReadMainHeader();
    }
    std::string bytes;
    MemoryBoundedInputBE in;
    DJP2Codestream<MemoryBoundedInputBE> cs;
};

uint32_t CeilDiv(uint64_t a, uint64_t b) { return uint32_t((a + b - 1) / b); }

} // namespace

TEST(J2KTile, GridOfTheDecoder) {
    {
        Decoder d(Spec{640, 480, 0, 0, 256, 256, 0, 0});
        EXPECT_TRUE(d.cs.Open());
        ASSERT_EQ(d.cs.TileCount(), 6u);
        EXPECT_EQ(d.cs.Tile(2).Rect(), J2KRect(512, 0, 128, 256));
        EXPECT_EQ(d.cs.Tile(5).Rect(), J2KRect(512, 256, 128, 224));
    }
    {
        Decoder d(Spec{400, 100, 100, 0, 256, 256, 0, 0});
        ASSERT_EQ(d.cs.TileCount(), 2u);  // ceil(400 / 256)
        EXPECT_EQ(d.cs.Tile(0).Rect(), J2KRect(100, 0, 156, 100));
        EXPECT_EQ(d.cs.Tile(1).Rect(), J2KRect(256, 0, 144, 100));
    }
    {   // A grid origin moved back below zero by the SIZ reader.
        Decoder d(Spec{60, 48, 10, 0, 64, 48, 40, 0});
        EXPECT_EQ(d.cs.MainHeader().tileOrigin.first, -24);
        ASSERT_EQ(d.cs.TileCount(), 2u);
        EXPECT_EQ(d.cs.Tile(0).Rect(), J2KRect(10, 0, 30, 48));
        EXPECT_EQ(d.cs.Tile(1).Rect(), J2KRect(40, 0, 20, 48));
    }
    {   // A header that ends with EOC: not open, tiles exist all the same.
        Spec s{64, 64, 0, 0, 32, 32, 0, 0};
        s.eoc = true;
        Decoder d(s);
        EXPECT_FALSE(d.cs.Open());
        EXPECT_EQ(d.cs.TileCount(), 4u);
    }
}

TEST(J2KTile, ComponentRectanglesFollowTheSamplingFactors) {
    Spec s{8, 8, 1, 0, 8, 8, 0, 0};
    s.sampling = {{1, 1}, {2, 3}};
    Decoder d(s);
    EXPECT_EQ(d.cs.Tile(0).ComponentRect(0), J2KRect(1, 0, 7, 8));
    EXPECT_EQ(d.cs.Tile(0).ComponentRect(1), J2KRect(1, 0, 3, 3));  // x 1 to 4, y 0 to ceil(8 / 3)
}

TEST(J2KTile, GridPartitionCells) {
    const GridPartition p(5, 200, 6);
    ASSERT_EQ(p.count, 4u);  // cells 0-63, 64-127, 128-191, 192-204
    EXPECT_EQ(p.Length(0), 59u);
    EXPECT_EQ(p.Length(1), 64u);
    EXPECT_EQ(p.Length(3), 13u);
    EXPECT_EQ(p.Offset(2), 123u);
    EXPECT_EQ(GridPartition(64, 64, 6).count, 1u);
    EXPECT_EQ(GridPartition(64, 0, 6).count, 0u);
    EXPECT_EQ(GridPartition(70, 3, 15).Length(0), 3u);
}

namespace {

// Band rectangle by the reference-grid formula: level d, orientation offsets
// (xo, yo): ceil((t - 2^(d-1) xo) / 2^d) at both ends.
J2KRect FormulaBand(const J2KRect& tc, uint32_t d, uint32_t xo, uint32_t yo) {
    auto end = [&](uint64_t t, uint32_t o) {
        const int64_t v = int64_t(t) - int64_t(o) * (int64_t(1) << (d - 1));
        return v <= 0 ? 0 : CeilDiv(uint64_t(v), uint64_t(1) << d);
    };
    const uint32_t x0 = end(tc.x0, xo), x1 = end(tc.x1(), xo), y0 = end(tc.y0, yo), y1 = end(tc.y1(), yo);
    return J2KRect(x0, y0, x1 - x0, y1 - y0);
}

// Every code-block of a band lies in its precinct's part of the band, in the
// band, and together they cover the band exactly once.
void CheckBandCover(const DJP2Band& band, const DJP2PlaneBuffer& plane) {
    std::vector<int> hits(size_t(band.rect.width) * band.rect.height, 0);
    for (uint32_t k = 0; k < band.precincts.Count(); ++k) {
        const DJP2Precinct& p = band.precincts[k];
        for (uint32_t b = 0; b < p.blocks.Count(); ++b) {
            const DJP2CodeBlock& blk = p.blocks[b];
            ASSERT_GE(blk.rect.x0, p.bandRect.x0);
            ASSERT_LE(blk.rect.x1(), p.bandRect.x1());
            ASSERT_GE(blk.rect.y0, p.bandRect.y0);
            ASSERT_LE(blk.rect.y1(), p.bandRect.y1());
            ASSERT_GE(blk.rect.x0, band.rect.x0);
            ASSERT_LE(blk.rect.y1(), band.rect.y1());
            const uint32_t bx = blk.rect.x0 - band.rect.x0, by = blk.rect.y0 - band.rect.y0;
            EXPECT_EQ(blk.plane.data, plane.Ref().data + size_t(by) * plane.Ref().step + 4 * bx);
            for (uint32_t y = 0; y < blk.rect.height; ++y)
                for (uint32_t x = 0; x < blk.rect.width; ++x)
                    ++hits[size_t(by + y) * band.rect.width + bx + x];
        }
        EXPECT_EQ(p.inclusion.columns, p.blockColumns);
        EXPECT_EQ(p.zeroPlanes.rows, p.blockRows);
    }
    for (int h : hits)
        ASSERT_EQ(h, 1);
}

} // namespace

TEST(J2KTile, BandsPrecinctsAndCodeBlocksCoverTheirPlanes) {
    struct Case {
        Spec spec;
        uint32_t tile;
    };
    Spec a{61, 45, 3, 5, 32, 40, 0, 0};
    a.levels = 3;
    a.precincts = std::string{0x22, 0x33, 0x44, 0x55};
    Spec b{97, 70, 0, 0, 97, 70, 0, 0};
    b.levels = 2;
    b.sampling = {{1, 1}, {2, 2}};
    b.xcb = 5;
    b.ycb = 3;
    b.precincts = std::string{0x33, 0x23, 0x34};  // code-blocks wider than half a precinct
    Spec c{1, 1, 0, 0, 1, 1, 0, 0};
    c.levels = 5;
    for (const Case& k : {Case{a, 1}, Case{a, 3}, Case{b, 0}, Case{c, 0}}) {
        Decoder d(k.spec);
        DJP2Tile& t = d.cs.Tile(k.tile);
        t.BuildPacketStructure();
        for (uint32_t comp = 0; comp < k.spec.sampling.size(); ++comp) {
            SCOPED_TRACE("tile " + std::to_string(k.tile) + " component " + std::to_string(comp));
            const J2KRect tc = t.ComponentRect(comp);
            const SubbandPlanes& pl = t.Planes(comp);
            const DJP2TileComponentPackets& pk = t.Packets(comp);
            const uint32_t nl = k.spec.levels;
            ASSERT_EQ(pk.levels.Count(), nl);
            for (uint32_t d = 1; d <= nl; ++d) {
                const DJP2LevelBands& lb = pk.levels[d - 1];
                EXPECT_EQ(lb.hl.rect, FormulaBand(tc, d, 1, 0));
                EXPECT_EQ(lb.lh.rect, FormulaBand(tc, d, 0, 1));
                EXPECT_EQ(lb.hh.rect, FormulaBand(tc, d, 1, 1));
                EXPECT_EQ(pl.level[d - 1].hh.Size(), IntPair(lb.hh.rect.width, lb.hh.rect.height));
                CheckBandCover(lb.hl, pl.level[d - 1].hl);
                CheckBandCover(lb.lh, pl.level[d - 1].lh);
                CheckBandCover(lb.hh, pl.level[d - 1].hh);
                // Nominal range of the band in bits: Ssiz precision field 7, HH gain 2.
                if (lb.hh.precincts.Count() && lb.hh.precincts[0].blocks.Count()) {
                    EXPECT_EQ(lb.hh.precincts[0].blocks[0].rangeBits, 7u + 2u + 1u);
                }
            }
            const J2KRect ll = FormulaBand(tc, nl, 0, 0);
            EXPECT_EQ(pk.ll.rect, J2KRect(CeilDiv(tc.x0, 1u << nl), CeilDiv(tc.y0, 1u << nl), ll.width, ll.height));
            CheckBandCover(pk.ll, pl.ll);
            // Precinct grids agree with the iterator's counts.
            for (uint32_t r = 0; r <= nl; ++r) {
                const DJP2Band& band = r == 0 ? pk.ll : pk.levels[nl - r].hl;
                EXPECT_EQ(band.precinctColumns, t.Iterator().PrecinctColumns(comp, r)) << r;
                EXPECT_EQ(band.precinctRows, t.Iterator().PrecinctRows(comp, r)) << r;
            }
        }
    }
}

TEST(J2KTile, OneSampleTileHasCodeBlocksOnlyInNonEmptyBands) {
    Spec s{1, 1, 0, 0, 1, 1, 0, 0};
    s.levels = 5;
    Decoder d(s);
    DJP2Tile& t = d.cs.Tile(0);
    t.BuildPacketStructure();
    const DJP2TileComponentPackets& pk = t.Packets(0);
    EXPECT_EQ(pk.firstResolution, 0u);
    EXPECT_FALSE(pk.ll.empty);
    EXPECT_EQ(pk.ll.precincts[0].blocks.Count(), 1u);
    for (uint32_t i = 0; i < 5; ++i) {
        EXPECT_TRUE(pk.levels[i].hl.empty);
        for (uint32_t k = 0; k < pk.levels[i].hh.precincts.Count(); ++k)
            EXPECT_EQ(pk.levels[i].hh.precincts[k].blocks.Count(), 0u);
    }
}

TEST(J2KTile, TileWhoseLowBandsAreEmptyStartsAtAHigherResolution) {
    // A tile one sample wide at an odd x: its low-pass ranges are empty.
    Spec s{2, 4, 1, 0, 4, 4, 0, 0};
    s.levels = 1;
    Decoder d(s);
    DJP2Tile& t = d.cs.Tile(0);
    t.BuildPacketStructure();
    EXPECT_TRUE(t.Packets(0).ll.empty);
    EXPECT_EQ(t.Packets(0).firstResolution, 1u);
}

TEST(J2KTile, DefaultPrecinctsAndTooFewQuantisationLevels) {
    Spec s{300, 200, 0, 0, 300, 200, 0, 0};
    s.levels = 3;
    {
        Decoder d(s);
        d.cs.Tile(0).BuildPacketStructure();
        const DJP2TileComponentPackets& pk = d.cs.Tile(0).Packets(0);
        EXPECT_EQ(pk.ll.precincts.Count(), 1u);
        EXPECT_EQ(pk.levels[0].hh.precincts.Count(), 1u);
        EXPECT_EQ(pk.levels[0].hh.precincts[0].blocks.Count(), 3u * 2u);  // 150 x 100 in 64 x 64 blocks
    }
    s.qcdLevels = 2;
    Decoder d(s);
    using TooFew = DiagnDescrCT<DJP2CSException, 7>;
    EXPECT_THROW(d.cs.Tile(0).BuildPacketStructure(), TooFew);
}

TEST(J2KTile, RetargetedCopyFollowsTheReducedGeometry) {
    Spec s{61, 45, 3, 5, 61, 45, 0, 0};
    s.levels = 3;
    Decoder d(s);
    DJP2Tile& t = d.cs.Tile(0);
    DJP2Tile copy;
    copy.RetargetFrom(t, 1);
    const J2KRect reduced = ScaleRectUp(t.ComponentRect(0), 1);
    EXPECT_EQ(copy.Planes(0).rect, reduced);
    EXPECT_EQ(copy.Packets(0).levels.Count(), 2u);
    // Level index 0 of the copy is level index 1 of the full tile.
    t.BuildPacketStructure();
    EXPECT_EQ(copy.Packets(0).levels[0].hh.rect, t.Packets(0).levels[1].hh.rect);
    EXPECT_EQ(copy.Packets(0).ll.rect, t.Packets(0).ll.rect);
    EXPECT_EQ(copy.Packets(0).levels[0].hh.precincts[0].blocks[0].offset,
              t.Packets(0).levels[1].hh.precincts[0].blocks[0].offset);
}
