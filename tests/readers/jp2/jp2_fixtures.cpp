#include "readers/jp2/jp2_fixtures.h"

#include <gtest/gtest.h>

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

} // namespace jp2test
