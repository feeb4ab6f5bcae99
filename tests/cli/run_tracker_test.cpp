#include "cli/run_tracker.h"

#include <gtest/gtest.h>

#include <csignal>

#include "cli/exit_codes.h"

namespace kvx {
namespace {

// A tracker whose run has started and whose image has loaded.
RunTracker Running() {
  RunTracker tracker;
  tracker.Started();
  tracker.RangeAnnounced();
  return tracker;
}

TEST(RunTracker, CompletionIsTheOnlyWayToZero) {
  RunTracker tracker = Running();
  // Disconnect(0) enables the buttons just before WM_USER_END is posted.
  const RunTracker::Step enabled = tracker.ButtonsEnabled();
  EXPECT_TRUE(enabled.post_sync);
  EXPECT_FALSE(enabled.finish);
  EXPECT_EQ(tracker.Completed().finish, kExitCompleted);
  EXPECT_FALSE(tracker.SyncAnswered(false).finish) << "the late sync changes nothing";
}

TEST(RunTracker, EnabledButtonsWithoutCompletionAreAFailure) {
  RunTracker tracker = Running();
  EXPECT_TRUE(tracker.ButtonsEnabled().post_sync);
  EXPECT_EQ(tracker.SyncAnswered(false).finish, kExitFailed);
}

TEST(RunTracker, AMessageThatTheOptionsOverrideDoesNotEndTheRun) {
  RunTracker tracker = Running();
  // --downgrade: the MMI rule posts 151 with BTN_ENABLE and the run goes on.
  EXPECT_TRUE(tracker.ButtonsEnabled().post_sync);
  EXPECT_FALSE(tracker.SyncAnswered(true).finish);
  EXPECT_FALSE(tracker.finished());
  // ...until it completes.
  tracker.ButtonsEnabled();
  EXPECT_EQ(tracker.Completed().finish, kExitCompleted);
}

TEST(RunTracker, OnlyTheLastOfSeveralSyncsDecides) {
  RunTracker tracker = Running();
  tracker.ButtonsEnabled();  // a rule's message
  tracker.ButtonsEnabled();  // then Disconnect(0)
  EXPECT_FALSE(tracker.SyncAnswered(true).finish) << "answered before Disconnect ran";
  EXPECT_EQ(tracker.SyncAnswered(false).finish, kExitFailed);
}

TEST(RunTracker, APortRefusedAtTheStartIsAUsageFailure) {
  RunTracker tracker;
  tracker.Started();
  EXPECT_TRUE(tracker.PortProblem().post_sync);  // WM_USER_PORT_ERROR -2, nothing follows
  EXPECT_EQ(tracker.SyncAnswered(false).finish, kExitUsage);
}

TEST(RunTracker, AnImageRefusedAtTheStartIsARunFailure) {
  RunTracker tracker;
  tracker.Started();
  tracker.ButtonsEnabled();  // posted by the failed load, before any range
  EXPECT_EQ(tracker.SyncAnswered(false).finish, kExitFailed);
}

TEST(RunTracker, NoTerminalFoundIsARunFailure) {
  RunTracker tracker;
  tracker.Started();
  tracker.ButtonsEnabled();  // Disconnect(0) of the port search
  tracker.DeviceCountReported();
  EXPECT_FALSE(tracker.SyncAnswered(false).finish);
  EXPECT_EQ(tracker.SyncAnswered(false).finish, kExitFailed);
}

TEST(RunTracker, MessagesBeforeTheStartDoNotEndAnything) {
  RunTracker tracker;
  EXPECT_FALSE(tracker.ButtonsEnabled().post_sync);
  EXPECT_FALSE(tracker.Completed().finish);
  EXPECT_FALSE(tracker.SyncAnswered(false).finish);
}

TEST(RunTracker, CtrlCBeforeTheStartShutsDownAtOnce) {
  RunTracker tracker;
  const RunTracker::Step step = tracker.Interrupted(SIGINT);
  EXPECT_FALSE(step.post_abort);
  EXPECT_EQ(step.finish, 130);
}

TEST(RunTracker, CtrlCDuringARunClosesThePortThroughTheEngineFirst) {
  RunTracker tracker = Running();
  const RunTracker::Step step = tracker.Interrupted(SIGINT);
  EXPECT_TRUE(step.post_abort);
  EXPECT_TRUE(step.post_sync);
  EXPECT_FALSE(step.finish) << "not before the engine has run Disconnect";
  // Disconnect(0) of the abort enables the buttons while the engine handles the abort, so its
  // sync is queued behind the abort's own.
  EXPECT_TRUE(tracker.ButtonsEnabled().post_sync);
  EXPECT_FALSE(tracker.SyncAnswered(false).finish);
  EXPECT_EQ(tracker.SyncAnswered(false).finish, 130);
}

TEST(RunTracker, ACompletionThatBeatCtrlCStillCounts) {
  RunTracker tracker = Running();
  tracker.Interrupted(SIGTERM);
  EXPECT_EQ(tracker.Completed().finish, kExitCompleted);
}

TEST(RunTracker, ASecondSignalChangesNothingHere) {
  RunTracker tracker = Running();
  tracker.Interrupted(SIGINT);
  const RunTracker::Step again = tracker.Interrupted(SIGTERM);
  EXPECT_FALSE(again.post_abort);
  EXPECT_EQ(tracker.SyncAnswered(false).finish, 130);
}

}  // namespace
}  // namespace kvx
