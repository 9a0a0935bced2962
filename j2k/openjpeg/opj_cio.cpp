#include "j2k/openjpeg/opj_cio.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/base/reader_messages.h"
#include "engine/base/stream.h"

namespace {

// Chunk size of the library's own buffering between it and the callbacks.
constexpr OPJ_SIZE_T kChunk = 64 * 1024;

OPJ_SIZE_T readCallback(void* buffer, OPJ_SIZE_T count, void* user) {
    size_t n = static_cast<vq_opj_cio*>(user)->read(buffer, count);
    // The library expects (OPJ_SIZE_T)-1 rather than 0 at the end of the data.
    return n == 0 ? static_cast<OPJ_SIZE_T>(-1) : n;
}

OPJ_SIZE_T writeCallback(void* buffer, OPJ_SIZE_T count, void* user) {
    size_t n = static_cast<vq_opj_cio*>(user)->write(buffer, count);
    return n == count ? n : static_cast<OPJ_SIZE_T>(-1);
}

OPJ_OFF_T skipCallback(OPJ_OFF_T count, void* user) {
    return static_cast<OPJ_OFF_T>(static_cast<vq_opj_cio*>(user)->skip(count));
}

OPJ_BOOL seekCallback(OPJ_OFF_T position, void* user) {
    return static_cast<vq_opj_cio*>(user)->seek(position) ? OPJ_TRUE : OPJ_FALSE;
}

// Writes "<prefix><message>" with a closing line feed when the library's text
// has none.
void formatLine(char* line, size_t capacity, const char* prefix, const char* message) {
    if (!message) message = "";
    size_t len = strlen(message);
    bool feed = len > 0 && message[len - 1] == '\n';
    snprintf(line, capacity, "%s%s%s", prefix, message, feed ? "" : "\n");
}

void errorHandler(const char* message, void*) {
    char line[1024];
    formatLine(line, sizeof line, "OpenJPEG error: ", message);
    reportReaderMessage("%s", line);
}

void warningHandler(const char* message, void*) {
    char line[1024];
    formatLine(line, sizeof line, "OpenJPEG warning: ", message);
    reportReaderMessage("%s", line);
}

void infoHandler(const char* message, void*) {
    char line[1024];
    formatLine(line, sizeof line, "OpenJPEG: ", message);
    deliverReaderMessage(line);
}

}  // namespace

vq_opj_cio::~vq_opj_cio() {
    if (stream_) opj_stream_destroy(stream_);
}

int64_t vq_opj_cio::numbytesleft() {
    size_t end = mode_ == kWrite ? written_ : length_;
    return position_ < end ? static_cast<int64_t>(end - position_) : 0;
}

int64_t vq_opj_cio::tell() { return static_cast<int64_t>(position_); }

bool vq_opj_cio::seek(int64_t position) {
    if (position < 0) return false;
    auto target = static_cast<uint64_t>(position);
    if (mode_ == kRead) {
        if (target > length_) return false;
    } else if (mode_ == kWrite) {
        if (target > owned_.size()) {
            try {
                owned_.resize(target);
            } catch (const std::bad_alloc&) {
                return false;
            }
        }
        // Bytes passed over by a seek are part of the code-stream (zeros
        // until the library fills them in).
        written_ = std::max(written_, static_cast<size_t>(target));
    } else {
        return false;
    }
    position_ = static_cast<size_t>(target);
    return true;
}

int64_t vq_opj_cio::skip(int64_t count) {
    if (mode_ == kNone) return -1;
    int64_t here = tell();
    int64_t target = here + count;
    if (target < 0) return -1;
    if (mode_ == kRead) {
        // Reading stops at the end of the data: a skip reaches at most there,
        // and one that starts at the end has nothing to move over.
        int64_t end = static_cast<int64_t>(length_);
        if (count > 0 && here >= end) return -1;
        target = std::min(target, end);
    }
    if (!seek(target)) return -1;
    return target - here;
}

size_t vq_opj_cio::read(void* buffer, size_t count) {
    if (mode_ != kRead || position_ >= length_) return 0;
    size_t n = std::min(count, length_ - position_);
    memcpy(buffer, start_ + position_, n);
    position_ += n;
    return n;
}

size_t vq_opj_cio::write(const void* buffer, size_t count) {
    if (mode_ != kWrite) return 0;
    size_t end = position_ + count;
    if (end > owned_.size()) {
        try {
            // Grow geometrically so a long code-stream costs few copies.
            owned_.resize(std::max(end, owned_.size() + owned_.size() / 2));
        } catch (const std::bad_alloc&) {
            return 0;
        }
    }
    memcpy(owned_.data() + position_, buffer, count);
    position_ = end;
    written_ = std::max(written_, end);
    return count;
}

void vq_opj_cio::openRead(const uint8_t* buffer, size_t length) {
    mode_ = kRead;
    start_ = buffer;
    length_ = length;
    position_ = 0;
}

void vq_opj_cio::openWrite(size_t reserve) {
    mode_ = kWrite;
    owned_.assign(reserve, 0);
    written_ = 0;
    position_ = 0;
}

