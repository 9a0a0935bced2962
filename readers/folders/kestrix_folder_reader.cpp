#include "readers/folders/kestrix_folder_reader.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

// Reads NAME="<integer>" from the upper-cased, space-free properties text;
// a number outside 32 bits is not read.
bool readAttribute(const std::string& text, const char* name, int& value)
{
    const size_t at = text.find(std::string(name) + "=");
    if (at == std::string::npos)
        return false;
    const char* p = text.c_str() + at + std::char_traits<char>::length(name) + 1;
    if (*p != '"')
        return false;
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(p + 1, &end, 10);
    if (end == p + 1 || errno == ERANGE || number < INT32_MIN || number > INT32_MAX)
        return false;
    value = static_cast<int>(number);
    return true;
}

} // namespace

vq_ZOOMFileInfo* vq_ZOOMFileInfo::create()
{
    return new (std::nothrow) vq_ZOOMFileInfo();
}

bool vq_ZOOMFileInfo::buildLevels()
{
    const int t = tileSize.first;
    if (t < 1 || imageSize.first < 1 || imageSize.second < 1)
        return false;
    levelSizes.clear();
    levelTileCounts.clear();
    edgeTileSizes.clear();
    levelNumbers.clear();
    int w = imageSize.first;
    int h = imageSize.second;
    int k = 0;
    // Tiles are numbered across all levels in 32 bits; the sums run in 64.
    int64_t total = 1;
    while (w > t || h > t) {
        const int64_t across = (int64_t(w) + t - 1) / t;
        const int64_t down = (int64_t(h) + t - 1) / t;
        total += across * down;
        if (total > INT32_MAX)
            return false;
        levelTileCounts.emplace_back(int(across), int(down));
        levelSizes.emplace_back(w, h);
        edgeTileSizes.emplace_back(w % t == 0 ? t : w % t, h % t == 0 ? t : h % t);
        ++k;
        w /= 2;
        h /= 2;
    }
    levelTileCounts.emplace_back(1, 1);
    levelSizes.emplace_back(w, h);
    edgeTileSizes.emplace_back(w, h);
    for (int n = k; n >= 0; --n)
        levelNumbers.push_back(n);
    return true;
}

vq_KestrixLoader* vq_KestrixLoader::create()
{
    return new (std::nothrow) vq_KestrixLoader();
}

bool vq_KestrixLoader::readImageProperties()
{
    if (folderPath.empty())
        return false;
    const std::string base = folderBasePath(folderPath);
    std::vector<char> bytes;
    if (!readWholeFile(base + "ImageProperties.xml", bytes))
        return false;
    JpegProbe probe;
    if (!probeJpegFile(base + "TileGroup0/0-0-0.jpg", probe))
        return false;

    // Attribute names match in any letter case, and spaces anywhere are
    // ignored; tabs and line breaks stay.
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c != ' ')
            text += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    int width = 0;
    int height = 0;
    int tiles = 0;
    int tile = 0;
    if (!readAttribute(text, "WIDTH", width) || !readAttribute(text, "HEIGHT", height) ||
        !readAttribute(text, "NUMTILES", tiles) || !readAttribute(text, "TILESIZE", tile))
        return false;

    fileInfo.imageSize = IntPair(width, height);
    fileInfo.tileSize = IntPair(tile, tile);
    fileInfo.takeProbe(probe);
    fileInfo.declaredTileCount = tiles;
    if (!fileInfo.buildLevels())
        return false;
    fileInfo.valid = true;
    return true;
}

bool vq_KestrixLoader::getFileInfo(vq_FileInfo** out)
{
    return fileInfo.valid && handOut(new (std::nothrow) vq_ZOOMFileInfo(fileInfo), out);
}

bool vq_KestrixLoader::getTileLoader(vq_tileloader_base** out)
{
    ZoomTileLoader* loader = ZoomTileLoader::create();
    if (loader != nullptr) {
        loader->folderPath = folderBasePath(folderPath);
        loader->fileInfo = fileInfo;
        loader->computeTileOffsets();
    }
    return handOut(loader, out);
}

ZoomTileLoader* ZoomTileLoader::create()
{
    ZoomTileLoader* loader = new (std::nothrow) ZoomTileLoader();
    if (loader == nullptr)
        return nullptr;
    vq_tileDecoder_base* decoder = nullptr;
    if (createJpegTileDecoder(IntPair(0, 0), {}, {}, &decoder))
        loader->dimensionDecoder = vq_ptr<vq_tileDecoder_base>::adopt(decoder);
    return loader;
}

void ZoomTileLoader::computeTileOffsets()
{
    // Engine level c is folder level n - 1 - c.
    const int n = fileInfo.getLevelCount();
    tileOffsets.assign(n + 1, 0);
    for (int z = 0; z < n; ++z) {
        const IntPair grid = fileInfo.levelTileCounts[n - 1 - z];
        tileOffsets[z + 1] = tileOffsets[z] + int64_t(grid.first) * grid.second;
    }
}

bool ZoomTileLoader::isValidTile(int x, int y, int level, int image)
{
    if (x < 0 || y < 0 || level < 0 || image > 0 || level >= fileInfo.getLevelCount())
        return false;
    const IntPair grid = fileInfo.levelTileCounts[level];
    return x < grid.first && y < grid.second;
}

bool ZoomTileLoader::loadRawTile(int x, int y, int level, int image, vq_raw_tile** out)
{
    if (out == nullptr || level < 0 || image > 0 || level >= fileInfo.getLevelCount() ||
        level >= static_cast<int>(tileOffsets.size()) - 1)
        return false;
    const int z = fileInfo.levelNumbers[level];
    if (!isValidTile(x, y, level, image))
        return false;
    const int64_t running = tileOffsets[z] + x + int64_t(y) * fileInfo.levelTileCounts[level].first;
    char name[96];
    std::snprintf(name, sizeof(name), "TileGroup%lld/%d-%d-%d.jpg", static_cast<long long>(running / 256), z, x, y);
    return loadJpegFileAsRawTile(folderPath + name, dimensionDecoder.get(), IntPair(0, 0), false, out);
}

bool createKestrixLoader(const char* folderPath, vq_loader_base** out)
{
    if (folderPath == nullptr || out == nullptr)
        return false;
    vq_KestrixLoader* loader = vq_KestrixLoader::create();
    if (loader == nullptr)
        return false;
    loader->addRef();
    loader->folderPath = folderPath;
    if (!loader->readImageProperties()) {
        loader->release();
        return false;
    }
    *out = loader;
    return true;
}
