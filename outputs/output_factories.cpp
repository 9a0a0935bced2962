#include "outputs/output_factories.h"

#include "engine/pyramid/output_factory.h"
#include "outputs/google_output.h"
#include "outputs/kestrix_output.h"
#include "outputs/pff/pff_output.h"
#include "outputs/svs_output.h"
#include "outputs/verify_output.h"
#include "platform/threads.h"

namespace {

template <class T>
bool createOutput(vq_zoomoutput_base** out)
{
    if (out == nullptr)
        return false;
    T* output = T::create();
    if (output == nullptr)
        return false;
    output->addRef();
    *out = output;
    return true;
}

// The driver's registry wants the created output as its result.
template <bool (*factory)(vq_zoomoutput_base**)>
vq_zoomoutput_base* registryFactory(vq_zoomoutput_base** out)
{
    return factory(out) ? *out : nullptr;
}

const bool registered = (registerOutputFactories(), true);

} // namespace

bool createKestrixOutput(vq_zoomoutput_base** out)
{
    return createOutput<vq_kestrix_output>(out);
}

bool createGoogleOutput(vq_zoomoutput_base** out)
{
    return createOutput<vq_google_output>(out);
}

bool createVerifyOutput(vq_zoomoutput_base** out)
{
    return createOutput<vq_verify_output>(out);
}

bool createSvsOutput(vq_zoomoutput_base** out)
{
    return createOutput<vq_zoomoutput_svs>(out);
}

bool createPyramidOutput(vq_zoomoutput_base** out)
{
    return createOutput<vq_zoomoutput_pyramid>(out);
}

bool createKestrixPffOutput(vq_zoomoutput_base** out)
{
    return createOutput<vq_kestrixpff_output>(out);
}

void registerOutputFactories()
{
    (void)registered;
    setOutputFactory(0, &registryFactory<createKestrixOutput>);
    setOutputFactory(1, &registryFactory<createSvsOutput>);
    setOutputFactory(4, &registryFactory<createGoogleOutput>);
    setOutputFactory(5, &registryFactory<createPyramidOutput>);
    setOutputFactory(6, &registryFactory<createVerifyOutput>);
    setOutputFactory(7, &registryFactory<createKestrixPffOutput>);
}

void signalEvent(vq::platform::Event** event)
{
    if (event != nullptr && *event != nullptr)
        (*event)->set();
}
