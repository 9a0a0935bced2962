// Helpers of the shell's tests: the message loop and window lookups.
#pragma once

#include <juce_gui_extra/juce_gui_extra.h>

#include <functional>
#include <string>

namespace apptest {

// Runs the message loop for the given time.
void pumpMessages(int milliseconds);
// Runs the message loop until the condition holds or the time is up. The
// default bound is generous: a loaded machine may take many seconds for what
// usually takes milliseconds, and a condition that holds ends the wait at once.
bool pumpUntil(const std::function<bool()>& condition, int timeoutMs = 60000);

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

// The first component of type T below the parent, depth first, or null.
template <class T>
T* findDescendant(juce::Component& parent, const std::function<bool(T&)>& test = nullptr) {
    for (auto* child : parent.getChildren()) {
        if (auto* match = dynamic_cast<T*>(child))
            if (test == nullptr || test(*match)) return match;
        if (auto* found = findDescendant<T>(*child, test)) return found;
    }
    return nullptr;
}

// A scratch folder in which a test builds a small tree of folders and files.
class ScratchTree {
public:
    explicit ScratchTree(const std::string& name);
    juce::String path(const std::string& relative) const;
    // Creates the folder (with its parents) and returns its path.
    juce::String folder(const std::string& relative);
    // Writes a one-byte file and returns its path.
    juce::String file(const std::string& relative);

private:
    std::string root_;
};

} // namespace apptest
