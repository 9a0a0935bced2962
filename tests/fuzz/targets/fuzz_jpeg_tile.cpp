// JPEG tile decoder: a stored tile of a level of 32 x 32 tiles decoded as
// pixels and planes, then cropped, split, rotated and merged on its DCT
// coefficients.
#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "jpeg/jpeg_tile_decoder.h"

#include <cstring>

namespace {

vq_ptr<imageContainer> container() { return vq_ptr<imageContainer>::adopt(imageContainer::create()); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    vq_ptr<vq_TIFFJPEGTileDecoder> decoder = vq_ptr<vq_TIFFJPEGTileDecoder>::adopt(createTIFFJPEGTileDecoder());
    if (!decoder) return 0;
    decoder->tileSize = IntPair(32, 32);
    decoder->edgeSizes = {IntPair(16, 8)};
    decoder->tileCounts = {IntPair(2, 2)};
    vq_ptr<imageContainer> pixels = container(), y = container(), cb = container(), cr = container();
    decoder->decodeTile(IntPair(1, 1), 0, data, int32_t(size), pixels.get());
    decoder->decodeTileYCbCr(IntPair(0, 0), 0, data, int32_t(size), y.get(), cb.get(), cr.get());

    vq_ptr<vq_stream> stream;
    if (openMemoryStream(data, size, stream.put()) == 0) decoder->getTileDimensions(stream.get());

    vq_ptr<vq_raw_tile> tile;
    if (!createRawTile(tile.put()) || !tile->allocate(int32_t(size), IntPair(32, 32))) return 0;
    tile->setCompression(7);
    if (size) std::memcpy(tile->getData(), data, size);
    decoder->isMcuAligned(tile.get());
    vq_rawTileMap cells;
    decoder->splitIntoTiles(0, 0, cells, tile.get());
    vq_ptr<vq_raw_tile> a, b, c, r;
    decoder->cropTile(tile.get(), a.put(), IntPair(16, 8));
    if (decoder->canSplitLeftRight(tile.get())) decoder->splitLeftRight(tile.get(), b.put(), c.put());
    b.reset();
    c.reset();
    if (decoder->canSplitTopBottom(tile.get())) decoder->splitTopBottom(tile.get(), b.put(), c.put());
    for (int rotation = 0; rotation < 3; ++rotation) {
        r.reset();
        decoder->rotateTile(tile.get(), rotation, r.put());
    }
    vq_ptr<vq_raw_tile> merged;
    decoder->mergeTiles(tile.get(), tile.get(), tile.get(), tile.get(), merged.put());
    return 0;
}
