// Loader threads of the tile path: they draw positions from globalTileCursor,
// read and decode source tiles (or 2 x 2 groups of raw tiles merged in the
// compressed domain) and queue them as vq_loadedTile records for the
// consumer on the caller's thread.
#pragma once

#include <cstdint>

#include "engine/tilepath/loaded_tile.h"

// How long an extra raw loader may be held back by a long queue before it
// ends: longer than four of its 100 ms pauses in all. Waits are summed, not
// counted: a wait that the consumer ends at once by taking a record shows a
// consumer that keeps up, so brief waits alone never end the loader, while a
// queue that stays full ends it after its fifth whole pause as before.
class vq_extraLoaderHold {
public:
    static constexpr int32_t kPauseMs = 100;
    static constexpr int64_t kLimitMs = 4 * kPauseMs;

    // Adds one wait of `waitedMs`; true once the time held back in all
    // exceeds the limit.
    bool heldTooLong(int64_t waitedMs)
    {
        held_ += waitedMs > 0 ? waitedMs : 0;
        return held_ > kLimitMs;
    }

private:
    int64_t held_ = 0;
};

class vq_tileloader_base;

// Arguments of one started loader thread. The thread takes its own
// reference on the loader.
struct vq_loaderThreadArgs {
    vq_tileloader_base* loader = nullptr;
    int32_t level = 0;
    int32_t image = 0;
    // Started after at least two others: ends when the consumer cannot keep up.
    bool extraThread = false;
};

// Start one loader thread each unless loaderThreadLimit threads were started
// in this run. Raw loaders read compressed tiles and decode them; in quad
// mode each draws whole 2 x 2 groups.
bool startRawLoaderThread(vq_tileloader_base* loader, int32_t level, int32_t image, bool quadMode);
bool startTileLoaderThread(vq_tileloader_base* loader, int32_t level, int32_t image);

// Gives the record a new tile and loads the raw tile at its position into
// it; true when a raw tile was loaded.
bool loadRawTileForQuad(vq_tileloader_base* loader, int32_t level, int32_t image, vq_loadedTile& record);

void rawQuadLoaderThreadProc(void* arg);
void rawTileLoaderThreadProc(void* arg);
void tileLoaderThreadProc(void* arg);
