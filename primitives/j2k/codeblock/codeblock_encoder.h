// Tier-1 code-block encoder of the JPEG 2000 codec, in two phases over one
// context:
//   Encode scans the bit-planes of a block of 32-bit sign-magnitude
//   coefficients once and records every coding decision with its context,
//   and per pass its decision count, whether it is raw (bypass) or MQ-coded,
//   and its distortion reduction;
//   GetStream then runs the MQ coder and the raw packer over the recorded
//   decisions, terminates the codeword segments and hands out the bytes in
//   pieces of the caller's size, recording each pass's truncation length.
// GetPassLength and GetDistortion report the rate and the cumulative
// distortion reduction of every pass.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/prim_types.h"

// Status of GetPassLength and GetDistortion for a pass outside the block.
enum : int32_t {
    primErrCodeBlockPass = -113,
};

// Mode flags of Encode.
enum : uint32_t {
    cbeVerticalCausal = 0x01,
    cbeBypass = 0x02,
    cbeTermAll = 0x04,
    cbeResetContexts = 0x08,
    cbeSegmentSymbol = 0x10,
    cbeExactLastPlane = 0x20,  // exact distortion tables at the lowest coded plane
};

// Termination kinds of Encode: 1 shortest, 2 predictable, anything else the
// plain flush with 1 bits below the code value.
enum : int32_t {
    cbeTermFlush = 0,
    cbeTermShortest = 1,
    cbeTermPredictable = 2,
};

constexpr uint32_t kCodeBlockEncoderMagic = 0x4C4D5344;  // "DSML" in memory order
constexpr int kCodeBlockEncoderMaxPasses = 109;

struct CodeBlockEncoderContext;  // opaque; created by codeBlockEncoderCreate

using CodeBlockEncoderCreateFn = int32_t (*)(CodeBlockEncoderContext** context, int32_t maxWidth, int32_t maxHeight);
using CodeBlockEncoderFreeFn = int32_t (*)(CodeBlockEncoderContext* context);
using CodeBlockEncoderEncodeFn = int32_t (*)(const int32_t* coefficients, int32_t step, int32_t width,
                                             int32_t height, CodeBlockEncoderContext* context, int32_t bandKind,
                                             int32_t d, int32_t termination, int32_t reserved, uint32_t mode,
                                             int32_t* planes, int32_t* passes, int32_t* segments);
using CodeBlockEncoderGetStreamFn = int32_t (*)(uint8_t* buffer, int32_t* length, CodeBlockEncoderContext* context,
                                                int32_t* more);
using CodeBlockEncoderGetPassLengthFn = int32_t (*)(const CodeBlockEncoderContext* context, int32_t pass,
                                                    int32_t* length);
using CodeBlockEncoderGetDistortionFn = int32_t (*)(const CodeBlockEncoderContext* context, int32_t pass,
                                                    double* value);

namespace prim::generic {
int32_t codeBlockEncoderCreate(CodeBlockEncoderContext** context, int32_t maxWidth, int32_t maxHeight);
int32_t codeBlockEncoderFree(CodeBlockEncoderContext* context);
int32_t codeBlockEncoderEncode(const int32_t* coefficients, int32_t step, int32_t width, int32_t height,
                               CodeBlockEncoderContext* context, int32_t bandKind, int32_t d, int32_t termination,
                               int32_t reserved, uint32_t mode, int32_t* planes, int32_t* passes,
                               int32_t* segments);
int32_t codeBlockEncoderGetStream(uint8_t* buffer, int32_t* length, CodeBlockEncoderContext* context,
                                  int32_t* more);
int32_t codeBlockEncoderGetPassLength(const CodeBlockEncoderContext* context, int32_t pass, int32_t* length);
int32_t codeBlockEncoderGetDistortion(const CodeBlockEncoderContext* context, int32_t pass, double* value);
} // namespace prim::generic

// Six-entry tables; every path records and codes the same decisions, so all
// entries hold the one scalar implementation.
extern const CodeBlockEncoderCreateFn codeBlockEncoderCreateTable[6];
extern const CodeBlockEncoderFreeFn codeBlockEncoderFreeTable[6];
extern const CodeBlockEncoderEncodeFn codeBlockEncoderEncodeTable[6];
extern const CodeBlockEncoderGetStreamFn codeBlockEncoderGetStreamTable[6];
extern const CodeBlockEncoderGetPassLengthFn codeBlockEncoderGetPassLengthTable[6];
extern const CodeBlockEncoderGetDistortionFn codeBlockEncoderGetDistortionTable[6];

// Allocates a cleared context for blocks up to maxWidth x maxHeight; on
// failure stores null and returns -9 (-8 null out pointer, -6 a size <= 0).
int32_t codeBlockEncoderCreate(CodeBlockEncoderContext** context, int32_t maxWidth, int32_t maxHeight);
int32_t codeBlockEncoderFree(CodeBlockEncoderContext* context);
// Records the passes of one block (never larger than the context's maximum):
// bandKind 2 HL, 3 HH, else LL/LH; the lowest coded plane is 31 - d (d in
// 0..31). Writes m (magnitude planes from the top set bit), the pass count
// and the codeword segment count.
int32_t codeBlockEncoderEncode(const int32_t* coefficients, int32_t step, int32_t width, int32_t height,
                               CodeBlockEncoderContext* context, int32_t bandKind, int32_t d, int32_t termination,
                               int32_t reserved, uint32_t mode, int32_t* planes, int32_t* passes,
                               int32_t* segments);
// Fills up to *length bytes (>= 1) of the block's data and sets *length to
// the bytes written; *more stays 1 until the whole block has been delivered.
int32_t codeBlockEncoderGetStream(uint8_t* buffer, int32_t* length, CodeBlockEncoderContext* context,
                                  int32_t* more);
// Bytes from the start of the block's data that decode passes 0..pass.
int32_t codeBlockEncoderGetPassLength(const CodeBlockEncoderContext* context, int32_t pass, int32_t* length);
// Distortion reduction of passes 0..pass, in units of the squared weight of
// the lowest coded plane.
int32_t codeBlockEncoderGetDistortion(const CodeBlockEncoderContext* context, int32_t pass, double* value);
