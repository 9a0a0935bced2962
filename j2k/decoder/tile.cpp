// Tile geometry, the sub-band planes and the packet structure.
#include "j2k/decoder/tile.h"

#include "j2k/decoder/geometry.h"

void DJP2TileCoding::InitFromMainHeader(const DJP2MainHeader& h) {
    ownStyle.reset();
    ownQuant.reset();
    ownProgression.reset();
    ownComponentStyle.clear();
    ownComponentStyle.resize(h.componentCount);
    ownComponentQuant.clear();
    ownComponentQuant.resize(h.componentCount);
    ownCod = false;
    progression = h.poc.Size() ? h.poc.Data() : nullptr;
    progressionCount = h.poc.Size();
    cod = h.cod;
    quant.Resize(h.componentCount);
    style.Resize(h.componentCount);
    for (uint32_t c = 0; c < h.componentCount; ++c) {
        quant[c] = &h.Quant(c);
        style[c] = &h.Style(c);
    }
}

void SubbandPlanes::Build(const J2KRect& tc, uint32_t nl) {
    rect = tc;
    levels = nl;
    level.Resize(nl);
    for (uint32_t i = 0; i < nl; ++i) {
        const J2KRect hl = BandRectOf(i, 2), lh = BandRectOf(i, 1), hh = BandRectOf(i, 3);
        level[i].hl.Allocate(hl.width, hl.height);
        level[i].lh.Allocate(lh.width, lh.height);
        level[i].hh.Allocate(hh.width, hh.height);
    }
    const J2KRect l = LLRect();
    ll.Allocate(l.width, l.height);
}

J2KRect SubbandPlanes::BandRectOf(uint32_t i, uint32_t o) const { return BandRect(ScaleRectUp(rect, i), o); }

J2KRect SubbandPlanes::LLRect() const { return ScaleRectUp(rect, levels); }

void DJP2TagTree::Resize(uint32_t c, uint32_t r) {
    columns = c;
    rows = r;
    levelCount = 0;
    uint64_t total = 0;
    if (c && r) {
        uint32_t w = c, h = r;
        for (;;) {
            total += uint64_t(w) * h;
            ++levelCount;
            if (w == 1 && h == 1)
                break;
            w = (w + 1) / 2;
            h = (h + 1) / 2;
        }
    }
    nodes.Resize(static_cast<uint32_t>(total));
    for (uint32_t i = 0; i < nodes.Count(); ++i)
        nodes[i].value = 0x7FFFFFFFu;
}

DJP2BandExponents BandExponents(const DJP2QuantParams& q, uint32_t levels) {
    DJP2BandExponents e;
    e.level.resize(levels);
    if (q.style == 1) {
        // Derived steps: the base exponent, lowered by the levels above the band.
        const int32_t e0 = q.derivedStep.second;
        e.ll = uint32_t(e0);
        for (uint32_t i = 0; i < levels; ++i) {
            const uint32_t v = uint32_t(e0 - int32_t(levels) + int32_t(i + 1));
            e.level[i] = {v, v, v};
        }
        return e;
    }
    if (q.levelCount < levels)
        ThrowDiagn<DJP2CSException, 7>();
    e.ll = uint32_t(q.llStep.second);
    const uint32_t skip = q.levelCount - levels;
    for (uint32_t i = 0; i < levels; ++i) {
        const DJP2QuantTriple& t = q.levelSteps[i + skip];
        e.level[i] = {uint32_t(t.hl.second), uint32_t(t.lh.second), uint32_t(t.hh.second)};
    }
    return e;
}

void DJP2Tile::SetOutput(BDiagnOutput* output) { diag_.SetOutput(output); }

