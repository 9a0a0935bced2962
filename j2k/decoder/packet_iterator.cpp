#include "j2k/decoder/packet_iterator.h"

#include <cstddef>
#include <numeric>

namespace {

constexpr uint32_t kMaxResolutions = 34;

uint64_t Gcd(uint64_t a, uint64_t b) { return b == 0 ? a : std::gcd(a, b); }

} // namespace

DJP2PacketIterator& DJP2PacketIterator::operator=(const DJP2PacketIterator& o) {
    if (this == &o)
        return *this;
    sampling_ = o.sampling_;
    styles_ = o.styles_;
    components_ = o.components_;
    layers_ = o.layers_;
    maxRes_ = o.maxRes_;
    reduction_ = o.reduction_;
    tx0_ = o.tx0_, tx1_ = o.tx1_, ty0_ = o.ty0_, ty1_ = o.ty1_;
    order_ = o.order_, rs_ = o.rs_, re_ = o.re_, cs_ = o.cs_, ce_ = o.ce_, lye_ = o.lye_;
    layer_ = o.layer_, res_ = o.res_, comp_ = o.comp_, px_ = o.px_, py_ = o.py_;
    x_ = o.x_, y_ = o.y_, xStep_ = o.xStep_, yStep_ = o.yStep_;
    firstCall_ = o.firstCall_;
    valid_ = o.valid_;
    done_ = o.done_;
    grids_ = o.grids_;
    nextLayer_ = o.nextLayer_;
    default_ = o.default_;
    mainList_ = o.mainList_;
    mainCount_ = o.mainCount_;
    savedIndex_ = o.savedIndex_;
    // A walk of the source's own default record walks this copy's.
    list_ = o.list_ == &o.default_ ? &default_ : o.list_;
    count_ = o.count_;
    index_ = o.index_;
    return *this;
}

void DJP2PacketIterator::Initialise(const J2KRect& tile, const IntPair* sampling, const DJP2CodParams& cod,
                                    const DJP2CodingStyle* const* styles, uint32_t components,
                                    const DJP2PocEntry* list, uint32_t count) {
    sampling_ = sampling;
    styles_ = styles;
    components_ = components;
    layers_ = cod.layers;
    reduction_ = 0;
    tx0_ = tile.x0;
    tx1_ = uint64_t(tile.x0) + tile.width;
    ty0_ = tile.y0;
    ty1_ = uint64_t(tile.y0) + tile.height;
    maxRes_ = 0;
    for (uint32_t c = 0; c < components; ++c)
        if (styles[c]->levels + 1 > maxRes_)
            maxRes_ = styles[c]->levels + 1;

    grids_.assign(size_t(components) * kMaxResolutions, Grid());
    uint32_t total = 0;
    for (uint32_t c = 0; c < components; ++c) {
        const DJP2CodingStyle& s = *styles[c];
        const uint64_t xr = uint64_t(sampling[c].first), yr = uint64_t(sampling[c].second);
        for (uint32_t r = 0; r <= s.levels; ++r) {
            const uint32_t n = s.levels - r;
            const uint64_t dx = xr << n, dy = yr << n;
            const uint64_t x0 = CeilDivU64(tx0_, dx), x1 = CeilDivU64(tx1_, dx);
            const uint64_t y0 = CeilDivU64(ty0_, dy), y1 = CeilDivU64(ty1_, dy);
            const uint32_t ppx = uint32_t(s.PrecinctExp(r).first), ppy = uint32_t(s.PrecinctExp(r).second);
            Grid& g = grids_[c * kMaxResolutions + r];
            g.nx = x1 == x0 ? 0 : uint32_t(CeilDivU64(x1, uint64_t(1) << ppx) - (x0 >> ppx));
            g.ny = y1 == y0 ? 0 : uint32_t(CeilDivU64(y1, uint64_t(1) << ppy) - (y0 >> ppy));
            g.counters = total;
            total += g.nx * g.ny;
        }
    }
    nextLayer_.assign(total, 0);

    default_.progression = cod.progression;
    default_.resolutions = J2KRange(0, maxRes_);
    default_.components = J2KRange(0, components);
    default_.layerEnd = cod.layers;
    mainList_ = list;
    mainCount_ = count;
    savedIndex_ = -1;
    if (count) {
        list_ = list;
        count_ = count;
    } else {
        list_ = &default_;
        count_ = 1;
    }
    index_ = 0;
    done_ = false;
    Load(list_[0]);
    Advance();
}

uint32_t DJP2PacketIterator::CompResolutions(uint32_t c) const {
    const uint32_t n = styles_[c]->levels + 1;
    return n > reduction_ ? n - reduction_ : 0;
}

