// The slide writers' JPEG tile encoder, JPEGTables builder and LZW strip
// encoder, checked with the JPEG library's own decoder, djpeg and the slide
// readers' LZW decoder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "outputs/slide/jpeg_tables_builder.h"
#include "outputs/slide/jpeg_tile_encoder.h"
#include "readers/tiff/lzw_decoder.h"
#include "tests/support/test_env.h"

namespace {

using Bytes = std::vector<uint8_t>;

vq_ptr<imageContainer> rgbTile(int w, int h) {
    auto c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    EXPECT_TRUE(c->create(4, w, h, false));
    uint8_t* p = nullptr;
    int32_t step = 0;
    c->lockPixels(&p, &step);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* px = p + y * step + 3 * x;
            px[0] = static_cast<uint8_t>(x * 255 / w);
            px[1] = static_cast<uint8_t>(y * 255 / h);
            px[2] = static_cast<uint8_t>(((x / 16 + y / 16) % 2) ? 200 : 50);
        }
    c->unlockPixels();
    return c;
}

vq_ptr<imageContainer> plane(int w, int h, uint8_t base, int dx, int dy) {
    auto c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    EXPECT_TRUE(c->create(6, w, h, false));
    uint8_t* p = nullptr;
    int32_t step = 0;
    c->lockPixels(&p, &step);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p[y * step + x] = static_cast<uint8_t>(base + x * dx + y * dy);
    c->unlockPixels();
    return c;
}

vq_ptr<vq_jpeg_tileEncoder> encoder(int quality, int subsampling, int colourSpace, bool tables) {
    vq_jpeg_tileEncoder* e = nullptr;
    EXPECT_TRUE(createJpegTileEncoder(&e));
    auto p = vq_ptr<vq_jpeg_tileEncoder>::adopt(e);
    p->setQuality(quality);
    p->setSubsampling(subsampling);
    p->setColourSpace(colourSpace);
    p->setWriteTables(tables);
    return p;
}

Bytes encodeRgb(vq_jpeg_tileEncoder* e, imageContainer* tile) {
    vq_stream* s = nullptr;
    EXPECT_EQ(createMemoryWriteStream(0, &s), 0);
    auto stream = vq_ptr<vq_stream>::adopt(s);
    EXPECT_TRUE(e->encodeTile(tile, stream.get()));
    auto* m = static_cast<vq_memoryWriteStream*>(stream.get());
    return Bytes(m->getData(), m->getData() + m->getSize());
}

bool hasMarker(const Bytes& b, uint8_t marker) {
    for (size_t i = 0; i + 1 < b.size(); ++i)
        if (b[i] == 0xFF && b[i + 1] == marker) return true;
    return false;
}

// The JPEG library's view of a stream: size, sampling and tables.
struct Decoded {
    int width = 0, height = 0, components = 0;
    int hSamp[3] = {}, vSamp[3] = {};
    std::vector<std::vector<uint16_t>> tables;
    Bytes pixels;
};

Decoded decode(const Bytes& data) {
    Decoded d;
    jpeg_decompress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    for (int t = 0; t < NUM_QUANT_TBLS; ++t) {
        std::vector<uint16_t> table;
        if (info.quant_tbl_ptrs[t] != nullptr) table.assign(info.quant_tbl_ptrs[t]->quantval, info.quant_tbl_ptrs[t]->quantval + 64);
        d.tables.push_back(table);
    }
    d.components = info.num_components;
    for (int c = 0; c < std::min(3, info.num_components); ++c) {
        d.hSamp[c] = info.comp_info[c].h_samp_factor;
        d.vSamp[c] = info.comp_info[c].v_samp_factor;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    d.width = static_cast<int>(info.output_width);
    d.height = static_cast<int>(info.output_height);
    d.pixels.resize(static_cast<size_t>(d.width) * d.height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = d.pixels.data() + static_cast<size_t>(info.output_scanline) * d.width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return d;
}

// A complete JPEG made by the library itself, with the quality's tables.
Bytes libraryJpeg(int quality, bool grey) {
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = 32;
    info.image_height = 32;
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    Bytes row(32 * 3, 128);
    while (info.next_scanline < 32) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&info, &r, 1);
    }
    jpeg_finish_compress(&info);
    Bytes b(out, out + size);
    jpeg_destroy_compress(&info);
    free(out);
    return b;
}

vq_ptr<vq_raw_tile> rawTile(const Bytes& b) {
    vq_ptr<vq_raw_tile> t = vq_ptr<vq_raw_tile>::adopt(vq_raw_tile::create());
    EXPECT_TRUE(t->allocate(static_cast<int32_t>(b.size()), IntPair(32, 32)));
    std::memcpy(t->getData(), b.data(), b.size());
    t->setDataLength(static_cast<int32_t>(b.size()));
    return t;
}

std::vector<uint16_t> standardTable(int quality, int index) {
    return decode(libraryJpeg(quality, false)).tables[static_cast<size_t>(index)];
}

