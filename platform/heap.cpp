#include "platform/heap.h"

#include <malloc.h>
#include <mutex>

namespace vq::platform {

void tuneHeapForLargeImages() {
    static std::once_flag once;
    std::call_once(once, [] {
        // 32 MiB is the largest mapping threshold the C library accepts.
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    });
}

} // namespace vq::platform
