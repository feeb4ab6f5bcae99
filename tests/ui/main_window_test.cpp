// The Qt main window as the behaviour's view: its widgets at start, the buttons, keys, shortcuts,
// menu, link and drops that reach the behaviour, and the widgets showing what it decides. The
// behaviour itself is tested without Qt in tests/operator.

#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <ostream>
#include <thread>

#include "main_window_fixture.h"
#include "platform/string_table.h"
#include "ui/log_window.h"

namespace kvx::ui::test {
namespace {

using MainWindowStartTest = MainWindowFixture;

TEST_F(MainWindowStartTest, TheWidgetsShowTheStartOfTheBehaviour) {
  Open("portName=ttyUSB3\r\npathFile=/srv/fw/kvx.stf\r\n");
  EXPECT_EQ(window_->size(), QSize(650, 450));
  EXPECT_TRUE(Button("startButton")->isEnabled());
  EXPECT_TRUE(Button("openButton")->isEnabled());
  EXPECT_TRUE(Button("portSetupButton")->isVisible());
  EXPECT_TRUE(Button("startButton")->hasFocus());
  EXPECT_FALSE(Find<QCheckBox>("forcedBootloaderOption")->isVisible());
  EXPECT_FALSE(Find<QCheckBox>("downgradeOption")->isEnabled());
  EXPECT_EQ(Title(), "Velmora KVX-01 Upgrader (v1.0.1)");
  EXPECT_EQ(PathBox(), "/srv/fw/kvx.stf");
  EXPECT_EQ(Find<QLineEdit>("pathBox")->cursorPosition(), 0) << "shown from its start";
}

TEST_F(MainWindowStartTest, TheWarningComesBeforeTheWindowAppearsOnce) {
  Open();
  ASSERT_FALSE(dialogs_.window_shown_at_box.empty());
  EXPECT_FALSE(dialogs_.window_shown_at_box.front());
  EXPECT_TRUE(window_->isVisible()) << "confirmed: the window shows";
  EXPECT_EQ(show_counter_.shows, 1);
}

TEST_F(MainWindowStartTest, CancelledWarningEndsWithoutTheWindow) {
  Open(std::nullopt, {}, BoxAnswer::kCancel);
  ASSERT_TRUE(SpinUntil([&] { return ended_; }));
  EXPECT_EQ(show_counter_.shows, 0) << "the window never appeared";
  EXPECT_EQ(engine_.joins, 1);
}

using MainWindowInputTest = MainWindowFixture;

TEST_F(MainWindowInputTest, StartButtonStartsAndTheButtonsAreDisabled) {
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  ReportPort("ttyUSB0");
  Click("startButton");
  ASSERT_EQ(engine_.PostsOf(WM_USER_UPGRADE_START).size(), 1u);
  EXPECT_EQ(engine_.file_paths, std::vector<std::string>{"/srv/fw/kvx.bin"});
  EXPECT_FALSE(Button("startButton")->isEnabled());
  EXPECT_FALSE(Button("openButton")->isEnabled());
  EXPECT_FALSE(Button("portSetupButton")->isEnabled());
  EXPECT_TRUE(Find<QLineEdit>("pathBox")->isEnabled());
}

// The image is staged on a helper thread while Qt's loop keeps running.
TEST_F(MainWindowInputTest, OpenButtonStagesTheChosenFile) {
  Open();
  dialogs_.chosen_file = "/srv/fw/new.stf";
  Click("openButton");
  EXPECT_EQ(PathBox(), "/srv/fw/new.stf");
  EXPECT_EQ(engine_.file_paths, std::vector<std::string>{"/srv/fw/new.stf"});
  EXPECT_EQ(engine_.stagings, 1);
  EXPECT_EQ(Status(), "Ready to Start");
}

TEST_F(MainWindowInputTest, PortSetupButtonAsksTheEngine) {
  Open();
  Click("portSetupButton");
  EXPECT_EQ(engine_.PostsOf(WM_USER_PORT_SETUP).size(), 1u);
}

TEST_F(MainWindowInputTest, ExitButtonEndsTheWindow) {
  Open();
  Click("exitButton");
  ASSERT_TRUE(SpinUntil([&] { return ended_; }));
  EXPECT_EQ(engine_.PostsOf(WM_CLOSE).size(), 1u);
}

TEST_F(MainWindowInputTest, CloseButtonDuringAnUpgradeAsksAndNoKeepsTheWindow) {
  Open();
  Engine(WM_USER_PROG_SETUP, 12, UPGRADE_PART);
  dialogs_.answers.push_back(BoxAnswer::kNo);
  window_->close();
  QApplication::processEvents();
  EXPECT_EQ(dialogs_.boxes.back(), ExitQuestionBox());
  EXPECT_TRUE(engine_.PostsOf(WM_CLOSE).empty());
  EXPECT_TRUE(window_->isVisible());
  EXPECT_FALSE(ended_);
}

TEST_F(MainWindowInputTest, EnterAndEscapeNeitherStartNorClose) {
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  ReportPort("ttyUSB0");
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    QTest::keyClick(window_.get(), key);
  }
  QApplication::processEvents();
  EXPECT_TRUE(engine_.PostsOf(WM_USER_UPGRADE_START).empty());
  EXPECT_TRUE(engine_.PostsOf(WM_CLOSE).empty());
  EXPECT_FALSE(ended_);
}

TEST_F(MainWindowInputTest, F1AndTheContextMenuOpenTheAboutBox) {
  Open();
  QTest::keyClick(window_.get(), Qt::Key_F1);
  EXPECT_EQ(dialogs_.about_boxes, 1);
  QString item;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    item = menu->actions().front()->text();
    menu->setActiveAction(menu->actions().front());
    QTest::keyClick(menu, Qt::Key_Return);
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(100, 100),
                          window_->mapToGlobal(QPoint(100, 100)));
  QApplication::sendEvent(window_.get(), &event);
  EXPECT_EQ(item, QStringLiteral("About Velmora KVX-01 Upgrader"));
  EXPECT_EQ(dialogs_.about_boxes, 2);
}

