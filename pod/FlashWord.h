// Flash data words travel to the POD with their two bytes exchanged (0x1234
// goes as the digits 3412), both to the target's flash and to the POD's store.
#pragma once

#include <cstdint>

inline constexpr uint16_t FlashWireWord(uint16_t word) {
  return static_cast<uint16_t>((word << 8) | (word >> 8));
}
