// Tile readers of SVS slides, pyramid TIFFs and Leica SCN slides.
//
// SVSRawTileLoader reads the header and directory chain with the slide
// directory model, groups tiled directories into images of pyramid levels and
// recognises the thumbnail (level -1), label (-2) and macro (-3) directories;
// its tiles are the stored compressed bytes. SVSTileLoader adds decoded
// tiles, complete raw tiles for every compression it knows and the whole
// extra images; it is what createSVSRawTileLoader hands out.
//
// Every seek-and-read on the shared stream and every value load of a
// directory entry happens under fileLock, so loader threads may call one
// reader at once.
#pragma once

#include <string>
#include <vector>

#include "platform/threads.h"
#include "engine/base/loader_base.h"
#include "readers/tiff/svs_ifd.h"

class TiXmlNode;
class vq_TIFFJPEGTileDecoder;

// Whether `stored` bytes can decode to `pixelBytes` bytes: an LZW code of at
// least 9 bits yields at most 4096 bytes, a JPEG needs a bit for every 8 x 8
// block and uncompressed data holds its own bytes (a short tile is read as
// far as it goes). Anything declared larger is refused, with a message,
// before it sizes a buffer.
bool tileFitsItsBytes(int64_t pixelBytes, int64_t stored);

// Size of the last column and last row of tiles of an image (a whole tile
// where the size is a multiple of the tile).
IntPair edgeTileSize(IntPair size, IntPair tile);

// Estimated objective magnification of a directory from its XResolution in
// pixels per centimetre (40000, 0.25 micrometre per pixel, gives 40); 0 when
// the directory states none or an implausible one.
int estimateMagnification(vq_svs_ifdDir_read& dir, vq_svs_stream_read* s);

class SVSRawTileLoader : public vq_tileloader_base {
public:
    explicit SVSRawTileLoader(vq_stream* stream);
    ~SVSRawTileLoader() override;

    int getImageCount() override { return imageCount; }
    IntPair getTileSize(int image) override;
    std::vector<IntPair> getLevelSizes(int image) override;
    IntPair getLevelTileCounts(int level, int image) override;
    IntPair getLevelSize(int level, int image) override;
    int getPixelFormat(int, int) override { return -1; }
    int getTileCount(int image) override;
    bool loadTile(int, int, int, int, imageContainer*, int) override { return false; }
    bool hasRawTiles(int) override { return false; }
    bool isRawYCbCr(int) override { return false; }
    bool loadTileYCbCr(int, int, int, int, imageContainer*, imageContainer*, imageContainer*) override {
        return false;
    }
    bool isRawCodecSupported(int) override { return false; }
    bool isJPEG(int) override { return false; }
    bool createTileDecoder(vq_tileDecoder_base**, int) override { return false; }
    int getCompression(int image) override;
    int getSubsampling(int image) override;
    int getQuality() override { return 100; }
    bool loadThumbnail(vq_raw_tile** out, int image) override;
    std::string getDescription() override { return description; }
    int64_t getFileSize() override { return fileSize; }
    bool loadRawTile(int x, int y, int level, int image, vq_raw_tile** out) override;
    bool loadRawTileAsStored(int x, int y, int level, int image, vq_raw_tile** out) override;
    bool getJpegTables(int, int, vq_raw_tile**) override { return false; }
    int getMagnification(int image) override;
    void lock() override {}
    void unlock() override {}
    bool isValidTile(int x, int y, int level, int image) override;

    bool readMetadata();
    bool walkDirectories();
    bool isValidLevel(int level, int image) const;
    std::vector<int> getLevelOrdinals(int image);
    bool isScnSlide() const { return isScn; }

protected:
    bool getTileLocation(vq_svs_ifdDir_read& dir, int32_t n, uint32_t* byteCount, uint64_t* offset);
    // One stand-alone JPEG: SOI, the tables without SOI and EOI, then n stored
    // bytes from the offset without their own SOI; the data length is the
    // content.
    bool buildJpegWithTables(const std::vector<uint8_t>& tables, uint32_t n, uint64_t offset, IntPair size,
                             vq_raw_tile** out);
    // Reads n bytes at the offset into dst under fileLock.
    bool readAt(uint64_t offset, uint8_t* dst, uint32_t n);
    void addLevelGeometry(const vq_svs_ifdDir_read& dir, int image);
    void addLevel(const vq_svs_ifdDir_read& dir, int ordinal, int image);
    void readDescription();
    // JPEGTables bytes of global level g; empty when that level has none.
    // The level's JPEGTables; *unreadable set (and reported) when the level has
    // tables that cannot be read.
    std::vector<uint8_t> levelTables(int g, bool* unreadable = nullptr);
    // Whether any level directory keeps JPEGTables.
    bool hasAnyJpegTables() const;
    int globalLevel(int level, int image) const { return imageFirstLevels[image] + level; }

    // Leica SCN description.
    void readScnDescription();
    void readScnImage(TiXmlNode* image, std::vector<vq_svs_ifdDir_read>& dirs, double& magnification);
    double readObjectiveMagnification(TiXmlNode* scanSettings);
    const vq_svs_ifdDir_read& findDirectoryByIndex(int n) const;
    void scnFallback();
    void resetLevels();