TEST_F(MainWindowInputTest, LinkOpensOnlyForAPressAndReleaseBothInside) {
  Open();
  auto* link = Find<QWidget>("webLink");
  const QPoint inside(20, 20);
  QTest::mousePress(link, Qt::LeftButton, {}, inside);
  QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(-30, 20));
  EXPECT_TRUE(dialogs_.web_pages.empty()) << "released outside";
  QTest::mousePress(window_.get(), Qt::LeftButton, {}, QPoint(10, 300));
  QTest::mouseRelease(link, Qt::LeftButton, {}, inside);
  EXPECT_TRUE(dialogs_.web_pages.empty()) << "pressed outside";
  QTest::mouseClick(link, Qt::LeftButton, {}, inside);
  EXPECT_EQ(dialogs_.web_pages, std::vector<std::string>{std::string(kMakerHomePage)});
}

using MainWindowDevelopmentTest = MainWindowFixture;

TEST_F(MainWindowDevelopmentTest, TheKeySequenceShowsTheOptions) {
  Open();
  EnterDevSequence(Milliseconds(500));
  EXPECT_TRUE(behaviour().development());
  EXPECT_EQ(Title(), "DEVELPEMENT mode enable - v (v1.0.1)");
  EXPECT_TRUE(Find<QCheckBox>("forcedBootloaderOption")->isVisible());
  EXPECT_TRUE(Find<QCheckBox>("downgradeOption")->isEnabled());
  const auto posts = engine_.PostsOf(WM_USER_DEV_MODE);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].lParam, DEV_MODE_ON);
}

TEST_F(MainWindowDevelopmentTest, SequenceBegunWithItsSecondKeyChangesNothing) {
  Open();
  for (std::size_t step = 1; step < CSKY_DECK_UPGRADERDlg::kDevSequenceKeys.size(); ++step) {
    PressAccelerator(CSKY_DECK_UPGRADERDlg::kDevSequenceKeys[step]);
  }
  EXPECT_FALSE(behaviour().development());
  EXPECT_TRUE(engine_.PostsOf(WM_USER_DEV_MODE).empty());
}

TEST_F(MainWindowDevelopmentTest, DumpKeyOnlyInDevelopmentModeAndLogKeyAlways) {
  Open();
  PressAccelerator(Qt::Key_T);
  PressAccelerator(Qt::Key_D);
  ASSERT_EQ(engine_.PostsOf(WM_USER_LOG_WND_CTRL).size(), 1u);
  EXPECT_EQ(engine_.PostsOf(WM_USER_LOG_WND_CTRL)[0].lParam, LOG_WND_TOGGLE);
  EnterDevSequence();
  PressAccelerator(Qt::Key_T);
  const auto posts = engine_.PostsOf(WM_USER_LOG_WND_CTRL);
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(posts[1].lParam, DUMP_TOGGLE);
}

