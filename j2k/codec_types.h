// Value and buffer types shared by the whole JPEG 2000 codec: runs and
// rectangles on the reference grid, the codec's owning arrays, 32-bit sample
// planes and the description of a decoded image.
#pragma once

#include <cstdint>
#include <new>
#include <utility>

#include "engine/base/IntPair.h"
#include "j2k/diagnostics.h"

// A run of integers: first, count and end = first + count.
struct J2KRange {
    uint32_t first = 0;
    uint32_t count = 0;
    uint32_t end = 0;
    J2KRange() = default;
    J2KRange(uint32_t f, uint32_t c) : first(f), count(c), end(f + c) {}
    // The common part of two runs; an empty one reads first 0xFFFFFFFF, count 0.
    static J2KRange Intersect(const J2KRange& a, const J2KRange& b);
};

// A rectangle on the reference grid: origin (x0, y0) and size (width, height).
struct J2KRect {
    uint32_t x0 = 0, y0 = 0, width = 0, height = 0;
    J2KRect() = default;
    J2KRect(uint32_t x, uint32_t y, uint32_t w, uint32_t h) : x0(x), y0(y), width(w), height(h) {}
    uint32_t x1() const { return x0 + width; }
    uint32_t y1() const { return y0 + height; }
    bool Empty() const { return width == 0 || height == 0; }
    J2KRange XRange() const { return J2KRange(x0, width); }
    J2KRange YRange() const { return J2KRange(y0, height); }
    // Intersection of the x runs and of the y runs, each on its own.
    static J2KRect Intersect(const J2KRect& a, const J2KRect& b);
    bool operator==(const J2KRect& o) const {
        return x0 == o.x0 && y0 == o.y0 && width == o.width && height == o.height;
    }
};

// ceil(a / b) for b > 0, without overflow.
inline uint32_t CeilDivU32(uint32_t a, uint32_t b) { return a / b + (a % b != 0); }
inline uint64_t CeilDivU64(uint64_t a, uint64_t b) { return a / b + (a % b != 0); }

// count owned items of T; resizing discards the old items.
template <class T>
class CodecArray {
public:
    CodecArray() = default;
    explicit CodecArray(uint32_t n) { Resize(n); }
    CodecArray(const CodecArray& other) { *this = other; }
    CodecArray& operator=(const CodecArray& other) {
        if (this != &other) {
            Resize(other.count_);
            for (uint32_t i = 0; i < count_; ++i)
                items_[i] = other.items_[i];
        }
        return *this;
    }
    CodecArray(CodecArray&& other) noexcept { swap(other); }
    CodecArray& operator=(CodecArray&& other) noexcept {
        if (this != &other) {
            Free();
            swap(other);
        }
        return *this;
    }
    ~CodecArray() { Free(); }

    void Resize(uint32_t n) {
        Free();
        if (n) {
            items_ = new T[n]();
            count_ = n;
        }
    }
    void Free() {
        delete[] items_;
        items_ = nullptr;
        count_ = 0;
    }
    uint32_t Count() const { return count_; }
    T* Data() { return items_; }
    const T* Data() const { return items_; }
    T& operator[](uint32_t i) { return items_[i]; }
    const T& operator[](uint32_t i) const { return items_[i]; }

private:
    void swap(CodecArray& o) noexcept {
        std::swap(items_, o.items_);
        std::swap(count_, o.count_);
    }
    T* items_ = nullptr;
    uint32_t count_ = 0;
};

// A CodecArray with a separate size, set with every resize.
template <class T>
class CodecVector : public CodecArray<T> {
public:
    void Resize(uint32_t n) {
        CodecArray<T>::Resize(n);
        size_ = n;
    }
    void Free() {
        CodecArray<T>::Free();
        size_ = 0;
    }
    uint32_t Size() const { return size_; }

private:
    uint32_t size_ = 0;
};

// First sample of a plane and its row step in bytes.
struct PlaneRef {
    uint8_t* data = nullptr;
    int32_t step = 0;
    PlaneRef() = default;
    PlaneRef(void* d, int32_t s) : data(static_cast<uint8_t*>(d)), step(s) {}
    int32_t* Row(int32_t y) const { return reinterpret_cast<int32_t*>(data + static_cast<intptr_t>(y) * step); }
    // The reference of sample (x, y) of a 32-bit plane.
    PlaneRef At(uint32_t x, uint32_t y) const {
        return PlaneRef(data ? data + static_cast<intptr_t>(y) * step + 4 * static_cast<intptr_t>(x) : nullptr,
                        step);
    }
};

// A plane of 32-bit samples from the primitive layer's image allocator.
class DJP2PlaneBuffer {
public:
    DJP2PlaneBuffer() = default;
    DJP2PlaneBuffer(const DJP2PlaneBuffer&) = delete;
    DJP2PlaneBuffer& operator=(const DJP2PlaneBuffer&) = delete;
    ~DJP2PlaneBuffer() { Release(); }

