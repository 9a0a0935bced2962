// The general engine's super-sampling sets of the six processor paths.
#include "primitives/resample/super_sample.h"

const SuperSampleSet* const resizeGenSuperSets[6] = {
    &prim::generic::superSampleSet, &prim::p1::superSampleSet, &prim::p2::superSampleSet,
    &prim::p2::superSampleSet,      &prim::p2::superSampleSet, &prim::p2::superSampleSet,
};
