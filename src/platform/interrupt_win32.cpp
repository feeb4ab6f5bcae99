// The operator's interrupts on Windows: the console's control events, which the system delivers
// on a thread of its own for each event. The handler only queues the event; a watcher thread
// reports them one at a time, as signals are reported on POSIX systems: Ctrl-C as SIGINT, and
// Ctrl-Break, closing the console window, logging off and shutting down as SIGTERM.
#include "platform/interrupt.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace kvx {
namespace {

int SignalOf(DWORD event) {
  return event == CTRL_C_EVENT ? SIGINT : SIGTERM;
}

// After these the system ends the process once the handler returns: the handler waits instead,
// so the run ends through its own Disconnect and exit status (the system still ends the process
// after a few seconds).
bool EndsTheProcess(DWORD event) {
  return event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
}

// The watch whose handler is installed; one at a time.
std::mutex g_watch_mutex;
InterruptWatch* g_watch = nullptr;

}  // namespace

struct InterruptWatch::State {
  void Queue(int signo);
  void Watch();
  static BOOL WINAPI OnControl(DWORD event);

  std::mutex mutex;
  std::condition_variable changed;
  std::deque<int> pending;            // guarded by mutex
  bool stopping = false;              // guarded by mutex
  int interrupted_fds[2] = {-1, -1};  // a pipe; its writing end gets one byte at the first event
  bool interrupted = false;           // watcher thread only
  Callback on_interrupt;
  std::thread thread;
};

void InterruptWatch::State::Queue(int signo) {
  const std::lock_guard lock(mutex);
  pending.push_back(signo);
  changed.notify_all();
}

BOOL WINAPI InterruptWatch::State::OnControl(DWORD event) {
  {
    const std::lock_guard lock(g_watch_mutex);
    if (g_watch == nullptr) return FALSE;
    g_watch->state_->Queue(SignalOf(event));
  }
  if (EndsTheProcess(event)) Sleep(INFINITE);
  return TRUE;
}

InterruptWatch::InterruptWatch() : state_(std::make_unique<State>()) {
  if (_pipe(state_->interrupted_fds, 16, _O_BINARY | _O_NOINHERIT) != 0) {
    throw std::system_error(errno, std::generic_category(), "_pipe");
  }
  {
    const std::lock_guard lock(g_watch_mutex);
    g_watch = this;
  }
  if (!SetConsoleCtrlHandler(State::OnControl, TRUE)) {
    const DWORD error = GetLastError();
    const std::lock_guard lock(g_watch_mutex);
    g_watch = nullptr;
    _close(state_->interrupted_fds[0]);
    _close(state_->interrupted_fds[1]);
    throw std::system_error(static_cast<int>(error), std::system_category(),
                            "SetConsoleCtrlHandler");
  }
}

InterruptWatch::~InterruptWatch() {
  SetConsoleCtrlHandler(State::OnControl, FALSE);
  {
    const std::lock_guard lock(g_watch_mutex);
    g_watch = nullptr;
  }
  {
    const std::lock_guard lock(state_->mutex);
    state_->stopping = true;
    state_->changed.notify_all();
  }
  if (state_->thread.joinable()) state_->thread.join();
  _close(state_->interrupted_fds[0]);
  _close(state_->interrupted_fds[1]);
}

void InterruptWatch::Start(Callback on_interrupt) {
  state_->on_interrupt = std::move(on_interrupt);
  state_->thread = std::thread([state = state_.get()] { state->Watch(); });
}

int InterruptWatch::interrupt_fd() const {
  return state_->interrupted_fds[0];
}

void InterruptWatch::State::Watch() {
  for (;;) {
    int signo = 0;
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [this] { return stopping || !pending.empty(); });
      if (stopping) return;
      signo = pending.front();
      pending.pop_front();
    }
    const bool first = !interrupted;
    if (first) {
      interrupted = true;
      const char one = 1;
      (void)!_write(interrupted_fds[1], &one, 1);
    }
    if (on_interrupt) on_interrupt(signo, first);
  }
}

namespace {

// What SetStopSignalHandler runs.
std::atomic<void (*)()> g_stop_handler{nullptr};

BOOL WINAPI OnStopControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (const auto handler = g_stop_handler.load()) handler();
  return TRUE;
}

}  // namespace

void SetStopSignalHandler(void (*handler)()) {
  g_stop_handler.store(handler);
  [[maybe_unused]] static const bool installed = SetConsoleCtrlHandler(OnStopControl, TRUE);
}

}  // namespace kvx
