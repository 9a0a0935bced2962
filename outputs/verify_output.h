// The verify output: runs a whole pyramid build without writing anything,
// checks that every tile carries pixels and counts the tiles of the
// full-resolution level against its grid. The error flag and text are the
// verdict.
#pragma once

#include <cstdint>
#include <string>

#include "engine/pyramid/vq_zoomoutput.h"

class vq_zoom_layer;
class vq_zoom_tile_base;
class vq_raw_tile;

class vq_verify_output : public vq_zoomoutput_base {
public:
    static vq_verify_output* create();

    bool saveTile(vq_zoom_tile_base* tile) override { return checkTile(tile); }
    bool finish() override;
    void abort() override { aborted = true; }
    void setQuality(int32_t, vq_raw_tile*) override {}
    void setAuxValue(int32_t) override {}
    void setBaseLayer(vq_zoom_layer* layer) override;
    bool setOutputPath(const std::string&, const std::string&) override { return true; }
    bool saveRawTile(vq_zoom_tile_base*, vq_raw_tile*) override { return false; }
    void setThreadedSave(bool) override {}
    bool acceptsRawTiles() override { return false; }
    bool acceptsYCbCrTiles() override { return true; }
    void setCompression(int32_t) override {}
    void setSubsampling(int32_t) override {}
    bool hasFailed() override { return errorFlag; }
    void addError(const std::string& text) override;
    void setImageDescription(const std::string&) override {}
    std::string getErrors() override { return errorText; }
    int32_t getOutputOption() override { return 6; }
    int32_t getColourSpace() override { return 3; }
    void setColourSpace(int32_t) override {}

    bool checkTile(vq_zoom_tile_base* tile);

    bool wasAborted() const { return aborted; }
    int32_t countedTiles() const { return counted; }
    int32_t expectedTiles() const { return expected; }

private:
    vq_verify_output() = default;

    void report(const std::string& text);
    // Checks one plane of a YCbCr tile; false when the tile has no such plane.
    bool checkPlane(vq_zoom_tile_base* tile, int32_t plane, const char* name);
    void countTile(vq_zoom_tile_base* tile);

    std::string errorText;
    bool errorFlag = false;
    bool aborted = false;
    int32_t baseLevelNumber = 0;
    int32_t counted = 0;
    int32_t expected = 0;
};