opj_stream_t* vq_opj_cio::stream() {
    if (stream_ || mode_ == kNone) return stream_;
    bool input = mode_ == kRead;
    stream_ = opj_stream_create(kChunk, input ? OPJ_TRUE : OPJ_FALSE);
    if (!stream_) return nullptr;
    opj_stream_set_user_data(stream_, this, nullptr);
    if (input) {
        opj_stream_set_user_data_length(stream_, static_cast<OPJ_UINT64>(numbytesleft() + tell()));
        opj_stream_set_read_function(stream_, readCallback);
    } else {
        opj_stream_set_write_function(stream_, writeCallback);
    }
    opj_stream_set_skip_function(stream_, skipCallback);
    opj_stream_set_seek_function(stream_, seekCallback);
    return stream_;
}

vq_opj_stream_cio::vq_opj_stream_cio(vq_stream* stream, bool forWriting) : source_(stream) {
    mode_ = forWriting ? kWrite : kRead;
    if (source_) {
        source_->addRef();
        size_ = streamLength(source_);
        if (size_ < 0) size_ = 0;
        source_->seek(0, vq_seekStart);
    }
}

vq_opj_stream_cio::~vq_opj_stream_cio() {
    if (source_) source_->release();
}

int64_t vq_opj_stream_cio::numbytesleft() {
    if (!source_) return 0;
    return std::max<int64_t>(0, size_ - source_->tell());
}

int64_t vq_opj_stream_cio::tell() { return source_ ? source_->tell() : -1; }

bool vq_opj_stream_cio::seek(int64_t position) {
    return source_ && position >= 0 && source_->seek(position, vq_seekStart) == 0;
}

int64_t vq_opj_stream_cio::skip(int64_t count) {
    if (!source_) return -1;
    int64_t here = source_->tell();
    int64_t target = here + count;
    if (target < 0) return -1;
    if (mode_ == kRead) {
        if (count > 0 && here >= size_) return -1;
        target = std::min(target, size_);
    }
    if (source_->seek(target, vq_seekStart) != 0) return -1;
    return target - here;
}

namespace {

// Moves count bytes through a stream call that takes at most 1 GiB at a
// time (its count is 32-bit), until done or the stream stops giving.
template <class Bytes, class Transfer>
size_t transferAll(Bytes* bytes, size_t count, Transfer transfer) {
    size_t total = 0;
    while (total < count) {
        auto chunk = static_cast<uint32_t>(std::min<size_t>(count - total, 1u << 30));
        int32_t n = transfer(bytes + total, chunk);
        if (n <= 0) break;
        total += static_cast<size_t>(n);
    }
    return total;
}

} // namespace

size_t vq_opj_stream_cio::read(void* buffer, size_t count) {
    if (!source_) return 0;
    return transferAll(static_cast<uint8_t*>(buffer), count,
                       [&](uint8_t* at, uint32_t n) { return source_->read(at, n); });
}

size_t vq_opj_stream_cio::write(const void* buffer, size_t count) {
    if (!source_) return 0;
    return transferAll(static_cast<const uint8_t*>(buffer), count,
                       [&](const uint8_t* at, uint32_t n) { return source_->write(at, n); });
}

vq_opj_cio* vq_opj_cio_open(opj_codec_t* codec, const uint8_t* buffer, int64_t length) {
    vq_opj_cio* cio = new (std::nothrow) vq_opj_cio();
    if (!cio) return nullptr;
    if (buffer && length > 0) {
        cio->openRead(buffer, static_cast<size_t>(length));
        return cio;
    }
    if (!buffer && length == 0 && codec) {
        // Room for a typical tile's code-stream; the buffer grows beyond it.
        cio->openWrite(64 * 1024);
        return cio;
    }
    delete cio;
    return nullptr;
}

void vq_opj_cio_close(vq_opj_cio* cio) { delete cio; }

void vq_opj_install_handlers(opj_codec_t* codec) {
    if (!codec) return;
    opj_set_info_handler(codec, infoHandler, nullptr);
    opj_set_warning_handler(codec, warningHandler, nullptr);
    opj_set_error_handler(codec, errorHandler, nullptr);
}

opj_image_t* vq_opj_decode_j2k(const uint8_t* data, int64_t length, int32_t reduce) {
    if (!data || length <= 0 || reduce < 0) return nullptr;
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    parameters.cp_reduce = static_cast<OPJ_UINT32>(reduce);
    opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_J2K);
    if (!codec) return nullptr;
    vq_opj_install_handlers(codec);
    opj_image_t* image = nullptr;
    vq_opj_cio* cio = nullptr;
    bool ok = opj_setup_decoder(codec, &parameters) != OPJ_FALSE;
    if (ok) {
        cio = vq_opj_cio_open(codec, data, length);
        ok = cio && cio->stream();
    }
    if (ok) ok = opj_read_header(cio->stream(), codec, &image) != OPJ_FALSE;
    if (ok) ok = opj_decode(codec, cio->stream(), image) != OPJ_FALSE;
    if (ok) ok = opj_end_decompress(codec, cio->stream()) != OPJ_FALSE;
    if (!ok && image) {
        opj_image_destroy(image);
        image = nullptr;
    }
    vq_opj_cio_close(cio);
    opj_destroy_codec(codec);
    return image;
}
