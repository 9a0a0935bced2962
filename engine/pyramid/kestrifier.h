// The pyramid driver: turns one source (read strip by strip or tile by tile)
// into every level of a pyramid handed to one output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/raw_tile.h"
#include "engine/tilepath/raw_zoom_layer.h"
#include "engine/base/vq_logoutput.h"
#include "engine/base/vq_refcount.h"
#include "engine/pyramid/vq_zoomoutput.h"
#include "engine/pyramid/zoom_layer.h"
#include "engine/pyramid/zoom_tile.h"

class vq_FileInfo;
class vq_stripLoader_base;
class vq_tileloader_base;

class vq_kestrifier_base : public vq_refcount {
public:
    virtual bool kestrixStrips(vq_stripLoader_base* loader, const char* path, const char* extension) = 0;
    virtual bool kestrixTiles(vq_tileloader_base* loader, int32_t level, int32_t image, const char* path,
                              const char* extension) = 0;
    virtual int32_t hasSampleRawTile() = 0;
    virtual void setAuxFlag(bool flag) = 0;
    virtual void setResampling(int32_t option) = 0;
    virtual void setQuality(int32_t quality) = 0;
    virtual bool setSampleRawTile(vq_raw_tile* tile) = 0;
    virtual int32_t getQuality() = 0;
    virtual bool getSampleRawTile(vq_ptr<vq_raw_tile>* out) = 0;
    virtual void setMaxQuality(int32_t quality) = 0;
    virtual void setFileInfo(vq_FileInfo* info) = 0;
    virtual void setCropEdgeTiles(bool crop) = 0;
    virtual bool getCropEdgeTiles() = 0;
    virtual void setStrictRawSize(bool strict) = 0;
    virtual bool getStrictRawSize() = 0;
    virtual void setLogOutput(vq_logoutput_base* sink) = 0;
    virtual void setMultiImageMode(bool multi) = 0;
    virtual void setOutputOption(int32_t option) = 0;
    virtual void setOutput(vq_zoomoutput_base* output) = 0;
    virtual vq_zoomoutput_base* getOutput() = 0;
    virtual void setPreferredTileSize(int32_t size) = 0;
    virtual void cancel() = 0;
    virtual bool isCancelled() = 0;
    virtual int32_t getTilePixelFormat() = 0;
    virtual void setTilePixelFormat(int32_t format) = 0;
    virtual void setJ2KFullChroma(bool fullChroma) = 0;
    virtual bool getJ2KFullChroma() = 0;
};

class vq_kestrifier : public vq_kestrifier_base {
public:
    static vq_kestrifier* create();
    ~vq_kestrifier() override;

    bool kestrixStrips(vq_stripLoader_base* loader, const char* path, const char* extension) override;
    bool kestrixTiles(vq_tileloader_base* loader, int32_t level, int32_t image, const char* path,
                      const char* extension) override;
    int32_t hasSampleRawTile() override { return sampleRawTileFlag; }
    void setAuxFlag(bool flag) override { auxFlag = flag; }
    void setResampling(int32_t option) override { resampling = option; }
    void setQuality(int32_t q) override
    {
        quality = q;
        sampleRawTileFlag = 0;
    }
    bool setSampleRawTile(vq_raw_tile* tile) override;
    int32_t getQuality() override { return quality; }
    bool getSampleRawTile(vq_ptr<vq_raw_tile>* out) override;
    void setMaxQuality(int32_t q) override { maxQuality = q; }
    void setFileInfo(vq_FileInfo* info) override;
    void setCropEdgeTiles(bool crop) override { cropEdgeTiles = crop; }
    bool getCropEdgeTiles() override { return cropEdgeTiles; }
    void setStrictRawSize(bool strict) override;
    bool getStrictRawSize() override { return strictRawSize; }
    void setLogOutput(vq_logoutput_base* sink) override;
    void setMultiImageMode(bool multi) override { multiImageMode = multi; }
    void setOutputOption(int32_t option) override { outputOption = option; }
    void setOutput(vq_zoomoutput_base* out) override;
    vq_zoomoutput_base* getOutput() override { return output.get(); }
    void setPreferredTileSize(int32_t size) override { preferredTileSize = size; }
    void cancel() override;
    bool isCancelled() override;
    int32_t getTilePixelFormat() override { return tilePixelFormat; }
    void setTilePixelFormat(int32_t format) override { tilePixelFormat = format; }
    void setJ2KFullChroma(bool fullChroma) override { j2kFullChroma = fullChroma; }
    bool getJ2KFullChroma() override { return j2kFullChroma; }

