// One operation on several PODs at once: each POD on its own thread and
// driver, a fault on one stopping none of the others, and what the user sees.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtGlobal>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "cli/GangRun.h"
#include "emulator/EmulatorDriver.h"
#include "emulator/EmulatorRack.h"
#include "image/MemoryDigest.h"
#include "image/ProgramReader.h"
#include "image/Sha256.h"
#include "pod/D2xxDriver.h"
#include "pod/ForwardingDriver.h"
#include "tests/cli/CliRun.h"
#include "tests/support/CoffWriter.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/SharedLibrary.h"
#include "tests/support/ftd2xx_emulator/Ftd2xxEmulator.h"

namespace {

using testing::HasSubstr;
using testing::StartsWith;

constexpr uint32_t kFlashStart = 0x3E8000;

// Words that differ from one address to the next, so a misplaced word shows.
std::vector<uint16_t> Words(size_t count) {
  std::vector<uint16_t> words(count);
  for (size_t i = 0; i < count; ++i) {
    words[i] = static_cast<uint16_t>(0x1000 + i * 7);
  }
  return words;
}

// The words the target's flash holds from kFlashStart on.
std::vector<uint16_t> FlashOf(const TargetBoard& target, size_t count) {
  std::vector<uint16_t> flash(count);
  for (size_t i = 0; i < count; ++i) {
    flash[i] = target.ReadWord(static_cast<uint32_t>(kFlashStart + i));
  }
  return flash;
}

OperationOutcome TargetWrite(ProgrammerOperations& operations, const OperationRequest& request) {
  return operations.TargetWrite(request);
}

OperationOutcome TargetReset(ProgrammerOperations& operations, const OperationRequest&) {
  return operations.TargetReset();
}

class GangRunTest : public testing::Test {
 protected:
  // `count` emulated PODs, BFX00001 on; the test keeps a look at each.
  std::vector<GangPod> Pods(size_t count) {
    std::vector<GangPod> pods;
    for (size_t pod = 0; pod < count; ++pod) {
      EmulatorConfig config;
      config.serialNumbers = {"BFX0000" + std::to_string(pod + 1)};
      emulators_.push_back(std::make_unique<EmulatorDriver>(clock_, config));
      pods.push_back(
          {config.serialNumbers.front(), std::make_unique<ForwardingDriver>(*emulators_.back())});
    }
    return pods;
  }

  GangResult Run(const PodOperation& operation, std::vector<GangPod> pods, bool tty = false) {
    return RunGang({"target-write", request_, operation, clock_}, std::move(pods),
                   {out_, err_, tty, Verbosity::Normal, {}});
  }

