// Talks to an EmulatorDriver the way the PC does, in raw frames, on a fake
// clock: open and set the line up, write frames, collect what came back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "emulator/EmulatorDriver.h"
#include "pod/CsmKeys.h"
#include "tests/support/FakeClock.h"

// STX, the letter, the payload, ETX.
std::string Frame(char letter, std::string_view payload = {});
// `value` as `digits` upper-case hexadecimal digits.
std::string Hex(uint32_t value, int digits);
// The 32 digits of a key string.
std::string KeyDigits(const CsmKeys& keys);
// The reply that refuses a command.
inline const std::string kNakReply(1, PodFirmware::kNak);
// The POD's device, as the link opens it.
inline const PortKey kPodKey{PortKey::By::Description, "Brontaflex POD"};
// The line as the link sets it up: 921600 8N1, 200 ms time-outs.
inline constexpr PortSettings kPodLine{921600, 8, 1, Parity::None, false, 200, 200};

class WireHarness {
 public:
  explicit WireHarness(EmulatorConfig config = {});

  // Opens the POD and sets the line up as the link does.
  void Open();
  void Send(std::string_view bytes);
  // Every reply byte that has arrived by now.
  std::string Received();
  // Sends the frame and returns what came back at once.
  std::string Exchange(std::string_view frame) {
    Send(frame);
    return Received();
  }
  // Streams words as S frames, as many as given, in one write.
  void StreamWords(const std::vector<uint16_t>& values);
  // N, K without keys and O 00 for the board's device: ready to erase and program.
  void PrepareFlash();

  FakeClock clock;
  EmulatorDriver driver;
  std::unique_ptr<Port> port;
};
