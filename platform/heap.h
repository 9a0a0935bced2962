// Heap behaviour for a process that allocates and frees many large image
// buffers (strips, merged quads, tiles) in quick succession.
#pragma once

namespace vq::platform {

// Keeps blocks of up to 32 MiB in the heap instead of mapping each one
// afresh, and returns freed memory to the system only past 256 MiB of free
// space at the top. Without this, every strip and quad buffer costs fresh
// page faults, and a large pyramid runs many times slower. Call once at
// start-up, before worker threads exist; later calls change nothing.
void tuneHeapForLargeImages();

} // namespace vq::platform
