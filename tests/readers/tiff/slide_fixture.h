// Fixtures of the TIFF and slide reader tests: files built byte by byte with
// the test-side TIFF builder, held in memory streams, and JPEG tiles made by
// cjpeg and split into shared tables and abbreviated tile streams.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/stream.h"
#include "tests/tiff/tiff_fixture.h"

namespace slidetest {

using tifftest::Bytes;

Bytes toBytes(const std::string& s);
std::string toString(const Bytes& b);

// A memory stream that owns a copy of the bytes it reads.
struct MemorySource {
    explicit MemorySource(Bytes bytes);
    Bytes data;
    vq_ptr<vq_stream> stream;
};
std::unique_ptr<MemorySource> source(const Bytes& bytes);

// A complete JPEG split into a tables-only stream (SOI, DQT, DHT, EOI) and
// the abbreviated rest (SOI, then every other segment, the scan and EOI).
struct SplitJpeg {
    Bytes full;
    Bytes tables;
    Bytes abbreviated;
};
SplitJpeg splitJpeg(const std::string& jpeg);

// A cjpeg JPEG of a test picture (RGB, 4:4:4 unless options say otherwise).
std::string makeJpeg(int width, int height, int seed, const std::string& options = "-quality 90 -sample 1x1");

// Decodes JPEG bytes with djpeg to binary PPM.
std::string djpeg(const Bytes& jpeg);

// One directory of a slide: tiles (or strips) already coded, JPEGTables and
// extra entries.
struct DirSpec {
    int width = 0, height = 0;
    int tileWidth = 0, tileHeight = 0;  // 0: a strip image
    int rowsPerStrip = 0;
    int compression = 1;
    int photometric = 2;
    int samples = 3;
    std::vector<Bytes> pieces;          // tiles in row order, or strips
    Bytes tables;                       // JPEGTables when not empty
    std::vector<tifftest::Entry> extra;
};
void addDir(tifftest::TiffBuilder& b, const DirSpec& d);
// Deterministic RGB bytes.
Bytes rgb(int w, int h, uint32_t seed);
// A tiled JPEG level: every tile an abbreviated stream of one cjpeg picture
// sharing the tables of the first.
DirSpec jpegLevel(int w, int h, int tile, int seed, std::vector<SplitJpeg>* keep = nullptr,
                  const std::string& options = "-quality 90 -sample 1x1");
// A tiled level of plain (1) or LZW (5) RGB tiles.
DirSpec rawLevel(int w, int h, int tile, int compression, uint32_t seed, std::vector<Bytes>* plain = nullptr);
// JPEG strips of one picture: each strip its own cjpeg stream of rps rows
// sharing the tables of the first.
DirSpec jpegStrips(int w, int h, int rps, int seed, const std::string& options, std::vector<SplitJpeg>* keep);

} // namespace slidetest
