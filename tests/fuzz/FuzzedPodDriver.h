// One POD, played by a reply script: each write the program makes is answered
// as the script's next record says, with its bytes arriving when it says.
// Time is a FakeClock that the driver moves on wherever a real driver blocks,
// so a run never sleeps however long the waits it provokes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pod/PortDriver.h"
#include "tests/fuzz/ReplyScript.h"
#include "tests/support/ArrivingBytes.h"
#include "tests/support/FakeClock.h"

class FuzzedPodDriver final : public PortDriver {
 public:
  // Both must outlive the driver.
  FuzzedPodDriver(FakeClock& clock, ReplyScript& script) : clock_(clock), script_(script) {}

  bool isOpen() const { return open_; }

  bool Load() override { return true; }
  void Unload() override {}
  std::string Name() const override { return "fuzzed"; }
  std::vector<PortDetails> ListPorts() override;
  PortStatus Open(const PortKey& key, std::unique_ptr<Port>& port) override;

 private:
  class FuzzedPort;

  // Counts a call; aborts the run once there have been too many, so that a
  // loop the replies never end shows as a crash with its stack.
  void Count();
  // The status of a call on the open port: still there.
  PortStatus Check();
  // What the POD does with a write: its reply, as the script's next record says.
  void Answer(uint32_t length, uint32_t& written);
  // A read as a real driver makes it: blocks until a byte comes or its time-out passes.
  PortStatus Receive(uint8_t* bytes, uint32_t length, uint32_t& returned);

  FakeClock& clock_;
  ReplyScript& script_;
  bool open_ = false;
  bool gone_ = false;
  // The port goes once the bytes queued now have been read.
  bool goneAfterReply_ = false;
  uint64_t calls_ = 0;
  ArrivingBytes rx_;
  // Bytes of the last write that never leave the transmit queue.
  uint32_t stuckBytes_ = 0;
  uint32_t readTimeoutMs_ = 0;
};
