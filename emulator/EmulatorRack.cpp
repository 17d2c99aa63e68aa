#include "emulator/EmulatorRack.h"

#include <algorithm>

EmulatorRack::EmulatorRack(Clock& clock, const std::vector<EmulatorConfig>& pods) {
  for (const EmulatorConfig& config : pods) {
    pods_.push_back(std::make_unique<EmulatorDriver>(clock, config));
  }
}

bool EmulatorRack::Load() {
  return std::ranges::all_of(pods_, [](const auto& pod) { return pod->Load(); });
}

void EmulatorRack::Unload() {
  for (const auto& pod : pods_) {
    pod->Unload();
  }
}

std::string EmulatorRack::LoadError() const {
  for (const auto& pod : pods_) {
    if (!pod->LoadError().empty()) {
      return pod->LoadError();
    }
  }
  return {};
}

bool EmulatorRack::Locate(uint32_t& index, size_t& pod) {
  for (pod = 0; pod < pods_.size(); ++pod) {
    uint32_t count = 0;
    pods_[pod]->ListDeviceCount(count);
    if (index < count) {
      return true;
    }
    index -= count;
  }
  return false;
}

FtStatus EmulatorRack::ListDeviceCount(uint32_t& count) {
  const std::lock_guard lock(mutex_);
  count = 0;
  for (const auto& pod : pods_) {
    uint32_t own = 0;
    pod->ListDeviceCount(own);
    count += own;
  }
  return kFtOk;
}

FtStatus EmulatorRack::ListDeviceDescription(uint32_t index,
                                             char (&description)[kFtDescriptionSize]) {
  const std::lock_guard lock(mutex_);
  size_t pod = 0;
  return Locate(index, pod) ? pods_[pod]->ListDeviceDescription(index, description)
                            : kFtDeviceNotFound;
}

FtStatus EmulatorRack::ListDeviceSerialNumber(uint32_t index,
                                              char (&serialNumber)[kFtSerialNumberSize]) {
  const std::lock_guard lock(mutex_);
  size_t pod = 0;
  return Locate(index, pod) ? pods_[pod]->ListDeviceSerialNumber(index, serialNumber)
                            : kFtDeviceNotFound;
}

template <typename Open>
FtStatus EmulatorRack::OpenFirst(Open open, FtHandle& handle) {
  const std::lock_guard lock(mutex_);
  handle = nullptr;
  portBusy_.clear();
  FtStatus status = kFtDeviceNotFound;
  for (size_t pod = 0; pod < pods_.size() && status == kFtDeviceNotFound; ++pod) {
    FtHandle own = nullptr;
    status = open(*pods_[pod], own);
    portBusy_ = pods_[pod]->PortBusy();
    if (status == kFtOk) {
      sessions_.push_back(std::make_unique<Session>(Session{pod, own}));
      handle = sessions_.back().get();
    }
  }
  return status;
}

FtStatus EmulatorRack::OpenByDescription(const char* description, FtHandle& handle) {
  return OpenFirst(
      [&](EmulatorDriver& pod, FtHandle& own) { return pod.OpenByDescription(description, own); },
      handle);
}

FtStatus EmulatorRack::OpenBySerialNumber(const char* serialNumber, FtHandle& handle) {
  return OpenFirst(
      [&](EmulatorDriver& pod, FtHandle& own) { return pod.OpenBySerialNumber(serialNumber, own); },
      handle);
}

template <typename Call>
FtStatus EmulatorRack::OnSession(FtHandle handle, Call call) {
  Session found{};
  {
    const std::lock_guard lock(mutex_);
    const auto session = std::ranges::find_if(
        sessions_, [&](const auto& s) { return static_cast<FtHandle>(s.get()) == handle; });
    if (session == sessions_.end()) {
      return kFtInvalidHandle;
    }
    found = **session;
  }
  // Only this session's thread talks to its POD, so the call needs no lock.
  return call(*pods_[found.pod], found.handle);
}

