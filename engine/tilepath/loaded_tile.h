// A source tile on its way from a loader thread to the consumer.
#pragma once

#include <atomic>
#include <cstddef>
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

// The records waiting for the consumer, changed only under loadedTileLock.
// Producers that wait for room test the length many times per record, so the
// queue keeps it in an atomic that they read without taking the lock.
class vq_loadedTileQueue {
public:
    void push_front(const vq_loadedTile& record)
    {
        records.push_front(record);
        length.store(records.size());
    }
    void pop_back()
    {
        records.pop_back();
        length.store(records.size());
    }
    void clear()
    {
        records.clear();
        length.store(0);
    }
    vq_loadedTile& back() { return records.back(); }
    bool empty() const { return records.empty(); }
    size_t size() const { return records.size(); }
    // The length as last changed; needs no lock.
    size_t waiting() const { return length.load(); }

private:
    std::list<vq_loadedTile> records;
    std::atomic<size_t> length{0};
};

// Records for the consumer: loaders push at the front, the consumer takes
// from the back. Guarded by loadedTileLock.
extern vq_loadedTileQueue loadedTileList;

// Queue lengths at which a held-back producer may go on: a tile loader waits
// while more than 24 records are queued, a raw loader after queuing until 63
// (a quad loader 64) remain, before drawing while more than 128 remain, the
// strip reader while more than 240 remain.
constexpr size_t kTileLoaderRoom = 24;
constexpr size_t kRawLoaderRoom = 63;
constexpr size_t kQuadLoaderRoom = 64;
constexpr size_t kRawDrawRoom = 128;
constexpr size_t kStripReaderRoom = 240;

// More records than this waiting for the consumer set backPressure.
constexpr size_t kConsumerPressure = 40;

// True when a queue that has just shrunk to `length` records (and left
// backPressure set or clear as `pressing` says) lets one of the waits above
// end: only then are the waiting producers woken. The raw and quad loaders
// also wait while backPressure is set, and the consumer sets it for every
// length above 40, so their limits of 63 and 64 never let them go on at the
// consumer's take; clearing backPressure wakes them.
constexpr bool isQueueRoomLimit(size_t length, bool pressing)
{
    if (length == kRawLoaderRoom || length == kQuadLoaderRoom)
        return !pressing;
    return length == kTileLoaderRoom || length == kRawDrawRoom || length == kStripReaderRoom;
}

// Takes the oldest record as the consumer does (the caller holds
// loadedTileLock and the list is not empty): sets backPressure while more
// than 40 records remain and wakes the producers waiting for room when the
// queue shrinks to one of their limits (or back-pressure clears).
vq_loadedTile takeLoadedTile();
