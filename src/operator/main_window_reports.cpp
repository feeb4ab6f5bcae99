// The main window's side of the engine's messages and requests.

#include "engine/engine_reports.h"
#include "operator/app_identity.h"
#include "operator/control_ids.h"
#include "operator/main_window_behaviour.h"
#include "platform/string_table.h"
#include "platform/user_messages.h"

namespace kvx::ui {

LRESULT MainWindowBehaviour::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (const auto result = DispatchEngineReport(*this, msg, wParam, lParam)) return *result;
  if (msg == WM_CLOSE) OnExit();
  return 0;
}

void MainWindowBehaviour::OnThreadStart() {
  engine_ready_ = true;
  if (!close_requested_) {
    if (TraceStore* trace = services_.engine.trace()) view_.AttachTrace(trace);
  }
  for (const PendingPost& post : pending_posts_) {
    services_.engine.Post(post.msg, post.wParam, post.lParam);
  }
  pending_posts_.clear();
}

void MainWindowBehaviour::OnThreadEnd() {
  services_.engine.Join();
  SetEnded();
}

void MainWindowBehaviour::OnUpgradeEnd(int /*string_id*/) {
  EnableControls(true);
  view_.SetControlText(IDC_STATUS_LINE, std::string(*LoadString(IDS_UPGRADE_COMPLETED)));
  WriteConfig();
  if (services_.dialogs.AskCompletion() == CompletionChoice::kExit) {
    m_bBusy = false;
    Ref().Post(WM_CLOSE);
  } else {
    PostToEngine(WM_USER_UPGRADE_AGAIN);
  }
}

void MainWindowBehaviour::OnProgressSetup(std::uint64_t count, int part) {
  progress_range_ = RangeForAnnouncement(static_cast<WPARAM>(count), part);
  if (progress_range_.upgrade) m_bBusy = true;
  view_.SetProgressRange(progress_range_);
  view_.SetProgressPosition(0);
}

void MainWindowBehaviour::OnProgress(std::int64_t position) {
  view_.SetProgressPosition(ClampedPosition(progress_range_, static_cast<LPARAM>(position)));
}

void MainWindowBehaviour::OnButtonControl(bool enable, int string_id) {
  EnableControls(enable);
  if (string_id != 0) Box(ErrorBox(string_id));
}

void MainWindowBehaviour::OnStatus(int id) {
  if (const auto text = LoadString(id)) {
    view_.SetControlText(IDC_STATUS_LINE, std::string(*text));
  } else {
    view_.SetControlText(IDC_STATUS_LINE, "[" + std::to_string(id) + "]static log error occur");
  }
}

void MainWindowBehaviour::OnPortSelected(const std::string& port, std::int32_t baud) {
  m_strPortName = port;  // copied: it lives in the engine, which waits while this runs
  m_nBaudRate = baud;
  SetPortSelected(m_nBaudRate > 0);
  if (m_bPortSelected) {
    view_.SetTitle(PortTitle(m_strPortName));
    view_.EnableControl(IDC_START, true);
  }
}

void MainWindowBehaviour::SetPortSelected(bool selected) {
  m_bPortSelected = selected;
  view_.ShowSelectedPort(selected ? m_strPortName : std::string());
}

LRESULT MainWindowBehaviour::OnDeviceCount(std::uint64_t /*count*/) {
  Box(NotConnectedBox());
  return 0;
}

LRESULT MainWindowBehaviour::OnAsk(int string_id) {
  return Box(QuestionBox(string_id)) == BoxAnswer::kYes ? IDYES : IDNO;
}

void MainWindowBehaviour::OnPortError(std::int32_t check) {
  const std::optional<BoxRequest> box = PortErrorBox(check, m_strPortName);
  if (!box) return;
  SetPortSelected(false);
  Box(*box);
  ApplyStartTitle();
  if (m_nDevelopment == 1) view_.ShowControl(IDC_PORTSETUP, true);
  // No run follows a port problem: a start refused on a busy port reports only this, so the
  // controls that Start disabled come back here.
  EnableControls(true);
}

// After the engine's own box for the failure.
void MainWindowBehaviour::OnPortAccessDenied(const std::string& device, int /*error*/) {
  if (!device.empty()) Box(PortAccessDeniedBox(device));
}

void MainWindowBehaviour::RunPortSetup(const std::vector<std::string>& free_ports,
                                       const std::string& initial_port, PortSetupDone done) {
  services_.dialogs.ChoosePort(free_ports, initial_port, std::move(done));
}

void MainWindowBehaviour::ShowEngineBox(const std::string& caption, const std::string& text) {
  Box(PlainBox(caption, text));
}

void MainWindowBehaviour::ShowEngineInformation(const std::string& text) {
  Box(InformationBox(text));
}

void MainWindowBehaviour::SetLogWindowVisible(bool visible) {
  view_.SetLogWindowShown(visible);
}

void MainWindowBehaviour::ShowCableLostWarning(const std::string& caption,
                                               const std::string& text) {
  services_.dialogs.ShowBoxWithoutWaiting(PlainBox(caption, text));
}

}  // namespace kvx::ui
