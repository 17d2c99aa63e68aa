// The JSON that brontaflex-cli prints for scripts (`--json`): values are built
// as nlohmann::json, or as nlohmann::ordered_json where the fields keep the
// order they were given in, and every command writes them in the one layout
// that scripts already parse.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

// Four spaces a level, each member on a line of its own, an empty array or
// object opened and closed on two lines. Bytes that are not UTF-8 (a name
// from the POD, a path in another encoding) become U+FFFD instead of failing.
std::string JsonText(const nlohmann::json& value);
std::string JsonText(const nlohmann::ordered_json& value);

// A JSON string keeps every byte of `bytes`, each read as one Latin-1
// character, so names from a file show whatever they hold.
nlohmann::json Latin1String(std::string_view bytes);
