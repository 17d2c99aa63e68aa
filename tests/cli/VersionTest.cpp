#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "resources/Version.h"
#include "tests/cli/CliRun.h"

namespace {

TEST(VersionTest, BothSpellingsPrintTheVersionAndTheCommitBuiltFrom) {
  // A checkout must name its commit; a source tree without git must not.
  const bool fromCheckout = std::filesystem::exists(BFX_SOURCE_DIR "/.git");
  const std::regex line(R"(brontaflex-cli ([0-9.]+)( \(git ([0-9a-f]{12}(-dirty)?)\))?\n)");
  for (const char* spelling : {"--version", "-V"}) {
    SCOPED_TRACE(spelling);
    const CliRun run = RunCli({spelling});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(run.out, parts, line)) << run.out;
    EXPECT_EQ(parts[1], BRONTAFLEX_VERSION);
    EXPECT_EQ(parts[3].matched, fromCheckout) << run.out;
  }
}

TEST(VersionTest, HelpShowsHowToAskForTheVersion) {
  const CliRun run = RunCli({"--help"});
  EXPECT_NE(run.out.find("brontaflex-cli --version"), std::string::npos) << run.out;
}

}  // namespace
