// The readers of TI ELF, Intel HEX and TI-TXT and the detection that picks
// one, on small files made case by case.
#include "image/ProgramReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "image/ProgramImage.h"
#include "tests/image/ImageInvariants.h"
#include "tests/support/CoffWriter.h"
#include "tests/support/ProgramWriters.h"

namespace {

struct SectionView {
  std::string name;
  uint32_t address;
  std::vector<uint16_t> words;
  bool operator==(const SectionView&) const = default;
};

std::ostream& operator<<(std::ostream& out, const SectionView& s) {
  return out << s.name << " @" << std::hex << s.address << std::dec << " x" << s.words.size();
}

// A file that reads, and the sections it gives.
struct ReadCase {
  const char* name;
  std::string text;
  std::vector<SectionView> sections;
};

// A file that is refused, with the outcome and a part of its message.
struct RefusedCase {
  const char* name;
  std::string text;
  ProgramReadResult result;
  std::string detail;
};

class ProgramReaderTest : public ::testing::Test {
 protected:
  ProgramRead Read(const std::string& bytes, McuType mcu = kF2808) {
    std::istringstream in(bytes);
    ProgramRead read = ReadProgramStream(in, mcu, image_);
    if (read.result == ProgramReadResult::Ok) {
      ExpectImageConsistent(image_);
    }
    return read;
  }
  ProgramRead Read(const std::vector<uint8_t>& bytes) {
    return Read(std::string(bytes.begin(), bytes.end()));
  }

  std::vector<SectionView> Sections() const {
    std::vector<SectionView> views;
    for (const auto& s : image_.sections) {
      views.push_back({s->name, s->address, {s->data, s->data + s->wordCount}});
    }
    return views;
  }

  void ExpectReads(const ReadCase& c, ProgramFormat format) {
    SCOPED_TRACE(c.name);
    const ProgramRead read = Read(c.text);
    ASSERT_EQ(read.result, ProgramReadResult::Ok) << read.detail;
    EXPECT_EQ(read.format, format);
    EXPECT_EQ(Sections(), c.sections);
  }

  // Reads a good file first, then the case's, which must fail with the
  // case's outcome and detail and leave the image empty, holding no words.
  void ExpectRefused(const RefusedCase& c) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Read(IntelHexText({{0x8000, {1, 2, 3}}})).result, ProgramReadResult::Ok);
    const ProgramRead read = Read(c.text);
    EXPECT_EQ(read.result, c.result) << read.detail;
    EXPECT_NE(ProgramReadMessage(read).find(c.detail), std::string::npos)
        << ProgramReadMessage(read);
    EXPECT_EQ(image_.sectionCount(), 0);
    EXPECT_TRUE(image_.sections.empty());
    EXPECT_EQ(image_.imageBytes(), 0u);
    EXPECT_EQ(image_.heldWords(), 0u);
  }

  ProgramImage image_;
};

std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line + "\n";
  }
  return text;
}

std::string Ela(uint16_t upper) {
  return HexRecord(0x04, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)});
}

const std::string kEnd = ":00000001FF";

TEST_F(ProgramReaderTest, DetectsTheFormatByContent) {
  const struct {
    const char* name;
    std::string bytes;
    ProgramFormat format;
  } cases[] = {
      {"ELF magic",
       std::string("\x7F"
                   "ELF\x01\x01",
                   6),
       ProgramFormat::Elf},
      {"COFF version 2", std::string("\xC2\x00", 2), ProgramFormat::Coff},
      {"COFF version 0", std::string("\x9D\x00", 2), ProgramFormat::Coff},
      {"Intel HEX after blank lines", "\r\n\n  :00000001FF\n", ProgramFormat::IntelHex},
      {"TI-TXT address first", "@3F00\n00 01\nq\n", ProgramFormat::TiTxt},
      {"TI-TXT bytes first, q last", "00 01\nq \n\n", ProgramFormat::TiTxt},
      {"hex bytes without q", "00 01\n", ProgramFormat::Unknown},
      {"text", "hello\n", ProgramFormat::Unknown},
      {"empty", "", ProgramFormat::Unknown},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.bytes);
    EXPECT_EQ(DetectFormat(in), c.format) << c.name;
  }
}

TEST_F(ProgramReaderTest, UnknownFilesKeepTheCoffReadersRefusal) {
  for (const std::string bytes : {"", "hello world, this is no program at all", "00 01\n"}) {
    const ProgramRead read = Read(bytes);
    EXPECT_EQ(read.result, ProgramReadResult::NotCoff) << bytes;
    EXPECT_EQ(ProgramReadMessage(read), "The specified file is not COFF format");
  }
}

