// Command-line probe used by the cross-check against tifffile:
//   tiff_probe dump FILE                 tags, offsets and byte counts as JSON
//   tiff_probe pixels FILE DIR MODE OUT  decoded image (strips, rows or tiles)
//   tiff_probe make-packbits DIR         writes PackBits fixtures
#include "tests/tiff/tiff_fixture.h"
#include "tiff/vqtiff_internal.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace vqtiff;
using namespace tifftest;

namespace {

void quiet(const char*, const char*, va_list) {}

std::string jsonNumber(double v) {
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%.9g", v);
    return buf;
}

template <typename T>
std::string list(const T* v, size_t n) {
    std::string s = "[";
    for (size_t i = 0; i < n; ++i) s += (i ? "," : "") + jsonNumber(double(v[i]));
    return s + "]";
}

std::string escape(const char* text) {
    std::string s = "\"";
    for (const char* p = text; *p; ++p) {
        if (*p == '"' || *p == '\\') s += '\\';
        if (uint8_t(*p) < 0x20) {
            char b[8];
            std::snprintf(b, sizeof(b), "\\u%04x", unsigned(uint8_t(*p)));
            s += b;
        } else {
            s += *p;
        }
    }
    return s + "\"";
}

std::string dumpDirectory(TIFFHandle* h) {
    const TIFFDirRecord& d = h->dir;
    std::string s = "{\"offset\":" + std::to_string(TIFFDirectoryOffset(h));
    auto add = [&](uint32_t tag, const std::string& value) { s += ",\"" + std::to_string(tag) + "\":" + value; };
    uint32_t v32;
    uint16_t v16;
    float f;
    for (uint32_t tag : {254u, 256u, 257u, 278u, 322u, 323u})
        if (TIFFQueryField(h, tag, &v32)) add(tag, "[" + std::to_string(v32) + "]");
    for (uint32_t tag : {259u, 262u, 266u, 274u, 277u, 284u, 296u, 317u})
        if (TIFFQueryField(h, tag, &v16)) add(tag, "[" + std::to_string(v16) + "]");
    if (fieldSet(h, FIELD_BITSPERSAMPLE)) add(258, "[" + std::to_string(d.bitsPerSample) + "]");
    if (fieldSet(h, FIELD_SAMPLEFORMAT)) add(339, "[" + std::to_string(d.sampleFormat) + "]");
    for (uint32_t tag : {282u, 283u})
        if (TIFFQueryField(h, tag, &f)) add(tag, "[" + jsonNumber(f) + "]");
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    if (TIFFQueryField(h, TAG_ExtraSamples, &count, &kinds)) add(338, list(kinds, count));
    bool tiled = isTiled(h);
    add(tiled ? 324 : 273, list(d.stripOffset, d.nStrips));
    add(tiled ? 325 : 279, list(d.stripByteCount, d.nStrips));
    // Custom tags: text values and counts.
    for (uint32_t i = 0; i < d.customValueCount; ++i) {
        const TIFFCustomValue& cv = d.customValues[i];
        if (cv.def->type == TYPE_ASCII)
            add(cv.def->tag, escape(static_cast<const char*>(cv.value)));
        else
            add(cv.def->tag, "{\"count\":" + std::to_string(cv.count) + "}");
    }
    return s + "}";
}

int dump(const char* path) {
    TIFFHandle* h = TIFFOpen(path, "rm");
    if (!h) return 1;
    std::string out = "{\"bigtiff\":" + std::to_string(TIFFUsesBigTIFF(h)) + ",\"dirs\":[";
    uint16_t n = TIFFCountDirectories(h);
    for (uint16_t i = 0; i < n; ++i) {
        if (!TIFFSelectDirectory(h, i)) return 2;
        out += (i ? "," : "") + dumpDirectory(h);
    }
    out += "]}";
    std::puts(out.c_str());
    TIFFCloseFile(h);
    return 0;
}

// Decodes directory `dir` into tifffile's layout: rows x columns x samples
// for contiguous data, samples x rows x columns for separate planes.
int pixels(const char* path, int dir, const std::string& mode, const char* outPath) {
    TIFFHandle* h = TIFFOpen(path, "rm");
    if (!h || !TIFFSelectDirectory(h, uint16_t(dir))) return 1;
    const TIFFDirRecord& d = h->dir;
    const bool separate = d.planarConfig == PLANAR_SEPARATE;
    const size_t planes = separate ? d.samplesPerPixel : 1;
    const size_t line = TIFFScanlineSize(h);
    Bytes image(line * d.imageLength * planes);
    if (mode == "strips") {
        size_t at = 0;
        for (uint32_t s = 0; s < d.nStrips; ++s) {
            int64_t n = TIFFReadDecodedStrip(h, s, image.data() + at, int64_t(image.size() - at));
            if (n < 0) return 3;
            at += size_t(n);
        }
        if (at != image.size()) return 4;
    } else if (mode == "rows") {
        for (size_t p = 0; p < planes; ++p)
            for (uint32_t r = 0; r < d.imageLength; ++r)
                if (TIFFReadRow(h, image.data() + (p * d.imageLength + r) * line, r, uint16_t(p)) != 1) return 3;
    } else if (mode == "tiles") {
        const size_t tileRow = TIFFTileRowSize(h);
        const size_t bytesPerPixel = tileRow / d.tileWidth;
        Bytes tile(TIFFWholeTileSize(h));
        for (size_t p = 0; p < planes; ++p)
            for (uint32_t y = 0; y < d.imageLength; y += d.tileLength)
                for (uint32_t x = 0; x < d.imageWidth; x += d.tileWidth) {
                    uint32_t t = TIFFTileOfPixel(h, x, y, 0, uint16_t(p));
                    if (TIFFReadEncodedTile(h, t, tile.data(), -1) < 0) return 3;
                    for (uint32_t ty = 0; ty < d.tileLength && y + ty < d.imageLength; ++ty) {
                        size_t cols = std::min<size_t>(d.tileWidth, d.imageWidth - x);
                        std::memcpy(image.data() + (p * d.imageLength + y + ty) * line + x * bytesPerPixel,
                                    tile.data() + ty * tileRow, cols * bytesPerPixel);
                    }
                }
    } else {
        return 5;
    }
    FILE* out = std::fopen(outPath, "wb");
    if (!out) return 6;
    std::fwrite(image.data(), 1, image.size(), out);
    std::fclose(out);
    TIFFCloseFile(h);
    return 0;
}

bool writeBytes(const std::string& path, const Bytes& b) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fwrite(b.data(), 1, b.size(), f);
    return std::fclose(f) == 0;
}

