#include "app/MainAppWindow.h"

#include "app/LogQueue.h"
#include "app/MainComponent.h"
#include "platform/threads.h"
#include "primitives/core/processor.h"

namespace {

constexpr int kMaxThreads = 32;
constexpr int kGoogleEarthOutput = 4;
constexpr int kVerifyOutput = 6;

// Engine thread counts for a machine with n processors.
void setThreadCounts(vq_global_base& settings, int n) {
    int loaders = 0, encoders = 0;
    if (n == 2) {
        loaders = 1;
        encoders = 2;
    } else if (n > 2) {
        loaders = n / 2;
        encoders = 3 * n / 4;
    }
    settings.setMultiThreaded(n > 1);
    settings.setLoaderThreadCount(std::min(loaders, kMaxThreads));
    settings.setEncoderThreadCount(std::min(encoders, kMaxThreads));
}

} // namespace

MainAppWindow::MainAppWindow() : juce::DocumentWindow(kTitle, juce::Colours::white, juce::DocumentWindow::allButtons) {
    commandManager_ = std::make_unique<juce::ApplicationCommandManager>();
    content_ = new MainComponent(this);

    setResizable(true, true);

    commandManager_->registerAllCommandsForTarget(content_);
    commandManager_->setFirstCommandTarget(content_);
    setContentOwned(content_, false);
    setMenuBar(content_);
    updateResizeLimits();
    setVisible(true);

    getGlobal(settings_.put());
    setThreadCounts(*settings_, vq::platform::processorCount());
    initProcessorDispatch();
    settings_->setJ2KDecoder(0);
}

MainAppWindow::~MainAppWindow() {
    stopTimer();
    // The driver writes into the preview, which goes with the content.
    worker_.cancel();
    worker_.stopThread(-1);
    worker_.reset();
    setMenuBar(nullptr);
    clearContentComponent();
    content_ = nullptr;
    commandManager_.reset();
}

void MainAppWindow::updateResizeLimits() {
    const auto monitor = juce::Desktop::getInstance().getDisplays().getDisplayForRect(getScreenBounds());
    const auto area = monitor != nullptr ? monitor->userArea : juce::Rectangle<int>(0, 0, 1600, 1200);
    // The border holds the title bar (unless the system draws it) and the menu bar.
    const int minimumHeight = getContentComponentBorder().getTopAndBottom() + content_->getMinimumHeight();
    setResizeLimits(576, minimumHeight, std::max(576, area.getWidth()), std::max(minimumHeight, area.getHeight()));
}

bool MainAppWindow::qualifiesForDrop(const juce::String& path) {
    static const char* const kExtensions[] = {".jpg", ".bmp", ".png", ".jpeg", ".tif", ".tiff",
                                              ".mrxs", ".svs", ".scn", ".pff", ".jp2", ".ppm"};
    for (const char* extension : kExtensions)
        if (path.endsWithIgnoreCase(extension)) return true;
    return isKestrixFolder(path) || isBacusFolder(path);
}

bool MainAppWindow::isInterestedInFileDrag(const juce::StringArray& files) {
    for (const auto& file : files)
        if (qualifiesForDrop(file)) return true;
    if (files.isEmpty()) return false;
    // The toolkit asks again only when the pointer reaches another component,
    // so after a refused drop the same square would stay refused. Forgetting
    // the refusal once this question is over makes the next drag ask afresh.
    juce::Component::SafePointer<MainAppWindow> window(this);
    juce::MessageManager::callAsync([window, files] {
        auto* peer = window != nullptr ? window->getPeer() : nullptr;
        if (peer == nullptr) return;
        juce::ComponentPeer::DragInfo info;
        info.files = files;
        info.position = {-1, -1};
        peer->handleDragExit(info);
    });
    return false;
}

void MainAppWindow::filesDropped(const juce::StringArray& files, int, int) {
    for (const auto& file : files) {
        ConversionJob job(file);
        job.j2kFullChroma = settings_->getJ2KFullChroma();
        job.quality = settings_->getQuality();
        job.maxQuality = settings_->getMaxQuality();
        job.subsampling = settings_->getSubsampling();
        job.resampling = settings_->getInterpolation();
        job.keepSourceSubsampling = settings_->getSourceSubsampling();
        job.colourSpace = settings_->getOutputColourSpace();
        job.outputType = content_->getOutputType();
        job.tileSize = job.outputType == kGoogleEarthOutput ? 256 : settings_->getPreferredTileSize();
        queueJob(job);
    }
    startTimer(100);
}

void MainAppWindow::queueJob(const ConversionJob& job) {
    jobQueue_.push_back(job);
    content_->addJob(job);
}

// ---- the job dispatcher -----------------------------------------------------------------

