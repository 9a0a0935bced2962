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

} // namespace slidetest
