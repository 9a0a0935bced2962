// Whole-decoder test harness: raw source images written by the test,
// code-streams made from them by opj_compress, our decoder run over the
// bytes, and the reference decoder's output read back for comparison.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace j2ktest {

// A raw image: `planes[c]` holds component c row by row at its own size
// (the image size divided by its sampling factors, rounded up).
struct RawImage {
    int width = 0, height = 0, bits = 8;
    bool isSigned = false;
    std::vector<int> dx, dy;  // sampling factors per component
    std::vector<std::vector<int32_t>> planes;
    std::string path;
    int Width(int c) const { return (width + dx[c] - 1) / dx[c]; }
    int Height(int c) const { return (height + dy[c] - 1) / dy[c]; }
    // opj_compress's -F argument for this image.
    std::string Format() const;
};

// Samples of a smooth ramp with noise, in the range of `bits` (signed or
// unsigned), written big-endian (two bytes above 8 bits) as opj_compress
// reads raw input. Sampling defaults to 1 x 1 for every component.
RawImage MakeRaw(const std::string& dir, const std::string& name, int width, int height, int components, int bits,
                 bool isSigned, uint32_t seed, const std::vector<int>& dx = {}, const std::vector<int>& dy = {});

struct DecodeResult {
    bool ok = false;
    std::string error;  // the diagnostic's text when a diagnostic ended decoding
    std::vector<std::string> warnings;
    std::vector<std::vector<int32_t>> planes;
    std::vector<int> widths, heights;
};

// Runs our decoder over a whole code-stream held in memory.
DecodeResult DecodeCodestream(const std::string& bytes);
// For streams without decomposition levels: runs the tile-part loop only and
// takes each tile-component's samples straight from its LL band (sign and
// magnitude, plus the level shift of unsigned components). The component
// transform is not applied.
DecodeResult DecodeLowBands(const std::string& bytes);

// opj_decompress of a code-stream into per-component planes: component k
// alone (`-c k`) as a PGM when `component` >= 0, else the whole image as a
// PGM or PPM. 8-bit unsigned components only.
std::vector<std::vector<int32_t>> ReferenceDecode(const std::string& dir, const std::string& bytes,
                                                  int component = -1);

// A scratch folder of the running test's own (parameterised tests run in
// parallel processes).
std::string TestDir();

// Peak signal-to-noise ratio of b against a for samples in 0..peak.
double Psnr(const std::vector<int32_t>& a, const std::vector<int32_t>& b, double peak);

// A lossless stream to make and check: source geometry and depth, and the
// opj_compress options.
struct LosslessCase {
    int components, bits;
    bool isSigned;
    int width, height;
    std::string options;
};
void PrintTo(const LosslessCase& c, std::ostream* os);

// Makes the source and the stream, decodes it with `decode` and expects the
// source back exactly, with no warning beyond the notes on markers the
// decoder reads past.
void ExpectLossless(const LosslessCase& k, const std::string& dir, DecodeResult (*decode)(const std::string&));

} // namespace j2ktest
