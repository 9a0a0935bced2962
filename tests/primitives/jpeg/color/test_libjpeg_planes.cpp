// The RGB picture of a YCbCr tile's planes equals the JPEG library's own
// decoded RGB for the same planes: its fancy up-sampling is the same triangle
// filter and its colour conversion the same tables. The library's plain C
// path is forced so that its output does not depend on the processor.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <csetjmp>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "engine/base/imageContainer.h"

namespace {

const bool kPlainLibjpeg = setenv("JSIMD_FORCENONE", "1", 1) == 0;

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};
void onError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }

// A JPEG of a textured RGB image with the luma sampling factors (h, v).
std::vector<uint8_t> encode(int width, int height, int h, int v) {
    std::vector<uint8_t> rgb(3 * width * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[3 * (y * width + x)];
            p[0] = static_cast<uint8_t>((x * 255) / width);
            p[1] = static_cast<uint8_t>(((x * 7 + y * 13) % 64) * 4);
            p[2] = static_cast<uint8_t>(((x / 3 + y / 2) % 2) ? 230 : 20);
        }
    jpeg_compress_struct c;
    JpegError err;
    c.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = onError;
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&c);
        return {};
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = width;
    c.image_height = height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 85, TRUE);
    c.comp_info[0].h_samp_factor = h;
    c.comp_info[0].v_samp_factor = v;
    c.comp_info[1].h_samp_factor = c.comp_info[1].v_samp_factor = 1;
    c.comp_info[2].h_samp_factor = c.comp_info[2].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = &rgb[3 * c.next_scanline * width];
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> out(mem, mem + size);
    free(mem);
    return out;
}

// The decoded component planes (before up-sampling) as containers of formats
// 7, 8 and 9 with their real sizes.
bool decodePlanes(const std::vector<uint8_t>& jpeg, vq_ptr<imageContainer> planes[3]) {
    jpeg_decompress_struct d;
    JpegError err;
    d.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = onError;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&d);
        return false;
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), jpeg.size());
    jpeg_read_header(&d, TRUE);
    d.raw_data_out = TRUE;
    d.out_color_space = JCS_YCbCr;
    jpeg_start_decompress(&d);
    const int maxV = d.max_v_samp_factor;
    std::vector<std::vector<uint8_t>> store(3);
    std::vector<std::vector<JSAMPROW>> rows(3);
    std::vector<int> stride(3);
    for (int ci = 0; ci < 3; ++ci) {
        jpeg_component_info& comp = d.comp_info[ci];
        stride[ci] = comp.width_in_blocks * DCTSIZE;
        const int totalRows = comp.height_in_blocks * DCTSIZE + comp.v_samp_factor * DCTSIZE;
        store[ci].resize(static_cast<size_t>(stride[ci]) * totalRows);
        createImageContainer(planes[ci].put());
        planes[ci]->create(7 + ci, comp.downsampled_width, comp.downsampled_height, false);
    }
    int done = 0;
    while (d.output_scanline < d.output_height) {
        JSAMPARRAY arrays[3];
        for (int ci = 0; ci < 3; ++ci) {
            const int n = d.comp_info[ci].v_samp_factor * DCTSIZE;
            rows[ci].resize(n);
            const int first = done * d.comp_info[ci].v_samp_factor / maxV;
            for (int r = 0; r < n; ++r) rows[ci][r] = &store[ci][static_cast<size_t>(first + r) * stride[ci]];
            arrays[ci] = rows[ci].data();
        }
        done += static_cast<int>(jpeg_read_raw_data(&d, arrays, maxV * DCTSIZE));
    }
    for (int ci = 0; ci < 3; ++ci) {
        uint8_t* p;
        int32_t step;
        planes[ci]->lockPixels(&p, &step);
        for (int r = 0; r < planes[ci]->getHeight(); ++r)
            std::copy_n(&store[ci][static_cast<size_t>(r) * stride[ci]], planes[ci]->getWidth(), p + r * step);
        planes[ci]->unlockPixels();
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return true;
}

std::vector<uint8_t> decodeRgb(const std::vector<uint8_t>& jpeg, int* width, int* height) {
    jpeg_decompress_struct d;
    JpegError err;
    d.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = onError;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&d);
        return {};
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), jpeg.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    d.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&d);
    *width = d.output_width;
    *height = d.output_height;
    std::vector<uint8_t> rgb(3 * d.output_width * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &rgb[3 * d.output_scanline * d.output_width];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return rgb;
}

TEST(JpegPlanes, RgbFromPlanesEqualsTheJpegLibrary) {
    ASSERT_TRUE(kPlainLibjpeg);
    struct Mode { int code, h, v; };
    struct Size { int w, h; };
    for (Mode m : {Mode{1, 1, 1}, Mode{2, 2, 1}, Mode{3, 1, 2}, Mode{4, 2, 2}})
        for (Size s : {Size{37, 29}, Size{64, 48}, Size{9, 7}, Size{6, 17}, Size{130, 3}}) {
            SCOPED_TRACE("mode " + std::to_string(m.code) + " " + std::to_string(s.w) + "x" + std::to_string(s.h));
            const std::vector<uint8_t> jpeg = encode(s.w, s.h, m.h, m.v);
            ASSERT_FALSE(jpeg.empty());
            vq_ptr<imageContainer> planes[3];
            ASSERT_TRUE(decodePlanes(jpeg, planes));
            int w = 0, h = 0;
            const std::vector<uint8_t> expected = decodeRgb(jpeg, &w, &h);
            ASSERT_EQ(w, s.w);
            ASSERT_EQ(h, s.h);
            vq_ptr<imageContainer> rgb;
            createImageContainer(rgb.put());
            ASSERT_TRUE(rgb->fromYCbCrPlanes(planes[0].get(), planes[1].get(), planes[2].get(), m.code));
            ASSERT_EQ(rgb->getWidth(), w);
            ASSERT_EQ(rgb->getHeight(), h);
            uint8_t* p;
            int32_t step;
            rgb->lockPixels(&p, &step);
            int mismatches = 0;
            for (int y = 0; y < h && mismatches < 10; ++y)
                for (int x = 0; x < 3 * w; ++x)
                    if (p[y * step + x] != expected[3 * y * w + x]) {
                        ADD_FAILURE() << "pixel " << x / 3 << "," << y << " channel " << x % 3 << ": "
                                      << int(p[y * step + x]) << " vs " << int(expected[3 * y * w + x]);
                        if (++mismatches == 10) break;
                    }
            rgb->unlockPixels();
        }
}

} // namespace