TEST_F(ProgramReaderTest, CoffFilesReadAsBefore) {
  const ProgramRead read = Read(CoffWriter().Add(".text", 0x3F4000, {7, 8}).Build());
  ASSERT_EQ(read.result, ProgramReadResult::Ok);
  EXPECT_EQ(read.format, ProgramFormat::Coff);
  EXPECT_EQ(Sections(), (std::vector<SectionView>{{".text", 0x3F4000, {7, 8}}}));
}

TEST_F(ProgramReaderTest, IntelHexWordsAreHighByteFirstAndEachRunIsOneSectionInAddressOrder) {
  std::vector<uint16_t> flash(40);
  for (size_t i = 0; i < flash.size(); ++i) {
    flash[i] = static_cast<uint16_t>(0x1200 + i);
  }
  // Three records make the flash run; the RAM block comes later in the file.
  const ProgramRead read = Read(IntelHexText({{0x3F4000, flash}, {0x8000, {0xA1B2}}}));
  ASSERT_EQ(read.result, ProgramReadResult::Ok) << read.detail;
  EXPECT_EQ(read.format, ProgramFormat::IntelHex);
  EXPECT_EQ(Sections(), (std::vector<SectionView>{{"0x008000", 0x8000, {0xA1B2}},
                                                  {"0x3F4000", 0x3F4000, flash}}));
  EXPECT_FALSE(image_.sections[0]->inFlash);
  EXPECT_TRUE(image_.sections[1]->inFlash);
  EXPECT_EQ(image_.flashSectorMask(), 0x01);
}

TEST_F(ProgramReaderTest, IntelHexRecordsInAnyOrderGiveTheSameImage) {
  const std::vector<WordBlock> blocks{{0x3F4000, {1, 2, 3, 4, 5, 6}}, {0x3F4010, {7}}};
  ASSERT_EQ(Read(IntelHexText(blocks, 2)).result, ProgramReadResult::Ok);
  const std::vector<SectionView> inOrder = Sections();
  ASSERT_EQ(inOrder.size(), 2u);

  std::vector<std::string> records;
  std::istringstream lines(IntelHexText(blocks, 2));
  for (std::string line; std::getline(lines, line);) {
    if (line != kEnd && line != Ela(0x3F)) {
      records.push_back(line);
    }
  }
  // Backwards, and with the middle of the first run last.
  std::vector<std::vector<std::string>> orders{{records.rbegin(), records.rend()},
                                               {records[0], records[2], records[3], records[1]}};
  for (const auto& order : orders) {
    std::string text = Ela(0x3F) + "\n";
    for (const std::string& record : order) {
      text += record + "\n";
    }
    ASSERT_EQ(Read(text + kEnd).result, ProgramReadResult::Ok);
    EXPECT_EQ(Sections(), inOrder);
  }
}

TEST_F(ProgramReaderTest, IntelHexAddressesAndRecordTypes) {
  const ReadCase cases[] = {
      {"a record running over a 64K-word boundary goes on in the next",
       Lines({Ela(0x3E), HexRecord(0, 0xFFFF, {0x11, 0x22, 0x33, 0x44}), kEnd}),
       {{"0x3EFFFF", 0x3EFFFF, {0x1122, 0x3344}}}},
      {"runs meeting at a boundary are one section",
       IntelHexText({{0x3EFFFE, {1, 2, 3, 4}}}),
       {{"0x3EFFFE", 0x3EFFFE, {1, 2, 3, 4}}}},
      {"an extended segment address counts sixteen words",
       Lines({HexRecord(0x02, 0, {0x10, 0x00}), HexRecord(0, 0x0004, {0xAB, 0xCD}), kEnd}),
       {{"0x010004", 0x10004, {0xABCD}}}},
      {"start addresses carry nothing to program",
       Lines({HexRecord(0x03, 0, {0, 0, 0, 1}), HexRecord(0x05, 0, {0, 0x3F, 0, 0}),
              HexRecord(0, 0x8000, {0x12, 0x34}), kEnd}),
       {{"0x008000", 0x8000, {0x1234}}}},
      {"lines end in CR LF, blank lines between, lower-case digits",
       "\r\n" + HexRecord(0, 0x8000, {0xAB, 0xCD}) + "\r\n\r\n:020000000000fe\r\n" + kEnd,
       {{"0x000000", 0, {0}}, {"0x008000", 0x8000, {0xABCD}}}},
      {"nothing after the end record is read", Lines({kEnd, ":garbage"}), {}},
      {"an empty record list is an empty program", Lines({kEnd}), {}},
  };
  for (const ReadCase& c : cases) {
    ExpectReads(c, ProgramFormat::IntelHex);
  }
}

