#include "app/MainAppWindow.h"

#include "app/MainComponent.h"
#include "platform/threads.h"
#include "primitives/core/processor.h"

namespace {

constexpr int kMaxThreads = 32;
constexpr int kGoogleEarthOutput = 4;

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
    const auto monitor = juce::Desktop::getInstance().getDisplays().getDisplayForRect(getScreenBounds());
    const auto area = monitor != nullptr ? monitor->userArea : juce::Rectangle<int>(0, 0, 1600, 1200);
    setResizeLimits(576, getTitleBarHeight() + 400, std::max(576, area.getWidth()),
                    std::max(getTitleBarHeight() + 400, area.getHeight()));

    commandManager_->registerAllCommandsForTarget(content_);
    commandManager_->setFirstCommandTarget(content_);
    setContentOwned(content_, false);
    setMenuBar(content_);
    setVisible(true);

    getGlobal(settings_.put());
    setThreadCounts(*settings_, vq::platform::processorCount());
    initProcessorDispatch();
    settings_->setJ2KDecoder(0);
}

MainAppWindow::~MainAppWindow() {
    stopTimer();
    setMenuBar(nullptr);
    clearContentComponent();
    content_ = nullptr;
    commandManager_.reset();
}

bool MainAppWindow::qualifiesForDrop(const juce::String& path) {
    static const char* const kExtensions[] = {".jpg", ".bmp", ".png", ".jpeg", ".tif", ".mrxs",
                                              ".svs", ".scn", ".pff", ".jp2",  ".ppm"};
    for (const char* extension : kExtensions)
        if (path.endsWithIgnoreCase(extension)) return true;
    return isKestrixFolder(path) || isBacusFolder(path);
}

bool MainAppWindow::isInterestedInFileDrag(const juce::StringArray& files) {
    for (const auto& file : files)
        if (qualifiesForDrop(file)) return true;
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
        jobQueue_.push_back(job);
        content_->addJob(job);
    }
    startTimer(100);
}

void MainAppWindow::timerCallback() {
    // Idle housekeeping; starting queued jobs belongs to the job dispatcher.
    if (content_ == nullptr) {
        stopTimer();
        progress_ = 0.0;
        return;
    }
    if (!jobQueue_.empty()) return;
    if (getTimerInterval() != 1000) {
        startTimer(1000);
        if (progress_ != 1.0) progress_ = 0.0;
        idleCountdown_ = 3;
        content_->setCancelEnabled(false);
        content_->clearCancelRequest();
    } else if (idleCountdown_ > 0 && --idleCountdown_ == 0) {
        progress_ = 0.0;
        content_->getPreview()->setPreviewImage(juce::Image());
    }
    content_->updatePreviewAndLog();
}

void MainAppWindow::addLogLineToRunningJob(const juce::String& line) {
    // The worker thread that holds the running job arrives with the dispatcher.
    juce::ignoreUnused(line);
}

void MainAppWindow::setOutputType(int type) { content_->setOutputType(type); }

int MainAppWindow::getOutputType() const { return content_->getOutputType(); }

void MainAppWindow::closeButtonPressed() {
    stopTimer();
    if (auto* app = juce::JUCEApplication::getInstance()) app->systemRequestedQuit();
}
