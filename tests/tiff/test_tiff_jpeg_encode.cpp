// Writing JPEG-compressed TIFF files: tiled RGB and YCbCr images read back
// by the library and, tile by tile joined to JPEGTables, by djpeg; the
// tables-only stream; the encode set-up's refusals.
#include "tests/tiff/tiff_write_support.h"
#include "tests/support/test_env.h"
#include "tiff/vqtiff_internal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace vqtiff;
using namespace tifftest;

namespace {

constexpr uint32_t kWidth = 96, kHeight = 80, kTile = 32;

// A smooth RGB image: JPEG keeps such images well above 30 dB.
Bytes smoothRgb(uint32_t w, uint32_t h) {
    Bytes rgb(size_t(w) * h * 3);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            p[0] = uint8_t(128 + 100 * std::sin(x / 9.0));
            p[1] = uint8_t(y * 3 % 256);
            p[2] = uint8_t(x + y);
        }
    return rgb;
}

uint8_t clamp8(double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : std::lround(v)); }

// The JFIF equations, both ways.
void rgbToYcc(const uint8_t* rgb, double* ycc) {
    double r = rgb[0], g = rgb[1], b = rgb[2];
    ycc[0] = 0.299 * r + 0.587 * g + 0.114 * b;
    ycc[1] = -0.168736 * r - 0.331264 * g + 0.5 * b + 128;
    ycc[2] = 0.5 * r - 0.418688 * g - 0.081312 * b + 128;
}
void yccToRgb(const uint8_t* ycc, uint8_t* rgb) {
    double y = ycc[0], cb = ycc[1] - 128, cr = ycc[2] - 128;
    rgb[0] = clamp8(y + 1.402 * cr);
    rgb[1] = clamp8(y - 0.344136 * cb - 0.714136 * cr);
    rgb[2] = clamp8(y + 1.772 * cb);
}

// Packed 2 x 2 clumps (four Y, then Cb and Cr) of one tile of the image.
Bytes clumpTile(const Bytes& rgb, uint32_t x0, uint32_t y0) {
    Bytes out;
    for (uint32_t cy = 0; cy < kTile; cy += 2)
        for (uint32_t cx = 0; cx < kTile; cx += 2) {
            double cb = 0, cr = 0;
            uint8_t ys[4];
            for (int k = 0; k < 4; ++k) {
                uint32_t x = std::min(x0 + cx + k % 2, kWidth - 1), y = std::min(y0 + cy + k / 2, kHeight - 1);
                double ycc[3];
                rgbToYcc(&rgb[(size_t(y) * kWidth + x) * 3], ycc);
                ys[k] = clamp8(ycc[0]);
                cb += ycc[1] / 4;
                cr += ycc[2] / 4;
            }
            out.insert(out.end(), ys, ys + 4);
            out.push_back(clamp8(cb));
            out.push_back(clamp8(cr));
        }
    return out;
}

Bytes rgbTile(const Bytes& rgb, uint32_t x0, uint32_t y0) {
    Bytes out(size_t(kTile) * kTile * 3, 0);
    for (uint32_t y = 0; y < kTile && y0 + y < kHeight; ++y)
        for (uint32_t x = 0; x < kTile && x0 + x < kWidth; ++x)
            std::memcpy(&out[(size_t(y) * kTile + x) * 3], &rgb[(size_t(y0 + y) * kWidth + x0 + x) * 3], 3);
    return out;
}

// PSNR over the pixels of a tile that lie inside the image.
double psnr(const Bytes& a, const Bytes& b, uint32_t x0, uint32_t y0, uint32_t stride, int channels) {
    double sum = 0;
    size_t n = 0;
    for (uint32_t y = 0; y < kTile && y0 + y < kHeight; ++y)
        for (uint32_t x = 0; x < kTile && x0 + x < kWidth; ++x)
            for (int c = 0; c < channels; ++c) {
                size_t i = (size_t(y) * stride + x) * channels + c;
                double d = double(a.at(i)) - double(b.at(i));
                sum += d * d;
                ++n;
            }
    if (sum == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 / (sum / double(n)));
}

