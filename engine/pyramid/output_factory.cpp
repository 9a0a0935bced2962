#include "engine/pyramid/output_factory.h"

#include <atomic>

namespace {
std::atomic<vq_outputFactory> factories[8];
}

void setOutputFactory(int32_t option, vq_outputFactory factory)
{
    if (option >= 0 && option < 8)
        factories[option] = factory;
}

vq_outputFactory getOutputFactory(int32_t option)
{
    return option >= 0 && option < 8 ? factories[option].load() : nullptr;
}
