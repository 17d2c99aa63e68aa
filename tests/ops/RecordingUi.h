// An OperationsUi that writes down what an operation showed, in order, so a
// test can check the messages and that the clean-up ran last.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ops/OperationsUi.h"

class RecordingUi final : public OperationsUi {
 public:
  // "status TEXT", "error TEXT", "warning TEXT", "busy 1", "bar 0", "recent PATH",
  // "pod-name NAME".
  // Steps of the bar are only counted: a write makes thousands.
  std::vector<std::string> events;
  int32_t steps = 0;
  // The failure causes handed over, apart from the events: the window shows none.
  std::vector<FailureCause> causes;
  // What was shown of the ports seen after a failure to reach the POD, apart
  // from the events too: "seen PORT" (or "seen nothing"), "passed-over BACKEND".
  std::vector<std::string> seen;

  void ShowStatus(const std::string& text, bool error) override {
    events.push_back((error ? "error " : "status ") + text);
  }
  void SetBarRange(int32_t, int32_t) override {}
  void SetBarStep(int32_t) override {}
  int32_t SetBarPos(int32_t position) override {
    events.push_back("bar " + std::to_string(position));
    const int32_t previous = position_;
    position_ = position;
    return previous;
  }
  int32_t StepBar() override {
    ++steps;
    return position_++;
  }
  void SetBusy(bool busy) override { events.push_back(busy ? "busy 1" : "busy 0"); }
  void AddRecentFile(const std::string& path) override { events.push_back("recent " + path); }
  void ShowPodFileName(const std::string& name) override { events.push_back("pod-name " + name); }
  void ShowFailureCause(const FailureCause& cause) override { causes.push_back(cause); }
  void ShowWarning(const std::string& text) override { events.push_back("warning " + text); }
  void ShowPortsSeen(const std::vector<PortDetails>& ports) override {
    if (ports.empty()) {
      seen.push_back("seen nothing");
    }
    for (const PortDetails& port : ports) {
      seen.push_back("seen " + port.port);
    }
  }
  void ShowBackendsPassedOver(const std::vector<BackendProbe>& probes) override {
    for (const BackendProbe& probe : probes) {
      seen.push_back("passed-over " + probe.backend);
    }
  }

  // Every event starting with `prefix`, in order.
  std::vector<std::string> Only(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& event : events) {
      if (event.starts_with(prefix)) {
        found.push_back(event);
      }
    }
    return found;
  }
  // The text of the last status or error message.
  std::string LastMessage() const {
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
      if (it->starts_with("status ") || it->starts_with("error ")) {
        return it->substr(it->find(' ') + 1);
      }
    }
    return {};
  }

 private:
  int32_t position_ = 0;
};
