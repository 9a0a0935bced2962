#include "outputs/svs_output.h"

#include <cstdio>
#include <new>
#include <strings.h>

#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "engine/pyramid/zoom_layer.h"
#include "engine/pyramid/zoom_tile.h"
#include "outputs/slide/svs_saver.h"

vq_zoomoutput_svs* vq_zoomoutput_svs::create() { return new (std::nothrow) vq_zoomoutput_svs; }
vq_zoomoutput_pyramid* vq_zoomoutput_pyramid::create() { return new (std::nothrow) vq_zoomoutput_pyramid; }

// The stream goes first, then the saver (which lets go of the file), then
// the first raw tile.
vq_zoomoutput_svs::~vq_zoomoutput_svs() {
    file_.reset();
    saver_.reset();
    firstRawTile_.reset();
}

std::string vq_zoomoutput_svs::fileName(const std::string& path) const {
    if (path.size() > 4 && strcasecmp(path.c_str() + path.size() - 4, ".svs") == 0) return path;
    return path + ".svs";
}

bool vq_zoomoutput_svs::openSaver(const std::string& name) {
    saver_.reset();
    file_.reset();
    if (openWriteStream(name.c_str(), file_.put()) != 0 || file_ == nullptr) return false;
    if (!createSaver(file_.get(), saver_.put()) || saver_ == nullptr) return false;
    saver_->setCompression(compression_);
    saver_->setFullChroma(getJ2KFullChroma());
    saver_->setScanInfo(getMagnification(), getMicronsPerPixel());
    return true;
}

bool vq_zoomoutput_svs::createSaver(vq_stream* stream, vq_svs_saver_base** out) {
    return createSvsSaver(stream, out);
}

std::string vq_zoomoutput_svs::saverFailure() {
    auto* svs = dynamic_cast<vq_svs_saver*>(saver_.get());
    return svs != nullptr ? svs->getFailure() : std::string();
}

bool vq_zoomoutput_svs::setOutputPath(const std::string& path, const std::string&) {
    if (openSaver(fileName(path))) return true;
    errorFlag_ = true;
    addError("Unable to create " + fileName(path));
    return false;
}

void vq_zoomoutput_svs::setQuality(int32_t quality, vq_raw_tile* firstRawTile) {
    quality_ = quality;
    if (firstRawTile != nullptr && firstRawTile_ == nullptr) firstRawTile->clone(firstRawTile_);
}

bool vq_zoomoutput_svs::declareBaseLevel(vq_zoom_layer* base) {
    if (base == nullptr) return false;
    tileSize_ = base->getTileSize().first;
    if (saver_ == nullptr) return false;
    saver_->setTileSize(tileSize_);
    saver_->setSubsampling(subsampling_);
    saver_->setColourSpace(colourSpace_);
    saver_->setBaseLevel(base->getImageSize(), base->getLevel(), base->getQuality(), firstRawTile_.get());
    return true;
}

void vq_zoomoutput_svs::setBaseLayer(vq_zoom_layer* base) {
    if (!declareBaseLevel(base)) return;
    // The thumbnail is the first level narrower than 1024 or lower than 768
    // pixels, or the level before it when it is below in both; a level of a
    // single tile ends the walk as the thumbnail.
    bool thumbnailChosen = false;
    vq_zoom_layer* previous = base;
    int i = 0;
    for (vq_zoom_layer* level = base; level != nullptr; level = level->getNextLayer()) {
        if (level->isRetiling()) continue;
        const IntPair size = level->getImageSize();
        const IntPair grid = level->getTileCount();
        if (!thumbnailChosen) {
            if (grid.first == 1 && grid.second == 1) {
                saver_->setThumbnail(level->getLevel(), size, grid, 75);
                return;
            }
            if (size.first < 1024 || size.second < 768) {
                vq_zoom_layer* source = (size.first < 1024 && size.second < 768) ? previous : level;
                saver_->setThumbnail(source->getLevel(), source->getImageSize(), source->getTileCount(), 75);
                thumbnailChosen = true;
            }
        }
        if (i > 0) saver_->addLevel(level->getLevel(), size, level->getQuality(), nullptr);
        previous = level;
        ++i;
    }
}

void vq_zoomoutput_pyramid::setBaseLayer(vq_zoom_layer* base) {
    if (base == nullptr || saver_ == nullptr) return;
    saver_->setTileSize(base->getTileSize().first);
    saver_->setSubsampling(subsampling_);
    saver_->setBaseLevel(base->getImageSize(), base->getLevel(), base->getQuality(), nullptr);
    for (vq_zoom_layer* level = base->getNextLayer(); level != nullptr; level = level->getNextLayer())
        if (!level->isRetiling()) saver_->addLevel(level->getLevel(), level->getImageSize(), level->getQuality(), nullptr);
}

