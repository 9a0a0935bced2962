// The SGILog codec: conversions of hand-computed values, run-length coding
// against hand-made strips, round trips in the caller's data formats, and
// its messages.
#include "tests/tiff/tiff_write_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace vqtiff;
using namespace tifftest;

namespace {

constexpr int FMT_FLOAT = 0, FMT_16BIT = 1, FMT_RAW = 2, FMT_8BIT = 3;

struct Layout {
    uint16_t photometric;
    uint32_t width, height;
    bool oneStrip; // RowsPerStrip left at its default
};

// Writes one image in the data format `fmt`; the pixels are the caller's.
Bytes writeLog(const char* mode, const Layout& l, int fmt, Bytes pixels, bool* ok = nullptr) {
    MemFile file;
    TIFFHandle* t = openMem(file, mode);
    TIFFSetField(t, TAG_ImageWidth, l.width);
    TIFFSetField(t, TAG_ImageLength, l.height);
    TIFFSetField(t, TAG_PhotometricInterpretation, int(l.photometric));
    TIFFSetField(t, TAG_SamplesPerPixel, l.photometric == PHOTOMETRIC_LOGL ? 1 : 3);
    TIFFSetField(t, TAG_PlanarConfiguration, int(PLANAR_CONTIG));
    if (!l.oneStrip) TIFFSetField(t, TAG_RowsPerStrip, 2u);
    TIFFSetField(t, TAG_Compression, int(COMPRESSION_SGILOG));
    bool written = TIFFSetField(t, TAG_SGILogDataFmt, fmt) == 1;
    const size_t row = pixels.size() / l.height;
    for (uint32_t y = 0; y < l.height && written; ++y)
        written = TIFFWriteScanline(t, &pixels[y * row], y, 0) == 1;
    if (ok) *ok = written;
    TIFFCloseFile(t);
    return file.data;
}

// Reads the image back in the data format `fmt`.
Bytes readLog(const Bytes& data, int fmt, size_t bytesPerPixel, const Layout& l) {
    MemFile file;
    file.data = data;
    TIFFHandle* t = openMem(file, "rm");
    EXPECT_NE(t, nullptr);
    if (!t) return {};
    EXPECT_EQ(TIFFSetField(t, TAG_SGILogDataFmt, fmt), 1);
    Bytes out(size_t(l.width) * l.height * bytesPerPixel);
    const size_t row = size_t(l.width) * bytesPerPixel;
    for (uint32_t y = 0; y < l.height; ++y) EXPECT_EQ(TIFFReadRow(t, &out[y * row], y, 0), 1) << "row " << y;
    TIFFCloseFile(t);
    return out;
}

template <class T>
Bytes asBytes(const std::vector<T>& v) {
    return Bytes(reinterpret_cast<const uint8_t*>(v.data()), reinterpret_cast<const uint8_t*>(v.data() + v.size()));
}
template <class T>
std::vector<T> fromBytes(const Bytes& b) {
    std::vector<T> v(b.size() / sizeof(T));
    std::memcpy(v.data(), b.data(), v.size() * sizeof(T));
    return v;
}

// LogL16 = 256 (log2 Y + 64), with the sign in bit 15 and saturation at
// both ends; Y below 5.4e-20 in magnitude is 0.
TEST(TiffSgiLog, LogLCodesOfKnownLuminances) {
    const Layout l{PHOTOMETRIC_LOGL, 8, 1, false};
    std::vector<float> y = {1.0f, 2.0f, 0.5f, -1.0f, 0.0f, 1e-20f, 2e19f, -2e19f};
    std::vector<uint16_t> want = {16384, 16640, 16128, 0x8000 | 16384, 0, 0, 0x7FFF, 0xFFFF};
    Bytes file = writeLog("w", l, FMT_FLOAT, asBytes(y));
    EXPECT_EQ(fromBytes<uint16_t>(readLog(file, FMT_16BIT, 2, l)), want);
    // Decoding takes the middle of the code's step: 16384 is 2^(0.5/256).
    std::vector<float> back = fromBytes<float>(readLog(file, FMT_FLOAT, 4, l));
    EXPECT_NEAR(back[0], std::pow(2.0, 0.5 / 256), 1e-6);
    EXPECT_NEAR(back[3], -std::pow(2.0, 0.5 / 256), 1e-6);
    EXPECT_EQ(back[4], 0.0f);
}

// 32-bit LogLuv: LogL16 in the top half, u' = 4X / (X + 15Y + 3Z) and
// v' = 9Y / (X + 15Y + 3Z) scaled by 410 below it. X = Y = Z = 1 gives
// u' = 4/19 (byte 86) and v' = 9/19 (byte 194).
TEST(TiffSgiLog, LogLuvCodeOfEqualEnergyWhite) {
    const Layout l{PHOTOMETRIC_LOGLUV, 2, 1, false};
    std::vector<float> xyz = {1, 1, 1, 0, 0, 0};
    Bytes file = writeLog("w", l, FMT_FLOAT, asBytes(xyz));
    std::vector<uint32_t> raw = fromBytes<uint32_t>(readLog(file, FMT_RAW, 4, l));
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[0], 16384u << 16 | 86u << 8 | 194u);
    // Black has code 0 luminance and the neutral chromaticity 4/19, 9/19.
    EXPECT_EQ(raw[1], 86u << 8 | 194u);
    std::vector<float> back = fromBytes<float>(readLog(file, FMT_FLOAT, 12, l));
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(back[c], 1.0, 0.01) << c;
    for (int c = 3; c < 6; ++c) EXPECT_EQ(back[c], 0.0f);
}

