// A scriptable port driver for tests: a list of attached devices, injectable
// failures per call, a POD played by a callback that queues timed reply bytes,
// and a log of what the code under test did. Time is a FakeClock that the
// driver moves on as a real driver would block.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pod/PortDriver.h"
#include "tests/support/ArrivingBytes.h"
#include "tests/support/FakeClock.h"

class FakePortDriver final : public PortDriver {
 public:
  explicit FakePortDriver(FakeClock& clock) : clock_(clock) {}

  // --- set-up ---
  bool loads = true;
  std::vector<std::string> devices{"Brontaflex POD"};
  // The devices' serial numbers in the same order; "FAKE<index>" beyond them.
  std::vector<std::string> serialNumbers;
  uint8_t latencyMs = 16;
  // SetLatency succeeds but the timer keeps its value.
  bool latencyIgnored = false;
  // Failing calls, by name ("Configure"), by the call as logged ("SetLatency 1")
  // or by its first words ("Open description"); the value is the status returned. "ListPorts" fails
  // the whole list (it comes back empty); "ListPorts N" leaves device N out, as a backend does with
  // a device it cannot read.
  std::map<std::string, PortStatus> failures;
  // Plays the POD: called with the bytes of every Write.
  std::function<void(std::string_view bytes)> onWrite;
  // A Write leaves its bytes in the transmit queue this long.
  uint32_t drainMs = 0;
  // Each BytesUnsent call takes this long, as a USB round trip does.
  uint32_t statusCallMs = 1;
  // A Write reports this many bytes fewer than it was given.
  uint32_t shortWriteBy = 0;
  // Reads beyond this many fail, so that a test of a read that should end
  // fails instead of hanging when it does not.
  uint32_t readLimit = UINT32_MAX;

  // Queues `bytes` to arrive `delayMs` from now, then one every `gapMs`.
  void QueueReply(std::string_view bytes, uint32_t delayMs = 0, uint32_t gapMs = 0);
  // A POD that answers every write with `reply`.
  void AnswerEveryWrite(std::string reply);

  // --- inspection ---
  // Set-up and lifecycle calls in order, with their main argument
  // ("Open description Brontaflex POD", "SetLatency 1"); I/O is counted instead.
  std::vector<std::string> calls;
  std::vector<std::string> writes;  // the bytes of each Write
  uint32_t readCalls = 0;
  uint32_t listCalls = 0;
  size_t openPorts() const { return openPorts_; }
  // Received bytes not read yet, whether they have arrived or not.
  size_t unreadBytes() const { return rx_.size(); }
  uint32_t readTimeoutMs() const { return readTimeoutMs_; }

  bool Load() override;
  void Unload() override;
  std::string Name() const override { return "fake"; }
  std::vector<PortDetails> ListPorts() override;
  PortStatus Open(const PortKey& key, std::unique_ptr<Port>& port) override;

 private:
  class FakePort;

  // Logs `call` when `logged`, and returns its injected failure or kPortOk.
  PortStatus Enter(const std::string& call, bool logged = true);
  std::string SerialNumberOf(size_t index) const;

  FakeClock& clock_;
  size_t openPorts_ = 0;
  ArrivingBytes rx_;
  uint32_t txBytes_ = 0;
  uint32_t txDrainsAt_ = 0;
  uint32_t readTimeoutMs_ = 0;
};
