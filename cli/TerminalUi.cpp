#include "cli/TerminalUi.h"

#include <algorithm>
#include <utility>

#include "app/ops/FailureText.h"

namespace {

constexpr int kBarCells = 30;

}  // namespace

TerminalUi::TerminalUi(std::ostream& out, std::ostream& err, bool tty,
                       std::function<bool()> stopAsked)
    : out_(out), err_(err), tty_(tty), stopAsked_(std::move(stopAsked)) {
  ForgetShownProgress();
}

TerminalUi::~TerminalUi() {
  EndLine();
}

void TerminalUi::ShowStatus(const std::string& text, bool error) {
  if (error) {
    EndLine();
    out_.flush();
    err_ << text << std::endl;
    // The error is the last word: the bar's reset after it draws nothing.
    status_.clear();
    return;
  }
  status_ = text;
  if (tty_ && busy_) {
    DrawLine();
    return;
  }
  EndLine();
  out_ << text << std::endl;
  ForgetShownProgress();
}

void TerminalUi::SetBarRange(int32_t lower, int32_t upper) {
  lower_ = lower;
  upper_ = upper;
  ForgetShownProgress();
  Progressed();
}

void TerminalUi::SetBarStep(int32_t step) {
  step_ = step;
}

int32_t TerminalUi::SetBarPos(int32_t position) {
  const int32_t previous = std::exchange(position_, position);
  Progressed();
  return previous;
}

int32_t TerminalUi::StepBar() {
  const int32_t previous = position_;
  position_ += step_;
  Progressed();
  return previous;
}

void TerminalUi::SetBusy(bool busy) {
  busy_ = busy;
  if (!busy && lineOpen_) {
    // The operation is over: keep its last message, without the bar.
    out_ << '\r' << status_ << "\x1b[K\n" << std::flush;
    lineOpen_ = false;
  }
}

void TerminalUi::ShowPodFileName(const std::string& name) {
  EndLine();
  out_ << "POD file name: " << name << std::endl;
}

void TerminalUi::ShowAllocationFailure(const std::string& text) {
  EndLine();
  err_ << text << std::endl;
}

void TerminalUi::ShowFailureCause(const FailureCause& cause) {
  EndLine();
  out_.flush();
  err_ << DescribeFailure(cause) << std::endl;
}

void TerminalUi::ShowWarning(const std::string& text) {
  EndLine();
  out_.flush();
  err_ << "warning: " << text << std::endl;
}

int TerminalUi::Percent() const {
  if (upper_ <= lower_) {
    return -1;
  }
  const int64_t done = std::clamp<int64_t>(int64_t{position_} - lower_, 0, upper_ - lower_);
  return static_cast<int>(done * 100 / (int64_t{upper_} - lower_));
}

void TerminalUi::Progressed() {
  const int percent = Percent();
  if (!busy_ || status_.empty() || percent < 0 || percent == shownPercent_) {
    return;
  }
  if (tty_) {
    DrawLine();
    return;
  }
  // Plain lines: once for every tenth reached, not for every word.
  if (percent / 10 > shownPercent_ / 10) {
    out_ << status_ << ' ' << percent << '%' << std::endl;
    shownPercent_ = percent;
  }
}

void TerminalUi::ForgetShownProgress() {
  shownPercent_ = tty_ ? -1 : 0;
}

void TerminalUi::DrawLine() {
  const int percent = std::max(Percent(), 0);
  const int filled = percent * kBarCells / 100;
  out_ << '\r' << status_ << " [" << std::string(filled, '#')
       << std::string(kBarCells - filled, '.') << "] " << percent << "%\x1b[K" << std::flush;
  lineOpen_ = true;
  shownPercent_ = percent;
}

void TerminalUi::EndLine() {
  if (lineOpen_) {
    out_ << '\n' << std::flush;
    lineOpen_ = false;
  }
}
