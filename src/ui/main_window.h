// CSKY_DECK_UPGRADERDlg: the operator's main window as Qt shows it.
//
// It owns the window's behaviour (MainWindowBehaviour: the engine, the commands, Config.ini) and
// is its view: it shows what the behaviour decides and hands it every command the operator gives
// (buttons, accelerators, the context menu, the web link, drops, the close button). Engine
// messages go to the behaviour, which is the window the engine knows.
//
// Files: main_window.cpp (controls, start-up, drawing), main_window_view.cpp (the view the
// behaviour drives), main_window_input.cpp (keys, menu, drag and drop, close).
//
// Threads: GUI thread only. Lifetime: after OnInitDialog the window lives until it has emitted
// ended() (the engine thread has ended); destroying it earlier closes the engine first and waits
// for it.
#pragma once

#include <QPixmap>
#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "operator/dev_key_sequence.h"
#include "operator/main_window_behaviour.h"
#include "operator/main_window_view.h"

class QCheckBox;
class QLineEdit;
class QProgressBar;

namespace kvx::ui {

class CATLogWindow;
class ImageButton;
class PortLabel;
class StatusLine;
class WebLinkArea;

class CSKY_DECK_UPGRADERDlg final : public QWidget, public MainWindowView {
  Q_OBJECT

 public:
  // The letters of the development key sequence, each with Ctrl+Shift, in order.
  static constexpr std::array<Qt::Key, DevKeySequence::kSteps> kDevSequenceKeys = {
      Qt::Key_K, Qt::Key_V, Qt::Key_X, Qt::Key_M};
  static constexpr int kClientWidth = 650;  // the background bitmap fills the client area
  static constexpr int kClientHeight = 450;

  explicit CSKY_DECK_UPGRADERDlg(MainWindowServices services, QWidget* parent = nullptr);
  ~CSKY_DECK_UPGRADERDlg() override;

  // The rest of the start (MainWindowBehaviour::OnInitDialog), with empty captions kept empty
  // from the start-up warning on. Call once, with the window not yet shown.
  void OnInitDialog();

  // For tests and screenshots.
  MainWindowBehaviour& behaviour() { return behaviour_; }
  CATLogWindow& log_window() const { return *log_window_; }

  // MainWindowView (main_window_view.cpp)
  void EnableControl(int id, bool enabled) override;
  bool IsControlEnabled(int id) const override;
  void ShowControl(int id, bool visible) override;
  void SetChecked(int id, bool checked) override;
  bool IsChecked(int id) const override;
  void FocusControl(int id) override;
  void SetControlText(int id, const std::string& text) override;
  std::string ControlText(int id) const override;
  void SetProgressRange(const ProgressRange& range) override;
  void SetProgressPosition(int position) override;
  void SetTitle(const std::string& title) override;
  void ShowSelectedPort(const std::string& port) override;
  void ShowMainWindow() override;
  void AttachTrace(TraceStore* trace) override;
  void SetLogWindowShown(bool shown) override;
  void RunUntil(const std::function<bool()>& done) override;
  void Ended() override;

 signals:
  // The engine thread has ended after a close request: the program may quit.
  void ended();

 protected:
  // main_window.cpp
  void paintEvent(QPaintEvent* event) override;
  // main_window_input.cpp
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // main_window.cpp
  void CreateControls();
  void CreateShortcuts();

  // main_window_view.cpp: the control of an id (operator/control_ids.h); nullptr for none.
  QWidget* Control(int id) const;
  QCheckBox* Option(int id) const;

  std::unique_ptr<CATLogWindow> log_window_;
  QPixmap background_;

  ImageButton* port_setup_ = nullptr;  // IDC_PORTSETUP
  ImageButton* open_ = nullptr;        // IDC_OPEN
  ImageButton* start_ = nullptr;       // IDC_START
  ImageButton* exit_ = nullptr;        // IDC_EXIT
  PortLabel* port_label_ = nullptr;    // the selected port, beside "Serial port"
  QLineEdit* path_box_ = nullptr;      // IDC_PATH_BOX
  StatusLine* status_ = nullptr;       // IDC_STATUS_LINE
  QProgressBar* progress_ = nullptr;   // IDC_PROGRESS
  QCheckBox* forced_boot_ = nullptr;   // IDC_FORCED_BOOTLOADER
  QCheckBox* downgrade_ = nullptr;     // IDC_DOWNGRADE
  WebLinkArea* web_link_ = nullptr;    // IDC_WEB_LINK_AREA

  // Destroyed first, while the controls above still exist: going, it may still wait for the
  // engine and show what the engine reports meanwhile, and take the operator's commands.
  MainWindowBehaviour behaviour_;
};

}  // namespace kvx::ui
