// The PFF container: one big-endian file holding a whole JPEG tile pyramid.
// A 904-byte header, record block and image record pairs, a block of JPEG
// header chunks (everything of a JPEG stream before its scan, one per
// quality and tile size), a table of 64-bit tile end positions and the
// tiles, each the scan part of a JPEG stream followed by its chunk number.
// The saver and the reader share the field positions and the level layout.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/IntPair.h"

namespace pff {

constexpr int kHeaderLength = 904;
constexpr int kRecordBlockLength = 136;
constexpr int kImageRecordLength = 20;
constexpr uint32_t kVersion = 106;
// Header fields, by byte offset.
constexpr int kVersionOffset = 8;
constexpr int kTileSizeOffset = 108;
constexpr int kChunkBlockLengthOffset = 116;
constexpr int kPairCountOffset = 120;
constexpr int kTileCountOffset = 124;

inline void put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
inline uint32_t get32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
inline void put64(uint8_t* p, uint64_t v) {
    put32(p, static_cast<uint32_t>(v >> 32));
    put32(p + 4, static_cast<uint32_t>(v));
}
inline uint64_t get64(const uint8_t* p) { return (uint64_t{get32(p)} << 32) | get32(p + 4); }

// The first bytes of the record block: 136 with the two bytes of each
// 16-bit half swapped, as every file of the format has it.
constexpr uint8_t kRecordBlockMark[4] = {0x00, 0x88, 0x00, 0x00};

// The record block followed by the image record of one image.
std::vector<uint8_t> recordBytes(uint32_t tileCount, uint32_t width, uint32_t height);

// One level of the pyramid: its size, tiles across and down, and the size
// of its last column and row of tiles.
struct Level {
    IntPair size{0, 0};
    IntPair grid{0, 0};
    IntPair edge{0, 0};
};

// Width of the last tile column of a level `extent` wide (the same rule
// for heights): the remainder, or a full tile, or the extent itself when it
// is below one tile.
int edgeExtent(int extent, int tileSize);
// Tiles needed for `extent` pixels.
int tilesFor(int extent, int tileSize);

// The levels of a W x H image at tile size T, full resolution first: each
// next level halves the one before (rounded down), the last is the first
// that fits into one tile. Empty for a size or tile size below 1.
std::vector<Level> deriveLevels(int width, int height, int tileSize);

} // namespace pff
