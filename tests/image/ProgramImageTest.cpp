#include "image/ProgramImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "image/ImageBuilder.h"
#include "image/McuCatalogue.h"

namespace {

// Appends a section of `count` words filled with `fill`, placed after the others.
void AddSection(ProgramImage& image, bool inFlash, uint32_t count, uint16_t mask, uint16_t fill) {
  auto section = image.NewSection();
  section->wordCount = count;
  section->offset = image.imageBytes();
  uint16_t* words = image.WordsForWriting(image.imageBytes(), count);
  ASSERT_NE(words, nullptr);
  std::fill_n(words, count, fill);
  section->data = words;
  section->inFlash = inFlash;
  section->sectorMask = mask;
  image.AppendSection(std::move(section));
}

TEST(ProgramImageTest, StartsEmptyHoldingNoWords) {
  ProgramImage image;
  EXPECT_TRUE(image.sections.empty());
  EXPECT_EQ(image.sectionCount(), 0);
  EXPECT_EQ(image.heldWords(), 0u);
  EXPECT_EQ(image.words(), nullptr);
}

TEST(ProgramImageTest, ClearDropsEveryWordAndEverythingElse) {
  ProgramImage image;
  AddSection(image, true, 3, 0x01, 0x1234);
  // A word at the very end of the buffer must go as well.
  *image.WordsForWriting(ProgramImage::kBufferBytes - 2, 1) = 0;
  image.Clear();
  EXPECT_EQ(image.heldWords(), 0u);
  EXPECT_EQ(image.words(), nullptr);
  EXPECT_TRUE(image.sections.empty());
  EXPECT_EQ(image.sectionCount(), 0);
  EXPECT_EQ(image.imageBytes(), 0u);
  EXPECT_FALSE(image.hasFlash());
  EXPECT_EQ(image.flashSectionCount(), 0);
  EXPECT_EQ(image.flashBytes(), 0u);
}

TEST(ProgramImageTest, WritableWordsStayInsideTheBuffer) {
  ProgramImage image;
  constexpr uint32_t kWords = ProgramImage::kBufferWords;
  constexpr uint32_t kBytes = ProgramImage::kBufferBytes;
  EXPECT_NE(image.WordsForWriting(0, kWords), nullptr);
  EXPECT_NE(image.WordsForWriting(kBytes - 2, 1), nullptr);
  EXPECT_EQ(image.WordsForWriting(2, kWords), nullptr);
  EXPECT_EQ(image.WordsForWriting(kBytes, 1), nullptr);
  EXPECT_EQ(image.WordsForWriting(0, 0xFFFFFFFF), nullptr);
  EXPECT_EQ(image.WordsForWriting(0xFFFFFFFE, 1), nullptr);
  EXPECT_EQ(image.WordsForWriting(1, 1), nullptr);
}

TEST(ProgramImageTest, WordsHandedOutReadErasedUntilWritten) {
  ProgramImage image;
  uint16_t* gap = image.WordsForWriting(8, 2);  // words 4 and 5: 0 to 3 come with them
  ASSERT_NE(gap, nullptr);
  gap[1] = 0x1234;
  EXPECT_EQ(image.heldWords(), 6u);
  EXPECT_EQ(std::vector<uint16_t>(image.words(), image.words() + 6),
            (std::vector<uint16_t>{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0x1234}));
  // Handing out words again changes none of them.
  image.WordsForWriting(0, 2);
  EXPECT_EQ(image.heldWords(), 6u);
  EXPECT_EQ(image.words()[5], 0x1234);
}

TEST(ProgramImageTest, SectionsKeepTheirWordsAsTheBufferGrows) {
  ProgramImage image;
  // Sections of 1, 2, 4... words outgrow every room made before them.
  for (uint16_t k = 0; k < 16; ++k) {
    AddSection(image, false, 1u << k, 0, k);
  }
  uint32_t at = 0;
  for (uint16_t k = 0; k < 16; ++k) {
    const ImageSection& section = *image.sections[k];
    SCOPED_TRACE(k);
    EXPECT_EQ(section.data, image.words() + at);
    EXPECT_TRUE(std::all_of(section.data, section.data + section.wordCount,
                            [k](uint16_t word) { return word == k; }));
    at += section.wordCount;
  }
  EXPECT_EQ(image.heldWords(), at);
}

TEST(ProgramImageTest, RoomMadeUpFrontIsFilledInPlace) {
  ProgramImage image;
  image.Reserve(uint64_t{ProgramImage::kBufferWords} * 3);  // more than the buffer holds
  const uint16_t* start = image.words();
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(image.heldWords(), 0u);
  EXPECT_EQ(image.WordsForWriting(0, ProgramImage::kBufferWords), start);
}

TEST(ProgramImageTest, TotalsCountFlashAndRamApartAndFollowTheSections) {
  ProgramImage image;
  AddSection(image, false, 4, 0, 0xA0);    // RAM at buffer byte 0
  AddSection(image, true, 3, 0x01, 0xF1);  // flash at buffer byte 8
  AddSection(image, false, 5, 0, 0xA2);    // RAM at 14
  AddSection(image, true, 2, 0x04, 0xF3);  // flash at 24
  AddSection(image, false, 1, 0, 0xA4);    // RAM at 28

  EXPECT_TRUE(image.hasFlash());
  EXPECT_EQ(image.sectionCount(), 5);
  EXPECT_EQ(image.flashSectionCount(), 2);
  EXPECT_EQ(image.flashListEnd(), 4);
  EXPECT_EQ(image.flashSectorMask(), 0x05);
  EXPECT_EQ(image.flashBytes(), 10u);
  EXPECT_EQ(image.ramSectionCount(), 3);
  EXPECT_EQ(image.ramBytes(), 20u);
  EXPECT_EQ(image.imageBytes(), 30u);

  // A section that grows or turns to flash later counts as it is now.
  image.sections[4]->wordCount = 3;
  image.sections[4]->inFlash = true;
  image.sections[4]->sectorMask = 0x02;
  EXPECT_EQ(image.flashListEnd(), 5);
  EXPECT_EQ(image.flashSectorMask(), 0x07);
  EXPECT_EQ(image.flashBytes(), 16u);
  EXPECT_EQ(image.ramBytes(), 18u);
  EXPECT_EQ(image.imageBytes(), 34u);
}

TEST(ProgramImageTest, RamOnlyImageHasNoFlash) {
  ProgramImage image;
  AddSection(image, false, 2, 0, 1);
  EXPECT_FALSE(image.hasFlash());
  EXPECT_EQ(image.flashListEnd(), 0);
  EXPECT_EQ(image.flashSectionCount(), 0);
  EXPECT_EQ(image.ramSectionCount(), 1);
  EXPECT_EQ(image.ramBytes(), 4u);
}

TEST(ProgramImageTest, BuilderPacksFlashSectionsAndKeepsRamAtItsBufferPlace) {
  ProgramImage image;
  ImageBuilder builder(image, kF2808);
  const std::pair<uint32_t, uint32_t> placed[] = {
      {0x8000, 4},    // RAM at buffer byte 0
      {0x3F4000, 3},  // flash at buffer byte 8
      {0x9000, 5},    // RAM at 14
      {0x3F0000, 2},  // flash at 24
      {0xA000, 1},    // RAM at 28
  };
  for (const auto& [address, count] : placed) {
    ASSERT_EQ(builder.Open(AddressName(address), address), ProgramReadResult::Ok);
    ASSERT_NE(builder.Grow(count), nullptr);
  }
  builder.Finish();

  // Flash sections count from 0 in the packed flash data; RAM keeps buffer places.
  const uint32_t offsets[] = {0, 0, 14, 6, 28};
  for (size_t i = 0; i < image.sections.size(); ++i) {
    EXPECT_EQ(image.sections[i]->offset, offsets[i]) << "section " << i;
  }
  // The data stays where it was read.
  EXPECT_EQ(image.sections[3]->data, image.words() + 12);
  EXPECT_EQ(image.flashSectorMask(), 0x03);
}

}  // namespace
