#include "jpeg/jpeg_bridge.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "engine/base/reader_messages.h"

extern "C" {
#include <jerror.h>
}

namespace {

constexpr size_t kStreamBufferSize = 4096;

// The standard luminance quantisation table, natural order.
constexpr int kStdLuminance[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};

struct StreamSource {
    jpeg_source_mgr pub;
    vq_stream* stream;
    JOCTET* buffer;
    bool startOfFile;
};

struct StreamDestination {
    jpeg_destination_mgr pub;
    vq_stream* stream;
    JOCTET* buffer;
};

void sourceInit(j_decompress_ptr cinfo) {
    reinterpret_cast<StreamSource*>(cinfo->src)->startOfFile = true;
}

// Reads a fresh buffer; at the end of the data an end-of-image marker stands
// in for the missing bytes, so a truncated file decodes to its end.
void plainRefill(j_decompress_ptr cinfo) {
    StreamSource* src = reinterpret_cast<StreamSource*>(cinfo->src);
    int32_t n = readStream(src->buffer, kStreamBufferSize, src->stream);
    if (n <= 0) {
        if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        n = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = static_cast<size_t>(n);
    src->startOfFile = false;
}

// The library calls this when it has used up the buffer; its decoders keep
// their own copy of the read position meanwhile, so the buffer's remaining
// count is stale here and nothing of the old buffer may be kept.
boolean sourceFill(j_decompress_ptr cinfo) {
    plainRefill(cinfo);
    return TRUE;
}

void sourceSkip(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    StreamSource* src = reinterpret_cast<StreamSource*>(cinfo->src);
    size_t n = static_cast<size_t>(count);
    while (n > src->pub.bytes_in_buffer) {
        n -= src->pub.bytes_in_buffer;
        plainRefill(cinfo);
    }
    src->pub.next_input_byte += n;
    src->pub.bytes_in_buffer -= n;
}

void sourceTerm(j_decompress_ptr) {}

void destinationInit(j_compress_ptr cinfo) {
    StreamDestination* dst = reinterpret_cast<StreamDestination*>(cinfo->dest);
    dst->buffer = static_cast<JOCTET*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                   kStreamBufferSize));
    dst->pub.next_output_byte = dst->buffer;
    dst->pub.free_in_buffer = kStreamBufferSize;
}

// Called when the buffer is full.
boolean destinationEmpty(j_compress_ptr cinfo) {
    StreamDestination* dst = reinterpret_cast<StreamDestination*>(cinfo->dest);
    if (writeStream(dst->buffer, kStreamBufferSize, dst->stream) !=
        static_cast<int32_t>(kStreamBufferSize))
        ERREXIT(cinfo, JERR_FILE_WRITE);
    dst->pub.next_output_byte = dst->buffer;
    dst->pub.free_in_buffer = kStreamBufferSize;
    return TRUE;
}

void destinationTerm(j_compress_ptr cinfo) {
    StreamDestination* dst = reinterpret_cast<StreamDestination*>(cinfo->dest);
    size_t used = kStreamBufferSize - dst->pub.free_in_buffer;
    if (used > 0 &&
        writeStream(dst->buffer, static_cast<uint32_t>(used), dst->stream) !=
            static_cast<int32_t>(used))
        ERREXIT(cinfo, JERR_FILE_WRITE);
    flushStream(dst->stream);
}

} // namespace

namespace {

bool isDamageWarning(int code) {
    switch (code) {
    case JWRN_HIT_MARKER:
    case JWRN_JPEG_EOF:
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_HUFF_BAD_CODE: return true;
    default: return false;
    }
}

} // namespace

extern "C" void jpegEmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return; // trace messages
    JpegErrorManager* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    ++err->pub.num_warnings;
    if (!isDamageWarning(err->pub.msg_code)) return;
    if (err->damage++ == 0 && !err->refused) (*err->pub.format_message)(cinfo, err->message);
}

void refuseJpeg(j_common_ptr cinfo, const char* format, ...) {
    JpegErrorManager* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    va_list args;
    va_start(args, format);
    std::vsnprintf(err->message, sizeof(err->message), format, args);
    va_end(args);
    err->refused = true;
    cinfo->err->msg_code = JERR_BAD_LENGTH;
    (*cinfo->err->error_exit)(cinfo);
    std::abort(); // error_exit does not return
}

