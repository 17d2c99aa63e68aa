// The POD commands of brontaflex-cli run as separate processes on the emulated
// POD, whose serial flash lives in a state file between runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtGlobal>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "emulator/StateFile.h"
#include "tests/cli/CliRun.h"
#include "tests/support/CoffWriter.h"

namespace {

using testing::HasSubstr;
using testing::MatchesRegex;

constexpr std::filesystem::perms kOwnerOnly =
    std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;

QString PathOf(const TempFile& file) {
  return QString::fromStdString(file.path().string());
}

TempFile F2808Program() {
  std::vector<uint16_t> code(300);
  for (size_t i = 0; i < code.size(); ++i) {
    code[i] = static_cast<uint16_t>(0xA000 + i);
  }
  return TempFile(CoffWriter()
                      .Add(".text", 0x3E8000, code)
                      .Add("codestart", 0x3F7FF6, {0x0040, 0x8000})
                      .Build());
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// Every run of a test talks to the emulator, which keeps its POD in a fresh file.
class PodCommandsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(state_.isValid());
    qputenv("BRONTAFLEX_DRIVER", "emulator");
    qputenv("BRONTAFLEX_EMULATOR_STATE", state_.filePath("pod").toLocal8Bit());
  }
  void TearDown() override {
    qunsetenv("BRONTAFLEX_DRIVER");
    qunsetenv("BRONTAFLEX_EMULATOR_STATE");
  }

  std::string StatePath() const { return state_.filePath("pod").toStdString(); }
  void WriteState(const std::string& text) const { std::ofstream(StatePath()) << text; }
  std::string ReadState() const {
    std::ifstream file(StatePath());
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }

  QTemporaryDir state_;
};

TEST_F(PodCommandsTest, PodWriteVerifyAndInfoAsThreeRunsShowTheStoredProgram) {
  const TempFile file = F2808Program();
  const CliRun empty = RunCli({"pod-info"});
  ASSERT_EQ(empty.exitCode, 0) << empty.err;
  EXPECT_EQ(empty.out, "POD Ver: 1.1, No POD File Data\n");

  const CliRun write = RunCli({"pod-write", PathOf(file), "--name", "demo", "--erase", "all"});
  ASSERT_EQ(write.exitCode, 0) << write.out << write.err;
  EXPECT_THAT(write.out, HasSubstr("Writing user program in serial flash... 100%\n"));
  EXPECT_THAT(write.out,
              MatchesRegex("(.|\n)*\nEEPROM Write Completed - [0-9]+\\.[0-9][0-9] sec\n"));
  EXPECT_EQ(write.err, "");

  const CliRun verify = RunCli({"pod-verify", PathOf(file)});
  ASSERT_EQ(verify.exitCode, 0) << verify.out << verify.err;
  EXPECT_THAT(verify.out,
              MatchesRegex("(.|\n)*\nEEPROM Verify Completed - [0-9]+\\.[0-9][0-9] sec\n"));

  const CliRun info = RunCli({"pod-info"});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_THAT(info.out, MatchesRegex("POD Ver: 1\\.1, POD File Name: demo \\[when "
                                     "[0-9]{4}\\.[0-9]{2}\\.[0-9]{2} [0-9]{2}:[0-9]{2}\\]\n"));

  // Another device's verify stops at the type check.
  const CliRun other = RunCli({"pod-verify", PathOf(file), "--device", "F2809"});
  EXPECT_EQ(other.exitCode, 42);
  EXPECT_EQ(other.err, "The selected MCU type is not same in serial flash\n");
}

TEST_F(PodCommandsTest, TargetWriteAndResetOnTheEmulator) {
  const TempFile file = F2808Program();
  const CliRun write = RunCli({"target-write", PathOf(file), "--csm", ",,,,,,,"});
  ASSERT_EQ(write.exitCode, 0) << write.out << write.err;
  EXPECT_THAT(write.out, HasSubstr("Erasing Flash Memory... 100%\n"));
  EXPECT_THAT(write.out, HasSubstr("Writing Flash Memory... 100%\n"));
  EXPECT_THAT(write.out,
              MatchesRegex("(.|\n)*\nFlash Write Completed - [0-9]+\\.[0-9][0-9] sec\n"));
  EXPECT_LE(Count(write.out, "Writing Flash Memory..."), 11u);  // a line per tenth, not per word

  const CliRun reset = RunCli({"target-reset"});
  EXPECT_EQ(reset.exitCode, 0);
  EXPECT_EQ(reset.out, "Target board's reset is successful\n");
}

