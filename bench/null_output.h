// A pyramid output for benchmarks that keeps nothing: every operation
// succeeds and does no work, so a benchmark measures the engine alone.
// Benchmarks derive from it and override what they want to count or do.
#pragma once

#include <string>

#include "engine/pyramid/vq_zoomoutput.h"

class NullOutput : public vq_zoomoutput_base {
public:
    bool saveTile(vq_zoom_tile_base*) override { return true; }
    bool finish() override { return true; }
    void abort() override {}
    void setQuality(int32_t, vq_raw_tile*) override {}
    void setAuxValue(int32_t) override {}
    void setBaseLayer(vq_zoom_layer*) override {}
    bool setOutputPath(const std::string&, const std::string&) override { return true; }
    bool saveRawTile(vq_zoom_tile_base*, vq_raw_tile*) override { return false; }
    void setThreadedSave(bool) override {}
    bool acceptsRawTiles() override { return false; }
    bool acceptsYCbCrTiles() override { return false; }
    void setCompression(int32_t) override {}
    void setSubsampling(int32_t) override {}
    bool hasFailed() override { return false; }
    void addError(const std::string&) override {}
    void setImageDescription(const std::string&) override {}
    std::string getErrors() override { return {}; }
    int32_t getOutputOption() override { return 3; }
    int32_t getColourSpace() override { return 3; }
    void setColourSpace(int32_t) override {}
};