void checkJpegFrame(j_decompress_ptr cinfo, uint64_t dataBytes, IntPair maxSize) {
    if (maxSize.first > 0 && maxSize.second > 0 &&
        (cinfo->image_width > static_cast<JDIMENSION>(maxSize.first) ||
         cinfo->image_height > static_cast<JDIMENSION>(maxSize.second)))
        refuseJpeg(reinterpret_cast<j_common_ptr>(cinfo), "JPEG frame of %u x %u is larger than its tile of %d x %d",
                   cinfo->image_width, cinfo->image_height, maxSize.first, maxSize.second);
    if (cinfo->arith_code) return; // arithmetic coding can take less than a bit per block
    uint64_t blocks = 0;
    for (int c = 0; c < cinfo->num_components; ++c)
        blocks += uint64_t(cinfo->comp_info[c].width_in_blocks) * cinfo->comp_info[c].height_in_blocks;
    if (blocks / 8 > dataBytes)
        refuseJpeg(reinterpret_cast<j_common_ptr>(cinfo),
                   "JPEG data of %llu bytes cannot hold an image of %u x %u (truncated or damaged)",
                   static_cast<unsigned long long>(dataBytes), cinfo->image_width, cinfo->image_height);
}

uint64_t jpegStreamLength(vq_stream* stream) {
    if (stream == nullptr) return 0;
    const int64_t here = stream->tell();
    uint64_t length =
        stream->seek(0, vq_seekEnd) == 0 ? static_cast<uint64_t>(std::max<int64_t>(0, stream->tell())) : 0;
    stream->seek(here, vq_seekStart);
    return length;
}

extern "C" void jpegErrorExit(j_common_ptr cinfo) {
    JpegErrorManager* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    // The library's own text says why the data was refused; a refusal of
    // this layer is reported by the caller that knows the rows lost.
    if (!err->refused) {
        (*cinfo->err->format_message)(cinfo, err->message);
        reportReaderMessage("JPEG library error: %s\n", err->message);
    }
    jpeg_destroy(cinfo);
    if (!err->armed) {
        // Every library call runs under a guard; reaching this is a defect.
        reportReaderMessage("JPEG library error outside a guarded call\n");
        std::abort();
    }
    std::longjmp(err->jump, 1);
}

void installJpegErrorExit(j_common_ptr cinfo) {
    cinfo->err->error_exit = jpegErrorExit;
    cinfo->err->emit_message = jpegEmitMessage;
}

bool jpeg_detail::runGuarded(JpegErrorManager& err, void (*fn)(void*), void* ctx) {
    jmp_buf saved;
    bool wasArmed = err.armed;
    std::memcpy(saved, err.jump, sizeof(jmp_buf));
    err.armed = true;
    if (setjmp(err.jump) != 0) {
        std::memcpy(err.jump, saved, sizeof(jmp_buf));
        err.armed = wasArmed;
        return false;
    }
    fn(ctx);
    std::memcpy(err.jump, saved, sizeof(jmp_buf));
    err.armed = wasArmed;
    return true;
}

JpegDecompressor::JpegDecompressor() { recreate(); }

bool JpegDecompressor::recreate() {
    if (created) jpeg_destroy_decompress(&info);
    std::memset(&info, 0, sizeof(info));
    err.damage = 0;
    err.message[0] = '\0';
    err.refused = false;
    info.err = jpeg_std_error(&err.pub);
    installJpegErrorExit(common());
    created = jpegGuarded(err, [this] {
        jpeg_CreateDecompress(&info, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
    });
    return created;
}

JpegDecompressor::~JpegDecompressor() {
    if (created) jpeg_destroy_decompress(&info);
}

int JpegDecompressor::componentWidth(int c) const {
    if (!info.comp_info || c < 0 || c >= info.num_components) return 0;
    return static_cast<int>(info.comp_info[c].downsampled_width);
}

int JpegDecompressor::componentHeight(int c) const {
    if (!info.comp_info || c < 0 || c >= info.num_components) return 0;
    return static_cast<int>(info.comp_info[c].downsampled_height);
}

bool createJpegCompress(JpegCompressor& c) {
    std::memset(&c.info, 0, sizeof(c.info));
    c.info.err = jpeg_std_error(&c.err.pub);
    installJpegErrorExit(c.common());
    c.created = jpegGuarded(c.err, [&c] {
        jpeg_CreateCompress(&c.info, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));
    });
    return c.created;
}

void destroyJpegCompress(JpegCompressor& c) {
    if (c.created) jpeg_destroy_compress(&c.info);
    c.created = false;
}

JpegCompressor::~JpegCompressor() { destroyJpegCompress(*this); }

bool finishJpegCompress(JpegCompressor& c) {
    return c.guarded([&c] { jpeg_finish_compress(&c.info); });
}

