// Merging a 2 x 2 quad into one image and halving it into a tile of the next
// smaller level.
#include <cstdio>
#include <cstring>

#include "engine/base/pixel_lock.h"
#include "engine/pyramid/tile_quad.h"
#include "engine/pyramid/unsharp_mask.h"
#include "engine/pyramid/vq_zoomoutput.h"
#include "primitives/core/copy.h"
#include "primitives/core/memory.h"
#include "primitives/resample/pyramid_gauss.h"
#include "primitives/resample/resize_rows.h"
#include "primitives/resample/resize_sq.h"

namespace {

// Square-pixel resize code of a resampling option.
int32_t resizeCodeOf(int32_t option)
{
    switch (option) {
    case 2: return resizeCubic;
    case 3: return resizeLanczos;
    case 4: return resizeCubicBSpline;
    case 5: return resizeCubicCatmullRom;
    case 6: return resizeCubicB05C03;
    case 7: return resizeCubic;
    default: return resizeLinear;
    }
}

int32_t pixelBytes(imageContainer* c)
{
    return c->getChannels() * (c->getBitsPerSample() / 8);
}

// Runs the square-pixel resize of one region with its own work buffer.
int32_t resizeRegion(int32_t format, int32_t channels, const uint8_t* src, IntPair srcSize, int32_t srcStep,
                     uint8_t* dst, int32_t dstStep, IntPair dstSize, double xFactor, double yFactor, int32_t code)
{
    const PrimRect srcRoi{0, 0, srcSize.first, srcSize.second};
    const PrimRect dstRoi{0, 0, dstSize.first, dstSize.second};
    const int32_t interpolation = code;
    int32_t bufferSize = 0;
    int32_t status = resizeSquarePixelGetBufferSize(srcRoi, dstRoi, channels, interpolation, &bufferSize);
    if (status != 0)
        return status;
    uint8_t* buffer = allocVector8u(bufferSize);
    if (buffer == nullptr)
        return primErrMemAlloc;
    const PrimSize size{srcSize.first, srcSize.second};
    switch (format) {
    case 11:
        status = resizeSquarePixel16uC1(reinterpret_cast<const uint16_t*>(src), size, srcStep, srcRoi,
                                        reinterpret_cast<uint16_t*>(dst), dstStep, dstRoi, xFactor, yFactor, 0.0,
                                        0.0, interpolation, buffer);
        break;
    case 12:
        status = resizeSquarePixel16uC3(reinterpret_cast<const uint16_t*>(src), size, srcStep, srcRoi,
                                        reinterpret_cast<uint16_t*>(dst), dstStep, dstRoi, xFactor, yFactor, 0.0,
                                        0.0, interpolation, buffer);
        break;
    default:
        if (channels == 1)
            status = resizeSquarePixel8uC1(src, size, srcStep, srcRoi, dst, dstStep, dstRoi, xFactor, yFactor, 0.0,
                                           0.0, interpolation, buffer);
        else
            status = resizeSquarePixel8uC3(src, size, srcStep, srcRoi, dst, dstStep, dstRoi, xFactor, yFactor, 0.0,
                                           0.0, interpolation, buffer);
        break;
    }
    freeVector(buffer);
    return status;
}

} // namespace

// 2:1 Gaussian down-scale of one 8-bit plane (defined with the pyramid
// primitives' glue below).
bool gaussHalvePlane(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, IntPair size);

// ---- padding and saving ------------------------------------------------------

bool vq_tileQuadBase::padMembers(const IntPair& size, bool keepCrop)
{
    for (vq_zoom_tile_base* member : {topLeft(), topRight(), bottomLeft(), bottomRight()})
        if (member != nullptr && !member->padToSize(size, keepCrop))
            return false;
    return true;
}

bool vq_tileQuadBase::saveTiles(vq_zoomoutput_base* output)
{
    if (output == nullptr)
        return false;
    for (vq_zoom_tile_base* member : {topLeft(), topRight(), bottomLeft(), bottomRight()})
        if (member != nullptr && !output->saveTile(member))
            return false;
    return true;
}

// ---- merge ----------------------------------------------------------------------

