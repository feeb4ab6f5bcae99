// The console's Ctrl-C reaches the front end through the watch, one event at a time, and makes
// the interrupt descriptor readable for a reader blocked on the operator's answer.
#include "platform/interrupt.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/console.h"

namespace kvx {
namespace {

// What the watch reported, waited for with a bound.
class Reports {
 public:
  InterruptWatch::Callback Callback() {
    return [this](int signo, bool first) {
      const std::lock_guard lock(mutex_);
      seen_.emplace_back(signo, first);
      changed_.notify_all();
    };
  }
  std::vector<std::pair<int, bool>> WaitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return seen_.size() >= count; });
    return seen_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::pair<int, bool>> seen_;
};

// A console of the test's own, so the events it raises reach no other program; freed at the end.
class OwnConsole {
 public:
  OwnConsole() {
    FreeConsole();
    ok_ = AllocConsole() != 0;
  }
  ~OwnConsole() { FreeConsole(); }
  OwnConsole(const OwnConsole&) = delete;
  OwnConsole& operator=(const OwnConsole&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// Wine raises Ctrl-C in a console but not Ctrl-Break, so both events here are Ctrl-C.
TEST(InterruptWatchTest, CtrlCIsReportedAsSigintAndWakesTheOperatorsQuestion) {
  const OwnConsole console;
  ASSERT_TRUE(console.ok()) << GetLastError();
  InterruptWatch watch;
  Reports reports;
  ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
  // Reported once watching starts, even though it came before.
  watch.Start(reports.Callback());
  EXPECT_EQ(reports.WaitFor(1), (std::vector<std::pair<int, bool>>{{SIGINT, true}}));

  int input[2];
  ASSERT_EQ(_pipe(input, 16, _O_BINARY), 0);
  char byte = 0;
  EXPECT_EQ(ReadByteOrInterrupt(input[0], watch.interrupt_fd(), byte), ConsoleRead::kInterrupted);
  _close(input[0]);
  _close(input[1]);

  ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
  EXPECT_EQ(reports.WaitFor(2),
            (std::vector<std::pair<int, bool>>{{SIGINT, true}, {SIGINT, false}}));
}

std::atomic<int> g_stops{0};

void CountStop() {
  ++g_stops;
}

bool StopsReach(int count) {
  for (int waited = 0; waited < 10'000 && g_stops < count; waited += 10) Sleep(10);
  return g_stops == count;
}

TEST(StopSignalHandlerTest, RunsOnCtrlCAndWithoutOneCtrlCEndsNothing) {
  const OwnConsole console;
  ASSERT_TRUE(console.ok()) << GetLastError();
  SetStopSignalHandler(CountStop);
  ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
  EXPECT_TRUE(StopsReach(1));
  SetStopSignalHandler(nullptr);
  ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
  Sleep(100);
  EXPECT_EQ(g_stops, 1) << "and this process is still here";
}

}  // namespace
}  // namespace kvx
