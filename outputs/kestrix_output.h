// The tile folder output: every tile of every pyramid level as its own JPEG
// file in folders of 256 tiles ("TileGroup%d/%d-%d-%d.jpg"), and a one-line
// ImageProperties.xml beside them that web viewers read. The Google Earth
// output derives it and only renames folders and files.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "engine/pyramid/vq_zoomoutput.h"

class vq_zoom_layer;
class vq_zoom_tile_base;
class vq_raw_tile;

class vq_kestrix_output : public vq_zoomoutput_base {
public:
    static vq_kestrix_output* create();
    ~vq_kestrix_output() override;

    bool saveTile(vq_zoom_tile_base* tile) override;
    bool finish() override;
    // The run is over: the level chain is let go (levels hold the output,
    // so keeping them would keep both alive).
    void abort() override;
    void setQuality(int32_t value, vq_raw_tile*) override { quality = value; }
    void setAuxValue(int32_t value) override { auxValue = value; }
    void setBaseLayer(vq_zoom_layer* layer) override;
    bool setOutputPath(const std::string& path, const std::string& extension) override;
    bool saveRawTile(vq_zoom_tile_base* tile, vq_raw_tile* raw) override;
    void setThreadedSave(bool value) override { threaded = value; }
    bool acceptsRawTiles() override { return true; }
    bool acceptsYCbCrTiles() override { return true; }
    void setCompression(int32_t) override {}
    void setSubsampling(int32_t code) override { subsampling = code; }
    bool hasFailed() override { return errorFlag; }
    void addError(const std::string& text) override;
    void setImageDescription(const std::string&) override {}
    std::string getErrors() override { return errorText; }
    int32_t getOutputOption() override { return 0; }
    int32_t getColourSpace() override { return colourSpace; }
    void setColourSpace(int32_t code) override { colourSpace = code; }

    // Folder that holds the tiles of `group`.
    virtual std::string getOutputFolderName(vq_zoom_tile_base* tile, int32_t group);
    // Number of the folder a tile belongs to: its group of 256 tiles.
    virtual int32_t getOutputFolderIndex(vq_zoom_tile_base* tile);
    // File name of a tile inside its folder, with a leading separator.
    virtual std::string getTileFileName(vq_zoom_tile_base* tile);

    // Absolute path of `path` (relative paths are taken from the working
    // directory), created one level deep; empty on failure.
    std::string createOutputFolder(const std::string& path);
    // Removes what an earlier pyramid of this kind left in the output folder:
    // its tile files, its tile folders once they are empty, and its
    // description file. Anything else in the folder stays.
    virtual void removeEarlierPyramid();
    // Folder of a tile, created the first time one of its tiles is written.
    std::string getTileFolderPath(vq_zoom_tile_base* tile);
    bool saveTileAtQuality(vq_zoom_tile_base* tile, const std::string& path, int32_t q);
    // False when the file could not be written.
    bool writeImageProperties();

    const std::string& getOutputFolder() const { return outputFolder; }

protected:
    vq_kestrix_output() = default;

    // Sets the error flag and appends a line to the error text.
    void reportError(const std::string& text);
    // A tile file that could not be written completely: whatever was begun is
    // removed and the path is kept for the report at the end of the run.
    void tileNotWritten(const std::string& path, bool begun);
    // Adds the count and names of the unwritten tiles to the error text.
    void reportUnwrittenTiles();
    // Removes from `folder` every sub-folder whose name `isGroup` accepts,
    // after removing from it the files whose names `isTile` accepts; a
    // sub-folder that still holds anything else stays.
    static void removeTileFolders(const std::string& folder, bool (*isGroup)(const std::string&),
                                  bool (*isTile)(const std::string&));
    // True for `prefix`, then `numbers` decimal numbers joined by '-', then
    // `suffix`, and nothing else: ("TileGroup", 1, "") takes "TileGroup12".
    static bool isNumberedName(const std::string& name, const char* prefix, int numbers, const char* suffix);
    // printf-style `format` with one string argument.
    static std::string formatText(const char* format, const std::string& value);

    std::string errorText;
    std::set<int32_t> createdGroups;
    std::vector<std::string> unwrittenTiles;
    vq_ptr<vq_zoom_layer> baseLevel;
    std::string outputFolder;
    bool threaded = false;
    bool errorFlag = false;
    int32_t quality = 70;
    int32_t auxValue = 0;
    int32_t subsampling = 4;
    int32_t colourSpace = 3;
};
