// Codecs: PackBits, NeXT, LZW (both styles), Deflate, the predictors.
#include "tests/tiff/tiff_fixture.h"
#include "tiff/vqtiff_internal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <zlib.h>

using namespace tifftest;
using namespace vqtiff;

namespace {

struct StripSpec {
    uint16_t compression = COMPRESSION_NONE;
    uint32_t width = 0, length = 0, rps = 0;
    uint16_t bps = 8, spp = 1, predictor = 0, sampleFormat = 0;
    bool bigEndian = false;
};

// A file whose strips hold the given stored bytes.
Bytes codedFile(const StripSpec& s, const std::vector<Bytes>& strips) {
    TiffBuilder b(false, s.bigEndian);
    std::vector<uint32_t> offsets, counts;
    for (auto& st : strips) {
        offsets.push_back(uint32_t(b.addData(st)));
        counts.push_back(uint32_t(st.size()));
    }
    std::vector<Entry> e = {longs(256, {s.width}), longs(257, {s.length}),
                            shorts(258, std::vector<uint16_t>(s.spp, s.bps)), shorts(259, {s.compression}),
                            shorts(262, {uint16_t(s.spp == 3 ? 2 : 1)}), longs(273, offsets),
                            shorts(277, {s.spp}), longs(278, {s.rps}), longs(279, counts)};
    if (s.predictor) e.push_back(shorts(317, {s.predictor}));
    if (s.sampleFormat) e.push_back(shorts(339, std::vector<uint16_t>(s.spp, s.sampleFormat)));
    b.addIfd(e);
    return b.bytes();
}

// Encodes one strip through the library's encoder of `compression`.
Bytes libraryEncode(const StripSpec& s, Bytes data, int64_t bufferSize = -1, int* encodeResult = nullptr) {
    MemFile f;
    TIFFHandle* h = openMem(f, "w");
    EXPECT_NE(h, nullptr);
    TIFFSetField(h, TAG_ImageWidth, s.width);
    TIFFSetField(h, TAG_ImageLength, s.length);
    TIFFSetField(h, TAG_BitsPerSample, int(s.bps));
    TIFFSetField(h, TAG_SamplesPerPixel, int(s.spp));
    TIFFSetField(h, TAG_PlanarConfiguration, int(PLANAR_CONTIG));
    TIFFSetField(h, TAG_RowsPerStrip, s.length);
    if (s.sampleFormat) TIFFSetField(h, TAG_SampleFormat, int(s.sampleFormat));
    TIFFSetField(h, TAG_Compression, int(s.compression));
    if (s.predictor) TIFFSetField(h, TAG_Predictor, int(s.predictor));
    EXPECT_EQ(allocateStripArrays(h), 1);
    h->flags |= FLAG_BEENWRITING;
    h->scanlineByteSize = TIFFScanlineSize(h);
    EXPECT_EQ(TIFFWriteBufferSetup(h, nullptr, bufferSize), 1);
    h->curStrip = 0;
    EXPECT_EQ(h->setupEncode(h), 1);
    EXPECT_EQ(h->preEncode(h, 0), 1);
    int r = h->encodeStrip(h, data.data(), int64_t(data.size()), 0);
    if (encodeResult) *encodeResult = r;
    EXPECT_EQ(h->postEncode(h), 1);
    EXPECT_EQ(TIFFFlushRawBuffer(h), 1);
    uint64_t at = h->dir.stripOffset[0], n = h->dir.stripByteCount[0];
    TIFFCloseFile(h);
    return Bytes(f.data.begin() + long(at), f.data.begin() + long(at + n));
}

Bytes readAllStrips(TIFFHandle* h) {
    Bytes all;
    uint32_t n = h->dir.nStrips;
    for (uint32_t s = 0; s < n; ++s) {
        Bytes buf(TIFFVStripSize(h, h->dir.rowsPerStrip));
        int64_t got = TIFFReadDecodedStrip(h, s, buf.data(), -1);
        if (got < 0) return {};
        all.insert(all.end(), buf.begin(), buf.begin() + got);
    }
    return all;
}

// A handle on a one-strip file of `compression` with its raw cursor set on
// `stored`, ready for calling the decoder directly.
struct DirectDecoder {
    MemFile file;
    TIFFHandle* h = nullptr;
    Bytes stored;
    DirectDecoder(uint16_t compression, uint32_t width, Bytes bytes) : stored(std::move(bytes)) {
        StripSpec s;
        s.compression = compression;
        s.width = width;
        s.length = 1;
        s.rps = 1;
        s.bps = compression == COMPRESSION_NEXT ? 2 : 8;
        file.data = codedFile(s, {stored.empty() ? Bytes{0} : stored});
        h = openMem(file, "rm");
        h->rawCursor = stored.data();
        h->rawCount = int64_t(stored.size());
        h->curRow = 0;
    }
    ~DirectDecoder() { TIFFCloseFile(h); }
};

} // namespace

