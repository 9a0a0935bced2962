// The copy and zero forms of one path, included inside that path's namespace
// (prim::generic or prim::p1..p5) so each calls its own byte kernels.

int32_t copyVector16s(const int16_t* src, int16_t* dst, int32_t count) {
    return copyElementsChecked<copyBytes>(src, dst, count);
}
int32_t zeroVector16s(int16_t* dst, int32_t count) { return zeroElementsChecked<zeroBytes>(dst, count); }
int32_t zeroVector32s(int32_t* dst, int32_t count) { return zeroElementsChecked<zeroBytes>(dst, count); }
