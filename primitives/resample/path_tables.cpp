// The six-entry tables through which both resize engines reach the routines
// of the processor path they run for.
#include "primitives/resample/resample_paths.h"
#include "primitives/resample/super_sample.h"

const ResizeRowRoutineTable* const resizeRowRoutineTables[6] = {
    &prim::generic::resizeRowRoutineTable, &prim::p1::resizeRowRoutineTable, &prim::p1::resizeRowRoutineTable,
    &prim::p3::resizeRowRoutineTable,      &prim::p4::resizeRowRoutineTable, &prim::p4::resizeRowRoutineTable,
};

const ResizeSqKernels* const resizeSqKernelSets[6] = {
    &prim::generic::resizeSqKernels, &prim::p1::resizeSqKernels, &prim::p2::resizeSqKernels,
    &prim::p3::resizeSqKernels,      &prim::p4::resizeSqKernels, &prim::p4::resizeSqKernels,
};

const LanczosWeightsFn lanczos3WeightsTable[6] = {
    prim::generic::lanczos3Weights, prim::p1::lanczos3Weights, prim::p1::lanczos3Weights,
    prim::p3::lanczos3Weights,      prim::p4::lanczos3Weights, prim::p4::lanczos3Weights,
};
