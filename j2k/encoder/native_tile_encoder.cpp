// Tile encoder over the built-in JPEG 2000 encoder core.
#include "j2k/encoder/native_tile_encoder.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "engine/base/imageContainer.h"
#include "engine/base/stream.h"
#include "j2k/codec_types.h"
#include "j2k/codestream_buffer.h"
#include "j2k/encoder/codestream_writer.h"
#include "jpeg/jpeg_saver.h"
#include "primitives/core/depth.h"
#include "primitives/core/planar.h"
#include "primitives/jpeg/color/color.h"
#include "primitives/jpeg/sampling/sampling.h"

namespace {

// Holds a container's pixels locked for reading while it lives.
class LockedPixels {
public:
    explicit LockedPixels(imageContainer* c) : c_(c) { c_->lockPixelsConst(&data, &step); }
    ~LockedPixels() { c_->unlockPixels(); }
    LockedPixels(const LockedPixels&) = delete;
    LockedPixels& operator=(const LockedPixels&) = delete;
    const uint8_t* data = nullptr;
    int32_t step = 0;

private:
    imageContainer* c_;
};

// Whole 8-bit planes of one size sharing one step.
struct BytePlanes {
    std::vector<uint8_t> bytes;
    int32_t step = 0;
    uint8_t* plane(int k, int32_t height) { return bytes.data() + size_t(k) * size_t(step) * size_t(height); }
    BytePlanes(int count, int32_t width, int32_t height)
        : bytes(size_t(count) * size_t(std::max(width, 1)) * size_t(std::max(height, 1))), step(std::max(width, 1)) {}
};

int32_t* planeRow(ComponentPlanes& planes, uint32_t c, int32_t y) {
    return reinterpret_cast<int32_t*>(reinterpret_cast<uint8_t*>(planes.Data(c)) + intptr_t(y) * planes.Step(c));
}

// The code-stream into the stream in writes of at most 1024 bytes.
bool drain(CodestreamBuffer& buffer, vq_stream* out) {
    uint8_t chunk[1024];
    while (buffer.Size()) {
        const uint64_t n = buffer.ReadOut(chunk, sizeof chunk);
        if (out->write(chunk, static_cast<uint32_t>(n)) != static_cast<int32_t>(n))
            return false;
    }
    return true;
}

bool encodePlanes(ComponentPlanes& planes, uint16_t count, const J2KEncodeParams& params, vq_stream* out) {
    const IntPair size = planes.Size(0);
    const uint8_t ssiz[3] = {7, 7, 7};
    const uint8_t levels =
        encoderLevels(static_cast<uint32_t>(size.first), static_cast<uint32_t>(size.second), params.maxLevels);
    CodestreamBuffer buffer;
    encodeCodestream(buffer, count, ssiz, levels, planes, 8,
                     static_cast<uint32_t>(size.first) * static_cast<uint32_t>(size.second) * 3u, params);
    return drain(buffer, out);
}

J2KEncodeParams lossyParams(int32_t quality) {
    J2KEncodeParams p;
    p.rate = 0.0;
    p.useQualityTable = 1;
    p.guardBits = 1;
    p.quality = quality;
    return p;
}

} // namespace

bool createJ2KTileEncoder(vq_tileEncoder_base** out) {
    if (out == nullptr)
        return false;
    auto* e = new (std::nothrow) vq_J2K_Native_TileEncoder;
    if (e == nullptr)
        return false;
    e->addRef();
    *out = e;
    return true;
}

