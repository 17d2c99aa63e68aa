// The number each target gets: where it may go in the program, the program
// with it written in, and the counter file that never gives a number twice,
// whatever two processes at once or a kill at any moment do to it.
#include "ops/SerialNumbers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "ops/LoadedProgram.h"
#include "tests/ops/Programs.h"
#include "tests/ops/RecordingUi.h"

namespace {

using testing::HasSubstr;

// A number of `width` words at `address`, from 1 on, for this run alone.
SerialNumbering At(uint32_t address, uint32_t width) {
  SerialNumbering numbering;
  numbering.address = address;
  numbering.width = width;
  return numbering;
}

// FlashProgram's image for the F2808: .text at 0x3E8000 (100 words), .econst
// at 0x3F0000 (30), codestart at 0x3F7FF6 (2) and ramfuncs at 0x8000 in RAM.
class SerialPlaceTest : public testing::Test {
 protected:
  void SetUp() override {
    RecordingUi ui;
    program_ = LoadProgram(file_.path().string(), kDefaultMcuType, ui, false);
    ASSERT_EQ(program_.outcome, OperationOutcome::Done);
  }

  TempFile file_{FlashProgram().Build()};
  LoadedProgram program_;
};

TEST_F(SerialPlaceTest, OnlyWordsOfOneFlashSectionTakeTheNumber) {
  const struct {
    uint32_t address;
    uint32_t width;
    const char* problem;  // empty: accepted
  } cases[] = {
      {0x3E8000, 1, ""},
      {0x3E8062, 2, ""},  // the last two words of .text
      {0x3F001D, 1, ""},
      {0x3E8063, 2, "with 2 words runs past the end of section .text at 0x3E8063"},
      {0x3E8064, 1, "lies in no section of the file"},  // the gap after .text
      {0x3F4000, 1, "lies in no section of the file"},
      {0x300000, 1, "lies in no section of the file"},  // outside the flash
      {0x8004, 1, "lies in section ramfuncs, which is not written to flash"},
      {0x3F7FF7, 2, "overlaps the CSM password at 0x3F7FF8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    const std::string problem = SerialPlaceProblem(*program_.image, At(c.address, c.width));
    if (*c.problem == '\0') {
      EXPECT_EQ(problem, "");
    } else {
      EXPECT_THAT(problem, HasSubstr(c.problem));
    }
  }
}

TEST_F(SerialPlaceTest, NumberGoesInLowWordFirstAndLeavesTheProgramAlone) {
  const ProgramImage& image = *program_.image;
  const auto numbered = WithSerialNumber(image, At(0x3E8010, 2), 0x12345678);
  ASSERT_EQ(numbered->sections.size(), image.sections.size());
  for (size_t s = 0; s < image.sections.size(); ++s) {
    const ImageSection& before = *image.sections[s];
    const ImageSection& after = *numbered->sections[s];
    for (uint32_t w = 0; w < before.wordCount; ++w) {
      const uint32_t address = before.address + w;
      const uint16_t expected = address == 0x3E8010   ? 0x5678
                                : address == 0x3E8011 ? 0x1234
                                                      : before.data[w];
      ASSERT_EQ(after.data[w], expected) << std::hex << address;
    }
  }
  EXPECT_EQ(image.sections[0]->data[0x10], Pattern(100, 0)[0x10]);
  EXPECT_EQ(numbered->flashBytes(), image.flashBytes());
  EXPECT_EQ(numbered->flashSectorMask(), image.flashSectorMask());
}

class SerialCounterTest : public testing::Test {
 protected:
  std::string Counter() const { return (dir_.path() / "counter").string(); }
  std::string CounterText() const {
    std::ifstream file(Counter());
    return std::string(std::istreambuf_iterator<char>(file), {});
  }
  void WriteCounter(const std::string& text) const { std::ofstream(Counter()) << text; }
  SerialNumbering Numbering(uint64_t start, uint64_t step = 1) const {
    SerialNumbering numbering = At(0x3E8000, 1);
    numbering.start = start;
    numbering.step = step;
    numbering.counterPath = Counter();
    return numbering;
  }

  ScratchDir dir_;
};

TEST_F(SerialCounterTest, WithoutFileNumbersStartAtStartForThisRunAlone) {
  std::string error;
  SerialNumbering numbering = Numbering(500, 3);
  numbering.counterPath.clear();
  EXPECT_EQ(TakeSerialNumbers(numbering, 4, error), (std::vector<uint64_t>{500, 503, 506, 509}));
  EXPECT_EQ(TakeSerialNumbers(numbering, 1, error), (std::vector<uint64_t>{500}));
  EXPECT_EQ(error, "");
}

TEST_F(SerialCounterTest, FileHoldsTheNextNumberAndTheLargerStartWins) {
  std::string error;
  // A missing file starts at the start and is left holding the number after.
  EXPECT_EQ(TakeSerialNumbers(Numbering(100, 2), 3, error), (std::vector<uint64_t>{100, 102, 104}));
  EXPECT_EQ(CounterText(), "106\n");
  EXPECT_EQ(TakeSerialNumbers(Numbering(1), 1, error), (std::vector<uint64_t>{106}));
  EXPECT_EQ(TakeSerialNumbers(Numbering(2000), 1, error), (std::vector<uint64_t>{2000}));
  EXPECT_EQ(CounterText(), "2001\n");
  EXPECT_EQ(error, "");
}

TEST_F(SerialCounterTest, RefusesWhatWouldRepeatOrOverflowAndKeepsTheFile) {
  const struct {
    const char* stored;
    uint64_t start;
    uint32_t width;
    size_t count;
    const char* error;
  } cases[] = {
      {"", 1, 1, 1, "holds no number"},
      {"12x\n", 1, 1, 1, "holds no number"},
      {"-5\n", 1, 1, 1, "holds no number"},
      {"65535\n", 1, 1, 2, "the number 65536 does not fit in 1 word (at most 65535)"},
      {"70000\n", 1, 1, 1, "the number 70000 does not fit in 1 word"},
      {"4294967296\n", 1, 2, 1, "does not fit in 2 words (at most 4294967295)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    WriteCounter(c.stored);
    SerialNumbering numbering = Numbering(c.start);
    numbering.width = c.width;
    std::string error;
    EXPECT_TRUE(TakeSerialNumbers(numbering, c.count, error).empty());
    EXPECT_THAT(error, HasSubstr(c.error));
    EXPECT_EQ(CounterText(), c.stored);
  }
}

#ifndef _WIN32
// Numbers a child process took, each sent whole through a pipe once taken.
std::vector<uint64_t> ReadNumbers(int fd) {
  std::vector<uint64_t> numbers;
  uint64_t number = 0;
  while (read(fd, &number, sizeof number) == sizeof number) {
    numbers.push_back(number);
  }
  return numbers;
}

// A child that takes `rounds` numbers one at a time (forever when 0) and
// sends each down `fd`.
pid_t TakeInChild(const SerialNumbering& numbering, int rounds, int fd) {
  const pid_t child = fork();
  if (child == 0) {
    for (int round = 0; rounds == 0 || round < rounds; ++round) {
      std::string error;
      const std::vector<uint64_t> numbers = TakeSerialNumbers(numbering, 1, error);
      if (numbers.empty() || write(fd, numbers.data(), sizeof numbers[0]) != sizeof numbers[0]) {
        _exit(1);
      }
    }
    _exit(0);
  }
  return child;
}

TEST_F(SerialCounterTest, TwoProcessesAtOnceNeverGetOneNumber) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t first = TakeInChild(Numbering(1), 150, pipeFds[1]);
  const pid_t second = TakeInChild(Numbering(1), 150, pipeFds[1]);
  close(pipeFds[1]);
  const std::vector<uint64_t> numbers = ReadNumbers(pipeFds[0]);
  close(pipeFds[0]);
  for (const pid_t child : {first, second}) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  ASSERT_EQ(numbers.size(), 300u);
  EXPECT_EQ(std::set<uint64_t>(numbers.begin(), numbers.end()).size(), 300u);
  EXPECT_EQ(CounterText(), "301\n");
}

TEST_F(SerialCounterTest, KillAtAnyMomentNeverLetsANumberBeGivenTwice) {
  std::mt19937 random(25);
  std::vector<uint64_t> given;
  for (int kill = 0; kill < 60; ++kill) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = TakeInChild(Numbering(1), 0, pipeFds[1]);
    close(pipeFds[1]);
    // Each take syncs twice, so a kill a few milliseconds in lands at a
    // different step of one on each round.
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 4000));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    for (const uint64_t number : ReadNumbers(pipeFds[0])) {
      given.push_back(number);
    }
    close(pipeFds[0]);
    // The file is always whole: the next process goes on past every number given.
    std::string error;
    const std::vector<uint64_t> next = TakeSerialNumbers(Numbering(1), 1, error);
    ASSERT_EQ(next.size(), 1u) << error;
    given.push_back(next.front());
  }
  EXPECT_EQ(std::set<uint64_t>(given.begin(), given.end()).size(), given.size());
  // Nothing a kill left beside the counter stays there.
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    ++files;
  }
  EXPECT_EQ(files, 2u);  // the counter and its lock
}
#endif

}  // namespace
