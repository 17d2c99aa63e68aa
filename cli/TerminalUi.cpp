#include "cli/TerminalUi.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <utility>

#include "ops/FailureText.h"
#include "ops/PortText.h"

namespace {

constexpr int kBarCells = 30;
// A bar any shorter than this says nothing; the line goes without one.
constexpr int kFewestBarCells = 5;

// The first `columns` columns of `text`, never half a character.
std::string FirstColumns(std::string_view text, size_t columns) {
  size_t end = 0;
  for (size_t taken = 0; end < text.size(); ++end) {
    if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80 && taken++ == columns) {
      break;
    }
  }
  return std::string(text.substr(0, end));
}

}  // namespace

size_t TextColumns(std::string_view text) {
  return static_cast<size_t>(std::ranges::count_if(
      text, [](char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }));
}

TerminalUi::TerminalUi(std::ostream& out, std::ostream& err, bool tty, Verbosity verbosity,
                       std::function<bool()> stopAsked)
    : out_(out),
      err_(err),
      tty_(tty && verbosity == Verbosity::Normal),
      verbosity_(verbosity),
      stopAsked_(std::move(stopAsked)) {
  ForgetShownProgress();
}

TerminalUi::~TerminalUi() {
  EndLine();
}

bool TerminalUi::CancelRequested() const {
  return (stopAsked_ && stopAsked_()) || out_.fail() || err_.fail();
}

void TerminalUi::ShowStatus(const std::string& text, bool error) {
  lastMessage_ = text;
  if (error) {
    finalMessage_.clear();
    EndLine();
    out_.flush();
    err_ << text << std::endl;
    // The error is the last word: the bar's reset after it draws nothing.
    status_.clear();
    return;
  }
  status_ = text;
  if (verbosity_ == Verbosity::Quiet) {
    finalMessage_ = text;
    return;
  }
  if (tty_ && busy_) {
    DrawLine();
    return;
  }
  EndLine();
  out_ << Elapsed() << text << std::endl;
  ForgetShownProgress();
}

void TerminalUi::FitToWidth(std::function<int()> columns, std::function<bool()> resized) {
  columns_ = std::move(columns);
  resized_ = std::move(resized);
}

void TerminalUi::Note(const std::string& text) {
  if (verbosity_ == Verbosity::Verbose) {
    EndLine();
    out_ << Elapsed() << text << std::endl;
  }
}

void TerminalUi::Finish() {
  if (!finalMessage_.empty()) {
    out_ << finalMessage_ << std::endl;
    finalMessage_.clear();
  }
}

std::string TerminalUi::Elapsed() const {
  if (verbosity_ != Verbosity::Verbose) {
    return {};
  }
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start_)
                      .count();
  char text[32];
  std::snprintf(text, sizeof text, "+%lld.%03lld s ", static_cast<long long>(ms / 1000),
                static_cast<long long>(ms % 1000));
  return text;
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
    const int columns = columns_ ? columns_() : 0;
    out_ << '\r' << (columns > 1 ? FirstColumns(status_, columns - 1) : status_) << "\x1b[K\n"
         << std::flush;
    lineOpen_ = false;
  }
}

void TerminalUi::ShowPodFileName(const std::string& name) {
  if (verbosity_ == Verbosity::Quiet) {
    return;
  }
  EndLine();
  out_ << "POD file name: " << name << std::endl;
}

void TerminalUi::ShowAllocationFailure(const std::string& text) {
  EndLine();
  err_ << text << std::endl;
}

void TerminalUi::ShowFailureCause(const FailureCause& cause) {
  lastCause_ = cause;
  EndLine();
  out_.flush();
  err_ << DescribeFailure(cause) << std::endl;
}

void TerminalUi::ShowWarning(const std::string& text) {
  EndLine();
  out_.flush();
  err_ << "warning: " << text << std::endl;
}

void TerminalUi::ShowPortsSeen(const std::vector<PortDetails>& ports) {
  EndLine();
  out_.flush();
  for (const std::string& line : PortsSeenLines(ports)) {
    err_ << line << std::endl;
  }
}

void TerminalUi::ShowBackendsPassedOver(const std::vector<BackendProbe>& probes) {
  EndLine();
  out_.flush();
  for (const std::string& line : BackendsPassedOverLines(probes)) {
    err_ << line << std::endl;
  }
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
  const bool resized = tty_ && resized_ && resized_();
  if (verbosity_ == Verbosity::Quiet || !busy_ || status_.empty() || percent < 0 ||
      (percent == shownPercent_ && !resized)) {
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
  out_ << '\r' << FittedLine(percent) << "\x1b[K" << std::flush;
  lineOpen_ = true;
  shownPercent_ = percent;
}

std::string TerminalUi::FittedLine(int percent) const {
  const std::string tail = std::to_string(percent) + '%';
  const int columns = columns_ ? columns_() : 0;
  // The last column stays empty: a character there makes some terminals wrap.
  const int room = columns > 0 ? columns - 1 : INT_MAX;
  const int barRoom = room - static_cast<int>(TextColumns(status_) + 4 + tail.size());
  const int cells = std::min(kBarCells, barRoom);
  if (cells >= kFewestBarCells) {
    const int filled = percent * cells / 100;
    return status_ + " [" + std::string(filled, '#') + std::string(cells - filled, '.') + "] " +
           tail;
  }
  const int statusRoom = std::max(room - static_cast<int>(tail.size()) - 1, 0);
  return FirstColumns(status_, static_cast<size_t>(statusRoom)) + ' ' + tail;
}

void TerminalUi::EndLine() {
  if (lineOpen_) {
    out_ << '\n' << std::flush;
    lineOpen_ = false;
  }
}
