// JP2 strip loader: see jp2_strip_loader.h.
#include "readers/jp2/jp2_strip_loader.h"

#include <algorithm>
#include <memory>
#include <new>

#include "j2k/decoder/codestream.h"

vq_J2KStriploader* vq_J2KStriploader::create(vq_stream* stream) {
    auto* loader = new (std::nothrow) vq_J2KStriploader(stream);
    if (loader)
        loader->addRef();
    return loader;
}

bool vq_J2KStriploader::open() {
    if (!stream || !source.open(stream.get()))
        return false;
    imageSize = source.info().getImageSize();
    const IntPair grid = source.codestream().MainHeader().TileGrid();
    tilesPerBand = grid.first > 0 ? uint32_t(grid.first) : 1;
    bandIndex = 0;
    return true;
}

bool vq_J2KStriploader::prepareStrips(int rows, int format) {
    if (rows <= 0)
        return false;
    stripHeight = rows;
    rowsDelivered = 0;
    pixelFormat = J2KDeliveredFormat(format, source.info().getPixelFormat());
    return decodeNextBand();
}

bool vq_J2KStriploader::decodeNextBand() {
    try {
        if (!source.indexed() && !source.buildIndex())
            return false;
        const uint32_t first = uint32_t(bandIndex) * tilesPerBand;
        const uint32_t last = first + tilesPerBand - 1;
        if (last >= source.tileCount())
            return false;
        const DJP2MainHeader& mh = source.codestream().MainHeader();
        const J2KRect firstRect = source.tileRect(first, 0);
        vq_ptr<imageContainer> next = vq_ptr<imageContainer>::adopt(imageContainer::create());
        if (!next || !next->create(pixelFormat, imageSize.first, int32_t(firstRect.height), true))
            return false;
        vq_ptr<imageContainer> tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
        std::unique_ptr<DJP2Tile> copy;
        for (uint32_t t = first; t <= last; ++t) {
            copy = source.decodePackets(t, std::move(copy), 0);
            if (!copy || !tile || !source.reconstruct(*copy, t, 0, pixelFormat, tile.get()))
                return false;
            // Every tile of the band lies on the band's rows; its columns are
            // counted from the image's left edge.
            const J2KRect r = source.tileRect(t, 0);
            if (r.y0 != firstRect.y0 || r.height != firstRect.height || r.x0 < mh.imageRect.x0)
                return false;
            if (!next->copyRegionFrom(tile.get(), IntPair(0, 0), IntPair(int32_t(r.x0 - mh.imageRect.x0), 0),
                                      int32_t(r.width), int32_t(r.height)))
                return false;
        }
        band = next;
        rowInBand = 0;
        ++bandIndex;
        return true;
    } catch (...) {
        return false;
    }
}

bool vq_J2KStriploader::readNextStrip(int* rowsDone, imageContainer* dst) {
    if (!dst || stripHeight <= 0)
        return false;
    const int32_t n = std::min(stripHeight, imageSize.second - rowsDelivered);
    if (n <= 0 || !dst->create(pixelFormat, imageSize.first, n, false))
        return false;
    int32_t at = 0;
    while (at < n) {
        if (!band || rowInBand >= band->getHeight()) {
            if (!decodeNextBand())
                return false;
        }
        const int32_t k = std::min(n - at, band->getHeight() - rowInBand);
        if (!dst->copyRegionFrom(band.get(), IntPair(0, rowInBand), IntPair(0, at), imageSize.first, k))
            return false;
        rowInBand += k;
        rowsDelivered += k;
        at += k;
    }
    if (rowsDone)
        *rowsDone = rowsDelivered;
    return true;
}
