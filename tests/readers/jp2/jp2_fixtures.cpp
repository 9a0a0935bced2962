#include "readers/jp2/jp2_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>

#include "j2k/j2k_fixtures.h"
#include "support/test_env.h"

namespace jp2test {

std::string Be16(uint32_t v) { return {char(v >> 8), char(v)}; }
std::string Be32(uint32_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }
std::string Be64(uint64_t v) { return Be32(uint32_t(v >> 32)) + Be32(uint32_t(v)); }

std::string Box(const std::string& type, const std::string& body) {
    return Be32(uint32_t(8 + body.size())) + type + body;
}

std::string Ihdr(uint32_t height, uint32_t width, uint16_t nc, uint8_t bpc, uint8_t c, uint8_t unkc) {
    return Be32(height) + Be32(width) + Be16(nc) + std::string{char(bpc), char(c), char(unkc), 0};
}

std::string ColrEnum(uint32_t cs) { return std::string{1, 0, 0} + Be32(cs); }

std::string Signature() { return Box("jP  ", Be32(0x0D0A870A)); }

std::string Ftyp(const std::string& brand, uint32_t minv, const std::string& compat) {
    return Box("ftyp", brand + Be32(minv) + compat);
}

std::string GreyCodestream(const std::string& dir, int width, int height) {
    const std::string pgm = j2ktest::WritePnm(dir, "grey", width, height, 1, 7);
    return j2ktest::Compress(dir, pgm, "-n 3");
}

std::string CompressJp2(const std::string& dir, const std::string& name, int width, int height, int components,
                        const std::string& options) {
    const std::string raw = j2ktest::WriteRaw(dir, name, width, height, components, 8, 11);
    const std::string out = dir + "/" + name + ".jp2";
    std::string log;
    const int rc = vqtest::runCommand(vqtest::requireTool("opj_compress") + " -i '" + raw + "' -o '" + out +
                                          "' -F " + std::to_string(width) + "," + std::to_string(height) + "," +
                                          std::to_string(components) + ",8,u " + options + " 2>&1",
                                      &log);
    EXPECT_EQ(rc, 0) << log;
    return out;
}

Pixels ReadPnm(const std::string& path) {
    Pixels p;
    const std::string bytes = vqtest::readFile(path);
    // "P5" or "P6", width, height, maxval, one whitespace byte, samples.
    size_t at = 0;
    auto token = [&]() {
        for (;;) {
            while (at < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[at])))
                ++at;
            if (at >= bytes.size() || bytes[at] != '#')
                break;
            while (at < bytes.size() && bytes[at] != '\n')  // a comment line
                ++at;
        }
        const size_t start = at;
        while (at < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[at])))
            ++at;
        return bytes.substr(start, at - start);
    };
    const std::string magic = token();
    if (magic != "P5" && magic != "P6") {
        ADD_FAILURE() << path << " is not a binary PGM or PPM";
        return p;
    }
    p.channels = magic == "P5" ? 1 : 3;
    p.width = std::stoi(token());
    p.height = std::stoi(token());
    const int maxval = std::stoi(token());
    EXPECT_EQ(maxval, 255) << path;
    ++at;
    const size_t n = size_t(p.width) * p.height * p.channels;
    EXPECT_EQ(bytes.size() - at, n) << path;
    p.bytes.assign(bytes.begin() + std::ptrdiff_t(at), bytes.begin() + std::ptrdiff_t(std::min(bytes.size(), at + n)));
    p.bytes.resize(n);
    return p;
}

Pixels ReferenceDecode(const std::string& dir, const std::string& jp2, int reduction, bool grey) {
    const std::string out = dir + "/reference_r" + std::to_string(reduction) + (grey ? ".pgm" : ".ppm");
    std::string log;
    const int rc = vqtest::runCommand(vqtest::requireTool("opj_decompress") + " -i '" + jp2 + "' -o '" + out +
                                          "' -r " + std::to_string(reduction) + " 2>&1",
                                      &log);
    EXPECT_EQ(rc, 0) << log;
    return ReadPnm(out);
}

} // namespace jp2test
