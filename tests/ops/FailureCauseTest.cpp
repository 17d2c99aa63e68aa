// Each way a command to the POD can fail leaves its own cause beside the
// operation's one message: where it happened, what came back, after how long.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "emulator/EmulatorDriver.h"
#include "ops/FailureText.h"
#include "ops/ProgrammerOperations.h"
#include "tests/ops/Programs.h"
#include "tests/ops/RecordingUi.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePortDriver.h"

namespace {

using OperationRun =
    std::function<OperationOutcome(ProgrammerOperations&, const OperationRequest&)>;

const OperationRun kTargetWrite = [](ProgrammerOperations& ops, const OperationRequest& request) {
  return ops.TargetWrite(request);
};
const OperationRun kPodWrite = [](ProgrammerOperations& ops, const OperationRequest& request) {
  return ops.PodWrite(request);
};
const OperationRun kPodVerify = [](ProgrammerOperations& ops, const OperationRequest& request) {
  return ops.PodVerify(request);
};
const OperationRun kTargetReset = [](ProgrammerOperations& ops, const OperationRequest&) {
  return ops.TargetReset();
};

class FailureCauseTest : public testing::Test {
 protected:
  // Runs `run` with the F2808 flash program on `driver` and returns the causes
  // shown. `afterConnect`, when given, spoils the driver once the port is open.
  std::vector<std::string> CausesOf(std::unique_ptr<PortDriver> driver, const OperationRun& run,
                                    const std::function<void()>& afterConnect = nullptr) {
    ProgrammerOperations ops(std::move(driver), clock_, ui_);
    ops.LoadDriver();
    OperationRequest request;
    request.filePath = dir_.Write("motor.out", FlashProgram().Build());
    if (afterConnect) {
      EXPECT_EQ(ops.ConnectPod(), OperationOutcome::Done);
      afterConnect();
    }
    EXPECT_NE(run(ops, request), OperationOutcome::Done);
    EXPECT_EQ(ui_.Only("error ").size(), 1u);
    std::vector<std::string> lines;
    for (const FailureCause& cause : ui_.causes) {
      lines.push_back(DescribeFailure(cause));
    }
    return lines;
  }

