#include "cli/flash_window.h"

#include "cli/exit_codes.h"
#include "cli/operator_text.h"
#include "cli/port_choice.h"
#include "cli/question.h"
#include "platform/port_permission.h"
#include "platform/string_table.h"
#include "platform/user_messages.h"
#include "serial/serial_ports.h"

namespace kvx {

FlashWindow::FlashWindow(FlashSetup setup)
    : Window(setup.loop), setup_(std::move(setup)), port_request_(setup_.port) {}

FlashWindow::~FlashWindow() {
  DestroyWindow();
}

LRESULT FlashWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (const auto result = DispatchEngineReport(*this, msg, wParam, lParam)) return *result;
  if (msg == WM_FLASH_INTERRUPT) OnInterrupt(static_cast<int>(wParam));
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
  engine_window_.Post(WM_USER_PORT_CONFIG, reinterpret_cast<WPARAM>(&port_request_));
}

void FlashWindow::OnPortSelected(const std::string& port, std::int32_t baud) {
  port_name_ = port;  // copied during the send: it lives in the engine
  if (phase_ != Phase::kSelectingPort) return;
  if (baud <= 0) {
    setup_.output.Message(PortRefusalText(port_request_, EnumSerialPorts(setup_.ports)));
    Close(kExitUsage);
    return;
  }
  // The engine thread waits in this send, so the path is written while it cannot read it.
  CUpgradeWorker& worker = *setup_.engine.worker();
  worker.SetFilePath(setup_.options.file);
  if (setup_.options.compression == CompressionMode::kMax &&
      !worker.SetCompression(SegmentCompressor::Level::kMax)) {
    setup_.output.Message("the smallest compression is not available; using the standard one");
  }
  phase_ = Phase::kRunning;
  tracker_.Started();
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
  if (string_id != 0) setup_.output.Message(MessageBoxText(string_id));
  if (enable) Apply(tracker_.ButtonsEnabled());
}

void FlashWindow::OnStatus(int string_id) {
  if (const auto text = StatusText(string_id)) setup_.output.Status(*text);
}

void FlashWindow::OnProgressSetup(std::uint64_t count, int part) {
  // The port search's range (CHECK_COM_PORT_PART) measures no download.
  if (part == CHECK_COM_PORT_PART) return;
  tracker_.RangeAnnounced();
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
  const RunTracker::Step step = tracker_.Interrupted(signo);
  if (step.post_abort) setup_.output.Message("interrupted; ending the run and closing the port");
  Apply(step);
}

void FlashWindow::OnThreadEnd() {
  setup_.engine.Join();
  setup_.loop.Quit(exit_code_);
}

void FlashWindow::Apply(const RunTracker::Step& step) {
  if (step.post_abort) engine_window_.Post(WM_USER_ABORT_RUN);
  if (step.post_sync) engine_window_.Post(WM_USER_SYNC);
  if (step.finish) Close(*step.finish);
}

void FlashWindow::Close(int exit_code) {
  if (phase_ == Phase::kClosing) return;
  const bool was_running = phase_ == Phase::kRunning;
  phase_ = Phase::kClosing;
  exit_code_ = exit_code;
  setup_.output.EndProgress();
  if (was_running && exit_code == kExitFailed) {
    setup_.output.Message("the upgrade did not complete");
  } else if (exit_code > 128) {
    setup_.output.Message("interrupted; the upgrade did not complete");
  }
  // Before WM_USER_THREAD_START there is no engine window yet; OnThreadStart closes it then.
  if (engine_window_.IsWindow()) engine_window_.Post(WM_CLOSE);
}

}  // namespace kvx
