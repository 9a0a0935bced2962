// The worker thread: runs one conversion job at a time off the message thread.
#pragma once

#include <juce_core/juce_core.h>

#include <string>

#include "app/ConversionJob.h"
#include "engine/pyramid/kestrifier.h"
#include "engine/base/loader_base.h"

class KestrixThread : public juce::Thread {
public:
    KestrixThread();
    ~KestrixThread() override;

    // Copies the job and takes a reference to each object (empty ones stay empty).
    void setUp(const ConversionJob& job, vq_kestrifier_base* driver, vq_tileloader_base* tiles,
               vq_stripLoader_base* strips, vq_loader_base* formatReader);
    void setLogOutput(vq_logoutput_base* sink);
    void setOutputBaseName(const std::string& name) { outputBaseName_ = name; }
    void setSourcePath(const std::string& path) { sourcePath_ = path; }
    // Verify jobs: one driver run per stored level.
    void setLevelLoop(bool levelLoop) { levelLoop_ = levelLoop; }

    ConversionJob getJob() const;
    void appendLog(const juce::String& line);
    // Marks the job "Cancelled" and raises the driver's cancel flag. Only the
    // flag: the driver abandons its output on its own thread.
    void cancel();
    bool isCancelled() const;
    // Idle again: an unassigned job and no driver or readers. Does nothing
    // while the thread runs, which still uses them.
    void reset();

    void run() override;

    // The path from its last '.' (the file name's, not a folder's), dot included.
    static std::string sourceExtension(const std::string& path);

private:
    // Runs the driver over the job's source; run() wraps it.
    void runJob();
    // Ends the job "Failed" unless it was cancelled.
    void fail(const juce::String& message);
    bool outputHasFailed(juce::String& errors);
    void releaseRunObjects();

    juce::CriticalSection jobLock_;  // the job and the driver reference
    ConversionJob job_;
    vq_ptr<vq_logoutput_base> logSink_;
    vq_ptr<vq_loader_base> formatReader_;
    bool levelLoop_ = false;
    std::string outputBaseName_;
    std::string sourcePath_;
    vq_ptr<vq_kestrifier_base> driver_;
    vq_ptr<vq_tileloader_base> tileLoader_;
    vq_ptr<vq_stripLoader_base> stripLoader_;
};
