// Fixtures of the JPEG reader tests: test pictures, the JPEG tools of the
// system's libjpeg-turbo (cjpeg, djpeg, jpegtran) and an independent reader of
// DCT coefficients.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jpegtest {

// A deterministic picture with gradients and texture, as binary PPM (P6) or,
// for grey, PGM (P5).
std::string pnmBytes(int width, int height, bool grey = false, int seed = 1);

// Runs `tool options` on the input bytes (written to a scratch file) and
// returns what the tool wrote to its output file; fails the test when the
// tool is missing or fails.
std::string runTool(const std::string& tool, const std::string& options, const std::string& input,
                    int expectedStatus = 0);

// cjpeg with options on a test picture.
std::string cjpeg(const std::string& options, int width, int height, bool grey = false, int seed = 1);

// A CMYK JPEG written with the JPEG library (the tools write none).
std::string cmykJpeg(int width, int height, int quality);
// A JPEG of `components` components of unknown colour space.
std::string componentsJpeg(int width, int height, int components);

struct Pnm {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::string pixels;
};
Pnm parsePnm(const std::string& bytes);

// The quantised DCT coefficients of a JPEG stream, per component over the
// blocks the frame covers (width_in_blocks x height_in_blocks).
struct Coefficients {
    bool ok = false;
    int width = 0;
    int height = 0;
    int restartInterval = 0;
    std::vector<int> h, v, blocksAcross, blocksDown;
    std::vector<std::vector<int16_t>> blocks;  // 64 per block, row-major blocks
};
Coefficients readCoefficients(const std::string& jpeg);

// The 64 coefficients of block (bx, by) of component c.
const int16_t* block(const Coefficients& k, int c, int bx, int by);

// Whether the blocks of `part` equal those of `whole` starting at block
// (bx, by) of each component (offsets counted in component 0's blocks and
// scaled by the sampling factors).
bool sameBlocks(const Coefficients& part, const Coefficients& whole, int lumaBx, int lumaBy, std::string* why);

std::string toString(const std::vector<uint8_t>& v);

} // namespace jpegtest
