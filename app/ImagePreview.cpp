#include "app/ImagePreview.h"

#include <algorithm>
#include <cstring>

#include "app/LogQueue.h"
#include "engine/base/imageContainer.h"
#include "engine/pyramid/zoom_layer.h"
#include "engine/pyramid/zoom_tile.h"
#include "outputs/output_factories.h"
#include "primitives/core/copy.h"
#include "primitives/resample/resize_gen.h"
#include "primitives/resample/resize_rows.h"

namespace {

constexpr int kVerifyOutput = 6;
// The largest level drawn has at most this many tiles.
constexpr int kMaxPreviewTiles = 512;
constexpr double kPreviewSide = 256.0;

// The output of a type, or null when this build has no writer for it.
vq_ptr<vq_zoomoutput_base> makeOutput(int type) {
    vq_ptr<vq_zoomoutput_base> out;
    switch (type) {
        case 1:
            if (createSvsOutput(out.put())) out->setCompression(7);
            break;
        case 5:
            if (createPyramidOutput(out.put())) out->setCompression(7);
            break;
        case 2:
            if (createSvsOutput(out.put())) out->setCompression(33003);
            break;
        case 7: createKestrixPffOutput(out.put()); break;
        case 4: createGoogleOutput(out.put()); break;
        case kVerifyOutput: createVerifyOutput(out.put()); break;
        default: createKestrixOutput(out.put()); break;
    }
    return out;
}

} // namespace

ImagePreview::ImagePreview() {
    addRef();
    setOpaque(false);
    // While the window exists lines of levels 0 and 1 reach the jobs' logs.
    logThreshold.store(1);
}

ImagePreview::~ImagePreview() {
    const juce::ScopedLock lock(logQueueLock);
    previewImage_ = juce::Image();
    logLineQueue.clear();
    realOutput_.reset();
}

// ---- output creation ----------------------------------------------------------------

void ImagePreview::createOutput() {
    const juce::ScopedLock lock(logQueueLock);
    errorFlag_ = false;
    if (realOutput_ == nullptr) realOutput_ = makeOutput(outputType_.load());
    if (realOutput_ != nullptr) realOutput_->setSubsampling(subsampling_);
}

void ImagePreview::setOutputType(int type) {
    outputType_.store(type);
    {
        const juce::ScopedLock lock(logQueueLock);
        realOutput_.reset();
    }
    createOutput();
}

bool ImagePreview::hasRealOutput() const {
    const juce::ScopedLock lock(logQueueLock);
    return realOutput_ != nullptr;
}

// The real output for one forwarded call; the reference keeps it alive while
// a finish or abort on another thread lets it go.
vq_ptr<vq_zoomoutput_base> ImagePreview::currentOutput() const {
    const juce::ScopedLock lock(logQueueLock);
    return realOutput_;
}

// ---- pyramid output -----------------------------------------------------------------

bool ImagePreview::saveTile(vq_zoom_tile_base* tile) {
    if (tile != nullptr && tile->getLevel() == previewLevel_) {
        try {
            drawPreviewTile(tile);
        } catch (...) {
            // The preview is a convenience: the tile is still written.
        }
    }
    auto out = currentOutput();
    return out != nullptr && out->saveTile(tile);
}

bool ImagePreview::saveRawTile(vq_zoom_tile_base* tile, vq_raw_tile* raw) {
    if (tile != nullptr && tile->getLevel() == previewLevel_) drawPreviewTile(tile);
    auto out = currentOutput();
    return out != nullptr && out->saveRawTile(tile, raw);
}

bool ImagePreview::finish() {
    auto out = currentOutput();
    // Without the lock: a long finish must not hold up painting and the ticks.
    const bool result = out != nullptr && out->finish();
    out.reset();
    const juce::ScopedLock lock(logQueueLock);
    if (realOutput_ != nullptr && realOutput_->hasFailed()) {
        errorFlag_ = true;
        errorText_ += outputPath_ + " failed to process\n" + realOutput_->getErrors() + "\n";
    }
    realOutput_.reset();
    return result;
}

void ImagePreview::abort() {
    const juce::ScopedLock lock(logQueueLock);
    if (realOutput_ != nullptr) realOutput_->abort();
    setPreviewImage(juce::Image());
}

void ImagePreview::setQuality(int32_t quality, vq_raw_tile* firstRawTile) {
    auto out = currentOutput();
    if (out != nullptr) out->setQuality(quality, firstRawTile);
}

void ImagePreview::setAuxValue(int32_t value) {
    auto out = currentOutput();
    if (out != nullptr) out->setAuxValue(value);
}

void ImagePreview::setThreadedSave(bool threaded) {
    createOutput();
    auto out = currentOutput();
    if (out != nullptr) out->setThreadedSave(threaded);
}

