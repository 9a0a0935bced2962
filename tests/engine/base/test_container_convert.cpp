#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/base/imageContainer.h"
#include "tests/engine/base/container_helpers.h"

namespace {

using containertest::make;
using containertest::pixels;

// Sample value of 16-bit test images: multiples of 257 scale to exact bytes.
uint16_t sample16(int32_t x, int32_t y, int32_t c) { return static_cast<uint16_t>(257 * ((x * 37 + y * 11 + c * 5) % 256)); }
uint8_t sample8(int32_t x, int32_t y, int32_t c) { return static_cast<uint8_t>((x * 37 + y * 11 + c * 5) % 256); }

void fillPattern(imageContainer* c) {
    int32_t step;
    uint8_t* d = pixels(c, &step);
    const int32_t ch = c->getChannels();
    for (int32_t y = 0; y < c->getHeight(); ++y)
        for (int32_t x = 0; x < c->getWidth(); ++x)
            for (int32_t k = 0; k < ch; ++k) {
                if (c->getBitsPerSample() == 16)
                    reinterpret_cast<uint16_t*>(d + y * step)[x * ch + k] = sample16(x, y, k);
                else
                    d[y * step + x * ch + k] = sample8(x, y, k);
            }
}

TEST(ContainerConvert, IsConvertibleTable) {
    vq_ptr<imageContainer> c;
    createImageContainer(c.put());
    const int32_t formats[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12};
    for (int32_t from : formats)
        for (int32_t to : formats) {
            bool expect = from == to;
            const bool rgbFamily = from == 1 || from == 2 || from == 4 || from == 5;
            if (!expect && from != -1 && to != -1) {
                if (rgbFamily) expect = to == 1 || to == 2 || to == 4 || to == 5;
                if (from == 6 || from == 12) expect = to == 1 || to == 4;
                if (from == 11) expect = to == 1 || to == 4 || to == 6;
            }
            EXPECT_EQ(c->isConvertible(from, to), expect) << from << " -> " << to;
        }
}

TEST(ContainerConvert, ChannelOrderRoundTrip) {
    vq_ptr<imageContainer> c = make(1, 9, 4, true);
    fillPattern(c.get());
    vq_ptr<imageContainer> orig;
    createImageContainer(orig.put());
    orig->cloneFrom(c.get(), true);
    ASSERT_TRUE(c->convertTo(4));
    EXPECT_EQ(c->getFormat(), 4);
    int32_t s, os;
    const uint8_t* d = pixels(c.get(), &s);
    const uint8_t* o = pixels(orig.get(), &os);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 9; ++x) {
            ASSERT_EQ(d[y * s + 3 * x], o[y * os + 3 * x + 2]);
            ASSERT_EQ(d[y * s + 3 * x + 1], o[y * os + 3 * x + 1]);
            ASSERT_EQ(d[y * s + 3 * x + 2], o[y * os + 3 * x]);
        }
    ASSERT_TRUE(c->convertTo(1));
    for (int32_t y = 0; y < 4; ++y) ASSERT_EQ(std::memcmp(d + y * s, o + y * os, 27), 0);
    EXPECT_TRUE(c->convertTo(1));  // same format: nothing to do

    // convertFrom into another container reverses the order as well.
    vq_ptr<imageContainer> rgb;
    createImageContainer(rgb.put());
    ASSERT_TRUE(rgb->convertFrom(4, orig.get()));
    int32_t rs;
    const uint8_t* r = pixels(rgb.get(), &rs);
    EXPECT_EQ(r[0], o[2]);
    EXPECT_EQ(r[rs + 3 * 8 + 2], o[os + 3 * 8]);
}

