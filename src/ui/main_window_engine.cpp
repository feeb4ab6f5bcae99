// The main window's side of the engine's messages and requests.

#include <QCheckBox>
#include <QProgressBar>

#include "engine/engine_reports.h"
#include "platform/string_table.h"
#include "platform/user_messages.h"
#include "operator/app_identity.h"
#include "ui/image_button.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/port_label.h"
#include "ui/qt_text.h"
#include "ui/status_line.h"

namespace kvx::ui {

LRESULT CSKY_DECK_UPGRADERDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (const auto result = DispatchEngineReport(*this, msg, wParam, lParam)) return *result;
  if (msg == WM_CLOSE) OnExit();
  return 0;
}

void CSKY_DECK_UPGRADERDlg::OnThreadStart() {
  engine_ready_ = true;
  if (!close_requested_) {
    if (TraceStore* trace = services_.engine.trace()) log_window_->Attach(trace);
  }
  for (const PendingPost& post : pending_posts_) {
    services_.engine.Post(post.msg, post.wParam, post.lParam);
  }
  pending_posts_.clear();
}

void CSKY_DECK_UPGRADERDlg::OnThreadEnd() {
  services_.engine.Join();
  engine_ended_ = true;
  emit ended();
}

void CSKY_DECK_UPGRADERDlg::OnUpgradeEnd(int /*string_id*/) {
  EnableControls(true);
  status_->SetStatus(ToQString(*LoadString(IDS_UPGRADE_COMPLETED)));
  WriteConfig();
  if (services_.dialogs.AskCompletion(this) == CompletionChoice::kExit) {
    m_bBusy = false;
    Ref().Post(WM_CLOSE);
  } else {
    PostToEngine(WM_USER_UPGRADE_AGAIN);
  }
}

void CSKY_DECK_UPGRADERDlg::OnProgressSetup(std::uint64_t count, int part) {
  progress_range_ = RangeForAnnouncement(static_cast<WPARAM>(count), part);
  if (progress_range_.upgrade) m_bBusy = true;
  progress_->setRange(progress_range_.minimum, progress_range_.maximum);
  progress_->setValue(0);
}

void CSKY_DECK_UPGRADERDlg::OnProgress(std::int64_t position) {
  progress_->setValue(ClampedPosition(progress_range_, static_cast<LPARAM>(position)));
}

void CSKY_DECK_UPGRADERDlg::OnButtonControl(bool enable, int string_id) {
  EnableControls(enable);
  if (string_id != 0) Box(ErrorBox(string_id));
}

void CSKY_DECK_UPGRADERDlg::OnStatus(int id) {
  if (const auto text = LoadString(id)) {
    status_->SetStatus(ToQString(*text));
  } else {
    status_->SetStatus(QStringLiteral("[%1]static log error occur").arg(id));
  }
}

void CSKY_DECK_UPGRADERDlg::OnPortSelected(const std::string& port, std::int32_t baud) {
  m_strPortName = port;  // copied: it lives in the engine, which waits while this runs
  m_nBaudRate = baud;
  SetPortSelected(m_nBaudRate > 0);
  if (m_bPortSelected) {
    setWindowTitle(ToQString(PortTitle(m_strPortName)));
    start_->setEnabled(true);
  }
}

void CSKY_DECK_UPGRADERDlg::SetPortSelected(bool selected) {
  m_bPortSelected = selected;
  port_label_->ShowPort(selected ? m_strPortName : std::string());
}

LRESULT CSKY_DECK_UPGRADERDlg::OnDeviceCount(std::uint64_t /*count*/) {
  Box(NotConnectedBox());
  return 0;
}

LRESULT CSKY_DECK_UPGRADERDlg::OnAsk(int string_id) {
  return Box(QuestionBox(string_id)) == BoxAnswer::kYes ? IDYES : IDNO;
}

void CSKY_DECK_UPGRADERDlg::OnPortError(std::int32_t check) {
  const std::optional<BoxRequest> box = PortErrorBox(check, m_strPortName);
  if (!box) return;
  SetPortSelected(false);
  Box(*box);
  ApplyStartTitle();
  if (m_nDevelopment == 1) port_setup_->show();
  // No run follows a port problem: a start refused on a busy port reports only this, so the
  // controls that Start disabled come back here.
  EnableControls(true);
}

// After the engine's own box for the failure.
void CSKY_DECK_UPGRADERDlg::OnPortAccessDenied(const std::string& device, int /*error*/) {
  if (!device.empty()) Box(PortAccessDeniedBox(device));
}

void CSKY_DECK_UPGRADERDlg::RunPortSetup(const std::vector<std::string>& free_ports,
                                         const std::string& initial_port, PortSetupDone done) {
  services_.dialogs.ChoosePort(this, free_ports, initial_port, std::move(done));
}

void CSKY_DECK_UPGRADERDlg::ShowEngineBox(const std::string& caption, const std::string& text) {
  Box(PlainBox(caption, text));
}

void CSKY_DECK_UPGRADERDlg::ShowEngineInformation(const std::string& text) {
  Box(InformationBox(text));
}

void CSKY_DECK_UPGRADERDlg::SetLogWindowVisible(bool visible) {
  log_window_->SetShown(visible);
}

void CSKY_DECK_UPGRADERDlg::ShowCableLostWarning(const std::string& caption,
                                                 const std::string& text) {
  services_.dialogs.ShowBoxWithoutWaiting(PlainBox(caption, text));
}

}  // namespace kvx::ui
