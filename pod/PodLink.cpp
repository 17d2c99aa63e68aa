#include "pod/PodLink.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "pod/CsmKeys.h"

PodLink::PodLink(PortDriver& driver, Clock& clock) : driver_(driver), clock_(clock) {}

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
  // A port must never outlive the driver that opened it.
  Close();
  driver_.Unload();
  driverLoaded_ = false;
  found_ = false;
  description_.clear();
}

void PodLink::ChooseSerialNumber(std::string serialNumber) {
  if (serialNumber != chosenSerialNumber_) {
    chosenSerialNumber_ = std::move(serialNumber);
    found_ = false;  // the POD found so far may not be the one chosen
  }
}

std::vector<PortDetails> PodLink::AttachedPods() {
  std::vector<PortDetails> pods;
  if (!driverLoaded_) {
    return pods;
  }
  for (PortDetails& port : driver_.ListPorts()) {
    if (port.description == kPodDescription) {
      pods.push_back(std::move(port));
    }
  }
  return pods;
}

bool PodLink::Find() {
  if (!driverLoaded_) {
    found_ = false;
    return false;
  }
  if (found_) {
    return true;
  }
  description_.clear();
  for (const PortDetails& port : driver_.ListPorts()) {
    if (port.description == kPodDescription &&
        (chosenSerialNumber_.empty() || port.serialNumber == chosenSerialNumber_)) {
      description_ = port.description;
      found_ = true;
      return true;
    }
  }
  found_ = false;
  return false;
}

bool PodLink::Open() {
  if (open_) {
    return true;
  }
  if (!driverLoaded_ || !found_) {
    return false;
  }
  failure_ = FailureCause{};
  failure_.context = "open the port";
  ioStartMs_ = clock_.NowMs();
  const PortKey key = chosenSerialNumber_.empty()
                          ? PortKey{PortKey::By::Description, description_}
                          : PortKey{PortKey::By::SerialNumber, chosenSerialNumber_};
  std::unique_ptr<Port> port;
  const PortStatus opened = driver_.Open(key, port);
  if (opened != kPortOk || port == nullptr) {
    DriverFailed(opened == kPortOk ? kPortInvalidHandle : opened, false);
    return false;
  }
  port_ = std::move(port);
  if (const PortStatus configured = ConfigurePort(); configured != kPortOk) {
    DriverFailed(configured, false);
    failure_.detail = driver_.FailureDetail();
    port_.reset();
    return false;
  }
  open_ = true;
  return true;
}

PortStatus PodLink::SetUpLatency() {
  latencyProblem_.clear();
  if (const PortStatus status = port_->GetLatency(latencyMs_); status != kPortOk) {
    return status;
  }
  if (latencyMs_ == 1) {
    return kPortOk;
  }
  // The bridge holds back a short reply until its latency timer expires; at
  // the usual 16 ms every command would wait that long for its "!". A timer
  // that will not go down makes the link slow, not unusable (Linux lets only
  // root write it where no udev rule does), so it is read back and reported
  // instead of failing the open.
  const PortStatus set = port_->SetLatency(1);
  const std::string detail = set != kPortOk ? driver_.FailureDetail() : std::string();
  if (const PortStatus status = port_->GetLatency(latencyMs_); status != kPortOk) {
    return status;
  }
  if (latencyMs_ != 1) {
    latencyProblem_ = !detail.empty()  ? detail
                      : set != kPortOk ? "driver status " + std::to_string(set)
                                       : "it did not take the new value";
  }
  return kPortOk;
}

PortStatus PodLink::ConfigurePort() {
  PortSettings line;
  line.baud = kBaudRate;
  line.readTimeoutMs = kDriverTimeoutMs;
  line.writeTimeoutMs = kDriverTimeoutMs;
  const std::function<PortStatus()> steps[] = {
      [&] { return port_->Configure(line); },
      [&] { return SetUpLatency(); },
      [&] { return port_->Purge(kPurgeReceived | kPurgeUnsent); },
  };
  for (const auto& step : steps) {
    if (const PortStatus status = step(); status != kPortOk) {
      return status;
    }
  }
  return kPortOk;
}

void PodLink::CloseAtOnce() {
  open_ = false;
  port_.reset();
}

void PodLink::Close() {
  open_ = false;
  if (port_ != nullptr) {
    // Purging the transmit queue would drop the last frame still on its way
    // (on a real bridge even one the driver's queue no longer counts).
    DrainOutput();
    AwaitLineTime();
    port_->Purge(kPurgeReceived);
    port_.reset();
  }
  unansweredBytes_ = 0;
}

void PodLink::AwaitLineTime() {
  if (unansweredBytes_ == 0) {
    return;
  }
  // 10 bits a byte on an 8N1 line, rounded up to the millisecond.
  const uint32_t lineMs = static_cast<uint32_t>(
      (uint64_t{unansweredBytes_} * 10 * 1000 + kBaudRate - 1) / kBaudRate + kLineMarginMs);
  const uint32_t deadline = drainedAtMs_ + lineMs;
  for (uint32_t now = clock_.NowMs(); !TickReached(now, deadline); now = clock_.NowMs()) {
    clock_.SleepMs(deadline - now);
  }
  unansweredBytes_ = 0;
}

void PodLink::Purge() {
  if (port_ != nullptr) {
    // A frame still queued is most often the last word to the POD (the end or
    // the abandon of a store); purging the transmit queue would swallow it.
    DrainOutput();
    port_->Purge(kPurgeReceived | kPurgeUnsent);
  }
}

