// Partition rules of the tile structure: scaling of ranges to resolutions and
// sub-bands, and the grid partition that cuts a range into precincts or
// code-blocks aligned to powers of two counted from coordinate 0.
#pragma once

#include <cstdint>

#include "j2k/codec_types.h"

// Each end of the range divided by 2^n, rounded up.
inline J2KRange ScaleRangeUp(const J2KRange& r, uint32_t n) {
    const uint64_t d = uint64_t(1) << n;
    const uint64_t a = CeilDivU64(r.first, d), b = CeilDivU64(uint64_t(r.first) + r.count, d);
    return J2KRange(static_cast<uint32_t>(a), static_cast<uint32_t>(b - a));
}
inline J2KRect ScaleRectUp(const J2KRect& r, uint32_t n) {
    const J2KRange x = ScaleRangeUp(r.XRange(), n), y = ScaleRangeUp(r.YRange(), n);
    return J2KRect(x.first, y.first, x.count, y.count);
}
// The low-pass (ends halved up) or high-pass (ends halved down) part.
inline J2KRange BandRange(const J2KRange& r, bool high) {
    const uint64_t e = uint64_t(r.first) + r.count;
    const uint64_t a = high ? r.first / 2 : CeilDivU64(r.first, 2), b = high ? e / 2 : CeilDivU64(e, 2);
    return J2KRange(static_cast<uint32_t>(a), static_cast<uint32_t>(b - a));
}
// A resolution rectangle mapped to band orientation o (0 LL, 1 LH, 2 HL, 3 HH).
inline J2KRect BandRect(const J2KRect& res, uint32_t o) {
    if (o == 0)
        return res;
    const J2KRange x = BandRange(res.XRange(), o == 2 || o == 3);
    const J2KRange y = BandRange(res.YRange(), o == 1 || o == 3);
    return J2KRect(x.first, y.first, x.count, y.count);
}
// Gain of a band in bits: LL 0, HL and LH 1, HH 2.
inline uint32_t BandGain(uint32_t o) { return o == 0 ? 0 : o == 3 ? 2 : 1; }

// The cells of a range (start s, length n) on a grid of 2^e.
struct GridPartition {
    uint32_t firstIndex = 0;  // s >> e
    uint32_t count = 0;
    uint32_t firstLength = 0;
    uint32_t lastLength = 0;
    uint32_t cellSize = 0;

    GridPartition() = default;
    GridPartition(uint32_t s, uint32_t n, uint32_t e) {
        const uint64_t size = uint64_t(1) << e;
        cellSize = static_cast<uint32_t>(size > 0x80000000u ? 0x80000000u : size);
        firstIndex = static_cast<uint32_t>(uint64_t(s) >> e);
        if (n == 0)
            return;
        count = static_cast<uint32_t>(CeilDivU64(uint64_t(s) + n, size) - firstIndex);
        if (count == 1) {
            firstLength = lastLength = n;
        } else {
            firstLength = static_cast<uint32_t>((uint64_t(firstIndex) + 1) * size - s);
            lastLength = static_cast<uint32_t>(n - (uint64_t(count) - 2) * size - firstLength);
        }
    }
    uint32_t Offset(uint32_t i) const { return i == 0 ? 0 : firstLength + (i - 1) * cellSize; }
    uint32_t Length(uint32_t i) const {
        return i == 0 ? firstLength : i + 1 == count ? lastLength : cellSize;
    }
};

// A rectangle's cells, row by row, relative to its origin.
struct RectPartition {
    GridPartition x, y;
    RectPartition(const J2KRect& r, uint32_t ex, uint32_t ey) : x(r.x0, r.width, ex), y(r.y0, r.height, ey) {}
    uint32_t Count() const { return x.count * y.count; }
    J2KRect Cell(uint32_t i) const {
        const uint32_t cx = i % x.count, cy = i / x.count;
        return J2KRect(x.Offset(cx), y.Offset(cy), x.Length(cx), y.Length(cy));
    }
};
