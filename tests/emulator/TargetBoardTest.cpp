// The target behind the POD, driven from the wire: sector erase, flash
// programming that can only clear bits, the RAM boot stream, and the CSM.
#include <gtest/gtest.h>

#include <numeric>

#include "tests/emulator/WireHarness.h"

namespace {

EmulatorConfig Board(McuType mcuType) {
  EmulatorConfig config;
  config.pod.targetMcuType = mcuType;
  return config;
}

uint16_t Swapped(uint16_t word) {
  return static_cast<uint16_t>(word << 8 | word >> 8);
}

// Streams `words` as the PC does (bytes exchanged) and commits them with O 02.
std::string Program(WireHarness& wire, uint32_t address, const std::vector<uint16_t>& words) {
  std::vector<uint16_t> swapped;
  for (const uint16_t word : words) {
    swapped.push_back(Swapped(word));
  }
  wire.StreamWords(swapped);
  return wire.Exchange(Frame('O', "02" + Hex(address, 6) + Hex(words.size(), 4)));
}

TEST(TargetBoardTest, EraseSetsExactlyTheSectorsOfTheMaskToFFFF) {
  struct Case {
    McuType mcuType;
    uint16_t mask;
    uint32_t first, last;
  };
  const Case cases[] = {
      {kF2801, 0x0004, 0x3F5000, 0x3F5FFF},  // F2801 sector 2
      {kF2802, 0x0008, 0x3F0000, 0x3F1FFF},  // F2802 sector 3
      {kF2808, 0x0001, 0x3F4000, 0x3F7FFF},  // F2808 sector 0
      {kF2809, 0x0080, 0x3D8000, 0x3DBFFF},  // F2809 sector 7
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    WireHarness wire(Board(c.mcuType));
    const McuInfo& device = wire.driver.Target().Device();
    // The password words stay erased: a secured part would need keys.
    for (uint32_t address = device.flashFirst; address < kCsmKeyAddress; ++address) {
      wire.driver.Target().WriteWord(address, 0x1234);
    }
    wire.Open();
    wire.PrepareFlash();
    EXPECT_EQ(wire.Exchange(Frame('O', "01" + Hex(c.mask, 4))), "!");

    const TargetBoard& target = wire.driver.Target();
    EXPECT_EQ(target.ReadWord(c.first), 0xFFFF);
    EXPECT_EQ(target.ReadWord(c.last), 0xFFFF);
    if (c.first > device.flashFirst) {
      EXPECT_EQ(target.ReadWord(c.first - 1), 0x1234);
    }
    if (c.last < device.flashLast) {
      EXPECT_EQ(target.ReadWord(c.last + 1), 0x1234);
    }
  }
}

TEST(TargetBoardTest, ProgramsTheStreamedWordsSwappedBack) {
  WireHarness wire;
  wire.Open();
  wire.PrepareFlash();
  std::vector<uint16_t> words(40);
  std::iota(words.begin(), words.end(), uint16_t{0x1200});
  EXPECT_EQ(Program(wire, 0x3F4000, words), "!");
  for (uint32_t n = 0; n < words.size(); ++n) {
    EXPECT_EQ(wire.driver.Target().ReadWord(0x3F4000 + n), words[n]);
  }
  EXPECT_EQ(wire.driver.Target().ReadWord(0x3F4000 + 40), 0xFFFF);
}

TEST(TargetBoardTest, ProgrammingOnlyClearsBitsAndFailsWhenItCannotGiveTheWord) {
  WireHarness wire;
  wire.driver.Target().WriteWord(0x3F4000, 0x0F0F);
  wire.driver.Target().WriteWord(0x3F4001, 0xFF0F);
  wire.Open();
  wire.PrepareFlash();

  EXPECT_EQ(Program(wire, 0x3F4000, {0xFFF0}), kNakReply);
  EXPECT_EQ(wire.driver.Target().ReadWord(0x3F4000), 0x0F00);
  // Clearing bits only is what programming can do.
  EXPECT_EQ(Program(wire, 0x3F4001, {0x0F0F}), "!");
  EXPECT_EQ(wire.driver.Target().ReadWord(0x3F4001), 0x0F0F);
}

TEST(TargetBoardTest, RefusedFlashCommandsChangeNothing) {
  struct Case {
    const char* what;
    bool prepare;
    std::vector<uint16_t> streamed;
    std::string frame;
  };
  const Case cases[] = {
      {"O 00 without a flash algorithm", false, {}, Frame('O', "00")},
      {"erase before O 00", false, {}, Frame('O', "010001")},
      {"program before O 00", false, {0x1111}, Frame('O', "023F40000001")},
      {"a sector the F2808 does not have", true, {}, Frame('O', "010010")},
      {"an empty erase mask", true, {}, Frame('O', "010000")},
      {"fewer words streamed than named", true, {0x1111}, Frame('O', "023F40000002")},
      {"more words streamed than named", true, {0x1111, 0x2222}, Frame('O', "023F40000001")},
      {"a range running past 0x3F7FFF", true, std::vector<uint16_t>(10, 0x1111),
       Frame('O', "023F7FF7000A")},
      {"below the flash", true, {0x1111}, Frame('O', "023E7FFF0001")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WireHarness wire;
    for (uint32_t address : {0x3E8000u, 0x3F4000u, 0x3F7FF7u}) {
      wire.driver.Target().WriteWord(address, 0x5A5A);
    }
    wire.Open();
    if (c.prepare) {
      wire.PrepareFlash();
    } else {
      ASSERT_EQ(wire.Exchange(Frame('N', "4")), "!");
    }
    wire.StreamWords(c.streamed);
    EXPECT_EQ(wire.Exchange(c.frame), kNakReply);
    EXPECT_EQ(wire.driver.Transcript().back().kind, TranscriptEntry::Kind::Refused);
    for (uint32_t address : {0x3E8000u, 0x3F4000u, 0x3F7FF7u}) {
      EXPECT_EQ(wire.driver.Target().ReadWord(address), 0x5A5A);
    }
  }
}

TEST(TargetBoardTest, BootStreamWritesRamBlockByBlock) {
  // One RAM section of 250 words at 0x8000: a block of 200 and one of 50.
  WireHarness wire;
  wire.Open();
  ASSERT_EQ(wire.Exchange(Frame('N', "4")), "!");
  std::vector<uint16_t> words(250);
  std::iota(words.begin(), words.end(), uint16_t{0xA000});
  for (uint32_t start : {0u, 200u}) {
    const uint32_t count = start == 0 ? 200 : 50;
    EXPECT_EQ(wire.Exchange(Frame('U', Hex(count, 4))), "!");
    EXPECT_EQ(wire.Exchange(Frame('U', "0000")), "!");
    EXPECT_EQ(wire.Exchange(Frame('U', Hex(0x8000 + start, 4))), "!");
    wire.StreamWords({words.begin() + start, words.begin() + start + count - 1});
    EXPECT_EQ(wire.Received(), "");
    EXPECT_EQ(wire.Exchange(Frame('Y', Hex(words[start + count - 1], 4))), "!");
  }
  EXPECT_EQ(wire.Exchange(Frame('X', "0000")), "!");
  for (uint32_t n = 0; n < words.size(); ++n) {
    ASSERT_EQ(wire.driver.Target().ReadWord(0x8000 + n), words[n]) << n;
  }
  EXPECT_EQ(wire.driver.Target().CurrentStage(), TargetBoard::Stage::Running);
}

TEST(TargetBoardTest, BootStreamOutOfStepIsRefusedUntilTheNextBoot) {
  struct Case {
    const char* what;
    bool boot;
    std::vector<std::string> frames;  // the last one is refused
  };
  const std::string header = Frame('U', "0002") + Frame('U', "0000") + Frame('U', "8000");
  const std::string block = Frame('S', "1111") + Frame('Y', "2222");
  const Case cases[] = {
      {"U before any boot start", false, {Frame('U', "0002")}},
      {"Y before the block's last word", true, {header, Frame('Y', "1111")}},
      {"the last word sent as S",
       true,
       {header, Frame('S', "1111") + Frame('S', "2222"), Frame('Y', "3333")}},
      {"X in the middle of a block", true, {header, Frame('X', "0000")}},
      {"X with a word other than 0000", true, {Frame('X', "0001")}},
      {"a block of no words", true, {Frame('U', "0000")}},
      {"an address beyond 22 bits", true, {Frame('U', "0001"), Frame('U', "0040")}},
      {"a ping inside a block", true, {header, Frame('I'), block}},
      {"K after a block", true, {header, block, Frame('K', "0" + KeyDigits(kErasedCsmKeys))}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WireHarness wire;
    wire.Open();
    if (c.boot) {
      ASSERT_EQ(wire.Exchange(Frame('N', "4")), "!");
    }
    for (size_t n = 0; n + 1 < c.frames.size(); ++n) {
      wire.Exchange(c.frames[n]);
    }
    EXPECT_EQ(wire.Exchange(c.frames.back()), kNakReply);
  }

  // Once broken, the stream stays broken until the boot starts again.
  WireHarness wire;
  wire.Open();
  ASSERT_EQ(wire.Exchange(Frame('N', "4")), "!");
  ASSERT_EQ(wire.Exchange(header + Frame('X', "0000")), "!!!" + kNakReply);
  EXPECT_EQ(wire.Exchange(Frame('U', "0001")), kNakReply);
  ASSERT_EQ(wire.Exchange(Frame('N', "4")), "!");
  EXPECT_EQ(wire.Exchange(Frame('U', "0001")), "!");
}

TEST(TargetBoardTest, BootWordsCannotWriteFlash) {
  WireHarness wire;
  wire.Open();
  ASSERT_EQ(wire.Exchange(Frame('N', "4")), "!");
  EXPECT_EQ(wire.Exchange(Frame('U', "0001") + Frame('U', "003F") + Frame('U', "4000") +
                          Frame('Y', "0000")),
            "!!!!");
  EXPECT_EQ(wire.driver.Target().ReadWord(0x3F4000), 0xFFFF);
}

const CsmKeys kPassword{0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666, 0x7777, 0x8888};
const CsmKeys kWrongKeys{0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666, 0x7777, 0x8889};

TEST(TargetBoardTest, SecuredTargetNeedsTheMatchingKeys) {
  struct Case {
    const char* what;
    std::optional<CsmKeys> password;  // none: an unsecured part
    std::string boot;
    std::string boot_reply;
    std::string algorithm;
    std::string algorithm_reply;
  };
  const std::string k0 = Frame('K', "0" + KeyDigits(kErasedCsmKeys));
  const std::string n1 = Frame('N', "1");
  const Case cases[] = {
      // The boot loader runs from unsecured ROM: starting it needs no keys, but
      // the flash algorithm cannot reach a locked flash.
      {"N then K without keys", kPassword, n1, "!", k0, kNakReply},
      {"N then K with the keys", kPassword, n1, "!", Frame('K', "1" + KeyDigits(kPassword)), "!"},
      {"N then K with wrong keys", kPassword, n1, "!", Frame('K', "1" + KeyDigits(kWrongKeys)),
       kNakReply},
      {"M with the keys unlocks for K", kPassword, Frame('M', "1" + KeyDigits(kPassword)), "!", k0,
       "!"},
      {"M with wrong keys", kPassword, Frame('M', "1" + KeyDigits(kWrongKeys)), kNakReply, k0,
       kNakReply},
      {"an all-zero password never opens", CsmKeys{}, Frame('M', "1" + KeyDigits(CsmKeys{})),
       kNakReply, Frame('K', "1" + KeyDigits(CsmKeys{})), kNakReply},
      {"an unsecured part takes any keys", std::nullopt, Frame('M', "1" + KeyDigits(kWrongKeys)),
       "!", Frame('K', "1" + KeyDigits(kWrongKeys)), "!"},
      {"a CSM flag other than 0 or 1", std::nullopt, n1, "!",
       Frame('K', "2" + KeyDigits(kErasedCsmKeys)), kNakReply},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WireHarness wire(Board(kF2801));
    if (c.password) {
      wire.driver.Target().Secure(*c.password);
      EXPECT_TRUE(wire.driver.Target().Locked());
    }
    wire.Open();
    EXPECT_EQ(wire.Exchange(c.boot), c.boot_reply);
    EXPECT_EQ(wire.Exchange(c.algorithm), c.algorithm_reply);
  }
}

TEST(TargetBoardTest, ErasingThePasswordUnsecuresThePartAtTheNextReset) {
  WireHarness wire;
  wire.driver.Target().Secure(kPassword);
  wire.Open();
  ASSERT_EQ(wire.Exchange(Frame('N', "4")), "!");
  ASSERT_EQ(wire.Exchange(Frame('K', "1" + KeyDigits(kPassword))), "!");
  ASSERT_EQ(wire.Exchange(Frame('O', "00")), "!");
  ASSERT_EQ(wire.Exchange(Frame('O', "010001")), "!");
  ASSERT_EQ(wire.Exchange(Frame('R')), "!");
  EXPECT_FALSE(wire.driver.Target().Secured());
  ASSERT_EQ(wire.Exchange(Frame('N', "4")), "!");
  EXPECT_EQ(wire.Exchange(Frame('K', "0" + KeyDigits(kErasedCsmKeys))), "!");
}

TEST(TargetBoardTest, LockedPartDropsBootWordsForSecureRam) {
  // L0 (0x8000) is secure RAM, M0 (0x0040) is not.
  const std::string stream = Frame('U', "0001") + Frame('U', "0000") + Frame('U', "8000") +
                             Frame('Y', "1234") + Frame('U', "0001") + Frame('U', "0000") +
                             Frame('U', "0040") + Frame('Y', "5678") + Frame('X', "0000");
  for (const bool unlock : {false, true}) {
    SCOPED_TRACE(unlock);
    WireHarness wire(Board(kF2801));
    wire.driver.Target().Secure(kPassword);
    wire.Open();
    const std::string boot = unlock ? Frame('M', "1" + KeyDigits(kPassword)) : Frame('N', "1");
    ASSERT_EQ(wire.Exchange(boot), "!");
    EXPECT_EQ(wire.Exchange(stream), std::string(9, '!'));
    EXPECT_EQ(wire.driver.Target().ReadWord(0x8000), unlock ? 0x1234 : 0x0000);
    EXPECT_EQ(wire.driver.Target().ReadWord(0x0040), 0x5678);
  }
}

TEST(TargetBoardTest, FlashAlgorithmRefusesAnotherDevice) {
  WireHarness wire(Board(kF2808));
  wire.Open();
  ASSERT_EQ(wire.Exchange(Frame('N', "1")), "!");
  EXPECT_EQ(wire.Exchange(Frame('K', "0" + KeyDigits(kErasedCsmKeys))), kNakReply);
  EXPECT_EQ(wire.Exchange(Frame('N', "6")), kNakReply);
  ASSERT_EQ(wire.Exchange(Frame('N', "4")), "!");
  EXPECT_EQ(wire.Exchange(Frame('K', "0" + KeyDigits(kErasedCsmKeys))), "!");
}

}  // namespace
