#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <concepts>
#include <type_traits>

namespace kvx {
namespace {

template <typename A, typename B>
concept Addable = requires(A a, B b) {
  a + b;
};

// A deadline and a time-out cannot stand in for each other, and the real clock's time cannot be
// taken for the injected clock's.
static_assert(!std::convertible_to<Clock::TimePoint, Clock::Duration>);
static_assert(!std::convertible_to<Clock::Duration, Clock::TimePoint>);
static_assert(!Addable<Clock::TimePoint, Clock::TimePoint>, "two time points do not add up");
static_assert(!std::convertible_to<std::chrono::steady_clock::time_point, Clock::TimePoint>);
static_assert(!std::is_invocable_v<decltype(&ManualClock::Advance), ManualClock&, Clock::TimePoint>,
              "Advance takes a duration");
static_assert(
    !std::is_invocable_v<decltype(&ManualClock::AdvanceTo), ManualClock&, Clock::Duration>,
    "AdvanceTo takes a time point");

TEST(ManualClock, StartsAtTheEpochAndNeverMovesBackwards) {
  ManualClock clock;
  EXPECT_EQ(clock.Now(), Clock::TimePoint{});
  clock.Advance(Milliseconds(1000));
  clock.AdvanceTo(Clock::TimePoint{} + Milliseconds(400));
  EXPECT_EQ(clock.Now(), Clock::TimePoint{} + Milliseconds(1000));
  clock.AdvanceTo(Clock::TimePoint{} + Milliseconds(1500));
  EXPECT_EQ(clock.Now(), Clock::TimePoint{} + Milliseconds(1500));
}

}  // namespace
}  // namespace kvx
