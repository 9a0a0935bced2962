// The JPEG saver against cjpeg and libturbojpeg's plane compression, and the
// chroma-plane operations.
#include <cstring>

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include "engine/base/imageContainer.h"
#include "engine/base/stream.h"
#include "tests/jpeg/jpeg_fixtures.h"
#include "jpeg/jpeg_reader.h"
#include "jpeg/jpeg_saver.h"
#include "jpeg/jpeg_stream_parser.h"

using namespace jpegtest;

namespace {

vq_ptr<imageContainer> newContainer() { return vq_ptr<imageContainer>::adopt(imageContainer::create()); }

// A container of `format` holding the rows of packed pixels.
vq_ptr<imageContainer> containerOf(int format, int width, int height, const std::string& pixels) {
    vq_ptr<imageContainer> c = newContainer();
    EXPECT_TRUE(c->create(format, width, height, false));
    uint8_t* data = nullptr;
    int32_t step = 0;
    c->lockPixels(&data, &step);
    const size_t row = pixels.size() / static_cast<size_t>(height);
    for (int y = 0; y < height; ++y) std::memcpy(data + y * step, pixels.data() + y * row, row);
    c->unlockPixels();
    return c;
}

std::string streamBytes(vq_stream* s) {
    s->seek(0, vq_seekEnd);
    std::string out(static_cast<size_t>(s->tell()), '\0');
    s->seek(0, vq_seekStart);
    s->read(out.data(), static_cast<uint32_t>(out.size()));
    return out;
}

// Saves with a fresh saver into a fresh stream; "" on failure.
template <class Call>
std::string saved(Call&& call) {
    vq_ptr<vq_stream> s;
    vq_ptr<vq_saver_base> saver;
    EXPECT_EQ(createMemoryWriteStream(4096, s.put()), 0);
    EXPECT_TRUE(createJPEGSaver(s.get(), saver.put()));
    return call(saver.get()) ? streamBytes(s.get()) : std::string();
}

struct Planes {
    vq_ptr<imageContainer> y = newContainer(), cb = newContainer(), cr = newContainer();
};

Planes planesOf(const std::string& jpeg) {
    Planes p;
    vq_ptr<vq_stream> s;
    vq_ptr<vq_loader_base> loader;
    EXPECT_EQ(openMemoryStream(jpeg.data(), jpeg.size(), s.put()), 0);
    EXPECT_TRUE(createJPEGLoader(s.get(), loader.put()));
    EXPECT_TRUE(loader->loadImageYCbCr(p.y.get(), p.cb.get(), p.cr.get()));
    return p;
}

// libturbojpeg's compression of three planes of a width x height image at the
// quality and turbojpeg subsampling, with the library's default (accurate) DCT.
std::string turboFromPlanes(imageContainer* const* planes, int width, int height, int tjSubsampling, int quality) {
    const unsigned char* data[3];
    int strides[3];
    for (int i = 0; i < 3; ++i) {
        uint8_t* d = nullptr;
        planes[i]->lockPixels(&d, &strides[i]);
        data[i] = d;
        planes[i]->unlockPixels();
    }
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int rc = tjCompressFromYUVPlanes(tj, data, width, strides, height, tjSubsampling, &out, &size, quality,
                                           TJFLAG_ACCURATEDCT);
    EXPECT_EQ(rc, 0) << tjGetErrorStr2(tj);
    std::string bytes(reinterpret_cast<char*>(out), size);
    tjFree(out);
    tjDestroy(tj);
    return bytes;
}

int subsamplingOf(const std::string& jpeg) {
    JpegStreamParser p;
    p.readFrameHeader(reinterpret_cast<const uint8_t*>(jpeg.data()), static_cast<uint32_t>(jpeg.size()));
    return p.getSubsampling();
}

} // namespace

TEST(JpegSaver, SaveWritesWhatCjpegWrites) {
    struct Case {
        int format, colourSpace, quality, subsampling;
        std::string options;
    } cases[] = {
        {4, 3, 90, 2, "-baseline -quality 90 -sample 2x1"}, {4, 3, 75, 5, "-baseline -quality 75"},
        {4, 3, 50, 4, "-baseline -quality 50 -sample 2x2"}, {4, 4, 85, 1, "-baseline -quality 85 -rgb"},
        {6, 6, 70, 1, "-baseline -quality 70"},
    };
    const int w = 75, h = 41;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const bool grey = c.format == 6;
        Pnm pnm = parsePnm(pnmBytes(w, h, grey));
        vq_ptr<imageContainer> src = containerOf(c.format, w, h, pnm.pixels);
        std::string got = saved([&](vq_saver_base* s) {
            s->setColourSpace(c.colourSpace);
            return s->save(src.get(), c.quality, c.subsampling);
        });
        EXPECT_EQ(got, cjpeg(c.options, w, h, grey));
    }
    // Grey pixels cannot be coded as YCbCr; nothing to save fails.
    Pnm grey = parsePnm(pnmBytes(16, 16, true));
    vq_ptr<imageContainer> g = containerOf(6, 16, 16, grey.pixels);
    EXPECT_EQ(saved([&](vq_saver_base* s) { return s->save(g.get(), 80, 1); }), "");
    EXPECT_EQ(g->unlockPixels(), 0);
    vq_ptr<imageContainer> empty = newContainer();
    EXPECT_EQ(saved([&](vq_saver_base* s) { return s->save(empty.get(), 80, 1); }), "");
    vq_ptr<vq_saver_base> none;
    EXPECT_FALSE(createJPEGSaver(nullptr, none.put()));
}