void jpegStreamSource(j_decompress_ptr cinfo, vq_stream* stream) {
    if (cinfo->src == nullptr) {
        StreamSource* src = static_cast<StreamSource*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(StreamSource)));
        src->buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kStreamBufferSize));
        cinfo->src = &src->pub;
    }
    StreamSource* src = reinterpret_cast<StreamSource*>(cinfo->src);
    src->pub.init_source = sourceInit;
    src->pub.fill_input_buffer = sourceFill;
    src->pub.skip_input_data = sourceSkip;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = sourceTerm;
    src->stream = stream;
    src->startOfFile = true;
    src->pub.bytes_in_buffer = 0;
    src->pub.next_input_byte = nullptr;
}

void jpegStreamDestination(j_compress_ptr cinfo, vq_stream* stream) {
    if (cinfo->dest == nullptr) {
        StreamDestination* dst = static_cast<StreamDestination*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(StreamDestination)));
        dst->buffer = nullptr;
        cinfo->dest = &dst->pub;
    }
    StreamDestination* dst = reinterpret_cast<StreamDestination*>(cinfo->dest);
    dst->pub.init_destination = destinationInit;
    dst->pub.empty_output_buffer = destinationEmpty;
    dst->pub.term_destination = destinationTerm;
    dst->stream = stream;
}

J_COLOR_SPACE jpegColorSpaceForFormat(int format) {
    if (format == 3) return JCS_YCbCr;
    if (format == 6) return JCS_GRAYSCALE;
    return JCS_RGB;
}

void setJpegColorSpace(j_compress_ptr cinfo, int format) {
    jpeg_set_colorspace(cinfo, jpegColorSpaceForFormat(format));
}

void setJpegSubsampling(j_compress_ptr cinfo, int subsampling) {
    int h, v;
    switch (subsampling) {
    case 1: h = 1; v = 1; break;
    case 2: h = 2; v = 1; break;
    case 3: h = 1; v = 2; break;
    case 4: h = 2; v = 2; break;
    default: return;
    }
    if (cinfo->num_components < 1) return;
    cinfo->comp_info[0].h_samp_factor = h;
    cinfo->comp_info[0].v_samp_factor = v;
    for (int c = 1; c < cinfo->num_components; ++c) {
        cinfo->comp_info[c].h_samp_factor = 1;
        cinfo->comp_info[c].v_samp_factor = 1;
    }
}

void startJpegCompress(j_compress_ptr cinfo, bool writeTables) {
    jpeg_start_compress(cinfo, writeTables ? TRUE : FALSE);
    if (!writeTables) jpeg_suppress_tables(cinfo, TRUE);
}

namespace {

// The baseline luminance table that the library writes for each quality
// 1..100 (index quality - 1). Made once: every decoded tile is probed, so the
// estimate runs once per tile.
struct ScaledLuminanceTables {
    int values[100][64];
    ScaledLuminanceTables() {
        for (int q = 1; q <= 100; ++q) {
            const int scale = q < 50 ? 5000 / q : 200 - 2 * q;
            for (int j = 0; j < 64; ++j) {
                long t = (static_cast<long>(scale) * kStdLuminance[j] + 50) / 100;
                t = std::clamp(t, 1L, 32767L);
                values[q - 1][j] = static_cast<int>(std::min(t, 255L));
            }
        }
    }
};

} // namespace

int estimateJpegQuality(j_decompress_ptr cinfo) {
    const JQUANT_TBL* table = cinfo->quant_tbl_ptrs[0];
    if (table == nullptr) return 70;
    static const ScaledLuminanceTables scaled;
    int best = INT_MAX;
    int result = 70;
    for (int q = 1; q <= 100; ++q) {
        const int* values = scaled.values[q - 1];
        int distance = 0;
        for (int j = 0; j < 64; ++j) distance += std::abs(values[j] - static_cast<int>(table->quantval[j]));
        if (distance == 0) return q;
        if (distance <= best) {
            best = distance;
            result = q;
        }
    }
    return result;
}

void jcopyMarkersSetup(j_decompress_ptr src, JpegCopyMarkers option) {
    if (option != JpegCopyMarkers::All) return;
    jpeg_save_markers(src, JPEG_COM, 0xFFFF);
    for (int m = 0; m < 16; ++m) jpeg_save_markers(src, JPEG_APP0 + m, 0xFFFF);
}

