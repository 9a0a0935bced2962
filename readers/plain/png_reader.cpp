#include "readers/plain/png_reader.h"

#include <png.h>

#include <cstdio>

#include "engine/base/imageContainer.h"
#include "engine/base/reader_messages.h"
#include "readers/plain/pixel_rows.h"

// Calls into the PNG library return here through its jump buffer when the
// library reports an error or a warning. The functions that set the jump
// buffer hold nothing that needs destroying, so the jump skips no destructor.
namespace {

void readFromStream(png_structp png, png_bytep data, size_t length) {
    auto* stream = static_cast<vq_stream*>(png_get_io_ptr(png));
    // A short read would leave the library decoding whatever the buffer
    // happened to hold; stop the read instead.
    if (!stream || length > UINT32_MAX || stream->read(data, uint32_t(length)) != int32_t(length))
        png_error(png, "read past the end of the data");
}

void writeToStream(png_structp png, png_bytep data, size_t length) {
    auto* stream = static_cast<vq_stream*>(png_get_io_ptr(png));
    if (!stream || length > UINT32_MAX || stream->write(data, uint32_t(length)) != int32_t(length))
        png_error(png, "write failed");
}

void flushStream(png_structp png) {
    if (auto* stream = static_cast<vq_stream*>(png_get_io_ptr(png)))
        stream->flush();
}

// Errors end the library call in progress, saying why. The library often
// names the fault in a warning just before a general error ("Invalid IHDR
// data"), so the warning of the same call goes with it.
void stopOnMessage(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngStreamState*>(png_get_error_ptr(png));
    const char* text = message != nullptr ? message : "";
    if (state != nullptr && !state->lastWarning.empty())
        reportReaderMessage("PNG library error: %s (%s)\n", text, state->lastWarning.c_str());
    else
        reportReaderMessage("PNG library error: %s\n", text);
    png_longjmp(png, 1);
}

// Warnings do not: current libraries warn about harmless things that many
// ordinary files carry (a known-incorrect sRGB profile, a malformed ancillary
// chunk that the library skips), and the image still decodes correctly.
// The last one is kept for an error that may follow.
void ignoreWarning(png_structp png, png_const_charp message) {
    if (auto* state = static_cast<PngStreamState*>(png_get_error_ptr(png)))
        state->lastWarning = message != nullptr ? message : "";
}

// Each guarded call names only its own warnings with an error.
void forgetWarnings(png_structp png) {
    if (auto* state = static_cast<PngStreamState*>(png_get_error_ptr(png)))
        state->lastWarning.clear();
}

struct PngHeader {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colourType = 0;
    int interlace = 0;
};

bool readPngInfo(png_structp png, png_infop info, PngHeader* header) {
    forgetWarnings(png);
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_info(png, info);
    int compression = 0, filter = 0;
    png_get_IHDR(png, info, &header->width, &header->height, &header->bitDepth,
                 &header->colourType, &header->interlace, &compression, &filter);
    return true;
}

// Rows are delivered with 8-bit samples, one to four per pixel: the library
// expands palettes and grey below 8 bits, turns a transparency chunk into an
// alpha channel, drops the low byte of 16-bit samples and, where asked, turns
// grey into RGB. Refuses a row layout other than `channels` bytes per pixel.
bool startPngRows(png_structp png, png_infop info, const PngRowPlan& plan, int channels) {
    forgetWarnings(png);
    if (setjmp(png_jmpbuf(png)))
        return false;
    if (plan.colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (plan.colourType == PNG_COLOR_TYPE_GRAY && plan.bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (plan.transparency)
        png_set_tRNS_to_alpha(png);
    if (plan.bitDepth > 8)
        png_set_strip_16(png);
    if (plan.greyToRgb)
        png_set_gray_to_rgb(png);
    png_read_update_info(png, info);
    return png_get_bit_depth(png, info) == 8 && png_get_channels(png, info) == channels &&
           png_get_rowbytes(png, info) == size_t(png_get_image_width(png, info)) * size_t(channels);
}

bool readPngRow(png_structp png, png_bytep row) {
    forgetWarnings(png);
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_row(png, row, nullptr);
    return true;
}

} // namespace

constexpr png_uint_32 kMaxPngSide = 1000000;

bool PngStreamState::openRead(vq_stream* s) {
    if (!s)
        return false;
    unbind();
    stream = s;
    rewind();
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, stopOnMessage, ignoreWarning);
    if (!png)
        return false;
    info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    // Limits that do not depend on how libpng was built: rows of at most a
    // million pixels (8 MB at 16-bit RGBA) and as many rows, at most a
    // thousand ancillary chunks, and no chunk (or decompressed text or
    // profile) above 8 MB held in memory.
    png_set_user_limits(png, kMaxPngSide, kMaxPngSide);
    png_set_chunk_cache_max(png, 1000);
    png_set_chunk_malloc_max(png, 8u << 20);
    png_set_read_fn(png, s, readFromStream);
    kind = 1;
    return true;
}

bool PngStreamState::openWrite(vq_stream* s) {
    if (!s)
        return false;
    unbind();
    stream = s;
    png = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, stopOnMessage, ignoreWarning);
    if (!png)
        return false;
    info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    png_set_write_fn(png, s, writeToStream, flushStream);
    kind = 2;
    return true;
}

