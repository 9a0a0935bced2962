// Bounded byte inputs: bound stack arithmetic, reads at the edge of a bound,
// and stream inputs whose lengths and positions pass 4 GiB.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "j2k/byte_input.h"

namespace {

const char* const kNoData =
    "There is no data to read from input stream.\nThe reason is the data damage in the input file.\n"
    "In cause of doubt, please, contact the program developers.";

template <class F>
void ExpectNoData(F&& f) {
    try {
        f();
        ADD_FAILURE() << "no diagnostic";
    } catch (const DiagnDescrCT<ByteInputException, 0>& d) {
        EXPECT_STREQ(d.Message().c_str(), kNoData);
    }
}

// A read-only stream of `size` bytes whose byte at position p is Pattern(p);
// nothing is stored, so sizes past 4 GiB cost nothing.
class PatternStream : public vq_stream {
public:
    explicit PatternStream(uint64_t size) : size_(size) {}
    static uint8_t Pattern(uint64_t p) { return static_cast<uint8_t>((p * 131) ^ (p >> 32) ^ (p >> 13)); }
    int32_t read(void* buffer, uint32_t count) override {
        auto* b = static_cast<uint8_t*>(buffer);
        uint32_t n = 0;
        while (n < count && pos_ < size_)
            b[n++] = Pattern(pos_++);
        ++reads;
        return static_cast<int32_t>(n);
    }
    int32_t write(const void*, uint32_t) override { return -1; }
    int32_t seek(int64_t offset, int32_t origin) override {
        const int64_t base = origin == vq_seekStart ? 0 : origin == vq_seekCurrent ? int64_t(pos_) : int64_t(size_);
        const int64_t to = base + offset;
        if (to < 0)
            return -1;
        pos_ = static_cast<uint64_t>(to);
        return 0;
    }
    int64_t tell() override { return static_cast<int64_t>(pos_); }
    bool isEOF() override { return pos_ >= size_; }
    int32_t flush() override { return 2; }
    int32_t close() override { return 0; }
    int32_t copyTo(vq_stream*) override { return 2; }
    int reads = 0;

private:
    uint64_t size_;
    uint64_t pos_ = 0;
};

constexpr uint64_t kGiB = 1ull << 30;

} // namespace

TEST(J2KByteInput, BoundStackArithmetic) {
    const uint8_t data[64] = {0x12, 0x34, 0x56, 0x78, 0xAB};
    MemoryBoundedInputBE in;
    in.Attach(data, sizeof data);
    EXPECT_EQ(in.Remaining(), 64u);
    EXPECT_EQ(in.Read32(), 0x12345678u);
    EXPECT_EQ(in.Consumed(), 4u);

    // A zero-length bound refuses every read and pops to nothing.
    EXPECT_EQ(in.PushBound(0), 0u);
    ExpectNoData([&] { in.Read8(); });
    EXPECT_EQ(in.PopBound(), 0u);
    EXPECT_EQ(in.Consumed(), 4u);

    // Segment of 10 of which 6 are read: 4 skipped, the enclosing bound counts 10.
    EXPECT_EQ(in.PushBound(10), 10u);
    in.Read8();
    in.Skip(5);
    EXPECT_EQ(in.PopBound(), 4u);
    EXPECT_EQ(in.Consumed(), 14u);
    EXPECT_EQ(in.Remaining(), 50u);

    // A bound longer than what is left is cut to it.
    in.Skip(10);
    EXPECT_EQ(in.PushBound(100), 40u);
    EXPECT_EQ(in.Remaining(), 40u);
    in.PopBound();
    EXPECT_EQ(in.Remaining(), 0u);
}

TEST(J2KByteInput, ReadPastBoundLeavesStateUnchanged) {
    const uint8_t data[5] = {1, 2, 3, 4, 5};
    MemoryBoundedInputBE in;
    in.Attach(data, sizeof data);
    in.Skip(2);
    in.PushBound(3);
    in.Read16();
    ExpectNoData([&] { in.Read16(); });
    EXPECT_EQ(in.Remaining(), 1u);
    EXPECT_EQ(in.Read8(), 5);  // the read position did not move
    ExpectNoData([&] { in.Skip(1); });
    uint8_t buf[4];
    ExpectNoData([&] { in.ReadBytes(buf, 1); });
    EXPECT_EQ(in.PopBound(), 0u);
    EXPECT_EQ(in.Consumed(), 5u);
}

TEST(J2KByteInput, ReadBytesCopiesAndValuesAreBigEndian) {
    const uint8_t data[] = {0xFF, 0x4F, 0x00, 0x01, 0x02, 0x03, 0x80, 0x00, 0x00, 0x01};
    MemoryBoundedInputBE in;
    in.Attach(data, sizeof data);
    EXPECT_EQ(in.Read16(), 0xFF4Fu);
    uint8_t out[4];
    in.ReadBytes(out, 4);
    EXPECT_EQ(0, std::memcmp(out, data + 2, 4));
    EXPECT_EQ(in.Read32(), 0x80000001u);
}

TEST(J2KByteInput, StreamPastFourGiBIsMeasuredAndAddressedIn64Bits) {
    const uint64_t size = 5 * kGiB + 123;
    auto* stream = new PatternStream(size);
    vq_ptr<vq_stream> hold(stream);
    BoundedInputBE in;
    in.Attach(stream);
    EXPECT_EQ(in.Remaining(), size);  // not the length modulo 2^32

    const uint64_t far = 4 * kGiB + 10;
    in.Skip(far);
    EXPECT_EQ(in.Read8(), PatternStream::Pattern(far));
    EXPECT_EQ(in.Position(), far + 1);
    EXPECT_EQ(in.Consumed(), far + 1);

    // Random access to a recorded extent far beyond 4 GiB.
    const uint64_t saved = in.Position();
    const uint64_t at = 5 * kGiB + 7;
    in.SeekAndPushBound(at, 1000);  // longer than the stream has left: pushed whole
    EXPECT_EQ(in.Remaining(), 1000u);
    uint64_t expect = 0;
    for (int i = 0; i < 8; ++i)
        expect = (expect << 8) | PatternStream::Pattern(at + i);
    EXPECT_EQ(in.Read64(), expect);
    in.PopBoundAndSeek(saved);
    EXPECT_EQ(in.Position(), saved);
    EXPECT_EQ(in.Consumed(), far + 1);  // the recorded extent is not counted

    // A bound pushed near the end reaches it exactly.
    in.Skip(size - (far + 1) - 2);
    EXPECT_EQ(in.PushBound(10), 2u);
    EXPECT_EQ(in.Read16(), (PatternStream::Pattern(size - 2) << 8) | PatternStream::Pattern(size - 1));
    in.PopBound();
    ExpectNoData([&] { in.Read8(); });
    in.Detach();
    EXPECT_EQ(stream->refCount(), 1);
}

TEST(J2KByteInput, ShortStreamReadEndsInput) {
    // The stream claims 16 bytes when measured but delivers nothing past 8.
    class ShortStream : public PatternStream {
    public:
        ShortStream() : PatternStream(16) {}
        int32_t read(void* b, uint32_t n) override {
            if (tell() >= 8)
                return 0;
            return PatternStream::read(b, n);
        }
    };
    auto* stream = new ShortStream();
    vq_ptr<vq_stream> hold(stream);
    BoundedInputBE in;
    in.Attach(stream);
    in.Skip(7);
    ExpectNoData([&] { in.Read16(); });
    EXPECT_EQ(in.Remaining(), 9u);
    in.Detach();
}