TEST_F(ProgramReaderTest, BrokenIntelHexIsRefusedNamingTheLine) {
  std::string badChecksum = HexRecord(0, 0x8000, {0x12, 0x34});
  badChecksum.back() = badChecksum.back() == '0' ? '1' : '0';
  const std::string record = HexRecord(0, 0x8000, {0x12, 0x34});
  // The first digit of the sixth data byte of a long record.
  std::string badDigit = HexRecord(0, 0x8000, std::vector<uint8_t>(16, 0x11));
  badDigit[19] = 'G';
  // Records of sixteen words that carry on the run of the one before.
  const std::string longRecord = HexRecord(0, 0x8000, std::vector<uint8_t>(32, 0x22));
  std::string carriedOnChecksum = HexRecord(0, 0x8010, std::vector<uint8_t>(32, 0x33));
  carriedOnChecksum.back() = carriedOnChecksum.back() == '0' ? '1' : '0';
  std::string carriedOnDigit = HexRecord(0, 0x8010, std::vector<uint8_t>(32, 0x33));
  carriedOnDigit[9 + 2 * 30] = 'x';
  const RefusedCase cases[] = {
      {"checksum", Lines({Ela(0), badChecksum, kEnd}), ProgramReadResult::BadRecord,
       "line 2: the checksum is 0x"},
      {"not hexadecimal", Lines({":0200000012G4B8", kEnd}), ProgramReadResult::BadRecord,
       "line 1: 'G4' is not a hexadecimal byte"},
      {"not hexadecimal amid a long record", Lines({badDigit, kEnd}), ProgramReadResult::BadRecord,
       "line 1: 'G1' is not a hexadecimal byte"},
      {"checksum of a record carrying on the run", Lines({longRecord, carriedOnChecksum, kEnd}),
       ProgramReadResult::BadRecord, "line 2: the checksum is 0x"},
      {"not hexadecimal in a record carrying on the run", Lines({longRecord, carriedOnDigit, kEnd}),
       ProgramReadResult::BadRecord, "line 2: 'x3' is not a hexadecimal byte"},
      {"odd digit count", Lines({record + "0", kEnd}), ProgramReadResult::BadRecord, "line 1: "},
      {"shorter than its count", Lines({":040000001234B6", kEnd}), ProgramReadResult::BadRecord,
       "announces 4 data bytes but holds 2"},
      {"no colon", Lines({record, kEnd.substr(1)}), ProgramReadResult::BadRecord,
       "line 2: a record starts with ':'"},
      {"unknown type", Lines({HexRecord(0x06, 0, {}), kEnd}), ProgramReadResult::BadRecord,
       "unknown record type 0x06"},
      {"extended address of three bytes", Lines({HexRecord(0x04, 0, {0, 0x3F, 0}), kEnd}),
       ProgramReadResult::BadRecord, "line 1: an extended address record holds two bytes"},
      {"no end record", Lines({record}), ProgramReadResult::BadRecord,
       "ends without an end-of-file record"},
      {"a line past any record's length", ":" + std::string(70000, '0') + "\n" + kEnd,
       ProgramReadResult::BadRecord, "line 1: the line is too long"},
      {"a record splitting a word", Lines({HexRecord(0, 0x8000, {1, 2, 3}), kEnd}),
       ProgramReadResult::BadLayout, "line 1: the record holds an odd number of bytes"},
      {"a word given twice",
       Lines({HexRecord(0, 0x8000, {1, 2, 3, 4}), HexRecord(0, 0x8001, {5, 6}), kEnd}),
       ProgramReadResult::BadLayout, "line 2: the word at 0x008001 is given twice"},
      {"the same word out of order",
       Lines({HexRecord(0, 0x8002, {1, 2}), HexRecord(0, 0x8000, {1, 2}),
              HexRecord(0, 0x8000, {1, 2}), kEnd}),
       ProgramReadResult::BadLayout, "line 3: the word at 0x008000 is given twice"},
      {"an extended address beyond 22 bits", Lines({Ela(0x40), record, kEnd}),
       ProgramReadResult::BadLayout, "line 2: the address 0x408000 lies beyond the C28x's 22-bit"},
      {"a record running past 22 bits",
       Lines({Ela(0x3F), HexRecord(0, 0xFFFF, {1, 2, 3, 4}), kEnd}), ProgramReadResult::BadLayout,
       "the address 0x400000 lies beyond"},
  };
  for (const RefusedCase& c : cases) {
    ExpectRefused(c);
  }
}

