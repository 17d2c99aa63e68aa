// The D2XX functions, declared from the vendor's published API: status and
// double words are 32-bit unsigned on every platform, handles are pointers,
// and on Windows the functions use the stdcall convention.
#include "tests/support/ftd2xx_emulator/Ftd2xxEmulator.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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
// What the link's buffers for a listed description or serial number hold.
constexpr size_t kListTextSize = 64;

// D2XX's codes for the data characteristics.
constexpr unsigned char kOneStopBit = 0;
constexpr unsigned char kTwoStopBits = 2;
constexpr unsigned char kLastParity = 4;  // none, odd, even, mark, space

// An open port and the line its D2XX calls have set up so far: each of those
// calls changes one part and configures the port with the whole.
struct OpenPort {
  std::unique_ptr<Port> port;
  PortSettings settings;
};

// The attached driver and the ports opened through it, keyed by the handle
// given out. Calls on one handle come from one thread at a time, as the
// vendor's library requires, so a port is used outside the lock.
std::mutex mutex;
PortDriver* attached = nullptr;
std::map<FT_HANDLE, OpenPort> ports;

OpenPort* Find(FT_HANDLE handle) {
  const std::lock_guard lock(mutex);
  const auto found = ports.find(handle);
  return found != ports.end() ? &found->second : nullptr;
}

template <typename Call>
FT_STATUS OnPort(FT_HANDLE handle, Call call) {
  OpenPort* const open = Find(handle);
  return open != nullptr ? call(*open) : kPortInvalidHandle;
}

// Configures the port with its settings as `change` leaves them; they are
// kept only when the port takes them, as a rejected D2XX call changes nothing.
template <typename Change>
FT_STATUS Reconfigure(FT_HANDLE handle, Change change) {
  return OnPort(handle, [&](OpenPort& open) {
    PortSettings settings = open.settings;
    change(settings);
    const PortStatus status = open.port->Configure(settings);
    if (status == kPortOk) {
      open.settings = settings;
    }
    return status;
  });
}

}  // namespace

FT_EXPORT void BrontaflexAttachDriver(PortDriver* driver) {
  const std::lock_guard lock(mutex);
  // The ports of the driver attached so far close while it is still there.
  ports.clear();
  attached = driver;
}

FT_EXPORT FT_STATUS FT_API FT_ListDevices(void* arg1, void* arg2, DWORD flags) {
  const bool byIndex =
      flags == (kListByIndex | kOpenByDescription) || flags == (kListByIndex | kOpenBySerialNumber);
  // Serial numbers, locations and whole lists are not needed by the link.
  if (flags != kListNumberOnly && !byIndex) {
    return kPortInvalidParameter;
  }
  if ((flags == kListNumberOnly ? arg1 : arg2) == nullptr) {
    return kPortInvalidParameter;
  }
  std::vector<PortDetails> listed;
  {
    const std::lock_guard lock(mutex);
    if (attached != nullptr) {
      listed = attached->ListPorts();
    } else if (byIndex) {
      return kPortNotFound;
    }
  }
  if (flags == kListNumberOnly) {
    *static_cast<DWORD*>(arg1) = static_cast<DWORD>(listed.size());
    return kPortOk;
  }
  // The index travels in the pointer argument itself.
  const auto index = static_cast<size_t>(reinterpret_cast<uintptr_t>(arg1));
  if (index >= listed.size()) {
    return kPortNotFound;
  }
  const std::string& text =
      (flags & kOpenBySerialNumber) != 0 ? listed[index].serialNumber : listed[index].description;
  auto* out = static_cast<char*>(arg2);
  out[text.copy(out, kListTextSize - 1)] = '\0';
  return kPortOk;
}

FT_EXPORT FT_STATUS FT_API FT_OpenEx(void* arg1, DWORD flags, FT_HANDLE* handle) {
  if (handle == nullptr || arg1 == nullptr ||
      (flags != kOpenByDescription && flags != kOpenBySerialNumber)) {
    return kPortInvalidParameter;
  }
  *handle = nullptr;
  const std::lock_guard lock(mutex);
  if (attached == nullptr) {
    return kPortNotFound;
  }
  const PortKey key{
      flags == kOpenBySerialNumber ? PortKey::By::SerialNumber : PortKey::By::Description,
      static_cast<const char*>(arg1)};
  std::unique_ptr<Port> port;
  const PortStatus status = attached->Open(key, port);
  if (status == kPortOk) {
    *handle = port.get();
    ports[*handle].port = std::move(port);
  }
  return status;
}

