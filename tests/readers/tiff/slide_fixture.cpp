#include "tests/readers/tiff/slide_fixture.h"

#include <gtest/gtest.h>

#include "tests/jpeg/jpeg_fixtures.h"

namespace slidetest {

Bytes toBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string toString(const Bytes& b) { return std::string(b.begin(), b.end()); }

MemorySource::MemorySource(Bytes bytes) : data(std::move(bytes)) {
    openMemoryStream(data.data(), data.size(), stream.put());
}

std::unique_ptr<MemorySource> source(const Bytes& bytes) { return std::make_unique<MemorySource>(bytes); }

SplitJpeg splitJpeg(const std::string& jpeg) {
    SplitJpeg out;
    out.full = toBytes(jpeg);
    const Bytes& j = out.full;
    out.tables = {0xFF, 0xD8};
    out.abbreviated = {0xFF, 0xD8};
    size_t p = 2;
    while (p + 4 <= j.size()) {
        const uint8_t marker = j[p + 1];
        const size_t length = size_t(j[p + 2]) << 8 | j[p + 3];
        Bytes& to = (marker == 0xDB || marker == 0xC4) ? out.tables : out.abbreviated;
        if (marker == 0xDA) {
            out.abbreviated.insert(out.abbreviated.end(), j.begin() + long(p), j.end());
            break;
        }
        to.insert(to.end(), j.begin() + long(p), j.begin() + long(p + 2 + length));
        p += 2 + length;
    }
    out.tables.push_back(0xFF);
    out.tables.push_back(0xD9);
    return out;
}

std::string makeJpeg(int width, int height, int seed, const std::string& options) {
    return jpegtest::runTool("cjpeg", options, jpegtest::pnmBytes(width, height, false, seed));
}

std::string djpeg(const Bytes& jpeg) { return jpegtest::runTool("djpeg", "-ppm", toString(jpeg)); }

} // namespace slidetest