vq_tileKey vq_tileQuadBase::resultKey() const
{
    const vq_tileKey& k = topLeft_->getKey();
    return vq_tileKey(k.x / 2, k.y / 2, k.level == 0 ? 0 : k.level - 1);
}

bool vq_tileQuadBase::copyMembers(imageContainer* merged, int32_t plane)
{
    const IntPair tl = topLeft_->getPlaneSize(plane);
    const struct {
        vq_zoom_tile_base* tile;
        int32_t x, y;
    } places[] = {{topLeft(), 0, 0}, {topRight(), tl.first, 0}, {bottomLeft(), 0, tl.second},
                  {bottomRight(), tl.first, tl.second}};
    PrimRect covered[4];
    int32_t count = 0;
    for (const auto& p : places)
        if (p.tile != nullptr) {
            const IntPair size = p.tile->getPlaneSize(plane);
            covered[count++] = PrimRect{p.x, p.y, size.first, size.second};
        }
    merged->fillOutside(covered, count, 0);
    const int32_t bytesPerPixel = pixelBytes(merged);
    PixelLock lock(merged);
    for (const auto& p : places)
        if (p.tile != nullptr &&
            !p.tile->copyDataTo(lock.data() + p.y * lock.step() + p.x * bytesPerPixel, lock.step(), plane))
            return false;
    return true;
}

void vq_tileQuadBase::generateMergedOutput(vq_ptr<vq_zoom_tile_base>& out, bool clearQuad)
{
    if (topLeft_ == nullptr)
        return;
    if (topLeft_->getFormat() == 3) {
        const vq_tileKey key = resultKey();
        vq_ptr<vq_zoom_tile_base> merged;
        generateMergedOutputYCbCr(merged, clearQuad);
        if (merged != nullptr) {
            merged->setKey(key);
            out = merged;
        }
        return;
    }
    const int32_t f = topLeft_->getFormat();
    const IntPair F = getMergedFullSize(f);
    vq_ptr<vq_zoom_tile_base> result;
    topLeft_->createSameKind(&result);
    if (result == nullptr) {
        std::fputs("generateMergedOutput:failed to create zoom tile\n", stderr);
        return;
    }
    vq_ptr<imageContainer> c;
    if (!result->getContainer(c, f))
        return;
    result->setKey(resultKey());
    if (!c->createUncleared(f, F.first, F.second, false) || !copyMembers(c.get(), f))
        return;
    if (clearQuad)
        clear();
    out = result;
}

void vq_tileQuadBase::generateMergedOutputYCbCr(vq_ptr<vq_zoom_tile_base>& out, bool clearQuad)
{
    vq_ptr<vq_zoom_tile_base> result;
    createZoomTileYCbCr(&result);
    if (result == nullptr) {
        std::fputs("generateMergedOutputYCbCr:failed to create zoom tile\n", stderr);
        return;
    }
    result->setSubsampling(topLeft_->getSubsampling());
    for (int32_t plane = planeY; plane <= planeCr; ++plane) {
        vq_ptr<imageContainer> c;
        const IntPair F = getMergedFullSize(plane);
        if (!result->getContainer(c, plane) || !c->createUncleared(plane, F.first, F.second, false) ||
            !copyMembers(c.get(), plane))
            return;
    }
    if (clearQuad)
        clear();
    out = result;
}

void vq_tileQuadBase::extendOddEdge(imageContainer* container, const IntPair& size) const
{
    const int32_t format = container == nullptr ? -1 : container->getFormat();
    if (format < planeY || format > planeCr)
        return;
    PixelLock lock(container);
    const int32_t W = container->getWidth(), H = container->getHeight();
    if ((size.first & 1) != 0 && size.first < W)
        copyRoi8uC1(lock.data() + size.first - 1, lock.step(), lock.data() + size.first, lock.step(),
                    PrimSize{1, H});
    if ((size.second & 1) != 0 && size.second < H && size.second > 0)
        std::memcpy(lock.data() + size.second * lock.step(), lock.data() + (size.second - 1) * lock.step(),
                    static_cast<size_t>(W));
}

