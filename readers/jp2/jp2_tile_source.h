// A JP2 file opened for reading its code-stream tiles: the byte input over
// the shared stream, the file reader with its code-stream decoder, the file
// information, and the tile-part index built once on first use. The tile
// and strip loaders each own one.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/base/IntPair.h"
#include "engine/base/stream.h"
#include "j2k/byte_input.h"
#include "j2k/jp2_file.h"
#include "readers/jp2/jp2_loader.h"

class imageContainer;
class DJP2Tile;

class J2KTileSource {
public:
    J2KTileSource();
    ~J2KTileSource();
    J2KTileSource(const J2KTileSource&) = delete;
    J2KTileSource& operator=(const J2KTileSource&) = delete;

    // Attaches the input to the stream and reads the header; false for a
    // file that is not a readable JP2 file. Never throws.
    bool open(vq_stream* stream);
    // Reads every tile-part header once and records the bodies; false when
    // the pass failed (the stream is then unusable for tile reads).
    bool buildIndex();
    bool indexed() const { return indexed_; }

    vq_J2KFileInfo& info() { return *info_; }
    DJP2Codestream<BoundedInputBE>& codestream() { return reader_->Codestream(); }
    const DJP2Header& header() const { return reader_->Header(); }
    uint32_t tileCount() { return codestream().TileCount(); }
    // Tile t's rectangle on the reference grid at the reduction.
    J2KRect tileRect(uint32_t t, uint32_t reduction);

    // The two halves of decoding one tile into pixels: `decodePackets` reads
    // the stream (the caller serialises it with every other read of the
    // stream), `reconstruct` needs no shared state. Both throw codec
    // diagnostics; decodePackets returns null for a reduction the tile's
    // packet order does not allow.
    std::unique_ptr<DJP2Tile> decodePackets(uint32_t t, std::unique_ptr<DJP2Tile> reuse, uint32_t reduction);
    // Reconstructs the copy and writes its pixels into `out`, created at the
    // tile's reduced size in `format` (8-bit grey or RGB): RGB takes
    // components 0, 1, 2 (a file of fewer components repeats component 0),
    // grey takes component 0; any further (alpha) component is dropped.
    // Components of coarser sampling fill the top-left part of their channel.
    bool reconstruct(DJP2Tile& copy, uint32_t t, uint32_t reduction, int32_t format, imageContainer* out);

    // True when every tile may be decoded at a reduction from the main
    // header's coding style alone (see DJP2Codestream::ReducedDecodingAllowed).
    bool reductionsAllowed() const;

private:
    BoundedInputBE input_;
    std::unique_ptr<DJP2FileReader> reader_;
    vq_ptr<vq_J2KFileInfo> info_;
    bool indexed_ = false;
};

// The format a loader delivers when the caller asks for `requested`: 24-bit
// RGB when asked for it, otherwise the file's own format.
int32_t J2KDeliveredFormat(int32_t requested, int32_t fileFormat);
