// Mirax slides (".mrxs") read through the slide-access component.
//
// vq_MiraxTileLoader takes the bounding box of the scanned tiles of the
// slide's scan map as its image and offers decoded 256 x 256 tiles of up to
// ten of the component's levels; each tile is rendered by the component on
// request and copied into the caller's container. No raw tiles, strips or
// file info. The loader is used on the thread that opened it: the component's
// objects belong to that thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/loader_base.h"
#include "platform/slide_access.h"

class vq_MiraxTileLoader : public vq_tileloader_base {
public:
    static constexpr int kTileSide = 256;
    static constexpr int kMaxLevels = 10;

    explicit vq_MiraxTileLoader(std::shared_ptr<vq::platform::SlideObject> slide);

    int getImageCount() override { return 1; }
    IntPair getTileSize(int) override { return IntPair(kTileSide, kTileSide); }
    std::vector<IntPair> getLevelSizes(int) override { return levelSizes; }
    IntPair getLevelTileCounts(int level, int image) override;
    IntPair getLevelSize(int level, int image) override;
    int getPixelFormat(int, int) override { return 1; }
    int getTileCount(int) override { return tileCount; }
    bool loadTile(int x, int y, int level, int image, imageContainer* dst, int format) override;
    bool hasRawTiles(int) override { return false; }
    bool isRawYCbCr(int) override { return false; }
    bool loadTileYCbCr(int, int, int, int, imageContainer*, imageContainer*, imageContainer*) override {
        return false;
    }
    bool isRawCodecSupported(int) override { return false; }
    bool isJPEG(int) override { return false; }
    bool createTileDecoder(vq_tileDecoder_base**, int) override { return false; }
    int getCompression(int) override { return 0; }
    int getSubsampling(int) override { return 1; }
    int getQuality() override { return 100; }
    bool loadThumbnail(vq_raw_tile**, int) override { return false; }
    std::string getDescription() override { return {}; }
    int64_t getFileSize() override { return 0; }
    bool loadRawTile(int, int, int, int, vq_raw_tile**) override { return false; }
    bool loadRawTileAsStored(int, int, int, int, vq_raw_tile**) override { return false; }
    bool getJpegTables(int, int, vq_raw_tile**) override { return false; }
    int getMagnification(int) override { return 0; }
    void lock() override {}
    void unlock() override {}
    bool isValidTile(int x, int y, int level, int image) override;

    // Reads the scan map and derives the image size and the exposed levels.
    bool readSlideLayout();

    int getLevelCount() const { return static_cast<int>(levelNumbers.size()); }
    // Smallest and largest column and row of the scanned tiles.
    int getFirstColumn() const { return firstColumn; }
    int getLastColumn() const { return lastColumn; }
    int getFirstRow() const { return firstRow; }
    int getLastRow() const { return lastRow; }
    IntPair getImageSize() const { return imageSize; }

private:
    std::shared_ptr<vq::platform::SlideObject> slide;
    std::vector<IntPair> levelSizes;
    std::vector<int32_t> levelNumbers;
    std::vector<IntPair> levelTileCounts;
    IntPair imageSize;
    int32_t tileCount = 0;
    int32_t firstColumn = -1;
    int32_t lastColumn = 0;
    int32_t firstRow = -1;
    int32_t lastRow = 0;
};

// Opens the slide at the path (UTF-8); null when no component is available,
// the component cannot load the slide or its scan map cannot be read. The
// loader carries one reference for the caller.
vq_MiraxTileLoader* openMiraxSlide(const char* path);

// The opener of the reader family: false for a null argument or a slide that
// does not open; otherwise *out holds the loader with one reference.
bool createMiraxTileLoader(const char* path, vq_tileloader_base** out);

// The statuses of the last failed component creation and the last failed
// slide load of any opener in the process (0 until one fails).
struct MiraxOpenFailure {
    int32_t createStatus = 0;
    int32_t loadStatus = 0;
};
MiraxOpenFailure lastMiraxOpenFailure();

// "CoCreateInstance failed with 0x%x" for a failed creation, followed by
// "Load failed with 0x%x" for a failed load; empty when neither failed.
std::string describeMiraxOpenFailure(const MiraxOpenFailure& failure);

// Whether the component can make a slide object.
bool isSlideComponentAvailable();
