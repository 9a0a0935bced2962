// Slide reader (SVS, pyramid TIFF, SCN): directories, raw and decoded tiles
// of every level, the JPEG tables, thumbnail, label and macro.
#include "readers/tiff/svs_reader.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vq_ptr<vq_stream> stream = fuzz::streamOver(data, size);
    vq_ptr<vq_tileloader_base> tiles;
    if (stream && createSVSRawTileLoader(stream.get(), tiles.put())) fuzz::exerciseTileLoader(tiles.get());
    return 0;
}
