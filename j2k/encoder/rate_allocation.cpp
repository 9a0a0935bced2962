// Rate allocation over the encoder's packet structure.
#include "j2k/encoder/rate_allocation.h"

#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <vector>

#include "j2k/encoder/codeblock_stage.h"
#include "j2k/encoder/packet_writer.h"

namespace {

// Synthesis filters, centre tap first (symmetric).
const double kG0_53[] = {1.0, 0.5};
const double kG1_53[] = {0.75, -0.25, -0.125};
const double kG0_97[] = {1.115087052456994, 0.5912717631142470, -0.05754352622849957, -0.09127176311424948};
const double kG1_97[] = {0.6029490182363579, -0.2668641184428723, -0.07822326652898785, 0.01686411844287495,
                         0.02674875741080976};

std::vector<double> Expand(const double* half, size_t n) {
    std::vector<double> f(2 * n - 1);
    for (size_t k = 0; k < n; ++k)
        f[n - 1 + k] = f[n - 1 - k] = half[k];
    return f;
}

// g0 convolved with f upsampled by 2.
std::vector<double> NextLevel(const std::vector<double>& g0, const std::vector<double>& f) {
    std::vector<double> out(g0.size() + 2 * (f.size() - 1), 0.0);
    for (size_t i = 0; i < f.size(); ++i)
        for (size_t j = 0; j < g0.size(); ++j)
            out[2 * i + j] += f[i] * g0[j];
    return out;
}

double Energy(const std::vector<double>& f) {
    double e = 0;
    for (double v : f)
        e += v * v;
    return e;
}

// Filters grow as 2^n; past this level each further level scales the
// energies by the ratio of the last two levels.
constexpr uint32_t kExactLevels = 16;

struct WeightTables {
    double ll[33], hl[33], hh[33];

    WeightTables(const double* g0h, size_t n0, const double* g1h, size_t n1) {
        const std::vector<double> g0 = Expand(g0h, n0), g1 = Expand(g1h, n1);
        ll[0] = 1.0;
        hl[0] = hh[0] = 0.0;
        std::vector<double> phi = g0, psi = g1;
        double ePhi = Energy(phi), ePsi = Energy(psi), rPhi = 1, rPsi = 1;
        for (uint32_t n = 1; n <= 32; ++n) {
            if (n > 1 && n <= kExactLevels) {
                phi = NextLevel(g0, phi);
                psi = NextLevel(g0, psi);
                const double p = Energy(phi), s = Energy(psi);
                rPhi = p / ePhi;
                rPsi = s / ePsi;
                ePhi = p;
                ePsi = s;
            } else if (n > kExactLevels) {
                ePhi *= rPhi;
                ePsi *= rPsi;
            }
            ll[n] = ePhi * ePhi;
            hl[n] = ePhi * ePsi;
            hh[n] = ePsi * ePsi;
        }
    }
};

const WeightTables& Tables(bool reversible) {
    static const WeightTables w53(kG0_53, 2, kG1_53, 3);
    static const WeightTables w97(kG0_97, 4, kG1_97, 5);
    return reversible ? w53 : w97;
}

void ScaleBand(EncoderBand& band, double w) {
    for (EncoderPrecinct& p : band.precincts)
        for (EncoderCodeBlock& cb : p.blocks)
            for (CodingPass& pass : cb.passes)
                pass.distortion *= w;
}

void WeightBands(EncoderTile& tile, bool reversible) {
    for (EncoderComponent& c : tile.components) {
        const uint32_t nl = static_cast<uint32_t>(c.resolutions.size());
        ScaleBand(c.ll, bandWeight(reversible, BandKind::LL, nl));
        for (uint32_t i = 0; i < nl; ++i) {
            ScaleBand(c.resolutions[i].hl, bandWeight(reversible, BandKind::HLorLH, i + 1));
            ScaleBand(c.resolutions[i].lh, bandWeight(reversible, BandKind::HLorLH, i + 1));
            ScaleBand(c.resolutions[i].hh, bandWeight(reversible, BandKind::HH, i + 1));
        }
    }
}

void WeightComponents(EncoderTile& tile, const double (&w)[3]) {
    for (uint32_t c = 0; c < tile.components.size() && c < 3; ++c) {
        EncoderComponent& k = tile.components[c];
        ScaleBand(k.ll, w[c]);
        for (EncoderResolution& r : k.resolutions) {
            ScaleBand(r.hl, w[c]);
            ScaleBand(r.lh, w[c]);
            ScaleBand(r.hh, w[c]);
        }
    }
}

template <class F>
void ForEachPrecinct(EncoderTile& tile, F&& f) {
    for (EncoderComponent& c : tile.components) {
        for (EncoderPrecinct& p : c.ll.precincts)
            f(p);
        for (EncoderResolution& r : c.resolutions)
            for (EncoderBand* b : {&r.hl, &r.lh, &r.hh})
                for (EncoderPrecinct& p : b->precincts)
                    f(p);
    }
}

template <class F>
void ForEachBlock(EncoderTile& tile, F&& f) {
    ForEachPrecinct(tile, [&f](EncoderPrecinct& p) {
        for (EncoderCodeBlock& cb : p.blocks)
            f(cb);
    });
}

void SaveState(EncoderTile& tile) {
    ForEachPrecinct(tile, [](EncoderPrecinct& p) {
        p.savedInclusion = p.inclusion;
        p.savedZeroPlanes = p.zeroPlanes;
        for (EncoderCodeBlock& cb : p.blocks) {
            cb.savedNextPass = cb.nextPass;
            cb.savedLblock = cb.lblock;
            cb.savedFirstInclusion = cb.firstInclusion;
        }
    });
}

void RestoreState(EncoderTile& tile) {
    ForEachPrecinct(tile, [](EncoderPrecinct& p) {
        p.inclusion = p.savedInclusion;
        p.zeroPlanes = p.savedZeroPlanes;
        for (EncoderCodeBlock& cb : p.blocks) {
            cb.nextPass = cb.savedNextPass;
            cb.lblock = cb.savedLblock;
            cb.firstInclusion = cb.savedFirstInclusion;
        }
    });
}

void AssignAtThreshold(EncoderTile& tile, int32_t layer, double t) {
    ForEachBlock(tile, [layer, t](EncoderCodeBlock& cb) {
        const uint32_t n = static_cast<uint32_t>(cb.passes.size());
        uint32_t end = cb.nextPass;  // one past the last pass taken
        for (uint32_t k = cb.nextPass; k < n; ++k)
            if (cb.passes[k].slope >= t)
                end = k + 1;
        for (uint32_t k = cb.nextPass; k < n; ++k)
            cb.passes[k].layer = k < end ? layer : -1;
    });
}

void AssignNoPass(EncoderTile& tile, int32_t layer) {
    ForEachBlock(tile, [layer](EncoderCodeBlock& cb) {
        for (uint32_t k = 0; k < cb.passes.size(); ++k)
            cb.passes[k].layer = k < cb.nextPass ? layer : -1;
    });
}

uint32_t LayerBytes(EncoderTile& tile, int32_t layer) {
    ByteCounter counter;
    const uint32_t n = static_cast<uint32_t>(tile.components.size());
    for (uint32_t c = 0; c < n; ++c)
        for (uint32_t r = 0; r < tile.resolutionCount(c); ++r) {
            const EncoderComponent& k = tile.components[c];
            const uint32_t precincts =
                r == 0 ? static_cast<uint32_t>(k.ll.precincts.size())
                       : k.resolutions[k.resolutions.size() - r].precinctCount;
            for (uint32_t p = 0; p < precincts; ++p)
                writePacket(tile, c, r, p, layer, counter);
        }
    return counter.Count();
}

} // namespace

