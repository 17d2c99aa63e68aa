#include "emulator/FaultPlan.h"

#include <algorithm>

std::optional<Fault> FaultPlan::Next(char letter) {
  const uint32_t frame = ++frames_;
  const uint32_t occurrence = ++letters_[letter];
  const auto due = std::find_if(planned_.begin(), planned_.end(), [&](const Planned& planned) {
    return planned.trigger.letter == 0
               ? planned.trigger.occurrence == frame
               : planned.trigger.letter == letter && planned.trigger.occurrence == occurrence;
  });
  if (due == planned_.end()) {
    return std::nullopt;
  }
  const Fault fault = due->fault;
  planned_.erase(due);
  return fault;
}
