// A progress reporter that keeps everything it is told, so tests can check the
// steps announced and how the bar was set up and stepped.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "pod/ProcedureReporter.h"

class RecordingReporter final : public ProcedureReporter {
 public:
  void ShowStep(ProcedureStep step) override { steps.push_back(step); }
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
  bool CancelRequested() const override { return stopAtBarPos && barPos >= *stopAtBarPos; }

  std::vector<ProcedureStep> steps;
  std::vector<int32_t> barRanges;  // the upper end of each range set, in order
  int32_t barLower = 0;
  int32_t barStep = 0;
  int32_t barPos = 0;
  // The user asks the procedure to stop once the bar has come this far.
  std::optional<int32_t> stopAtBarPos;
};
