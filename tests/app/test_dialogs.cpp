#include <gtest/gtest.h>

#include "app/AboutDialog.h"
#include "app/BadFilesDialog.h"
#include "app/JPEGCustomisationDialog.h"
#include "app/TilingOptionsDialog.h"
#include "engine/base/vq_global.h"
#include "tests/app/app_test_support.h"

namespace {

vq_ptr<vq_global_base> settings() {
    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    return global;
}

struct JpegValues {
    int quality, maxQuality, subsampling, colourSpace;
    bool keepSource, fullChroma;
};

void store(const JpegValues& v) {
    auto g = settings();
    g->setQuality(v.quality);
    g->setMaxQuality(v.maxQuality);
    g->setSubsampling(v.subsampling);
    g->setOutputColourSpace(v.colourSpace);
    g->setSourceSubsampling(v.keepSource);
    g->setJ2KFullChroma(v.fullChroma);
}

void expectStored(const JpegValues& v) {
    auto g = settings();
    EXPECT_EQ(g->getQuality(), v.quality);
    EXPECT_EQ(g->getMaxQuality(), v.maxQuality);
    EXPECT_EQ(g->getSubsampling(), v.subsampling);
    EXPECT_EQ(g->getOutputColourSpace(), v.colourSpace);
    EXPECT_EQ(g->getSourceSubsampling(), v.keepSource);
    EXPECT_EQ(g->getJ2KFullChroma(), v.fullChroma);
}

// Changes every control of an open JPEG dialog away from `v`.
void changeEverything(JpegOptionsDlg& dlg) {
    dlg.getQualitySlider().setMinValue(30, juce::sendNotificationSync, false);
    dlg.getQualitySlider().setMaxValue(95, juce::sendNotificationSync, false);
    dlg.getSubsamplingBox().setSelectedId(1);
    dlg.getKeepSourceToggle().setToggleState(false, juce::sendNotificationSync);
    dlg.getFullChromaToggle().setToggleState(true, juce::sendNotificationSync);
    dlg.getRgbToggle().triggerClick();
    apptest::pumpMessages(50);
}

void launch(ModalDialogWindow& dialog) {
    dialog.setVisible(true);
    dialog.enterModalState(true, nullptr, false);
}

} // namespace

TEST(JpegOptionsDialog, ReadsTheSettingsWhenItOpens) {
    store({80, 80, 2, 3, true, false});
    JPEGCustomisationDialog dialog;
    auto& dlg = dialog.getContent();
    EXPECT_EQ(dialog.getName(), "Set JPEG/JPEG 2000 Options");
    EXPECT_EQ(dlg.getQualitySlider().getMinValue(), 80.0);
    EXPECT_EQ(dlg.getQualitySlider().getMaxValue(), 80.0);
    EXPECT_EQ(dlg.getSubsamplingBox().getSelectedId(), 2);
    EXPECT_EQ(dlg.getSubsamplingBox().getText(), "4:2:2 subsampling (2:1 horizontal)");
    EXPECT_TRUE(dlg.getKeepSourceToggle().getToggleState());
    EXPECT_TRUE(dlg.getYCbCrToggle().getToggleState());
    EXPECT_FALSE(dlg.getRgbToggle().getToggleState());
    EXPECT_TRUE(dlg.getSubsamplingBox().isEnabled());

    // The value labels follow the slider once its change message arrives.
    EXPECT_TRUE(apptest::pumpUntil([&] { return dlg.getLowerValueLabel().getText() == "80"; }));
    EXPECT_EQ(dlg.getUpperValueLabel().getText(), "80");
    dlg.getQualitySlider().setMaxValue(90, juce::sendNotificationSync, false);
    EXPECT_EQ(dlg.getUpperValueLabel().getText(), "90");

    // OK at the bottom at x 16, Cancel at the bottom at x 96, both 60 wide.
    const auto ok = dlg.getOkButton().getBounds();
    const auto cancel = dlg.getCancelButton().getBounds();
    EXPECT_EQ(ok.getX(), 16);
    EXPECT_EQ(cancel.getX(), 96);
    EXPECT_EQ(ok.getWidth(), 60);
    EXPECT_EQ(ok.getY(), cancel.getY());
    EXPECT_GT(ok.getY(), dlg.getRgbToggle().getBottom());
    // The slider sits 30 pixels right of the column with its value labels beside it.
    EXPECT_EQ(dlg.getQualitySlider().getX(), 46);
    EXPECT_EQ(dlg.getLowerValueLabel().getX(), 20);
    EXPECT_EQ(dlg.getUpperValueLabel().getX(), dlg.getQualitySlider().getRight());
}

