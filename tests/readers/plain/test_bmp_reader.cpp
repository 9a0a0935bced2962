#include <gtest/gtest.h>

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
};

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
    const uint32_t offset = 14 + b.headerSize + 4 * b.coloursUsed;
    std::string s(offset, '\0');
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
    std::memset(&s[14 + b.headerSize], 0xAB, 4 * b.coloursUsed);
    const int rows = b.rowsStored < 0 ? b.height : b.rowsStored;
    for (int i = 0; i < rows; ++i) {
        const int y = b.topDown ? i : b.height - 1 - i;
        std::string row(stride, char(0xCD));
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

TEST(BmpReader, RefusedFiles) {
    struct Case {
        const char* name;
        std::string file;
    };
    auto fileWith = [](auto change) {
        BmpSpec s;
        change(s);
        return bmpFile(s);
    };
    const Case cases[] = {
        {"palette image", fileWith([](BmpSpec& s) { s.bitsPerPixel = 8; s.coloursUsed = 256; })},
        {"16-bit", fileWith([](BmpSpec& s) { s.bitsPerPixel = 16; })},
        {"108-byte header", fileWith([](BmpSpec& s) { s.headerSize = 108; })},
        {"two planes", fileWith([](BmpSpec& s) { s.planes = 2; })},
        {"257 colours", fileWith([](BmpSpec& s) { s.coloursUsed = 257; })},
        {"run-length compressed", fileWith([](BmpSpec& s) { s.compression = 1; })},
        {"zero width", fileWith([](BmpSpec& s) { s.width = 0; })},
        {"not BM", fileWith([](BmpSpec& s) { s.magic = 'A'; })},
        {"header cut short", bmpFile(BmpSpec{}).substr(0, 30)},
        {"empty", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto stream = streamOver(c.file);
        auto loader = bmpLoader(stream);
        vq_ptr<vq_FileInfo> info;
        EXPECT_FALSE(loader->getFileInfo(info.put()));
        EXPECT_TRUE(info == nullptr);
        vq_ptr<vq_stripLoader_base> strips;
        ASSERT_TRUE(loader->getStripLoader(strips.put()));
        EXPECT_EQ(strips->getImageSize(), IntPair(0, 0));
        EXPECT_FALSE(strips->prepareStrips(16, 4));
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

TEST(BmpReader, ShortPixelDataFailsTheStrip) {
    BmpSpec spec;
    spec.width = 3;
    spec.height = 10;
    spec.rowsStored = 6; // the top four image rows are missing
    const std::string file = bmpFile(spec);
    auto stream = streamOver(file);
    vq_ptr<vq_stripLoader_base> strips;
    ASSERT_TRUE(bmpLoader(stream)->getStripLoader(strips.put()));
    ASSERT_TRUE(strips->prepareStrips(10, 1));
    vq_ptr<imageContainer> strip;
    createImageContainer(strip.put());
    int done = -1;
    const std::string err = stderrOf([&] { EXPECT_FALSE(strips->readNextStrip(&done, strip.get())); });
    EXPECT_EQ(err, "Failed to read line 6 at pos " + std::to_string(file.size()) + "\n");
    EXPECT_EQ(done, 6);
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
