// One POD, played by a reply script: each write the program makes is answered
// as the script's next record says, with its bytes arriving when it says.
// Time is a FakeClock that the driver moves on wherever a real driver blocks,
// so a run never sleeps however long the waits it provokes.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "pod/FtdiDriver.h"
#include "tests/fuzz/ReplyScript.h"
#include "tests/support/FakeClock.h"

class FuzzedPodDriver final : public FtdiDriver {
 public:
  // Both must outlive the driver.
  FuzzedPodDriver(FakeClock& clock, ReplyScript& script) : clock_(clock), script_(script) {}

  bool isOpen() const { return open_; }

  bool Load() override { return true; }
  void Unload() override {}
  std::string Name() const override { return "fuzzed"; }
  FtStatus ListDeviceCount(uint32_t& count) override;
  FtStatus ListDeviceDescription(uint32_t index, char (&description)[kFtDescriptionSize]) override;
  FtStatus ListDeviceSerialNumber(uint32_t index,
                                  char (&serialNumber)[kFtSerialNumberSize]) override;
  FtStatus OpenByDescription(const char* description, FtHandle& handle) override;
  FtStatus OpenBySerialNumber(const char* serialNumber, FtHandle& handle) override;
  FtStatus ResetDevice(FtHandle handle) override { return Check(handle); }
  FtStatus GetLatencyTimer(FtHandle handle, uint8_t& milliseconds) override;
  FtStatus SetLatencyTimer(FtHandle handle, uint8_t) override { return Check(handle); }
  FtStatus SetBaudRate(FtHandle handle, uint32_t) override { return Check(handle); }
  FtStatus SetDataCharacteristics(FtHandle handle, uint8_t, uint8_t, uint8_t) override {
    return Check(handle);
  }
  FtStatus SetFlowControl(FtHandle handle, uint16_t, uint8_t, uint8_t) override {
    return Check(handle);
  }
  FtStatus SetTimeouts(FtHandle handle, uint32_t readMs, uint32_t writeMs) override;
  FtStatus Purge(FtHandle handle, uint32_t mask) override;
  FtStatus Write(FtHandle handle, const void* bytes, uint32_t length, uint32_t& written) override;
  FtStatus GetStatus(FtHandle handle, uint32_t& rxQueue, uint32_t& txQueue,
                     uint32_t& events) override;
  FtStatus Read(FtHandle handle, void* buffer, uint32_t length, uint32_t& returned) override;
  FtStatus GetQueueStatus(FtHandle handle, uint32_t& rxQueue) override;
  FtStatus Close(FtHandle handle) override;

 private:
  struct Incoming {
    uint8_t byte;
    uint32_t arrivesAt;
  };

  // Counts a call; aborts the run once there have been too many, so that a
  // loop the replies never end shows as a crash with its stack.
  void Count();
  // The status of a call on `handle`: the port open and still there.
  FtStatus Check(FtHandle handle);
  FtStatus Open(FtHandle& handle);
  uint32_t ArrivedBytes() const;

  FakeClock& clock_;
  ReplyScript& script_;
  bool open_ = false;
  bool gone_ = false;
  // The port goes once the bytes queued now have been read.
  bool goneAfterReply_ = false;
  uint64_t calls_ = 0;
  std::deque<Incoming> rx_;
  // Bytes of the last write that never leave the transmit queue.
  uint32_t stuckBytes_ = 0;
  uint32_t readTimeoutMs_ = 0;
};