TEST_F(PodCommandsTest, EachRunTakesTheCounterFurtherAndReportsItsNumber) {
  const TempFile file = F2808Program();
  const QString counter = state_.filePath("counter");
  const QStringList numbered{"target-write",     PathOf(file),     "--serial",
                             "0x3E8010",         "--serial-start", "41",
                             "--serial-counter", counter,          "--json"};
  for (const int number : {41, 42}) {
    const CliRun run = RunCli(numbered);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.Json()["serialNumber"].toInt(), number);
    EXPECT_THAT(run.err, HasSubstr("Serial number " + std::to_string(number) + "\n"));
  }
  QFile stored(counter);
  ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
  EXPECT_EQ(stored.readAll(), "43\n");
  stored.close();

  // An address in no section of the file: refused before the counter or the POD is used.
  QStringList misplaced = numbered;
  misplaced[3] = "3E9000";
  const CliRun refused = RunCli(misplaced);
  EXPECT_EQ(refused.exitCode, 64);
  EXPECT_EQ(refused.Json()["outcome"].toString(), "Usage");
  EXPECT_THAT(refused.err, HasSubstr("--serial 0x3E9000 lies in no section of the file"));
  ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
  EXPECT_EQ(stored.readAll(), "43\n");
}

TEST_F(PodCommandsTest, TargetEraseErasesTheSectorsNamedAndResets) {
  const QString trace = state_.filePath("erase.trace");
  const CliRun erase = RunCli({"target-erase", "--erase", "a, C", "--trace", trace});
  ASSERT_EQ(erase.exitCode, 0) << erase.err;
  EXPECT_THAT(erase.out,
              MatchesRegex("(.|\n)*\nFlash Erase Completed - [0-9]+\\.[0-9][0-9] sec\n"));
  QFile file(trace);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  std::string frames;
  for (const QByteArray& line : file.readAll().split('\n')) {
    if (line.contains(" > ")) {
      frames += line.mid(line.indexOf(" > ") + 3).toStdString();
    }
  }
  EXPECT_EQ(frames, "<I><N4><K0********************************><O00><O010001><O010004><R>");
  for (const char* sectors : {"E", "A,,B", "AB", ""}) {
    SCOPED_TRACE(sectors);
    const CliRun refused = RunCli({"target-erase", "--erase", sectors});
    EXPECT_EQ(refused.exitCode, 64);
    EXPECT_THAT(refused.err,
                HasSubstr("--erase takes all or sector letters of the F2808 (A to D)"));
  }
  EXPECT_EQ(RunCli({"target-erase", "--erase", "E", "--device", "F2809"}).exitCode, 0);
}

