// Records of the coding-style, quantisation and progression marker segments:
// the main header holds them as defaults, tile-part headers override them.
#pragma once

#include <cstdint>

#include "j2k/codec_types.h"
#include "j2k/diagnostics.h"

// Progression orders.
enum : uint32_t { kProgLRCP = 0, kProgRLCP = 1, kProgRPCL = 2, kProgPCRL = 3, kProgCPRL = 4 };

// Code-block coder mode word flags.
enum : uint32_t {
    kModeVerticalCausal = 0x01,
    kModeBypass = 0x02,
    kModeTermAll = 0x04,
    kModeResetContexts = 0x08,
    kModeSegmentSymbol = 0x10,
    kModePredictableTerm = 0x100000,
};

// The parts of COD without per-component override.
struct DJP2CodParams {
    uint32_t progression = 0;
    uint32_t layers = 0;
    uint8_t sop = 0;
    uint8_t eph = 0;
    uint8_t mct = 0;
};

// SPcod of COD or SPcoc of COC.
struct DJP2CodingStyle {
    uint32_t modeFlags = 0;
    uint32_t transform = 1;  // 0 9-7 irreversible, 1 5-3 reversible
    uint32_t levels = 0;
    IntPair codeBlockExp;                 // (xcb, ycb): coded value + 2
    CodecArray<IntPair> precinctExp;      // levels + 1 entries, entry 0 lowest resolution

    // Precinct exponents of resolution r; (15, 15) where the record has none.
    IntPair PrecinctExp(uint32_t r) const { return r < precinctExp.Count() ? precinctExp[r] : IntPair(15, 15); }

    // The mode word of a code-block style byte; bits 6 and 7 are not mapped.
    static uint32_t ModeWord(uint8_t style);
};

// A quantisation step: mantissa and exponent.
struct DJP2QuantStep {
    IntPair step;  // (mantissa, exponent)
};

struct DJP2QuantTriple {
    IntPair hl, lh, hh;
};

// QCD, or QCC for one component.
struct DJP2QuantParams {
    DiagnOutputRef diag;
    uint32_t style = 0;  // 0 none, 1 scalar derived, 2 scalar expounded
    // Step table: LL step and per level (entry 0 finest) HL, LH, HH.
    uint32_t tableLevels = 0;
    IntPair llStep;
    CodecArray<DJP2QuantTriple> levelSteps;
    IntPair derivedStep;
    uint32_t guardBits = 0;
    uint32_t levelCount = 0;
    uint8_t missing = 1;
};

// One progression-order change.
struct DJP2PocEntry {
    uint32_t progression = 0;
    J2KRange resolutions;
    J2KRange components;
    uint32_t layerEnd = 0;
};
