#include "app/JUCEKestrifier.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <dlfcn.h>

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

std::string missingDisplayMessage() {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0')
        return "Kestrix Converter needs a display: DISPLAY is not set (run it under an X server or Xvfb)";
    // The toolkit loads the X library at run time; so does this check, so the
    // program has no link-time dependency on it.
    void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
    if (x11 == nullptr) return "Kestrix Converter needs a display: the X library libX11.so.6 is missing";
    using OpenDisplay = void* (*)(const char*);
    using CloseDisplay = int (*)(void*);
    auto openDisplay = reinterpret_cast<OpenDisplay>(dlsym(x11, "XOpenDisplay"));
    auto closeDisplay = reinterpret_cast<CloseDisplay>(dlsym(x11, "XCloseDisplay"));
    std::string message;
    void* display = openDisplay != nullptr ? openDisplay(name) : nullptr;
    if (display == nullptr)
        message = std::string("Kestrix Converter needs a display: cannot open display \"") + name + "\"";
    else if (closeDisplay != nullptr)
        closeDisplay(display);
    dlclose(x11);
    return message;
}

void installLightColourScheme() {
    if (auto* v4 = dynamic_cast<juce::LookAndFeel_V4*>(&juce::LookAndFeel::getDefaultLookAndFeel()))
        v4->setColourScheme(juce::LookAndFeel_V4::getLightColourScheme());
}

namespace {

// The saved value of the key when it is a plain decimal number that `valid`
// accepts; otherwise (missing, not a number, out of range) the fallback.
int savedValue(const juce::PropertySet& saved, const char* key, bool (*valid)(int), int fallback) {
    const juce::String text = saved.getValue(key).trim();
    if (text.isEmpty() || text.length() > 9 || !text.containsOnly("0123456789")) return fallback;
    const int value = text.getIntValue();
    return valid(value) ? value : fallback;
}

bool isOutputType(int v) { return v == 0 || v == 1 || v == 2 || v == 6 || v == 7; }
bool isQuality(int v) { return v >= 10 && v <= 100; }
bool isSubsampling(int v) { return v == 1 || v == 2 || v == 4; }
bool isFlag(int v) { return v == 0 || v == 1; }
bool isTileSize(int v) { return v == 240 || v == 256 || v == 480 || v == 512 || v == 0; }
bool isColourSpace(int v) { return v == 3 || v == 4; }
bool isInterpolation(int v) { return v >= 1 && v <= 3; }

} // namespace

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

    installLightColourScheme();
    mainWindow_ = std::make_unique<MainAppWindow>();
    mainWindow_->setUsingNativeTitleBar(true);
    mainWindow_->updateResizeLimits();

    // The choices of the last run, each falling back to the application's
    // default when the file does not hold a usable value for it.
    const juce::PropertySet empty;
    const juce::PropertySet* user = settingsStorage_->getUserSettings();
    const juce::PropertySet& saved = user != nullptr ? *user : empty;
    settings_->setInterpolation(savedValue(saved, "Interpolation", isInterpolation, 2));
    settings_->setQuality(savedValue(saved, "Quality", isQuality, 80));
    settings_->setMaxQuality(savedValue(saved, "MaxQuality", isQuality, 80));
    settings_->setSubsampling(savedValue(saved, "Subsampling", isSubsampling, 2));
    settings_->setSourceSubsampling(savedValue(saved, "SourceSubsampling", isFlag, 1) == 1);
    settings_->setOutputColourSpace(savedValue(saved, "OutputColorspace", isColourSpace, 3));
    settings_->setPreferredTileSize(savedValue(saved, "PreferredTileSize", isTileSize, 256));

    mainWindow_->setOutputType(savedValue(saved, "OutputType", isOutputType, 0));
    mainWindow_->setTitleBarTextCentred(false);
    // The window opens at its usual size, or taller when that would hide controls.
    const auto* limits = mainWindow_->getConstrainer();
    const int height = std::max(MainAppWindow::kHeight, limits != nullptr ? limits->getMinimumHeight() : 0);
    mainWindow_->centreWithSize(MainAppWindow::kWidth, height);
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
