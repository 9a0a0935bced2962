#include "engine/tilepath/tile_cursor.h"

#include <cstdio>

#include "engine/base/tile_key.h"

namespace vqp = vq::platform;

vq_tileCursor globalTileCursor;

vq_tileCursor::vq_tileCursor()
{
    // U walks a 2 x 2 group, P a 4 x 4 quarter from four U, the table an
    // 8 x 8 block from four P; each ends at its bottom-left position.
    static const IntPair u[3] = {{1, 0}, {0, 1}, {-1, 0}};
    IntPair p[15];
    const IntPair quarterLinks[3] = {{2, -1}, {0, 1}, {-2, -1}};
    const IntPair blockLinks[3] = {{4, -3}, {0, 1}, {-4, -3}};
    for (int32_t i = 0, n = 0; i < 4; ++i) {
        for (const IntPair& s : u)
            p[n++] = s;
        if (i < 3)
            p[n++] = quarterLinks[i];
    }
    for (int32_t i = 0, n = 0; i < 4; ++i) {
        for (const IntPair& s : p)
            steps[n++] = s;
        if (i < 3)
            steps[n++] = blockLinks[i];
    }
}

void vq_tileCursor::reset(const IntPair& size, int32_t lvl)
{
    level = lvl;
    gridSize = size;
    column = 0;
    row = 0;
    stepIndex = 0;
    phase = 0;
    visitedMax = IntPair(0, 0);
    done = false;
}

int32_t vq_tileCursor::corner() const
{
    if (done)
        return 0;
    return cornerOfPosition(column, row);
}

bool vq_tileCursor::nextLocked(IntPair* out)
{
    vqp::ScopedLock guard(lock);
    const bool over = done;
    if (!over) {
        *out = IntPair(column, row);
        advance();
    }
    return over;
}

int32_t vq_tileCursor::nextWithCorner(IntPair* topLeft, IntPair* topRight, IntPair* bottomLeft,
                                      IntPair* bottomRight)
{
    *topLeft = *topRight = *bottomLeft = *bottomRight = IntPair(-1, -1);
    vqp::ScopedLock guard(lock);
    if (done)
        return 0;
    *topLeft = IntPair(column, row);
    int32_t mask = cornerTopLeft;
    for (;;) {
        advance();
        const int32_t code = corner();
        if (code == 0 || code == cornerTopLeft)
            break;
        IntPair* slot = code == cornerTopRight ? topRight : code == cornerBottomRight ? bottomRight : bottomLeft;
        *slot = IntPair(column, row);
        mask |= code;
    }
    return mask;
}

void vq_tileCursor::advance()
{
    // Positions outside the grid are skipped: loop instead of recursing.
    while (!done) {
        if (column > visitedMax.first)
            visitedMax.first = column < gridSize.first - 1 ? column : gridSize.first - 1;
        if (row > visitedMax.second)
            visitedMax.second = row < gridSize.second - 1 ? row : gridSize.second - 1;
        if (stepIndex == 63) {
            nextBlock();
            return;
        }
        column += steps[stepIndex].first;
        row += steps[stepIndex].second;
        ++stepIndex;
        if (column < 0)
            std::fputs("x < 0\n", stderr);
        if (column < gridSize.first && row < gridSize.second)
            return;
    }
}

// The current position is the finished block's bottom-left one: go to the
// top-left position of the next block of the shell walk.
void vq_tileCursor::nextBlock()
{
    stepIndex = 0;
    const bool lastBlockColumn = visitedMax.first == gridSize.first - 1;
    switch (phase) {
    case 0:
        if (lastBlockColumn) {
            // One block wide: go on down the only block column.
            ++row;
            if (row >= gridSize.second)
                done = true;
            phase = 2;
        } else {
            column = visitedMax.first + 1;
            row = 0;
            phase = 1;
        }
        break;
    case 1:
        ++row;
        if (row >= gridSize.second) {
            column = visitedMax.first + 1;
            row = 0;
            if (column >= gridSize.first)
                done = true;
        } else if (row > visitedMax.second) {
            phase = 2;
        }
        break;
    default:
        if (column != 0) {
            column -= 8;
            row -= 7;
        } else if (lastBlockColumn) {
            ++row;
            // First column of the rightmost block column.
            const int32_t start = visitedMax.first - 7;
            column = start <= 0 ? 0 : (start + 7) / 8 * 8;
            if (row >= gridSize.second)
                done = true;
        } else {
            column = visitedMax.first + 1;
            row = 0;
            phase = 1;
        }
        break;
    }
}
