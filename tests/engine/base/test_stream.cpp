#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/base/stream.h"
#include "tests/support/test_env.h"

namespace {

std::vector<uint8_t> readAll(vq_stream* s) {
    std::vector<uint8_t> out;
    uint8_t block[7];  // odd size: several short reads
    int32_t n;
    while ((n = s->read(block, sizeof block)) > 0) out.insert(out.end(), block, block + n);
    return out;
}

TEST(FileStream, OpenMissingFileFails) {
    vq_stream* out = reinterpret_cast<vq_stream*>(0x1);
    EXPECT_EQ(openReadStream("/nonexistent/dir/file.bin", &out), 2);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<vq_stream*>(0x1);
    EXPECT_EQ(openWriteStream("/nonexistent/dir/file.bin", &out), 2);
    EXPECT_EQ(out, nullptr);
}

TEST(FileStream, WriteReadSeekTellAndEof) {
    std::string path = vqtest::scratchDir("file_stream") + "/a.bin";
    {
        vq_ptr<vq_stream> w;
        ASSERT_EQ(openWriteStream(path.c_str(), w.put()), 0);
        EXPECT_EQ(w->write("0123456789", 10), 10);
        EXPECT_EQ(w->tell(), 10);
        EXPECT_TRUE(w->isEOF());
        EXPECT_EQ(w->flush(), 0);
        EXPECT_EQ(flushStream(w.get()), 0);
        // Read back through the same read-write descriptor.
        EXPECT_EQ(w->seek(-4, vq_seekEnd), 0);
        char buf[8] = {};
        EXPECT_EQ(w->read(buf, 8), 4);
        EXPECT_STREQ(buf, "6789");
        EXPECT_EQ(w->close(), 0);
        EXPECT_EQ(w->close(), 0);
        EXPECT_EQ(w->flush(), 2);  // closed: nothing to flush to
    }
    vq_ptr<vq_stream> r;
    ASSERT_EQ(openReadStream(path.c_str(), r.put()), 0);
    EXPECT_FALSE(r->isEOF());
    EXPECT_EQ(r->seek(3, vq_seekStart), 0);
    EXPECT_EQ(r->seek(2, vq_seekCurrent), 0);
    EXPECT_EQ(r->tell(), 5);
    EXPECT_EQ(r->seek(-1, vq_seekStart), -1);
    EXPECT_EQ(r->seek(0, 7), -1);
    EXPECT_EQ(r->write("x", 1), -1);  // opened read-only
    char c;
    EXPECT_EQ(readStream(&c, 1, r.get()), 1);
    EXPECT_EQ(c, '5');
}

TEST(FileStream, CopyToKeepsThePosition) {
    std::string dir = vqtest::scratchDir("file_copy");
    std::string src(10000, '\0');
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(vqtest::writeFile(dir + "/src.bin", src));
    vq_ptr<vq_stream> r;
    ASSERT_EQ(openReadStream((dir + "/src.bin").c_str(), r.put()), 0);
    ASSERT_EQ(r->seek(1234, vq_seekStart), 0);
    vq_ptr<vq_stream> mem;
    ASSERT_EQ(createMemoryWriteStream(4096, mem.put()), 0);
    EXPECT_EQ(r->copyTo(mem.get()), 0);
    EXPECT_EQ(r->tell(), 1234);
    EXPECT_EQ(r->copyTo(nullptr), 2);
    mem->seek(0, vq_seekStart);
    std::vector<uint8_t> copied = readAll(mem.get());
    EXPECT_EQ(std::string(copied.begin(), copied.end()), src);
}

// Positions beyond 4 GiB must survive seek and tell unchanged: large slide
// files and BigTIFF outputs depend on it. The file is sparse, so this costs
// no disk space.
TEST(FileStream, SeeksPastFourGigabytesOnASparseFile) {
    std::string path = vqtest::scratchDir("file_big") + "/sparse.bin";
    const int64_t far = (int64_t(5) << 30) + 17;
    {
        vq_ptr<vq_stream> w;
        ASSERT_EQ(openWriteStream(path.c_str(), w.put()), 0);
        ASSERT_EQ(w->seek(far, vq_seekStart), 0);
        EXPECT_EQ(w->tell(), far);
        ASSERT_EQ(w->write("tail", 4), 4);
        EXPECT_EQ(w->tell(), far + 4);
    }
    vq_ptr<vq_stream> r;
    ASSERT_EQ(openReadStream(path.c_str(), r.put()), 0);
    ASSERT_EQ(r->seek(0, vq_seekEnd), 0);
    EXPECT_EQ(r->tell(), far + 4);
    ASSERT_EQ(r->seek(-4, vq_seekCurrent), 0);
    EXPECT_EQ(r->tell(), far);
    char buf[5] = {};
    EXPECT_EQ(r->read(buf, 4), 4);
    EXPECT_STREQ(buf, "tail");
    EXPECT_TRUE(r->isEOF());
    ASSERT_EQ(r->seek(int64_t(1) << 32, vq_seekStart), 0);
    EXPECT_EQ(r->tell(), int64_t(1) << 32);
    EXPECT_EQ(r->read(buf, 1), 1);
    EXPECT_EQ(buf[0], 0);  // hole reads as zero
    // The length in 64 bits, with the position left where it was.
    EXPECT_EQ(streamLength(r.get()), far + 4);
    EXPECT_EQ(r->tell(), (int64_t(1) << 32) + 1);
}

TEST(MemoryStream, SeekClampsToTheData) {
    const uint8_t data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    vq_ptr<vq_stream> s;
    ASSERT_EQ(openMemoryStream(data, 10, s.put()), 0);
    struct Step { int64_t offset; int32_t origin; int64_t position; };
    const Step steps[] = {
        {-3, vq_seekEnd, 7},  {20, vq_seekStart, 10}, {-20, vq_seekCurrent, 0}, {8, vq_seekStart, 8},
        {5, vq_seekEnd, 10},  {-10, vq_seekEnd, 0},   {-11, vq_seekEnd, 0},     {4, vq_seekCurrent, 4},
        {100, vq_seekCurrent, 10}, {-2, vq_seekStart, 0},
        // 64-bit offsets are not cut to their low 32 bits.
        {(int64_t(1) << 32) + 3, vq_seekStart, 10}, {-(int64_t(1) << 32) - 3, vq_seekEnd, 0},
        {INT64_MIN, vq_seekCurrent, 0}, {INT64_MAX, vq_seekCurrent, 10},
    };
    for (const Step& st : steps) {
        EXPECT_EQ(s->seek(st.offset, st.origin), 0);
        EXPECT_EQ(s->tell(), st.position) << "seek(" << st.offset << ", " << st.origin << ")";
        EXPECT_EQ(s->isEOF(), st.position == 10);
    }
    EXPECT_EQ(s->seek(1, 3), -1);  // unknown origin: refused, position kept
    EXPECT_EQ(s->tell(), 10);

    uint8_t buf[4] = {};
    s->seek(8, vq_seekStart);
    EXPECT_EQ(s->read(buf, 4), 2);
    EXPECT_EQ(buf[0], 8);
    EXPECT_EQ(buf[1], 9);
    EXPECT_EQ(s->read(buf, 4), 0);
    EXPECT_EQ(s->write(buf, 4), 0);
    EXPECT_EQ(s->flush(), 0);
}

TEST(MemoryStream, CopyToCloseAndNullCases) {
    const char text[] = "abcdef";
    vq_stream* none = reinterpret_cast<vq_stream*>(0x1);
    EXPECT_EQ(openMemoryStream(nullptr, 4, &none), 2);
    EXPECT_EQ(none, nullptr);

    vq_ptr<vq_stream> s;
    ASSERT_EQ(openMemoryStream(text, 6, s.put()), 0);
    s->seek(4, vq_seekStart);
    vq_ptr<vq_stream> dst;
    ASSERT_EQ(createMemoryWriteStream(0, dst.put()), 0);
    EXPECT_EQ(s->copyTo(dst.get()), 0);  // the whole block, whatever the position
    EXPECT_EQ(s->copyTo(nullptr), 2);
    dst->seek(0, vq_seekStart);
    std::vector<uint8_t> got = readAll(dst.get());
    EXPECT_EQ(std::string(got.begin(), got.end()), "abcdef");

    EXPECT_EQ(s->close(), 0);
    EXPECT_EQ(s->tell(), 0);
    EXPECT_EQ(s->read(got.data(), 1), 0);
    EXPECT_TRUE(s->isEOF());

    vq_memoryStream* ms = nullptr;
    ASSERT_EQ(vq_memoryStream::create(&ms), 0);
    vq_ptr<vq_memoryStream> held = vq_ptr<vq_memoryStream>::adopt(ms);
    EXPECT_EQ(held->refCount(), 1);
    uint8_t b;
    EXPECT_EQ(held->read(&b, 1), 0);
    held->setBuffer(text + 2, 3);
    EXPECT_EQ(held->read(&b, 1), 1);
    EXPECT_EQ(b, 'c');
}

TEST(MemoryWriteStream, WriteSeekExtendAndReadBack) {
    vq_ptr<vq_stream> s;
    ASSERT_EQ(createMemoryWriteStream(4096, s.put()), 0);
    auto* mw = static_cast<vq_memoryWriteStream*>(s.get());
    uint8_t buf[16];
    EXPECT_EQ(s->read(buf, 4), 0);  // empty
    EXPECT_TRUE(s->isEOF());

    EXPECT_EQ(s->write("ABCDE", 5), 5);
    EXPECT_EQ(s->seek(2, vq_seekStart), 0);
    EXPECT_EQ(s->write("x", 1), 1);
    EXPECT_EQ(mw->getSize(), 5u);
    EXPECT_EQ(s->tell(), 3);
    EXPECT_FALSE(s->isEOF());

    EXPECT_EQ(s->seek(10, vq_seekStart), 0);  // extends with zeros
    EXPECT_EQ(mw->getSize(), 10u);
    EXPECT_TRUE(s->isEOF());
    EXPECT_EQ(s->seek(0, vq_seekEnd), 0);
    EXPECT_EQ(s->tell(), 10);
    EXPECT_EQ(s->seek(2, vq_seekEnd), 0);
    EXPECT_EQ(mw->getSize(), 12u);
    EXPECT_EQ(s->seek(-20, vq_seekEnd), 0);
    EXPECT_EQ(s->tell(), 0);
    EXPECT_EQ(s->seek(3, vq_seekCurrent), 0);
    EXPECT_EQ(s->seek(-1, vq_seekCurrent), 0);
    EXPECT_EQ(s->tell(), 2);
    EXPECT_EQ(s->seek(-5, vq_seekCurrent), 0);
    EXPECT_EQ(s->tell(), 0);
    EXPECT_EQ(s->seek(0, 9), -1);

    EXPECT_EQ(s->read(buf, 16), 12);
    const uint8_t expect[12] = {'A', 'B', 'x', 'D', 'E', 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(buf, expect, 12), 0);
    EXPECT_EQ(s->write(nullptr, 3), 0);
    EXPECT_EQ(s->write(buf, 0), 0);
    EXPECT_EQ(s->flush(), 0);
}

TEST(MemoryWriteStream, WritesAfterAGapAndLargeData) {
    vq_ptr<vq_stream> s;
    ASSERT_EQ(createMemoryWriteStream(16, s.put()), 0);
    std::vector<uint8_t> data(100000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + 7);
    for (size_t i = 0; i < data.size(); i += 1000) EXPECT_EQ(s->write(&data[i], 1000), 1000);
    EXPECT_EQ(s->tell(), 100000);
    s->seek(0, vq_seekStart);
    EXPECT_EQ(readAll(s.get()), data);
}

TEST(MemoryWriteStream, CopyToCloseAndGrowth) {
    vq_ptr<vq_stream> s;
    ASSERT_EQ(createMemoryWriteStream(0, s.put()), 0);
    EXPECT_EQ(static_cast<vq_memoryWriteStream*>(s.get())->getGrowth(), 4096);
    vq_ptr<vq_stream> t;
    ASSERT_EQ(createMemoryWriteStream(100, t.put()), 0);
    EXPECT_EQ(static_cast<vq_memoryWriteStream*>(t.get())->getGrowth(), 100);

    EXPECT_EQ(s->copyTo(t.get()), 2);  // empty buffer
    s->write("hello", 5);
    EXPECT_EQ(s->copyTo(nullptr), 2);
    t->write("<", 1);
    EXPECT_EQ(s->copyTo(t.get()), 0);  // whole buffer at the target's position
    t->seek(0, vq_seekStart);
    std::vector<uint8_t> got = readAll(t.get());
    EXPECT_EQ(std::string(got.begin(), got.end()), "<hello");

    EXPECT_EQ(s->close(), 0);
    EXPECT_EQ(s->tell(), 0);
    EXPECT_EQ(static_cast<vq_memoryWriteStream*>(s.get())->getSize(), 0u);
}

TEST(StreamFunctions, NullStreams) {
    uint8_t b = 0;
    EXPECT_EQ(readStream(&b, 1, nullptr), 0);
    EXPECT_EQ(writeStream(&b, 1, nullptr), 0);
    EXPECT_EQ(flushStream(nullptr), -1);
    EXPECT_EQ(streamLength(nullptr), -1);
    vq_ptr<vq_stream> s;
    ASSERT_EQ(createMemoryWriteStream(0, s.put()), 0);
    EXPECT_EQ(writeStream("ab", 2, s.get()), 2);
    EXPECT_EQ(flushStream(s.get()), 0);
    s->seek(0, vq_seekStart);
    EXPECT_EQ(readStream(&b, 1, s.get()), 1);
    EXPECT_EQ(b, 'a');
}

} // namespace
