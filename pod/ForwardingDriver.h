// A driver that passes every call on to another: the base of drivers that
// add to a backend (a trace, say) without changing what it does. It only
// borrows the other driver, which must outlive it.
#pragma once

#include "pod/FtdiDriver.h"

class ForwardingDriver : public FtdiDriver {
 public:
  explicit ForwardingDriver(FtdiDriver& inner) : inner_(inner) {}

  bool Load() override { return inner_.Load(); }
  void Unload() override { inner_.Unload(); }
  std::string Name() const override { return inner_.Name(); }
  std::vector<PortDetails> DescribePorts() override { return inner_.DescribePorts(); }
  std::string PortBusy() const override { return inner_.PortBusy(); }
  std::string FailureDetail() const override { return inner_.FailureDetail(); }
  std::string LoadProblem() const override { return inner_.LoadProblem(); }
  std::string LoadedFrom() const override { return inner_.LoadedFrom(); }
  FtStatus ListDeviceCount(uint32_t& count) override { return inner_.ListDeviceCount(count); }
  FtStatus ListDeviceDescription(uint32_t index, char (&description)[kFtDescriptionSize]) override {
    return inner_.ListDeviceDescription(index, description);
  }
  FtStatus ListDeviceSerialNumber(uint32_t index,
                                  char (&serialNumber)[kFtSerialNumberSize]) override {
    return inner_.ListDeviceSerialNumber(index, serialNumber);
  }
  FtStatus OpenByDescription(const char* description, FtHandle& handle) override {
    return inner_.OpenByDescription(description, handle);
  }
  FtStatus OpenBySerialNumber(const char* serialNumber, FtHandle& handle) override {
    return inner_.OpenBySerialNumber(serialNumber, handle);
  }
  FtStatus ResetDevice(FtHandle handle) override { return inner_.ResetDevice(handle); }
  FtStatus GetLatencyTimer(FtHandle handle, uint8_t& milliseconds) override {
    return inner_.GetLatencyTimer(handle, milliseconds);
  }
  FtStatus SetLatencyTimer(FtHandle handle, uint8_t milliseconds) override {
    return inner_.SetLatencyTimer(handle, milliseconds);
  }
  FtStatus SetBaudRate(FtHandle handle, uint32_t baud) override {
    return inner_.SetBaudRate(handle, baud);
  }
  FtStatus SetDataCharacteristics(FtHandle handle, uint8_t wordLength, uint8_t stopBits,
                                  uint8_t parity) override {
    return inner_.SetDataCharacteristics(handle, wordLength, stopBits, parity);
  }
  FtStatus SetFlowControl(FtHandle handle, uint16_t flowControl, uint8_t xon,
                          uint8_t xoff) override {
    return inner_.SetFlowControl(handle, flowControl, xon, xoff);
  }
  FtStatus SetTimeouts(FtHandle handle, uint32_t readMs, uint32_t writeMs) override {
    return inner_.SetTimeouts(handle, readMs, writeMs);
  }
  FtStatus Purge(FtHandle handle, uint32_t mask) override { return inner_.Purge(handle, mask); }
  FtStatus Write(FtHandle handle, const void* bytes, uint32_t length, uint32_t& written) override {
    return inner_.Write(handle, bytes, length, written);
  }
  FtStatus GetStatus(FtHandle handle, uint32_t& rxQueue, uint32_t& txQueue,
                     uint32_t& events) override {
    return inner_.GetStatus(handle, rxQueue, txQueue, events);
  }
  FtStatus Read(FtHandle handle, void* buffer, uint32_t length, uint32_t& returned) override {
    return inner_.Read(handle, buffer, length, returned);
  }
  FtStatus GetQueueStatus(FtHandle handle, uint32_t& rxQueue) override {
    return inner_.GetQueueStatus(handle, rxQueue);
  }
  FtStatus Close(FtHandle handle) override { return inner_.Close(handle); }

 private:
  FtdiDriver& inner_;
};
