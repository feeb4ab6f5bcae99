// Where one port's run writes what the operator reads: messages, status texts, trace lines, the
// question prompt and the download's progress. TerminalOutput is it for a single port;
// PortBoard's views are it for ports side by side.
//
// Threads: implementations may be called from any thread.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/clock.h"

namespace kvx {

class RunOutput {
 public:
  virtual ~RunOutput() = default;

  // An operator message (see MessageLines).
  virtual void Message(std::string_view text) = 0;
  // A status text, written only when it differs from the last one written.
  virtual void Status(std::string_view text) = 0;
  // A line as it stands (a trace line); a missing line end is added.
  virtual void Line(std::string_view text) = 0;
  // A question left open on the last line for the operator's answer.
  virtual void Prompt(std::string_view text) = 0;

  // The download's range was announced: `total` segments from `now` on.
  virtual void BeginProgress(std::int64_t total, Clock::TimePoint now) = 0;
  // `done` segments acknowledged by `now`. Ignored before BeginProgress.
  virtual void UpdateProgress(std::int64_t done, Clock::TimePoint now) = 0;
  // The run is over: the last progress stays as it was.
  virtual void EndProgress() = 0;
  // What the port is doing, in a word or two ("connecting", "waiting for the next terminal"),
  // where the output has a place for it.
  virtual void Phase(std::string_view /*text*/) {}
};

}  // namespace kvx
