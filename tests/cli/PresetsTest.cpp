// Presets: options kept in an INI file, the one --config names or the user's
// own, under what the command line gives.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <filesystem>
#include <fstream>

#include "tests/cli/CliRun.h"

namespace {

using testing::HasSubstr;

// The user's own presets live in a folder of the test's, empty unless a case
// puts a file there.
class PresetsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home_.isValid());
    qputenv("XDG_CONFIG_HOME", home_.filePath("config").toLocal8Bit());
    qputenv("BRONTAFLEX_DRIVER", "emulator");
    qputenv("BRONTAFLEX_EMULATOR_PODS", "2");
    qputenv("BRONTAFLEX_EMULATOR_STATE", home_.filePath("pod").toLocal8Bit());
  }
  void TearDown() override {
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("BRONTAFLEX_DRIVER");
    qunsetenv("BRONTAFLEX_EMULATOR_PODS");
    qunsetenv("BRONTAFLEX_EMULATOR_STATE");
  }

  QTemporaryDir home_;
};

TEST_F(PresetsTest, OptionsComeFromTheFileUnderTheCommandLine) {
  const QString sample = QStringLiteral(BFX_SAMPLE_PATH);
  const QString named = home_.filePath("station.ini");
  const QString own = home_.filePath("config/brontaflex/cli.ini");
  const struct {
    const char* name;
    const char* text;  // null: no file
    QString path;      // where the file goes
    QStringList args;
    int exitCode;
    const char* says;  // in what the program prints
  } cases[] = {
      {"an option from the file",
       "device = F2809\n",
       named,
       {"info", sample, "--config", named},
       0,
       "Device: F2809\n"},
      {"the command line overrides it",
       "device = F2809\n",
       named,
       {"info", sample, "--config", named, "--device", "F2808"},
       0,
       "Device: F2808\n"},
      {"a command's own section overrides the rest",
       "device = F2801\n[pod-write]\ndevice = F2806\n[info]\ndevice = F2809\n",
       named,
       {"info", sample, "--config", named},
       0,
       "Device: F2809\n"},
      {"another command's option is passed over",
       "; the station\nname = \"line 3\"\n",
       named,
       {"info", sample, "--config", named},
       0,
       "Device: F2808\n"},
      {"a flag",
       "json = true\n",
       named,
       {"info", sample, "--config", named},
       0,
       "\"format\": \"COFF\""},
      {"the command line's flag excludes its opposite",
       "quiet = true\n",
       named,
       {"pod-info", "--config", named, "--pod", "BFX00001", "-v"},
       0,
       "backend: emulator"},
      {"several values for an option given more than once",
       "pod = BFX00001 BFX00002\n",
       named,
       {"pod-info", "--config", named},
       0,
       "BFX00002  0 Done"},
      {"an unknown option",
       "device = F2809\n\n  devcie = F2808\n",
       named,
       {"info", sample, "--config", named},
       64,
       "station.ini:3: unknown option devcie\n"},
      {"an option the section's command does not take",
       "[pod-info]\nname = x\n",
       named,
       {"info", sample, "--config", named},
       64,
       "station.ini:2: unknown option name for pod-info\n"},
      {"a flag set to something else",
       "json = yes\n",
       named,
       {"info", sample, "--config", named},
       64,
       "station.ini:1: json takes true or false"},
      {"a path with a space, unquoted",
       "trace = my trace\n",
       named,
       {"pod-info", "--config", named},
       64,
       "station.ini:1: one value for trace (quote a value with spaces)"},
      {"a missing file given with --config",
       nullptr,
       named,
       {"info", sample, "--config", home_.filePath("missing.ini")},
       64,
       "cannot read the presets file"},
      {"a folder given with --config",
       nullptr,
       named,
       {"info", sample, "--config", home_.path()},
       64,
       "is not a regular file"},
      {"no file of the user's own", nullptr, own, {"info", sample}, 0, "Device: F2808\n"},
      {"the user's own file", "device = F2809\n", own, {"info", sample}, 0, "Device: F2809\n"},
      {"--config instead of the user's own",
       "device = F2806\n",
       own,
       {"info", sample, "--config", named},
       64,
       "cannot read the presets file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(named);
    QFile::remove(own);
    if (c.text != nullptr) {
      std::filesystem::create_directories(
          std::filesystem::path(c.path.toStdString()).parent_path());
      std::ofstream(c.path.toStdString()) << c.text;
    }
    const CliRun run = RunCli(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_THAT(run.out + run.err, HasSubstr(c.says));
  }
}

}  // namespace