bool ImagePreview::acceptsRawTiles() {
    auto out = currentOutput();
    return out != nullptr && out->acceptsRawTiles();
}

bool ImagePreview::acceptsYCbCrTiles() {
    auto out = currentOutput();
    return out != nullptr && out->acceptsYCbCrTiles();
}

void ImagePreview::setSubsampling(int32_t subsampling) {
    subsampling_ = subsampling;
    auto out = currentOutput();
    if (out != nullptr) out->setSubsampling(subsampling);
}

void ImagePreview::setColourSpace(int32_t colourSpace) {
    colourSpace_ = colourSpace;
    auto out = currentOutput();
    if (out != nullptr) out->setColourSpace(colourSpace);
}

bool ImagePreview::hasFailed() {
    auto out = currentOutput();
    return errorFlag_ || (out != nullptr && out->hasFailed());
}

void ImagePreview::addError(const std::string& text) {
    const juce::ScopedLock lock(logQueueLock);
    errorFlag_ = true;
    errorText_ += text;
    if (realOutput_ != nullptr) realOutput_->abort();
}

std::string ImagePreview::getErrors() {
    const juce::ScopedLock lock(logQueueLock);
    return errorText_;
}

bool ImagePreview::setOutputPath(const std::string& path, const std::string& extension) {
    outputPath_ = path + extension;
    createOutput();
    std::string passedPath = path;
    const int type = outputType_.load();
    // An SVS source converted to SVS must not overwrite itself.
    if ((type == 1 || type == 2) && juce::String(extension).equalsIgnoreCase(".svs")) passedPath += "copy";
    {
        const juce::ScopedLock lock(logQueueLock);
        errorText_.clear();
    }
    auto out = currentOutput();
    if (out == nullptr) {
        addError("No output of type " + std::to_string(type) + " could be created\n");
        return false;
    }
    out->setJ2KFullChroma(j2kFullChroma);
    return out->setOutputPath(passedPath, extension);
}

void ImagePreview::setBaseLayer(vq_zoom_layer* layer) {
    const juce::ScopedLock lock(logQueueLock);
    createOutput();
    vq_zoom_layer* level = layer;
    while (level != nullptr && level->getTileCount().first * level->getTileCount().second > kMaxPreviewTiles)
        level = level->getNextLayer();
    if (level != nullptr) {
        previewLevel_ = level->getLevel();
        previewGrid_ = {level->getTileCount().first, level->getTileCount().second};
        previewLevelSize_ = {level->getImageSize().first, level->getImageSize().second};
        previewTileSize_ = {level->getTileSize().first, level->getTileSize().second};
        // A verify run needs no levels below the one it shows.
        if (outputType_.load() == kVerifyOutput) level->releaseChain();
    }
    if (level != nullptr && previewLevelSize_.first > 0 && previewLevelSize_.second > 0) {
        columnEdges_.clear();
        rowEdges_.clear();
        const double s = std::min(1.0, std::min(kPreviewSide / previewLevelSize_.first,
                                                kPreviewSide / previewLevelSize_.second));
        previewScale_ = s;
        juce::Image image(juce::Image::RGB, static_cast<int>(previewLevelSize_.first * s) + 2,
                          static_cast<int>(previewLevelSize_.second * s) + 2, false, juce::SoftwareImageType());
        image.clear(image.getBounds(), juce::Colours::white);
        setPreviewImage(image);
        for (int i = 0; i <= previewGrid_.first; ++i)
            columnEdges_.push_back(
                static_cast<int>(std::min(previewTileSize_.first * i, previewLevelSize_.first) * s));
        for (int j = 0; j <= previewGrid_.second; ++j)
            rowEdges_.push_back(
                static_cast<int>(std::min(previewTileSize_.second * j, previewLevelSize_.second) * s));
    }
    if (realOutput_ != nullptr) realOutput_->setBaseLayer(layer);
}

// ---- preview ------------------------------------------------------------------------

