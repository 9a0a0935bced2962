// The slide writers' directory model: entry packing in both forms, refusals,
// and a two-level file written in classic form and as its BigTIFF twin, read
// back by an independent TIFF reader (tifffile).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/stream.h"
#include "outputs/slide/svs_ifd_write.h"
#include "tests/support/test_env.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A model stream over a fresh growing memory stream.
struct MemFile {
    vq_ptr<vq_memoryWriteStream> mem;
    vq_svs_stream s;
    MemFile() {
        vq_memoryWriteStream* m = nullptr;
        EXPECT_EQ(vq_memoryWriteStream::create(&m), 0);
        mem = vq_ptr<vq_memoryWriteStream>::adopt(m);
        s.setStream(mem.get());
    }
    Bytes bytes() const { return Bytes(mem->getData(), mem->getData() + mem->getSize()); }
};

Bytes le(uint64_t v, int n) {
    Bytes b;
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return b;
}
Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Writes the entry's area (at offset 16 of an empty file of 16 bytes) and
// then the entry itself; returns entry bytes and area bytes.
std::pair<Bytes, Bytes> pack(vq_svs_ifdItem item, bool big) {
    MemFile f;
    EXPECT_TRUE(f.s.writeZeros(16));
    item.setBigTIFF(big);
    EXPECT_TRUE(item.writeValueData(&f.s));
    const Bytes written = f.bytes();
    const Bytes area(written.begin() + 16, written.end());
    EXPECT_EQ(f.s.seek(0, 2), 0);
    const int64_t at = f.s.tell();
    EXPECT_TRUE(item.writeEntry(&f.s));
    const Bytes all = f.bytes();
    return {Bytes(all.begin() + at, all.end()), area};
}

struct PackCase {
    const char* name;
    std::function<vq_svs_ifdItem()> make;
    Bytes classicEntry, classicArea, bigEntry, bigArea;
};

