// The decoder's tile: its rectangle on the reference grid, the coding records
// in force, its packet iterator, and two trees built at its first packet:
// the sub-band coefficient planes of every component and the packet
// structure (bands, precincts, code-blocks, tag trees).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "j2k/codec_types.h"
#include "j2k/diagnostics.h"
#include "j2k/decoder/codeblock.h"
#include "j2k/decoder/main_header.h"
#include "j2k/decoder/marker_records.h"
#include "j2k/decoder/packet_iterator.h"

// Coding records in force for a tile: the main header's defaults until a
// tile-part header overrides them. Records read from the tile's own first
// tile-part header are owned here.
struct DJP2TileCoding {
    const DJP2PocEntry* progression = nullptr;
    uint32_t progressionCount = 0;
    DJP2CodParams cod;
    CodecArray<const DJP2QuantParams*> quant;
    CodecArray<const DJP2CodingStyle*> style;

    // Owned overrides: the tile's COD style (shared by every component it
    // covers), per-component COC styles, the QCD record, per-component QCC
    // records and the POC list.
    std::unique_ptr<DJP2CodingStyle> ownStyle;
    std::vector<std::unique_ptr<DJP2CodingStyle>> ownComponentStyle;
    std::unique_ptr<DJP2QuantParams> ownQuant;
    std::vector<std::unique_ptr<DJP2QuantParams>> ownComponentQuant;
    std::unique_ptr<CodecVector<DJP2PocEntry>> ownProgression;
    bool ownCod = false;

    void InitFromMainHeader(const DJP2MainHeader& header);
};

// Coefficient planes of one tile-component: per level (index 0 finest) the
// HL, LH and HH bands, and the LL band.
struct SubbandLevelPlanes {
    DJP2PlaneBuffer hl, lh, hh;
};

struct SubbandPlanes {
    J2KRect rect;
    uint32_t levels = 0;
    CodecArray<SubbandLevelPlanes> level;
    DJP2PlaneBuffer ll;

    void Build(const J2KRect& tileComponent, uint32_t levels);
    // Rectangle of band o (1 LH, 2 HL, 3 HH) of level index i, or the LL band.
    J2KRect BandRectOf(uint32_t i, uint32_t o) const;
    J2KRect LLRect() const;
};

// A tag tree's nodes over a grid of code-blocks; its coding is the packet
// header reader's.
struct DJP2TagTree {
    struct Node {
        uint32_t value = 0;
        uint32_t low = 0;
        uint8_t known = 0;
    };
    uint32_t columns = 0, rows = 0;
    uint32_t levelCount = 0;
    CodecArray<Node> nodes;

    void Resize(uint32_t columns, uint32_t rows);
};

struct DJP2Precinct {
    J2KRect bandRect;  // the precinct's part of the band
    uint32_t blockColumns = 0, blockRows = 0;
    CodecArray<DJP2CodeBlock> blocks;
    DJP2TagTree inclusion, zeroPlanes;
    uint8_t bypass = 0;
    uint8_t termAll = 0;
};

struct DJP2Band {
    J2KRect rect;
    uint32_t orientation = 0;
    uint32_t precinctColumns = 0, precinctRows = 0;
    CodecArray<DJP2Precinct> precincts;
    uint8_t empty = 1;
};

struct DJP2LevelBands {
    DJP2Band hl, lh, hh;
};

struct DJP2TileComponentPackets {
    DJP2Band ll;
    CodecArray<DJP2LevelBands> levels;  // index 0 finest
    uint32_t firstResolution = 0xFFFFFFFFu;
};

class DJP2Tile {
public:
    DJP2Tile() = default;
    DJP2Tile(const DJP2Tile&) = delete;
    DJP2Tile& operator=(const DJP2Tile&) = delete;

    void SetOutput(BDiagnOutput* output);
    // Rectangle, coding defaults and iterator of tile `index` of the grid.
    void Init(const DJP2MainHeader& header, uint32_t index);

    const J2KRect& Rect() const { return rect_; }
    J2KRect ComponentRect(uint32_t c) const;
    const DJP2TileCoding& Coding() const { return coding_; }
    DJP2TileCoding& Coding() { return coding_; }
    DJP2PacketIterator& Iterator() { return iterator_; }
    const DJP2MainHeader* Header() const { return header_; }

