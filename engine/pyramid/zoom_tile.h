// Tiles in flight through the pyramid: interleaved RGB (and gray / 48-bit
// kinds) and YCbCr tiles of three planes, with their key and corner code,
// and the splitter that cuts an oversized tile into parts.
#pragma once

#include <cstdint>

#include "engine/base/imageContainer.h"
#include "engine/base/vq_refcount.h"
#include "engine/base/tile_key.h"

// Part codes of extractPart: unions of corner codes.
enum : int32_t {
    partTopHalf = 3,
    partRightHalf = 6,
    partLeftHalf = 9,
    partBottomHalf = 12,
    partWhole = 15,
};

// Plane codes of a YCbCr tile (the pixel formats of its plane containers).
enum : int32_t { planeY = 7, planeCb = 8, planeCr = 9 };

class vq_zoom_tile_base : public vq_refcount {
public:
    virtual IntPair getPlaneSize(int32_t plane) const = 0;
    virtual IntPair getSize() const { return IntPair{0, 0}; }
    virtual IntPair getPlaneFullSize(int32_t plane) const = 0;
    virtual IntPair getFullSize() const { return IntPair{0, 0}; }
    virtual bool keyLess(const vq_zoom_tile_base& other) const { return key_ < other.key_; }
    // The tile's own container (created empty when missing), not a copy.
    virtual bool getContainer(vq_ptr<imageContainer>& out, int32_t plane) = 0;
    virtual void setContainer(imageContainer* container) = 0;
    virtual void cropEdges(bool cropWidth, bool cropHeight, const IntPair& edgeSize) = 0;
    virtual bool padToSize(const IntPair& size, bool keepCrop) = 0;
    virtual int32_t getFormat() const = 0;
    virtual void setSubsampling(int32_t code) = 0;
    virtual int32_t getSubsampling() const = 0;
    virtual void createSameKind(vq_ptr<vq_zoom_tile_base>* out) const = 0;
    virtual void copyTo(vq_ptr<vq_zoom_tile_base>* out) const = 0;
    // A copy of part of the tile (a corner, a half or the whole), split at
    // splitSize across and down; right and bottom parts are keyed one column
    // or row further.
    virtual bool extractPart(vq_ptr<vq_zoom_tile_base>& out, int32_t part, const IntPair& splitSize) const = 0;
    bool extractPart(vq_ptr<vq_zoom_tile_base>& out, int32_t part, int32_t splitSize) const
    {
        return extractPart(out, part, IntPair(splitSize, splitSize));
    }
    // Resamples the container (or plane) at full size into a destination of
    // half that size; the resampling option selects the kernel.
    virtual bool halveSize(uint8_t* dst, int32_t dstStep, int32_t plane, int32_t option) = 0;
    virtual bool copyDataTo(uint8_t* dst, int32_t dstStep, int32_t plane) = 0;
    virtual bool cloneContainer(vq_ptr<imageContainer>& out) = 0;
    virtual int32_t bytesPerPixel() const = 0;
    virtual bool borrowNeighbourEdge(vq_zoom_tile_base* neighbour) = 0;
    virtual void setBorderedContainer(imageContainer* container) = 0;
    virtual bool getBorderedContainer(vq_ptr<imageContainer>& out) = 0;

    const vq_tileKey& getKey() const { return key_; }
    int32_t getX() const { return key_.x; }
    int32_t getY() const { return key_.y; }
    int32_t getLevel() const { return key_.level; }
    int32_t getCorner() const { return corner_; }
    // Stores the key; the corner code follows from its parities.
    void setKey(const vq_tileKey& key);
    void setSaved() { saved_ = true; }
    bool isSaved() const { return saved_; }
    bool isEmpty() const { return empty_; }
    void markEmpty() { empty_ = true; }
    void setEmpty(bool empty) { empty_ = empty; }
    int32_t getBorrowedEdges() const { return borrowedEdges_; }

    // Copy of `container` at `size` filled with `fill` outside its visible
    // rectangle; the container itself when nothing needs padding.
    vq_ptr<imageContainer> padContainer(const IntPair& size, imageContainer* container, uint8_t fill) const;
    void cropContainer(bool cropWidth, bool cropHeight, const IntPair& edgeSize, imageContainer* container) const;

protected:
    bool saved_ = false;
    vq_tileKey key_;
    int32_t corner_ = -1;
    bool empty_ = false;
    int32_t borrowedEdges_ = 0;
};

class vq_zoom_tile : public vq_zoom_tile_base {
public:
    static vq_zoom_tile* create();   // 24-bit RGB
    static vq_zoom_tile* create48(); // 48-bit RGB

