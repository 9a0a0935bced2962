#include "jpeg/jpeg_reader.h"

#include <algorithm>

#include "engine/base/imageContainer.h"
#include "engine/base/stream.h"
#include "engine/base/reader_messages.h"
#include "primitives/jpeg/color/color.h"

extern "C" {
#include <jerror.h>
}

namespace {

// One decoded row of four inks to RGB. YCCK rows are first turned into CMYK.
// Files with the Adobe marker (every CMYK or YCCK file the JPEG library
// writes, and Adobe's own) store the inks inverted, 255 meaning no ink; the
// others store ink amounts. Each channel is the ink's remaining light times
// the black's, rounded. `planes` is room for four planes of the row.
void inkRowToRgb(uint8_t* ink, int width, bool ycck, bool inverted, uint8_t* planes, uint8_t* rgb) {
    if (ycck) {
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c) planes[static_cast<size_t>(c) * width + x] = ink[4 * x + c];
        const uint8_t* src[4] = {planes, planes + width, planes + 2 * width, planes + 3 * width};
        ycckPlanesToCmykPixels(src, width, ink, 4 * width, PrimSize{width, 1});
    }
    for (int x = 0; x < width; ++x) {
        const uint8_t* p = ink + 4 * x;
        const int k = inverted ? p[3] : 255 - p[3];
        for (int c = 0; c < 3; ++c) {
            const int light = inverted ? p[c] : 255 - p[c];
            rgb[3 * x + c] = static_cast<uint8_t>((light * k + 127) / 255);
        }
    }
}

int subsamplingFromFactors(int maxH, int maxV) {
    if (maxV == 1 && maxH == 1) return 1;
    if (maxV == 1 && maxH == 2) return 2;
    if (maxV == 2 && maxH == 1) return 3;
    if (maxV == 2 && maxH == 2) return 4;
    return 5;
}

// Reads R rows of raw data into the plane buffers of one batch.
bool readRawBatch(JpegDecompressor& d, JpegPlaneBuffer* planes, int rows) {
    JSAMPARRAY arrays[3] = {planes[0].rowArray(), planes[1].rowArray(), planes[2].rowArray()};
    JDIMENSION got = 0;
    const int row = static_cast<int>(d.info.output_scanline);
    bool ok = d.guarded([&] { got = jpeg_read_raw_data(&d.info, arrays, static_cast<JDIMENSION>(rows)); });
    if (ok && static_cast<int>(got) == rows && !d.damaged()) return true;
    reportJpegFailure(d, ok ? row : -1);
    return false;
}

// Header, raw-data output without colour conversion or up-sampling, and the
// start of decompression; the batch height R is returned.
bool startPlaneDecode(JpegDecompressor& d, vq_stream* stream, int* batchRows) {
    const bool ok = d.guarded([&] {
        jpegStreamSource(&d.info, stream);
        if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) ERREXIT(&d.info, JERR_CANT_SUSPEND);
        checkJpegFrame(&d.info, jpegStreamLength(stream));
        d.info.out_color_space = JCS_YCbCr;
        d.info.do_fancy_upsampling = FALSE;
        d.info.raw_data_out = TRUE;
        jpeg_calc_output_dimensions(&d.info);
        jpeg_start_decompress(&d.info);
        *batchRows = d.info.max_v_samp_factor * d.info.min_DCT_scaled_size;
    });
    // A progressive stream is read whole while decoding starts.
    if (ok && !d.damaged()) return true;
    reportJpegFailure(d, ok ? 0 : -1);
    return false;
}

bool setupPlaneBuffers(JpegDecompressor& d, JpegPlaneBuffer* planes, int batchRows) {
    // The library writes every component's rows: only one or three fit.
    if (d.info.num_components != 1 && d.info.num_components != 3) return false;
    bool ok = planes[0].setup(&d.info.comp_info[0], d.info.max_v_samp_factor, batchRows, 7);
    if (d.info.num_components < 3) {
        planes[1].setup(nullptr, d.info.max_v_samp_factor, batchRows, 8);
        planes[2].setup(nullptr, d.info.max_v_samp_factor, batchRows, 9);
        return ok;
    }
    ok = planes[1].setup(&d.info.comp_info[1], d.info.max_v_samp_factor, batchRows, 8) && ok;
    ok = planes[2].setup(&d.info.comp_info[2], d.info.max_v_samp_factor, batchRows, 9) && ok;
    return ok;
}

} // namespace

