#include "tests/jpeg/jpeg_fixtures.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

extern "C" {
#include <jpeglib.h>
}

#include "support/test_env.h"

namespace jpegtest {

std::string pnmBytes(int width, int height, bool grey, int seed) {
    const int channels = grey ? 1 : 3;
    std::string out = (grey ? "P5\n" : "P6\n") + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    uint32_t state = 0x9E3779B9u * static_cast<uint32_t>(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                state = state * 1664525u + 1013904223u;
                int v = (x * (3 + c) + y * (5 - c)) / 2 + ((x / 7 + y / 5 + c) % 3) * 20 +
                        static_cast<int>((state >> 24) % 24);
                out.push_back(static_cast<char>(v & 0xFF));
            }
        }
    }
    return out;
}

std::string runTool(const std::string& tool, const std::string& options, const std::string& input,
                    int expectedStatus) {
    const std::string path = vqtest::requireTool(tool);
    if (path.empty()) return {};
    static int counter = 0;
    const std::string dir = vqtest::scratchDir("jpegtool" + std::to_string(counter++));
    const std::string in = dir + "/in", out = dir + "/out";
    EXPECT_TRUE(vqtest::writeFile(in, input));
    const std::string command = path + " " + options + " -outfile " + out + " " + in + " 2>/dev/null";
    const int rc = vqtest::runCommand(command);
    EXPECT_EQ(rc, expectedStatus) << command;
    return vqtest::readFile(out);
}

std::string cjpeg(const std::string& options, int width, int height, bool grey, int seed) {
    return runTool("cjpeg", options, pnmBytes(width, height, grey, seed));
}

Pnm parsePnm(const std::string& bytes) {
    Pnm p;
    std::istringstream s(bytes);
    std::string magic;
    int maxval = 0;
    s >> magic >> p.width >> p.height >> maxval;
    s.get();
    p.channels = magic == "P6" ? 3 : 1;
    p.pixels = bytes.substr(static_cast<size_t>(s.tellg()));
    return p;
}

std::string writeJpeg(int width, int height, int components, int quality);

namespace {
struct TestErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};
extern "C" void testErrorExit(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<TestErrorManager*>(cinfo->err)->jump, 1);
}
extern "C" void quietMessage(j_common_ptr, int) {}

// Fills k from an already created decompressor; returns false on error.
bool readInto(jpeg_decompress_struct& info, TestErrorManager& err, const std::string& jpeg, Coefficients& k) {
    if (setjmp(err.jump) != 0) return false;
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.data()), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
    k.width = static_cast<int>(info.image_width);
    k.height = static_cast<int>(info.image_height);
    k.restartInterval = static_cast<int>(info.restart_interval);
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& ci = info.comp_info[c];
        k.h.push_back(ci.h_samp_factor);
        k.v.push_back(ci.v_samp_factor);
        k.blocksAcross.push_back(static_cast<int>(ci.width_in_blocks));
        k.blocksDown.push_back(static_cast<int>(ci.height_in_blocks));
        std::vector<int16_t> all;
        for (JDIMENSION r = 0; r < ci.height_in_blocks; ++r) {
            JBLOCKARRAY row = (*info.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&info), arrays[c], r, 1,
                                                               FALSE);
            for (JDIMENSION b = 0; b < ci.width_in_blocks; ++b)
                all.insert(all.end(), row[0][b], row[0][b] + DCTSIZE2);
        }
        k.blocks.push_back(std::move(all));
    }
    jpeg_finish_decompress(&info);
    return true;
}
} // namespace

std::string cmykJpeg(int width, int height, int quality) { return writeJpeg(width, height, 4, quality); }

std::string componentsJpeg(int width, int height, int components) { return writeJpeg(width, height, components, 75); }

std::string writeJpeg(int width, int height, int components, int quality) {
    jpeg_compress_struct c;
    TestErrorManager err;
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = testErrorExit;
    jpeg_create_compress(&c);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    std::string out;
    std::vector<uint8_t> row(static_cast<size_t>(width) * static_cast<size_t>(components));
    if (setjmp(err.jump) == 0) {
        jpeg_mem_dest(&c, &buf, &size);
        c.image_width = static_cast<JDIMENSION>(width);
        c.image_height = static_cast<JDIMENSION>(height);
        c.in_color_space = components == 4 ? JCS_CMYK : JCS_UNKNOWN;
        c.input_components = components;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, quality, TRUE);
        jpeg_start_compress(&c, TRUE);
        while (c.next_scanline < c.image_height) {
            for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i * 7 + c.next_scanline * 3);
            JSAMPROW r = row.data();
            jpeg_write_scanlines(&c, &r, 1);
        }
        jpeg_finish_compress(&c);
        out.assign(reinterpret_cast<char*>(buf), size);
    }
    jpeg_destroy_compress(&c);
    free(buf);
    return out;
}

Coefficients readCoefficients(const std::string& jpeg) {
    Coefficients k;
    jpeg_decompress_struct info;
    TestErrorManager err;
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = testErrorExit;
    err.pub.emit_message = quietMessage;
    jpeg_create_decompress(&info);
    k.ok = readInto(info, err, jpeg, k);
    jpeg_destroy_decompress(&info);
    return k;
}

const int16_t* block(const Coefficients& k, int c, int bx, int by) {
    return k.blocks[static_cast<size_t>(c)].data() +
           (static_cast<size_t>(by) * static_cast<size_t>(k.blocksAcross[static_cast<size_t>(c)]) +
            static_cast<size_t>(bx)) * 64;
}

bool sameBlocks(const Coefficients& part, const Coefficients& whole, int lumaBx, int lumaBy, std::string* why) {
    if (!part.ok || !whole.ok || part.blocks.size() != whole.blocks.size()) {
        if (why) *why = "unreadable or different component counts";
        return false;
    }
    for (size_t c = 0; c < part.blocks.size(); ++c) {
        const int ox = lumaBx * whole.h[c] / whole.h[0], oy = lumaBy * whole.v[c] / whole.v[0];
        for (int by = 0; by < part.blocksDown[c]; ++by) {
            for (int bx = 0; bx < part.blocksAcross[c]; ++bx) {
                if (bx + ox >= whole.blocksAcross[c] || by + oy >= whole.blocksDown[c] ||
                    std::memcmp(block(part, static_cast<int>(c), bx, by),
                                block(whole, static_cast<int>(c), bx + ox, by + oy), 128) != 0) {
                    if (why)
                        *why = "component " + std::to_string(c) + " block (" + std::to_string(bx) + ", " +
                               std::to_string(by) + ") differs";
                    return false;
                }
            }
        }
    }
    return true;
}

std::string toString(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

} // namespace jpegtest
