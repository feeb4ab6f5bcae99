// The operator's main window without its drawing: what Start, Open, a drop, Exit, the completion
// prompt and the development key sequence do, how every engine report changes the window, and
// Config.ini. Both windows (Qt on Linux, the Win32 dialog on Windows) drive one of these and show
// what it decides through MainWindowView.
//
// It starts the engine thread and then talks to it only by posted window messages (EngineLink);
// the engine reports back by messages posted and sent to this object (a kvx::Window on the GUI
// thread's queue) and asks for dialogs through the hooks (EngineRequests). Every box, dialog and
// the web page go through OperatorDialogs.
//
// Files: main_window_behaviour.cpp (start-up, state), main_window_reports.cpp (the engine's
// messages), main_window_commands.cpp (the operator's commands).
//
// Threads: GUI thread only. Lifetime: after OnInitDialog it lives until the view was told Ended()
// (the engine thread has ended); destroying it earlier closes the engine first and waits for it.
// The view and the services must outlive it.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/engine_reports.h"
#include "operator/dev_key_sequence.h"
#include "operator/engine_link.h"
#include "operator/gui_engine_hooks.h"
#include "operator/gui_tasks.h"
#include "operator/main_window_view.h"
#include "operator/operator_dialogs.h"
#include "operator/progress_range.h"
#include "platform/clock.h"
#include "platform/profile_store.h"
#include "platform/window.h"

namespace kvx::ui {

struct MainWindowServices {
  EngineLink& engine;
  OperatorDialogs& dialogs;
  ProfileStore& profile;              // DEVELOPMENT\DEV, read once at start
  Clock& clock;                       // times the development key sequence
  MessageQueue& queue;                // the GUI thread's window messages
  GuiTasks& gui;                      // the GUI thread's tasks
  std::filesystem::path config_file;  // Config.ini
};

class MainWindowBehaviour final : public Window, private EngineReports, private EngineRequests {
 public:
  // A dropped name as a 260-character buffer takes it (UTF-16 units).
  static constexpr int kMaxDroppedPathLength = 259;

  MainWindowBehaviour(MainWindowServices services, MainWindowView& view);
  ~MainWindowBehaviour() override;

  // The rest of the start: starts the engine thread, reads the development switch, asks the
  // start-up warning and, once confirmed, reads Config.ini and shows the window; cancelled, the
  // program ends without the window ever appearing. Call once, with the window not yet shown.
  void OnInitDialog();

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  // The operator's commands.
  void OnStart();
  void OnOpen();
  void OnPortSetup();
  // Exit, the window's close button and the completion prompt's Exit.
  void OnExit();
  void OnAbout();
  void OnWebLink();
  // Key `step` (0 to 3) of the development key sequence.
  void OnDevSequenceKey(int step);
  void OnLogWindowKey();
  void OnDumpKey();
  // The command of a button or accelerator id (operator/control_ids.h); false for any other id.
  bool OnCommand(int id);

  // Whether files may be dropped now: not during a run (the path box names the image that
  // Config.ini records at completion) nor while an image is being opened.
  bool AcceptsDrops() const;
  // Files dropped, in the order dropped, each already cut to kMaxDroppedPathLength: the first
  // becomes the path. Nothing is opened.
  void DropFiles(const std::vector<std::string>& paths);

  // The window's state, for views, tests and screenshots.
  bool busy() const { return m_bBusy; }
  bool port_selected() const { return m_bPortSelected; }
  bool development() const { return m_nDevelopment == 1; }
  bool ended() const { return engine_ended_; }
  const std::string& port_name() const { return m_strPortName; }
  const std::string& image_path() const { return m_strImagePath; }

 private:
  // main_window_behaviour.cpp
  void EnableControls(bool enable);
  void ApplyStartTitle();
  void SetImagePath(const std::string& path);
  BoxAnswer Box(const BoxRequest& request);
  void ReadConfig();
  void WriteConfig();
  void PostToEngine(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  void CloseEngine();
  bool StageImage();
  void SetEnded();

  // EngineReports (main_window_reports.cpp)
  void OnThreadStart() override;
  void OnThreadEnd() override;
  void OnUpgradeEnd(int string_id) override;
  void OnProgressSetup(std::uint64_t count, int part) override;
  void OnProgress(std::int64_t position) override;
  void OnButtonControl(bool enable, int string_id) override;
  void OnStatus(int string_id) override;
  void OnPortSelected(const std::string& port, std::int32_t baud) override;
  LRESULT OnDeviceCount(std::uint64_t count) override;
  LRESULT OnAsk(int string_id) override;
  void OnPortError(std::int32_t check) override;
  void OnPortAccessDenied(const std::string& device, int error) override;
  void SetPortSelected(bool selected);

  // EngineRequests (main_window_reports.cpp)
  void RunPortSetup(const std::vector<std::string>& free_ports, const std::string& initial_port,
                    PortSetupDone done) override;
  void ShowEngineBox(const std::string& caption, const std::string& text) override;
  void ShowEngineInformation(const std::string& text) override;
  void SetLogWindowVisible(bool visible) override;
  void ShowCableLostWarning(const std::string& caption, const std::string& text) override;

  // main_window_commands.cpp
  void SwitchDevelopmentMode();

  MainWindowServices services_;
  MainWindowView& view_;
  GuiEngineHooks hooks_;
  DevKeySequence dev_keys_;

  // The window's state (names as the rest of the program knows them).
  std::string m_strPortName;
  std::int32_t m_nBaudRate = 0;
  bool m_bPortSelected = false;
  std::string m_strImagePath;
  // DEV as read: 1 is development mode, yet any value but 0 gives the dump key.
  int m_nDevelopment = 0;
  bool m_bBusy = false;
  bool m_bStarted = false;
  ProgressRange progress_range_;

  // The ports posted with WM_USER_PORT_CONFIG, one per line of Config.ini: the engine reads
  // each later, so none changes or moves while the window lives.
  std::deque<std::string> config_ports_;

  // The engine's course: started, ready (WM_USER_THREAD_START), asked to close, ended.
  bool engine_started_ = false;
  bool engine_ready_ = false;
  bool close_requested_ = false;
  bool engine_ended_ = false;
  struct PendingPost {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
  };
  std::vector<PendingPost> pending_posts_;  // posted before the engine window existed

  bool staging_ = false;        // stage_jq_image runs on its helper thread
  bool exit_deferred_ = false;  // Exit came while staging
};

}  // namespace kvx::ui
