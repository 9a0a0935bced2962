#include "app/KestrixThread.h"

#include "engine/base/reader_messages.h"
#include "engine/base/vq_global.h"
#include "readers/mirax/mirax_reader.h"

namespace {

// Lines of the readers and codecs during the run join the job's log through
// the log sink, in order with the driver's own lines; without a sink they go
// straight into the job.
class RunMessages : public ReaderMessageSink {
public:
    explicit RunMessages(KestrixThread& worker, vq_logoutput_base* sink) : worker_(worker), sink_(sink) {}
    void readerMessage(const char* line) override {
        if (sink_ != nullptr)
            sink_->log(0, line);
        else
            worker_.appendLog(juce::String::fromUTF8(line));
    }

private:
    KestrixThread& worker_;
    vq_logoutput_base* sink_;
};

} // namespace

KestrixThread::KestrixThread() : juce::Thread("Kestrix") {}

KestrixThread::~KestrixThread() {
    // The cancel flag ends a run that is still going; what it uses must outlive it.
    cancel();
    stopThread(-1);
}

void KestrixThread::setUp(const ConversionJob& job, vq_kestrifier_base* driver, vq_tileloader_base* tiles,
                          vq_stripLoader_base* strips, vq_loader_base* formatReader) {
    const juce::ScopedLock lock(jobLock_);
    job_ = job;
    driver_ = driver;
    tileLoader_ = tiles;
    stripLoader_ = strips;
    formatReader_ = formatReader;
}

void KestrixThread::setLogOutput(vq_logoutput_base* sink) { logSink_ = sink; }

ConversionJob KestrixThread::getJob() const {
    const juce::ScopedLock lock(jobLock_);
    return job_;
}

void KestrixThread::appendLog(const juce::String& line) {
    const juce::ScopedLock lock(jobLock_);
    job_.appendLog(line);
}

void KestrixThread::cancel() {
    const juce::ScopedLock lock(jobLock_);
    if (job_.isAssigned()) job_.status = kStatusCancelled;
    if (driver_ != nullptr) driver_->cancel();
}

bool KestrixThread::isCancelled() const {
    const juce::ScopedLock lock(jobLock_);
    return job_.status == kStatusCancelled;
}

void KestrixThread::reset() {
    if (isThreadRunning()) return;
    const juce::ScopedLock lock(jobLock_);
    job_ = ConversionJob();
    driver_.reset();
    tileLoader_.reset();
    stripLoader_.reset();
    formatReader_.reset();
    logSink_.reset();
}

std::string KestrixThread::sourceExtension(const std::string& path) {
    const auto dot = path.find_last_of('.');
    const auto slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return path.substr(dot);
}

void KestrixThread::fail(const juce::String& message) {
    const juce::ScopedLock lock(jobLock_);
    if (job_.status != kStatusCancelled) job_.setResult(message, kStatusFailed);
}

bool KestrixThread::outputHasFailed(juce::String& errors) {
    vq_zoomoutput_base* output = driver_->getOutput();
    if (output == nullptr || !output->hasFailed()) return false;
    errors = juce::String::fromUTF8(output->getErrors().c_str());
    return true;
}

void KestrixThread::releaseRunObjects() {
    vq_ptr<vq_kestrifier_base> driver;
    {
        const juce::ScopedLock lock(jobLock_);
        driver = std::move(driver_);
    }
    logSink_.reset();
    formatReader_.reset();
    tileLoader_.reset();
    stripLoader_.reset();
    driver.reset();
}

void KestrixThread::run() {
    {
        // The run's readers report for this job until its objects are released.
        RunMessages messages(*this, logSink_.get());
        const ReaderMessageScope scope(&messages);
        runJob();
    }
    releaseRunObjects();
    {
        const juce::ScopedLock lock(jobLock_);
        if (job_.status == kStatusProcessing) job_.status = kStatusFinished;
    }
    // Lets the last log lines of the run reach the queue before the dispatcher looks.
    juce::Thread::sleep(250);
}

void KestrixThread::runJob() {
    {
        const juce::ScopedLock lock(jobLock_);
        if (job_.status != kStatusCancelled) job_.status = kStatusProcessing;
    }
    const std::string extension = sourceExtension(sourcePath_);
    const juce::String path = juce::String::fromUTF8(sourcePath_.c_str());
    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    const int loaders = global->getLoaderThreadCount();
    const int encoders = global->getEncoderThreadCount();
    const int image = getJob().imageIndex;
    const bool mirax = juce::String(extension).equalsIgnoreCase(".mrxs");

    // The slide component's objects belong to the thread that made them, so
    // the worker opens the slide again for itself. A job that reads the slide
    // as strips (PFF output) keeps the strips the dispatcher set up.
    if (mirax && driver_ != nullptr && tileLoader_ != nullptr) {
        tileLoader_.reset();
        if (!createMiraxTileLoader(sourcePath_.c_str(), tileLoader_.put()) || tileLoader_ == nullptr) {
            const juce::ScopedLock lock(jobLock_);
            if (job_.status != kStatusCancelled) job_.status = kStatusFailed;
            return;
        }
    }

    if (driver_ == nullptr) {
        fail("Error: no pyramid driver for " + path + ".");
    } else if (levelLoop_) {
        if (tileLoader_ == nullptr) {
            fail(path + " is not suitable for verifying.");
        } else {
            driver_->setJ2KFullChroma(getJob().j2kFullChroma);
            driver_->setMultiImageMode(true);
            if (mirax)
                global->setLoaderThreadCount(0);
            else if (loaders > 0)
                global->setLoaderThreadCount(loaders + encoders);
            const auto levels = tileLoader_->getLevelSizes(image);
            bool failed = false;
            for (int level = 0; level < static_cast<int>(levels.size()) && !isCancelled(); ++level) {
                const bool ok = driver_->kestrixTiles(tileLoader_.get(), level, image, outputBaseName_.c_str(),
                                                      extension.c_str());
                if (driver_->isCancelled()) break;
                juce::String errors;
                failed = failed || !ok || outputHasFailed(errors);
            }
            juce::String errors;
            if (outputHasFailed(errors) || failed)
                fail(errors.isNotEmpty() ? errors : "Verifying " + path + " failed.");
        }
    } else {
        // The slide is read on this thread alone; the encoders take the whole machine.
        if (mirax) {
            global->setLoaderThreadCount(0);
            global->setEncoderThreadCount(global->getProcessorCount());
        }
        driver_->setMultiImageMode(false);
        bool ok = false;
        bool ran = true;
        // A cancel that came before the run started ends the job without one.
        if (isCancelled())
            ran = false;
        else if (tileLoader_ != nullptr)
            ok = driver_->kestrixTiles(tileLoader_.get(), 0, image, outputBaseName_.c_str(), extension.c_str());
        else if (stripLoader_ != nullptr)
            ok = driver_->kestrixStrips(stripLoader_.get(), outputBaseName_.c_str(), extension.c_str());
        else {
            fail("Error: no reader for " + path + ".");
            ran = false;
        }
        juce::String errors;
        if (outputHasFailed(errors))
            fail(errors.isNotEmpty() ? errors : "Processing " + path + " failed.");
        else if (ran && !ok && !isCancelled())
            fail("Processing " + path + " failed.");
    }

    global->setLoaderThreadCount(loaders);
    global->setEncoderThreadCount(encoders);
}
