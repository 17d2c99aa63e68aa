#include "image/CoffReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <vector>

#include "image/ProgramImage.h"
#include "tests/image/ImageInvariants.h"
#include "tests/support/CoffWriter.h"

namespace {

using Bytes = std::vector<uint8_t>;

class CoffReaderTest : public ::testing::Test {
 protected:
  ProgramReadResult Read(const Bytes& bytes, McuType mcu = kF2808) {
    TempFile file(bytes);
    return ReadCoffFile(file.path(), mcu, image_);
  }

  // Loads a one-section program that the failure cases then try to replace.
  void LoadPrevious() {
    ASSERT_EQ(Read(CoffWriter().Add(".text", 0x3F4000, {0x1111, 0x2222}).Build()),
              ProgramReadResult::Ok);
  }
  void ExpectPreviousKept() {
    ASSERT_EQ(image_.sectionCount(), 1);
    EXPECT_EQ(image_.sections[0]->name, ".text");
    EXPECT_EQ(image_.words()[1], 0x2222);
  }
  void ExpectEmpty() {
    EXPECT_EQ(image_.sectionCount(), 0);
    EXPECT_TRUE(image_.sections.empty());
    EXPECT_EQ(image_.imageBytes(), 0u);
    EXPECT_EQ(image_.heldWords(), 0u);
  }

