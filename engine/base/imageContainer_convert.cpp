// Format conversions of the image container and the RGB picture of a YCbCr
// tile's planes.
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/base/imageContainer.h"
#include "primitives/core/channels.h"
#include "primitives/core/depth.h"
#include "primitives/core/memory.h"
#include "primitives/core/planar.h"
#include "primitives/jpeg/color/color.h"
#include "primitives/jpeg/sampling/sampling.h"

namespace {

const char kLockedLine[] = "Cannot modify container when it is locked\n";
const int32_t kReverseOrder[3] = {2, 1, 0};
// Method hint of the 16-to-8-bit scaling: the fast form.
const int32_t kScaleFast = 1;

bool isRgbFamily(int32_t f) { return f == 1 || f == 2 || f == 4 || f == 5; }

// Holds a lock on a container for the length of a scope.
class PixelLock {
public:
    explicit PixelLock(vq_image_container_base* c) : c_(c) {
        if (c_) c_->lockPixels(&data, &step);
    }
    ~PixelLock() {
        if (c_) c_->unlockPixels();
    }
    PixelLock(const PixelLock&) = delete;
    PixelLock& operator=(const PixelLock&) = delete;
    uint8_t* data = nullptr;
    int32_t step = 0;

private:
    vq_image_container_base* c_;
};

} // namespace

bool imageContainer::isConvertible(int32_t from, int32_t to) {
    if (from == to) return true;
    if (!modifiable()) return false;
    if (from == -1 || to == -1) return false;
    if (isRgbFamily(from)) return isRgbFamily(to);
    if (from == 6 || from == 12) return to == 1 || to == 4;
    if (from == 11) return to == 1 || to == 4 || to == 6;
    return false;
}

bool imageContainer::convertPixels(int32_t srcFormat, const uint8_t* src, int32_t srcStep) {
    const PrimSize size{width, height};
    if (width == 0 || height == 0) return true;
    if ((srcFormat == 1 && format == 4) || (srcFormat == 4 && format == 1))
        return swapChannels8uC3(src, srcStep, data, step, size, kReverseOrder) == primNoErr;
    if (srcFormat == 12 && (format == 4 || format == 1)) {
        if (scale16uTo8uC3(reinterpret_cast<const uint16_t*>(src), srcStep, data, step, size, kScaleFast) !=
            primNoErr)
            return false;
        return format == 4 || swapChannelsInPlace8uC3(data, step, size, kReverseOrder) == primNoErr;
    }
    if (srcFormat == 11 && format == 6)
        return scale16uTo8uC1(reinterpret_cast<const uint16_t*>(src), srcStep, data, step, size, kScaleFast) ==
               primNoErr;
    if (srcFormat == 11 && (format == 1 || format == 4)) {
        imageContainer grey;
        if (!grey.create(6, width, height, false)) return false;
        if (scale16uTo8uC1(reinterpret_cast<const uint16_t*>(src), srcStep, grey.data, grey.step, size,
                           kScaleFast) != primNoErr)
            return false;
        const uint8_t* planes[3] = {grey.data, grey.data, grey.data};
        return copyPlanesToPixels8uC3(planes, grey.step, data, step, size) == primNoErr;
    }
    if (srcFormat == 6 && (format == 1 || format == 4)) {
        const uint8_t* planes[3] = {src, src, src};
        return copyPlanesToPixels8uC3(planes, srcStep, data, step, size) == primNoErr;
    }
    return false;
}

bool imageContainer::convertFrom(int32_t target, vq_image_container_base* source) {
    if (target == -1 || !source) return false;
    if (source == this) return convertTo(target);
    if (!create(target, source->getWidth(), source->getHeight(), false)) return false;
    PixelLock lock(source);
    if (!lock.data) return false;
    return convertPixels(source->getFormat(), lock.data, lock.step);
}

bool imageContainer::convertTo(int32_t newFormat) {
    if (newFormat == format) return true;
    if (!data || format == -1 || newFormat == -1) return false;
    if (!modifiable()) return false;

    if ((format == 1 && newFormat == 4) || (format == 4 && newFormat == 1)) {
        bool ok = width == 0 || height == 0 ||
                  swapChannelsInPlace8uC3(data, step, PrimSize{width, height}, kReverseOrder) == primNoErr;
        if (ok) format = newFormat;
        return ok;
    }

    const bool direct = (format == 12 && (newFormat == 4 || newFormat == 1)) || (format == 11 && newFormat == 6) ||
                        (format == 6 && (newFormat == 4 || newFormat == 1));
    const bool viaGrey = format == 11 && (newFormat == 4 || newFormat == 1);
    if (!direct && !viaGrey) return false;

    // 16-bit grey to colour goes through a temporary grey image.
    imageContainer grey;
    if (viaGrey && !grey.convertFrom(6, this)) return false;

    // The new buffer is allocated before the old one is freed.
    uint8_t* oldData = data;
    const int32_t oldStep = step, oldFormat = format;
    data = nullptr;
    format = newFormat;
    if (!allocate(packedRows)) {
        data = oldData;
        step = oldStep;
        format = oldFormat;
        return false;
    }
    bool ok = viaGrey ? convertPixels(6, grey.data, grey.step) : convertPixels(oldFormat, oldData, oldStep);
    freeImage(oldData);
    return ok;
}