TEST(SlideTiffModel, EntriesPackInBothForms) {
    const std::vector<PackCase> cases = {
        {"empty string is one NUL",
         [] { vq_svs_ifdItem i(270, svsTypeAscii); i.setString("", false); return i; },
         cat({le(270, 2), le(2, 2), le(1, 4), le(0, 4)}), {},
         cat({le(270, 2), le(2, 2), le(1, 8), le(0, 8)}), {}},
        {"three characters stay inline",
         [] { vq_svs_ifdItem i(270, svsTypeAscii); i.setString("abc", false); return i; },
         cat({le(270, 2), le(2, 2), le(4, 4), {'a', 'b', 'c', 0}}), {},
         cat({le(270, 2), le(2, 2), le(4, 8), {'a', 'b', 'c', 0, 0, 0, 0, 0}}), {}},
        {"four characters leave the entry in classic form",
         [] { vq_svs_ifdItem i(270, svsTypeAscii); i.setString("abcd", false); return i; },
         cat({le(270, 2), le(2, 2), le(5, 4), le(16, 4)}), {'a', 'b', 'c', 'd', 0},
         cat({le(270, 2), le(2, 2), le(5, 8), {'a', 'b', 'c', 'd', 0, 0, 0, 0}}), {}},
        {"appended strings follow each other",
         [] { vq_svs_ifdItem i(270, svsTypeAscii); i.setString("ab", false); i.setString("cd", true); return i; },
         cat({le(270, 2), le(2, 2), le(6, 4), le(16, 4)}), {'a', 'b', 0, 'c', 'd', 0},
         cat({le(270, 2), le(2, 2), le(6, 8), {'a', 'b', 0, 'c', 'd', 0, 0, 0}}), {}},
        {"three shorts: out of line classic, inline BigTIFF",
         [] { vq_svs_ifdItem i(258, svsTypeShort); i.appendShort(8); i.appendShort(8); i.appendShort(8); return i; },
         cat({le(258, 2), le(3, 2), le(3, 4), le(16, 4)}), cat({le(8, 2), le(8, 2), le(8, 2)}),
         cat({le(258, 2), le(3, 2), le(3, 8), le(8, 2), le(8, 2), le(8, 2), le(0, 2)}), {}},
        {"one LONG8: inline in both forms",
         [] { vq_svs_ifdItem i(324, svsTypeLong8); i.appendLong8(0x1122334455667788ull); return i; },
         cat({le(324, 2), le(4, 2), le(1, 4), le(0x55667788, 4)}), {},
         cat({le(324, 2), le(16, 2), le(1, 8), le(0x1122334455667788ull, 8)}), {}},
        {"two LONG8: 16 bytes of area in both forms",
         [] { vq_svs_ifdItem i(324, svsTypeLong8); i.appendLong8(0x100000010ull); i.appendLong8(0x20); return i; },
         cat({le(324, 2), le(4, 2), le(2, 4), le(16, 4)}), cat({le(0x10, 4), le(0x20, 4), le(0, 8)}),
         cat({le(324, 2), le(16, 2), le(2, 8), le(16, 8)}), cat({le(0x100000010ull, 8), le(0x20, 8)})},
        {"values set after the count was reserved",
         [] { vq_svs_ifdItem i(325, svsTypeLong); i.setCount(3); i.setLongAt(0xFFFFFFFFu, 2); return i; },
         cat({le(325, 2), le(4, 2), le(3, 4), le(16, 4)}), cat({le(0, 4), le(0, 4), le(0xFFFFFFFFu, 4)}),
         cat({le(325, 2), le(4, 2), le(3, 8), le(16, 8)}), cat({le(0, 4), le(0, 4), le(0xFFFFFFFFu, 4)})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto classic = pack(c.make(), false);
        EXPECT_EQ(classic.first, c.classicEntry);
        EXPECT_EQ(classic.second, c.classicArea);
        const auto big = pack(c.make(), true);
        EXPECT_EQ(big.first, c.bigEntry);
        EXPECT_EQ(big.second, c.bigArea);
    }
}

TEST(SlideTiffModel, RefusalsSayWhyAndChangeNothing) {
    struct Refusal {
        const char* name;
        std::function<bool()> call;
        std::string message;
    };
    const std::vector<Refusal> refusals = {
        {"append of the wrong type", [] { vq_svs_ifdItem i(256, svsTypeShort); return i.appendLong(1); },
         "Adding incorrect data type to IFD item\n"},
        {"bytes into a number entry", [] { vq_svs_ifdItem i(256, svsTypeLong); return i.appendBytes("ab", 2); },
         "Adding incorrect data type to IFD item\n"},
        {"count of an untyped entry", [] { vq_svs_ifdItem i; i.setTag(256); return i.setCount(2); },
         "Trying to reserve space for unknown type\n"},
        {"shrinking",
         [] { vq_svs_ifdItem i(256, svsTypeLong); i.setCount(4); return i.setCount(2); },
         "Do not support shrinking item count\n"},
        {"value past the count", [] { vq_svs_ifdItem i(256, svsTypeLong); i.setCount(2); return i.setLongAt(1, 2); },
         "Trying to set IFD item 2 past bounds 2\n"},
        {"entry without a type",
         [] { MemFile f; vq_svs_ifdItem i; i.setTag(256); return i.writeEntry(&f.s) || f.mem->getSize() != 0; },
         "Attempting to write bad ifd entry\n"},
        {"invalid entry into a directory",
         [] { vq_svs_ifdDir d; vq_svs_ifdItem i; return d.addItem(i) || !d.items().empty(); },
         "Trying to add invalid item to directory\n"},
        {"duplicate tag",
         [] {
             vq_svs_ifdDir d;
             vq_svs_ifdItem a(256, svsTypeLong), b(256, svsTypeShort);
             a.appendLong(7);
             b.appendShort(9);
             if (!d.addItem(a)) return true;
             uint32_t v = 0;
             return d.addItem(b) || d.items().size() != 1 || !d.findItem(256).getValue32(&v, 0) || v != 7;
         },
         "Trying to add duplicate item to directory\n"},
        {"type set twice (still replaced)",
         [] { vq_svs_ifdItem i(256, svsTypeShort); i.setType(svsTypeLong); return !i.appendLong(1); },
         "Warning:resetting ifdItem type\n"},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.name);
        testing::internal::CaptureStderr();
        const bool result = r.call();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), r.message);
        EXPECT_FALSE(result);
    }
}

TEST(SlideTiffModel, EmptyDirectoryTakesSixteenBytesInBothForms) {
    for (bool big : {false, true}) {
        MemFile f;
        vq_svs_ifdDir d;
        d.setBigTIFF(big);
        EXPECT_EQ(d.pendingSize(), 16);
        ASSERT_TRUE(d.writeAll(&f.s));
        EXPECT_EQ(f.mem->getSize(), 16u) << big;
        EXPECT_EQ(d.getPosition(), 0u);
        EXPECT_FALSE(d.isPlaced());
    }
}

// A directory placed at offset 0 is not placed: put the header first.
TEST(SlideTiffModel, DirectoryRewrittenInPlaceInTheOtherForm) {
    MemFile f;
    vq_svs_header h;
    ASSERT_TRUE(h.write(&f.s));
    vq_svs_ifdDir d;
    vq_svs_ifdItem w(256, svsTypeLong), tags(0x9000, svsTypeShort);
    w.appendLong(640);
    tags.appendShort(1);
    ASSERT_TRUE(d.addItem(tags) && d.addItem(w));
    ASSERT_TRUE(d.writeAll(&f.s));
    EXPECT_EQ(d.getPosition(), 16u);
    const uint64_t size = f.mem->getSize();
    EXPECT_EQ(size, 16u + 20 * 2 + 16);
    // Tags in unsigned order: 256 before 0x9000.
    EXPECT_EQ(f.bytes()[18], 0x00);
    EXPECT_EQ(f.bytes()[19], 0x01);
    d.setBigTIFF(true);
    ASSERT_TRUE(d.writeAll(&f.s));
    EXPECT_EQ(f.mem->getSize(), size);
    h.setBigTIFF(true);
    ASSERT_TRUE(h.write(&f.s));
    const Bytes b = f.bytes();
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 16), cat({{0x49, 0x49, 0x2B, 0x00}, le(8, 2), le(0, 2), le(16, 8)}));
    EXPECT_EQ(Bytes(b.begin() + 16, b.begin() + 24), le(2, 8));
}

