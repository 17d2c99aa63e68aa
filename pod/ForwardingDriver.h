// A driver that passes every call on to another: the base of drivers that
// add to a backend (a trace, say) without changing what it does. It only
// borrows the other driver, which must outlive it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pod/PortDriver.h"

class ForwardingDriver : public PortDriver {
 public:
  explicit ForwardingDriver(PortDriver& inner) : inner_(inner) {}

  bool Load() override { return inner_.Load(); }
  void Unload() override { inner_.Unload(); }
  std::string Name() const override { return inner_.Name(); }
  std::vector<PortDetails> ListPorts() override { return inner_.ListPorts(); }
  PortStatus Open(const PortKey& key, std::unique_ptr<Port>& port) override {
    return inner_.Open(key, port);
  }
  std::string PortBusy() const override { return inner_.PortBusy(); }
  std::string FailureDetail() const override { return inner_.FailureDetail(); }
  std::string LoadProblem() const override { return inner_.LoadProblem(); }
  std::string LoadedFrom() const override { return inner_.LoadedFrom(); }

 private:
  PortDriver& inner_;
};
