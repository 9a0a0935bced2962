// Half-turn and quarter-turn copies for the 18 pixel kinds.
#include "primitives/rotate/quarter_turn.h"

#include <cstring>

namespace {

// One pixel of `Elems` samples of type T, the first `Copied` of them moved
// as raw bytes (floats keep their bit patterns).
template <typename T, int Elems, int Copied>
inline void copyPixel(const uint8_t* s, uint8_t* d)
{
    std::memcpy(d, s, sizeof(T) * Copied);
}

template <typename T, int Elems, int Copied>
void halfTurn(const void* src, void* dst, int32_t height, int32_t width, int32_t srcStep, int32_t dstStep, int32_t)
{
    constexpr std::ptrdiff_t P = sizeof(T) * Elems;
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t* s = static_cast<const uint8_t*>(src) - std::ptrdiff_t(r) * srcStep;
        uint8_t* d = static_cast<uint8_t*>(dst) + std::ptrdiff_t(r) * dstStep;
        for (int32_t c = 0; c < width; ++c)
            copyPixel<T, Elems, Copied>(s - c * P, d + c * P);
    }
}

// One strip of a quarter turn: destination column c walks down (or up) one
// source column, destination row r moves `direction` source pixels along.
template <typename T, int Elems, int Copied>
void quarterTurnStrip(const uint8_t* src, uint8_t* dst, int32_t height, int32_t width, int32_t srcStep,
                      int32_t dstStep, int32_t direction)
{
    constexpr std::ptrdiff_t P = sizeof(T) * Elems;
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t* s = src + std::ptrdiff_t(r) * direction * P;
        uint8_t* d = dst + std::ptrdiff_t(r) * dstStep;
        for (int32_t c = 0; c < width; ++c)
            copyPixel<T, Elems, Copied>(s + std::ptrdiff_t(c) * srcStep, d + c * P);
    }
}

// The destination is cut into strips of S columns so that the S source rows
// under a strip stay in cache while its destination rows are written.
template <typename T, int Elems, int Copied>
void quarterTurn(const void* src, void* dst, int32_t height, int32_t width, int32_t srcStep, int32_t dstStep,
                 int32_t direction)
{
    constexpr int32_t S = Elems == 1 ? 32 : 16;
    constexpr std::ptrdiff_t P = sizeof(T) * Elems;
    if (height <= 0 || width <= 0)
        return;
    const auto* s = static_cast<const uint8_t*>(src);
    auto* d = static_cast<uint8_t*>(dst);
    int32_t start = 0;
    for (; start + S <= width; start += S)
        quarterTurnStrip<T, Elems, Copied>(s + std::ptrdiff_t(start) * srcStep, d + start * P, height, S, srcStep,
                                           dstStep, direction);
    if (start < width)
        quarterTurnStrip<T, Elems, Copied>(s + std::ptrdiff_t(start) * srcStep, d + start * P, height,
                                           width - start, srcStep, dstStep, direction);
}

template <typename T, int Planes>
void halfTurnPlanar(const void* src, void* dst, int32_t height, int32_t width, int32_t srcStep, int32_t dstStep,
                    int32_t)
{
    const void* const* s = static_cast<const void* const*>(src);
    void* const* d = static_cast<void* const*>(dst);
    for (int p = 0; p < Planes; ++p)
        halfTurn<T, 1, 1>(s[p], d[p], height, width, srcStep, dstStep, 0);
}

template <typename T, int Planes>
void quarterTurnPlanar(const void* src, void* dst, int32_t height, int32_t width, int32_t srcStep, int32_t dstStep,
                       int32_t direction)
{
    const void* const* s = static_cast<const void* const*>(src);
    void* const* d = static_cast<void* const*>(dst);
    for (int p = 0; p < Planes; ++p)
        quarterTurn<T, 1, 1>(s[p], d[p], height, width, srcStep, dstStep, direction);
}

#define VQ_HALF_ROW(T)                                                                                               \
    halfTurn<T, 1, 1>, halfTurn<T, 3, 3>, halfTurn<T, 4, 3>, halfTurnPlanar<T, 3>, halfTurn<T, 4, 4>,              \
        halfTurnPlanar<T, 4>
#define VQ_QUARTER_ROW(T)                                                                                            \
    quarterTurn<T, 1, 1>, quarterTurn<T, 3, 3>, quarterTurn<T, 4, 3>, quarterTurnPlanar<T, 3>,                     \
        quarterTurn<T, 4, 4>, quarterTurnPlanar<T, 4>

} // namespace

const QuarterTurnFn quarterTurnTable[36] = {
    VQ_HALF_ROW(uint8_t),    VQ_HALF_ROW(float),    VQ_HALF_ROW(uint16_t),
    VQ_QUARTER_ROW(uint8_t), VQ_QUARTER_ROW(float), VQ_QUARTER_ROW(uint16_t),
};
