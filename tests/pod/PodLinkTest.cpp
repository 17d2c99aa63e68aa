#include "pod/PodCommands.h"
#include "pod/PodLink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/pod/FakePodFixture.h"

namespace {

const std::string kPing = "\x02I\x03";

using PodLinkTest = FakePodFixture;

// ---------------------------------------------------------------- Find

struct FindCase {
  const char* name;
  std::vector<std::string> devices;
  std::optional<std::string> failingCall;
  bool found;
};
void PrintTo(const FindCase& c, std::ostream* os) {
  *os << c.name;
}

class PodLinkFindTest : public FakePodFixture, public ::testing::WithParamInterface<FindCase> {};

TEST_P(PodLinkFindTest, TakesAnExactMatch) {
  const FindCase& c = GetParam();
  fake.devices = c.devices;
  if (c.failingCall) {
    fake.failures[*c.failingCall] = kPortIoError;
  }
  ASSERT_TRUE(link.LoadDriver());
  EXPECT_EQ(link.Find(), c.found);
  EXPECT_EQ(link.found(), c.found);
  EXPECT_EQ(std::string(link.description()), c.found ? "Brontaflex POD" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PodLinkFindTest,
    ::testing::Values(
        FindCase{"SecondOfThree", {"USB Serial", "Brontaflex POD", "Brontaflex POD"}, {}, true},
        FindCase{"NearMissesOnly",
                 {"Brontaflex POD ", "brontaflex pod", "Brontaflex PO", "Brontaflex POD2"},
                 {},
                 false},
        FindCase{"NoDevice", {}, {}, false},
        FindCase{"ListFails", {"Brontaflex POD"}, "ListPorts", false},
        FindCase{
            "UnreadableEntrySkipped", {"Brontaflex POD", "Brontaflex POD"}, "ListPorts 0", true},
        FindCase{"OnlyPodUnreadable", {"USB Serial", "Brontaflex POD"}, "ListPorts 1", false}),
    [](const auto& info) { return info.param.name; });

TEST_F(PodLinkTest, FindDoesNotSearchAgainOnceFound) {
  ASSERT_TRUE(link.LoadDriver());
  ASSERT_TRUE(link.Find());
  fake.devices.clear();  // unplugged
  EXPECT_TRUE(link.Find());
  EXPECT_EQ(fake.listCalls, 1u);
  // ...so the open is what notices.
  EXPECT_EQ(PodCommands::OpenPod(link), OpenStatus::PortFailed);
  EXPECT_TRUE(link.found());
}

// Two PODs and another bridge; which one a chosen serial number finds and opens.
struct ChoiceCase {
  const char* name;
  std::string chosen;
  bool found;
  const char* openCall;  // the open the link makes, when found
};
void PrintTo(const ChoiceCase& c, std::ostream* os) {
  *os << c.name;
}

class PodLinkChoiceTest : public FakePodFixture,
                          public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(PodLinkChoiceTest, ChosenSerialNumberPicksThePod) {
  const ChoiceCase& c = GetParam();
  fake.devices = {"Brontaflex POD", "USB Serial", "Brontaflex POD"};
  fake.serialNumbers = {"BFX00001", "BFX00002", "BFX00003"};
  fake.AnswerEveryWrite("!");
  ASSERT_TRUE(link.LoadDriver());
  link.ChooseSerialNumber(c.chosen);
  ASSERT_EQ(link.Find(), c.found);
  if (c.found) {
    fake.calls.clear();
    EXPECT_EQ(PodCommands::OpenPod(link), OpenStatus::Ok);
    EXPECT_EQ(fake.calls.front(), c.openCall);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PodLinkChoiceTest,
    ::testing::Values(ChoiceCase{"NoneChosenTakesTheFirst", "", true,
                                 "Open description Brontaflex POD"},
                      ChoiceCase{"SecondPod", "BFX00003", true, "Open serial number BFX00003"},
                      ChoiceCase{"FirstPod", "BFX00001", true, "Open serial number BFX00001"},
                      // The serial number of a bridge that is not a POD does not make it one.
                      ChoiceCase{"OtherBridge", "BFX00002", false, ""},
                      ChoiceCase{"Unknown", "BFX9", false, ""},
                      ChoiceCase{"CaseMatters", "bfx00003", false, ""}),
    [](const auto& info) { return info.param.name; });

TEST_F(PodLinkTest, ChoosingAnotherPodSearchesAgain) {
  fake.devices = {"Brontaflex POD", "Brontaflex POD"};
  fake.serialNumbers = {"A", "B"};
  ASSERT_TRUE(link.LoadDriver());
  ASSERT_TRUE(link.Find());
  link.ChooseSerialNumber("B");
  EXPECT_FALSE(link.found());
  ASSERT_TRUE(link.Find());
  EXPECT_EQ(fake.listCalls, 2u);
  EXPECT_EQ(link.AttachedPods().size(), 2u);
}

TEST_F(PodLinkTest, WithoutDriverNothingIsFoundOrOpened) {
  fake.loads = false;
  EXPECT_FALSE(link.LoadDriver());
  EXPECT_FALSE(link.Find());
  EXPECT_EQ(PodCommands::OpenPod(link), OpenStatus::PortFailed);
  EXPECT_EQ(fake.listCalls, 0u);
  EXPECT_EQ(fake.calls, std::vector<std::string>{"Load"});
}

// ---------------------------------------------------------------- Open

TEST_F(PodLinkTest, OpenSetsTheLineUpInOrderAndPings) {
  fake.AnswerEveryWrite("!");
  ASSERT_TRUE(link.LoadDriver());
  ASSERT_TRUE(link.Find());
  fake.calls.clear();
  EXPECT_EQ(PodCommands::OpenPod(link), OpenStatus::Ok);
  EXPECT_TRUE(link.isOpen());
  EXPECT_EQ(fake.calls, (std::vector<std::string>{
                            "Open description Brontaflex POD",
                            "Configure 921600 8N1 200,200",
                            "GetLatency",
                            "SetLatency 1",
                            "GetLatency",
                            "Purge 3",
                        }));
  EXPECT_EQ(fake.writes, std::vector<std::string>{kPing});
  EXPECT_EQ(fake.openPorts(), 1u);
}

TEST_F(PodLinkTest, LatencyAlreadyOneIsNotWrittenAgain) {
  fake.latencyMs = 1;
  OpenLink();
  fake.AnswerEveryWrite("!");
  link.Close();
  ASSERT_EQ(PodCommands::OpenPod(link), OpenStatus::Ok);
  for (const std::string& call : fake.calls) {
    EXPECT_FALSE(call.starts_with("SetLatency")) << call;
  }
  EXPECT_EQ(link.latencyMs(), 1);
  EXPECT_EQ(link.latencyProblem(), "");
}

// A timer that will not go down to 1 ms makes every reply slow, not the link
// unusable: the open goes on and says what the timer reads back.
TEST_F(PodLinkTest, LatencyThatDoesNotTakeIsReadBackAndReported) {
  const struct {
    const char* name;
    bool setFails;
    const char* problem;
  } cases[] = {
      {"SetFails", true, "driver status 18"},
      {"SetIgnored", false, "it did not take the new value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock localClock;
    FakePortDriver driver(localClock);
    PodLink local(driver, localClock);
    driver.AnswerEveryWrite("!");
    if (c.setFails) {
      driver.failures["SetLatency"] = kPortOtherError;
    } else {
      driver.latencyIgnored = true;
    }
    ASSERT_TRUE(local.LoadDriver() && local.Find());
    EXPECT_EQ(PodCommands::OpenPod(local), OpenStatus::Ok);
    EXPECT_EQ(local.latencyMs(), 16);
    EXPECT_EQ(local.latencyProblem(), c.problem);
  }
}

class PodLinkOpenFailureTest : public FakePodFixture,
                               public ::testing::WithParamInterface<const char*> {};

TEST_P(PodLinkOpenFailureTest, FailingStepLeavesNoPortOpen) {
  fake.AnswerEveryWrite("!");
  fake.failures[GetParam()] = kPortIoError;
  ASSERT_TRUE(link.LoadDriver());
  ASSERT_TRUE(link.Find());
  EXPECT_EQ(PodCommands::OpenPod(link), OpenStatus::PortFailed);
  EXPECT_FALSE(link.isOpen());
  EXPECT_TRUE(link.found());
  EXPECT_EQ(fake.openPorts(), 0u);
  EXPECT_TRUE(fake.writes.empty()) << "pinged a port that failed its set-up";
  // The step that failed is the last one tried before the port was closed.
  const bool openedAtAll = std::string(GetParam()) != "Open";
  ASSERT_GE(fake.calls.size(), 2u);
  EXPECT_TRUE(fake.calls.back() == (openedAtAll ? "Close" : "Open description Brontaflex POD"));
  if (openedAtAll) {
    EXPECT_TRUE(fake.calls[fake.calls.size() - 2].starts_with(GetParam()));
  }
}

INSTANTIATE_TEST_SUITE_P(Steps, PodLinkOpenFailureTest,
                         ::testing::Values("Open", "Configure", "GetLatency", "Purge"));

TEST_F(PodLinkTest, SilentOrWrongPingAnswerIsNoAnswer) {
  for (const char* answer : {"", "?", "I"}) {
    SCOPED_TRACE(answer);
    fake.AnswerEveryWrite(answer);
    ASSERT_TRUE(link.LoadDriver());
    ASSERT_TRUE(link.Find());
    EXPECT_EQ(PodCommands::OpenPod(link), OpenStatus::NoAnswer);
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(fake.openPorts(), 0u);
  }
}

TEST_F(PodLinkTest, OpenWhileOpenTouchesNothing) {
  OpenLink();
  EXPECT_EQ(PodCommands::OpenPod(link), OpenStatus::Ok);
  EXPECT_TRUE(fake.calls.empty());
  EXPECT_TRUE(fake.writes.empty());
}

// Only what came in is dropped: the transmit queue may hold the last frame.
TEST_F(PodLinkTest, CloseDiscardsWhatCameInAndKeepsThePodFound) {
  OpenLink();
  fake.QueueReply("junk");
  link.Close();
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"Purge 1", "Close"}));
  EXPECT_FALSE(link.isOpen());
  EXPECT_TRUE(link.found());
  EXPECT_EQ(fake.openPorts(), 0u);
  EXPECT_EQ(fake.unreadBytes(), 0u);
  uint32_t waiting = 0;
  EXPECT_FALSE(link.QueuedInput(waiting));
}

TEST_F(PodLinkTest, UnloadingTheDriverClosesThePortFirst) {
  OpenLink();
  link.UnloadDriver();
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"Purge 1", "Close", "Unload"}));
  EXPECT_FALSE(link.found());
  EXPECT_FALSE(link.Find());
}

