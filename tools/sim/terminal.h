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

#include <cstddef>
#include <string>
#include <string_view>

#include "sim/at_responder.h"
#include "sim/sim_options.h"

namespace kvx::sim {

// What the terminal asks of its line. Implemented by the link's loop; recorded by tests.
class TerminalSink {
 public:
  virtual ~TerminalSink() = default;
  // Bytes to transmit, in order.
  virtual void Send(std::string_view bytes) = 0;
  // One log line, without a line end.
  virtual void Log(std::string_view line) = 0;
  // Drop off the line once the pending output has gone out, stay away, then come back and
  // call Terminal::Restarted.
  virtual void Restart() = 0;
};

enum class TerminalMode {
  kApplication,  // the AT dialogue of the running firmware
  kResetting,    // off the line, restarting
  kBootLoader,   // download mode: AT+UPAPP and AT+UPGRADE
  kBinary,       // download frames after "+START"
};

class Terminal {
 public:
  Terminal(const SimOptions& options, TerminalSink& sink);

  // Bytes received while the host's line speed was `host_baud` (0 when it could not be read).
  void Receive(std::string_view bytes, int host_baud);

  // The host closed its end of the line; a command half received is lost. In download mode the
  // terminal waits for no one: it reboots into the application, as an operator would make it.
  void HostClosed();

  // The restart asked for through TerminalSink::Restart is over: the line is back.
  void Restarted();

  TerminalMode mode() const { return mode_; }
  const AtResponder& responder() const { return responder_; }

 private:
  void ReceiveText(std::string_view bytes, int baud);
  void HandleCommand(int baud);
  void RestartInto(TerminalMode next, std::string_view why);
  const LineSpeed& SpeedOfMode() const;

  const SimOptions& options_;
  TerminalSink& sink_;
  AtResponder responder_;
  TerminalMode mode_ = TerminalMode::kApplication;
  TerminalMode mode_after_restart_ = TerminalMode::kApplication;
  std::string command_;              // the command being received, at most kMaxCommand bytes
  std::size_t command_dropped_ = 0;  // bytes beyond kMaxCommand in the current command
};

}  // namespace kvx::sim
