// Writes PNG pictures of the main window, the log window, the port setup dialog and the about
// box into <build>/screenshots, for a person to look at. They check only that each picture was
// drawn and saved, hence their ctest label draw-only.

#include <QDir>
#include <QProgressBar>

#include "main_window_fixture.h"
#include "platform/string_table.h"
#include "ui/about_dialog.h"
#include "ui/completion_prompt.h"
#include "ui/log_window.h"
#include "ui/port_setup_dialog.h"

namespace kvx::ui::test {
namespace {

class ScreenshotTest : public MainWindowFixture {
 protected:
  static void Save(QWidget& widget, const QString& name) {
    QDir().mkpath(QStringLiteral(KVX_SCREENSHOT_DIR));
    const QPixmap picture = widget.grab();
    ASSERT_FALSE(picture.isNull()) << name.toStdString();
    EXPECT_TRUE(picture.save(QStringLiteral(KVX_SCREENSHOT_DIR "/") + name));
  }
};

TEST_F(ScreenshotTest, MainWindowDuringAnUpgradeInDevelopmentMode) {
  Open("portName=ttyUSB0\r\npathFile=/home/operator/firmware/KVX01_2.10.3.stf\r\n",
       "[DEVELOPMENT]\nDEV=1\n");
  EnterDevSequence();
  EnterDevSequence();
  ReportPort("ttyUSB0");
  Engine(WM_USER_PROG_SETUP, 40, UPGRADE_PART);
  Engine(WM_USER_STATIC_LOG_CTRL, 0, IDS_UPGRADE_IN_PROGRESS);
  Engine(WM_USER_PROG_PROC, 0, 23);
  Engine(WM_USER_BTN_CTRL, BTN_DISABLE, 0);
  Save(*window_, QStringLiteral("main_window.png"));
  EXPECT_EQ(window_->grab().size(), QSize(650, 450));
}

TEST_F(ScreenshotTest, MainWindowIdle) {
  Open();
  Save(*window_, QStringLiteral("main_window_idle.png"));
}

TEST_F(ScreenshotTest, LogWindowWithATrace) {
  Open();
  TraceStore& trace = engine_.store;
  trace.Append(
      "InitalizationInitalizationInitalizationInitalizationInitalizationInitalization.\r\n",
      kTraceRed, LOG_TEXT);
  trace.Append("[ttyUSB0]port, [115200]baud rate selected\n", kTraceBlack, LOG_TEXT);
  trace.Append("IDT_CONNECT_RESPONSE timer set\n", kTraceAmber, LOG_TEXT);
  trace.Append("AT\r\n", kTraceBrown, LOG_TX);
  trace.Append("OK\r\n", kTraceBlue, LOG_RX);
  trace.Append("IDT_CONNECT_RESPONSE timer kill\n", kTraceAmber, LOG_TEXT);
  trace.Append("at+hwver\r", kTraceBrown, LOG_TX);
  trace.Append("+HWVER: SFQAABCDEFG V2.0.1\r\n", kTraceBlue, LOG_RX);
  trace.Append("Velmora_JQ Stack S/W Image loaded\n", kTraceBlack, LOG_TEXT);
  CATLogWindow& log = window_->log_window();
  log.SetShown(true);
  log.CatchUp();
  Save(log, QStringLiteral("log_window.png"));
  log.SetShown(false);
}

TEST_F(ScreenshotTest, PortSetupDialog) {
  CAdmComSetup dialog({"ttyS0", "ttyUSB0", "ttyUSB1"}, "ttyUSB0");
  dialog.show();
  Save(dialog, QStringLiteral("port_setup.png"));
}

TEST_F(ScreenshotTest, AboutBoxAndCompletionPrompt) {
  CAboutDlg about;
  about.show();
  Save(about, QStringLiteral("about.png"));
  CViewDialog prompt;
  prompt.show();
  Save(prompt, QStringLiteral("completion_prompt.png"));
}

}  // namespace
}  // namespace kvx::ui::test
