// A source tile on its way from a loader thread to the consumer.
#pragma once

#include <list>
#include <string>

#include "engine/base/raw_tile.h"
#include "engine/pyramid/zoom_tile.h"

class vq_loadedTile {
public:
    vq_loadedTile() = default;
    explicit vq_loadedTile(const IntPair& pos) : position(pos) {}

    void setError(const std::string& text) { error = text; }
    const char* getError() const { return error.c_str(); }
    int32_t getX() const { return position.first; }
    int32_t getY() const { return position.second; }
    // A new empty tile: YCbCr planes or 24-bit RGB.
    bool createTile(bool ycbcr);
    bool prepare(const IntPair& pos, bool ycbcr)
    {
        position = pos;
        return createTile(ycbcr);
    }

    vq_ptr<vq_zoom_tile_base> tile; // empty in an error record
    vq_ptr<vq_raw_tile> rawTile;
    IntPair position{0, 0};
    std::string error;
};

// Records for the consumer: loaders push at the front, the consumer takes
// from the back. Guarded by loadedTileLock.
extern std::list<vq_loadedTile> loadedTileList;

// Takes the oldest record as the consumer does (the caller holds
// loadedTileLock and the list is not empty): sets backPressure while more
// than 40 records remain and wakes the loaders waiting for room.
vq_loadedTile takeLoadedTile();
