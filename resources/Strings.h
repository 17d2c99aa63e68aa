// The program's string table: fixed texts kept with the resources rather than
// in the code that shows them.
#pragma once

#include "resources/ResourceIds.h"

#include <string_view>

// The About entry of the window's menu (string 101).
inline constexpr std::string_view kAboutBoxMenuText = "Brontaflex 정보(&A)...";

// The text of string resource `id`, or an empty view for an unknown id.
constexpr std::string_view ResourceString(int id) {
  return id == kStringAboutBox ? kAboutBoxMenuText : std::string_view{};
}
