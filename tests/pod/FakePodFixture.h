// A PodLink over the scriptable fake driver, opened against a POD that answers
// the ping, with the set-up traffic cleared so tests see only their own.
#pragma once

#include <gtest/gtest.h>

#include "pod/PodCommands.h"
#include "pod/PodLink.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePortDriver.h"

class FakePodFixture : public ::testing::Test {
 protected:
  void OpenLink() {
    fake.AnswerEveryWrite("!");
    ASSERT_TRUE(link.LoadDriver());
    ASSERT_TRUE(link.Find());
    ASSERT_EQ(PodCommands::OpenPod(link), OpenStatus::Ok);
    fake.onWrite = nullptr;
    fake.writes.clear();
    fake.calls.clear();
    fake.readCalls = 0;
  }

  uint32_t ElapsedSince(uint32_t start) { return clock.NowMs() - start; }

  FakeClock clock;
  FakePortDriver fake{clock};
  PodLink link{fake, clock};
};
