// Frames as the POD reads them: the well-formed ones answered, every kind of
// malformed input refused or ignored, recorded, and the stream recovering after it.
#include <gtest/gtest.h>

#include "tests/emulator/WireHarness.h"

namespace {

using Kind = TranscriptEntry::Kind;

TEST(FrameParsingTest, AnswersPingAndVersion) {
  WireHarness wire;
  wire.Open();
  EXPECT_EQ(wire.Exchange(Frame('I')), "!");
  EXPECT_EQ(wire.Exchange(Frame('?')), "!QZV11");

  EmulatorConfig config;
  config.pod.firmwareVersion = "QZV12";
  WireHarness other(config);
  other.Open();
  EXPECT_EQ(other.Exchange(Frame('?')), "!QZV12");

  ASSERT_EQ(wire.driver.Transcript().size(), 2u);
  EXPECT_EQ(wire.driver.Transcript()[1].frame, Frame('?'));
  EXPECT_EQ(wire.driver.Transcript()[1].reply, "!QZV11");
  EXPECT_EQ(wire.driver.Transcript()[1].kind, Kind::Accepted);
}

TEST(FrameParsingTest, MalformedInputIsRefusedOrIgnoredAndTheNextFrameWorks) {
  struct Case {
    const char* what;
    std::string bytes;
    std::string reply;
    Kind kind;
  };
  const std::string stx(1, kStx), etx(1, kEtx);
  const Case cases[] = {
      {"lower-case hex", Frame('S', "00ff"), kNakReply, Kind::Malformed},
      {"payload too long", Frame('N', "45"), kNakReply, Kind::Malformed},
      {"payload too short", Frame('V', "003F4000"), kNakReply, Kind::Malformed},
      {"unknown letter", Frame('Z'), kNakReply, Kind::Malformed},
      {"letters are case-sensitive", Frame('n', "4"), kNakReply, Kind::Malformed},
      {"O of an unknown kind", Frame('O', "03"), kNakReply, Kind::Malformed},
      {"O kind and length disagree", Frame('O', "010001000000"), kNakReply, Kind::Malformed},
      {"no letter", stx + etx, kNakReply, Kind::Malformed},
      {"far too long", Frame('P', std::string(200, 'F')), kNakReply, Kind::Malformed},
      {"junk between frames", "hello\r\n", "", Kind::Junk},
      {"frame cut off by the next STX", stx + "N4", "", Kind::Malformed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WireHarness wire;
    wire.Open();
    EXPECT_EQ(wire.Exchange(c.bytes), c.reply);
    EXPECT_EQ(wire.Exchange(Frame('I')), "!");

    const auto& transcript = wire.driver.Transcript();
    ASSERT_EQ(transcript.size(), 2u);
    EXPECT_EQ(transcript[0].kind, c.kind);
    EXPECT_EQ(transcript[1].kind, Kind::Accepted);
    EXPECT_EQ(transcript[1].frame, Frame('I'));
    if (c.kind == Kind::Malformed) {
      EXPECT_FALSE(transcript[0].note.empty());
    }
  }
}

TEST(FrameParsingTest, FramesSplitAcrossWritesAndBatchedInOneWrite) {
  WireHarness wire;
  wire.Open();
  const std::string ping = Frame('I');
  wire.Send(ping.substr(0, 2));
  EXPECT_EQ(wire.Received(), "");
  wire.Send(ping.substr(2));
  EXPECT_EQ(wire.Received(), "!");

  EXPECT_EQ(wire.Exchange(Frame('I') + Frame('?') + Frame('I')), "!!QZV11!");
}

TEST(FrameParsingTest, StrayBytesInARowMakeOneJunkEntry) {
  WireHarness wire;
  wire.Open();
  wire.Send("ab");
  wire.Send("c");
  wire.Exchange(Frame('I'));
  wire.Send("d");
  const auto& transcript = wire.driver.Transcript();
  ASSERT_EQ(transcript.size(), 3u);
  EXPECT_EQ(transcript[0].frame, "abc");
  EXPECT_EQ(transcript[2].frame, "d");
  EXPECT_EQ(transcript[2].kind, Kind::Junk);
}

}  // namespace
