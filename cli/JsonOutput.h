// The JSON that brontaflex-cli prints for scripts (`--json`): values are built
// as nlohmann::json and written in one layout that scripts already parse.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string_view>

// Four spaces a level, keys in sorted order, each member on a line of its own,
// an empty array or object opened and closed on two lines, a newline at the end.
void PrintJson(const nlohmann::json& value, std::ostream& out);

// A JSON string keeps every byte of `bytes`, each read as one Latin-1
// character, so names from a file show whatever they hold.
nlohmann::json Latin1String(std::string_view bytes);
