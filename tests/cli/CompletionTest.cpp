// Runs the bash completion of brontaflex-cli against the built program, the
// way bash calls it when the user presses Tab.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <string>

namespace {

// What the completion offers for `words`, the last one being the word under
// the cursor, one space between the offers.
std::string Complete(const QStringList& words) {
  QProcess bash;
  bash.start("bash", QStringList{"-c",
                                 R"(source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
                                    _brontaflex_cli; printf '%s\n' "${COMPREPLY[@]}")",
                                 "bash", BFX_COMPLETION_PATH, BFX_CLI_PATH} +
                         words);
  if (!bash.waitForFinished(30000))
    return "(bash did not finish)";
  return bash.readAllStandardOutput().simplified().toStdString();
}

TEST(CompletionTest, OffersCommandsOptionsAndValues) {
  const struct {
    QStringList words;
    std::string offered;
  } cases[] = {
      {{""}, "list info target-write target-reset pod-write pod-verify pod-info --help --version"},
      {{"pod-"}, "pod-write pod-verify pod-info"},
      {{"info", "--"}, "--device --json --help"},
      {{"target-write", "prog.out", "--d"}, "--device --driver"},
      {{"pod-write", "--"},
       "--device --erase --csm --name --driver --pod --all-pods --trace --replace-trace --json "
       "--quiet --verbose "
       "--help"},
      {{"pod-info", "--v"}, "--verbose"},
      {{"target-write", "--device", ""}, "F2801 F2802 F2806 F2808 F2809"},
      {{"info", "--device", "=", "F2808"}, "F2808"},
      {{"target-write", "--erase", "a"}, "all"},
      {{"pod-info", "--driver", ""}, "d2xx tty emulator"},
      // Operands are files: bash's own completion takes over.
      {{"info", "pr"}, ""},
      {{"target-write", "--csm", ""}, ""},
      {{"nosuchcommand", "--"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words.join(' ').toStdString());
    EXPECT_EQ(Complete(c.words), c.offered);
  }
}

}  // namespace
