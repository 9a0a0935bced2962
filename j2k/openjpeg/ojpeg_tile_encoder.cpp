#include "j2k/openjpeg/ojpeg_tile_encoder.h"

#include <openjpeg.h>

#include <algorithm>
#include <new>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/reader_messages.h"
#include "engine/base/stream.h"
#include "j2k/openjpeg/opj_cio.h"
#include "primitives/core/depth.h"
#include "primitives/jpeg/color/color.h"
#include "primitives/jpeg/sampling/sampling.h"

namespace {

// Library default, reduced so that the smallest component (the halved
// chroma, or a short tile) still has at least one sample at the lowest
// resolution; OpenJPEG refuses more resolutions than that.
int32_t resolutionsFor(int32_t chromaWidth, int32_t height) {
    int32_t smallest = std::min(chromaWidth, height);
    int32_t levels = 0;
    while (levels < 5 && (smallest >> (levels + 1)) > 0) ++levels;
    return levels + 1;
}

// The first three channels of the tile as packed R, G, B rows of width x 3
// bytes; false with "Unhandled format\n" for formats that are not 8-bit RGB,
// BGR or four channels.
bool packedRgb(imageContainer* tile, std::vector<uint8_t>& rgb) {
    const int32_t w = tile->getWidth(), h = tile->getHeight();
    const int32_t format = tile->getFormat();
    int32_t channels = 0;
    bool reverse = false;
    switch (format) {
        case vq_fmtRGB24: channels = 3; break;
        case vq_fmtBGR24: channels = 3; reverse = true; break;
        case vq_fmt8uC4:
        case vq_fmtRGBA32: channels = 4; break;
        default:
            reportReaderMessage("Unhandled format\n");
            return false;
    }
    const uint8_t* pixels = nullptr;
    int32_t step = 0;
    tile->lockPixelsConst(&pixels, &step);
    bool ok = pixels != nullptr;
    if (ok) {
        rgb.resize(static_cast<size_t>(w) * h * 3);
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* row = pixels + static_cast<ptrdiff_t>(y) * step;
            uint8_t* dst = rgb.data() + static_cast<size_t>(y) * w * 3;
            for (int32_t x = 0; x < w; ++x, row += channels, dst += 3) {
                dst[0] = row[reverse ? 2 : 0];
                dst[1] = row[1];
                dst[2] = row[reverse ? 0 : 2];
            }
        }
    }
    tile->unlockPixels();
    return ok;
}

// Fills the three components from the RGB pixels: Y at full size, Cb and Cr
// averaged over horizontal pairs (the last odd column stands alone).
bool fillComponents(const std::vector<uint8_t>& rgb, int32_t w, int32_t h, opj_image_t* image) {
    const int32_t cw = (w + 1) / 2;
    std::vector<uint8_t> planes(static_cast<size_t>(w) * h * 3);
    uint8_t* const ycc[3] = {planes.data(), planes.data() + static_cast<size_t>(w) * h,
                             planes.data() + static_cast<size_t>(w) * h * 2};
    if (rgbPixelsToYCbCrPlanes(rgb.data(), w * 3, ycc, w, PrimSize{w, h}) != 0) return false;
    if (convert8uTo32sC1(ycc[0], w, image->comps[0].data, w * 4, PrimSize{w, h}) != 0) return false;
    std::vector<uint8_t> half(static_cast<size_t>(cw) * h);
    for (int k = 1; k <= 2; ++k) {
        if (downsampleH2V1Box(ycc[k], w, PrimSize{w, h}, half.data(), cw, PrimSize{cw, h}) != 0) return false;
        if (convert8uTo32sC1(half.data(), cw, image->comps[k].data, cw * 4, PrimSize{cw, h}) != 0) return false;
    }
    return true;
}

}  // namespace

double vq_J2K_OJPEG_TileEncoder::targetPsnr(int32_t quality) {
    return 20.0 + 0.3 * std::clamp(quality, 1, 100);
}

bool vq_J2K_OJPEG_TileEncoder::encodeTile(imageContainer* tile, vq_stream* out) {
    if (!tile || !out) return false;
    int32_t n = tile->getChannels();
    if (n < 3) {
        reportReaderMessage("Unhandled component count %d\n", n);
        return false;
    }
    const int32_t w = tile->getWidth(), h = tile->getHeight();
    if (w < 1 || h < 1) return false;
    std::vector<uint8_t> rgb;
    if (!packedRgb(tile, rgb)) return false;

    const int32_t cw = (w + 1) / 2;
    opj_image_cmptparm_t parts[3] = {};
    for (int k = 0; k < 3; ++k) {
        parts[k].dx = k == 0 ? 1 : 2;
        parts[k].dy = 1;
        parts[k].w = static_cast<OPJ_UINT32>(k == 0 ? w : cw);
        parts[k].h = static_cast<OPJ_UINT32>(h);
        parts[k].prec = 8;
        parts[k].sgnd = 0;
    }
    opj_image_t* image = opj_image_create(3, parts, OPJ_CLRSPC_SYCC);
    if (!image) return false;
    image->x0 = 0;
    image->y0 = 0;
    image->x1 = static_cast<OPJ_UINT32>(w);
    image->y1 = static_cast<OPJ_UINT32>(h);

    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.tcp_numlayers = 1;
    parameters.cp_fixed_quality = 1;
    parameters.tcp_distoratio[0] = static_cast<float>(targetPsnr(quality_));
    parameters.irreversible = 1;
    parameters.tcp_mct = 0;
    parameters.numresolution = resolutionsFor(cw, h);

    bool ok = fillComponents(rgb, w, h, image);
    opj_codec_t* codec = ok ? opj_create_compress(OPJ_CODEC_J2K) : nullptr;
    vq_opj_cio* cio = nullptr;
    if (codec) {
        vq_opj_install_handlers(codec);
        ok = opj_setup_encoder(codec, &parameters, image) != OPJ_FALSE;
        if (ok) {
            cio = vq_opj_cio_open(codec, nullptr, 0);
            ok = cio && cio->stream();
        }
        if (ok) ok = opj_start_compress(codec, image, cio->stream()) != OPJ_FALSE;
        if (ok) ok = opj_encode(codec, cio->stream()) != OPJ_FALSE;
        if (ok) ok = opj_end_compress(codec, cio->stream()) != OPJ_FALSE;
        if (ok) {
            // The code-stream is handed on only when it is complete.
            size_t length = cio->written();
            const uint8_t* bytes = cio->data();
            while (ok && length > 0) {
                auto chunk = static_cast<uint32_t>(std::min<size_t>(length, 1u << 30));
                int32_t wrote = out->write(bytes, chunk);
                ok = wrote == static_cast<int32_t>(chunk);
                bytes += chunk;
                length -= chunk;
            }
        }
    } else {
        ok = false;
    }
    vq_opj_cio_close(cio);
    if (codec) opj_destroy_codec(codec);
    opj_image_destroy(image);
    return ok;
}

bool createJ2KOjpegTileEncoder(vq_tileEncoder_base** out) {
    if (!out) return false;
    auto* encoder = new (std::nothrow) vq_J2K_OJPEG_TileEncoder();
    if (!encoder) return false;
    encoder->addRef();
    *out = encoder;
    return true;
}
