// Tier-1 code-block decoder of the JPEG 2000 codec: a context in caller
// memory, bound to one code-block at a time, that decodes its coding passes
// (MQ-coded, or raw under selective bypass) into 32-bit sign-magnitude
// coefficients.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/prim_types.h"

// Statuses besides the primitive layer's common ones.
enum : int32_t {
    primErrCodeBlockData = -112,        // the block's data failed a check
    primErrCodeBlockNotAttached = -180, // no block attached since Init
};

// Mode flags of Attach.
enum : uint32_t {
    cbdVerticalCausal = 0x01,
    cbdBypass = 0x02,
    cbdTermAll = 0x04,
    cbdResetContexts = 0x08,
    cbdSegmentSymbol = 0x10,
    cbdKeepCoefficients = 0x20000,  // the caller supplies a cleared coefficient buffer
    cbdKeepStates = 0x80000,        // the caller supplies a cleared state area
    cbdPredictableTerm = 0x100000,
};

constexpr uint32_t kCodeBlockDecoderMagic = 0x434D4150;  // "PAMC" in memory order
constexpr int kCodeBlockContexts = 19;

// The header at the start of the context memory; the state area follows at
// the next 32-byte boundary.
struct CodeBlockDecoderContext {
    uint32_t magic;
    // The attached block.
    int32_t* coefficients;
    int32_t width;
    int32_t height;
    int32_t rowStep;
    // Pass working values, recomputed by every pass from the bit-plane.
    int32_t bitPlane;       // p of the next pass; -1 when none is left
    uint32_t planeBit;      // 1 << p
    uint32_t significanceValue;  // (3 << p) >> 1
    uint32_t halfStep;      // (1 << p) >> 1
    uint32_t higherMask;    // ones above bit p
    int32_t stripeStep;     // 4 x row step
    const uint8_t* zeroCodingTable;
    int32_t neighbourOffsets[6];  // above, below, above-left, above-right, below-left, below-right (bytes)
    uint32_t* stateArea;          // top guard row of this block's state words
    int32_t stateStride;          // S, in bytes
    uint32_t* alignedStateArea;
    // MQ decoder.
    const uint8_t* mqData;
    int32_t mqLength;
    int32_t mqPosition;
    uint32_t A;
    uint32_t C;  // complement of the standard's code register
    int32_t CT;
    int32_t contextState[kCodeBlockContexts];
    int32_t contextMps[kCodeBlockContexts];
    uint8_t markerReached;
    // Raw reader.
    const uint8_t* rawData;
    int32_t rawLength;
    int32_t rawPosition;
    int32_t rawBitIndex;
    uint8_t rawByte;
    // Pass sequencing.
    int32_t passState;
    int32_t passesLeft;
    int32_t bypassThreshold;
    uint32_t modeFlags;
    uint8_t failed;
    uint8_t attached;
};

// Bytes before the state area: the header and the worst alignment gap.
constexpr int32_t kCodeBlockDecoderFixedBytes = static_cast<int32_t>(sizeof(CodeBlockDecoderContext)) + 31;

using CodeBlockDecoderGetSizeFn = int32_t (*)(int32_t width, int32_t height, int32_t* size);
using CodeBlockDecoderInitFn = int32_t (*)(void* memory);
using CodeBlockDecoderAttachFn = int32_t (*)(int32_t* coefficients, int32_t rowStep, int32_t width, int32_t height,
                                             void* context, int32_t bandKind, int32_t nbp, uint32_t flags);
using CodeBlockDecoderSetPassCountFn = int32_t (*)(int32_t passes, void* context);
using CodeBlockDecoderGetPassCountFn = int32_t (*)(const void* context, int32_t* passes);
using CodeBlockDecoderDecodePassFn = int32_t (*)(const uint8_t* data, int32_t length, void* context);

namespace prim::generic {
int32_t codeBlockDecoderGetSize(int32_t width, int32_t height, int32_t* size);
int32_t codeBlockDecoderInit(void* memory);
int32_t codeBlockDecoderAttach(int32_t* coefficients, int32_t rowStep, int32_t width, int32_t height, void* context,
                               int32_t bandKind, int32_t nbp, uint32_t flags);
int32_t codeBlockDecoderSetPassCount(int32_t passes, void* context);
int32_t codeBlockDecoderGetPassCount(const void* context, int32_t* passes);
int32_t codeBlockDecoderDecodePass(const uint8_t* data, int32_t length, void* context);
} // namespace prim::generic

// Six-entry tables; every path decodes the same symbols, so all entries hold
// the one scalar implementation.
extern const CodeBlockDecoderGetSizeFn codeBlockDecoderGetSizeTable[6];
extern const CodeBlockDecoderInitFn codeBlockDecoderInitTable[6];
extern const CodeBlockDecoderAttachFn codeBlockDecoderAttachTable[6];
extern const CodeBlockDecoderSetPassCountFn codeBlockDecoderSetPassCountTable[6];
extern const CodeBlockDecoderGetPassCountFn codeBlockDecoderGetPassCountTable[6];
extern const CodeBlockDecoderDecodePassFn codeBlockDecoderDecodePassTable[6];

// Bytes a context needs for blocks up to width x height.
int32_t codeBlockDecoderGetSize(int32_t width, int32_t height, int32_t* size);
// Makes caller memory an empty context; it must not move afterwards.
int32_t codeBlockDecoderInit(void* memory);
// Binds a code-block: bandKind 2 HL, 3 HH, else LL/LH; nbp bit-planes (0..31).
int32_t codeBlockDecoderAttach(int32_t* coefficients, int32_t rowStep, int32_t width, int32_t height, void* context,
                               int32_t bandKind, int32_t nbp, uint32_t flags);
int32_t codeBlockDecoderSetPassCount(int32_t passes, void* context);
int32_t codeBlockDecoderGetPassCount(const void* context, int32_t* passes);
// Decodes the passes of one codeword segment (never reads data[length] or beyond).
int32_t codeBlockDecoderDecodePass(const uint8_t* data, int32_t length, void* context);