TEST(JpegSaver, PlanesAreCodedAsTheyAreAtTheCoarserSubsampling) {
    // Even sizes that are no whole blocks: the partial blocks repeat edge samples.
    const int w = 202, h = 74;
    struct Case {
        std::string sample;
        int planeCode, requested, coded, tjCode;
    } cases[] = {
        {"2x2", 4, 4, 4, TJSAMP_420}, {"2x2", 4, 1, 4, TJSAMP_420}, {"2x1", 2, 3, 2, TJSAMP_422},
        {"1x2", 3, 3, 3, TJSAMP_440}, {"1x1", 1, 1, 1, TJSAMP_444},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sample + " requested " + std::to_string(c.requested));
        Planes p = planesOf(cjpeg("-sample " + c.sample + " -quality 95", w, h));
        std::string got = saved([&](vq_saver_base* s) {
            return s->supportsYCbCr() && s->saveYCbCr(p.y.get(), p.cb.get(), p.cr.get(), c.planeCode, 88, c.requested);
        });
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(subsamplingOf(got), c.coded);
        imageContainer* planes[3] = {p.y.get(), p.cb.get(), p.cr.get()};
        std::string want = turboFromPlanes(planes, w, h, c.tjCode, 88);
        std::string why;
        EXPECT_TRUE(sameBlocks(readCoefficients(got), readCoefficients(want), 0, 0, &why)) << why;
    }

    // 4:4:4 planes asked for 4:2:0 are halved with the 2 x 2 box filter first.
    Planes full = planesOf(cjpeg("-sample 1x1 -quality 95", w, h));
    std::string got = saved([&](vq_saver_base* s) {
        return s->saveYCbCr(full.y.get(), full.cb.get(), full.cr.get(), 1, 88, 4);
    });
    EXPECT_EQ(subsamplingOf(got), 4);
    Planes half;
    half.y = full.y;
    for (int i = 0; i < 2; ++i) {
        imageContainer* src = i == 0 ? full.cb.get() : full.cr.get();
        vq_ptr<imageContainer> dst = newContainer();
        ASSERT_TRUE(dst->create(8 + i, w / 2, h / 2, false));
        uint8_t *s = nullptr, *d = nullptr;
        int32_t ss = 0, ds = 0;
        src->lockPixels(&s, &ss);
        dst->lockPixels(&d, &ds);
        for (int y = 0; y < h / 2; ++y)
            for (int x = 0; x < w / 2; ++x)
                d[y * ds + x] = static_cast<uint8_t>((s[2 * y * ss + 2 * x] + s[2 * y * ss + 2 * x + 1] +
                                                      s[(2 * y + 1) * ss + 2 * x] + s[(2 * y + 1) * ss + 2 * x + 1] + 3) >>
                                                     2);
        src->unlockPixels();
        dst->unlockPixels();
        (i == 0 ? half.cb : half.cr) = dst;
    }
    imageContainer* planes[3] = {half.y.get(), half.cb.get(), half.cr.get()};
    std::string why;
    EXPECT_TRUE(sameBlocks(readCoefficients(got), readCoefficients(turboFromPlanes(planes, w, h, TJSAMP_420, 88)), 0, 0,
                           &why))
        << why;

    Planes p = planesOf(cjpeg("-sample 2x2", 32, 32));
    EXPECT_EQ(saved([&](vq_saver_base* s) { return s->saveYCbCr(p.y.get(), p.cb.get(), p.cr.get(), 5, 80, 4); }), "");
    EXPECT_EQ(saved([&](vq_saver_base* s) { return s->saveYCbCr(p.y.get(), nullptr, p.cr.get(), 4, 80, 4); }), "");
}

TEST(JpegSaver, CroppedEdgeTileUsesThePixelsBeyondItsCrop) {
    Planes p = planesOf(cjpeg("-sample 2x2 -quality 95", 256, 256));
    p.y->crop(100, 60);
    p.cb->crop(50, 30);
    p.cr->crop(50, 30);
    std::string got = saved([&](vq_saver_base* s) { return s->saveYCbCr(p.y.get(), p.cb.get(), p.cr.get(), 4, 90, 4); });
    Coefficients k = readCoefficients(got);
    ASSERT_TRUE(k.ok);
    EXPECT_EQ(IntPair(k.width, k.height), IntPair(100, 60));
    EXPECT_EQ(IntPair(p.y->getWidth(), p.y->getHeight()), IntPair(100, 60));
    EXPECT_EQ(IntPair(p.cr->getWidth(), p.cr->getHeight()), IntPair(50, 30));
    // Every block read equals that of a 112 x 64 frame over the same buffer.
    imageContainer* planes[3] = {p.y.get(), p.cb.get(), p.cr.get()};
    std::string why;
    EXPECT_TRUE(sameBlocks(k, readCoefficients(turboFromPlanes(planes, 112, 64, TJSAMP_420, 90)), 0, 0, &why)) << why;
}