    // Makes the output of the run from the output option.
    bool createOutput();
    // Cuts one RGB strip into tiles of one tile row (key: row and level).
    void splitStripRGB(std::vector<vq_ptr<vq_zoom_tile_base>>& tiles, vq_tileKey key, imageContainer* strip,
                       const IntPair& imageSize, int32_t tileSize);
    void splitStripYCbCr(std::vector<vq_ptr<vq_zoom_tile_base>>& tiles, vq_tileKey key, int32_t subsampling,
                         imageContainer* y, imageContainer* cb, imageContainer* cr, const IntPair& lumaTileSize,
                         const IntPair& chromaTileSize);
    // Takes loaded tiles from the queue until the total has arrived; returns
    // the number taken.
    int32_t consumeLoadedTiles(int32_t total, int32_t level);

    vq_zoom_layer* getBaseLayer() const { return baseLayer.get(); }

protected:
    vq_kestrifier();

    void log(int32_t level, const char* text);
    void logf(int32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // Adds a message to the held output's errors, or keeps it for the output
    // the switch creates later in the run.
    void addRunError(const char* text);
    void releaseLayers();
    // Logs a failed output and its errors; true when the output failed.
    bool reportOutputFailure();
    // Abandons the output once per run.
    void abortOutput();
    // The tile path on the calling thread alone; false after a failure
    // (the output is aborted and holds the error).
    bool tileLoop(vq_tileloader_base* loader, int32_t level, int32_t image, const IntPair& grid, int32_t total,
                  bool passRawJPEG, int32_t* done);
    // Google Earth needs tiles of 64 to 2048 pixels, a power of 2.
    bool checkGoogleTileSize(vq_zoom_layer* first);
    bool stripLoop(vq_stripLoader_base* loader, bool ycbcr, int32_t tileSize, int32_t tileRows,
                   const IntPair& imageSize);

    bool j2kFullChroma = false;
    bool auxFlag = false;
    bool multiImageMode = false;
    vq_ptr<vq_FileInfo> fileInfo;
    vq_ptr<vq_logoutput_base> logSink;
    vq_ptr<vq_zoom_layer> baseLayer;
    // Reshapes raw source tiles that are not square for the base level.
    vq_ptr<vq_raw_zoom_layer> rawLayer;
    vq_ptr<vq_zoomoutput_base> output;
    int32_t sampleRawTileFlag = 0;
    int32_t quality = 50;
    int32_t maxQuality = 70;
    int32_t resampling = 2;
    int32_t tilePixelFormat = 3;
    vq_ptr<vq_raw_tile> sampleRawTile;
    bool strictRawSize = false;
    bool cropEdgeTiles = true;
    int32_t preferredTileSize = 0;
    int32_t outputOption = 0;
    // The consumer stopped on an error record or a refused tile.
    bool consumerStopped = false;
    bool outputAborted = false;
    // Errors found before the output of the run exists.
    std::vector<std::string> pendingErrors;
};

void createKestrifier(vq_ptr<vq_kestrifier_base>* out);

// step when offset + step fits in total, else what is left.
inline int32_t remainingExtent(int32_t step, int32_t offset, int32_t total)
{
    return offset + step <= total ? step : total - offset;
}

// Fills one plane of a YCbCr tile from a strip plane: a full-size buffer
// cropped to the visible size.
bool copyStripPlane(imageContainer* plane, int32_t format, const IntPair& fullSize, const IntPair& visible,
                    const uint8_t* src, int32_t srcStep);
