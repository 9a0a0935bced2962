#include "app/JUCEKestrifier.h"

START_JUCE_APPLICATION(JUCEKestrifier)
