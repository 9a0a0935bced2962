#include "app/VerticalLayout.h"

ComponentWithLayout::ComponentWithLayout(juce::Component* component, int minHeight, int maxHeight, int width,
                                         bool bottomAnchored)
    : bottomAnchored_(bottomAnchored), component_(component) {
    setGeometry(width, minHeight, maxHeight);
}

void ComponentWithLayout::setGeometry(int width, int minHeight, int maxHeight) {
    width_ = width;
    height_ = minHeight;
    minHeight_ = minHeight;
    maxHeight_ = maxHeight;
    stretchable_ = minHeight != maxHeight;
    fullWidth_ = width == 0;
}

void ComponentWithLayout::setBounds(int x, int y, int width, int height) {
    if (component_ != nullptr) component_->setBounds(x, y, width, height);
}

void VerticalLayout::addComponent(juce::Component* component, int minHeight, int maxHeight, int width,
                                  bool bottomAnchored) {
    items_.emplace_back(component, minHeight, maxHeight, width, bottomAnchored);
    if (items_.back().isStretchable()) ++stretchableCount_;
}

void VerticalLayout::addSpacer(int height) {
    items_.emplace_back(nullptr, height, height, 1, false);
    items_.back().setFullWidth(false);
}

int VerticalLayout::getFixedHeight() const {
    int total = 0;
    for (const auto& item : items_) total += item.isStretchable() ? gap_ : item.getHeight() + gap_;
    return total;
}

void VerticalLayout::layOut(int x, int y, int width, int height) {
    int share = height - getFixedHeight();
    if (stretchableCount_ != 0) share /= stretchableCount_;

    std::vector<ComponentWithLayout*> bottom;
    int cursorY = y;
    for (auto& item : items_) {
        if (item.isBottomAnchored()) {
            bottom.push_back(&item);
            continue;
        }
        int w = item.getWidth();
        int h = item.getHeight();
        if (item.isStretchable()) h = std::min(share, item.getMaxHeight());
        if (item.isFullWidth()) w = width;
        item.setBounds(x, cursorY, w, h);
        cursorY += gap_ + h;
    }

    cursorY = height;
    for (auto* item : bottom) {
        const int w = item->isFullWidth() ? width : item->getWidth();
        const int h = item->getHeight();
        item->setBounds(x, cursorY - h, w, h);
        cursorY -= gap_ + h;
    }
}
