// Whole-decoder tests on lossless code-streams made by opj_compress from
// images the test writes: the decoded samples must equal the source exactly,
// over the coding options that change how packets, tile-parts and code-block
// segments are laid out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "j2k/decode_harness.h"
#include "j2k/j2k_fixtures.h"
#include "support/test_env.h"

namespace {

using namespace j2ktest;

std::vector<LosslessCase> SingleResolutionCases() {
    std::vector<LosslessCase> v;
    // Depths and signedness, one and three components (no colour transform).
    for (int comps : {1, 3})
        for (int bits : {8, 12, 16})
            for (bool s : {false, true})
                v.push_back({comps, bits, s, 23, 19, comps == 3 ? "-n 1 -mct 0" : "-n 1"});
    // Code-block and precinct partitions, layers, markers, tiles, tile-parts,
    // length markers.
    for (const char* o : {"-n 1 -b 4,4", "-n 1 -b 8,32", "-n 1 -b 16,16 -c [8,8]", "-n 1 -r 8,4,1",
                          "-n 1 -r 8,4,2,1 -b 4,8 -c [16,16]", "-n 1 -SOP", "-n 1 -EPH", "-n 1 -SOP -EPH -r 4,1",
                          "-n 1 -SOP -EPH -b 4,4 -c [8,8] -r 6,3,1", "-n 1 -t 16,16", "-n 1 -t 9,7 -r 3,1",
                          "-n 1 -t 16,8 -PLT -TLM", "-n 1 -r 4,2,1 -TP L", "-n 1 -mct 0 -TP C",
                          "-n 1 -mct 0 -t 11,9 -TP C -SOP -EPH -PLT"})
        v.push_back({std::string(o).find("mct") != std::string::npos ? 3 : 1, 8, false, 37, 29, o});
    // Every progression order over layers, precincts and components.
    for (const char* p : {"LRCP", "RLCP", "RPCL", "PCRL", "CPRL"})
        v.push_back({3, 8, false, 37, 29, std::string("-n 1 -mct 0 -r 6,3,1 -b 4,4 -c [8,8] -p ") + p});
    // Every mode switch combination, over three layers: segments terminated
    // per pass, bypass boundaries across layers, one segment over all layers.
    for (int m = 1; m <= 63; ++m)
        v.push_back({1, 12, false, 24, 20, "-n 1 -r 5,2,1 -b 8,8 -M " + std::to_string(m)});
    return v;
}

class DecodeSingleResolution : public ::testing::TestWithParam<LosslessCase> {};

TEST_P(DecodeSingleResolution, EqualsSource) {
    ExpectLossless(GetParam(), TestDir(), DecodeLowBands);
}

INSTANTIATE_TEST_SUITE_P(Streams, DecodeSingleResolution, ::testing::ValuesIn(SingleResolutionCases()));

} // namespace