  ProgramImage image_;
};

class CoffVersionTest : public CoffReaderTest,
                        public ::testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(CoffVersionTest, ReadsSectionsInFileOrder) {
  const auto [version, optionalHeader] = GetParam();
  const Bytes bytes = CoffWriter(version)
                          .OptionalHeader(optionalHeader)
                          .PadRawData(1)  // odd data offsets, as some linkers write
                          .Symbols(3)
                          .Add(".text", 0x3F4000, {0x0102, 0xA0B0, 0xFFFE})
                          .Add(".ebss_init", 0x8000, {0xBEEF}, kCoffData)
                          .Add("ramfuncs", 0x3E8010, {7, 8})
                          .Build();
  ASSERT_EQ(Read(bytes), ProgramReadResult::Ok);
  ExpectImageConsistent(image_);

  ASSERT_EQ(image_.sectionCount(), 3);
  const ImageSection& text = *image_.sections[0];
  const ImageSection& ram = *image_.sections[1];
  const ImageSection& funcs = *image_.sections[2];
  EXPECT_EQ(text.name, ".text");
  EXPECT_EQ(text.address, 0x3F4000u);
  EXPECT_EQ(text.wordCount, 3u);
  EXPECT_EQ(std::vector<uint16_t>(text.data, text.data + 3),
            (std::vector<uint16_t>{0x0102, 0xA0B0, 0xFFFE}));
  EXPECT_TRUE(text.inFlash);
  EXPECT_EQ(text.sectorMask, 0x01);
  EXPECT_EQ(ram.name, ".ebss_init");
  EXPECT_FALSE(ram.inFlash);
  EXPECT_EQ(ram.offset, 6u);
  EXPECT_EQ(ram.data[0], 0xBEEF);
  EXPECT_EQ(funcs.name, "ramfuncs");
  EXPECT_EQ(funcs.sectorMask, 0x08);
  EXPECT_EQ(funcs.offset, 6u);  // packed after .text among the flash sections
  EXPECT_EQ(funcs.data[1], 8);
  EXPECT_EQ(image_.imageBytes(), 12u);
  EXPECT_EQ(image_.heldWords(), 6u);  // nothing beyond the last section
}

INSTANTIATE_TEST_SUITE_P(AllVersions, CoffVersionTest,
                         ::testing::Combine(::testing::Values(0, 1, 2), ::testing::Bool()));

struct HeaderCase {
  const char* what;
  std::function<Bytes()> build;
  ProgramReadResult expected;
};

Bytes OneSection(int version = 2) {
  return CoffWriter(version).Add(".text", 0x8000, {1}).Build();
}

TEST_F(CoffReaderTest, RefusesBadHeadersAndKeepsThePreviousImage) {
  const HeaderCase cases[] = {
      {"21 bytes", [] { return Bytes(21, 0); }, ProgramReadResult::NotCoff},
      {"22-byte header with an optional header",
       [] {
         Bytes b = CoffWriter(2).OptionalHeader(false).Build();
         b.resize(22);
         PutU16(b, kCoffFieldOptionalSize, 28);
         return b;
       },
       ProgramReadResult::NotCoff},
      {"magic 0x00C0",
       [] {
         Bytes b = OneSection();
         PutU16(b, 0, 0x00C0);
         return b;
       },
       ProgramReadResult::NotCoff},
      {"version 1 for the C24x",
       [] { return CoffWriter(1).TargetId(0x0092).Add(".text", 0, {1}).Build(); },
       ProgramReadResult::TargetMismatch},
      {"version 2 for the MSP430",
       [] { return CoffWriter(2).TargetId(0x00A0).Add(".text", 0, {1}).Build(); },
       ProgramReadResult::TargetMismatch},
      {"version 0 whose magic is another target",
       [] { return CoffWriter(0).TargetId(0x0092).Add(".text", 0, {1}).Build(); },
       ProgramReadResult::NotCoff},
      {"string table taken at offset 0, its length the magic and count",
       [] {
         Bytes b = OneSection();
         PutU32(b, kCoffFieldSymbolTable, 0);
         return b;
       },
       ProgramReadResult::NotCoff},
      {"string table past the end",
       [] {
         Bytes b = OneSection();
         PutU32(b, kCoffFieldSymbolTable, static_cast<uint32_t>(b.size() - 3));
         return b;
       },
       ProgramReadResult::NotCoff},
      {"string table length past the end",
       [] {
         Bytes b = OneSection();
         PutU32(b, CoffWriter().Add(".text", 0x8000, {1}).GetLayout().stringTableAt, 5);
         return b;
       },
       ProgramReadResult::NotCoff},
      {"string table length that wraps 32 bits",
       [] {
         Bytes b = OneSection();
         PutU32(b, CoffWriter().Add(".text", 0x8000, {1}).GetLayout().stringTableAt, 0xFFFFFFF0);
         return b;
       },
       ProgramReadResult::NotCoff},
      {"string table at 2^31",
       [] {
         Bytes b = OneSection();
         PutU32(b, kCoffFieldSymbolTable, 0x80000000);
         return b;
       },
       ProgramReadResult::FileError},
      {"string table offset from a huge symbol count",
       [] {
         Bytes b = OneSection();
         PutU32(b, kCoffFieldSymbolCount, 0x08000000);
         return b;
       },
       ProgramReadResult::FileError},
      {"section headers past the end",
       [] {
         Bytes b = OneSection();
         PutU16(b, kCoffFieldSectionCount, 2000);
         return b;
       },
       ProgramReadResult::NotCoff},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.what);
    LoadPrevious();
    EXPECT_EQ(Read(c.build()), c.expected);
    ExpectPreviousKept();
  }
}

TEST_F(CoffReaderTest, StringTableAtOffsetZeroWorksWhenItsLengthFits) {
  // A version 2 file without sections starts 0xC2 0x00 0x00 0x00: a 194-byte table.
  Bytes bytes = CoffWriter(2).Build();
  PutU32(bytes, kCoffFieldSymbolTable, 0);
  bytes.resize(194, 0);
  LoadPrevious();
  EXPECT_EQ(Read(bytes), ProgramReadResult::Ok);
  ExpectEmpty();
}

TEST_F(CoffReaderTest, OpenFailsForMissingFilesAndDirectories) {
  EXPECT_EQ(ReadCoffFile("/nonexistent/dir/file.out", kF2808, image_),
            ProgramReadResult::OpenFailed);
  EXPECT_EQ(ReadCoffFile(std::filesystem::temp_directory_path(), kF2808, image_),
            ProgramReadResult::OpenFailed);
}

struct SkipCase {
  std::string name;
  uint32_t flags;
  const char* acceptedAs;  // null when the section is skipped
};

