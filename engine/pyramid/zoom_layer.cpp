#include "engine/pyramid/zoom_layer.h"

#include <cstdio>
#include <exception>

#include "engine/base/tile_decoder_base.h"

vq_zoom_layer* vq_zoom_layer::create()
{
    auto* layer = new vq_zoom_layer();
    layer->addRef();
    return layer;
}

void createZoomLayer(vq_ptr<vq_zoom_layer>* out)
{
    if (out != nullptr)
        *out = vq_ptr<vq_zoom_layer>::adopt(vq_zoom_layer::create());
}

vq_zoom_layer::~vq_zoom_layer()
{
    tileDecoder.reset();
    output.reset();
    next.reset();
    pendingQuads.clear();
}

// ---- settings ----------------------------------------------------------------

void vq_zoom_layer::setResampling(int32_t option)
{
    resampling = option;
    if (next != nullptr)
        next->setResampling(option);
}

void vq_zoom_layer::setCropEdgeTiles(bool crop)
{
    cropEdgeTiles = crop;
    if (next != nullptr)
        next->setCropEdgeTiles(crop);
}

void vq_zoom_layer::setStrictRawSize(bool strict)
{
    strictRawSize = strict;
    if (next != nullptr)
        next->setStrictRawSize(strict);
}

void vq_zoom_layer::setTileDecoder(vq_tileDecoder_base* decoder)
{
    tileDecoder = decoder;
    if (next != nullptr)
        next->setTileDecoder(decoder);
}

void vq_zoom_layer::setQuality(double q, double step)
{
    int32_t value = static_cast<int32_t>(q);
    quality = value > 100 ? 100 : value;
    if (next != nullptr)
        next->setQuality(q + step, step);
}

void vq_zoom_layer::setTileSize(const IntPair& size)
{
    tileSize = size;
    updateGeometry();
}

void vq_zoom_layer::setMinTileSize(const IntPair& size)
{
    minTileSize = size;
    updateGeometry();
}

void vq_zoom_layer::setImageSize(const IntPair& size)
{
    imageSize = size;
    updateGeometry();
}

void vq_zoom_layer::setOutput(vq_zoomoutput_base* out)
{
    output = out;
}

// ---- geometry ----------------------------------------------------------------

bool vq_zoom_layer::hasPowerOfTwoFit(int32_t v, int32_t min, int32_t max)
{
    if (v <= 0)
        return false;
    if (v < min) {
        while (v <= max) {
            if (v >= min)
                return true;
            v *= 2;
        }
        return false;
    }
    while (v >= min) {
        if (v <= max)
            return true;
        v /= 2;
    }
    return false;
}

bool vq_zoom_layer::updateGeometry()
{
    const int32_t tw = tileSize.first, th = tileSize.second;
    if (tw == 0 || th == 0 || imageSize.first == 0 || imageSize.second == 0)
        return false;
    remainder = IntPair(imageSize.first % tw, imageSize.second % th);
    tileCount = IntPair((imageSize.first + tw - 1) / tw, (imageSize.second + th - 1) / th);
    retiling = tw < minTileSize.first || th < minTileSize.second || th != tw || tw > maxTileSize.first ||
               th > maxTileSize.second;
    if (retiling) {
        if ((tw < minTileSize.first || tw > maxTileSize.first) &&
            !hasPowerOfTwoFit(tw, minTileSize.first, maxTileSize.first))
            return false;
        if ((th < minTileSize.second || th > maxTileSize.second) &&
            !hasPowerOfTwoFit(th, minTileSize.second, maxTileSize.second))
            return false;
    }
    if (tw > th && tw % th != 0) {
        std::fputs("Unable to kestrix because tile width is not a multiple of tile height\n", stderr);
        return false;
    }
    if (tw < th && th % tw != 0) {
        std::fputs("Unable to kestrix because tile height is not a multiple of tile width\n", stderr);
        return false;
    }
    return tileCount.first > 0 && tileCount.second > 0;
}

bool vq_zoom_layer::isSquareBelowMin() const
{
    return tileSize.first == tileSize.second &&
           (tileSize.first < minTileSize.first || tileSize.second < minTileSize.second);
}