void jcopyMarkersExecute(j_decompress_ptr src, j_compress_ptr dst, JpegCopyMarkers option) {
    if (option != JpegCopyMarkers::All) return;
    for (jpeg_saved_marker_ptr m = src->marker_list; m != nullptr; m = m->next) {
        // The compressor writes its own JFIF and Adobe markers.
        if (dst->write_JFIF_header && m->marker == JPEG_APP0 && m->data_length >= 5 &&
            std::memcmp(m->data, "JFIF", 5) == 0)
            continue;
        if (dst->write_Adobe_marker && m->marker == JPEG_APP0 + 14 && m->data_length >= 5 &&
            std::memcmp(m->data, "Adobe", 5) == 0)
            continue;
        jpeg_write_marker(dst, m->marker, m->data, m->data_length);
    }
}

void reportJpegFailure(const JpegDecompressor& d, int row) {
    // Library errors were reported when they stopped the library.
    if (!d.err.refused && !d.damaged()) return;
    const char* why = d.message("JPEG data could not be decoded");
    if (row >= 0)
        reportReaderMessage("%s; rows from %d on are lost\n", why, row);
    else
        reportReaderMessage("%s\n", why);
}

bool jpegFrameFits(const uint8_t* data, int32_t length, IntPair tileSize) {
    vq_ptr<vq_stream> stream;
    if (data == nullptr || length <= 0 || openMemoryStream(data, static_cast<uint64_t>(length), stream.put()) != 0)
        return false;
    JpegDecompressor d;
    bool ok = d.guarded([&] {
        jpegStreamSource(&d.info, stream.get());
        jpeg_read_header(&d.info, TRUE);
        checkJpegFrame(&d.info, static_cast<uint64_t>(length), tileSize);
    });
    if (!ok) reportJpegFailure(d, -1);
    return ok;
}

// ---------------------------------------------------------------------------
// Plane row buffer

JpegPlaneBuffer::JpegPlaneBuffer() = default;
JpegPlaneBuffer::~JpegPlaneBuffer() = default;

bool JpegPlaneBuffer::setup(const jpeg_component_info* comp, int maxV, int lumaRows, int format) {
    maxV_ = std::max(1, maxV);
    rowsContainer_.reset();
    rows_.clear();
    position_ = 0;
    total_ = 0;
    lastBatch_ = false;
    if (comp == nullptr) {
        configured_ = false;
        vSamp_ = 1;
        rowsPerBatch_ = lastBatchRows_ = width_ = capacity_ = 0;
        return true;
    }
    vSamp_ = comp->v_samp_factor;
    int blockRows = 8 * vSamp_;
    rowsPerBatch_ = lumaRows * vSamp_ / maxV_;
    if (rowsPerBatch_ == 0) {
        rowsPerBatch_ = lastBatchRows_ = 1;
    } else {
        lastBatchRows_ = static_cast<int>(comp->downsampled_height % rowsPerBatch_);
        if (lastBatchRows_ == 0) lastBatchRows_ = rowsPerBatch_;
    }
    width_ = static_cast<int>(comp->downsampled_width);
    // The library reads and writes whole blocks: a row must hold every sample
    // of the component's blocks, not only its visible width.
    capacity_ = std::max(width_, static_cast<int>(comp->width_in_blocks) * DCTSIZE);
    int rowCount = (rowsPerBatch_ + blockRows - 1) / blockRows * blockRows;
    vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    if (c == nullptr || !c->create(format, capacity_, rowCount, false)) {
        configured_ = false;
        return false;
    }
    uint8_t* data = nullptr;
    int32_t step = 0;
    c->lockPixels(&data, &step);
    rows_.resize(static_cast<size_t>(rowCount));
    for (int r = 0; r < rowCount; ++r) rows_[static_cast<size_t>(r)] = data + static_cast<ptrdiff_t>(r) * step;
    c->unlockPixels();
    rowsContainer_ = c;
    configured_ = true;
    return true;
}

int JpegPlaneBuffer::chromaRows(int lumaRows) const {
    if (vSamp_ == maxV_) return lumaRows;
    return (lumaRows + maxV_ - 1) * vSamp_ / maxV_;
}

int JpegPlaneBuffer::fillFromPlane(imageContainer* plane, int startRow, int lumaRows) {
    if (!configured_ || plane == nullptr) return 0;
    const IntPair full = plane->getFullSize();
    int planeHeight = full.second;
    int k = chromaRows(lumaRows);
    if (startRow + k >= planeHeight) k = planeHeight - startRow;
    if (k <= 0) return 0;
    // Samples of a wider (uncropped) plane fill the partial blocks at the
    // right edge as they are; past the plane the last sample repeats.
    int n = std::min(capacity_, full.first);
    if (n <= 0) return 0;
    uint8_t* data = nullptr;
    int32_t step = 0;
    plane->lockPixels(&data, &step);
    for (int r = 0; r < k; ++r) {
        JSAMPROW row = rows_[static_cast<size_t>(r)];
        std::memcpy(row, data + static_cast<ptrdiff_t>(startRow + r) * step, static_cast<size_t>(n));
        std::memset(row + n, row[n - 1], static_cast<size_t>(capacity_ - n));
    }
    plane->unlockPixels();
    // Rows of a partial block row at the bottom repeat the last row.
    for (size_t r = static_cast<size_t>(k); r < rows_.size(); ++r)
        std::memcpy(rows_[r], rows_[static_cast<size_t>(k - 1)], static_cast<size_t>(capacity_));
    total_ += k;
    return k;
}

