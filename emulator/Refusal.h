// The outcome of one thing asked of the emulated POD or target: nothing when it
// was done, else a sentence saying why not (kept in the transcript).
#pragma once

#include <optional>
#include <string>

using Refusal = std::optional<std::string>;