struct OptionCase {
  const char* why;
  bool forced_boot;
  bool downgrade;
  LPARAM bits;

  friend void PrintTo(const OptionCase& c, std::ostream* out) { *out << c.why; }
};

class MainWindowOptionTest : public MainWindowFixture,
                             public ::testing::WithParamInterface<OptionCase> {};

TEST_P(MainWindowOptionTest, StartSendsTheTickedOptionsAsBits) {
  const OptionCase& c = GetParam();
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  ReportPort("ttyUSB0");
  EnterDevSequence();
  if (c.forced_boot) QTest::mouseClick(Find<QCheckBox>("forcedBootloaderOption"), Qt::LeftButton);
  if (c.downgrade) QTest::mouseClick(Find<QCheckBox>("downgradeOption"), Qt::LeftButton);
  Click("startButton");
  const auto posts = engine_.PostsOf(WM_USER_UPGRADE_START);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].lParam, c.bits);
}

INSTANTIATE_TEST_SUITE_P(Options, MainWindowOptionTest,
                         ::testing::Values(OptionCase{"none", false, false, 0},
                                           OptionCase{"downgrade is bit 0", false, true, 1},
                                           OptionCase{"forced bootloader is bit 2", true, false, 4},
                                           OptionCase{"both; bit 1 never", true, true, 5}),
                         [](const auto& info) { return std::to_string(info.index); });

TEST_F(MainWindowDevelopmentTest, SwitchingOffHidesAndUnchecksTheOptions) {
  Open(std::nullopt, "[DEVELOPMENT]\nDEV=1\n");
  EnterDevSequence();
  EnterDevSequence();
  Find<QCheckBox>("downgradeOption")->setChecked(true);
  EnterDevSequence();
  EXPECT_FALSE(Find<QCheckBox>("downgradeOption")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>("downgradeOption")->isVisible());
}

using MainWindowDropTest = MainWindowFixture;

TEST_F(MainWindowDropTest, FirstOfSeveralDroppedFilesWinsAndNothingIsOpened) {
  Open();
  EXPECT_TRUE(Drop({"/srv/a.stf", "/srv/b.stf", "/srv/c.bin"}));
  EXPECT_EQ(PathBox(), "/srv/a.stf");
  EXPECT_EQ(behaviour().image_path(), "/srv/a.stf");
  EXPECT_EQ(engine_.stagings, 0);
  EXPECT_TRUE(engine_.file_paths.empty());
  EXPECT_EQ(engine_.posts.size(), 0u);
}

TEST_F(MainWindowDropTest, OnlyLocalFilesAreTaken) {
  Open("portName=\r\npathFile=/srv/fw/old.bin\r\n");
  DropUrls({QUrl(QStringLiteral("https://www.velmora.com/kvx.bin")),
            QUrl::fromLocalFile(QStringLiteral("/srv/b.stf"))});
  EXPECT_EQ(PathBox(), "/srv/b.stf");
  DropUrls({QUrl(QStringLiteral("https://www.velmora.com/kvx.bin"))});
  EXPECT_EQ(PathBox(), "/srv/b.stf");
}

struct LongNameCase {
  const char* why;
  QString name;
  QString taken;

  friend void PrintTo(const LongNameCase& c, std::ostream* out) { *out << c.why; }
};

class MainWindowLongDropTest : public MainWindowFixture,
                               public ::testing::WithParamInterface<LongNameCase> {};

TEST_P(MainWindowLongDropTest, DroppedNameIsCutTo259Units) {
  Open();
  Drop({GetParam().name});
  EXPECT_EQ(PathBox(), GetParam().taken);
}

// U+1F4BE, a pair of UTF-16 units.
const QString kFloppy = QString::fromUtf8("\xF0\x9F\x92\xBE");
const QString kLongName = QStringLiteral("/") + QString(300, QLatin1Char('x'));
const QString kPairEndingAtTheCut = QStringLiteral("/") + QString(256, QLatin1Char('x')) + kFloppy;
const QString kPairAcrossTheCut = QStringLiteral("/") + QString(257, QLatin1Char('x')) + kFloppy;

