// The calendar, as far as the engine needs it.
#pragma once

#include <ctime>

// The current year in local time (a new ID3v1 tag's default year).
inline int CurrentLocalYear() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return local.tm_year + 1900;
}
