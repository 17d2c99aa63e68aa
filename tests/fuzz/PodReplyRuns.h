// The operations the POD reply fuzzer runs, each over a small program of its
// own, shared by the fuzzer and the writer of its seeds so that a seed's
// replies answer the very frames the fuzzer sends.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "ops/FailureText.h"
#include "ops/OperationOutcome.h"
#include "ops/ProgrammerOperations.h"
#include "ops/UserText.h"

// What one input runs, from its first byte: the operation, the erase mode,
// the CSM option and, for a target write, a program with flash sections or
// one for the target's RAM only.
struct PodReplyRun {
  enum class Operation : uint8_t { TargetWrite, TargetReset, PodWrite, PodVerify, PodInfo };
  static constexpr uint8_t kOperationCount = 5;

  Operation operation = Operation::TargetWrite;
  bool eraseAll = false;
  bool useCsm = false;
  bool ramProgram = false;

  static PodReplyRun FromByte(uint8_t byte);
  uint8_t ToByte() const;
  // "target-write-all-csm", for the seeds' file names.
  std::string Name() const;
};

// Counts what an operation showed that tells how it ended, and checks that
// every text shown, the causes of failures as the command line prints them
// included, holds nothing a terminal would take for a command: the POD's
// bytes reach the user only escaped.
class OutcomeUi final : public OperationsUi {
 public:
  int errors = 0;
  bool busy = false;
  bool allTextsPrintable = true;

  void ShowStatus(const std::string& text, bool error) override {
    errors += error ? 1 : 0;
    Shown(text);
  }
  void SetBarRange(int32_t, int32_t) override {}
  void SetBarStep(int32_t) override {}
  int32_t SetBarPos(int32_t) override { return 0; }
  int32_t StepBar() override { return 0; }
  void SetBusy(bool on) override { busy = on; }
  void AddRecentFile(const std::string&) override {}
  void ShowPodFileName(const std::string&) override {}
  void ShowFailureCause(const FailureCause& cause) override { Shown(DescribeFailure(cause)); }

 private:
  void Shown(const std::string& text) {
    allTextsPrintable = allTextsPrintable && EscapeForDisplay(text) == text;
  }
};

// The date every POD write of the fuzzer stores.
std::tm FixedLocalTime();

// Loads the run's program into `operations` and runs its operation.
OperationOutcome RunOperation(ProgrammerOperations& operations, const PodReplyRun& run);