// ---------------------------------------------------------------------------
// File info

bool vq_JPEGFileInfo::probe(JpegDecompressor& d) { return probeStatus(d) == 1; }

int vq_JPEGFileInfo::probeStatus(JpegDecompressor& d) {
    int header = 0;
    if (!d.guarded([&] { header = jpeg_read_header(&d.info, FALSE); })) return -1;
    if (header != JPEG_HEADER_OK) return 0;
    valid = true;
    quality = estimateJpegQuality(&d.info);
    const jpeg_decompress_struct& i = d.info;
    if (i.density_unit == 1)
        resolution = IntPair(i.X_density, i.Y_density);
    else if (i.density_unit == 2)
        resolution = IntPair(static_cast<int>(i.X_density * 2.54 + 0.5),
                             static_cast<int>(i.Y_density * 2.54 + 0.5));
    switch (i.jpeg_color_space) {
    case JCS_GRAYSCALE: pixelFormat = 6; pixelFormats = {6}; break;
    case JCS_RGB: pixelFormat = 4; pixelFormats = {4}; break;
    case JCS_YCbCr: pixelFormat = 3; pixelFormats = {3, 4}; break;
    default: pixelFormat = -1; pixelFormats.clear(); break;
    }
    imageSize = IntPair(static_cast<int>(i.image_width), static_cast<int>(i.image_height));
    levelSizes = {imageSize};
    componentSizes.clear();
    for (int c = 0; c < i.num_components; ++c)
        componentSizes.emplace_back(d.componentWidth(c), d.componentHeight(c));
    subsampling = subsamplingFromFactors(i.max_h_samp_factor, i.max_v_samp_factor);
    return 1;
}

void vq_JPEGFileInfo::printReport(FILE* out) {
    if (!valid || out == nullptr) return;
    if (quality != 0) std::fprintf(out, "Estimated quality %d\n", quality);
    if (pixelFormat == 3) std::fputs("YCbCr JPEG\n", out);
    if (pixelFormat == 4) std::fputs("RGB JPEG\n", out);
    if (pixelFormat == 6) std::fputs("Grayscale JPEG\n", out);
    switch (subsampling) {
    case 1: std::fputs("4:4:4 - no downsampling\n", out); break;
    case 2: std::fputs("4:2:2 - 2:1 horizontal downsampling\n", out); break;
    case 3: std::fputs("Rotated 4:2:2 - 2:1 vertical downsampling\n", out); break;
    case 4: std::fputs("4:2:0 - 2:1 horizontal and vertical downsampling\n", out); break;
    default: break;
    }
}

// ---------------------------------------------------------------------------
// Loader

bool createJPEGLoader(vq_stream* stream, vq_loader_base** out) {
    if (stream == nullptr || out == nullptr) return false;
    vq_JPEGLoader* loader = new (std::nothrow) vq_JPEGLoader(stream);
    if (loader == nullptr) return false;
    loader->addRef();
    *out = loader;
    return true;
}

vq_JPEGLoader::vq_JPEGLoader(vq_stream* stream) : stream_(stream) {}
vq_JPEGLoader::~vq_JPEGLoader() = default;

bool vq_JPEGLoader::getFileInfo(vq_FileInfo** out) {
    if (out == nullptr || stream_ == nullptr) return false;
    *out = nullptr;
    StreamRewindGuard rewind(stream_.get());
    JpegDecompressor d;
    if (!d.guarded([&] { jpegStreamSource(&d.info, stream_.get()); })) return false;
    vq_ptr<vq_JPEGFileInfo> info(new (std::nothrow) vq_JPEGFileInfo);
    if (info == nullptr) return false;
    // A library error means the stream is not JPEG at all: no file info. A
    // header without an image still yields one, marked invalid.
    const int status = info->probeStatus(d);
    if (status < 0) return false;
    *out = info.get();
    (*out)->addRef();
    return status == 1;
}

bool vq_JPEGLoader::getTileLoader(vq_tileloader_base** out) {
    if (out != nullptr) *out = nullptr;
    return false;
}

