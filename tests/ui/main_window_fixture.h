// The Qt main window on the GUI thread's queue, with scripted dialogs, a Config.ini in a fresh
// folder, a profile in memory and a manual clock for the development key sequence. The engine is
// a RecordingEngineLink unless a test gives it another link before Open.
#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QTest>
#include <QUrl>
#include <memory>

#include "operator/app_identity.h"
#include "platform/clock.h"
#include "platform/profile_store.h"
#include "ui/main_window.h"
#include "ui/qt_message_queue.h"
#include "ui/qt_text.h"
#include "ui/status_line.h"
#include "ui_test_support.h"

namespace kvx::ui::test {

class MainWindowFixture : public ::testing::Test {
 protected:
  // Builds the window and runs its start with `profile_text` as the profile, the start-up
  // warning answered `startup`, and Config.ini holding `config_text` (none when nullopt).
  void Open(std::optional<std::string> config_text = std::nullopt,
            const std::string& profile_text = {}, BoxAnswer startup = BoxAnswer::kOk) {
    if (config_text) TempFolder::Write(config_path(), *config_text);
    profile_ = std::make_unique<MemoryProfileStore>(profile_text);
    EngineLink& link = engine_link_ ? *engine_link_ : engine_;
    window_ = std::make_unique<CSKY_DECK_UPGRADERDlg>(
        MainWindowServices{link, dialogs_, *profile_, clock_, queue_, queue_, config_path()});
    dialogs_.main_window_shown = [this] { return window_ && window_->isVisible(); };
    QObject::connect(window_.get(), &CSKY_DECK_UPGRADERDlg::ended, [this] { ended_ = true; });
    window_->installEventFilter(&show_counter_);
    dialogs_.answers.push_back(startup);
    window_->OnInitDialog();
    QApplication::processEvents();
    if (startup == BoxAnswer::kOk) {
      window_->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    }
  }

  void TearDown() override {
    window_.reset();
    QApplication::processEvents();
  }

  std::filesystem::path config_path() const { return folder_ / "Config.ini"; }

  MainWindowBehaviour& behaviour() const { return window_->behaviour(); }

  // The engine's reports, as it sends them (the window's handler runs at once).
  LRESULT Engine(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
    return behaviour().WindowProc(msg, wParam, lParam);
  }
  void ReportPort(const std::string& port, std::int32_t baud = 115200) {
    Engine(WM_USER_PORT_SELECTED, reinterpret_cast<WPARAM>(&port), reinterpret_cast<LPARAM>(&baud));
  }
  void ReportPortError(std::int32_t code) {
    Engine(WM_USER_PORT_ERROR, 0, reinterpret_cast<LPARAM>(&code));
  }

  // URLs dropped on the window, as the window system delivers a drop: the window is entered
  // first and becomes the target. Returns whether the window took the drag on entering.
  bool DropUrls(const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &enter);
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &drop);
    return enter.isAccepted();
  }
  bool Drop(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) urls.push_back(QUrl::fromLocalFile(path));
    return DropUrls(urls);
  }

  // Ctrl+Shift+`key` in the main window.
  void PressAccelerator(Qt::Key key) {
    QTest::keyClick(window_.get(), key, Qt::ControlModifier | Qt::ShiftModifier);
  }
  // The four keys of the development sequence, `gap` apart on the manual clock.
  void EnterDevSequence(Clock::Duration gap = Milliseconds(100)) {
    for (const Qt::Key key : CSKY_DECK_UPGRADERDlg::kDevSequenceKeys) {
      clock_.Advance(gap);
      PressAccelerator(key);
    }
  }

  template <typename Widget>
  Widget* Find(const char* name) const {
    auto* found = window_->findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QAbstractButton* Button(const char* name) const { return Find<QAbstractButton>(name); }
  void Click(const char* name) { QTest::mouseClick(Button(name), Qt::LeftButton); }
  QString Status() const { return Find<StatusLine>("statusLine")->text(); }
  QProgressBar* Progress() const { return Find<QProgressBar>("progressBar"); }
  QString PathBox() const { return Find<QLineEdit>("pathBox")->text(); }
  std::string Title() const { return ToStdString(window_->windowTitle()); }

  // Counts the times a widget is shown.
  struct ShowCounter : QObject {
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Show) ++shows;
      return false;
    }
    int shows = 0;
  };

  TempFolder folder_;
  ManualClock clock_;
  std::unique_ptr<MemoryProfileStore> profile_;
  QtMessageQueue queue_;
  ScriptedDialogs dialogs_;
  RecordingEngineLink engine_;
  EngineLink* engine_link_ = nullptr;  // another engine, set before Open
  ShowCounter show_counter_;           // declared before the window it watches
  std::unique_ptr<CSKY_DECK_UPGRADERDlg> window_;
  bool ended_ = false;
};

}  // namespace kvx::ui::test
