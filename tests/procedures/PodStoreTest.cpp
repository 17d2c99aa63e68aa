#include <functional>
#include <map>

#include "tests/procedures/ProcedureTest.h"
#include "tests/support/TestTime.h"

namespace {

const std::string kErasedKeys(32, 'F');
// The tag's date part for 14:05 on 20 December 2006.
const std::string kTagDate = "07D60C140E05";

TEST(PodTagTest, HoldsTheNameCutOrPaddedToEightBytesAndTheMinute) {
  const std::tm when = LocalTimeAt(2006, 12, 20, 14, 5, 59);
  struct Case {
    std::string_view name;
    PodTagBytes bytes;
  };
  const Case cases[] = {
      {"MOTORCTRL", {'M', 'O', 'T', 'O', 'R', 'C', 'T', 'R', 0x07, 0xD6, 0x0C, 0x14, 0x0E, 0x05}},
      {"AB", {'A', 'B', 0, 0, 0, 0, 0, 0, 0x07, 0xD6, 0x0C, 0x14, 0x0E, 0x05}},
      {"", {0, 0, 0, 0, 0, 0, 0, 0, 0x07, 0xD6, 0x0C, 0x14, 0x0E, 0x05}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PodTag::Make(c.name, when).bytes, c.bytes) << c.name;
  }
}

TEST(PodTagTest, InfoReadsTheReplyUpToTheNamesFirstZero) {
  const PodCommands::TagReply reply{'!', 1,   'P',  'U',  'M',  'P', 0,  'X',
                                    'Y', 'Z', 0x07, 0xE8, 0x02, 29,  23, 59};
  const PodTagInfo info = PodTagInfo::FromReply(reply);
  EXPECT_TRUE(info.present());
  EXPECT_EQ(info.name, "PUMP");
  EXPECT_EQ(info.year, 2024);
  EXPECT_EQ(info.month, 2);
  EXPECT_EQ(info.day, 29);
  EXPECT_EQ(info.hour, 23);
  EXPECT_EQ(info.minute, 59);

  PodCommands::TagReply none = reply;
  none[1] = 0xFF;
  EXPECT_FALSE(PodTagInfo::FromReply(none).present());
}

// ---- Exact writes on the scripted driver ----

using StoreWireTest = FakeWireTest;

TEST_F(StoreWireTest, TwoHundredWordsFillAFullPageAndAShortOne) {
  std::vector<uint16_t> words = Pattern(200, 1);
  words[0] = 0x1234;
  Load(CoffWriter().Add(".text", 0x3F4000, words), kF2808);

  EXPECT_EQ(Store().StorePodImage(false, false, "PROG"), PodStoreResult::Done);

  const std::vector<std::string> expected{"G",
                                          "V003F40000000C8000000",
                                          "S*50",
                                          "S*50",
                                          "S*32",
                                          "W00000108",
                                          "S*50",
                                          "S*18",
                                          "W00010088",
                                          "P" + kErasedKeys,
                                          "T50524F4700000000" + kTagDate,
                                          "Q40000100",
                                          "H"};
  EXPECT_EQ(Writes(), expected);
  EXPECT_EQ(fake.writes[2].substr(0, 7), "\x02S3412\x03");
  EXPECT_EQ(reporter.steps, (std::vector<ProcedureStep>{
                                ProcedureStep::StoringProgram, ProcedureStep::StoringPassword,
                                ProcedureStep::StoringTag, ProcedureStep::StoringCoffInfo}));
  EXPECT_EQ(reporter.barRanges, (std::vector<int32_t>{200}));
  EXPECT_EQ(reporter.barPos, 200);
}

// A stop asked half way ends the store at the next batch: the POD is told to
// drop the half-written copy, and no step shows a failure.
TEST_F(StoreWireTest, StopAskedHalfWayAbandonsTheStoreQuietly) {
  Load(CoffWriter().Add(".text", 0x3F4000, Pattern(400, 1)), kF2808);
  reporter.stopAtBarPos = 150;

  EXPECT_EQ(Store().StorePodImage(false, false, "PROG"), PodStoreResult::ProgramWriteFailed);

  EXPECT_EQ(Writes(), (std::vector<std::string>{"G", "V003F4000000190000000", "S*50", "S*50",
                                                "S*32", "W00000108", "i"}));
  EXPECT_EQ(reporter.steps, std::vector<ProcedureStep>{ProcedureStep::StoringProgram});
}

TEST_F(StoreWireTest, PagesRunOnAcrossSections) {
  Load(CoffWriter().Add(".text", 0x3F4000, Pattern(100, 1)).Add(".cinit", 0x3F6000, Pattern(50, 2)),
       kF2808);

  EXPECT_EQ(Store().StorePodImage(false, false, "PROG"), PodStoreResult::Done);

  // The second section's record goes out while page 0 is still being filled.
  const std::vector<std::string> writes = Writes();
  ASSERT_GE(writes.size(), 9u);
  EXPECT_EQ(std::vector<std::string>(writes.begin(), writes.begin() + 9),
            (std::vector<std::string>{"G", "V003F4000000064000000", "S*50", "S*50",
                                      "V013F60000000320000C8", "S*32", "W00000108", "S*18",
                                      "W00010024"}));
}

TEST_F(StoreWireTest, PasswordAndCoffInformationFollowTheChoices) {
  keys = {0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666, 0x7777, 0x8888};
  struct Case {
    bool eraseAll;
    bool useCsm;
    std::string password;
    std::string coffInfo;
  };
  const Case cases[] = {
      {false, false, "P" + kErasedKeys, "Q40000500"},
      {true, true, "P11112222333344445555666677778888", "Q41000F01"},
  };
  // Sectors 0 and 2 of an F2808.
  Load(CoffWriter().Add(".text", 0x3F4000, Pattern(4, 1)).Add(".econst", 0x3EC000, Pattern(4, 2)),
       kF2808);
  for (const Case& c : cases) {
    fake.writes.clear();
    EXPECT_EQ(Store().StorePodImage(c.eraseAll, c.useCsm, "X"), PodStoreResult::Done);
    const std::vector<std::string> writes = Writes();
    ASSERT_GE(writes.size(), 4u);
    EXPECT_EQ(writes[writes.size() - 4], c.password);
    EXPECT_EQ(writes[writes.size() - 2], c.coffInfo);
  }
}

// ---- End to end on the emulated POD ----

// A program with a section crossing a page boundary into the next section.
CoffWriter StoredProgram() {
  return CoffWriter()
      .Add("ramfuncs", 0x8000, Pattern(20, 30))
      .Add(".text", 0x3F4000, Pattern(170, 31))
      .Add(".econst", 0x3EC000, Pattern(121, 32), kCoffData)
      .Add("codestart", 0x3F7FF6, Pattern(2, 33));
}

class StoreEmulatorTest : public EmulatorTest {
 protected:
  void StoreProgram(const CoffWriter& program, bool useCsm = false) {
    Load(program, kF2808);
    Connect(kF2808);
    ASSERT_EQ(Store().StorePodImage(false, useCsm, "MOTORCTRL"), PodStoreResult::Done);
    transcriptStart = driver->Transcript().size();
    reporter = {};
  }

