// The binding of the TIFF library to an engine stream and the file info of a
// TIFF header.
#include <cstdio>
#include <new>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/stream.h"
#include "engine/base/reader_messages.h"
#include "primitives/core/planar.h"
#include "j2k/byte_input.h"
#include "j2k/decoder/codestream.h"
#include "readers/tiff/tiff_reader.h"

using namespace vqtiff;

int64_t tiffStreamRead(void* clientData, void* buffer, int64_t size) {
    auto* s = static_cast<vq_stream*>(clientData);
    if (s == nullptr || size <= 0) return 0;
    int64_t got = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (got < size) {
        const int64_t want = std::min<int64_t>(size - got, 1 << 30);
        const int32_t r = s->read(p + got, uint32_t(want));
        if (r <= 0) break;
        got += r;
    }
    return got;
}

int64_t tiffStreamWrite(void* clientData, void* buffer, int64_t size) {
    auto* s = static_cast<vq_stream*>(clientData);
    if (s == nullptr || size <= 0 || size > INT32_MAX) return 0;
    return s->write(buffer, uint32_t(size));
}

uint64_t tiffStreamSeek(void* clientData, uint64_t offset, int origin) {
    auto* s = static_cast<vq_stream*>(clientData);
    if (s == nullptr) {
        reportReaderMessage("TIFFSeek NULL\n");
        return 0;
    }
    if (s->seek(int64_t(offset), origin) != 0) {
        reportReaderMessage("TIFFSeek failed\n");
        return 0;
    }
    return uint64_t(s->tell());
}

int tiffStreamClose(void* clientData) { return clientData == nullptr ? -1 : 0; }

// The library asks for the length between a seek and the read that follows
// it, so the position is put back afterwards.
uint64_t tiffStreamSize(void* clientData) {
    const int64_t size = streamLength(static_cast<vq_stream*>(clientData));
    return size < 0 ? 0 : uint64_t(size);
}

int tiffStreamMap(void*, void**, uint64_t*) { return 1; }
void tiffStreamUnmap(void*, void*, uint64_t) {}

TiffStreamHandle::~TiffStreamHandle() {
    if (tiff_ != nullptr) TIFFCloseFile(tiff_);
}

bool TiffStreamHandle::open(vq_stream* stream, const char* mode) {
    stream_ = stream;
    if (tiff_ != nullptr || !stream_) return false;
    tiff_ = TIFFClientOpen("temp", mode, stream_.get(), tiffStreamRead, tiffStreamWrite, tiffStreamSeek,
                           tiffStreamClose, tiffStreamSize, tiffStreamMap, tiffStreamUnmap);
    return tiff_ != nullptr;
}

vq_TIFFFileInfo* vq_TIFFFileInfo::create() {
    auto* f = new vq_TIFFFileInfo();
    f->addRef();
    return f;
}

