#include "app/ImagePreview.h"

#include "app/LogQueue.h"

namespace {
constexpr int kVerifyOutput = 6;
}

ImagePreview::ImagePreview() {
    addRef();
    setOpaque(false);
    // While the window exists lines of levels 0 and 1 reach the jobs' logs.
    logThreshold.store(1);
}

ImagePreview::~ImagePreview() {
    const juce::ScopedLock lock(logQueueLock);
    drawable_.reset();
    logLineQueue.clear();
}

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

void ImagePreview::setPreviewImage(const juce::Image& image) {
    const juce::ScopedLock lock(logQueueLock);
    previewChanged_ = true;
    if (image.isNull()) {
        drawable_.reset();
        return;
    }
    if (drawable_ == nullptr) drawable_ = std::make_unique<juce::DrawableImage>();
    drawable_->setImage(image);
}

bool ImagePreview::hasPreviewImage() const {
    const juce::ScopedLock lock(logQueueLock);
    return drawable_ != nullptr;
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
    if (drawable_ == nullptr) {
        g.setColour(juce::Colours::black);
        g.drawRect(0, 0, getWidth(), getHeight(), 1);
        g.drawText(kDropHint, 0, 0, getWidth(), getHeight(), juce::Justification::centred, true);
        return;
    }
    const auto image = drawable_->getImage();
    const float dx = std::max(0.0f, (getWidth() - image.getWidth()) / 2.0f);
    const float dy = std::max(0.0f, (getHeight() - image.getHeight()) / 2.0f);
    drawable_->draw(g, 1.0f, juce::AffineTransform::translation(dx, dy));
}