    IntPair getPlaneSize(int32_t plane) const override;
    IntPair getSize() const override { return getPlaneSize(-1); }
    IntPair getPlaneFullSize(int32_t plane) const override;
    IntPair getFullSize() const override { return getPlaneFullSize(-1); }
    bool getContainer(vq_ptr<imageContainer>& out, int32_t plane) override;
    void setContainer(imageContainer* container) override;
    void cropEdges(bool cropWidth, bool cropHeight, const IntPair& edgeSize) override;
    bool padToSize(const IntPair& size, bool keepCrop) override;
    int32_t getFormat() const override { return format_; }
    void setSubsampling(int32_t) override {}
    int32_t getSubsampling() const override { return 1; }
    void createSameKind(vq_ptr<vq_zoom_tile_base>* out) const override;
    void copyTo(vq_ptr<vq_zoom_tile_base>* out) const override;
    using vq_zoom_tile_base::extractPart;
    bool extractPart(vq_ptr<vq_zoom_tile_base>& out, int32_t part, const IntPair& splitSize) const override;
    bool halveSize(uint8_t* dst, int32_t dstStep, int32_t plane, int32_t option) override;
    bool copyDataTo(uint8_t* dst, int32_t dstStep, int32_t plane) override;
    bool cloneContainer(vq_ptr<imageContainer>& out) override;
    int32_t bytesPerPixel() const override;
    bool borrowNeighbourEdge(vq_zoom_tile_base* neighbour) override;
    void setBorderedContainer(imageContainer* container) override;
    bool getBorderedContainer(vq_ptr<imageContainer>& out) override;

protected:
    vq_zoom_tile() = default;

    int32_t format_ = 4;
    vq_ptr<imageContainer> pixels_;
    vq_ptr<imageContainer> bordered_;
};

class vq_zoom_tile_grayscale : public vq_zoom_tile {
public:
    static vq_zoom_tile_grayscale* create();

protected:
    vq_zoom_tile_grayscale() { format_ = 6; }
};

class vq_zoom_tile_grayscale16 : public vq_zoom_tile {
public:
    static vq_zoom_tile_grayscale16* create();

protected:
    vq_zoom_tile_grayscale16() { format_ = 11; }
};

class vq_zoom_tile_YCbCr : public vq_zoom_tile_base {
public:
    static vq_zoom_tile_YCbCr* create();

    IntPair getPlaneSize(int32_t plane) const override;
    IntPair getSize() const override { return getPlaneSize(planeY); }
    IntPair getPlaneFullSize(int32_t plane) const override;
    IntPair getFullSize() const override { return getPlaneFullSize(planeY); }
    bool getContainer(vq_ptr<imageContainer>& out, int32_t plane) override;
    void setContainer(imageContainer* container) override;
    void cropEdges(bool cropWidth, bool cropHeight, const IntPair& edgeSize) override;
    bool padToSize(const IntPair& size, bool keepCrop) override;
    int32_t getFormat() const override { return 3; }
    void setSubsampling(int32_t code) override { subsampling_ = code; }
    int32_t getSubsampling() const override { return subsampling_; }
    void createSameKind(vq_ptr<vq_zoom_tile_base>* out) const override;
    void copyTo(vq_ptr<vq_zoom_tile_base>*) const override {}
    using vq_zoom_tile_base::extractPart;
    bool extractPart(vq_ptr<vq_zoom_tile_base>& out, int32_t part, const IntPair& splitSize) const override;
    bool halveSize(uint8_t* dst, int32_t dstStep, int32_t plane, int32_t option) override;
    bool copyDataTo(uint8_t* dst, int32_t dstStep, int32_t plane) override;
    bool cloneContainer(vq_ptr<imageContainer>& out) override;
    int32_t bytesPerPixel() const override { return 1; }
    bool borrowNeighbourEdge(vq_zoom_tile_base*) override { return false; }
    void setBorderedContainer(imageContainer*) override {}
    bool getBorderedContainer(vq_ptr<imageContainer>&) override { return false; }

    // The plane's container, or null for a code other than 7, 8, 9.
    imageContainer* planeContainer(int32_t plane) const;

private:
    vq_zoom_tile_YCbCr() = default;
    vq_ptr<imageContainer>* planeSlot(int32_t plane);

    vq_ptr<imageContainer> y_, cb_, cr_;
    int32_t subsampling_ = 1;
};

// Out-parameter factories: store the new tile (one reference) in *out.
void createZoomTile(vq_ptr<vq_zoom_tile_base>* out);
void createZoomTile48(vq_ptr<vq_zoom_tile_base>* out);
void createZoomTileGrayscale(vq_ptr<vq_zoom_tile_base>* out);
void createZoomTileGrayscale16(vq_ptr<vq_zoom_tile_base>* out);
void createZoomTileYCbCr(vq_ptr<vq_zoom_tile_base>* out);

// Cuts a tile larger than the split size into halves or quarters, handed out
// top-left, top-right, bottom-left, bottom-right.
class vq_tileSplitter {
public:
    vq_tileSplitter(vq_zoom_tile_base* tile, int32_t splitSize) : vq_tileSplitter(tile, IntPair(splitSize, splitSize)) {}
    // Split sizes across and down.
    vq_tileSplitter(vq_zoom_tile_base* tile, const IntPair& splitSize);
    bool split();
    vq_ptr<vq_zoom_tile_base> next();
    int32_t partCount() const { return count_; }

private:
    bool wide_ = false;
    bool tall_ = false;
    int32_t cursor_ = 0;
    int32_t count_ = 0;
    IntPair splitSize_;
    vq_ptr<vq_zoom_tile_base> tile_;
    vq_ptr<vq_zoom_tile_base> parts_[4];
};