FtStatus EmulatorRack::ResetDevice(FtHandle handle) {
  return OnSession(handle, [&](EmulatorDriver& pod, FtHandle own) { return pod.ResetDevice(own); });
}

FtStatus EmulatorRack::GetLatencyTimer(FtHandle handle, uint8_t& milliseconds) {
  return OnSession(handle, [&](EmulatorDriver& pod, FtHandle own) {
    return pod.GetLatencyTimer(own, milliseconds);
  });
}

FtStatus EmulatorRack::SetLatencyTimer(FtHandle handle, uint8_t milliseconds) {
  return OnSession(handle, [&](EmulatorDriver& pod, FtHandle own) {
    return pod.SetLatencyTimer(own, milliseconds);
  });
}

FtStatus EmulatorRack::SetBaudRate(FtHandle handle, uint32_t baud) {
  return OnSession(handle,
                   [&](EmulatorDriver& pod, FtHandle own) { return pod.SetBaudRate(own, baud); });
}

FtStatus EmulatorRack::SetDataCharacteristics(FtHandle handle, uint8_t wordLength, uint8_t stopBits,
                                              uint8_t parity) {
  return OnSession(handle, [&](EmulatorDriver& pod, FtHandle own) {
    return pod.SetDataCharacteristics(own, wordLength, stopBits, parity);
  });
}

FtStatus EmulatorRack::SetFlowControl(FtHandle handle, uint16_t flowControl, uint8_t xon,
                                      uint8_t xoff) {
  return OnSession(handle, [&](EmulatorDriver& pod, FtHandle own) {
    return pod.SetFlowControl(own, flowControl, xon, xoff);
  });
}

FtStatus EmulatorRack::SetTimeouts(FtHandle handle, uint32_t readMs, uint32_t writeMs) {
  return OnSession(handle, [&](EmulatorDriver& pod, FtHandle own) {
    return pod.SetTimeouts(own, readMs, writeMs);
  });
}

FtStatus EmulatorRack::Purge(FtHandle handle, uint32_t mask) {
  return OnSession(handle, [&](EmulatorDriver& pod, FtHandle own) { return pod.Purge(own, mask); });
}

FtStatus EmulatorRack::Write(FtHandle handle, const void* bytes, uint32_t length,
                             uint32_t& written) {
  written = 0;
  return OnSession(handle, [&](EmulatorDriver& pod, FtHandle own) {
    return pod.Write(own, bytes, length, written);
  });
}

FtStatus EmulatorRack::GetStatus(FtHandle handle, uint32_t& rxQueue, uint32_t& txQueue,
                                 uint32_t& events) {
  return OnSession(handle, [&](EmulatorDriver& pod, FtHandle own) {
    return pod.GetStatus(own, rxQueue, txQueue, events);
  });
}

FtStatus EmulatorRack::Read(FtHandle handle, void* buffer, uint32_t length, uint32_t& returned) {
  returned = 0;
  return OnSession(handle, [&](EmulatorDriver& pod, FtHandle own) {
    return pod.Read(own, buffer, length, returned);
  });
}

FtStatus EmulatorRack::GetQueueStatus(FtHandle handle, uint32_t& rxQueue) {
  return OnSession(
      handle, [&](EmulatorDriver& pod, FtHandle own) { return pod.GetQueueStatus(own, rxQueue); });
}

FtStatus EmulatorRack::Close(FtHandle handle) {
  const std::lock_guard lock(mutex_);
  const auto session = std::ranges::find_if(
      sessions_, [&](const auto& s) { return static_cast<FtHandle>(s.get()) == handle; });
  if (session == sessions_.end()) {
    return kFtInvalidHandle;
  }
  // Under the lock: an open on another thread reads whether this POD is open.
  const FtStatus status = pods_[(*session)->pod]->Close((*session)->handle);
  sessions_.erase(session);
  return status;
}

std::string EmulatorRack::PortBusy() const {
  const std::lock_guard lock(mutex_);
  return portBusy_;
}
