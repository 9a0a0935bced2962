#include "engine/base/vq_global.h"

#include <cstdio>
#include <mutex>

#include "platform/threads.h"

namespace {
// Never cleared while the process runs.
vq_ptr<vq_global_base> g_global;
std::mutex g_globalCreate;
} // namespace

vq_global* vq_global::create() {
    vq_global* g = new vq_global();
    g->addRef();
    return g;
}

void vq_global::setEncoderThreadCount(int32_t value) { encoderThreadCount = value > 12 ? 12 : value; }

void vq_global::setJ2KDecoder(int32_t value) {
    if (value == 0 || value == 2) {
        j2kDecoder = value;
    } else if (value == 1) {
        std::fputs("JASPER JPEG2000 decoder not available\n", stderr);
    } else {
        std::fputs("Unsupported J2K decoder\n", stderr);
    }
}

int32_t vq_global::getProcessorCount() { return vq::platform::processorCount(); }

void getGlobal(vq_global_base** out) {
    if (!out) return;
    std::lock_guard<std::mutex> guard(g_globalCreate);
    if (g_global == nullptr) {
        vq_global* g = vq_global::create();
        g_global = g;  // the process-wide pointer takes its own reference
        *out = g;      // the factory's reference goes to the caller
    } else {
        g_global->addRef();
        *out = g_global.get();
    }
}
