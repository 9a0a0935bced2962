// The JPEG file reader against files written by cjpeg and decoded by djpeg
// and libturbojpeg.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include "engine/base/imageContainer.h"
#include "engine/base/stream.h"
#include "tests/jpeg/jpeg_fixtures.h"
#include "jpeg/jpeg_reader.h"
#include "primitives/core/dispatch.h"
#include "tests/support/path_harness.h"

using namespace jpegtest;

namespace {

// A loader over bytes the test keeps alive.
struct Source {
    std::string bytes;
    vq_ptr<vq_stream> stream;
    vq_ptr<vq_loader_base> loader;

    explicit Source(std::string b) : bytes(std::move(b)) {
        EXPECT_EQ(openMemoryStream(bytes.empty() ? "" : bytes.data(), bytes.size(), stream.put()), 0);
        EXPECT_TRUE(createJPEGLoader(stream.get(), loader.put()));
    }
};

vq_ptr<imageContainer> newContainer() { return vq_ptr<imageContainer>::adopt(imageContainer::create()); }

// The visible pixels of a container, rows packed.
std::string pixelsOf(imageContainer* c) {
    std::string out(static_cast<size_t>(c->getWidth()) * c->getChannels() * c->getHeight(), '\0');
    EXPECT_TRUE(c->copyDataTo(out.data(), 0, c->getHeight(), c->getWidth(), c->getWidth() * c->getChannels()));
    return out;
}

// "" when equal, else where the first difference lies.
std::string difference(const std::string& a, const std::string& b) {
    if (a == b) return "";
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) + ", first difference at " +
           std::to_string(i);
}

// Fills the containers a decode is about to re-use, so that a sample the
// decode leaves unwritten shows as a difference from the reference.
void seed(std::initializer_list<imageContainer*> containers) {
    for (imageContainer* c : containers)
        if (c->isAllocated()) c->fill(0xA5);
}

std::string report(vq_FileInfo* info) {
    char* text = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&text, &size);
    info->printReport(f);
    std::fclose(f);
    std::string out(text, size);
    free(text);
    return out;
}

} // namespace