TEST(JpegOptionsDialog, CancelAndCloseWriteNothing) {
    const JpegValues before{60, 85, 4, 3, true, false};
    for (const bool useCloseButton : {false, true}) {
        store(before);
        JPEGCustomisationDialog dialog;
        launch(dialog);
        changeEverything(dialog.getContent());
        if (useCloseButton)
            dialog.closeButtonPressed();
        else
            dialog.getContent().getCancelButton().triggerClick();
        EXPECT_TRUE(apptest::pumpUntil([&] { return !dialog.isCurrentlyModal(); }));
        expectStored(before);
    }
}

TEST(JpegOptionsDialog, OkWritesEveryChoiceAlsoFromDisabledControls) {
    store({80, 80, 2, 3, true, false});
    JPEGCustomisationDialog dialog;
    launch(dialog);
    auto& dlg = dialog.getContent();
    changeEverything(dlg);
    // RGB output disables the subsampling choices, but OK still writes them.
    EXPECT_FALSE(dlg.getSubsamplingBox().isEnabled());
    EXPECT_FALSE(dlg.getKeepSourceToggle().isEnabled());
    dlg.getOkButton().triggerClick();
    EXPECT_TRUE(apptest::pumpUntil([&] { return !dialog.isCurrentlyModal(); }));
    expectStored({30, 95, 1, 4, false, true});

    // Back to YCbCr enables them again.
    dlg.getYCbCrToggle().triggerClick();
    apptest::pumpMessages(50);
    EXPECT_TRUE(dlg.getSubsamplingBox().isEnabled());
    EXPECT_TRUE(dlg.getKeepSourceToggle().isEnabled());
}

TEST(JpegOptionsDialog, UnofferedCodesAreLeftAsTheyAre) {
    store({70, 80, 3, 4, true, false});
    JPEGCustomisationDialog dialog;
    auto& dlg = dialog.getContent();
    EXPECT_EQ(dlg.getSubsamplingBox().getSelectedId(), 0);
    EXPECT_TRUE(dlg.getRgbToggle().getToggleState());
    EXPECT_FALSE(dlg.getSubsamplingBox().isEnabled());
    EXPECT_FALSE(dlg.getKeepSourceToggle().isEnabled());
    dlg.applySettings();
    expectStored({70, 80, 3, 4, true, false});
}

TEST(TilingOptionsDialog, SizeZeroTurnsUseSourceTileSizeOn) {
    auto g = settings();
    g->setPreferredTileSize(0);
    g->setInterpolation(3);
    TilingOptionsDialog dialog;
    EXPECT_EQ(dialog.getName(), "Set Tiling Options");
    auto& dlg = dialog.getContent();
    ASSERT_NE(dlg.getSizeToggle(0), nullptr);
    EXPECT_EQ(dlg.getSizeToggle(0)->getButtonText(), "Use source tile size");
    EXPECT_TRUE(dlg.getSizeToggle(0)->getToggleState());
    for (int size : {240, 256, 480, 512}) EXPECT_FALSE(dlg.getSizeToggle(size)->getToggleState()) << size;
    EXPECT_EQ(dlg.getResamplingBox().getText(), "Lanczos Interpolation");

    g->setPreferredTileSize(123);
    g->setInterpolation(1);
    launch(dialog);
    dlg.getOkButton().triggerClick();
    EXPECT_TRUE(apptest::pumpUntil([&] { return !dialog.isCurrentlyModal(); }));
    EXPECT_EQ(g->getPreferredTileSize(), 0);
    EXPECT_EQ(g->getInterpolation(), 3);
}

