// Main-header reading: the marker loop and the parsers of SIZ, COD, COC, QCD,
// QCC and POC. Every segment is read inside a bound of its declared length.
#include "j2k/decoder/main_header.h"

#include "j2k/byte_input.h"

uint16_t MarkerFromCode(uint16_t code) {
    switch (code) {
    case kMarkerSOC: case kMarkerSIZ: case kMarkerCOD: case kMarkerCOC: case kMarkerTLM:
    case kMarkerPLM: case kMarkerPLT: case kMarkerQCD: case kMarkerQCC: case kMarkerRGN:
    case kMarkerPOC: case kMarkerPPM: case kMarkerPPT: case kMarkerCRG: case kMarkerCOM:
    case kMarkerSOT: case kMarkerSOP: case kMarkerEPH: case kMarkerSOD: case kMarkerEOC:
        return code;
    default:
        return kMarkerUnknown;
    }
}

uint32_t DJP2CodingStyle::ModeWord(uint8_t style) {
    uint32_t mode = 0;
    if (style & 0x01) mode |= kModeBypass;
    if (style & 0x02) mode |= kModeResetContexts;
    if (style & 0x04) mode |= kModeTermAll;
    if (style & 0x08) mode |= kModeVerticalCausal;
    if (style & 0x10) mode |= kModePredictableTerm;
    if (style & 0x20) mode |= kModeSegmentSymbol;
    return mode;
}

void DJP2MainHeader::DeleteOwnRecords() {
    for (uint32_t c = 0; c < quantTable_.Count(); ++c)
        if (quantTable_[c] != &quantDefaults_)
            delete quantTable_[c];
    for (uint32_t c = 0; c < styleTable_.Count(); ++c)
        if (styleTable_[c] != &styleDefaults_)
            delete styleTable_[c];
    quantTable_.Free();
    styleTable_.Free();
}

void DJP2MainHeader::Reset() {
    imageRect = J2KRect();
    tileOrigin = IntPair();
    tileSize = IntPair();
    componentCount = 0;
    ssiz.Free();
    sampling.Free();
    DeleteOwnRecords();
    cod = DJP2CodParams();
    poc.Free();
    codMissing = 1;
    rsiz = 0;
}

IntPair DJP2MainHeader::TileGrid() const {
    if (tileSize.first <= 0 || tileSize.second <= 0)
        return IntPair();
    const int64_t spanX = int64_t(imageRect.x0) + imageRect.width - tileOrigin.first;
    const int64_t spanY = int64_t(imageRect.y0) + imageRect.height - tileOrigin.second;
    const int64_t across = spanX <= 0 ? 0 : (spanX + tileSize.first - 1) / tileSize.first;
    const int64_t down = spanY <= 0 ? 0 : (spanY + tileSize.second - 1) / tileSize.second;
    return IntPair(static_cast<int32_t>(across), static_cast<int32_t>(down));
}

uint32_t DJP2MainHeader::TileCount() const {
    const IntPair g = TileGrid();
    return static_cast<uint32_t>(g.first) * static_cast<uint32_t>(g.second);
}

template <class Input>
uint16_t DJP2MainHeader::ReadComponentIndex(Input& in) const {
    return componentCount >= 257 ? in.Read16() : in.Read8();
}

