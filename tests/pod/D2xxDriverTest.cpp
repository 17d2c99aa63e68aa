#include "pod/D2xxDriver.h"

#include <gtest/gtest.h>

#include "pod/PodLink.h"
#include "tests/support/FakeClock.h"

namespace {

TEST(D2xxDriverTest, MissingLibraryOrFunctionMeansNoDriver) {
  // The C maths library loads but exports none of the D2XX functions.
  for (const char* file : {"libftd2xx-not-installed.so", "libm.so.6"}) {
    SCOPED_TRACE(file);
    D2xxDriver driver(file);
    FakeClock clock;
    PodLink link(driver, clock);
    EXPECT_FALSE(link.LoadDriver());
    EXPECT_FALSE(link.Find());
    EXPECT_EQ(link.Open(), OpenStatus::PortFailed);
    uint32_t count = 7;
    EXPECT_NE(driver.ListDeviceCount(count), kFtOk);
    EXPECT_EQ(count, 0u);
  }
}

}  // namespace
