#include "cli/TerminalUi.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using testing::EndsWith;
using testing::HasSubstr;

// What a Target Write shows: a status, a bar of 1000 steps, the final message,
// then the clean-up.
void PlayWrite(TerminalUi& ui) {
  ui.ShowStatus("Reading COFF file is successful", false);
  ui.SetBusy(true);
  ui.ShowStatus("Writing Flash Memory...", false);
  ui.SetUpBar(1000);
  for (int i = 0; i < 1000; ++i) {
    ui.StepBar();
  }
  ui.ShowStatus("Flash Write Completed - 1.25 sec", false);
  ui.SetBarPos(0);
  ui.SetBusy(false);
}

size_t Count(const std::string& text, char c) {
  return std::ranges::count(text, c);
}

TEST(TerminalUiTest, OnATerminalOneLineIsRedrawnPerPercent) {
  std::ostringstream out;
  std::ostringstream err;
  TerminalUi ui(out, err, true);
  PlayWrite(ui);

  const std::string text = out.str();
  EXPECT_THAT(text, testing::StartsWith("Reading COFF file is successful\n"));
  EXPECT_THAT(text, HasSubstr("\rWriting Flash Memory... [" + std::string(15, '#') +
                              std::string(15, '.') + "] 50%\x1b[K"));
  EXPECT_THAT(text, HasSubstr("] 100%\x1b[K"));
  EXPECT_LE(Count(text, '\r'), 110u);  // per percent, not per step
  EXPECT_THAT(text, EndsWith("\rFlash Write Completed - 1.25 sec\x1b[K\n"));
  EXPECT_EQ(Count(text, '\n'), 2u);
  EXPECT_EQ(err.str(), "");
}

// Each state of the redrawn line as the terminal ends up showing it.
std::vector<std::string> DrawnLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (const char c : text) {
    if (c == '\r' || c == '\n') {
      lines.push_back(std::exchange(line, {}));
    } else {
      line += c;
    }
  }
  for (std::string& drawn : lines) {
    if (drawn.ends_with("\x1b[K")) {
      drawn.resize(drawn.size() - 3);
    }
  }
  return lines;
}

TEST(TerminalUiTest, TheLineNeverOutgrowsTheTerminal) {
  for (const int columns : {80, 50, 30, 12}) {
    SCOPED_TRACE(columns);
    std::ostringstream out;
    std::ostringstream err;
    TerminalUi ui(out, err, true);
    ui.FitToWidth([columns] { return columns; }, [] { return false; });
    PlayWrite(ui);
    // Whole lines wrap as any text does; the redrawn one must not, or each
    // redrawing leaves a line behind.
    for (const std::string& line : DrawnLines(out.str())) {
      if (line.ends_with('%')) {
        EXPECT_LT(TextColumns(line), static_cast<size_t>(columns)) << line;
      }
    }
    // The bar shrinks to fit, down to none at all; the percentage stays.
    EXPECT_EQ(out.str().find("] 50%") != std::string::npos, columns >= 50);
    EXPECT_THAT(out.str(), HasSubstr(" 50%\x1b[K"));
  }
}

TEST(TerminalUiTest, AResizedTerminalGetsTheLineAgainAtItsNewWidth) {
  std::ostringstream out;
  std::ostringstream err;
  TerminalUi ui(out, err, true);
  int columns = 80;
  bool resized = false;
  ui.FitToWidth([&] { return columns; }, [&] { return std::exchange(resized, false); });
  ui.SetBusy(true);
  ui.ShowStatus("Erasing Flash Memory...", false);
  ui.SetUpBar(4);
  ui.StepBar();
  out.str("");
  columns = 30;
  resized = true;
  ui.SetBarPos(1);  // no progress, yet the line is drawn for the new width
  EXPECT_EQ(out.str(), "\rErasing Flash Memory... 25%\x1b[K");
}

TEST(TerminalUiTest, ElsewherePlainLinesForEveryTenth) {
  std::ostringstream out;
  std::ostringstream err;
  TerminalUi ui(out, err, false);
  PlayWrite(ui);

  std::string expected = "Reading COFF file is successful\nWriting Flash Memory...\n";
  for (int percent = 10; percent <= 100; percent += 10) {
    expected += "Writing Flash Memory... " + std::to_string(percent) + "%\n";
  }
  expected += "Flash Write Completed - 1.25 sec\n";
  EXPECT_EQ(out.str(), expected);
}

TEST(TerminalUiTest, AnErrorEndsTheRedrawnLineAndGoesToTheErrorStream) {
  std::ostringstream out;
  std::ostringstream err;
  TerminalUi ui(out, err, true);
  ui.SetBusy(true);
  ui.ShowStatus("Erasing Flash Memory...", false);
  ui.SetUpBar(4);
  ui.StepBar();
  ui.ShowStatus("Fail to erase flash memory", true);
  FailureCause cause;
  cause.kind = FailureKind::TimeOut;
  cause.context = "erase sector B";
  cause.frame = 'O';
  cause.elapsedMs = 20001;
  ui.ShowFailureCause(cause);
  ui.SetBarPos(0);
  ui.SetBusy(false);

  // Nothing is drawn after the error: no bar at 0, no stale progress message.
  EXPECT_THAT(out.str(), EndsWith("] 25%\x1b[K\n"));
  EXPECT_EQ(err.str(),
            "Fail to erase flash memory\n"
            "cause: erase sector B: time-out after 20001 ms waiting for the reply to O (0 bytes "
            "seen)\n");
}

// Quiet keeps the final message alone, even on a terminal; verbose adds the
// notes and stamps every status line with the time since the start.
TEST(TerminalUiTest, QuietAndVerbose) {
  std::ostringstream quietOut, quietErr;
  TerminalUi quiet(quietOut, quietErr, true, Verbosity::Quiet);
  quiet.Note("backend: tty");
  PlayWrite(quiet);
  quiet.Finish();
  EXPECT_EQ(quietOut.str(), "Flash Write Completed - 1.25 sec\n");

  std::ostringstream failedOut, failedErr;
  TerminalUi failed(failedOut, failedErr, false, Verbosity::Quiet);
  failed.ShowStatus("Reading COFF file is successful", false);
  failed.ShowStatus("Fail to erase flash memory", true);
  failed.Finish();
  EXPECT_EQ(failedOut.str(), "");
  EXPECT_EQ(failedErr.str(), "Fail to erase flash memory\n");

  std::ostringstream verboseOut, verboseErr;
  TerminalUi verbose(verboseOut, verboseErr, true, Verbosity::Verbose);
  verbose.Note("backend: tty");
  PlayWrite(verbose);
  EXPECT_THAT(verboseOut.str(),
              testing::MatchesRegex("\\+0\\.[0-9]{3} s backend: tty\n"
                                    "\\+0\\.[0-9]{3} s Reading COFF file is successful\n"
                                    "(.|\n)*\\+0\\.[0-9]{3} s Flash Write Completed - 1.25 sec\n"));
  // Plain lines, never the redrawn one.
  EXPECT_THAT(verboseOut.str(), testing::Not(HasSubstr("\r")));
}

}  // namespace
