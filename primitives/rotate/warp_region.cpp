// Quadrilateral, convexity, clipping, row spans and edge smoothing of the
// warp.
#include "primitives/rotate/warp_region.h"

#include <cmath>
#include <cstring>

#include "primitives/core/memory.h"
#include "primitives/core/processor.h"

void mapRectCorners(const WarpCoefficients& c, int32_t x0, int32_t y0, int32_t x1, int32_t y1, WarpPoint out[4])
{
    const auto map = [&c](int32_t x, int32_t y) {
        const double dx = x, dy = y;
        return WarpPoint{(c.c00 * dx + c.c01 * dy) + c.c02, (c.c10 * dx + c.c11 * dy) + c.c12};
    };
    out[0] = map(x0, y0);
    out[1] = map(x1, y0);
    out[2] = map(x1, y1);
    out[3] = map(x0, y1);
}

int32_t checkConvexQuad(const WarpPoint q[4])
{
    const double x0 = q[0].x, y0 = q[0].y, x1 = q[1].x, y1 = q[1].y;
    const double x2 = q[2].x, y2 = q[2].y, x3 = q[3].x, y3 = q[3].y;
    const double cross[4] = {
        (x3 - x2) * (y0 - y3) - (x0 - x3) * (y3 - y2), // at P3
        (x0 - x3) * (y1 - y0) - (y0 - y3) * (x1 - x0), // at P0
        (x1 - x0) * (y2 - y1) - (y1 - y0) * (x2 - x1), // at P1
        (x2 - x1) * (y3 - y2) - (x3 - x2) * (y2 - y1), // at P2
    };
    for (double v : cross)
        if (v == 0.0)
            return -5;
    const bool positive = cross[0] > 0.0;
    for (double v : cross)
        if ((v > 0.0) != positive)
            return -4;
    return positive ? 1 : 0;
}

int32_t mapRoiQuad(int32_t x, int32_t y, int32_t width, int32_t height, WarpPoint out[4], const WarpCoefficients& c)
{
    if (x < 0 || y < 0 || width <= 0 || height <= 0)
        return -6;
    mapRectCorners(c, x, y, x + width - 1, y + height - 1, out);
    const int32_t convex = checkConvexQuad(out);
    return convex == -4 || convex == -5 ? primErrCoeff : 0;
}

namespace {

// One single-edge pass. `inside` tells whether a coordinate keeps its
// vertex, `strictlyInside` whether it lies off the bound on the kept side;
// only an edge from strictly outside to strictly inside (or back) adds a
// crossing point.
template <bool OnY, bool KeepAbove>
void clipEdge(WarpPoint* in, WarpPoint* out, int32_t* count, double extreme, int32_t bound)
{
    const int32_t n = *count;
    const double b = bound;
    const bool needed = KeepAbove ? extreme < b : extreme > b;
    if (!needed) {
        std::memmove(out, in, sizeof(WarpPoint) * size_t(n > 0 ? n : 0));
        return;
    }
    in[n] = in[0];
    int32_t m = 0;
    const auto coord = [](const WarpPoint& p) { return OnY ? p.y : p.x; };
    const auto strictlyIn = [b](double v) { return KeepAbove ? v > b : v < b; };
    const auto strictlyOut = [b](double v) { return KeepAbove ? v < b : v > b; };
    for (int32_t k = 0; k < n; ++k) {
        const WarpPoint& p = in[k];
        const WarpPoint& q = in[k + 1];
        const double u = coord(p), v = coord(q);
        if ((strictlyOut(u) && strictlyIn(v)) || (strictlyIn(u) && strictlyOut(v))) {
            if (OnY)
                out[m++] = WarpPoint{((b - p.y) * (q.x - p.x)) / (q.y - p.y) + p.x, b};
            else
                out[m++] = WarpPoint{b, ((b - p.x) * (q.y - p.y)) / (q.x - p.x) + p.y};
        }
        if (!strictlyOut(v))
            out[m++] = q;
    }
    *count = m;
}

} // namespace

