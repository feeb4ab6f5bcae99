// What the simulated terminal asks of its line. Implemented by the loop; recorded by tests.
//
// Called on the thread that drives the Terminal.
#pragma once

#include <chrono>
#include <string_view>

#include "sim/transfer_summary.h"

namespace kvx::sim {

class TerminalSink {
 public:
  virtual ~TerminalSink() = default;
  // Bytes to transmit, in order.
  virtual void Send(std::string_view bytes) = 0;
  // One log line, without a line end.
  virtual void Log(std::string_view line) = 0;
  // Drop off the line once the pending output has gone out, stay away for `away`, then
  // come back and call Terminal::Restarted.
  virtual void Restart(std::chrono::milliseconds away) = 0;
  // A transfer has ended: completed, or abandoned by the host. `data` is the image data
  // received, valid only during the call.
  virtual void TransferEnded(const TransferSummary& summary, std::string_view data) = 0;
};

}  // namespace kvx::sim