    // Both trees, at the resolution left after dropping `reduction` levels.
    void BuildPlanes(uint32_t reduction = 0);
    void BuildPacketStructure(uint32_t reduction = 0);
    bool PlanesBuilt() const { return planesBuilt_ != 0; }
    bool PacketsBuilt() const { return packetsBuilt_ != 0; }
    const SubbandPlanes& Planes(uint32_t c) const { return planes_[c]; }
    const DJP2TileComponentPackets& Packets(uint32_t c) const { return packets_[c]; }

    // A decoding copy: takes tile t's rectangle, coding and iterator and its
    // recorded tile-part extents; its trees are rebuilt at the reduction.
    void RetargetFrom(const DJP2Tile& t, uint32_t reduction);
    // A later tile-part changed the progression.
    bool HasTilePartProgressions() const { return !tilePartLists_.empty(); }

    // Reads a tile-part header up to and including SOD into this tile; the
    // SOT segment has been read (tile-part index and count given).
    template <class Input>
    void ReadTilePartHeader(Input& in, uint32_t tpsot, uint32_t tnsot);
    // Decodes the packet the iterator names and advances it; false when the
    // tile has no packet left.
    template <class Input>
    bool DecodeNextPacket(Input& in);
    // Decodes every code-block's bytes still waiting for a layer that never
    // came (a code-stream cut after an earlier layer); WriteComponents does
    // this first.
    void FinishCodeBlocks();
    // Turns the decoded coefficients into samples: the tile-component of c
    // goes to outputs[c] (its first sample), then the components are finished
    // together (component transform, level shift, clamping). A tile that
    // received no packet is finished from all-zero coefficients.
    void WriteComponents(const PlaneRef* outputs, uint32_t reduction);
    // Coefficients of component c to samples at `out`: two's complement, and
    // for the irreversible path dequantisation to float, then the inverse
    // wavelet.
    void DecodeComponent(uint32_t c, const PlaneRef& out, uint32_t reduction);
    // Multiplies the float band planes of a component by their quantisation
    // steps; precisionMinusOne as coded in SIZ; levelsDropped: the finest
    // levels the planes leave out (a reduced decoding).
    static void Dequantize(SubbandPlanes& planes, const DJP2QuantParams& q, uint32_t precisionMinusOne,
                           uint32_t levelsDropped = 0);

    uint32_t tilePartsRead = 0, tilePartsExpected = 0;
    uint8_t transformAllowed = 0;
    std::vector<std::pair<uint64_t, uint64_t>> tilePartExtents;  // stream position, length

private:
    template <class Input> void ReadFirstTilePartHeader(Input& in);
    template <class Input> void ReadLaterTilePartHeader(Input& in);
    void CheckComponentTransform();
    template <class Input> void DecodePacket(Input& in, uint32_t layer, uint32_t resolution, uint32_t component,
                                             uint32_t px, uint32_t py);

    void SetupBand(DJP2Band& band, const DJP2PlaneBuffer& plane, uint32_t orientation, const J2KRect& resolution,
                   IntPair precinctExp, IntPair blockExp, uint32_t mode, uint32_t layers, uint32_t guardBits,
                   uint32_t precisionMinusOne, uint32_t exponent);

    DiagnOutputRef diag_;
    J2KRect rect_;
    const DJP2MainHeader* header_ = nullptr;
    DJP2TileCoding coding_;
    DJP2PacketIterator iterator_;
    CodecArray<DJP2TileComponentPackets> packets_;
    uint8_t packetsBuilt_ = 0;
    CodecArray<SubbandPlanes> planes_;
    uint8_t planesBuilt_ = 0;
    uint32_t reduction_ = 0;
    std::vector<std::unique_ptr<CodecVector<DJP2PocEntry>>> tilePartLists_;  // POC lists of later tile-parts
    std::vector<uint8_t> scratch_;  // segment bytes on their way to the code-block decoder
};

// Band exponents of a quantisation record for a tile-component of `levels`
// levels: LL, and per level index i (0 finest) HL, LH and HH. Throws
// DJP2CSException 7 when the record has steps for fewer levels.
struct DJP2BandExponents {
    uint32_t ll = 0;
    std::vector<std::array<uint32_t, 3>> level;  // HL, LH, HH
};
DJP2BandExponents BandExponents(const DJP2QuantParams& q, uint32_t levels);
