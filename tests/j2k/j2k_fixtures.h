// JPEG 2000 test fixtures made at test time: small images written by the
// test, code-streams made from them by opj_compress, and what opj_dump prints
// about a code-stream's main header.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace j2ktest {

// A raw image of `components` planes, `bits` deep (1 or 2 bytes a sample,
// big-endian), filled with a fixed pseudo-random pattern; returns its path.
std::string WriteRaw(const std::string& dir, const std::string& name, int width, int height, int components,
                     int bits, uint32_t seed);
// A PGM (1 component) or PPM (3 components) of 8-bit samples.
std::string WritePnm(const std::string& dir, const std::string& name, int width, int height, int components,
                     uint32_t seed);

// Runs opj_compress on `input` with `options`; returns the code-stream bytes
// (empty, with a test failure, when the tool fails).
std::string Compress(const std::string& dir, const std::string& input, const std::string& options);

struct DumpComponent {
    int dx = 0, dy = 0, prec = 0, sgnd = 0;
    // Coding style of the component in the default tile.
    int csty = 0, numresolutions = 0, cblkw = 0, cblkh = 0, cblksty = 0, qmfbid = 0;
    std::vector<std::pair<int, int>> precincts;
    int qntsty = 0, numgbits = 0;
    std::vector<std::pair<int, int>> stepsizes;
};

struct Dump {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0, numcomps = 0;
    int tx0 = 0, ty0 = 0, tdx = 0, tdy = 0, tw = 0, th = 0;
    int csty = 0, prg = 0, numlayers = 0, mct = 0;
    std::vector<DumpComponent> comps;
};

// What opj_dump prints for the code-stream in `bytes`.
Dump DumpHeader(const std::string& dir, const std::string& bytes);

// Offset of the first occurrence of a marker at or after `from`, or npos.
size_t FindMarker(const std::string& bytes, uint16_t marker, size_t from = 0);

} // namespace j2ktest
