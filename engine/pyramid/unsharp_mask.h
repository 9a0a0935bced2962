// Tile sharpening: the unsharp mask that resampling option 7 applies to the
// halved luma plane of YCbCr tiles. A symmetric integer Gaussian kernel
// blurs the plane (rows, then columns, edges replicated); the positive part
// of plane minus blur, times the amount, is added back, saturating:
//   Y' = min(255, Y + min(255, amount x max(0, Y - blur(Y))))
// with the amount in steps of 1/32.
#pragma once

#include <cstdint>

#include "engine/base/IntPair.h"
#include "engine/base/imageContainer.h"

class vq_unsharpMask {
public:
    // Radius at most 31: the Gaussian weights are worked out in a table of 32.
    static constexpr int32_t kMaxRadius = 31;

    vq_unsharpMask();

    // Integer taps from a Gaussian of the given sigma: the outermost taps 1,
    // the divisor their sum. Sigma 0.5 gives 1, 7, 1 over 9. A sigma that is
    // not positive gives the identity kernel (one tap of 1).
    void setGaussian(double sigma);
    // Sharpens an 8-bit one-channel container (formats 0, 6, 7, 8, 9) in
    // place over its visible size; any other container is left as it is.
    void apply(imageContainer* y);
    // Turns the sharp area into the amplified detail: max(0, sharp - blurred),
    // pixels below a non-zero threshold set to 0, times the amount (rounded to
    // 1/32, kept to its low 8 bits times 1/32) and saturated.
    static void makeDetail(uint8_t* sharp, const uint8_t* blurred, int32_t step, IntPair size, double amount,
                           int32_t threshold);

    double sigma = 0.0;
    int32_t tapCount = 0;
    int32_t radius = 0;
    int32_t taps[100] = {};
    int32_t divisor = 0;
    double amount = 4.0;
};
