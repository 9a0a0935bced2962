// Packet progression: for a table of tile geometries, every progression order
// and several POC lists, the iterator's sequence equals a brute-force
// enumeration that sorts the tile's packets by each record's order keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "j2k/decoder/packet_iterator.h"

namespace {

struct Comp {
    IntPair sampling;
    uint32_t levels;
    std::vector<IntPair> precincts;  // per resolution, (PPx, PPy)
};

struct Geometry {
    const char* name;
    J2KRect tile;
    uint32_t layers;
    std::vector<Comp> comps;
};

using Packet = std::array<uint32_t, 5>;  // layer, resolution, component, px, py

uint64_t CeilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

// Everything the oracle knows about one precinct.
struct PrecinctInfo {
    uint32_t c, r, px, py;
    uint64_t x, y;  // where the precinct starts on the reference grid, clipped to the tile
};

std::vector<PrecinctInfo> Precincts(const Geometry& g, uint32_t reduction) {
    std::vector<PrecinctInfo> out;
    const uint64_t tx0 = g.tile.x0, tx1 = g.tile.x1(), ty0 = g.tile.y0, ty1 = g.tile.y1();
    for (uint32_t c = 0; c < g.comps.size(); ++c) {
        const Comp& k = g.comps[c];
        for (uint32_t r = 0; r + reduction <= k.levels; ++r) {
            const uint32_t n = k.levels - r;
            const uint64_t dx = uint64_t(k.sampling.first) << n, dy = uint64_t(k.sampling.second) << n;
            // Tile-component range, then the resolution's.
            const uint64_t rx0 = CeilDiv(CeilDiv(tx0, k.sampling.first), 1ull << n);
            const uint64_t rx1 = CeilDiv(CeilDiv(tx1, k.sampling.first), 1ull << n);
            const uint64_t ry0 = CeilDiv(CeilDiv(ty0, k.sampling.second), 1ull << n);
            const uint64_t ry1 = CeilDiv(CeilDiv(ty1, k.sampling.second), 1ull << n);
            if (rx0 == rx1 || ry0 == ry1)
                continue;
            const uint32_t ppx = k.precincts[r].first, ppy = k.precincts[r].second;
            const uint64_t kx0 = rx0 >> ppx, kx1 = CeilDiv(rx1, 1ull << ppx);
            const uint64_t ky0 = ry0 >> ppy, ky1 = CeilDiv(ry1, 1ull << ppy);
            for (uint64_t ky = ky0; ky < ky1; ++ky)
                for (uint64_t kx = kx0; kx < kx1; ++kx)
                    out.push_back({c, r, uint32_t(kx - kx0), uint32_t(ky - ky0),
                                   std::max(tx0, kx * (dx << ppx)), std::max(ty0, ky * (dy << ppy))});
        }
    }
    return out;
}

// The sequence the standard defines: each record in turn names the packets
// of its ranges not named before, sorted by its order's keys; the default
// record then names the rest.
std::vector<Packet> Oracle(const Geometry& g, uint32_t order, const std::vector<DJP2PocEntry>& list,
                           uint32_t reduction) {
    const std::vector<PrecinctInfo> precincts = Precincts(g, reduction);
    uint32_t maxRes = 0;
    for (const Comp& k : g.comps)
        maxRes = std::max(maxRes, k.levels + 1);
    DJP2PocEntry def;
    def.progression = order;
    def.resolutions = J2KRange(0, maxRes);
    def.components = J2KRange(0, uint32_t(g.comps.size()));
    def.layerEnd = g.layers;
    std::vector<DJP2PocEntry> records = list;
    records.push_back(def);
    std::set<Packet> named;
    std::vector<Packet> seq;
    for (const DJP2PocEntry& e : records) {
        std::vector<std::pair<std::array<uint64_t, 5>, Packet>> keyed;
        for (const PrecinctInfo& p : precincts) {
            if (p.r < e.resolutions.first || p.r >= e.resolutions.end || p.c < e.components.first ||
                p.c >= e.components.end)
                continue;
            for (uint32_t l = 0; l < std::min(e.layerEnd, g.layers); ++l) {
                const Packet pk{l, p.r, p.c, p.px, p.py};
                if (named.count(pk))
                    continue;
                std::array<uint64_t, 5> key;
                switch (e.progression) {
                case 0: key = {l, p.r, p.c, p.py, p.px}; break;
                case 1: key = {p.r, l, p.c, p.py, p.px}; break;
                case 2: key = {p.r, p.y, p.x, p.c, l}; break;
                case 3: key = {p.y, p.x, p.c, p.r, l}; break;
                default: key = {p.c, p.y, p.x, p.r, l}; break;
                }
                keyed.push_back({key, pk});
            }
        }
        std::sort(keyed.begin(), keyed.end());
        for (const auto& k : keyed) {
            named.insert(k.second);
            seq.push_back(k.second);
        }
    }
    return seq;
}

struct Bound {
    std::vector<const DJP2CodingStyle*> ptrs;
    std::vector<DJP2CodingStyle> styles;
    std::vector<IntPair> sampling;
    DJP2CodParams cod;
};

void Bind(const Geometry& g, uint32_t order, Bound& b) {
    b.styles.resize(g.comps.size());
    for (size_t c = 0; c < g.comps.size(); ++c) {
        b.styles[c].levels = g.comps[c].levels;
        b.styles[c].precinctExp.Resize(g.comps[c].levels + 1);
        for (uint32_t r = 0; r <= g.comps[c].levels; ++r)
            b.styles[c].precinctExp[r] = g.comps[c].precincts[r];
        b.sampling.push_back(g.comps[c].sampling);
    }
    for (auto& s : b.styles)
        b.ptrs.push_back(&s);
    b.cod.progression = order;
    b.cod.layers = g.layers;
}

std::vector<Packet> Collect(DJP2PacketIterator& it, size_t limit = 100000) {
    std::vector<Packet> seq;
    while (it.Valid() && seq.size() < limit) {
        seq.push_back({it.Layer(), it.Resolution(), it.Component(), it.PrecinctX(), it.PrecinctY()});
        it.Advance();
    }
    return seq;
}

DJP2PocEntry Poc(uint32_t rs, uint32_t re, uint32_t cs, uint32_t ce, uint32_t lye, uint32_t order) {
    DJP2PocEntry e;
    e.resolutions = J2KRange(rs, re - rs);
    e.components = J2KRange(cs, ce - cs);
    e.layerEnd = lye;
    e.progression = order;
    return e;
}

std::vector<IntPair> Pp(std::initializer_list<IntPair> v) { return v; }

const std::vector<Geometry>& Geometries() {
    static const std::vector<Geometry> g = {
        {"one_precinct_per_resolution", J2KRect(0, 0, 64, 48), 2, {{IntPair(1, 1), 2, Pp({{15, 15}, {15, 15}, {15, 15}})}}},
        {"offset_tile_small_precincts", J2KRect(5, 3, 61, 40), 3,
         {{IntPair(1, 1), 3, Pp({{2, 2}, {3, 3}, {4, 3}, {4, 4}})},
          {IntPair(1, 1), 3, Pp({{2, 2}, {3, 3}, {4, 3}, {4, 4}})},
          {IntPair(1, 1), 3, Pp({{3, 2}, {2, 3}, {3, 3}, {5, 5}})}}},
        {"subsampled_fewer_levels", J2KRect(7, 9, 50, 30), 2,
         {{IntPair(1, 1), 3, Pp({{3, 2}, {3, 3}, {4, 4}, {4, 4}})}, {IntPair(2, 2), 1, Pp({{2, 2}, {3, 3}})}}},
        {"odd_sampling_factors", J2KRect(1, 1, 37, 29), 2,
         {{IntPair(3, 1), 2, Pp({{1, 1}, {2, 2}, {2, 1}})}, {IntPair(2, 3), 2, Pp({{1, 2}, {1, 1}, {2, 2}})}}},
        {"tiny_precincts_far_origin", J2KRect(100, 200, 33, 17), 1,
         {{IntPair(1, 1), 4, Pp({{0, 0}, {1, 1}, {1, 1}, {2, 1}, {1, 2}})}}},
        {"one_sample", J2KRect(3, 5, 1, 1), 2, {{IntPair(1, 1), 5, Pp({{15, 15}, {15, 15}, {15, 15}, {15, 15}, {15, 15}, {15, 15}})}}},
    };
    return g;
}

std::vector<std::vector<DJP2PocEntry>> PocLists(uint32_t comps) {
    return {
        {},
        {Poc(0, 2, 0, 1, 1, 2)},  // leaves packets out: the default record names them
        {Poc(1, 33, 0, 256, 9, 0), Poc(0, 3, 0, comps, 2, 4)},  // ends beyond what exists, overlapping
        {Poc(0, 1, 0, comps, 1, 3), Poc(1, 2, comps - 1, comps, 2, 1), Poc(0, 4, 0, comps, 1, 2),
         Poc(2, 3, 0, 1, 3, 0)},
    };
}

// Runs f(geometry, order, list, iterator initialised on them) for every case
// of the table.
template <class F>
void ForEachCase(F&& f) {
    for (const Geometry& g : Geometries())
        for (uint32_t order = 0; order < 5; ++order) {
            const auto lists = PocLists(uint32_t(g.comps.size()));
            for (size_t li = 0; li < lists.size(); ++li) {
                SCOPED_TRACE(std::string(g.name) + " order " + std::to_string(order) + " list " + std::to_string(li));
                Bound b;
                Bind(g, order, b);
                DJP2PacketIterator it;
                it.Initialise(g.tile, b.sampling.data(), b.cod, b.ptrs.data(), uint32_t(g.comps.size()),
                              lists[li].data(), uint32_t(lists[li].size()));
                f(g, order, lists[li], it);
            }
        }
}

} // namespace

