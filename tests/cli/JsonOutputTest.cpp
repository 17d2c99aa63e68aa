#include "cli/JsonOutput.h"

#include <gtest/gtest.h>

namespace {

// Scripts parse this layout already, so it stays as it always was.
TEST(JsonOutputTest, LayoutOfObjectsArraysAndEmptyOnes) {
  const struct {
    nlohmann::json value;
    std::string printed;
  } cases[] = {
      {{{"b", 1}, {"a", true}}, "{\n    \"a\": true,\n    \"b\": 1\n}"},
      {{{"list", nlohmann::json::array()}}, "{\n    \"list\": [\n    ]\n}"},
      {{{"list", {nlohmann::json::object(), 4294967295u}}},
       "{\n    \"list\": [\n        {\n        },\n        4294967295\n    ]\n}"},
      {{{"name", "a\"\\/\t\x01"}}, "{\n    \"name\": \"a\\\"\\\\/\\t\\u0001\"\n}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JsonText(c.value), c.printed);
  }
}

TEST(JsonOutputTest, RunObjectsKeepTheirFieldOrderInTheSameLayout) {
  const nlohmann::ordered_json run = {{"command", "pod-info"}, {"cause", nullptr}, {"pod", {}}};
  EXPECT_EQ(JsonText(run),
            "{\n    \"command\": \"pod-info\",\n    \"cause\": null,\n"
            "    \"pod\": null\n}");
}

TEST(JsonOutputTest, BytesThatAreNotUtf8AreReplacedNotFatal) {
  const nlohmann::ordered_json name = {{"fileName", "bl\xFFnk"}};
  EXPECT_EQ(JsonText(name), "{\n    \"fileName\": \"bl\xEF\xBF\xBDnk\"\n}");
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
