// What the tile folder and Bacus readers share: reading a small index file
// whole, probing the first JPEG of a folder, loading one JPEG file as a raw
// tile, and the report of a JPEG-tiled source.
#pragma once

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "engine/base/IntPair.h"
#include "engine/base/vq_refcount.h"
#include "engine/base/loader_base.h"
#include "engine/base/tile_decoder_base.h"
#include "engine/base/raw_tile.h"

class vq_raw_tile;
class vq_tileDecoder_base;

// True when the path is not empty and ends in '/'.
bool endsWithPathSeparator(const std::string& path);
// The folder path with "/" appended unless it already ends in a separator.
std::string folderBasePath(const std::string& folder);

// The whole file plus one 0 byte; false when its size cannot be had, it
// cannot be opened or fewer bytes than its size can be read.
bool readWholeFile(const std::string& path, std::vector<char>& bytes);

// In `folder`, the name of the entry that equals `name` without regard to
// letter case (an exact match first); `name` itself when none does.
std::string findNameIgnoringCase(const std::string& folder, const std::string& name);

// What the first JPEG of a folder source tells about all of its tiles.
struct JpegProbe {
    int pixelFormat = -1;
    std::set<int> pixelFormats;
    int subsampling = 1;
};
bool probeJpegFile(const std::string& path, JpegProbe& probe);

// Reads the JPEG file whole into a new raw tile (compression 7). Its size is
// the coded size that `dimensions` reads from the header, or `size` when no
// decoder is given. False when the file is missing or cannot be read whole,
// when the size has a 0 and `requireSize` is set, or when the tile cannot be
// allocated.
bool loadJpegFileAsRawTile(const std::string& path, vq_tileDecoder_base* dimensions, IntPair size,
                           bool requireSize, vq_raw_tile** out);

// Stores a new object with one reference for the caller in *out; false when
// it could not be made.
template <class T, class Base>
bool handOut(T* object, Base** out)
{
    if (object == nullptr || out == nullptr) {
        delete object;
        return false;
    }
    object->addRef();
    *out = object;
    return true;
}

// A new JPEG tile decoder for one level's worth of geometry lists.
bool createJpegTileDecoder(const IntPair& tileSize, const std::vector<IntPair>& edgeSizes,
                           const std::vector<IntPair>& tileCounts, vq_tileDecoder_base** out);

// The colour and subsampling lines of a JPEG-tiled source's report.
void printJpegSourceReport(FILE* out, int pixelFormat, int subsampling);

// File info of a JPEG-tiled folder source: the geometry of its levels and
// what its first JPEG told.
class vq_jpegFolderFileInfo : public vq_FileInfo {
public:
    bool isValid() override { return valid; }
    std::vector<IntPair> getLevelSizes() override { return levelSizes; }
    IntPair getImageSize() override { return imageSize; }
    int getLevelCount() override { return static_cast<int>(levelSizes.size()); }
    IntPair getResolution() override { return IntPair(0, 0); }
    int getPixelFormat() override { return pixelFormat; }
    std::set<int> getPixelFormats() override { return pixelFormats; }
    bool hasAlpha() override { return false; }
    bool isTiled() override { return true; }
    IntPair getTileSize() override { return tileSize; }
    bool hasPyramidLevels() override { return true; }
    int getQuality() override { return quality; }
    void printReport(FILE* out) override
    {
        if (valid)
            printJpegSourceReport(out, pixelFormat, subsampling);
    }
    int getSubsampling() override { return subsampling; }

    void takeProbe(const JpegProbe& probe)
    {
        pixelFormat = probe.pixelFormat;
        pixelFormats = probe.pixelFormats;
        subsampling = probe.subsampling;
    }
    // Size, tile counts and edge tiles of a level, or zeros outside the list.
    static IntPair entry(const std::vector<IntPair>& list, int level)
    {
        return level >= 0 && level < static_cast<int>(list.size()) ? list[level] : IntPair(0, 0);
    }

    IntPair tileSize{0, 0};
    IntPair imageSize{0, 0};
    int pixelFormat = -1;
    std::set<int> pixelFormats;
    std::vector<IntPair> levelSizes;
    std::vector<IntPair> levelTileCounts;
    std::vector<IntPair> edgeTileSizes;
    std::vector<int> levelNumbers;
    int subsampling = 1;
    int quality = 0;
    bool valid = false;
};

// Tile loader over a folder of JPEG files: everything but the file naming,
// the tile count and the validity of a position is the same for every such
// folder. Loads keep no state, so several threads may load at once.
template <class Info>
class vq_jpegFolderTileLoader : public vq_tileloader_base {
public:
    int getImageCount() override { return 1; }
    IntPair getTileSize(int) override { return fileInfo.tileSize; }
    std::vector<IntPair> getLevelSizes(int) override { return fileInfo.levelSizes; }
    IntPair getLevelTileCounts(int level, int) override { return Info::entry(fileInfo.levelTileCounts, level); }
    IntPair getLevelSize(int level, int) override { return Info::entry(fileInfo.levelSizes, level); }
    int getPixelFormat(int, int) override { return fileInfo.pixelFormat; }
    bool loadTile(int x, int y, int level, int image, imageContainer* dst, int) override
    {
        vq_ptr<vq_raw_tile> raw;
        vq_ptr<vq_tileDecoder_base> decoder;
        if (!loadRawTile(x, y, level, image, raw.put()) || !createTileDecoder(decoder.put(), image))
            return false;
        return decoder->decodeTile(IntPair(x, y), level, raw->getData(), raw->getDataLength(), dst);
    }
    bool hasRawTiles(int) override { return true; }
    bool isRawYCbCr(int) override { return fileInfo.pixelFormat == 3; }
    bool loadTileYCbCr(int x, int y, int level, int image, imageContainer* yPlane, imageContainer* cbPlane,
                       imageContainer* crPlane) override
    {
        vq_ptr<vq_raw_tile> raw;
        vq_ptr<vq_tileDecoder_base> decoder;
        if (!loadRawTile(x, y, level, image, raw.put()) || !createTileDecoder(decoder.put(), image))
            return false;
        return decoder->decodeTileYCbCr(IntPair(x, y), level, raw->getData(), raw->getDataLength(), yPlane,
                                        cbPlane, crPlane);
    }
    bool isRawCodecSupported(int) override { return true; }
    bool isJPEG(int) override { return true; }
    bool createTileDecoder(vq_tileDecoder_base** out, int) override
    {
        return createJpegTileDecoder(fileInfo.tileSize, fileInfo.edgeTileSizes, fileInfo.levelTileCounts, out);
    }
    int getCompression(int) override { return 7; }
    int getSubsampling(int) override { return fileInfo.subsampling; }
    int getQuality() override { return 100; }
    bool loadThumbnail(vq_raw_tile**, int) override { return false; }
    std::string getDescription() override { return std::string(); }
    int64_t getFileSize() override { return 0; }
    bool loadRawTileAsStored(int x, int y, int level, int image, vq_raw_tile** out) override
    {
        return loadRawTile(x, y, level, image, out);
    }
    bool getJpegTables(int, int, vq_raw_tile**) override { return false; }
    void lock() override {}
    void unlock() override {}

    Info fileInfo;
    // Ends in a separator.
    std::string folderPath;
    // Reads only the coded size of a tile; keeps nothing between calls.
    vq_ptr<vq_tileDecoder_base> dimensionDecoder;
};