// ---------------------------------------------------------------- Read

struct ReadCase {
  const char* name;
  std::string reply;
  uint32_t delayMs;  // until the first reply byte
  uint32_t gapMs;    // between reply bytes
  uint32_t count;
  uint32_t firstByteTimeoutMs;
  bool ok;
  uint32_t driverReads;
};
void PrintTo(const ReadCase& c, std::ostream* os) {
  *os << c.name;
}

class PodLinkReadTest : public FakePodFixture, public ::testing::WithParamInterface<ReadCase> {};

// The driver's read time-out is 200 ms (set by Open), so a silence is judged
// at the second empty driver read, 201 ms (one read plus the 1 ms sleep) after
// the first.
TEST_P(PodLinkReadTest, FollowsTheTimeOutRules) {
  const ReadCase& c = GetParam();
  OpenLink();
  fake.QueueReply(c.reply, c.delayMs, c.gapMs);
  std::string buffer(c.count, '\0');
  EXPECT_EQ(link.Read(buffer.data(), c.count, c.firstByteTimeoutMs), c.ok);
  EXPECT_EQ(fake.readCalls, c.driverReads);
  if (c.ok) {
    EXPECT_EQ(buffer, c.reply.substr(0, c.count));
    EXPECT_EQ(fake.unreadBytes(), c.reply.size() - c.count);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PodLinkReadTest,
    ::testing::Values(
        // Returns at the first byte even with more queued behind it.
        ReadCase{"OneByteOfMany", "!ABC", 0, 0, 1, 200, true, 1},
        ReadCase{"ExactlyCount", "!ABCD", 0, 0, 3, 200, true, 3},
        // Nothing asked, nothing taken: not even one byte lands in the buffer.
        ReadCase{"NothingAsked", "!", 0, 0, 0, 200, true, 0},
        // Silence from the start: judged at 401 ms, 201 ms after it began at 200.
        ReadCase{"SilentPod", "", 0, 0, 1, 200, false, 2},
        // A long first-byte time-out: reads end at 200, 401, ..., 1205; 1205 - 200 >= 1000.
        ReadCase{"SilentPodLongTimeout", "", 0, 0, 1, 1000, false, 6},
        ReadCase{"LateFirstByteWithinTimeout", "!", 1100, 0, 1, 1000, true, 6},
        // Stops after three bytes: empty reads at +200 and +401 end it.
        ReadCase{"StopsHalfWay", "!QZ", 0, 0, 6, 200, false, 5},
        // A gap longer than 100 ms is forgiven while it fits in one empty read...
        ReadCase{"GapWithinOneEmptyRead", "!AB", 0, 250, 3, 200, true, 5},
        // ...but not when the second empty read comes 100 ms or more into it.
        ReadCase{"GapOverTwoEmptyReads", "!AB", 0, 450, 3, 200, false, 3}),
    [](const auto& info) { return info.param.name; });

TEST_F(PodLinkTest, ByteWaitingInTheQueueHoldsTheTimeOutOff) {
  // The first silence is judged at +401; a byte that is in the driver's queue
  // by the check right after (at +402) keeps the read going, one a tick later does not.
  for (const auto& [arrivalMs, ok] : {std::pair{402u, true}, std::pair{403u, false}}) {
    SCOPED_TRACE(arrivalMs);
    OpenLink();
    fake.QueueReply("!", arrivalMs);
    char byte = 0;
    EXPECT_EQ(link.Read(&byte, 1, 200), ok);
    link.Close();
  }
}

TEST_F(PodLinkTest, SilenceAcrossTheTickCounterWrapEndsOnTime) {
  // With a 250 ms first-byte time-out the silence is judged at +201 (too
  // early) and ends at +402. The counter wraps between the silence's start
  // and its end (300 ms before the wrap), or between the start plus the
  // time-out and the first judgement (220 ms before); neither may hang the
  // read or end it early.
  for (const uint32_t beforeWrap : {300u, 220u}) {
    SCOPED_TRACE(beforeWrap);
    OpenLink();
    fake.readLimit = 50;  // a read that never ends fails here instead of hanging
    const uint32_t readStart = 0u - beforeWrap - PodLink::kDriverTimeoutMs;
    clock.Advance(readStart - clock.NowMs());
    char byte = 0;
    EXPECT_FALSE(link.Read(&byte, 1, 250));
    EXPECT_EQ(fake.readCalls, 3u);
    EXPECT_EQ(ElapsedSince(readStart), 603u);
    link.Close();
  }
}

TEST_F(PodLinkTest, ReadFailsWhenTheDriverDoes) {
  for (const char* call : {"Read", "BytesWaiting"}) {
    SCOPED_TRACE(call);
    OpenLink();
    fake.QueueReply("!");
    fake.failures[call] = kPortIoError;
    char byte = 0;
    EXPECT_FALSE(link.Read(&byte, 1, 200));
    fake.failures.clear();
    link.Close();
  }
}

TEST_F(PodLinkTest, NothingIsReadOrWrittenWhileClosed) {
  char byte = 0;
  EXPECT_FALSE(link.Read(&byte, 1, 200));
  EXPECT_FALSE(link.Write("x", 1, 200));
  EXPECT_EQ(fake.readCalls, 0u);
  EXPECT_TRUE(fake.writes.empty());
}

// ---------------------------------------------------------------- Write

TEST_F(PodLinkTest, AStopAskedForEndsAWaitOnASilentPodAtOnce) {
  const struct {
    const char* name;
    std::function<bool()> wait;
    bool sending;
  } cases[] = {
      {"a reply that does not come within an erase's time-out",
       [this] {
         char byte = 0;
         return link.Read(&byte, 1, 20000);
       },
       false},
      {"a transmit queue that does not drain",
       [this] {
         fake.drainMs = 60000;
         fake.statusCallMs = 30;
         return link.Write("\x02O\x03", 3, 10000);
       },
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OpenLink();
    const uint32_t start = clock.NowMs();
    link.SetStopCheck([&] { return ElapsedSince(start) >= 1000; });
    EXPECT_FALSE(c.wait());
    // The stop waits for no more than the driver call under way.
    EXPECT_LE(ElapsedSince(start), 1000 + PodLink::kDriverTimeoutMs + 1);
    EXPECT_EQ(link.failure().kind, FailureKind::Stopped);
    EXPECT_EQ(link.failure().sending, c.sending);
    link.SetStopCheck(nullptr);
    link.Close();
    fake.drainMs = 0;
    fake.statusCallMs = 1;
  }
}

TEST_F(PodLinkTest, WriteWaitsForTheTransmitQueueToDrain) {
  for (const auto& [drainMs, ok] : {std::pair{0u, true}, std::pair{150u, true},
                                    std::pair{199u, true}, std::pair{260u, false}}) {
    SCOPED_TRACE(drainMs);
    OpenLink();
    fake.drainMs = drainMs;
    EXPECT_EQ(link.Write("\x02R\x03", 3, 200), ok);
    EXPECT_EQ(fake.writes, std::vector<std::string>{"\x02R\x03"});
    link.Close();
  }
}

// A frame whose write gave up waiting is still on its way; the purge of a close
// must not take it back, yet a queue that never empties cannot hold the close.
TEST_F(PodLinkTest, PurgeAndCloseLetQueuedBytesLeaveFirst) {
  for (const bool closing : {false, true}) {
    for (const auto& [drainMs, waitedMs] :
         {std::pair{600u, 600u}, std::pair{5000u, PodLink::kDrainTimeoutMs}}) {
      SCOPED_TRACE(testing::Message() << (closing ? "Close " : "Purge ") << drainMs);
      OpenLink();
      fake.drainMs = drainMs;
      ASSERT_FALSE(link.Write("\x02i\x03", 3, 10));
      const uint32_t start = clock.NowMs();
      if (closing) {
        link.Close();
      } else {
        link.Purge();
      }
      EXPECT_GE(ElapsedSince(start), waitedMs - 15);
      EXPECT_LE(ElapsedSince(start), waitedMs + 5);
      EXPECT_EQ(fake.calls.back(), closing ? "Close" : "Purge 3");
      link.Close();
      fake.drainMs = 0;
    }
  }
}

// The end of a store (H) or its abandon (i) gets no reply: once the driver's
// queue is empty the bytes are in the bridge, which still has to clock them
// out, so the close waits for their time on the line and purges nothing sent.
TEST_F(PodLinkTest, CloseGivesAnUnansweredLastFrameItsLineTime) {
  const struct {
    const char* name;
    std::string frame;
    bool answered;
    uint32_t waitMs;  // 10 bits a byte at 921600 baud, rounded up, and the margin
  } cases[] = {
      {"EndOfStore", "\x02H\x03", false, 1 + PodLink::kLineMarginMs},
      {"DataBatch", std::string(356, 'S'), false, 4 + PodLink::kLineMarginMs},
      {"Answered", "\x02R\x03", true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OpenLink();
    if (c.answered) {
      fake.AnswerEveryWrite("!");
    }
    ASSERT_TRUE(link.Write(c.frame.data(), static_cast<uint32_t>(c.frame.size()), 200));
    if (c.answered) {
      char reply = 0;
      ASSERT_TRUE(link.Read(&reply, 1, 200));
    }
    fake.onWrite = nullptr;
    fake.calls.clear();
    const uint32_t start = clock.NowMs();
    link.Close();
    // The status call of the drain takes 1 ms of its own.
    EXPECT_GE(ElapsedSince(start), c.waitMs);
    EXPECT_LE(ElapsedSince(start), c.waitMs + 1);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"Purge 1", "Close"}));
  }
}