bool vq_zoom_layer::createPyramid(bool flag)
{
    if (!updateGeometry())
        return false;
    if (next != nullptr) {
        std::fputs("Pyramid already exists\n", stderr);
        return false;
    }
    // A re-tiling level writes nothing itself, so even a single source tile
    // needs the levels below it.
    if (tileCount.first == 1 && tileCount.second == 1 && !retiling) {
        tilesInSmallerLevels = 0;
        return true;
    }
    vq_ptr<vq_zoom_layer> n;
    createZoomLayer(&n);
    if (n == nullptr)
        return false;
    n->setQuality(quality, 0.0);
    n->setStrictRawSize(strictRawSize);
    n->setMinTileSize(minTileSize);
    n->setMaxTileSize(maxTileSize);
    if (tileDecoder != nullptr)
        n->setTileDecoder(tileDecoder.get());
    const int32_t tw = tileSize.first, th = tileSize.second;
    IntPair nextTile = tileSize;
    if (retiling) {
        if (tw > maxTileSize.first || th > maxTileSize.second)
            nextTile = IntPair(tw / 2, th / 2);
        else if (tw == th)
            nextTile = IntPair(2 * tw, 2 * th);
        else if (tw > th)
            nextTile = IntPair(th, th);
        else
            nextTile = IntPair(tw, tw);
    }
    n->setTileSize(nextTile);
    n->setImageSize(retiling ? imageSize : IntPair(imageSize.first / 2, imageSize.second / 2));
    next = n;
    const bool result = next->createPyramid(flag);
    tilesInSmallerLevels = next->tileCount.first * next->tileCount.second + next->tilesInSmallerLevels;
    if (result)
        level = next->level + 1;
    return result;
}

int32_t vq_zoom_layer::getLevelQuality(int32_t lvl) const
{
    if (lvl != level && next != nullptr)
        return next->getLevelQuality(lvl);
    return quality;
}

int32_t vq_zoom_layer::countTiles() const
{
    const int32_t own = retiling ? 0 : tileCount.first * tileCount.second;
    return own + (next != nullptr ? next->countTiles() : 0);
}

int32_t vq_zoom_layer::getTileGroupIndex(const vq_zoom_tile_base* tile) const
{
    return (tile->getX() + tilesInSmallerLevels + tile->getY() * tileCount.first) / 256;
}

void vq_zoom_layer::releaseChain()
{
    if (next != nullptr)
        next->releaseChain();
    next.reset();
}

// ---- tile flow ----------------------------------------------------------------

bool vq_zoom_layer::addTile(vq_zoom_tile_base* tile, vq_raw_tile* rawTile)
{
    if (tile == nullptr)
        return false;
    if (retiling && (tileSize.first != tileSize.second || tileSize.first > maxTileSize.first ||
                     tileSize.second > maxTileSize.second)) {
        retileRGB(tile);
        return true;
    }
    const bool lastColumn = tile->getX() == tileCount.first - 1;
    const bool lastRow = tile->getY() == tileCount.second - 1;
    if ((lastColumn || lastRow) && cropEdgeTiles)
        tile->cropEdges(lastColumn, lastRow, remainder);
    if (rawTile != nullptr && rawTile->hasData() && !retiling && output != nullptr) {
        bool saved = false;
        if (cropEdgeTiles) {
            vq_ptr<vq_raw_tile> fitted;
            if (fitRawTile(lastColumn, lastRow, rawTile, fitted) && fitted != nullptr)
                saved = output->saveRawTile(tile, fitted.get());
        } else {
            saved = output->saveRawTile(tile, rawTile);
        }
        if (saved)
            tile->setSaved();
    }
    for (auto it = pendingQuads.begin(); it != pendingQuads.end(); ++it) {
        if (!it->acceptsTile(tile))
            continue;
        it->addTile(tile, rawTile);
        if (it->isComplete()) {
            const bool ok = doQuadOutput(*it);
            // A quad that failed is dropped too: left in the list it would be
            // empty and accept any later tile.
            pendingQuads.erase(it);
            return ok;
        }
        return true;
    }
    const bool edgeColumn = lastColumn && (tile->getX() & 1) == 0;
    const bool edgeRow = lastRow && (tile->getY() & 1) == 0;
    vq_tileQuad quad;
    quad.setExpected(edgeColumn && edgeRow ? 1 : edgeColumn ? 9 : edgeRow ? 3 : 15);
    quad.addTile(tile, rawTile);
    pendingQuads.push_back(quad);
    return true;
}