    // Frees the old samples; allocates width x height (none for an empty
    // plane). Throws MemoryException 0 when the allocation fails.
    void Allocate(uint32_t width, uint32_t height);
    void Release();
    const PlaneRef& Ref() const { return ref_; }
    IntPair Size() const { return size_; }
    int32_t* Row(int32_t y) const { return ref_.Row(y); }

private:
    PlaneRef ref_;
    IntPair size_;
};

// Precision as coded in SIZ (bits minus one) and signedness.
struct DJP2BitDepth {
    int32_t bits = 30;
    uint8_t isSigned = 1;
    DJP2BitDepth() = default;
    DJP2BitDepth(int32_t b, bool s) : bits(b), isSigned(s ? 1 : 0) {}
};

// n planes of 32-bit samples, each of its own size and allocation.
class ComponentPlanes {
public:
    ComponentPlanes() = default;
    ComponentPlanes(const ComponentPlanes&) = delete;
    ComponentPlanes& operator=(const ComponentPlanes&) = delete;
    void Allocate(const IntPair* sizes, uint32_t n);
    uint32_t Count() const { return planes_.Count(); }
    int32_t* Data(uint32_t i) const { return reinterpret_cast<int32_t*>(planes_[i].Ref().data); }
    int32_t Step(uint32_t i) const { return planes_[i].Ref().step; }
    IntPair Size(uint32_t i) const { return planes_[i].Size(); }
    // References of all planes, in component order.
    const PlaneRef* Refs() const { return refs_.Data(); }

private:
    CodecArray<DJP2PlaneBuffer> planes_;
    CodecArray<PlaneRef> refs_;
};

// n planes of equal size in one allocation; plane i starts at row i x height.
template <class T>
class DJP2PlanarImage {
public:
    DJP2PlanarImage() = default;
    DJP2PlanarImage(const DJP2PlanarImage&) = delete;
    DJP2PlanarImage& operator=(const DJP2PlanarImage&) = delete;
    ~DJP2PlanarImage() { Release(); }
    void Allocate(uint32_t width, uint32_t height, uint32_t n);
    void Release();
    uint32_t Count() const { return refs_.Count(); }
    const PlaneRef& Plane(uint32_t i) const { return refs_[i]; }
    const PlaneRef* Refs() const { return refs_.Data(); }
    IntPair Size() const { return size_; }

private:
    uint8_t* block_ = nullptr;
    IntPair size_;
    CodecArray<PlaneRef> refs_;
};

extern template class DJP2PlanarImage<int32_t>;
extern template class DJP2PlanarImage<uint8_t>;
extern template class DJP2PlanarImage<int16_t>;

struct DJP2ResolutionValue {
    uint16_t numerator = 0;
    uint16_t denominator = 1;
    int8_t exponent = 0;
};

struct DJP2Resolution {
    uint8_t present = 0;
    DJP2ResolutionValue vertical, horizontal;
};

class DJP2MainHeader;

// Description of a decoded image: JP2 palette and channel mapping, the
// resolutions, the image rectangle and per component its plane, bit depth and
// sampling factors.
class DJP2Image {
public:
    // Palette and channel mapping, empty unless a JP2 file supplied them.
    CodecArray<uint16_t> channelComponent;
    CodecArray<uint8_t> channelDirect;
    CodecArray<uint8_t> channelPaletteColumn;
    uint16_t channelCount = 0;
    uint16_t paletteEntries = 0;
    CodecArray<CodecArray<uint64_t>> paletteColumns;
    CodecArray<DJP2BitDepth> paletteDepths;
    uint8_t paletteColumnCount = 0;
    DJP2Resolution captureResolution, displayResolution;

    // Stores the rectangle and the sampling factors; (re)allocates every
    // component plane only when the size or the component count changed.
    void SetGeometry(const J2KRect& rect, const IntPair* sampling, uint16_t n);

    uint16_t NComponents() const { return componentCount_; }
    DJP2PlaneBuffer* Components() { return planes_.Data(); }
    DJP2BitDepth* BitDepths() { return depths_.Data(); }
    const IntPair* Sampling() const { return sampling_.Data(); }
    const J2KRect& Rect() const { return rect_; }

private:
    J2KRect rect_;
    CodecArray<DJP2PlaneBuffer> planes_;
    CodecArray<DJP2BitDepth> depths_;
    CodecArray<IntPair> sampling_;
    uint16_t componentCount_ = 0;
};

// Image geometry and bit depths from a main header.
void InitImageFromMainHeader(const DJP2MainHeader& header, DJP2Image& image);
