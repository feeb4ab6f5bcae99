#include "sim/sim_loop.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "platform/files.h"
#include "sim/line_timing.h"

namespace kvx::sim {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// While the host has its end closed the master reports a hang-up on every poll; the loop then
// looks again at this interval instead of spinning.
constexpr milliseconds kClosedRecheck{10};
constexpr std::size_t kReadChunk = 65536;

// Readers of the ready and output files see nothing or the whole file. They are the
// simulator's own results, not worth an fsync each.
std::error_code WriteFileAtomically(const std::string& path, std::string_view text) {
  return ReplaceFileAtomically(path, text, {.new_file_mode = 0666, .sync = false});
}

}  // namespace

SimLoop::SimLoop(const SimOptions& options, std::FILE* out, std::FILE* err)
    : options_(options),
      out_(out),
      err_(err),
      link_(options.link_path),
      run_end_(milliseconds(options.host_gone_after_ms)) {
  TerminalSink& sink = *this;
  terminal_ = std::make_unique<Terminal>(terminal_options(), sink);
}

SimLoop::~SimLoop() {
  link_.Close();
  if (!options_.ready_file.empty()) RemoveFile(options_.ready_file);
  if (log_ != nullptr) std::fclose(log_);
}

void SimLoop::Print(std::FILE* stream, std::string_view line) {
  if (stream == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

void SimLoop::Log(std::string_view line) {
  if (log_ == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), log_);
  std::fputc('\n', log_);
  std::fflush(log_);
}

bool SimLoop::Start(std::string* error) {
  if (!link_.CanWake(error)) return false;
  if (!options_.log_path.empty()) {
    log_ = std::fopen(options_.log_path.c_str(), "w");
    if (log_ == nullptr) {
      *error = "cannot write " + options_.log_path + ": " + std::strerror(errno);
      return false;
    }
  }
  if (series()) Log("event terminal 1");
  if (!link_.Open(error)) return false;
  Log("event line up " + link_.slave_path());
  run_end_.LineUp(steady_clock::now());
  if (!Announce(error)) return false;
  if (series()) Print(out_, "terminal 1");
  return true;
}

bool SimLoop::Announce(std::string* error) {
  Print(out_, "export KVX_SERIAL_PORTS=" + link_.link_path());
  Print(out_, "ready " + link_.link_path());
  if (options_.ready_file.empty()) return true;
  if (const auto failure = WriteFileAtomically(options_.ready_file, link_.link_path() + "\n")) {
    *error = "cannot write " + options_.ready_file + ": " + failure.message();
    return false;
  }
  return true;
}

void SimLoop::RequestStop() {
  link_.Wake();
}

void SimLoop::Send(std::string_view bytes) {
  // Nobody listens on a closed line: what a UART sends then is lost, and a pty would keep it
  // for the host's next open instead.
  if (host_ == HostState::kClosed || restart_ == RestartPhase::kDropping ||
      restart_ == RestartPhase::kAway) {
    return;
  }
  to_send_.append(bytes);
}

void SimLoop::Restart(std::chrono::milliseconds away) {
  if (once_status_ || next_terminal_) return;  // the program ends, or the next terminal comes
  restart_ = RestartPhase::kDraining;
  away_ = away;
}

void SimLoop::TransferEnded(const TransferSummary& summary, std::string_view data) {
  bool clean = summary.clean();
  const std::string line = FormatSummaryLine(summary);
  Log(line);
  Print(out_, line);
  if (summary.finish) {
    const std::string finish = FormatFinishLine(*summary.finish);
    Log(finish);
    Print(out_, finish);
  }
  if (summary.complete && !options_.output_path.empty()) {
    const std::string path =
        series() ? SeriesOutputPath(options_.output_path, terminal_number_) : options_.output_path;
    if (const auto failure = WriteFileAtomically(path, data)) {
      Print(err_, "kvx-sim: cannot write " + path + ": " + failure.message());
      clean = false;
    }
  }
  if (options_.once) once_status_ = clean ? 0 : 1;
  // A run that failed is the host's to report; a completed one must have been right.
  if (summary.complete && !clean) series_clean_ = false;
}

std::optional<std::chrono::nanoseconds> SimLoop::PollTimeout(TimePoint now) const {
  std::optional<TimePoint> wake;
  const auto consider = [&wake](TimePoint t) { wake = wake ? std::min(*wake, t) : t; };
  if (!received_.empty()) consider(received_.front().due);
  if (!to_send_.empty() && options_.line_rate) consider(send_free_at_);
  if (restart_ == RestartPhase::kDropping || restart_ == RestartPhase::kAway) consider(restart_at_);
  if (restart_ == RestartPhase::kDraining && to_send_.empty()) consider(now);
  if (host_ == HostState::kClosed) consider(now + kClosedRecheck);
  if (series() && !next_terminal_) {
    if (const auto deadline = run_end_.Deadline()) consider(*deadline);
  }
  if (!wake) return std::nullopt;
  if (*wake <= now) return std::chrono::nanoseconds(0);
  // Exact to the microsecond: whole milliseconds would add up to a millisecond to every paced
  // exchange, several per cent of a write's line time.
  const auto wait = std::chrono::ceil<std::chrono::microseconds>(*wake - now);
  return std::min<std::chrono::nanoseconds>(wait, std::chrono::seconds(60));
}

int SimLoop::Run() {
  while (!failed_) {
    const TimePoint now = steady_clock::now();
    DeliverDue(now);
    if (series() && !next_terminal_) CheckRunEnded(now);
    if (once_status_ || series_done_) break;
    WriteDue(now);
    if (!AdvanceRestart(now)) break;
    if (host_ == HostState::kClosed) CheckHostReturned();

    const bool watch_line = link_.is_open() && host_ != HostState::kClosed;
    const bool may_write = !options_.line_rate || send_free_at_ <= now;
    const PtyLink::WaitResult woke =
        link_.Wait(watch_line, !to_send_.empty() && may_write, PollTimeout(steady_clock::now()));
    if (woke.error != 0) {
      Print(err_, std::string("kvx-sim: poll failed: ") + std::strerror(woke.error));
      failed_ = true;
      break;
    }
    if (woke.woken) {
      terminal_->Shutdown();
      break;
    }
    if (woke.line) ReadLine(steady_clock::now(), woke.hung_up);
  }
  link_.Close();
  if (failed_) return 1;
  if (series()) return series_done_ && series_clean_ ? 0 : 1;
  return once_status_.value_or(0);
}

void SimLoop::ReadLine(TimePoint now, bool hung_up) {
  const int baud = link_.HostBaud();
  read_buffer_.resize(kReadChunk);
  for (;;) {
    const PtyLink::ReadResult got = link_.Read(read_buffer_);
    if (got.size == 0) {
      if (got.host_closed) hung_up = true;
      break;
    }
    if (host_ == HostState::kUnknown) host_ = HostState::kOpen;
    run_end_.HostSent();
    TimePoint due = now;
    if (options_.line_rate) {
      // The bytes arrive one after another at the host's line speed.
      due = std::max(now, receive_free_at_) + LineTime(got.size, baud);
      receive_free_at_ = due;
    }
    received_.push_back({due, read_buffer_.substr(0, got.size), baud, false});
  }
  if (hung_up && host_ != HostState::kClosed) {
    host_ = HostState::kClosed;
    run_end_.HostClosed(now);
    to_send_.clear();
    const TimePoint due = received_.empty() ? now : received_.back().due;
    received_.push_back({due, {}, 0, true});
  }
}

void SimLoop::CheckHostReturned() {
  if (link_.HostHasOpened()) {
    host_ = HostState::kOpen;
    run_end_.HostOpened();
    Log("event host opened");
  }
}

void SimLoop::DeliverDue(TimePoint now) {
  while (!received_.empty() && received_.front().due <= now) {
    Received chunk = std::move(received_.front());
    received_.pop_front();
    if (chunk.host_closed) {
      const bool in_download_mode = terminal_->InDownloadMode();
      terminal_->HostClosed();
      if (in_download_mode) run_end_.ClosedInDownloadMode();
    } else {
      terminal_->Receive(chunk.bytes, chunk.baud);
    }
  }
}

void SimLoop::WriteDue(TimePoint now) {
  if (to_send_.empty() || !link_.is_open()) return;
  if (options_.line_rate && send_free_at_ > now) return;
  const int baud = link_.HostBaud();
  const std::size_t limit = options_.line_rate ? PacedChunk(baud) : to_send_.size();
  const std::optional<std::size_t> written =
      link_.Write(std::string_view(to_send_).substr(0, std::min(limit, to_send_.size())));
  if (!written) {
    to_send_.clear();  // the host's end is gone; the wait reports the hang-up
  } else if (*written > 0) {
    to_send_.erase(0, *written);
    if (options_.line_rate) {
      send_free_at_ = std::max(now, send_free_at_) + LineTime(*written, baud);
    }
  }
}

bool SimLoop::AdvanceRestart(TimePoint now) {
  switch (restart_) {
    case RestartPhase::kNone:
      return true;
    case RestartPhase::kDraining:
      // The last answer ("OK") must reach the host before the line drops.
      if (!to_send_.empty()) return true;
      restart_ = RestartPhase::kDropping;
      restart_at_ = now + milliseconds(terminal_options().reset_after_ms);
      return true;
    case RestartPhase::kDropping:
      if (now < restart_at_) return true;
      link_.Close();
      Log("event line down");
      received_.clear();
      to_send_.clear();
      host_ = HostState::kUnknown;
      run_end_.LineDown();
      restart_ = RestartPhase::kAway;
      restart_at_ = now + away_;
      return true;
    case RestartPhase::kAway: {
      if (now < restart_at_) return true;
      std::string error;
      if (!link_.Open(&error)) {
        Print(err_, "kvx-sim: " + error);
        failed_ = true;
        return false;
      }
      restart_ = RestartPhase::kNone;
      receive_free_at_ = now;
      send_free_at_ = now;
      if (next_terminal_) BringUpNextTerminal();
      Log("event line up " + link_.slave_path());
      run_end_.LineUp(now);
      if (next_terminal_) {
        next_terminal_ = false;
        Print(out_, "terminal " + std::to_string(terminal_number_));
      } else {
        terminal_->Restarted();
      }
      return true;
    }
  }
  return true;
}

void SimLoop::CheckRunEnded(TimePoint now) {
  const std::optional<RunEndWatch::Reason> reason = run_end_.Ended(now);
  if (!reason) return;
  // A transfer the host left without closing the line is abandoned with its terminal.
  terminal_->Shutdown();
  Log("event run ended (" + DescribeRunEnd(*reason, milliseconds(options_.host_gone_after_ms)) +
      ")");
  if (terminal_number_ >= options_.terminals) {
    series_done_ = true;
    return;
  }
  // The operator unplugs this terminal at once (whatever restart it had begun is moot) and
  // plugs in the next one.
  next_terminal_ = true;
  restart_ = RestartPhase::kDropping;
  restart_at_ = now;
  away_ = milliseconds(options_.next_terminal_delay_ms);
}

void SimLoop::BringUpNextTerminal() {
  ++terminal_number_;
  TerminalSink& sink = *this;
  terminal_ = std::make_unique<Terminal>(terminal_options(), sink);
  run_end_ = RunEndWatch(milliseconds(options_.host_gone_after_ms));
  Log("event terminal " + std::to_string(terminal_number_));
}

}  // namespace kvx::sim
