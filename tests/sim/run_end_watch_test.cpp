#include "sim/run_end_watch.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace kvx::sim {
namespace {

using std::chrono::milliseconds;
using Reason = RunEndWatch::Reason;

constexpr milliseconds kHostGoneAfter{3000};

enum class Event { kLineUp, kLineDown, kPresent, kAway, kClosedInDownloadMode };

struct Step {
  int at_ms;
  Event event;
};

// The engine's connection attempts: open (the host sends a command), no answer for 1 s, close,
// 400 ms pause, the next attempt at the other speed; ten of them.
std::vector<Step> TenConnectionAttempts() {
  std::vector<Step> steps{{0, Event::kLineUp}};
  for (int attempt = 0; attempt < 10; ++attempt) {
    steps.push_back({attempt * 1400, Event::kPresent});
    steps.push_back({attempt * 1400 + 1000, Event::kAway});
  }
  return steps;
}

struct Case {
  const char* why;
  std::vector<Step> steps;
  std::optional<Reason> reason;  // none: the run goes on however long the line stays as it is
  int ends_after_ms = 0;         // after the last step
};

void Apply(RunEndWatch& watch, const Step& step, RunEndWatch::TimePoint start) {
  const auto at = start + milliseconds(step.at_ms);
  switch (step.event) {
    case Event::kLineUp:
      watch.LineUp(at);
      break;
    case Event::kLineDown:
      watch.LineDown();
      break;
    case Event::kPresent:
      watch.HostPresent();
      break;
    case Event::kAway:
      watch.HostAway(at);
      break;
    case Event::kClosedInDownloadMode:
      watch.ClosedInDownloadMode();
      break;
  }
}

TEST(RunEndWatchTest, TellsTheEndOfARunFromTheHostsClosesWithinIt) {
  const Case cases[] = {
      {"a host that has not come yet is waited for", {{0, Event::kLineUp}}, std::nullopt},
      {"a close in download mode ends the run at once (completed or given up)",
       {{0, Event::kLineUp},
        {5, Event::kPresent},
        {9000, Event::kAway},
        {9000, Event::kClosedInDownloadMode}},
       Reason::kClosedInDownloadMode,
       0},
      {"the port test opens and closes at once, then the run opens the port",
       {{0, Event::kLineUp}, {10, Event::kAway}, {12, Event::kPresent}},
       std::nullopt},
      {"a run that failed before download mode ends once the host has stayed away",
       {{0, Event::kLineUp}, {5, Event::kPresent}, {4000, Event::kAway}},
       Reason::kHostGone,
       3000},
      {"the host reopening after the restart into download mode keeps the run going",
       {{0, Event::kLineUp},
        {5, Event::kPresent},
        {600, Event::kLineDown},
        {1100, Event::kLineUp},
        {2500, Event::kPresent}},
       std::nullopt},
      {"a terminal that vanished and came back unopened has lost its host",
       {{0, Event::kLineUp},
        {5, Event::kPresent},
        {5000, Event::kLineDown},
        {7500, Event::kLineUp}},
       Reason::kHostGone,
       3000},
      {"the time the line is away for a restart is the terminal's, not the host's absence",
       {{0, Event::kLineUp},
        {1, Event::kPresent},
        {100, Event::kAway},
        {2000, Event::kLineDown},
        {4000, Event::kLineUp}},
       Reason::kHostGone,
       3000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    RunEndWatch watch(kHostGoneAfter);
    const RunEndWatch::TimePoint start{};
    for (const Step& step : c.steps) Apply(watch, step, start);
    const auto last = start + milliseconds(c.steps.back().at_ms);
    if (!c.reason) {
      EXPECT_EQ(watch.Ended(last + std::chrono::hours(1)), std::nullopt);
      EXPECT_EQ(watch.Deadline(), std::nullopt) << "nothing to wake up for";
      continue;
    }
    const auto end = last + milliseconds(c.ends_after_ms);
    if (c.ends_after_ms > 0) {
      EXPECT_EQ(watch.Ended(end - milliseconds(1)), std::nullopt);
      EXPECT_EQ(watch.Deadline(), end);
    }
    EXPECT_EQ(watch.Ended(end), c.reason);
  }
}

TEST(RunEndWatchTest, TenConnectionAttemptsAreOneRunAndTheHostLeavingAfterThemEndsIt) {
  RunEndWatch watch(kHostGoneAfter);
  const RunEndWatch::TimePoint start{};
  const std::vector<Step> steps = TenConnectionAttempts();
  for (const Step& step : steps) {
    Apply(watch, step, start);
    EXPECT_EQ(watch.Ended(start + milliseconds(step.at_ms + 400)), std::nullopt)
        << "at " << step.at_ms << " ms";
  }
  const auto gave_up = start + milliseconds(steps.back().at_ms);
  EXPECT_EQ(watch.Ended(gave_up + kHostGoneAfter), Reason::kHostGone);
}

}  // namespace
}  // namespace kvx::sim