void PngStreamState::rewind() {
    if (stream != nullptr)
        stream->seek(0, vq_seekStart);
}

void PngStreamState::unbind() {
    if (kind == 1 || (png && kind == 0))
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    else if (kind == 2)
        png_destroy_write_struct(&png, info ? &info : nullptr);
    png = nullptr;
    info = nullptr;
    kind = 0;
    lastWarning.clear();
    stream.reset();
}

vq_PNGFileInfo* vq_PNGFileInfo::create() {
    auto* info = new vq_PNGFileInfo;
    info->addRef();
    return info;
}

bool vq_PNGFileInfo::readHeader(PngStreamState& state) {
    invalidate();
    plan = PngRowPlan();
    if (!state.isReady() || state.kind != 1)
        return false;
    state.rewind();
    PngHeader header;
    if (!readPngInfo(state.png, state.info, &header))
        return false;
    if (header.interlace == PNG_INTERLACE_ADAM7) {
        reportReaderMessage("Currently don't process PNG interlaced images\n");
        return false;
    }
    imageSize = IntPair(int(header.width), int(header.height));
    if (header.width == 0 || header.height == 0 || header.width > INT32_MAX ||
        header.height > INT32_MAX) {
        reportReaderMessage("PNG image size %u x %u is not supported\n", unsigned(header.width),
                            unsigned(header.height));
        return false;
    }
    // The library has checked the colour type and bit depth against each other.
    plan.colourType = header.colourType;
    plan.bitDepth = header.bitDepth;
    plan.transparency = png_get_valid(state.png, state.info, PNG_INFO_tRNS) != 0;
    const bool grey = !(header.colourType & PNG_COLOR_MASK_COLOR);
    const bool withAlpha = (header.colourType & PNG_COLOR_MASK_ALPHA) || plan.transparency;
    // Grey with alpha has no pixel format of its own: it is read as RGBA.
    plan.greyToRgb = grey && withAlpha;
    const int w = int(header.width), h = int(header.height);
    if (withAlpha)
        accept(w, h, 5, {2, 5}, true);
    else if (grey)
        accept(w, h, 6, {4, 6}, false);
    else
        accept(w, h, 4, {1, 4}, false);
    return true;
}

void vq_PNGFileInfo::printReport(FILE* out) {
    if (!valid)
        return;
    const char* line = pixelFormat == 4 ? "RGB format\n"
                     : pixelFormat == 5 ? "RGBA format\n"
                                        : "Grayscale format\n";
    printSizeAndFormat(out, line);
}

