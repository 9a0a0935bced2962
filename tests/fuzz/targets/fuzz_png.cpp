// PNG reader: header, file info, strips in every format and the whole image.
#include "readers/plain/png_reader.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vq_ptr<vq_stream> stream = fuzz::streamOver(data, size);
    vq_ptr<vq_loader_base> loader;
    if (stream && createPNGLoader(stream.get(), loader.put())) fuzz::exerciseLoader(loader.get());
    return 0;
}
