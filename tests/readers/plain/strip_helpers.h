// Helpers of the plain reader tests: streams over fixture bytes and a strip
// pass that collects every row delivered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/stream.h"
#include "engine/base/loader_base.h"

namespace plaintest {

using Bytes = std::vector<uint8_t>;

// A read-only stream over `bytes`, which the caller keeps alive.
vq_ptr<vq_stream> streamOver(const std::string& bytes);

// The visible pixels of a container, one entry per row, each row trimmed to
// width x bytes per pixel.
std::vector<Bytes> rowsOf(imageContainer* c, int bytesPerPixel);

// A container of `format` whose rows are the given bytes.
vq_ptr<imageContainer> containerOf(int format, int width, const std::vector<Bytes>& rows);

struct StripPass {
    bool prepared = false;
    bool allRead = false;           // every strip read returned true
    std::vector<int> heights;       // rows of each strip
    std::vector<int> rowsDone;      // counter after each strip
    std::vector<int> formats;       // container format of each strip
    std::vector<Bytes> rows;        // every row delivered, top-down
};

// Prepares the strip reader and reads strips until the image height is
// reached or a read fails.
StripPass readAllStrips(vq_stripLoader_base* strips, int stripHeight, int format,
                        int bytesPerPixel);

// Runs `body` while the standard error stream is captured; returns what was
// written to it.
template <class F>
std::string stderrOf(F&& body);

} // namespace plaintest

#include <gtest/gtest.h>

template <class F>
std::string plaintest::stderrOf(F&& body) {
    testing::internal::CaptureStderr();
    body();
    return testing::internal::GetCapturedStderr();
}