TEST(J2KPacketIterator, SequencesEqualTheBruteForceEnumeration) {
    ForEachCase([](const Geometry& g, uint32_t order, const std::vector<DJP2PocEntry>& list, DJP2PacketIterator& it) {
        const std::vector<Packet> got = Collect(it);
        EXPECT_EQ(got, Oracle(g, order, list, 0));
        // Every packet of the tile, exactly once.
        EXPECT_EQ(std::set<Packet>(got.begin(), got.end()).size(), got.size());
        EXPECT_EQ(got.size(), Precincts(g, 0).size() * g.layers);
        it.Advance();
        EXPECT_FALSE(it.Valid());
    });
}

TEST(J2KPacketIterator, RestartWithAReductionNamesOnlyResolutionsThatRemain) {
    ForEachCase([](const Geometry& g, uint32_t order, const std::vector<DJP2PocEntry>& list, DJP2PacketIterator& full) {
        DJP2PacketIterator copy(full);
        copy.Restart(1);
        const std::vector<Packet> got = Collect(copy);
        EXPECT_EQ(got, Oracle(g, order, list, 1));
        for (const Packet& p : got)
            EXPECT_LE(p[1] + 1, g.comps[p[2]].levels) << "resolution " << p[1] << " component " << p[2];
    });
}