void PodLink::BeginCommand(char frame) {
  failure_ = FailureCause{};
  failure_.frame = frame;
}

void PodLink::NoteWrongReply(std::string received, uint32_t bytesSeen) {
  failure_.reply = WithKeysMasked(failure_.frame, std::move(received));
  failure_.bytesSeen = bytesSeen;
  failure_.bytesDue = bytesSeen;
  Failed(FailureKind::WrongReply, false);
}

bool PodLink::Failed(FailureKind kind, bool sending) {
  failure_.kind = kind;
  failure_.sending = sending;
  failure_.elapsedMs = clock_.NowMs() - ioStartMs_;
  return false;
}

bool PodLink::DriverFailed(PortStatus status, bool sending) {
  failure_.status = status;
  // These are what a driver says once the device has been pulled out.
  const bool gone = status == kPortIoError || status == kPortNotFound;
  return Failed(gone ? FailureKind::PortGone : FailureKind::DriverStatus, sending);
}

bool PodLink::Write(const void* bytes, uint32_t length, uint32_t timeoutMs) {
  ioStartMs_ = clock_.NowMs();
  failure_.bytesDue = length;
  if (port_ == nullptr) {
    return Failed(FailureKind::PortGone, true);
  }
  uint32_t written = 0;
  if (const PortStatus status = port_->Write(bytes, length, written); status != kPortOk) {
    return DriverFailed(status, true);
  }
  // A write cut short by the driver's time-out lost part of a frame.
  if (written != length) {
    failure_.bytesSeen = written;
    return Failed(FailureKind::WriteCutShort, true);
  }
  uint32_t txQueue = 0;
  if (const PortStatus status = port_->BytesUnsent(txQueue); status != kPortOk) {
    return DriverFailed(status, true);
  }
  const uint32_t deadline = clock_.NowMs() + timeoutMs;
  while (txQueue > 0 && !TickReached(clock_.NowMs(), deadline)) {
    GiveIdleTurn();
    if (StopRequested()) {
      failure_.bytesSeen = length - std::min(length, txQueue);
      return Failed(FailureKind::Stopped, true);
    }
    if (const PortStatus status = port_->BytesUnsent(txQueue); status != kPortOk) {
      return DriverFailed(status, true);
    }
  }
  // Whether or not it left in time, the frame is on its way and no reply to
  // it has been read.
  unansweredBytes_ = length;
  drainedAtMs_ = clock_.NowMs();
  if (txQueue > 0) {
    failure_.bytesSeen = length - std::min(length, txQueue);
    return Failed(FailureKind::TimeOut, true);
  }
  return true;
}

void PodLink::DrainOutput() {
  const uint32_t deadline = clock_.NowMs() + kDrainTimeoutMs;
  uint32_t txQueue = 0;
  PortStatus status = kPortOk;
  bool waited = false;
  while ((status = port_->BytesUnsent(txQueue)) == kPortOk && txQueue > 0 &&
         !TickReached(clock_.NowMs(), deadline)) {
    waited = true;
    GiveIdleTurn();
  }
  if (status != kPortOk || txQueue > 0) {
    unansweredBytes_ = 0;  // stuck or gone: waiting on will not get it out
  } else if (waited) {
    drainedAtMs_ = clock_.NowMs();  // the last bytes left only now
  }
}

bool PodLink::Read(void* buffer, uint32_t count, uint32_t firstByteTimeoutMs) {
  ioStartMs_ = clock_.NowMs();
  failure_.bytesDue = count;
  if (port_ == nullptr) {
    return Failed(FailureKind::PortGone, false);
  }
  if (count == 0) {
    return true;  // nothing to wait for, and no room for even one byte
  }
  // A reply awaited: the frame before it either gets one, which proves it
  // arrived, or has had far more than its line time by the end of the wait.
  unansweredBytes_ = 0;
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
    if (const PortStatus status = port_->Read(bytes + received, 1, returned); status != kPortOk) {
      failure_.bytesSeen = received;
      return DriverFailed(status, false);
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
    GiveIdleTurn();
    uint32_t waiting = 0;
    if (const PortStatus status = port_->BytesWaiting(waiting); status != kPortOk) {
      failure_.bytesSeen = received;
      return DriverFailed(status, false);
    }
    if (received >= count) {
      return true;
    }
    if (StopRequested()) {
      failure_.bytesSeen = received;
      return Failed(FailureKind::Stopped, false);
    }
    if (waiting == 0 && silenceJudged && TickReached(lastSilent, silenceStart + limit)) {
      failure_.bytesSeen = received;
      failure_.reply = WithKeysMasked(failure_.frame,
                                      std::string(reinterpret_cast<const char*>(bytes), received));
      return Failed(received == 0 ? FailureKind::TimeOut : FailureKind::ShortReply, false);
    }
  }
}

void PodLink::GiveIdleTurn() {
  if (!idleHook_) {
    return;
  }
  const uint32_t now = clock_.NowMs();
  if (now - lastIdleMs_ >= kIdleIntervalMs) {
    lastIdleMs_ = now;
    idleHook_();
  }
}

bool PodLink::QueuedInput(uint32_t& waiting) {
  waiting = 0;
  if (port_ == nullptr) {
    return Failed(FailureKind::PortGone, false);
  }
  if (const PortStatus status = port_->BytesWaiting(waiting); status != kPortOk) {
    return DriverFailed(status, false);
  }
  return true;
}
