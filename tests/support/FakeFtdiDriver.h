// A scriptable FTDI driver for tests: a list of attached devices, injectable
// failures per call, a POD played by a callback that queues timed reply bytes,
// and a log of what the code under test did. Time is a FakeClock that the
// driver moves on as a real driver would block.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "pod/FtdiDriver.h"
#include "tests/support/FakeClock.h"

class FakeFtdiDriver final : public FtdiDriver {
 public:
  explicit FakeFtdiDriver(FakeClock& clock) : clock_(clock) {}

  // --- set-up ---
  bool loads = true;
  std::vector<std::string> devices{"Brontaflex POD"};
  // The devices' serial numbers in the same order; "FAKE<index>" beyond them.
  std::vector<std::string> serialNumbers;
  uint8_t latencyMs = 16;
  // SetLatencyTimer succeeds but the timer keeps its value.
  bool latencyIgnored = false;
  // Failing calls, by name ("SetBaudRate") or by name and argument as logged
  // ("ListDeviceDescription 1"); the value is the status returned.
  std::map<std::string, FtStatus> failures;
  // Plays the POD: called with the bytes of every Write.
  std::function<void(std::string_view bytes)> onWrite;
  // A Write leaves its bytes in the transmit queue this long.
  uint32_t drainMs = 0;
  // Each GetStatus call takes this long, as a USB round trip does.
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
  // ("OpenByDescription Brontaflex POD", "SetLatencyTimer 1"); I/O is counted instead.
  std::vector<std::string> calls;
  std::vector<std::string> writes;  // the bytes of each Write
  uint32_t readCalls = 0;
  uint32_t listCountCalls = 0;
  size_t openHandles() const { return handles_.size(); }
  // Received bytes not read yet, whether they have arrived or not.
  size_t unreadBytes() const { return rx_.size(); }
  uint32_t readTimeoutMs() const { return readTimeoutMs_; }

  bool Load() override;
  void Unload() override;
  std::string Name() const override { return "fake"; }
  FtStatus ListDeviceCount(uint32_t& count) override;
  FtStatus ListDeviceDescription(uint32_t index, char (&description)[kFtDescriptionSize]) override;
  FtStatus ListDeviceSerialNumber(uint32_t index,
                                  char (&serialNumber)[kFtSerialNumberSize]) override;
  FtStatus OpenByDescription(const char* description, FtHandle& handle) override;
  FtStatus OpenBySerialNumber(const char* serialNumber, FtHandle& handle) override;
  FtStatus ResetDevice(FtHandle handle) override;
  FtStatus GetLatencyTimer(FtHandle handle, uint8_t& milliseconds) override;
  FtStatus SetLatencyTimer(FtHandle handle, uint8_t milliseconds) override;
  FtStatus SetBaudRate(FtHandle handle, uint32_t baud) override;
  FtStatus SetDataCharacteristics(FtHandle handle, uint8_t wordLength, uint8_t stopBits,
                                  uint8_t parity) override;
  FtStatus SetFlowControl(FtHandle handle, uint16_t flowControl, uint8_t xon,
                          uint8_t xoff) override;
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

  // Logs `call` when `logged`, and returns its injected failure or FT_OK.
  FtStatus Enter(const std::string& call, bool logged = true);
  FtStatus EnterWithHandle(const std::string& call, FtHandle handle, bool logged = true);
  uint32_t ArrivedBytes() const;
  std::string SerialNumberOf(size_t index) const;
  // Logs `call` with the index and copies that device's `field` into `text`.
  FtStatus ListText(const std::string& call, uint32_t index,
                    const std::function<std::string(size_t)>& field,
                    char (&text)[kFtDescriptionSize]);
  // Logs `call` and hands out a handle when the device is `present`.
  FtStatus OpenIf(const std::string& call, bool present, FtHandle& handle);

  FakeClock& clock_;
  std::set<FtHandle> handles_;
  int nextHandle_ = 1;
  std::deque<Incoming> rx_;
  uint32_t txBytes_ = 0;
  uint32_t txDrainsAt_ = 0;
  uint32_t readTimeoutMs_ = 0;
};