TEST(JpegTables, SizesAndSegmentsForBothColourSpaces) {
    JpegTablesBuilder ycc;
    ASSERT_TRUE(ycc.build(80, 3));
    ASSERT_EQ(ycc.bytes.size(), 574u);
    EXPECT_EQ(Bytes(ycc.bytes.begin(), ycc.bytes.begin() + 7), (Bytes{0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00}));
    EXPECT_EQ(Bytes(ycc.bytes.end() - 2, ycc.bytes.end()), (Bytes{0xFF, 0xD9}));
    // The second DQT names table 1: what the frame header of a YCbCr tile selects.
    EXPECT_EQ(ycc.bytes[2 + 69 + 4], 0x01);
    EXPECT_EQ(ycc.quantTables[0], standardTable(80, 0));
    EXPECT_EQ(ycc.quantTables[1], standardTable(80, 1));

    JpegTablesBuilder rgb;
    ASSERT_TRUE(rgb.build(80, 4));
    EXPECT_EQ(rgb.bytes.size(), 289u);
    EXPECT_TRUE(rgb.quantTables[1].empty());
    int dqt = 0, dht = 0;
    for (size_t i = 2; i + 3 < rgb.bytes.size() - 2;) {
        ASSERT_EQ(rgb.bytes[i], 0xFF);
        dqt += rgb.bytes[i + 1] == 0xDB;
        dht += rgb.bytes[i + 1] == 0xC4;
        i += 2 + (size_t(rgb.bytes[i + 2]) << 8 | rgb.bytes[i + 3]);
    }
    EXPECT_EQ(dqt, 1);
    EXPECT_EQ(dht, 2);
}

// An abbreviated tile joined with the JPEGTables value decodes, through
// djpeg, to exactly the pixels of the complete stream.
TEST(JpegTileEncoder, AbbreviatedTileWithTablesDecodesLikeTheCompleteStream) {
    const std::string djpeg = vqtest::requireTool("djpeg");
    const std::string dir = vqtest::scratchDir("jpeg_tile_encoder");
    auto tile = rgbTile(256, 256);
    for (int colourSpace : {3, 4}) {
        SCOPED_TRACE(colourSpace);
        const Bytes complete = encodeRgb(encoder(80, 4, colourSpace, true).get(), tile.get());
        const Bytes abbreviated = encodeRgb(encoder(80, 4, colourSpace, false).get(), tile.get());
        EXPECT_TRUE(hasMarker(complete, 0xDB) && hasMarker(complete, 0xC4));
        EXPECT_FALSE(hasMarker(abbreviated, 0xDB) || hasMarker(abbreviated, 0xC4));
        JpegTablesBuilder tables;
        ASSERT_TRUE(tables.build(80, colourSpace));
        Bytes spliced(tables.bytes.begin(), tables.bytes.end() - 2);
        spliced.insert(spliced.end(), abbreviated.begin() + 2, abbreviated.end());
        const std::string a = dir + "/complete.jpg", b = dir + "/spliced.jpg";
        ASSERT_TRUE(vqtest::writeFile(a, std::string(complete.begin(), complete.end())));
        ASSERT_TRUE(vqtest::writeFile(b, std::string(spliced.begin(), spliced.end())));
        std::string pa, pb;
        ASSERT_EQ(vqtest::runCommand(djpeg + " -ppm '" + a + "'", &pa), 0);
        ASSERT_EQ(vqtest::runCommand(djpeg + " -ppm '" + b + "'", &pb), 0);
        EXPECT_GT(pa.size(), 256u * 256 * 3);
        EXPECT_TRUE(pa == pb);
    }
}

