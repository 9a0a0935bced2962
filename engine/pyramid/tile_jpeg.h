// JPEG encoding of a tile-save job into memory, for the encoder threads.
#pragma once

#include "engine/base/stream.h"
#include "engine/pyramid/tile_saver.h"

// Encodes the job's RGB container or YCbCr planes with its quality, colour
// space and subsampling into a new memory stream; false when nothing usable
// was produced.
bool encodeTileJob(const vq_tile_saver& job, vq_ptr<vq_stream>& out);