FT_EXPORT FT_STATUS FT_API FT_ResetDevice(FT_HANDLE handle) {
  return Reconfigure(handle, [](PortSettings&) {});
}

FT_EXPORT FT_STATUS FT_API FT_GetLatencyTimer(FT_HANDLE handle, unsigned char* timer) {
  if (timer == nullptr) {
    return kPortInvalidParameter;
  }
  return OnPort(handle, [&](OpenPort& open) { return open.port->GetLatency(*timer); });
}

FT_EXPORT FT_STATUS FT_API FT_SetLatencyTimer(FT_HANDLE handle, unsigned char timer) {
  return OnPort(handle, [&](OpenPort& open) { return open.port->SetLatency(timer); });
}

FT_EXPORT FT_STATUS FT_API FT_SetBaudRate(FT_HANDLE handle, DWORD baud) {
  return Reconfigure(handle, [&](PortSettings& settings) { settings.baud = baud; });
}

FT_EXPORT FT_STATUS FT_API FT_SetDataCharacteristics(FT_HANDLE handle, unsigned char wordLength,
                                                     unsigned char stopBits, unsigned char parity) {
  if ((stopBits != kOneStopBit && stopBits != kTwoStopBits) || parity > kLastParity) {
    return kPortInvalidParameter;
  }
  return Reconfigure(handle, [&](PortSettings& settings) {
    settings.dataBits = wordLength;
    settings.stopBits = stopBits == kTwoStopBits ? 2 : 1;
    settings.parity = static_cast<Parity>(parity);
  });
}

FT_EXPORT FT_STATUS FT_API FT_SetFlowControl(FT_HANDLE handle, unsigned short flowControl,
                                             unsigned char, unsigned char) {
  return Reconfigure(handle,
                     [&](PortSettings& settings) { settings.handshake = flowControl != 0; });
}

FT_EXPORT FT_STATUS FT_API FT_SetTimeouts(FT_HANDLE handle, DWORD readMs, DWORD writeMs) {
  return Reconfigure(handle, [&](PortSettings& settings) {
    settings.readTimeoutMs = readMs;
    settings.writeTimeoutMs = writeMs;
  });
}

FT_EXPORT FT_STATUS FT_API FT_Purge(FT_HANDLE handle, DWORD mask) {
  return OnPort(handle, [&](OpenPort& open) { return open.port->Purge(mask); });
}

FT_EXPORT FT_STATUS FT_API FT_Write(FT_HANDLE handle, void* bytes, DWORD length, DWORD* written) {
  if (written == nullptr) {
    return kPortInvalidParameter;
  }
  *written = 0;
  return OnPort(handle, [&](OpenPort& open) { return open.port->Write(bytes, length, *written); });
}

FT_EXPORT FT_STATUS FT_API FT_GetStatus(FT_HANDLE handle, DWORD* rxQueue, DWORD* txQueue,
                                        DWORD* events) {
  if (rxQueue == nullptr || txQueue == nullptr || events == nullptr) {
    return kPortInvalidParameter;
  }
  return OnPort(handle, [&](OpenPort& open) {
    PortStatus status = open.port->BytesWaiting(*rxQueue);
    if (status == kPortOk) {
      status = open.port->BytesUnsent(*txQueue);
    }
    if (status == kPortOk) {
      *events = 0;
    }
    return status;
  });
}

FT_EXPORT FT_STATUS FT_API FT_Read(FT_HANDLE handle, void* buffer, DWORD length, DWORD* returned) {
  if (returned == nullptr) {
    return kPortInvalidParameter;
  }
  *returned = 0;
  return OnPort(handle, [&](OpenPort& open) { return open.port->Read(buffer, length, *returned); });
}

FT_EXPORT FT_STATUS FT_API FT_GetQueueStatus(FT_HANDLE handle, DWORD* rxQueue) {
  if (rxQueue == nullptr) {
    return kPortInvalidParameter;
  }
  return OnPort(handle, [&](OpenPort& open) { return open.port->BytesWaiting(*rxQueue); });
}

FT_EXPORT FT_STATUS FT_API FT_Close(FT_HANDLE handle) {
  const std::lock_guard lock(mutex);
  return ports.erase(handle) == 1 ? kPortOk : kPortInvalidHandle;
}