void clipPolygonTopEdge(WarpPoint* in, WarpPoint* out, int32_t* count, double minY, int32_t bound)
{
    clipEdge<true, true>(in, out, count, minY, bound);
}

void clipPolygonBottomEdge(WarpPoint* in, WarpPoint* out, int32_t* count, double maxY, int32_t bound)
{
    clipEdge<true, false>(in, out, count, maxY, bound);
}

void clipPolygonLeftEdge(WarpPoint* in, WarpPoint* out, int32_t* count, double minX, int32_t bound)
{
    clipEdge<false, true>(in, out, count, minX, bound);
}

void clipPolygonRightEdge(WarpPoint* in, WarpPoint* out, int32_t* count, double maxX, int32_t bound)
{
    clipEdge<false, false>(in, out, count, maxX, bound);
}

namespace {

struct Box {
    double minX, minY, maxX, maxY;
};

Box boundingBox(const WarpPoint* poly, int32_t n)
{
    Box b{poly[0].x, poly[0].y, poly[0].x, poly[0].y};
    for (int32_t k = 1; k < n; ++k) {
        b.minX = std::fmin(b.minX, poly[k].x);
        b.maxX = std::fmax(b.maxX, poly[k].x);
        b.minY = std::fmin(b.minY, poly[k].y);
        b.maxY = std::fmax(b.maxY, poly[k].y);
    }
    return b;
}

} // namespace

void clipPolygonToRect(WarpPoint* poly, WarpPoint* scratch, int32_t* count, int32_t left, int32_t top,
                       int32_t right, int32_t bottom)
{
    if (*count <= 0) {
        *count = 0;
        return;
    }
    const Box b = boundingBox(poly, *count);
    if (double(top) > b.maxY || b.minY > double(bottom) || double(left) > b.maxX || b.minX > double(right)) {
        *count = 0;
        return;
    }
    if (b.maxY <= bottom && b.minY >= top && b.maxX <= right && b.minX >= left)
        return;
    clipPolygonTopEdge(poly, scratch, count, b.minY, top);
    clipPolygonBottomEdge(scratch, poly, count, b.maxY, bottom);
    clipPolygonLeftEdge(poly, scratch, count, b.minX, left);
    clipPolygonRightEdge(scratch, poly, count, b.maxX, right);
    // Consecutive duplicates (a vertex on a bound comes out twice).
    int32_t n = *count;
    for (int32_t k = 1; k < n;) {
        if (poly[k].x == poly[k - 1].x && poly[k].y == poly[k - 1].y) {
            std::memmove(poly + k, poly + k + 1, sizeof(WarpPoint) * size_t(n - k - 1));
            --n;
        } else {
            ++k;
        }
    }
    *count = n;
}

namespace {

// One side of the scan conversion: the current edge, from a start point to
// the end vertex, walked from the top vertex towards one index direction.
struct Chain {
    int32_t end;
    double xs, ys, slope;
};

} // namespace

