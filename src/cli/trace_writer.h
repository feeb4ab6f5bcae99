// --trace: writes every line of the engine's trace store, once and in order, as the log window
// shows it (timestamp, marker, text).
//
// Attach() hooks the writer to the store as its listener and writes what the store already
// holds. From then on the writer runs on whichever thread appends (the engine thread). A Clean
// of the store is noticed through its generation: what follows is written from its first line.
//
// Ownership: the writer must outlive the store's use of it, that is, stay alive until the engine
// thread has ended. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>

#include "platform/trace.h"

namespace kvx {

class TraceWriter {
 public:
  using LineSink = std::function<void(std::string_view line)>;

  explicit TraceWriter(LineSink sink) : sink_(std::move(sink)) {}

  void Attach(TraceStore& store);
  // Writes the lines not yet written.
  void Flush(const TraceStore& store);

 private:
  LineSink sink_;
  std::mutex mutex_;  // one flush at a time, so no line is written twice or out of order
  std::uint64_t generation_ = 0;
  std::size_t next_ = 0;  // first line of generation_ not yet written
};

}  // namespace kvx
