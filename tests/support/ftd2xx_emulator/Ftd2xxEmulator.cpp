// The D2XX functions, declared from the vendor's published API: status and
// double words are 32-bit unsigned on every platform, handles are pointers,
// and on Windows the functions use the stdcall convention.
#include "tests/support/ftd2xx_emulator/Ftd2xxEmulator.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#if defined(_WIN32)
#define FT_API __stdcall
// GCC and clang for Windows (MinGW) take the attribute form of dllexport.
#define FT_EXPORT extern "C" __attribute__((dllexport))
#else
#define FT_API
#define FT_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using FT_STATUS = uint32_t;
using DWORD = uint32_t;
using FT_HANDLE = void*;

constexpr DWORD kListNumberOnly = 0x80000000;
constexpr DWORD kListByIndex = 0x40000000;
constexpr DWORD kOpenBySerialNumber = 1;
constexpr DWORD kOpenByDescription = 2;

// Read by every thread that calls in; each call works on the driver as it
// stood when the call began.
std::atomic<FtdiDriver*> attached = nullptr;

}  // namespace

FT_EXPORT void BrontaflexAttachDriver(FtdiDriver* driver) {
  attached = driver;
}

FT_EXPORT FT_STATUS FT_API FT_ListDevices(void* arg1, void* arg2, DWORD flags) {
  if (flags == kListNumberOnly) {
    if (arg1 == nullptr) {
      return kFtInvalidParameter;
    }
    uint32_t count = 0;
    FtdiDriver* const driver = attached;
    const FtStatus status = driver != nullptr ? driver->ListDeviceCount(count) : kFtOk;
    *static_cast<DWORD*>(arg1) = count;
    return status;
  }
  if (flags == (kListByIndex | kOpenByDescription) ||
      flags == (kListByIndex | kOpenBySerialNumber)) {
    // The index travels in the pointer argument itself.
    const auto index = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg1));
    if (arg2 == nullptr) {
      return kFtInvalidParameter;
    }
    FtdiDriver* const driver = attached;
    if (driver == nullptr) {
      return kFtDeviceNotFound;
    }
    char text[kFtDescriptionSize] = {};
    const FtStatus status = (flags & kOpenBySerialNumber) != 0
                                ? driver->ListDeviceSerialNumber(index, text)
                                : driver->ListDeviceDescription(index, text);
    if (status == kFtOk) {
      std::memcpy(arg2, text, sizeof text);
    }
    return status;
  }
  // Serial numbers, locations and whole lists are not needed by the link.
  return kFtInvalidParameter;
}

FT_EXPORT FT_STATUS FT_API FT_OpenEx(void* arg1, DWORD flags, FT_HANDLE* handle) {
  if (handle == nullptr || arg1 == nullptr ||
      (flags != kOpenByDescription && flags != kOpenBySerialNumber)) {
    return kFtInvalidParameter;
  }
  *handle = nullptr;
  FtdiDriver* const driver = attached;
  if (driver == nullptr) {
    return kFtDeviceNotFound;
  }
  const auto* key = static_cast<const char*>(arg1);
  return flags == kOpenBySerialNumber ? driver->OpenBySerialNumber(key, *handle)
                                      : driver->OpenByDescription(key, *handle);
}

namespace {

// Every other call needs an open handle, which only an attached driver hands out.
template <typename Call>
FT_STATUS Forward(Call call) {
  FtdiDriver* const driver = attached;
  return driver != nullptr ? call(*driver) : kFtInvalidHandle;
}

}  // namespace

FT_EXPORT FT_STATUS FT_API FT_ResetDevice(FT_HANDLE handle) {
  return Forward([&](FtdiDriver& driver) { return driver.ResetDevice(handle); });
}

FT_EXPORT FT_STATUS FT_API FT_GetLatencyTimer(FT_HANDLE handle, unsigned char* timer) {
  if (timer == nullptr) {
    return kFtInvalidParameter;
  }
  return Forward([&](FtdiDriver& driver) { return driver.GetLatencyTimer(handle, *timer); });
}

FT_EXPORT FT_STATUS FT_API FT_SetLatencyTimer(FT_HANDLE handle, unsigned char timer) {
  return Forward([&](FtdiDriver& driver) { return driver.SetLatencyTimer(handle, timer); });
}

FT_EXPORT FT_STATUS FT_API FT_SetBaudRate(FT_HANDLE handle, DWORD baud) {
  return Forward([&](FtdiDriver& driver) { return driver.SetBaudRate(handle, baud); });
}

FT_EXPORT FT_STATUS FT_API FT_SetDataCharacteristics(FT_HANDLE handle, unsigned char wordLength,
                                                     unsigned char stopBits, unsigned char parity) {
  return Forward([&](FtdiDriver& driver) {
    return driver.SetDataCharacteristics(handle, wordLength, stopBits, parity);
  });
}

FT_EXPORT FT_STATUS FT_API FT_SetFlowControl(FT_HANDLE handle, unsigned short flowControl,
                                             unsigned char xon, unsigned char xoff) {
  return Forward(
      [&](FtdiDriver& driver) { return driver.SetFlowControl(handle, flowControl, xon, xoff); });
}

FT_EXPORT FT_STATUS FT_API FT_SetTimeouts(FT_HANDLE handle, DWORD readMs, DWORD writeMs) {
  return Forward([&](FtdiDriver& driver) { return driver.SetTimeouts(handle, readMs, writeMs); });
}

FT_EXPORT FT_STATUS FT_API FT_Purge(FT_HANDLE handle, DWORD mask) {
  return Forward([&](FtdiDriver& driver) { return driver.Purge(handle, mask); });
}

FT_EXPORT FT_STATUS FT_API FT_Write(FT_HANDLE handle, void* bytes, DWORD length, DWORD* written) {
  if (written == nullptr) {
    return kFtInvalidParameter;
  }
  *written = 0;
  return Forward([&](FtdiDriver& driver) { return driver.Write(handle, bytes, length, *written); });
}

FT_EXPORT FT_STATUS FT_API FT_GetStatus(FT_HANDLE handle, DWORD* rxQueue, DWORD* txQueue,
                                        DWORD* events) {
  if (rxQueue == nullptr || txQueue == nullptr || events == nullptr) {
    return kFtInvalidParameter;
  }
  return Forward(
      [&](FtdiDriver& driver) { return driver.GetStatus(handle, *rxQueue, *txQueue, *events); });
}

FT_EXPORT FT_STATUS FT_API FT_Read(FT_HANDLE handle, void* buffer, DWORD length, DWORD* returned) {
  if (returned == nullptr) {
    return kFtInvalidParameter;
  }
  *returned = 0;
  return Forward(
      [&](FtdiDriver& driver) { return driver.Read(handle, buffer, length, *returned); });
}

FT_EXPORT FT_STATUS FT_API FT_GetQueueStatus(FT_HANDLE handle, DWORD* rxQueue) {
  if (rxQueue == nullptr) {
    return kFtInvalidParameter;
  }
  return Forward([&](FtdiDriver& driver) { return driver.GetQueueStatus(handle, *rxQueue); });
}

FT_EXPORT FT_STATUS FT_API FT_Close(FT_HANDLE handle) {
  return Forward([&](FtdiDriver& driver) { return driver.Close(handle); });
}
