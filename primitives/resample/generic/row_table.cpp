// The generic row-routine table.
#include "primitives/resample/generic/passes.h"

namespace prim::generic {

const ResizeRowRoutineTable resizeRowRoutineTable = {
    {resizePassNearest8uC3, resizePassNearest16uC3, resizePassNearest32fC3, resizePassNearest16uC3,
     resizePassNearest8uC1, resizePassNearest16uC1, resizePassNearest32fC1, resizePassNearest16uC1,
     resizePassNearest8uC4, resizePassNearest16uC4, resizePassNearest32fC4, resizePassNearest16uC4},
    {resizePassLinear8uPixel, resizePassLinear16uPixel, resizePassLinear32fPixel, resizePassLinear16sPixel,
     resizePassLinear8uPlane, resizePassLinear16uPlane, resizePassLinear32fPlane, resizePassLinear16sPlane},
    {resizeGenPassCubic8uPixel, resizeGenPassCubic16uPixel, resizeGenPassCubic32fPixel, resizeGenPassCubic8uPlane,
     resizeGenPassCubic16uPlane, resizeGenPassCubic32fPlane},
    {resizeSqPassCubic8uPixel, resizeSqPassCubic16uPixel, resizeSqPassCubic32fPixel, resizeSqPassCubic16sPixel,
     resizeSqPassCubic8uPlane, resizeSqPassCubic16uPlane, resizeSqPassCubic32fPlane, resizeSqPassCubic16sPlane},
    {resizeGenPassLanczos8uPixel, resizeGenPassLanczos16uPixel, resizeGenPassLanczos32fPixel,
     resizeGenPassLanczos8uPlane, resizeGenPassLanczos16uPlane, resizeGenPassLanczos32fPlane},
    {resizeSqPassLanczos8uPixel, resizeSqPassLanczos16uPixel, resizeSqPassLanczos32fPixel, resizeSqPassLanczos16sPixel,
     resizeSqPassLanczos8uPlane, resizeSqPassLanczos16uPlane, resizeSqPassLanczos32fPlane, resizeSqPassLanczos16sPlane},
};

} // namespace prim::generic
