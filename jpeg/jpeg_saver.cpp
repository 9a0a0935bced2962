#include "jpeg/jpeg_saver.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/base/imageContainer.h"
#include "engine/base/stream.h"
#include "primitives/core/copy.h"
#include "primitives/jpeg/sampling/sampling.h"
#include "primitives/resample/resize_gen.h"

namespace {

// Copies the top-left part of src that fits into dst.
bool copyPlane(imageContainer* src, imageContainer* dst) {
    int w = std::min(src->getWidth(), dst->getWidth());
    int h = std::min(src->getHeight(), dst->getHeight());
    ContainerPixels s(src), d(dst);
    if (s.data == nullptr || d.data == nullptr) return false;
    copyRoi8uC1(s.data, s.step, d.data, d.step, PrimSize{w, h});
    return true;
}

// Resamples the whole of src into dst by the two factors.
bool resizePlane(const ContainerPixels& s, imageContainer* src, const ContainerPixels& d, imageContainer* dst,
                 double fx, double fy, int interpolation) {
    PrimSize srcSize{src->getWidth(), src->getHeight()};
    const int dw = dst->getWidth(), dh = dst->getHeight();
    if (resizeByFactors8uC1(s.data, srcSize, s.step, PrimRect{0, 0, srcSize.width, srcSize.height}, d.data, d.step,
                            PrimSize{dw, dh}, fx, fy, interpolation) < 0)
        return false;
    // The resize covers floor(n x factor) samples; halving an odd size rounds
    // up, so the last column or row would stay empty: it repeats its neighbour.
    const int coveredW = std::max(1, std::min(dw, static_cast<int>(srcSize.width * fx))),
              coveredH = std::max(1, std::min(dh, static_cast<int>(srcSize.height * fy)));
    for (int y = 0; y < coveredH; ++y)
        for (int x = coveredW; x < dw; ++x) d.data[y * d.step + x] = d.data[y * d.step + coveredW - 1];
    for (int y = coveredH; y < dh; ++y)
        std::memcpy(d.data + y * d.step, d.data + (coveredH - 1) * d.step, static_cast<size_t>(dw));
    return true;
}

} // namespace

bool createJPEGSaver(vq_stream* stream, vq_saver_base** out) {
    if (stream == nullptr || out == nullptr) return false;
    vq_JPEGSaver* saver = new (std::nothrow) vq_JPEGSaver(stream);
    if (saver == nullptr) return false;
    saver->addRef();
    *out = saver;
    return true;
}

vq_JPEGSaver::vq_JPEGSaver(vq_stream* stream) : stream_(stream) {}
vq_JPEGSaver::~vq_JPEGSaver() = default;

bool vq_JPEGSaver::save(imageContainer* src, int quality, int subsampling) {
    if (src == nullptr || stream_ == nullptr || !src->isAllocated()) return false;
    JpegCompressor c;
    if (!createJpegCompress(c)) return false;
    stream_->seek(0, vq_seekStart);
    const int format = src->getFormat();
    const int channels = src->getChannels();
    const int width = src->getWidth();
    const int height = src->getHeight();
    const int colourSpace = colourSpace_;
    vq_stream* stream = stream_.get();
    ContainerPixels lock(src);
    bool rowsOk = true;
    bool ok = c.guarded([&] {
        c.info.in_color_space = jpegColorSpaceForFormat(format);
        c.info.input_components = channels;
        jpeg_set_defaults(&c.info);
        setJpegColorSpace(&c.info, colourSpace);
        jpegStreamDestination(&c.info, stream);
        c.info.image_width = static_cast<JDIMENSION>(width);
        c.info.image_height = static_cast<JDIMENSION>(height);
        jpeg_set_quality(&c.info, quality, TRUE);
        setJpegSubsampling(&c.info, subsampling);
        startJpegCompress(&c.info, true);
        rowsOk = writeJpegRows(&c.info, lock.data, lock.step);
        if (rowsOk) jpeg_finish_compress(&c.info);
    });
    return ok && rowsOk;
}

