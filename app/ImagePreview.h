// The preview square of the main window and the job's log and progress sink.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <memory>
#include <utility>
#include <vector>

#include "engine/vq_logoutput.h"

// Owned by its parent component. It holds one reference on itself for its
// whole life, so the engine's reference pointers never delete it.
class ImagePreview : public juce::Component, public vq_logoutput_base {
public:
    ImagePreview();
    ~ImagePreview() override;

    // Log and progress sink.
    void setLogLevel(int32_t level) override;
    void log(int32_t level, const char* text) override;
    // Ignored by a verify job, whose progress counts verified tiles.
    void setProgress(int32_t percent) override;
    // Counts one verified tile; other jobs ignore it.
    void stepProgress(int32_t, int32_t) override;
    int32_t getProgress() override { return progressPercent_.load(); }
    // Tiles across and down of every level a verify job visits.
    void setVerifyTileTotal(const std::vector<std::pair<int, int>>& levelGrids);

    void setOutputType(int type) { outputType_.store(type); }
    int getOutputType() const { return outputType_.load(); }

    // A null image drops the preview; the drop hint shows again.
    void setPreviewImage(const juce::Image& image);
    bool hasPreviewImage() const;
    bool isPreviewChanged() const;
    void clearPreviewChanged();

    void paint(juce::Graphics& g) override;

    static constexpr const char* kDropHint = "Drop image to convert here...";

private:
    std::unique_ptr<juce::DrawableImage> drawable_;
    bool previewChanged_ = true;
    std::atomic<int> outputType_{0};
    std::atomic<int> progressPercent_{0};
    std::atomic<int> verifyTileTotal_{0};
    std::atomic<int> verifyTilesDone_{0};
};
