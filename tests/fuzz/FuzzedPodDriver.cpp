#include "tests/fuzz/FuzzedPodDriver.h"

#include <algorithm>
#include <cstdlib>

#include "pod/PodLink.h"

namespace {

constexpr char kSerialNumber[] = "FUZZ0001";

}  // namespace

std::vector<PortDetails> FuzzedPodDriver::ListPorts() {
  Count();
  PortDetails pod;
  pod.port = "#0";
  pod.description = PodLink::kPodDescription;
  pod.serialNumber = kSerialNumber;
  return {pod};
}

void FuzzedPodDriver::Count() {
  // Far beyond what the longest operation makes when every wait runs out: a
  // run that gets here goes round a loop the replies never end.
  constexpr uint64_t kMostCalls = 2'000'000;
  if (++calls_ > kMostCalls) {
    std::abort();
  }
}

PortStatus FuzzedPodDriver::Check() {
  Count();
  return gone_ ? kPortIoError : kPortOk;
}

// The one port of the fuzzed POD; its state is the driver's.
class FuzzedPodDriver::FuzzedPort final : public Port {
 public:
  explicit FuzzedPort(FuzzedPodDriver& pod) : pod_(pod) { pod_.open_ = true; }
  ~FuzzedPort() override {
    pod_.Count();
    pod_.open_ = false;
    pod_.rx_.Clear();
    pod_.stuckBytes_ = 0;
  }

  PortStatus Configure(const PortSettings& line) override {
    pod_.readTimeoutMs_ = line.readTimeoutMs;
    return pod_.Check();
  }
  PortStatus GetLatency(uint8_t& milliseconds) override {
    milliseconds = 1;
    return pod_.Check();
  }
  PortStatus SetLatency(uint8_t) override { return pod_.Check(); }
  PortStatus Purge(uint32_t which) override {
    if (const PortStatus status = pod_.Check(); status != kPortOk) {
      return status;
    }
    if ((which & kPurgeReceived) != 0) {
      pod_.rx_.DropArrived(pod_.clock_.NowMs());
    }
    if ((which & kPurgeUnsent) != 0) {
      pod_.stuckBytes_ = 0;
    }
    return kPortOk;
  }
  PortStatus Write(const void*, uint32_t length, uint32_t& written) override {
    written = 0;
    if (const PortStatus status = pod_.Check(); status != kPortOk) {
      return status;
    }
    pod_.Answer(length, written);
    return kPortOk;
  }
  PortStatus BytesUnsent(uint32_t& unsent) override {
    // A status call is a round trip on the USB bus.
    pod_.clock_.Advance(1);
    unsent = pod_.stuckBytes_;
    return pod_.Check();
  }
  PortStatus Read(void* buffer, uint32_t length, uint32_t& returned) override {
    returned = 0;
    if (const PortStatus status = pod_.Check(); status != kPortOk) {
      return status;
    }
    return pod_.Receive(static_cast<uint8_t*>(buffer), length, returned);
  }
  PortStatus BytesWaiting(uint32_t& received) override {
    received = pod_.rx_.ArrivedBy(pod_.clock_.NowMs());
    return pod_.Check();
  }

 private:
  FuzzedPodDriver& pod_;
};

PortStatus FuzzedPodDriver::Open(const PortKey&, std::unique_ptr<Port>& port) {
  Count();
  if (open_ || gone_) {
    return kPortNotOpened;
  }
  port = std::make_unique<FuzzedPort>(*this);
  return kPortOk;
}

void FuzzedPodDriver::Answer(uint32_t length, uint32_t& written) {
  const ReplyRecord reply = script_.TakeRecord();
  written = reply.Has(ReplyRecord::kWriteCutShort) ? length - std::min(length, 1u) : length;
  stuckBytes_ = reply.Has(ReplyRecord::kWriteStuck) ? written : 0;
  goneAfterReply_ = reply.Has(ReplyRecord::kPortGoneAfter);
  uint32_t arrivesAt = clock_.NowMs() + reply.delay * ReplyRecord::kDelayUnitMs;
  // The line keeps the bytes in order: none overtakes the reply still coming.
  if (!rx_.empty() && TickReached(rx_.LastArrival(), arrivesAt)) {
    arrivesAt = rx_.LastArrival();
  }
  for (const char byte : reply.bytes) {
    rx_.Push(static_cast<uint8_t>(byte), arrivesAt);
    arrivesAt += reply.gap;
  }
}

PortStatus FuzzedPodDriver::Receive(uint8_t* bytes, uint32_t length, uint32_t& returned) {
  if (rx_.ArrivedBy(clock_.NowMs()) == 0) {
    if (goneAfterReply_ && rx_.empty()) {
      gone_ = true;
      return kPortIoError;
    }
    const uint32_t timeOutAt = clock_.NowMs() + std::max(readTimeoutMs_, 1u);
    const uint32_t until =
        rx_.empty() || TickReached(rx_.FirstArrival(), timeOutAt) ? timeOutAt : rx_.FirstArrival();
    clock_.Advance(until - clock_.NowMs());
  }
  while (returned < length && rx_.ArrivedBy(clock_.NowMs()) > 0) {
    bytes[returned++] = rx_.Take();
  }
  return kPortOk;
}
