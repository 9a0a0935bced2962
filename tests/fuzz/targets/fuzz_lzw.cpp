// LZW decoder of the slide readers. The first two bytes give the row width
// and the row count the caller expects; the rest is the coded data.
#include "readers/tiff/lzw_decoder.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1u << 24)) return 0;
    const int rowBytes = 1 + data[0];
    const int rows = 1 + data[1];
    std::vector<uint8_t> coded(data + 2, data + size);
    coded.push_back(0); // the decoder may read one byte past the data
    LzwWorkBuffers buffers;
    if (buffers.prepare(rowBytes * rows)) buffers.decode(coded.data(), uint32_t(size - 2), rowBytes, rows);
    return 0;
}