bool vq_J2K_Native_TileEncoder::encodeTile(imageContainer* tile, vq_stream* out) {
    if (tile == nullptr || out == nullptr || !tile->isAllocated())
        return false;
    try {
        const int32_t w = tile->getWidth(), h = tile->getHeight();
        if (w <= 0 || h <= 0)
            return false;
        const int32_t n = std::min(tile->getChannels(), 3);
        if (n == 1 && tile->getBitsPerSample() == 8) {
            // One channel: one grey component, from the container's samples.
            const IntPair size(w, h);
            ComponentPlanes planes;
            planes.Allocate(&size, 1);
            {
                LockedPixels px(tile);
                convert8uTo32sC1(px.data, px.step, planes.Data(0), planes.Step(0), PrimSize{w, h});
            }
            J2KEncodeParams params(fullChroma_);
            if (!fullChroma_)
                params = lossyParams(quality_);
            return encodePlanes(planes, 1, params, out);
        }
        const int32_t format = tile->getFormat();
        if (n != 3 || (format != vq_fmtRGB24 && format != vq_fmtBGR24)) {
            std::fputs("Unhandled format\n", stderr);
            return false;
        }
        vq_ptr<imageContainer> converted;
        imageContainer* source = tile;
        if (format == vq_fmtBGR24) {
            converted = vq_ptr<imageContainer>::adopt(imageContainer::create());
            if (converted == nullptr || !converted->cloneFrom(tile, false) || !converted->convertTo(vq_fmtRGB24))
                return false;
            source = converted.get();
        }
        // Chroma planes of a half-width layout are ceil(w / 2) wide, the
        // width the code-stream declares for them.
        const int32_t cw = fullChroma_ ? w : (w + 1) / 2;
        const IntPair sizes[3] = {IntPair(w, h), IntPair(cw, h), IntPair(cw, h)};
        ComponentPlanes planes;
        planes.Allocate(sizes, 3);
        BytePlanes bytes(3, w, h);
        uint8_t* const split[3] = {bytes.plane(0, h), bytes.plane(1, h), bytes.plane(2, h)};
        {
            LockedPixels px(source);
            if (fullChroma_)
                copyPixelsToPlanes8uC3(px.data, px.step, split, bytes.step, PrimSize{w, h});
            else
                rgbPixelsToYCbCrPlanes(px.data, px.step, split, bytes.step, PrimSize{w, h});
        }
        if (fullChroma_) {
            for (uint32_t c = 0; c < 3; ++c)
                convert8uTo32sC1(split[c], bytes.step, planes.Data(c), planes.Step(c), PrimSize{w, h});
            return encodePlanes(planes, 3, J2KEncodeParams(true), out);
        }
        // Box-filtered halving; an odd last column is its own single sample.
        BytePlanes half(2, cw, h);
        convert8uTo32sC1(split[0], bytes.step, planes.Data(0), planes.Step(0), PrimSize{w, h});
        for (int k = 0; k < 2; ++k) {
            downsampleH2V1Box(split[k + 1], bytes.step, PrimSize{w, h}, half.plane(k, h), half.step, PrimSize{cw, h});
            convert8uTo32sC1(half.plane(k, h), half.step, planes.Data(uint32_t(k) + 1), planes.Step(uint32_t(k) + 1),
                             PrimSize{cw, h});
        }
        return encodePlanes(planes, 3, lossyParams(quality_), out);
    } catch (...) {
        return false;
    }
}

bool vq_J2K_Native_TileEncoder::encodeTileYCbCr(imageContainer* y, imageContainer* cb, imageContainer* cr,
                                                int subsampling, vq_stream* out) {
    if (out == nullptr || y == nullptr || !y->isAllocated() || cb == nullptr || cr == nullptr ||
        !cb->isAllocated() || !cr->isAllocated())
        return false;
    if (subsampling == 5 || subsampling_ == 5)
        return false;
    try {
        // Full chroma keeps 4:4:4 planes whole: they go through RGB to the
        // lossless path instead of being refused.
        if (fullChroma_ && (subsampling == 1 || subsampling_ == 1)) {
            vq_ptr<imageContainer> rgb = vq_ptr<imageContainer>::adopt(imageContainer::create());
            if (rgb == nullptr || !rgb->fromYCbCrPlanes(y, cb, cr, subsampling))
                return false;
            return encodeTile(rgb.get(), out);
        }
        if (subsampling_ != 2)
            return false;
        vq_ptr<imageContainer> newCb, newCr;
        if (subsampling != 2) {
            newCb = vq_ptr<imageContainer>::adopt(imageContainer::create());
            newCr = vq_ptr<imageContainer>::adopt(imageContainer::create());
            if (newCb == nullptr || newCr == nullptr || !convertChromaPlane(subsampling, 2, cb, newCb.get()) ||
                !convertChromaPlane(subsampling, 2, cr, newCr.get()))
                return false;
            cb = newCb.get();
            cr = newCr.get();
        }
        const int32_t w = y->getWidth(), h = y->getHeight();
        if (w <= 0 || h <= 0)
            return false;
        // Chroma planes as the code-stream declares them, (ceil(w / 2), h);
        // a plane that falls short repeats its last column or row.
        const int32_t cw = (w + 1) / 2;
        const IntPair sizes[3] = {IntPair(w, h), IntPair(cw, h), IntPair(cw, h)};
        ComponentPlanes planes;
        planes.Allocate(sizes, 3);
        {
            LockedPixels px(y);
            convert8uTo32sC1(px.data, px.step, planes.Data(0), planes.Step(0), PrimSize{w, h});
        }
        imageContainer* chroma[2] = {cb, cr};
        for (uint32_t k = 0; k < 2; ++k) {
            const int32_t sw = chroma[k]->getWidth(), sh = chroma[k]->getHeight();
            if (sw <= 0 || sh <= 0)
                return false;
            LockedPixels px(chroma[k]);
            for (int32_t row = 0; row < h; ++row) {
                const uint8_t* src = px.data + intptr_t(std::min(row, sh - 1)) * px.step;
                int32_t* dst = planeRow(planes, k + 1, row);
                for (int32_t x = 0; x < cw; ++x)
                    dst[x] = src[std::min(x, sw - 1)];
            }
        }
        return encodePlanes(planes, 3, lossyParams(quality_), out);
    } catch (...) {
        return false;
    }
}
