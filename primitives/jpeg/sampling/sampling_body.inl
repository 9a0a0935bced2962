// Bodies of the chroma sampling primitives, included once inside the namespace
// of every processor path. The including file first defines that path's row
// kernels; each kernel does a prefix of the work and returns where it stopped,
// and the scalar code here finishes the row, so every path gives the same
// bytes:
//   int32_t boxH2V1Kernel(const uint8_t* s, uint8_t* d, int32_t count);
//   int32_t boxH2V2Kernel(const uint8_t* s0, const uint8_t* s1, uint8_t* d, int32_t count);
//   int32_t rowH2V1Kernel(const uint8_t* s, uint8_t* d, int32_t pairs);   // bias 0, 1, 0, 1 ...
//   int32_t rowH2V2Kernel(const uint8_t* u, const uint8_t* l, uint8_t* d, int32_t pairs);  // bias 1, 2 ...
//   int32_t triangleKernel(const uint8_t* s, uint8_t* d, int32_t k, int32_t kEnd);
//   int32_t triangle2Kernel(const uint8_t* nearRow, const uint8_t* farRow, uint8_t* d, int32_t k, int32_t kEnd);
// The triangle kernels produce outputs 2k and 2k + 1 for k in [k, kEnd) from
// samples k - 1 to k + 1, and return the first k they left undone; kernels are
// entered only with an even start where a bias pattern depends on it.

namespace {

inline int32_t lastIndex(int32_t i, int32_t limit) { return i < limit ? i : limit - 1; }

// Column sum of the 2 x 2 triangle filter.
inline int32_t colSum(const uint8_t* nearRow, const uint8_t* farRow, int32_t k) { return 3 * nearRow[k] + farRow[k]; }

} // namespace

int32_t downsampleH2V1Box(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,
                          PrimSize dstSize) {
    int32_t status = jpeg_sampling::checkRegion(src, srcStep, srcSize, dst, dstStep, dstSize);
    if (status != primNoErr) return status;
    const int32_t sw = srcSize.width, sh = srcSize.height;
    const int32_t inside = sw / 2 < dstSize.width ? sw / 2 : dstSize.width;  // pairs wholly in the source
    for (int32_t i = 0; i < dstSize.height; ++i) {
        const uint8_t* s = src + static_cast<intptr_t>(lastIndex(i, sh)) * srcStep;
        uint8_t* d = dst + static_cast<intptr_t>(i) * dstStep;
        int32_t j = boxH2V1Kernel(s, d, inside);
        for (; j < inside; ++j) d[j] = static_cast<uint8_t>((s[2 * j] + s[2 * j + 1] + 1) >> 1);
        for (; j < dstSize.width; ++j)
            d[j] = static_cast<uint8_t>((s[lastIndex(2 * j, sw)] + s[lastIndex(2 * j + 1, sw)] + 1) >> 1);
    }
    return primNoErr;
}

int32_t downsampleH2V2Box(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,
                          PrimSize dstSize) {
    int32_t status = jpeg_sampling::checkRegion(src, srcStep, srcSize, dst, dstStep, dstSize);
    if (status != primNoErr) return status;
    const int32_t sw = srcSize.width, sh = srcSize.height;
    const int32_t inside = sw / 2 < dstSize.width ? sw / 2 : dstSize.width;
    for (int32_t i = 0; i < dstSize.height; ++i) {
        const uint8_t* s0 = src + static_cast<intptr_t>(lastIndex(2 * i, sh)) * srcStep;
        const uint8_t* s1 = src + static_cast<intptr_t>(lastIndex(2 * i + 1, sh)) * srcStep;
        uint8_t* d = dst + static_cast<intptr_t>(i) * dstStep;
        int32_t j = boxH2V2Kernel(s0, s1, d, inside);
        for (; j < inside; ++j)
            d[j] = static_cast<uint8_t>((s0[2 * j] + s0[2 * j + 1] + s1[2 * j] + s1[2 * j + 1] + 3) >> 2);
        for (; j < dstSize.width; ++j) {
            int32_t a = lastIndex(2 * j, sw), b = lastIndex(2 * j + 1, sw);
            d[j] = static_cast<uint8_t>((s0[a] + s0[b] + s1[a] + s1[b] + 3) >> 2);
        }
    }
    return primNoErr;
}

int32_t downsampleRowH2V1(const uint8_t* src, int32_t n, uint8_t* dst) {
    int32_t status = jpeg_sampling::checkRow(src, dst, n);
    if (status != primNoErr) return status;
    const int32_t pairs = n / 2;
    int32_t j = rowH2V1Kernel(src, dst, pairs);
    for (; j < pairs; ++j) dst[j] = static_cast<uint8_t>((src[2 * j] + src[2 * j + 1] + (j & 1)) >> 1);
    // An odd length ends with its last sample paired with itself.
    if (n & 1) dst[pairs] = src[n - 1];
    return primNoErr;
}