void ImagePreview::drawPreviewTile(vq_zoom_tile_base* tile) {
    const juce::ScopedLock lock(logQueueLock);
    if (previewImage_.isNull()) return;
    const int x = tile->getX();
    const int y = tile->getY();
    if (x < 0 || y < 0 || x + 1 >= static_cast<int>(columnEdges_.size()) ||
        y + 1 >= static_cast<int>(rowEdges_.size()))
        return;
    const int left = columnEdges_[x];
    int w = columnEdges_[x + 1] - left;
    const int top = rowEdges_[y];
    int h = rowEdges_[y + 1] - top;
    if (w <= 0 || h <= 0) return;

    vq_ptr<imageContainer> source;
    if (tile->getFormat() == vq_fmtYCbCr)
        tile->cloneContainer(source);
    else
        tile->getContainer(source, 4);
    if (source == nullptr || !source->isAllocated() || source->getChannels() != 3 ||
        source->getBitsPerSample() != 8)
        return;
    previewChanged_ = true;

    const int sw = source->getWidth();
    const int sh = source->getHeight();
    if (sw <= 0 || sh <= 0) return;
    auto cell = vq_ptr<imageContainer>::adopt(imageContainer::create());
    if (cell == nullptr || !cell->create(source->getFormat(), w, h, false)) return;
    const double f = std::max((w + 0.5) / sw, (h + 0.5) / sh);
    {
        const uint8_t* src = nullptr;
        int32_t srcStep = 0;
        uint8_t* dst = nullptr;
        int32_t dstStep = 0;
        source->lockPixelsConst(&src, &srcStep);
        cell->lockPixels(&dst, &dstStep);
        if (sw == w && sh == h) {
            copyRoi8uC3(src, srcStep, dst, dstStep, PrimSize{w, h});
        } else {
            // Super-sampling only reduces; an enlarged cell is interpolated.
            const int32_t interpolation = f <= 1.0 ? resizeSuperSample : resizeLinear;
            resizeByFactors8uC3(src, PrimSize{sw, sh}, srcStep, PrimRect{0, 0, sw, sh}, dst, dstStep, PrimSize{w, h},
                                f, f, interpolation);
        }
        cell->unlockPixels();
        source->unlockPixels();
    }
    if (source->getFormat() != vq_fmtBGR24 && !cell->convertTo(vq_fmtBGR24)) return;

    w = std::min(w, previewImage_.getWidth() - left);
    h = std::min(h, previewImage_.getHeight() - top);
    if (w <= 0 || h <= 0) return;
    const uint8_t* pixels = nullptr;
    int32_t step = 0;
    cell->lockPixelsConst(&pixels, &step);
    {
        juce::Image::BitmapData bitmap(previewImage_, left, top, w, h, juce::Image::BitmapData::writeOnly);
        for (int row = 0; row < h; ++row)
            std::memcpy(bitmap.getLinePointer(row), pixels + static_cast<size_t>(row) * step,
                        static_cast<size_t>(w) * 3);
    }
    cell->unlockPixels();
}

void ImagePreview::setPreviewImage(const juce::Image& image) {
    const juce::ScopedLock lock(logQueueLock);
    previewChanged_ = true;
    previewImage_ = image;
}

bool ImagePreview::hasPreviewImage() const {
    const juce::ScopedLock lock(logQueueLock);
    return previewImage_.isValid();
}

juce::Image ImagePreview::getPreviewImage() const {
    const juce::ScopedLock lock(logQueueLock);
    return previewImage_.createCopy();
}

bool ImagePreview::isPreviewChanged() const {
    const juce::ScopedLock lock(logQueueLock);
    return previewChanged_;
}

void ImagePreview::clearPreviewChanged() {
    const juce::ScopedLock lock(logQueueLock);
    previewChanged_ = false;
}

void ImagePreview::paint(juce::Graphics& g) {
    const juce::ScopedLock lock(logQueueLock);
    if (previewImage_.isNull()) {
        g.setColour(juce::Colours::black);
        g.drawRect(0, 0, getWidth(), getHeight(), 1);
        g.drawText(kDropHint, 0, 0, getWidth(), getHeight(), juce::Justification::centred, true);
        return;
    }
    const float dx = std::max(0.0f, (getWidth() - previewImage_.getWidth()) / 2.0f);
    const float dy = std::max(0.0f, (getHeight() - previewImage_.getHeight()) / 2.0f);
    g.setOpacity(1.0f);
    g.drawImageTransformed(previewImage_, juce::AffineTransform::translation(dx, dy));
}

// ---- log and progress sink ------------------------------------------------------------

void ImagePreview::setLogLevel(int32_t level) { logThreshold.store(level); }

void ImagePreview::log(int32_t level, const char* text) { pushLogLine(level, text); }

void ImagePreview::setProgress(int32_t percent) {
    if (outputType_.load() != kVerifyOutput) progressPercent_.store(percent);
}

void ImagePreview::stepProgress(int32_t, int32_t) {
    if (outputType_.load() != kVerifyOutput) return;
    const int done = ++verifyTilesDone_;
    const int total = verifyTileTotal_.load();
    // Without a total there is nothing to measure against: keep the last value.
    if (total > 0) progressPercent_.store(done * 100 / total);
}

void ImagePreview::setVerifyTileTotal(const std::vector<std::pair<int, int>>& levelGrids) {
    int total = 0;
    for (const auto& [across, down] : levelGrids) total += across * down;
    verifyTileTotal_.store(total);
    verifyTilesDone_.store(0);
}
