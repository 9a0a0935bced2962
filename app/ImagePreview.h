// The preview square of the main window, the job's log and progress sink, and
// the proxy output the pyramid driver writes to: it creates the real output
// of the job's type, passes the driver's calls on and draws the tiles of one
// level into a small preview image as they pass.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/vq_logoutput.h"
#include "engine/pyramid/vq_zoomoutput.h"

// Owned by its parent component. It holds one reference on itself for its
// whole life, so the engine's reference pointers never delete it.
class ImagePreview : public juce::Component, public vq_zoomoutput_base, public vq_logoutput_base {
public:
    ImagePreview();
    ~ImagePreview() override;

    // Pyramid output: passed on to the real output, see the source.
    bool saveTile(vq_zoom_tile_base* tile) override;
    bool finish() override;
    void abort() override;
    void setQuality(int32_t quality, vq_raw_tile* firstRawTile) override;
    void setAuxValue(int32_t value) override;
    void setBaseLayer(vq_zoom_layer* layer) override;
    bool setOutputPath(const std::string& path, const std::string& extension) override;
    bool saveRawTile(vq_zoom_tile_base* tile, vq_raw_tile* raw) override;
    void setThreadedSave(bool threaded) override;
    bool acceptsRawTiles() override;
    bool acceptsYCbCrTiles() override;
    // Kept here; SVS and pyramid TIFF outputs get their compression on creation.
    void setCompression(int32_t compression) override { compression_ = compression; }
    void setSubsampling(int32_t subsampling) override;
    bool hasFailed() override;
    void addError(const std::string& text) override;
    void setImageDescription(const std::string&) override {}
    std::string getErrors() override;
    int32_t getOutputOption() override { return outputType_.load(); }
    int32_t getColourSpace() override { return colourSpace_; }
    void setColourSpace(int32_t colourSpace) override;

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

    // Stores the type and creates a fresh real output of it. Called while no
    // run is active.
    void setOutputType(int type);
    int getOutputType() const { return outputType_.load(); }
    // Whether a real output of the output type exists (this build may have
    // no writer for it).
    bool hasRealOutput() const;
    void clearErrors() { errorText_.clear(); }

    // A null image drops the preview; the drop hint shows again.
    void setPreviewImage(const juce::Image& image);
    bool hasPreviewImage() const;
    juce::Image getPreviewImage() const;
    bool isPreviewChanged() const;
    void clearPreviewChanged();

    void paint(juce::Graphics& g) override;

    static constexpr const char* kDropHint = "Drop image to convert here...";

private:
    void createOutput();
    vq_ptr<vq_zoomoutput_base> currentOutput() const;
    void drawPreviewTile(vq_zoom_tile_base* tile);

    std::string outputPath_;
    std::string errorText_;
    int32_t colourSpace_ = 3;
    bool errorFlag_ = false;
    int32_t subsampling_ = 4;
    std::atomic<int> outputType_{0};
    int32_t compression_ = 7;
    vq_ptr<vq_zoomoutput_base> realOutput_;
    juce::Image previewImage_;
    bool previewChanged_ = true;
    int previewLevel_ = -1;
    std::pair<int, int> previewGrid_{0, 0};
    std::pair<int, int> previewLevelSize_{0, 0};
    std::pair<int, int> previewTileSize_{0, 0};
    std::atomic<int> progressPercent_{0};
    double previewScale_ = 1.0;
    std::vector<int> columnEdges_;
    std::vector<int> rowEdges_;
    std::atomic<int> verifyTileTotal_{0};
    std::atomic<int> verifyTilesDone_{0};
};
