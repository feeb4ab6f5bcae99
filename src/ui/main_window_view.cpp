// The main window as the behaviour's view: its controls by id, its title, the log window and
// the GUI thread's loop.

#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QProgressBar>

#include "operator/control_ids.h"
#include "ui/image_button.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/port_label.h"
#include "ui/qt_text.h"
#include "ui/status_line.h"
#include "ui/web_link_area.h"

namespace kvx::ui {

QWidget* CSKY_DECK_UPGRADERDlg::Control(int id) const {
  switch (id) {
    case IDC_PORTSETUP:
      return port_setup_;
    case IDC_OPEN:
      return open_;
    case IDC_START:
      return start_;
    case IDC_EXIT:
      return exit_;
    case IDC_PATH_BOX:
      return path_box_;
    case IDC_STATUS_LINE:
      return status_;
    case IDC_PROGRESS:
      return progress_;
    case IDC_FORCED_BOOTLOADER:
      return forced_boot_;
    case IDC_DOWNGRADE:
      return downgrade_;
    case IDC_WEB_LINK_AREA:
      return web_link_;
    default:
      return nullptr;
  }
}

QCheckBox* CSKY_DECK_UPGRADERDlg::Option(int id) const {
  if (id == IDC_FORCED_BOOTLOADER) return forced_boot_;
  if (id == IDC_DOWNGRADE) return downgrade_;
  return nullptr;
}

void CSKY_DECK_UPGRADERDlg::EnableControl(int id, bool enabled) {
  if (QWidget* control = Control(id)) control->setEnabled(enabled);
}

bool CSKY_DECK_UPGRADERDlg::IsControlEnabled(int id) const {
  const QWidget* control = Control(id);
  return control && control->isEnabled();
}

void CSKY_DECK_UPGRADERDlg::ShowControl(int id, bool visible) {
  if (QWidget* control = Control(id)) control->setVisible(visible);
}

void CSKY_DECK_UPGRADERDlg::SetChecked(int id, bool checked) {
  if (QCheckBox* option = Option(id)) option->setChecked(checked);
}

bool CSKY_DECK_UPGRADERDlg::IsChecked(int id) const {
  const QCheckBox* option = Option(id);
  return option && option->isChecked();
}

void CSKY_DECK_UPGRADERDlg::FocusControl(int id) {
  if (QWidget* control = Control(id)) control->setFocus();
}

void CSKY_DECK_UPGRADERDlg::SetControlText(int id, const std::string& text) {
  if (id == IDC_PATH_BOX) {
    path_box_->setText(ToQString(text));
    path_box_->setCursorPosition(0);
  } else if (id == IDC_STATUS_LINE) {
    status_->SetStatus(ToQString(text));
  }
}

std::string CSKY_DECK_UPGRADERDlg::ControlText(int id) const {
  if (id == IDC_PATH_BOX) return ToStdString(path_box_->text());
  if (id == IDC_STATUS_LINE) return ToStdString(status_->text());
  return {};
}

void CSKY_DECK_UPGRADERDlg::SetProgressRange(const ProgressRange& range) {
  progress_->setRange(range.minimum, range.maximum);
  progress_->setValue(range.minimum);
}

void CSKY_DECK_UPGRADERDlg::SetProgressPosition(int position) {
  progress_->setValue(position);
}

void CSKY_DECK_UPGRADERDlg::SetTitle(const std::string& title) {
  setWindowTitle(ToQString(title));
}

void CSKY_DECK_UPGRADERDlg::ShowSelectedPort(const std::string& port) {
  port_label_->ShowPort(port);
}

void CSKY_DECK_UPGRADERDlg::ShowMainWindow() {
  show();
}

void CSKY_DECK_UPGRADERDlg::AttachTrace(TraceStore* trace) {
  log_window_->Attach(trace);
}

void CSKY_DECK_UPGRADERDlg::SetLogWindowShown(bool shown) {
  log_window_->SetShown(shown);
}

void CSKY_DECK_UPGRADERDlg::RunUntil(const std::function<bool()>& done) {
  // Whatever makes `done` true arrives as an event (a message or a task of the queue), so each
  // wait ends in time to ask again.
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void CSKY_DECK_UPGRADERDlg::Ended() {
  emit ended();
}

}  // namespace kvx::ui
