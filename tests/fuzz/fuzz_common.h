// Shared pieces of the fuzz targets: a memory stream over the input, a
// scratch folder for readers that take a folder, and passes that drive a
// loader, a strip loader and a tile loader through everything they offer.
//
// The passes cap what they ask for by what a sane caller of a small input
// would ask (a whole image of at most kMaxWholePixels, a few strips, a few
// tiles per level); the readers must keep every allocation and all work
// within the input's size on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/base/loader_base.h"
#include "engine/base/stream.h"

namespace fuzz {

constexpr int64_t kMaxWholePixels = int64_t(4096) * 4096;
constexpr int kMaxStrips = 64;
constexpr int kMaxTilesPerLevel = 16;

// A read-only stream over the input, which stays alive while the stream does.
vq_ptr<vq_stream> streamOver(const uint8_t* data, size_t size);

// A fresh, empty scratch folder of this process (with a trailing slash).
std::string scratchFolder();
// Writes the bytes to the named file in the folder.
bool writeFile(const std::string& path, const uint8_t* data, size_t size);
// Writes a small JPEG of 16 x 16 grey-blue pixels to the path, so that a
// folder reader finds a readable tile or frame and goes on to its geometry.
bool writeSmallJpeg(const std::string& path);

// File info, strips in every format offered, the whole image when small
// enough, and the YCbCr planes where offered.
void exerciseLoader(vq_loader_base* loader);
void exerciseStrips(vq_stripLoader_base* strips, int format);
// Every image and level: tile counts, then raw and decoded tiles, label,
// macro and thumbnail.
void exerciseTileLoader(vq_tileloader_base* tiles);

} // namespace fuzz
