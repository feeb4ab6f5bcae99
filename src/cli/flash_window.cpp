#include "cli/flash_window.h"

#include <algorithm>
#include <chrono>

#include "cli/exit_codes.h"
#include "cli/operator_text.h"
#include "cli/port_choice.h"
#include "cli/question.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/port_description.h"
#include "platform/port_permission.h"
#include "platform/string_table.h"
#include "platform/user_messages.h"
#include "serial/serial_ports.h"

namespace kvx {

namespace {

// Between two runs of a series the port's device is looked at this often; it must have been
// back for kSettledPolls looks in a row before the next run starts, so a terminal still
// enumerating is left alone.
constexpr std::uintptr_t kNextTerminalTimer = 1;
constexpr auto kNextTerminalPoll = std::chrono::milliseconds(150);
constexpr int kSettledPolls = 4;

// Messages by which the version rules refuse an image.
constexpr int kRuleMessages[] = {
    IDS_LOWER_VERSION,       IDS_UNKNOWN_VERSIONS,    IDS_BINARY_VERSION_UNKNOWN,
    IDS_VERSION_MISMATCH_56, IDS_VERSION_MISMATCH_57, IDS_VERSION_MISMATCH_58,
    IDS_LOWER_VERSION_60,    IDS_VERSION_MISMATCH_62, IDS_VERSION_MISMATCH_63,
    IDS_VERSION_MISMATCH_64, IDS_HW_UPGRADE_REQUIRED};

// A line typed on the terminal: the operator's Enter. Never blocks.
bool TakeEnter(int input_fd) {
  if (!InputReady(input_fd)) return false;
  for (char byte = 0;;) {
    if (ReadByteOrInterrupt(input_fd, -1, byte) != ConsoleRead::kByte) return false;
    if (byte == '\n') return true;
  }
}

bool IsRuleMessage(int id) {
  return std::find(std::begin(kRuleMessages), std::end(kRuleMessages), id) !=
         std::end(kRuleMessages);
}

}  // namespace

FlashWindow::FlashWindow(FlashSetup setup)
    : Window(setup.loop),
      setup_(std::move(setup)),
      port_request_(setup_.port),
      device_path_(SerialDevicePath(setup_.port)) {}

FlashWindow::~FlashWindow() {
  DestroyWindow();
}

LRESULT FlashWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (const auto result = DispatchEngineReport(*this, msg, wParam, lParam)) return *result;
  if (msg == WM_FLASH_INTERRUPT) OnInterrupt(static_cast<int>(wParam));
  if (msg == WM_TIMER && wParam == kNextTerminalTimer) OnNextTerminalPoll();
  return 0;
}

void FlashWindow::OnThreadStart() {
  engine_window_ = setup_.engine.engine_window();
  // The trace is attached first so that it holds everything this front end asks for.
  if (setup_.trace) setup_.trace->Attach(setup_.engine.worker()->log_window().store());
  if (phase_ == Phase::kClosing) {
    engine_window_.Post(WM_CLOSE);
    return;
  }
  if (setup_.options.dev) engine_window_.Post(WM_USER_DEV_MODE, 0, DEV_MODE_ON);
  if (setup_.options.dump_segments) engine_window_.Post(WM_USER_LOG_WND_CTRL, 0, DUMP_TOGGLE);
  phase_ = Phase::kSelectingPort;
  setup_.output.Phase("connecting");
  engine_window_.Post(WM_USER_PORT_CONFIG, reinterpret_cast<WPARAM>(&port_request_));
}

void FlashWindow::OnPortSelected(const std::string& port, std::int32_t baud) {
  port_name_ = port;  // copied during the send: it lives in the engine
  if (phase_ != Phase::kSelectingPort) return;
  if (baud <= 0) {
    setup_.output.Message(PortRefusalText(port_request_, EnumSerialPorts(setup_.ports)));
    setup_.output.Phase("cannot be used");
    Close(kExitUsage);
    return;
  }
  StartRun();
}

// The engine thread waits in the send of the port's selection, so what the window sets on the
// worker here is written while it cannot read it.
void FlashWindow::StartRun() {
  // The engine thread waits in this send, so the path is written while it cannot read it.
  CUpgradeWorker& worker = *setup_.engine.worker();
  worker.SetFilePath(setup_.options.file);
  if (setup_.options.compression == CompressionMode::kMax &&
      !worker.SetCompression(SegmentCompressor::Level::kMax)) {
    setup_.output.Message("the smallest compression is not available; using the standard one");
  }
  phase_ = Phase::kRunning;
  tracker_ = RunTracker();
  tracker_.Started();
  run_start_ = std::chrono::system_clock::now();
  run_by_id_ = DescribePort(port_request_).by_id;
  last_message_id_ = 0;
  answered_no_ = false;
  setup_.output.Phase("connecting");
  // Every run's end turns the dump switch off; each run of a series dumps as the first did.
  if (runs_ended_ > 0 && setup_.options.dump_segments) {
    engine_window_.Post(WM_USER_LOG_WND_CTRL, 0, DUMP_TOGGLE);
  }
  engine_window_.Post(WM_USER_UPGRADE_START, 0, StartOptionBits(setup_.options));
}