// Each byte plane, most significant first: runs of four or more equal
// bytes (control 126 + length), two or three equal bytes before a run as a
// short run, everything else literal (control = count).
TEST(TiffSgiLog, RunLengthPlanesMatchHandMadeBytes) {
    const Layout l{PHOTOMETRIC_LOGL, 6, 1, false};
    struct Case {
        std::vector<uint16_t> codes;
        Bytes stored;
    } cases[] = {
        {{0x4000, 0x4001, 0x4002, 0x4003, 0x4004, 0x4105},
         {0x83, 0x40, 0x01, 0x41, 0x06, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05}},
        {{0x0707, 0x0707, 0x0909, 0x0909, 0x0909, 0x0909}, {0x80, 0x07, 0x82, 0x09, 0x80, 0x07, 0x82, 0x09}},
    };
    for (const Case& c : cases) {
        Bytes file = writeLog("w", l, FMT_16BIT, asBytes(c.codes));
        MemFile m;
        m.data = file;
        TIFFHandle* t = openMem(m, "rm");
        ASSERT_NE(t, nullptr);
        Bytes raw(64);
        int64_t n = TIFFReadRawStrip(t, 0, raw.data(), int64_t(raw.size()));
        raw.resize(size_t(n > 0 ? n : 0));
        EXPECT_EQ(raw, c.stored);
        TIFFCloseFile(t);
        EXPECT_EQ(fromBytes<uint16_t>(readLog(file, FMT_16BIT, 2, l)), c.codes);
    }

    // A strip cut short reports the pixels missing.
    TiffBuilder b;
    Bytes shortStrip = {0x83, 0x40, 0x01, 0x41, 0x06, 0x00, 0x01};
    uint64_t at = b.addData(shortStrip);
    b.addIfd({longs(TAG_ImageWidth, {6}), longs(TAG_ImageLength, {1}), shorts(TAG_BitsPerSample, {16}),
              shorts(TAG_Compression, {COMPRESSION_SGILOG}), shorts(TAG_PhotometricInterpretation, {PHOTOMETRIC_LOGL}),
              longs(TAG_StripOffsets, {uint32_t(at)}), longs(TAG_RowsPerStrip, {1}),
              longs(TAG_StripByteCounts, {uint32_t(shortStrip.size())}), shorts(TAG_SampleFormat, {2})});
    MessageLog log;
    MemFile m;
    m.data = b.bytes();
    TIFFHandle* t = openMem(m, "rm");
    ASSERT_NE(t, nullptr) << log.all();
    uint16_t row[6];
    EXPECT_EQ(TIFFReadRow(t, row, 0, 0), -1);
    EXPECT_TRUE(log.hasError("LogL16Decode: Not enough data at row 0 (short 4 pixels)")) << log.all();
    TIFFCloseFile(t);
}

