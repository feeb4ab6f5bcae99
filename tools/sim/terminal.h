// The simulated KVX-01 as a whole: the application's AT dialogue, the restart into the boot
// loader, the boot loader's AT commands and, after "+START", the download frames.
//
// The terminal knows nothing of ptys or time: the link feeds it received bytes with the line
// speed the host had set, tells it when the host closes the line and when a restart is over,
// and carries out what it asks through a TerminalSink. Tests drive it in-process.
//
// Not thread-safe: one thread (the link's loop, or a test) makes every call. The sink must
// outlive the terminal.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sim/at_responder.h"
#include "sim/download_session.h"
#include "sim/fault_plan.h"
#include "sim/sim_options.h"
#include "sim/terminal_sink.h"

namespace kvx::sim {

enum class TerminalMode {
  kApplication,  // the AT dialogue of the running firmware
  kResetting,    // off the line, restarting
  kBootLoader,   // download mode: AT+UPAPP and AT+UPGRADE
  kBinary,       // download frames after "+START"
};

class Terminal {
 public:
  // The options must outlive the terminal.
  Terminal(const TerminalOptions& options, TerminalSink& sink);

  // Bytes received while the host's line speed was `host_baud` (0 when it could not be read).
  void Receive(std::string_view bytes, int host_baud);

  // The host closed its end of the line; a command half received is lost. In download mode the
  // terminal waits for no one: it reboots into the application, as an operator would make it.
  void HostClosed();

  // The restart asked for through TerminalSink::Restart is over: the line is back.
  void Restarted();

  // The simulator is stopping: a transfer under way ends as abandoned.
  void Shutdown();

  TerminalMode mode() const { return mode_; }
  // In the boot loader or taking frames: a host closes the line here only to end its run.
  bool InDownloadMode() const {
    return mode_ == TerminalMode::kBootLoader || mode_ == TerminalMode::kBinary;
  }
  const AtResponder& responder() const { return responder_; }
  // The download under way, or null outside download frames.
  const DownloadSession* session() const { return session_.get(); }

 private:
  void ReceiveText(std::string_view bytes, int baud);
  void HandleCommand(int baud);
  void RestartInto(TerminalMode next, std::string_view why, std::chrono::milliseconds away);
  void RestartInto(TerminalMode next, std::string_view why) {
    RestartInto(next, why, std::chrono::milliseconds(options_.restart_delay_ms));
  }
  void EndTransfer();
  const LineSpeed& SpeedOfMode() const;

  const TerminalOptions& options_;
  TerminalSink& sink_;
  AtResponder responder_;
  FaultPlan faults_;
  std::unique_ptr<DownloadSession> session_;
  TerminalMode mode_ = TerminalMode::kApplication;
  TerminalMode mode_after_restart_ = TerminalMode::kApplication;
  std::string command_;              // the command being received, at most kMaxCommand bytes
  std::size_t command_dropped_ = 0;  // bytes beyond kMaxCommand in the current command
};

}  // namespace kvx::sim