TEST(TiffPackBits, DecoderEdgeCases) {
    MessageLog log;
    {
        DirectDecoder d(COMPRESSION_PACKBITS, 4, Bytes{0x80, 0xFD, 7});
        Bytes out(4);
        EXPECT_EQ(d.h->decodeRow(d.h, out.data(), 4, 0), 1);
        EXPECT_EQ(out, (Bytes{7, 7, 7, 7}));
        EXPECT_EQ(d.h->rawCount, 0);
    }
    {
        // A literal of 10 into room 4: 4 copied, 6 discarded with a warning,
        // the cursor stops after the 4 copied bytes.
        Bytes stored = {9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        DirectDecoder d(COMPRESSION_PACKBITS, 4, stored);
        Bytes out(4);
        EXPECT_EQ(d.h->decodeRow(d.h, out.data(), 4, 0), 1);
        EXPECT_EQ(out, (Bytes{1, 2, 3, 4}));
        EXPECT_TRUE(log.hasWarning("PackBitsDecode: discarding 6 bytes to avoid buffer overrun"));
        EXPECT_EQ(d.h->rawCount, 6);
    }
    {
        // Data missing: the decoder never reads past the stored bytes.
        DirectDecoder d(COMPRESSION_PACKBITS, 8, Bytes{20, 1, 2});
        Bytes out(8);
        EXPECT_EQ(d.h->decodeRow(d.h, out.data(), 8, 0), 0);
        EXPECT_TRUE(log.hasError("PackBitsDecode: Not enough data for scanline 0"));
    }
}

TEST(TiffPackBits, EncoderRunsLiteralsAndMerges) {
    StripSpec s;
    s.compression = COMPRESSION_PACKBITS;
    s.length = 1;
    s.rps = 1;
    struct Case {
        Bytes input;
        Bytes expected;
    } cases[] = {
        {Bytes(129, 5), Bytes{0x81, 5, 0x00, 5}},
        {Bytes{1, 2, 2, 3}, Bytes{3, 1, 2, 2, 3}},
    };
    for (auto& c : cases) {
        s.width = uint32_t(c.input.size());
        EXPECT_EQ(libraryEncode(s, c.input), c.expected);
    }
    Bytes distinct(200);
    for (size_t i = 0; i < distinct.size(); ++i) distinct[i] = uint8_t(i);
    s.width = 200;
    Bytes coded = libraryEncode(s, distinct);
    ASSERT_EQ(coded.size(), 202u);
    EXPECT_EQ(coded[0], 127);
    EXPECT_EQ(coded[129], 71);
    // Round trip through a small raw buffer that flushes often.
    Bytes image = pattern(64 * 40, 3);
    s.width = 64;
    s.length = 40;
    s.rps = 40;
    for (int64_t bufferSize : {64, 300}) {
        Bytes small = libraryEncode(s, image, bufferSize);
        MemFile f;
        f.data = codedFile(s, {small});
        TIFFHandle* h = openMem(f, "rm");
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(readAllStrips(h), image);
        TIFFCloseFile(h);
    }
}

TEST(TiffNeXT, RowKinds) {
    MessageLog log;
    // Width 8 pixels of 2 bits: 2 bytes a row.
    {
        Bytes stored = {0x00, 0x12, 0x34};
        DirectDecoder d(COMPRESSION_NEXT, 8, stored);
        Bytes out(2);
        EXPECT_EQ(d.h->decodeRow(d.h, out.data(), 2, 0), 1);
        EXPECT_EQ(out, (Bytes{0x12, 0x34}));
    }
    {
        // Literal span: offset 1, count 1; the rest stays white.
        DirectDecoder d(COMPRESSION_NEXT, 8, Bytes{0x40, 0, 1, 0, 1, 0xAB});
        Bytes out(2);
        EXPECT_EQ(d.h->decodeRow(d.h, out.data(), 2, 0), 1);
        EXPECT_EQ(out, (Bytes{0xFF, 0xAB}));
    }
    {
        // Runs: 5 pixels of grey 2; the last byte's remaining pixels are 0.
        DirectDecoder d(COMPRESSION_NEXT, 5, Bytes{uint8_t((2 << 6) | 5)});
        Bytes out(2);
        EXPECT_EQ(d.h->decodeRow(d.h, out.data(), 2, 0), 1);
        EXPECT_EQ(out, (Bytes{0xAA, 0x80}));
    }
    {
        // A span one past the scanline fails.
        DirectDecoder d(COMPRESSION_NEXT, 8, Bytes{0x40, 0, 1, 0, 2, 1, 2});
        Bytes out(2);
        EXPECT_EQ(d.h->decodeRow(d.h, out.data(), 2, 0), 0);
        EXPECT_TRUE(log.hasError("NeXTDecode: Not enough data for scanline 0"));
    }
}

TEST(TiffLZW, NewAndOldStyleFixturesDecodeExactly) {
    for (bool oldStyle : {false, true}) {
        SCOPED_TRACE(oldStyle ? "old style" : "new style");
        StripSpec s;
        s.compression = COMPRESSION_LZW;
        s.width = 300;
        s.length = 60;
        s.rps = 20;
        Bytes image = pattern(300 * 60, 9);
        std::vector<Bytes> strips;
        for (int i = 0; i < 3; ++i)
            strips.push_back(lzwEncode(Bytes(image.begin() + i * 6000, image.begin() + (i + 1) * 6000), oldStyle));
        MemFile f;
        f.data = codedFile(s, strips);
        MessageLog log;
        TIFFHandle* h = openMem(f, "rm");
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(readAllStrips(h), image);
        EXPECT_EQ(log.countWarnings("Old-style LZW codes, convert file"), oldStyle ? 1 : 0);
        // Row by row: strings cross row ends and continue in the next call.
        Bytes row(300);
        for (uint32_t r = 0; r < 60; ++r) {
            ASSERT_EQ(TIFFReadRow(h, row.data(), r, 0), 1);
            ASSERT_EQ(row, Bytes(image.begin() + r * 300, image.begin() + (r + 1) * 300)) << r;
        }
        EXPECT_TRUE(log.errors.empty()) << log.all();
        TIFFCloseFile(h);
    }
}

TEST(TiffLZW, CorruptStreams) {
    MessageLog log;
    auto pack = [](std::vector<int> codes) {
        Bytes out;
        uint32_t acc = 0;
        int bits = 0;
        for (int c : codes) {
            acc = (acc << 9) | uint32_t(c);
            bits += 9;
            while (bits >= 8) {
                out.push_back(uint8_t(acc >> (bits - 8)));
                bits -= 8;
            }
        }
        if (bits) out.push_back(uint8_t(acc << (8 - bits)));
        return out;
    };
    struct Case {
        std::vector<int> codes;
        const char* message;
    } cases[] = {
        {{65, 66, 257}, "LZWDecode: Corrupted LZW table at scanline 0"},
        {{256, 256, 257}, "LZWDecode: Corrupted LZW table at scanline 0"},
        {{256, 65, 300, 257}, "LZWDecode: Wrong length of decoded string"},
        {{256, 65, 257}, "LZWDecode: Not enough data at scanline 0 (short 7 bytes)"},
    };
    for (auto& c : cases) {
        StripSpec s;
        s.compression = COMPRESSION_LZW;
        s.width = 8;
        s.length = 1;
        s.rps = 1;
        MemFile f;
        f.data = codedFile(s, {pack(c.codes)});
        TIFFHandle* h = openMem(f, "rm");
        ASSERT_NE(h, nullptr);
        Bytes out(8);
        EXPECT_EQ(TIFFReadDecodedStrip(h, 0, out.data(), -1), -1);
        EXPECT_TRUE(log.hasError(c.message)) << c.message << "\n" << log.all();
        TIFFCloseFile(h);
    }
}

TEST(TiffLZW, LibraryEncoderMatchesAndRoundTrips) {
    StripSpec s;
    s.compression = COMPRESSION_LZW;
    s.width = 100;
    s.length = 90; // under the encoder's first ratio check
    s.rps = 90;
    Bytes image = pattern(9000, 4);
    EXPECT_EQ(libraryEncode(s, image), lzwEncode(image, false));
    // Long noisy input: the table fills, Clear comes at 12 bits, and the
    // ratio checks reset it; the decoder still gets every byte back.
    s.width = 1000;
    s.length = 200;
    s.rps = 200;
    Bytes big(200000);
    uint32_t x = 99;
    for (auto& v : big) {
        x = x * 1664525u + 1013904223u;
        v = uint8_t((x >> 24) & 0x3F);
    }
    Bytes coded = libraryEncode(s, big, 4096);
    MemFile f;
    f.data = codedFile(s, {coded});
    TIFFHandle* h = openMem(f, "rm");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(readAllStrips(h), big);
    TIFFCloseFile(h);
    // Empty input: only the end-of-information code.
    s.width = 1;
    s.length = 1;
    Bytes empty = libraryEncode(s, Bytes{});
    EXPECT_EQ(empty, (Bytes{0x80, 0x80})); // 257 in 9 bits, padded
}

TEST(TiffDeflate, StripsAndShortStreams) {
    StripSpec s;
    s.compression = COMPRESSION_DEFLATE;
    s.width = 64;
    s.length = 32;
    s.rps = 16;
    Bytes image = pattern(64 * 32, 5);
    std::vector<Bytes> encodings;
    for (uint16_t scheme : {COMPRESSION_DEFLATE, COMPRESSION_ADOBE_DEFLATE}) {
        s.compression = scheme;
        MemFile f;
        f.data = codedFile(s, {zlibEncode(Bytes(image.begin(), image.begin() + 1024)),
                               zlibEncode(Bytes(image.begin() + 1024, image.end()))});
        TIFFHandle* h = openMem(f, "rm");
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(readAllStrips(h), image);
        int q = 0;
        EXPECT_EQ(TIFFQueryField(h, TAG_ZipQuality, &q), 1);
        EXPECT_EQ(q, -1);
        TIFFCloseFile(h);
        encodings.push_back(libraryEncode(s, image));
    }
    EXPECT_EQ(encodings[0], encodings[1]); // both schemes write the same stream
    EXPECT_EQ(encodings[0], zlibEncode(image));
    // A complete stream shorter than the strip.
    MemFile f;
    f.data = codedFile(s, {zlibEncode(Bytes(1000, 1)), zlibEncode(Bytes(1024, 1))});
    MessageLog log;
    TIFFHandle* h = openMem(f, "rm");
    ASSERT_NE(h, nullptr);
    Bytes out(1024);
    EXPECT_EQ(TIFFReadDecodedStrip(h, 0, out.data(), -1), -1);
    EXPECT_TRUE(log.hasError("Not enough data at scanline 0 (short 24 bytes)")) << log.all();
    TIFFCloseFile(h);
}

TEST(TiffPredictor, HorizontalDifferencingRoundTrips) {
    for (uint16_t compression : {COMPRESSION_LZW, COMPRESSION_DEFLATE}) {
        for (uint16_t bps : {8, 16}) {
            for (bool bigEndian : {false, true}) {
                SCOPED_TRACE(std::to_string(compression) + " " + std::to_string(bps) + (bigEndian ? " MM" : " II"));
                StripSpec s;
                s.compression = compression;
                s.width = 33;
                s.length = 7;
                s.rps = 7;
                s.bps = bps;
                s.spp = 3;
                s.predictor = 2;
                s.bigEndian = bigEndian;
                size_t n = size_t(33) * 7 * 3 * (bps / 8);
                Bytes image = pattern(n, bps);
                // Host-order samples differenced by the library's encoder.
                Bytes stored = image;
                Bytes coded = libraryEncode(s, stored);
                if (bigEndian && bps == 16) {
                    // The encoder writes host order; a big-endian file stores
                    // the differenced samples byte-swapped.
                    Bytes diffed = image;
                    for (size_t r = 0; r < 7; ++r) {
                        auto* v = reinterpret_cast<uint16_t*>(diffed.data() + r * 33 * 6);
                        for (int i = 33 * 3 - 1; i >= 3; --i) v[i] = uint16_t(v[i] - v[i - 3]);
                    }
                    for (size_t i = 0; i < diffed.size(); i += 2) std::swap(diffed[i], diffed[i + 1]);
                    coded = compression == COMPRESSION_DEFLATE ? zlibEncode(diffed) : lzwEncode(diffed, false);
                }
                MemFile f;
                f.data = codedFile(s, {coded});
                TIFFHandle* h = openMem(f, "rm");
                ASSERT_NE(h, nullptr);
                EXPECT_EQ(readAllStrips(h), image);
                TIFFCloseFile(h);
            }
        }
    }
}

TEST(TiffPredictor, FloatingPointAndRefusals) {
    // One sample 1.0: the planes hold 3F 80 00 00 before differencing.
    StripSpec s;
    s.compression = COMPRESSION_DEFLATE;
    s.width = 1;
    s.length = 1;
    s.rps = 1;
    s.bps = 32;
    s.predictor = 3;
    s.sampleFormat = SAMPLEFORMAT_IEEEFP;
    float one = 1.0f;
    Bytes input(4);
    std::memcpy(input.data(), &one, 4);
    Bytes coded = libraryEncode(s, input);
    uint8_t planes[4];
    uLongf n = 4;
    ASSERT_EQ(uncompress(planes, &n, coded.data(), uLong(coded.size())), Z_OK);
    EXPECT_EQ(Bytes(planes, planes + 4), (Bytes{0x3F, uint8_t(0x80 - 0x3F), uint8_t(0x00 - 0x80), 0x00}));
    // A row of floats round-trips.
    s.width = 37;
    s.length = 5;
    s.rps = 5;
    std::vector<float> values(37 * 5);
    for (size_t i = 0; i < values.size(); ++i) values[i] = float(i) * 0.37f - 11.0f;
    Bytes image(values.size() * 4);
    std::memcpy(image.data(), values.data(), image.size());
    Bytes stored = libraryEncode(s, image);
    MemFile f;
    f.data = codedFile(s, {stored});
    TIFFHandle* h = openMem(f, "rm");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(readAllStrips(h), image);
    TIFFCloseFile(h);

    struct Case {
        uint16_t bps, predictor, format;
        const char* message;
    } cases[] = {
        {32, 2, 1, "Horizontal differencing \"Predictor\" not supported with 32-bit samples"},
        {4, 2, 1, "Horizontal differencing \"Predictor\" not supported with 4-bit samples"},
        {8, 3, 1, "Floating point \"Predictor\" not supported with 1 data format"},
        {8, 4, 1, "\"Predictor\" value 4 not supported"},
    };
    for (auto& c : cases) {
        StripSpec e;
        e.compression = COMPRESSION_DEFLATE;
        e.width = 8;
        e.length = 1;
        e.rps = 1;
        e.bps = c.bps;
        e.predictor = c.predictor;
        e.sampleFormat = c.format;
        MemFile g;
        g.data = codedFile(e, {zlibEncode(Bytes(32, 0))});
        MessageLog log;
        TIFFHandle* hh = openMem(g, "rm");
        ASSERT_NE(hh, nullptr);
        Bytes out(32);
        EXPECT_EQ(TIFFReadDecodedStrip(hh, 0, out.data(), -1), -1);
        EXPECT_TRUE(log.hasError(c.message)) << log.all();
        TIFFCloseFile(hh);
    }
}

TEST(TiffPredictor, ShortRowsAreUnchanged) {
    StripSpec s;
    s.compression = COMPRESSION_DEFLATE;
    s.width = 1;
    s.length = 3;
    s.rps = 3;
    s.spp = 3;
    s.predictor = 2;
    Bytes image = {10, 20, 30, 40, 50, 60, 70, 80, 90};
    MemFile f;
    f.data = codedFile(s, {zlibEncode(image)});
    TIFFHandle* h = openMem(f, "rm");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(readAllStrips(h), image);
    TIFFCloseFile(h);
}

namespace {
int64_t failingWrite(void*, void*, int64_t) { return 0; }
} // namespace

TEST(TiffEncoders, AFailedFlushFailsTheEncoding) {
    for (uint16_t compression : {COMPRESSION_NONE, COMPRESSION_PACKBITS, COMPRESSION_LZW, COMPRESSION_DEFLATE}) {
        SCOPED_TRACE(compression);
        MemFile f;
        TIFFHandle* h = openMem(f, "w");
        ASSERT_NE(h, nullptr);
        TIFFSetField(h, TAG_ImageWidth, uint32_t(256));
        TIFFSetField(h, TAG_ImageLength, uint32_t(512));
        TIFFSetField(h, TAG_BitsPerSample, 8);
        TIFFSetField(h, TAG_RowsPerStrip, uint32_t(512));
        TIFFSetField(h, TAG_Compression, int(compression));
        ASSERT_EQ(allocateStripArrays(h), 1);
        h->flags |= FLAG_BEENWRITING;
        h->scanlineByteSize = TIFFScanlineSize(h);
        ASSERT_EQ(TIFFWriteBufferSetup(h, nullptr, 256), 1);
        h->curStrip = 0;
        ASSERT_EQ(h->setupEncode(h), 1);
        ASSERT_EQ(h->preEncode(h, 0), 1);
        h->writeProc = failingWrite;
        MessageLog log;
        Bytes data(256 * 512); // enough for zlib to emit blocks before the end
        uint32_t x = 1;
        for (auto& v : data) v = uint8_t((x = x * 1103515245u + 12345u) >> 16);
        EXPECT_EQ(h->encodeStrip(h, data.data(), int64_t(data.size()), 0), -1);
        EXPECT_TRUE(log.hasError("Write error at scanline")) << log.all();
        h->openMode = OPEN_RDONLY; // nothing more to flush at close
        TIFFCloseFile(h);
    }
}