double bandWeight(bool reversible, BandKind kind, uint32_t n) {
    const WeightTables& w = Tables(reversible);
    n = std::min<uint32_t>(n, 32);
    return kind == BandKind::LL ? w.ll[n] : kind == BandKind::HH ? w.hh[n] : w.hl[n];
}

void weightBands53(EncoderTile& tile) { WeightBands(tile, true); }
void weightBands97(EncoderTile& tile) { WeightBands(tile, false); }

void weightComponentsRct(EncoderTile& tile) {
    static const double w[3] = {3.0, 0.6875, 0.6875};
    WeightComponents(tile, w);
}
void weightComponentsIct(EncoderTile& tile) {
    static const double w[3] = {3.0, 3.2584, 2.4755};
    WeightComponents(tile, w);
}

void computePassSlopes(EncoderCodeBlock& cb) {
    std::vector<CodingPass>& p = cb.passes;
    const size_t n = p.size();
    for (CodingPass& pass : p)
        pass.slope = -1.0;
    size_t start = 0;
    while (start < n) {
        bool restart = false;
        ptrdiff_t last = -1;
        for (size_t x = 0; x < n; ++x) {
            const double dD = p[x].distortion - (last < 0 ? 0.0 : p[size_t(last)].distortion);
            const double dR = double(p[x].end) - (last < 0 ? 0.0 : double(p[size_t(last)].end));
            if (dD <= 0) {
                p[x].slope = -1.0;
            } else if (x == start || p[x].slope > 0) {
                if (dR == 0) {
                    if (last >= 0) {
                        p[size_t(last)].slope = 0.0;
                        restart = true;
                        break;
                    }
                    // No length yet and no earlier hull point: not a
                    // truncation point of its own; the next hull pass,
                    // measured from the origin, takes its gain along.
                    p[x].slope = 0.0;
                } else {
                    const double sigma = dD / dR;
                    if (last >= 0 && p[size_t(last)].slope <= sigma) {
                        p[size_t(last)].slope = 0.0;
                        restart = true;
                        break;
                    }
                    last = ptrdiff_t(x);
                    p[x].slope = sigma;
                }
            }
            if (x == start)
                ++start;
        }
        (void)restart;
    }
}

void allocateRate(EncoderTile& tile, const uint32_t* budgets, uint32_t layerCount) {
    ForEachBlock(tile, [](EncoderCodeBlock& cb) { computePassSlopes(cb); });
    double lo = DBL_MAX, hi = 0.0;
    ForEachBlock(tile, [&](EncoderCodeBlock& cb) {
        for (const CodingPass& pass : cb.passes)
            if (pass.slope > 0) {
                lo = std::min(lo, pass.slope);
                hi = std::max(hi, pass.slope);
            }
    });
    for (uint32_t layer = 0; layer < layerCount; ++layer) {
        const uint32_t budget = budgets[layer];
        const int32_t l = static_cast<int32_t>(layer);
        if (budget == 2147483647u) {
            AssignAtThreshold(tile, l, -1.0);
            continue;
        }
        double a = lo, b = hi, best = 0.0;
        bool found = false;
        for (int trial = 0; trial < 32; ++trial) {
            const double t = (a + b) / 2;
            SaveState(tile);
            AssignAtThreshold(tile, l, t);
            const uint32_t size = LayerBytes(tile, l);
            if (size > budget) {
                a = t;
            } else {
                b = t;
                if (!found || t < best)
                    best = t;
                found = true;
            }
            RestoreState(tile);
            if (b - a < 0.001)
                break;
        }
        if (found)
            AssignAtThreshold(tile, l, best);
        else
            AssignNoPass(tile, l);
    }
}