bool vq_JPEGLoader::getStripLoader(vq_stripLoader_base** out) {
    if (out == nullptr || stream_ == nullptr) return false;
    *out = nullptr;
    vq_ptr<vq_JPEGStripLoader> strips(new (std::nothrow) vq_JPEGStripLoader(stream_.get()));
    if (strips == nullptr) return false;
    {
        StreamRewindGuard rewind(stream_.get());
        JpegDecompressor d;
        if (d.guarded([&] { jpegStreamSource(&d.info, stream_.get()); })) strips->fileInfo.probe(d);
    }
    *out = strips.get();
    (*out)->addRef();
    return true;
}

bool vq_JPEGLoader::loadImage(imageContainer* dst, int format) {
    if (dst == nullptr || stream_ == nullptr) return false;
    stream_->seek(0, vq_seekStart);
    JpegDecompressor d;
    if (!d.guarded([&] { jpegStreamSource(&d.info, stream_.get()); })) return false;
    vq_JPEGFileInfo info;
    if (!info.probe(d) || info.pixelFormats.count(format) == 0) return false;
    vq_stream* stream = stream_.get();
    if (!d.guarded([&] { checkJpegFrame(&d.info, jpegStreamLength(stream)); })) {
        reportJpegFailure(d, -1);
        return false;
    }
    // Success means every row was decoded; a failed decode is not used.
    if (!dst->createUncleared(format, info.imageSize.first, info.imageSize.second, false)) return false;
    ContainerPixels lock(dst);
    bool rowsOk = true;
    bool ok = d.guarded([&] {
        d.info.out_color_space = jpegColorSpaceForFormat(format);
        jpeg_start_decompress(&d.info);
        if (static_cast<int>(d.info.output_components) != dst->getChannels()) {
            rowsOk = false;
            return;
        }
        // Decoding stops at the first damage: the rest would be guessed.
        while (d.info.output_scanline < d.info.output_height && !d.damaged()) {
            JSAMPROW row = lock.data + static_cast<ptrdiff_t>(d.info.output_scanline) * lock.step;
            if (jpeg_read_scanlines(&d.info, &row, 1) != 1) {
                rowsOk = false;
                return;
            }
        }
        if (d.damaged()) {
            rowsOk = false;
            return;
        }
        jpeg_finish_decompress(&d.info);
    });
    // The row just decoded is the first one damage reached.
    if (!ok || (!rowsOk && d.damaged()))
        reportJpegFailure(d, ok ? std::max(0, static_cast<int>(d.info.output_scanline) - 1) : -1);
    return ok && rowsOk;
}

bool vq_JPEGLoader::canLoadYCbCr() {
    if (stream_ == nullptr) return false;
    StreamRewindGuard rewind(stream_.get());
    JpegDecompressor d;
    if (!d.guarded([&] { jpegStreamSource(&d.info, stream_.get()); })) return false;
    vq_JPEGFileInfo info;
    return info.probe(d) && info.pixelFormat == 3;
}

bool vq_JPEGLoader::loadImageYCbCr(imageContainer* y, imageContainer* cb, imageContainer* cr) {
    if (stream_ == nullptr || y == nullptr || cb == nullptr || cr == nullptr) return false;
    stream_->seek(0, vq_seekStart);
    JpegDecompressor d;
    int batchRows = 0;
    if (!startPlaneDecode(d, stream_.get(), &batchRows)) return false;
    if (d.info.num_components != 3 || d.info.jpeg_color_space != JCS_YCbCr) return false;
    JpegPlaneBuffer planes[3];
    if (!setupPlaneBuffers(d, planes, batchRows)) return false;
    const int height = static_cast<int>(d.info.image_height);
    imageContainer* out[3] = {y, cb, cr};
    // The batches below fill every row and column of the three planes.
    for (int c = 0; c < 3; ++c) {
        int rows = c == 0 ? height : planes[c].chromaRows(height);
        if (!out[c]->createUncleared(7 + c, d.componentWidth(c), rows, false)) return false;
    }
    ContainerPixels ly(y), lcb(cb), lcr(cr);
    ContainerPixels* locks[3] = {&ly, &lcb, &lcr};
    int done = 0;
    int chromaDone[3] = {0, 0, 0};
    while (done < height) {
        if (!readRawBatch(d, planes, batchRows)) return false;
        int wanted = height - done;
        int got = planes[0].copyToPlane(ly.data + static_cast<ptrdiff_t>(done) * ly.step, ly.step, wanted, wanted);
        if (got == 0) break;
        if (done + batchRows >= height)
            for (auto& p : planes) p.setLastBatch(true);
        for (int c = 1; c < 3; ++c)
            chromaDone[c] += planes[c].copyToPlane(
                locks[c]->data + static_cast<ptrdiff_t>(chromaDone[c]) * locks[c]->step, locks[c]->step, got,
                out[c]->getFullSize().second - chromaDone[c]);
        done += got;
        for (auto& p : planes) p.rewind();
    }
    return true;
}

