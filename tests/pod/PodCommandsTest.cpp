#include "pod/PodCommands.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/pod/FakePodFixture.h"

namespace {

std::string Framed(const std::string& body) {
  return "\x02" + body + "\x03";
}
std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) {
    out += text;
  }
  return out;
}

const std::string kErasedKeys = Repeat("FFFF", 8);
const std::string kTestKeys = "1234ABCD00010203FFFE8000C0DE0F0F";

class PodCommandsTest : public FakePodFixture {
 protected:
  void SetUp() override {
    OpenLink();
    fake.AnswerEveryWrite("!");
  }

  // Commands for the device `mcuType` with `keys`, as an operation builds them.
  PodCommands For(McuType mcuType, const CsmKeys& keys = kKeys) {
    return PodCommands(link, {mcuType, keys});
  }

  static constexpr CsmKeys kKeys{0x1234, 0xABCD, 0x0001, 0x0203, 0xFFFE, 0x8000, 0xC0DE, 0x0F0F};
  PodCommands pod{link, {kF2808, kKeys}};
};

// ---------------------------------------------------------------- frames

TEST(PodFrameTest, FieldsAreFixedWidthUpperCaseHex) {
  EXPECT_EQ(PodCommands::Frame('I'), "\x02I\x03");
  EXPECT_EQ(PodCommands::Frame('O', {{2, 2}, {0x3F4000, 6}, {40, 4}}), Framed("O023F40000028"));
  EXPECT_EQ(PodCommands::Frame('N', {{0xB, 1}}), Framed("NB"));
  EXPECT_EQ(PodCommands::Frame('Z', {{0xFFFFFFFF, 8}}), Framed("ZFFFFFFFF"));
}

TEST(PodFrameTest, ValueTooWideForItsFieldGivesNoFrame) {
  EXPECT_EQ(PodCommands::Frame('N', {{0x10, 1}}), "");
  EXPECT_EQ(PodCommands::Frame('O', {{2, 2}, {0x1000000, 6}, {40, 4}}), "");
  std::string out = "kept";
  EXPECT_FALSE(PodCommands::AppendFrame(out, 'S', std::array{FrameField{0x10000, 4}}));
  EXPECT_EQ(out, "kept");
}

// ---------------------------------------------------------------- transcripts

struct TranscriptCase {
  const char* name;
  McuType mcuType;
  std::function<bool(PodCommands&)> command;
  std::string frame;
};
void PrintTo(const TranscriptCase& c, std::ostream* os) {
  *os << c.name;
}

class PodCommandsTranscriptTest : public PodCommandsTest,
                                  public ::testing::WithParamInterface<TranscriptCase> {};

TEST_P(PodCommandsTranscriptTest, SendsExactlyTheFrame) {
  PodCommands commands = For(GetParam().mcuType);
  EXPECT_TRUE(GetParam().command(commands));
  EXPECT_EQ(fake.writes, std::vector<std::string>{GetParam().frame});
}

PodTagBytes SampleTag() {
  return {'m', 'o', 't', 'o', 'r', '_', 'c', 't', 0x07, 0xD6, 0x0C, 0x14, 0x0E, 0x05};
}

