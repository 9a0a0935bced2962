// Tile-save jobs for the encoder threads and the holders that share a tile's
// containers (or raw tile) with the job while it waits in a queue.
#pragma once

#include <cstdint>
#include <string>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/vq_refcount.h"

class vq_tile_saver_container_base : public vq_refcount {
public:
    virtual bool getRawTile(vq_ptr<vq_raw_tile>* out) = 0;
    virtual int32_t getFormat() = 0;
    virtual void setSubsampling(int32_t code) = 0;
    virtual int32_t getSubsampling() = 0;
    virtual bool getContainer(vq_ptr<imageContainer>* out, int32_t plane) = 0;
};

// One RGB or gray container, or one raw compressed tile.
class vq_tile_saver_container : public vq_tile_saver_container_base {
public:
    static vq_tile_saver_container* create();
    ~vq_tile_saver_container() override;

    bool getRawTile(vq_ptr<vq_raw_tile>* out) override;
    int32_t getFormat() override;
    void setSubsampling(int32_t) override {}
    int32_t getSubsampling() override { return 1; }
    bool getContainer(vq_ptr<imageContainer>* out, int32_t plane) override;

    vq_ptr<imageContainer> container;
    vq_ptr<vq_raw_tile> rawTile;

private:
    vq_tile_saver_container() = default;
};

// The Y, Cb and Cr planes of a tile and their subsampling code.
class vq_tile_saver_containerYCbCr : public vq_tile_saver_container_base {
public:
    static vq_tile_saver_containerYCbCr* create();
    ~vq_tile_saver_containerYCbCr() override;

    bool getRawTile(vq_ptr<vq_raw_tile>*) override { return false; }
    int32_t getFormat() override { return vq_fmtYCbCr; }
    void setSubsampling(int32_t code) override { subsampling = code; }
    int32_t getSubsampling() override { return subsampling; }
    bool getContainer(vq_ptr<imageContainer>* out, int32_t plane) override;

    vq_ptr<imageContainer> y, cb, cr;
    int32_t subsampling = 5;

private:
    vq_tile_saver_containerYCbCr() = default;
};

// One tile to be written to one file. A job without a holder is the stop
// marker of an encoder thread.
class vq_tile_saver {
public:
    vq_tile_saver() = default;
    vq_tile_saver(const vq_tile_saver&) = default;
    vq_tile_saver& operator=(const vq_tile_saver&) = default;
    virtual ~vq_tile_saver() = default;

    bool setRawTile(vq_raw_tile* raw);
    // A null container puts a new empty container into the holder.
    bool setContainer(imageContainer* container);
    bool setYCbCrPlanes(imageContainer* y, imageContainer* cb, imageContainer* cr);
    int32_t getFormat() const;
    bool getContainer(vq_ptr<imageContainer>* out, int32_t plane) const;
    bool isStopJob() const { return holder == nullptr; }

    std::string outputPath;
    int32_t quality = 50;
    int32_t colourSpace = 3;
    int32_t subsampling = 5;
    vq_ptr<vq_tile_saver_container_base> holder;
};
