#include <gtest/gtest.h>

#include "readers/plain/pixel_rows.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Two pixels in every layout: blue first for 1 and 2, red first for 4 and 5.
Bytes pixelsAs(int format) {
    switch (format) {
    case 1: return {3, 2, 1, 30, 20, 10};
    case 2: return {3, 2, 1, 9, 30, 20, 10, 90};
    case 4: return {1, 2, 3, 10, 20, 30};
    case 5: return {1, 2, 3, 9, 10, 20, 30, 90};
    default: return {};
    }
}

TEST(PixelRows, EveryColourPairReordersAndKeepsOrAddsAlpha) {
    for (int from : {1, 2, 4, 5}) {
        for (int to : {1, 2, 4, 5}) {
            Bytes expected = pixelsAs(to);
            // Without a fourth byte in the source the target's is opaque.
            if ((from == 1 || from == 4) && (to == 2 || to == 5))
                expected[3] = expected[7] = 255;
            Bytes out(expected.size(), 0xEE);
            EXPECT_TRUE(vq_pixel_rows::convertRow(pixelsAs(from).data(), from, out.data(), to, 2));
            EXPECT_EQ(out, expected) << from << " -> " << to;
        }
    }
}

TEST(PixelRows, GreyOnlyCopiesAndOtherFormatsAreRefused) {
    const Bytes grey = {7, 8, 9};
    Bytes out(3, 0);
    EXPECT_TRUE(vq_pixel_rows::convertRow(grey.data(), 6, out.data(), 6, 3));
    EXPECT_EQ(out, grey);
    Bytes untouched(12, 0xEE);
    for (auto [from, to] : {std::pair{6, 4}, {4, 6}, {3, 4}, {4, 3}, {11, 6}}) {
        EXPECT_FALSE(vq_pixel_rows::convertRow(grey.data(), from, untouched.data(), to, 1));
        EXPECT_EQ(untouched, Bytes(12, 0xEE));
    }
}

TEST(PixelRows, ComposeOverWhite) {
    const Bytes rgba = {200, 100, 0, 128, 10, 20, 30, 0, 10, 20, 30, 255, 0, 0, 0, 1};
    Bytes rgb(12, 0);
    vq_pixel_rows::composeOverWhite(rgba.data(), rgb.data(), 4);
    EXPECT_EQ(rgb, (Bytes{227, 177, 127, 255, 255, 255, 10, 20, 30, 254, 254, 254}));
}

} // namespace
