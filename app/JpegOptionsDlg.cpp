#include "app/JpegOptionsDlg.h"

namespace {
constexpr int kColourToggleGroup = 7;
constexpr int kYCbCr = 3;
constexpr int kRgb = 4;
} // namespace

JpegOptionsDlg::JpegOptionsDlg() {
    getGlobal(settings_.put());

    qualitySlider_.setRange(10.0, 100.0, 1.0);
    qualitySlider_.setMaxValue(settings_->getMaxQuality(), juce::sendNotificationAsync, false);
    qualitySlider_.setMinValue(settings_->getQuality(), juce::sendNotificationAsync, false);
    qualitySlider_.addListener(this);
    addAndMakeVisible(qualitySlider_);

    addAndMakeVisible(lowerValueLabel_);
    addAndMakeVisible(upperValueLabel_);
    addAndMakeVisible(qualityCaption_);
    addAndMakeVisible(subsamplingCaption_);

    subsamplingBox_.setEditableText(false);
    subsamplingBox_.addItem("4:4:4 subsampling (all planes equal size)", 1);
    subsamplingBox_.addItem("4:2:2 subsampling (2:1 horizontal)", 2);
    subsamplingBox_.addItem("4:1:1 subsampling (2:1 horizontal and vertical)", 4);
    subsamplingBox_.setSelectedId(settings_->getSubsampling(), juce::dontSendNotification);
    addAndMakeVisible(subsamplingBox_);

    keepSourceToggle_.setToggleState(settings_->getSourceSubsampling(), juce::dontSendNotification);
    addAndMakeVisible(keepSourceToggle_);

    addAndMakeVisible(colourSpaceCaption_);
    yCbCrToggle_.setRadioGroupId(kColourToggleGroup);
    rgbToggle_.setRadioGroupId(kColourToggleGroup);
    if (settings_->getOutputColourSpace() == kYCbCr) {
        yCbCrToggle_.setToggleState(true, juce::dontSendNotification);
    } else {
        rgbToggle_.setToggleState(true, juce::dontSendNotification);
        keepSourceToggle_.setEnabled(false);
        subsamplingBox_.setEnabled(false);
    }
    addAndMakeVisible(yCbCrToggle_);
    addAndMakeVisible(rgbToggle_);

    fullChromaToggle_.setToggleState(settings_->getJ2KFullChroma(), juce::dontSendNotification);
    addAndMakeVisible(fullChromaToggle_);

    const int h = static_cast<int>(qualityCaption_.getFont().getHeight());
    leftColumn_.setGap(8);
    leftColumn_.addComponent(&qualityCaption_, h, h, 256);
    leftColumn_.addComponent(&qualitySlider_, 20, 20, 240);
    leftColumn_.addSpacer(5);
    leftColumn_.addComponent(&subsamplingCaption_, h, h, 256);
    leftColumn_.addComponent(&subsamplingBox_, 24, 24, 300);
    leftColumn_.addComponent(&keepSourceToggle_, 24, 24, 300);
    leftColumn_.addComponent(&fullChromaToggle_, 24, 24, 300);
    leftColumn_.addSpacer(5);
    leftColumn_.addComponent(&colourSpaceCaption_, h, h, 256);
    leftColumn_.addComponent(&yCbCrToggle_, 24, 24, 300);
    leftColumn_.addComponent(&rgbToggle_, 24, 24, 300);
    leftColumn_.addComponent(&okButton_, 24, 24, 60, true);
    rightColumn_.addComponent(&cancelButton_, 24, 24, 60, true);
    addAndMakeVisible(okButton_);
    addAndMakeVisible(cancelButton_);

    for (auto* button : {static_cast<juce::Button*>(&yCbCrToggle_), static_cast<juce::Button*>(&rgbToggle_),
                         static_cast<juce::Button*>(&cancelButton_), static_cast<juce::Button*>(&okButton_)})
        button->addListener(this);
    setSize(300, 260);
}

JpegOptionsDlg::~JpegOptionsDlg() {
    qualitySlider_.removeListener(this);
    for (auto* button : {static_cast<juce::Button*>(&yCbCrToggle_), static_cast<juce::Button*>(&rgbToggle_),
                         static_cast<juce::Button*>(&cancelButton_), static_cast<juce::Button*>(&okButton_)})
        button->removeListener(this);
}

void JpegOptionsDlg::applySettings() {
    settings_->setJ2KFullChroma(fullChromaToggle_.getToggleState());
    if (rgbToggle_.getToggleState())
        settings_->setOutputColourSpace(kRgb);
    else if (yCbCrToggle_.getToggleState())
        settings_->setOutputColourSpace(kYCbCr);
    settings_->setQuality(static_cast<int>(qualitySlider_.getMinValue()));
    settings_->setMaxQuality(static_cast<int>(qualitySlider_.getMaxValue()));
    const int subsampling = subsamplingBox_.getSelectedId();
    if (subsampling == 1 || subsampling == 2 || subsampling == 4) settings_->setSubsampling(subsampling);
    settings_->setSourceSubsampling(keepSourceToggle_.getToggleState());
}

void JpegOptionsDlg::buttonClicked(juce::Button* button) {
    if (button == &okButton_) {
        applySettings();
        closeDialog();
    } else if (button == &yCbCrToggle_ || button == &rgbToggle_) {
        const bool yCbCr = button == &yCbCrToggle_;
        keepSourceToggle_.setEnabled(yCbCr);
        subsamplingBox_.setEnabled(yCbCr);
    } else if (button == &cancelButton_) {
        closeDialog();
    }
}

void JpegOptionsDlg::sliderValueChanged(juce::Slider* slider) {
    lowerValueLabel_.setText(slider->getTextFromValue(slider->getMinValue()), juce::dontSendNotification);
    upperValueLabel_.setText(slider->getTextFromValue(slider->getMaxValue()), juce::dontSendNotification);
}

void JpegOptionsDlg::parentSizeChanged() {
    if (getParentComponent() == nullptr) return;
    layOutColumns(leftColumn_, 0, &rightColumn_);
    const auto slider = qualitySlider_.getBounds().translated(30, 0);
    qualitySlider_.setBounds(slider);
    lowerValueLabel_.setBounds(20, slider.getY(), 30, slider.getHeight());
    upperValueLabel_.setBounds(slider.getRight(), slider.getY(), 30, slider.getHeight());
}