INSTANTIATE_TEST_SUITE_P(
    Commands, PodCommandsTranscriptTest,
    ::testing::Values(
        TranscriptCase{"Ping", kF2808,
                       [](PodCommands& p) { return PodCommands::PingPod(p.link()); }, "\x02I\x03"},
        TranscriptCase{"Reset", kF2808, [](PodCommands& p) { return p.ResetTarget(); },
                       Framed("R")},
        TranscriptCase{"BootF2809", kF2809,
                       [](PodCommands& p) { return p.StartSciBoot(false, true); },
                       std::string{0x02, 'N', '5', 0x03}},
        TranscriptCase{"AlgorithmWithoutCsm", kF2808,
                       [](PodCommands& p) { return p.LoadFlashAlgorithm(false); },
                       Framed("K0" + kErasedKeys)},
        TranscriptCase{"AlgorithmWithCsm", kF2808,
                       [](PodCommands& p) { return p.LoadFlashAlgorithm(true); },
                       Framed("K1" + kTestKeys)},
        TranscriptCase{"Prepare", kF2808, [](PodCommands& p) { return p.PrepareFlash(3000); },
                       Framed("O00")},
        TranscriptCase{"EraseSector2", kF2808,
                       [](PodCommands& p) { return p.EraseSectors(0x0004, 20000); },
                       Framed("O010004")},
        TranscriptCase{"Program40Words", kF2808,
                       [](PodCommands& p) { return p.ProgramWords(0x3F4000, 40, 5000); },
                       Framed("O023F40000028")},
        TranscriptCase{"BootCount", kF2808,
                       [](PodCommands& p) { return p.SendBootHeaderWord(0xC8, 3000); },
                       Framed("U00C8")},
        TranscriptCase{"BootEnd", kF2808, [](PodCommands& p) { return p.EndBootStream(3000); },
                       Framed("X0000")},
        TranscriptCase{"SectionRecord", kF2808,
                       [](PodCommands& p) { return p.SendSectionRecord(1, 0x3F4000, 50, 0xC8); },
                       Framed("V013F40000000320000C8")},
        TranscriptCase{"CommitPage", kF2808, [](PodCommands& p) { return p.CommitPage(0, 264); },
                       Framed("W00000108")},
        TranscriptCase{"ComparePage", kF2808, [](PodCommands& p) { return p.ComparePage(1, 0x88); },
                       Framed("L00010088")},
        TranscriptCase{"PasswordWithoutCsm", kF2808,
                       [](PodCommands& p) { return p.SendPassword(false); },
                       Framed("P" + kErasedKeys)},
        TranscriptCase{"PasswordWithCsm", kF2808,
                       [](PodCommands& p) { return p.SendPassword(true); },
                       Framed("P" + kTestKeys)},
        TranscriptCase{"Tag", kF2808, [](PodCommands& p) { return p.SendTag(SampleTag()); },
                       Framed("T6D6F746F725F637407D60C140E05")},
        TranscriptCase{"CoffInfoF2808", kF2808,
                       [](PodCommands& p) { return p.SendCoffInfo(false, 0x0F, true); },
                       Framed("Q40000F01")},
        TranscriptCase{"CoffInfoF2801Csm", kF2801,
                       [](PodCommands& p) { return p.SendCoffInfo(true, 0x05, false); },
                       Framed("Q11000500")},
        TranscriptCase{"BeginAccess", kF2808, [](PodCommands& p) { return p.BeginAccess(); },
                       Framed("G")},
        TranscriptCase{"EndAccess", kF2808, [](PodCommands& p) { return p.EndAccess(); },
                       Framed("H")},
        TranscriptCase{"AbortAccess", kF2808, [](PodCommands& p) { return p.AbortAccess(); },
                       Framed("i")}),
    [](const auto& info) { return info.param.name; });

struct BootStartCase {
  McuType mcuType;
  bool useCsm;
  bool flashMode;
  std::string frame;
};
void PrintTo(const BootStartCase& c, std::ostream* os) {
  *os << "type " << int{c.mcuType.index()} << (c.useCsm ? " csm" : "")
      << (c.flashMode ? " flash" : " ram");
}

class PodCommandsBootStartTest : public PodCommandsTest,
                                 public ::testing::WithParamInterface<BootStartCase> {};