TEST(ContainerConvert, ToEightBitFormats) {
    struct Case { int32_t from, to; };
    for (Case k : {Case{12, 4}, Case{12, 1}, Case{11, 6}, Case{11, 4}, Case{11, 1}, Case{6, 4}, Case{6, 1}}) {
        SCOPED_TRACE(std::to_string(k.from) + " -> " + std::to_string(k.to));
        vq_ptr<imageContainer> c = make(k.from, 7, 5);
        fillPattern(c.get());
        c->crop(6, 4);
        ASSERT_TRUE(c->convertTo(k.to));
        EXPECT_EQ(c->getFormat(), k.to);
        // The crop survives; the new buffer has the full size.
        EXPECT_EQ(c->getWidth(), 6);
        EXPECT_EQ(c->getHeight(), 4);
        EXPECT_EQ(c->getFullSize(), IntPair(7, 5));
        int32_t s;
        const uint8_t* d = pixels(c.get(), &s);
        const int32_t srcChannels = k.from == 12 ? 3 : 1;
        const int32_t dstChannels = c->getChannels();
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 6; ++x)
                for (int32_t ch = 0; ch < dstChannels; ++ch) {
                    int32_t srcCh = srcChannels == 1 ? 0 : (k.to == 1 ? 2 - ch : ch);
                    ASSERT_EQ(d[y * s + x * dstChannels + ch], sample8(x, y, srcCh)) << x << "," << y << "," << ch;
                }
    }
}

TEST(ContainerConvert, SixteenBitExtremes) {
    vq_ptr<imageContainer> c = make(11, 3, 1);
    int32_t s;
    uint16_t* d = reinterpret_cast<uint16_t*>(pixels(c.get(), &s));
    d[0] = 65535;
    d[1] = 0;
    d[2] = 257 * 100;
    ASSERT_TRUE(c->convertTo(6));
    const uint8_t* g = pixels(c.get(), &s);
    EXPECT_EQ(g[0], 255);
    EXPECT_EQ(g[1], 0);
    EXPECT_EQ(g[2], 100);
}

TEST(ContainerConvert, RefusedPairsKeepThePixels) {
    struct Case { int32_t from, to; };
    for (Case k : {Case{4, 2}, Case{4, 5}, Case{5, 4}, Case{2, 1}, Case{6, 11}, Case{4, 6}, Case{3, 4}, Case{7, 4}}) {
        vq_ptr<imageContainer> c = make(k.from, 4, 4);
        fillPattern(c.get());
        int32_t s;
        uint8_t* before = pixels(c.get(), &s);
        const uint8_t first = before[1];
        EXPECT_FALSE(c->convertTo(k.to)) << k.from << " -> " << k.to;
        EXPECT_EQ(c->getFormat(), k.from);
        EXPECT_EQ(pixels(c.get(), &s), before);
        EXPECT_EQ(before[1], first);
    }
    vq_ptr<imageContainer> c = make(4, 4, 4);
    EXPECT_TRUE(c->isConvertible(4, 2));
    EXPECT_FALSE(c->convertTo(2));
    EXPECT_FALSE(c->convertTo(-1));
    vq_ptr<imageContainer> empty;
    createImageContainer(empty.put());
    EXPECT_FALSE(empty->convertTo(4));
    EXPECT_FALSE(empty->convertFrom(4, nullptr));
    EXPECT_FALSE(empty->convertFrom(-1, c.get()));
}

TEST(ContainerConvert, ConvertWhileLockedPrintsTheLockedLine) {
    vq_ptr<imageContainer> c = make(6, 4, 4);
    uint8_t* d;
    int32_t s;
    c->lockPixels(&d, &s);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(c->convertTo(4));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cannot modify container when it is locked\n");
    EXPECT_EQ(c->getFormat(), 6);
    c->unlockPixels();
    EXPECT_TRUE(c->convertTo(4));
}

// Three planes of the given sizes, filled with constants.
struct Planes {
    vq_ptr<imageContainer> y, cb, cr;
    Planes(IntPair luma, IntPair chroma, uint8_t vy, uint8_t vcb, uint8_t vcr, bool packed = false) {
        y = make(7, luma.first, luma.second, packed);
        cb = make(8, chroma.first, chroma.second, packed);
        cr = make(9, chroma.first, chroma.second, packed);
        y->fill(vy);
        cb->fill(vcb);
        cr->fill(vcr);
    }
};