TEST_F(CoffReaderTest, SkipsSectionsByNameAndFlags) {
  const SkipCase cases[] = {
      {".text", kCoffText, ".text"},
      {".cinit", kCoffData | 0x1000 | 0x0100, ".cinit"},  // block and alignment bits
      {".stack", kCoffText, nullptr},
      {"_.stack", kCoffText, nullptr},
      {"__.stack", kCoffText, "_.stack"},
      {"CsmPwlFile", kCoffData, nullptr},
      {"_CsmPwlFile", kCoffData, nullptr},
      {"__CsmPwlFile", kCoffData, "_CsmPwlFile"},
      {"csmpwlfile", kCoffData, "csmpwlfile"},
      {".debug_frame", 0, nullptr},
      {".debug_abbrev", 0, nullptr},
      {".debug_info", 0, nullptr},
      {"_.debug_line", 0, nullptr},
      {".debug_aranges", 0, ".debug_aranges"},
      {"debug_info", 0, "debug_info"},
      {"_debug_info", 0, "debug_info"},
      {"dummy", 0x0001, nullptr},
      {"noload", 0x0002, nullptr},
      {".econst", 0x0040 | 0x0100, ".econst"},
      {".debug_x", kCoffCopy, nullptr},
  };
  for (const SkipCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Read(CoffWriter().Add(c.name, 0x8000, {0x55AA}, c.flags).Build()),
              ProgramReadResult::Ok);
    if (c.acceptedAs == nullptr) {
      ExpectEmpty();
    } else {
      ASSERT_EQ(image_.sectionCount(), 1);
      EXPECT_EQ(image_.sections[0]->name, c.acceptedAs);
      EXPECT_EQ(image_.words()[0], 0x55AA);
    }
  }
}

TEST_F(CoffReaderTest, SkipsEmptyAndUninitialisedSections) {
  const Bytes bytes =
      CoffWriter(1)
          .Add(CoffSection{.name = ".bss", .address = 0x8000, .flags = kCoffBss, .wordCount = 64})
          .Add(CoffSection{.name = "sized", .words = {1, 2}, .wordCount = 0})
          .Add(CoffSection{.name = "nodata", .words = {1, 2}, .rawDataAt = 0})
          .Add(".text", 0x3F4000, {9})
          .Build();
  ASSERT_EQ(Read(bytes), ProgramReadResult::Ok);
  ASSERT_EQ(image_.sectionCount(), 1);
  EXPECT_EQ(image_.sections[0]->name, ".text");
  EXPECT_EQ(image_.words()[0], 9);
}

TEST_F(CoffReaderTest, FileWithEverySectionSkippedReadsAsEmpty) {
  LoadPrevious();
  ASSERT_EQ(Read(CoffWriter().Add(".debug_info", 0, {1}, kCoffCopy).Add(".stack", 0, {2}).Build()),
            ProgramReadResult::Ok);
  ExpectEmpty();
  EXPECT_FALSE(image_.hasFlash());
  EXPECT_EQ(image_.ramSectionCount(), 0);
}

TEST_F(CoffReaderTest, ReadsShortAndLongNames) {
  const Bytes bytes = CoffWriter(0)
                          .Add("ramfuncs", 0x8000, {1})  // 8 characters, no NUL
                          .Add("ramfuncs2", 0x8000, {2})
                          .Add(CoffSection{.name = "short", .words = {3}, .longName = true})
                          .Add("_internalMemFuncs", 0x8000, {4})
                          .Build();
  ASSERT_EQ(Read(bytes), ProgramReadResult::Ok);
  ASSERT_EQ(image_.sectionCount(), 4);
  EXPECT_EQ(image_.sections[0]->name, "ramfuncs");
  EXPECT_EQ(image_.sections[1]->name, "ramfuncs2");
  EXPECT_EQ(image_.sections[2]->name, "short");
  EXPECT_EQ(image_.sections[3]->name, "internalMemFuncs");
}