void vq_tileQuadBase::extendOddEdges(vq_zoom_tile_base* tile, int32_t plane) const
{
    vq_ptr<imageContainer> c;
    if (tile != nullptr && tile->getContainer(c, plane))
        extendOddEdge(c.get(), getMergedSize(plane));
}

void vq_tileQuadBase::extendOddEdgesYCbCr(vq_zoom_tile_base* tile) const
{
    for (int32_t plane = planeY; plane <= planeCr; ++plane)
        extendOddEdges(tile, plane);
}

void vq_tileQuadBase::replicateMergeMargin(vq_zoom_tile_base* tile, int32_t plane) const
{
    vq_ptr<imageContainer> c;
    if (tile == nullptr || !tile->getContainer(c, plane) || !c->isAllocated())
        return;
    const IntPair visible = getMergedSize(plane);
    const int32_t W = c->getWidth(), H = c->getHeight();
    const int32_t w = visible.first < W ? visible.first : W;
    const int32_t h = visible.second < H ? visible.second : H;
    if (w <= 0 || h <= 0 || (w == W && h == H))
        return;
    const int32_t p = pixelBytes(c.get());
    PixelLock lock(c.get());
    uint8_t* data = lock.data();
    if (w < W)
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = data + y * lock.step();
            for (int32_t x = w; x < W; ++x)
                std::memcpy(row + x * p, row + (w - 1) * p, static_cast<size_t>(p));
        }
    for (int32_t y = h; y < H; ++y)
        std::memcpy(data + y * lock.step(), data + (h - 1) * lock.step(), static_cast<size_t>(W * p));
}

// ---- halving ------------------------------------------------------------------

void vq_tileQuadBase::generateHalf(vq_ptr<vq_zoom_tile_base>& out, int32_t option, bool clearQuad)
{
    if (topLeft_ == nullptr) {
        std::fputs("Can't create result without top-left tile\n", stderr);
        return;
    }
    if (topLeft_->getFormat() == 3) {
        const vq_tileKey key = resultKey();
        vq_ptr<vq_zoom_tile_base> half;
        generateYCbCrOutput(half, option);
        if (half != nullptr) {
            half->setKey(key);
            out = half;
        }
        return;
    }
    const int32_t f = topLeft_->getFormat();
    vq_ptr<vq_zoom_tile_base> result;
    topLeft_->createSameKind(&result);
    if (result == nullptr)
        return;
    result->setKey(resultKey());
    const IntPair half = getMergedSize(f) / 2;
    const IntPair fullHalf = getMergedFullSize(f) / 2;
    if (half.first == 0 || half.second == 0) {
        result->markEmpty();
        out = result;
        return;
    }
    vq_ptr<vq_zoom_tile_base> merged;
    generateMergedOutput(merged, false);
    if (merged == nullptr)
        return;
    extendOddEdges(merged.get(), f);
    replicateMergeMargin(merged.get(), f);
    vq_ptr<imageContainer> c;
    // Halving writes every pixel of the half size.
    if (!result->getContainer(c, f) || !c->createUncleared(f, fullHalf.first, fullHalf.second, false))
        return;
    {
        PixelLock lock(c.get());
        if (!merged->halveSize(lock.data(), lock.step(), f, option))
            return;
    }
    if (clearQuad)
        clear();
    c->crop(half.first, half.second);
    out = result;
}

