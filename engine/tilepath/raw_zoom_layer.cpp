#include "engine/tilepath/raw_zoom_layer.h"

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/pyramid/zoom_layer.h"
#include "engine/pyramid/zoom_tile.h"
#include "jpeg/jpeg_tile_decoder.h"

namespace vqp = vq::platform;

vq_raw_zoom_layer* vq_raw_zoom_layer::create()
{
    auto* layer = new vq_raw_zoom_layer();
    layer->addRef();
    return layer;
}

void createRawZoomLayer(vq_ptr<vq_raw_zoom_layer>* out)
{
    if (out != nullptr)
        *out = vq_ptr<vq_raw_zoom_layer>::adopt(vq_raw_zoom_layer::create());
}

vq_raw_zoom_layer::vq_raw_zoom_layer()
{
    pixelDecoder = vq_ptr<vq_tileDecoder_base>::adopt(createTIFFJPEGTileDecoder());
}

vq_raw_zoom_layer::~vq_raw_zoom_layer()
{
    tileDecoder.reset();
    next.reset();
    pendingQuads.clear();
    pixelLevel.reset();
}

void vq_raw_zoom_layer::updateGeometry()
{
    if (imageSize.first == 0 || imageSize.second == 0 || sourceTileSize.first == 0 || sourceTileSize.second == 0)
        return;
    tileCount = IntPair((imageSize.first + sourceTileSize.first - 1) / sourceTileSize.first,
                        (imageSize.second + sourceTileSize.second - 1) / sourceTileSize.second);
}

void vq_raw_zoom_layer::setTargetTileSize(const IntPair& size)
{
    targetTileSize = size;
    updateGeometry();
}

void vq_raw_zoom_layer::setImageSize(const IntPair& size)
{
    imageSize = size;
    updateGeometry();
}

void vq_raw_zoom_layer::setSourceTileSize(const IntPair& size)
{
    sourceTileSize = size;
    updateGeometry();
}

void vq_raw_zoom_layer::setTileDecoder(vq_tileDecoder_base* decoder)
{
    tileDecoder = decoder;
    if (next != nullptr)
        next->setTileDecoder(decoder);
}

void vq_raw_zoom_layer::setPixelLevel(vq_zoom_layer* layer)
{
    pixelLevel = layer;
    if (next != nullptr)
        next->setPixelLevel(layer);
}

void vq_raw_zoom_layer::setPixelDecoder(vq_tileDecoder_base* decoder)
{
    pixelDecoder = decoder;
    if (next != nullptr)
        next->setPixelDecoder(decoder);
}

bool vq_raw_zoom_layer::needsMcuSplit() const
{
    const IntPair& s = sourceTileSize;
    return s.first != s.second && s.first % 16 == 0 && s.second % 16 == 0;
}

bool vq_raw_zoom_layer::needsHalving() const
{
    const IntPair& s = sourceTileSize;
    return s.first != s.second && (s.first > s.second ? s.first : s.second) % 2 == 0;
}

bool vq_raw_zoom_layer::needsMerge() const
{
    const IntPair& s = sourceTileSize;
    return s.first == s.second && s.first < targetTileSize.first && s.second < targetTileSize.second;
}

bool vq_raw_zoom_layer::createPyramid()
{
    IntPair nextSize;
    if (needsMcuSplit()) {
        nextSize = IntPair(16, 16);
    } else if (needsHalving()) {
        const IntPair& s = sourceTileSize;
        nextSize = s.first > s.second ? IntPair(s.first / 2, s.second) : IntPair(s.first, s.second / 2);
    } else if (needsMerge()) {
        nextSize = IntPair(2 * sourceTileSize.first, 2 * sourceTileSize.second);
    } else {
        return true;
    }
    vq_ptr<vq_raw_zoom_layer> n;
    createRawZoomLayer(&n);
    if (n == nullptr)
        return false;
    n->setLevel(level + 1);
    n->setTargetTileSize(targetTileSize);
    n->setImageSize(imageSize);
    n->setSourceTileSize(nextSize);
    n->setTileDecoder(tileDecoder.get());
    n->setPixelDecoder(pixelDecoder.get());
    n->setPixelLevel(pixelLevel.get());
    next = n;
    return next->createPyramid();
}

IntPair vq_raw_zoom_layer::getLastTileSize() const
{
    return next != nullptr ? next->getLastTileSize() : sourceTileSize;
}

IntPair vq_raw_zoom_layer::getLastTileCount() const
{
    return next != nullptr ? next->getLastTileCount() : tileCount;
}

void vq_raw_zoom_layer::releaseChain()
{
    if (next != nullptr)
        next->releaseChain();
    next.reset();
}

bool vq_raw_zoom_layer::insideGrid(int32_t column, int32_t row) const
{
    return column >= 0 && row >= 0 && column < tileCount.first && row < tileCount.second;
}

int32_t vq_raw_zoom_layer::expectedMask(int32_t column, int32_t row) const
{
    const bool edgeColumn = column == tileCount.first - 1 && (column & 1) == 0;
    const bool edgeRow = row == tileCount.second - 1 && (row & 1) == 0;
    return edgeColumn && edgeRow ? 1 : edgeColumn ? 9 : edgeRow ? 3 : 15;
}

