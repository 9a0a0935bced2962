// Helpers of the shell's tests: the message loop and window lookups.
#pragma once

#include <juce_gui_extra/juce_gui_extra.h>

#include <functional>

namespace apptest {

// Runs the message loop for the given time.
void pumpMessages(int milliseconds);
// Runs the message loop until the condition holds or the time is up.
bool pumpUntil(const std::function<bool()>& condition, int timeoutMs = 3000);

// The component as drawn over a white background (the window's colour).
juce::Image snapshotOnWhite(juce::Component& component);

// The topmost modal component of the given type, or null.
template <class T>
T* topModal() {
    auto* manager = juce::ModalComponentManager::getInstance();
    for (int i = 0; i < manager->getNumModalComponents(); ++i)
        if (auto* c = dynamic_cast<T*>(manager->getModalComponent(i))) return c;
    return nullptr;
}

} // namespace apptest
