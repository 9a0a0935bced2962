// The slide readers' own model of TIFF headers and directories.
#include <gtest/gtest.h>

#include "readers/tiff/svs_ifd.h"
#include "tests/readers/tiff/slide_fixture.h"

using namespace slidetest;
using namespace tifftest;

namespace {

struct Opened {
    std::unique_ptr<MemorySource> src;
    vq_svs_stream_read stream;
    vq_svs_header header;
    vq_svs_ifdDir_read dir;
    bool headerOk = false;
    bool dirOk = false;
};

std::unique_ptr<Opened> openFirst(const Bytes& file) {
    auto o = std::make_unique<Opened>();
    o->src = source(file);
    o->stream.setStream(o->src->stream.get());
    o->headerOk = o->header.read(&o->stream);
    if (o->headerOk) {
        o->dir.setOffset(o->header.getFirstIfdOffset());
        o->dir.setBigTIFF(o->header.isBigTIFF());
        o->dirOk = o->dir.read(&o->stream);
    }
    return o;
}

} // namespace

TEST(SlideIfdModel, SameValuesInEveryByteOrderAndLayout) {
    for (bool big : {false, true}) {
        for (bool bigEndian : {false, true}) {
            TiffBuilder b(big, bigEndian);
            const uint64_t blob = b.addData(Bytes(64, 5));
            // One offset per tile of the 5 x 4 grid.
            std::vector<uint64_t> offsets(20, 0);
            offsets[0] = blob;
            offsets[1] = 0x123456789ull;
            b.addIfd({longs(256, {1025}), longs(257, {1000}), longs(322, {256}), longs(323, {256}),
                      shorts(258, {8, 9, 10, 11}), shorts(530, {2, 1}), long8s(324, offsets),
                      rationals(282, {40000, 3}), ascii(270, "abc"), ascii(305, "longer text")});
            auto o = openFirst(b.bytes());
            ASSERT_TRUE(o->dirOk) << big << bigEndian;
            EXPECT_EQ(o->dir.getImageSize(), IntPair(1025, 1000));
            EXPECT_EQ(o->dir.getTileGrid(), IntPair(5, 4));
            EXPECT_TRUE(o->dir.isTiled());
            vq_svs_ifdItem_read& bits = o->dir.findItemForLoad(258);
            bits.loadValues(&o->stream);
            uint32_t v = 0;
            ASSERT_TRUE(bits.getValue32(&v, 3));
            EXPECT_EQ(v, 11u);
            const vq_svs_ifdItem_read& sub = o->dir.findItem(530);
            ASSERT_TRUE(sub.getValue32(&v, 1));
            EXPECT_EQ(v, 1u);
            ASSERT_TRUE(sub.getInlineValue32(&v));
            EXPECT_EQ(v, 2u);
            o->dir.loadItem(324, &o->stream);
            uint64_t off = 0;
            ASSERT_TRUE(o->dir.findItem(324).getValue64(&off, 1));
            EXPECT_EQ(off, 0x123456789ull);
            o->dir.loadItem(282, &o->stream);
            uint32_t num = 0, den = 0;
            ASSERT_TRUE(o->dir.findItem(282).getRational(&num, &den));
            EXPECT_EQ(num, 40000u);
            EXPECT_EQ(den, 3u);
            // Text of at most 4 bytes sits inline and gives no value bytes.
            EXPECT_TRUE(o->dir.loadItem(270, &o->stream).empty());
            EXPECT_EQ(o->dir.loadItem(305, &o->stream).size(), 12u);
            EXPECT_FALSE(o->dir.findItem(999).isValid());
        }
    }
}

TEST(SlideIfdModel, RefusedDirectoriesAndHeaders) {
    auto dirOf = [](std::vector<Entry> entries, bool sort = true) {
        TiffBuilder b;
        b.addIfd(std::move(entries), sort);
        return openFirst(b.bytes());
    };
    Entry type14 = longs(300, {1});
    type14.type = 14;
    EXPECT_FALSE(dirOf({type14})->dirOk) << "unknown type";
    EXPECT_FALSE(dirOf({longs(0, {1})})->dirOk) << "tag 0";
    EXPECT_FALSE(dirOf({longs(256, {1}), longs(256, {2})}, false)->dirOk) << "repeated tag";
    EXPECT_FALSE(dirOf({})->dirOk) << "no entries";
    Entry huge = longs(273, {1});
    huge.rawField = true;
    huge.count = 0x40000001u;  // count x 4 passes the signed 32-bit range
    huge.field = 16;
    EXPECT_FALSE(dirOf({huge})->dirOk) << "count x size overflow";

    // Tile sizes without ImageWidth, and tile sizes of 0: no grid.
    auto noWidth = dirOf({longs(257, {10}), longs(322, {16}), longs(323, {16})});
    ASSERT_TRUE(noWidth->dirOk);
    EXPECT_EQ(noWidth->dir.getTileSize(), IntPair(16, 16));
    EXPECT_FALSE(noWidth->dir.isTiled());
    auto zeroTile = dirOf({longs(256, {10}), longs(257, {10}), longs(322, {0}), longs(323, {16})});
    ASSERT_TRUE(zeroTile->dirOk);
    EXPECT_FALSE(zeroTile->dir.isTiled());
    EXPECT_EQ(zeroTile->dir.getTileGrid(), IntPair(0, 0));

    // Counts of zero read nothing and every getter refuses.
    auto empty = dirOf({shorts(258, {}), longs(256, {})});
    ASSERT_TRUE(empty->dirOk);
    uint32_t v = 0;
    EXPECT_FALSE(empty->dir.findItem(258).getValue32(&v, 0));
    EXPECT_FALSE(empty->dir.findItem(256).getInlineValue32(&v));

    // "II+" with an offset size of 4 is not BigTIFF.
    Bytes bad = {0x49, 0x49, 0x2B, 0x00, 0x04, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(openFirst(bad)->headerOk);
    Bytes classic = {0x49, 0x49, 0x2A, 0x00, 0x77, 0x00, 0x00, 0x00};
    auto any = openFirst(classic);
    EXPECT_TRUE(any->headerOk);
    EXPECT_EQ(any->header.getFirstIfdOffset(), 0x77u);
}
