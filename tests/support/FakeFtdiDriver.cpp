#include "tests/support/FakeFtdiDriver.h"

#include <algorithm>
#include <cstring>

void FakeFtdiDriver::QueueReply(std::string_view bytes, uint32_t delayMs, uint32_t gapMs) {
  uint32_t at = clock_.NowMs() + delayMs;
  for (char c : bytes) {
    rx_.push_back({static_cast<uint8_t>(c), at});
    at += gapMs;
  }
}

void FakeFtdiDriver::AnswerEveryWrite(std::string reply) {
  onWrite = [this, reply = std::move(reply)](std::string_view) { QueueReply(reply); };
}

FtStatus FakeFtdiDriver::Enter(const std::string& call, bool logged) {
  if (logged) {
    calls.push_back(call);
  }
  const std::string name = call.substr(0, call.find(' '));
  for (const std::string& key : {call, name}) {
    if (const auto failure = failures.find(key); failure != failures.end()) {
      return failure->second;
    }
  }
  return kFtOk;
}

FtStatus FakeFtdiDriver::EnterWithHandle(const std::string& call, FtHandle handle, bool logged) {
  const FtStatus status = Enter(call, logged);
  if (status != kFtOk) {
    return status;
  }
  return handles_.contains(handle) ? kFtOk : kFtInvalidHandle;
}

uint32_t FakeFtdiDriver::ArrivedBytes() const {
  return static_cast<uint32_t>(std::count_if(rx_.begin(), rx_.end(), [&](const Incoming& in) {
    return TickReached(clock_.NowMs(), in.arrivesAt);
  }));
}

bool FakeFtdiDriver::Load() {
  calls.push_back("Load");
  return loads;
}

void FakeFtdiDriver::Unload() {
  calls.push_back("Unload");
}

FtStatus FakeFtdiDriver::ListDeviceCount(uint32_t& count) {
  ++listCountCalls;
  count = 0;
  const FtStatus status = Enter("ListDeviceCount");
  if (status == kFtOk) {
    count = static_cast<uint32_t>(devices.size());
  }
  return status;
}

FtStatus FakeFtdiDriver::ListText(const std::string& call, uint32_t index,
                                  const std::function<std::string(size_t)>& field,
                                  char (&text)[kFtDescriptionSize]) {
  FtStatus status = Enter(call + " " + std::to_string(index));
  if (status == kFtOk && index >= devices.size()) {
    status = kFtDeviceNotFound;
  }
  if (status != kFtOk) {
    return status;
  }
  std::memset(text, 0, kFtDescriptionSize);
  field(index).copy(text, kFtDescriptionSize - 1);
  return kFtOk;
}

FtStatus FakeFtdiDriver::ListDeviceDescription(uint32_t index,
                                               char (&description)[kFtDescriptionSize]) {
  return ListText(
      "ListDeviceDescription", index, [this](size_t device) { return devices[device]; },
      description);
}

FtStatus FakeFtdiDriver::ListDeviceSerialNumber(uint32_t index,
                                                char (&serialNumber)[kFtSerialNumberSize]) {
  return ListText(
      "ListDeviceSerialNumber", index, [this](size_t device) { return SerialNumberOf(device); },
      serialNumber);
}

std::string FakeFtdiDriver::SerialNumberOf(size_t index) const {
  return index < serialNumbers.size() ? serialNumbers[index] : "FAKE" + std::to_string(index);
}

FtStatus FakeFtdiDriver::OpenByDescription(const char* description, FtHandle& handle) {
  const bool present = std::find(devices.begin(), devices.end(), description) != devices.end();
  return OpenIf(std::string("OpenByDescription ") + description, present, handle);
}

FtStatus FakeFtdiDriver::OpenBySerialNumber(const char* serialNumber, FtHandle& handle) {
  bool present = false;
  for (size_t index = 0; index < devices.size(); ++index) {
    present = present || SerialNumberOf(index) == serialNumber;
  }
  return OpenIf(std::string("OpenBySerialNumber ") + serialNumber, present, handle);
}

FtStatus FakeFtdiDriver::OpenIf(const std::string& call, bool present, FtHandle& handle) {
  FtStatus status = Enter(call);
  if (status == kFtOk && !present) {
    status = kFtDeviceNotFound;
  }
  if (status != kFtOk) {
    return status;
  }
  handle = reinterpret_cast<FtHandle>(static_cast<uintptr_t>(nextHandle_++));
  handles_.insert(handle);
  return kFtOk;
}

FtStatus FakeFtdiDriver::ResetDevice(FtHandle handle) {
  return EnterWithHandle("ResetDevice", handle);
}

FtStatus FakeFtdiDriver::GetLatencyTimer(FtHandle handle, uint8_t& milliseconds) {
  const FtStatus status = EnterWithHandle("GetLatencyTimer", handle);
  if (status == kFtOk) {
    milliseconds = latencyMs;
  }
  return status;
}

