#include "app/ConversionJob.h"

#include <cstring>

int jobIdCounter = 1;

ConversionJob::ConversionJob(const juce::String& path) : sourcePath(path), jobId(jobIdCounter++) {}

bool ConversionJob::pathEndsWith(const juce::String& suffix) const {
    return sourcePath.endsWithIgnoreCase(suffix);
}

int ConversionJob::lastIndexInPath(juce::juce_wchar c) const { return sourcePath.lastIndexOfChar(c); }

void ConversionJob::setResult(const juce::String& text, int newStatus) {
    status = newStatus;
    message = text;
    logLines.add(text);
}

FileStatus::FileStatus() {
    std::memset(&status, 0, sizeof(status));
    std::memset(&modifiedUtc, 0, sizeof(modifiedUtc));
}

int FileStatus::read(const std::string& path) {
    const int result = ::stat(path.c_str(), &status);
    if (result == 0) {
        const std::time_t modified = status.st_mtime;
        gmtime_r(&modified, &modifiedUtc);
    }
    return result;
}

namespace {

// The path as the C runtime takes it, with a separator at its end.
bool directoryPrefix(const juce::String& path, std::string& prefix) {
    FileStatus st;
    if (st.read(path.toStdString()) != 0 || !st.isDirectory()) return false;
    prefix = folderBasePath(path.toStdString());
    return true;
}

bool entryExists(const std::string& path) {
    FileStatus st;
    return st.read(path) == 0;
}

// Linux names are case-sensitive while slide scanners write the index file
// in either case, so the folder is searched for the name without case.
bool holdsEntryIgnoringCase(const std::string& folder, const char* name) {
    return entryExists(folder + findNameIgnoringCase(folder, name));
}

} // namespace

bool isBacusFolder(const juce::String& path) {
    std::string prefix;
    return directoryPrefix(path, prefix) && holdsEntryIgnoringCase(prefix, "Finalscan.ini");
}

bool isKestrixFolder(const juce::String& path) {
    std::string prefix;
    if (!directoryPrefix(path, prefix)) return false;
    return entryExists(prefix + "ImageProperties.xml") && entryExists(prefix + "TileGroup0");
}
