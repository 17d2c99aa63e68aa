// The dialog's rules without a window: each event in each state and what the
// view is told, the busy order, the status line, the recent files, the browse
// folder, the start and the end, on an emulated POD.
#include "dialog/DialogModel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "emulator/EmulatorDriver.h"
#include "image/Sha256.h"
#include "tests/dialog/RecordingView.h"
#include "tests/ops/Programs.h"
#include "tests/support/Environment.h"
#include "tests/support/FakeClock.h"

namespace {

using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsSupersetOf;

MATCHER_P(Matches, pattern, std::string("matches ") + pattern) {
  return std::regex_match(arg, std::regex(pattern));
}

class DialogModelTest : public testing::Test {
 protected:
  DialogModelTest() { Start(); }

  // A new window on a new emulated POD (one, unless `config` says more), from
  // empty settings unless `keepSettings`.
  void Start(EmulatorConfig config = {}, bool keepSettings = false) {
    model_.reset();
    if (!keepSettings) {
      store_ = MemorySettingsStore();
    }
    model_ =
        std::make_unique<DialogModel>(view_, store_, clock_, [this, config](Clock& clock, McuType) {
          auto driver = std::make_unique<EmulatorDriver>(clock, config);
          emulator_ = driver.get();
          return driver;
        });
    view_.events.clear();
    model_->Start();
  }
  std::string Write(const std::string& name, const CoffWriter& program) const {
    return dir_.Write(name, program.Build());
  }
  // Types `path` into File Path and presses Load.
  void Load(const std::string& path) {
    model_->OnFilePathEdited(path);
    model_->OnLoad();
  }
  size_t FramesSeen() const { return emulator_->Transcript().size(); }
  uint16_t TargetWord(uint32_t address) const { return emulator_->Target().ReadWord(address); }

