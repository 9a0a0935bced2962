// Writes the seed corpus of every fuzz target from the tests' own fixture
// builders: small valid files of each kind a reader takes, one folder per
// target. Usage: fuzz_make_seeds <corpus folder>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_common.h"
#include "tests/jpeg/jpeg_fixtures.h"
#include "tests/readers/tiff/slide_fixture.h"
#include "tests/tiff/tiff_fixture.h"

using namespace slidetest;
using namespace tifftest;

namespace {

std::string root;

void put(const std::string& target, const std::string& name, const Bytes& bytes) {
    std::filesystem::create_directories(root + "/" + target);
    std::string path = root + "/" + target + "/" + name;
    if (!fuzz::writeFile(path, bytes.data(), bytes.size())) std::fprintf(stderr, "cannot write %s\n", path.c_str());
}
void put(const std::string& target, const std::string& name, const std::string& text) {
    put(target, name, toBytes(text));
}

void writeRows(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

// A PNG of the colour type and depth with pattern samples (and a palette or
// transparency where the type has them).
Bytes png(int colourType, int depth, int width, int height, bool trns) {
    Bytes out;
    png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(p);
    if (setjmp(png_jmpbuf(p))) {
        png_destroy_write_struct(&p, &info);
        return {};
    }
    png_set_write_fn(p, &out, writeRows, nullptr);
    png_set_IHDR(p, info, png_uint_32(width), png_uint_32(height), depth, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
        png_set_PLTE(p, info, palette, 4);
        if (trns) {
            png_byte alpha[2] = {0, 128};
            png_set_tRNS(p, info, alpha, 2, nullptr);
        }
    }
    png_write_info(p, info);
    const int channels = png_get_channels(p, info);
    const size_t rowBytes = (size_t(width) * channels * depth + 7) / 8;
    Bytes rows = pattern(rowBytes * size_t(height), uint32_t(colourType + depth));
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        for (auto& b : rows) b &= 0x55; // indices 0..1 in every 2-bit field of the 8-bit samples
    for (int y = 0; y < height; ++y) png_write_row(p, rows.data() + size_t(y) * rowBytes);
    png_write_end(p, info);
    png_destroy_write_struct(&p, &info);
    return out;
}

void le16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void le32(Bytes& b, uint32_t v) {
    le16(b, v & 0xFFFF);
    le16(b, v >> 16);
}

// A bottom-up BMP with a 40-byte header of 8 (palette), 24 or 32 bits.
Bytes bmp(int bits, int width, int height) {
    const uint32_t rowBytes = (uint32_t(width) * uint32_t(bits) / 8 + 3) & ~3u;
    const uint32_t paletteBytes = bits == 8 ? 256 * 4 : 0;
    const uint32_t offset = 14 + 40 + paletteBytes;
    Bytes b = {'B', 'M'};
    le32(b, offset + rowBytes * uint32_t(height));
    le32(b, 0);
    le32(b, offset);
    le32(b, 40);
    le32(b, uint32_t(width));
    le32(b, uint32_t(height));
    le16(b, 1);
    le16(b, uint32_t(bits));
    le32(b, 0);
    le32(b, rowBytes * uint32_t(height));
    le32(b, 2835);
    le32(b, 2835);
    le32(b, bits == 8 ? 256 : 0);
    le32(b, 0);
    for (uint32_t i = 0; i < paletteBytes / 4; ++i) le32(b, i * 0x010101u);
    Bytes px = pattern(rowBytes * uint32_t(height), uint32_t(bits));
    b.insert(b.end(), px.begin(), px.end());
    return b;
}

Bytes pnm(const std::string& header, size_t bytes, uint32_t seed) {
    Bytes b = toBytes(header);
    Bytes px = pattern(bytes, seed);
    b.insert(b.end(), px.begin(), px.end());
    return b;
}

// An SVS-like slide: a JPEG-tiled level with shared tables, a plain level,
// a JPEG strip thumbnail, an LZW label and a JPEG macro.
Bytes slide(bool lzwLevel) {
    TiffBuilder b;
    DirSpec level0 = jpegLevel(32, 24, 16, 3);
    level0.extra = {ascii(270, "Aperio Image Library v10\r\n32x24 [0,0 32x24] (16x16) JPEG/RGB Q=90|AppMag = 20|MPP = 0.5")};
    addDir(b, level0);
    addDir(b, rawLevel(16, 12, 16, lzwLevel ? 5 : 1, 9));
    addDir(b, jpegStrips(16, 12, 8, 40, "-quality 80 -sample 1x1", nullptr));
    DirSpec label;
    label.width = 6;
    label.height = 5;
    label.rowsPerStrip = 5;
    label.compression = 5;
    label.pieces = {lzwEncode(rgb(6, 5, 7), false)};
    label.extra = {ascii(270, "label 6x5")};
    addDir(b, label);
    DirSpec macro = jpegStrips(20, 12, 8, 60, "-quality 85 -sample 2x2", nullptr);
    macro.extra = {ascii(270, "macro 20x12")};
    addDir(b, macro);
    return b.bytes();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    root = argv[1];

    std::vector<Bytes> tiffs = sampleTiffs();
    for (size_t i = 0; i < tiffs.size(); ++i) put("tiff", "sample" + std::to_string(i) + ".tif", tiffs[i]);

    const std::pair<const char*, std::string> jpegs[] = {
        {"baseline420.jpg", jpegtest::cjpeg("-quality 75", 24, 18)},
        {"progressive.jpg", jpegtest::cjpeg("-quality 75 -progressive", 24, 18)},
        {"grey_restart.jpg", jpegtest::cjpeg("-quality 75 -grayscale -restart 1B", 20, 12, true)},
        {"rgb444.jpg", jpegtest::cjpeg("-quality 90 -rgb -sample 1x1", 16, 16)},
    };
    for (auto& [name, bytes] : jpegs) {
        put("jpeg_file", name, bytes);
        put("jpeg_markers", name, bytes);
    }
    SplitJpeg split = splitJpeg(jpegtest::cjpeg("-quality 75", 16, 16));
    put("jpeg_markers", "tables_only.jpg", split.tables);
    put("jpeg_markers", "abbreviated.jpg", split.abbreviated);
    put("jpeg_tile", "tile420.jpg", jpegtest::cjpeg("-quality 75", 32, 32));
    put("jpeg_tile", "tile444.jpg", jpegtest::cjpeg("-quality 75 -sample 1x1", 32, 32));
    put("jpeg_tile", "edge.jpg", jpegtest::cjpeg("-quality 75", 16, 8));

    put("png", "rgb8.png", png(PNG_COLOR_TYPE_RGB, 8, 5, 4, false));
    put("png", "rgba8.png", png(PNG_COLOR_TYPE_RGBA, 8, 5, 4, false));
    put("png", "grey16.png", png(PNG_COLOR_TYPE_GRAY, 16, 5, 4, false));
    put("png", "grey_alpha.png", png(PNG_COLOR_TYPE_GRAY_ALPHA, 8, 5, 4, false));
    put("png", "palette_trns.png", png(PNG_COLOR_TYPE_PALETTE, 8, 5, 4, true));

    put("bmp", "rgb24.bmp", bmp(24, 5, 3));
    put("bmp", "rgb32.bmp", bmp(32, 4, 3));
    put("bmp", "palette8.bmp", bmp(8, 6, 2));

    put("ppm", "rgb.ppm", pnm("P6\n5 3\n255\n", 5 * 3 * 3, 1));
    put("ppm", "grey.pgm", pnm("P5\n# grey\n4 3\n255\n", 4 * 3, 2));
    put("ppm", "rgb16.ppm", pnm("P6\n3 2\n65535\n", 3 * 2 * 6, 3));

    put("slide", "jpeg_levels.svs", slide(false));
    put("slide", "lzw_level.svs", slide(true));

    // Row width 5 bytes, 3 rows (the first two bytes give width - 1 and rows - 1).
    for (bool oldStyle : {false, true}) {
        Bytes coded = {4, 2};
        Bytes lzw = lzwEncode(pattern(15, 4), oldStyle);
        coded.insert(coded.end(), lzw.begin(), lzw.end());
        put("lzw", oldStyle ? "old_style.bin" : "new_style.bin", coded);
    }

    put("tile_folder", "ImageProperties.xml",
        std::string("<IMAGE_PROPERTIES WIDTH=\"1000\" HEIGHT=\"700\" NUMTILES=\"24\" NUMIMAGES=\"1\" VERSION=\"1.8\" "
                    "TILESIZE=\"256\" />\n"));
    put("bacus", "FinalScan.ini",
        std::string("[Header]\r\niImageWidth=128\r\niImageHeight=96\r\nlXStageRef=1000\r\nlYStageRef=2000\r\n"
                    "lXStepSize=120\r\nlYStepSize=90\r\nlMinimumXPos=0\r\nlMinimumYPos=0\r\n"
                    "[Da0]\r\nx=1000\r\ny=2000\r\nz=0\r\n[Da1]\r\nx=880\r\ny=2000\r\nz=0\r\n"
                    "[Da2]\r\nx=1000\r\ny=1910\r\nz=0\r\n[Da3]\r\nx=880\r\ny=1910\r\nz=0\r\n"));
    return 0;
}
