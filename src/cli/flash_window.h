// kvx-flash's window: it stands where the main window stands. It selects the port the way the
// configuration file does, starts the run with the operator's options, answers the engine's
// question, turns every engine message into terminal output, and shuts the engine down once
// the run has ended.
//
// Lives on the program's main thread, bound to the MessageLoop that main runs; the engine posts
// and sends to it from the engine thread. The loop ends (with the exit status as its code) only
// after the engine thread has ended and been joined.
#pragma once

#include <cstdint>
#include <string>

#include "cli/cli_options.h"
#include "cli/run_tracker.h"
#include "cli/terminal_output.h"
#include "cli/trace_writer.h"
#include "engine/upgrade_proc.h"
#include "platform/message_loop.h"
#include "platform/serial_port_source.h"
#include "platform/window.h"

namespace kvx {

// Posted to the window by the interrupt watch; wParam is the signal's number.
inline constexpr UINT WM_FLASH_INTERRUPT = WM_USER + 3000;

struct FlashSetup {
  const CliOptions& options;
  std::string port;  // --port as the engine's port list spells it
  CUpgradeProc& engine;
  MessageLoop& loop;
  TerminalOutput& output;
  TraceWriter* trace = nullptr;  // set with --trace
  const SerialPortSource& ports;
  int input_fd = 0;  // where the operator answers the question
  bool input_is_terminal = false;
  int interrupt_fd = -1;  // readable once Ctrl-C came
};

class FlashWindow final : public Window {
 public:
  explicit FlashWindow(FlashSetup setup);
  ~FlashWindow() override;

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  enum class Phase {
    kWaitingForEngine,  // until WM_USER_THREAD_START
    kSelectingPort,     // WM_USER_PORT_CONFIG posted, waiting for WM_USER_PORT_SELECTED
    kRunning,           // WM_USER_UPGRADE_START posted
    kClosing,           // WM_CLOSE posted (or due), waiting for WM_USER_THREAD_END
  };

  void OnThreadStart();
  void OnPortSelected(const std::string* port, const std::int32_t* baud);
  void OnPortError(const std::int32_t* code);
  LRESULT OnDeviceCount(WPARAM count);
  LRESULT OnAsk(int question_id);
  void OnButtonControl(WPARAM state, int string_id);
  void OnStatus(int string_id);
  void OnProgressSetup(WPARAM count, LPARAM part);
  void OnProgressPosition(LPARAM position);
  void OnEnd();
  void OnInterrupt(int signo);
  void OnThreadEnd();

  void Apply(const RunTracker::Step& step);
  void Close(int exit_code);

  FlashSetup setup_;
  Phase phase_ = Phase::kWaitingForEngine;
  WindowRef engine_window_;
  // Handed to the engine with WM_USER_PORT_CONFIG; stays untouched until the window dies.
  const std::string port_request_;
  std::string port_name_;  // the port last reported by the engine
  RunTracker tracker_;
  int exit_code_ = 0;
};

}  // namespace kvx
