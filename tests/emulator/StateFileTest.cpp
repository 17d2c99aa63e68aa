// The emulated POD's state file on disk: private, never written through a
// planted link, whole after a kill, refused writes when it cannot be kept, and
// one process at a time.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "emulator/SerialFlashStore.h"
#include "tests/emulator/WireHarness.h"

namespace fs = std::filesystem;

namespace {

std::string FileText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Stores a one-page program with a tag, as a POD Write does, and returns the
// replies in order.
std::vector<std::string> StoreSmallProgram(WireHarness& wire) {
  std::vector<std::string> replies;
  wire.Send(Frame('G'));
  replies.push_back(wire.Exchange(Frame('V',
                                        "00"
                                        "3F4000"
                                        "000002"
                                        "000000")));
  wire.StreamWords({0x1234, 0x5678});
  replies.push_back(wire.Exchange(Frame('W',
                                        "0000"
                                        "0004")));
  replies.push_back(wire.Exchange(Frame('T', "44454D4F0000000007D60C140E05")));
  replies.push_back(wire.Exchange(Frame('Q',
                                        "4"
                                        "0"
                                        "0001"
                                        "00")));
  wire.Send(Frame('H'));
  return replies;
}

// Contents large enough that saving them takes a while.
SerialFlashContents ManyPages(uint8_t fill) {
  SerialFlashContents contents;
  for (uint16_t page = 0; page < 1500; ++page) {
    contents.pages[page] = std::vector<uint8_t>(SerialFlashStore::kPageBytes, fill);
  }
  contents.tag = StoredTag{fill};
  return contents;
}

class StateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "bfx-state-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder = pattern;
    state = folder / "pod";
    config.pod.statePath = state.string();
  }
  void TearDown() override { fs::remove_all(folder); }

  std::set<std::string> FolderEntries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  fs::path folder;
  fs::path state;
  EmulatorConfig config;
};

TEST_F(StateFileTest, StoreIsSavedPrivatelyAndAlone) {
  {
    WireHarness wire(config);
    wire.Open();
    EXPECT_EQ(StoreSmallProgram(wire), std::vector<std::string>(4, "!"));
  }
  struct stat info {};
  ASSERT_EQ(stat(state.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(FolderEntries(), (std::set<std::string>{"pod", "pod.lock"}));
  EXPECT_NE(FileText(state).find("tag 44454D4F"), std::string::npos);
}

TEST_F(StateFileTest, LinkPlantedAtTheOldTemporaryNameIsNeverFollowed) {
  const fs::path victim = folder / "victim";
  std::ofstream(victim) << "precious\n";
  fs::create_symlink(victim, folder / "pod.tmp");
  {
    WireHarness wire(config);
    wire.Open();
    StoreSmallProgram(wire);
  }
  EXPECT_EQ(FileText(victim), "precious\n");
  EXPECT_TRUE(fs::is_symlink(folder / "pod.tmp"));
  EXPECT_NE(FileText(state).find("tag 44454D4F"), std::string::npos);
}

// A POD that cannot keep what it is given refuses it; the PC hears it at once.
TEST_F(StateFileTest, StateThatCannotBeSavedRefusesTheFirstWrite) {
  const struct {
    const char* name;
    fs::path path;
    bool makeDirectory;
  } cases[] = {
      {"the path is a folder", folder / "pod", true},
      {"its folder is missing", folder / "gone" / "pod", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.makeDirectory) {
      fs::create_directory(c.path);
    }
    config.pod.statePath = c.path.string();
    WireHarness wire(config);
    wire.Open();
    EXPECT_EQ(StoreSmallProgram(wire)[0], kNakReply);
    EXPECT_FALSE(wire.driver.Store().SaveError().empty());
  }
}

// Saves after the first write of an access go to a thread of their own; one
// that fails refuses the writes after it, until a save succeeds.
TEST_F(StateFileTest, SavesInTheBackgroundLandAndTheirFailureRefusesLaterWrites) {
  SerialFlashStore store(state.string());
  store.Begin();
  ASSERT_EQ(store.PutTag(StoredTag{1}), std::nullopt);
  store.WaitForSaves();
  EXPECT_EQ(SerialFlashStore(state.string()).Contents().tag, StoredTag{1});

  fs::remove_all(folder);
  store.PutTag(StoredTag{2});  // whether its save has failed yet is up to the thread
  store.WaitForSaves();
  EXPECT_NE(store.SaveError().find("cannot save the POD state file"), std::string::npos);
  EXPECT_NE(store.PutTag(StoredTag{3}), std::nullopt);

  fs::create_directory(folder);
  EXPECT_TRUE(store.Save());
  EXPECT_EQ(store.PutTag(StoredTag{4}), std::nullopt);
  store.WaitForSaves();
  EXPECT_EQ(store.SaveError(), "");
  EXPECT_EQ(SerialFlashStore(state.string()).Contents().tag, StoredTag{4});
}

TEST_F(StateFileTest, KillDuringSaveLeavesOldOrNewContentsWholeAndNothingBeside) {
  const SerialFlashContents before = ManyPages(0xAA);
  const SerialFlashContents after = ManyPages(0x55);
  {
    SerialFlashStore store(state.string());
    store.Replace(before);
    ASSERT_TRUE(store.Save());
  }
  for (int delayMs = 1; delayMs <= 40; delayMs += 3) {
    SCOPED_TRACE(delayMs);
    const pid_t saver = fork();
    ASSERT_GE(saver, 0);
    if (saver == 0) {
      SerialFlashStore store(state.string());
      for (int round = 0;; ++round) {
        store.Replace(round % 2 == 0 ? after : before);
        store.Save();
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    kill(saver, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(saver, &status, 0), saver);

    SerialFlashStore reread(state.string());
    ASSERT_EQ(reread.LoadError(), "");
    EXPECT_TRUE(reread.Contents() == before || reread.Contents() == after);
    std::string why;
    ASSERT_TRUE(reread.Claim(why)) << why;
    EXPECT_EQ(FolderEntries(), (std::set<std::string>{"pod", "pod.lock"}));
  }
}

TEST_F(StateFileTest, TwoProcessesNeverShareOnePod) {
  WireHarness first(config);
  first.Open();
  EmulatorDriver second(first.clock, config);
  std::unique_ptr<Port> port;
  EXPECT_EQ(second.Open(kPodKey, port), kPortNotOpened);
  EXPECT_EQ(second.PortBusy(),
            state.string() + " is in use by process " + std::to_string(getpid()));

  StoreSmallProgram(first);
  first.port.reset();
  // Its save and the release after it land on a thread of its own.
  first.driver.Store().WaitForSaves();
  // The second takes up what the first stored while it waited.
  ASSERT_EQ(second.Open(kPodKey, port), kPortOk);
  EXPECT_EQ(second.PortBusy(), "");
  EXPECT_EQ(second.Store().Contents(), first.driver.Store().Contents());
  EXPECT_TRUE(second.Store().Contents().tag.has_value());
}

}  // namespace
