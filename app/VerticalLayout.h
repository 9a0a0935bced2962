// A column of components with fixed or stretching heights; items anchored at
// the bottom are stacked upwards from the bottom.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <vector>

class ComponentWithLayout {
public:
    ComponentWithLayout() = default;
    ComponentWithLayout(juce::Component* component, int minHeight, int maxHeight, int width, bool bottomAnchored);
    virtual ~ComponentWithLayout() = default;
    ComponentWithLayout(const ComponentWithLayout&) = default;
    ComponentWithLayout& operator=(const ComponentWithLayout&) = default;

    void setBounds(int x, int y, int width, int height);
    void setGeometry(int width, int minHeight, int maxHeight);
    void setComponent(juce::Component* component) { component_ = component; }
    void setFullWidth(bool fullWidth) { fullWidth_ = fullWidth; }
    bool isStretchable() const { return stretchable_; }
    bool isFullWidth() const { return fullWidth_; }
    bool isBottomAnchored() const { return bottomAnchored_; }
    int getWidth() const { return width_; }
    int getHeight() const { return height_; }
    int getMaxHeight() const { return maxHeight_; }
    juce::Component* getComponent() const { return component_; }

private:
    bool bottomAnchored_ = false;
    int width_ = 0;
    int height_ = 0;
    int minHeight_ = 0;
    int maxHeight_ = 0;
    bool stretchable_ = false;
    bool fullWidth_ = false;
    juce::Component* component_ = nullptr;
};

class VerticalLayout {
public:
    void setGap(int pixels) { gap_ = pixels; }
    int getGap() const { return gap_; }

    // width 0 takes the full width of the rectangle; minHeight != maxHeight
    // makes the item share the height left over by the fixed items.
    void addComponent(juce::Component* component, int minHeight, int maxHeight, int width, bool bottomAnchored = false);
    void addSpacer(int height);
    int getFixedHeight() const;
    // The bottom pass starts at y == height (not y + height): callers pick
    // their rectangles with that in mind.
    void layOut(int x, int y, int width, int height);

private:
    int gap_ = 0;
    std::vector<ComponentWithLayout> items_;
    int stretchableCount_ = 0;
};
