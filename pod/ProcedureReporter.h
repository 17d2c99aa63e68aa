// Where the long POD procedures report: the step they are on and one progress
// bar. The operations turn the steps into the status line's words; the
// procedures never know where they are shown, nor what the steps are called.
#pragma once

#include <cstdint>
#include <utility>

// The stages of a target write, a POD store and a POD verify, each announced as it begins.
enum class ProcedureStep : uint8_t {
  StartingSciBoot,
  DownloadingProgram,  // into the target's RAM
  DownloadingFlashAlgorithm,
  InitializingFlash,
  ErasingFlash,
  WritingFlash,
  StoringProgram,
  StoringPassword,
  StoringTag,
  StoringCoffInfo,
  ReadingCoffInfo,
  ReadingPassword,
  ReadingSections,
  VerifyingProgram,
};

class ProcedureReporter {
 public:
  virtual ~ProcedureReporter() = default;
  virtual void ShowStep(ProcedureStep step) = 0;
  virtual void SetBarRange(int32_t lower, int32_t upper) = 0;
  virtual void SetBarStep(int32_t step) = 0;
  // Both return the previous position.
  virtual int32_t SetBarPos(int32_t position) = 0;
  virtual int32_t StepBar() = 0;
  // True once the user asked the running procedure to stop. Procedures look
  // between frames and stop there as their failure would; the layer above
  // knows to show no failure then.
  virtual bool CancelRequested() const { return false; }

  // Sets the bar up for `units` steps of one, starting at 0.
  void SetUpBar(int32_t units) {
    SetBarRange(0, units);
    SetBarStep(1);
    SetBarPos(0);
  }
};

// Reports nowhere; for callers that want no output.
class NullReporter final : public ProcedureReporter {
 public:
  void ShowStep(ProcedureStep) override {}
  void SetBarRange(int32_t, int32_t) override {}
  void SetBarStep(int32_t step) override { step_ = step; }
  int32_t SetBarPos(int32_t position) override { return std::exchange(position_, position); }
  int32_t StepBar() override { return SetBarPos(position_ + step_); }

 private:
  int32_t position_ = 0;
  int32_t step_ = 1;
};
