#include "emulator/EmulatorDriver.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

constexpr uint64_t kNsPerMs = 1'000'000;
// Handles are opaque tokens; a fresh one per open makes a stale handle fail.
constexpr uintptr_t kHandleBase = 0xB0D0000;

}  // namespace

EmulatorDriver::EmulatorDriver(Clock& clock, EmulatorConfig config)
    : clock_(clock),
      config_(std::move(config)),
      firmware_(config_.pod, config_.timing),
      lastTickMs_(clock.NowMs()) {
  line_.latencyMs = config_.initialLatencyMs;
}

EmulatorDriver::~EmulatorDriver() {
  Store().Save();
}

bool EmulatorDriver::Load() {
  return LoadError().empty();
}

void EmulatorDriver::Unload() {
  Store().Save();
}

uint64_t EmulatorDriver::NowNs() {
  const uint32_t tick = clock_.NowMs();
  // Unsigned difference: correct across a wrap of the 32-bit tick.
  clockNs_ += uint64_t{static_cast<uint32_t>(tick - lastTickMs_)} * kNsPerMs;
  lastTickMs_ = tick;
  nowNs_ = clockNs_ + aheadNs_;
  return nowNs_;
}

void EmulatorDriver::WaitUntil(uint64_t ns) {
  if (ns <= NowNs()) {
    return;
  }
  const uint64_t due = ns - clockNs_;
  aheadNs_ = due % kNsPerMs;
  if (due >= kNsPerMs) {
    clock_.SleepMs(static_cast<uint32_t>(due / kNsPerMs));
  }
  // A real clock may oversleep; the model then simply is later.
  NowNs();
}

void EmulatorDriver::Advance() {
  const uint64_t now = NowNs();
  while (plugged_ && !toPod_.empty() && toPod_.front().atNs <= now) {
    const TimedByte received = toPod_.front();
    toPod_.pop_front();
    const auto response = firmware_.Receive(received.byte, received.atNs);
    if (!response) {
      continue;
    }
    if (response->unplug) {
      Unplug();
      return;
    }
    QueueReply(*response, received.atNs);
  }
}

void EmulatorDriver::QueueReply(const PodFirmware::Response& response, uint64_t frameEndNs) {
  // The POD works on one frame at a time, in the order they came.
  const uint64_t done = std::max(frameEndNs, podFreeNs_) + response.busyNs;
  podFreeNs_ = done;
  if (response.reply.empty()) {
    return;
  }
  const uint64_t sent =
      std::max(done, rxLineFreeNs_) + config_.timing.ByteNs() * response.reply.size();
  rxLineFreeNs_ = sent;
  // The bridge holds a short reply back until its latency timer runs out.
  const uint64_t arrives = sent + (config_.timing.enabled ? line_.latencyMs * kNsPerMs : 0);
  for (const char byte : response.reply) {
    toPc_.push_back({byte, arrives});
  }
}

uint32_t EmulatorDriver::ArrivedCount(uint64_t nowNs) const {
  const auto pending = std::find_if(toPc_.begin(), toPc_.end(),
                                    [nowNs](const TimedByte& byte) { return byte.atNs > nowNs; });
  return static_cast<uint32_t>(pending - toPc_.begin());
}

FtStatus EmulatorDriver::Ready(FtHandle handle) {
  if (!open_ || handle != reinterpret_cast<FtHandle>(kHandleBase + handleToken_)) {
    return kFtInvalidHandle;
  }
  if (plugged_) {
    Advance();
  }
  return plugged_ ? kFtOk : kFtIoError;
}

bool EmulatorDriver::LineSetUp() const {
  return line_.baud == kPodBaud && line_.wordLength == 8 && line_.stopBits == 0 &&
         line_.parity == 0;
}

void EmulatorDriver::DropQueues() {
  toPod_.clear();
  toPc_.clear();
}

std::vector<size_t> EmulatorDriver::PresentDevices() const {
  std::vector<size_t> present;
  for (size_t index = 0; index < config_.devices.size(); ++index) {
    if (plugged_ || index != config_.podIndex) {
      present.push_back(index);
    }
  }
  return present;
}

FtStatus EmulatorDriver::ListDeviceCount(uint32_t& count) {
  count = static_cast<uint32_t>(PresentDevices().size());
  return kFtOk;
}

FtStatus EmulatorDriver::ListField(uint32_t index, const std::function<std::string(size_t)>& field,
                                   char (&text)[kFtDescriptionSize]) const {
  const auto present = PresentDevices();
  if (index >= present.size()) {
    return kFtDeviceNotFound;
  }
  std::memset(text, 0, kFtDescriptionSize);
  field(present[index]).copy(text, kFtDescriptionSize - 1);
  return kFtOk;
}

