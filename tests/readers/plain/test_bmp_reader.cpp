#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "engine/base/imageContainer.h"
#include "readers/plain/bmp_reader.h"
#include "strip_helpers.h"

using namespace plaintest;

namespace {

struct BmpSpec {
    int width = 4;
    int height = 3;
    int bitsPerPixel = 24;
    uint32_t headerSize = 40;
    uint32_t coloursUsed = 0;
    int32_t pixelsPerMetre = 0;
    uint16_t planes = 1;
    uint32_t compression = 0;
    bool topDown = false;
    int rowsStored = -1; // all
    char magic = 'M';
    // Bit masks R, G, B (and A): behind a 40-byte header, inside longer ones.
    std::vector<uint32_t> masks;
};

// 16-bit pixels: 5-6-5 when the green mask says so, else 5-5-5.
bool sixBitGreen(const BmpSpec& b) { return b.masks.size() > 1 && b.masks[1] == 0x07E0u; }
unsigned field(int value, int bits) { return unsigned(value) % (1u << bits); }
uint8_t scaled(unsigned v, int bits) { return uint8_t(std::lround(v * 255.0 / ((1 << bits) - 1))); }

// Colour of image pixel (x, y), y counted from the top.
uint8_t red(int x, int y) { return uint8_t(x); }
uint8_t green(int x, int y) { return uint8_t(y * 3); }
uint8_t blue(int x, int y) { return uint8_t(x * 5 + y); }
uint8_t fourth(int x, int y) { return uint8_t(200 + x + y); }

void put16(std::string& s, size_t at, uint32_t v) {
    s[at] = char(v);
    s[at + 1] = char(v >> 8);
}

void put32(std::string& s, size_t at, uint32_t v) {
    put16(s, at, v);
    put16(s, at + 2, v >> 16);
}

// A bitmap with a colour table of junk bytes and row padding of junk bytes,
// so a reader that looks at either gives itself away.
std::string bmpFile(const BmpSpec& b) {
    const int bytesPerPixel = b.bitsPerPixel / 8;
    const size_t stride = (size_t(b.width) * bytesPerPixel + 3) / 4 * 4;
    const uint32_t masksBehind = b.headerSize == 40 ? uint32_t(4 * b.masks.size()) : 0;
    const uint32_t offset = 14 + b.headerSize + masksBehind + 4 * b.coloursUsed;
    std::string s(offset, '\0');
    for (size_t i = 0; i < b.masks.size() && b.headerSize != 12; ++i)
        put32(s, 14 + 40 + 4 * i, b.masks[i]);
    s[0] = 'B';
    s[1] = b.magic;
    put32(s, 10, offset);
    put32(s, 14, b.headerSize);
    if (b.headerSize == 12) {
        put16(s, 18, uint32_t(b.width));
        put16(s, 20, uint32_t(b.height));
        put16(s, 22, b.planes);
        put16(s, 24, uint32_t(b.bitsPerPixel));
    } else {
        put32(s, 18, uint32_t(b.width));
        put32(s, 22, uint32_t(b.topDown ? -b.height : b.height));
        put16(s, 26, b.planes);
        put16(s, 28, uint32_t(b.bitsPerPixel));
        put32(s, 30, b.compression);
        put32(s, 38, uint32_t(b.pixelsPerMetre));
        put32(s, 42, uint32_t(b.pixelsPerMetre));
        put32(s, 46, b.coloursUsed);
    }
    std::memset(&s[14 + b.headerSize + masksBehind], 0xAB, 4 * b.coloursUsed);
    const int rows = b.rowsStored < 0 ? b.height : b.rowsStored;
    for (int i = 0; i < rows; ++i) {
        const int y = b.topDown ? i : b.height - 1 - i;
        std::string row(stride, char(0xCD));
        for (int x = 0; bytesPerPixel == 2 && x < b.width; ++x) {
            const bool six = sixBitGreen(b);
            const unsigned v = field(blue(x, y), 5) | field(green(x, y), six ? 6 : 5) << 5 |
                               field(red(x, y), 5) << (six ? 11 : 10);
            row[size_t(x) * 2] = char(v);
            row[size_t(x) * 2 + 1] = char(v >> 8);
        }
        for (int x = 0; bytesPerPixel >= 3 && x < b.width; ++x) {
            char* p = &row[size_t(x) * bytesPerPixel];
            p[0] = char(blue(x, y));
            p[1] = char(green(x, y));
            p[2] = char(red(x, y));
            if (bytesPerPixel == 4)
                p[3] = char(fourth(x, y));
        }
        s += row;
    }
    put32(s, 2, uint32_t(s.size()));
    return s;
}

// Image row y in a delivered format; `hasFourth` says whether the file
// stored a fourth byte (else RGBA output is opaque).
Bytes expectedRow(int width, int y, int format, bool hasFourth) {
    Bytes row;
    for (int x = 0; x < width; ++x) {
        const uint8_t a = hasFourth ? fourth(x, y) : 255;
        switch (format) {
        case 1: row.insert(row.end(), {blue(x, y), green(x, y), red(x, y)}); break;
        case 2: row.insert(row.end(), {blue(x, y), green(x, y), red(x, y), a}); break;
        case 4: row.insert(row.end(), {red(x, y), green(x, y), blue(x, y)}); break;
        case 5: row.insert(row.end(), {red(x, y), green(x, y), blue(x, y), a}); break;
        }
    }
    return row;
}

std::vector<Bytes> expectedImage(int width, int height, int format, bool hasFourth) {
    std::vector<Bytes> rows;
    for (int y = 0; y < height; ++y)
        rows.push_back(expectedRow(width, y, format, hasFourth));
    return rows;
}

vq_ptr<vq_loader_base> bmpLoader(const vq_ptr<vq_stream>& stream) {
    vq_ptr<vq_loader_base> loader;
    EXPECT_TRUE(createBMPLoader(stream.get(), loader.put()));
    return loader;
}

int bytesPerPixel(int format) {
    return format == 2 || format == 5 ? 4 : 3;
}

TEST(BmpReader, Rows101x2KeepTheirPaddingOutAndComeTopDown) {
    BmpSpec spec;
    spec.width = 101;
    spec.height = 2;
    const std::string file = bmpFile(spec);
    auto stream = streamOver(file);
    auto info = vq_ptr<vq_BMPFileInfo>::adopt(vq_BMPFileInfo::create());
    ASSERT_TRUE(info->readHeader(stream.get()));
    EXPECT_EQ(info->getRowStride(), 304);
    EXPECT_EQ(stream->tell(), 54) << "the header read leaves the stream on the first stored row";

    vq_ptr<imageContainer> image;
    createImageContainer(image.put());
    ASSERT_TRUE(bmpLoader(stream)->loadImage(image.get(), 1));
    EXPECT_EQ(image->getFormat(), 1);
    EXPECT_EQ(rowsOf(image.get(), 3), expectedImage(101, 2, 1, false));
}

TEST(BmpReader, EveryDeliverableFormatHasTheRightBytes) {
    for (int bits : {24, 32}) {
        BmpSpec spec;
        spec.width = 5;
        spec.height = 3;
        spec.bitsPerPixel = bits;
        const std::string file = bmpFile(spec);
        auto stream = streamOver(file);
        auto loader = bmpLoader(stream);
        vq_ptr<vq_FileInfo> info;
        ASSERT_TRUE(loader->getFileInfo(info.put()));
        const std::set<int> formats = info->getPixelFormats();
        const std::set<int> expected =
            bits == 24 ? std::set<int>{1, 4, 5} : std::set<int>{1, 2, 4, 5};
        EXPECT_EQ(formats, expected);
        for (int format : formats) {
            SCOPED_TRACE(testing::Message() << bits << "-bit as " << format);
            vq_ptr<imageContainer> image;
            createImageContainer(image.put());
            ASSERT_TRUE(loader->loadImage(image.get(), format));
            EXPECT_EQ(image->getFormat(), format);
            EXPECT_EQ(rowsOf(image.get(), bytesPerPixel(format)),
                      expectedImage(5, 3, format, bits == 32));
        }
        vq_ptr<imageContainer> image;
        createImageContainer(image.put());
        EXPECT_FALSE(loader->loadImage(image.get(), 6));
        if (bits == 24) {
            EXPECT_FALSE(loader->loadImage(image.get(), 2));
        }
    }
}

TEST(BmpReader, FileInfoOf24And32BitFiles) {
    struct Case {
        int bits;
        int format;
        bool alpha;
        const char* report;
    };
    const Case cases[] = {
        {24, 1, false, "Width 6 Height 2\n24-bit Windows Bitmap format\n"},
        {32, 2, true, "Width 6 Height 2\n32-bit Windows Bitmap format\n"},
    };
    for (const Case& c : cases) {
        BmpSpec spec;
        spec.width = 6;
        spec.height = 2;
        spec.bitsPerPixel = c.bits;
        spec.pixelsPerMetre = 2835;
        const std::string file = bmpFile(spec);
        auto stream = streamOver(file);
        vq_ptr<vq_FileInfo> info;
        ASSERT_TRUE(bmpLoader(stream)->getFileInfo(info.put()));
        EXPECT_EQ(info->getPixelFormat(), c.format);
        EXPECT_EQ(info->hasAlpha(), c.alpha);
        EXPECT_EQ(info->getResolution(), IntPair(72, 72));
        EXPECT_EQ(info->getImageSize(), IntPair(6, 2));
        EXPECT_EQ(stream->tell(), 0);
        char text[128] = {};
        FILE* out = fmemopen(text, sizeof text, "w");
        info->printReport(out);
        std::fclose(out);
        EXPECT_STREQ(text, c.report);
    }
}

TEST(BmpReader, HeaderVariantsThatAreRead) {
    struct Case {
        const char* name;
        BmpSpec spec;
    };
    auto with = [](auto change) {
        BmpSpec s;
        change(s);
        return s;
    };
    const Case cases[] = {
        {"core header", with([](BmpSpec& s) { s.headerSize = 12; })},
        {"64-byte header", with([](BmpSpec& s) { s.headerSize = 64; })},
        {"width beyond 16 bits", with([](BmpSpec& s) { s.width = 70000; s.height = 1; })},
        // The rows start at the pixel data offset, behind the colour table.
        {"colour table", with([](BmpSpec& s) { s.coloursUsed = 256; })},
        {"colour table, 32-bit", with([](BmpSpec& s) { s.coloursUsed = 3; s.bitsPerPixel = 32; })},
        {"rows stored top-down", with([](BmpSpec& s) { s.topDown = true; s.height = 5; })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = bmpFile(c.spec);
        auto stream = streamOver(file);
        auto loader = bmpLoader(stream);
        vq_ptr<vq_FileInfo> info;
        ASSERT_TRUE(loader->getFileInfo(info.put()));
        EXPECT_EQ(info->getImageSize(), IntPair(c.spec.width, c.spec.height));
        vq_ptr<imageContainer> image;
        createImageContainer(image.put());
        ASSERT_TRUE(loader->loadImage(image.get(), 4));
        EXPECT_EQ(rowsOf(image.get(), 3), expectedImage(c.spec.width, c.spec.height, 4, false));
    }
}

TEST(BmpReader, LaterHeadersAndStandardMasksReadAsThePlainLayouts) {
    const std::vector<uint32_t> bgrx = {0x00FF0000u, 0x0000FF00u, 0x000000FFu};
    const std::vector<uint32_t> bgra = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u};
    const std::vector<uint32_t> rgb565 = {0xF800u, 0x07E0u, 0x001Fu};
    const std::vector<uint32_t> rgb555 = {0x7C00u, 0x03E0u, 0x001Fu};
    const std::vector<uint32_t> argb1555 = {0x7C00u, 0x03E0u, 0x001Fu, 0x8000u};
    struct Case {
        const char* name;
        uint32_t headerSize;
        int bits;
        uint32_t compression;
        std::vector<uint32_t> masks;
    };
    const Case cases[] = {
        {"108-byte header", 108, 24, 0, {}},
        {"124-byte header", 124, 24, 0, {}},
        {"124-byte header, unused masks", 124, 32, 0, {0xFFu, 0xFF00u, 0xFF0000u, 0}},
        {"124-byte header, 8-8-8-8 masks", 124, 32, 3, bgra},
        {"108-byte header, 8-8-8 masks", 108, 32, 3, {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0}},
        {"40-byte header, masks behind it", 40, 32, 3, bgrx},
        {"40-byte header, alpha masks behind it", 40, 32, 6, bgra},
        {"52-byte header", 52, 32, 3, bgrx},
        {"56-byte header", 56, 32, 3, bgra},
        {"16 bits without masks are 5-5-5", 40, 16, 0, {}},
        {"5-6-5", 40, 16, 3, rgb565},
        {"5-5-5", 124, 16, 3, rgb555},
        {"1-5-5-5", 56, 16, 3, argb1555},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BmpSpec spec;
        spec.width = 7; // 16-bit rows of 14 bytes and 2 of padding
        spec.height = 40;
        spec.headerSize = c.headerSize;
        spec.bitsPerPixel = c.bits;
        spec.compression = c.compression;
        spec.masks = c.masks;
        const std::string file = bmpFile(spec);
        auto stream = streamOver(file);
        auto loader = bmpLoader(stream);
        vq_ptr<vq_FileInfo> info;
        ASSERT_TRUE(stderrOf([&] { EXPECT_TRUE(loader->getFileInfo(info.put())); }).empty());
        ASSERT_TRUE(info != nullptr);
        EXPECT_EQ(info->getPixelFormat(), c.bits == 32 ? 2 : 1);
        EXPECT_EQ(info->getImageSize(), IntPair(7, 40));
        std::vector<Bytes> expected = expectedImage(7, 40, 4, false);
        if (c.bits == 16) {
            const bool six = sixBitGreen(spec);
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 7; ++x) {
                    uint8_t* p = &expected[size_t(y)][size_t(x) * 3];
                    p[0] = scaled(field(red(x, y), 5), 5);
                    p[1] = scaled(field(green(x, y), six ? 6 : 5), six ? 6 : 5);
                    p[2] = scaled(field(blue(x, y), 5), 5);
                }
        }
        vq_ptr<vq_stripLoader_base> strips;
        ASSERT_TRUE(loader->getStripLoader(strips.put()));
        const StripPass pass = readAllStrips(strips.get(), 16, 4, 3);
        EXPECT_TRUE(pass.allRead);
        EXPECT_EQ(pass.rows, expected);
    }
}

