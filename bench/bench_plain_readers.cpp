// Strip reading of the plain image readers over memory: bitmap rows turned
// top-down and reordered to RGB, and PNG rows decoded (RGBA composed over
// white, or kept as stored).
#include <png.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_main.h"
#include "engine/base/imageContainer.h"
#include "engine/base/stream.h"
#include "readers/plain/bmp_reader.h"
#include "readers/plain/png_reader.h"

namespace {

constexpr int width = 4096;
constexpr int height = 1024;

std::string bitmap() {
    const uint32_t rowBytes = width * 3;
    std::string s(54, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            s[at + i] = char(v >> (8 * i));
    };
    s[0] = 'B';
    s[1] = 'M';
    put32(2, 54 + rowBytes * height);
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    s[26] = 1;
    s[28] = 24;
    s.resize(54 + size_t(rowBytes) * height);
    for (size_t i = 54; i < s.size(); ++i)
        s[i] = char(i * 2654435761u >> 24);
    return s;
}

void appendToString(png_structp png, png_bytep data, size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}

void abortOnError(png_structp, png_const_charp) {
    std::abort();
}

std::string rgbaPng() {
    std::string file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, abortOnError, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &file, appendToString, nullptr);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(size_t(width) * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c)
                row[size_t(x) * 4 + c] = png_byte(x * (c + 1) + y * (3 - c));
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return file;
}

template <class Create>
void readStrips(benchmark::State& state, const std::string& file, Create createLoader, int format) {
    for (auto _ : state) {
        vq_ptr<vq_stream> stream;
        openMemoryStream(file.data(), file.size(), stream.put());
        vq_ptr<vq_loader_base> loader;
        vq_ptr<vq_stripLoader_base> strips;
        if (!createLoader(stream.get(), loader.put()) || !loader->getStripLoader(strips.put()) ||
            !strips->prepareStrips(256, format)) {
            state.SkipWithError("strip reader refused the image");
            return;
        }
        vq_ptr<imageContainer> strip;
        createImageContainer(strip.put());
        for (int done = 0; done < height;)
            if (!strips->readNextStrip(&done, strip.get())) {
                state.SkipWithError("strip read failed");
                return;
            }
        benchmark::DoNotOptimize(strip.get());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(width) * height);
}

void BmpStripsAsRgb(benchmark::State& state) {
    static const std::string file = bitmap();
    readStrips(state, file, createBMPLoader, 4);
}
BENCHMARK(BmpStripsAsRgb)->Unit(benchmark::kMillisecond);

void PngRgbaStrips(benchmark::State& state) {
    static const std::string file = rgbaPng();
    readStrips(state, file, createPNGLoader, int(state.range(0)));
}
// 5: rows as stored; 4: composed over white.
BENCHMARK(PngRgbaStrips)->Arg(5)->Arg(4)->Unit(benchmark::kMillisecond);

} // namespace

VQ_BENCHMARK_MAIN()