TEST(J2KPacketIterator, CopyWalksItsOwnDefaultRecord) {
    const Geometry& g = Geometries()[1];
    Bound b;
    Bind(g, 2, b);
    auto* original = new DJP2PacketIterator();
    original->Initialise(g.tile, b.sampling.data(), b.cod, b.ptrs.data(), 3, nullptr, 0);
    for (int i = 0; i < 5; ++i)
        original->Advance();
    DJP2PacketIterator copy;
    copy = *original;
    DJP2PacketIterator reference(*original);
    delete original;  // the copy must not refer to the original's default record
    const std::vector<Packet> rest = Collect(copy);
    const std::vector<Packet> all = Oracle(g, 2, {}, 0);
    EXPECT_EQ(rest, std::vector<Packet>(all.begin() + 5, all.end()));
    EXPECT_EQ(Collect(reference), rest);
}

TEST(J2KPacketIterator, NewTilePartListTakesOverAndReturns) {
    const Geometry& g = Geometries()[2];
    Bound b;
    Bind(g, 0, b);
    const std::vector<DJP2PocEntry> main = {Poc(0, 4, 0, 2, 1, 1), Poc(0, 4, 0, 2, 2, 0)};
    const std::vector<DJP2PocEntry> later = {Poc(0, 4, 1, 2, 2, 4)};
    DJP2PacketIterator it;
    it.Initialise(g.tile, b.sampling.data(), b.cod, b.ptrs.data(), 2, main.data(), 2);
    std::vector<Packet> seq;
    for (int i = 0; i < 3; ++i) {
        seq.push_back({it.Layer(), it.Resolution(), it.Component(), it.PrecinctX(), it.PrecinctY()});
        it.Advance();
    }
    it.NewTilePart(later.data(), 1);
    // The packet already found stays next; then the later list's record.
    seq.push_back({it.Layer(), it.Resolution(), it.Component(), it.PrecinctX(), it.PrecinctY()});
    it.Advance();
    ASSERT_TRUE(it.Valid());
    EXPECT_EQ(it.Component(), 1u);
    std::vector<Packet> tail;
    for (int i = 0; i < 4 && it.Valid(); ++i) {
        tail.push_back({it.Layer(), it.Resolution(), it.Component(), it.PrecinctX(), it.PrecinctY()});
        it.Advance();
    }
    for (const Packet& p : tail)
        EXPECT_EQ(p[2], 1u);
    it.NewTilePart(nullptr, 0);  // back to the main list where it was left
    const std::vector<Packet> rest = Collect(it);
    seq.insert(seq.end(), tail.begin(), tail.end());
    seq.insert(seq.end(), rest.begin(), rest.end());
    std::set<Packet> unique(seq.begin(), seq.end());
    EXPECT_EQ(unique.size(), seq.size());
    EXPECT_EQ(seq.size(), Precincts(g, 0).size() * g.layers);
}
