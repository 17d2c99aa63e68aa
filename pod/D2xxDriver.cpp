#include "pod/D2xxDriver.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdint>
#include <utility>

#include "image/Utf8Path.h"

// The D2XX entry points as the vendor publishes them: every number is a 32-bit
// DWORD/ULONG (unsigned int on Linux and macOS, unsigned long on Windows), the
// handle an opaque pointer, and the Windows build uses the WINAPI convention.
#ifdef _WIN32
#define BFX_FTAPI __stdcall
#else
#define BFX_FTAPI
#endif

namespace {

constexpr uint32_t kListNumberOnly = 0x80000000;
constexpr uint32_t kListByIndex = 0x40000000;
constexpr uint32_t kOpenBySerialNumber = 1;
constexpr uint32_t kOpenByDescription = 2;

void* OpenLibrary(const std::string& file) {
#ifdef _WIN32
  return reinterpret_cast<void*>(LoadLibraryW(PathFromUtf8(file).c_str()));
#else
  return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

void CloseLibrary(void* library) {
#ifdef _WIN32
  FreeLibrary(reinterpret_cast<HMODULE>(library));
#else
  dlclose(library);
#endif
}

template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
#ifdef _WIN32
  // Through the generic function pointer type: FARPROC claims a signature of its own.
  function = reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(reinterpret_cast<HMODULE>(library), name)));
#else
  function = reinterpret_cast<Function>(dlsym(library, name));
#endif
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

  bool ResolveAll(void* library) {
    return Resolve(library, "FT_ListDevices", listDevices) &&
           Resolve(library, "FT_OpenEx", openEx) &&
           Resolve(library, "FT_ResetDevice", resetDevice) &&
           Resolve(library, "FT_GetLatencyTimer", getLatencyTimer) &&
           Resolve(library, "FT_SetLatencyTimer", setLatencyTimer) &&
           Resolve(library, "FT_SetBaudRate", setBaudRate) &&
           Resolve(library, "FT_SetDataCharacteristics", setDataCharacteristics) &&
           Resolve(library, "FT_SetFlowControl", setFlowControl) &&
           Resolve(library, "FT_SetTimeouts", setTimeouts) && Resolve(library, "FT_Purge", purge) &&
           Resolve(library, "FT_Write", write) && Resolve(library, "FT_GetStatus", getStatus) &&
           Resolve(library, "FT_Read", read) &&
           Resolve(library, "FT_GetQueueStatus", getQueueStatus) &&
           Resolve(library, "FT_Close", close);
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
  library_ = OpenLibrary(libraryFile_);
  if (library_ == nullptr) {
    return false;
  }
  auto api = std::make_unique<Api>();
  if (!api->ResolveAll(library_)) {
    Unload();
    return false;
  }
  api_ = std::move(api);
  return true;
}

void D2xxDriver::Unload() {
  api_.reset();
  if (library_ != nullptr) {
    CloseLibrary(library_);
    library_ = nullptr;
  }
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
