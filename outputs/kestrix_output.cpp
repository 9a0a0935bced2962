#include "outputs/kestrix_output.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "engine/pyramid/driver_threads.h"
#include "engine/base/stream.h"
#include "engine/pyramid/tile_saver.h"
#include "engine/pyramid/zoom_layer.h"
#include "engine/pyramid/zoom_tile.h"
#include "jpeg/jpeg_saver.h"

namespace {

// A network path, a drive-letter path or a path from the root.
bool isAbsolutePath(const std::string& path)
{
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\')
        return true;
    if (path.size() >= 2 && path[1] == ':')
        return true;
    return !path.empty() && path[0] == '/';
}

} // namespace

vq_kestrix_output* vq_kestrix_output::create()
{
    return new (std::nothrow) vq_kestrix_output();
}

vq_kestrix_output::~vq_kestrix_output() = default;

std::string vq_kestrix_output::formatText(const char* format, const std::string& value)
{
    std::vector<char> buffer(value.size() + 128);
    std::snprintf(buffer.data(), buffer.size(), format, value.c_str());
    return buffer.data();
}

void vq_kestrix_output::reportError(const std::string& text)
{
    errorFlag = true;
    errorText += text;
}

void vq_kestrix_output::addError(const std::string& text)
{
    reportError(text);
}

void vq_kestrix_output::setBaseLayer(vq_zoom_layer* layer)
{
    baseLevel = layer;
    if (layer != nullptr)
        quality = layer->getQuality();
}

std::string vq_kestrix_output::createOutputFolder(const std::string& path)
{
    std::vector<char> buffer(512);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            std::fputs("Unable to get current directory", stderr);
            errorFlag = true;
            return std::string();
        }
        buffer.resize(buffer.size() + 256);
    }

    const std::string folder = isAbsolutePath(path) ? path : std::string(buffer.data()) + "/" + path;
    if (mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST)
        return folder;

    switch (errno) {
    case EPERM:
    case EACCES:
    case EROFS:
        reportError("File system is read-only or doesn allow folder creation\n");
        break;
    case ENOMEM:
        reportError("Out of memory\n");
        break;
    case ENOSPC:
        reportError(formatText("Insufficient space to create folder %s\n", folder));
        break;
    default:
        reportError(formatText("Unknown error trying to create folder %s\n", folder));
        break;
    }
    return std::string();
}

bool vq_kestrix_output::isNumberedName(const std::string& name, const char* prefix, int numbers, const char* suffix)
{
    const std::string head(prefix);
    const std::string tail(suffix);
    if (name.size() < head.size() + tail.size() || name.compare(0, head.size(), head) != 0 ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    size_t pos = head.size();
    const size_t end = name.size() - tail.size();
    for (int i = 0; i < numbers; ++i) {
        if (i > 0 && (pos >= end || name[pos++] != '-'))
            return false;
        const size_t start = pos;
        while (pos < end && std::isdigit(static_cast<unsigned char>(name[pos])))
            ++pos;
        if (pos == start)
            return false;
    }
    return pos == end;
}

void vq_kestrix_output::removeTileFolders(const std::string& folder, bool (*isGroup)(const std::string&),
                                          bool (*isTile)(const std::string&))
{
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::directory_iterator group(folder, error), end; !error && group != end; group.increment(error)) {
        // A link named like a tile folder is not followed: what it points at
        // is not this pyramid's.
        if (!group->is_directory(error) || group->is_symlink(error) || !isGroup(group->path().filename().string()))
            continue;
        std::vector<fs::path> tiles;
        for (fs::directory_iterator tile(group->path(), error), tileEnd; !error && tile != tileEnd;
             tile.increment(error))
            if (!tile->is_directory(error) && isTile(tile->path().filename().string()))
                tiles.push_back(tile->path());
        for (const fs::path& tile : tiles)
            fs::remove(tile, error);
        error.clear();
        fs::remove(group->path(), error); // fails, as it should, while anything else is inside
        error.clear();
    }
}

void vq_kestrix_output::removeEarlierPyramid()
{
    removeTileFolders(
        outputFolder, [](const std::string& name) { return isNumberedName(name, "TileGroup", 1, ""); },
        [](const std::string& name) { return isNumberedName(name, "", 3, ".jpg"); });
    const std::string description = outputFolder + "/ImageProperties.xml";
    std::error_code error;
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(description, error)))
        std::filesystem::remove(description, error);
}

