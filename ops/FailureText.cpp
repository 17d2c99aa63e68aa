#include "ops/FailureText.h"

#include <cstdio>

#include "ops/UserText.h"

namespace {

std::string Bytes(uint32_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

// The bytes as they came, in quotes, escaped as every name shown is.
std::string Quoted(const std::string& bytes) {
  return "\"" + EscapeForDisplay(bytes) + "\"";
}

std::string Frame(const FailureCause& cause) {
  return std::string(1, cause.frame);
}

// " while sending O", " while waiting for the reply to O", or nothing outside a command.
std::string During(const FailureCause& cause) {
  if (cause.frame == 0) {
    return {};
  }
  return cause.sending ? " while sending " + Frame(cause)
                       : " while waiting for the reply to " + Frame(cause);
}

std::string After(const FailureCause& cause) {
  return " after " + std::to_string(cause.elapsedMs) + " ms";
}

std::string WhatHappened(const FailureCause& cause) {
  switch (cause.kind) {
    case FailureKind::None:
      break;
    case FailureKind::TimeOut:
      if (cause.sending) {
        return "time-out" + After(cause) + " sending " + Frame(cause) + " (" +
               std::to_string(cause.bytesSeen) + " of " + Bytes(cause.bytesDue) + " gone)";
      }
      return "time-out" + After(cause) + " waiting for the reply to " + Frame(cause) + " (" +
             Bytes(cause.bytesSeen) + " seen)";
    case FailureKind::ShortReply:
      return "short reply to " + Frame(cause) + After(cause) + ": " + Quoted(cause.reply) + " (" +
             std::to_string(cause.bytesSeen) + " of " + Bytes(cause.bytesDue) + ")";
    case FailureKind::WrongReply:
      return "wrong reply to " + Frame(cause) + After(cause) +
             (cause.reply.empty() ? "" : ": " + Quoted(cause.reply)) + " (" +
             Bytes(cause.bytesSeen) + " seen)";
    case FailureKind::WriteCutShort:
      return "write of " + Frame(cause) + " cut short (" + std::to_string(cause.bytesSeen) +
             " of " + Bytes(cause.bytesDue) + " taken)";
    case FailureKind::PortGone:
      return "port gone" + During(cause) +
             (cause.status == kPortOk ? ""
                                      : " (driver status " + std::to_string(cause.status) + ")");
    case FailureKind::DriverStatus:
      return "driver status " + std::to_string(cause.status) + During(cause);
    case FailureKind::NoDriver:
      return cause.detail.empty() ? "the driver did not load" : cause.detail;
    case FailureKind::Stopped:
      return "stopped on request" + During(cause);
  }
  return "none known";
}

}  // namespace

std::string DescribeFailure(const FailureCause& cause) {
  std::string line = "cause: ";
  if (!cause.context.empty()) {
    line += cause.context + ": ";
  }
  line += WhatHappened(cause);
  // What the driver found, unless it is the whole of the story already.
  if (!cause.detail.empty() && cause.kind != FailureKind::NoDriver) {
    line += ": " + cause.detail;
  }
  return line;
}

std::string_view FailureKindName(FailureKind kind) {
  switch (kind) {
    case FailureKind::None:
      return "None";
    case FailureKind::TimeOut:
      return "TimeOut";
    case FailureKind::WrongReply:
      return "WrongReply";
    case FailureKind::ShortReply:
      return "ShortReply";
    case FailureKind::WriteCutShort:
      return "WriteCutShort";
    case FailureKind::PortGone:
      return "PortGone";
    case FailureKind::DriverStatus:
      return "DriverStatus";
    case FailureKind::NoDriver:
      return "NoDriver";
    case FailureKind::Stopped:
      return "Stopped";
  }
  return "None";
}
