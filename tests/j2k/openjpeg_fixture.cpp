#include "openjpeg_fixture.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>

namespace opjtest {

Pnm makePattern(int width, int height, int channels, uint32_t seed) {
    Pnm p;
    p.width = width;
    p.height = height;
    p.channels = channels;
    p.samples.resize(static_cast<size_t>(width) * height * channels);
    uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                state = state * 1664525u + 1013904223u;
                double v = 128 + 70 * std::sin((x + 7 * c) * 0.11) * std::cos((y - 5 * c) * 0.07) +
                           ((state >> 24) % 17) - 8;
                v = v < 0 ? 0 : (v > 255 ? 255 : v);
                p.samples[(static_cast<size_t>(y) * width + x) * channels + c] = static_cast<uint8_t>(v);
            }
    return p;
}

bool writePnm(const std::string& path, const Pnm& image) {
    std::ofstream out(path, std::ios::binary);
    out << (image.channels == 1 ? "P5" : "P6") << "\n" << image.width << " " << image.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(image.samples.data()), static_cast<std::streamsize>(image.samples.size()));
    return static_cast<bool>(out);
}

// The next header number, passing over white space and # comments.
static int headerNumber(std::istream& in) {
    in >> std::ws;
    while (in.peek() == '#') {
        std::string comment;
        std::getline(in, comment);
        in >> std::ws;
    }
    int value = -1;
    in >> value;
    return value;
}

bool readPnm(const std::string& path, Pnm* image) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    in >> magic;
    image->width = headerNumber(in);
    image->height = headerNumber(in);
    int maxval = headerNumber(in);
    if (!in || maxval != 255 || (magic != "P5" && magic != "P6")) return false;
    in.get();
    image->channels = magic == "P5" ? 1 : 3;
    image->samples.resize(static_cast<size_t>(image->width) * image->height * image->channels);
    in.read(reinterpret_cast<char*>(image->samples.data()), static_cast<std::streamsize>(image->samples.size()));
    return static_cast<bool>(in);
}

double psnr(const uint8_t* a, const uint8_t* b, size_t count) {
    double sum = 0;
    for (size_t i = 0; i < count; ++i) {
        double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    if (sum == 0) return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 * count / sum);
}

}  // namespace opjtest
