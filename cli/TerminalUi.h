// The operations' status line and progress bar on a terminal: on a TTY one
// line redrawn in place with the status, a bar and a percentage; otherwise
// plain lines, with the progress every tenth, for logs and pipes.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "ops/OperationsUi.h"

// The columns a text takes on a terminal: one for each character, as the
// texts shown here are; UTF-8 continuation bytes take none.
size_t TextColumns(std::string_view text);

// Quiet: errors and the final message only. Verbose: plain lines, each status
// with the time since the start, and the notes on the driver and the port.
enum class Verbosity : uint8_t { Quiet, Normal, Verbose };

class TerminalUi final : public OperationsUi {
 public:
  // Normal messages go to `out`, errors to `err`; `tty` chooses the redrawn line.
  // `stopAsked` tells the procedures when the user wants them to stop.
  TerminalUi(std::ostream& out, std::ostream& err, bool tty,
             Verbosity verbosity = Verbosity::Normal, std::function<bool()> stopAsked = {});
  ~TerminalUi() override;

  void ShowStatus(const std::string& text, bool error) override;
  void SetBarRange(int32_t lower, int32_t upper) override;
  void SetBarStep(int32_t step) override;
  int32_t SetBarPos(int32_t position) override;
  int32_t StepBar() override;
  void SetBusy(bool busy) override;
  // The command line keeps no list of recent files.
  void AddRecentFile(const std::string&) override {}
  void ShowPodFileName(const std::string& name) override;
  void ShowAllocationFailure(const std::string& text) override;
  void ShowFailureCause(const FailureCause& cause) override;
  // Also when the output can no longer be written: a closed pipe ends the
  // operation cleanly, as Ctrl-C does, rather than halfway through.
  bool CancelRequested() const override;
  // On the error stream, so that it stays apart from the progress.
  void ShowWarning(const std::string& text) override;
  // "seen: " and each port on a line of its own, and the fix for a port this
  // user may not open.
  void ShowPortsSeen(const std::vector<PortDetails>& ports) override;
  // "not used: d2xx: why", then "seen by d2xx: " and each port it saw.
  void ShowBackendsPassedOver(const std::vector<BackendProbe>& probes) override;

  // The redrawn line is kept within `columns()` columns (0: unknown), asked
  // before each drawing, so that it never wraps; when `resized()` says the
  // width changed, the line is drawn again at once.
  void FitToWidth(std::function<int()> columns, std::function<bool()> resized);

  // A line for the verbose only: which backend, port, latency.
  void Note(const std::string& text);
  // The run is over: a quiet run shows its final message now.
  void Finish();

  // The last status line shown, error or not, and the last cause shown.
  const std::string& lastMessage() const { return lastMessage_; }
  const FailureCause& lastCause() const { return lastCause_; }

 private:
  // 0..100, or -1 while the bar has no range.
  int Percent() const;
  // Brings the terminal up to date after the bar or the status changed.
  void Progressed();
  void DrawLine();
  // The redrawn line for the status and `percent`, within the terminal's width.
  std::string FittedLine(int percent) const;
  // A new status or bar: the next progress is shown afresh.
  void ForgetShownProgress();
  // Ends the redrawn line, so the next output starts on a line of its own.
  void EndLine();

  // "+1.234 s " before a verbose status line; nothing otherwise.
  std::string Elapsed() const;

  std::ostream& out_;
  std::ostream& err_;
  bool tty_;
  Verbosity verbosity_;
  std::function<bool()> stopAsked_;
  std::function<int()> columns_;
  std::function<bool()> resized_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  // A quiet run's last message, shown by Finish unless an error came after it.
  std::string finalMessage_;
  bool busy_ = false;
  bool lineOpen_ = false;
  std::string status_;
  std::string lastMessage_;
  FailureCause lastCause_;
  int32_t lower_ = 0;
  int32_t upper_ = 100;
  int32_t step_ = 1;
  int32_t position_ = 0;
  // The percentage the terminal shows (TTY) or last printed (plain lines).
  int shownPercent_ = 0;
};
