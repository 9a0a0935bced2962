// Holds a container's pixels locked for the duration of a scope.
#pragma once

#include <cstdint>

#include "engine/base/imageContainer.h"

class PixelLock {
public:
    explicit PixelLock(imageContainer* c) : c_(c) { c_->lockPixels(&data_, &step_); }
    ~PixelLock() { c_->unlockPixels(); }
    PixelLock(const PixelLock&) = delete;
    PixelLock& operator=(const PixelLock&) = delete;
    uint8_t* data() const { return data_; }
    int32_t step() const { return step_; }

private:
    imageContainer* c_;
    uint8_t* data_ = nullptr;
    int32_t step_ = 0;
};
