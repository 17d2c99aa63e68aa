// The status line during each POD procedure, word for word, as the window and
// the command line show it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "emulator/EmulatorDriver.h"
#include "ops/ProgrammerOperations.h"
#include "tests/ops/Programs.h"
#include "tests/ops/RecordingUi.h"
#include "tests/support/FakeClock.h"

namespace {

using Operation = OperationOutcome (ProgrammerOperations::*)(const OperationRequest&);

struct TextsCase {
  const char* name;
  std::function<CoffWriter()> program;
  std::vector<Operation> operations;  // the last one's statuses are checked
  std::vector<std::string> statuses;  // all but the final "... Completed - N sec"
};
void PrintTo(const TextsCase& c, std::ostream* os) {
  *os << c.name;
}

class ProcedureTextsTest : public testing::TestWithParam<TextsCase> {};

TEST_P(ProcedureTextsTest, EachStepShowsItsText) {
  const TextsCase& c = GetParam();
  FakeClock clock;
  RecordingUi ui;
  ProgrammerOperations ops(std::make_unique<EmulatorDriver>(clock), clock, ui);
  ops.LoadDriver();
  ScratchDir dir;
  OperationRequest request;
  request.filePath = dir.Write("motor.out", c.program().Build());
  for (const Operation operation : c.operations) {
    ui.events.clear();
    ASSERT_EQ((ops.*operation)(request), OperationOutcome::Done);
  }
  std::vector<std::string> statuses = ui.Only("status ");
  ASSERT_FALSE(statuses.empty());
  statuses.pop_back();
  EXPECT_EQ(statuses, c.statuses);
}

INSTANTIATE_TEST_SUITE_P(
    Procedures, ProcedureTextsTest,
    testing::Values(
        TextsCase{"TargetWriteOfFlash",
                  [] { return FlashProgram(); },
                  {&ProgrammerOperations::TargetWrite},
                  {"status Reading COFF file is successful", "status Starting SCI Boot...",
                   "status Downloading Flash Algorithm Code [Max: 10 sec]...",
                   "status Initializing target board for flash memory write...",
                   "status Erasing Flash Memory...", "status Writing Flash Memory..."}},
        TextsCase{"TargetWriteOfRam",
                  RamProgram,
                  {&ProgrammerOperations::TargetWrite},
                  {"status Reading COFF file is successful", "status Starting SCI Boot...",
                   "status Downloading User Program..."}},
        TextsCase{
            "PodWrite",
            [] { return FlashProgram(); },
            {&ProgrammerOperations::PodWrite},
            {"status Reading COFF file is successful",
             "status Writing user program in serial flash...",
             "status Writing CSM password information...", "status Writing tag data information...",
             "status Writing COFF file information..."}},
        TextsCase{"PodVerify",
                  [] { return FlashProgram(); },
                  {&ProgrammerOperations::PodWrite, &ProgrammerOperations::PodVerify},
                  {"status Reading COFF information in serial flash...",
                   "status Reading section information in serial flash...",
                   "status Verifying user program in serial flash..."}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
