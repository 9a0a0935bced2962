// Rotation entry, its body and the warp driver of every processor path. The
// six paths run the same body and driver; they differ only in the row-kernel
// table the driver calls and in whether the cubic kernels need the work
// buffer (the SIMD paths sample cubic through single-precision positions).
#include "primitives/rotate/rotate.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "primitives/core/memory.h"
#include "primitives/core/prim_types.h"
#include "primitives/core/processor.h"
#include "primitives/rotate/quarter_turn.h"
#include "primitives/rotate/kernels/remap.h"
#include "primitives/rotate/warp_region.h"
#include "primitives/rotate/kernels/warp_rows.h"

const WarpRowKernel* const warpRowKernelTables[6] = {
    prim::generic::warpRowKernelTable, prim::p1::warpRowKernelTable, prim::p2::warpRowKernelTable,
    prim::p3::warpRowKernelTable,      prim::p4::warpRowKernelTable, prim::p5::warpRowKernelTable,
};

const RemapKernels* const remapKernelSets[6] = {
    nullptr, &prim::p1::remapKernels, &prim::p2::remapKernels, &prim::p3::remapKernels, &prim::p4::remapKernels,
    &prim::p5::remapKernels,
};

namespace {

inline bool isPlanar(uint32_t layout) { return layout == 3 || layout == 5; }

bool planePointersPresent(const void* src, const void* dst, uint32_t layout)
{
    if (!isPlanar(layout))
        return true;
    const int planes = layout == 5 ? 4 : 3;
    const void* const* s = static_cast<const void* const*>(src);
    const void* const* d = static_cast<const void* const*>(dst);
    for (int p = 0; p < planes; ++p)
        if (s[p] == nullptr || d[p] == nullptr)
            return false;
    return true;
}

int32_t warpAffineDriver(int path, const void* src, int32_t srcWidth, int32_t srcHeight, int32_t srcStep,
                         int32_t srcX, int32_t srcY, int32_t srcRoiWidth, int32_t srcRoiHeight, void* dst,
                         int32_t dstStep, int32_t dstX, int32_t dstY, int32_t dstRoiWidth, int32_t dstRoiHeight,
                         uint32_t code, const WarpCoefficients* coeffs, int32_t interpolation)
{
    if (src == nullptr || dst == nullptr || coeffs == nullptr)
        return primErrNullPtr;
    if (srcWidth <= 0 || srcHeight <= 0 || srcX < 0 || srcY < 0 || srcRoiWidth <= 0 || srcRoiHeight <= 0 ||
        dstX < 0 || dstY < 0 || dstRoiWidth <= 0 || dstRoiHeight <= 0)
        return primErrSize;
    int32_t m = interpolation & 0x7FFFFFFF;
    if (m != rotateNearest && m != rotateLinear && m != rotateCubic)
        return primErrInterpolation;
    // A kind code outside the 18 would index past the kernel tables.
    if (!validRotateKind(code))
        return primErrUnsupportedMode;
    const uint32_t layout = code & 7;
    if (!planePointersPresent(src, dst, layout))
        return primErrNullPtr;
    const WarpCoefficients& c = *coeffs;
    // Non-finite coefficients would give positions that truncate anywhere.
    if (!std::isfinite(c.c00) || !std::isfinite(c.c01) || !std::isfinite(c.c02) || !std::isfinite(c.c10) ||
        !std::isfinite(c.c11) || !std::isfinite(c.c12))
        return primErrCoeff;
    const double p = c.c00 * c.c11;
    const bool regular = std::fabs(p) > 1e-200 ? !(std::fabs((p - c.c01 * c.c10) / p) <= 1e-10)
                                               : !(std::fabs(c.c01 * c.c10) <= 1e-10);
    if (!regular)
        return primErrCoeff;
    const bool smooth = (uint32_t(interpolation) & rotateSmoothEdges) != 0;
    if (srcWidth == 1 || srcHeight == 1)
        m = rotateNearest;
    else if (m == rotateCubic && (srcWidth < 4 || srcHeight < 4))
        m = rotateLinear;
    if (srcX >= srcWidth || srcY >= srcHeight)
        return primWrnOutsideSource;
    const int32_t w = srcWidth - srcX < srcRoiWidth ? srcWidth - srcX : srcRoiWidth;
    const int32_t h = srcHeight - srcY < srcRoiHeight ? srcHeight - srcY : srcRoiHeight;
    if (w <= 1 || h <= 1)
        return primErrWarpRect;

    WarpPoint quad[4];
    mapRectCorners(c, srcX, srcY, srcX + w - 1, srcY + h - 1, quad);
    const int32_t convex = checkConvexQuad(quad);
    if (convex == -4 || convex == -5)
        return primErrCoeff;

    // Inverse mapping from the quadrilateral: it sends P0, P1 and P2 back to
    // the corner pixel centres (x0, y0), (x1, y0) and (x1, y1).
    const double A = quad[1].x - quad[0].x, C = quad[1].y - quad[0].y;
    const double B = quad[2].x - quad[1].x, D = quad[2].y - quad[1].y;
    // Each coefficient is one quotient by the determinant, not a product
    // with its reciprocal: that way a mapping that only shifts inverts to
    // exactly the unit matrix, and whole destination positions map to whole
    // source positions (a product with 1/det can miss 1 by one ulp, which
    // the truncating 16-bit linear kernel turns into a level).
    const double det = A * D - B * C;
    const double K = 1.0 / det;
    const double sw = double(w - 1), sh = double(h - 1);
    WarpCoefficients inv;
    inv.c00 = (D * sw) / det;
    inv.c01 = ((-B) * sw) / det;
    inv.c02 = (srcX - inv.c00 * quad[0].x) - inv.c01 * quad[0].y;
    inv.c10 = ((-C) * sh) / det;
    inv.c11 = (A * sh) / det;
    inv.c12 = (srcY - inv.c10 * quad[0].x) - inv.c11 * quad[0].y;
    const int32_t orientation = K > 0.0 ? 1 : 0;

    const int32_t left = dstX, top = dstY;
    const int32_t right = int32_t(int64_t(dstX) + dstRoiWidth - 1 > INT32_MAX ? INT32_MAX : dstX + (dstRoiWidth - 1));
    const int32_t bottom =
        int32_t(int64_t(dstY) + dstRoiHeight - 1 > INT32_MAX ? INT32_MAX : dstY + (dstRoiHeight - 1));
    RowSpan* spans = nullptr;
    int32_t firstRow = 0, lastRow = -1;
    if (buildRowSpans(quad, left, top, right, bottom, orientation, &spans, &firstRow, &lastRow) == 0)
        return primWrnWrongIntersectQuad;

    float* work = nullptr;
    if (path != 0 && m == rotateCubic) {
        // Two floats per destination column; refused before anything is drawn.
        if (dstRoiWidth > INT32_MAX / 8 ||
            (work = reinterpret_cast<float*>(allocVector8u(dstRoiWidth * 8))) == nullptr) {
            freeVector(spans);
            return primErrMemAlloc;
        }
    }

    const int planes = layout == 5 ? 4 : 3;
    void* saved[4] = {};
    void* rowDst;
    if (isPlanar(layout)) {
        uint8_t** arr = static_cast<uint8_t**>(dst);
        for (int k = 0; k < planes; ++k) {
            saved[k] = arr[k];
            arr[k] += std::ptrdiff_t(firstRow) * dstStep;
        }
        rowDst = dst;
    } else {
        rowDst = static_cast<uint8_t*>(dst) + std::ptrdiff_t(firstRow) * dstStep;
    }
    const int32_t entry = int32_t(((code >> 3) * 6 + layout) * 3 + uint32_t(m >> 1));
    warpRowKernelTables[path][entry](src, rowDst, srcStep, dstStep, firstRow, lastRow, spans, &inv, srcWidth - 1,
                                     srcHeight - 1, work);
    freeVector(work);
    freeVector(spans);
    if (isPlanar(layout)) {
        void** arr = static_cast<void**>(dst);
        for (int k = 0; k < planes; ++k)
            arr[k] = saved[k];
    }
    if (smooth)
        smoothWarpEdges(dst, dstStep, code, quad, left, top, right, bottom, orientation);
    return primNoErr;
}

int32_t rotateByAngleBody(int path, const void* src, int32_t srcWidth, int32_t srcHeight, int32_t srcStep,
                          int32_t srcX, int32_t srcY, int32_t srcRoiWidth, int32_t srcRoiHeight, void* dst,
                          int32_t dstStep, int32_t dstX, int32_t dstY, int32_t dstRoiWidth, int32_t dstRoiHeight,
                          uint32_t code, double angle, double xShift, double yShift, int32_t interpolation)
{
    // Angle reduced into 0 .. 360.
    const int32_t q = truncateToInt(angle / 360.0);
    double e = angle - double(q) * 360.0;
    if (e < 0.0)
        e = e + 360.0;
    const bool quarter = e == 90.0 || e == 180.0 || e == 270.0;
    const bool wholeShifts = xShift == std::floor(xShift) && yShift == std::floor(yShift);
    WarpCoefficients c{};
    if (quarter && wholeShifts) {
        if (src == nullptr || dst == nullptr)
            return primErrNullPtr;
        if (srcWidth <= 0 || srcHeight <= 0 || srcX < 0 || srcY < 0 || srcRoiWidth <= 0 || srcRoiHeight <= 0 ||
            dstX < 0 || dstY < 0 || dstRoiWidth <= 0 || dstRoiHeight <= 0)
            return primErrSize;
        if (!validRotateKind(code))
            return primErrUnsupportedMode;
        const uint32_t layout = code & 7;
        if (!planePointersPresent(src, dst, layout))
            return primErrNullPtr;
        if (srcX >= srcWidth || srcY >= srcHeight)
            return primWrnOutsideSource;
        // 64-bit index arithmetic: whole shifts may lie anywhere.
        const int64_t x0 = srcX, y0 = srcY;
        const int64_t x1 = x0 + (srcWidth - srcX < srcRoiWidth ? srcWidth - srcX : srcRoiWidth) - 1;
        const int64_t y1 = y0 + (srcHeight - srcY < srcRoiHeight ? srcHeight - srcY : srcRoiHeight) - 1;
        const int64_t dx0 = dstX, dy0 = dstY, dx1 = dx0 + dstRoiWidth - 1, dy1 = dy0 + dstRoiHeight - 1;
        const int a = int(e + 0.1);
        if (!(std::fabs(xShift) < 4e18 && std::fabs(yShift) < 4e18))
            return primWrnOutsideSource;
        const int64_t sx = int64_t(xShift), sy = int64_t(yShift);
        int64_t cx0, cx1, cy0, cy1; // columns and rows of the turned rectangle
        if (a == 90) {
            cx0 = y0 + sx, cx1 = y1 + sx, cy0 = sy - x1, cy1 = sy - x0;
        } else if (a == 180) {
            cx0 = sx - x1, cx1 = sx - x0, cy0 = sy - y1, cy1 = sy - y0;
        } else {
            cx0 = sx - y1, cx1 = sx - y0, cy0 = x0 + sy, cy1 = x1 + sy;
        }
        const int64_t xLo = cx0 > dx0 ? cx0 : dx0, xHi = cx1 < dx1 ? cx1 : dx1;
        const int64_t yLo = cy0 > dy0 ? cy0 : dy0, yHi = cy1 < dy1 ? cy1 : dy1;
        if (xLo > xHi || yLo > yHi)
            return primWrnOutsideSource;
        // Source pixel of the first destination pixel (xLo, yLo).
        int64_t scol, srow;
        if (a == 90) {
            scol = sy - yLo, srow = xLo - sx;
        } else if (a == 180) {
            scol = sx - xLo, srow = sy - yLo;
        } else {
            scol = yLo - sy, srow = sx - xLo;
        }
        const uint32_t type = code >> 3;
        const int32_t size = type == 0 ? 1 : type == 1 ? 4 : 2;
        const int32_t channels = layout == 0 ? 1 : layout == 1 || layout == 3 ? 3 : 4;
        const int32_t height = int32_t(yHi - yLo + 1), width = int32_t(xHi - xLo + 1);
        const QuarterTurnFn kernel = quarterTurnTable[(a == 180 ? 0 : 18) + type * 6 + layout];
        const int32_t stepArg = a == 270 ? -srcStep : srcStep;
        const int32_t direction = a == 180 ? 0 : a == 90 ? -1 : 1;
        if (isPlanar(layout)) {
            const int planes = layout == 5 ? 4 : 3;
            const void* const* s = static_cast<const void* const*>(src);
            void* const* d = static_cast<void* const*>(dst);
            const void* sp[4];
            void* dp[4];
            for (int k = 0; k < planes; ++k) {
                sp[k] = static_cast<const uint8_t*>(s[k]) + srow * srcStep + scol * size;
                dp[k] = static_cast<uint8_t*>(d[k]) + yLo * dstStep + xLo * size;
            }
            kernel(sp, dp, height, width, stepArg, dstStep, direction);
        } else {
            const int64_t pixel = int64_t(channels) * size;
            kernel(static_cast<const uint8_t*>(src) + srow * srcStep + scol * pixel,
                   static_cast<uint8_t*>(dst) + yLo * dstStep + xLo * pixel, height, width, stepArg, dstStep,
                   direction);
        }
        return primNoErr;
    }
    if (quarter) {
        // Exact coefficients, free of the rounding of cos and sin.
        const int a = int(e + 0.1);
        c.c00 = c.c11 = a == 180 ? -1.0 : 0.0;
        c.c01 = a == 90 ? 1.0 : a == 270 ? -1.0 : 0.0;
        c.c10 = a == 90 ? -1.0 : a == 270 ? 1.0 : 0.0;
    } else {
        const double theta = (e / 180.0) * 3.141592653589793;
        c.c00 = std::cos(theta);
        c.c01 = std::sin(theta);
        c.c10 = -std::sin(theta);
        c.c11 = std::cos(theta);
    }
    c.c02 = xShift;
    c.c12 = yShift;
    return warpAffineDriver(path, src, srcWidth, srcHeight, srcStep, srcX, srcY, srcRoiWidth, srcRoiHeight, dst,
                            dstStep, dstX, dstY, dstRoiWidth, dstRoiHeight, code, &c, interpolation);
}

template <int Path>
int32_t driverOf(const void* src, int32_t sw, int32_t sh, int32_t ss, int32_t sx, int32_t sy, int32_t srw,
                 int32_t srh, void* dst, int32_t ds, int32_t dx, int32_t dy, int32_t drw, int32_t drh, uint32_t code,
                 const WarpCoefficients* coeffs, int32_t interpolation)
{
    return warpAffineDriver(Path, src, sw, sh, ss, sx, sy, srw, srh, dst, ds, dx, dy, drw, drh, code, coeffs,
                            interpolation);
}

template <int Path>
int32_t bodyOf(const void* src, int32_t sw, int32_t sh, int32_t ss, int32_t sx, int32_t sy, int32_t srw, int32_t srh,
               void* dst, int32_t ds, int32_t dx, int32_t dy, int32_t drw, int32_t drh, uint32_t code, double angle,
               double xShift, double yShift, int32_t interpolation)
{
    return rotateByAngleBody(Path, src, sw, sh, ss, sx, sy, srw, srh, dst, ds, dx, dy, drw, drh, code, angle, xShift,
                             yShift, interpolation);
}

// The public entry of each path: 8u pixels of three interleaved channels.
template <int Path>
int32_t entryOf(const void* src, int32_t sw, int32_t sh, int32_t ss, int32_t sx, int32_t sy, int32_t srw, int32_t srh,
                void* dst, int32_t ds, int32_t dx, int32_t dy, int32_t drw, int32_t drh, double angle, double xShift,
                double yShift, int32_t interpolation)
{
    return rotateByAngleBody(Path, src, sw, sh, ss, sx, sy, srw, srh, dst, ds, dx, dy, drw, drh, 1, angle, xShift,
                             yShift, interpolation);
}

} // namespace