  bool Sent(char letter) const {
    const std::vector<std::string> frames = RawFrames();
    return std::any_of(frames.begin(), frames.end(),
                       [letter](const std::string& frame) { return frame[1] == letter; });
  }
};

TEST_F(StoreEmulatorTest, StoredCopyVerifiesAndHoldsTheProgram) {
  StoreProgram(StoredProgram());

  // The POD holds the flash sections' words back to back, bytes exchanged.
  std::vector<uint8_t> program;
  for (const auto& section : image.sections) {
    for (uint32_t i = 0; section->inFlash && i < section->wordCount; ++i) {
      program.push_back(static_cast<uint8_t>(section->data[i] & 0xFF));
      program.push_back(static_cast<uint8_t>(section->data[i] >> 8));
    }
  }
  const SerialFlashContents& stored = driver->Store().Contents();
  EXPECT_EQ(stored.ProgramBytes(), program);
  EXPECT_EQ(stored.sections.size(), 3u);
  EXPECT_EQ(stored.sections.at(1), (StoredSection{0x3EC000, 121, 340}));

  EXPECT_EQ(Store().VerifyPodImage(), PodStoreResult::Done);
  EXPECT_EQ(reporter.steps, (std::vector<ProcedureStep>{ProcedureStep::ReadingCoffInfo,
                                                        ProcedureStep::ReadingSections,
                                                        ProcedureStep::VerifyingProgram}));
  EXPECT_EQ(Frames(), (std::vector<std::string>{"G", "h", "l00", "l01", "l02", "S*132", "L00000108",
                                                "S*132", "L00010108", "S*29", "L0002003A", "H"}));
  EXPECT_EQ(reporter.barPos, 293);
}

TEST_F(StoreEmulatorTest, StoredPasswordIsReadOnlyWhenOneWasStored) {
  for (const bool useCsm : {false, true}) {
    SCOPED_TRACE(useCsm);
    StoreProgram(CoffWriter().Add(".text", 0x3F4000, Pattern(10, 1)), useCsm);
    EXPECT_EQ(Store().VerifyPodImage(), PodStoreResult::Done);
    EXPECT_EQ(Sent('g'), useCsm);
  }
}

TEST_F(StoreEmulatorTest, VerifyStopsAtTheFirstDifference) {
  struct Case {
    const char* name;
    std::function<void()> change;
    PodStoreResult result;
    bool readsSections;  // l frames
    bool comparesPages;  // L frames
  };
  const Case cases[] = {
      {"one data word",
       [this] {
         const ImageSection& econst = *image.sections[2];
         const auto at = static_cast<uint32_t>(2 * (econst.data - image.words()));
         image.WordsForWriting(at, 1)[0] ^= 0x0100;
       },
       PodStoreResult::ProgramDiffers, true, true},
      {"device type", [this] { mcuType = kF2809; }, PodStoreResult::McuTypeDiffers, false, false},
      {"section count",
       [this] { Load(StoredProgram().Add("extra", 0x3F5000, Pattern(2, 3)), kF2808); },
       PodStoreResult::SectionCountDiffers, false, false},
      {"section address",
       [this] {
         Load(CoffWriter()
                  .Add(".text", 0x3F4000, Pattern(170, 31))
                  .Add(".econst", 0x3EC002, Pattern(121, 32))
                  .Add("codestart", 0x3F7FF6, Pattern(2, 33)),
              kF2808);
       },
       PodStoreResult::SectionsDiffer, true, false},
      {"empty POD", [this] { driver->Store().Replace({}); }, PodStoreResult::NoStoredProgram, false,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StoreProgram(StoredProgram());
    c.change();

    EXPECT_EQ(Store().VerifyPodImage(), c.result);
    EXPECT_EQ(Sent('l'), c.readsSections);
    EXPECT_EQ(Sent('L'), c.comparesPages);
    EXPECT_FALSE(Sent('i')) << "a verify has nothing to abandon";
    EXPECT_FALSE(Sent('H'));
  }
}

TEST_F(StoreEmulatorTest, SectionsWithoutWordsAreLeftOutOfStoreAndVerifyAlike) {
  mcuType = kF2808;
  AddSection(0x3F4000, Pattern(5, 1));
  AddSection(0x3F5000, {});
  AddSection(0x3F6000, Pattern(3, 2));
  // The last flash section has no words: the short page must still be committed.
  AddSection(0x3F7000, {});
  Connect(kF2808);

  ASSERT_EQ(Store().StorePodImage(false, false, "EMPTY"), PodStoreResult::Done);
  EXPECT_EQ(Store().VerifyPodImage(), PodStoreResult::Done);

  // Records go out at once, data words in batches, so the second record
  // overtakes the first section's words; pages depend only on the words' order.
  const std::vector<std::string> frames = Frames();
  ASSERT_GE(frames.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(frames.begin(), frames.begin() + 5),
            (std::vector<std::string>{"G", "V003F4000000005000000", "V013F600000000300000A", "S*8",
                                      "W00000010"}));
  EXPECT_EQ(driver->Store().Contents().sections.size(), 2u);
}

TEST_F(StoreEmulatorTest, TagReadsBackWhatWasStored) {
  Load(CoffWriter().Add(".text", 0x3F4000, Pattern(4, 1)), kF2808);
  Connect(kF2808);
  PodTagInfo info;
  ASSERT_TRUE(Store().ReadPodTag(info));
  EXPECT_FALSE(info.present()) << "a new POD holds no tag";

  ASSERT_EQ(Store().StorePodImage(false, false, "MOTORCTRL"), PodStoreResult::Done);
  ASSERT_TRUE(Store().ReadPodTag(info));
  EXPECT_TRUE(info.present());
  EXPECT_EQ(info.name, "MOTORCTR");
  EXPECT_EQ(std::tuple(info.year, info.month, info.day, info.hour, info.minute),
            std::tuple(uint16_t{2006}, uint8_t{12}, uint8_t{20}, uint8_t{14}, uint8_t{5}));
}

// Injects one fault at every frame of a clean store or verify and checks that
// the run fails with the result of the step the frame belongs to, and that
// only a failed store abandons the access.
class StoreFaultTest : public StoreEmulatorTest {
 protected:
  // The result expected for a fault of `kind` on `frame`; Done when the run
  // should still succeed.
  using Expect = std::function<PodStoreResult(const std::string& frame, FaultKind kind)>;

  void RunFaultTable(const std::function<void()>& prepare,
                     const std::function<PodStoreResult()>& run, const Expect& expect,
                     bool abandons) {
    prepare();
    ASSERT_EQ(run(), PodStoreResult::Done);
    ForEachFrameFault(RawFrames(), prepare, [&](size_t, const std::string& body, FaultKind kind) {
      const PodStoreResult expected = expect(body, kind);
      EXPECT_EQ(run(), expected);
      if (expected != PodStoreResult::Done && kind != FaultKind::Unplug) {
        EXPECT_EQ(RawFrames().back() == "\x02i\x03", abandons);
      }
    });
  }
};

// G, H and data words have no reply: a fault on them fails at once only when
// the POD is gone; a missed or answered one shows at the next command that
// relies on it, and a shortened reply there is no reply at all.
TEST_F(StoreFaultTest, EveryStoreStepFailsWithItsResultAndAbandonsTheAccess) {
  const CoffWriter program = CoffWriter().Add(".text", 0x3F4000, Pattern(140, 5));
  RunFaultTable(
      [&] {
        Load(program, kF2808);
        Connect(kF2808);
        reporter = {};
      },
      [this] { return Store().StorePodImage(false, false, "PROG"); },
      [](const std::string& frame, FaultKind kind) {
        const PodStoreResult writing = PodStoreResult::ProgramWriteFailed;
        const bool gone = kind == FaultKind::Unplug;
        const bool unnoticed = kind == FaultKind::ShortReply;
        switch (frame[0]) {
          case 'G':
            return gone ? PodStoreResult::AccessFailed
                        : (unnoticed ? PodStoreResult::Done : writing);
          case 'S':
            return unnoticed ? PodStoreResult::Done : writing;
          case 'V':
          case 'W':
            return writing;
          case 'P':
            return PodStoreResult::PasswordWriteFailed;
          case 'T':
            return PodStoreResult::TagWriteFailed;
          case 'Q':
            return PodStoreResult::CoffInfoWriteFailed;
          default:  // H
            return gone ? PodStoreResult::FinishFailed : PodStoreResult::Done;
        }
      },
      true);
}

TEST_F(StoreFaultTest, EveryVerifyStepFailsWithItsResult) {
  const CoffWriter program = CoffWriter().Add(".text", 0x3F4000, Pattern(140, 5));
  RunFaultTable(
      [&] { StoreProgram(program, /*useCsm=*/true); }, [this] { return Store().VerifyPodImage(); },
      [](const std::string& frame, FaultKind kind) {
        const PodStoreResult data = PodStoreResult::ProgramDiffers;
        const bool gone = kind == FaultKind::Unplug;
        const bool unnoticed = kind == FaultKind::ShortReply;
        // Only a reply that came and said no is a difference.
        const bool answered = kind == FaultKind::WrongFirstByte;
        const PodStoreResult silent = PodStoreResult::VerifyLinkFailed;
        switch (frame[0]) {
          case 'G':
            return gone ? PodStoreResult::AccessFailed
                        : (unnoticed ? PodStoreResult::Done : PodStoreResult::CoffInfoReadFailed);
          case 'h':
            return PodStoreResult::CoffInfoReadFailed;
          case 'l':
            return answered ? PodStoreResult::SectionsDiffer : silent;
          case 'g':
            return PodStoreResult::PasswordReadFailed;
          case 'S':
            return unnoticed ? PodStoreResult::Done : (gone ? silent : data);
          case 'L':
            return answered ? data : silent;
          default:  // H
            return gone ? PodStoreResult::FinishFailed : PodStoreResult::Done;
        }
      },
      false);
}

}  // namespace