bool vq_zoom_layer::doQuadOutput(vq_tileQuad& quad)
{
    if (retiling)
        return buildQuad(quad);
    if (!quad.padMembers(tileSize, !strictRawSize))
        return false;
    if (quad.getPresent() == 0) {
        std::fputs("-build quad error\n", stderr);
        return false;
    }
    if (output == nullptr) {
        std::fputs("doQuadOutput has no output class\n", stderr);
        return false;
    }
    if (!quad.saveTiles(output.get()))
        return false;
    if (next != nullptr) {
        vq_ptr<vq_zoom_tile_base> merged;
        try {
            quad.generateHalf(merged, resampling, false);
        } catch (const std::exception&) {
            quad.clear();
            return false;
        }
        if (merged == nullptr) {
            quad.clear();
            return false;
        }
        if (!merged->isEmpty())
            next->addTile(merged.get(), nullptr);
    }
    quad.clear();
    return true;
}

bool vq_zoom_layer::buildQuad(vq_tileQuad& quad)
{
    if (quad.topLeft() == nullptr) {
        std::fputs("Unable to build quad\n", stderr);
        return false;
    }
    if (next != nullptr) {
        vq_ptr<vq_zoom_tile_base> merged;
        quad.generateMergedOutput(merged, false);
        if (merged == nullptr) {
            quad.clear();
            return false;
        }
        vq_ptr<vq_raw_tile> mergedRaw;
        if (quad.rawAt(cornerTopLeft) != nullptr && tileDecoder != nullptr) {
            vq_raw_tile* raw = nullptr;
            if (tileDecoder->mergeTiles(quad.rawAt(cornerTopLeft), quad.rawAt(cornerTopRight),
                                        quad.rawAt(cornerBottomLeft), quad.rawAt(cornerBottomRight), &raw))
                mergedRaw = vq_ptr<vq_raw_tile>::adopt(raw);
        }
        next->addTile(merged.get(), mergedRaw.get());
    }
    quad.clear();
    return true;
}

void vq_zoom_layer::flushQuads()
{
    for (vq_tileQuad& quad : pendingQuads)
        doQuadOutput(quad);
    pendingQuads.clear();
    if (next != nullptr)
        next->flushQuads();
}

// ---- re-tiling -------------------------------------------------------------------

void vq_zoom_layer::addPiece(vq_zoom_tile_base* piece)
{
    if (piece == nullptr || next == nullptr)
        return;
    const IntPair grid = next->getTileCount();
    if (piece->getX() < grid.first && piece->getY() < grid.second)
        next->addTile(piece, nullptr);
}

// Cuts a tile larger than the maximum into quarters of half the level's tile
// size in each direction; they become tiles (2c, 2r) .. (2c + 1, 2r + 1) of
// the next level, whose tile size is exactly that half.
void vq_zoom_layer::splitOversized(vq_zoom_tile_base* tile)
{
    const vq_tileKey key = tile->getKey();
    const int32_t nextLevel = next != nullptr ? next->getLevel() : key.level;
    tile->setKey(vq_tileKey(2 * key.x, 2 * key.y, nextLevel));
    vq_tileSplitter splitter(tile, IntPair(tileSize.first / 2, tileSize.second / 2));
    splitter.split();
    for (vq_ptr<vq_zoom_tile_base> piece = splitter.next(); piece != nullptr; piece = splitter.next())
        addPiece(piece.get());
    tile->setKey(vq_tileKey(key.x, key.y, nextLevel));
}

void vq_zoom_layer::retileRGB(vq_zoom_tile_base* tile)
{
    if (tile->getFormat() == vq_fmtYCbCr) {
        retileYCbCr(tile);
        return;
    }
    if (next == nullptr)
        return;
    if (tileSize.first > maxTileSize.first || tileSize.second > maxTileSize.second) {
        splitOversized(tile);
        return;
    }
    vq_ptr<imageContainer> c;
    if (!tile->getContainer(c, vq_fmtRGB24) || !c->isAllocated())
        return;
    const int32_t w = c->getWidth(), h = c->getHeight();
    const int32_t tw = tileSize.first, th = tileSize.second;
    const vq_tileKey key = tile->getKey();
    const int32_t nextLevel = next->getLevel();
    const bool wide = tw > th;
    const int32_t n = wide ? tw / th : th / tw;
    const int32_t piece = wide ? th : tw;
    const int32_t extent = wide ? w : h;
    for (int32_t i = 0, cut = 0; i < n && extent - cut > 0; ++i, cut += piece) {
        const int32_t len = extent - cut < piece ? extent - cut : piece;
        vq_image_container_base* part = nullptr;
        const bool ok = wide ? c->createCroppedContainer(IntPair(cut, 0), len, h, &part)
                             : c->createCroppedContainer(IntPair(0, cut), w, len, &part);
        if (!ok)
            continue;
        auto partPtr = vq_ptr<imageContainer>::adopt(static_cast<imageContainer*>(part));
        vq_ptr<vq_zoom_tile_base> t;
        tile->createSameKind(&t);
        if (t == nullptr)
            continue;
        t->setKey(wide ? vq_tileKey(key.x * n + i, key.y, nextLevel) : vq_tileKey(key.x, key.y * n + i, nextLevel));
        t->setContainer(partPtr.get());
        next->addTile(t.get(), nullptr);
    }
}

