// Post-compression rate allocation of the encoder: pass distortions weighted
// by the energy gain of their band and component, convex-hull slopes per
// code-block, and a bisected slope threshold that makes the packets of a
// layer fit a byte budget, measured by writing them into a byte counter.
#pragma once

#include <cstdint>

class EncoderTile;
struct EncoderCodeBlock;

enum class BandKind : uint32_t { LL = 0, HLorLH = 1, HH = 2 };

// Energy gain of one coefficient of a band at decomposition level n (0..32)
// for the 5/3 (reversible) or the 9/7 synthesis filters.
double bandWeight(bool reversible, BandKind kind, uint32_t n);

// Multiply every pass distortion by its band's weight.
void weightBands53(EncoderTile& tile);
void weightBands97(EncoderTile& tile);
// Multiply the pass distortions of components 0, 1, 2 by the weights of the
// reversible or irreversible component transform.
void weightComponentsRct(EncoderTile& tile);
void weightComponentsIct(EncoderTile& tile);

// Convex-hull slopes of the passes of one code-block: slope > 0 marks the
// truncation points, with strictly decreasing slopes; 0 or -1 the others.
void computePassSlopes(EncoderCodeBlock& cb);

// Assigns layers 0 .. layerCount - 1, layer p under budgets[p] bytes of
// packets; 2147483647 takes every remaining pass.
void allocateRate(EncoderTile& tile, const uint32_t* budgets, uint32_t layerCount);
