// The POD's serial-flash store from the wire: records, pages, password, tag and
// COFF information stored and read back in the reply layouts, pages compared,
// the G..H access rules, abandoned stores, and the state file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "image/Utf8Path.h"
#include "tests/emulator/WireHarness.h"
#include "tests/support/CoffWriter.h"
#include "tests/support/ScratchDir.h"

namespace {

const CsmKeys kKeys{0x0102, 0x0304, 0x0506, 0x0708, 0x090A, 0x0B0C, 0x0D0E, 0xF0F1};
// "DEMO" at 14:05 on 20 December 2006.
const StoredTag kTag{'D', 'E', 'M', 'O', 0, 0, 0, 0, 0x07, 0xD6, 12, 20, 14, 5};

std::string TagDigits(const StoredTag& tag) {
  std::string digits;
  for (const uint8_t byte : tag) {
    digits += Hex(byte, 2);
  }
  return digits;
}

std::vector<uint16_t> ProgramWords() {
  std::vector<uint16_t> words(200);
  for (size_t n = 0; n < words.size(); ++n) {
    words[n] = static_cast<uint16_t>(0x4100 + n * 3);
  }
  return words;
}

// The words as the PC streams them: bytes exchanged.
std::vector<uint16_t> Streamed(std::vector<uint16_t> words) {
  for (uint16_t& word : words) {
    word = static_cast<uint16_t>(word << 8 | word >> 8);
  }
  return words;
}

// Stores one section of 200 words at 0x3F4000 in two pages, with the password,
// the tag and the COFF information, as a POD Write does.
void StoreProgram(WireHarness& wire) {
  const auto streamed = Streamed(ProgramWords());
  wire.Send(Frame('G'));
  EXPECT_EQ(wire.Exchange(Frame('V',
                                "00"
                                "3F4000"
                                "0000C8"
                                "000000")),
            "!");
  wire.StreamWords({streamed.begin(), streamed.begin() + 132});
  EXPECT_EQ(wire.Exchange(Frame('W',
                                "0000"
                                "0108")),
            "!");
  wire.StreamWords({streamed.begin() + 132, streamed.end()});
  EXPECT_EQ(wire.Exchange(Frame('W',
                                "0001"
                                "0088")),
            "!");
  EXPECT_EQ(wire.Exchange(Frame('P', KeyDigits(kKeys))), "!");
  EXPECT_EQ(wire.Exchange(Frame('T', TagDigits(kTag))), "!");
  EXPECT_EQ(wire.Exchange(Frame('Q',
                                "4"
                                "1"
                                "000F"
                                "01")),
            "!");
  EXPECT_EQ(wire.Exchange(Frame('H')), "");
}

TEST(SerialFlashTest, StoresAProgramAndReadsItBackInTheReplyLayouts) {
  WireHarness wire;
  wire.Open();
  EXPECT_EQ(wire.Exchange(Frame('J')), "!" + std::string(15, '\xFF'));
  StoreProgram(wire);

  const SerialFlashContents& stored = wire.driver.Store().Contents();
  ASSERT_EQ(stored.sections.size(), 1u);
  EXPECT_EQ(stored.sections.at(0), (StoredSection{0x3F4000, 200, 0}));
  ASSERT_EQ(stored.pages.size(), 2u);
  EXPECT_EQ(stored.pages.at(0).size(), 264u);
  EXPECT_EQ(stored.pages.at(1).size(), 136u);
  // The pages hold the program's bytes in file order, low byte first.
  std::vector<uint8_t> fileBytes;
  for (const uint16_t word : ProgramWords()) {
    fileBytes.push_back(static_cast<uint8_t>(word));
    fileBytes.push_back(static_cast<uint8_t>(word >> 8));
  }
  EXPECT_EQ(stored.ProgramBytes(), fileBytes);
  EXPECT_EQ(stored.password, kKeys);
  EXPECT_EQ(stored.tag, kTag);
  EXPECT_EQ(stored.coffInfo, (StoredCoffInfo{4, 1, 0x000F, 1}));

  // The tag can be read without an access; the rest needs one.
  EXPECT_EQ(wire.Exchange(Frame('J')), "!\x01" + std::string(kTag.begin(), kTag.end()));
  wire.Send(Frame('G'));
  EXPECT_EQ(wire.Exchange(Frame('h')), std::string("!w\x04\x01\x0F\x01\x01", 7));
  EXPECT_EQ(wire.Exchange(Frame('g')),
            std::string("!\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\xF0\xF1", 17));
  EXPECT_EQ(wire.Exchange(Frame('l', "00")),
            std::string("!\x3F\x40\x00\x00\x00\xC8\x00\x00\x00", 10));
  EXPECT_EQ(wire.Exchange(Frame('l', "01")), "!" + std::string(9, '\xFF'));
}

TEST(SerialFlashTest, ComparesStreamedPagesWithTheStoredOnes) {
  WireHarness wire;
  wire.Open();
  StoreProgram(wire);
  auto streamed = Streamed(ProgramWords());
  wire.Send(Frame('G'));
  wire.StreamWords({streamed.begin(), streamed.begin() + 132});
  EXPECT_EQ(wire.Exchange(Frame('L',
                                "0000"
                                "0108")),
            "!");

  streamed[150] ^= 0x0100;
  wire.StreamWords({streamed.begin() + 132, streamed.end()});
  EXPECT_EQ(wire.Exchange(Frame('L',
                                "0001"
                                "0088")),
            kNakReply);
  // A page that was never stored differs too.
  wire.StreamWords({streamed.begin(), streamed.begin() + 2});
  EXPECT_EQ(wire.Exchange(Frame('L',
                                "0002"
                                "0004")),
            kNakReply);
  wire.Send(Frame('H'));
  EXPECT_EQ(wire.driver.Store().Contents().pages.size(), 2u);
}

TEST(SerialFlashTest, RefusesWhatDoesNotFitTheStore) {
  struct Case {
    const char* what;
    bool access;
    size_t streamedWords;
    std::string frame;
    std::string reply;
  };
  const Case cases[] = {
      {"V without G", false, 0,
       Frame('V',
             "00"
             "3F4000"
             "000001"
             "000000"),
       kNakReply},
      {"P without G", false, 0, Frame('P', KeyDigits(kKeys)), kNakReply},
      {"h without G", false, 0, Frame('h'), kNakReply},
      {"W without G", false, 1,
       Frame('W',
             "0000"
             "0002"),
       kNakReply},
      {"the 70th section", true, 0,
       Frame('V',
             "45"
             "3F4000"
             "000001"
             "000000"),
       "!"},
      {"a 71st section", true, 0,
       Frame('V',
             "46"
             "3F4000"
             "000001"
             "000000"),
       kNakReply},
      {"W naming more bytes than streamed", true, 2,
       Frame('W',
             "0000"
             "0006"),
       kNakReply},
      {"W naming fewer bytes than streamed", true, 3,
       Frame('W',
             "0000"
             "0004"),
       kNakReply},
      {"W of an odd byte count", true, 1,
       Frame('W',
             "0000"
             "0001"),
       kNakReply},
      {"more than one page streamed", true, 133,
       Frame('W',
             "0000"
             "010A"),
       kNakReply},
      {"the page that ends at 0x80000", true, 124,
       Frame('W',
             "07C1"
             "00F8"),
       "!"},
      {"a page past 0x80000", true, 1,
       Frame('W',
             "07C2"
             "0002"),
       kNakReply},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WireHarness wire;
    wire.Open();
    if (c.access) {
      wire.Send(Frame('G'));
    }
    wire.StreamWords(std::vector<uint16_t>(c.streamedWords, 0x1234));
    EXPECT_EQ(wire.Exchange(c.frame), c.reply);
  }
}

TEST(SerialFlashTest, AnAbandonedStoreLeavesNoProgramButAReadOnlyAccessKeepsIt) {
  WireHarness wire;
  wire.Open();
  StoreProgram(wire);
  const SerialFlashContents before = wire.driver.Store().Contents();

  wire.Send(Frame('G'));
  wire.Exchange(Frame('h'));
  wire.Exchange(Frame('l', "00"));
  wire.Send(Frame('H'));
  EXPECT_EQ(wire.driver.Store().Contents(), before);

  wire.Send(Frame('G'));
  EXPECT_EQ(wire.Exchange(Frame('V',
                                "00"
                                "3F4000"
                                "000010"
                                "000000")),
            "!");
  wire.Send(Frame('i'));
  EXPECT_EQ(wire.driver.Store().Contents(), SerialFlashContents{});
  EXPECT_EQ(wire.Exchange(Frame('J')), "!" + std::string(15, '\xFF'));
  wire.Send(Frame('G'));
  EXPECT_EQ(wire.Exchange(Frame('h')), "!" + std::string(6, '\xFF'));
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(SerialFlashTest, StateFileCarriesTheStoreToTheNextRun) {
  const ScratchDir folder;
  EmulatorConfig config;
  config.pod.statePath = Utf8FromPath(folder.path() / "pod");
  SerialFlashContents written;
  {
    WireHarness first(config);
    first.Open();
    StoreProgram(first);
    written = first.driver.Store().Contents();
  }
  WireHarness second(config);
  second.Open();
  EXPECT_EQ(second.driver.Store().Contents(), written);
  EXPECT_EQ(second.Exchange(Frame('J')), "!\x01" + std::string(kTag.begin(), kTag.end()));
}

TEST(SerialFlashTest, UnreadableStateFileFailsTheLoadAndIsNeverOverwritten) {
  const std::string damaged = "brontaflex-pod-store 1\npage 0 0102XY\n";
  const ScratchDir folder;
  const std::string state = folder.Write("pod", {damaged.begin(), damaged.end()});
  EmulatorConfig config;
  config.pod.statePath = state;
  {
    WireHarness wire(config);
    EXPECT_FALSE(wire.driver.Load());
    EXPECT_NE(wire.driver.LoadError().find("line 2"), std::string::npos);
    // Even if it is used anyway, the POD refuses to write and the file is left
    // for the user to rescue.
    ASSERT_EQ(wire.driver.Open(kPodKey, wire.port), kPortOk);
    ASSERT_EQ(wire.port->Configure(kPodLine), kPortOk);
    wire.Send(Frame('G'));
    EXPECT_EQ(wire.Exchange(Frame('V',
                                  "00"
                                  "3F4000"
                                  "000002"
                                  "000000")),
              kNakReply);
    wire.Send(Frame('H'));
  }
  EXPECT_EQ(FileText(PathFromUtf8(state)), damaged);
}

}  // namespace
