#include "image/ProgramImage.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

bool AllErased(const ProgramImage& image) {
  return std::all_of(image.words(), image.words() + ProgramImage::kBufferWords,
                     [](uint16_t word) { return word == 0xFFFF; });
}

// Appends a section of `count` words filled with `fill`, placed after the others.
void AddSection(ProgramImage& image, bool inFlash, uint32_t count, uint16_t mask, uint16_t fill) {
  auto section = image.NewSection();
  section->wordCount = count;
  section->offset = image.imageBytes;
  uint16_t* words = image.WordsForWriting(image.imageBytes, count);
  ASSERT_NE(words, nullptr);
  std::fill_n(words, count, fill);
  section->data = words;
  section->inFlash = inFlash;
  section->sectorMask = mask;
  image.imageBytes += 2 * count;
  image.AppendSection(std::move(section));
}

TEST(ProgramImageTest, StartsEmptyAndErased) {
  ProgramImage image;
  EXPECT_TRUE(image.sections.empty());
  EXPECT_EQ(image.sectionCount, 0);
  EXPECT_TRUE(AllErased(image));
}

TEST(ProgramImageTest, ClearErasesEveryWordAndDropsEverything) {
  ProgramImage image;
  AddSection(image, true, 3, 0x01, 0x1234);
  // A word at the very end of the buffer must be erased as well.
  *image.WordsForWriting(ProgramImage::kBufferBytes - 2, 1) = 0;
  image.Summarize();
  image.Clear();
  EXPECT_TRUE(AllErased(image));
  EXPECT_TRUE(image.sections.empty());
  EXPECT_EQ(image.sectionCount, 0);
  EXPECT_EQ(image.imageBytes, 0u);
  EXPECT_FALSE(image.hasFlash);
  EXPECT_EQ(image.flashSectionCount, 0);
  EXPECT_EQ(image.flashBytes, 0u);
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

TEST(ProgramImageTest, SummarizePacksFlashSectionsAndCountsRamApart) {
  ProgramImage image;
  AddSection(image, false, 4, 0, 0xA0);    // RAM at buffer byte 0
  AddSection(image, true, 3, 0x01, 0xF1);  // flash at buffer byte 8
  AddSection(image, false, 5, 0, 0xA2);    // RAM at 14
  AddSection(image, true, 2, 0x04, 0xF3);  // flash at 24
  AddSection(image, false, 1, 0, 0xA4);    // RAM at 28

  image.Summarize();
  image.Summarize();  // a second run must not count anything twice

  EXPECT_TRUE(image.hasFlash);
  EXPECT_EQ(image.flashSectionCount, 2);
  EXPECT_EQ(image.flashListEnd, 4);
  EXPECT_EQ(image.flashSectorMask, 0x05);
  EXPECT_EQ(image.flashBytes, 10u);
  EXPECT_EQ(image.ramSectionCount, 3);
  EXPECT_EQ(image.ramBytes, 20u);
  EXPECT_EQ(image.flashBytes + image.ramBytes, image.imageBytes);
  // Flash sections count from 0 in the packed flash data; RAM keeps buffer places.
  const uint32_t offsets[] = {0, 0, 14, 6, 28};
  for (size_t i = 0; i < image.sections.size(); ++i) {
    EXPECT_EQ(image.sections[i]->offset, offsets[i]) << "section " << i;
  }
  // The data stays where it was read.
  EXPECT_EQ(image.sections[3]->data, image.words() + 12);
  EXPECT_EQ(image.sections[3]->data[1], 0xF3);
}

TEST(ProgramImageTest, SummarizeOfRamOnlyImageHasNoFlash) {
  ProgramImage image;
  AddSection(image, false, 2, 0, 1);
  image.Summarize();
  EXPECT_FALSE(image.hasFlash);
  EXPECT_EQ(image.flashListEnd, 0);
  EXPECT_EQ(image.flashSectionCount, 0);
  EXPECT_EQ(image.ramSectionCount, 1);
  EXPECT_EQ(image.ramBytes, 4u);
}

}  // namespace