uint32_t DJP2PacketIterator::PrecinctColumns(uint32_t c, uint32_t r) const {
    return c < components_ && r < kMaxResolutions ? GridOf(c, r).nx : 0;
}
uint32_t DJP2PacketIterator::PrecinctRows(uint32_t c, uint32_t r) const {
    return c < components_ && r < kMaxResolutions ? GridOf(c, r).ny : 0;
}

void DJP2PacketIterator::Load(const DJP2PocEntry& e) {
    order_ = e.progression;
    rs_ = e.resolutions.first;
    const uint32_t resolutions = maxRes_ > reduction_ ? maxRes_ - reduction_ : 0;
    re_ = e.resolutions.end < resolutions ? e.resolutions.end : resolutions;
    cs_ = e.components.first;
    ce_ = e.components.end < components_ ? e.components.end : components_;
    // Packets of layers the code-blocks do not have must never be named.
    lye_ = e.layerEnd < layers_ ? e.layerEnd : layers_;
    firstCall_ = true;
}

void DJP2PacketIterator::Advance() {
    if (done_)
        return;
    for (;;) {
        if (Search()) {
            valid_ = true;
            return;
        }
        if (index_ + 1 < count_) {
            Load(list_[++index_]);
            continue;
        }
        if (list_ != &default_) {
            list_ = &default_;
            count_ = 1;
            index_ = 0;
            Load(default_);
            continue;
        }
        valid_ = false;
        done_ = true;
        return;
    }
}

void DJP2PacketIterator::NewTilePart(const DJP2PocEntry* list, uint32_t count) {
    if (count == 0) {
        if (savedIndex_ < 0 || mainCount_ == 0) {
            list_ = &default_;
            count_ = 1;
            index_ = 0;
        } else {
            list_ = mainList_;
            count_ = mainCount_;
            index_ = static_cast<uint32_t>(savedIndex_);
        }
        Load(list_[index_]);
        return;
    }
    if (savedIndex_ < 0)
        savedIndex_ = index_;
    list_ = list;
    count_ = count;
    index_ = 0;
    Load(list_[0]);
}

void DJP2PacketIterator::Restart(uint32_t reduction) {
    reduction_ = reduction;
    index_ = 0;
    Load(list_[0]);
    layer_ = 0;
    res_ = rs_;
    comp_ = cs_;
    px_ = py_ = 0;
    nextLayer_.assign(nextLayer_.size(), 0);
    done_ = false;
    valid_ = false;
    Advance();
}

bool DJP2PacketIterator::TryYield() {
    const Grid& g = GridOf(comp_, res_);
    uint32_t& next = nextLayer_[g.counters + py_ * g.nx + px_];
    if (layer_ < next)
        return false;
    next = layer_ + 1;
    return true;
}

// The steps of the position-driven orders: the greatest common divisor of
// every precinct's extent on the reference grid, so no precinct origin is
// stepped over whatever the sampling factors.
void DJP2PacketIterator::Steps(uint32_t firstComp, uint32_t endComp) {
    uint64_t gx = 0, gy = 0;
    for (uint32_t c = firstComp; c < endComp; ++c) {
        const DJP2CodingStyle& s = *styles_[c];
        for (uint32_t r = 0; r < CompResolutions(c); ++r) {
            const uint32_t n = s.levels - r;
            gx = Gcd(gx, uint64_t(sampling_[c].first) << (uint32_t(s.PrecinctExp(r).first) + n));
            gy = Gcd(gy, uint64_t(sampling_[c].second) << (uint32_t(s.PrecinctExp(r).second) + n));
        }
    }
    xStep_ = gx ? gx : 1;
    yStep_ = gy ? gy : 1;
}

bool DJP2PacketIterator::PrecinctAt(uint32_t c, uint32_t r, uint64_t x, uint64_t y) {
    const Grid& g = GridOf(c, r);
    if (g.nx == 0 || g.ny == 0)
        return false;
    const DJP2CodingStyle& s = *styles_[c];
    const uint32_t n = s.levels - r;
    const uint32_t ppx = uint32_t(s.PrecinctExp(r).first), ppy = uint32_t(s.PrecinctExp(r).second);
    const uint64_t dx = uint64_t(sampling_[c].first) << n, dy = uint64_t(sampling_[c].second) << n;
    const uint64_t trx0 = CeilDivU64(tx0_, dx), try0 = CeilDivU64(ty0_, dy);
    const bool xq = x % (dx << ppx) == 0 || (x == tx0_ && trx0 % (uint64_t(1) << ppx) != 0);
    const bool yq = y % (dy << ppy) == 0 || (y == ty0_ && try0 % (uint64_t(1) << ppy) != 0);
    if (!xq || !yq)
        return false;
    const uint64_t px = (CeilDivU64(x, dx) >> ppx) - (trx0 >> ppx);
    const uint64_t py = (CeilDivU64(y, dy) >> ppy) - (try0 >> ppy);
    if (px >= g.nx || py >= g.ny)
        return false;
    px_ = uint32_t(px);
    py_ = uint32_t(py);
    return true;
}

