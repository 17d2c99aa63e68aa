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
// The vendor's buffer for a listed description or serial number.
constexpr size_t kListTextSize = 64;
using FtHandle = void*;

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

struct D2xxApi {
  PortStatus(BFX_FTAPI* listDevices)(void*, void*, uint32_t);
  PortStatus(BFX_FTAPI* openEx)(void*, uint32_t, FtHandle*);
  PortStatus(BFX_FTAPI* resetDevice)(FtHandle);
  PortStatus(BFX_FTAPI* getLatencyTimer)(FtHandle, uint8_t*);
  PortStatus(BFX_FTAPI* setLatencyTimer)(FtHandle, uint8_t);
  PortStatus(BFX_FTAPI* setBaudRate)(FtHandle, uint32_t);
  PortStatus(BFX_FTAPI* setDataCharacteristics)(FtHandle, uint8_t, uint8_t, uint8_t);
  PortStatus(BFX_FTAPI* setFlowControl)(FtHandle, uint16_t, uint8_t, uint8_t);
  PortStatus(BFX_FTAPI* setTimeouts)(FtHandle, uint32_t, uint32_t);
  PortStatus(BFX_FTAPI* purge)(FtHandle, uint32_t);
  PortStatus(BFX_FTAPI* write)(FtHandle, void*, uint32_t, uint32_t*);
  PortStatus(BFX_FTAPI* getStatus)(FtHandle, uint32_t*, uint32_t*, uint32_t*);
  PortStatus(BFX_FTAPI* read)(FtHandle, void*, uint32_t, uint32_t*);
  PortStatus(BFX_FTAPI* getQueueStatus)(FtHandle, uint32_t*);
  PortStatus(BFX_FTAPI* close)(FtHandle);

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
  auto api = std::make_shared<D2xxApi>();
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

std::vector<PortDetails> D2xxDriver::ListPorts() {
  std::vector<PortDetails> ports;
  uint32_t count = 0;
  if (!api_ || api_->listDevices(&count, nullptr, kListNumberOnly) != kPortOk) {
    return ports;
  }
  for (uint32_t index = 0; index < count; ++index) {
    PortDetails port;
    if (!ListByIndex(index, kOpenByDescription, port.description)) {
      continue;
    }
    ListByIndex(index, kOpenBySerialNumber, port.serialNumber);
    port.port = "#" + std::to_string(index);
    ports.push_back(std::move(port));
  }
  return ports;
}

bool D2xxDriver::ListByIndex(uint32_t index, uint32_t field, std::string& text) {
  char buffer[kListTextSize] = {};
  // By index, the index itself travels in the pointer argument.
  const PortStatus status = api_->listDevices(
      reinterpret_cast<void*>(static_cast<uintptr_t>(index)), buffer, kListByIndex | field);
  buffer[kListTextSize - 1] = '\0';
  text = status == kPortOk ? buffer : "";
  return status == kPortOk;
}

namespace {

// An open D2XX device. It keeps the library's functions for as long as it is
// open, so that it never calls into a driver that has let go of them.
class D2xxPort final : public Port {
 public:
  D2xxPort(std::shared_ptr<const D2xxApi> api, FtHandle handle)
      : api_(std::move(api)), handle_(handle) {}
  ~D2xxPort() override { api_->close(handle_); }

  // The vendor's sequence: reset, speed, framing, flow control, time-outs.
  PortStatus Configure(const PortSettings& line) override {
    constexpr uint16_t kFlowNone = 0x0000, kFlowRtsCts = 0x0100;
    constexpr uint8_t kStopBitsOne = 0, kStopBitsTwo = 2;
    const PortStatus statuses[] = {
        api_->resetDevice(handle_),
        api_->setBaudRate(handle_, line.baud),
        api_->setDataCharacteristics(handle_, line.dataBits,
                                     line.stopBits == 2 ? kStopBitsTwo : kStopBitsOne,
                                     static_cast<uint8_t>(line.parity)),
        api_->setFlowControl(handle_, line.handshake ? kFlowRtsCts : kFlowNone, 0, 0),
        api_->setTimeouts(handle_, line.readTimeoutMs, line.writeTimeoutMs),
    };
    for (const PortStatus status : statuses) {
      if (status != kPortOk) {
        return status;
      }
    }
    return kPortOk;
  }
  PortStatus GetLatency(uint8_t& milliseconds) override {
    return api_->getLatencyTimer(handle_, &milliseconds);
  }
  PortStatus SetLatency(uint8_t milliseconds) override {
    return api_->setLatencyTimer(handle_, milliseconds);
  }
  PortStatus Write(const void* bytes, uint32_t length, uint32_t& written) override {
    written = 0;
    // The vendor declares the buffer non-const but only reads it.
    return api_->write(handle_, const_cast<void*>(bytes), length, &written);
  }
  PortStatus Read(void* buffer, uint32_t length, uint32_t& returned) override {
    returned = 0;
    return api_->read(handle_, buffer, length, &returned);
  }
  PortStatus BytesWaiting(uint32_t& received) override {
    return api_->getQueueStatus(handle_, &received);
  }
  PortStatus BytesUnsent(uint32_t& unsent) override {
    uint32_t received = 0, events = 0;
    return api_->getStatus(handle_, &received, &unsent, &events);
  }
  PortStatus Purge(uint32_t which) override { return api_->purge(handle_, which); }

 private:
  std::shared_ptr<const D2xxApi> api_;
  FtHandle handle_;
};

}  // namespace

PortStatus D2xxDriver::Open(const PortKey& key, std::unique_ptr<Port>& port) {
  port.reset();
  if (!api_) {
    return kPortOtherError;
  }
  const uint32_t field =
      key.by == PortKey::By::SerialNumber ? kOpenBySerialNumber : kOpenByDescription;
  FtHandle handle = nullptr;
  const PortStatus status = api_->openEx(const_cast<char*>(key.text.c_str()), field, &handle);
  if (status == kPortOk && handle != nullptr) {
    port = std::make_unique<D2xxPort>(api_, handle);
  }
  return status;
}
