#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/imageContainer.h"
#include "tests/engine/base/container_helpers.h"

namespace {

const char kLocked[] = "Cannot modify container when it is locked\n";

using containertest::make;
using containertest::pixels;

// Fills every byte of the visible region with a pattern of its position.
void pattern(imageContainer* c) {
    int32_t step;
    uint8_t* d = pixels(c, &step);
    const int32_t rowBytes = c->getWidth() * imageContainer::bytesPerPixel(c->getFormat());
    for (int32_t y = 0; y < c->getHeight(); ++y)
        for (int32_t x = 0; x < rowBytes; ++x) d[y * step + x] = static_cast<uint8_t>(y * 31 + x * 7 + 1);
}

template <class F>
std::string stderrOf(F&& f) {
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
}

TEST(Container, FactoryAndEmptyState) {
    EXPECT_EQ(createImageContainer(static_cast<imageContainer**>(nullptr)), nullptr);
    vq_ptr<imageContainer> c;
    ASSERT_NE(createImageContainer(c.put()), nullptr);
    EXPECT_EQ(c->refCount(), 1);
    EXPECT_EQ(c->getFormat(), -1);
    EXPECT_FALSE(c->isAllocated());
    EXPECT_EQ(c->getChannels(), 0);
    EXPECT_FALSE(c->allocate(false));  // no size yet
}

TEST(Container, FormatTableAndSteps) {
    struct Case { int32_t format, w, h; bool packed; int32_t channels, bits, step; };
    const Case cases[] = {
        {4, 256, 256, true, 3, 8, 768}, {4, 250, 256, false, 3, 8, 768}, {6, 250, 10, true, 1, 8, 250},
        {0, 33, 2, false, 1, 8, 64},    {1, 5, 5, true, 3, 8, 15},       {2, 9, 3, false, 4, 8, 64},
        {3, 3, 3, true, 3, 8, 9},       {5, 8, 1, false, 4, 8, 32},      {7, 1, 1, false, 1, 8, 32},
        {8, 2, 2, true, 1, 8, 2},       {9, 40, 2, false, 1, 8, 64},     {11, 7, 3, true, 1, 16, 14},
        {11, 17, 3, false, 1, 16, 64},  {12, 11, 2, false, 3, 16, 96},   {12, 3, 2, true, 3, 16, 18},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE("format " + std::to_string(k.format) + " " + std::to_string(k.w) + "x" + std::to_string(k.h));
        vq_ptr<imageContainer> c = make(k.format, k.w, k.h, k.packed);
        EXPECT_EQ(c->getChannels(), k.channels);
        EXPECT_EQ(c->getBitsPerSample(), k.bits);
        EXPECT_EQ(c->getStep(), k.step);
        EXPECT_EQ(c->getWidth(), k.w);
        EXPECT_EQ(c->getHeight(), k.h);
        int32_t step;
        const uint8_t* d = pixels(c.get(), &step);
        const int32_t rowBytes = k.w * imageContainer::bytesPerPixel(k.format);
        for (int32_t y = 0; y < k.h; ++y)
            for (int32_t x = 0; x < rowBytes; ++x) ASSERT_EQ(d[y * step + x], 0);
    }
    vq_ptr<imageContainer> c;
    createImageContainer(c.put());
    for (int32_t bad : {-1, 10, 13}) EXPECT_FALSE(c->create(bad, 4, 4, false)) << bad;
    EXPECT_FALSE(c->create(4, 0, 4, false));
    EXPECT_FALSE(c->create(4, 4, -2, false));
}

TEST(Container, CreateSameShapeReusesAndClears) {
    vq_ptr<imageContainer> c = make(4, 20, 10);
    int32_t step;
    uint8_t* first = pixels(c.get(), &step);
    pattern(c.get());
    c->crop(5, 5);
    ASSERT_TRUE(c->create(4, 20, 10, false));
    EXPECT_EQ(pixels(c.get(), &step), first);
    EXPECT_EQ(c->getWidth(), 20);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 60; ++x) ASSERT_EQ(first[y * step + x], 0);
    ASSERT_TRUE(c->create(6, 20, 10, false));  // another shape: a new, cleared buffer
    EXPECT_EQ(c->getFormat(), 6);
    EXPECT_FALSE(c->isCropped());
}

