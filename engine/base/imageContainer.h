// The pixel buffer of the engine: one image in one pixel format, with a full
// (allocated) size, a possibly smaller visible size (a crop never moves the
// data) and a lock count that pins the buffer while its address is handed out.
// Every pixel loop runs in the primitive layer.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/base/IntPair.h"
#include "engine/base/vq_refcount.h"
#include "primitives/core/prim_types.h"

// Pixel-format codes of containers and tiles.
enum PixelFormat : int32_t {
    vq_fmtNone = -1,
    vq_fmtGray8C1 = 0,  // 8-bit, 1 channel
    vq_fmtBGR24 = 1,    // 8-bit, 3 channels, in the reverse order of RGB24
    vq_fmt8uC4 = 2,     // 8-bit, 4 channels
    vq_fmtYCbCr = 3,    // three interleaved 8-bit channels (a tile of this code holds three planes)
    vq_fmtRGB24 = 4,
    vq_fmtRGBA32 = 5,
    vq_fmtGray8 = 6,
    vq_fmtPlaneY = 7,
    vq_fmtPlaneCb = 8,
    vq_fmtPlaneCr = 9,
    vq_fmtRawTile = 10,  // raw tile marker of the tile-saver holders; never allocated
    vq_fmtGray16 = 11,
    vq_fmtRGB48 = 12,
};

class vq_image_container_base : public vq_refcount {
public:
    // Allocates a zeroed buffer for the format and size (an existing buffer of
    // the same shape is re-used). packedRows: rows follow each other without
    // gaps instead of the allocator's 32-byte multiple step.
    virtual bool create(int32_t format, int32_t width, int32_t height, bool packedRows) = 0;
    // Becomes a copy of the source (format, full size, crop, visible pixels).
    // A null source frees this buffer and reports "Trying to clone empty
    // container".
    virtual bool cloneFrom(vq_image_container_base* source, bool packedRows) = 0;
    // A copy of the source inside a border of `border` pixels on every side
    // that replicates the source's edge pixels (formats 1, 4, 6-9, 11, 12).
    virtual bool cloneWithBorder(vq_image_container_base* source, int32_t border) = 0;
    // Visible size.
    virtual int32_t getWidth() = 0;
    virtual int32_t getHeight() = 0;
    virtual int32_t getFormat() = 0;
    virtual int32_t getChannels() = 0;
    // 8, 16 or 0.
    virtual int32_t getBitsPerSample() = 0;
    virtual bool isAllocated() = 0;
    virtual bool allocate(bool packedRows) = 0;
    virtual void freeBuffer() = 0;
    virtual void clear() = 0;
    // Sets every sample of the visible region to the value (16-bit samples
    // receive the byte value itself).
    virtual void fill(uint8_t value) = 0;
    // Both count a lock and hand out the first pixel and the row step in bytes;
    // they return the new lock count.
    virtual int32_t lockPixels(uint8_t** data, int32_t* step) = 0;
    virtual int32_t lockPixelsConst(const uint8_t** data, int32_t* step) = 0;
    // Decrements the lock count (not below 0); returns the new count.
    virtual int32_t unlockPixels() = 0;
    virtual bool isConvertible(int32_t from, int32_t to) = 0;
    // This container receives the source's pixels converted to the target format.
    virtual bool convertFrom(int32_t target, vq_image_container_base* source) = 0;
    // Converts the pixels in place.
    virtual bool convertTo(int32_t format) = 0;
    // Mirrors the visible rows top to bottom in place.
    virtual bool flipVertical() = 0;
    // Shrinks the visible size without touching the pixels.
    virtual bool crop(int32_t width, int32_t height) = 0;
    virtual bool isCropped() = 0;
    virtual IntPair getFullSize() = 0;
    virtual void uncrop() = 0;
    // A new container (one reference, stored through out) holding a copy of the
    // rectangle at origin of the given size.
    virtual bool createCroppedContainer(IntPair origin, int32_t width, int32_t height,
                                        vq_image_container_base** out) = 0;
    // Copies rows [firstRow, firstRow + rows) of the visible image, width
    // pixels each, into a caller's buffer.
    virtual bool copyDataTo(void* destination, int32_t firstRow, int32_t rows, int32_t width,
                            int32_t destinationStep) = 0;
    // Copies a width x height rectangle from a container of the same format;
    // nothing is clipped.
    virtual bool copyRegionFrom(vq_image_container_base* source, IntPair sourceOrigin, IntPair destinationOrigin,
                                int32_t width, int32_t height) = 0;
    // Makes this container a 24-bit RGB image from the planes of a YCbCr tile;
    // mode is the tile's JPEG subsampling code (1 to 4).
    virtual bool fromYCbCrPlanes(vq_image_container_base* y, vq_image_container_base* cb,
                                 vq_image_container_base* cr, int32_t mode) = 0;
};

