#include "app/CharArrayInputStream.h"

#include <cstring>

CharArrayInputStream::CharArrayInputStream(const char* const* lines) {
    size_t total = 0;
    for (auto* line = lines; line != nullptr && *line != nullptr; ++line) total += std::strlen(*line) + 1;
    text_.reserve(total);
    for (auto* line = lines; line != nullptr && *line != nullptr; ++line) {
        text_ += *line;
        text_ += '\n';
    }
    totalLength_ = static_cast<int>(text_.size());
}

int CharArrayInputStream::read(void* destBuffer, int maxBytesToRead) {
    const int n = std::max(0, std::min(maxBytesToRead, totalLength_ - position_));
    if (n > 0) std::memcpy(destBuffer, text_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

bool CharArrayInputStream::setPosition(juce::int64 newPosition) {
    position_ = static_cast<int>(juce::jlimit<juce::int64>(0, totalLength_, newPosition));
    return true;
}
