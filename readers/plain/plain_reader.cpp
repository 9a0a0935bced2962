#include "readers/plain/plain_reader.h"

#include <algorithm>
#include <cstdio>

#include "engine/base/imageContainer.h"
#include "engine/base/reader_messages.h"

void vq_plainFileInfo::invalidate() {
    valid = false;
    alpha = false;
    pixelFormat = -1;
    pixelFormats.clear();
    levelSizes.clear();
    imageSize = IntPair();
    resolution = IntPair();
}

void vq_plainFileInfo::accept(int width, int height, int format, std::set<int> formats,
                              bool hasAlpha) {
    imageSize = IntPair(width, height);
    levelSizes.assign(1, imageSize);
    pixelFormat = format;
    pixelFormats = std::move(formats);
    alpha = hasAlpha;
    valid = true;
}

void vq_plainFileInfo::printSizeAndFormat(FILE* out, const char* formatLine) const {
    std::fprintf(out, "Width %d Height %d\n", imageSize.first, imageSize.second);
    std::fputs(formatLine, out);
}

bool vq_plainLoader::loadImage(imageContainer* dst, int format) {
    if (!dst || stream == nullptr)
        return false;
    vq_ptr<vq_stripLoader_base> strips;
    if (!getStripLoader(strips.put()))
        return false;
    const int height = strips->getImageSize().second;
    int rowsDone = 0;
    return strips->prepareStrips(height, format) && strips->readNextStrip(&rowsDone, dst) &&
           rowsDone == height;
}

bool vq_plainStripLoader::startPass(int height, int fmt) {
    if (height < 1 || imageSize.first < 1 || imageSize.second < 1)
        return false;
    format = fmt;
    stripHeight = std::min(height, imageSize.second);
    delivered = 0;
    return true;
}

int vq_plainStripLoader::nextStripRows() const {
    if (stripHeight < 1)
        return 0;
    return std::max(0, std::min(stripHeight, imageSize.second - delivered));
}

bool vq_plainStripLoader::createStrip(imageContainer* dst, int fmt, int width, int n) {
    if (!dst || !dst->create(fmt, width, n, false)) {
        reportReaderMessage("Failed to create destination container\n");
        return false;
    }
    return true;
}
