// Where the long POD procedures report: one status line and one progress bar.
// The window binds it to its label and bar, the command line to the terminal;
// the procedures never know which.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

class ProgressReporter {
 public:
  virtual ~ProgressReporter() = default;
  // One message at a time; `error` shows it as a failure (red in the window).
  virtual void ShowStatus(const std::string& text, bool error) = 0;
  virtual void SetBarRange(int32_t lower, int32_t upper) = 0;
  virtual void SetBarStep(int32_t step) = 0;
  // Both return the previous position.
  virtual int32_t SetBarPos(int32_t position) = 0;
  virtual int32_t StepBar() = 0;

  // Sets the bar up for `units` steps of one, starting at 0.
  void SetUpBar(int32_t units) {
    SetBarRange(0, units);
    SetBarStep(1);
    SetBarPos(0);
  }
};

// Reports nowhere; for callers that want no output.
class NullReporter final : public ProgressReporter {
 public:
  void ShowStatus(const std::string&, bool) override {}
  void SetBarRange(int32_t, int32_t) override {}
  void SetBarStep(int32_t step) override { step_ = step; }
  int32_t SetBarPos(int32_t position) override { return std::exchange(position_, position); }
  int32_t StepBar() override { return SetBarPos(position_ + step_); }

 private:
  int32_t position_ = 0;
  int32_t step_ = 1;
};