FtStatus EmulatorDriver::ListDeviceDescription(uint32_t index,
                                               char (&description)[kFtDescriptionSize]) {
  return ListField(
      index, [this](size_t device) { return config_.devices[device]; }, description);
}

FtStatus EmulatorDriver::ListDeviceSerialNumber(uint32_t index,
                                                char (&serialNumber)[kFtSerialNumberSize]) {
  return ListField(
      index, [this](size_t device) { return config_.SerialNumberOf(device); }, serialNumber);
}

FtStatus EmulatorDriver::OpenByDescription(const char* description, FtHandle& handle) {
  return OpenFirst([&](size_t device) { return config_.devices[device] == description; },
                   description, handle);
}

FtStatus EmulatorDriver::OpenBySerialNumber(const char* serialNumber, FtHandle& handle) {
  return OpenFirst([&](size_t device) { return config_.SerialNumberOf(device) == serialNumber; },
                   serialNumber, handle);
}

FtStatus EmulatorDriver::OpenFirst(const std::function<bool(size_t)>& matches, const char* key,
                                   FtHandle& handle) {
  handle = nullptr;
  portBusy_.clear();
  if (key == nullptr) {
    return kFtInvalidParameter;
  }
  // Like the vendor driver, the first device that matches is the one opened.
  for (size_t index = 0; index < config_.devices.size(); ++index) {
    const bool isPod = index == config_.podIndex;
    if ((isPod && !plugged_) || !matches(index)) {
      continue;
    }
    // Another program holds every other device; the POD can be opened once,
    // and by one process at a time when its state lives in a file.
    if (!isPod || open_ || !Store().Claim(portBusy_)) {
      return kFtDeviceNotOpened;
    }
    open_ = true;
    ++handleToken_;
    const uint8_t latency = line_.latencyMs;
    const uint32_t latencyWrites = line_.latencyWrites;
    line_ = LineSettings{};
    line_.latencyMs = latency;
    line_.latencyWrites = latencyWrites;
    DropQueues();
    handle = reinterpret_cast<FtHandle>(kHandleBase + handleToken_);
    return kFtOk;
  }
  return kFtDeviceNotFound;
}

FtStatus EmulatorDriver::ResetDevice(FtHandle handle) {
  return Purge(handle, kFtPurgeRx | kFtPurgeTx);
}

FtStatus EmulatorDriver::GetLatencyTimer(FtHandle handle, uint8_t& milliseconds) {
  const FtStatus status = Ready(handle);
  if (status == kFtOk) {
    milliseconds = line_.latencyMs;
  }
  return status;
}

FtStatus EmulatorDriver::SetLatencyTimer(FtHandle handle, uint8_t milliseconds) {
  const FtStatus status = Ready(handle);
  if (status != kFtOk) {
    return status;
  }
  if (milliseconds == 0) {
    return kFtInvalidParameter;
  }
  line_.latencyMs = milliseconds;
  ++line_.latencyWrites;
  return kFtOk;
}

FtStatus EmulatorDriver::SetBaudRate(FtHandle handle, uint32_t baud) {
  const FtStatus status = Ready(handle);
  if (status != kFtOk) {
    return status;
  }
  if (baud == 0) {
    return kFtInvalidParameter;
  }
  line_.baud = baud;
  return kFtOk;
}

FtStatus EmulatorDriver::SetDataCharacteristics(FtHandle handle, uint8_t wordLength,
                                                uint8_t stopBits, uint8_t parity) {
  const FtStatus status = Ready(handle);
  if (status != kFtOk) {
    return status;
  }
  // 7 or 8 data bits; stop bits 0 (one) or 2 (two); parity none, odd, even, mark, space.
  if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != 2) || parity > 4) {
    return kFtInvalidParameter;
  }
  line_.wordLength = wordLength;
  line_.stopBits = stopBits;
  line_.parity = parity;
  return kFtOk;
}

FtStatus EmulatorDriver::SetFlowControl(FtHandle handle, uint16_t flowControl, uint8_t, uint8_t) {
  const FtStatus status = Ready(handle);
  if (status == kFtOk) {
    line_.flowControl = flowControl;
  }
  return status;
}

FtStatus EmulatorDriver::SetTimeouts(FtHandle handle, uint32_t readMs, uint32_t writeMs) {
  const FtStatus status = Ready(handle);
  if (status == kFtOk) {
    line_.readTimeoutMs = readMs;
    line_.writeTimeoutMs = writeMs;
  }
  return status;
}

