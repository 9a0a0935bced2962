// Bacus slide folder reader: the input is the folder's FinalScan.ini; file
// info, the frame grid, tile lookups and strips follow (the frames
// themselves are absent).
#include "readers/folders/bacus_reader.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = fuzz::scratchFolder();
    if (!fuzz::writeFile(folder + "FinalScan.ini", data, size)) return 0;
    vq_ptr<vq_loader_base> loader;
    if (createBacusLoader(folder.c_str(), false, loader.put())) fuzz::exerciseLoader(loader.get());
    return 0;
}
