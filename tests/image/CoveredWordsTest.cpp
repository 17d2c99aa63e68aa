#include "image/CoveredWords.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "image/ImageBuilder.h"

namespace {

struct Claim {
  uint32_t first;
  uint32_t count;
  std::optional<uint32_t> twice;  // the lowest word already claimed, if any
};

struct ClaimCase {
  const char* what;
  std::vector<Claim> claims;
  std::vector<std::pair<uint32_t, uint32_t>> runs;  // first and count, lowest first
};

TEST(CoveredWordsTest, ClaimsFindTheLowestWordGivenTwiceAndLeaveRefusalsUnmarked) {
  const ClaimCase cases[] = {
      {"nothing", {{100, 0, {}}}, {}},
      {"within one block", {{3, 5, {}}, {8, 1, {}}}, {{3, 6}}},
      {"across many blocks, then touching both ends",
       {{60, 1000, {}}, {59, 1, {}}, {1060, 4, {}}},
       {{59, 1005}}},
      {"the last word of a long run", {{64, 640, {}}, {703, 2, 703}}, {{64, 640}}},
      {"the first word of a long run", {{64, 640, {}}, {0, 65, 64}}, {{64, 640}}},
      {"a whole block in the middle", {{1000, 64, {}}, {0, 5000, 1000}}, {{1000, 64}}},
      {"the end of memory",
       {{kC28xAddressWords - 130, 130, {}}, {kC28xAddressWords - 1, 1, kC28xAddressWords - 1}},
       {{kC28xAddressWords - 130, 130}}},
      {"a refused claim marks nothing", {{10, 1, {}}, {0, 200, 10}, {11, 100, {}}}, {{10, 101}}},
      // The map is kept in pages of 32 Ki words.
      {"across pages, then touching both ends",
       {{32000, 70000, {}}, {31999, 1, {}}, {102000, 3, {}}},
       {{31999, 70004}}},
      {"a word given twice pages beyond the claim's start",
       {{100000, 10, {}}, {0, 200000, 100000}},
       {{100000, 10}}},
      {"runs pages apart", {{5, 5, {}}, {3000000, 5, {}}}, {{5, 5}, {3000000, 5}}},
      {"all of memory",
       {{0, kC28xAddressWords, {}}, {kC28xAddressWords / 2, 1, kC28xAddressWords / 2}},
       {{0, kC28xAddressWords}}},
  };
  for (const ClaimCase& c : cases) {
    SCOPED_TRACE(c.what);
    CoveredWords covered;
    for (const Claim& claim : c.claims) {
      EXPECT_EQ(covered.Claim(claim.first, claim.count), claim.twice)
          << claim.first << " + " << claim.count;
    }
    std::vector<std::pair<uint32_t, uint32_t>> runs;
    covered.ForEachRun([&](uint32_t first, uint32_t count) { runs.emplace_back(first, count); });
    EXPECT_EQ(runs, c.runs);
  }
}

}  // namespace
