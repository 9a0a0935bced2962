// The application object: start-up, shut-down and the settings file.
#pragma once

#include <juce_gui_extra/juce_gui_extra.h>

#include <cstdarg>
#include <memory>
#include <string>

#include "app/MainAppWindow.h"
#include "engine/base/vq_global.h"

// Queues a TIFF library warning or error as one log line at level 0:
// "TIFF:" + the formatted message + "\n". The module name is not shown.
void tiffMessageHandler(const char* module, const char* format, va_list args);

// Empty when the window can be shown; otherwise the one line that says which
// display is missing. The toolkit itself crashes without an X display.
std::string missingDisplayMessage();

// The toolkit's own look is dark; the window and its dialogs are white with
// black text.
void installLightColourScheme();

class JUCEKestrifier : public juce::JUCEApplication {
public:
    JUCEKestrifier();
    ~JUCEKestrifier() override;

    const juce::String getApplicationName() override { return "Kestrix Converter"; }
    const juce::String getApplicationVersion() override { return "2.1.7"; }
    bool moreThanOneInstanceAllowed() override { return true; }
    void anotherInstanceStarted(const juce::String&) override {}
    void unhandledException(const std::exception*, const juce::String&, int) override {}

    void initialise(const juce::String& commandLine) override;
    void shutdown() override;

    // Where the settings file lives: "Settings/VQ_Kestrixer.xml" under the
    // user's application-data folder.
    static juce::PropertiesFile::Options settingsOptions();

    MainAppWindow* getMainWindow() { return mainWindow_.get(); }

private:
    std::unique_ptr<MainAppWindow> mainWindow_;
    std::unique_ptr<juce::ApplicationProperties> settingsStorage_;
    vq_ptr<vq_global_base> settings_;
};
