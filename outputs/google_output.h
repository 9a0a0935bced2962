// The Google Earth tile set: one folder per pyramid level of tiles named
// "%d-%d.jpg" by column and row, and a KML photo overlay beside the folder.
#pragma once

#include "outputs/kestrix_output.h"

class vq_google_output : public vq_kestrix_output {
public:
    static vq_google_output* create();

    bool finish() override;
    bool setOutputPath(const std::string& path, const std::string& extension) override;
    int32_t getOutputOption() override { return 4; }
    std::string getOutputFolderName(vq_zoom_tile_base* tile, int32_t index) override;
    // The tile's level number: one folder per level.
    int32_t getOutputFolderIndex(vq_zoom_tile_base* tile) override;
    std::string getTileFileName(vq_zoom_tile_base* tile) override;
    // The level folders and their "x-y.jpg" tiles of an earlier tile set; the
    // KML file is replaced at the end of the run.
    void removeEarlierPyramid() override;

    // Writes "<name>.kml" beside the output folder; false when it could not be
    // written.
    bool writeKml();

private:
    vq_google_output() = default;
};
