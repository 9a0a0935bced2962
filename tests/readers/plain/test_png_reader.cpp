#include <gtest/gtest.h>

#include <png.h>

#include <zlib.h>

#include <cstdlib>
#include <functional>
#include <random>

#include "engine/base/imageContainer.h"
#include "readers/plain/png_reader.h"
#include "strip_helpers.h"

using namespace plaintest;

namespace {

struct PngSpec {
    int width = 3;
    int height = 2;
    int colourType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    bool interlaced = false;
    bool badSrgbChunk = false;
    int paletteSize = 256;
    // A tRNS chunk: alpha of the first palette entries, or one key colour
    // (grey or R, G, B) that stands for transparent pixels.
    std::vector<png_byte> paletteAlpha;
    std::vector<png_uint_16> key;
};

int samplesPerPixel(int colourType) {
    switch (colourType) {
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    default: return 1;
    }
}

void appendToString(png_structp png, png_bytep data, size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}

void abortOnError(png_structp, png_const_charp message) {
    std::fprintf(stderr, "fixture PNG could not be written: %s\n", message);
    std::abort();
}

// Rows hold the stored bytes (16-bit samples big-endian, low depths packed).
std::string pngFile(const PngSpec& spec, std::vector<Bytes> rows) {
    std::string file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, abortOnError, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &file, appendToString, nullptr);
    png_set_IHDR(png, info, png_uint_32(spec.width), png_uint_32(spec.height), spec.bitDepth,
                 spec.colourType, spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = png_color{png_byte(i), png_byte(i), png_byte(255 - i)};
    if (spec.colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, palette, spec.paletteSize);
    if (!spec.paletteAlpha.empty())
        png_set_tRNS(png, info, spec.paletteAlpha.data(), int(spec.paletteAlpha.size()), nullptr);
    if (!spec.key.empty()) {
        png_color_16 key{};
        key.gray = spec.key[0];
        if (spec.key.size() == 3) {
            key.red = spec.key[0];
            key.green = spec.key[1];
            key.blue = spec.key[2];
        }
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    png_write_info(png, info);
    if (spec.badSrgbChunk) {
        const png_byte twoBytes[2] = {0, 0}; // sRGB holds exactly one byte
        png_write_chunk(png, reinterpret_cast<png_const_bytep>("sRGB"), twoBytes, 2);
    }
    std::vector<png_bytep> pointers;
    for (Bytes& row : rows)
        pointers.push_back(row.data());
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return file;
}

// A pattern of 8-bit samples in the spec's layout.
std::vector<Bytes> patternRows(const PngSpec& spec) {
    std::vector<Bytes> rows;
    const int samples = samplesPerPixel(spec.colourType);
    for (int y = 0; y < spec.height; ++y) {
        Bytes row;
        for (int x = 0; x < spec.width; ++x)
            for (int c = 0; c < samples; ++c)
                row.push_back(uint8_t(x * 40 + y * 7 + c * 60));
        rows.push_back(row);
    }
    return rows;
}

void appendChunk(std::string& file, const char* type, const std::string& data, bool damaged = false) {
    auto put32 = [&](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            file.push_back(char(v >> shift));
    };
    put32(uint32_t(data.size()));
    const std::string body = std::string(type, 4) + data;
    file += body;
    const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size())));
    put32(damaged ? ~crc : crc);
}

