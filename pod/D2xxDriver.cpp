#include "pod/D2xxDriver.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

#include "pod/D2xxLibrary.h"

// The D2XX entry points as the vendor publishes them: every number is a 32-bit
// DWORD/ULONG (unsigned int on Linux and macOS, unsigned long on Windows), the
// handle an opaque pointer, and the Windows build uses the WINAPI convention
// (BFX_FTAPI, which the build defines).

namespace {

constexpr uint32_t kListNumberOnly = 0x80000000;
constexpr uint32_t kListByIndex = 0x40000000;
constexpr uint32_t kOpenBySerialNumber = 1;
constexpr uint32_t kOpenByDescription = 2;

// Once probed, a vendor library stays loaded for the life of the process:
// libftd2xx starts threads of its own that may still run after dlclose, in
// code that is no longer there. One handle a file, shared by every driver.
void* KeptLibrary(const std::string& file, std::string& problem) {
  static std::mutex mutex;
  static std::map<std::string, void*> libraries;
  const std::lock_guard lock(mutex);
  if (const auto kept = libraries.find(file); kept != libraries.end()) {
    return kept->second;
  }
  void* library = OpenLibrary(file, problem);
  if (library != nullptr) {
    libraries.emplace(file, library);
  }
  return library;
}

template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(FindFunction(library, name));
  return function != nullptr;
}

}  // namespace

struct D2xxDriver::Api {
  FtStatus(BFX_FTAPI* listDevices)(void*, void*, uint32_t);
  FtStatus(BFX_FTAPI* openEx)(void*, uint32_t, FtHandle*);
  FtStatus(BFX_FTAPI* resetDevice)(FtHandle);
  FtStatus(BFX_FTAPI* getLatencyTimer)(FtHandle, uint8_t*);
  FtStatus(BFX_FTAPI* setLatencyTimer)(FtHandle, uint8_t);
  FtStatus(BFX_FTAPI* setBaudRate)(FtHandle, uint32_t);
  FtStatus(BFX_FTAPI* setDataCharacteristics)(FtHandle, uint8_t, uint8_t, uint8_t);
  FtStatus(BFX_FTAPI* setFlowControl)(FtHandle, uint16_t, uint8_t, uint8_t);
  FtStatus(BFX_FTAPI* setTimeouts)(FtHandle, uint32_t, uint32_t);
  FtStatus(BFX_FTAPI* purge)(FtHandle, uint32_t);
  FtStatus(BFX_FTAPI* write)(FtHandle, void*, uint32_t, uint32_t*);
  FtStatus(BFX_FTAPI* getStatus)(FtHandle, uint32_t*, uint32_t*, uint32_t*);
  FtStatus(BFX_FTAPI* read)(FtHandle, void*, uint32_t, uint32_t*);
  FtStatus(BFX_FTAPI* getQueueStatus)(FtHandle, uint32_t*);
  FtStatus(BFX_FTAPI* close)(FtHandle);

  // The name of the first function the library lacks; empty when it has all.
  const char* Missing(void* library) {
    const char* missing = nullptr;
    const auto need = [&](const char* name, auto& function) {
      if (missing == nullptr && !Resolve(library, name, function)) {
        missing = name;
      }
    };
    need("FT_ListDevices", listDevices);
    need("FT_OpenEx", openEx);
    need("FT_ResetDevice", resetDevice);
    need("FT_GetLatencyTimer", getLatencyTimer);
    need("FT_SetLatencyTimer", setLatencyTimer);
    need("FT_SetBaudRate", setBaudRate);
    need("FT_SetDataCharacteristics", setDataCharacteristics);
    need("FT_SetFlowControl", setFlowControl);
    need("FT_SetTimeouts", setTimeouts);
    need("FT_Purge", purge);
    need("FT_Write", write);
    need("FT_GetStatus", getStatus);
    need("FT_Read", read);
    need("FT_GetQueueStatus", getQueueStatus);
    need("FT_Close", close);
    return missing;
  }
};

D2xxDriver::D2xxDriver(std::string libraryFile) : libraryFile_(std::move(libraryFile)) {}

D2xxDriver::~D2xxDriver() {
  Unload();
}

bool D2xxDriver::Load() {
  if (api_) {
    return true;
  }
  loadProblem_.clear();
  void* library = KeptLibrary(libraryFile_, loadProblem_);
  if (library == nullptr) {
    return false;
  }
  auto api = std::make_unique<Api>();
  if (const char* missing = api->Missing(library); missing != nullptr) {
    loadProblem_ = libraryFile_ + " lacks " + missing + ", so it is not the D2XX library";
    return false;
  }
  api_ = std::move(api);
  return true;
}

void D2xxDriver::Unload() {
  // The library itself stays (KeptLibrary); only this driver lets go of it.
  api_.reset();
}

