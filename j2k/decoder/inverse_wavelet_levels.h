// Building blocks shared by the inverse 9/7 and 5/3 transforms: band row
// readers, the row aggregate that merges a low-band row with a high-band row,
// the pulled row source, and the level loop of a per-component transform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "j2k/codec_types.h"
#include "j2k/decoder/geometry.h"
#include "j2k/decoder/tile.h"
#include "j2k/wavelet/row_ring.h"

namespace inverse_wavelet {

// Reads a band plane from its top row down, width samples per row.
template <class T>
struct ImageRowInput {
    const uint8_t* row = nullptr;
    ptrdiff_t step = 0;
    uint32_t width = 0;

    void bind(const PlaneRef& plane, uint32_t w) {
        row = plane.data;
        step = plane.step;
        width = w;
    }
    void getRow(T* dst) {
        if (width)
            std::memcpy(dst, row, static_cast<size_t>(width) * sizeof(T));
        row += step;
    }
};

// Makes one row of a level: a low-band row and a high-band row read into the
// half buffers and merged over the level's horizontal range.
template <class T, void (*Merge)(const T*, const T*, T*, uint32_t, uint32_t)>
class InvRowAgregate {
public:
    void allocate(uint32_t w) {
        const size_t half = (w >> 1) + 2;
        lowHalf_ = std::make_unique<T[]>(half);
        highHalf_ = std::make_unique<T[]>(half);
    }
    void set(const J2KRange& range, ImageRowInput<T>* low, ImageRowInput<T>* high) {
        x0_ = range.first;
        n_ = range.count;
        low_ = low;
        high_ = high;
    }
    void produce(T* dst) {
        low_->getRow(lowHalf_.get());
        high_->getRow(highHalf_.get());
        Merge(lowHalf_.get(), highHalf_.get(), dst, x0_, n_);
    }

private:
    uint32_t x0_ = 0, n_ = 0;
    ImageRowInput<T>* low_ = nullptr;
    ImageRowInput<T>* high_ = nullptr;
    std::unique_ptr<T[]> lowHalf_, highHalf_;
};

// A row source of a column pipeline: each pull makes the next merged row;
// after a pull rowBack(0) is the newest row.
template <class Agregate, class T>
struct WTInvRow {
    Agregate* agregate = nullptr;
    RowRing<T> ring;

    void pull() {
        agregate->produce(ring.current());
        ring.rotate();
    }
};

// Copies h rows of n samples of T.
template <class T>
void copyRows(const PlaneRef& src, const PlaneRef& dst, uint32_t n, uint32_t h) {
    for (uint32_t y = 0; y < h; ++y)
        std::memcpy(dst.data + static_cast<ptrdiff_t>(y) * dst.step, src.data + static_cast<ptrdiff_t>(y) * src.step,
                    static_cast<size_t>(n) * sizeof(T));
}

// The per-component level loop. Owner: allocateRows(width) and
// inverseLevel(ll, hl, lh, hh, out, levelRect). Temp: a plane holder with
// allocate(width, height) and ref().
template <class Owner, class T, class Temp>
void inverseDwtLevels(const SubbandPlanes& bands, const PlaneRef& out, const J2KRect& rect) {
    if (rect.Empty())
        return;
    const uint32_t nl = bands.levels;
    if (nl == 0) {
        copyRows<T>(bands.ll.Ref(), out, rect.width, rect.height);
        return;
    }
    Owner owner;
    owner.allocateRows(rect.width);
    Temp temp;
    if (nl > 1) {
        const J2KRect r1 = ScaleRectUp(rect, 1);
        temp.allocate(r1.width, r1.height);
    }
    // Level i writes the output plane when i is even and the temporary plane
    // when it is odd, so level 0 ends in the output and no level reads the
    // plane it writes.
    PlaneRef source = bands.ll.Ref();
    for (uint32_t i = nl; i-- > 0;) {
        const PlaneRef target = (i & 1) ? temp.ref() : out;
        const SubbandLevelPlanes& lv = bands.level[i];
        owner.inverseLevel(source, lv.hl.Ref(), lv.lh.Ref(), lv.hh.Ref(), target, ScaleRectUp(rect, i));
        source = target;
    }
}

// Binds the four band readers of a level and points the two aggregates at
// them: the first merges LL (or the previous level) with HL, the second LH
// with HH.
template <class T, class Agregate>
void bindLevel(ImageRowInput<T> (&in)[4], Agregate& lowAg, Agregate& highAg, const PlaneRef& ll, const PlaneRef& hl,
               const PlaneRef& lh, const PlaneRef& hh, const J2KRect& level) {
    const J2KRange x = level.XRange();
    const uint32_t lowWidth = BandRange(x, false).count, highWidth = BandRange(x, true).count;
    in[0].bind(ll, lowWidth);
    in[1].bind(hl, highWidth);
    in[2].bind(lh, lowWidth);
    in[3].bind(hh, highWidth);
    lowAg.set(x, &in[0], &in[1]);
    highAg.set(x, &in[2], &in[3]);
}

// Temporary planes of the level loop.
struct TempPlane32 {
    DJP2PlaneBuffer plane;
    void allocate(uint32_t w, uint32_t h) { plane.Allocate(w, h); }
    PlaneRef ref() const { return plane.Ref(); }
};
struct TempPlane16 {
    DJP2PlanarImage<int16_t> plane;
    void allocate(uint32_t w, uint32_t h) { plane.Allocate(w, h, 1); }
    PlaneRef ref() const { return plane.Count() ? plane.Plane(0) : PlaneRef(); }
};

} // namespace inverse_wavelet