TEST_F(PodLinkTest, WriteFailsWhenTheDriverDoesOrCutsItShort) {
  OpenLink();
  for (const char* call : {"Write", "BytesUnsent"}) {
    SCOPED_TRACE(call);
    fake.failures[call] = kPortIoError;
    EXPECT_FALSE(link.Write("abc", 3, 200));
    fake.failures.clear();
  }
  fake.shortWriteBy = 1;
  EXPECT_FALSE(link.Write("abc", 3, 200));
}

TEST_F(PodLinkTest, QueuedInputCountsArrivedBytes) {
  OpenLink();
  fake.QueueReply("ab");
  fake.QueueReply("c", 50);
  uint32_t waiting = 0;
  EXPECT_TRUE(link.QueuedInput(waiting));
  EXPECT_EQ(waiting, 2u);
  fake.failures["BytesWaiting"] = kPortIoError;
  EXPECT_FALSE(link.QueuedInput(waiting));
}

}  // namespace

// ---------------------------------------------------------------- Idle turns

// The longest stretch of a wait without a turn for the program above,
// counting from the wait's start to the first turn and from the last to its end.
uint32_t LongestStretchWithoutTurn(FakeClock& clock, PodLink& link,
                                   const std::function<void()>& wait) {
  std::vector<uint32_t> turns{clock.NowMs()};
  link.SetIdleHook([&] { turns.push_back(clock.NowMs()); });
  wait();
  turns.push_back(clock.NowMs());
  link.SetIdleHook(nullptr);
  uint32_t longest = 0;
  for (size_t i = 1; i < turns.size(); ++i) {
    longest = std::max(longest, turns[i] - turns[i - 1]);
  }
  return longest;
}

