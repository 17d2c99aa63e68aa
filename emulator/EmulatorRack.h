// Several emulated PODs on one machine, as one driver: the enumeration lists
// them all in order, each opens by description or serial number, and each has
// its own firmware, target and serial flash. Tests and demos of choosing a POD
// among several run on it. Several threads may use it at once, each with its
// own POD: the enumeration, opening and closing are serialized, and each
// port's traffic goes to its own POD without a lock.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/EmulatorDriver.h"

class EmulatorRack final : public PortDriver {
 public:
  // One emulated POD for each configuration, listed in that order. `clock`
  // must outlive the rack.
  EmulatorRack(Clock& clock, const std::vector<EmulatorConfig>& pods);

  // False when any POD's state cannot be read; LoadError() says whose and why.
  bool Load() override;
  void Unload() override;
  std::string Name() const override { return "emulator"; }
  std::string LoadError() const;

  // Every POD's devices, one after the other, numbered as one enumeration.
  std::vector<PortDetails> ListPorts() override;
  PortStatus Open(const PortKey& key, std::unique_ptr<Port>& port) override;
  std::string PortBusy() const override;

  // --- For tests and demos ---
  EmulatorDriver& Pod(size_t index) { return *pods_.at(index); }

 private:
  // A POD's port, closed under the rack's lock.
  class RackPort;

  std::vector<std::unique_ptr<EmulatorDriver>> pods_;
  // Guards what follows and every call that looks at more than one POD: the
  // enumeration, opening and closing.
  mutable std::mutex mutex_;
  std::string portBusy_;  // as of the last open
};
