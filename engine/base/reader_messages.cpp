#include "engine/base/reader_messages.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace {

thread_local ReaderMessageSink* threadSink = nullptr;

// Sinks of live scopes, oldest first. The lock is held while a line is
// delivered through one of them, so a scope that ends waits for a delivery
// in progress and its sink is never used after it has gone.
std::mutex sharedLock;
std::vector<ReaderMessageSink*>& sharedSinks() {
    static std::vector<ReaderMessageSink*> sinks;
    return sinks;
}

std::string formatLine(const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int needed = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (needed <= 0) return {};
    std::string line(size_t(needed) + 1, '\0');
    std::vsnprintf(&line[0], line.size(), format, args);
    line.resize(size_t(needed));
    return line;
}

} // namespace

ReaderMessageScope::ReaderMessageScope(ReaderMessageSink* sink) : sink_(sink), previousOnThread_(threadSink) {
    if (sink_ == nullptr) return;
    threadSink = sink_;
    const std::lock_guard<std::mutex> lock(sharedLock);
    sharedSinks().push_back(sink_);
}

ReaderMessageScope::~ReaderMessageScope() {
    if (sink_ == nullptr) return;
    threadSink = previousOnThread_;
    const std::lock_guard<std::mutex> lock(sharedLock);
    auto& sinks = sharedSinks();
    const auto it = std::find(sinks.rbegin(), sinks.rend(), sink_);
    if (it != sinks.rend()) sinks.erase(std::next(it).base());
}

bool deliverReaderMessage(const char* line) {
    if (line == nullptr) return false;
    if (threadSink != nullptr) {
        threadSink->readerMessage(line);
        return true;
    }
    const std::lock_guard<std::mutex> lock(sharedLock);
    if (sharedSinks().empty()) return false;
    sharedSinks().back()->readerMessage(line);
    return true;
}

void reportReaderMessageV(const char* format, va_list args) {
    if (format == nullptr) return;
    const std::string line = formatLine(format, args);
    std::fputs(line.c_str(), stderr);
    deliverReaderMessage(line.c_str());
}

void reportReaderMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    reportReaderMessageV(format, args);
    va_end(args);
}
