// kvx-flash's window for one port: it stands where the main window stands. It selects the port
// the way the configuration file does, starts the run with the operator's options, answers the
// engine's question, turns every engine message into output, records each ended run, and shuts
// its engine down once the last run of the port has ended.
//
// A series (--repeat, --count) goes on through the engine's "upgrade another" path: after a run
// has ended, completed or not, the window waits for the next terminal (the port's device gone
// and back, settled, or Enter on a terminal) and starts again.
//
// Lives on the program's main thread, bound to the MessageLoop that main runs; the engine posts
// and sends to it from the engine thread. `on_closed` is called once the engine thread has
// ended and been joined, with the port's exit status.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "cli/cli_options.h"
#include "cli/run_log.h"
#include "cli/run_output.h"
#include "cli/run_tracker.h"
#include "cli/trace_writer.h"
#include "engine/engine_reports.h"
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
  RunOutput& output;
  TraceWriter* trace = nullptr;  // set with --trace
  const SerialPortSource& ports;
  int input_fd = 0;  // where the operator answers the question
  bool input_is_terminal = false;
  int interrupt_fd = -1;           // readable once Ctrl-C came
  RunLog* runs = nullptr;          // where ended runs are recorded; shared by the ports
  bool enter_starts_next = false;  // Enter on standard input also means "the next terminal"
  std::function<void(int exit_code)> on_closed;  // required
};

class FlashWindow final : public Window, private EngineReports {
 public:
  explicit FlashWindow(FlashSetup setup);
  ~FlashWindow() override;

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  enum class Phase {
    kWaitingForEngine,  // until WM_USER_THREAD_START
    kSelectingPort,     // WM_USER_PORT_CONFIG posted, waiting for WM_USER_PORT_SELECTED
    kRunning,           // WM_USER_UPGRADE_START posted
    kWaitingForNext,    // a run of a series has ended; waiting for the next terminal
    kClosing,           // WM_CLOSE posted (or due), waiting for WM_USER_THREAD_END
  };

  // The engine's reports.
  void OnThreadStart() override;
  void OnPortSelected(const std::string& port, std::int32_t baud) override;
  void OnPortError(std::int32_t check) override;
  void OnPortAccessDenied(const std::string& device, int error) override;
  LRESULT OnDeviceCount(std::uint64_t count) override;
  LRESULT OnAsk(int question_id) override;
  LRESULT Answer(int question_id);
  void OnButtonControl(bool enable, int string_id) override;
  void OnStatus(int string_id) override;
  void OnProgressSetup(std::uint64_t count, int part) override;
  void OnProgress(std::int64_t position) override;
  void OnUpgradeEnd(int string_id) override;
  void OnSync(bool run_active) override;
  void OnThreadEnd() override;

  void OnInterrupt(int signo);

  void Apply(const RunTracker::Step& step);
  void StartRun();
  void RunEnded(int code);
  RunResult ResultOf(int code) const;
  bool SeriesGoesOn() const;
  void WaitForNextTerminal();
  void OnNextTerminalPoll();
  void Close(int exit_code);

  FlashSetup setup_;
  Phase phase_ = Phase::kWaitingForEngine;
  WindowRef engine_window_;
  // Handed to the engine with WM_USER_PORT_CONFIG; stays untouched until the window dies.
  const std::string port_request_;
  std::string port_name_;          // the port last reported by the engine
  const std::string device_path_;  // the port's device, watched between runs of a series
  RunTracker tracker_;
  int exit_code_ = 0;

  // The run in progress.
  std::chrono::system_clock::time_point run_start_{};
  std::string run_by_id_;  // the port's by-id name when the run started
  int last_message_id_ = 0;
  bool answered_no_ = false;

  // The series.
  int runs_ended_ = 0;
  bool any_run_incomplete_ = false;
  bool report_failed_ = false;
  bool device_gone_ = false;
  int device_back_polls_ = 0;
};

}  // namespace kvx