bool DJP2PacketIterator::Search() {
    switch (order_) {
    case kProgLRCP: return SearchLRCP();
    case kProgRLCP: return SearchRLCP();
    case kProgRPCL: return SearchRPCL();
    case kProgPCRL: return SearchPCRL();
    default: return SearchCPRL();
    }
}

// Each search resumes inside its innermost loop, just after the packet it
// yielded last; on the first call of a record its loops start afresh.

bool DJP2PacketIterator::SearchLRCP() {
    if (!firstCall_)
        goto resume;
    firstCall_ = false;
    for (layer_ = 0; layer_ < lye_; ++layer_)
        for (res_ = rs_; res_ < re_; ++res_)
            for (comp_ = cs_; comp_ < ce_; ++comp_) {
                if (res_ >= CompResolutions(comp_))
                    continue;
                for (py_ = 0; py_ < GridOf(comp_, res_).ny; ++py_)
                    for (px_ = 0; px_ < GridOf(comp_, res_).nx; ++px_) {
                        if (TryYield())
                            return true;
                    resume:;
                    }
            }
    return false;
}

bool DJP2PacketIterator::SearchRLCP() {
    if (!firstCall_)
        goto resume;
    firstCall_ = false;
    for (res_ = rs_; res_ < re_; ++res_)
        for (layer_ = 0; layer_ < lye_; ++layer_)
            for (comp_ = cs_; comp_ < ce_; ++comp_) {
                if (res_ >= CompResolutions(comp_))
                    continue;
                for (py_ = 0; py_ < GridOf(comp_, res_).ny; ++py_)
                    for (px_ = 0; px_ < GridOf(comp_, res_).nx; ++px_) {
                        if (TryYield())
                            return true;
                    resume:;
                    }
            }
    return false;
}

bool DJP2PacketIterator::SearchRPCL() {
    if (!firstCall_)
        goto resume;
    firstCall_ = false;
    Steps(0, components_);
    for (res_ = rs_; res_ < re_; ++res_)
        for (y_ = ty0_; y_ < ty1_; y_ = NextMultiple(y_, yStep_))
            for (x_ = tx0_; x_ < tx1_; x_ = NextMultiple(x_, xStep_))
                for (comp_ = cs_; comp_ < ce_; ++comp_) {
                    if (res_ >= CompResolutions(comp_) || !PrecinctAt(comp_, res_, x_, y_))
                        continue;
                    for (layer_ = 0; layer_ < lye_; ++layer_) {
                        if (TryYield())
                            return true;
                    resume:;
                    }
                }
    return false;
}

bool DJP2PacketIterator::SearchPCRL() {
    if (!firstCall_)
        goto resume;
    firstCall_ = false;
    Steps(0, components_);
    for (y_ = ty0_; y_ < ty1_; y_ = NextMultiple(y_, yStep_))
        for (x_ = tx0_; x_ < tx1_; x_ = NextMultiple(x_, xStep_))
            for (comp_ = cs_; comp_ < ce_; ++comp_)
                for (res_ = rs_; res_ < re_; ++res_) {
                    if (res_ >= CompResolutions(comp_) || !PrecinctAt(comp_, res_, x_, y_))
                        continue;
                    for (layer_ = 0; layer_ < lye_; ++layer_) {
                        if (TryYield())
                            return true;
                    resume:;
                    }
                }
    return false;
}

bool DJP2PacketIterator::SearchCPRL() {
    if (!firstCall_)
        goto resume;
    firstCall_ = false;
    for (comp_ = cs_; comp_ < ce_; ++comp_) {
        Steps(comp_, comp_ + 1);
        for (y_ = ty0_; y_ < ty1_; y_ = NextMultiple(y_, yStep_))
            for (x_ = tx0_; x_ < tx1_; x_ = NextMultiple(x_, xStep_))
                for (res_ = rs_; res_ < re_; ++res_) {
                    if (res_ >= CompResolutions(comp_) || !PrecinctAt(comp_, res_, x_, y_))
                        continue;
                    for (layer_ = 0; layer_ < lye_; ++layer_) {
                        if (TryYield())
                            return true;
                    resume:;
                    }
                }
    }
    return false;
}
