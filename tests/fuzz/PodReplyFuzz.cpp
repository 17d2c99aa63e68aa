// Runs one operation against a POD whose every reply, and the time each takes,
// the fuzzer chooses, and checks that the operation ends as a POD fault must:
// in one outcome with at most one error shown, every text shown printable,
// the port closed and the buttons back, never in a crash nor a loop the
// replies never end.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "ops/ProgrammerOperations.h"
#include "tests/fuzz/FuzzChecks.h"
#include "tests/fuzz/FuzzedPodDriver.h"
#include "tests/fuzz/PodReplyRuns.h"
#include "tests/fuzz/ReplyScript.h"
#include "tests/support/FakeClock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReplyScript script(std::span(data, size));
  const PodReplyRun run = PodReplyRun::FromByte(script.TakeByte());
  FakeClock clock;
  OutcomeUi ui;
  auto owned = std::make_unique<FuzzedPodDriver>(clock, script);
  const FuzzedPodDriver& driver = *owned;
  ProgrammerOperations operations(std::move(owned), clock, ui, FixedLocalTime);
  Check(operations.LoadDriver());
  const OperationOutcome outcome = RunOperation(operations, run);
  Check(outcome == OperationOutcome::Done ? ui.errors == 0 : ui.errors == 1);
  Check(!operations.link().isOpen() && !driver.isOpen());
  Check(!ui.busy);
  Check(ui.allTextsPrintable);
  return 0;
}
