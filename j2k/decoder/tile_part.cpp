// Tile-part headers: the first one of a tile may replace the coding style,
// quantisation and progression records of the main header for that tile;
// later ones may only change the progression. Regions of interest and packed
// packet headers are not decoded, so streams that use them are refused rather
// than decoded wrongly.
#include "j2k/byte_input.h"
#include "j2k/decoder/main_header.h"
#include "j2k/decoder/tile.h"

namespace {

// Reads marker segments up to SOD; `handle` gets each marker inside the
// bound of its segment.
template <class Input, class Handler>
void ReadSegments(Input& in, const DiagnOutputRef& diag, Handler handle) {
    for (;;) {
        const uint16_t marker = ReadMarker(in);
        if (marker == kMarkerSOD)
            return;
        const uint16_t length = ReadSegmentLength(in);
        if (in.PushBound(length) < length)
            diag.Warn<DJP2CSWarning, 18>();
        handle(marker);
        if (in.PopBound() != 0)
            diag.Warn<DJP2CSWarning, 17>();
    }
}

} // namespace

template <class Input>
void DJP2Tile::ReadTilePartHeader(Input& in, uint32_t tpsot, uint32_t tnsot) {
    if (tpsot != tilePartsRead)
        diag_.Warn<DJP2CSWarning, 24>();
    if (tnsot != 0) {
        if (tilePartsExpected != 0 && tilePartsExpected != tnsot) {
            diag_.Warn<DJP2CSWarning, 25>();
            if (tnsot > tilePartsExpected)
                tilePartsExpected = tnsot;
        } else if (tilePartsExpected == 0) {
            tilePartsExpected = tnsot;
        }
    }
    if (tilePartsExpected != 0 && tilePartsRead >= tilePartsExpected)
        diag_.Warn<DJP2CSWarning, 29>();
    if (tilePartsRead == 0)
        ReadFirstTilePartHeader(in);
    else
        ReadLaterTilePartHeader(in);
    ++tilePartsRead;
}

template <class Input>
void DJP2Tile::ReadFirstTilePartHeader(Input& in) {
    const DJP2MainHeader& h = *header_;
    coding_.InitFromMainHeader(h);
    const uint32_t n = h.componentCount;
    ReadSegments(in, diag_, [&](uint16_t marker) {
        switch (marker) {
        case kMarkerCOD: {
            if (coding_.ownCod)
                diag_.Warn<DJP2CSWarning, 12>();
            coding_.ownCod = true;
            coding_.ownStyle = std::make_unique<DJP2CodingStyle>();
            h.ReadCodBody(in, coding_.cod, *coding_.ownStyle);
            // The tile's COD replaces every component's style, COC overrides
            // of the main header included; COC segments read earlier in this
            // header are dropped as well.
            for (uint32_t c = 0; c < n; ++c) {
                coding_.ownComponentStyle[c].reset();
                coding_.style[c] = coding_.ownStyle.get();
            }
            break;
        }
        case kMarkerCOC: {
            const uint16_t c = h.ReadComponentIndex(in);
            if (c >= n)
                ThrowDiagn<DJP2CSException, 3>();
            if (coding_.ownComponentStyle[c])
                diag_.Warn<DJP2CSWarning, 13>();
            auto style = std::make_unique<DJP2CodingStyle>();
            const uint8_t scoc = in.Read8();
            DJP2MainHeader::ReadCodingStyle(in, *style, scoc & 1);
            coding_.style[c] = style.get();
            coding_.ownComponentStyle[c] = std::move(style);
            break;
        }
        case kMarkerQCD: {
            if (coding_.ownQuant)
                diag_.Warn<DJP2CSWarning, 14>();
            auto q = std::make_unique<DJP2QuantParams>();
            q->diag = diag_;
            DJP2MainHeader::ReadQuantValues(in, *q);
            for (uint32_t c = 0; c < n; ++c) {
                coding_.ownComponentQuant[c].reset();
                coding_.quant[c] = q.get();
            }
            coding_.ownQuant = std::move(q);
            break;
        }
        case kMarkerQCC: {
            const uint16_t c = h.ReadComponentIndex(in);
            if (c >= n)
                ThrowDiagn<DJP2CSException, 4>();
            if (coding_.ownComponentQuant[c])
                diag_.Warn<DJP2CSWarning, 15>();
            auto q = std::make_unique<DJP2QuantParams>();
            q->diag = diag_;
            DJP2MainHeader::ReadQuantValues(in, *q);
            coding_.quant[c] = q.get();
            coding_.ownComponentQuant[c] = std::move(q);
            break;
        }
        case kMarkerPOC: {
            if (coding_.ownProgression)
                diag_.Warn<DJP2CSWarning, 16>();
            auto list = std::make_unique<CodecVector<DJP2PocEntry>>();
            h.ReadPocEntries(in, *list);
            coding_.progression = list->Size() ? list->Data() : nullptr;
            coding_.progressionCount = list->Size();
            coding_.ownProgression = std::move(list);
            break;
        }
        case kMarkerPLT: in.Skip(in.Remaining()); diag_.Warn<DJP2CSWarning, 23>(); break;
        case kMarkerCOM: in.Skip(in.Remaining()); diag_.Warn<DJP2CSWarning, 22>(); break;
        case kMarkerPPM: ThrowDiagn<DJP2CSUnsuppException, 2>();
        case kMarkerRGN: ThrowDiagn<DJP2CSUnsuppException, 4>();
        case kMarkerPPT: ThrowDiagn<DJP2CSUnsuppException, 21>();
        default: diag_.Warn<DJP2CSWarning, 11>(); in.Skip(in.Remaining()); break;
        }
    });

    // Every component's step table must cover its decomposition levels.
    for (uint32_t c = 0; c < n; ++c)
        BandExponents(*coding_.quant[c], coding_.style[c]->levels);
    CheckComponentTransform();
    iterator_.Initialise(rect_, h.sampling.Data(), coding_.cod, coding_.style.Data(), n, coding_.progression,
                         coding_.progressionCount);
}