FtStatus EmulatorDriver::Purge(FtHandle handle, uint32_t mask) {
  const FtStatus status = Ready(handle);
  if (status != kFtOk) {
    return status;
  }
  // Only what has arrived can be discarded; a reply still on its way comes later.
  if ((mask & kFtPurgeRx) != 0) {
    toPc_.erase(toPc_.begin(), toPc_.begin() + ArrivedCount(nowNs_));
  }
  // Bytes not yet on the wire never reach the POD.
  if ((mask & kFtPurgeTx) != 0) {
    toPod_.clear();
    txLineFreeNs_ = nowNs_;
  }
  return kFtOk;
}

FtStatus EmulatorDriver::Write(FtHandle handle, const void* bytes, uint32_t length,
                               uint32_t& written) {
  written = 0;
  const FtStatus status = Ready(handle);
  if (status != kFtOk) {
    return status;
  }
  if (bytes == nullptr && length > 0) {
    return kFtInvalidParameter;
  }
  const auto* data = static_cast<const char*>(bytes);
  if (!LineSetUp()) {
    firmware_.RecordGarbled(std::string_view(data, length), nowNs_);
    written = length;
    return kFtOk;
  }
  // Like the vendor driver's, the write returns once its bytes have left; what
  // has not gone out when the write time-out runs out is not sent.
  const uint64_t byteNs = config_.timing.ByteNs();
  const uint64_t deadline =
      line_.writeTimeoutMs > 0 ? nowNs_ + uint64_t{line_.writeTimeoutMs} * kNsPerMs : UINT64_MAX;
  uint64_t at = std::max(nowNs_, txLineFreeNs_);
  while (written < length && at + byteNs <= deadline) {
    at += byteNs;
    toPod_.push_back({data[written++], at});
  }
  txLineFreeNs_ = at;
  WaitUntil(written == length ? at : deadline);
  Advance();
  return plugged_ ? kFtOk : kFtIoError;
}

FtStatus EmulatorDriver::GetStatus(FtHandle handle, uint32_t& rxQueue, uint32_t& txQueue,
                                   uint32_t& events) {
  const FtStatus status = Ready(handle);
  if (status != kFtOk) {
    return status;
  }
  rxQueue = ArrivedCount(nowNs_);
  txQueue = static_cast<uint32_t>(toPod_.size());
  events = 0;
  return kFtOk;
}

FtStatus EmulatorDriver::Read(FtHandle handle, void* buffer, uint32_t length, uint32_t& returned) {
  returned = 0;
  FtStatus status = Ready(handle);
  if (status != kFtOk) {
    return status;
  }
  if (buffer == nullptr && length > 0) {
    return kFtInvalidParameter;
  }
  auto* out = static_cast<char*>(buffer);
  const bool timed = line_.readTimeoutMs > 0;
  const uint64_t deadline = nowNs_ + uint64_t{line_.readTimeoutMs} * kNsPerMs;
  for (;;) {
    while (returned < length && !toPc_.empty() && toPc_.front().atNs <= nowNs_) {
      out[returned++] = toPc_.front().byte;
      toPc_.pop_front();
    }
    if (returned == length || (timed && nowNs_ >= deadline)) {
      return kFtOk;
    }
    uint64_t wake = timed ? deadline : UINT64_MAX;
    if (!toPod_.empty()) {
      wake = std::min(wake, toPod_.front().atNs);
    }
    if (!toPc_.empty()) {
      wake = std::min(wake, toPc_.front().atNs);
    }
    // Without a time-out the vendor driver would wait for ever; nothing is on
    // its way, so give back what there is rather than hang.
    if (wake == UINT64_MAX) {
      return kFtOk;
    }
    WaitUntil(wake);
    Advance();
    if (!plugged_) {
      return kFtIoError;
    }
  }
}

FtStatus EmulatorDriver::GetQueueStatus(FtHandle handle, uint32_t& rxQueue) {
  const FtStatus status = Ready(handle);
  if (status == kFtOk) {
    rxQueue = ArrivedCount(nowNs_);
  }
  return status;
}

FtStatus EmulatorDriver::Close(FtHandle handle) {
  if (!open_ || handle != reinterpret_cast<FtHandle>(kHandleBase + handleToken_)) {
    return kFtInvalidHandle;
  }
  open_ = false;
  DropQueues();
  Store().SaveInBackground();
  Store().Release();
  return kFtOk;
}

void EmulatorDriver::Unplug() {
  plugged_ = false;
  DropQueues();
  Store().SaveInBackground();
  Store().Release();
}

void EmulatorDriver::Replug() {
  if (plugged_) {
    return;
  }
  plugged_ = true;
  // A fresh bridge: no handle of the old one works, its settings are the defaults.
  open_ = false;
  line_ = LineSettings{};
  line_.latencyMs = config_.initialLatencyMs;
  firmware_.PowerCycle();
}
