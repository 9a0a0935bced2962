// The main header of a JPEG 2000 code-stream: SOC, SIZ and the coding-style,
// quantisation and progression segments up to the first SOT marker.
#pragma once

#include <cstdint>

#include "j2k/codec_types.h"
#include "j2k/diagnostics.h"
#include "j2k/decoder/marker_records.h"

// Marker codes.
enum : uint16_t {
    kMarkerSOC = 0xFF4F,
    kMarkerSIZ = 0xFF51,
    kMarkerCOD = 0xFF52,
    kMarkerCOC = 0xFF53,
    kMarkerTLM = 0xFF55,
    kMarkerPLM = 0xFF57,
    kMarkerPLT = 0xFF58,
    kMarkerQCD = 0xFF5C,
    kMarkerQCC = 0xFF5D,
    kMarkerRGN = 0xFF5E,
    kMarkerPOC = 0xFF5F,
    kMarkerPPM = 0xFF60,
    kMarkerPPT = 0xFF61,
    kMarkerCRG = 0xFF63,
    kMarkerCOM = 0xFF64,
    kMarkerSOT = 0xFF90,
    kMarkerSOP = 0xFF91,
    kMarkerEPH = 0xFF92,
    kMarkerSOD = 0xFF93,
    kMarkerEOC = 0xFFD9,
    kMarkerUnknown = 0xFFFF,
};

// Largest tile count a code-stream can address (the SOT tile index is 16-bit).
constexpr uint64_t kMaxTileCount = 65535;

// The marker code of a 16-bit value: any code this decoder does not know
// comes back as kMarkerUnknown.
uint16_t MarkerFromCode(uint16_t code);

class DJP2MainHeader {
public:
    DJP2MainHeader() = default;
    DJP2MainHeader(const DJP2MainHeader&) = delete;
    DJP2MainHeader& operator=(const DJP2MainHeader&) = delete;
    ~DJP2MainHeader() { Reset(); }

    // Reads the whole main header; true when the first SOT marker was reached
    // (and consumed), false at EOC.
    template <class Input>
    bool Read(Input& in);

    // Back to the state of a new header (the default records are kept).
    void Reset();

    // Per-component records in force.
    const DJP2QuantParams& Quant(uint32_t c) const { return *quantTable_[c]; }
    const DJP2CodingStyle& Style(uint32_t c) const { return *styleTable_[c]; }
    bool HasOwnQuant(uint32_t c) const { return quantTable_[c] != &quantDefaults_; }
    bool HasOwnStyle(uint32_t c) const { return styleTable_[c] != &styleDefaults_; }
    const DJP2QuantParams* const* QuantTable() const { return quantTable_.Data(); }
    const DJP2CodingStyle* const* StyleTable() const { return styleTable_.Data(); }

    // Tiles across and down of the tile grid.
    IntPair TileGrid() const;
    uint32_t TileCount() const;

    // Fields, as the SIZ, COD, QCD and POC segments declare them.
    J2KRect imageRect;
    IntPair tileOrigin;  // moved back by whole tiles when it lies right of or below the image origin
    IntPair tileSize;
    uint16_t componentCount = 0;
    CodecArray<uint8_t> ssiz;
    CodecArray<IntPair> sampling;
    DJP2QuantParams quantDefaults_;
    CodecArray<DJP2QuantParams*> quantTable_;
    DJP2CodingStyle styleDefaults_;
    CodecArray<DJP2CodingStyle*> styleTable_;
    DJP2CodParams cod;
    CodecVector<DJP2PocEntry> poc;
    uint8_t codMissing = 1;
    uint16_t rsiz = 0;
    DiagnOutputRef diag;

    // Segment bodies, shared with the tile-part header reader: the COD body
    // after its warnings (Scod, SGcod, SPcod), SPcod or SPcoc, the quantisation
    // values of QCD or QCC, the entries of a POC, a COC or QCC component index.
    template <class Input> void ReadCodBody(Input& in, DJP2CodParams& params, DJP2CodingStyle& style) const;
    template <class Input> static void ReadCodingStyle(Input& in, DJP2CodingStyle& style, bool precincts);
    template <class Input> static void ReadQuantValues(Input& in, DJP2QuantParams& q);
    template <class Input> void ReadPocEntries(Input& in, CodecVector<DJP2PocEntry>& list) const;
    template <class Input> uint16_t ReadComponentIndex(Input& in) const;

private:
    void DeleteOwnRecords();
    template <class Input> void ReadSIZ(Input& in);
    template <class Input> void ReadCOD(Input& in);
    template <class Input> void ReadCOC(Input& in);
    template <class Input> void ReadQCD(Input& in);
    template <class Input> void ReadQCC(Input& in);
    template <class Input> void ReadPOC(Input& in);
};

// Shared with the tile-part reader.
template <class Input>
uint16_t ReadMarker(Input& in) {
    return MarkerFromCode(in.Read16());
}

// Lxxx - 2; a length field below 2 throws DJP2MarkerException 0.
template <class Input>
uint16_t ReadSegmentLength(Input& in) {
    const uint16_t l = in.Read16();
    if (l < 2)
        ThrowDiagn<DJP2MarkerException, 0>();
    return static_cast<uint16_t>(l - 2);
}

class MemoryBoundedInputBE;
class BoundedInputBE;
extern template bool DJP2MainHeader::Read<MemoryBoundedInputBE>(MemoryBoundedInputBE&);
extern template bool DJP2MainHeader::Read<BoundedInputBE>(BoundedInputBE&);
