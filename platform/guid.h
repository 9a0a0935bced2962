// Globally unique identifiers (random, version 4) and COM apartment set-up,
// which has nothing to do on Linux.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vq::platform {

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};
};

// A new random GUID (version 4, variant 10xx).
Guid createGuid();
// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" in lower-case hexadecimal.
std::string guidToString(const Guid& guid);

// Apartment initialisation for a thread: nothing to do here; returns 0 (S_OK).
inline int32_t coInitializeApartment() { return 0; }
inline void coUninitializeApartment() {}

} // namespace vq::platform
