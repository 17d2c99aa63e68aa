// Runs the reader with the N-th allocation failing, for every N up to the
// first run that needs no failure: each must end cleanly as OutOfMemory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "image/CoffReader.h"
#include "image/ProgramImage.h"
#include "tests/support/CoffWriter.h"

namespace {
// Allocations left before the next one fails; negative when none is to fail.
long allocationsBeforeFailure = -1;
}  // namespace

void* operator new(std::size_t size) {
  if (allocationsBeforeFailure == 0) {
    allocationsBeforeFailure = -1;
    throw std::bad_alloc();
  }
  if (allocationsBeforeFailure > 0) {
    --allocationsBeforeFailure;
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) {
    return memory;
  }
  throw std::bad_alloc();
}
// The standard library's temporary buffers (stable_sort) use the nothrow form;
// it must come from the same malloc as the form above, as it is freed below.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
// GCC cannot tell that these replace the operators whose memory comes from
// malloc above, and takes free() here for a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}
#pragma GCC diagnostic pop

namespace {

TEST(OutOfMemoryTest, NewSectionHandsBackTheFailureText) {
  ProgramImage image;
  allocationsBeforeFailure = 0;
  const auto section = image.NewSection();
  allocationsBeforeFailure = -1;
  EXPECT_EQ(section, nullptr);
  EXPECT_FALSE(image.allocationError.empty());
}

TEST(OutOfMemoryTest, EveryFailingAllocationEndsTheReadCleanly) {
  const TempFile file(CoffWriter()
                          .Add(".text", 0x3F4000, {1, 2, 3})
                          .Add("a_long_section_name", 0x8000, {4})
                          .Add(".data", 0x8100, {5})
                          .Build());
  ProgramImage image;
  long failures = 0;
  for (long n = 0;; ++n) {
    allocationsBeforeFailure = n;
    const ProgramReadResult result = ReadCoffFile(file.path(), kF2808, image);
    const bool failed = allocationsBeforeFailure == -1;
    allocationsBeforeFailure = -1;
    if (!failed) {
      EXPECT_EQ(result, ProgramReadResult::Ok);
      EXPECT_EQ(image.sectionCount(), 3);
      EXPECT_TRUE(image.allocationError.empty());
      break;
    }
    SCOPED_TRACE("allocation " + std::to_string(n));
    ++failures;
    ASSERT_EQ(result, ProgramReadResult::OutOfMemory);
    EXPECT_FALSE(image.allocationError.empty());
    EXPECT_EQ(image.sectionCount(), 0);
    EXPECT_TRUE(image.sections.empty());
  }
  // Opening the file, the header table, the three sections and a long name.
  EXPECT_GE(failures, 5);
}

}  // namespace
