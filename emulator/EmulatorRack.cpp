#include "emulator/EmulatorRack.h"

#include <algorithm>
#include <utility>

#include "pod/ForwardingPort.h"

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

class EmulatorRack::RackPort final : public ForwardingPort {
 public:
  RackPort(std::unique_ptr<Port> pod, std::mutex& mutex)
      : ForwardingPort(std::move(pod)), mutex_(mutex) {}
  // An open on another thread reads whether this POD is open.
  ~RackPort() override {
    const std::lock_guard lock(mutex_);
    CloseInner();
  }
  RackPort(const RackPort&) = delete;
  RackPort& operator=(const RackPort&) = delete;

 private:
  std::mutex& mutex_;
};

std::vector<PortDetails> EmulatorRack::ListPorts() {
  const std::lock_guard lock(mutex_);
  std::vector<PortDetails> ports;
  for (const auto& pod : pods_) {
    for (PortDetails& port : pod->ListPorts()) {
      port.port = "#" + std::to_string(ports.size());
      ports.push_back(std::move(port));
    }
  }
  return ports;
}

PortStatus EmulatorRack::Open(const PortKey& key, std::unique_ptr<Port>& port) {
  // Before the lock: a port of ours passed in takes it to close.
  port.reset();
  const std::lock_guard lock(mutex_);
  portBusy_.clear();
  // As the vendor driver opens the first device that matches, the first POD
  // that has one decides: it opens, or it is busy.
  PortStatus status = kPortNotFound;
  for (size_t pod = 0; pod < pods_.size() && status == kPortNotFound; ++pod) {
    std::unique_ptr<Port> own;
    status = pods_[pod]->Open(key, own);
    portBusy_ = pods_[pod]->PortBusy();
    if (status == kPortOk) {
      port = std::make_unique<RackPort>(std::move(own), mutex_);
    }
  }
  return status;
}

std::string EmulatorRack::PortBusy() const {
  const std::lock_guard lock(mutex_);
  return portBusy_;
}
