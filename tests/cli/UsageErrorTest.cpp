// A command line the program cannot run gets the one line that is wrong and a
// pointer to the help, never the whole help; a script that asked for JSON
// still gets its object.
#include <gtest/gtest.h>

#include "tests/cli/CliRun.h"

namespace {

TEST(UsageErrorTest, OneLineSaysWhatIsWrongAndWhereTheHelpIs) {
  const struct {
    QStringList args;
    const char* err;
  } cases[] = {
      {{},
       "brontaflex-cli: missing command\n"
       "Try 'brontaflex-cli --help' for more information.\n"},
      {{"flash"},
       "brontaflex-cli: unknown command flash\n"
       "Try 'brontaflex-cli --help' for more information.\n"},
      {{"target-write", "f.out", "--bogus"},
       "brontaflex-cli target-write: unknown option --bogus\n"
       "Try 'brontaflex-cli target-write --help' for more information.\n"},
      {{"pod-info", "-q", "-v", "--driver", "emulator"},
       "brontaflex-cli pod-info: --quiet and --verbose cannot be used together\n"
       "Try 'brontaflex-cli pod-info --help' for more information.\n"},
      // Short options bundle.
      {{"pod-info", "-qv", "--driver", "emulator"},
       "brontaflex-cli pod-info: --quiet and --verbose cannot be used together\n"
       "Try 'brontaflex-cli pod-info --help' for more information.\n"},
      {{"pod-info", "-qx"},
       "brontaflex-cli pod-info: unknown option -x\n"
       "Try 'brontaflex-cli pod-info --help' for more information.\n"},
      {{"target-write", "f.out", "--erase"},
       "brontaflex-cli target-write: option --erase needs MODE\n"
       "Try 'brontaflex-cli target-write --help' for more information.\n"},
      {{"target-reset", "--json=yes"},
       "brontaflex-cli target-reset: option --json takes no value\n"
       "Try 'brontaflex-cli target-reset --help' for more information.\n"},
      {{"info", "f.out", "--device", "F2812"},
       "brontaflex-cli info: unknown device F2812 (F2801, F2802, F2806, F2808 or F2809)\n"
       "Try 'brontaflex-cli info --help' for more information.\n"},
      // What the user typed comes back escaped.
      {{"pod-verify", "--\x1b]0;x"},
       "brontaflex-cli pod-verify: unknown option --\\x1b]0;x\n"
       "Try 'brontaflex-cli pod-verify --help' for more information.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const CliRun run = RunCli(c.args);
    EXPECT_EQ(run.exitCode, 64);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "");
  }
}

TEST(UsageErrorTest, JsonStillGetsAnObject) {
  const struct {
    QStringList args;
    const char* command;  // null for none
  } cases[] = {
      {{"pod-write", "f.out", "--json", "--erase=some"}, "pod-write"},
      {{"target-reset", "--json", "extra"}, "target-reset"},
      {{"info", "--json"}, "info"},
      {{"nosuchcommand", "--json"}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const CliRun run = RunCli(c.args);
    EXPECT_EQ(run.exitCode, 64);
    const QJsonObject json = run.Json();
    EXPECT_EQ(json["outcome"].toString(), "Usage") << run.out;
    EXPECT_EQ(json["exitCode"].toInt(), 64);
    EXPECT_FALSE(json["message"].toString().isEmpty());
    if (c.command != nullptr) {
      EXPECT_EQ(json["command"].toString(), c.command);
    } else {
      EXPECT_TRUE(json["command"].isNull());
    }
  }
}

}  // namespace
