// Reads a tile folder (ImageProperties.xml and "TileGroup%d/%d-%d-%d.jpg"
// tiles) back as a tiled source whose every pyramid level is stored. Levels
// are exposed full resolution first; the folder numbers them the other way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "readers/folders/folder_source.h"

class vq_ZOOMFileInfo : public vq_jpegFolderFileInfo {
public:
    static vq_ZOOMFileInfo* create();

    // Builds the levels from the image and tile size: each half the one
    // before, the last the first that fits in one tile. False for a tile size
    // or an image size below 1, or for more tiles than 32-bit tile numbers.
    bool buildLevels();

    // NUMTILES as the properties file declares it.
    int declaredTileCount = 0;
};

class ZoomTileLoader : public vq_jpegFolderTileLoader<vq_ZOOMFileInfo> {
public:
    static ZoomTileLoader* create();

    int getTileCount(int) override { return fileInfo.declaredTileCount; }
    bool loadRawTile(int x, int y, int level, int image, vq_raw_tile** out) override;
    int getMagnification(int) override { return 0; }
    bool isValidTile(int x, int y, int level, int image) override;

    // Tiles of all folder levels below each folder level, and the total.
    void computeTileOffsets();

    std::vector<int64_t> tileOffsets;

private:
    ZoomTileLoader() = default;
};

class vq_KestrixLoader : public vq_loader_base {
public:
    static vq_KestrixLoader* create();

    bool getFileInfo(vq_FileInfo** out) override;
    bool getTileLoader(vq_tileloader_base** out) override;
    bool getStripLoader(vq_stripLoader_base**) override { return false; }
    bool loadImage(imageContainer*, int) override { return false; }
    bool canLoadYCbCr() override { return fileInfo.pixelFormat == 3; }
    bool loadImageYCbCr(imageContainer*, imageContainer*, imageContainer*) override { return false; }

    // Reads ImageProperties.xml and probes the first tile.
    bool readImageProperties();

    std::string folderPath;
    vq_ZOOMFileInfo fileInfo;

private:
    vq_KestrixLoader() = default;
};

// Opens the tile folder at `folderPath`; false when it cannot be read.
bool createKestrixLoader(const char* folderPath, vq_loader_base** out);
