// Tile-folder reader: the input is the folder's ImageProperties.xml; file
// info and tile lookups follow (only the first tile exists, so that the
// reader gets past its probe to the levels).
#include <filesystem>

#include "readers/folders/kestrix_folder_reader.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

std::string folderWithFirstTile() {
    const std::string folder = fuzz::scratchFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder + "TileGroup0", ec);
    fuzz::writeSmallJpeg(folder + "TileGroup0/0-0-0.jpg");
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = folderWithFirstTile();
    if (!fuzz::writeFile(folder + "ImageProperties.xml", data, size)) return 0;
    vq_ptr<vq_loader_base> loader;
    if (createKestrixLoader(folder.c_str(), loader.put())) fuzz::exerciseLoader(loader.get());
    return 0;
}
