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

#include "pod/FtdiDriver.h"

class TracingDriver final : public FtdiDriver {
 public:
  // Traces `inner` to `trace`.
  TracingDriver(std::unique_ptr<FtdiDriver> inner, std::unique_ptr<std::ostream> trace);
  ~TracingDriver() override;

  bool Load() override;
  void Unload() override;
  std::string Name() const override { return inner_->Name(); }
  std::vector<PortDetails> DescribePorts() override { return inner_->DescribePorts(); }
  std::string PortBusy() const override { return inner_->PortBusy(); }

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

  // The bytes of one write as the trace shows them: STX as "<", ETX as ">",
  // anything unprintable as \xNN, key digits as "*".
  static std::string ShowSent(const std::string& bytes);

 private:
  // One trace line: the time of `at` since the trace began, the direction, the bytes.
  void Line(std::chrono::steady_clock::time_point at, const char* direction,
            const std::string& text);
  // Writes out the reply bytes gathered since the last write.
  void EndReply();

  std::unique_ptr<FtdiDriver> inner_;
  std::unique_ptr<std::ostream> traceFile_;
  std::ostream& trace_;
  std::chrono::steady_clock::time_point start_;
  std::string reply_;
  std::chrono::steady_clock::time_point replyStart_;  // when its first byte came
  // The reply to the frame sent last carries the stored password.
  bool replyHoldsKeys_ = false;
};
