// A full F2809 Target Write on the emulated POD at the pace of a real line,
// once through the window and once as the command line runs it, on the
// system clock: what the window adds to the command line's time
// (`window_over_cli_percent`) is its own cost: painting, answering the
// desktop and dropping input while it waits. The pairs run on a quiet
// machine and again beside two processes that keep a core busy each.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QSettings>
#include <QTemporaryDir>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/CProgrammerDlg.h"
#include "bench/FullF2809.h"
#include "cli/TerminalUi.h"
#include "emulator/EmulatorDriver.h"
#include "image/McuCatalogue.h"
#include "ops/ProgrammerOperations.h"
#include "resources/ResourceIds.h"
#include "widgets/CMessageLabel.h"

namespace {

EmulatorConfig TimedF2809() {
  EmulatorConfig config;
  config.pod.targetMcuType = kF2809;
  config.pod.keepTranscript = false;
  config.timing.enabled = true;
  return config;
}

// The program in a file of the run's own, as both front ends take it.
const std::string& ProgramFile() {
  static QTemporaryDir dir;
  static const std::string path = [] {
    const std::string file = dir.filePath("full2809.out").toStdString();
    const std::vector<uint8_t> bytes = FullF2809Coff();
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return file;
  }();
  return path;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Wall seconds of the command line's Target Write, progress printed as to a log.
double CommandLineWrite() {
  SystemClock clock;
  std::ostringstream out, err;
  TerminalUi ui(out, err, false);
  ProgrammerOperations operations(std::make_unique<EmulatorDriver>(clock, TimedF2809()), clock, ui);
  OperationRequest request;
  request.filePath = ProgramFile();
  request.mcuType = kF2809;
  const auto start = std::chrono::steady_clock::now();
  if (!operations.LoadDriver() || operations.TargetWrite(request) != OperationOutcome::Done) {
    return -1;
  }
  return SecondsSince(start);
}

// Wall seconds of the window's Target Write, from the press of its button.
double WindowWrite() {
  WindowOptions options;
  options.readOnlySettings = true;
  options.makeDriver = [](Clock& clock, McuType) {
    return std::make_unique<EmulatorDriver>(clock, TimedF2809());
  };
  CProgrammerDlg window(std::move(options));
  window.show();
  window.Control<QComboBox>(IDC_MCU_TYPE)->setCurrentIndex(kF2809.index());
  window.Control<QComboBox>(IDC_FILE_PATH)->setEditText(QString::fromStdString(ProgramFile()));
  window.OnLoad();
  QApplication::processEvents();
  const auto start = std::chrono::steady_clock::now();
  window.OnTargetWrite();
  const double seconds = SecondsSince(start);
  const bool done = window.Control<CMessageLabel>(IDC_MESSAGE)
                        ->LabelText()
                        .startsWith(QStringLiteral("Flash Write Completed"));
  return done ? seconds : -1;
}

// Processes that do nothing but keep a core busy, for as long as this lives.
class BusyProcesses {
 public:
  explicit BusyProcesses(int count) {
    for (int i = 0; i < count; ++i) {
      if (const pid_t child = fork(); child == 0) {
        volatile uint64_t spin = 0;
        for (;;) {
          spin = spin + 1;
        }
      } else if (child > 0) {
        children_.push_back(child);
      }
    }
  }
  ~BusyProcesses() {
    for (const pid_t child : children_) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
    }
  }
  BusyProcesses(const BusyProcesses&) = delete;
  BusyProcesses& operator=(const BusyProcesses&) = delete;

 private:
  std::vector<pid_t> children_;
};

// Each repetition runs one pair, the two in turn going first, so that neither
// always meets a warmer cache or a quieter moment of the machine; `busy`
// processes load the machine meanwhile.
void WindowAgainstCommandLine(benchmark::State& state, int busy) {
  static int pairs = 0;
  const bool windowFirst = pairs++ % 2 == 1;
  const BusyProcesses load(busy);
  for (auto _ : state) {
    const double first = windowFirst ? WindowWrite() : CommandLineWrite();
    const double second = windowFirst ? CommandLineWrite() : WindowWrite();
    const double window = windowFirst ? first : second;
    const double cli = windowFirst ? second : first;
    if (cli < 0 || window < 0) {
      state.SkipWithError("a write failed");
      break;
    }
    state.counters["cli_s"] = cli;
    state.counters["window_s"] = window;
    state.counters["window_over_cli_percent"] = 100 * (window - cli) / cli;
  }
}
void Pairs(benchmark::internal::Benchmark* benchmark) {
  benchmark->Unit(benchmark::kSecond)
      ->Iterations(1)
      ->Repetitions(4)
      ->ReportAggregatesOnly(true)
      ->UseRealTime();
}
BENCHMARK_CAPTURE(WindowAgainstCommandLine, quiet, 0)->Apply(Pairs);
BENCHMARK_CAPTURE(WindowAgainstCommandLine, beside_two_busy, 2)->Apply(Pairs);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  // The window reads settings at its start: from a folder of the run's own,
  // never the user's.
  QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Veskora"));
  QApplication::setApplicationName(QStringLiteral("brontaflex-bench"));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
