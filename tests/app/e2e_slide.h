// Slides as scanners write them, for the end-to-end tests: tiles encoded by
// libjpeg as abbreviated streams that share one JPEGTables, YCbCr 4:2:0 under
// photometric RGB with no YCbCrSubsampling tag, written into a TIFF by
// Debian's tifffile (which takes the encoded pieces as they are).
#pragma once

#include <jpeglib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/test_env.h"
#include "tests/tiff/tiff_fixture.h"

namespace e2e {

using Bytes = std::vector<uint8_t>;
using PixelFunction = std::function<uint8_t(int x, int y, int channel)>;

// One libjpeg compressor that writes its tables once as a tables-only
// stream and then tiles without them, or complete streams.
class SlideJpegWriter {
public:
    explicit SlideJpegWriter(int quality) {
        c_.err = jpeg_std_error(&err_);
        jpeg_create_compress(&c_);
        c_.image_width = 256;
        c_.image_height = 256;
        c_.input_components = 3;
        c_.in_color_space = JCS_RGB;
        jpeg_set_defaults(&c_);  // YCbCr with 2 x 2 luma sampling: 4:2:0
        jpeg_set_quality(&c_, quality, TRUE);
        c_.write_JFIF_header = FALSE;
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&c_, &buffer, &size);
        jpeg_write_tables(&c_);
        tables_.assign(buffer, buffer + size);
        std::free(buffer);
    }
    ~SlideJpegWriter() { jpeg_destroy_compress(&c_); }
    SlideJpegWriter(const SlideJpegWriter&) = delete;
    SlideJpegWriter& operator=(const SlideJpegWriter&) = delete;

    // SOI, DQT and DHT segments, EOI.
    const Bytes& tables() const { return tables_; }

    // The w x h pixels from (x0, y0) at scale 2^shift, as a stream without
    // the tables (abbreviated) or with them (complete).
    Bytes encode(const PixelFunction& pixel, int x0, int y0, int w, int h, bool complete) {
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&c_, &buffer, &size);
        c_.image_width = static_cast<JDIMENSION>(w);
        c_.image_height = static_cast<JDIMENSION>(h);
        c_.write_JFIF_header = FALSE;
        jpeg_start_compress(&c_, complete ? TRUE : FALSE);
        std::vector<JSAMPLE> row(static_cast<size_t>(w) * 3);
        while (c_.next_scanline < c_.image_height) {
            const int y = y0 + static_cast<int>(c_.next_scanline);
            for (int x = 0; x < w; ++x)
                for (int k = 0; k < 3; ++k) row[static_cast<size_t>(x * 3 + k)] = pixel(x0 + x, y, k);
            JSAMPROW rows[1] = {row.data()};
            jpeg_write_scanlines(&c_, rows, 1);
        }
        jpeg_finish_compress(&c_);
        Bytes out(buffer, buffer + size);
        std::free(buffer);
        return out;
    }

private:
    jpeg_compress_struct c_{};
    jpeg_error_mgr err_{};
    Bytes tables_;
};

// Level 0 of a slide as written: its shared tables and its stored tiles.
struct SlideFile {
    std::string path;
    int across = 0, down = 0;
    Bytes tables;
    std::vector<Bytes> tiles;  // row order, each beginning with its own SOI

    // The tile completed as a stand-alone JPEG: SOI, the tables between their
    // SOI and EOI, then the tile after its SOI.
    Bytes spliced(int x, int y) const {
        const Bytes& tile = tiles[static_cast<size_t>(y * across + x)];
        Bytes out = {0xFF, 0xD8};
        out.insert(out.end(), tables.begin() + 2, tables.end() - 2);
        out.insert(out.end(), tile.begin() + 2, tile.end());
        return out;
    }
};

