// The operator's windows on a real X server, where Qt's xcb platform writes the properties a
// window manager reads: captions as xprop shows them, and the log window taking the focus.

#include <QAbstractButton>
#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <memory>

#include "operator/app_identity.h"
#include "platform/clock.h"
#include "platform/profile_store.h"
#include "platform/string_table.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/port_setup_dialog.h"
#include "ui/qt_message_queue.h"
#include "ui/qt_operator_dialogs.h"
#include "ui_test_support.h"

namespace kvx::ui::test {
namespace {

// A window's name properties as xprop shows them; nothing for a property that is not set.
struct WindowNames {
  std::optional<std::string> wm_name;
  std::optional<std::string> net_wm_name;
};

std::optional<std::string> PropertyValue(const QString& xprop_output, const QString& property) {
  for (const QString& line : xprop_output.split(QLatin1Char('\n'))) {
    if (!line.startsWith(property + QLatin1Char('('))) continue;  // "NAME:  not found."
    QString value = line.mid(line.indexOf(QStringLiteral(" = ")) + 3);
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
      value = value.mid(1, value.size() - 2);
    return value.toStdString();
  }
  return std::nullopt;
}

// Call once the window is exposed: its name requests were handled before its mapping.
WindowNames NamesOf(const QWidget& window) {
  QProcess xprop;
  xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window.winId()),
                                        QStringLiteral("WM_NAME"), QStringLiteral("_NET_WM_NAME")});
  EXPECT_TRUE(xprop.waitForFinished(30000));
  const QString output = QString::fromUtf8(xprop.readAllStandardOutput());
  return {PropertyValue(output, QStringLiteral("WM_NAME")),
          PropertyValue(output, QStringLiteral("_NET_WM_NAME"))};
}

bool IsExposed(const QWidget* window) {
  return window && window->windowHandle() && window->windowHandle()->isExposed();
}

// Runs `open`, which shows a modal box or dialog and waits in it. Once that window is on the
// screen, reads its names and closes it: a box with OK (or its only button), a dialog with Cancel.
WindowNames NamesOfModal(const std::function<void()>& open) {
  WindowNames names;
  bool read = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (read || !IsExposed(modal)) return;
    read = true;
    names = NamesOf(*modal);
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      QAbstractButton* ok = box->button(QMessageBox::Ok);
      (ok ? ok : box->buttons().front())->click();
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    }
  });
  poll.start(10);
  open();
  EXPECT_TRUE(read) << "no modal window came up";
  return names;
}

// The main window with the real dialogs and a recording engine, started as the program starts
// it: the start-up warning, confirmed, then the window.
class X11WindowTest : public ::testing::Test {
 protected:
  WindowNames StartMainWindow() {
    window_ = std::make_unique<CSKY_DECK_UPGRADERDlg>(MainWindowServices{
        engine_, dialogs_, profile_, clock_, queue_, queue_, folder_ / "Config.ini"});
    dialogs_.SetOwner(window_.get());
    const WindowNames warning = NamesOfModal([&] { window_->OnInitDialog(); });
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    return warning;
  }

  void TearDown() override {
    window_.reset();
    QApplication::processEvents();
  }

  LRESULT Engine(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
    return window_->behaviour().WindowProc(msg, wParam, lParam);
  }

  TempFolder folder_;
  ManualClock clock_;
  MemoryProfileStore profile_;
  QtMessageQueue queue_;
  QtOperatorDialogs dialogs_;
  RecordingEngineLink engine_;
  std::unique_ptr<CSKY_DECK_UPGRADERDlg> window_;
};

void ExpectCaption(const WindowNames& names, const std::string& caption) {
  EXPECT_EQ(names.wm_name, caption) << "WM_NAME";
  EXPECT_EQ(names.net_wm_name, caption) << "_NET_WM_NAME";
}

TEST_F(X11WindowTest, TheStartupWarningHasAnEmptyCaptionAndTheWindowItsTitleAlone) {
  ExpectCaption(StartMainWindow(), "");
  ExpectCaption(NamesOf(*window_), StartTitle(false));
}

struct BoxCase {
  const char* why;
  std::function<void(X11WindowTest&)> open;  // shows the box and waits in it
  std::string caption;

  friend void PrintTo(const BoxCase& c, std::ostream* out) { *out << c.why; }
};

class X11BoxTest : public X11WindowTest, public ::testing::WithParamInterface<BoxCase> {
 public:
  using X11WindowTest::dialogs_;
  using X11WindowTest::Engine;
  using X11WindowTest::engine_;
  using X11WindowTest::window_;
};

TEST_P(X11BoxTest, ShowsExactlyItsCaption) {
  StartMainWindow();
  ASSERT_FALSE(HasFailure());
  ExpectCaption(NamesOfModal([&] { GetParam().open(*this); }), GetParam().caption);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, X11BoxTest,
    ::testing::Values(BoxCase{"a port problem",
                              [](X11WindowTest& t) {
                                const std::int32_t busy = -2;
                                static_cast<X11BoxTest&>(t).Engine(WM_USER_PORT_ERROR, 0,
                                                                   reinterpret_cast<LPARAM>(&busy));
                              },
                              ""},
                      BoxCase{"the engine's plain box",
                              [](X11WindowTest& t) {
                                static_cast<X11BoxTest&>(t).engine_.hooks().show_message_box(
                                    "", "SendMessage fail");
                              },
                              ""},
                      BoxCase{"the engine's image information",
                              [](X11WindowTest& t) {
                                static_cast<X11BoxTest&>(t).engine_.hooks().show_information(
                                    "KVX_2.10.3");
                              },
                              ""},
                      BoxCase{"an error box has the product's caption",
                              [](X11WindowTest& t) {
                                static_cast<X11BoxTest&>(t).Engine(WM_USER_BTN_CTRL, BTN_ENABLE,
                                                                   IDS_LOWER_VERSION);
                              },
                              std::string(kBoxCaption)},
                      BoxCase{"the completion prompt's two spaces",
                              [](X11WindowTest& t) {
                                auto& test = static_cast<X11BoxTest&>(t);
                                test.dialogs_.AskCompletion();
                              },
                              "  "}),
    [](const auto& info) { return std::to_string(info.index); });

TEST_F(X11WindowTest, ThePortSetupDialogHasAnEmptyCaption) {
  StartMainWindow();
  bool answered = false;
  dialogs_.ChoosePort({"ttyS0", "ttyUSB0"}, "ttyUSB0",
                      [&](std::optional<PortChoice>) { answered = true; });
  auto* dialog = window_->findChild<CAdmComSetup*>();
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
  ExpectCaption(NamesOf(*dialog), "");
  dialog->reject();
  EXPECT_TRUE(answered);
}

TEST_F(X11WindowTest, TheLogWindowIsActiveOnceShown) {
  StartMainWindow();
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  engine_.hooks().log_window_visibility(true);
  EXPECT_TRUE(SpinUntil([&] { return QApplication::activeWindow() == &window_->log_window(); },
                        std::chrono::seconds(5)));
  engine_.hooks().log_window_visibility(false);
  ASSERT_TRUE(SpinUntil([&] { return !window_->log_window().isVisible(); }));
}

}  // namespace
}  // namespace kvx::ui::test