void DJP2Tile::Init(const DJP2MainHeader& h, uint32_t index) {
    header_ = &h;
    const IntPair grid = h.TileGrid();
    const uint32_t across = grid.first > 0 ? uint32_t(grid.first) : 1;
    const int64_t p = index % across, q = index / across;
    // The nominal tile may start left of 0 when the grid origin was moved back.
    const int64_t nx0 = int64_t(h.tileOrigin.first) + p * h.tileSize.first;
    const int64_t ny0 = int64_t(h.tileOrigin.second) + q * h.tileSize.second;
    const int64_t x0 = nx0 > h.imageRect.x0 ? nx0 : h.imageRect.x0;
    const int64_t y0 = ny0 > h.imageRect.y0 ? ny0 : h.imageRect.y0;
    const int64_t x1e = nx0 + h.tileSize.first, y1e = ny0 + h.tileSize.second;
    const int64_t x1 = x1e < int64_t(h.imageRect.x1()) ? x1e : int64_t(h.imageRect.x1());
    const int64_t y1 = y1e < int64_t(h.imageRect.y1()) ? y1e : int64_t(h.imageRect.y1());
    rect_ = J2KRect(uint32_t(x0), uint32_t(y0), uint32_t(x1 > x0 ? x1 - x0 : 0), uint32_t(y1 > y0 ? y1 - y0 : 0));
    coding_.InitFromMainHeader(h);
    planes_.Resize(h.componentCount);
    packets_.Resize(h.componentCount);
    planesBuilt_ = packetsBuilt_ = 0;
    tilePartsRead = tilePartsExpected = 0;
    transformAllowed = 0;
    tilePartExtents.clear();
    iterator_.Initialise(rect_, h.sampling.Data(), coding_.cod, coding_.style.Data(), h.componentCount,
                         coding_.progression, coding_.progressionCount);
}

J2KRect DJP2Tile::ComponentRect(uint32_t c) const {
    const IntPair s = header_->sampling[c];
    const uint32_t x0 = CeilDivU32(rect_.x0, uint32_t(s.first)), y0 = CeilDivU32(rect_.y0, uint32_t(s.second));
    const uint32_t x1 = uint32_t(CeilDivU64(uint64_t(rect_.x0) + rect_.width, uint32_t(s.first)));
    const uint32_t y1 = uint32_t(CeilDivU64(uint64_t(rect_.y0) + rect_.height, uint32_t(s.second)));
    return J2KRect(x0, y0, x1 - x0, y1 - y0);
}

void DJP2Tile::BuildPlanes(uint32_t reduction) {
    reduction_ = reduction;
    for (uint32_t c = 0; c < planes_.Count(); ++c) {
        const uint32_t nl = coding_.style[c]->levels;
        planes_[c].Build(ScaleRectUp(ComponentRect(c), reduction), nl > reduction ? nl - reduction : 0);
    }
    planesBuilt_ = 1;
}

void DJP2Tile::BuildPacketStructure(uint32_t reduction) {
    if (!planesBuilt_ || reduction != reduction_)
        BuildPlanes(reduction);
    for (uint32_t c = 0; c < packets_.Count(); ++c) {
        const DJP2CodingStyle& s = *coding_.style[c];
        const DJP2QuantParams& q = *coding_.quant[c];
        const SubbandPlanes& planes = planes_[c];
        const uint32_t nl = planes.levels;
        const DJP2BandExponents exps = BandExponents(q, nl);
        DJP2TileComponentPackets& pk = packets_[c];
        pk.levels.Resize(nl);
        pk.firstResolution = 0xFFFFFFFFu;
        const uint32_t precision = header_->ssiz[c] & 0x7F;
        const uint32_t layers = coding_.cod.layers;
        auto resolution = [&](uint32_t r) { return ScaleRectUp(planes.rect, nl - r); };
        SetupBand(pk.ll, planes.ll, 0, resolution(0), s.PrecinctExp(0), s.codeBlockExp, s.modeFlags, layers,
                  q.guardBits, precision, exps.ll);
        if (!pk.ll.empty)
            pk.firstResolution = 0;
        for (uint32_t i = 0; i < nl; ++i) {
            const uint32_t r = nl - i;
            const J2KRect rr = resolution(r);
            DJP2LevelBands& lb = pk.levels[i];
            const IntPair pp = s.PrecinctExp(r);
            SetupBand(lb.hl, planes.level[i].hl, 2, rr, pp, s.codeBlockExp, s.modeFlags, layers, q.guardBits,
                      precision, exps.level[i][0]);
            SetupBand(lb.lh, planes.level[i].lh, 1, rr, pp, s.codeBlockExp, s.modeFlags, layers, q.guardBits,
                      precision, exps.level[i][1]);
            SetupBand(lb.hh, planes.level[i].hh, 3, rr, pp, s.codeBlockExp, s.modeFlags, layers, q.guardBits,
                      precision, exps.level[i][2]);
            if (r < pk.firstResolution && !(lb.hl.empty && lb.lh.empty && lb.hh.empty))
                pk.firstResolution = r;
        }
    }
    packetsBuilt_ = 1;
}