void fillConvexRowSpans(const WarpPoint* poly, int32_t n, int32_t orientation, RowSpan* spans, int32_t rows)
{
    if (n <= 0 || rows <= 0)
        return;
    // Every entry starts empty, so a row the walk cannot reach draws nothing.
    for (int32_t i = 0; i < rows; ++i)
        spans[i] = RowSpan{0, -1};
    int32_t top = 0;
    for (int32_t k = 1; k < n; ++k)
        if (poly[k].y < poly[top].y)
            top = k;
    const double firstRow = std::ceil(poly[top].y);
    if (n == 1) {
        const int32_t x = int32_t(std::floor(poly[0].x));
        spans[0] = RowSpan{x, x};
        return;
    }
    spans[0] = RowSpan{int32_t(std::ceil(std::fmin(poly[0].x, poly[1].x))),
                       int32_t(std::floor(std::fmax(poly[0].x, poly[1].x)))};

    Chain P{top, 0, 0, 0}, N{top, 0, 0, 0};
    // Moves a chain to its next non-horizontal edge; false when a skipped
    // horizontal edge ends where the other chain ends (the walk is over).
    const auto advance = [&](Chain& c, int32_t dir, const Chain& other) {
        for (int32_t guard = 0; guard <= n; ++guard) {
            const int32_t s = c.end;
            c.end = (s + dir + n) % n;
            const double dy = poly[c.end].y - poly[s].y;
            if (dy != 0.0) {
                c.xs = poly[s].x;
                c.ys = poly[s].y;
                c.slope = (poly[c.end].x - poly[s].x) / dy;
                return true;
            }
            if (c.end == other.end)
                return false;
        }
        return false;
    };

    double row = firstRow;
    for (int32_t guard = 0; guard <= 2 * n; ++guard) {
        if (poly[N.end].y >= poly[P.end].y) {
            const int32_t oldEnd = P.end;
            if (!advance(P, -1, N))
                return;
            if (poly[oldEnd].y >= poly[N.end].y && !advance(N, +1, P))
                return;
        } else if (!advance(N, +1, P)) {
            return;
        }
        const double rowEnd = std::floor(std::fmin(poly[P.end].y, poly[N.end].y));
        for (; row <= rowEnd; row += 1.0) {
            const double xP = ((row - P.ys) * P.slope) + P.xs;
            const double xN = ((row - N.ys) * N.slope) + N.xs;
            const double xl = orientation == 1 ? xP : xN;
            const double xr = orientation == 1 ? xN : xP;
            double first = std::ceil(xl);
            if ((xl + 1.0) - first < 1e-14)
                first -= 1.0;
            double last = std::floor(xr);
            if ((1.0 - xr) + last < 1e-14)
                last += 1.0;
            const double index = row - firstRow;
            if (index >= 0.0 && index < rows)
                spans[int32_t(index)] = RowSpan{int32_t(first), int32_t(last)};
        }
        if (P.end == N.end)
            return;
    }
}

int32_t buildRowSpans(const WarpPoint quad[4], int32_t left, int32_t top, int32_t right, int32_t bottom,
                      int32_t orientation, RowSpan** spans, int32_t* firstRow, int32_t* lastRow)
{
    *spans = nullptr;
    WarpPoint poly[kWarpPolygonCapacity], scratch[kWarpPolygonCapacity];
    std::memcpy(poly, quad, sizeof(WarpPoint) * 4);
    int32_t n = 4;
    clipPolygonToRect(poly, scratch, &n, left, top, right, bottom);
    if (n <= 0)
        return 0;
    const Box b = boundingBox(poly, n);
    const double first = std::ceil(b.minY), last = std::floor(b.maxY);
    *firstRow = int32_t(first);
    *lastRow = int32_t(last);
    if (last - first + 1.0 <= 0.0 || std::floor(b.maxX) < std::ceil(b.minX))
        return 0;
    const int32_t rows = *lastRow - *firstRow + 1;
    int32_t* list = allocVector32s(2 * rows);
    if (list == nullptr)
        return 0;
    RowSpan* out = reinterpret_cast<RowSpan*>(list);
    fillConvexRowSpans(poly, n, orientation, out, rows);
    // The tolerance of the scan conversion must not reach past the
    // rectangle: the row kernels write every column of a span.
    for (int32_t i = 0; i < rows; ++i) {
        if (out[i].first < left)
            out[i].first = left;
        if (out[i].last > right)
            out[i].last = right;
    }
    *spans = out;
    return 1;
}

namespace {

template <typename T>
void blendSamples(uint8_t* a, const uint8_t* b, int32_t channels, std::ptrdiff_t stride, double wA, double wB)
{
    for (int32_t k = 0; k < channels; ++k) {
        T va, vb;
        std::memcpy(&va, a + k * stride, sizeof(T));
        std::memcpy(&vb, b + k * stride, sizeof(T));
        const double v = double(va) * wA + double(vb) * wB;
        T out;
        if constexpr (sizeof(T) == 4)
            out = static_cast<T>(v);
        else
            out = static_cast<T>(truncateToInt(v + 0.5));
        std::memcpy(a + k * stride, &out, sizeof(T));
    }
}

} // namespace

