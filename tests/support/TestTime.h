// Calendar times for tests of what the POD stores with a program's tag.
#pragma once

#include <ctime>

// The local time `year`-`month`-`day` `hour`:`minute`:`second`, months from 1.
inline std::tm LocalTimeAt(int year, int month, int day, int hour, int minute, int second = 0) {
  std::tm time{};
  time.tm_year = year - 1900;
  time.tm_mon = month - 1;
  time.tm_mday = day;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  return time;
}