TEST_F(ProgramReaderTest, TiTxtCountsBytesLowByteFirst) {
  const ReadCase cases[] = {
      {"as the utility writes it",
       TiTxtText({{0x3F4000, {0x1234, 0x5678}}, {0x8000, {0xABCD}}}),
       {{"0x008000", 0x8000, {0xABCD}}, {"0x3F4000", 0x3F4000, {0x1234, 0x5678}}}},
      {"lines of eight words",
       TiTxtText(
           {{0x8000,
             {0x0102, 0x0304, 0x0506, 0x0708, 0x090A, 0x0B0C, 0x0D0E, 0x0F10, 0x1112, 0x1314}}}),
       {{"0x008000",
         0x8000,
         {0x0102, 0x0304, 0x0506, 0x0708, 0x090A, 0x0B0C, 0x0D0E, 0x0F10, 0x1112, 0x1314}}}},
      {"a word split over two lines",
       "@10000\n34\n12 78 56\nq\n",
       {{"0x008000", 0x8000, {0x1234, 0x5678}}}},
      {"a new address where the half word stopped",
       "@10000\n34\n@10001\n12\nQ",
       {{"0x008000", 0x8000, {0x1234}}}},
      {"adjacent blocks are one section",
       "@10000\n01 00\n@10002\n02 00\nq\n",
       {{"0x008000", 0x8000, {1, 2}}}},
      {"blanks, tabs and CR LF",
       "\r\n@10000\r\n 01\t00  02 00 \r\nq\r\n",
       {{"0x008000", 0x8000, {1, 2}}}},
      {"a tab among single spaces",
       "@10000\n01 00 02 00\t03 00 04 00\nq\n",
       {{"0x008000", 0x8000, {1, 2, 3, 4}}}},
      {"nothing but the end", "@0\nq\n", {}},
  };
  for (const ReadCase& c : cases) {
    ExpectReads(c, ProgramFormat::TiTxt);
  }
}

TEST_F(ProgramReaderTest, BrokenTiTxtIsRefusedNamingTheLine) {
  const RefusedCase cases[] = {
      {"data before any address", "01 02\nq\n", ProgramReadResult::BadRecord,
       "line 1: data before the first '@' address"},
      {"a bad address", "@12G4\n01 02\nq\n", ProgramReadResult::BadRecord,
       "line 1: an address is 1 to 8 hexadecimal digits"},
      {"a byte of three digits", "@100\n01 023\nq\n", ProgramReadResult::BadRecord,
       "line 2: data are hexadecimal byte pairs"},
      {"a single digit", "@100\n1\nq\n", ProgramReadResult::BadRecord, "line 2: "},
      {"a bad digit amid single-spaced pairs", "@100\n01 02 03 04 05 0G 07 08\nq\n",
       ProgramReadResult::BadRecord, "line 2: data are hexadecimal byte pairs"},
      {"a letter where a blank belongs", "@100\n01 02x03 04\nq\n", ProgramReadResult::BadRecord,
       "line 2: data are hexadecimal byte pairs"},
      {"a letter where a blank belongs in a long line", "@100\n01 02 03x04 05 06 07 08\nq\n",
       ProgramReadResult::BadRecord, "line 2: data are hexadecimal byte pairs"},
      {"a blank where a digit belongs", "@100\n01 02  3 04\nq\n", ProgramReadResult::BadRecord,
       "line 2: data are hexadecimal byte pairs"},
      {"a bad digit in a line of sixteen pairs",
       "@100\n00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n10 11 12 13 14 15 16 17 18 19 1A 1B "
       "1C 1D 1E 1g\nq\n",
       ProgramReadResult::BadRecord, "line 3: data are hexadecimal byte pairs"},
      {"no closing q", "@100\n01 02\n", ProgramReadResult::BadRecord,
       "ends without the closing 'q'"},
      {"an odd start address", "@101\n01 02\nq\n", ProgramReadResult::BadLayout,
       "line 1: the address is odd"},
      {"half a word at the end", "@100\n01 02 03\nq\n", ProgramReadResult::BadLayout,
       "line 3: the word at 0x000081 lacks its high byte"},
      {"half a word before a jump", "@100\n01\n@200\n02 03\nq\n", ProgramReadResult::BadLayout,
       "line 3: the word at 0x000080 lacks its high byte"},
      {"a word given twice", "@100\n01 02 03 04\n@102\n05 06\nq\n", ProgramReadResult::BadLayout,
       "line 4: the word at 0x000081 is given twice"},
      {"beyond 22 bits", "@7FFFFE\n01 02 03 04\nq\n", ProgramReadResult::BadLayout,
       "line 2: the address 0x400000 lies beyond"},
  };
  for (const RefusedCase& c : cases) {
    ExpectRefused(c);
  }
}

