// Content of the tiling options dialog: preferred tile size and resampling.
#pragma once

#include "app/DialogSupport.h"
#include "app/VerticalLayout.h"
#include "engine/base/vq_global.h"

#include <memory>
#include <vector>

class TileOptionsDlg : public DialogContent, public juce::Button::Listener {
public:
    TileOptionsDlg();
    ~TileOptionsDlg() override;

    // Writes resampling and preferred tile size into the engine settings.
    void applySettings();
    void addSizeToggle(juce::ToggleButton* toggle);

    void buttonClicked(juce::Button* button) override;
    void parentSizeChanged() override;

    int getChosenTileSize() const { return chosenTileSize_; }
    // The toggle of a size (240, 256, 480, 512, 0 for the source's size).
    juce::ToggleButton* getSizeToggle(int size);
    juce::ComboBox& getResamplingBox() { return resamplingBox_; }
    juce::TextButton& getCancelButton() { return cancelButton_; }
    juce::TextButton& getOkButton() { return okButton_; }

private:
    struct SizeToggle {
        int size;
        std::unique_ptr<juce::ToggleButton> button;
    };

    int chosenTileSize_ = 0;
    juce::Label caption_{"Label2", "Preferred tile size:"};
    std::vector<SizeToggle> sizeToggles_;
    juce::ComboBox resamplingBox_{"Resampling"};
    vq_ptr<vq_global_base> settings_;
    juce::TextButton cancelButton_{"Cancel"};
    juce::TextButton okButton_{"OK"};
    VerticalLayout leftColumn_;
    VerticalLayout rightColumn_;
};
