// Content of the JPEG/JPEG 2000 options dialog: quality range, subsampling,
// keep-source subsampling, JPEG 2000 full chroma and output colour space.
#pragma once

#include "app/DialogSupport.h"
#include "app/VerticalLayout.h"
#include "engine/base/vq_global.h"

class JpegOptionsDlg : public DialogContent, public juce::Button::Listener, public juce::Slider::Listener {
public:
    JpegOptionsDlg();
    ~JpegOptionsDlg() override;

    // Writes the dialog's choices into the engine settings.
    void applySettings();

    void buttonClicked(juce::Button* button) override;
    void sliderValueChanged(juce::Slider* slider) override;
    void sliderDragStarted(juce::Slider*) override {}
    void sliderDragEnded(juce::Slider*) override {}
    void parentSizeChanged() override;

    juce::Slider& getQualitySlider() { return qualitySlider_; }
    juce::ToggleButton& getYCbCrToggle() { return yCbCrToggle_; }
    juce::ToggleButton& getRgbToggle() { return rgbToggle_; }
    juce::ToggleButton& getFullChromaToggle() { return fullChromaToggle_; }
    juce::ComboBox& getSubsamplingBox() { return subsamplingBox_; }
    juce::ToggleButton& getKeepSourceToggle() { return keepSourceToggle_; }
    juce::TextButton& getCancelButton() { return cancelButton_; }
    juce::TextButton& getOkButton() { return okButton_; }
    juce::Label& getLowerValueLabel() { return lowerValueLabel_; }
    juce::Label& getUpperValueLabel() { return upperValueLabel_; }

private:
    juce::Slider qualitySlider_{juce::Slider::TwoValueHorizontal, juce::Slider::NoTextBox};
    juce::Label qualityCaption_{"Label", "JPEG/JPEG 2000 Quality Range"};
    juce::Label subsamplingCaption_{"Label2", "JPEG Output Subsampling:"};
    juce::Label colourSpaceCaption_{"Label3", "JPEG output colorspace"};
    juce::ToggleButton yCbCrToggle_{"YCbCr output"};
    juce::ToggleButton rgbToggle_{"RGB output"};
    juce::ToggleButton fullChromaToggle_{"JPEG 2000 full chroma (4:4:4)"};
    juce::ComboBox subsamplingBox_{"Combo"};
    juce::ToggleButton keepSourceToggle_{"Maintain source subsampling where applicable"};
    juce::TextButton cancelButton_{"Cancel"};
    juce::TextButton okButton_{"OK"};
    juce::Label lowerValueLabel_{"MinVal", {}};
    juce::Label upperValueLabel_{"MaxVal", {}};
    VerticalLayout leftColumn_;
    VerticalLayout rightColumn_;
    vq_ptr<vq_global_base> settings_;
};
