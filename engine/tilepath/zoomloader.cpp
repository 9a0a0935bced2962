#include "engine/tilepath/zoomloader.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/tile_key.h"

namespace {

// A band is made without clearing it, as its tiles normally cover it whole.
// Whatever the tiles leave uncovered (a reader that hands out a tile smaller
// than its place) is set to zero at the end, as a cleared band would hold it.
class BandCover {
public:
    explicit BandCover(imageContainer* band) : band_(band) {}

    // Copies a loaded tile (or plane) into the band at column x, clipped to the
    // band: a reader that hands out full-size edge tiles still fills the band.
    bool place(imageContainer* tile, int x) {
        const int w = std::min(tile->getWidth(), band_->getWidth() - x);
        const int h = std::min(tile->getHeight(), band_->getHeight());
        if (w <= 0 || h <= 0)
            return false;
        if (!band_->copyRegionFrom(tile, IntPair(0, 0), IntPair(x, 0), w, h))
            return false;
        placed_.push_back(PrimRect{x, 0, w, h});
        return true;
    }

    // Zeroes every part of the band that no tile covers.
    void finish() { band_->fillOutside(placed_.data(), int32_t(placed_.size()), 0); }

private:
    imageContainer* band_;
    std::vector<PrimRect> placed_;
};

bool makeContainer(vq_ptr<imageContainer>& c) {
    if (c == nullptr)
        createImageContainer(c.put());
    return c != nullptr;
}

} // namespace

vq_zoomloader::vq_zoomloader(vq_tileloader_base* tiles) : tileReader(tiles) {}

vq_zoomloader* vq_zoomloader::create(vq_tileloader_base* tiles) {
    auto* strips = new vq_zoomloader(tiles);
    strips->addRef();
    return strips;
}

IntPair vq_zoomloader::getImageSize() {
    return tileReader == nullptr ? IntPair() : tileReader->getLevelSize(0, 0);
}

int vq_zoomloader::getMinTileSize() {
    return tileReader == nullptr ? 0 : 1;
}

int vq_zoomloader::getMaxStripHeight() {
    return tileReader == nullptr ? 0 : tileReader->getLevelSize(0, 0).second;
}

bool vq_zoomloader::supportsYCbCr() {
    return tileReader != nullptr && tileReader->isRawYCbCr(0);
}

int vq_zoomloader::getSubsampling() {
    return tileReader == nullptr ? 5 : tileReader->getSubsampling(0);
}

int vq_zoomloader::getFormat() {
    return tileReader == nullptr ? -1 : tileReader->getPixelFormat(0, 0);
}

int vq_zoomloader::chromaRows(int lumaRows) const {
    return subsampling == 3 || subsampling == 4 ? (lumaRows + 1) / 2 : lumaRows;
}

bool vq_zoomloader::readGeometry() {
    tileSize = tileReader->getTileSize(0);
    tileCounts = tileReader->getLevelTileCounts(0, 0);
    imageSize = tileReader->getLevelSize(0, 0);
    // Bands are one tile tall: without a tile height no band can be cut.
    if (tileSize.first < 1 || tileSize.second < 1) {
        std::fputs("Tile reader has an empty tile size\n", stderr);
        return false;
    }
    return imageSize.first > 0 && imageSize.second > 0 && tileCounts.first > 0 &&
           tileCounts.second > 0;
}

bool vq_zoomloader::prepareStrips(int height, int fmt) {
    if (tileReader == nullptr || height < 1 || !readGeometry())
        return false;
    format = fmt;
    stripHeight = height;
    delivered = 0;
    return loadBand(0);
}

bool vq_zoomloader::loadBand(int imageRow) {
    bandRow = 0;
    chromaBandRow = 0;
    if (!makeContainer(band) || !band->createUncleared(format, imageSize.first, tileSize.second, false))
        return false;
    vq_ptr<imageContainer> tile;
    if (!makeContainer(tile))
        return false;
    const int ty = imageRow / tileSize.second;
    BandCover cover(band.get());
    for (int tx = 0; tx < tileCounts.first; ++tx) {
        if (!tileReader->loadTile(tx, ty, 0, 0, tile.get(), format) ||
            !cover.place(tile.get(), tx * tileSize.first))
            return false;
    }
    cover.finish();
    return true;
}

bool vq_zoomloader::readNextStrip(int* rowsDone, imageContainer* dst) {
    if (tileReader == nullptr || band == nullptr || !dst)
        return false;
    const int c = std::min(stripHeight, imageSize.second - delivered);
    // Every row of the strip is copied from the band at the full width; a
    // strip that fails is not used.
    if (c < 1 || !dst->createUncleared(format, imageSize.first, c, false))
        return false;
    uint8_t* pixels = nullptr;
    int32_t step = 0;
    dst->lockPixels(&pixels, &step);
    bool ok = true;
    for (int copied = 0; ok && copied < c;) {
        if (bandRow >= band->getHeight() && !loadBand(delivered)) {
            ok = false;
            break;
        }
        const int n = std::min(c - copied, band->getHeight() - bandRow);
        ok = band->copyDataTo(pixels + int64_t(copied) * step, bandRow, n, imageSize.first, step);
        bandRow += n;
        copied += n;
        delivered += n;
    }
    dst->unlockPixels();
    if (rowsDone)
        *rowsDone = delivered;
    return ok;
}

