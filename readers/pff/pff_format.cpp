#include "readers/pff/pff_format.h"

#include <algorithm>

namespace pff {

std::vector<uint8_t> recordBytes(uint32_t tileCount, uint32_t width, uint32_t height) {
    std::vector<uint8_t> out(kRecordBlockLength + kImageRecordLength, 0);
    std::copy(std::begin(kRecordBlockMark), std::end(kRecordBlockMark), out.begin());
    uint8_t* record = out.data() + kRecordBlockLength;
    put32(record, kImageRecordLength);
    put32(record + 8, tileCount);
    put32(record + 12, width);
    put32(record + 16, height);
    return out;
}

int edgeExtent(int extent, int tileSize) {
    const int rest = extent % tileSize;
    if (rest != 0) return rest;
    return extent < tileSize ? extent : tileSize;
}

int tilesFor(int extent, int tileSize) {
    return static_cast<int>((static_cast<int64_t>(extent) + tileSize - 1) / tileSize);
}

std::vector<Level> deriveLevels(int width, int height, int tileSize) {
    std::vector<Level> levels;
    if (width < 1 || height < 1 || tileSize < 1) return levels;
    int w = width, h = height;
    while (w > tileSize || h > tileSize) {
        levels.push_back({IntPair(w, h), IntPair(tilesFor(w, tileSize), tilesFor(h, tileSize)),
                          IntPair(edgeExtent(w, tileSize), edgeExtent(h, tileSize))});
        w /= 2;
        h /= 2;
    }
    levels.push_back({IntPair(w, h), IntPair(1, 1), IntPair(w, h)});
    return levels;
}

} // namespace pff
