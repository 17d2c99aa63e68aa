// The POD emulator behind the FTDI driver interface: enumerates the configured
// devices, opens the POD, and carries bytes between the PC and the firmware
// model, with the vendor driver's queues and read time-out measured on a Clock.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "emulator/EmulatorConfig.h"
#include "emulator/PodFirmware.h"
#include "pod/Clock.h"
#include "pod/FtdiDriver.h"

// How the PC has set the bridge up.
struct LineSettings {
  uint8_t latencyMs = 16;
  uint32_t latencyWrites = 0;  // SetLatencyTimer calls since the device was plugged in
  uint32_t baud = 9600;
  uint8_t wordLength = 8;
  uint8_t stopBits = 0;
  uint8_t parity = 0;
  uint16_t flowControl = 0;
  uint32_t readTimeoutMs = 0;  // 0: a read waits until its bytes came
  uint32_t writeTimeoutMs = 0;
};

class EmulatorDriver final : public FtdiDriver {
 public:
  // `clock` must outlive the driver; a fake clock makes every wait instant.
  explicit EmulatorDriver(Clock& clock, EmulatorConfig config = {});
  ~EmulatorDriver() override;
  EmulatorDriver(const EmulatorDriver&) = delete;
  EmulatorDriver& operator=(const EmulatorDriver&) = delete;

  // False when the POD's state file exists but cannot be read; LoadError() says why.
  bool Load() override;
  void Unload() override;
  std::string Name() const override { return "emulator"; }
  const std::string& LoadError() const { return firmware_.Store().LoadError(); }

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
  // The POD's state file is held by another process.
  std::string PortBusy() const override { return portBusy_; }

  // --- For tests and demos ---
  TargetBoard& Target() { return firmware_.Target(); }
  SerialFlashStore& Store() { return firmware_.Store(); }
  FaultPlan& Faults() { return firmware_.Faults(); }
  const std::vector<TranscriptEntry>& Transcript() const { return firmware_.Transcript(); }
  const LineSettings& Line() const { return line_; }
  bool IsOpen() const { return open_; }
  // Pulls the POD's USB cable; Replug() puts it back, the POD freshly powered.
  void Unplug();
  void Replug();

 private:
  struct TimedByte {
    char byte;
    uint64_t atNs;  // when it reaches the far end (POD) or the PC's receive queue
  };

  // Nanoseconds since the driver was made: the clock's time and the fraction of
  // a millisecond the model has run ahead of it.
  uint64_t NowNs();
  // Lets the model's time reach `ns`. The clock sleeps only the whole
  // milliseconds that are due; the rest is carried to the next wait, so short
  // waits cost their own length and not a millisecond each.
  void WaitUntil(uint64_t ns);
  // Hands the POD every byte that has reached it by now and queues its replies.
  void Advance();
  void QueueReply(const PodFirmware::Response& response, uint64_t frameEndNs);
  uint32_t ArrivedCount(uint64_t nowNs) const;
  // Checks the handle and the cable, then brings the line up to date.
  FtStatus Ready(FtHandle handle);
  bool LineSetUp() const;
  void DropQueues();
  // The indices into the configured devices of those attached now.
  std::vector<size_t> PresentDevices() const;
  // One text of the present device `index`, as the enumeration lists it.
  FtStatus ListField(uint32_t index, const std::function<std::string(size_t)>& field,
                     char (&text)[kFtDescriptionSize]) const;
  // Opens the first attached device that `matches`; `key` is what the caller passed.
  FtStatus OpenFirst(const std::function<bool(size_t)>& matches, const char* key, FtHandle& handle);

  Clock& clock_;
  EmulatorConfig config_;
  PodFirmware firmware_;
  LineSettings line_;
  bool plugged_ = true;
  bool open_ = false;
  std::string portBusy_;
  uintptr_t handleToken_ = 0;

  uint32_t lastTickMs_;
  uint64_t clockNs_ = 0;  // the clock's time since the driver was made
  uint64_t aheadNs_ = 0;  // how far the model is ahead of the clock, under 1 ms
  uint64_t nowNs_ = 0;    // clockNs_ + aheadNs_ as of the last look at the clock
  std::deque<TimedByte> toPod_;
  std::deque<TimedByte> toPc_;
  uint64_t txLineFreeNs_ = 0;  // when the PC-to-POD line is idle again
  uint64_t rxLineFreeNs_ = 0;
  uint64_t podFreeNs_ = 0;  // when the POD has finished its work so far
};
