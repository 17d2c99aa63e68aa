// Several emulated PODs: brontaflex-cli lists them, refuses to guess among
// them, uses the one chosen by serial number, and reports each run as JSON.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtGlobal>

#include "tests/cli/CliRun.h"
#include "tests/support/CoffWriter.h"

namespace {

using testing::HasSubstr;

class PodSelectionTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(state_.isValid());
    qputenv("BRONTAFLEX_DRIVER", "emulator");
    qputenv("BRONTAFLEX_EMULATOR_PODS", "2");
    qputenv("BRONTAFLEX_EMULATOR_STATE", state_.filePath("pod").toLocal8Bit());
  }
  void TearDown() override {
    for (const char* name : {"BRONTAFLEX_DRIVER", "BRONTAFLEX_EMULATOR_PODS",
                             "BRONTAFLEX_EMULATOR_STATE", "BRONTAFLEX_POD"}) {
      qunsetenv(name);
    }
  }

  QTemporaryDir state_;
};

TEST_F(PodSelectionTest, ListShowsEveryPodWithItsSerialNumber) {
  const CliRun text = RunCli({"list"});
  ASSERT_EQ(text.exitCode, 0) << text.err;
  EXPECT_EQ(text.out,
            "emulator #0 \"Brontaflex POD\" serial BFX00001\n"
            "emulator #1 \"Brontaflex POD\" serial BFX00002\n");

  const CliRun json = RunCli({"list", "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  const QJsonArray ports = json.Json()["ports"].toArray();
  ASSERT_EQ(ports.size(), 2);
  EXPECT_EQ(ports[1].toObject()["serialNumber"].toString(), "BFX00002");
  EXPECT_EQ(ports[1].toObject()["backend"].toString(), "emulator");
  EXPECT_TRUE(ports[1].toObject()["accessible"].toBool());
}

TEST_F(PodSelectionTest, SeveralPodsAndNoneChosenIsRefusedWithTheList) {
  const CliRun run = RunCli({"pod-info"});
  EXPECT_EQ(run.exitCode, 25);
  EXPECT_EQ(run.out, "");
  EXPECT_THAT(run.err, HasSubstr("Several Brontaflex PODs are attached; choose one with --pod "
                                 "SERIAL\nseen: #0 \"Brontaflex POD\" serial BFX00001\nseen: #1 "
                                 "\"Brontaflex POD\" serial BFX00002\n"));
}

TEST_F(PodSelectionTest, EachPodKeepsItsOwnStore) {
  const TempFile file(CoffWriter().Add(".text", 0x3E8000, {1, 2, 3, 4}).Build());
  const QString path = QString::fromStdString(file.path().string());
  const CliRun write = RunCli({"pod-write", path, "--name", "second", "--pod", "BFX00002"});
  ASSERT_EQ(write.exitCode, 0) << write.err;

  qputenv("BRONTAFLEX_POD", "BFX00002");
  const CliRun second = RunCli({"pod-info"});
  EXPECT_THAT(second.out, HasSubstr("POD File Name: second"));
  const CliRun first = RunCli({"pod-info", "--pod", "BFX00001"});
  EXPECT_EQ(first.out, "POD Ver: 1.1, No POD File Data\n");
}

TEST_F(PodSelectionTest, UnknownSerialNumberIsNoPodAndShowsWhatIsThere) {
  const CliRun run = RunCli({"target-reset", "--pod", "BFX00009"});
  EXPECT_EQ(run.exitCode, 21);
  EXPECT_THAT(run.err, HasSubstr("No Connection to Brontaflex POD\nseen: #0 \"Brontaflex POD\" "
                                 "serial BFX00001\n"));
}

TEST_F(PodSelectionTest, JsonReportsTheRunOnStdoutAndMessagesOnStderr) {
  const TempFile file(CoffWriter().Add(".text", 0x3E8000, {1, 2, 3, 4}).Build());
  const QString path = QString::fromStdString(file.path().string());
  const CliRun write = RunCli({"pod-write", path, "--name", "demo", "--pod", "BFX00001", "--json"});
  ASSERT_EQ(write.exitCode, 0) << write.err;
  EXPECT_THAT(write.err, HasSubstr("EEPROM Write Completed - "));
  const QJsonObject report = write.Json();
  EXPECT_EQ(report["command"].toString(), "pod-write");
  EXPECT_EQ(report["outcome"].toString(), "Done");
  EXPECT_EQ(report["exitCode"].toInt(), 0);
  EXPECT_TRUE(report["message"].toString().startsWith("EEPROM Write Completed - "));
  EXPECT_TRUE(report["cause"].isNull());
  EXPECT_EQ(report["device"].toString(), "F2808");
  EXPECT_EQ(report["file"].toObject()["name"].toString(), path);
  EXPECT_EQ(report["file"].toObject()["sha256"].toString().size(), 64);
  EXPECT_EQ(report["wordsWritten"].toInt(), 4);
  EXPECT_EQ(report["pod"].toObject()["fileName"].toString(), "demo");

  const CliRun info = RunCli({"pod-info", "--pod", "BFX00001", "--json"});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_EQ(info.Json()["pod"].toObject()["version"].toString(), "1.1");
  EXPECT_EQ(info.Json()["pod"].toObject()["fileName"].toString(), "demo");
  EXPECT_EQ(info.Json()["pod"].toObject()["date"].toString().size(), 16);
  EXPECT_TRUE(info.Json()["device"].isNull());

  const CliRun refused = RunCli({"pod-info", "--json"});
  EXPECT_EQ(refused.exitCode, 25);
  EXPECT_EQ(refused.Json()["outcome"].toString(), "SeveralPods");
  EXPECT_EQ(refused.Json()["exitCode"].toInt(), 25);
}

}  // namespace
