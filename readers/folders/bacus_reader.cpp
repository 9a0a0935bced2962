#include "readers/folders/bacus_reader.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <new>

#include "engine/base/imageContainer.h"
#include "engine/base/reader_messages.h"

namespace {

constexpr int64_t kMaxCellsPerFrame = 64;

bool hasDigit(const std::string& text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

} // namespace

bool parseLooseInteger(const std::string& text, int& value)
{
    bool negative = false;
    size_t i = 0;
    while (i < text.size() && !std::isdigit(static_cast<unsigned char>(text[i]))) {
        if (text[i] == '-')
            negative = true;
        ++i;
    }
    if (i == text.size())
        return false;
    int64_t number = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        // Saturate instead of wrapping on absurdly long digit runs.
        number = std::min<int64_t>(number * 10 + (text[i] - '0'), int64_t(INT32_MAX) + 1);
    }
    number = negative ? -number : std::min<int64_t>(number, INT32_MAX);
    value = static_cast<int>(number);
    return true;
}

void parseBacusIndex(const char* text, size_t length, BacusIndex& index)
{
    static const char* const settingNames[] = {"iImageWidth", "iImageHeight", "lXStepSize", "lYStepSize",
                                               "dMagnification"};
    int* const settings[] = {&index.frameSize.first, &index.frameSize.second, &index.step.first,
                             &index.step.second, &index.magnification};

    bool inFrame = false;
    std::string sectionName;
    bool hasX = false;
    bool hasY = false;
    int x = 0;
    int y = 0;

    size_t start = 0;
    while (start <= length) {
        size_t end = start;
        while (end < length && text[end] != '\r' && text[end] != '\n' && text[end] != '\0')
            ++end;
        std::string line(text + start, end - start);
        start = end + 1;
        if (end < length && text[end] == '\0')
            start = length + 1;

        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos)
            continue;
        line.erase(0, first);
        if (line.find("[Header]") != std::string::npos)
            continue;

        bool settingLine = false;
        for (size_t s = 0; s < std::size(settingNames); ++s) {
            if (line.find(settingNames[s]) == std::string::npos)
                continue;
            settingLine = true;
            const size_t equals = line.find('=');
            if (equals != std::string::npos)
                parseLooseInteger(line.substr(equals), *settings[s]);
            break;
        }
        if (settingLine)
            continue;

        if (line[0] == '[') {
            hasX = hasY = false;
            const size_t close = line.find(']');
            inFrame = false;
            if (close != std::string::npos) {
                sectionName = line.substr(1, close - 1);
                inFrame = hasDigit(sectionName);
            }
            continue;
        }

        const size_t equals = line.find('=');
        if (!inFrame || equals == std::string::npos || (line[0] != 'x' && line[0] != 'y'))
            continue;
        int value = 0;
        if (!parseLooseInteger(line.substr(equals), value))
            continue;
        if (line[0] == 'x') {
            x = value;
            hasX = true;
        } else {
            y = value;
            hasY = true;
        }
        if (hasX && hasY) {
            // The first frame at a position stays; one frame per section.
            index.frames.emplace(IntPair(x, y), sectionName);
            hasX = hasY = false;
            inFrame = false;
        }
    }
}

bool BacusGrid::measure(const BacusFrameMap& frames, const IntPair& frame, const IntPair& stageStep)
{
    if (frames.empty() || stageStep.first < 1 || stageStep.second < 1 || frame.first < 1 || frame.second < 1)
        return false;
    frameSize = frame;
    step = stageStep;
    minimum = maximum = frames.begin()->first;
    for (const auto& [position, name] : frames) {
        minimum = IntPair(std::min(minimum.first, position.first), std::min(minimum.second, position.second));
        maximum = IntPair(std::max(maximum.first, position.first), std::max(maximum.second, position.second));
    }
    const int64_t across = (int64_t(maximum.first) - minimum.first) / step.first + 1;
    const int64_t down = (int64_t(maximum.second) - minimum.second) / step.second + 1;
    // Room for one frame beyond the grid: frames off the stage grid widen the
    // image by up to a frame, and the strip map counts from the image's end.
    if ((across + 1) * frame.first > INT32_MAX || (down + 1) * frame.second > INT32_MAX)
        return false;
    // The image is the grid, so a few frames far apart on the stage would
    // make a vast white image: a grid is refused when the frames listed
    // cover less than a 64th of its cells.
    if (across * down > int64_t(frames.size()) * kMaxCellsPerFrame) {
        reportReaderMessage("Bacus frame grid of %lld x %lld cells holds only %zu frames\n",
                            static_cast<long long>(across), static_cast<long long>(down), frames.size());
        return false;
    }
    cells = IntPair(static_cast<int32_t>(across), static_cast<int32_t>(down));
    return true;
}

