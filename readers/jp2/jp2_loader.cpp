// JP2 file information and loader: see jp2_loader.h.
#include "readers/jp2/jp2_loader.h"

#include <new>

#include "engine/base/imageContainer.h"
#include "j2k/byte_input.h"
#include "j2k/jp2_file.h"
#include "readers/jp2/jp2_strip_loader.h"
#include "readers/jp2/jp2_tile_loader.h"

namespace {

// Decomposition levels a component's quantisation record lists step sizes
// for; scalar derived quantisation lists none.
int QuantLevels(const DJP2QuantParams& q) { return q.style == 1 ? 0 : int(q.levelCount); }

} // namespace

vq_J2KFileInfo* vq_J2KFileInfo::create() {
    auto* info = new (std::nothrow) vq_J2KFileInfo;
    if (info)
        info->addRef();
    return info;
}

bool vq_J2KFileInfo::readHeader(vq_stream* stream) {
    valid = false;
    if (!stream)
        return false;
    BoundedInputBE input;
    input.Attach(stream);
    try {
        DJP2FileReader reader(&input);
        readHeaderFrom(reader);
    } catch (const std::bad_alloc&) {
        valid = false;
    }
    input.Detach();
    return valid;
}

bool vq_J2KFileInfo::readHeaderFrom(DJP2FileReader& reader) {
    valid = false;
    try {
        reader.ReadFileHeader();
        if (!reader.ReadToCodestream() || reader.Header().unread)
            return false;
        valid = true;
        imageSize = reader.Header().imageHeader.size;
        levelSizes.assign(1, imageSize);

        const DJP2MainHeader& mh = reader.Codestream().MainHeader();
        int running = 0;
        for (uint32_t c = 0; c < mh.componentCount; ++c) {
            const int n = QuantLevels(mh.Quant(c));
            if (running == 0 || n < running)
                running = n;
        }
        levels = running;

        if (mh.tileSize.first != 0 && mh.tileSize.second != 0) {
            tileSize = mh.tileSize;
            tiled = true;
            const uint64_t tw = uint32_t(mh.tileSize.first), th = uint32_t(mh.tileSize.second);
            const uint64_t acrossSpan = uint64_t(mh.imageRect.x0) + uint32_t(imageSize.first) - uint32_t(mh.tileOrigin.first);
            const uint64_t downSpan = uint64_t(mh.imageRect.y0) + uint32_t(imageSize.second) - uint32_t(mh.tileOrigin.second);
            tileCounts = IntPair(int(CeilDivU64(acrossSpan, tw)), int(CeilDivU64(downSpan, th)));
        }

        // An enumerated sRGB or greyscale space gives the format; an ICC
        // profile or another space (sYCC, ...) gives no usable answer, so the
        // component count decides: one or two components are grey (with an
        // alpha that is dropped), three or four RGB (alpha dropped).
        const DJP2ColourSpec& colour = reader.Header().colour;
        if (!colour.unread && colour.meth == 1 && colour.enumCS == 16)
            pixelFormat = vq_fmtRGB24;
        else if (!colour.unread && colour.meth == 1 && colour.enumCS == 17)
            pixelFormat = vq_fmtGray8;
        else if (mh.componentCount == 1 || mh.componentCount == 2)
            pixelFormat = vq_fmtGray8;
        else if (mh.componentCount == 3 || mh.componentCount == 4)
            pixelFormat = vq_fmtRGB24;
        pixelFormats.insert(pixelFormat);
    } catch (const BDiagnDescr&) {
        valid = false;
    } catch (const std::bad_alloc&) {
        valid = false;
    }
    return valid;
}

void vq_J2KFileInfo::printReport(FILE* out) {
    if (!valid || !out)
        return;
    std::fprintf(out, "Width %d height %d\n", levelSizes[0].first, levelSizes[0].second);
    if (tiled)
        std::fprintf(out, "Tile width %d tile height %d\n", tileSize.first, tileSize.second);
    if (pixelFormat == vq_fmtRGB24)
        std::fprintf(out, "24-bit RGB format\n");
    else if (pixelFormat == vq_fmtRGBA32)
        std::fprintf(out, "32-bit RGBA format\n");
    else if (pixelFormat == vq_fmtGray8)
        std::fprintf(out, "Grayscale format\n");
}

vq_J2KLoader* vq_J2KLoader::create(vq_stream* stream) {
    auto* loader = new (std::nothrow) vq_J2KLoader(stream);
    if (loader)
        loader->addRef();
    return loader;
}

bool vq_J2KLoader::getFileInfo(vq_FileInfo** out) {
    if (!out || !stream)
        return false;
    StreamRewindGuard rewind(stream.get());
    vq_J2KFileInfo* info = vq_J2KFileInfo::create();
    if (!info)
        return false;
    if (!info->readHeader(stream.get())) {
        info->release();
        return false;
    }
    *out = info;
    return true;
}

namespace {

// Makes a loader of kind L over the stream and opens it; the caller gets it
// only when it opened.
template <class L, class Base>
bool openLoader(vq_stream* stream, Base** out) {
    if (!out || !stream)
        return false;
    L* loader = L::create(stream);
    if (!loader)
        return false;
    if (!loader->open()) {
        loader->release();
        return false;
    }
    *out = loader;
    return true;
}

} // namespace

bool vq_J2KLoader::getTileLoader(vq_tileloader_base** out) {
    return openLoader<vq_J2KTileloader>(stream.get(), out);
}

bool vq_J2KLoader::getStripLoader(vq_stripLoader_base** out) {
    return openLoader<vq_J2KStriploader>(stream.get(), out);
}

bool createJ2KLoader(vq_stream* stream, vq_loader_base** out) {
    if (!stream || !out)
        return false;
    vq_J2KLoader* loader = vq_J2KLoader::create(stream);
    if (!loader)
        return false;
    *out = loader;
    return true;
}