void FlashWindow::OnPortError(std::int32_t check) {
  const std::string& port = port_name_.empty() ? port_request_ : port_name_;
  const auto text = PortErrorText(check, port);
  if (!text) return;
  setup_.output.Message(*text);
  Apply(tracker_.PortProblem());
}

// Comes after the engine's own report (the port error, or the message of the ended run).
void FlashWindow::OnPortAccessDenied(const std::string& device, int /*error*/) {
  if (!device.empty()) setup_.output.Message(PortPermissionText(device));
}

LRESULT FlashWindow::OnDeviceCount(std::uint64_t count) {
  if (count == 0) setup_.output.Message(MessageBoxText(IDS_NOT_CONNECTED));
  Apply(tracker_.DeviceCountReported());
  return 0;
}

LRESULT FlashWindow::OnAsk(int question_id) {
  const LRESULT answer = Answer(question_id);
  if (answer == IDNO) answered_no_ = true;
  return answer;
}

LRESULT FlashWindow::Answer(int question_id) {
  const std::string question = MessageBoxText(question_id);
  switch (DecideQuestion(setup_.options.answer, setup_.input_is_terminal)) {
    case QuestionAction::kAnswerYes:
      setup_.output.Message(question);
      setup_.output.Message("answered yes (--yes)");
      return IDYES;
    case QuestionAction::kAnswerNo:
      setup_.output.Message(question);
      setup_.output.Message(setup_.options.answer == AnswerMode::kNo
                                ? "answered no (--no)"
                                : "answered no: standard input is not a terminal (--yes "
                                  "answers yes)");
      return IDNO;
    case QuestionAction::kAskOperator:
      break;
  }
  return AskOperator(setup_.output, question, setup_.input_fd, setup_.interrupt_fd) ? IDYES : IDNO;
}

void FlashWindow::OnButtonControl(bool enable, int string_id) {
  if (string_id != 0) {
    setup_.output.Message(MessageBoxText(string_id));
    last_message_id_ = string_id;
  }
  if (enable) Apply(tracker_.ButtonsEnabled());
}

void FlashWindow::OnStatus(int string_id) {
  if (const auto text = StatusText(string_id)) setup_.output.Status(*text);
}

void FlashWindow::OnProgressSetup(std::uint64_t count, int part) {
  // The port search's range (CHECK_COM_PORT_PART) measures no download.
  if (part == CHECK_COM_PORT_PART) return;
  tracker_.RangeAnnounced();
  setup_.output.Phase("downloading");
  setup_.output.BeginProgress(static_cast<std::int64_t>(count), setup_.loop.clock().Now());
}

void FlashWindow::OnProgress(std::int64_t position) {
  setup_.output.UpdateProgress(position, setup_.loop.clock().Now());
}

void FlashWindow::OnUpgradeEnd(int /*string_id*/) {
  const RunTracker::Step step = tracker_.Completed();
  if (step.finish && *step.finish == kExitCompleted) {
    setup_.output.EndProgress();
    if (const auto text = StatusText(IDS_UPGRADE_COMPLETED)) setup_.output.Status(*text);
  }
  Apply(step);
}

void FlashWindow::OnSync(bool run_active) {
  Apply(tracker_.SyncAnswered(run_active));
}

void FlashWindow::OnInterrupt(int signo) {
  if (phase_ == Phase::kWaitingForNext) {
    Close(ExitCodeForSignal(signo));
    return;
  }
  const RunTracker::Step step = tracker_.Interrupted(signo);
  if (step.post_abort) setup_.output.Message("interrupted; ending the run and closing the port");
  Apply(step);
}

void FlashWindow::OnThreadEnd() {
  setup_.engine.Join();
  setup_.on_closed(exit_code_);
}

void FlashWindow::Apply(const RunTracker::Step& step) {
  if (step.post_abort) engine_window_.Post(WM_USER_ABORT_RUN);
  if (step.post_sync) engine_window_.Post(WM_USER_SYNC);
  if (step.finish) RunEnded(*step.finish);
}

