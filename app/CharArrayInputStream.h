// An input stream over an array of C strings ended by a null entry, each
// string read as a line of its own.
#pragma once

#include <juce_core/juce_core.h>

#include <string>

class CharArrayInputStream : public juce::InputStream {
public:
    explicit CharArrayInputStream(const char* const* lines);

    juce::int64 getTotalLength() override { return totalLength_; }
    bool isExhausted() override { return position_ >= totalLength_; }
    int read(void* destBuffer, int maxBytesToRead) override;
    juce::int64 getPosition() override { return position_; }
    bool setPosition(juce::int64 newPosition) override;

private:
    std::string text_;
    int totalLength_ = 0;
    int position_ = 0;
};