IntPair BacusGrid::pixelOffset(const IntPair& position) const
{
    // Stage distances times frame sizes exceed 32 bits on large slides.
    const int64_t dx = (int64_t(position.first) - minimum.first) * frameSize.first / step.first;
    const int64_t dy = (int64_t(position.second) - minimum.second) * frameSize.second / step.second;
    return IntPair(static_cast<int32_t>(dx), static_cast<int32_t>(dy));
}

IntPair BacusGrid::cell(const IntPair& position) const
{
    const int64_t column = (int64_t(position.first) - minimum.first) / step.first;
    const int64_t row = (int64_t(position.second) - minimum.second) / step.second;
    return IntPair(cells.first - 1 - static_cast<int32_t>(column), cells.second - 1 - static_cast<int32_t>(row));
}

bool BacusGrid::onGrid(const IntPair& position) const
{
    return position.first % step.first == 0 && position.second % step.second == 0;
}

vq_BacusFileInfo* vq_BacusFileInfo::create()
{
    return new (std::nothrow) vq_BacusFileInfo();
}

vq_BacusLoader* vq_BacusLoader::create()
{
    return new (std::nothrow) vq_BacusLoader();
}

bool vq_BacusLoader::readIndexFile(const std::string& indexName)
{
    if (folderPath.empty())
        return false;
    std::vector<char> bytes;
    if (!readWholeFile(folderBasePath(folderPath) + findNameIgnoringCase(folderPath, indexName), bytes))
        return false;
    return buildFrameGrid(bytes.data(), bytes.size() - 1);
}

bool vq_BacusLoader::buildFrameGrid(const char* text, size_t length)
{
    BacusIndex index;
    parseBacusIndex(text, length, index);
    if (index.frames.empty())
        return false;

    JpegProbe probe;
    if (!probeJpegFile(folderBasePath(folderPath) + index.frames.begin()->second + ".jpg", probe))
        return false;
    fileInfo.takeProbe(probe);
    fileInfo.valid = true;

    if (!grid.measure(index.frames, index.frameSize, index.step))
        return false;
    frames = index.frames;
    magnification = index.magnification;
    fileInfo.frameCount = static_cast<int>(frames.size());

    const IntPair frame = index.frameSize;
    fileInfo.tileSize = frame;
    fileInfo.imageSize = IntPair(grid.cells.first * frame.first, grid.cells.second * frame.second);
    fileInfo.levelSizes = {fileInfo.imageSize};
    fileInfo.levelTileCounts = {grid.cells};
    fileInfo.edgeTileSizes = {frame};
    fileInfo.levelNumbers = {0};

    bool regular = true;
    IntPair largest(0, 0);
    for (const auto& [position, name] : frames) {
        regular = regular && grid.onGrid(position);
        const IntPair offset = grid.pixelOffset(position);
        largest = IntPair(std::max(largest.first, offset.first), std::max(largest.second, offset.second));
        cellMap.emplace(grid.cell(position), name);
    }
    fileInfo.regular = regular;
    if (!regular) {
        fileInfo.imageSize = IntPair(largest.first + frame.first, largest.second + frame.second);
        fileInfo.levelSizes = {fileInfo.imageSize};
    }
    return true;
}

bool vq_BacusLoader::getFileInfo(vq_FileInfo** out)
{
    return fileInfo.valid && handOut(new (std::nothrow) vq_BacusFileInfo(fileInfo), out);
}

bool vq_BacusLoader::getTileLoader(vq_tileloader_base** out)
{
    if (!fileInfo.regular || !fileInfo.valid)
        return false;
    BacusTileLoader* loader = BacusTileLoader::create();
    if (loader != nullptr) {
        loader->folderPath = folderBasePath(folderPath);
        loader->fileInfo = fileInfo;
        loader->cellMap = cellMap;
        loader->magnification = magnification;
    }
    return handOut(loader, out);
}

bool vq_BacusLoader::getStripLoader(vq_stripLoader_base** out)
{
    if (!fileInfo.valid)
        return false;
    vq_BacusStripLoader* loader = vq_BacusStripLoader::create();
    if (loader != nullptr) {
        loader->folderPath = folderBasePath(folderPath);
        loader->fileInfo = fileInfo;
        loader->frames = frames;
        loader->grid = grid;
    }
    return handOut(loader, out);
}

BacusTileLoader* BacusTileLoader::create()
{
    BacusTileLoader* loader = new (std::nothrow) BacusTileLoader();
    if (loader == nullptr)
        return nullptr;
    vq_tileDecoder_base* decoder = nullptr;
    if (createJpegTileDecoder(IntPair(0, 0), {}, {}, &decoder))
        loader->dimensionDecoder = vq_ptr<vq_tileDecoder_base>::adopt(decoder);
    return loader;
}