TEST(JpegReader, FileInfoAndReportForEveryKind) {
    struct Case {
        std::string name, options;
        bool grey;
        std::string report;
        int format;
        std::set<int> formats;
        int subsampling;
    } cases[] = {
        {"444", "-sample 1x1", false, "YCbCr JPEG\n4:4:4 - no downsampling\n", 3, {3, 4}, 1},
        {"422", "-sample 2x1", false, "YCbCr JPEG\n4:2:2 - 2:1 horizontal downsampling\n", 3, {3, 4}, 2},
        {"440", "-sample 1x2", false, "YCbCr JPEG\nRotated 4:2:2 - 2:1 vertical downsampling\n", 3, {3, 4}, 3},
        {"420", "-sample 2x2", false, "YCbCr JPEG\n4:2:0 - 2:1 horizontal and vertical downsampling\n", 3, {3, 4}, 4},
        {"411", "-sample 4x1", false, "YCbCr JPEG\n", 3, {3, 4}, 5},
        {"grey", "", true, "Grayscale JPEG\n4:4:4 - no downsampling\n", 6, {6}, 1},
        {"rgb", "-rgb", false, "RGB JPEG\n4:4:4 - no downsampling\n", 4, {4}, 1},
        {"cmyk", "", false, "4:4:4 - no downsampling\n", -1, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Source src(c.name == "cmyk" ? cmykJpeg(37, 21, 85) : cjpeg("-quality 85 " + c.options, 37, 21, c.grey));
        vq_ptr<vq_FileInfo> info;
        ASSERT_TRUE(src.loader->getFileInfo(info.put()));
        EXPECT_TRUE(info->isValid());
        EXPECT_EQ(report(info.get()), "Estimated quality 85\n" + c.report);
        EXPECT_EQ(info->getPixelFormat(), c.format);
        EXPECT_EQ(info->getPixelFormats(), c.formats);
        EXPECT_EQ(info->getSubsampling(), c.subsampling);
        EXPECT_EQ(info->getImageSize(), IntPair(37, 21));
        EXPECT_EQ(info->getLevelSizes(), std::vector<IntPair>{IntPair(37, 21)});
        EXPECT_EQ(src.loader->canLoadYCbCr(), c.format == 3);
        EXPECT_EQ(src.stream->tell(), 0);
        vq_ptr<vq_stripLoader_base> strips;
        ASSERT_TRUE(src.loader->getStripLoader(strips.put()));
        EXPECT_EQ(strips->supportsYCbCr(), c.format == 3);
        EXPECT_EQ(strips->getSubsampling(), c.subsampling);
        EXPECT_EQ(strips->getFormat(), c.format);
    }
}

TEST(JpegReader, QualityEstimateFindsEveryQuality) {
    for (int q = 1; q <= 100; ++q) {
        Source src(cjpeg("-baseline -quality " + std::to_string(q), 8, 8));
        vq_ptr<vq_FileInfo> info;
        ASSERT_TRUE(src.loader->getFileInfo(info.put()));
        EXPECT_EQ(info->getQuality(), q);
    }
}

TEST(JpegReader, DensityBecomesDotsPerInch) {
    struct Case {
        uint8_t unit;
        int x, y;
        IntPair dpi;
    } cases[] = {{2, 118, 118, IntPair(300, 300)}, {1, 72, 96, IntPair(72, 96)}, {0, 1, 1, IntPair(0, 0)},
                 {2, 10, 39, IntPair(25, 99)}};
    std::string base = cjpeg("", 16, 16);
    ASSERT_EQ(base.substr(6, 5), std::string("JFIF\0", 5));
    for (const Case& c : cases) {
        std::string s = base;
        s[13] = static_cast<char>(c.unit);
        s[14] = static_cast<char>(c.x >> 8);
        s[15] = static_cast<char>(c.x & 0xFF);
        s[16] = static_cast<char>(c.y >> 8);
        s[17] = static_cast<char>(c.y & 0xFF);
        Source src(s);
        vq_ptr<vq_FileInfo> info;
        ASSERT_TRUE(src.loader->getFileInfo(info.put()));
        EXPECT_EQ(info->getResolution(), c.dpi) << int(c.unit) << " " << c.x;
    }
}

TEST(JpegReader, EmptyForeignTablesOnlyAndTruncatedStreams) {
    vq_ptr<imageContainer> dst = newContainer();
    for (const std::string& bad : {std::string(), std::string("not a JPEG file at all")}) {
        Source src(bad);
        vq_ptr<vq_FileInfo> info;
        EXPECT_FALSE(src.loader->getFileInfo(info.put()));
        EXPECT_TRUE(info == nullptr);
        EXPECT_FALSE(src.loader->loadImage(dst.get(), 4));
        EXPECT_FALSE(src.loader->canLoadYCbCr());
        vq_ptr<imageContainer> y = newContainer(), cb = newContainer(), cr = newContainer();
        EXPECT_FALSE(src.loader->loadImageYCbCr(y.get(), cb.get(), cr.get()));
        vq_ptr<vq_stripLoader_base> strips;
        ASSERT_TRUE(src.loader->getStripLoader(strips.put()));
        EXPECT_EQ(strips->getImageSize(), IntPair(0, 0));
        EXPECT_FALSE(strips->supportsYCbCr());
    }

    // A tables-only stream: an invalid file info comes back.
    const std::string full = cjpeg("-quality 60", 64, 48);
    const size_t sof = full.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    Source tables(full.substr(0, sof) + "\xFF\xD9");
    vq_ptr<vq_FileInfo> info;
    EXPECT_FALSE(tables.loader->getFileInfo(info.put()));
    ASSERT_TRUE(info != nullptr);
    EXPECT_FALSE(info->isValid());
    EXPECT_EQ(report(info.get()), "");

    // Cut inside the header: no image. Cut inside the entropy-coded data: the
    // header reads, but the image is refused with the library's message, and
    // the strips before the damage match what djpeg decodes before it guesses
    // the rest.
    Source header(full.substr(0, sof + 6));
    EXPECT_FALSE(header.loader->getFileInfo(info.put()));
    EXPECT_FALSE(header.loader->loadImage(dst.get(), 4));
    const size_t sos = full.find("\xFF\xDA");
    ASSERT_NE(sos, std::string::npos);
    const std::string cut = full.substr(0, full.size() - (full.size() - sos) / 3);
    Source truncated(cut);
    ASSERT_TRUE(truncated.loader->getFileInfo(info.put()));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(truncated.loader->loadImage(dst.get(), 4));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Premature end of JPEG file; rows from "), std::string::npos);

    const IntPair size = info->getImageSize();
    const Pnm expected = parsePnm(runTool("djpeg", "-pnm", cut, 2));
    vq_ptr<vq_stripLoader_base> strips;
    ASSERT_TRUE(truncated.loader->getStripLoader(strips.put()));
    strips->getImageSize();
    ASSERT_TRUE(strips->prepareStrips(16, 4));
    int done = 0, good = 0;
    std::string delivered;
    testing::internal::CaptureStderr();
    while (done < size.second) {
        vq_ptr<imageContainer> strip = newContainer();
        if (!strips->readNextStrip(&done, strip.get())) break;
        delivered += pixelsOf(strip.get());
        good = done;
    }
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_LT(good, size.second);
    EXPECT_GT(good, 0);
    EXPECT_NE(messages.find("Premature end of JPEG file"), std::string::npos) << messages;
    EXPECT_EQ(difference(delivered, expected.pixels.substr(0, delivered.size())), "");
}

TEST(JpegReader, PixelsAndPixelStripsEqualDjpeg) {
    struct Case {
        std::string options;
        bool grey;
        int format;
    } cases[] = {{"-sample 2x2", false, 4}, {"-sample 1x2", false, 4}, {"-rgb", false, 4}, {"", true, 6}};
    const int w = 203, h = 150, stripHeight = 37;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options + (c.grey ? " grey" : ""));
        Source src(cjpeg(c.options, w, h, c.grey));
        Pnm expected = parsePnm(runTool("djpeg", "-pnm", src.bytes));
        ASSERT_EQ(expected.width, w);
        vq_ptr<imageContainer> dst = newContainer();
        ASSERT_TRUE(dst->create(c.format, w, h, false));
        seed({dst.get()});
        ASSERT_TRUE(src.loader->loadImage(dst.get(), c.format));
        EXPECT_EQ(dst->getFormat(), c.format);
        EXPECT_EQ(difference(pixelsOf(dst.get()), expected.pixels), "");
        if (c.grey) {
            EXPECT_FALSE(src.loader->loadImage(dst.get(), 4));
        }

        vq_ptr<vq_stripLoader_base> strips;
        ASSERT_TRUE(src.loader->getStripLoader(strips.put()));
        EXPECT_EQ(strips->getMinTileSize(), 0);
        ASSERT_EQ(strips->getImageSize(), IntPair(w, h));
        EXPECT_EQ(strips->getMinTileSize(), 1);
        EXPECT_EQ(strips->getMaxStripHeight(), h);
        ASSERT_TRUE(strips->prepareStrips(stripHeight, c.format));
        std::string all;
        int rowsDone = 0, expectedDone = 0;
        while (rowsDone < h) {
            seed({dst.get()});
            ASSERT_TRUE(strips->readNextStrip(&rowsDone, dst.get()));
            expectedDone = std::min(expectedDone + stripHeight, h);
            EXPECT_EQ(rowsDone, expectedDone);
            EXPECT_EQ(dst->getWidth(), w);
            all += pixelsOf(dst.get());
        }
        EXPECT_EQ(all, expected.pixels);
        EXPECT_FALSE(strips->readNextStrip(&rowsDone, dst.get()));

        // The same through the plain stream decoder.
        imageContainer* decoded = nullptr;
        ASSERT_TRUE(decodeJpegStream(src.stream.get(), &decoded, c.format));
        vq_ptr<imageContainer> held = vq_ptr<imageContainer>::adopt(decoded);
        EXPECT_EQ(difference(pixelsOf(held.get()), expected.pixels), "");
    }
    vq_ptr<vq_stream> junk;
    ASSERT_EQ(openMemoryStream("junk", 4, junk.put()), 0);
    imageContainer* none = nullptr;
    EXPECT_FALSE(decodeJpegStream(junk.get(), &none, 4));
    EXPECT_EQ(none, nullptr);
}

