#include "readers/plain/pixel_rows.h"

#include <cstring>

namespace vq_pixel_rows {

namespace {

bool isColour(int format) {
    return format == 1 || format == 2 || format == 4 || format == 5;
}

// Formats 1 and 2 store blue first.
bool isBlueFirst(int format) {
    return format == 1 || format == 2;
}

} // namespace

int bytesPerPixel(int format) {
    switch (format) {
    case 6: return 1;
    case 1: case 4: return 3;
    case 2: case 5: return 4;
    default: return 0;
    }
}

bool canConvert(int from, int to) {
    if (bytesPerPixel(from) == 0 || bytesPerPixel(to) == 0)
        return false;
    return from == to || (isColour(from) && isColour(to));
}

bool convertRow(const uint8_t* src, int from, uint8_t* dst, int to, int width) {
    if (!canConvert(from, to))
        return false;
    const int inBytes = bytesPerPixel(from);
    if (from == to) {
        std::memmove(dst, src, size_t(width) * size_t(inBytes));
        return true;
    }
    const int outBytes = bytesPerPixel(to);
    const bool swap = isBlueFirst(from) != isBlueFirst(to);
    const int first = swap ? 2 : 0;
    const int last = swap ? 0 : 2;
    for (int i = 0; i < width; ++i, src += inBytes, dst += outBytes) {
        const uint8_t c0 = src[first], c1 = src[1], c2 = src[last];
        const uint8_t a = inBytes == 4 ? src[3] : 255;
        dst[0] = c0;
        dst[1] = c1;
        dst[2] = c2;
        if (outBytes == 4)
            dst[3] = a;
    }
    return true;
}

void composeOverWhite(const uint8_t* rgba, uint8_t* rgb, int width) {
    for (int i = 0; i < width; ++i, rgba += 4, rgb += 3) {
        const unsigned a = rgba[3];
        if (a == 0) {
            rgb[0] = rgb[1] = rgb[2] = 255;
        } else if (a == 255) {
            rgb[0] = rgba[0];
            rgb[1] = rgba[1];
            rgb[2] = rgba[2];
        } else {
            for (int c = 0; c < 3; ++c)
                rgb[c] = uint8_t((rgba[c] * a + 255u * (255u - a)) / 255u);
        }
    }
}

} // namespace vq_pixel_rows
