#include "sim/sim_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "sim/line_timing.h"

namespace kvx::sim {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// While the host has its end closed the master reports a hang-up on every poll; the loop then
// looks again at this interval instead of spinning.
constexpr milliseconds kClosedRecheck{10};
constexpr std::size_t kReadChunk = 65536;

bool WriteFileAtomically(const std::string& path, std::string_view text) {
  const std::string temporary = path + ".new";
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written) return false;
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

SimLoop::SimLoop(const SimOptions& options, std::FILE* out, std::FILE* err)
    : options_(options), out_(out), err_(err), link_(options.link_path) {
  TerminalSink& sink = *this;
  terminal_ = std::make_unique<Terminal>(options_, sink);
  std::array<int, 2> fds{};
  if (pipe2(fds.data(), O_NONBLOCK | O_CLOEXEC) == 0) {
    stop_read_.reset(fds[0]);
    stop_write_.reset(fds[1]);
  }
}

SimLoop::~SimLoop() {
  link_.Close();
  if (!options_.ready_file.empty()) unlink(options_.ready_file.c_str());
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
  if (!stop_read_.valid()) {
    *error = std::string("cannot create a pipe: ") + std::strerror(errno);
    return false;
  }
  if (!options_.log_path.empty()) {
    log_ = std::fopen(options_.log_path.c_str(), "w");
    if (log_ == nullptr) {
      *error = "cannot write " + options_.log_path + ": " + std::strerror(errno);
      return false;
    }
  }
  if (!link_.Open(error)) return false;
  Log("event line up " + link_.slave_path());
  return Announce(error);
}

bool SimLoop::Announce(std::string* error) {
  Print(out_, "export KVX_SERIAL_PORTS=" + link_.link_path());
  Print(out_, "ready " + link_.link_path());
  if (!options_.ready_file.empty() &&
      !WriteFileAtomically(options_.ready_file, link_.link_path() + "\n")) {
    *error = "cannot write " + options_.ready_file + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void SimLoop::RequestStop() {
  const char byte = 1;
  // Nothing to do on failure: a full pipe already holds a stop request.
  [[maybe_unused]] const ssize_t n = write(stop_write_.get(), &byte, 1);
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
  if (once_status_) return;  // the program ends instead
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
  if (summary.complete && !options_.output_path.empty() &&
      !WriteFileAtomically(options_.output_path, data)) {
    Print(err_, "kvx-sim: cannot write " + options_.output_path + ": " + std::strerror(errno));
    clean = false;
  }
  if (options_.once) once_status_ = clean ? 0 : 1;
}

std::optional<std::chrono::nanoseconds> SimLoop::PollTimeout(TimePoint now) const {
  std::optional<TimePoint> wake;
  const auto consider = [&wake](TimePoint t) { wake = wake ? std::min(*wake, t) : t; };
  if (!received_.empty()) consider(received_.front().due);
  if (!to_send_.empty() && options_.line_rate) consider(send_free_at_);
  if (restart_ == RestartPhase::kDropping || restart_ == RestartPhase::kAway) consider(restart_at_);
  if (restart_ == RestartPhase::kDraining && to_send_.empty()) consider(now);
  if (host_ == HostState::kClosed) consider(now + kClosedRecheck);
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
    if (once_status_) break;
    WriteDue(now);
    if (!AdvanceRestart(now)) break;
    if (host_ == HostState::kClosed) CheckHostReturned();

    std::array<pollfd, 2> fds{};
    fds[0] = {stop_read_.get(), POLLIN, 0};
    nfds_t count = 1;
    const bool watch_line = link_.is_open() && host_ != HostState::kClosed;
    if (watch_line) {
      short events = POLLIN;
      const bool may_write = !options_.line_rate || send_free_at_ <= now;
      if (!to_send_.empty() && may_write) events |= POLLOUT;
      fds[1] = {link_.master_fd(), events, 0};
      count = 2;
    }
    const std::optional<std::chrono::nanoseconds> timeout = PollTimeout(steady_clock::now());
    timespec wait{};
    if (timeout) {
      wait.tv_sec = static_cast<time_t>(timeout->count() / 1'000'000'000);
      wait.tv_nsec = static_cast<long>(timeout->count() % 1'000'000'000);
    }
    const int ready = ppoll(fds.data(), count, timeout ? &wait : nullptr, nullptr);
    if (ready < 0) {
      if (errno == EINTR) continue;
      Print(err_, std::string("kvx-sim: poll failed: ") + std::strerror(errno));
      failed_ = true;
      break;
    }
    if (fds[0].revents != 0) {
      terminal_->Shutdown();
      break;
    }
    if (watch_line && fds[1].revents != 0) {
      ReadLine(steady_clock::now(), (fds[1].revents & (POLLHUP | POLLERR)) != 0);
    }
  }
  link_.Close();
  if (failed_) return 1;
  return once_status_.value_or(0);
}

void SimLoop::ReadLine(TimePoint now, bool hung_up) {
  const int baud = link_.HostBaud();
  read_buffer_.resize(kReadChunk);
  for (;;) {
    const ssize_t n = read(link_.master_fd(), read_buffer_.data(), read_buffer_.size());
    if (n > 0) {
      if (host_ == HostState::kUnknown) host_ = HostState::kOpen;
      TimePoint due = now;
      if (options_.line_rate) {
        // The bytes arrive one after another at the host's line speed.
        due = std::max(now, receive_free_at_) + LineTime(static_cast<std::size_t>(n), baud);
        receive_free_at_ = due;
      }
      received_.push_back({due, read_buffer_.substr(0, static_cast<std::size_t>(n)), baud, false});
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // EIO: the host has closed its end.
    if (n < 0 && errno == EIO) hung_up = true;
    break;
  }
  if (hung_up && host_ != HostState::kClosed) {
    host_ = HostState::kClosed;
    to_send_.clear();
    const TimePoint due = received_.empty() ? now : received_.back().due;
    received_.push_back({due, {}, 0, true});
  }
}

void SimLoop::CheckHostReturned() {
  pollfd fd{link_.master_fd(), POLLIN, 0};
  if (poll(&fd, 1, 0) >= 0 && (fd.revents & POLLHUP) == 0) {
    host_ = HostState::kOpen;
    Log("event host opened");
  }
}

void SimLoop::DeliverDue(TimePoint now) {
  while (!received_.empty() && received_.front().due <= now) {
    Received chunk = std::move(received_.front());
    received_.pop_front();
    if (chunk.host_closed) {
      terminal_->HostClosed();
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
  const ssize_t n = write(link_.master_fd(), to_send_.data(), std::min(limit, to_send_.size()));
  if (n > 0) {
    to_send_.erase(0, static_cast<std::size_t>(n));
    if (options_.line_rate) {
      send_free_at_ = std::max(now, send_free_at_) + LineTime(static_cast<std::size_t>(n), baud);
    }
  } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
    to_send_.clear();  // the host's end is gone; the poll reports the hang-up
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
      restart_at_ = now + milliseconds(options_.reset_after_ms);
      return true;
    case RestartPhase::kDropping:
      if (now < restart_at_) return true;
      link_.Close();
      Log("event line down");
      received_.clear();
      to_send_.clear();
      host_ = HostState::kUnknown;
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
      Log("event line up " + link_.slave_path());
      terminal_->Restarted();
      return true;
    }
  }
  return true;
}

}  // namespace kvx::sim
