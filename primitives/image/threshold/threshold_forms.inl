// The threshold forms of one path, included inside that path's namespace
// after its row kernel thresholdRows(src, srcStep, dst, dstStep, w, h, t, v,
// greater), which expects a region of at least one pixel.

int32_t thresholdValByOp8uC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, int32_t w,
                             int32_t h, int32_t threshold, int32_t value, int32_t op) {
    if (op != thresholdLess && op != thresholdGreater)
        return primErrUnsupportedMode;
    if (!src || !dst)
        return primErrNullPtr;
    if (w <= 0 || h <= 0)
        return primErrSize;
    if (srcStep <= 0 || dstStep <= 0)
        return primErrStep;
    thresholdRows(src, srcStep, dst, dstStep, w, h, static_cast<uint8_t>(threshold), static_cast<uint8_t>(value),
                  op == thresholdGreater);
    return primNoErr;
}

int32_t thresholdLessValInPlace8uC1(uint8_t* p, int32_t step, int32_t w, int32_t h, int32_t threshold,
                                    int32_t value) {
    return thresholdValByOp8uC1(p, step, p, step, w, h, threshold, value, thresholdLess);
}
