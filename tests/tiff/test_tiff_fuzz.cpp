// Bounded random mutation of a corpus of files of every codec and layout:
// every mutant is opened and read in full without a crash, hang or
// sanitizer report.
#include "tests/tiff/tiff_fixture.h"
#include "tiff/vqtiff_internal.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace tifftest;
using namespace vqtiff;

namespace {

void silent(const char*, const char*, va_list) {}

std::vector<Bytes> corpus() {
    std::vector<Bytes> files;
    auto strips = [](TiffBuilder& b, const std::vector<Bytes>& coded) {
        std::vector<uint32_t> offsets, counts;
        for (auto& c : coded) {
            offsets.push_back(uint32_t(b.addData(c)));
            counts.push_back(uint32_t(c.size()));
        }
        return std::make_pair(offsets, counts);
    };
    auto rows = [](const Bytes& image, size_t rowBytes, size_t perStrip, auto encode) {
        std::vector<Bytes> out;
        for (size_t at = 0; at < image.size(); at += rowBytes * perStrip)
            out.push_back(encode(Bytes(image.begin() + long(at),
                                       image.begin() + long(std::min(image.size(), at + rowBytes * perStrip)))));
        return out;
    };
    const uint32_t w = 24, l = 20;
    // None, classic little-endian, two directories with assorted tags.
    {
        TiffBuilder b;
        Bytes img = pattern(w * l);
        auto [o, c] = strips(b, rows(img, w, 6, [](Bytes x) { return x; }));
        std::vector<Entry> e = {longs(256, {w}), longs(257, {l}), shorts(258, {8}), shorts(259, {1}),
                                shorts(262, {1}), longs(273, o), longs(278, {6}), longs(279, c),
                                ascii(270, "fuzz"), rationals(282, {72, 1}), rationals(283, {72, 1}),
                                shorts(296, {2}), shorts(297, {0, 2}), bytes(37000, TYPE_UNDEFINED, Bytes(9, 3))};
        b.addIfd(e);
        std::vector<uint16_t> map(3 * 256);
        for (size_t i = 0; i < map.size(); ++i) map[i] = uint16_t(i * 85);
        auto e2 = e;
        e2[4] = shorts(262, {3});
        e2.push_back(shorts(320, map));
        b.addIfd(e2);
        files.push_back(b.bytes());
    }
    // PackBits, big-endian.
    {
        TiffBuilder b(false, true);
        Bytes img = pattern(w * l * 3, 2);
        auto [o, c] = strips(b, rows(img, w * 3, 5, packBitsEncode));
        b.addIfd({longs(256, {w}), longs(257, {l}), shorts(258, {8, 8, 8}), shorts(259, {32773}), shorts(262, {2}),
                  shorts(277, {3}), longs(273, o), longs(278, {5}), longs(279, c)});
        files.push_back(b.bytes());
    }
    // LZW new and old style, with the horizontal predictor on the new one.
    for (bool oldStyle : {false, true}) {
        TiffBuilder b;
        Bytes img = pattern(w * l, 3);
        auto [o, c] = strips(b, rows(img, w, 10, [&](Bytes x) { return lzwEncode(x, oldStyle); }));
        std::vector<Entry> e = {longs(256, {w}), longs(257, {l}), shorts(258, {8}), shorts(259, {5}),
                                shorts(262, {1}), longs(273, o), longs(278, {10}), longs(279, c)};
        if (!oldStyle) e.push_back(shorts(317, {2}));
        b.addIfd(e);
        files.push_back(b.bytes());
    }
    // Deflate tiles in a BigTIFF, 16-bit, separate planes, predictor.
    {
        TiffBuilder b(true, false);
        std::vector<Bytes> tiles;
        for (int t = 0; t < 2 * 2 * 2; ++t) tiles.push_back(zlibEncode(pattern(16 * 16 * 2, uint32_t(t))));
        auto [o, c] = strips(b, tiles);
        std::vector<uint64_t> o8(o.begin(), o.end()), c8(c.begin(), c.end());
        b.addIfd({longs(256, {w}), longs(257, {l}), shorts(258, {16, 16}), shorts(259, {32946}), shorts(262, {1}),
                  shorts(277, {2}), shorts(284, {2}), shorts(317, {2}), longs(322, {16}), longs(323, {16}),
                  long8s(324, o8), long8s(325, c8), shorts(338, {0})});
        files.push_back(b.bytes());
    }
    // JPEG tiles with tables, 2 x 2 subsampling.
    {
        std::vector<Bytes> rgb;
        std::vector<std::pair<int, int>> sizes;
        for (int t = 0; t < 2; ++t) {
            rgb.push_back(pattern(16 * 16 * 3, uint32_t(t + 5)));
            sizes.push_back({16, 16});
        }
        JpegSet js = encodeAbbreviated(rgb, sizes, 2, 2);
        TiffBuilder b;
        auto [o, c] = strips(b, js.images);
        b.addIfd({longs(256, {32}), longs(257, {16}), shorts(258, {8, 8, 8}), shorts(259, {7}), shorts(262, {6}),
                  shorts(277, {3}), longs(322, {16}), longs(323, {16}), longs(324, o), longs(325, c),
                  bytes(347, TYPE_UNDEFINED, js.tables), shorts(530, {2, 2})});
        files.push_back(b.bytes());
    }
    // NeXT, one strip per row.
    {
        TiffBuilder b;
        std::vector<Bytes> coded = {Bytes{0x00, 1, 2}, Bytes{0x40, 0, 1, 0, 1, 9}, Bytes{0x85, 0x42}};
        auto [o, c] = strips(b, coded);
        b.addIfd({longs(256, {8}), longs(257, {3}), shorts(258, {2}), shorts(259, {32766}), shorts(262, {1}),
                  longs(273, o), longs(278, {1}), longs(279, c)});
        files.push_back(b.bytes());
    }
    return files;
}

struct Rng {
    uint64_t s;
    uint64_t next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
    size_t below(size_t n) { return n ? size_t(next() % n) : 0; }
};

Bytes mutate(const Bytes& in, Rng& rng) {
    Bytes b = in;
    int edits = 1 + int(rng.below(6));
    for (int i = 0; i < edits && !b.empty(); ++i) {
        size_t at = rng.below(b.size());
        switch (rng.below(6)) {
        case 0: b[at] ^= uint8_t(1u << rng.below(8)); break;
        case 1: b[at] = uint8_t(rng.next()); break;
        case 2: {
            static const uint32_t interesting[] = {0, 1, 0xFF, 0xFFFF, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 16, 4096};
            uint32_t v = interesting[rng.below(9)];
            for (int k = 0; k < 4 && at + size_t(k) < b.size(); ++k) b[at + size_t(k)] = uint8_t(v >> (8 * k));
            break;
        }
        case 3: b.resize(at); break;
        case 4: b[at] = uint8_t(b[at] + 1); break;
        default: {
            size_t from = rng.below(b.size()), n = std::min<size_t>(rng.below(16), b.size() - from);
            size_t to = rng.below(b.size());
            for (size_t k = 0; k < n && to + k < b.size(); ++k) b[to + k] = b[from + k];
            break;
        }
        }
    }
    return b;
}

constexpr int64_t kMaxBuffer = 4 << 20;

void exercise(TIFFHandle* h, bool rgb) {
    uint16_t dirs = TIFFCountDirectories(h);
    for (uint16_t d = 0; d < std::min<uint16_t>(dirs, 4); ++d) {
        if (!TIFFSelectDirectory(h, d)) continue;
        uint32_t v32;
        uint16_t a16, b16;
        float f;
        TIFFQueryField(h, TAG_ImageWidth, &v32);
        TIFFQueryField(h, TAG_BitsPerSample, &a16);
        TIFFQueryField(h, TAG_XResolution, &f);
        TIFFQueryField(h, TAG_YCbCrSubsampling, &a16, &b16);
        const char* text;
        TIFFQueryField(h, TAG_ImageDescription, &text);
        if (h->dir.compression == COMPRESSION_JPEG && rgb) TIFFSetField(h, TAG_JPEGColorMode, JPEGCOLORMODE_RGB);
        uint32_t n = std::min<uint32_t>(h->dir.nStrips, 64);
        if (TIFFHasTiles(h)) {
            int64_t size = h->tileByteSize;
            if (size <= 0 || size > kMaxBuffer) continue;
            Bytes buf(static_cast<size_t>(size));
            for (uint32_t t = 0; t < n; ++t) {
                TIFFReadEncodedTile(h, t, buf.data(), size);
                TIFFReadRawTile(h, t, buf.data(), size);
            }
        } else {
            int64_t size = TIFFWholeStripSize(h);
            if (size <= 0 || size > kMaxBuffer) continue;
            Bytes buf(static_cast<size_t>(size));
            for (uint32_t s = 0; s < n; ++s) {
                TIFFReadDecodedStrip(h, s, buf.data(), size);
                TIFFReadRawStrip(h, s, buf.data(), size);
            }
            if (h->scanlineByteSize > 0 && h->scanlineByteSize <= kMaxBuffer) {
                Bytes row(static_cast<size_t>(h->scanlineByteSize));
                for (uint32_t r = 0; r < std::min<uint32_t>(h->dir.imageLength, 8); ++r)
                    TIFFReadRow(h, row.data(), r, 0);
            }
        }
    }
}

} // namespace

