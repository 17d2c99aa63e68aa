#include "pod/TracingDriver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "pod/PodCommands.h"
#include "pod/PodLink.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePortDriver.h"

namespace {

using testing::HasSubstr;
using testing::Not;

// Frames as the trace shows them: one per write, keys masked where they ride.
TEST(TracingDriverTest, ShowsFramesWithTheKeyDigitsMasked) {
  const struct {
    std::string sent;
    std::string shown;
  } cases[] = {
      {"\x02I\x03", "<I>"},
      {"\x02O023F40000028\x03", "<O023F40000028>"},
      {"\x02K1123456789ABCDEF0FEDCBA9876543210\x03", "<K1********************************>"},
      {"\x02M4123456789ABCDEF0FEDCBA9876543210\x03", "<M4********************************>"},
      {"\x02P123456789ABCDEF0FEDCBA9876543210\x03", "<P********************************>"},
      // Data words batched in one write; bytes outside frames as they are.
      {"\x02S0102\x03\x02S0304\x03\r", "<S0102><S0304>\\x0D"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TracingDriver::ShowSent(c.sent), c.shown);
  }
}

// A whole exchange through the link: a header, then each frame and reply
// with its time; the stored password's reply is masked as the frames are.
TEST(TracingDriverTest, TracesEachExchangeAndNoKeyDigitReachesTheFile) {
  FakeClock clock;
  auto fake = std::make_unique<FakePortDriver>(clock);
  FakePortDriver& pod = *fake;
  auto trace = std::make_unique<std::ostringstream>();
  std::ostringstream& text = *trace;
  TracingDriver tracing(std::move(fake), std::move(trace));
  PodLink link(tracing, clock);
  pod.AnswerEveryWrite("!");
  ASSERT_TRUE(link.LoadDriver());
  ASSERT_TRUE(link.Find());
  ASSERT_EQ(PodCommands::OpenPod(link), OpenStatus::Ok);
  const std::string keys = "\x02K11A2B3C4D5E6F70819293A4B5C6D7E8F9\x03";
  ASSERT_TRUE(link.Write(keys.data(), static_cast<uint32_t>(keys.size()), 200));
  char reply = 0;
  ASSERT_TRUE(link.Read(&reply, 1, 200));
  pod.onWrite = [&](std::string_view) { pod.QueueReply("!\x1A\x2B\x3C\x4D\x5E\x6F\x70\x81"); };
  const std::string readKeys = "\x02g\x03";
  ASSERT_TRUE(link.Write(readKeys.data(), 3, 200));
  char stored[9] = {};
  ASSERT_TRUE(link.Read(stored, 9, 200));
  link.Close();

  // std::regex, as GoogleTest's own expressions are POSIX ones only on POSIX systems.
  const std::regex expected(
      "# brontaflex wire trace\n"
      "# backend: fake\n"
      "# port: description \"Brontaflex POD\", status 0\n"
      "[0-9]+\\.[0-9]{6} > <I>\n"
      "[0-9]+\\.[0-9]{6} < !\n"
      "[0-9]+\\.[0-9]{6} > <K1\\*{32}>\n"
      "[0-9]+\\.[0-9]{6} < !\n"
      "[0-9]+\\.[0-9]{6} > <g>\n"
      "[0-9]+\\.[0-9]{6} < !\\*{8}\n");
  EXPECT_TRUE(std::regex_match(text.str(), expected)) << text.str();
  for (const char* digits : {"1A2B", "3C4D", "7E8F", "\\x1A", "\\x81"}) {
    EXPECT_THAT(text.str(), Not(HasSubstr(digits)));
  }
}

}  // namespace
