// Lanczos-3: the tabulated kernel, the weight generator, the column passes
// shared by both engines and the Lanczos row routines of both engines,
// generic path (the reference; double-precision sums).
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "primitives/core/processor.h"
#include "primitives/resample/generic/passes.h"
#include "primitives/resample/resize_ring.h"

// L(x) = 3 sin(pi x) sin(pi x / 3) / (pi x)^2 at x = n / 100, n = 0 .. 300,
// as eight-decimal constants; the three zeros after it let a reader fetch the
// pair (T[n], T[n + 1]) at n = 300.
//
// The reference constants lie within 1e-7 of L(x) but are not all L(x)
// rounded to eight decimals. Entries 1, 10, 50, 72, 99, 101, 137, 150, 201,
// 250 and 299 hold the reference values; entries 25, 75, 175 and 275 hold
// the only eight-decimal values within 1e-7 of L(x) that give the reference
// weights of fraction 0.25 (whose six taps read exactly those entries and
// 125 and 225); the rest are L(x) rounded. The weights depend on
// these last digits: with them the single-precision generators of the
// processor paths give the generic path's weights bit for bit at fractions
// 0, 0.25, 0.5 and 0.75, and the reference weights at fraction 0.1.
const float lanczos3KernelTable[304] = {
    1.00000000f,  0.99981719f,  0.99926910f,  0.99835597f,  0.99707854f,  0.99543775f,  0.99343479f,  0.99107116f,
    0.98834857f,  0.98526905f,  0.98183490f,  0.97804848f,  0.97391274f,  0.96943065f,  0.96460551f,  0.95944083f,
    0.95394041f,  0.94810825f,  0.94194861f,  0.93546598f,  0.92866508f,  0.92155084f,  0.91412844f,  0.90640325f,
    0.89838086f,  0.89006704f,  0.88146782f,  0.87258936f,  0.86343804f,  0.85402041f,  0.84434320f,  0.83441331f,
    0.82423782f,  0.81382393f,  0.80317902f,  0.79231060f,  0.78122632f,  0.76993397f,  0.75844143f,  0.74675673f,
    0.73488799f,  0.72284344f,  0.71063138f,  0.69826021f,  0.68573842f,  0.67307456f,  0.66027722f,  0.64735508f,
    0.63431684f,  0.62117126f,  0.60792708f,  0.59459318f,  0.58117831f,  0.56769132f,  0.55414102f,  0.54053625f,
    0.52688579f,  0.51319843f,  0.49948291f,  0.48574795f,  0.47200220f,  0.45825427f,  0.44451272f,  0.43078603f,
    0.41708260f,  0.40341077f,  0.38977876f,  0.37619472f,  0.36266668f,  0.34920260f,  0.33581027f,  0.32249739f,
    0.30927145f,  0.29614016f,  0.28311053f,  0.27018979f,  0.25738503f,  0.24470302f,  0.23215046f,  0.21973389f,
    0.20745967f,  0.19533398f,  0.18336282f,  0.17155202f,  0.15990722f,  0.14843387f,  0.13713723f,  0.12602235f,
    0.11509409f,  0.10435713f,  0.09381591f,  0.08347468f,  0.07333749f,  0.06340817f,  0.05369032f,  0.04418737f,
    0.03490249f,  0.02583867f,  0.01699865f,  0.00838497f,  -0.0f,        -0.00815418f, -0.01607575f, -0.02376296f,
    -0.03121437f, -0.03842875f, -0.04540507f, -0.05214252f, -0.05864050f, -0.06489863f, -0.07091672f, -0.07669481f,
    -0.08223311f, -0.08753206f, -0.09259231f, -0.09741466f, -0.10200016f, -0.10635000f, -0.11046559f, -0.11434852f,
    -0.11800055f, -0.12142361f, -0.12461983f, -0.12759148f, -0.13034101f, -0.13287102f, -0.13518427f, -0.13728368f,
    -0.13917231f, -0.14085335f, -0.14233013f, -0.14360613f, -0.14468493f, -0.14557026f, -0.14626594f, -0.14677591f,
    -0.14710422f, -0.14725500f, -0.14723253f, -0.14704110f, -0.14668514f, -0.14616913f, -0.14549763f, -0.14467528f,
    -0.14370676f, -0.14259682f, -0.14135025f, -0.13997188f, -0.13846659f, -0.13683929f, -0.13509491f, -0.13323841f,
    -0.13127476f, -0.12920895f, -0.12704595f, -0.12479076f, -0.12244837f, -0.12002373f, -0.11752180f, -0.11494753f,
    -0.11230581f, -0.10960153f, -0.10683952f, -0.10402459f, -0.10116150f, -0.09825495f, -0.09530960f, -0.09233003f,
    -0.08932080f, -0.08628636f, -0.08323111f, -0.08015938f, -0.07707542f, -0.07398338f, -0.07088735f, -0.06779135f,
    -0.06469923f, -0.06161485f, -0.05854190f, -0.05548401f, -0.05244469f, -0.04942735f, -0.04643530f, -0.04347174f,
    -0.04053976f, -0.03764233f, -0.03478233f, -0.03196251f, -0.02918549f, -0.02645381f, -0.02376987f, -0.02113595f,
    -0.01855422f, -0.01602673f, -0.01355541f, -0.01114206f, -0.00878839f, -0.00649595f, -0.00426620f, -0.00210048f,
    0.00000000f,  0.00203415f,  0.00400096f,  0.00589959f,  0.00772927f,  0.00948938f,  0.01117937f,  0.01279883f,
    0.01434746f,  0.01582505f,  0.01723149f,  0.01856681f,  0.01983109f,  0.02102456f,  0.02214750f,  0.02320032f,
    0.02418350f,  0.02509762f,  0.02594335f,  0.02672142f,  0.02743268f,  0.02807803f,  0.02865846f,  0.02917501f,
    0.02962883f,  0.03002109f,  0.03035307f,  0.03062607f,  0.03084148f,  0.03100073f,  0.03110530f,  0.03115672f,
    0.03115656f,  0.03110645f,  0.03100804f,  0.03086302f,  0.03067312f,  0.03044010f,  0.03016572f,  0.02985179f,
    0.02950014f,  0.02911259f,  0.02869101f,  0.02823726f,  0.02775319f,  0.02724069f,  0.02670162f,  0.02613786f,
    0.02555128f,  0.02494374f,  0.02431709f,  0.02367315f,  0.02301376f,  0.02234072f,  0.02165582f,  0.02096080f,
    0.02025741f,  0.01954735f,  0.01883231f,  0.01811392f,  0.01739380f,  0.01667352f,  0.01595463f,  0.01523861f,
    0.01452694f,  0.01382101f,  0.01312221f,  0.01243185f,  0.01175122f,  0.01108154f,  0.01042399f,  0.00977970f,
    0.00914975f,  0.00853517f,  0.00793692f,  0.00735592f,  0.00679305f,  0.00624910f,  0.00572484f,  0.00522095f,
    0.00473809f,  0.00427684f,  0.00383773f,  0.00342123f,  0.00302778f,  0.00265773f,  0.00231139f,  0.00198902f,
    0.00169082f,  0.00141694f,  0.00116746f,  0.00094244f,  0.00074186f,  0.00056567f,  0.00041376f,  0.00028596f,
    0.00018208f,  0.00010186f,  0.00004501f,  0.00001118f,  0.00000000f,  0.0f,         0.0f,         0.0f,

};

