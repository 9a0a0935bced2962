// TIFF and BigTIFF files through the project's TIFF library: the binding of
// the library to an engine stream, the file info of a TIFF header, the reader
// the dispatcher opens for ".tif" files, a tile reader over the tiled
// directories of a pyramid TIFF, and a strip reader of strip images.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/threads.h"
#include "jpeg/jpeg_tile_decoder.h"
#include "j2k/j2k_tile_decoder.h"
#include "engine/base/loader_base.h"
#include "tiff/vqtiff.h"

// Opens the TIFF library over an engine stream, never over a file name.
class TiffStreamHandle {
public:
    TiffStreamHandle() = default;
    ~TiffStreamHandle();
    TiffStreamHandle(const TiffStreamHandle&) = delete;
    TiffStreamHandle& operator=(const TiffStreamHandle&) = delete;

    bool open(vq_stream* stream, const char* mode);
    vqtiff::TIFFHandle* handle() const { return tiff_; }

private:
    vq_ptr<vq_stream> stream_;
    vqtiff::TIFFHandle* tiff_ = nullptr;
};

// Client procedures of the binding; the client data is the vq_stream.
int64_t tiffStreamRead(void* clientData, void* buffer, int64_t size);
int64_t tiffStreamWrite(void* clientData, void* buffer, int64_t size);
uint64_t tiffStreamSeek(void* clientData, uint64_t offset, int origin);
int tiffStreamClose(void* clientData);
uint64_t tiffStreamSize(void* clientData);
int tiffStreamMap(void* clientData, void** base, uint64_t* size);
void tiffStreamUnmap(void* clientData, void* base, uint64_t size);

class vq_TIFFFileInfo : public vq_FileInfo {
public:
    static vq_TIFFFileInfo* create();

    bool isValid() override { return valid; }
    std::vector<IntPair> getLevelSizes() override { return levelSizes; }
    IntPair getImageSize() override { return imageSize; }
    int getLevelCount() override { return int(levelSizes.size()); }
    IntPair getResolution() override { return resolution; }
    int getPixelFormat() override { return pixelFormat; }
    std::set<int> getPixelFormats() override { return formats; }
    bool hasAlpha() override { return false; }
    bool isTiled() override { return tiled; }
    IntPair getTileSize() override { return tileSize; }
    bool hasPyramidLevels() override { return pyramid; }
    int getQuality() override { return 0; }
    void printReport(FILE* out) override;
    int getSubsampling() override { return subsampling; }

    void readDirectories(vqtiff::TIFFHandle* tiff);
    // Subsampling code of the second component of the first tile's JPEG 2000
    // code-stream; 5 when it cannot be read.
    static int codestreamSubsampling(vqtiff::TIFFHandle* tiff);

    IntPair resolution{0, 0};
    IntPair tileSize{0, 0};
    IntPair imageSize{0, 0};
    int pixelFormat = -1;
    std::set<int> formats;
    std::vector<IntPair> levelSizes;
    std::vector<int> levelDirectories;
    bool valid = false;
    bool pyramid = false;
    bool tiled = false;
    bool alpha = false;
    int quality = 0;
    int compression = -1;
    int bitsPerSample = 0;
    int samplesPerPixel = 0;
    int photometric = -1;
    int subsampling = 5;
    int rowsPerStrip = 0;
    bool separatePlanes = false;
    bool bigTIFF = false;
};

class vq_TIFFLoader : public vq_loader_base {
public:
    static vq_TIFFLoader* create(vq_stream* stream);

    bool getFileInfo(vq_FileInfo** out) override;
    bool getTileLoader(vq_tileloader_base** out) override;
    bool getStripLoader(vq_stripLoader_base** out) override;
    bool loadImage(imageContainer* dst, int format) override;
    bool canLoadYCbCr() override { return false; }
    bool loadImageYCbCr(imageContainer*, imageContainer*, imageContainer*) override { return false; }

private:
    vq_ptr<vq_stream> stream_;
};

class vq_TIFFTileLoader : public vq_tileloader_base {
public:
    static vq_TIFFTileLoader* create();
    ~vq_TIFFTileLoader() override;

    bool open();
    TiffStreamHandle binding;

