#include "primitives/core/channels.h"

#include "primitives/core/rows.h"

int32_t channelArgsStatus(const void* src, int32_t srcStep, const void* dst, int32_t dstStep, PrimSize size,
                          const int32_t* order) {
    if (!src || !dst || !order)
        return primErrNullPtr;
    if (size.width <= 0 || size.height <= 0)
        return primErrSize;
    if (srcStep <= 0 || dstStep <= 0)
        return primErrStep;
    for (int k = 0; k < 3; ++k)
        if (order[k] < 0 || order[k] > 2)
            return primErrChannelOrder;
    return primNoErr;
}

namespace prim::generic {

namespace {

// The reference: each pixel's three source channels are read before any of
// its destination channels is written, so in place every pixel becomes a
// permutation (or selection) of its own old values.
int32_t reorder(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                const int32_t* order, int32_t pitch) {
    const int32_t status = channelArgsStatus(src, srcStep, dst, dstStep, size, order);
    if (status != primNoErr)
        return status;
    const int32_t o0 = order[0], o1 = order[1], o2 = order[2];
    for (int32_t y = 0; y < size.height; ++y) {
        const uint8_t* s = rowAt(src, y, srcStep);
        uint8_t* d = rowAt(dst, y, dstStep);
        for (int32_t x = 0; x < size.width; ++x, s += pitch, d += pitch) {
            const uint8_t c0 = s[o0], c1 = s[o1], c2 = s[o2];
            d[0] = c0;
            d[1] = c1;
            d[2] = c2;
        }
    }
    return primNoErr;
}

} // namespace

int32_t swapChannelsInPlace8uC3(uint8_t* p, int32_t step, PrimSize size, const int32_t* order) {
    return reorder(p, step, p, step, size, order, 3);
}
int32_t swapChannels8uC3(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                         const int32_t* order) {
    return reorder(src, srcStep, dst, dstStep, size, order, 3);
}
int32_t swapChannels8uAC4(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                          const int32_t* order) {
    return reorder(src, srcStep, dst, dstStep, size, order, 4);
}

} // namespace prim::generic

using namespace prim;

const SwapChannelsInPlaceFn swapChannelsInPlace8uC3Table[6] = VQ_PATH_FORMS(swapChannelsInPlace8uC3);
const SwapChannelsFn swapChannels8uC3Table[6] = VQ_PATH_FORMS(swapChannels8uC3);
const SwapChannelsFn swapChannels8uAC4Table[6] = VQ_PATH_FORMS(swapChannels8uAC4);

int32_t swapChannelsInPlace8uC3(uint8_t* p, int32_t step, PrimSize size, const int32_t order[3]) {
    return VQ_DISPATCH(swapChannelsInPlace8uC3Table)(p, step, size, order);
}
int32_t swapChannels8uC3(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                         const int32_t order[3]) {
    return VQ_DISPATCH(swapChannels8uC3Table)(src, srcStep, dst, dstStep, size, order);
}
int32_t swapChannels8uAC4(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                          const int32_t order[3]) {
    return VQ_DISPATCH(swapChannels8uAC4Table)(src, srcStep, dst, dstStep, size, order);
}