inline std::string bytesText(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Writes a w x h slide of three JPEG-tiled pyramid levels at `path`. As an
// Aperio SVS it also carries Aperio descriptions, an LZW thumbnail after
// level 0, an LZW label and a JPEG macro; otherwise it is a plain pyramid TIFF.
inline SlideFile writeSlide(const std::string& path, int w, int h, bool aperio, const PixelFunction& pixel) {
    SlideFile slide;
    slide.path = path;
    const std::string parts = path + ".parts";
    std::filesystem::create_directories(parts);
    // Smaller levels sample the picture at their scale; pixels beyond the
    // picture repeat its edge, as a scanner pads its edge tiles.
    auto at = [&](int shift) {
        return [&, shift](int x, int y, int k) {
            return pixel(std::min(x << shift, w - 1), std::min(y << shift, h - 1), k);
        };
    };
    std::string levels;
    for (int level = 0; level < 3; ++level) {
        const int lw = w >> level, lh = h >> level;
        const int across = (lw + 255) / 256, down = (lh + 255) / 256;
        SlideJpegWriter writer(80);
        const PixelFunction scaled = at(level);
        EXPECT_TRUE(vqtest::writeFile(parts + "/L" + std::to_string(level) + ".tables", bytesText(writer.tables())));
        for (int ty = 0; ty < down; ++ty)
            for (int tx = 0; tx < across; ++tx) {
                const Bytes tile = writer.encode(scaled, tx * 256, ty * 256, 256, 256, false);
                EXPECT_TRUE(vqtest::writeFile(
                    parts + "/L" + std::to_string(level) + "_" + std::to_string(ty * across + tx) + ".jpg",
                    bytesText(tile)));
                if (level == 0) slide.tiles.push_back(tile);
            }
        if (level == 0) {
            slide.across = across;
            slide.down = down;
            slide.tables = writer.tables();
        }
        levels += "(" + std::to_string(lw) + ", " + std::to_string(lh) + ", " + std::to_string(across * down) + "), ";
    }
    // Thumbnail and label as one LZW strip each, the macro as one JPEG strip.
    auto rgb = [&](int shift, int ew, int eh) {
        tifftest::Bytes out;
        for (int y = 0; y < eh; ++y)
            for (int x = 0; x < ew; ++x)
                for (int k = 0; k < 3; ++k) out.push_back(at(shift)(x, y, k));
        return out;
    };
    EXPECT_TRUE(vqtest::writeFile(parts + "/thumb.bin", bytesText(tifftest::lzwEncode(rgb(3, w >> 3, h >> 3), false))));
    EXPECT_TRUE(vqtest::writeFile(parts + "/label.bin", bytesText(tifftest::lzwEncode(rgb(2, 300, 200), false))));
    SlideJpegWriter macro(90);
    EXPECT_TRUE(vqtest::writeFile(parts + "/macro.bin", bytesText(macro.encode(at(1), 0, 0, 600, 200, true))));

    const std::string header = "Aperio Image Library v10.0.50\\r\\n";
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    const std::string script =
        "import tifffile\n"
        "P = '" + parts + "'\n"
        "APERIO = " + (aperio ? "True" : "False") + "\n"
        "LEVELS = [" + levels + "]\n"
        "def read(name):\n"
        "    return open(P + '/' + name, 'rb').read()\n"
        "def desc(text):\n"
        "    return '" + header + "' + text if APERIO else None\n"
        "compressions = []\n"
        "common = dict(dtype='uint8', photometric='rgb', metadata=None, compression='zlib')\n"
        "with tifffile.TiffWriter('" + path + "') as tw:\n"
        "    def strip(name, w, h, compression, text, subfile=0):\n"
        "        tw.write(iter([read(name)]), shape=(h, w, 3), rowsperstrip=h, subfiletype=subfile,\n"
        "                 description=desc(text), **common)\n"
        "        compressions.append(compression)\n"
        "    for level, (w, h, n) in enumerate(LEVELS):\n"
        "        tiles = [read('L%d_%d.jpg' % (level, i)) for i in range(n)]\n"
        "        text = '" + size + " [0,0 " + size + "] (256x256) -> %dx%d JPEG/RGB Q=80|AppMag = 20|MPP = 0.5' % (w, h)\n"
        "        tw.write(iter(tiles), shape=(h, w, 3), tile=(256, 256), jpegtables=read('L%d.tables' % level),\n"
        "                 description=desc(text), **common)\n"
        "        compressions.append(7)\n"
        "        if APERIO and level == 0:\n"
        "            strip('thumb.bin', " + std::to_string(w >> 3) + ", " + std::to_string(h >> 3) +
        ", 5, '" + size + " -> thumbnail|AppMag = 20')\n"
        "    if APERIO:\n"
        "        strip('label.bin', 300, 200, 5, 'label 300x200', 1)\n"
        "        strip('macro.bin', 600, 200, 7, 'macro 600x200', 9)\n"
        "# The pieces were written as they are: name their real compression.\n"
        "with tifffile.TiffFile('" + path + "', mode='r+b') as tf:\n"
        "    for page, compression in zip(tf.pages, compressions):\n"
        "        page.tags['Compression'].overwrite(compression)\n";
    EXPECT_TRUE(vqtest::writeFile(path + ".py", script));
    EXPECT_EQ(vqtest::runCommand("/usr/bin/python3 '" + path + ".py'"), 0) << "python3 with tifffile is needed";
    return slide;
}

} // namespace e2e
