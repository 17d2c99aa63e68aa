#include "cli/GangRun.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <streambuf>
#include <thread>
#include <utility>

#include "ops/FailureText.h"
#include "ops/OperationOutcome.h"
#include "ops/UserText.h"

namespace {

// How often the terminal's lines are brought up to date.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

struct FedLine {
  bool error;
  std::string text;
};

// What one POD's thread has shown and the printing thread has not printed yet.
class PodFeed {
 public:
  void Add(bool error, std::string text) {
    const std::lock_guard lock(mutex_);
    latest_ = text;
    latestChanged_ = true;
    pending_.push_back({error, std::move(text)});
  }
  std::vector<FedLine> TakeLines() {
    const std::lock_guard lock(mutex_);
    return std::exchange(pending_, {});
  }
  // The last line shown, when it changed since the last call.
  bool TakeLatest(std::string& latest) {
    const std::lock_guard lock(mutex_);
    if (!latestChanged_) {
      return false;
    }
    latest = latest_;
    latestChanged_ = false;
    return true;
  }

 private:
  std::mutex mutex_;
  std::vector<FedLine> pending_;
  std::string latest_;
  bool latestChanged_ = false;
};

// A stream buffer that hands each whole line written to it to a PodFeed.
class FeedBuffer final : public std::streambuf {
 public:
  FeedBuffer(PodFeed& feed, bool error) : feed_(feed), error_(error) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
      return traits_type::not_eof(c);
    }
    const char byte = traits_type::to_char_type(c);
    if (byte == '\n') {
      feed_.Add(error_, std::exchange(partial_, {}));
    } else {
      partial_ += byte;
    }
    return c;
  }
  std::streamsize xsputn(const char* bytes, std::streamsize count) override {
    for (std::streamsize i = 0; i < count; ++i) {
      overflow(traits_type::to_int_type(bytes[i]));
    }
    return count;
  }

 private:
  PodFeed& feed_;
  bool error_;
  std::string partial_;
};