TEST(JpegReader, PlanesAndPlaneStripsEqualTurboYuvPlanes) {
    struct Case {
        std::string sample;
        int width, height, stripHeight;
    } cases[] = {{"2x2", 1000, 1000, 256}, {"2x2", 203, 75, 32}, {"2x1", 203, 75, 24},
                 {"1x2", 203, 75, 32}, {"1x1", 203, 75, 40}, {"4x1", 203, 75, 16},
                 // Strips that end inside a decoding batch of 16 rows.
                 {"2x2", 203, 75, 20}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sample + " " + std::to_string(c.width));
        Source src(cjpeg("-sample " + c.sample, c.width, c.height));
        // The reference planes from libturbojpeg, rows packed.
        tjhandle tj = tjInitDecompress();
        int tw = 0, th = 0, ts = 0, tc = 0;
        ASSERT_EQ(tjDecompressHeader3(tj, reinterpret_cast<const unsigned char*>(src.bytes.data()), src.bytes.size(),
                                      &tw, &th, &ts, &tc),
                  0);
        std::vector<std::string> ref(3);
        unsigned char* planes[3];
        int strides[3];
        for (int p = 0; p < 3; ++p) {
            strides[p] = tjPlaneWidth(p, tw, ts);
            ref[p].resize(static_cast<size_t>(strides[p]) * static_cast<size_t>(tjPlaneHeight(p, th, ts)));
            planes[p] = reinterpret_cast<unsigned char*>(ref[p].data());
        }
        ASSERT_EQ(tjDecompressToYUVPlanes(tj, reinterpret_cast<const unsigned char*>(src.bytes.data()),
                                          src.bytes.size(), planes, tw, strides, th, 0),
                  0);
        tjDestroy(tj);

        // The planes at the component sizes (libturbojpeg pads them to whole MCUs).
        const int hMax = c.sample[0] - '0', vMax = c.sample[2] - '0';
        int widths[3], heights[3];
        for (int p = 0; p < 3; ++p) {
            widths[p] = p == 0 ? c.width : (c.width + hMax - 1) / hMax;
            heights[p] = p == 0 ? c.height : (c.height + vMax - 1) / vMax;
            std::string cropped;
            for (int r = 0; r < heights[p]; ++r)
                cropped += ref[p].substr(static_cast<size_t>(r) * strides[p], static_cast<size_t>(widths[p]));
            ref[p] = cropped;
        }
        vq_ptr<imageContainer> y = newContainer(), cb = newContainer(), cr = newContainer();
        imageContainer* got[3] = {y.get(), cb.get(), cr.get()};
        // A second decode into the same planes starts from other samples.
        for (int pass = 0; pass < 2; ++pass) {
            seed({y.get(), cb.get(), cr.get()});
            ASSERT_TRUE(src.loader->loadImageYCbCr(y.get(), cb.get(), cr.get()));
            for (int p = 0; p < 3; ++p) {
                EXPECT_EQ(got[p]->getFormat(), 7 + p);
                EXPECT_EQ(got[p]->getWidth(), widths[p]) << p;
                EXPECT_EQ(difference(pixelsOf(got[p]), ref[p]), "") << "plane " << p << " pass " << pass;
            }
        }

        vq_ptr<vq_stripLoader_base> strips;
        ASSERT_TRUE(src.loader->getStripLoader(strips.put()));
        ASSERT_EQ(strips->getImageSize(), IntPair(c.width, c.height));
        ASSERT_TRUE(strips->prepareStripsYCbCr(c.stripHeight));
        const bool halfRows = c.sample == "2x2" || c.sample == "1x2";
        std::vector<std::string> all(3);
        int rowsDone = 0, previous = 0;
        while (rowsDone < c.height) {
            seed({y.get(), cb.get(), cr.get()});
            ASSERT_TRUE(strips->readNextStripYCbCr(&rowsDone, y.get(), cb.get(), cr.get()));
            const int rows = rowsDone - previous;
            EXPECT_EQ(rows, std::min(c.stripHeight, c.height - previous));
            EXPECT_EQ(y->getHeight(), rows);
            EXPECT_EQ(cb->getHeight(), halfRows ? (rows + 1) / 2 : rows);
            EXPECT_EQ(cr->getWidth(), widths[2]);
            previous = rowsDone;
            for (int p = 0; p < 3; ++p) all[p] += pixelsOf(got[p]);
        }
        for (int p = 0; p < 3; ++p) EXPECT_EQ(difference(all[p], ref[p]), "") << "strip plane " << p;
    }
}

