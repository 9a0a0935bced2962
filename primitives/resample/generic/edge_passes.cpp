// Edge post-passes of the square-pixel resize, generic path (the reference,
// in double precision): the one-pixel frame around a region of wholly
// covered pixels takes the adjacent region pixel weighted by the fraction of
// the frame pixel that the mapped source covers, blended with the frame
// pixel's old value or faded toward 0.
#include <cstddef>
#include <cstdint>

#include "primitives/core/processor.h"
#include "primitives/resample/resize_sq.h"

namespace prim::generic {
namespace {

double frac(double v) { return v - truncateToInt(v); }

template <class T, int Channels, bool Blend>
void edgePass(void* region, int32_t step, int32_t width, int32_t height, double left, double right, double top,
              double bottom) {
    constexpr int32_t maxValue = sizeof(T) == 1 ? 255 : 65535;
    const double fl = frac(left), ft = frac(top), fr = frac(right), fb = frac(bottom);
    const double cl = fl > 1e-10 ? 1.0 - fl : 0.0;
    const double ct = ft > 1e-10 ? 1.0 - ft : 0.0;
    const double cr = fr + 1e-10 < 1.0 ? fr : 0.0;
    const double cb = fb + 1e-10 < 1.0 ? fb : 0.0;
    uint8_t* base = static_cast<uint8_t*>(region);
    auto at = [&](int32_t r, int32_t c) {
        return reinterpret_cast<T*>(base + static_cast<std::ptrdiff_t>(r) * step) +
               static_cast<std::ptrdiff_t>(c) * Channels;
    };
    // Frame pixel (r, c) from region pixel (rr, rc) with coverage w.
    auto put = [&](int32_t r, int32_t c, int32_t rr, int32_t rc, double w) {
        T* out = at(r, c);
        const T* in = at(rr, rc);
        for (int k = 0; k < Channels; ++k) {
            const double v = Blend ? double(out[k]) + w * (double(in[k]) - double(out[k])) : w * double(in[k]);
            const int32_t n = truncateToInt(v + 0.5000001);
            out[k] = static_cast<T>(n < 0 ? 0 : n > maxValue ? maxValue : n);
        }
    };
    if (ct != 0.0) {
        for (int32_t c = 0; c < width; ++c)
            put(-1, c, 0, c, ct);
        if (cl != 0.0)
            put(-1, -1, 0, 0, ct * cl);
        if (cr != 0.0)
            put(-1, width, 0, width - 1, ct * cr);
    }
    if (cb != 0.0) {
        for (int32_t c = 0; c < width; ++c)
            put(height, c, height - 1, c, cb);
        if (cl != 0.0)
            put(height, -1, height - 1, 0, cb * cl);
        if (cr != 0.0)
            put(height, width, height - 1, width - 1, cb * cr);
    }
    if (cl != 0.0)
        for (int32_t r = 0; r < height; ++r)
            put(r, -1, r, 0, cl);
    if (cr != 0.0)
        for (int32_t r = 0; r < height; ++r)
            put(r, width, r, width - 1, cr);
}

} // namespace

#define VQ_EDGE(name, T, ch, blend)                                                                                    \
    void name(void* region, int32_t step, int32_t w, int32_t h, double l, double r, double t, double b) {              \
        edgePass<T, ch, blend>(region, step, w, h, l, r, t, b);                                                        \
    }
VQ_EDGE(resizeSqEdgeBlend8uC1, uint8_t, 1, true)
VQ_EDGE(resizeSqEdgeFade8uC1, uint8_t, 1, false)
VQ_EDGE(resizeSqEdgeBlend8uC3, uint8_t, 3, true)
VQ_EDGE(resizeSqEdgeFade8uC3, uint8_t, 3, false)
VQ_EDGE(resizeSqEdgeBlend16uC1, uint16_t, 1, true)
VQ_EDGE(resizeSqEdgeFade16uC1, uint16_t, 1, false)
VQ_EDGE(resizeSqEdgeBlend16uC3, uint16_t, 3, true)
VQ_EDGE(resizeSqEdgeFade16uC3, uint16_t, 3, false)
#undef VQ_EDGE

} // namespace prim::generic