bool vq_raw_zoom_layer::addRawTile(int32_t column, int32_t row, vq_raw_tile* raw)
{
    vqp::ScopedLock guard(lock);
    if (raw == nullptr)
        return false;
    // Pieces of edge tiles that reach past the image have no place in the
    // grid; they are dropped, not grouped.
    if (!insideGrid(column, row))
        return true;
    if (needsMcuSplit()) {
        if (next == nullptr || tileDecoder == nullptr || !tileDecoder->isMcuAligned(raw))
            return false;
        vq_rawTileMap pieces;
        if (!tileDecoder->splitIntoTiles(column, row, pieces, raw))
            return false;
        for (auto& [position, piece] : pieces)
            next->addRawTile(position.first, position.second, piece.get());
        return true;
    }
    if (needsHalving()) {
        if (next == nullptr || tileDecoder == nullptr)
            return false;
        const bool wide = sourceTileSize.first > sourceTileSize.second;
        if (!(wide ? tileDecoder->canSplitLeftRight(raw) : tileDecoder->canSplitTopBottom(raw)))
            return false;
        vq_raw_tile *first = nullptr, *second = nullptr;
        const bool split = wide ? tileDecoder->splitLeftRight(raw, &first, &second)
                                : tileDecoder->splitTopBottom(raw, &first, &second);
        auto a = vq_ptr<vq_raw_tile>::adopt(first);
        auto b = vq_ptr<vq_raw_tile>::adopt(second);
        if (!split)
            return false;
        if (wide)
            return next->addRawTile(2 * column, row, a.get()) && next->addRawTile(2 * column + 1, row, b.get());
        return next->addRawTile(column, 2 * row, a.get()) && next->addRawTile(column, 2 * row + 1, b.get());
    }
    const IntPair position(column, row);
    for (auto it = pendingQuads.begin(); it != pendingQuads.end(); ++it) {
        if (!it->acceptsRawTile(position, raw))
            continue;
        it->addRawTile(position, raw);
        if (it->isComplete()) {
            if (!doRawQuadOutput(*it))
                return false;
            pendingQuads.erase(it);
        }
        return true;
    }
    vq_tileQuad quad;
    quad.setExpected(expectedMask(column, row));
    quad.addRawTile(position, raw);
    pendingQuads.push_back(quad);
    return true;
}

bool vq_raw_zoom_layer::doRawQuadOutput(vq_tileQuad& quad)
{
    if (needsMerge())
        return mergeRawQuad(quad);
    if (pixelLevel == nullptr)
        return false; // raw tiles only flow on into a pixel level
    const int32_t pixelLevelNumber = pixelLevel->getLevel();
    const IntPair origin = quad.getOrigin();
    vq_raw_tile* topLeft = quad.rawAt(cornerTopLeft);
    if (topLeft == nullptr || topLeft->getCompression() != 7 || pixelDecoder == nullptr)
        return false;
    const IntPair grid = pixelLevel->getTileCount();
    struct Member {
        int32_t corner, dx, dy;
    };
    static const Member members[4] = {
        {cornerTopLeft, 0, 0}, {cornerTopRight, 1, 0}, {cornerBottomLeft, 0, 1}, {cornerBottomRight, 1, 1}};
    for (const Member& m : members) {
        vq_raw_tile* raw = quad.rawAt(m.corner);
        const int32_t x = origin.first + m.dx, y = origin.second + m.dy;
        if (raw == nullptr || x >= grid.first || y >= grid.second)
            continue;
        auto pixels = vq_ptr<imageContainer>::adopt(imageContainer::create());
        if (!pixelDecoder->decodeTile(IntPair(x, y), -1, raw->getData(), raw->getDataLength(), pixels.get()))
            return false;
        vq_ptr<vq_zoom_tile_base> tile;
        createZoomTile(&tile);
        if (tile == nullptr)
            return false;
        tile->setKey(vq_tileKey(x, y, pixelLevelNumber));
        tile->setContainer(pixels.get());
        pixelLevel->addTile(tile.get(), raw);
    }
    return true;
}

bool vq_raw_zoom_layer::mergeRawQuad(vq_tileQuad& quad)
{
    vq_raw_tile* topLeft = quad.rawAt(cornerTopLeft);
    if (next != nullptr && topLeft != nullptr && tileDecoder != nullptr) {
        const IntPair origin = quad.getOrigin();
        // Members beyond the image repeat the top-left tile, so the merged
        // tile is always whole; the pixel level crops it to the image.
        vq_ptr<vq_raw_tile> parts[3];
        const int32_t corners[3] = {cornerTopRight, cornerBottomLeft, cornerBottomRight};
        for (int32_t i = 0; i < 3; ++i) {
            parts[i] = quad.rawAt(corners[i]);
            if (parts[i] == nullptr)
                topLeft->clone(parts[i]);
        }
        vq_raw_tile* merged = nullptr;
        if (tileDecoder->mergeTiles(topLeft, parts[0].get(), parts[1].get(), parts[2].get(), &merged)) {
            auto mergedPtr = vq_ptr<vq_raw_tile>::adopt(merged);
            next->addRawTile(origin.first / 2, origin.second / 2, mergedPtr.get());
        }
    }
    quad.clear();
    return true;
}

void vq_raw_zoom_layer::flushQuads()
{
    for (vq_tileQuad& quad : pendingQuads)
        doRawQuadOutput(quad);
    pendingQuads.clear();
    if (next != nullptr)
        next->flushQuads();
}