bool vq_JPEGSaver::saveYCbCr(imageContainer* y, imageContainer* cb, imageContainer* cr,
                             int planeSubsampling, int quality, int subsampling) {
    if (stream_ == nullptr || y == nullptr || !y->isAllocated() || planeSubsampling == 5 ||
        subsampling == 5)
        return false;
    if (cb == nullptr || cr == nullptr) return false;
    const int coded = coarserSubsampling(planeSubsampling, subsampling);
    vq_ptr<imageContainer> newCb, newCr;
    if (coded != planeSubsampling) {
        newCr = vq_ptr<imageContainer>::adopt(imageContainer::create());
        newCb = vq_ptr<imageContainer>::adopt(imageContainer::create());
        if (newCr == nullptr || newCb == nullptr) return false;
        if (!downsampleChromaPlane(planeSubsampling, coded, cr, newCr.get())) return false;
        if (!downsampleChromaPlane(planeSubsampling, coded, cb, newCb.get())) return false;
        cb = newCb.get();
        cr = newCr.get();
    }
    JpegCompressor c;
    if (!createJpegCompress(c)) return false;
    stream_->seek(0, vq_seekStart);
    vq_stream* stream = stream_.get();
    const int width = y->getWidth();
    const int height = y->getHeight();
    bool ok = c.guarded([&] {
        c.info.in_color_space = JCS_YCbCr;
        c.info.input_components = 3;
        jpeg_set_defaults(&c.info);
        jpegStreamDestination(&c.info, stream);
        c.info.image_width = static_cast<JDIMENSION>(width);
        c.info.image_height = static_cast<JDIMENSION>(height);
        jpeg_set_quality(&c.info, quality, TRUE);
        setJpegSubsampling(&c.info, coded);
        // The planes are handed to the library as they are.
        c.info.raw_data_in = TRUE;
        startJpegCompress(&c.info, true);
    });
    if (!ok || !compressYCbCrPlanes(c, y, cb, cr)) return false;
    return finishJpegCompress(c);
}

bool writeJpegRows(j_compress_ptr info, const uint8_t* data, int32_t step) {
    while (info->next_scanline < info->image_height) {
        JSAMPROW row = const_cast<uint8_t*>(data) + static_cast<ptrdiff_t>(info->next_scanline) * step;
        if (jpeg_write_scanlines(info, &row, 1) != 1) return false;
    }
    return true;
}

bool compressYCbCrPlanes(JpegCompressor& compressor, imageContainer* y, imageContainer* cb,
                         imageContainer* cr) {
    if (!compressor.created || y == nullptr || cb == nullptr || cr == nullptr) return false;
    jpeg_compress_struct& info = compressor.info;
    if (info.num_components != 3) return false;
    const int passRows = DCTSIZE * info.max_v_samp_factor;
    JpegPlaneBuffer buffers[3];
    for (int c = 0; c < 3; ++c)
        if (!buffers[c].setup(&info.comp_info[c], info.max_v_samp_factor, passRows, 7 + c)) return false;
    // The pixels beyond a cropped edge tile's visible area fill the partial
    // blocks at its right and bottom edges (read through the full size: the
    // planes may be read by other threads at the same time, so they are not
    // uncropped here).
    int chromaRow = 0;
    bool ok = true;
    for (int row = 0; ok && row < static_cast<int>(info.image_height); row += passRows) {
        buffers[0].fillFromPlane(y, row, passRows);
        int filled = buffers[1].fillFromPlane(cb, chromaRow, passRows);
        buffers[2].fillFromPlane(cr, chromaRow, passRows);
        chromaRow += filled;
        JSAMPARRAY arrays[3] = {buffers[0].rowArray(), buffers[1].rowArray(), buffers[2].rowArray()};
        ok = compressor.guarded(
            [&] { jpeg_write_raw_data(&info, arrays, static_cast<JDIMENSION>(passRows)); });
    }
    return ok;
}

