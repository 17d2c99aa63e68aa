// Planned faults: each kind at the Nth frame or the Nth frame of a letter,
// played once, with the effect on the reply, on the target and on the driver.
#include <gtest/gtest.h>

#include "tests/emulator/WireHarness.h"

namespace {

using Stage = TargetBoard::Stage;

TEST(FaultInjectionTest, EachKindShapesTheReplyAndWhetherTheCommandRan) {
  struct Case {
    FaultKind kind;
    std::string reply;
    Stage stage;  // N ran when the target is in its boot loader
  };
  const Case cases[] = {
      {FaultKind::NoReply, "", Stage::Running},
      {FaultKind::WrongFirstByte, "E", Stage::BootLoader},
      {FaultKind::ShortReply, "", Stage::BootLoader},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    WireHarness wire;
    wire.driver.Faults().Add(FaultTrigger::OnLetter('N'), {c.kind});
    wire.Open();
    EXPECT_EQ(wire.Exchange(Frame('N', "4")), c.reply);
    EXPECT_EQ(wire.driver.Target().CurrentStage(), c.stage);
    EXPECT_EQ(wire.driver.Transcript().back().fault, c.kind);
    // Played once: the next N is answered.
    EXPECT_EQ(wire.Exchange(Frame('N', "4")), "!");
  }
}

TEST(FaultInjectionTest, ShortAndWrongRepliesOfQueries) {
  WireHarness wire;
  wire.driver.Faults().Add(FaultTrigger::AtFrame(1), {FaultKind::ShortReply});
  wire.driver.Faults().Add(FaultTrigger::AtFrame(2), {FaultKind::WrongFirstByte, 0, '?'});
  wire.driver.Faults().Add(FaultTrigger::AtFrame(3), {FaultKind::WrongFirstByte});
  wire.Open();
  EXPECT_EQ(wire.Exchange(Frame('?')), "!QZV1");
  EXPECT_EQ(wire.Exchange(Frame('?')), "?QZV11");
  // A frame without a reply gets the one wrong byte: the PC finds it waiting.
  wire.Send(Frame('S', "1234"));
  EXPECT_EQ(wire.Received(), "E");
}

TEST(FaultInjectionTest, CountsFramesOfOneLetter) {
  WireHarness wire;
  wire.driver.Faults().Add(FaultTrigger::OnLetter('I', 2), {FaultKind::NoReply});
  wire.Open();
  EXPECT_EQ(wire.Exchange(Frame('?') + Frame('I')), "!QZV11!");
  EXPECT_EQ(wire.Exchange(Frame('?') + Frame('I')), "!QZV11");
  EXPECT_EQ(wire.Exchange(Frame('I')), "!");
  EXPECT_EQ(wire.driver.Transcript()[3].kind, TranscriptEntry::Kind::Lost);
}

TEST(FaultInjectionTest, StallHoldsTheReplyAndEverythingBehindIt) {
  WireHarness wire;
  wire.driver.Faults().Add(FaultTrigger::AtFrame(1), {FaultKind::Stall, 700});
  wire.Open();
  const uint32_t start = wire.clock.NowMs();
  wire.Send(Frame('I') + Frame('?'));

  char reply[7] = {};
  uint32_t returned = 0;
  ASSERT_EQ(wire.port->Read(reply, sizeof reply, returned), kPortOk);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(wire.clock.NowMs() - start, 200u);  // one read time-out, nothing came

  wire.clock.Advance(500);
  ASSERT_EQ(wire.port->Read(reply, sizeof reply, returned), kPortOk);
  EXPECT_EQ(std::string(reply, returned), "!!QZV11");
  EXPECT_EQ(wire.clock.NowMs() - start, 700u);
}

TEST(FaultInjectionTest, UnplugLosesTheFrameAndTheDeviceUntilReplugged) {
  WireHarness wire;
  wire.driver.Faults().Add(FaultTrigger::OnLetter('O'), {FaultKind::Unplug});
  wire.Open();
  ASSERT_EQ(wire.Exchange(Frame('N', "4")), "!");
  ASSERT_EQ(wire.Exchange(Frame('K', "0" + KeyDigits(kErasedCsmKeys))), "!");

  uint32_t written = 0, waiting = 0;
  const std::string prepare = Frame('O', "00");
  EXPECT_NE(wire.port->Write(prepare.data(), 5, written), kPortOk);
  EXPECT_EQ(wire.driver.Target().CurrentStage(), Stage::FlashAlgorithm);
  EXPECT_NE(wire.port->Write(prepare.data(), 5, written), kPortOk);
  EXPECT_NE(wire.port->BytesWaiting(waiting), kPortOk);
  EXPECT_TRUE(wire.driver.ListPorts().empty());
  std::unique_ptr<Port> other;
  EXPECT_NE(wire.driver.Open(kPodKey, other), kPortOk);
  wire.port.reset();

  wire.driver.Replug();
  EXPECT_EQ(wire.driver.ListPorts().size(), 1u);
  wire.Open();
  EXPECT_EQ(wire.Exchange(Frame('I')), "!");
  // Powered afresh, the POD reset its target.
  EXPECT_EQ(wire.driver.Target().CurrentStage(), Stage::Running);
}

}  // namespace
