#include "tests/fuzz/FuzzedPodDriver.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "pod/PodLink.h"

namespace {

constexpr char kSerialNumber[] = "FUZZ0001";

void CopyText(const char* text, char (&into)[kFtDescriptionSize]) {
  std::strncpy(into, text, kFtDescriptionSize - 1);
  into[kFtDescriptionSize - 1] = '\0';
}

}  // namespace

FtStatus FuzzedPodDriver::ListDeviceCount(uint32_t& count) {
  Count();
  count = 1;
  return kFtOk;
}

FtStatus FuzzedPodDriver::ListDeviceDescription(uint32_t index,
                                                char (&description)[kFtDescriptionSize]) {
  Count();
  if (index != 0) {
    return kFtDeviceNotFound;
  }
  CopyText(PodLink::kPodDescription, description);
  return kFtOk;
}

FtStatus FuzzedPodDriver::ListDeviceSerialNumber(uint32_t index,
                                                 char (&serialNumber)[kFtSerialNumberSize]) {
  Count();
  if (index != 0) {
    return kFtDeviceNotFound;
  }
  CopyText(kSerialNumber, serialNumber);
  return kFtOk;
}

FtStatus FuzzedPodDriver::OpenByDescription(const char*, FtHandle& handle) {
  return Open(handle);
}

FtStatus FuzzedPodDriver::OpenBySerialNumber(const char*, FtHandle& handle) {
  return Open(handle);
}

FtStatus FuzzedPodDriver::Open(FtHandle& handle) {
  Count();
  if (open_ || gone_) {
    return kFtDeviceNotOpened;
  }
  open_ = true;
  handle = this;
  return kFtOk;
}

void FuzzedPodDriver::Count() {
  // Far beyond what the longest operation makes when every wait runs out: a
  // run that gets here goes round a loop the replies never end.
  constexpr uint64_t kMostCalls = 2'000'000;
  if (++calls_ > kMostCalls) {
    std::abort();
  }
}

FtStatus FuzzedPodDriver::Check(FtHandle handle) {
  Count();
  if (!open_ || handle != this) {
    return kFtInvalidHandle;
  }
  return gone_ ? kFtIoError : kFtOk;
}

FtStatus FuzzedPodDriver::GetLatencyTimer(FtHandle handle, uint8_t& milliseconds) {
  milliseconds = 1;
  return Check(handle);
}

FtStatus FuzzedPodDriver::SetTimeouts(FtHandle handle, uint32_t readMs, uint32_t) {
  readTimeoutMs_ = readMs;
  return Check(handle);
}

FtStatus FuzzedPodDriver::Purge(FtHandle handle, uint32_t mask) {
  if (const FtStatus status = Check(handle); status != kFtOk) {
    return status;
  }
  if ((mask & kFtPurgeRx) != 0) {
    rx_.erase(rx_.begin(), rx_.begin() + ArrivedBytes());
  }
  if ((mask & kFtPurgeTx) != 0) {
    stuckBytes_ = 0;
  }
  return kFtOk;
}

FtStatus FuzzedPodDriver::Write(FtHandle handle, const void*, uint32_t length, uint32_t& written) {
  written = 0;
  if (const FtStatus status = Check(handle); status != kFtOk) {
    return status;
  }
  const ReplyRecord reply = script_.TakeRecord();
  written = reply.Has(ReplyRecord::kWriteCutShort) ? length - std::min(length, 1u) : length;
  stuckBytes_ = reply.Has(ReplyRecord::kWriteStuck) ? written : 0;
  goneAfterReply_ = reply.Has(ReplyRecord::kPortGoneAfter);
  uint32_t arrivesAt = clock_.NowMs() + reply.delay * ReplyRecord::kDelayUnitMs;
  // The line keeps the bytes in order: none overtakes the reply still coming.
  if (!rx_.empty() && TickReached(rx_.back().arrivesAt, arrivesAt)) {
    arrivesAt = rx_.back().arrivesAt;
  }
  for (const char byte : reply.bytes) {
    rx_.push_back({static_cast<uint8_t>(byte), arrivesAt});
    arrivesAt += reply.gap;
  }
  return kFtOk;
}

FtStatus FuzzedPodDriver::GetStatus(FtHandle handle, uint32_t& rxQueue, uint32_t& txQueue,
                                    uint32_t& events) {
  // A status call is a round trip on the USB bus.
  clock_.Advance(1);
  rxQueue = ArrivedBytes();
  txQueue = stuckBytes_;
  events = 0;
  return Check(handle);
}

FtStatus FuzzedPodDriver::Read(FtHandle handle, void* buffer, uint32_t length, uint32_t& returned) {
  returned = 0;
  if (const FtStatus status = Check(handle); status != kFtOk) {
    return status;
  }
  if (ArrivedBytes() == 0) {
    if (goneAfterReply_ && rx_.empty()) {
      gone_ = true;
      return kFtIoError;
    }
    // A real read blocks until a byte comes or its time-out passes.
    const uint32_t timeOutAt = clock_.NowMs() + std::max(readTimeoutMs_, 1u);
    const uint32_t until = rx_.empty() || TickReached(rx_.front().arrivesAt, timeOutAt)
                               ? timeOutAt
                               : rx_.front().arrivesAt;
    clock_.Advance(until - clock_.NowMs());
  }
  auto* bytes = static_cast<uint8_t*>(buffer);
  while (returned < length && ArrivedBytes() > 0) {
    bytes[returned++] = rx_.front().byte;
    rx_.pop_front();
  }
  return kFtOk;
}

FtStatus FuzzedPodDriver::GetQueueStatus(FtHandle handle, uint32_t& rxQueue) {
  rxQueue = ArrivedBytes();
  return Check(handle);
}

FtStatus FuzzedPodDriver::Close(FtHandle handle) {
  Count();
  if (!open_ || handle != this) {
    return kFtInvalidHandle;
  }
  open_ = false;
  rx_.clear();
  stuckBytes_ = 0;
  return kFtOk;
}

uint32_t FuzzedPodDriver::ArrivedBytes() const {
  const uint32_t now = clock_.NowMs();
  const auto pending = std::ranges::find_if(
      rx_, [now](const Incoming& incoming) { return !TickReached(now, incoming.arrivesAt); });
  return static_cast<uint32_t>(pending - rx_.begin());
}