TEST_F(ProgramReaderTest, ElfSegmentsGoToTheirLoadAddressNamedAfterTheirSections) {
  // Code copied to RAM at run time: its section says 0x8000, it is stored at 0x3F4000.
  const ProgramRead read = Read(ElfFile(
      {{0x3F4000, {1, 2, 3}, ".TI.ramfunc", 0x8000}, {0x3F0000, {4}, ".text"}, {0x9000, {5, 6}}}));
  ASSERT_EQ(read.result, ProgramReadResult::Ok) << read.detail;
  EXPECT_EQ(read.format, ProgramFormat::Elf);
  EXPECT_EQ(Sections(), (std::vector<SectionView>{{".TI.ramfunc", 0x3F4000, {1, 2, 3}},
                                                  {".text", 0x3F0000, {4}},
                                                  {"0x009000", 0x9000, {5, 6}}}));
  EXPECT_EQ(image_.flashSectionCount(), 2);
  EXPECT_EQ(image_.flashSectorMask(), 0x03);
}

TEST_F(ProgramReaderTest, ElfSkipsWhatIsNeverProgrammed) {
  ASSERT_EQ(
      Read(ElfFile({{0x3F7FF8, {1, 2, 3, 4, 5, 6, 7, 8}, "CsmPwlFile"}, {0x3F4000, {9}, ".text"}}))
          .result,
      ProgramReadResult::Ok);
  EXPECT_EQ(Sections(), (std::vector<SectionView>{{".text", 0x3F4000, {9}}}));
}

TEST_F(ProgramReaderTest, BrokenOrForeignElfIsRefused) {
  const std::vector<uint8_t> good = ElfFile({{0x8000, {1, 2}, ".text"}, {0x9000, {3, 4}, ".data"}});
  const auto changed = [&](size_t at, uint32_t value) {
    std::vector<uint8_t> bytes = good;
    PutU32(bytes, at, value);
    return std::string(bytes.begin(), bytes.end());
  };
  const auto second = [](size_t field) { return kElfProgramHeadersAt + 32 * 2 + field; };
  std::vector<uint8_t> elf64 = good;
  elf64[4] = 2;
  const RefusedCase cases[] = {
      {"another machine",
       [&] {
         std::vector<uint8_t> bytes = good;
         PutU16(bytes, 18, 40);
         return std::string(bytes.begin(), bytes.end());
       }(),
       ProgramReadResult::TargetMismatch, "not match with MCU"},
      {"64-bit", std::string(elf64.begin(), elf64.end()), ProgramReadResult::TargetMismatch, ""},
      {"header cut short", std::string(good.begin(), good.begin() + 40), ProgramReadResult::NotCoff,
       ""},
      {"program headers outside the file", changed(28, 0x10000), ProgramReadResult::NotCoff, ""},
      {"an odd byte count", changed(second(kElfFieldFileBytes), 3), ProgramReadResult::BadLayout,
       "program header 2: an odd number of bytes"},
      {"data past the end", changed(second(kElfFieldFileAt), static_cast<uint32_t>(good.size())),
       ProgramReadResult::Truncated, "program header 2: its bytes end at"},
      {"beyond 22 bits", changed(second(kElfFieldLoadAddress), 0x3FFFFF),
       ProgramReadResult::BadLayout, "program header 2: it reaches past the C28x's 22-bit memory"},
      {"overlapping segments", changed(second(kElfFieldLoadAddress), 0x8001),
       ProgramReadResult::BadLayout, "program header 2: the word at 0x008001 is given twice"},
  };
  for (const RefusedCase& c : cases) {
    ExpectRefused(c);
  }
}

}  // namespace
