// The outcome tables' lookup and self-check, and texts that quote a number.
#include <gtest/gtest.h>

#include <string_view>

#include "image/OutcomeTable.h"
#include "image/TextWithNumber.h"

namespace {

enum class Light : uint8_t { Off = 0, Red = 1, Green = 7 };

constexpr OutcomeRow<Light> kLights[] = {
    {Light::Off, "Off", "dark"},
    {Light::Red, "Red", "stop", "Stop here"},
    {Light::Green, "Green", "", "Go"},
};

TEST(OutcomeTableTest, FindsEachRowByItsValueAndCallsAnyOtherValueUnknown) {
  EXPECT_EQ(FindOutcomeRow(kLights, Light::Off).meaning, "dark");
  EXPECT_EQ(FindOutcomeRow(kLights, Light::Off).message, "");
  EXPECT_EQ(FindOutcomeRow(kLights, Light::Red).message, "Stop here");
  EXPECT_EQ(FindOutcomeRow(kLights, Light::Green).name, "Green");
  const auto& unknown = FindOutcomeRow(kLights, static_cast<Light>(2));
  EXPECT_EQ(unknown.name, "Unknown");
  EXPECT_FALSE(unknown.message.empty());
}

TEST(OutcomeTableTest, RowsSharingANumberOrANameAreCaught) {
  constexpr OutcomeRow<Light> kSameNumber[] = {{Light::Red, "Red", ""}, {Light::Red, "Amber", ""}};
  constexpr OutcomeRow<Light> kSameName[] = {{Light::Red, "Red", ""}, {Light::Green, "Red", ""}};
  constexpr OutcomeRow<Light> kApart[] = {{Light::Green, "Green", ""}, {Light::Red, "Red", ""}};
  EXPECT_TRUE(OutcomesAreDistinct(kLights));
  EXPECT_TRUE(OutcomesAreDistinct(kApart));
  EXPECT_FALSE(OutcomesAreDistinct(kSameNumber));
  EXPECT_FALSE(OutcomesAreDistinct(kSameName));
}

TEST(TextWithNumberTest, PutsTheNumberBetweenTheTextsWithItsDigitsGroupedByThrees) {
  const struct {
    std::string_view text;
    std::string_view expected;
  } cases[] = {
      {kTextWithNumber<"", 0, "">, "0"},
      {kTextWithNumber<"at most ", 7, " sections">, "at most 7 sections"},
      {kTextWithNumber<"", 999, " bytes">, "999 bytes"},
      {kTextWithNumber<"", 1000, "">, "1,000"},
      {kTextWithNumber<"more than ", 524288, " bytes">, "more than 524,288 bytes"},
      {kTextWithNumber<"", 1000000, "">, "1,000,000"},
      {kTextWithNumber<"up to ", 4294967295u, "">, "up to 4,294,967,295"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.text, c.expected);
  }
}

}  // namespace
