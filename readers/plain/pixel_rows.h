// Row-level pixel conversions shared by the plain image readers and the
// bitmap writer: reordering B,G,R and R,G,B pixels, dropping or adding a
// fourth byte, and composing RGBA over white.
#pragma once

#include <cstdint>

namespace vq_pixel_rows {

// Bytes per pixel of the 8-bit interleaved formats the plain readers handle
// (1, 2, 4, 5, 6); 0 for any other format.
int bytesPerPixel(int format);

// Whether convertRow can turn `from` pixels into `to` pixels.
bool canConvert(int from, int to);

// Writes `width` pixels of format `from` as format `to`. Formats 1 and 2 hold
// B, G, R (and a fourth byte), 4 and 5 hold R, G, B (and A). A fourth byte is
// kept when both formats have one, dropped when the target has none and set
// to 255 when the source has none. Equal formats copy. Returns false, writing
// nothing, for pairs outside 1, 2, 4, 5 (or unequal pairs with 6).
bool convertRow(const uint8_t* src, int from, uint8_t* dst, int to, int width);

// RGBA pixels to RGB over a white background: alpha 0 gives white, 255 keeps
// the colour, anything between blends each channel as
// (c * a + 255 * (255 - a)) / 255.
void composeOverWhite(const uint8_t* rgba, uint8_t* rgb, int width);

} // namespace vq_pixel_rows