void vq_TIFFFileInfo::readDirectories(TIFFHandle* tiff) {
    if (tiff == nullptr) return;
    pyramid = false;
    uint32_t w = 0, h = 0;
    if (!TIFFQueryField(tiff, TAG_ImageWidth, &w) || !TIFFQueryField(tiff, TAG_ImageLength, &h)) return;
    levelSizes.push_back(IntPair(int32_t(w), int32_t(h)));
    levelDirectories.push_back(0);
    imageSize = IntPair(int32_t(w), int32_t(h));
    tiled = TIFFHasTiles(tiff) != 0;
    if (tiled) {
        uint32_t tw = 0, th = 0;
        TIFFQueryField(tiff, TAG_TileWidth, &tw);
        TIFFQueryField(tiff, TAG_TileLength, &th);
        tileSize = IntPair(int32_t(tw), int32_t(th));
    } else {
        uint32_t rps = 0;
        if (TIFFQueryField(tiff, TAG_RowsPerStrip, &rps)) rowsPerStrip = int(rps);
    }
    bigTIFF = TIFFUsesBigTIFF(tiff) != 0;
    const uint16_t count = TIFFCountDirectories(tiff);
    for (uint16_t d = 1; d < count; ++d) {
        if (!TIFFSelectDirectory(tiff, d)) break;
        if (!TIFFHasTiles(tiff)) continue;
        uint32_t subfile = 0;
        if (TIFFQueryField(tiff, TAG_SubfileType, &subfile) && subfile == 1) continue;
        uint32_t lw = 0, lh = 0;
        if (TIFFQueryField(tiff, TAG_ImageWidth, &lw) && TIFFQueryField(tiff, TAG_ImageLength, &lh)) {
            levelSizes.push_back(IntPair(int32_t(lw), int32_t(lh)));
            levelDirectories.push_back(d);
            pyramid = true;
        }
    }
    TIFFSelectDirectory(tiff, 0);
    valid = true;
    uint16_t v = 0;
    if (TIFFQueryField(tiff, TAG_PlanarConfiguration, &v)) separatePlanes = v == 2;
    if (TIFFQueryField(tiff, TAG_Compression, &v)) compression = v == 33005 ? 33003 : v;
    if (TIFFQueryField(tiff, TAG_BitsPerSample, &v)) bitsPerSample = v;
    if (TIFFQueryField(tiff, TAG_PhotometricInterpretation, &v)) photometric = v;
    if (TIFFQueryField(tiff, TAG_SamplesPerPixel, &v)) samplesPerPixel = v;
    // Only sample layouts whose bytes match the delivered format exactly are
    // accepted, so no reader writes more bytes per pixel than it promised.
    const int spp = samplesPerPixel, bps = bitsPerSample;
    pixelFormat = -1;
    if (photometric == 1 || (photometric == 2 && spp == 1)) {
        if (spp == 1 && bps == 8) pixelFormat = 6;
        if (spp == 1 && bps == 16) pixelFormat = 11;
    } else if (photometric == 2) {
        if (spp == 3 && bps == 8) pixelFormat = 4;
        if (spp == 4 && bps == 8) {
            pixelFormat = 5;
            formats.insert(4);
        }
        if (spp == 3 && bps == 16) pixelFormat = 12;
    } else if (photometric == 6) {
        pixelFormat = 3;
    }
    if (pixelFormat != -1) formats.insert(pixelFormat);
    if (compression == 7) {
        uint16_t hs = 0, vs = 0;
        if (TIFFQueryField(tiff, TAG_YCbCrSubsampling, &hs, &vs)) {
            if (hs == 1 && vs == 1) subsampling = 1;
            if (hs == 2 && vs == 1) subsampling = 2;
            if (hs == 1 && vs == 2) subsampling = 3;
            if (hs == 2 && vs == 2) subsampling = 4;
        }
    } else if (compression == 33003 && tiled) {
        subsampling = codestreamSubsampling(tiff);
    }
}

int vq_TIFFFileInfo::codestreamSubsampling(TIFFHandle* tiff) {
    // JPEG 2000 tiles carry their chroma sampling in the main header of each
    // code-stream: the first tile of the first directory speaks for the file.
    if (TIFFNumberOfTiles(tiff) == 0) return 5;
    const int64_t length = TIFFStoredSizeInFile(tiff, 0);
    if (length <= 0 || length > INT32_MAX) return 5;
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(size_t(length));
    } catch (const std::bad_alloc&) {
        return 5;
    }
    const int64_t n = TIFFReadRawTile(tiff, 0, bytes.data(), length);
    if (n <= 0) return 5;
    try {
        MemoryBoundedInputBE input;
        input.Attach(bytes.data(), uint64_t(n));
        DJP2Codestream<MemoryBoundedInputBE> cs;
        cs.AttachInput(&input);
        cs.ReadMainHeader();
        const DJP2MainHeader& h = cs.MainHeader();
        if (h.componentCount < 2) return 5;
        const IntPair f = h.sampling[1];
        if (f == IntPair(1, 1)) return 1;
        if (f == IntPair(2, 1)) return 2;
        if (f == IntPair(1, 2)) return 3;
        if (f == IntPair(2, 2)) return 4;
    } catch (...) {
        // A main header the codec rejects leaves the subsampling undetermined.
    }
    return 5;
}

