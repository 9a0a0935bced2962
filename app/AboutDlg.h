// Content of the about box: the logo drawn over a spacer, a read-only
// description and OK.
#pragma once

#include "app/DialogSupport.h"
#include "app/VerticalLayout.h"

#include <memory>

class AboutDlg : public DialogContent, public juce::Button::Listener {
public:
    // logoLines: the logo's SVG text as lines ended by a null entry.
    explicit AboutDlg(const char* const* logoLines);
    ~AboutDlg() override;

    const juce::Drawable* getLogo() const { return logo_.get(); }
    juce::TextEditor& getTextBox() { return textBox_; }
    juce::TextButton& getOkButton() { return okButton_; }

    void buttonClicked(juce::Button*) override;
    void parentSizeChanged() override;
    void paintOverChildren(juce::Graphics& g) override;

    // Where the logo is fitted, above the text box.
    static constexpr int kLogoX = 50, kLogoY = 20, kLogoWidth = 320, kLogoHeight = 75;

private:
    juce::TextButton okButton_{"OK"};
    std::unique_ptr<juce::Drawable> logo_;
    juce::TextEditor textBox_;
    VerticalLayout column_;
};
