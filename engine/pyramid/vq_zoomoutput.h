// The pyramid output interface: receives finished tiles and the settings of
// the file or folder they are written to.
#pragma once

#include <cstdint>
#include <string>

#include "engine/base/vq_refcount.h"

class vq_zoom_tile_base;
class vq_raw_tile;
class vq_zoom_layer;

// Derives vq_refcount virtually so that an object implementing this interface
// and the log sink has a single reference count.
class vq_zoomoutput_base : public virtual vq_refcount {
public:
    // Writes one finished tile of any level; the tile carries x, y and level.
    virtual bool saveTile(vq_zoom_tile_base* tile) = 0;
    // The run ended normally: write indexes and trailers, close files.
    virtual bool finish() = 0;
    // The run was cancelled or failed: abandon the output.
    virtual void abort() = 0;
    // Quality of the base level; outputs that write tables shared by all tiles
    // keep a clone of the raw tile (which may be null).
    virtual void setQuality(int32_t quality, vq_raw_tile* firstRawTile) = 0;
    virtual void setAuxValue(int32_t value) = 0;
    // The chain of levels that will be written.
    virtual void setBaseLayer(vq_zoom_layer* layer) = 0;
    virtual bool setOutputPath(const std::string& path, const std::string& extension) = 0;
    // Writes a tile still in its source compression; the label and macro
    // images arrive this way with levels -2 and -3.
    virtual bool saveRawTile(vq_zoom_tile_base* tile, vq_raw_tile* raw) = 0;
    virtual void setThreadedSave(bool threaded) = 0;
    virtual bool acceptsRawTiles() = 0;
    virtual bool acceptsYCbCrTiles() = 0;
    // TIFF compression code of written tiles (7 JPEG, 33003 JPEG 2000).
    virtual void setCompression(int32_t compression) = 0;
    // JPEG subsampling code of written tiles.
    virtual void setSubsampling(int32_t subsampling) = 0;
    virtual bool hasFailed() = 0;
    // Records an error line and sets the failed state.
    virtual void addError(const std::string& text) = 0;
    virtual void setImageDescription(const std::string& text) = 0;
    virtual std::string getErrors() = 0;
    // Output type code of this output.
    virtual int32_t getOutputOption() = 0;
    // 3 YCbCr, 4 RGB.
    virtual int32_t getColourSpace() = 0;
    virtual void setColourSpace(int32_t colourSpace) = 0;
    // Scan magnification and micrometres per base-level pixel.
    virtual void setScanInfo(double magnificationValue, double micronsPerPixelValue);

    void setJ2KFullChroma(bool fullChroma) { j2kFullChroma = fullChroma; }
    bool getJ2KFullChroma() const { return j2kFullChroma; }
    double getMagnification() const { return magnification; }
    double getMicronsPerPixel() const { return micronsPerPixel; }

protected:
    double magnification = 20.0;
    double micronsPerPixel = 0.5;
    // JPEG 2000 tiles keep full-resolution chroma (4:4:4) instead of 4:2:2.
    bool j2kFullChroma = false;
};