void blendEdgePixel(void* dst, int32_t dstStep, uint32_t code, int32_t ax, int32_t ay, int32_t bx, int32_t by,
                    double wA, double wB)
{
    const uint32_t type = code >> 3, layout = code & 7;
    const int32_t size = type == 0 ? 1 : type == 1 ? 4 : 2;
    const int32_t channels = layout == 0 ? 1 : (layout == 1 || layout == 3) ? 3 : 4;
    const bool planar = layout == 3 || layout == 5;
    const auto run = [&](uint8_t* a, const uint8_t* b, std::ptrdiff_t stride, int32_t count) {
        if (type == 0)
            blendSamples<uint8_t>(a, b, count, stride, wA, wB);
        else if (type == 1)
            blendSamples<float>(a, b, count, stride, wA, wB);
        else
            blendSamples<uint16_t>(a, b, count, stride, wA, wB);
    };
    if (planar) {
        uint8_t* const* planes = static_cast<uint8_t* const*>(dst);
        for (int32_t p = 0; p < channels; ++p) {
            uint8_t* base = planes[p];
            run(base + std::ptrdiff_t(ay) * dstStep + std::ptrdiff_t(ax) * size,
                base + std::ptrdiff_t(by) * dstStep + std::ptrdiff_t(bx) * size, size, 1);
        }
        return;
    }
    uint8_t* base = static_cast<uint8_t*>(dst);
    const std::ptrdiff_t pixel = std::ptrdiff_t(channels) * size;
    run(base + std::ptrdiff_t(ay) * dstStep + ax * pixel, base + std::ptrdiff_t(by) * dstStep + bx * pixel, size,
        channels);
}

void smoothWarpEdges(void* dst, int32_t dstStep, uint32_t code, const WarpPoint quad[4], int32_t left, int32_t top,
                     int32_t right, int32_t bottom, int32_t orientation)
{
    WarpPoint poly[kWarpPolygonCapacity], scratch[kWarpPolygonCapacity];
    std::memcpy(poly, quad, sizeof(WarpPoint) * 4);
    int32_t n = 4;
    clipPolygonToRect(poly, scratch, &n, left, top, right, bottom);
    if (n < 3)
        return;
    for (int32_t k = 0; k < n; ++k) {
        const WarpPoint s = poly[k], e = poly[(k + 1) % n];
        const double dx = e.x - s.x, dy = e.y - s.y;
        if (dx == 0.0 || dy == 0.0)
            continue;
        if (std::fabs(dy) > std::fabs(dx)) {
            const double slope = dx / dy;
            const double lo = std::ceil(std::fmin(s.y, e.y)), hi = std::floor(std::fmax(s.y, e.y));
            for (double y = lo; y <= hi; y += 1.0) {
                const double x = ((y - s.y) * slope) + s.x;
                const bool insideIsFloor = (orientation == 1) == (dy > 0.0);
                const double in = insideIsFloor ? std::floor(x) : std::ceil(x);
                const double out = insideIsFloor ? std::ceil(x) : std::floor(x);
                // Both pixels, and the row, inside the rectangle: nothing
                // outside the destination region is ever written.
                if (x == in || in < left || in > right || out < left || out > right || y < top || y > bottom)
                    continue;
                blendEdgePixel(dst, dstStep, code, int32_t(out), int32_t(y), int32_t(in), int32_t(y),
                               std::fabs(x - out), std::fabs(x - in));
            }
        } else {
            const double slope = dy / dx;
            const double lo = std::ceil(std::fmin(s.x, e.x)), hi = std::floor(std::fmax(s.x, e.x));
            for (double x = lo; x <= hi; x += 1.0) {
                const double y = ((x - s.x) * slope) + s.y;
                const bool insideIsCeil = (orientation == 1) == (dx > 0.0);
                const double in = insideIsCeil ? std::ceil(y) : std::floor(y);
                const double out = insideIsCeil ? std::floor(y) : std::ceil(y);
                if (y == in || in < top || in > bottom || out < top || out > bottom || x < left || x > right)
                    continue;
                blendEdgePixel(dst, dstStep, code, int32_t(x), int32_t(out), int32_t(x), int32_t(in),
                               std::fabs(y - out), std::fabs(y - in));
            }
        }
    }
}
