// The chunks of a flash write and the page runs of a POD store, laid out
// before anything is sent: where sections end inside a chunk or a page, where
// they hold no words, and at the limits of what the POD stores.
#include "pod/ProgramPlans.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "image/McuCatalogue.h"
#include "tests/procedures/ProcedureTest.h"

namespace {

struct Section {
  uint32_t address;
  uint32_t words;
};

class ProgramPlansTest : public ProcedureTest {
 protected:
  // Sections with distinct words, in this order, on `mcu`.
  void Add(const std::vector<Section>& sections, McuType mcu = kF2808) {
    mcuType = mcu;
    uint16_t seed = 0;
    for (const Section& section : sections) {
      AddSection(section.address, Pattern(section.words, seed));
      seed = static_cast<uint16_t>(seed + 0x100);
    }
  }

  // The words of the flash sections in list order, as the plans must carry them.
  std::vector<uint16_t> FlashWords(bool storedOnly) const {
    std::vector<uint16_t> words;
    const size_t end =
        storedOnly ? static_cast<size_t>(image.flashListEnd()) : image.sections.size();
    for (size_t i = 0; i < end; ++i) {
      const ImageSection& section = *image.sections[i];
      if (section.inFlash) {
        words.insert(words.end(), section.data, section.data + section.wordCount);
      }
    }
    return words;
  }
};

template <typename Run>
std::vector<uint16_t> Joined(const std::vector<Run>& runs) {
  std::vector<uint16_t> words;
  for (const Run& run : runs) {
    words.insert(words.end(), run.words.begin(), run.words.end());
  }
  return words;
}

// "3F4000+40": a chunk's address and size.
std::string Describe(const WordRun& chunk) {
  char text[32];
  std::snprintf(text, sizeof text, "%06X+%zu", static_cast<unsigned>(chunk.address),
                chunk.words.size());
  return text;
}

// "V1@3EC000 p0 32w end 264": the record ahead of the run (ordinal and
// address), the page, the words, and the page's byte count when the run ends it.
std::string Describe(const PageRun& run) {
  std::string text;
  if (run.record) {
    char record[32];
    std::snprintf(record, sizeof record, "V%u@%06X ", run.record->ordinal,
                  static_cast<unsigned>(run.record->address));
    text += record;
  }
  text += "p" + std::to_string(run.page) + " " + std::to_string(run.words.size()) + "w";
  if (run.pageBytes != 0) {
    text += " end " + std::to_string(run.pageBytes);
  }
  return text;
}

template <typename Run>
std::vector<std::string> Described(const std::vector<Run>& runs) {
  std::vector<std::string> texts;
  for (const Run& run : runs) {
    texts.push_back(Describe(run));
  }
  return texts;
}

struct ChunkCase {
  const char* name;
  std::vector<Section> sections;
  std::vector<std::string> chunks;
};
void PrintTo(const ChunkCase& c, std::ostream* os) {
  *os << c.name;
}

class ChunkPlanTest : public ProgramPlansTest, public testing::WithParamInterface<ChunkCase> {};

TEST_P(ChunkPlanTest, CutsEachFlashSectionIntoFortyWordChunks) {
  Add(GetParam().sections);
  const std::vector<WordRun> plan = ChunkPlan(image);
  EXPECT_EQ(Described(plan), GetParam().chunks);
  EXPECT_EQ(Joined(plan), FlashWords(false));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChunkPlanTest,
    testing::Values(ChunkCase{"WholeChunks", {{0x3F4000, 80}}, {"3F4000+40", "3F4028+40"}},
                    ChunkCase{"SectionEndingInsideAChunkAndRamBetween",
                              {{0x3F4000, 45}, {0x8000, 10}, {0x3F6000, 3}},
                              {"3F4000+40", "3F4028+5", "3F6000+3"}},
                    ChunkCase{"EmptySectionsSendNothing",
                              {{0x3F4000, 5}, {0x3F5000, 0}, {0x3F7000, 0}},
                              {"3F4000+5"}},
                    ChunkCase{"RamOnly", {{0x8000, 100}}, {}}),
    [](const auto& info) { return info.param.name; });

struct PageCase {
  const char* name;
  std::vector<Section> sections;
  std::vector<std::string> runs;
};
void PrintTo(const PageCase& c, std::ostream* os) {
  *os << c.name;
}

class PagePlanTest : public ProgramPlansTest, public testing::WithParamInterface<PageCase> {};

TEST_P(PagePlanTest, RunsTheStoredSectionsOnAcrossPages) {
  Add(GetParam().sections);
  const std::optional<std::vector<PageRun>> plan = PagePlan(image);
  ASSERT_TRUE(plan);
  EXPECT_EQ(Described(*plan), GetParam().runs);
  EXPECT_EQ(Joined(*plan), FlashWords(true));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PagePlanTest,
    testing::Values(PageCase{"OnePageExactly", {{0x3F4000, 132}}, {"V0@3F4000 p0 132w end 264"}},
                    PageCase{"SectionEndingInsideAPage",
                             {{0x3F4000, 100}, {0x3EC000, 50}},
                             {"V0@3F4000 p0 100w", "V1@3EC000 p0 32w end 264", "p1 18w end 36"}},
                    PageCase{"SectionLongerThanAPage",
                             {{0x3F4000, 300}},
                             {"V0@3F4000 p0 132w end 264", "p1 132w end 264", "p2 36w end 72"}},
                    PageCase{"EmptyLastSectionStillEndsTheShortPage",
                             {{0x3F4000, 5}, {0x3F7000, 0}},
                             {"V0@3F4000 p0 5w end 10"}},
                    PageCase{"EmptyAndRamSectionsGetNoRecord",
                             {{0x3F4000, 5}, {0x3F5000, 0}, {0x8000, 7}, {0x3F6000, 3}},
                             {"V0@3F4000 p0 5w", "V1@3F6000 p0 3w end 16"}}),
    [](const auto& info) { return info.param.name; });

TEST_F(ProgramPlansTest, SeventySectionsAreStoredAndNotOneMore) {
  std::vector<Section> sections;
  for (uint32_t i = 0; i < kPodMaxSections; ++i) {
    sections.push_back({0x3F4000 + 2 * i, 1});
  }
  Add(sections);
  const auto plan = PagePlan(image);
  ASSERT_TRUE(plan);
  ASSERT_EQ(plan->size(), kPodMaxSections);
  EXPECT_EQ(Describe(plan->back()), "V69@3F408A p0 1w end 140");

  Add({{0x3F5000, 1}});
  EXPECT_FALSE(PagePlan(image));
}

TEST_F(ProgramPlansTest, TheWholeSerialFlashIsStoredAndNotOneWordMore) {
  // Two whole F2809 flashes: 0x80000 bytes, the store's size.
  const Section flash{0x3D8000, 0x20000};
  Add({flash, flash}, kF2809);
  const auto plan = PagePlan(image);
  ASSERT_TRUE(plan);
  EXPECT_EQ(Describe(plan->back()), "p1985 124w end 248");
  EXPECT_EQ(Joined(*plan), FlashWords(true));

  Add({{0x3D8000, 1}}, kF2809);
  EXPECT_FALSE(PagePlan(image));
}

}  // namespace
