// Reads a Bacus slide folder: camera frames as JPEG files and an index
// ("FinalScan.ini") with the frame size, the stage step between neighbouring
// frames and each frame's stage position. Frames on the step grid are the
// tiles of a single-level source; any folder can be read as strips in which
// the frames are placed at their positions, the stage mirrored on both axes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "readers/folders/folder_source.h"

// Stage positions and cells ordered by x, then y.
struct IntPairColumnOrder {
    bool operator()(const IntPair& a, const IntPair& b) const
    {
        return a.first != b.first ? a.first < b.first : a.second < b.second;
    }
};
using BacusFrameMap = std::map<IntPair, std::string, IntPairColumnOrder>;

// What an index file states.
struct BacusIndex {
    IntPair frameSize{752, 480};
    IntPair step{0, 0};
    int magnification = 0;
    BacusFrameMap frames;
};

// The number in `text`: a '-' anywhere before the first digit makes it
// negative; false when the text holds no digit.
bool parseLooseInteger(const std::string& text, int& value);
// Reads the index text into `index` (whose defaults stay where the text is
// silent).
void parseBacusIndex(const char* text, size_t length, BacusIndex& index);

// Where the frames lie in the image.
struct BacusGrid {
    IntPair minimum{0, 0};
    IntPair maximum{0, 0};
    IntPair cells{0, 0};
    IntPair frameSize{0, 0};
    IntPair step{1, 1};

    // Frame bounds and cells across and down; false for a step below 1 or a
    // grid whose pixel size, with room for one frame more, does not fit 32 bits,
    // or whose cells outnumber its frames 64 to 1.
    bool measure(const BacusFrameMap& frames, const IntPair& frame, const IntPair& stageStep);
    // Pixel offset of a frame from the smallest stage position.
    IntPair pixelOffset(const IntPair& position) const;
    // Column and row: the largest stage x is column 0, the largest y row 0.
    IntPair cell(const IntPair& position) const;
    bool onGrid(const IntPair& position) const;
};

class vq_BacusFileInfo : public vq_jpegFolderFileInfo {
public:
    static vq_BacusFileInfo* create();

    bool isTiled() override { return regular; }

    bool regular = false;
    int frameCount = 0;
};

class BacusTileLoader : public vq_jpegFolderTileLoader<vq_BacusFileInfo> {
public:
    static BacusTileLoader* create();

    int getTileCount(int) override { return fileInfo.frameCount; }
    bool loadRawTile(int x, int y, int level, int image, vq_raw_tile** out) override;
    int getMagnification(int) override { return magnification; }
    bool isValidTile(int x, int y, int level, int image) override;

    BacusFrameMap cellMap;
    int magnification = 0;

private:
    BacusTileLoader() = default;
};

class vq_BacusStripLoader : public vq_stripLoader_base {
public:
    static vq_BacusStripLoader* create();

    IntPair getImageSize() override { return fileInfo.imageSize; }
    int getMinTileSize() override { return fileInfo.tileSize.second / 4; }
    int getMaxStripHeight() override { return fileInfo.tileSize.second; }
    bool prepareStrips(int stripHeight, int format) override;
    bool readNextStrip(int* rowsDone, imageContainer* dst) override;
    bool supportsYCbCr() override { return false; }
    int getSubsampling() override { return fileInfo.subsampling; }
    bool prepareStripsYCbCr(int) override { return false; }
    bool readNextStripYCbCr(int*, imageContainer*, imageContainer*, imageContainer*) override { return false; }
    int getFormat() override { return fileInfo.pixelFormat; }

    // A frame placed in the image: its top-left corner and its name.
    struct Placement {
        IntPair destination;
        std::string name;
    };
    void buildStripMap();

    vq_BacusFileInfo fileInfo;
    int stripFormat = -1;
    // Ends in a separator.
    std::string folderPath;
    int stripHeight = 0;
    int nextRow = 0;
    BacusFrameMap frames;
    BacusGrid grid;
    std::map<int, std::vector<Placement>> rowMap;

private:
    vq_BacusStripLoader() = default;
    bool createFrameDecoder(vq_ptr<vq_tileDecoder_base>& out);
};

class vq_BacusLoader : public vq_loader_base {
public:
    static vq_BacusLoader* create();

    bool getFileInfo(vq_FileInfo** out) override;
    bool getTileLoader(vq_tileloader_base** out) override;
    bool getStripLoader(vq_stripLoader_base** out) override;
    bool loadImage(imageContainer*, int) override { return false; }
    bool canLoadYCbCr() override { return fileInfo.pixelFormat == 3; }
    bool loadImageYCbCr(imageContainer*, imageContainer*, imageContainer*) override { return false; }

    // Reads the index (its name matched without regard to letter case).
    bool readIndexFile(const std::string& indexName);
    bool buildFrameGrid(const char* text, size_t length);

    std::string folderPath;
    BacusFrameMap cellMap;
    BacusFrameMap frames;
    vq_BacusFileInfo fileInfo;
    BacusGrid grid;
    int magnification = 0;

private:
    vq_BacusLoader() = default;
};

// Opens the Bacus folder with its "SlideScan.ini" (flag set) or
// "FinalScan.ini" index; false when it cannot be read.
bool createBacusLoader(const char* folderPath, bool useSlideScan, vq_loader_base** out);