// A run has ended with the exit status `code`: record it, then go on with the series or close.
void FlashWindow::RunEnded(int code) {
  ++runs_ended_;
  const RunResult result = ResultOf(code);
  if (result != RunResult::kCompleted) any_run_incomplete_ = true;
  const bool ran = phase_ == Phase::kRunning && code != kExitUsage;
  if (setup_.runs != nullptr && ran) {
    RunReport run;
    run.port = port_request_;
    run.port_by_id = run_by_id_;
    run.start = run_start_;
    run.end = std::chrono::system_clock::now();
    run.image = setup_.runs->image();
    run.terminal = setup_.engine.worker()->LastRun();  // the engine is idle: the sync said so
    run.result = result;
    run.message_id = result == RunResult::kCompleted ? IDS_UPGRADE_COMPLETED : last_message_id_;
    if (run.message_id != 0) {
      run.message = MessageBoxText(run.message_id);
      // The status texts are padded for the window's status line.
      run.message.erase(run.message.find_last_not_of(' ') + 1);
    }
    std::error_code error;
    if (!setup_.runs->Record(run, error)) {
      setup_.output.Message("cannot write the report: " + error.message() +
                            "; no further run starts");
      report_failed_ = true;
    }
  }
  setup_.output.Phase(RunResultName(result));
  if (ran && code <= 128) {
    setup_.output.EndProgress();
    if (result != RunResult::kCompleted) setup_.output.Message("the upgrade did not complete");
    if (SeriesGoesOn()) {
      WaitForNextTerminal();
      return;
    }
  }
  // The port's status: interrupted, a port that could not be used, or whether every run
  // completed.
  if (code > 128 || code == kExitUsage) {
    Close(code);
  } else {
    // A run the report could not keep is not one a quality department can count as done.
    Close(any_run_incomplete_ || report_failed_ ? kExitFailed : kExitCompleted);
  }
}

RunResult FlashWindow::ResultOf(int code) const {
  if (code == kExitCompleted) return RunResult::kCompleted;
  if (code > 128) return RunResult::kInterrupted;
  if (answered_no_ || IsRuleMessage(last_message_id_)) return RunResult::kRefused;
  return RunResult::kFailed;
}

bool FlashWindow::SeriesGoesOn() const {
  if (!setup_.options.repeat || report_failed_) return false;
  return setup_.options.count == 0 || runs_ended_ < setup_.options.count;
}

void FlashWindow::WaitForNextTerminal() {
  phase_ = Phase::kWaitingForNext;
  device_gone_ = false;
  device_back_polls_ = 0;
  setup_.output.Phase("waiting for the next terminal");
  setup_.output.Message("connect the next terminal on " + PortNameForTrace(port_request_) +
                        (setup_.enter_starts_next ? " (or press Enter)" : ""));
  setup_.loop.SetTimer(*this, kNextTerminalTimer, kNextTerminalPoll);
}

// The next terminal is the port's device gone and back again, settled; a USB terminal that comes
// back under the same by-id name (with its serial number) is the same one restarting.
void FlashWindow::OnNextTerminalPoll() {
  if (phase_ != Phase::kWaitingForNext) return;
  bool next = setup_.enter_starts_next && TakeEnter(setup_.input_fd);
  if (!next) {
    if (!FileExists(device_path_)) {
      device_gone_ = true;
      device_back_polls_ = 0;
      return;
    }
    if (!device_gone_ || ++device_back_polls_ < kSettledPolls) return;
    if (!run_by_id_.empty() && DescribePort(port_request_).by_id == run_by_id_) {
      device_gone_ = false;  // the same terminal restarted; keep waiting
      return;
    }
    next = true;
  }
  setup_.loop.KillTimer(*this, kNextTerminalTimer);
  phase_ = Phase::kSelectingPort;
  engine_window_.Post(WM_USER_UPGRADE_AGAIN);
}

void FlashWindow::Close(int exit_code) {
  if (phase_ == Phase::kClosing) return;
  const bool was_running = phase_ == Phase::kRunning;
  if (phase_ == Phase::kWaitingForNext) setup_.loop.KillTimer(*this, kNextTerminalTimer);
  phase_ = Phase::kClosing;
  exit_code_ = exit_code;
  setup_.output.EndProgress();
  if (exit_code > 128) {
    setup_.output.Message(was_running ? "interrupted; the upgrade did not complete"
                                      : "interrupted");
  }
  // Before WM_USER_THREAD_START there is no engine window yet; OnThreadStart closes it then.
  if (engine_window_.IsWindow()) engine_window_.Post(WM_CLOSE);
}

}  // namespace kvx
