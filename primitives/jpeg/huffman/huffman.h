// Baseline JPEG Huffman coding, one 8 x 8 block per call: decoding tables and
// block decoding, encoding tables and block encoding with byte stuffing,
// block statistics and optimal tables (the standard's Annex K.2 procedure).
//
// Blocks are 64 signed 16-bit coefficients in natural order (entry 8v + u:
// vertical frequency v, horizontal frequency u); the coded data carries them
// in zig-zag order. Tables come as a DHT segment has them: 16 code-length
// counts (BITS, count i for length i + 1) and the symbol list (HUFFVAL).
//
// Status codes: 0 success; -5 negative source length; -6 destination length
// of 0 or less, or a position outside 0..length; -8 null pointer; -62 the
// data ran out (decoding) or the destination filled up (encoding); -63 no
// code of 16 bits or fewer matched, a marker ended the data before the bits
// a step needs, or a category too large for the statistics; -64 a bad table,
// a value that has no code (an AC coefficient of -32768 included), or an
// optimal code longer than 32 bits.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

constexpr int32_t primErrNegativeLength = -5;
constexpr int32_t primErrDataEnd = -62;
constexpr int32_t primErrHuffmanData = -63;
constexpr int32_t primErrHuffmanTable = -64;

// A decoding table: symbols in list order, an 8-bit look-ahead ((length << 16)
// | symbol for codes of up to 8 bits, 0 elsewhere) and, per code length 0..17,
// the first code, the last code (0xFFFF where the length has none) and the
// list position of the first symbol.
struct HuffmanDecodeSpec {
    uint16_t symbols[256];
    uint32_t lookahead[256];
    uint16_t firstCode[18];
    uint16_t lastCode[18];
    uint16_t firstIndex[18];
};
static_assert(sizeof(HuffmanDecodeSpec) == 1644);

// Bits not yet decoded: the low `count` bits of `bits`, the next at the top.
struct HuffmanDecodeState {
    uint32_t bits;
    int32_t count;
    uint8_t reserved[16];
};
static_assert(sizeof(HuffmanDecodeState) == 24);

// An encoding table: (length << 16) | code per symbol, 0 for no code.
struct HuffmanEncodeSpec {
    uint32_t codes[256];
};
static_assert(sizeof(HuffmanEncodeSpec) == 1024);

// Bits waiting to complete a byte: `count` (0..7 between calls) bits just
// below bit 24 of `bits`, the oldest at bit 23.
struct HuffmanEncodeState {
    uint32_t bits;
    int32_t count;
    uint8_t work[1024];
    uint8_t reserved[16];
};
static_assert(sizeof(HuffmanEncodeState) == 1048);

// The standard's zig-zag sequence: natural position of zig-zag index k.
extern const int32_t jpegZigzagToNatural[64];

int32_t huffmanDecodeSpecGetSize(int32_t* size);
int32_t huffmanDecodeSpecInit(const uint8_t* bits, const uint8_t* values, HuffmanDecodeSpec* spec);
int32_t huffmanDecodeStateGetSize(int32_t* size);
int32_t huffmanDecodeStateInit(HuffmanDecodeState* state);
// Decodes one block from src[*pos ..] (srcLen bytes in all), removing the 0x00
// after each 0xFF data byte; a marker met in the data is stored in *marker and
// stops further reading. *pos must lie in 0..srcLen.
int32_t huffmanDecodeBlock(const uint8_t* src, int32_t srcLen, int32_t* pos, int16_t* block, int16_t* lastDc,
                           int32_t* marker, const HuffmanDecodeSpec* dcSpec, const HuffmanDecodeSpec* acSpec,
                           HuffmanDecodeState* state);

int32_t huffmanEncodeSpecGetSize(int32_t* size);
int32_t huffmanEncodeSpecInit(const uint8_t* bits, const uint8_t* values, HuffmanEncodeSpec* spec);
int32_t huffmanEncodeStateGetSize(int32_t* size);
int32_t huffmanEncodeStateInit(HuffmanEncodeState* state);
// Encodes one block at dst[*pos ..] (dstLen bytes in all), or with `flush`
// non-zero pads the waiting bits with 1-bits to a byte and clears the state.
// All or nothing: a failing call leaves *pos, the state and *lastDc as they
// were (bytes past *pos may have been written).
int32_t huffmanEncodeBlock(const int16_t* block, uint8_t* dst, int32_t dstLen, int32_t* pos, int16_t* lastDc,
                           const HuffmanEncodeSpec* dcSpec, const HuffmanEncodeSpec* acSpec,
                           HuffmanEncodeState* state, int32_t flush);

