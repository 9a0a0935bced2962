// Source files of every kind the plain readers take, dropped on the window:
// each becomes a tile folder whose full-resolution tiles show the source
// pixels, and each file the readers refuse ends with the reader's reason in
// the job's log. The sources and the expected pixels are written by Python
// (numpy, zlib, tifffile) and by the test by hand, not by the converter.
#include "tests/app/e2e_fixture.h"

#include <jpeglib.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "app/JUCEKestrifier.h"
#include "tiff/vqtiff.h"

namespace {

using namespace e2e;

// Writes the named source files into a folder. PNG files are put together
// chunk by chunk; "<name>.ppm" next to each holds the RGB pixels the
// converter must show for it.
const char* const kMakeSources = R"PY(
import struct, sys, zlib
import numpy as np

out, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
names = sys.argv[4:]
y, x = np.mgrid[0:h, 0:w]
red = (x * 255 // w).astype(np.uint8)
green = (y * 255 // h).astype(np.uint8)
blue = np.where(((x // 100 + y // 100) % 2) == 1, 200, 40).astype(np.uint8)
rgb = np.dstack([red, green, blue])
grey = ((red.astype(np.int32) + green + blue) // 3).astype(np.uint8)
# Blocks fully opaque, fully transparent and half transparent.
alpha = np.choose((x // 64 + 2 * (y // 64)) % 3, [255, 0, 128]).astype(np.uint8)
noise = np.random.default_rng(7).integers(0, 256, (h, w, 4), dtype=np.uint8)

def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)

def png(name, depth, colour, rows, extra=b'', interlace=0):
    raw = b''.join(b'\0' + bytes(r) for r in rows)
    head = struct.pack('>IIBBBBB', w, h, depth, colour, 0, 0, interlace)
    with open(out + '/' + name, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', head) + extra + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))

def expect(name, pixels):
    with open(out + '/' + name + '.ppm', 'wb') as f:
        f.write(b'P6\n%d %d\n255\n' % (w, h) + np.ascontiguousarray(pixels, np.uint8).tobytes())

def over_white(colour, a):
    a = a.astype(np.int32)[..., None]
    return ((colour.astype(np.int32) * a + 255 * (255 - a)) // 255).astype(np.uint8)

def sixteen(samples):
    # The high byte carries the picture, the low byte noise a reader must drop.
    wide = samples.astype(np.uint16) * 256 + noise[..., :samples.shape[-1]] if samples.ndim == 3 \
        else samples.astype(np.uint16) * 256 + noise[..., 0]
    return wide.astype('>u2').reshape(h, -1).view(np.uint8)

def tiff(name, j2k, **layout):
    import tifffile
    path = out + '/' + name
    tifffile.imwrite(path, rgb, photometric='rgb', metadata=None, **layout)
    if j2k:
        with tifffile.TiffFile(path) as t:
            where = t.pages[0].tags['Compression'].valueoffset
        with open(path, 'r+b') as f:
            f.seek(where)
            f.write(struct.pack('<H', 33003))

def bmp(name, header_size, bits, compression, masks, pixels):
    # Rows bottom-up, each padded to 4 bytes; masks behind a 40-byte header,
    # inside the longer ones.
    rows = pixels.reshape(h, -1)
    stride = (rows.shape[1] + 3) // 4 * 4
    behind = b''.join(struct.pack('<I', m) for m in masks) if header_size == 40 else b''
    info = struct.pack('<IiiHHIIiiII', header_size, w, h, 1, bits, compression, stride * h, 2835, 2835, 0, 0)
    if header_size > 40:
        info += b''.join(struct.pack('<I', m) for m in masks)
        info += b'\0' * (header_size - len(info))
    offset = 14 + len(info) + len(behind)
    data = b''.join(bytes(r) + b'\0' * (stride - len(r)) for r in rows[::-1])
    with open(out + '/' + name, 'wb') as f:
        f.write(b'BM' + struct.pack('<IHHI', offset + len(data), 0, 0, offset) + info + behind + data)

def widen(v, bits):
    return np.rint(v.astype(np.float64) * 255 / ((1 << bits) - 1)).astype(np.uint8)

bgr = rgb[..., ::-1]
palette = np.random.default_rng(3).integers(0, 256, (256, 3), dtype=np.uint8)
index = (((x // 16) * 7 + (y // 16) * 13) % 256).astype(np.uint8)
palette_alpha = np.choose(np.arange(256) % 3, [0, 128, 255]).astype(np.uint8)

for name in names:
    if name == 'grey.png':
        png(name, 8, 0, grey)
        expect(name, np.dstack([grey] * 3))
    elif name == 'grey16.png':
        png(name, 16, 0, sixteen(grey))
        expect(name, np.dstack([grey] * 3))
    elif name == 'grey-alpha.png':
        png(name, 8, 4, np.dstack([grey, alpha]).reshape(h, -1))
        expect(name, over_white(np.dstack([grey] * 3), alpha))
    elif name == 'grey-alpha16.png':
        png(name, 16, 4, sixteen(np.dstack([grey, alpha])))
        expect(name, over_white(np.dstack([grey] * 3), alpha))
    elif name == 'palette.png':
        png(name, 8, 3, index, chunk(b'PLTE', palette.tobytes()))
        expect(name, palette[index])
    elif name == 'palette-transparent.png':
        png(name, 8, 3, index, chunk(b'PLTE', palette.tobytes()) + chunk(b'tRNS', palette_alpha.tobytes()))
        expect(name, over_white(palette[index], palette_alpha[index]))
    elif name == 'rgb16.png':
        png(name, 16, 2, sixteen(rgb))
        expect(name, rgb)
    elif name == 'rgba16.png':
        png(name, 16, 6, sixteen(np.dstack([rgb, alpha])))
        expect(name, over_white(rgb, alpha))
    elif name == 'plain40.bmp':
        bmp(name, 40, 24, 0, [], bgr)
        expect(name, rgb)
    elif name == 'header108.bmp':
        bmp(name, 108, 24, 0, [], bgr)
        expect(name, rgb)
    elif name == 'header124-8888.bmp':
        bmp(name, 124, 32, 3, [0xFF0000, 0xFF00, 0xFF, 0xFF000000], np.dstack([bgr, np.full((h, w), 255, np.uint8)]))
        expect(name, rgb)
    elif name == 'masks-888.bmp':
        bmp(name, 40, 32, 3, [0xFF0000, 0xFF00, 0xFF], np.dstack([bgr, np.zeros((h, w), np.uint8)]))
        expect(name, rgb)
    elif name in ('masks-565.bmp', 'masks-555.bmp', 'plain-555.bmp'):
        six = name == 'masks-565.bmp'
        r5, g, b5 = red.astype(np.uint16) >> 3, green.astype(np.uint16) >> (2 if six else 3), blue.astype(np.uint16) >> 3
        v = (r5 << (11 if six else 10)) | (g << 5) | b5
        masks = [0xF800, 0x07E0, 0x001F] if six else [0x7C00, 0x03E0, 0x001F]
        bmp(name, 40 if name != 'masks-555.bmp' else 124, 16, 0 if name == 'plain-555.bmp' else 3,
            [] if name == 'plain-555.bmp' else masks, v.astype('<u2').view(np.uint8))
        expect(name, np.dstack([widen(r5, 5), widen(g, 6 if six else 5), widen(b5, 5)]))
    elif name == 'odd-masks.bmp':
        bmp(name, 124, 32, 3, [0xFF, 0xFF00, 0xFF0000, 0], np.dstack([rgb, np.zeros((h, w), np.uint8)]))
    elif name == 'palette.bmp':
        bmp(name, 40, 8, 0, [], index)
    elif name == 'bad-depth.png':
        png(name, 4, 2, rgb.reshape(h, -1)[:, :w * 3 // 2])
    elif name == 'interlaced.png':
        png(name, 8, 2, rgb.reshape(h, -1), interlace=1)
    elif name == 'deep.ppm':
        with open(out + '/' + name, 'wb') as f:
            f.write(b'P6\n%d %d\n65535\n' % (w, h) + sixteen(rgb).tobytes())
    elif name == 'short.ppm':
        # The header promises more rows than the file holds.
        with open(out + '/' + name, 'wb') as f:
            f.write(b'P6\n%d %d\n255\n' % (w, h) + rgb[:h // 2].tobytes())
    elif name == 'j2k.svs':
        tiff(name, True, tile=(256, 256), description='Aperio Image Library v10.0.50\n%dx%d -> %dx%d' % (w, h, w, h))
    elif name == 'j2k.tif':
        tiff(name, True, rowsperstrip=64)
    elif name == 'palette.tif':
        import tifffile
        colours = (np.arange(3 * 256, dtype=np.uint16).reshape(3, 256) * 85) % 65536
        tifffile.imwrite(out + '/' + name, index, photometric='palette', colormap=colours, metadata=None,
                         rowsperstrip=64)
    elif name == 'notatiff.tif':
        with open(out + '/' + name, 'wb') as f:
            f.write(b'this is no TIFF file at all\n' * 4)
    else:
        sys.exit('no recipe for ' + name)
)PY";

// A four-component JPEG written by the JPEG library itself: CMYK as stored,
// or YCCK.
bool writeFourComponentJpeg(const std::string& path, J_COLOR_SPACE stored, int w, int h) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    jpeg_compress_struct c;
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, file);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, stored);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(w) * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 4; ++k) row[static_cast<size_t>(x) * 4 + k] = JSAMPLE((x + y * 3 + k * 60) % 256);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(file) == 0;
}

class ReaderSources {
public:
    ReaderSources(const std::string& name, int w, int h) : dir_(fs::absolute(vqtest::scratchDir(name)).string()) {
        script_ = dir_ + "/make_sources.py";
        EXPECT_TRUE(vqtest::writeFile(script_, kMakeSources));
        size_ = std::to_string(w) + " " + std::to_string(h);
    }
    // Writes the named files; returns their paths.
    juce::StringArray make(const std::vector<std::string>& names) const {
        std::string list;
        juce::StringArray paths;
        for (const auto& n : names) {
            list += " '" + n + "'";
            paths.add(path(n));
        }
        std::string output;
        EXPECT_EQ(vqtest::runCommand("/usr/bin/python3 '" + script_ + "' '" + dir_ + "' " + size_ + list + " 2>&1",
                                     &output),
                  0)
            << output;
        return paths;
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

private:
    std::string dir_;
    std::string script_;
    std::string size_;
};

class ReaderEndToEnd : public EndToEnd {
protected:
    void SetUp() override {
        EndToEnd::SetUp();
        // As at start-up: the TIFF library's messages become log lines.
        errorHandler_ = vqtiff::TIFFInstallErrorHandler(tiffMessageHandler);
        warningHandler_ = vqtiff::TIFFInstallWarningHandler(tiffMessageHandler);
    }
    void TearDown() override {
        vqtiff::TIFFInstallErrorHandler(errorHandler_);
        vqtiff::TIFFInstallWarningHandler(warningHandler_);
        EndToEnd::TearDown();
    }

private:
    vqtiff::TIFFMessageHandler errorHandler_ = nullptr;
    vqtiff::TIFFMessageHandler warningHandler_ = nullptr;
};

TEST_F(ReaderEndToEnd, EveryKindOfPlainFileBecomesATileFolderOfItsPixels) {
    const std::vector<std::string> names = {
        "grey.png",     "grey16.png",         "grey-alpha.png",     "grey-alpha16.png", "palette.png",
        "palette-transparent.png", "rgb16.png", "rgba16.png",        "plain40.bmp",      "header108.bmp",
        "header124-8888.bmp", "masks-888.bmp", "masks-565.bmp",     "masks-555.bmp",    "plain-555.bmp"};
    ReaderSources src("e2e_kinds", 600, 400);
    const int first = drop(src.make(names));
    ASSERT_TRUE(runUntilFinal(first, static_cast<int>(names.size())));
    vqtest::requireTool("djpeg");
    for (size_t i = 0; i < names.size(); ++i) {
        const ConversionJob& job = row(first + static_cast<int>(i));
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(job.getStatus(), kStatusFinished) << job.getMessage() << joined(job.logLines);
        // The independent checker compares the full-resolution tiles with the
        // pixels the file stands for.
        const std::string folder = src.path(fs::path(names[i]).stem().string());
        std::string output;
        const int rc = vqtest::runCommand("/usr/bin/python3 '" VQ_CHECK_PYRAMID "' kestrix '" + folder + "' '" +
                                              src.path(names[i] + ".ppm") + "' 2>&1",
                                          &output);
        EXPECT_EQ(rc, 0) << output;
    }
}

// The RGB a four-ink JPEG stands for, as a PPM: the JPEG library's own
// decoding to inverted inks (Adobe marker), each channel the ink's light
// times the black's.
bool writeInkReference(const std::string& jpegPath, const std::string& ppmPath) {
    FILE* in = std::fopen(jpegPath.c_str(), "rb");
    if (in == nullptr) return false;
    jpeg_decompress_struct d;
    jpeg_error_mgr errors;
    d.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, in);
    jpeg_read_header(&d, TRUE);
    const bool adobe = d.saw_Adobe_marker != 0;
    d.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&d);
    const int w = static_cast<int>(d.output_width), h = static_cast<int>(d.output_height);
    std::vector<JSAMPLE> row(static_cast<size_t>(w) * 4);
    std::string ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    while (d.output_scanline < d.output_height) {
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&d, &r, 1);
        for (int x = 0; x < w; ++x) {
            const double k = row[4 * x + 3];
            for (int c = 0; c < 3; ++c) ppm += static_cast<char>(std::lround(row[4 * x + c] * k / 255.0));
        }
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(in);
    return adobe && vqtest::writeFile(ppmPath, ppm);
}

TEST_F(ReaderEndToEnd, CmykAndYcckJpegBecomeTileFoldersOfTheirRgb) {
    ReaderSources src("e2e_inks", 300, 200);
    juce::StringArray paths;
    for (const auto& [name, space] : {std::pair<const char*, J_COLOR_SPACE>{"cmyk.jpg", JCS_CMYK}, {"ycck.jpg", JCS_YCCK}}) {
        ASSERT_TRUE(writeFourComponentJpeg(src.path(name), space, 300, 200));
        ASSERT_TRUE(writeInkReference(src.path(name), src.path(std::string(name) + ".ppm")));
        paths.add(src.path(name));
    }
    const int first = drop(paths);
    ASSERT_TRUE(runUntilFinal(first, 2));
    vqtest::requireTool("djpeg");
    for (int i = 0; i < 2; ++i) {
        const std::string name = i == 0 ? "cmyk.jpg" : "ycck.jpg";
        SCOPED_TRACE(name);
        const ConversionJob& job = row(first + i);
        EXPECT_EQ(job.getStatus(), kStatusFinished) << job.getMessage() << joined(job.logLines);
        std::string output;
        const int rc = vqtest::runCommand("/usr/bin/python3 '" VQ_CHECK_PYRAMID "' kestrix '" +
                                              src.path(fs::path(name).stem().string()) + "' '" +
                                              src.path(name + ".ppm") + "' 2>&1",
                                          &output);
        EXPECT_EQ(rc, 0) << output;
    }
}

TEST_F(ReaderEndToEnd, RefusedFilesSayWhyInTheJobsLog) {
    struct Case {
        const char* name;
        const char* reason;
        bool atRecognition = true;
    };
    const std::vector<Case> cases = {
        {"interlaced.png", "Currently don't process PNG interlaced images\n"},
        {"bad-depth.png", "PNG library error: Invalid IHDR data (Invalid color type/bit depth combination in IHDR)\n"},
        {"odd-masks.bmp", "Bitmap bit masks 000000FF 0000FF00 00FF0000 00000000 are not a supported layout\n"},
        {"palette.bmp", "Bitmaps of 8 bits per pixel are not supported\n"},
        {"deep.ppm", "PPM file is not 8-bit"},
        // The header promises more rows than the file holds.
        {"short.ppm", "PPM image of 300 x 200 pixels needs 180015 bytes but the file holds 90015\n"},
        {"j2k.tif", "JPEG 2000 compressed TIFF strips are not supported\n"},
        {"notatiff.tif", "TIFF:"},
        {"palette.tif", "TIFF samples (photometric 3, 1 per pixel of 8 bits) are not supported\n"},
    };
    ReaderSources src("e2e_refused", 300, 200);
    std::vector<std::string> names;
    for (const auto& c : cases) names.push_back(c.name);
    juce::StringArray paths = src.make(names);
    const int first = drop(paths);
    ASSERT_TRUE(runUntilFinal(first, static_cast<int>(cases.size())));
    for (size_t i = 0; i < cases.size(); ++i) {
        const ConversionJob& job = row(first + static_cast<int>(i));
        SCOPED_TRACE(cases[i].name);
        EXPECT_NE(job.getStatus(), kStatusFinished);
        // The row keeps the dispatcher's or the run's message; the log says why.
        const juce::String log = joined(job.logLines);
        EXPECT_TRUE(log.contains(cases[i].reason)) << log;
        EXPECT_TRUE(job.logLines.contains(job.getMessage())) << log;
        if (cases[i].atRecognition) {
            EXPECT_TRUE(job.getMessage().contains(juce::String(src.path(cases[i].name)))) << job.getMessage();
            EXPECT_FALSE(fs::exists(src.path(fs::path(cases[i].name).stem().string()))) << "no output folder";
        }
    }
}

} // namespace
