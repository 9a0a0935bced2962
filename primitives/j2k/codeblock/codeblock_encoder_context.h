// Layout of the code-block encoder's context, for the encoder itself and for
// tests that look at its recorded passes. Callers use the opaque handle of
// codeblock_encoder.h.
#pragma once

#include <cstdint>

#include "primitives/j2k/codeblock/codeblock_encoder.h"

constexpr int kCodeBlockEncoderContexts = 19;
constexpr int kCodeBlockEncoderQueue = 32;
constexpr int kCodeBlockEncoderPassSlots = 110;

// Coding state: the MQ coder, the raw packer, the byte queue and the pass
// records that GetStream walks through.
struct CodeBlockEncoderState {
    // Bytes emitted by the coders that still await delivery, in order.
    uint8_t queue[kCodeBlockEncoderQueue];
    int32_t queueFill;
    int32_t queueRead;
    // MQ coder.
    uint32_t B;            // the byte the output pointer stands on, not yet emitted
    uint32_t discardFirst; // the next emitted byte is the placeholder before the segment
    uint32_t A;
    uint32_t C;
    int32_t CT;
    int32_t contextState[kCodeBlockEncoderContexts];
    int32_t contextMps[kCodeBlockEncoderContexts];
    int32_t byteOuts;          // since the last initialisation of the registers
    uint32_t codedSinceInit;   // a decision was MQ-coded since then
    // Raw packer.
    uint32_t rawStuffing;  // the last raw byte completed was 0xFF
    uint32_t rawAccumulator;
    int32_t rawBitPosition;  // 7 .. 0; 7 (6 after 0xFF) when empty
    // Last byte emitted (for trimming a length that ends on 0xFF).
    uint32_t lastEmitted;
    // Pass walking.
    int32_t decisionsInPass;
    int32_t decisionsCoded;
    int32_t bytesInPass;
    uint32_t terminated;  // the current pass's segment has been terminated
    int32_t termination;
    uint32_t passIsRaw;
    uint8_t* contextBuffer;   // one context number per MQ decision
    uint8_t* decisionBuffer;  // one value per decision
    int32_t passCount;
    int32_t decisionsPerPass[kCodeBlockEncoderPassSlots];
    int32_t bytesPerPass[kCodeBlockEncoderPassSlots];  // bytes emitted while each pass was coded
    int32_t rawPerPass[kCodeBlockEncoderPassSlots];
    int32_t passLength[kCodeBlockEncoderPassSlots];
    int32_t bytesBeforePass;  // emitted for all completed passes
    int32_t decisionsRecorded;
    int32_t passStart;
    int32_t currentPass;
    uint32_t resetContexts;
    uint32_t terminateEveryPass;
};

struct CodeBlockEncoderContext {
    uint32_t magic;
    CodeBlockEncoderState* state;
    int32_t passDistortion[kCodeBlockEncoderMaxPasses];
    int32_t passExponent[kCodeBlockEncoderMaxPasses];
    int32_t currentExponent;
    const int32_t* distortionTable;
    uint32_t tableMask;
    int32_t recordedPasses;
    uint32_t exactLastPlane;
    int32_t indexRightShift;
    int32_t indexLeftShift;
    int32_t lowestPlane;
    // One 16-bit flag word per sample with a guard ring of one sample on
    // every side; rows are flagStride words apart.
    uint16_t* flags;
    int32_t flagStride;
    int32_t maxWidth;
    int32_t maxHeight;
};
