// An uncompressed strip TIFF offered as a tiled pyramid: 256 x 256 tiles of
// the full-resolution level and of smaller virtual levels (a quarter of the
// size per level), each made on request from the rows it covers, read
// straight from the file and shrunk with cubic resampling. Reads the file
// through the slide directory model, not the TIFF library.
//
// A tile's region is gathered in a container of the region's own size, made
// for that request and released after it, so memory follows what a request
// covers rather than the largest level.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/loader_base.h"
#include "platform/threads.h"
#include "readers/tiff/svs_ifd.h"

class TIFFVirtualTileLoader : public vq_tileloader_base {
public:
    static constexpr int kTileSide = 256;

    explicit TIFFVirtualTileLoader(vq_stream* stream);
    ~TIFFVirtualTileLoader() override;

    int getImageCount() override { return 1; }
    IntPair getTileSize(int) override { return tileSize; }
    std::vector<IntPair> getLevelSizes(int) override { return levelSizes; }
    IntPair getLevelTileCounts(int level, int image) override;
    IntPair getLevelSize(int level, int image) override;
    int getPixelFormat(int, int) override { return pixelFormat; }
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
    int getCompression(int) override { return 1; }
    int getSubsampling(int) override { return 1; }
    int getQuality() override { return 100; }
    bool loadThumbnail(vq_raw_tile**, int) override { return false; }
    std::string getDescription() override { return description; }
    int64_t getFileSize() override { return fileSize; }
    bool loadRawTile(int, int, int, int, vq_raw_tile**) override { return false; }
    bool loadRawTileAsStored(int, int, int, int, vq_raw_tile**) override { return false; }
    bool getJpegTables(int, int, vq_raw_tile**) override { return false; }
    int getMagnification(int) override { return magnification; }
    void lock() override {}
    void unlock() override {}
    bool isValidTile(int x, int y, int level, int image) override;

    bool open();
    // File offset of the first byte of an image row; 0 when it is not known.
    int64_t getRowOffset(int row);
    // How many file pixels one pixel of the level spans per axis (1, 4, 16 ...).
    int getLevelScale(int level) const;

private:
    int levelCount() const { return static_cast<int>(levelSizes.size()); }
    void addLevel(IntPair size, int scale);
    // Reads `rows` rows of `columns` pixels from (col0, row0) of the file into
    // the region container; under fileLock.
    bool readRegion(int64_t col0, int64_t row0, int columns, int rows, imageContainer* region);

    int compression = 0;
    int magnification = 0;
    vq_ptr<vq_stream> stream;
    vq_svs_stream_read tiffStream;
    int64_t fileSize = 0;
    int tileCount = 0;
    int pixelFormat = -1;
    std::vector<IntPair> levelSizes;
    std::vector<IntPair> levelEdgeTileSizes;
    IntPair tileSize{0, 0};
    IntPair imageSize{0, 0};
    std::vector<IntPair> levelTileGrids;
    std::vector<int> levelScales;
    vq::platform::CriticalSection fileLock{2000};
    vq_svs_header header;
    vq_svs_ifdDir_read directory;
    vq_svs_ifdItem_read stripOffsets;
    vq_svs_ifdItem_read stripByteCounts;
    std::string description;
    int64_t rowsPerStrip = 1;
    int64_t firstStripBytes = 0;
};

// A new reader over the stream with its first reference taken; null for a
// null stream.
TIFFVirtualTileLoader* makeTIFFVirtualTileLoader(vq_stream* stream);

// Opens the stream's first directory as virtual tiles: false for a null
// argument or a file the reader does not take (tiled, compressed, a pixel
// layout other than 8- or 16-bit grey or RGB, or strips it cannot locate).
bool createTIFFVirtualTileLoader(vq_stream* stream, vq_tileloader_base** out);