// Round trips with dithering off, in both byte orders and as one strip of
// the whole image (RowsPerStrip left at its default).
TEST(TiffSgiLog, RoundTripsInEveryWritableFormat) {
    for (const char* mode : {"w", "wb"}) {
        for (bool oneStrip : {false, true}) {
            SCOPED_TRACE(std::string(mode) + (oneStrip ? " one strip" : " strips"));
            MessageLog log;
            // LogL from floats: within one code step (0.28 %).
            const Layout grey{PHOTOMETRIC_LOGL, 7, 5, oneStrip};
            std::vector<float> y(35);
            for (size_t i = 0; i < y.size(); ++i) y[i] = float(std::pow(10.0, double(i) / 5 - 3));
            Bytes file = writeLog(mode, grey, FMT_FLOAT, asBytes(y));
            std::vector<float> yBack = fromBytes<float>(readLog(file, FMT_FLOAT, 4, grey));
            ASSERT_EQ(yBack.size(), y.size()) << log.all();
            for (size_t i = 0; i < y.size(); ++i) EXPECT_NEAR(yBack[i] / y[i], 1.0, 0.003) << i;

            // LogL codes: exact.
            std::vector<uint16_t> codes(35);
            for (size_t i = 0; i < codes.size(); ++i) codes[i] = uint16_t(i * 977 % 65536);
            file = writeLog(mode, grey, FMT_16BIT, asBytes(codes));
            EXPECT_EQ(fromBytes<uint16_t>(readLog(file, FMT_16BIT, 2, grey)), codes);

            // LogLuv raw codes: exact; through the 16-bit triple and back:
            // the same codes again.
            const Layout colour{PHOTOMETRIC_LOGLUV, 6, 5, oneStrip};
            std::vector<uint32_t> raw(30);
            for (size_t i = 0; i < raw.size(); ++i)
                raw[i] = uint32_t(0x3000 + 37 * i) << 16 | uint32_t(60 + i) << 8 | uint32_t(150 + 2 * i);
            file = writeLog(mode, colour, FMT_RAW, asBytes(raw));
            EXPECT_EQ(fromBytes<uint32_t>(readLog(file, FMT_RAW, 4, colour)), raw);
            Bytes triples = readLog(file, FMT_16BIT, 6, colour);
            Bytes again = writeLog(mode, colour, FMT_16BIT, triples);
            EXPECT_EQ(fromBytes<uint32_t>(readLog(again, FMT_RAW, 4, colour)), raw);

            // LogLuv from XYZ floats: Y within a step, chromaticity within
            // the 1/410 grid.
            std::vector<float> xyz;
            for (int i = 0; i < 30; ++i) {
                float yy = float(0.1 + i * 0.2);
                xyz.insert(xyz.end(), {yy * (0.8f + 0.01f * float(i)), yy, yy * (1.2f - 0.02f * float(i))});
            }
            file = writeLog(mode, colour, FMT_FLOAT, asBytes(xyz));
            std::vector<float> back = fromBytes<float>(readLog(file, FMT_FLOAT, 12, colour));
            ASSERT_EQ(back.size(), xyz.size());
            for (size_t i = 0; i < xyz.size(); i += 3) {
                EXPECT_NEAR(back[i + 1] / xyz[i + 1], 1.0, 0.003) << i;
                EXPECT_NEAR(back[i] / xyz[i], 1.0, 0.03) << i;
                EXPECT_NEAR(back[i + 2] / xyz[i + 2], 1.0, 0.03) << i;
            }
            EXPECT_TRUE(log.errors.empty()) << log.all();

            // The file records 16-bit signed samples whatever the caller used.
            MemFile m;
            m.data = file;
            TIFFHandle* t = openMem(m, "rm");
            uint16_t bits = 0, format = 0, samples = 0;
            TIFFQueryField(t, TAG_BitsPerSample, &bits);
            TIFFQueryField(t, TAG_SampleFormat, &format);
            TIFFQueryField(t, TAG_SamplesPerPixel, &samples);
            EXPECT_EQ(bits, 16);
            EXPECT_EQ(format, SAMPLEFORMAT_INT);
            EXPECT_EQ(samples, 3);
            TIFFCloseFile(t);
        }
    }
}

