// Why the last command to the POD failed: what the link saw where the failure
// happened (kind, driver status, bytes, time) and what the procedure was doing.
// It rides beside the result code, so a failure can say more than its message.
#pragma once

#include <cstdint>
#include <string>

#include "pod/PortDriver.h"

enum class FailureKind : uint8_t {
  None,
  TimeOut,        // the reply did not come, or the write did not leave, in time
  WrongReply,     // bytes came back, but not the acceptance
  ShortReply,     // the reply stopped before its last byte
  WriteCutShort,  // the driver took fewer bytes than it was given
  PortGone,       // no open port, or the driver lost the device
  DriverStatus,   // the driver refused a call for another reason
  NoDriver,       // the driver could not be loaded at all
  Stopped,        // the program above asked the wait to end
};

struct FailureCause {
  FailureKind kind = FailureKind::None;
  // What the procedure was doing, in its own words: "erase sector B".
  std::string context;
  // The letter of the frame whose exchange failed; 0 when there was none.
  char frame = 0;
  // True when the failure came while sending, false while waiting for the reply.
  bool sending = false;
  PortStatus status = kPortOk;
  // Reply bytes received (or bytes the driver took) and how many were due.
  uint32_t bytesSeen = 0;
  uint32_t bytesDue = 0;
  // From the start of the write or read that failed to the failure.
  uint32_t elapsedMs = 0;
  // The reply bytes received, for a wrong or short reply; the key bytes of
  // the stored password's reply are masked before they get here.
  std::string reply;
  // What the driver found beside its status, in its words: a setting that
  // did not take, a library that is not there. Empty when it said nothing.
  std::string detail;

  bool failed() const { return kind != FailureKind::None; }
};