  SystemClock clock_;
  OperationRequest request_;
  std::vector<std::unique_ptr<EmulatorDriver>> emulators_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(GangRunTest, FaultOnOnePodStopsNoneOfTheOthers) {
  const std::vector<uint16_t> words = Words(3000);
  const TempFile file(CoffWriter().Add(".text", kFlashStart, words).Build());
  request_.filePath = file.path().string();
  std::vector<GangPod> pods = Pods(3);
  // The second POD is pulled out halfway through the program's words.
  emulators_[1]->Faults().Add(FaultTrigger::OnLetter('S', 1500), Fault{.kind = FaultKind::Unplug});

  const GangResult result = Run(TargetWrite, std::move(pods));

  EXPECT_EQ(result.exitCode, 26);
  EXPECT_EQ(result.outcome, "SomePodsFailed");
  ASSERT_EQ(result.reports.size(), 3u);
  for (size_t pod : {0u, 2u}) {
    SCOPED_TRACE(pod);
    EXPECT_EQ(result.reports[pod].exitCode, 0);
    EXPECT_EQ(FlashOf(emulators_[pod]->Target(), words.size()), words);
  }
  const RunReport& failed = result.reports[1];
  EXPECT_EQ(failed.chosenPod, "BFX00002");
  EXPECT_EQ(failed.outcome, "ProgramFailed");
  EXPECT_EQ(failed.exitCode, 37);
  EXPECT_TRUE(failed.cause.failed());
  EXPECT_NE(FlashOf(emulators_[1]->Target(), words.size()), words);

  // Every line is its POD's, the table ends the run, and the failed POD's
  // error went to the error stream behind its serial number.
  EXPECT_THAT(out_.str(), StartsWith("Reading COFF file is successful\nBFX0000"));
  EXPECT_THAT(out_.str(), HasSubstr("BFX00001: Flash Write Completed - "));
  EXPECT_THAT(out_.str(), HasSubstr("BFX00003: Flash Write Completed - "));
  EXPECT_THAT(out_.str(), HasSubstr("\nPOD       outcome           message"));
  EXPECT_THAT(out_.str(), HasSubstr("\nBFX00002  37 ProgramFailed  Fail to write flash memory  "));
  EXPECT_THAT(err_.str(), StartsWith("BFX00002: Fail to write flash memory\nBFX00002: "));
  std::istringstream lines(out_.str().substr(0, out_.str().find("\n\nPOD")));
  std::string line;
  std::getline(lines, line);  // the file's line, shared by all
  while (std::getline(lines, line)) {
    EXPECT_THAT(line, testing::MatchesRegex("BFX0000[123]: .*"));
  }
}

TEST_F(GangRunTest, UnreadableFileUsesNoPod) {
  request_.filePath = "/nonexistent/program.out";
  const GangResult result = Run(TargetWrite, Pods(2));
  EXPECT_EQ(result.exitCode, 11);
  EXPECT_EQ(result.outcome, "FileNotFound");
  EXPECT_TRUE(result.reports.empty());
  EXPECT_EQ(emulators_[0]->Transcript().size(), 0u);
  EXPECT_EQ(err_.str(), "The specified COFF file isn't exist\n");
}

TEST_F(GangRunTest, ReportsNameTheFileAsItWasReadNotAsItIsNow) {
  const std::vector<uint16_t> words = Words(100);
  const std::vector<uint8_t> original = CoffWriter().Add(".text", kFlashStart, words).Build();
  const std::vector<uint8_t> rebuilt =
      CoffWriter().Add(".text", kFlashStart + 0x1000, words).Build();
  const TempFile file(original);
  request_.filePath = file.path().string();
  // The file is rebuilt once the run has read it, before any POD writes.
  std::once_flag rebuild;
  const PodOperation rebuildThenWrite = [&](ProgrammerOperations& operations,
                                            const OperationRequest& request) {
    std::call_once(rebuild, [&] {
      std::ofstream(file.path(), std::ios::binary)
          .write(reinterpret_cast<const char*>(rebuilt.data()),
                 static_cast<std::streamsize>(rebuilt.size()));
    });
    return operations.TargetWrite(request);
  };

  const GangResult result = Run(rebuildThenWrite, Pods(2));

  ASSERT_EQ(result.exitCode, 0) << err_.str();
  ProgramImage image;
  std::istringstream in(std::string(original.begin(), original.end()));
  ASSERT_EQ(ReadProgramStream(in, request_.mcuType, image).result, ProgramReadResult::Ok);
  for (size_t pod = 0; pod < result.reports.size(); ++pod) {
    SCOPED_TRACE(pod);
    EXPECT_EQ(result.reports[pod].fileSha256,
              BytesSha256(std::string(original.begin(), original.end())));
    EXPECT_EQ(result.reports[pod].memoryDigest, MemoryDigest(image));
    EXPECT_EQ(FlashOf(emulators_[pod]->Target(), words.size()), words);
  }
}

TEST_F(GangRunTest, TerminalShowsOneLineForEachPodRedrawnInPlace) {
  const GangResult result = Run(TargetReset, Pods(2), true);
  EXPECT_EQ(result.exitCode, 0);
  // The block is first drawn blank, then from its top each time a POD moves on.
  EXPECT_THAT(out_.str(), StartsWith("BFX00001  \nBFX00002  \n\x1b[2A"));
  EXPECT_THAT(out_.str(), HasSubstr("\x1b[2A\rBFX00001  Target board's reset is successful\x1b[K\n"
                                    "\rBFX00002  Target board's reset is successful\x1b[K\n\n"
                                    "POD       outcome  message"));
  EXPECT_EQ(err_.str(), "");
}

// Three D2XX drivers over the stand-in library, which passes every call to one
// rack of emulated PODs, as the vendor's library serves several devices to the
// threads of one process.
TEST_F(GangRunTest, ThreadsShareTheD2xxLibraryEachWithItsOwnPod) {
  const SharedLibrary library(FTD2XX_EMULATOR_PATH);
  ASSERT_TRUE(library.loaded()) << library.error();
  const auto attach = library.Find<AttachDriverFunction>(kAttachDriverSymbol);
  ASSERT_NE(attach, nullptr);
  std::vector<EmulatorConfig> configs(3);
  std::vector<GangPod> pods;
  for (size_t pod = 0; pod < configs.size(); ++pod) {
    configs[pod].serialNumbers = {"BFX0000" + std::to_string(pod + 1)};
    pods.push_back(
        {configs[pod].serialNumbers.front(), std::make_unique<D2xxDriver>(FTD2XX_EMULATOR_PATH)});
  }
  EmulatorRack rack(clock_, configs);
  attach(&rack);
  const std::vector<uint16_t> words = Words(2000);
  const TempFile file(CoffWriter().Add(".text", kFlashStart, words).Build());
  request_.filePath = file.path().string();

  const GangResult result = Run(TargetWrite, std::move(pods));
  attach(nullptr);

  EXPECT_EQ(result.exitCode, 0) << out_.str() << err_.str();
  for (size_t pod = 0; pod < configs.size(); ++pod) {
    EXPECT_EQ(FlashOf(rack.Pod(pod).Target(), words.size()), words) << pod;
  }
}

TEST_F(GangRunTest, EachTargetGetsANumberOfItsOwnAtTheAddress) {
  const std::vector<uint16_t> words = Words(600);
  const TempFile file(CoffWriter().Add(".text", kFlashStart, words).Build());
  request_.filePath = file.path().string();
  const ScratchDir dir;
  const std::string counter = (dir.path() / "counter").string();
  std::ofstream(counter) << "0x10000\n";  // not a number: refused, no POD used
  const SerialNumbering numbering{.address = kFlashStart + 0x100,
                                  .width = 2,
                                  .start = 0x1FFFE,
                                  .step = 3,
                                  .counterPath = counter};

  GangResult refused = RunGang({"target-write", request_, TargetWrite, clock_, numbering}, Pods(4),
                               {out_, err_, false, Verbosity::Normal, {}});
  EXPECT_EQ(refused.exitCode, 64);
  EXPECT_TRUE(refused.reports.empty());
  EXPECT_THAT(err_.str(), HasSubstr("the counter file " + counter + " holds no number"));
  for (const auto& emulator : emulators_) {
    EXPECT_EQ(emulator->Transcript().size(), 0u);
  }

  emulators_.clear();
  std::ofstream(counter) << "5\n";  // below the start, which wins
  const GangResult result = RunGang({"target-write", request_, TargetWrite, clock_, numbering},
                                    Pods(4), {out_, err_, false, Verbosity::Normal, {}});

  ASSERT_EQ(result.exitCode, 0) << out_.str() << err_.str();
  ASSERT_EQ(result.reports.size(), 4u);
  for (size_t pod = 0; pod < 4; ++pod) {
    SCOPED_TRACE(pod);
    const uint32_t number = 0x1FFFE + 3 * static_cast<uint32_t>(pod);
    std::vector<uint16_t> expected = words;
    expected[0x100] = static_cast<uint16_t>(number);  // the low word first
    expected[0x101] = static_cast<uint16_t>(number >> 16);
    EXPECT_EQ(FlashOf(emulators_[pod]->Target(), words.size()), expected);
    EXPECT_EQ(result.reports[pod].serialNumber, number);
    // The memory digest is of what this target holds, its number included.
    const std::vector<uint8_t> numbered = CoffWriter().Add(".text", kFlashStart, expected).Build();
    ProgramImage image;
    std::istringstream in(std::string(numbered.begin(), numbered.end()));
    ASSERT_EQ(ReadProgramStream(in, request_.mcuType, image).result, ProgramReadResult::Ok);
    EXPECT_EQ(result.reports[pod].memoryDigest, MemoryDigest(image));
    EXPECT_THAT(out_.str(), HasSubstr("BFX0000" + std::to_string(pod + 1) + ": Serial number " +
                                      std::to_string(number) + "\n"));
  }
  EXPECT_THAT(out_.str(), HasSubstr("\nPOD       number  outcome  message"));
  EXPECT_THAT(out_.str(), HasSubstr("\nBFX00003  131076  0 Done   Flash Write Completed"));
  std::ifstream stored(counter);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(stored), {}), "131082\n");
}