TEST(BmpReader, RefusedFiles) {
    struct Case {
        const char* name;
        std::string file;
        const char* reason;
    };
    auto fileWith = [](auto change) {
        BmpSpec s;
        change(s);
        return bmpFile(s);
    };
    const Case cases[] = {
        {"palette image", fileWith([](BmpSpec& s) { s.bitsPerPixel = 8; s.coloursUsed = 256; }),
         "Bitmaps of 8 bits per pixel are not supported\n"},
        {"1-bit", fileWith([](BmpSpec& s) { s.bitsPerPixel = 1; }), "Bitmaps of 1 bits per pixel are not supported\n"},
        {"100-byte header", fileWith([](BmpSpec& s) { s.headerSize = 100; }),
         "Bitmap info header of 100 bytes is not a known header\n"},
        {"two planes", fileWith([](BmpSpec& s) { s.planes = 2; }), "Bitmap with 2 planes is not valid\n"},
        {"257 colours", fileWith([](BmpSpec& s) { s.coloursUsed = 257; }),
         "Bitmap colour table of 257 entries is not valid\n"},
        {"run-length compressed", fileWith([](BmpSpec& s) { s.compression = 1; }),
         "Bitmap compression 1 is not supported\n"},
        {"masks with 24 bits", fileWith([](BmpSpec& s) { s.compression = 3; s.masks = {0xFF0000u, 0xFF00u, 0xFFu}; }),
         "Bitmap compression 3 is not supported\n"},
        // The OS/2 header's code 3 is a compression, not masks.
        {"OS/2 Huffman", fileWith([](BmpSpec& s) { s.headerSize = 64; s.compression = 3; s.bitsPerPixel = 32; }),
         "Bitmap compression 3 is not supported\n"},
        {"R and B masks swapped", fileWith([](BmpSpec& s) {
             s.bitsPerPixel = 32;
             s.compression = 3;
             s.masks = {0xFFu, 0xFF00u, 0xFF0000u};
         }), "Bitmap bit masks 000000FF 0000FF00 00FF0000 00000000 are not a supported layout\n"},
        {"10-10-10 masks", fileWith([](BmpSpec& s) {
             s.headerSize = 124;
             s.bitsPerPixel = 32;
             s.compression = 3;
             s.masks = {0x3FF00000u, 0x000FFC00u, 0x000003FFu, 0xC0000000u};
         }), "Bitmap bit masks 3FF00000 000FFC00 000003FF C0000000 are not a supported layout\n"},
        {"4-4-4 masks", fileWith([](BmpSpec& s) {
             s.bitsPerPixel = 16;
             s.compression = 3;
             s.masks = {0x0F00u, 0x00F0u, 0x000Fu};
         }), "Bitmap bit masks 00000F00 000000F0 0000000F 00000000 are not a supported layout\n"},
        {"masks cut short", fileWith([](BmpSpec& s) { s.compression = 3; s.bitsPerPixel = 16; }).substr(0, 60),
         "Bitmap headers end early\n"},
        {"zero width", fileWith([](BmpSpec& s) { s.width = 0; }), "Bitmap size 0 x 3 is not supported\n"},
        // Rows the file does not hold are refused before anything is sized by them.
        {"one row missing", fileWith([](BmpSpec& s) { s.rowsStored = 2; }),
         "Bitmap of 4 x 3 pixels needs 90 bytes but the file holds 78\n"},
        {"4 x 4,128,771 in 86 bytes", fileWith([](BmpSpec& s) {
             s.bitsPerPixel = 32;
             s.height = 4128771;
             s.rowsStored = 2;
         }), "Bitmap of 4 x 4128771 pixels needs 66060390 bytes but the file holds 86\n"},
        {"33,554,436 x 3 in 54 bytes", fileWith([](BmpSpec& s) {
             s.bitsPerPixel = 32;
             s.width = 33554436;
             s.rowsStored = 0;
         }), "Bitmap of 33554436 x 3 pixels needs 402653286 bytes but the file holds 54\n"},
        {"not BM", fileWith([](BmpSpec& s) { s.magic = 'A'; }), "Not a Windows Bitmap file (no BM signature)\n"},
        {"header cut short", bmpFile(BmpSpec{}).substr(0, 30), "Bitmap headers end early\n"},
        {"empty", "", "Not a Windows Bitmap file (no BM signature)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto stream = streamOver(c.file);
        auto loader = bmpLoader(stream);
        vq_ptr<vq_FileInfo> info;
        EXPECT_EQ(stderrOf([&] { EXPECT_FALSE(loader->getFileInfo(info.put())); }), c.reason);
        EXPECT_TRUE(info == nullptr);
        vq_ptr<vq_stripLoader_base> strips;
        stderrOf([&] {
            ASSERT_TRUE(loader->getStripLoader(strips.put()));
            EXPECT_EQ(strips->getImageSize(), IntPair(0, 0));
            EXPECT_FALSE(strips->prepareStrips(16, 4));
        });
    }
}

TEST(BmpReader, StripsOf100RowsOver250) {
    for (bool topDown : {false, true}) {
        BmpSpec spec;
        spec.width = 7;
        spec.height = 250;
        spec.topDown = topDown;
        const std::string file = bmpFile(spec);
        auto stream = streamOver(file);
        vq_ptr<vq_stripLoader_base> strips;
        ASSERT_TRUE(bmpLoader(stream)->getStripLoader(strips.put()));
        EXPECT_EQ(strips->getImageSize(), IntPair(7, 250));
        EXPECT_EQ(strips->getMaxStripHeight(), 250);
        EXPECT_EQ(strips->getFormat(), 1);
        const StripPass pass = readAllStrips(strips.get(), 100, 4, 3);
        ASSERT_TRUE(pass.prepared);
        EXPECT_TRUE(pass.allRead);
        EXPECT_EQ(pass.heights, (std::vector<int>{100, 100, 50}));
        EXPECT_EQ(pass.rowsDone, (std::vector<int>{100, 200, 250}));
        EXPECT_EQ(pass.formats, (std::vector<int>{4, 4, 4}));
        EXPECT_EQ(pass.rows, expectedImage(7, 250, 4, false)) << "top-down " << topDown;
    }
}

TEST(BmpReader, PixelDataCutAfterTheHeaderFailsTheStrip) {
    BmpSpec spec;
    spec.width = 3;
    spec.height = 10;
    const std::string file = bmpFile(spec);
    // The file holds its rows when the header is read; by the time the
    // strip is read the top four image rows (stored last) are gone.
    const size_t cut = file.size() - 4 * 12;
    auto stream = streamOver(file);
    vq_ptr<vq_stripLoader_base> strips;
    ASSERT_TRUE(bmpLoader(stream)->getStripLoader(strips.put()));
    ASSERT_TRUE(strips->prepareStrips(10, 1));
    static_cast<vq_memoryStream*>(stream.get())->setBuffer(file.data(), cut);
    vq_ptr<imageContainer> strip;
    createImageContainer(strip.put());
    int done = -1;
    const std::string err = stderrOf([&] { EXPECT_FALSE(strips->readNextStrip(&done, strip.get())); });
    EXPECT_EQ(err, "Failed to read line 6 at pos " + std::to_string(cut) + "\n");
    EXPECT_EQ(done, 6);
}

TEST(BmpReader, LastRowWithoutItsPaddingIsRead) {
    BmpSpec spec;
    spec.width = 3; // 9 bytes of pixels in a stride of 12
    spec.height = 2;
    spec.topDown = true;
    const std::string file = bmpFile(spec).substr(0, 54 + 12 + 9);
    auto stream = streamOver(file);
    vq_ptr<vq_stripLoader_base> strips;
    ASSERT_TRUE(bmpLoader(stream)->getStripLoader(strips.put()));
    const StripPass pass = readAllStrips(strips.get(), 2, 4, 3);
    ASSERT_TRUE(pass.prepared);
    EXPECT_TRUE(pass.allRead);
    EXPECT_EQ(pass.rows, expectedImage(3, 2, 4, false));
    // One byte fewer and the last row is not whole.
    const std::string cut = file.substr(0, file.size() - 1);
    auto shorter = streamOver(cut);
    vq_ptr<vq_FileInfo> info;
    EXPECT_EQ(stderrOf([&] { EXPECT_FALSE(bmpLoader(shorter)->getFileInfo(info.put())); }),
              "Bitmap of 3 x 2 pixels needs 75 bytes but the file holds 74\n");
}

// The bytes a bitmap saver writes for the image; false in `saved` when the
// save fails.
std::string savedBitmap(imageContainer* image, bool& saved) {
    vq_ptr<vq_stream> out;
    EXPECT_EQ(createMemoryWriteStream(4096, out.put()), 0);
    vq_ptr<vq_saver_base> saver;
    EXPECT_TRUE(createBMPSaver(out.get(), saver.put()));
    EXPECT_FALSE(saver->supportsYCbCr());
    saved = saver->save(image, 80, 4);
    std::string bytes;
    out->seek(0, vq_seekStart);
    char buffer[256];
    for (int32_t n; (n = out->read(buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, size_t(n));
    return bytes;
}

TEST(BmpSaver, WritesBottomUpRowsInBgrOrder) {
    auto image = containerOf(4, 3, expectedImage(3, 2, 4, false));
    bool saved = false;
    const std::string bytes = savedBitmap(image.get(), saved);
    ASSERT_TRUE(saved);
    ASSERT_EQ(bytes.size(), 78u);
    const uint8_t* b = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(b[2] | b[3] << 8, 78);
    EXPECT_EQ(b[10], 54);
    EXPECT_EQ(b[14], 40);
    EXPECT_EQ(b[18], 3);
    EXPECT_EQ(b[22], 2);
    EXPECT_EQ(b[26], 1);
    EXPECT_EQ(b[28], 24);
    EXPECT_EQ(Bytes(b + 30, b + 54), Bytes(24, 0));
    Bytes bottom = expectedRow(3, 1, 1, false), top = expectedRow(3, 0, 1, false);
    bottom.resize(12, 0);
    top.resize(12, 0);
    EXPECT_EQ(Bytes(b + 54, b + 66), bottom);
    EXPECT_EQ(Bytes(b + 66, b + 78), top);

    // What was written reads back as the same image.
    vq_ptr<imageContainer> back;
    createImageContainer(back.put());
    ASSERT_TRUE(bmpLoader(streamOver(bytes))->loadImage(back.get(), 4));
    EXPECT_EQ(rowsOf(back.get(), 3), expectedImage(3, 2, 4, false));
}

TEST(BmpSaver, RgbaGetsAZeroFourthByteAndOtherFormatsAreRefused) {
    auto rgba = containerOf(5, 1, {{1, 2, 3, 4}});
    bool saved = false;
    const std::string bytes = savedBitmap(rgba.get(), saved);
    ASSERT_TRUE(saved);
    ASSERT_EQ(bytes.size(), 58u);
    EXPECT_EQ(bytes[28], 32);
    EXPECT_EQ(bytes.substr(54), std::string("\x03\x02\x01\x00", 4));

    // A grey image would need a colour table; an empty container has nothing to write.
    auto grey = containerOf(6, 2, {{1, 2}, {3, 4}});
    EXPECT_EQ(savedBitmap(grey.get(), saved), "");
    EXPECT_FALSE(saved);
    vq_ptr<imageContainer> empty;
    createImageContainer(empty.put());
    savedBitmap(empty.get(), saved);
    EXPECT_FALSE(saved);
    savedBitmap(nullptr, saved);
    EXPECT_FALSE(saved);
}

} // namespace
