#include "engine/pyramid/zoom_layer_rotate.h"

#include <cstdio>

#include "engine/base/tile_decoder_base.h"
#include "primitives/rotate/rotate.h"

vq_zoom_layer_rotate* vq_zoom_layer_rotate::create()
{
    auto* layer = new vq_zoom_layer_rotate();
    layer->addRef();
    return layer;
}

void createZoomLayerRotate(vq_ptr<vq_zoom_layer_rotate>* out)
{
    if (out != nullptr)
        *out = vq_ptr<vq_zoom_layer_rotate>::adopt(vq_zoom_layer_rotate::create());
}

vq_zoom_layer_rotate::~vq_zoom_layer_rotate() { partQuads.clear(); }

bool vq_zoom_layer_rotate::createPyramid(bool flag)
{
    if (!updateGeometry())
        return false;
    if (next != nullptr) {
        std::fputs("Pyramid already exists\n", stderr);
        return false;
    }
    vq_ptr<vq_zoom_layer> n;
    createZoomLayer(&n);
    if (n == nullptr)
        return false;
    n->setQuality(quality, 0.0);
    n->setStrictRawSize(strictRawSize);
    n->setResampling(resampling);
    n->setCropEdgeTiles(cropEdgeTiles);
    n->setMinTileSize(minTileSize);
    n->setMaxTileSize(maxTileSize);
    if (tileDecoder != nullptr)
        n->setTileDecoder(tileDecoder.get());
    if (output != nullptr)
        n->setOutput(output.get());
    n->setTileSize(tileSize);
    n->setImageSize(IntPair(imageSize.second, imageSize.first));
    next = n;
    const bool result = next->createPyramid(flag);
    tilesInSmallerLevels = next->getTilesInSmallerLevels();
    level = next->getLevel();
    return result;
}

bool vq_zoom_layer_rotate::addTile(vq_zoom_tile_base* tile, vq_raw_tile*)
{
    if (tile == nullptr || tile->getFormat() != 4)
        return false;
    vq_ptr<imageContainer> source;
    if (!tile->getContainer(source, 4) || source == nullptr || !source->isAllocated())
        return false;

    // Turn the pixels: source (px, py) lands at (py, w - 1 - px).
    const int32_t w = source->getWidth(), h = source->getHeight();
    vq_ptr<imageContainer> turned = vq_ptr<imageContainer>::adopt(imageContainer::create());
    if (turned == nullptr || !turned->create(4, h, w, false))
        return false;
    const uint8_t* src = nullptr;
    uint8_t* dst = nullptr;
    int32_t srcStep = 0, dstStep = 0;
    source->lockPixelsConst(&src, &srcStep);
    turned->lockPixels(&dst, &dstStep);
    rotateByAngle(src, w, h, srcStep, 0, 0, w, h, dst, dstStep, 0, 0, h, w, -270.0, 0.0, w - 1.0, rotateNearest);
    turned->unlockPixels();
    source->unlockPixels();

    // Re-key into the turned grid.
    const int32_t x = tile->getX(), y = tile->getY();
    const bool lastSourceColumn = x == tileCount.first - 1;
    const int32_t newX = y, newY = tileCount.first - 1 - x;
    tile->setContainer(turned.get());
    tile->setKey(vq_tileKey(newX, newY, tile->getLevel()));

    if (remainder.first == 0)
        return next != nullptr && next->addTile(tile, nullptr);

    const int32_t r = remainder.first, T = tileSize.second;
    const int32_t offset = lastSourceColumn ? 0 : T - r;
    bool ownPlaced = false, movingPlaced = lastSourceColumn;
    for (auto it = partQuads.begin(); it != partQuads.end(); ++it) {
        if (!it->acceptsPart(tile, false))
            continue;
        it->addPart(tile, offset, 0, r);
        ownPlaced = true;
        if (it->isComplete()) {
            const bool ok = outputPartQuad(*it);
            partQuads.erase(it);
            if (!ok)
                return false;
        }
        break;
    }
    if (!movingPlaced) {
        for (auto it = partQuads.begin(); it != partQuads.end(); ++it) {
            if (!it->acceptsPart(tile, true))
                continue;
            it->addPart(tile, 0, r, T - r);
            movingPlaced = true;
            if (it->isComplete()) {
                const bool ok = outputPartQuad(*it);
                partQuads.erase(it);
                if (!ok)
                    return false;
            }
            break;
        }
        // Both bands placed. A tile whose own band found a quad but whose
        // moving band did not still needs the quad above made below, or that
        // band would be lost.
        if (ownPlaced && movingPlaced)
            return true;
    }

    const bool lastColumn = newX == tileCount.second - 1 && (newX & 1) == 0;
    const bool lastRow = newY == tileCount.first - 1 && (newY & 1) == 0;
    vq_tileQuadPartial P;
    P.setExpected(lastColumn && lastRow ? 3 : lastColumn ? 195 : lastRow ? 5 : 255);
    if (!ownPlaced)
        P.addPart(tile, offset, 0, r);
    if (!movingPlaced) {
        if ((newY & 1) != 0) {
            P.addPart(tile, 0, r, T - r);
            if (P.isComplete()) {
                outputPartQuad(P);
                return true;
            }
        } else {
            vq_tileQuadPartial Q;
            Q.setExpected(lastColumn ? 195 : 255);
            Q.addPart(tile, 0, r, T - r);
            partQuads.push_back(Q);
        }
    }
    if (P.getPresent() != 0)
        partQuads.push_back(P);
    return true;
}

bool vq_zoom_layer_rotate::outputPartQuad(vq_tileQuadPartial& quad)
{
    if (!quad.padParts(tileSize))
        return false;
    if (quad.getPresent() == 0) {
        std::fputs("-build quad error\n", stderr);
        return false;
    }
    if (next != nullptr) {
        vq_zoom_tile_base* members[4] = {quad.topLeft(), quad.topRight(), quad.bottomLeft(), quad.bottomRight()};
        for (vq_zoom_tile_base* m : members)
            if (m != nullptr)
                next->addTile(m, nullptr);
    }
    quad.clear();
    return true;
}

void vq_zoom_layer_rotate::flushQuads()
{
    for (auto& quad : partQuads)
        outputPartQuad(quad);
    partQuads.clear();
    if (next != nullptr)
        next->flushQuads();
}