int JpegPlaneBuffer::copyToPlane(uint8_t* dst, int dstStep, int lumaRowsWanted, int rowsLeft) {
    if (!configured_) return 0;
    int available = (lastBatch_ ? lastBatchRows_ : rowsPerBatch_) - position_;
    int k = std::min({chromaRows(lumaRowsWanted), available, rowsLeft});
    if (k <= 0) return 0;
    for (int r = 0; r < k; ++r)
        std::memcpy(dst + static_cast<ptrdiff_t>(r) * dstStep, rows_[static_cast<size_t>(position_ + r)],
                    static_cast<size_t>(width_));
    position_ += k;
    total_ += k;
    return k;
}

ContainerPixels::ContainerPixels(imageContainer* c) : c_(c) {
    if (c_) c_->lockPixels(&data, &step);
}

ContainerPixels::~ContainerPixels() {
    if (c_) c_->unlockPixels();
}

// ---------------------------------------------------------------------------
// Coefficient reader

JpegCoefficientReader::JpegCoefficientReader() = default;
JpegCoefficientReader::~JpegCoefficientReader() = default;

void JpegCoefficientReader::setTile(vq_raw_tile* tile) { tile_ = tile; }

bool JpegCoefficientReader::read() {
    if (tile_ == nullptr || !decompressor.created) return false;
    stream_.reset();
    if (openMemoryStream(tile_->getData(), static_cast<uint64_t>(std::max(0, tile_->getDataLength())),
                         stream_.put()) != 0)
        return false;
    jvirt_barray_ptr* arrays = nullptr;
    vq_stream* stream = stream_.get();
    vq_raw_tile* tile = tile_.get();
    bool ok = decompressor.guarded([&] {
        jpegStreamSource(&decompressor.info, stream);
        jcopyMarkersSetup(&decompressor.info, JpegCopyMarkers::None);
        jpeg_read_header(&decompressor.info, TRUE);
        checkJpegFrame(&decompressor.info, static_cast<uint64_t>(tile->getDataLength()));
        arrays = jpeg_read_coefficients(&decompressor.info);
    });
    if (!ok || decompressor.damaged()) {
        reportJpegFailure(decompressor, -1);
        arrays = nullptr;
    }
    coefficients = arrays;
    return coefficients != nullptr;
}

// ---------------------------------------------------------------------------

bool decodeJpegStream(vq_stream* stream, imageContainer** out, int format) {
    if (stream == nullptr || out == nullptr) return false;
    *out = nullptr;
    stream->seek(0, 0);
    JpegDecompressor d;
    bool headerOk = d.guarded([&] {
        jpegStreamSource(&d.info, stream);
        jpeg_read_header(&d.info, TRUE);
        checkJpegFrame(&d.info, jpegStreamLength(stream));
    });
    if (!headerOk) {
        reportJpegFailure(d, -1);
        return false;
    }
    vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    // Every row is decoded or the image is dropped.
    if (c == nullptr || !c->createUncleared(format, static_cast<int>(d.info.image_width),
                                            static_cast<int>(d.info.image_height), false))
        return false;
    uint8_t* data = nullptr;
    int32_t step = 0;
    c->lockPixels(&data, &step);
    bool rowsOk = true;
    bool ok = d.guarded([&] {
        d.info.out_color_space = jpegColorSpaceForFormat(format);
        jpeg_start_decompress(&d.info);
        while (d.info.output_scanline < d.info.output_height) {
            JSAMPROW row = data + static_cast<ptrdiff_t>(d.info.output_scanline) * step;
            if (jpeg_read_scanlines(&d.info, &row, 1) != 1 || d.damaged()) {
                rowsOk = false;
                return;
            }
        }
        jpeg_finish_decompress(&d.info);
    });
    c->unlockPixels();
    if (!ok || !rowsOk) {
        reportJpegFailure(d, ok ? std::max(0, static_cast<int>(d.info.output_scanline) - 1) : -1);
        return false;
    }
    *out = c.get();
    (*out)->addRef();
    return true;
}