TEST(TilingOptionsDialog, ChoicesReachTheSettingsOnlyOnOk) {
    auto g = settings();
    g->setPreferredTileSize(256);
    g->setInterpolation(2);
    {
        TilingOptionsDialog dialog;
        launch(dialog);
        auto& dlg = dialog.getContent();
        EXPECT_TRUE(dlg.getSizeToggle(256)->getToggleState());
        dlg.getSizeToggle(480)->triggerClick();
        apptest::pumpUntil([&] { return dlg.getChosenTileSize() == 480; });
        EXPECT_EQ(dlg.getChosenTileSize(), 480);
        EXPECT_FALSE(dlg.getSizeToggle(256)->getToggleState());
        dlg.getResamplingBox().setSelectedId(1);
        dlg.getCancelButton().triggerClick();
        EXPECT_TRUE(apptest::pumpUntil([&] { return !dialog.isCurrentlyModal(); }));
        EXPECT_EQ(g->getPreferredTileSize(), 256);
        EXPECT_EQ(g->getInterpolation(), 2);

        launch(dialog);
        dialog.closeButtonPressed();
        EXPECT_TRUE(apptest::pumpUntil([&] { return !dialog.isCurrentlyModal(); }));
        EXPECT_EQ(g->getPreferredTileSize(), 256);

        dlg.getSizeToggle(512)->triggerClick();
        apptest::pumpUntil([&] { return dlg.getChosenTileSize() == 512; });
        dlg.applySettings();
        EXPECT_EQ(g->getPreferredTileSize(), 512);
        EXPECT_EQ(g->getInterpolation(), 1);
    }

    // Values the dialog does not offer: no toggle on, the size written back
    // unchanged, and an empty resampling box writes 0.
    g->setPreferredTileSize(300);
    g->setInterpolation(7);
    TilingOptionsDialog dialog;
    auto& dlg = dialog.getContent();
    for (int size : {240, 256, 480, 512, 0}) EXPECT_FALSE(dlg.getSizeToggle(size)->getToggleState()) << size;
    EXPECT_EQ(dlg.getResamplingBox().getSelectedId(), 0);
    dlg.applySettings();
    EXPECT_EQ(g->getPreferredTileSize(), 300);
    EXPECT_EQ(g->getInterpolation(), 0);
}

TEST(AboutDialog, OpensWithoutALogoWhenTheDrawingCannotBeRead) {
    const char* const broken[] = {"<svg this is not", "a drawing", nullptr};
    AboutDialog dialog(broken);
    EXPECT_EQ(dialog.getName(), "About Kestrix");
    auto& dlg = dialog.getContent();
    EXPECT_EQ(dlg.getLogo(), nullptr);
    EXPECT_TRUE(dlg.getTextBox().isReadOnly());
    EXPECT_TRUE(dlg.getTextBox().getText().contains("web browser"));
    // The text box starts below the logo's 98-pixel room.
    EXPECT_EQ(dlg.getTextBox().getY(), 8 + 98 + 8);
    launch(dialog);
    auto snapshot = apptest::snapshotOnWhite(dlg);
    EXPECT_EQ(snapshot.getPixelAt(210, 50).withAlpha(1.0f), juce::Colours::white);
    dlg.getOkButton().triggerClick();
    EXPECT_TRUE(apptest::pumpUntil([&] { return !dialog.isCurrentlyModal(); }));

    AboutDialog withLogo;
    ASSERT_NE(withLogo.getContent().getLogo(), nullptr);
    auto drawn = apptest::snapshotOnWhite(withLogo.getContent());
    int ink = 0;
    for (int y = AboutDlg::kLogoY; y < AboutDlg::kLogoY + AboutDlg::kLogoHeight; ++y)
        for (int x = AboutDlg::kLogoX; x < AboutDlg::kLogoX + AboutDlg::kLogoWidth; ++x)
            if (drawn.getPixelAt(x, y).getBrightness() < 0.9f) ++ink;
    EXPECT_GT(ink, 500);
}

TEST(AboutDialog, WidthIsFixedAndHeightBounded) {
    AboutDialog dialog;
    auto* limits = dialog.getConstrainer();
    ASSERT_NE(limits, nullptr);
    EXPECT_EQ(limits->getMinimumWidth(), 420);
    EXPECT_EQ(limits->getMaximumWidth(), 420);
    EXPECT_EQ(limits->getMinimumHeight(), 320);
    EXPECT_EQ(limits->getMaximumHeight(), 420);
}

TEST(BadFilesDialog, JoinsLinesWithoutSeparators) {
    BadFilesDialog dialog;
    EXPECT_EQ(dialog.getName(), "Failed files list");
    auto& box = dialog.getContent().getTextBox();
    EXPECT_TRUE(box.isReadOnly());
    EXPECT_TRUE(box.isMultiLine());

    dialog.setLines({});
    EXPECT_TRUE(box.getText().isEmpty());
    dialog.setLines({"one\n", "two\n", "three\n"});
    EXPECT_EQ(box.getText(), "one\ntwo\nthree\n");
    dialog.setLines({"first failure.", "second failure."});
    EXPECT_EQ(box.getText(), "first failure.second failure.");

    BadFilesDialog titled("Processing Result");
    EXPECT_EQ(titled.getName(), "Processing Result");
}
