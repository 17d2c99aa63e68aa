// Several emulated PODs as one driver: one enumeration, each POD opened by its
// serial number or description, each port closed without touching the others.
#include <gtest/gtest.h>

#include "emulator/EmulatorRack.h"
#include "tests/emulator/WireHarness.h"

namespace {

class RackTest : public ::testing::Test {
 protected:
  static std::vector<EmulatorConfig> TwoPods() {
    std::vector<EmulatorConfig> pods(2);
    pods[1].devices = {"FT232R USB UART", "Brontaflex POD"};
    pods[1].serialNumbers = {"A900XYZ", "BFX00002"};
    pods[1].podIndex = 1;
    return pods;
  }

  FakeClock clock_;
  EmulatorRack rack_{clock_, TwoPods()};
};

TEST_F(RackTest, ListsEveryPodsDevicesAsOneEnumeration) {
  std::vector<std::string> listed;
  for (const PortDetails& port : rack_.ListPorts()) {
    listed.push_back(port.port + " " + port.description + " " + port.serialNumber);
  }
  EXPECT_EQ(listed,
            (std::vector<std::string>{"#0 Brontaflex POD BFX00001", "#1 FT232R USB UART A900XYZ",
                                      "#2 Brontaflex POD BFX00002"}));
  rack_.Pod(0).Unplug();
  ASSERT_EQ(rack_.ListPorts().size(), 2u);
  EXPECT_EQ(rack_.ListPorts()[0].port, "#0");
  EXPECT_EQ(rack_.ListPorts()[0].serialNumber, "A900XYZ");
}

TEST_F(RackTest, OpensThePodTheKeyNamesAndClosesOnlyIt) {
  std::unique_ptr<Port> second;
  ASSERT_EQ(rack_.Open({PortKey::By::SerialNumber, "BFX00002"}, second), kPortOk);
  EXPECT_TRUE(rack_.Pod(1).IsOpen());
  EXPECT_FALSE(rack_.Pod(0).IsOpen());
  std::unique_ptr<Port> first;
  ASSERT_EQ(rack_.Open(kPodKey, first), kPortOk);
  EXPECT_TRUE(rack_.Pod(0).IsOpen());

  // Each port carries its own POD's traffic.
  ASSERT_EQ(first->Configure(kPodLine), kPortOk);
  std::string frame = Frame('I');
  uint32_t written = 0, returned = 0;
  ASSERT_EQ(first->Write(frame.data(), 3, written), kPortOk);
  char reply = 0;
  ASSERT_EQ(first->Read(&reply, 1, returned), kPortOk);
  EXPECT_EQ(std::string(&reply, returned), "!");
  EXPECT_EQ(rack_.Pod(0).Transcript().size(), 1u);
  EXPECT_TRUE(rack_.Pod(1).Transcript().empty());

  first.reset();
  EXPECT_FALSE(rack_.Pod(0).IsOpen());
  EXPECT_TRUE(rack_.Pod(1).IsOpen());
  // An open into a port still held closes that one first.
  ASSERT_EQ(rack_.Open({PortKey::By::SerialNumber, "BFX00002"}, second), kPortOk);
  EXPECT_TRUE(rack_.Pod(1).IsOpen());
}

// As with one bridge, the first device that matches is the one tried: a busy
// one fails the open even where a later POD would match too.
TEST_F(RackTest, TheFirstMatchingDeviceDecidesTheOpen) {
  std::unique_ptr<Port> first;
  ASSERT_EQ(rack_.Open(kPodKey, first), kPortOk);
  std::unique_ptr<Port> port;
  EXPECT_EQ(rack_.Open(kPodKey, port), kPortNotOpened);
  EXPECT_EQ(rack_.Open({PortKey::By::Description, "FT232R USB UART"}, port), kPortNotOpened);
  EXPECT_EQ(rack_.Open({PortKey::By::SerialNumber, "BFX00003"}, port), kPortNotFound);
  EXPECT_EQ(port, nullptr);
  EXPECT_FALSE(rack_.Pod(1).IsOpen());
}

}  // namespace