  FakeClock clock_;
  MemorySettingsStore store_;
  RecordingView view_;
  ScratchDir dir_;
  EmulatorDriver* emulator_ = nullptr;
  std::unique_ptr<DialogModel> model_;
};

TEST_F(DialogModelTest, FirstStartShowsTheDefaultsAndWhatTheSearchForThePodFound) {
  EXPECT_THAT(view_.events,
              IsSupersetOf(std::vector<std::string>{
                  "mcu 3", "recent ", "status Connection to Brontaflex POD is successful",
                  "erase-all 0", "csm 0", "caption 0 KEY0 (0x3F7FF8)", "caption 7 KEY7 (0x3F7FFF)",
                  "key 0 FFFF", "key 7 FFFF", "keys-enabled 0", "pod-name "}));
  EXPECT_TRUE(model_->initialized());
  EXPECT_EQ(FramesSeen(), 0u) << "the search opens no port";
}

TEST_F(DialogModelTest, StartRestoresTheSettingsAndLoadsTheMostRecentFileInPlace) {
  const std::string a = Write("a.out", FlashProgram());
  const std::string b = Write("b.out", FlashProgram(1));
  ProgrammerSettings saved;
  saved.useCsm = true;
  saved.keys[2] = 0x12AB;
  saved.podFileName = "MOTOR";
  saved.recentFiles = {a, b};
  model_.reset();
  SaveSettings(store_, saved);
  store_.WriteInteger("Main Configuration", "MCU Type", 9);  // past the last device
  Start({}, true);
  EXPECT_THAT(view_.events, IsSupersetOf(std::vector<std::string>{
                                "mcu 4", "recent " + a + "|" + b, "path " + a, "csm 1",
                                "key 2 12AB", "keys-enabled 1", "pod-name MOTOR"}));
  EXPECT_EQ(view_.LastMessage(), "status Reading COFF file is successful");
  EXPECT_EQ(model_->recentFiles(), (std::vector{a, b})) << "not moved by the start's load";
  EXPECT_TRUE(model_->Operations()->imageLoaded());
}

TEST_F(DialogModelTest, EndSavesWhatTheControlsShowOnce) {
  const std::string a = Write("a.out", FlashProgram());
  Load(a);
  model_->OnMcuSelected(1);
  model_->OnEraseAllChosen(true);
  model_->OnKeyEdited(3, "00AA");  // typed while the CSM option is off: not kept
  model_->OnPodFileNameEdited("TYPED");
  model_->End();
  model_->End();
  EXPECT_EQ(model_->Operations(), nullptr) << "link, driver and image released";
  EXPECT_EQ(store_.flushes(), 1);
  ProgrammerSettings expected;
  expected.mcuType = kF2802;
  expected.eraseAll = true;
  expected.recentFiles = {a};
  // The name the last POD Write used, not what the edit holds.
  expected.podFileName = "";
  EXPECT_EQ(LoadSettings(store_), expected);
}

// Each event, as the user makes it.
struct Event {
  const char* name;
  std::function<void(DialogModel&)> make;
  // What the view shows last with no file loaded, then with one loaded.
  const char* withoutFile;
  const char* withFile;
};

const Event kEvents[] = {
    {"Load", [](DialogModel& m) { m.OnLoad(); }, "error Please, specify COFF file to read",
     "status Reading COFF file is successful"},
    {"Target Write", [](DialogModel& m) { m.OnTargetWrite(); },
     "error Please, specify COFF file to write target",
     "status Flash Write Completed - [0-9]+\\.[0-9]{2} sec"},
    {"Target Reset", [](DialogModel& m) { m.OnTargetReset(); },
     "status Target board's reset is successful", "status Target board's reset is successful"},
    {"POD Write", [](DialogModel& m) { m.OnPodWrite(); },
     "error Please, specify COFF file to write serial flash in Brontaflex POD",
     "status EEPROM Write Completed - [0-9]+\\.[0-9]{2} sec"},
    {"POD Verify", [](DialogModel& m) { m.OnPodVerify(); },
     "error Please, specify COFF file to verify serial flash in Brontaflex POD",
     "error There is no COFF file data in serial flash"},
    {"POD Info", [](DialogModel& m) { m.OnPodInfo(); }, "status POD Ver: 1\\.1, No POD File Data",
     "status POD Ver: 1\\.1, No POD File Data"},
    {"Exit", [](DialogModel& m) { m.OnExit(); }, "close", "close"},
    {"Enter off the buttons", [](DialogModel& m) { m.OnEnter(); }, "close", "close"},
    {"About", [](DialogModel& m) { m.OnSysCommand(DialogModel::kAboutCommand); }, "about", "about"},
    {"Browse, cancelled", [](DialogModel& m) { m.OnBrowse(); }, "ask ", "ask "},
};

// What an event did: opened something, ended the window, or else the status
// line it left (the line is painted only when it changes).
std::string Outcome(const RecordingView& view, const DialogModel& model) {
  for (const std::string& e : view.events) {
    if (e == "close" || e == "about" || e.starts_with("ask ")) {
      return e;
    }
  }
  return (model.statusIsError() ? "error " : "status ") + model.statusText();
}

TEST_F(DialogModelTest, EachEventWithAndWithoutAFileLoaded) {
  const std::string program = Write("p.out", FlashProgram());
  for (const Event& event : kEvents) {
    for (const bool loaded : {false, true}) {
      SCOPED_TRACE(std::string(event.name) + (loaded ? ", file loaded" : ", no file"));
      Start();
      if (loaded) {
        Load(program);
      }
      view_.events.clear();
      event.make(*model_);
      EXPECT_THAT(Outcome(view_, *model_), Matches(loaded ? event.withFile : event.withoutFile));
      EXPECT_FALSE(model_->busy());
      EXPECT_FALSE(emulator_->IsOpen()) << "the port is open only during an operation";
    }
  }
}

TEST_F(DialogModelTest, EveryEventDuringAnOperationIsDroppedAndNeverActsAfterIt) {
  Load(Write("p.out", FlashProgram()));
  for (const Event& event : kEvents) {
    SCOPED_TRACE(event.name);
    bool made = false;
    view_.onBarMove = [&] {
      if (made) {
        return;
      }
      made = true;
      const size_t before = view_.events.size();
      event.make(*model_);
      EXPECT_EQ(view_.events.size(), before) << view_.events.back();
    };
    view_.events.clear();
    model_->OnTargetWrite();
    view_.onBarMove = nullptr;
    EXPECT_TRUE(made);
    EXPECT_THAT(view_.LastMessage(), Matches("status Flash Write Completed - .*"));
    EXPECT_THAT(view_.events, testing::Not(Contains("close")));
    EXPECT_EQ(view_.events.front(), "hold 1");
    EXPECT_EQ(view_.events.back(), "hold 0");
  }
}

TEST_F(DialogModelTest, AfterAFailureTheButtonsAreBackAndTheNextRunWorks) {
  Load(Write("p.out", FlashProgram()));
  emulator_->Faults().Add(FaultTrigger::OnLetter('O', 2), {FaultKind::Unplug});
  model_->OnTargetWrite();
  EXPECT_TRUE(view_.LastMessage().starts_with("error ")) << view_.LastMessage();
  EXPECT_THAT(view_.Only("enable ").back(), "enable TargetWrite 1");
  EXPECT_EQ(view_.Only("wait ").back(), "wait 0");
  EXPECT_THAT(model_->statusDetail(), HasSubstr("cause: "));
  // The POD is plugged in again.
  Start();
  Load(Write("p.out", FlashProgram()));
  model_->OnTargetReset();
  EXPECT_EQ(view_.LastMessage(), "status Target board's reset is successful");
}

TEST_F(DialogModelTest, BusySwitchesTheSevenButtonsInTheirOrderWithTheWaitCursor) {
  for (const bool busy : {true, false}) {
    view_.events.clear();
    model_->SetBusy(busy);
    const std::string b = busy ? " 0" : " 1";
    const std::vector<std::string> buttons{
        "enable Load" + b,     "enable TargetReset" + b, "enable PodInfo" + b,    "enable Exit" + b,
        "enable PodWrite" + b, "enable PodVerify" + b,   "enable TargetWrite" + b};
    std::vector<std::string> expected = buttons;
    if (busy) {
      expected.push_back("wait 1");
    } else {
      expected.insert(expected.begin(), "wait 0");
    }
    EXPECT_EQ(view_.events, expected);
  }
  // Exit is refused while busy: the window never goes away under an operation.
  model_->SetBusy(true);
  view_.events.clear();
  model_->OnExit();
  EXPECT_THAT(view_.events, testing::IsEmpty());
  model_->SetBusy(false);
}

TEST_F(DialogModelTest, TheStatusLineIsPaintedOnlyWhenItChanges) {
  view_.events.clear();
  model_->ShowStatus("Writing Flash Memory...", false);
  model_->ShowStatus("Writing Flash Memory...", false);
  model_->ShowStatus("Writing Flash Memory...", true);
  model_->ShowStatus("Writing Flash Memory...", false);
  EXPECT_THAT(view_.events,
              ElementsAre("status Writing Flash Memory...", "error Writing Flash Memory...",
                          "status Writing Flash Memory..."));
}

TEST_F(DialogModelTest, TheBarMovesOnlyWhenWhatItShowsChanges) {
  // A full F2809 flash write steps the bar once a word.
  constexpr int32_t kWords = 131'072;
  std::set<int32_t> percentages;
  view_.onBarMove = [&] { percentages.insert(view_.barPos); };
  model_->SetUpBar(kWords);
  view_.barMoves = 0;
  for (int32_t word = 0; word < kWords; ++word) {
    ASSERT_EQ(model_->StepBar(), word);
  }
  EXPECT_EQ(view_.barPos, kWords) << "the last step always shows";
  EXPECT_LE(view_.barMoves, 512 + 100);
  EXPECT_GE(view_.barMoves, 100);
  // Every percentage showed: the view saw a position in each hundredth.
  std::set<int32_t> hundredths;
  for (const int32_t position : percentages) {
    hundredths.insert(static_cast<int32_t>(int64_t{position} * 100 / kWords));
  }
  EXPECT_EQ(hundredths.size(), 101u);

  view_.barMoves = 0;
  EXPECT_EQ(model_->SetBarPos(0), kWords);
  EXPECT_EQ(view_.barPos, 0);
  EXPECT_EQ(model_->SetBarPos(0), 0);
  EXPECT_EQ(view_.barMoves, 1) << "the same position again shows nothing new";
}

TEST_F(DialogModelTest, CsmOptionSwitchesTheKeyEditsAndKeepsTheirTexts) {
  model_->OnKeyEdited(0, "1234");
  view_.events.clear();
  model_->OnCsmOption(true);
  model_->OnCsmOption(false);
  EXPECT_THAT(view_.events, ElementsAre("keys-enabled 1", "keys-enabled 0"));
  EXPECT_EQ(model_->Request().keyTexts[0], "1234");
}

TEST_F(DialogModelTest, RecentFilesKeepTheMostRecentFirstAndAtMostTen) {
  std::vector<std::string> files;
  for (int i = 0; i < 11; ++i) {
    files.push_back(Write("p" + std::to_string(i) + ".out", FlashProgram()));
  }
  // The first file joins the list, and the edit keeps what was typed.
  model_->OnFilePathEdited("  " + files[0] + " ");
  model_->OnLoad();
  EXPECT_EQ(model_->recentFiles(), std::vector{files[0]});
  EXPECT_EQ(model_->filePath(), "  " + files[0] + " ");
  for (int i = 1; i < 11; ++i) {
    Load(files[i]);
  }
  EXPECT_EQ(model_->recentFiles().size(), 10u) << "the oldest dropped";
  EXPECT_EQ(model_->recentFiles().front(), files[10]);
  EXPECT_EQ(model_->recentFiles().back(), files[1]);
  // A file in the list moves to the head, once.
  Load(files[5]);
  EXPECT_EQ(model_->recentFiles().front(), files[5]);
  EXPECT_EQ(std::ranges::count(model_->recentFiles(), files[5]), 1);
  EXPECT_EQ(model_->filePath(), files[5]);
  // Choosing from the list loads the entry.
  model_->OnRecentFileChosen(3);
  EXPECT_EQ(view_.LastMessage(), "status Reading COFF file is successful");
  EXPECT_EQ(model_->recentFiles().size(), 10u);
}

TEST_F(DialogModelTest, BrowseOpensInTheRememberedFolderAndRemembersTheNewOneAtOnce) {
  const std::string chosen = Write("chosen.out", FlashProgram());
  view_.chosenFile = chosen;
  model_->OnBrowse();
  const std::string folder = chosen.substr(0, chosen.find_last_of("/\\") + 1);
  EXPECT_EQ(store_.Find("Main Configuration", "File Directory"), MemorySettingsStore::Value(folder))
      << "kept before the window ends";
  EXPECT_EQ(model_->filePath(), chosen);
  EXPECT_EQ(view_.LastMessage(), "status Reading COFF file is successful");
  view_.chosenFile.reset();
  view_.events.clear();
  model_->OnBrowse();
  EXPECT_THAT(view_.events, ElementsAre("ask " + folder)) << "cancelled: nothing more";
}

TEST_F(DialogModelTest, WhatIsWrittenIsWhatFilePathShowsAsTheFileIsNow) {
  const std::string first = Write("first.out", FlashProgram(0));
  const std::string second = Write("second.out", FlashProgram(7));
  const uint32_t text = 0x3E8000;  // the first word of .text
  const struct {
    const char* name;
    std::function<void()> change;
    uint16_t written;  // the word Target Write puts at .text; 0xFFFF: nothing written
    const char* message;
  } cases[] = {
      {"unchanged", [] {}, 0x1000, "status Flash Write Completed - .*"},
      {"another path typed without Load", [&] { model_->OnFilePathEdited(second); }, 0x1007,
       "status Flash Write Completed - .*"},
      {"the file rebuilt", [&] { Write("first.out", FlashProgram(3)); }, 0x1003,
       "status Flash Write Completed - .*"},
      {"the file deleted", [&] { std::filesystem::remove(first); }, 0xFFFF,
       "error The specified COFF file isn't exist"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Write("first.out", FlashProgram(0));
    Start();
    Load(first);
    c.change();
    model_->OnTargetWrite();
    EXPECT_THAT(view_.LastMessage(), Matches(c.message));
    EXPECT_EQ(TargetWord(text), c.written);
  }
}

TEST_F(DialogModelTest, EachOperationAppendsItsLineToTheLogTheEnvironmentNames) {
  const std::string program = Write("board.out", FlashProgram(0));
  const std::string logPath = (dir_.path() / "run.log").string();
  SetEnvironment("BRONTAFLEX_LOG", logPath.c_str());
  Load(program);
  model_->OnTargetWrite();
  emulator_->Faults().Add(FaultTrigger::AtFrame(emulator_->Transcript().size() + 1),
                          Fault{.kind = FaultKind::NoReply});
  model_->OnPodInfo();
  model_->OnPodInfo();
  SetEnvironment("BRONTAFLEX_LOG", nullptr);

  std::ifstream file(logPath);
  std::vector<nlohmann::json> lines;
  for (std::string line; std::getline(file, line);) {
    lines.push_back(nlohmann::json::parse(line));
  }
  ASSERT_EQ(lines.size(), 3u);
  const nlohmann::json& write = lines[0];
  EXPECT_THAT(write["time"].get<std::string>(), Matches("20[0-9-]{8}T[0-9:]{8}Z"));
  EXPECT_FALSE(write["host"].get<std::string>().empty());
  EXPECT_FALSE(write["user"].get<std::string>().empty());
  EXPECT_EQ(write["command"], "target-write");
  EXPECT_EQ(write["file"], program);
  EXPECT_EQ(write["fileSha256"], FileSha256(program));
  EXPECT_EQ(write["memorySha256"], model_->Operations()->memoryDigest());
  EXPECT_EQ(write["device"], "F2808");
  EXPECT_EQ(write["pod"], "BFX00001");
  EXPECT_EQ(write["outcome"], "Done");
  EXPECT_EQ(write["exitStatus"], 0);
  EXPECT_THAT(write["message"].get<std::string>(), HasSubstr("Flash Write Completed - "));
  EXPECT_TRUE(write["cause"].is_null());
  EXPECT_TRUE(write["serialNumber"].is_null());

  const nlohmann::json& failed = lines[1];
  EXPECT_EQ(failed["command"], "pod-info");
  EXPECT_TRUE(failed["file"].is_null());
  EXPECT_EQ(failed["outcome"], "PodNoAnswer");
  EXPECT_EQ(failed["exitStatus"], 23);
  EXPECT_THAT(failed["cause"].get<std::string>(), HasSubstr("time-out"));
  EXPECT_EQ(lines[2]["podFirmware"], "1.1");

  // A log that cannot be opened refuses the run before the POD is asked.
  const size_t frames = FramesSeen();
  SetEnvironment("BRONTAFLEX_LOG", (dir_.path() / "no folder" / "run.log").string().c_str());
  model_->OnTargetReset();
  SetEnvironment("BRONTAFLEX_LOG", nullptr);
  EXPECT_THAT(view_.LastMessage(), HasSubstr("error the log "));
  EXPECT_EQ(FramesSeen(), frames);
  EXPECT_FALSE(model_->busy());
}

TEST_F(DialogModelTest, StatusDetailNamesTheLoadedProgramAndItsMemoryDigest) {
  const std::string first = Write("first.out", FlashProgram(0));
  const std::string second = Write("second.out", FlashProgram(7));
  Load(first);
  const std::string firstDigest = model_->Operations()->memoryDigest();
  ASSERT_EQ(firstDigest.size(), 64u);
  EXPECT_THAT(model_->statusDetail(),
              HasSubstr("program: " + first + "\nmemory digest: " + firstDigest));
  // It stays beside what a run says, and follows the next load.
  model_->OnTargetReset();
  EXPECT_THAT(model_->statusDetail(), HasSubstr("driver: emulator"));
  EXPECT_THAT(model_->statusDetail(), HasSubstr("memory digest: " + firstDigest));
  Load(second);
  EXPECT_NE(model_->Operations()->memoryDigest(), firstDigest);
  EXPECT_THAT(model_->statusDetail(),
              HasSubstr("memory digest: " + model_->Operations()->memoryDigest()));
  // A file refused leaves no program to name; a folder is refused at once.
  Load(dir_.Write("bad.out", {'n', 'o'}));
  EXPECT_THAT(model_->statusDetail(), testing::Not(HasSubstr("memory digest")));
  Load(std::filesystem::path(first).parent_path().string());
  EXPECT_EQ(view_.LastMessage(), "error Fail to open specified file (a directory)");
}

TEST_F(DialogModelTest, SeveralPodsAreRefusedUnlessTheEnvironmentNamesOne) {
  EmulatorConfig two;
  two.devices = {"Brontaflex POD", "Brontaflex POD"};
  two.serialNumbers = {"BFX00001", "BFX00002"};
  Start(two);
  model_->OnTargetReset();
  EXPECT_EQ(view_.LastMessage(),
            "error Several Brontaflex PODs are attached; choose one with BRONTAFLEX_POD=SERIAL");
  EXPECT_THAT(model_->statusDetail(), HasSubstr("serial BFX00001"));
  EXPECT_THAT(model_->statusDetail(), HasSubstr("serial BFX00002"));
  EXPECT_EQ(FramesSeen(), 0u);

  SetEnvironment("BRONTAFLEX_POD", "BFX00001");
  Start(two);
  SetEnvironment("BRONTAFLEX_POD", nullptr);
  model_->OnTargetReset();
  EXPECT_EQ(view_.LastMessage(), "status Target board's reset is successful");
  EXPECT_THAT(model_->statusDetail(), HasSubstr("serial BFX00001"));
  EXPECT_THAT(model_->statusDetail(), HasSubstr("driver: emulator"));
}

TEST_F(DialogModelTest, PodFileNameHoldsNoMoreThanThePodStores) {
  const struct {
    const char* typed;
    const char* shown;  // as the edit shows it and POD Write stores it
  } cases[] = {
      {"MOTOR", "MOTOR"},
      {"ABCDEFGHIJ", "ABCDEFGH"},
      {"모터제어보드", "모터"},  // eight bytes hold two Hangul syllables, not a third's part
  };
  Load(Write("board.out", FlashProgram()));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    view_.events.clear();
    model_->OnPodFileNameEdited(c.typed);
    EXPECT_EQ(model_->podFileNameText(), c.shown);
    if (std::string(c.typed) != c.shown) {
      EXPECT_THAT(view_.events, ElementsAre(std::string("pod-name ") + c.shown));
    }
    model_->OnPodWrite();
    model_->OnPodInfo();
    EXPECT_THAT(view_.LastMessage(),
                HasSubstr(std::string("POD File Name: ") + c.shown + " [when"));
  }
}

TEST_F(DialogModelTest, PodVerifyAfterADeviceChangeIsRefusedBeforeThePodIsAsked) {
  Load(Write("f2808.out", FlashProgram()));
  model_->OnPodWrite();
  const size_t frames = FramesSeen();
  model_->OnMcuSelected(0);  // F2801, whose flash starts at 0x3F4000
  model_->OnPodVerify();
  EXPECT_THAT(view_.LastMessage(), Matches("error Section \\S+ at 0x3E8000 lies outside .*F2801"));
  EXPECT_EQ(FramesSeen(), frames);
}

}  // namespace