// A PNG put together chunk by chunk, so its header may hold what the
// library's writer would refuse to write: zero-filled rows of one byte per
// pixel, no palette.
std::string handMade(uint32_t width, uint32_t height, int bitDepth, int colourType, bool damagedHeader = false) {
    std::string header;
    for (uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            header.push_back(char(v >> shift));
    header += std::string{char(bitDepth), char(colourType), 0, 0, 0};
    std::string file = "\x89PNG\r\n\x1a\n";
    appendChunk(file, "IHDR", header, damagedHeader);
    const std::string rows(size_t(height) * (1 + size_t(width) * 4), '\0');
    std::string packed(compressBound(uLong(rows.size())), '\0');
    uLongf packedSize = uLongf(packed.size());
    compress(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(rows.data()),
             uLong(rows.size()));
    packed.resize(packedSize);
    appendChunk(file, "IDAT", packed);
    appendChunk(file, "IEND", "");
    return file;
}

vq_ptr<vq_loader_base> pngLoader(const vq_ptr<vq_stream>& stream) {
    vq_ptr<vq_loader_base> loader;
    EXPECT_TRUE(createPNGLoader(stream.get(), loader.put()));
    return loader;
}

std::string reportOf(vq_FileInfo* info) {
    char text[128] = {};
    FILE* out = fmemopen(text, sizeof text, "w");
    info->printReport(out);
    std::fclose(out);
    return text;
}

std::vector<Bytes> reversedPixels(std::vector<Bytes> rows, int bytesPerPixel) {
    for (Bytes& row : rows)
        for (size_t i = 0; i + 2 < row.size(); i += size_t(bytesPerPixel))
            std::swap(row[i], row[i + 2]);
    return rows;
}

TEST(PngReader, Rgb3x2InStripsOfOneRow) {
    const PngSpec spec;
    const auto stored = patternRows(spec);
    const std::string file = pngFile(spec, stored);
    auto stream = streamOver(file);
    auto loader = pngLoader(stream);
    vq_ptr<vq_FileInfo> info;
    ASSERT_TRUE(loader->getFileInfo(info.put()));
    EXPECT_EQ(info->getPixelFormat(), 4);
    EXPECT_EQ(info->getPixelFormats(), (std::set<int>{1, 4}));
    EXPECT_EQ(info->getImageSize(), IntPair(3, 2));
    EXPECT_FALSE(info->hasAlpha());
    EXPECT_EQ(reportOf(info.get()), "Width 3 Height 2\nRGB format\n");

    vq_ptr<vq_stripLoader_base> strips;
    ASSERT_TRUE(loader->getStripLoader(strips.put()));
    EXPECT_EQ(strips->getImageSize(), IntPair(3, 2));
    EXPECT_EQ(strips->getFormat(), 4);
    EXPECT_EQ(strips->getMaxStripHeight(), 2);
    const StripPass pass = readAllStrips(strips.get(), 1, 4, 3);
    EXPECT_TRUE(pass.allRead);
    EXPECT_EQ(pass.heights, (std::vector<int>{1, 1}));
    EXPECT_EQ(pass.rowsDone, (std::vector<int>{1, 2}));
    EXPECT_EQ(pass.rows, stored);

    // A new pass starts again from the top row, here in B, G, R order.
    const StripPass again = readAllStrips(strips.get(), 2, 1, 3);
    EXPECT_TRUE(again.allRead);
    EXPECT_EQ(again.rows, reversedPixels(stored, 3));

    vq_ptr<imageContainer> image;
    createImageContainer(image.put());
    ASSERT_TRUE(loader->loadImage(image.get(), 4));
    EXPECT_EQ(rowsOf(image.get(), 3), stored);
    EXPECT_FALSE(loader->loadImage(image.get(), 5));
}

TEST(PngReader, RgbaAsEachFormat) {
    PngSpec spec;
    spec.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
    spec.width = 3;
    spec.height = 1;
    const Bytes stored = {200, 100, 0, 128, 10, 20, 30, 0, 10, 20, 30, 255};
    const std::string file = pngFile(spec, {stored});
    auto stream = streamOver(file);
    auto loader = pngLoader(stream);
    vq_ptr<vq_FileInfo> info;
    ASSERT_TRUE(loader->getFileInfo(info.put()));
    EXPECT_EQ(info->getPixelFormat(), 5);
    EXPECT_EQ(info->getPixelFormats(), (std::set<int>{2, 5}));
    EXPECT_TRUE(info->hasAlpha());
    EXPECT_EQ(reportOf(info.get()), "Width 3 Height 1\nRGBA format\n");

    struct Case {
        int format;
        Bytes row; // empty: refused
    };
    const Case cases[] = {
        {4, {227, 177, 127, 255, 255, 255, 10, 20, 30}}, // composed over white
        {5, stored},
        {2, {0, 100, 200, 128, 30, 20, 10, 0, 30, 20, 10, 255}},
        {6, {}},
        {1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        vq_ptr<vq_stripLoader_base> strips;
        ASSERT_TRUE(loader->getStripLoader(strips.put()));
        const StripPass pass = readAllStrips(strips.get(), 256, c.format, c.format == 4 ? 3 : 4);
        EXPECT_EQ(pass.prepared, !c.row.empty());
        if (c.row.empty())
            continue;
        EXPECT_EQ(pass.formats, std::vector<int>{c.format});
        EXPECT_EQ(pass.rows, std::vector<Bytes>{c.row});
    }
}

TEST(PngReader, GreyAndSixteenBitImages) {
    PngSpec grey;
    grey.colourType = PNG_COLOR_TYPE_GRAY;
    grey.width = 5;
    grey.height = 4;
    const auto greyRows = patternRows(grey);
    const std::string greyFile = pngFile(grey, greyRows);
    auto greyStream = streamOver(greyFile);
    auto loader = pngLoader(greyStream);
    vq_ptr<vq_FileInfo> info;
    ASSERT_TRUE(loader->getFileInfo(info.put()));
    EXPECT_EQ(info->getPixelFormat(), 6);
    EXPECT_EQ(info->getPixelFormats(), (std::set<int>{4, 6}));
    EXPECT_EQ(reportOf(info.get()), "Width 5 Height 4\nGrayscale format\n");
    vq_ptr<vq_stripLoader_base> strips;
    ASSERT_TRUE(loader->getStripLoader(strips.put()));
    EXPECT_EQ(readAllStrips(strips.get(), 3, 6, 1).rows, greyRows);
    // The driver asks for RGB: every grey sample becomes three, and a second
    // pass on the same strip reader starts again at the top.
    std::vector<Bytes> asRgb;
    for (const Bytes& row : greyRows) {
        Bytes wide;
        for (uint8_t g : row)
            wide.insert(wide.end(), {g, g, g});
        asRgb.push_back(wide);
    }
    const StripPass rgbPass = readAllStrips(strips.get(), 3, 4, 3);
    EXPECT_TRUE(rgbPass.allRead);
    EXPECT_EQ(rgbPass.formats, (std::vector<int>{4, 4}));
    EXPECT_EQ(rgbPass.rows, asRgb);
    EXPECT_FALSE(strips->prepareStrips(3, 1));

    // 16-bit samples come as their high bytes.
    PngSpec deep;
    deep.bitDepth = 16;
    deep.width = 2;
    deep.height = 2;
    std::vector<Bytes> deepRows, expected;
    for (int y = 0; y < 2; ++y) {
        Bytes row, high;
        for (int s = 0; s < 6; ++s) {
            row.insert(row.end(), {uint8_t(s * 40 + y), uint8_t(0xFF - s)});
            high.push_back(uint8_t(s * 40 + y));
        }
        deepRows.push_back(row);
        expected.push_back(high);
    }
    const std::string deepFile = pngFile(deep, deepRows);
    auto deepStream = streamOver(deepFile);
    vq_ptr<vq_stripLoader_base> deepStrips;
    ASSERT_TRUE(pngLoader(deepStream)->getStripLoader(deepStrips.put()));
    EXPECT_EQ(deepStrips->getFormat(), 4);
    EXPECT_EQ(readAllStrips(deepStrips.get(), 1, 4, 3).rows, expected);
}

// One pixel as the converter must show it: its colour over a white background.
Bytes overWhite(int r, int g, int b, int a) {
    auto blend = [a](int c) { return uint8_t((c * a + 255 * (255 - a)) / 255); };
    return {blend(r), blend(g), blend(b)};
}

struct KindCase {
    const char* name;
    PngSpec spec;
    int pixelFormat;
    // Stored bytes of pixel k (row-major index) and the RGB it must become;
    // samples of less than 8 bits are given one per byte and packed here.
    std::function<Bytes(int k)> stored;
    std::function<Bytes(int k)> rgb;
};

TEST(PngReader, EveryColourTypeAndDepthBecomesRgb) {
    auto spec = [](int colourType, int depth) {
        PngSpec s;
        s.colourType = colourType;
        s.bitDepth = depth;
        s.width = 9; // rows of sub-byte samples end inside a byte
        s.height = 3;
        return s;
    };
    auto grey = [](int k) { return (k * 23 + 5) % 256; };
    auto alpha = [](int k) { return std::vector<int>{0, 128, 255, 77}[size_t(k % 4)]; };
    auto index = [](int k) { return (k * 37) % 256; };
    auto noise = [](int k) { return uint8_t(k * 91 + 13); };
    // Palette entry i of the fixture is (i, i, 255 - i).
    auto paletteRgb = [](int i) { return Bytes{uint8_t(i), uint8_t(i), uint8_t(255 - i)}; };
    PngSpec paletteWithAlpha = spec(PNG_COLOR_TYPE_PALETTE, 8);
    // Shorter than the palette: the entries beyond it are opaque.
    for (int i = 0; i < 200; ++i)
        paletteWithAlpha.paletteAlpha.push_back(png_byte(i % 3 == 0 ? 0 : i % 3 == 1 ? 128 : 255));
    auto paletteAlphaOf = [](int i) { return i >= 200 ? 255 : i % 3 == 0 ? 0 : i % 3 == 1 ? 128 : 255; };
    PngSpec keyedRgb = spec(PNG_COLOR_TYPE_RGB, 8);
    keyedRgb.key = {10, 20, 30};
    PngSpec keyedGrey = spec(PNG_COLOR_TYPE_GRAY, 8);
    keyedGrey.key = {50};
    PngSpec lowPalette = spec(PNG_COLOR_TYPE_PALETTE, 4);
    lowPalette.paletteSize = 16;

    const std::vector<KindCase> cases = {
        {"grey 16", spec(PNG_COLOR_TYPE_GRAY, 16), 6,
         [&](int k) { return Bytes{uint8_t(grey(k)), noise(k)}; },
         [&](int k) { return Bytes(3, uint8_t(grey(k))); }},
        {"grey 1", spec(PNG_COLOR_TYPE_GRAY, 1), 6, [](int k) { return Bytes{uint8_t(k % 2)}; },
         [](int k) { return Bytes(3, uint8_t(k % 2 * 255)); }},
        {"grey 2", spec(PNG_COLOR_TYPE_GRAY, 2), 6, [](int k) { return Bytes{uint8_t(k % 4)}; },
         [](int k) { return Bytes(3, uint8_t(k % 4 * 85)); }},
        {"grey 4", spec(PNG_COLOR_TYPE_GRAY, 4), 6, [](int k) { return Bytes{uint8_t(k % 16)}; },
         [](int k) { return Bytes(3, uint8_t(k % 16 * 17)); }},
        {"grey with a transparent key", keyedGrey, 5,
         [](int k) { return Bytes{uint8_t(k % 3 == 0 ? 50 : k)}; },
         [](int k) { return k % 3 == 0 ? Bytes(3, 255) : Bytes(3, uint8_t(k)); }},
        {"grey with alpha", spec(PNG_COLOR_TYPE_GRAY_ALPHA, 8), 5,
         [&](int k) { return Bytes{uint8_t(grey(k)), uint8_t(alpha(k))}; },
         [&](int k) { return overWhite(grey(k), grey(k), grey(k), alpha(k)); }},
        {"grey with alpha 16", spec(PNG_COLOR_TYPE_GRAY_ALPHA, 16), 5,
         [&](int k) { return Bytes{uint8_t(grey(k)), noise(k), uint8_t(alpha(k)), noise(k + 1)}; },
         [&](int k) { return overWhite(grey(k), grey(k), grey(k), alpha(k)); }},
        {"palette", spec(PNG_COLOR_TYPE_PALETTE, 8), 4, [&](int k) { return Bytes{uint8_t(index(k))}; },
         [&](int k) { return paletteRgb(index(k)); }},
        {"palette of 4 bits", lowPalette, 4, [](int k) { return Bytes{uint8_t(k % 16)}; },
         [&](int k) { return paletteRgb(k % 16); }},
        {"palette with transparency", paletteWithAlpha, 5, [&](int k) { return Bytes{uint8_t(index(k))}; },
         [&](int k) {
             const int i = index(k);
             return overWhite(i, i, 255 - i, paletteAlphaOf(i));
         }},
        {"RGB with a transparent key", keyedRgb, 5,
         [](int k) { return k % 4 == 1 ? Bytes{10, 20, 30} : Bytes{uint8_t(k + 100), 20, 30}; },
         [](int k) { return k % 4 == 1 ? Bytes(3, 255) : Bytes{uint8_t(k + 100), 20, 30}; }},
        {"RGBA 16", spec(PNG_COLOR_TYPE_RGB_ALPHA, 16), 5,
         [&](int k) {
             return Bytes{uint8_t(k * 9), noise(k), uint8_t(grey(k)), noise(k + 1), 7, noise(k + 2),
                          uint8_t(alpha(k)), noise(k + 3)};
         },
         [&](int k) { return overWhite(k * 9, grey(k), 7, alpha(k)); }},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Bytes> rows, expected;
        for (int y = 0; y < c.spec.height; ++y) {
            Bytes row, want;
            for (int x = 0; x < c.spec.width; ++x) {
                const int k = y * c.spec.width + x;
                const Bytes px = c.stored(k);
                if (c.spec.bitDepth < 8) {
                    const int perByte = 8 / c.spec.bitDepth;
                    if (x % perByte == 0)
                        row.push_back(0);
                    row.back() |= uint8_t(px[0] << (8 - c.spec.bitDepth * (x % perByte + 1)));
                } else {
                    row.insert(row.end(), px.begin(), px.end());
                }
                const Bytes rgb = c.rgb(k);
                want.insert(want.end(), rgb.begin(), rgb.end());
            }
            rows.push_back(row);
            expected.push_back(want);
        }
        const std::string file = pngFile(c.spec, rows);
        auto stream = streamOver(file);
        auto loader = pngLoader(stream);
        vq_ptr<vq_FileInfo> info;
        ASSERT_TRUE(loader->getFileInfo(info.put()));
        EXPECT_EQ(info->getPixelFormat(), c.pixelFormat);
        EXPECT_EQ(info->hasAlpha(), c.pixelFormat == 5);
        vq_ptr<vq_stripLoader_base> strips;
        ASSERT_TRUE(loader->getStripLoader(strips.put()));
        const StripPass pass = readAllStrips(strips.get(), 2, 4, 3);
        EXPECT_TRUE(pass.allRead);
        EXPECT_EQ(pass.rows, expected);
    }
}

TEST(PngReader, FilesTheLibraryOnlyWarnsAboutStillRead) {
    // A malformed ancillary chunk draws a warning and is skipped; the image
    // itself is whole and must be delivered.
    PngSpec spec;
    spec.badSrgbChunk = true;
    const auto stored = patternRows(spec);
    const std::string file = pngFile(spec, stored);
    auto stream = streamOver(file);
    auto loader = pngLoader(stream);
    vq_ptr<vq_FileInfo> info;
    ASSERT_TRUE(loader->getFileInfo(info.put()));
    EXPECT_EQ(info->getImageSize(), IntPair(3, 2));
    vq_ptr<vq_stripLoader_base> strips;
    ASSERT_TRUE(loader->getStripLoader(strips.put()));
    const StripPass pass = readAllStrips(strips.get(), 2, 4, 3);
    EXPECT_TRUE(pass.allRead);
    EXPECT_EQ(pass.rows, stored);
}

TEST(PngReader, RefusedFiles) {
    auto file = [](auto change) {
        PngSpec s;
        change(s);
        std::vector<Bytes> rows = patternRows(s);
        if (s.bitDepth < 8)
            for (Bytes& row : rows)
                row.resize((size_t(s.width) * size_t(s.bitDepth) + 7) / 8);
        return pngFile(s, rows);
    };
    struct Case {
        const char* name;
        std::string bytes;
        const char* message;
    };
    const Case cases[] = {
        {"interlaced", file([](PngSpec& s) { s.interlaced = true; }),
         "Currently don't process PNG interlaced images\n"},
        {"not a PNG", "P6 1 1 255\n\x01\x02\x03", "PNG library error: Not a PNG file\n"},
        {"empty", "", "PNG library error: read past the end of the data\n"},
        // Layouts the format does not define.
        {"grey of 3 bits", handMade(2, 1, 3, 0), "PNG library error: Invalid IHDR data (Invalid bit depth in IHDR)\n"},
        {"RGB of 4 bits", handMade(2, 1, 4, 2), "PNG library error: Invalid IHDR data (Invalid color type/bit depth combination in IHDR)\n"},
        {"colour type 5", handMade(2, 1, 8, 5), "PNG library error: Invalid IHDR data (Invalid color type in IHDR)\n"},
        {"zero width", handMade(0, 1, 8, 2), "PNG library error: Invalid IHDR data (Image width is zero in IHDR)\n"},
        {"damaged header", handMade(2, 1, 8, 2, true), "PNG library error: IHDR: CRC error\n"},
        {"palette without colours", handMade(2, 1, 8, 3), "PNG library error: IDAT: Missing PLTE before IDAT\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto stream = streamOver(c.bytes);
        auto loader = pngLoader(stream);
        vq_ptr<vq_FileInfo> info;
        const std::string err = stderrOf([&] { EXPECT_FALSE(loader->getFileInfo(info.put())); });
        EXPECT_EQ(err, c.message);
        EXPECT_TRUE(info == nullptr);
        vq_ptr<vq_stripLoader_base> strips;
        stderrOf([&] { EXPECT_FALSE(loader->getStripLoader(strips.put())); });
    }
    vq_ptr<vq_loader_base> none;
    EXPECT_FALSE(createPNGLoader(nullptr, none.put()));
}

TEST(PngReader, DataCutShortFailsAStrip) {
    PngSpec spec;
    spec.width = 256;
    spec.height = 64;
    std::vector<Bytes> noise(64, Bytes(256 * 3));
    std::mt19937 random(7);
    for (Bytes& row : noise)
        for (uint8_t& b : row)
            b = uint8_t(random());
    const std::string file = pngFile(spec, noise);
    const std::string cut = file.substr(0, file.size() / 2);
    auto stream = streamOver(cut);
    auto loader = pngLoader(stream);
    vq_ptr<vq_stripLoader_base> strips;
    ASSERT_TRUE(loader->getStripLoader(strips.put()));
    const StripPass pass = readAllStrips(strips.get(), 16, 4, 3);
    ASSERT_TRUE(pass.prepared);
    EXPECT_FALSE(pass.allRead);
    ASSERT_FALSE(pass.rows.empty()) << "the strips before the cut arrive";
    EXPECT_LT(pass.rows.size(), 64u);
    for (size_t r = 0; r < pass.rows.size(); ++r)
        EXPECT_EQ(pass.rows[r], noise[r]);
}

} // namespace