void DJP2Tile::SetupBand(DJP2Band& band, const DJP2PlaneBuffer& plane, uint32_t o, const J2KRect& res,
                         IntPair pp, IntPair cb, uint32_t mode, uint32_t layers, uint32_t guardBits,
                         uint32_t precision, uint32_t exponent) {
    const uint32_t rb = precision + BandGain(o) + 1;
    const int32_t offset = int32_t(exponent) - int32_t(rb);
    band.orientation = o;
    band.rect = BandRect(res, o);
    band.empty = band.rect.Empty() ? 1 : 0;
    const RectPartition precincts(res, uint32_t(pp.first), uint32_t(pp.second));
    band.precinctColumns = precincts.x.count;
    band.precinctRows = precincts.y.count;
    band.precincts.Resize(precincts.Count());
    for (uint32_t k = 0; k < precincts.Count(); ++k) {
        const J2KRect cell = precincts.Cell(k);
        const J2KRect onRes(res.x0 + cell.x0, res.y0 + cell.y0, cell.width, cell.height);
        const J2KRect pb = BandRect(onRes, o);
        DJP2Precinct& pr = band.precincts[k];
        pr.bandRect = pb;
        const PlaneRef base = plane.Ref().At(pb.x0 - band.rect.x0, pb.y0 - band.rect.y0);
        const RectPartition blocks(pb, uint32_t(cb.first), uint32_t(cb.second));
        pr.blockColumns = blocks.x.count;
        pr.blockRows = blocks.y.count;
        pr.blocks.Resize(blocks.Count());
        for (uint32_t b = 0; b < blocks.Count(); ++b) {
            const J2KRect bc = blocks.Cell(b);
            DJP2CodeBlock& blk = pr.blocks[b];
            blk.SetOutput(diag_.Output());
            blk.Setup(base.At(bc.x0, bc.y0), J2KRect(pb.x0 + bc.x0, pb.y0 + bc.y0, bc.width, bc.height), layers, o,
                      guardBits, rb, offset, mode);
        }
        pr.inclusion.Resize(pr.blockColumns, pr.blockRows);
        pr.zeroPlanes.Resize(pr.blockColumns, pr.blockRows);
        pr.bypass = (mode & kModeBypass) ? 1 : 0;
        pr.termAll = (mode & kModeTermAll) ? 1 : 0;
    }
}

void DJP2Tile::RetargetFrom(const DJP2Tile& t, uint32_t reduction) {
    header_ = t.header_;
    rect_ = t.rect_;
    coding_.progression = t.coding_.progression;
    coding_.progressionCount = t.coding_.progressionCount;
    coding_.cod = t.coding_.cod;
    coding_.quant = t.coding_.quant;
    coding_.style = t.coding_.style;
    iterator_ = t.iterator_;
    transformAllowed = t.transformAllowed;
    tilePartExtents = t.tilePartExtents;
    planes_.Resize(t.planes_.Count());
    packets_.Resize(t.packets_.Count());
    // The trees follow the reduced geometry; they are built afresh.
    planesBuilt_ = packetsBuilt_ = 0;
    BuildPacketStructure(reduction);
}