// ---------------------------------------------------------------------------
// Strip reader

vq_JPEGStripLoader::vq_JPEGStripLoader(vq_stream* stream) : stream_(stream) {}
vq_JPEGStripLoader::~vq_JPEGStripLoader() = default;

IntPair vq_JPEGStripLoader::getImageSize() {
    if (stream_ == nullptr || !fileInfo.isValid()) return IntPair(0, 0);
    if (!sizeKnown_) {
        size_ = fileInfo.getImageSize();
        sizeKnown_ = true;
    }
    return size_;
}

int vq_JPEGStripLoader::getMinTileSize() { return sizeKnown_ ? 1 : 0; }

int vq_JPEGStripLoader::getMaxStripHeight() { return size_.second; }

bool vq_JPEGStripLoader::prepareStrips(int stripHeight, int format) {
    if (stream_ == nullptr) {
        reportReaderMessage("JPEGStripLoader stream is not open\n");
        return false;
    }
    // A header that was read but gave no pixel format holds CMYK or YCCK
    // colour, which the library cannot turn into grey or YCbCr; RGB comes
    // from the inks here.
    fourInks_ = fileInfo.isValid() && fileInfo.getPixelFormat() == -1;
    if (fourInks_ && format != 4) {
        reportReaderMessage("CMYK and YCCK JPEG files convert to RGB only\n");
        return false;
    }
    format_ = format;
    if (stripHeight <= 0) return false;
    rowsPerStrip_ = std::min(stripHeight, size_.second);
    rowsDelivered_ = 0;
    stream_->seek(0, vq_seekStart);
    // Every pass starts on a fresh object: an earlier pass may have failed.
    if (!decompressor_.recreate()) return false;
    const bool ok = decompressor_.guarded([&] {
        jpegStreamSource(&decompressor_.info, stream_.get());
        if (jpeg_read_header(&decompressor_.info, TRUE) != JPEG_HEADER_OK)
            ERREXIT(&decompressor_.info, JERR_CANT_SUSPEND);
        checkJpegFrame(&decompressor_.info, jpegStreamLength(stream_.get()));
        decompressor_.info.out_color_space = jpegColorSpaceForFormat(format);
        if (fourInks_) {
            const J_COLOR_SPACE space = decompressor_.info.jpeg_color_space;
            if (space != JCS_CMYK && space != JCS_YCCK) ERREXIT(&decompressor_.info, JERR_CONVERSION_NOTIMPL);
            decompressor_.info.out_color_space = space;  // inks as stored; YCCK is converted here
        }
        jpeg_start_decompress(&decompressor_.info);
    });
    if (ok && !decompressor_.damaged()) return true;
    reportJpegFailure(decompressor_, ok ? 0 : -1);
    return false;
}

bool vq_JPEGStripLoader::readNextStrip(int* rowsDone, imageContainer* dst) {
    if (dst == nullptr || rowsPerStrip_ <= 0) return false;
    int count = std::min(rowsPerStrip_, size_.second - rowsDelivered_);
    if (count <= 0) return false;
    // A strip is delivered only when all its rows were decoded.
    if (!dst->createUncleared(format_, size_.first, count, false)) return false;
    const int channels = fourInks_ ? 4 : dst->getChannels();
    if (static_cast<int>(decompressor_.info.output_components) != channels) return false;
    const size_t inkBytes = static_cast<size_t>(size_.first) * 4;
    if (fourInks_) inkRow_.resize(2 * inkBytes);
    const bool ycck = decompressor_.info.jpeg_color_space == JCS_YCCK;
    const bool inverted = decompressor_.info.saw_Adobe_marker != 0;
    ContainerPixels lock(dst);
    int read = 0;
    bool ok = decompressor_.guarded([&] {
        while (read < count && !decompressor_.damaged()) {
            JSAMPROW out = lock.data + static_cast<ptrdiff_t>(read) * lock.step;
            JSAMPROW row = fourInks_ ? inkRow_.data() : out;
            if (jpeg_read_scanlines(&decompressor_.info, &row, 1) != 1) return;
            if (fourInks_) inkRowToRgb(inkRow_.data(), size_.first, ycck, inverted, inkRow_.data() + inkBytes, out);
            ++read;
        }
    });
    // Rows decoded from damaged data are not delivered.
    if (decompressor_.damaged() && read > 0) --read;
    if (!ok || decompressor_.damaged()) reportJpegFailure(decompressor_, ok ? rowsDelivered_ + read : -1);
    rowsDelivered_ += read;
    if (!ok || read != count) return false;
    if (rowsDone) *rowsDone = rowsDelivered_;
    return true;
}

