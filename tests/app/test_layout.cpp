#include <gtest/gtest.h>

#include "app/CharArrayInputStream.h"
#include "app/VerticalLayout.h"

namespace {

juce::Rectangle<int> box(int x, int y, int w, int h) { return {x, y, w, h}; }

} // namespace

TEST(VerticalLayout, DialogColumnExample) {
    juce::Component caption, comboBox, ok;
    VerticalLayout column;
    column.setGap(8);
    column.addComponent(&caption, 15, 15, 256);
    column.addSpacer(5);
    column.addComponent(&comboBox, 24, 24, 300);
    column.addComponent(&ok, 24, 24, 60, true);

    EXPECT_EQ(column.getFixedHeight(), 100);
    column.layOut(16, 8, 330, 300);
    EXPECT_EQ(caption.getBounds(), box(16, 8, 256, 15));
    // The spacer takes y 31 to 36; the box follows after the gap.
    EXPECT_EQ(comboBox.getBounds(), box(16, 44, 300, 24));
    // The bottom pass starts at the rectangle's height, not at y + height.
    EXPECT_EQ(ok.getBounds(), box(16, 276, 60, 24));
}

TEST(VerticalLayout, StretchableItemsShareTheRestWithinTheirMaximum) {
    juce::Component fixed, a, b, capped, full;
    VerticalLayout column;
    column.addComponent(&fixed, 20, 20, 50);
    column.addComponent(&a, 10, 1000, 40);
    column.addComponent(&b, 10, 1000, 0);
    // Fixed height 20: 321 spare pixels shared by two give 160 each (truncated).
    column.layOut(0, 0, 584, 341);
    EXPECT_EQ(a.getBounds(), box(0, 20, 40, 160));
    EXPECT_EQ(b.getBounds(), box(0, 180, 584, 160));

    VerticalLayout limited;
    limited.setGap(8);
    limited.addComponent(&capped, 100, 800, 0);
    limited.layOut(288, 8, 584, 2000);
    EXPECT_EQ(capped.getBounds(), box(288, 8, 584, 800));

    // Too small a rectangle: the share is given as it is, below the minimum.
    limited.layOut(0, 0, 100, 30);
    EXPECT_EQ(capped.getHeight(), 22);
}

TEST(VerticalLayout, FixedItemsKeepTheirHeightsAndBottomItemsStackUpwards) {
    juce::Component top, okButton, cancelButton;
    VerticalLayout column;
    column.setGap(4);
    column.addComponent(&top, 30, 30, 0);
    column.addComponent(&okButton, 24, 24, 60, true);
    column.addComponent(&cancelButton, 20, 20, 0, true);
    column.layOut(10, 10, 200, 500);
    EXPECT_EQ(top.getBounds(), box(10, 10, 200, 30));
    EXPECT_EQ(okButton.getBounds(), box(10, 476, 60, 24));
    EXPECT_EQ(cancelButton.getBounds(), box(10, 452, 200, 20));
    EXPECT_EQ(column.getFixedHeight(), 30 + 4 + 24 + 4 + 20 + 4);
}

TEST(CharArrayInputStream, JoinsLinesAndClampsPositions) {
    const char* const lines[] = {"ab", "c", nullptr};
    CharArrayInputStream stream(lines);
    EXPECT_EQ(stream.getTotalLength(), 5);
    char buffer[10] = {};
    EXPECT_EQ(stream.read(buffer, 10), 5);
    EXPECT_EQ(std::string(buffer, 5), "ab\nc\n");
    EXPECT_TRUE(stream.isExhausted());
    EXPECT_EQ(stream.read(buffer, 10), 0);

    EXPECT_TRUE(stream.setPosition(-3));
    EXPECT_EQ(stream.getPosition(), 0);
    EXPECT_FALSE(stream.isExhausted());
    EXPECT_EQ(stream.read(buffer, 2), 2);
    EXPECT_EQ(stream.getPosition(), 2);
    EXPECT_TRUE(stream.setPosition(99));
    EXPECT_EQ(stream.getPosition(), 5);

    // The toolkit's own helpers work on top of these operations.
    stream.setPosition(0);
    EXPECT_EQ(stream.readEntireStreamAsString(), "ab\nc\n");

    const char* const none[] = {nullptr};
    CharArrayInputStream empty(none);
    EXPECT_EQ(empty.getTotalLength(), 0);
    EXPECT_TRUE(empty.isExhausted());
}
