// CSKY_DECK_UPGRADERDlg: the operator's main window.
//
// It starts the engine thread and then talks to it only by posted window messages (EngineLink);
// the engine reports back by messages posted and sent to this window (a kvx::Window on the GUI
// thread's QtMessageQueue) and asks for dialogs through the hooks (EngineRequests). Every box,
// dialog and the web page go through OperatorDialogs.
//
// Files: main_window.cpp (controls, start-up, state), main_window_engine.cpp (the engine's
// messages), main_window_commands.cpp (the operator's commands).
//
// Threads: GUI thread only. Lifetime: after OnInitDialog the window lives until it has emitted
// ended() (the engine thread has ended); destroying it earlier closes the engine first and waits
// for it.
#pragma once

#include <QPixmap>
#include <QWidget>
#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine_reports.h"
#include "platform/clock.h"
#include "platform/profile_store.h"
#include "platform/window.h"
#include "operator/dev_key_sequence.h"
#include "operator/engine_link.h"
#include "operator/gui_engine_hooks.h"
#include "operator/operator_dialogs.h"
#include "operator/progress_range.h"

class QCheckBox;
class QLineEdit;
class QProgressBar;
class QUrl;

namespace kvx::ui {

class CATLogWindow;
class ImageButton;
class PortLabel;
class StatusLine;

struct MainWindowServices {
  EngineLink& engine;
  OperatorDialogs& dialogs;
  ProfileStore& profile;              // DEVELOPMENT\DEV, read once at start
  Clock& clock;                       // times the development key sequence
  MessageQueue& queue;                // the GUI thread's queue (QtMessageQueue)
  std::filesystem::path config_file;  // Config.ini
};

class CSKY_DECK_UPGRADERDlg final : public QWidget,
                                    public Window,
                                    private EngineReports,
                                    private EngineRequests {
  Q_OBJECT

 public:
  // The letters of the development key sequence, each with Ctrl+Shift, in order.
  static constexpr std::array<Qt::Key, DevKeySequence::kSteps> kDevSequenceKeys = {
      Qt::Key_K, Qt::Key_V, Qt::Key_X, Qt::Key_M};
  static constexpr int kClientWidth = 650;  // the background bitmap fills the client area
  static constexpr int kClientHeight = 450;
  static constexpr int kMaxDroppedPathLength = 259;

  explicit CSKY_DECK_UPGRADERDlg(MainWindowServices services, QWidget* parent = nullptr);
  ~CSKY_DECK_UPGRADERDlg() override;

  // The rest of the start: starts the engine thread, reads the development switch, asks the
  // start-up warning and, once confirmed, reads Config.ini and shows the window; cancelled, the
  // program ends without the window ever appearing. Call once, with the window not yet shown.
  void OnInitDialog();

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  // The window's state, for tests and screenshots.
  bool busy() const { return m_bBusy; }
  bool port_selected() const { return m_bPortSelected; }
  bool development() const { return m_nDevelopment == 1; }
  const std::string& port_name() const { return m_strPortName; }
  const std::string& image_path() const { return m_strImagePath; }
  CATLogWindow& log_window() const { return *log_window_; }

 signals:
  // The engine thread has ended after a close request: the program may quit.
  void ended();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // main_window.cpp
  void CreateControls();
  void CreateShortcuts();
  void EnableControls(bool enable);
  void ApplyStartTitle();
  void SetImagePath(const std::string& path);
  BoxAnswer Box(const BoxRequest& request);
  void ReadConfig();
  void WriteConfig();
  void PostToEngine(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  void CloseEngine();
  bool StageImage();

  // EngineReports (main_window_engine.cpp)
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

  // EngineRequests (main_window_engine.cpp)
  void RunPortSetup(const std::vector<std::string>& free_ports, const std::string& initial_port,
                    PortSetupDone done) override;
  void ShowEngineBox(const std::string& caption, const std::string& text) override;
  void ShowEngineInformation(const std::string& text) override;
  void SetLogWindowVisible(bool visible) override;
  void ShowCableLostWarning(const std::string& caption, const std::string& text) override;

  // main_window_commands.cpp
  void OnStart();
  void OnOpen();
  void OnPortSetup();
  void OnExit();
  void OnAbout();
  void OnWebLink();
  void OnDevSequenceKey(int step);
  void OnLogWindowKey();
  void OnDumpKey();
  void SwitchDevelopmentMode();
  void DropFiles(const QList<QUrl>& urls);

  MainWindowServices services_;
  GuiEngineHooks hooks_;
  DevKeySequence dev_keys_;
  std::unique_ptr<CATLogWindow> log_window_;
  QPixmap background_;

  ImageButton* port_setup_ = nullptr;  // 1021
  ImageButton* open_ = nullptr;        // 1012
  ImageButton* start_ = nullptr;       // 1011
  ImageButton* exit_ = nullptr;        // 1013
  PortLabel* port_label_ = nullptr;    // the selected port, beside "Serial port"
  QLineEdit* path_box_ = nullptr;      // 1006
  StatusLine* status_ = nullptr;       // 1010
  QProgressBar* progress_ = nullptr;   // 1007
  QCheckBox* forced_boot_ = nullptr;   // 1017
  QCheckBox* downgrade_ = nullptr;     // 1020

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