TEST(TiffFuzz, MutantsOpenAndReadWithoutFaults) {
    auto oldWarning = TIFFInstallWarningHandler(silent);
    auto oldError = TIFFInstallErrorHandler(silent);
    std::vector<Bytes> files = corpus();
    // Every unmutated file reads cleanly first.
    for (auto& f : files) {
        MemFile m;
        m.data = f;
        TIFFHandle* h = openMem(m, "rm");
        ASSERT_NE(h, nullptr);
        exercise(h, true);
        TIFFCloseFile(h);
    }
    Rng rng{0x9E3779B97F4A7C15ull};
    const auto start = std::chrono::steady_clock::now();
    int mutants = 0;
    for (; mutants < 40000; ++mutants) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(20)) break;
        MemFile m;
        m.allowMap = (mutants & 1) != 0;
        m.data = mutate(files[size_t(mutants) % files.size()], rng);
        TIFFHandle* h = openMem(m, m.allowMap ? "r" : "rm");
        if (!h) continue;
        exercise(h, (mutants & 2) != 0);
        TIFFCloseFile(h);
        EXPECT_EQ(m.closeCount, 1);
    }
    TIFFInstallWarningHandler(oldWarning);
    TIFFInstallErrorHandler(oldError);
    EXPECT_GT(mutants, 200);
}