  FakeClock clock_;
  RecordingUi ui_;
  ScratchDir dir_;
};

struct EmulatedFault {
  const char* name;
  FaultTrigger trigger;
  FaultKind kind;
  OperationRun run;
  const char* cause;
};
void PrintTo(const EmulatedFault& c, std::ostream* os) {
  *os << c.name;
}

class EmulatedFaultCauseTest : public FailureCauseTest,
                               public testing::WithParamInterface<EmulatedFault> {};

TEST_P(EmulatedFaultCauseTest, NamesTheStepAndWhatTheLineSaw) {
  const EmulatedFault& c = GetParam();
  auto driver = std::make_unique<EmulatorDriver>(clock_);
  driver->Faults().Add(c.trigger, Fault{.kind = c.kind});
  EXPECT_EQ(CausesOf(std::move(driver), c.run), std::vector<std::string>{c.cause});
}

// The F2808 program erases sectors A, B and D after the flash preparation (the
// first O), then programs its first section from 0x3E8000 in 40-word chunks.
INSTANTIATE_TEST_SUITE_P(
    Kinds, EmulatedFaultCauseTest,
    testing::Values(
        EmulatedFault{"TimeOut", FaultTrigger::OnLetter('O', 2), FaultKind::NoReply, kTargetWrite,
                      "cause: erase sector A: time-out after 20301 ms waiting for the reply to "
                      "O (0 bytes seen)"},
        EmulatedFault{"WrongReply", FaultTrigger::OnLetter('O', 5), FaultKind::WrongFirstByte,
                      kTargetWrite,
                      "cause: program 40 words at 0x3E8000: wrong reply to O after 0 ms: \"E\" "
                      "(1 byte seen)"},
        EmulatedFault{"ShortReply", FaultTrigger::OnLetter('h'), FaultKind::ShortReply, kPodVerify,
                      "cause: read the COFF information: short reply to h after 402 ms: "
                      "\"!\\xff\\xff\\xff\\xff\\xff\" (6 of 7 bytes)"},
        EmulatedFault{"PortGone", FaultTrigger::OnLetter('W'), FaultKind::Unplug, kPodWrite,
                      "cause: store page 0: port gone while sending W (driver status 4)"},
        EmulatedFault{"NoAnswerToThePing", FaultTrigger::AtFrame(1), FaultKind::NoReply,
                      kTargetReset,
                      "cause: time-out after 402 ms waiting for the reply to I (0 bytes seen)"}),
    [](const auto& info) { return info.param.name; });

struct DriverFault {
  const char* name;
  std::function<void(FakePortDriver&)> spoil;
  const char* cause;
};
void PrintTo(const DriverFault& c, std::ostream* os) {
  *os << c.name;
}

class DriverFaultCauseTest : public FailureCauseTest,
                             public testing::WithParamInterface<DriverFault> {};

// The fake POD answers everything; once the port is open, the driver fails the
// reset command in the row's way.
TEST_P(DriverFaultCauseTest, NamesWhatTheDriverDid) {
  auto driver = std::make_unique<FakePortDriver>(clock_);
  FakePortDriver& fake = *driver;
  fake.AnswerEveryWrite("!");
  EXPECT_EQ(CausesOf(std::move(driver), kTargetReset, [&] { GetParam().spoil(fake); }),
            std::vector<std::string>{GetParam().cause});
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DriverFaultCauseTest,
    testing::Values(
        DriverFault{"WriteCutShort", [](FakePortDriver& fake) { fake.shortWriteBy = 1; },
                    "cause: write of R cut short (2 of 3 bytes taken)"},
        DriverFault{"WriteNeverLeaves", [](FakePortDriver& fake) { fake.drainMs = 60000; },
                    "cause: time-out after 201 ms sending R (0 of 3 bytes gone)"},
        DriverFault{"DriverStatus",
                    [](FakePortDriver& fake) { fake.failures["Read"] = kPortOtherError; },
                    "cause: driver status 18 while waiting for the reply to R"},
        DriverFault{"DeviceLost",
                    [](FakePortDriver& fake) { fake.failures["Write"] = kPortIoError; },
                    "cause: port gone while sending R (driver status 4)"}),
    [](const auto& info) { return info.param.name; });

TEST_F(FailureCauseTest, APortThatWillNotOpenSaysWhichStatus) {
  auto driver = std::make_unique<FakePortDriver>(clock_);
  driver->failures["Configure"] = kPortOtherError;
  EXPECT_EQ(CausesOf(std::move(driver), kTargetReset),
            std::vector<std::string>{"cause: open the port: driver status 18"});
}

// The reply to g carries the stored password: what came of it is shown with
// every key byte masked, as the trace shows it, however the reply went wrong.
TEST_F(FailureCauseTest, APasswordReplyGoneWrongShowsNoKeyByte) {
  // Bytes no text of the line holds but as a key byte would show: "\xa1".
  const CsmKeyTexts keys{"A1B2", "C3D4", "E5F6", "8798", "A9BA", "CBDC", "EDFE", "8190"};
  for (const FaultKind kind : {FaultKind::ShortReply, FaultKind::WrongFirstByte}) {
    SCOPED_TRACE(static_cast<int>(kind));
    ui_ = RecordingUi();
    auto driver = std::make_unique<EmulatorDriver>(clock_);
    EmulatorDriver& emulator = *driver;
    ProgrammerOperations ops(std::move(driver), clock_, ui_);
    ops.LoadDriver();
    OperationRequest request;
    request.filePath = dir_.Write("motor.out", FlashProgram().Build());
    request.useCsm = true;
    request.keyTexts = keys;
    ASSERT_EQ(ops.PodWrite(request), OperationOutcome::Done);
    emulator.Faults().Add(FaultTrigger::OnLetter('g'), Fault{.kind = kind});
    EXPECT_NE(ops.PodVerify(request), OperationOutcome::Done);
    ASSERT_EQ(ui_.causes.size(), 1u);
    const std::string text = DescribeFailure(ui_.causes.front());
    EXPECT_THAT(text, testing::HasSubstr("read the CSM password"));
    EXPECT_THAT(text, testing::HasSubstr("***************"));
    // Not one key byte, as it came or escaped, in the line or the cause.
    for (const std::string& key : keys) {
      for (const std::string& byte : {key.substr(0, 2), key.substr(2)}) {
        const char raw = static_cast<char>(std::stoi(byte, nullptr, 16));
        EXPECT_EQ(text.find(raw), std::string::npos) << byte << ": " << text;
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(raw));
        EXPECT_EQ(text.find(escaped), std::string::npos) << byte << ": " << text;
        EXPECT_EQ(ui_.causes.front().reply.find(raw), std::string::npos) << byte;
      }
    }
  }
}

TEST_F(FailureCauseTest, ADifferingCopyHasNoCauseOnTheLine) {
  // The store is empty: the POD answers every command, the copy simply is not there.
  EXPECT_TRUE(CausesOf(std::make_unique<EmulatorDriver>(clock_), kPodVerify).empty());
  EXPECT_EQ(ui_.LastMessage(), "There is no COFF file data in serial flash");
}

}  // namespace