double psnrAll(const Bytes& a, const Bytes& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += (double(a[i]) - b.at(i)) * (double(a[i]) - b.at(i));
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / (sum / double(a.size())));
}

enum class Kind { Rgb, YccFromRgb, YccRaw };

struct Written {
    MemFile file;
    Bytes source; // RGB
};

void writeTiled(Written& w, Kind kind, int tablesMode = 3) {
    w.source = smoothRgb(kWidth, kHeight);
    TIFFHandle* t = openMem(w.file, "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TAG_ImageWidth, kWidth);
    TIFFSetField(t, TAG_ImageLength, kHeight);
    TIFFSetField(t, TAG_BitsPerSample, 8);
    TIFFSetField(t, TAG_SamplesPerPixel, 3);
    TIFFSetField(t, TAG_PlanarConfiguration, int(PLANAR_CONTIG));
    TIFFSetField(t, TAG_TileWidth, kTile);
    TIFFSetField(t, TAG_TileLength, kTile);
    TIFFSetField(t, TAG_PhotometricInterpretation, int(kind == Kind::Rgb ? PHOTOMETRIC_RGB : PHOTOMETRIC_YCBCR));
    ASSERT_EQ(TIFFSetField(t, TAG_Compression, int(COMPRESSION_JPEG)), 1);
    TIFFSetField(t, TAG_JPEGQuality, 90);
    TIFFSetField(t, TAG_JPEGTablesMode, tablesMode);
    if (kind == Kind::YccFromRgb) TIFFSetField(t, TAG_JPEGColorMode, int(JPEGCOLORMODE_RGB));
    for (uint32_t ty = 0; ty < kHeight; ty += kTile)
        for (uint32_t tx = 0; tx < kWidth; tx += kTile) {
            Bytes data = kind == Kind::YccRaw ? clumpTile(w.source, tx, ty) : rgbTile(w.source, tx, ty);
            uint32_t tile = TIFFTileOfPixel(t, tx, ty, 0, 0);
            ASSERT_EQ(TIFFWriteEncodedTile(t, tile, data.data(), int64_t(data.size())), int64_t(data.size()));
        }
    TIFFCloseFile(t);
}

// The stored stream of every tile and the JPEGTables value.
struct Streams {
    Bytes tables;
    std::vector<Bytes> tiles;
};
Streams storedStreams(const MemFile& file) {
    Streams s;
    MemFile copy;
    copy.data = file.data;
    TIFFHandle* t = openMem(copy, "rm");
    EXPECT_NE(t, nullptr);
    if (!t) return s;
    uint32_t n = 0;
    void* tables = nullptr;
    if (TIFFQueryField(t, TAG_JPEGTables, &n, &tables) && n) s.tables.assign((uint8_t*)tables, (uint8_t*)tables + n);
    for (uint32_t i = 0; i < TIFFNumberOfTiles(t); ++i) {
        Bytes raw(200000);
        int64_t got = TIFFReadRawTile(t, i, raw.data(), int64_t(raw.size()));
        EXPECT_GT(got, 0);
        raw.resize(size_t(got > 0 ? got : 0));
        s.tiles.push_back(raw);
    }
    TIFFCloseFile(t);
    return s;
}

bool hasMarker(const Bytes& b, uint8_t marker) {
    for (size_t i = 0; i + 1 < b.size(); ++i)
        if (b[i] == 0xFF && b[i + 1] == marker) return true;
    return false;
}

// The tables stream without its end marker, then the tile stream without
// its start marker: one complete JPEG stream.
Bytes joinTables(const Bytes& tables, const Bytes& tile) {
    if (tables.size() < 4) return tile;
    Bytes out(tables.begin(), tables.end() - 2);
    out.insert(out.end(), tile.begin() + 2, tile.end());
    return out;
}

// djpeg's decoding of a stream as a PPM: its pixel bytes.
Bytes djpeg(const std::string& dir, const Bytes& jpeg, int index) {
    std::string in = saveFile(dir, "t" + std::to_string(index) + ".jpg", jpeg);
    std::string out = in + ".ppm";
    int rc = vqtest::runCommand(vqtest::requireTool("djpeg") + " -pnm -outfile '" + out + "' '" + in + "'");
    EXPECT_EQ(rc, 0);
    std::string ppm = vqtest::readFile(out);
    // "P6\n<w> <h>\n255\n" then the pixels.
    size_t at = 0;
    for (int fields = 0; fields < 4 && at < ppm.size(); ++at)
        if (ppm[at] == '\n' || ppm[at] == ' ') ++fields;
    return Bytes(ppm.begin() + std::ptrdiff_t(at), ppm.end());
}

TEST(TiffJpegEncode, TiledFilesReadBackByLibraryAndDjpeg) {
    std::string dir = vqtest::scratchDir("tiff_jpeg_encode");
    for (Kind kind : {Kind::Rgb, Kind::YccFromRgb, Kind::YccRaw}) {
        SCOPED_TRACE(int(kind));
        MessageLog log;
        Written w;
        writeTiled(w, kind);
        ASSERT_TRUE(log.errors.empty()) << log.all();

        // The library: RGB as written, YCbCr converted back to RGB or as
        // packed clumps.
        MemFile copy;
        copy.data = w.file.data;
        TIFFHandle* t = openMem(copy, "rm");
        ASSERT_NE(t, nullptr) << log.all();
        EXPECT_EQ(TIFFHasTiles(t), 1);
        uint16_t photometric = 0;
        TIFFQueryField(t, TAG_PhotometricInterpretation, &photometric);
        EXPECT_EQ(photometric, kind == Kind::Rgb ? PHOTOMETRIC_RGB : PHOTOMETRIC_YCBCR);
        if (kind == Kind::YccFromRgb) TIFFSetField(t, TAG_JPEGColorMode, int(JPEGCOLORMODE_RGB));
        if (kind != Kind::Rgb) {
            float* refbw = nullptr;
            ASSERT_EQ(TIFFQueryField(t, TAG_ReferenceBlackWhite, &refbw), 1);
            const float want[6] = {0, 255, 128, 255, 128, 255};
            for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(refbw[i], want[i]);
        }
        for (uint32_t ty = 0; ty < kHeight; ty += kTile)
            for (uint32_t tx = 0; tx < kWidth; tx += kTile) {
                Bytes want = kind == Kind::YccRaw ? clumpTile(w.source, tx, ty) : rgbTile(w.source, tx, ty);
                Bytes got(want.size());
                ASSERT_EQ(TIFFReadEncodedTile(t, TIFFTileOfPixel(t, tx, ty, 0, 0), got.data(), int64_t(got.size())),
                          int64_t(got.size()))
                    << log.all();
                if (kind == Kind::YccRaw)
                    EXPECT_GE(psnrAll(got, want), 30.0) << tx << "," << ty;
                else
                    EXPECT_GE(psnr(got, want, tx, ty, kTile, 3), 30.0) << tx << "," << ty;
            }
        TIFFCloseFile(t);

        // djpeg, every tile joined to the tables. Streams without colour
        // markers and component ids 0, 1, 2 are taken as YCbCr by djpeg, so
        // the RGB file's tiles come out as the JFIF conversion of the RGB.
        Streams s = storedStreams(w.file);
        ASSERT_EQ(s.tiles.size(), 9u);
        for (size_t i = 0; i < s.tiles.size(); ++i) {
            uint32_t tx = uint32_t(i % 3) * kTile, ty = uint32_t(i / 3) * kTile;
            Bytes want = rgbTile(w.source, tx, ty);
            if (kind == Kind::Rgb)
                for (size_t p = 0; p < want.size(); p += 3) {
                    uint8_t rgb[3];
                    yccToRgb(&want[p], rgb);
                    std::memcpy(&want[p], rgb, 3);
                }
            Bytes got = djpeg(dir, joinTables(s.tables, s.tiles[i]), int(i));
            ASSERT_EQ(got.size(), want.size());
            EXPECT_GE(psnr(got, want, tx, ty, kTile, 3), 30.0) << "tile " << i;
        }
    }
}

// JPEGTables is a tables-only stream: start and end markers, the tables the
// tables mode asks for, no frame and no scan. What it leaves out, every tile
// carries.
TEST(TiffJpegEncode, TablesOnlyStreamFollowsTheTablesMode) {
    std::string dir = vqtest::scratchDir("tiff_jpeg_tables");
    struct Case {
        int mode;
        bool dqtInTables, dhtInTables;
    } cases[] = {{3, true, true}, {1, true, false}, {2, false, true}, {0, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        Written w;
        writeTiled(w, Kind::YccFromRgb, c.mode);
        Streams s = storedStreams(w.file);
        if (c.mode == 0) {
            EXPECT_TRUE(s.tables.empty());
        } else {
            ASSERT_GE(s.tables.size(), 4u);
            EXPECT_EQ(s.tables[0], 0xFF);
            EXPECT_EQ(s.tables[1], 0xD8);
            EXPECT_EQ(s.tables[s.tables.size() - 2], 0xFF);
            EXPECT_EQ(s.tables.back(), 0xD9);
            EXPECT_EQ(hasMarker(s.tables, 0xDB), c.dqtInTables);
            EXPECT_EQ(hasMarker(s.tables, 0xC4), c.dhtInTables);
            EXPECT_FALSE(hasMarker(s.tables, 0xC0));
            EXPECT_FALSE(hasMarker(s.tables, 0xDA));
        }
        for (const Bytes& tile : s.tiles) {
            EXPECT_EQ(hasMarker(tile, 0xDB), !c.dqtInTables);
            EXPECT_EQ(hasMarker(tile, 0xC4), !c.dhtInTables);
            EXPECT_TRUE(hasMarker(tile, 0xDA));
        }
        EXPECT_EQ(djpeg(dir, joinTables(s.tables, s.tiles[4]), 0).size(), size_t(kTile) * kTile * 3);
    }
}

TEST(TiffJpegEncode, SetUpRefusals) {
    struct Case {
        const char* name;
        uint16_t photometric, bits;
        bool tiled;
        uint32_t tileWidth, tileLength, rowsPerStrip;
        uint16_t hs, vs;
        const char* message;
    } cases[] = {
        {"palette", PHOTOMETRIC_PALETTE, 8, false, 0, 0, 16, 2, 2, "PhotometricInterpretation 3 not allowed for JPEG"},
        {"16-bit", PHOTOMETRIC_MINISBLACK, 16, false, 0, 0, 16, 2, 2, "BitsPerSample 16 not allowed for JPEG"},
        {"strip rows", PHOTOMETRIC_YCBCR, 8, false, 0, 0, 12, 2, 2, "RowsPerStrip must be multiple of 16 for JPEG"},
        {"tile width", PHOTOMETRIC_YCBCR, 8, true, 48, 48, 0, 4, 2, "JPEG tile width must be multiple of 32"},
        {"tile height", PHOTOMETRIC_YCBCR, 8, true, 32, 16, 0, 2, 4, "JPEG tile height must be multiple of 32"},
        {"too large", PHOTOMETRIC_MINISBLACK, 8, false, 0, 0, 100000, 1, 1, "Strip/tile too large for JPEG"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MessageLog log;
        MemFile file;
        TIFFHandle* t = openMem(file, "w");
        const uint16_t samples = c.photometric == PHOTOMETRIC_YCBCR ? 3 : 1;
        const uint32_t length = c.rowsPerStrip == 100000 ? 100000 : 64;
        TIFFSetField(t, TAG_ImageWidth, 64u);
        TIFFSetField(t, TAG_ImageLength, length);
        TIFFSetField(t, TAG_BitsPerSample, int(c.bits));
        TIFFSetField(t, TAG_SamplesPerPixel, int(samples));
        TIFFSetField(t, TAG_PlanarConfiguration, int(PLANAR_CONTIG));
        TIFFSetField(t, TAG_PhotometricInterpretation, int(c.photometric));
        TIFFSetField(t, TAG_YCbCrSubsampling, int(c.hs), int(c.vs));
        ASSERT_EQ(TIFFSetField(t, TAG_Compression, int(COMPRESSION_JPEG)), 1);
        if (c.photometric == PHOTOMETRIC_YCBCR) TIFFSetField(t, TAG_JPEGColorMode, int(JPEGCOLORMODE_RGB));
        if (c.tiled) {
            TIFFSetField(t, TAG_TileWidth, c.tileWidth);
            TIFFSetField(t, TAG_TileLength, c.tileLength);
        } else {
            TIFFSetField(t, TAG_RowsPerStrip, c.rowsPerStrip);
        }
        Bytes data(size_t(64) * 64 * samples * c.bits / 8, 1);
        int64_t r = c.tiled ? TIFFWriteEncodedTile(t, 0, data.data(), int64_t(data.size()))
                            : TIFFWriteEncodedStrip(t, 0, data.data(), int64_t(data.size()));
        EXPECT_EQ(r, -1);
        EXPECT_TRUE(log.hasError(c.message)) << log.all();
        TIFFReleaseHandle(t);
    }
}

// Strip and tile sizes proposed by the library become whole MCUs of the
// directory's YCbCr subsampling (2, 2 by default, RGB images too).
TEST(TiffJpegEncode, DefaultSizesRoundToMcus) {
    MemFile file;
    TIFFHandle* t = openMem(file, "w");
    TIFFSetField(t, TAG_ImageWidth, 100u);
    TIFFSetField(t, TAG_ImageLength, 100u);
    TIFFSetField(t, TAG_PhotometricInterpretation, int(PHOTOMETRIC_RGB));
    TIFFSetField(t, TAG_Compression, int(COMPRESSION_JPEG));
    EXPECT_EQ(TIFFSuggestStripRows(t, 20), 32u);
    EXPECT_EQ(TIFFSuggestStripRows(t, 120), 120u);
    TIFFReleaseHandle(t);
}

// A full disk fails the JPEG write: the failed flush inside libjpeg's
// output reaches the caller as -1.
TEST(TiffJpegEncode, FullDiskFailsTheWrite) {
    MessageLog log;
    LimitedFile file;
    file.limit = 600;
    TIFFHandle* t = openLimited(file, "w");
    TIFFSetField(t, TAG_ImageWidth, 256u);
    TIFFSetField(t, TAG_ImageLength, 256u);
    TIFFSetField(t, TAG_BitsPerSample, 8);
    TIFFSetField(t, TAG_PhotometricInterpretation, int(PHOTOMETRIC_MINISBLACK));
    TIFFSetField(t, TAG_RowsPerStrip, 256u);
    TIFFSetField(t, TAG_Compression, int(COMPRESSION_JPEG));
    TIFFSetField(t, TAG_JPEGQuality, 100);
    // A raw buffer smaller than the stream, so libjpeg's output fills it.
    ASSERT_EQ(TIFFWriteBufferSetup(t, nullptr, 1024), 1);
    Bytes noise = pattern(256 * 256, 77);
    EXPECT_EQ(TIFFWriteEncodedStrip(t, 0, noise.data(), int64_t(noise.size())), -1);
    EXPECT_TRUE(log.hasError("full.tif: Write error at scanline")) << log.all();
    TIFFReleaseHandle(t);
}

} // namespace
