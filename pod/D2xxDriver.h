// The vendor's D2XX library as a driver backend, loaded at run time by file
// name so that the program builds and starts without it.
#pragma once

#include <memory>
#include <string>

#include "pod/D2xxLibrary.h"
#include "pod/FtdiDriver.h"

class D2xxDriver final : public FtdiDriver {
 public:
  explicit D2xxDriver(std::string libraryFile = kD2xxLibraryFile);
  ~D2xxDriver() override;
  D2xxDriver(const D2xxDriver&) = delete;
  D2xxDriver& operator=(const D2xxDriver&) = delete;

  // Fails when the library is missing or lacks any function the link needs.
  // A bare file name is looked for only where the system keeps its libraries
  // (on Windows System32, never the program's or the current folder); a path
  // is loaded as given. Once loaded it stays for the life of the process.
  bool Load() override;
  // Lets go of the library's functions; the library itself stays loaded.
  void Unload() override;
  std::string LoadProblem() const override { return loadProblem_; }
  std::string LoadedFrom() const override;
  std::string Name() const override { return "d2xx"; }

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
  struct Api;

  // FT_ListDevices by index for one field (description or serial number).
  FtStatus ListByIndex(uint32_t index, uint32_t field, char (&text)[kFtDescriptionSize]);
  // FT_OpenEx by one field.
  FtStatus OpenBy(const char* key, uint32_t field, FtHandle& handle);

  std::string libraryFile_;
  std::string loadProblem_;
  std::unique_ptr<Api> api_;
};