void MainAppWindow::timerCallback() {
    if (worker_.isThreadRunning()) {
        followRunningJob();
        return;
    }
    if (worker_.getJob().isAssigned()) completeJob();
    if (content_ == nullptr) {
        stopTimer();
        progress_ = 0.0;
        return;
    }
    auto* preview = content_->getPreview();
    if (preview != nullptr) {
        const std::string errors = preview->getErrors();
        if (!errors.empty()) {
            content_->getFailedFileMessages().add(juce::String::fromUTF8(errors.c_str()));
            preview->clearErrors();
        }
    }
    content_->updatePreviewAndLog();

    if (jobQueue_.empty()) {
        if (getTimerInterval() != 1000) {
            startTimer(1000);
            if (progress_ != 1.0) progress_ = 0.0;
            idleCountdown_ = 3;
            content_->setCancelEnabled(false);
            content_->clearCancelRequest();
        } else if (idleCountdown_ > 0 && --idleCountdown_ == 0) {
            progress_ = 0.0;
            if (preview != nullptr) preview->setPreviewImage(juce::Image());
        }
        content_->updatePreviewAndLog();
        return;
    }
    startNextJob();
}

void MainAppWindow::followRunningJob() {
    if (content_ == nullptr) return;
    content_->updatePreviewAndLog();
    content_->setCancelEnabled(true);
    progress_ = content_->getProgressPercent() / 100.0;
    if (content_->isCancelRequested()) {
        worker_.cancel();
        if (jobQueue_.empty()) {
            content_->setCancelEnabled(false);
            progress_ = 0.0;
        }
        worker_.waitForThreadToExit(250);
        content_->updatePreviewAndLog();
        if (!jobQueue_.empty()) {
            content_->clearCancelRequest();
            startTimer(100);
        }
    } else if (worker_.isCancelled()) {
        // A run that started after the cancel cleared the driver's flag: raise it again.
        worker_.cancel();
    }
}

void MainAppWindow::completeJob() {
    if (content_ != nullptr && content_->getPreview() != nullptr) {
        juce::String line;
        while (popLogLine(line)) worker_.appendLog(line);
    }
    if (content_ != nullptr) content_->updateJob(worker_.getJob());
    worker_.reset();
}

namespace {

// Output types whose writers this build does not contain.
const char* unavailableOutputName(int type) {
    switch (type) {
        case 1: return "SVS with JPEG tiles";
        case 2: return "SVS with JPEG 2000 tiles";
        case 5: return "Pyramid TIFF";
        case 7: return "Kestrix PFF";
        default: return "This";
    }
}

} // namespace

void MainAppWindow::startNextJob() {
    content_->clearCancelRequest();
    ConversionJob job = jobQueue_.front();
    jobQueue_.pop_front();
    // The job's own output type, recorded when it was queued; the toggles may
    // have changed since.
    auto* preview = content_->getPreview();
    preview->setOutputType(job.outputType);
    content_->setJobStatus(job, kStatusProcessing);

    if (!preview->hasRealOutput()) {
        finishFailedJob(job, {juce::String(unavailableOutputName(job.outputType)) +
                                  " output is not available in this build.",
                              kStatusFailed, false});
        return;
    }
    JobSources sources;
    JobFailure failure;
    if (!openJobSources(job, sources, failure)) {
        finishFailedJob(job, failure);
        return;
    }
    startConversion(job, sources);
}

void MainAppWindow::finishFailedJob(ConversionJob job, const JobFailure& failure) {
    job.clearLog();
    job.logLines.addArray(failure.readerLines);
    job.setResult(failure.message, failure.status);
    content_->updateJob(job);
    if (failure.listed) content_->getFailedFileMessages().add(failure.message);
}

