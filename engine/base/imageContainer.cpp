#include "engine/base/imageContainer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "primitives/core/border.h"
#include "primitives/core/copy.h"
#include "primitives/core/memory.h"
#include "primitives/core/mirror.h"
#include "primitives/core/set.h"

namespace {

const char kLockedLine[] = "Cannot modify container when it is locked\n";

// The five groups that select a primitive for a format.
enum class Group { None, C1_8u, C3_8u, C4_8u, C1_16u, C3_16u };

Group groupOf(int32_t format) {
    switch (format) {
    case 0: case 6: case 7: case 8: case 9: return Group::C1_8u;
    case 1: case 3: case 4: return Group::C3_8u;
    case 2: case 5: return Group::C4_8u;
    case 11: return Group::C1_16u;
    case 12: return Group::C3_16u;
    default: return Group::None;
    }
}

uint16_t* as16(uint8_t* p) { return reinterpret_cast<uint16_t*>(p); }
const uint16_t* as16(const uint8_t* p) { return reinterpret_cast<const uint16_t*>(p); }

void report(const char* line) { std::fputs(line, stderr); }

} // namespace

imageContainer* imageContainer::create() {
    imageContainer* c = new imageContainer();
    c->addRef();
    return c;
}

imageContainer* createImageContainer(imageContainer** out) {
    if (!out) return nullptr;
    *out = imageContainer::create();
    return *out;
}

vq_image_container_base* createImageContainer(vq_image_container_base** out) {
    if (!out) return nullptr;
    *out = imageContainer::create();
    return *out;
}

imageContainer::~imageContainer() {
    if (data) freeImage(data);
}

int32_t imageContainer::channelsOf(int32_t f) {
    switch (groupOf(f)) {
    case Group::C1_8u: case Group::C1_16u: return 1;
    case Group::C3_8u: case Group::C3_16u: return 3;
    case Group::C4_8u: return 4;
    default: return 0;
    }
}

int32_t imageContainer::bitsPerSampleOf(int32_t f) {
    switch (groupOf(f)) {
    case Group::None: return 0;
    case Group::C1_16u: case Group::C3_16u: return 16;
    default: return 8;
    }
}

int32_t imageContainer::bytesPerPixel(int32_t f) { return channelsOf(f) * bitsPerSampleOf(f) / 8; }

int32_t imageContainer::getChannels() { return channelsOf(format); }

int32_t imageContainer::getBitsPerSample() { return bitsPerSampleOf(format); }

bool imageContainer::modifiable() {
    if (lockCount == 0) return true;
    report(kLockedLine);
    return false;
}

bool imageContainer::create(int32_t newFormat, int32_t newWidth, int32_t newHeight, bool packed) {
    return createBuffer(newFormat, newWidth, newHeight, packed, true);
}

bool imageContainer::createUncleared(int32_t newFormat, int32_t newWidth, int32_t newHeight, bool packed) {
    return createBuffer(newFormat, newWidth, newHeight, packed, false);
}

bool imageContainer::createBuffer(int32_t newFormat, int32_t newWidth, int32_t newHeight, bool packed,
                                  bool zeroed) {
    if (!modifiable()) return false;
    if (data) {
        uncrop();
        if (newFormat == format && newWidth == width && newHeight == height && packed == packedRows) {
            if (zeroed) clear();
            else poisonUncleared();
            return true;
        }
        freeImage(data);
        data = nullptr;
    }
    fullWidth = width = newWidth;
    fullHeight = height = newHeight;
    format = newFormat;
    packedRows = packed;
    cropped = false;
    bool ok = allocate(packed);
    if (zeroed) clear();
    else poisonUncleared();
    return ok;
}

void imageContainer::poisonUncleared() {
#ifdef VQ_POISON_UNCLEARED
    if (data) std::memset(data, kUnclearedPoison, static_cast<size_t>(step) * static_cast<size_t>(fullHeight));
#endif
}