namespace prim::generic {
namespace {

using prim::resample::ringPass;
using prim::resample::toSample;

inline double lanczosColumnSum(const float* w, const float* r0, const float* r1, const float* r2, const float* r3,
                               const float* r4, const float* r5, int32_t n) {
    return ((((double(r0[n]) * w[0] + double(r1[n]) * w[1]) + double(r2[n]) * w[2]) + double(r3[n]) * w[3]) +
            double(r4[n]) * w[4]) +
           double(r5[n]) * w[5];
}

template <class T>
void lanczosColumn(void* dst, int32_t count, const float* w, const float* r0, const float* r1, const float* r2,
                   const float* r3, const float* r4, const float* r5) {
    T* d = static_cast<T*>(dst);
    for (int32_t n = 0; n < count; ++n)
        d[n] = toSample<T>(lanczosColumnSum(w, r0, r1, r2, r3, r4, r5, n));
}

template <class T>
void lanczosColumnAC4(void* dst, int32_t count, const float* w, const float* r0, const float* r1, const float* r2,
                      const float* r3, const float* r4, const float* r5) {
    T* d = static_cast<T*>(dst);
    for (int32_t p = 0; p < count; ++p)
        for (int c = 0; c < 3; ++c)
            d[4 * p + c] = toSample<T>(lanczosColumnSum(w, r0, r1, r2, r3, r4, r5, 3 * p + c));
}

// The signed column pass adds tap -2 last.
inline double sqLanczosColumnSum16s(const float* w, const float* r0, const float* r1, const float* r2, const float* r3,
                                    const float* r4, const float* r5, int32_t n) {
    return double(r0[n]) * w[0] +
           ((((double(r1[n]) * w[1] + double(r2[n]) * w[2]) + double(r3[n]) * w[3]) + double(r4[n]) * w[4]) +
            double(r5[n]) * w[5]);
}

// One source row filtered into a work row, taps summed from +3 down to -2.
template <class T>
void sqLanczosRow(const T* row, int32_t width, int32_t channels, int32_t next, const int32_t* colOffsets,
                  const float* colTaps, float* out) {
    for (int32_t j = 0; j < width; ++j) {
        const T* p = row + colOffsets[j];
        const float* w = colTaps + 6 * j;
        for (int32_t k = 0; k < channels; ++k) {
            const double v =
                ((((double(p[k + 3 * next]) * w[5] + double(p[k + 2 * next]) * w[4]) + double(p[k + next]) * w[3]) +
                  double(p[k]) * w[2]) +
                 double(p[k - next]) * w[1]) +
                double(p[k - 2 * next]) * w[0];
            out[j * channels + k] = static_cast<float>(v);
        }
    }
}

// Both engines' Lanczos passes: the ring of six work rows filled by
// `filterRow(rowOffset, out)`, combined by the column pass of the layout.
template <class T, class Filter>
void lanczosPass(void* dst, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height, const int32_t* rowOffsets,
                 const float* rowTaps, float* const* work, const prim::resample::PassLayout& layout,
                 LanczosColumnFn column, LanczosColumnFn columnAC4, Filter&& filterRow) {
    if (width <= 0 || height <= 0)
        return;
    T* d = static_cast<T*>(dst);
    ringPass<6>(srcStep, height, rowOffsets, work, filterRow, [&](int32_t i, float* const* r) {
        T* drow = d + static_cast<std::ptrdiff_t>(i) * dstStep;
        if (layout.threeOfFour)
            columnAC4(drow, width, rowTaps + 6 * i, r[0], r[1], r[2], r[3], r[4], r[5]);
        else
            column(drow, width * layout.channels, rowTaps + 6 * i, r[0], r[1], r[2], r[3], r[4], r[5]);
    });
}

template <class T, bool Plane>
void sqLanczosPass(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height,
                   const int32_t* rowOffsets, const int32_t* colOffsets, const float* rowTaps, const float* colTaps,
                   float* const* work, int32_t pixelStride, int32_t channelCount, LanczosColumnFn column,
                   LanczosColumnFn columnAC4) {
    const T* s = static_cast<const T*>(src);
    const prim::resample::PassLayout layout(Plane, pixelStride, channelCount);
    lanczosPass<T>(dst, srcStep, dstStep, width, height, rowOffsets, rowTaps, work, layout, column, columnAC4,
                   [&](int32_t offset, float* out) {
                       sqLanczosRow(s + offset, width, layout.channels, layout.next, colOffsets, colTaps, out);
                   });
}

// General engine row kernel: taps clamped to the image's columns
// -roiX .. widthToEdge - 1 (ROI-relative); taps that clamp onto the same edge
// column add their weights before multiplying its sample once.
template <class T>
void genLanczosRow(const T* row, int32_t width, int32_t channels, int32_t stride, const int32_t* colOffsets,
                   const float* colTaps, float* out, int32_t roiX, int32_t widthToEdge) {
    for (int32_t j = 0; j < width; ++j) {
        const int32_t x = colOffsets[j] / stride;
        const float* w = colTaps + 6 * j;
        for (int32_t k = 0; k < channels; ++k) {
            double sum = 0.0, weight = 0.0;
            int32_t column = 0;
            for (int t = 0; t < 6; ++t) {
                int32_t c = x + t - 2;
                c = c < -roiX ? -roiX : c > widthToEdge - 1 ? widthToEdge - 1 : c;
                if (t > 0 && c != column) {
                    sum += weight * double(row[static_cast<std::ptrdiff_t>(column) * stride + k]);
                    weight = 0.0;
                }
                column = c;
                weight += w[t];
            }
            sum += weight * double(row[static_cast<std::ptrdiff_t>(column) * stride + k]);
            out[j * channels + k] = static_cast<float>(sum);
        }
    }
}

// General engine pass: the square-pixel ring of six work rows, with every
// source row clamped to the image's rows -roiY .. heightToEdge - 1. Under
// vertical magnification the window moves one row at a time; the rows it
// then receives are the same as in the general case, so one walk serves both.
template <class T, bool Plane>
void genLanczosPass(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height,
                    const int32_t* rowOffsets, const int32_t* colOffsets, const float* rowTaps, const float* colTaps,
                    float* const* work, int32_t roiX, int32_t roiY, int32_t widthToEdge, int32_t heightToEdge,
                    int32_t pixelStride, int32_t channelCount, LanczosColumnFn column, LanczosColumnFn columnAC4) {
    const T* s = static_cast<const T*>(src);
    const prim::resample::PassLayout layout(Plane, pixelStride, channelCount);
    lanczosPass<T>(dst, srcStep, dstStep, width, height, rowOffsets, rowTaps, work, layout, column, columnAC4,
                   [&](int32_t offset, float* out) {
                       int32_t r = srcStep != 0 ? offset / srcStep : 0;
                       r = r < -roiY ? -roiY : r > heightToEdge - 1 ? heightToEdge - 1 : r;
                       genLanczosRow(s + static_cast<std::ptrdiff_t>(r) * srcStep, width, layout.channels, layout.next,
                                     colOffsets, colTaps, out, roiX, widthToEdge);
                   });
}

} // namespace

void lanczos3Weights(const float* fractions, int32_t count, float* taps) {
    for (int32_t i = 0; i < count; ++i) {
        const double x = fractions[i];
        float stored[6];
        double sum = 0.0;
        for (int k = 0; k < 6; ++k) {
            const double t = double(k - 2) - x;
            double w = 0.0;
            if (t > -3.0 && t < 3.0) {
                const double u = 100.0 * std::fabs(t);
                const int32_t n = truncateToInt(u);
                w = double(lanczos3KernelTable[n]) +
                    (u - n) * (double(lanczos3KernelTable[n + 1]) - double(lanczos3KernelTable[n]));
            }
            stored[k] = static_cast<float>(w);
            sum += w;
        }
        for (int k = 0; k < 6; ++k)
            taps[6 * i + k] = static_cast<float>(double(stored[k]) / sum);
    }
}

#define VQ_COLUMN(name, impl)                                                                                          \
    void name(void* d, int32_t n, const float* w, const float* r0, const float* r1, const float* r2, const float* r3,  \
              const float* r4, const float* r5) {                                                                      \
        impl(d, n, w, r0, r1, r2, r3, r4, r5);                                                                         \
    }
VQ_COLUMN(lanczosColumnPass8u, lanczosColumn<uint8_t>)
VQ_COLUMN(lanczosColumnPass16u, lanczosColumn<uint16_t>)
VQ_COLUMN(lanczosColumnPass32f, lanczosColumn<float>)
VQ_COLUMN(lanczosColumnPass8uAC4, lanczosColumnAC4<uint8_t>)
VQ_COLUMN(lanczosColumnPass16uAC4, lanczosColumnAC4<uint16_t>)
VQ_COLUMN(lanczosColumnPass32fAC4, lanczosColumnAC4<float>)
#undef VQ_COLUMN

void resizeSqLanczosColumnPass16s(void* dst, int32_t count, const float* w, const float* r0, const float* r1,
                                  const float* r2, const float* r3, const float* r4, const float* r5) {
    int16_t* d = static_cast<int16_t*>(dst);
    for (int32_t n = 0; n < count; ++n)
        d[n] = toSample<int16_t>(sqLanczosColumnSum16s(w, r0, r1, r2, r3, r4, r5, n));
}

void resizeSqLanczosColumnPass16sAC4(void* dst, int32_t count, const float* w, const float* r0, const float* r1,
                                     const float* r2, const float* r3, const float* r4, const float* r5) {
    int16_t* d = static_cast<int16_t*>(dst);
    for (int32_t p = 0; p < count; ++p)
        for (int c = 0; c < 3; ++c)
            d[4 * p + c] = toSample<int16_t>(sqLanczosColumnSum16s(w, r0, r1, r2, r3, r4, r5, 3 * p + c));
}

#define VQ_GEN_LANCZOS_BODY(name, T, plane, column, columnAC4)                                                         \
    void name(const void* s, void* d, int32_t ss, int32_t ds, int32_t w, int32_t h, const int32_t* ro,                 \
              const int32_t* co, const float* rt, const float* ct, float* w0, float* w1, float* w2, float* w3,         \
              float* w4, float* w5, int32_t rx, int32_t ry, int32_t we, int32_t he, int32_t, int32_t ps, int32_t cc) { \
        float* const work[6] = {w0, w1, w2, w3, w4, w5};                                                               \
        genLanczosPass<T, plane>(s, d, ss, ds, w, h, ro, co, rt, ct, work, rx, ry, we, he, ps, cc, column, columnAC4); \
    }
VQ_GEN_LANCZOS_BODY(resizeGenPassLanczos8uPixel, uint8_t, false, lanczosColumnPass8u, lanczosColumnPass8uAC4)
VQ_GEN_LANCZOS_BODY(resizeGenPassLanczos16uPixel, uint16_t, false, lanczosColumnPass16u, lanczosColumnPass16uAC4)
VQ_GEN_LANCZOS_BODY(resizeGenPassLanczos32fPixel, float, false, lanczosColumnPass32f, lanczosColumnPass32fAC4)
VQ_GEN_LANCZOS_BODY(resizeGenPassLanczos8uPlane, uint8_t, true, lanczosColumnPass8u, lanczosColumnPass8uAC4)
VQ_GEN_LANCZOS_BODY(resizeGenPassLanczos16uPlane, uint16_t, true, lanczosColumnPass16u, lanczosColumnPass16uAC4)
VQ_GEN_LANCZOS_BODY(resizeGenPassLanczos32fPlane, float, true, lanczosColumnPass32f, lanczosColumnPass32fAC4)
#undef VQ_GEN_LANCZOS_BODY

#define VQ_SQ_LANCZOS_BODY(name, T, plane, column, columnAC4)                                                          \
    void name(const void* s, void* d, int32_t ss, int32_t ds, int32_t w, int32_t h, const int32_t* ro,                 \
              const int32_t* co, const float* rt, const float* ct, float* w0, float* w1, float* w2, float* w3,         \
              float* w4, float* w5, int32_t ps, int32_t cc) {                                                          \
        float* const work[6] = {w0, w1, w2, w3, w4, w5};                                                               \
        sqLanczosPass<T, plane>(s, d, ss, ds, w, h, ro, co, rt, ct, work, ps, cc, column, columnAC4);                  \
    }
VQ_SQ_LANCZOS_BODY(resizeSqPassLanczos8uPixel, uint8_t, false, lanczosColumnPass8u, lanczosColumnPass8uAC4)
VQ_SQ_LANCZOS_BODY(resizeSqPassLanczos16uPixel, uint16_t, false, lanczosColumnPass16u, lanczosColumnPass16uAC4)
VQ_SQ_LANCZOS_BODY(resizeSqPassLanczos32fPixel, float, false, lanczosColumnPass32f, lanczosColumnPass32fAC4)
VQ_SQ_LANCZOS_BODY(resizeSqPassLanczos16sPixel, int16_t, false, resizeSqLanczosColumnPass16s,
                   resizeSqLanczosColumnPass16sAC4)
VQ_SQ_LANCZOS_BODY(resizeSqPassLanczos8uPlane, uint8_t, true, lanczosColumnPass8u, lanczosColumnPass8uAC4)
VQ_SQ_LANCZOS_BODY(resizeSqPassLanczos16uPlane, uint16_t, true, lanczosColumnPass16u, lanczosColumnPass16uAC4)
VQ_SQ_LANCZOS_BODY(resizeSqPassLanczos32fPlane, float, true, lanczosColumnPass32f, lanczosColumnPass32fAC4)
VQ_SQ_LANCZOS_BODY(resizeSqPassLanczos16sPlane, int16_t, true, resizeSqLanczosColumnPass16s,
                   resizeSqLanczosColumnPass16sAC4)
#undef VQ_SQ_LANCZOS_BODY

} // namespace prim::generic
