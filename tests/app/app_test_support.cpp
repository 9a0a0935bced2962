#include "tests/app/app_test_support.h"

#include <filesystem>

#include "tests/support/test_env.h"

namespace apptest {

void pumpMessages(int milliseconds) { juce::MessageManager::getInstance()->runDispatchLoopUntil(milliseconds); }

bool pumpUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto end = juce::Time::getMillisecondCounter() + static_cast<juce::uint32>(timeoutMs);
    while (!condition()) {
        if (juce::Time::getMillisecondCounter() > end) return false;
        pumpMessages(10);
    }
    return true;
}

juce::Image snapshotOnWhite(juce::Component& component) {
    juce::Image image(juce::Image::RGB, component.getWidth(), component.getHeight(), true);
    juce::Graphics g(image);
    g.fillAll(juce::Colours::white);
    component.paintEntireComponent(g, true);
    return image;
}

ScratchTree::ScratchTree(const std::string& name) : root_(vqtest::scratchDir(name)) {}

juce::String ScratchTree::path(const std::string& relative) const {
    return juce::String((std::filesystem::path(root_) / relative).string());
}

juce::String ScratchTree::folder(const std::string& relative) {
    std::filesystem::create_directories(std::filesystem::path(root_) / relative);
    return path(relative);
}

juce::String ScratchTree::file(const std::string& relative) {
    vqtest::writeFile(path(relative).toStdString(), "x");
    return path(relative);
}

} // namespace apptest
