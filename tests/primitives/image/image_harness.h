// Path comparison for the image arithmetic primitives: the generic path and
// every other path the processor runs start from the same bytes of one or
// more guarded images; statuses and every byte (region, gaps between rows and
// guards) must agree.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "support/path_harness.h"

namespace vqtest {

struct Layout {
    int rowBytes = 1, height = 1, align = 0, gap = 0;
    bool negative = false;
};

using ImageSet = std::vector<GuardedImage>;
using PathRun = std::function<int32_t(int path, ImageSet& images)>;
using ImageFill = std::function<void(int image, GuardedImage& g, std::mt19937& rng)>;

inline ImageSet makeImages(const std::vector<Layout>& layouts) {
    ImageSet set;
    for (const Layout& l : layouts)
        set.emplace_back(l.rowBytes, l.height, l.align, l.gap, l.negative);
    return set;
}

// Returns false at the first disagreement (after reporting it).
inline bool expectPathsMatch(const std::vector<Layout>& layouts, uint32_t seed, const PathRun& run,
                             const std::string& label, const ImageFill& fill = nullptr) {
    std::mt19937 rng(seed);
    ImageSet start = makeImages(layouts);
    for (size_t i = 0; i < start.size(); ++i) {
        if (fill)
            fill(static_cast<int>(i), start[i], rng);
        else
            start[i].fillRandom(rng);
    }
    ImageSet ref = makeImages(layouts);
    for (size_t i = 0; i < ref.size(); ++i)
        ref[i].copyAllFrom(start[i]);
    const int32_t refStatus = run(0, ref);
    for (size_t i = 0; i < ref.size(); ++i)
        if (!ref[i].guardsIntact()) {
            ADD_FAILURE() << label << ": generic path wrote outside image " << i;
            return false;
        }
    for (int path : supportedPaths()) {
        ImageSet got = makeImages(layouts);
        for (size_t i = 0; i < got.size(); ++i)
            got[i].copyAllFrom(start[i]);
        const int32_t status = run(path, got);
        if (status != refStatus) {
            ADD_FAILURE() << label << " on " << pathName(path) << ": status " << status << ", generic " << refStatus;
            return false;
        }
        for (size_t i = 0; i < got.size(); ++i)
            if (!got[i].sameAllAs(ref[i])) {
                ADD_FAILURE() << label << " on " << pathName(path) << ": image " << i << " differs from generic";
                return false;
            }
    }
    return true;
}

// Every width 1..maxWidth at every alignment 0..15 (of the first image; a
// second image gets another alignment), rows apart by a gap that varies.
template <class Each>
inline void forWidthsAndAlignments(int maxWidth, Each each) {
    for (int w = 1; w <= maxWidth; ++w)
        for (int a = 0; a < 16; ++a)
            each(w, a, (a * 7 + 3) % 16, (w + a) % 5);
}

} // namespace vqtest
