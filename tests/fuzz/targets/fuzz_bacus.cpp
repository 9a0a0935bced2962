// Bacus slide folder reader: the input is the folder's FinalScan.ini; file
// info, the frame grid, tile lookups and strips follow (frames Da0 to Da3
// exist, so that the reader gets past its probe to the grid).
#include "readers/folders/bacus_reader.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

std::string folderWithFrames() {
    const std::string folder = fuzz::scratchFolder();
    for (const char* name : {"Da0", "Da1", "Da2", "Da3"})
        fuzz::writeSmallJpeg(folder + name + ".jpg");
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = folderWithFrames();
    if (!fuzz::writeFile(folder + "FinalScan.ini", data, size)) return 0;
    vq_ptr<vq_loader_base> loader;
    if (createBacusLoader(folder.c_str(), false, loader.put())) fuzz::exerciseLoader(loader.get());
    return 0;
}