class imageContainer : public vq_image_container_base {
public:
    // New empty container with its first reference taken.
    static imageContainer* create();

    imageContainer() = default;
    ~imageContainer() override;
    imageContainer(const imageContainer&) = delete;
    imageContainer& operator=(const imageContainer&) = delete;

    bool create(int32_t format, int32_t width, int32_t height, bool packedRows) override;
    // create for a caller that writes every pixel of the full size itself:
    // a re-used or new buffer is not cleared. Builds with
    // VQ_POISON_UNCLEARED (the sanitizer builds) fill it with
    // kUnclearedPoison instead, so that a reader relying on zeros it never
    // wrote sees wrong pixels in the tests.
    bool createUncleared(int32_t format, int32_t width, int32_t height, bool packedRows);
    static constexpr uint8_t kUnclearedPoison = 0xA5;
    bool cloneFrom(vq_image_container_base* source, bool packedRows) override;
    bool cloneWithBorder(vq_image_container_base* source, int32_t border) override;
    int32_t getWidth() override { return width; }
    int32_t getHeight() override { return height; }
    int32_t getFormat() override { return format; }
    int32_t getChannels() override;
    int32_t getBitsPerSample() override;
    bool isAllocated() override { return data != nullptr; }
    bool allocate(bool packedRows) override;
    void freeBuffer() override;
    void clear() override { fill(0); }
    void fill(uint8_t value) override;
    // Sets every sample of the visible region that lies outside all of the
    // given rectangles (clipped to the visible region) to the value: the part
    // of an uncleared buffer that the caller's copies leave, such as padding
    // or the places of absent quad members.
    void fillOutside(const PrimRect* covered, int32_t count, uint8_t value);
    int32_t lockPixels(uint8_t** dataOut, int32_t* stepOut) override;
    int32_t lockPixelsConst(const uint8_t** dataOut, int32_t* stepOut) override;
    int32_t unlockPixels() override;
    bool isConvertible(int32_t from, int32_t to) override;
    bool convertFrom(int32_t target, vq_image_container_base* source) override;
    bool convertTo(int32_t newFormat) override;
    bool flipVertical() override;
    bool crop(int32_t newWidth, int32_t newHeight) override;
    bool isCropped() override { return cropped; }
    IntPair getFullSize() override;
    void uncrop() override;
    bool createCroppedContainer(IntPair origin, int32_t w, int32_t h, vq_image_container_base** out) override;
    bool copyDataTo(void* destination, int32_t firstRow, int32_t rows, int32_t w, int32_t destinationStep) override;
    bool copyRegionFrom(vq_image_container_base* source, IntPair sourceOrigin, IntPair destinationOrigin, int32_t w,
                        int32_t h) override;
    bool fromYCbCrPlanes(vq_image_container_base* y, vq_image_container_base* cb, vq_image_container_base* cr,
                         int32_t mode) override;

    int32_t getStep() const { return step; }
    int32_t getLockCount() const { return lockCount; }

    // Bytes per pixel of a format; 0 for formats that cannot be allocated.
    static int32_t bytesPerPixel(int32_t format);
    static int32_t channelsOf(int32_t format);
    static int32_t bitsPerSampleOf(int32_t format);

private:
    bool createBuffer(int32_t format, int32_t width, int32_t height, bool packedRows, bool zeroed);
    // Sets the samples of a rectangle inside the full buffer to the value.
    void fillRegion(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t value);
    // The poison fill of an uncleared buffer in builds that ask for it.
    void poisonUncleared();
    // Writes the locked line when locked; true when changes are allowed.
    bool modifiable();
    // Converts a source buffer of srcFormat into this buffer over the visible size.
    bool convertPixels(int32_t srcFormat, const uint8_t* src, int32_t srcStep);
    // Copies w x h pixels of this container's format group.
    bool copyPixels(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, int32_t w, int32_t h);

    int32_t format = vq_fmtNone;
    int32_t width = 0;
    int32_t height = 0;
    uint8_t* data = nullptr;
    int32_t step = 0;
    // Tiles handed to an output are read by an encoder thread while the
    // level still reads them: the count is changed from both.
    std::atomic<int32_t> lockCount{0};
    bool packedRows = true;
    int32_t fullWidth = 0;
    int32_t fullHeight = 0;
    bool cropped = false;
};

// Stores a new empty container with one reference through out (when out is
// not null) and returns it.
imageContainer* createImageContainer(imageContainer** out);
vq_image_container_base* createImageContainer(vq_image_container_base** out);