// brontaflex-cli on three emulated PODs.
class GangCliTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(state_.isValid());
    qputenv("BRONTAFLEX_DRIVER", "emulator");
    qputenv("BRONTAFLEX_EMULATOR_PODS", "3");
    qputenv("BRONTAFLEX_EMULATOR_STATE", state_.filePath("pod").toLocal8Bit());
  }
  void TearDown() override {
    for (const char* name :
         {"BRONTAFLEX_DRIVER", "BRONTAFLEX_EMULATOR_PODS", "BRONTAFLEX_EMULATOR_STATE"}) {
      qunsetenv(name);
    }
  }

  QTemporaryDir state_;
};

TEST_F(GangCliTest, EveryPodStoresTheSameNameAndEachReportsInTheJson) {
  const TempFile file(CoffWriter().Add(".text", kFlashStart, Words(300)).Build());
  const CliRun write = RunCli({"pod-write", QString::fromStdString(file.path().string()),
                               "--all-pods", "--name", "tray7", "--json"});
  ASSERT_EQ(write.exitCode, 0) << write.err;
  const QJsonObject run = write.Json();
  EXPECT_EQ(run["command"].toString(), "pod-write");
  EXPECT_EQ(run["outcome"].toString(), "Done");
  const QJsonArray pods = run["pods"].toArray();
  ASSERT_EQ(pods.size(), 3);
  for (int pod = 0; pod < 3; ++pod) {
    EXPECT_EQ(pods[pod].toObject()["chosenPod"].toString(),
              QStringLiteral("BFX0000%1").arg(pod + 1));
    EXPECT_EQ(pods[pod].toObject()["outcome"].toString(), "Done");
  }
  EXPECT_THAT(write.err, HasSubstr("BFX00003: EEPROM Write Completed - "));

  const CliRun info = RunCli({"pod-info", "--pod", "BFX00003", "--pod", "BFX00001"});
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_THAT(info.out, HasSubstr("BFX00003: POD Ver: 1.1, POD File Name: tray7 [when "));
  EXPECT_THAT(info.out, HasSubstr("BFX00001: POD Ver: 1.1, POD File Name: tray7 [when "));
}

