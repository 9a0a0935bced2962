#include "app/MainAppWindow.h"

#include "primitives/core/processor.h"

MainAppWindow::MainAppWindow()
    : juce::DocumentWindow(kTitle, juce::Colours::white, juce::DocumentWindow::allButtons) {
    initProcessorDispatch();
    setUsingNativeTitleBar(true);
    centreWithSize(kWidth, kHeight);
    setResizable(true, false);
}

void MainAppWindow::closeButtonPressed() { juce::JUCEApplication::getInstance()->systemRequestedQuit(); }