FtStatus FakeFtdiDriver::SetLatencyTimer(FtHandle handle, uint8_t milliseconds) {
  const FtStatus status =
      EnterWithHandle("SetLatencyTimer " + std::to_string(milliseconds), handle);
  if (status == kFtOk && !latencyIgnored) {
    latencyMs = milliseconds;
  }
  return status;
}

FtStatus FakeFtdiDriver::SetBaudRate(FtHandle handle, uint32_t baud) {
  return EnterWithHandle("SetBaudRate " + std::to_string(baud), handle);
}

FtStatus FakeFtdiDriver::SetDataCharacteristics(FtHandle handle, uint8_t wordLength,
                                                uint8_t stopBits, uint8_t parity) {
  return EnterWithHandle("SetDataCharacteristics " + std::to_string(wordLength) + "," +
                             std::to_string(stopBits) + "," + std::to_string(parity),
                         handle);
}

FtStatus FakeFtdiDriver::SetFlowControl(FtHandle handle, uint16_t flowControl, uint8_t, uint8_t) {
  return EnterWithHandle("SetFlowControl " + std::to_string(flowControl), handle);
}

FtStatus FakeFtdiDriver::SetTimeouts(FtHandle handle, uint32_t readMs, uint32_t writeMs) {
  const FtStatus status = EnterWithHandle(
      "SetTimeouts " + std::to_string(readMs) + "," + std::to_string(writeMs), handle);
  if (status == kFtOk) {
    readTimeoutMs_ = readMs;
  }
  return status;
}

FtStatus FakeFtdiDriver::Purge(FtHandle handle, uint32_t mask) {
  const FtStatus status = EnterWithHandle("Purge " + std::to_string(mask), handle);
  if (status == kFtOk && (mask & kFtPurgeRx)) {
    rx_.clear();
  }
  if (status == kFtOk && (mask & kFtPurgeTx)) {
    txBytes_ = 0;
  }
  return status;
}

FtStatus FakeFtdiDriver::Write(FtHandle handle, const void* bytes, uint32_t length,
                               uint32_t& written) {
  written = 0;
  const FtStatus status = EnterWithHandle("Write", handle, false);
  if (status != kFtOk) {
    return status;
  }
  const std::string_view data(static_cast<const char*>(bytes), length);
  writes.emplace_back(data);
  written = length - std::min(length, shortWriteBy);
  txBytes_ = written;
  txDrainsAt_ = clock_.NowMs() + drainMs;
  if (onWrite) {
    onWrite(data);
  }
  return kFtOk;
}

FtStatus FakeFtdiDriver::GetStatus(FtHandle handle, uint32_t& rxQueue, uint32_t& txQueue,
                                   uint32_t& events) {
  const FtStatus status = EnterWithHandle("GetStatus", handle, false);
  if (status != kFtOk) {
    return status;
  }
  clock_.Advance(statusCallMs);
  if (TickReached(clock_.NowMs(), txDrainsAt_)) {
    txBytes_ = 0;
  }
  rxQueue = ArrivedBytes();
  txQueue = txBytes_;
  events = 0;
  return kFtOk;
}

FtStatus FakeFtdiDriver::Read(FtHandle handle, void* buffer, uint32_t length, uint32_t& returned) {
  ++readCalls;
  returned = 0;
  const FtStatus status = EnterWithHandle("Read", handle, false);
  if (status != kFtOk) {
    return status;
  }
  if (readCalls > readLimit) {
    return kFtIoError;
  }
  // Blocks like the vendor driver: until `length` bytes or the read time-out.
  const uint32_t deadline = clock_.NowMs() + readTimeoutMs_;
  auto* out = static_cast<uint8_t*>(buffer);
  while (returned < length) {
    if (!rx_.empty() && TickReached(clock_.NowMs(), rx_.front().arrivesAt)) {
      out[returned++] = rx_.front().byte;
      rx_.pop_front();
    } else if (!rx_.empty() && TickReached(deadline, rx_.front().arrivesAt)) {
      clock_.Advance(rx_.front().arrivesAt - clock_.NowMs());
    } else {
      clock_.Advance(deadline - clock_.NowMs());
      break;
    }
  }
  return kFtOk;
}

FtStatus FakeFtdiDriver::GetQueueStatus(FtHandle handle, uint32_t& rxQueue) {
  const FtStatus status = EnterWithHandle("GetQueueStatus", handle, false);
  if (status == kFtOk) {
    rxQueue = ArrivedBytes();
  }
  return status;
}

FtStatus FakeFtdiDriver::Close(FtHandle handle) {
  calls.push_back("Close");
  return handles_.erase(handle) == 1 ? kFtOk : kFtInvalidHandle;
}
