// JPEG files, containers and pixel comparisons for the folder reader tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/base/imageContainer.h"

class vq_FileInfo;

namespace foldertest {

using PixelFn = std::function<uint8_t(int x, int y, int channel)>;

vq_ptr<imageContainer> makeImage(int32_t format, int32_t width, int32_t height, const PixelFn& fn);
// Writes the container as a JPEG file at the quality, 4:2:0 unless grey.
bool writeJpeg(const std::string& path, imageContainer* image, int32_t quality = 90);
// A JPEG file of the size filled with the pattern.
bool writePatternJpeg(const std::string& path, int32_t width, int32_t height, int32_t seed);
// Decodes a JPEG file with the tile decoder, as RGB (or grey when the file is).
vq_ptr<imageContainer> decodeJpegFile(const std::string& path);

uint8_t pixel(imageContainer* image, int32_t x, int32_t y, int32_t channel);
// Mean absolute difference of two containers of the same size and format.
double meanDifference(imageContainer* a, imageContainer* b);

// What the file info's report writes, through a file at the scratch path.
std::string reportText(vq_FileInfo* info, const std::string& scratchPath);

} // namespace foldertest
