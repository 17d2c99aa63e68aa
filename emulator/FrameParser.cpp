#include "emulator/FrameParser.h"

#include <algorithm>
#include <charconv>

std::optional<ReceivedBytes> FrameParser::Feed(char byte) {
  if (byte == kStx) {
    // A new frame always starts afresh, so one lost ETX costs one frame, not all
    // that follow.
    std::optional<ReceivedBytes> cut;
    if (inFrame_) {
      cut = ReceivedBytes{ReceivedBytes::Kind::Cut, std::move(frame_), overlong_};
    }
    inFrame_ = true;
    overlong_ = false;
    frame_.assign(1, kStx);
    return cut;
  }
  if (!inFrame_) {
    return ReceivedBytes{ReceivedBytes::Kind::Junk, std::string(1, byte)};
  }
  if (byte == kEtx) {
    frame_.push_back(kEtx);
    ReceivedBytes done{ReceivedBytes::Kind::Frame, std::move(frame_), overlong_};
    Reset();
    return done;
  }
  if (frame_.size() < kMaxFrameBytes) {
    frame_.push_back(byte);
  } else {
    overlong_ = true;
  }
  return std::nullopt;
}

void FrameParser::Reset() {
  inFrame_ = false;
  overlong_ = false;
  frame_.clear();
}

bool IsUpperHex(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

uint32_t FrameFields::Take(size_t digits) {
  const std::string_view field = rest_.substr(0, digits);
  rest_.remove_prefix(field.size());
  uint32_t value = 0;
  std::from_chars(field.data(), field.data() + field.size(), value, 16);
  return value;
}