bool vq_zoomoutput_svs::saveTile(vq_zoom_tile_base* tile) {
    if (saver_ == nullptr || tile == nullptr) return false;
    if (tile->isSaved()) return true;
    bool ok = false;
    if (tile->getFormat() == vq_fmtRGB24) {
        vq_ptr<imageContainer> rgb;
        if (!tile->getContainer(rgb, vq_fmtRGB24) || rgb == nullptr) {
            errorFlag_ = true;
            return false;
        }
        ok = saver_->addTile(tile->getX(), tile->getY(), tile->getLevel(), rgb.get());
    } else if (tile->getFormat() == vq_fmtYCbCr) {
        vq_ptr<imageContainer> y, cb, cr;
        if (!tile->getContainer(y, vq_fmtPlaneY) || !tile->getContainer(cb, vq_fmtPlaneCb) ||
            !tile->getContainer(cr, vq_fmtPlaneCr) || y == nullptr || cb == nullptr || cr == nullptr) {
            errorFlag_ = true;
            return false;
        }
        ok = saver_->addTileYCbCr(tile->getX(), tile->getY(), tile->getLevel(), y.get(), cb.get(), cr.get(),
                                  tile->getSubsampling());
    } else {
        return false;
    }
    if (ok) tile->setSaved();
    else errorFlag_ = true;
    return ok;
}

bool vq_zoomoutput_svs::saveRawTile(vq_zoom_tile_base* tile, vq_raw_tile* raw) {
    if (saver_ == nullptr || tile == nullptr || raw == nullptr) return false;
    const int level = tile->getLevel();
    if (level >= 0) {
        // Raw tiles of a level must be JPEG or JPEG 2000 tiles of the level's
        // own size; anything else is decoded and encoded instead.
        if (raw->getCompression() != 7 && raw->getCompression() != 33003) return false;
        if (raw->getSize().first != tileSize_ || raw->getSize().second != tileSize_) return false;
        // A JPEG tile whose tables differ from the level's is decoded and
        // encoded again like any tile not written raw; that is no failure.
        auto* svs = dynamic_cast<vq_svs_saver*>(saver_.get());
        if (raw->getCompression() == 7 && svs != nullptr && !svs->rawTablesMatch(level, raw)) return false;
    }
    const bool ok = saver_->addRawTile(tile->getX(), tile->getY(), level, raw);
    if (ok) {
        tile->setSaved();
    } else {
        errorFlag_ = true;
        char text[96];
        std::snprintf(text, sizeof text, "Invalid raw tile x:%d y:%d z:%d\n", tile->getX(), tile->getY(), level);
        errorText_ += text;
    }
    return ok;
}

bool vq_zoomoutput_svs::finish() {
    if (saver_ == nullptr) return false;
    const bool ok = saver_->finish();
    if (!ok) {
        errorFlag_ = true;
        const std::string failure = saverFailure();
        const std::string why = failure.empty() ? "incomplete" : failure;
        if (!errorText_.empty()) errorText_ += "\n";
        errorText_ += "The slide file could not be completed: " + why;
    }
    if (file_ != nullptr && file_->close() != 0 && ok) {
        errorFlag_ = true;
        errorText_ += errorText_.empty() ? "" : "\n";
        errorText_ += "The slide file could not be closed";
        return false;
    }
    return ok;
}

void vq_zoomoutput_svs::abort() {
    if (saver_ != nullptr) saver_->abort();
}

void vq_zoomoutput_svs::addError(const std::string& text) {
    abort();
    errorFlag_ = true;
    if (errorText_.empty()) errorText_ = text;
    else errorText_ += "\n" + text;
}

void vq_zoomoutput_svs::setImageDescription(const std::string& text) {
    if (saver_ != nullptr) saver_->setDescription(text.c_str());
}

int32_t vq_zoomoutput_svs::getOutputOption() { return compression_ == 7 ? 1 : compression_ == 33003 ? 2 : 8; }

void vq_zoomoutput_svs::setScanInfo(double magnificationValue, double micronsPerPixelValue) {
    vq_zoomoutput_base::setScanInfo(magnificationValue, micronsPerPixelValue);
    if (saver_ != nullptr) saver_->setScanInfo(magnificationValue, micronsPerPixelValue);
}