namespace {

// A four-ink JPEG made by the JPEG library from varied CMYK rows, stored as
// CMYK or YCCK, with or without the Adobe marker.
std::string fourInkJpeg(J_COLOR_SPACE stored, bool adobe, int w, int h) {
    jpeg_compress_struct c;
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buf, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, stored);
    c.write_Adobe_marker = adobe ? TRUE : FALSE;
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(w) * 4);
    while (c.next_scanline < c.image_height) {
        const int y = static_cast<int>(c.next_scanline);
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 4; ++k) row[static_cast<size_t>(x) * 4 + k] = JSAMPLE((x * (k + 1) + y * 5 + k * 60) % 256);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string out(reinterpret_cast<char*>(buf), size);
    free(buf);
    return out;
}

// The library's own decoding of the file to CMYK (its YCCK conversion
// included) and whether it saw the Adobe marker.
std::vector<uint8_t> libraryInks(const std::string& file, bool* adobe) {
    jpeg_decompress_struct d;
    jpeg_error_mgr errors;
    d.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(file.data()), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&d);
    *adobe = d.saw_Adobe_marker != 0;
    std::vector<uint8_t> inks(static_cast<size_t>(d.output_width) * d.output_height * 4);
    while (d.output_scanline < d.output_height) {
        JSAMPROW r = inks.data() + static_cast<size_t>(d.output_scanline) * d.output_width * 4;
        jpeg_read_scanlines(&d, &r, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return inks;
}

} // namespace

