// Tiled JP2 files as a pyramid of fixed-size tiles: level 0 at full
// resolution, each further level one more wavelet resolution reduction.
// Output tiles are cut from, or assembled out of, the code-stream's own tiles,
// decoded on demand from a tile-part index built on first use.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/loader_base.h"
#include "engine/base/stream.h"
#include "engine/base/tile_key.h"
#include "platform/threads.h"
#include "readers/jp2/jp2_tile_source.h"

class vq_J2KTileloader : public vq_tileloader_base {
public:
    static vq_J2KTileloader* create(vq_stream* stream);

    // Reads the header and lays out the levels; false for a file that is not
    // a readable JP2 file, a code-stream without tiles, non-square tiles, or
    // a tile grid that does not start at the image's top-left corner.
    bool open();

    int getImageCount() override { return 1; }
    IntPair getTileSize(int) override { return outputTileSize; }
    std::vector<IntPair> getLevelSizes(int) override { return levelSizes; }
    IntPair getLevelTileCounts(int level, int image) override;
    IntPair getLevelSize(int level, int image) override;
    int getPixelFormat(int, int) override { return source.info().getPixelFormat(); }
    int getTileCount(int) override { return totalTiles; }
    // Tile (x, y) of the level, cropped at the level's right and bottom
    // edges, in 24-bit RGB when asked for it, else in the file's format.
    // False for a tile outside the level, a failed decode or a set stop flag.
    bool loadTile(int x, int y, int level, int image, imageContainer* dst, int format) override;
    bool hasRawTiles(int) override { return false; }
    bool isRawYCbCr(int) override { return false; }
    bool loadTileYCbCr(int, int, int, int, imageContainer*, imageContainer*, imageContainer*) override { return false; }
    bool isRawCodecSupported(int) override { return false; }
    bool isJPEG(int) override { return false; }
    bool createTileDecoder(vq_tileDecoder_base**, int) override { return false; }
    int getCompression(int) override { return 33003; }
    int getSubsampling(int) override { return source.info().getSubsampling(); }
    int getQuality() override { return 100; }
    bool loadThumbnail(vq_raw_tile**, int) override { return false; }
    std::string getDescription() override { return {}; }
    int64_t getFileSize() override { return fileSize; }
    bool loadRawTile(int, int, int, int, vq_raw_tile**) override { return false; }
    bool loadRawTileAsStored(int, int, int, int, vq_raw_tile**) override { return false; }
    bool getJpegTables(int, int, vq_raw_tile**) override { return false; }
    int getMagnification(int) override { return 0; }
    // Sets and clears the stop flag: while it is set every tile read fails.
    void lock() override { stop = true; }
    void unlock() override { stop = false; }
    bool isValidTile(int x, int y, int level, int image) override;

private:
    explicit vq_J2KTileloader(vq_stream* s) : stream(s) {}

    struct CacheEntry {
        vq_tileKey key;
        int32_t format;
        vq_ptr<imageContainer> tile;
    };
    // Code-stream tile (cx, cy) decoded at `reduction` into a new container
    // of `format`; null when it could not be decoded. `cached`: through the
    // cache of recently decoded tiles.
    vq_ptr<imageContainer> decodeTile(int cx, int cy, int reduction, int32_t format, bool cached);
    bool loadTileLocked(int x, int y, int level, imageContainer* dst, int format);

    vq_ptr<vq_stream> stream;
    std::list<CacheEntry> cache;  // oldest first, at most 4
    int64_t fileSize = 0;
    vq::platform::CriticalSection lockSection{2000};
    bool failed = false;
    J2KTileSource source;
    IntPair outputTileSize;
    std::vector<IntPair> levelTileCounts, edgeSizes, levelSizes, codestreamTileSizes;
    int32_t tilesAcross = 0, tilesDown = 0;
    int32_t totalTiles = 0;
    std::atomic<bool> stop{false};
};
