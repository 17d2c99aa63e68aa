// Assembles POD frames (STX, letter, payload, ETX) from the received byte
// stream, and reads the fixed-width hexadecimal fields of their payload.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr char kStx = 0x02;
inline constexpr char kEtx = 0x03;

struct ReceivedBytes {
  enum class Kind {
    Frame,  // STX .. ETX, well formed or not
    Cut,    // a frame broken off by the STX of the next one
    Junk,   // one byte outside any frame
  };
  Kind kind;
  std::string bytes;
  // The frame ran past kMaxFrameBytes; only its first bytes and the ETX are kept.
  bool overlong = false;
};

class FrameParser {
 public:
  // The longest frame of the protocol has 36 bytes; nothing longer is buffered.
  static constexpr size_t kMaxFrameBytes = 64;

  // Takes the next byte; returns what it completed, if anything.
  std::optional<ReceivedBytes> Feed(char byte);
  // Forgets a partly received frame (the POD was powered off).
  void Reset();

 private:
  bool inFrame_ = false;
  bool overlong_ = false;
  std::string frame_;
};

// True when `text` is all digits and upper-case letters A to F.
bool IsUpperHex(std::string_view text);

// Reads the payload's fields one after the other; the payload has been checked
// to be upper-case hexadecimal of the right length.
class FrameFields {
 public:
  explicit FrameFields(std::string_view payload) : rest_(payload) {}
  uint32_t Take(size_t digits);

 private:
  std::string_view rest_;
};
