// The converter's single window.
#pragma once

#include <juce_gui_extra/juce_gui_extra.h>

class MainAppWindow : public juce::DocumentWindow {
public:
    static constexpr const char* kTitle = "Kestrix Converter - Version 2.1.7";
    static constexpr int kWidth = 904;
    static constexpr int kHeight = 480;

    MainAppWindow();
    void closeButtonPressed() override;
};