TEST(Container, CreateBeyondTheAllocationLimitFailsAndLeavesNoBuffer) {
    // A buffer is at most 2^31 - 1 bytes: these shapes are refused before
    // any allocation, and the container takes the next sane shape.
    vq_ptr<imageContainer> c = make(4, 20, 10);
    const struct { int32_t format, width, height; } shapes[] = {
        {5, 65536, 65536}, {4, INT32_MAX, 1}, {6, 1, INT32_MAX}, {12, 20000, 20000}};
    for (const auto& s : shapes) {
        SCOPED_TRACE(s.format);
        EXPECT_FALSE(c->create(s.format, s.width, s.height, false));
        EXPECT_FALSE(c->isAllocated());
    }
    ASSERT_TRUE(c->create(4, 20, 10, false));
    EXPECT_TRUE(c->isAllocated());
}

// A container whose whole buffer, row padding included, holds 0xAB.
vq_ptr<imageContainer> dirty(int32_t format, int32_t w, int32_t h, bool packed) {
    vq_ptr<imageContainer> c = make(format, w, h, packed);
    int32_t step;
    uint8_t* d = pixels(c.get(), &step);
    std::memset(d, 0xAB, size_t(step) * size_t(h));
    return c;
}

// Bytes of the full size outside its first w x h pixels that are not 0.
int32_t nonZeroOutside(imageContainer* c, int32_t w, int32_t h) {
    int32_t step, n = 0;
    const uint8_t* d = pixels(c, &step);
    const IntPair full = c->getFullSize();
    const int32_t bpp = imageContainer::bytesPerPixel(c->getFormat());
    for (int32_t y = 0; y < full.second; ++y)
        for (int32_t x = 0; x < full.first * bpp; ++x) n += (y >= h || x >= w * bpp) && d[y * step + x] != 0;
    return n;
}

TEST(Container, SkippedClearsKeepEdgesZero) {
    // A re-used buffer is not cleared for a caller that overwrites it whole.
    vq_ptr<imageContainer> c = dirty(6, 10, 4, false);
    ASSERT_TRUE(c->createUncleared(6, 10, 4, false));
    int32_t step;
#ifdef VQ_POISON_UNCLEARED
    // The sanitizer builds poison it instead, so that the suite shows any
    // reader that relies on zeros nobody wrote.
    EXPECT_EQ(pixels(c.get(), &step)[0], imageContainer::kUnclearedPoison);
    vq_ptr<imageContainer> fresh = make(6, 1, 1);
    ASSERT_TRUE(fresh->createUncleared(4, 33, 5, false));
    const uint8_t* f = pixels(fresh.get(), &step);
    for (int32_t i = 0; i < step * 5; ++i) ASSERT_EQ(f[i], imageContainer::kUnclearedPoison) << i;
#else
    EXPECT_EQ(pixels(c.get(), &step)[0], 0xAB);
#endif

    // Clones of cropped sources copy only the visible pixels: the edge beyond
    // them is zero even in a re-used buffer.
    vq_ptr<imageContainer> src = make(4, 10, 6);
    pattern(src.get());
    src->crop(7, 4);
    vq_ptr<imageContainer> clone = dirty(4, 10, 6, false);
    ASSERT_TRUE(clone->cloneFrom(src.get(), false));
    EXPECT_EQ(nonZeroOutside(clone.get(), 7, 4), 0);
    vq_ptr<imageContainer> bordered = dirty(4, 14, 10, false);
    ASSERT_TRUE(bordered->cloneWithBorder(src.get(), 2));
    EXPECT_EQ(nonZeroOutside(bordered.get(), 11, 8), 0);
    // An uncropped source covers the whole buffer.
    src->uncrop();
    ASSERT_TRUE(clone->cloneFrom(src.get(), false));
    int32_t ss, ds;
    const uint8_t* s = pixels(src.get(), &ss);
    const uint8_t* d = pixels(clone.get(), &ds);
    for (int32_t y = 0; y < 6; ++y) EXPECT_EQ(std::memcmp(s + y * ss, d + y * ds, 30), 0) << y;
    EXPECT_EQ(nonZeroOutside(clone.get(), 10, 6), 0);
}

