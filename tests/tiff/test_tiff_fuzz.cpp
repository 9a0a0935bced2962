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
    std::vector<Bytes> files = sampleTiffs();
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
