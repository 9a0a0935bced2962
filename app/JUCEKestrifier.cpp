#include "app/JUCEKestrifier.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/LogQueue.h"
#include "app/MainComponent.h"
#include "engine/base/reader_messages.h"
#include "platform/heap.h"
#include "tiff/vqtiff.h"

void tiffMessageHandler(const char*, const char* format, va_list args) {
    static constexpr char kPrefix[] = "TIFF:";
    // A message longer than the usual line is carried whole in a larger buffer.
    std::vector<char> line(512);
    va_list measure;
    va_copy(measure, args);
    const int needed = std::vsnprintf(nullptr, 0, format != nullptr ? format : "", measure);
    va_end(measure);
    const size_t prefixLength = sizeof(kPrefix) - 1;
    if (needed > 0 && prefixLength + static_cast<size_t>(needed) + 2 > line.size())
        line.resize(prefixLength + static_cast<size_t>(needed) + 2);
    std::memcpy(line.data(), kPrefix, prefixLength);
    int written = std::vsnprintf(line.data() + prefixLength, line.size() - prefixLength,
                                 format != nullptr ? format : "", args);
    if (written < 0) written = 0;
    const size_t end = prefixLength + static_cast<size_t>(written);
    line[end] = '\n';
    line[end + 1] = '\0';
    // While a job reads its source the line joins that job's log.
    if (!deliverReaderMessage(line.data())) pushLogLine(0, line.data());
}

void installLightColourScheme() {
    if (auto* v4 = dynamic_cast<juce::LookAndFeel_V4*>(&juce::LookAndFeel::getDefaultLookAndFeel()))
        v4->setColourScheme(juce::LookAndFeel_V4::getLightColourScheme());
}

JUCEKestrifier::JUCEKestrifier() = default;
JUCEKestrifier::~JUCEKestrifier() = default;

juce::PropertiesFile::Options JUCEKestrifier::settingsOptions() {
    juce::PropertiesFile::Options options;
    options.applicationName = "VQ_Kestrixer";
    options.filenameSuffix = ".xml";
    // An absolute folder: the file lies in "Settings" under the user's
    // application-data folder, not under the home folder itself.
    options.folderName = juce::File::getSpecialLocation(juce::File::userApplicationDataDirectory)
                             .getChildFile("Settings")
                             .getFullPathName();
    options.millisecondsBeforeSaving = 250;
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    return options;
}

void JUCEKestrifier::initialise(const juce::String&) {
    vq::platform::tuneHeapForLargeImages();
    vqtiff::TIFFInstallErrorHandler(tiffMessageHandler);
    vqtiff::TIFFInstallWarningHandler(tiffMessageHandler);
    getGlobal(settings_.put());

    settingsStorage_ = std::make_unique<juce::ApplicationProperties>();
    settingsStorage_->setStorageParameters(settingsOptions());
    settingsStorage_->getUserSettings();

    installLightColourScheme();
    mainWindow_ = std::make_unique<MainAppWindow>();
    mainWindow_->setUsingNativeTitleBar(true);

    settings_->setInterpolation(2);
    settings_->setQuality(80);
    settings_->setMaxQuality(80);
    settings_->setSubsampling(2);
    settings_->setSourceSubsampling(true);
    settings_->setOutputColourSpace(3);
    settings_->setPreferredTileSize(256);

    mainWindow_->setOutputType(0);
    mainWindow_->setTitleBarTextCentred(false);
    mainWindow_->centreWithSize(MainAppWindow::kWidth, MainAppWindow::kHeight);
    mainWindow_->setVisible(true);
    mainWindow_->startTimer(1000);
}

void JUCEKestrifier::shutdown() {
    if (settingsStorage_ != nullptr) {
        auto* user = settingsStorage_->getUserSettings();
        if (user != nullptr && settings_ != nullptr && mainWindow_ != nullptr) {
            user->setValue("OutputType", mainWindow_->getOutputType());
            user->setValue("Quality", static_cast<int>(settings_->getQuality()));
            user->setValue("MaxQuality", static_cast<int>(settings_->getMaxQuality()));
            user->setValue("Subsampling", static_cast<int>(settings_->getSubsampling()));
            user->setValue("SourceSubsampling", settings_->getSourceSubsampling() ? 1 : 0);
            user->setValue("PreferredTileSize", static_cast<int>(settings_->getPreferredTileSize()));
            user->setValue("OutputColorspace", static_cast<int>(settings_->getOutputColourSpace()));
            user->setValue("Interpolation", static_cast<int>(settings_->getInterpolation()));
        }
        settingsStorage_->saveIfNeeded();
        settingsStorage_.reset();
    }
    mainWindow_.reset();
}