TEST(Container, FillSetsEverySample) {
    struct Case { int32_t format; int32_t width; };
    for (Case k : {Case{6, 5}, Case{4, 5}, Case{5, 5}, Case{11, 5}, Case{12, 5}}) {
        vq_ptr<imageContainer> c = make(k.format, k.width, 3);
        c->crop(4, 2);
        c->fill(200);
        int32_t step;
        const uint8_t* d = pixels(c.get(), &step);
        const int32_t bpp = imageContainer::bytesPerPixel(k.format);
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < k.width; ++x)
                for (int32_t b = 0; b < bpp; ++b) {
                    uint8_t expect = (y < 2 && x < 4) ? 200 : 0;
                    // 16-bit samples receive the byte value itself: 200, not 200 * 257.
                    if (c->getBitsPerSample() == 16 && (b & 1)) expect = 0;
                    ASSERT_EQ(d[y * step + x * bpp + b], expect) << k.format << " " << x << "," << y;
                }
    }
}

TEST(Container, FillOutsideLeavesOnlyTheCoveredRectangles) {
    struct Case {
        const char* name;
        std::vector<PrimRect> rects;
    };
    const Case cases[] = {
        {"nothing covered", {}},
        {"all covered", {{0, 0, 13, 9}}},
        {"one inside", {{3, 2, 5, 4}}},
        {"quad with ragged members", {{0, 0, 7, 5}, {7, 0, 4, 3}, {0, 5, 6, 4}}},
        {"overlapping", {{1, 1, 6, 6}, {4, 3, 6, 5}, {2, 2, 1, 1}}},
        {"clipped and empty", {{-3, -2, 5, 4}, {10, 7, 20, 20}, {5, 5, 0, 3}, {6, 1, 2, -1}, {40, 0, 3, 3}}},
        {"same rows side by side", {{0, 0, 4, 9}, {4, 0, 4, 9}, {9, 0, 4, 9}}},
    };
    for (int32_t format : {6, 4, 5, 11, 12}) {
        for (const Case& k : cases) {
            SCOPED_TRACE(std::string(k.name) + " format " + std::to_string(format));
            // 13 x 9 visible inside a 16 x 11 buffer: the part beyond the
            // visible region is never written.
            vq_ptr<imageContainer> c = make(format, 16, 11);
            pattern(c.get());
            c->crop(13, 9);
            c->fillOutside(k.rects.data(), int32_t(k.rects.size()), 77);
            c->uncrop();
            int32_t step;
            const uint8_t* d = pixels(c.get(), &step);
            const int32_t bpp = imageContainer::bytesPerPixel(format);
            const bool wide = c->getBitsPerSample() == 16;
            for (int32_t y = 0; y < 11; ++y)
                for (int32_t x = 0; x < 16; ++x) {
                    bool covered = x >= 13 || y >= 9;
                    for (const PrimRect& r : k.rects)
                        covered |= x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
                    for (int32_t b = 0; b < bpp; ++b) {
                        const uint8_t kept = static_cast<uint8_t>(y * 31 + (x * bpp + b) * 7 + 1);
                        const uint8_t filled = wide && (b & 1) ? 0 : 77;
                        ASSERT_EQ(d[y * step + x * bpp + b], covered ? kept : filled) << x << "," << y << " byte " << b;
                    }
                }
        }
    }
}

TEST(Container, CropUncropAndFullSize) {
    vq_ptr<imageContainer> c = make(4, 256, 256);
    std::string err = stderrOf([&] { EXPECT_FALSE(c->crop(300, 100)); });
    EXPECT_EQ(err, "Cropping to larger than original width\n");
    EXPECT_EQ(c->getWidth(), 256);
    EXPECT_FALSE(c->isCropped());

    err = stderrOf([&] { EXPECT_FALSE(c->crop(100, 300)); });
    EXPECT_EQ(err, "Cropping to larger than original height\n");
    EXPECT_EQ(c->getWidth(), 100);  // the width part of the crop stays
    EXPECT_EQ(c->getHeight(), 256);
    EXPECT_TRUE(c->isCropped());

    EXPECT_TRUE(c->crop(100, 100));
    EXPECT_EQ(c->getFullSize(), IntPair(256, 256));
    c->uncrop();
    EXPECT_EQ(c->getWidth(), 256);
    EXPECT_EQ(c->getHeight(), 256);
    EXPECT_TRUE(c->isCropped());

    vq_ptr<imageContainer> plain = make(6, 30, 20);
    EXPECT_EQ(plain->getFullSize(), IntPair(30, 20));
}