// Adds the symbols that encoding the block would write to the DC counts
// (entries 0..15) and AC counts (entries up to 0xFE); replaces *lastDc.
int32_t huffmanGatherBlockStatistics(const int16_t* block, int32_t* dcCounts, int32_t* acCounts, int16_t* lastDc);
// From 257 symbol counts (entry 256 ignored) to BITS and HUFFVAL of a table
// with codes of at most 16 bits.
int32_t huffmanBuildOptimalTable(const int32_t* counts, uint8_t* bits, uint8_t* values);

using HuffmanDecodeSpecInitFn = int32_t (*)(const uint8_t*, const uint8_t*, HuffmanDecodeSpec*);
using HuffmanDecodeBlockFn = int32_t (*)(const uint8_t*, int32_t, int32_t*, int16_t*, int16_t*, int32_t*,
                                         const HuffmanDecodeSpec*, const HuffmanDecodeSpec*, HuffmanDecodeState*);
using HuffmanEncodeSpecInitFn = int32_t (*)(const uint8_t*, const uint8_t*, HuffmanEncodeSpec*);
using HuffmanEncodeStateInitFn = int32_t (*)(HuffmanEncodeState*);
using HuffmanEncodeBlockFn = int32_t (*)(const int16_t*, uint8_t*, int32_t, int32_t*, int16_t*,
                                         const HuffmanEncodeSpec*, const HuffmanEncodeSpec*, HuffmanEncodeState*,
                                         int32_t);
using HuffmanGatherFn = int32_t (*)(const int16_t*, int32_t*, int32_t*, int16_t*);
using HuffmanBuildOptimalFn = int32_t (*)(const int32_t*, uint8_t*, uint8_t*);

#define VQ_HUFFMAN_FORMS                                                                                          \
    int32_t huffmanDecodeSpecInit(const uint8_t* bits, const uint8_t* values, HuffmanDecodeSpec* spec);         \
    int32_t huffmanDecodeBlock(const uint8_t* src, int32_t srcLen, int32_t* pos, int16_t* block,                \
                               int16_t* lastDc, int32_t* marker, const HuffmanDecodeSpec* dcSpec,               \
                               const HuffmanDecodeSpec* acSpec, HuffmanDecodeState* state);                     \
    int32_t huffmanEncodeSpecInit(const uint8_t* bits, const uint8_t* values, HuffmanEncodeSpec* spec);         \
    int32_t huffmanEncodeStateInit(HuffmanEncodeState* state);                                                   \
    int32_t huffmanEncodeBlock(const int16_t* block, uint8_t* dst, int32_t dstLen, int32_t* pos,                \
                               int16_t* lastDc, const HuffmanEncodeSpec* dcSpec, const HuffmanEncodeSpec* acSpec, \
                               HuffmanEncodeState* state, int32_t flush);                                       \
    int32_t huffmanGatherBlockStatistics(const int16_t* block, int32_t* dcCounts, int32_t* acCounts,            \
                                         int16_t* lastDc);                                                      \
    int32_t huffmanBuildOptimalTable(const int32_t* counts, uint8_t* bits, uint8_t* values);

VQ_DECLARE_FORMS(VQ_HUFFMAN_FORMS)

extern const HuffmanDecodeSpecInitFn huffmanDecodeSpecInitTable[6];
extern const HuffmanDecodeBlockFn huffmanDecodeBlockTable[6];
extern const HuffmanEncodeSpecInitFn huffmanEncodeSpecInitTable[6];
extern const HuffmanEncodeStateInitFn huffmanEncodeStateInitTable[6];
extern const HuffmanEncodeBlockFn huffmanEncodeBlockTable[6];
// Entries 1 and 2 share one body, and entries 3 to 5 another.
extern const HuffmanGatherFn huffmanGatherBlockStatisticsTable[6];
extern const HuffmanBuildOptimalFn huffmanBuildOptimalTableTable[6];

namespace prim::jpeg_huffman {
// Significant bits of a magnitude 0..255.
struct CategoryTable {
    uint8_t v[256];
};
constexpr CategoryTable buildCategories() {
    CategoryTable t{};
    for (int32_t m = 1; m < 256; ++m) t.v[m] = static_cast<uint8_t>(t.v[m >> 1] + 1);
    return t;
}
inline constexpr CategoryTable kCategories = buildCategories();

// The number of significant bits of |v|, 0 for 0 (up to 16).
inline int32_t category(int32_t v) {
    const uint32_t m = static_cast<uint32_t>(v < 0 ? -v : v);
    return m < 256 ? kCategories.v[m] : 8 + kCategories.v[(m >> 8) & 255];
}
// A value of s bits read from the data: itself when its top bit is set,
// otherwise v + 1 - 2^s.
inline int32_t extend(int32_t v, int32_t s) { return v < (1 << (s - 1)) ? v + 1 - (1 << s) : v; }
} // namespace prim::jpeg_huffman