TEST(ContainerConvert, FromYCbCrPlanesGreyInEveryMode) {
    struct Case { int32_t mode; IntPair luma, chroma; };
    for (Case k : {Case{1, {5, 3}, {5, 3}}, Case{2, {5, 3}, {3, 3}}, Case{2, {1, 2}, {1, 2}}, Case{4, {7, 5}, {4, 3}}, Case{3, {7, 5}, {7, 3}}, Case{3, {4, 1}, {4, 1}},
                   Case{4, {2, 1}, {1, 1}}, Case{4, {64, 33}, {32, 17}}}) {
        SCOPED_TRACE("mode " + std::to_string(k.mode) + " " + std::to_string(k.luma.first) + "x" +
                     std::to_string(k.luma.second));
        Planes p(k.luma, k.chroma, 128, 128, 128);
        p.y->crop(k.luma.first - (k.luma.first > 1), k.luma.second);
        vq_ptr<imageContainer> rgb;
        createImageContainer(rgb.put());
        ASSERT_TRUE(rgb->fromYCbCrPlanes(p.y.get(), p.cb.get(), p.cr.get(), k.mode));
        EXPECT_EQ(rgb->getFormat(), 4);
        EXPECT_EQ(rgb->getWidth(), p.y->getWidth());
        EXPECT_EQ(rgb->getHeight(), k.luma.second);
        EXPECT_EQ(rgb->getFullSize(), k.luma);
        rgb->uncrop();
        int32_t s;
        const uint8_t* d = pixels(rgb.get(), &s);
        for (int32_t yy = 0; yy < k.luma.second; ++yy)
            for (int32_t x = 0; x < 3 * k.luma.first; ++x) ASSERT_EQ(d[yy * s + x], 128) << x << "," << yy;
        EXPECT_EQ(p.y->getLockCount() + p.cb->getLockCount() + p.cr->getLockCount() + rgb->getLockCount(), 0);
    }
}

TEST(ContainerConvert, FromYCbCrPlanesFailures) {
    vq_ptr<imageContainer> rgb;
    createImageContainer(rgb.put());
    Planes p({8, 8}, {4, 4}, 10, 20, 30);
    EXPECT_FALSE(rgb->fromYCbCrPlanes(p.y.get(), p.cb.get(), p.cr.get(), 0));
    EXPECT_FALSE(rgb->fromYCbCrPlanes(p.y.get(), p.cb.get(), p.cr.get(), 5));
    EXPECT_FALSE(rgb->fromYCbCrPlanes(p.y.get(), nullptr, p.cr.get(), 4));
    // Full-resolution chroma smaller than the luma plane would be read past its end.
    EXPECT_FALSE(rgb->fromYCbCrPlanes(p.y.get(), p.cb.get(), p.cr.get(), 1));
    // Planes whose steps differ cannot be converted in one pass.
    Planes packed({40, 2}, {40, 2}, 1, 2, 3, true);
    vq_ptr<imageContainer> unpackedCb = make(8, 40, 2, false);
    EXPECT_FALSE(rgb->fromYCbCrPlanes(packed.y.get(), unpackedCb.get(), packed.cr.get(), 1));
    // Unallocated chroma.
    vq_ptr<imageContainer> emptyCb = make(8, 4, 4);
    vq_ptr<imageContainer> emptyCr = make(9, 4, 4);
    emptyCb->freeBuffer();
    emptyCr->freeBuffer();
    EXPECT_FALSE(rgb->fromYCbCrPlanes(p.y.get(), emptyCb.get(), emptyCr.get(), 4));
    EXPECT_EQ(p.y->getLockCount() + emptyCb->getLockCount() + emptyCr->getLockCount() + rgb->getLockCount(), 0);
    // Locked target.
    uint8_t* d;
    int32_t s;
    rgb->lockPixels(&d, &s);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(rgb->fromYCbCrPlanes(p.y.get(), p.cb.get(), p.cr.get(), 4));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cannot modify container when it is locked\n");
    rgb->unlockPixels();
}

TEST(ContainerConvert, FromYCbCrPlanesPackedLuma) {
    // Packed planes of a width that is not a multiple of 32: the up-sampled
    // chroma follows Y's row layout.
    Planes p({10, 4}, {5, 2}, 90, 128, 128, true);
    vq_ptr<imageContainer> rgb;
    createImageContainer(rgb.put());
    ASSERT_TRUE(rgb->fromYCbCrPlanes(p.y.get(), p.cb.get(), p.cr.get(), 4));
    int32_t s;
    const uint8_t* d = pixels(rgb.get(), &s);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 30; ++x) ASSERT_EQ(d[y * s + x], 90) << x << "," << y;
}

} // namespace
