#include "app/JobSources.h"

#include "readers/folders/bacus_reader.h"
#include "readers/plain/bmp_reader.h"
#include "jpeg/jpeg_reader.h"
#include "readers/folders/kestrix_folder_reader.h"
#include "readers/jp2/jp2_loader.h"
#include "readers/mirax/mirax_reader.h"
#include "readers/plain/png_reader.h"
#include "readers/plain/ppm_reader.h"
#include "readers/pff/pff_tile_loader.h"
#include "readers/tiff/svs_reader.h"
#include "readers/tiff/tiff_reader.h"
#include "engine/tilepath/zoomloader.h"
#include "engine/base/reader_messages.h"

namespace {

constexpr int kTileFolderOutput = 0;
constexpr int kVerifyOutput = 6;
constexpr int kPffOutput = 7;

bool failWith(JobFailure& failure, const juce::String& message, int status, bool listed = false) {
    failure.message = message;
    failure.status = status;
    failure.listed = listed;
    return false;
}

// What the path is: a slide folder, a tile folder, a slide, or a file to open.
bool openSource(const ConversionJob& job, JobSources& s, JobFailure& failure) {
    const juce::String& path = job.sourcePath;
    const std::string narrow = path.toStdString();
    if (isBacusFolder(path)) {
        s.bacusFolder = true;
        if (!createBacusLoader(narrow.c_str(), false, s.formatReader.put()))
            return failWith(failure, "Error: can't create Backus loader for " + path + ".", kStatusFailed);
        return true;
    }
    if (isKestrixFolder(path)) {
        s.kestrixFolder = true;
        if (job.outputType == kTileFolderOutput)
            return failWith(failure, "Cannot Kestrix an existing Kestrix folder.", kStatusInvalidFile);
        if (!createKestrixLoader(narrow.c_str(), s.formatReader.put()))
            return failWith(failure, "Error: can't create Kestrix loader for " + path + ".", kStatusFailed);
        return true;
    }
    // A Mirax slide opens through the slide-access component. This loader
    // only proves that it opens: the worker opens its own on its thread.
    if (job.pathEndsWith(".mrxs")) {
        if (!createMiraxTileLoader(narrow.c_str(), s.tileLoader.put()) || s.tileLoader == nullptr)
            return failWith(failure, "Error: can't open file " + path + ".", kStatusFailed, true);
        s.mirax = true;
        return true;
    }
    if (openReadStream(narrow.c_str(), s.stream.put()) != 0 || s.stream == nullptr)
        return failWith(failure, "Error: can't open file " + path + ".", kStatusFailed, true);
    return true;
}

// Verify jobs read the stored pyramid tile by tile.
bool openVerifySource(const ConversionJob& job, JobSources& s, JobFailure& failure) {
    const juce::String& path = job.sourcePath;
    if (job.pathEndsWith(".pff")) {
        if (!createPFFTileLoader(s.stream.get(), s.tileLoader.put()) || s.tileLoader == nullptr)
            return failWith(failure, "Cannot handle PFF file " + path + ".", kStatusFailed, true);
        return true;
    }
    if (s.mirax) return true;
    if (job.pathEndsWith(".jp2")) {
        if (!createJ2KLoader(s.stream.get(), s.formatReader.put()) ||
            !s.formatReader->getTileLoader(s.tileLoader.put()) || s.tileLoader == nullptr)
            return failWith(failure, "Cannot handle JPEG 2000 file " + path + ".", kStatusFailed, true);
        return true;
    }
    if (job.pathEndsWith(".svs") || job.pathEndsWith(".scn")) {
        if (!createSVSRawTileLoader(s.stream.get(), s.tileLoader.put()) || s.tileLoader == nullptr)
            return failWith(failure, "Cannot create loader for file " + path + ".", kStatusFailed, true);
        return true;
    }
    if (s.bacusFolder) {
        if (!s.formatReader->getFileInfo(s.fileInfo.put()) || s.fileInfo == nullptr)
            return failWith(failure, "Cannot recognize format of  " + path + ".", kStatusFailed);
        if (!s.formatReader->getTileLoader(s.tileLoader.put()) || s.tileLoader == nullptr)
            return failWith(failure,
                            s.fileInfo->isTiled() ? "Error: can't create Bacus loader for " + path + "."
                                                  : "Error: can't verify Bacus file " + path + ".",
                            kStatusFailed);
        return true;
    }
    if (s.kestrixFolder) {
        if (!s.formatReader->getTileLoader(s.tileLoader.put()) || s.tileLoader == nullptr)
            return failWith(failure, "Error: can't create Kestrix loader for " + path + ".", kStatusFailed);
        if (!s.formatReader->getFileInfo(s.fileInfo.put()) || s.fileInfo == nullptr)
            return failWith(failure, "Cannot recognize format of  " + path + ".", kStatusFailed);
        return true;
    }
    return failWith(failure, path + " is not suitable for verifying.", kStatusInvalidFile);
}

// Every other output type: the format reader chosen by the path's ending,
// then tile or strip access to the source.
bool openConversionSource(const ConversionJob& job, JobSources& s, JobFailure& failure) {
    const juce::String& path = job.sourcePath;
    vq_stream* stream = s.stream.get();
    if (stream != nullptr) {
        if (job.pathEndsWith(".pff")) {
            createPFFTileLoader(stream, s.tileLoader.put());
        } else if (job.pathEndsWith(".svs") || job.pathEndsWith(".scn")) {
            createSVSRawTileLoader(stream, s.tileLoader.put());
        } else if (job.pathEndsWith(".jpg") || job.pathEndsWith(".jpeg")) {
            createJPEGLoader(stream, s.formatReader.put());
        } else if (job.pathEndsWith(".tif") || job.pathEndsWith(".tiff")) {
            createTIFFLoader(stream, s.formatReader.put());
            if (s.formatReader != nullptr && (!s.formatReader->getFileInfo(s.fileInfo.put()) || s.fileInfo == nullptr))
                return failWith(failure, "Cannot recognize format of file " + path + "\n", kStatusInvalidFile);
        } else if (job.pathEndsWith(".png")) {
            createPNGLoader(stream, s.formatReader.put());
        } else if (job.pathEndsWith(".bmp")) {
            createBMPLoader(stream, s.formatReader.put());
        } else if (job.pathEndsWith(".jp2")) {
            createJ2KLoader(stream, s.formatReader.put());
        } else if (job.pathEndsWith(".ppm")) {
            createPPMLoader(stream, s.formatReader.put());
        }
    }

    if (s.formatReader == nullptr && s.tileLoader == nullptr)
        return failWith(failure, "Cannot create format loader for file " + path + ".", kStatusInvalidFile);
    if (s.formatReader != nullptr && s.tileLoader == nullptr) {
        if (s.fileInfo == nullptr && (!s.formatReader->getFileInfo(s.fileInfo.put()) || s.fileInfo == nullptr))
            return failWith(failure, "Cannot recognize format of file " + path + "\n", kStatusInvalidFile);
        if (s.fileInfo->isTiled()) s.formatReader->getTileLoader(s.tileLoader.put());
        if (s.tileLoader == nullptr && (!s.formatReader->getStripLoader(s.stripLoader.put()) || s.stripLoader == nullptr))
            return failWith(failure, "Unable to process file " + path + "\n", kStatusInvalidFile);
    }
    if (job.outputType == kPffOutput && s.stripLoader == nullptr) {
        if (s.formatReader != nullptr) s.formatReader->getStripLoader(s.stripLoader.put());
        if (s.stripLoader == nullptr && s.tileLoader != nullptr)
            createZoomLoader(s.tileLoader.get(), s.stripLoader.put());
        if (s.stripLoader == nullptr)
            return failWith(failure, "Cannot recognize format of  " + path + "\n", kStatusInvalidFile);
    }
    return true;
}

} // namespace

