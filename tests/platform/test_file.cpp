#include <gtest/gtest.h>

#include <vector>

#include "platform/file.h"
#include "support/test_env.h"

using vq::platform::File;

namespace {

TEST(File, SparseFileBeyondFourGiB) {
    const std::string dir = vqtest::scratchDir("platform-file");
    const std::string path = dir + "/sparse.bin";
    File f;
    ASSERT_TRUE(f.open(path, File::Mode::Create));
    const int64_t far = (int64_t(5) << 30) + 12345;  // 5 GiB and change
    const char tail[] = "beyond four gigabytes";
    ASSERT_EQ(f.seek(far, File::Origin::Begin), far);
    EXPECT_EQ(f.write(tail, sizeof tail), int64_t(sizeof tail));
    EXPECT_EQ(f.tell(), far + int64_t(sizeof tail));
    EXPECT_EQ(f.size(), far + int64_t(sizeof tail));
    EXPECT_EQ(f.seek(0, File::Origin::End), far + int64_t(sizeof tail));
    EXPECT_EQ(f.seek(-int64_t(sizeof tail), File::Origin::Current), far);
    char back[sizeof tail] = {};
    EXPECT_EQ(f.read(back, sizeof back), int64_t(sizeof tail));
    EXPECT_STREQ(back, tail);
    // Reading at end of file gives a short count, not an error.
    EXPECT_EQ(f.read(back, 10), 0);
    // Positioned access past 4 GiB leaves the position alone.
    const int64_t pos = f.tell();
    char hole[4] = {1, 1, 1, 1};
    EXPECT_EQ(f.readAt(int64_t(4) << 30, hole, 4), 4);
    EXPECT_EQ(hole[0] | hole[1] | hole[2] | hole[3], 0) << "a hole reads as zeros";
    EXPECT_EQ(f.writeAt((int64_t(4) << 30) + 1, "x", 1), 1);
    EXPECT_EQ(f.tell(), pos);
    EXPECT_TRUE(f.close());

    EXPECT_EQ(vq::platform::fileSize(path), far + int64_t(sizeof tail));
    File r;
    ASSERT_TRUE(r.open(path, File::Mode::Read));
    char x = 0;
    EXPECT_EQ(r.readAt((int64_t(4) << 30) + 1, &x, 1), 1);
    EXPECT_EQ(x, 'x');
    EXPECT_EQ(r.write("no", 2), -1) << "read-only file refuses writes";
}

TEST(File, LargeTransfersMoveEverything) {
    const std::string path = vqtest::scratchDir("platform-large") + "/big.bin";
    std::vector<uint8_t> data(24u << 20);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 131 + (i >> 12));
    File f;
    ASSERT_TRUE(f.open(path, File::Mode::Create));
    ASSERT_EQ(f.write(data.data(), int64_t(data.size())), int64_t(data.size()));
    ASSERT_EQ(f.seek(0, File::Origin::Begin), 0);
    std::vector<uint8_t> back(data.size());
    ASSERT_EQ(f.read(back.data(), int64_t(back.size())), int64_t(back.size()));
    EXPECT_EQ(back, data);
    EXPECT_TRUE(f.flush());
    EXPECT_TRUE(f.truncate(100));
    EXPECT_EQ(f.size(), 100);

    vq::platform::FileMapping map;
    ASSERT_TRUE(map.map(f));
    EXPECT_EQ(map.size(), 100);
    EXPECT_EQ(map.data()[99], data[99]);
}

TEST(File, OpenFailuresAndModes) {
    const std::string dir = vqtest::scratchDir("platform-modes");
    File f;
    EXPECT_FALSE(f.open(dir + "/missing", File::Mode::Read));
    EXPECT_FALSE(f.open(dir + "/no/such/dir/file", File::Mode::Create));
    EXPECT_FALSE(f.open(dir, File::Mode::Read)) << "a folder is not a file";
    EXPECT_EQ(f.read(nullptr, 1), -1);
    EXPECT_EQ(f.seek(0, File::Origin::Begin), -1);
    ASSERT_TRUE(f.open(dir + "/a.txt", File::Mode::Create));
    f.write("abc", 3);
    f.close();
    ASSERT_TRUE(f.open(dir + "/a.txt", File::Mode::Append));
    f.write("def", 3);
    EXPECT_EQ(f.size(), 6);
    f.close();
    EXPECT_EQ(vqtest::readFile(dir + "/a.txt"), "abcdef");
    EXPECT_TRUE(vq::platform::fileExists(dir + "/a.txt"));
    EXPECT_FALSE(vq::platform::fileExists(dir));
    EXPECT_TRUE(vq::platform::directoryExists(dir));
    EXPECT_EQ(vq::platform::fileSize(dir + "/nope"), -1);
}

} // namespace