std::string D2xxDriver::LoadedFrom() const {
  if (!api_) {
    return {};
  }
  const std::string file = LibraryFileOf(reinterpret_cast<const void*>(api_->listDevices));
  return !file.empty() ? file : libraryFile_;
}

FtStatus D2xxDriver::ListDeviceCount(uint32_t& count) {
  count = 0;
  return api_ ? api_->listDevices(&count, nullptr, kListNumberOnly) : kFtOtherError;
}

FtStatus D2xxDriver::ListByIndex(uint32_t index, uint32_t field, char (&text)[kFtDescriptionSize]) {
  if (!api_) {
    return kFtOtherError;
  }
  // By index, the index itself travels in the pointer argument.
  const FtStatus status = api_->listDevices(reinterpret_cast<void*>(static_cast<uintptr_t>(index)),
                                            text, kListByIndex | field);
  text[kFtDescriptionSize - 1] = '\0';
  return status;
}

FtStatus D2xxDriver::ListDeviceDescription(uint32_t index,
                                           char (&description)[kFtDescriptionSize]) {
  return ListByIndex(index, kOpenByDescription, description);
}

FtStatus D2xxDriver::ListDeviceSerialNumber(uint32_t index,
                                            char (&serialNumber)[kFtSerialNumberSize]) {
  return ListByIndex(index, kOpenBySerialNumber, serialNumber);
}

FtStatus D2xxDriver::OpenBy(const char* key, uint32_t field, FtHandle& handle) {
  handle = nullptr;
  return api_ ? api_->openEx(const_cast<char*>(key), field, &handle) : kFtOtherError;
}

FtStatus D2xxDriver::OpenByDescription(const char* description, FtHandle& handle) {
  return OpenBy(description, kOpenByDescription, handle);
}

FtStatus D2xxDriver::OpenBySerialNumber(const char* serialNumber, FtHandle& handle) {
  return OpenBy(serialNumber, kOpenBySerialNumber, handle);
}

FtStatus D2xxDriver::ResetDevice(FtHandle handle) {
  return api_ ? api_->resetDevice(handle) : kFtOtherError;
}

FtStatus D2xxDriver::GetLatencyTimer(FtHandle handle, uint8_t& milliseconds) {
  return api_ ? api_->getLatencyTimer(handle, &milliseconds) : kFtOtherError;
}

FtStatus D2xxDriver::SetLatencyTimer(FtHandle handle, uint8_t milliseconds) {
  return api_ ? api_->setLatencyTimer(handle, milliseconds) : kFtOtherError;
}

FtStatus D2xxDriver::SetBaudRate(FtHandle handle, uint32_t baud) {
  return api_ ? api_->setBaudRate(handle, baud) : kFtOtherError;
}

FtStatus D2xxDriver::SetDataCharacteristics(FtHandle handle, uint8_t wordLength, uint8_t stopBits,
                                            uint8_t parity) {
  return api_ ? api_->setDataCharacteristics(handle, wordLength, stopBits, parity) : kFtOtherError;
}

FtStatus D2xxDriver::SetFlowControl(FtHandle handle, uint16_t flowControl, uint8_t xon,
                                    uint8_t xoff) {
  return api_ ? api_->setFlowControl(handle, flowControl, xon, xoff) : kFtOtherError;
}

FtStatus D2xxDriver::SetTimeouts(FtHandle handle, uint32_t readMs, uint32_t writeMs) {
  return api_ ? api_->setTimeouts(handle, readMs, writeMs) : kFtOtherError;
}

FtStatus D2xxDriver::Purge(FtHandle handle, uint32_t mask) {
  return api_ ? api_->purge(handle, mask) : kFtOtherError;
}

FtStatus D2xxDriver::Write(FtHandle handle, const void* bytes, uint32_t length, uint32_t& written) {
  written = 0;
  // The vendor declares the buffer non-const but only reads it.
  return api_ ? api_->write(handle, const_cast<void*>(bytes), length, &written) : kFtOtherError;
}

FtStatus D2xxDriver::GetStatus(FtHandle handle, uint32_t& rxQueue, uint32_t& txQueue,
                               uint32_t& events) {
  return api_ ? api_->getStatus(handle, &rxQueue, &txQueue, &events) : kFtOtherError;
}

FtStatus D2xxDriver::Read(FtHandle handle, void* buffer, uint32_t length, uint32_t& returned) {
  returned = 0;
  return api_ ? api_->read(handle, buffer, length, &returned) : kFtOtherError;
}

FtStatus D2xxDriver::GetQueueStatus(FtHandle handle, uint32_t& rxQueue) {
  return api_ ? api_->getQueueStatus(handle, &rxQueue) : kFtOtherError;
}

FtStatus D2xxDriver::Close(FtHandle handle) {
  return api_ ? api_->close(handle) : kFtOtherError;
}
