#include "operator/main_window_behaviour.h"

#include <atomic>
#include <thread>

#include "operator/app_identity.h"
#include "operator/config_file.h"
#include "operator/control_ids.h"
#include "platform/user_messages.h"

namespace kvx::ui {

MainWindowBehaviour::MainWindowBehaviour(MainWindowServices services, MainWindowView& view)
    : Window(services.queue),
      services_(std::move(services)),
      view_(view),
      hooks_(services_.gui, *this),
      dev_keys_(services_.clock) {}

MainWindowBehaviour::~MainWindowBehaviour() {
  // Normally the engine has ended before the window goes. If not, close it and keep handling
  // its messages and requests until its thread is gone.
  if (engine_started_ && !engine_ended_) {
    CloseEngine();
    view_.RunUntil([this] { return engine_ended_; });
  }
  DestroyWindow();
}

void MainWindowBehaviour::OnInitDialog() {
  engine_started_ = services_.engine.Start(Ref(), hooks_.hooks());
  m_nDevelopment = services_.profile.GetProfileInt(kSectionDevelopment, kEntryDev, 0);
  ApplyStartTitle();
  EnableControls(false);
  view_.EnableControl(IDC_PORTSETUP, true);
  view_.ShowControl(IDC_PORTSETUP, true);
  view_.EnableControl(IDC_START, true);
  view_.EnableControl(IDC_OPEN, true);
  view_.FocusControl(IDC_START);
  if (Box(StartupWarningBox()) != BoxAnswer::kOk) {
    // Shut down through Exit; the window never appears.
    Ref().Post(WM_CLOSE);
    return;
  }
  ReadConfig();
  view_.ShowMainWindow();
}

void MainWindowBehaviour::EnableControls(bool enable) {
  for (const int id : {IDC_PORTSETUP, IDC_START, IDC_OPEN, IDC_FORCED_BOOTLOADER, IDC_DOWNGRADE}) {
    view_.EnableControl(id, enable);
  }
  view_.EnableControl(IDC_PATH_BOX, true);
}

void MainWindowBehaviour::ApplyStartTitle() {
  view_.SetTitle(StartTitle(m_nDevelopment == 1));
}

void MainWindowBehaviour::SetImagePath(const std::string& path) {
  m_strImagePath = path;
  view_.SetControlText(IDC_PATH_BOX, path);
}

BoxAnswer MainWindowBehaviour::Box(const BoxRequest& request) {
  return services_.dialogs.ShowBox(request);
}

void MainWindowBehaviour::ReadConfig() {
  const ConfigValues values = ui::ReadConfig(services_.config_file);
  for (const std::string& port : values.port_tests) {
    const std::string& posted = config_ports_.emplace_back(port);
    PostToEngine(WM_USER_PORT_CONFIG, reinterpret_cast<WPARAM>(&posted));
  }
  m_strPortName = values.port;
  SetImagePath(values.path);
}

void MainWindowBehaviour::WriteConfig() {
  ui::WriteConfig(services_.config_file, {m_strPortName, view_.ControlText(IDC_PATH_BOX)});
}

void MainWindowBehaviour::PostToEngine(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!engine_started_ || close_requested_) return;
  if (!engine_ready_) {
    pending_posts_.push_back({msg, wParam, lParam});
    return;
  }
  services_.engine.Post(msg, wParam, lParam);
}

void MainWindowBehaviour::CloseEngine() {
  if (!engine_started_ || close_requested_) return;
  // From here on the engine object may go at any time: let go of its trace first.
  view_.AttachTrace(nullptr);
  services_.dialogs.DismissPortSetup();
  PostToEngine(WM_CLOSE);
  close_requested_ = true;
}

bool MainWindowBehaviour::StageImage() {
  // The engine's image code sends its trace lines to the engine thread and waits for them, while
  // the engine thread may itself be waiting for this thread (a sent message) or for the operator
  // (the port setup dialog). So it runs on a helper thread while this one keeps handling
  // messages and input; Start, Open, drops and Exit wait until it is done.
  staging_ = true;
  bool staged = false;
  bool finished = false;  // set by a task on this thread
  std::thread helper([this, &staged, &finished] {
    staged = services_.engine.StageImage();
    services_.gui.Queue([&finished] { finished = true; });
  });
  view_.RunUntil([&finished] { return finished; });
  helper.join();
  staging_ = false;
  if (exit_deferred_) {
    exit_deferred_ = false;
    Ref().Post(WM_CLOSE);
  }
  return staged;
}

void MainWindowBehaviour::SetEnded() {
  engine_ended_ = true;
  view_.Ended();
}

}  // namespace kvx::ui
