#include "core/CancelPoll.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

// A clock the test moves by hand.
struct FakeClock {
  using duration = std::chrono::microseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<FakeClock>;
  static inline time_point now_{};
  static time_point now() { return now_; }
};

using Poll = BasicCancelPoll<FakeClock>;

std::uint32_t StepsUntilDue(Poll& poll, FakeClock::duration perStep) {
  for (std::uint32_t steps = 1; steps <= 100000; ++steps) {
    FakeClock::now_ += perStep;
    if (poll.Due()) return steps;
  }
  return 0;
}

TEST(CancelPoll, CheapStepsByCountSlowStepsByTime) {
  Poll poll;
  // Steps that take no time: once per kEvery.
  EXPECT_EQ(StepsUntilDue(poll, std::chrono::microseconds(0)), Poll::kEvery);
  EXPECT_EQ(StepsUntilDue(poll, std::chrono::microseconds(0)), Poll::kEvery);
  // A step of a millisecond (a name that is slow to match): at the first clock reading.
  EXPECT_EQ(StepsUntilDue(poll, std::chrono::milliseconds(1)), Poll::kClockEvery);
  // In between: once the interval has passed, at a clock reading.
  const std::uint32_t steps = StepsUntilDue(poll, std::chrono::microseconds(5));
  EXPECT_EQ(steps % Poll::kClockEvery, 0u);
  EXPECT_GE(steps * 5, static_cast<std::uint32_t>(Poll::kInterval.count()));
  EXPECT_LT(steps, Poll::kEvery);
}

}  // namespace
