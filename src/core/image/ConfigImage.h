#pragma once

#include <array>
#include <cstdint>

// The station's configuration image: 512 bytes, byte 0 at station address 1280, a day half
// (0..255) and a night half (256..511).
inline constexpr int kImageSize = 512;
using ConfigImage = std::array<std::uint8_t, kImageSize>;
