// 2 x 2 groups of tiles of one pyramid level that merge into one tile of the
// next smaller level. Quads are plain values; a copy shares its members.
#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/base/raw_tile.h"
#include "engine/pyramid/zoom_tile.h"

class vq_zoomoutput_base;

class vq_tileQuadBase {
public:
    vq_tileQuadBase() = default;
    // Sets minX and minY to the even column and row at or below the position.
    explicit vq_tileQuadBase(const IntPair& position);
    vq_tileQuadBase(const vq_tileQuadBase&) = default;
    vq_tileQuadBase& operator=(const vq_tileQuadBase&) = default;
    virtual ~vq_tileQuadBase() = default;

    virtual bool addTile(vq_zoom_tile_base* tile);
    virtual int32_t tileCount() const;
    virtual bool isComplete() const { return present_ == expected_; }
    virtual bool acceptsTile(const vq_zoom_tile_base* tile) const;
    virtual void clear();

    bool checkTile(const vq_zoom_tile_base* tile) const;
    bool setCorner(const IntPair& position, int32_t code);
    bool markTile(const vq_zoom_tile_base* tile);
    void setExpected(int32_t mask) { expected_ = mask; }
    int32_t getExpected() const { return expected_; }
    int32_t getPresent() const { return present_; }
    IntPair getOrigin() const { return IntPair{minX_, minY_}; }
    IntPair getMergedSize(int32_t plane) const;
    IntPair getMergedFullSize(int32_t plane) const;
    bool getTileAt(const IntPair& position, vq_ptr<vq_zoom_tile_base>& out) const;
    void print(std::FILE* stream) const;

    vq_zoom_tile_base* topLeft() const { return topLeft_.get(); }
    vq_zoom_tile_base* topRight() const { return topRight_.get(); }
    vq_zoom_tile_base* bottomLeft() const { return bottomLeft_.get(); }
    vq_zoom_tile_base* bottomRight() const { return bottomRight_.get(); }

    // Merge and halving (the members in the order TL, TR, BL, BR).
    bool padMembers(const IntPair& size, bool keepCrop);
    bool saveTiles(vq_zoomoutput_base* output);
    void generateMergedOutput(vq_ptr<vq_zoom_tile_base>& out, bool clearQuad);
    void generateMergedOutputYCbCr(vq_ptr<vq_zoom_tile_base>& out, bool clearQuad);
    void generateHalf(vq_ptr<vq_zoom_tile_base>& out, int32_t option, bool clearQuad);
    void generateYCbCrOutput(vq_ptr<vq_zoom_tile_base>& out, int32_t option);
    void extendOddEdge(imageContainer* container, const IntPair& size) const;
    void extendOddEdges(vq_zoom_tile_base* tile, int32_t plane) const;
    void extendOddEdgesYCbCr(vq_zoom_tile_base* tile) const;
    // Repeats the last visible column and row of a merged image into the
    // margin beyond them, so that wide kernels see the image edge, not black.
    void replicateMergeMargin(vq_zoom_tile_base* tile, int32_t plane) const;

protected:
    // Fixes the quad's range from a member at `position` in `corner` (the
    // first member decides); false for an unknown corner.
    bool placeCorner(const IntPair& position, int32_t corner);
    vq_ptr<vq_zoom_tile_base>* memberSlot(int32_t corner);
    vq_tileKey resultKey() const;
    // Copies the members' visible pixels of a plane into the merged container
    // (created uncleared) and zeroes the rest of it: the places of absent
    // members and whatever the members' visible sizes leave uncovered.
    bool copyMembers(imageContainer* merged, int32_t plane);

    vq_ptr<vq_zoom_tile_base> topLeft_, topRight_, bottomLeft_, bottomRight_;
    int32_t present_ = 0;
    int32_t expected_ = 15;
    int32_t minX_ = -1, maxX_ = -1, minY_ = -1, maxY_ = -1;
};

class vq_tileQuad : public vq_tileQuadBase {
public:
    vq_tileQuad() = default;
    vq_tileQuad(const vq_tileQuad&) = default;
    vq_tileQuad& operator=(const vq_tileQuad&) = default;
    ~vq_tileQuad() override { clearRaw(); }

    using vq_tileQuadBase::addTile;
    bool addTile(vq_zoom_tile_base* tile, vq_raw_tile* raw);
    int32_t tileCount() const override;
    void clear() override;
    bool acceptsRawTile(const IntPair& position, const vq_raw_tile* raw) const;
    bool addRawTile(const IntPair& position, vq_raw_tile* raw);
    vq_raw_tile* rawAt(int32_t corner) const;

private:
    void clearRaw();
    vq_ptr<vq_raw_tile>* rawSlot(int32_t corner);

    vq_ptr<vq_raw_tile> rawTopLeft_, rawTopRight_, rawBottomLeft_, rawBottomRight_;
};

// A quad of the rotating level: each member is assembled from two bands of
// rows, the band a turned tile keeps in its own cell and the band that moves
// one row up from the tile below. Part codes, own band / band from below:
// top-left 1 / 2, top-right 4 / 8, bottom-right 16 / 32, bottom-left 64 / 128.
class vq_tileQuadPartial : public vq_tileQuadBase {
public:
    vq_tileQuadPartial() = default;

    bool acceptsPart(const vq_zoom_tile_base* tile, bool movesUp) const;
    // Copies rows [sourceRow, sourceRow + rows) of the tile into rows from
    // targetRow on of the member its band belongs to.
    bool addPart(vq_zoom_tile_base* tile, int32_t sourceRow, int32_t targetRow, int32_t rows);
    static bool copyPart(vq_zoom_tile_base* source, vq_zoom_tile_base* target, int32_t sourceRow, int32_t targetRow,
                         int32_t rows);
    bool setPartCorner(const IntPair& position, int32_t code);
    bool padParts(const IntPair& size);
};

// Part code of a turned tile's own band (movesUp false) or of its band that
// moves into the cell above.
int32_t partCode(const IntPair& position, bool movesUp);
// The cell a band lands in: bands of the bottom members coming from an even
// row land in the row above.
IntPair partPosition(const IntPair& position, int32_t code);
