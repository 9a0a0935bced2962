// Small helpers shared by the container tests.
#pragma once

#include <gtest/gtest.h>

#include "engine/base/imageContainer.h"

namespace containertest {

// A new container of the given format and size (zeroed).
inline vq_ptr<imageContainer> make(int32_t format, int32_t w, int32_t h, bool packed = false) {
    vq_ptr<imageContainer> c;
    createImageContainer(c.put());
    EXPECT_TRUE(c->create(format, w, h, packed));
    return c;
}

// The buffer and its step, without keeping a lock.
inline uint8_t* pixels(vq_image_container_base* c, int32_t* step) {
    uint8_t* d = nullptr;
    c->lockPixels(&d, step);
    c->unlockPixels();
    return d;
}

} // namespace containertest
