// Factories of the pyramid outputs built here, and their registration with
// the pyramid driver's output switch.
#pragma once

#include "engine/pyramid/vq_zoomoutput.h"

namespace vq::platform {
class Event;
}

// Each stores a new output with its first reference in *out and returns
// true; false, with *out untouched, when none could be made.
bool createKestrixOutput(vq_zoomoutput_base** out);
bool createGoogleOutput(vq_zoomoutput_base** out);
bool createVerifyOutput(vq_zoomoutput_base** out);
// SVS (the caller sets compression 7) and pyramid TIFF outputs.
bool createSvsOutput(vq_zoomoutput_base** out);
bool createPyramidOutput(vq_zoomoutput_base** out);
bool createKestrixPffOutput(vq_zoomoutput_base** out);

// Makes the driver create these outputs for its output options 0, 1, 4, 5,
// 6 and 7.
// Also done once when this library's factories are linked in.
void registerOutputFactories();

// Sets the event when both the pointer and the event it points to exist.
void signalEvent(vq::platform::Event** event);