// Two tiled levels of uncompressed RGB tiles; offsets as LONG8 so the classic
// file carries LONG offsets whose areas keep room for the BigTIFF form.
std::string writeTwoLevels(const std::string& path, bool big) {
    MemFile f;
    vq_svs_header h;
    h.setBigTIFF(big);
    EXPECT_TRUE(h.write(&f.s));
    const int tile = 16;
    const int sizes[2][2] = {{40, 20}, {20, 10}};
    std::vector<vq_svs_ifdDir> dirs(2);
    for (int level = 0; level < 2; ++level) {
        const int w = sizes[level][0], hgt = sizes[level][1];
        const int across = (w + tile - 1) / tile, down = (hgt + tile - 1) / tile;
        vq_svs_ifdDir& d = dirs[static_cast<size_t>(level)];
        d.setBigTIFF(big);
        auto add = [&](uint16_t tag, int type, std::initializer_list<uint32_t> values) {
            vq_svs_ifdItem i(tag, type);
            for (uint32_t v : values) EXPECT_TRUE(type == svsTypeShort ? i.appendShort(uint16_t(v)) : i.appendLong(v));
            EXPECT_TRUE(d.addItem(i));
        };
        add(256, svsTypeLong, {uint32_t(w)});
        add(257, svsTypeLong, {uint32_t(hgt)});
        add(258, svsTypeShort, {8, 8, 8});
        add(259, svsTypeShort, {1});
        add(262, svsTypeShort, {2});
        add(277, svsTypeShort, {3});
        add(284, svsTypeShort, {1});
        add(322, svsTypeLong, {uint32_t(tile)});
        add(323, svsTypeLong, {uint32_t(tile)});
        vq_svs_ifdItem offsets(324, svsTypeLong8), counts(325, svsTypeLong8);
        EXPECT_TRUE(offsets.setCount(across * down) && counts.setCount(across * down));
        EXPECT_TRUE(d.addItem(offsets) && d.addItem(counts));
        vq_svs_ifdItem desc(270, svsTypeAscii);
        EXPECT_TRUE(desc.setString(big ? "twin BigTIFF" : "twin classic", false));
        EXPECT_TRUE(d.addItem(desc));
        // Reserve the directory (the first one right behind the header),
        // then its values, then the tiles behind them.
        EXPECT_TRUE(d.writeDirectory(&f.s));
        EXPECT_TRUE(d.writeAll(&f.s));
        for (int ty = 0; ty < down; ++ty)
            for (int tx = 0; tx < across; ++tx) {
                Bytes pixels;
                for (int y = 0; y < tile; ++y)
                    for (int x = 0; x < tile; ++x)
                        for (int c = 0; c < 3; ++c)
                            pixels.push_back(static_cast<uint8_t>((tx * tile + x) * 5 + (ty * tile + y) * 11 + c * 70 + level * 3));
                EXPECT_EQ(f.s.seek(0, 2), 0);
                const uint64_t at = static_cast<uint64_t>(f.s.tell());
                EXPECT_EQ(f.s.writeBytes(pixels.data(), static_cast<int64_t>(pixels.size())), int64_t(pixels.size()));
                const int k = ty * across + tx;
                EXPECT_TRUE(d.findItemForEdit(324)->setLong8At(at, k));
                EXPECT_TRUE(d.findItemForEdit(325)->setLong8At(pixels.size(), k));
            }
    }
    dirs[0].setNextOffset(dirs[1].getPosition());
    for (auto& d : dirs) EXPECT_TRUE(d.writeAll(&f.s));
    const Bytes file = f.bytes();
    EXPECT_TRUE(vqtest::writeFile(path, std::string(file.begin(), file.end())));
    return path;
}

TEST(SlideTiffModel, TwoLevelFileAndItsBigTiffTwinReadByTifffile) {
    const std::string dir = vqtest::scratchDir("slide_tiff_model");
    const std::string classic = writeTwoLevels(dir + "/classic.tif", false);
    const std::string big = writeTwoLevels(dir + "/big.tif", true);
    std::string output;
    const int rc = vqtest::runCommand("/usr/bin/python3 '" VQ_SLIDE_TIFF_CHECK "' '" + classic + "' '" + big + "' 2>&1",
                                      &output);
    EXPECT_EQ(rc, 0) << output;
    EXPECT_NE(output.find("OK"), std::string::npos) << output;
}

} // namespace
