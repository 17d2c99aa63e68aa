#include "tests/support/FakePortDriver.h"

#include <algorithm>

void FakePortDriver::QueueReply(std::string_view bytes, uint32_t delayMs, uint32_t gapMs) {
  uint32_t at = clock_.NowMs() + delayMs;
  for (char c : bytes) {
    rx_.Push(static_cast<uint8_t>(c), at);
    at += gapMs;
  }
}

void FakePortDriver::AnswerEveryWrite(std::string reply) {
  onWrite = [this, reply = std::move(reply)](std::string_view) { QueueReply(reply); };
}

PortStatus FakePortDriver::Enter(const std::string& call, bool logged) {
  if (logged) {
    calls.push_back(call);
  }
  // The call as logged, or any of its first words ("Open", "Open serial number").
  for (size_t end = call.find(' ');; end = call.find(' ', end + 1)) {
    if (const auto failure = failures.find(call.substr(0, end)); failure != failures.end()) {
      return failure->second;
    }
    if (end == std::string::npos) {
      return kPortOk;
    }
  }
}

bool FakePortDriver::Load() {
  calls.push_back("Load");
  return loads;
}

void FakePortDriver::Unload() {
  calls.push_back("Unload");
}

std::vector<PortDetails> FakePortDriver::ListPorts() {
  ++listCalls;
  std::vector<PortDetails> ports;
  if (Enter("ListPorts") != kPortOk) {
    return ports;
  }
  for (size_t index = 0; index < devices.size(); ++index) {
    if (failures.contains("ListPorts " + std::to_string(index))) {
      continue;
    }
    PortDetails port;
    port.port = "#" + std::to_string(index);
    port.description = devices[index];
    port.serialNumber = SerialNumberOf(index);
    ports.push_back(std::move(port));
  }
  return ports;
}

std::string FakePortDriver::SerialNumberOf(size_t index) const {
  return index < serialNumbers.size() ? serialNumbers[index] : "FAKE" + std::to_string(index);
}

// An open device of the fake: every call works on the driver's queues,
// settings and log, which the test inspects.
class FakePortDriver::FakePort final : public Port {
 public:
  explicit FakePort(FakePortDriver& driver) : driver_(driver) { ++driver_.openPorts_; }
  ~FakePort() override {
    driver_.calls.push_back("Close");
    --driver_.openPorts_;
  }

  PortStatus Configure(const PortSettings& line) override {
    static constexpr char kParity[] = "NOEMS";
    std::string call = "Configure " + std::to_string(line.baud) + " " +
                       std::to_string(line.dataBits) + kParity[static_cast<int>(line.parity)] +
                       std::to_string(line.stopBits) + " " + std::to_string(line.readTimeoutMs) +
                       "," + std::to_string(line.writeTimeoutMs);
    if (line.handshake) {
      call += " handshake";
    }
    const PortStatus status = driver_.Enter(call);
    if (status == kPortOk) {
      driver_.readTimeoutMs_ = line.readTimeoutMs;
    }
    return status;
  }

  PortStatus GetLatency(uint8_t& milliseconds) override {
    const PortStatus status = driver_.Enter("GetLatency");
    if (status == kPortOk) {
      milliseconds = driver_.latencyMs;
    }
    return status;
  }

  PortStatus SetLatency(uint8_t milliseconds) override {
    const PortStatus status = driver_.Enter("SetLatency " + std::to_string(milliseconds));
    if (status == kPortOk && !driver_.latencyIgnored) {
      driver_.latencyMs = milliseconds;
    }
    return status;
  }

  PortStatus Purge(uint32_t which) override {
    const PortStatus status = driver_.Enter("Purge " + std::to_string(which));
    if (status == kPortOk && (which & kPurgeReceived)) {
      driver_.rx_.Clear();
    }
    if (status == kPortOk && (which & kPurgeUnsent)) {
      driver_.txBytes_ = 0;
    }
    return status;
  }

  PortStatus Write(const void* bytes, uint32_t length, uint32_t& written) override {
    written = 0;
    if (const PortStatus status = driver_.Enter("Write", false); status != kPortOk) {
      return status;
    }
    const std::string_view data(static_cast<const char*>(bytes), length);
    driver_.writes.emplace_back(data);
    written = length - std::min(length, driver_.shortWriteBy);
    driver_.txBytes_ = written;
    driver_.txDrainsAt_ = driver_.clock_.NowMs() + driver_.drainMs;
    if (driver_.onWrite) {
      driver_.onWrite(data);
    }
    return kPortOk;
  }

  PortStatus BytesUnsent(uint32_t& unsent) override {
    if (const PortStatus status = driver_.Enter("BytesUnsent", false); status != kPortOk) {
      return status;
    }
    driver_.clock_.Advance(driver_.statusCallMs);
    if (TickReached(driver_.clock_.NowMs(), driver_.txDrainsAt_)) {
      driver_.txBytes_ = 0;
    }
    unsent = driver_.txBytes_;
    return kPortOk;
  }

  PortStatus Read(void* buffer, uint32_t length, uint32_t& returned) override {
    ++driver_.readCalls;
    returned = 0;
    if (const PortStatus status = driver_.Enter("Read", false); status != kPortOk) {
      return status;
    }
    if (driver_.readCalls > driver_.readLimit) {
      return kPortIoError;
    }
    // Blocks like the vendor driver: until `length` bytes or the read time-out.
    FakeClock& clock = driver_.clock_;
    auto& rx = driver_.rx_;
    const uint32_t deadline = clock.NowMs() + driver_.readTimeoutMs_;
    auto* out = static_cast<uint8_t*>(buffer);
    while (returned < length) {
      if (!rx.empty() && TickReached(clock.NowMs(), rx.FirstArrival())) {
        out[returned++] = rx.Take();
      } else if (!rx.empty() && TickReached(deadline, rx.FirstArrival())) {
        clock.Advance(rx.FirstArrival() - clock.NowMs());
      } else {
        clock.Advance(deadline - clock.NowMs());
        break;
      }
    }
    return kPortOk;
  }

  PortStatus BytesWaiting(uint32_t& received) override {
    const PortStatus status = driver_.Enter("BytesWaiting", false);
    if (status == kPortOk) {
      received = driver_.rx_.ArrivedBy(driver_.clock_.NowMs());
    }
    return status;
  }

 private:
  FakePortDriver& driver_;
};

PortStatus FakePortDriver::Open(const PortKey& key, std::unique_ptr<Port>& port) {
  port.reset();
  bool present = false;
  for (size_t index = 0; index < devices.size(); ++index) {
    present = present || (key.by == PortKey::By::Description ? devices[index]
                                                             : SerialNumberOf(index)) == key.text;
  }
  const char* by = key.by == PortKey::By::Description ? "description " : "serial number ";
  PortStatus status = Enter("Open " + std::string(by) + key.text);
  if (status == kPortOk && !present) {
    status = kPortNotFound;
  }
  if (status == kPortOk) {
    port = std::make_unique<FakePort>(*this);
  }
  return status;
}
