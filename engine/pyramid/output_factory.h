// Factories of the pyramid outputs by output type code, registered by the
// output library so that the driver does not depend on it.
#pragma once

#include <cstdint>

#include "engine/pyramid/vq_zoomoutput.h"

// Creates an output with its first reference, stores it in *out and returns
// it (null when none could be made).
using vq_outputFactory = vq_zoomoutput_base* (*)(vq_zoomoutput_base** out);

void setOutputFactory(int32_t option, vq_outputFactory factory);
vq_outputFactory getOutputFactory(int32_t option);
