// The calendar and a steady clock, as far as the program needs them.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>

// The current year in local time (a new ID3v1 tag's default year).
inline int CurrentLocalYear() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return local.tm_year + 1900;
}

// Milliseconds of a steady clock (the start is arbitrary): for rates and
// durations, which a change of the calendar time does not upset. Whatever
// shows a duration takes a function of this type, so that a test can give
// times of its own.
using SteadyClock = std::function<int64_t()>;
inline int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