TEST_F(CoffReaderTest, LongNamesAreFoundWhereverTheyLieAndInAnyOrder) {
  // Names of 3,000 characters cross every 4 KiB of the string table; the
  // first and last sections trade names, so the reads jump back and forth.
  CoffWriter writer;
  std::vector<std::string> names;
  for (int i = 0; i < 5; ++i) {
    names.push_back(std::string(3000, static_cast<char>('a' + i)));
    writer.Add(names.back(), 0x8000 + static_cast<uint32_t>(i), {static_cast<uint16_t>(i)});
  }
  Bytes bytes = writer.Build();
  const size_t firstField = writer.GetLayout().SectionField(0, 4);
  const size_t lastField = writer.GetLayout().SectionField(4, 4);
  std::swap_ranges(bytes.begin() + firstField, bytes.begin() + firstField + 4,
                   bytes.begin() + lastField);
  std::swap(names.front(), names.back());

  ASSERT_EQ(Read(bytes), ProgramReadResult::Ok);
  ASSERT_EQ(image_.sectionCount(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(image_.sections[i]->name, names[i]) << i;
    EXPECT_EQ(image_.sections[i]->data[0], i);
  }
}

TEST_F(CoffReaderTest, LongNameWithoutNulEndsAtTheEndOfTheFile) {
  CoffWriter writer;
  writer.Add("averyverylongname", 0x8000, {1});
  Bytes bytes = writer.Build();
  bytes.pop_back();  // the name's NUL
  PutU32(bytes, writer.GetLayout().stringTableAt, static_cast<uint32_t>(4 + 17));
  ASSERT_EQ(Read(bytes), ProgramReadResult::Ok);
  ASSERT_EQ(image_.sectionCount(), 1);
  EXPECT_EQ(image_.sections[0]->name, "averyverylongname");
}

TEST_F(CoffReaderTest, NameOffsetPastTheEndGivesAnEmptyName) {
  CoffWriter writer;
  writer.Add("averyverylongname", 0x8000, {1});
  Bytes bytes = writer.Build();
  PutU32(bytes, writer.GetLayout().SectionField(0, 4), 0x10000);
  ASSERT_EQ(Read(bytes), ProgramReadResult::Ok);
  ASSERT_EQ(image_.sectionCount(), 1);
  EXPECT_EQ(image_.sections[0]->name, "");
}

struct OffsetCase {
  const char* what;
  size_t field;  // within section header 1
  uint32_t value;
};

TEST_F(CoffReaderTest, UnreachableOffsetsEndAsFileErrorWithTheImageCleared) {
  const OffsetCase cases[] = {
      {"raw data at 2^31", kCoffFieldRawData, 0x80000000},
      {"raw data at 2^32 - 2", kCoffFieldRawData, 0xFFFFFFFE},
      {"name at 2^31 past the string table", 4, 0x80000000},
  };
  for (const OffsetCase& c : cases) {
    SCOPED_TRACE(c.what);
    CoffWriter writer;
    writer.Add(".text", 0x3F4000, {1, 2}).Add("second_long_name", 0x3F4002, {3});
    Bytes bytes = writer.Build();
    PutU32(bytes, writer.GetLayout().SectionField(1, c.field), c.value);
    LoadPrevious();
    EXPECT_EQ(Read(bytes), ProgramReadResult::FileError);
    ExpectEmpty();
  }
}

TEST_F(CoffReaderTest, DataMissingFromTheFileReadsErased) {
  CoffWriter writer;
  writer.Add(".text", 0x3F4000, {0x1234, 0x5678})
      .Add(CoffSection{.name = "tail", .address = 0x3F5000, .wordCount = 3})
      .Add(CoffSection{.name = "beyond", .address = 0x8000, .wordCount = 2});
  Bytes bytes = writer.Build();
  // "tail" starts on the file's last two bytes; "beyond" starts past the end.
  PutU32(bytes, writer.GetLayout().SectionField(1, kCoffFieldRawData),
         static_cast<uint32_t>(bytes.size() - 2));
  PutU32(bytes, writer.GetLayout().SectionField(2, kCoffFieldRawData),
         static_cast<uint32_t>(bytes.size() + 100));
  ASSERT_EQ(Read(bytes), ProgramReadResult::Ok);
  ExpectImageConsistent(image_);
  ASSERT_EQ(image_.sectionCount(), 3);
  const uint16_t lastFileWord =
      static_cast<uint16_t>(bytes[bytes.size() - 2] | bytes[bytes.size() - 1] << 8);
  const std::vector<uint16_t> expected{0x1234, 0x5678, lastFileWord, 0xFFFF,
                                       0xFFFF, 0xFFFF, 0xFFFF};
  EXPECT_EQ(std::vector<uint16_t>(image_.words(), image_.words() + 7), expected);
  EXPECT_EQ(image_.sections[1]->wordCount, 3u);
  EXPECT_EQ(image_.imageBytes(), 14u);
}

struct SizeCase {
  std::vector<uint32_t> wordCounts;
  ProgramReadResult expected;
};

TEST_F(CoffReaderTest, RefusesSectionsBeyondTheImageBuffer) {
  constexpr uint32_t kWords = ProgramImage::kBufferWords;
  const SizeCase cases[] = {
      {{kWords}, ProgramReadResult::Ok},
      {{kWords - 1, 1}, ProgramReadResult::Ok},
      {{kWords - 1, 2}, ProgramReadResult::ImageTooLarge},
      {{kWords + 1}, ProgramReadResult::ImageTooLarge},
      {{0x80000000, 0x80000000}, ProgramReadResult::ImageTooLarge},
      {{0xFFFFFFFF}, ProgramReadResult::ImageTooLarge},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.wordCounts));
    CoffWriter writer;
    for (const uint32_t count : c.wordCounts) {
      writer.Add(
          CoffSection{.name = "big", .address = 0x8000, .words = {0x4242}, .wordCount = count});
    }
    LoadPrevious();
    ASSERT_EQ(Read(writer.Build()), c.expected);
    if (c.expected == ProgramReadResult::Ok) {
      EXPECT_EQ(image_.imageBytes(), ProgramImage::kBufferBytes);
      EXPECT_EQ(image_.words()[0], 0x4242);
    } else {
      ExpectEmpty();
    }
  }
}

