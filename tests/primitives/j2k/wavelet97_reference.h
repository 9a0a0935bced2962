// The textbook 9/7 analysis of a whole signal in double precision, with the
// filter's own constants (not the stored single-precision ones):
//   a(odd)  = x + alpha (x(n-1) + x(n+1))     b(even) = x + beta  (a(n-1) + a(n+1))
//   c(odd)  = a + gamma (b(n-1) + b(n+1))     d(even) = b + delta (c(n-1) + c(n+1))
//   low(even) = d / K,  high(odd) = K c.
// Values are computed only where all neighbours lie inside the signal:
// a at odd 1..N-2, b at even 2..N-3, c at odd 3..N-4, d at even 4..N-5.
#pragma once

#include <vector>

namespace j2ktest {

struct Analysis97 {
    std::vector<double> a, b, c, d, y;  // y: low at even, high at odd positions
};

inline Analysis97 textbookAnalysis97(const std::vector<float>& x) {
    const double alpha = -1.586134342059924, beta = -0.052980118572961, gamma = 0.882911075530934,
                 delta = 0.443506852043971, K = 1.230174104914001;
    const int n = static_cast<int>(x.size());
    Analysis97 r;
    r.a.assign(n, 0), r.b.assign(n, 0), r.c.assign(n, 0), r.d.assign(n, 0), r.y.assign(n, 0);
    for (int i = 1; i + 1 < n; i += 2)
        r.a[i] = x[i] + alpha * (double(x[i - 1]) + x[i + 1]);
    for (int i = 2; i + 2 < n; i += 2)
        r.b[i] = x[i] + beta * (r.a[i - 1] + r.a[i + 1]);
    for (int i = 3; i + 3 < n; i += 2)
        r.c[i] = r.a[i] + gamma * (r.b[i - 1] + r.b[i + 1]);
    for (int i = 4; i + 4 < n; i += 2)
        r.d[i] = r.b[i] + delta * (r.c[i - 1] + r.c[i + 1]);
    for (int i = 0; i < n; ++i)
        r.y[i] = i % 2 ? K * r.c[i] : r.d[i] / K;
    return r;
}

} // namespace j2ktest
