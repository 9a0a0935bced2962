#include "readers/folders/folder_source.h"

#include <strings.h>

#include <dirent.h>
#include <sys/stat.h>

#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "jpeg/jpeg_reader.h"
#include "jpeg/jpeg_tile_decoder.h"

bool endsWithPathSeparator(const std::string& path)
{
    // '/' is the only separator; a backslash is an ordinary name character.
    return !path.empty() && path.back() == '/';
}

std::string folderBasePath(const std::string& folder)
{
    return endsWithPathSeparator(folder) ? folder : folder + "/";
}

bool readWholeFile(const std::string& path, std::vector<char>& bytes)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return false;
    const size_t size = static_cast<size_t>(status.st_size);
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    bytes.assign(size + 1, 0);
    const size_t read = size == 0 ? 0 : std::fread(bytes.data(), 1, size, file);
    std::fclose(file);
    return read == size;
}

std::string findNameIgnoringCase(const std::string& folder, const std::string& name)
{
    struct stat status {};
    if (stat((folderBasePath(folder) + name).c_str(), &status) == 0)
        return name;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return name;
    std::string found = name;
    while (const dirent* entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, name.c_str()) == 0) {
            found = entry->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

bool probeJpegFile(const std::string& path, JpegProbe& probe)
{
    vq_ptr<vq_stream> stream;
    if (openReadStream(path.c_str(), stream.put()) != 0 || stream == nullptr)
        return false;
    vq_ptr<vq_loader_base> loader;
    if (!createJPEGLoader(stream.get(), loader.put()) || loader == nullptr)
        return false;
    vq_ptr<vq_FileInfo> info;
    if (!loader->getFileInfo(info.put()) || info == nullptr || !info->isValid())
        return false;
    probe.pixelFormat = info->getPixelFormat();
    probe.pixelFormats = info->getPixelFormats();
    probe.subsampling = info->getSubsampling();
    return true;
}

bool loadJpegFileAsRawTile(const std::string& path, vq_tileDecoder_base* dimensions, IntPair size,
                           bool requireSize, vq_raw_tile** out)
{
    if (out == nullptr)
        return false;
    vq_ptr<vq_stream> stream;
    if (openReadStream(path.c_str(), stream.put()) != 0 || stream == nullptr)
        return false;
    if (dimensions != nullptr)
        size = dimensions->getTileDimensions(stream.get());
    if (requireSize && (size.first == 0 || size.second == 0))
        return false;
    if (stream->seek(0, vq_seekEnd) != 0)
        return false;
    const int64_t length = stream->tell();
    if (length <= 0 || length > INT32_MAX)
        return false;

    vq_ptr<vq_raw_tile> raw;
    if (!createRawTile(raw.put()) || raw == nullptr ||
        !raw->allocate(static_cast<int32_t>(length), size))
        return false;
    if (stream->seek(0, vq_seekStart) != 0)
        return false;
    int64_t done = 0;
    while (done < length) {
        const int32_t n = stream->read(raw->getData() + done, static_cast<uint32_t>(length - done));
        if (n <= 0)
            return false;
        done += n;
    }
    raw->setCompression(7);
    *out = raw.get();
    raw->addRef();
    return true;
}

bool createJpegTileDecoder(const IntPair& tileSize, const std::vector<IntPair>& edgeSizes,
                           const std::vector<IntPair>& tileCounts, vq_tileDecoder_base** out)
{
    if (out == nullptr)
        return false;
    vq_TIFFJPEGTileDecoder* decoder = createTIFFJPEGTileDecoder();
    if (decoder == nullptr)
        return false;
    decoder->tileSize = tileSize;
    decoder->edgeSizes = edgeSizes;
    decoder->tileCounts = tileCounts;
    *out = decoder;
    return true;
}

void printJpegSourceReport(FILE* out, int pixelFormat, int subsampling)
{
    switch (pixelFormat) {
    case 3: std::fputs("YCbCr JPEG\n", out); break;
    case 4: std::fputs("RGB JPEG\n", out); break;
    case 6: std::fputs("Grayscale JPEG\n", out); break;
    default: break;
    }
    switch (subsampling) {
    case 1: std::fputs("4:4:4 - no downsampling\n", out); break;
    case 2: std::fputs("4:2:2 - 2:1 horizontal downsampling\n", out); break;
    case 3: std::fputs("Rotated 4:2:2 - 2:1 vertical downsampling\n", out); break;
    case 4: std::fputs("4:2:0 - 2:1 horizontal and vertical downsampling\n", out); break;
    default: break;
    }
}
