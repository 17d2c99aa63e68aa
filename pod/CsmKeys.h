// The Code Security Module password: KEY0..KEY7 as the target keeps them at
// 0x3F7FF8..0x3F7FFF. 0xFFFF is the erased word, the value of an unsecured part.
#pragma once

#include <array>
#include <cstdint>

using CsmKeys = std::array<uint16_t, 8>;

inline constexpr CsmKeys kErasedCsmKeys{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
                                        0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
