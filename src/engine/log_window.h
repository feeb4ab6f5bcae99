// The engine's trace window: every line since start or since Clean, and whether it is shown.
//
// The engine thread appends and toggles; a front end reads the lines from its own thread through
// store() and shows or hides its view when told through EngineHooks::log_window_visibility.
// The front end changes the view's visibility only when told, so IsShown() is what the operator
// sees (the front end's own hide requests come back through the engine's toggle).
#pragma once

#include <string_view>

#include "engine/engine_hooks.h"
#include "platform/trace.h"

namespace kvx {

class CATLog {
 public:
  explicit CATLog(const EngineHooks& hooks) : hooks_(hooks) {}

  // Appends a line of kind LOG_TX, LOG_RX or LOG_TEXT; any other kind is ignored.
  void AppendLogLine(std::string_view text, COLORREF colour, int kind) {
    store_.Append(text, colour, kind);
  }
  void Clean() { store_.Clean(); }

  // Engine thread.
  void ShowWindow(bool visible) {
    shown_ = visible;
    hooks_.log_window_visibility(visible);
  }
  // Whether the view was last told to show. Engine thread.
  bool IsShown() const { return shown_; }

  TraceStore& store() { return store_; }
  const TraceStore& store() const { return store_; }

 private:
  const EngineHooks& hooks_;
  TraceStore store_;
  bool shown_ = false;
};

}  // namespace kvx