template <class Input>
void DJP2Tile::ReadLaterTilePartHeader(Input& in) {
    const DJP2MainHeader& h = *header_;
    std::unique_ptr<CodecVector<DJP2PocEntry>> latest;
    ReadSegments(in, diag_, [&](uint16_t marker) {
        switch (marker) {
        case kMarkerPOC: {
            if (latest)
                diag_.Warn<DJP2CSWarning, 16>();
            latest = std::make_unique<CodecVector<DJP2PocEntry>>();
            h.ReadPocEntries(in, *latest);
            break;
        }
        case kMarkerPLT: in.Skip(in.Remaining()); diag_.Warn<DJP2CSWarning, 23>(); break;
        case kMarkerCOM: in.Skip(in.Remaining()); diag_.Warn<DJP2CSWarning, 22>(); break;
        case kMarkerPPM: ThrowDiagn<DJP2CSUnsuppException, 2>();
        case kMarkerRGN: ThrowDiagn<DJP2CSUnsuppException, 4>();
        case kMarkerPPT: ThrowDiagn<DJP2CSUnsuppException, 21>();
        default: diag_.Warn<DJP2CSWarning, 11>(); in.Skip(in.Remaining()); break;
        }
    });
    if (latest) {
        // The iterator keeps walking this list: it stays owned with the tile.
        iterator_.NewTilePart(latest->Size() ? latest->Data() : nullptr, latest->Size());
        tilePartLists_.push_back(std::move(latest));
    } else {
        iterator_.NewTilePart(coding_.progression, coding_.progressionCount);
    }
}

void DJP2Tile::CheckComponentTransform() {
    transformAllowed = 0;
    const uint32_t n = header_->componentCount;
    if (n >= 3) {
        const uint32_t t0 = coding_.style[0]->transform;
        if (coding_.style[1]->transform != t0 || coding_.style[2]->transform != t0) {
            diag_.Warn<DJP2CSWarning, 2>();
            return;
        }
        transformAllowed = 1;
    } else if (coding_.cod.mct) {
        diag_.Warn<DJP2CSWarning, 1>();
    }
}

template void DJP2Tile::ReadTilePartHeader<MemoryBoundedInputBE>(MemoryBoundedInputBE&, uint32_t, uint32_t);
template void DJP2Tile::ReadTilePartHeader<BoundedInputBE>(BoundedInputBE&, uint32_t, uint32_t);
