#include "tests/readers/mirax/fake_slide_component.h"

#include <algorithm>
#include <cstdlib>

namespace sa = vq::platform;

namespace miraxtest {

Bgr tilePixel(int32_t column, int32_t row, int32_t level, int32_t px, int32_t py) {
    return Bgr{uint8_t(column * 16 + px), uint8_t(row * 16 + py), uint8_t(level * 40 + 7)};
}

namespace {

class FakeImage : public sa::SlideImage {
public:
    explicit FakeImage(FakeSlideComponent& owner) : owner_(owner) {}
    int32_t lockImageData(const uint8_t** data) override {
        *data = nullData ? nullptr : pixels.data();
        ++owner_.unbalancedLocks;
        return nullData ? sa::kSlideFailed : 0;
    }
    int32_t unlockImageData(const uint8_t* data) override {
        if (data == (nullData ? nullptr : pixels.data())) --owner_.unbalancedLocks;
        return 0;
    }
    int32_t getImageWidth(int32_t* v) override { *v = width; return 0; }
    int32_t getImageHeight(int32_t* v) override { *v = height; return 0; }
    int32_t getImageStride(int32_t* v) override { *v = stride; return 0; }
    int32_t getImagePixelFormat(int32_t* v) override { *v = format; return 0; }

    int32_t width = 0, height = 0, stride = 0, format = 0;
    bool nullData = false;
    std::vector<uint8_t> pixels;

private:
    FakeSlideComponent& owner_;
};

class FakeSlide : public sa::SlideObject {
public:
    explicit FakeSlide(FakeSlideComponent& owner) : owner_(owner) {}
    int32_t loadSlide(const std::string& path) override {
        const size_t n = owner_.loadedPaths.size();
        owner_.loadedPaths.push_back(path);
        return n < owner_.loadStatuses.size() ? owner_.loadStatuses[n] : owner_.loadStatus;
    }
    int32_t getSlideProperty(int32_t id, sa::SlidePropertyValue* value) override {
        const auto it = owner_.properties.find(id);
        if (it == owner_.properties.end()) return sa::kSlideFailed;
        *value = it->second;
        return 0;
    }
    int32_t getTileMapImage(int32_t, sa::SlideImage* image) override {
        if (owner_.mapStatus < 0) return owner_.mapStatus;
        auto* fake = dynamic_cast<FakeImage*>(image);
        if (fake == nullptr) return sa::kSlideFailed;
        // Rows padded to a multiple of 4 bytes, as bitmaps keep them.
        fake->width = owner_.mapWidth;
        fake->height = owner_.mapHeight;
        fake->stride = (owner_.mapWidth + 3) / 4 * 4;
        fake->format = 0x21807;  // 8-bit cells
        fake->pixels.assign(size_t(fake->stride) * size_t(owner_.mapHeight) + 1, 0xEE);
        for (int32_t r = 0; r < owner_.mapHeight; ++r)
            for (int32_t c = 0; c < owner_.mapWidth; ++c)
                fake->pixels[size_t(r) * fake->stride + c] = owner_.map[size_t(r) * owner_.mapWidth + c];
        return 0;
    }
    int32_t readTileRegion(int32_t c0, int32_t r0, int32_t c1, int32_t r1, int32_t level, int32_t mode,
                           int32_t quality, int32_t flags, sa::SlideImage* image) override {
        const RegionCall call{c0, r0, c1, r1, level, mode, quality, flags};
        owner_.regionCalls.push_back(call);
        if (owner_.renderStatus < 0) return owner_.renderStatus;
        auto* fake = dynamic_cast<FakeImage*>(image);
        if (fake == nullptr) return sa::kSlideFailed;
        const TileShape s = owner_.shape(call);
        fake->width = s.width;
        fake->height = s.height;
        fake->stride = s.width * 3 + s.extraStride;
        fake->format = s.pixelFormat;
        fake->nullData = s.nullData;
        fake->pixels.assign(size_t(std::max(fake->stride, 0)) * size_t(std::max(s.height, 0)), 0);
        for (int32_t y = 0; y < s.height; ++y)
            for (int32_t x = 0; x < s.width; ++x) {
                const Bgr p = owner_.pixel(c0, r0, level, x, y);
                uint8_t* q = fake->pixels.data() + size_t(y) * fake->stride + size_t(x) * 3;
                q[0] = p.b;
                q[1] = p.g;
                q[2] = p.r;
            }
        return 0;
    }

private:
    FakeSlideComponent& owner_;
};

} // namespace

FakeSlideComponent::FakeSlideComponent() {
    properties[306].kind = sa::SlidePropertyValue::Kind::Integer;
    properties[306].integer = 100000;
    properties[307].kind = sa::SlidePropertyValue::Kind::Text;
    properties[307].text = "250";
}

FakeSlideComponent::~FakeSlideComponent() = default;

void FakeSlideComponent::setMap(int32_t width, int32_t height) {
    mapWidth = width;
    mapHeight = height;
    map.assign(size_t(width) * size_t(height), 0);
}

void FakeSlideComponent::scan(int32_t c0, int32_t r0, int32_t c1, int32_t r1) {
    for (int32_t r = r0; r <= r1; ++r)
        for (int32_t c = c0; c <= c1; ++c) map[size_t(r) * mapWidth + c] = 1;
}

int32_t FakeSlideComponent::createSlide(std::shared_ptr<sa::SlideObject>* out) {
    if (createSlideStatus < 0) return createSlideStatus;
    *out = std::make_shared<FakeSlide>(*this);
    return 0;
}

int32_t FakeSlideComponent::createImage(std::unique_ptr<sa::SlideImage>* out) {
    if (createImageStatus < 0) return createImageStatus;
    *out = std::make_unique<FakeImage>(*this);
    return 0;
}

} // namespace miraxtest