// The lines of the log, each parsed.
std::vector<QJsonObject> LogLines(const QString& path) {
  QFile file(path);
  std::vector<QJsonObject> lines;
  if (file.open(QIODevice::ReadOnly)) {
    for (const QByteArray& line : file.readAll().split('\n')) {
      if (!line.isEmpty()) {
        lines.push_back(QJsonDocument::fromJson(line).object());
      }
    }
  }
  return lines;
}

TEST_F(GangCliTest, EachPodOfARunAndEachSingleRunLogsALine) {
  const TempFile file(CoffWriter().Add(".text", kFlashStart, Words(300)).Build());
  const QString log = state_.filePath("run.log");
  const CliRun gang =
      RunCli({"target-write", QString::fromStdString(file.path().string()), "--all-pods",
              "--serial", "3E8010", "--serial-start", "7", "--log", log});
  ASSERT_EQ(gang.exitCode, 0) << gang.err;
  const CliRun single = RunCli({"target-reset", "--pod", "BFX00002", "--log", log});
  ASSERT_EQ(single.exitCode, 0) << single.err;

  const std::vector<QJsonObject> lines = LogLines(log);
  ASSERT_EQ(lines.size(), 4u);
  for (int pod = 0; pod < 3; ++pod) {
    SCOPED_TRACE(pod);
    const QJsonObject& line = lines[static_cast<size_t>(pod)];
    EXPECT_EQ(line["command"].toString(), "target-write");
    EXPECT_EQ(line["pod"].toString(), QStringLiteral("BFX0000%1").arg(pod + 1));
    EXPECT_EQ(line["serialNumber"].toInt(), 7 + pod);
    EXPECT_EQ(line["file"].toString().toStdString(), file.path().string());
    EXPECT_EQ(line["fileSha256"].toString().size(), 64);
    EXPECT_EQ(line["device"].toString(), "F2808");
    EXPECT_EQ(line["outcome"].toString(), "Done");
    EXPECT_EQ(line["exitStatus"].toInt(-1), 0);
    EXPECT_TRUE(line["seconds"].isDouble());
  }
  EXPECT_EQ(lines[3]["command"].toString(), "target-reset");
  EXPECT_EQ(lines[3]["pod"].toString(), "BFX00002");
  EXPECT_TRUE(lines[3]["file"].isNull());
  EXPECT_TRUE(lines[3]["serialNumber"].isNull());
  EXPECT_EQ(lines[3]["message"].toString(), "Target board's reset is successful");
}