TEST(Container, RefusedWhileLocked) {
    vq_ptr<imageContainer> c = make(4, 8, 8);
    pattern(c.get());
    vq_ptr<imageContainer> other = make(4, 4, 4);
    uint8_t* d;
    int32_t step;
    EXPECT_EQ(c->lockPixels(&d, &step), 1);
    const uint8_t* cd;
    EXPECT_EQ(c->lockPixelsConst(&cd, &step), 2);
    EXPECT_EQ(cd, d);

    struct Op { const char* name; std::function<bool()> run; };
    const Op ops[] = {
        {"create", [&] { return c->create(4, 8, 8, false); }},
        {"create other", [&] { return c->create(6, 3, 3, false); }},
        {"cloneFrom", [&] { return c->cloneFrom(other.get(), false); }},
        {"cloneWithBorder", [&] { return c->cloneWithBorder(other.get(), 1); }},
        {"allocate", [&] { return c->allocate(false); }},
        {"flipVertical", [&] { return c->flipVertical(); }},
        {"convertTo", [&] { return c->convertTo(1); }},
        {"isConvertible", [&] { return c->isConvertible(4, 1); }},
    };
    for (const Op& op : ops) {
        bool result = true;
        EXPECT_EQ(stderrOf([&] { result = op.run(); }), kLocked) << op.name;
        EXPECT_FALSE(result) << op.name;
    }
    EXPECT_EQ(stderrOf([&] { c->freeBuffer(); }), kLocked);
    EXPECT_TRUE(c->isAllocated());
    EXPECT_TRUE(c->crop(4, 4));  // crop is allowed while locked
    c->uncrop();
    EXPECT_EQ(c->getFormat(), 4);
    EXPECT_EQ(c->getWidth(), 8);
    uint8_t* now;
    c->lockPixels(&now, &step);
    EXPECT_EQ(now, d);
    EXPECT_EQ(d[0], 1);  // pixels untouched
    EXPECT_EQ(c->unlockPixels(), 2);
    EXPECT_EQ(c->unlockPixels(), 1);
    EXPECT_EQ(c->unlockPixels(), 0);
    EXPECT_EQ(c->unlockPixels(), 0);  // never below 0
    EXPECT_TRUE(c->convertTo(1));
    c->freeBuffer();
    EXPECT_FALSE(c->isAllocated());
}

TEST(Container, CloneFromKeepsCropAndPixels) {
    vq_ptr<imageContainer> src = make(4, 10, 6);
    pattern(src.get());
    src->crop(7, 4);
    vq_ptr<imageContainer> dst;
    createImageContainer(dst.put());
    ASSERT_TRUE(dst->cloneFrom(src.get(), true));
    EXPECT_EQ(dst->getFormat(), 4);
    EXPECT_EQ(dst->getFullSize(), IntPair(10, 6));
    EXPECT_EQ(dst->getWidth(), 7);
    EXPECT_EQ(dst->getHeight(), 4);
    EXPECT_EQ(dst->getStep(), 30);
    int32_t ss, ds;
    const uint8_t* s = pixels(src.get(), &ss);
    const uint8_t* d = pixels(dst.get(), &ds);
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 30; ++x)
            ASSERT_EQ(d[y * ds + x], (y < 4 && x < 21) ? s[y * ss + x] : 0) << x << "," << y;

    EXPECT_EQ(stderrOf([&] { EXPECT_TRUE(dst->cloneFrom(nullptr, false)); }), "Trying to clone empty container\n");
    EXPECT_FALSE(dst->isAllocated());
}

