// The four cubic filters of the square-pixel resize as polynomials of the
// tap distance a (0 <= a): one piece for a < 1, one for 1 <= a < 2, zero
// beyond. Evaluated in double precision in the order written; every path's
// weight generator uses these, so only the distances they are given differ.
//
// Internal linkage on purpose: every translation unit (generic or path) keeps
// its own copy, compiled with its own instruction set.
#pragma once

namespace prim::resample {
namespace {

// Four-point Lagrange interpolation.
inline double cubicLagrange(double a) {
    const double a2 = a * a, a3 = a * a2;
    return a < 1.0 ? 0.5 * (a3 - a) + (1.0 - a2) : ((-0.16666666666666666 * a2) - 1.8333333333333333) * a + (a2 + 1.0);
}

// Cubic B-spline (B = 1, C = 0).
inline double cubicBSpline(double a) {
    const double a2 = a * a, a3 = a * a2;
    return a < 1.0 ? ((a3 * 0.5) + 0.6666666666666666) - a2
                   : ((((a3 * -0.16666666666666666) + 1.3333333333333333) + a2) - a) - a;
}

// Catmull-Rom (B = 0, C = 0.5).
inline double cubicCatmullRom(double a) {
    const double a2 = a * a;
    return a < 1.0 ? ((a * 1.5) - 2.5) * a2 + 1.0 : ((-0.5 * a) + 2.5) * a2 + (2.0 - (a * 4.0));
}

// B = 0.5, C = 0.3.
inline double cubicB05C03(double a) {
    const double a2 = a * a;
    return a < 1.0 ? ((a * 0.95) - 1.7) * a2 + 0.8333333333333334
                   : ((-0.38333333333333336 * a) + 2.0) * a2 + (1.8666666666666667 - (a * 3.4));
}

} // namespace
} // namespace prim::resample