INSTANTIATE_TEST_SUITE_P(
    Names, MainWindowLongDropTest,
    ::testing::Values(LongNameCase{"a long name keeps its first 259", kLongName,
                                   kLongName.left(259)},
                      LongNameCase{"a pair ending at unit 259 stays",
                                   kPairEndingAtTheCut + QStringLiteral("y"), kPairEndingAtTheCut},
                      LongNameCase{"a pair the cut would split goes whole", kPairAcrossTheCut,
                                   kPairAcrossTheCut.left(258)}),
    [](const auto& info) { return std::to_string(info.index); });

TEST_F(MainWindowDropTest, DropDuringARunIsRefused) {
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  ReportPort("ttyUSB0");
  Click("startButton");
  EXPECT_FALSE(Drop({"/srv/other.bin"}));
  EXPECT_EQ(PathBox(), "/srv/fw/kvx.bin");
}

using MainWindowLookTest = MainWindowFixture;

TEST_F(MainWindowLookTest, ProgressBarFollowsTheAnnouncedRange) {
  Open();
  Engine(WM_USER_PROG_SETUP, 0, CHECK_COM_PORT_PART);
  EXPECT_EQ(Progress()->maximum(), 65535) << "6n-1 in 16 bits for n = 0";
  Engine(WM_USER_PROG_SETUP, 40000, UPGRADE_PART);
  EXPECT_EQ(Progress()->minimum(), 0);
  EXPECT_EQ(Progress()->maximum(), 40000) << "a 32-bit range above 32767";
  Engine(WM_USER_PROG_PROC, 0, 39999);
  EXPECT_EQ(Progress()->value(), 39999);
  Engine(WM_USER_PROG_PROC, 0, 50000);
  EXPECT_EQ(Progress()->value(), 40000) << "held within the range";
}

TEST_F(MainWindowLookTest, StatusLineAndTitleShowTheEnginesReports) {
  Open();
  Engine(WM_USER_STATIC_LOG_CTRL, 0, IDS_UPGRADE_IN_PROGRESS);
  EXPECT_EQ(Status(), ToQString(*LoadString(IDS_UPGRADE_IN_PROGRESS)));
  ReportPort("ttyUSB5");
  EXPECT_EQ(Title(), "Velmora KVX-01 Upgrader (v1.0.1) - (ttyUSB5)");
}

TEST_F(MainWindowLookTest, PortLabelShowsTheSelectedPortOrNone) {
  Open();
  const auto* label = Find<QLabel>("portLabel");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "none");
  ReportPort("ttyUSB5");
  EXPECT_EQ(label->text(), "ttyUSB5");
  ReportPortError(-1);
  EXPECT_EQ(label->text(), "none");
  const std::string by_id =
      "/dev/serial/by-id/usb-Velmora_KVX-01_Terminal_0123456789ABCDEF-if00-port0";
  ReportPort(by_id);
  EXPECT_TRUE(label->text().startsWith(QStringLiteral("/dev/"))) << "cut in the middle";
  EXPECT_TRUE(label->text().endsWith(QStringLiteral("port0")));
  EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
  EXPECT_EQ(label->toolTip(), ToQString(by_id));
  ReportPort("", 0);
  EXPECT_EQ(label->text(), "none");
}

using MainWindowEngineRequestTest = MainWindowFixture;

TEST_F(MainWindowEngineRequestTest, EngineLogToggleShowsAndHidesTheLogWindow) {
  Open();
  engine_.hooks().log_window_visibility(true);
  QApplication::processEvents();
  EXPECT_TRUE(window_->log_window().isVisible());
  engine_.hooks().log_window_visibility(false);
  QApplication::processEvents();
  EXPECT_FALSE(window_->log_window().isVisible());
}

TEST_F(MainWindowEngineRequestTest, CableLostWarningDoesNotWaitForTheOperator) {
  Open();
  std::thread warning([hooks = engine_.hooks()] {
    hooks.show_cable_lost_warning("Warning", "Cable connection lost!\n Turn off and on modem");
  });
  warning.join();
  ASSERT_TRUE(SpinUntil([&] { return !dialogs_.boxes_without_waiting.empty(); }));
  EXPECT_EQ(dialogs_.boxes_without_waiting[0].caption, "Warning");
  EXPECT_EQ(dialogs_.boxes_without_waiting[0].icon, BoxIcon::kNone);
}

}  // namespace
}  // namespace kvx::ui::test