TEST_F(PodLinkTest, EveryWaitGivesTheProgramAboveATurnWellWithinAQuarterSecond) {
  struct Case {
    const char* name;
    std::function<void()> wait;
    uint32_t atLeastMs;  // how long the wait must have lasted for the case to mean anything
  };
  const Case cases[] = {
      {"a POD silent through an erase's time-out",
       [this] {
         char byte = 0;
         EXPECT_FALSE(link.Read(&byte, 1, 20000));
       },
       20000},
      {"a reply trickling in just within the gap allowed",
       [this] {
         fake.QueueReply("!ABCDEFGHIJ", 0, 95);
         char reply[11];
         EXPECT_TRUE(link.Read(reply, sizeof reply, 200));
       },
       950},
      {"a transmit queue that never drains",
       [this] {
         fake.drainMs = 60000;
         fake.statusCallMs = 30;
         EXPECT_FALSE(link.Write("\x02O\x03", 3, 10000));
       },
       10000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenLink();
    const uint32_t start = clock.NowMs();
    EXPECT_LT(LongestStretchWithoutTurn(clock, link, c.wait), 250u);
    EXPECT_GE(ElapsedSince(start), c.atLeastMs);
    link.Close();
    fake.drainMs = 0;
    fake.statusCallMs = 1;
  }
}
