// The window's string resource: the About entry of its menu, looked up by
// resource id as the dialog template names it. The operations' texts live
// with the operations, in ops.
#pragma once

#include "resources/ResourceIds.h"

#include <string_view>

// The About entry of the window's menu (string 101).
inline constexpr std::string_view kAboutBoxMenuText = "Brontaflex 정보(&A)...";

// The text of string resource `id`, or an empty view for an unknown id.
constexpr std::string_view ResourceString(int id) {
  return id == kStringAboutBox ? kAboutBoxMenuText : std::string_view{};
}
