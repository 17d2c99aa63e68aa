#include <gtest/gtest.h>

#include <QJsonArray>

#include "tests/cli/CliRun.h"
#include "tests/support/CoffWriter.h"

namespace {

QString PathOf(const TempFile& file) {
  return QString::fromStdString(file.path().string());
}

// A flash section at the bottom of the F2802/F2806 flash, a RAM section and
// the password words.
TempFile MixedProgram() {
  return TempFile(CoffWriter()
                      .Add(".text", 0x3F0000, {1, 2, 3, 4})
                      .Add(".ebss_init", 0x8000, {5})
                      .Add("csmpasswds", 0x3F7FF8, {6, 7, 8, 9, 10, 11, 12, 13})
                      .Build());
}

TEST(InfoCommandTest, JsonCarriesTheImageFields) {
  const TempFile file = MixedProgram();
  const CliRun run = RunCli({"info", PathOf(file), "--device", "F2802", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const QJsonObject json = run.Json();
  EXPECT_EQ(json["result"].toString(), "Ok");
  EXPECT_EQ(json["message"].toString(), "Reading COFF file is successful");
  EXPECT_EQ(json["device"].toString(), "F2802");
  EXPECT_EQ(json["sectionCount"].toInt(), 3);
  EXPECT_EQ(json["imageBytes"].toInt(), 26);
  EXPECT_EQ(json["hasFlash"].toBool(), true);
  EXPECT_EQ(json["flashSectorMask"].toInt(), 0x09);
  EXPECT_EQ(json["flashSectionCount"].toInt(), 2);
  EXPECT_EQ(json["flashListEnd"].toInt(), 3);
  EXPECT_EQ(json["flashBytes"].toInt(), 24);
  EXPECT_EQ(json["ramSectionCount"].toInt(), 1);
  EXPECT_EQ(json["ramBytes"].toInt(), 2);

  const QJsonArray sections = json["sections"].toArray();
  ASSERT_EQ(sections.size(), 3);
  const QJsonObject text = sections[0].toObject();
  EXPECT_EQ(text["name"].toString(), ".text");
  EXPECT_EQ(text["address"].toInteger(), 0x3F0000);
  EXPECT_EQ(text["wordCount"].toInt(), 4);
  EXPECT_EQ(text["offset"].toInt(), 0);
  EXPECT_EQ(text["inFlash"].toBool(), true);
  EXPECT_EQ(text["sectorMask"].toInt(), 0x08);
  const QJsonObject ram = sections[1].toObject();
  EXPECT_EQ(ram["inFlash"].toBool(), false);
  EXPECT_EQ(ram["offset"].toInt(), 8);                     // its place in the buffer
  EXPECT_EQ(sections[2].toObject()["offset"].toInt(), 8);  // packed after .text
}

TEST(InfoCommandTest, DeviceDecidesWhatIsFlash) {
  const TempFile file = MixedProgram();
  const struct {
    QStringList deviceArgs;
    const char* device;
    int flashSections;
  } cases[] = {
      {{}, "F2808", 2},
      {{"--device", "F2801"}, "F2801", 1},
      {{"--device=f2806"}, "F2806", 2},
      {{"--device", "F2809"}, "F2809", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.device);
    const CliRun run = RunCli(QStringList{"info", PathOf(file), "--json"} + c.deviceArgs);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.Json()["device"].toString(), c.device);
    EXPECT_EQ(run.Json()["flashSectionCount"].toInt(), c.flashSections);
  }
}

TEST(InfoCommandTest, TextListsSectionsAndTotals) {
  const TempFile file = MixedProgram();
  const CliRun run = RunCli({"info", PathOf(file)});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("Reading COFF file is successful"), std::string::npos);
  EXPECT_NE(run.out.find("Device: F2808"), std::string::npos);
  EXPECT_NE(run.out.find(".text"), std::string::npos);
  EXPECT_NE(run.out.find("0x3F0000"), std::string::npos);
  EXPECT_NE(run.out.find("flashSectorMask    0x03"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("ramBytes           2"), std::string::npos) << run.out;
}

TEST(InfoCommandTest, FailedReadsExitWithTheOutcomeCode) {
  std::vector<uint8_t> notCoff(64, 0x41);
  const TempFile garbage(notCoff);
  const TempFile c24x(CoffWriter(1).TargetId(0x0092).Add(".text", 0, {1}).Build());
  const struct {
    QString path;
    int exitCode;
    const char* result;
    const char* message;
  } cases[] = {
      {"/nonexistent/file.out", 1, "OpenFailed", "Fail to open specified file"},
      {PathOf(garbage), 2, "NotCoff", "The specified file is not COFF format"},
      {PathOf(c24x), 3, "TargetMismatch", "The specified file is not match with MCU"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    const CliRun text = RunCli({"info", c.path});
    EXPECT_EQ(text.exitCode, c.exitCode);
    EXPECT_NE(text.err.find(c.message), std::string::npos) << text.err;
    const CliRun json = RunCli({"info", "--json", c.path});
    EXPECT_EQ(json.exitCode, c.exitCode);
    EXPECT_EQ(json.Json()["result"].toString(), c.result);
    EXPECT_EQ(json.Json()["message"].toString(), c.message);
    EXPECT_EQ(json.Json()["sectionCount"].toInt(-1), 0);
  }
}

TEST(InfoCommandTest, BadUsageExits64) {
  const TempFile file = MixedProgram();
  const QStringList cases[] = {
      {},
      {"nosuchcommand"},
      {"info"},
      {"info", PathOf(file), PathOf(file)},
      {"info", PathOf(file), "--verbose"},
      {"info", PathOf(file), "--device", "F2812"},
      {"info", PathOf(file), "--device"},
      {"info", PathOf(file), "--json=yes"},
  };
  for (const QStringList& args : cases) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.exitCode, 64);
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_FALSE(run.err.empty());
  }
}

TEST(InfoCommandTest, HelpExplainsCommandsOptionsAndExitStatuses) {
  const CliRun overview = RunCli({"--help"});
  EXPECT_EQ(overview.exitCode, 0);
  EXPECT_NE(overview.out.find("info"), std::string::npos);
  const CliRun info = RunCli({"info", "--help"});
  EXPECT_EQ(info.exitCode, 0);
  for (const char* text : {"--device", "--json", "TargetMismatch", "64"}) {
    EXPECT_NE(info.out.find(text), std::string::npos) << text;
  }
}

}  // namespace
