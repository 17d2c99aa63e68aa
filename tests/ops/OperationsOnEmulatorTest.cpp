// The operations end to end on the POD emulator: what lands in the target and
// in the POD's store, the final messages, and faults at every frame ending with
// one message and the clean-up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <set>

#include "emulator/EmulatorDriver.h"
#include "image/CoffReader.h"
#include "image/McuCatalogue.h"
#include "image/ProgramImage.h"
#include "image/Utf8Path.h"
#include "ops/ProgrammerOperations.h"
#include "tests/ops/Programs.h"
#include "tests/ops/RecordingUi.h"
#include "tests/support/FakeClock.h"
#include "tests/support/ProgramWriters.h"
#include "tests/support/TestTime.h"

namespace {

// "<what> Completed - S.SS sec". std::regex, as GoogleTest's own expressions
// are POSIX ones only on POSIX systems.
MATCHER_P(IsCompletionOf, what, std::string(what) + " Completed - S.SS sec") {
  return std::regex_match(arg,
                          std::regex(std::string(what) + " Completed - [0-9]+\\.[0-9]{2} sec"));
}

std::tm December20At1405() {
  return LocalTimeAt(2006, 12, 20, 14, 5);
}

// The faults an operation rightly survives: the flash preparation is tried
// twice, a reply cannot be cut short where there is none, and after the closing
// H nothing is read, so whatever becomes of it goes unnoticed.
bool FaultMayPass(FaultKind kind, const std::string& frame) {
  if (kind == FaultKind::Unplug) {
    return false;
  }
  if (frame == "\x02O00\x03") {
    return true;
  }
  const char letter = frame.size() > 1 ? frame[1] : 0;
  return letter == 'H' || (kind == FaultKind::ShortReply && (letter == 'S' || letter == 'G'));
}

class OperationsOnEmulatorTest : public testing::Test {
 protected:
  OperationsOnEmulatorTest() { Restart(); }

  // A fresh emulated POD (F2808 target unless set otherwise) and operations on it.
  void Restart(EmulatorConfig config = {}) {
    ops_.reset();
    auto driver = std::make_unique<EmulatorDriver>(clock_, std::move(config));
    emulator_ = driver.get();
    ops_ = std::make_unique<ProgrammerOperations>(std::move(driver), clock_, ui_, December20At1405);
    ops_->LoadDriver();
    ui_.events.clear();
  }

  OperationRequest Request(const std::string& fileName, const CoffWriter& program) {
    OperationRequest request;
    request.filePath = dir_.Write(fileName, program.Build());
    return request;
  }

  // The run ended with exactly one message, an error, and after a procedure had
  // started, the clean-up: bar to 0, then not busy, last.
  void ExpectCleanFailure() {
    const auto errors = ui_.Only("error ");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_FALSE(ops_->link().isOpen());
    EXPECT_FALSE(emulator_->IsOpen());
    std::vector<std::string> tail{errors.front()};
    if (!ui_.Only("busy").empty()) {
      EXPECT_EQ(ui_.Only("busy"), (std::vector<std::string>{"busy 1", "busy 0"}));
      tail = {errors.front(), "bar 0", "busy 0"};
    }
    ASSERT_GE(ui_.events.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(ui_.events.end() - static_cast<ptrdiff_t>(tail.size()),
                                       ui_.events.end()),
              tail);
  }

  // Runs `run` once cleanly to count its frames, then once per frame and fault
  // kind on a fresh POD (made ready by `prepare`) with that frame spoilt.
  void FaultEveryFrame(const std::function<void()>& prepare,
                       const std::function<OperationOutcome()>& run) {
    Restart();
    prepare();
    size_t base = emulator_->Transcript().size();
    ASSERT_EQ(run(), OperationOutcome::Done);
    const size_t frames = emulator_->Transcript().size() - base;
    for (FaultKind kind : {FaultKind::NoReply, FaultKind::WrongFirstByte, FaultKind::ShortReply,
                           FaultKind::Unplug}) {
      for (size_t frame = 1; frame <= frames; ++frame) {
        SCOPED_TRACE("fault kind " + std::to_string(static_cast<int>(kind)) + " at frame " +
                     std::to_string(frame) + " of " + std::to_string(frames));
        Restart();
        prepare();
        base = emulator_->Transcript().size();
        emulator_->Faults().Add(FaultTrigger::AtFrame(static_cast<uint32_t>(base + frame)),
                                Fault{.kind = kind});
        ui_.events.clear();
        if (run() == OperationOutcome::Done) {
          EXPECT_TRUE(ui_.Only("error").empty());
          EXPECT_TRUE(FaultMayPass(kind, emulator_->Transcript()[base + frame - 1].frame));
          continue;
        }
        ExpectCleanFailure();
      }
    }
  }

