#include "pod/PodLink.h"

#include <cstring>

#include "pod/PodCommands.h"

PodLink::PodLink(FtdiDriver& driver, Clock& clock) : driver_(driver), clock_(clock) {}

PodLink::~PodLink() {
  UnloadDriver();
}

bool PodLink::LoadDriver() {
  if (!driverLoaded_) {
    driverLoaded_ = driver_.Load();
  }
  return driverLoaded_;
}

void PodLink::UnloadDriver() {
  if (!driverLoaded_) {
    return;
  }
  // A handle must never outlive the library that issued it.
  Close();
  driver_.Unload();
  driverLoaded_ = false;
  found_ = false;
  std::memset(description_, 0, sizeof description_);
}

bool PodLink::Find() {
  if (!driverLoaded_) {
    found_ = false;
    return false;
  }
  if (found_) {
    return true;
  }
  std::memset(description_, 0, sizeof description_);
  uint32_t count = 0;
  if (driver_.ListDeviceCount(count) == kFtOk) {
    for (uint32_t index = 0; index < count; ++index) {
      if (driver_.ListDeviceDescription(index, description_) == kFtOk) {
        description_[kFtDescriptionSize - 1] = '\0';
        if (std::strcmp(description_, kPodDescription) == 0) {
          found_ = true;
          return true;
        }
      }
      std::memset(description_, 0, sizeof description_);
    }
  }
  std::memset(description_, 0, sizeof description_);
  found_ = false;
  return false;
}

OpenStatus PodLink::Open() {
  if (open_) {
    return OpenStatus::Ok;
  }
  if (!driverLoaded_ || !found_) {
    return OpenStatus::PortFailed;
  }
  FtHandle handle = nullptr;
  if (driver_.OpenByDescription(description_, handle) != kFtOk || handle == nullptr) {
    device_ = nullptr;
    return OpenStatus::PortFailed;
  }
  device_ = handle;
  if (!ConfigurePort()) {
    ReleaseDevice();
    return OpenStatus::PortFailed;
  }
  if (!PodCommands::PingPod(*this)) {
    ReleaseDevice();
    return OpenStatus::NoAnswer;
  }
  open_ = true;
  return OpenStatus::Ok;
}

bool PodLink::ConfigurePort() {
  if (driver_.ResetDevice(device_) != kFtOk) {
    return false;
  }
  uint8_t latency = 0;
  if (driver_.GetLatencyTimer(device_, latency) != kFtOk) {
    return false;
  }
  // The bridge holds back a short reply until its latency timer expires; at the
  // usual 16 ms every command would wait that long for its "!".
  if (latency != 1 && driver_.SetLatencyTimer(device_, 1) != kFtOk) {
    return false;
  }
  constexpr uint8_t kBits8 = 8, kStopBits1 = 0, kParityNone = 0;
  constexpr uint16_t kFlowNone = 0;
  return driver_.SetBaudRate(device_, kBaudRate) == kFtOk &&
         driver_.SetDataCharacteristics(device_, kBits8, kStopBits1, kParityNone) == kFtOk &&
         driver_.SetFlowControl(device_, kFlowNone, 0, 0) == kFtOk &&
         driver_.SetTimeouts(device_, kDriverTimeoutMs, kDriverTimeoutMs) == kFtOk &&
         driver_.Purge(device_, kFtPurgeRx | kFtPurgeTx) == kFtOk;
}

void PodLink::ReleaseDevice() {
  driver_.Close(device_);
  device_ = nullptr;
}

void PodLink::Close() {
  open_ = false;
  if (device_ != nullptr) {
    driver_.Purge(device_, kFtPurgeRx | kFtPurgeTx);
    ReleaseDevice();
  }
}

void PodLink::Purge() {
  if (device_ != nullptr) {
    driver_.Purge(device_, kFtPurgeRx | kFtPurgeTx);
  }
}

bool PodLink::Write(const void* bytes, uint32_t length, uint32_t timeoutMs) {
  if (device_ == nullptr) {
    return false;
  }
  uint32_t written = 0;
  // A write cut short by the driver's time-out lost part of a frame.
  if (driver_.Write(device_, bytes, length, written) != kFtOk || written != length) {
    return false;
  }
  uint32_t rxQueue = 0, txQueue = 0, events = 0;
  if (driver_.GetStatus(device_, rxQueue, txQueue, events) != kFtOk) {
    return false;
  }
  const uint32_t deadline = clock_.NowMs() + timeoutMs;
  while (txQueue > 0 && !TickReached(clock_.NowMs(), deadline)) {
    if (driver_.GetStatus(device_, rxQueue, txQueue, events) != kFtOk) {
      return false;
    }
  }
  return txQueue == 0;
}

bool PodLink::Read(void* buffer, uint32_t count, uint32_t firstByteTimeoutMs) {
  if (device_ == nullptr) {
    return false;
  }
  if (count == 0) {
    return true;  // nothing to wait for, and no room for even one byte
  }
  auto* bytes = static_cast<uint8_t*>(buffer);
  uint32_t received = 0;
  uint32_t limit = firstByteTimeoutMs;
  // A silence starts at the first empty driver read after a byte (or at the
  // start) and is judged only from its second empty read on, so that one driver
  // read time-out alone never ends a reply.
  bool silent = false;
  bool silenceJudged = false;
  uint32_t silenceStart = 0;
  uint32_t lastSilent = 0;
  while (true) {
    uint32_t returned = 0;
    if (driver_.Read(device_, bytes + received, 1, returned) != kFtOk) {
      return false;
    }
    if (returned == 1) {
      ++received;
      limit = kInterByteTimeoutMs;
      silent = false;
      silenceJudged = false;
    } else {
      if (!silent) {
        silent = true;
        silenceStart = clock_.NowMs();
      } else {
        silenceJudged = true;
        lastSilent = clock_.NowMs();
      }
      clock_.SleepMs(1);
    }
    uint32_t waiting = 0;
    if (driver_.GetQueueStatus(device_, waiting) != kFtOk) {
      return false;
    }
    if (received >= count) {
      return true;
    }
    if (waiting == 0 && silenceJudged && TickReached(lastSilent, silenceStart + limit)) {
      return false;
    }
  }
}

bool PodLink::QueuedInput(uint32_t& waiting) {
  waiting = 0;
  return device_ != nullptr && driver_.GetQueueStatus(device_, waiting) == kFtOk;
}