    int getImageCount() override { return 1; }
    IntPair getTileSize(int) override { return tileSize; }
    std::vector<IntPair> getLevelSizes(int) override { return levelSizes; }
    IntPair getLevelTileCounts(int level, int image) override;
    IntPair getLevelSize(int level, int image) override;
    int getPixelFormat(int, int) override { return fileInfo.pixelFormat; }
    int getTileCount(int) override { return tileCount; }
    bool loadTile(int x, int y, int level, int image, imageContainer* dst, int format) override;
    bool hasRawTiles(int image) override;
    bool isRawYCbCr(int image) override;
    bool loadTileYCbCr(int x, int y, int level, int image, imageContainer* yPlane, imageContainer* cbPlane,
                       imageContainer* crPlane) override;
    bool isRawCodecSupported(int image) override;
    bool isJPEG(int image) override;
    bool createTileDecoder(vq_tileDecoder_base** out, int image) override;
    int getCompression(int image) override;
    // The subsampling the tiles carry (JPEG frames), else the file's tag.
    int getSubsampling(int) override;
    int getQuality() override;
    bool loadThumbnail(vq_raw_tile**, int) override { return false; }
    std::string getDescription() override { return description; }
    int64_t getFileSize() override { return int64_t(fileSize); }
    bool loadRawTile(int x, int y, int level, int image, vq_raw_tile** out) override;
    bool loadRawTileAsStored(int x, int y, int level, int image, vq_raw_tile** out) override;
    bool getJpegTables(int level, int image, vq_raw_tile** out) override;
    int getMagnification(int) override { return 0; }
    void lock() override {}
    void unlock() override {}
    bool isValidTile(int x, int y, int level, int image) override;

    vq_TIFFFileInfo fileInfo;

private:
    vq_TIFFTileLoader() = default;
    bool validLevel(int level, int image) const;
    IntPair deliveredSize(int x, int y, int level) const;
    void selectLevel(int level);
    // Stored length of tile `index` of the current directory.
    int64_t storedTileLength(uint32_t index);
    bool loadPlanarTile(int x, int y, int level, imageContainer* dst);
    // A JPEG 2000 tile decoder for this file's levels, of the kind the
    // settings name now.
    vq_ptr<vq_TIFFJ2KTileDecoder> makeJ2KDecoder() const;
    // Reads the frame header of the first JPEG tile once, at open.
    void learnRawTileKind();

    uint64_t fileSize = 0;
    std::string description;
    std::vector<IntPair> levelSizes;
    IntPair tileSize{0, 0};
    std::vector<IntPair> levelTileCounts;
    std::vector<int> levelDirectories;
    std::vector<IntPair> edgeTileSizes;
    int tileCount = 0;
    std::vector<std::vector<uint8_t>> jpegTables;
    int rawSubsampling = 5;
    int rawColourSpace = 0;
    vq_ptr<vq_TIFFJPEGTileDecoder> jpegDecoder;
    vq::platform::CriticalSection lock_{2000};
    int users = 0;
    int currentDirectory = 0;
};

class vq_TIFFStripLoader : public vq_stripLoader_base {
public:
    static vq_TIFFStripLoader* create();
    ~vq_TIFFStripLoader() override;

    bool open();
    TiffStreamHandle binding;

    IntPair getImageSize() override { return imageSize; }
    int getMinTileSize() override { return imageSize.first != 0 ? 1 : 0; }
    int getMaxStripHeight() override { return imageSize.first != 0 ? imageSize.second : 0; }
    bool prepareStrips(int stripHeight, int format) override;
    bool readNextStrip(int* rowsDone, imageContainer* dst) override;
    bool supportsYCbCr() override;
    int getSubsampling() override { return rawSubsampling; }
    bool prepareStripsYCbCr(int stripHeight) override;
    bool readNextStripYCbCr(int* rowsDone, imageContainer* y, imageContainer* cb, imageContainer* cr) override;
    int getFormat() override { return fileInfo.pixelFormat; }

    vq_TIFFFileInfo fileInfo;
    // Stored strips decoded so far (each is decoded once per pass).
    int stripsDecoded = 0;

private:
    vq_TIFFStripLoader() = default;
    bool readStrip(int row);
    bool assembleJpegStrip(int row, vq_ptr<imageContainer>& out);
    bool decodeJpegStrip(int row);
    bool decodeJpegStripYCbCr(int row);
    // Assembles the stored JPEG strip holding the row and hands a JPEG reader
    // over it to decode.
    template <class Decode>
    bool decodeAssembledStrip(int row, Decode decode);

    IntPair imageSize{0, 0};
    int stripHeight = 0;
    int delivered = 0;
    int requestedFormat = 4;
    int rowPosition = 0;
    int chromaRowPosition = 0;
    int rowsPerStrip = 0;
    vq_ptr<imageContainer> decoded;
    vq_ptr<imageContainer> decodedY, decodedCb, decodedCr;
    uint32_t jpegTablesLength = 0;
    const uint8_t* jpegTables = nullptr;
    bool jpegStrips = false;
    int rawSubsampling = 5;
};

// Converts a container to the format a reader delivers. RGBA becomes RGB (or
// BGR) by dropping the alpha samples; other pairs go through convertTo.
bool convertForDelivery(imageContainer* c, int format);

// The opener of ".tif" files: binds a TIFF reader to the stream (nothing is
// read yet).
bool createTIFFLoader(vq_stream* stream, vq_loader_base** out);
