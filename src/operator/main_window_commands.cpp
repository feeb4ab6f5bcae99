// The operator's commands in the main window: buttons, accelerators, drops and the web link.

#include "operator/app_identity.h"
#include "operator/control_ids.h"
#include "operator/main_window_behaviour.h"
#include "platform/user_messages.h"

namespace kvx::ui {

namespace {

constexpr const char* kReadyText = "Ready to Start";

}  // namespace

void MainWindowBehaviour::OnStart() {
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
  view_.SetProgressPosition(0);
  m_bStarted = true;
  m_strImagePath = view_.ControlText(IDC_PATH_BOX);
  services_.engine.SetFilePath(m_strImagePath);
  EnableControls(false);
  const LPARAM options = (view_.IsChecked(IDC_FORCED_BOOTLOADER) ? OPTION_FORCE_BOOT : 0) |
                         (view_.IsChecked(IDC_DOWNGRADE) ? OPTION_DOWNGRADE : 0);
  PostToEngine(WM_USER_UPGRADE_START, 0, options);
}

void MainWindowBehaviour::OnOpen() {
  if (staging_ || close_requested_) return;
  const std::optional<std::string> chosen = services_.dialogs.ChooseImageFile(m_strImagePath);
  if (!chosen) return;
  SetImagePath(*chosen);
  services_.engine.SetFilePath(*chosen);
  view_.EnableControl(IDC_START, true);
  if (StageImage()) {
    view_.SetControlText(IDC_STATUS_LINE, kReadyText);
    view_.SetProgressPosition(0);
  }
}

void MainWindowBehaviour::OnPortSetup() {
  if (close_requested_) return;
  PostToEngine(WM_USER_PORT_SETUP);
}

void MainWindowBehaviour::OnExit() {
  if (close_requested_) return;
  if (staging_) {
    exit_deferred_ = true;
    return;
  }
  if (!engine_started_) {
    // No engine to wait for: the window ends at once.
    SetEnded();
    return;
  }
  if (m_bBusy && Box(ExitQuestionBox()) != BoxAnswer::kYes) return;
  CloseEngine();
}

void MainWindowBehaviour::OnAbout() {
  services_.dialogs.ShowAbout();
}

void MainWindowBehaviour::OnWebLink() {
  services_.dialogs.OpenWebPage(std::string(kMakerHomePage));
}

void MainWindowBehaviour::OnDevSequenceKey(int step) {
  if (dev_keys_.Press(step)) SwitchDevelopmentMode();
}

void MainWindowBehaviour::OnLogWindowKey() {
  PostToEngine(WM_USER_LOG_WND_CTRL, 0, LOG_WND_TOGGLE);
}

void MainWindowBehaviour::OnDumpKey() {
  if (m_nDevelopment != 0) PostToEngine(WM_USER_LOG_WND_CTRL, 0, DUMP_TOGGLE);
}

bool MainWindowBehaviour::OnCommand(int id) {
  switch (id) {
    case IDC_START:
      OnStart();
      return true;
    case IDC_OPEN:
      OnOpen();
      return true;
    case IDC_PORTSETUP:
      OnPortSetup();
      return true;
    case IDC_EXIT:
      OnExit();
      return true;
    case IDM_ABOUT:
      OnAbout();
      return true;
    case ID_DEV_SEQUENCE_1:
    case ID_DEV_SEQUENCE_2:
    case ID_DEV_SEQUENCE_3:
    case ID_DEV_SEQUENCE_4:
      OnDevSequenceKey(id - ID_DEV_SEQUENCE_1);
      return true;
    case ID_DUMP_TOGGLE:
      OnDumpKey();
      return true;
    case ID_LOG_WINDOW_TOGGLE:
      OnLogWindowKey();
      return true;
    default:
      return false;
  }
}

void MainWindowBehaviour::SwitchDevelopmentMode() {
  const int options[] = {IDC_FORCED_BOOTLOADER, IDC_DOWNGRADE};
  if (m_nDevelopment == 1) {
    for (const int option : options) {
      view_.ShowControl(option, false);
      view_.EnableControl(option, false);
      view_.SetChecked(option, false);
    }
    m_nDevelopment = 0;
    ApplyStartTitle();
    PostToEngine(WM_USER_DEV_MODE, 0, DEV_MODE_OFF);
    return;
  }
  for (const int option : options) {
    if (!m_bStarted) view_.SetChecked(option, false);
    view_.EnableControl(option, true);
    view_.ShowControl(option, true);
  }
  view_.ShowControl(IDC_PORTSETUP, true);
  m_nDevelopment = 1;
  ApplyStartTitle();
  PostToEngine(WM_USER_DEV_MODE, 0, DEV_MODE_ON);
}

bool MainWindowBehaviour::AcceptsDrops() const {
  return view_.IsControlEnabled(IDC_OPEN) && !staging_;
}

void MainWindowBehaviour::DropFiles(const std::vector<std::string>& paths) {
  if (!AcceptsDrops()) return;
  // Last to first, each becoming the path: the first dropped file wins.
  for (auto path = paths.crbegin(); path != paths.crend(); ++path) SetImagePath(*path);
}

}  // namespace kvx::ui
