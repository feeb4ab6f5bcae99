// kvx-sim's event loop: moves bytes between the pty and the Terminal, paces them at line speed
// on request, carries out the terminal's restarts (the pty goes away and a new one appears
// behind the same link), notices the host opening and closing its end, writes the log and the
// lines on standard output. In a series it puts the next terminal on the line when a run ends.
//
// One thread runs Start and Run; RequestStop may be called from any thread and from a signal
// handler. The options must outlive the loop.
#pragma once

#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sim/pty_link.h"
#include "sim/run_end_watch.h"
#include "sim/sim_options.h"
#include "sim/terminal.h"

namespace kvx::sim {

class SimLoop final : private TerminalSink {
 public:
  // `out` receives the export, ready and summary lines; `err` the operator's messages. Either
  // may be null for silence.
  SimLoop(const SimOptions& options, std::FILE* out, std::FILE* err);
  ~SimLoop() override;
  SimLoop(const SimLoop&) = delete;
  SimLoop& operator=(const SimLoop&) = delete;

  // Opens the log, creates the pty and its link and announces them. Once this returns true the
  // host may open the link: what it sends is kept until Run reads it.
  bool Start(std::string* error);

  // Serves the line until RequestStop, or with --once until the first transfer has ended, or
  // with --terminals until the last terminal's run has ended. A transfer still under way at a
  // stop ends as abandoned. Returns the exit status: 0, or 1 after a failure, or with --once for
  // a transfer that did not complete cleanly, or with --terminals for a series stopped early or
  // with a completed transfer that was not clean.
  int Run();

  // Async-signal-safe.
  void RequestStop();

  const Terminal& terminal() const { return *terminal_; }

 private:
  using TimePoint = std::chrono::steady_clock::time_point;

  // Bytes read from the pty, handed to the terminal at `due` (later than now with --line-rate).
  struct Received {
    TimePoint due;
    std::string bytes;
    int baud = 0;
    bool host_closed = false;  // marks the host's close, in order with the bytes before it
  };

  enum class HostState { kUnknown, kOpen, kClosed };
  enum class RestartPhase { kNone, kDraining, kDropping, kAway };

  // TerminalSink
  void Send(std::string_view bytes) override;
  void Log(std::string_view line) override;
  void Restart(std::chrono::milliseconds away) override;
  void TransferEnded(const TransferSummary& summary, std::string_view data) override;

  void Print(std::FILE* stream, std::string_view line);
  bool Announce(std::string* error);
  // How long the loop may sleep: until the next paced delivery, write or restart step; none
  // when nothing is due.
  std::optional<std::chrono::nanoseconds> PollTimeout(TimePoint now) const;
  void ReadLine(TimePoint now, bool hung_up);
  void DeliverDue(TimePoint now);
  void WriteDue(TimePoint now);
  bool AdvanceRestart(TimePoint now);
  void CheckHostReturned();
  bool series() const { return options_.terminals > 0; }
  const TerminalOptions& terminal_options() const { return options_.ForTerminal(terminal_number_); }
  void CheckRunEnded(TimePoint now);
  void BringUpNextTerminal();

  const SimOptions& options_;
  std::FILE* out_;
  std::FILE* err_;
  std::FILE* log_ = nullptr;
  PtyLink link_;
  std::unique_ptr<Terminal> terminal_;

  HostState host_ = HostState::kUnknown;
  std::string read_buffer_;
  std::deque<Received> received_;
  TimePoint receive_free_at_{};  // when the line's receive side is idle again (--line-rate)
  std::string to_send_;
  TimePoint send_free_at_{};  // when the next paced write may go out
  RestartPhase restart_ = RestartPhase::kNone;
  TimePoint restart_at_{};
  std::chrono::milliseconds away_{0};  // how long the line stays away in this restart
  bool failed_ = false;
  std::optional<int> once_status_;  // set when --once has seen its transfer end

  // The series (--terminals).
  int terminal_number_ = 1;
  RunEndWatch run_end_;
  bool next_terminal_ = false;  // the restart under way brings up the next terminal
  bool series_done_ = false;    // the last terminal's run has ended
  bool series_clean_ = true;    // every completed transfer was clean and written
};

}  // namespace kvx::sim
