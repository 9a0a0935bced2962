#include "primitives/vector/copy.h"

namespace prim::generic {
#include "primitives/vector/copy_forms.inl"
} // namespace prim::generic

const CopyVector16sFn copyVector16sTable[6] = VQ_PATH_FORMS(copyVector16s);
const CopyVector32sFn copyVector32sTable[6] = VQ_PATH_FORMS(copyVector32s);
const ZeroVector16sFn zeroVector16sTable[6] = VQ_PATH_FORMS(zeroVector16s);
const ZeroVector32sFn zeroVector32sTable[6] = VQ_PATH_FORMS(zeroVector32s);
