// Shared codec types: run and rectangle intersection, sample planes and the
// decoded-image description.
#include "j2k/codec_types.h"

#include <climits>

#include "j2k/decoder/main_header.h"
#include "primitives/core/memory.h"

J2KRange J2KRange::Intersect(const J2KRange& a, const J2KRange& b) {
    const uint64_t first = a.first > b.first ? a.first : b.first;
    const uint64_t ea = uint64_t(a.first) + a.count, eb = uint64_t(b.first) + b.count;
    const uint64_t end = ea < eb ? ea : eb;
    if (end < first) {
        J2KRange r;
        r.first = 0xFFFFFFFFu;
        r.count = 0;
        r.end = 0xFFFFFFFFu;
        return r;
    }
    return J2KRange(static_cast<uint32_t>(first), static_cast<uint32_t>(end - first));
}

J2KRect J2KRect::Intersect(const J2KRect& a, const J2KRect& b) {
    const J2KRange x = J2KRange::Intersect(a.XRange(), b.XRange());
    const J2KRange y = J2KRange::Intersect(a.YRange(), b.YRange());
    return J2KRect(x.first, y.first, x.count, y.count);
}

namespace {

// A plane of width x height samples of `bytes` each; throws MemoryException 0.
uint8_t* AllocatePlane(uint64_t width, uint64_t height, uint32_t bytes, int32_t* step) {
    *step = 0;
    if (width * bytes > INT32_MAX || height > INT32_MAX)
        ThrowDiagn<MemoryException, 0>();
    uint8_t* p = allocImage8uC1(static_cast<int32_t>(width * bytes), static_cast<int32_t>(height), step);
    if (!p)
        ThrowDiagn<MemoryException, 0>();
    return p;
}

} // namespace

void DJP2PlaneBuffer::Allocate(uint32_t width, uint32_t height) {
    Release();
    size_ = IntPair(static_cast<int32_t>(width), static_cast<int32_t>(height));
    if (uint64_t(width) * height == 0)
        return;
    int32_t step = 0;
    uint8_t* p = AllocatePlane(width, height, 4, &step);
    ref_ = PlaneRef(p, step);
}

void DJP2PlaneBuffer::Release() {
    if (ref_.data)
        freeImage(ref_.data);
    ref_ = PlaneRef();
    size_ = IntPair();
}

void ComponentPlanes::Allocate(const IntPair* sizes, uint32_t n) {
    planes_.Resize(n);
    refs_.Resize(n);
    for (uint32_t i = 0; i < n; ++i) {
        planes_[i].Allocate(static_cast<uint32_t>(sizes[i].first), static_cast<uint32_t>(sizes[i].second));
        refs_[i] = planes_[i].Ref();
    }
}

template <class T>
void DJP2PlanarImage<T>::Allocate(uint32_t width, uint32_t height, uint32_t n) {
    Release();
    size_ = IntPair(static_cast<int32_t>(width), static_cast<int32_t>(height));
    refs_.Resize(n);
    if (uint64_t(width) * height * n == 0)
        return;
    int32_t step = 0;
    block_ = AllocatePlane(width, uint64_t(height) * n, sizeof(T), &step);
    for (uint32_t i = 0; i < n; ++i)
        refs_[i] = PlaneRef(block_ + static_cast<intptr_t>(i) * height * step, step);
}

template <class T>
void DJP2PlanarImage<T>::Release() {
    if (block_)
        freeImage(block_);
    block_ = nullptr;
    refs_.Free();
    size_ = IntPair();
}

template class DJP2PlanarImage<int32_t>;
template class DJP2PlanarImage<uint8_t>;
template class DJP2PlanarImage<int16_t>;

void DJP2Image::SetGeometry(const J2KRect& rect, const IntPair* sampling, uint16_t n) {
    const bool sizeChanged = rect.width != rect_.width || rect.height != rect_.height;
    rect_ = rect;
    const bool countChanged = n != componentCount_;
    if (countChanged) {
        componentCount_ = n;
        planes_.Resize(n);
        depths_.Resize(n);
        sampling_.Resize(n);
    }
    if (!sizeChanged && !countChanged)
        return;
    for (uint32_t c = 0; c < n; ++c) {
        const uint32_t xr = sampling[c].first > 0 ? uint32_t(sampling[c].first) : 1;
        const uint32_t yr = sampling[c].second > 0 ? uint32_t(sampling[c].second) : 1;
        planes_[c].Allocate(CeilDivU32(rect.width, xr), CeilDivU32(rect.height, yr));
        sampling_[c] = sampling[c];
    }
}

void InitImageFromMainHeader(const DJP2MainHeader& header, DJP2Image& image) {
    image.SetGeometry(header.imageRect, header.sampling.Data(), header.componentCount);
    for (uint32_t c = 0; c < header.componentCount; ++c)
        image.BitDepths()[c] = DJP2BitDepth(header.ssiz[c] & 0x7F, (header.ssiz[c] & 0x80) != 0);
}
