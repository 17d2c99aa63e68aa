// A progress reporter that keeps everything it is told, so tests can check the
// status texts, their error flags and how the bar was set up and stepped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pod/ProgressReporter.h"

class RecordingReporter final : public ProgressReporter {
 public:
  struct Status {
    std::string text;
    bool error;
    bool operator==(const Status&) const = default;
  };

  void ShowStatus(const std::string& text, bool error) override {
    statuses.push_back({text, error});
  }
  void SetBarRange(int32_t lower, int32_t upper) override {
    barLower = lower;
    barRanges.push_back(upper);
  }
  void SetBarStep(int32_t step) override { barStep = step; }
  int32_t SetBarPos(int32_t position) override {
    const int32_t previous = barPos;
    barPos = position;
    return previous;
  }
  int32_t StepBar() override { return SetBarPos(barPos + barStep); }

  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const Status& status : statuses) {
      out.push_back(status.text);
    }
    return out;
  }

  std::vector<Status> statuses;
  std::vector<int32_t> barRanges;  // the upper end of each range set, in order
  int32_t barLower = 0;
  int32_t barStep = 0;
  int32_t barPos = 0;
};