void vq_TIFFFileInfo::printReport(FILE* out) {
    if (!valid || out == nullptr) return;
    if (bigTIFF) std::fprintf(out, "BigTIFF format\n");
    std::fprintf(out, "Image size is %d x %d pixels\n", levelSizes[0].first, levelSizes[0].second);
    switch (pixelFormat) {
    case 3: std::fprintf(out, "YCbCr format\n"); break;
    case 4: std::fprintf(out, "24-bit RGB format\n"); break;
    case 5: std::fprintf(out, "32-bit RGBA format\n"); break;
    case 6: std::fprintf(out, "8-bit single channel format\n"); break;
    case 11: std::fprintf(out, "16-bit single channel format\n"); break;
    case 12: std::fprintf(out, "48-bit RGB format\n"); break;
    default: break;
    }
    std::fprintf(out, "%d samples per pixel\n", samplesPerPixel);
    std::fprintf(out, "%d bits per sample\n", bitsPerSample);
    if (rowsPerStrip != 0) std::fprintf(out, "%d rows per strip\n", rowsPerStrip);
    if (separatePlanes) std::fprintf(out, "%d separate planes\n", samplesPerPixel);
    switch (compression) {
    case -1: std::fprintf(out, "Compression method not specified\n"); break;
    case 1: std::fprintf(out, "Image is uncompressed\n"); break;
    case 2: case 3: case 4: std::fprintf(out, "CCITT compression\n"); break;
    case 5: std::fprintf(out, "LZW compression\n"); break;
    case 7:
        std::fprintf(out, "JPEG compression\n");
        switch (subsampling) {
        case 1: std::fprintf(out, "4:4:4 subsampling\n"); break;
        case 2: std::fprintf(out, "4:2:2 subsampling (2:1 horizontal scaling)\n"); break;
        case 3: std::fprintf(out, "4:2:2 (rotated) subsampling (2:1 vertical scaling)\n"); break;
        case 4: std::fprintf(out, "4:1:1 subsampling (2:1 horizontal and vertical scaling)\n"); break;
        default: break;
        }
        break;
    case 8: case 32946: std::fprintf(out, "Deflate compression\n"); break;
    case 32773: std::fprintf(out, "PACKBITS compression\n"); break;
    case 33003: std::fprintf(out, "JPEG2000 (Aperio) compression\n"); break;
    case 34712: std::fprintf(out, "JPEG2000 (LeadTools) compression\n"); break;
    default: std::fprintf(out, "Compression method %d not recognized\n", compression); break;
    }
}

bool convertForDelivery(imageContainer* c, int format) {
    if (c == nullptr) return false;
    if (c->getFormat() != 5 || (format != 4 && format != 1)) return c->convertTo(format);
    const int w = c->getWidth(), h = c->getHeight();
    vq_ptr<imageContainer> planes[4], rgb;
    const uint8_t* src = nullptr;
    int32_t srcStep = 0;
    for (auto& p : planes)
        if (!createImageContainer(p.put()) || !p->create(6, w, h, true)) return false;
    if (!createImageContainer(rgb.put()) || !rgb->create(4, w, h, true)) return false;
    uint8_t* dst[4] = {};
    int32_t planeStep = 0;
    for (int i = 0; i < 4; ++i) planes[i]->lockPixels(&dst[i], &planeStep);
    c->lockPixelsConst(&src, &srcStep);
    const PrimSize size{w, h};
    copyPixelsToPlanes8uC4(src, srcStep, dst, planeStep, size);
    c->unlockPixels();
    uint8_t* out = nullptr;
    int32_t outStep = 0;
    rgb->lockPixels(&out, &outStep);
    const uint8_t* const three[3] = {dst[0], dst[1], dst[2]};
    copyPlanesToPixels8uC3(three, planeStep, out, outStep, size);
    rgb->unlockPixels();
    for (auto& p : planes) p->unlockPixels();
    return c->cloneFrom(rgb.get(), true) && c->convertTo(format);
}