int coarserSubsampling(int a, int b) {
    if (a != b) {
        if (a == 2 && (b == 1 || b == 3)) return a;
        if (a == 3 && (b == 1 || b == 2)) return a;
        if (a == 4) return a;
    }
    return b;
}

bool downsampleChromaPlane(int from, int to, imageContainer* src, imageContainer* dst) {
    if (src == nullptr || dst == nullptr) return false;
    if (from == to) return copyPlane(src, dst);
    bool halveWidth = false, halveHeight = false;
    if (from == 1 && to == 2) halveWidth = true;
    else if (from == 1 && to == 3) halveHeight = true;
    else if (from == 1 && to == 4) halveWidth = halveHeight = true;
    else if (from == 2 && to == 4) halveHeight = true;
    else if (from == 3 && to == 4) halveWidth = true;
    else return false;
    const int w = src->getWidth(), h = src->getHeight();
    const int dw = halveWidth ? (w + 1) / 2 : w;
    const int dh = halveHeight ? (h + 1) / 2 : h;
    if (!dst->create(src->getFormat(), dw, dh, false)) return false;
    ContainerPixels s(src), d(dst);
    if (halveWidth && halveHeight)
        downsampleH2V2Box(s.data, s.step, PrimSize{w, h}, d.data, d.step, PrimSize{dw, dh});
    else if (halveWidth)
        downsampleH2V1Box(s.data, s.step, PrimSize{w, h}, d.data, d.step, PrimSize{dw, dh});
    else if (h == 1)
        copyRoi8uC1(s.data, s.step, d.data, d.step, PrimSize{dw, dh});
    else
        return resizePlane(s, src, d, dst, 1.0, 0.5, 2);
    return true;
}

bool convertChromaPlane(int from, int to, imageContainer* src, imageContainer* dst) {
    if (src == nullptr || dst == nullptr || from == to) return false;
    const int w = src->getWidth(), h = src->getHeight();
    const int hw = (w + 1) / 2, hh = (h + 1) / 2;
    double fx = 1.0, fy = 1.0;
    int dw = w, dh = h;
    bool plainCopy = false;
    switch (from * 10 + to) {
    case 12: fx = 0.5; dw = hw; plainCopy = w == 1; break;
    case 13: fy = 0.5; dh = hh; plainCopy = h == 1; break;
    case 14:
        fx = w == 1 ? 1.0 : 0.5;
        fy = h == 1 ? 1.0 : 0.5;
        dw = hw;
        dh = hh;
        plainCopy = w == 1 && h == 1;
        break;
    case 21: fx = 2.0; dw = 2 * w; break;
    case 23: fx = 2.0; fy = h == 1 ? 1.0 : 0.5; dw = 2 * w; dh = hh; break;
    case 24: fy = 0.5; dh = hh; plainCopy = h == 1; break;
    case 31: fy = 2.0; dh = 2 * h; break;
    case 32: fx = w == 1 ? 1.0 : 0.5; fy = 2.0; dw = hw; dh = 2 * h; break;
    case 34: fx = 0.5; dw = hw; plainCopy = w == 1; break;
    case 41: fx = 2.0; fy = 2.0; dw = 2 * w; dh = 2 * h; break;
    case 42: fy = 2.0; dh = 2 * h; break;
    case 43: fx = 2.0; dw = 2 * w; break;
    default: break;
    }
    if (!dst->create(src->getFormat(), dw, dh, false)) return false;
    if (plainCopy) return copyPlane(src, dst);
    ContainerPixels s(src), d(dst);
    if (fx == 0.5 && fy == 0.5)
        downsampleH2V2Box(s.data, s.step, PrimSize{w, h}, d.data, d.step, PrimSize{dw, dh});
    else if (fx == 0.5 && fy == 1.0)
        downsampleH2V1Box(s.data, s.step, PrimSize{w, h}, d.data, d.step, PrimSize{dw, dh});
    else
        return resizePlane(s, src, d, dst, fx, fy, 4);
    return true;
}
