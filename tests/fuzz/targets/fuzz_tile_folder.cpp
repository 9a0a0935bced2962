// Tile-folder reader: the input is the folder's ImageProperties.xml; file
// info and tile lookups follow (the tiles themselves are absent).
#include "readers/folders/kestrix_folder_reader.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = fuzz::scratchFolder();
    if (!fuzz::writeFile(folder + "ImageProperties.xml", data, size)) return 0;
    vq_ptr<vq_loader_base> loader;
    if (createKestrixLoader(folder.c_str(), loader.put())) fuzz::exerciseLoader(loader.get());
    return 0;
}
