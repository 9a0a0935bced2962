#include "app/AboutDlg.h"

#include "app/CharArrayInputStream.h"

AboutDlg::AboutDlg(const char* const* logoLines) {
    textBox_.setMultiLine(true, true);
    textBox_.setReadOnly(true);
    addAndMakeVisible(textBox_);

    CharArrayInputStream logoStream(logoLines);
    logo_ = juce::Drawable::createFromImageDataStream(logoStream);

    column_.setGap(8);
    column_.addSpacer(98);
    column_.addComponent(&textBox_, 80, 320, 0);
    column_.addComponent(&okButton_, 24, 24, 60, true);
    addAndMakeVisible(okButton_);
    okButton_.addListener(this);
    setSize(420, 420);

    textBox_.setText("Kestrix Converter turns very large images, such as whole-slide microscope scans, into tiled "
                     "multi-resolution pyramids that a web browser can zoom and pan for fast, interactive viewing."
                     "\r\n\r\n",
                     true);
}

AboutDlg::~AboutDlg() { okButton_.removeListener(this); }

void AboutDlg::buttonClicked(juce::Button*) { closeDialog(); }

void AboutDlg::parentSizeChanged() { layOutColumns(column_, 32, nullptr); }

void AboutDlg::paintOverChildren(juce::Graphics& g) {
    if (logo_ == nullptr) return;
    logo_->drawWithin(g, juce::Rectangle<float>(kLogoX, kLogoY, kLogoWidth, kLogoHeight),
                      juce::RectanglePlacement::centred, 1.0f);
}
