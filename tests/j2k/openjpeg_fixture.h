// Helpers of the OpenJPEG adapter tests: PNM files for the OpenJPEG command
// line tools (the independent oracle), and a message sink that records lines.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/base/reader_messages.h"

namespace opjtest {

// Interleaved 8-bit samples of a PGM (1 channel) or PPM (3 channels).
struct Pnm {
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> samples;
};

// A smooth pattern with some texture, different per channel.
Pnm makePattern(int width, int height, int channels, uint32_t seed);
bool writePnm(const std::string& path, const Pnm& image);
// False for anything but binary 8-bit P5/P6.
bool readPnm(const std::string& path, Pnm* image);
// Peak signal-to-noise ratio of two planes of equal size (infinity when equal).
double psnr(const uint8_t* a, const uint8_t* b, size_t count);

class RecordingSink : public ReaderMessageSink {
public:
    void readerMessage(const char* line) override {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.emplace_back(line);
    }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    bool contains(const std::string& text) {
        for (const auto& l : lines())
            if (l.find(text) != std::string::npos) return true;
        return false;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace opjtest
