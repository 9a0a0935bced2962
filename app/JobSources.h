// What the dispatcher opens for one job: the source's readers, recognised by
// the path's ending and the folder's contents, and the output names derived
// from the path.
#pragma once

#include <juce_core/juce_core.h>

#include <string>

#include "app/ConversionJob.h"
#include "engine/base/stream.h"
#include "engine/base/loader_base.h"

struct JobSources {
    vq_ptr<vq_stream> stream;
    vq_ptr<vq_loader_base> formatReader;
    vq_ptr<vq_tileloader_base> tileLoader;
    vq_ptr<vq_stripLoader_base> stripLoader;
    vq_ptr<vq_FileInfo> fileInfo;
    bool bacusFolder = false;
    bool kestrixFolder = false;
    bool mirax = false;
    // What the readers said while the source was recognised; it belongs in
    // the job's log.
    juce::StringArray readerLines {};
};

// Why a job ended before it started: its status and message, and whether the
// message joins the window's failed-file messages.
struct JobFailure {
    juce::String message;
    int status = kStatusFailed;
    bool listed = false;
    // The readers' reasons, for the job's log ahead of the message.
    juce::StringArray readerLines {};
};

// Opens the readers of the job's source for its output type; false with the
// failure filled in when the source cannot be converted. Lines the readers
// report meanwhile are kept in sources.readerLines, and in
// failure.readerLines as well on failure.
bool openJobSources(const ConversionJob& job, JobSources& sources, JobFailure& failure);

struct OutputNames {
    std::string fileName;  // the path's last component
    std::string baseName;  // the output path without extension
};

// An absolute path (one starting with "/") keeps its folder, so the output
// lands next to the source; a relative path keeps only the file name, which
// the outputs place in the working folder. Folder sources add "_K" for a tile
// folder output, as do slides read through the slide component.
OutputNames deriveOutputNames(const std::string& path, int outputType, bool folderSource, bool mirax);
