// The 9/7 lifting constants of the inverse transform, once as single-precision
// values (bit patterns fixed so every build rounds alike) and once in Q16 for
// the 16-bit fixed-point path. The doubled forms serve a sample with a single
// neighbour at a row or column end (the mirrored pair sum is twice it).
#pragma once

#include <bit>
#include <cstdint>

namespace lift97 {

inline constexpr float K = std::bit_cast<float>(0x3F9D7658u);           // 1.23017406
inline constexpr float invK = std::bit_cast<float>(0x3F5019C3u);        // 0.812893093
inline constexpr float deltaK = std::bit_cast<float>(0x3EB8968Eu);      // delta / K  0.360523641
inline constexpr float deltaK2 = std::bit_cast<float>(0x3F38968Eu);     // 2 delta / K
inline constexpr float gamma = std::bit_cast<float>(0x3F620676u);       // 0.882911086
inline constexpr float gamma2 = std::bit_cast<float>(0x3FE20676u);
inline constexpr float beta = std::bit_cast<float>(0xBD5901AEu);        // -0.0529801175
inline constexpr float beta2 = std::bit_cast<float>(0xBDD901AEu);
inline constexpr float alpha = std::bit_cast<float>(0xBFCB0673u);       // -1.58613431
inline constexpr float alpha2 = std::bit_cast<float>(0xC04B0673u);
inline constexpr float c3e = std::bit_cast<float>(0xBDEBB2C3u);         // 0.5 - K / 2 (three samples, even start)
inline constexpr float c3o = std::bit_cast<float>(0xBE203385u);         // 0.25 - 1 / (2K) (three samples, odd start)

namespace q16 {
inline constexpr int32_t K = 80621;
inline constexpr int32_t invK = 53274;
inline constexpr int32_t deltaK = 23627;
inline constexpr int32_t deltaK2 = 47255;
inline constexpr int32_t gamma = 57862;
inline constexpr int32_t gamma2 = 115725;
inline constexpr int32_t beta = -3472;
inline constexpr int32_t beta2 = -6944;
inline constexpr int32_t alpha = -103949;
inline constexpr int32_t alpha2 = -207898;
inline constexpr int32_t c3e = -7542;
inline constexpr int32_t c3o = -10253;
inline constexpr int32_t half = 32768;
inline constexpr int32_t quarter = 16384;
} // namespace q16

} // namespace lift97