void vq_tileQuadBase::generateYCbCrOutput(vq_ptr<vq_zoom_tile_base>& out, int32_t option)
{
    vq_ptr<vq_zoom_tile_base> result;
    createZoomTileYCbCr(&result);
    if (result == nullptr) {
        std::fputs("generateYCbCrOutput:failed to create zoom tile\n", stderr);
        return;
    }
    const IntPair halfY = getMergedSize(planeY) / 2;
    const IntPair fullHalfY = getMergedFullSize(planeY) / 2;
    if (halfY.first == 0 || halfY.second == 0) {
        result->markEmpty();
        out = result;
        return;
    }
    vq_ptr<vq_zoom_tile_base> merged;
    generateMergedOutputYCbCr(merged, false);
    if (merged == nullptr)
        return;
    extendOddEdgesYCbCr(merged.get());
    for (int32_t plane = planeY; plane <= planeCr; ++plane)
        replicateMergeMargin(merged.get(), plane);
    result->setSubsampling(merged->getSubsampling());

    vq_ptr<imageContainer> planes[3];
    for (int32_t i = 0; i < 3; ++i)
        if (!result->getContainer(planes[i], planeY + i)) {
            std::fputs("generateYCbCrOutput:failed to get container\n", stderr);
            return;
        }
    IntPair halves[3] = {halfY, getMergedSize(planeCb) / 2, getMergedSize(planeCr) / 2};
    IntPair fulls[3] = {fullHalfY, getMergedFullSize(planeCb) / 2, getMergedFullSize(planeCr) / 2};
    for (int32_t i = 1; i < 3; ++i) {
        fulls[i].first = fulls[i].first < 1 ? 1 : fulls[i].first;
        fulls[i].second = fulls[i].second < 1 ? 1 : fulls[i].second;
    }
    for (int32_t i = 0; i < 3; ++i) {
        // Halving writes every sample of the half size.
        if (!planes[i]->createUncleared(planeY + i, fulls[i].first, fulls[i].second, false))
            return;
        {
            PixelLock lock(planes[i].get());
            if (!merged->halveSize(lock.data(), lock.step(), planeY + i, option))
                return;
        }
        if (i == 0 && option == 7) {
            // Option 7 sharpens the halved luma plane before it is cropped.
            vq_unsharpMask mask;
            mask.setGaussian(0.5);
            mask.apply(planes[0].get());
        }
        planes[i]->crop(halves[i].first, halves[i].second);
    }
    clear();
    for (int32_t i = 1; i < 3; ++i)
        if (halves[i].first == 0 || halves[i].second == 0)
            result->markEmpty();
    out = result;
}

// ---- halveSize -------------------------------------------------------------------

bool vq_zoom_tile::halveSize(uint8_t* dst, int32_t dstStep, int32_t, int32_t option)
{
    if (pixels_ == nullptr) {
        std::fputs("container is NULL\n", stderr);
        return false;
    }
    if (!pixels_->isAllocated()) {
        std::fputs("container is not allocated\n", stderr);
        return false;
    }
    const IntPair full = pixels_->getFullSize();
    const IntPair half = full / 2;
    PixelLock lock(pixels_.get());
    if (option == 8 && (format_ == 11 || format_ == 12))
        option = 2;
    int32_t code = resizeCodeOf(option);
    if (half.first == 1 || half.second == 1) {
        option = 1;
        code = resizeLinear;
    }
    if (option != 8) {
        const int32_t channels = (format_ == 6 || format_ == 11) ? 1 : 3;
        return resizeRegion(format_, channels, lock.data(), full, lock.step(), dst, dstStep, half, 0.5, 0.5,
                            code) == 0;
    }
    if (format_ == 6)
        return gaussHalvePlane(lock.data(), lock.step(), dst, dstStep, full);
    // 24-bit RGB: the Gaussian step works on one channel, so each channel is
    // taken out, halved and put back.
    const int32_t W = full.first, H = full.second, w = half.first, h = half.second;
    uint8_t* plane = allocVector8u(W * H);
    uint8_t* halved = allocVector8u(w * h > 0 ? w * h : 1);
    bool ok = plane != nullptr && halved != nullptr;
    for (int32_t ch = 0; ok && ch < 3; ++ch) {
        for (int32_t y = 0; y < H; ++y) {
            const uint8_t* s = lock.data() + y * lock.step() + ch;
            for (int32_t x = 0; x < W; ++x)
                plane[y * W + x] = s[3 * x];
        }
        ok = gaussHalvePlane(plane, W, halved, w, full);
        for (int32_t y = 0; ok && y < h; ++y) {
            uint8_t* d = dst + y * dstStep + ch;
            for (int32_t x = 0; x < w; ++x)
                d[3 * x] = halved[y * w + x];
        }
    }
    freeVector(plane);
    freeVector(halved);
    return ok;
}

