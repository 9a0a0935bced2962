// The slide-file outputs: the pyramid written into one SVS file (JPEG tiles,
// or JPEG 2000 tiles where an encoder for them exists) or one pyramid TIFF
// file through the SVS saver, which runs its own encoder threads.
#pragma once

#include <cstdint>
#include <string>

#include "engine/pyramid/vq_zoomoutput.h"
#include "outputs/slide/svs_saver_base.h"

class vq_stream;

class vq_zoomoutput_svs : public vq_zoomoutput_base {
public:
    static vq_zoomoutput_svs* create();
    ~vq_zoomoutput_svs() override;

    bool saveTile(vq_zoom_tile_base* tile) override;
    bool finish() override;
    void abort() override;
    void setQuality(int32_t quality, vq_raw_tile* firstRawTile) override;
    void setAuxValue(int32_t value) override { auxValue_ = value; }
    void setBaseLayer(vq_zoom_layer* layer) override;
    bool setOutputPath(const std::string& path, const std::string& extension) override;
    bool saveRawTile(vq_zoom_tile_base* tile, vq_raw_tile* raw) override;
    void setThreadedSave(bool) override {}
    bool acceptsRawTiles() override { return true; }
    bool acceptsYCbCrTiles() override { return true; }
    void setCompression(int32_t code) override { compression_ = code; }
    void setSubsampling(int32_t code) override { subsampling_ = code; }
    bool hasFailed() override { return errorFlag_; }
    void addError(const std::string& text) override;
    void setImageDescription(const std::string& text) override;
    std::string getErrors() override { return errorText_; }
    int32_t getOutputOption() override;
    int32_t getColourSpace() override { return colourSpace_; }
    void setColourSpace(int32_t code) override { colourSpace_ = code; }
    void setScanInfo(double magnificationValue, double micronsPerPixelValue) override;

    // The name of the file written for an output path.
    virtual std::string fileName(const std::string& path) const;

protected:
    vq_zoomoutput_svs() = default;
    // Opens the file and creates the saver on it.
    bool openSaver(const std::string& name);
    // The saver of this output's file kind, on the opened stream.
    virtual bool createSaver(vq_stream* stream, vq_svs_saver_base** out);
    // Records the base level's tile size and, when there is a saver, gives
    // it the settings and the base level; false without a saver.
    bool declareBaseLevel(vq_zoom_layer* base);
    // Why the saver's finish failed; empty when it does not say.
    virtual std::string saverFailure();

    std::string errorText_;
    int32_t subsampling_ = 4;
    int32_t colourSpace_ = 3;
    int32_t compression_ = 7;
    int32_t quality_ = 70;
    int32_t auxValue_ = 0;
    int32_t tileSize_ = 0;
    vq_ptr<vq_raw_tile> firstRawTile_;
    vq_ptr<vq_svs_saver_base> saver_;
    vq_ptr<vq_stream> file_;
    bool errorFlag_ = false;
};

// A pyramid TIFF file: no thumbnail, no colour space and no raw source tiles
// for the levels.
class vq_zoomoutput_pyramid : public vq_zoomoutput_svs {
public:
    static vq_zoomoutput_pyramid* create();

    void setBaseLayer(vq_zoom_layer* layer) override;
    int32_t getOutputOption() override { return 5; }
    std::string fileName(const std::string& path) const override { return path + ".ptif"; }

protected:
    vq_zoomoutput_pyramid() = default;
};