TEST_P(PodCommandsBootStartTest, KeysGoWithTheBootOnlyForSmallPartsInRamMode) {
  EXPECT_TRUE(For(GetParam().mcuType).StartSciBoot(GetParam().useCsm, GetParam().flashMode));
  EXPECT_EQ(fake.writes, std::vector<std::string>{GetParam().frame});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PodCommandsBootStartTest,
    ::testing::Values(BootStartCase{kF2801, true, false, Framed("M1" + kTestKeys)},
                      BootStartCase{kF2806, true, false, Framed("M3" + kTestKeys)},
                      BootStartCase{kF2808, true, false, Framed("N4")},
                      BootStartCase{kF2809, true, false, Framed("N5")},
                      BootStartCase{kF2801, true, true, Framed("N1")},
                      BootStartCase{kF2802, false, false, Framed("N2")}));

// A silent POD shows each command's reply time-out: the read gives up between
// the time-out and the time-out plus two driver reads.
TEST_F(PodCommandsTest, EachCommandWaitsItsOwnTimeOut) {
  struct Case {
    const char* name;
    std::function<bool(PodCommands&)> command;
    uint32_t timeoutMs;
  };
  const Case cases[] = {
      {"ping", [](PodCommands& p) { return PodCommands::PingPod(p.link()); }, 200},
      {"reset", [](PodCommands& p) { return p.ResetTarget(); }, 1000},
      {"boot", [](PodCommands& p) { return p.StartSciBoot(false, true); }, 3000},
      {"csm boot", [](PodCommands& p) { return p.StartSciBoot(true, false); }, 6000},
      {"algorithm", [](PodCommands& p) { return p.LoadFlashAlgorithm(false); }, 10000},
      {"erase", [](PodCommands& p) { return p.EraseSectors(1, 20000); }, 20000},
      {"block end", [](PodCommands& p) { return p.SendBootLastWord(1, 4000); }, 4000},
      {"section", [](PodCommands& p) { return p.SendSectionRecord(0, 0, 0, 0); }, 200},
      {"page", [](PodCommands& p) { return p.CommitPage(0, 264); }, 3000},
      {"compare", [](PodCommands& p) { return p.ComparePage(0, 264); }, 3000},
  };
  PodCommands commands = For(kF2801);
  fake.onWrite = nullptr;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t start = clock.NowMs();
    EXPECT_FALSE(c.command(commands));
    const uint32_t elapsed = ElapsedSince(start);
    EXPECT_GE(elapsed, c.timeoutMs);
    EXPECT_LT(elapsed, c.timeoutMs + 2 * PodLink::kDriverTimeoutMs + 10);
  }
}

TEST_F(PodCommandsTest, ReplyOtherThanAcceptedFailsEvenAtFullLength) {
  fake.AnswerEveryWrite("?");
  EXPECT_FALSE(pod.ProgramWords(0x3F4000, 40, 5000));
  fake.AnswerEveryWrite("?w\x04\x01\x00\x00\x02");
  PodCommands::CoffInfoReply reply{};
  EXPECT_FALSE(pod.QueryCoffInfo(reply));
}

TEST_F(PodCommandsTest, QueriesHandBackTheRawReply) {
  const std::string section("!\x3F\x40\x00\x00\x00\x32\x00\x00\xC8", 10);
  fake.AnswerEveryWrite(section);
  PodCommands::SectionReply reply{};
  EXPECT_TRUE(pod.QuerySectionRecord(2, reply));
  EXPECT_EQ(std::string(reply.begin(), reply.end()), section);
  EXPECT_EQ(fake.writes, std::vector<std::string>{Framed("l02")});

  fake.AnswerEveryWrite("!\x01" + std::string(14, 'x'));
  PodCommands::TagReply tag{};
  EXPECT_TRUE(pod.QueryTag(tag));
  EXPECT_EQ(tag[1], 1);
  EXPECT_EQ(fake.writes.back(), Framed("J"));

  fake.AnswerEveryWrite("!" + std::string(16, '\xFF'));
  PodCommands::PasswordReply password{};
  EXPECT_TRUE(pod.QueryPassword(password));
  EXPECT_EQ(fake.writes.back(), Framed("g"));
}