TEST_F(GangCliTest, OnePodMissingIsSomeFailedWithItsOwnStatusInTheTable) {
  const CliRun run = RunCli({"target-reset", "--pod", "BFX00002", "--pod", "BFX00009"});
  EXPECT_EQ(run.exitCode, 26);
  EXPECT_THAT(run.out, HasSubstr("BFX00002: Target board's reset is successful\n"));
  EXPECT_THAT(run.out, HasSubstr("\nBFX00002  0 Done          Target board's reset is successful"));
  EXPECT_THAT(run.out, HasSubstr("\nBFX00009  21 PodNotFound  No Connection to Brontaflex POD"));
  EXPECT_THAT(run.err, HasSubstr("BFX00009: No Connection to Brontaflex POD\n"));

  const CliRun both = RunCli({"target-reset", "--all-pods", "--pod", "BFX00001"});
  EXPECT_EQ(both.exitCode, 64);
}

#ifdef __linux__
TEST_F(GangCliTest, TwoPortsOfOneNameEachGetATraceOfTheirOwn) {
  const QString trace = state_.filePath("trace");
  // No POD answers there; each trace is made before its port is looked at.
  RunCli({"target-reset", "--driver", "tty", "--pod", "/dev/a/ttyUSB0", "--pod", "/dev/b/ttyUSB0",
          "--trace", trace});
  for (const char* name : {"trace.ttyUSB0", "trace.ttyUSB0.2"}) {
    QFile file(state_.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    EXPECT_TRUE(file.readAll().startsWith("# brontaflex wire trace\n")) << name;
  }
}

TEST_F(GangCliTest, CtrlCStopsEveryPodAndLeavesEachPortFree) {
  // Most of an F2809's flash: a store that takes a while on each POD.
  const TempFile large(CoffWriter()
                           .Add(".text", 0x3D8000, std::vector<uint16_t>(0x1F000, 0x5AA5))
                           .Add("codestart", 0x3F7FF6, {0x0040, 0x8000})
                           .Build());
  // At the pace of a real line, so that no POD can finish its store before the
  // interrupt arrives.
  QProcess store;
  QProcessEnvironment paced = QProcessEnvironment::systemEnvironment();
  paced.insert(QStringLiteral("BRONTAFLEX_EMULATOR_TIMING"), QStringLiteral("1"));
  store.setProcessEnvironment(paced);
  store.start(QStringLiteral(BFX_CLI_PATH),
              {"pod-write", QString::fromStdString(large.path().string()), "--device", "F2809",
               "--all-pods"});
  QByteArray out;
  while (!out.contains("Writing user program in serial flash") && store.waitForReadyRead(10000)) {
    out += store.readAllStandardOutput();
  }
  ASSERT_TRUE(out.contains("Writing user program in serial flash")) << out.toStdString();
  ASSERT_EQ(kill(static_cast<pid_t>(store.processId()), SIGINT), 0);
  ASSERT_TRUE(store.waitForFinished(10000));
  out += store.readAllStandardOutput();
  EXPECT_EQ(store.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(store.exitCode(), 130);
  for (const char* pod : {"BFX00001", "BFX00002", "BFX00003"}) {
    EXPECT_THAT(out.toStdString(), HasSubstr(std::string("\n") + pod + "  130 Interrupted  "));
  }
  // Every POD's port was closed and its store abandoned: the next run finds each free.
  const CliRun info = RunCli({"pod-info", "--all-pods"});
  EXPECT_EQ(info.exitCode, 0) << info.out << info.err;
  EXPECT_THAT(info.out, testing::Not(HasSubstr("POD File Name")));
}

// An emulated POD at the far end of a pseudo-terminal: what the program
// writes to the port reaches the emulator, and its replies come back, so the
// tty backend runs as on a real ttyUSB port.
class PtyEmulatedPod {
 public:
  PtyEmulatedPod() : emulator_(clock_) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
      devicePath_ = ptsname(master_);
    }
    emulator_.Open({PortKey::By::Description, "Brontaflex POD"}, port_);
    PortSettings line;
    line.baud = 921600;
    port_->Configure(line);
    pump_ = std::jthread([this](const std::stop_token& stop) { Pump(stop); });
  }
  ~PtyEmulatedPod() {
    Stop();
    close(master_);
  }

  const std::string& devicePath() const { return devicePath_; }
  // Stops carrying bytes; the emulator is the test's to look at from then on.
  void Stop() {
    pump_.request_stop();
    if (pump_.joinable()) {
      pump_.join();
    }
  }
  TargetBoard& Target() { return emulator_.Target(); }

 private:
  void Pump(const std::stop_token& stop) {
    while (!stop.stop_requested()) {
      pollfd in{master_, POLLIN, 0};
      if (poll(&in, 1, 2) > 0 && (in.revents & POLLIN) != 0) {
        char chunk[512];
        if (const ssize_t n = read(master_, chunk, sizeof chunk); n > 0) {
          uint32_t written = 0;
          port_->Write(chunk, static_cast<uint32_t>(n), written);
        }
      } else if (in.revents != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the port is not open
      }
      uint32_t queued = 0;
      port_->BytesWaiting(queued);
      if (queued > 0) {
        std::vector<char> reply(queued);
        uint32_t got = 0;
        port_->Read(reply.data(), queued, got);
        if (write(master_, reply.data(), got) != static_cast<ssize_t>(got)) {
          return;
        }
      }
    }
  }

  SystemClock clock_;
  EmulatorDriver emulator_;
  std::unique_ptr<Port> port_;
  int master_ = -1;
  std::string devicePath_;
  std::jthread pump_;
};

TEST(GangTtyTest, TwoPortsNamedByPathAreProgrammedAtOnce) {
  PtyEmulatedPod first;
  PtyEmulatedPod second;
  ASSERT_FALSE(first.devicePath().empty());
  ASSERT_FALSE(second.devicePath().empty());
  const std::vector<uint16_t> words = Words(1000);
  const TempFile file(CoffWriter().Add(".text", kFlashStart, words).Build());

  const CliRun run = RunCli({"target-write", QString::fromStdString(file.path().string()), "--pod",
                             QString::fromStdString(first.devicePath()), "--pod",
                             QString::fromStdString(second.devicePath())});
  first.Stop();
  second.Stop();
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  for (PtyEmulatedPod* pod : {&first, &second}) {
    EXPECT_THAT(run.out, HasSubstr(pod->devicePath() + ": Flash Write Completed - "));
    EXPECT_EQ(FlashOf(pod->Target(), words.size()), words);
  }
}
#endif

}  // namespace
