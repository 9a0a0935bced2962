#include "platform/slide_access.h"

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace vq::platform {

namespace {

std::atomic<SlideAccessFactory*> installedFactory{nullptr};

int32_t fromReal(double v, int32_t* out) {
    if (!std::isfinite(v)) return kSlideTypeMismatch;
    const double r = std::nearbyint(v);  // the default rounding mode: halves to even
    if (r < -2147483648.0 || r > 2147483647.0) return kSlideTypeMismatch;
    *out = static_cast<int32_t>(r);
    return kSlideOk;
}

} // namespace

int32_t slidePropertyToInt32(const SlidePropertyValue& value, int32_t* out) {
    if (out == nullptr) return kSlideFailed;
    switch (value.kind) {
        case SlidePropertyValue::Kind::Integer:
            if (value.integer < INT32_MIN || value.integer > INT32_MAX) return kSlideTypeMismatch;
            *out = static_cast<int32_t>(value.integer);
            return kSlideOk;
        case SlidePropertyValue::Kind::Real: return fromReal(value.real, out);
        case SlidePropertyValue::Kind::Text: {
            const char* begin = value.text.c_str();
            char* end = nullptr;
            errno = 0;
            const double v = std::strtod(begin, &end);
            while (end != nullptr && (*end == ' ' || *end == '\t')) ++end;
            if (end == begin || end == nullptr || *end != '\0' || errno == ERANGE) return kSlideTypeMismatch;
            return fromReal(v, out);
        }
        case SlidePropertyValue::Kind::Empty: break;
    }
    return kSlideTypeMismatch;
}

SlideAccessFactory* setSlideAccessFactory(SlideAccessFactory* factory) { return installedFactory.exchange(factory); }

bool hasSlideAccessComponent() { return installedFactory.load() != nullptr; }

int32_t createSlideObject(std::shared_ptr<SlideObject>* out) {
    if (out == nullptr) return kSlideFailed;
    out->reset();
    SlideAccessFactory* factory = installedFactory.load();
    if (factory == nullptr) return kSlideNoComponent;
    const int32_t status = factory->createSlide(out);
    if (status >= 0 && *out == nullptr) return kSlideFailed;
    return status;
}

int32_t createSlideImage(std::unique_ptr<SlideImage>* out) {
    if (out == nullptr) return kSlideFailed;
    out->reset();
    SlideAccessFactory* factory = installedFactory.load();
    if (factory == nullptr) return kSlideNoComponent;
    const int32_t status = factory->createImage(out);
    if (status >= 0 && *out == nullptr) return kSlideFailed;
    return status;
}

} // namespace vq::platform
