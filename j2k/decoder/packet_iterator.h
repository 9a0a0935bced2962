// Names the packets of a tile in progression order: layer, resolution,
// component and precinct. It walks the progression records in force (a POC
// list, else the default record from COD), yields every packet at most once
// and, when the list leaves packets out, finishes with the default record.
// Every record is clamped to the resolutions and layers that exist.
#pragma once

#include <cstdint>
#include <vector>

#include "j2k/codec_types.h"
#include "j2k/decoder/marker_records.h"

class DJP2PacketIterator {
public:
    DJP2PacketIterator() = default;
    DJP2PacketIterator(const DJP2PacketIterator& other) { *this = other; }
    DJP2PacketIterator& operator=(const DJP2PacketIterator& other);

    // Binds the tile and searches its first packet. The sampling factors, the
    // style pointers and the list must outlive the iterator.
    void Initialise(const J2KRect& tile, const IntPair* sampling, const DJP2CodParams& cod,
                    const DJP2CodingStyle* const* styles, uint32_t components, const DJP2PocEntry* list,
                    uint32_t count);
    // Searches the next packet.
    void Advance();
    // A later tile-part's progression list (empty: back to the main list or
    // the default record); takes effect at the next Advance.
    void NewTilePart(const DJP2PocEntry* list, uint32_t count);
    // Starts the walk again over the resolutions left after dropping
    // `reduction` levels; every record loaded afterwards is limited the same way.
    void Restart(uint32_t reduction);

    bool Valid() const { return valid_; }
    uint32_t Layer() const { return layer_; }
    uint32_t Resolution() const { return res_; }
    uint32_t Component() const { return comp_; }
    uint32_t PrecinctX() const { return px_; }
    uint32_t PrecinctY() const { return py_; }
    uint32_t Progression() const { return order_; }

    // Precinct grid of component c at resolution r (0 x 0 when r > NL_c).
    uint32_t PrecinctColumns(uint32_t c, uint32_t r) const;
    uint32_t PrecinctRows(uint32_t c, uint32_t r) const;
    uint32_t MaxResolutions() const { return maxRes_; }

private:
    struct Grid {
        uint32_t nx = 0, ny = 0;
        uint32_t counters = 0;  // first next-layer counter of this grid
    };
    void Load(const DJP2PocEntry& e);
    bool Search();
    bool SearchLRCP();
    bool SearchRLCP();
    bool SearchRPCL();
    bool SearchPCRL();
    bool SearchCPRL();
    bool TryYield();
    bool PrecinctAt(uint32_t c, uint32_t r, uint64_t x, uint64_t y);
    uint32_t CompResolutions(uint32_t c) const;  // resolutions of c left after the reduction
    void Steps(uint32_t firstComp, uint32_t endComp);
    const Grid& GridOf(uint32_t c, uint32_t r) const { return grids_[c * 34 + r]; }
    static uint64_t NextMultiple(uint64_t v, uint64_t step) { return v + step - v % step; }

    const IntPair* sampling_ = nullptr;
    const DJP2CodingStyle* const* styles_ = nullptr;
    uint32_t components_ = 0;
    uint32_t layers_ = 0;
    uint32_t maxRes_ = 0;
    uint32_t reduction_ = 0;
    uint64_t tx0_ = 0, tx1_ = 0, ty0_ = 0, ty1_ = 0;

    uint32_t order_ = 0, rs_ = 0, re_ = 0, cs_ = 0, ce_ = 0, lye_ = 0;
    uint32_t layer_ = 0, res_ = 0, comp_ = 0, px_ = 0, py_ = 0;
    uint64_t x_ = 0, y_ = 0, xStep_ = 1, yStep_ = 1;
    bool firstCall_ = true;
    bool valid_ = false;
    bool done_ = false;

    std::vector<Grid> grids_;           // components x 34 resolutions
    std::vector<uint32_t> nextLayer_;   // per precinct, row-major within each grid
    DJP2PocEntry default_;
    const DJP2PocEntry* mainList_ = nullptr;
    uint32_t mainCount_ = 0;
    int64_t savedIndex_ = -1;
    const DJP2PocEntry* list_ = nullptr;
    uint32_t count_ = 0;
    uint32_t index_ = 0;
};
