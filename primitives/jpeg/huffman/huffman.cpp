#include "primitives/jpeg/huffman/huffman.h"

#include "primitives/core/block_kernels.h"

const int32_t jpegZigzagToNatural[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

namespace prim::generic {
#include "primitives/jpeg/huffman/huffman_body.inl"
} // namespace prim::generic

const HuffmanDecodeSpecInitFn huffmanDecodeSpecInitTable[6] = VQ_PATH_FORMS(huffmanDecodeSpecInit);
const HuffmanDecodeBlockFn huffmanDecodeBlockTable[6] = VQ_PATH_FORMS(huffmanDecodeBlock);
const HuffmanEncodeSpecInitFn huffmanEncodeSpecInitTable[6] = VQ_PATH_FORMS(huffmanEncodeSpecInit);
const HuffmanEncodeStateInitFn huffmanEncodeStateInitTable[6] = VQ_PATH_FORMS(huffmanEncodeStateInit);
const HuffmanEncodeBlockFn huffmanEncodeBlockTable[6] = VQ_PATH_FORMS(huffmanEncodeBlock);
const HuffmanGatherFn huffmanGatherBlockStatisticsTable[6] = {
    prim::generic::huffmanGatherBlockStatistics, prim::p1::huffmanGatherBlockStatistics,
    prim::p1::huffmanGatherBlockStatistics,      prim::p3::huffmanGatherBlockStatistics,
    prim::p3::huffmanGatherBlockStatistics,      prim::p3::huffmanGatherBlockStatistics};
const HuffmanBuildOptimalFn huffmanBuildOptimalTableTable[6] = VQ_PATH_FORMS(huffmanBuildOptimalTable);

namespace {
template <int32_t N>
int32_t reportSize(int32_t* size) {
    if (!size) return primErrNullPtr;
    *size = N;
    return primNoErr;
}
} // namespace

int32_t huffmanDecodeSpecGetSize(int32_t* size) { return reportSize<sizeof(HuffmanDecodeSpec)>(size); }
int32_t huffmanDecodeStateGetSize(int32_t* size) { return reportSize<sizeof(HuffmanDecodeState)>(size); }
int32_t huffmanEncodeSpecGetSize(int32_t* size) { return reportSize<sizeof(HuffmanEncodeSpec)>(size); }
int32_t huffmanEncodeStateGetSize(int32_t* size) { return reportSize<sizeof(HuffmanEncodeState)>(size); }

int32_t huffmanDecodeStateInit(HuffmanDecodeState* state) {
    if (!state) return primErrNullPtr;
    state->bits = 0;
    state->count = 0;
    return primNoErr;
}

int32_t huffmanDecodeSpecInit(const uint8_t* bits, const uint8_t* values, HuffmanDecodeSpec* spec) {
    return VQ_DISPATCH(huffmanDecodeSpecInitTable)(bits, values, spec);
}
int32_t huffmanDecodeBlock(const uint8_t* src, int32_t srcLen, int32_t* pos, int16_t* block, int16_t* lastDc,
                           int32_t* marker, const HuffmanDecodeSpec* dcSpec, const HuffmanDecodeSpec* acSpec,
                           HuffmanDecodeState* state) {
    return VQ_DISPATCH(huffmanDecodeBlockTable)(src, srcLen, pos, block, lastDc, marker, dcSpec, acSpec, state);
}
int32_t huffmanEncodeSpecInit(const uint8_t* bits, const uint8_t* values, HuffmanEncodeSpec* spec) {
    return VQ_DISPATCH(huffmanEncodeSpecInitTable)(bits, values, spec);
}
int32_t huffmanEncodeStateInit(HuffmanEncodeState* state) { return VQ_DISPATCH(huffmanEncodeStateInitTable)(state); }
int32_t huffmanEncodeBlock(const int16_t* block, uint8_t* dst, int32_t dstLen, int32_t* pos, int16_t* lastDc,
                           const HuffmanEncodeSpec* dcSpec, const HuffmanEncodeSpec* acSpec,
                           HuffmanEncodeState* state, int32_t flush) {
    return VQ_DISPATCH(huffmanEncodeBlockTable)(block, dst, dstLen, pos, lastDc, dcSpec, acSpec, state, flush);
}
int32_t huffmanGatherBlockStatistics(const int16_t* block, int32_t* dcCounts, int32_t* acCounts, int16_t* lastDc) {
    return VQ_DISPATCH(huffmanGatherBlockStatisticsTable)(block, dcCounts, acCounts, lastDc);
}
int32_t huffmanBuildOptimalTable(const int32_t* counts, uint8_t* bits, uint8_t* values) {
    return VQ_DISPATCH(huffmanBuildOptimalTableTable)(counts, bits, values);
}