TEST_F(PodCommandsTest, FailuresExitWithTheirOwnStatusAndMessage) {
  const TempFile file = F2808Program();
  const TempFile notCoff({'n', 'o', 't'});
  const QString missing = state_.filePath("missing.out");
  const struct {
    QStringList args;
    int exitCode;
    const char* err;
  } cases[] = {
      {{"target-write", missing}, 11, "The specified COFF file isn't exist\n"},
      {{"pod-write", PathOf(notCoff)}, 2, "The specified file is not COFF format\n"},
      {{"pod-write", PathOf(file), "--csm", "0,0,0,0,0,0,0,0"},
       17,
       "brontaflex-cli: warning: --csm shows the keys to every user of this machine in the "
       "process list; use --csm-file FILE or BRONTAFLEX_CSM\n"
       "CSM Password input is wrong\n"},
      {{"pod-verify", PathOf(file)}, 42, "There is no COFF file data in serial flash\n"},
      // A named serial device that is not there is no POD, and nothing was seen.
      {{"target-reset", "--driver", "tty:" + state_.filePath("no-such-tty")},
       21,
       "No Connection to Brontaflex POD\nseen: no FTDI device\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const CliRun run = RunCli(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.err, c.err);
  }
}

TEST_F(PodCommandsTest, ExpectRefusesAnotherProgramBeforeAnyPodIsUsed) {
  const TempFile file = F2808Program();
  const CliRun info = RunCli({"info", PathOf(file), "--json"});
  const QString digest = info.Json()["memoryDigest"].toString();
  ASSERT_EQ(digest.size(), 64);
  const QString other(64, '0');
  const QString trace = state_.filePath("trace");
  const QStringList commands{"info", "target-write", "pod-write", "pod-verify"};
  for (const QString& command : commands) {
    SCOPED_TRACE(command.toStdString());
    const QStringList traced = command == "info" ? QStringList() : QStringList{"--trace", trace};
    const CliRun refused = RunCli(QStringList{command, PathOf(file), "--expect", other} + traced);
    EXPECT_EQ(refused.exitCode, 27);
    EXPECT_THAT(refused.err, HasSubstr("The file's memory digest is " + digest.toStdString() +
                                       ", not the expected " + other.toStdString() + "\n"));
    EXPECT_FALSE(QFile::exists(trace)) << "no driver was set up";
    EXPECT_EQ(RunCli({command, PathOf(file), "--expect", "1234"}).exitCode, 64);
  }
  EXPECT_FALSE(QFile::exists(state_.filePath("pod"))) << "the refused pod-write stored nothing";
  for (const QString& command : commands) {
    SCOPED_TRACE(command.toStdString());
    // Upper-case digits name the same digest.
    const CliRun accepted = RunCli({command, PathOf(file), "--expect", digest.toUpper()});
    EXPECT_EQ(accepted.exitCode, 0) << accepted.err;
  }
  // On several PODs the file is refused before any of them is used.
  qputenv("BRONTAFLEX_EMULATOR_PODS", "2");
  const CliRun gang =
      RunCli({"target-write", PathOf(file), "--all-pods", "--expect", other, "--json"});
  qunsetenv("BRONTAFLEX_EMULATOR_PODS");
  EXPECT_EQ(gang.exitCode, 27);
  EXPECT_EQ(gang.Json()["outcome"].toString(), "UnexpectedImage");
  EXPECT_TRUE(gang.Json()["pods"].toArray().isEmpty());
}

TEST_F(PodCommandsTest, TheRunReportNamesTheBytesReadAndWhatTheyPutInMemory) {
  const TempFile file = F2808Program();
  QFile bytes(PathOf(file));
  ASSERT_TRUE(bytes.open(QIODevice::ReadOnly));
  const QString fileSha256 =
      QCryptographicHash::hash(bytes.readAll(), QCryptographicHash::Sha256).toHex();
  const QString memoryDigest =
      RunCli({"info", PathOf(file), "--json"}).Json()["memoryDigest"].toString();
  for (const char* command : {"target-write", "pod-write", "pod-verify"}) {
    SCOPED_TRACE(command);
    const CliRun run = RunCli({command, PathOf(file), "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject reported = run.Json()["file"].toObject();
    EXPECT_EQ(reported["sha256"].toString(), fileSha256);
    EXPECT_EQ(reported["memoryDigest"].toString(), memoryDigest);
  }
}

TEST_F(PodCommandsTest, WhatIsNoFileIsRefusedAtOnce) {
  const QString fifo = state_.filePath("fifo");
  ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
  const struct {
    QString path;
    const char* what;
  } cases[] = {
      {"/dev/zero", "a device"},
      {fifo, "a FIFO"},
      {state_.path(), "a directory"},
  };
  for (const auto& c : cases) {
    for (const char* command : {"info", "target-write", "pod-write", "pod-verify"}) {
      SCOPED_TRACE(std::string(command) + " " + c.what);
      // Killed after 10 s: a read that never ends fails here instead of hanging.
      const CliRun run = RunCli({command, c.path, "--json"}, 10000);
      EXPECT_EQ(run.exitCode, 1);
      EXPECT_THAT(run.Json()["message"].toString().toStdString(),
                  HasSubstr(std::string("Fail to open specified file (") + c.what + ")"));
    }
  }
}

TEST_F(PodCommandsTest, BadOptionValuesAreUsageErrors) {
  const TempFile file = F2808Program();
  const struct {
    QStringList args;
    std::string says;
  } cases[] = {
      {{"target-write", PathOf(file), "--erase", "some"}, "--erase takes intelligent or all"},
      {{"target-write", PathOf(file), "--csm", "1,2,3,4,5,6,7"}, "--csm takes eight key words"},
      {{"pod-write", PathOf(file), "--csm", "1,2,3,4,5,6,7,12345"}, "--csm takes eight key words"},
      {{"pod-write", PathOf(file), "--csm", "1,2,3,4,5,6,7,8,9"}, "--csm takes eight key words"},
      {{"pod-write", PathOf(file), "--csm", "1,2,3,4,5,6,7,g"}, "--csm takes eight key words"},
      {{"pod-verify", PathOf(file), "--device", "F2807"}, "unknown device F2807"},
      {{"pod-info", "--driver", "usb"}, "Unknown driver \"usb\""},
      {{"pod-write", PathOf(file), "--name", "\x1b[2J"}, "--name takes text without control"},
      {{"pod-write", PathOf(file), "--name", "a\tb"}, "--name takes text without control"},
      {{"pod-info", "--pod", "\x1b[2J"}, "--pod takes text without control"},
      {{"target-reset", "--pod", "BFX00001", "--pod", "a\xc2\x9b"},
       "--pod takes text without control"},
      {{"target-write"}, "missing FILE"},
      {{"pod-write", PathOf(file), "--serial", "3E8000"},
       "--serial is refused: the POD copies one program to every target it programs"},
      {{"target-write", PathOf(file), "--serial", "3E8000"}, "--serial needs --serial-start N"},
      {{"target-write", PathOf(file), "--serial-counter", "c"}, "--serial-counter needs --serial"},
      {{"target-write", PathOf(file), "--serial", "3E80G0", "--serial-start", "1"},
       "--serial takes a word address in hexadecimal"},
      {{"target-write", PathOf(file), "--serial", "3E8000", "--serial-start", "65536"},
       "--serial-start 65536 does not fit in 1 word (at most 65535)"},
      {{"target-write", PathOf(file), "--serial", "3E8000", "--serial-start", "0x1000000000"},
       "--serial-start takes a number"},
      {{"target-write", PathOf(file), "--serial", "3E8000", "--serial-start", "1", "--serial-width",
        "4"},
       "--serial-width takes 1 or 2, not 4"},
      {{"target-write", PathOf(file), "--serial", "3E8000", "--serial-start", "1", "--serial-step",
        "0"},
       "--serial-step takes a number from 1 on"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const CliRun run = RunCli(c.args);
    EXPECT_EQ(run.exitCode, 64);
    EXPECT_THAT(run.err, HasSubstr(c.says));
    EXPECT_EQ(run.out, "");
  }
}

// The keys come from a file only its owner may use: all eight zero words are
// refused by the write itself (17), which shows that they were read; erased
// words pass. Any other file is a usage error that names it.
TEST_F(PodCommandsTest, KeysFromAFileOnlyItsOwnerMayUse) {
  const TempFile file = F2808Program();
  const struct {
    const char* name;
    const char* text;  // null: no file
    std::filesystem::perms perms;
    int exitCode;
    const char* says;
  } cases[] = {
      {"zero-keys", "0,0,0,0,0,0,0,0\n", std::filesystem::perms::owner_read, 17,
       "CSM Password input is wrong"},
      {"one-a-line", "ffff\r\nFFFF\r\n\n ffff\nffff\nffff\nffff\nffff\n", kOwnerOnly, 0,
       "Flash Write Completed"},
      {"group-readable", "0,0,0,0,0,0,0,0", kOwnerOnly | std::filesystem::perms::group_read, 64,
       "may be read or written by others (mode 0640); make it its owner's alone: chmod 600"},
      {"world-writable", "0,0,0,0,0,0,0,0", kOwnerOnly | std::filesystem::perms::others_write, 64,
       "(mode 0602)"},
      {"seven-keys", "1,2,3,4,5,6,7", kOwnerOnly, 64, "holds no eight key words"},
      {"nine-lines", "1\n2\n3\n4\n5\n6\n7\n8\n9\n", kOwnerOnly, 64, "holds no eight key words"},
      {"bad-word", "1,2,3,4,5,6,7,12345", kOwnerOnly, 64, "holds no eight key words"},
      {"a-directory", nullptr, kOwnerOnly | std::filesystem::perms::owner_exec, 64,
       "is not a regular file"},
      {"missing", nullptr, {}, 64, "cannot read the CSM key file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = state_.filePath(c.name).toStdString();
    if (c.text != nullptr) {
      std::ofstream(path) << c.text;
      std::filesystem::permissions(path, c.perms);
    } else if (c.perms != std::filesystem::perms{}) {
      std::filesystem::create_directory(path);
      std::filesystem::permissions(path, c.perms);
    }
    const CliRun run =
        RunCli({"target-write", PathOf(file), "--csm-file", QString::fromStdString(path)});
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_THAT(run.out + run.err, HasSubstr(c.says));
    EXPECT_THAT(run.err, testing::Not(HasSubstr("warning")));
  }
}

// The command line before the file before the environment, the file and the
// command line never both, and only the command line warns.
TEST_F(PodCommandsTest, KeysFromTheEnvironmentGiveWayToTheFileAndTheCommandLine) {
  const TempFile file = F2808Program();
  const std::string erasedKeys = state_.filePath("erased").toStdString();
  std::ofstream(erasedKeys) << ",,,,,,,";
  std::filesystem::permissions(erasedKeys, kOwnerOnly);
  const QString keyFile = QString::fromStdString(erasedKeys);
  qputenv("BRONTAFLEX_CSM", "0,0,0,0,0,0,0,0");
  const CliRun fromEnvironment = RunCli({"pod-write", PathOf(file)});
  const CliRun fromFile = RunCli({"pod-write", PathOf(file), "--csm-file", keyFile});
  const CliRun typed = RunCli({"pod-write", PathOf(file), "--csm", ",,,,,,,"});
  const CliRun both =
      RunCli({"pod-write", PathOf(file), "--csm", ",,,,,,,", "--csm-file", keyFile});
  qputenv("BRONTAFLEX_CSM", "1,2");
  const CliRun badEnvironment = RunCli({"target-write", PathOf(file)});
  qunsetenv("BRONTAFLEX_CSM");

  EXPECT_EQ(fromEnvironment.exitCode, 17);
  EXPECT_EQ(fromEnvironment.err, "CSM Password input is wrong\n");
  EXPECT_EQ(fromFile.exitCode, 0) << fromFile.err;
  EXPECT_EQ(fromFile.err, "");
  EXPECT_EQ(typed.exitCode, 0) << typed.err;
  EXPECT_EQ(typed.err,
            "brontaflex-cli: warning: --csm shows the keys to every user of this machine in the "
            "process list; use --csm-file FILE or BRONTAFLEX_CSM\n");
  EXPECT_EQ(both.exitCode, 64);
  EXPECT_THAT(both.err, HasSubstr("--csm and --csm-file cannot be used together"));
  EXPECT_EQ(badEnvironment.exitCode, 64);
  EXPECT_THAT(badEnvironment.err, HasSubstr("BRONTAFLEX_CSM takes eight key words"));
}

TEST_F(PodCommandsTest, AMissingDriverIsReportedOnce) {
  const CliRun run = RunCli({"pod-info", "--driver", "d2xx"});
  // Without the vendor library (the usual case here) the driver cannot load;
  // with it, no POD is attached.
  ASSERT_TRUE(run.exitCode == 20 || run.exitCode == 21) << run.exitCode << run.err;
  if (run.exitCode == 20) {
    // Once, then why and where the library was looked for.
    EXPECT_THAT(run.err,
                testing::MatchesRegex("Fail to load FTD2XX.DLL\ncause: load the d2xx driver: "
                                      "[^\n]*libftd2xx.so[^\n]*looked for in[^\n]*\n"));
  }
  // list says the same, not that no device is there.
  const CliRun list = RunCli({"list", "--driver", "d2xx"});
  if (run.exitCode == 20) {
    EXPECT_EQ(list.exitCode, 20);
    EXPECT_THAT(list.err, testing::StartsWith("d2xx: the driver is missing: libftd2xx.so"));
    EXPECT_THAT(list.err, testing::Not(testing::HasSubstr("No FTDI device")));
  }
}

// On the emulated PODs every check passes; --json gives each check as an object.
TEST_F(PodCommandsTest, DoctorPassesOnTheEmulatorAndGivesEachCheckInJson) {
  qputenv("BRONTAFLEX_EMULATOR_PODS", "2");
  const CliRun text = RunCli({"doctor"});
  const CliRun json = RunCli({"doctor", "--json"});
  const CliRun unknown = RunCli({"doctor", "--driver", "serial"});
  qunsetenv("BRONTAFLEX_EMULATOR_PODS");
  EXPECT_EQ(text.exitCode, 0) << text.out << text.err;
  EXPECT_THAT(text.out, HasSubstr("ok    target reset BFX00002: the target was reset\n"));
  EXPECT_THAT(text.out, testing::EndsWith("Everything a write needs is in place\n"));
  ASSERT_EQ(json.exitCode, 0) << json.err;
  const QJsonObject object = json.Json();
  EXPECT_EQ(object["command"].toString(), "doctor");
  EXPECT_TRUE(object["passed"].toBool());
  const QJsonArray checks = object["checks"].toArray();
  ASSERT_EQ(checks.size(), 1 + 2 + 2 * 4);  // the driver, each POD seen, four checks a POD
  const QJsonObject firmware = checks[5].toObject();
  EXPECT_EQ(firmware["check"].toString(), "firmware");
  EXPECT_EQ(firmware["subject"].toString(), "BFX00001");
  EXPECT_EQ(firmware["status"].toString(), "ok");
  EXPECT_EQ(firmware["detail"].toString(), "1.1");
  EXPECT_EQ(firmware["fix"].toString(), "");
  EXPECT_EQ(unknown.exitCode, 64);
}

TEST_F(PodCommandsTest, AStoredNameIsShownWithoutItsControlBytes) {
  // "\x1b[31mA" and 14:05 on 20 December 2006.
  WriteState("brontaflex-pod-store 1\ntag 1B5B33316D41000007D60C140E05\n");
  const CliRun info = RunCli({"pod-info"});
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_EQ(info.out, "POD Ver: 1.1, POD File Name: \\x1b[31mA [when 2006.12.20 14:05]\n");
}

TEST_F(PodCommandsTest, ANameFromTheFileIsRefusedAsATypedOneIs) {
  const QString evil = state_.filePath("evil\x1b]0;.out");
  ASSERT_TRUE(QFile::copy(PathOf(F2808Program()), evil));
  const CliRun write = RunCli({"pod-write", evil});
  EXPECT_EQ(write.exitCode, 19);
  EXPECT_EQ(write.err, "The POD file name holds a control character\n");
  EXPECT_EQ(write.out.find('\x1b'), std::string::npos) << write.out;
  EXPECT_EQ(ReadState(), "");  // the POD was never asked
  // A name given with --name stores the same program.
  EXPECT_EQ(RunCli({"pod-write", evil, "--name", "good"}).exitCode, 0);
}

TEST_F(PodCommandsTest, AStoreThatCannotBeKeptFailsAtItsFirstWrite) {
  ASSERT_TRUE(QDir(state_.path()).mkdir("pod"));  // the state path is a folder
  const TempFile file = F2808Program();
  const CliRun write = RunCli({"pod-write", PathOf(file)});
  EXPECT_EQ(write.exitCode, 41);
  // The POD refused the first record it could not keep.
  EXPECT_THAT(write.err, testing::StartsWith("Fail to write user program in serial flash\n"
                                             "cause: store the record of section 0: wrong reply"));
  EXPECT_THAT(write.out, testing::Not(HasSubstr("Completed")));
}

TEST_F(PodCommandsTest, APodInUseByAnotherProcessIsRefusedByName) {
  const std::string path = StatePath();
  StateLock held(path);
  std::string why;
  ASSERT_TRUE(held.TryLock(why)) << why;
  const CliRun info = RunCli({"pod-info"});
  EXPECT_EQ(info.exitCode, 24);
  EXPECT_EQ(info.err,
            "Port busy: " + path + " is in use by process " + std::to_string(getpid()) + "\n");
  held.Unlock();
  EXPECT_EQ(RunCli({"pod-info"}).exitCode, 0);
}

TEST_F(PodCommandsTest, ALockFileThatCannotBeOpenedRefusesThePod) {
  const std::string lock = StatePath() + ".lock";
  const TempFile file = F2808Program();
  const struct {
    const char* name;
    std::function<bool()> plant;
    const char* why;
  } cases[] = {
      {"a dangling link", [&] { return symlink((lock + ".gone").c_str(), lock.c_str()) == 0; },
       "Too many levels of symbolic links"},
      {"a folder", [&] { return QDir().mkdir(QString::fromStdString(lock)); }, "Is a directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.plant());
    const CliRun write = RunCli({"pod-write", PathOf(file)});
    EXPECT_EQ(write.exitCode, 24);
    EXPECT_EQ(write.err, "Port busy: the lock file " + lock + " cannot be opened: " + c.why + "\n");
    EXPECT_THAT(write.out, testing::Not(HasSubstr("Completed")));
    ASSERT_TRUE(std::filesystem::remove(lock));
  }
}

// The whole of an F2809's flash but its last sector: a store that takes a while.
TempFile LargeF2809Program() {
  return TempFile(CoffWriter()
                      .Add(".text", 0x3D8000, std::vector<uint16_t>(0x1F000, 0x5AA5))
                      .Add("codestart", 0x3F7FF6, {0x0040, 0x8000})
                      .Build());
}

TEST_F(PodCommandsTest, SignalDuringAStoreAbandonsItClosesAndExits) {
  const TempFile large = LargeF2809Program();
  // The run log has the stopped run's line all the same.
  const QString log = state_.filePath("run.log");
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("BRONTAFLEX_LOG", log);
  for (const auto& [signal, exitCode] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    SCOPED_TRACE(signal);
    QFile::remove(log);
    QProcess store;
    store.setProcessEnvironment(environment);
    store.start(QStringLiteral(BFX_CLI_PATH), {"pod-write", PathOf(large), "--device", "F2809"});
    QByteArray out;
    while (!out.contains("Writing user program in serial flash") && store.waitForReadyRead(10000)) {
      out += store.readAllStandardOutput();
    }
    ASSERT_TRUE(out.contains("Writing user program in serial flash")) << out.toStdString();
    ASSERT_EQ(kill(static_cast<pid_t>(store.processId()), signal), 0);
    ASSERT_TRUE(store.waitForFinished(10000));
    out += store.readAllStandardOutput();
    EXPECT_EQ(store.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(store.exitCode(), exitCode);
    EXPECT_EQ(store.readAllStandardError().toStdString(), "Interrupted\n");
    EXPECT_FALSE(out.contains("Completed")) << out.toStdString();
    // The POD was told to drop the half-written copy: it holds nothing now.
    EXPECT_EQ(ReadState(), "brontaflex-pod-store 1\n");
    QFile logged(log);
    ASSERT_TRUE(logged.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = logged.readAll().split('\n');
    ASSERT_EQ(lines.size(), 2);  // one line, and nothing after its newline
    const QJsonObject line = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(line["command"].toString(), "pod-write");
    EXPECT_EQ(line["outcome"].toString(), "Interrupted");
    EXPECT_EQ(line["exitStatus"].toInt(), exitCode);
    EXPECT_EQ(line["device"].toString(), "F2809");
  }
  const TempFile file = F2808Program();
  const CliRun next = RunCli({"pod-write", PathOf(file)});
  EXPECT_EQ(next.exitCode, 0) << next.err;
}

// Runs brontaflex-cli with its standard output a pipe that nobody reads any
// more, as `| head -1` leaves it once head has ended; stderr goes to `errPath`.
// Returns the wait status.
int RunIntoClosedPipe(const std::vector<std::string>& args, const std::string& errPath) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) {
    return -1;
  }
  close(pipeEnds[0]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> argv{const_cast<char*>(BFX_CLI_PATH)};
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, BFX_CLI_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  int status = -1;
  if (spawned != 0 || waitpid(pid, &status, 0) != pid) {
    return -1;
  }
  return status;
}

TEST_F(PodCommandsTest, AClosedPipeEndsTheOperationCleanlyAndFails) {
  const TempFile file = F2808Program();
  const std::string err = state_.filePath("err").toStdString();
  const std::string trace = state_.filePath("trace").toStdString();
  const int status = RunIntoClosedPipe({"pod-write", file.path().string(), "--trace", trace}, err);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 74);
  std::ifstream errFile(err);
  const std::string errText{std::istreambuf_iterator<char>(errFile), {}};
  EXPECT_EQ(errText, "Interrupted\nbrontaflex-cli: write error: the output was cut short\n");
  // The POD was told to drop what it had begun to store, and the port closed.
  std::ifstream traceFile(trace);
  const std::string traceText{std::istreambuf_iterator<char>(traceFile), {}};
  EXPECT_THAT(traceText, HasSubstr(" > <i>\n"));
  EXPECT_EQ(ReadState().find("tag"), std::string::npos) << ReadState();
}

TEST_F(PodCommandsTest, ATraceIsANewFileUnlessReplacingIsAsked) {
  const QString trace = state_.filePath("trace");
  ASSERT_EQ(RunCli({"target-reset", "--trace", trace}).exitCode, 0);
  const CliRun again = RunCli({"target-reset", "--trace", trace});
  EXPECT_EQ(again.exitCode, 64);
  EXPECT_EQ(again.err, "brontaflex-cli target-reset: The trace file " + trace.toStdString() +
                           " exists already (--replace-trace replaces it)\n"
                           "Try 'brontaflex-cli target-reset --help' for more information.\n");
  EXPECT_EQ(RunCli({"target-reset", "--trace", trace, "--replace-trace"}).exitCode, 0);
}

TEST_F(PodCommandsTest, ATraceCutShortFailsTheRun) {
  // A file size limit stands in for a full disk; the trace outgrows it, the
  // POD's state (untouched by a target write) does not.
  const TempFile file = F2808Program();
  const QString trace = state_.filePath("trace");
  QProcess run;
  run.start("bash", {"-c", R"(ulimit -f 2; trap '' XFSZ; exec "$@")", "bash", BFX_CLI_PATH,
                     "target-write", PathOf(file), "--trace", trace, "-q"});
  ASSERT_TRUE(run.waitForFinished(30000));
  EXPECT_EQ(run.exitCode(), 74);
  EXPECT_EQ(
      run.readAllStandardError().toStdString(),
      "brontaflex-cli: write error: the trace file " + trace.toStdString() + " was cut short\n");
  EXPECT_THAT(run.readAllStandardOutput().toStdString(), HasSubstr("Flash Write Completed"));
}

TEST(PodCommandsHelpTest, HelpListsTheExitStatuses) {
  const CliRun run = RunCli({"target-write", "--help"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_THAT(run.out, HasSubstr("Usage: brontaflex-cli target-write FILE [--device NAME]"));
  EXPECT_THAT(run.out, HasSubstr("  34  FlashAlgorithmFailed: "));
  EXPECT_THAT(run.out, HasSubstr("  11  FileNotFound: "));
  EXPECT_THAT(run.out, HasSubstr("  24  PortBusy: "));
  EXPECT_THAT(run.out,
              HasSubstr("  130 Interrupted: stopped by Ctrl-C (SIGINT); 143 when by SIGTERM"));
}

TEST(PodCommandsHelpTest, ExitStatusesQuoteTheLimitsAndTheReadersCodes) {
  const struct {
    const char* command;
    std::vector<const char*> lines;
  } cases[] = {
      {"info",
       {"\nExit status:\n"
        "  0   the file was read\n"
        "  1   OpenFailed: the file cannot be opened\n",
        "  5   OutOfMemory\n"
        "  6   ImageTooLarge: the sections exceed the 8 MiB program image\n",
        "  64  bad usage\n"}},
      {"pod-write",
       {"\nExit status:\n"
        "  0   done\n"
        "  1-9 the reader refused FILE, as for info\n"
        "  10  NoFileGiven: no COFF file named\n",
        "  14  TooManySections: more than 70 flash sections for the POD\n"
        "  15  DataTooLarge: more than 524,288 bytes of flash data for the POD\n",
        "  42  PodVerifyFailed: the POD's copy differs from FILE, or there is none\n"
        "  43  PodInfoFailed: the POD's information could not be read\n"
        "  44  PodVerifyReadFailed: the POD's copy could not be read: the POD stopped answering "
        "or the port went\n",
        "  64  bad usage, or a driver that cannot be set up\n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const CliRun run = RunCli({c.command, "--help"});
    EXPECT_EQ(run.exitCode, 0);
    for (const char* lines : c.lines) {
      EXPECT_THAT(run.out, HasSubstr(lines));
    }
    // A refused file exits with the reader's code, never with FileNotLoaded's.
    EXPECT_THAT(run.out, testing::Not(HasSubstr("FileNotLoaded")));
  }
}

}  // namespace