void vq_kestrix_output::tileNotWritten(const std::string& path, bool begun)
{
    if (begun)
        ::unlink(path.c_str());
    errorFlag = true;
    unwrittenTiles.push_back(path);
}

void vq_kestrix_output::reportUnwrittenTiles()
{
    if (unwrittenTiles.empty())
        return;
    reportError(describeUnwrittenTiles(unwrittenTiles));
    unwrittenTiles.clear();
}

bool vq_kestrix_output::setOutputPath(const std::string& path, const std::string&)
{
    outputFolder = createOutputFolder(path);
    if (!outputFolder.empty())
        removeEarlierPyramid();
    std::printf("Kestrix to folder name \"%s\"\n", outputFolder.c_str());
    return !errorFlag;
}

std::string vq_kestrix_output::getOutputFolderName(vq_zoom_tile_base* tile, int32_t group)
{
    if (tile == nullptr) {
        std::fputs("NULL tile passed to vq_kestrix_output::getOutputFolderName\n", stderr);
        return outputFolder;
    }
    return outputFolder + "/TileGroup" + std::to_string(group);
}

int32_t vq_kestrix_output::getOutputFolderIndex(vq_zoom_tile_base* tile)
{
    if (tile == nullptr) {
        std::fputs("NULL tile passed to vq_kestrix_output::getOutputFolderIndex\n", stderr);
        return 0;
    }
    for (vq_zoom_layer* level = baseLevel.get(); level != nullptr; level = level->getNextLayer()) {
        if (level->getLevel() == tile->getLevel())
            return level->getTileGroupIndex(tile);
    }
    return 0;
}

std::string vq_kestrix_output::getTileFileName(vq_zoom_tile_base* tile)
{
    char name[64];
    std::snprintf(name, sizeof(name), "/%d-%d-%d.jpg", tile->getLevel(), tile->getX(), tile->getY());
    return name;
}

std::string vq_kestrix_output::getTileFolderPath(vq_zoom_tile_base* tile)
{
    const int32_t group = getOutputFolderIndex(tile);
    std::string folder = getOutputFolderName(tile, group);
    if (createdGroups.insert(group).second)
        mkdir(folder.c_str(), 0777);
    return folder;
}

bool vq_kestrix_output::saveTile(vq_zoom_tile_base* tile)
{
    if (baseLevel == nullptr) {
        std::fputs("Unable to save tile as base layer is not set\n", stderr);
        errorFlag = true;
        return false;
    }
    if (tile == nullptr) {
        std::fputs("Passed NULL tile to saveTile\n", stderr);
        reportError("Passed NULL tile to saveTile\n");
        return false;
    }
    const int32_t q = baseLevel->getLevelQuality(tile->getLevel());
    const std::string path = getTileFolderPath(tile) + getTileFileName(tile);
    return saveTileAtQuality(tile, path, q);
}

bool vq_kestrix_output::saveTileAtQuality(vq_zoom_tile_base* tile, const std::string& path, int32_t q)
{
    if (tile == nullptr) {
        std::fputs("Tried to save NULL tile\n", stderr);
        errorFlag = true;
        return false;
    }
    if (tile->isSaved())
        return true;

    const int32_t format = tile->getFormat();
    if (format != vq_fmtRGB24 && format != vq_fmtYCbCr)
        return false;

    if (threaded) {
        vq_tile_saver job;
        job.outputPath = path;
        job.quality = q;
        // An RGB tile hands out an empty container when it has no pixels.
        vq_ptr<imageContainer> first;
        const int32_t firstPlane = format == vq_fmtRGB24 ? vq_fmtRGB24 : vq_fmtPlaneY;
        if (!tile->getContainer(first, firstPlane) || first == nullptr || !first->isAllocated()) {
            std::fputs("Trying to save with empty container\n", stderr);
            reportError("Trying to save with empty container\n");
            return false;
        }
        if (format == vq_fmtRGB24) {
            job.setContainer(first.get());
            job.colourSpace = colourSpace;
        } else {
            vq_ptr<imageContainer> cb;
            vq_ptr<imageContainer> cr;
            tile->getContainer(cb, vq_fmtPlaneCb);
            tile->getContainer(cr, vq_fmtPlaneCr);
            job.setYCbCrPlanes(first.get(), cb.get(), cr.get());
            if (job.holder != nullptr)
                job.holder->setSubsampling(tile->getSubsampling());
        }
        job.subsampling = subsampling;

        vq::platform::ScopedLock lock(tileJobLock);
        queueTileJob(job);
        tile->setSaved();
        return true;
    }

    vq_ptr<vq_stream> file;
    vq_ptr<vq_saver_base> saver;
    if (openWriteStream(path.c_str(), file.put()) != 0 || file == nullptr) {
        tileNotWritten(path, false);
        return false;
    }
    if (!createJPEGSaver(file.get(), saver.put()) || saver == nullptr) {
        file->close();
        tileNotWritten(path, true);
        return false;
    }
    if (format == vq_fmtRGB24) {
        saver->setColourSpace(colourSpace);
        vq_ptr<imageContainer> rgb;
        tile->getContainer(rgb, vq_fmtRGB24);
        if (saver->save(rgb.get(), q, subsampling))
            tile->setSaved();
    } else if (saver->supportsYCbCr()) {
        vq_ptr<imageContainer> y;
        vq_ptr<imageContainer> cb;
        vq_ptr<imageContainer> cr;
        tile->getContainer(y, vq_fmtPlaneY);
        tile->getContainer(cb, vq_fmtPlaneCb);
        tile->getContainer(cr, vq_fmtPlaneCr);
        if (saver->saveYCbCr(y.get(), cb.get(), cr.get(), tile->getSubsampling(), q, subsampling))
            tile->setSaved();
    }
    saver.reset();
    const bool closed = file->close() == 0;
    if (!tile->isSaved() || !closed) {
        tileNotWritten(path, true);
        return false;
    }
    return true;
}