bool imageContainer::allocate(bool packed) {
    if (!modifiable()) return false;
    if (fullWidth <= 0 || fullHeight <= 0) return false;
    if (data) return true;
    int32_t allocStep = 0;
    switch (format) {
    case 0: case 6: case 7: case 8: case 9: data = allocImage8uC1(fullWidth, fullHeight, &allocStep); break;
    case 1: case 3: case 4: data = allocImage8uC3(fullWidth, fullHeight, &allocStep); break;
    case 2: case 5: data = allocImage8uC4(fullWidth, fullHeight, &allocStep); break;
    case 11: data = reinterpret_cast<uint8_t*>(allocImage16uC1(fullWidth, fullHeight, &allocStep)); break;
    case 12: data = reinterpret_cast<uint8_t*>(allocImage16uC3(fullWidth, fullHeight, &allocStep)); break;
    default: return false;
    }
    if (!data) return false;
    // Packed rows are as long as the full width, so the buffer keeps its shape
    // after a crop.
    step = packed ? fullWidth * bytesPerPixel(format) : allocStep;
    packedRows = packed;
    return true;
}

void imageContainer::freeBuffer() {
    if (!data) return;
    if (!modifiable()) return;
    freeImage(data);
    data = nullptr;
}

void imageContainer::fill(uint8_t value) {
    if (!data || width == 0 || height == 0) return;
    fillRegion(0, 0, width, height, value);
}

void imageContainer::fillRegion(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t value) {
    if (w <= 0 || h <= 0) return;
    uint8_t* origin = data + static_cast<intptr_t>(y) * step + static_cast<intptr_t>(x) * bytesPerPixel(format);
    const PrimSize size{w, h};
    switch (groupOf(format)) {
    case Group::C1_8u: setRoi8uC1(value, origin, step, size); break;
    case Group::C3_8u: {
        const uint8_t colour[3] = {value, value, value};
        setRoi8uC3(colour, origin, step, size);
        break;
    }
    case Group::C4_8u: setRoi8uC1(value, origin, step, PrimSize{w * 4, h}); break;
    case Group::C1_16u: setRoi16uC1(value, as16(origin), step, size); break;
    case Group::C3_16u: setRoi16uC1(value, as16(origin), step, PrimSize{w * 3, h}); break;
    case Group::None: break;
    }
}

