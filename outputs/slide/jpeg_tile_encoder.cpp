#include "outputs/slide/jpeg_tile_encoder.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "jpeg/jpeg_bridge.h"
#include "jpeg/jpeg_saver.h"

namespace {

// Quantisation tables: the source tile's where it defines them, otherwise the
// library's scaling of the standard tables by the quality.
void applyTables(jpeg_compress_struct& info, const JpegStreamParser& source, int quality) {
    if (!source.parsed) {
        jpeg_set_quality(&info, quality, TRUE);
        return;
    }
    for (int t = 0; t < 4; ++t) {
        const std::vector<uint16_t>& table = source.quantTables[t];
        if (table.size() < 64) continue;
        if (info.quant_tbl_ptrs[t] == nullptr)
            info.quant_tbl_ptrs[t] = jpeg_alloc_quant_table(reinterpret_cast<j_common_ptr>(&info));
        for (int i = 0; i < 64; ++i) info.quant_tbl_ptrs[t]->quantval[i] = table[i];
        info.quant_tbl_ptrs[t]->sent_table = FALSE;
    }
}

} // namespace

bool createJpegTileEncoder(vq_jpeg_tileEncoder** out) {
    if (out == nullptr) return false;
    auto* e = new (std::nothrow) vq_jpeg_tileEncoder;
    if (e == nullptr) return false;
    e->addRef();
    *out = e;
    return true;
}

vq_jpeg_tileEncoder::vq_jpeg_tileEncoder() = default;
vq_jpeg_tileEncoder::~vq_jpeg_tileEncoder() = default;

bool vq_jpeg_tileEncoder::setSourceTables(vq_raw_tile* tile) {
    if (tile != nullptr) {
        if (tile->getData() != sourceTables_.source) {
            sourceTables_.source = tile->getData();
            sourceTables_.sourceLength = static_cast<uint32_t>(std::max(0, tile->getDataLength()));
            sourceTables_.parse(false);
        }
    } else if (sourceTables_.source != nullptr) {
        sourceTables_.source = nullptr;
        sourceTables_.sourceLength = 0;
        sourceTables_.parse(false);
    }
    return sourceTables_.parsed;
}

bool vq_jpeg_tileEncoder::encodeTile(imageContainer* tile, vq_stream* out) {
    if (tile == nullptr || out == nullptr) {
        std::fputs("NULL parameters to encodeTile\n", stderr);
        return false;
    }
    if (!tile->isAllocated() || tile->getChannels() != 3 || tile->getBitsPerSample() != 8) return false;
    JpegCompressor c;
    if (!createJpegCompress(c)) return false;
    const int width = tile->getWidth(), height = tile->getHeight();
    const int colourSpace = colourSpace_, subsampling = subsampling_, quality = quality_;
    const bool writeTables = writeTables_;
    const JpegStreamParser& source = sourceTables_;
    ContainerPixels pixels(tile);
    if (pixels.data == nullptr) return false;
    bool rowsOk = true;
    const bool ok = c.guarded([&] {
        c.info.in_color_space = JCS_RGB;
        c.info.input_components = 3;
        jpeg_set_defaults(&c.info);
        setJpegColorSpace(&c.info, colourSpace);
        c.info.num_components = 3;
        c.info.input_components = 3;
        jpegStreamDestination(&c.info, out);
        c.info.image_width = static_cast<JDIMENSION>(width);
        c.info.image_height = static_cast<JDIMENSION>(height);
        applyTables(c.info, source, quality);
        setJpegSubsampling(&c.info, subsampling);
        startJpegCompress(&c.info, writeTables);
        rowsOk = writeJpegRows(&c.info, pixels.data, pixels.step);
        if (rowsOk) jpeg_finish_compress(&c.info);
    });
    return ok && rowsOk;
}

bool vq_jpeg_tileEncoder::encodeTileYCbCr(imageContainer* y, imageContainer* cb, imageContainer* cr,
                                          int subsampling, vq_stream* out) {
    if (out == nullptr || y == nullptr || !y->isAllocated() || subsampling_ == 5 || subsampling == 5) return false;
    // Every caller passes three planes; the raw-data path reads all three.
    if (cb == nullptr || cr == nullptr || !cb->isAllocated() || !cr->isAllocated()) return false;
    if (colourSpace_ == 4) {
        vq_ptr<imageContainer> rgb = vq_ptr<imageContainer>::adopt(imageContainer::create());
        if (rgb == nullptr || !rgb->fromYCbCrPlanes(y, cb, cr, subsampling)) return false;
        return encodeTile(rgb.get(), out);
    }
    vq_ptr<imageContainer> newCb, newCr;
    if (subsampling != subsampling_) {
        newCr = vq_ptr<imageContainer>::adopt(imageContainer::create());
        newCb = vq_ptr<imageContainer>::adopt(imageContainer::create());
        if (newCr == nullptr || newCb == nullptr) return false;
        if (!convertChromaPlane(subsampling, subsampling_, cr, newCr.get())) return false;
        if (!convertChromaPlane(subsampling, subsampling_, cb, newCb.get())) return false;
        cb = newCb.get();
        cr = newCr.get();
    }
    if (out->seek(0, vq_seekStart) != 0) return false;
    JpegCompressor c;
    if (!createJpegCompress(c)) return false;
    const int width = y->getWidth(), height = y->getHeight();
    const int coded = subsampling_, quality = quality_;
    const bool writeTables = writeTables_;
    const JpegStreamParser& source = sourceTables_;
    const bool ok = c.guarded([&] {
        c.info.in_color_space = jpegColorSpaceForFormat(3);
        c.info.input_components = 3;
        jpeg_set_defaults(&c.info);
        jpegStreamDestination(&c.info, out);
        c.info.image_width = static_cast<JDIMENSION>(width);
        c.info.image_height = static_cast<JDIMENSION>(height);
        applyTables(c.info, source, quality);
        setJpegSubsampling(&c.info, coded);
        // The planes go to the library as they are: no conversion, no
        // down-sampling of its own.
        c.info.raw_data_in = TRUE;
        startJpegCompress(&c.info, writeTables);
    });
    if (!ok || !compressYCbCrPlanes(c, y, cb, cr)) return false;
    return finishJpegCompress(c);
}
