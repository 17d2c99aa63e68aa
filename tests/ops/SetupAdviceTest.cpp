#include "ops/SetupAdvice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/ScratchDir.h"

namespace {

using testing::HasSubstr;

#ifndef _WIN32
TEST(SetupAdviceTest, FindsTheRuleWhereUdevReadsIt) {
  ScratchDir root;
  EXPECT_TRUE(InstalledRules(root.path().string()).empty());
  for (const char* folder : {"usr/lib/udev/rules.d", "etc/udev/rules.d"}) {
    std::filesystem::create_directories(root.path() / folder);
    std::ofstream(root.path() / folder / kRuleFileName) << "# rule\n";
  }
  EXPECT_EQ(InstalledRules(root.path().string()),
            (std::vector<std::string>{"/etc/udev/rules.d/60-brontaflex-pod.rules",
                                      "/usr/lib/udev/rules.d/60-brontaflex-pod.rules"}));
}

// The hint names what the package installs, the node's own group and how to
// make udev apply the rule; once the rule is in place, only the last.
TEST(SetupAdviceTest, PermissionFixNamesTheRuleTheGroupAndTheReload) {
  const std::string missing = PermissionFix("uucp", {});
  EXPECT_THAT(missing, HasSubstr("/usr/lib/udev/rules.d/60-brontaflex-pod.rules"));
  EXPECT_THAT(missing, HasSubstr("sudo usermod -aG uucp $USER"));
  EXPECT_THAT(missing, HasSubstr(std::string(kReloadRules)));
  const std::string installed = PermissionFix("dialout", {"/etc/udev/rules.d/x.rules"});
  EXPECT_THAT(installed, HasSubstr("the udev rule /etc/udev/rules.d/x.rules gives the POD to the "
                                   "group plugdev"));
  EXPECT_THAT(installed,
              HasSubstr("has not been applied to this POD: " + std::string(kReloadRules)));
  EXPECT_THAT(installed, HasSubstr("sudo usermod -aG dialout $USER"));
  EXPECT_THAT(PermissionFix("", {}), HasSubstr("sudo usermod -aG plugdev $USER"));
}

// A service account, an SSH login or a CI runner is not the user at the seat
// that uaccess serves: the USB device must also go to a group; and the
// latency is written when the port appears, not at every change event.
TEST(SetupAdviceTest, TheRuleGivesTheUsbDeviceToAGroupAndSetsTheLatencyOnAdd) {
  std::ifstream rules(BFX_UDEV_RULE);
  ASSERT_TRUE(rules) << BFX_UDEV_RULE;
  int usbDevices = 0;
  int latencyWrites = 0;
  for (std::string line; std::getline(rules, line);) {
    if (line.starts_with("#") || line.empty()) {
      continue;
    }
    if (line.find("ENV{DEVTYPE}==\"usb_device\"") != std::string::npos) {
      ++usbDevices;
      EXPECT_THAT(line, HasSubstr("GROUP=\"plugdev\", MODE=\"0660\""));
      EXPECT_THAT(line, HasSubstr("TAG+=\"uaccess\""));
    }
    if (line.find("latency_timer") != std::string::npos) {
      ++latencyWrites;
      EXPECT_TRUE(line.starts_with("ACTION==\"add\"")) << line;
    }
  }
  EXPECT_EQ(usbDevices, 1);
  EXPECT_EQ(latencyWrites, 1);
}
#endif

}  // namespace
