#include "platform/guid.h"

#include <cstdio>
#include <random>
#include <sys/random.h>

namespace vq::platform {

Guid createGuid() {
    uint8_t b[16];
    if (::getrandom(b, sizeof b, 0) != static_cast<ssize_t>(sizeof b)) {
        std::random_device rd;
        for (auto& x : b)
            x = static_cast<uint8_t>(rd());
    }
    b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
    b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);  // variant 10xx
    Guid g;
    g.data1 = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    g.data2 = static_cast<uint16_t>((b[4] << 8) | b[5]);
    g.data3 = static_cast<uint16_t>((b[6] << 8) | b[7]);
    for (int i = 0; i < 8; ++i)
        g.data4[i] = b[8 + i];
    return g;
}

std::string guidToString(const Guid& g) {
    char s[40];
    std::snprintf(s, sizeof s, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", g.data1, g.data2, g.data3,
                  g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return s;
}

} // namespace vq::platform
