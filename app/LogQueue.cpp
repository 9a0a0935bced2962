#include "app/LogQueue.h"

#include <cstring>

juce::StringArray logLineQueue;
juce::CriticalSection logQueueLock;
std::atomic<int> logThreshold{0};

namespace {

// Engine text is UTF-8 on this platform; bytes that are not valid UTF-8 (a
// path in an old 8-bit encoding) are taken one character per byte.
juce::String textFromNarrow(const char* text) {
    if (text == nullptr) return {};
    const auto length = static_cast<int>(std::strlen(text));
    if (juce::CharPointer_UTF8::isValidString(text, length)) return juce::String::fromUTF8(text, length);
    juce::String result;
    result.preallocateBytes(static_cast<size_t>(length) * 2);
    for (int i = 0; i < length; ++i) result += juce::String::charToString(static_cast<unsigned char>(text[i]));
    return result;
}

} // namespace

void pushLogLine(int level, const char* text) {
    const juce::ScopedLock lock(logQueueLock);
    if (level > logThreshold.load()) return;
    logLineQueue.add(textFromNarrow(text));
}

bool popLogLine(juce::String& line) {
    const juce::ScopedLock lock(logQueueLock);
    if (logLineQueue.isEmpty()) return false;
    line = logLineQueue[0];
    logLineQueue.remove(0);
    return true;
}