    std::vector<int> magnifications;
    int64_t fileSize = 0;
    vq::platform::CriticalSection fileLock{2000};
    vq::platform::CriticalSection thumbnailLock{2000};
    uint64_t pendingIfdOffset = 0;
    std::string description;
    vq_ptr<vq_stream> stream;
    vq_svs_stream_read tiffStream;
    bool isScn = false;
    int imageCount = 0;
    std::vector<IntPair> levelSizes;
    std::vector<IntPair> imageTileSizes;
    std::vector<int> imageSubsamplings;
    std::vector<int> imageCompressions;
    std::vector<int> imageFirstLevels;
    std::vector<int> imageLevelCounts;
    std::vector<int> levelOrdinals;
    std::vector<IntPair> levelTileGrids;
    std::vector<IntPair> levelEdgeTileSizes;
    std::vector<int> imageTileCounts;
    vq_svs_header header;
    std::vector<vq_svs_ifdDir_read> levelDirectories;
    vq_svs_ifdDir_read thumbnailDirectory;
    vq_svs_ifdDir_read labelDirectory;
    vq_svs_ifdDir_read macroDirectory;
    // Every directory the walk read, in chain order (the SCN fall-back offers
    // those that do not become levels as macro and label).
    std::vector<vq_svs_ifdDir_read> walkedDirectories;
};

class SVSTileLoader : public SVSRawTileLoader {
public:
    explicit SVSTileLoader(vq_stream* stream);
    ~SVSTileLoader() override;

    int getPixelFormat(int level, int image) override;
    bool loadTile(int x, int y, int level, int image, imageContainer* dst, int format) override;
    // JPEG tiles with shared tables whose frames are YCbCr can be copied
    // into the output undecoded: all three answer true only for those.
    bool hasRawTiles(int image) override { return tileKind(image).rawJpeg; }
    bool isRawYCbCr(int image) override { return tileKind(image).rawJpeg; }
    bool isJPEG(int image) override { return tileKind(image).rawJpeg; }
    // The subsampling of the tiles' own frame header; 5 when not JPEG.
    int getSubsampling(int image) override { return tileKind(image).subsampling; }
    bool loadTileYCbCr(int x, int y, int level, int image, imageContainer* yPlane, imageContainer* cbPlane,
                       imageContainer* crPlane) override;
    bool isRawCodecSupported(int image) override;
    bool createTileDecoder(vq_tileDecoder_base** out, int image) override;
    bool loadThumbnail(vq_raw_tile** out, int image) override;
    bool loadRawTile(int x, int y, int level, int image, vq_raw_tile** out) override;
    bool getJpegTables(int level, int image, vq_raw_tile** out) override;

    bool loadWholeImage(vq_svs_ifdDir_read& dir, vq_raw_tile** out);
    bool decodeExtraImage(vq_svs_ifdDir_read& dir, imageContainer* dst, int format);
    bool loadThumbnailCached(vq_raw_tile** out, int image, bool keep);
    const vq_svs_ifdDir_read& findLevelDirectory(int level, int image) const;
    int getDirectoryPixelFormat(const vq_svs_ifdDir_read& dir);
    std::vector<uint8_t> getDirectoryJpegTables(int n);
    int getDirectoryMemory();
    std::string getMemoryReport();

protected:
    // What the stored tiles of an image are, read once from the frame header
    // of its first tile.
    struct TileKind {
        bool rawJpeg = false;
        int subsampling = 5;
    };
    TileKind tileKind(int image);
    // Tile (x, y) of global level g as the image shows it: edge tiles are
    // cut to the level.
    IntPair visibleTileSize(int x, int y, int g, int image) const;
    bool readStrip(vq_svs_ifdDir_read& dir, int i, vq_raw_tile** out, int64_t* byteTotal);
    bool readExtraTile(int x, int y, vq_svs_ifdDir_read& dir, vq_raw_tile** out);
    bool decodeTiledExtraImage(vq_svs_ifdDir_read& dir, imageContainer* dst);
    bool assembleTiledExtraImage(vq_svs_ifdDir_read& dir, imageContainer* dst);
    bool mergeJpegStrips(vq_svs_ifdDir_read& dir, int strips, vq_raw_tile** out);
    // Tile size and per-level edge sizes and tile grids of a JPEG or JPEG 2000
    // tile decoder.
    template <class Decoder>
    void setUpDecoder(Decoder* decoder, int image) const {
        decoder->tileSize = imageTileSizes[image];
        decoder->edgeSizes.clear();
        decoder->tileCounts.clear();
        for (int l = 0; l < imageLevelCounts[image]; ++l) {
            decoder->edgeSizes.push_back(levelEdgeTileSizes[globalLevel(l, image)]);
            decoder->tileCounts.push_back(levelTileGrids[globalLevel(l, image)]);
        }
    }

    int j2kDecoderKind = 0;
    vq_ptr<vq_raw_tile> cachedThumbnail;
    vq::platform::CriticalSection tileKindLock{2000};
    std::vector<TileKind> imageTileKinds;
    std::vector<bool> imageTileKindKnown;
};

// Factories with the first reference taken; null for a null stream.
SVSRawTileLoader* makeSVSRawTileLoader(vq_stream* stream);
SVSTileLoader* makeSVSTileLoader(vq_stream* stream);
// Openers: read the slide's metadata; false (nothing handed out) when the
// stream is not a slide the readers understand.
bool openSVSRawTileLoader(vq_stream* stream, SVSRawTileLoader** out);
// The opener of ".svs" and ".scn" files: hands out an SVSTileLoader.
bool createSVSRawTileLoader(vq_stream* stream, vq_tileloader_base** out);

// The smallest multiple of b not below a.
int roundUpToMultiple(int a, int b);
