// Reads a PFF file back as a tiled source: every stored tile is the scan of
// a JPEG stream whose header chunk the file keeps once; a raw tile is the
// chunk followed by the tile, a complete JPEG stream. Every count, length
// and position of the file is checked against the file's size before
// anything is sized from it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/base/loader_base.h"
#include "engine/base/stream.h"
#include "readers/pff/pff_format.h"

class PFFTileLoader : public vq_tileloader_base {
public:
    static PFFTileLoader* create();

    int getImageCount() override { return 1; }
    IntPair getTileSize(int) override { return IntPair(tileSize, tileSize); }
    std::vector<IntPair> getLevelSizes(int) override;
    IntPair getLevelTileCounts(int level, int image) override;
    IntPair getLevelSize(int level, int image) override;
    int getPixelFormat(int, int) override { return pixelFormat; }
    int getTileCount(int) override { return tileCount; }
    bool loadTile(int x, int y, int level, int image, imageContainer* dst, int format) override;
    bool hasRawTiles(int) override { return true; }
    bool isRawYCbCr(int) override { return pixelFormat == 3; }
    bool loadTileYCbCr(int x, int y, int level, int image, imageContainer* yPlane, imageContainer* cbPlane,
                       imageContainer* crPlane) override;
    bool isRawCodecSupported(int) override { return true; }
    bool isJPEG(int) override { return true; }
    bool createTileDecoder(vq_tileDecoder_base** out, int image) override;
    int getCompression(int) override { return 7; }
    int getSubsampling(int) override { return subsampling; }
    int getQuality() override { return 100; }
    bool loadThumbnail(vq_raw_tile**, int) override { return false; }
    std::string getDescription() override { return std::string(); }
    int64_t getFileSize() override { return fileSize; }
    bool loadRawTile(int x, int y, int level, int image, vq_raw_tile** out) override;
    bool loadRawTileAsStored(int, int, int, int, vq_raw_tile**) override { return false; }
    bool getJpegTables(int, int, vq_raw_tile**) override { return false; }
    int getMagnification(int) override { return 0; }
    void lock() override {}
    void unlock() override {}
    bool isValidTile(int x, int y, int level, int image) override;

    // Reads the header, records, chunks and tile table; false for a file
    // that is not a PFF file this reader can trust.
    bool readStructure();
    // Index of a tile in the file's tile order; -1 outside the pyramid.
    int64_t tileIndex(int x, int y, int level) const;

    // Start of tile 0, then the end of every tile; 0 marks a tile never written.
    std::vector<uint64_t> tilePositions;
    int pixelFormat = -1;
    int subsampling = 5;
    vq_ptr<vq_stream> stream;
    int64_t fileSize = 0;
    int tileSize = 0;
    int tileCount = 0;
    std::vector<pff::Level> levels;
    std::vector<std::vector<uint8_t>> chunks;

private:
    PFFTileLoader() = default;
    bool readAt(int64_t position, void* buffer, uint32_t length);

    std::mutex mutex_;
};

// Opens a PFF file over the stream; false (and nothing stored) when the
// file cannot be read.
bool createPFFTileLoader(vq_stream* stream, vq_tileloader_base** out);
