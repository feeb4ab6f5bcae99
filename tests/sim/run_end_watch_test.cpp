#include "sim/run_end_watch.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace kvx::sim {
namespace {

using std::chrono::milliseconds;
using Reason = RunEndWatch::Reason;

constexpr milliseconds kHostGoneAfter{3000};

enum class Event { kLineUp, kLineDown, kSent, kOpened, kClosed, kClosedInDownloadMode };

struct Step {
  int at_ms;
  Event event;
};

// The engine's connection attempts: open and send a command at once, no answer for 1 s, close,
// 400 ms pause, the next attempt at the other speed; ten of them.
std::vector<Step> TenConnectionAttempts() {
  std::vector<Step> steps{{0, Event::kLineUp}};
  for (int attempt = 0; attempt < 10; ++attempt) {
    steps.push_back({attempt * 1400, Event::kOpened});
    steps.push_back({attempt * 1400, Event::kSent});
    steps.push_back({attempt * 1400 + 1000, Event::kClosed});
  }
  return steps;
}

// A host that spoke, closed the line at 1000 ms and then looks at the port every 200 ms, opening
// and closing it without a word, until 3801 ms.
std::vector<Step> LookingAtThePortAfterTheRun() {
  std::vector<Step> steps{{0, Event::kLineUp}, {5, Event::kSent}, {1000, Event::kClosed}};
  for (int at = 1200; at < 4000; at += 200) {
    steps.push_back({at, Event::kOpened});
    steps.push_back({at + 1, Event::kClosed});
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
    case Event::kSent:
      watch.HostSent();
      break;
    case Event::kOpened:
      watch.HostOpened();
      break;
    case Event::kClosed:
      watch.HostClosed(at);
      break;
    case Event::kClosedInDownloadMode:
      watch.ClosedInDownloadMode();
      break;
  }
}

TEST(RunEndWatchTest, TellsTheEndOfARunFromTheHostsClosesWithinIt) {
  const Case cases[] = {
      {"a host that has not come yet is waited for", {{0, Event::kLineUp}}, std::nullopt},
      {"a look at the port before the run (open and close, no word) starts no run",
       {{0, Event::kLineUp}, {10, Event::kOpened}, {12, Event::kClosed}},
       std::nullopt},
      {"a close in download mode ends the run at once (completed or given up)",
       {{0, Event::kLineUp},
        {5, Event::kSent},
        {9000, Event::kClosed},
        {9000, Event::kClosedInDownloadMode}},
       Reason::kClosedInDownloadMode,
       0},
      {"the port test and a new attempt within the run keep it going",
       {{0, Event::kLineUp},
        {5, Event::kSent},
        {1000, Event::kClosed},
        {1100, Event::kOpened},
        {1101, Event::kClosed},
        {1400, Event::kOpened},
        {1400, Event::kSent}},
       std::nullopt},
      {"a run that failed before download mode ends once the host has stayed away",
       {{0, Event::kLineUp}, {5, Event::kSent}, {4000, Event::kClosed}},
       Reason::kHostGone,
       3000},
      {"a host looking at the port after its run does not keep the run going",
       LookingAtThePortAfterTheRun(), Reason::kHostGone, 4000 - 3801},
      {"a host holding the port open is still there, even without a word",
       {{0, Event::kLineUp}, {5, Event::kSent}, {100, Event::kClosed}, {200, Event::kOpened}},
       std::nullopt},
      {"the host reopening after the restart into download mode keeps the run going",
       {{0, Event::kLineUp},
        {5, Event::kSent},
        {600, Event::kLineDown},
        {1100, Event::kLineUp},
        {2500, Event::kOpened},
        {2500, Event::kSent}},
       std::nullopt},
      {"a terminal that vanished and came back unopened has lost its host",
       {{0, Event::kLineUp}, {5, Event::kSent}, {5000, Event::kLineDown}, {7500, Event::kLineUp}},
       Reason::kHostGone,
       3000},
      {"the time the line is away for a restart is the terminal's, not the host's absence",
       {{0, Event::kLineUp},
        {1, Event::kSent},
        {100, Event::kClosed},
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
