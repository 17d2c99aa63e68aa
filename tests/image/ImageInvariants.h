// Checks that hold for every image after a successful read.
#pragma once

#include <gtest/gtest.h>

#include "image/ProgramImage.h"

inline void ExpectImageConsistent(const ProgramImage& image) {
  ASSERT_EQ(image.sectionCount(), static_cast<int32_t>(image.sections.size()));
  EXPECT_EQ(image.flashSectionCount() + image.ramSectionCount(), image.sectionCount());
  EXPECT_EQ(image.flashBytes() + image.ramBytes(), image.imageBytes());
  EXPECT_EQ(image.hasFlash(), image.flashSectionCount() > 0);
  EXPECT_LE(image.flashListEnd(), image.sectionCount());
  uint32_t bufferBytes = 0;
  uint32_t flashBytes = 0;
  for (int32_t i = 0; i < image.sectionCount(); ++i) {
    const ImageSection& section = *image.sections[i];
    EXPECT_NE(section.wordCount, 0u) << section.name;
    EXPECT_EQ(section.data, image.words() + bufferBytes / 2) << section.name;
    if (section.inFlash) {
      EXPECT_LT(i, image.flashListEnd()) << section.name;
      EXPECT_EQ(section.offset, flashBytes) << section.name;
      flashBytes += 2 * section.wordCount;
    } else {
      EXPECT_EQ(section.offset, bufferBytes) << section.name;
      EXPECT_EQ(section.sectorMask, 0) << section.name;
    }
    bufferBytes += 2 * section.wordCount;
  }
  EXPECT_EQ(bufferBytes, image.imageBytes());
  // The image holds its sections' words and no more.
  EXPECT_EQ(image.heldWords(), image.imageBytes() / 2);
}