namespace {

// The 4 x 4 filter of option 7: the 2 x 2 box in the first and last rows, the
// first column and (for even widths) the last column; elsewhere weights
// 1, 2, 2, 1 per axis over 36.
void filter4x4(const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds, int32_t W, int32_t w, int32_t h)
{
    auto at = [&](int32_t row, int32_t col) { return static_cast<int32_t>(s[row * ss + col]); };
    for (int32_t j = 0; j < h; ++j)
        for (int32_t i = 0; i < w; ++i) {
            const int32_t r = 2 * j, c = 2 * i;
            const int32_t box = at(r, c) + at(r, c + 1) + at(r + 1, c) + at(r + 1, c + 1);
            const bool kernel = j != 0 && j != h - 1 && i != 0 && (i != w - 1 || (W & 1) != 0);
            if (!kernel) {
                d[j * ds + i] = static_cast<uint8_t>(box >> 2);
                continue;
            }
            const int32_t edges = at(r - 1, c) + at(r - 1, c + 1) + at(r + 2, c) + at(r + 2, c + 1) + at(r, c - 1) +
                                  at(r + 1, c - 1) + at(r, c + 2) + at(r + 1, c + 2);
            const int32_t corners = at(r - 1, c - 1) + at(r - 1, c + 2) + at(r + 2, c - 1) + at(r + 2, c + 2);
            d[j * ds + i] = static_cast<uint8_t>((box + (edges >> 1) + (corners >> 2)) / 9);
        }
}

} // namespace

bool vq_zoom_tile_YCbCr::halveSize(uint8_t* dst, int32_t dstStep, int32_t plane, int32_t option)
{
    vq_ptr<imageContainer> c;
    if (!getContainer(c, plane)) {
        std::fputs("container is NULL\n", stderr);
        return false;
    }
    if (!c->isAllocated()) {
        std::fputs("container is not allocated\n", stderr);
        return false;
    }
    double xFactor = 0.5, yFactor = 0.5;
    int32_t code = (option == 7 || option == 8) ? resizeLinear : resizeCodeOf(option);
    const IntPair full = c->getFullSize();
    IntPair half = full / 2;
    if (half.first == 0) {
        half.first = 1;
        xFactor = 1.0;
        option = 1;
        code = resizeNearest;
    }
    if (half.second == 0) {
        half.second = 1;
        yFactor = 1.0;
        option = 1;
        code = resizeNearest;
    }
    PixelLock lock(c.get());
    if (option == 8)
        return gaussHalvePlane(lock.data(), lock.step(), dst, dstStep, full);
    if (option == 7) {
        filter4x4(lock.data(), lock.step(), dst, dstStep, full.first, half.first, half.second);
        return true;
    }
    return resizeRegion(plane, 1, lock.data(), full, lock.step(), dst, dstStep, half, xFactor, yFactor, code) == 0;
}

bool gaussHalvePlane(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, IntPair size)
{
    int32_t bufferSize = 0;
    if (pyramidGetBufferSize(size.first, 1, 1, &bufferSize) != 0)
        return false;
    uint8_t* buffer = allocVector8u(bufferSize);
    if (buffer == nullptr)
        return false;
    // The Gaussian step writes ceil(W/2) x ceil(H/2) samples, while the halved
    // plane is floor(W/2) x floor(H/2): an odd side goes through a scratch
    // plane of the step's own size, and only the halved part is kept.
    const int32_t outW = (size.first + 1) / 2, outH = (size.second + 1) / 2;
    const int32_t w = size.first / 2, h = size.second / 2;
    int32_t status = -1;
    if (outW == w && outH == h) {
        status = pyramidDownGauss5x5(src, srcStep, dst, dstStep, PrimSize{size.first, size.second}, buffer);
    } else if (uint8_t* scratch = allocVector8u(outW * outH)) {
        status = pyramidDownGauss5x5(src, srcStep, scratch, outW, PrimSize{size.first, size.second}, buffer);
        for (int32_t y = 0; status == 0 && y < h; ++y)
            std::memcpy(dst + static_cast<std::ptrdiff_t>(y) * dstStep, scratch + static_cast<std::ptrdiff_t>(y) * outW,
                        static_cast<size_t>(w));
        freeVector(scratch);
    }
    freeVector(buffer);
    return status == 0;
}
