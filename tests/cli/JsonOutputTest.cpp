#include "cli/JsonOutput.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::string Printed(const nlohmann::json& value) {
  std::ostringstream out;
  PrintJson(value, out);
  return out.str();
}

// Scripts parse this layout already, so it stays as it always was.
TEST(JsonOutputTest, LayoutOfObjectsArraysAndEmptyOnes) {
  const struct {
    nlohmann::json value;
    std::string printed;
  } cases[] = {
      {{{"b", 1}, {"a", true}}, "{\n    \"a\": true,\n    \"b\": 1\n}\n"},
      {{{"list", nlohmann::json::array()}}, "{\n    \"list\": [\n    ]\n}\n"},
      {{{"list", {nlohmann::json::object(), 4294967295u}}},
       "{\n    \"list\": [\n        {\n        },\n        4294967295\n    ]\n}\n"},
      {{{"name", "a\"\\/\t\x01"}}, "{\n    \"name\": \"a\\\"\\\\/\\t\\u0001\"\n}\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Printed(c.value), c.printed);
  }
}

TEST(JsonOutputTest, EveryByteOfANameIsOneCharacter) {
  EXPECT_EQ(Latin1String(std::string_view("\xE9\xFF\x7F"
                                          "a\0b",
                                          6)),
            "\xC3\xA9\xC3\xBF\x7F"
            "a" +
                std::string(1, '\0') + "b");
}

}  // namespace
