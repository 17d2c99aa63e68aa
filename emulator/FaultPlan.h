// Faults to play on the wire: a frame the POD ignores, a wrong or short reply,
// a stall, or the POD unplugged, each planned for the Nth frame overall or the
// Nth frame of one letter, and each played once.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

enum class FaultKind {
  NoReply,         // the frame is lost: not carried out, no reply
  WrongFirstByte,  // carried out, but the reply starts with another byte; a command
                   // without reply sends that one byte
  ShortReply,      // carried out, the reply's last byte is lost
  Stall,           // carried out after stallMs, and every later frame waits behind it
  Unplug,          // the POD disappears before it reads the frame
};

struct Fault {
  FaultKind kind = FaultKind::NoReply;
  uint32_t stallMs = 0;
  char wrongByte = 'E';
};

// Frames are counted from 1 since the emulator was made, every frame that began
// with STX included, well formed or not.
struct FaultTrigger {
  char letter = 0;  // 0: count every frame
  uint32_t occurrence = 1;

  static FaultTrigger AtFrame(uint32_t number) { return {0, number}; }
  static FaultTrigger OnLetter(char letter, uint32_t occurrence = 1) {
    return {letter, occurrence};
  }
};

class FaultPlan {
 public:
  void Add(FaultTrigger trigger, Fault fault) { planned_.push_back({trigger, fault}); }
  void Clear() { planned_.clear(); }
  // Counts one more frame with `letter` and hands out the fault planned for it.
  std::optional<Fault> Next(char letter);

 private:
  struct Planned {
    FaultTrigger trigger;
    Fault fault;
  };
  uint32_t frames_ = 0;
  std::map<char, uint32_t> letters_;
  std::vector<Planned> planned_;
};
