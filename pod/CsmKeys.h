// The Code Security Module password: KEY0..KEY7 as the target keeps them at
// 0x3F7FF8..0x3F7FFF. 0xFFFF is the erased word, the value of an unsecured part.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

using CsmKeys = std::array<uint16_t, 8>;

inline constexpr CsmKeys kErasedCsmKeys{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
                                        0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};

// The frame that asks the POD for the password it stores: its reply is the
// acceptance byte followed by the key bytes.
inline constexpr char kPasswordQueryFrame = 'g';

// `reply` to the frame `frame` as it may be kept or shown anywhere: the key
// bytes of a password reply, whatever came in their place, as '*'.
inline std::string WithKeysMasked(char frame, std::string reply) {
  if (frame == kPasswordQueryFrame && reply.size() > 1) {
    std::fill(reply.begin() + 1, reply.end(), '*');
  }
  return reply;
}
