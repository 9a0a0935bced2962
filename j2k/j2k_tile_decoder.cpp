// JPEG 2000 tile decoder: see j2k_tile_decoder.h.
#include "j2k/j2k_tile_decoder.h"

#include <openjpeg.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>

#include "engine/base/imageContainer.h"
#include "engine/base/stream.h"
#include "j2k/byte_input.h"
#include "j2k/decoder/codestream.h"
#include "j2k/openjpeg/opj_cio.h"
#include "j2k/sample_convert.h"
#include "primitives/core/depth.h"
#include "primitives/jpeg/color/color.h"
#include "primitives/jpeg/sampling/sampling.h"

namespace {

// A decoded tile as 8-bit planes, one per component, whichever codec made it.
struct Planes8 {
    struct Component {
        std::vector<uint8_t> samples;
        // The decoded samples as they are, kept only for 16-bit output.
        std::vector<int32_t> wide;
        DJP2BitDepth depth;
        IntPair size;
        IntPair sampling;
    };
    std::vector<Component> comps;
    IntPair imageSize;
    // Keep the decoded samples of 16-bit components (set before decoding).
    bool keepWide = false;
};

// Brings one decoded component (32-bit samples of the given depth) to bytes.
void AddComponent(Planes8& out, const PlaneRef& src, const DJP2BitDepth& depth, IntPair size, IntPair sampling) {
    Planes8::Component c;
    c.size = size;
    c.sampling = sampling;
    c.depth = depth;
    if (size.first > 0 && size.second > 0) {
        std::vector<int32_t> wide(size_t(size.first) * size.second);
        const PlaneRef w(wide.data(), size.first * 4);
        if (out.keepWide && depth.bits == 15) {
            c.wide.resize(wide.size());
            CopyPlane32(src, PlaneRef(c.wide.data(), size.first * 4), size);
        }
        ConvertComponentTo8u(src, depth, size, w);
        c.samples.resize(wide.size());
        convert32sTo8uC1(wide.data(), size.first * 4, c.samples.data(), size.first, PrimSize{size.first, size.second});
    }
    out.comps.push_back(std::move(c));
}

// Our own codec over the tile bytes; false on any failure it reports.
bool DecodeOwn(const uint8_t* data, int32_t length, Planes8& out) {
    try {
        MemoryBoundedInputBE input;
        input.Attach(data, uint64_t(length));
        DJP2Codestream<MemoryBoundedInputBE> cs;
        cs.AttachInput(&input);
        cs.ReadMainHeader();
        DJP2Image image;
        InitImageFromMainHeader(cs.MainHeader(), image);
        while (cs.ReadNextTilePart())
            while (cs.DecodeTilePart()) {
            }
        cs.WriteComponents(image);
        const J2KRect& r = image.Rect();
        out.imageSize = IntPair(int(r.width), int(r.height));
        for (uint32_t c = 0; c < image.NComponents(); ++c) {
            const DJP2PlaneBuffer& p = image.Components()[c];
            AddComponent(out, p.Ref(), image.BitDepths()[c], p.Size(), image.Sampling()[c]);
        }
        return true;
    } catch (const BDiagnDescr&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool DecodeOpenJpeg(const uint8_t* data, int32_t length, Planes8& out) {
    opj_image_t* img = vq_opj_decode_j2k(data, length, 0);
    if (!img)
        return false;
    bool ok = img->numcomps > 0;
    try {
        out.imageSize = IntPair(int(img->x1 - img->x0), int(img->y1 - img->y0));
        for (uint32_t c = 0; ok && c < img->numcomps; ++c) {
            const opj_image_comp_t& k = img->comps[c];
            if (!k.data || k.prec < 1 || k.prec > 32) {
                ok = false;
                break;
            }
            AddComponent(out, PlaneRef(k.data, int32_t(k.w * 4)), DJP2BitDepth(int32_t(k.prec) - 1, k.sgnd != 0),
                         IntPair(int(k.w), int(k.h)), IntPair(int(k.dx), int(k.dy)));
        }
    } catch (...) {
        ok = false;
    }
    opj_image_destroy(img);
    return ok;
}

bool Decode(int32_t kind, const uint8_t* data, int32_t length, Planes8& out) {
    if (kind == 0)
        return DecodeOwn(data, length, out);
    if (kind == 2)
        return DecodeOpenJpeg(data, length, out);
    return false;
}

bool CheckInput(const uint8_t* data, int32_t length) {
    if (!data) {
        std::fprintf(stderr, "Bad tile data to J2K decoder\n");
        return false;
    }
    if (length <= 0) {
        std::fprintf(stderr, "Data length 0 to J2K decoder\n");
        return false;
    }
    return true;
}

// The image size a code-stream's SIZ segment declares, (0, 0) when the bytes
// do not begin with SOC and SIZ.
IntPair DeclaredSize(const uint8_t* d, int32_t length) {
    if (length < 24 || d[0] != 0xFF || d[1] != 0x4F || d[2] != 0xFF || d[3] != 0x51)
        return IntPair(0, 0);
    const auto be32 = [&](int at) {
        return uint32_t(d[at]) << 24 | uint32_t(d[at + 1]) << 16 | uint32_t(d[at + 2]) << 8 | d[at + 3];
    };
    const uint32_t x1 = be32(8), y1 = be32(12), x0 = be32(16), y0 = be32(20);
    if (x0 >= x1 || y0 >= y1 || x1 - x0 > INT32_MAX || y1 - y0 > INT32_MAX)
        return IntPair(0, 0);
    return IntPair(int32_t(x1 - x0), int32_t(y1 - y0));
}

// A tile's code-stream comes from an untrusted file: one that declares an
// image larger than the stored tile is refused before anything is decoded
// (its planes would be sized by the code-stream, not by the tile).
bool FitsTile(const uint8_t* data, int32_t length, IntPair tile) {
    if (tile.first <= 0 || tile.second <= 0)
        return true;
    const IntPair s = DeclaredSize(data, length);
    return s.first <= tile.first && s.second <= tile.second;
}

bool Is422(const Planes8& p) {
    return p.comps.size() == 3 && p.comps[1].sampling == IntPair(2, 1) && p.comps[2].sampling == IntPair(2, 1) &&
           p.comps[0].sampling == IntPair(1, 1);
}
bool Is444(const Planes8& p) {
    for (const auto& c : p.comps)
        if (c.sampling != IntPair(1, 1))
            return false;
    return true;
}

// Writes a byte plane into a one-plane container over the container's
// visible size, which the caller has made no larger than the plane.
void WritePlane(imageContainer* dst, const Planes8::Component& c) {
    uint8_t* px = nullptr;
    int32_t step = 0;
    dst->lockPixels(&px, &step);
    const int w = dst->getWidth(), h = dst->getHeight();
    for (int y = 0; y < h; ++y)
        std::copy_n(c.samples.data() + size_t(y) * c.size.first, w, px + ptrdiff_t(y) * step);
    dst->unlockPixels();
}

// 16-bit tiles decoded without a stored tile size keep their depth: one grey
// component (a second, alpha, is dropped) becomes 16-bit grey, three or four
// components of full chroma become 48-bit RGB (alpha dropped), every sample
// brought to 16 unsigned bits. -1 when the tile is not such a tile (it then
// goes the 8-bit way), else whether it was written.
int Write16(Planes8& p, imageContainer* dst) {
    const size_t n = p.comps.size();
    const size_t used = n <= 2 ? 1 : (n <= 4 && Is444(p) ? 3 : 0);
    if (used == 0 || p.comps[0].sampling != IntPair(1, 1))
        return -1;
    const IntPair size = p.comps[0].size;
    PlaneRef src[3], out[3];
    DJP2BitDepth depths[3];
    for (size_t k = 0; k < used; ++k) {
        Planes8::Component& c = p.comps[k];
        if (c.wide.empty() || c.size != size)
            return -1;
        src[k] = PlaneRef(c.wide.data(), size.first * 4);
        out[k] = src[k];
        depths[k] = c.depth;
    }
    // In place: each plane to 16 unsigned bits, clamped to 0..65535.
    MapComponentsToPlanes(src, depths, uint32_t(used), size, out, 15, false, uint32_t(used), size);
    if (!dst->create(used == 1 ? vq_fmtGray16 : vq_fmtRGB48, size.first, size.second, false))
        return 0;
    uint8_t* px = nullptr;
    int32_t step = 0;
    dst->lockPixels(&px, &step);
    for (int y = 0; y < size.second; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(px + ptrdiff_t(y) * step);
        for (int x = 0; x < size.first; ++x)
            for (size_t k = 0; k < used; ++k)
                row[size_t(x) * used + k] = uint16_t(out[k].Row(y)[x]);
    }
    dst->unlockPixels();
    return 1;
}

} // namespace

vq_TIFFJ2KTileDecoder* createTIFFJ2KTileDecoder() {
    auto* d = new (std::nothrow) vq_TIFFJ2KTileDecoder;
    if (d)
        d->addRef();
    return d;
}

IntPair vq_TIFFJ2KTileDecoder::getTileDimensions(vq_stream* stream) {
    uint8_t b[40];
    if (!stream || stream->read(b, 6) != 6)
        return IntPair(0, 0);
    if (b[0] != 0xFF || b[1] != 0x4F || b[2] != 0xFF || b[3] != 0x51)
        return IntPair(0, 0);
    if (stream->read(b, 34) != 34)
        return IntPair(0, 0);
    const auto be32 = [&](int at) {
        return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
    };
    // Rsiz, then Xsiz, Ysiz, XOsiz, YOsiz.
    return IntPair(int(be32(2) - be32(10)), int(be32(6) - be32(14)));
}

IntPair vq_TIFFJ2KTileDecoder::cropSize(const IntPair& position, int level, IntPair size) const {
    if (level < 0 || size_t(level) >= tileCounts.size() || size_t(level) >= edgeSizes.size())
        return size;
    if (position.first == tileCounts[level].first - 1)
        size.first = edgeSizes[level].first;
    if (position.second == tileCounts[level].second - 1)
        size.second = edgeSizes[level].second;
    return size;
}

bool vq_TIFFJ2KTileDecoder::decodeTile(const IntPair& position, int level, const uint8_t* data, int32_t length,
                                       imageContainer* dst) {
    if (!CheckInput(data, length) || !dst)
        return false;
    const bool tiled = tileSize.first > 0 && tileSize.second > 0;
    if (!FitsTile(data, length, tileSize))
        return false;
    Planes8 p;
    p.keepWide = !tiled;
    if (!Decode(decoderKind, data, length, p) || p.comps.empty())
        return false;
    if (!tiled && p.comps[0].depth.bits == 15) {
        const int written = Write16(p, dst);
        if (written >= 0)
            return written == 1;
    }
    const IntPair full = tiled ? tileSize : p.imageSize;
    const IntPair crop = tiled ? cropSize(position, level, tileSize) : full;
    const size_t n = p.comps.size();
    const bool grey = n == 1 || n == 2;
    const bool rgb = (n == 3 || n == 4) && (Is444(p) || (n == 3 && Is422(p)));
    if (!grey && !rgb)
        return false;
    // The visible part must be covered by every component: a code-stream
    // smaller than the tile it claims to be would leave pixels unfilled.
    const Planes8::Component& c0 = p.comps[0];
    if (crop.first <= 0 || crop.second <= 0 || c0.size.first < crop.first || c0.size.second < crop.second)
        return false;
    if (rgb && Is422(p))
        for (size_t k = 1; k < 3; ++k)
            if (2 * int64_t(p.comps[k].size.first) < crop.first || p.comps[k].size.second < crop.second)
                return false;
    if (!dst->create(vq_fmtRGB24, full.first, full.second, false))
        return false;
    if (!dst->crop(crop.first, crop.second))
        std::fprintf(stderr, "Crop failed in tiff tile decoder\n");
    uint8_t* px = nullptr;
    int32_t step = 0;
    dst->lockPixels(&px, &step);
    const int w = std::min(dst->getWidth(), crop.first), h = std::min(dst->getHeight(), crop.second);
    std::vector<uint8_t> up1(size_t(w) + 2), up2(size_t(w) + 2);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = px + ptrdiff_t(y) * step;
        const uint8_t* s0 = c0.samples.data() + size_t(y) * c0.size.first;
        if (grey) {
            // One grey component (a second one is alpha and dropped) fills
            // all three channels.
            for (int x = 0; x < w; ++x)
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = s0[x];
            continue;
        }
        const uint8_t* s1 = p.comps[1].samples.data() + size_t(y) * p.comps[1].size.first;
        const uint8_t* s2 = p.comps[2].samples.data() + size_t(y) * p.comps[2].size.first;
        if (Is422(p)) {
            // Chroma at half width: up-sampled with the triangle filter, then
            // YCbCr to RGB.
            const int half = (w + 1) / 2;
            upsampleRowH2V1Triangle(s1, half, up1.data());
            upsampleRowH2V1Triangle(s2, half, up2.data());
            const uint8_t* src[3] = {s0, up1.data(), up2.data()};
            ycbcrPlanesToRgbPixels(src, w, row, 3 * w, PrimSize{w, 1});
        } else {
            // The code-stream's own component transform gave RGB; alpha of a
            // fourth component is dropped.
            for (int x = 0; x < w; ++x) {
                row[3 * x] = s0[x];
                row[3 * x + 1] = s1[x];
                row[3 * x + 2] = s2[x];
            }
        }
    }
    dst->unlockPixels();
    return true;
}

bool vq_TIFFJ2KTileDecoder::decodeTileYCbCr(const IntPair& position, int level, const uint8_t* data,
                                            int32_t length, imageContainer* y, imageContainer* cb,
                                            imageContainer* cr) {
    if (!CheckInput(data, length) || !y || !cb || !cr)
        return false;
    if (!FitsTile(data, length, tileSize))
        return false;
    Planes8 p;
    if (!Decode(decoderKind, data, length, p) || p.comps.size() < 3) {
        if (decoderKind == 2)
            std::fprintf(stderr, "Failed to decode J2000\r\n");
        return false;
    }
    IntPair crop = tileCounts.empty() ? IntPair(0, 0) : cropSize(position, level, tileSize);
    if (crop.first == 0 || crop.second == 0)
        crop = p.imageSize;
    IntPair chroma;
    CeilDivPair(chroma, crop, p.comps[1].sampling);
    imageContainer* out[3] = {y, cb, cr};
    const int32_t formats[3] = {vq_fmtPlaneY, vq_fmtPlaneCb, vq_fmtPlaneCr};
    for (int k = 0; k < 3; ++k) {
        const Planes8::Component& c = p.comps[k];
        const IntPair want = k == 0 ? crop : chroma;
        // Planes come at the decoded component sizes; a code-stream that does
        // not cover the visible part would show samples that were never
        // decoded, so it is refused.
        if (c.size.first < want.first || c.size.second < want.second || want.first <= 0 || want.second <= 0 ||
            !out[k]->create(formats[k], c.size.first, c.size.second, false))
            return false;
        out[k]->crop(want.first, want.second);
        WritePlane(out[k], c);
    }
    return true;
}