template <class Input>
bool DJP2MainHeader::Read(Input& in) {
    if (ReadMarker(in) != kMarkerSOC)
        ThrowDiagn<DJP2CSException, 1>();
    if (ReadMarker(in) != kMarkerSIZ)
        ThrowDiagn<DJP2CSException, 2>();

    // One segment: length, bound, body, bound closed.
    bool sizRead = false;
    auto segment = [&](uint16_t marker) {
        const uint16_t length = ReadSegmentLength(in);
        if (in.PushBound(length) < length)
            diag.Warn<DJP2CSWarning, 18>();
        switch (marker) {
        case kMarkerSIZ:
            if (sizRead)
                goto unknown;
            ReadSIZ(in);
            sizRead = true;
            break;
        case kMarkerCOD: ReadCOD(in); break;
        case kMarkerCOC: ReadCOC(in); break;
        case kMarkerQCD: ReadQCD(in); break;
        case kMarkerQCC: ReadQCC(in); break;
        case kMarkerPOC: ReadPOC(in); break;
        case kMarkerTLM: in.Skip(in.Remaining()); diag.Warn<DJP2CSWarning, 19>(); break;
        case kMarkerPLM: in.Skip(in.Remaining()); diag.Warn<DJP2CSWarning, 20>(); break;
        case kMarkerCRG: in.Skip(in.Remaining()); diag.Warn<DJP2CSWarning, 21>(); break;
        case kMarkerCOM: in.Skip(in.Remaining()); diag.Warn<DJP2CSWarning, 22>(); break;
        case kMarkerRGN: ThrowDiagn<DJP2CSUnsuppException, 4>();
        case kMarkerPPM: ThrowDiagn<DJP2CSUnsuppException, 2>();
        default:
        unknown:
            diag.Warn<DJP2CSWarning, 4>();
            in.Skip(in.Remaining());
            break;
        }
        if (in.PopBound() != 0)
            diag.Warn<DJP2CSWarning, 17>();
    };

    segment(kMarkerSIZ);

    DeleteOwnRecords();
    quantTable_.Resize(componentCount);
    styleTable_.Resize(componentCount);
    for (uint32_t c = 0; c < componentCount; ++c) {
        quantTable_[c] = &quantDefaults_;
        styleTable_[c] = &styleDefaults_;
    }

    for (;;) {
        const uint16_t marker = ReadMarker(in);
        if (marker == kMarkerSOT)
            break;
        if (marker == kMarkerEOC) {
            diag.Warn<DJP2CSWarning, 10>();
            return false;
        }
        segment(marker);
    }
    if (codMissing)
        ThrowDiagn<DJP2CSException, 5>();
    if (quantDefaults_.missing)
        ThrowDiagn<DJP2CSException, 6>();
    return true;
}

template <class Input>
void DJP2MainHeader::ReadSIZ(Input& in) {
    rsiz = in.Read16();
    // Capabilities beyond the core coding system decode wrongly here: Part-2
    // extensions (bit 15) and high-throughput code-blocks (bit 14) are refused;
    // any other profile value only constrains an ordinary stream.
    if (rsiz & 0x8000)
        ThrowDiagn<DJP2CSUnsuppException, 19>();
    if (rsiz & 0x4000)
        ThrowDiagn<DJP2CSUnsuppException, 20>();
    if (rsiz != 0)
        diag.Warn<DJP2MarkerWarning, 3>();
    uint32_t v[8];
    for (uint32_t& value : v)
        value = in.Read32();
    for (uint32_t value : v)
        if (value > 0x7FFFFFFFu)
            ThrowDiagn<DJP2MarkerException, 1>();
    const uint32_t xsiz = v[0], ysiz = v[1], xo = v[2], yo = v[3];
    const uint32_t xt = v[4], yt = v[5];
    int64_t xto = v[6], yto = v[7];
    if (xo > xsiz || yo > ysiz)
        ThrowDiagn<DJP2MarkerException, 2>();
    // The tile grid divides by the tile size.
    if (xt == 0 || yt == 0)
        ThrowDiagn<DJP2MarkerException, 12>();
    imageRect = J2KRect(xo, yo, xsiz - xo, ysiz - yo);
    tileSize = IntPair(static_cast<int32_t>(xt), static_cast<int32_t>(yt));
    if (xo < xto || yo < yto) {
        diag.Warn<DJP2MarkerWarning, 4>();
        if (xo < xto)
            xto -= int64_t(xt) * int64_t(CeilDivU64(uint64_t(xto - xo), xt));
        if (yo < yto)
            yto -= int64_t(yt) * int64_t(CeilDivU64(uint64_t(yto - yo), yt));
    }
    tileOrigin = IntPair(static_cast<int32_t>(xto), static_cast<int32_t>(yto));
    {
        const IntPair g = TileGrid();
        if (uint64_t(g.first) * uint64_t(g.second) > kMaxTileCount)
            ThrowDiagn<DJP2MarkerException, 16>();
    }
    componentCount = in.Read16();
    if (componentCount == 0)
        ThrowDiagn<DJP2MarkerException, 14>();
    ssiz.Resize(componentCount);
    sampling.Resize(componentCount);
    for (uint32_t c = 0; c < componentCount; ++c) {
        ssiz[c] = in.Read8();
        if ((ssiz[c] & 0x7F) > 37)
            diag.Warn<DJP2MarkerWarning, 5>();
        const uint8_t xr = in.Read8();
        const uint8_t yr = in.Read8();
        // Component sizes divide by the sampling factors.
        if (xr == 0 || yr == 0)
            ThrowDiagn<DJP2MarkerException, 13>();
        sampling[c] = IntPair(xr, yr);
    }
}