TEST_F(PodCommandsTest, ShortQueryReplyFailsAndLeavesNoStaleBytes) {
  PodCommands::CoffInfoReply reply;
  reply.fill(0xAA);
  fake.AnswerEveryWrite("!w\x04");
  EXPECT_FALSE(pod.QueryCoffInfo(reply));
  EXPECT_EQ(reply[3], 0) << "the reply area is zeroed before the exchange";
  EXPECT_EQ(fake.writes, std::vector<std::string>{Framed("h")});
}

TEST_F(PodCommandsTest, ResetDiscardsWhatTheTargetSendsAfterTheAcknowledgement) {
  fake.AnswerEveryWrite("!boot noise");
  EXPECT_TRUE(pod.ResetTarget());
  EXPECT_EQ(fake.unreadBytes(), 0u);
  fake.AnswerEveryWrite("?noise");
  EXPECT_FALSE(pod.ResetTarget());
  EXPECT_EQ(fake.unreadBytes(), 5u) << "no purge after a refused reset";
}

TEST_F(PodCommandsTest, NumberTooWideForItsFieldSendsNothing) {
  EXPECT_FALSE(pod.ProgramWords(0x1000000, 40, 5000));
  EXPECT_FALSE(pod.SendSectionRecord(0, 0x3F4000, 0x1000000, 0));
  EXPECT_TRUE(fake.writes.empty());
}

// ---------------------------------------------------------------- version

struct VersionCase {
  const char* name;
  std::string reply;
  bool ok;
  uint16_t version;
};
void PrintTo(const VersionCase& c, std::ostream* os) {
  *os << c.name;
}

class PodCommandsVersionTest : public PodCommandsTest,
                               public ::testing::WithParamInterface<VersionCase> {};