// How many threads still run, and a wake-up for the printer when one ends.
class Countdown {
 public:
  explicit Countdown(size_t count) : count_(count) {}
  void Done() {
    {
      const std::lock_guard lock(mutex_);
      --count_;
    }
    ended_.notify_one();
  }
  // Waits up to `interval`; true once every thread has ended.
  bool WaitFor(std::chrono::milliseconds interval) {
    std::unique_lock lock(mutex_);
    return ended_.wait_for(lock, interval, [this] { return count_ == 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  size_t count_;
};

std::string PaddedTo(std::string_view text, size_t width) {
  return std::string(text) + std::string(width - std::min(width, TextColumns(text)), ' ');
}

// Prints what the PODs show: on a terminal one line each, redrawn in place;
// otherwise each line as it comes, behind its POD's name.
class GangPrinter {
 public:
  GangPrinter(const std::vector<GangPod>& pods, std::vector<PodFeed>& feeds,
              const GangOutput& output)
      : feeds_(feeds),
        output_(output),
        live_(output.tty && output.verbosity == Verbosity::Normal),
        latest_(pods.size()) {
    size_t width = 0;
    for (const GangPod& pod : pods) {
      width = std::max(width, TextColumns(EscapeForDisplay(pod.name)));
    }
    for (const GangPod& pod : pods) {
      const std::string name = EscapeForDisplay(pod.name);  // as the device reported it
      labels_.push_back(live_ ? PaddedTo(name, width + 2) : name + ": ");
    }
    if (live_) {
      for (const std::string& label : labels_) {
        output_.out << label << '\n';
      }
      output_.out << std::flush;
    }
  }

  void Print() {
    if (live_) {
      Redraw();
      return;
    }
    for (size_t pod = 0; pod < feeds_.size(); ++pod) {
      for (const FedLine& line : feeds_[pod].TakeLines()) {
        (line.error ? output_.err : output_.out) << labels_[pod] << line.text << '\n';
      }
    }
    output_.out.flush();
    output_.err.flush();
  }

 private:
  void Redraw() {
    bool changed = false;
    for (size_t pod = 0; pod < feeds_.size(); ++pod) {
      changed = feeds_[pod].TakeLatest(latest_[pod]) || changed;
    }
    if (!changed) {
      return;
    }
    // Up to the first POD's line, then every line afresh.
    output_.out << "\x1b[" << feeds_.size() << 'A';
    for (size_t pod = 0; pod < feeds_.size(); ++pod) {
      output_.out << '\r' << labels_[pod] << latest_[pod] << "\x1b[K\n";
    }
    output_.out << std::flush;
  }

  std::vector<PodFeed>& feeds_;
  const GangOutput& output_;
  bool live_;
  std::vector<std::string> labels_;
  std::vector<std::string> latest_;
};

std::string Seconds(uint64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", static_cast<double>(milliseconds) / 1000.0);
  return text;
}

}  // namespace

std::vector<RunReport> RunOnEveryPod(std::vector<GangPod>& pods, const GangPodRun& run,
                                     const GangOutput& output) {
  std::vector<RunReport> reports(pods.size());
  std::vector<PodFeed> feeds(pods.size());
  GangPrinter printer(pods, feeds, output);
  Countdown running(pods.size());
  // Only this thread writes the streams; the PODs' threads learn from this
  // flag that it no longer can, and stop as on Ctrl-C.
  std::atomic<bool> outputFailed = false;
  const std::function<bool()> stopAsked = [&] {
    return outputFailed || (output.stopAsked && output.stopAsked());
  };
  const auto print = [&] {
    printer.Print();
    outputFailed = output.out.fail() || output.err.fail();
  };
  {
    std::vector<std::jthread> threads;
    for (size_t index = 0; index < pods.size(); ++index) {
      threads.emplace_back([&, index] {
        FeedBuffer outBuffer(feeds[index], false);
        FeedBuffer errBuffer(feeds[index], true);
        std::ostream out(&outBuffer);
        std::ostream err(&errBuffer);
        {
          TerminalUi ui(out, err, false, output.verbosity, stopAsked);
          reports[index] = run(pods[index], ui);
        }
        running.Done();
      });
    }
    while (!running.WaitFor(kRedrawInterval)) {
      print();
    }
  }
  print();
  return reports;
}

int GangExitCode(const std::vector<RunReport>& reports) {
  const bool allDone =
      std::ranges::all_of(reports, [](const RunReport& report) { return report.exitCode == 0; });
  return allDone ? 0 : static_cast<int>(OperationOutcome::SomePodsFailed);
}

std::string GangTable(const std::vector<RunReport>& reports) {
  // The number column only for a run that numbered its targets.
  const bool numbered = std::ranges::any_of(
      reports, [](const RunReport& report) { return report.serialNumber.has_value(); });
  std::vector<std::vector<std::string>> rows{{"POD", "outcome", "message", "cause", "seconds"}};
  if (numbered) {
    rows.front().insert(rows.front().begin() + 1, "number");
  }
  for (const RunReport& report : reports) {
    rows.push_back(
        {EscapeForDisplay(report.chosenPod), std::to_string(report.exitCode) + ' ' + report.outcome,
         report.message.empty() ? "-" : report.message,
         report.cause.failed() ? DescribeFailure(report.cause) : "-", Seconds(report.durationMs)});
    if (numbered) {
      rows.back().insert(rows.back().begin() + 1, report.serialNumber
                                                      ? std::to_string(*report.serialNumber)
                                                      : std::string("-"));
    }
  }
  std::vector<size_t> widths(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (size_t column = 0; column < row.size(); ++column) {
      widths[column] = std::max(widths[column], TextColumns(row[column]));
    }
  }
  std::string table;
  for (const auto& row : rows) {
    std::string line;
    for (size_t column = 0; column < row.size(); ++column) {
      const bool last = column + 1 == row.size();
      line += last ? row[column] : PaddedTo(row[column], widths[column] + 2);
    }
    table += line + '\n';
  }
  return table;
}

nlohmann::ordered_json GangJson(std::string_view command, const GangResult& result) {
  nlohmann::ordered_json pods = nlohmann::ordered_json::array();
  for (const RunReport& report : result.reports) {
    pods.push_back(RunReportJson(report));
  }
  return {
      {"command", command},
      {"outcome", result.outcome},
      {"exitCode", result.exitCode},
      {"durationMs", result.durationMs},
      {"pods", pods},
  };
}

GangResult RunGang(const PodJob& job, std::vector<GangPod> pods, const GangOutput& output) {
  const auto start = std::chrono::steady_clock::now();
  GangResult result;
  // Read once, here, so that a file every POD would refuse uses none of them.
  RunPrograms programs;
  {
    TerminalUi fileUi(output.out, output.err, false, output.verbosity);
    programs = ReadForPods(job, pods.size(), fileUi);
  }
  if (programs.exitCode != 0) {
    result.outcome = programs.outcome;
    result.exitCode = programs.exitCode;
    return result;
  }
  result.reports = RunOnEveryPod(
      pods,
      [&](GangPod& pod, TerminalUi& ui) {
        const auto index = static_cast<size_t>(&pod - pods.data());
        return RunOnPod(job, {std::move(pod.driver), {}, {}}, pod.name, ui, programs.ForPod(index),
                        programs.NumberOf(index));
      },
      output);
  result.exitCode = UnlessInterrupted(GangExitCode(result.reports));
  const auto outcome = result.exitCode > static_cast<int>(OperationOutcome::Interrupted)
                           ? OperationOutcome::Interrupted
                           : static_cast<OperationOutcome>(result.exitCode);
  result.outcome = FindOutcomeRow(kOperationOutcomes, outcome).name;
  result.durationMs = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now() - start)
                                                .count());
  output.out << '\n' << GangTable(result.reports) << std::flush;
  return result;
}
