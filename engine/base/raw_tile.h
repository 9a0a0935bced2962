// A tile still in its source compression (JPEG or JPEG 2000 bytes), copied
// into an output without being decoded.
#pragma once

#include <cstdint>

#include "engine/base/vq_refcount.h"
#include "engine/base/IntPair.h"

class vq_raw_tile;

class vq_raw_tile_base : public vq_refcount {
public:
    virtual IntPair getSize() const = 0;
    virtual int32_t getCompression() const = 0;
    virtual void setCompression(int32_t compression) = 0;
    // Replaces the buffer with `length` undefined bytes; on failure the tile
    // keeps no data and its old length and size.
    virtual bool allocate(int32_t length, const IntPair& size) = 0;
    virtual bool hasData() const = 0;
    virtual uint8_t* getData() = 0;
    virtual int32_t getDataLength() const = 0;
    // A new, independent copy with the same bytes, size and compression.
    virtual bool clone(vq_ptr<vq_raw_tile>& out) const = 0;
    // Records how many of the allocated bytes a producer actually wrote.
    virtual void setDataLength(int32_t length) = 0;
};

class vq_raw_tile : public vq_raw_tile_base {
public:
    static vq_raw_tile* create();

    ~vq_raw_tile() override;
    IntPair getSize() const override { return size_; }
    int32_t getCompression() const override { return compression_; }
    void setCompression(int32_t compression) override { compression_ = compression; }
    bool allocate(int32_t length, const IntPair& size) override;
    bool hasData() const override { return data_ != nullptr && dataLength_ != 0 && compression_ != 0; }
    uint8_t* getData() override { return data_; }
    const uint8_t* getData() const { return data_; }
    int32_t getDataLength() const override { return dataLength_; }
    bool clone(vq_ptr<vq_raw_tile>& out) const override;
    void setDataLength(int32_t length) override { dataLength_ = length; }

private:
    vq_raw_tile() = default;

    IntPair size_{0, 0};
    uint8_t* data_ = nullptr;
    int32_t dataLength_ = 0;
    int32_t compression_ = 0;
};

// Stores a new raw tile with its first reference in *out; false when none
// could be made.
bool createRawTile(vq_raw_tile** out);