namespace {

// Recognition runs on the calling thread; its reader lines are collected for
// the job, whose log the dispatcher fills.
class RecognitionMessages : public ReaderMessageSink {
public:
    explicit RecognitionMessages(juce::StringArray& lines) : lines_(lines) {}
    void readerMessage(const char* line) override { lines_.add(juce::String::fromUTF8(line)); }

private:
    juce::StringArray& lines_;
};

} // namespace

bool openJobSources(const ConversionJob& job, JobSources& sources, JobFailure& failure) {
    RecognitionMessages messages(sources.readerLines);
    const ReaderMessageScope scope(&messages);
    const bool opened = openSource(job, sources, failure) &&
                        (job.outputType == kVerifyOutput ? openVerifySource(job, sources, failure)
                                                         : openConversionSource(job, sources, failure));
    if (!opened) failure.readerLines = sources.readerLines;
    return opened;
}

OutputNames deriveOutputNames(const std::string& path, int outputType, bool folderSource, bool mirax) {
    std::string p = path;
    // A folder named with a trailing "/" is the same folder.
    while (folderSource && p.size() > 1 && p.back() == '/') p.pop_back();
    const bool absolute = !p.empty() && p.front() == '/';
    const auto slash = p.find_last_of('/');
    const size_t fileStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t nameStart = absolute ? 0 : fileStart;

    OutputNames names;
    names.fileName = p.substr(fileStart);
    if (folderSource) {
        names.baseName = p.substr(nameStart) + (outputType == kTileFolderOutput ? "_K" : "");
    } else {
        // Only a dot of the file name starts an extension, not one of a folder.
        const auto dot = p.find_last_of('.');
        const size_t end = dot == std::string::npos || dot < fileStart ? p.size() : dot;
        names.baseName = p.substr(nameStart, end - nameStart);
    }
    if (mirax) names.baseName += "_K";
    return names;
}