// Dithered encoding adds less than one step: every code is the plain
// code or the next one, and both occur.
TEST(TiffSgiLog, DitheringStaysWithinOneStep) {
    MemFile file;
    TIFFHandle* t = openMem(file, "w");
    const uint32_t width = 200;
    TIFFSetField(t, TAG_ImageWidth, width);
    TIFFSetField(t, TAG_ImageLength, 1u);
    TIFFSetField(t, TAG_PhotometricInterpretation, int(PHOTOMETRIC_LOGL));
    TIFFSetField(t, TAG_Compression, int(COMPRESSION_SGILOG));
    TIFFSetField(t, TAG_SGILogDataFmt, FMT_FLOAT);
    ASSERT_EQ(TIFFSetField(t, TAG_SGILogEncode, 1), 1);
    std::vector<float> y(width, 1.3f);
    ASSERT_EQ(TIFFWriteScanline(t, y.data(), 0, 0), 1);
    TIFFCloseFile(t);
    const int plain = int(256 * (std::log2(1.3) + 64)); // 16480
    std::vector<uint16_t> codes = fromBytes<uint16_t>(readLog(file.data, FMT_16BIT, 2, {PHOTOMETRIC_LOGL, width, 1, false}));
    int low = 0, high = 0;
    for (uint16_t c : codes) {
        EXPECT_TRUE(c == plain || c == plain + 1) << c;
        low += c == plain;
        high += c == plain + 1;
    }
    EXPECT_GT(low, 0);
    EXPECT_GT(high, 0);
}

TEST(TiffSgiLog, Messages) {
    struct Case {
        const char* name;
        uint16_t photometric;
        int fmt;
        int encoding;
        uint16_t planar;
        const char* message;
    } cases[] = {
        {"data format 4", PHOTOMETRIC_LOGL, 4, 0, 1, "Unknown data format 4 for LogLuv compression"},
        {"encoding 2", PHOTOMETRIC_LOGL, FMT_FLOAT, 2, 1, "Unknown encoding 2 for LogLuv compression"},
        {"separate planes", PHOTOMETRIC_LOGLUV, FMT_FLOAT, 0, 2, "SGILog compression cannot handle non-contiguous data"},
        {"8-bit LogL", PHOTOMETRIC_LOGL, FMT_8BIT, 0, 1, "SGILog compression supported only for Y, L, or raw data"},
        {"8-bit LogLuv", PHOTOMETRIC_LOGLUV, FMT_8BIT, 0, 1, "SGILog compression supported only for XYZ, Luv, or raw data"},
        {"raw LogL", PHOTOMETRIC_LOGL, FMT_RAW, 0, 1, "No support for converting user data format to LogL"},
        {"RGB", PHOTOMETRIC_RGB, FMT_FLOAT, 0, 1,
         "Inappropriate photometric interpretation 2 for SGILog compression; must be either LogLUV or LogL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MessageLog log;
        MemFile file;
        TIFFHandle* t = openMem(file, "w");
        TIFFSetField(t, TAG_ImageWidth, 4u);
        TIFFSetField(t, TAG_ImageLength, 2u);
        TIFFSetField(t, TAG_PhotometricInterpretation, int(c.photometric));
        TIFFSetField(t, TAG_SamplesPerPixel, c.photometric == PHOTOMETRIC_LOGL ? 1 : 3);
        TIFFSetField(t, TAG_PlanarConfiguration, int(c.planar));
        TIFFSetField(t, TAG_Compression, int(COMPRESSION_SGILOG));
        TIFFSetField(t, TAG_SGILogDataFmt, c.fmt);
        TIFFSetField(t, TAG_SGILogEncode, c.encoding);
        Bytes row(256, 0);
        if (c.fmt != 4 && c.encoding != 2) {
            EXPECT_EQ(TIFFWriteScanline(t, row.data(), 0, 0), -1);
        }
        EXPECT_TRUE(log.hasError(c.message)) << log.all();
        TIFFReleaseHandle(t);
    }
}

} // namespace