bool vq_JPEGStripLoader::supportsYCbCr() { return fileInfo.isValid() && fileInfo.getPixelFormat() == 3; }

bool vq_JPEGStripLoader::readBatch(bool last) {
    planes_[0].setLastBatch(last);
    planes_[0].rewind();
    if (decompressor_.info.num_components > 2) {
        for (int c = 1; c < 3; ++c) {
            planes_[c].setLastBatch(last);
            planes_[c].rewind();
        }
    }
    return readRawBatch(decompressor_, planes_, batchRows_);
}

bool vq_JPEGStripLoader::prepareStripsYCbCr(int stripHeight) {
    if (stream_ == nullptr) {
        reportReaderMessage("JPEGStripLoader stream is not open\n");
        return false;
    }
    if (stripHeight <= 0) return false;
    rowsPerStrip_ = std::min(stripHeight, size_.second);
    rowsDelivered_ = 0;
    stream_->seek(0, vq_seekStart);
    format_ = 3;
    if (!decompressor_.recreate() || !startPlaneDecode(decompressor_, stream_.get(), &batchRows_)) return false;
    if (!setupPlaneBuffers(decompressor_, planes_, batchRows_)) return false;
    return readBatch(batchRows_ >= size_.second);
}

bool vq_JPEGStripLoader::readNextStripYCbCr(int* rowsDone, imageContainer* y, imageContainer* cb,
                                            imageContainer* cr) {
    if (y == nullptr || rowsPerStrip_ <= 0 || format_ != 3) return false;
    int count = std::min(rowsPerStrip_, size_.second - rowsDelivered_);
    if (count <= 0) return false;
    // Strips that start and end on decoding batches get every row of each
    // plane from the batches. A strip height that splits batches can leave a
    // chroma row that two strips share unwritten: such strips keep the fill.
    const bool whole = batchRows_ > 0 && rowsPerStrip_ % batchRows_ == 0;
    auto make = [whole](imageContainer* plane, int format, int width, int rows) {
        return whole ? plane->createUncleared(format, width, rows, false) : plane->create(format, width, rows, false);
    };
    if (!make(y, 7, decompressor_.componentWidth(0), count)) return false;
    imageContainer* chroma[3] = {nullptr, cb, cr};
    for (int c = 1; c < 3; ++c) {
        if (chroma[c] == nullptr || !planes_[c].isConfigured()) {
            chroma[c] = nullptr;
            continue;
        }
        if (!make(chroma[c], 7 + c, decompressor_.componentWidth(c), planes_[c].chromaRows(count))) return false;
    }
    ContainerPixels ly(y), lcb(chroma[1]), lcr(chroma[2]);
    ContainerPixels* locks[3] = {&ly, &lcb, &lcr};
    int copied = 0;
    int chromaCopied[3] = {0, 0, 0};
    while (copied < count) {
        if (planes_[0].isExhausted()) {
            if (!readBatch(rowsDelivered_ + batchRows_ >= size_.second)) return false;
        }
        int got = planes_[0].copyToPlane(ly.data + static_cast<ptrdiff_t>(copied) * ly.step, ly.step,
                                         count - copied, count - copied);
        if (got == 0) break;
        copied += got;
        rowsDelivered_ += got;
        for (int c = 1; c < 3; ++c) {
            if (chroma[c] == nullptr) continue;
            chromaCopied[c] += planes_[c].copyToPlane(
                locks[c]->data + static_cast<ptrdiff_t>(chromaCopied[c]) * locks[c]->step, locks[c]->step, got,
                chroma[c]->getFullSize().second - chromaCopied[c]);
        }
    }
    if (rowsDone) *rowsDone = rowsDelivered_;
    return true;
}
