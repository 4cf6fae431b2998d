#pragma once
// When a long scan looks at its cancel flag: every kEvery steps, and sooner when the steps are
// slow. A step's cost depends on what is matched (a long pattern makes one name cost far more
// than another), so a count alone can leave a cancelled scan running, holding its lock, for
// seconds. The clock is read only every kClockEvery steps, so cheap steps stay cheap.
#include <chrono>
#include <cstdint>

template <class Clock = std::chrono::steady_clock>
class BasicCancelPoll {
 public:
  static constexpr std::uint32_t kEvery = 4096;
  static constexpr std::uint32_t kClockEvery = 32;
  static constexpr std::chrono::microseconds kInterval{500};

  BasicCancelPoll() : last_(Clock::now()) {}

  // Called once per step; true when the flag is due to be looked at.
  bool Due() {
    ++steps_;
    if (steps_ % kClockEvery != 0) return false;
    const auto now = Clock::now();
    if (steps_ < kEvery && now - last_ < kInterval) return false;
    steps_ = 0;
    last_ = now;
    return true;
  }

 private:
  std::uint32_t steps_ = 0;
  typename Clock::time_point last_;
};

using CancelPoll = BasicCancelPoll<>;