int32_t downsampleRowH2V2(const uint8_t* upper, const uint8_t* lower, int32_t n, uint8_t* dst) {
    int32_t status = jpeg_sampling::checkTwoRows(upper, lower, dst, n);
    if (status != primNoErr) return status;
    const int32_t pairs = n / 2;
    int32_t j = rowH2V2Kernel(upper, lower, dst, pairs);
    for (; j < pairs; ++j)
        dst[j] = static_cast<uint8_t>(
            (upper[2 * j] + upper[2 * j + 1] + lower[2 * j] + lower[2 * j + 1] + 1 + (j & 1)) >> 2);
    if (n & 1) {
        int32_t last = n - 1;
        dst[pairs] = static_cast<uint8_t>((2 * upper[last] + 2 * lower[last] + 1 + (pairs & 1)) >> 2);
    }
    return primNoErr;
}

int32_t upsampleRowH2V1Triangle(const uint8_t* src, int32_t n, uint8_t* dst) {
    int32_t status = jpeg_sampling::checkRow(src, dst, n);
    if (status != primNoErr) return status;
    if (n == 1) {  // a single sample has no neighbour: both outputs repeat it
        dst[0] = dst[1] = src[0];
        return primNoErr;
    }
    dst[0] = src[0];
    dst[1] = static_cast<uint8_t>((3 * src[0] + src[1] + 2) >> 2);
    int32_t k = triangleKernel(src, dst, 1, n - 1);
    for (; k < n - 1; ++k) {
        dst[2 * k] = static_cast<uint8_t>((3 * src[k] + src[k - 1] + 1) >> 2);
        dst[2 * k + 1] = static_cast<uint8_t>((3 * src[k] + src[k + 1] + 2) >> 2);
    }
    dst[2 * n - 2] = static_cast<uint8_t>((3 * src[n - 1] + src[n - 2] + 1) >> 2);
    dst[2 * n - 1] = src[n - 1];
    return primNoErr;
}

int32_t upsampleRowH2V2Triangle(const uint8_t* nearRow, const uint8_t* farRow, int32_t n, uint8_t* dst) {
    int32_t status = jpeg_sampling::checkTwoRows(nearRow, farRow, dst, n);
    if (status != primNoErr) return status;
    const int32_t c0 = colSum(nearRow, farRow, 0);
    if (n == 1) {
        dst[0] = static_cast<uint8_t>((4 * c0 + 8) >> 4);
        dst[1] = static_cast<uint8_t>((4 * c0 + 7) >> 4);
        return primNoErr;
    }
    dst[0] = static_cast<uint8_t>((4 * c0 + 8) >> 4);
    dst[1] = static_cast<uint8_t>((3 * c0 + colSum(nearRow, farRow, 1) + 7) >> 4);
    int32_t k = triangle2Kernel(nearRow, farRow, dst, 1, n - 1);
    for (; k < n - 1; ++k) {
        int32_t c = colSum(nearRow, farRow, k);
        dst[2 * k] = static_cast<uint8_t>((3 * c + colSum(nearRow, farRow, k - 1) + 8) >> 4);
        dst[2 * k + 1] = static_cast<uint8_t>((3 * c + colSum(nearRow, farRow, k + 1) + 7) >> 4);
    }
    const int32_t cl = colSum(nearRow, farRow, n - 1);
    dst[2 * n - 2] = static_cast<uint8_t>((3 * cl + colSum(nearRow, farRow, n - 2) + 8) >> 4);
    dst[2 * n - 1] = static_cast<uint8_t>((4 * cl + 7) >> 4);
    return primNoErr;
}

int32_t upsampleH2V1Triangle(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,
                             PrimSize dstSize) {
    int32_t status = jpeg_sampling::checkRegion(src, srcStep, srcSize, dst, dstStep, dstSize);
    if (status != primNoErr) return status;
    const int32_t w = dstSize.width;
    const int32_t pairs = w / 2;
    for (int32_t i = 0; i < dstSize.height; ++i) {
        const uint8_t* s = src + static_cast<intptr_t>(i) * srcStep;
        uint8_t* d = dst + static_cast<intptr_t>(i) * dstStep;
        int32_t k = triangleKernel(s, d, 0, pairs);
        for (; k < pairs; ++k) {
            d[2 * k] = static_cast<uint8_t>((3 * s[k] + s[k - 1] + 1) >> 2);
            d[2 * k + 1] = static_cast<uint8_t>((3 * s[k] + s[k + 1] + 2) >> 2);
        }
        if (w & 1) d[w - 1] = static_cast<uint8_t>((3 * s[pairs] + s[pairs - 1] + 1) >> 2);
    }
    return primNoErr;
}
