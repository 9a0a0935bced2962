// Content of the text-list dialog: a read-only text box and OK.
#pragma once

#include "app/DialogSupport.h"
#include "app/VerticalLayout.h"

class BadFilesDlg : public DialogContent, public juce::Button::Listener {
public:
    BadFilesDlg();
    ~BadFilesDlg() override;

    // The lines are joined as they stand: lines that should stand on their
    // own carry their own line breaks.
    void setLines(const juce::StringArray& lines);
    juce::TextEditor& getTextBox() { return textBox_; }
    juce::TextButton& getOkButton() { return okButton_; }

    void buttonClicked(juce::Button*) override;
    void parentSizeChanged() override;

private:
    juce::TextButton okButton_{"OK"};
    VerticalLayout leftColumn_;
    VerticalLayout rightColumn_;
    juce::TextEditor textBox_;
};