TEST(JpegChromaPlanes, CoarserSubsamplingAndDownsampling) {
    const int table[][3] = {{2, 3, 2}, {3, 2, 3}, {1, 4, 4}, {4, 1, 4}, {2, 2, 2}, {1, 2, 2}, {2, 1, 2}, {3, 4, 4}};
    for (const auto& t : table) EXPECT_EQ(coarserSubsampling(t[0], t[1]), t[2]) << t[0] << " " << t[1];

    vq_ptr<imageContainer> src = newContainer(), dst = newContainer();
    ASSERT_TRUE(src->create(8, 255, 31, false));
    src->fill(77);
    struct Case {
        int from, to;
        IntPair size;
    } cases[] = {{1, 2, {128, 31}}, {1, 4, {128, 16}}, {3, 4, {128, 31}}, {1, 3, {255, 16}}, {2, 4, {255, 16}}};
    for (const Case& c : cases) {
        ASSERT_TRUE(downsampleChromaPlane(c.from, c.to, src.get(), dst.get())) << c.from << c.to;
        EXPECT_EQ(IntPair(dst->getWidth(), dst->getHeight()), c.size);
        EXPECT_EQ(dst->getFormat(), 8);
        uint8_t* d = nullptr;
        int32_t step = 0;
        dst->lockPixels(&d, &step);
        EXPECT_EQ(d[0], 77);
        EXPECT_EQ(d[(c.size.second - 1) * step + c.size.first - 1], 77);
        dst->unlockPixels();
    }
    for (auto pair : {std::pair{2, 3}, std::pair{4, 1}, std::pair{2, 1}, std::pair{5, 4}})
        EXPECT_FALSE(downsampleChromaPlane(pair.first, pair.second, src.get(), dst.get()));
    // The same code copies into the existing plane.
    ASSERT_TRUE(dst->create(8, 10, 5, false));
    ASSERT_TRUE(downsampleChromaPlane(2, 2, src.get(), dst.get()));
    EXPECT_EQ(IntPair(dst->getWidth(), dst->getHeight()), IntPair(10, 5));
    uint8_t* d = nullptr;
    int32_t step = 0;
    dst->lockPixels(&d, &step);
    EXPECT_EQ(d[4 * step + 9], 77);
    dst->unlockPixels();
    EXPECT_FALSE(convertChromaPlane(2, 2, src.get(), dst.get()));
}

TEST(JpegChromaPlanes, ConvertBetweenEveryPairOfCodes) {
    struct Case {
        int from, to;
        IntPair in, out;
    } cases[] = {
        {3, 1, {128, 64}, {128, 128}}, {1, 2, {7, 5}, {4, 5}},   {1, 3, {7, 5}, {7, 3}},   {1, 4, {7, 5}, {4, 3}},
        {2, 1, {7, 5}, {14, 5}},       {2, 3, {7, 5}, {14, 3}},  {2, 4, {7, 5}, {7, 3}},   {3, 2, {7, 5}, {4, 10}},
        {3, 4, {7, 5}, {4, 5}},        {4, 1, {7, 5}, {14, 10}}, {4, 2, {7, 5}, {7, 10}},  {4, 3, {7, 5}, {14, 5}},
        {1, 2, {1, 5}, {1, 5}},        {1, 4, {1, 1}, {1, 1}},   {2, 3, {7, 1}, {14, 1}},  {3, 2, {1, 5}, {1, 10}},
        {1, 9, {7, 5}, {7, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to) + " from " + std::to_string(c.in.first) +
                     "x" + std::to_string(c.in.second));
        vq_ptr<imageContainer> src = newContainer(), dst = newContainer();
        ASSERT_TRUE(src->create(9, c.in.first, c.in.second, false));
        src->fill(201);
        ASSERT_TRUE(convertChromaPlane(c.from, c.to, src.get(), dst.get()));
        EXPECT_EQ(IntPair(dst->getWidth(), dst->getHeight()), c.out);
        EXPECT_EQ(dst->getFormat(), 9);
        // A flat plane stays flat whatever the filter.
        uint8_t* d = nullptr;
        int32_t step = 0;
        dst->lockPixels(&d, &step);
        for (int y = 0; y < c.out.second; ++y)
            for (int x = 0; x < c.out.first; ++x) ASSERT_EQ(d[y * step + x], 201) << x << "," << y;
        dst->unlockPixels();
    }
}