bool vq_zoomloader::prepareStripsYCbCr(int height) {
    if (tileReader == nullptr || height < 1 || !readGeometry())
        return false;
    format = 3;
    stripHeight = height;
    delivered = 0;
    subsampling = tileReader->getSubsampling(0);
    chromaTileSize = chromaPlaneSize(tileSize, subsampling);
    chromaImageSize = chromaPlaneSize(imageSize, subsampling);
    return loadPlaneBands(0);
}

bool vq_zoomloader::loadPlaneBands(int imageRow) {
    bandRow = 0;
    chromaBandRow = 0;
    if (!makeContainer(yBand) || !makeContainer(cbBand) || !makeContainer(crBand) ||
        !yBand->createUncleared(7, imageSize.first, tileSize.second, false) ||
        !cbBand->createUncleared(8, chromaImageSize.first, chromaTileSize.second, false) ||
        !crBand->createUncleared(9, chromaImageSize.first, chromaTileSize.second, false))
        return false;
    vq_ptr<imageContainer> y, cb, cr;
    if (!makeContainer(y) || !makeContainer(cb) || !makeContainer(cr))
        return false;
    const int ty = imageRow / tileSize.second;
    // Luma and chroma columns advance separately, each by the width of the
    // plane just placed.
    int lumaX = 0, chromaX = 0;
    BandCover yCover(yBand.get()), cbCover(cbBand.get()), crCover(crBand.get());
    for (int tx = 0; tx < tileCounts.first; ++tx) {
        if (!tileReader->loadTileYCbCr(tx, ty, 0, 0, y.get(), cb.get(), cr.get()) ||
            !yCover.place(y.get(), lumaX) || !cbCover.place(cb.get(), chromaX) ||
            !crCover.place(cr.get(), chromaX))
            return false;
        lumaX += y->getWidth();
        chromaX += cb->getWidth();
    }
    yCover.finish();
    cbCover.finish();
    crCover.finish();
    return true;
}

bool vq_zoomloader::readNextStripYCbCr(int* rowsDone, imageContainer* y, imageContainer* cb,
                                       imageContainer* cr) {
    if (tileReader == nullptr || yBand == nullptr || !y || !cb || !cr)
        return false;
    const int c = std::min(stripHeight, imageSize.second - delivered);
    const int chromaStripRows = chromaRows(c);
    if (c < 1 || !y->create(7, imageSize.first, c, false) ||
        !cb->create(8, chromaImageSize.first, chromaStripRows, false) ||
        !cr->create(9, chromaImageSize.first, chromaStripRows, false))
        return false;
    uint8_t *yPixels = nullptr, *cbPixels = nullptr, *crPixels = nullptr;
    int32_t yStep = 0, cbStep = 0, crStep = 0;
    y->lockPixels(&yPixels, &yStep);
    cb->lockPixels(&cbPixels, &cbStep);
    cr->lockPixels(&crPixels, &crStep);
    bool ok = true;
    for (int copied = 0, chromaCopied = 0; ok && copied < c;) {
        if (bandRow >= yBand->getHeight() && !loadPlaneBands(delivered)) {
            ok = false;
            break;
        }
        const int n = std::min(c - copied, yBand->getHeight() - bandRow);
        ok = yBand->copyDataTo(yPixels + int64_t(copied) * yStep, bandRow, n, imageSize.first,
                               yStep);
        // Odd luma pieces round their chroma rows up; never run past the
        // strip's or the band's chroma rows.
        const int m = std::min({chromaRows(n), chromaStripRows - chromaCopied,
                                cbBand->getHeight() - chromaBandRow});
        if (ok && m > 0) {
            ok = cbBand->copyDataTo(cbPixels + int64_t(chromaCopied) * cbStep, chromaBandRow, m,
                                    chromaImageSize.first, cbStep) &&
                 crBand->copyDataTo(crPixels + int64_t(chromaCopied) * crStep, chromaBandRow, m,
                                    chromaImageSize.first, crStep);
            chromaBandRow += m;
            chromaCopied += m;
        }
        bandRow += n;
        copied += n;
        delivered += n;
    }
    cr->unlockPixels();
    cb->unlockPixels();
    y->unlockPixels();
    if (rowsDone)
        *rowsDone = delivered;
    return ok;
}

bool createZoomLoader(vq_tileloader_base* tiles, vq_stripLoader_base** out) {
    if (!tiles || !out)
        return false;
    *out = vq_zoomloader::create(tiles);
    return true;
}
