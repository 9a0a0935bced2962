// Scalar arithmetic shared by the generic forms and the scalar ends of the
// processor-path forms of the JPEG 2000 transforms: wrapping 32-bit sums,
// 16-bit wrap and saturation, the 9/7 lifting constants, and the 16-bit
// fixed-point lifting steps. Everything here is inline and header-only so
// that each path compiles its own copy with its own instruction set (the
// unnamed namespace keeps every translation unit's copy its own).
#pragma once

#include <bit>
#include <cstdint>

namespace j2k_rules {
namespace {

// 32-bit two's-complement sums and differences that wrap instead of
// overflowing (signed overflow is undefined in C++).
inline int32_t add32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
inline int32_t sub32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }

// Low 16 bits of v read as a signed number.
inline int16_t wrap16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(v))); }
// v clamped to -32768..32767.
inline int16_t sat16(int64_t v) { return static_cast<int16_t>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v)); }

// 9/7 lifting constants as stored single-precision values.
namespace c97 {
inline constexpr float alpha = std::bit_cast<float>(0xBFCB0673u);  // -1.5861343
inline constexpr float beta = std::bit_cast<float>(0xBD5901AEu);   // -0.052980117
inline constexpr float gamma = std::bit_cast<float>(0x3F620676u);  // 0.88291109
inline constexpr float delta = 0.44350687f;
inline constexpr float k = std::bit_cast<float>(0x3F9D7658u);      // 1.2301741
inline constexpr float invK = std::bit_cast<float>(0x3F5019C3u);   // 0.81289309, its own constant
inline constexpr float deltaOverK = std::bit_cast<float>(0x3EB8968Eu);  // 0.36052364
} // namespace c97

// The 16-bit fixed-point synthesis steps, constants in units of 1/65536, exact
// sums and 64-bit products, one rounding (add one half, floor) per formula and
// a saturated 16-bit result. The rows and the column window use the same four:
//   step 1: even value from a low-pass sample and its two high-pass neighbours;
//   step 2: odd value from a high-pass sample and its two step-1 neighbours;
//   step 3: even value updated by its two step-2 neighbours;
//   step 4: odd value updated by its two step-3 neighbours.
// Steps 3 and 4 round the product of the negative constant and subtract it.
namespace fix97 {
inline int64_t floor16(int64_t v) { return v >> 16; }
inline int16_t step1(int32_t low, int32_t p, int32_t q) { return sat16(floor16(80621LL * low - 23627LL * (p + q) + 32768)); }
inline int16_t step2(int32_t high, int32_t p, int32_t q) { return sat16(floor16(53274LL * high - 57862LL * (p + q) + 32768)); }
inline int16_t step3(int32_t even, int32_t p, int32_t q) { return sat16(even - floor16(-3472LL * (p + q) + 32768)); }
inline int16_t step4(int32_t odd, int32_t p, int32_t q) { return sat16(odd - floor16(-103949LL * (p + q) + 32768)); }
} // namespace fix97

} // namespace
} // namespace j2k_rules
