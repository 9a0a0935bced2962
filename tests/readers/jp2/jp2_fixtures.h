// JP2 fixtures: boxes assembled byte by byte around code-streams that
// opj_compress made, and JP2 files written by opj_compress itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jp2test {

std::string Be16(uint32_t v);
std::string Be32(uint32_t v);
std::string Be64(uint64_t v);
// A box with a 32-bit LBox of 8 + body length.
std::string Box(const std::string& type, const std::string& body);
// The image header body: HEIGHT, WIDTH, NC, BPC, C, UnkC, IPR.
std::string Ihdr(uint32_t height, uint32_t width, uint16_t nc, uint8_t bpc, uint8_t c = 7, uint8_t unkc = 0);
// An enumerated colour specification body.
std::string ColrEnum(uint32_t cs);
std::string Signature();
std::string Ftyp(const std::string& brand = "jp2 ", uint32_t minv = 0, const std::string& compat = "jp2 ");

// A grey 8-bit code-stream of width x height made by opj_compress (lossless).
std::string GreyCodestream(const std::string& dir, int width, int height);

// A JP2 file written by opj_compress from a raw image of `components`
// 8-bit planes; extra options go to the tool.
std::string CompressJp2(const std::string& dir, const std::string& name, int width, int height, int components,
                        const std::string& options);

// An 8-bit image read back from a PGM or PPM file.
struct Pixels {
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> bytes;  // rows of width x channels samples
    uint8_t At(int x, int y, int c) const { return bytes[(size_t(y) * width + x) * channels + c]; }
};
Pixels ReadPnm(const std::string& path);
// The whole image of a JP2 file decoded by opj_decompress with `reduction`
// resolution levels dropped (PPM for colour, PGM for grey files).
Pixels ReferenceDecode(const std::string& dir, const std::string& jp2, int reduction, bool grey);

} // namespace jp2test