// PackBits fixtures: contiguous strips, separate planes, tiles, big-endian.
int makePackBits(const std::string& dir) {
    const uint32_t w = 50, l = 37;
    for (int variant = 0; variant < 4; ++variant) {
        bool separate = variant == 1, tiled = variant == 2, bigEndian = variant == 3;
        uint16_t spp = 3;
        TiffBuilder b(variant == 2, bigEndian);
        std::vector<uint32_t> offsets, counts;
        std::vector<Entry> e = {longs(256, {w}), longs(257, {l}), shorts(258, {8, 8, 8}), shorts(259, {32773}),
                                shorts(262, {2}), shorts(277, {spp}), shorts(284, {uint16_t(separate ? 2 : 1)})};
        if (tiled) {
            const uint32_t tw = 16, tl = 16;
            for (uint32_t y = 0; y < l; y += tl)
                for (uint32_t x = 0; x < w; x += tw) {
                    Bytes tile = pattern(tw * tl * spp, x * 7 + y);
                    Bytes coded;
                    for (uint32_t r = 0; r < tl; ++r) {
                        Bytes row(tile.begin() + r * tw * spp, tile.begin() + (r + 1) * tw * spp);
                        Bytes c = packBitsEncode(row);
                        coded.insert(coded.end(), c.begin(), c.end());
                    }
                    offsets.push_back(uint32_t(b.addData(coded)));
                    counts.push_back(uint32_t(coded.size()));
                }
            e.push_back(longs(322, {tw}));
            e.push_back(longs(323, {tl}));
            e.push_back(longs(324, offsets));
            e.push_back(longs(325, counts));
        } else {
            const uint32_t rps = 8;
            size_t planes = separate ? spp : 1;
            size_t rowBytes = separate ? w : w * spp;
            for (size_t p = 0; p < planes; ++p)
                for (uint32_t y = 0; y < l; y += rps) {
                    Bytes coded;
                    for (uint32_t r = y; r < std::min(l, y + rps); ++r) {
                        Bytes c = packBitsEncode(pattern(rowBytes, uint32_t(r * 3 + p)));
                        coded.insert(coded.end(), c.begin(), c.end());
                    }
                    offsets.push_back(uint32_t(b.addData(coded)));
                    counts.push_back(uint32_t(coded.size()));
                }
            e.push_back(longs(273, offsets));
            e.push_back(longs(278, {rps}));
            e.push_back(longs(279, counts));
        }
        b.addIfd(e);
        if (!writeBytes(dir + "/packbits_" + std::to_string(variant) + ".tif", b.bytes())) return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    TIFFInstallWarningHandler(quiet);
    if (argc >= 3 && std::strcmp(argv[1], "dump") == 0) return dump(argv[2]);
    if (argc >= 6 && std::strcmp(argv[1], "pixels") == 0) return pixels(argv[2], std::atoi(argv[3]), argv[4], argv[5]);
    if (argc >= 3 && std::strcmp(argv[1], "make-packbits") == 0) return makePackBits(argv[2]);
    std::fprintf(stderr, "usage: tiff_probe dump FILE | pixels FILE DIR MODE OUT | make-packbits DIR\n");
    return 64;
}