bool vq_kestrix_output::saveRawTile(vq_zoom_tile_base* tile, vq_raw_tile* raw)
{
    if (tile == nullptr || raw == nullptr || baseLevel == nullptr)
        return false;
    // The label and macro images have no place in a tile folder.
    if (tile->getLevel() < 0)
        return true;

    const std::string path = getTileFolderPath(tile) + getTileFileName(tile);
    if (threaded) {
        vq_tile_saver job;
        job.outputPath = path;
        job.setRawTile(raw);
        vq::platform::ScopedLock lock(tileJobLock);
        tileJobList.push_front(job);
        tileJobEvent.set();
        return true;
    }

    vq_ptr<vq_stream> file;
    if (openWriteStream(path.c_str(), file.put()) != 0 || file == nullptr) {
        std::fputs(formatText("Cannot create raw output path %s\n", path).c_str(), stderr);
        tileNotWritten(path, false);
        return false;
    }
    const int32_t length = raw->getDataLength();
    const bool written = length > 0 && raw->getData() != nullptr &&
                         file->write(raw->getData(), static_cast<uint32_t>(length)) == length;
    const bool closed = file->close() == 0;
    if (!written || !closed) {
        tileNotWritten(path, true);
        return false;
    }
    return true;
}

bool vq_kestrix_output::writeImageProperties()
{
    vq_zoom_layer* level = baseLevel.get();
    while (level != nullptr && level->isRetiling())
        level = level->getNextLayer();
    if (level == nullptr) {
        std::fputs("Unable to save XML file\n", stderr);
        errorFlag = true;
        return false;
    }

    const IntPair size = level->getImageSize();
    const IntPair tileSize = level->getTileSize();
    const int32_t tiles = level->countTiles();
    const std::string path = outputFolder + "/ImageProperties.xml";
    FILE* file = std::fopen(path.c_str(), "w");
    bool written = file != nullptr;
    if (file != nullptr) {
        written = std::fprintf(file,
                               "<IMAGE_PROPERTIES WIDTH=\"%d\" HEIGHT=\"%d\" NUMTILES=\"%d\" NUMIMAGES=\"1\" "
                               "VERSION=\"1.8\" TILESIZE=\"%d\" />",
                               size.first, size.second, tiles, tileSize.first) > 0;
        written = std::fclose(file) == 0 && written;
        // A cut description would misdescribe the pyramid to a viewer.
        if (!written)
            ::unlink(path.c_str());
    }
    if (!written)
        reportError(formatText("Unable to write %s\n", path));
    return written;
}

void vq_kestrix_output::abort()
{
    reportUnwrittenTiles();
    baseLevel.reset();
}

bool vq_kestrix_output::finish()
{
    const bool complete = unwrittenTiles.empty();
    reportUnwrittenTiles();
    const bool written = writeImageProperties() && complete;
    // Levels hold the output; letting them go here ends the cycle.
    baseLevel.reset();
    return written;
}
