// Shared codec types and the chunked byte buffer.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "j2k/codec_types.h"
#include "j2k/codestream_buffer.h"

TEST(J2KCodecTypes, RunAndRectangleIntersection) {
    const J2KRange empty = J2KRange::Intersect(J2KRange(10, 5), J2KRange(20, 5));
    EXPECT_EQ(empty.first, 0xFFFFFFFFu);
    EXPECT_EQ(empty.count, 0u);
    const J2KRange touching = J2KRange::Intersect(J2KRange(10, 10), J2KRange(20, 5));
    EXPECT_EQ(touching.first, 20u);
    EXPECT_EQ(touching.count, 0u);
    const J2KRect r = J2KRect::Intersect(J2KRect(0, 0, 100, 50), J2KRect(60, 40, 100, 100));
    EXPECT_EQ(r, J2KRect(60, 40, 40, 10));
}

TEST(J2KCodecTypes, PlanesAreAllocatedOnlyWhenTheGeometryChanges) {
    DJP2Image image;
    const IntPair sampling[2] = {IntPair(1, 1), IntPair(2, 2)};
    image.SetGeometry(J2KRect(0, 0, 5, 7), sampling, 2);
    ASSERT_EQ(image.NComponents(), 2);
    EXPECT_EQ(image.Components()[1].Size(), IntPair(3, 4));  // ceil(5 / 2), ceil(7 / 2)
    EXPECT_GE(image.Components()[0].Ref().step, 20);
    const uint8_t* before = image.Components()[0].Ref().data;
    image.Components()[0].Row(6)[4] = 77;  // the last sample is writable
    image.SetGeometry(J2KRect(10, 10, 5, 7), sampling, 2);
    EXPECT_EQ(image.Components()[0].Ref().data, before);
    EXPECT_EQ(image.Rect(), J2KRect(10, 10, 5, 7));
    image.SetGeometry(J2KRect(0, 0, 0, 7), sampling, 2);
    EXPECT_EQ(image.Components()[0].Ref().data, nullptr);  // an empty plane has no storage
    EXPECT_EQ(DJP2BitDepth().bits, 30);
}

TEST(J2KCodecTypes, PlanarImagePlanesFollowEachOther) {
    DJP2PlanarImage<int16_t> planes;
    planes.Allocate(9, 4, 3);
    ASSERT_EQ(planes.Count(), 3u);
    EXPECT_EQ(planes.Plane(2).data - planes.Plane(0).data, 2 * 4 * planes.Plane(0).step);
    ComponentPlanes cp;
    const IntPair sizes[2] = {IntPair(3, 2), IntPair(0, 5)};
    cp.Allocate(sizes, 2);
    EXPECT_NE(cp.Data(0), nullptr);
    EXPECT_EQ(cp.Data(1), nullptr);
    EXPECT_EQ(cp.Refs()[0].data, reinterpret_cast<uint8_t*>(cp.Data(0)));
}

TEST(J2KCodecTypes, PlaneTooLargeForTheAllocatorThrowsMemoryException) {
    DJP2PlaneBuffer plane;
    using OutOfMemory = DiagnDescrCT<MemoryException, 0>;
    EXPECT_THROW(plane.Allocate(0x40000000u, 2), OutOfMemory);
    EXPECT_EQ(plane.Ref().data, nullptr);
}

TEST(J2KCodestreamBuffer, ChunksAndByteOrder) {
    CodestreamBuffer b;
    for (int i = 0; i < 513; ++i)
        b.PutByte(static_cast<uint8_t>(i));
    EXPECT_EQ(b.Size(), 513u);
    EXPECT_EQ(b.ChunkCount(), 2u);

    CodestreamBuffer v;
    v.Put16(0x1234);
    v.Put32(0xA1B2C3D4u);
    uint8_t out[10] = {};
    EXPECT_EQ(v.ReadOut(out, 10), 6u);
    const uint8_t expect[6] = {0x12, 0x34, 0xA1, 0xB2, 0xC3, 0xD4};
    EXPECT_EQ(0, memcmp(out, expect, 6));
    EXPECT_EQ(v.Size(), 0u);
    EXPECT_EQ(v.ReadOut(out, 1), 0u);
}

TEST(J2KCodestreamBuffer, AppendMoveAndReadAcrossChunks) {
    std::vector<uint8_t> bytes(1700);
    std::iota(bytes.begin(), bytes.end(), 0);
    CodestreamBuffer src;
    src.Append(bytes.data(), 700);
    CodestreamBuffer dst;
    dst.PutByte(0xEE);
    EXPECT_EQ(dst.MoveFrom(src, 1000), 700u);
    EXPECT_EQ(src.Size(), 0u);
    EXPECT_EQ(dst.Size(), 701u);
    src.Append(bytes.data() + 700, 1000);  // the drained source takes new bytes
    EXPECT_EQ(dst.MoveFrom(src, 1000), 1000u);
    std::vector<uint8_t> got(1701);
    uint64_t n = 0;
    while (n < got.size()) {
        const uint64_t step = dst.ReadOut(got.data() + n, 37);
        ASSERT_GT(step, 0u);
        n += step;
    }
    EXPECT_EQ(got[0], 0xEE);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), got.begin() + 1));
    EXPECT_EQ(dst.ChunkCount(), 1u);
}
