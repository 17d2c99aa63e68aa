// The bytes a test double of a port has on their way to the PC, each with the
// tick at which it reaches the receive queue. They arrive in order: a byte
// never overtakes the one before it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>

#include "pod/Clock.h"

class ArrivingBytes {
 public:
  void Push(uint8_t byte, uint32_t arrivesAt) { bytes_.push_back({byte, arrivesAt}); }
  // How many have reached the receive queue by `now`.
  uint32_t ArrivedBy(uint32_t now) const {
    const auto pending = std::find_if(bytes_.begin(), bytes_.end(), [now](const Byte& byte) {
      return !TickReached(now, byte.arrivesAt);
    });
    return static_cast<uint32_t>(pending - bytes_.begin());
  }
  bool empty() const { return bytes_.empty(); }
  size_t size() const { return bytes_.size(); }
  uint32_t FirstArrival() const { return bytes_.front().arrivesAt; }
  uint32_t LastArrival() const { return bytes_.back().arrivesAt; }
  uint8_t Take() {
    const uint8_t byte = bytes_.front().value;
    bytes_.pop_front();
    return byte;
  }
  // Discards what has arrived by `now`; what is still on its way comes later.
  void DropArrived(uint32_t now) { bytes_.erase(bytes_.begin(), bytes_.begin() + ArrivedBy(now)); }
  void Clear() { bytes_.clear(); }

 private:
  struct Byte {
    uint8_t value;
    uint32_t arrivesAt;
  };
  std::deque<Byte> bytes_;
};