const WarpAffineDriverFn warpAffineDriverTable[6] = {driverOf<0>, driverOf<1>, driverOf<2>,
                                                     driverOf<3>, driverOf<4>, driverOf<5>};
const RotateByAngleBodyFn rotateByAngleBodyTable[6] = {bodyOf<0>, bodyOf<1>, bodyOf<2>,
                                                       bodyOf<3>, bodyOf<4>, bodyOf<5>};
const RotateByAngleFn rotateByAngleTable[6] = {entryOf<0>, entryOf<1>, entryOf<2>, entryOf<3>, entryOf<4>, entryOf<5>};

int32_t rotateByAngle(const void* src, int32_t srcWidth, int32_t srcHeight, int32_t srcStep, int32_t srcX,
                      int32_t srcY, int32_t srcRoiWidth, int32_t srcRoiHeight, void* dst, int32_t dstStep,
                      int32_t dstX, int32_t dstY, int32_t dstRoiWidth, int32_t dstRoiHeight, double angle,
                      double xShift, double yShift, int32_t interpolation)
{
    return VQ_DISPATCH(rotateByAngleTable)(src, srcWidth, srcHeight, srcStep, srcX, srcY, srcRoiWidth, srcRoiHeight,
                                           dst, dstStep, dstX, dstY, dstRoiWidth, dstRoiHeight, angle, xShift, yShift,
                                           interpolation);
}
