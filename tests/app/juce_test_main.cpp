// Test main of the shell's tests: the toolkit is started only when tests
// run (not when they are listed), with the application's light colours.
#include <gtest/gtest.h>

#include <memory>

#include "app/JUCEKestrifier.h"

namespace {

juce::JUCEApplicationBase* createApplication() { return new JUCEKestrifier(); }

class ToolkitEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // Lets a test make the application object as the program entry would.
        juce::JUCEApplicationBase::createInstance = &createApplication;
        toolkit_ = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
        installLightColourScheme();
    }
    void TearDown() override { toolkit_.reset(); }

private:
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> toolkit_;
};

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new ToolkitEnvironment());
    return RUN_ALL_TESTS();
}
