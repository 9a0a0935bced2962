#include "primitives/j2k/wavelet97.h"

#include "primitives/j2k/wavelet97_body.h"

namespace {
using Arith = j2k97::ScalarArith<double>;
using Steps = j2k97::FloatSteps<Arith>;
} // namespace

namespace prim::generic {

int32_t forwardWavelet97Columns32f(const float* in0, const float* in1, const float* in2, float* low, float* bNew,
                                   float* high, float* cNew, float* aNew, int32_t width) {
    if (const int32_t s = j2k_wavelet::checkWindow(width, in0, in1, in2, low, bNew, high, cNew, aNew))
        return s;
    j2k97::forwardColumns<Arith>(in0, in1, in2, low, bNew, high, cNew, aNew, width);
    return primNoErr;
}

int32_t forwardWavelet97Rows32f(const float* src, int32_t srcStep, float* low, int32_t lowStep, float* high,
                                int32_t highStep, int32_t width, int32_t height, int32_t phase) {
    return j2k97::forwardRows<j2k97::forwardRow<Arith, j2k97::kFloatChunk>>(src, srcStep, low, lowStep, high,
                                                                            highStep, width, height, phase);
}

int32_t inverseWavelet97Columns32f(const float* low, const float* highAbove, const float* highBelow,
                                   const float* evenFinished, float* oddPending, float* evenPending, float* oddNew,
                                   float* evenNew, int32_t width) {
    if (const int32_t s = j2k_wavelet::checkWindow(width, low, highAbove, highBelow, evenFinished, oddPending,
                                                   evenPending, oddNew, evenNew))
        return s;
    j2k97::inverseColumns<Steps>(low, highAbove, highBelow, evenFinished, oddPending, evenPending, oddNew, evenNew,
                                 width);
    return primNoErr;
}

int32_t inverseWavelet97Columns16s(const int16_t* low, const int16_t* highAbove, const int16_t* highBelow,
                                   const int16_t* evenFinished, int16_t* oddPending, int16_t* evenPending,
                                   int16_t* oddNew, int16_t* evenNew, int32_t width) {
    if (const int32_t s = j2k_wavelet::checkWindow(width, low, highAbove, highBelow, evenFinished, oddPending,
                                                   evenPending, oddNew, evenNew))
        return s;
    j2k97::inverseColumns<j2k97::FixSteps>(low, highAbove, highBelow, evenFinished, oddPending, evenPending, oddNew,
                                           evenNew, width);
    return primNoErr;
}

int32_t inverseWavelet97Rows32f(const float* low, int32_t lowStep, const float* high, int32_t highStep,
                                int32_t width, int32_t height, float* dst, int32_t dstStep, int32_t phase) {
    return j2k97::inverseRows<float, j2k97::inverseRow<Steps, j2k97::kFloatChunk>>(low, lowStep, high, highStep,
                                                                                   width, height, dst, dstStep, phase);
}

int32_t inverseWavelet97Rows16s(const int16_t* low, int32_t lowStep, const int16_t* high, int32_t highStep,
                                int32_t width, int32_t height, int16_t* dst, int32_t dstStep, int32_t phase) {
    return j2k97::inverseRows<int16_t, j2k97::inverseRow<j2k97::FixSteps, j2k97::kFixChunk>>(
        low, lowStep, high, highStep, width, height, dst, dstStep, phase);
}

} // namespace prim::generic

const FwdColumns97Fn forwardWavelet97Columns32fTable[6] = VQ_PATH_FORMS(forwardWavelet97Columns32f);
const FwdRows97Fn forwardWavelet97Rows32fTable[6] = VQ_PATH_FORMS(forwardWavelet97Rows32f);
const InvColumns97Fn inverseWavelet97Columns32fTable[6] = VQ_PATH_FORMS(inverseWavelet97Columns32f);
const InvColumns97x16Fn inverseWavelet97Columns16sTable[6] = VQ_PATH_FORMS(inverseWavelet97Columns16s);
const InvRows97Fn inverseWavelet97Rows32fTable[6] = VQ_PATH_FORMS(inverseWavelet97Rows32f);
const InvRows97x16Fn inverseWavelet97Rows16sTable[6] = VQ_PATH_FORMS(inverseWavelet97Rows16s);

int32_t forwardWavelet97Columns32f(const float* in0, const float* in1, const float* in2, float* low, float* bNew,
                                   float* high, float* cNew, float* aNew, int32_t width) {
    return VQ_DISPATCH(forwardWavelet97Columns32fTable)(in0, in1, in2, low, bNew, high, cNew, aNew, width);
}
int32_t forwardWavelet97Rows32f(const float* src, int32_t srcStep, float* low, int32_t lowStep, float* high,
                                int32_t highStep, int32_t width, int32_t height, int32_t phase) {
    return VQ_DISPATCH(forwardWavelet97Rows32fTable)(src, srcStep, low, lowStep, high, highStep, width, height, phase);
}
int32_t inverseWavelet97Columns32f(const float* low, const float* highAbove, const float* highBelow,
                                   const float* evenFinished, float* oddPending, float* evenPending, float* oddNew,
                                   float* evenNew, int32_t width) {
    return VQ_DISPATCH(inverseWavelet97Columns32fTable)(low, highAbove, highBelow, evenFinished, oddPending,
                                                        evenPending, oddNew, evenNew, width);
}
int32_t inverseWavelet97Columns16s(const int16_t* low, const int16_t* highAbove, const int16_t* highBelow,
                                   const int16_t* evenFinished, int16_t* oddPending, int16_t* evenPending,
                                   int16_t* oddNew, int16_t* evenNew, int32_t width) {
    return VQ_DISPATCH(inverseWavelet97Columns16sTable)(low, highAbove, highBelow, evenFinished, oddPending,
                                                        evenPending, oddNew, evenNew, width);
}
int32_t inverseWavelet97Rows32f(const float* low, int32_t lowStep, const float* high, int32_t highStep,
                                int32_t width, int32_t height, float* dst, int32_t dstStep, int32_t phase) {
    return VQ_DISPATCH(inverseWavelet97Rows32fTable)(low, lowStep, high, highStep, width, height, dst, dstStep, phase);
}
int32_t inverseWavelet97Rows16s(const int16_t* low, int32_t lowStep, const int16_t* high, int32_t highStep,
                                int32_t width, int32_t height, int16_t* dst, int32_t dstStep, int32_t phase) {
    return VQ_DISPATCH(inverseWavelet97Rows16sTable)(low, lowStep, high, highStep, width, height, dst, dstStep, phase);
}
