#include "outputs/kestrix_output.h"

#include <cerrno>
#include <cstdio>
#include <new>
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

bool vq_kestrix_output::setOutputPath(const std::string& path, const std::string&)
{
    outputFolder = createOutputFolder(path);
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
    if (openWriteStream(path.c_str(), file.put()) != 0 || file == nullptr ||
        !createJPEGSaver(file.get(), saver.put()) || saver == nullptr) {
        reportError(formatText("Unable to write tile file %s\n", path));
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
        reportError(formatText("Unable to write tile file %s\n", path));
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
        const std::string text = formatText("Cannot create raw output path %s\n", path);
        std::fputs(text.c_str(), stderr);
        reportError(text);
        return false;
    }
    const int32_t length = raw->getDataLength();
    const bool written = length > 0 && raw->getData() != nullptr &&
                         file->write(raw->getData(), static_cast<uint32_t>(length)) == length;
    const bool closed = file->close() == 0;
    if (!written || !closed) {
        reportError(formatText("Unable to write tile file %s\n", path));
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
    }
    if (!written)
        reportError(formatText("Unable to write %s\n", path));
    return written;
}

void vq_kestrix_output::abort()
{
    baseLevel.reset();
}

bool vq_kestrix_output::finish()
{
    const bool written = writeImageProperties();
    // Levels hold the output; letting them go here ends the cycle.
    baseLevel.reset();
    return written;
}