TEST_P(PodCommandsVersionTest, ReadsTheMarkedVersion) {
  fake.AnswerEveryWrite("!QZV11");
  ASSERT_TRUE(pod.QueryVersion());
  ASSERT_EQ(pod.podVersion(), 11);
  fake.AnswerEveryWrite(GetParam().reply);
  EXPECT_EQ(pod.QueryVersion(), GetParam().ok);
  EXPECT_EQ(pod.podVersion(), GetParam().version);
  EXPECT_EQ(fake.writes.back(), Framed("?"));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, PodCommandsVersionTest,
    ::testing::Values(VersionCase{"Marked", "!QZV12", true, 12},
                      VersionCase{"OtherMarker", "!ABC12", true, 0},
                      VersionCase{"EndsEarly", std::string("!QZV1\0", 6), true, 1},
                      VersionCase{"NoDigits", "!QZVx1", true, 0},
                      VersionCase{"DigitThenLetter", "!QZV3x", true, 3},
                      VersionCase{"ZeroBeforeMarker", std::string("!QZ\0V12", 6), true, 0},
                      VersionCase{"WrongFirstByte", "?QZV12", false, 0},
                      VersionCase{"Short", "!QZ", false, 0}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- data batches

TEST_F(PodCommandsTest, FiftyDataFramesMakeOneWrite) {
  fake.onWrite = nullptr;
  for (uint16_t i = 0; i < 49; ++i) {
    ASSERT_TRUE(pod.SendBootDataWord(i));
  }
  EXPECT_TRUE(fake.writes.empty());
  EXPECT_EQ(pod.pending().size(), 49 * PodCommands::kDataFrameSize);
  EXPECT_TRUE(pod.SendBootDataWord(0xBEEF));
  ASSERT_EQ(fake.writes.size(), 1u);
  EXPECT_EQ(fake.writes[0].size(), 350u);
  EXPECT_EQ(fake.writes[0].substr(0, 14), Framed("S0000") + Framed("S0001"));
  EXPECT_EQ(fake.writes[0].substr(343), Framed("SBEEF"));
  EXPECT_TRUE(pod.pending().empty());
}

TEST_F(PodCommandsTest, FlashWordsFlushAtFiftyOrAtTheLastWord) {
  fake.onWrite = nullptr;
  for (uint16_t i = 0; i < 49; ++i) {
    ASSERT_TRUE(pod.StreamFlashWord(i, false));
  }
  EXPECT_TRUE(fake.writes.empty());
  EXPECT_TRUE(pod.StreamFlashWord(49, false));
  ASSERT_EQ(fake.writes.size(), 1u);
  EXPECT_EQ(fake.writes[0].size(), 350u);

  EXPECT_TRUE(pod.StreamFlashWord(0x3412, true));
  ASSERT_EQ(fake.writes.size(), 2u);
  EXPECT_EQ(fake.writes[1], Framed("S3412"));
}

TEST_F(PodCommandsTest, FlushFailsWhenThePodTalksBackButStillEmptiesTheBatch) {
  // Data words are never answered; a byte from the POD means it lost the stream.
  fake.AnswerEveryWrite("?");
  EXPECT_FALSE(pod.StreamFlashWord(1, true));
  EXPECT_TRUE(pod.pending().empty());
  EXPECT_EQ(fake.unreadBytes(), 1u) << "left for the closing purge";

  fake.onWrite = nullptr;
  fake.failures["Write"] = kPortIoError;
  for (uint16_t i = 0; i < 49; ++i) {
    ASSERT_TRUE(pod.SendBootDataWord(i));
  }
  EXPECT_FALSE(pod.SendBootDataWord(49));
  EXPECT_TRUE(pod.pending().empty());
}

TEST_F(PodCommandsTest, BlockEndFlushesTheBatchAndWaitsForTheAcknowledgement) {
  fake.onWrite = nullptr;
  for (uint16_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(pod.SendBootDataWord(i));
  }
  fake.AnswerEveryWrite("!");
  EXPECT_TRUE(pod.SendBootLastWord(0x00FF, 4000));
  EXPECT_EQ(fake.writes, std::vector<std::string>{Framed("S0000") + Framed("S0001") +
                                                  Framed("S0002") + Framed("Y00FF")});
  EXPECT_TRUE(pod.pending().empty());

  fake.AnswerEveryWrite("?");
  EXPECT_FALSE(pod.SendBootLastWord(1, 4000));
}

TEST_F(PodCommandsTest, HeaderWordsGoAloneAndLeaveTheBatchAlone) {
  fake.onWrite = nullptr;
  ASSERT_TRUE(pod.SendBootDataWord(7));
  fake.AnswerEveryWrite("!");
  EXPECT_TRUE(pod.SendBootHeaderWord(0x0032, 3000));
  EXPECT_EQ(fake.writes, std::vector<std::string>{Framed("U0032")});
  EXPECT_EQ(pod.pending(), Framed("S0007"));
  pod.ClearPending();
  EXPECT_TRUE(pod.pending().empty());
}

TEST_F(PodCommandsTest, BootAddressSendsTheHighWordFirst) {
  EXPECT_TRUE(pod.SendBootAddress(0x3F80C8, 3000));
  EXPECT_EQ(fake.writes, (std::vector<std::string>{Framed("U003F"), Framed("U80C8")}));

  fake.writes.clear();
  fake.AnswerEveryWrite("?");
  EXPECT_FALSE(pod.SendBootAddress(0x8000, 3000));
  EXPECT_EQ(fake.writes, std::vector<std::string>{Framed("U0000")});
}

TEST_F(PodCommandsTest, KeysAreThoseTheOperationStartedWith) {
  CsmKeys keys{};
  keys[7] = 0x5A5A;
  EXPECT_TRUE(For(kF2808, keys).LoadFlashAlgorithm(true));
  EXPECT_EQ(fake.writes.back(), Framed("K1" + Repeat("0000", 7) + "5A5A"));
}

}  // namespace
