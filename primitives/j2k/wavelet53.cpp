#include "primitives/j2k/wavelet53.h"

#include "primitives/j2k/wavelet53_body.h"

namespace prim::generic {

int32_t forwardWavelet53Columns32s(const int32_t* even0, const int32_t* odd, const int32_t* even1, int32_t* low,
                                   const int32_t* highPrev, int32_t* high, int32_t len) {
    if (const int32_t s = j2k_wavelet::checkWindow(len, even0, odd, even1, low, highPrev, high))
        return s;
    j2k53::forwardColumns(even0, odd, even1, low, highPrev, high, 0, len);
    return primNoErr;
}

int32_t inverseWavelet53Columns32s(const int32_t* low, const int32_t* highPrev, const int32_t* high,
                                   const int32_t* evenPrev, int32_t* odd, int32_t* even, int32_t len) {
    if (const int32_t s = j2k_wavelet::checkWindow(len, low, highPrev, high, evenPrev, odd, even))
        return s;
    j2k53::inverseColumns(low, highPrev, high, evenPrev, odd, even, 0, len);
    return primNoErr;
}

int32_t inverseWavelet53Columns16s(const int16_t* low, const int16_t* highPrev, const int16_t* high,
                                   const int16_t* evenPrev, int16_t* odd, int16_t* even, int32_t len) {
    if (const int32_t s = j2k_wavelet::checkWindow(len, low, highPrev, high, evenPrev, odd, even))
        return s;
    j2k53::inverseColumns(low, highPrev, high, evenPrev, odd, even, 0, len);
    return primNoErr;
}

int32_t forwardWavelet53Rows32s(const int32_t* src, int32_t srcStep, int32_t* low, int32_t lowStep, int32_t* high,
                                int32_t highStep, int32_t width, int32_t height, int32_t phase) {
    return j2k53::forwardRows(src, srcStep, low, lowStep, high, highStep, width, height, phase,
                              [](const int32_t* xb, int32_t* l, int32_t* h, int32_t w, bool odd) {
                                  j2k53::forwardPairs(xb, l, h, 0, w, odd);
                              });
}

int32_t inverseWavelet53Rows32s(const int32_t* low, int32_t lowStep, const int32_t* high, int32_t highStep,
                                int32_t width, int32_t height, int32_t* dst, int32_t dstStep, int32_t phase) {
    return j2k53::inverseRows(low, lowStep, high, highStep, width, height, dst, dstStep, phase,
                              [](const int32_t* lb, const int32_t* h, int32_t* d, int32_t w, bool odd) {
                                  j2k53::inversePairs(lb, h, d, 0, w, odd);
                              });
}

int32_t inverseWavelet53Rows16s(const int16_t* low, int32_t lowStep, const int16_t* high, int32_t highStep,
                                int32_t width, int32_t height, int16_t* dst, int32_t dstStep, int32_t phase) {
    return j2k53::inverseRows(low, lowStep, high, highStep, width, height, dst, dstStep, phase,
                              [](const int16_t* lb, const int16_t* h, int16_t* d, int32_t w, bool odd) {
                                  j2k53::inversePairs(lb, h, d, 0, w, odd);
                              });
}

} // namespace prim::generic

const FwdColumns53Fn forwardWavelet53Columns32sTable[6] = VQ_PATH_FORMS(forwardWavelet53Columns32s);
const InvColumns53Fn inverseWavelet53Columns32sTable[6] = VQ_PATH_FORMS(inverseWavelet53Columns32s);
const FwdRows53Fn forwardWavelet53Rows32sTable[6] = VQ_PATH_FORMS(forwardWavelet53Rows32s);
const InvRows53Fn inverseWavelet53Rows32sTable[6] = VQ_PATH_FORMS(inverseWavelet53Rows32s);
const InvColumns53x16Fn inverseWavelet53Columns16sTable[6] = VQ_PATH_FORMS(inverseWavelet53Columns16s);
const InvRows53x16Fn inverseWavelet53Rows16sTable[6] = VQ_PATH_FORMS(inverseWavelet53Rows16s);

int32_t forwardWavelet53Columns32s(const int32_t* even0, const int32_t* odd, const int32_t* even1, int32_t* low,
                                   const int32_t* highPrev, int32_t* high, int32_t len) {
    return VQ_DISPATCH(forwardWavelet53Columns32sTable)(even0, odd, even1, low, highPrev, high, len);
}
int32_t inverseWavelet53Columns32s(const int32_t* low, const int32_t* highPrev, const int32_t* high,
                                   const int32_t* evenPrev, int32_t* odd, int32_t* even, int32_t len) {
    return VQ_DISPATCH(inverseWavelet53Columns32sTable)(low, highPrev, high, evenPrev, odd, even, len);
}
int32_t forwardWavelet53Rows32s(const int32_t* src, int32_t srcStep, int32_t* low, int32_t lowStep, int32_t* high,
                                int32_t highStep, int32_t width, int32_t height, int32_t phase) {
    return VQ_DISPATCH(forwardWavelet53Rows32sTable)(src, srcStep, low, lowStep, high, highStep, width, height, phase);
}
int32_t inverseWavelet53Rows32s(const int32_t* low, int32_t lowStep, const int32_t* high, int32_t highStep,
                                int32_t width, int32_t height, int32_t* dst, int32_t dstStep, int32_t phase) {
    return VQ_DISPATCH(inverseWavelet53Rows32sTable)(low, lowStep, high, highStep, width, height, dst, dstStep, phase);
}
int32_t inverseWavelet53Columns16s(const int16_t* low, const int16_t* highPrev, const int16_t* high,
                                   const int16_t* evenPrev, int16_t* odd, int16_t* even, int32_t len) {
    return VQ_DISPATCH(inverseWavelet53Columns16sTable)(low, highPrev, high, evenPrev, odd, even, len);
}
int32_t inverseWavelet53Rows16s(const int16_t* low, int32_t lowStep, const int16_t* high, int32_t highStep,
                                int32_t width, int32_t height, int16_t* dst, int32_t dstStep, int32_t phase) {
    return VQ_DISPATCH(inverseWavelet53Rows16sTable)(low, lowStep, high, highStep, width, height, dst, dstStep, phase);
}
