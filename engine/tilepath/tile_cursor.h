// Hands out the tile positions of one source level in an order that completes
// 2 x 2 groups early: 8 x 8 blocks walked recursively inside (top-left,
// top-right, bottom-right, bottom-left quarter), the blocks in growing square
// shells. Loader threads draw from one shared cursor under its lock.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/base/IntPair.h"
#include "platform/threads.h"

class vq_tileCursor {
public:
    // A new cursor hands out nothing until it is reset.
    vq_tileCursor();
    vq_tileCursor(const vq_tileCursor&) = delete;
    vq_tileCursor& operator=(const vq_tileCursor&) = delete;

    // Starts a walk over a grid of size.first x size.second tiles (each at
    // least 1). Not locked: call before any thread draws.
    void reset(const IntPair& size, int32_t level);
    // Copies the current position to *out and moves on. True means the walk
    // is over and *out carries nothing.
    bool nextLocked(IntPair* out);
    // Hands out one whole 2 x 2 group; returns its corner mask (0 when the
    // walk is over). Missing members stay (-1, -1).
    int32_t nextWithCorner(IntPair* topLeft, IntPair* topRight, IntPair* bottomLeft, IntPair* bottomRight);
    // Corner code of the current position; 0 when the walk is over.
    int32_t corner() const;
    // Moves to the next position inside the grid (callers hold the lock).
    void advance();
    // Ends the walk: every drawing thread stops at its next call.
    void finish() { done = true; }
    bool isDone() const { return done; }
    int32_t getLevel() const { return level; }

private:
    void nextBlock();

    vq::platform::CriticalSection lock{2000};
    IntPair steps[63];
    IntPair visitedMax{0, 0};
    IntPair gridSize{0, 0};
    int32_t column = 0;
    int32_t row = 0;
    int32_t stepIndex = 0;
    int32_t level = 0;
    std::atomic<bool> done{true};
    int32_t phase = 0;
};

// The cursor the loader threads of a run share.
extern vq_tileCursor globalTileCursor;