void MainAppWindow::startConversion(ConversionJob job, JobSources& sources) {
    const juce::String& path = job.sourcePath;
    vq_ptr<vq_kestrifier_base> driver;
    createKestrifier(&driver);
    if (driver == nullptr) {
        finishFailedJob(job, {"Error: can't create the pyramid driver for " + path + ".", kStatusFailed, false});
        return;
    }
    auto* preview = content_->getPreview();
    const int type = job.outputType;
    const int image = job.imageIndex;
    vq_tileloader_base* tiles = sources.tileLoader.get();

    switch (type) {
        case 1:
        case 4:
        case 5: driver->setStrictRawSize(true); break;
        case 2:
            driver->setStrictRawSize(true);
            job.keepSourceSubsampling = false;
            job.subsampling = job.j2kFullChroma ? 1 : 2;
            break;
        case 7:
            driver->setStrictRawSize(false);
            // A PFF file is built from strips.
            sources.tileLoader.reset();
            tiles = nullptr;
            break;
        default: break;
    }
    if (type == kVerifyOutput && tiles != nullptr) {
        preview->setSubsampling(tiles->getSubsampling(image));
        job.keepSourceSubsampling = true;
        const IntPair tileSize = tiles->getTileSize(image);
        if (tileSize.second != 0) job.tileSize = tileSize.second;
        if (tileSize.first != tileSize.second) job.tileSize = 0;
    }
    const OutputNames names = deriveOutputNames(path.toStdString(), type,
                                                sources.bacusFolder || sources.kestrixFolder, sources.mirax);
    if (sources.mirax) job.keepSourceSubsampling = false;
    driver->setQuality(job.quality);
    driver->setMaxQuality(job.maxQuality);
    driver->setResampling(job.resampling);

    bool retileWarning = false;
    if (type != kVerifyOutput) {
        preview->setColourSpace(job.colourSpace);
        if (job.colourSpace == 4) job.keepSourceSubsampling = true;
        if (job.keepSourceSubsampling) {
            int source = 5;
            if (sources.fileInfo != nullptr)
                source = sources.fileInfo->getSubsampling();
            else if (tiles != nullptr)
                source = tiles->getSubsampling(image);
            else if (sources.stripLoader != nullptr)
                source = sources.stripLoader->getSubsampling();
            if (source != 5) job.subsampling = source;
        }
        preview->setSubsampling(job.subsampling);
        if (job.tileSize == 0) {
            if (tiles == nullptr) {
                job.tileSize = sources.bacusFolder ? 480 : 256;
            } else {
                const IntPair tileSize = tiles->getTileSize(image);
                if (tileSize.first == tileSize.second) job.tileSize = tileSize.second;
            }
        } else if (tiles != nullptr) {
            const IntPair tileSize = tiles->getTileSize(image);
            retileWarning = tileSize.first == tileSize.second && tileSize.first != job.tileSize;
        }
    }

    driver->setTilePixelFormat(job.colourSpace);
    driver->setPreferredTileSize(job.tileSize);
    driver->setJ2KFullChroma(job.j2kFullChroma);
    driver->setLogOutput(preview);
    worker_.setLogOutput(preview);
    worker_.setUp(job, driver.get(), tiles, sources.stripLoader.get(), sources.formatReader.get());
    worker_.setOutputBaseName(names.baseName);
    worker_.setSourcePath(path.toStdString());
    driver->setOutput(preview);
    worker_.setLevelLoop(false);
    for (const auto& line : sources.readerLines) addLogLineToRunningJob(line);

    const juce::String baseName = juce::String::fromUTF8(names.baseName.c_str());
    const juce::String tileText = "\nUsing tile size " + juce::String(job.tileSize) + ", quality " +
                                  juce::String(job.quality) + "\n" +
                                  (retileWarning ? "Warning:converting to new tile size!\n" : "");
    juce::String firstLine;
    switch (type) {
        case 0: firstLine = "\nKestrixing to folder " + baseName + tileText; break;
        case 1: firstLine = "\nCreating SVS JPEG file" + tileText; break;
        case 2: firstLine = "\nCreating SVS JPEG 2000 file" + tileText; break;
        case 4: firstLine = "\nGenerating Google Earth tiles to folder " + baseName; break;
        case kVerifyOutput: {
            const IntPair size = tiles->getLevelSize(0, 0);
            firstLine = "\nVerifying " + juce::String::fromUTF8(names.fileName.c_str()) + "\n" + "Image is " +
                        juce::String(size.first) + " x " + juce::String(size.second) + " pixels\n";
            worker_.setLevelLoop(true);
            std::vector<std::pair<int, int>> grids;
            const auto levels = tiles->getLevelSizes(image);
            for (int level = 0; level < static_cast<int>(levels.size()); ++level) {
                const IntPair grid = tiles->getLevelTileCounts(level, image);
                grids.emplace_back(grid.first, grid.second);
            }
            content_->setVerifyTileTotal(grids);
            break;
        }
        case 7: firstLine = "\nCreating Kestrix PFF file" + tileText; break;
        default: break;
    }
    addLogLineToRunningJob(firstLine);
    progress_ = 0.0;
    worker_.startThread();
    startTimer(100);
    content_->setCancelEnabled(true);
}

void MainAppWindow::addLogLineToRunningJob(const juce::String& line) { worker_.appendLog(line); }

void MainAppWindow::setOutputType(int type) { content_->setOutputType(type); }

int MainAppWindow::getOutputType() const { return content_->getOutputType(); }

void MainAppWindow::closeButtonPressed() {
    stopTimer();
    if (worker_.isThreadRunning()) worker_.cancel();
    // The quit goes on after the wait; a worker still running keeps what it
    // uses, and the window waits for it before letting the preview go.
    worker_.waitForThreadToExit(20000);
    worker_.reset();
    if (auto* app = juce::JUCEApplication::getInstance()) app->systemRequestedQuit();
}
