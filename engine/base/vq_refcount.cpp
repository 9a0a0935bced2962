#include "engine/base/vq_refcount.h"

#include "platform/threads.h"

vq_refcount::~vq_refcount() = default;

int32_t vq_refcount::addRef() { return vq::platform::interlockedIncrement(&count_); }

int32_t vq_refcount::release() {
    int32_t n = vq::platform::interlockedDecrement(&count_);
    if (n != 0) return n;
    onFinalRelease();
    delete this;
    return 0;
}

void vq_refcount::onFinalRelease() {}
