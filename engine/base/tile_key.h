// Position of a tile in the pyramid and the corner codes of 2 x 2 groups.
#pragma once

#include <cstdint>

#include "engine/base/IntPair.h"

// Corner of a tile or position within its 2 x 2 group (clockwise codes).
enum : int32_t {
    cornerTopLeft = 1,
    cornerTopRight = 2,
    cornerBottomRight = 4,
    cornerBottomLeft = 8,
};

// Corner from the parities of a column and row; negative odd values count as
// odd (column -1 is a right-hand member).
inline int32_t cornerOfPosition(int32_t column, int32_t row)
{
    const bool oddColumn = (column & 1) != 0;
    const bool oddRow = (row & 1) != 0;
    if (!oddRow)
        return oddColumn ? cornerTopRight : cornerTopLeft;
    return oddColumn ? cornerBottomRight : cornerBottomLeft;
}

struct vq_tileKey {
    int32_t x = 0;     // column
    int32_t y = 0;     // row
    int32_t level = 0; // 0 is the single-tile level

    vq_tileKey() = default;
    vq_tileKey(int32_t column, int32_t row, int32_t lvl) : x(column), y(row), level(lvl) {}

    bool operator==(const vq_tileKey& o) const { return x == o.x && y == o.y && level == o.level; }
    bool operator!=(const vq_tileKey& o) const { return !(*this == o); }
    // Level first, then row, then column.
    bool operator<(const vq_tileKey& o) const
    {
        if (level != o.level)
            return level < o.level;
        if (y != o.y)
            return y < o.y;
        return x < o.x;
    }
};

// Size of a chroma plane for a luma size under a JPEG subsampling code.
inline IntPair chromaPlaneSize(const IntPair& size, int32_t subsampling)
{
    switch (subsampling) {
    case 2:
        return IntPair{(size.first + 1) / 2, size.second};
    case 3:
        return IntPair{size.first, (size.second + 1) / 2};
    case 4:
        return IntPair{(size.first + 1) / 2, (size.second + 1) / 2};
    default:
        return size;
    }
}
