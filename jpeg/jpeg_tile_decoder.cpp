#include "jpeg/jpeg_tile_decoder.h"

#include <new>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "engine/base/reader_messages.h"
#include "jpeg/jpeg_bridge.h"
#include "jpeg/jpeg_reader.h"

namespace {

// Reads the header of a raw tile; `check` looks at the decompressor after it.
template <class Check>
bool probeTileHeader(vq_raw_tile* tile, Check&& check) {
    if (tile == nullptr || tile->getData() == nullptr) return false;
    vq_ptr<vq_stream> stream;
    if (openMemoryStream(tile->getData(), static_cast<uint64_t>(std::max(0, tile->getDataLength())),
                         stream.put()) != 0)
        return false;
    JpegDecompressor d;
    bool ok = d.guarded([&] {
        jpegStreamSource(&d.info, stream.get());
        jpeg_read_header(&d.info, TRUE);
    });
    return ok && d.info.num_components <= 4 && check(d.info);
}

// Opens a JPEG loader over the tile's bytes, with the decoder's messages.
bool openTileLoader(const uint8_t* data, int32_t length, vq_ptr<vq_stream>& stream,
                    vq_ptr<vq_loader_base>& loader) {
    if (openMemoryStream(data, static_cast<uint64_t>(std::max(0, length)), stream.put()) != 0) {
        reportReaderMessage("Unable to open JPEG memory stream\n");
        return false;
    }
    if (!createJPEGLoader(stream.get(), loader.put())) {
        reportReaderMessage("Unable to create JPEG tile decoder\n");
        return false;
    }
    return true;
}

} // namespace

vq_TIFFJPEGTileDecoder* createTIFFJPEGTileDecoder() {
    vq_TIFFJPEGTileDecoder* d = new (std::nothrow) vq_TIFFJPEGTileDecoder;
    if (d) d->addRef();
    return d;
}

vq_TIFFJPEGTileDecoder::vq_TIFFJPEGTileDecoder() = default;
vq_TIFFJPEGTileDecoder::~vq_TIFFJPEGTileDecoder() = default;

IntPair vq_TIFFJPEGTileDecoder::getTileDimensions(vq_stream* stream) {
    if (stream == nullptr) return IntPair(0, 0);
    StreamRewindGuard rewind(stream);
    JpegDecompressor d;
    bool ok = d.guarded([&] {
        jpegStreamSource(&d.info, stream);
        jpeg_read_header(&d.info, TRUE);
    });
    if (!ok) return IntPair(0, 0);
    return IntPair(static_cast<int>(d.info.image_width), static_cast<int>(d.info.image_height));
}

bool vq_TIFFJPEGTileDecoder::isMcuAligned(vq_raw_tile* tile) {
    return probeTileHeader(tile, [](const jpeg_decompress_struct& i) {
        return i.image_width % 16 == 0 && i.image_height % 16 == 0;
    });
}

bool vq_TIFFJPEGTileDecoder::canSplitLeftRight(vq_raw_tile* tile) {
    return probeTileHeader(tile, [](const jpeg_decompress_struct& i) {
        for (int c = 0; c < i.num_components; ++c)
            if (i.comp_info[c].width_in_blocks % 2 != 0) return false;
        return true;
    });
}

bool vq_TIFFJPEGTileDecoder::canSplitTopBottom(vq_raw_tile* tile) {
    return probeTileHeader(tile, [](const jpeg_decompress_struct& i) {
        for (int c = 0; c < i.num_components; ++c)
            if (i.comp_info[c].height_in_blocks % 2 != 0) return false;
        return true;
    });
}

bool vq_TIFFJPEGTileDecoder::decodeTile(const IntPair& position, int level, const uint8_t* data,
                                        int32_t length, imageContainer* dst) {
    vq_ptr<vq_stream> stream;
    vq_ptr<vq_loader_base> loader;
    if (!openTileLoader(data, length, stream, loader)) return false;
    if (!jpegFrameFits(data, length, largestTile())) return false;
    if (!loader->loadImage(dst, 4)) return false;
    if (tileSize.first != 0 && tileSize.second != 0 && level >= 0 &&
        static_cast<size_t>(level) < edgeSizes.size() && static_cast<size_t>(level) < tileCounts.size()) {
        IntPair crop = tileSize;
        bool edge = false;
        if (position.first == tileCounts[level].first - 1) {
            crop.first = edgeSizes[level].first;
            edge = true;
        }
        if (position.second == tileCounts[level].second - 1) {
            crop.second = edgeSizes[level].second;
            edge = true;
        }
        if (edge) dst->crop(crop.first, crop.second);
    }
    return true;
}

bool vq_TIFFJPEGTileDecoder::decodeTileYCbCr(const IntPair&, int, const uint8_t* data, int32_t length,
                                             imageContainer* y, imageContainer* cb, imageContainer* cr) {
    vq_ptr<vq_stream> stream;
    vq_ptr<vq_loader_base> loader;
    if (!openTileLoader(data, length, stream, loader)) return false;
    if (!jpegFrameFits(data, length, largestTile())) return false;
    if (!loader->canLoadYCbCr()) return false;
    return loader->loadImageYCbCr(y, cb, cr);
}
