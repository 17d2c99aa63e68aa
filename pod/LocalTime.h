// The local date and time, through the system's thread-safe conversion.
#pragma once

#include <ctime>

std::tm LocalTimeNow();
