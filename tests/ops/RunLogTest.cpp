// The run log's lines: every field a production record needs, each line one
// JSON object, and lines that several processes append at once never mixed.
#include "ops/RunLog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "tests/support/ScratchDir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

TEST(RunLogLineTest, OneObjectWithEveryFieldAndNullForWhatIsNotKnown) {
  RunLogEntry entry;
  entry.command = "target-write";
  entry.fileName = "/lines/\xff board.out";  // not UTF-8: the line is kept all the same
  entry.fileSha256 = "ab12";
  entry.device = "F2809";
  entry.podSerial = "BFX00002";
  entry.podFirmware = 11;
  entry.outcome = "ProgramFailed";
  entry.exitStatus = 37;
  entry.message = "Fail to write flash memory";
  entry.cause = "time-out waiting for the reply to S";
  entry.durationMs = 2345;
  entry.serialNumber = 70000;

  const std::string line = RunLogLine(entry, "2026-12-11T06:01:02Z", "station-3", "op");
  ASSERT_EQ(line.find('\n'), line.size() - 1);
  const nlohmann::json json = nlohmann::json::parse(line);
  EXPECT_EQ(json, nlohmann::json::parse(R"({
      "time": "2026-12-11T06:01:02Z", "host": "station-3", "user": "op",
      "command": "target-write", "file": "/lines/\ufffd board.out", "fileSha256": "ab12",
      "memorySha256": null, "device": "F2809", "pod": "BFX00002", "podFirmware": "1.1",
      "outcome": "ProgramFailed", "exitStatus": 37, "message": "Fail to write flash memory",
      "cause": "time-out waiting for the reply to S", "seconds": 2.35, "serialNumber": 70000})"));

  const nlohmann::json bare = nlohmann::json::parse(RunLogLine({}, "t", "h", "u"));
  for (const char* field : {"file", "fileSha256", "memorySha256", "device", "pod", "podFirmware",
                            "cause", "serialNumber"}) {
    EXPECT_TRUE(bare[field].is_null()) << field;
  }
}

#ifndef _WIN32
TEST(RunLogTest, RefusesWhatIsNoFileToAppendTo) {
  const ScratchDir dir;
  const std::string fifo = (dir.path() / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path :
       {fifo, dir.path().string(), (dir.path() / "missing" / "log").string()}) {
    SCOPED_TRACE(path);
    const RunLog log(path);
    EXPECT_FALSE(log.open());
    EXPECT_THAT(log.error(), testing::StartsWith("the log " + path + " cannot be written: "));
  }
}

TEST(RunLogTest, LinesOfTwoProcessesAtOnceNeverMix) {
  const ScratchDir dir;
  const std::string path = (dir.path() / "run.log").string();
  constexpr int kLines = 300;
  std::vector<pid_t> children;
  for (const char* pod : {"BFX00001", "BFX00002"}) {
    const pid_t child = fork();
    if (child == 0) {
      RunLog log(path);
      RunLogEntry entry;
      entry.podSerial = pod;
      // Long enough that a line cut in two would show.
      entry.message = std::string(6000, pod[7]);
      for (int line = 0; line < kLines; ++line) {
        entry.exitStatus = line;
        if (!log.Write(entry).empty()) {
          _exit(1);
        }
      }
      _exit(0);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::ifstream file(path);
  std::map<std::string, int> next;  // each process's lines come in its own order
  int lines = 0;
  for (std::string line; std::getline(file, line); ++lines) {
    const nlohmann::json json = nlohmann::json::parse(line);
    const std::string pod = json["pod"];
    EXPECT_EQ(json["message"], std::string(6000, pod.back()));
    EXPECT_EQ(json["exitStatus"], next[pod]++);
  }
  EXPECT_EQ(lines, 2 * kLines);
}
#endif

}  // namespace
