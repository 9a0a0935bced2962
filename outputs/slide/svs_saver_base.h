// The writer of one single-file tiled slide: a pyramid of tiled levels plus
// optional thumbnail, label and macro images in one file. The slide-file
// outputs create one saver per conversion, configure it, declare the levels,
// hand it every finished tile and end it with finish or abort.
//
// Calling order: configuration (compression, full chroma, scan info), then
// tile size, subsampling and colour space, the base level and the smaller
// levels (with at most one thumbnail declaration among them), the description
// before the first tile, tiles in any order from any thread, and exactly one
// of finish or abort from one thread after the last tile call has returned.
#pragma once

#include "engine/base/IntPair.h"
#include "engine/base/vq_refcount.h"

class imageContainer;
class vq_raw_tile;

class vq_svs_saver_base : public vq_refcount {
public:
    // Square tile edge of every tiled level.
    virtual void setTileSize(int edge) = 0;
    // Declares a single image stored in strips instead of a tiled pyramid.
    virtual void beginStripImage(IntPair size, int pixelFormat, int rowsPerStrip) = 0;
    // The full-resolution level; a raw sample tile, when given, carries the
    // JPEG tables the level's tiles share.
    virtual void setBaseLevel(IntPair size, int level, int quality, vq_raw_tile* sample) = 0;
    virtual void addLevel(int level, IntPair size, int quality, vq_raw_tile* sample) = 0;
    // A tile that is already compressed; level -2 or -3 stores the label or
    // macro image.
    virtual bool addRawTile(int x, int y, int level, vq_raw_tile* tile) = 0;
    // Encodes and stores an RGB tile.
    virtual bool addTile(int x, int y, int level, imageContainer* tile) = 0;
    virtual bool addStrip(int firstRow, imageContainer* strip) = 0;
    virtual bool addTileYCbCr(int x, int y, int level, imageContainer* yPlane, imageContainer* cbPlane,
                              imageContainer* crPlane, int subsampling) = 0;
    // A thumbnail made from the tiles of one level.
    virtual bool setThumbnail(int sourceLevel, IntPair sourceLevelSize, IntPair sourceTileCount, int quality) = 0;
    virtual bool addRawThumbnail(vq_raw_tile* jpeg) = 0;
    // Waits for pending work, writes every directory and the header; false
    // when the file is incomplete.
    virtual bool finish() = 0;
    // Drops pending work and stops the encoder threads; the file stays incomplete.
    virtual void abort() = 0;
    virtual void setCompression(int tiffCompression) = 0;
    virtual void setSubsampling(int code) = 0;
    virtual void setColourSpace(int code) = 0;
    virtual void setQuality(int quality) = 0;
    virtual int getCompression() = 0;
    virtual void setDescription(const char* text) = 0;
    virtual void setFullChroma(bool full) = 0;
    virtual bool getFullChroma() = 0;
    virtual void setScanInfo(double magnification, double micronsPerPixel) = 0;
};