bool BacusTileLoader::isValidTile(int x, int y, int level, int image)
{
    return image == 0 && level == 0 && cellMap.count(IntPair(x, y)) != 0;
}

bool BacusTileLoader::loadRawTile(int x, int y, int level, int image, vq_raw_tile** out)
{
    if (level != 0 || image > 0 || dimensionDecoder == nullptr)
        return false;
    const auto frame = cellMap.find(IntPair(x, y));
    if (frame == cellMap.end())
        return false;
    return loadJpegFileAsRawTile(folderPath + frame->second + ".jpg", dimensionDecoder.get(), IntPair(0, 0), true,
                                 out);
}

vq_BacusStripLoader* vq_BacusStripLoader::create()
{
    return new (std::nothrow) vq_BacusStripLoader();
}

bool vq_BacusStripLoader::prepareStrips(int height, int format)
{
    if (fileInfo.pixelFormats.count(format) == 0 || height < 1)
        return false;
    stripFormat = format;
    stripHeight = height;
    nextRow = 0;
    buildStripMap();
    return true;
}

void vq_BacusStripLoader::buildStripMap()
{
    rowMap.clear();
    const IntPair image = fileInfo.imageSize;
    const IntPair frame = fileInfo.tileSize;
    for (const auto& [position, name] : frames) {
        const IntPair offset = grid.pixelOffset(position);
        const IntPair destination(image.first - offset.first - frame.first,
                                  image.second - offset.second - frame.second);
        for (int strip = destination.second / stripHeight;
             strip <= (destination.second + frame.second - 1) / stripHeight; ++strip)
            rowMap[strip].push_back(Placement{destination, name});
    }
}

bool vq_BacusStripLoader::createFrameDecoder(vq_ptr<vq_tileDecoder_base>& out)
{
    return createJpegTileDecoder(fileInfo.tileSize, fileInfo.edgeTileSizes, fileInfo.levelTileCounts, out.put());
}

bool vq_BacusStripLoader::readNextStrip(int* rowsDone, imageContainer* dst)
{
    if (dst == nullptr || stripHeight < 1)
        return false;
    const int h = std::min(stripHeight, fileInfo.imageSize.second - nextRow);
    if (h < 1)
        return false;
    // One pass over the strip's pixels before the frames: cleared where no
    // frame reaches the strip, else white so that the gaps between frames
    // are white.
    const auto strip = rowMap.find(nextRow / stripHeight);
    if (!dst->createUncleared(stripFormat, fileInfo.imageSize.first, h, false))
        return false;
    if (strip == rowMap.end())
        dst->clear();
    else
        dst->fill(255);
    vq_ptr<vq_tileDecoder_base> decoder;
    if (!createFrameDecoder(decoder))
        return false;
    if (rowsDone != nullptr)
        *rowsDone = nextRow + h;

    if (strip == rowMap.end()) {
        nextRow += h;
        return true;
    }
    for (const Placement& placement : strip->second) {
        vq_ptr<vq_raw_tile> raw;
        if (!loadJpegFileAsRawTile(folderPath + placement.name + ".jpg", nullptr, fileInfo.tileSize, true,
                                   raw.put()))
            return false;
        vq_ptr<imageContainer> frame = vq_ptr<imageContainer>::adopt(imageContainer::create());
        if (frame == nullptr ||
            !decoder->decodeTile(IntPair(0, 0), 0, raw->getData(), raw->getDataLength(), frame.get())) {
            nextRow += h;
            return false;
        }
        const int dy = placement.destination.second;
        const int fh = frame->getHeight();
        int sourceRow = 0;
        int targetRow = 0;
        int rows = fh;
        if (dy < nextRow) {
            sourceRow = nextRow - dy;
            rows = fh - sourceRow;
        } else if (dy > nextRow) {
            targetRow = dy - nextRow;
            rows = h - targetRow;
        }
        rows = std::min(rows, std::min(fh, h));
        frame->convertTo(stripFormat);
        if (rows > 0)
            dst->copyRegionFrom(frame.get(), IntPair(0, sourceRow), IntPair(placement.destination.first, targetRow),
                                frame->getWidth(), rows);
    }
    nextRow += h;
    return true;
}

bool createBacusLoader(const char* folderPath, bool useSlideScan, vq_loader_base** out)
{
    if (folderPath == nullptr || out == nullptr)
        return false;
    vq_BacusLoader* loader = vq_BacusLoader::create();
    if (loader == nullptr)
        return false;
    loader->addRef();
    loader->folderPath = folderPath;
    if (!loader->readIndexFile(useSlideScan ? "SlideScan.ini" : "FinalScan.ini")) {
        loader->release();
        return false;
    }
    *out = loader;
    return true;
}