  // First, so that it goes last: the emulated POD lets go of its state file
  // and lock only as it ends, and Windows cannot remove a file still open.
  ScratchDir dir_;
  FakeClock clock_;
  RecordingUi ui_;
  EmulatorDriver* emulator_ = nullptr;
  std::unique_ptr<ProgrammerOperations> ops_;
};

TEST_F(OperationsOnEmulatorTest, TargetWriteProgramsTheFlashAndCleansUp) {
  OperationRequest request = Request("motor.out", FlashProgram());
  ASSERT_EQ(ops_->TargetWrite(request), OperationOutcome::Done);

  EXPECT_THAT(ui_.LastMessage(), IsCompletionOf("Flash Write"));
  EXPECT_TRUE(ui_.Only("error").empty());
  EXPECT_EQ(ui_.Only("busy"), (std::vector<std::string>{"busy 1", "busy 0"}));
  EXPECT_EQ(ui_.events.back(), "busy 0");
  EXPECT_EQ(ui_.events[ui_.events.size() - 2], "bar 0");
  EXPECT_FALSE(emulator_->IsOpen());

  const TargetBoard& target = emulator_->Target();
  const auto text = Pattern(100, 0);
  for (uint32_t i = 0; i < text.size(); ++i) {
    ASSERT_EQ(target.ReadWord(0x3E8000 + i), text[i]) << i;
  }
  EXPECT_EQ(target.ReadWord(0x3F0000), 0x1200);
  EXPECT_EQ(target.ReadWord(0x3F7FF7), 0x8000);
  EXPECT_EQ(target.ReadWord(0x3EC000), 0xFFFF);  // sector 2, not in the program
  EXPECT_NE(target.ReadWord(0x8000), 0x1300);    // RAM sections are not sent in flash mode
  EXPECT_EQ(ui_.Only("warning"),
            std::vector<std::string>{"warning Not written in flash mode: ramfuncs (RAM)"});

  // The image stays loaded: the file is not read again, even when it is gone.
  std::filesystem::remove(request.filePath);
  ui_.events.clear();
  EXPECT_EQ(ops_->TargetWrite(request), OperationOutcome::Done);
  EXPECT_TRUE(ui_.Only("recent").empty());
}

// The Intel HEX file that TI's hex utility makes of a COFF file.
std::vector<uint8_t> HexOfCoff(const std::filesystem::path& coff) {
  ProgramImage image;
  EXPECT_EQ(ReadCoffFile(coff, kDefaultMcuType, image), ProgramReadResult::Ok);
  std::vector<WordBlock> blocks;
  for (const auto& section : image.sections) {
    blocks.push_back({section->address, {section->data, section->data + section->wordCount}});
  }
  return BytesOf(IntelHexText(blocks));
}

TEST_F(OperationsOnEmulatorTest, AHexFileProgramsTheTargetAsItsCoffPartnerDoes) {
  struct Partners {
    McuType mcuType;
    std::string coff;
    std::string hex;
  };
  std::vector<Partners> cases;
  const std::string madeHere = dir_.Write("motor.out", FlashProgram().Build());
  cases.push_back({kDefaultMcuType, madeHere, dir_.Write("motor.hex", HexOfCoff(madeHere))});
  // Real output of the hex utility for an F2809, when it is at hand.
  const std::filesystem::path samples = BFX_FORMAT_SAMPLES;
  const std::string program = "nodang__micromouse_hara__a_hara";
  if (std::filesystem::exists(samples / (program + ".hex"))) {
    cases.push_back({kF2809, Utf8FromPath(samples / (program + ".partner.out")),
                     Utf8FromPath(samples / (program + ".hex"))});
  }
  for (const Partners& c : cases) {
    SCOPED_TRACE(c.hex);
    std::vector<std::vector<uint16_t>> flashes;
    for (const std::string& file : {c.coff, c.hex}) {
      EmulatorConfig config;
      config.pod.targetMcuType = c.mcuType;
      Restart(std::move(config));
      OperationRequest request;
      request.filePath = file;
      request.mcuType = c.mcuType;
      ui_.events.clear();
      ASSERT_EQ(ops_->TargetWrite(request), OperationOutcome::Done) << ui_.LastMessage();
      // The window and the command line name the format they read.
      EXPECT_THAT(ui_.events, testing::Contains(
                                  file == c.coff ? "status Reading COFF file is successful"
                                                 : "status Reading Intel HEX file is successful"));
      const McuInfo& mcu = c.mcuType.info();
      std::vector<uint16_t> flash;
      for (uint32_t address = mcu.flashFirst; address <= mcu.flashLast; ++address) {
        flash.push_back(emulator_->Target().ReadWord(address));
      }
      flashes.push_back(std::move(flash));
    }
    EXPECT_GT(std::ranges::count_if(flashes[0], [](uint16_t word) { return word != 0xFFFF; }), 100);
    EXPECT_TRUE(flashes[0] == flashes[1]);
  }
}

TEST_F(OperationsOnEmulatorTest, TargetWriteOfARamProgramReportsCompletedToo) {
  ASSERT_EQ(ops_->TargetWrite(Request("ram.out", RamProgram())), OperationOutcome::Done);
  EXPECT_THAT(ui_.LastMessage(), IsCompletionOf("Flash Write"));
  EXPECT_TRUE(ui_.Only("warning").empty()) << "nothing left out";
  EXPECT_EQ(emulator_->Target().ReadWord(0x8000), 0x1000);
  EXPECT_EQ(emulator_->Target().ReadWord(0x9004), 0x1044);
}

TEST_F(OperationsOnEmulatorTest, AnImageReadForAnotherDeviceIsReadAgainBeforeItIsSent) {
  CoffWriter program;
  program.Add(".text", 0x3F4000, Pattern(50, 0)).Add(".econst", 0x3F0000, Pattern(8, 0x100));
  OperationRequest request = Request("motor.out", program);
  ASSERT_EQ(ops_->LoadProgramFile(request.filePath, true, kF2809), OperationOutcome::Done);
  ui_.events.clear();

  // .econst lies in flash the F2801 does not have.
  request.mcuType = kF2801;
  EXPECT_EQ(ops_->TargetWrite(request), OperationOutcome::OutsideDevice);
  EXPECT_EQ(ui_.events,
            (std::vector<std::string>{
                "status Reading COFF file is successful",
                "error Section .econst at 0x3F0000 lies outside the memory of the F2801",
            }));
  EXPECT_EQ(ops_->mcuType(), kF2801);
  EXPECT_TRUE(emulator_->Transcript().empty()) << "nothing sent";

  // The device on the board: read again, and all of it written.
  request.mcuType = kF2808;
  ui_.events.clear();
  ASSERT_EQ(ops_->TargetWrite(request), OperationOutcome::Done);
  EXPECT_EQ(ui_.events.front(), "status Reading COFF file is successful");
  EXPECT_EQ(emulator_->Target().ReadWord(0x3F0000), 0x1100);
  EXPECT_EQ(emulator_->Target().ReadWord(0x3F4000), 0x1000);

  // A file gone since refuses the change of device instead of sending the old sort.
  std::filesystem::remove(request.filePath);
  request.mcuType = kF2809;
  const size_t framesBefore = emulator_->Transcript().size();
  ui_.events.clear();
  EXPECT_EQ(ops_->PodWrite(request), OperationOutcome::FileNotFound);
  EXPECT_EQ(ui_.events, std::vector<std::string>{"error The specified COFF file isn't exist"});
  EXPECT_EQ(emulator_->Transcript().size(), framesBefore);
}

TEST_F(OperationsOnEmulatorTest, ElapsedTimeSurvivesTheTickCounterWrapping) {
  clock_.Advance(0xFFFFFFFFu - clock_.NowMs() - 5);  // wraps within the first few waits
  ASSERT_EQ(ops_->TargetWrite(Request("motor.out", FlashProgram())), OperationOutcome::Done);
  const std::string message = ui_.LastMessage();
  ASSERT_THAT(message, IsCompletionOf("Flash Write"));
  EXPECT_LT(std::stod(message.substr(message.find('-') + 2)), 60.0) << message;
}

TEST_F(OperationsOnEmulatorTest, SecuredTargetNeedsTheRightKeys) {
  const CsmKeys keys{0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666, 0x7777, 0x0000};
  emulator_->Target().Secure(keys);
  OperationRequest request = Request("motor.out", FlashProgram());
  request.useCsm = true;
  request.keyTexts = {"1112", "2222", "3333", "4444", "5555", "6666", "7777", "0"};
  EXPECT_EQ(ops_->TargetWrite(request), OperationOutcome::FlashAlgorithmFailed);
  EXPECT_EQ(ui_.LastMessage(), "Fail to download flash algorithm code");
  ExpectCleanFailure();

  // Without the option the keys typed are ignored and the erased words go out.
  request.keyTexts[0] = "1111";
  request.useCsm = false;
  ui_.events.clear();
  EXPECT_EQ(ops_->TargetWrite(request), OperationOutcome::FlashAlgorithmFailed);
  EXPECT_EQ(ops_->csmKeys(), kErasedCsmKeys);

  request.useCsm = true;
  ui_.events.clear();
  EXPECT_EQ(ops_->TargetWrite(request), OperationOutcome::Done);
  EXPECT_EQ(ops_->csmKeys(), keys);
  EXPECT_EQ(emulator_->Target().ReadWord(0x3E8000), 0x1000);
}

TEST_F(OperationsOnEmulatorTest, EachWayATargetWriteFailsHasItsOwnOutcomeAndMessage) {
  const std::map<OperationOutcome, std::string> messages{
      {OperationOutcome::PodNoAnswer, "Fail to initialize Brontaflex POD"},
      {OperationOutcome::SciBootFailed, "Fail to start SCI boot"},
      {OperationOutcome::RamDownloadFailed, "Fail to download user program"},
      {OperationOutcome::ResetFailed, "Fail to reset target board"},
      {OperationOutcome::FlashAlgorithmFailed, "Fail to download flash algorithm code"},
      {OperationOutcome::FlashInitFailed, "Fail to initialize target board for flash memory write"},
      {OperationOutcome::EraseFailed, "Fail to erase flash memory"},
      {OperationOutcome::ProgramFailed, "Fail to write flash memory"},
  };
  std::set<OperationOutcome> reached;
  const auto expectItsMessage = [&](OperationOutcome outcome) {
    ASSERT_TRUE(messages.contains(outcome)) << static_cast<int>(outcome);
    EXPECT_EQ(ui_.LastMessage(), messages.at(outcome));
    reached.insert(outcome);
  };
  OperationRequest flash;
  flash.filePath = dir_.Write("flash.out", FlashProgram().Build());
  OperationRequest ram;
  ram.filePath = dir_.Write("ram.out", RamProgram().Build());
  for (const OperationRequest& request : {flash, ram}) {
    // Every frame of a clean run, in turn, goes unanswered.
    for (uint32_t frame = 1;; ++frame) {
      SCOPED_TRACE(request.filePath + ", no reply to frame " + std::to_string(frame));
      Restart();
      emulator_->Faults().Add(FaultTrigger::AtFrame(frame), Fault{.kind = FaultKind::NoReply});
      const OperationOutcome outcome = ops_->TargetWrite(request);
      if (frame > emulator_->Transcript().size()) {
        break;  // past the run's last frame: nothing was spoilt
      }
      if (outcome != OperationOutcome::Done) {
        expectItsMessage(outcome);
      }
    }
  }
  // The flash preparation is tried twice, so both tries go unanswered.
  Restart();
  emulator_->Faults().Add(FaultTrigger::OnLetter('O', 1), Fault{.kind = FaultKind::NoReply});
  emulator_->Faults().Add(FaultTrigger::OnLetter('O', 2), Fault{.kind = FaultKind::NoReply});
  expectItsMessage(ops_->TargetWrite(flash));
  for (const auto& [outcome, message] : messages) {
    EXPECT_TRUE(reached.contains(outcome)) << message;
  }
}

// Korean names with spaces, which no ANSI code page of Windows holds: the file
// loads, and the POD's store is saved under its own name and read back.
TEST_F(OperationsOnEmulatorTest, KoreanFileAndStateNamesWithSpaces) {
  std::filesystem::create_directories(dir_.path() / PathFromUtf8("프로그램 파일"));
  std::filesystem::create_directories(dir_.path() / PathFromUtf8("상태 폴더"));
  EmulatorConfig config;
  config.pod.statePath = Utf8FromPath(dir_.path() / PathFromUtf8("상태 폴더/포드 상태"));
  Restart(config);
  OperationRequest request = Request("프로그램 파일/모터 제어.out", FlashProgram());
  request.podFileName = "motor";
  ASSERT_EQ(ops_->PodWrite(request), OperationOutcome::Done) << ui_.LastMessage();
  // The POD saves its state on a thread of its own: the folder is looked at
  // once that POD is gone and its saves have landed.
  Restart(config);
  std::set<std::string> saved;
  for (const auto& entry :
       std::filesystem::directory_iterator(dir_.path() / PathFromUtf8("상태 폴더"))) {
    saved.insert(Utf8FromPath(entry.path().filename()));
  }
  EXPECT_EQ(saved, (std::set<std::string>{"포드 상태", "포드 상태.lock"}));
  EXPECT_EQ(ops_->PodVerify(request), OperationOutcome::Done) << ui_.LastMessage();
}

TEST_F(OperationsOnEmulatorTest, PodWriteVerifyAndInfoAsThreeOperations) {
  EmulatorConfig config;
  config.pod.statePath = (dir_.path() / "pod-state").string();
  Restart(config);
  EXPECT_EQ(ops_->PodInfo(), OperationOutcome::Done);
  EXPECT_EQ(ui_.LastMessage(), "POD Ver: 1.1, No POD File Data");
  EXPECT_EQ(ops_->podVersion(), 11);

  OperationRequest request = Request("motor_ctl.out", FlashProgram());
  request.podFileName = "   ";
  ui_.events.clear();
  ASSERT_EQ(ops_->PodWrite(request), OperationOutcome::Done);
  EXPECT_THAT(ui_.LastMessage(), IsCompletionOf("EEPROM Write"));
  EXPECT_EQ(ui_.Only("pod-name"), std::vector<std::string>{"pod-name motor_ct"});
  EXPECT_EQ(ops_->podFileName(), "motor_ct");
  EXPECT_EQ(ui_.events.back(), "busy 0");
  EXPECT_EQ(ui_.events[ui_.events.size() - 2], "bar 0");

  // A new session on the same POD: the file loads again and the store matches it.
  Restart(config);
  ASSERT_EQ(ops_->PodVerify(request), OperationOutcome::Done);
  EXPECT_THAT(ui_.LastMessage(), IsCompletionOf("EEPROM Verify"));
  EXPECT_TRUE(ui_.Only("error").empty());

  Restart(config);
  EXPECT_EQ(ops_->PodInfo(), OperationOutcome::Done);
  EXPECT_EQ(ui_.events,
            std::vector<std::string>{
                "status POD Ver: 1.1, POD File Name: motor_ct [when 2006.12.20 14:05]"});
}

TEST_F(OperationsOnEmulatorTest, PodFileNameIsTrimmedAndCutBeforeThePodIsContacted) {
  OperationRequest request = Request("motor.out", FlashProgram());
  request.podFileName = " abcdefghij ";
  ASSERT_EQ(ops_->PodWrite(request), OperationOutcome::Done);
  EXPECT_EQ(ui_.Only("pod-name"), std::vector<std::string>{"pod-name abcdefgh"});
  ui_.events.clear();
  EXPECT_EQ(ops_->PodInfo(), OperationOutcome::Done);
  EXPECT_EQ(ui_.LastMessage(), "POD Ver: 1.1, POD File Name: abcdefgh [when 2006.12.20 14:05]");

  // The name stays when the POD cannot be reached afterwards.
  emulator_->Unplug();
  request.podFileName = "abc";
  ui_.events.clear();
  EXPECT_EQ(ops_->PodWrite(request), OperationOutcome::PortFailed);
  EXPECT_EQ(ops_->podFileName(), "abc");
  const std::vector<std::string> shown(ui_.events.end() - 2, ui_.events.end());
  EXPECT_EQ(shown,
            (std::vector<std::string>{"pod-name abc", "error Fail to open communication port"}));
}

TEST_F(OperationsOnEmulatorTest, VerifyOfAChangedProgramFailsWithTheStoresMessageOnly) {
  ASSERT_EQ(ops_->PodWrite(Request("motor.out", FlashProgram())), OperationOutcome::Done);
  ui_.events.clear();
  ASSERT_EQ(ops_->LoadProgramFile(dir_.Write("changed.out", FlashProgram(1).Build()), true, kF2808),
            OperationOutcome::Done);
  ui_.events.clear();
  EXPECT_EQ(ops_->PodVerify({}), OperationOutcome::PodVerifyFailed);
  EXPECT_EQ(ui_.LastMessage(), "The selected COFF file data is not same in serial flash");
  ExpectCleanFailure();
}

// A copy that could not be read is no copy that differs: each has its own
// outcome, under the store's own message.
TEST_F(OperationsOnEmulatorTest, VerifyThatCannotReadTheCopyIsNoDifference) {
  const OperationRequest request = Request("motor.out", FlashProgram());
  const struct {
    const char* name;
    FaultTrigger trigger;
    FaultKind kind;
    OperationOutcome outcome;
    const char* message;
  } cases[] = {
      {"no reply to h", FaultTrigger::OnLetter('h'), FaultKind::NoReply,
       OperationOutcome::PodVerifyReadFailed, "Fail to read COFF information"},
      {"unplugged while comparing", FaultTrigger::OnLetter('L'), FaultKind::Unplug,
       OperationOutcome::PodVerifyReadFailed,
       "Fail to communicate with Brontaflex POD while verifying serial flash"},
      {"a section record that says no", FaultTrigger::OnLetter('l'), FaultKind::WrongFirstByte,
       OperationOutcome::PodVerifyFailed,
       "The selected COFF file section is not same in serial flash"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    ASSERT_EQ(ops_->PodWrite(request), OperationOutcome::Done);
    emulator_->Faults().Add(c.trigger, Fault{.kind = c.kind});
    ui_.events.clear();
    EXPECT_EQ(ops_->PodVerify(request), c.outcome);
    EXPECT_EQ(ui_.LastMessage(), c.message);
    ExpectCleanFailure();
  }
}

TEST_F(OperationsOnEmulatorTest, TargetEraseErasesTheSectorsAskedForWithoutAFile) {
  const McuInfo& mcu = kF2808.info();
  const struct {
    const char* name;
    bool eraseAll;
    uint16_t sectors;
  } cases[] = {
      {"sectors A and C", false, 0x0005},
      {"every sector", true, 0},
      // Sectors the F2808 does not have are no sectors of its flash.
      {"sector H", false, 0x0080},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    for (uint32_t address = mcu.flashFirst; address < kCsmKeyAddress; address += 0x800) {
      emulator_->Target().WriteWord(address, 0x1234);
    }
    OperationRequest request;
    request.eraseAll = c.eraseAll;
    request.eraseSectors = c.sectors;
    EXPECT_EQ(ops_->TargetErase(request), OperationOutcome::Done);
    EXPECT_THAT(ui_.LastMessage(), testing::StartsWith("Flash Erase Completed - "));
    EXPECT_FALSE(ops_->imageLoaded());
    for (uint32_t address = mcu.flashFirst; address < kCsmKeyAddress; address += 0x800) {
      const bool erased = c.eraseAll || (FindSector(mcu, address)->bit & c.sectors) != 0;
      EXPECT_EQ(emulator_->Target().ReadWord(address), erased ? 0xFFFF : 0x1234)
          << std::hex << address;
    }
  }
}

TEST_F(OperationsOnEmulatorTest, PodInfoWithoutAVersionIsAFailure) {
  EmulatorConfig config;
  config.pod.firmwareVersion = "QZV00";
  Restart(config);
  EXPECT_EQ(ops_->PodInfo(), OperationOutcome::PodInfoFailed);
  EXPECT_EQ(ui_.events, std::vector<std::string>{"error Fail to read Brontaflex POD Information"});
  EXPECT_FALSE(emulator_->IsOpen());
}

TEST_F(OperationsOnEmulatorTest, AFaultAtAnyFrameOfATargetWriteEndsWithOneMessage) {
  const std::string path = dir_.Write("p.out", FlashProgram().Build());
  FaultEveryFrame([] {},
                  [&] {
                    OperationRequest request;
                    request.filePath = path;
                    request.eraseAll = true;
                    return ops_->TargetWrite(request);
                  });
}

TEST_F(OperationsOnEmulatorTest, AFaultAtAnyFrameOfAPodWriteEndsWithOneMessage) {
  OperationRequest request;
  request.filePath = dir_.Write("p.out", FlashProgram().Build());
  FaultEveryFrame([] {}, [&] { return ops_->PodWrite(request); });
}

TEST_F(OperationsOnEmulatorTest, AFaultAtAnyFrameOfAPodVerifyEndsWithOneMessage) {
  OperationRequest request;
  request.filePath = dir_.Write("p.out", FlashProgram().Build());
  FaultEveryFrame([&] { ASSERT_EQ(ops_->PodWrite(request), OperationOutcome::Done); },
                  [&] { return ops_->PodVerify(request); });
}

}  // namespace
