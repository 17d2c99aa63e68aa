// A port that passes every call on to another it owns: the base of ports
// that add to a backend's (a trace, a lock around the close) without changing
// what it does.
#pragma once

#include <memory>
#include <utility>

#include "pod/PortDriver.h"

class ForwardingPort : public Port {
 public:
  explicit ForwardingPort(std::unique_ptr<Port> inner) : inner_(std::move(inner)) {}

  PortStatus Configure(const PortSettings& settings) override {
    return inner_->Configure(settings);
  }
  PortStatus GetLatency(uint8_t& milliseconds) override { return inner_->GetLatency(milliseconds); }
  PortStatus SetLatency(uint8_t milliseconds) override { return inner_->SetLatency(milliseconds); }
  PortStatus Write(const void* bytes, uint32_t length, uint32_t& written) override {
    return inner_->Write(bytes, length, written);
  }
  PortStatus Read(void* buffer, uint32_t length, uint32_t& returned) override {
    return inner_->Read(buffer, length, returned);
  }
  PortStatus BytesWaiting(uint32_t& received) override { return inner_->BytesWaiting(received); }
  PortStatus BytesUnsent(uint32_t& unsent) override { return inner_->BytesUnsent(unsent); }
  PortStatus Purge(uint32_t which) override { return inner_->Purge(which); }

 protected:
  Port& inner() { return *inner_; }
  // Closes the port passed on to, before the derived port's own end.
  void CloseInner() { inner_.reset(); }

 private:
  std::unique_ptr<Port> inner_;
};
