// The code-stream decoder object: bound to a byte input, it reads the main
// header and lays out one tile record per tile of the grid. It is a class
// template over the byte input, so tiles held in memory and streams of files
// share one decoder.
#pragma once

#include <cstdint>

#include "j2k/codec_types.h"
#include "j2k/diagnostics.h"
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
};