vq_PNGLoader* vq_PNGLoader::create(vq_stream* stream) {
    auto* loader = new vq_PNGLoader(stream);
    loader->addRef();
    if (!loader->state.openRead(stream)) {
        loader->release();
        return nullptr;
    }
    return loader;
}

bool vq_PNGLoader::getFileInfo(vq_FileInfo** out) {
    if (!out || !state.isReady())
        return false;
    auto info = vq_ptr<vq_PNGFileInfo>::adopt(vq_PNGFileInfo::create());
    PngStreamState local;
    if (!local.openRead(stream.get()) || !info->readHeader(local))
        return false;
    *out = info.get();
    info->addRef();
    return true;
}

bool vq_PNGLoader::getStripLoader(vq_stripLoader_base** out) {
    if (!out || !state.isReady())
        return false;
    auto strips = vq_ptr<vq_PNGStripLoader>::adopt(vq_PNGStripLoader::create());
    if (!strips->open(stream.get()))
        return false;
    *out = strips.get();
    strips->addRef();
    return true;
}

vq_PNGStripLoader* vq_PNGStripLoader::create() {
    auto* strips = new vq_PNGStripLoader;
    strips->addRef();
    return strips;
}

bool vq_PNGStripLoader::open(vq_stream* s) {
    rowsStarted = false;
    if (!state.openRead(s) || !info.readHeader(state) || !info.isValid())
        return false;
    stream = s;
    imageSize = info.getImageSize();
    return true;
}

bool vq_PNGStripLoader::prepareStrips(int height, int fmt) {
    if (!state.isReady())
        return false;
    // The library reads forward only and takes its row transformations once:
    // a new pass starts from a new binding.
    if (rowsStarted && !open(stream.get()))
        return false;
    const int stored = info.getPixelFormat();
    compose = false;
    PngRowPlan plan = info.getRowPlan();
    rowFormat = stored;
    if (fmt == 4 && stored == 6) {
        // Grey becomes RGB in the library.
        plan.greyToRgb = true;
        rowFormat = 4;
    } else if (!info.canDeliver(fmt)) {
        if (fmt != 4 || stored != 5)
            return false;
        compose = true;
    }
    if (!startPass(height, fmt))
        return false;
    rowsStarted = true;
    if (!startPngRows(state.png, state.info, plan, vq_pixel_rows::bytesPerPixel(rowFormat))) {
        reportReaderMessage("PNG rows cannot be read as 8-bit pixels\n");
        return false;
    }
    workRow.assign(size_t(imageSize.first) * size_t(vq_pixel_rows::bytesPerPixel(rowFormat)), 0);
    return true;
}

bool vq_PNGStripLoader::readNextStrip(int* rowsDone, imageContainer* dst) {
    const int n = nextStripRows();
    if (!state.isReady() || !rowsStarted || n == 0 || !createStrip(dst, format, imageSize.first, n))
        return false;
    uint8_t* pixels = nullptr;
    int32_t step = 0;
    dst->lockPixels(&pixels, &step);
    bool ok = true;
    for (int r = 0; r < n; ++r) {
        uint8_t* row = pixels + int64_t(r) * step;
        if (format == rowFormat) {
            ok = readPngRow(state.png, row);
        } else {
            ok = readPngRow(state.png, workRow.data());
            if (ok && compose)
                vq_pixel_rows::composeOverWhite(workRow.data(), row, imageSize.first);
            else if (ok)
                ok = vq_pixel_rows::convertRow(workRow.data(), rowFormat, row, format, imageSize.first);
        }
        if (!ok)
            break;
        ++delivered;
    }
    dst->unlockPixels();
    reportRowsDone(rowsDone);
    return ok;
}

bool createPNGLoader(vq_stream* stream, vq_loader_base** out) {
    if (!stream || !out)
        return false;
    vq_PNGLoader* loader = vq_PNGLoader::create(stream);
    if (!loader)
        return false;
    *out = loader;
    return true;
}