template <class Input>
void DJP2MainHeader::ReadCodingStyle(Input& in, DJP2CodingStyle& style, bool precincts) {
    const uint8_t levels = in.Read8();
    if (levels > 32)
        ThrowDiagn<DJP2MarkerException, 4>();
    style.levels = levels;
    const uint32_t xcb = in.Read8() & 0x0F;
    if (xcb > 8)
        ThrowDiagn<DJP2MarkerException, 5>();
    const uint32_t ycb = in.Read8() & 0x0F;
    if (ycb > 8)
        ThrowDiagn<DJP2MarkerException, 6>();
    style.codeBlockExp = IntPair(static_cast<int32_t>(xcb + 2), static_cast<int32_t>(ycb + 2));
    const uint8_t cbStyle = in.Read8();
    // Bit 6 marks high-throughput code-blocks, which the MQ decoder cannot read.
    if (cbStyle & 0x40)
        ThrowDiagn<DJP2CSUnsuppException, 20>();
    style.modeFlags = DJP2CodingStyle::ModeWord(cbStyle);
    const uint8_t transform = in.Read8();
    if (transform > 1)
        ThrowDiagn<DJP2MarkerException, 7>();
    style.transform = transform;
    style.precinctExp.Resize(levels + 1u);
    for (uint32_t r = 0; r <= levels; ++r) {
        if (precincts) {
            const uint8_t b = in.Read8();
            style.precinctExp[r] = IntPair(b & 0x0F, b >> 4);
        } else {
            style.precinctExp[r] = IntPair(15, 15);
        }
    }
}

template <class Input>
void DJP2MainHeader::ReadCOD(Input& in) {
    if (codMissing)
        codMissing = 0;
    else
        diag.Warn<DJP2CSWarning, 5>();
    ReadCodBody(in, cod, styleDefaults_);
}

template <class Input>
void DJP2MainHeader::ReadCodBody(Input& in, DJP2CodParams& params, DJP2CodingStyle& style) const {
    const uint8_t scod = in.Read8();
    const uint8_t order = in.Read8();
    if (order > 4)
        ThrowDiagn<DJP2MarkerException, 3>();
    const uint16_t layers = in.Read16();
    if (layers == 0)
        diag.Warn<DJP2MarkerWarning, 2>();
    uint8_t mct = in.Read8();
    if (mct > 1) {
        diag.Warn<DJP2MarkerWarning, 6>();
        mct = 0;
    }
    params.progression = order;
    params.layers = layers;
    params.sop = (scod & 2) ? 1 : 0;
    params.eph = (scod & 4) ? 1 : 0;
    params.mct = mct;
    ReadCodingStyle(in, style, scod & 1);
}

template <class Input>
void DJP2MainHeader::ReadCOC(Input& in) {
    const uint16_t c = ReadComponentIndex(in);
    if (c >= componentCount)
        ThrowDiagn<DJP2CSException, 3>();
    if (styleTable_[c] != &styleDefaults_) {
        diag.Warn<DJP2CSWarning, 7>();
        delete styleTable_[c];
        styleTable_[c] = &styleDefaults_;
    }
    auto* style = new DJP2CodingStyle();
    styleTable_[c] = style;
    const uint8_t scoc = in.Read8();
    ReadCodingStyle(in, *style, scoc & 1);
}

