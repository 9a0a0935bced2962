// JP2 tile source: see jp2_tile_source.h.
#include "readers/jp2/jp2_tile_source.h"

#include <algorithm>
#include <new>
#include <vector>

#include "engine/base/imageContainer.h"
#include "j2k/decoder/codestream.h"
#include "j2k/decoder/geometry.h"
#include "j2k/sample_convert.h"
#include "primitives/core/copy.h"
#include "primitives/core/depth.h"
#include "primitives/core/planar.h"

J2KTileSource::J2KTileSource() = default;

J2KTileSource::~J2KTileSource() {
    reader_.reset();
    input_.Detach();
}

bool J2KTileSource::open(vq_stream* stream) {
    if (!stream)
        return false;
    info_ = vq_ptr<vq_J2KFileInfo>::adopt(vq_J2KFileInfo::create());
    if (!info_)
        return false;
    try {
        input_.Attach(stream);
        reader_ = std::make_unique<DJP2FileReader>(&input_);
        return info_->readHeaderFrom(*reader_);
    } catch (...) {
        return false;
    }
}

bool J2KTileSource::buildIndex() {
    try {
        codestream().IndexTileParts();
        indexed_ = true;
    } catch (...) {
        indexed_ = false;
    }
    return indexed_;
}

J2KRect J2KTileSource::tileRect(uint32_t t, uint32_t reduction) {
    return ScaleRectUp(codestream().TileRect(t), reduction);
}

bool J2KTileSource::reductionsAllowed() const {
    const DJP2MainHeader& h = reader_->Codestream().MainHeader();
    const uint32_t order = h.cod.progression;
    if (h.poc.Size() != 0 || !(order == 1 || order == 2 || (order == 0 && h.cod.layers <= 1)))
        return false;
    for (uint32_t c = 1; c < h.componentCount; ++c)
        if (h.Style(c).levels != h.Style(0).levels)
            return false;
    return true;
}

std::unique_ptr<DJP2Tile> J2KTileSource::decodePackets(uint32_t t, std::unique_ptr<DJP2Tile> reuse,
                                                       uint32_t reduction) {
    DJP2Codestream<BoundedInputBE>& cs = codestream();
    if (t >= cs.TileCount() || !cs.ReducedDecodingAllowed(t, reduction))
        return nullptr;
    return cs.DecodeTileCopy(t, std::move(reuse), reduction);
}

int32_t J2KDeliveredFormat(int32_t requested, int32_t fileFormat) {
    return requested == vq_fmtRGB24 ? vq_fmtRGB24 : fileFormat;
}

bool J2KTileSource::reconstruct(DJP2Tile& copy, uint32_t t, uint32_t reduction, int32_t format,
                                imageContainer* out) {
    if (format != vq_fmtRGB24 && format != vq_fmtGray8)
        return false;
    const DJP2MainHeader& h = codestream().MainHeader();
    const J2KRect rect = tileRect(t, reduction);
    if (rect.Empty())
        return false;

    // The decoded image for this tile: component planes at the reduced tile
    // size over each component's sampling, with the JP2 header's extras.
    DJP2Image image;
    image.SetGeometry(rect, h.sampling.Data(), uint16_t(h.componentCount));
    for (uint32_t c = 0; c < h.componentCount; ++c)
        image.BitDepths()[c] = DJP2BitDepth(h.ssiz[c] & 0x7F, (h.ssiz[c] & 0x80) != 0);
    CopyResolutionToImage(header().resolution, image.captureResolution, image.displayResolution);
    CopyPaletteToImage(header(), image);

    // Each component is written from its own first sample; a code-stream
    // whose component rectangles do not fit the planes is refused.
    const uint32_t n = image.NComponents();
    std::vector<PlaneRef> planes(n);
    std::vector<IntPair> sizes(n);
    for (uint32_t c = 0; c < n; ++c) {
        const DJP2PlaneBuffer& p = image.Components()[c];
        const J2KRect& cr = copy.Planes(c).rect;
        if (int64_t(cr.width) > p.Size().first || int64_t(cr.height) > p.Size().second)
            return false;
        planes[c] = p.Ref();
        sizes[c] = IntPair(int32_t(cr.width), int32_t(cr.height));
    }
    DJP2Codestream<BoundedInputBE>::WriteTileCopy(planes.data(), copy, reduction);

    const int32_t w = int32_t(rect.width), hgt = int32_t(rect.height);
    if (!out->create(format, w, hgt, false))
        return false;
    const int32_t channels = format == vq_fmtRGB24 ? 3 : 1;
    // 8-bit channel planes, zero where a coarser component leaves no sample.
    std::vector<uint8_t> bytes(size_t(channels) * w * hgt, 0);
    std::vector<int32_t> wide;
    for (int32_t ch = 0; ch < channels; ++ch) {
        const uint32_t c = n >= 3 ? uint32_t(ch) : 0;
        if (c >= n)
            return false;
        uint8_t* dst = bytes.data() + size_t(ch) * w * hgt;
        if (ch > 0 && c == 0) {
            std::copy_n(bytes.data(), size_t(w) * hgt, dst);
            continue;
        }
        const IntPair size(std::min(sizes[c].first, w), std::min(sizes[c].second, hgt));
        if (size.first <= 0 || size.second <= 0)
            continue;
        wide.assign(size_t(size.first) * size.second, 0);
        const PlaneRef wideRef(wide.data(), size.first * 4);
        ConvertComponentTo8u(planes[c], image.BitDepths()[c], size, wideRef);
        convert32sTo8uC1(wide.data(), size.first * 4, dst, w, PrimSize{size.first, size.second});
    }
    uint8_t* px = nullptr;
    int32_t step = 0;
    out->lockPixels(&px, &step);
    if (channels == 1) {
        copyRoi8uC1(bytes.data(), w, px, step, PrimSize{w, hgt});
    } else {
        const uint8_t* const p3[3] = {bytes.data(), bytes.data() + size_t(w) * hgt, bytes.data() + 2 * size_t(w) * hgt};
        copyPlanesToPixels8uC3(p3, w, px, step, PrimSize{w, hgt});
    }
    out->unlockPixels();
    return true;
}
