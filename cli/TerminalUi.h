// The operations' status line and progress bar on a terminal: on a TTY one
// line redrawn in place with the status, a bar and a percentage; otherwise
// plain lines, with the progress every tenth, for logs and pipes.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "app/ops/OperationsUi.h"

class TerminalUi final : public OperationsUi {
 public:
  // Normal messages go to `out`, errors to `err`; `tty` chooses the redrawn line.
  // `stopAsked` tells the procedures when the user wants them to stop.
  TerminalUi(std::ostream& out, std::ostream& err, bool tty, std::function<bool()> stopAsked = {});
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
  bool CancelRequested() const override { return stopAsked_ && stopAsked_(); }
  // On the error stream, so that it stays apart from the progress.
  void ShowWarning(const std::string& text) override;

 private:
  // 0..100, or -1 while the bar has no range.
  int Percent() const;
  // Brings the terminal up to date after the bar or the status changed.
  void Progressed();
  void DrawLine();
  // A new status or bar: the next progress is shown afresh.
  void ForgetShownProgress();
  // Ends the redrawn line, so the next output starts on a line of its own.
  void EndLine();

  std::ostream& out_;
  std::ostream& err_;
  bool tty_;
  std::function<bool()> stopAsked_;
  bool busy_ = false;
  bool lineOpen_ = false;
  std::string status_;
  int32_t lower_ = 0;
  int32_t upper_ = 100;
  int32_t step_ = 1;
  int32_t position_ = 0;
  // The percentage the terminal shows (TTY) or last printed (plain lines).
  int shownPercent_ = 0;
};
