#include <cstdio>

#include "app/JUCEKestrifier.h"

JUCE_CREATE_APPLICATION_DEFINE(JUCEKestrifier)

int main(int argc, char* argv[]) {
    // Without a display the toolkit would crash on its first window.
    const std::string problem = missingDisplayMessage();
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return juce::JUCEApplicationBase::main(argc, const_cast<const char**>(argv));
}
