// Several emulated PODs on one machine, as one driver: the enumeration lists
// them all in order, each opens by description or serial number, and each has
// its own firmware, target and serial flash. Tests and demos of choosing a POD
// among several run on it. Several threads may use it at once, each with its
// own POD: the enumeration, opening and closing are serialized, and each
// session's traffic goes to its own POD without a lock.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "emulator/EmulatorDriver.h"

class EmulatorRack final : public FtdiDriver {
 public:
  // One emulated POD for each configuration, listed in that order. `clock`
  // must outlive the rack.
  EmulatorRack(Clock& clock, const std::vector<EmulatorConfig>& pods);

  // False when any POD's state cannot be read; LoadError() says whose and why.
  bool Load() override;
  void Unload() override;
  std::string Name() const override { return "emulator"; }
  std::string LoadError() const;

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
  std::string PortBusy() const override;

  // --- For tests and demos ---
  EmulatorDriver& Pod(size_t index) { return *pods_.at(index); }

 private:
  // An open device: which POD, and the handle that POD gave out.
  struct Session {
    size_t pod;
    FtHandle handle;
  };

  // Finds the POD listing device `index` and that POD's own index for it.
  bool Locate(uint32_t& index, size_t& pod);
  // Opens with the first POD whose `open` succeeds, as the vendor driver opens
  // the first device that matches.
  template <typename Open>
  FtStatus OpenFirst(Open open, FtHandle& handle);
  // Runs `call` on the POD behind `handle` with that POD's own handle.
  template <typename Call>
  FtStatus OnSession(FtHandle handle, Call call);

  std::vector<std::unique_ptr<EmulatorDriver>> pods_;
  // Guards what follows and every call that looks at more than one POD.
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Session>> sessions_;
  std::string portBusy_;  // as of the last open
};
