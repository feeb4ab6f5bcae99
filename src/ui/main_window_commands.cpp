// The operator's commands in the main window: buttons, accelerators, drops and the web link.

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QUrl>

#include "platform/user_messages.h"
#include "operator/app_identity.h"
#include "ui/image_button.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/status_line.h"

namespace kvx::ui {

namespace {

constexpr const char* kReadyText = "Ready to Start";

// A dropped name as a 260-character buffer takes it: at most 259 characters, never half of a
// surrogate pair.
QString CutDroppedPath(QString path, int max_length) {
  if (path.size() <= max_length) return path;
  path.truncate(max_length);
  if (path.back().isHighSurrogate()) path.chop(1);
  return path;
}

}  // namespace

void CSKY_DECK_UPGRADERDlg::OnStart() {
  if (staging_ || close_requested_) return;
  if (!m_bPortSelected) {
    Box(SelectPortBox());
    return;
  }
  SetImagePath(m_strImagePath);
  if (m_strImagePath.empty()) {
    Box(SelectFileBox());
    return;
  }
  progress_->setValue(0);
  m_bStarted = true;
  m_strImagePath = ToStdString(path_box_->text());
  services_.engine.SetFilePath(m_strImagePath);
  EnableControls(false);
  const LPARAM options = (forced_boot_->isChecked() ? OPTION_FORCE_BOOT : 0) |
                         (downgrade_->isChecked() ? OPTION_DOWNGRADE : 0);
  PostToEngine(WM_USER_UPGRADE_START, 0, options);
}

void CSKY_DECK_UPGRADERDlg::OnOpen() {
  if (staging_ || close_requested_) return;
  const std::optional<std::string> chosen = services_.dialogs.ChooseImageFile(this, m_strImagePath);
  if (!chosen) return;
  SetImagePath(*chosen);
  services_.engine.SetFilePath(*chosen);
  start_->setEnabled(true);
  if (StageImage()) {
    status_->SetStatus(QString::fromLatin1(kReadyText));
    progress_->setValue(0);
  }
}

void CSKY_DECK_UPGRADERDlg::OnPortSetup() {
  if (close_requested_) return;
  PostToEngine(WM_USER_PORT_SETUP);
}

void CSKY_DECK_UPGRADERDlg::OnExit() {
  if (close_requested_) return;
  if (staging_) {
    exit_deferred_ = true;
    return;
  }
  if (!engine_started_) {
    // No engine to wait for: the window ends at once.
    engine_ended_ = true;
    emit ended();
    return;
  }
  if (m_bBusy && Box(ExitQuestionBox()) != BoxAnswer::kYes) return;
  CloseEngine();
}

void CSKY_DECK_UPGRADERDlg::OnAbout() {
  services_.dialogs.ShowAbout(this);
}

void CSKY_DECK_UPGRADERDlg::OnWebLink() {
  services_.dialogs.OpenWebPage(std::string(kMakerHomePage));
}

void CSKY_DECK_UPGRADERDlg::OnDevSequenceKey(int step) {
  if (dev_keys_.Press(step)) SwitchDevelopmentMode();
}

void CSKY_DECK_UPGRADERDlg::OnLogWindowKey() {
  PostToEngine(WM_USER_LOG_WND_CTRL, 0, LOG_WND_TOGGLE);
}

void CSKY_DECK_UPGRADERDlg::OnDumpKey() {
  if (m_nDevelopment != 0) PostToEngine(WM_USER_LOG_WND_CTRL, 0, DUMP_TOGGLE);
}

void CSKY_DECK_UPGRADERDlg::SwitchDevelopmentMode() {
  if (m_nDevelopment == 1) {
    for (QCheckBox* option : {forced_boot_, downgrade_}) {
      option->hide();
      option->setEnabled(false);
      option->setChecked(false);
    }
    m_nDevelopment = 0;
    ApplyStartTitle();
    PostToEngine(WM_USER_DEV_MODE, 0, DEV_MODE_OFF);
    return;
  }
  for (QCheckBox* option : {forced_boot_, downgrade_}) {
    if (!m_bStarted) option->setChecked(false);
    option->setEnabled(true);
    option->show();
  }
  port_setup_->show();
  m_nDevelopment = 1;
  ApplyStartTitle();
  PostToEngine(WM_USER_DEV_MODE, 0, DEV_MODE_ON);
}

void CSKY_DECK_UPGRADERDlg::DropFiles(const QList<QUrl>& urls) {
  // Last to first, each becoming the path: the first dropped file wins.
  for (auto url = urls.crbegin(); url != urls.crend(); ++url) {
    if (!url->isLocalFile()) continue;
    SetImagePath(ToStdString(CutDroppedPath(url->toLocalFile(), kMaxDroppedPathLength)));
  }
}

void CSKY_DECK_UPGRADERDlg::dragEnterEvent(QDragEnterEvent* event) {
  // Not during a run: the path box names the image that Config.ini records at completion.
  if (event->mimeData()->hasUrls() && open_->isEnabled() && !staging_) {
    event->acceptProposedAction();
  }
}

void CSKY_DECK_UPGRADERDlg::dropEvent(QDropEvent* event) {
  if (!event->mimeData()->hasUrls() || !open_->isEnabled() || staging_) return;
  DropFiles(event->mimeData()->urls());
  event->acceptProposedAction();
}

}  // namespace kvx::ui
