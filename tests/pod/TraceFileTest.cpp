// The trace file is made new, for its owner, and never through a planted name.
#include "pod/TraceFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/ScratchDir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::string Contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(TraceFileTest, AnExistingFileIsReplacedOnlyWhenAsked) {
  const ScratchDir dir;
  const std::filesystem::path path = dir.path() / "trace";
  std::string error;
  EXPECT_TRUE(OpenTraceFile(path, ExistingTrace::Refuse, error)) << error;

  std::ofstream(path) << "keep me";
  EXPECT_FALSE(OpenTraceFile(path, ExistingTrace::Refuse, error));
  EXPECT_EQ(error, "The trace file " + path.string() + " exists already");
  EXPECT_EQ(Contents(path), "keep me");

  {
    const auto trace = OpenTraceFile(path, ExistingTrace::Replace, error);
    ASSERT_TRUE(trace) << error;
    *trace << "new";
  }
  EXPECT_EQ(Contents(path), "new");
}

#ifndef _WIN32
TEST(TraceFileTest, IsMadeForItsOwnerAlone) {
  const ScratchDir dir;
  const std::filesystem::path path = dir.path() / "trace";
  std::string error;
  ASSERT_TRUE(OpenTraceFile(path, ExistingTrace::Refuse, error)) << error;
  struct stat status {};
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST(TraceFileTest, NeverWritesThroughALinkOrIntoAFifo) {
  const ScratchDir dir;
  const std::filesystem::path target = dir.path() / "precious";
  std::ofstream(target) << "precious";
  const std::filesystem::path link = dir.path() / "link";
  std::filesystem::create_symlink(target, link);
  const std::filesystem::path fifo = dir.path() / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const ExistingTrace existing : {ExistingTrace::Refuse, ExistingTrace::Replace}) {
    for (const auto& path : {link, fifo}) {
      SCOPED_TRACE(path.filename().string() +
                   (existing == ExistingTrace::Replace ? ", replace" : ""));
      std::string error;
      // A FIFO nobody reads would block an open for writing until someone does.
      EXPECT_FALSE(OpenTraceFile(path, existing, error));
      EXPECT_NE(error.find(path.string()), std::string::npos) << error;
    }
  }
  EXPECT_EQ(Contents(target), "precious");
}
#endif

}  // namespace
