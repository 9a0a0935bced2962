#include <juce_gui_extra/juce_gui_extra.h>

#include <memory>

#include "app/MainAppWindow.h"

class JUCEKestrifier : public juce::JUCEApplication {
public:
    const juce::String getApplicationName() override { return "Kestrix Converter"; }
    const juce::String getApplicationVersion() override { return "2.1.7"; }
    bool moreThanOneInstanceAllowed() override { return true; }

    void initialise(const juce::String&) override {
        window_ = std::make_unique<MainAppWindow>();
        window_->setVisible(true);
    }

    void shutdown() override { window_.reset(); }

private:
    std::unique_ptr<MainAppWindow> window_;
};

START_JUCE_APPLICATION(JUCEKestrifier)
