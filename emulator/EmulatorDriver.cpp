#include "emulator/EmulatorDriver.h"

#include <algorithm>
#include <utility>

namespace {

constexpr uint64_t kNsPerMs = 1'000'000;

}  // namespace

class EmulatorDriver::PodPort final : public Port {
 public:
  PodPort(EmulatorDriver& driver, uint64_t session) : driver_(driver), session_(session) {}
  ~PodPort() override { driver_.Close(session_); }
  PodPort(const PodPort&) = delete;
  PodPort& operator=(const PodPort&) = delete;

  PortStatus Configure(const PortSettings& settings) override {
    return WhenReady([&] { return driver_.Configure(settings); });
  }
  PortStatus GetLatency(uint8_t& milliseconds) override {
    return WhenReady([&] {
      milliseconds = driver_.line_.latencyMs;
      return kPortOk;
    });
  }
  PortStatus SetLatency(uint8_t milliseconds) override {
    return WhenReady([&] { return driver_.SetLatency(milliseconds); });
  }
  PortStatus Write(const void* bytes, uint32_t length, uint32_t& written) override {
    written = 0;
    return WhenReady([&] { return driver_.Write(bytes, length, written); });
  }
  PortStatus Read(void* buffer, uint32_t length, uint32_t& returned) override {
    returned = 0;
    return WhenReady([&] { return driver_.Read(buffer, length, returned); });
  }
  PortStatus BytesWaiting(uint32_t& received) override {
    return WhenReady([&] {
      received = driver_.ArrivedCount(driver_.nowNs_);
      return kPortOk;
    });
  }
  PortStatus BytesUnsent(uint32_t& unsent) override {
    return WhenReady([&] {
      unsent = static_cast<uint32_t>(driver_.toPod_.size());
      return kPortOk;
    });
  }
  PortStatus Purge(uint32_t which) override {
    return WhenReady([&] {
      driver_.Purge(which);
      return kPortOk;
    });
  }

 private:
  template <typename Call>
  PortStatus WhenReady(Call call) {
    const PortStatus status = driver_.Ready(session_);
    return status == kPortOk ? call() : status;
  }

  EmulatorDriver& driver_;
  const uint64_t session_;
};

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

PortStatus EmulatorDriver::Ready(uint64_t session) {
  if (!open_ || session != session_) {
    return kPortInvalidHandle;
  }
  if (plugged_) {
    Advance();
  }
  return plugged_ ? kPortOk : kPortIoError;
}

bool EmulatorDriver::LineSetUp() const {
  return line_.baud == kPodBaud && line_.dataBits == 8 && line_.stopBits == 1 &&
         line_.parity == Parity::None;
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

bool EmulatorDriver::Matches(size_t device, const PortKey& key) const {
  return key.text == (key.by == PortKey::By::Description ? config_.devices[device]
                                                         : config_.SerialNumberOf(device));
}

std::vector<PortDetails> EmulatorDriver::ListPorts() {
  std::vector<PortDetails> ports;
  for (const size_t device : PresentDevices()) {
    PortDetails port;
    port.port = "#" + std::to_string(ports.size());
    port.description = config_.devices[device];
    port.serialNumber = config_.SerialNumberOf(device);
    ports.push_back(std::move(port));
  }
  return ports;
}

PortStatus EmulatorDriver::Open(const PortKey& key, std::unique_ptr<Port>& port) {
  port.reset();
  portBusy_.clear();
  // Like the vendor driver, the first device that matches is the one opened.
  for (const size_t device : PresentDevices()) {
    if (!Matches(device, key)) {
      continue;
    }
    // Another program holds every other device; the POD can be opened once,
    // and by one process at a time when its state lives in a file.
    if (device != config_.podIndex || open_ || !Store().Claim(portBusy_)) {
      return kPortNotOpened;
    }
    open_ = true;
    ++session_;
    // The line starts afresh; the latency timer is the bridge's and stays.
    static_cast<PortSettings&>(line_) = PortSettings{};
    DropQueues();
    port = std::make_unique<PodPort>(*this, session_);
    return kPortOk;
  }
  return kPortNotFound;
}

PortStatus EmulatorDriver::Configure(const PortSettings& settings) {
  const bool valid = settings.baud != 0 && (settings.dataBits == 7 || settings.dataBits == 8) &&
                     (settings.stopBits == 1 || settings.stopBits == 2) &&
                     settings.parity <= Parity::Space;
  if (!valid) {
    return kPortInvalidParameter;
  }
  // The reset empties both queues, as far as they can be emptied.
  Purge(kPurgeReceived | kPurgeUnsent);
  static_cast<PortSettings&>(line_) = settings;
  return kPortOk;
}

PortStatus EmulatorDriver::SetLatency(uint8_t milliseconds) {
  if (milliseconds == 0) {
    return kPortInvalidParameter;
  }
  line_.latencyMs = milliseconds;
  ++line_.latencyWrites;
  return kPortOk;
}

void EmulatorDriver::Purge(uint32_t which) {
  // Only what has arrived can be discarded; a reply still on its way comes later.
  if ((which & kPurgeReceived) != 0) {
    toPc_.erase(toPc_.begin(), toPc_.begin() + ArrivedCount(nowNs_));
  }
  // Bytes not yet on the wire never reach the POD.
  if ((which & kPurgeUnsent) != 0) {
    toPod_.clear();
    txLineFreeNs_ = nowNs_;
  }
}

PortStatus EmulatorDriver::Write(const void* bytes, uint32_t length, uint32_t& written) {
  if (bytes == nullptr && length > 0) {
    return kPortInvalidParameter;
  }
  const auto* data = static_cast<const char*>(bytes);
  if (!LineSetUp()) {
    firmware_.RecordGarbled(std::string_view(data, length), nowNs_);
    written = length;
    return kPortOk;
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
  return plugged_ ? kPortOk : kPortIoError;
}

PortStatus EmulatorDriver::Read(void* buffer, uint32_t length, uint32_t& returned) {
  if (buffer == nullptr && length > 0) {
    return kPortInvalidParameter;
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
      return kPortOk;
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
      return kPortOk;
    }
    WaitUntil(wake);
    Advance();
    if (!plugged_) {
      return kPortIoError;
    }
  }
}

void EmulatorDriver::Close(uint64_t session) {
  if (!open_ || session != session_) {
    return;
  }
  open_ = false;
  LetGoOfThePod();
}

void EmulatorDriver::Unplug() {
  plugged_ = false;
  LetGoOfThePod();
}

void EmulatorDriver::LetGoOfThePod() {
  DropQueues();
  Store().SaveInBackground();
  Store().Release();
}

void EmulatorDriver::Replug() {
  if (plugged_) {
    return;
  }
  plugged_ = true;
  // A fresh bridge: no port of the old one works, its settings are the defaults.
  open_ = false;
  line_ = LineSettings{};
  line_.latencyMs = config_.initialLatencyMs;
  firmware_.PowerCycle();
}
