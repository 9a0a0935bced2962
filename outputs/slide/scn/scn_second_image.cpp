// The SCN saver's second image: the tiles of the source level are gathered
// into one work image; when the last one arrives a second, small pyramid is
// run over it with the engine's own level machinery and every tile it makes
// is encoded and written into the second image's directories at once.
#include <algorithm>
#include <new>

#include "engine/pyramid/zoom_layer.h"
#include "engine/pyramid/zoom_tile.h"
#include "outputs/slide/scn/scn_saver.h"

bool createLeicaThumbnailHandler(vq_zoomoutput_base** out, vq_leica_saver* saver) {
    if (out == nullptr) return false;
    auto* handler = new (std::nothrow) LeicaThumbnailHandler(saver);
    if (handler == nullptr) return false;
    handler->addRef();
    *out = handler;
    return true;
}

bool LeicaThumbnailHandler::saveTile(vq_zoom_tile_base* tile) {
    if (saver_ == nullptr || tile == nullptr) return false;
    return saver_->saveSecondImageTile(tile);
}

bool vq_leica_saver::collectThumbnailTile(int x, int y, imageContainer* tile) {
    // A tile that arrives twice is taken once.
    if (missingSecondImageTiles_.count({x, y}) == 0) return true;
    if (!placeTileInImage(secondImage_, secondImageSize_, x, y, tileSize_, tile)) return false;
    missingSecondImageTiles_.erase({x, y});
    return missingSecondImageTiles_.empty() ? buildSecondImage() : true;
}

bool vq_leica_saver::buildSecondImage() {
    if (secondImage_ == nullptr) return false;
    const int t = tileSize_;
    const int w2 = secondImageSize_.first, h2 = secondImageSize_.second;
    const int across = (w2 + t - 1) / t, down = (h2 + t - 1) / t;
    const int k = static_cast<int>(secondImageDirectories_.size());
    vq_ptr<vq_zoom_layer> layer;
    createZoomLayer(&layer);
    if (layer == nullptr) return false;
    layer->setCropEdgeTiles(false);
    layer->setLevel(k - 1);
    layer->setImageSize(IntPair(w2, h2));
    layer->setTileSize(IntPair(t, t));
    layer->setMinTileSize(IntPair(t, t));
    layer->setMaxTileSize(IntPair(t, t));
    if (!layer->updateGeometry() || !layer->createPyramid(false)) {
        layer->releaseChain();
        return false;
    }
    layer->setQuality(secondImageDirectories_.front().getQuality(), 0);
    layer->setStrictRawSize(true);
    vq_zoomoutput_base* h = nullptr;
    if (!createLeicaThumbnailHandler(&h, this)) {
        layer->releaseChain();
        return false;
    }
    auto handler = vq_ptr<vq_zoomoutput_base>::adopt(h);
    for (vq_zoom_layer* l = layer.get(); l != nullptr; l = l->getNextLayer()) l->setOutput(handler.get());
    bool ok = true;
    for (int tx = 0; tx < across && ok; ++tx) {
        for (int ty = 0; ty < down && ok; ++ty) {
            vq_ptr<vq_zoom_tile_base> tile;
            createZoomTile(&tile);
            auto rgb = newClearedContainer(vq_fmtRGB24, t, t);
            ok = tile != nullptr && rgb != nullptr &&
                 rgb->copyRegionFrom(secondImage_.get(), IntPair(tx * t, ty * t), IntPair(0, 0),
                                     std::min(t, w2 - tx * t), std::min(t, h2 - ty * t));
            if (!ok) break;
            tile->setContainer(rgb.get());
            tile->setKey(vq_tileKey(tx, ty, k - 1));
            // A tile the handler cannot store stays missing; the run goes on.
            layer->addTile(tile.get(), nullptr);
        }
    }
    if (ok) layer->flushQuads();
    layer->releaseChain();
    return ok && writeScnDescription();
}

bool vq_leica_saver::saveSecondImageTile(vq_zoom_tile_base* tile) {
    vq_ptr<imageContainer> rgb;
    vq_svstile_saver job;
    {
        vq::platform::ScopedLock lock(fileLock_);
        vq_svs_ifdDir* dir = findDirectory(tile->getLevel(), true);
        if (dir == nullptr || prepareJob(tile->getX(), tile->getY(), dir, job) <= 0) return false;
    }
    // The tile's own container when it has the full tile size; a smaller
    // edge tile is padded so that every stored tile has the directory's size.
    if (!tile->getContainer(rgb, 0) || rgb == nullptr || rgb->getFormat() != vq_fmtRGB24) return false;
    const int w = rgb->getWidth(), h = rgb->getHeight();
    if (w > tileSize_ || h > tileSize_) return false;
    const bool stored = w == tileSize_ && h == tileSize_ ? job.setContainer(rgb.get())
                                                         : setPaddedContainer(job, rgb.get(), tileSize_);
    return stored && encodeJob(job);
}
