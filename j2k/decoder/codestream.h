// The code-stream decoder object: bound to a byte input, it reads the main
// header and lays out one tile record per tile of the grid. It is a class
// template over the byte input, so tiles held in memory and streams of files
// share one decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "j2k/codec_types.h"
#include "j2k/diagnostics.h"
#include "j2k/decoder/geometry.h"
#include "j2k/decoder/main_header.h"
#include "j2k/decoder/tile.h"

template <class Input>
class DJP2Codestream {
public:
    DJP2Codestream() = default;
    DJP2Codestream(const DJP2Codestream&) = delete;
    DJP2Codestream& operator=(const DJP2Codestream&) = delete;

    void SetOutput(BDiagnOutput* output) {
        diag_.SetOutput(output);
        header_.diag.SetOutput(output);
    }

    // Binds the input and forgets any earlier stream.
    void AttachInput(Input* input) {
        input_ = input;
        header_.Reset();
        open_ = false;
        firstTilePart_ = true;
        tiles_.Free();
        currentTile_ = -1;
        remaining_ = 0;
        lengthKnown_ = false;
    }

    // Reads the main header, then creates the tiles of the grid.
    void ReadMainHeader() {
        header_.diag = diag_;
        open_ = header_.Read(*input_);
        firstTilePart_ = true;
        const uint32_t count = header_.TileCount();
        tiles_.Resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            tiles_[i].SetOutput(diag_.Output());
            tiles_[i].Init(header_, i);
        }
    }

    // Finds the next SOT segment and reads its tile-part header into the tile
    // it names; false when the code-stream has no tile-part left (EOC).
    bool ReadNextTilePart() {
        if (!open_)
            return false;
        Input& in = *input_;
        if (firstTilePart_) {
            firstTilePart_ = false;
        } else {
            for (;;) {
                const uint16_t marker = ReadMarker(in);
                if (marker == kMarkerSOT)
                    break;
                if (marker == kMarkerEOC) {
                    open_ = false;
                    return false;
                }
                const uint16_t length = ReadSegmentLength(in);
                diag_.template Warn<DJP2CSWarning, 30>();
                in.Skip(length);
            }
        }
        const uint16_t length = ReadSegmentLength(in);
        if (in.PushBound(length) < length)
            diag_.template Warn<DJP2CSWarning, 18>();
        const uint32_t isot = in.Read16();
        const uint32_t psot = in.Read32();
        const uint32_t tpsot = in.Read8();
        const uint32_t tnsot = in.Read8();
        if (in.PopBound() != 0)
            diag_.template Warn<DJP2CSWarning, 17>();
        if (isot >= tiles_.Size())
            ThrowDiagn<DJP2CSException, 0>();
        currentTile_ = int32_t(isot);
        const uint64_t before = in.Consumed();
        tiles_[isot].ReadTilePartHeader(in, tpsot, tnsot);
        // The header's bytes from the first byte of SOT, SOD included.
        const uint64_t used = uint64_t(length) + 4 + (in.Consumed() - before);
        if (psot == 0) {
            lengthKnown_ = false;
            return true;
        }
        if (psot < used) {
            diag_.template Warn<DJP2CSWarning, 26>();
            remaining_ = 0;
            lengthKnown_ = false;
        } else {
            remaining_ = psot - used;
            lengthKnown_ = true;
        }
        return true;
    }

    // Decodes at most one packet of the current tile-part; true while the
    // caller should call again for this tile-part.
    bool DecodeTilePart() {
        if (currentTile_ < 0)
            return false;
        Input& in = *input_;
        DJP2Tile& tile = tiles_[uint32_t(currentTile_)];
        if (!lengthKnown_)
            return tile.DecodeNextPacket(in);
        if (remaining_ == 0)
            return false;
        const uint64_t before = in.Consumed();
        const bool decoded = tile.DecodeNextPacket(in);
        const uint64_t consumed = in.Consumed() - before;
        if (remaining_ < consumed) {
            diag_.template Warn<DJP2CSWarning, 27>();
            remaining_ = 0;
            lengthKnown_ = false;
            return true;
        }
        if (decoded) {
            remaining_ -= consumed;
            return true;
        }
        diag_.template Warn<DJP2CSWarning, 28>();
        in.Skip(remaining_);
        remaining_ = 0;
        return true;
    }

    // Writes every tile's components into the caller's planes, one per
    // component, each holding the component's whole image area (origin at
    // ceil(XOsiz / XRsiz), ceil(YOsiz / YRsiz)).
    void WriteComponents(const PlaneRef* planes) {
        const uint32_t n = header_.componentCount;
        std::vector<PlaneRef> refs(n);
        for (uint32_t t = 0; t < tiles_.Size(); ++t) {
            DJP2Tile& tile = tiles_[t];
            for (uint32_t c = 0; c < n; ++c) {
                const J2KRect r = tile.ComponentRect(c);
                const IntPair s = header_.sampling[c];
                const uint32_t ox = CeilDivU32(header_.imageRect.x0, uint32_t(s.first));
                const uint32_t oy = CeilDivU32(header_.imageRect.y0, uint32_t(s.second));
                refs[c] = PlaneRef(planes[c].data + ptrdiff_t(r.y0 - oy) * planes[c].step + 4 * ptrdiff_t(r.x0 - ox),
                                   planes[c].step);
            }
            tile.WriteComponents(refs.data(), 0);
        }
    }
    // The same into the planes of a decoded-image record set up from the
    // main header (InitImageFromMainHeader).
    void WriteComponents(DJP2Image& image) {
        std::vector<PlaneRef> refs(image.NComponents());
        for (uint32_t c = 0; c < refs.size(); ++c)
            refs[c] = image.Components()[c].Ref();
        WriteComponents(refs.data());
    }

    // Random access to the tiles of a stream held in a file: the tile-part
    // headers are read once and each tile-part's body is recorded (stream
    // position, length) with its tile; a tile is later decoded from its
    // recorded bodies alone, into a decoding copy that the caller owns, so
    // several copies can be reconstructed at once outside any lock.

    // Records the body of the tile-part whose header ReadNextTilePart just
    // read and skips it; false when there is nothing (left) to record. A
    // tile-part of unknown length (Psot 0) runs to the end of the enclosing
    // bound (the code-stream box), as does one whose length passes it.
    bool RecordTilePartData() {
        if (currentTile_ < 0)
            return false;
        Input& in = *input_;
        uint64_t length = lengthKnown_ ? remaining_ : in.Remaining();
        if (length > in.Remaining())
            length = in.Remaining();
        remaining_ = 0;
        lengthKnown_ = true;
        if (length == 0)
            return false;
        tiles_[uint32_t(currentTile_)].tilePartExtents.emplace_back(in.Position(), length);
        in.Skip(length);
        return true;
    }
    // Reads every tile-part header up to the end of the code-stream and
    // records the bodies. The end of the enclosing bound ends the stream
    // as EOC does.
    void IndexTileParts() {
        while (input_->Remaining() >= 2 && ReadNextTilePart())
            while (RecordTilePartData()) {
            }
        open_ = false;
    }
    // Rectangle of tile t on the reference grid; empty when t is not a tile.
    J2KRect TileRect(uint32_t t) const { return t < tiles_.Size() ? tiles_[t].Rect() : J2KRect(); }

    // True when dropping the finest `reduction` resolutions leaves a prefix
    // of tile t's packet sequence, so a reduced decoding may stop early
    // without parsing the packets it leaves out: resolution-major orders, or
    // layer-major with one layer, with no progression changes and every
    // component at the same number of levels, at least `reduction`.
    bool ReducedDecodingAllowed(uint32_t t, uint32_t reduction) const {
        if (reduction == 0)
            return true;
        if (t >= tiles_.Size())
            return false;
        const DJP2Tile& tile = tiles_[t];
        const DJP2TileCoding& c = tile.Coding();
        if (c.progressionCount != 0 || tile.HasTilePartProgressions())
            return false;
        const uint32_t order = c.cod.progression;
        if (!(order == 1 || order == 2 || (order == 0 && c.cod.layers <= 1)))
            return false;
        for (uint32_t k = 0; k < header_.componentCount; ++k)
            if (c.style[k]->levels != c.style[0]->levels || c.style[k]->levels < reduction)
                return false;
        return true;
    }

    // Decodes the packets of tile t that a reconstruction at `reduction`
    // needs, from the recorded tile-part bodies, into `copy` (re-used when
    // given, else a new one). The input's position is kept.
    std::unique_ptr<DJP2Tile> DecodeTileCopy(uint32_t t, std::unique_ptr<DJP2Tile> copy, uint32_t reduction) {
        if (t >= tiles_.Size())
            ThrowDiagn<DJP2CSException, 0>();
        if (!copy)
            copy = std::make_unique<DJP2Tile>();
        copy->SetOutput(diag_.Output());
        const DJP2Tile& source = tiles_[t];
        copy->RetargetFrom(source, reduction);
        copy->Iterator().Restart(reduction);
        Input& in = *input_;
        const uint64_t resume = in.Position();
        for (const auto& [position, length] : source.tilePartExtents) {
            in.SeekAndPushBound(position, length);
            try {
                while (in.Remaining() > 0 && copy->DecodeNextPacket(in)) {
                }
            } catch (...) {
                in.PopBoundAndSeek(resume);
                throw;
            }
            in.PopBoundAndSeek(resume);
        }
        return copy;
    }
    // Reconstructs a decoding copy at its reduction: component c goes to
    // planes[c], which points at the component's first sample in the tile.
    static void WriteTileCopy(const PlaneRef* planes, DJP2Tile& copy, uint32_t reduction) {
        copy.WriteComponents(planes, reduction);
    }

    const DJP2MainHeader& MainHeader() const { return header_; }
    bool Open() const { return open_; }
    bool FirstTilePart() const { return firstTilePart_; }
    uint32_t TileCount() const { return tiles_.Size(); }
    DJP2Tile& Tile(uint32_t i) { return tiles_[i]; }
    Input* InputStream() const { return input_; }

private:
    Input* input_ = nullptr;
    DiagnOutputRef diag_;
    bool open_ = false;
    bool firstTilePart_ = true;
    DJP2MainHeader header_;
    CodecVector<DJP2Tile> tiles_;
    int32_t currentTile_ = -1;
    uint64_t remaining_ = 0;  // bytes of the current tile-part not yet taken by packets
    bool lengthKnown_ = false;
};