TEST(Container, CloneWithBorderReplicatesEdges) {
    vq_ptr<imageContainer> src = make(6, 3, 3);
    int32_t ss;
    uint8_t* s = pixels(src.get(), &ss);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 3; ++x) s[y * ss + x] = static_cast<uint8_t>(10 * (y + 1) + x + 1);
    vq_ptr<imageContainer> b;
    createImageContainer(b.put());
    ASSERT_TRUE(b->cloneWithBorder(src.get(), 2));
    ASSERT_EQ(b->getWidth(), 7);
    ASSERT_EQ(b->getHeight(), 7);
    int32_t bs;
    const uint8_t* d = pixels(b.get(), &bs);
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 7; ++x) {
            int32_t sy = y < 2 ? 0 : (y > 4 ? 2 : y - 2), sx = x < 2 ? 0 : (x > 4 ? 2 : x - 2);
            ASSERT_EQ(d[y * bs + x], s[sy * ss + sx]) << x << "," << y;
        }
    // Corner 2 x 2 blocks repeat the corner pixels.
    EXPECT_EQ(d[0], 11);
    EXPECT_EQ(d[bs + 1], 11);
    EXPECT_EQ(d[6 * bs + 6], 33);

    // Three-channel and 16-bit sources, and a border around itself.
    for (int32_t format : {4, 11, 12}) {
        vq_ptr<imageContainer> c = make(format, 4, 3);
        pattern(c.get());
        vq_ptr<imageContainer> copy;
        createImageContainer(copy.put());
        ASSERT_TRUE(copy->cloneFrom(c.get(), false));
        ASSERT_TRUE(c->cloneWithBorder(c.get(), 1)) << format;
        EXPECT_EQ(c->getWidth(), 6);
        vq_ptr<vq_image_container_base> inner;
        ASSERT_TRUE(c->createCroppedContainer(IntPair(1, 1), 4, 3, inner.put()));
        int32_t is, cs;
        const uint8_t* ip = pixels(inner.get(), &is);
        const uint8_t* cp = pixels(copy.get(), &cs);
        for (int32_t y = 0; y < 3; ++y)
            EXPECT_EQ(std::memcmp(ip + y * is, cp + y * cs, 4 * imageContainer::bytesPerPixel(format)), 0);
    }
    // Formats without a border primitive are refused and leave no buffer.
    vq_ptr<imageContainer> rgba = make(5, 2, 2);
    EXPECT_FALSE(b->cloneWithBorder(rgba.get(), 1));
    EXPECT_FALSE(b->isAllocated());
}

TEST(Container, FlipVertical) {
    vq_ptr<imageContainer> empty;
    createImageContainer(empty.put());
    EXPECT_FALSE(empty->flipVertical());
    for (int32_t format : {6, 4, 5, 11, 12}) {
        vq_ptr<imageContainer> c = make(format, 5, 4);
        pattern(c.get());
        c->crop(5, 3);  // only the visible rows change places
        vq_ptr<imageContainer> before;
        createImageContainer(before.put());
        before->cloneFrom(c.get(), false);
        ASSERT_TRUE(c->flipVertical());
        int32_t s1, s2;
        const uint8_t* a = pixels(c.get(), &s1);
        const uint8_t* b = pixels(before.get(), &s2);
        const int32_t rowBytes = 5 * imageContainer::bytesPerPixel(format);
        for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(std::memcmp(a + y * s1, b + (2 - y) * s2, rowBytes), 0) << format;
    }
}

TEST(Container, CreateCroppedContainer) {
    vq_ptr<imageContainer> c = make(4, 256, 256);
    pattern(c.get());
    vq_image_container_base* out = nullptr;
    ASSERT_TRUE(c->createCroppedContainer(IntPair(0, 0), 256, 256, &out));
    vq_ptr<vq_image_container_base> whole = vq_ptr<vq_image_container_base>::adopt(out);
    EXPECT_EQ(whole->refCount(), 1);
    EXPECT_EQ(whole->getWidth(), 256);

    ASSERT_TRUE(c->createCroppedContainer(IntPair(3, 5), 2, 1, &out));
    vq_ptr<vq_image_container_base> part = vq_ptr<vq_image_container_base>::adopt(out);
    int32_t cs;
    const uint8_t* cp = pixels(c.get(), &cs);
    uint8_t row[6];
    ASSERT_TRUE(part->copyDataTo(row, 0, 1, 2, 6));
    EXPECT_EQ(std::memcmp(row, cp + 5 * cs + 9, 6), 0);

    struct Bad { int32_t x, y, w, h; };
    for (Bad b : {Bad{256, 0, 1, 1}, Bad{0, 256, 1, 1}, Bad{-1, 0, 1, 1}, Bad{0, -1, 1, 1}, Bad{200, 0, 57, 1},
                  Bad{0, 200, 1, 57}}) {
        out = nullptr;
        EXPECT_EQ(stderrOf([&] { EXPECT_FALSE(c->createCroppedContainer(IntPair(b.x, b.y), b.w, b.h, &out)); }),
                  "Invalid parameters to createCroppedContainer\n");
        EXPECT_EQ(out, nullptr);
    }
    vq_ptr<imageContainer> empty;
    createImageContainer(empty.put());
    EXPECT_EQ(stderrOf([&] { EXPECT_FALSE(empty->createCroppedContainer(IntPair(0, 0), 1, 1, &out)); }),
              "Cannot create cropped container from unallocated container\n");
}

