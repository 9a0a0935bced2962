#include "engine/tile_jpeg.h"

#include <cstdio>

bool encodeTileJob(const vq_tile_saver&, vq_ptr<vq_stream>&)
{
    std::fputs("JPEG tile encoding is not available\n", stderr);
    return false;
}