// Four-ink files convert to RGB: each channel is the light the ink leaves
// times the light the black leaves, inks read as inverted under the Adobe
// marker. The reference inks come from the JPEG library's own decoding; the
// YCCK conversion of the processor paths may move an ink by one.
TEST(JpegReader, CmykAndYcckFilesConvertToRgb) {
    const int w = 61, h = 29, stripHeight = 8;
    struct Case { J_COLOR_SPACE space; bool adobe; } cases[] = {
        {JCS_CMYK, true}, {JCS_YCCK, true}, {JCS_CMYK, false}};
    const int saved = processorDispatchIndex;
    for (int path : vqtest::allPaths())
    for (const Case& c : cases) {
        processorDispatchIndex = path;
        const int tolerance = path == 0 ? 0 : 1;
        SCOPED_TRACE(std::string(c.space == JCS_CMYK ? "CMYK" : "YCCK") + (c.adobe ? " Adobe " : " plain ") +
                     vqtest::pathName(path));
        Source src(fourInkJpeg(c.space, c.adobe, w, h));
        bool adobe = false;
        const std::vector<uint8_t> inks = libraryInks(src.bytes, &adobe);
        ASSERT_EQ(adobe, c.adobe);
        std::string expected(static_cast<size_t>(w) * h * 3, '\0');
        for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
            const double k = adobe ? inks[4 * i + 3] : 255 - inks[4 * i + 3];
            for (int ch = 0; ch < 3; ++ch) {
                const double light = adobe ? inks[4 * i + ch] : 255 - inks[4 * i + ch];
                expected[3 * i + ch] = static_cast<char>(std::lround(light * k / 255.0));
            }
        }
        vq_ptr<vq_stripLoader_base> strips;
        ASSERT_TRUE(src.loader->getStripLoader(strips.put()));
        ASSERT_EQ(strips->getImageSize(), IntPair(w, h));
        EXPECT_FALSE(strips->prepareStrips(stripHeight, 6));  // RGB only
        ASSERT_TRUE(strips->prepareStrips(stripHeight, 4));
        std::string all;
        int rowsDone = 0;
        vq_ptr<imageContainer> dst = newContainer();
        while (rowsDone < h) {
            ASSERT_TRUE(strips->readNextStrip(&rowsDone, dst.get()));
            EXPECT_EQ(dst->getChannels(), 3);
            all += pixelsOf(dst.get());
        }
        ASSERT_EQ(all.size(), expected.size());
        int worst = 0;
        for (size_t i = 0; i < all.size(); ++i)
            worst = std::max(worst, std::abs(static_cast<uint8_t>(all[i]) - static_cast<uint8_t>(expected[i])));
        EXPECT_LE(worst, tolerance);
    }
    processorDispatchIndex = saved;
}