bool imageContainer::fromYCbCrPlanes(vq_image_container_base* y, vq_image_container_base* cb,
                                     vq_image_container_base* cr, int32_t mode) {
    if (!y || !cb || !cr || mode < 1 || mode > 4) return false;
    if (y == this || cb == this || cr == this) return false;
    const IntPair full = y->getFullSize();
    const int32_t W = full.first, H = full.second;
    const int32_t w = y->getWidth(), h = y->getHeight();
    if (!create(4, W, H, false)) return false;
    const IntPair chroma = cb->getFullSize();
    const int32_t cw = chroma.first, ch = chroma.second;
    if (cr->getFullSize() != chroma || cw <= 0 || ch <= 0) return false;

    vq_image_container_base* planeCb = cb;
    vq_image_container_base* planeCr = cr;
    imageContainer upCb, upCr;
    if (mode == 1) {
        // Used as they are: they must cover the luma plane.
        if (cw < W || ch < H) return false;
    } else {
        // The temporaries follow Y's row layout so that the three planes share a step.
        int32_t yStep = 0;
        {
            PixelLock ylock(y);
            yStep = ylock.step;
        }
        const bool packed = yStep == W;
        if (!upCb.create(8, W, H, packed) || !upCr.create(9, W, H, packed)) return false;
        upCb.crop(w, h);
        upCr.crop(w, h);
        PixelLock lockCb(cb), lockCr(cr);
        if (!lockCb.data || !lockCr.data) return false;
        // Each up-sampled row is 2 cw wide; only the W samples of the plane are kept.
        std::vector<uint8_t> row(2 * static_cast<size_t>(cw));
        auto upsampleRow = [&](const uint8_t* s, uint8_t* d) {
            if (cw == 1) {
                row[0] = row[1] = s[0];
            } else {
                upsampleRowH2V1Triangle(s, cw, row.data());
            }
            std::memcpy(d, row.data(), static_cast<size_t>(2 * cw < W ? 2 * cw : W));
        };
        auto upsampleRow2 = [&](const uint8_t* nearRow, const uint8_t* farRow, uint8_t* d) {
            upsampleRowH2V2Triangle(nearRow, farRow, cw, row.data());
            std::memcpy(d, row.data(), static_cast<size_t>(2 * cw < W ? 2 * cw : W));
        };
        for (int plane = 0; plane < 2; ++plane) {
            const PixelLock& srcLock = plane == 0 ? lockCb : lockCr;
            imageContainer& dstPlane = plane == 0 ? upCb : upCr;
            auto srcRow = [&](int32_t i) { return srcLock.data + static_cast<intptr_t>(i) * srcLock.step; };
            auto dstRow = [&](int32_t i) { return dstPlane.data + static_cast<intptr_t>(i) * dstPlane.step; };
            const int32_t rows = ch < H ? ch : H;
            if (mode == 2) {
                for (int32_t i = 0; i < rows; ++i) upsampleRow(srcRow(i), dstRow(i));
            } else if (mode == 3) {
                // Vertical 2:1 chroma: the vertical counterpart of the
                // triangle filter of the other modes (3/4 of the nearer chroma
                // row, 1/4 of the other, the edge rows repeated), so chroma
                // stays centred between its two luma rows as the JPEG
                // library's decoder places it.
                const int32_t cols = cw < W ? cw : W;
                for (int32_t i = 0; i < ch && 2 * i < H; ++i) {
                    const uint8_t* nearRow = srcRow(i);
                    const uint8_t* above = srcRow(i > 0 ? i - 1 : 0);
                    const uint8_t* below = srcRow(i + 1 < ch ? i + 1 : i);
                    uint8_t* upper = dstRow(2 * i);
                    for (int32_t x = 0; x < cols; ++x)
                        upper[x] = static_cast<uint8_t>((3 * nearRow[x] + above[x] + 1) >> 2);
                    if (2 * i + 1 < H) {
                        uint8_t* lower = dstRow(2 * i + 1);
                        for (int32_t x = 0; x < cols; ++x)
                            lower[x] = static_cast<uint8_t>((3 * nearRow[x] + below[x] + 2) >> 2);
                    }
                }
            } else {
                // The rows above the first and below the last chroma row
                // repeat that row, as the JPEG library's decoder does.
                for (int32_t i = 0; i < ch && 2 * i < H; ++i) {
                    const int32_t above = i > 0 ? i - 1 : 0;
                    const int32_t below = i + 1 < ch ? i + 1 : i;
                    upsampleRow2(srcRow(i), srcRow(above), dstRow(2 * i));
                    if (2 * i + 1 < H) upsampleRow2(srcRow(i), srcRow(below), dstRow(2 * i + 1));
                }
            }
        }
        planeCb = &upCb;
        planeCr = &upCr;
    }

    PixelLock lockCb(planeCb), lockCr(planeCr), lockY(y), lockThis(this);
    if (!lockY.data || !lockCb.data || !lockCr.data) return false;
    if (lockY.step != lockCb.step || lockY.step != lockCr.step) return false;
    const uint8_t* planes[3] = {lockY.data, lockCb.data, lockCr.data};
    if (ycbcrPlanesToRgbPixels(planes, lockY.step, lockThis.data, lockThis.step, PrimSize{W, H}) != primNoErr)
        return false;
    crop(w, h);
    return true;
}
