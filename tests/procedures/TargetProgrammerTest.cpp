#include <map>
#include <optional>

#include "image/McuCatalogue.h"
#include "tests/procedures/ProcedureTest.h"

namespace {

std::string Hex4(uint16_t value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (int shift = 12; shift >= 0; shift -= 4) {
    text.push_back(kHex[(value >> shift) & 0xF]);
  }
  return text;
}

const std::string kErasedKeyDigits(32, 'F');

// ---- Exact writes on the scripted driver ----

using TargetWireTest = FakeWireTest;

TEST_F(TargetWireTest, EraseAllFlashWriteOnF2808SendsTheWholeSequence) {
  std::vector<uint16_t> words = Pattern(100, 1);
  words[0] = 0x1234;
  Load(CoffWriter().Add(".text", 0x3F4000, words), kF2808);

  EXPECT_EQ(ProgramTarget(/*eraseAll=*/true, /*useCsm=*/false), TargetWriteResult::Finished);

  const std::vector<std::string> expected{"N4",
                                          "K0" + kErasedKeyDigits,
                                          "O00",
                                          "O010001",
                                          "O010002",
                                          "O010004",
                                          "O010008",
                                          "S*40",
                                          "O023F40000028",
                                          "S*40",
                                          "O023F40280028",
                                          "S*20",
                                          "O023F40500014",
                                          "R"};
  EXPECT_EQ(Writes(), expected);
  // Flash words travel with their bytes exchanged.
  EXPECT_EQ(fake.writes[7].substr(0, 7), "\x02S3412\x03");
  EXPECT_EQ(reporter.steps,
            (std::vector<ProcedureStep>{ProcedureStep::StartingSciBoot,
                                        ProcedureStep::DownloadingFlashAlgorithm,
                                        ProcedureStep::InitializingFlash,
                                        ProcedureStep::ErasingFlash, ProcedureStep::WritingFlash}));
  // The bar counts erased sectors, then programmed words.
  EXPECT_EQ(reporter.barRanges, (std::vector<int32_t>{4, 100}));
  EXPECT_EQ(reporter.barPos, 100);
}

// A stop asked half way sends nothing more to the target, not even the reset.
TEST_F(TargetWireTest, StopAskedHalfWayEndsAtTheNextChunk) {
  Load(CoffWriter().Add(".text", 0x3F4000, Pattern(100, 1)), kF2808);
  reporter.stopAtBarPos = 50;

  EXPECT_EQ(ProgramTarget(true, false), TargetWriteResult::ProgramFailed);

  EXPECT_EQ(Writes(), (std::vector<std::string>{"N4", "K0" + kErasedKeyDigits, "O00", "O010001",
                                                "O010002", "O010004", "O010008", "S*40",
                                                "O023F40000028", "S*40", "O023F40280028"}));
}

TEST_F(TargetWireTest, RamOnlyImageIsStreamedInBootBlocksAndEndedOnce) {
  const std::vector<uint16_t> small = Pattern(3, 7);
  const std::vector<uint16_t> large = Pattern(250, 9);
  Load(CoffWriter().Add("vectors", 0x9000, small).Add("ramfuncs", 0x8000, large), kF2808);
  ASSERT_FALSE(image.hasFlash());

  EXPECT_EQ(ProgramTarget(false, false), TargetWriteResult::Finished);

  // RAM words go as they are; each block's last word is a Y that closes the batch.
  const std::vector<std::string> expected{"N4",
                                          "U0003",
                                          "U0000",
                                          "U9000",
                                          "S*2 Y" + Hex4(small[2]),
                                          "U00C8",
                                          "U0000",
                                          "U8000",
                                          "S*50",
                                          "S*50",
                                          "S*50",
                                          "S*49 Y" + Hex4(large[199]),
                                          "U0032",
                                          "U0000",
                                          "U80C8",
                                          "S*49 Y" + Hex4(large[249]),
                                          "X0000"};
  EXPECT_EQ(Writes(), expected);
  EXPECT_EQ(fake.writes[4].substr(0, 7), "\x02S" + Hex4(small[0]) + "\x03");
  EXPECT_EQ(reporter.steps, (std::vector<ProcedureStep>{ProcedureStep::StartingSciBoot,
                                                        ProcedureStep::DownloadingProgram}));
  EXPECT_EQ(reporter.barRanges, (std::vector<int32_t>{253}));
  EXPECT_EQ(reporter.barPos, 253);
}

TEST_F(TargetWireTest, IntelligentEraseSendsOnlyTheTouchedSectors) {
  // Sector 0 and sector 2 of an F2808; sector 1 in between is left alone.
  Load(CoffWriter().Add(".text", 0x3F4000, Pattern(4, 1)).Add(".econst", 0x3EC000, Pattern(4, 2)),
       kF2808);

  EXPECT_EQ(ProgramTarget(false, false), TargetWriteResult::Finished);

  const std::vector<std::string> writes = Writes();
  ASSERT_GE(writes.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(writes.begin() + 3, writes.begin() + 5),
            (std::vector<std::string>{"O010001", "O010004"}));
  EXPECT_EQ(writes[5], "S*4");
  EXPECT_EQ(reporter.barRanges.front(), 2);
}

// A POD that refuses the first `refusals` preparation commands.
class PreparationWireTest : public FakeWireTest {
 protected:
  std::vector<std::string> RunWithRefusals(int refusals, TargetWriteResult result) {
    Load(CoffWriter().Add(".text", 0x3F4000, Pattern(2, 1)), kF2808);
    const auto answer = fake.onWrite;
    // Purges seen when each preparation command arrives.
    std::vector<long> purgesBefore;
    fake.onWrite = [&, answer, refused = 0](std::string_view bytes) mutable {
      if (bytes == "\x02O00\x03") {
        purgesBefore.push_back(std::count(fake.calls.begin(), fake.calls.end(), "Purge 3"));
        if (refused < refusals) {
          ++refused;
          fake.QueueReply("E");
          return;
        }
      }
      answer(bytes);
    };
    EXPECT_EQ(ProgramTarget(false, false), result);
    // The repeat comes after a purge has dropped what the refusal left behind.
    EXPECT_EQ(purgesBefore, (std::vector<long>{0, 1}));
    return Writes();
  }
};

TEST_F(PreparationWireTest, OneRefusalIsMadeUpByTheRepeat) {
  const std::vector<std::string> writes = RunWithRefusals(1, TargetWriteResult::Finished);
  ASSERT_GE(writes.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(writes.begin() + 2, writes.begin() + 5),
            (std::vector<std::string>{"O00", "O00", "O010001"}));
}

TEST_F(PreparationWireTest, TwoRefusalsEndTheRunThere) {
  const std::vector<std::string> writes = RunWithRefusals(3, TargetWriteResult::FlashInitFailed);
  EXPECT_EQ(writes, (std::vector<std::string>{"N4", "K0" + kErasedKeyDigits, "O00", "O00"}));
}

TEST_F(TargetWireTest, SectionsWithoutWordsNeverReachTheWire) {
  struct Case {
    const char* name;
    uint32_t filledAt;
    uint32_t emptyAt;
    std::vector<std::string> tail;  // the last writes of the run
  };
  const std::vector<uint16_t> words = Pattern(2, 3);
  const Case cases[] = {
      {"flash", 0x3F4000, 0x3F5000, {"S*2", "O023F40000002", "R"}},
      // The empty section is the last RAM section: the stream still ends.
      {"ram", 0x8000, 0x9000, {"U0002", "U0000", "U8000", "S*1 Y" + Hex4(words[1]), "X0000"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    image.Clear();
    fake.writes.clear();
    AddSection(c.filledAt, words);
    AddSection(c.emptyAt, {});

    EXPECT_EQ(ProgramTarget(false, false), TargetWriteResult::Finished);

    const std::vector<std::string> writes = Writes();
    ASSERT_GE(writes.size(), c.tail.size());
    EXPECT_EQ(
        std::vector<std::string>(writes.end() - static_cast<long>(c.tail.size()), writes.end()),
        c.tail);
  }
}

// ---- End to end on the emulated POD and target ----

using TargetEmulatorTest = EmulatorTest;

// The F2808 program used end to end: RAM code (not sent in flash mode), code in
// sector 0, constants across sectors 3 and 2, the entry branch at the top.
CoffWriter F2808Program() {
  return CoffWriter()
      .Add("ramfuncs", 0x8000, Pattern(10, 11))
      .Add(".text", 0x3F4000, Pattern(300, 12))
      .Add(".econst", 0x3EBFF0, Pattern(57, 13), kCoffData)
      .Add("codestart", 0x3F7FF6, Pattern(2, 14));
}

TEST_F(TargetEmulatorTest, FlashHoldsExactlyTheProgramAfterATargetWrite) {
  struct Case {
    bool eraseAll;
    std::vector<std::string> erases;
  };
  const Case cases[] = {
      {false, {"O010001", "O010004", "O010008"}},
      {true, {"O010001", "O010002", "O010004", "O010008"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.eraseAll ? "erase all" : "intelligent");
    image.Clear();
    Load(F2808Program(), kF2808);
    Connect(kF2808);
    TargetBoard& target = driver->Target();
    const McuInfo& mcu = kF2808.info();
    // Old contents everywhere: whatever is neither erased nor written must keep
    // them. The password words stay erased, or the part would be secured.
    std::map<uint32_t, uint16_t> expected;
    for (uint32_t address = mcu.flashFirst; address <= mcu.flashLast; ++address) {
      const auto old = address < kCsmKeyAddress ? static_cast<uint16_t>(address * 7) : 0xFFFF;
      target.WriteWord(address, old);
      const uint16_t sector = FindSector(mcu, address)->bit;
      expected[address] = (EraseMask(c.eraseAll, kF2808, image) & sector) ? 0xFFFF : old;
    }
    target.WriteWord(0x8000, 0x5A5A);
    for (const auto& section : image.sections) {
      for (uint32_t i = 0; section->inFlash && i < section->wordCount; ++i) {
        expected[section->address + i] = section->data[i];
      }
    }

    ASSERT_EQ(ProgramTarget(c.eraseAll, false), TargetWriteResult::Finished);

    size_t wrong = 0;
    for (const auto& [address, word] : expected) {
      if (target.ReadWord(address) != word && ++wrong <= 5) {
        ADD_FAILURE() << std::hex << "flash word 0x" << address << " reads 0x"
                      << target.ReadWord(address) << ", expected 0x" << word;
      }
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(target.ReadWord(0x8000), 0x5A5A) << "RAM sections are not sent in flash mode";
    std::vector<std::string> erases;
    for (const std::string& frame : Frames()) {
      if (frame.starts_with("O01")) {
        erases.push_back(frame);
      }
    }
    EXPECT_EQ(erases, c.erases);
    EXPECT_EQ(Frames().back(), "R");
  }
}

// Erase only: the flash procedure up to its erase, then the reset that ends
// every flash write; the sectors asked for are erased and the others keep
// what they held.
TEST_F(TargetEmulatorTest, EraseOnlyErasesTheSectorsAskedForAndResets) {
  mcuType = kF2808;
  Connect(kF2808);
  TargetBoard& target = driver->Target();
  const McuInfo& mcu = kF2808.info();
  for (uint32_t address = mcu.flashFirst; address < kCsmKeyAddress; ++address) {
    target.WriteWord(address, static_cast<uint16_t>(address * 7));
  }
  constexpr uint16_t kSectorsAandC = 0x0005;
  TargetProgrammer programmer(Commands(), image, mcuType, reporter);

  ASSERT_EQ(programmer.EraseTarget(kSectorsAandC, false), TargetWriteResult::Finished);

  EXPECT_EQ(Frames(), (std::vector<std::string>{"N4", "K0" + kErasedKeyDigits, "O00", "O010001",
                                                "O010004", "R"}));
  for (uint32_t address = mcu.flashFirst; address < kCsmKeyAddress; address += 0x100) {
    const bool erased = (FindSector(mcu, address)->bit & kSectorsAandC) != 0;
    EXPECT_EQ(target.ReadWord(address), erased ? 0xFFFF : static_cast<uint16_t>(address * 7))
        << std::hex << address;
  }
  EXPECT_EQ(reporter.barRanges, (std::vector<int32_t>{2}));
}

TEST_F(TargetEmulatorTest, F2809KeepsItsUpperSectors) {
  Load(CoffWriter().Add(".text", 0x3E0000, Pattern(50, 4)), kF2809);
  Connect(kF2809);

  ASSERT_EQ(ProgramTarget(false, false), TargetWriteResult::Finished);

  const std::vector<std::string> frames = Frames();
  EXPECT_EQ(std::count(frames.begin(), frames.end(), "O010020"), 1);
  EXPECT_EQ(std::count_if(frames.begin(), frames.end(),
                          [](const std::string& f) { return f.starts_with("O01"); }),
            1);
  EXPECT_EQ(driver->Target().ReadWord(0x3E0000 + 49), Pattern(50, 4)[49]);
}

TEST_F(TargetEmulatorTest, RamOnlyImageLandsInRamWithOneEndOfStream) {
  const std::vector<uint16_t> first = Pattern(250, 21);
  const std::vector<uint16_t> second = Pattern(3, 22);
  Load(CoffWriter().Add("ramfuncs", 0x8000, first).Add("vectors", 0x9100, second), kF2808);
  Connect(kF2808);

  ASSERT_EQ(ProgramTarget(false, false), TargetWriteResult::Finished);

  for (size_t i = 0; i < first.size(); ++i) {
    ASSERT_EQ(driver->Target().ReadWord(0x8000 + static_cast<uint32_t>(i)), first[i]) << i;
  }
  for (size_t i = 0; i < second.size(); ++i) {
    ASSERT_EQ(driver->Target().ReadWord(0x9100 + static_cast<uint32_t>(i)), second[i]) << i;
  }
  const std::vector<std::string> frames = Frames();
  EXPECT_EQ(std::count(frames.begin(), frames.end(), "X0000"), 1);
  EXPECT_EQ(frames.back(), "X0000");
  EXPECT_EQ(std::count(frames.begin(), frames.end(), "R"), 0) << "no reset after a RAM download";
}

TEST_F(TargetEmulatorTest, SecuredTargetIsProgrammedOnlyWithItsKeys) {
  const CsmKeys secret{0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666, 0x7777, 0x8888};
  CsmKeys wrong = secret;
  wrong[5] = 0x6667;
  struct Case {
    const char* name;
    McuType mcu;
    uint32_t address;  // flash on the F2808, secure RAM on the F2801
    CsmKeys keys;
    TargetWriteResult result;
    char bootLetter;
  };
  const Case cases[] = {
      {"flash, right keys", kF2808, 0x3F4000, secret, TargetWriteResult::Finished, 'N'},
      {"flash, wrong keys", kF2808, 0x3F4000, wrong, TargetWriteResult::FlashAlgorithmFailed, 'N'},
      {"RAM, right keys", kF2801, 0x8000, secret, TargetWriteResult::Finished, 'M'},
      {"RAM, wrong keys", kF2801, 0x8000, wrong, TargetWriteResult::SciBootFailed, 'M'},
  };
  const std::vector<uint16_t> words = Pattern(20, 5);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    image.Clear();
    Load(CoffWriter().Add(".text", c.address, words), c.mcu);
    Connect(c.mcu);
    driver->Target().Secure(secret);
    const uint16_t before = driver->Target().ReadWord(c.address);
    keys = c.keys;

    EXPECT_EQ(ProgramTarget(false, true), c.result);

    EXPECT_EQ(RawFrames().front()[1], c.bootLetter);
    const bool finished = c.result == TargetWriteResult::Finished;
    EXPECT_EQ(driver->Target().ReadWord(c.address), finished ? words[0] : before);
  }
}

// Injects one fault at every frame of a clean run and checks the run ends with
// the result of the step that frame belongs to, having waited no longer than
// that step's time-out, and sending nothing after a refused command.
class TargetFaultTest : public EmulatorTest {
 protected:
  struct Expectation {
    TargetWriteResult result;
    uint32_t timeoutMs;
  };
  using Expect = std::function<Expectation(const std::string& frame, FaultKind kind)>;

  void RunFaultTable(const CoffWriter& program, const Expect& expect) {
    Load(program, kF2808);
    Connect(kF2808);
    ASSERT_EQ(ProgramTarget(false, false), TargetWriteResult::Finished);
    ForEachFrameFault(
        RawFrames(),
        [&] {
          Connect(kF2808);
          reporter = {};
        },
        [&](size_t k, const std::string& body, FaultKind kind) {
          const uint32_t start = clock.NowMs();

          const Expectation expected = expect(body, kind);
          EXPECT_EQ(ProgramTarget(false, false), expected.result);

          const uint32_t elapsed = clock.NowMs() - start;
          EXPECT_LE(elapsed, expected.timeoutMs + 500);
          if (expected.result != TargetWriteResult::Finished && body[0] != 'S' &&
              kind != FaultKind::Unplug) {
            EXPECT_EQ(RawFrames().size(), k + 1) << "a command was sent after the failure";
          }
        });
  }
};

TEST_F(TargetFaultTest, EveryFlashCommandFailsWithItsStepsResult) {
  // One erase, two chunks (40 and 10 words), reset.
  RunFaultTable(
      CoffWriter().Add(".text", 0x3F4000, Pattern(50, 6)),
      [](const std::string& frame, FaultKind kind) -> Expectation {
        const bool silent = kind == FaultKind::ShortReply;
        switch (frame[0]) {
          case 'N':
            return {TargetWriteResult::SciBootFailed, 3000};
          case 'K':
            return {TargetWriteResult::FlashAlgorithmFailed, 10000};
          case 'O':
            if (frame.starts_with("O00")) {
              // The repeat makes up for one lost preparation.
              return {kind == FaultKind::Unplug ? TargetWriteResult::FlashInitFailed
                                                : TargetWriteResult::Finished,
                      2 * 3000};
            }
            return frame.starts_with("O01") ? Expectation{TargetWriteResult::EraseFailed, 20000}
                                            : Expectation{TargetWriteResult::ProgramFailed, 5000};
          case 'S':
            // A data word has no reply to shorten.
            return {silent ? TargetWriteResult::Finished : TargetWriteResult::ProgramFailed, 5000};
          default:
            return {TargetWriteResult::ResetFailed, 1000};
        }
      });
}

TEST_F(TargetFaultTest, EveryBootStreamCommandFailsTheRamDownload) {
  RunFaultTable(CoffWriter().Add("ramfuncs", 0x8000, Pattern(3, 8)),
                [](const std::string& frame, FaultKind kind) -> Expectation {
                  switch (frame[0]) {
                    case 'N':
                      return {TargetWriteResult::SciBootFailed, 3000};
                    case 'S':
                      return {kind == FaultKind::ShortReply ? TargetWriteResult::Finished
                                                            : TargetWriteResult::RamDownloadFailed,
                              4000};
                    case 'Y':
                      return {TargetWriteResult::RamDownloadFailed, 4000};
                    default:
                      return {TargetWriteResult::RamDownloadFailed, 3000};
                  }
                });
}

TEST_F(TargetFaultTest, EachCommandWaitsItsOwnTimeOut) {
  // A POD that takes a little less than a command's time-out is still waited for.
  Load(CoffWriter().Add(".text", 0x3F4000, Pattern(2, 9)), kF2808);
  const std::map<std::string, uint32_t> slowest{{"N", 3000},    {"K", 10000},  {"O00", 3000},
                                                {"O01", 20000}, {"O02", 5000}, {"R", 1000}};
  for (const auto& [prefix, timeoutMs] : slowest) {
    SCOPED_TRACE(prefix);
    Connect(kF2808);
    const char letter = prefix[0];
    const uint32_t occurrence = prefix == "O01" ? 2 : prefix == "O02" ? 3 : 1;
    driver->Faults().Add(FaultTrigger::OnLetter(letter, occurrence),
                         Fault{FaultKind::Stall, timeoutMs - 100});
    EXPECT_EQ(ProgramTarget(false, false), TargetWriteResult::Finished);
  }
}

}  // namespace
