// One dropped file or folder on its way through the application, and the small
// file-system tests that recognise folder sources.
#pragma once

#include <juce_core/juce_core.h>

#include <ctime>
#include <string>
#include <sys/stat.h>

#include "readers/folders/folder_source.h"  // endsWithPathSeparator, findNameIgnoringCase

// Job status codes shown in the job table.
enum JobStatus : int {
    kStatusFinished = 0,
    kStatusCancelled = 1,
    kStatusFailed = 2,
    kStatusPending = 3,
    kStatusProcessing = 4,
    kStatusNotSupported = 5,
    kStatusInvalidFile = 6,
};

// Running id source for jobs made from a path: 1 at process start, used on
// the message thread only.
extern int jobIdCounter;

// A plain value: copies live in the window's queue, the job table and the
// worker, matched by job id.
class ConversionJob {
public:
    ConversionJob() = default;
    // A job for a path; takes the next id from jobIdCounter.
    explicit ConversionJob(const juce::String& path);

    bool isAssigned() const { return jobId != 0; }
    // Case-insensitive test of the end of the source path.
    bool pathEndsWith(const juce::String& suffix) const;
    // Position of the last occurrence of c in the source path, -1 when absent.
    int lastIndexInPath(juce::juce_wchar c) const;

    // Sets status and message and keeps the text as a log line.
    void setResult(const juce::String& text, int newStatus);
    void appendLog(const juce::String& line) { logLines.add(line); }
    void clearLog() { logLines.clear(); }
    int getStatus() const { return status; }
    juce::String getMessage() const { return message; }

    bool j2kFullChroma = false;
    juce::String sourcePath;
    int quality = 50;
    int tileSize = 256;
    int maxQuality = 70;
    int subsampling = 5;
    bool keepSourceSubsampling = true;
    int outputType = 0;
    int colourSpace = 3;
    int resampling = 2;
    int jobId = 0;
    int imageIndex = 0;
    juce::StringArray logLines;
    int status = kStatusPending;
    juce::String message;
};

// The C runtime's status of a path, with the modification time broken down as
// UTC.
class FileStatus {
public:
    FileStatus();
    // 0 on success, the status call's failure result otherwise.
    int read(const std::string& path);
    bool isDirectory() const { return (status.st_mode & 0x4000) != 0; }

    struct stat status;
    std::tm modifiedUtc;
};

// A directory holding "FinalScan.ini" (name compared without case).
bool isBacusFolder(const juce::String& path);
// A directory holding "ImageProperties.xml" and "TileGroup0" (file or folder).
bool isKestrixFolder(const juce::String& path);