TEST_F(CoffReaderTest, SecondReadLeavesNothingOfTheFirst) {
  std::vector<uint16_t> many(0x1000, 0x0A0A);
  ASSERT_EQ(Read(CoffWriter().Add(".text", 0x3F4000, many).Build()), ProgramReadResult::Ok);
  ASSERT_EQ(Read(CoffWriter().Add(".data", 0x8000, {0x0B0B}).Build()), ProgramReadResult::Ok);
  EXPECT_EQ(image_.words()[0], 0x0B0B);
  EXPECT_EQ(image_.heldWords(), 1u);
}

TEST_F(CoffReaderTest, ClassifiesForTheDeviceGiven) {
  const Bytes bytes = CoffWriter().Add(".text", 0x3F0000, {1, 2}).Build();
  ASSERT_EQ(Read(bytes, kF2801), ProgramReadResult::Ok);
  EXPECT_FALSE(image_.sections[0]->inFlash);
  ASSERT_EQ(Read(bytes, kF2802), ProgramReadResult::Ok);
  EXPECT_TRUE(image_.sections[0]->inFlash);
  EXPECT_EQ(image_.sections[0]->sectorMask, 0x08);
}

TEST(ProgramReadResultTest, EveryOutcomeHasADistinctNameAndMessage) {
  EXPECT_EQ(ProgramReadResultMessage(ProgramReadResult::Ok), "Reading COFF file is successful");
  EXPECT_EQ(ProgramReadResultMessage(ProgramReadResult::NotCoff),
            "The specified file is not COFF format");
  EXPECT_EQ(ProgramReadResultName(ProgramReadResult::TargetMismatch), "TargetMismatch");
  EXPECT_EQ(ProgramReadResultMessage(ProgramReadResult::ImageTooLarge),
            "The sections of the COFF file are larger than the 8 MiB program image");
  std::set<std::string_view> names, messages;
  for (uint8_t code = 0; code <= static_cast<uint8_t>(ProgramReadResult::ImageTooLarge); ++code) {
    names.insert(ProgramReadResultName(static_cast<ProgramReadResult>(code)));
    messages.insert(ProgramReadResultMessage(static_cast<ProgramReadResult>(code)));
  }
  EXPECT_EQ(names.size(), 7u);
  EXPECT_EQ(messages.size(), 7u);
}

}  // namespace
