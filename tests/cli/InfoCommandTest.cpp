#include <gtest/gtest.h>

#include <QJsonArray>

#include "tests/cli/CliRun.h"
#include "tests/support/CoffWriter.h"
#include "tests/support/ProgramWriters.h"

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
  // The fields every run object starts with, beside the reader's own.
  EXPECT_EQ(json["command"].toString(), "info");
  EXPECT_EQ(json["outcome"].toString(), "Done");
  EXPECT_EQ(json["exitCode"].toInt(-1), 0);
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
    int exitCode;
  } cases[] = {
      {{}, "F2808", 2, 0},
      // .text lies below the F2801's flash: shown, and refused as a write would.
      {{"--device", "F2801"}, "F2801", 1, 18},
      {{"--device=f2806"}, "F2806", 2, 0},
      {{"--device", "F2809"}, "F2809", 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.device);
    const CliRun run = RunCli(QStringList{"info", PathOf(file), "--json"} + c.deviceArgs);
    ASSERT_EQ(run.exitCode, c.exitCode) << run.err;
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

TEST(InfoCommandTest, EachFormatIsNamedAndTheSameWordsGiveTheSameChecksums) {
  // Words 0x6162 0x6364 are "abcd" high byte first; 0x6566 0x6768 are "efgh".
  const std::vector<WordBlock> blocks{{0x3F4000, {0x6162, 0x6364}}, {0x3F4100, {0x6566, 0x6768}}};
  const TempFile coff(CoffWriter()
                          .Add(".text", 0x3F4000, blocks[0].words)
                          .Add(".cinit", 0x3F4100, blocks[1].words)
                          .Build());
  const TempFile elf(
      ElfFile({{0x3F4000, blocks[0].words, ".text"}, {0x3F4100, blocks[1].words, ".cinit"}}));
  const TempFile hex(BytesOf(IntelHexText(blocks)), ".hex");
  const TempFile txt(BytesOf(TiTxtText(blocks)), ".txt");
  const struct {
    const TempFile& file;
    const char* format;
    const char* message;
  } cases[] = {
      {coff, "COFF", "Reading COFF file is successful"},
      {elf, "ELF", "Reading ELF file is successful"},
      {hex, "Intel HEX", "Reading Intel HEX file is successful"},
      {txt, "TI-TXT", "Reading TI-TXT file is successful"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    const CliRun json = RunCli({"info", "--json", PathOf(c.file)});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.Json()["format"].toString(), c.format);
    EXPECT_EQ(json.Json()["message"].toString(), c.message);
    const QJsonArray sections = json.Json()["sections"].toArray();
    ASSERT_EQ(sections.size(), 2);
    EXPECT_EQ(sections[0].toObject()["sha256"].toString(),
              "88d4266fd4e6338d13b845fcf289579d209c897823b9217da3e161936f031589");
    EXPECT_EQ(json.Json()["imageSha256"].toString(),
              "9c56cc51b374c3ba189210d5b6d4bf57790d351c96c47c02190ecf1e430635ab");
    // As the README's Python computes it from the four words and their addresses.
    EXPECT_EQ(json.Json()["memoryDigest"].toString(),
              "6ff4ae864bc5881226c6e99f9c8935edb52aa33750c0239486a5d618bd223e61");
    const CliRun text = RunCli({"info", PathOf(c.file)});
    EXPECT_EQ(text.out.find(std::string(c.message) + "\nFormat: " + c.format + "\n"), 0);
    EXPECT_NE(text.out.find(" 88d4266fd4e6338d13b845fcf289579d209c897823b9217da3e161936f031589 "),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("imageSha256        9c56cc51b374c3ba189210d5b6d4bf57"),
              std::string::npos);
    EXPECT_NE(text.out.find("memoryDigest       6ff4ae864bc5881226c6e99f9c8935ed"),
              std::string::npos);
  }
}

TEST(InfoCommandTest, FailedReadsExitWithTheOutcomeCode) {
  std::vector<uint8_t> notCoff(64, 0x41);
  const TempFile garbage(notCoff);
  const TempFile c24x(CoffWriter(1).TargetId(0x0092).Add(".text", 0, {1}).Build());
  std::string badChecksum = IntelHexText({{0x8000, {1}}});
  badChecksum[badChecksum.find('\n', 16) - 1] ^= 1;  // the data record's last digit
  const TempFile hex(BytesOf(badChecksum), ".hex");
  const TempFile overlap(BytesOf("@100\n01 02\n@100\n03 04\nq\n"), ".txt");
  std::vector<uint8_t> cut = ElfFile({{0x8000, {1, 2, 3}}});
  cut.resize(cut.size() - 40 * 2 - 12);  // into the segment's data, with the section headers
  const TempFile elf(cut);
  const struct {
    QString path;
    int exitCode;
    const char* result;
    const char* message;
  } cases[] = {
      {"/nonexistent/file.out", 1, "OpenFailed", "Fail to open specified file"},
      {PathOf(garbage), 2, "NotCoff", "The specified file is not COFF format"},
      {PathOf(c24x), 3, "TargetMismatch", "The specified file is not match with MCU"},
      {PathOf(hex), 7, "BadRecord",
       "The file holds a line that is not a valid record (line 2: the checksum is 0x"},
      {PathOf(overlap), 8, "BadLayout",
       "The program's data cannot be placed in the C28x's memory (line 4: the word at 0x000080 "
       "is given twice)"},
      {PathOf(elf), 9, "Truncated", "The file ends before the data it announces (program header"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    const CliRun text = RunCli({"info", c.path});
    EXPECT_EQ(text.exitCode, c.exitCode);
    EXPECT_NE(text.err.find(c.message), std::string::npos) << text.err;
    const CliRun json = RunCli({"info", "--json", c.path});
    EXPECT_EQ(json.exitCode, c.exitCode);
    EXPECT_EQ(json.Json()["result"].toString(), c.result);
    EXPECT_TRUE(json.Json()["message"].toString().startsWith(c.message))
        << json.Json()["message"].toString().toStdString();
    EXPECT_EQ(json.Json()["sectionCount"].toInt(-1), 0);
  }
}

TEST(InfoCommandTest, ANamedDeviceTheFileDoesNotFitFailsAsTheWritesDo) {
  // Flash of the F2801 (0x3F4000..) and of the F2809 but not the F2801.
  const TempFile file(
      CoffWriter().Add(".text", 0x3F4000, {1, 2}).Add(".big", 0x3D8000, {3, 4}).Build());
  const CliRun fits = RunCli({"info", PathOf(file), "--device", "F2809"});
  EXPECT_EQ(fits.exitCode, 0) << fits.err;

  const CliRun text = RunCli({"info", PathOf(file), "--device", "F2801"});
  EXPECT_EQ(text.exitCode, 18);
  EXPECT_NE(text.out.find("outside F2801"), std::string::npos) << text.out;  // the table first
  EXPECT_EQ(text.err, "Section .big at 0x3D8000 lies outside the memory of the F2801\n");

  const CliRun json = RunCli({"info", PathOf(file), "--device", "F2801", "--json"});
  EXPECT_EQ(json.exitCode, 18);
  EXPECT_EQ(json.Json()["outcome"].toString(), "OutsideDevice");
  EXPECT_EQ(json.Json()["exitCode"].toInt(), 18);
  EXPECT_EQ(json.Json()["result"].toString(), "Ok");

  // Without a device named, the default is no promise: the file is only shown.
  EXPECT_EQ(RunCli({"info", PathOf(file)}).exitCode, 0);
}

TEST(InfoCommandTest, SectionNamesReachTheTerminalEscaped) {
  // ESC, and the CSI of the 8-bit controls as a lone byte.
  const TempFile file(CoffWriter()
                          .Add("a\x1b[2J\x9b"
                               "1m",
                               0x3F4000, {1})
                          .Build());
  const CliRun run = RunCli({"info", PathOf(file)});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("a\\x1b[2J\\x9b1m "), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(run.out.find('\x9b'), std::string::npos);
}

TEST(InfoCommandTest, ASectionCutShortByTheEndOfTheFileIsWarnedOf) {
  // The header promises 40 words; the file ends a few words after the four written.
  const CoffWriter writer = CoffWriter().Add(
      {.name = ".text", .address = 0x3F4000, .words = {1, 2, 3, 4}, .wordCount = 40});
  const CoffWriter::Layout layout = writer.GetLayout();
  const size_t wordsInFile = (layout.size - layout.rawDataAt[0]) / 2;
  const TempFile file(writer.Build());
  const CliRun run = RunCli({"info", PathOf(file)});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "warning: Section .text runs past the end of the file: " +
                         std::to_string(40 - wordsInFile) +
                         " of 40 words are missing and stay 0xFFFF\n");
  EXPECT_NE(run.out.find(".text "), std::string::npos);  // read as before, erased words and all
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
  for (const char* text : {"--device", "--json", "TargetMismatch", "Truncated", "64"}) {
    EXPECT_NE(info.out.find(text), std::string::npos) << text;
  }
}

}  // namespace