TEST(JpegTileEncoder, SourceTablesReplaceTheQuality) {
    auto tile = rgbTile(64, 64);
    struct Case {
        const char* name;
        Bytes source;
        bool accepted;
        std::vector<uint16_t> table0, table1;
    };
    Bytes noScan = libraryJpeg(30, false);
    noScan.resize(300);  // tables but no start of scan
    Bytes abbreviatedSource = encodeRgb(encoder(30, 4, 3, false).get(), tile.get());
    const std::vector<Case> cases = {
        {"both tables of the source", libraryJpeg(30, false), true, standardTable(30, 0), standardTable(30, 1)},
        {"table 0 only: table 1 keeps the default", libraryJpeg(30, true), true, standardTable(30, 0),
         standardTable(75, 1)},
        {"no start of scan: the quality governs", noScan, false, standardTable(95, 0), standardTable(95, 1)},
        {"abbreviated source: default tables", abbreviatedSource, true, standardTable(75, 0), standardTable(75, 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto e = encoder(95, 4, 3, true);
        auto raw = rawTile(c.source);
        EXPECT_EQ(e->setSourceTables(raw.get()), c.accepted);
        const Decoded d = decode(encodeRgb(e.get(), tile.get()));
        EXPECT_EQ(d.tables[0], c.table0);
        EXPECT_EQ(d.tables[1], c.table1);
    }
    // Without a source again, the quality is back.
    auto e = encoder(95, 4, 3, true);
    auto raw = rawTile(libraryJpeg(30, false));
    EXPECT_TRUE(e->setSourceTables(raw.get()));
    EXPECT_FALSE(e->setSourceTables(nullptr));
    EXPECT_EQ(decode(encodeRgb(e.get(), tile.get())).tables[0], standardTable(95, 0));
}

TEST(JpegTileEncoder, PlanesAtFullChromaBecomeAHalvedStream) {
    const int w = 64, h = 48;
    auto y = plane(w, h, 40, 2, 1), cb = plane(w, h, 100, 0, 1), cr = plane(w, h, 160, 1, 0);
    auto e = encoder(90, 4, 3, true);
    vq_stream* s = nullptr;
    ASSERT_EQ(createMemoryWriteStream(0, &s), 0);
    auto stream = vq_ptr<vq_stream>::adopt(s);
    const uint8_t junk[5] = {1, 2, 3, 4, 5};
    stream->write(junk, 5);  // the planes path writes from the start
    ASSERT_TRUE(e->encodeTileYCbCr(y.get(), cb.get(), cr.get(), 1, stream.get()));
    auto* m = static_cast<vq_memoryWriteStream*>(stream.get());
    const Bytes data(m->getData(), m->getData() + m->getSize());
    ASSERT_GE(data.size(), 2u);
    EXPECT_EQ(data[0], 0xFF);
    EXPECT_EQ(data[1], 0xD8);
    const Decoded d = decode(data);
    EXPECT_EQ(d.width, w);
    EXPECT_EQ(d.height, h);
    EXPECT_EQ(d.hSamp[0], 2);
    EXPECT_EQ(d.vSamp[0], 2);
    EXPECT_EQ(d.hSamp[1], 1);
    // Decoded pixels against the planes converted by the JFIF equations.
    double err = 0;
    for (int yy = 0; yy < h; ++yy)
        for (int xx = 0; xx < w; ++xx) {
            const double Y = 40 + 2 * xx + yy, Cb = 100 + yy - 128.0, Cr = 160 + xx - 128.0;
            const double rgb[3] = {Y + 1.402 * Cr, Y - 0.344136 * Cb - 0.714136 * Cr, Y + 1.772 * Cb};
            for (int c = 0; c < 3; ++c)
                err += std::fabs(std::clamp(rgb[c], 0.0, 255.0) - d.pixels[(size_t(yy) * w + xx) * 3 + c]);
        }
    EXPECT_LT(err / (w * h * 3), 3.0);

    auto unset = encoder(90, 5, 3, true);
    EXPECT_FALSE(unset->encodeTileYCbCr(y.get(), cb.get(), cr.get(), 1, stream.get()));
    EXPECT_FALSE(e->encodeTileYCbCr(y.get(), cb.get(), nullptr, 1, stream.get()));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(e->encodeTile(nullptr, stream.get()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "NULL parameters to encodeTile\n");
}

// LZW strips: the fixed cases and round trips through the slide readers' decoder.
Bytes lzw(const Bytes& in) {
    LzwWorkBuffers b;
    EXPECT_TRUE(b.prepareEncode(static_cast<int64_t>(in.size())));
    int64_t n = 0;
    EXPECT_TRUE(b.encode(static_cast<int64_t>(in.size()), in.data(), &n));
    return Bytes(b.data(), b.data() + n);
}

Bytes unlzw(Bytes packed, size_t expected) {
    LzwWorkBuffers b;
    EXPECT_TRUE(b.prepare(static_cast<int>(expected)));
    packed.push_back(0);  // the decoder wants one byte past the data
    EXPECT_TRUE(b.decode(packed.data(), static_cast<uint32_t>(packed.size() - 1), static_cast<int>(expected), 1));
    return Bytes(b.data(), b.data() + b.decodedLength());
}

TEST(LzwStripEncoder, FixedCasesAndRoundTrips) {
    EXPECT_EQ(lzw({}), (Bytes{0x80, 0x40, 0x40}));
    // No pair of neighbours twice: every input byte is one code, and the
    // dictionary starts afresh after 3837 of them.
    Bytes distinct;
    uint8_t x = 0;
    for (int step = 1; distinct.size() < 3838; step += 2)
        for (int i = 0; i < 256 && distinct.size() < 3838; ++i, x = static_cast<uint8_t>(x + step)) distinct.push_back(x);
    EXPECT_EQ(lzw(distinct).size(), 5410u);
    EXPECT_EQ(unlzw(lzw(distinct), distinct.size()), distinct);

    std::mt19937 rng(7);
    Bytes random(50000), constant(70000, 0xA5), mixed;
    for (auto& b : random) b = static_cast<uint8_t>(rng() & 0x0F);
    for (int i = 0; i < 20000; ++i) mixed.push_back(static_cast<uint8_t>(i % 7 == 0 ? rng() : i / 50));
    for (const Bytes* in : {&random, &constant, &mixed}) {
        const Bytes packed = lzw(*in);
        EXPECT_EQ(unlzw(packed, in->size()), *in);
    }
    EXPECT_LT(lzw(constant).size(), constant.size() / 50);
}

} // namespace