TEST(Container, CopyDataToChecksRowsAndWidth) {
    vq_ptr<imageContainer> c = make(4, 256, 256);
    pattern(c.get());
    std::vector<uint8_t> buf(256 * 3 * 256);
    struct Bad { int32_t first, rows, width; };
    for (Bad b : {Bad{250, 10, 256}, Bad{0, 1, 257}, Bad{-1, 1, 1}, Bad{0, -1, 1}, Bad{0, 1, -1}}) {
        EXPECT_EQ(stderrOf([&] { EXPECT_FALSE(c->copyDataTo(buf.data(), b.first, b.rows, b.width, 768)); }),
                  "Bad copyDataTo\n")
            << b.first << " " << b.rows << " " << b.width;
    }
    EXPECT_EQ(stderrOf([&] { EXPECT_FALSE(c->copyDataTo(nullptr, 0, 1, 1, 3)); }), "Bad copyDataTo\n");
    // A cropped container copies only its visible rows.
    c->crop(100, 100);
    EXPECT_EQ(stderrOf([&] { EXPECT_FALSE(c->copyDataTo(buf.data(), 99, 2, 100, 300)); }), "Bad copyDataTo\n");
    ASSERT_TRUE(c->copyDataTo(buf.data(), 98, 2, 100, 300));
    int32_t cs;
    const uint8_t* cp = pixels(c.get(), &cs);
    EXPECT_EQ(std::memcmp(buf.data(), cp + 98 * cs, 300), 0);
    EXPECT_EQ(std::memcmp(buf.data() + 300, cp + 99 * cs, 300), 0);
}

TEST(Container, CopyRegionFrom) {
    vq_ptr<imageContainer> src = make(11, 8, 8);
    pattern(src.get());
    vq_ptr<imageContainer> dst = make(11, 6, 6);
    ASSERT_TRUE(dst->copyRegionFrom(src.get(), IntPair(5, 4), IntPair(1, 2), 3, 4));
    int32_t ss, ds;
    const uint8_t* s = pixels(src.get(), &ss);
    const uint8_t* d = pixels(dst.get(), &ds);
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 6; ++x) {
            const bool inside = x >= 1 && x < 4 && y >= 2 && y < 6;
            for (int32_t b = 0; b < 2; ++b)
                ASSERT_EQ(d[y * ds + 2 * x + b], inside ? s[(y + 2) * ss + 2 * (x + 4) + b] : 0) << x << "," << y;
        }
    EXPECT_EQ(src->getLockCount(), 0);
    EXPECT_EQ(dst->getLockCount(), 0);

    struct Bad { int32_t sx, sy, dx, dy, w, h; };
    for (Bad b : {Bad{6, 0, 0, 0, 3, 1}, Bad{0, 6, 0, 0, 1, 3}, Bad{0, 0, 4, 0, 3, 1}, Bad{0, 0, 0, 4, 1, 3},
                  Bad{-1, 0, 0, 0, 1, 1}, Bad{0, -1, 0, 0, 1, 1}, Bad{0, 0, -1, 0, 1, 1}, Bad{0, 0, 0, -2, 1, 1},
                  Bad{0, 0, 0, 0, -1, 1}, Bad{0, 0, 0, 0, 1, -1}})
        EXPECT_FALSE(dst->copyRegionFrom(src.get(), IntPair(b.sx, b.sy), IntPair(b.dx, b.dy), b.w, b.h))
            << b.sx << " " << b.sy << " " << b.dx << " " << b.dy << " " << b.w << " " << b.h;
    vq_ptr<imageContainer> other = make(6, 8, 8);
    EXPECT_FALSE(dst->copyRegionFrom(other.get(), IntPair(0, 0), IntPair(0, 0), 1, 1));
    EXPECT_FALSE(dst->copyRegionFrom(nullptr, IntPair(0, 0), IntPair(0, 0), 1, 1));
    vq_ptr<imageContainer> empty;
    createImageContainer(empty.put());
    EXPECT_FALSE(empty->copyRegionFrom(src.get(), IntPair(0, 0), IntPair(0, 0), 1, 1));
}

} // namespace
