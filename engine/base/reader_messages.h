// Refusal and diagnostic lines of the readers and codec libraries.
//
// A reader that refuses a file says why in one line. The line goes to the
// standard error stream, as it always has, and to the log of the job whose
// source is being read, so the user sees the reason in the job's log.
//
// Where a line goes: the sink installed on the calling thread, else the most
// recently installed sink still alive (loader and strip-reader threads run
// readers for the job on threads that installed nothing), else nowhere but
// the standard error stream. The application runs one job at a time, so the
// most recent sink is that job's.
#pragma once

#include <cstdarg>

class ReaderMessageSink {
public:
    virtual ~ReaderMessageSink() = default;
    // One line as the reader wrote it, usually ending in a line feed. Called
    // from any thread that reads for the job; calls do not overlap.
    virtual void readerMessage(const char* line) = 0;
};

// Installs a sink for as long as the scope lives: on the constructing thread,
// and for threads without a sink of their own. Scopes may nest and may end in
// any order; once the destructor returns the sink is never called again.
class ReaderMessageScope {
public:
    explicit ReaderMessageScope(ReaderMessageSink* sink);
    ~ReaderMessageScope();
    ReaderMessageScope(const ReaderMessageScope&) = delete;
    ReaderMessageScope& operator=(const ReaderMessageScope&) = delete;

private:
    ReaderMessageSink* sink_;
    ReaderMessageSink* previousOnThread_;
};

// Formats one line with printf rules, writes it to the standard error stream
// and delivers it to the sink in force.
void reportReaderMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
void reportReaderMessageV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// Delivers a finished line to the sink in force without writing it to the
// standard error stream; false when no sink is installed. For message
// handlers that have a destination of their own when no job is reading.
bool deliverReaderMessage(const char* line);
