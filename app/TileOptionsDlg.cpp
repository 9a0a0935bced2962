#include "app/TileOptionsDlg.h"

namespace {

constexpr int kSizeToggleGroup = 7;

struct SizeSpec {
    int size;
    const char* caption;
};
constexpr SizeSpec kSizes[] = {
    {240, "240 x 240 pixels"}, {256, "256 x 256 pixels"}, {480, "480 x 480 pixels"},
    {512, "512 x 512 pixels"}, {0, "Use source tile size"},
};

} // namespace

TileOptionsDlg::TileOptionsDlg() {
    getGlobal(settings_.put());
    rightColumn_.addComponent(&cancelButton_, 24, 24, 60, true);
    addAndMakeVisible(cancelButton_);
    cancelButton_.addListener(this);
    leftColumn_.setGap(8);
    leftColumn_.addComponent(&okButton_, 24, 24, 60, true);
    addAndMakeVisible(okButton_);
    okButton_.addListener(this);

    const int h = static_cast<int>(caption_.getFont().getHeight());
    leftColumn_.addComponent(&caption_, h, h, 256);
    addAndMakeVisible(caption_);
    for (const auto& spec : kSizes) {
        sizeToggles_.push_back({spec.size, std::make_unique<juce::ToggleButton>(spec.caption)});
        addSizeToggle(sizeToggles_.back().button.get());
    }

    chosenTileSize_ = settings_->getPreferredTileSize();
    if (auto* toggle = getSizeToggle(chosenTileSize_)) toggle->setToggleState(true, juce::dontSendNotification);

    resamplingBox_.setEditableText(false);
    resamplingBox_.addItem("Linear Interpolation", 1);
    resamplingBox_.addItem("Cubic Interpolation", 2);
    resamplingBox_.addItem("Lanczos Interpolation", 3);
    resamplingBox_.setSelectedId(settings_->getInterpolation(), juce::dontSendNotification);
    leftColumn_.addSpacer(8);
    leftColumn_.addComponent(&resamplingBox_, 24, 24, 300);
    addAndMakeVisible(resamplingBox_);
    setSize(300, 260);
}

TileOptionsDlg::~TileOptionsDlg() {
    cancelButton_.removeListener(this);
    okButton_.removeListener(this);
    for (auto& toggle : sizeToggles_) toggle.button->removeListener(this);
}

void TileOptionsDlg::addSizeToggle(juce::ToggleButton* toggle) {
    toggle->setRadioGroupId(kSizeToggleGroup);
    addAndMakeVisible(toggle);
    toggle->addListener(this);
    leftColumn_.addComponent(toggle, 24, 24, 300);
}

juce::ToggleButton* TileOptionsDlg::getSizeToggle(int size) {
    for (auto& toggle : sizeToggles_)
        if (toggle.size == size) return toggle.button.get();
    return nullptr;
}

void TileOptionsDlg::applySettings() {
    settings_->setInterpolation(resamplingBox_.getSelectedId());
    settings_->setPreferredTileSize(chosenTileSize_);
}

void TileOptionsDlg::buttonClicked(juce::Button* button) {
    if (button == &okButton_) {
        applySettings();
        closeDialog();
        return;
    }
    if (button == &cancelButton_) {
        closeDialog();
        return;
    }
    for (auto& toggle : sizeToggles_)
        if (toggle.button.get() == button) chosenTileSize_ = toggle.size;
}

void TileOptionsDlg::parentSizeChanged() { layOutColumns(leftColumn_, 0, &rightColumn_); }
