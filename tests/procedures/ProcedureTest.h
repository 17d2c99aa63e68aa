// Fixtures for the POD procedures: a program image read from a COFF file as the
// Load operation reads it, the device and keys the operations would hand over,
// a recording reporter, and an open link to either a scripted fake driver (for
// exact write-by-write transcripts) or the emulated POD and target.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/EmulatorDriver.h"
#include "image/ProgramImage.h"
#include "pod/CsmKeys.h"
#include "pod/PodCommands.h"
#include "pod/PodLink.h"
#include "pod/PodStore.h"
#include "pod/TargetProgrammer.h"
#include "tests/procedures/RecordingReporter.h"
#include "tests/support/CoffWriter.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePortDriver.h"

// `count` words whose two bytes differ, so a word sent with its bytes the wrong
// way round never passes for the right one.
std::vector<uint16_t> Pattern(size_t count, uint16_t seed);

// The frames in `bytes` without STX and ETX, runs of S frames condensed to
// "S*n": "O00", "S*40", "O023F40000028".
std::vector<std::string> Condense(std::string_view bytes);
// The same for a list of frames, each still with its STX and ETX.
std::vector<std::string> Condense(const std::vector<std::string>& frames);

class ProcedureTest : public ::testing::Test {
 protected:
  // The drivers live in the derived fixtures and go first: the link must go before them.
  void TearDown() override {
    commands.reset();
    link.reset();
  }

  // Reads the COFF file into the image for `mcu`, which also becomes the
  // selected device, as a successful Load does.
  void Load(const CoffWriter& coff, McuType mcu);
  // Appends a section by hand, for images no COFF file gives (empty sections).
  void AddSection(uint32_t address, const std::vector<uint16_t>& words);

  // The commands for the device and keys as they stand now, as an operation
  // builds them when it starts; they replace the previous run's.
  PodCommands& Commands();
  TargetWriteResult ProgramTarget(bool eraseAll, bool useCsm);
  // A store whose clock reads 14:05 on 20 December 2006.
  PodStore Store();

  FakeClock clock;
  McuType mcuType = kF2808;
  CsmKeys keys = kErasedCsmKeys;
  ProgramImage image;
  RecordingReporter reporter;
  std::unique_ptr<PodLink> link;
  std::unique_ptr<PodCommands> commands;
};

// The scripted fake driver answering like a POD that accepts everything: "!"
// to each write that ends with a frame expecting a reply, nothing otherwise.
class FakeWireTest : public ProcedureTest {
 protected:
  void SetUp() override;
  // Each write since the link was opened, condensed and joined by spaces.
  std::vector<std::string> Writes() const;

  FakePortDriver fake{clock};
};

// The emulated POD with the target board `targetMcu` behind it.
class EmulatorTest : public ProcedureTest {
 protected:
  void Connect(McuType targetMcu = kF2808);
  // Frames the POD received since the link was opened, condensed.
  std::vector<std::string> Frames() const;
  // The raw frames received since the link was opened, STX and ETX included.
  std::vector<std::string> RawFrames() const;
  // Number of the next frame for the emulator's fault plan.
  uint32_t NextFrameNumber() const;
  // For every frame of a clean run (`clean`, as RawFrames gave it) and every
  // kind of fault: `prepare` sets up a fresh run, the fault is planted at that
  // frame, and `check` runs and judges it, given the frame's index and body.
  using FaultCheck = std::function<void(size_t index, const std::string& body, FaultKind kind)>;
  void ForEachFrameFault(const std::vector<std::string>& clean,
                         const std::function<void()>& prepare, const FaultCheck& check);

  std::unique_ptr<EmulatorDriver> driver;
  size_t transcriptStart = 0;
};