void vq_zoom_layer::retileYCbCr(vq_zoom_tile_base* tile)
{
    if (next == nullptr)
        return;
    if (tileSize.first > maxTileSize.first || tileSize.second > maxTileSize.second) {
        splitOversized(tile);
        return;
    }
    vq_ptr<imageContainer> planes[3];
    for (int32_t i = 0; i < 3; ++i)
        if (!tile->getContainer(planes[i], vq_fmtPlaneY + i) || !planes[i]->isAllocated())
            return;
    const int32_t tw = tileSize.first, th = tileSize.second;
    const int32_t ss = tile->getSubsampling();
    const bool wide = tw > th;
    const int32_t n = wide ? tw / th : th / tw;
    const int32_t piece = wide ? th : tw;
    const IntPair chromaPiece = chromaPlaneSize(IntPair(piece, piece), ss);
    const int32_t cpiece = wide ? chromaPiece.first : chromaPiece.second;
    const int32_t w = planes[0]->getWidth(), h = planes[0]->getHeight();
    const int32_t cw = planes[1]->getWidth(), ch = planes[1]->getHeight();
    const int32_t extent = wide ? w : h;
    const int32_t cextent = wide ? cw : ch;
    const vq_tileKey key = tile->getKey();
    const int32_t nextLevel = next->getLevel();
    for (int32_t i = 0, cut = 0, ccut = 0; i < n && extent - cut > 0; ++i, cut += piece, ccut += cpiece) {
        const int32_t len = extent - cut < piece ? extent - cut : piece;
        const int32_t clen = cextent - ccut < cpiece ? cextent - ccut : cpiece;
        if (clen <= 0)
            break;
        vq_ptr<vq_zoom_tile_base> t;
        tile->createSameKind(&t);
        if (t == nullptr)
            continue;
        t->setSubsampling(ss);
        t->setKey(wide ? vq_tileKey(key.x * n + i, key.y, nextLevel) : vq_tileKey(key.x, key.y * n + i, nextLevel));
        bool ok = true;
        for (int32_t p = 0; p < 3 && ok; ++p) {
            const int32_t pl = p == 0 ? len : clen;
            const int32_t off = p == 0 ? cut : ccut;
            const int32_t pw = planes[p]->getWidth(), ph = planes[p]->getHeight();
            vq_image_container_base* part = nullptr;
            ok = wide ? planes[p]->createCroppedContainer(IntPair(off, 0), pl, ph, &part)
                      : planes[p]->createCroppedContainer(IntPair(0, off), pw, pl, &part);
            if (ok) {
                auto partPtr = vq_ptr<imageContainer>::adopt(static_cast<imageContainer*>(part));
                t->setContainer(partPtr.get());
            }
        }
        if (ok)
            next->addTile(t.get(), nullptr);
    }
}

bool vq_zoom_layer::fitRawTile(bool lastColumn, bool lastRow, vq_raw_tile* raw, vq_ptr<vq_raw_tile>& out)
{
    if (!cropEdgeTiles || (!lastColumn && !lastRow) || (remainder.first == 0 && remainder.second == 0)) {
        out = raw;
        return true;
    }
    if (tileDecoder == nullptr)
        return false;
    const IntPair expected((lastColumn && remainder.first != 0) ? remainder.first : tileSize.first,
                           (lastRow && remainder.second != 0) ? remainder.second : tileSize.second);
    if (raw->getSize() == expected) {
        out = raw;
        return true;
    }
    if (strictRawSize)
        return false;
    vq_raw_tile* cropped = nullptr;
    if (!tileDecoder->cropTile(raw, &cropped, expected))
        return false;
    out = vq_ptr<vq_raw_tile>::adopt(cropped);
    return true;
}
