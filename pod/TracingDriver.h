// A driver that writes every frame both ways to a trace file, over any other
// backend: a header with the backend and the port, then one line per write and
// per reply with the microseconds since the trace began. The CSM keys never
// reach the file: the key digits of K, M and P frames and the bytes of the
// stored password's reply are masked.
#pragma once

#include <chrono>
#include <memory>
#include <ostream>
#include <string>

#include "pod/ForwardingDriver.h"

// Only the calls that open, close or carry bytes are traced; the rest pass on.
class TracingDriver final : public ForwardingDriver {
 public:
  // Traces `inner` to `trace`, which the caller may share to check it afterwards.
  TracingDriver(std::unique_ptr<PortDriver> inner, std::shared_ptr<std::ostream> trace);
  ~TracingDriver() override;

  void Unload() override;
  PortStatus Open(const PortKey& key, std::unique_ptr<Port>& port) override;

  // The bytes of one write as the trace shows them: STX as "<", ETX as ">",
  // anything unprintable as \xNN, key digits as "*".
  static std::string ShowSent(const std::string& bytes);

 private:
  class TracedPort;

  // One trace line: the time of `at` since the trace began, the direction, the bytes.
  void Line(std::chrono::steady_clock::time_point at, const char* direction,
            const std::string& text);
  void Sent(const void* bytes, uint32_t length);
  void Received(const void* bytes, uint32_t length);
  // Writes out the reply bytes gathered since the last write.
  void EndReply();

  std::unique_ptr<PortDriver> backend_;
  std::shared_ptr<std::ostream> traceFile_;
  std::ostream& trace_;
  std::chrono::steady_clock::time_point start_;
  std::string reply_;
  std::chrono::steady_clock::time_point replyStart_;  // when its first byte came
  // The reply to the frame sent last carries the stored password.
  bool replyHoldsKeys_ = false;
};