void imageContainer::fillOutside(const PrimRect* covered, int32_t count, uint8_t value) {
    if (!data || width == 0 || height == 0) return;
    // The rectangles clipped to the visible region, empty ones dropped.
    std::vector<PrimRect> rects;
    for (int32_t i = 0; covered != nullptr && i < count; ++i) {
        const int64_t x0 = std::max<int64_t>(covered[i].x, 0), y0 = std::max<int64_t>(covered[i].y, 0);
        const int64_t x1 = std::min<int64_t>(int64_t(covered[i].x) + covered[i].width, width);
        const int64_t y1 = std::min<int64_t>(int64_t(covered[i].y) + covered[i].height, height);
        if (x0 < x1 && y0 < y1)
            rects.push_back(PrimRect{int32_t(x0), int32_t(y0), int32_t(x1 - x0), int32_t(y1 - y0)});
    }
    // Bands of rows between the rectangles' top and bottom edges: inside a
    // band every rectangle covers all rows or none, so the gaps between the
    // covered column spans are filled band by band.
    std::vector<int32_t> edges{0, height};
    for (const PrimRect& r : rects) {
        edges.push_back(r.y);
        edges.push_back(r.y + r.height);
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::vector<std::pair<int32_t, int32_t>> spans;
    for (size_t b = 0; b + 1 < edges.size(); ++b) {
        const int32_t top = edges[b], bottom = edges[b + 1];
        spans.clear();
        for (const PrimRect& r : rects)
            if (r.y <= top && r.y + r.height >= bottom) spans.emplace_back(r.x, r.x + r.width);
        std::sort(spans.begin(), spans.end());
        int32_t x = 0;
        for (const auto& s : spans) {
            if (s.first > x) fillRegion(x, top, s.first - x, bottom - top, value);
            x = std::max(x, s.second);
        }
        if (x < width) fillRegion(x, top, width - x, bottom - top, value);
    }
}

int32_t imageContainer::lockPixels(uint8_t** dataOut, int32_t* stepOut) {
    if (dataOut) *dataOut = data;
    if (stepOut) *stepOut = step;
    return ++lockCount;
}

int32_t imageContainer::lockPixelsConst(const uint8_t** dataOut, int32_t* stepOut) {
    if (dataOut) *dataOut = data;
    if (stepOut) *stepOut = step;
    return ++lockCount;
}

int32_t imageContainer::unlockPixels() {
    int32_t count = lockCount.load();
    while (count > 0 && !lockCount.compare_exchange_weak(count, count - 1)) {
    }
    return count > 0 ? count - 1 : 0;
}

bool imageContainer::copyPixels(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, int32_t w,
                                int32_t h) {
    if (w == 0 || h == 0) return true;
    const PrimSize size{w, h};
    int32_t status;
    switch (groupOf(format)) {
    case Group::C1_8u: status = copyRoi8uC1(src, srcStep, dst, dstStep, size); break;
    case Group::C3_8u: status = copyRoi8uC3(src, srcStep, dst, dstStep, size); break;
    case Group::C4_8u: status = copyRoi8uC4(src, srcStep, dst, dstStep, size); break;
    case Group::C1_16u: status = copyRoi16uC1(as16(src), srcStep, as16(dst), dstStep, size); break;
    case Group::C3_16u: status = copyRoi16uC3(as16(src), srcStep, as16(dst), dstStep, size); break;
    default: return false;
    }
    return status == primNoErr;
}

bool imageContainer::cloneFrom(vq_image_container_base* source, bool packed) {
    if (!modifiable()) return false;
    if (!source) {
        report("Trying to clone empty container\n");
        freeBuffer();
        return true;
    }
    if (source == this) return true;
    // A cropped source fills only its visible part; the rest of the full size
    // is read by halving and encoding, so it must be zero.
    IntPair full = source->getFullSize();
    if (!createBuffer(source->getFormat(), full.first, full.second, packed, false)) return false;
    const PrimRect copied{0, 0, source->getWidth(), source->getHeight()};
    fillOutside(&copied, 1, 0);
    crop(source->getWidth(), source->getHeight());
    return source->copyDataTo(data, 0, height, width, step);
}

bool imageContainer::cloneWithBorder(vq_image_container_base* source, int32_t border) {
    if (!modifiable()) return false;
    if (!source) {
        report("Trying to clone empty container\n");
        freeBuffer();
        return true;
    }
    if (border < 0) return false;
    if (source == this) {
        // The new buffer replaces the source's: work from a copy.
        imageContainer copy;
        return copy.cloneFrom(this, false) && cloneWithBorder(&copy, border);
    }
    const int32_t srcFormat = source->getFormat();
    IntPair full = source->getFullSize();
    if (!createBuffer(srcFormat, full.first + 2 * border, full.second + 2 * border, false, false))
        return false;
    const int32_t sw = source->getWidth(), sh = source->getHeight();
    // The bordered copy fills the visible part; beyond it (a cropped source)
    // the buffer is zero.
    const PrimRect bordered{0, 0, sw + 2 * border, sh + 2 * border};
    fillOutside(&bordered, 1, 0);
    crop(sw + 2 * border, sh + 2 * border);

    const uint8_t* src = nullptr;
    int32_t srcStep = 0;
    source->lockPixelsConst(&src, &srcStep);
    const PrimSize srcSize{sw, sh}, dstSize{width, height};
    bool known = true;
    int32_t status = primErrNullPtr;
    switch (srcFormat) {
    case 1: case 4:
        status = copyReplicateBorder8uC3(src, srcStep, srcSize, data, step, dstSize, border, border);
        break;
    case 6: case 7: case 8: case 9:
        status = copyReplicateBorder8uC1(src, srcStep, srcSize, data, step, dstSize, border, border);
        break;
    case 11:
        status = copyReplicateBorder16uC1(as16(src), srcStep, srcSize, as16(data), step, dstSize, border, border);
        break;
    case 12:
        status = copyReplicateBorder16uC3(as16(src), srcStep, srcSize, as16(data), step, dstSize, border, border);
        break;
    default: known = false; break;
    }
    source->unlockPixels();
    if (!known) {
        freeBuffer();
        return false;
    }
    return status == primNoErr;
}

bool imageContainer::flipVertical() {
    if (!data) return false;
    if (!modifiable()) return false;
    const PrimSize size{width, height};
    const int32_t horizontalAxis = 0;  // rows change places
    int32_t status;
    switch (groupOf(format)) {
    case Group::C1_8u: status = mirrorInPlace8uC1(data, step, size, horizontalAxis); break;
    case Group::C3_8u: status = mirrorInPlace8uC3(data, step, size, horizontalAxis); break;
    case Group::C4_8u: status = mirrorInPlace8uC4(data, step, size, horizontalAxis); break;
    case Group::C1_16u: status = mirrorInPlace16uC1(as16(data), step, size, horizontalAxis); break;
    case Group::C3_16u: status = mirrorInPlace16uC3(as16(data), step, size, horizontalAxis); break;
    default: return false;
    }
    return status == primNoErr || width == 0 || height == 0;
}

bool imageContainer::crop(int32_t newWidth, int32_t newHeight) {
    if (newWidth > fullWidth) {
        report("Cropping to larger than original width\n");
        return false;
    }
    if (newWidth < 0 || newHeight < 0) return false;
    cropped = true;
    width = newWidth;
    if (newHeight > fullHeight) {
        report("Cropping to larger than original height\n");
        return false;
    }
    height = newHeight;
    return true;
}

IntPair imageContainer::getFullSize() {
    return cropped ? IntPair(fullWidth, fullHeight) : IntPair(width, height);
}

void imageContainer::uncrop() {
    if (!cropped) return;
    width = fullWidth;
    height = fullHeight;
}

bool imageContainer::createCroppedContainer(IntPair origin, int32_t w, int32_t h, vq_image_container_base** out) {
    if (!data) {
        report("Cannot create cropped container from unallocated container\n");
        return false;
    }
    const int32_t x = origin.first, y = origin.second;
    if (x < 0 || y < 0 || x >= width || y >= height || w <= 0 || h <= 0 || int64_t(x) + w > width ||
        int64_t(y) + h > height) {
        report("Invalid parameters to createCroppedContainer\n");
        return false;
    }
    vq_ptr<imageContainer> part = vq_ptr<imageContainer>::adopt(imageContainer::create());
    if (part == nullptr) {
        report("Unable to create image container\n");
        return false;
    }
    if (!part->createUncleared(format, w, h, false)) return false;
    const uint8_t* src = data + static_cast<intptr_t>(y) * step + static_cast<intptr_t>(x) * bytesPerPixel(format);
    uint8_t* dst = nullptr;
    int32_t dstStep = 0;
    part->lockPixels(&dst, &dstStep);
    bool ok = copyPixels(src, step, dst, dstStep, w, h);
    part->unlockPixels();
    if (!ok) return false;
    if (out) {
        vq_image_container_base* raw = part.get();
        raw->addRef();
        *out = raw;
    }
    return true;
}

bool imageContainer::copyDataTo(void* destination, int32_t firstRow, int32_t rows, int32_t w,
                                int32_t destinationStep) {
    // Negative rows or widths would address memory before the buffers.
    if (!data || !destination || w > width || firstRow < 0 || rows < 0 || w < 0 ||
        int64_t(firstRow) + rows > height) {
        report("Bad copyDataTo\n");
        return false;
    }
    if (groupOf(format) == Group::None) return false;
    copyPixels(data + static_cast<intptr_t>(firstRow) * step, step, static_cast<uint8_t*>(destination),
               destinationStep, w, rows);
    return true;
}

bool imageContainer::copyRegionFrom(vq_image_container_base* source, IntPair sourceOrigin,
                                    IntPair destinationOrigin, int32_t w, int32_t h) {
    if (!source || !data || source->getFormat() != format) return false;
    const int64_t sx = sourceOrigin.first, sy = sourceOrigin.second;
    const int64_t dx = destinationOrigin.first, dy = destinationOrigin.second;
    // Negative origins or sizes would reach outside both buffers.
    if (sx < 0 || sy < 0 || dx < 0 || dy < 0 || w < 0 || h < 0) return false;
    if (sx + w > source->getWidth() || sy + h > source->getHeight() || dx + w > width || dy + h > height)
        return false;
    const uint8_t* src = nullptr;
    int32_t srcStep = 0;
    uint8_t* dst = nullptr;
    int32_t dstStep = 0;
    lockPixels(&dst, &dstStep);
    source->lockPixelsConst(&src, &srcStep);
    const int32_t bpp = bytesPerPixel(format);
    bool ok = src != nullptr && copyPixels(src + sy * srcStep + sx * bpp, srcStep, dst + dy * dstStep + dx * bpp,
                                           dstStep, w, h);
    source->unlockPixels();
    unlockPixels();
    return ok;
}
