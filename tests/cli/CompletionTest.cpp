// Runs the shell completions of brontaflex-cli against the built program, the
// way bash and fish call them when the user presses Tab; zsh's is parsed.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QtGlobal>
#include <fstream>
#include <sstream>
#include <string>

#include "image/McuCatalogue.h"

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

// The emulated PODs are what list sees, so --pod has serial numbers to offer.
class CompletionTest : public testing::Test {
 protected:
  void SetUp() override {
    qputenv("BRONTAFLEX_DRIVER", "emulator");
    qputenv("BRONTAFLEX_EMULATOR_PODS", "2");
  }
  void TearDown() override {
    qunsetenv("BRONTAFLEX_DRIVER");
    qunsetenv("BRONTAFLEX_EMULATOR_PODS");
  }
};

TEST_F(CompletionTest, OffersCommandsOptionsAndValues) {
  const struct {
    QStringList words;
    std::string offered;
  } cases[] = {
      {{""},
       "list info target-write target-erase target-reset pod-write pod-verify pod-info doctor "
       "--help "
       "--version"},
      {{"do"}, "doctor"},
      {{"doctor", "--"}, "--driver --json --config --help"},
      {{"pod-"}, "pod-write pod-verify pod-info"},
      {{"info", "--"}, "--device --expect --json --config --help"},
      {{"target-write", "prog.out", "--d"}, "--device --driver"},
      {{"pod-write", "--"},
       "--device --expect --erase --csm --csm-file --name --driver --pod --all-pods --trace "
       "--replace-trace --log --json --quiet --verbose --serial --config --help"},
      {{"target-write", "--serial-w"}, "--serial-width"},
      {{"target-write", "--serial-width", ""}, "1 2"},
      {{"pod-info", "--v"}, "--verbose"},
      {{"target-write", "--device", ""}, "F2801 F2802 F2806 F2808 F2809"},
      {{"info", "--device", "=", "F2808"}, "F2808"},
      {{"target-write", "--erase", "a"}, "all"},
      {{"pod-info", "--driver", ""}, "d2xx tty emulator"},
      {{"pod-info", "--driver", "="}, "d2xx tty emulator"},  // "--driver=", nothing typed after
      {{"pod-verify", "--pod", ""}, "BFX00001 BFX00002"},
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

// What fish offers for the command line `line`, the program found on PATH as
// an installed one is: the offers without their descriptions, one space apart.
std::string CompleteInFish(const QString& line) {
  QProcess fish;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("PATH",
                     QFileInfo(BFX_CLI_PATH).absolutePath() + ":" + environment.value("PATH"));
  fish.setProcessEnvironment(environment);
  fish.start("fish",
             {"-c", R"(source $argv[1]; complete -C $argv[2] | string replace -r '\t.*' '')",
              BFX_FISH_COMPLETION_PATH, line});
  if (!fish.waitForFinished(30000))
    return "(fish did not finish)";
  return fish.readAllStandardOutput().simplified().toStdString();
}

TEST_F(CompletionTest, FishOffersWhatBashDoes) {
  const struct {
    const char* line;
    std::string offered;
  } cases[] = {
      {"brontaflex-cli pod-", "pod-info pod-verify pod-write"},
      {"brontaflex-cli info --", "--config --device --expect --help --json"},
      {"brontaflex-cli target-write f.out --d", "--device --driver"},
      {"brontaflex-cli pod-info --driver=", "--driver=d2xx --driver=emulator --driver=tty"},
      {"brontaflex-cli pod-verify --pod ", "BFX00001 BFX00002"},
      {"brontaflex-cli info --device F280", "F2801 F2802 F2806 F2808 F2809"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(CompleteInFish(c.line), c.offered);
  }
}

// The completions are files the shells read as they are, so they spell out
// the devices: each must offer the catalogue's, no more and no fewer.
TEST(CompletionSyntaxTest, EachShellOffersTheCataloguesDevices) {
  std::string names;
  for (const McuInfo& mcu : kMcuCatalogue) {
    names += (names.empty() ? "" : " ") + std::string(mcu.name);
  }
  const struct {
    const char* path;
    std::string offer;
  } completions[] = {
      {BFX_COMPLETION_PATH, "--device) words=\"" + names + "\" ;;"},
      {BFX_ZSH_COMPLETION_PATH, "--device) compadd " + names + " ;;"},
      {BFX_FISH_COMPLETION_PATH, "__brontaflex_cli_takes --device' \\\n    -a '" + names + "'"},
  };
  for (const auto& completion : completions) {
    SCOPED_TRACE(completion.path);
    std::ifstream file(completion.path);
    ASSERT_TRUE(file);
    std::ostringstream text;
    text << file.rdbuf();
    EXPECT_NE(text.str().find(completion.offer), std::string::npos) << completion.offer;
  }
}

TEST(CompletionSyntaxTest, TheZshCompletionParses) {
  QProcess zsh;
  zsh.start("zsh", {"-n", BFX_ZSH_COMPLETION_PATH});
  ASSERT_TRUE(zsh.waitForFinished(30000));
  EXPECT_EQ(zsh.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(zsh.exitCode(), 0) << zsh.readAllStandardError().toStdString();
}

}  // namespace