template <class Input>
void DJP2MainHeader::ReadQuantValues(Input& in, DJP2QuantParams& q) {
    const uint8_t sqcd = in.Read8();
    uint32_t style = sqcd & 0x1F;
    if (style >= 3) {
        q.diag.Warn<DJP2CSWarning, 0>();
        style = 0;
    }
    q.style = style;
    q.guardBits = sqcd >> 5;
    if (style == 1) {
        const uint16_t v = in.Read16();
        q.derivedStep = IntPair(v & 0x7FF, (v >> 11) & 0x1F);
    } else {
        // A body too short for even the LL step would wrap the level count.
        const uint64_t remaining = in.Remaining();
        const uint64_t unit = style == 2 ? 2 : 1;
        if (remaining < unit)
            ThrowDiagn<DJP2MarkerException, 15>();
        const uint32_t n = static_cast<uint32_t>((remaining - unit) / (3 * unit));
        q.tableLevels = n;
        q.levelCount = n;
        q.levelSteps.Resize(n);
        auto step = [&]() {
            if (style == 2) {
                const uint16_t v = in.Read16();
                return IntPair(v & 0x7FF, (v >> 11) & 0x1F);
            }
            return IntPair(0, (in.Read8() >> 3) & 0x1F);
        };
        q.llStep = step();
        for (uint32_t k = n; k-- > 0;) {
            q.levelSteps[k].hl = step();
            q.levelSteps[k].lh = step();
            q.levelSteps[k].hh = step();
        }
    }
    q.missing = 0;
}

template <class Input>
void DJP2MainHeader::ReadQCD(Input& in) {
    if (!quantDefaults_.missing)
        diag.Warn<DJP2CSWarning, 6>();
    quantDefaults_.diag = diag;
    ReadQuantValues(in, quantDefaults_);
}

template <class Input>
void DJP2MainHeader::ReadQCC(Input& in) {
    const uint16_t c = ReadComponentIndex(in);
    if (c >= componentCount)
        ThrowDiagn<DJP2CSException, 4>();
    if (quantTable_[c] != &quantDefaults_) {
        diag.Warn<DJP2CSWarning, 8>();
        delete quantTable_[c];
        quantTable_[c] = &quantDefaults_;
    }
    auto* q = new DJP2QuantParams();
    quantTable_[c] = q;
    q->diag = diag;
    ReadQuantValues(in, *q);
}

template <class Input>
void DJP2MainHeader::ReadPOC(Input& in) {
    if (poc.Size() != 0)
        diag.Warn<DJP2CSWarning, 9>();
    ReadPocEntries(in, poc);
}

template <class Input>
void DJP2MainHeader::ReadPocEntries(Input& in, CodecVector<DJP2PocEntry>& list) const {
    const uint64_t entrySize = componentCount >= 257 ? 9 : 7;
    list.Resize(static_cast<uint32_t>(in.Remaining() / entrySize));
    for (uint32_t i = 0; i < list.Size(); ++i) {
        const uint8_t rs = in.Read8();
        if (rs > 33)
            ThrowDiagn<DJP2MarkerException, 8>();
        const uint16_t cs = ReadComponentIndex(in);
        if (cs >= componentCount)
            ThrowDiagn<DJP2MarkerException, 9>();
        const uint16_t lye = in.Read16();
        if (lye == 0)
            diag.Warn<DJP2MarkerWarning, 2>();
        const uint8_t re = in.Read8();
        if (re > 33)
            ThrowDiagn<DJP2MarkerException, 8>();
        if (re < rs)
            ThrowDiagn<DJP2MarkerException, 10>();
        uint32_t ce = ReadComponentIndex(in);
        if (ce > componentCount)
            ThrowDiagn<DJP2MarkerException, 9>();
        if (ce == 0)
            ce = 256;
        if (ce < cs)
            ThrowDiagn<DJP2MarkerException, 11>();
        const uint8_t order = in.Read8();
        DJP2PocEntry& e = list[i];
        e.progression = order;
        e.resolutions = J2KRange(rs, re - rs);
        e.components = J2KRange(cs, ce - cs);
        e.layerEnd = lye;
    }
}

#define VQ_MAIN_HEADER_INPUT(Input)                                                                      \
    template bool DJP2MainHeader::Read<Input>(Input&);                                                     \
    template void DJP2MainHeader::ReadCodBody<Input>(Input&, DJP2CodParams&, DJP2CodingStyle&) const;      \
    template void DJP2MainHeader::ReadCodingStyle<Input>(Input&, DJP2CodingStyle&, bool);                  \
    template void DJP2MainHeader::ReadQuantValues<Input>(Input&, DJP2QuantParams&);                        \
    template void DJP2MainHeader::ReadPocEntries<Input>(Input&, CodecVector<DJP2PocEntry>&) const;         \
    template uint16_t DJP2MainHeader::ReadComponentIndex<Input>(Input&) const;
VQ_MAIN_HEADER_INPUT(MemoryBoundedInputBE)
VQ_MAIN_HEADER_INPUT(BoundedInputBE)
