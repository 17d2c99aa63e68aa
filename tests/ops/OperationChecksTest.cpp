// What the operations refuse before they touch the POD, the four ways a
// connection ends, and the CSM keys as typed. A fake driver stands in for the
// POD; it is never loaded unless a test says so, so an operation that passes
// every check ends at "Fail to load FTD2XX.DLL".
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ops/ProgrammerOperations.h"
#include "tests/ops/Programs.h"
#include "tests/ops/RecordingUi.h"
#include "tests/support/FakePortDriver.h"

namespace {

constexpr char kDriverMissing[] = "Fail to load FTD2XX.DLL";

class OperationChecksTest : public testing::Test {
 protected:
  OperationChecksTest() {
    auto driver = std::make_unique<FakePortDriver>(clock_);
    fake_ = driver.get();
    ops_ = std::make_unique<ProgrammerOperations>(std::move(driver), clock_, ui_);
  }

  FakeClock clock_;
  FakePortDriver* fake_;
  RecordingUi ui_;
  std::unique_ptr<ProgrammerOperations> ops_;
  ScratchDir dir_;
};

using Operation = OperationOutcome (ProgrammerOperations::*)(const OperationRequest&);

struct CheckCase {
  const char* what;
  Operation operation;
  std::function<OperationRequest(const ScratchDir&)> request;
  OperationOutcome outcome;
  const char* message;
};

OperationRequest FileRequest(const ScratchDir& dir, const CoffWriter& program,
                             McuType mcuType = kF2808) {
  OperationRequest request;
  request.filePath = "  " + dir.Write("program.out", program.Build()) + " ";
  request.mcuType = mcuType;
  return request;
}

OperationRequest PathRequest(const std::string& path) {
  OperationRequest request;
  request.filePath = path;
  return request;
}

// The boot ROM's reset vector and the rest of its table, as some of TI's
// linker files emit them beside a program.
CoffWriter WithBootVectors(CoffWriter program) {
  program.Add(".reset", 0x3FFFC0, {0x0000, 0x003F});
  return program;
}

OperationRequest WithZeroKeys(OperationRequest request) {
  request.useCsm = true;
  request.keyTexts.fill("0000");
  return request;
}

TEST_F(OperationChecksTest, RefusalsAndLimitsEndWithTheirMessageWithoutTouchingThePod) {
  const auto target = &ProgrammerOperations::TargetWrite;
  const auto podWrite = &ProgrammerOperations::PodWrite;
  const auto podVerify = &ProgrammerOperations::PodVerify;
  const auto none = [](const ScratchDir&) { return OperationRequest{}; };
  const auto flash = [](const ScratchDir& d) { return FileRequest(d, FlashProgram()); };
  const auto ram = [](const ScratchDir& d) { return FileRequest(d, RamProgram()); };
  const auto sections = [](uint32_t n) {
    return [n](const ScratchDir& d) { return FileRequest(d, ManySections(n)); };
  };
  const auto words = [](uint32_t n) {
    return [n](const ScratchDir& d) { return FileRequest(d, FlashWords(n), kF2809); };
  };
  const CheckCase cases[] = {
      {"no file for Target Write", target, none, OperationOutcome::NoFileGiven,
       "Please, specify COFF file to write target"},
      {"no file for POD Write", podWrite, none, OperationOutcome::NoFileGiven,
       "Please, specify COFF file to write serial flash in Brontaflex POD"},
      {"no file for POD Verify", podVerify, none, OperationOutcome::NoFileGiven,
       "Please, specify COFF file to verify serial flash in Brontaflex POD"},
      {"missing file", target,
       [](const ScratchDir& d) { return PathRequest((d.path() / "gone.out").string()); },
       OperationOutcome::FileNotFound, "The specified COFF file isn't exist"},
      {"not a COFF file", podWrite,
       [](const ScratchDir& d) {
         return PathRequest(d.Write("t.out", {'h', 'i'}));
       },
       OperationOutcome::FileNotLoaded, "The specified file is not COFF format"},
      {"no sections, Target Write", target,
       [](const ScratchDir& d) { return FileRequest(d, CoffWriter()); },
       OperationOutcome::NoSectionData, "The selected COFF file don't have valid section data"},
      {"no sections, POD Verify", podVerify,
       [](const ScratchDir& d) { return FileRequest(d, CoffWriter()); },
       OperationOutcome::NoSectionData, "The selected COFF file don't have valid section data"},
      {"71 flash sections", podWrite, sections(71), OperationOutcome::TooManySections,
       "The supported section count is to 70"},
      {"70 flash sections", podWrite, sections(70), OperationOutcome::DriverNotLoaded,
       kDriverMissing},
      {"524,290 bytes", podVerify, words(262'145), OperationOutcome::DataTooLarge,
       "The data size is bigger than serial flash size in Brontaflex POD"},
      {"524,288 bytes", podVerify, words(262'144), OperationOutcome::DriverNotLoaded,
       kDriverMissing},
      {"RAM only, POD Write", podWrite, ram, OperationOutcome::NoFlashSection,
       "There is no valid section for flash region"},
      {"RAM only, POD Verify", podVerify, ram, OperationOutcome::NoFlashSection,
       "There is no valid section for flash region"},
      {"RAM only, Target Write", target, ram, OperationOutcome::DriverNotLoaded, kDriverMissing},
      {"keys all 0000, Target Write", target,
       [&](const ScratchDir& d) { return WithZeroKeys(flash(d)); },
       OperationOutcome::BadCsmPassword, "CSM Password input is wrong"},
      {"keys all 0000, POD Write", podWrite,
       [&](const ScratchDir& d) { return WithZeroKeys(flash(d)); },
       OperationOutcome::BadCsmPassword, "CSM Password input is wrong"},
      {"flash the F2801 does not have, Target Write", target,
       [](const ScratchDir& d) { return FileRequest(d, FlashProgram(), kF2801); },
       OperationOutcome::OutsideDevice,
       "Section .text at 0x3E8000 lies outside the memory of the F2801"},
      {"RAM the F2802 does not have, Target Write in RAM mode", target,
       [](const ScratchDir& d) { return FileRequest(d, RamProgram(), kF2802); },
       OperationOutcome::OutsideDevice,
       "Section .data at 0x009000 lies outside the memory of the F2802"},
      {"RAM beyond every block, Target Write in RAM mode", target,
       [](const ScratchDir& d) {
         return FileRequest(d, CoffWriter().Add(".text", 0x8000, {1}).Add(".ebss", 0x00C000, {0}));
       },
       OperationOutcome::OutsideDevice,
       "Section .ebss at 0x00C000 lies outside the memory of the F2808"},
      // A flash write leaves out what lies outside the flash: only the warning
      // names it (below).
      {"RAM beyond every block, POD Write", podWrite,
       [](const ScratchDir& d) {
         return FileRequest(d,
                            CoffWriter().Add(".text", 0x3E8000, {1}).Add(".ebss", 0x00C000, {0}));
       },
       OperationOutcome::DriverNotLoaded, kDriverMissing},
      {"a flash program for a larger device, with the boot ROM's vectors", target,
       [](const ScratchDir& d) { return FileRequest(d, WithBootVectors(FlashProgram()), kF2801); },
       OperationOutcome::OutsideDevice,
       "Section .text at 0x3E8000 lies outside the memory of the F2801"},
      {"the boot ROM's vectors beside a flash program, Target Write", target,
       [](const ScratchDir& d) { return FileRequest(d, WithBootVectors(FlashProgram())); },
       OperationOutcome::DriverNotLoaded, kDriverMissing},
      {"the boot ROM's vectors beside a flash program, POD Write", podWrite,
       [](const ScratchDir& d) { return FileRequest(d, WithBootVectors(FlashProgram())); },
       OperationOutcome::DriverNotLoaded, kDriverMissing},
      {"the boot ROM's vectors in a download into RAM", target,
       [](const ScratchDir& d) { return FileRequest(d, WithBootVectors(RamProgram())); },
       OperationOutcome::OutsideDevice,
       "Section .reset at 0x3FFFC0 lies outside the memory of the F2808"},
      {"PIE vectors in a download into RAM", target,
       [](const ScratchDir& d) {
         return FileRequest(d, CoffWriter().Add("pievect", 0x000D00, std::vector<uint16_t>(256)));
       },
       OperationOutcome::DriverNotLoaded, kDriverMissing},
      {"past the PIE vectors", target,
       [](const ScratchDir& d) {
         return FileRequest(d, CoffWriter().Add("pievect", 0x000D01, std::vector<uint16_t>(256)));
       },
       OperationOutcome::OutsideDevice,
       "Section pievect at 0x000D01 lies outside the memory of the F2808"},
      {"flash running past its end, POD Write", podWrite,
       [](const ScratchDir& d) {
         return FileRequest(d, CoffWriter().Add(".text", 0x3F7FFE, {1, 2, 3}));
       },
       OperationOutcome::OutsideDevice,
       "Section .text at 0x3F7FFE runs past the end of the F2808's flash"},
      {"OTP and RAM next to the flash are left out, not refused", podWrite,
       [](const ScratchDir& d) {
         return FileRequest(d, CoffWriter().Add(".text", 0x3E8000, {1}).Add("otp", 0x3D7800, {2}));
       },
       OperationOutcome::DriverNotLoaded, kDriverMissing},
      {"POD Verify ignores the keys", podVerify,
       [&](const ScratchDir& d) { return WithZeroKeys(flash(d)); },
       OperationOutcome::DriverNotLoaded, kDriverMissing},
  };
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.what);
    ui_.events.clear();
    auto driver = std::make_unique<FakePortDriver>(clock_);
    fake_ = driver.get();
    ops_ = std::make_unique<ProgrammerOperations>(std::move(driver), clock_, ui_);

    EXPECT_EQ((ops_.get()->*c.operation)(c.request(dir_)), c.outcome);
    EXPECT_EQ(ui_.Only("error "), std::vector<std::string>{std::string("error ") + c.message});
    EXPECT_EQ(ui_.LastMessage(), c.message);
    EXPECT_TRUE(ui_.Only("busy").empty());
    EXPECT_TRUE(fake_->writes.empty());
    EXPECT_EQ(fake_->openPorts(), 0u);
  }
}

// What a write sends that the target may not like, and what it leaves out, is
// said before the POD is touched.
TEST_F(OperationChecksTest, WarningsNameTheSectionsLeftOutAndThoseInTheBootRomStack) {
  const auto target = &ProgrammerOperations::TargetWrite;
  const auto podWrite = &ProgrammerOperations::PodWrite;
  const struct {
    const char* what;
    Operation operation;
    CoffWriter program;
    std::vector<std::string> warnings;
  } cases[] = {
      {"the boot ROM's vectors, Target Write",
       target,
       CoffWriter().Add(".text", 0x3E8000, {1}).Add(".reset", 0x3FFFC0, {0, 0x3F}),
       {"warning Not written in flash mode: .reset (outside the F2808's memory)"}},
      {"the boot ROM's vectors and RAM, POD Write",
       podWrite,
       CoffWriter()
           .Add(".text", 0x3E8000, {1})
           .Add("ramfuncs", 0x8000, {2})
           .Add("otp", 0x3D7800, {3})
           .Add(".reset", 0x3FFFC0, {0, 0x3F}),
       {"warning Not written in flash mode: ramfuncs (RAM), otp (OTP), .reset (outside the "
        "F2808's memory)"}},
      // The shared FlashAPIInterface2801V3_02.out puts its .econst there.
      {"the boot ROM's stack, Target Write into RAM",
       target,
       CoffWriter()
           .Add(".text", 0x8000, {1})
           .Add(".econst", 0x000400, std::vector<uint16_t>(36))
           .Add(".ebss", 0x000470, std::vector<uint16_t>(0x20))
           .Add("m1", 0x000480, {4}),
       {"warning Section .econst at 0x000400-0x000423 overlaps 0x000400-0x00047F, the boot ROM's "
        "stack while it loads the program into RAM (BOOT_RSVD in TI's linker files): the "
        "download may overwrite the loader that receives it",
        "warning Section .ebss at 0x000470-0x00048F overlaps 0x000400-0x00047F, the boot ROM's "
        "stack while it loads the program into RAM (BOOT_RSVD in TI's linker files): the "
        "download may overwrite the loader that receives it"}},
      // A flash write does not go through the boot loader's RAM download.
      {"M1 in a flash program",
       target,
       CoffWriter().Add(".text", 0x3E8000, {1}).Add(".ebss", 0x000400, {0}),
       {"warning Not written in flash mode: .ebss (RAM)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui_.events.clear();
    ops_ = std::make_unique<ProgrammerOperations>(std::make_unique<FakePortDriver>(clock_), clock_,
                                                  ui_);
    EXPECT_EQ((ops_.get()->*c.operation)(FileRequest(dir_, c.program)),
              OperationOutcome::DriverNotLoaded);
    EXPECT_EQ(ui_.Only("warning "), c.warnings);
  }
}

// The vendor library sees the POD but may not open it (no access to its USB
// device) and Linux's own driver, the fallback, has no port for it: what the
// library saw is shown, never "no FTDI device".
TEST_F(OperationChecksTest, APodSeenByTheBackendPassedOverIsShownInsteadOfNothing) {
  PortDetails pod;
  pod.port = "#0";
  pod.description = "Brontaflex POD";
  const struct {
    const char* what;
    std::vector<PortDetails> seenByTheOther;
    std::vector<std::string> shown;
  } cases[] = {
      {"seen by the other", {pod}, {"passed-over d2xx"}},
      {"seen by none", {}, {"seen nothing", "passed-over d2xx"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui_.seen.clear();
    auto driver = std::make_unique<FakePortDriver>(clock_);
    driver->devices.clear();
    ops_ = std::make_unique<ProgrammerOperations>(std::move(driver), clock_, ui_);
    ops_->SetDriverProbes({{"d2xx", false, "it sees the POD but cannot open it", c.seenByTheOther},
                           {"fake", true, "the kernel's own FTDI driver", {}}});
    ops_->LoadDriver();
    EXPECT_EQ(ops_->TargetReset(), OperationOutcome::PodNotFound);
    EXPECT_EQ(ui_.seen, c.shown);
  }
}

TEST_F(OperationChecksTest, EachConnectionFailureHasItsMessageAndLeavesNoPortOpen) {
  const struct {
    const char* what;
    std::function<void(FakePortDriver&)> setUp;
    OperationOutcome outcome;
    const char* message;
  } cases[] = {
      {"no driver", [](FakePortDriver& d) { d.loads = false; }, OperationOutcome::DriverNotLoaded,
       kDriverMissing},
      {"no POD",
       [](FakePortDriver& d) {
         d.devices = {"Brontaflex POD2", "USB Serial"};
       },
       OperationOutcome::PodNotFound, "No Connection to Brontaflex POD"},
      {"port fails", [](FakePortDriver& d) { d.failures["Configure"] = kPortIoError; },
       OperationOutcome::PortFailed, "Fail to open communication port"},
      {"POD silent", [](FakePortDriver&) {}, OperationOutcome::PodNoAnswer,
       "Fail to initialize Brontaflex POD"},
      {"POD answers", [](FakePortDriver& d) { d.AnswerEveryWrite("!"); }, OperationOutcome::Done,
       "Target board's reset is successful"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui_.events.clear();
    auto driver = std::make_unique<FakePortDriver>(clock_);
    c.setUp(*driver);
    fake_ = driver.get();
    ops_ = std::make_unique<ProgrammerOperations>(std::move(driver), clock_, ui_);
    ops_->LoadDriver();
    ui_.events.clear();

    EXPECT_EQ(ops_->TargetReset(), c.outcome);
    EXPECT_EQ(ui_.events.size(), 1u);
    EXPECT_EQ(ui_.LastMessage(), c.message);
    EXPECT_EQ(fake_->openPorts(), 0u);
    EXPECT_FALSE(ops_->link().isOpen());
  }
}

TEST_F(OperationChecksTest, EveryOperationOnASilentPodLetsTheCallerAnswerWithinAQuarterSecond) {
  using Run = std::function<OperationOutcome(ProgrammerOperations&, const OperationRequest&)>;
  const struct {
    const char* what;
    Run run;
    OperationOutcome outcome;
  } operations[] = {
      {"Target Write", &ProgrammerOperations::TargetWrite, OperationOutcome::SciBootFailed},
      {"Target Reset",
       [](ProgrammerOperations& o, const OperationRequest&) { return o.TargetReset(); },
       OperationOutcome::ResetFailed},
      {"POD Write", &ProgrammerOperations::PodWrite, OperationOutcome::PodWriteFailed},
      {"POD Verify", &ProgrammerOperations::PodVerify, OperationOutcome::PodVerifyReadFailed},
      {"POD Info", [](ProgrammerOperations& o, const OperationRequest&) { return o.PodInfo(); },
       OperationOutcome::PodInfoFailed},
  };
  const OperationRequest request = FileRequest(dir_, FlashProgram());
  for (const bool answersThePing : {true, false}) {
    for (const auto& operation : operations) {
      SCOPED_TRACE(std::string(operation.what) + (answersThePing ? "" : ", no ping answered"));
      auto driver = std::make_unique<FakePortDriver>(clock_);
      if (answersThePing) {
        driver->onWrite = [fake = driver.get()](std::string_view) {
          fake->QueueReply("!");
          fake->onWrite = nullptr;  // and silence from then on
        };
      }
      ops_ = std::make_unique<ProgrammerOperations>(std::move(driver), clock_, ui_);
      ops_->LoadDriver();
      std::vector<uint32_t> turns{clock_.NowMs()};
      ops_->SetIdleHook([&] { turns.push_back(clock_.NowMs()); });

      EXPECT_EQ(operation.run(*ops_, request),
                answersThePing ? operation.outcome : OperationOutcome::PodNoAnswer);
      turns.push_back(clock_.NowMs());
      ops_->SetIdleHook(nullptr);
      EXPECT_GT(turns.back() - turns.front(), 250u) << "the POD was waited for";
      uint32_t longest = 0;
      for (size_t i = 1; i < turns.size(); ++i) {
        longest = std::max(longest, turns[i] - turns[i - 1]);
      }
      EXPECT_LT(longest, 250u);
    }
  }
}

TEST_F(OperationChecksTest, StartReportsDriverAndPodSearchWithoutOpening) {
  EXPECT_TRUE(ops_->LoadDriver());
  EXPECT_TRUE(ops_->FindPod());
  EXPECT_EQ(ui_.events,
            std::vector<std::string>{"status Connection to Brontaflex POD is successful"});
  EXPECT_EQ(fake_->openPorts(), 0u);

  auto driver = std::make_unique<FakePortDriver>(clock_);
  driver->devices.clear();
  ops_ = std::make_unique<ProgrammerOperations>(std::move(driver), clock_, ui_);
  ops_->LoadDriver();
  EXPECT_FALSE(ops_->FindPod());
  EXPECT_EQ(ui_.events.back(), "error No Connection to Brontaflex POD");
}

TEST_F(OperationChecksTest, CsmKeysFromTheirTexts) {
  CsmKeyTexts texts{" 1a ", "g1", "0x12", "", "ffff", "7", "12345", "  "};
  EXPECT_TRUE(ops_->ReadCsmKeys(texts));
  EXPECT_EQ(ops_->csmKeys(),
            (CsmKeys{0x001A, 0x0000, 0x0012, 0xFFFF, 0xFFFF, 0x0007, 0x2345, 0xFFFF}));

  texts.fill("");
  EXPECT_TRUE(ops_->ReadCsmKeys(texts));
  EXPECT_EQ(ops_->csmKeys(), kErasedCsmKeys);

  texts.fill("0000");
  EXPECT_FALSE(ops_->ReadCsmKeys(texts));
  texts[7] = "1";
  EXPECT_TRUE(ops_->ReadCsmKeys(texts));
}

TEST_F(OperationChecksTest, LoadKeepsTheImageWhenTheFileIsMissingAndEmptiesItWhenUnreadable) {
  const std::string good = dir_.Write("motor_ctl.out", FlashProgram().Build());
  EXPECT_EQ(ops_->Load("  " + good + "\t", kF2809), OperationOutcome::Done);
  EXPECT_TRUE(ops_->imageLoaded());
  EXPECT_EQ(ops_->programName(), "motor_ct");
  EXPECT_EQ(ops_->mcuType(), kF2809);
  EXPECT_EQ(ui_.events,
            (std::vector<std::string>{"recent " + good, "status Reading COFF file is successful"}));

  EXPECT_EQ(ops_->LoadProgramFile((dir_.path() / "other.out").string(), true, kF2808),
            OperationOutcome::FileNotFound);
  EXPECT_TRUE(ops_->imageLoaded());
  EXPECT_EQ(ops_->programName(), "motor_ct");
  EXPECT_EQ(ops_->image().sectionCount(), 4);

  const std::string bad = dir_.Write("notes.out", {'n', 'o', 't', 'e', 's'});
  EXPECT_EQ(ops_->LoadProgramFile(bad, false, kF2808), OperationOutcome::FileNotLoaded);
  EXPECT_FALSE(ops_->imageLoaded());
  EXPECT_EQ(ops_->programName(), "notes");
  EXPECT_EQ(ops_->image().sectionCount(), 0);
  EXPECT_EQ(ui_.events.back(), "error The specified file is not COFF format");
  EXPECT_EQ(ui_.Only("recent").size(), 1u);

  EXPECT_EQ(ops_->Load(" \t", kF2808), OperationOutcome::NoFileGiven);
  EXPECT_EQ(ui_.events.back(), "error Please, specify COFF file to read");
}

}  // namespace
